// How the named objects live and go: an object's file name, whatever the
// characters or the length of its name; the removal of an object (its file,
// a listener's socket, the events' wake-up block) by the last of its
// closers, however they race, where the last holder was killed or closes
// with its descriptor table full, and where a remover is stopped between
// its unlinks; the sweep of what killed processes left; removals under a
// file size limit of a few bytes; creates on a full /dev/shm; the mend of
// an object's file that lacks its owner's rights; and blocks of the first
// layout, left locked, that stop nothing of this one.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EarlierLayoutBlock.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include <functional>
#include <tuple>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

TEST_F(SharedObjectsLifetimeTest, NamesWithAnyCharactersAndLongNamesWork)
{
    const QString odd = Unique("Global\\a/b c:\u00e8\u4e00");
    const QString longName = Unique("x") + QString(300, u'n');
    for (const QString& name : {odd, longName}) {
        const TSharedHandle first = OpenNamedEvent(name, true);
        const TSharedHandle second = OpenNamedEvent(name, false);
        ASSERT_NE(first, 0u) << name.toStdString();
        SetNamedEvent(first);
        EXPECT_EQ(WaitNamedObject(second, 0), TWaitResult::wrSignaled);
        CloseNamedObject(first);
        CloseNamedObject(second);
    }
    // The two names differ only where escaping could merge them.
    const TSharedHandle p = OpenNamedEvent(Unique("a%2F"), true);
    const TSharedHandle q = OpenNamedEvent(Unique("a/"), true);
    SetNamedEvent(p);
    EXPECT_EQ(WaitNamedObject(q, 0), TWaitResult::wrTimeout);
    CloseNamedObject(p);
    CloseNamedObject(q);
}

// Processes of one user that close everything they opened leave no object
// behind, the wake-up word of the events included; objects of a process
// killed with them open are removed by the next process of the user that
// finds them unused. Run as a made-up user, whose folder is this test's
// alone.
TEST_F(SharedObjectsLifetimeTest, CleanExitsLeaveNoObjectAndLeftoversAreSwept)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(3);
    KeepFolderClean(uid);
    auto useEverything = [] {
        const TSharedHandle memory = OpenNamedMemory(QStringLiteral("m"), 100);
        GrowNamedMemory(memory, 5000);
        void* view = MapNamedMemory(memory);
        const TSharedHandle mutex = OpenNamedMutex(QStringLiteral("x"));
        const TSharedHandle event = OpenNamedEvent(QStringLiteral("e"), true);
        const TSharedHandle unnamed = OpenNamedEvent(QString(), false);
        // Its descriptor stays open: the socket's name goes with the event.
        const bool listens = ListenNamedEvent(event) >= 0;
        SetNamedEvent(event);
        SetNamedEvent(unnamed);
        const bool ok = view && listens && WaitNamedObject(mutex, 100) == TWaitResult::wrSignaled &&
                        WaitNamedEvents({unnamed, event}, 100) == TWaitResult::wrSignaled;
        ReleaseNamedMutex(mutex);
        return std::make_tuple(ok, memory, view, mutex, event, unnamed);
    };
    EXPECT_EQ(AsUser(uid,
                     [&] {
                         auto [ok, memory, view, mutex, event, unnamed] = useEverything();
                         UnmapNamedMemory(view);
                         for (TSharedHandle handle : {memory, mutex, event, unnamed})
                             CloseNamedObject(handle);
                         return ok ? 0 : 1;
                     }),
              0);
    EXPECT_EQ(NamesIn(FolderOf(uid)), QList<QByteArray>{});

    // Killed with everything open: the files stay until the next process.
    EXPECT_EQ(AsUser(uid,
                     [&] {
                         useEverything();
                         raise(SIGKILL);
                         return 1;
                     }),
              200 + SIGKILL);
    EXPECT_EQ(NamesIn(FolderOf(uid)).size(), 5); // the listener's socket among them
    EXPECT_EQ(AsUser(uid,
                     [] {
                         CloseNamedObject(OpenNamedMutex(QStringLiteral("next")));
                         return 0;
                     }),
              0);
    EXPECT_EQ(NamesIn(FolderOf(uid)), QList<QByteArray>{});
}

