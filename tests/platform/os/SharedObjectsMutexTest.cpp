// The named mutexes: a wait times out and counts nested takes, a dead
// owner's mutex (a process's or a thread's) is taken as abandoned, and a
// release uncounts its take before it lets the mutex go.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Privileges.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsMutexTest, MutexWaitTimesOutAfterItsTimeAndCountsNestedTakes)
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

// A thread that ends owning a mutex (taken twice) leaves it to the next take
// in its process as abandoned, as a process that ends does; once that take
// is released and the last handle closed, the mutex goes as any other: its
// file is removed. Were the dead thread's takes still counted as held by
// the process, the mutex, its file and its descriptor would stay for the
// life of the process, and no process could remove it.
TEST_F(SharedObjectsMutexTest, AMutexWhoseOwningThreadEndedGoesWithItsLastClose)
{
    const QString name = Unique("mutex-thread");
    const TSharedHandle mutex = OpenNamedMutex(name);
    std::thread owner([&] {
        WaitNamedObject(mutex, 1000);
        WaitNamedObject(mutex, 1000);
    });
    owner.join();
    EXPECT_EQ(WaitNamedObject(mutex, 1000), TWaitResult::wrAbandoned);
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_FALSE(ReleaseNamedMutex(mutex)); // the dead thread's takes are not this one's
    EXPECT_TRUE(CloseNamedObject(mutex));
    EXPECT_FALSE(ShmExists("X-" + name));
}

// A release uncounts its take of the mutex before it lets the mutex go.
// Thread A of a traced process releases the mutex while another process
// waits for it, so that the release wakes that one with a system call,
// where the tracer stops A, the mutex let go. Meanwhile thread C of A's
// process takes the mutex and ends owning it, and thread D takes it as
// abandoned, which sets the process's count of takes to its own one. Then
// A goes on, and D, once A's release returned, closes the mutex's only
// handle, which leaves the mutex mapped (D holds it), and takes and
// releases another mutex, which puts that one on D's list of robust
// mutexes beside this one. Had A uncounted its take after letting the
// mutex go, the count fell to 0 under D: the close unmapped the mutex that
// D holds, and the list met no page there (SIGSEGV).
TEST_F(SharedObjectsMutexTest, AReleaseUncountsItsTakeBeforeItLetsTheMutexGo)
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
    const pid_t waiter = Spawn([&] { WaitNamedObject(OpenNamedMutex(name), kWaitInfinite); });
    const auto killed = qScopeGuard([&] { Kill(waiter); });
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
