// The bookkeeping of a named object, and what stands at its name: a process
// killed or stopped inside the bookkeeping (making, removing, enlarging)
// neither blocks the next nor delays it past the bound, a closer stopped
// anywhere in its close leaves the removal to the last, and a creator
// stopped before taking its use keeps its block; a block of the earlier
// layout is neither opened nor swept, a failed make takes
// its file away under the bookkeeping lock, a last close leaves a newer
// block at its name, a make cuts a larger half-made file, and an open whose
// name cannot be told fails with the system's error.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStringList>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// The steps inside the bookkeeping of a named object.
struct StepRow {
    const char* name;
    TSharedStep step;
};
constexpr StepRow kBookkeepingSteps[] = {
    {"made", TSharedStep::Made},
    {"removing", TSharedStep::Removing},
    {"growing", TSharedStep::Growing},
};

// A child that makes a block of that name (enlarging it for the growing
// step), closes it, and opens and closes an event of the name, raising
// signal the first time it comes to step.
pid_t SpawnSignalledAt(const QString& name, TSharedStep step, int signal)
{
    return Spawn([=] {
        static TSharedStep at;
        static int raised;
        at = step;
        raised = signal;
        SetSharedObjectsProbe([](TSharedStep now) {
            if (now == at && raised != 0)
                raise(std::exchange(raised, 0));
        });
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        if (step == TSharedStep::Growing)
            GrowNamedMemory(memory, 5000);
        CloseNamedObject(memory);
        const TSharedHandle event = OpenNamedEvent(name, false);
        CloseNamedObject(event);
    });
}

// A process that dies inside the bookkeeping of a named object: after
// making the block but before marking it complete, after marking it removed
// but before taking its name away, after enlarging it but before recording
// the size. Its bookkeeping lock went with it, and the next user opens the
// name as if nothing had happened.
TEST_F(SharedObjectsLifetimeTest, ADeathInsideTheBookkeepingOfAnObjectDoesNotBlockTheNext)
{
    for (const StepRow& row : kBookkeepingSteps) {
        const QString name = Unique(row.name);
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << row.name;

        EXPECT_EQ(TryBookkeepingLock(BlockFile(name)), 0) << row.name;
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        auto* bytes = static_cast<char*>(MapNamedMemory(memory));
        ASSERT_NE(bytes, nullptr) << row.name;
        EXPECT_GE(NamedMemorySize(memory), 100) << row.name;
        bytes[99] = 'x';
        EXPECT_TRUE(EventStillWorks(name, false)) << row.name;
        UnmapNamedMemory(bytes);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name)) << row.name;
    }
}

// A process stopped (SIGSTOP) inside the bookkeeping of an object: after
// making it, while removing it, while enlarging it. Another process opening
// that name waits its whole bound of 5000 ms, the stopped process holding
// the lock throughout, and fails with the operating-system error naming the
// object; another name opens meanwhile, on another thread, while this one
// still waits; once the stopped process goes on, the name works.
TEST_F(SharedObjectsLifetimeTest, AProcessStoppedInsideTheBookkeepingDelaysOthersAtMostTheBound)
{
    for (const StepRow& row : kBookkeepingSteps) {
        SCOPED_TRACE(row.name);
        const QString name = Unique(row.name) + "-stopped";
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGSTOP);
        int status = 0;
        waitpid(pid, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status));

        const QByteArray waiting = ThreadFolder();
        std::atomic<int> gaveUp{0};
        bool otherOpened = false;
        bool whileWaiting = false;
        std::thread other([&] {
            WaitForEndOrSleep(gaveUp, waiting); // the main thread waits for the lock
            const TSharedHandle event = OpenNamedEvent(name + "-other", false);
            whileWaiting = gaveUp.load() == 0;
            otherOpened = event && CloseNamedObject(event);
        });
        QElapsedTimer timer;
        timer.start();
        QString failure = QStringLiteral("opened");
        try {
            CloseNamedObject(OpenNamedMemory(name, 100));
        } catch (const EOSError& error) {
            failure = QStringLiteral("%1 %2").arg(error.ErrorCode).arg(error.Message());
        }
        const qint64 ms = timer.elapsed();
        gaveUp = 1;
        other.join();
        const QByteArray file = ObjectFile(geteuid(), "M-" + name.toUtf8());
        EXPECT_TRUE(failure.startsWith(QString::number(ETIMEDOUT) + ' ') &&
                    failure.contains(QString::fromUtf8(file)))
            << failure.toStdString();
        EXPECT_GE(ms, 5000) << "gave up before its bound";
        EXPECT_EQ(TryBookkeepingLock(SharedObjectsFolder().toLocal8Bit() + '/' + file), EWOULDBLOCK)
            << "the stopped process let go of the lock";
        EXPECT_TRUE(otherOpened);
        EXPECT_TRUE(whileWaiting) << "the other name opened only once this one gave up";

        kill(pid, SIGCONT);
        waitpid(pid, &status, 0);
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        void* view = MapNamedMemory(memory);
        EXPECT_NE(view, nullptr);
        UnmapNamedMemory(view);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name));
    }
}

