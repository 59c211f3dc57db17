#include "tests/support/Privileges.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeaseHolder.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/MemoryCgroup.h"
#include "tests/support/UserNamespace.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/kcmp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString SystemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A setting of the system as /proc/sys shows it ("0"), or empty where it
// cannot be read (a kernel without it).
QByteArray SettingOf(const char* name)
{
    QFile setting(QString::fromLatin1(name));
    return setting.open(QIODevice::ReadOnly) ? setting.readAll().trimmed() : QByteArray();
}

bool HasCapability(int capability)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    return ::syscall(SYS_capget, &header, data) == 0 &&
           (data[CAP_TO_INDEX(capability)].effective & CAP_TO_MASK(capability)) != 0;
}

// " (this process lacks name)" where it lacks capability, else empty: what
// a refusal that capability would have let through adds to its reason.
QString LackOf(int capability, const char* name)
{
    return HasCapability(capability) ? QString()
                                     : QStringLiteral(" (this process lacks %1)").arg(QLatin1String(name));
}

QString WhyNoMadeUpUsers()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to act as made-up users");
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/tessvar-user-XXXXXX"));
    if (!file.open())
        return QStringLiteral("no file to give away");
    // The lowest id of the block is given a file, and the process becomes
    // the highest: a user namespace that maps only part of it is caught.
    const uid_t low = MadeUpId(kProbeLowSlot);
    if (::chown(QFile::encodeName(file.fileName()).constData(), low, low) != 0) {
        const QString reason = SystemReason();
        const QString unmapped = UnmappedHere(low);
        return QStringLiteral("cannot give a file to a made-up user: ") +
               (unmapped.isEmpty() ? reason : QStringLiteral("%1 (%2)").arg(unmapped, reason));
    }
    const uid_t high = MadeUpId(kProbeHighSlot);
    const QString answer = RunInChild([] { return QString(); }, [&] { return BecomeUser(high, high, {}); });
    if (answer.isEmpty())
        return QString();
    const QString unmapped = UnmappedHere(high);
    return QStringLiteral("cannot act as a made-up user: ") + answer +
           (unmapped.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unmapped));
}

QString WhyNoMountNamespace()
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
    if (answer.isEmpty())
        return QString();
    // Both calls need CAP_SYS_ADMIN; where it is there, the refusal is the
    // system's alone (a seccomp profile).
    return QStringLiteral("no mount namespace of its own: ") + answer +
           LackOf(CAP_SYS_ADMIN, "CAP_SYS_ADMIN");
}

QString WhyNoUserNamespace()
{
    // In a child: a process of many threads may not make one.
    const QString answer = RunInChild(
        [] { return QString(); }, [] { return ::unshare(CLONE_NEWUSER) != 0 ? SystemReason() : QString(); });
    if (answer.isEmpty())
        return QString();
    const QString why = QStringLiteral("no user namespace of its own: ") + answer;
    // The limit of this process's own user namespace, which a new one counts
    // against (ENOSPC where it is reached).
    if (SettingOf("/proc/sys/user/max_user_namespaces") == "0")
        return why + QStringLiteral(" (user.max_user_namespaces is 0)");
    return why;
}

QString WhyNoNamespaceMaps()
{
    if (const QString why = WhyNoMadeUpUsers(); !why.isEmpty())
        return why;
    const uid_t low = MadeUpId(kProbeLowSlot);
    const QByteArray map =
        "0 " + QByteArray::number(low) + " 1\n65534 " + QByteArray::number(MadeUpId(kProbeHighSlot)) + " 1\n";
    const QString answer =
        RunInChild([] { return QString(); },
                   [&] { return EnterMappedNamespace(map, map, [&] { return BecomeUser(low, low, {}); }); });
    if (answer.isEmpty())
        return QString();
    // Past the made-up users' CAP_SETUID and CAP_SETGID, the writer outside
    // needs CAP_SYS_ADMIN over the namespace it writes the maps of.
    return QStringLiteral("no user namespace of several ids: ") + answer +
           LackOf(CAP_SYS_ADMIN, "CAP_SYS_ADMIN");
}

QString WhyNoTracing()
{
    const QString refused = WhyNoSystemCallStops();
    if (refused.isEmpty())
        return QString();
    const QString why = QStringLiteral("a child cannot be traced at each system call: ") + refused;
    // Yama, where the kernel has it, refuses a child's PTRACE_TRACEME at
    // scope 3 always and at 2 unless its tracer has CAP_SYS_PTRACE; else
    // the refusal is the system's alone (a seccomp profile without ptrace).
    const QByteArray scope = SettingOf("/proc/sys/kernel/yama/ptrace_scope");
    if (scope == "3")
        return why + QStringLiteral(" (kernel.yama.ptrace_scope is 3: no process may trace another)");
    if (scope == "2" && !HasCapability(CAP_SYS_PTRACE))
        return why + QStringLiteral(" (kernel.yama.ptrace_scope is 2 and this process lacks CAP_SYS_PTRACE)");
    return why;
}

// A text of this process's, at the same address in a forked child.
constexpr char kTracedMark[] = "tessvar-traced";

