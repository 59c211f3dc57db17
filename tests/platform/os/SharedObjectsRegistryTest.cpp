// This process's handles and views of the named objects, and the open by
// name: a block opened by name is one block across processes and one view
// in a process, a block that cannot be made raises, unnamed blocks are not
// shared, bad handles fail without harm, and every error of an open is the
// system's own, naming what failed, with no descriptor left behind. A child
// made by fork() (from any thread, while others work) uses none of its
// parent's handles and does not hold its parent's objects; a thread with a
// table of descriptors of its own is refused what would use the objects'
// descriptors and served the rest.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsRegistryTest, MemoryIsSharedByNameAcrossProcessesAndRemovedByTheLastClose)
{
    const QString name = Unique("mem");
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    ASSERT_NE(memory, 0u);
    EXPECT_EQ(NamedMemorySize(memory), 4096);
    auto* bytes = static_cast<char*>(MapNamedMemory(memory));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0); // a new block is zero filled
    std::strcpy(bytes, "parent");

    // The child opens the name with another size: the existing block, with its
    // own size, is what it gets.
    Child child([&] {
        const TSharedHandle h = OpenNamedMemory(name, 16);
        auto* view = static_cast<char*>(MapNamedMemory(h));
        const bool same = view && NamedMemorySize(h) == 4096 && std::strcmp(view, "parent") == 0;
        if (view)
            std::strcpy(view, "child");
        return same ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_STREQ(bytes, "child");

    // A second handle in the same process shares the mapping.
    const TSharedHandle again = OpenNamedMemory(name, 0);
    EXPECT_EQ(MapNamedMemory(again), bytes);
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(again));
    EXPECT_TRUE(ShmExists("M-" + name));
    EXPECT_TRUE(UnmapNamedMemory(bytes));
    EXPECT_TRUE(CloseNamedObject(memory));
    EXPECT_FALSE(ShmExists("M-" + name));
}

