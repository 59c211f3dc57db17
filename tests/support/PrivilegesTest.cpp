// The probes of what a test may need beyond an ordinary user's rights: where
// the system withholds a privilege each names why, and where every
// privilege is said to be there (TESSVAR_TEST_ALL_PRIVILEGES=1) a privilege
// withheld fails the test instead of hiding it behind a skip.
#include "tests/support/Privileges.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/RefusedCalls.h"
#include "tests/support/UserNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kAllPrivileges[] = "TESSVAR_TEST_ALL_PRIVILEGES";

// The failures of the running test that call records, intercepted: each
// one's message.
QStringList FailuresOf(const std::function<void()>& call)
{
    ::testing::TestPartResultArray results;
    {
        const ::testing::ScopedFakeTestPartResultReporter intercepted(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        call();
    }
    QStringList failures;
    for (int i = 0; i < results.size(); ++i)
        if (results.GetTestPartResult(i).failed())
            failures << QString::fromUtf8(results.GetTestPartResult(i).message());
    return failures;
}

// Makes this process (a child, root) one of a user namespace of its own
// whose user and group ids map as map says (lines of "inside outside
// count"): an empty text, or why it could not.
QString EnterUserNamespace(const QByteArray& map)
{
    return EnterMappedNamespace(map, map);
}

// Writes text to name: an empty text, or why it could not.
QString Write(const QString& name, const QByteArray& text)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QStringLiteral("cannot write ") + name;
    return QString();
}

// Makes this process (a child, root) see text as the setting name of
// /proc/sys/kernel ("yama/ptrace_scope"), in a mount namespace of its own
// where that folder is a fresh one that holds it alone: the system's own
// settings stay as they are. An empty text, or why it could not.
QString ShowKernelSetting(const QString& name, const QByteArray& text)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/proc/sys/kernel", "tmpfs", 0, nullptr) != 0)
        return QStringLiteral("no mount namespace of its own: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    const QString path = QStringLiteral("/proc/sys/kernel/") + name;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("cannot make ") + QFileInfo(path).path();
    return Write(path, text);
}

// Each step in turn, up to the first that fails: an empty text, or why.
QString Steps(const std::vector<std::function<QString()>>& steps)
{
    for (const auto& step : steps)
        if (const QString failed = step(); !failed.isEmpty())
            return failed;
    return QString();
}

} // namespace

