// The claim of every page of a part of an object's file before anyone can
// write into it: fallocate where the file system has it, else zeros
// written, once the room has been found for them; and the file size limit
// kept to before any of it. It stands on the base, the lock and the room.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// EFBIG where a file of size bytes would pass this process's file size
// limit (RLIMIT_FSIZE), else 0. A write or a fallocate past it would not
// only fail: the kernel sends the process SIGXFSZ, which ends it unless it
// ignores the signal, and which, sent to the process, any of its threads
// that does not block it takes; so the limit is kept to before any of them.
int PastFileSizeLimit(int64_t size)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return uint64_t(size) > uint64_t(limit.rlim_cur) ? EFBIG : 0;
}

// The turn of a claim whose room is counted, among the claims of the
// processes and threads that use one folder: the folder locked (flock)
// through a description of it that the claim opens for itself. A
// description of its own keeps out the process's other threads as well as
// the other processes, where a lock of the folder's descriptor, which the
// threads and a child made by fork() share, would let them all in at once;
// so the turn needs no mutex of the process before it. The kernel drops
// the lock with its holder, and it is waited for within the one bound of
// the call, as the bookkeeping lock of an object's file is; a claim waits
// for it holding the bookkeeping lock of its own object alone, which no
// other claim needs.
class ClaimTurn {
public:
    ClaimTurn() = default;
    ~ClaimTurn()
    {
        FLock.reset(); // let go before its description is closed
        if (FFd >= 0)
            close(FFd);
    }
    ClaimTurn(const ClaimTurn&) = delete;
    ClaimTurn& operator=(const ClaimTurn&) = delete;
    // Takes the turn in folder: 0, or the system's error (ETIMEDOUT where
    // another claim kept it past the bound).
    int Take(int folder)
    {
        FFd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (FFd < 0)
            return errno;
        FLock.emplace(FFd, CallDeadline());
        return FLock->Locked() ? 0 : ETIMEDOUT;
    }
    bool Taken() const { return FLock && FLock->Locked(); }

private:
    int FFd = -1;
    std::optional<FileLock> FLock;
};

} // namespace

// Claims every page of the file of fd from byte from (its size, which no
// other process can reach beyond) up to byte to, growing it to that size,
// so that a full file system answers now (ENOSPC, EDQUOT) rather than with
// SIGBUS at the first write into a page it cannot give. fallocate itself,
// not the C library's posix_fallocate: where the file system lacks it, that
// one reads every block of the range and writes a zero where it read one,
// over bytes that another process may write meanwhile. Here the range lies
// past the file's end, so where the file system lacks it, zeros are written
// into that range alone, once the file system is known to have room for
// them (ENOSPC before a byte is written where it has not). Where the file
// system keeps its pages in memory, a part larger than the room that the
// memory cgroups of the process have left fails with ENOSPC before
// anything is claimed, and so does a size past the file size limit with
// EFBIG. Claims whose room is counted, by zeros or under a memory cgroup's
// limit, take their turns in folder. 0, or the system's error; the file
// may have grown part of the way.
int ClaimPages(int folder, int fd, int64_t from, int64_t to)
{
    if (const int limited = PastFileSizeLimit(to))
        return limited;
    // Where the file system keeps its pages in memory, each page claimed,
    // by fallocate (tmpfs) as by zeros (ramfs), is charged to the memory
    // cgroups of the process: past the room they have left, the kernel's
    // out-of-memory killer ends a process of the group, as a rule this one,
    // part of the way through the claim. So a part larger than that room is
    // refused before anything is claimed.
    MemoryLimits limits;
    if (const int unknown = MemoryLimitsOn(fd, limits))
        return unknown;
    // A claim whose room is counted takes its turn first: the room it finds
    // then counts the pages of the claims before it, where two at once each
    // found room for itself alone and together took more than there was.
    ClaimTurn turn;
    if (!limits.Levels.empty()) {
        if (const int waited = turn.Take(folder))
            return waited;
        int64_t room = 0;
        if (const int unknown = RoomUnderLimits(limits, room))
            return unknown;
        if (to - from > room)
            return ENOSPC;
    }
    for (;;) {
        if (fallocate(fd, 0, off_t(from), off_t(to - from)) == 0)
            return 0;
        if (errno == EOPNOTSUPP)
            break;
        if (errno != EINTR)
            return errno;
    }
    if (!turn.Taken()) {
        if (const int waited = turn.Take(folder))
            return waited;
    }
    int64_t room = 0;
    if (const int unknown = RoomForZeros(fd, room))
        return unknown;
    if (to - from > room)
        return ENOSPC;
    static const char zeros[65536] = {};
    for (int64_t at = from; at < to;) {
        const ssize_t written =
            pwrite(fd, zeros, size_t(std::min<int64_t>(to - at, sizeof(zeros))), off_t(at));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        at += written;
    }
    return 0;
}

} // namespace sharedobjects_detail
