#include "platform/os/SharedObjects.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Layout version of the shared objects; an object of another layout is
// refused rather than misread.
constexpr uint32_t kMagic = 0x31565354; // "TSV1"

enum class Kind : char { Memory = 'M', Mutex = 'X', Event = 'E', Hub = 'H' };

// The head of every shared object. Magic is stored last by the creator, so
// an object whose creator died half way is recognised and made again.
//
// Which processes use an object is told by the kernel, not by a count that a
// crashed process would leave behind: every process that has the object open
// holds a shared record lock (fcntl) on its first byte, which the kernel drops
// when the process ends. A process that closes it and can turn its lock into
// an exclusive one is the last user and removes the object. Opening and
// closing run under the file's flock, so a close never removes an object that
// an opener has just found; an opener that finds Dead set retries.
struct alignas(64) SharedHead {
    uint32_t Magic;
    uint32_t Kind;
    uint32_t Dead; // removed from the name space
    uint32_t Reserved;
    int64_t DataSize;
};
static_assert(sizeof(SharedHead) == 64);

// State of an event; guarded by the hub's mutex (one per user), so that a
// wait on several events sees all of them at once.
struct EventState {
    uint32_t ManualReset;
    uint32_t Signaled;
    uint32_t Waiters;    // threads waiting on it now
    uint32_t Generation; // counts pulses; a waiter may take a pulse token
    uint32_t Tokens;     // of a later generation than its own
};

// The per-user hub: the lock and the wake-up of every event.
struct HubState {
    pthread_mutex_t Mutex;
    pthread_cond_t Changed;
};

constexpr int64_t kDataOffset = sizeof(SharedHead);
// Every wait wakes at least this often and checks its condition again, so a
// wake-up lost to a process that died inside the condition variable delays a
// waiter by no more than this.
constexpr int64_t kWaitSliceNs = 50'000'000;

int64_t DataBytes(Kind kind, int64_t memorySize)
{
    switch (kind) {
    case Kind::Memory:
        return memorySize;
    case Kind::Mutex:
        return sizeof(pthread_mutex_t);
    case Kind::Event:
        return sizeof(EventState);
    case Kind::Hub:
        return sizeof(HubState);
    }
    return 0;
}

// One object opened by this process. All handles and views of a name in one
// process share it; it closes its share of the shared object when the last
// reference goes (waits hold a reference, so a close on another thread never
// unmaps memory that a waiter uses).
struct LocalObject {
    Kind ObjKind = Kind::Memory;
    QByteArray Key; // shared-memory name; empty for an unnamed object
    char* Base = nullptr;
    size_t MapSize = 0;
    int Fd = -1; // kept open: it carries this process's record lock
    pid_t Pid = 0;
    int Handles = 0; // guarded by the registry lock
    int Views = 0;
    std::atomic<int> Holds{0}; // mutex acquisitions by this process

    SharedHead* Head() const { return reinterpret_cast<SharedHead*>(Base); }
    char* Data() const { return Base + kDataOffset; }
    ~LocalObject();
};

struct Registry {
    std::mutex Lock;
    TSharedHandle Next = 1;
    std::map<TSharedHandle, std::shared_ptr<LocalObject>> Handles;
    std::map<QByteArray, std::shared_ptr<LocalObject>> Named;
    std::map<void*, std::shared_ptr<LocalObject>> Views;
    HubState* Hub = nullptr;
};

// Never destroyed: objects that close their handles from static destructors
// (the report writer's data system) still find it at exit.
Registry& Reg()
{
    static Registry* registry = new Registry;
    return *registry;
}

QByteArray ObjectKey(Kind kind, const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    QByteArray encoded;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' ||
            u == '.' || u == '-')
            encoded += c;
        else
            encoded += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
    }
    QByteArray key = "/tessvar-" + QByteArray::number(uint(getuid())) + '-' + char(kind) + '-';
    // NAME_MAX bounds a shared-memory name; long names go by their digest.
    if (key.size() + encoded.size() > 240)
        encoded = '#' + QCryptographicHash::hash(utf8, QCryptographicHash::Sha1).toHex();
    return key + encoded;
}