TEST_F(SharedObjectsRegistryTest, MemoryThatCannotBeMadeRaisesAndUnnamedBlocksAreNotShared)
{
    try {
        OpenNamedMemory(Unique("missing"), 0); // size 0 only opens
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, ENOENT);
        EXPECT_TRUE(e.Message().startsWith("System Error.  Code: 2.")) << e.Message().toStdString();
    }
    EXPECT_THROW(OpenNamedMemory(QString(), 0), EOSError);

    const TSharedHandle a = OpenNamedMemory(QString(), 64);
    const TSharedHandle b = OpenNamedMemory(QString(), 64);
    auto* va = static_cast<char*>(MapNamedMemory(a));
    auto* vb = static_cast<char*>(MapNamedMemory(b));
    ASSERT_TRUE(va && vb);
    EXPECT_NE(va, vb);
    // A forked child writes through the unnamed block it inherited.
    Child child([&] {
        va[0] = 'c';
        return 'Y';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_EQ(va[0], 'c');
    EXPECT_EQ(vb[0], 0);
    UnmapNamedMemory(va);
    UnmapNamedMemory(vb);
    CloseNamedObject(a);
    CloseNamedObject(b);
}

TEST_F(SharedObjectsRegistryTest, BadHandlesFailWithoutHarm)
{
    EXPECT_FALSE(CloseNamedObject(0));
    EXPECT_FALSE(CloseNamedObject(987654321));
    EXPECT_EQ(MapNamedMemory(987654321), nullptr);
    EXPECT_FALSE(UnmapNamedMemory(reinterpret_cast<void*>(0x1000)));
    EXPECT_FALSE(SetNamedEvent(987654321));
    EXPECT_EQ(WaitNamedObject(987654321, 0), TWaitResult::wrFailed);
    EXPECT_EQ(WaitNamedEvents({}, 0), TWaitResult::wrFailed);
    // A mutex is no event, an event no memory block.
    const TSharedHandle mutex = OpenNamedMutex(Unique("kind-m"));
    const TSharedHandle event = OpenNamedEvent(Unique("kind-e"), false);
    EXPECT_FALSE(SetNamedEvent(mutex));
    EXPECT_EQ(WaitNamedEvents({event, mutex}, 0), TWaitResult::wrFailed);
    EXPECT_EQ(MapNamedMemory(event), nullptr);
    EXPECT_FALSE(ReleaseNamedMutex(event));
    CloseNamedObject(mutex);
    CloseNamedObject(event);
    EXPECT_FALSE(CloseNamedObject(mutex)); // closed twice
}

// Every error of an open is the system's own, naming what failed, and no
// open leaves a descriptor behind. A create that the user's own folder
// refuses (made 0500) says EACCES. A mended open (an event's file of the
// user's own without the owner's rights, held by another process) and a
// refused one (a file of the user's own open to its group) leave the
// process as many descriptors as before; a FIFO of the user's own without
// rights at an object's name is neither given rights nor opened. With one,
// two or three descriptors free, a process's first open (its folder chosen,
// the wake-up block and the event made), one that first mends its folder
// (0300), and one that mends an event's file each work or fail with EMFILE
// naming what they failed at, never with EACCES or EAGAIN.
TEST_F(SharedObjectsRegistryTest, EveryErrorOfAnOpenIsTheSystemsOwn)
{
    const TLifetimeUser user;
    if (Withheld(user.RightsWithheld()))
        return;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("errors", a);
    const QByteArray denied = "error 13 System Error.  Code: 13. Permission denied ";

    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(chmod(runtime.Path.constData(), 0500), 0);
    EXPECT_EQ(p->Ask("memory m 64", 20000), denied + runtime.File(a, "M-m"));
    ASSERT_EQ(chmod(runtime.Path.constData(), 0700), 0);

    const QByteArray before = p->Ask("descriptors", 20000);
    int held = HeldFile(runtime.File(a, "E-mended"), a, 0400);
    EXPECT_EQ(p->Ask("event mended", 20000), "event clear");
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "E-mended")), "100600 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("close mended", 20000), "closed");
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a mended open";
    held = HeldFile(runtime.File(a, "E-group"), a, 0070);
    EXPECT_EQ(p->Ask("event group", 20000), denied + runtime.File(a, "E-group"));
    close(held);
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a refused open";
    const QByteArray fifo = runtime.File(a, "X-fifo");
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_EQ(lchown(fifo.constData(), a, a), 0);
    ASSERT_EQ(chmod(fifo.constData(), 0), 0);
    EXPECT_EQ(p->Ask("mutex fifo", 20000), denied + fifo);
    EXPECT_EQ(ModeAndOwner(fifo), "10000 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("descriptors", 20000), before) << "after a FIFO refused";
    unlink(fifo.constData());
    EXPECT_EQ(p->Finish(20000), 0);

    struct TRoad {
        const char* Name;
        mode_t Folder;  // the folder's mode before the open
        bool EventFile; // the event's file is there, held, without its owner's rights
    };
    const TRoad roads[] = {
        {"a first open", 0700, false},
        {"a first open that mends its folder", 0300, false},
        {"an open that mends the event's file", 0700, true},
    };
    for (const TRoad& road : roads) {
        for (const int free : {1, 2, 3}) {
            SCOPED_TRACE(QStringLiteral("%1, %2 descriptors free")
                             .arg(QLatin1String(road.Name))
                             .arg(free)
                             .toStdString());
            for (const QByteArray& name : NamesIn(runtime.Path))
                unlink((runtime.Path + '/' + name).constData());
            ASSERT_EQ(chmod(runtime.Path.constData(), road.Folder), 0);
            auto q = Script(a, runtime);
            int eventFile = -1;
            if (road.EventFile) {
                ASSERT_EQ(q->Ask("mutex first", 20000), "mutex taken");
                eventFile = HeldFile(runtime.File(a, "E-e"), a, 0400);
            }
            const QByteArray answer = q->Ask("tight " + QByteArray::number(free) + " event e", 20000);
            if (answer != "event clear") {
                EXPECT_TRUE(answer.startsWith("error 24 System Error.  Code: 24. Too many open files " +
                                              runtime.Path))
                    << answer.constData();
            }
            EXPECT_EQ(q->Ask("event e", 20000), "event clear");
            EXPECT_EQ(q->Ask("folder", 20000), "folder " + runtime.Path);
            if (eventFile >= 0)
                close(eventFile);
            EXPECT_EQ(q->Finish(20000), 0);
        }
    }
}

