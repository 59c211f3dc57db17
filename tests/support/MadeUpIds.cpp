#include "tests/support/MadeUpIds.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// Far above the 16-bit ids, where accounts, nobody and the overflow ids lie.
constexpr uid_t kFirstId = 3000000;
constexpr unsigned kBlocks = 100000;

bool BlockFree(uid_t first)
{
    for (unsigned slot = 0; slot < kMadeUpSlots; ++slot)
        if (::getpwuid(first + slot) || ::getgrgid(gid_t(first + slot)))
            return false;
    return true;
}

uid_t ChooseBlock()
{
    const unsigned drawn = unsigned(::getpid()) % kBlocks;
    for (unsigned step = 0; step < kBlocks; ++step) {
        const uid_t first = kFirstId + uid_t((drawn + step) % kBlocks) * kMadeUpSlots;
        if (BlockFree(first))
            return first;
    }
    return kFirstId + uid_t(drawn) * kMadeUpSlots;
}

// Chosen as the binary starts, before any test forks.
const uid_t kBlock = ChooseBlock();

} // namespace

uid_t MadeUpId(unsigned slot)
{
    return kBlock + uid_t(slot % kMadeUpSlots);
}
