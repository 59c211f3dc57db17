#include "report/model/ZvEvent.h"

#include "platform/objects/ClassRegistry.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvDefine.h"
#include "report/print/QpDefine.h"

#include <algorithm>

// ---------------------------------------------------------------------------
// TZarvEvent.

TZarvEvent::TZarvEvent() = default;

TZarvEvent::~TZarvEvent() = default;

void TZarvEvent::AssignTo(TPersistent* dest) const
{
    if (auto* event = dynamic_cast<TZarvEvent*>(dest)) {
        event->FHeader = FHeader;
        event->FBody = FBody;
        event->FPosition = FPosition;
        return;
    }
    TPersistent::AssignTo(dest);
}

void TZarvEvent::PushParam(const TZarvParam& param)
{
    TZarvModule* module = FModuleOwner ? FModuleOwner->ItemModule() : nullptr;
    if (module)
        module->PushParam(param);
}

void TZarvEvent::Execute()
{
    TZarvModule* module = FModuleOwner ? FModuleOwner->ItemModule() : nullptr;
    if (!module)
        return;
    if (!Suspended()) {
        PushParam(TZarvParam(static_cast<TObject*>(FOwner)));
        DefineParams();
    }
    module->Execute(FPosition, FSuspendState);
    if (Suspended() && !AllowSuspend())
        ZarvError(Translate(QStringLiteral("Suspend call not valid in this event.")));
}

QString TZarvEvent::HeaderSource() const
{
    const QString ownerName = FOwner ? FOwner->Name() : QString();
    const QString className = FOwner ? FindRegisteredClassName(FOwner->ClassType()) : QString();
    QString text = QStringLiteral("\r\n{ Event for ") + ownerName + QLatin1Char('.') + FName +
                   QStringLiteral(" }\r\n\r\n") + QStringLiteral("function ") + ownerName + QLatin1Char('_') +
                   FName + QLatin1Char('(') + QStringLiteral("Self: ") + className;
    const QString params = ParamSource();
    if (!params.isEmpty())
        text += QStringLiteral("; ") + params;
    text += QStringLiteral(");");
    return text;
}

QString TZarvEvent::FooterSource() const
{
    const QString ownerName = FOwner ? FOwner->Name() : QString();
    return QStringLiteral("end ") + ownerName + QLatin1Char('_') + FName + QLatin1Char(';');
}

void TZarvStringEvent::DefineParams()
{
    PushParam(TZarvParam(&FValue));
}

QString TZarvStringEvent::ParamSource() const
{
    return QStringLiteral("var Value: string");
}

void TZarvFloatEvent::DefineParams()
{
    PushParam(TZarvParam(&FValue));
}

QString TZarvFloatEvent::ParamSource() const
{
    return QStringLiteral("var Value: extended");
}

// ---------------------------------------------------------------------------
// Lists.

void TZarvMethodList::AddMethod(const TZarvListenMethod& method)
{
    FItems.push_back(method);
}

void TZarvMethodList::RemoveMethod(const TZarvListenMethod& method)
{
    const auto it = std::find(FItems.rbegin(), FItems.rend(), method);
    if (it != FItems.rend())
        FItems.erase(std::next(it).base());
}

void TZarvMethodList::RemoveObject(const TObject* object)
{
    FItems.erase(std::remove_if(FItems.begin(), FItems.end(),
                                [object](const TZarvListenMethod& m) { return m.Data == object; }),
                 FItems.end());
}

void TZarvMethodList::ReplaceObject(const TObject* oldObject, TObject* newObject)
{
    for (TZarvListenMethod& m : FItems) {
        if (m.Data == oldObject)
            m.Data = newObject;
    }
}

void CallListeners(const TZarvMethodList* list, TZarvComponent* speaker, void* message)
{
    if (!list)
        return;
    // By index: a listener may add or remove listeners.
    for (int i = 0; i < list->Count(); ++i) {
        const TZarvListenMethod method = list->Items(i);
        if (method.Data && method.Code)
            (method.Data->*method.Code)(speaker, message);
    }
}

void TZarvComponentList::Remove(const TZarvComponent* component)
{
    FItems.erase(std::remove(FItems.begin(), FItems.end(), component), FItems.end());
}

int TZarvComponentList::IndexOf(const TZarvComponent* component) const
{
    const auto it = std::find(FItems.begin(), FItems.end(), component);
    return it == FItems.end() ? -1 : int(it - FItems.begin());
}

// Hears when a component item goes, so the list never deletes it twice.
class TZarvPersistentList::TItemWatcher : public TComponent {
public:
    explicit TItemWatcher(TZarvPersistentList& list) : TComponent(nullptr), FList(list) {}

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove)
            FList.Forget(component);
    }

private:
    TZarvPersistentList& FList;
};

TZarvPersistentList::TZarvPersistentList() : FWatcher(std::make_unique<TItemWatcher>(*this)) {}

TZarvPersistentList::~TZarvPersistentList()
{
    Clear();
}

void TZarvPersistentList::Add(TPersistent* item)
{
    if (auto* component = dynamic_cast<TComponent*>(item))
        component->FreeNotification(FWatcher.get());
    FItems.push_back(item);
}

void TZarvPersistentList::Clear()
{
    while (!FItems.empty()) {
        TPersistent* item = FItems.back();
        FItems.pop_back();
        if (auto* component = dynamic_cast<TComponent*>(item))
            component->RemoveFreeNotification(FWatcher.get());
        delete item;
    }
}

void TZarvPersistentList::Forget(const TComponent* component)
{
    const TPersistent* item = component;
    FItems.erase(std::remove(FItems.begin(), FItems.end(), item), FItems.end());
}

TPersistent* TZarvPersistentList::CreateItem(const QString& className, TComponent* rootOwner)
{
    const TClassInfo* cls = FindClass(className);
    if (!cls || !cls->CanCreate() || !cls->InheritsFrom(QStringLiteral("TPersistent")))
        return nullptr;
    const bool isComponent = cls->InheritsFrom(QStringLiteral("TComponent"));
    TObject* made = cls->Create(isComponent ? rootOwner : nullptr);
    auto* item = dynamic_cast<TPersistent*>(made);
    if (!item)
        delete made;
    return item;
}

void TZarvPersistentList::Assign(const TZarvPersistentList& source)
{
    if (&source == this)
        return;
    Clear();
    for (TPersistent* entry : source.FItems) {
        if (!entry || !entry->ClassType())
            continue;
        auto* sourceComponent = dynamic_cast<TComponent*>(entry);
        std::unique_ptr<TPersistent> item(
            CreateItem(entry->ClassName(), sourceComponent ? sourceComponent->Owner() : nullptr));
        if (!item)
            continue;
        item->Assign(entry);
        Add(item.release());
    }
}

TZarvDesigner::~TZarvDesigner() = default;