// A fork() made while other threads are inside the calls of the named
// objects gives a child that can make them: six threads of this process
// set an event and take and release a mutex without pause, each call
// through the registry's lock, and each of 300 children forked meanwhile
// opens, sets, takes and closes an event of its own within 10 s. A lock of
// the unit copied into the child while a thread the child does not have
// held it would leave the child's first call waiting for good. (The busy
// threads allocate no memory: the allocator of AddressSanitizer, which the
// test build uses, is not kept whole across a fork as the C library's is,
// and a child forked while another thread allocated may wait in it. A
// thread that is still starting does allocate, inside that sanitizer, so
// the first child is forked only once every busy thread runs its loop:
// forked as they start, a child may find a lock of the allocator copied
// held and wait for it for good at its first allocation of that size.)
TEST_F(SharedObjectsRegistryTest, AChildForkedWhileOtherThreadsWorkCanUseTheObjects)
{
    const TSharedHandle busy = OpenNamedEvent(Unique("fork-busy"), true);
    std::vector<TSharedHandle> mutexes;
    for (int i = 0; i < 6; ++i)
        mutexes.push_back(OpenNamedMutex(Unique("fork-worker-") + QString::number(i)));
    std::atomic<bool> stop{false};
    std::atomic<int> running{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 6; ++i) {
        workers.emplace_back([&, i] {
            ++running;
            while (!stop) {
                SetNamedEvent(busy);
                if (WaitNamedObject(mutexes[size_t(i)], 0) == TWaitResult::wrSignaled)
                    ReleaseNamedMutex(mutexes[size_t(i)]);
            }
        });
    }
    while (running.load() < 6)
        std::this_thread::yield();
    QString failed;
    for (int n = 0; n < 300 && failed.isEmpty(); ++n) {
        const QString answer = RunInChildWithin(10000, [n] {
            const TSharedHandle event = OpenNamedEvent(Unique("fork-child-") + QString::number(n), false);
            if (!event)
                return LastSharedObjectError().Message();
            const bool worked = SetNamedEvent(event) &&
                                WaitNamedObject(event, 0) == TWaitResult::wrSignaled &&
                                CloseNamedObject(event);
            return worked ? QStringLiteral("made") : QStringLiteral("not set and taken");
        });
        if (answer != QLatin1String("made"))
            failed = QStringLiteral("child %1: %2").arg(n).arg(answer);
    }
    stop = true;
    for (std::thread& worker : workers)
        worker.join();
    CloseNamedObject(busy);
    for (const TSharedHandle mutex : mutexes)
        CloseNamedObject(mutex);
    EXPECT_EQ(failed.toStdString(), "");
}

// The first fork() of a process gives a child that opens its names,
// whatever the process did before: asked its folder, or made a call on a
// handle (which makes the registry and asks the kernel nothing). The
// handler that has the child forget its parent's process id is registered
// with the registry, before any road asks that id: registered at the
// fork's own first look-up of it, it was not run for that fork, and the
// child, taking its parent's id for its own, took its table of descriptors
// for another thread's and was refused every open.
TEST_F(SharedObjectsRegistryTest, TheFirstForkOfAProcessGivesAChildThatOpensItsNames)
{
    const TRuntimeFolder runtime("first-fork", geteuid());
    const QByteArray rows[][2] = {
        {"folder", "folder " + runtime.Path},
        {"set none", "error 0 set"},
    };
    for (const auto& [first, answer] : rows) {
        SCOPED_TRACE(first.constData());
        auto p = Script(geteuid(), runtime);
        EXPECT_EQ(p->Ask(first, 20000).toStdString(), answer.toStdString());
        EXPECT_EQ(p->Ask("forked event first-fork", 20000).toStdString(), "event clear");
        EXPECT_EQ(p->Ask("forked mutex first-fork", 20000).toStdString(), "mutex taken");
        EXPECT_EQ(p->Finish(20000), 0);
    }
}

