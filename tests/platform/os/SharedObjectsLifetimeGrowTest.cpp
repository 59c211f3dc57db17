// The grow of named memory blocks and the room they claim: a grown block
// serves later openers and leaves earlier views as they were; how a grow
// claims its pages, what a refused grow leaves for later openers, the sizes
// a block's file cannot have, and the claim's retry after a signal.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Privileges.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <utility>

#include <csignal>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsLifetimeTest, GrowingABlockServesLaterOpenersAndLeavesEarlierViews)
{
    const QString name = Unique("grow");
    const TSharedHandle first = OpenNamedMemory(name, 100);
    auto* small = static_cast<char*>(MapNamedMemory(first));
    ASSERT_NE(small, nullptr);
    std::memcpy(small, "kept", 4);
    // Mapped here: its address would move, so it is not grown.
    EXPECT_FALSE(GrowNamedMemory(first, 5000));

    // A child that did not map it grows it; this process keeps its view of
    // 100 bytes, and a new opener in the child gets the 5000.
    const pid_t child = fork();
    if (child == 0) {
        const TSharedHandle again = OpenNamedMemory(name, 0);
        bool ok = GrowNamedMemory(again, 5000) && NamedMemorySize(again) == 5000;
        auto* big = static_cast<char*>(MapNamedMemory(again));
        ok = ok && big && std::memcmp(big, "kept", 4) == 0;
        if (big)
            big[4999] = 'z';
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(NamedMemorySize(first), 100);
    UnmapNamedMemory(small);
    CloseNamedObject(first);
}

// The head before a block's data in its file.
constexpr int64_t kHead = 64;
constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();

// The file of this user's block name in the folder this process uses.
QByteArray BlockFile(const QString& name)
{
    return ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), "M-" + name.toUtf8());
}

