// The choice of the folder of a user's objects in /dev/shm: another user's
// folder or objects at the user's names are neither used nor read; a user's
// processes meet in the first name of the series that is, or can be made,
// its private folder, wherever someone else holds a name before it, in user
// namespaces of their own and as a rootless container's nobody; a umask
// that takes the owner's bits neither locks the user out nor splits its
// processes; only a folder of the user's own is used, and a name it may not
// make ends the choice; what is put at a name while it is mended is neither
// followed nor changed.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <functional>

#include <tuple>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// Another user (made-up ids: CI runs as root) makes the folder where a
// user's objects would go first, open to everyone, with objects in it of
// mode 0600 and 0666; or puts objects of its own, or of mode 0666, into the
// user's own folder. None of them is used or read: the user's objects go
// to the next folder of the series, opening a planted name fails with a
// message naming the object, the files stay as they were, and other names
// of the user's own folder work; a link in it is not followed. (The folders
// are not sticky, so the kernel's protected_regular setting plays no part.)
TEST_F(SharedObjectsFolderTest, AnotherUsersFolderOrObjectsAreNeitherUsedNorRead)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t victim = MadeUpUid(1);
    const uid_t other = MadeUpUid(2);
    const QByteArray folder = ObjectFolderOf(victim, 0);
    RemoveFolderOf(victim);
    const QByteArray target = folder + "-target";
    const auto removed = qScopeGuard([=] {
        RemoveObjectFoldersOf(victim, other);
        RemoveFolderOf(victim);
        unlink(target.constData());
    });
    const QByteArray head = ObjectPath(folder, victim, "");
    const QByteArray secret(200, 's');
    auto plant = [&](const QByteArray& path, uid_t owner, mode_t mode) {
        const int fd = open(path.constData(), O_RDWR | O_CREAT | O_EXCL, mode);
        ASSERT_GE(fd, 0) << path.constData();
        ASSERT_EQ(write(fd, secret.constData(), size_t(secret.size())), secret.size());
        ASSERT_EQ(fchown(fd, owner, owner), 0);
        ASSERT_EQ(fchmod(fd, mode), 0);
        close(fd);
    };

    // 1. The other user made the folder first: the user's blocks are new
    // ones, in the next folder of the series.
    ASSERT_EQ(mkdir(folder.constData(), 0777), 0);
    ASSERT_EQ(chmod(folder.constData(), 0777), 0);
    ASSERT_EQ(chown(folder.constData(), other, other), 0);
    plant(head + "M-taken", other, 0600);
    plant(head + "M-open", other, 0666);
    const QByteArray next = ObjectFolderOf(victim, 1);
    EXPECT_EQ(AsUser(victim,
                     [&] {
                         unsetenv("XDG_RUNTIME_DIR");
                         try {
                             for (const char* name : {"taken", "open", "fresh"}) {
                                 const auto* bytes =
                                     static_cast<const char*>(MapNamedMemory(OpenNamedMemory(QLatin1String(name), 100)));
                                 if (!bytes || bytes[0] != 0)
                                     return 1;
                             }
                         } catch (const EOSError&) {
                             return 2;
                         }
                         if (OpenNamedEvent(QStringLiteral("fresh"), false) == 0)
                             return 3;
                         return SharedObjectsFolder() == QString::fromLocal8Bit(next) ? 0 : 4;
                     }),
              0);
    EXPECT_EQ(FileText(head + "M-taken"), secret);
    EXPECT_EQ(FileText(head + "M-open"), secret);
    EXPECT_EQ(NamesIn(folder).size(), 2);
    struct stat held {};
    ASSERT_EQ(lstat(folder.constData(), &held), 0);
    EXPECT_EQ(held.st_uid, other);
    EXPECT_EQ(held.st_mode & 07777, 0777u);
    RemoveFolder(folder);
    RemoveFolderOf(victim);

    // 2. The user's own folder, with planted objects in it.
    EXPECT_EQ(AsUser(victim, [] { return OpenNamedMutex(QStringLiteral("first")) != 0 ? 0 : 1; }), 0);
    struct stat st {};
    ASSERT_EQ(lstat(folder.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, victim);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    plant(head + "M-foreign", other, 0600);
    plant(head + "M-shared", victim, 0666);
    plant(head + "E-foreign", other, 0666);
    // A link in the folder (only root could put one there) is not followed.
    plant(target, victim, 0600);
    ASSERT_EQ(symlink(target.constData(), (head + "M-link").constData()), 0);
    EXPECT_EQ(AsUser(victim,
                     [&] {
                         try {
                             OpenNamedMemory(QStringLiteral("link"), 100);
                             return 5;
                         } catch (const EOSError& error) {
                             if (error.ErrorCode != ELOOP ||
                                 !error.Message().contains(QString::fromLocal8Bit(head) + "M-link"))
                                 return 6;
                         }
                         for (const char* name : {"foreign", "shared"}) {
                             try {
                                 OpenNamedMemory(QLatin1String(name), 100);
                                 return 1;
                             } catch (const EOSError& error) {
                                 // Refused as another user's (EPERM), or not even
                                 // opened (EACCES): named either way.
                                 if ((error.ErrorCode != EPERM && error.ErrorCode != EACCES) ||
                                     !error.Message().contains(QString::fromLocal8Bit(head) + "M-" + name))
                                     return 2;
                             }
                         }
                         if (OpenNamedEvent(QStringLiteral("foreign"), false) != 0)
                             return 3;
                         const TSharedHandle own = OpenNamedMemory(QStringLiteral("own"), 100);
                         return MapNamedMemory(own) ? 0 : 4;
                     }),
              0);
    EXPECT_EQ(FileText(head + "M-foreign"), secret);
    EXPECT_EQ(FileText(head + "M-shared"), secret);
    EXPECT_EQ(FileText(head + "E-foreign"), secret);
    EXPECT_EQ(FileText(target), secret);
}

