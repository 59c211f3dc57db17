// What sets, resets and pulses release, as the system's events release it:
// a set or a pulse releases at that instant a waiter that waits (a reset,
// a pulse or a set that follows at once takes nothing back), also one that
// still looks at its events before it sleeps; a waiter of several events
// takes one take, of the event that released it first; killed waiters let
// no set or pulse release more; a wait looks at its events before it
// spins; any order of sets, pulses and resets releases what a model of the
// system's events releases; and an event registers a bounded number of
// waiters, past which a wait fails at once.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// What a wait answered: the place of the event it took, or one of these.
constexpr int kRunning = -3;
constexpr int kTimedOut = -1;
constexpr int kFailed = -2;

// A thread of this process that waits on events, at most timeoutMs.
class TWaiter {
public:
    TWaiter(std::vector<TSharedHandle> events, uint32_t timeoutMs)
        : FThread([this, events = std::move(events), timeoutMs] {
              int index = -1;
              const TWaitResult result = WaitNamedEvents(events, timeoutMs, &index);
              FResult = result == TWaitResult::wrSignaled  ? index
                        : result == TWaitResult::wrTimeout ? kTimedOut
                                                           : kFailed;
          })
    {
    }
    ~TWaiter()
    {
        if (FThread.joinable())
            FThread.join();
    }
    // The answer, once the wait has ended.
    int Join()
    {
        if (FThread.joinable())
            FThread.join();
        return FResult;
    }

private:
    std::atomic<int> FResult{kRunning};
    std::thread FThread;
};

// Takes the event with waits of 0 ms until one finds it reset: how many
// takes it held (at most 1 for an auto-reset event; 1 for a set
// manual-reset event, which no wait resets).
int Takes(TSharedHandle event, bool manual)
{
    int takes = 0;
    while (takes < 100 && WaitNamedObject(event, 0) == TWaitResult::wrSignaled) {
        ++takes;
        if (manual)
            break;
    }
    return takes;
}

// Why this thread cannot spin in a wait (it may run on one CPU only);
// empty where it can.
QString SpinWithheld()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0 || CPU_COUNT(&set) < 2)
        return QStringLiteral("this process may run on one CPU only, where a wait does not spin");
    return QString();
}

// The probe that holds a waiter while it looks at its events before it
// sleeps (its spin, registered on its events): the thread of the tid in
// Held stops there until Go is set; Reached tells that it got there.
std::atomic<long> Held{0};
std::atomic<bool> Reached{false};
std::atomic<bool> Go{false};

void HoldWhileSpinning(TSharedStep step)
{
    if (step != TSharedStep::Spinning || Held.load() != long(syscall(SYS_gettid)))
        return;
    Reached = true;
    while (!Go.load())
        sched_yield();
}

// Waits until the held waiter has reached its spin: false where it does not
// within 20 s.
bool ReachesItsSpin()
{
    for (int i = 0; i < 20000 && !Reached.load(); ++i)
        usleep(1000);
    return Reached.load();
}

// A waiter held in its spin by HoldWhileSpinning, on event.
class THeldWaiter {
public:
    explicit THeldWaiter(TSharedHandle event)
    {
        Held = 0;
        Reached = false;
        Go = false;
        SetSharedObjectsProbe(&HoldWhileSpinning);
        FThread = std::thread([this, event] {
            Held = long(syscall(SYS_gettid));
            FResult = WaitNamedObject(event, 20000) == TWaitResult::wrSignaled ? 0 : kTimedOut;
        });
    }
    ~THeldWaiter() { Let(); }
    // Lets it go on; its answer.
    int Let()
    {
        Go = true;
        if (FThread.joinable())
            FThread.join();
        SetSharedObjectsProbe(nullptr);
        return FResult;
    }

private:
    std::atomic<int> FResult{kRunning};
    std::thread FThread;
};

