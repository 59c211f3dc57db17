// The handles and views of this process: the registry that all handles of
// a name share one local object through, the open that finds a name's
// object here or in the user's folder, and the views and handles dropped
// again, the object forgotten with the last of them.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QString>

#include <mutex>

#include <pthread.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// Whether the thread that forks has a table of its own: its child's table
// is a copy of that one, not of the process's.
thread_local bool ForkedFromOwnTable = false;

// Takes the unit's locks of the process before a fork(), so that none is
// copied into the child held by a thread that the child does not have; the
// look-ups made once per process are made first, for the same reason.
void LockForFork()
{
    (void)ThisProcess();
    (void)DescriptorPath(0);
    ForkedFromOwnTable = ForksFromOwnTable();
    Reg().Lock.lock();
    OrphansLock().lock();
}

// Lets them go again, in the parent and in the child (whose only thread is
// the one that took them).
void UnlockAfterFork()
{
    OrphansLock().unlock();
    Reg().Lock.unlock();
}

// The child forgets what is its parent's, then lets the locks go.
void ChildAfterFork()
{
    ForgetPid();
    ForgetTable();
    // The table of a child of a thread with a table of its own holds at
    // the folder's number whatever that thread's table held: the child
    // chooses its folder anew, as a new process does, and leaves that
    // number alone.
    if (ForkedFromOwnTable)
        Reg().Folder = ObjectFolder{};
    UnlockAfterFork();
}

} // namespace

Registry* MakeRegistry()
{
    auto* registry = new Registry;
    // Registered here, before any road of the unit asks the process id:
    // a handler registered inside a running fork (by the prepare handler's
    // first look-up of the id) is not run for that fork, whose child would
    // keep its parent's id.
    pthread_atfork(&LockForFork, &UnlockAfterFork, &ChildAfterFork);
    return registry;
}

namespace {

TSharedHandle AddHandle(Registry& reg, const std::shared_ptr<LocalObject>& object)
{
    ++object->Handles;
    const TSharedHandle handle = reg.Next++;
    reg.Handles[handle] = object;
    if (!object->Key.isEmpty())
        reg.Named[object->Key] = object;
    return handle;
}

// The named object of this process under key, if any. Under the registry lock.
std::shared_ptr<LocalObject> FindNamed(Registry& reg, const QByteArray& key)
{
    auto it = reg.Named.find(key);
    return it != reg.Named.end() && it->second->Pid == ThisProcess() ? it->second : nullptr;
}

// The user's wake-up block, shared by every event of this process.
std::shared_ptr<LocalObject> OpenWake(Registry& reg, int folder, const QByteArray& folderPath, int& error,
                                      QString& message)
{
    {
        std::lock_guard guard(reg.Lock);
        if (auto wake = reg.Wake.lock(); wake && wake->Pid == ThisProcess())
            return wake;
    }
    auto wake = OpenShared(Kind::Wake, folder, folderPath, ObjectKey(Kind::Wake, QStringLiteral("events")), 0,
                           true, false, error, message);
    if (!wake)
        return nullptr;
    std::shared_ptr<LocalObject> earlier; // closed after the lock
    std::lock_guard guard(reg.Lock);
    if (auto other = reg.Wake.lock(); other && other->Pid == ThisProcess()) {
        earlier = std::move(wake);
        return other;
    }
    reg.Wake = wake;
    return wake;
}

// What the refusal of an open in a thread with a table of its own names:
// what an unnamed object is,
QString UnnamedObject(Kind kind)
{
    switch (kind) {
    case Kind::Event:
        return QStringLiteral("(an unnamed event)");
    case Kind::Mutex:
        return QStringLiteral("(an unnamed mutex)");
    case Kind::Memory:
    case Kind::Wake:
        break;
    }
    return QStringLiteral("(an unnamed memory block)");
}

// or the file of a named one: its name alone where the folder is not chosen
// yet. Under the registry lock.
QString ObjectFile(const Registry& reg, const QByteArray& key)
{
    return QString::fromLocal8Bit(FolderChosen(reg) ? reg.Folder.Path + '/' + key : key);
}

// Forgets an object whose last handle and view are gone; it closes when the
// last reference (a running wait may hold one) goes.
void DropIfUnused(Registry& reg, const std::shared_ptr<LocalObject>& object)
{
    if (object->Handles > 0 || object->Views > 0)
        return;
    auto it = reg.Named.find(object->Key);
    if (it != reg.Named.end() && it->second == object)
        reg.Named.erase(it);
}

} // namespace

