// The waits on named events and mutexes: an auto-reset event wakes one
// waiter and a manual-reset event all, an event keeps the kind it was
// created with, a pulse releases only the waiters of its moment, waits on
// several events take only the one set, a mutex's wait times out and counts
// nested takes, a dead owner's mutex is taken as abandoned, and events keep
// working where processes are killed anywhere inside their calls.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <random>

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
        return WaitNamedObject(h, 2000) == TWaitResult::wrSignaled ? 'W' : 'T';
    });
    usleep(300'000);
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

TEST_F(SharedObjectsWaitTest, MutexWaitTimesOutAfterItsTimeAndCountsNestedTakes)
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

TEST_F(SharedObjectsWaitTest, MutexOfAnOwnerThatDiedIsAcquiredAsAbandoned)
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

} // namespace