int LockRobust(pthread_mutex_t* mutex)
{
    int r = pthread_mutex_lock(mutex);
    if (r == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        r = 0;
    }
    return r;
}

bool InitMutex(pthread_mutex_t* mutex, bool recursive)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    if (recursive)
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int r = pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    return r == 0;
}

bool InitObjectData(Kind kind, char* data, bool manualReset)
{
    switch (kind) {
    case Kind::Memory:
        return true; // a new object reads as zeros
    case Kind::Mutex:
        return InitMutex(new (data) pthread_mutex_t, true);
    case Kind::Event: {
        auto* state = new (data) EventState{};
        state->ManualReset = manualReset ? 1 : 0;
        return true;
    }
    case Kind::Hub: {
        auto* hub = new (data) HubState;
        if (!InitMutex(&hub->Mutex, false))
            return false;
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        const int r = pthread_cond_init(&hub->Changed, &attr);
        pthread_condattr_destroy(&attr);
        return r == 0;
    }
    }
    return false;
}

void StoreMagic(SharedHead* head)
{
    __atomic_store_n(&head->Magic, kMagic, __ATOMIC_RELEASE);
}

uint32_t LoadMagic(const SharedHead* head)
{
    return __atomic_load_n(&head->Magic, __ATOMIC_ACQUIRE);
}

class FileLock {
public:
    explicit FileLock(int fd) : FFd(fd)
    {
        while (flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() { flock(FFd, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int FFd;
};

bool RecordLock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return fcntl(fd, F_SETLK, &lock) == 0;
}

LocalObject::~LocalObject()
{
    if (Pid != getpid() || !Base)
        return; // inherited through fork(): the parent's to close
    if (ObjKind == Kind::Mutex && Holds.load() > 0)
        return; // still held: the mutex must stay mapped until its owner ends
    if (Fd >= 0) {
        FileLock lock(Fd);
        if (RecordLock(Fd, F_WRLCK)) {
            Head()->Dead = 1;
            shm_unlink(Key.constData());
        }
    }
    munmap(Base, MapSize);
    if (Fd >= 0)
        close(Fd); // drops the record lock
}

std::shared_ptr<LocalObject> MakeUnnamed(Kind kind, int64_t dataSize, bool manualReset, int& error)
{
    const size_t total = size_t(kDataOffset + DataBytes(kind, dataSize));
    void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        error = errno;
        return nullptr;
    }
    auto object = std::make_shared<LocalObject>();
    object->ObjKind = kind;
    object->Base = static_cast<char*>(base);
    object->MapSize = total;
    object->Pid = getpid();
    SharedHead* head = object->Head();
    head->Kind = uint32_t(kind);
    head->DataSize = dataSize;
    if (!InitObjectData(kind, object->Data(), manualReset)) {
        error = EINVAL;
        return nullptr;
    }
    StoreMagic(head);
    return object;
}

// Maps the object behind fd, making it when it is new (or was left half made)
// and mayCreate, and takes this process's record lock. Runs under the file's
// flock. Returns false with error set, or with retry set when the object was
// removed meanwhile.
bool AttachShared(LocalObject& object, int fd, Kind kind, int64_t wanted, bool mayCreate, bool manualReset,
                  int& error, bool& retry)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = errno;
        return false;
    }
    bool create = st.st_size == 0;
    const int64_t mapSize = create ? wanted : int64_t(st.st_size);
    if (create && !mayCreate) {
        error = ENOENT;
        return false;
    }
    if (mapSize < kDataOffset || (create && ftruncate(fd, off_t(mapSize)) != 0)) {
        error = create ? errno : EINVAL;
        return false;
    }
    void* base = mmap(nullptr, size_t(mapSize), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        error = errno;
        return false;
    }
    object.Base = static_cast<char*>(base);
    object.MapSize = size_t(mapSize);
    SharedHead* head = object.Head();
    // A creator that died before it finished leaves no magic: the object is
    // made again, in place.
    if (!create && LoadMagic(head) != kMagic) {
        if (!mayCreate || mapSize != wanted) {
            error = mayCreate ? EINVAL : ENOENT;
            return false;
        }
        create = true;
        std::memset(base, 0, size_t(mapSize));
    }
    if (create) {
        head->Kind = uint32_t(kind);
        head->Dead = 0;
        head->DataSize = mapSize - kDataOffset;
        if (!InitObjectData(kind, object.Data(), manualReset)) {
            error = EINVAL;
            return false;
        }
        StoreMagic(head);
    } else if (head->Dead) {
        retry = true;
        return false;
    } else if (head->Kind != uint32_t(kind) || head->DataSize != mapSize - kDataOffset ||
               (kind != Kind::Memory && mapSize != wanted)) {
        error = EINVAL; // another layout, or not what its name says
        return false;
    }
    if (!RecordLock(fd, F_RDLCK)) {
        error = errno;
        return false;
    }
    return true;
}

