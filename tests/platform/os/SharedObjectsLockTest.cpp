// The bookkeeping locks of the named objects' files: a call waits for every
// lock it takes, in whatever step (the end of a listening, an orphan's close,
// the last close that falls to it as it lets go of an object whose handle
// another thread closed, after a wait of its own), within one bound in all;
// the lock of an object that the process keeps open takes the threads'
// mutex before the file lock, waits for it within the bound too, and lets
// go of it where the file lock timed out.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QString>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// The file of this user's object ("E-name" ...) in the folder this process
// uses, which its forked children use too.
QByteArray FileOf(const QByteArray& kindAndName)
{
    return ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), kindAndName);
}

// A process that holds the bookkeeping locks of the files at paths (made
// by prepare, where given, which it runs first) and is then stopped
// (SIGSTOP): as a process stopped inside the bookkeeping holds them. Killed
// at the end.
class TStoppedLockHolder {
public:
    TStoppedLockHolder(const QList<QByteArray>& paths, const std::function<bool()>& prepare)
    {
        FPid = Spawn([&] {
            if (prepare && !prepare())
                _exit(2);
            for (const QByteArray& path : paths) {
                const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || flock(fd, LOCK_EX) != 0)
                    _exit(3);
            }
            raise(SIGSTOP);
            for (;;)
                pause();
        });
        int status = 0;
        FStopped = waitpid(FPid, &status, WUNTRACED) == FPid && WIFSTOPPED(status);
    }
    ~TStoppedLockHolder() { Kill(FPid); }
    TStoppedLockHolder(const TStoppedLockHolder&) = delete;
    TStoppedLockHolder& operator=(const TStoppedLockHolder&) = delete;
    bool Stopped() const { return FStopped; }

private:
    pid_t FPid = -1;
    bool FStopped = false;
};

// A thread of a child that closes a handle when the test says so: the test
// writes a byte to Go and reads one from Done once the handle is closed.
struct TCloser {
    int Go[2] = {-1, -1};
    int Done[2] = {-1, -1};
    TCloser()
    {
        EXPECT_EQ(pipe(Go), 0);
        EXPECT_EQ(pipe(Done), 0);
    }
    ~TCloser()
    {
        for (const int fd : {Go[0], Go[1], Done[0], Done[1]})
            close(fd);
    }
    // In the child: a thread that waits for the word, then closes handle.
    void Start(TSharedHandle handle) const
    {
        std::thread([this, handle] {
            char byte = 0;
            if (read(Go[0], &byte, 1) == 1 && CloseNamedObject(handle))
                (void)!write(Done[1], &byte, 1);
        }).detach();
    }
    // In the test: has the handle closed, while the child's traced thread is
    // stopped; false where it was not.
    bool CloseNow() const
    {
        char byte = 'c';
        return write(Go[1], &byte, 1) == 1 && read(Done[0], &byte, 1) == 1;
    }
};

// One call that a traced child makes while a stopped process holds the
// locks of files: its setup and the call itself, which answer 0 where they
// did as expected; the files that the stopped process locks, after its own
// prepare where given; and the system call at whose
// first entry within the call, where given, the test has the child's closer
// close the handle it was started on.
struct TCall {
    const char* Name;
    std::function<int(const TCloser& closer)> Body; // calls getppid() before and after the call
    QList<QByteArray> Locked;
    std::function<bool()> Prepare;
    std::function<bool(const TTracedChild&)> CloseAt;
};

// The tries of a file lock ('F': a flock that asks for it, not one that
// lets it go) and the pauses between tries ('S': a sleep) that the traced
// child's thread, stopped at a call of getppid(), made up to its next one,
// in order; closer closes its handle at the first call that call.CloseAt
// matches. Where the child ends first, what it made and "<ended>".
QByteArray TriesAndPauses(TTracedChild& child, const TCall& call, const TCloser& closer)
{
    QByteArray seen;
    bool closed = !call.CloseAt;
    while (child.NextCall()) {
        if (!closed && call.CloseAt(child)) {
            if (!closer.CloseNow())
                return seen + "<the handle was not closed>";
            closed = true;
        }
        switch (child.Call()) {
        case SYS_getppid:
            return closed ? seen : seen + "<the handle was never closed>";
        case SYS_flock:
            if ((child.Argument(1) & LOCK_UN) == 0)
                seen += 'F';
            break;
        case SYS_nanosleep:
        case SYS_clock_nanosleep:
            seen += 'S';
            break;
        default:
            break;
        }
    }
    return seen + "<ended>";
}

