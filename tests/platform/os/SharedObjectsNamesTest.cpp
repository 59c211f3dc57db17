// What stands at an object's name: blocks of the earlier layout, files a
// make left half done, a name that came to stand for a newer object, and a
// system that cannot tell what the name stands for.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QScopeGuard>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

constexpr int64_t kMiB = 1 << 20;

// Makes a forked child the test's user: a made-up one without
// XDG_RUNTIME_DIR (whose folder is chosen anew, and swept at its first
// named open), or this process's own, which it stays.
void BecomeTestUser(uid_t uid)
{
    if (uid != geteuid())
        BecomeWithoutRuntime(uid);
}

// The folder of the objects of the test's user (made where none was).
QByteArray FolderOfUser(uid_t uid)
{
    return uid == geteuid() ? SharedObjectsFolder().toLocal8Bit() : FolderOf(uid);
}

// The file name of the object of the user uid ("M-name" ...), in the
// layout given by prefix.
QByteArray ObjectFile(uid_t uid, const QByteArray& kindAndName, const QByteArray& prefix = "tessvar5-")
{
    return prefix + QByteArray::number(uint(uid)) + '-' + kindAndName;
}

// Writes a block's 64-byte head (magic, kind, removed flag, listeners, data
// size) at the start of the file of fd, and marker bytes at the start of
// its data; the file is then ftruncate'd to the head and dataBytes, its
// pages beyond those written left unclaimed.
bool WriteBlock(int fd, uint32_t magic, int64_t dataBytes, const QByteArray& marker)
{
    char head[64] = {};
    const uint32_t words[4] = {magic, uint32_t('M'), 0, 0};
    std::memcpy(head, words, sizeof(words));
    std::memcpy(head + sizeof(words), &dataBytes, sizeof(dataBytes));
    return pwrite(fd, head, sizeof(head), 0) == ssize_t(sizeof(head)) &&
           pwrite(fd, marker.constData(), size_t(marker.size()), 64) == ssize_t(marker.size()) &&
           ftruncate(fd, off_t(64 + dataBytes)) == 0;
}

// A block file of the user uid at path, made by hand: 0600, the user's own.
int BlockFile(const QByteArray& path, uid_t uid)
{
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0) << path.constData();
    EXPECT_EQ(fchown(fd, uid, uid), 0);
    return fd;
}

