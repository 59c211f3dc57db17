#include "platform/forms/Forms.h"

#include "platform/forms/Menus.h"
#include "platform/forms/MessageService.h"
#include "platform/forms/StdCtrls.h"
#include "platform/objects/Filer.h"
#include "platform/os/Modules.h"
#include "platform/rtl/Streams.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

// The frame a window manager adds around a window's client area, as the
// framework counts it into Width and Height: a 4-pixel border on each side
// and a caption bar.
constexpr int kBorderWidth = 4;        // in px, each side
constexpr int kCaptionHeight = 23;     // in px
constexpr int kToolCaptionHeight = 17; // in px

std::vector<TCustomForm*>& FormList()
{
    static std::vector<TCustomForm*> forms;
    return forms;
}

// The event loops running now (Run and the modal loops), innermost last.
std::vector<QEventLoop*>& ActiveLoops()
{
    static std::vector<QEventLoop*> loops;
    return loops;
}

TApplication*& TheApplication()
{
    static TApplication* application = nullptr;
    return application;
}

// Keeps an event loop in the list of running loops while it lives.
class TLoopRegistration {
public:
    explicit TLoopRegistration(QEventLoop& loop) : FLoop(&loop) { ActiveLoops().push_back(FLoop); }
    ~TLoopRegistration()
    {
        auto& loops = ActiveLoops();
        loops.erase(std::remove(loops.begin(), loops.end(), FLoop), loops.end());
    }
    TLoopRegistration(const TLoopRegistration&) = delete;
    TLoopRegistration& operator=(const TLoopRegistration&) = delete;

private:
    QEventLoop* FLoop;
};

bool FixedSize(TFormBorderStyle style)
{
    return style == TFormBorderStyle::bsSingle || style == TFormBorderStyle::bsDialog ||
           style == TFormBorderStyle::bsToolWindow;
}

void CollectButtons(const TWinControl* parent, std::vector<TButton*>& buttons)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* control = parent->Controls(i);
        if (auto* button = dynamic_cast<TButton*>(control))
            buttons.push_back(button);
        if (auto* win = dynamic_cast<TWinControl*>(control))
            CollectButtons(win, buttons);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// TControlScrollBar

void TControlScrollBar::SetIncrement(int increment)
{
    FIncrement = std::max(increment, 1);
    if (FBar)
        FBar->setSingleStep(FIncrement);
}

int TControlScrollBar::Position() const
{
    return FBar ? FBar->value() : FPosition;
}

void TControlScrollBar::SetPosition(int position)
{
    FPosition = std::clamp(position, 0, Maximum());
    if (FBar)
        FBar->setValue(FPosition);
}

void TControlScrollBar::SetRange(int range)
{
    range = std::max(range, 0);
    if (range == FRange)
        return;
    FRange = range;
    if (OnChange)
        OnChange();
}

void TControlScrollBar::SetVisible(bool visible)
{
    if (visible == FVisible)
        return;
    FVisible = visible;
    if (OnChange)
        OnChange();
}

int TControlScrollBar::Maximum() const
{
    return FBar ? FBar->maximum() : FRange;
}

void TControlScrollBar::Assign(const TPersistent* source)
{
    if (auto* other = dynamic_cast<const TControlScrollBar*>(source)) {
        SetIncrement(other->FIncrement);
        SetRange(other->FRange);
        SetVisible(other->FVisible);
        SetPosition(other->Position());
        return;
    }
    TPersistent::Assign(source);
}

void TControlScrollBar::Attach(QScrollBar* bar)
{
    FBar = bar;
    if (FBar)
        FBar->setSingleStep(FIncrement);
}

// ---------------------------------------------------------------------------
// TScrollingWinControl and TScrollBox

TScrollingWinControl::TScrollingWinControl(TComponent* owner)
    : TWinControl(owner), FHorz(std::make_unique<TControlScrollBar>()),
      FVert(std::make_unique<TControlScrollBar>())
{
}

TScrollingWinControl::~TScrollingWinControl() = default;

