// How an object lives: its file's name, making it (every page claimed), the
// usage and bookkeeping locks, opening it under them, growing a memory
// block, its removal by the last user, and the sweep of what ended
// processes left.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

int64_t DataBytes(Kind kind, int64_t memorySize)
{
    switch (kind) {
    case Kind::Memory:
        return memorySize;
    case Kind::Mutex:
        return sizeof(pthread_mutex_t);
    case Kind::Event:
        return sizeof(sharedobjects_layout::EventWords);
    case Kind::Wake:
        return sizeof(sharedobjects_layout::WaiterSlots);
    }
    return 0;
}

} // namespace

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
    QByteArray key = kNamePrefix + QByteArray::number(uint(geteuid())) + '-' + char(kind) + '-';
    // NAME_MAX bounds a file name; long names go by their digest.
    if (key.size() + encoded.size() > 240)
        encoded = '#' + QCryptographicHash::hash(utf8, QCryptographicHash::Sha1).toHex();
    return key + encoded;
}

namespace {

bool InitMutex(pthread_mutex_t* mutex)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int r = pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    return r == 0;
}

bool InitObjectData(Kind kind, char* data, bool manualReset)
{
    switch (kind) {
    case Kind::Memory:
        return true; // a new block reads as zeros
    case Kind::Mutex:
        return InitMutex(new (data) pthread_mutex_t);
    case Kind::Event:
        InitEvent(data, manualReset);
        return true;
    case Kind::Wake:
        return InitWaiterSlots(data);
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

// The usage lock. Open-file-description locks belong to the descriptor, not
// to the process, so that closing one descriptor of a block never drops the
// lock that another descriptor of the same process holds on it.
bool UsageLock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether the name key in the folder still stands for the object of fd: 1
// yes; 0 no (nothing is there, or another file); -1 where the system could
// not tell, with errno set. Asked without a descriptor of its own, so that
// a process whose descriptor table is full tells as well.
int Named(int folder, int fd, const QByteArray& key)
{
    struct stat mine {}, now {};
    if (fstat(fd, &mine) != 0)
        return -1;
    if (fstatat(folder, key.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : -1;
    return mine.st_dev == now.st_dev && mine.st_ino == now.st_ino ? 1 : 0;
}

// Takes the names of the object of fd away where its name still stands for
// it; the caller holds its bookkeeping lock and knows that no process uses
// it. The sockets of an event's listeners go first (nobody uses the event,
// so nobody listens to it: a socket there is one that a killed listener
// left), its own name last: while that name stands for this object, no newer
// object of the name exists, so no listener of one can have bound a socket
// at those names. Once the name is gone, a newer event may be made and
// listened to at once, and its listener's socket is not this object's.
void TakeNamesAway(int folder, int fd, const QByteArray& key)
{
    if (Named(folder, fd, key) != 1)
        return;
    if (IsEventKey(key)) {
        unlinkat(folder, NamedBellKey(key).constData(), 0);
        unlinkat(folder, DigestBellKey(key).constData(), 0);
    }
    unlinkat(folder, key.constData(), 0);
}

// Marks the object of fd removed and takes its names away; the caller holds
// its bookkeeping lock and knows that no process uses it. head is the
// object's head as this process maps it, or null where it maps none (the
// sweep): the head is then mapped for the mark. The mark is stored through
// a mapping, never written: a write at its offset (byte 8) under a file
// size limit (RLIMIT_FSIZE) of 8 bytes or less brings SIGXFSZ, which ends
// the process unless it ignores or catches the signal, whereas a store into
// a mapping is held to no such limit.
void RemoveObject(int folder, int fd, const QByteArray& key, SharedHead* head)
{
    if (head) {
        head->Dead = 1;
    } else if (struct stat st{}; fstat(fd, &st) == 0 && st.st_size >= kDataOffset) {
        void* mapped = mmap(nullptr, size_t(kDataOffset), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped != MAP_FAILED) {
            static_cast<SharedHead*>(mapped)->Dead = 1;
            munmap(mapped, size_t(kDataOffset));
        }
    }
    AtStep(TSharedStep::Removing);
    TakeNamesAway(folder, fd, key);
}

} // namespace

LocalObject::~LocalObject()
{
    if (Pid != ThisProcess() || !Base)
        return; // inherited through fork(): the parent's to close
    // A mutex that a live thread of this process owns stays mapped, for the
    // life of the process (no handle is left to release it with); one whose
    // owning thread ended, taken since or not, closes as any object.
    if (ObjKind == Kind::Mutex && OwnedHere(*this))
        return;
    // The end of the listening, the close and the close of the wake-up block
    // that may follow wait for their locks within one bound: that of the
    // call that let go of the object, or this close's own.
    const CallBound bound;
    StopListening(*this);
    if (BellFd >= 0)
        close(BellFd);
    if (Fd >= 0) {
        // Under the bookkeeping lock a closer either is the last user and
        // removes the object, or lets go of its use before the next closer
        // looks: of closers that race, the last one always removes it. A
        // closer that cannot get the lock in time leaves the object to the
        // next process that opens its name and finds nobody holding it.
        BookkeepingLock lock(*this, CallDeadline());
        if (lock.Locked()) {
            if (UsageLock(Fd, F_WRLCK))
                RemoveObject(Folder, Fd, Key, Head());
            else
                UsageLock(Fd, F_UNLCK);
        }
    }
    munmap(Base, MapSize);
    // Closed only once the bookkeeping lock is let go, which goes by the
    // descriptor's number.
    if (Fd >= 0)
        close(Fd);
    // Let go here rather than with the members, after the bound: the last
    // event of the process closes the wake-up block as well.
    WakeRef.reset();
}

std::shared_ptr<LocalObject> MakeUnnamed(Kind kind, int64_t dataSize, bool manualReset, int& error)
{
    const size_t total = size_t(kDataOffset + DataBytes(kind, dataSize));
    void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        error = errno;
        return nullptr;
    }
    auto object = NewObject();
    object->ObjKind = kind;
    object->Base = static_cast<char*>(base);
    object->MapSize = total;
    object->Pid = ThisProcess();
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

namespace {

bool MapFile(LocalObject& object, int fd, int64_t size, int& error)
{
    if (object.Base)
        munmap(object.Base, object.MapSize);
    object.Base = nullptr;
    void* base = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        error = errno;
        return false;
    }
    object.Base = static_cast<char*>(base);
    object.MapSize = size_t(size);
    return true;
}

// True when the file is this user's and closed to others: a file that
// another user made or may open is neither used nor read. st receives what
// fstat tells of it.
bool PrivateFile(int fd, struct stat& st)
{
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 0077) == 0;
}

// Makes the object of kind in the file of fd, wanted bytes in all, with
// every page claimed before the file is mapped: a full file system fails
// the create (error set), never a later write into the object.
bool MakeInPlace(LocalObject& object, int fd, Kind kind, int64_t wanted, bool manualReset, int& error)
{
    if (ftruncate(fd, 0) != 0) {
        error = errno;
        return false;
    }
    if (const int claimed = ClaimPages(object.Folder, fd, 0, wanted); claimed != 0) {
        error = claimed;
        return false;
    }
    if (!MapFile(object, fd, wanted, error))
        return false;
    SharedHead* head = object.Head();
    head->Kind = uint32_t(kind);
    head->DataSize = wanted - kDataOffset;
    AtStep(TSharedStep::Made);
    if (!InitObjectData(kind, object.Data(), manualReset)) {
        error = EINVAL;
        return false;
    }
    StoreMagic(head);
    return true;
}

// Maps the object behind fd, making it when it is new (or was left half made)
// and mayCreate, and takes this process's usage lock. Runs under the file's
// bookkeeping lock. Returns false with error set, or with retry set when the
// object was removed meanwhile.
bool AttachShared(LocalObject& object, int fd, Kind kind, int64_t wanted, bool mayCreate, bool manualReset,
                  int& error, bool& retry)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = errno;
        return false;
    }
    // A creator that died before it finished leaves a file without the
    // magic: nobody can have attached to it, so it is made again in place,
    // unless a sweep has taken its name away meanwhile.
    bool create = st.st_size < kDataOffset;
    if (!create) {
        if (!MapFile(object, fd, int64_t(st.st_size), error))
            return false;
        create = LoadMagic(object.Head()) != kMagic;
    }
    if (create) {
        const int named = Named(object.Folder, fd, object.Key);
        if (named < 0) {
            error = errno;
            return false;
        }
        if (named == 0) {
            retry = true;
            return false;
        }
        if (!mayCreate) {
            error = ENOENT;
            return false;
        }
        if (!MakeInPlace(object, fd, kind, wanted, manualReset, error)) {
            // Nothing half made is left behind: the next opener of the name
            // finds it as one never made.
            TakeNamesAway(object.Folder, fd, object.Key);
            return false;
        }
    } else if (object.Head()->Dead) {
        // Its last user removed it. When that user died before taking the
        // names away, they are taken away here.
        TakeNamesAway(object.Folder, fd, object.Key);
        retry = true;
        return false;
    } else if (UsageLock(fd, F_WRLCK)) {
        // Complete, but no process holds it: its last user ended without
        // closing it. It goes as the sweep removes it, and the name is
        // opened as one never made: a create makes a new object, in no
        // state a dead process left, and an open-only fails.
        RemoveObject(object.Folder, fd, object.Key, object.Head());
        retry = true;
        return false;
    } else if (object.Head()->Kind != uint32_t(kind) || (kind != Kind::Memory && int64_t(st.st_size) != wanted)) {
        error = EINVAL; // not what its name says
        return false;
    }
    if (!UsageLock(fd, F_RDLCK)) {
        error = errno;
        return false;
    }
    return true;
}

} // namespace

