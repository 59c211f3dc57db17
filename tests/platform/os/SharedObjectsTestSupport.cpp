#include "tests/platform/os/SharedObjectsTestSupport.h"

#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace sharedobjects_test {

QString Unique(const char* name)
{
    return QStringLiteral("test-%1-%2").arg(getpid()).arg(QLatin1String(name));
}

namespace {

// The bytes at offset of the file of this user's event name, as T; nullopt
// where they cannot be read.
template <typename T> std::optional<T> EventBytes(const QString& name, off_t offset)
{
    const QByteArray path = ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), "E-" + name.toUtf8());
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    T value{};
    const bool read = fd >= 0 && pread(fd, &value, sizeof(value), offset) == ssize_t(sizeof(value));
    if (fd >= 0)
        close(fd);
    return read ? std::optional<T>(value) : std::nullopt;
}

} // namespace

int SleepersOn(const QString& name)
{
    using namespace sharedobjects_layout;
    const auto word = EventBytes<uint64_t>(name, kDataOffset + offsetof(EventWords, Word));
    return word ? RegisteredWaiters(*word) : -1;
}

int ListenersOf(const QString& name)
{
    using namespace sharedobjects_layout;
    const auto listeners = EventBytes<uint32_t>(name, offsetof(SharedHead, Listeners));
    return listeners ? int(*listeners) : -1;
}

