// The program's start where another user holds the name in /dev/shm of the
// folder of its user's shared objects (XDG_RUNTIME_DIR not set, as after a
// login over ssh or su): the program passes over it and shows its main
// window, and leaves the other user's folder as it was.
#include "tests/support/ChildProcess.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(StartUp, TheMainWindowShowsWhereAnotherUserHoldsTheNameOfTheFolderOfItsObjects)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t user = MadeUpId(kOtherUserSlot);
    const uid_t other = MadeUpId(kFirstFreeSlot);
    RemoveObjectFoldersOf(user, user);
    const QByteArray held = ObjectFolderOf(user);
    ASSERT_EQ(mkdir(held.constData(), 0700), 0);
    const auto removed = qScopeGuard([&] {
        rmdir(held.constData());
        RemoveObjectFoldersOf(user, user);
    });
    ASSERT_EQ(chown(held.constData(), other, other), 0);
    // A home of the user's own, closed to others, for the program's folders.
    QTemporaryDir sandbox(QStringLiteral("/tmp/tessvar-start-XXXXXX"));
    ASSERT_TRUE(sandbox.isValid());
    const QByteArray home = QFile::encodeName(sandbox.path()) + "/home";
    ASSERT_EQ(mkdir(home.constData(), 0700), 0);
    ASSERT_EQ(chown(home.constData(), user, user), 0);
    ASSERT_EQ(chmod(QFile::encodeName(sandbox.path()).constData(), 0755), 0);
    const QString at = QString::fromLocal8Bit(home);
    TFreshProcess program(QStringLiteral(TESSVAR_PROGRAM), {},
                          [&] {
                              const QString failure = BecomeUser(user, user, {});
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
    struct stat st {};
    ASSERT_EQ(lstat(held.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, other);
    EXPECT_EQ(st.st_mode, S_IFDIR | 0700u);
    EXPECT_EQ(st.st_nlink, 2u); // still empty
    ASSERT_EQ(lstat(ObjectFolderOf(user, 1).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, user);
    EXPECT_EQ(st.st_mode, S_IFDIR | 0700u);
}

} // namespace
