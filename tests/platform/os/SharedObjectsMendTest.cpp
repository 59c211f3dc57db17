#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// Where its descriptor table is full at its first open of a named object,
// a process fails with EMFILE naming the user's folder, which is there, and
// makes no name of the series; once its descriptors are free, its next open
// chooses again and works in the user's folder. The same where the folder
// is XDG_RUNTIME_DIR (the process is not sent to /dev/shm, away from its
// peers), and for a user that a namespace of its own shows as root beside
// the real root's folder, where another user's namespace still starts
// afterwards.
TEST(SharedObjectsTest, AFullDescriptorTableEndsTheChoiceOfFolderAndTheNextOpenChoosesAgain)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const uid_t b = MadeUpUid(2);
    const QByteArray runtime = "/tmp/tessvar-run-" + QByteArray::number(getpid());
    const auto clear = [=] {
        RemoveFolderOf(a);
        RemoveObjectFoldersOf(0, a);
        RemoveObjectFoldersOf(0, b);
        RemoveFolder(runtime);
    };
    const auto cleared = qScopeGuard(clear);
    struct TRow {
        TPlace Place;
        bool Runtime; // XDG_RUNTIME_DIR is a private folder of A's
    };
    QString notTried;
    std::vector<TRow> rows{{{"outside a user namespace", std::nullopt}, false},
                           {{"with XDG_RUNTIME_DIR the user's own", std::nullopt}, true}};
    if (const QString withheld = UserNamespacesWithheld(); withheld.isEmpty())
        rows.push_back({{"as a user namespace's root", TNamespaceLayout::AsRoot}, false});
    else
        notTried = withheld;
    for (const TRow& row : rows) {
        const TPlace& place = row.Place;
        SCOPED_TRACE(place.Name);
        const uid_t shown = place.Layout ? 0 : a; // the uid A's processes have
        clear();
        const auto ownedByA = [&] {
            QList<QByteArray> folders;
            struct stat st {};
            for (int n = 0; n < kObjectFolderSeries; ++n)
                if (lstat(ObjectFolderOf(shown, n).constData(), &st) == 0 && st.st_uid == a)
                    folders << ObjectFolderOf(shown, n);
            return folders;
        };
        // The user's folder is there: A's own, or the real root's (made
        // where missing, as a run of root's leaves it, and never removed).
        const QByteArray first = row.Runtime ? runtime : ObjectFolderOf(shown, 0);
        struct stat st {};
        if (lstat(first.constData(), &st) != 0) {
            ASSERT_EQ(mkdir(first.constData(), 0700), 0);
            ASSERT_EQ(chown(first.constData(), row.Runtime ? a : shown, row.Runtime ? a : shown), 0);
        }
        const QList<QByteArray> before = ownedByA();
        const QStringList environment =
            row.Runtime ? QStringList{"XDG_RUNTIME_DIR=" + QString::fromLocal8Bit(runtime)} : QStringList{};
        auto p = Script(a, place, {}, environment);
        EXPECT_EQ(p->Ask("tight 0 event e", 20000),
                  "error 24 System Error.  Code: 24. Too many open files " + first);
        EXPECT_EQ(ownedByA(), before);
        EXPECT_EQ(p->Ask("event e", 20000), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        if (!place.Layout) {
            EXPECT_EQ(folder, first);
            EXPECT_EQ(ownedByA(), before);
        } else {
            EXPECT_EQ(ownedByA(), QList<QByteArray>{folder});
            EXPECT_EQ(ModeAndOwner(folder), "40700 " + QByteArray::number(a));
            auto q = Script(b, place);
            EXPECT_EQ(q->Ask("event e", 20000), "event clear");
            const QByteArray other = q->Ask("folder", 20000).mid(7);
            EXPECT_TRUE(other.startsWith(first + '.')) << other.constData();
            EXPECT_NE(other, folder);
            EXPECT_EQ(ModeAndOwner(other), "40700 " + QByteArray::number(b));
            EXPECT_EQ(q->Finish(20000), 0);
        }
        EXPECT_EQ(p->Finish(20000), 0);
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << "not tried in a user namespace: " << notTried.toStdString();
}

// A process of the user with a umask that takes the owner's bits makes one
// folder, 0700, and its objects and the wake-up block of the events 0600:
// a process of the user with the usual umask opens them, and the events of
// the two meet. A user whose every name of the series an earlier build left
// as a folder of the user's own without the owner's rights (0300) opens
// again, in the first of them, mended; the others stay as they are. So do
// object files that an earlier build left 0400.
TEST(SharedObjectsTest, AUmaskWithoutTheOwnersBitsNeitherLocksTheUserOutNorSplitsItsProcesses)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    const QByteArray first = ObjectFolderOf(a, 0);
    const QByteArray owner = ' ' + QByteArray::number(a);
    for (const char* mask : {"0477", "0277", "0777"}) {
        SCOPED_TRACE(mask);
        RemoveFolderOf(a);
        auto p = Script(a);
        ASSERT_EQ(p->Ask(QByteArray("umask ") + mask, 20000), "done");
        EXPECT_EQ(p->Ask("event e", 20000), "event clear");
        EXPECT_EQ(p->Ask("memory m 64", 20000), "memory 64 0");
        EXPECT_EQ(p->Ask("mutex x", 20000), "mutex taken");
        EXPECT_EQ(p->Ask("folder", 20000), "folder " + first);
        EXPECT_EQ(ModeAndOwner(first), "40700" + owner);
        struct stat st {};
        for (int n = 1; n < kObjectFolderSeries; ++n)
            EXPECT_NE(lstat(ObjectFolderOf(a, n).constData(), &st), 0) << n;
        QList<QByteArray> files = NamesIn(first);
        std::sort(files.begin(), files.end());
        const QByteArray head = "tessvar5-" + QByteArray::number(uint(a)) + '-';
        EXPECT_EQ(files, (QList<QByteArray>{head + "E-e", head + "M-m", head + "W-events", head + "X-x"}));
        for (const QByteArray& file : files)
            EXPECT_EQ(ModeAndOwner(first + '/' + file), "100600" + owner) << file.constData();
        auto q = Script(a);
        EXPECT_EQ(q->Ask("memory m 0", 20000), "memory 64 0");
        EXPECT_EQ(q->Ask("mutex x", 20000), "mutex held");
        EXPECT_EQ(q->Ask("event e", 20000), "event clear");
        EXPECT_EQ(q->Ask("set e", 20000), "done");
        EXPECT_EQ(p->Ask("wait e 5000", 20000), "signaled");
        EXPECT_EQ(q->Finish(20000), 0);
        EXPECT_EQ(p->Finish(20000), 0);
    }

    RemoveFolderOf(a);
    for (int n = 0; n < kObjectFolderSeries; ++n) {
        const QByteArray folder = ObjectFolderOf(a, n);
        ASSERT_EQ(mkdir(folder.constData(), 0700), 0);
        ASSERT_EQ(chown(folder.constData(), a, a), 0);
        ASSERT_EQ(chmod(folder.constData(), 0300), 0);
    }
    auto p = Script(a);
    EXPECT_EQ(p->Ask("event e", 20000), "event clear");
    EXPECT_EQ(p->Ask("folder", 20000), "folder " + first);
    EXPECT_EQ(ModeAndOwner(first), "40700" + owner);
    for (int n = 1; n < kObjectFolderSeries; ++n)
        EXPECT_EQ(ModeAndOwner(ObjectFolderOf(a, n)), "40300" + owner) << n;
    EXPECT_EQ(p->Finish(20000), 0);

    // Object files of the user's own that an earlier build left without the
    // owner's rights: one that nobody holds is swept at the process's first
    // open, and one that a process still holds (empty, as its maker was
    // killed before making it) is opened and made.
    RemoveFolderOf(a);
    const QByteArray head = first + "/tessvar5-" + QByteArray::number(uint(a)) + '-';
    const auto leftBehind = [&](const QByteArray& path) {
        const int fd = open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0400);
        EXPECT_GE(fd, 0) << path.constData();
        EXPECT_EQ(fchown(fd, a, a), 0);
        EXPECT_EQ(fchmod(fd, 0400), 0);
        return fd;
    };
    ASSERT_EQ(mkdir(first.constData(), 0700), 0);
    ASSERT_EQ(chown(first.constData(), a, a), 0);
    close(leftBehind(head + "X-left"));
    auto q = Script(a);
    EXPECT_EQ(q->Ask("memory first 64", 20000), "memory 64 0");
    EXPECT_EQ(Look(head + "X-left"), "(nothing)");
    const int held = leftBehind(head + "M-late");
    const auto closed = qScopeGuard([held] { close(held); });
    struct flock use {};
    use.l_type = F_RDLCK;
    use.l_len = 1;
    ASSERT_EQ(fcntl(held, F_OFD_SETLK, &use), 0);
    EXPECT_EQ(q->Ask("memory late 64", 20000), "memory 64 0");
    EXPECT_EQ(ModeAndOwner(head + "M-late"), "100600" + owner);
    EXPECT_EQ(q->Finish(20000), 0);
}

