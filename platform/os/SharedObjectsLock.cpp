// The bookkeeping lock of an object's file: the file lock that keeps other
// processes out of the steps of opening, growing, listening and closing,
// and, for an object that this process keeps open, the mutex that keeps
// out the process's other threads first; both are tried between pauses
// until a deadline, so that a process stopped while it holds one delays
// the others by that much at most. One deadline serves every lock of a
// call, so that a call that takes several waits that long in all.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

#include <sys/file.h>
#include <unistd.h>

namespace sharedobjects_detail {

Deadline CallDeadline()
{
    if (CurrentCallDeadline != kOutsideACall && CurrentCallDeadline != kNotFixed)
        return CurrentCallDeadline;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBookkeepingMs);
    if (CurrentCallDeadline == kNotFixed)
        CurrentCallDeadline = deadline;
    return deadline;
}

void FixCallDeadline()
{
    if (CurrentCallDeadline == kNotFixed)
        CurrentCallDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBookkeepingMs);
}

namespace {

// Sleeps before the next try of a lock: false where the deadline has passed
// (no more tries), else after a pause that doubles from try to try (pause,
// 200 µs at first) up to 10 ms.
bool PauseBeforeRetry(Deadline deadline, useconds_t& pause)
{
    if (std::chrono::steady_clock::now() >= deadline)
        return false;
    usleep(pause);
    pause = std::min<useconds_t>(pause * 2, 10'000);
    return true;
}

} // namespace

FileLock::FileLock(int fd, Deadline deadline) : FFd(fd)
{
    useconds_t pause = 200;
    do {
        if (flock(FFd, LOCK_EX | LOCK_NB) == 0) {
            FLocked = true;
            return;
        }
    } while ((errno == EWOULDBLOCK || errno == EINTR) && PauseBeforeRetry(deadline, pause));
}

FileLock::~FileLock()
{
    if (FLocked)
        flock(FFd, LOCK_UN);
}

BookkeepingLock::BookkeepingLock(LocalObject& object, Deadline deadline)
    : FThreads(object.Threads, std::defer_lock)
{
    useconds_t pause = 200;
    while (!FThreads.try_lock()) {
        if (!PauseBeforeRetry(deadline, pause))
            return;
    }
    FFile.emplace(object.Fd, deadline);
}

} // namespace sharedobjects_detail
