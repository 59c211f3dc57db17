// The grow of named memory blocks: a grown block serves later openers and
// leaves earlier views as they were; a block mapped in this process is not
// grown; a grow whose mapping is refused leaves the block as it was; the
// sizes a block's file cannot have; a grow starts at the file's end and
// maps what another process grew; every refused grow names what it
// refused.
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

} // namespace
