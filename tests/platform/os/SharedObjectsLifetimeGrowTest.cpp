// The grow of named memory blocks and the room they claim: a grown block
// serves later openers and leaves earlier views as they were; grows that
// race in two threads or two processes never shrink a block; a grow starts
// at the file's end and maps what another process grew; it waits for its
// file's lock outside the registry's; how a grow claims its pages, what a
// refused grow leaves for later openers and how it names its block, the
// sizes a block's file cannot have, the file size limit whatever SIGXFSZ
// does, the bound of a claim that writes zeros, and the claim's retry
// after a signal.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
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
// fallocate (ramfs) the claim writes zeros in pieces of 64 KiB, and the
// second write fails (ENOSPC, which a tracer makes it answer, standing in
// for memory that ran out meanwhile). The grow fails with the claim's
// error naming the block, and the file is put back at its old size, 64
// bytes of head and 4096 of data, as the grower's handle still tells it:
// without that, every later opener would map a block that was never grown,
// at the size the claim reached.
TEST_F(SharedObjectsLifetimeTest, AGrowWhoseClaimFailsPartOfTheWayReportsItsErrorAndLeavesTheBlockAsItWas)
{
    if (Withheld(TracingWithheld, RamfsWithheld))
        return;
    const TRamfsPoint point("partway");
    const uid_t uid = MadeUpUid(1);
    TTracedChild grower([&] {
        if (!EnterOwnRamfs(point.Path, uid).isEmpty())
            _exit(3);
        const QString name = QStringLiteral("partway");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        if (GrowNamedMemory(memory, 1024 * 1024))
            _exit(4);
        if (Named(LastSharedObjectError(), BlockFile(name)) != "ENOSPC naming the block")
            _exit(5);
        if (FileSize(BlockFile(name)) != kHead + 4096 || NamedMemorySize(memory) != 4096)
            _exit(6);
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(grower.Refused().isEmpty()) << grower.Refused().toStdString();
    // The second piece of the grow's zeros, past the 64 KiB of the first.
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_pwrite64 && int64_t(call.Argument(3)) == kHead + 4096 + 65536;
    })) << "the grow wrote no second piece of zeros";
    if (!grower.FailCall(ENOSPC))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    EXPECT_EQ(grower.Finish(), 0);
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

// Whether the thread (or process) whose folder in /proc is task is asleep
// in a system call of a wait: a sleep between tries of a file lock, or a
// futex (a mutex of the process).
bool AsleepInAWait(const QByteArray& task)
{
    const long call = SystemCallOf(task);
    return call == SYS_nanosleep || call == SYS_clock_nanosleep || call == SYS_futex;
}

// Waits until word is not 0, or the waiter at task is asleep in a wait
// (then it does not go on by itself), for at most 2 s: a waiter that waits
// for nothing has ended long before.
void WaitForEndOrSleep(const std::atomic<int>& word, const QByteArray& task)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (word.load() == 0 && !AsleepInAWait(task) && std::chrono::steady_clock::now() < deadline)
        sched_yield();
}