// A process that may open every user's folders (root) passes over another
// user's private folder at the name of its own and never touches it, nor
// does root that may change other users' folders without opening them
// where that folder lacks its owner's rights; a folder name the user may
// not make (a /dev/shm closed to it) ends the choice with the system's
// error naming that folder: the first name, or the second where another
// user's folder holds the first. Each runs in a mount namespace of its
// own, with a /dev/shm of its own, so that the names of the machine's users
// are not touched.
TEST(SharedObjectsTest, OnlyAFolderOfTheUsersOwnIsUsedAndAFolderItMayNotMakeEndsTheChoice)
{
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const uid_t s = MadeUpUid(2);
    // Gives the child a /dev/shm of its own (opened with options), with
    // another user's folder of that mode at root's first name.
    // Gives the child a /dev/shm of its own (opened with options), with
    // another user's folder of that mode at the first name of uid's series.
    const auto ownShm = [=](const char* options, mode_t mode = 0700, uid_t uid = 0) {
        return [=]() -> QString {
            if (const QString failed = OwnDevShm(options); !failed.isEmpty())
                return failed;
            const QByteArray held = ObjectFolderOf(uid, 0);
            if (mkdir(held.constData(), 0700) != 0 || chown(held.constData(), s, s) != 0 ||
                chmod(held.constData(), mode) != 0)
                return QStringLiteral("cannot make S's folder: %1").arg(qt_error_string(errno));
            return QString();
        };
    };
    // Root that may not open other users' folders, but may change them
    // (CAP_FOWNER): the capabilities go from the bounding set too, so that
    // the program run does not get them back.
    const auto withoutOpeningOthers = [](const std::function<QString()>& first) {
        return [=]() -> QString {
            QString failed = first();
            for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
                if (failed.isEmpty() && prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0)
                    failed = QStringLiteral("cannot drop capability %1 from the bounding set").arg(capability);
                if (failed.isEmpty())
                    failed = DropCapability(capability);
            }
            return failed;
        };
    };

    struct TRootRow {
        const char* Name;
        mode_t Held; // the mode of S's folder
        std::function<QString()> Become;
    };
    const TRootRow roots[] = {
        {"root", 0700, ownShm("mode=1777")},
        {"root that may change others' folders but not open them", 0300,
         withoutOpeningOthers(ownShm("mode=1777", 0300))},
    };
    for (const TRootRow& row : roots) {
        SCOPED_TRACE(row.Name);
        auto root = Script(0, {}, row.Become);
        ASSERT_EQ(root->Ask("umask 022", 20000), "done");
        const QByteArray seen = "/proc/" + QByteArray::number(root->Pid()) + "/root";
        const QByteArray held = seen + ObjectFolderOf(0, 0);
        const QByteArray before = Look(held);
        EXPECT_EQ(ModeAndOwner(held), "40" + QByteArray::number(row.Held, 8) + ' ' + QByteArray::number(s));
        EXPECT_EQ(root->Ask("memory m 64", 20000), "memory 64 0");
        EXPECT_EQ(root->Ask("folder", 20000), "folder " + ObjectFolderOf(0, 1));
        EXPECT_EQ(Look(held), before);
        EXPECT_EQ(ModeAndOwner(seen + ObjectFolderOf(0, 1)), "40700 0");
        EXPECT_EQ(root->Finish(20000), 0);
    }

    // The user's first name free, or held by S: the choice ends at the first
    // name the user may not make.
    for (const int held : {0, 1}) {
        SCOPED_TRACE(held);
        auto user = Script(a, {}, [=] {
            const QString own = held ? ownShm("mode=0755", 0700, a)() : OwnDevShm("mode=0755");
            return own.isEmpty() ? BecomeUser(a, a, {}) : own;
        });
        const QByteArray denied =
            "error 13 System Error.  Code: 13. Permission denied " + ObjectFolderOf(a, held);
        EXPECT_EQ(user->Ask("event e", 20000), denied);
        EXPECT_EQ(user->Ask("folder", 20000), denied);
        EXPECT_EQ(user->Finish(20000), 0);
    }
}

