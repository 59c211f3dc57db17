// What every other file of the named objects stands on: the texts of their
// errors, this process's id, the paths in /proc by which the file or folder
// of a descriptor is reached, and the mend of the rights that a umask took from
// the owner of a file or folder. It calls no other file of the unit.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sharedobjects_detail {

void RegistryLock::WaitForIt()
{
    // Marked as having a sleeper before each sleep, so that the holder's
    // unlock wakes one; taken where the exchange finds it free.
    while (__atomic_exchange_n(&FState, 2, __ATOMIC_ACQUIRE) != 0)
        syscall(SYS_futex, &FState, FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
}

void RegistryLock::WakeOne()
{
    syscall(SYS_futex, &FState, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

QString SystemErrorText(int error, const QString& detail)
{
    return QStringLiteral("System Error.  Code: %1.\n%2").arg(error).arg(detail);
}

// An operating-system error on a file or folder, naming it.
QString PathErrorText(int error, const QByteArray& path)
{
    return SystemErrorText(error, qt_error_string(error) + QLatin1Char('\n') + QString::fromLocal8Bit(path));
}

// A memory block's size that its head would carry past the largest size a
// file (and int64_t) can have.
QString TooLargeText(const QByteArray& path, int64_t size)
{
    return SystemErrorText(
        EINVAL, QStringLiteral("The memory block %1 cannot hold %2 bytes: with its head of %3 bytes, "
                               "its file would pass the largest size a file can have.")
                    .arg(QString::fromLocal8Bit(path))
                    .arg(size)
                    .arg(kDataOffset));
}

// A call from a thread whose descriptors are not its process's, on what
// (an object's file, or the folder).
QString OwnTableText(const QString& what)
{
    return SystemErrorText(
        EINVAL,
        QStringLiteral("This thread has a table of descriptors of its own (unshare(CLONE_FILES)); the "
                       "named objects keep their descriptors in the table of the process, and only "
                       "its threads that share that table choose their folder, open, grow, listen to "
                       "or stop listening to them.\n") +
            what);
}

void (*Probe)(TSharedStep) = nullptr;

std::atomic<pid_t> CachedPid{0};

pid_t AskPid()
{
    const pid_t pid = getpid();
    CachedPid.store(pid, std::memory_order_relaxed);
    return pid;
}

void ForgetPid()
{
    CachedPid.store(0, std::memory_order_relaxed);
}

QByteArray DescriptorPath(int fd)
{
    static const char* const folder =
        access("/proc/thread-self/fd", F_OK) == 0 ? kThreadDescriptors : kProcessDescriptors;
    return folder + QByteArray::number(fd);
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

// Gives the owner the rights of mode where the file or folder (open as fd,
// of mode current) lacks some: a umask without the owner's bits made it so.
bool GiveOwnerRights(int fd, mode_t current, mode_t mode)
{
    return (current & mode) == mode || fchmod(fd, mode) == 0;
}

namespace {

int MendAndOpen(int place, int flags, mode_t mode);

} // namespace

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

namespace {

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

} // namespace

} // namespace sharedobjects_detail
