#pragma once
// What the files of the named shared objects share: the layout of an
// object's head and data, this process's record of what it opened (the
// local object, the registry of handles and views, the user's folder), the
// bookkeeping lock, and what each file offers the files above it, listed by
// the file that defines it, from the bottom up: the base, the claim, the
// orphans, the bells, the waits, the folder, the lifetime, the registry. A file calls only files
// listed before its own; the public functions (SharedObjects.cpp) stand on
// them all. No code outside these files includes this header. The test
// SharedObjectsLayeringTest (tests/platform/os/SharedObjectsLayeringTest.cpp)
// holds this order: it reads the section markers below, which keep the form
// "// SharedObjects<Concern>.cpp:" at the start of a line, and fails where a
// file, or an inline body of a section, uses a name of a section above its
// own, or where a SharedObjects*.cpp of the folder has no section.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <pthread.h>
#include <sys/file.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

namespace sharedobjects_detail {

using sharedobjects_layout::kDataOffset;
using sharedobjects_layout::kMagic;
using sharedobjects_layout::kNamePrefix;
using sharedobjects_layout::SharedHead;

// How long opening, growing or closing an object waits for the bookkeeping
// lock of its file, which a stopped process may hold, in milliseconds.
constexpr uint32_t kBookkeepingMs = 5000;

enum class Kind : char { Memory = 'M', Mutex = 'X', Event = 'E', Wake = 'W' };

// The largest memory block: its file's size, head included, fits an off_t.
static_assert(sizeof(off_t) == sizeof(int64_t));
constexpr int64_t kLargestData = std::numeric_limits<int64_t>::max() - kDataOffset;

// One object opened by this process. All handles and views of a name in one
// process share it; it closes its share of the shared object when the last
// reference goes (waits hold a reference, so a close on another thread never
// unmaps memory that a waiter uses).
struct LocalObject {
    Kind ObjKind = Kind::Memory;
    QByteArray Key;  // file name in the folder; empty for an unnamed object
    QByteArray Path; // folder and file name, for messages
    int Folder = -1; // the folder's descriptor (the process keeps it open)
    char* Base = nullptr;
    size_t MapSize = 0;
    int Fd = -1; // kept open: it carries this process's usage lock
    pid_t Pid = 0;
    int Handles = 0; // guarded by the registry lock
    int Views = 0;
    // A mutex's takes by the thread of this process that owns it, if any:
    // changed by the owner while it holds the mutex, so that the take that
    // finds the mutex abandoned may set it to its own, whatever threads of
    // the process ended owning it.
    std::atomic<int> Holds{0};
    // The process's half of the bookkeeping lock of Fd (see BookkeepingLock).
    std::mutex Threads;
    // An event's hold on the user's block of waiters' slots, which goes with
    // the last event of the process.
    std::shared_ptr<LocalObject> WakeRef;
    // Events: the file name of the socket that rings the listener, the
    // socket this process sends rings through, and whether this process
    // listens (its socket bound under the bell name).
    QByteArray Bell;
    std::mutex BellLock;
    int BellFd = -1;
    bool Listening = false;

