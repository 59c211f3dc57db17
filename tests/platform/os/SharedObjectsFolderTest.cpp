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

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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
TEST(SharedObjectsTest, AnotherUsersFolderOrObjectsAreNeitherUsedNorRead)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
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
    const QByteArray prefix = folder + "/tessvar5-" + QByteArray::number(uint(victim));
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
    plant(prefix + "-M-taken", other, 0600);
    plant(prefix + "-M-open", other, 0666);
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
    EXPECT_EQ(FileText(prefix + "-M-taken"), secret);
    EXPECT_EQ(FileText(prefix + "-M-open"), secret);
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
    plant(prefix + "-M-foreign", other, 0600);
    plant(prefix + "-M-shared", victim, 0666);
    plant(prefix + "-E-foreign", other, 0666);
    // A link in the folder (only root could put one there) is not followed.
    plant(target, victim, 0600);
    ASSERT_EQ(symlink(target.constData(), (prefix + "-M-link").constData()), 0);
    EXPECT_EQ(AsUser(victim,
                     [&] {
                         try {
                             OpenNamedMemory(QStringLiteral("link"), 100);
                             return 5;
                         } catch (const EOSError& error) {
                             if (error.ErrorCode != ELOOP ||
                                 !error.Message().contains(QString::fromLocal8Bit(prefix) + "-M-link"))
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
                                     !error.Message().contains(QString::fromLocal8Bit(prefix) + "-M-" + name))
                                     return 2;
                             }
                         }
                         if (OpenNamedEvent(QStringLiteral("foreign"), false) != 0)
                             return 3;
                         const TSharedHandle own = OpenNamedMemory(QStringLiteral("own"), 100);
                         return MapNamedMemory(own) ? 0 : 4;
                     }),
              0);
    EXPECT_EQ(FileText(prefix + "-M-foreign"), secret);
    EXPECT_EQ(FileText(prefix + "-M-shared"), secret);
    EXPECT_EQ(FileText(prefix + "-E-foreign"), secret);
    EXPECT_EQ(FileText(target), secret);
}

// A set XDG_RUNTIME_DIR that is refused (another user's folder) sends the
// objects to /dev/shm/tessvar-<uid>, or to a later folder of its series
// where another user holds that name: said once per process, naming the
// folder in use. The user's own folder, or none set, is taken silently.
TEST(SharedObjectsTest, ARefusedRuntimeFolderIsSaidOnceAndTheFolderInUseIsNamed)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(3);
    const uid_t other = MadeUpUid(2);
    const QByteArray fallback = FolderOf(uid);
    const QByteArray own = "/tmp/tessvar-own-" + QByteArray::number(getpid());
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([=] {
        RemoveFolder(own);
        RemoveObjectFoldersOf(uid, other);
        RemoveFolderOf(uid);
    });
    ASSERT_EQ(mkdir(own.constData(), 0700), 0);
    ASSERT_EQ(chown(own.constData(), uid, uid), 0);
    struct Row {
        int line;
        const char* runtime; // null: not set
        QByteArray inUse;
        bool said;
        bool held; // another user's folder at the first name of the series
    };
    const Row rows[] = {
        {1, "/tmp", fallback, true, false},
        {2, own.constData(), own, false, false},
        {3, nullptr, fallback, false, false},
        {4, "/tmp", ObjectFolderOf(uid, 1), true, true},
    };
    static int said;
    static QString text;
    for (const Row& row : rows) {
        if (row.held) {
            RemoveFolderOf(uid);
            ASSERT_EQ(mkdir(fallback.constData(), 0700), 0);
            ASSERT_EQ(chown(fallback.constData(), other, other), 0);
        }
        EXPECT_EQ(AsUser(uid,
                         [&] {
                             qInstallMessageHandler(
                                 [](QtMsgType, const QMessageLogContext&, const QString& message) {
                                     ++said;
                                     text = message;
                                 });
                             if (row.runtime)
                                 setenv("XDG_RUNTIME_DIR", row.runtime, 1);
                             else
                                 unsetenv("XDG_RUNTIME_DIR");
                             for (int i = 0; i < 3; ++i) {
                                 CloseNamedObject(OpenNamedEvent(QStringLiteral("said"), false));
                                 CloseNamedObject(OpenNamedMutex(QStringLiteral("said")));
                             }
                             if (SharedObjectsFolder() != QString::fromLocal8Bit(row.inUse))
                                 return 1;
                             if (said != (row.said ? 1 : 0))
                                 return 2;
                             const QString named =
                                 QStringLiteral(
                                     "The folder %1 of XDG_RUNTIME_DIR belongs to another user; this "
                                     "process keeps its shared objects in %2.")
                                     .arg(QLatin1String(row.runtime ? row.runtime : ""),
                                          QString::fromLocal8Bit(row.inUse));
                             return !row.said || text == named ? 0 : 3;
                         }),
                  0)
            << "row " << row.line;
    }
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
TEST(SharedObjectsTest, ProcessesOfAUserMeetWhereSomeoneElseHoldsTheNameOfTheirFolder)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
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
TEST(SharedObjectsTest, UsersInNamespacesOfTheirOwnMeetBesideTheRealRootsFolder)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = UserNamespacesWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
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
TEST(SharedObjectsTest, ARootlessContainersNobodyMeetsInAFolderOfItsOwn)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = NamespaceMapsWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
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