// Starts the peer program (a process of its own) as user uid, at place.
std::unique_ptr<TFreshProcess> Peer(const char* role, const QString& name, uid_t uid,
                                    const TPlace& place = {"outside a user namespace", std::nullopt})
{
    return std::make_unique<TFreshProcess>(QStringLiteral(TESSVAR_SHARED_OBJECTS_PEER),
                                           QStringList{QLatin1String(role), name},
                                           [=] { return BecomeUserAt(place, uid, uid); });
}

// Two processes of a user, a holder and one that meets it, started apart:
// the folder each chose ("folder ..." lines) and whether they met through
// the block, the mutex and the event.
struct TMeeting {
    QByteArray HolderFolder, MeeterFolder;
    bool Met = false;
};

// Starts the holder of name as uid at place; between starts runs once it
// is ready, then the one that meets it starts.
TMeeting Meet(const QString& name, uid_t uid, const TPlace& place, const std::function<void()>& between = {})
{
    TMeeting meeting;
    auto holder = Peer("hold", name, uid, place);
    meeting.HolderFolder = holder->ReadLine(20000);
    const QByteArray ready = holder->ReadLine(20000);
    EXPECT_EQ(ready, "ready") << meeting.HolderFolder.constData();
    if (ready != "ready")
        return meeting;
    if (between)
        between();
    const QByteArray holderMet = "met " + QByteArray::number(holder->Pid()) + " held";
    auto meeter = Peer("meet", name, uid, place);
    meeting.MeeterFolder = meeter->ReadLine(20000);
    const QByteArray met = meeter->ReadLine(20000);
    EXPECT_EQ(meeter->Finish(20000), 0);
    const QByteArray set = holder->ReadLine(20000);
    EXPECT_EQ(holder->Finish(20000), 0);
    meeting.Met = met == holderMet && set == "set";
    EXPECT_TRUE(meeting.Met) << met.constData() << " / " << set.constData();
    return meeting;
}

