#include "platform/os/SharedObjects.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include <climits>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

// Layout version of the shared objects, also part of every name ("tessvar4-");
// an object that does not carry it was left half made and is made again.
constexpr uint32_t kMagic = 0x34565354; // "TSV4"
constexpr char kNamePrefix[] = "tessvar4-";

// How long opening, growing or closing an object waits for the bookkeeping
// lock of its file, which a stopped process may hold, in milliseconds.
constexpr uint32_t kBookkeepingMs = 5000;
// How long a wait spins on its words before it sleeps, when the process may
// run on more than one CPU: a peer that answers within it is seen without a
// wake-up of this thread.
constexpr int64_t kSpinNs = 60'000;

enum class Kind : char { Memory = 'M', Mutex = 'X', Event = 'E', Wake = 'W' };

// The head of every shared object. Magic is stored last by the creator, so
// an object whose creator died half way is recognised and made again.
//
// Which processes use an object is told by the kernel, not by a count that a
// crashed process would leave behind: every process that has the object open
// holds a shared open-file-description lock on its first byte, which the
// kernel drops when the process ends. A process that closes it and can turn
// its lock into an exclusive one is the last user and removes the object.
// Opening, closing and growing run under the file's flock, so a close never
// removes an object that an opener has just found; an opener that finds Dead
// set retries, and removes the name itself when its closer died before it
// could.
struct alignas(64) SharedHead {
    uint32_t Magic;
    uint32_t Kind;
    uint32_t Dead; // removed from the name space
    // Events: how many processes listen to the event through a descriptor
    // (a listener killed stays counted; it only costs setters a failed send).
    uint32_t Listeners;
    int64_t DataSize; // as made; the size mapped is the file's
};
static_assert(sizeof(SharedHead) == 64);

// An event: words changed only with atomic instructions, so that a process
// killed anywhere leaves a consistent event.
//
// Each change that may release a waiter increments the event's Sequence, and
// waiters sleep on it with a futex (on the words of all their events at once
// with futex_waitv). A waiter killed while counted in Waiters only costs the
// setters a needless wake call.
struct EventState {
    uint32_t ManualReset; // fixed when made
    uint32_t Signaled;    // 1 while set; an auto-reset event is taken by a compare-and-swap 1 -> 0
    uint32_t Pulse;       // pulse generation << 8 | pulses left to take (auto-reset)
    uint32_t Sequence;
    uint32_t Waiters;
};

// The per-user wake-up of every event, for kernels without futex_waitv: each
// change increments Sequence too, and a wait on several events sleeps on it.
struct WakeState {
    uint32_t Sequence;
    uint32_t Waiters;
};

constexpr int64_t kDataOffset = sizeof(SharedHead);
// A setter killed between setting an event and incrementing the sequence
// leaves the event set without waking anyone; every waiter looks again at
// least this often, so such an event is seen within this time.
constexpr int64_t kWaitSliceNs = 500'000'000;

void (*Probe)(TSharedStep) = nullptr;

// The process id, asked of the kernel once per process (and again in a
// child made by fork()): every call on a handle compares it.
std::atomic<pid_t> CachedPid{0};

void ForgetPid()
{
    CachedPid = 0;
}

pid_t ThisProcess()
{
    pid_t pid = CachedPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        static const int registered = pthread_atfork(nullptr, nullptr, &ForgetPid);
        (void)registered;
        pid = getpid();
        CachedPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

void AtStep(TSharedStep step)
{
    if (Probe)
        Probe(step);
}

int64_t DataBytes(Kind kind, int64_t memorySize)
{
    switch (kind) {
    case Kind::Memory:
        return memorySize;
    case Kind::Mutex:
        return sizeof(pthread_mutex_t);
    case Kind::Event:
        return sizeof(EventState);
    case Kind::Wake:
        return sizeof(WakeState);
    }
    return 0;
}

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
    std::atomic<int> Holds{0}; // mutex acquisitions by this process
    // An event's hold on the user's wake-up block, which goes with the last
    // event of the process.
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
    WakeState* Wake() const { return WakeRef ? reinterpret_cast<WakeState*>(WakeRef->Data()) : nullptr; }
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

// Never destroyed: objects that close their handles from static destructors
// (the report writer's data system) still find it at exit.
Registry& Reg()
{
    static Registry* registry = new Registry;
    return *registry;
}

QString SystemErrorText(int error, const QString& detail)
{
    return QStringLiteral("System Error.  Code: %1.\n%2").arg(error).arg(detail);
}

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

QByteArray DescriptorPath(int fd)
{
    static const char* const folder =
        access("/proc/thread-self/fd", F_OK) == 0 ? kThreadDescriptors : kProcessDescriptors;
    return folder + QByteArray::number(fd);
}

// What a name holds for this user's objects.
enum class TFound {
    Usable, // a folder of the user's own, closed to others, opened
    Held,   // nothing, or something the user may not use: passed over
    Failed, // the process itself failed at it (no descriptor left, an
            // error of the file system ...): the choice ends there
};

// Why a name that is held cannot be used, as the warning that a set
// XDG_RUNTIME_DIR is passed over says it.
enum class TRefusal {
    None,
    Relative,     // the setting is no absolute path
    Missing,      // nothing is there
    NotAFolder,   // a file, a FIFO, a link (links are not followed) ...
    TooLong,      // the name is longer than the system takes
    OthersOwn,    // another user's
    OpenToOthers, // the user's own, but others may enter it
    Closed,       // the system refuses it to this user for another reason
};

// A folder's judgement: Usable with its descriptor, Held and why, or Failed
// with the system's error.
struct TJudgement {
    TFound Found = TFound::Held;
    TRefusal Why = TRefusal::None;
    int Error = 0;
    int Fd = -1;
};

// Gives the owner the rights of mode where the file or folder (open as fd,
// of mode current) lacks some: a umask without the owner's bits made it so.
bool GiveOwnerRights(int fd, mode_t current, mode_t mode)
{
    return (current & mode) == mode || fchmod(fd, mode) == 0;
}

// Why what lstat tells of a name (st) keeps user uid from using it as the
// folder of its objects; None where nothing does.
TRefusal RefusalOf(const struct stat& st, uid_t uid)
{
    if (!S_ISDIR(st.st_mode))
        return TRefusal::NotAFolder;
    if (st.st_uid != uid)
        return TRefusal::OthersOwn;
    if ((st.st_mode & 0077) != 0)
        return TRefusal::OpenToOthers;
    return TRefusal::None;
}

// Judges the folder open as fd: Usable where it belongs to uid and nobody
// else may enter it (a folder of the user's with rights missing for the
// user is mended), else Held. fd is closed unless it is Usable.
TJudgement JudgeFolder(int fd, uid_t uid)
{
    TJudgement judged;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        judged = {TFound::Failed, TRefusal::None, errno};
    } else if (const TRefusal why = RefusalOf(st, uid); why != TRefusal::None) {
        judged = {TFound::Held, why};
    } else if (!GiveOwnerRights(fd, st.st_mode, S_IRWXU)) {
        judged = {TFound::Failed, TRefusal::None, errno};
    } else {
        judged = {TFound::Usable, TRefusal::None, 0, fd};
    }
    if (judged.Found != TFound::Usable)
        close(fd);
    return judged;
}

