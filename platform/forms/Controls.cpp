#include "platform/forms/Controls.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/Forms.h"
#include "platform/forms/Menus.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>

#include <algorithm>
#include <climits>

namespace {

// Every control by the widgets that stand for it.
QHash<const QWidget*, TControl*>& WidgetMap()
{
    static QHash<const QWidget*, TControl*> map;
    return map;
}

QString Key(const QString& name)
{
    return name.toLower();
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= TShiftState(1u << unsigned(TShiftFlag::ssShift));
    if (modifiers & Qt::AltModifier)
        shift |= TShiftState(1u << unsigned(TShiftFlag::ssAlt));
    if (modifiers & Qt::ControlModifier)
        shift |= TShiftState(1u << unsigned(TShiftFlag::ssCtrl));
    return shift;
}

Qt::CursorShape CursorShapeOf(TCursor cursor)
{
    switch (cursor) {
    case crCross:
        return Qt::CrossCursor;
    case crIBeam:
        return Qt::IBeamCursor;
    case crSizeNESW:
        return Qt::SizeBDiagCursor;
    case crSizeNS:
        return Qt::SizeVerCursor;
    case crSizeNWSE:
        return Qt::SizeFDiagCursor;
    case crSizeWE:
        return Qt::SizeHorCursor;
    case crUpArrow:
        return Qt::UpArrowCursor;
    case crHourGlass:
        return Qt::WaitCursor;
    case crNo:
        return Qt::ForbiddenCursor;
    case crHandPoint:
        return Qt::PointingHandCursor;
    case crSizeAll:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

// Whether a component or one of its owners is being destroyed: then none of
// its events may run.
bool Dying(const TComponent* component)
{
    for (const TComponent* c = component; c; c = c->Owner()) {
        if (c->ComponentState().Contains(TComponentStateFlag::csDestroying))
            return true;
    }
    return false;
}

// The chain of windowed controls from the one holding the widget up to (not
// including) its form, innermost first.
struct TChainLink {
    QPointer<QWidget> Widget;
    TWinControl* Control;
};
std::vector<TChainLink> FocusChain(QWidget* widget)
{
    std::vector<TChainLink> chain;
    for (TControl* c = widget ? FindControlOfWidget(widget) : nullptr; c; c = c->Parent()) {
        if (Dying(c))
            return {};
        if (dynamic_cast<TCustomForm*>(c))
            break;
        if (auto* win = dynamic_cast<TWinControl*>(c))
            chain.push_back({win->Widget(), win});
    }
    return chain;
}

bool InChain(const std::vector<TChainLink>& chain, const TWinControl* control)
{
    return std::any_of(chain.begin(), chain.end(),
                       [control](const TChainLink& l) { return l.Control == control; });
}

bool StillAlive(const TChainLink& link)
{
    return link.Widget && WidgetMap().value(link.Widget.data()) == link.Control && !Dying(link.Control);
}

// OnExit for the controls the focus left (innermost first), then OnEnter for
// those it entered (outermost first), as the framework orders them.
void FocusChanged(QWidget* oldWidget, QWidget* newWidget)
{
    const std::vector<TChainLink> oldChain = FocusChain(oldWidget);
    const std::vector<TChainLink> newChain = FocusChain(newWidget);
    for (const TChainLink& link : oldChain) {
        if (!InChain(newChain, link.Control) && StillAlive(link))
            GuardEvent([&] { CallNotifyEvent(link.Control->Event(QStringLiteral("OnExit")), link.Control); });
    }
    for (auto it = newChain.rbegin(); it != newChain.rend(); ++it) {
        if (!InChain(oldChain, it->Control) && StillAlive(*it))
            GuardEvent([&] { CallNotifyEvent(it->Control->Event(QStringLiteral("OnEnter")), it->Control); });
    }
}

} // namespace

// Sees the events of every control's widgets before the widgets do.
class TControlEventFilter : public QObject {
public:
    explicit TControlEventFilter(QObject* parent) : QObject(parent)
    {
        connect(qApp, &QApplication::focusChanged, this, &FocusChanged);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        TControl* control = WidgetMap().value(widget);
        if (!control || Dying(control))
            return false;
        bool consumed = false;
        GuardEvent([&] { consumed = control->HandleWidgetEvent(widget, event); });
        return consumed;
    }
};

namespace {

TControlEventFilter& EventFilter()
{
    static QPointer<TControlEventFilter> filter;
    if (!filter)
        filter = new TControlEventFilter(qApp);
    return *filter;
}

} // namespace

// ---------------------------------------------------------------------------
// Events

const TTypeInfo& EventTypeInfo(TEventKind kind)
{
    static const TTypeInfo types[] = {
        {QStringLiteral("TNotifyEvent"), TTypeKind::tkMethod, {}, nullptr, TFloatType::ftExtended, {}},
        {QStringLiteral("TCloseEvent"), TTypeKind::tkMethod, {}, nullptr, TFloatType::ftExtended, {}},
        {QStringLiteral("TCloseQueryEvent"), TTypeKind::tkMethod, {}, nullptr, TFloatType::ftExtended, {}},
        {QStringLiteral("TKeyEvent"), TTypeKind::tkMethod, {}, nullptr, TFloatType::ftExtended, {}},
        {QStringLiteral("TKeyPressEvent"), TTypeKind::tkMethod, {}, nullptr, TFloatType::ftExtended, {}},
    };
    return types[int(kind)];
}

TEventHost::~TEventHost() = default;

void TEventHost::BindEvent(const QString& name, TEventHandler handler)
{
    FHandlers[Key(name)] = std::move(handler);
}

const TEventHandler* TEventHost::FindEventHandler(const QString& name) const
{
    auto it = FHandlers.find(Key(name));
    return it == FHandlers.end() ? nullptr : &it->second;
}

void TEventHost::ClearEventHandlers()
{
    FHandlers.clear();
}

namespace {

const TEventHandler* HandlerOf(const TMethod& method)
{
    if (!method.IsAssigned())
        return nullptr;
    auto* host = dynamic_cast<TEventHost*>(method.Data);
    return host ? host->FindEventHandler(method.Name) : nullptr;
}

template <class H> const H* TypedHandler(const TMethod& method)
{
    const TEventHandler* handler = HandlerOf(method);
    return handler ? std::get_if<H>(handler) : nullptr;
}

} // namespace

void CheckEventBinding(const TMethod& method, TEventKind kind)
{
    if (!method.IsAssigned())
        return;
    auto* host = dynamic_cast<TEventHost*>(method.Data);
    if (!host)
        throw EPropertyError(QStringLiteral("Method %1 has no object that handles events").arg(method.Name));
    const TEventHandler* handler = host->FindEventHandler(method.Name);
    if (!handler)
        throw EPropertyError(QStringLiteral("Method %1 not found").arg(method.Name));
    if (handler->index() != size_t(kind))
        throw EPropertyError(
            QStringLiteral("Method %1 is no %2 handler").arg(method.Name, EventTypeInfo(kind).Name));
}

void CallNotifyEvent(const TMethod& method, TObject* sender)
{
    if (auto* h = TypedHandler<TNotifyHandler>(method))
        (*h)(sender);
}

void CallCloseEvent(const TMethod& method, TObject* sender, TCloseAction& action)
{
    if (auto* h = TypedHandler<TCloseHandler>(method))
        (*h)(sender, action);
}

void CallCloseQueryEvent(const TMethod& method, TObject* sender, bool& canClose)
{
    if (auto* h = TypedHandler<TCloseQueryHandler>(method))
        (*h)(sender, canClose);
}

void CallKeyEvent(const TMethod& method, TObject* sender, uint16_t& key, TShiftState shift)
{
    if (auto* h = TypedHandler<TKeyHandler>(method))
        (*h)(sender, key, shift);
}

void CallKeyPressEvent(const TMethod& method, TObject* sender, QChar& key)
{
    if (auto* h = TypedHandler<TKeyPressHandler>(method))
        (*h)(sender, key);
}

TMethod TEventSet::Get(const QString& name) const
{
    auto it = FMethods.find(Key(name));
    return it == FMethods.end() ? TMethod() : it->second;
}

void TEventSet::Set(const QString& name, const TMethod& method, TEventKind kind)
{
    CheckEventBinding(method, kind);
    if (method.IsAssigned())
        FMethods[Key(name)] = method;
    else
        FMethods.erase(Key(name));
}

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner)
    : TComponent(owner), FSignals(std::make_unique<QObject>()), FFont(std::make_unique<TFont>())
{
    FFont->OnChange = [this](TObject*) { FontObjectChanged(); };
}

TControl::~TControl()
{
    SetComponentState(TComponentStateFlag::csDestroying, true);
    FSignals.reset();
    if (FParent)
        FParent->RemoveControl(this);
    FParent = nullptr;
    for (auto it = WidgetMap().begin(); it != WidgetMap().end();) {
        if (it.value() == this)
            it = WidgetMap().erase(it);
        else
            ++it;
    }
    delete FWidget.data();
}

void TControl::SetWidget(QWidget* widget)
{
    FWidget = widget;
    FFocusable = widget->focusPolicy() != Qt::NoFocus;
    widget->setObjectName(Name());
    AddSubWidget(widget);
    widget->setEnabled(FEnabled);
    ApplyBounds();
    // The colours too: the font colour is part of the palette. A control
    // made by a form stream's reader takes them once it is loaded.
    const TComponent* owner = Owner();
    if (owner && owner->ComponentState().Contains(TComponentStateFlag::csLoading))
        FAppearancePending = true;
    else
        FontChanged();
}

void TControl::AddSubWidget(QWidget* widget)
{
    WidgetMap().insert(widget, this);
    widget->installEventFilter(&EventFilter());
}

void TControl::SetName(const QString& name)
{
    TComponent::SetName(name);
    if (FWidget)
        FWidget->setObjectName(name);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (parent) {
        const auto* self = dynamic_cast<const TWinControl*>(this);
        if (self && self->ContainsControl(parent))
            throw EInvalidOperation(QStringLiteral("A control cannot have itself as its parent"));
    }
    if (FParent)
        FParent->RemoveControl(this);
    FParent = parent;
    if (FParent) {
        FParent->InsertControl(this);
    } else if (FWidget) {
        FWidget->hide();
        FWidget->setParent(nullptr);
    }
    ApplyBounds();
    UpdateWidgetVisibility();
    ParentFontChanged();
    ParentColorChanged();
    ApplyHint();
}

TCustomForm* TControl::ParentForm() const
{
    const TControl* c = this;
    while (c->Parent())
        c = c->Parent();
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

TComponent* TControl::GetParentComponent() const
{
    return FParent;
}

void TControl::SetParentComponent(TComponent* parent)
{
    if (auto* win = dynamic_cast<TWinControl*>(parent))
        SetParent(win);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    auto* win = dynamic_cast<TWinControl*>(this);
    const QSize oldClient(ClientWidth(), ClientHeight());
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    ApplyBounds();
    BoundsChanged();
    if (win) {
        const QSize newClient(ClientWidth(), ClientHeight());
        if (newClient != oldClient)
            win->ClientResized(oldClient, newClient);
    }
    if (FParent) {
        FParent->ControlBoundsChanged(this);
        if (FAlign != TAlign::alNone)
            FParent->Realign();
    }
}

void TControl::ApplyBounds()
{
    if (!FWidget)
        return;
    if (FParent)
        FWidget->setGeometry(FLeft, FTop, std::max(FWidth, 0), std::max(FHeight, 0));
    else
        FWidget->resize(std::max(FWidth, 0), std::max(FHeight, 0));
}

void TControl::SetVisible(bool visible)
{
    if (visible == FVisible)
        return;
    FVisible = visible;
    UpdateWidgetVisibility();
    if (FParent && FAlign != TAlign::alNone)
        FParent->Realign();
}

void TControl::UpdateWidgetVisibility()
{
    // A widget outside any parent widget would show as a window of its own.
    if (FWidget)
        FWidget->setVisible(FVisible && FParent && FWidget->parentWidget());
}

bool TControl::Showing() const
{
    if (!FVisible)
        return false;
    if (FParent)
        return FParent->Showing();
    return dynamic_cast<const TCustomForm*>(this) != nullptr;
}

void TControl::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    if (FWidget)
        FWidget->setEnabled(enabled);
}

QString TControl::Text() const
{
    return FText;
}

void TControl::SetText(const QString& text)
{
    if (text == FText)
        return;
    FText = text;
    TextChanged();
}

void TControl::SetHint(const QString& hint)
{
    FHint = hint;
    ApplyHint();
}

void TControl::SetShowHint(bool showHint)
{
    FShowHint = showHint;
    FParentShowHint = false;
    ApplyHint();
}

void TControl::SetParentShowHint(bool parentShowHint)
{
    FParentShowHint = parentShowHint;
    ApplyHint();
}

void TControl::ApplyHint()
{
    if (!FWidget)
        return;
    const TControl* c = this;
    while (c->FParentShowHint && c->FParent)
        c = c->FParent;
    FWidget->setToolTip(c->FShowHint ? FHint : QString());
}

void TControl::SetBiDiMode(TBiDiMode mode)
{
    FBiDiMode = mode;
    if (QWidget* widget = Widget())
        widget->setLayoutDirection(mode == TBiDiMode::bdLeftToRight ? Qt::LeftToRight : Qt::RightToLeft);
}

void TControl::SetParentFont(bool parentFont)
{
    if (parentFont == FParentFont)
        return;
    FParentFont = parentFont;
    ParentFontChanged();
}

void TControl::FontObjectChanged()
{
    if (!FFollowingParent)
        FParentFont = false;
    FontChanged();
}

void TControl::FontChanged()
{
    if (!FWidget)
        return;
    // A control read from a form stream changes font and colour once per
    // property and again with its parent: the widget takes them when the
    // control is loaded.
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FAppearancePending = true;
        return;
    }
    FWidget->setFont(ToQFont(*FFont));
    ColorChanged(); // the font colour is part of the palette
}

