#pragma once
// TKObjectList: the localization library's owning list of objects, the base
// of the translation store's lists and of the language list. It frees what
// it holds when it is cleared, when an entry is erased and when it is
// destroyed, and tells listeners about every change and about becoming empty.
#include <functional>
#include <memory>
#include <vector>

// The untyped part of TKObjectList: the list of places, the events and the
// ownership rules. Objects are freed through the deleter the typed list
// passes in, so the destructor can free them without a virtual call.
class TKObjectListBase {
public:
    using TNotifyEvent = std::function<void(TKObjectListBase& sender)>;

    TKObjectListBase(const TKObjectListBase&) = delete;
    TKObjectListBase& operator=(const TKObjectListBase&) = delete;
    // Frees every object and fires OnChange (and OnEmpty) once more, as Clear
    // does. A handler sees only this base part of the list at that point.
    virtual ~TKObjectListBase();

    int Count() const { return int(FItems.size()); }

    // Frees every object, empties the list, then DoChange.
    virtual void Clear();
    // Frees every object and leaves an empty (null) place for each.
    virtual void FreeObjects();
    // Frees the object at index and removes its place; DoChange.
    virtual void Erase(int index);

    TNotifyEvent OnEmpty;
    TNotifyEvent OnChange;

protected:
    using TDeleter = void (*)(void*);
    explicit TKObjectListBase(TDeleter deleter) : FDeleter(deleter) {}

    // Calls OnEmpty when assigned.
    virtual void DoEmpty();
    // Calls OnChange when assigned, then DoEmpty when the list is empty.
    virtual void DoChange();

    int AddPointer(void* object);
    void InsertPointer(int index, void* object);
    void* PointerAt(int index) const;
    void* ReplacePointer(int index, void* object); // no DoChange; returns the old one
    void* TakePointer(int index);                  // no DoChange; returns the removed one
    int IndexOfPointer(const void* object) const;

private:
    std::vector<void*> FItems;
    TDeleter FDeleter;

    void CheckIndex(int index) const; // EListError "List index out of bounds (<index>)"
    void FreeAll();
};

// The owning list of T. Add and Insert take ownership; Delete and SetItem
// hand ownership of the object they take out back to the caller, which is
// how "removed without being freed" is kept safe.
template <class T> class TKObjectList : public TKObjectListBase {
public:
    TKObjectList() : TKObjectListBase(&DeleteObject) {}

    T* Items(int index) const { return static_cast<T*>(PointerAt(index)); }
    // Puts object in the place of index without DoChange; the old object is
    // not freed but handed back.
    [[nodiscard]] std::unique_ptr<T> SetItem(int index, std::unique_ptr<T> object)
    {
        return std::unique_ptr<T>(static_cast<T*>(ReplacePointer(index, object.release())));
    }

    // Appends object; DoChange; returns its index.
    int Add(std::unique_ptr<T> object) { return AddPointer(object.release()); }
    void Insert(int index, std::unique_ptr<T> object) { InsertPointer(index, object.release()); }
    // Removes the place of index without freeing its object, which goes back
    // to the caller; DoChange.
    std::unique_ptr<T> Delete(int index)
    {
        std::unique_ptr<T> taken(static_cast<T*>(TakePointer(index)));
        DoChange();
        return taken;
    }
    int IndexOf(const T* object) const { return IndexOfPointer(object); }

private:
    static void DeleteObject(void* object) { delete static_cast<T*>(object); }
};
