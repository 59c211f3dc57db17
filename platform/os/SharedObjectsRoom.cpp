// The room that a claim of pages may take: what the file system has free,
// or, for one that keeps its pages in memory and tells no size, what the
// system has available; and, where the file system keeps its pages in
// memory, what the memory cgroups that limit the process have left. It
// stands on the base alone.
#include "platform/os/SharedObjects_p.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/sysinfo.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// A failure of the process itself, which ends a look at its memory cgroups
// with its error; any other failure to read one of their files (ENOENT at a
// level without the memory controller, a file system that is not there)
// only means that the file tells nothing.
bool OwnFailure(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

// Reads fd up to its end, or until size bytes are at text, into length
// (the bytes there already counted): 0, or the system's error.
int ReadUpTo(int fd, char* text, size_t size, size_t& length)
{
    while (length < size) {
        const ssize_t got = read(fd, text + length, size - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        length += size_t(got);
    }
    return 0;
}

// Reads the whole file at path (a file of the kernel's, which tells a few
// KiB) into text: 0, or the system's error. A claim reads a handful of
// such files and parses them where they lie, in as few allocations as it
// can: a child made by fork() in a process whose other threads allocate
// may find a lock of the memory allocator held by a thread it does not
// have (as AddressSanitizer's allocator leaves it), and wait for good.
int ReadWhole(const std::string& path, std::string& text)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    size_t length = 0;
    text.resize(4096);
    int error = 0;
    while ((error = ReadUpTo(fd, text.data(), text.size(), length)) == 0 && length == text.size())
        text.resize(text.size() * 2);
    close(fd);
    text.resize(length);
    return error;
}

// The part of text before the next separator, which text is moved past.
std::string_view Next(std::string_view& text, char separator)
{
    const size_t end = text.find(separator);
    const std::string_view part = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return part;
}

// Whether the list (of words parted by commas) holds word.
bool Holds(std::string_view list, std::string_view word)
{
    while (!list.empty())
        if (Next(list, ',') == word)
            return true;
    return false;
}

// The number of bytes that a file of a memory cgroup tells, into number;
// false where it tells none (cgroup v2's "max").
bool BytesIn(std::string_view text, int64_t& number)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && number >= 0;
}

// The number of bytes that the file at path tells (into told, with bytes
// where it tells one): 0, or the system's error.
int ReadBytes(const std::string& path, bool& told, int64_t& bytes)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    char text[64];
    size_t length = 0;
    const int error = ReadUpTo(fd, text, sizeof(text), length);
    close(fd);
    told = error == 0 && BytesIn(std::string_view(text, length), bytes);
    return error;
}

// The bytes that key names in the text of a memory.stat ("key value" a
// line), 0 where it names none.
int64_t StatBytes(std::string_view stat, std::string_view key)
{
    while (!stat.empty()) {
        std::string_view line = Next(stat, '\n');
        int64_t bytes = 0;
        if (Next(line, ' ') == key)
            return BytesIn(line, bytes) ? bytes : 0;
    }
    return 0;
}

// A field of /proc/self/mountinfo as it is: the kernel writes a space, a
// tab, a line break and a backslash as a backslash and three octal digits.
std::string Unescaped(std::string_view field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        int code = 0;
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::from_chars(field.data() + i + 1, field.data() + i + 4, code, 8).ptr ==
                field.data() + i + 4) {
            text += char(code);
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The folder of this process's group in a hierarchy whose mount is line
// of /proc/self/mountinfo, where it is of that type (cgroup2; or cgroup
// with the memory controller, memoryOption true) and shows the group
// (whose path in the hierarchy /proc/self/cgroup tells): the mount point
// with the group's path below the mount's root. The mount point, into
// top; empty where the line is no such mount.
std::string GroupFolder(std::string_view line, std::string_view type, bool memoryOption,
                        std::string_view group, std::string& top)
{
    const size_t separator = line.find(" - ");
    if (separator == std::string_view::npos)
        return std::string();
    std::string_view mount = line.substr(0, separator);
    std::string_view source = line.substr(separator + 3);
    std::string_view fields[5];
    for (std::string_view& field : fields)
        field = Next(mount, ' ');
    const std::string_view fsType = Next(source, ' ');
    Next(source, ' '); // the source
    const std::string_view options = Next(source, ' ');
    if (fields[4].empty() || fsType != type || (memoryOption && !Holds(options, "memory")))
        return std::string();
    const std::string root = Unescaped(fields[3]);
    std::string_view below;
    if (root == "/")
        below = group == "/" ? std::string_view() : group;
    else if (group.substr(0, root.size()) == root &&
             (group.size() == root.size() || group[root.size()] == '/'))
        below = group.substr(root.size());
    else
        return std::string(); // the group lies outside what this mount shows
    top = Unescaped(fields[4]);
    return top + std::string(below);
}

// Adds the levels of the hierarchy whose folder of this process's group is
// folder, up to top, that limit the memory (at or above unlimited, none)
// to limits. 0, or the process's own failure.
int AddLimitingLevels(std::string folder, const std::string& top, bool unified, int64_t unlimited,
                      MemoryLimits& limits)
{
    for (;;) {
        bool told = false;
        int64_t limit = 0;
        const int error =
            ReadBytes(folder + (unified ? "/memory.max" : "/memory.limit_in_bytes"), told, limit);
        if (OwnFailure(error))
            return error;
        if (told && limit < unlimited)
            limits.Levels.push_back({folder, unified, limit});
        if (folder.size() <= top.size())
            return 0;
        folder.resize(std::max(folder.rfind('/'), top.size()));
    }
}

} // namespace