TSharedHandle Open(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset, int& error,
                   QString& message)
{
    Registry& reg = Reg();
    CloseOrphans();
    // An open makes or uses the objects' descriptors, which a thread with a
    // table of its own does not share: asked of every open but of a name
    // that the process holds, which gets the object it holds and makes no
    // system call.
    if (name.isEmpty()) {
        if (const int refusal = OwnTableError()) {
            error = refusal;
            message = OwnTableRefusal(refusal, UnnamedObject(kind));
            return 0;
        }
        if (kind == Kind::Memory && (size <= 0 || size > kLargestData)) {
            error = EINVAL;
            message = SystemErrorText(error, qt_error_string(error));
            return 0;
        }
        auto object = MakeUnnamed(kind, size, manualReset, error);
        if (!object) {
            message = SystemErrorText(error, qt_error_string(error));
            return 0;
        }
        if (kind == Kind::Event) {
            // Unnamed events wait in the user's wake-up block too.
            std::shared_ptr<LocalObject> wake;
            int folder = -1;
            QByteArray folderPath;
            {
                std::lock_guard guard(reg.Lock);
                const ObjectFolder& f = UserFolder(reg);
                folder = f.Fd;
                folderPath = f.Path;
                if (folder < 0) {
                    error = f.Error;
                    message = f.Message;
                    return 0;
                }
            }
            object->WakeRef = OpenWake(reg, folder, folderPath, error, message);
            if (!object->WakeRef)
                return 0;
        }
        std::lock_guard guard(reg.Lock);
        return AddHandle(reg, object);
    }
    const QByteArray key = ObjectKey(kind, name);
    int folder = -1;
    QByteArray folderPath;
    size_t bellRoom = 0;
    bool sweep = false;
    {
        std::lock_guard guard(reg.Lock);
        if (auto object = FindNamed(reg, key))
            return AddHandle(reg, object);
        if (const int refusal = OwnTableError()) {
            error = refusal;
            message = OwnTableRefusal(refusal, ObjectFile(reg, key));
            return 0;
        }
        ObjectFolder& f = UserFolder(reg);
        if (f.Fd < 0) {
            error = f.Error;
            message = f.Message;
            return 0;
        }
        folder = f.Fd;
        folderPath = f.Path;
        bellRoom = f.BellRoom;
        sweep = !f.Swept;
        f.Swept = true;
    }
    if (sweep)
        SweepLeftovers(folder);
    std::shared_ptr<LocalObject> wake;
    if (kind == Kind::Event) {
        wake = OpenWake(reg, folder, folderPath, error, message);
        if (!wake)
            return 0;
    }
    auto object = OpenShared(kind, folder, folderPath, key, size, mayCreate, manualReset, error, message);
    if (!object)
        return 0;
    object->WakeRef = std::move(wake);
    if (kind == Kind::Event)
        object->Bell = BellKey(bellRoom, key);
    std::shared_ptr<LocalObject> opened = object; // closed after the lock when another thread was first
    std::lock_guard guard(reg.Lock);
    if (auto first = FindNamed(reg, key))
        object = first;
    return AddHandle(reg, object);
}

QByteArray FolderInUse(int& error, QString& message)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    // Choosing it puts its descriptor in the calling thread's table.
    if (!FolderChosen(reg) &&
        RefusedToOwnTable(QStringLiteral("(the folder of this user's shared objects, not chosen yet)"), error,
                          message))
        return QByteArray();
    const ObjectFolder& folder = UserFolder(reg);
    return folder.Fd >= 0 ? folder.Path : QByteArray();
}

int64_t DataSize(TSharedHandle memory)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    const auto* found = Lookup(reg, memory, Kind::Memory);
    // Another process may have grown the block since this one mapped it:
    // only the bytes mapped here can be used here.
    return found ? int64_t((*found)->MapSize) - kDataOffset : -1;
}

bool GrowMemory(TSharedHandle memory, int64_t size, int& error, QString& message)
{
    const auto fail = [&](int code, const QString& detail) {
        error = code;
        message = SystemErrorText(code, detail);
        return false;
    };
    const std::shared_ptr<LocalObject> object = Find(memory, Kind::Memory);
    if (!object)
        return fail(
            EBADF,
            QStringLiteral("The handle %1 is no handle of a memory block of this process.").arg(memory));
    if (object->Fd < 0)
        return fail(EINVAL, QStringLiteral("Only a named memory block grows (%1 bytes asked).").arg(size));
    if (size <= 0)
        return fail(EINVAL,
                    QStringLiteral("The memory block %1 cannot grow to %2 bytes: its size stays above 0.")
                        .arg(QString::fromLocal8Bit(object->Path))
                        .arg(size));
    if (size > kLargestData) {
        error = EINVAL;
        message = TooLargeText(object->Path, size);
        return false;
    }
    return GrowBlock(*object, size, Reg().Lock, error, message);
}

// A view of the memory block of object: its data, counted until it is
// dropped.
void* AddView(const std::shared_ptr<LocalObject>& object)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    ++object->Views;
    reg.Views[object->Data()] = object;
    return object->Data();
}

// Drops a view that AddView gave this process; false for any other address.
bool DropView(void* view)
{
    std::shared_ptr<LocalObject> object; // released after the lock
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Views.find(view);
    if (it == reg.Views.end() || it->second->Pid != ThisProcess())
        return false;
    object = it->second;
    if (--object->Views == 0)
        reg.Views.erase(it);
    DropIfUnused(reg, object);
    return true;
}

// Drops a handle of this process; false for any other.
bool DropHandle(TSharedHandle handle)
{
    CloseOrphans();
    std::shared_ptr<LocalObject> object; // released after the lock
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Handles.find(handle);
    if (it == reg.Handles.end() || it->second->Pid != ThisProcess())
        return false;
    object = it->second;
    reg.Handles.erase(it);
    --object->Handles;
    DropIfUnused(reg, object);
    return true;
}

} // namespace sharedobjects_detail