// The tries and pauses in short: each run of a pause and a try as "(SF)xN".
std::string Runs(const QByteArray& seen)
{
    QString text = QString::fromLatin1(seen);
    static const QRegularExpression run(QStringLiteral("(SF)+"));
    QRegularExpressionMatch match;
    qsizetype from = 0;
    while ((match = run.match(text, from)).hasMatch()) {
        const QString shortened = QStringLiteral(" (SF)x%1 ").arg(match.capturedLength() / 2);
        text.replace(match.capturedStart(), match.capturedLength(), shortened);
        from = match.capturedStart() + shortened.size();
    }
    return text.simplified().toStdString();
}

// Runs the call in a traced child while a process holds its files' locks,
// stopped: the tries and pauses of the call, or why there are none.
QByteArray TracedCall(const TCall& call)
{
    // The objects that the child and the stopped process held, which their
    // ends leave to the next sweep, go at the end (in this user's folder).
    const auto removed = qScopeGuard([] {
        const QByteArray folder = SharedObjectsFolder().toLocal8Bit();
        for (const QByteArray& file : NamesIn(folder))
            if (file.contains(Unique("bound-").toUtf8()))
                unlink((folder + '/' + file).constData());
    });
    const TCloser closer;
    // This process opens a name before it forks: a child forked before its
    // parent's first open keeps its parent's process id, learnt only at the
    // fork, and its opens are refused as a thread's of another table.
    CloseNamedObject(OpenNamedMutex(Unique("bound-parent")));
    TTracedChild child([&] { _exit(call.Body(closer)); });
    if (!child.Refused().isEmpty())
        return "<not traced: " + child.Refused().toLocal8Bit() + '>';
    // Set up before the lock is held, stopped at its first getppid().
    if (!child.RunTo([](const TTracedChild& at) { return at.Call() == SYS_getppid; }))
        return "<ended while set up: " + QByteArray::number(child.Finish()) + '>';
    const TStoppedLockHolder holder(call.Locked, call.Prepare);
    if (!holder.Stopped())
        return "<no process holds the locks>";
    const QByteArray seen = TriesAndPauses(child, call, closer);
    const int answered = child.Finish();
    return answered == 0 ? seen : seen + "<the call answered " + QByteArray::number(answered) + '>';
}

// The child's side of a call: the setup, then the call between two
// getppid(), whose answer it ends with.
int Between(const std::function<int()>& call)
{
    getppid(); // the call begins
    const int answer = call();
    getppid(); // the call has ended
    return answer;
}

bool AtFirst(const TTracedChild& at, long call)
{
    return at.Call() == call;
}

// Makes the handle an orphan: its last reference goes in a thread with a
// table of descriptors of its own, which leaves its close to the next open
// or close of a thread of the process's table.
bool Orphaned(TSharedHandle handle)
{
    bool closed = false;
    std::thread([&] { closed = unshare(CLONE_FILES) == 0 && CloseNamedObject(handle); }).join();
    return closed;
}

// The tries and pauses of a call that waited for its first lock until its
// bound was spent and tried each later one once.
const QRegularExpression kOneBound(QStringLiteral("^F(SF)+F+$"));