// Processes of a user that hold a block (one wrote a number into it) and a
// set manual event close them at one instant, in rounds: once they have
// closed, neither name is left in the folder, and a process of the user
// that swept its folder long before creates both fresh. No close began
// before its instant.
//
// Which closer looks last is the kernel's choice. The block is large and
// every closer has all its pages mapped, so that what a closer does after
// its bookkeeping (unmapping the block) takes a while: a closer that kept
// its use of the block until then would be seen by another closer looking
// meanwhile, neither would take the block, and its name would be left.
// Only rounds whose closers met race anything: where the closer that began
// last began before another had ended, as each closer says when its close
// began and ended. Rounds are taken until kMet of them did; on a busy
// machine, where closers waiting for a CPU at their instant miss each other
// in round after round, that takes more rounds, up to a generous bound,
// past which the test is skipped, saying how few met: it raced too little
// to pass.
TEST_F(SharedObjectsLifetimeTest, ClosersThatRaceTakeTheObjectWithTheLastOfThem)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    auto later = Script(a);
    ASSERT_EQ(later->Ask("event " + Unique("swept").toUtf8(), 20000), "event clear"); // its first open sweeps
    const QByteArray folder = later->Ask("folder", 20000).mid(7);
    constexpr int kMet = 20;
    constexpr int kMostRounds = 50 * kMet;
    constexpr int kBlockBytes = 16 << 20;
    const QByteArray blockBytes = QByteArray::number(kBlockBytes);
    // A word in every page, and the last.
    const QByteArray pages = "pages " + QByteArray::number(kBlockBytes / 4096 + 1) + ' ';
    QStringList fewMet;
    for (const int count : {2, 4}) {
        SCOPED_TRACE(count);
        std::vector<std::unique_ptr<TFreshProcess>> closers;
        for (int i = 0; i < count; ++i)
            closers.push_back(Script(a));
        int stale = 0;
        int met = 0;
        int early = 0;
        int round = 0;
        QByteArray left; // the names a round left, which end the rounds
        for (; met < kMet && round < kMostRounds && left.isEmpty(); ++round) {
            const QByteArray round_ = QByteArray::number(count) + '-' + QByteArray::number(round);
            const QByteArray block = Unique("blk-").toUtf8() + round_;
            const QByteArray event = Unique("ev-").toUtf8() + round_;
            // The closers open the names side by side, each mapping every
            // page of the block; the first writes and sets.
            for (auto& closer : closers) {
                ASSERT_TRUE(closer->Send("memory " + block + ' ' + blockBytes));
                ASSERT_TRUE(closer->Send("event " + event));
                ASSERT_TRUE(closer->Send("readall " + block));
            }
            ASSERT_TRUE(closers[0]->Send("write " + block + " 19"));
            ASSERT_TRUE(closers[0]->Send("set " + event));
            for (auto& closer : closers) {
                ASSERT_TRUE(closer->ReadLine(20000).startsWith("memory " + blockBytes + ' '));
                ASSERT_TRUE(closer->ReadLine(20000).startsWith("event "));
                ASSERT_TRUE(closer->ReadLine(20000).startsWith(pages));
            }
            ASSERT_EQ(closers[0]->ReadLine(20000), "written");
            ASSERT_EQ(closers[0]->ReadLine(20000), "done");
            const qlonglong at = qlonglong(MonotonicNs() + 20'000'000);
            for (auto& closer : closers)
                ASSERT_TRUE(closer->Send("closeat " + QByteArray::number(at)));
            std::vector<std::pair<qlonglong, qlonglong>> closes; // when each began and ended
            for (auto& closer : closers) {
                const QList<QByteArray> closed = closer->ReadLine(20000).split(' ');
                ASSERT_EQ(closed.value(0), "closed");
                closes.emplace_back(closed.value(1).toLongLong(), closed.value(2).toLongLong());
                early += closes.back().first < at ? 1 : 0;
            }
            std::sort(closes.begin(), closes.end());
            const qlonglong lastBegan = closes.back().first;
            closes.pop_back();
            met += std::any_of(closes.begin(), closes.end(),
                               [&](const auto& close) { return close.second > lastBegan; })
                       ? 1
                       : 0;
            left = ObjectsIn(folder, a, {"M-" + block, "E-" + event}).join(' ');
            for (const QByteArray& command :
                 {"memory " + block + " 64", "event " + event, "close " + block, "close " + event})
                ASSERT_TRUE(later->Send(command));
            const QByteArray made = later->ReadLine(20000);
            const QByteArray opened = later->ReadLine(20000);
            stale += made == "memory 64 0" && opened == "event clear" ? 0 : 1;
            ASSERT_EQ(later->ReadLine(20000), "closed");
            ASSERT_EQ(later->ReadLine(20000), "closed");
        }
        EXPECT_EQ(early, 0) << "closes that began before their instant";
        EXPECT_EQ(left.toStdString(), "") << "left by round " << round << "; rounds that met: " << met;
        EXPECT_EQ(stale, 0) << "rounds of " << round << " whose next create was not fresh";
        if (met < kMet && left.isEmpty())
            fewMet << QStringLiteral("of %1 closers, %2 of %3 rounds met").arg(count).arg(met).arg(round);
        for (auto& closer : closers)
            EXPECT_EQ(closer->Finish(20000), 0);
    }
    EXPECT_EQ(later->Finish(20000), 0);
    if (!fewMet.isEmpty())
        GTEST_SKIP() << "too busy a machine to race the closers " << kMet
                     << " times: " << fewMet.join(QStringLiteral("; ")).toStdString();
}