// Between an open of a name that the kernel refuses and the look at what
// is there before its owner's rights are given, a process of the user may
// put something else at the name: a link to another folder of the user's
// without the owner's rights, or a FIFO of the user's. The look takes
// neither as a folder to mend: at every system call of a process choosing
// its folder the name is swapped (while the folder there is unmended, which
// is put aside), and the process still gets a folder while the link's
// target and the FIFO keep their modes.
TEST(SharedObjectsTest, WhatIsPutAtANameWhileItIsMendedIsNeitherFollowedNorChanged)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const QByteArray name = ObjectFolderOf(a, 0);
    const QByteArray lure = "/tmp/tessvar-lure-" + QByteArray::number(getpid());
    const QByteArray aside = name + "-aside";
    const auto clear = [=] {
        RemoveName(name);
        RemoveName(ObjectFolderOf(a, 1));
        RemoveName(lure);
        RemoveName(aside);
    };
    const auto cleared = qScopeGuard(clear);
    // A folder of A's of that mode, made without following anything at the
    // name.
    const auto folderOfA = [a](const QByteArray& path, mode_t mode) {
        mkdir(path.constData(), 0700);
        const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            (void)!fchown(fd, a, a);
            (void)!fchmod(fd, mode);
            close(fd);
        }
    };
    struct TRow {
        const char* Name;
        bool Link; // else a FIFO
    };
    for (const TRow row : {TRow{"a link to a folder of A's without A's rights", true}, TRow{"a FIFO of A's", false}}) {
        SCOPED_TRACE(row.Name);
        int lastStop = -1;
        const int stops = StopAtEverySystemCall(
            [&] {
                // As the stop finds them: A's folder without A's rights at
                // the name, the lure beside it.
                clear();
                folderOfA(name, 0300);
                folderOfA(lure, 0300);
                if (setresgid(a, a, a) != 0 || setresuid(a, a, a) != 0)
                    _exit(1);
                unsetenv("XDG_RUNTIME_DIR");
                if (OpenNamedEvent(QStringLiteral("swapped"), false) == 0)
                    _exit(2);
                struct stat st {};
                if (lstat(lure.constData(), &st) != 0 || (st.st_mode & 07777) != 0300)
                    _exit(3);
                if (lstat(name.constData(), &st) == 0 && S_ISFIFO(st.st_mode) && (st.st_mode & 07777) != 0600)
                    _exit(4);
            },
            [&](int step) {
                lastStop = step;
                // The folder is put aside rather than removed, since the
                // process may have taken it already.
                struct stat st {};
                if (lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & 07777) != 0300 ||
                    rename(name.constData(), aside.constData()) != 0)
                    return;
                if (row.Link) {
                    if (symlink(lure.constData(), name.constData()) == 0)
                        (void)!lchown(name.constData(), a, a);
                } else if (mkfifo(name.constData(), 0600) == 0) {
                    (void)!chown(name.constData(), a, a);
                }
            },
            TAfterStop::Resume);
        EXPECT_GT(stops, 10) << "failed after stop " << lastStop;
    }
}