long SystemCallOf(const QByteArray& task)
{
    QFile file(QString::fromLocal8Bit(task + "/syscall"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool number = false;
    const long call = file.readAll().split(' ').value(0).toLong(&number);
    return number ? call : -1;
}

QByteArray ThreadFolder()
{
    return "/proc/" + QByteArray::number(getpid()) + "/task/" + QByteArray::number(long(syscall(SYS_gettid)));
}

int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

TTwoThreadRace::TTwoThreadRace(const std::function<void(int)>& raced, const std::function<void(int)>& after)
{
    std::atomic<int> arrived{0};
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] {
            ++arrived;
            while (arrived.load() < 2) {
            }
            Began[i] = MonotonicNs();
            raced(i);
            Ended[i] = MonotonicNs();
            if (after)
                after(i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

bool SleepersReach(const QString& name, int count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (SleepersOn(name) != count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        usleep(1000);
    }
    return true;
}

bool ShmExists(const QString& kindAndName)
{
    struct stat st {};
    const QByteArray path = ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), kindAndName.toUtf8());
    return stat(path.constData(), &st) == 0;
}

pid_t Spawn(const std::function<void()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        // An exception ends the child; it must not go on to the parent's
        // tests.
        try {
            body();
        } catch (...) {
            _exit(99);
        }
        _exit(0);
    }
    return pid;
}

void Kill(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

uid_t MadeUpUid(int n)
{
    return MadeUpId(kFirstFreeSlot + unsigned(n));
}

QByteArray FolderOf(uid_t uid)
{
    return RunAsUser(uid,
                     [] {
                         unsetenv("XDG_RUNTIME_DIR");
                         return SharedObjectsFolder();
                     })
        .toLocal8Bit();
}

void RemoveFolder(const QByteArray& folder)
{
    for (const QByteArray& name : NamesIn(folder))
        unlink((folder + '/' + name).constData());
    rmdir(folder.constData());
}

void RemoveFolderOf(uid_t uid)
{
    RemoveObjectFoldersOf(uid, uid);
}

pid_t SpawnAsUser(uid_t uid, const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
            _exit(100);
        try {
            _exit(body());
        } catch (...) {
            _exit(99); // not on to the parent's tests
        }
    }
    return pid;
}

int ExitCode(pid_t pid)
{
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int AsUser(uid_t uid, const std::function<int()>& body)
{
    return ExitCode(SpawnAsUser(uid, body));
}

QByteArray FileText(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool EventStillWorks(const QString& name, bool manual)
{
    Child waiter([&] {
        const TSharedHandle h = OpenNamedEvent(name, manual);
        return WaitNamedObject(h, 2000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    usleep(50'000);
    const TSharedHandle event = OpenNamedEvent(name, manual);
    QElapsedTimer timer;
    timer.start();
    SetNamedEvent(event);
    const bool setAtOnce = timer.elapsed() < 500;
    const bool woken = waiter.Result() == 'W';
    ResetNamedEvent(event);
    CloseNamedObject(event);
    return setAtOnce && woken;
}

QByteArray Look(const QByteArray& path)
{
    struct stat st {};
    if (lstat(path.constData(), &st) != 0)
        return "(nothing)";
    QByteArray look = QByteArray::number(st.st_mode, 8) + ' ' + QByteArray::number(st.st_uid) + ' ' +
                      QByteArray::number(qulonglong(st.st_ino)) + ' ' + QByteArray::number(qlonglong(st.st_size));
    if (S_ISDIR(st.st_mode)) {
        QList<QByteArray> names = NamesIn(path);
        std::sort(names.begin(), names.end());
        look += " [" + names.join(',') + ']';
    } else if (S_ISREG(st.st_mode)) {
        look += ' ' + FileText(path);
    }
    return look;
}

QByteArray ModeAndOwner(const QByteArray& path)
{
    return Look(path).split(' ').mid(0, 2).join(' ');
}

void RemoveName(const QByteArray& path)
{
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        RemoveFolder(path);
    else
        unlink(path.constData());
}

std::unique_ptr<TFreshProcess> Script(uid_t uid, const TPlace& place, const std::function<QString()>& become,
                                      const QStringList& environment)
{
    return std::make_unique<TFreshProcess>(QStringLiteral(TESSVAR_SHARED_OBJECTS_PEER), QStringList{"script"},
                                           become ? become : [=] { return BecomeUserAt(place, uid, uid); },
                                           environment);
}

QByteArray ObjectFile(uid_t uid, const QByteArray& kindAndName, const QByteArray& prefix)
{
    return prefix + QByteArray::number(uint(uid)) + '-' + kindAndName;
}

QByteArray ObjectPath(const QByteArray& folder, uid_t uid, const QByteArray& kindAndName,
                      const QByteArray& prefix)
{
    return folder + '/' + ObjectFile(uid, kindAndName, prefix);
}

QList<QByteArray> ObjectsIn(const QByteArray& folder, uid_t uid, const QList<QByteArray>& kindsAndNames)
{
    QList<QByteArray> found;
    for (const QByteArray& file : NamesIn(folder))
        for (const QByteArray& kindAndName : kindsAndNames)
            if (file == ObjectFile(uid, kindAndName))
                found << file;
    return found;
}

std::unique_ptr<TFreshProcess> Script(uid_t uid, const TRuntimeFolder& runtime)
{
    return Script(uid, {}, {}, {runtime.Setting()});
}

int HeldFile(const QByteArray& path, uid_t uid, mode_t mode)
{
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    EXPECT_GE(fd, 0) << path.constData();
    EXPECT_EQ(fchown(fd, uid, uid), 0);
    EXPECT_EQ(fchmod(fd, mode), 0);
    struct flock use {};
    use.l_type = F_RDLCK;
    use.l_len = 1;
    EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &use), 0);
    return fd;
}

QString OwnDevShm(const char* options)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tessvar-test", "/dev/shm", "tmpfs", 0, options) != 0)
        return QStringLiteral("no /dev/shm of its own: %1").arg(qt_error_string(errno));
    return QString();
}

void BecomeWithoutRuntime(uid_t uid)
{
    if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0 || !BecomeReadableToTracer().isEmpty())
        _exit(100);
    unsetenv("XDG_RUNTIME_DIR");
}

} // namespace sharedobjects_test

#include <sys/file.h>

namespace sharedobjects_test {

int TryBookkeepingLock(const QByteArray& path)
{
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error == 0)
        flock(fd, LOCK_UN);
    close(fd);
    return error;
}

TPausedChild::TPausedChild(const std::function<char()>& body, const std::function<void()>& atRelease)
{
    int ready[2];
    int go[2];
    EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(go, O_CLOEXEC), 0);
    FPid = fork();
    if (FPid == 0) {
        close(ready[0]);
        close(go[1]);
        char result = 'X'; // an exception, which must not go on to the parent's tests
        try {
            result = body();
        } catch (...) {
        }
        (void)!write(ready[1], &result, 1);
        // A byte, not the pipe's end: a later fork of the parent may hold
        // the writing end open.
        char byte;
        while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
        }
        try {
            if (atRelease)
                atRelease();
        } catch (...) {
            _exit(99);
        }
        _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    FReady = ready[0];
    FGo = go[1];
}

char TPausedChild::Ready()
{
    if (!FHaveResult && FReady >= 0) {
        if (read(FReady, &FResult, 1) != 1)
            FResult = 0;
        FHaveResult = true;
    }
    return FResult;
}

int TPausedChild::Release()
{
    if (FPid > 0) {
        const char go = 'g';
        (void)!write(FGo, &go, 1);
        close(FGo);
        close(FReady);
        FExitCode = ExitCode(FPid);
        FPid = -1;
    }
    return FExitCode;
}

} // namespace sharedobjects_test

