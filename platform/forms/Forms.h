#pragma once
// Windows and the application object.
//
// A window is a class derived from TForm. Its constructor binds the names of
// its handlers to member functions, then reads its form stream from the
// resource module, then builds its plain members:
//
//   TfTessvar::TfTessvar(TComponent* owner) : TForm(owner)
//   {
//       BindMethod("FormShow", &TfTessvar::FormShow);
//       BindMethod("bISOClick", &TfTessvar::bISOClick);
//       LoadForm();                          // RCDATA "TFTESSVAR"
//       bISO = RequireOwned<TButton>(this, "bISO");
//   }
//
// Reading the stream creates the controls by class name with their names as
// object names, sets their properties by name and binds the handlers the
// stream names; a handler the window did not bind is a load error. OnCreate
// runs once the constructor is through (AfterConstruction, which
// TApplication::CreateForm and NewForm call), OnDestroy before the window is
// destroyed (DestroyForm, and the application object at its end).
//
// ShowModal shows the window and runs a nested event loop until its
// ModalResult becomes non-zero (a button with a modal result, or code setting
// it); closing the window sets 2 (cancel). The window is then hidden and the
// result returned.
#include "platform/forms/Controls.h"
#include "platform/forms/EventBoundary.h"
#include "platform/rtl/Exceptions.h"

#include <QPointer>

#include <memory>
#include <vector>

class QEventLoop;
class QScrollArea;
class QScrollBar;
class TMainMenu;

RTL_EXCEPTION_CLASS(EResNotFound, Exception);

enum class TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TBorderStyle : uint8_t { bsNone, bsSingle };
// A set of border icons: bit n stands for TBorderIcon n.
enum class TBorderIcon : uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = uint8_t;
constexpr TBorderIcons kDefaultBorderIcons = 0x07; // system menu, minimize, maximize
// Where a window appears; streamed under the framework's type name
// "TPosition" (the C++ name differs so that the report writer's TPosition
// record can be used beside it).
enum class TFormPosition : uint8_t {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};
enum class TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

// A scroll bar of a scrolling control: the extent scrolled over (Range), the
// position and the step of one line, in pixels. Forms keep the values; a
// scroll box scrolls by them.
class TControlScrollBar : public TPersistent {
public:
    int Increment() const { return FIncrement; }
    void SetIncrement(int increment);
    int Position() const;
    void SetPosition(int position);
    int Range() const { return FRange; }
    void SetRange(int range);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    // The largest position: Range minus the visible extent, at least 0.
    int Maximum() const;

    void Assign(const TPersistent* source) override;

    // The Qt scroll bar that shows it (null: none) and what runs when the
    // range changes.
    void Attach(QScrollBar* bar);
    std::function<void()> OnChange;

private:
    QPointer<QScrollBar> FBar;
    int FIncrement = 8;
    int FPosition = 0;
    int FRange = 0;
    bool FVisible = true;
};

class TScrollingWinControl : public TWinControl {
public:
    explicit TScrollingWinControl(TComponent* owner);
    ~TScrollingWinControl() override;

    bool AutoScroll() const { return FAutoScroll; }
    virtual void SetAutoScroll(bool autoScroll) { FAutoScroll = autoScroll; }
    TControlScrollBar* HorzScrollBar() const { return FHorz.get(); }
    TControlScrollBar* VertScrollBar() const { return FVert.get(); }

private:
    std::unique_ptr<TControlScrollBar> FHorz;
    std::unique_ptr<TControlScrollBar> FVert;
    bool FAutoScroll = true;
};

// A scrolling container: its child controls sit on a surface as large as
// the scroll bars' ranges (with AutoScroll, as the children reach).
class TScrollBox : public TScrollingWinControl {
public:
    explicit TScrollBox(TComponent* owner);

    QWidget* ClientWidget() const override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    void SetAutoScroll(bool autoScroll) override;
    // Fits the surface to the ranges (and, with AutoScroll, the ranges to
    // the children).
    void UpdateScrollRange();
    QScrollArea* ScrollArea() const;

    bool HandleWidgetEvent(QWidget* widget, QEvent* event) override;

protected:
    void InsertControl(TControl* control) override;
    void RemoveControl(TControl* control) override;
    void ControlBoundsChanged(TControl* control) override;

private:
    QWidget* FSurface = nullptr; // owned by the scroll area
    TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
    bool FUpdating = false;
};

class TCustomForm : public TScrollingWinControl, public TEventHost {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    // Reads the window's form stream from the resource module: RCDATA named
    // after the form class in upper case ("TfTessvar" reads "TFTESSVAR"), or
    // the name given. Raises EResNotFound "Resource <name> not found" and the
    // reader's errors.
    void LoadForm(const QString& resourceName = QString());
    // Reads a form stream ("TPF0") onto this window.
    void ReadForm(const QByteArray& formStream);

    // OnCreate, then the window shows itself when its stream made it
    // visible. Called once after the constructor.
    virtual void AfterConstruction();
    // OnDestroy; called once before the window is destroyed.
    virtual void BeforeDestruction();

