#include "localization/KUtils.h"

#include "platform/rtl/Exceptions.h"

#include <QString>

TKObjectListBase::~TKObjectListBase()
{
    FreeAll();
    TKObjectListBase::DoChange();
}

void TKObjectListBase::Clear()
{
    FreeAll();
    DoChange();
}

void TKObjectListBase::FreeObjects()
{
    for (void*& object : FItems) {
        void* doomed = object;
        object = nullptr;
        if (doomed)
            FDeleter(doomed);
    }
}

void TKObjectListBase::Erase(int index)
{
    void* doomed = TakePointer(index);
    if (doomed)
        FDeleter(doomed);
    DoChange();
}

void TKObjectListBase::DoEmpty()
{
    if (OnEmpty)
        OnEmpty(*this);
}

void TKObjectListBase::DoChange()
{
    if (OnChange)
        OnChange(*this);
    if (FItems.empty())
        DoEmpty();
}

int TKObjectListBase::AddPointer(void* object)
{
    FItems.push_back(object);
    DoChange();
    return int(FItems.size()) - 1;
}

void TKObjectListBase::InsertPointer(int index, void* object)
{
    if (index < 0 || index > Count()) {
        // The list took ownership on the call; it must not leak on refusal.
        if (object)
            FDeleter(object);
        CheckIndex(index);
    }
    FItems.insert(FItems.begin() + index, object);
    DoChange();
}

void* TKObjectListBase::PointerAt(int index) const
{
    CheckIndex(index);
    return FItems[size_t(index)];
}

void* TKObjectListBase::ReplacePointer(int index, void* object)
{
    if (index < 0 || index >= Count()) {
        if (object)
            FDeleter(object);
        CheckIndex(index);
    }
    void* old = FItems[size_t(index)];
    FItems[size_t(index)] = object;
    return old;
}

void* TKObjectListBase::TakePointer(int index)
{
    CheckIndex(index);
    void* removed = FItems[size_t(index)];
    FItems.erase(FItems.begin() + index);
    return removed;
}

int TKObjectListBase::IndexOfPointer(const void* object) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i] == object)
            return int(i);
    return -1;
}

void TKObjectListBase::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

// Detaches the objects before freeing them, so a destructor that looks at
// the list finds it already empty.
void TKObjectListBase::FreeAll()
{
    std::vector<void*> doomed;
    doomed.swap(FItems);
    for (void* object : doomed)
        if (object)
            FDeleter(object);
}
