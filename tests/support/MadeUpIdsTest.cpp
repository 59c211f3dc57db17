// The made-up ids: none is an account's or a group's of this machine, nor
// one of the overflow ids, and each slot has its own; the choice of a block
// steers round the accounts and groups a machine has.
#include "tests/support/MadeUpIds.h"

#include "tests/support/ChildProcess.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <iterator>
#include <pwd.h>
#include <set>

namespace {

// The ids of this process's slots, in slot order.
QString SlotIds()
{
    QStringList ids;
    for (unsigned slot = 0; slot < kMadeUpSlots; ++slot)
        ids << QString::number(MadeUpId(slot));
    return ids.join(' ');
}

} // namespace

// Every slot of this binary's block is an id that no user or group of the
// machine has, neither 65534 nor 65535, and no other slot's; a forked child
// has the same ids, as the files its parent made for them need.
TEST(MadeUpIds, EachSlotIsAnIdOfItsOwnThatNobodyOnTheMachineHas)
{
    std::set<uid_t> ids;
    for (unsigned slot = 0; slot < kMadeUpSlots; ++slot) {
        const uid_t id = MadeUpId(slot);
        SCOPED_TRACE("slot " + std::to_string(slot) + ": " + std::to_string(id));
        EXPECT_NE(id, 65534u);
        EXPECT_NE(id, 65535u);
        EXPECT_EQ(::getpwuid(id), nullptr);
        EXPECT_EQ(::getgrgid(gid_t(id)), nullptr);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), size_t(kMadeUpSlots));
    EXPECT_EQ(RunInChild([] { return QString(); }, SlotIds).toStdString(), SlotIds().toStdString());
}

// Machines whose accounts and groups take ids in or around the block that a
// process draws: the block chosen holds none of them and neither overflow
// id. Where every block holds one (a machine whose groups take every id but
// those about the overflow ids), the block given still holds neither
// overflow id. Process ids that differ draw blocks that do not overlap.
TEST(MadeUpIds, TheBlockChosenStepsRoundTheMachinesAccountsAndGroups)
{
    constexpr unsigned kDrawn = 12345;
    // Whether the id is taken, given the first id of the block drawn where
    // nothing is.
    using TTaken = std::function<bool(uid_t drawnBlock, uid_t id)>;
    const TTaken none = [](uid_t, uid_t) { return false; };
    const auto within = [](long long from, long long to) {
        return [=](uid_t drawnBlock, uid_t id) {
            return (long long)id >= drawnBlock + from && (long long)id <= drawnBlock + to;
        };
    };
    const auto allBut = [](uid_t from, uid_t to) {
        return [=](uid_t, uid_t id) { return id < from || id > to; };
    };
    struct TCase {
        const char* Name;
        TTaken User;
        TTaken Group;
        bool SomeBlockFree;
    };
    const TCase cases[] = {
        {"a user at the drawn block's first id", within(0, 0), none, true},
        {"a group at the drawn block's last id", none, within(kMadeUpSlots - 1, kMadeUpSlots - 1), true},
        {"users of every id from the drawn block up", within(0, 1LL << 32), none, true},
        {"groups of every id but those about the overflow ids", none,
         allBut(65534 - kMadeUpSlots + 1, 65535 + kMadeUpSlots - 1), false},
    };
    const auto nothing = [](auto) { return false; };
    const uid_t drawnBlock = ChooseMadeUpBlock(kDrawn, nothing, nothing);
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const uid_t first = ChooseMadeUpBlock(
            kDrawn, [&](uid_t id) { return row.User(drawnBlock, id); },
            [&](gid_t id) { return row.Group(drawnBlock, uid_t(id)); });
        for (uid_t id = first; id < first + kMadeUpSlots; ++id) {
            SCOPED_TRACE(id);
            EXPECT_NE(id, 65534u);
            EXPECT_NE(id, 65535u);
            if (row.SomeBlockFree) {
                EXPECT_FALSE(row.User(drawnBlock, id));
                EXPECT_FALSE(row.Group(drawnBlock, id));
            }
        }
    }
    std::set<uid_t> firsts;
    for (unsigned drawn = 0; drawn < 64; ++drawn)
        firsts.insert(ChooseMadeUpBlock(drawn, nothing, nothing));
    ASSERT_EQ(firsts.size(), 64u);
    for (auto it = firsts.begin(); std::next(it) != firsts.end(); ++it)
        EXPECT_GE(*std::next(it) - *it, kMadeUpSlots) << *it << " and " << *std::next(it) << " overlap";
}
