#include "tests/support/MadeUpIds.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// Far above the 16-bit ids, where accounts, nobody and the overflow ids lie.
constexpr uid_t kFirstId = 3000000;
constexpr unsigned kBlocks = 100000;

bool BlockFree(uid_t first, const std::function<bool(uid_t)>& userExists,
               const std::function<bool(gid_t)>& groupExists)
{
    for (unsigned slot = 0; slot < kMadeUpSlots; ++slot)
        if (userExists(first + slot) || groupExists(gid_t(first + slot)))
            return false;
    return true;
}

} // namespace

uid_t ChooseMadeUpBlock(unsigned drawn, const std::function<bool(uid_t)>& userExists,
                        const std::function<bool(gid_t)>& groupExists)
{
    drawn %= kBlocks;
    for (unsigned step = 0; step < kBlocks; ++step) {
        const uid_t first = kFirstId + uid_t((drawn + step) % kBlocks) * kMadeUpSlots;
        if (BlockFree(first, userExists, groupExists))
            return first;
    }
    return kFirstId + uid_t(drawn) * kMadeUpSlots;
}

namespace {

// Chosen as the binary starts, before any test forks.
const uid_t kBlock = ChooseMadeUpBlock(
    unsigned(::getpid()), [](uid_t id) { return ::getpwuid(id) != nullptr; },
    [](gid_t id) { return ::getgrgid(id) != nullptr; });

} // namespace

uid_t MadeUpId(unsigned slot)
{
    return kBlock + uid_t(slot % kMadeUpSlots);
}