void TControl::ParentFontChanged()
{
    if (!FParentFont || !FParent)
        return;
    FFollowingParent = true;
    try {
        FFont->Assign(FParent->Font());
    } catch (...) {
        FFollowingParent = false;
        throw;
    }
    FFollowingParent = false;
}

void TControl::SetColor(TColor color)
{
    FParentColor = false;
    if (color == FColor) {
        ColorChanged();
        return;
    }
    FColor = color;
    ColorChanged();
}

void TControl::SetParentColor(bool parentColor)
{
    if (parentColor == FParentColor)
        return;
    FParentColor = parentColor;
    ParentColorChanged();
    ColorChanged();
}

void TControl::ParentColorChanged()
{
    if (!FParentColor || !FParent)
        return;
    if (FColor != FParent->Color()) {
        FColor = FParent->Color();
        ColorChanged();
    }
}

void TControl::ColorChanged()
{
    if (!FWidget)
        return;
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FAppearancePending = true;
        return;
    }
    // Only the roles set here are the widget's own; the others follow the
    // parent widget, as Qt resolves palettes.
    QPalette palette;
    const bool ownColor = !FParentColor || !FParent;
    if (ownColor)
        palette.setColor(BackgroundRole(), ToQColor(FColor));
    const TColor text = FFont->Color();
    if (text != clWindowText && text != clBtnText) {
        const QColor color = ToQColor(text);
        palette.setColor(QPalette::WindowText, color);
        palette.setColor(QPalette::Text, color);
        palette.setColor(QPalette::ButtonText, color);
    }
    FWidget->setPalette(palette);
    FWidget->setAutoFillBackground(ownColor && BackgroundRole() == QPalette::Window);
}