// A set or a pulse releases, at that instant, every waiter that it finds
// (one of an auto-reset event, all of a manual-reset one): a change that
// follows at once takes nothing back. The waiters are threads registered
// on the event (asleep, or looking at it before they sleep); the changes
// come back to back from this thread. Where a set offered its take to a
// waiter only to be taken (a count the waiter would take when it woke),
// a reset at once took it back; where a pulse let the waiters that began
// before it take it, a set at once made it the set's; and so on.
TEST_F(SharedObjectsEventsTest, ASetOrPulseReleasesAtThatInstantTheWaitersItFinds)
{
    struct TRow {
        int Line;
        bool Manual;
        int Waiters;
        const char* Changes; // s set, r reset, p pulse
        int Released;
        bool LeftSet;
    };
    const TRow rows[] = {
        {1, false, 1, "sr", 1, false}, // set then reset: released
        {2, false, 1, "ps", 1, true},  // pulse then set: released, the event left set
        {3, false, 2, "sp", 2, false}, // set then pulse, two asleep: both
        {4, false, 2, "ss", 2, false}, // two sets, two asleep: both
        {5, false, 1, "ss", 1, true},  // two sets, one asleep: released, left set once
        {6, false, 1, "pp", 1, false}, // two pulses, one asleep: released, reset
        {7, true, 2, "sr", 2, false},  // every waiter of a manual-reset event
        {8, true, 2, "ps", 2, true},   {9, true, 2, "sp", 2, false}, {10, true, 2, "pr", 2, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Line);
        const QString name = Unique("instant-") + QString::number(row.Line);
        const TSharedHandle event = OpenNamedEvent(name, row.Manual);
        std::vector<std::unique_ptr<TWaiter>> waiters;
        for (int i = 0; i < row.Waiters; ++i)
            waiters.push_back(std::make_unique<TWaiter>(std::vector<TSharedHandle>{event}, 20000));
        ASSERT_TRUE(SleepersReach(name, row.Waiters)) << SleepersOn(name) << " registered";
        for (const char* change = row.Changes; *change; ++change)
            *change == 's'   ? SetNamedEvent(event)
            : *change == 'r' ? ResetNamedEvent(event)
                             : PulseNamedEvent(event);
        int released = 0;
        for (int i = 0; i < row.Released; ++i)
            released += waiters[size_t(i)]->Join() == 0 ? 1 : 0;
        EXPECT_EQ(released, row.Released);
        EXPECT_EQ(SleepersOn(name), 0) << "a waiter still registered";
        EXPECT_EQ(Takes(event, row.Manual), row.LeftSet ? 1 : 0);
        CloseNamedObject(event);
    }
}

// A waiter of several events is released by the first set that finds it
// and takes that event alone; the later sets leave their events set, once
// each, as the system's events do. Asleep on {A, C}, then C, A, A set back
// to back: released by C, A left set once (2 takes in all). Asleep on
// {C, A}, then A, C, A: released by A, C and A left set (3 takes). A waiter
// that took by its list's order took A where C released it first; one that
// left a take on each of its events as it went left one too many or too
// few.
TEST_F(SharedObjectsEventsTest, AWaiterOfSeveralEventsTakesTheOneThatReleasedItFirst)
{
    struct TRow {
        int Line;
        const char* List; // the waiter's events, in its order
        const char* Sets;
        int Index;        // the place of the event it takes
        const char* Left; // the events left set
    };
    const TRow rows[] = {
        {1, "AC", "CAA", 1, "A"},
        {2, "CA", "ACA", 1, "AC"},
        {3, "AC", "ACC", 0, "C"},
        {4, "ABC", "CBA", 2, "AB"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Line);
        const QString tag = Unique("several-") + QString::number(row.Line) + QLatin1Char('-');
        std::map<char, TSharedHandle> events;
        for (const char letter : {'A', 'B', 'C'})
            events[letter] = OpenNamedEvent(tag + QLatin1Char(letter), false);
        std::vector<TSharedHandle> list;
        for (const char* letter = row.List; *letter; ++letter)
            list.push_back(events[*letter]);
        TWaiter waiter(list, 20000);
        ASSERT_TRUE(SleepersReach(tag + QLatin1Char(row.List[strlen(row.List) - 1]), 1));
        for (const char* letter = row.Sets; *letter; ++letter)
            SetNamedEvent(events[*letter]);
        EXPECT_EQ(waiter.Join(), row.Index);
        QString left;
        for (const auto& [letter, event] : events) {
            const int takes = Takes(event, false);
            EXPECT_LE(takes, 1) << letter << " left set more than once";
            if (takes > 0)
                left += QLatin1Char(letter);
            CloseNamedObject(event);
        }
        EXPECT_EQ(left.toStdString(), row.Left);
    }
}

