#include "platform/objects/Collection.h"

#include "platform/rtl/Exceptions.h"

TCollectionItem::~TCollectionItem() = default;

int TCollectionItem::Index() const
{
    if (!FCollection)
        return -1;
    for (int i = 0; i < FCollection->Count(); ++i) {
        if (FCollection->Items(i) == this)
            return i;
    }
    return -1;
}

void TCollectionItem::SetIndex(int index)
{
    const int current = Index();
    if (current >= 0 && current != index)
        FCollection->Move(current, index);
}

TPersistent* TCollectionItem::GetOwner() const
{
    return FCollection;
}

TCollection::TCollection(const QString& itemClassName, TPersistent* owner)
    : FItemClassName(itemClassName), FOwner(owner)
{
}

TCollection::~TCollection()
{
    FUpdateCount = 1; // no notifications while the items go
    FItems.clear();
}

TCollectionItem* TCollection::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FItems[size_t(index)].get();
}

TCollectionItem* TCollection::Add()
{
    return Insert(Count());
}

TCollectionItem* TCollection::Insert(int index)
{
    if (index < 0 || index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    const TClassInfo& itemClass = RequireClass(FItemClassName);
    if (!itemClass.InheritsFrom(QStringLiteral("TCollectionItem")))
        throw EClassNotFound(QStringLiteral("Class %1 is no collection item class").arg(FItemClassName));
    TObject* object = itemClass.Create(nullptr);
    auto* item = dynamic_cast<TCollectionItem*>(object);
    if (!item) {
        delete object;
        throw EClassNotFound(QStringLiteral("Class %1 is no collection item class").arg(FItemClassName));
    }
    item->FCollection = this;
    item->FID = FNextID++;
    FItems.insert(FItems.begin() + index, std::unique_ptr<TCollectionItem>(item));
    Changed();
    return item;
}

void TCollection::Delete(int index)
{
    Items(index); // range check
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TCollection::Clear()
{
    if (FItems.empty())
        return;
    BeginUpdate();
    FItems.clear();
    EndUpdate();
}

void TCollection::Move(int from, int to)
{
    Items(from);
    Items(to);
    auto item = std::move(FItems[size_t(from)]);
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, std::move(item));
    Changed();
}

TCollectionItem* TCollection::FindItemID(int id) const
{
    for (const auto& item : FItems) {
        if (item->FID == id)
            return item.get();
    }
    return nullptr;
}

void TCollection::BeginUpdate()
{
    ++FUpdateCount;
}

void TCollection::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

void TCollection::Assign(const TPersistent* source)
{
    auto* other = dynamic_cast<const TCollection*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    BeginUpdate();
    try {
        Clear();
        for (const auto& item : other->FItems)
            Add()->Assign(item.get());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed()
{
    if (FUpdateCount == 0)
        Update(nullptr);
}
