// Threads of one process that make every call of the named objects at once,
// on handles they share. Built twice: into os_thread_tests of the test
// build, and into the same program of a build with ThreadSanitizer (which
// "make test" makes and runs as well), where two threads that touch one
// word of the unit without the lock or the atomic instruction that orders
// them end the program with a report. No process is forked here: a fork of
// a process with threads is what that sanitizer does not follow.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"

#include <QString>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// Eight threads, 200 rounds each, on one block, one auto-reset event and
// one mutex that they share, and names that they open and close by turns:
// each grows the block a little further, asks its size, maps it, writes a
// byte of its own, reads the last and unmaps it; sets and waits on the
// event, pulses it, listens to it and stops; takes the mutex twice and
// releases it; opens and closes the three names again. Every call answers
// as the header says: a grow is done or refused as busy (another thread
// has it mapped), a size never falls below the largest grow that returned
// true, a view holds the size its handle tells, a listen gives a
// descriptor or says that this process listens already. A block's size
// asked outside the lock that a grow changes it under was a word that two
// threads touched unordered.
TEST(SharedObjectsThreadsTest, ThreadsMakingEveryCallAtOnceKeepEveryAnswer)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    const QString block = Unique("threads-block");
    const QString event = Unique("threads-event");
    const QString mutex = Unique("threads-mutex");
    const TSharedHandle memory = OpenNamedMemory(block, 4096);
    const TSharedHandle bell = OpenNamedEvent(event, false);
    const TSharedHandle lock = OpenNamedMutex(mutex);
    ASSERT_TRUE(memory && bell && lock);
    std::atomic<int64_t> largest{4096};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const int64_t size = 4096 + int64_t(round * kThreads + t) * 64;
                if (GrowNamedMemory(memory, size)) {
                    int64_t seen = largest.load();
                    while (seen < size && !largest.compare_exchange_weak(seen, size)) {
                    }
                } else if (LastSharedObjectError().ErrorCode != EBUSY) {
                    ++wrong;
                }
                // Read after the largest grow was counted, which was after it
                // returned: the size it installed is there already.
                const int64_t floor = largest.load();
                if (NamedMemorySize(memory) < floor)
                    ++wrong;
                if (auto* view = static_cast<volatile char*>(MapNamedMemory(memory))) {
                    // A byte of its own, and the last (which nobody writes)
                    // read: the view reaches as far as its size.
                    view[t] = char(t);
                    if (view[NamedMemorySize(memory) - 1] != 0)
                        ++wrong;
                    UnmapNamedMemory(const_cast<char*>(view));
                } else {
                    ++wrong;
                }
                SetNamedEvent(bell);
                WaitNamedObject(bell, 0);
                PulseNamedEvent(bell);
                const int descriptor = ListenNamedEvent(bell);
                if (descriptor >= 0) {
                    UnlistenNamedEvent(bell);
                    close(descriptor);
                } else if (LastSharedObjectError().ErrorCode != EBUSY) {
                    ++wrong;
                }
                // Without a limit: the sanitizer of this compiler does not
                // follow a mutex taken with a time limit (pthread_mutex_clocklock).
                if (WaitNamedObject(lock, kWaitInfinite) != TWaitResult::wrSignaled ||
                    WaitNamedObject(lock, 0) != TWaitResult::wrSignaled || !ReleaseNamedMutex(lock) ||
                    !ReleaseNamedMutex(lock))
                    ++wrong;
                const TSharedHandle again[] = {OpenNamedMemory(block, 0), OpenNamedEvent(event, false),
                                               OpenNamedMutex(mutex)};
                for (const TSharedHandle handle : again)
                    if (!CloseNamedObject(handle))
                        ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(NamedMemorySize(memory), largest.load());
    for (const TSharedHandle handle : {memory, bell, lock})
        EXPECT_TRUE(CloseNamedObject(handle));
    EXPECT_FALSE(ShmExists("M-" + block));
}

} // namespace