// Another user S, or the user A itself with a folder open to others, holds
// the name of A's folder of objects in /dev/shm (or every name of the
// series). A's processes, started apart, pass over it to the first name of
// the series that is or can be made A's private folder, and meet there
// through a block, a mutex and an event; a process started while the name
// was held meets one started after S freed it. Nothing of S's is used,
// read or changed, and S's own processes never meet A's objects. Only where
// every name is held does A's process fail, saying where and the way out.
TEST_F(SharedObjectsFolderTest, ProcessesOfAUserMeetWhereSomeoneElseHoldsTheNameOfTheirFolder)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    const uid_t s = MadeUpUid(2);
    const QByteArray target = "/tmp/tessvar-linked-" + QByteArray::number(getpid());
    const auto give = [](const QByteArray& path, uid_t owner, mode_t mode) {
        return lchown(path.constData(), owner, owner) == 0 && (S_ISLNK(mode) || chmod(path.constData(), mode) == 0);
    };
    const auto folderOf = [&](uid_t owner, mode_t mode) {
        return [=](const QByteArray& path) { return mkdir(path.constData(), 0700) == 0 && give(path, owner, mode); };
    };
    using THold = std::function<bool(const QByteArray&)>;
    const THold sFolder = folderOf(s, 0700);
    const THold sFile = [&](const QByteArray& path) {
        QFile file(QString::fromLocal8Bit(path));
        return file.open(QIODevice::WriteOnly) && file.write("S's own") == 7 && give(path, s, 0600);
    };
    // A link to a private folder of A's: following it would seem A's own.
    const THold sLink = [&](const QByteArray& path) {
        return symlink(target.constData(), path.constData()) == 0 && give(path, s, S_IFLNK);
    };
    const THold sFifo = [&](const QByteArray& path) { return mkfifo(path.constData(), 0600) == 0 && give(path, s, 0600); };
    const THold sDevice = [&](const QByteArray& path) {
        return mknod(path.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0 && give(path, s, 0600);
    };
    // A's own link and FIFO: the kernel follows a link in a sticky folder
    // for the link's owner whatever fs.protected_symlinks says, and an open
    // that may take a FIFO waits for a writer.
    const THold aLink = [&](const QByteArray& path) {
        return symlink(target.constData(), path.constData()) == 0 && give(path, a, S_IFLNK);
    };
    const THold aFifo = [&](const QByteArray& path) { return mkfifo(path.constData(), 0600) == 0 && give(path, a, 0600); };
    struct TRow {
        const char* Name;
        THold Hold;
        int Held;        // names of the series held, from the first
        bool Freed;      // S removes what holds the first name once A's first process started
        int Expected;    // the name of the series A's processes take; -1 none
    };
    const TRow rows[] = {
        {"S's private folder", sFolder, 1, false, 1},
        {"S's file", sFile, 1, false, 1},
        {"S's link to a private folder of A's", sLink, 1, false, 1},
        {"S's FIFO", sFifo, 1, false, 1},
        {"S's device node", sDevice, 1, false, 1},
        {"A's own link to a private folder of A's", aLink, 1, false, 1},
        {"A's own FIFO", aFifo, 1, false, 1},
        {"A's own folder, open to others", folderOf(a, 0755), 1, false, 1},
        {"A's own folder, open to its group", folderOf(a, 0770), 1, false, 1},
        {"A's own folder, others may pass through it", folderOf(a, 0701), 1, false, 1},
        {"A's own folder, open to its group alone, without A's rights", folderOf(a, 0070), 1, false, 1},
        {"S's folder, freed between A's two processes", sFolder, 1, true, 1},
        {"S's folders at every name but the last", sFolder, kObjectFolderSeries - 1, false, kObjectFolderSeries - 1},
        {"S's folders at every name", sFolder, kObjectFolderSeries, false, -1},
    };
    // Whatever is at A's names is this test's.
    const auto clear = [&] {
        for (int n = 0; n < kObjectFolderSeries; ++n)
            RemoveName(ObjectFolderOf(a, n));
        RemoveFolderOf(s);
        RemoveFolder(target);
    };
    const auto cleared = qScopeGuard(clear);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString name = Unique("series");
        clear();
        ASSERT_EQ(mkdir(target.constData(), 0700), 0);
        ASSERT_EQ(chown(target.constData(), a, a), 0);
        const QByteArray linked = Look(target);
        std::vector<QByteArray> before;
        for (int n = 0; n < row.Held; ++n) {
            ASSERT_TRUE(row.Hold(ObjectFolderOf(a, n))) << ObjectFolderOf(a, n).constData();
            before.push_back(Look(ObjectFolderOf(a, n)));
        }
        const QByteArray first = ObjectFolderOf(a, 0);
        if (row.Expected < 0) {
            auto peer = Peer("hold", name, a);
            const QByteArray said = peer->ReadLine(20000);
            EXPECT_TRUE(said.startsWith("error System Error.  Code: 1. The folder " + first +
                                        " of this user's shared objects belongs to another user or is open to "
                                        "others, and so does every other folder of its series up to " +
                                        ObjectFolderOf(a, kObjectFolderSeries - 1) + "; none is used."))
                << said.constData();
            EXPECT_TRUE(said.contains("XDG_RUNTIME_DIR")) << said.constData();
            EXPECT_EQ(peer->Finish(20000), 1);
        } else {
            const TMeeting meeting = Meet(name, a, {"outside a user namespace", std::nullopt}, [&] {
                // S's own process, meanwhile, finds nothing of A's.
                auto other = Peer("meet", name, s);
                EXPECT_EQ(other->ReadLine(20000), "folder " + ObjectFolderOf(s, 0));
                EXPECT_EQ(other->ReadLine(20000), "none");
                EXPECT_EQ(other->Finish(20000), 0);
                if (row.Freed)
                    RemoveName(first);
            });
            const QByteArray expected = "folder " + ObjectFolderOf(a, row.Expected);
            EXPECT_EQ(meeting.HolderFolder, expected);
            EXPECT_EQ(meeting.MeeterFolder, expected);
            EXPECT_EQ(ModeAndOwner(ObjectFolderOf(a, row.Expected)), "40700 " + QByteArray::number(a));
        }
        for (int n = 0; n < row.Held; ++n)
            EXPECT_EQ(Look(ObjectFolderOf(a, n)), row.Freed && n == 0 ? QByteArray("(nothing)") : before[size_t(n)])
                << n;
        EXPECT_EQ(Look(target), linked);
    }
}

