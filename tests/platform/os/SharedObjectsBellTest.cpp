// How an event rings a listener's descriptor: every set or pulse rings it,
// one process listens at a time and a killed listener is replaced; a socket
// is reached only through the folder that was checked, by a name that does
// not hang on the number of the folder's descriptor, with room for its
// address where that number has four digits; without /proc, and where the
// system refuses it, a listen fails naming the folder or the event's file;
// and closing an event ends its own listening. Two threads of a process
// that listen at once are one listener, and the end of a listening counts
// it out.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// A thread that sleeps in an event loop hears an event through a descriptor:
// every set or pulse in any process makes it readable. One process listens
// at a time; one killed while listening is replaced by the next.
TEST_F(SharedObjectsBellTest, AListenersDescriptorRingsOnEverySetAndAKilledListenerIsReplaced)
{
    const QString name = Unique("bell");
    const TSharedHandle event = OpenNamedEvent(name, false);
    auto readable = [](int descriptor, int ms) {
        pollfd poller{descriptor, POLLIN, 0};
        return poll(&poller, 1, ms) == 1;
    };
    auto setInAChild = [&](bool pulse) {
        Child setter([&] {
            const TSharedHandle other = OpenNamedEvent(name, false);
            return (pulse ? PulseNamedEvent(other) : SetNamedEvent(other)) ? 'Y' : 'N';
        });
        return setter.Result() == 'Y';
    };
    int descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    EXPECT_FALSE(readable(descriptor, 0));
    ASSERT_TRUE(setInAChild(false));
    EXPECT_TRUE(readable(descriptor, 5000));
    EXPECT_EQ(DrainEventDescriptor(descriptor), 1);
    EXPECT_FALSE(readable(descriptor, 0));
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(event, 0), TWaitResult::wrTimeout);
    // A thread of this process that waits on the event is still woken by a
    // set; the ring comes as well.
    std::thread waiter([&] { EXPECT_EQ(WaitNamedObject(event, 5000), TWaitResult::wrSignaled); });
    while (!readable(descriptor, 0)) {
        SetNamedEvent(event);
        usleep(1000);
    }
    waiter.join();
    DrainEventDescriptor(descriptor);
    ResetNamedEvent(event);

    // Another process cannot listen while this one does; a reset rings no one.
    Child second([&] {
        const TSharedHandle other = OpenNamedEvent(name, false);
        ResetNamedEvent(other);
        return ListenNamedEvent(other) < 0 && LastSharedObjectError().ErrorCode == EADDRINUSE ? 'Y' : 'N';
    });
    EXPECT_EQ(second.Result(), 'Y');
    EXPECT_FALSE(readable(descriptor, 100));
    EXPECT_EQ(ListenNamedEvent(event), -1); // nor this one twice
    EXPECT_EQ(LastSharedObjectError().ErrorCode, EBUSY);
    EXPECT_TRUE(UnlistenNamedEvent(event));
    close(descriptor);

    // A listener killed with rings unread: the next one takes its place, and
    // setters reach the new one.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t listener = fork();
    if (listener == 0) {
        const TSharedHandle other = OpenNamedEvent(name, false);
        const char ok = ListenNamedEvent(other) >= 0 ? 'Y' : 'N';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'Y');
    EXPECT_TRUE(setInAChild(false));
    kill(listener, SIGKILL);
    waitpid(listener, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    ResetNamedEvent(event);
    descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    ASSERT_TRUE(setInAChild(true));
    EXPECT_TRUE(readable(descriptor, 5000));
    EXPECT_EQ(DrainEventDescriptor(descriptor), 1);
    SetNamedEvent(event); // rings from this process as well
    EXPECT_TRUE(readable(descriptor, 5000));

    // The socket's name goes with the listening.
    const QByteArray bell = "B-" + name.toUtf8();
    EXPECT_TRUE(ShmExists(bell));
    EXPECT_TRUE(CloseNamedObject(event));
    EXPECT_FALSE(ShmExists(bell));
    close(descriptor);
}