// Every error of an open is the system's own, naming what failed, and no
// open leaves a descriptor behind. A create that the user's own folder
// refuses (made 0500) says EACCES. A mended open (an event's file of the
// user's own without the owner's rights, held by another process) and a
// refused one (a file of the user's own open to its group) leave the
// process as many descriptors as before; a FIFO of the user's own without
// rights at an object's name is neither given rights nor opened. With one,
// two or three descriptors free, a process's first open (its folder chosen,
// the wake-up block and the event made), one that first mends its folder
// (0300), and one that mends an event's file each work or fail with EMFILE
// naming what they failed at, never with EACCES or EAGAIN.
TEST(SharedObjectsTest, EveryErrorOfAnOpenIsTheSystemsOwn)
{
    const TLifetimeUser user;
    if (const QString withheld = user.RightsWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("errors", a);
    const QByteArray denied = "error 13 System Error.  Code: 13. Permission denied ";

    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(chmod(runtime.Path.constData(), 0500), 0);
    EXPECT_EQ(p->Ask("memory m 64", 20000), denied + runtime.File(a, "M-m"));
    ASSERT_EQ(chmod(runtime.Path.constData(), 0700), 0);

    const QByteArray before = p->Ask("descriptors", 20000);
    int held = HeldFile(runtime.File(a, "E-mended"), a, 0400);
    EXPECT_EQ(p->Ask("event mended", 20000), "event clear");
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "E-mended")), "100600 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("close mended", 20000), "closed");
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a mended open";
    held = HeldFile(runtime.File(a, "E-group"), a, 0070);
    EXPECT_EQ(p->Ask("event group", 20000), denied + runtime.File(a, "E-group"));
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a refused open";
    const QByteArray fifo = runtime.File(a, "X-fifo");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(lchown(fifo.constData(), a, a), 0);
    ASSERT_EQ(chmod(fifo.constData(), 0), 0);
    EXPECT_EQ(p->Ask("mutex fifo", 20000), denied + fifo);
    EXPECT_EQ(ModeAndOwner(fifo), "10000 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a FIFO refused";
    unlink(fifo.constData());
    EXPECT_EQ(p->Finish(20000), 0);

    struct TRoad {
        const char* Name;
        mode_t Folder;  // the folder's mode before the open
        bool EventFile; // the event's file is there, held, without its owner's rights
    };
    const TRoad roads[] = {
        {"a first open", 0700, false},
        {"a first open that mends its folder", 0300, false},
        {"an open that mends the event's file", 0700, true},
    };
    for (const TRoad& road : roads) {
        for (const int free : {1, 2, 3}) {
            SCOPED_TRACE(QStringLiteral("%1, %2 descriptors free")
                             .arg(QLatin1String(road.Name))
                             .arg(free)
                             .toStdString());
            for (const QByteArray& name : NamesIn(runtime.Path))
                unlink((runtime.Path + '/' + name).constData());
            ASSERT_EQ(chmod(runtime.Path.constData(), road.Folder), 0);
            auto q = Script(a, runtime);
            int eventFile = -1;
            if (road.EventFile) {
                ASSERT_EQ(q->Ask("mutex first", 20000), "mutex taken");
                eventFile = HeldFile(runtime.File(a, "E-e"), a, 0400);
            }
            const QByteArray answer = q->Ask("tight " + QByteArray::number(free) + " event e", 20000);
            if (answer != "event clear") {
                EXPECT_TRUE(answer.startsWith("error 24 System Error.  Code: 24. Too many open files " +
                                              runtime.Path))
                    << answer.constData();
            }
            EXPECT_EQ(q->Ask("event e", 20000), "event clear");
            EXPECT_EQ(q->Ask("folder", 20000), "folder " + runtime.Path);
            if (eventFile >= 0)
                close(eventFile);
            EXPECT_EQ(q->Finish(20000), 0);
        }
    }
}