int MendAndOpen(int place, int flags, mode_t mode);

// Opens name in folder dir as openat does. Where the kernel refuses it
// (EACCES) and it is of the kind asked (a folder for O_DIRECTORY, else a
// file), the user's own and closed to others, its owner lacks rights (a
// umask without the owner's bits made it so, in this process or an earlier
// one): it is given mode (through /proc, since a file the owner may not open
// has no descriptor to change it by) and opened again. -1 with errno set, as
// openat: the refusal's EACCES where there is nothing to mend, else the
// system's error of the step of the mend that failed, so that a failure of
// the process's own (no descriptor left, no memory ...) is never taken for a
// name someone else holds.
int OpenMending(int dir, const char* name, int flags, mode_t mode)
{
    const int fd = openat(dir, name, flags, mode);
    if (fd >= 0 || errno != EACCES)
        return fd;
    // What is at the name now, taken as the open above takes it: no link
    // followed, nothing but a folder where a folder is asked for.
    const int place = openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC | (flags & O_DIRECTORY));
    if (place < 0) {
        // Nothing there (a create that the folder refuses), no folder where
        // one is asked for, or a folder on the way that may not be passed:
        // nothing to mend.
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == EACCES)
            errno = EACCES;
        return -1;
    }
    const int mended = MendAndOpen(place, flags, mode);
    const int error = errno;
    close(place);
    errno = error;
    return mended;
}

// The mend of what the look opened as place (O_PATH): -1 with errno set
// where there is nothing to mend (EACCES) or a step fails.
int MendAndOpen(int place, int flags, mode_t mode)
{
    struct stat st {};
    if (fstat(place, &st) != 0)
        return -1;
    const bool kind = (flags & O_DIRECTORY) != 0 ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    if (!kind || st.st_uid != geteuid() || (st.st_mode & 0077) != 0) {
        errno = EACCES;
        return -1;
    }
    const QByteArray path = DescriptorPath(place);
    if (chmod(path.constData(), mode) != 0)
        return -1;
    return open(path.constData(), flags & ~(O_CREAT | O_EXCL | O_NOFOLLOW));
}

// An operating-system error on a file or folder, naming it.
QString PathErrorText(int error, const QByteArray& path)
{
    return SystemErrorText(error, qt_error_string(error) + QLatin1Char('\n') + QString::fromLocal8Bit(path));
}

// The room for the folder's part of a socket's address: the longest
// descriptor path (of a thread's table, the longer form), or the folder's
// real path when that is longer, so that every process of the user picks
// the same socket names whatever the number of its descriptor.
size_t BellRoom(int fd, const QByteArray& path)
{
    char real[PATH_MAX];
    const ssize_t length = readlink(DescriptorPath(fd).constData(), real, sizeof(real));
    const size_t realSize = length > 0 ? size_t(length) : size_t(path.size());
    return std::max(realSize, sizeof(kThreadDescriptors) - 1 + 10) + 1;
}

// 0 when the folder of that descriptor can be reached through its
// descriptor path, else why not (no /proc).
int FolderReachError(int fd)
{
    struct stat folder {};
    struct stat reached {};
    if (stat(DescriptorPath(fd).constData(), &reached) != 0)
        return errno;
    if (fstat(fd, &folder) != 0)
        return errno;
    return folder.st_dev == reached.st_dev && folder.st_ino == reached.st_ino ? 0 : ENOENT;
}

