#include "tests/support/RefusedCalls.h"

#include <bit>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
#error "the seccomp filter of these tests knows x86-64 and AArch64 only"
#endif

// A call the filter refuses with error: always, or where its argument of
// that number has one of flags set (with Exact, where it is flags).
struct TRefusal {
    int Call;
    int Argument = -1;
    uint32_t Flags = 0;
    int Error = EOPNOTSUPP;
    bool Exact = false;
};

// Installs a filter refusing each of refusals (calls of another
// architecture pass). Each refusal loads the call's number anew, as a test
// of an argument replaces it.
QString Refuse(const std::vector<TRefusal>& refusals)
{
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    for (const TRefusal& refusal : refusals) {
        const bool flagged = refusal.Argument >= 0;
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
        filter.push_back(
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(refusal.Call), 0, uint8_t(flagged ? 3 : 1)));
        if (flagged) {
            // The low 32 bits of the 64-bit argument.
            const uint32_t at = uint32_t(offsetof(seccomp_data, args) + 8 * size_t(refusal.Argument) +
                                         (std::endian::native == std::endian::big ? 4 : 0));
            filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at));
            filter.push_back(
                BPF_JUMP(BPF_JMP | (refusal.Exact ? BPF_JEQ : BPF_JSET) | BPF_K, refusal.Flags, 0, 1));
        }
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | uint32_t(refusal.Error)));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        return QStringLiteral("no seccomp filter");
    return QString();
}

} // namespace

QString WithoutUnnamedFiles()
{
    const QString failure = Refuse({{__NR_openat, 2, O_TMPFILE & ~O_DIRECTORY}});
    if (!failure.isEmpty())
        return failure;
    if (::open(".", O_TMPFILE | O_RDWR, 0600) >= 0 || errno != EOPNOTSUPP)
        return QStringLiteral("O_TMPFILE still there");
    return QString();
}

QString WithoutAclWrites()
{
    const QString failure = Refuse({{__NR_fsetxattr}, {__NR_fremovexattr}});
    if (!failure.isEmpty())
        return failure;
    // The filter answers before the kernel looks at the descriptor.
    if (::fremovexattr(-1, "system.posix_acl_access") == 0 || errno != EOPNOTSUPP ||
        ::fsetxattr(-1, "system.posix_acl_access", "", 0, 0) == 0 || errno != EOPNOTSUPP)
        return QStringLiteral("ACL writes still there");
    return QString();
}

QString WithoutAclSets()
{
    const QString failure = Refuse({{__NR_fsetxattr}});
    if (!failure.isEmpty())
        return failure;
    if (::fsetxattr(-1, "system.posix_acl_access", "", 0, 0) == 0 || errno != EOPNOTSUPP)
        return QStringLiteral("ACL sets still there");
    // Past the filter the kernel looks at the descriptor.
    if (::fremovexattr(-1, "system.posix_acl_access") == 0 || errno != EBADF)
        return QStringLiteral("ACL removals refused");
    return QString();
}

QString WithUnreadableAcls()
{
    const QString failure =
        Refuse({{__NR_getxattr, -1, 0, EIO}, {__NR_lgetxattr, -1, 0, EIO}, {__NR_fgetxattr, -1, 0, EIO}});
    if (!failure.isEmpty())
        return failure;
    if (::getxattr("/", "system.posix_acl_access", nullptr, 0) >= 0 || errno != EIO)
        return QStringLiteral("ACL reads still there");
    return QString();
}

QString WithoutTracing()
{
    const QString failure = Refuse({{__NR_ptrace, -1, 0, EPERM}});
    if (!failure.isEmpty())
        return failure;
    if (::ptrace(PTRACE_PEEKUSER, ::getpid(), nullptr, nullptr) != -1 || errno != EPERM)
        return QStringLiteral("ptrace still there");
    return QString();
}

QString WithoutMemoryReads()
{
    const QString failure = Refuse({{__NR_ptrace, 0, PTRACE_PEEKDATA, EIO, true}});
    if (!failure.isEmpty())
        return failure;
    // The filter answers before the kernel looks for the process.
    if (::ptrace(PTRACE_PEEKDATA, ::getpid(), nullptr, nullptr) != -1 || errno != EIO ||
        ::ptrace(PTRACE_PEEKUSER, ::getpid(), nullptr, nullptr) != -1 || errno != ESRCH)
        return QStringLiteral("memory reads still there");
    return QString();
}

namespace {

// Refuses unshare(flag) with EPERM, as a seccomp profile does; what names
// the kind of namespace in the failure.
QString WithoutNamespaces(int flag, const char* what)
{
    const QString failure = Refuse({{__NR_unshare, 0, uint32_t(flag), EPERM}});
    if (!failure.isEmpty())
        return failure;
    if (::unshare(flag) == 0 || errno != EPERM)
        return QStringLiteral("%1 namespaces still there").arg(QLatin1String(what));
    return QString();
}

} // namespace

QString WithoutUserNamespaces()
{
    return WithoutNamespaces(CLONE_NEWUSER, "user");
}

QString WithoutMountNamespaces()
{
    return WithoutNamespaces(CLONE_NEWNS, "mount");
}

QString WithoutKcmp(int error)
{
    const QString failure = Refuse({{__NR_kcmp, -1, 0, error}});
    if (!failure.isEmpty())
        return failure;
    if (::syscall(__NR_kcmp, ::getpid(), ::getpid(), 0, 0, 0) != -1 || errno != error)
        return QStringLiteral("kcmp still there");
    return QString();
}

QString WithoutLeases()
{
    const QString failure = Refuse({{__NR_fcntl, 1, F_SETLEASE, EINVAL, true}});
    if (!failure.isEmpty())
        return failure;
    // The filter answers before the kernel looks at the descriptor.
    if (::fcntl(-1, F_SETLEASE, F_RDLCK) == 0 || errno != EINVAL || ::fcntl(-1, F_GETLEASE) == 0 ||
        errno != EBADF)
        return QStringLiteral("leases still there");
    return QString();
}
