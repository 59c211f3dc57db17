#pragma once
// What the files of the named shared objects share: the layout of an
// object's head and data, this process's record of what it opened (the
// local object, the registry of handles and views, the user's folder), and
// what each file offers the files above it, listed by the file that defines
// it, from the bottom up: the base, the table, the bookkeeping lock, the
// room, the claim, the orphans, the bells, the events, the waits, the
// mutex, the folder, the lifetime, the registry. A file calls only files
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
#include <string>
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

// The lock of the registry, which every call on a handle takes: a word
// that a free lock takes with one compare-and-swap and that is let go with
// one exchange; a thread sleeps (on a futex of this process) only where it
// meets another on it. 0 free, 1 held, 2 held with a thread that sleeps.
class RegistryLock {
public:
    void lock()
    {
        int free = 0;
        if (!__atomic_compare_exchange_n(&FState, &free, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
            WaitForIt();
    }
    void unlock()
    {
        if (__atomic_exchange_n(&FState, 0, __ATOMIC_RELEASE) == 2)
            WakeOne();
    }

private:
    void WaitForIt();
    void WakeOne();
    int FState = 0;
};

struct Registry {
    RegistryLock Lock;
    TSharedHandle Next = 1;
    std::map<TSharedHandle, std::shared_ptr<LocalObject>> Handles;
    std::map<QByteArray, std::shared_ptr<LocalObject>> Named;
    std::map<void*, std::shared_ptr<LocalObject>> Views;
    std::weak_ptr<LocalObject> Wake;
    ObjectFolder Folder;
};

// SharedObjectsBase.cpp: what every file stands on.

// A descriptor's path in /proc leads to the very file or folder it was
// opened on, whatever has been put at its name since: sockets are bound and
// reached by such a path (the kernel resolves an address again at every bind
// and connect), and a file the owner may not open is mended through one.
// /proc/self/fd is the table of the process's first thread (none once that
// thread has ended), which a thread with a table of its own
// (unshare(CLONE_FILES)) does not share: a number there may stand for
// another file. /proc/thread-self/fd is the calling thread's own, where the
// system has it (Linux 3.17 on).
constexpr char kThreadDescriptors[] = "/proc/thread-self/fd/";
constexpr char kProcessDescriptors[] = "/proc/self/fd/";

// The texts of the errors.
QString SystemErrorText(int error, const QString& detail);
QString PathErrorText(int error, const QByteArray& path);
QString TooLargeText(const QByteArray& path, int64_t size);
QString OwnTableText(const QString& what);

// The process id, asked of the kernel once per process (and again in a
// child made by fork(), where the registry's fork handler forgets it: every
// road of the unit makes the registry, and so registers that handler,
// before it asks the id): every call on a handle compares it, so it is read
// inline.
extern std::atomic<pid_t> CachedPid;
pid_t AskPid();
inline pid_t ThisProcess()
{
    const pid_t pid = CachedPid.load(std::memory_order_relaxed);
    return pid != 0 ? pid : AskPid();
}
// Forgets the process id, in a child made by fork().
void ForgetPid();

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

// SharedObjectsTable.cpp: the process's table of descriptors, which a
// thread of the unit's own keeps (stands on the base).

// Whether the calling thread may make and use the descriptors of the named
// objects, which all live in the process's table: 0 where it shares that
// table (or where the system cannot tell tables apart: no kcmp, or refused
// to this process); EINVAL where it has a table of its own
// (unshare(CLONE_FILES)), where a number of theirs may stand for another
// file, or for none; the system's error where the keeper of the process's
// table cannot be made (EAGAIN). The process's table is its first thread's
// as the unit first asks (the asking thread's, where the first thread has
// ended), held from then on by a thread of the unit's own, so that no
// thread that ends or takes a table of its own later moves it. System
// calls: asked only by steps that make system calls anyway.
int OwnTableError();
// Whether the calling thread shared the process's table when it last asked
// (OwnTableError), while no socket that rings a listener has been made
// since: then a socket that rings a listener, at its number in the calling
// thread's table, is the process's. No system call: the ring of a set
// asks this.
bool SharedWhenLastAsked();
// Counts a socket that rings a listener, made in the process's table; under
// the lock of the event that keeps it, which a ring that reads the count
// holds too.
void RingingSocketMade();
// The message of the refusal that OwnTableError answered, naming what (an
// object's file, or the folder).
QString OwnTableRefusal(int refusal, const QString& what);
// OwnTableError, with error and message set where the calling thread is
// refused.
bool RefusedToOwnTable(const QString& what, int& error, QString& message);
// The path in /proc of the descriptor fd of the process's table, which
// reaches it from a thread with a table of its own too.
QByteArray ProcessDescriptorPath(int fd);
// Whether the calling thread, about to fork(), has a table of its own,
// asked without making the keeper: false where there is none yet (nothing
// of the unit's in any table) or the system cannot tell.
bool ForksFromOwnTable();
// Forgets the keeper and the calling thread's id, in a child made by
// fork(): it has no keeper, and its thread has another id.
void ForgetTable();

// SharedObjectsLock.cpp: the bookkeeping lock of an object's file, and the
// one bound of a call on those it takes (stands on no other file).

// How long one call waits in all for the bookkeeping locks it takes, which
// a stopped process may hold, in milliseconds.
constexpr uint32_t kBookkeepingMs = 5000;

using Deadline = std::chrono::steady_clock::time_point;

// The deadline of the call that the calling thread is in, for every
// bookkeeping lock it takes in whatever step: an open, a grow or a listen,
// the end of a listening, and each last close that the call runs (a close
// of its own, an orphan's, or one that falls to it as it lets go of an
// object whose handle another thread closed meanwhile). kOutsideACall
// where the thread is in none, kNotFixed until the call first needs it,
// then kBookkeepingMs past that moment, or past the moment the call began
// a wait of its own (on an event or a mutex), whichever came first.
// (Zero, where a thread begins, and one nanosecond of the clock: times past
// that no deadline can be.)
constexpr Deadline kOutsideACall{};
constexpr Deadline kNotFixed{std::chrono::nanoseconds(1)};
inline thread_local constinit Deadline CurrentCallDeadline = kOutsideACall;

// Makes the steps from here to the end of its scope one call for the bound
// of their locks; inside a call already, it changes nothing. Held by the
// public functions that take the locks themselves, that may close several
// objects (an orphan's and the handle's) or that wait, and by the close of
// an object, which runs in a call that holds none where a set, a reset, a
// pulse, a release, a map or an unmap lets go of the last reference.
class CallBound {
public:
    CallBound() : FOpens(CurrentCallDeadline == kOutsideACall)
    {
        if (FOpens)
            CurrentCallDeadline = kNotFixed;
    }
    ~CallBound()
    {
        if (FOpens)
            CurrentCallDeadline = kOutsideACall;
    }
    CallBound(const CallBound&) = delete;
    CallBound& operator=(const CallBound&) = delete;

private:
    bool FOpens;
};

// The deadline of the calling thread's call, fixed now where it was not yet;
// outside a call, kBookkeepingMs from now.
Deadline CallDeadline();
// Fixes the deadline of the calling thread's call from now where it was not
// yet: a wait that is about to begin, so that a last close that the end of
// the call runs counts the wait.
void FixCallDeadline();

// The bookkeeping lock of an object's file, waited for until a deadline: a
// process stopped while it holds it delays the others by that much at most.
// It belongs to the open file description, so it keeps out other processes
// and other descriptors of the file, not the threads that share this one.
class FileLock {
public:
    FileLock(int fd, Deadline deadline);
    ~FileLock();
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
// until the deadline. The thread waits on the mutex before the process
// waits on the file, and holds no other lock meanwhile. The mutex is tried
// as the file lock is, between pauses: held by a thread that waits for a
// stopped process's file lock, it is held that long.
class BookkeepingLock {
public:
    BookkeepingLock(LocalObject& object, Deadline deadline);
    bool Locked() const { return FFile && FFile->Locked(); }

private:
    std::unique_lock<std::mutex> FThreads;
    std::optional<FileLock> FFile; // let go before the mutex
};

// SharedObjectsRoom.cpp: the room that a claim of pages may take (stands
// on the base).

// The bytes that a claim by writing zeros may still take on the file
// system of fd, into room: what it has free, or, where it tells no size,
// the memory that the system has available. 0, or the system's error.
int RoomForZeros(int fd, int64_t& room);

// The memory cgroups that limit what this process may take: each level of
// its group, up to the root of the hierarchy that it can see, whose limit
// is set (memory.max of cgroup v2, memory.limit_in_bytes of cgroup v1).
struct MemoryLimits {
    struct Level {
        std::string Folder;
        bool Unified = false; // cgroup v2
        int64_t Limit = 0;    // in bytes
    };
    std::vector<Level> Levels;
};
// Where the file system of fd keeps its pages in memory (tmpfs, ramfs, or
// one that tells no size), the memory cgroups whose room the pages that a
// claim takes there come from, into limits; none elsewhere, or where the
// system tells of none. 0, or the system's error: of fstatfs, or a failure
// of the process itself (EMFILE, ENFILE, ENOMEM) to read their files.
int MemoryLimitsOn(int fd, MemoryLimits& limits);
// The bytes that a claim may take under limits, into room (the largest
// int64_t under none): at each level its limit less what it uses, plus the
// page cache of files that it can reclaim; the least of them. 0, or a
// failure of the process itself to read their files.
int RoomUnderLimits(const MemoryLimits& limits, int64_t& room);

// SharedObjectsClaim.cpp: the claim of a file's pages (stands on the base,
// the lock and the room).

// Claims every page of the file of fd from byte from (its end, which no
// other process can reach beyond) up to byte to, growing it to that size:
// 0, or the system's error (ENOSPC, EDQUOT, EFBIG, ETIMEDOUT ...); the file
// may have grown part of the way. folder is the descriptor of the file's
// folder, in which the claims whose room is counted take turns.
int ClaimPages(int folder, int fd, int64_t from, int64_t to);

// SharedObjectsOrphans.cpp: objects whose last reference went in a thread
// with a table of descriptors of its own (stands on the base and the
// table).

// A new local object, deleted with its last reference; where that goes in
// a thread with a table of descriptors of its own, it is left until the
// next CloseOrphans in a thread of the process's table.
std::shared_ptr<LocalObject> NewObject();
void CloseOrphans();
// Guards what CloseOrphans finds; held around a fork().
std::mutex& OrphansLock();

// SharedObjectsBell.cpp: how a listener's descriptor is rung (stands on the
// base, the table and the lock).
size_t BellRoom(int fd, const QByteArray& path);
QByteArray NamedBellKey(const QByteArray& eventKey);
QByteArray DigestBellKey(const QByteArray& eventKey);
QByteArray BellKey(size_t folderRoom, const QByteArray& eventKey);
bool IsEventKey(const QByteArray& key);
void RingBell(LocalObject& object);
int Listen(LocalObject* object, int& error, QString& message);
void StopListening(LocalObject& object);
// Ends this process's listening to the event, where it listens, for
// UnlistenNamedEvent: false, with error and message set, where the calling
// thread has a table of descriptors of its own.
bool Unlisten(LocalObject& object, int& error, QString& message);
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
// lock and the events).
TWaitResult WaitEvents(WaitList& list, uint32_t timeoutMs, int* index);

// SharedObjectsMutex.cpp: how a mutex is taken and let go, and whether a
// thread of this process owns it (stands on the base and the lock). The
// mutex counts its owner's nested takes itself.
TWaitResult WaitMutex(LocalObject& object, uint32_t timeoutMs);

// Lets go of one take of the mutex by this thread; false, changing nothing,
// where the thread does not own it.
inline bool ReleaseMutex(LocalObject& object)
{
    return pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(object.Data())) == 0;
}

// Whether a live thread of this process owns the mutex, which must then
// stay mapped: the C library keeps the robust mutexes that a thread owns in
// a list that runs through the mutexes themselves, and follows it at that
// thread's every take or release of a robust mutex, as the kernel does as
// the thread ends. Asked at the last close, where no thread of this process
// can take or let go of the mutex meanwhile (each would hold a reference).
bool OwnedHere(const LocalObject& object);

// SharedObjectsFolder.cpp: where the user's objects are kept (stands on the
// base and the bells).
ObjectFolder& UserFolder(Registry& reg);
// Whether the calling user's folder is chosen already, so that UserFolder
// opens nothing. Under the registry lock.
bool FolderChosen(const Registry& reg);

// SharedObjectsLifetime.cpp: how an object is made, used and removed (stands
// on the base, the lock, the bells and the mutex).

QByteArray ObjectKey(Kind kind, const QString& name);
std::shared_ptr<LocalObject> MakeUnnamed(Kind kind, int64_t dataSize, bool manualReset, int& error);
std::shared_ptr<LocalObject> OpenShared(Kind kind, int folder, const QByteArray& folderPath,
                                        const QByteArray& key, int64_t dataSize, bool mayCreate,
                                        bool manualReset, int& error, QString& message);
// Grows the named memory block of object to size bytes (above 0, at most
// kLargestData); viewsLock guards its views and its size. False with error
// and message set where it is not grown.
bool GrowBlock(LocalObject& object, int64_t size, RegistryLock& viewsLock, int& error, QString& message);
void SweepLeftovers(int folder);

// SharedObjectsRegistry.cpp: the handles and views of this process (stands
// on the base, the bells, the folder and the lifetime).

// The registry of the process, made once, with the unit's fork handlers.
// Its lock is held around a fork(), so that a child made while another
// thread is inside the unit finds it free (and every look-up the unit makes
// once in a process made); the child forgets its parent's process id and
// the keeper of its parent's table, and a child of a thread with a table
// of its own its parent's folder.
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
// The path of the calling user's folder; empty where none can be had, and
// where a thread with a table of its own would choose it, which is refused
// (error and message set).
QByteArray FolderInUse(int& error, QString& message);
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