void UseFolder(ObjectFolder& folder, int fd)
{
    folder.Fd = fd;
    folder.BellRoom = BellRoom(fd, folder.Path);
}

const char* RefusalText(TRefusal why);

// Says once per process that a set XDG_RUNTIME_DIR was refused, and why:
// programs of the user that keep their objects there cannot meet this one.
void AnnounceFallback(const QByteArray& runtime, TRefusal why, const QByteArray& fallback)
{
    static std::atomic<pid_t> announcedIn{0};
    if (announcedIn.exchange(ThisProcess()) == ThisProcess())
        return;
    qWarning("The folder %s of XDG_RUNTIME_DIR %s; this process keeps its shared objects in %s.",
             runtime.constData(), RefusalText(why), fallback.constData());
}

// The words of the warning for why.
const char* RefusalText(TRefusal why)
{
    switch (why) {
    case TRefusal::Relative:
        return "is not an absolute path";
    case TRefusal::Missing:
        return "does not exist";
    case TRefusal::NotAFolder:
        return "is not a folder (a link is not followed)";
    case TRefusal::TooLong:
        return "has a name too long for the system";
    case TRefusal::OthersOwn:
        return "belongs to another user";
    case TRefusal::OpenToOthers:
        return "is open to others";
    case TRefusal::None:
    case TRefusal::Closed:
        break;
    }
    return "cannot be opened by this user";
}

// XDG_RUNTIME_DIR without its trailing slashes, which would have a link at
// its name followed; empty where it is not set.
QByteArray RuntimeSetting()
{
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    while (runtime.size() > 1 && runtime.endsWith('/'))
        runtime.chop(1);
    return runtime;
}

// The names of the folders of user uid outside XDG_RUNTIME_DIR, in the order
// every process of the user tries them: /dev/shm/tessvar-<uid>, then
// /dev/shm/tessvar-<uid>.1 and so on. Folders are never removed, so each
// user that a user namespace shows as uid (as 0, say) keeps one of them
// until the machine restarts: there are enough names for many such users.
constexpr int kFolderSeries = 32;

QByteArray SeriesFolder(uid_t uid, int n)
{
    const QByteArray first = "/dev/shm/tessvar-" + QByteArray::number(uint(uid));
    return n == 0 ? first : first + '.' + QByteArray::number(n);
}

// Opens the folder at path where it is uid's own and closed to others
// (Usable). Held where nothing is there, where something else than a folder
// is (ENOTDIR, ELOOP: links are not followed), where the system refuses the
// folder to the process (EACCES: another user's) or refuses for good to
// mend it (EPERM: an immutable folder, or inside a user namespace another
// unmapped user's, whose owner reads as the overflow id that may be this
// process's own; EROFS), where the check refuses it, and, for the folder
// that the user set (setting), where the name is too long (ENAMETOOLONG).
// Failed for any other failure: the process's own (EMFILE, ENOMEM ...) or
// of the file system (EIO ...).
TJudgement OpenPrivateFolder(const QByteArray& path, uid_t uid, bool setting)
{
    const int fd =
        OpenMending(AT_FDCWD, path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
    if (fd >= 0)
        return JudgeFolder(fd, uid);
    const int error = errno;
    switch (error) {
    case ENOENT:
        return {TFound::Held, TRefusal::Missing};
    case ENOTDIR:
    case ELOOP:
        return {TFound::Held, TRefusal::NotAFolder};
    case EACCES:
    case EPERM:
    case EROFS: {
        // What is there, for the reason that the warning about the user's
        // setting gives.
        struct stat st {};
        const TRefusal why =
            setting && lstat(path.constData(), &st) == 0 ? RefusalOf(st, uid) : TRefusal::None;
        return {TFound::Held, why == TRefusal::None ? TRefusal::Closed : why};
    }
    case ENAMETOOLONG:
        if (setting)
            return {TFound::Held, TRefusal::TooLong};
        break;
    default:
        break;
    }
    return {TFound::Failed, TRefusal::None, error};
}

// Ends the choice with the system's error naming the folder where it
// failed. Nothing of the failure is kept: the next open chooses again.
void FailFolder(ObjectFolder& folder, int error, const QByteArray& path)
{
    folder.Error = error;
    folder.Message = PathErrorText(error, path);
}

// Opens and judges the folder at path: takes it where it is Usable, or ends
// the choice where the process Failed at it. True where the choice is over,
// false where the name is held. For the folder that the user set, why is
// given, and receives why it is held.
bool Decided(ObjectFolder& folder, const QByteArray& path, uid_t uid, TRefusal* why = nullptr)
{
    const TJudgement judged = OpenPrivateFolder(path, uid, why != nullptr);
    switch (judged.Found) {
    case TFound::Usable:
        folder.Path = path;
        UseFolder(folder, judged.Fd);
        return true;
    case TFound::Failed:
        FailFolder(folder, judged.Error, path);
        return true;
    case TFound::Held:
        break;
    }
    if (why)
        *why = judged.Why;
    return false;
}

// Chooses the folder of user uid, opens and checks it. A name that is held
// is passed over; a failure of the process's own ends the choice at once,
// making no further name, so that it neither leaves names behind nor sends
// the process away from its peers.
void ChooseFolder(ObjectFolder& folder, uid_t uid)
{
    // A setting that cannot be used (missing, no folder, a name too long
    // ...) is passed over, as it would be by every process of the user.
    const QByteArray runtime = RuntimeSetting();
    TRefusal refused = TRefusal::None;
    if (!runtime.isEmpty()) {
        if (!runtime.startsWith('/'))
            refused = TRefusal::Relative;
        else if (Decided(folder, runtime, uid, &refused))
            return;
    }
    // The first folder of the series that is the user's already, so that a
    // process meets those that started while an earlier name was held by
    // someone else, even once that name is free again. Else the first that
    // can be made the user's; a name that someone else took meanwhile is
    // judged as in the first pass.
    for (const bool make : {false, true}) {
        for (int n = 0; n < kFolderSeries; ++n) {
            const QByteArray path = SeriesFolder(uid, n);
            // Made 0700 whatever the umask: one left without the owner's
            // rights is mended as it is opened.
            if (make && mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) {
                FailFolder(folder, errno, path);
                return;
            }
            if (Decided(folder, path, uid)) {
                if (refused != TRefusal::None && folder.Fd >= 0)
                    AnnounceFallback(runtime, refused, folder.Path);
                return;
            }
        }
    }
    folder.Error = EPERM;
    folder.Message = SystemErrorText(
        EPERM, QStringLiteral("The folder %1 of this user's shared objects belongs to another user or is "
                              "open to others, and so does every other folder of its series up to %2; "
                              "none is used. A folder of this user's own that is closed to others, "
                              "given as XDG_RUNTIME_DIR, avoids this.")
                   .arg(QString::fromLocal8Bit(SeriesFolder(uid, 0)),
                        QString::fromLocal8Bit(SeriesFolder(uid, kFolderSeries - 1))));
}

// The folder of the calling user, opened and checked once per user id (a
// child made by fork() may take another one); where none could be had, it
// is chosen again at the next call. Runs under the registry lock.
ObjectFolder& UserFolder(Registry& reg)
{
    ObjectFolder& folder = reg.Folder;
    const uid_t uid = geteuid();
    if (folder.Uid == uid && folder.Fd >= 0)
        return folder;
    // The earlier user's folder is closed last, so that the new one never
    // takes over its descriptor's number.
    const int earlier = folder.Fd;
    folder = ObjectFolder{};
    folder.Uid = uid;
    ChooseFolder(folder, uid);
    if (earlier >= 0)
        close(earlier);
    return folder;
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
    QByteArray key = kNamePrefix + QByteArray::number(uint(geteuid())) + '-' + char(kind) + '-';
    // NAME_MAX bounds a file name; long names go by their digest.
    if (key.size() + encoded.size() > 240)
        encoded = '#' + QCryptographicHash::hash(utf8, QCryptographicHash::Sha1).toHex();
    return key + encoded;
}

// The file names of the socket through which an event rings its listener's
// descriptor: the event's own name with the kind "B", or, where the name
// would not fit a socket's address (107 bytes) after the folder's room, the
// digest of the event's file name.
constexpr size_t kSocketPathMax = sizeof(sockaddr_un::sun_path) - 1;

QByteArray EventKeyHead()
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + '-' + char(Kind::Event) + '-';
}