// Whether the bytes of a view are all zero.
bool AllZero(const void* view, int64_t size)
{
    const auto* bytes = static_cast<const char*>(view);
    for (int64_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// The size of the file at path; -1 where nothing is there.
int64_t FileSize(const QByteArray& path)
{
    struct stat st {};
    return stat(path.constData(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// The inode of what is at path; 0 where nothing is there.
ino_t InodeAt(const QByteArray& path)
{
    struct stat st {};
    return lstat(path.constData(), &st) == 0 ? st.st_ino : 0;
}

// What Look tells of a file's identity, without its bytes: its mode,
// owner, inode and size ("(nothing)" where nothing is there).
std::string Identity(const QByteArray& look)
{
    return look.split(' ').mid(0, 4).join(' ').toStdString();
}

// A block of the earlier layout ("tessvar4-", magic "TSV4"), of 1 MiB that
// its process never claimed (ftruncate'd), as a process of the build before
// left it: one that ended ("left", which a sweep of this layout would
// remove) and one whose process still holds it ("held", which an opener of
// this layout would take as it is). A process of this build opens both
// names, its first named open sweeping the folder: it must get new blocks
// of this layout, of the size it asks and zero filled, and the old files
// must stay as they were, neither removed nor changed. Both layouts under
// one prefix and magic would hand the new process a block whose pages the
// old one never claimed (SIGBUS on a full /dev/shm), of another size and
// content, and would sweep what the old process's build still counts on.
// A finished block of this layout left the same way is swept: the sweep
// did run. Under a made-up user, whose folder is this test's alone and
// whose first named open is the child's own.
TEST(SharedObjectsTest, ABlockOfTheEarlierLayoutIsNeitherOpenedNorSwept)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    const QByteArray folder = FolderOfUser(a);
    const QByteArray left = Unique("earlier-left").toUtf8();
    const QByteArray held = Unique("earlier-held").toUtf8();
    const QByteArray leftover = Unique("leftover").toUtf8();
    const QByteArray leftFile = folder + '/' + ObjectFile(a, "M-" + left, "tessvar4-");
    const QByteArray heldFile = folder + '/' + ObjectFile(a, "M-" + held, "tessvar4-");
    const QByteArray leftoverFile = folder + '/' + ObjectFile(a, "M-" + leftover);
    constexpr uint32_t kEarlierMagic = 0x34565354; // "TSV4"
    constexpr uint32_t kMagic = 0x35565354;        // "TSV5"

    const int leftFd = BlockFile(leftFile, a);
    ASSERT_TRUE(WriteBlock(leftFd, kEarlierMagic, kMiB, "earlier layout, left"));
    close(leftFd);
    const int heldFd = HeldFile(heldFile, a, 0600);
    ASSERT_TRUE(WriteBlock(heldFd, kEarlierMagic, kMiB, "earlier layout, held"));
    const auto let = qScopeGuard([heldFd] { close(heldFd); });
    const int leftoverFd = BlockFile(leftoverFile, a);
    ASSERT_TRUE(WriteBlock(leftoverFd, kMagic, 64, QByteArray()));
    close(leftoverFd);
    const QByteArray leftBefore = Look(leftFile);
    const QByteArray heldBefore = Look(heldFile);

    // Each block as the new process finds it: its size, its bytes, the size
    // of its file of this layout.
    const QString found = RunInChild(
        [&] {
            BecomeTestUser(a);
            return SharedObjectsFolder().toLocal8Bit() == folder ? QString()
                                                                 : QStringLiteral("another folder");
        },
        [&] {
            QStringList blocks;
            for (const QByteArray& name : {left, held}) {
                const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(name), 100);
                const void* view = MapNamedMemory(memory);
                blocks << QStringLiteral("%1 %2 %3")
                              .arg(NamedMemorySize(memory))
                              .arg(view && AllZero(view, NamedMemorySize(memory)) ? "zeros" : "not zeros")
                              .arg(FileSize(folder + '/' + ObjectFile(a, "M-" + name)));
            }
            return blocks.join(QStringLiteral(", "));
        });
    EXPECT_EQ(found.toStdString(), "100 zeros 164, 100 zeros 164");
    const QByteArray leftAfter = Look(leftFile);
    const QByteArray heldAfter = Look(heldFile);
    EXPECT_TRUE(leftAfter == leftBefore) << Identity(leftAfter) << " was " << Identity(leftBefore);
    EXPECT_TRUE(heldAfter == heldBefore) << Identity(heldAfter) << " was " << Identity(heldBefore);
    EXPECT_FALSE(SomethingAt(leftoverFile)) << "no sweep ran";
}

// A create whose claim of its pages fails (EFBIG: a file size limit, which
// SIGXFSZ ignored turns into an error) takes its half-made file's name away
// before it lets go of the file's bookkeeping lock. Taken away after, an
// opener that came meanwhile would find the name still there and make its
// own block in that file, whose name the failed creator then takes from
// under it: two processes that open one name would hold different blocks.
// The creator is stopped at the unlink of its file, and this process tries
// that file's lock: it must find it held.
TEST(SharedObjectsTest, AFailedMakeTakesItsFileAwayUnderTheBookkeepingLock)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const QByteArray folder = FolderOfUser(a);
    const QByteArray name = Unique("unmade").toUtf8();
    const QByteArray key = ObjectFile(a, "M-" + name);
    const QByteArray file = folder + '/' + key;
    TTracedChild creator([&] {
        BecomeTestUser(a);
        CloseNamedObject(OpenNamedMutex(Unique("unmade-first"))); // the folder chosen and swept
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(2);
        getppid(); // the make begins
        try {
            OpenNamedMemory(QString::fromUtf8(name), kMiB);
            _exit(3);
        } catch (const EOSError& e) {
            const QString expected = QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                                         .arg(EFBIG)
                                         .arg(qt_error_string(EFBIG), QString::fromLocal8Bit(file));
            if (e.ErrorCode != EFBIG || e.Message() != expected)
                _exit(4);
        }
        if (SomethingAt(file))
            _exit(5);
    });
    ASSERT_TRUE(creator.Refused().isEmpty()) << creator.Refused().toStdString();
    ASSERT_TRUE(creator.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    ASSERT_TRUE(creator.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_unlinkat && call.TextAt(call.Argument(1)) == key;
    })) << "the half-made file was not unlinked";
    EXPECT_EQ(TryBookkeepingLock(file), EWOULDBLOCK) << "the unlink runs outside the bookkeeping lock";
    EXPECT_EQ(creator.Finish(), 0) << "2: no limit, 3: made, 4: another error, 5: the file left";
    EXPECT_FALSE(SomethingAt(file));
}

// The last close of an object takes its name away only where the name still
// stands for that object. Here this process's block loses its name (its file
// unlinked by hand), another process makes a new block at the name and holds
// it, and this process then closes the old block as its last user: the new
// block's file must stay at the name, and a third process that opens the
// name must meet the new block. A close that took the name away unasked
// would remove a block that a live process holds, and every later opener
// would make another block of that name, apart from the holder's.
TEST(SharedObjectsTest, ALastCloseLeavesANewerBlockAtItsName)
{
    const QString name = Unique("renamed");
    const QByteArray file =
        SharedObjectsFolder().toLocal8Bit() + '/' + ObjectFile(geteuid(), "M-" + name.toUtf8());
    const TSharedHandle old = OpenNamedMemory(name, 64);
    ASSERT_NE(old, 0u);
    ASSERT_EQ(unlink(file.constData()), 0) << file.constData();

    TSharedHandle held = 0;
    void* heldView = nullptr;
    TPausedChild holder(
        [&] {
            held = OpenNamedMemory(name, 64);
            auto* view = static_cast<char*>(heldView = MapNamedMemory(held));
            if (!view)
                return 'N';
            view[0] = 'h';
            return 'Y';
        },
        [&] {
            UnmapNamedMemory(heldView);
            CloseNamedObject(held);
        });
    ASSERT_EQ(holder.Ready(), 'Y');
    const ino_t newer = InodeAt(file);
    ASSERT_NE(newer, ino_t(0));

    EXPECT_TRUE(CloseNamedObject(old));
    EXPECT_EQ(InodeAt(file), newer) << "the close took the newer block's name";
    Child third([&] {
        const TSharedHandle memory = OpenNamedMemory(name, 64);
        auto* view = static_cast<char*>(MapNamedMemory(memory));
        const char met = view ? view[0] : 'N';
        UnmapNamedMemory(view);
        CloseNamedObject(memory);
        return met;
    });
    EXPECT_EQ(third.Result(), 'h') << "the third process did not meet the holder's block";
    EXPECT_EQ(holder.Release(), 0);
}

// A creator killed half way leaves a file at the name without the magic,
// here of 1 MiB, that nobody holds (the start-up sweep would remove it, so
// it is made after the user's first named open). A create at the name makes
// the block in that file anew, at the size asked: it must cut the file to
// that size first. Made in place without the cut, the block's file would
// keep its 1 MiB, which a later opener in another process maps (an opener
// maps the file's size) and the creator does not, and the bytes the killed
// creator left would be the new block's.
TEST(SharedObjectsTest, AMakeCutsALargerHalfMadeFileToTheSizeAsked)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const QByteArray name = Unique("halfmade").toUtf8();
    const QString found = RunInChild(
        [&] {
            BecomeTestUser(a);
            return QString();
        },
        [&] {
            CloseNamedObject(OpenNamedMutex(Unique("halfmade-first"))); // the folder chosen and swept
            const QByteArray file = SharedObjectsFolder().toLocal8Bit() + '/' + ObjectFile(a, "M-" + name);
            const int fd = open(file.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 || !WriteBlock(fd, 0, kMiB - 64, QByteArray(64, 'k')))
                return QStringLiteral("no half-made file: ") + qt_error_string(errno);
            close(fd);
            const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(name), 64);
            const void* view = MapNamedMemory(memory);
            // The size that another process's opener maps.
            const QString later = RunInChildWithin(20000, [&] {
                const TSharedHandle again = OpenNamedMemory(QString::fromUtf8(name), 0);
                const qint64 size = NamedMemorySize(again);
                CloseNamedObject(again);
                return QString::number(size);
            });
            const QString block = QStringLiteral("block %1, %2, file %3, later opener %4")
                                      .arg(NamedMemorySize(memory))
                                      .arg(view && AllZero(view, 64) ? "zeros" : "not zeros")
                                      .arg(FileSize(file))
                                      .arg(later);
            UnmapNamedMemory(const_cast<void*>(view));
            CloseNamedObject(memory);
            return block;
        });
    EXPECT_EQ(found.toStdString(), "block 64, zeros, file 128, later opener 64");
}

