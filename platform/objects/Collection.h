#pragma once
// TCollection: an ordered, owned list of items of one registered item class,
// streamed as a collection value ("< item ... end >"). Items are created
// through the registry, so a stream can fill a collection of any registered
// item class.
#include "platform/objects/Persistent.h"

#include <memory>
#include <vector>

class TCollection;

class TCollectionItem : public TPersistent {
public:
    TCollectionItem() = default;
    ~TCollectionItem() override;

    TCollection* Collection() const { return FCollection; }
    int Index() const;             // -1 outside a collection
    void SetIndex(int index);      // moves the item within its collection
    int ID() const { return FID; } // unique within the collection, never reused
    TPersistent* GetOwner() const override;

private:
    friend class TCollection;
    TCollection* FCollection = nullptr;
    int FID = 0;
};

class TCollection : public TPersistent {
public:
    // itemClassName names a registered class derived from TCollectionItem
    // with a factory (EClassNotFound otherwise, when the first item is made).
    explicit TCollection(const QString& itemClassName, TPersistent* owner = nullptr);
    ~TCollection() override;

    const QString& ItemClassName() const { return FItemClassName; }
    int Count() const { return int(FItems.size()); }
    TCollectionItem* Items(int index) const; // EListError out of range
    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    void Move(int from, int to);
    TCollectionItem* FindItemID(int id) const;

    // Update notifications are held back between BeginUpdate and EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    // Clears and copies the items of another collection (items assigned one
    // by one).
    void Assign(const TPersistent* source) override;
    TPersistent* GetOwner() const override { return FOwner; }

protected:
    // Called after a change (item null: the whole collection) unless updates
    // are held back.
    virtual void Update(TCollectionItem* item);

private:
    void Changed();

    QString FItemClassName;
    TPersistent* FOwner = nullptr;
    std::vector<std::unique_ptr<TCollectionItem>> FItems;
    int FNextID = 0;
    int FUpdateCount = 0;
};