// Two threads of one process that grow one block at once never leave it
// smaller than a grow that returned true made it: each grow either returns
// true, the block's file and this process's handle then at least at its
// size, or is refused (EBUSY: the other thread mapped a view of the block
// meanwhile) leaving the block as the other left it; each thread that grew
// writes the last byte of its view. Run in a child, so that a write past
// the file's end (SIGBUS) fails the test rather than ending it. Only
// rounds whose grows overlap race anything, as each thread says when its
// grow began and ended; rounds are taken until each thread began first in
// kMet of them, up to a generous bound, past which the test says how few
// met rather than failing for want of meetings. A grow whose lock kept out
// other processes but not the process's other threads let both read one old
// size: the refused one put the file back at it under the other's view, or
// the later install wrote its smaller size over the larger.
TEST_F(SharedObjectsLifetimeTest, TwoThreadsGrowingOneBlockNeverShrinkIt)
{
    constexpr int kMet = 20;
    constexpr int kMostRounds = 50 * kMet;
    const QString answer = RunInChild(
        [] { return QString(); },
        [] {
            const int64_t sizes[2] = {256 * 1024, 512 * 1024};
            int first[2] = {0, 0};
            int round = 0;
            for (; (first[0] < kMet || first[1] < kMet) && round < kMostRounds; ++round) {
                const QString name = Unique("grow-threads-") + QString::number(round);
                const TSharedHandle memory = OpenNamedMemory(name, 4096);
                bool grown[2] = {false, false};
                QString refusal[2];
                int64_t seen[2] = {0, 0};
                const TTwoThreadRace race(
                    [&](int i) {
                        grown[i] = GrowNamedMemory(memory, sizes[i]);
                        if (!grown[i] && LastSharedObjectError().ErrorCode != EBUSY)
                            refusal[i] = LastSharedObjectError().Message();
                    },
                    [&](int i) {
                        if (!grown[i])
                            return;
                        seen[i] = NamedMemorySize(memory);
                        auto* view = static_cast<volatile char*>(MapNamedMemory(memory));
                        view[seen[i] - 1] = 1;
                        UnmapNamedMemory(const_cast<char*>(view));
                    });
                int64_t largest = 0;
                for (int i = 0; i < 2; ++i) {
                    if (!refusal[i].isEmpty())
                        return QStringLiteral("round %1: %2").arg(round).arg(refusal[i]);
                    if (grown[i] && seen[i] < sizes[i])
                        return QStringLiteral("round %1: a grow to %2 left %3")
                            .arg(round)
                            .arg(sizes[i])
                            .arg(seen[i]);
                    if (grown[i])
                        largest = std::max(largest, sizes[i]);
                }
                if (!grown[0] && !grown[1])
                    return QStringLiteral("round %1: both grows refused").arg(round);
                if (NamedMemorySize(memory) < largest || FileSize(BlockFile(name)) < kHead + largest)
                    return QStringLiteral("round %1: grown to %2, the handle tells %3, the file holds %4")
                        .arg(round)
                        .arg(largest)
                        .arg(NamedMemorySize(memory))
                        .arg(FileSize(BlockFile(name)));
                if (race.Met())
                    ++first[race.First()];
                CloseNamedObject(memory);
            }
            if (first[0] < kMet || first[1] < kMet)
                std::printf("too busy a machine to race the growers %d times: %d and %d of %d rounds met\n",
                            kMet, first[0], first[1], round);
            return QStringLiteral("never shrunk");
        });
    EXPECT_EQ(answer.toStdString(), "never shrunk");
}

// What the peers of a race between two grows of one block share (in memory
// that processes share too).
struct TGrowPeers {
    std::atomic<int> AtGrowing{0}; // the refused grow reached its Growing step
    std::atomic<int> Go{0};        // it may go on: it maps a view and is refused
    std::atomic<int> Grown{0};     // the other grow ended: 1 grown, 2 refused
    std::atomic<int> Write{0};     // the other may write its last byte
    char Task[64] = {};            // the other's folder in /proc
    std::atomic<pid_t> RefusedIn{0};
    TSharedHandle Refused = 0; // the refused grower's handle (threads)
};

TGrowPeers* Peers = nullptr;

// The probe of the refused grow: at its Growing step (its pages claimed,
// the file at the larger size), it says so, waits, and maps a view of its
// block, so that its grow is refused and puts the file back.
void HoldAtGrowing(TSharedStep step)
{
    if (step != TSharedStep::Growing || !Peers || Peers->RefusedIn != pid_t(syscall(SYS_gettid)))
        return;
    Peers->AtGrowing = 1;
    while (Peers->Go.load() == 0)
        sched_yield();
    MapNamedMemory(Peers->Refused);
}

