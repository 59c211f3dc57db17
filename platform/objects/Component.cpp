#include "platform/objects/Component.h"

#include "platform/objects/Filer.h"
#include "platform/rtl/StringRoutines.h"

#include <algorithm>
#include <utility>

namespace {

struct GlobalFinders {
    std::vector<std::pair<int, TFindGlobalComponent>> Procs;
    int NextToken = 1;
};

GlobalFinders& Finders()
{
    static auto* finders = new GlobalFinders();
    return *finders;
}

void Erase(std::vector<TComponent*>& list, TComponent* component)
{
    list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

} // namespace

bool IsValidIdent(const QString& ident)
{
    if (ident.isEmpty())
        return false;
    for (int i = 0; i < ident.size(); ++i) {
        const char16_t c = ident.at(i).unicode();
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0))
            return false;
    }
    return true;
}

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    FComponentState.Include(TComponentStateFlag::csDestroying);
    while (!FFreeNotifies.empty()) {
        TComponent* partner = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        Erase(partner->FFreeNotifies, this);
        partner->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (FOwner)
        FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const
{
    if (index < 0 || index >= ComponentCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FComponents[size_t(index)];
}

int TComponent::ComponentIndex() const
{
    if (!FOwner)
        return -1;
    const auto& list = FOwner->FComponents;
    const auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : int(it - list.begin());
}

TComponent* TComponent::FindComponent(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    for (TComponent* component : FComponents) {
        if (SameText(component->FName, name))
            return component;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    if (!component || component == this || component->FOwner == this)
        return;
    ValidateRename(component, QString(), component->FName);
    if (component->FOwner)
        component->FOwner->RemoveComponent(component);
    Insert(component);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    if (!component || component->FOwner != this)
        return;
    Notification(component, TOperation::opRemove);
    Remove(component);
}

void TComponent::DestroyComponents()
{
    // Through RemoveComponent, so every other component hears of each one
    // that goes and can drop its references before the next is destroyed.
    while (!FComponents.empty()) {
        TComponent* component = FComponents.back();
        RemoveComponent(component);
        delete component;
    }
}

void TComponent::SetName(const QString& name)
{
    if (FName == name)
        return;
    if (!name.isEmpty() && !IsValidIdent(name))
        throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(name));
    if (FOwner)
        FOwner->ValidateRename(this, FName, name);
    else
        ValidateRename(nullptr, FName, name);
    FName = name;
}

void TComponent::SetComponentState(TComponentStateFlag flag, bool on)
{
    if (on)
        FComponentState.Include(flag);
    else
        FComponentState.Exclude(flag);
}

void TComponent::FreeNotification(TComponent* component)
{
    if (!component || component == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
        FFreeNotifies.push_back(component);
    if (std::find(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this) ==
        component->FFreeNotifies.end())
        component->FFreeNotifies.push_back(this);
    FComponentState.Include(TComponentStateFlag::csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    if (!component)
        return;
    Erase(FFreeNotifies, component);
    Erase(component->FFreeNotifies, this);
}

void TComponent::ReadState(TReader& reader)
{
    reader.ReadData(this);
}

void TComponent::WriteState(TWriter& writer)
{
    writer.WriteData(this);
}

void TComponent::Loaded()
{
    FComponentState.Exclude(TComponentStateFlag::csLoading);
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    if (root != this)
        return;
    for (TComponent* component : std::vector<TComponent*>(FComponents)) {
        if (!component->HasParent())
            proc(component);
    }
}

TComponent* TComponent::GetChildOwner()
{
    // An inline component (a frame) owns the components read inside it.
    return FComponentState.Contains(TComponentStateFlag::csInline) ? this : nullptr;
}

TComponent* TComponent::GetChildParent()
{
    return this;
}

bool TComponent::HasParent() const
{
    return false;
}

TComponent* TComponent::GetParentComponent() const
{
    return nullptr;
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::SetChildOrder(TComponent*, int) {}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component)
        RemoveNotification(component);
    // A handler may delete components; the index is checked on every step.
    for (int i = ComponentCount() - 1; i >= 0; --i) {
        if (i < ComponentCount())
            FComponents[size_t(i)]->Notification(component, operation);
    }
}

void TComponent::ValidateRename(TComponent* component, const QString& currentName, const QString& newName)
{
    if (!component || SameText(currentName, newName))
        return;
    const TComponent* other = FindComponent(newName);
    if (other && other != component)
        throw EComponentError(QStringLiteral("A component named %1 already exists").arg(newName));
}

void TComponent::Insert(TComponent* component)
{
    FComponents.push_back(component);
    component->FOwner = this;
}

void TComponent::Remove(TComponent* component)
{
    Erase(FComponents, component);
    component->FOwner = nullptr;
}

void TComponent::RemoveNotification(TComponent* component)
{
    Erase(FFreeNotifies, component);
}

int RegisterFindGlobalComponentProc(TFindGlobalComponent proc)
{
    GlobalFinders& finders = Finders();
    const int token = finders.NextToken++;
    finders.Procs.emplace_back(token, std::move(proc));
    return token;
}

void UnregisterFindGlobalComponentProc(int token)
{
    auto& procs = Finders().Procs;
    procs.erase(
        std::remove_if(procs.begin(), procs.end(), [token](const auto& p) { return p.first == token; }),
        procs.end());
}

TComponent* FindGlobalComponent(const QString& name)
{
    for (const auto& proc : std::vector(Finders().Procs)) {
        if (TComponent* component = proc.second(name))
            return component;
    }
    return nullptr;
}

TComponent* FindNestedComponent(TComponent* root, const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    const QStringList steps = path.split(QLatin1Char('.'));
    TComponent* current = nullptr;
    for (int i = 0; i < steps.size(); ++i) {
        const QString& step = steps.at(i);
        const bool owner = SameText(step, QStringLiteral("Owner"));
        if (i == 0) {
            if (root && owner)
                current = root;
            else if (!(current = root ? root->FindComponent(step) : nullptr))
                current = FindGlobalComponent(step);
        } else {
            current = owner ? current->Owner() : current->FindComponent(step);
        }
        if (!current)
            return nullptr;
    }
    return current;
}
