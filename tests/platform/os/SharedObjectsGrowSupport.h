#pragma once
// What the tests of growing and claiming a memory block share: the sizes of
// a block's file, its path and size, what a new opener maps, an error as
// the tests compare it, and waits for the other side of a race.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <limits>

#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sharedobjects_test {

// The head before a block's data in its file.
inline constexpr int64_t kHead = sharedobjects_layout::kDataOffset;
inline constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();

// The file of this user's block name in the folder this process uses.
inline QByteArray BlockFile(const QString& name)
{
    return ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), "M-" + name.toUtf8());
}

// The size of the file at path; -1 where there is none.
inline int64_t FileSize(const QByteArray& path)
{
    struct stat st {};
    return stat(path.constData(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// The size that a new opener of the block name in another process (a
// forked child, which shares this process's folder) maps: the block as
// every later opener finds it.
inline QString SizeOfANewOpener(const QString& name)
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
inline QString CodeName(int error)
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
    case ENOENT:
        return QStringLiteral("ENOENT");
    case EMFILE:
        return QStringLiteral("EMFILE");
    case ETIMEDOUT:
        return QStringLiteral("ETIMEDOUT");
    default:
        return QString::number(error);
    }
}

// An error as a test compares it: its code, and whether its message names
// the file at path.
inline QString Named(const EOSError& error, const QByteArray& path)
{
    return CodeName(error.ErrorCode) + (error.Message().contains(QString::fromLocal8Bit(path))
                                            ? QStringLiteral(" naming the block")
                                            : QStringLiteral(": ") + error.Message());
}

// Waits until word holds value: false where it does not within 20 s (the
// other process died or hangs). Yields, so that the other process runs on a
// machine of one CPU.
inline bool WaitFor(const std::atomic<int>& word, int value)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (word.load() != value) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        sched_yield();
    }
    return true;
}

// Whether the thread (or process) whose folder in /proc is task is asleep
// in a system call of a wait: a sleep between tries of a file lock, or a
// futex (a mutex of the process).
inline bool AsleepInAWait(const QByteArray& task)
{
    const long call = SystemCallOf(task);
    return call == SYS_nanosleep || call == SYS_clock_nanosleep || call == SYS_futex;
}

// Waits until word is not 0, or the waiter at task is asleep in a wait
// (then it does not go on by itself), for at most 2 s: a waiter that waits
// for nothing has ended long before.
inline void WaitForEndOrSleep(const std::atomic<int>& word, const QByteArray& task)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (word.load() == 0 && !AsleepInAWait(task) && std::chrono::steady_clock::now() < deadline)
        sched_yield();
}

} // namespace sharedobjects_test
