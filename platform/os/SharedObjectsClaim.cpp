// The claim of every page of a part of an object's file before anyone can
// write into it: fallocate where the file system has it, else zeros
// written, once the file system (or, for one that keeps its pages in
// memory, the system) is known to have room for them; and the file size
// limit kept to before any of it. It stands on the base alone.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// The bytes that a claim by writing zeros may still take on the file
// system of fd, into room: what statfs tells is free for a user's files,
// where the file system reports its size; where it reports none (ramfs,
// whose pages stay in memory, are never swapped out and are counted against
// no size), the memory that the system reports available: MemAvailable of
// /proc/meminfo, what the kernel can give without swapping (free pages and
// the caches it can reclaim), which is what the written pages would be taken
// from; without /proc, the free and buffer memory that sysinfo tells. 0, or
// the system's error.
int RoomForZeros(int fd, int64_t& room)
{
    constexpr uint64_t kMost = uint64_t(std::numeric_limits<int64_t>::max());
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return errno;
    if (fs.f_blocks > 0) {
        const uint64_t blocks = uint64_t(fs.f_bavail);
        const uint64_t size = uint64_t(fs.f_bsize);
        room = int64_t(size > 0 && blocks > kMost / size ? kMost : blocks * size);
        return 0;
    }
    if (const int meminfo = open("/proc/meminfo", O_RDONLY | O_CLOEXEC); meminfo >= 0) {
        char text[4096];
        const ssize_t length = read(meminfo, text, sizeof(text) - 1);
        close(meminfo);
        text[std::max<ssize_t>(length, 0)] = 0;
        const char* line = std::strstr(text, "\nMemAvailable:");
        unsigned long long kib = 0;
        if (line && std::sscanf(line + 14, "%llu", &kib) == 1) {
            room = int64_t(std::min<uint64_t>(kib, kMost / 1024) * 1024);
            return 0;
        }
    }
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return errno;
    const uint64_t unit = std::max(info.mem_unit, 1u);
    room = int64_t(std::min<uint64_t>(uint64_t(info.freeram) + info.bufferram, kMost / unit) * unit);
    return 0;
}

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
// them (ENOSPC before a byte is written where it has not). A size past the
// file size limit fails with EFBIG before anything is claimed. 0, or the
// system's error; the file may have grown part of the way.
int ClaimPages(int fd, int64_t from, int64_t to)
{
    if (const int limited = PastFileSizeLimit(to))
        return limited;
    for (;;) {
        if (fallocate(fd, 0, off_t(from), off_t(to - from)) == 0)
            return 0;
        if (errno == EOPNOTSUPP)
            break;
        if (errno != EINTR)
            return errno;
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
