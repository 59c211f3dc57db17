#include "platform/forms/ActnList.h"
#include "platform/forms/ActnList_p.h"

#include "platform/forms/Controls.h"
#include "platform/forms/EventBoundary.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/Menus.h"
#include "platform/rtl/Exceptions.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QThread>

#include <algorithm>

namespace {

using actnlist_detail::Inactive;

// The caption as a tool tip: the access key marks dropped.
QString PlainCaption(const QString& caption)
{
    QString plain = caption;
    plain.replace(QLatin1String("&&"), QLatin1String("\x01"));
    plain.remove(QLatin1Char('&'));
    plain.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return plain;
}

} // namespace

TActionClient::~TActionClient() = default;

bool TActionClient::LinkAction(TComponent* holder, TAction*& field, TAction* action)
{
    if (action == field)
        return false;
    if (field)
        field->RemoveClient(this);
    ReferenceComponent(holder, field, action);
    if (field)
        field->AddClient(this);
    return true;
}

// ---------------------------------------------------------------------------
// TActionLook

TActionLook::~TActionLook() = default;

void TActionLook::SetCaption(const QString& caption)
{
    FCaption = caption;
    Changed();
}

void TActionLook::SetChecked(bool checked)
{
    FChecked = checked;
    Changed();
}

void TActionLook::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    Changed();
}

void TActionLook::SetVisible(bool visible)
{
    FVisible = visible;
    Changed();
}

void TActionLook::SetHint(const QString& hint)
{
    FHint = hint;
    Changed();
}

void TActionLook::SetShortCut(TShortCut shortCut)
{
    FShortCut = shortCut;
    Changed();
}

void TActionLook::SetImageIndex(int index)
{
    FImageIndex = index;
    Changed();
}

void TActionLook::ApplyLook(QAction* action) const
{
    action->setText(FCaption);
    action->setStatusTip(FHint);
    action->setEnabled(FEnabled);
    action->setVisible(FVisible);
    action->setCheckable(FChecked);
    action->setChecked(FChecked);
    action->setShortcut(ShortCutToKeySequence(FShortCut));
}

// ---------------------------------------------------------------------------
// TAction

TAction::TAction(TComponent* owner) : TComponent(owner), FQtAction(std::make_unique<QAction>())
{
    FQtAction->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(FQtAction.get(), &QAction::triggered, FQtAction.get(), [this] {
        if (!Inactive(this))
            GuardEvent([this] { Execute(); });
    });
}

TAction::~TAction()
{
    SetActionList(nullptr);
    // Clients forget the action through its free notification.
}

void TAction::SetOnExecute(const TMethod& method)
{
    CheckEventBinding(method, TEventKind::Notify);
    FOnExecute = method;
}

void TAction::SetOnUpdate(const TMethod& method)
{
    CheckEventBinding(method, TEventKind::Notify);
    FOnUpdate = method;
}

bool TAction::Execute()
{
    if (!FEnabled || !FOnExecute.IsAssigned())
        return false;
    CallNotifyEvent(FOnExecute, this);
    return true;
}

bool TAction::Update()
{
    if (!FOnUpdate.IsAssigned())
        return false;
    CallNotifyEvent(FOnUpdate, this);
    return true;
}

void TAction::SetActionList(TActionList* list)
{
    if (list == FActionList)
        return;
    if (FActionList)
        FActionList->RemoveAction(this);
    FActionList = list;
    if (FActionList)
        FActionList->InsertAction(this);
    Changed();
}

TComponent* TAction::GetParentComponent() const
{
    return FActionList;
}

void TAction::SetParentComponent(TComponent* parent)
{
    if (auto* list = dynamic_cast<TActionList*>(parent))
        SetActionList(list);
}

void TAction::AddClient(TActionClient* client)
{
    if (std::find(FClients.begin(), FClients.end(), client) == FClients.end())
        FClients.push_back(client);
}

void TAction::RemoveClient(TActionClient* client)
{
    FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

void TAction::Changed()
{
    QAction* action = FQtAction.get();
    ApplyLook(action);
    action->setToolTip(FHint.isEmpty() ? PlainCaption(FCaption) : FHint);
    // The icon is made once per picture: a new icon on every change (each
    // enable or disable) would leave the pixmaps drawn for the old one behind.
    const QImage image = Picture();
    const int64_t key = image.isNull() ? 0 : image.cacheKey();
    if (key != FIconKey) {
        FIconKey = key;
        action->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    }
    const std::vector<TActionClient*> clients = FClients;
    for (TActionClient* client : clients)
        client->ActionChanged();
}

QImage TAction::Picture() const
{
    const TImageList* images = FActionList ? FActionList->Images() : nullptr;
    if (!images || FImageIndex < 0 || FImageIndex >= images->Count())
        return QImage();
    return images->Image(FImageIndex);
}

// ---------------------------------------------------------------------------
// TActionList

TActionList::TActionList(TComponent* owner) : TComponent(owner), FIdle(std::make_unique<QObject>())
{
    // Idle: the event loop of the UI thread is about to wait for events.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, FIdle.get(), [this] {
            if (!Inactive(this))
                GuardEvent([this] { UpdateActions(); });
        });
}

TActionList::~TActionList()
{
    FIdle.reset();
    const std::vector<TAction*> actions = FActions;
    for (TAction* action : actions)
        action->FActionList = nullptr;
}

TAction* TActionList::Actions(int index) const
{
    if (index < 0 || index >= ActionCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FActions[size_t(index)];
}

void TActionList::SetImages(TImageList* images)
{
    ReferenceComponent(this, FImages, images);
    for (TAction* action : FActions)
        action->Changed();
}

void TActionList::UpdateActions()
{
    const std::vector<TAction*> actions = FActions;
    for (TAction* action : actions)
        action->Update();
}

void TActionList::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (TAction* action : FActions) {
        if (action->Owner() == root)
            proc(action);
    }
}

// The window's shortcuts: each action's QAction joins the owner's window.
void TActionList::Loaded()
{
    TComponent::Loaded();
    auto* control = dynamic_cast<TControl*>(Owner());
    if (!control || !control->Widget())
        return;
    for (TAction* action : FActions) {
        action->Changed();
        control->Widget()->addAction(action->QtAction());
    }
}

void TActionList::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FImages)
        FImages = nullptr;
}

void TActionList::InsertAction(TAction* action)
{
    FActions.push_back(action);
}

void TActionList::RemoveAction(TAction* action)
{
    FActions.erase(std::remove(FActions.begin(), FActions.end(), action), FActions.end());
}