// The size of the file at path; -1 where there is none.
int64_t FileSize(const QByteArray& path)
{
    struct stat st {};
    return stat(path.constData(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// The size that a new opener of the block name in another process (a
// forked child, which shares this process's folder) maps: the block as
// every later opener finds it.
QString SizeOfANewOpener(const QString& name)
{
    return RunInChild([] { return QString(); },
                      [&] {
                          const TSharedHandle memory = OpenNamedMemory(name, 0);
                          const int64_t size = NamedMemorySize(memory);
                          CloseNamedObject(memory);
                          return QString::number(size);
                      });
}

// An error's code as its name, for texts that read at a glance.
QString CodeName(int error)
{
    switch (error) {
    case EINVAL:
        return QStringLiteral("EINVAL");
    case EFBIG:
        return QStringLiteral("EFBIG");
    case ENOSPC:
        return QStringLiteral("ENOSPC");
    case ENOMEM:
        return QStringLiteral("ENOMEM");
    case EBUSY:
        return QStringLiteral("EBUSY");
    case EINTR:
        return QStringLiteral("EINTR");
    default:
        return QString::number(error);
    }
}

// An error as a test compares it: its code, and whether its message names
// the file at path.
QString Named(const EOSError& error, const QByteArray& path)
{
    return CodeName(error.ErrorCode) + (error.Message().contains(QString::fromLocal8Bit(path))
                                            ? QStringLiteral(" naming the block")
                                            : QStringLiteral(": ") + error.Message());
}

// Waits until word holds value: false where it does not within 20 s (the
// other process died or hangs). Yields, so that the other process runs on a
// machine of one CPU.
bool WaitFor(const std::atomic<int>& word, int value)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (word.load() != value) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        sched_yield();
    }
    return true;
}

// The two processes of a race between a grow and another process's writes,
// in memory that both share.
struct TRace {
    std::atomic<int> Made{-1};    // the grower made the block of this round
    std::atomic<int> Mapped{-1};  // the writer mapped it
    std::atomic<int> Go{-1};      // the grower starts its grow
    std::atomic<int> Grown{-1};   // the grow ended
    std::atomic<int> Checked{-1}; // the writer looked at its bytes
    std::atomic<int> LostRounds{0};
    std::atomic<int> LostWrites{0};
};

constexpr int64_t kPage = 4096;
constexpr int64_t kRaceBlock = 256 * 1024;
constexpr int64_t kRaceGrown = 1024 * 1024;
constexpr int64_t kRacePages = kRaceBlock / kPage;

// The writer of a race: in each round, maps the block the grower made and,
// from the grow's start to its end, writes a byte into each of its pages
// again and again, by turns 0 and another value, looking first each time
// whether the byte still holds what it wrote there last: a byte that
// changed was written by someone else, a write of its own lost. The zeros
// let a grower that reads a byte before it writes it back find one there.
// The byte is the last of each page: the byte that the C library's
// emulation of posix_fallocate reads and writes back, block by block from
// the file's start, behind the 64-byte head.
void WriteAllThroughTheGrows(TRace& race, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        if (!WaitFor(race.Made, round))
            _exit(2);
        const TSharedHandle memory = OpenNamedMemory(QStringLiteral("race-%1").arg(round), 0);
        auto* bytes = static_cast<volatile char*>(MapNamedMemory(memory));
        if (!bytes)
            _exit(3);
        const auto at = [&](int64_t page) -> volatile char&
        {
            return bytes[page * kPage + kPage - 1];
        };
        // Each page mapped before the race, so that the writes in it are
        // not slowed by the first touch.
        char last[kRacePages] = {};
        for (int64_t page = 0; page < kRacePages; ++page)
            at(page) = 0;
        race.Mapped = round;
        if (!WaitFor(race.Go, round))
            _exit(4);
        const char value = char(1 + round % 127);
        int lost = 0;
        const auto pass = [&](bool write) {
            for (int64_t page = 0; page < kRacePages; ++page) {
                if (at(page) != last[page]) {
                    ++lost;
                    last[page] = at(page);
                }
                if (write)
                    at(page) = last[page] = last[page] == 0 ? value : 0;
            }
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (race.Grown.load() != round) {
            if (std::chrono::steady_clock::now() > deadline)
                _exit(5);
            pass(true);
        }
        pass(false);
        if (lost > 0) {
            ++race.LostRounds;
            race.LostWrites += lost;
        }
        UnmapNamedMemory(const_cast<char*>(bytes));
        CloseNamedObject(memory);
        race.Checked = round;
    }
    _exit(0);
}

// A grow on a file system without fallocate (ramfs, as some FUSE and
// network file systems) claims the pages it adds by writing zeros, and only
// there: never where another process may have written. Another process
// writes into every page of a 256 KiB block while it grows to 1 MiB; no
// write may be lost, in any round. The C library's posix_fallocate over the
// whole file, which reads each block and writes back a zero where it read
// one, loses the writes that land between its read and its write: in most
// rounds where the two processes run at once. The correct grow never writes
// below the old size, so no timing makes it lose a write.
TEST_F(SharedObjectsLifetimeTest, AGrowOnAFileSystemWithoutFallocateLosesNoWriteOfAnotherProcess)
{
    if (Withheld(RamfsWithheld))
        return;
    constexpr int kRounds = 300;
    const QString answer = RunOnRamfs(MadeUpUid(1), [] {
        auto* race = static_cast<TRace*>(
            mmap(nullptr, sizeof(TRace), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        if (race == MAP_FAILED)
            return QStringLiteral("no shared memory");
        new (race) TRace;
        const pid_t writer = fork();
        if (writer < 0)
            return QStringLiteral("no writer: ") + qt_error_string(errno);
        if (writer == 0)
            WriteAllThroughTheGrows(*race, kRounds);
        QString failed;
        for (int round = 0; round < kRounds && failed.isEmpty(); ++round) {
            const TSharedHandle memory = OpenNamedMemory(QStringLiteral("race-%1").arg(round), kRaceBlock);
            race->Made = round;
            if (!WaitFor(race->Mapped, round)) {
                failed = QStringLiteral("the writer did not map round %1").arg(round);
                break;
            }
            race->Go = round;
            if (!GrowNamedMemory(memory, kRaceGrown))
                failed = QStringLiteral("round %1: ").arg(round) + LastSharedObjectError().Message();
            race->Grown = round;
            if (!WaitFor(race->Checked, round) && failed.isEmpty())
                failed = QStringLiteral("the writer did not check round %1").arg(round);
            CloseNamedObject(memory);
        }
        if (!failed.isEmpty())
            kill(writer, SIGKILL);
        int status = 0;
        waitpid(writer, &status, 0);
        if (failed.isEmpty() && status != 0)
            failed = QStringLiteral("the writer ended with %1").arg(status);
        return !failed.isEmpty() ? failed
                                 : QStringLiteral("writes lost in %1 of %2 rounds (%3 writes)")
                                       .arg(race->LostRounds.load())
                                       .arg(kRounds)
                                       .arg(race->LostWrites.load());
    });
    EXPECT_EQ(answer.toStdString(),
              QStringLiteral("writes lost in 0 of %1 rounds (0 writes)").arg(kRounds).toStdString());
}

// What the probe of the growing step maps: a view of this block, taken on
// the step between the grow's claim and its mapping, as another thread of
// the process may take it.
TSharedHandle ViewedAtGrowing = 0;
void* ViewTaken = nullptr;

void MapAtGrowing(TSharedStep step)
{
    if (step == TSharedStep::Growing && ViewedAtGrowing)
        ViewTaken = MapNamedMemory(std::exchange(ViewedAtGrowing, 0));
}

// A block mapped in this process is not grown, as its views would move:
// EBUSY naming the block (not EINVAL, which says the call was wrong), both
// where it was mapped before the grow and where a view was taken while the
// grow claimed its pages. The latter's claim had made the file larger: it is
// put back, so that the file keeps its old size (64 bytes of head and the
// data) and a new opener in another process maps the block at its old size;
// without that, every later opener would map the block at the refused size.
TEST_F(SharedObjectsLifetimeTest, AGrowOfABlockMappedInThisProcessIsRefusedAsBusyAndLeavesItAsItWas)
{
    const QString name = Unique("room-mapped");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    const QByteArray file = BlockFile(name);
    const auto closed = qScopeGuard([&] { CloseNamedObject(memory); });

    void* before = MapNamedMemory(memory);
    ASSERT_NE(before, nullptr);
    EXPECT_FALSE(GrowNamedMemory(memory, 1024 * 1024));
    EXPECT_EQ(Named(LastSharedObjectError(), file).toStdString(), "EBUSY naming the block");
    EXPECT_EQ(FileSize(file), kHead + 4096);
    UnmapNamedMemory(before);

    ViewedAtGrowing = memory;
    ViewTaken = nullptr;
    SetSharedObjectsProbe(&MapAtGrowing);
    const auto unprobed = qScopeGuard([] { SetSharedObjectsProbe(nullptr); });
    EXPECT_FALSE(GrowNamedMemory(memory, 1024 * 1024));
    SetSharedObjectsProbe(nullptr);
    ASSERT_NE(ViewTaken, nullptr) << "the probe did not map the block at the growing step";
    EXPECT_EQ(Named(LastSharedObjectError(), file).toStdString(), "EBUSY naming the block");
    EXPECT_EQ(FileSize(file), kHead + 4096);
    EXPECT_EQ(SizeOfANewOpener(name).toStdString(), "4096");
    EXPECT_EQ(NamedMemorySize(memory), 4096);
    UnmapNamedMemory(ViewTaken);
}

// A grow whose mapping the system refuses (ENOMEM, which a tracer makes the
// grow's mmap answer) fails with that error naming the block, and leaves
// the file at its old size: 64 bytes of head and the 4096 of data, as the
// grower sees it and as a new opener in another process (this one, while
// the grower waits) maps it. Without the grow's undoing, the claim's
// larger file would be every later opener's block.
TEST_F(SharedObjectsLifetimeTest, AGrowWhoseMappingIsRefusedLeavesTheBlockAsItWas)
{
    if (Withheld(TracingWithheld))
        return;
    const QString name = Unique("room-nomap");
    const QByteArray file = BlockFile(name);
    constexpr int64_t kGrown = 1024 * 1024;
    TTracedChild grower([&] {
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        if (GrowNamedMemory(memory, kGrown))
            _exit(2);
        if (Named(LastSharedObjectError(), file) != "ENOMEM naming the block")
            _exit(3);
        if (FileSize(file) != kHead + 4096 || NamedMemorySize(memory) != 4096)
            _exit(4);
        getppid(); // where the test opens the block
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(grower.Refused().isEmpty()) << grower.Refused().toStdString();
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_mmap && int64_t(call.Argument(1)) == kHead + kGrown;
    })) << "the grow made no mapping of its new size";
    if (!grower.FailCall(ENOMEM))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }))
        << "the grower ended with " << grower.Finish();
    EXPECT_EQ(FileSize(file), kHead + 4096);
    const TSharedHandle opened = OpenNamedMemory(name, 0);
    EXPECT_EQ(NamedMemorySize(opened), 4096);
    CloseNamedObject(opened);
    EXPECT_EQ(grower.Finish(), 0);
}