// Waiters killed while they wait leave entries that no set or pulse
// counts: with nobody alive waiting, two sets (or a burst of fifty) leave
// the event set once, and one later wait passes; a pulse releases one of
// two live waiters; whatever number of waiters was killed. Counted
// waiters, which killed ones never left, let each such set offer one more
// take (2, 11, 39 takes for 1, 10, 38 killed).
TEST_F(SharedObjectsEventsTest, KilledWaitersNeverLetASetOrPulseReleaseMore)
{
    for (const int killed : {1, 10, sharedobjects_layout::kEventEntries - 2}) {
        SCOPED_TRACE(killed);
        const QString name = Unique("killed-") + QString::number(killed);
        const TSharedHandle event = OpenNamedEvent(name, false);
        std::vector<pid_t> waiters;
        for (int i = 0; i < killed; ++i)
            waiters.push_back(Spawn([&] { WaitNamedObject(OpenNamedEvent(name, false), kWaitInfinite); }));
        ASSERT_TRUE(SleepersReach(name, killed));
        for (const pid_t pid : waiters)
            Kill(pid);
        SetNamedEvent(event);
        SetNamedEvent(event);
        EXPECT_EQ(Takes(event, false), 1) << "two sets";
        EXPECT_EQ(SleepersOn(name), 0) << "the killed waiters' entries were left";
        for (int i = 0; i < 50; ++i)
            SetNamedEvent(event);
        EXPECT_EQ(Takes(event, false), 1) << "a burst of sets";

        waiters.clear();
        for (int i = 0; i < killed; ++i)
            waiters.push_back(Spawn([&] { WaitNamedObject(OpenNamedEvent(name, false), kWaitInfinite); }));
        ASSERT_TRUE(SleepersReach(name, killed));
        TWaiter first({event}, 20000);
        TWaiter second({event}, 20000);
        ASSERT_TRUE(SleepersReach(name, killed + 2)) << SleepersOn(name) << " registered";
        for (const pid_t pid : waiters)
            Kill(pid);
        PulseNamedEvent(event);
        // One released; the other still waits, until a set releases it.
        for (int i = 0; i < 20000 && SleepersOn(name) != 1; ++i)
            usleep(1000);
        EXPECT_EQ(SleepersOn(name), 1);
        SetNamedEvent(event);
        EXPECT_EQ(first.Join() + second.Join(), 0);
        EXPECT_EQ(Takes(event, false), 0);
        CloseNamedObject(event);
    }
}

// A waiter that has registered on its event and looks at it for a short
// while before it sleeps (held there) is a waiter: a pulse releases it,
// and a later waiter that registers takes nothing of it; two sets release
// it and leave the event set once. Where the spin came before the waiter
// was counted, the pulse found nobody, or was taken back when the later
// waiter counted itself in; two sets found one waiter to release.
TEST_F(SharedObjectsEventsTest, AWaiterThatLooksBeforeItSleepsIsReleasedAsOneAsleep)
{
    if (Withheld(SpinWithheld))
        return;
    struct TRow {
        int Line;
        const char* Changes;
        bool LaterWaiter;
        int LeftSet;
    };
    const TRow rows[] = {
        {1, "p", true, 0},
        {2, "ss", false, 1},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Line);
        const QString name = Unique("looking-") + QString::number(row.Line);
        const TSharedHandle event = OpenNamedEvent(name, false);
        THeldWaiter held(event);
        ASSERT_TRUE(ReachesItsSpin());
        for (const char* change = row.Changes; *change; ++change)
            *change == 's' ? SetNamedEvent(event) : PulseNamedEvent(event);
        std::unique_ptr<TWaiter> later;
        if (row.LaterWaiter) {
            later = std::make_unique<TWaiter>(std::vector<TSharedHandle>{event}, 20000);
            ASSERT_TRUE(SleepersReach(name, 2));
        }
        EXPECT_EQ(held.Let(), 0) << "not released";
        if (later) {
            EXPECT_EQ(SleepersOn(name), 1) << "the later waiter was released";
            SetNamedEvent(event);
            EXPECT_EQ(later->Join(), 0);
        }
        EXPECT_EQ(Takes(event, false), row.LeftSet);
        CloseNamedObject(event);
    }
}