void TControl::SetAlign(TAlign align)
{
    if (align == FAlign)
        return;
    FAlign = align;
    if (FParent)
        FParent->Realign();
}

void TControl::SetCursor(TCursor cursor)
{
    FCursor = cursor;
    if (!FWidget)
        return;
    if (cursor == crDefault)
        FWidget->unsetCursor();
    else
        FWidget->setCursor(CursorShapeOf(cursor));
}

void TControl::Click()
{
    FireNotify(QStringLiteral("OnClick"));
}

bool TControl::EventsEnabled() const
{
    for (const TComponent* c = this; c; c = c->Owner()) {
        if (c->ComponentState().Contains(TComponentStateFlag::csLoading))
            return false;
    }
    return !Dying(this);
}

void TControl::FireNotify(const QString& event)
{
    if (EventsEnabled())
        CallNotifyEvent(FEvents.Get(event), this);
}

void TControl::Loaded()
{
    TComponent::Loaded();
    if (FAppearancePending) {
        FAppearancePending = false;
        FontChanged();
    }
}

void TControl::KeyDown(uint16_t& key, TShiftState shift)
{
    if (EventsEnabled())
        CallKeyEvent(FEvents.Get(QStringLiteral("OnKeyDown")), this, key, shift);
}

void TControl::KeyPress(QChar& key)
{
    if (EventsEnabled())
        CallKeyPressEvent(FEvents.Get(QStringLiteral("OnKeyPress")), this, key);
}