// A grow whose claim fails part of the way: on a file system without
// fallocate the claim writes zeros, which a file size limit of 64 KiB
// (standing in for a disk that fills) stops after the file reached the
// limit. The grow fails with the claim's own error, EFBIG (not ENOSPC, which
// would tell of a full disk that is not), naming the block, and the file is
// put back at its old size, 64 bytes of head and 4096 of data, for the
// grower and a new opener in another process; without that, the file stays
// at the limit and every later opener maps a block that was never grown.
TEST_F(SharedObjectsLifetimeTest, AGrowWhoseClaimFailsPartOfTheWayReportsItsErrorAndLeavesTheBlockAsItWas)
{
    if (Withheld(RamfsWithheld))
        return;
    const QString answer = RunOnRamfs(MadeUpUid(1), [] {
        const QString name = QStringLiteral("limited");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        const QByteArray file = BlockFile(name);
        const QString grown = RunWithFileSizeLimit(64 * 1024, [&] {
            const TSharedHandle again = OpenNamedMemory(name, 0);
            if (GrowNamedMemory(again, 1024 * 1024))
                return QStringLiteral("grown");
            return Named(LastSharedObjectError(), file);
        });
        const QString answered = QStringLiteral("%1; file of %2 bytes; a new opener maps %3")
                                     .arg(grown)
                                     .arg(FileSize(file))
                                     .arg(SizeOfANewOpener(name));
        CloseNamedObject(memory);
        return answered;
    });
    EXPECT_EQ(answer.toStdString(),
              QStringLiteral("EFBIG naming the block; file of %1 bytes; a new opener maps 4096")
                  .arg(kHead + 4096)
                  .toStdString());
}

