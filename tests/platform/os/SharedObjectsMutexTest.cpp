// The named mutexes: a wait times out and counts nested takes; a dead
// owner's mutex (a process's or a thread's) is taken as abandoned, and one
// whose owning thread ended goes with its last close; one that a live
// thread owns stays past it; a release by a thread that does not own the
// mutex changes nothing, and one that let the mutex go leaves it whole to
// its next owner.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Privileges.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include <dlfcn.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// A wait for a mutex that another process holds throughout times out, and
// not before its time (the child is given 20 s at most: a net for a wait
// that never ends); the holder's nested takes are counted, each released
// once, and then the mutex is free.
TEST_F(SharedObjectsMutexTest, MutexWaitTimesOutAfterItsTimeAndCountsNestedTakes)
{
    const QString name = Unique("mutex-busy");
    const TSharedHandle mutex = OpenNamedMutex(name);
    ASSERT_NE(mutex, 0u);
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled); // nested take

    const QString waited = RunInChildWithin(20000, [&] {
        const TSharedHandle h = OpenNamedMutex(name);
        QElapsedTimer timer;
        timer.start();
        if (WaitNamedObject(h, 200) != TWaitResult::wrTimeout)
            return QStringLiteral("not timed out");
        const qint64 ms = timer.elapsed();
        return ms >= 200 ? QStringLiteral("timed out") : QStringLiteral("timed out after %1 ms").arg(ms);
    });
    EXPECT_EQ(waited.toStdString(), "timed out");

    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_FALSE(ReleaseNamedMutex(mutex)); // no longer held
    Child taker(
        [&] { return WaitNamedObject(OpenNamedMutex(name), 500) == TWaitResult::wrSignaled ? 'Y' : 'N'; });
    EXPECT_EQ(taker.Result(), 'Y');
    CloseNamedObject(mutex);
}

TEST_F(SharedObjectsMutexTest, MutexOfAnOwnerThatDiedIsAcquiredAsAbandoned)
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

// A thread that ends owning a mutex (taken twice) leaves it abandoned, as a
// process that ends does, and the mutex goes with its last close as any
// other, whatever became of it afterwards: taken by nobody; taken here as
// abandoned and released (the dead thread's takes are not the taker's: one
// release lets it go); or taken as abandoned by another process, which
// holds it while this process closes it and removes it with its own last
// close. A close that took the dead thread's takes for a hold of the
// process kept the mutex mapped, its file and descriptor with it, for the
// life of the process: nobody could remove it.
TEST_F(SharedObjectsMutexTest, AMutexWhoseOwningThreadEndedGoesWithItsLastClose)
{
    enum class TAfter { Nobody, TakenHere, TakenElsewhere };
    struct TRow {
        const char* Name;
        TAfter After;
    };
    const TRow rows[] = {
        {"taken by nobody", TAfter::Nobody},
        {"taken here and released", TAfter::TakenHere},
        {"taken by another process", TAfter::TakenElsewhere},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString name = Unique("mutex-thread-") + QString::number(int(row.After));
        const TSharedHandle mutex = OpenNamedMutex(name);
        std::thread owner([&] {
            WaitNamedObject(mutex, 1000);
            WaitNamedObject(mutex, 1000);
        });
        owner.join();
        std::unique_ptr<TPausedChild> other;
        TSharedHandle elsewhere = 0;
        if (row.After == TAfter::TakenHere) {
            EXPECT_EQ(WaitNamedObject(mutex, 1000), TWaitResult::wrAbandoned);
            EXPECT_TRUE(ReleaseNamedMutex(mutex));
            EXPECT_FALSE(ReleaseNamedMutex(mutex)); // the dead thread's takes are not this one's
        } else if (row.After == TAfter::TakenElsewhere) {
            other = std::make_unique<TPausedChild>(
                [&] {
                    elsewhere = OpenNamedMutex(name);
                    return WaitNamedObject(elsewhere, 0) == TWaitResult::wrAbandoned ? 'A' : 'N';
                },
                [&] {
                    ReleaseNamedMutex(elsewhere);
                    CloseNamedObject(elsewhere);
                });
            EXPECT_EQ(other->Ready(), 'A');
        }
        EXPECT_TRUE(CloseNamedObject(mutex));
        if (other) {
            EXPECT_TRUE(ShmExists("X-" + name)) << "gone while the other process holds it";
            EXPECT_EQ(other->Release(), 0);
        }
        EXPECT_FALSE(ShmExists("X-" + name));
    }
}