void TControl::SetPopupMenu(TPopupMenu* menu)
{
    ReferenceComponent<TPopupMenu>(this, FPopupMenu, menu);
}

void TControl::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FPopupMenu)
        FPopupMenu = nullptr;
}

Qt::CursorShape QtCursorShape(TCursor cursor)
{
    return CursorShapeOf(cursor);
}

bool TControl::HandleWidgetEvent(QWidget* widget, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ContextMenu:
        if (FPopupMenu && FPopupMenu->AutoPopup() && FEnabled) {
            const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
            FPopupMenu->SetPopupComponent(this);
            GuardEvent([this, at] { FPopupMenu->Popup(at.x(), at.y()); });
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (ClicksOnMouseUp() && FEnabled && mouse->button() == Qt::LeftButton &&
            widget->rect().contains(mouse->position().toPoint()))
            Click();
        return false;
    }
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            DblClick();
        return false;
    case QEvent::KeyPress: {
        // Only where the key arrives first: a key the focus widget ignores
        // travels on to its parents, whose handlers must not see it again.
        const QWidget* focus = QApplication::focusWidget();
        if (widget != (focus ? focus : widget->window()))
            return false;
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        uint16_t key = VirtualKeyOfQtKey(keyEvent->key());
        const TShiftState shift = ShiftOf(keyEvent->modifiers());
        TCustomForm* form = ParentForm();
        const bool preview = form && form != this && form->KeyPreview();
        if (key != 0) {
            if (preview)
                form->KeyDown(key, shift);
            if (key != 0)
                KeyDown(key, shift);
            if (key == 0)
                return true;
        }
        const QString text = keyEvent->text();
        if (text.size() == 1) {
            QChar ch = text.at(0);
            if (preview)
                form->KeyPress(ch);
            if (!ch.isNull())
                KeyPress(ch);
            if (ch.isNull())
                return true;
        }
        return false;
    }
    case QEvent::Resize: {
        auto* win = dynamic_cast<TWinControl*>(this);
        if (win && widget == win->ClientWidget() && widget != FWidget.data()) {
            auto* resize = static_cast<QResizeEvent*>(event);
            win->ClientResized(resize->oldSize(), resize->size());
        }
        return false;
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl()
{
    SetComponentState(TComponentStateFlag::csDestroying, true);
    while (!FControls.empty())
        delete FControls.back();
}

TControl* TWinControl::Controls(int index) const
{
    if (index < 0 || index >= ControlCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FControls[size_t(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const
{
    for (const TControl* c = control; c; c = c->Parent()) {
        if (c == this)
            return true;
    }
    return false;
}

void TWinControl::InsertControl(TControl* control)
{
    FControls.push_back(control);
    if (auto* win = dynamic_cast<TWinControl*>(control))
        FTabList.push_back(win);
    if (QWidget* widget = control->Widget()) {
        widget->setParent(ClientWidget());
        widget->raise();
    }
}

void TWinControl::RemoveControl(TControl* control)
{
    FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), control), FTabList.end());
}

int TWinControl::TabOrder() const
{
    if (!Parent())
        return -1;
    const auto& list = Parent()->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : int(it - list.begin());
}

void TWinControl::SetTabOrder(int order)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FLoadedTabOrder = order;
        return;
    }
    if (!Parent())
        return;
    auto& list = Parent()->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    if (it == list.end())
        return;
    list.erase(it);
    const int at = std::clamp(order, 0, int(list.size()));
    list.insert(list.begin() + at, this);
}

void TWinControl::SetTabStop(bool tabStop)
{
    FTabStop = tabStop;
    if (QWidget* widget = Widget(); widget && WidgetTakesFocus())
        widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TWinControl::Focused() const
{
    return Widget() && Widget()->hasFocus();
}

bool TWinControl::CanFocus() const
{
    for (const TControl* c = this; c; c = c->Parent()) {
        if (!c->Visible() || !c->Enabled())
            return false;
    }
    return ParentForm() != nullptr;
}

void TWinControl::SetFocus()
{
    if (!CanFocus())
        throw EInvalidOperation(QStringLiteral("Cannot focus a disabled or invisible window"));
    if (QWidget* widget = Widget())
        widget->setFocus(Qt::OtherFocusReason);
}

void TWinControl::Loaded()
{
    TControl::Loaded();
    // The tab order read with the children: each takes the place it names.
    std::stable_sort(FTabList.begin(), FTabList.end(), [](const TWinControl* a, const TWinControl* b) {
        const int ka = a->FLoadedTabOrder < 0 ? INT_MAX : a->FLoadedTabOrder;
        const int kb = b->FLoadedTabOrder < 0 ? INT_MAX : b->FLoadedTabOrder;
        return ka < kb;
    });
    for (TWinControl* child : FTabList)
        child->FLoadedTabOrder = -1;
    Realign();
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (TControl* control : FControls) {
        if (control->Owner() == root)
            proc(control);
    }
}

void TWinControl::SetChildOrder(TComponent* child, int order)
{
    auto* control = dynamic_cast<TControl*>(child);
    auto it = std::find(FControls.begin(), FControls.end(), control);
    if (it == FControls.end())
        return;
    FControls.erase(it);
    FControls.insert(FControls.begin() + std::clamp(order, 0, int(FControls.size())), control);
    for (TControl* c : FControls) {
        if (QWidget* widget = c->Widget())
            widget->raise();
    }
}

void TWinControl::Realign()
{
    if (FAligning || ComponentState().Contains(TComponentStateFlag::csLoading))
        return;
    FAligning = true;
    try {
        int left = 0;
        int top = 0;
        int right = ClientWidth();
        int bottom = ClientHeight();
        const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                                TAlign::alClient};
        for (TAlign align : order) {
            std::vector<TControl*> group;
            for (TControl* c : FControls) {
                if (c->Align() == align && c->Visible())
                    group.push_back(c);
            }
            // The framework keeps aligned controls in the order of their
            // position along the side they stick to.
            std::stable_sort(group.begin(), group.end(), [align](const TControl* a, const TControl* b) {
                switch (align) {
                case TAlign::alTop:
                    return a->Top() < b->Top();
                case TAlign::alBottom:
                    return a->Top() + a->Height() > b->Top() + b->Height();
                case TAlign::alLeft:
                    return a->Left() < b->Left();
                case TAlign::alRight:
                    return a->Left() + a->Width() > b->Left() + b->Width();
                default:
                    return false;
                }
            });
            for (TControl* c : group) {
                const int w = c->Width();
                const int h = c->Height();
                switch (align) {
                case TAlign::alTop:
                    c->SetBounds(left, top, right - left, h);
                    top += h;
                    break;
                case TAlign::alBottom:
                    c->SetBounds(left, bottom - h, right - left, h);
                    bottom -= h;
                    break;
                case TAlign::alLeft:
                    c->SetBounds(left, top, w, bottom - top);
                    left += w;
                    break;
                case TAlign::alRight:
                    c->SetBounds(right - w, top, w, bottom - top);
                    right -= w;
                    break;
                default:
                    c->SetBounds(left, top, right - left, bottom - top);
                    break;
                }
            }
        }
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

void TWinControl::ClientResized(QSize oldSize, QSize newSize)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading))
        return;
    if (oldSize.isValid() && newSize.isValid() && oldSize != newSize) {
        const int dw = newSize.width() - oldSize.width();
        const int dh = newSize.height() - oldSize.height();
        const std::vector<TControl*> children = FControls;
        for (TControl* c : children) {
            if (c->Align() != TAlign::alNone)
                continue;
            int left = c->Left();
            int top = c->Top();
            int width = c->Width();
            int height = c->Height();
            const TAnchors anchors = c->Anchors();
            if (anchors & AnchorBit(TAnchorKind::akRight)) {
                if (anchors & AnchorBit(TAnchorKind::akLeft))
                    width += dw;
                else
                    left += dw;
            }
            if (anchors & AnchorBit(TAnchorKind::akBottom)) {
                if (anchors & AnchorBit(TAnchorKind::akTop))
                    height += dh;
                else
                    top += dh;
            }
            c->SetBounds(left, top, width, height);
        }
    }
    Realign();
}

void TWinControl::FontChanged()
{
    TControl::FontChanged();
    for (TControl* c : FControls)
        c->ParentFontChanged();
}

void TWinControl::ColorChanged()
{
    TControl::ColorChanged();
    for (TControl* c : FControls)
        c->ParentColorChanged();
}

// ---------------------------------------------------------------------------

TControl* FindControlOfWidget(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (TControl* control = WidgetMap().value(w))
            return control;
    }
    return nullptr;
}

uint16_t VirtualKeyOfQtKey(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return uint16_t('A' + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return uint16_t('0' + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return uint16_t(VK_F1 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Plus:
        return VK_ADD;
    case Qt::Key_Minus:
        return VK_SUBTRACT;
    default:
        return 0;
    }
}
