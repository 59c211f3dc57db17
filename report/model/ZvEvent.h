#pragma once
// ZvEvent: the script events of report components, the abstract compiled
// script module they run in, the lists the property stream knows (methods,
// component references, persistent objects) and the abstract designer.
//
// An event holds the source pieces of one script (declaration and body) and
// its entry point in the compiled module of the project item that owns the
// script; Execute runs it through TZarvModule, which the script engine
// implements and reaches the model through the hooks of ZvDefine.
#include "platform/objects/Component.h"
#include "platform/objects/Persistent.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

class TStream;
class TZarvComponent;

// One argument handed to a script: an object, or a reference to a string or
// float variable that the script may change.
using TZarvParam = std::variant<TObject*, QString*, double*>;

// A compiled script module. Modules are made only by LoadModuleHook
// (ZvDefine.h); the script engine's module class implements every operation.
class TZarvModule : public TObject {
public:
    const QString& ModuleName() const { return FModuleName; }
    void SetModuleName(const QString& name) { FModuleName = name; }

    virtual void ResolveImports() = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Runs the script from the entry point position. A script that suspends
    // itself leaves its state in suspendState; the next call resumes it.
    virtual void Execute(int32_t position, std::unique_ptr<TObject>& suspendState) = 0;
    virtual void SetStringVar(const QString& name, const QString& value) = 0;
    virtual QString GetStringVar(const QString& name) = 0;
    virtual void SetIntVar(const QString& name, int32_t value) = 0;
    virtual int32_t GetIntVar(const QString& name) = 0;
    virtual void SetFloatVar(const QString& name, double value) = 0;
    virtual double GetFloatVar(const QString& name) = 0;
    virtual void PushParam(const TZarvParam& param) = 0;
    // Another module replaces oldModule (newModule null: it goes away).
    virtual void Changing(TZarvModule* oldModule, TZarvModule* newModule) = 0;
    virtual void BuildSource() = 0;
    virtual void Compile(bool definition) = 0;
    virtual void EventConnect() = 0;

protected:
    QString FModuleName;
};

// ---------------------------------------------------------------------------
// Events.

class TZarvEvent : public TPersistent {
public:
    TZarvEvent();
    ~TZarvEvent() override;

    // The declaration part and the statements of the script.
    const QString& Header() const { return FHeader; }
    void SetHeader(const QString& value) { FHeader = value; }
    const QString& Body() const { return FBody; }
    void SetBody(const QString& value) { FBody = value; }
    // Entry point of the compiled event in the module's code.
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t value) { FPosition = value; }
    // The project item whose module holds the compiled event.
    TZarvComponent* ModuleOwner() const { return FModuleOwner; }
    void SetModuleOwner(TZarvComponent* value) { FModuleOwner = value; }
    // The event's property name ("OnBeforePrint").
    const QString& Name() const { return FName; }
    void SetName(const QString& value) { FName = value; }
    // The component the event belongs to; the script gets it as Self.
    TZarvComponent* Owner() const { return FOwner; }
    void SetOwner(TZarvComponent* value) { FOwner = value; }
    // Lines where header and body start in the generated module source.
    int32_t HeaderSourceLine = 0;
    int32_t BodySourceLine = 0;

    // Runs the script: nothing without a module owner holding a module; a
    // script that suspends itself in an event that allows no suspension
    // raises EZarvException "Suspend call not valid in this event.".
    void Execute();
    bool Suspended() const { return FSuspendState != nullptr; }
    // Hands one argument to the module of the module owner.
    void PushParam(const TZarvParam& param);

    // The generated declaration of the event in the module source, and the
    // line that ends it.
    virtual QString HeaderSource() const;
    virtual QString FooterSource() const;
    virtual bool AllowSuspend() const { return false; }
    // Pushes the event's own arguments after Self.
    virtual void DefineParams() {}
    // The declaration of those arguments ("var Value: string").
    virtual QString ParamSource() const { return QString(); }

protected:
    // To another event: header, body and position.
    void AssignTo(TPersistent* dest) const override;

private:
    QString FHeader;
    QString FBody;
    int32_t FPosition = 0;
    TZarvComponent* FModuleOwner = nullptr;
    TZarvComponent* FOwner = nullptr;
    QString FName;
    std::unique_ptr<TObject> FSuspendState;
};

// An event whose only argument is Self.
class TZarvSimpleEvent : public TZarvEvent {};

class TZarvStringEvent : public TZarvEvent {
public:
    const QString& Value() const { return FValue; }
    void SetValue(const QString& value) { FValue = value; }
    void DefineParams() override;
    QString ParamSource() const override;

private:
    QString FValue;
};

class TZarvFloatEvent : public TZarvEvent {
public:
    double Value() const { return FValue; }
    void SetValue(double value) { FValue = value; }
    void DefineParams() override;
    QString ParamSource() const override;

private:
    double FValue = 0;
};

