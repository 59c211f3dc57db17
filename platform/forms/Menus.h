#pragma once
// Menus: the window's main menu, pop-up menus and their items, and the
// framework's shortcut encoding.
//
// A TMenuItem is a component whose sub-items are its children in form
// streams (object File1: TMenuItem ... object Open1: TMenuItem ...). Its
// caption marks the access key with "&" and "-" makes it a separator. Linked
// to an action it shows the action's caption, hint, shortcut and state and a
// click executes the action; otherwise a click runs its OnClick.
//
// Each item is shown through one QAction (the action's own when linked), and
// an item with sub-items carries a QMenu. A window shows its TMainMenu as a
// menu bar above its client area (TCustomForm::SetMenu); a control shows its
// TPopupMenu on a context-menu request (TControl::SetPopupMenu).
#include "platform/forms/ActnList.h"

#include "platform/objects/Component.h"
#include "platform/objects/TypInfo.h"

#include <QKeySequence>
#include <QMenuBar>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;
class TMenu;

class TMenuItem : public TComponent, public TActionClient, public TActionLook {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    bool IsLine() const { return FCaption == QLatin1String("-"); }
    TAction* Action() const { return FAction; }
    void SetAction(TAction* action);
    TMethod OnClick() const { return FOnClick; }
    void SetOnClick(const TMethod& method);

    int Count() const { return int(FItems.size()); }
    TMenuItem* Items(int index) const; // EListError out of range
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    TMenuItem* Parent() const { return FParent; }
    // The first item (at any depth) of that caption without "&", or null.
    TMenuItem* Find(const QString& caption) const;

    // Executes the action, else runs OnClick.
    virtual void Click();

    // What the menus show for this item.
    QAction* QtAction() const;
    // The sub-menu; null while the item has no sub-items.
    QMenu* SubMenu() const { return FSubMenu.get(); }

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void ActionChanged() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TMenu;
    friend class TPopupMenu;
    // Puts what the item shows on its own QAction.
    void Changed() override;
    void RebuildSubMenu();
    void ChildChanged();

    TAction* FAction = nullptr;
    TMethod FOnClick;
    TMenuItem* FParent = nullptr;
    TMenu* FMenu = nullptr; // set on the root item
    std::vector<TMenuItem*> FItems;
    std::unique_ptr<QAction> FQtAction;
    std::unique_ptr<QMenu> FSubMenu;
};

// The base of the main and pop-up menus: a root item whose sub-items are the
// menu's items.
class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;

    TMenuItem* Items() const { return FItems.get(); }

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

protected:
    friend class TMenuItem;
    // The root's sub-items changed.
    virtual void MenuChanged() {}

private:
    std::unique_ptr<TMenuItem> FItems;
};

class TMainMenu : public TMenu {
public:
    explicit TMainMenu(TComponent* owner);
    ~TMainMenu() override;

    // The menu bar of a window (made on first call, parented to the
    // window's widget and kept up to date with the items).
    QMenuBar* MenuBar(QWidget* window);
    QMenuBar* MenuBar() const { return FBar.data(); }

protected:
    void MenuChanged() override;

private:
    QPointer<QMenuBar> FBar;
};

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* owner);

    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool autoPopup) { FAutoPopup = autoPopup; }
    // Shows the menu at a screen position and returns once it is closed.
    virtual void Popup(int x, int y);
    // The control the menu was last shown for.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* component) { FPopupComponent = component; }

private:
    bool FAutoPopup = true;
    TComponent* FPopupComponent = nullptr;
};

// The shortcut as Qt names it; keys without a Qt name give an empty sequence.
QKeySequence ShortCutToKeySequence(TShortCut shortCut);