// Opens the shared object of that key, or creates it when mayCreate. The
// registry lock is held by the caller.
std::shared_ptr<LocalObject> OpenShared(Kind kind, const QByteArray& key, int64_t dataSize, bool mayCreate,
                                        bool manualReset, int& error)
{
    const int64_t wanted = kDataOffset + DataBytes(kind, dataSize);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = shm_open(key.constData(), O_RDWR | (mayCreate ? O_CREAT : 0), 0600);
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        auto object = std::make_shared<LocalObject>();
        object->ObjKind = kind;
        bool retry = false;
        bool attached;
        {
            FileLock lock(fd);
            attached = AttachShared(*object, fd, kind, wanted, mayCreate, manualReset, error, retry);
        }
        if (!attached) {
            if (object->Base)
                munmap(object->Base, object->MapSize);
            object->Base = nullptr;
            close(fd);
            if (retry)
                continue;
            return nullptr;
        }
        object->Fd = fd;
        object->Key = key;
        object->Pid = getpid();
        return object;
    }
    error = EAGAIN;
    return nullptr;
}

HubState* Hub(Registry& reg)
{
    if (!reg.Hub) {
        int error = 0;
        auto hub =
            OpenShared(Kind::Hub, ObjectKey(Kind::Hub, QStringLiteral("events")), 0, true, false, error);
        if (!hub)
            return nullptr;
        // The hub stays mapped for the life of the process (and of its forks).
        reg.Hub = reinterpret_cast<HubState*>(hub->Data());
        hub->Pid = 0;
    }
    return reg.Hub;
}

TSharedHandle AddHandle(Registry& reg, const std::shared_ptr<LocalObject>& object)
{
    ++object->Handles;
    const TSharedHandle handle = reg.Next++;
    reg.Handles[handle] = object;
    if (!object->Key.isEmpty())
        reg.Named[object->Key] = object;
    return handle;
}

TSharedHandle Open(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset, int& error)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    if (kind == Kind::Event && !Hub(reg)) {
        error = EINVAL;
        return 0;
    }
    std::shared_ptr<LocalObject> object;
    if (name.isEmpty()) {
        if (kind == Kind::Memory && size <= 0) {
            error = EINVAL;
            return 0;
        }
        object = MakeUnnamed(kind, size, manualReset, error);
    } else {
        const QByteArray key = ObjectKey(kind, name);
        auto it = reg.Named.find(key);
        if (it != reg.Named.end() && it->second->Pid == getpid())
            object = it->second;
        else
            object = OpenShared(kind, key, size, mayCreate, manualReset, error);
    }
    return object ? AddHandle(reg, object) : 0;
}

std::shared_ptr<LocalObject> Find(TSharedHandle handle, Kind kind)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Handles.find(handle);
    if (it == reg.Handles.end() || it->second->Pid != getpid() || it->second->ObjKind != kind)
        return nullptr;
    return it->second;
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

timespec MonotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