// A call that takes several bookkeeping locks while a stopped process holds
// them waits for them within one bound in all: the first lock waits,
// pausing between its tries, until the bound is spent, and every later lock
// of the call is tried once, with no pause. So it is for the last close of
// an event that this process listens to (the end of the listening, then the
// close), and for a listen, an end of listening and a grow that let go of
// their object's last reference (its handle closed as they waited), which
// closes the object. A call that
// gave each lock a bound of its own waited up to that many bounds: after the
// first lock gave up, the next paused between its tries again.
TEST_F(SharedObjectsLockTest, ACallWaitsForAllTheLocksItTakesWithinOneBound)
{
    if (Withheld(TracingWithheld))
        return;
    const QByteArray listened = Unique("bound-listened").toUtf8();
    const QByteArray heard = Unique("bound-heard").toUtf8();
    const QByteArray unheard = Unique("bound-unheard").toUtf8();
    const QByteArray grown = Unique("bound-grown").toUtf8();
    const QString keeper = Unique("bound-keeper"); // keeps the events' wake-up block open
    const auto listen = [&](const QByteArray& name) {
        OpenNamedEvent(keeper, false);
        const TSharedHandle event = OpenNamedEvent(QString::fromUtf8(name), false);
        return ListenNamedEvent(event) >= 0 ? event : 0;
    };
    const TCall calls[] = {
        {"the last close of an event listened to",
         [&](const TCloser&) {
             const TSharedHandle event = listen(listened);
             return event ? Between([&] { return CloseNamedObject(event) ? 0 : 4; }) : 3;
         },
         {FileOf("E-" + listened)},
         {},
         {}},
        {"a listen that lets go of its event",
         [&](const TCloser& closer) {
             OpenNamedEvent(keeper, false);
             const TSharedHandle event = OpenNamedEvent(QString::fromUtf8(heard), false);
             closer.Start(event);
             return Between([&] { return ListenNamedEvent(event) < 0 ? 0 : 4; });
         },
         {FileOf("E-" + heard)},
         {},
         [](const TTracedChild& at) { return AtFirst(at, SYS_flock); }},
        {"an end of listening that lets go of its event",
         [&](const TCloser& closer) {
             const TSharedHandle event = listen(unheard);
             if (!event)
                 return 3;
             closer.Start(event);
             return Between([&] { return UnlistenNamedEvent(event) ? 0 : 4; });
         },
         {FileOf("E-" + unheard)},
         {},
         [](const TTracedChild& at) { return AtFirst(at, SYS_flock); }},
        {"a grow that lets go of its block",
         [&](const TCloser& closer) {
             const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(grown), 64);
             closer.Start(memory);
             return Between([&] {
                 return !GrowNamedMemory(memory, 1 << 20) && LastSharedObjectError().ErrorCode == ETIMEDOUT
                            ? 0
                            : 4;
             });
         },
         {FileOf("M-" + grown)},
         {},
         [](const TTracedChild& at) { return AtFirst(at, SYS_flock); }},
    };
    for (const TCall& call : calls) {
        SCOPED_TRACE(call.Name);
        const QByteArray seen = TracedCall(call);
        EXPECT_TRUE(kOneBound.match(QString::fromLatin1(seen)).hasMatch()) << Runs(seen);
    }
}