// A set XDG_RUNTIME_DIR that cannot be used is passed over, and the warning
// says why, naming the setting as judged (without trailing slashes) and the
// folder in use: it does not exist, is a file, a FIFO or a link (to a
// private folder of the user's, however it is spelt: two processes that
// spell it apart meet), has a file where its path needs a folder (told
// apart from a file at the name itself, which the open refuses alike with
// ENOTDIR), is another user's (open, or closed to the user),
// is open to others, is relative, or has a name too long for the system (a
// part of 300 bytes, or more than PATH_MAX in all). A private folder of the
// user's own is used without a word, with or without a trailing slash.
TEST(SharedObjectsTest, ARuntimeFolderThatCannotBeUsedIsPassedOverForItsReason)
{
    const TLifetimeUser user;
    if (const QString withheld = user.RightsWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = user.Uid;
    const TRuntimeFolder base("reasons", a, 0755);
    // The folders made in base go before it, which removes only files.
    const auto removed = qScopeGuard([&] {
        for (const char* folder : {"/own", "/open", "/others"})
            RemoveFolder(base.Path + folder);
    });
    const QByteArray own = base.Path + "/own";
    ASSERT_EQ(mkdir(own.constData(), 0700), 0);
    ASSERT_EQ(chown(own.constData(), a, a), 0);
    const QByteArray open = base.Path + "/open";
    ASSERT_EQ(mkdir(open.constData(), 0755), 0);
    ASSERT_EQ(chown(open.constData(), a, a), 0);
    ASSERT_EQ(chmod(open.constData(), 0755), 0);
    const QByteArray file = base.Path + "/file";
    close(HeldFile(file, a, 0600));
    const QByteArray fifo = base.Path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(lchown(fifo.constData(), a, a), 0);
    const QByteArray link = base.Path + "/link";
    ASSERT_EQ(symlink(own.constData(), link.constData()), 0);
    ASSERT_EQ(lchown(link.constData(), a, a), 0);
    QByteArray beyondPathMax = "/tmp";
    while (beyondPathMax.size() <= PATH_MAX)
        beyondPathMax += "/x";
    struct TRow {
        QByteArray Setting;
        QByteArray Judged; // the folder the warning names; empty where none is given
        const char* Reason;
    };
    std::vector<TRow> rows{
        {base.Path + "/missing", base.Path + "/missing", "does not exist"},
        {file, file, "is not a folder (a link is not followed)"},
        {file + "/run", file + "/run", "has a file where its path needs a folder"},
        {fifo + "/run/", fifo + "/run", "has a file where its path needs a folder"},
        {fifo, fifo, "is not a folder (a link is not followed)"},
        {link, link, "is not a folder (a link is not followed)"},
        {link + '/', link, "is not a folder (a link is not followed)"},
        {link + "//", link, "is not a folder (a link is not followed)"},
        {"/", "/", "belongs to another user"},
        {open, open, "is open to others"},
        {"relative/run", "relative/run", "is not an absolute path"},
        {"/tmp/" + QByteArray(300, 'x'), "/tmp/" + QByteArray(300, 'x'),
         "has a name too long for the system"},
        {beyondPathMax, beyondPathMax, "has a name too long for the system"},
        {own, {}, nullptr},
        {own + '/', {}, nullptr},
    };
    if (a != geteuid()) {
        const QByteArray others = base.Path + "/others";
        ASSERT_EQ(mkdir(others.constData(), 0700), 0);
        ASSERT_EQ(chown(others.constData(), MadeUpUid(2), MadeUpUid(2)), 0);
        rows.push_back({others, others, "belongs to another user"});
    }
    QByteArray fallback;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Setting.left(200).constData());
        auto p =
            Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(row.Setting)});
        QByteArray answer = p->Ask("event e", 20000);
        QByteArray warning;
        if (answer.startsWith("warning ")) {
            warning = answer;
            answer = p->ReadLine(20000);
        }
        EXPECT_EQ(answer.toStdString(), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        if (row.Reason) {
            if (fallback.isEmpty())
                fallback = folder;
            EXPECT_EQ(folder.toStdString(), fallback.toStdString());
            EXPECT_EQ(warning.toStdString(),
                      ("warning The folder " + row.Judged + " of XDG_RUNTIME_DIR " + row.Reason +
                       "; this process keeps its shared objects in " + folder + '.')
                          .toStdString());
        } else {
            EXPECT_EQ(folder.toStdString(), own.toStdString());
            EXPECT_EQ(warning.toStdString(), "");
        }
        EXPECT_EQ(p->Ask("event f", 20000).toStdString(), "event clear"); // said once
        EXPECT_EQ(p->Finish(20000), 0);
    }
    EXPECT_TRUE(fallback.startsWith("/dev/shm/tessvar-" + QByteArray::number(a))) << fallback.constData();

    // The link spelt two ways: the two processes meet.
    auto p = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(link)});
    auto q = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(link) + '/'});
    const QByteArray name = Unique("spelt").toUtf8();
    EXPECT_TRUE(p->Ask("event " + name, 20000).startsWith("warning "));
    EXPECT_EQ(p->ReadLine(20000), "event clear");
    EXPECT_TRUE(q->Ask("event " + name, 20000).startsWith("warning "));
    EXPECT_EQ(q->ReadLine(20000), "event clear");
    EXPECT_EQ(q->Ask("set " + name, 20000), "done");
    EXPECT_EQ(p->Ask("wait " + name + " 5000", 20000), "signaled");
    EXPECT_EQ(q->Finish(20000), 0);
    EXPECT_EQ(p->Finish(20000), 0);
}

