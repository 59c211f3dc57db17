#include "platform/os/SharedObjects.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EarlierLayoutBlock.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include <atomic>
#include <thread>
#include <tuple>
#include <utility>

#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A name no other test run uses.
QString Unique(const char* name)
{
    return QStringLiteral("test-%1-%2").arg(getpid()).arg(QLatin1String(name));
}

// A child process that runs body and reports its one-byte result through a
// pipe; the child ends with _exit so that nothing of the parent's state is
// torn down twice.
class Child {
public:
    explicit Child(const std::function<char()>& body)
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            char result = 'X'; // an exception, which must not go on to the parent's tests
            try {
                result = body();
            } catch (...) {
            }
            (void)!write(fds[1], &result, 1);
            _exit(0);
        }
        close(fds[1]);
        FRead = fds[0];
    }
    ~Child() { Result(); }
    // The child's result once it has ended; 0 when it gave none.
    char Result()
    {
        if (FPid > 0) {
            if (read(FRead, &FResult, 1) != 1)
                FResult = 0;
            close(FRead);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
        return FResult;
    }

private:
    pid_t FPid = -1;
    int FRead = -1;
    char FResult = 0;
};

bool ShmExists(const QString& kindAndName)
{
    struct stat st {};
    const QByteArray path = SharedObjectsFolder().toLocal8Bit() + "/tessvar4-" + QByteArray::number(uint(geteuid())) +
                            '-' + kindAndName.toUtf8();
    return stat(path.constData(), &st) == 0;
}

TEST(SharedObjectsTest, MemoryIsSharedByNameAcrossProcessesAndRemovedByTheLastClose)
{
    const QString name = Unique("mem");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    ASSERT_NE(memory, 0u);
    EXPECT_EQ(NamedMemorySize(memory), 4096);
    auto* bytes = static_cast<char*>(MapNamedMemory(memory));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0); // a new block is zero filled
    std::strcpy(bytes, "parent");

    // The child opens the name with another size: the existing block, with its
    // own size, is what it gets.
    Child child([&] {
        const TSharedHandle h = OpenNamedMemory(name, 16);
        auto* view = static_cast<char*>(MapNamedMemory(h));
        const bool same = view && NamedMemorySize(h) == 4096 && std::strcmp(view, "parent") == 0;
        if (view)
            std::strcpy(view, "child");
        return same ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_STREQ(bytes, "child");

    // A second handle in the same process shares the mapping.
    const TSharedHandle again = OpenNamedMemory(name, 0);
    EXPECT_EQ(MapNamedMemory(again), bytes);
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(again));
    EXPECT_TRUE(ShmExists("M-" + name));
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(memory));
    EXPECT_FALSE(ShmExists("M-" + name));
}

