// The program's start where the name in /dev/shm of the folder of its user's
// shared objects is held by someone else (XDG_RUNTIME_DIR not set, as after
// a login over ssh or su): another user's folder at its name, or, in a user
// namespace that maps the user to 0, the real root's folder, which every
// run as root leaves and which reads there as an unmapped owner's. The
// program passes over it, shows its main window, and leaves the folder
// that holds the name as it was. And its start where another user has
// filled /dev/shm, or left room for only some of its objects.
#include "platform/os/SharedObjectsLayout.h"
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
#include <functional>
#include <map>
#include <numeric>
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

// The size of the /dev/shm of a program's own.
constexpr int kSmallDevShmBytes = 1 << 20;

// What a started program's child does before the program runs: it goes
// into a mount namespace of its own, whose /dev/shm is a small one that
// other fills but for pagesFree pages, then becomes user, in its home.
std::function<QString()> OnASmallDevShm(uid_t user, const THome& home, uid_t other, int pagesFree = 0)
{
    return [user, &home, other, pagesFree] {
        const QByteArray options = "size=" + QByteArray::number(kSmallDevShmBytes) + ",mode=1777";
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tessvar-test", "/dev/shm", "tmpfs", 0, options.constData()) != 0)
            return QStringLiteral("no /dev/shm of its own: %1").arg(qt_error_string(errno));
        if (const QString failure = FillDevShmAs(other, pagesFree); !failure.isEmpty())
            return failure;
        const QString failure = BecomeUser(user, user, {});
        return failure.isEmpty() && chdir(home.Path.constData()) != 0
                   ? QStringLiteral("cannot enter the home")
                   : failure;
    };
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
    TFreshProcess program(QStringLiteral(TESSVAR_PROGRAM), {}, OnASmallDevShm(user, home, other),
                          home.Environment);
    const QByteArray shown = program.ReadLine(60000);
    const QByteArray folder = ObjectFolderOf(user);
    EXPECT_TRUE(shown.startsWith("message System Error.  Code: 28. No space left on device " + folder +
                                 "/" + sharedobjects_layout::kNamePrefix + QByteArray::number(user) + '-'))
        << shown.toStdString();
    EXPECT_EQ(program.Finish(20000), 1);
}

// The program started where /dev/shm (a small one of its own, filled by
// another user) has room for only some of the objects its start makes:
// the error box names the first object that found none. The start makes its
// objects one after the other, in this order (an event makes the user's
// wake-up block first, then its own file): the data channel's buffer, its
// control block and its lock, then the data system's lock and its two
// events. As the room grows the box names each of them in turn, never a
// later one before an earlier one, until the main window shows.
TEST(StartUp, WithRoomForPartOfItsObjectsTheProgramNamesTheFirstThatHasNone)
{
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t user = MadeUpId(kOtherUserSlot);
    const uid_t other = MadeUpId(kFirstFreeSlot);
    const THome home(user);
    const QList<QByteArray> opened{"M-ZARVBUFFER", "M-ZARVREQUEST",   "X-ZARVANSWER", "X-ZARVCONTROLER",
                                   "W-events",     "E-ZARVCOMPLETED", "E-ZARVERROR"};
    const int window = int(opened.size()); // the main window showed
    const QByteArray noRoom = "message System Error.  Code: 28. No space left on device " +
                              ObjectFolderOf(user) + "/" + sharedobjects_layout::kNamePrefix +
                              QByteArray::number(user) + '-';
    const int pages = int(kSmallDevShmBytes / getpagesize());
    // What each start showed, by the pages it had free: its line, its exit
    // code, and the place in opened of the object the line names (window
    // for the main window, -1 for anything else).
    struct TShown {
        QByteArray Line;
        int Code = -1;
        int Place = -1;
    };
    std::map<int, TShown> shown;
    const auto start = [&](int free) {
        TFreshProcess program(QStringLiteral(TESSVAR_PROGRAM), {}, OnASmallDevShm(user, home, other, free),
                              home.Environment);
        const QByteArray line = program.ReadLine(60000);
        const int code = program.Finish(20000);
        int place = -1;
        if (line == "shown" && code == 0)
            place = window;
        else if (line.startsWith(noRoom) && code == 1)
            place = int(opened.indexOf(line.mid(noRoom.size()).split(' ').first()));
        shown[free] = {line, code, place};
    };
    // The object named can only move on as the room grows: between two
    // starts that named objects next to each other in opened (or the same
    // one) no other can be named, and no start is needed there. So the
    // starts with none and with all pages free, and halving between them,
    // find every object in about a dozen starts, not one for each page.
    const std::function<void(int, int)> between = [&](int fewer, int more) {
        const int first = shown[fewer].Place;
        const int last = shown[more].Place;
        if (more - fewer < 2 || first < 0 || last - first < 2)
            return;
        const int middle = (fewer + more) / 2;
        start(middle);
        between(fewer, middle);
        between(middle, more);
    };
    start(0);
    start(pages);
    between(0, pages);
    // The objects named as the room grew, each once: all of them, in the
    // order the start opens them, then the main window.
    QList<int> named;
    QString starts;
    for (const auto& [free, run] : shown) {
        if (named.isEmpty() || named.last() != run.Place)
            named << run.Place;
        starts += QStringLiteral("\n%1 pages free: %2 (ended with %3)")
                      .arg(free)
                      .arg(QString::fromLocal8Bit(run.Line))
                      .arg(run.Code);
    }
    QList<int> all(window + 1);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(named, all) << "(places in " << opened.join(' ').toStdString() << ", " << window
                          << " the main window, -1 anything else)" << starts.toStdString();
}

} // namespace