#include "tests/support/Privileges.h"

#include <QFile>

namespace sharedobjects_test {

QString RamfsWithheld()
{
    if (geteuid() != 0)
        return UserNamespacesWithheld();
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        return withheld;
    return MadeUpUsersWithheld();
}

TRamfsPoint::TRamfsPoint(const char* tag)
    : Path("/tmp/tessvar-ramfs-" + QByteArray(tag) + '-' + QByteArray::number(getpid()))
{
    RemoveName(Path);
    EXPECT_EQ(mkdir(Path.constData(), 0755), 0) << Path.constData();
}

TRamfsPoint::~TRamfsPoint()
{
    // The ramfs went with the namespaces of the children that mounted it.
    rmdir(Path.constData());
}

namespace {

// Writes text into the file at path (a map of the user namespace): empty,
// or why not.
QString WriteSetting(const char* path, const QByteArray& text)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
        return QStringLiteral("cannot write %1: %2").arg(QLatin1String(path), file.errorString());
    return QString();
}

} // namespace

QString EnterOwnRamfs(const QByteArray& point, uid_t uid)
{
    return EnterOwnFileSystem(point, uid, "ramfs", "mode=0755");
}

QString EnterOwnFileSystem(const QByteArray& point, uid_t uid, const char* type, const char* options)
{
    const uid_t self = geteuid();
    const gid_t group = getegid();
    if (self != 0) {
        // Root of a user namespace of its own, which may mount a ramfs.
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return QStringLiteral("no user and mount namespace of its own: %1").arg(qt_error_string(errno));
        for (const auto& [path, text] :
             {std::pair{"/proc/self/setgroups", QByteArray("deny")},
              std::pair{"/proc/self/uid_map", "0 " + QByteArray::number(self) + " 1"},
              std::pair{"/proc/self/gid_map", "0 " + QByteArray::number(group) + " 1"}})
            if (const QString failed = WriteSetting(path, text); !failed.isEmpty())
                return failed;
    } else if (unshare(CLONE_NEWNS) != 0) {
        return QStringLiteral("no mount namespace of its own: %1").arg(qt_error_string(errno));
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tessvar-test", point.constData(), type, 0, options) != 0)
        return QStringLiteral("no %1 at %2: %3")
            .arg(QLatin1String(type), QString::fromLocal8Bit(point), qt_error_string(errno));
    const QByteArray runtime = point + "/run";
    if (mkdir(runtime.constData(), 0700) != 0 || (self == 0 && chown(runtime.constData(), uid, uid) != 0))
        return QStringLiteral("no folder %1: %2")
            .arg(QString::fromLocal8Bit(runtime), qt_error_string(errno));
    setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
    return self == 0 ? BecomeUser(uid, uid, {}) : QString();
}

QString RunOnRamfs(uid_t uid, const std::function<QString()>& body)
{
    const TRamfsPoint point("run");
    return RunInChild([&] { return EnterOwnRamfs(point.Path, uid); }, body);
}

QString OwnRuntimeTmpfs(const QByteArray& mountPoint, const char* options, uid_t owner, mode_t mode,
                        bool readOnly)
{
    const auto why = [](const char* step) {
        return QStringLiteral("%1: %2").arg(QLatin1String(step), qt_error_string(errno));
    };
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return why("no mount namespace of its own");
    if (mount("tessvar-test", mountPoint.constData(), "tmpfs", 0, options) != 0)
        return why("no tmpfs of its own");
    const QByteArray folder = mountPoint + "/run";
    if (mkdir(folder.constData(), 0700) != 0 || chown(folder.constData(), owner, owner) != 0 ||
        chmod(folder.constData(), mode) != 0)
        return why("cannot make the folder in the tmpfs");
    if (readOnly && mount(nullptr, mountPoint.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return why("cannot remount the tmpfs read-only");
    return QString();
}

bool TSharedObjectsTest::Withheld(const QString& reason)
{
    if (reason.isEmpty())
        return false;
    [&] { GTEST_SKIP() << reason.toStdString(); }();
    return true;
}

void TSharedObjectsTest::KeepFolderClean(uid_t uid)
{
    RemoveFolderOf(uid);
    FCleanFolders.push_back(uid);
}

void TSharedObjectsTest::TearDown()
{
    for (const uid_t uid : FCleanFolders)
        RemoveFolderOf(uid);
}

} // namespace sharedobjects_test