    SharedHead* Head() const { return reinterpret_cast<SharedHead*>(Base); }
    char* Data() const { return Base + kDataOffset; }
    sharedobjects_layout::WaiterSlots* Slots() const
    {
        return WakeRef ? reinterpret_cast<sharedobjects_layout::WaiterSlots*>(WakeRef->Data()) : nullptr;
    }
    ~LocalObject();
};

// The folder of the objects of one user: XDG_RUNTIME_DIR when it is the
// user's own and closed to others, else the first of the series
// /dev/shm/tessvar-<uid>[.n] that is or can be made so (see ChooseFolder).
// Nobody else can make, replace or read a file in it.
struct ObjectFolder {
    uid_t Uid = 0;
    int Fd = -1;
    QByteArray Path;
    // Room for the folder's part of a socket's address, the same in every
    // process of the user (see BellKey).
    size_t BellRoom = 0;
    int Error = 0;
    QString Message; // why it cannot be used
    bool Swept = false;
};

struct Registry {
    std::mutex Lock;
    TSharedHandle Next = 1;
    std::map<TSharedHandle, std::shared_ptr<LocalObject>> Handles;
    std::map<QByteArray, std::shared_ptr<LocalObject>> Named;
    std::map<void*, std::shared_ptr<LocalObject>> Views;
    std::weak_ptr<LocalObject> Wake;
    ObjectFolder Folder;
};

using Deadline = std::chrono::steady_clock::time_point;

// Sleeps before the next try of a lock: false where the deadline has passed
// (no more tries), else after a pause that doubles from try to try (pause,
// 200 µs at first) up to 10 ms.
inline bool PauseBeforeRetry(Deadline deadline, useconds_t& pause)
{
    if (std::chrono::steady_clock::now() >= deadline)
        return false;
    usleep(pause);
    pause = std::min<useconds_t>(pause * 2, 10'000);
    return true;
}

// The bookkeeping lock of an object's file, waited for until a deadline: a
// process stopped while it holds it delays the others by that much at most.
// It belongs to the open file description, so it keeps out other processes
// and other descriptors of the file, not the threads that share this one.
class FileLock {
public:
    FileLock(int fd, uint32_t timeoutMs)
        : FileLock(fd, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs))
    {
    }
    FileLock(int fd, Deadline deadline) : FFd(fd)
    {
        useconds_t pause = 200;
        do {
            if (flock(FFd, LOCK_EX | LOCK_NB) == 0) {
                FLocked = true;
                return;
            }
        } while ((errno == EWOULDBLOCK || errno == EINTR) && PauseBeforeRetry(deadline, pause));
    }
    ~FileLock()
    {
        if (FLocked)
            flock(FFd, LOCK_UN);
    }
    bool Locked() const { return FLocked; }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int FFd;
    bool FLocked = false;
};

// The bookkeeping lock of an object that this process keeps open, whose
// descriptor all its threads share: the object's Threads mutex keeps the
// process's other threads out, then the file lock other processes, both
// within timeoutMs. The thread waits on the mutex before the process waits
// on the file, and holds no other lock meanwhile. The mutex is tried as the
// file lock is, between pauses: held by a thread that waits for a stopped
// process's file lock, it is held that long.
class BookkeepingLock {
public:
    BookkeepingLock(LocalObject& object, uint32_t timeoutMs) : FThreads(object.Threads, std::defer_lock)
    {
        const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        useconds_t pause = 200;
        while (!FThreads.try_lock()) {
            if (!PauseBeforeRetry(deadline, pause))
                return;
        }
        FFile.emplace(object.Fd, deadline);
    }
    bool Locked() const { return FFile && FFile->Locked(); }

private:
    std::unique_lock<std::mutex> FThreads;
    std::optional<FileLock> FFile; // let go before the mutex
};

// SharedObjectsBase.cpp: what every file stands on.

// A descriptor's path in /proc leads to the very file or folder it was
// opened on, whatever has been put at its name since: sockets are bound and
// reached by such a path (the kernel resolves an address again at every bind
// and connect), and a file the owner may not open is mended through one.
// /proc/self/fd is the table of the process's first thread, which a thread
// with a table of its own (unshare(CLONE_FILES)) does not share: a number
// there may stand for another file. /proc/thread-self/fd is the calling
// thread's own, where the system has it (Linux 3.17 on).
constexpr char kThreadDescriptors[] = "/proc/thread-self/fd/";
constexpr char kProcessDescriptors[] = "/proc/self/fd/";

// The texts of the errors.
QString SystemErrorText(int error, const QString& detail);
QString PathErrorText(int error, const QByteArray& path);
QString TooLargeText(const QByteArray& path, int64_t size);
QString OwnTableText();

// Whether the calling thread has a table of descriptors of its own
// (unshare(CLONE_FILES)), not its process's, the table of its first thread,
// where every descriptor of the named objects lives: there a number of
// theirs may stand for another file, or for none. False where the system
// cannot tell (no kcmp, or refused to this process). A system call: asked
// only by steps that make system calls anyway.
bool ThreadHasOwnTable();

// The process id, asked of the kernel once per process (and again in a
// child made by fork(), whose fork handler clears it): every call on a
// handle compares it, so it is read inline.
extern std::atomic<pid_t> CachedPid;
pid_t AskPid();
inline pid_t ThisProcess()
{
    const pid_t pid = CachedPid.load(std::memory_order_relaxed);
    return pid != 0 ? pid : AskPid();
}

QByteArray DescriptorPath(int fd);
int FolderReachError(int fd);

// What SetSharedObjectsProbe set, called at each step that it names.
extern void (*Probe)(TSharedStep);
inline void AtStep(TSharedStep step)
{
    if (Probe)
        Probe(step);
}

// The mend of the rights that a umask took from an owner.
bool GiveOwnerRights(int fd, mode_t current, mode_t mode);
int OpenMending(int dir, const char* name, int flags, mode_t mode);

// SharedObjectsClaim.cpp: the claim of a file's pages (stands on the base).

// Claims every page of the file of fd from byte from (its end, which no
// other process can reach beyond) up to byte to, growing it to that size:
// 0, or the system's error (ENOSPC, EDQUOT, EFBIG ...); the file may have
// grown part of the way.
int ClaimPages(int fd, int64_t from, int64_t to);

// SharedObjectsOrphans.cpp: objects whose last reference went in a thread
// with a table of descriptors of its own (stands on the base).

// A new local object, deleted with its last reference; where that goes in
// a thread with a table of descriptors of its own, it is left until the
// next CloseOrphans in a thread of the process's table.
std::shared_ptr<LocalObject> NewObject();
void CloseOrphans();
// Guards what CloseOrphans finds; held around a fork().
std::mutex& OrphansLock();

// SharedObjectsBell.cpp: how a listener's descriptor is rung (stands on the
// base).
size_t BellRoom(int fd, const QByteArray& path);
QByteArray NamedBellKey(const QByteArray& eventKey);
QByteArray DigestBellKey(const QByteArray& eventKey);
QByteArray BellKey(size_t folderRoom, const QByteArray& eventKey);
bool IsEventKey(const QByteArray& key);
void RingBell(LocalObject& object);
int Listen(LocalObject* object, int& error, QString& message);
void StopListening(LocalObject& object);
int DrainBell(int descriptor);

// SharedObjectsEvents.cpp: the words of an event and every change of them,
// and the waiters' slots of the user's block (stands on the base and the
// bells). The rule those changes keep is stated beside the words, in
// SharedObjectsLayout.h.

inline sharedobjects_layout::EventWords* Words(const LocalObject& event)
{
    return reinterpret_cast<sharedobjects_layout::EventWords*>(event.Data());
}

// What a new event's data and a new block of waiters' slots hold.
void InitEvent(char* data, bool manualReset);
bool InitWaiterSlots(char* data);

// Set, reset and pulse: false where the event has no block of slots.
bool SetEvent(LocalObject& object);
bool ResetEvent(LocalObject& object);
bool PulseEvent(LocalObject& object);

// One event of a wait: the object (held, so that a close on another thread
// does not unmap it meanwhile), and the entry of its table that registers
// the wait, with what that entry holds.
struct WaitEntry {
    std::shared_ptr<LocalObject> Object;
    int Entry = -1;
    uint64_t Value = 0;
};

// The events of one wait, and the slot it waits in once it registers. A
// few events fit without allocating.
struct WaitList {
    static constexpr size_t kInline = 8;
    std::array<WaitEntry, kInline> Inline;
    std::vector<WaitEntry> More;
    size_t Count = 0;
    sharedobjects_layout::WaiterSlots* Slots = nullptr;
    int Slot = -1;
    uint32_t Ticket = 0;