int64_t ToNs(const timespec& t)
{
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

timespec FromNs(int64_t ns)
{
    timespec t{};
    t.tv_sec = time_t(ns / 1'000'000'000);
    t.tv_nsec = long(ns % 1'000'000'000);
    return t;
}

EventState* State(const LocalObject& object)
{
    return reinterpret_cast<EventState*>(object.Data());
}

bool TryTake(EventState* state, uint32_t generation)
{
    if (state->Signaled) {
        if (!state->ManualReset)
            state->Signaled = 0;
        return true;
    }
    if (state->Tokens > 0 && state->Generation != generation) {
        --state->Tokens;
        return true;
    }
    return false;
}

TWaitResult WaitEvents(const std::vector<std::shared_ptr<LocalObject>>& objects, uint32_t timeoutMs,
                       int* index)
{
    HubState* hub = Reg().Hub;
    if (!hub || LockRobust(&hub->Mutex) != 0)
        return TWaitResult::wrFailed;
    std::vector<uint32_t> generations;
    for (const auto& object : objects) {
        EventState* state = State(*object);
        generations.push_back(state->Generation);
        ++state->Waiters;
    }
    const int64_t deadline = ToNs(MonotonicNow()) + int64_t(timeoutMs) * 1'000'000;
    TWaitResult result = TWaitResult::wrTimeout;
    for (;;) {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (TryTake(State(*objects[i]), generations[i])) {
                result = TWaitResult::wrSignaled;
                if (index)
                    *index = int(i);
                break;
            }
        }
        if (result == TWaitResult::wrSignaled)
            break;
        const int64_t now = ToNs(MonotonicNow());
        if (timeoutMs != kWaitInfinite && now >= deadline)
            break;
        int64_t until = now + kWaitSliceNs;
        if (timeoutMs != kWaitInfinite)
            until = std::min(until, deadline);
        const timespec wake = FromNs(until);
        if (pthread_cond_timedwait(&hub->Changed, &hub->Mutex, &wake) == EOWNERDEAD)
            pthread_mutex_consistent(&hub->Mutex);
    }
    for (const auto& object : objects) {
        EventState* state = State(*object);
        if (state->Waiters > 0)
            --state->Waiters;
        state->Tokens = std::min(state->Tokens, state->Waiters);
    }
    pthread_mutex_unlock(&hub->Mutex);
    return result;
}

TWaitResult WaitMutex(LocalObject& object, uint32_t timeoutMs)
{
    auto* mutex = reinterpret_cast<pthread_mutex_t*>(object.Data());
    int r;
    if (timeoutMs == kWaitInfinite) {
        r = pthread_mutex_lock(mutex);
    } else if (timeoutMs == 0) {
        r = pthread_mutex_trylock(mutex);
    } else {
        const timespec deadline = FromNs(ToNs(MonotonicNow()) + int64_t(timeoutMs) * 1'000'000);
        r = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
    }
    switch (r) {
    case 0:
        ++object.Holds;
        return TWaitResult::wrSignaled;
    case EOWNERDEAD:
        pthread_mutex_consistent(mutex);
        ++object.Holds;
        return TWaitResult::wrAbandoned;
    case ETIMEDOUT:
    case EBUSY:
        return TWaitResult::wrTimeout;
    default:
        return TWaitResult::wrFailed;
    }
}

template <class Change> bool ChangeEvent(TSharedHandle event, Change change)
{
    auto object = Find(event, Kind::Event);
    HubState* hub = Reg().Hub;
    if (!object || !hub || LockRobust(&hub->Mutex) != 0)
        return false;
    change(State(*object));
    pthread_cond_broadcast(&hub->Changed);
    pthread_mutex_unlock(&hub->Mutex);
    return true;
}

} // namespace

TSharedHandle OpenNamedEvent(const QString& name, bool manualReset)
{
    int error = 0;
    return Open(Kind::Event, name, 0, true, manualReset, error);
}

TSharedHandle OpenNamedMutex(const QString& name)
{
    int error = 0;
    return Open(Kind::Mutex, name, 0, true, false, error);
}

TSharedHandle OpenNamedMemory(const QString& name, int64_t size)
{
    int error = 0;
    const TSharedHandle handle = Open(Kind::Memory, name, size, size > 0, false, error);
    if (!handle)
        throw EOSError(QStringLiteral("System Error.  Code: %1.\n%2").arg(error).arg(qt_error_string(error)),
                       error);
    return handle;
}

void* MapNamedMemory(TSharedHandle memory)
{
    auto object = Find(memory, Kind::Memory);
    if (!object)
        return nullptr;
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    ++object->Views;
    reg.Views[object->Data()] = object;
    return object->Data();
}

int64_t NamedMemorySize(TSharedHandle memory)
{
    auto object = Find(memory, Kind::Memory);
    if (!object)
        return 0;
    // Another process may have grown the block since this one mapped it:
    // only the bytes mapped here can be used here.
    return std::min<int64_t>(object->Head()->DataSize, int64_t(object->MapSize) - kDataOffset);
}

bool GrowNamedMemory(TSharedHandle memory, int64_t size)
{
    auto object = Find(memory, Kind::Memory);
    if (!object || object->Fd < 0 || size <= 0)
        return false;
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    if (object->Views > 0)
        return false;
    if (int64_t(object->MapSize) - kDataOffset >= size)
        return true;
    FileLock lock(object->Fd);
    const int64_t mapSize = kDataOffset + size;
    struct stat st {};
    if (fstat(object->Fd, &st) != 0)
        return false;
    if (int64_t(st.st_size) < mapSize && ftruncate(object->Fd, off_t(mapSize)) != 0)
        return false;
    const int64_t newMap = std::max<int64_t>(mapSize, int64_t(st.st_size));
    void* base = mmap(nullptr, size_t(newMap), PROT_READ | PROT_WRITE, MAP_SHARED, object->Fd, 0);
    if (base == MAP_FAILED)
        return false;
    munmap(object->Base, object->MapSize);
    object->Base = static_cast<char*>(base);
    object->MapSize = size_t(newMap);
    object->Head()->DataSize = newMap - kDataOffset;
    return true;
}

bool UnmapNamedMemory(void* view)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Views.find(view);
    if (it == reg.Views.end() || it->second->Pid != getpid())
        return false;
    auto object = it->second;
    if (--object->Views == 0)
        reg.Views.erase(it);
    DropIfUnused(reg, object);
    return true;
}

