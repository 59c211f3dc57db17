#include "tests/support/UserNamespace.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/Privileges.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString SystemReason(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Writes text to a file of /proc in one write, as the maps want it.
bool WriteSetting(const QByteArray& name, const QByteArray& text)
{
    const int handle = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (handle < 0)
        return false;
    const bool written = ::write(handle, text.constData(), size_t(text.size())) == text.size();
    const int error = errno;
    ::close(handle);
    errno = error;
    return written;
}

QByteArray MapLine(unsigned inside, unsigned outside)
{
    return QByteArray::number(inside) + ' ' + QByteArray::number(outside) + " 1\n";
}

// Enters a user namespace that maps only this process's own user and group,
// as inside and insideGroup: the maps an ordinary user may write itself.
QString EnterOwnNamespace(uid_t inside, gid_t insideGroup)
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    // A change of user leaves the process undumpable, and its files in /proc
    // then belong to root: it could not write its own maps.
    if (::prctl(PR_SET_DUMPABLE, 1) != 0)
        return SystemReason("prctl");
    if (::unshare(CLONE_NEWUSER) != 0)
        return SystemReason("no user namespace");
    if (!WriteSetting("/proc/self/setgroups", "deny") ||
        !WriteSetting("/proc/self/gid_map", MapLine(insideGroup, gid)) ||
        !WriteSetting("/proc/self/uid_map", MapLine(inside, uid)))
        return SystemReason("cannot write the maps");
    return QString();
}

// The maps of a rootless container where uid of gid is root, 1 stands for
// ContainerUser (its group is not mapped) and 65534 for NamespaceNobody.
QString EnterContainer(uid_t uid, gid_t gid, const std::vector<gid_t>& groups)
{
    const unsigned nobody = NamespaceNobody();
    return EnterMappedNamespace(MapLine(0, uid) + MapLine(1, ContainerUser()) + MapLine(65534, nobody),
                                MapLine(0, gid) + MapLine(65534, nobody),
                                [&] { return BecomeUser(uid, gid, groups); });
}

} // namespace

QString EnterMappedNamespace(const QByteArray& uidMap, const QByteArray& gidMap,
                             const std::function<QString()>& first)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return SystemReason("pipe");
    const pid_t mapper = ::fork();
    if (mapper < 0)
        return SystemReason("fork");
    if (mapper == 0) {
        ::close(ready[1]);
        char byte = 0;
        if (::read(ready[0], &byte, 1) != 1)
            ::_exit(1);
        const QByteArray proc = "/proc/" + QByteArray::number(::getppid());
        const bool written =
            WriteSetting(proc + "/uid_map", uidMap) && WriteSetting(proc + "/gid_map", gidMap);
        // The reason why not, as the status.
        ::_exit(written ? 0 : errno > 0 && errno < 256 ? errno : 255);
    }
    ::close(ready[0]);
    QString failure = first ? first() : QString();
    if (failure.isEmpty() && ::unshare(CLONE_NEWUSER) != 0)
        failure = SystemReason("no user namespace");
    if (failure.isEmpty() && ::write(ready[1], "m", 1) != 1)
        failure = SystemReason("no word to the mapper");
    ::close(ready[1]);
    const int status = WaitForChild(mapper);
    if (failure.isEmpty() && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        failure = QStringLiteral("cannot write the maps from outside: ") +
                  QString::fromLocal8Bit(std::strerror(WIFEXITED(status) ? WEXITSTATUS(status) : EINTR));
    return failure;
}

uid_t NamespaceNobody()
{
    return MadeUpId(kNamespaceNobodySlot);
}

uid_t ContainerUser()
{
    return MadeUpId(kContainerUserSlot);
}

std::vector<TPlace> PlacesToRun(bool madeUpUsers, QString& notTried, bool asNobodyToo)
{
    std::vector<TPlace> places{{"outside a user namespace", std::nullopt}};
    if (const QString withheld = UserNamespacesWithheld(); !withheld.isEmpty()) {
        notTried = withheld + QStringLiteral(": the rows in a user namespace were not tried");
        return places;
    }
    places.push_back({"as a user namespace's root", TNamespaceLayout::AsRoot});
    places.push_back({"in a user namespace keeping its own id", TNamespaceLayout::AsItself});
    if (!madeUpUsers) {
        notTried = QStringLiteral("a rootless container's layout needs root: not tried");
    } else if (const QString withheld = NamespaceMapsWithheld(); !withheld.isEmpty()) {
        notTried = withheld + QStringLiteral(": a rootless container's layout was not tried");
    } else {
        places.push_back({"in a rootless container's user namespace", TNamespaceLayout::Container});
        if (asNobodyToo)
            places.push_back({"as a rootless container's nobody", TNamespaceLayout::ContainerNobody});
    }
    return places;
}

QString BecomeUserAt(const TPlace& place, uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
                     const std::function<QString()>& inNamespace)
{
    QString failure;
    if (place.Layout == TNamespaceLayout::Container || place.Layout == TNamespaceLayout::ContainerNobody) {
        failure = EnterContainer(uid, gid, groups);
    } else {
        if (uid != ::geteuid())
            failure = BecomeUser(uid, gid, groups);
        if (failure.isEmpty() && place.Layout) {
            const bool asRoot = *place.Layout == TNamespaceLayout::AsRoot;
            failure = EnterOwnNamespace(asRoot ? 0 : uid, asRoot ? 0 : gid);
        }
    }
    if (failure.isEmpty() && place.Layout && inNamespace)
        failure = inNamespace();
    // The supplementary groups stay, as the system keeps them.
    if (failure.isEmpty() && place.Layout == TNamespaceLayout::ContainerNobody &&
        (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
        failure = SystemReason("cannot become the namespace's nobody");
    return failure;
}