    // Binds a handler name to a member function of the window's class F
    // (call it from F's constructor, before LoadForm).
    template <class F> void BindMethod(const QString& name, void (F::*method)(TObject*));
    template <class F> void BindMethod(const QString& name, void (F::*method)(TObject*, TCloseAction&));
    template <class F> void BindMethod(const QString& name, void (F::*method)(TObject*, bool&));
    template <class F>
    void BindMethod(const QString& name, void (F::*method)(TObject*, uint16_t&, TShiftState));
    template <class F> void BindMethod(const QString& name, void (F::*method)(TObject*, QChar&));

    // Showing and hiding: OnShow runs before the window appears, OnHide
    // before it goes.
    void SetVisible(bool visible) override;
    // Raises EInvalidOperation "Cannot make a visible window modal" when the
    // window is shown already or disabled.
    int ShowModal();
    // Shows the window without waiting, blocking input to every other
    // window until it is hidden (a progress window with its Cancel button).
    void ShowBlocking();
    // OnCloseQuery, OnClose, then the window goes as OnClose decided (hidden
    // by default; the main window ends the application). A modal window
    // takes the modal result 2 instead.
    void Close();
    bool CloseQuery();
    // Destroys the window once the current event is handled.
    void Release();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult result);
    bool Modal() const { return FModal; }
    bool Active() const;

    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetClientWidth(int width) override;
    void SetClientHeight(int height) override;
    QWidget* ClientWidget() const override;

    // The main menu, shown as a menu bar above the client area.
    TMainMenu* Menu() const { return FMenu; }
    void SetMenu(TMainMenu* menu);

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle style);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons icons);
    TFormPosition Position() const { return FPosition; }
    void SetPosition(TFormPosition position) { FPosition = position; }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle style);
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool keyPreview) { FKeyPreview = keyPreview; }
    // The resolution and text height the stream was designed with; kept,
    // not applied (Qt scales by its own logical pixels).
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int ppi) { FPixelsPerInch = ppi; }
    int TextHeight() const { return FTextHeight; }
    void SetTextHeight(int height) { FTextHeight = height; }
    bool Scaled() const { return FScaled; }
    void SetScaled(bool scaled) { FScaled = scaled; }
    bool OldCreateOrder() const { return FOldCreateOrder; }
    void SetOldCreateOrder(bool oldOrder) { FOldCreateOrder = oldOrder; }
    // The control that gets the focus when the window shows.
    TWinControl* ActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* control);

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    bool HandleWidgetEvent(QWidget* widget, QEvent* event) override;

protected:
    void Loaded() override;
    void TextChanged() override;
    void ApplyBounds() override;
    void UpdateWidgetVisibility() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    template <class F> F* HostAs();
    int FrameWidth() const;
    int FrameHeight() const;
    int MenuHeight() const;
    void PlaceMenuBar();
    void ApplyWindowFlags();
    void PlaceOnScreen();
    void TakeWindowGeometry(const QWidget* widget);
    void ApplyTabOrder();
    void CloseModal();
    bool ClickDialogButton(int qtKey);

    TModalResult FModalResult = mrNone;
    bool FModal = false;
    QEventLoop* FModalLoop = nullptr;
    bool FShowOnCreate = false; // Visible read from the stream
    bool FPlaced = false;
    bool FTakingGeometry = false;  // recording the window system's report
    bool FWritingGeometry = false; // writing the window's place and size
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
    TBorderIcons FBorderIcons = kDefaultBorderIcons;
    TFormPosition FPosition = TFormPosition::poDesigned;
    TWindowState FWindowState = TWindowState::wsNormal;
    TFormStyle FFormStyle = TFormStyle::fsNormal;
    bool FKeyPreview = false;
    int FPixelsPerInch = 96;
    int FTextHeight = 13;
    bool FScaled = true;
    bool FOldCreateOrder = false;
    TWinControl* FActiveControl = nullptr;
    TMainMenu* FMenu = nullptr;
    QWidget* FClientArea = nullptr; // below the menu bar; null without a menu
};

// The framework's form class; windows derive from it.
class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
};

// Every window alive, in the order of creation.
const std::vector<TCustomForm*>& ScreenForms();

// Creates a window (constructor, then AfterConstruction) and destroys one
// (BeforeDestruction, then delete).
template <class T> T* NewForm(TComponent* owner);
void DestroyForm(TCustomForm* form);

// A component owned by owner, by name, of class T: Find answers null (also
// for another class), Require raises EComponentError naming what is missing.
template <class T> T* FindOwned(const TComponent* owner, const QString& name);
template <class T> T* RequireOwned(const TComponent* owner, const QString& name);