// XDG_RUNTIME_DIR is a folder of the user's own without its owner's rights
// (0500, 0000) on a read-only file system, where the mend that would give
// them is refused for good (EROFS): as the open folder is mended (root, or
// 0500 for the user) and as the folder the user may not open is mended
// before its open (0000 for a user whose rights bind it). The folder is
// passed over, as a read-only folder always is, with the warning giving the
// reason and naming the series' folder in /dev/shm, which is used: an
// EROFS taken for the process's own failure would fail every open of the
// user, and one taken for a folder the user may not open would give the
// wrong reason. Run outside any namespace as root and as a made-up user,
// and in a user namespace of its own, as its root and as the user itself
// (whose rights bind it there); each with a /dev/shm of its own.
TEST(SharedObjectsTest, AReadOnlyRuntimeFolderWithoutItsOwnersRightsIsPassedOver)
{
    struct TRow {
        TPlace Place;
        uid_t Uid;   // the user the peer runs as, outside
        uid_t Shown; // its id as the peer sees it
        QString Withheld;
    };
    const QString mountWithheld = MountNamespaceWithheld();
    const QString madeUpWithheld = MadeUpUsersWithheld();
    const QString namespacesWithheld = UserNamespacesWithheld();
    const uid_t user = madeUpWithheld.isEmpty() ? MadeUpUid(1) : geteuid();
    const TRow rows[] = {
        {{"as root", std::nullopt},
         0,
         0,
         geteuid() != 0 ? ProbeAnswer(QStringLiteral("root"), QStringLiteral("this process is not root"))
                        : mountWithheld},
        {{"as a made-up user", std::nullopt},
         MadeUpUid(1),
         MadeUpUid(1),
         !mountWithheld.isEmpty() ? mountWithheld : madeUpWithheld},
        {{"in a user namespace, as its root", TNamespaceLayout::AsRoot}, user, 0, namespacesWithheld},
        {{"in a user namespace, as the user itself", TNamespaceLayout::AsItself},
         user,
         user,
         namespacesWithheld},
    };
    const QByteArray mountPoint = "/tmp/tessvar-ro-" + QByteArray::number(getpid());
    const QByteArray runtime = mountPoint + "/run";
    ASSERT_EQ(mkdir(mountPoint.constData(), 0755), 0) << mountPoint.constData();
    ASSERT_EQ(chmod(mountPoint.constData(), 0755), 0);
    const auto removed = qScopeGuard([&] { rmdir(mountPoint.constData()); });
    QStringList notTried;
    for (const TRow& row : rows) {
        if (!row.Withheld.isEmpty()) {
            notTried << QStringLiteral("%1 (%2)").arg(QLatin1String(row.Place.Name), row.Withheld);
            continue;
        }
        for (const mode_t mode : {mode_t(0500), mode_t(0000)}) {
            SCOPED_TRACE(QStringLiteral("%1, mode %2")
                             .arg(QLatin1String(row.Place.Name))
                             .arg(mode, 4, 8, QLatin1Char('0'))
                             .toStdString());
            const auto setUp = [&] {
                QString failure = OwnRuntimeTmpfs(mountPoint, "mode=0755", row.Shown, mode, true);
                return failure.isEmpty() ? OwnDevShm("mode=1777") : failure;
            };
            const auto become = [&] {
                if (row.Place.Layout)
                    return BecomeUserAt(row.Place, row.Uid, row.Uid, {}, setUp);
                const QString failure = setUp();
                return failure.isEmpty() ? BecomeUserAt(row.Place, row.Uid, row.Uid) : failure;
            };
            auto p = Script(row.Uid, row.Place, become,
                            {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(runtime)});
            const QByteArray series = "/dev/shm/tessvar-" + QByteArray::number(uint(row.Shown));
            QByteArray answer = p->Ask("event e", 20000);
            QByteArray warning;
            if (answer.startsWith("warning ")) {
                warning = answer;
                answer = p->ReadLine(20000);
            }
            EXPECT_EQ(warning.toStdString(),
                      ("warning The folder " + runtime +
                       " of XDG_RUNTIME_DIR lacks its owner's rights, which the system refuses to give it (a "
                       "read-only or immutable folder); this process keeps its shared objects in " +
                       series + '.')
                          .toStdString());
            EXPECT_EQ(answer.toStdString(), "event clear");
            EXPECT_EQ(p->Ask("event f", 20000).toStdString(), "event clear"); // said once
            EXPECT_EQ(p->Ask("folder", 20000).toStdString(), ("folder " + series).toStdString());
            EXPECT_EQ(p->Finish(20000), 0);
        }
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << "not tried " << notTried.join(QStringLiteral("; ")).toStdString();
}

// The warning that a set XDG_RUNTIME_DIR is passed over names the folder in
// use: where the setting is refused (relative, or missing) and the series
// then fails for the process's own reason (no descriptor left, EMFILE, at
// its first name: the kernel's own in the first case, a tracer's in the
// second, where the open of the missing setting would meet the full table
// first), no folder is in use. The open fails naming the series' folder,
// with no warning, which would name an empty folder and be given up for the
// process; the next open, which finds the folder, gives it, naming it.
TEST(SharedObjectsTest, NoFallbackIsSaidWhereTheSeriesFailedForTheProcesssOwnReason)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const QByteArray first = ObjectFolderOf(a, 0);
    {
        SCOPED_TRACE("a relative setting, the descriptor table full");
        auto p = Script(a, {}, {}, {QStringLiteral("XDG_RUNTIME_DIR=relative/run")});
        EXPECT_EQ(p->Ask("tight 0 event e", 20000).toStdString(),
                  ("error 24 System Error.  Code: 24. Too many open files " + first).toStdString());
        QByteArray answer = p->Ask("event e", 20000);
        QByteArray warning;
        if (answer.startsWith("warning ")) {
            warning = answer;
            answer = p->ReadLine(20000);
        }
        EXPECT_EQ(answer.toStdString(), "event clear");
        const QByteArray folder = p->Ask("folder", 20000).mid(7);
        EXPECT_TRUE(folder.startsWith(first)) << folder.constData();
        EXPECT_EQ(warning.toStdString(),
                  ("warning The folder relative/run of XDG_RUNTIME_DIR is not an absolute path; this process "
                   "keeps its shared objects in " +
                   folder + '.')
                      .toStdString());
        EXPECT_EQ(p->Finish(20000), 0);
    }
    QStringList notTried;
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        notTried << withheld;
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        notTried << withheld;
    if (!notTried.isEmpty())
        GTEST_SKIP() << "a missing setting not tried: " << notTried.join(QStringLiteral("; ")).toStdString();
    SCOPED_TRACE("a missing setting, EMFILE at the series");
    const QByteArray missing = "/tmp/tessvar-missing-" + QByteArray::number(getpid());
    TTracedChild child([&] {
        static int said = 0;
        static QString text;
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            ++said;
            text = message;
        });
        BecomeWithoutRuntime(a);
        setenv("XDG_RUNTIME_DIR", missing.constData(), 1);
        if (OpenNamedEvent(QStringLiteral("e"), false) != 0)
            _exit(2);
        const EOSError failed = LastSharedObjectError();
        if (failed.ErrorCode != EMFILE ||
            failed.Message() != QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                                    .arg(EMFILE)
                                    .arg(qt_error_string(EMFILE), QString::fromLocal8Bit(first)))
            _exit(3);
        if (said != 0)
            _exit(4);
        if (OpenNamedEvent(QStringLiteral("e"), false) == 0)
            _exit(5);
        const QString expected =
            QStringLiteral("The folder %1 of XDG_RUNTIME_DIR does not exist; this process "
                           "keeps its shared objects in %2.")
                .arg(QString::fromLocal8Bit(missing), QString::fromLocal8Bit(first));
        if (said != 1 || text != expected)
            _exit(6);
    });
    ASSERT_TRUE(child.Refused().isEmpty()) << child.Refused().toStdString();
    ASSERT_TRUE(child.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == first;
    })) << "no open of "
        << first.constData();
    if (!child.FailCall(EMFILE))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    EXPECT_EQ(child.Finish(), 0);
}

} // namespace