// A wait looks at its events once before it spins: an event set already
// is taken without a spin, and a wait that finds none set spins only after
// that look (the probe's steps in that order). A spin first would cost
// every wait whose event is set a few tens of microseconds.
std::vector<TSharedStep> Steps;

void RecordStep(TSharedStep step)
{
    Steps.push_back(step);
}

TEST_F(SharedObjectsEventsTest, AWaitLooksAtItsEventsBeforeItSpins)
{
    if (Withheld(SpinWithheld))
        return;
    const TSharedHandle event = OpenNamedEvent(Unique("look-first"), false);
    Steps.clear();
    SetSharedObjectsProbe(&RecordStep);
    SetNamedEvent(event);
    EXPECT_EQ(WaitNamedObject(event, 100), TWaitResult::wrSignaled);
    EXPECT_TRUE(Steps.empty()) << "a set event was not taken at once";
    EXPECT_EQ(WaitNamedObject(event, 20), TWaitResult::wrTimeout);
    SetSharedObjectsProbe(nullptr);
    EXPECT_EQ(Steps, (std::vector<TSharedStep>{TSharedStep::Looked, TSharedStep::Spinning}));
    CloseNamedObject(event);
}

// A model of the system's events, as a sequence of changes from one thread
// changes them while waiters wait: an auto-reset event's set releases its
// waiter or leaves it set, its pulse releases its waiter and resets it; a
// manual-reset event's set releases all its waiters and leaves it set, its
// pulse releases them and resets it; a reset resets. A released waiter
// leaves every event it waited on.
struct TModel {
    std::vector<bool> Manual;
    std::vector<bool> Set;
    std::vector<std::vector<int>> Lists; // the waiters' events
    std::vector<int> Released;           // the place it took, or -1

    void Change(char change, int event)
    {
        const auto release = [&](bool all) {
            bool any = false;
            for (size_t w = 0; w < Lists.size() && (all || !any); ++w) {
                if (Released[w] >= 0)
                    continue;
                for (size_t i = 0; i < Lists[w].size(); ++i) {
                    if (Lists[w][i] == event) {
                        Released[w] = int(i);
                        any = true;
                        break;
                    }
                }
            }
            return any;
        };
        if (change == 'r') {
            Set[size_t(event)] = false;
        } else if (change == 's') {
            if (Manual[size_t(event)]) {
                Set[size_t(event)] = true;
                release(true);
            } else if (!release(false)) {
                Set[size_t(event)] = true;
            }
        } else {
            release(Manual[size_t(event)]);
            Set[size_t(event)] = false;
        }
    }
};