bool Readable(int descriptor, int ms)
{
    pollfd poller{descriptor, POLLIN, 0};
    return poll(&poller, 1, ms) == 1;
}

// The number of this process's descriptor of that folder; -1 when none.
int FolderDescriptor(const QByteArray& folder)
{
    for (int fd = 0; fd < 1024; ++fd) {
        char target[PATH_MAX];
        const ssize_t length =
            readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), target, sizeof(target));
        if (length > 0 && QByteArray(target, int(length)) == folder)
            return fd;
    }
    return -1;
}

void Tell(int pipe, char c)
{
    (void)!write(pipe, &c, 1);
}

char Heard(int pipe)
{
    char c = 0;
    return read(pipe, &c, 1) == 1 ? c : 0;
}

// The user's runtime folder stands in a folder that another user may write
// to. That user renames it and puts a folder of its own in its place, with
// sockets of the names that the events ring. A process that checked the
// runtime folder before goes on with the folder it checked: a listener binds
// there, rings from the process and from its children reach it, and the
// other user's sockets receive nothing.
TEST_F(SharedObjectsBellTest, ASocketIsReachedOnlyThroughTheFolderThatWasChecked)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t victim = MadeUpUid(1);
    const uid_t other = MadeUpUid(2);
    const QByteArray parent = "/tmp/tessvar-swap-" + QByteArray::number(getpid());
    const QByteArray runtime = parent + "/run";
    const QByteArray moved = parent + "/moved";
    const QByteArray bell = ObjectFile(victim, "B-");
    ASSERT_EQ(mkdir(parent.constData(), 0755), 0);
    ASSERT_EQ(chown(parent.constData(), other, other), 0);
    ASSERT_EQ(mkdir(runtime.constData(), 0700), 0);
    ASSERT_EQ(chown(runtime.constData(), victim, victim), 0);
    int toParent[2], toVictim[2], toOther[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toVictim), 0);
    ASSERT_EQ(pipe(toOther), 0);

    const pid_t user = SpawnAsUser(victim, [&] {
        setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
        const TSharedHandle early = OpenNamedEvent(QStringLiteral("early"), false);
        const TSharedHandle late = OpenNamedEvent(QStringLiteral("late"), false);
        const int earlyFd = ListenNamedEvent(early);
        Tell(toParent[1], 'R');
        if (Heard(toVictim[0]) != 'G') // the folder has been swapped
            return 1;
        const int lateFd = ListenNamedEvent(late);
        SetNamedEvent(early);
        Child setter([] { return SetNamedEvent(OpenNamedEvent(QStringLiteral("late"), false)) ? 'Y' : 'N'; });
        if (earlyFd < 0 || lateFd < 0 || setter.Result() != 'Y')
            return 2;
        return Readable(earlyFd, 5000) && Readable(lateFd, 5000) ? 0 : 3;
    });
    ASSERT_EQ(Heard(toParent[0]), 'R');
    const pid_t swapper = SpawnAsUser(other, [&] {
        if (rename(runtime.constData(), moved.constData()) != 0 || mkdir(runtime.constData(), 0777) != 0 ||
            chmod(runtime.constData(), 0777) != 0)
            return 1;
        std::vector<int> sockets;
        for (const char* name : {"early", "late"}) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = runtime + '/' + bell + name;
            std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
            sockets.push_back(socket(AF_UNIX, SOCK_DGRAM, 0));
            if (bind(sockets.back(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
                return 2;
        }
        Tell(toParent[1], 'S');
        Heard(toOther[0]);
        int received = 0;
        char byte;
        for (const int fd : sockets)
            while (recv(fd, &byte, 1, MSG_DONTWAIT) == 1)
                ++received;
        return 10 + std::min(received, 100);
    });
    ASSERT_EQ(Heard(toParent[0]), 'S');
    Tell(toVictim[1], 'G');
    EXPECT_EQ(ExitCode(user), 0);
    Tell(toOther[1], 'C');
    EXPECT_EQ(ExitCode(swapper), 10); // nothing received
    // The listener that came after the swap is bound in the folder that was
    // checked.
    struct stat st {};
    EXPECT_EQ(lstat((moved + '/' + bell + "late").constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    for (int fd : {toParent[0], toParent[1], toVictim[0], toVictim[1], toOther[0], toOther[1]})
        close(fd);
    RemoveFolder(runtime);
    RemoveFolder(moved);
    rmdir(parent.constData());
}

// Processes of one user whose descriptors of the folder have numbers of
// different lengths give an event's socket the same name, so that one rings
// the other, for event names around the longest that a socket name holds.
TEST_F(SharedObjectsBellTest, ASocketsNameDoesNotHangOnTheNumberOfTheFolderDescriptor)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(3);
    const QByteArray folder = FolderOf(uid);
    KeepFolderClean(uid);
    for (const int length : {60, 65, 66, 70, 73, 80}) {
        SCOPED_TRACE(length);
        const QString name(length, u'n');
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t listener = SpawnAsUser(uid, [&] {
            unsetenv("XDG_RUNTIME_DIR");
            const int fd = ListenNamedEvent(OpenNamedEvent(name, false));
            Tell(ready[1], fd >= 0 && FolderDescriptor(folder) < 100 ? 'Y' : 'N');
            return Readable(fd, 5000) ? 0 : 1;
        });
        EXPECT_EQ(Heard(ready[0]), 'Y');
        EXPECT_EQ(AsUser(uid,
                         [&] {
                             unsetenv("XDG_RUNTIME_DIR");
                             // Every lower number taken: the folder's descriptor
                             // gets three digits.
                             const int spare = open("/dev/null", O_RDONLY);
                             for (int fd = 0; fd < 150; ++fd)
                                 if (fcntl(fd, F_GETFD) < 0)
                                     dup2(spare, fd);
                             const TSharedHandle event = OpenNamedEvent(name, false);
                             return FolderDescriptor(folder) >= 150 && SetNamedEvent(event) ? 0 : 1;
                         }),
                  0);
        EXPECT_EQ(ExitCode(listener), 0);
        close(ready[0]);
        close(ready[1]);
    }
}

// Without /proc no socket can be reached through the folder's descriptor:
// listening fails with a message naming the folder, and is not done by the
// folder's path; the objects themselves still work.
TEST_F(SharedObjectsBellTest, WithoutProcListeningFailsNamingTheFolder)
{
    if (Withheld(MountNamespaceWithheld, MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(3);
    KeepFolderClean(uid);
    const pid_t pid = Spawn([uid] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            umount2("/proc", MNT_DETACH) != 0)
            _exit(99);
        if (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)
            _exit(100);
        unsetenv("XDG_RUNTIME_DIR");
        const TSharedHandle event = OpenNamedEvent(QStringLiteral("noproc"), false);
        if (!event || ListenNamedEvent(event) >= 0)
            _exit(1);
        const EOSError error = LastSharedObjectError();
        if (error.ErrorCode != ENOENT || !error.Message().endsWith(SharedObjectsFolder()))
            _exit(2);
        for (const QByteArray& file : NamesIn(SharedObjectsFolder().toLocal8Bit()))
            if (file.contains("-B-"))
                _exit(3);
        SetNamedEvent(event);
        _exit(WaitNamedObject(event, 0) == TWaitResult::wrSignaled ? 0 : 4);
    });
    const int code = ExitCode(pid);
    if (code == 99) {
        // Withheld as a probe's privilege is: the system keeps /proc in the
        // child's own mount namespace.
        const QString withheld =
            ProbeAnswer(QStringLiteral("a system without /proc"),
                        QStringLiteral("/proc cannot be unmounted in a mount namespace of its own"));
        GTEST_SKIP() << withheld.toStdString();
    }
    EXPECT_EQ(code, 0);
}

// A listen that the system refuses names the event's file, as every other
// failure of an object does, rather than giving the system's words alone:
// no descriptor left for the socket (EMFILE), and no inode left on the
// folder's file system for the socket's name (ENOSPC at its bind, on a
// tmpfs of a few inodes given as XDG_RUNTIME_DIR). Nothing of the refused
// listen stays: once a descriptor or an inode is free, the listen works.
TEST_F(SharedObjectsBellTest, ARefusedListenNamesTheEventsFile)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    {
        SCOPED_TRACE("no descriptor left");
        const TRuntimeFolder runtime("refused", a);
        auto p = Script(a, runtime);
        ASSERT_EQ(p->Ask("event e", 20000), "event clear");
        EXPECT_EQ(p->Ask("tight 0 listen e", 20000).toStdString(),
                  ("error 24 System Error.  Code: 24. Too many open files " + runtime.File(a, "E-e"))
                      .toStdString());
        EXPECT_EQ(p->Ask("listen e", 20000), "listening");
        EXPECT_EQ(p->Finish(20000), 0);
    }
    if (const QString withheld = MountNamespaceWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << "no inode left not tried: " << withheld.toStdString();
    SCOPED_TRACE("no inode left");
    const QByteArray mountPoint = "/tmp/tessvar-inodes-" + QByteArray::number(getpid());
    ASSERT_EQ(mkdir(mountPoint.constData(), 0755), 0) << mountPoint.constData();
    ASSERT_EQ(chmod(mountPoint.constData(), 0755), 0);
    const auto removed = qScopeGuard([&] { rmdir(mountPoint.constData()); });
    const TPlace outside{"outside a user namespace", std::nullopt};
    auto p = Script(
        a, outside,
        [&] {
            const QString failure = OwnRuntimeTmpfs(mountPoint, "mode=0755,nr_inodes=32", a, 0700, false);
            return failure.isEmpty() ? BecomeUserAt(outside, a, a) : failure;
        },
        {QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(mountPoint) + QStringLiteral("/run")});
    ASSERT_EQ(p->Ask("event e", 20000), "event clear");
    // The tmpfs is the peer's alone: reached through its root in /proc.
    const QByteArray filler = "/proc/" + QByteArray::number(p->Pid()) + "/root" + mountPoint + "/filler-";
    int made = 0;
    int error = 0;
    for (; made < 100; ++made) {
        const int fd = open((filler + QByteArray::number(made)).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno;
            break;
        }
        close(fd);
    }
    ASSERT_EQ(error, ENOSPC) << made << " files made";
    const QByteArray file = ObjectPath(mountPoint + "/run", a, "E-e");
    EXPECT_EQ(p->Ask("listen e", 20000).toStdString(),
              ("error 28 System Error.  Code: 28. No space left on device " + file).toStdString());
    ASSERT_EQ(unlink((filler + '0').constData()), 0);
    EXPECT_EQ(p->Ask("listen e", 20000), "listening");
    EXPECT_EQ(p->Finish(20000), 0);
}

// The room kept for the folder's part of a socket's address is that of the
// longer descriptor path, /proc/thread-self/fd/<n>, by which a listener
// binds: a process whose folder has a four-digit descriptor listens to
// events of every name length from the longest whose socket goes by the
// event's name to past the longest that would, were the room counted with
// /proc/self/fd/. Counted so, the socket of that last name would go by the
// event's name, while its address passes the 107 bytes a socket's address
// holds: its listen would fail.
TEST_F(SharedObjectsBellTest, AFolderDescriptorOfFourDigitsLeavesRoomForTheSocketsAddress)
{
    if (Withheld(MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(3);
    const QByteArray folder = FolderOf(uid);
    KeepFolderClean(uid);
    // The longest names by which "tessvar7-<uid>-B-<name>" goes, the room
    // counted with a descriptor of ten digits and the folder's slash: 107
    // bytes less "/proc/thread-self/fd/" (or "/proc/self/fd/") and 11.
    const int head = int(ObjectFile(uid, "B-").size());
    const int longest = 107 - 32 - head;
    const int longestCountedShort = 107 - 25 - head;
    const pid_t pid = Spawn([&] {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur < 1100) {
            limit.rlim_cur = 1100;
            limit.rlim_max = std::max<rlim_t>(limit.rlim_max, 1100);
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
                _exit(10);
        }
        BecomeWithoutRuntime(uid);
        // Every number below 1000 taken: the folder's descriptor gets four
        // digits.
        const int spare = open("/dev/null", O_RDONLY);
        for (int fd = 0; fd < 1000; ++fd)
            if (fcntl(fd, F_GETFD) < 0)
                dup2(spare, fd);
        for (int length = longest; length <= longestCountedShort + 1; ++length) {
            const TSharedHandle event = OpenNamedEvent(QString(length, u'r'), false);
            if (!event)
                _exit(1);
            if (FolderDescriptor(folder) < 1000)
                _exit(2);
            const int fd = ListenNamedEvent(event);
            if (fd < 0)
                _exit(3);
            if (!SetNamedEvent(event) || !Readable(fd, 5000))
                _exit(4);
        }
        _exit(0);
    });
    EXPECT_EQ(ExitCode(pid), 0);
}

// Closing a process's last handle of an event that it listens to ends its
// listening, though other processes still hold the event: its socket's name
// goes at once, so that another process may listen to the event and be
// rung, rather than being refused while the closer lives.
TEST_F(SharedObjectsBellTest, ClosingAnEventEndsItsOwnListening)
{
    const TLifetimeUser user;
    const uid_t a = user.Uid;
    const TRuntimeFolder runtime("closed", a);
    const QByteArray socket = runtime.File(a, "B-e");
    auto holder = Script(a, runtime);
    ASSERT_EQ(holder->Ask("event e", 20000), "event clear");
    auto listener = Script(a, runtime);
    ASSERT_EQ(listener->Ask("event e", 20000), "event clear");
    ASSERT_EQ(listener->Ask("listen e", 20000), "listening");
    ASSERT_TRUE(SomethingAt(socket));
    EXPECT_EQ(listener->Ask("close e", 20000), "closed");
    EXPECT_FALSE(SomethingAt(socket));
    EXPECT_EQ(holder->Ask("listen e", 20000), "listening");
    EXPECT_EQ(listener->Ask("event e", 20000), "event clear");
    EXPECT_EQ(listener->Ask("set e", 20000), "done");
    EXPECT_EQ(holder->Ask("rung e 5000", 20000), "rung");
    EXPECT_EQ(listener->Finish(20000), 0);
    EXPECT_EQ(holder->Finish(20000), 0);
}

// Leaves the socket of a listener killed at the bell's name of the event.
bool LeaveAKilledListener(const QString& name)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return false;
    const pid_t listener = Spawn([&] {
        const char listened = ListenNamedEvent(OpenNamedEvent(name, false)) >= 0 ? 'Y' : 'N';
        (void)!write(ready[1], &listened, 1);
        pause();
    });
    char listened = 0;
    const bool answered = read(ready[0], &listened, 1) == 1;
    Kill(listener);
    close(ready[0]);
    close(ready[1]);
    return answered && listened == 'Y';
}

// Two threads of one process that listen to one event at once are one
// listener: one gets the descriptor, the other EBUSY, "This process listens
// to the event ... already", with or without the socket of a listener
// killed left at the bell's name (which is replaced once); the event's head
// counts one listener more, and a set rings the descriptor. Only rounds whose
// calls overlap race anything, as each thread says when its call began and
// ended; rounds are taken until each thread has won kMet of them, up to a
// generous bound, past which the test is skipped, saying how few met: it
// raced too little to pass. A listen that let go of its look at whether the
// process listens before it bound the socket gave both threads a
// descriptor, one of which no set rang, and counted two listeners more.
TEST_F(SharedObjectsBellTest, TwoThreadsListeningAtOnceAreOneListener)
{
    constexpr int kMet = 10;
    constexpr int kMostRounds = 40 * kMet;
    QStringList fewMet;
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "a killed listener's socket left" : "no socket left");
        int won[2] = {0, 0};
        QString wrong;
        int round = 0;
        for (; (won[0] < kMet || won[1] < kMet) && round < kMostRounds && wrong.isEmpty(); ++round) {
            const QString name = Unique(killed ? "listen-killed-" : "listen-") + QString::number(round);
            const TSharedHandle event = OpenNamedEvent(name, false);
            if (killed && !LeaveAKilledListener(name)) {
                wrong = QStringLiteral("no listener to kill");
                break;
            }
            // A listener killed stays counted (it costs setters a failed send).
            const int counted = ListenersOf(name);
            int descriptors[2] = {-1, -1};
            QString refusals[2];
            const TTwoThreadRace race([&](int i) {
                descriptors[i] = ListenNamedEvent(event);
                if (descriptors[i] < 0) {
                    const EOSError error = LastSharedObjectError();
                    refusals[i] = QStringLiteral("%1 %2").arg(error.ErrorCode).arg(error.Message());
                }
            });
            const int winner = descriptors[0] >= 0 ? 0 : 1;
            const QString expectedRefusal =
                QStringLiteral("%1 System Error.  Code: %1.\nThis process listens to the event %2 already.")
                    .arg(EBUSY)
                    .arg(ObjectPath(SharedObjectsFolder().toLocal8Bit(), geteuid(), "E-" + name.toUtf8())
                             .constData());
            if ((descriptors[0] >= 0) == (descriptors[1] >= 0))
                wrong = QStringLiteral("round %1: descriptors %2 and %3 (%4)")
                            .arg(round)
                            .arg(descriptors[0])
                            .arg(descriptors[1])
                            .arg(refusals[0] + refusals[1]);
            else if (refusals[1 - winner] != expectedRefusal)
                wrong = QStringLiteral("round %1: refused with %2").arg(round).arg(refusals[1 - winner]);
            else if (ListenersOf(name) != counted + 1)
                wrong = QStringLiteral("round %1: %2 listeners counted, %3 before")
                            .arg(round)
                            .arg(ListenersOf(name))
                            .arg(counted);
            if (wrong.isEmpty()) {
                SetNamedEvent(event);
                pollfd ring{descriptors[winner], POLLIN, 0};
                if (poll(&ring, 1, 5000) != 1)
                    wrong = QStringLiteral("round %1: the set rang nothing").arg(round);
            }
            if (race.Met())
                ++won[winner];
            for (const int descriptor : descriptors)
                if (descriptor >= 0)
                    close(descriptor);
            UnlistenNamedEvent(event);
            CloseNamedObject(event);
        }
        EXPECT_EQ(wrong.toStdString(), "");
        if (won[0] < kMet || won[1] < kMet)
            fewMet << QStringLiteral("%1: the threads won %2 and %3 of %4 rounds that met")
                          .arg(killed ? "killed" : "free")
                          .arg(won[0])
                          .arg(won[1])
                          .arg(round);
    }
    if (!fewMet.isEmpty())
        GTEST_SKIP() << "too busy a machine to race the listeners " << kMet
                     << " times: " << fewMet.join(QStringLiteral("; ")).toStdString();
}

// The end of a listening counts the listener out of the event's head, as
// the listening counted it in: else every later set of every process would
// try to ring a socket nobody listens to. Listening again counts it in
// again, once.
TEST_F(SharedObjectsBellTest, TheEndOfAListeningCountsTheListenerOut)
{
    const QString name = Unique("listen-count");
    const TSharedHandle event = OpenNamedEvent(name, false);
    int descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    EXPECT_EQ(ListenersOf(name), 1);
    EXPECT_TRUE(UnlistenNamedEvent(event));
    close(descriptor);
    EXPECT_EQ(ListenersOf(name), 0);
    EXPECT_TRUE(UnlistenNamedEvent(event)); // not listening: nothing to count out
    EXPECT_EQ(ListenersOf(name), 0);
    descriptor = ListenNamedEvent(event);
    ASSERT_GE(descriptor, 0) << LastSharedObjectError().Message().toStdString();
    EXPECT_EQ(ListenersOf(name), 1);
    close(descriptor);
    CloseNamedObject(event);
}

} // namespace