// A call that holds no bound of its own, here a set, closes an object all
// the same within one bound where it lets go of the last reference: a set
// of an event that its process listens to, whose handle another thread
// closed as the set rang the listener, ends the listening, closes the event
// and, the event being the last of the process, the events' wake-up block,
// while a stopped process holds the locks of both files. The end of the
// listening waits until the bound is spent; the close of the event and of
// the block try once each. A close with no bound of its own gave each of
// its locks a bound, and a wake-up block closed after the event's bound
// ended had one of its own. Run as a made-up user, whose wake-up block no
// other process of the test's user waits for meanwhile.
TEST_F(SharedObjectsLockTest, AnObjectThatASetLetsGoOfClosesWithinOneBound)
{
    if (Withheld(TracingWithheld, MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(2);
    KeepFolderClean(uid);
    const QByteArray folder = FolderOf(uid);
    const QByteArray name = Unique("bound-rung").toUtf8();
    const TCall call{"a set",
                     [&](const TCloser& closer) {
                         BecomeWithoutRuntime(uid);
                         const TSharedHandle event = OpenNamedEvent(QString::fromUtf8(name), false);
                         if (ListenNamedEvent(event) < 0)
                             return 3;
                         closer.Start(event);
                         return Between([&] { return SetNamedEvent(event) ? 0 : 4; });
                     },
                     {ObjectPath(folder, uid, "E-" + name), ObjectPath(folder, uid, "W-events")},
                     {},
                     [](const TTracedChild& at) { return AtFirst(at, SYS_socket); }};
    const QByteArray seen = TracedCall(call);
    EXPECT_TRUE(kOneBound.match(QString::fromLatin1(seen)).hasMatch()) << Runs(seen);
    EXPECT_TRUE(seen.endsWith("FFF")) << Runs(seen) << ": the event's and the block's closes tried no lock";
}

// An open or a close first closes the orphans of the process (objects whose
// last reference went in a thread with a table of descriptors of its own),
// within its own bound: where a stopped process holds the locks of an
// orphan's file and of the object that the call opens or closes, the
// orphan's lock waits until the bound is spent, and the object's is tried
// once. An orphan's close with a bound of its own left the call a whole
// bound more.
TEST_F(SharedObjectsLockTest, ACallThatClosesAnOrphanFirstWaitsWithinItsOwnBound)
{
    if (Withheld(TracingWithheld, DescriptorTablesWithheld))
        return;
    const QByteArray orphan = Unique("bound-orphan").toUtf8();
    const QByteArray closed = Unique("bound-closed").toUtf8();
    const QByteArray opened = Unique("bound-opened").toUtf8();
    const QString keeper = Unique("bound-orphan-keeper");
    const auto orphaned = [&] { return Orphaned(OpenNamedMemory(QString::fromUtf8(orphan), 64)); };
    const TCall calls[] = {
        {"a close",
         [&](const TCloser&) {
             const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(closed), 64);
             return orphaned() ? Between([&] { return CloseNamedObject(memory) ? 0 : 4; }) : 3;
         },
         {FileOf("M-" + orphan), FileOf("M-" + closed)},
         {},
         {}},
        {"an open",
         [&](const TCloser&) {
             OpenNamedEvent(keeper, false); // the wake-up block open already
             if (!orphaned())
                 return 3;
             return Between([&] {
                 return OpenNamedEvent(QString::fromUtf8(opened), false) == 0 &&
                                LastSharedObjectError().ErrorCode == ETIMEDOUT
                            ? 0
                            : 4;
             });
         },
         {FileOf("M-" + orphan), FileOf("E-" + opened)},
         [&] { return OpenNamedEvent(QString::fromUtf8(opened), false) != 0; },
         {}},
    };
    for (const TCall& call : calls) {
        SCOPED_TRACE(call.Name);
        const QByteArray seen = TracedCall(call);
        EXPECT_TRUE(kOneBound.match(QString::fromLatin1(seen)).hasMatch()) << Runs(seen);
    }
}

// A wait whose handle another thread closes meanwhile lets go of the last
// reference as it ends, and so closes the object: that close counts the
// wait in its bound. Where the wait outlived the bound (here a wait of
// 100 ms longer on an event, on two events and on a mutex, which the
// stopped process holds), the close tries the lock once, with no pause. A close that
// counted its bound from its own start waited that long again after a
// wait of any length.
TEST_F(SharedObjectsLockTest, AWaitThatOutlivedTheBoundClosesWithoutWaitingAgain)
{
    if (Withheld(TracingWithheld))
        return;
    const QByteArray event = Unique("bound-event-wait").toUtf8();
    const QByteArray events = Unique("bound-events-wait").toUtf8();
    const QByteArray mutex = Unique("bound-mutex-wait").toUtf8();
    const QString keeper = Unique("bound-wait-keeper");
    constexpr uint32_t kLonger = 5000 + 100;
    const auto waitClosed = [](TSharedHandle handle, const TCloser& closer) {
        closer.Start(handle);
        return Between([&] { return WaitNamedObject(handle, kLonger) == TWaitResult::wrTimeout ? 0 : 4; });
    };
    // The wait's sleep: on one word, or on several at once.
    const auto asleep = [](const TTracedChild& at) {
        return AtFirst(at, SYS_futex) || AtFirst(at, SYS_futex_waitv);
    };
    const TCall calls[] = {
        {"an event's wait",
         [&](const TCloser& closer) {
             OpenNamedEvent(keeper, false);
             return waitClosed(OpenNamedEvent(QString::fromUtf8(event), false), closer);
         },
         {FileOf("E-" + event)},
         {},
         asleep},
        {"a wait on several events",
         [&](const TCloser& closer) {
             const TSharedHandle other = OpenNamedEvent(keeper, false);
             const TSharedHandle handle = OpenNamedEvent(QString::fromUtf8(events), false);
             closer.Start(handle);
             return Between([&] {
                 return WaitNamedEvents({other, handle}, kLonger) == TWaitResult::wrTimeout ? 0 : 4;
             });
         },
         {FileOf("E-" + events)},
         {},
         asleep},
        {"a mutex's wait",
         [&](const TCloser& closer) { return waitClosed(OpenNamedMutex(QString::fromUtf8(mutex)), closer); },
         {FileOf("X-" + mutex)},
         [&] {
             return WaitNamedObject(OpenNamedMutex(QString::fromUtf8(mutex)), 0) == TWaitResult::wrSignaled;
         },
         asleep},
    };
    for (const TCall& call : calls) {
        SCOPED_TRACE(call.Name);
        EXPECT_EQ(Runs(TracedCall(call)), "F");
    }
}

// The threads that reach the Growing step of a grow, each held there until
// the test lets as many go (a thread stopped inside the bookkeeping lock of
// its block).
std::atomic<int> AtGrowing{0};
std::atomic<int> LetGo{0};

void HoldAtGrowing(TSharedStep step)
{
    if (step != TSharedStep::Growing)
        return;
    const int arrived = ++AtGrowing;
    while (LetGo.load() < arrived)
        sched_yield();
}

// Waits until word reaches value: false where it does not within 20 s.
bool Reaches(const std::atomic<int>& word, int value)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (word.load() < value) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        sched_yield();
    }
    return true;
}