// P holds a block (grown, with 7 in it), a set manual event and an owned
// mutex beside Q, which closes its handles. Where P is then killed, its
// objects go with it: Q's open-only of the block fails (ENOENT, naming it),
// and Q's creates make a zero-filled block at the size asked, an event not
// signalled and a mutex not owned. Where P lives on, Q finds each as P
// left it.
TEST_F(SharedObjectsLifetimeTest, ALastHolderThatEndsWithoutClosingTakesItsObjectsWithIt)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    struct TRow {
        const char* Name;
        bool Killed;
        QByteArray OpenOnly, Create, Event, Mutex; // Q's answers afterwards; <file> is the block's file
    };
    const TRow rows[] = {
        {"the holder killed", true, "error 2 System Error.  Code: 2. No such file or directory <file>", "memory 64 0",
         "event clear", "mutex taken"},
        {"the holder living on", false, "memory 8192 7", "memory 8192 7", "event set", "mutex held"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const QByteArray name = Unique(row.Killed ? "killed" : "living").toUtf8();
        const QByteArray kb = name + "-kb", ke = name + "-ke", km = name + "-km";
        auto p = Script(a);
        auto q = Script(a);
        ASSERT_EQ(p->Ask("memory " + kb + " 64", 20000), "memory 64 0");
        ASSERT_EQ(p->Ask("grow " + kb + " 8192", 20000), "grown");
        ASSERT_EQ(p->Ask("write " + kb + " 7", 20000), "written");
        ASSERT_EQ(p->Ask("event " + ke, 20000), "event clear");
        ASSERT_EQ(p->Ask("set " + ke, 20000), "done");
        ASSERT_EQ(p->Ask("mutex " + km, 20000), "mutex taken");
        EXPECT_EQ(q->Ask("memory " + kb + " 0", 20000), "memory 8192 7");
        EXPECT_EQ(q->Ask("event " + ke, 20000), "event set");
        EXPECT_EQ(q->Ask("mutex " + km, 20000), "mutex held");
        for (const QByteArray& object : {kb, ke, km})
            ASSERT_EQ(q->Ask("close " + object, 20000), "closed");
        if (row.Killed) {
            kill(p->Pid(), SIGKILL);
            EXPECT_EQ(p->Finish(20000), 200 + SIGKILL);
        }
        const QByteArray file = ObjectPath(q->Ask("folder", 20000).mid(7), a, "M-" + kb);
        EXPECT_EQ(q->Ask("memory " + kb + " 0", 20000), QByteArray(row.OpenOnly).replace("<file>", file));
        EXPECT_EQ(q->Ask("memory " + kb + " 64", 20000), row.Create);
        EXPECT_EQ(q->Ask("event " + ke, 20000), row.Event);
        EXPECT_EQ(q->Ask("mutex " + km, 20000), row.Mutex);
        // Every mutex given back, so that nothing is left behind.
        q->Ask("release " + km, 20000);
        p->Ask("release " + km, 20000);
        EXPECT_EQ(q->Finish(20000), 0);
        if (!row.Killed) {
            EXPECT_EQ(p->Finish(20000), 0);
        }
    }
}

