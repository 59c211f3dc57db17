// How a waiter sleeps and wakes: a wait takes an event that is set at once;
// else it registers on its events (SharedObjectsEvents.cpp), looks at its
// slot for a short while where it may run on more than one CPU, and sleeps
// on its slot's word until a set or a pulse grants it an event or its time
// runs out.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// How long a wait looks at its slot before it sleeps, when the process may
// run on more than one CPU: a peer that answers within it is seen without a
// wake-up of this thread.
constexpr int64_t kSpinNs = 60'000;

// A setter or a manual-reset event's setter stopped or ended between its
// grant and its wake-up (or between its set and its grants) leaves a
// waiter asleep that may go; every waiter looks again at least this often.
constexpr int64_t kWaitSliceNs = 500'000'000;

timespec MonotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

int64_t ToNs(const timespec& t)
{
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

timespec FromNs(int64_t ns)
{
    timespec t{};
    t.tv_sec = time_t(ns / 1'000'000'000);
    t.tv_nsec = long(ns % 1'000'000'000);
    return t;
}

// Whether more than one CPU may run this thread: only then can a peer
// answer while it spins. Asked again every 100 ms, since a thread may be
// pinned to one CPU later.
bool SeveralCpus()
{
    thread_local int64_t askedAt = 0;
    thread_local bool several = false;
    const int64_t now = ToNs(MonotonicNow());
    if (askedAt == 0 || now - askedAt > 100'000'000) {
        cpu_set_t set;
        CPU_ZERO(&set);
        several = sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 1;
        askedAt = now;
    }
    return several;
}

// Looks at the joined wait's slot for a short while before it sleeps; true
// with index set where it was granted an event meanwhile.
bool SpinFor(WaitList& list, int& index)
{
    if (!SeveralCpus())
        return false;
    AtStep(TSharedStep::Spinning);
    const int64_t until = ToNs(MonotonicNow()) + kSpinNs;
    do {
        for (int pause = 0; pause < 64; ++pause)
            __builtin_ia32_pause();
        if (Granted(list, index))
            return true;
    } while (ToNs(MonotonicNow()) < until);
    return false;
}

// Sleeps the joined wait until its slot's word changes, or until the
// absolute monotonic time until; true with index set where it was granted
// an event.
bool SleepUntil(WaitList& list, int64_t until, int& index)
{
    if (!Sleeps(list))
        return Granted(list, index);
    const timespec absolute = FromNs(until);
    syscall(SYS_futex, SleepWord(list), FUTEX_WAIT_BITSET, SleepingWord(), &absolute, nullptr,
            FUTEX_BITSET_MATCH_ANY);
    return Granted(list, index);
}

} // namespace

TWaitResult WaitEvents(WaitList& list, uint32_t timeoutMs, int* index)
{
    if (list.Count == 0 || !list.Slots)
        return TWaitResult::wrFailed;
    int taken = -1;
    const auto signaled = [&] {
        if (index)
            *index = taken;
        return TWaitResult::wrSignaled;
    };
    // An event that is set already is taken at once, before any spin.
    if (TakeSetEvent(list, taken))
        return signaled();
    AtStep(TSharedStep::Looked);
    if (timeoutMs == 0)
        return TWaitResult::wrTimeout;
    // A last close that the end of the wait runs counts the wait.
    FixCallDeadline();
    const int64_t deadline = ToNs(MonotonicNow()) + int64_t(timeoutMs) * 1'000'000;
    switch (JoinWait(list, taken)) {
    case TJoin::Taken:
        return signaled();
    case TJoin::Full:
        return TWaitResult::wrFailed;
    case TJoin::Joined:
        break;
    }
    bool granted = SpinFor(list, taken);
    while (!granted) {
        const int64_t now = ToNs(MonotonicNow());
        if (timeoutMs != kWaitInfinite && now >= deadline)
            break;
        int64_t until = now + kWaitSliceNs;
        if (timeoutMs != kWaitInfinite)
            until = std::min(until, deadline);
        granted = SleepUntil(list, until, taken);
    }
    // A grant that came as the time ran out is the wait's: the set released
    // it while it waited.
    return LeaveWait(list, taken) ? signaled() : TWaitResult::wrTimeout;
}

} // namespace sharedobjects_detail
