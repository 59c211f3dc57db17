// The waits on named events: an auto-reset event wakes one waiter and a
// manual-reset event all, each set or pulse one more sleeping waiter, an
// event keeps the kind it was created with, a pulse releases only the
// waiters of its moment, waits on several events take only the one set, a
// wait looks before it sleeps and is woken at once, and events keep working
// where processes are killed anywhere inside their calls.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Privileges.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsWaitTest, AutoResetEventWakesOneWaiterAndManualResetWakesAll)
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
        ASSERT_TRUE(SleepersReach(name, 2)) << SleepersOn(name) << " waiting";
        SetNamedEvent(event);
        const int woken = (a.Result() == 'W') + (b.Result() == 'W');
        EXPECT_EQ(woken, row.woken) << "row " << row.line;
        // The auto-reset event reset itself; the manual one is still set.
        EXPECT_EQ(WaitNamedObject(event, 0), row.manual ? TWaitResult::wrSignaled : TWaitResult::wrTimeout)
            << "row " << row.line;
        CloseNamedObject(event);
    }
}

// Each set of an auto-reset event while waiters sleep releases one more of
// them, as each pulse does: two sets (or pulses) back to back, with two
// waiters asleep, release both, be they threads of this process or other
// processes, and leave the event reset; a third set finds nobody left to
// release and leaves it set, once; one set releases one. A set that stored
// "set" rather than counting one take more released one of the two, the
// other waiting on; a pulse that replaced the pulses untaken with its own
// did the same.
TEST_F(SharedObjectsWaitTest, EachSetOrPulseReleasesOneMoreSleepingWaiter)
{
    struct Row {
        int line;
        bool processes; // the waiters are other processes, else threads
        bool pulse;     // the changes are pulses, else sets
        int changes;
        int released; // of the two waiters
        bool leftSet; // the event is set afterwards
    };
    const Row rows[] = {
        {1, false, false, 2, 2, false}, {2, true, false, 2, 2, false}, {3, false, true, 2, 2, false},
        {4, true, true, 2, 2, false},   {5, false, false, 3, 2, true}, {6, true, false, 1, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const QString name = Unique("ev-count-") + QString::number(row.line);
        const TSharedHandle event = OpenNamedEvent(name, false);
        const auto waits = [&] {
            const TSharedHandle h = OpenNamedEvent(name, false);
            const bool released =
                WaitNamedObject(h, row.released == 2 ? 20000 : 1500) == TWaitResult::wrSignaled;
            CloseNamedObject(h);
            return released ? 'W' : 'T';
        };
        std::atomic<char> results[2] = {{0}, {0}};
        std::unique_ptr<Child> children[2];
        std::thread threads[2];
        for (int i = 0; i < 2; ++i) {
            if (row.processes)
                children[i] = std::make_unique<Child>(waits);
            else
                threads[i] = std::thread([&, i] { results[i] = waits(); });
        }
        EXPECT_TRUE(SleepersReach(name, 2)) << SleepersOn(name) << " asleep";
        for (int i = 0; i < row.changes; ++i)
            row.pulse ? PulseNamedEvent(event) : SetNamedEvent(event);
        int released = 0;
        for (int i = 0; i < 2; ++i) {
            if (row.processes)
                results[i] = children[i]->Result();
            else
                threads[i].join();
            released += results[i] == 'W' ? 1 : 0;
        }
        EXPECT_EQ(released, row.released);
        EXPECT_EQ(WaitNamedObject(event, 0), row.leftSet ? TWaitResult::wrSignaled : TWaitResult::wrTimeout);
        EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout); // set once
        CloseNamedObject(event);
    }
}

