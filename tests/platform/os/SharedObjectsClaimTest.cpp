// The claim of a block's pages: on a file system without fallocate the
// pages a grow adds are claimed by writing zeros, and only there, never
// where another process may write; a claim that fails part of the way
// leaves the block as it was; an interrupted claim of a create is made
// again; a size past the file size limit fails with EFBIG whatever SIGXFSZ
// does; two claims at once in a memory cgroup never take together more
// than its room.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MemoryCgroup.h"
#include "tests/support/Privileges.h"

#include <QDir>
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
TEST_F(SharedObjectsClaimTest, AGrowOnAFileSystemWithoutFallocateLosesNoWriteOfAnotherProcess)
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

// A grow whose claim fails part of the way: on a file system without
// fallocate (ramfs) the claim writes zeros in pieces of 64 KiB, and the
// second write fails (ENOSPC, which a tracer makes it answer, standing in
// for memory that ran out meanwhile). The grow fails with the claim's
// error naming the block, and the file is put back at its old size, 64
// bytes of head and 4096 of data, as the grower's handle still tells it:
// without that, every later opener would map a block that was never grown,
// at the size the claim reached.
TEST_F(SharedObjectsClaimTest, AGrowWhoseClaimFailsPartOfTheWayReportsItsErrorAndLeavesTheBlockAsItWas)
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
TEST_F(SharedObjectsClaimTest, AnInterruptedClaimOfACreateIsMadeAgain)
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
TEST_F(SharedObjectsClaimTest, AnInterruptedZeroWriteOfACreateIsMadeAgainOnAFileSystemWithoutFallocate)
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
TEST_F(SharedObjectsClaimTest, AGrowOrCreatePastTheFileSizeLimitFailsWithEfbigWhateverSigxfszDoes)
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

constexpr int64_t kMiB = 1 << 20;

// What the two claims of a race in a memory cgroup share (in memory that
// processes share too): when the other claim may start, its folder in
// /proc, when it ended and when its block may go, and what each claim met.
struct TClaimRace {
    std::atomic<int> Go{0};
    char Task[64] = {};
    std::atomic<int> Ended{0};
    std::atomic<int> Release{0};
    char Outcome[2][128] = {};
};

// A create of a 40 MiB block name, its outcome put at slot: "made" (the
// block then held, its handle into memory), or its error and whether it
// left a file.
void Create40(const QString& name, char (&slot)[128], TSharedHandle& memory)
{
    QString outcome;
    try {
        memory = OpenNamedMemory(name, 40 * kMiB);
        outcome = QStringLiteral("made");
    } catch (const EOSError& error) {
        outcome = Named(error, BlockFile(name)) +
                  (FileSize(BlockFile(name)) < 0 ? QStringLiteral(", no file") : QStringLiteral(", a file"));
    }
    std::strncpy(slot, outcome.toUtf8().constData(), sizeof(slot) - 1);
}

// The other claim of the race: once let go, a create of a 40 MiB block,
// held until released (within a generous bound, in case its process is
// left alone).
void ClaimAsTheOther(TClaimRace& race)
{
    while (race.Go.load() == 0)
        sched_yield();
    std::strncpy(race.Task, ThreadFolder().constData(), sizeof(race.Task) - 1);
    TSharedHandle memory = 0;
    Create40(QStringLiteral("other"), race.Outcome[1], memory);
    race.Ended = 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (race.Release.load() == 0 && std::chrono::steady_clock::now() < deadline)
        sched_yield();
    CloseNamedObject(memory);
}

// The first claim of a race, in a traced child that joins the memory
// cgroup group and takes a file system of its own at point (ramfs, or a
// tmpfs that bounds no claim here): it starts the other claim (a thread of
// its own, or a process it forks), creates its 40 MiB block, and once the
// other has ended, lets it go and ends.
std::unique_ptr<TTracedChild> StartFirstClaim(TClaimRace& race, const TMemoryCgroup& group,
                                              const QByteArray& point, bool ramfs, bool threads)
{
    return std::make_unique<TTracedChild>([&race, &group, point, ramfs, threads] {
        if (!group.Join().isEmpty() ||
            !(ramfs ? EnterOwnRamfs(point, MadeUpUid(1))
                    : EnterOwnFileSystem(point, MadeUpUid(1), "tmpfs", "size=1g,mode=0755"))
                 .isEmpty())
            _exit(3);
        std::thread other;
        pid_t otherProcess = -1;
        if (threads) {
            other = std::thread([&] { ClaimAsTheOther(race); });
        } else if ((otherProcess = fork()) == 0) {
            ClaimAsTheOther(race);
            _exit(0);
        }
        TSharedHandle memory = 0;
        Create40(QStringLiteral("first"), race.Outcome[0], memory);
        while (race.Ended.load() == 0)
            sched_yield();
        race.Release = 1;
        if (threads)
            other.join();
        else
            waitpid(otherProcess, nullptr, 0);
        CloseNamedObject(memory);
    });
}

// Lets the first claim run to its claim, where it stops having found room
// and taken its turn: on ramfs its first piece of zeros, from the file's
// start; on tmpfs its fallocate of the whole file. False where it claimed
// nothing.
bool RunToTheClaim(TTracedChild& first, bool ramfs)
{
    return first.RunTo([&](const TTracedChild& call) {
        return ramfs ? call.Call() == SYS_pwrite64 && call.Argument(2) == 65536 && call.Argument(3) == 0
                     : call.Call() == SYS_fallocate && int64_t(call.Argument(3)) == kHead + 40 * kMiB;
    });
}

