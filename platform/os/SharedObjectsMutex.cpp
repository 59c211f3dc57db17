// How a named mutex is taken and let go: a robust mutex that processes
// share, recursive, whose dead owner's take passes to the next taker as
// abandoned; and whether a live thread of this process owns it, which the
// mutex's own word tells. Its release is inline, in the mutex's part of the
// internal header.
#include "platform/os/SharedObjects_p.h"

#include <cerrno>
#include <cstdint>

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// The monotonic clock's time timeoutMs from now, as a timed take waits for it.
timespec MonotonicAfter(uint32_t timeoutMs)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t ns = int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec + int64_t(timeoutMs) * 1'000'000;
    timespec deadline{};
    deadline.tv_sec = time_t(ns / 1'000'000'000);
    deadline.tv_nsec = long(ns % 1'000'000'000);
    return deadline;
}

} // namespace

TWaitResult WaitMutex(LocalObject& object, uint32_t timeoutMs)
{
    auto* mutex = reinterpret_cast<pthread_mutex_t*>(object.Data());
    int r;
    if (timeoutMs == kWaitInfinite) {
        // It ends holding the mutex, so no last close falls to its end: it
        // fails only at once, or on a mutex left unrecoverable, which no
        // process of this unit leaves (a take that finds the owner dead
        // makes the mutex consistent again).
        r = pthread_mutex_lock(mutex);
    } else if (timeoutMs == 0) {
        r = pthread_mutex_trylock(mutex);
    } else {
        // A last close that the end of the wait runs counts the wait.
        FixCallDeadline();
        const timespec deadline = MonotonicAfter(timeoutMs);
        r = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
    }
    switch (r) {
    case 0:
        return TWaitResult::wrSignaled;
    case EOWNERDEAD:
        // Its owner died, and its takes went with it: this one is the only
        // one the new owner holds.
        pthread_mutex_consistent(mutex);
        return TWaitResult::wrAbandoned;
    case ETIMEDOUT:
    case EBUSY:
        return TWaitResult::wrTimeout;
    default:
        return TWaitResult::wrFailed;
    }
}

bool OwnedHere(const LocalObject& object)
{
    // The word of a robust mutex holds its owner's thread id, which the
    // kernel takes away as that thread ends (it marks the owner dead): an id
    // there is a live thread's, of this process or another.
    const auto* mutex = reinterpret_cast<const pthread_mutex_t*>(object.Data());
    const pid_t owner = pid_t(__atomic_load_n(&mutex->__data.__lock, __ATOMIC_SEQ_CST) & FUTEX_TID_MASK);
    if (owner == 0)
        return false;
    // A thread of that id in this process answers the null signal. Where
    // the kernel does not tell (it answers no ESRCH), or a thread here has
    // the id that another process's owner has in its own namespace, the
    // mutex is taken for owned here: kept mapped by mistake, it only stays
    // until the process ends.
    return syscall(SYS_tgkill, ThisProcess(), owner, 0) == 0 || errno != ESRCH;
}

} // namespace sharedobjects_detail