// Each probe in a child that a privilege is withheld from: it answers the
// system's reason and names the cause where it is a setting, a map or a
// capability the child lacks (and no capability where the child has it),
// and with TESSVAR_TEST_ALL_PRIVILEGES=1 it fails the test naming the
// privilege and the reason. The rows that make a user namespace need root
// that may map made-up users into one; those that show a kernel setting or
// keep CAP_SYS_ADMIN, a mount namespace.
TEST(Privileges, EachProbeNamesWhyItsPrivilegeIsWithheld)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray low = QByteArray::number(MadeUpId(kProbeLowSlot));
    const QString high = QString::number(MadeUpId(kProbeHighSlot));
    const QString unmapped = QStringLiteral("the made-up user %1 is not mapped in this user namespace");
    const QString untraced = QStringLiteral("a child cannot be traced at each system call: PTRACE_TRACEME: "
                                            "Operation not permitted");
    QString userNamespaces = MadeUpUsersWithheld();
    if (userNamespaces.isEmpty())
        userNamespaces = UserNamespacesWithheld();
    const QString mountNamespace = MountNamespaceWithheld();
    // A traced child that becomes a made-up user.
    QString tracedUsers = MadeUpUsersWithheld();
    if (tracedUsers.isEmpty())
        tracedUsers = TracingWithheld();
    // A user namespace of made-up users, made by a process that keeps
    // CAP_SYS_ADMIN (which the mount namespace's probe asks for).
    const QString userNamespacesAsAdmin = userNamespaces.isEmpty() ? mountNamespace : userNamespaces;
    const auto inNamespace = [](const QByteArray& map) { return [map] { return EnterUserNamespace(map); }; };
    const auto yamaAt = [](const QByteArray& scope, bool tracerMayTrace) {
        return [=] {
            return Steps({[&] { return ShowKernelSetting(QStringLiteral("yama/ptrace_scope"), scope); },
                          [&] { return tracerMayTrace ? QString() : DropCapability(CAP_SYS_PTRACE); },
                          WithoutTracing});
        };
    };
    struct TCase {
        const char* Name;
        const char* Privilege;
        const QString* Needs; // why the row cannot be arranged here, or null
        std::function<QString()> Withhold;
        std::function<QString()> Probe;
        QString Reason;
    };
    const TCase cases[] = {
        {"ptrace refused", "tracing", nullptr, WithoutTracing, TracingWithheld, untraced},
        {"ptrace refused under Yama's scope 3", "tracing", &mountNamespace, yamaAt("3", true),
         TracingWithheld, untraced + " (kernel.yama.ptrace_scope is 3: no process may trace another)"},
        {"ptrace refused under Yama's scope 2 without CAP_SYS_PTRACE", "tracing", &mountNamespace,
         yamaAt("2", false), TracingWithheld,
         untraced + " (kernel.yama.ptrace_scope is 2 and this process lacks CAP_SYS_PTRACE)"},
        {"ptrace refused under Yama's scope 2 with CAP_SYS_PTRACE", "tracing", &mountNamespace,
         yamaAt("2", true), TracingWithheld, untraced},
        {"a traced child's memory unread", "a traced child's memory", &tracedUsers,
         [] {
             return Steps({[] { return DropCapability(CAP_SYS_PTRACE); }, WithoutMemoryReads});
         },
         TracedMemoryWithheld,
         "the memory of a traced child that became another user cannot be read: PTRACE_PEEKDATA: "
         "Input/output error (this process lacks CAP_SYS_PTRACE)"},
        {"user namespaces refused", "user namespaces", nullptr, WithoutUserNamespaces, UserNamespacesWithheld,
         "no user namespace of its own: Operation not permitted"},
        {"no user namespace left", "user namespaces", &userNamespaces,
         [] {
             return Steps({[] { return EnterUserNamespace("0 0 1"); },
                           [] { return Write(QStringLiteral("/proc/sys/user/max_user_namespaces"), "0"); }});
         },
         UserNamespacesWithheld,
         "no user namespace of its own: No space left on device (user.max_user_namespaces is 0)"},
        {"root alone mapped", "made-up users", &userNamespaces, inNamespace("0 0 1"), MadeUpUsersWithheld,
         "cannot give a file to a made-up user: " + unmapped.arg(QString::fromLatin1(low)) +
             " (Invalid argument)"},
        {"the highest made-up id not mapped", "made-up users", &userNamespaces,
         inNamespace("0 0 1\n" + low + ' ' + low + " 1"), MadeUpUsersWithheld,
         "cannot act as a made-up user: cannot become user " + high + ": Invalid argument (" +
             unmapped.arg(high) + ')'},
        {"an ACL naming an unmapped user", "ACLs", &userNamespaces, inNamespace("0 0 1"),
         [&] { return AclsMissingIn(folder.path()); },
         unmapped.arg(high) + ", so no ACL can name it (acl_set_file: Invalid argument)"},
        {"device nodes in a user namespace", "device nodes", &userNamespaces, inNamespace("0 0 1"),
         [&] { return DeviceNodesWithheld(folder.path()); },
         "cannot make a device node: Operation not permitted"},
        {"CAP_SYS_ADMIN dropped", "a mount namespace", nullptr, [] { return DropCapability(CAP_SYS_ADMIN); },
         MountNamespaceWithheld,
         "no mount namespace of its own: Operation not permitted (this process lacks CAP_SYS_ADMIN)"},
        {"mount namespaces refused with CAP_SYS_ADMIN", "a mount namespace", &mountNamespace,
         WithoutMountNamespaces, MountNamespaceWithheld,
         "no mount namespace of its own: Operation not permitted"},
        {"maps from outside without CAP_SYS_ADMIN", "a user namespace's maps", &userNamespaces,
         [] { return DropCapability(CAP_SYS_ADMIN); }, NamespaceMapsWithheld,
         "no user namespace of several ids: cannot write the maps from outside: Operation not permitted "
         "(this process lacks CAP_SYS_ADMIN)"},
        {"maps where user namespaces are refused", "a user namespace's maps", &userNamespacesAsAdmin,
         WithoutUserNamespaces, NamespaceMapsWithheld,
         "no user namespace of several ids: no user namespace: Operation not permitted"},
        {"leases refused", "write leases", nullptr, WithoutLeases,
         [&] { return LeasesWithheld(folder.path(), F_WRLCK); },
         "no write lease on a file of " + folder.path() + ": no lease taken: Invalid argument"},
    };
    QStringList skipped;
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        if (row.Needs && !row.Needs->isEmpty()) {
            skipped << *row.Needs + QStringLiteral(": \"") + QLatin1String(row.Name) +
                           QStringLiteral("\" not tried");
            continue;
        }
        const QString answer = RunInChild(row.Withhold, [&] {
            qputenv(kAllPrivileges, "1");
            QString reason;
            const QStringList failures = FailuresOf([&] { reason = row.Probe(); });
            return reason + '\n' + failures.join('\n');
        });
        const QString failure =
            QStringLiteral("%1 withheld, where %2=1 says every privilege is there: %3")
                .arg(QLatin1String(row.Privilege), QLatin1String(kAllPrivileges), row.Reason);
        EXPECT_EQ(answer.section('\n', 0, 0).toStdString(), row.Reason.toStdString());
        EXPECT_EQ(answer.count(failure), 1) << answer.toStdString();
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << skipped.join("; ").toStdString();
}

// A reason fails the test only where the variable is 1; an empty answer
// never does. The answer is the reason as given either way.
TEST(Privileges, AWithheldPrivilegeFailsTheTestOnlyWhereEveryOneIsSaidToBeThere)
{
    const QByteArray before = qgetenv(kAllPrivileges);
    const bool wasSet = qEnvironmentVariableIsSet(kAllPrivileges);
    struct TCase {
        const char* Variable; // null: not set
        const char* Reason;
        int Failures;
    };
    const TCase cases[] = {
        {nullptr, "why", 0}, {"0", "why", 0}, {"yes", "why", 0}, {"1", "", 0}, {"1", "why", 1},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(std::string(row.Variable ? row.Variable : "unset") + ", " + row.Reason);
        if (row.Variable)
            qputenv(kAllPrivileges, row.Variable);
        else
            qunsetenv(kAllPrivileges);
        QString answer;
        const QStringList failures = FailuresOf(
            [&] { answer = ProbeAnswer(QStringLiteral("a privilege"), QString::fromLatin1(row.Reason)); });
        EXPECT_EQ(answer.toStdString(), row.Reason);
        EXPECT_EQ(failures.size(), row.Failures) << failures.join('\n').toStdString();
    }
    if (wasSet)
        qputenv(kAllPrivileges, before);
    else
        qunsetenv(kAllPrivileges);
}