// A child made by fork() cannot use its parent's handles: its take of the
// parent's mutex fails (wrFailed), so that the child, ending, leaves the
// mutex to the parent as it was, not abandoned; its set, map and close of
// the parent's handles fail too, and the parent's objects are as before.
TEST_F(SharedObjectsRegistryTest, AForkedChildCannotUseItsParentsHandles)
{
    const TSharedHandle mutex = OpenNamedMutex(Unique("parent-m"));
    const TSharedHandle event = OpenNamedEvent(Unique("parent-e"), false);
    const TSharedHandle memory = OpenNamedMemory(Unique("parent-b"), 64);
    Child child([&] {
        const bool refused = WaitNamedObject(mutex, 0) == TWaitResult::wrFailed &&
                             !ReleaseNamedMutex(mutex) && !SetNamedEvent(event) &&
                             MapNamedMemory(memory) == nullptr && NamedMemorySize(memory) == 0 &&
                             !CloseNamedObject(event);
        return refused ? 'Y' : 'N';
    });
    EXPECT_EQ(child.Result(), 'Y');
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled);
    EXPECT_TRUE(ReleaseNamedMutex(mutex));
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);
    EXPECT_EQ(NamedMemorySize(memory), 64);
    for (const TSharedHandle handle : {mutex, event, memory})
        EXPECT_TRUE(CloseNamedObject(handle));
}

// A child made by fork() does not hold its parent's objects: the parent's
// last close removes a block while the child, which inherited its
// descriptor, lives on. Where the parent ends without closing, the
// descriptors that its child inherited keep the block from being swept
// until the child ends: an opener meanwhile finds the block as the parent
// left it, and one after the child ended finds the name as one never made.
TEST_F(SharedObjectsRegistryTest, AForkedChildHoldsNoneOfItsParentsObjects)
{
    const QString closed = Unique("fork-closed");
    const TSharedHandle memory = OpenNamedMemory(closed, 64);
    {
        TPausedChild child([] { return 'Y'; });
        ASSERT_EQ(child.Ready(), 'Y');
        EXPECT_TRUE(CloseNamedObject(memory));
        EXPECT_FALSE(ShmExists("M-" + closed)) << "the child's inherited descriptor kept the block";
    }

    const QString left = Unique("fork-left");
    int toChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    pid_t heir = 0;
    int fromParent[2];
    ASSERT_EQ(pipe(fromParent), 0);
    const pid_t parent = Spawn([&] {
        const TSharedHandle block = OpenNamedMemory(left, 64);
        static_cast<char*>(MapNamedMemory(block))[0] = 'p';
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            char byte;
            (void)!read(toChild[0], &byte, 1);
            _exit(0);
        }
        (void)!write(fromParent[1], &grandchild, sizeof(grandchild));
        _exit(0); // without closing
    });
    ASSERT_EQ(read(fromParent[0], &heir, sizeof(heir)), ssize_t(sizeof(heir)));
    EXPECT_EQ(ExitCode(parent), 0);
    const auto firstByte = [&] {
        const TSharedHandle again = OpenNamedMemory(left, 64);
        char* view = static_cast<char*>(MapNamedMemory(again));
        const char byte = view[0];
        UnmapNamedMemory(view);
        CloseNamedObject(again);
        return byte;
    };
    EXPECT_EQ(firstByte(), 'p') << "swept while the child held the parent's descriptor";
    // The grandchild is not this process's child: its end is seen through
    // a descriptor of the process, readable once its descriptors are gone.
    const int ended = int(syscall(SYS_pidfd_open, heir, 0));
    ASSERT_GE(ended, 0) << strerror(errno);
    (void)!write(toChild[1], "x", 1);
    pollfd gone{ended, POLLIN, 0};
    EXPECT_EQ(poll(&gone, 1, 20000), 1);
    close(ended);
    EXPECT_EQ(firstByte(), 0) << "kept after the child ended";
    for (const int fd : {toChild[0], toChild[1], fromParent[0], fromParent[1]})
        close(fd);
}

// The numbers of this process's open descriptors, as /proc lists them.
std::vector<int> DescriptorNumbers()
{
    std::vector<int> numbers;
    for (const QString& entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System))
        numbers.push_back(entry.toInt());
    return numbers;
}

// The number that the descriptor of the object's file (in the user's folder
// this process uses) has in this process's table; -1 where none.
int DescriptorOf(const QByteArray& kindAndName)
{
    const QByteArray path = ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), kindAndName);
    for (const int number : DescriptorNumbers())
        if (QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(number)).toLocal8Bit() == path)
            return number;
    return -1;
}