    void Add(std::shared_ptr<LocalObject> object)
    {
        WaitEntry& entry = Count < kInline ? Inline[Count] : More.emplace_back();
        if (Count == 0)
            Slots = object->Slots();
        else if (object->Slots() != Slots)
            Slots = nullptr; // events of two blocks: no wait can register on both
        entry.Object = std::move(object);
        ++Count;
    }
    WaitEntry& operator[](size_t i) { return i < kInline ? Inline[i] : More[i - kInline]; }
    const WaitEntry& operator[](size_t i) const { return i < kInline ? Inline[i] : More[i - kInline]; }
};

// How the registration of a wait ended.
enum class TJoin {
    Joined, // registered on every event, waiting for a grant
    Taken,  // it took an event, or was granted one, meanwhile (index set)
    Full,   // no slot or no entry was free: the wait cannot register
};

// Takes the first event of the list that is set, as a wait that has not
// registered does; true with index set where it took one.
bool TakeSetEvent(WaitList& list, int& index);
// Takes a slot and registers the wait on each of its events.
TJoin JoinWait(WaitList& list, int& index);
// Marks the joined wait asleep, so that a grant wakes it: false where it
// was granted meanwhile. Then the wait sleeps on SleepWord while it holds
// SleepingWord.
bool Sleeps(WaitList& list);
uint32_t* SleepWord(const WaitList& list);
uint32_t SleepingWord();
// Whether the joined wait was granted an event (index set); where a
// manual-reset event changed its generation since the wait registered (its
// setter ended or stopped before it granted), the wait takes it.
bool Granted(WaitList& list, int& index);
// Ends the joined wait: true with index set where it was granted an event
// (also while it left); the slot and the entries go.
bool LeaveWait(WaitList& list, int& index);

// SharedObjectsWait.cpp: how a waiter sleeps and wakes (stands on the
// events).
TWaitResult WaitEvents(WaitList& list, uint32_t timeoutMs, int* index);
TWaitResult WaitMutex(LocalObject& object, uint32_t timeoutMs);

// Lets go of one take of the mutex by this thread. The take is uncounted
// while the thread still holds the mutex: uncounted after, it could change
// a count that a next owner set already (one that found the mutex
// abandoned). Where the mutex refuses the thread (not its owner), the count
// is given back.
inline bool ReleaseMutex(LocalObject& object)
{
    --object.Holds;
    if (pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(object.Data())) == 0)
        return true;
    ++object.Holds;
    return false;
}