// Sizes whose file, with the block's 64-byte head, would pass the largest
// size a file (an off_t, int64_t) can have: INT64_MAX and INT64_MAX - 63
// are refused with EINVAL, by the grow and by a create, with a message
// naming the block's file and the size asked; unnamed blocks are refused
// with EINVAL as well. Unchecked, the sum wraps round: a grow to INT64_MAX
// "succeeded" without growing anything, and a create asked the system for a
// negative size. INT64_MAX - 64 fits (a file of INT64_MAX bytes): it is not
// refused as a size but goes to the claim, which fails with the system's
// error, EFBIG under the file size limit of 1 MiB set here, naming the
// block; the block's file stays as it was, and the create leaves none.
TEST_F(SharedObjectsLifetimeTest, SizesPastTheLargestFileAreRefusedNamingTheBlock)
{
    const QString answer = RunWithFileSizeLimit(1024 * 1024, [] {
        QStringList seen;
        const QString name = Unique("room-top");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        const QByteArray file = BlockFile(name);
        for (const int64_t size : {kLargest, kLargest - 63, kLargest - 64}) {
            const bool grown = GrowNamedMemory(memory, size);
            const EOSError error = LastSharedObjectError();
            const bool sized = !grown && error.Message().contains(QString::number(size));
            seen << QStringLiteral("grow to %1: %2%3, file of %4 bytes")
                        .arg(kLargest - size)
                        .arg(grown ? QStringLiteral("grown") : Named(error, file))
                        .arg(sized ? QStringLiteral(" and the size") : QString())
                        .arg(FileSize(file));
        }
        CloseNamedObject(memory);
        for (const int64_t size : {kLargest, kLargest - 63, kLargest - 64}) {
            const QString made = Unique("room-top-made");
            QString outcome;
            try {
                CloseNamedObject(OpenNamedMemory(made, size));
                outcome = QStringLiteral("made");
            } catch (const EOSError& error) {
                outcome = Named(error, BlockFile(made)) + (error.Message().contains(QString::number(size))
                                                               ? QStringLiteral(" and the size")
                                                               : QString());
            }
            seen << QStringLiteral("create of %1: %2, %3")
                        .arg(kLargest - size)
                        .arg(outcome)
                        .arg(FileSize(BlockFile(made)) < 0 ? QStringLiteral("no file")
                                                           : QStringLiteral("a file left"));
        }
        for (const int64_t size : {kLargest, kLargest - 63}) {
            QString outcome;
            try {
                CloseNamedObject(OpenNamedMemory(QString(), size));
                outcome = QStringLiteral("made");
            } catch (const EOSError& error) {
                outcome = CodeName(error.ErrorCode);
            }
            seen << QStringLiteral("unnamed of %1: %2").arg(kLargest - size).arg(outcome);
        }
        return seen.join('\n');
    });
    // The sizes are told as their distance below INT64_MAX.
    const QString file = QStringLiteral("file of %1 bytes").arg(kHead + 4096);
    const QStringList expected = {
        "grow to 0: EINVAL naming the block and the size, " + file,
        "grow to 63: EINVAL naming the block and the size, " + file,
        "grow to 64: EFBIG naming the block, " + file,
        "create of 0: EINVAL naming the block and the size, no file",
        "create of 63: EINVAL naming the block and the size, no file",
        "create of 64: EFBIG naming the block, no file",
        "unnamed of 0: EINVAL",
        "unnamed of 63: EINVAL",
    };
    EXPECT_EQ(answer.toStdString(), expected.join('\n').toStdString());
}