// Every user of a machine may run the program in a user namespace of its
// own as root, where its folder's name is that of the real root's, which
// root's runs leave behind (reading there as owned by the overflow id). A's
// processes in such a namespace meet in a folder further down the series,
// B's namespace beside it meets its own and never A's, and nothing of
// theirs appears in the real root's folder, which root's own processes use
// meanwhile.
TEST_F(SharedObjectsFolderTest, UsersInNamespacesOfTheirOwnMeetBesideTheRealRootsFolder)
{
    if (Withheld(MadeUpUsersWithheld, UserNamespacesWithheld))
        return;
    const QByteArray rootFolder = ObjectFolderOf(0, 0);
    struct stat st {};
    if (lstat(rootFolder.constData(), &st) != 0) {
        ASSERT_EQ(mkdir(rootFolder.constData(), 0700), 0); // as a run of root's leaves it
    }
    const TPlace place{"as a user namespace's root", TNamespaceLayout::AsRoot};
    const uid_t a = MadeUpUid(1);
    const uid_t b = MadeUpUid(2);
    const auto removed = qScopeGuard([=] {
        RemoveObjectFoldersOf(0, a);
        RemoveObjectFoldersOf(0, b);
    });
    RemoveObjectFoldersOf(0, a);
    RemoveObjectFoldersOf(0, b);
    const QString name = Unique("namespace");
    auto holderA = Peer("hold", name, a, place);
    auto holderB = Peer("hold", name, b, place);
    const QByteArray folderA = holderA->ReadLine(20000).mid(7);
    const QByteArray folderB = holderB->ReadLine(20000).mid(7);
    ASSERT_EQ(holderA->ReadLine(20000), "ready") << folderA.constData();
    ASSERT_EQ(holderB->ReadLine(20000), "ready") << folderB.constData();
    EXPECT_TRUE(folderA.startsWith(rootFolder + '.')) << folderA.constData();
    EXPECT_TRUE(folderB.startsWith(rootFolder + '.')) << folderB.constData();
    EXPECT_NE(folderA, folderB);
    EXPECT_EQ(ModeAndOwner(folderA), "40700 " + QByteArray::number(a));
    EXPECT_EQ(ModeAndOwner(folderB), "40700 " + QByteArray::number(b));
    for (auto [uid, holder, folder] : {std::tuple(a, holderA.get(), folderA), std::tuple(b, holderB.get(), folderB)}) {
        auto meeter = Peer("meet", name, uid, place);
        EXPECT_EQ(meeter->ReadLine(20000), "folder " + folder);
        EXPECT_EQ(meeter->ReadLine(20000), "met " + QByteArray::number(holder->Pid()) + " held");
        EXPECT_EQ(meeter->Finish(20000), 0);
        EXPECT_EQ(holder->ReadLine(20000), "set");
        EXPECT_EQ(holder->Finish(20000), 0);
    }
    EXPECT_EQ(NamesIn(rootFolder, a), QList<QByteArray>{});
    EXPECT_EQ(NamesIn(rootFolder, b), QList<QByteArray>{});
    for (const QByteArray& file : NamesIn(rootFolder))
        EXPECT_FALSE(file.contains("namespace")) << file.constData();
}