// What the two claims of a race met, as the tests compare it.
QString Outcomes(const TClaimRace& race)
{
    return QStringLiteral("first: %1, other: %2")
        .arg(QString::fromUtf8(race.Outcome[0]), QString::fromUtf8(race.Outcome[1]));
}

// A race of two claims in memory that processes share.
struct TSharedRace {
    TClaimRace* Race = static_cast<TClaimRace*>(
        mmap(nullptr, sizeof(TClaimRace), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    TSharedRace()
    {
        if (Race != MAP_FAILED)
            new (Race) TClaimRace;
    }
    ~TSharedRace()
    {
        if (Race != MAP_FAILED)
            munmap(Race, sizeof(TClaimRace));
    }
    TSharedRace(const TSharedRace&) = delete;
    TSharedRace& operator=(const TSharedRace&) = delete;
};

// Two claims of one folder at once, in a memory cgroup of 64 MiB, on ramfs
// (zeros) and on tmpfs (fallocate): creates of 40 MiB blocks, which the
// group's room holds once but not twice. The first, in a traced process, is
// stopped as it claims, having found room; the other, of another process or
// of another thread of the first's, then waits for its turn (it is seen
// asleep), and once the first has taken its pages, finds too little room:
// ENOSPC naming its block, no file. The first makes its block, and no
// process is killed. Where the other did not wait, each found room for
// itself alone, and their pages together passed the group's limit: the
// kernel's out-of-memory killer ended a process. A turn kept by a lock of
// the folder's descriptor, which a process's threads share, let the thread
// in.
TEST_F(SharedObjectsClaimTest, TwoClaimsAtOnceNeverTakeTogetherMoreThanTheRoomOfTheMemoryCgroup)
{
    if (Withheld(TracingWithheld, MemoryCgroupWithheld, RamfsWithheld))
        return;
    for (const auto& [type, threads] : {std::pair{"ramfs", false}, std::pair{"ramfs", true},
                                        std::pair{"tmpfs", false}, std::pair{"tmpfs", true}}) {
        SCOPED_TRACE(
            QStringLiteral("%1, %2").arg(type, threads ? "two threads" : "two processes").toStdString());
        const bool ramfs = std::strcmp(type, "ramfs") == 0;
        const TSharedRace shared;
        ASSERT_NE(shared.Race, MAP_FAILED);
        TClaimRace& race = *shared.Race;
        const TMemoryCgroup group(64 * kMiB);
        const TRamfsPoint point("claims");
        const auto first = StartFirstClaim(race, group, point.Path, ramfs, threads);
        ASSERT_TRUE(first->Refused().isEmpty()) << first->Refused().toStdString();
        ASSERT_TRUE(RunToTheClaim(*first, ramfs)) << "the first create claimed nothing";
        race.Go = 1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool waited = false;
        while (!waited && race.Ended.load() == 0 && std::chrono::steady_clock::now() < deadline) {
            waited = race.Task[0] != 0 && AsleepInAWait(QByteArray(race.Task));
            sched_yield();
        }
        if (!waited && race.Ended.load() == 0) {
            first->Finish();
            GTEST_SKIP() << "the other claim neither waited nor ended within 20 s: they never met";
        }
        const int ended = first->Finish();
        EXPECT_EQ(Outcomes(race).toStdString(), "first: made, other: ENOSPC naming the block, no file");
        EXPECT_EQ(ended, 0);
    }
}

// A claim stopped in its turn (its process stopped by a tracer, on ramfs in
// a memory cgroup) delays another claim of the folder at most the bound of
// 5000 ms: the other's create then fails with ETIMEDOUT naming its block,
// and leaves no file. Let go, the first makes its block. Waiting for the
// turn without a bound, the other waited as long as the first stayed
// stopped.
TEST_F(SharedObjectsClaimTest, AClaimStoppedInItsTurnDelaysAnotherAtMostTheBound)
{
    if (Withheld(TracingWithheld, MemoryCgroupWithheld, RamfsWithheld))
        return;
    const TSharedRace shared;
    ASSERT_NE(shared.Race, MAP_FAILED);
    TClaimRace& race = *shared.Race;
    const TMemoryCgroup group(64 * kMiB);
    const TRamfsPoint point("stopped-claim");
    const auto first = StartFirstClaim(race, group, point.Path, true, false);
    ASSERT_TRUE(first->Refused().isEmpty()) << first->Refused().toStdString();
    ASSERT_TRUE(RunToTheClaim(*first, true)) << "the first create claimed nothing";
    race.Go = 1;
    // A generous safety net past the bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (race.Ended.load() == 0 && std::chrono::steady_clock::now() < deadline)
        usleep(10'000);
    const bool ended = race.Ended.load() != 0;
    const int finished = first->Finish();
    EXPECT_TRUE(ended) << "the other claim still waited after 30 s";
    EXPECT_EQ(Outcomes(race).toStdString(), "first: made, other: ETIMEDOUT naming the block, no file");
    EXPECT_EQ(finished, 0);
}

} // namespace