// Waits until the thread at task (its folder in /proc) is asleep in a wait
// of a lock (a pause between tries, or a futex): false where it is not
// within 20 s.
bool AsleepInALock(const QByteArray& task)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const long call = SystemCallOf(task);
        if (call == SYS_nanosleep || call == SYS_clock_nanosleep || call == SYS_futex)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        sched_yield();
    }
}

// A grow on a thread of its own: whether it grew, the error it left, and
// when it has ended.
struct TGrowThread {
    std::atomic<int> Ended{0};
    bool Grown = false;
    int Error = 0;
    QByteArray Task;
    std::atomic<bool> Started{false};
    std::thread Thread;
    TGrowThread(TSharedHandle memory, int64_t size)
        : Thread([this, memory, size] {
              Task = ThreadFolder();
              Started = true;
              Grown = GrowNamedMemory(memory, size);
              Error = Grown ? 0 : LastSharedObjectError().ErrorCode;
              Ended = 1;
          })
    {
        while (!Started.load())
            sched_yield();
    }
    ~TGrowThread()
    {
        if (Thread.joinable())
            Thread.join();
    }
};

// Thread A growing a block (to 64 KiB), held inside its bookkeeping lock at
// the Growing step, and then thread B growing it further (to 128 KiB). At
// the end, however the test ended, every thread held is let go before
// either is joined.
struct THeldGrows {
    explicit THeldGrows(TSharedHandle memory)
    {
        AtGrowing = 0;
        LetGo = 0;
        SetSharedObjectsProbe(&HoldAtGrowing);
        A.emplace(memory, 64 * 1024);
        Held = Reaches(AtGrowing, 1);
        if (Held)
            B.emplace(memory, 128 * 1024);
    }
    ~THeldGrows()
    {
        LetGo = 1 << 20;
        A.reset();
        B.reset();
        SetSharedObjectsProbe(nullptr);
    }
    bool Held = false;
    mutable std::optional<TGrowThread> A, B;
};