// A file of this process's own in the temporary folder, for a thread's
// table to hold at numbers that the process's table gives to other files;
// removed at the end.
struct TDecoyFile {
    QByteArray Path = QDir::tempPath().toLocal8Bit() + "/tessvar-decoy-" + QByteArray::number(getpid());
    TDecoyFile() { close(open(Path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)); }
    ~TDecoyFile() { unlink(Path.constData()); }
    TDecoyFile(const TDecoyFile&) = delete;
    TDecoyFile& operator=(const TDecoyFile&) = delete;
};

// Whether descriptor is open in the calling thread's table on the file at
// path.
bool OpenOn(int descriptor, const QByteArray& path)
{
    struct stat open {
    }, named{};
    return fstat(descriptor, &open) == 0 && stat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Runs body on a new thread with a table of descriptors of its own, in
// which the numbers given stand for a file of its own (a decoy), not for
// what they stand for in the process: the text body answers, or why the
// thread could not be made so.
QString OnThreadWithOwnTable(const std::vector<int>& numbers, const QByteArray& decoy,
                             const std::function<QString()>& body)
{
    QString answer;
    std::thread thread([&] {
        if (unshare(CLONE_FILES) != 0) {
            answer = QStringLiteral("<unshare: %1>").arg(QString::fromLocal8Bit(strerror(errno)));
            return;
        }
        const int file = open(decoy.constData(), O_RDONLY | O_CLOEXEC);
        for (const int number : numbers)
            dup3(file, number, O_CLOEXEC);
        close(file);
        answer = body();
    });
    thread.join();
    return answer;
}

// A thread with a table of descriptors of its own (unshare(CLONE_FILES))
// is refused what would make or use the objects' descriptors, which are
// numbers of its process's table: an open (of a new name, of an unnamed
// object), a grow, a listen and its end fail with EINVAL saying so and
// naming the object. What uses no descriptor is served: an open of a name
// that the process holds, a grow to the size the block has, the end of a
// listening where the process listens not. It is served the calls on handles: it takes
// and releases a mutex, maps a block, and sets an event whose listener (in
// this process) hears it; the number of the descriptor through which the
// process rings the listener, which stands for a decoy file in the
// thread's table, is not used there, so the process's next set still
// rings. The decoy files at those numbers are left open.
TEST_F(SharedObjectsRegistryTest, AThreadWithATableOfItsOwnIsRefusedTheObjectsDescriptorsAndServedTheRest)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("own-table");
    const TSharedHandle event = OpenNamedEvent(name, false);
    const TSharedHandle mutex = OpenNamedMutex(name);
    const TSharedHandle memory = OpenNamedMemory(name, 64);
    const TSharedHandle quiet = OpenNamedEvent(name + "-quiet", false); // nobody listens
    const int listener = ListenNamedEvent(event);
    ASSERT_GE(listener, 0) << LastSharedObjectError().Message().toStdString();
    const auto closed = qScopeGuard([&] {
        close(listener);
        for (const TSharedHandle handle : {event, mutex, memory, quiet})
            CloseNamedObject(handle);
    });
    const auto rung = [&] {
        pollfd ready{listener, POLLIN, 0};
        const bool readable = poll(&ready, 1, 5000) == 1;
        DrainEventDescriptor(listener);
        WaitNamedObject(event, 0);
        return readable;
    };
    // The process's ringing socket, made by a set of its own: the number it
    // has here stands for the decoy in the thread.
    const std::vector<int> before = DescriptorNumbers();
    ASSERT_TRUE(SetNamedEvent(event));
    ASSERT_TRUE(rung());
    const TDecoyFile decoy;
    const QByteArray folder = SharedObjectsFolder().toLocal8Bit();
    std::vector<int> taken{DescriptorOf("E-" + name.toUtf8())};
    for (const int number : DescriptorNumbers())
        if (std::find(before.begin(), before.end(), number) == before.end())
            taken.push_back(number); // the ringing socket
    ASSERT_GE(taken.size(), 2u);

    const QString answer = OnThreadWithOwnTable(taken, decoy.Path, [&] {
        QStringList seen;
        // Refused with EINVAL, saying why and naming the object.
        const auto refusal = [&](bool refused, const QString& object) {
            const EOSError error = LastSharedObjectError();
            return refused && error.ErrorCode == EINVAL &&
                           error.Message().contains("table of descriptors of its own") &&
                           error.Message().endsWith('\n' + object)
                       ? QStringLiteral("refused")
                       : QStringLiteral("not refused: ") + error.Message();
        };
        const auto file = [&](const QString& kindAndName) {
            return QString::fromLocal8Bit(ObjectPath(folder, geteuid(), kindAndName.toUtf8()));
        };
        const QString fresh = Unique("own-table-new");
        seen << "open: " + refusal(OpenNamedEvent(fresh, false) == 0, file("E-" + fresh));
        try {
            OpenNamedMemory(fresh, 64);
            seen << QStringLiteral("open of a block: not refused");
        } catch (const EOSError&) {
            seen << "open of a block: " + refusal(true, file("M-" + fresh));
        }
        seen << "open of an unnamed mutex: " + refusal(OpenNamedMutex(QString()) == 0, "(an unnamed mutex)");
        const TSharedHandle again = OpenNamedMutex(name);
        seen << QStringLiteral("re-open: %1").arg(again && CloseNamedObject(again) ? "served" : "refused");
        seen << "grow: " + refusal(!GrowNamedMemory(memory, 4096), file("M-" + name));
        seen << "listen: " + refusal(ListenNamedEvent(event) < 0, file("E-" + name));
        seen << "end of listening: " + refusal(!UnlistenNamedEvent(event), file("E-" + name));
        seen << QStringLiteral("grow to its size, end of no listening: %1")
                    .arg(GrowNamedMemory(memory, 64) && UnlistenNamedEvent(quiet) ? "served" : "refused");
        const bool served = WaitNamedObject(mutex, 1000) == TWaitResult::wrSignaled &&
                            ReleaseNamedMutex(mutex) && MapNamedMemory(memory) &&
                            UnmapNamedMemory(MapNamedMemory(memory)) &&
                            UnmapNamedMemory(MapNamedMemory(memory)) && SetNamedEvent(event);
        seen << QStringLiteral("calls on handles: %1").arg(served ? "served" : "refused");
        bool decoys = true;
        for (const int number : taken)
            decoys = decoys && OpenOn(number, decoy.Path);
        seen << QStringLiteral("decoys: %1").arg(decoys ? "open" : "closed or replaced");
        return seen.join('\n');
    });
    const QStringList expected = {
        "open: refused",
        "open of a block: refused",
        "open of an unnamed mutex: refused",
        "re-open: served",
        "grow: refused",
        "listen: refused",
        "end of listening: refused",
        "grow to its size, end of no listening: served",
        "calls on handles: served",
        "decoys: open",
    };
    EXPECT_EQ(answer.toStdString(), expected.join('\n').toStdString());
    EXPECT_TRUE(rung()) << "the thread's set was not heard";
    EXPECT_EQ(NamedMemorySize(memory), 64);
    ASSERT_TRUE(SetNamedEvent(event));
    EXPECT_TRUE(rung()) << "the process's next set was not heard";
}

