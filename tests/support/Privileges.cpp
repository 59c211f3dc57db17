#include "tests/support/Privileges.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeaseHolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
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

// A made-up user of no group here, drawn from the process id as the tests'
// own made-up users are.
uid_t ProbeUser()
{
    return uid_t(67000 + unsigned(::getpid()) % 1000);
}

} // namespace

QString MadeUpUsersWithheld()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to act as made-up users");
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/tessvar-user-XXXXXX"));
    if (!file.open())
        return QStringLiteral("no file to give away");
    const uid_t user = ProbeUser();
    if (::chown(QFile::encodeName(file.fileName()).constData(), user, user) != 0)
        return QStringLiteral("cannot give a file to a made-up user: ") + SystemReason();
    const QString answer = RunInChild([] { return QString(); }, [&] { return BecomeUser(user, user, {}); });
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
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral("lease-XXXXXX")));
    if (!file.open())
        return QStringLiteral("no file to lease");
    file.close();
    TLeaseHolder holder(file.fileName(), F_RDLCK);
    return holder.Failure();
}

QString DeviceNodesWithheld(const QString& folder)
{
    const QByteArray node = QFile::encodeName(QDir(folder).filePath(QStringLiteral("probe-null")));
    if (::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        return QStringLiteral("cannot make a device node: ") + SystemReason();
    ::unlink(node.constData());
    return QString();
}