// The application object: one per program, owning the windows it creates.
// It installs its default exception dialog (title: the application's title,
// text: the exception's message, one OK button) at the event boundary for as
// long as it lives.
class TApplication : public TComponent {
public:
    // Raises EInvalidOperation when another application object exists.
    TApplication();
    // Destroys the windows, last created first, each after its OnDestroy.
    ~TApplication() override;

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& title) { FTitle = title; }

    // Creates a window owned by the application into its global instance;
    // the first window created is the main window.
    template <class T> void CreateForm(T*& reference);
    TCustomForm* MainForm() const { return FMainForm; }
    bool ShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool show) { FShowMainForm = show; }

    // Shows the main window from inside the loop and handles events until
    // Terminate; returns at once without a main window.
    void Run();
    // Ends Run and every modal loop (modal windows close with result 2).
    void Terminate();
    bool Terminated() const { return FTerminated; }
    void ProcessMessages();

    // The default exception dialog; OnException replaces it. EAbort is
    // silent.
    void HandleException(const Exception& error);
    void ShowException(const Exception& error);
    std::function<void(const Exception&)> OnException;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void FormCreated(TCustomForm* form);

    QString FTitle;
    TCustomForm* FMainForm = nullptr;
    bool FShowMainForm = true;
    bool FTerminated = false;
    std::unique_ptr<QObject> FContext; // the context of queued calls
    TExceptionHandler FPreviousHandler;
};

// The application object; null when there is none.
TApplication* Application();

// The screen: the cursor shown over every window of the program (crDefault
// lets each control show its own; crHourGlass while the program is busy),
// and the fonts of hints, menus and icon titles. Qt draws those from the
// platform theme; the fonts are kept so that a language switch can set their
// character set as it sets the windows' fonts.
class TScreen {
public:
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor cursor);
    TFont* HintFont() const { return FHintFont.get(); }
    TFont* MenuFont() const { return FMenuFont.get(); }
    TFont* IconFont() const { return FIconFont.get(); }

private:
    TCursor FCursor = crDefault;
    std::unique_ptr<TFont> FHintFont = std::make_unique<TFont>();
    std::unique_ptr<TFont> FMenuFont = std::make_unique<TFont>();
    std::unique_ptr<TFont> FIconFont = std::make_unique<TFont>();
};
TScreen* Screen();

// ---------------------------------------------------------------------------
// Template implementations.

template <class F> F* TCustomForm::HostAs()
{
    auto* self = dynamic_cast<F*>(this);
    if (!self)
        throw EInvalidCast(QStringLiteral("Invalid class typecast"));
    return self;
}

template <class F> void TCustomForm::BindMethod(const QString& name, void (F::*method)(TObject*))
{
    F* self = HostAs<F>();
    BindEvent(name, TNotifyHandler([self, method](TObject* sender) { (self->*method)(sender); }));
}

template <class F>
void TCustomForm::BindMethod(const QString& name, void (F::*method)(TObject*, TCloseAction&))
{
    F* self = HostAs<F>();
    BindEvent(name, TCloseHandler([self, method](TObject* sender, TCloseAction& action) {
                  (self->*method)(sender, action);
              }));
}

template <class F> void TCustomForm::BindMethod(const QString& name, void (F::*method)(TObject*, bool&))
{
    F* self = HostAs<F>();
    BindEvent(name, TCloseQueryHandler([self, method](TObject* sender, bool& canClose) {
                  (self->*method)(sender, canClose);
              }));
}

template <class F>
void TCustomForm::BindMethod(const QString& name, void (F::*method)(TObject*, uint16_t&, TShiftState))
{
    F* self = HostAs<F>();
    BindEvent(name, TKeyHandler([self, method](TObject* sender, uint16_t& key, TShiftState shift) {
                  (self->*method)(sender, key, shift);
              }));
}

template <class F> void TCustomForm::BindMethod(const QString& name, void (F::*method)(TObject*, QChar&))
{
    F* self = HostAs<F>();
    BindEvent(name, TKeyPressHandler(
                        [self, method](TObject* sender, QChar& key) { (self->*method)(sender, key); }));
}

template <class T> T* NewForm(TComponent* owner)
{
    auto* form = new T(owner);
    try {
        form->AfterConstruction();
    } catch (...) {
        delete form;
        throw;
    }
    return form;
}

template <class T> T* FindOwned(const TComponent* owner, const QString& name)
{
    return owner ? dynamic_cast<T*>(owner->FindComponent(name)) : nullptr;
}

template <class T> T* RequireOwned(const TComponent* owner, const QString& name)
{
    TComponent* component = owner ? owner->FindComponent(name) : nullptr;
    if (!component)
        throw EComponentError(QStringLiteral("Component %1 not found in %2")
                                  .arg(name, owner ? owner->Name() : QStringLiteral("nil")));
    auto* typed = dynamic_cast<T*>(component);
    if (!typed)
        throw EComponentError(QStringLiteral("Component %1 of %2 is a %3 of another class")
                                  .arg(name, owner->Name(), component->ClassName()));
    return typed;
}

template <class T> void TApplication::CreateForm(T*& reference)
{
    reference = nullptr;
    T* form = new T(this);
    reference = form;
    FormCreated(form);
}