// XDG_RUNTIME_DIR is a folder of the user's own without the owner's rights
// (0300), and a process has one descriptor free at its first open: the mend
// gives the folder its rights, but the open fails for want of a descriptor
// (EMFILE, naming the folder), with no warning and no folder made in
// /dev/shm. Its next open uses the folder, where another process of the
// user meets it.
TEST(SharedObjectsTest, AMendThatFailsForWantOfADescriptorEndsTheChoiceAtTheRuntimeFolder)
{
    const TLifetimeUser user;
    if (const QString withheld = user.RightsWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("mend", a, 0300);
    auto p = Script(a, runtime);
    EXPECT_EQ(p->Ask("tight 1 event e", 20000),
              "error 24 System Error.  Code: 24. Too many open files " + runtime.Path);
    if (a != geteuid()) {
        struct stat st {};
        EXPECT_NE(lstat(ObjectFolderOf(a, 0).constData(), &st), 0); // nothing made in /dev/shm
    }
    EXPECT_EQ(p->Ask("event e", 20000), "event clear");
    EXPECT_EQ(p->Ask("folder", 20000), "folder " + runtime.Path);
    EXPECT_EQ(ModeAndOwner(runtime.Path), "40700 " + QByteArray::number(a));
    auto q = Script(a, runtime);
    EXPECT_EQ(q->Ask("event e", 20000), "event clear");
    EXPECT_EQ(q->Ask("set e", 20000), "done");
    EXPECT_EQ(p->Ask("wait e 5000", 20000), "signaled");
    EXPECT_EQ(q->Finish(20000), 0);
    EXPECT_EQ(p->Finish(20000), 0);
}

// A thread with a descriptor table of its own (unshare(CLONE_FILES)) opens
// an object whose file lacks its owner's rights, where the number its mend
// looks at the file by stands for another file of the user's in the
// process's first thread: the object's file is mended and opened, and the
// other file keeps its mode.
TEST(SharedObjectsTest, AThreadWithADescriptorTableOfItsOwnMendsItsObjectAndNothingElse)
{
    const TLifetimeUser user;
    if (const QString withheld = user.RightsWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("thread", a);
    const QByteArray decoy = runtime.Path + "-decoy";
    close(HeldFile(decoy, a, 0644));
    const auto removed = qScopeGuard([&] { unlink(decoy.constData()); });
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("mutex first", 20000), "mutex taken");
    const int held = HeldFile(runtime.File(a, "M-mended"), a, 0400);
    EXPECT_EQ(p->Ask("unshared " + decoy + " memory mended 64", 20000), "memory 64 0");
    EXPECT_EQ(ModeAndOwner(decoy), "100644 " + QByteArray::number(a));
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "M-mended")), "100600 " + QByteArray::number(a));
    close(held);
    EXPECT_EQ(p->Ask("release first", 20000), "released");
    EXPECT_EQ(p->Finish(20000), 0);
}

