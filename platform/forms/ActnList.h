#pragma once
// Actions: commands with a caption, hint, shortcut, image and enabled
// state, executed from menu items and tool buttons linked to them. A
// TActionList holds its actions as children in form streams; while the
// application is idle (its event loop about to wait) the list runs each
// action's OnUpdate, so handlers can enable and disable their commands.
//
// Shortcuts are in the framework's encoding: the virtual key code in the low
// byte, plus scShift, scCtrl and scAlt.
#include "platform/objects/Component.h"
#include "platform/objects/TypInfo.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QImage;
class QObject;
class TAction;
class TActionList;
class TImageList;

using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// A control or menu item that shows an action: told whenever the action's
// caption, hint, shortcut or state changes.
class TActionClient {
public:
    virtual ~TActionClient();
    virtual void ActionChanged() = 0;

protected:
    // Links the client (the component holder) to another action: leaves the
    // old action's clients, moves the free notification and joins the new
    // action's clients. False when the action is the linked one already.
    bool LinkAction(TComponent* holder, TAction*& field, TAction* action);
};

// What an action shows, and a menu item in its own right: caption, hint,
// shortcut, image and state. Each setter stores the value and calls
// Changed().
class TActionLook {
public:
    virtual ~TActionLook();

    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    bool Checked() const { return FChecked; }
    void SetChecked(bool checked);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    const QString& Hint() const { return FHint; }
    void SetHint(const QString& hint);
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut shortCut);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);

protected:
    TActionLook() = default;
    TActionLook(const TActionLook&) = default;
    TActionLook& operator=(const TActionLook&) = default;

    virtual void Changed() = 0;
    // Takes over every value of the other look without calling Changed().
    void CopyLook(const TActionLook& other) { *this = other; }
    // Puts caption, status tip, shortcut and state on the QAction.
    void ApplyLook(QAction* action) const;

    QString FCaption;
    bool FChecked = false;
    bool FEnabled = true;
    bool FVisible = true;
    QString FHint;
    TShortCut FShortCut = 0;
    int FImageIndex = -1;
};

class TAction : public TComponent, public TActionLook {
public:
    explicit TAction(TComponent* owner);
    ~TAction() override;

    const QString& Category() const { return FCategory; }
    void SetCategory(const QString& category) { FCategory = category; }
    TMethod OnExecute() const { return FOnExecute; }
    void SetOnExecute(const TMethod& method);
    TMethod OnUpdate() const { return FOnUpdate; }
    void SetOnUpdate(const TMethod& method);

    // Runs OnExecute when the action is enabled; true when a handler ran.
    virtual bool Execute();
    // Runs OnUpdate; true when a handler ran.
    virtual bool Update();

    TActionList* ActionList() const { return FActionList; }
    void SetActionList(TActionList* list);
    // The QAction that carries the action into menus, tool bars and the
    // window's shortcuts; triggering it executes the action.
    QAction* QtAction() const { return FQtAction.get(); }

    void AddClient(TActionClient* client);
    void RemoveClient(TActionClient* client);

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

private:
    friend class TActionList;
    void Changed() override;
    // The list's picture at ImageIndex, or a null image.
    QImage Picture() const;

    QString FCategory;
    TMethod FOnExecute;
    TMethod FOnUpdate;
    TActionList* FActionList = nullptr;
    std::unique_ptr<QAction> FQtAction;
    std::vector<TActionClient*> FClients;
    int64_t FIconKey = 0; // the cache key of the picture the icon shows; 0: none
};

class TActionList : public TComponent {
public:
    explicit TActionList(TComponent* owner);
    ~TActionList() override;

    int ActionCount() const { return int(FActions.size()); }
    TAction* Actions(int index) const; // EListError out of range
    TImageList* Images() const { return FImages; }
    void SetImages(TImageList* images);

    // Runs every action's OnUpdate (what the idle handler does).
    void UpdateActions();

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void Loaded() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TAction;
    void InsertAction(TAction* action);
    void RemoveAction(TAction* action);

    std::vector<TAction*> FActions;
    TImageList* FImages = nullptr;
    std::unique_ptr<QObject> FIdle; // the context of the idle connection
};
