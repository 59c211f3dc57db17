// The room that a claim of pages may take: what the file system has free,
// or, for one that keeps its pages in memory and tells no size, what the
// system has available. It stands on the base alone.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/sysinfo.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sharedobjects_detail {

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

} // namespace sharedobjects_detail