TEST(SharedObjectsTest, MemoryThatCannotBeMadeRaisesAndUnnamedBlocksAreNotShared)
{
    try {
        OpenNamedMemory(Unique("missing"), 0); // size 0 only opens
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, ENOENT);
        EXPECT_TRUE(e.Message().startsWith("System Error.  Code: 2.")) << e.Message().toStdString();
    }
    EXPECT_THROW(OpenNamedMemory(QString(), 0), EOSError);

    const TSharedHandle a = OpenNamedMemory(QString(), 64);
    const TSharedHandle b = OpenNamedMemory(QString(), 64);
    auto* va = static_cast<char*>(MapNamedMemory(a));
    auto* vb = static_cast<char*>(MapNamedMemory(b));
    ASSERT_TRUE(va && vb);
    EXPECT_NE(va, vb);
    // A forked child writes through the unnamed block it inherited.
    Child child([&] {
        va[0] = 'c';
        return 'Y';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_EQ(va[0], 'c');
    EXPECT_EQ(vb[0], 0);
    UnmapNamedMemory(va);
    UnmapNamedMemory(vb);
    CloseNamedObject(a);
    CloseNamedObject(b);
}

TEST(SharedObjectsTest, NamesWithAnyCharactersAndLongNamesWork)
{
    const QString odd = Unique("Global\\a/b c:\u00e8\u4e00");
    const QString longName = Unique("x") + QString(300, u'n');
    for (const QString& name : {odd, longName}) {
        const TSharedHandle first = OpenNamedEvent(name, true);
        const TSharedHandle second = OpenNamedEvent(name, false);
        ASSERT_NE(first, 0u) << name.toStdString();
        SetNamedEvent(first);
        EXPECT_EQ(WaitNamedObject(second, 0), TWaitResult::wrSignaled);
        CloseNamedObject(first);
        CloseNamedObject(second);
    }
    // The two names differ only where escaping could merge them.
    const TSharedHandle p = OpenNamedEvent(Unique("a%2F"), true);
    const TSharedHandle q = OpenNamedEvent(Unique("a/"), true);
    SetNamedEvent(p);
    EXPECT_EQ(WaitNamedObject(q, 0), TWaitResult::wrTimeout);
    CloseNamedObject(p);
    CloseNamedObject(q);
}

TEST(SharedObjectsTest, BadHandlesFailWithoutHarm)
{
    EXPECT_FALSE(CloseNamedObject(0));
    EXPECT_FALSE(CloseNamedObject(987654321));
    EXPECT_EQ(MapNamedMemory(987654321), nullptr);
    EXPECT_FALSE(UnmapNamedMemory(reinterpret_cast<void*>(0x1000)));
    EXPECT_FALSE(SetNamedEvent(987654321));
    EXPECT_EQ(WaitNamedObject(987654321, 0), TWaitResult::wrFailed);
    EXPECT_EQ(WaitNamedEvents({}, 0), TWaitResult::wrFailed);
    // A mutex is no event, an event no memory block.
    const TSharedHandle mutex = OpenNamedMutex(Unique("kind-m"));
    const TSharedHandle event = OpenNamedEvent(Unique("kind-e"), false);
    EXPECT_FALSE(SetNamedEvent(mutex));
    EXPECT_EQ(WaitNamedEvents({event, mutex}, 0), TWaitResult::wrFailed);
    EXPECT_EQ(MapNamedMemory(event), nullptr);
    EXPECT_FALSE(ReleaseNamedMutex(event));
    CloseNamedObject(mutex);
    CloseNamedObject(event);
    EXPECT_FALSE(CloseNamedObject(mutex)); // closed twice
}

TEST(SharedObjectsTest, AutoResetEventWakesOneWaiterAndManualResetWakesAll)
{
    struct Row {
        int line;
        bool manual;
        int woken; // children of two that wake from one set
    };
    const Row rows[] = {
        {1, false, 1}, // one waiter per set of an auto-reset event
        {2, true, 2},  // every waiter until a manual-reset event is reset
    };
    for (const Row& row : rows) {
        const QString name = Unique(row.manual ? "ev-manual" : "ev-auto");
        const TSharedHandle event = OpenNamedEvent(name, row.manual);
        auto waiter = [&] {
            const TSharedHandle h = OpenNamedEvent(name, !row.manual);
            return WaitNamedObject(h, 1500) == TWaitResult::wrSignaled ? 'W' : 'T';
        };
        Child a(waiter), b(waiter);
        usleep(300'000); // both children are waiting
        SetNamedEvent(event);
        const int woken = (a.Result() == 'W') + (b.Result() == 'W');
        EXPECT_EQ(woken, row.woken) << "row " << row.line;
        // The auto-reset event reset itself; the manual one is still set.
        EXPECT_EQ(WaitNamedObject(event, 0), row.manual ? TWaitResult::wrSignaled : TWaitResult::wrTimeout)
            << "row " << row.line;
        CloseNamedObject(event);
    }
}

TEST(SharedObjectsTest, EventKeepsTheKindItWasCreatedWith)
{
    const QString name = Unique("ev-kind");
    const TSharedHandle creator = OpenNamedEvent(name, false);
    Child child([&] {
        // Asked for as manual-reset, the existing auto-reset event is opened.
        const TSharedHandle h = OpenNamedEvent(name, true);
        SetNamedEvent(h);
        const bool first = WaitNamedObject(h, 0) == TWaitResult::wrSignaled;
        const bool second = WaitNamedObject(h, 0) == TWaitResult::wrTimeout;
        return first && second ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');
    CloseNamedObject(creator);
}

TEST(SharedObjectsTest, PulseReleasesOnlyTheWaitersOfThatMoment)
{
    const QString name = Unique("ev-pulse");
    const TSharedHandle event = OpenNamedEvent(name, true);
    // Nobody waits: the pulse leaves nothing behind.
    PulseNamedEvent(event);
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);

    Child child([&] {
        const TSharedHandle h = OpenNamedEvent(name, true);
        return WaitNamedObject(h, 2000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    usleep(300'000);
    PulseNamedEvent(event);
    EXPECT_EQ(child.Result(), 'W');
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout); // reset again
    CloseNamedObject(event);
}

TEST(SharedObjectsTest, WaitOnEitherOfTwoEventsTakesOnlyTheOneSignalled)
{
    const TSharedHandle completed = OpenNamedEvent(Unique("either-a"), false);
    const TSharedHandle error = OpenNamedEvent(Unique("either-b"), false);
    int index = -1;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(WaitNamedEvents({completed, error}, 100, &index), TWaitResult::wrTimeout);
    EXPECT_GE(timer.elapsed(), 95);
    EXPECT_LT(timer.elapsed(), 1000);

    SetNamedEvent(error);
    EXPECT_EQ(WaitNamedEvents({completed, error}, 100, &index), TWaitResult::wrSignaled);
    EXPECT_EQ(index, 1);
    SetNamedEvent(completed);
    SetNamedEvent(error);
    EXPECT_EQ(WaitNamedEvents({completed, error}, 100, &index), TWaitResult::wrSignaled);
    EXPECT_EQ(index, 0);
    // The other event is still set and was not taken.
    EXPECT_EQ(WaitNamedObject(error, 0), TWaitResult::wrSignaled);

    // Set from another process while waiting.
    const QString name = Unique("either-a");
    Child child([&] {
        usleep(200'000);
        SetNamedEvent(OpenNamedEvent(name, false));
        return 'Y';
    });
    EXPECT_EQ(WaitNamedEvents({error, completed}, 3000, &index), TWaitResult::wrSignaled);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(child.Result(), 'Y');
    CloseNamedObject(completed);
    CloseNamedObject(error);
}

// Waits on more events than are kept without allocating (8), and on more
// than one kernel call waits on at once (128): a set from another process
// wakes the wait, which takes that event and names it by its place.
TEST(SharedObjectsTest, WaitOnManyEventsTakesTheOneSetFarDownTheList)
{
    for (const int count : {10, 130}) {
        SCOPED_TRACE(count);
        std::vector<TSharedHandle> events;
        for (int i = 0; i < count; ++i)
            events.push_back(OpenNamedEvent(Unique("many-") + QString::number(i), false));
        const QString name = Unique("many-") + QString::number(count - 2);
        Child child([&] {
            usleep(100'000);
            SetNamedEvent(OpenNamedEvent(name, false));
            return 'Y';
        });
        int index = -1;
        EXPECT_EQ(WaitNamedEvents(events, 3000, &index), TWaitResult::wrSignaled);
        EXPECT_EQ(index, count - 2);
        EXPECT_EQ(child.Result(), 'Y');
        EXPECT_EQ(WaitNamedEvents(events, 0, &index), TWaitResult::wrTimeout); // taken
        for (const TSharedHandle event : events)
            CloseNamedObject(event);
    }
}

// A thread that sleeps in an event loop hears an event through a descriptor:
// every set or pulse in any process makes it readable. One process listens
// at a time; one killed while listening is replaced by the next.
TEST(SharedObjectsTest, AListenersDescriptorRingsOnEverySetAndAKilledListenerIsReplaced)
{
    const QString name = Unique("bell");
    const TSharedHandle event = OpenNamedEvent(name, false);
    auto readable = [](int descriptor, int ms) {
        pollfd poller{descriptor, POLLIN, 0};
        return poll(&poller, 1, ms) == 1;
    };
    auto setInAChild = [&](bool pulse) {
        Child setter([&] {
            const TSharedHandle other = OpenNamedEvent(name, false);
            return (pulse ? PulseNamedEvent(other) : SetNamedEvent(other)) ? 'Y' : 'N';
        });
        return setter.Result() == 'Y';
    };
    int descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    EXPECT_FALSE(readable(descriptor, 0));
    ASSERT_TRUE(setInAChild(false));
    EXPECT_TRUE(readable(descriptor, 5000));
    EXPECT_EQ(DrainEventDescriptor(descriptor), 1);
    EXPECT_FALSE(readable(descriptor, 0));
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);
    // A thread of this process that waits on the event is still woken by a
    // set; the ring comes as well.
    std::thread waiter([&] { EXPECT_EQ(WaitNamedObject(event, 5000), TWaitResult::wrSignaled); });
    while (!readable(descriptor, 0)) {
        SetNamedEvent(event);
        usleep(1000);
    }
    waiter.join();
    DrainEventDescriptor(descriptor);
    ResetNamedEvent(event);

    // Another process cannot listen while this one does; a reset rings no one.
    Child second([&] {
        const TSharedHandle other = OpenNamedEvent(name, false);
        ResetNamedEvent(other);
        return ListenNamedEvent(other) < 0 && LastSharedObjectError().ErrorCode == EADDRINUSE ? 'Y' : 'N';
    });
    EXPECT_EQ(second.Result(), 'Y');
    EXPECT_FALSE(readable(descriptor, 100));
    EXPECT_EQ(ListenNamedEvent(event), -1); // nor this one twice
    EXPECT_EQ(LastSharedObjectError().ErrorCode, EBUSY);
    EXPECT_TRUE(UnlistenNamedEvent(event));
    close(descriptor);

    // A listener killed with rings unread: the next one takes its place, and
    // setters reach the new one.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t listener = fork();
    if (listener == 0) {
        const TSharedHandle other = OpenNamedEvent(name, false);
        const char ok = ListenNamedEvent(other) >= 0 ? 'Y' : 'N';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'Y');
    EXPECT_TRUE(setInAChild(false));
    kill(listener, SIGKILL);
    waitpid(listener, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    ResetNamedEvent(event);
    descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    ASSERT_TRUE(setInAChild(true));
    EXPECT_TRUE(readable(descriptor, 5000));
    EXPECT_EQ(DrainEventDescriptor(descriptor), 1);
    SetNamedEvent(event); // rings from this process as well
    EXPECT_TRUE(readable(descriptor, 5000));

    // The socket's name goes with the listening.
    const QByteArray bell = "B-" + name.toUtf8();
    EXPECT_TRUE(ShmExists(bell));
    EXPECT_TRUE(CloseNamedObject(event));
    EXPECT_FALSE(ShmExists(bell));
    close(descriptor);
}

TEST(SharedObjectsTest, MutexWaitTimesOutAfterItsTimeAndCountsNestedTakes)
{
    const QString name = Unique("mutex-busy");
    const TSharedHandle mutex = OpenNamedMutex(name);
    ASSERT_NE(mutex, 0u);
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled); // nested take

    Child child([&] {
        const TSharedHandle h = OpenNamedMutex(name);
        QElapsedTimer timer;
        timer.start();
        const bool timedOut = WaitNamedObject(h, 200) == TWaitResult::wrTimeout;
        const qint64 ms = timer.elapsed();
        return timedOut && ms >= 190 && ms < 1500 ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');

    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_FALSE(ReleaseNamedMutex(mutex)); // no longer held
    Child taker(
        [&] { return WaitNamedObject(OpenNamedMutex(name), 500) == TWaitResult::wrSignaled ? 'Y' : 'N'; });
    EXPECT_EQ(taker.Result(), 'Y');
    CloseNamedObject(mutex);
}

TEST(SharedObjectsTest, MutexOfAnOwnerThatDiedIsAcquiredAsAbandoned)
{
    const QString name = Unique("mutex-dead");
    const TSharedHandle mutex = OpenNamedMutex(name);
    {
        Child owner([&] {
            // Takes the mutex and ends without releasing it.
            return WaitNamedObject(OpenNamedMutex(name), 1000) == TWaitResult::wrSignaled ? 'Y' : 'N';
        });
        EXPECT_EQ(owner.Result(), 'Y');
    } // the child has ended
    EXPECT_EQ(WaitNamedObject(mutex, 1000), TWaitResult::wrAbandoned);
    // The new owner holds it normally.
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled);
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    CloseNamedObject(mutex);
}

} // namespace

namespace {

TEST(SharedObjectsTest, GrowingABlockServesLaterOpenersAndLeavesEarlierViews)
{
    const QString name = Unique("grow");
    const TSharedHandle first = OpenNamedMemory(name, 100);
    auto* small = static_cast<char*>(MapNamedMemory(first));
    ASSERT_NE(small, nullptr);
    std::memcpy(small, "kept", 4);
    // Mapped here: its address would move, so it is not grown.
    EXPECT_FALSE(GrowNamedMemory(first, 5000));

    // A child that did not map it grows it; this process keeps its view of
    // 100 bytes, and a new opener in the child gets the 5000.
    const pid_t child = fork();
    if (child == 0) {
        const TSharedHandle again = OpenNamedMemory(name, 0);
        bool ok = GrowNamedMemory(again, 5000) && NamedMemorySize(again) == 5000;
        auto* big = static_cast<char*>(MapNamedMemory(again));
        ok = ok && big && std::memcmp(big, "kept", 4) == 0;
        if (big)
            big[4999] = 'z';
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(NamedMemorySize(first), 100);
    UnmapNamedMemory(small);
    CloseNamedObject(first);
}

} // namespace

namespace {

pid_t Spawn(const std::function<void()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        // An exception ends the child; it must not go on to the parent's
        // tests.
        try {
            body();
        } catch (...) {
            _exit(99);
        }
        _exit(0);
    }
    return pid;
}

void Kill(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A user id no account has, of this test process alone (n, below 4, tells
// several apart).
uid_t MadeUpUid(int n)
{
    return MadeUpId(kFirstFreeSlot + unsigned(n));
}

// The folder of the objects of the made-up user uid, as a process of that
// user without XDG_RUNTIME_DIR chooses it (making it where none was).
QByteArray FolderOf(uid_t uid)
{
    return RunAsUser(uid,
                     [] {
                         unsetenv("XDG_RUNTIME_DIR");
                         return SharedObjectsFolder();
                     })
        .toLocal8Bit();
}

// Removes a folder and the files in it.
void RemoveFolder(const QByteArray& folder)
{
    for (const QByteArray& name : NamesIn(folder))
        unlink((folder + '/' + name).constData());
    rmdir(folder.constData());
}

void RemoveFolderOf(uid_t uid)
{
    RemoveObjectFoldersOf(uid, uid);
}

// Starts body in a child process as user uid (the parent must be root),
// which ends with body's result as its exit code.
pid_t SpawnAsUser(uid_t uid, const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
            _exit(100);
        try {
            _exit(body());
        } catch (...) {
            _exit(99); // not on to the parent's tests
        }
    }
    return pid;
}

// The exit code of a child once it has ended; 200 + the signal that ended it.
int ExitCode(pid_t pid)
{
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Runs body in a child process as user uid; the child's exit code, 0 for
// success.
int AsUser(uid_t uid, const std::function<int()>& body)
{
    return ExitCode(SpawnAsUser(uid, body));
}

QByteArray FileText(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

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

// Whether a set made here releases a waiter in a new child within 2 s.
bool EventStillWorks(const QString& name, bool manual)
{
    Child waiter([&] {
        const TSharedHandle h = OpenNamedEvent(name, manual);
        return WaitNamedObject(h, 2000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    usleep(50'000);
    const TSharedHandle event = OpenNamedEvent(name, manual);
    QElapsedTimer timer;
    timer.start();
    SetNamedEvent(event);
    const bool setAtOnce = timer.elapsed() < 500;
    const bool woken = waiter.Result() == 'W';
    ResetNamedEvent(event);
    CloseNamedObject(event);
    return setAtOnce && woken;
}

// Processes that wait on, set, reset and pulse events in a tight loop are
// killed at random instructions; afterwards every event still sets at once
// and releases its waiter, and an auto-reset set still releases only one.
TEST(SharedObjectsTest, ProcessesKilledAnywhereInsideEventCallsLeaveEventsWorking)
{
    const QString autoName = Unique("kill-auto");
    const QString manualName = Unique("kill-manual");
    const TSharedHandle keepAuto = OpenNamedEvent(autoName, false);
    const TSharedHandle keepManual = OpenNamedEvent(manualName, true);
    std::mt19937 random(12345);
    for (int round = 0; round < 30; ++round) {
        std::vector<pid_t> children;
        for (int i = 0; i < 4; ++i) {
            children.push_back(Spawn([&, i] {
                const TSharedHandle a = OpenNamedEvent(autoName, false);
                const TSharedHandle m = OpenNamedEvent(manualName, true);
                for (int n = 0;; ++n) {
                    if (i % 2 == 0) {
                        WaitNamedEvents({a, m}, 5);
                    } else {
                        SetNamedEvent(n % 3 ? a : m);
                        ResetNamedEvent(m);
                        PulseNamedEvent(n % 2 ? a : m);
                    }
                }
            }));
        }
        usleep(useconds_t(1000 + random() % 20000));
        for (pid_t pid : children)
            Kill(pid);
    }
    ResetNamedEvent(keepAuto);
    ResetNamedEvent(keepManual);
    EXPECT_TRUE(EventStillWorks(autoName, false));
    EXPECT_TRUE(EventStillWorks(manualName, true));

    // Waiters killed while asleep: one set of the auto-reset event releases
    // exactly one of the two waiters that live.
    std::vector<pid_t> sleepers;
    for (int i = 0; i < 3; ++i)
        sleepers.push_back(Spawn([&] { WaitNamedObject(OpenNamedEvent(autoName, false), kWaitInfinite); }));
    auto waiter = [&] {
        return WaitNamedObject(OpenNamedEvent(autoName, false), 1500) == TWaitResult::wrSignaled ? 'W' : 'T';
    };
    Child a(waiter), b(waiter);
    usleep(200'000);
    for (pid_t pid : sleepers)
        Kill(pid);
    SetNamedEvent(keepAuto);
    EXPECT_EQ((a.Result() == 'W') + (b.Result() == 'W'), 1);
    CloseNamedObject(keepAuto);
    CloseNamedObject(keepManual);
}

// A process that dies inside the bookkeeping of a named object: after
// making the block but before marking it complete, after marking it removed
// but before taking its name away, after enlarging it but before recording
// the size. The next user opens the name as if nothing had happened.
TEST(SharedObjectsTest, ADeathInsideTheBookkeepingOfAnObjectDoesNotBlockTheNext)
{
    for (const StepRow& row : kBookkeepingSteps) {
        const QString name = Unique(row.name);
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << row.name;

        QElapsedTimer timer;
        timer.start();
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        auto* bytes = static_cast<char*>(MapNamedMemory(memory));
        ASSERT_NE(bytes, nullptr) << row.name;
        EXPECT_GE(NamedMemorySize(memory), 100) << row.name;
        bytes[99] = 'x';
        EXPECT_TRUE(EventStillWorks(name, false)) << row.name;
        EXPECT_LT(timer.elapsed(), 3000) << row.name;
        UnmapNamedMemory(bytes);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name)) << row.name;
    }
}

// The earlier layout kept every event of a user behind one process-shared
// mutex and condition variable in "/tessvar-<uid>-H-events", which a process
// killed inside a wait left locked for good. A block of that layout, left
// locked (its mutex held by a live process, its condition variable's lock
// word set), and a mutex of that layout held the same way, must not stop the
// objects of this layout. Run under a user id of its own, so that the blocks
// of the real user are not touched.
TEST(SharedObjectsTest, BlocksOfTheEarlierLayoutLeftLockedDoNotStopThisOne)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(0);
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([uid] { RemoveFolderOf(uid); });
    const pid_t tester = Spawn([uid] {
        if (setresuid(uid, uid, 0) != 0)
            _exit(2);
        const QByteArray root = "/tessvar-" + QByteArray::number(uint(uid)) + '-';
        const QString name = QStringLiteral("old-layout-event");
        // The old blocks: a 64-byte head (magic "TSV1", kind, removed flag,
        // size) and the data, held locked by a child that lives on.
        const QByteArray hubKey = root + "H-events";
        const QByteArray mutexKey = root + "X-" + name.toUtf8();
        const QByteArray eventKey = root + "E-" + name.toUtf8();
        const pid_t holder = Spawn([&] {
            // Every block's mutex held, and its condition variable's words
            // (its internal lock among them) all set.
            const size_t dataBytes = sizeof(pthread_mutex_t) + sizeof(pthread_cond_t);
            for (const QByteArray& key : {hubKey, mutexKey, eventKey})
                if (!MakeEarlierLayoutBlock(key, key.at(root.size()), dataBytes, true))
                    _exit(3);
            for (;;)
                pause();
        });
        usleep(200'000);
        // This layout: events across processes, a mutex, a memory block.
        const TSharedHandle event = OpenNamedEvent(name, false);
        const TSharedHandle mutex = OpenNamedMutex(name);
        const TSharedHandle memory = OpenNamedMemory(name, 64);
        QElapsedTimer timer;
        timer.start();
        const pid_t waiter = Spawn([&] {
            _exit(WaitNamedObject(OpenNamedEvent(name, false), 3000) == TWaitResult::wrSignaled ? 0 : 4);
        });
        usleep(100'000);
        const bool set = SetNamedEvent(event);
        int status = -1;
        waitpid(waiter, &status, 0);
        const bool ok = set && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                        WaitNamedObject(mutex, 1000) == TWaitResult::wrSignaled && MapNamedMemory(memory) &&
                        timer.elapsed() < 2000;
        Kill(holder);
        for (const QByteArray& key : {hubKey, mutexKey, eventKey})
            shm_unlink(key.constData());
        _exit(ok ? 0 : 5);
    });
    int status = -1;
    waitpid(tester, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}


// A process stopped (SIGSTOP) inside the bookkeeping of an object: after
// making it, while removing it, while enlarging it. Another process opening
// that name completes or fails, with the operating-system error naming the
// object, within the 5000 ms bound; other names open meanwhile at once, on
// another thread as well; once the stopped process goes on, the name works.
TEST(SharedObjectsTest, AProcessStoppedInsideTheBookkeepingDelaysOthersAtMostTheBound)
{
    for (const StepRow& row : kBookkeepingSteps) {
        const QString name = Unique(row.name) + "-stopped";
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGSTOP);
        int status = 0;
        waitpid(pid, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status)) << row.name;

        std::atomic<qint64> otherMs{-1};
        std::thread other([&] {
            usleep(200'000); // while the main thread waits for the stopped one
            QElapsedTimer timer;
            timer.start();
            const TSharedHandle event = OpenNamedEvent(name + "-other", false);
            otherMs = event ? timer.elapsed() : -2;
            CloseNamedObject(event);
        });
        QElapsedTimer timer;
        timer.start();
        try {
            const TSharedHandle memory = OpenNamedMemory(name, 100);
            CloseNamedObject(memory);
        } catch (const EOSError& error) {
            EXPECT_EQ(error.ErrorCode, ETIMEDOUT) << row.name;
            EXPECT_TRUE(error.Message().contains("tessvar4-" + QString::number(geteuid()) + "-M-" + name))
                << error.Message().toStdString();
        }
        EXPECT_LT(timer.elapsed(), 5000 + 1500) << row.name;
        other.join();
        EXPECT_GE(otherMs.load(), 0) << row.name;
        EXPECT_LT(otherMs.load(), 1000) << row.name;

        kill(pid, SIGCONT);
        waitpid(pid, &status, 0);
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        void* view = MapNamedMemory(memory);
        EXPECT_NE(view, nullptr) << row.name;
        UnmapNamedMemory(view);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name)) << row.name;
    }
}

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
    const QByteArray prefix = folder + "/tessvar4-" + QByteArray::number(uint(victim));
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

// Processes of one user that close everything they opened leave no object
// behind, the wake-up word of the events included; objects of a process
// killed with them open are removed by the next process of the user that
// finds them unused. Run as a made-up user, whose folder is this test's
// alone.
TEST(SharedObjectsTest, CleanExitsLeaveNoObjectAndLeftoversAreSwept)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(3);
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([uid] { RemoveFolderOf(uid); });
    auto useEverything = [] {
        const TSharedHandle memory = OpenNamedMemory(QStringLiteral("m"), 100);
        GrowNamedMemory(memory, 5000);
        void* view = MapNamedMemory(memory);
        const TSharedHandle mutex = OpenNamedMutex(QStringLiteral("x"));
        const TSharedHandle event = OpenNamedEvent(QStringLiteral("e"), true);
        const TSharedHandle unnamed = OpenNamedEvent(QString(), false);
        // Its descriptor stays open: the socket's name goes with the event.
        const bool listens = ListenNamedEvent(event) >= 0;
        SetNamedEvent(event);
        SetNamedEvent(unnamed);
        const bool ok = view && listens && WaitNamedObject(mutex, 100) == TWaitResult::wrSignaled &&
                        WaitNamedEvents({unnamed, event}, 100) == TWaitResult::wrSignaled;
        ReleaseNamedMutex(mutex);
        return std::make_tuple(ok, memory, view, mutex, event, unnamed);
    };
    EXPECT_EQ(AsUser(uid,
                     [&] {
                         auto [ok, memory, view, mutex, event, unnamed] = useEverything();
                         UnmapNamedMemory(view);
                         for (TSharedHandle handle : {memory, mutex, event, unnamed})
                             CloseNamedObject(handle);
                         return ok ? 0 : 1;
                     }),
              0);
    EXPECT_EQ(NamesIn(FolderOf(uid)), QList<QByteArray>{});

    // Killed with everything open: the files stay until the next process.
    EXPECT_EQ(AsUser(uid,
                     [&] {
                         useEverything();
                         raise(SIGKILL);
                         return 1;
                     }),
              200 + SIGKILL);
    EXPECT_EQ(NamesIn(FolderOf(uid)).size(), 5); // the listener's socket among them
    EXPECT_EQ(AsUser(uid,
                     [] {
                         CloseNamedObject(OpenNamedMutex(QStringLiteral("next")));
                         return 0;
                     }),
              0);
    EXPECT_EQ(NamesIn(FolderOf(uid)), QList<QByteArray>{});
}

bool Readable(int descriptor, int ms)
{
    pollfd poller{descriptor, POLLIN, 0};
    return poll(&poller, 1, ms) == 1;
}

// The number of this process's descriptor of that folder; -1 when none.
int FolderDescriptor(const QByteArray& folder)
{
    for (int fd = 0; fd < 1024; ++fd) {
        char target[PATH_MAX];
        const ssize_t length =
            readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), target, sizeof(target));
        if (length > 0 && QByteArray(target, int(length)) == folder)
            return fd;
    }
    return -1;
}

void Tell(int pipe, char c)
{
    (void)!write(pipe, &c, 1);
}

char Heard(int pipe)
{
    char c = 0;
    return read(pipe, &c, 1) == 1 ? c : 0;
}

// The user's runtime folder stands in a folder that another user may write
// to. That user renames it and puts a folder of its own in its place, with
// sockets of the names that the events ring. A process that checked the
// runtime folder before goes on with the folder it checked: a listener binds
// there, rings from the process and from its children reach it, and the
// other user's sockets receive nothing.
TEST(SharedObjectsTest, ASocketIsReachedOnlyThroughTheFolderThatWasChecked)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t victim = MadeUpUid(1);
    const uid_t other = MadeUpUid(2);
    const QByteArray parent = "/tmp/tessvar-swap-" + QByteArray::number(getpid());
    const QByteArray runtime = parent + "/run";
    const QByteArray moved = parent + "/moved";
    const QByteArray bell = "tessvar4-" + QByteArray::number(uint(victim)) + "-B-";
    ASSERT_EQ(mkdir(parent.constData(), 0755), 0);
    ASSERT_EQ(chown(parent.constData(), other, other), 0);
    ASSERT_EQ(mkdir(runtime.constData(), 0700), 0);
    ASSERT_EQ(chown(runtime.constData(), victim, victim), 0);
    int toParent[2], toVictim[2], toOther[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toVictim), 0);
    ASSERT_EQ(pipe(toOther), 0);

    const pid_t user = SpawnAsUser(victim, [&] {
        setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
        const TSharedHandle early = OpenNamedEvent(QStringLiteral("early"), false);
        const TSharedHandle late = OpenNamedEvent(QStringLiteral("late"), false);
        const int earlyFd = ListenNamedEvent(early);
        Tell(toParent[1], 'R');
        if (Heard(toVictim[0]) != 'G') // the folder has been swapped
            return 1;
        const int lateFd = ListenNamedEvent(late);
        SetNamedEvent(early);
        Child setter([] { return SetNamedEvent(OpenNamedEvent(QStringLiteral("late"), false)) ? 'Y' : 'N'; });
        if (earlyFd < 0 || lateFd < 0 || setter.Result() != 'Y')
            return 2;
        return Readable(earlyFd, 5000) && Readable(lateFd, 5000) ? 0 : 3;
    });
    ASSERT_EQ(Heard(toParent[0]), 'R');
    const pid_t swapper = SpawnAsUser(other, [&] {
        if (rename(runtime.constData(), moved.constData()) != 0 || mkdir(runtime.constData(), 0777) != 0 ||
            chmod(runtime.constData(), 0777) != 0)
            return 1;
        std::vector<int> sockets;
        for (const char* name : {"early", "late"}) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = runtime + '/' + bell + name;
            std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
            sockets.push_back(socket(AF_UNIX, SOCK_DGRAM, 0));
            if (bind(sockets.back(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
                return 2;
        }
        Tell(toParent[1], 'S');
        Heard(toOther[0]);
        int received = 0;
        char byte;
        for (const int fd : sockets)
            while (recv(fd, &byte, 1, MSG_DONTWAIT) == 1)
                ++received;
        return 10 + std::min(received, 100);
    });
    ASSERT_EQ(Heard(toParent[0]), 'S');
    Tell(toVictim[1], 'G');
    EXPECT_EQ(ExitCode(user), 0);
    Tell(toOther[1], 'C');
    EXPECT_EQ(ExitCode(swapper), 10); // nothing received
    // The listener that came after the swap is bound in the folder that was
    // checked.
    struct stat st {};
    EXPECT_EQ(lstat((moved + '/' + bell + "late").constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    for (int fd : {toParent[0], toParent[1], toVictim[0], toVictim[1], toOther[0], toOther[1]})
        close(fd);
    RemoveFolder(runtime);
    RemoveFolder(moved);
    rmdir(parent.constData());
}

// Processes of one user whose descriptors of the folder have numbers of
// different lengths give an event's socket the same name, so that one rings
// the other, for event names around the longest that a socket name holds.
TEST(SharedObjectsTest, ASocketsNameDoesNotHangOnTheNumberOfTheFolderDescriptor)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(3);
    const QByteArray folder = FolderOf(uid);
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([uid] { RemoveFolderOf(uid); });
    for (const int length : {60, 65, 66, 70, 73, 80}) {
        SCOPED_TRACE(length);
        const QString name(length, u'n');
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t listener = SpawnAsUser(uid, [&] {
            unsetenv("XDG_RUNTIME_DIR");
            const int fd = ListenNamedEvent(OpenNamedEvent(name, false));
            Tell(ready[1], fd >= 0 && FolderDescriptor(folder) < 100 ? 'Y' : 'N');
            return Readable(fd, 5000) ? 0 : 1;
        });
        EXPECT_EQ(Heard(ready[0]), 'Y');
        EXPECT_EQ(AsUser(uid,
                         [&] {
                             unsetenv("XDG_RUNTIME_DIR");
                             // Every lower number taken: the folder's descriptor
                             // gets three digits.
                             const int spare = open("/dev/null", O_RDONLY);
                             for (int fd = 0; fd < 150; ++fd)
                                 if (fcntl(fd, F_GETFD) < 0)
                                     dup2(spare, fd);
                             const TSharedHandle event = OpenNamedEvent(name, false);
                             return FolderDescriptor(folder) >= 150 && SetNamedEvent(event) ? 0 : 1;
                         }),
                  0);
        EXPECT_EQ(ExitCode(listener), 0);
        close(ready[0]);
        close(ready[1]);
    }
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

// Without /proc no socket can be reached through the folder's descriptor:
// listening fails with a message naming the folder, and is not done by the
// folder's path; the objects themselves still work.
TEST(SharedObjectsTest, WithoutProcListeningFailsNamingTheFolder)
{
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(3);
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([uid] { RemoveFolderOf(uid); });
    const pid_t pid = Spawn([uid] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            umount2("/proc", MNT_DETACH) != 0)
            _exit(99);
        if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
            _exit(100);
        unsetenv("XDG_RUNTIME_DIR");
        const TSharedHandle event = OpenNamedEvent(QStringLiteral("noproc"), false);
        if (!event || ListenNamedEvent(event) >= 0)
            _exit(1);
        const EOSError error = LastSharedObjectError();
        if (error.ErrorCode != ENOENT || !error.Message().endsWith(SharedObjectsFolder()))
            _exit(2);
        for (const QByteArray& file : NamesIn(SharedObjectsFolder().toLocal8Bit()))
            if (file.contains("-B-"))
                _exit(3);
        SetNamedEvent(event);
        _exit(WaitNamedObject(event, 0) == TWaitResult::wrSignaled ? 0 : 4);
    });
    const int code = ExitCode(pid);
    if (code == 99) {
        // Withheld as a probe's privilege is: the system keeps /proc in the
        // child's own mount namespace.
        const QString withheld =
            ProbeAnswer(QStringLiteral("a system without /proc"),
                        QStringLiteral("/proc cannot be unmounted in a mount namespace of its own"));
        GTEST_SKIP() << withheld.toStdString();
    }
    EXPECT_EQ(code, 0);
}

// What a test sees of a name: its kind, owner, mode and identity, and the
// names in it or its bytes; the same before and after means untouched.
QByteArray Look(const QByteArray& path)
{
    struct stat st {};
    if (lstat(path.constData(), &st) != 0)
        return "(nothing)";
    QByteArray look = QByteArray::number(st.st_mode, 8) + ' ' + QByteArray::number(st.st_uid) + ' ' +
                      QByteArray::number(qulonglong(st.st_ino)) + ' ' + QByteArray::number(qlonglong(st.st_size));
    if (S_ISDIR(st.st_mode)) {
        QList<QByteArray> names = NamesIn(path);
        std::sort(names.begin(), names.end());
        look += " [" + names.join(',') + ']';
    } else if (S_ISREG(st.st_mode)) {
        look += ' ' + FileText(path);
    }
    return look;
}

// The mode (octal, with the kind) and the owner of what is at a name.
QByteArray ModeAndOwner(const QByteArray& path)
{
    return Look(path).split(' ').mid(0, 2).join(' ');
}

// Removes whatever is at a name, a folder with the files in it.
void RemoveName(const QByteArray& path)
{
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        RemoveFolder(path);
    else
        unlink(path.constData());
}

// Starts the peer program (a process of its own) as user uid, at place.
std::unique_ptr<TFreshProcess> Peer(const char* role, const QString& name, uid_t uid,
                                    const TPlace& place = {"outside a user namespace", std::nullopt})
{
    return std::make_unique<TFreshProcess>(QStringLiteral(TESSVAR_SHARED_OBJECTS_PEER),
                                           QStringList{QLatin1String(role), name},
                                           [=] { return BecomeUserAt(place, uid, uid); });
}

// Starts the peer program as user uid, at place, running the commands the
// test sends; become, where given, stands in for the change of user, and
// environment's "NAME=value" entries are added to its environment.
std::unique_ptr<TFreshProcess> Script(uid_t uid, const TPlace& place = {"outside a user namespace", std::nullopt},
                                      const std::function<QString()>& become = {},
                                      const QStringList& environment = {})
{
    return std::make_unique<TFreshProcess>(QStringLiteral(TESSVAR_SHARED_OBJECTS_PEER), QStringList{"script"},
                                           become ? become : [=] { return BecomeUserAt(place, uid, uid); },
                                           environment);
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

int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The files in folder of the object kinds and names given ("M-blk" ...).
QList<QByteArray> ObjectsIn(const QByteArray& folder, uid_t uid, const QList<QByteArray>& kindsAndNames)
{
    QList<QByteArray> found;
    for (const QByteArray& file : NamesIn(folder))
        for (const QByteArray& kindAndName : kindsAndNames)
            if (file == "tessvar4-" + QByteArray::number(uint(uid)) + '-' + kindAndName)
                found << file;
    return found;
}

// The user of a test of how long objects live: a made-up one, whose folder
// is the test's alone, where this process may act as one; else this
// process's own user, whose folder the other tests share (under names of
// their own). The guard removes a made-up user's folder at the end.
struct TLifetimeUser {
    uid_t Uid = MadeUpUsersWithheld().isEmpty() ? MadeUpUid(1) : geteuid();
    TLifetimeUser() { Clear(); }
    ~TLifetimeUser() { Clear(); }
    void Clear() const
    {
        if (Uid != geteuid())
            RemoveFolderOf(Uid);
    }
    // Why this user's rights do not bind it (root, which opens every file),
    // for a test of refusals; empty where they do.
    QString RightsWithheld() const { return Uid == 0 ? MadeUpUsersWithheld() : QString(); }
};

// A folder that a test gives user uid as XDG_RUNTIME_DIR, of that mode,
// removed with what is in it at the end.
struct TRuntimeFolder {
    QByteArray Path;
    TRuntimeFolder(const char* tag, uid_t uid, mode_t mode = 0700)
        : Path("/tmp/tessvar-" + QByteArray(tag) + '-' + QByteArray::number(getpid()))
    {
        RemoveName(Path);
        EXPECT_EQ(mkdir(Path.constData(), 0700), 0) << Path.constData();
        EXPECT_EQ(chown(Path.constData(), uid, uid), 0);
        EXPECT_EQ(chmod(Path.constData(), mode), 0);
    }
    ~TRuntimeFolder()
    {
        chmod(Path.constData(), 0700);
        RemoveName(Path);
    }
    QString Setting() const { return QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(Path); }
    // The file of an object of user uid ("E-name" ...) in it.
    QByteArray File(uid_t uid, const QByteArray& kindAndName) const
    {
        return Path + "/tessvar4-" + QByteArray::number(uint(uid)) + '-' + kindAndName;
    }
};

// The peer program as user uid, with runtime as its XDG_RUNTIME_DIR.
std::unique_ptr<TFreshProcess> Script(uid_t uid, const TRuntimeFolder& runtime)
{
    return Script(uid, {}, {}, {runtime.Setting()});
}

// A file of uid's own at path, of mode, that a process holds as an object
// it uses (a shared usage lock), as an earlier build or a process killed
// while making it left it: the descriptor that holds it.
int HeldFile(const QByteArray& path, uid_t uid, mode_t mode)
{
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    EXPECT_GE(fd, 0) << path.constData();
    EXPECT_EQ(fchown(fd, uid, uid), 0);
    EXPECT_EQ(fchmod(fd, mode), 0);
    struct flock use {};
    use.l_type = F_RDLCK;
    use.l_len = 1;
    EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &use), 0);
    return fd;
}

// Processes of a user that hold a block (one wrote a number into it) and a
// set manual event close them at one instant, in rounds: once they have
// closed, neither name is left in the folder, and a process of the user
// that swept its folder long before creates both fresh. Which closer looks
// last is the kernel's choice, so rounds are taken until those whose
// closers met (their closes overlapped, as each closer says when its close
// began and ended) number 100; rounds whose closers did not meet raced
// nothing, and may be many on a busy machine. No close began before its
// instant.
TEST(SharedObjectsTest, ClosersThatRaceTakeTheObjectWithTheLastOfThem)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    auto later = Script(a);
    ASSERT_EQ(later->Ask("event " + Unique("swept").toUtf8(), 20000), "event clear"); // its first open sweeps
    const QByteArray folder = later->Ask("folder", 20000).mid(7);
    constexpr int kMet = 100;
    constexpr int kMostRounds = 1000;
    for (const int count : {2, 4}) {
        SCOPED_TRACE(count);
        std::vector<std::unique_ptr<TFreshProcess>> closers;
        for (int i = 0; i < count; ++i)
            closers.push_back(Script(a));
        int left = 0;
        int stale = 0;
        int met = 0;
        int early = 0;
        int round = 0;
        for (; met < kMet && round < kMostRounds; ++round) {
            const QByteArray round_ = QByteArray::number(count) + '-' + QByteArray::number(round);
            const QByteArray block = Unique("blk-").toUtf8() + round_;
            const QByteArray event = Unique("ev-").toUtf8() + round_;
            for (size_t i = 0; i < closers.size(); ++i) {
                ASSERT_TRUE(closers[i]->Ask("memory " + block + " 64", 20000).startsWith("memory 64 "));
                ASSERT_TRUE(closers[i]->Ask("event " + event, 20000).startsWith("event "));
            }
            ASSERT_EQ(closers[0]->Ask("write " + block + " 19", 20000), "written");
            ASSERT_EQ(closers[0]->Ask("set " + event, 20000), "done");
            const qlonglong at = qlonglong(MonotonicNs() + 20'000'000);
            for (auto& closer : closers)
                ASSERT_TRUE(closer->Send("closeat " + QByteArray::number(at)));
            qlonglong lastBegan = 0;
            qlonglong firstEnded = LLONG_MAX;
            for (auto& closer : closers) {
                const QList<QByteArray> closed = closer->ReadLine(20000).split(' ');
                ASSERT_EQ(closed.value(0), "closed");
                const qlonglong began = closed.value(1).toLongLong();
                early += began < at ? 1 : 0;
                lastBegan = std::max(lastBegan, began);
                firstEnded = std::min(firstEnded, closed.value(2).toLongLong());
            }
            met += lastBegan < firstEnded ? 1 : 0;
            left += ObjectsIn(folder, a, {"M-" + block, "E-" + event}).isEmpty() ? 0 : 1;
            const bool fresh = later->Ask("memory " + block + " 64", 20000) == "memory 64 0" &&
                               later->Ask("event " + event, 20000) == "event clear";
            stale += fresh ? 0 : 1;
            later->Ask("close " + block, 20000);
            later->Ask("close " + event, 20000);
        }
        EXPECT_EQ(early, 0) << "closes that began before their instant";
        EXPECT_EQ(met, kMet) << "rounds of " << round << " whose closers met";
        EXPECT_EQ(left, 0) << "rounds of " << round << " that left a name";
        EXPECT_EQ(stale, 0) << "rounds of " << round << " whose next create was not fresh";
        for (auto& closer : closers)
            EXPECT_EQ(closer->Finish(20000), 0);
    }
    EXPECT_EQ(later->Finish(20000), 0);
}

// P holds a block (grown, with 7 in it), a set manual event and an owned
// mutex beside Q, which closes its handles. Where P is then killed, its
// objects go with it: Q's open-only of the block fails (ENOENT, naming it),
// and Q's creates make a zero-filled block at the size asked, an event not
// signalled and a mutex not owned. Where P lives on, Q finds each as P
// left it.
TEST(SharedObjectsTest, ALastHolderThatEndsWithoutClosingTakesItsObjectsWithIt)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    struct TRow {
        const char* Name;
        bool Killed;
        QByteArray OpenOnly, Create, Event, Mutex; // Q's answers afterwards; <file> is the block's file
    };
    const TRow rows[] = {
        {"the holder killed", true, "error 2 System Error.  Code: 2. No such file or directory <file>", "memory 64 0",
         "event clear", "mutex taken"},
        {"the holder living on", false, "memory 8192 7", "memory 8192 7", "event set", "mutex held"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const QByteArray name = Unique(row.Killed ? "killed" : "living").toUtf8();
        const QByteArray kb = name + "-kb", ke = name + "-ke", km = name + "-km";
        auto p = Script(a);
        auto q = Script(a);
        ASSERT_EQ(p->Ask("memory " + kb + " 64", 20000), "memory 64 0");
        ASSERT_EQ(p->Ask("grow " + kb + " 8192", 20000), "grown");
        ASSERT_EQ(p->Ask("write " + kb + " 7", 20000), "written");
        ASSERT_EQ(p->Ask("event " + ke, 20000), "event clear");
        ASSERT_EQ(p->Ask("set " + ke, 20000), "done");
        ASSERT_EQ(p->Ask("mutex " + km, 20000), "mutex taken");
        EXPECT_EQ(q->Ask("memory " + kb + " 0", 20000), "memory 8192 7");
        EXPECT_EQ(q->Ask("event " + ke, 20000), "event set");
        EXPECT_EQ(q->Ask("mutex " + km, 20000), "mutex held");
        for (const QByteArray& object : {kb, ke, km})
            ASSERT_EQ(q->Ask("close " + object, 20000), "closed");
        if (row.Killed) {
            kill(p->Pid(), SIGKILL);
            EXPECT_EQ(p->Finish(20000), 200 + SIGKILL);
        }
        const QByteArray file = q->Ask("folder", 20000).mid(7) + "/tessvar4-" + QByteArray::number(uint(a)) + "-M-" + kb;
        EXPECT_EQ(q->Ask("memory " + kb + " 0", 20000), QByteArray(row.OpenOnly).replace("<file>", file));
        EXPECT_EQ(q->Ask("memory " + kb + " 64", 20000), row.Create);
        EXPECT_EQ(q->Ask("event " + ke, 20000), row.Event);
        EXPECT_EQ(q->Ask("mutex " + km, 20000), row.Mutex);
        // Every mutex given back, so that nothing is left behind.
        q->Ask("release " + km, 20000);
        p->Ask("release " + km, 20000);
        EXPECT_EQ(q->Finish(20000), 0);
        if (!row.Killed) {
            EXPECT_EQ(p->Finish(20000), 0);
        }
    }
}

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
        const QByteArray head = "tessvar4-" + QByteArray::number(uint(a)) + '-';
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
    const QByteArray head = first + "/tessvar4-" + QByteArray::number(uint(a)) + '-';
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

// Gives this process (a child, root) a mount namespace of its own with a
// /dev/shm of its own, a tmpfs mounted with options: empty, or why not.
QString OwnDevShm(const char* options)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tessvar-test", "/dev/shm", "tmpfs", 0, options) != 0)
        return QStringLiteral("no /dev/shm of its own: %1").arg(qt_error_string(errno));
    return QString();
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

// The last holder of an event it listens to and of a block closes them with
// its descriptor table full: their files, the socket and the events'
// wake-up block go all the same.
TEST(SharedObjectsTest, ALastCloserWithAFullDescriptorTableStillRemovesItsObjects)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("fullclose", a);
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(p->Ask("listen e", 20000), "listening");
    ASSERT_EQ(p->Ask("memory m 64", 20000), "memory 64 0");
    ASSERT_EQ(NamesIn(runtime.Path).size(), 4);
    EXPECT_EQ(p->Ask("tight 0 close e", 20000), "closed");
    EXPECT_EQ(p->Ask("tight 0 close m", 20000), "closed");
    EXPECT_EQ(NamesIn(runtime.Path), QList<QByteArray>{});
    EXPECT_EQ(p->Finish(20000), 0);
}

// A set XDG_RUNTIME_DIR that cannot be used is passed over, and the warning
// says why, naming the setting as judged (without trailing slashes) and the
// folder in use: it does not exist, is a file, a FIFO or a link (to a
// private folder of the user's, however it is spelt: two processes that
// spell it apart meet), is another user's (open, or closed to the user),
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

// A last holder killed with an event open that it set and listened to:
// another process of the user, which swept its folder before, opens the
// event again and finds the killed holder's wake-up block made fresh (its
// sequence at 0), the event not set and the killed listener's socket gone.
TEST(SharedObjectsTest, AKilledLastHoldersWakeUpBlockAndSocketGoWhenItsEventIsOpenedAgain)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("killed", a);
    const QByteArray wake = runtime.File(a, "W-events");
    const QByteArray bell = runtime.File(a, "B-e");
    // The wake-up block's sequence: the first word after the 64-byte head.
    const auto sequence = [&] {
        const QByteArray bytes = FileText(wake);
        uint32_t word = ~0u;
        if (bytes.size() >= 68)
            std::memcpy(&word, bytes.constData() + 64, sizeof word);
        return word;
    };
    auto q = Script(a, runtime);
    ASSERT_EQ(q->Ask("mutex swept", 20000), "mutex taken");
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(p->Ask("set e", 20000), "done");
    ASSERT_EQ(p->Ask("listen e", 20000), "listening");
    kill(p->Pid(), SIGKILL);
    EXPECT_EQ(p->Finish(20000), 200 + SIGKILL);
    ASSERT_GT(sequence(), 0u);
    ASSERT_NE(Look(bell), "(nothing)");
    EXPECT_EQ(q->Ask("event e", 20000), "event clear");
    EXPECT_EQ(sequence(), 0u);
    EXPECT_EQ(Look(bell), "(nothing)");
    EXPECT_EQ(q->Ask("release swept", 20000), "released");
    EXPECT_EQ(q->Finish(20000), 0);
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

// Makes a forked child user uid, without XDG_RUNTIME_DIR: its objects go to
// the user's series in /dev/shm, as those of the peers started as uid.
void BecomeWithoutRuntime(uid_t uid)
{
    if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
        _exit(100);
    unsetenv("XDG_RUNTIME_DIR");
}

// L listens to an event and is killed, leaving its socket; a process R of
// the user then removes what L left. R is stopped between the unlinks of
// the event's names (one of the event's file and L's socket gone, the
// other still there) while another process B opens the event and listens
// to it. B's event is made anew, once R is done where R still holds the
// name, and a set from a third process C rings B's descriptor.
TEST(SharedObjectsTest, ARemoverStoppedBetweenItsUnlinksLeavesANewListenersSocket)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    const QByteArray name = Unique("relisten").toUtf8();
    const QByteArray head = ObjectFolderOf(a, 0) + "/tessvar4-" + QByteArray::number(uint(a)) + '-';
    const QByteArray file = head + "E-" + name;
    const QByteArray socket = head + "B-" + name;
    auto l = Script(a);
    ASSERT_EQ(l->Ask("event " + name, 20000), "event clear");
    ASSERT_EQ(l->Ask("listen " + name, 20000), "listening");
    kill(l->Pid(), SIGKILL);
    ASSERT_EQ(l->Finish(20000), 200 + SIGKILL);
    ASSERT_TRUE(SomethingAt(file) && SomethingAt(socket));

    auto b = Script(a);
    TTracedChild r([&] {
        BecomeWithoutRuntime(a);
        if (!OpenNamedEvent(QString::fromUtf8(name), true))
            _exit(2);
    });
    ASSERT_TRUE(r.Refused().isEmpty()) << r.Refused().toStdString();
    ASSERT_TRUE(r.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_unlinkat && SomethingAt(file) != SomethingAt(socket);
    })) << "no unlink of the event's names";
    ASSERT_TRUE(b->Send("event " + name));
    ASSERT_TRUE(b->Send("listen " + name));
    // Made and listened to at once, or waiting for R.
    QByteArray opened = b->ReadLine(1000);
    QByteArray listening = opened.isEmpty() ? QByteArray() : b->ReadLine(1000);
    EXPECT_EQ(r.Finish(), 0);
    if (opened.isEmpty())
        opened = b->ReadLine(20000);
    if (listening.isEmpty())
        listening = b->ReadLine(20000);
    EXPECT_EQ(opened, "event clear");
    EXPECT_EQ(listening, "listening");
    auto c = Script(a);
    EXPECT_EQ(c->Ask("event " + name, 20000), "event clear");
    EXPECT_EQ(c->Ask("set " + name, 20000), "done");
    EXPECT_EQ(b->Ask("rung " + name + " 5000", 20000), "rung");
    EXPECT_EQ(c->Finish(20000), 0);
    EXPECT_EQ(b->Finish(20000), 0);
}

// Two processes of a user hold an event and a block. One of them (A) closes
// both, stopped in turn at each system call of its close, while the other
// (B) closes them: whichever is last removes both names.
TEST(SharedObjectsTest, ACloserStoppedAnywhereInItsCloseLeavesTheRemovalToTheLast)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
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
TEST(SharedObjectsTest, ACreatorStoppedBeforeTakingItsUseKeepsItsBlock)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    const QByteArray name = Unique("made").toUtf8();
    const QByteArray file = ObjectFolderOf(a, 0) + "/tessvar4-" + QByteArray::number(uint(a)) + "-M-" + name;
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
    ASSERT_EQ(FileText(file).left(4), "TSV4"); // marked complete
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
        ASSERT_TRUE(child.RunTo([&](const TTracedChild& call) {
            return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == folder;
        }));
        if (!child.FailCall(error))
            GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
        EXPECT_EQ(child.Finish(), 0);
    }
}

// Fills the /dev/shm of the mount namespace of process pid as user uid
// until no room is left: empty, or why not.
QString FillDevShmOf(pid_t pid, uid_t uid)
{
    return RunInChild(
        [pid] {
            const QByteArray space = "/proc/" + QByteArray::number(pid) + "/ns/mnt";
            const int ns = open(space.constData(), O_RDONLY | O_CLOEXEC);
            return ns >= 0 && setns(ns, CLONE_NEWNS) == 0
                       ? QString()
                       : QStringLiteral("cannot enter %1: %2")
                             .arg(QString::fromLocal8Bit(space), qt_error_string(errno));
        },
        [uid] { return FillDevShmAs(uid); });
}

// Another user fills a small /dev/shm (the test's own, in a mount
// namespace). A process of the user that made a 1 MB block, grew another to
// 512 KB and made an event while there was room writes a word into every
// page of the blocks' files and lives on; a block cannot grow (ENOSPC,
// naming it) and stays as it was. A create of each kind (a block, a mutex,
// an event, the events' wake-up block) fails with ENOSPC naming its file
// and leaves no file.
TEST(SharedObjectsTest, AFullDevShmFailsEveryCreateWithTheSystemsErrorAndKillsNoProcess)
{
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    const uid_t s = MadeUpUid(2);
    auto p = Script(a, {}, [=] {
        const QString own = OwnDevShm("size=4m,mode=1777");
        return own.isEmpty() ? BecomeUser(a, a, {}) : own;
    });
    ASSERT_EQ(p->Ask("memory big 1048576", 20000), "memory 1048576 0");
    ASSERT_EQ(p->Ask("memory grown 64", 20000), "memory 64 0");
    ASSERT_EQ(p->Ask("grow grown 524288", 20000), "grown");
    ASSERT_EQ(p->Ask("event early", 20000), "event clear");
    const QByteArray folder = p->Ask("folder", 20000).mid(7);
    ASSERT_EQ(folder, ObjectFolderOf(a, 0));
    const QByteArray seen = "/proc/" + QByteArray::number(p->Pid()) + "/root" + folder;
    const QByteArray head = folder + "/tessvar4-" + QByteArray::number(uint(a)) + '-';
    const QByteArray full = "error 28 System Error.  Code: 28. No space left on device " + head;
    ASSERT_EQ(FillDevShmOf(p->Pid(), s), QString());

    EXPECT_EQ(p->Ask("writeall big 5", 20000), "written 257");
    EXPECT_EQ(p->Ask("writeall grown 7", 20000), "written 129");
    EXPECT_EQ(p->Ask("grow big 2097152", 20000), full + "M-big");
    EXPECT_EQ(p->Ask("readall big", 20000), "pages 257 5");
    EXPECT_EQ(p->Ask("memory m 64", 20000), full + "M-m");
    EXPECT_EQ(p->Ask("mutex x", 20000), full + "X-x");
    EXPECT_EQ(p->Ask("event e", 20000), full + "E-e");
    EXPECT_EQ(p->Ask("close early", 20000), "closed"); // the wake-up block goes with it
    ASSERT_EQ(FillDevShmOf(p->Pid(), s), QString());   // and the room they freed
    EXPECT_EQ(p->Ask("event e", 20000), full + "W-events");
    QList<QByteArray> left = NamesIn(seen);
    std::sort(left.begin(), left.end());
    const QByteArray blocks = "tessvar4-" + QByteArray::number(uint(a)) + "-M-";
    EXPECT_EQ(left, (QList<QByteArray>{blocks + "big", blocks + "grown"}));
    EXPECT_EQ(p->Ask("writeall big 6", 20000), "written 257");
    EXPECT_EQ(p->Finish(20000), 0);
}

} // namespace
