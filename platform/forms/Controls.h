#pragma once
// Controls over Qt widgets, with the framework's names and behaviour.
//
// A TControl is a component that owns one Qt widget. Its parent (a
// TWinControl) places the widget inside its own client widget at Left/Top
// with Width/Height, in logical pixels as the form streams give them at 96
// dots per inch; nothing is placed by Qt layouts. A control keeps its own
// Visible and Enabled flags: Visible answers what the program set, whatever
// Qt's isVisible() says about a hidden parent or tab page.
//
// Events are properties holding a TMethod: the name of a handler and the
// object that hosts it (the form the stream was read into, a TEventHost).
// A host binds names to member functions (BindMethod) before its stream is
// read; assigning a method that the host does not have, or has with another
// signature, raises EPropertyError, so a form stream naming a missing handler
// fails to load. No event fires while a component is being loaded or
// destroyed. Events caused by the user arrive from Qt through GuardEvent
// (EventBoundary.h); events caused by the program (setting Checked, Text ...)
// run synchronously and let their exceptions reach the caller.
#include "platform/graphics/Graphics.h"
#include "platform/objects/Component.h"
#include "platform/objects/TypInfo.h"

#include <QPalette>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <variant>
#include <vector>

class TWinControl;
class TCustomForm;
class TPopupMenu;

// Modal results, numbered as the framework numbers them.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
// Reading order and alignment of a control's text; right to left mirrors the
// control's layout (Qt's layout direction).
enum class TBiDiMode : uint8_t { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// A set of anchor sides: bit n stands for TAnchorKind n.
enum class TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TAnchors = uint8_t;
constexpr TAnchors AnchorBit(TAnchorKind kind)
{
    return TAnchors(1u << unsigned(kind));
}
constexpr TAnchors kDefaultAnchors = AnchorBit(TAnchorKind::akLeft) | AnchorBit(TAnchorKind::akTop);

enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

// The shift state of a key event: bit n stands for TShiftFlag n.
enum class TShiftFlag : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = uint8_t;

// Virtual key codes of the keys a handler may look at, as the framework
// numbers them; letters and digits are their upper-case ASCII codes.
constexpr uint16_t VK_BACK = 0x08;
constexpr uint16_t VK_TAB = 0x09;
constexpr uint16_t VK_RETURN = 0x0D;
constexpr uint16_t VK_SHIFT = 0x10;
constexpr uint16_t VK_CONTROL = 0x11;
constexpr uint16_t VK_MENU = 0x12;
constexpr uint16_t VK_ESCAPE = 0x1B;
constexpr uint16_t VK_SPACE = 0x20;
constexpr uint16_t VK_PRIOR = 0x21;
constexpr uint16_t VK_NEXT = 0x22;
constexpr uint16_t VK_END = 0x23;
constexpr uint16_t VK_HOME = 0x24;
constexpr uint16_t VK_LEFT = 0x25;
constexpr uint16_t VK_UP = 0x26;
constexpr uint16_t VK_RIGHT = 0x27;
constexpr uint16_t VK_DOWN = 0x28;
constexpr uint16_t VK_INSERT = 0x2D;
constexpr uint16_t VK_DELETE = 0x2E;
constexpr uint16_t VK_ADD = 0x6B;
constexpr uint16_t VK_SUBTRACT = 0x6D;
constexpr uint16_t VK_F1 = 0x70; // VK_F1 + n - 1 for Fn, up to F12

// Cursors, numbered as the framework numbers them.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -18;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// ---------------------------------------------------------------------------
// Events

using TNotifyHandler = std::function<void(TObject* sender)>;
using TCloseHandler = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryHandler = std::function<void(TObject* sender, bool& canClose)>;
using TKeyHandler = std::function<void(TObject* sender, uint16_t& key, TShiftState shift)>;
using TKeyPressHandler = std::function<void(TObject* sender, QChar& key)>;

// The signatures of event handlers; a handler is bound with one of them and
// can only be assigned to events of that kind.
enum class TEventKind { Notify, Close, CloseQuery, Key, KeyPress };
using TEventHandler =
    std::variant<TNotifyHandler, TCloseHandler, TCloseQueryHandler, TKeyHandler, TKeyPressHandler>;

// The type of the event properties of a kind: "TNotifyEvent", "TCloseEvent",
// "TCloseQueryEvent", "TKeyEvent", "TKeyPressEvent".
const TTypeInfo& EventTypeInfo(TEventKind kind);

// An object whose member functions handle events by name (a form).
class TEventHost {
public:
    virtual ~TEventHost();