// A set offers takes for the waiters it finds asleep; a waiter that leaves
// without one (it took another event of its wait) gives back what the sets
// offered beyond one for each waiter left and one more, so that the event
// is left set once, as a set with nobody to release leaves it. Here the
// waiter on B and A is stopped (SIGSTOP) while B, then A three times, is
// set, which counts it asleep on A; let go, it takes B, the first of its
// list; the other waiter takes A, and A is left set once: a second take
// finds it reset. Kept, the take offered for the stopped waiter was one
// more that no set left. A pulse with nobody asleep leaves nothing for
// waiters that fall asleep after it: one pulse then releases one of two.
TEST_F(SharedObjectsWaitTest, AnEventIsLeftSetOnceWhateverItsLeavingWaitersOffered)
{
    const QString a = Unique("ev-leave-a");
    const QString b = Unique("ev-leave-b");
    const TSharedHandle eventA = OpenNamedEvent(a, false);
    const TSharedHandle eventB = OpenNamedEvent(b, false);
    Child onA([&] {
        return WaitNamedObject(OpenNamedEvent(a, false), 20000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    int took[2];
    ASSERT_EQ(pipe(took), 0);
    const pid_t onBoth = Spawn([&] {
        int index = -1;
        const TWaitResult result =
            WaitNamedEvents({OpenNamedEvent(b, false), OpenNamedEvent(a, false)}, 20000, &index);
        const char taken = result == TWaitResult::wrSignaled ? char('0' + index) : 'T';
        (void)!write(took[1], &taken, 1);
    });
    ASSERT_TRUE(SleepersReach(a, 2));
    ASSERT_TRUE(SleepersReach(b, 1));
    kill(onBoth, SIGSTOP);
    SetNamedEvent(eventB);
    for (int i = 0; i < 3; ++i)
        SetNamedEvent(eventA);
    EXPECT_EQ(onA.Result(), 'W');
    kill(onBoth, SIGCONT);
    char taken = 0;
    EXPECT_EQ(read(took[0], &taken, 1), 1);
    EXPECT_EQ(taken, '0') << "the stopped waiter took no B";
    EXPECT_EQ(ExitCode(onBoth), 0);
    close(took[0]);
    close(took[1]);
    EXPECT_EQ(WaitNamedObject(eventA, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(eventA, 0), TWaitResult::wrTimeout) << "left set more than once";

    PulseNamedEvent(eventA); // nobody asleep
    const auto waits = [&] {
        return WaitNamedObject(OpenNamedEvent(a, false), 1500) == TWaitResult::wrSignaled ? 'W' : 'T';
    };
    Child first(waits), second(waits);
    ASSERT_TRUE(SleepersReach(a, 2));
    PulseNamedEvent(eventA);
    EXPECT_EQ((first.Result() == 'W') + (second.Result() == 'W'), 1);
    CloseNamedObject(eventA);
    CloseNamedObject(eventB);
}

// Runs body on a new thread that may run on one CPU only (the first the
// process may use), where a wait does not spin; answers the voluntary
// context switches the thread made in body (a sleep makes one), or -1
// where the thread could not be bound.
long SwitchesOnOneCpu(const std::function<void()>& body)
{
    long switches = -1;
    std::thread thread([&] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof(set), &set) != 0)
            return;
        int first = 0;
        while (first < CPU_SETSIZE && !CPU_ISSET(first, &set))
            ++first;
        CPU_ZERO(&set);
        CPU_SET(first, &set);
        if (sched_setaffinity(0, sizeof(set), &set) != 0)
            return;
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        body();
        getrusage(RUSAGE_THREAD, &after);
        switches = after.ru_nvcsw - before.ru_nvcsw;
    });
    thread.join();
    return switches;
}

// What the probe of the Looked step sets: an event, between a wait's first
// look at its events and its sleep.
TSharedHandle SetAtLooked = 0;

void SetWhenLooked(TSharedStep step)
{
    if (step == TSharedStep::Looked && SetAtLooked)
        SetNamedEvent(std::exchange(SetAtLooked, 0));
}

// A wait never sleeps for a set it could have seen: on a thread bound to one
// CPU, where it does not spin, it makes no voluntary context switch where
// the event is set before the wait (its first look takes it: looking only
// once counted in as asleep, it would sleep a whole slice of 500 ms), nor
// where the event is set between its first look and its sleep (the probe
// of the Looked step sets it there: the sequences read before the look
// have moved, and the futex returns at once; read after the look, they
// hold the set already, and the wait sleeps the slice out). Either way the
// event is taken.
TEST_F(SharedObjectsWaitTest, AWaitNeverSleepsForASetItCouldHaveSeen)
{
    const TSharedHandle event = OpenNamedEvent(Unique("ev-look"), false);
    TWaitResult result = TWaitResult::wrFailed;
    SetNamedEvent(event);
    EXPECT_EQ(SwitchesOnOneCpu([&] { result = WaitNamedObject(event, kWaitInfinite); }), 0) << "set before";
    EXPECT_EQ(result, TWaitResult::wrSignaled);

    SetAtLooked = event;
    SetSharedObjectsProbe(&SetWhenLooked);
    const auto unprobed = qScopeGuard([] { SetSharedObjectsProbe(nullptr); });
    result = TWaitResult::wrFailed;
    EXPECT_EQ(SwitchesOnOneCpu([&] { result = WaitNamedObject(event, kWaitInfinite); }), 0)
        << "set after the first look";
    SetSharedObjectsProbe(nullptr);
    EXPECT_EQ(SetAtLooked, 0u) << "the wait did not reach its Looked step";
    EXPECT_EQ(result, TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);
    CloseNamedObject(event);
}

// A set wakes a single waiter asleep on the event at once, not at the end of
// its slice (500 ms, after which every waiter looks again whether woken or
// not): the waiter, counted asleep in the event's file, is released within
// 250 ms in at least one of three rounds. A busy machine may delay a
// round's wake-up; a set that woke nobody never releases it sooner than
// most of a slice.
TEST_F(SharedObjectsWaitTest, ASetWakesASingleSleepingWaiterAtOnce)
{
    const QString name = Unique("ev-wake");
    const TSharedHandle event = OpenNamedEvent(name, false);
    int64_t quickest = -1;
    for (int round = 0; round < 3 && !(quickest >= 0 && quickest < 250); ++round) {
        std::atomic<int64_t> releasedAt{0};
        std::thread waiter([&] {
            if (WaitNamedObject(event, 20000) == TWaitResult::wrSignaled)
                releasedAt = MonotonicNs();
        });
        ASSERT_TRUE(SleepersReach(name, 1));
        const int64_t setAt = MonotonicNs();
        SetNamedEvent(event);
        waiter.join();
        ASSERT_NE(releasedAt.load(), 0) << "not released";
        const int64_t ms = (releasedAt - setAt) / 1'000'000;
        quickest = quickest < 0 ? ms : std::min(quickest, ms);
    }
    EXPECT_LT(quickest, 250);
    CloseNamedObject(event);
}

TEST_F(SharedObjectsWaitTest, EventKeepsTheKindItWasCreatedWith)
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

TEST_F(SharedObjectsWaitTest, PulseReleasesOnlyTheWaitersOfThatMoment)
{
    const QString name = Unique("ev-pulse");
    const TSharedHandle event = OpenNamedEvent(name, true);
    // Nobody waits: the pulse leaves nothing behind.
    PulseNamedEvent(event);
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);

    Child child([&] {
        const TSharedHandle h = OpenNamedEvent(name, true);
        return WaitNamedObject(h, 20000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    ASSERT_TRUE(SleepersReach(name, 1)) << SleepersOn(name) << " waiting";
    PulseNamedEvent(event);
    EXPECT_EQ(child.Result(), 'W');
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout); // reset again
    CloseNamedObject(event);
}

TEST_F(SharedObjectsWaitTest, WaitOnEitherOfTwoEventsTakesOnlyTheOneSignalled)
{
    const TSharedHandle completed = OpenNamedEvent(Unique("either-a"), false);
    const TSharedHandle error = OpenNamedEvent(Unique("either-b"), false);
    int index = -1;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(WaitNamedEvents({completed, error}, 100, &index), TWaitResult::wrTimeout);
    EXPECT_GE(timer.elapsed(), 95);

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
TEST_F(SharedObjectsWaitTest, WaitOnManyEventsTakesTheOneSetFarDownTheList)
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

// Processes that wait on, set, reset and pulse events in a tight loop are
// killed at random instructions; afterwards every event still sets at once
// and releases its waiter, and an auto-reset set still releases only one.
TEST_F(SharedObjectsWaitTest, ProcessesKilledAnywhereInsideEventCallsLeaveEventsWorking)
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

    // Waiters killed while asleep leave nothing that a later set counts:
    // two sets with nobody alive waiting leave the auto-reset event set
    // once, whatever the killed waiters of the rounds above left behind.
    std::vector<pid_t> sleepers;
    for (int i = 0; i < 3; ++i) {
        int opened[2];
        ASSERT_EQ(pipe(opened), 0);
        sleepers.push_back(Spawn([&] {
            const TSharedHandle h = OpenNamedEvent(autoName, false);
            (void)!write(opened[1], "o", 1);
            WaitNamedObject(h, kWaitInfinite);
        }));
        char byte = 0;
        EXPECT_EQ(read(opened[0], &byte, 1), 1);
        close(opened[0]);
        close(opened[1]);
        // Opened, the sleeper's next system call is its sleep.
        const QByteArray task = "/proc/" + QByteArray::number(sleepers.back());
        for (int n = 0; n < 20'000 && SystemCallOf(task) != SYS_futex; ++n)
            usleep(1000);
        EXPECT_EQ(SystemCallOf(task), SYS_futex) << "sleeper " << i << " does not sleep";
    }
    for (pid_t pid : sleepers)
        Kill(pid);
    SetNamedEvent(keepAuto);
    SetNamedEvent(keepAuto);
    EXPECT_EQ(WaitNamedObject(keepAuto, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(keepAuto, 0), TWaitResult::wrTimeout);
    CloseNamedObject(keepAuto);
    CloseNamedObject(keepManual);
}

} // namespace
