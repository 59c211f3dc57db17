// The objects whose last reference went in a thread with a table of
// descriptors of its own: they are closed later, by a thread of the
// process's table. It stands on the base and the table.
#include "platform/os/SharedObjects_p.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace sharedobjects_detail {

namespace {

// The objects whose last reference went in a thread with a table of
// descriptors of its own, left for CloseOrphans. Never destroyed, as the
// registry: handles are closed from static destructors too.
struct Orphanage {
    std::mutex Lock;
    std::vector<LocalObject*> Objects;
    std::atomic<bool> Any{false};
};

Orphanage& Orphans()
{
    static Orphanage* const orphans = new Orphanage;
    return *orphans;
}

// Deletes an object whose last reference went. Its descriptors are numbers
// of the process's table, which a thread with a table of its own does not
// share: there they may stand for other files, which its close would
// unlock, remove or close. Such a thread leaves it to CloseOrphans.
void Release(LocalObject* object)
{
    if (object->Pid == ThisProcess() && (object->Fd >= 0 || object->BellFd >= 0) && OwnTableError() != 0) {
        Orphanage& orphans = Orphans();
        std::lock_guard guard(orphans.Lock);
        orphans.Objects.push_back(object);
        orphans.Any = true;
        return;
    }
    delete object;
}

} // namespace

std::shared_ptr<LocalObject> NewObject()
{
    return std::shared_ptr<LocalObject>(new LocalObject, &Release);
}

void CloseOrphans()
{
    Orphanage& orphans = Orphans();
    if (!orphans.Any.load() || OwnTableError() != 0)
        return;
    std::vector<LocalObject*> objects;
    {
        std::lock_guard guard(orphans.Lock);
        objects.swap(orphans.Objects);
        orphans.Any = false;
    }
    for (LocalObject* object : objects)
        delete object;
}

std::mutex& OrphansLock()
{
    return Orphans().Lock;
}

} // namespace sharedobjects_detail
