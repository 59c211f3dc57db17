// Grows that race: two threads growing one block never shrink it, a
// refused grow never cuts the block under another grow (of another thread
// or process), and a grow waits for its file's lock outside the registry's
// lock.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
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

// Two threads of one process that grow one block at once never leave it
// smaller than a grow that returned true made it: each grow either returns
// true, the block's file and this process's handle then at least at its
// size, or is refused (EBUSY: the other thread mapped a view of the block
// meanwhile) leaving the block as the other left it; each thread that grew
// writes the last byte of its view. Run in a child, so that a write past
// the file's end (SIGBUS) fails the test rather than ending it. Only
// rounds whose grows overlap race anything, as each thread says when its
// grow began and ended; rounds are taken until each thread began first in
// kMet of them, up to a generous bound, past which the test is skipped,
// saying how few met: it raced too little to pass. A grow whose lock kept out
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
                return QStringLiteral("never shrunk; too busy a machine to race the growers %1 times: "
                                      "of %4 rounds, %2 met with the first thread first and %3 with the "
                                      "second")
                    .arg(kMet)
                    .arg(first[0])
                    .arg(first[1])
                    .arg(round);
            return QStringLiteral("never shrunk");
        });
    const QString tooBusy = answer.section(QStringLiteral("; "), 1);
    if (answer.startsWith(QStringLiteral("never shrunk; ")))
        GTEST_SKIP() << tooBusy.toStdString();
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
// waits. In another process it then grows the block from its old size: it
// returns true, its view 1 MiB, whose last byte it writes, and the file
// keeps 1 MiB for a new opener. In the refused grower's own process, whose
// handles share one mapping of the block, the view that the refused grower
// mapped is still there (it is never unmapped): the other grow finds it as
// it installs its size, or as it starts, and is refused as busy too, every
// time; the block stays at its old size. Without the lock, the other grow
// read the larger size and mapped it, and the refused one cut the file back
// under its view: its write met no page (SIGBUS).
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
        // In one process the refused grower's view is still mapped as the
        // other installs its size: that one is refused as busy too.
        EXPECT_EQ(otherAnswer.toStdString(),
                  (threads ? QStringLiteral("EBUSY naming the block")
                           : QStringLiteral("grown to %1, written").arg(kGrown))
                      .toStdString());
        const int64_t size = threads ? 4096 : kGrown;
        EXPECT_EQ(FileSize(BlockFile(name)), kHead + size);
        EXPECT_EQ(SizeOfANewOpener(name).toStdString(), QString::number(size).toStdString());
        CloseNamedObject(held);
    }
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

} // namespace
