// The program's start where the name in /dev/shm of the folder of its user's
// shared objects is held by someone else (XDG_RUNTIME_DIR not set, as after
// a login over ssh or su): another user's folder at its name, or, in a user
// namespace that maps the user to 0, the real root's folder, which every
// run as root leaves and which reads there as an unmapped owner's. The
// program passes over it, shows its main window, and leaves the folder
// that holds the name as it was.
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
        // A home of the user's own, closed to others, for the program's folders.
        QTemporaryDir sandbox(QStringLiteral("/tmp/tessvar-start-XXXXXX"));
        ASSERT_TRUE(sandbox.isValid());
        const QByteArray home = QFile::encodeName(sandbox.path()) + "/home";
        ASSERT_EQ(mkdir(home.constData(), 0700), 0);
        ASSERT_EQ(chown(home.constData(), user, user), 0);
        ASSERT_EQ(chmod(QFile::encodeName(sandbox.path()).constData(), 0755), 0);
        const QString at = QString::fromLocal8Bit(home);
        const TPlace place = row.Place;
        TFreshProcess program(QStringLiteral(TESSVAR_PROGRAM), {},
                              [&] {
                                  const QString failure = BecomeUserAt(place, user, user);
                                  return failure.isEmpty() && chdir(home.constData()) != 0
                                             ? QStringLiteral("cannot enter the home")
                                             : failure;
                              },
                              {QStringLiteral("HOME=") + at, QStringLiteral("XDG_DATA_HOME=") + at,
                               QStringLiteral("XDG_CONFIG_HOME=") + at, QStringLiteral("XDG_CACHE_HOME=") + at,
                               QStringLiteral("TMPDIR=") + at, QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                               QStringLiteral("TESSVAR_STARTUP_PROBE=1")});
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

} // namespace
