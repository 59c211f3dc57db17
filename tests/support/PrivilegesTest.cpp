// The probes of what a test may need beyond an ordinary user's rights: where
// the system withholds a privilege each names why, and where every
// privilege is said to be there (TESSVAR_TEST_ALL_PRIVILEGES=1) a privilege
// withheld fails the test instead of hiding it behind a skip.
#include "tests/support/Privileges.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/RefusedCalls.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <linux/capability.h>

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

} // namespace

// Each probe in a child that a privilege is withheld from: it answers the
// system's reason, and with TESSVAR_TEST_ALL_PRIVILEGES=1 it fails the test
// naming the privilege and the reason.
TEST(Privileges, EachProbeNamesWhyItsPrivilegeIsWithheld)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    struct TCase {
        const char* Name;
        const char* Privilege;
        std::function<QString()> Withhold;
        std::function<QString()> Probe;
        QString Reason;
    };
    const TCase cases[] = {
        {"CAP_SYS_ADMIN dropped", "a mount namespace", [] { return DropCapability(CAP_SYS_ADMIN); },
         MountNamespaceWithheld, "no mount namespace of its own: Operation not permitted"},
        {"leases refused", "write leases", WithoutLeases,
         [&] { return LeasesWithheld(folder.path(), F_WRLCK); },
         "no write lease on a file of " + folder.path() + ": no lease taken: Invalid argument"},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
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