TScrollBox::TScrollBox(TComponent* owner) : TScrollingWinControl(owner)
{
    auto* area = new QScrollArea;
    area->setWidgetResizable(false);
    FSurface = new QWidget;
    area->setWidget(FSurface);
    InitColor(clBtnFace, false);
    SetWidget(area);
    AddSubWidget(area->viewport());
    HorzScrollBar()->Attach(area->horizontalScrollBar());
    VertScrollBar()->Attach(area->verticalScrollBar());
    HorzScrollBar()->OnChange = [this] { UpdateScrollRange(); };
    VertScrollBar()->OnChange = [this] { UpdateScrollRange(); };
    SetBorderStyle(TBorderStyle::bsSingle);
    SetBounds(0, 0, 185, 41);
}

QScrollArea* TScrollBox::ScrollArea() const
{
    return static_cast<QScrollArea*>(Widget());
}

QWidget* TScrollBox::ClientWidget() const
{
    return FSurface;
}

int TScrollBox::ClientWidth() const
{
    return std::max(0, Width() - (FBorderStyle == TBorderStyle::bsSingle ? 4 : 0));
}

int TScrollBox::ClientHeight() const
{
    return std::max(0, Height() - (FBorderStyle == TBorderStyle::bsSingle ? 4 : 0));
}

void TScrollBox::SetBorderStyle(TBorderStyle style)
{
    FBorderStyle = style;
    if (QScrollArea* area = ScrollArea()) {
        area->setFrameShape(style == TBorderStyle::bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
        area->setFrameShadow(QFrame::Sunken);
    }
}

void TScrollBox::SetAutoScroll(bool autoScroll)
{
    TScrollingWinControl::SetAutoScroll(autoScroll);
    UpdateScrollRange();
}

void TScrollBox::UpdateScrollRange()
{
    QScrollArea* area = ScrollArea();
    if (FUpdating || !area || !FSurface)
        return;
    FUpdating = true;
    if (AutoScroll()) {
        int right = 0;
        int bottom = 0;
        for (int i = 0; i < ControlCount(); ++i) {
            const TControl* c = Controls(i);
            if (!c->Visible() || c->Align() != TAlign::alNone)
                continue;
            right = std::max(right, c->Left() + c->Width());
            bottom = std::max(bottom, c->Top() + c->Height());
        }
        HorzScrollBar()->SetRange(right);
        VertScrollBar()->SetRange(bottom);
    }
    const QSize viewport = area->viewport()->size();
    FSurface->resize(std::max(viewport.width(), HorzScrollBar()->Range()),
                     std::max(viewport.height(), VertScrollBar()->Range()));
    area->setHorizontalScrollBarPolicy(HorzScrollBar()->Visible() ? Qt::ScrollBarAsNeeded
                                                                  : Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(VertScrollBar()->Visible() ? Qt::ScrollBarAsNeeded
                                                                : Qt::ScrollBarAlwaysOff);
    FUpdating = false;
}

bool TScrollBox::HandleWidgetEvent(QWidget* widget, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (QScrollArea* area = ScrollArea(); area && widget == area->viewport()) {
            UpdateScrollRange();
            Realign();
        }
        return false;
    }
    return TScrollingWinControl::HandleWidgetEvent(widget, event);
}

void TScrollBox::InsertControl(TControl* control)
{
    TScrollingWinControl::InsertControl(control);
    UpdateScrollRange();
}

void TScrollBox::RemoveControl(TControl* control)
{
    TScrollingWinControl::RemoveControl(control);
    if (!ComponentState().Contains(TComponentStateFlag::csDestroying))
        UpdateScrollRange();
}

void TScrollBox::ControlBoundsChanged(TControl*)
{
    UpdateScrollRange();
}

// ---------------------------------------------------------------------------
// TCustomForm

TCustomForm::TCustomForm(TComponent* owner) : TScrollingWinControl(owner)
{
    InitVisible(false);
    InitParentFont(false);
    InitColor(clBtnFace, false);
    SetWidget(new QWidget(nullptr, Qt::Window));
    FormList().push_back(this);
    ApplyWindowFlags();
    SetBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm()
{
    SetComponentState(TComponentStateFlag::csDestroying, true);
    ClearEventHandlers();
    if (FModalLoop)
        FModalLoop->exit();
    auto& forms = FormList();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void TCustomForm::LoadForm(const QString& resourceName)
{
    QString name = resourceName;
    if (name.isEmpty()) {
        const QString className = ClassName();
        if (className.isEmpty())
            throw EResNotFound(QStringLiteral("Resource not found: the window's class is not registered"));
        name = className.toUpper();
    }
    QByteArray stream;
    if (!FindResourceData(RT_RCDATA, name, stream))
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name));
    ReadForm(stream);
}

void TCustomForm::ReadForm(const QByteArray& formStream)
{
    const int ownedBefore = ComponentCount();
    TMemoryStream stream(formStream);
    TReader reader(stream);
    reader.OnFindMethod = [this](TComponent*, const QString& name) { return HasEventHandler(name); };
    try {
        reader.ReadRootComponent(this);
    } catch (...) {
        // A failed read leaves no half-built window: what it created goes,
        // last first, so that children go before their parents.
        for (int i = ComponentCount() - 1; i >= ownedBefore; --i) {
            if (i < ComponentCount())
                delete Components(i);
        }
        throw;
    }
}

void TCustomForm::AfterConstruction()
{
    FireNotify(QStringLiteral("OnCreate"));
    if (FShowOnCreate) {
        FShowOnCreate = false;
        Show();
    }
}

void TCustomForm::BeforeDestruction()
{
    FireNotify(QStringLiteral("OnDestroy"));
}

void TCustomForm::Loaded()
{
    TScrollingWinControl::Loaded();
}

void TCustomForm::SetVisible(bool visible)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FShowOnCreate = visible;
        return;
    }
    if (visible == Visible())
        return;
    InitVisible(visible);
    try {
        FireNotify(visible ? QStringLiteral("OnShow") : QStringLiteral("OnHide"));
    } catch (...) {
        if (visible)
            InitVisible(false);
        else
            UpdateWidgetVisibility();
        throw;
    }
    UpdateWidgetVisibility();
}