// Opens the shared object of that key in the folder, or creates it when
// mayCreate. Never runs under the registry lock: it may wait for the
// bookkeeping lock of the file.
std::shared_ptr<LocalObject> OpenShared(Kind kind, int folder, const QByteArray& folderPath, const QByteArray& key,
                                        int64_t dataSize, bool mayCreate, bool manualReset, int& error,
                                        QString& message)
{
    const QByteArray path = folderPath + '/' + key;
    if (dataSize > kLargestData) {
        error = EINVAL;
        message = TooLargeText(path, dataSize);
        return nullptr;
    }
    const int64_t wanted = kDataOffset + DataBytes(kind, dataSize);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = OpenMending(folder, key.constData(),
                                   O_RDWR | O_NOFOLLOW | O_CLOEXEC | (mayCreate ? O_CREAT : 0), S_IRUSR | S_IWUSR);
        if (fd < 0) {
            error = errno;
            message = PathErrorText(error, path);
            return nullptr;
        }
        struct stat st {};
        if (!PrivateFile(fd, st)) {
            close(fd);
            error = EPERM;
            message = SystemErrorText(
                error, QStringLiteral("The shared object %1 belongs to another user or is open to others; "
                                      "it is not used.")
                           .arg(QString::fromLocal8Bit(path)));
            return nullptr;
        }
        // Made 0600 whatever the umask, so that the user's other processes
        // open it too.
        if (!GiveOwnerRights(fd, st.st_mode, S_IRUSR | S_IWUSR)) {
            error = errno;
            close(fd);
            message = PathErrorText(error, path);
            return nullptr;
        }
        auto object = NewObject();
        object->ObjKind = kind;
        object->Folder = folder;
        object->Key = key;
        object->Path = path;
        bool retry = false;
        bool attached = false;
        {
            FileLock lock(fd, CallDeadline());
            if (lock.Locked())
                attached = AttachShared(*object, fd, kind, wanted, mayCreate, manualReset, error, retry);
            else
                error = ETIMEDOUT;
        }
        if (!attached) {
            if (object->Base)
                munmap(object->Base, object->MapSize);
            object->Base = nullptr;
            close(fd);
            if (retry)
                continue;
            message = PathErrorText(error, path);
            return nullptr;
        }
        object->Fd = fd;
        object->Pid = ThisProcess();
        return object;
    }
    error = EAGAIN;
    message = PathErrorText(error, path);
    return nullptr;
}