    // Binds a name (found without regard to case) to a handler; binding a
    // name again replaces its handler.
    void BindEvent(const QString& name, TEventHandler handler);
    // The handler of that name, or null.
    const TEventHandler* FindEventHandler(const QString& name) const;
    bool HasEventHandler(const QString& name) const { return FindEventHandler(name) != nullptr; }

protected:
    // Forgets every handler: a host being destroyed calls it first, so that
    // nothing can reach the member functions of a part already gone.
    void ClearEventHandlers();

private:
    std::map<QString, TEventHandler> FHandlers; // by lower-case name
};

// Raises EPropertyError unless the method is unassigned or names a handler of
// that kind on its host.
void CheckEventBinding(const TMethod& method, TEventKind kind);
// Calls the handler a method names; nothing when the method is unassigned or
// its host no longer has the handler.
void CallNotifyEvent(const TMethod& method, TObject* sender);
void CallCloseEvent(const TMethod& method, TObject* sender, TCloseAction& action);
void CallCloseQueryEvent(const TMethod& method, TObject* sender, bool& canClose);
void CallKeyEvent(const TMethod& method, TObject* sender, uint16_t& key, TShiftState shift);
void CallKeyPressEvent(const TMethod& method, TObject* sender, QChar& key);

// The event properties of one component, by property name ("OnClick").
class TEventSet {
public:
    TMethod Get(const QString& name) const;
    // Raises EPropertyError when the method does not fit the kind.
    void Set(const QString& name, const TMethod& method, TEventKind kind);
    bool IsAssigned(const QString& name) const { return Get(name).IsAssigned(); }

private:
    std::map<QString, TMethod> FMethods; // by lower-case name
};

// ---------------------------------------------------------------------------
// Controls

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    // The widget that shows the control; it belongs to the control.
    QWidget* Widget() const { return FWidget.data(); }

    TWinControl* Parent() const { return FParent; }
    // Places the control into a parent (null takes it out). Raises
    // EInvalidOperation when the parent is the control itself or one of its
    // children.
    virtual void SetParent(TWinControl* parent);
    // The form the control sits on (itself for a form); null when none.
    TCustomForm* ParentForm() const;

    // Position and size in the parent's client area, logical pixels.
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int left) { SetBounds(left, FTop, FWidth, FHeight); }
    void SetTop(int top) { SetBounds(FLeft, top, FWidth, FHeight); }
    void SetWidth(int width) { SetBounds(FLeft, FTop, width, FHeight); }
    void SetHeight(int height) { SetBounds(FLeft, FTop, FWidth, height); }
    virtual void SetBounds(int left, int top, int width, int height);
    virtual int ClientWidth() const { return FWidth; }
    virtual int ClientHeight() const { return FHeight; }
    virtual void SetClientWidth(int width) { SetWidth(width); }
    virtual void SetClientHeight(int height) { SetHeight(height); }

    // The control's own flag, apart from whether Qt shows its widget.
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents up to a shown form.
    bool Showing() const;
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool enabled);

    // The control's text: the caption of buttons, labels and windows, the
    // contents of edits.
    virtual QString Text() const;
    virtual void SetText(const QString& text);
    QString Caption() const { return Text(); }
    void SetCaption(const QString& caption) { SetText(caption); }

    const QString& Hint() const { return FHint; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool showHint);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool parentShowHint);

    // The font; changing it clears ParentFont. With ParentFont the control
    // follows its parent's font.
    TFont* Font() const { return FFont.get(); }
    void SetFont(const TFont* font) { FFont->Assign(font); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool parentFont);
    TBiDiMode BiDiMode() const { return FBiDiMode; }
    void SetBiDiMode(TBiDiMode mode);
    // The colour; setting it clears ParentColor. With ParentColor the
    // control takes its parent's colour.
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool parentColor);

    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors anchors) { FAnchors = anchors; }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor cursor);
    // Shown on a context-menu request over the control (when AutoPopup).
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* menu);

    // Events by property name.
    TMethod Event(const QString& name) const { return FEvents.Get(name); }
    void SetEvent(const QString& name, const TMethod& method, TEventKind kind)
    {
        FEvents.Set(name, method, kind);
    }
    // What a click does: OnClick (buttons add their own part first).
    virtual void Click();
    void DblClick() { FireNotify(QStringLiteral("OnDblClick")); }

    void SetName(const QString& name) override; // also the widget's object name

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

    // Whether a release of the left mouse button over the widget is a click
    // (labels, images, panels, edits ...; buttons click through Qt).
    virtual bool ClicksOnMouseUp() const { return false; }

    // Called with key events that reach the control's widget; key 0 swallows
    // the key. The default runs OnKeyDown and OnKeyPress.
    virtual void KeyDown(uint16_t& key, TShiftState shift);
    virtual void KeyPress(QChar& key);

    // An event of one of the control's widgets, seen before the widget sees
    // it; true swallows it. The default turns mouse releases into clicks,
    // key presses into key events and resizes of a client widget into
    // anchoring and alignment.
    virtual bool HandleWidgetEvent(QWidget* widget, QEvent* event);

