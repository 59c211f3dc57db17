// The program's start where the name in /dev/shm of the folder of its user's
// shared objects is held by someone else (XDG_RUNTIME_DIR not set, as after
// a login over ssh or su): another user's folder at its name, or, in a user
// namespace that maps the user to 0, the real root's folder, which every
// run as root leaves and which reads there as an unmapped owner's. The
// program passes over it, shows its main window, and leaves the folder
// that holds the name as it was. And its start where another user has
// filled /dev/shm.
#include "tests/support/ChildProcess.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TStartCase {
    const char* Name;
    TPlace Place;
};

// The folder of the series of uid that owner made, empty where none.
QByteArray FolderMadeBy(uid_t uid, uid_t owner)
{
    for (int n = 0; n < kObjectFolderSeries; ++n) {
        struct stat st {};
        const QByteArray name = ObjectFolderOf(uid, n);
        if (lstat(name.constData(), &st) == 0 && st.st_uid == owner)
            return name;
    }
    return {};
}

// A home of the user's own, closed to others, for the program's folders, in
// a sandbox: the environment that points the program there.
struct THome {
    QTemporaryDir Sandbox{QStringLiteral("/tmp/tessvar-start-XXXXXX")};
    QByteArray Path;
    QStringList Environment;
    explicit THome(uid_t user)
    {
        EXPECT_TRUE(Sandbox.isValid());
        Path = QFile::encodeName(Sandbox.path()) + "/home";
        EXPECT_EQ(mkdir(Path.constData(), 0700), 0);
        EXPECT_EQ(chown(Path.constData(), user, user), 0);
        EXPECT_EQ(chmod(QFile::encodeName(Sandbox.path()).constData(), 0755), 0);
        const QString at = QString::fromLocal8Bit(Path);
        Environment = {QStringLiteral("HOME=") + at,
                       QStringLiteral("XDG_DATA_HOME=") + at,
                       QStringLiteral("XDG_CONFIG_HOME=") + at,
                       QStringLiteral("XDG_CACHE_HOME=") + at,
                       QStringLiteral("TMPDIR=") + at,
                       QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                       QStringLiteral("TESSVAR_STARTUP_PROBE=1")};
    }
};

TEST(StartUp, TheMainWindowShowsWhereSomeoneElseHoldsTheNameOfTheFolderOfItsObjects)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TStartCase cases[] = {
        {"another user's folder at its name", {"outside any namespace", std::nullopt}},
        {"the real root's folder at its name, as root of a user namespace of its own",
         {"as a user namespace's root", TNamespaceLayout::AsRoot}},
    };
    const uid_t user = MadeUpId(kOtherUserSlot);
    const uid_t other = MadeUpId(kFirstFreeSlot);
    QString notTried;
    for (const TStartCase& row : cases) {
        SCOPED_TRACE(row.Name);
        if (row.Place.Layout) {
            if (const QString withheld = UserNamespacesWithheld(); !withheld.isEmpty()) {
                notTried = withheld + QStringLiteral(": the row \"") + QString::fromUtf8(row.Name) +
                           QStringLiteral("\" was not tried");
                continue;
            }
        }
        // The uid the program sees as its own, and the folder at its name.
        const uid_t seen = row.Place.Layout ? 0 : user;
        const QByteArray held = ObjectFolderOf(seen);
        RemoveObjectFoldersOf(seen, user);
        struct stat st {};
        bool planted = false;
        if (row.Place.Layout) {
            // As every run of root's leaves it; root's own tests may use it
            // meanwhile, so it is neither removed nor read as unchanged.
            ASSERT_TRUE(mkdir(held.constData(), 0700) == 0 || errno == EEXIST) << strerror(errno);
        } else {
            ASSERT_NE(lstat(held.constData(), &st), 0) << held.constData();
            ASSERT_EQ(mkdir(held.constData(), 0700), 0);
            ASSERT_EQ(chown(held.constData(), other, other), 0);
            planted = true;
        }
        ASSERT_EQ(lstat(held.constData(), &st), 0);
        const struct stat before = st;
        const auto removed = qScopeGuard([&] {
            if (planted)
                rmdir(held.constData());
            RemoveObjectFoldersOf(seen, user);
        });
        const THome home(user);
        const TPlace place = row.Place;
        TFreshProcess program(
            QStringLiteral(TESSVAR_PROGRAM), {},
            [&] {
                const QString failure = BecomeUserAt(place, user, user);
                return failure.isEmpty() && chdir(home.Path.constData()) != 0
                           ? QStringLiteral("cannot enter the home")
                           : failure;
            },
            home.Environment);
        // A message box at the start would wait for its OK instead.
        EXPECT_EQ(program.ReadLine(60000).toStdString(), "shown");
        EXPECT_EQ(program.Finish(20000), 0);
        ASSERT_EQ(lstat(held.constData(), &st), 0);
        EXPECT_EQ(st.st_uid, before.st_uid);
        EXPECT_EQ(st.st_mode, before.st_mode);
        EXPECT_EQ(NamesIn(held, user), QList<QByteArray>{});
        if (planted) {
            EXPECT_EQ(NamesIn(held), QList<QByteArray>{}); // still empty
        }
        // Its objects went to a later name of the series, a folder of its own.
        const QByteArray own = FolderMadeBy(seen, user);
        EXPECT_TRUE(own.startsWith(held + '.')) << own.constData();
        if (lstat(own.constData(), &st) == 0) {
            EXPECT_EQ(st.st_mode, S_IFDIR | 0700u);
        }
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << notTried.toStdString();
}

// Another user has filled /dev/shm (a small one of the program's own, in a
// mount namespace): the first object the program makes at its start has no
// room. The program shows the system's error naming that object, as for
// any object it cannot open, and ends with 1, not by a signal.
TEST(StartUp, OnAFullDevShmTheProgramShowsTheErrorOfItsFirstObjectAndEnds)
{
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t user = MadeUpId(kOtherUserSlot);
    const uid_t other = MadeUpId(kFirstFreeSlot);
    const THome home(user);
    TFreshProcess program(
        QStringLiteral(TESSVAR_PROGRAM), {},
        [&] {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tessvar-test", "/dev/shm", "tmpfs", 0, "size=1m,mode=1777") != 0)
                return QStringLiteral("no /dev/shm of its own: %1").arg(qt_error_string(errno));
            if (const QString failure = FillDevShmAs(other); !failure.isEmpty())
                return failure;
            const QString failure = BecomeUser(user, user, {});
            return failure.isEmpty() && chdir(home.Path.constData()) != 0
                       ? QStringLiteral("cannot enter the home")
                       : failure;
        },
        home.Environment);
    const QByteArray shown = program.ReadLine(60000);
    const QByteArray folder = ObjectFolderOf(user);
    EXPECT_TRUE(shown.startsWith("message System Error.  Code: 28. No space left on device " + folder +
                                 "/tessvar4-" + QByteArray::number(user) + '-'))
        << shown.toStdString();
    EXPECT_EQ(program.Finish(20000), 1);
}

} // namespace