QByteArray NamedBellKey(const QByteArray& eventKey)
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + "-B-" + eventKey.mid(EventKeyHead().size());
}

QByteArray DigestBellKey(const QByteArray& eventKey)
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + "-B-#" +
           QCryptographicHash::hash(eventKey, QCryptographicHash::Sha1).toHex();
}

QByteArray BellKey(size_t folderRoom, const QByteArray& eventKey)
{
    const QByteArray named = NamedBellKey(eventKey);
    return folderRoom + named.size() <= kSocketPathMax ? named : DigestBellKey(eventKey);
}

bool IsEventKey(const QByteArray& key)
{
    return key.startsWith(EventKeyHead());
}

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
    case Kind::Wake:
        return true; // a new object reads as zeros
    case Kind::Mutex:
        return InitMutex(new (data) pthread_mutex_t);
    case Kind::Event: {
        auto* state = new (data) EventState{};
        state->ManualReset = manualReset ? 1 : 0;
        return true;
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

// The bookkeeping lock of an object's file, waited for at most timeoutMs: a
// process stopped while it holds it delays the others by that much at most.
class FileLock {
public:
    FileLock(int fd, uint32_t timeoutMs) : FFd(fd)
    {
        const auto start = std::chrono::steady_clock::now();
        useconds_t pause = 200;
        for (;;) {
            if (flock(FFd, LOCK_EX | LOCK_NB) == 0) {
                FLocked = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs))
                return;
            usleep(pause);
            pause = std::min<useconds_t>(pause * 2, 10'000);
        }
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
// its bookkeeping lock and knows that no process uses it.
void RemoveObject(int folder, int fd, const QByteArray& key)
{
    const uint32_t dead = 1;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size >= kDataOffset)
        (void)!pwrite(fd, &dead, sizeof(dead), offsetof(SharedHead, Dead));
    AtStep(TSharedStep::Removing);
    TakeNamesAway(folder, fd, key);
}

// Claims every page of the file of fd up to size bytes (its size grows to
// size where it is smaller), so that a full file system answers now (ENOSPC,
// EDQUOT) rather than with SIGBUS at the first write into a page it cannot
// give. 0, or the system's error.
int ClaimPages(int fd, int64_t size)
{
    int error;
    while ((error = posix_fallocate(fd, 0, off_t(size))) == EINTR) {
    }
    return error;
}

void StopListening(LocalObject& object);

LocalObject::~LocalObject()
{
    if (Pid != ThisProcess() || !Base)
        return; // inherited through fork(): the parent's to close
    if (ObjKind == Kind::Mutex && Holds.load() > 0)
        return; // still held: the mutex must stay mapped until its owner ends
    StopListening(*this);
    if (BellFd >= 0)
        close(BellFd);
    if (Fd >= 0) {
        // Under the bookkeeping lock a closer either is the last user and
        // removes the object, or lets go of its use before the next closer
        // looks: of closers that race, the last one always removes it. A
        // closer that cannot get the lock in time leaves the object to the
        // next process that opens its name and finds nobody holding it.
        FileLock lock(Fd, kBookkeepingMs);
        if (lock.Locked()) {
            if (UsageLock(Fd, F_WRLCK))
                RemoveObject(Folder, Fd, Key);
            else
                UsageLock(Fd, F_UNLCK);
        }
    }
    munmap(Base, MapSize);
    // Closed only once the bookkeeping lock is let go, which goes by the
    // descriptor's number.
    if (Fd >= 0)
        close(Fd);
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
    if (const int claimed = ClaimPages(fd, wanted); claimed != 0) {
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
        RemoveObject(object.Folder, fd, object.Key);
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

// Opens the shared object of that key in the folder, or creates it when
// mayCreate. Never runs under the registry lock: it may wait for the
// bookkeeping lock of the file.
std::shared_ptr<LocalObject> OpenShared(Kind kind, int folder, const QByteArray& folderPath, const QByteArray& key,
                                        int64_t dataSize, bool mayCreate, bool manualReset, int& error,
                                        QString& message)
{
    const int64_t wanted = kDataOffset + DataBytes(kind, dataSize);
    const QByteArray path = folderPath + '/' + key;
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
        auto object = std::make_shared<LocalObject>();
        object->ObjKind = kind;
        object->Folder = folder;
        object->Key = key;
        object->Path = path;
        bool retry = false;
        bool attached = false;
        {
            FileLock lock(fd, kBookkeepingMs);
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
                RemoveObject(folder, fd, key);
            flock(fd, LOCK_UN);
        }
        close(fd);
    }
    closedir(dir);
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

TSharedHandle Open(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset, int& error,
                   QString& message)
{
    Registry& reg = Reg();
    if (name.isEmpty()) {
        if (kind == Kind::Memory && size <= 0) {
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
            // Unnamed events still count in the user's wake-up word.
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

std::shared_ptr<LocalObject> Find(TSharedHandle handle, Kind kind)
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    auto it = reg.Handles.find(handle);
    if (it == reg.Handles.end() || it->second->Pid != ThisProcess() || it->second->ObjKind != kind)
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

uint32_t Load(const uint32_t& word)
{
    return __atomic_load_n(&word, __ATOMIC_SEQ_CST);
}

bool CompareExchange(uint32_t& word, uint32_t& expected, uint32_t desired)
{
    return __atomic_compare_exchange_n(&word, &expected, desired, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout)
{
    return syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

// Whether the kernel waits on several futex words at once (futex_waitv,
// Linux 5.16): 1 yes, -1 no, 0 not known yet.
std::atomic<int> VectorWaits{0};

// Wakes the waiters of the event; each looks at its events again.
void WakeWaiters(EventState* state, WakeState* wake)
{
    __atomic_add_fetch(&state->Sequence, 1, __ATOMIC_SEQ_CST);
    __atomic_add_fetch(&wake->Sequence, 1, __ATOMIC_SEQ_CST);
    if (Load(state->Waiters) > 0)
        Futex(&state->Sequence, FUTEX_WAKE, INT_MAX, nullptr);
    if (Load(wake->Waiters) > 0)
        Futex(&wake->Sequence, FUTEX_WAKE, INT_MAX, nullptr);
}

// Takes the event for a waiter that began waiting at pulse generation
// generation: a set event (an auto-reset one only by the waiter whose
// compare-and-swap clears it), or a pulse given after the waiter began.
bool TryTake(EventState* state, uint32_t generation)
{
    const bool manual = Load(state->ManualReset) != 0;
    if (manual) {
        if (Load(state->Signaled) != 0)
            return true;
    } else {
        uint32_t expected = 1;
        if (CompareExchange(state->Signaled, expected, 0))
            return true;
    }
    uint32_t pulse = Load(state->Pulse);
    while ((pulse >> 8) != generation) {
        if (manual)
            return true;
        if ((pulse & 0xFF) == 0)
            return false;
        if (CompareExchange(state->Pulse, pulse, pulse - 1))
            return true;
    }
    return false;
}

// One event of a wait: the object (held, so that a close on another thread
// does not unmap it meanwhile), the pulse generation it had when the wait
// began, and its sequence as last read.
struct WaitEntry {
    std::shared_ptr<LocalObject> Object;
    uint32_t Generation = 0;
    uint32_t Seen = 0;

    EventState* Event() const { return State(*Object); }
};

// The events of one wait. A few fit without allocating.
struct WaitList {
    static constexpr size_t kInline = 8;
    std::array<WaitEntry, kInline> Inline;
    std::vector<WaitEntry> More;
    size_t Count = 0;

    void Add(std::shared_ptr<LocalObject> object)
    {
        WaitEntry& entry = Count < kInline ? Inline[Count] : More.emplace_back();
        entry.Generation = Load(State(*object)->Pulse) >> 8;
        entry.Object = std::move(object);
        ++Count;
    }
    WaitEntry& operator[](size_t i) { return i < kInline ? Inline[i] : More[i - kInline]; }
    const WaitEntry& operator[](size_t i) const { return i < kInline ? Inline[i] : More[i - kInline]; }
};

// Sleeps until one of the sequences changes from the value last read, or
// until the absolute monotonic time until; false when the kernel has no
// futex_waitv.
bool SleepOnWords(const WaitList& list, int64_t until)
{
    std::array<futex_waitv, 128> words{};
    const size_t count = list.Count;
    for (size_t i = 0; i < count; ++i) {
        words[i].val = list[i].Seen;
        words[i].uaddr = reinterpret_cast<uintptr_t>(&list[i].Event()->Sequence);
        words[i].flags = FUTEX_32;
    }
    const timespec absolute = FromNs(until);
    if (syscall(SYS_futex_waitv, words.data(), unsigned(count), 0u, &absolute, CLOCK_MONOTONIC) < 0 &&
        errno == ENOSYS) {
        VectorWaits = -1;
        return false;
    }
    VectorWaits = 1;
    return true;
}

// Whether more than one CPU may run this thread: only then can a peer
// answer while it spins. Asked again every 100 ms, since a thread may be
// pinned to one CPU later.
bool SeveralCpus()
{
    thread_local int64_t askedAt = 0;
    thread_local bool several = false;
    const int64_t now = ToNs(MonotonicNow());
    if (askedAt == 0 || now - askedAt > 100'000'000) {
        cpu_set_t set;
        CPU_ZERO(&set);
        several = sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 1;
        askedAt = now;
    }
    return several;
}

// Looks at the events for a short while before the wait sleeps; true with
// index set when one was taken.
bool SpinFor(WaitList& list, int* index)
{
    if (!SeveralCpus())
        return false;
    const int64_t until = ToNs(MonotonicNow()) + kSpinNs;
    do {
        for (int pause = 0; pause < 64; ++pause)
            __builtin_ia32_pause();
        for (size_t i = 0; i < list.Count; ++i) {
            if (TryTake(list[i].Event(), list[i].Generation)) {
                if (index)
                    *index = int(i);
                return true;
            }
        }
    } while (ToNs(MonotonicNow()) < until);
    return false;
}

TWaitResult WaitEvents(WaitList& list, uint32_t timeoutMs, int* index)
{
    WakeState* wake = list.Count > 0 ? list[0].Object->Wake() : nullptr;
    if (!wake)
        return TWaitResult::wrFailed;
    if (timeoutMs > 0 && SpinFor(list, index))
        return TWaitResult::wrSignaled;
    // More events than one futex_waitv takes wait on the per-user word.
    bool perUser = list.Count > 1 && (VectorWaits < 0 || list.Count > 128);
    for (size_t i = 0; i < list.Count; ++i)
        __atomic_add_fetch(&list[i].Event()->Waiters, 1, __ATOMIC_SEQ_CST);
    if (perUser)
        __atomic_add_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
    const int64_t deadline = ToNs(MonotonicNow()) + int64_t(timeoutMs) * 1'000'000;
    TWaitResult result = TWaitResult::wrTimeout;
    for (;;) {
        // The sequences are read before the events are looked at: a change
        // after this read makes the futex wait return at once.
        const uint32_t userSequence = Load(wake->Sequence);
        for (size_t i = 0; i < list.Count; ++i)
            list[i].Seen = Load(list[i].Event()->Sequence);
        for (size_t i = 0; i < list.Count; ++i) {
            if (TryTake(list[i].Event(), list[i].Generation)) {
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
        int64_t sleep = kWaitSliceNs;
        if (timeoutMs != kWaitInfinite)
            sleep = std::min(sleep, deadline - now);
        const timespec relative = FromNs(sleep);
        if (list.Count == 1) {
            Futex(&list[0].Event()->Sequence, FUTEX_WAIT, list[0].Seen, &relative);
        } else if (perUser) {
            Futex(&wake->Sequence, FUTEX_WAIT, userSequence, &relative);
        } else if (!SleepOnWords(list, now + sleep)) {
            perUser = true;
            __atomic_add_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
        }
    }
    for (size_t i = 0; i < list.Count; ++i)
        __atomic_sub_fetch(&list[i].Event()->Waiters, 1, __ATOMIC_SEQ_CST);
    if (perUser)
        __atomic_sub_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
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

// The folder of a named object, for messages.
QByteArray FolderPath(const LocalObject& object)
{
    return object.Path.left(object.Path.size() - object.Key.size() - 1);
}

// The address of the event's bell socket, through the folder's descriptor;
// false for an unnamed event.
bool BellAddress(const LocalObject& object, sockaddr_un& address)
{
    const QByteArray path = DescriptorPath(object.Folder) + '/' + object.Bell;
    std::memset(&address, 0, sizeof(address));
    if (object.Bell.isEmpty() || size_t(path.size()) > kSocketPathMax)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

int BellSocket()
{
    return socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Sends a byte to the descriptor of the process that listens to the event.
// A socket whose listener went is connected again, to the listener that
// bound the name since, if any; a full queue means the descriptor is
// readable already.
void RingBell(LocalObject& object)
{
    std::lock_guard guard(object.BellLock);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (object.BellFd < 0) {
            sockaddr_un address{};
            if (!BellAddress(object, address))
                return;
            const int fd = BellSocket();
            if (fd < 0)
                return;
            if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
                close(fd);
                return;
            }
            object.BellFd = fd;
        }
        const char ring = 1;
        if (send(object.BellFd, &ring, 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1 || errno == EAGAIN)
            return;
        close(object.BellFd);
        object.BellFd = -1;
    }
}

// True when a process has the socket of that address bound.
bool BellAnswers(const sockaddr_un& address)
{
    const int fd = BellSocket();
    if (fd < 0)
        return true;
    const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return answers;
}

// Ends this process's listening to the event: the count goes down and the
// socket's name goes (the caller closes the socket itself).
void StopListening(LocalObject& object)
{
    {
        std::lock_guard guard(object.BellLock);
        if (!object.Listening)
            return;
        object.Listening = false;
    }
    __atomic_sub_fetch(&object.Head()->Listeners, 1, __ATOMIC_SEQ_CST);
    // Under the bookkeeping lock, so that a new listener never binds the
    // name between the two. Without it in time, the name stays to the next
    // listener, who finds nobody bound to it.
    FileLock lock(object.Fd, kBookkeepingMs);
    if (lock.Locked())
        unlinkat(object.Folder, object.Bell.constData(), 0);
}

template <class Change> bool ChangeEvent(TSharedHandle event, Change change)
{
    auto object = Find(event, Kind::Event);
    WakeState* wake = object ? object->Wake() : nullptr;
    if (!wake)
        return false;
    if (change(State(*object))) {
        WakeWaiters(State(*object), wake);
        if (Load(object->Head()->Listeners) > 0)
            RingBell(*object);
    }
    return true;
}

} // namespace

namespace {

thread_local QString LastMessage;
thread_local int LastError = 0;

TSharedHandle OpenRemembering(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset)
{
    int error = 0;
    QString message;
    const TSharedHandle handle = Open(kind, name, size, mayCreate, manualReset, error, message);
    if (!handle) {
        LastError = error;
        LastMessage = message;
    }
    return handle;
}

} // namespace

TSharedHandle OpenNamedEvent(const QString& name, bool manualReset)
{
    return OpenRemembering(Kind::Event, name, 0, true, manualReset);
}

TSharedHandle OpenNamedMutex(const QString& name)
{
    return OpenRemembering(Kind::Mutex, name, 0, true, false);
}

TSharedHandle OpenNamedMemory(const QString& name, int64_t size)
{
    const TSharedHandle handle = OpenRemembering(Kind::Memory, name, size, size > 0, false);
    if (!handle)
        throw EOSError(LastMessage, LastError);
    return handle;
}

EOSError LastSharedObjectError()
{
    return EOSError(LastMessage, LastError);
}

QString SharedObjectsFolder()
{
    Registry& reg = Reg();
    std::lock_guard guard(reg.Lock);
    const ObjectFolder& folder = UserFolder(reg);
    return folder.Fd >= 0 ? QString::fromLocal8Bit(folder.Path) : QString();
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
    return int64_t(object->MapSize) - kDataOffset;
}

bool GrowNamedMemory(TSharedHandle memory, int64_t size)
{
    const auto fail = [](int error, const QString& detail) {
        LastError = error;
        LastMessage = SystemErrorText(error, detail);
        return false;
    };
    auto object = Find(memory, Kind::Memory);
    if (!object || object->Fd < 0 || size <= 0)
        return fail(
            EINVAL,
            QStringLiteral("Only a named memory block grows, to a size above 0 (%1 bytes asked).").arg(size));
    const QString path = QString::fromLocal8Bit(object->Path);
    const auto mapped = [&] {
        return fail(EBUSY,
                    QStringLiteral("The memory block %1 is mapped in this process, and its views would "
                                   "move; it is not grown.")
                        .arg(path));
    };
    Registry& reg = Reg();
    {
        std::lock_guard guard(reg.Lock);
        if (object->Views > 0)
            return mapped();
        if (int64_t(object->MapSize) - kDataOffset >= size)
            return true;
    }
    const auto failOn = [&](int error) {
        LastError = error;
        LastMessage = PathErrorText(error, object->Path);
        return false;
    };
    // The bookkeeping lock is waited for outside the registry lock, so that
    // other threads open and close objects meanwhile.
    FileLock lock(object->Fd, kBookkeepingMs);
    if (!lock.Locked())
        return failOn(ETIMEDOUT);
    const int64_t mapSize = kDataOffset + size;
    struct stat st {};
    if (fstat(object->Fd, &st) != 0)
        return failOn(errno);
    if (int64_t(st.st_size) < mapSize) {
        if (const int claimed = ClaimPages(object->Fd, mapSize); claimed != 0) {
            // The block stays as it was: a file system that claims page by
            // page may have grown the file part of the way.
            struct stat now {};
            if (fstat(object->Fd, &now) == 0 && now.st_size > st.st_size)
                (void)!ftruncate(object->Fd, st.st_size);
            return failOn(claimed);
        }
    }
    // The size in the head is only a record: a grower that dies here leaves
    // a block that every opener maps at the file's size.
    AtStep(TSharedStep::Growing);
    const int64_t newMap = std::max<int64_t>(mapSize, int64_t(st.st_size));
    void* base = mmap(nullptr, size_t(newMap), PROT_READ | PROT_WRITE, MAP_SHARED, object->Fd, 0);
    if (base == MAP_FAILED)
        return failOn(errno);
    std::lock_guard guard(reg.Lock);
    if (object->Views > 0) {
        munmap(base, size_t(newMap));
        return mapped();
    }
    munmap(object->Base, object->MapSize);
    object->Base = static_cast<char*>(base);
    object->MapSize = size_t(newMap);
    object->Head()->DataSize = newMap - kDataOffset;
    return true;
}

void SetSharedObjectsProbe(void (*probe)(TSharedStep step))
{
    Probe = probe;
}

bool UnmapNamedMemory(void* view)
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

bool CloseNamedObject(TSharedHandle handle)
{
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

bool SetNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) {
        __atomic_store_n(&state->Signaled, 1, __ATOMIC_SEQ_CST);
        return true;
    });
}

int ListenNamedEvent(TSharedHandle event)
{
    auto object = Find(event, Kind::Event);
    const auto fail = [&](int error, const QString& detail) {
        LastError = error;
        LastMessage = SystemErrorText(error, detail);
        return -1;
    };
    sockaddr_un address{};
    if (!object || object->Fd < 0 || !BellAddress(*object, address))
        return fail(EINVAL, QStringLiteral("The event cannot be listened to through a descriptor."));
    // Without /proc the socket could only be reached by the folder's path,
    // which another user may have swapped for a folder of their own.
    if (const int error = FolderReachError(object->Folder)) {
        LastError = error;
        LastMessage = PathErrorText(error, FolderPath(*object));
        return -1;
    }
    const QString path = QString::fromLocal8Bit(object->Path);
    {
        std::lock_guard guard(object->BellLock);
        if (object->Listening)
            return fail(EBUSY, QStringLiteral("This process listens to the event %1 already.").arg(path));
    }
    const int fd = BellSocket();
    if (fd < 0)
        return fail(errno, qt_error_string(errno));
    // Under the bookkeeping lock: two processes never both find the name
    // of a killed listener and bind it one after the other.
    FileLock lock(object->Fd, kBookkeepingMs);
    if (!lock.Locked()) {
        close(fd);
        return fail(EWOULDBLOCK, QStringLiteral("The event %1 is kept busy by another process.").arg(path));
    }
    const QByteArray& bell = object->Bell;
    const auto bindBell = [&] {
        return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    };
    bool bound = bindBell();
    if (!bound && errno == EADDRINUSE && !BellAnswers(address)) {
        unlinkat(object->Folder, bell.constData(), 0);
        bound = bindBell();
    }
    if (!bound) {
        const int error = errno;
        close(fd);
        return fail(error, error == EADDRINUSE
                               ? QStringLiteral("Another process listens to the event %1.").arg(path)
                               : qt_error_string(error));
    }
    fchmodat(object->Folder, bell.constData(), 0600, 0);
    {
        std::lock_guard guard(object->BellLock);
        object->Listening = true;
    }
    __atomic_add_fetch(&object->Head()->Listeners, 1, __ATOMIC_SEQ_CST);
    return fd;
}

bool UnlistenNamedEvent(TSharedHandle event)
{
    auto object = Find(event, Kind::Event);
    if (!object)
        return false;
    StopListening(*object);
    return true;
}

int DrainEventDescriptor(int descriptor)
{
    int rings = 0;
    char buffer[64];
    for (;;) {
        const ssize_t got = recv(descriptor, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return rings;
        ++rings;
    }
}

bool ResetNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) {
        __atomic_store_n(&state->Signaled, 0, __ATOMIC_SEQ_CST);
        return false; // releases nobody
    });
}

bool PulseNamedEvent(TSharedHandle event)
{
    return ChangeEvent(event, [](EventState* state) {
        // A new generation releases every waiter that began before it (a
        // manual-reset event), or offers one of them a pulse to take.
        const uint32_t taken = Load(state->ManualReset) ? 0 : 1;
        uint32_t pulse = Load(state->Pulse);
        while (!CompareExchange(state->Pulse, pulse, (((pulse >> 8) + 1) << 8 | taken) & 0xFFFFFFFFu)) {
        }
        __atomic_store_n(&state->Signaled, 0, __ATOMIC_SEQ_CST);
        return true;
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
    if (auto event = Find(handle, Kind::Event)) {
        WaitList list;
        list.Add(std::move(event));
        return WaitEvents(list, timeoutMs, nullptr);
    }
    return TWaitResult::wrFailed;
}

template <class Handles> TWaitResult WaitOnHandles(const Handles& events, uint32_t timeoutMs, int* index)
{
    WaitList list;
    for (TSharedHandle handle : events) {
        auto object = Find(handle, Kind::Event);
        if (!object)
            return TWaitResult::wrFailed;
        list.Add(std::move(object));
    }
    return WaitEvents(list, timeoutMs, index);
}

TWaitResult WaitNamedEvents(const std::vector<TSharedHandle>& events, uint32_t timeoutMs, int* index)
{
    return WaitOnHandles(events, timeoutMs, index);
}

TWaitResult WaitNamedEvents(std::initializer_list<TSharedHandle> events, uint32_t timeoutMs, int* index)
{
    return WaitOnHandles(events, timeoutMs, index);
}
