// How a named mutex is taken and let go: a robust mutex that processes
// share, recursive, whose dead owner's take passes to the next taker as
// abandoned. Its release is inline, in the mutex's part of the internal
// header.
#include "platform/os/SharedObjects_p.h"

#include <cerrno>
#include <cstdint>

#include <pthread.h>
#include <time.h>

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
        r = pthread_mutex_lock(mutex);
    } else if (timeoutMs == 0) {
        r = pthread_mutex_trylock(mutex);
    } else {
        const timespec deadline = MonotonicAfter(timeoutMs);
        r = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
    }
    switch (r) {
    case 0:
        ++object.Holds;
        return TWaitResult::wrSignaled;
    case EOWNERDEAD:
        // Its owner died: where that was a thread of this process, its takes
        // went with it, and this one is the only one the process holds.
        pthread_mutex_consistent(mutex);
        object.Holds = 1;
        return TWaitResult::wrAbandoned;
    case ETIMEDOUT:
    case EBUSY:
        return TWaitResult::wrTimeout;
    default:
        return TWaitResult::wrFailed;
    }
}

} // namespace sharedobjects_detail