int MemoryLimitsOn(int fd, MemoryLimits& limits)
{
    limits.Levels.clear();
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return errno;
    if (fs.f_type != TMPFS_MAGIC && fs.f_type != RAMFS_MAGIC && fs.f_blocks > 0)
        return 0;
    std::string text;
    if (const int error = ReadWhole("/proc/self/cgroup", text))
        return OwnFailure(error) ? error : 0;
    // A line "0::<path>" of cgroup v2, and one "<id>:<controllers>:<path>"
    // of the cgroup v1 hierarchy whose controllers include memory.
    std::string unifiedGroup, memoryGroup;
    for (std::string_view groups = text; !groups.empty();) {
        std::string_view line = Next(groups, '\n');
        const std::string_view id = Next(line, ':');
        const std::string_view controllers = Next(line, ':');
        if (line.empty())
            continue;
        if (id == "0" && controllers.empty())
            unifiedGroup = line;
        else if (Holds(controllers, "memory"))
            memoryGroup = line;
    }
    // The memory controller is in one hierarchy at a time: a hierarchy of
    // cgroup v1 where one has it, else cgroup v2's.
    const bool unified = memoryGroup.empty();
    const std::string group = unified ? unifiedGroup : memoryGroup;
    if (group.empty())
        return 0;
    if (const int error = ReadWhole("/proc/self/mountinfo", text))
        return OwnFailure(error) ? error : 0;
    // cgroup v1 tells no limit as the largest count of pages that a long
    // holds, in bytes.
    const int64_t page = std::max<long>(sysconf(_SC_PAGESIZE), 1);
    const int64_t unlimited = kNoLimit / page * page;
    for (std::string_view mounts = text; !mounts.empty();) {
        std::string top;
        const std::string folder =
            GroupFolder(Next(mounts, '\n'), unified ? "cgroup2" : "cgroup", !unified, group, top);
        if (!folder.empty())
            return AddLimitingLevels(folder, top, unified, unlimited, limits);
    }
    return 0;
}

int RoomUnderLimits(const MemoryLimits& limits, int64_t& room)
{
    room = kNoLimit;
    std::string stat;
    for (const MemoryLimits::Level& level : limits.Levels) {
        bool told = false;
        int64_t usage = 0;
        int error = ReadBytes(level.Folder + (level.Unified ? "/memory.current" : "/memory.usage_in_bytes"),
                              told, usage);
        if (OwnFailure(error))
            return error;
        if (!told)
            continue; // a level whose use cannot be read tells nothing
        error = ReadWhole(level.Folder + "/memory.stat", stat);
        if (OwnFailure(error))
            return error;
        // The page cache of files, which the kernel reclaims to make room
        // (the pages of tmpfs and ramfs are not among it); cgroup v1 tells
        // a level with the groups below it as "total_".
        int64_t cache = 0;
        if (error == 0) {
            cache = std::min(StatBytes(stat, level.Unified ? "active_file" : "total_active_file"), usage);
            cache += std::min(StatBytes(stat, level.Unified ? "inactive_file" : "total_inactive_file"),
                              usage - cache);
        }
        room = std::min(room, std::max<int64_t>(level.Limit - usage, 0) + cache);
    }
    return 0;
}

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