bool CloseNamedObject(TSharedHandle handle)
{
    std::shared_ptr<LocalObject> object; // released after the lock
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Handles.find(handle);
    if (it == reg.Handles.end() || it->second->Pid != getpid())
        return false;
    object = it->second;
    reg.Handles.erase(it);
    --object->Handles;
    DropIfUnused(reg, object);
    return true;
}

bool SetNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) { state->Signaled = 1; });
}

bool ResetNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) { state->Signaled = 0; });
}

bool PulseNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) {
        if (state->Waiters > 0) {
            ++state->Generation;
            state->Tokens = state->ManualReset ? state->Waiters : 1;
        }
        state->Signaled = 0;
    });
}

bool ReleaseNamedMutex(TSharedHandle mutex)
{
    auto object = Find(mutex, Kind::Mutex);
    if (!object)
        return false;
    if (pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(object->Data())) != 0)
        return false;
    --object->Holds;
    return true;
}

TWaitResult WaitNamedObject(TSharedHandle handle, uint32_t timeoutMs)
{
    if (auto mutex = Find(handle, Kind::Mutex))
        return WaitMutex(*mutex, timeoutMs);
    if (auto event = Find(handle, Kind::Event))
        return WaitEvents({event}, timeoutMs, nullptr);
    return TWaitResult::wrFailed;
}

TWaitResult WaitNamedEvents(const std::vector<TSharedHandle>& events, uint32_t timeoutMs, int* index)
{
    std::vector<std::shared_ptr<LocalObject>> objects;
    for (TSharedHandle handle : events) {
        auto object = Find(handle, Kind::Event);
        if (!object)
            return TWaitResult::wrFailed;
        objects.push_back(object);
    }
    if (objects.empty())
        return TWaitResult::wrFailed;
    return WaitEvents(objects, timeoutMs, index);
}
