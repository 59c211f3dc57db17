#include "platform/forms/Menus.h"

#include "platform/forms/ActnList_p.h"
#include "platform/forms/Controls.h"
#include "platform/forms/EventBoundary.h"
#include "platform/rtl/Exceptions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPoint>

#include <algorithm>

namespace {

using actnlist_detail::Inactive;

// Qt's key for a virtual key code; 0 when it has none here.
int QtKeyOfVirtualKey(uint16_t vk)
{
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return int(vk); // Qt::Key_A.. and Qt::Key_0.. are the ASCII codes
    if (vk >= VK_F1 && vk < VK_F1 + 12)
        return Qt::Key_F1 + (vk - VK_F1);
    switch (vk) {
    case VK_BACK:
        return Qt::Key_Backspace;
    case VK_TAB:
        return Qt::Key_Tab;
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_SPACE:
        return Qt::Key_Space;
    case VK_PRIOR:
        return Qt::Key_PageUp;
    case VK_NEXT:
        return Qt::Key_PageDown;
    case VK_END:
        return Qt::Key_End;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_UP:
        return Qt::Key_Up;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_INSERT:
        return Qt::Key_Insert;
    case VK_DELETE:
        return Qt::Key_Delete;
    case VK_ADD:
        return Qt::Key_Plus;
    case VK_SUBTRACT:
        return Qt::Key_Minus;
    default:
        return 0;
    }
}

} // namespace

QKeySequence ShortCutToKeySequence(TShortCut shortCut)
{
    const int key = QtKeyOfVirtualKey(uint16_t(shortCut & 0xFF));
    if (key == 0)
        return {};
    int modifiers = 0;
    if (shortCut & scShift)
        modifiers |= Qt::SHIFT;
    if (shortCut & scCtrl)
        modifiers |= Qt::CTRL;
    if (shortCut & scAlt)
        modifiers |= Qt::ALT;
    return QKeySequence(modifiers | key);
}

// ---------------------------------------------------------------------------
// TMenuItem

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), FQtAction(std::make_unique<QAction>())
{
    QObject::connect(FQtAction.get(), &QAction::triggered, FQtAction.get(), [this] {
        if (!Inactive(this))
            GuardEvent([this] { Click(); });
    });
}

TMenuItem::~TMenuItem()
{
    SetComponentState(TComponentStateFlag::csDestroying, true);
    if (FAction)
        FAction->RemoveClient(this);
    while (!FItems.empty()) {
        TMenuItem* item = FItems.back();
        FItems.pop_back();
        item->FParent = nullptr;
        if (!item->Owner())
            delete item;
    }
    if (FParent)
        FParent->Remove(this);
}

void TMenuItem::SetOnClick(const TMethod& method)
{
    CheckEventBinding(method, TEventKind::Notify);
    FOnClick = method;
}

void TMenuItem::SetAction(TAction* action)
{
    if (LinkAction(this, FAction, action))
        ActionChanged();
}

// The item takes over what its action shows; the menus then show the
// action's QAction, so its shortcut works once.
void TMenuItem::ActionChanged()
{
    if (FAction)
        CopyLook(*FAction);
    Changed();
    if (FParent)
        FParent->ChildChanged();
}

void TMenuItem::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FAction) {
        FAction = nullptr;
        if (FParent)
            FParent->ChildChanged();
    }
}

QAction* TMenuItem::QtAction() const
{
    return FAction ? FAction->QtAction() : FQtAction.get();
}

// A separator keeps no text: Qt's styles draw a separator that has one as a
// labelled section, which would show the "-" of the caption.
void TMenuItem::Changed()
{
    FQtAction->setSeparator(IsLine());
    ApplyLook(FQtAction.get());
    if (IsLine())
        FQtAction->setText(QString());
}

TMenuItem* TMenuItem::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FItems[size_t(index)];
}

void TMenuItem::Add(TMenuItem* item)
{
    if (!item || item->FParent == this)
        return;
    if (item->FParent)
        item->FParent->Remove(item);
    item->FParent = this;
    FItems.push_back(item);
    ChildChanged();
}

void TMenuItem::Remove(TMenuItem* item)
{
    auto it = std::find(FItems.begin(), FItems.end(), item);
    if (it == FItems.end())
        return;
    FItems.erase(it);
    item->FParent = nullptr;
    if (!ComponentState().Contains(TComponentStateFlag::csDestroying))
        ChildChanged();
}

TMenuItem* TMenuItem::Find(const QString& caption) const
{
    for (TMenuItem* item : FItems) {
        QString plain = item->Caption();
        plain.remove(QLatin1Char('&'));
        if (plain.compare(caption, Qt::CaseInsensitive) == 0)
            return item;
        if (TMenuItem* found = item->Find(caption))
            return found;
    }
    return nullptr;
}

void TMenuItem::Click()
{
    if (FAction)
        FAction->Execute();
    else
        CallNotifyEvent(FOnClick, this);
}

void TMenuItem::ChildChanged()
{
    RebuildSubMenu();
    if (FMenu)
        FMenu->MenuChanged();
}

void TMenuItem::RebuildSubMenu()
{
    if (FItems.empty()) {
        FQtAction->setMenu(nullptr);
        FSubMenu.reset();
        return;
    }
    if (!FSubMenu) {
        FSubMenu = std::make_unique<QMenu>();
        FQtAction->setMenu(FSubMenu.get());
    }
    FSubMenu->clear();
    for (TMenuItem* item : FItems)
        FSubMenu->addAction(item->QtAction());
}

TComponent* TMenuItem::GetParentComponent() const
{
    if (FParent && FParent->FMenu)
        return FParent->FMenu;
    return FParent;
}

void TMenuItem::SetParentComponent(TComponent* parent)
{
    if (auto* item = dynamic_cast<TMenuItem*>(parent))
        item->Add(this);
    else if (auto* menu = dynamic_cast<TMenu*>(parent))
        menu->Items()->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (TMenuItem* item : FItems) {
        if (item->Owner() == root)
            proc(item);
    }
}

// ---------------------------------------------------------------------------
// Menus

TMenu::TMenu(TComponent* owner) : TComponent(owner), FItems(std::make_unique<TMenuItem>(nullptr))
{
    FItems->FMenu = this;
}

TMenu::~TMenu()
{
    FItems->FMenu = nullptr;
}

void TMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    FItems->GetChildren(proc, root);
}

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}

TMainMenu::~TMainMenu()
{
    delete FBar.data();
}

QMenuBar* TMainMenu::MenuBar(QWidget* window)
{
    if (!FBar) {
        FBar = new QMenuBar(window);
        FBar->setNativeMenuBar(false);
        MenuChanged();
    }
    return FBar.data();
}

void TMainMenu::MenuChanged()
{
    if (!FBar)
        return;
    FBar->clear();
    for (int i = 0; i < Items()->Count(); ++i)
        FBar->addAction(Items()->Items(i)->QtAction());
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

void TPopupMenu::Popup(int x, int y)
{
    Items()->RebuildSubMenu();
    if (QMenu* menu = Items()->SubMenu())
        menu->exec(QPoint(x, y));
}