void TCustomForm::ShowBlocking()
{
    if (QWidget* widget = Widget())
        widget->setWindowModality(Qt::ApplicationModal);
    SetVisible(true);
}

void TCustomForm::UpdateWidgetVisibility()
{
    QWidget* widget = Widget();
    if (!widget)
        return;
    if (!Visible()) {
        widget->hide();
        if (!FModal)
            widget->setWindowModality(Qt::NonModal);
        return;
    }
    if (!FPlaced) {
        FPlaced = true;
        PlaceOnScreen();
    }
    ApplyTabOrder();
    switch (FWindowState) {
    case TWindowState::wsMaximized:
        widget->showMaximized();
        break;
    case TWindowState::wsMinimized:
        widget->showMinimized();
        break;
    default:
        widget->show();
        break;
    }
    widget->raise();
    widget->activateWindow();
    if (FActiveControl && FActiveControl->CanFocus())
        FActiveControl->SetFocus();
}

int TCustomForm::ShowModal()
{
    if (Visible() || !Enabled() || FModal)
        throw EInvalidOperation(QStringLiteral("Cannot make a visible window modal"));
    QWidget* widget = Widget();
    FModal = true;
    FModalResult = mrNone;
    widget->setWindowModality(Qt::ApplicationModal);
    auto restore = [this, widget] {
        FModalLoop = nullptr;
        FModal = false;
        if (Visible()) {
            InitVisible(false);
            widget->hide();
        }
        widget->setWindowModality(Qt::NonModal);
    };
    try {
        Show();
        QEventLoop loop;
        TLoopRegistration registration(loop);
        FModalLoop = &loop;
        for (;;) {
            if (TApplication* app = Application(); app && app->Terminated())
                FModalResult = mrCancel;
            if (FModalResult != mrNone) {
                CloseModal();
                if (FModalResult != mrNone)
                    break;
            }
            loop.exec();
        }
        FModalLoop = nullptr;
        Hide();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return FModalResult;
}

void TCustomForm::CloseModal()
{
    TCloseAction action = TCloseAction::caNone;
    if (CloseQuery()) {
        action = TCloseAction::caHide;
        if (EventsEnabled())
            CallCloseEvent(Event(QStringLiteral("OnClose")), this, action);
    }
    if (action == TCloseAction::caNone)
        FModalResult = mrNone;
    else if (action == TCloseAction::caFree)
        Release();
}

void TCustomForm::Close()
{
    if (FModal) {
        SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = TCloseAction::caHide;
    if (EventsEnabled())
        CallCloseEvent(Event(QStringLiteral("OnClose")), this, action);
    if (action == TCloseAction::caNone)
        return;
    if (TApplication* app = Application(); app && app->MainForm() == this) {
        app->Terminate();
        return;
    }
    switch (action) {
    case TCloseAction::caHide:
        Hide();
        break;
    case TCloseAction::caMinimize:
        Widget()->showMinimized();
        break;
    case TCloseAction::caFree:
        Release();
        break;
    default:
        break;
    }
}

bool TCustomForm::CloseQuery()
{
    bool canClose = true;
    if (EventsEnabled())
        CallCloseQueryEvent(Event(QStringLiteral("OnCloseQuery")), this, canClose);
    return canClose;
}

void TCustomForm::Release()
{
    // Queued on the application, not on the window: the call destroys the
    // window, and with it everything the window owns.
    QPointer<QObject> alive = SignalContext();
    QTimer::singleShot(0, qApp, [this, alive] {
        if (alive)
            GuardEvent([this] { DestroyForm(this); });
    });
}

void TCustomForm::SetModalResult(TModalResult result)
{
    FModalResult = result;
    if (result != mrNone && FModalLoop)
        FModalLoop->exit();
}

bool TCustomForm::Active() const
{
    return Widget() && Widget()->isActiveWindow();
}

int TCustomForm::FrameWidth() const
{
    return FBorderStyle == TFormBorderStyle::bsNone ? 0 : 2 * kBorderWidth;
}

int TCustomForm::FrameHeight() const
{
    switch (FBorderStyle) {
    case TFormBorderStyle::bsNone:
        return 0;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin:
        return 2 * kBorderWidth + kToolCaptionHeight;
    default:
        return 2 * kBorderWidth + kCaptionHeight;
    }
}

int TCustomForm::ClientWidth() const
{
    return std::max(0, Width() - FrameWidth());
}

int TCustomForm::ClientHeight() const
{
    return std::max(0, Height() - FrameHeight() - MenuHeight());
}

int TCustomForm::MenuHeight() const
{
    QMenuBar* bar = FMenu ? FMenu->MenuBar() : nullptr;
    return bar ? bar->sizeHint().height() : 0;
}

QWidget* TCustomForm::ClientWidget() const
{
    return FClientArea ? FClientArea : Widget();
}

// The menu bar sits above the client area, inside the window's widget; the
// controls move into a client widget below it.
void TCustomForm::SetMenu(TMainMenu* menu)
{
    if (menu == FMenu)
        return;
    if (FMenu && FMenu->MenuBar())
        FMenu->MenuBar()->hide();
    const int clientHeight = ClientHeight();
    ReferenceComponent(this, FMenu, menu);
    QWidget* widget = Widget();
    if (FMenu && widget) {
        FMenu->MenuBar(widget)->show();
        if (!FClientArea) {
            FClientArea = new QWidget(widget);
            for (int i = 0; i < ControlCount(); ++i) {
                if (QWidget* child = Controls(i)->Widget()) {
                    const bool shown = !child->isHidden();
                    child->setParent(FClientArea);
                    child->setVisible(shown);
                }
            }
            FClientArea->show();
        }
    }
    SetHeight(clientHeight + FrameHeight() + MenuHeight());
    ApplyBounds();
}

void TCustomForm::PlaceMenuBar()
{
    const int menuHeight = MenuHeight();
    if (FMenu && FMenu->MenuBar())
        FMenu->MenuBar()->setGeometry(0, 0, ClientWidth(), menuHeight);
    if (FClientArea)
        FClientArea->setGeometry(0, menuHeight, ClientWidth(), ClientHeight());
}

void TCustomForm::SetClientWidth(int width)
{
    SetWidth(width + FrameWidth());
}

void TCustomForm::SetClientHeight(int height)
{
    SetHeight(height + FrameHeight() + MenuHeight());
}

void TCustomForm::ApplyBounds()
{
    QWidget* widget = Widget();
    if (!widget)
        return;
    PlaceMenuBar();
    // A place and size the window system reported are the window's already.
    // Writing them back would undo what the window manager did: a maximise
    // that arrives as a resize before its move would be moved back to the
    // old place, which ends the maximised state.
    if (FTakingGeometry)
        return;
    // The widget answers these writes with its own move and resize events;
    // they report what is being written, in halves (the new size at the old
    // place), and are no reports of the window system.
    const QScopedValueRollback<bool> writing(FWritingGeometry, true);
    const QSize client(ClientWidth(), ClientHeight() + MenuHeight());
    if (FixedSize(FBorderStyle)) {
        widget->setFixedSize(client);
    } else {
        widget->setMinimumSize(0, 0);
        widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        widget->resize(client);
    }
    widget->move(Left(), Top());
}

void TCustomForm::SetBorderStyle(TFormBorderStyle style)
{
    if (style == FBorderStyle)
        return;
    // The client area keeps its size; the frame around it changes.
    const int clientWidth = ClientWidth();
    const int clientHeight = ClientHeight();
    FBorderStyle = style;
    ApplyWindowFlags();
    SetBounds(Left(), Top(), clientWidth + FrameWidth(), clientHeight + FrameHeight());
    ApplyBounds();
}

void TCustomForm::SetBorderIcons(TBorderIcons icons)
{
    FBorderIcons = icons;
    ApplyWindowFlags();
}

void TCustomForm::SetFormStyle(TFormStyle style)
{
    FFormStyle = style;
    ApplyWindowFlags();
}

TWindowState TCustomForm::WindowState() const
{
    QWidget* widget = Widget();
    if (widget && widget->isVisible()) {
        if (widget->isMaximized())
            return TWindowState::wsMaximized;
        if (widget->isMinimized())
            return TWindowState::wsMinimized;
        return TWindowState::wsNormal;
    }
    return FWindowState;
}

void TCustomForm::SetWindowState(TWindowState state)
{
    FWindowState = state;
    QWidget* widget = Widget();
    if (!widget || !widget->isVisible())
        return;
    switch (state) {
    case TWindowState::wsMaximized:
        widget->showMaximized();
        break;
    case TWindowState::wsMinimized:
        widget->showMinimized();
        break;
    default:
        widget->showNormal();
        break;
    }
}

void TCustomForm::ApplyWindowFlags()
{
    QWidget* widget = Widget();
    if (!widget)
        return;
    const bool wasVisible = widget->isVisible();
    Qt::WindowFlags flags;
    switch (FBorderStyle) {
    case TFormBorderStyle::bsNone:
        flags = Qt::Window | Qt::FramelessWindowHint;
        break;
    case TFormBorderStyle::bsDialog:
        flags = Qt::Dialog;
        break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin:
        flags = Qt::Tool;
        break;
    default:
        flags = Qt::Window;
        break;
    }
    if (FBorderStyle != TFormBorderStyle::bsNone) {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        const auto has = [this](TBorderIcon icon) { return (FBorderIcons & (1u << unsigned(icon))) != 0; };
        const bool minMax =
            FBorderStyle == TFormBorderStyle::bsSingle || FBorderStyle == TFormBorderStyle::bsSizeable;
        if (has(TBorderIcon::biSystemMenu))
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (minMax && has(TBorderIcon::biMinimize))
            flags |= Qt::WindowMinimizeButtonHint;
        if (minMax && has(TBorderIcon::biMaximize))
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (FFormStyle == TFormStyle::fsStayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    widget->setWindowFlags(flags);
    if (wasVisible)
        widget->show();
}

void TCustomForm::PlaceOnScreen()
{
    QScreen* screen = Widget()->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Centred on r with the size the window opens at, and kept within the
    // available area: a window larger than the area keeps its top-left
    // corner, and with it its caption, on the screen.
    auto centerOn = [this, &area](const QRect& r) {
        const auto within = [](int place, int first, int extent, int size) {
            return std::max(first, std::min(place, first + extent - size));
        };
        const int left = within(r.left() + (r.width() - Width()) / 2, area.left(), area.width(), Width());
        const int top = within(r.top() + (r.height() - Height()) / 2, area.top(), area.height(), Height());
        SetBounds(left, top, Width(), Height());
    };
    auto formRect = [](const TCustomForm* form) {
        return QRect(form->Left(), form->Top(), form->Width(), form->Height());
    };
    switch (FPosition) {
    case TFormPosition::poScreenCenter:
    case TFormPosition::poDesktopCenter:
        centerOn(area);
        break;
    case TFormPosition::poMainFormCenter: {
        TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
        centerOn(main && main != this && main->Visible() ? formRect(main) : area);
        break;
    }
    case TFormPosition::poOwnerFormCenter: {
        auto* owner = dynamic_cast<TCustomForm*>(Owner());
        centerOn(owner && owner->Visible() ? formRect(owner) : area);
        break;
    }
    default:
        break;
    }
}

void TCustomForm::ApplyTabOrder()
{
    std::vector<QWidget*> chain;
    std::function<void(const TWinControl*)> walk = [&](const TWinControl* parent) {
        for (TWinControl* control : parent->TabList()) {
            QWidget* widget = control->Widget();
            if (widget && (widget->focusPolicy() & Qt::TabFocus))
                chain.push_back(widget);
            walk(control);
        }
    };
    walk(this);
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TCustomForm::SetActiveControl(TWinControl* control)
{
    ReferenceComponent(this, FActiveControl, control);
    if (control && Visible() && !ComponentState().Contains(TComponentStateFlag::csLoading) &&
        control->CanFocus())
        control->SetFocus();
}

void TCustomForm::Notification(TComponent* component, TOperation operation)
{
    TScrollingWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FActiveControl)
        FActiveControl = nullptr;
    if (operation == TOperation::opRemove && component == FMenu)
        FMenu = nullptr;
}

void TCustomForm::TextChanged()
{
    if (QWidget* widget = Widget())
        widget->setWindowTitle(Text());
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (int i = 0; i < ComponentCount(); ++i) {
        TComponent* component = Components(i);
        if (!component->HasParent())
            proc(component);
    }
    TScrollingWinControl::GetChildren(proc, root);
}

bool TCustomForm::ClickDialogButton(int qtKey)
{
    const bool enter = qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter;
    if (!enter && qtKey != Qt::Key_Escape)
        return false;
    if (enter) {
        auto* focused = dynamic_cast<TButton*>(FindControlOfWidget(QApplication::focusWidget()));
        if (focused && focused->ParentForm() == this && focused->Enabled()) {
            focused->Click();
            return true;
        }
    }
    std::vector<TButton*> buttons;
    CollectButtons(this, buttons);
    for (TButton* button : buttons) {
        const bool wanted = enter ? button->Default() : button->Cancel();
        if (wanted && button->Showing() && button->Enabled()) {
            button->Click();
            return true;
        }
    }
    return false;
}

// Both the place and the size come from the widget at each event, whichever
// of the two events comes first: the widget holds all the window system
// reported by then. A size taken still realigns the window's controls.
void TCustomForm::TakeWindowGeometry(const QWidget* widget)
{
    if (FWritingGeometry)
        return;
    // pos(), not x() and y(): until the window is placed, the position
    // written is the frame's, which pos() answers and x() does not.
    const QPoint place = widget->pos();
    const QSize size = widget->size();
    const bool resized = size.width() != ClientWidth() || size.height() != ClientHeight() + MenuHeight();
    const QScopedValueRollback<bool> taking(FTakingGeometry, true);
    SetBounds(place.x(), place.y(), resized ? size.width() + FrameWidth() : Width(),
              resized ? size.height() + FrameHeight() : Height());
}

bool TCustomForm::HandleWidgetEvent(QWidget* widget, QEvent* event)
{
    if (widget != Widget())
        return TScrollingWinControl::HandleWidgetEvent(widget, event);
    switch (event->type()) {
    case QEvent::Close:
        event->ignore();
        Close();
        return true;
    case QEvent::Resize:
        TakeWindowGeometry(widget);
        PlaceMenuBar();
        return false;
    case QEvent::Move:
        TakeWindowGeometry(widget);
        return false;
    case QEvent::WindowActivate:
        FireNotify(QStringLiteral("OnActivate"));
        return false;
    case QEvent::WindowDeactivate:
        FireNotify(QStringLiteral("OnDeactivate"));
        return false;
    case QEvent::KeyPress:
        if (TScrollingWinControl::HandleWidgetEvent(widget, event))
            return true;
        return ClickDialogButton(static_cast<QKeyEvent*>(event)->key());
    default:
        return TScrollingWinControl::HandleWidgetEvent(widget, event);
    }
}

// ---------------------------------------------------------------------------

const std::vector<TCustomForm*>& ScreenForms()
{
    return FormList();
}

void DestroyForm(TCustomForm* form)
{
    if (!form)
        return;
    try {
        form->BeforeDestruction();
    } catch (...) {
        delete form;
        throw;
    }
    delete form;
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication() : TComponent(nullptr), FContext(std::make_unique<QObject>())
{
    if (TheApplication())
        throw EInvalidOperation(QStringLiteral("An application object exists already"));
    TheApplication() = this;
    FPreviousHandler = SetEventExceptionHandler([this](const Exception& error) { HandleException(error); });
    // A caption is the window's own text. Qt appends the application's
    // display name to every window caption but the one that ends with it
    // (the preview's "Tessvar - [ card.zsf ]" twice named); an empty display name
    // ends with every caption, so none gets it.
    if (QGuiApplication::instance())
        QGuiApplication::setApplicationDisplayName(QString());
}

TApplication::~TApplication()
{
    Terminate();
    while (ComponentCount() > 0) {
        TComponent* component = Components(ComponentCount() - 1);
        if (auto* form = dynamic_cast<TCustomForm*>(component))
            GuardEvent([form] { form->BeforeDestruction(); });
        delete component;
    }
    FContext.reset();
    SetEventExceptionHandler(std::move(FPreviousHandler));
    TheApplication() = nullptr;
}

void TApplication::FormCreated(TCustomForm* form)
{
    if (!FMainForm)
        FMainForm = form;
    form->AfterConstruction();
}

void TApplication::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FMainForm)
        FMainForm = nullptr;
}

void TApplication::Run()
{
    if (!FMainForm)
        return;
    if (FShowMainForm) {
        // The main window shows from inside the loop, so that its OnShow
        // runs with every window created and its failures reach the dialog.
        QTimer::singleShot(0, FContext.get(), [this] {
            GuardEvent([this] {
                if (FMainForm && !FTerminated)
                    FMainForm->Show();
            });
        });
    }
    QEventLoop loop;
    TLoopRegistration registration(loop);
    while (!FTerminated)
        loop.exec();
}

void TApplication::Terminate()
{
    FTerminated = true;
    for (QEventLoop* loop : ActiveLoops())
        loop->exit();
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleException(const Exception& error)
{
    if (dynamic_cast<const EAbort*>(&error))
        return;
    if (OnException)
        OnException(error);
    else
        ShowException(error);
}

void TApplication::ShowException(const Exception& error)
{
    ShowMessageBox(error.Message(), FTitle, TMsgIcon::Error, TMsgButtons::OK);
}

TApplication* Application()
{
    return TheApplication();
}

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == FCursor)
        return;
    if (FCursor != crDefault)
        QApplication::restoreOverrideCursor();
    FCursor = cursor;
    if (cursor != crDefault)
        QApplication::setOverrideCursor(QCursor(QtCursorShape(cursor)));
}

TScreen* Screen()
{
    static TScreen screen;
    return &screen;
}