// The open of the user's folder fails for want of memory (ENOMEM) or by the
// disk (EIO), as a tracer makes it fail: the process's open fails with
// that error naming the folder and makes no further folder, and its next
// open uses the folder.
TEST(SharedObjectsTest, AFolderThatFailsToOpenForWantOfMemoryOrByTheDiskEndsTheChoice)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracedMemoryWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const QByteArray folder = ObjectFolderOf(a, 0);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    for (const int error : {ENOMEM, EIO}) {
        SCOPED_TRACE(error);
        RemoveFolderOf(a);
        ASSERT_EQ(mkdir(folder.constData(), 0700), 0);
        ASSERT_EQ(chown(folder.constData(), a, a), 0);
        TTracedChild child([&] {
            BecomeWithoutRuntime(a);
            if (OpenNamedEvent(QStringLiteral("e"), false) != 0)
                _exit(2);
            const EOSError failed = LastSharedObjectError();
            const QString expected = QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                                         .arg(error)
                                         .arg(qt_error_string(error), QString::fromLocal8Bit(folder));
            if (failed.ErrorCode != error || failed.Message() != expected)
                _exit(3);
            if (SomethingAt(ObjectFolderOf(a, 1)))
                _exit(4);
            if (OpenNamedEvent(QStringLiteral("e"), false) == 0 ||
                SharedObjectsFolder() != QString::fromLocal8Bit(folder))
                _exit(5);
        });
        ASSERT_TRUE(child.Refused().isEmpty()) << child.Refused().toStdString();
        const bool opening = child.RunTo([&](const TTracedChild& call) {
            return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == folder;
        });
        ASSERT_TRUE(opening) << "no open of " << folder.constData();
        if (!child.FailCall(error))
            GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
        EXPECT_EQ(child.Finish(), 0);
    }
}

} // namespace
