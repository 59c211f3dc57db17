#pragma once
// How many descriptors this process has open: for the tests that show a
// step leaves none behind. Counted by asking the system about each number
// below the process's limit, so that it also counts where /proc is hidden.
#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

inline int OpenDescriptorCount()
{
    rlimit limit{};
    const rlim_t bound =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 1024;
    int count = 0;
    for (int handle = 0; rlim_t(handle) < bound; ++handle)
        if (::fcntl(handle, F_GETFD) != -1)
            ++count;
    return count;
}

// The lowest descriptor number this process has free, in two system calls:
// for a step followed at each system call, where counting them all would
// add a thousand. A descriptor a step leaves open takes this number.
inline int LowestFreeDescriptor()
{
    const int handle = ::fcntl(0, F_DUPFD, 0);
    if (handle >= 0)
        ::close(handle);
    return handle;
}
