#pragma once
// The made-up users and groups of the tests, from one place: ids that no
// account or group of this machine has, so that a file given to one belongs
// to nobody real, and that are never 65534 or 65535 (nobody, nogroup, and
// the overflow id as which a user namespace shows every id it does not map).
//
// Each test process has a block of kMadeUpSlots ids of its own, drawn from
// its process id once, as it starts (so that a forked child answers as its
// parent), and chosen again further on where a user or group of the machine
// (getpwuid, getgrgid) has any id of the block: binaries that run side by
// side differ. A slot is the same number as user and as group.
#include <functional>
#include <sys/types.h>

constexpr unsigned kMadeUpSlots = 16;

// The id of slot (below kMadeUpSlots) of this process's block.
uid_t MadeUpId(unsigned slot);

// The choice of a block, with the machine's accounts and groups given as
// userExists and groupExists (this process's block is chosen with getpwuid
// and getgrgid): the first id of the block that drawn (a process id) draws,
// or of the next one after it (wrapping round) where neither answers true
// for any id of the block; the drawn one where every block has such an id.
// A block's ids are its first and the kMadeUpSlots - 1 after it.
uid_t ChooseMadeUpBlock(unsigned drawn, const std::function<bool(uid_t)>& userExists,
                        const std::function<bool(gid_t)>& groupExists);

// The slots the support units give out, by their role; tests take theirs
// through the functions that name them (MadeUpSharers, MadeUpSaver ...).
enum TMadeUpSlot : unsigned {
    kProbeLowSlot = 0,                 // the privilege probe's user below every other
    kSharedGroupSlot = 1,              // TSharers: the file's group and its member
    kNamedGroupSlot = 2,               // TSharers: the group an ACL names and its member
    kOutsiderSlot = 3,                 // TSharers: a user of no group
    kSaverSlot = 4,                    // TMadeUpSaver: the saver and its own group
    kSaverMemberSlot = 5,              // TMadeUpSaver: a group it is a member of
    kSaverStrangerSlot = 6,            // TMadeUpSaver: a group it is not in
    kWatcherSlot = 7,                  // the user of a name probe watching a folder
    kOtherUserSlot = 8,                // another user of a single test
    kNamespaceNobodySlot = 9,          // what a rootless namespace's 65534 stands for
    kContainerUserSlot = 10,           // what a rootless namespace's user 1 stands for
    kFirstFreeSlot = 11,               // 11 to 14: a test's own further users
    kProbeHighSlot = kMadeUpSlots - 1, // the probe's user above every other
};