// A grow that is refused after its claim made the file larger (a view of
// its block was mapped in its process meanwhile, EBUSY) puts the file back
// only under the bookkeeping lock, which keeps out another grow from the
// size it reads to the size it installs, of another process or of another
// thread alike: the other grow (to 1 MiB, under the refused one's 2 MiB)
// waits, and then grows the block from its old size. It returns true, its
// view at least 1 MiB, whose last byte it writes, and the file keeps 1 MiB
// for a new opener; or, in the refused grower's process, where that one's
// view is still mapped, it is refused as busy too, and the block stays at
// its old size. Without the lock, the other grow read the larger size and
// mapped it, and the refused one cut the file back under its view: its
// write met no page (SIGBUS).
TEST_F(SharedObjectsLifetimeTest, ARefusedGrowNeverCutsTheBlockUnderAnotherGrow)
{
    constexpr int64_t kRefused = 2 * 1024 * 1024;
    constexpr int64_t kGrown = 1024 * 1024;
    for (const bool threads : {false, true}) {
        SCOPED_TRACE(threads ? "two threads" : "two processes");
        const QString name = Unique(threads ? "grow-cut-threads" : "grow-cut-processes");
        const TSharedHandle held = OpenNamedMemory(name, 4096);
        auto* peers = static_cast<TGrowPeers*>(
            mmap(nullptr, sizeof(TGrowPeers), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(peers, MAP_FAILED);
        new (peers) TGrowPeers;
        const auto unmapped = qScopeGuard([&] { munmap(peers, sizeof(TGrowPeers)); });
        // The refused grower: at its Growing step it waits for Go.
        const auto refused = [&] {
            Peers = peers;
            peers->Refused = OpenNamedMemory(name, 0);
            peers->RefusedIn = pid_t(syscall(SYS_gettid));
            SetSharedObjectsProbe(&HoldAtGrowing);
            const bool grown = GrowNamedMemory(peers->Refused, kRefused);
            SetSharedObjectsProbe(nullptr);
            return grown ? QStringLiteral("grown") : Named(LastSharedObjectError(), BlockFile(name));
        };
        // The other grower: grows once the refused one holds at its step,
        // and writes its last byte when let.
        const auto other = [&] {
            std::strncpy(peers->Task, ThreadFolder().constData(), sizeof(peers->Task) - 1);
            const TSharedHandle memory = OpenNamedMemory(name, 0);
            const bool grown = GrowNamedMemory(memory, kGrown);
            peers->Grown = grown ? 1 : 2;
            while (peers->Write.load() == 0)
                sched_yield();
            if (!grown)
                return Named(LastSharedObjectError(), BlockFile(name));
            const int64_t size = NamedMemorySize(memory);
            auto* view = static_cast<volatile char*>(MapNamedMemory(memory));
            view[size - 1] = 1;
            return QStringLiteral("grown to %1, written").arg(size);
        };
        // The test's part: lets the other grow start once the refused one
        // holds, lets the refused one go on once the other waits (or ended),
        // then lets the other write.
        const auto drive = [&](const std::function<void()>& startOther) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (peers->AtGrowing.load() == 0 && std::chrono::steady_clock::now() < deadline)
                sched_yield();
            startOther();
            while (peers->Task[0] == 0 && std::chrono::steady_clock::now() < deadline)
                sched_yield();
            WaitForEndOrSleep(peers->Grown, QByteArray(peers->Task));
            peers->Go = 1;
            while (peers->Grown.load() == 0 && std::chrono::steady_clock::now() < deadline)
                sched_yield();
            peers->Write = 1;
        };
        QString refusedAnswer, otherAnswer;
        if (threads) {
            const QString both =
                RunInChild([] { return QString(); },
                           [&] {
                               QString first, second;
                               std::thread refusing([&] { first = refused(); });
                               std::thread growing;
                               drive([&] { growing = std::thread([&] { second = other(); }); });
                               refusing.join();
                               growing.join();
                               return first + " / " + second;
                           });
            refusedAnswer = both.section(" / ", 0, 0);
            otherAnswer = both.section(" / ", 1);
        } else {
            // Both forked by this thread, the process's only one.
            TAnsweringChild refusing(refused);
            std::unique_ptr<TAnsweringChild> growing;
            drive([&] { growing = std::make_unique<TAnsweringChild>(other); });
            refusedAnswer = refusing.Answer();
            otherAnswer = growing->Answer();
        }
        EXPECT_EQ(refusedAnswer.toStdString(), "EBUSY naming the block");
        // In one process the refused grower's view may still be mapped as
        // the other installs its size: that one is refused as busy too.
        const bool grown = otherAnswer == QStringLiteral("grown to %1, written").arg(kGrown);
        if (!threads || otherAnswer != QLatin1String("EBUSY naming the block")) {
            EXPECT_TRUE(grown) << otherAnswer.toStdString();
        }
        const int64_t size = grown ? kGrown : 4096;
        EXPECT_EQ(FileSize(BlockFile(name)), kHead + size);
        EXPECT_EQ(SizeOfANewOpener(name).toStdString(), QString::number(size).toStdString());
        CloseNamedObject(held);
    }
}

// A grow starts at the end of the block's file, not at the end of this
// process's view: where another process grew the block and wrote past this
// process's view, a grow here keeps that write (on a file system without
// fallocate, where the claim writes zeros from the old end on). Where the
// other process grew it past the size asked, this process maps the block
// whole, as a new opener would, and its handle tells that size.
TEST_F(SharedObjectsLifetimeTest, AGrowStartsAtTheFilesEndAndMapsWhatAnotherProcessGrew)
{
    if (Withheld(RamfsWithheld))
        return;
    const QString answer = RunOnRamfs(MadeUpUid(1), [] {
        const QString name = QStringLiteral("far");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        const auto growElsewhere = [&](int64_t size, int64_t at) {
            return RunInChild([] { return QString(); },
                              [&] {
                                  const TSharedHandle again = OpenNamedMemory(name, 0);
                                  if (!GrowNamedMemory(again, size))
                                      return LastSharedObjectError().Message();
                                  static_cast<char*>(MapNamedMemory(again))[at] = 'D';
                                  return QStringLiteral("grown");
                              });
        };
        QStringList seen;
        seen << growElsewhere(16384, 10000);
        seen << (GrowNamedMemory(memory, 32768) ? QStringLiteral("grown here")
                                                : LastSharedObjectError().Message());
        const char* view = static_cast<const char*>(MapNamedMemory(memory));
        seen << QStringLiteral("byte %1").arg(view[10000] == 'D' ? "kept" : "lost");
        UnmapNamedMemory(const_cast<char*>(view));
        seen << growElsewhere(65536, 60000);
        seen << (GrowNamedMemory(memory, 40000) ? QStringLiteral("grown here")
                                                : LastSharedObjectError().Message());
        seen << QStringLiteral("size %1").arg(NamedMemorySize(memory));
        view = static_cast<const char*>(MapNamedMemory(memory));
        seen << QStringLiteral("byte %1").arg(view[60000] == 'D' ? "seen" : "not seen");
        CloseNamedObject(memory);
        return seen.join(", ");
    });
    EXPECT_EQ(answer.toStdString(), "grown, grown here, byte kept, grown, grown here, size 65536, byte seen");
}

// A grow that waits for the bookkeeping lock of its block's file (held here
// through a descriptor of this process's own, as a stopped process would
// hold it) waits outside the registry's lock: meanwhile this thread opens,
// sets and closes another object and asks the block's size, and the grow
// ends only when the lock is let go. Waiting inside it, every call of every
// other thread of the process waited with it, up to the lock's bound (5 s),
// and the grow ended first.
TEST_F(SharedObjectsLifetimeTest, AGrowWaitsForItsFilesLockOutsideTheRegistrysLock)
{
    const QString name = Unique("grow-wait");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    const int fd = open(BlockFile(name).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::atomic<int> ended{0};
    QByteArray task;
    std::atomic<bool> started{false};
    bool grown = false;
    std::thread grower([&] {
        task = ThreadFolder();
        started = true;
        grown = GrowNamedMemory(memory, 1024 * 1024);
        ended = 1;
    });
    while (!started)
        sched_yield();
    WaitForEndOrSleep(ended, task);
    const TSharedHandle other = OpenNamedEvent(Unique("grow-wait-other"), false);
    const bool served =
        other && SetNamedEvent(other) && CloseNamedObject(other) && NamedMemorySize(memory) == 4096;
    const bool before = ended.load() == 0;
    flock(fd, LOCK_UN);
    close(fd);
    grower.join();
    EXPECT_TRUE(served);
    EXPECT_TRUE(before) << "the grow ended before the other calls were served";
    EXPECT_TRUE(grown) << LastSharedObjectError().Message().toStdString();
    CloseNamedObject(memory);
}

// Every refused grow names what it refused: a grow to 0 bytes or fewer
// names the block (EINVAL), as one too large does; an unnamed block says
// that only a named one grows; a handle that is no memory block of this
// process is called a bad handle (EBADF), not an unnamed block. A grow to
// 0 that was not refused "succeeded" without growing anything.
TEST_F(SharedObjectsLifetimeTest, EveryRefusedGrowNamesWhatItRefused)
{
    const QString name = Unique("grow-named");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    const TSharedHandle unnamed = OpenNamedMemory(QString(), 4096);
    const TSharedHandle event = OpenNamedEvent(Unique("grow-named-e"), false);
    const QByteArray file = BlockFile(name);
    struct Row {
        int line;
        TSharedHandle handle;
        int64_t size;
        const char* expected;
    };
    const Row rows[] = {
        {1, memory, 0, "EINVAL naming the block"},
        {2, memory, -1, "EINVAL naming the block"},
        {3, memory, std::numeric_limits<int64_t>::min(), "EINVAL naming the block"},
        {4, unnamed, 8192, "EINVAL: only a named memory block grows"},
        {5, 987654321, 8192, "EBADF: a bad handle"},
        {6, event, 8192, "EBADF: a bad handle"},
        {7, 0, 8192, "EBADF: a bad handle"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_FALSE(GrowNamedMemory(row.handle, row.size));
        const EOSError error = LastSharedObjectError();
        QString seen = Named(error, file);
        if (error.ErrorCode == EINVAL && error.Message().contains("Only a named memory block grows"))
            seen = QStringLiteral("EINVAL: only a named memory block grows");
        else if (error.ErrorCode == EBADF &&
                 error.Message().contains(
                     QStringLiteral("The handle %1 is no handle of a memory block").arg(row.handle)))
            seen = QStringLiteral("EBADF: a bad handle");
        EXPECT_EQ(seen.toStdString(), row.expected);
        if (row.handle == memory) {
            EXPECT_TRUE(error.Message().contains(QString::number(row.size))) << error.Message().toStdString();
        }
    }
    EXPECT_EQ(NamedMemorySize(memory), 4096);
    EXPECT_EQ(FileSize(file), kHead + 4096);
    for (const TSharedHandle handle : {memory, unnamed, event})
        CloseNamedObject(handle);
}

// What becomes of SIGXFSZ in a child: its default (which ends the
// process), ignored, or caught by a handler that counts it.
enum class TSigxfsz { Default, Ignored, Counted };
std::atomic<int> SigxfszCaught{0};

void CountSigxfsz(int)
{
    ++SigxfszCaught;
}

// A create or a grow past the file size limit (RLIMIT_FSIZE, 1 MiB here) is
// refused before anything is claimed: EFBIG naming the block, the file as
// it was (a create leaves none), whatever becomes of SIGXFSZ in the
// process, on a file system with fallocate (tmpfs) as without (ramfs). The
// kernel never sends it the signal: the process lives where SIGXFSZ ends
// it, and a handler of its own counts none. A claim that went ahead was
// ended at the limit by the signal, which ends a process that keeps it at
// its default, and which a handler saw.
TEST_F(SharedObjectsLifetimeTest, AGrowOrCreatePastTheFileSizeLimitFailsWithEfbigWhateverSigxfszDoes)
{
    const bool ramfs = RamfsWithheld().isEmpty();
    for (const bool onRamfs : {false, true}) {
        if (onRamfs && !ramfs) {
            std::printf("%s\n", qPrintable(QStringLiteral("no ramfs rows: ") + RamfsWithheld()));
            continue;
        }
        for (const TSigxfsz disposition : {TSigxfsz::Default, TSigxfsz::Ignored, TSigxfsz::Counted}) {
            SCOPED_TRACE(QStringLiteral("%1, SIGXFSZ %2")
                             .arg(onRamfs ? "ramfs" : "tmpfs")
                             .arg(int(disposition))
                             .toStdString());
            const auto body = [disposition] {
                SigxfszCaught = 0;
                struct sigaction action {};
                action.sa_handler = disposition == TSigxfsz::Default   ? SIG_DFL
                                    : disposition == TSigxfsz::Ignored ? SIG_IGN
                                                                       : &CountSigxfsz;
                sigaction(SIGXFSZ, &action, nullptr);
                const rlimit limit{1024 * 1024, 1024 * 1024};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    return QStringLiteral("no limit");
                QStringList seen;
                const QString made = Unique("limit-made");
                try {
                    CloseNamedObject(OpenNamedMemory(made, 2 * 1024 * 1024));
                    seen << QStringLiteral("made");
                } catch (const EOSError& error) {
                    seen << Named(error, BlockFile(made));
                }
                seen << (FileSize(BlockFile(made)) < 0 ? QStringLiteral("no file")
                                                       : QStringLiteral("a file"));
                const QString grown = Unique("limit-grown");
                const TSharedHandle memory = OpenNamedMemory(grown, 4096);
                seen << (GrowNamedMemory(memory, 2 * 1024 * 1024)
                             ? QStringLiteral("grown")
                             : Named(LastSharedObjectError(), BlockFile(grown)));
                seen << QStringLiteral("file of %1 bytes").arg(FileSize(BlockFile(grown)));
                CloseNamedObject(memory);
                seen << QStringLiteral("%1 signals").arg(SigxfszCaught.load());
                return seen.join(", ");
            };
            const QString answer =
                onRamfs ? RunOnRamfs(MadeUpUid(1), body) : RunInChild([] { return QString(); }, body);
            EXPECT_EQ(answer.toStdString(),
                      QStringLiteral("EFBIG naming the block, no file, EFBIG naming the block, "
                                     "file of %1 bytes, 0 signals")
                          .arg(kHead + 4096)
                          .toStdString());
        }
    }
}

// The memory that the system reports available, in bytes (MemAvailable).
int64_t AvailableMemory()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : meminfo.readAll().split('\n'))
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// On a file system that tells no size (ramfs, which keeps every page in
// memory), a claim of zeros larger than the memory that the system has
// available is refused before a byte is written: ENOSPC naming the block,
// its file as it was (a create leaves none). Each claim is made by a child
// that the test ends as soon as its file passes 64 MiB, so that a claim
// that wrote on cannot take the machine's memory (one to the largest size
// a file can have ended processes all over the machine, through the
// kernel's out-of-memory killer).
TEST_F(SharedObjectsLifetimeTest, AClaimOfZerosLargerThanTheMemoryAvailableIsRefusedBeforeAByteIsWritten)
{
    if (Withheld(RamfsWithheld))
        return;
    const int64_t beyond = AvailableMemory() + (int64_t(1) << 30);
    ASSERT_GT(beyond, int64_t(1) << 30) << "no MemAvailable in /proc/meminfo";
    const QString answer = RunOnRamfs(MadeUpUid(1), [&] {
        QStringList seen;
        struct Claim {
            const char* what;
            bool create;
            int64_t size;
        };
        for (const Claim& claim :
             {Claim{"grow to the largest", false, kLargest - 64},
              Claim{"grow past the memory", false, beyond}, Claim{"create past the memory", true, beyond}}) {
            const QString name = QString::fromLatin1(claim.what).replace(' ', '-');
            const QByteArray file = BlockFile(name);
            int answerPipe[2];
            if (pipe(answerPipe) != 0)
                return QStringLiteral("no pipe");
            const pid_t claimer = fork();
            if (claimer == 0) {
                close(answerPipe[0]);
                QString outcome;
                if (claim.create) {
                    try {
                        CloseNamedObject(OpenNamedMemory(name, claim.size));
                        outcome = QStringLiteral("made");
                    } catch (const EOSError& error) {
                        outcome = Named(error, file);
                    }
                } else {
                    const TSharedHandle memory = OpenNamedMemory(name, 4096);
                    outcome = GrowNamedMemory(memory, claim.size) ? QStringLiteral("grown")
                                                                  : Named(LastSharedObjectError(), file);
                    outcome += QStringLiteral(", file of %1 bytes").arg(FileSize(file));
                    CloseNamedObject(memory);
                }
                WriteAllTo(answerPipe[1], outcome.toUtf8());
                _exit(0);
            }
            close(answerPipe[1]);
            bool ended = false;
            while (!ended) {
                if (FileSize(file) > (int64_t(64) << 20)) {
                    kill(claimer, SIGKILL);
                    break;
                }
                ended = waitpid(claimer, nullptr, WNOHANG) == claimer;
                if (!ended)
                    usleep(5000);
            }
            if (!ended)
                waitpid(claimer, nullptr, 0);
            const QByteArray outcome = ReadAllFrom(answerPipe[0]);
            close(answerPipe[0]);
            seen << QStringLiteral("%1: %2").arg(QLatin1String(claim.what),
                                                 ended ? QString::fromUtf8(outcome)
                                                       : QStringLiteral("wrote past 64 MiB"));
            unlink(file.constData());
        }
        return seen.join('\n');
    });
    const QString file = QStringLiteral("file of %1 bytes").arg(kHead + 4096);
    EXPECT_EQ(answer.toStdString(), QStringList({"grow to the largest: ENOSPC naming the block, " + file,
                                                 "grow past the memory: ENOSPC naming the block, " + file,
                                                 "create past the memory: ENOSPC naming the block"})
                                        .join('\n')
                                        .toStdString());
}

// On a file system without fallocate that tells its size, a claim of zeros
// larger than its free room is refused before a byte is written: on a tmpfs
// of 1 MiB whose fallocate a tracer makes answer EOPNOTSUPP (standing in
// for a FUSE or network file system), a grow to 2 MiB fails with ENOSPC
// naming the block, its file as it was, and no zeros are written. Writing
// them, the grow filled the file system before it failed the same way.
TEST_F(SharedObjectsLifetimeTest, AClaimOfZerosLargerThanTheFileSystemsRoomIsRefusedBeforeAByteIsWritten)
{
    if (Withheld(TracingWithheld, RamfsWithheld))
        return;
    const TRamfsPoint point("room");
    const uid_t uid = MadeUpUid(1);
    TTracedChild grower([&] {
        if (!EnterOwnFileSystem(point.Path, uid, "tmpfs", "size=1m,mode=0755").isEmpty())
            _exit(3);
        const QString name = QStringLiteral("room");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        if (GrowNamedMemory(memory, 2 * 1024 * 1024))
            _exit(4);
        if (Named(LastSharedObjectError(), BlockFile(name)) != "ENOSPC naming the block")
            _exit(5);
        if (FileSize(BlockFile(name)) != kHead + 4096)
            _exit(6);
        getppid(); // the grow has ended
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(grower.Refused().isEmpty()) << grower.Refused().toStdString();
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_fallocate && int64_t(call.Argument(2)) == kHead + 4096;
    })) << "the grow made no claim";
    if (!grower.FailCall(EOPNOTSUPP))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_pwrite64 || call.Call() == SYS_getppid;
    })) << "the grower ended with "
        << grower.Finish();
    EXPECT_EQ(grower.Call(), SYS_getppid) << "zeros were written";
    EXPECT_EQ(grower.Finish(), 0);
}

} // namespace