// Two processes of a user hold an event and a block. One of them (A) closes
// both, stopped in turn at each system call of its close, while the other
// (B) closes them: whichever is last removes both names.
TEST_F(SharedObjectsLifetimeTest, ACloserStoppedAnywhereInItsCloseLeavesTheRemovalToTheLast)
{
    if (Withheld(MadeUpUsersWithheld, TracingWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    KeepFolderClean(a);
    auto b = Script(a);
    ASSERT_EQ(b->Ask("folder", 20000), "folder " + ObjectFolderOf(a, 0));
    bool closedBeforeTheStop = false;
    int step = 0;
    for (; !closedBeforeTheStop && step < 200; ++step) {
        SCOPED_TRACE(step);
        const QByteArray name = Unique("stopped-").toUtf8() + QByteArray::number(step);
        ASSERT_EQ(b->Ask("event " + name, 20000), "event clear");
        ASSERT_EQ(b->Ask("memory " + name + " 64", 20000), "memory 64 0");
        TTracedChild closer([&] {
            BecomeWithoutRuntime(a);
            const TSharedHandle event = OpenNamedEvent(QString::fromUtf8(name), true);
            const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(name), 0);
            getppid(); // the close begins
            if (!CloseNamedObject(event) || !CloseNamedObject(memory))
                _exit(2);
        });
        ASSERT_TRUE(closer.Refused().isEmpty()) << closer.Refused().toStdString();
        ASSERT_TRUE(closer.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
        for (int call = 0; call <= step && !closedBeforeTheStop; ++call)
            closedBeforeTheStop = !closer.NextCall();
        ASSERT_TRUE(b->Send("close " + name));
        QByteArray closed = b->ReadLine(300); // at once, or once A goes on
        EXPECT_EQ(closer.Finish(), 0);
        if (closed.isEmpty())
            closed = b->ReadLine(20000);
        EXPECT_EQ(closed, "closed");
        EXPECT_EQ(ObjectsIn(ObjectFolderOf(a, 0), a, {"E-" + name, "M-" + name}), QList<QByteArray>{});
    }
    EXPECT_TRUE(closedBeforeTheStop) << "more than " << step << " calls";
    EXPECT_EQ(b->Finish(20000), 0);
}

// A process that makes a block is stopped between marking it complete and
// taking its use of it, while another process opens the name: the other
// opens that very block, and both use it.
TEST_F(SharedObjectsLifetimeTest, ACreatorStoppedBeforeTakingItsUseKeepsItsBlock)
{
    if (Withheld(MadeUpUsersWithheld, TracingWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    KeepFolderClean(a);
    const QByteArray name = Unique("made").toUtf8();
    const QByteArray file = ObjectPath(ObjectFolderOf(a, 0), a, "M-" + name);
    TTracedChild creator([&] {
        BecomeWithoutRuntime(a);
        CloseNamedObject(OpenNamedMutex(QStringLiteral("first"))); // the folder chosen and swept
        getppid();                                                 // the block is made
        const auto* word = static_cast<const volatile int32_t*>(
            MapNamedMemory(OpenNamedMemory(QString::fromUtf8(name), 64)));
        for (int i = 0; word && *word != 9 && i < 1000; ++i)
            usleep(10'000);
        _exit(word && *word == 9 ? 0 : 3);
    });
    ASSERT_TRUE(creator.Refused().isEmpty()) << creator.Refused().toStdString();
    ASSERT_TRUE(creator.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    ASSERT_TRUE(creator.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_fcntl && call.Argument(1) == F_OFD_SETLK;
    }));
    ASSERT_EQ(FileText(file).left(4), QByteArray(reinterpret_cast<const char*>(&sharedobjects_layout::kMagic), 4))
        << "not marked complete";
    auto other = Script(a);
    ASSERT_TRUE(other->Send("memory " + name + " 0"));
    QByteArray opened = other->ReadLine(300); // it waits for the creator
    creator.Detach();
    if (opened.isEmpty())
        opened = other->ReadLine(20000);
    EXPECT_EQ(opened, "memory 64 0");
    EXPECT_EQ(other->Ask("write " + name + " 9", 20000), "written");
    EXPECT_EQ(creator.Finish(), 0) << "the creator's block did not get the other's 9";
    EXPECT_EQ(other->Finish(20000), 0);
}

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

// A block of the earlier layout ("tessvar6-", magic "TSV6"), of 1 MiB, as a
// process of the build before left it: one that ended ("left", which a
// sweep of this layout would remove) and one whose process still holds it
// ("held", which an opener of this layout would take as it is). A process
// of this build opens both names, its first named open sweeping the folder:
// it must get new blocks of this layout, of the size it asks and zero
// filled, and the old files must stay as they were, neither removed nor
// changed. Both layouts under one prefix and magic would hand the new
// process a block of another size and content, kept by rules its build
// does not follow (an event's sets are counted differently), and would
// sweep what the old process's build still counts on. A finished block of
// this layout left the same way is swept: the sweep did run. Under a
// made-up user, whose folder is this test's alone and whose first named
// open is the child's own.
TEST_F(SharedObjectsLifetimeTest, ABlockOfTheEarlierLayoutIsNeitherOpenedNorSwept)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    KeepFolderClean(a);
    const QByteArray folder = FolderOfUser(a);
    const QByteArray left = Unique("earlier-left").toUtf8();
    const QByteArray held = Unique("earlier-held").toUtf8();
    const QByteArray leftover = Unique("leftover").toUtf8();
    const QByteArray leftFile = ObjectPath(folder, a, "M-" + left, "tessvar6-");
    const QByteArray heldFile = ObjectPath(folder, a, "M-" + held, "tessvar6-");
    const QByteArray leftoverFile = ObjectPath(folder, a, "M-" + leftover);
    constexpr uint32_t kEarlierMagic = 0x36565354; // "TSV6"
    using sharedobjects_layout::kMagic;

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
                              .arg(FileSize(ObjectPath(folder, a, "M-" + name)));
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
TEST_F(SharedObjectsLifetimeTest, AFailedMakeTakesItsFileAwayUnderTheBookkeepingLock)
{
    if (Withheld(TracingWithheld))
        return;
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

// A last closer marks its object removed before it takes its name away. An
// opener that opened the object's file while the closer held its
// bookkeeping lock takes the lock as soon as the closer lets it go, while
// the closer (stopped at its close of the descriptor) still holds its use
// of the object: the opener finds the mark and opens the name anew, making
// a new block. Without the mark it took the object for one in use, and
// failed to share it (EAGAIN).
TEST_F(SharedObjectsLifetimeTest, AnOpenerArrivingAsTheLastCloserEndsOpensTheNameAnew)
{
    if (Withheld(TracingWithheld))
        return;
    const QString name = Unique("closing");
    const QByteArray key = ObjectFile(geteuid(), "M-" + name.toUtf8());
    const QByteArray file = SharedObjectsFolder().toLocal8Bit() + '/' + key;
    TTracedChild closer([&] {
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        getppid(); // the close begins
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(closer.Refused().isEmpty()) << closer.Refused().toStdString();
    ASSERT_TRUE(closer.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    ASSERT_TRUE(closer.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_unlinkat && call.TextAt(call.Argument(1)) == key;
    })) << "the closer took no name away";
    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    const pid_t opener = Spawn([&] {
        char outcome = 'E';
        try {
            const TSharedHandle memory = OpenNamedMemory(name, 64);
            outcome = NamedMemorySize(memory) == 64 ? 'N' : 'O';
        } catch (const EOSError& error) {
            outcome = error.ErrorCode == EAGAIN ? 'A' : 'E';
        }
        (void)!write(answer[1], &outcome, 1);
    });
    close(answer[1]);
    // The opener has the object's file open, and waits for its lock.
    const QString descriptors = QStringLiteral("/proc/%1/fd").arg(opener);
    const auto opened = [&] {
        for (const QString& entry : QDir(descriptors).entryList(QDir::Files | QDir::System))
            if (QFile::symLinkTarget(descriptors + '/' + entry).toLocal8Bit() == file)
                return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!opened() && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    ASSERT_TRUE(opened()) << "the opener never opened the object's file";
    int descriptor = -1;
    ASSERT_TRUE(closer.RunTo([&](const TTracedChild& call) {
        if (call.Call() != SYS_flock || call.Argument(1) != LOCK_UN)
            return false;
        descriptor = int(call.Argument(0));
        return true;
    })) << "the closer never let its bookkeeping lock go";
    ASSERT_TRUE(closer.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_close && int(call.Argument(0)) == descriptor;
    })) << "the closer never closed the object's descriptor";
    char outcome = 0;
    EXPECT_EQ(read(answer[0], &outcome, 1), 1);
    close(answer[0]);
    EXPECT_EQ(outcome, 'N') << "N: a new block, O: the old one, A: EAGAIN, E: another error";
    EXPECT_EQ(ExitCode(opener), 0);
    EXPECT_EQ(closer.Finish(), 0);
}

// The last close of an object takes its name away only where the name still
// stands for that object. Here this process's block loses its name (its file
// unlinked by hand), another process makes a new block at the name and holds
// it, and this process then closes the old block as its last user: the new
// block's file must stay at the name, and a third process that opens the
// name must meet the new block. A close that took the name away unasked
// would remove a block that a live process holds, and every later opener
// would make another block of that name, apart from the holder's.
TEST_F(SharedObjectsLifetimeTest, ALastCloseLeavesANewerBlockAtItsName)
{
    const QString name = Unique("renamed");
    const QByteArray file = ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), "M-" + name.toUtf8());
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
TEST_F(SharedObjectsLifetimeTest, AMakeCutsALargerHalfMadeFileToTheSizeAsked)
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
            const QByteArray file = ObjectPath(SharedObjectsFolder().toLocal8Bit(), a, "M-" + name);
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
TEST_F(SharedObjectsLifetimeTest, AnOpenWhoseNameCannotBeToldFailsWithTheSystemsError)
{
    if (Withheld(TracingWithheld))
        return;
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
