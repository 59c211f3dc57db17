#include "tests/platform/os/SharedObjectsTestSupport.h"

#include "platform/os/SharedObjects.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

namespace sharedobjects_test {

QString Unique(const char* name)
{
    return QStringLiteral("test-%1-%2").arg(getpid()).arg(QLatin1String(name));
}

bool ShmExists(const QString& kindAndName)
{
    struct stat st {};
    const QByteArray path = SharedObjectsFolder().toLocal8Bit() + "/tessvar4-" + QByteArray::number(uint(geteuid())) +
                            '-' + kindAndName.toUtf8();
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

QList<QByteArray> ObjectsIn(const QByteArray& folder, uid_t uid, const QList<QByteArray>& kindsAndNames)
{
    QList<QByteArray> found;
    for (const QByteArray& file : NamesIn(folder))
        for (const QByteArray& kindAndName : kindsAndNames)
            if (file == "tessvar4-" + QByteArray::number(uint(uid)) + '-' + kindAndName)
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
    if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
        _exit(100);
    unsetenv("XDG_RUNTIME_DIR");
}

} // namespace sharedobjects_test