// A mutex that a live thread of this process owns stays mapped past the
// process's last close of it, be that close the owner's or another
// thread's: the C library's list of the robust mutexes that a thread owns
// runs through the mutexes, and the owner's next take of another robust
// mutex writes into the one it owns already. Its file stays too (the
// process keeps using it). Run in a child, where a mutex unmapped under its
// owner ends the child (SIGSEGV) rather than the test. A close that kept
// only a mutex that the closing thread owns unmapped the other row's.
TEST_F(SharedObjectsMutexTest, AMutexThatALiveThreadOwnsStaysPastItsLastClose)
{
    for (const bool byOwner : {true, false}) {
        SCOPED_TRACE(byOwner ? "closed by its owner" : "closed by another thread");
        const QString name = Unique(byOwner ? "mutex-live-owner" : "mutex-live-other");
        const QString answer =
            RunInChild([] { return QString(); },
                       [&] {
                           const TSharedHandle mutex = OpenNamedMutex(name);
                           const TSharedHandle second = OpenNamedMutex(name + "-second");
                           std::atomic<int> step{0};
                           bool secondTaken = false;
                           std::thread owner([&] {
                               if (WaitNamedObject(mutex, 0) != TWaitResult::wrSignaled)
                                   return;
                               if (byOwner)
                                   CloseNamedObject(mutex);
                               step = 1;
                               while (step.load() != 2)
                                   sched_yield();
                               secondTaken = WaitNamedObject(second, 0) == TWaitResult::wrSignaled &&
                                             ReleaseNamedMutex(second);
                           });
                           while (step.load() != 1)
                               sched_yield();
                           if (!byOwner)
                               CloseNamedObject(mutex);
                           const bool kept = ShmExists("X-" + name);
                           step = 2;
                           owner.join();
                           CloseNamedObject(second);
                           return QStringLiteral("%1, %2").arg(
                               kept ? "kept" : "removed", secondTaken ? "second taken" : "second not taken");
                       });
        EXPECT_EQ(answer.toStdString(), "kept, second taken");
    }
}

// The address at which the process pid maps the file whose name ends in
// "/" + fileName; 0 where it maps none.
uint64_t MappedAt(pid_t pid, const QByteArray& fileName)
{
    const QByteArray maps = FileText("/proc/" + QByteArray::number(pid) + "/maps");
    for (const QByteArray& line : maps.split('\n')) {
        if (line.endsWith('/' + fileName))
            return line.left(line.indexOf('-')).toULongLong(nullptr, 16);
    }
    return 0;
}