// The last holder of an event it listens to and of a block closes them with
// its descriptor table full: their files, the socket and the events'
// wake-up block go all the same.
TEST_F(SharedObjectsLifetimeTest, ALastCloserWithAFullDescriptorTableStillRemovesItsObjects)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("fullclose", a);
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(p->Ask("listen e", 20000), "listening");
    ASSERT_EQ(p->Ask("memory m 64", 20000), "memory 64 0");
    ASSERT_EQ(NamesIn(runtime.Path).size(), 4);
    EXPECT_EQ(p->Ask("tight 0 close e", 20000), "closed");
    EXPECT_EQ(p->Ask("tight 0 close m", 20000), "closed");
    EXPECT_EQ(NamesIn(runtime.Path), QList<QByteArray>{});
    EXPECT_EQ(p->Finish(20000), 0);
}

// Opens the block name (4096 bytes) in a forked child that is killed with
// it open, leaving its file to the next process that finds nobody holding
// it.
void LeaveBlock(const QString& name)
{
    const pid_t child = fork();
    if (child == 0) {
        OpenNamedMemory(name, 4096);
        raise(SIGKILL);
        _exit(1);
    }
    waitpid(child, nullptr, 0);
}

// A process whose file size limit (RLIMIT_FSIZE) is 8 bytes or less, with
// SIGXFSZ at its default (which ends it), removes objects as any other: a
// block that a killed process left, at the sweep of its first named open;
// another, where an open finds nobody holding it; and its own block, event
// (with the events' wake-up block) and mutex, made before the limit was
// lowered, at their last close. It lives, and each object goes. Each
// removal marks the object's head at byte 8 of its file: written with
// pwrite, the mark brought SIGXFSZ under such a limit and ended the
// process. At 9 bytes, the row one past, the write was cut short and the
// process lived.
TEST_F(SharedObjectsLifetimeTest, ObjectsGoUnderAFileSizeLimitOf8BytesOrLessAndTheProcessLives)
{
    if (Withheld(RamfsWithheld))
        return;
    for (const rlim_t limit : {rlim_t(0), rlim_t(8), rlim_t(9)}) {
        SCOPED_TRACE(QStringLiteral("a limit of %1 bytes").arg(limit).toStdString());
        const QString answer = RunOnRamfs(MadeUpUid(1), [limit] {
            std::signal(SIGXFSZ, SIG_DFL);
            // The limit is lowered around each step alone: the children
            // that leave blocks, and the creates, need room.
            const auto limited = [limit](const std::function<QString()>& step) {
                rlimit saved{};
                getrlimit(RLIMIT_FSIZE, &saved);
                rlimit lowered = saved;
                lowered.rlim_cur = limit;
                if (setrlimit(RLIMIT_FSIZE, &lowered) != 0)
                    return QStringLiteral("no limit");
                const QString seen = step();
                setrlimit(RLIMIT_FSIZE, &saved);
                return seen;
            };
            const auto openOnly = [](const QString& name) {
                try {
                    CloseNamedObject(OpenNamedMemory(name, 0));
                    return QStringLiteral("opened");
                } catch (const EOSError& error) {
                    return Named(error, BlockFile(name));
                }
            };
            const auto fileOf = [](const QString& name) {
                return FileSize(BlockFile(name)) < 0 ? QStringLiteral("no file") : QStringLiteral("a file");
            };
            QStringList seen;
            for (const char* road : {"swept", "found"}) {
                const QString name = QLatin1String(road);
                LeaveBlock(name);
                // The first named open sweeps; the second finds its block
                // where the sweep did not go.
                seen << name + ": " + limited([&] { return openOnly(seen.isEmpty() ? "absent" : name); });
                seen << fileOf(name);
            }
            const TSharedHandle handles[] = {OpenNamedMemory(QStringLiteral("closed"), 4096),
                                             OpenNamedEvent(QStringLiteral("closed"), false),
                                             OpenNamedMutex(QStringLiteral("closed"))};
            seen << QStringLiteral("last close: ") + limited([&] {
                        for (const TSharedHandle handle : handles)
                            if (!CloseNamedObject(handle))
                                return QStringLiteral("not closed");
                        return QStringLiteral("closed");
                    });
            seen << QStringLiteral("%1 names left").arg(NamesIn(SharedObjectsFolder().toLocal8Bit()).size());
            return seen.join(", ");
        });
        EXPECT_EQ(answer.toStdString(),
                  "swept: ENOENT naming the block, no file, found: ENOENT naming the block, "
                  "no file, last close: closed, 0 names left");
    }
}