// The check that the name still stands for the half-made file, before a
// create makes the block in it, fails for want of memory (ENOMEM at the
// fstatat of the name, as a tracer makes it fail): the system could not
// tell, so the open fails with that error naming the file. Taken for "not
// named", the opener would retry at a name it cannot judge and end in
// EAGAIN (or succeed once the failure passes, hiding it); taken for
// "named", it would make a block in a file whose name may stand for
// another object by now.
TEST(SharedObjectsTest, AnOpenWhoseNameCannotBeToldFailsWithTheSystemsError)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const QByteArray folder = FolderOfUser(a);
    const QByteArray name = Unique("untold").toUtf8();
    const QByteArray key = ObjectFile(a, "M-" + name);
    TTracedChild opener([&] {
        BecomeTestUser(a);
        CloseNamedObject(OpenNamedMutex(Unique("untold-first"))); // the folder chosen and swept
        getppid();                                                // the open begins
        try {
            OpenNamedMemory(QString::fromUtf8(name), 64);
            _exit(2);
        } catch (const EOSError& e) {
            const QString expected =
                QStringLiteral("System Error.  Code: %1.\n%2\n%3")
                    .arg(ENOMEM)
                    .arg(qt_error_string(ENOMEM), QString::fromLocal8Bit(folder + '/' + key));
            if (e.ErrorCode != ENOMEM)
                _exit(3);
            if (e.Message() != expected)
                _exit(4);
        }
    });
    ASSERT_TRUE(opener.Refused().isEmpty()) << opener.Refused().toStdString();
    ASSERT_TRUE(opener.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    // Every look at the name without following a link fails, for as long as
    // the opener looks: the system cannot tell at all.
    const auto looksAtTheName = [&](const TTracedChild& call) {
        const bool stat = call.Call() == SYS_newfstatat && (call.Argument(3) & AT_SYMLINK_NOFOLLOW) != 0;
        const bool statx = call.Call() == SYS_statx && (call.Argument(2) & AT_SYMLINK_NOFOLLOW) != 0;
        return (stat || statx) && call.TextAt(call.Argument(1)) == key;
    };
    int failed = 0;
    while (opener.RunTo(looksAtTheName)) {
        if (!opener.FailCall(ENOMEM))
            GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
        ++failed;
    }
    EXPECT_EQ(failed, 1) << "the opener looked at the name again";
    EXPECT_EQ(opener.Finish(), 0) << "2: opened, 3: another error, 4: another message";
    // The empty file that the failed open left at the name, which a later
    // opener would make anew (or a sweep remove).
    unlink((folder + '/' + key).constData());
}

} // namespace