// Runs a create of a 4096-byte block in a traced child (after prepare, which
// answers an empty text or why it failed), answers EINTR to the first call
// of the claim that matches (a signal interrupting it), and expects that
// call made again and the create to succeed with a block of its size.
void ExpectAnInterruptedClaimMadeAgain(const std::function<QString()>& prepare, const QString& name,
                                       const std::function<bool(const TTracedChild&)>& claim)
{
    TTracedChild creator([&] {
        if (!prepare().isEmpty())
            _exit(3);
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        auto* bytes = static_cast<char*>(MapNamedMemory(memory));
        if (!bytes || NamedMemorySize(memory) != 4096)
            _exit(2);
        bytes[4095] = 'x';
        UnmapNamedMemory(bytes);
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(creator.Refused().isEmpty()) << creator.Refused().toStdString();
    ASSERT_TRUE(creator.RunTo(claim)) << "the create made no claim of its file";
    if (!creator.FailCall(EINTR))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    EXPECT_TRUE(creator.RunTo(claim)) << "the claim was not made again";
    EXPECT_EQ(creator.Finish(), 0);
}

// A signal that arrives during a create's claim interrupts its fallocate:
// the claim is made again, and the create succeeds. Without the retry a
// signal handler elsewhere in the program (a timer, a child's end) would
// fail the create for nothing.
TEST_F(SharedObjectsLifetimeTest, AnInterruptedClaimOfACreateIsMadeAgain)
{
    if (Withheld(TracingWithheld))
        return;
    // The claim of the whole file: from 0, the head and the data.
    ExpectAnInterruptedClaimMadeAgain([] { return QString(); }, Unique("room-eintr"),
                                      [](const TTracedChild& call) {
                                          return call.Call() == SYS_fallocate && call.Argument(2) == 0 &&
                                                 int64_t(call.Argument(3)) == kHead + 4096;
                                      });
}

// On a file system without fallocate the claim writes zeros into the file;
// a signal that interrupts that write has it written again.
TEST_F(SharedObjectsLifetimeTest, AnInterruptedZeroWriteOfACreateIsMadeAgainOnAFileSystemWithoutFallocate)
{
    if (Withheld(TracingWithheld, RamfsWithheld))
        return;
    const TRamfsPoint point("eintr");
    const uid_t uid = MadeUpUid(1);
    // The zeros of the whole file, in one write from 0.
    ExpectAnInterruptedClaimMadeAgain([&] { return EnterOwnRamfs(point.Path, uid); }, QStringLiteral("zeros"),
                                      [](const TTracedChild& call) {
                                          return call.Call() == SYS_pwrite64 &&
                                                 int64_t(call.Argument(2)) == kHead + 4096 &&
                                                 call.Argument(3) == 0;
                                      });
}

} // namespace