// Fills the /dev/shm of the mount namespace of process pid as user uid
// until no room is left: empty, or why not.
QString FillDevShmOf(pid_t pid, uid_t uid)
{
    return RunInChild(
        [pid] {
            const QByteArray space = "/proc/" + QByteArray::number(pid) + "/ns/mnt";
            const int ns = open(space.constData(), O_RDONLY | O_CLOEXEC);
            return ns >= 0 && setns(ns, CLONE_NEWNS) == 0
                       ? QString()
                       : QStringLiteral("cannot enter %1: %2")
                             .arg(QString::fromLocal8Bit(space), qt_error_string(errno));
        },
        [uid] { return FillDevShmAs(uid); });
}

// Another user fills a small /dev/shm (the test's own, in a mount
// namespace). A process of the user that made a 1 MB block, grew another to
// 512 KB and made an event while there was room writes a word into every
// page of the blocks' files and lives on; a block cannot grow (ENOSPC,
// naming it) and stays as it was. A create of each kind (a block, a mutex,
// an event, the events' wake-up block) fails with ENOSPC naming its file
// and leaves no file.
TEST_F(SharedObjectsLifetimeTest, AFullDevShmFailsEveryCreateWithTheSystemsErrorAndKillsNoProcess)
{
    if (Withheld(MountNamespaceWithheld, MadeUpUsersWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    const uid_t s = MadeUpUid(2);
    auto p = Script(a, {}, [=] {
        const QString own = OwnDevShm("size=4m,mode=1777");
        return own.isEmpty() ? BecomeUser(a, a, {}) : own;
    });
    ASSERT_EQ(p->Ask("memory big 1048576", 20000), "memory 1048576 0");
    ASSERT_EQ(p->Ask("memory grown 64", 20000), "memory 64 0");
    ASSERT_EQ(p->Ask("grow grown 524288", 20000), "grown");
    ASSERT_EQ(p->Ask("event early", 20000), "event clear");
    const QByteArray folder = p->Ask("folder", 20000).mid(7);
    ASSERT_EQ(folder, ObjectFolderOf(a, 0));
    const QByteArray seen = "/proc/" + QByteArray::number(p->Pid()) + "/root" + folder;
    const QByteArray head = ObjectPath(folder, a, "");
    const QByteArray full = "error 28 System Error.  Code: 28. No space left on device " + head;
    ASSERT_EQ(FillDevShmOf(p->Pid(), s), QString());

    EXPECT_EQ(p->Ask("writeall big 5", 20000), "written 257");
    EXPECT_EQ(p->Ask("writeall grown 7", 20000), "written 129");
    EXPECT_EQ(p->Ask("grow big 2097152", 20000), full + "M-big");
    EXPECT_EQ(p->Ask("readall big", 20000), "pages 257 5");
    EXPECT_EQ(p->Ask("memory m 64", 20000), full + "M-m");
    EXPECT_EQ(p->Ask("mutex x", 20000), full + "X-x");
    EXPECT_EQ(p->Ask("event e", 20000), full + "E-e");
    EXPECT_EQ(p->Ask("close early", 20000), "closed"); // the wake-up block goes with it
    ASSERT_EQ(FillDevShmOf(p->Pid(), s), QString());   // and the room they freed
    EXPECT_EQ(p->Ask("event e", 20000), full + "W-events");
    QList<QByteArray> left = NamesIn(seen);
    std::sort(left.begin(), left.end());
    const QByteArray blocks = ObjectFile(a, "M-");
    EXPECT_EQ(left, (QList<QByteArray>{blocks + "big", blocks + "grown"}));
    EXPECT_EQ(p->Ask("writeall big 6", 20000), "written 257");
    EXPECT_EQ(p->Finish(20000), 0);
}

// A last holder killed with an event open that it set and listened to:
// another process of the user, which swept its folder before, opens the
// event again and finds the killed holder's block of waiters' slots made
// anew (a mark put into the killed holder's block is gone), the event not
// set and the killed listener's socket gone.
TEST_F(SharedObjectsLifetimeTest, AKilledLastHoldersWakeUpBlockAndSocketGoWhenItsEventIsOpenedAgain)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("killed", a);
    const QByteArray wake = runtime.File(a, "W-events");
    const QByteArray bell = runtime.File(a, "B-e");
    // A word of the block that no process writes: the first slot's spare.
    const off_t spare =
        sharedobjects_layout::kDataOffset + offsetof(sharedobjects_layout::WaiterSlot, Reserved);
    const auto mark = [&](uint32_t* word, bool write) {
        const int fd = open(wake.constData(), O_RDWR | O_CLOEXEC);
        const ssize_t done = fd < 0  ? -1
                             : write ? pwrite(fd, word, sizeof *word, spare)
                                     : pread(fd, word, sizeof *word, spare);
        if (fd >= 0)
            close(fd);
        return done == ssize_t(sizeof *word);
    };
    auto q = Script(a, runtime);
    ASSERT_EQ(q->Ask("mutex swept", 20000), "mutex taken");
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    ASSERT_EQ(p->Ask("set e", 20000), "done");
    ASSERT_EQ(p->Ask("listen e", 20000), "listening");
    kill(p->Pid(), SIGKILL);
    EXPECT_EQ(p->Finish(20000), 200 + SIGKILL);
    uint32_t word = 0x4B494C4C;
    ASSERT_TRUE(mark(&word, true));
    ASSERT_NE(Look(bell), "(nothing)");
    EXPECT_EQ(q->Ask("event e", 20000), "event clear");
    ASSERT_TRUE(mark(&word, false));
    EXPECT_EQ(word, 0u) << "the killed holder's block kept";
    EXPECT_EQ(Look(bell), "(nothing)");
    EXPECT_EQ(q->Ask("release swept", 20000), "released");
    EXPECT_EQ(q->Finish(20000), 0);
}

// L listens to an event and is killed, leaving its socket; a process R of
// the user then removes what L left. R is stopped between the unlinks of
// the event's names (one of the event's file and L's socket gone, the
// other still there) while another process B opens the event and listens
// to it. B's event is made anew, once R is done where R still holds the
// name, and a set from a third process C rings B's descriptor.
TEST_F(SharedObjectsLifetimeTest, ARemoverStoppedBetweenItsUnlinksLeavesANewListenersSocket)
{
    if (Withheld(MadeUpUsersWithheld, TracingWithheld))
        return;
    const uid_t a = MadeUpUid(1);
    KeepFolderClean(a);
    const QByteArray name = Unique("relisten").toUtf8();
    const QByteArray head = ObjectPath(ObjectFolderOf(a, 0), a, "");
    const QByteArray file = head + "E-" + name;
    const QByteArray socket = head + "B-" + name;
    auto l = Script(a);
    ASSERT_EQ(l->Ask("event " + name, 20000), "event clear");
    ASSERT_EQ(l->Ask("listen " + name, 20000), "listening");
    kill(l->Pid(), SIGKILL);
    ASSERT_EQ(l->Finish(20000), 200 + SIGKILL);
    ASSERT_TRUE(SomethingAt(file) && SomethingAt(socket));

    auto b = Script(a);
    TTracedChild r([&] {
        BecomeWithoutRuntime(a);
        if (!OpenNamedEvent(QString::fromUtf8(name), true))
            _exit(2);
    });
    ASSERT_TRUE(r.Refused().isEmpty()) << r.Refused().toStdString();
    ASSERT_TRUE(r.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_unlinkat && SomethingAt(file) != SomethingAt(socket);
    })) << "no unlink of the event's names";
    ASSERT_TRUE(b->Send("event " + name));
    ASSERT_TRUE(b->Send("listen " + name));
    // Made and listened to at once, or waiting for R.
    QByteArray opened = b->ReadLine(1000);
    QByteArray listening = opened.isEmpty() ? QByteArray() : b->ReadLine(1000);
    EXPECT_EQ(r.Finish(), 0);
    if (opened.isEmpty())
        opened = b->ReadLine(20000);
    if (listening.isEmpty())
        listening = b->ReadLine(20000);
    EXPECT_EQ(opened, "event clear");
    EXPECT_EQ(listening, "listening");
    auto c = Script(a);
    EXPECT_EQ(c->Ask("event " + name, 20000), "event clear");
    EXPECT_EQ(c->Ask("set " + name, 20000), "done");
    EXPECT_EQ(b->Ask("rung " + name + " 5000", 20000), "rung");
    EXPECT_EQ(c->Finish(20000), 0);
    EXPECT_EQ(b->Finish(20000), 0);
}