// Where the last reference to an object goes in a thread with a table of
// descriptors of its own (a wait on the event, whose last handle another
// thread closed meanwhile), the object is not closed there: the number of
// its descriptor stands for a decoy file in the thread's table, which stays
// open, and the object's file stays until the next open of a thread of the
// process's table, which closes it and so removes it.
TEST_F(SharedObjectsRegistryTest, AnObjectWhoseLastReferenceGoesInAThreadWithATableOfItsOwnIsClosedLater)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("own-table-last");
    const TSharedHandle event = OpenNamedEvent(name, false);
    const int number = DescriptorOf("E-" + name.toUtf8());
    ASSERT_GE(number, 0);
    const TDecoyFile decoy;
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        SleepersReach(name, 1); // the waiter holds the object
        closed = CloseNamedObject(event);
    });
    const QString answer = OnThreadWithOwnTable({number}, decoy.Path, [&] {
        const TWaitResult result = WaitNamedObject(event, 1000);
        return QStringLiteral("%1, decoy %2")
            .arg(result == TWaitResult::wrTimeout ? "timed out" : "not timed out")
            .arg(OpenOn(number, decoy.Path) ? "open" : "closed or replaced");
    });
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer.toStdString(), "timed out, decoy open");
    EXPECT_TRUE(ShmExists("E-" + name)) << "closed in the thread";
    const TSharedHandle next = OpenNamedMutex(Unique("own-table-next"));
    EXPECT_FALSE(ShmExists("E-" + name)) << "not closed at the next open";
    CloseNamedObject(next);
}

} // namespace