// The bookkeeping lock of an object that this process keeps open takes the
// threads' mutex before the file lock, never the file lock first. Thread A
// grows a block and is held inside the lock, at the Growing step; thread B
// grows it further and waits for the lock; A is let go, and B, once it
// holds the lock, is held at the same step: then the file's lock is held
// for other processes (tried here through a descriptor of this process's
// own, as another process tries it). A lock that took the file lock first
// got it at once in B, its descriptor being A's (a file lock belongs to
// the open file description), then waited for the mutex; A let go of the
// file lock as it ended, and B went on in the bookkeeping with nothing
// keeping other processes out.
TEST_F(SharedObjectsLockTest, TheThreadsMutexIsTakenBeforeTheFileLock)
{
    const QString name = Unique("lock-order");
    const TSharedHandle memory = OpenNamedMemory(name, 64);
    const THeldGrows grows(memory);
    ASSERT_TRUE(grows.Held) << "A never reached its Growing step";
    TGrowThread& a = *grows.A;
    TGrowThread& b = *grows.B;
    ASSERT_TRUE(AsleepInALock(b.Task)) << "B does not wait for the lock";
    LetGo = 1;
    ASSERT_TRUE(Reaches(AtGrowing, 2)) << "B never reached its Growing step";
    EXPECT_EQ(TryBookkeepingLock(FileOf("M-" + name.toUtf8())), EWOULDBLOCK)
        << "B is inside the bookkeeping with the file lock free";
    LetGo = 2;
    a.Thread.join();
    b.Thread.join();
    EXPECT_TRUE(a.Grown && b.Grown) << a.Error << ' ' << b.Error;
    CloseNamedObject(memory);
}

// The threads' mutex is waited for within the call's bound, as the file
// lock is: while thread A is held inside the bookkeeping lock of a block (at
// its Growing step), thread B's grow of the block gives up (ETIMEDOUT)
// and returns, A still held. A lock that waited for the mutex without the
// bound kept B until A was let go.
TEST_F(SharedObjectsLockTest, TheThreadsMutexIsWaitedForWithinTheBound)
{
    const QString name = Unique("lock-mutex-bound");
    const TSharedHandle memory = OpenNamedMemory(name, 64);
    const THeldGrows grows(memory);
    ASSERT_TRUE(grows.Held) << "A never reached its Growing step";
    TGrowThread& a = *grows.A;
    TGrowThread& b = *grows.B;
    // A generous net: B gives up after the bound of 5000 ms.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (b.Ended.load() == 0 && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    const bool endedWhileAHeld = b.Ended.load() == 1 && AtGrowing.load() == 1;
    LetGo = 1 << 20; // A, and B where it waited for A
    a.Thread.join();
    b.Thread.join();
    EXPECT_TRUE(endedWhileAHeld) << "B waited for A";
    EXPECT_FALSE(b.Grown);
    EXPECT_EQ(b.Error, ETIMEDOUT);
    EXPECT_TRUE(a.Grown) << a.Error;
    CloseNamedObject(memory);
}

// A step whose file lock timed out (a stopped process held it) lets go of
// the threads' mutex as it gives up: once the stopped process is gone,
// the same process's next grow of the block or listen to the event, and
// its last close, take the lock as before. A lock that kept the mutex
// where the file lock timed out left every later step of that object in
// the process to fail, and its last close to leave the object behind.
TEST_F(SharedObjectsLockTest, AStepWhoseFileLockTimedOutLetsGoOfTheThreadsMutex)
{
    struct TRow {
        const char* Name;
        const char* Kind; // of the object's file
        std::function<bool(TSharedHandle)> Step;
    };
    const TRow rows[] = {
        {"a grow", "M-", [](TSharedHandle memory) { return GrowNamedMemory(memory, 64 * 1024); }},
        {"a listen", "E-",
         [](TSharedHandle event) {
             const int descriptor = ListenNamedEvent(event);
             if (descriptor < 0)
                 return false;
             close(descriptor);
             return UnlistenNamedEvent(event);
         }},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString name = Unique("lock-timed-out-") + QLatin1String(row.Kind);
        const TSharedHandle handle =
            row.Kind[0] == 'M' ? OpenNamedMemory(name, 64) : OpenNamedEvent(name, false);
        const QByteArray file = FileOf(row.Kind + name.toUtf8());
        {
            const TStoppedLockHolder holder({file}, {});
            ASSERT_TRUE(holder.Stopped());
            EXPECT_FALSE(row.Step(handle)) << "not refused while the lock was held";
        } // the holder is killed, and its lock goes with it
        EXPECT_TRUE(row.Step(handle)) << LastSharedObjectError().Message().toStdString();
        EXPECT_TRUE(CloseNamedObject(handle));
        EXPECT_FALSE(SomethingAt(file)) << "the last close left the object";
    }
}

} // namespace