QString WhyNoTracedMemory()
{
    const uid_t high = MadeUpId(kProbeHighSlot);
    TTracedChild child([high] {
        if (!BecomeUser(high, high, {}).isEmpty())
            ::_exit(3);
        // As BecomeReadableToTracer makes it, done here on its own so that
        // a fault of that helper fails the tests that use it rather than
        // making them skip.
        if (::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0) != 0)
            ::_exit(4);
        ::getppid(); // where the tracer reads
    });
    if (!child.Refused().isEmpty())
        return QStringLiteral("a child cannot be traced: ") + child.Refused();
    if (!child.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; })) {
        const int code = child.Finish();
        return code == 3   ? QStringLiteral("the traced child cannot act as a made-up user")
               : code == 4 ? QStringLiteral("the traced child cannot be made dumpable again")
                           : QStringLiteral("the traced child ended with %1 before it was read").arg(code);
    }
    char word[sizeof(long)] = {};
    errno = 0;
    const long read = ::ptrace(PTRACE_PEEKDATA, child.Pid(), kTracedMark, nullptr);
    const QString refused = errno != 0 ? SystemReason() : QString();
    std::memcpy(word, &read, sizeof word);
    QString why;
    if (!refused.isEmpty())
        why = QStringLiteral("the memory of a traced child that became another user cannot be read: "
                             "PTRACE_PEEKDATA: ") +
              refused + LackOf(CAP_SYS_PTRACE, "CAP_SYS_PTRACE");
    else if (std::memcmp(word, kTracedMark, sizeof word) != 0)
        why = QStringLiteral("the memory of a traced child reads otherwise than it is");
    if (const int code = child.Finish(); why.isEmpty() && code != 0)
        why = QStringLiteral("the traced child ended with %1 after it was read").arg(code);
    return why;
}

QString LeaseKind(int kind)
{
    return kind == F_RDLCK ? QStringLiteral("read") : QStringLiteral("write");
}

QString WhyNoLease(const QString& folder, int kind)
{
    if (SettingOf("/proc/sys/fs/leases-enable") == "0")
        return QStringLiteral("leases are turned off (fs.leases-enable is 0)");
    // A plain file, closed before the lease: a temporary one may keep its
    // descriptor open for writing, and no read lease is granted on a file
    // open for writing anywhere.
    const QString name = QDir(folder).filePath(QStringLiteral("lease-probe-%1").arg(::getpid()));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QStringLiteral("no file to lease in ") + folder;
    file.close();
    const auto removed = qScopeGuard([&] { QFile::remove(name); });
    TLeaseHolder holder(name, kind);
    if (!holder.Failure().isEmpty())
        return QStringLiteral("no %1 lease on a file of %2: ").arg(LeaseKind(kind), folder) +
               holder.Failure();
    return QString();
}

QString WhyNoDeviceNode(const QString& folder)
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

QString WhyNoMemoryCgroup()
{
    const TMemoryCgroup group(64 << 20);
    if (!group.Failure().isEmpty())
        return QStringLiteral("no memory cgroup of its own: ") + group.Failure();
    const QString answer = RunInChild([&] { return group.Join(); }, [] { return QString(); });
    return answer.isEmpty() ? QString() : QStringLiteral("a child cannot join a memory cgroup: ") + answer;
}

} // namespace

QString ProbeAnswer(const QString& privilege, const QString& reason)
{
    if (!reason.isEmpty() && qEnvironmentVariable("TESSVAR_TEST_ALL_PRIVILEGES") == QLatin1String("1"))
        ADD_FAILURE() << privilege.toStdString() << " withheld, where TESSVAR_TEST_ALL_PRIVILEGES=1 says "
                      << "every privilege is there: " << reason.toStdString();
    return reason;
}

QString MadeUpUsersWithheld()
{
    return ProbeAnswer(QStringLiteral("made-up users"), WhyNoMadeUpUsers());
}

QString OrdinaryUserWithheld()
{
    return ::geteuid() == 0 ? MadeUpUsersWithheld() : QString();
}

QString MountNamespaceWithheld()
{
    return ProbeAnswer(QStringLiteral("a mount namespace"), WhyNoMountNamespace());
}

QString UserNamespacesWithheld()
{
    return ProbeAnswer(QStringLiteral("user namespaces"), WhyNoUserNamespace());
}

QString NamespaceMapsWithheld()
{
    return ProbeAnswer(QStringLiteral("a user namespace's maps"), WhyNoNamespaceMaps());
}

QString MemoryCgroupWithheld()
{
    return ProbeAnswer(QStringLiteral("a memory cgroup"), WhyNoMemoryCgroup());
}

QString DescriptorTablesWithheld()
{
    const long same = ::syscall(SYS_kcmp, ::getpid(), ::getpid(), KCMP_FILES, 0, 0);
    return ProbeAnswer(QStringLiteral("kcmp"),
                       same == 0
                           ? QString()
                           : QStringLiteral("kcmp cannot compare this process's tables of descriptors: ") +
                                 SystemReason());
}

QString TracingWithheld()
{
    return ProbeAnswer(QStringLiteral("tracing"), WhyNoTracing());
}

QString TracedMemoryWithheld()
{
    return ProbeAnswer(QStringLiteral("a traced child's memory"), WhyNoTracedMemory());
}

QString LeasesWithheld(const QString& folder, int kind)
{
    return ProbeAnswer(LeaseKind(kind) + QStringLiteral(" leases"), WhyNoLease(folder, kind));
}

QString DeviceNodesWithheld(const QString& folder)
{
    return ProbeAnswer(QStringLiteral("device nodes"), WhyNoDeviceNode(folder));
}

QString UnmappedHere(uid_t id)
{
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (!map.open(QIODevice::ReadOnly))
        return QString(); // no user namespaces: every id is there
    // Lines of "first-inside first-outside count".
    for (const QByteArray& line : map.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 3 && id >= fields[0].toULongLong() &&
            id < fields[0].toULongLong() + fields[2].toULongLong())
            return QString();
    }
    return QStringLiteral("the made-up user %1 is not mapped in this user namespace").arg(id);
}