// Any sequence of sets, pulses and resets of auto-reset and manual-reset
// events, while threads wait on one or several of them, releases each
// waiter by the event the model releases it by (or none: a last event of
// every list, set at the end, tells the waiters that went unreleased), and
// leaves set the events the model leaves set. An auto-reset event has one
// waiter at most, so that which waiter a set releases is the model's too.
TEST_F(SharedObjectsEventsTest, AnyOrderOfChangesReleasesWhatTheModelReleases)
{
    constexpr int kAuto = 4;
    constexpr int kManual = 2;
    std::mt19937 random(20261210);
    std::vector<TSharedHandle> events;
    std::vector<QString> names;
    for (int e = 0; e < kAuto + kManual; ++e) {
        names.push_back(Unique("model-") + QString::number(e));
        events.push_back(OpenNamedEvent(names.back(), e >= kAuto));
    }
    const QString stopName = Unique("model-stop");
    const TSharedHandle stop = OpenNamedEvent(stopName, true);
    for (int round = 0; round < 150; ++round) {
        TModel model;
        for (int e = 0; e < kAuto + kManual; ++e) {
            model.Manual.push_back(e >= kAuto);
            model.Set.push_back(false);
        }
        // Waiters on distinct auto-reset events, any manual-reset ones.
        std::vector<int> autos{0, 1, 2, 3};
        std::shuffle(autos.begin(), autos.end(), random);
        const int waiters = 1 + int(random() % 3);
        size_t nextAuto = 0;
        for (int w = 0; w < waiters; ++w) {
            std::vector<int> list;
            const int size = 1 + int(random() % 3);
            for (int i = 0; i < size; ++i) {
                const bool manual = random() % 3 == 0 || nextAuto == autos.size();
                const int event = manual ? kAuto + int(random() % kManual) : autos[nextAuto++];
                if (std::find(list.begin(), list.end(), event) == list.end())
                    list.push_back(event);
            }
            model.Lists.push_back(list);
            model.Released.push_back(-1);
        }
        std::vector<std::unique_ptr<TWaiter>> threads;
        for (const std::vector<int>& list : model.Lists) {
            std::vector<TSharedHandle> handles;
            for (const int event : list)
                handles.push_back(events[size_t(event)]);
            handles.push_back(stop);
            threads.push_back(std::make_unique<TWaiter>(handles, 20000));
        }
        ASSERT_TRUE(SleepersReach(stopName, waiters));
        QString changes;
        const int count = 1 + int(random() % 8);
        for (int c = 0; c < count; ++c) {
            const char change = "srp"[random() % 3];
            const int event = int(random() % (kAuto + kManual));
            changes += QStringLiteral("%1%2 ").arg(QLatin1Char(change)).arg(event);
            change == 's'   ? SetNamedEvent(events[size_t(event)])
            : change == 'r' ? ResetNamedEvent(events[size_t(event)])
                            : PulseNamedEvent(events[size_t(event)]);
            model.Change(change, event);
        }
        SetNamedEvent(stop);
        for (size_t w = 0; w < threads.size(); ++w) {
            const int expected = model.Released[w] >= 0 ? model.Released[w] : int(model.Lists[w].size());
            EXPECT_EQ(threads[w]->Join(), expected)
                << "round " << round << ", waiter " << w << ", changes " << changes.toStdString();
        }
        ResetNamedEvent(stop);
        for (int e = 0; e < kAuto + kManual; ++e) {
            EXPECT_EQ(Takes(events[size_t(e)], e >= kAuto), model.Set[size_t(e)] ? 1 : 0)
                << "round " << round << ", event " << e << ", changes " << changes.toStdString();
            ResetNamedEvent(events[size_t(e)]);
        }
    }
    for (const TSharedHandle event : events)
        CloseNamedObject(event);
    CloseNamedObject(stop);
}

// An event registers a bounded number of waiters at once (of all the
// user's processes): one more wait fails at once, saying so (wrFailed),
// rather than wait unregistered, where no set would find it; the waiters
// registered are released by a set each.
TEST_F(SharedObjectsEventsTest, AWaitPastTheWaitersAnEventRegistersFailsAtOnce)
{
    constexpr int kMost = sharedobjects_layout::kEventEntries;
    const QString name = Unique("most");
    const TSharedHandle event = OpenNamedEvent(name, false);
    std::vector<std::unique_ptr<TWaiter>> waiters;
    for (int i = 0; i < kMost; ++i)
        waiters.push_back(std::make_unique<TWaiter>(std::vector<TSharedHandle>{event}, 20000));
    ASSERT_TRUE(SleepersReach(name, kMost));
    EXPECT_EQ(WaitNamedObject(event, 20000), TWaitResult::wrFailed);
    for (int i = 0; i < kMost; ++i)
        SetNamedEvent(event);
    int released = 0;
    for (const auto& waiter : waiters)
        released += waiter->Join() == 0 ? 1 : 0;
    EXPECT_EQ(released, kMost);
    EXPECT_EQ(Takes(event, false), 0);
    CloseNamedObject(event);
}

} // namespace