// SharedObjectsFolder.cpp: where the user's objects are kept (stands on the
// base and the bells).
ObjectFolder& UserFolder(Registry& reg);

// SharedObjectsLifetime.cpp: how an object is made, used and removed (stands
// on the base and the bells).

QByteArray ObjectKey(Kind kind, const QString& name);
std::shared_ptr<LocalObject> MakeUnnamed(Kind kind, int64_t dataSize, bool manualReset, int& error);
std::shared_ptr<LocalObject> OpenShared(Kind kind, int folder, const QByteArray& folderPath,
                                        const QByteArray& key, int64_t dataSize, bool mayCreate,
                                        bool manualReset, int& error, QString& message);
// Grows the named memory block of object to size bytes (above 0, at most
// kLargestData); viewsLock guards its views and its size. False with error
// and message set where it is not grown.
bool GrowBlock(LocalObject& object, int64_t size, std::mutex& viewsLock, int& error, QString& message);
void SweepLeftovers(int folder);

// SharedObjectsRegistry.cpp: the handles and views of this process (stands
// on the base, the bells, the folder and the lifetime).

// The registry of the process, made once. Its lock is held around a fork(),
// so that a child made while another thread is inside the unit finds it
// free (and every look-up the unit makes once in a process made).
Registry* MakeRegistry();
// Never destroyed: objects that close their handles from static destructors
// (the report writer's data system) still find it at exit.
inline Registry& Reg()
{
    static Registry* const registry = MakeRegistry();
    return *registry;
}

TSharedHandle Open(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset, int& error,
                   QString& message);
// The object of a handle of this process of that kind, else null; under
// the registry lock. A child made by fork() finds none of its parent's.
inline const std::shared_ptr<LocalObject>* Lookup(Registry& reg, TSharedHandle handle, Kind kind)
{
    auto it = reg.Handles.find(handle);
    if (it == reg.Handles.end() || it->second->Pid != ThisProcess() || it->second->ObjKind != kind)
        return nullptr;
    return &it->second;
}
// The same, held: every call on a handle passes here.
inline std::shared_ptr<LocalObject> Find(TSharedHandle handle, Kind kind)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    const auto* found = Lookup(reg, handle, kind);
    return found ? *found : nullptr;
}
QByteArray FolderInUse();
// Grows the memory block of a handle of this process, refusing what no
// block can grow to and what is no named block of this process. False with
// error and message set where it is not grown.
bool GrowMemory(TSharedHandle memory, int64_t size, int& error, QString& message);
// The size of the data of a memory block of this process, read under the
// lock its grow changes it under; -1 for a bad handle.
int64_t DataSize(TSharedHandle memory);
void* AddView(const std::shared_ptr<LocalObject>& object);
bool DropView(void* view);
bool DropHandle(TSharedHandle handle);

} // namespace sharedobjects_detail