protected:
    // Gives the control its widget (once, from the constructor of the
    // concrete class); the control owns it from then on.
    void SetWidget(QWidget* widget);
    // A widget inside the control's widget whose events count as the
    // control's (the edit of a combo box, the viewport of a scroll area).
    void AddSubWidget(QWidget* widget);
    // The context of the control's signal connections: it goes first when
    // the control is destroyed, so no signal of a dying widget reaches it.
    QObject* SignalContext() const { return FSignals.get(); }
    // Whether the widget takes focus at all (it did when it was given).
    bool WidgetTakesFocus() const { return FFocusable; }
    // Whether events may fire now: not while loading or being destroyed.
    bool EventsEnabled() const;
    void FireNotify(const QString& event);

    // Hooks for the concrete classes.
    virtual void TextChanged() {}
    virtual void FontChanged();
    virtual void ColorChanged();
    virtual void BoundsChanged() {}
    // Shows or hides the widget by the Visible flag; a control without a
    // parent keeps its widget hidden, so that it never becomes a window.
    virtual void UpdateWidgetVisibility();
    virtual void ApplyBounds();
    // The widget's background fill: with ParentColor nothing is filled.
    virtual QPalette::ColorRole BackgroundRole() const { return QPalette::Window; }
    void ApplyHint();

    // The parent's font or colour changed (or the parent is new).
    void ParentFontChanged();
    void ParentColorChanged();

    QString FText;

private:
    friend class TWinControl;
    void FontObjectChanged();

    std::unique_ptr<QObject> FSignals;
    QPointer<QWidget> FWidget;
    bool FFocusable = false; // the widget takes focus at all
    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    bool FVisible = true;
    bool FEnabled = true;
    QString FHint;
    bool FShowHint = false;
    bool FParentShowHint = true;
    std::unique_ptr<TFont> FFont;
    bool FParentFont = true;
    TBiDiMode FBiDiMode = TBiDiMode::bdLeftToRight;
    bool FFollowingParent = false; // while the font or colour is copied from the parent
    // A font or colour change came while the control was being read from a
    // form stream; the widget takes the final one once, when it is loaded.
    bool FAppearancePending = false;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    TAnchors FAnchors = kDefaultAnchors;
    TAlign FAlign = TAlign::alNone;
    TCursor FCursor = crDefault;
    TPopupMenu* FPopupMenu = nullptr;
    TEventSet FEvents;

protected:
    // Concrete classes set their own defaults in their constructors.
    void InitColor(TColor color, bool parentColor)
    {
        FColor = color;
        FParentColor = parentColor;
    }
    void InitVisible(bool visible) { FVisible = visible; }
    void InitParentFont(bool parentFont) { FParentFont = parentFont; }
};

// A control that holds other controls.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    // Destroys the child controls first, as the framework does.
    ~TWinControl() override;

    int ControlCount() const { return int(FControls.size()); }
    TControl* Controls(int index) const;                 // EListError out of range
    bool ContainsControl(const TControl* control) const; // itself or a descendant
    // The widget the child controls' widgets sit in.
    virtual QWidget* ClientWidget() const { return Widget(); }

    // The position among the parent's tab stops; -1 without parent.
    int TabOrder() const;
    void SetTabOrder(int order);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool tabStop);
    bool Focused() const;
    bool CanFocus() const;
    virtual void SetFocus();

    // Places the aligned children anew (also after the client area changed).
    void Realign();

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void SetChildOrder(TComponent* child, int order) override;
    void Loaded() override;

    // The tab stops in tab order (for the form's focus chain).
    const std::vector<TWinControl*>& TabList() const { return FTabList; }

protected:
    friend class TControl;
    // A control arrives or leaves; the default reparents its widget into
    // ClientWidget().
    virtual void InsertControl(TControl* control);
    virtual void RemoveControl(TControl* control);
    // The client area changed size: anchored children follow, aligned ones
    // are placed anew.
    virtual void ClientResized(QSize oldSize, QSize newSize);
    // A child control moved or changed size.
    virtual void ControlBoundsChanged(TControl* /*control*/) {}

    void FontChanged() override;
    void ColorChanged() override;

private:
    std::vector<TControl*> FControls;
    std::vector<TWinControl*> FTabList;
    int FLoadedTabOrder = -1; // the TabOrder read while loading
    bool FTabStop = false;
    bool FAligning = false;
};

// A control drawn on its parent (labels, images, shapes, speed buttons).
class TGraphicControl : public TControl {
public:
    using TControl::TControl;
};

// The control whose widget (or a widget inside it) this is; null when none.
TControl* FindControlOfWidget(const QWidget* widget);

// The Qt cursor shape of a framework cursor.
Qt::CursorShape QtCursorShape(TCursor cursor);

// Maps a Qt key to the framework's virtual key code (0 when unknown).
uint16_t VirtualKeyOfQtKey(int qtKey);