// An event whose name is too long for its listener's socket to go by it
// (80 characters) has the socket go by the digest of the event's file name.
// A listener killed leaves that socket behind; when the event's last holder
// closes the event, the socket goes with the event's own name, as a socket
// of the event's name would: else it stays in the user's folder until the
// machine restarts, one more for every such event whose listener is killed.
TEST_F(SharedObjectsLifetimeTest, AKilledListenersDigestSocketGoesWithTheEvent)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("digest", a);
    const QByteArray name(80, 'd');
    const QByteArray bells = ObjectFile(a, "B-");
    const auto sockets = [&] {
        QList<QByteArray> found;
        for (const QByteArray& file : NamesIn(runtime.Path))
            if (file.startsWith(bells))
                found << file;
        return found;
    };
    auto q = Script(a, runtime);
    ASSERT_EQ(q->Ask("event " + name, 20000), "event clear");
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("event " + name, 20000), "event clear");
    ASSERT_EQ(p->Ask("listen " + name, 20000), "listening");
    kill(p->Pid(), SIGKILL);
    EXPECT_EQ(p->Finish(20000), 200 + SIGKILL);
    const QList<QByteArray> left = sockets();
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].startsWith(bells + '#')) << left[0].constData();
    EXPECT_EQ(q->Ask("close " + name, 20000), "closed");
    EXPECT_EQ(sockets(), QList<QByteArray>{});
    EXPECT_EQ(ObjectsIn(runtime.Path, a, {"E-" + name}), QList<QByteArray>{});
    EXPECT_EQ(q->Finish(20000), 0);
}