// A release by a thread that does not own the mutex fails and changes
// nothing, whenever another thread takes and releases the mutex meanwhile.
// In a traced process a thread ends owning the mutex; the main thread then
// releases it, though not its owner, and the tracer stops that release as
// it calls the C library's unlock of the mutex, an instant no system call
// marks. Meanwhile another thread of the process takes the mutex as
// abandoned and releases it. The refused release returns false, and the
// process's last close removes the mutex. A release that uncounted a take
// of the process before it asked the mutex, and counted it back once
// refused, counted it over the taker's: the process was left a take that no
// thread held, and its last close kept the mutex, its file and descriptor
// for the life of the process.
TEST_F(SharedObjectsMutexTest, AReleaseByAThreadThatDoesNotOwnTheMutexChangesNothing)
{
    if (Withheld(TracingWithheld))
        return;
#if !defined(__x86_64__)
    GTEST_SKIP() << "a traced child's instructions are followed one by one on x86-64 alone";
#endif
    const QString name = Unique("mutex-not-owner");
    int go[2];
    int done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    TTracedChild child([&] {
        const TSharedHandle mutex = OpenNamedMutex(name);
        std::thread([&] { WaitNamedObject(mutex, 0); }).join(); // ends owning it
        bool taken = false;
        bool released = false;
        std::thread taker([&] {
            char byte = 0;
            if (read(go[0], &byte, 1) != 1)
                return;
            taken = WaitNamedObject(mutex, 0) == TWaitResult::wrAbandoned;
            released = ReleaseNamedMutex(mutex);
            (void)!write(done[1], &byte, 1);
        });
        getppid(); // the release begins
        const bool refused = !ReleaseNamedMutex(mutex);
        taker.join();
        CloseNamedObject(mutex);
        _exit(!refused ? 2 : !taken ? 3 : !released ? 4 : 0);
    });
    ASSERT_TRUE(child.Refused().isEmpty()) << child.Refused().toStdString();
    ASSERT_TRUE(child.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    const uint64_t unlock = reinterpret_cast<uint64_t>(dlsym(RTLD_DEFAULT, "pthread_mutex_unlock"));
    const uint64_t mapped = MappedAt(child.Pid(), ObjectFile(geteuid(), "X-" + name.toUtf8()));
    ASSERT_NE(mapped, 0u) << "the mutex is not mapped";
    // The mutex follows the object's 64-byte head.
    ASSERT_TRUE(child.StepToCall(unlock, mapped + 64)) << "the release never asked the mutex";
    const char byte = 'g';
    ASSERT_EQ(write(go[1], &byte, 1), 1);
    char answered = 0;
    EXPECT_EQ(read(done[0], &answered, 1), 1);
    EXPECT_EQ(child.Finish(), 0)
        << "2: the release was not refused, 3: not taken as abandoned, 4: not released";
    EXPECT_FALSE(ShmExists("X-" + name)) << "the last close kept the mutex";
    for (const int fd : {go[0], go[1], done[0], done[1]})
        close(fd);
}

// A release that has let the mutex go leaves it whole to its next owner.
// Thread A of a traced process releases the mutex while another process
// waits for it, so that the release wakes that one with a system call,
// where the tracer stops A, the mutex let go. Meanwhile thread C of A's
// process takes the mutex and ends owning it, and thread D takes it as
// abandoned. Then A goes on, and D, once A's release returned, closes the
// mutex's only handle, which leaves the mutex mapped (D holds it), and
// takes and releases another mutex, which puts that one on D's list of
// robust mutexes beside this one. Had A's release changed what the close
// tells the owner by (a count of the process's takes) after letting the
// mutex go, it changed it under D: the close unmapped the mutex that D
// holds, and the list met no page there (SIGSEGV).
TEST_F(SharedObjectsMutexTest, AReleaseThatLetTheMutexGoLeavesItWholeToItsNextOwner)
{
    if (Withheld(TracingWithheld))
        return;
    const QString name = Unique("mutex-order");
    int abandoned[2];
    ASSERT_EQ(pipe(abandoned), 0);
    TTracedChild a([&] {
        close(abandoned[0]);
        const TSharedHandle mutex = OpenNamedMutex(name);
        const TSharedHandle second = OpenNamedMutex(name + "-second");
        if (WaitNamedObject(mutex, kWaitInfinite) != TWaitResult::wrSignaled)
            _exit(2);
        getppid(); // held: the other process may wait now
        std::atomic<bool> released{false};
        std::thread c([&] {
            while (WaitNamedObject(mutex, 0) != TWaitResult::wrSignaled)
                sched_yield();
        }); // ends owning the mutex
        std::thread d([&] {
            c.join();
            TWaitResult taken = TWaitResult::wrTimeout;
            while ((taken = WaitNamedObject(mutex, 0)) == TWaitResult::wrTimeout)
                sched_yield();
            const char how = taken == TWaitResult::wrAbandoned ? 'A' : 'N';
            (void)!write(abandoned[1], &how, 1);
            while (!released)
                sched_yield();
            CloseNamedObject(mutex);
            if (WaitNamedObject(second, kWaitInfinite) != TWaitResult::wrSignaled ||
                !ReleaseNamedMutex(second))
                _exit(3);
        });
        if (!ReleaseNamedMutex(mutex))
            _exit(4);
        released = true;
        d.join();
        _exit(0);
    });
    close(abandoned[1]);
    ASSERT_TRUE(a.Refused().isEmpty()) << a.Refused().toStdString();
    ASSERT_TRUE(a.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    // Looked at once it has opened the mutex: its first open sleeps in a
    // futex of its own (the start of the thread that keeps its table of
    // descriptors), which is not the mutex's.
    int opened[2];
    ASSERT_EQ(pipe(opened), 0);
    const pid_t waiter = Spawn([&] {
        const TSharedHandle mutex = OpenNamedMutex(name);
        (void)!write(opened[1], "o", 1);
        WaitNamedObject(mutex, kWaitInfinite);
    });
    const auto killed = qScopeGuard([&] { Kill(waiter); });
    char byte = 0;
    EXPECT_EQ(read(opened[0], &byte, 1), 1) << "the other process did not open the mutex";
    close(opened[0]);
    close(opened[1]);
    const auto waiting = [&] { return SystemCallOf("/proc/" + QByteArray::number(waiter)) == SYS_futex; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!waiting() && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    ASSERT_TRUE(waiting()) << "the other process waits for nothing";
    // The release's wake of the waiter: a futex of memory that processes
    // share (not FUTEX_PRIVATE_FLAG).
    ASSERT_TRUE(a.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_futex && call.Argument(1) == FUTEX_WAKE;
    })) << "the release woke nobody, ending with "
        << a.Finish();
    char how = 0;
    EXPECT_EQ(read(abandoned[0], &how, 1), 1);
    close(abandoned[0]);
    EXPECT_EQ(how, 'A') << "D did not take the mutex as abandoned";
    EXPECT_EQ(a.Finish(), 0) << "2: not taken, 3: the second mutex failed, 4: not released";
}

} // namespace
