#pragma once
// TComponent: a persistent object with an owner, the components it owns, a
// name unique among its owner's components, a tag, free notification and the
// state flags of loading and writing.
//
// Ownership: an owner deletes the components it owns, last first, when it is
// deleted. A component may also be deleted on its own at any time; it then
// leaves its owner's list. A component without owner belongs to whoever made
// it (hold it in a std::unique_ptr). Pointers from one component to another
// that the owner tree does not cover are kept right by free notification:
// A->FreeNotification(B) makes B's Notification(A, opRemove) run when A goes,
// so B can clear its reference (ReferenceComponent does the bookkeeping).
#include "platform/objects/Persistent.h"
#include "platform/rtl/Exceptions.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class TReader;
class TWriter;

RTL_EXCEPTION_CLASS(EComponentError, Exception);

enum class TOperation { opInsert, opRemove };

// Component states, numbered as the framework numbers them.
enum class TComponentStateFlag : uint16_t {
    csLoading = 0,
    csReading = 1,
    csWriting = 2,
    csDestroying = 3,
    csDesigning = 4,
    csAncestor = 5,
    csUpdating = 6,
    csFixups = 7,
    csFreeNotification = 8,
    csInline = 9,
    csDesignInstance = 10,
};

class TComponentState {
public:
    bool Contains(TComponentStateFlag flag) const { return (FBits & Bit(flag)) != 0; }
    void Include(TComponentStateFlag flag) { FBits |= Bit(flag); }
    void Exclude(TComponentStateFlag flag) { FBits &= uint16_t(~Bit(flag)); }
    bool IsEmpty() const { return FBits == 0; }

private:
    static uint16_t Bit(TComponentStateFlag flag) { return uint16_t(1u << unsigned(flag)); }
    uint16_t FBits = 0;
};

// A component name must be an identifier: a letter or underscore, then
// letters, digits and underscores (ASCII).
bool IsValidIdent(const QString& ident);

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent* Components(int index) const; // EListError out of range
    int ComponentIndex() const;              // position in the owner's list; -1 without owner
    // An owned component by name, without regard to case; null when none.
    TComponent* FindComponent(const QString& name) const;
    void InsertComponent(TComponent* component); // takes ownership
    void RemoveComponent(TComponent* component); // gives ownership back
    void DestroyComponents();

    const QString& Name() const { return FName; }
    // Raises EComponentError "'<name>' is not a valid component name" for a
    // non-empty name that is no identifier, and "A component named <name>
    // already exists" when the owner has another component of that name.
    virtual void SetName(const QString& name);
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    const TComponentState& ComponentState() const { return FComponentState; }
    void SetComponentState(TComponentStateFlag flag, bool on);

    // Free notification (see above); both directions are forgotten when
    // either side goes.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // Streaming. ReadState and WriteState read and write this component's
    // properties and children; Loaded runs once the whole stream is read and
    // its references are fixed up (it clears csLoading).
    virtual void ReadState(TReader& reader);
    virtual void WriteState(TWriter& writer);
    virtual void Loaded();
    // The components written as this one's children: by default the owned
    // components that have no parent, when this component is the root.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    // The owner of the components read as children (null: the root), and
    // their parent (by default this component).
    virtual TComponent* GetChildOwner();
    virtual TComponent* GetChildParent();
    // A parent apart from the owner (controls have one); none by default.
    virtual bool HasParent() const;
    virtual TComponent* GetParentComponent() const;
    virtual void SetParentComponent(TComponent* parent);
    // Moves a child to a position among this component's children (a stream
    // object with a child position); nothing by default.
    virtual void SetChildOrder(TComponent* child, int order);

protected:
    // Called for every component inserted into or removed from the owner
    // tree, and for free notification. The default forgets a component that
    // goes and passes the notification to the owned components.
    virtual void Notification(TComponent* component, TOperation operation);
    virtual void ValidateRename(TComponent* component, const QString& currentName, const QString& newName);

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void NotifyAll(TComponent* component, TOperation operation);
    void RemoveNotification(TComponent* component);

    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents; // owned
    std::vector<TComponent*> FFreeNotifies;
    QString FName;
    int FTag = 0;
    TComponentState FComponentState;
};

// Sets a component reference field: the old value's free notification is
// removed and the new value's set up, so that the holder's Notification hears
// when the referenced component goes (its override then sets the field to
// null).
template <class T> void ReferenceComponent(TComponent* holder, T*& field, T* value)
{
    if (field == value)
        return;
    if (field)
        field->RemoveFreeNotification(holder);
    field = value;
    if (field)
        field->FreeNotification(holder);
}

// Finds components outside a stream's root by name (other forms); the forms
// layer registers a procedure that searches its windows. Register returns a
// token for Unregister.
using TFindGlobalComponent = std::function<TComponent*(const QString& name)>;
int RegisterFindGlobalComponentProc(TFindGlobalComponent proc);
void UnregisterFindGlobalComponentProc(int token);
TComponent* FindGlobalComponent(const QString& name);
// Resolves a reference path as a stream holds it: "Button1" in root,
// "Panel1.Button1" (a component owned by root's Panel1, or by another root
// Panel1 when root has none), "Owner" (root itself); null when not found.
TComponent* FindNestedComponent(TComponent* root, const QString& path);
