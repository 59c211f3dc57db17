// How a waiter sleeps and wakes: the futexes that waiters sleep on (several
// at once with futex_waitv, else the user's wake-up block) and the short
// spin before a sleep. The words of an event and their
// changes (set, reset, pulse) are inline, in the waits' part of the internal
// header: every call on an event goes through them.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// How long a wait spins on its words before it sleeps, when the process may
// run on more than one CPU: a peer that answers within it is seen without a
// wake-up of this thread.
constexpr int64_t kSpinNs = 60'000;

// A setter killed between setting an event and incrementing the sequence
// leaves the event set without waking anyone; every waiter looks again at
// least this often, so such an event is seen within this time.
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

} // namespace

namespace {

long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout)
{
    return syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

// Whether the kernel waits on several futex words at once (futex_waitv,
// Linux 5.16): 1 yes, -1 no, 0 not known yet.
std::atomic<int> VectorWaits{0};

} // namespace

// Wakes every thread asleep on word.
void WakeWord(uint32_t* word)
{
    Futex(word, FUTEX_WAKE, INT_MAX, nullptr);
}

namespace {

// Takes the event for a waiter that began waiting at pulse generation
// generation: a set event (an auto-reset one only by the waiter whose
// compare-and-swap takes one of its takes), or a pulse given after the
// waiter began.
bool TryTake(EventState* state, uint32_t generation)
{
    const bool manual = Load(state->ManualReset) != 0;
    uint32_t signaled = Load(state->Signaled);
    if (manual) {
        if (signaled != 0)
            return true;
    } else {
        while (signaled != 0) {
            if (CompareExchange(state->Signaled, signaled, signaled - 1))
                return true;
        }
    }
    uint32_t pulse = Load(state->Pulse);
    while ((pulse >> 8) != generation) {
        if (manual)
            return true;
        if ((pulse & 0xFF) == 0)
            return false;
        if (CompareExchange(state->Pulse, pulse, pulse - 1))
            return true;
    }
    return false;
}

// Sleeps until one of the sequences changes from the value last read, or
// until the absolute monotonic time until; false when the kernel has no
// futex_waitv.
bool SleepOnWords(const WaitList& list, int64_t until)
{
    std::array<futex_waitv, 128> words{};
    const size_t count = list.Count;
    for (size_t i = 0; i < count; ++i) {
        words[i].val = list[i].Seen;
        words[i].uaddr = reinterpret_cast<uintptr_t>(&list[i].Event()->Sequence);
        words[i].flags = FUTEX_32;
    }
    const timespec absolute = FromNs(until);
    if (syscall(SYS_futex_waitv, words.data(), unsigned(count), 0u, &absolute, CLOCK_MONOTONIC) < 0 &&
        errno == ENOSYS) {
        VectorWaits = -1;
        return false;
    }
    VectorWaits = 1;
    return true;
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

// Reads the sequences of the events (into their entries' Seen) and the
// user's; answers the user's.
uint32_t ReadSequences(WaitList& list, const WakeState& wake)
{
    const uint32_t user = Load(wake.Sequence);
    for (size_t i = 0; i < list.Count; ++i)
        list[i].Seen = Load(list[i].Event()->Sequence);
    return user;
}

// Takes the first event of the list that can be taken; true with index set
// when one was.
bool TakeAny(WaitList& list, int* index)
{
    for (size_t i = 0; i < list.Count; ++i) {
        if (TryTake(list[i].Event(), list[i].Generation)) {
            if (index)
                *index = int(i);
            return true;
        }
    }
    return false;
}

// The first look of a wait at its events, as TakeAny; where it takes none,
// the probe of the Looked step runs before the wait goes on.
bool LookFirst(WaitList& list, int* index)
{
    if (TakeAny(list, index))
        return true;
    AtStep(TSharedStep::Looked);
    return false;
}

// Looks at the events for a short while before the wait sleeps, after they
// were looked at once; true with index set when one was taken.
bool SpinFor(WaitList& list, int* index)
{
    if (!SeveralCpus())
        return false;
    const int64_t until = ToNs(MonotonicNow()) + kSpinNs;
    do {
        for (int pause = 0; pause < 64; ++pause)
            __builtin_ia32_pause();
        if (TakeAny(list, index))
            return true;
    } while (ToNs(MonotonicNow()) < until);
    return false;
}

// Counts the waiter in as asleep on the events of list. A pulse of an
// auto-reset event that came before the waiter began offers its takes only
// to the waiters of its moment: where the other sleepers are fewer than the
// pulses it left, the rest were offered to none of them (nobody slept), and
// are taken back, so that a later pulse does not add them to its own.
void CountIn(WaitList& list)
{
    for (size_t i = 0; i < list.Count; ++i) {
        EventState* state = list[i].Event();
        const uint32_t others = __atomic_fetch_add(&state->Waiters, 1, __ATOMIC_SEQ_CST);
        if (Load(state->ManualReset))
            continue;
        uint32_t pulse = Load(state->Pulse);
        while ((pulse >> 8) == list[i].Generation && (pulse & 0xFF) > others &&
               !CompareExchange(state->Pulse, pulse, (pulse & ~0xFFu) | others)) {
        }
    }
}

// Counts the waiter out again. The sets of an auto-reset event counted it
// among the sleepers it may release: what they offered beyond the most that
// the sleepers left may take (and the event left set) is taken back.
void CountOut(WaitList& list)
{
    for (size_t i = 0; i < list.Count; ++i) {
        EventState* state = list[i].Event();
        __atomic_sub_fetch(&state->Waiters, 1, __ATOMIC_SEQ_CST);
        if (Load(state->ManualReset))
            continue;
        uint32_t signaled = Load(state->Signaled);
        while (signaled > MostTakes(state) && !CompareExchange(state->Signaled, signaled, MostTakes(state))) {
        }
    }
}

} // namespace

TWaitResult WaitEvents(WaitList& list, uint32_t timeoutMs, int* index)
{
    WakeState* wake = list.Count > 0 ? list[0].Object->Wake() : nullptr;
    if (!wake)
        return TWaitResult::wrFailed;
    // The sequences are read before the events are looked at: a change
    // after this read makes the futex wait return at once, also where the
    // waiter counts itself in only after it looked (every change increments
    // the sequences, whether anyone is counted or not).
    uint32_t userSequence = ReadSequences(list, *wake);
    // An event that is set already is taken at once, before any spin.
    if (LookFirst(list, index))
        return TWaitResult::wrSignaled;
    if (timeoutMs == 0)
        return TWaitResult::wrTimeout;
    // A last close that the end of the wait runs counts the wait.
    FixCallDeadline();
    if (SpinFor(list, index))
        return TWaitResult::wrSignaled;
    // More events than one futex_waitv takes wait on the per-user word.
    bool perUser = list.Count > 1 && (VectorWaits < 0 || list.Count > 128);
    CountIn(list);
    if (perUser)
        __atomic_add_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
    const int64_t deadline = ToNs(MonotonicNow()) + int64_t(timeoutMs) * 1'000'000;
    TWaitResult result = TWaitResult::wrTimeout;
    for (;;) {
        const int64_t now = ToNs(MonotonicNow());
        if (timeoutMs != kWaitInfinite && now >= deadline)
            break;
        int64_t sleep = kWaitSliceNs;
        if (timeoutMs != kWaitInfinite)
            sleep = std::min(sleep, deadline - now);
        const timespec relative = FromNs(sleep);
        if (list.Count == 1) {
            Futex(&list[0].Event()->Sequence, FUTEX_WAIT, list[0].Seen, &relative);
        } else if (perUser) {
            Futex(&wake->Sequence, FUTEX_WAIT, userSequence, &relative);
        } else if (!SleepOnWords(list, now + sleep)) {
            perUser = true;
            __atomic_add_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
        }
        userSequence = ReadSequences(list, *wake);
        if (TakeAny(list, index)) {
            result = TWaitResult::wrSignaled;
            break;
        }
    }
    CountOut(list);
    if (perUser)
        __atomic_sub_fetch(&wake->Waiters, 1, __ATOMIC_SEQ_CST);
    return result;
}

} // namespace sharedobjects_detail