// A rootless container's nobody, whose own id reads as the overflow id as
// every unmapped user's does, keeps using a folder of its own at its name:
// its processes meet there, and where another unmapped user's private
// folder holds the name (reading as owned by that same id), the kernel
// refuses it that folder and it passes over to the next name.
TEST_F(SharedObjectsFolderTest, ARootlessContainersNobodyMeetsInAFolderOfItsOwn)
{
    if (Withheld(MadeUpUsersWithheld, NamespaceMapsWithheld))
        return;
    const TPlace place{"as a rootless container's nobody", TNamespaceLayout::ContainerNobody};
    const uid_t nobody = NamespaceNobody();
    const uid_t s = MadeUpUid(2);
    const auto removed = qScopeGuard([=] {
        RemoveObjectFoldersOf(65534, nobody);
        RemoveObjectFoldersOf(65534, s);
    });
    RemoveObjectFoldersOf(65534, nobody);
    // What a user of the machine has at the names already stays as it is.
    int free = 0;
    struct stat st {};
    while (free < kObjectFolderSeries - 2 && lstat(ObjectFolderOf(65534, free).constData(), &st) == 0)
        ++free;
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "another unmapped user's folder at the name" : "the name free");
        const QByteArray name = ObjectFolderOf(65534, free);
        if (held) {
            ASSERT_EQ(mkdir(name.constData(), 0700), 0);
            ASSERT_EQ(chown(name.constData(), s, s), 0);
        }
        const TMeeting meeting = Meet(Unique("nobody"), MadeUpUid(1), place);
        const QByteArray own = ObjectFolderOf(65534, held ? free + 1 : free);
        EXPECT_EQ(meeting.HolderFolder, "folder " + own);
        EXPECT_EQ(meeting.MeeterFolder, "folder " + own);
        EXPECT_EQ(ModeAndOwner(own), "40700 " + QByteArray::number(nobody));
        if (held) {
            EXPECT_EQ(Look(name).split(' ').value(4), "[]");
            EXPECT_EQ(ModeAndOwner(name), "40700 " + QByteArray::number(s));
            RemoveObjectFoldersOf(65534, s);
        }
        RemoveObjectFoldersOf(65534, nobody);
    }
}

// A process of the user with a umask that takes the owner's bits makes one
// folder, 0700, and its objects and the wake-up block of the events 0600:
// a process of the user with the usual umask opens them, and the events of
// the two meet. A user whose every name of the series an earlier build left
// as a folder of the user's own without the owner's rights (0300) opens
// again, in the first of them, mended; the others stay as they are. So do
// object files that an earlier build left 0400.
TEST_F(SharedObjectsFolderTest, AUmaskWithoutTheOwnersBitsNeitherLocksTheUserOutNorSplitsItsProcesses)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    KeepFolderClean(a);
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
        const QByteArray head = ObjectFile(a, "");
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
    const QByteArray head = ObjectPath(first, a, "");
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
TEST_F(SharedObjectsFolderTest, OnlyAFolderOfTheUsersOwnIsUsedAndAFolderItMayNotMakeEndsTheChoice)
{
    if (Withheld(MountNamespaceWithheld, MadeUpUsersWithheld))
        return;
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
TEST_F(SharedObjectsFolderTest, WhatIsPutAtANameWhileItIsMendedIsNeitherFollowedNorChanged)
{
    if (Withheld(MadeUpUsersWithheld, TracingWithheld))
        return;
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

} // namespace