// Sets an owned event slot from value: copies value into slot (made on first
// use, owned by owner and named name); null removes the event.
template <class T>
void SetOwnedEvent(std::unique_ptr<T>& slot, const T* value, TZarvComponent* owner, const char* name)
{
    if (!value) {
        slot.reset();
        return;
    }
    if (slot.get() == value)
        return;
    if (!slot) {
        slot = std::make_unique<T>();
        slot->SetOwner(owner);
        slot->SetName(QString::fromLatin1(name));
    }
    slot->Assign(value);
}

// ---------------------------------------------------------------------------
// Listeners of a conversation: a method of an object taking the speaking
// component and the message data (null when the message carries none).

using TZarvListenCode = void (TObject::*)(TZarvComponent* speaker, void* message);

struct TZarvListenMethod {
    TObject* Data = nullptr;
    TZarvListenCode Code = nullptr;
    friend bool operator==(const TZarvListenMethod&, const TZarvListenMethod&) = default;
};

template <class C>
TZarvListenMethod MakeListenMethod(C* object, void (C::*code)(TZarvComponent* speaker, void* message))
{
    return TZarvListenMethod{object, static_cast<TZarvListenCode>(code)};
}

class TZarvMethodList : public TObject {
public:
    int Count() const { return int(FItems.size()); }
    const TZarvListenMethod& Items(int index) const { return FItems.at(size_t(index)); }
    void AddMethod(const TZarvListenMethod& method);
    // Removes the last entry equal to method; nothing when none is.
    void RemoveMethod(const TZarvListenMethod& method);
    // Removes every entry of that object.
    void RemoveObject(const TObject* object);
    void ReplaceObject(const TObject* oldObject, TObject* newObject);

private:
    std::vector<TZarvListenMethod> FItems;
};

// Calls every entry of list, in order, with speaker and message; a null or
// empty list calls nothing.
void CallListeners(const TZarvMethodList* list, TZarvComponent* speaker, void* message);

// ---------------------------------------------------------------------------
// Component references (not owned) held by a property.

class TZarvComponentList : public TObject {
public:
    int Count() const { return int(FItems.size()); }
    TZarvComponent* Items(int index) const { return FItems.at(size_t(index)); }
    void SetItems(int index, TZarvComponent* component) { FItems.at(size_t(index)) = component; }
    void Add(TZarvComponent* component) { FItems.push_back(component); }
    void Remove(const TZarvComponent* component);
    int IndexOf(const TZarvComponent* component) const;
    void Clear() { FItems.clear(); }
    void Assign(const TZarvComponentList& source) { FItems = source.FItems; }

private:
    std::vector<TZarvComponent*> FItems;
};

// Persistent objects made by CreateItem. The list owns what it holds; an item
// that is a component also belongs to its owner, and the list forgets it when
// it goes.
class TZarvPersistentList : public TObject {
public:
    TZarvPersistentList();
    ~TZarvPersistentList() override;

    int Count() const { return int(FItems.size()); }
    TPersistent* Items(int index) const { return FItems.at(size_t(index)); }
    // Takes item over.
    void Add(TPersistent* item);
    // Deletes every item.
    void Clear();

    // A new object of the registered class className: a component with
    // rootOwner as owner, another persistent class without; null for an
    // unknown class or one of another kind. The caller owns the result
    // (until it adds it here).
    virtual TPersistent* CreateItem(const QString& className, TComponent* rootOwner);
    // Clears this list, then adds a copy of every item of source made by
    // CreateItem (components with the source item's owner).
    void Assign(const TZarvPersistentList& source);

private:
    class TItemWatcher;
    void Forget(const TComponent* component);

    std::vector<TPersistent*> FItems;
    std::unique_ptr<TItemWatcher> FWatcher;
};

// ---------------------------------------------------------------------------
// The designer that shows a page. No designer is part of this program; the
// model only asks the current one (none) for what is declared here.

class TZarvDesigner {
public:
    virtual ~TZarvDesigner();
    // The page the designer shows.
    virtual TZarvComponent* Page() const = 0;
    virtual void Repaint() = 0;
    // Inches to designer pixels and back.
    virtual int XI2D(double value) const = 0;
    virtual int YI2D(double value) const = 0;
    virtual double XD2I(int value) const = 0;
    virtual double YD2I(int value) const = 0;
    // The selection handles of a control: index is the handle's number on
    // the control, cursor the mouse cursor shown over it, x and y its place
    // in inches from the page's top left.
    virtual void AddPip(int index, TZarvComponent* control, int cursor, double x, double y) = 0;
    virtual void UpdatePip(int index, TZarvComponent* control, double x, double y) = 0;
    // The control's handles index1 and index2 trade numbers (a handle being
    // dragged past the opposite one becomes that one).
    virtual void SwitchPips(TZarvComponent* control, int index1, int index2) = 0;
};