// A thread with a descriptor table of its own (unshare(CLONE_FILES)) is
// refused an open, EINVAL saying why and naming the object's file: the
// descriptors it would make are numbers that the process's other threads read
// as other files, or as none, and a number of the process's that it would use
// (here that of a file of the user's, free in its table) may stand for
// another file there. Nothing is mended on its behalf: the other file keeps
// its mode, and the object's file its missing rights, until a thread of the
// process's table opens it.
TEST_F(SharedObjectsLifetimeTest, AThreadWithADescriptorTableOfItsOwnIsRefusedAnOpenAndChangesNothing)
{
    const TLifetimeUser user;
    if (Withheld(user.RightsWithheld()) || Withheld(DescriptorTablesWithheld))
        return;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("thread", a);
    const QByteArray decoy = runtime.Path + "-decoy";
    close(HeldFile(decoy, a, 0644));
    const auto removed = qScopeGuard([&] { unlink(decoy.constData()); });
    auto p = Script(a, runtime);
    ASSERT_EQ(p->Ask("mutex first", 20000), "mutex taken");
    const int held = HeldFile(runtime.File(a, "M-mended"), a, 0400);
    const QByteArray refused = p->Ask("unshared " + decoy + " memory mended 64", 20000);
    EXPECT_TRUE(refused.startsWith("error 22 ") && refused.contains("table of descriptors of its own") &&
                refused.endsWith(' ' + runtime.File(a, "M-mended")))
        << refused.constData();
    EXPECT_EQ(ModeAndOwner(decoy), "100644 " + QByteArray::number(a));
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "M-mended")), "100400 " + QByteArray::number(a));
    EXPECT_EQ(p->Ask("memory mended 64", 20000), "memory 64 0");
    EXPECT_EQ(ModeAndOwner(runtime.File(a, "M-mended")), "100600 " + QByteArray::number(a));
    close(held);
    EXPECT_EQ(p->Ask("release first", 20000), "released");
    EXPECT_EQ(p->Finish(20000), 0);
}