// Grows the named memory block of object to size bytes (above 0, within
// the largest block), under its bookkeeping lock; viewsLock guards its
// views and its size (the registry's lock). False with error and message
// set where it is not grown.
bool GrowBlock(LocalObject& object, int64_t size, RegistryLock& viewsLock, int& error, QString& message)
{
    const QString path = QString::fromLocal8Bit(object.Path);
    const auto mapped = [&] {
        error = EBUSY;
        message = SystemErrorText(error, QStringLiteral("The memory block %1 is mapped in this process, and "
                                                        "its views would move; it is not grown.")
                                             .arg(path));
        return false;
    };
    {
        std::lock_guard guard(viewsLock);
        if (object.Views > 0)
            return mapped();
        if (int64_t(object.MapSize) - kDataOffset >= size)
            return true;
    }
    // The grow uses the block's descriptor, which a thread with a table of
    // its own does not share.
    if (const int refusal = OwnTableError()) {
        error = refusal;
        message = OwnTableRefusal(refusal, path);
        return false;
    }
    const auto failOn = [&](int code) {
        error = code;
        message = PathErrorText(code, object.Path);
        return false;
    };
    // From the old size read to the new one installed, the grow keeps out
    // the other processes and the other threads of this one, which would
    // otherwise read the same old size, and one of them put the file back
    // at it under the other's view. The lock is waited for outside the
    // registry's lock, so that other threads open and close objects
    // meanwhile.
    BookkeepingLock lock(object, CallDeadline());
    if (!lock.Locked())
        return failOn(ETIMEDOUT);
    const int64_t mapSize = kDataOffset + size;
    // The old end is the file's, which another process may have grown past
    // this process's view: zeros are written past it alone.
    struct stat st {};
    if (fstat(object.Fd, &st) != 0)
        return failOn(errno);
    const int64_t before = int64_t(st.st_size);
    // A grow that fails after its claim puts the file back at its size
    // before any later opener maps it (openers map under the bookkeeping
    // lock, held here), so that a block that was not grown stays as it was;
    // the part it added was never anyone else's.
    const auto putBack = [&] {
        if (before < mapSize)
            (void)!ftruncate(object.Fd, off_t(before));
    };
    if (before < mapSize) {
        if (const int claimed = ClaimPages(object.Folder, object.Fd, before, mapSize); claimed != 0) {
            putBack();
            return failOn(claimed);
        }
    }
    // The size in the head is only a record: a grower that dies here leaves
    // a block that every opener maps at the file's size. Where another
    // process grew the file past the size asked, this process maps it
    // whole, as a new opener would.
    AtStep(TSharedStep::Growing);
    const int64_t newMap = std::max(mapSize, before);
    void* base = mmap(nullptr, size_t(newMap), PROT_READ | PROT_WRITE, MAP_SHARED, object.Fd, 0);
    if (base == MAP_FAILED) {
        const int mapError = errno;
        putBack();
        return failOn(mapError);
    }
    {
        std::lock_guard guard(viewsLock);
        if (object.Views == 0) {
            munmap(object.Base, object.MapSize);
            object.Base = static_cast<char*>(base);
            object.MapSize = size_t(newMap);
            object.Head()->DataSize = newMap - kDataOffset;
            return true;
        }
    }
    // A view was mapped meanwhile, on another thread.
    munmap(base, size_t(newMap));
    putBack();
    return mapped();
}

// Removes the objects of the folder that no process uses any more: those
// that processes which ended without closing them left behind. An object
// whose bookkeeping lock is taken, or that anyone still uses, stays.
void SweepLeftovers(int folder)
{
    const int listFd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            close(listFd);
        return;
    }
    const QByteArray mine = kNamePrefix + QByteArray::number(uint(geteuid())) + '-';
    while (const dirent* entry = readdir(dir)) {
        const QByteArray key(entry->d_name);
        if (!key.startsWith(mine))
            continue;
        const int fd = OpenMending(folder, entry->d_name, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                                   S_IRUSR | S_IWUSR);
        if (fd < 0)
            continue;
        struct stat st {};
        if (PrivateFile(fd, st) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (UsageLock(fd, F_WRLCK))
                RemoveObject(folder, fd, key, nullptr);
            flock(fd, LOCK_UN);
        }
        close(fd);
    }
    closedir(dir);
}

} // namespace sharedobjects_detail
