#include "tests/support/Privileges.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeaseHolder.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString SystemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Made-up users of no group here, drawn from the process id as the tests'
// own made-up users are: one below and one above every id those take
// (60000 to 71999), so that a user namespace mapping both maps theirs too.
uid_t LowProbeUser()
{
    return uid_t(59000 + unsigned(::getpid()) % 1000);
}

uid_t HighProbeUser()
{
    return uid_t(72000 + unsigned(::getpid()) % 1000);
}

} // namespace

QString MadeUpUsersWithheld()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to act as made-up users");
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/tessvar-user-XXXXXX"));
    if (!file.open())
        return QStringLiteral("no file to give away");
    const uid_t low = LowProbeUser();
    if (::chown(QFile::encodeName(file.fileName()).constData(), low, low) != 0)
        return QStringLiteral("cannot give a file to a made-up user: ") + SystemReason();
    const uid_t high = HighProbeUser();
    const QString answer = RunInChild([] { return QString(); }, [&] { return BecomeUser(high, high, {}); });
    return answer.isEmpty() ? QString() : QStringLiteral("cannot act as a made-up user: ") + answer;
}

QString MountNamespaceWithheld()
{
    // The answer comes from the child's body, so that it is the reason alone.
    const QString answer =
        RunInChild([] { return QString(); },
                   [] {
                       if (::unshare(CLONE_NEWNS) != 0 ||
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                           return SystemReason();
                       return QString();
                   });
    return answer.isEmpty() ? QString() : QStringLiteral("no mount namespace of its own: ") + answer;
}

QString LeasesWithheld(const QString& folder)
{
    {
        QFile setting(QStringLiteral("/proc/sys/fs/leases-enable"));
        if (setting.open(QIODevice::ReadOnly) && setting.readAll().trimmed() == "0")
            return QStringLiteral("leases are turned off (fs.leases-enable is 0)");
    }
    // A plain file, closed before the lease: a temporary one may keep its
    // descriptor open for writing, and no read lease is granted on a file
    // open for writing anywhere.
    const QString name = QDir(folder).filePath(QStringLiteral("lease-probe-%1").arg(::getpid()));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QStringLiteral("no file to lease in ") + folder;
    file.close();
    const auto removed = qScopeGuard([&] { QFile::remove(name); });
    // Both kinds: a file system may grant read leases and refuse write ones
    // (a write lease wants no other reference to the file).
    for (const int kind : {F_RDLCK, F_WRLCK}) {
        TLeaseHolder holder(name, kind);
        if (!holder.Failure().isEmpty())
            return QStringLiteral("no %1 lease on a file of %2: ")
                       .arg(kind == F_RDLCK ? QStringLiteral("read") : QStringLiteral("write"), folder) +
                   holder.Failure();
    }
    return QString();
}

QString DeviceNodesWithheld(const QString& folder)
{
    const QByteArray node = QFile::encodeName(QDir(folder).filePath(QStringLiteral("probe-null")));
    if (::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        return QStringLiteral("cannot make a device node: ") + SystemReason();
    // A file system mounted nodev takes the node but refuses to open it.
    const int handle = ::open(node.constData(), O_RDONLY | O_CLOEXEC);
    const QString refused = handle < 0 ? SystemReason() : QString();
    if (handle >= 0)
        ::close(handle);
    ::unlink(node.constData());
    if (!refused.isEmpty())
        return QStringLiteral("a device node made in %1 cannot be opened: %2").arg(folder, refused);
    return QString();
}

// TEMPORARY: replaced by the probe of the privileges branch at its merge.
QString UserNamespacesWithheld()
{
    const QString answer = RunInChild(
        [] { return QString(); }, [] { return ::unshare(CLONE_NEWUSER) != 0 ? SystemReason() : QString(); });
    return answer.isEmpty() ? QString() : QStringLiteral("no user namespace of its own: ") + answer;
}

// TEMPORARY: replaced by the probe of the privileges branch at its merge.
QString TracingWithheld()
{
    return QString();
}