// The earlier layout kept every event of a user behind one process-shared
// mutex and condition variable in "/tessvar-<uid>-H-events", which a process
// killed inside a wait left locked for good. A block of that layout, left
// locked (its mutex held by a live process, its condition variable's lock
// word set), and a mutex of that layout held the same way, must not stop the
// objects of this layout. Run under a user id of its own, so that the blocks
// of the real user are not touched.
TEST_F(SharedObjectsLifetimeTest, BlocksOfTheEarlierLayoutLeftLockedDoNotStopThisOne)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(0);
    KeepFolderClean(uid);
    const pid_t tester = Spawn([uid] {
        if (setresuid(uid, uid, 0) != 0)
            _exit(2);
        const QByteArray root = "/tessvar-" + QByteArray::number(uint(uid)) + '-';
        const QString name = QStringLiteral("old-layout-event");
        // The old blocks: a 64-byte head (magic "TSV1", kind, removed flag,
        // size) and the data, held locked by a child that lives on.
        const QByteArray hubKey = root + "H-events";
        const QByteArray mutexKey = root + "X-" + name.toUtf8();
        const QByteArray eventKey = root + "E-" + name.toUtf8();
        const pid_t holder = Spawn([&] {
            // Every block's mutex held, and its condition variable's words
            // (its internal lock among them) all set.
            const size_t dataBytes = sizeof(pthread_mutex_t) + sizeof(pthread_cond_t);
            for (const QByteArray& key : {hubKey, mutexKey, eventKey})
                if (!MakeEarlierLayoutBlock(key, key.at(root.size()), dataBytes, true))
                    _exit(3);
            for (;;)
                pause();
        });
        usleep(200'000);
        // This layout: events across processes, a mutex, a memory block.
        const TSharedHandle event = OpenNamedEvent(name, false);
        const TSharedHandle mutex = OpenNamedMutex(name);
        const TSharedHandle memory = OpenNamedMemory(name, 64);
        QElapsedTimer timer;
        timer.start();
        const pid_t waiter = Spawn([&] {
            _exit(WaitNamedObject(OpenNamedEvent(name, false), 3000) == TWaitResult::wrSignaled ? 0 : 4);
        });
        usleep(100'000);
        const bool set = SetNamedEvent(event);
        int status = -1;
        waitpid(waiter, &status, 0);
        const bool ok = set && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                        WaitNamedObject(mutex, 1000) == TWaitResult::wrSignaled && MapNamedMemory(memory) &&
                        timer.elapsed() < 2000;
        Kill(holder);
        for (const QByteArray& key : {hubKey, mutexKey, eventKey})
            shm_unlink(key.constData());
        _exit(ok ? 0 : 5);
    });
    int status = -1;
    waitpid(tester, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
