// The process's table of descriptors, where the named objects keep theirs,
// and the threads that share it: it stays the process's whichever thread
// ends or takes a table of its own (unshare(CLONE_FILES)) later, the first
// thread included; a thread with a table of its own is refused what would
// put a descriptor of the unit in it (the folder's too), and a child that
// it forks chooses its folder anew; a process that cannot make the thread
// that keeps its table is told so with the system's error; where kcmp is
// refused, every thread shares the table, and the tests that tell tables
// apart skip.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"
#include "tests/support/RefusedCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// The answer of a refused call: "refused" where it failed with EINVAL
// saying that the thread has a table of its own, else what it said.
QString Refusal(bool failed)
{
    const EOSError error = LastSharedObjectError();
    return failed && error.ErrorCode == EINVAL && error.Message().contains("table of descriptors of its own")
               ? QStringLiteral("refused")
               : QStringLiteral("not refused: %1 %2").arg(error.ErrorCode).arg(error.Message());
}

// Runs body on a new thread with a table of descriptors of its own: what
// it answers, or why the thread could not take one.
QString OnOwnTable(const std::function<QString()>& body)
{
    QString answer;
    std::thread thread([&] {
        answer =
            unshare(CLONE_FILES) == 0 ? body() : QStringLiteral("<unshare: %1>").arg(qt_error_string(errno));
    });
    thread.join();
    return answer;
}

// Whether the thread whose task id is task has ended (a zombie of the
// process, as the first thread of a process stays until its last).
bool Ended(pid_t task)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// Runs in a forked child: first (on the child's first thread), then body
// on a second thread once the first has ended (pthread_exit); the text body
// answers, or "<timed out>" where the child has not answered within 60 s.
// The child is forked from a thread of this process made for it, so that
// the end of the child's first thread unwinds that thread's frames alone,
// none of the test's.
QString AfterTheFirstThreadEnded(const std::function<void()>& first, const std::function<QString()>& body)
{
    int ends[2];
    if (pipe(ends) != 0)
        return QStringLiteral("<no pipe>");
    pid_t child = -1;
    std::thread forker([&] {
        child = fork();
        if (child != 0)
            return;
        close(ends[0]);
        first();
        const pid_t firstTask = getpid();
        std::thread second([&] {
            QString answer = QStringLiteral("<the first thread did not end>");
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!Ended(firstTask) && std::chrono::steady_clock::now() < deadline)
                usleep(1000);
            if (Ended(firstTask))
                answer = body();
            WriteAllTo(ends[1], answer.toUtf8());
            _exit(0);
        });
        second.detach();
        pthread_exit(nullptr);
    });
    forker.join();
    close(ends[1]);
    QByteArray answer;
    pollfd ready{ends[0], POLLIN, 0};
    while (poll(&ready, 1, 60000) == 1) {
        char buffer[4096];
        const ssize_t got = read(ends[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        answer.append(buffer, qsizetype(got));
        ready.revents = 0;
    }
    close(ends[0]);
    Kill(child);
    return answer.isEmpty() ? QStringLiteral("<timed out>") : QString::fromUtf8(answer);
}

// A process whose first thread has ended (pthread_exit) is served as any
// other, whether it opened an object before that thread ended or opens its
// first after: a second thread opens an event and a block of new names,
// grows the block, listens to the event, hears a set, ends the listening
// and closes both, whose files go with that last close. A third thread
// that takes a table of its own meanwhile is refused an open, and the set
// it is served reaches the listener through the process's table. The
// first thread's table went with it: told apart from that table, every
// other thread was taken for one with a table of its own, refused every
// open and every last close.
TEST_F(SharedObjectsTableTest, AProcessWhoseFirstThreadHasEndedIsServedAsAnyOther)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    for (const bool openedBefore : {true, false}) {
        SCOPED_TRACE(openedBefore ? "an object opened before the first thread ended"
                                  : "nothing opened before");
        const QString name = Unique(openedBefore ? "ended-before" : "ended-after");
        const QString answer = AfterTheFirstThreadEnded(
            [&] {
                if (openedBefore)
                    OpenNamedMutex(name + "-before");
            },
            [&] {
                QStringList seen;
                const TSharedHandle event = OpenNamedEvent(name, false);
                TSharedHandle memory = 0;
                try {
                    memory = OpenNamedMemory(name, 64);
                } catch (const EOSError& error) {
                    seen << "block: " + error.Message();
                }
                seen << QStringLiteral("opened: %1").arg(event && memory ? "yes" : "no");
                seen << QStringLiteral("grown: %1").arg(GrowNamedMemory(memory, 8192) ? "yes" : "no");
                const int listener = ListenNamedEvent(event);
                seen << QStringLiteral("listening: %1").arg(listener >= 0 ? "yes" : "no");
                const auto rung = [&] {
                    pollfd ready{listener, POLLIN, 0};
                    const bool heard = poll(&ready, 1, 5000) == 1;
                    DrainEventDescriptor(listener);
                    WaitNamedObject(event, 0);
                    return heard ? QStringLiteral("rung") : QStringLiteral("silent");
                };
                SetNamedEvent(event);
                seen << "set: " + rung();
                const QString own = OnOwnTable([&] {
                    const QString open = Refusal(OpenNamedMutex(name + "-own") == 0);
                    return open + QStringLiteral(", set %1").arg(SetNamedEvent(event) ? "served" : "refused");
                });
                seen << "own table: " + own;
                seen << "set from its own table: " + rung();
                seen << QStringLiteral("listening ended: %1").arg(UnlistenNamedEvent(event) ? "yes" : "no");
                close(listener);
                const bool closed = CloseNamedObject(event) && CloseNamedObject(memory);
                seen << QStringLiteral("closed: %1, files %2")
                            .arg(closed ? "yes" : "no")
                            .arg(ShmExists("E-" + name) || ShmExists("M-" + name) ? "left" : "gone");
                return seen.join('\n');
            });
        const QStringList expected = {
            "opened: yes",
            "grown: yes",
            "listening: yes",
            "set: rung",
            "own table: refused, set served",
            "set from its own table: rung",
            "listening ended: yes",
            "closed: yes, files gone",
        };
        EXPECT_EQ(answer.toStdString(), expected.join('\n').toStdString());
    }
}

// The process's table stays the one it was when the unit first needed it,
// also when the first thread takes a table of its own later: there the
// first thread is refused an open, while a second thread, which shares
// the table the first had, opens and closes as before. Compared with the
// first thread's table, the first thread was served and the second
// refused.
TEST_F(SharedObjectsTableTest, AFirstThreadThatTakesATableOfItsOwnLaterMovesNotTheProcesssTable)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("first-unshared");
    const QString answer = RunInChildWithin(60000, [&] {
        QStringList seen;
        const TSharedHandle before = OpenNamedMutex(name + "-before");
        // Made while the first thread has the process's table: it shares it.
        std::atomic<bool> go{false};
        QString second;
        std::thread sharer([&] {
            while (!go)
                sched_yield();
            const TSharedHandle event = OpenNamedEvent(name + "-second", false);
            const bool closed = event && CloseNamedObject(event) && CloseNamedObject(before);
            second = closed ? QStringLiteral("opened and closed") : LastSharedObjectError().Message();
        });
        seen << "first thread: " + (unshare(CLONE_FILES) == 0
                                        ? Refusal(OpenNamedEvent(name + "-first", false) == 0)
                                        : QStringLiteral("<unshare: %1>").arg(qt_error_string(errno)));
        go = true;
        sharer.join();
        seen << "second thread: " + second;
        seen << QStringLiteral("files: %1")
                    .arg(ShmExists("E-" + name + "-second") || ShmExists("X-" + name + "-before") ? "left"
                                                                                                  : "gone");
        return seen.join('\n');
    });
    EXPECT_EQ(answer.toStdString(), "first thread: refused\nsecond thread: opened and closed\nfiles: gone");
}

// A child made by fork() has a table of its own, which is its process's:
// its first thread opens two objects, a second thread opens one, and a
// thread that takes a table of its own there is refused. The child
// forgets its parent's keeper of the table and the task id of the thread
// that forked: compared with those, the child's threads were taken for
// threads of another table, or for one that shares the parent's.
TEST_F(SharedObjectsTableTest, AChildMadeByForkHasATableOfItsProcesssOwn)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("child-table");
    const TSharedHandle parents = OpenNamedMutex(name + "-parent"); // the parent's keeper is made
    const QString answer = RunInChildWithin(60000, [&] {
        QStringList seen;
        for (const char* which : {"-first", "-again"}) {
            const TSharedHandle event = OpenNamedEvent(name + which, false);
            seen << QStringLiteral("first thread: %1")
                        .arg(event && CloseNamedObject(event) ? "opened" : LastSharedObjectError().Message());
        }
        std::thread second([&] {
            const TSharedHandle event = OpenNamedEvent(name + "-second", false);
            seen << QStringLiteral("second thread: %1")
                        .arg(event && CloseNamedObject(event) ? "opened" : LastSharedObjectError().Message());
        });
        second.join();
        seen << "own table: " +
                    OnOwnTable([&] { return Refusal(OpenNamedEvent(name + "-own", false) == 0); });
        return seen.join('\n');
    });
    CloseNamedObject(parents);
    EXPECT_EQ(answer.toStdString(),
              "first thread: opened\nfirst thread: opened\nsecond thread: opened\nown table: refused");
}

// The first open returns only once the thread that keeps the process's
// table has started: a fork() right after that open copies none of its
// start into the child (inside AddressSanitizer's allocator, where a child
// may then wait for good). A traced child's first open makes the keeper,
// which the tracer holds stopped at its start (PTRACE_O_TRACECLONE): the
// opener then sleeps (in a futex) and has not returned; once the keeper
// may run, the open returns.
TEST_F(SharedObjectsTableTest, TheFirstOpenReturnsOnceTheKeeperOfTheTableHasStarted)
{
    if (Withheld(DescriptorTablesWithheld, TracingWithheld))
        return;
    const QString name = Unique("keeper-started");
    int returned[2];
    ASSERT_EQ(pipe(returned), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(returned[0]);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(2);
        raise(SIGSTOP);
        const TSharedHandle event = OpenNamedEvent(name, false);
        (void)!write(returned[1], event ? "o" : "f", 1);
        CloseNamedObject(event);
        _exit(0);
    }
    close(returned[1]);
    const auto ended = qScopeGuard([&] {
        close(returned[0]);
        Kill(child);
    });
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_EQ(ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACECLONE | PTRACE_O_EXITKILL), 0);
    // On to the keeper's clone, passing on any other stop's signal.
    int signal = 0;
    for (;;) {
        ASSERT_EQ(ptrace(PTRACE_CONT, child, nullptr, signal), 0);
        ASSERT_EQ(waitpid(child, &status, __WALL), child);
        ASSERT_TRUE(WIFSTOPPED(status)) << "ended without making a thread";
        if (status >> 8 == (SIGTRAP | PTRACE_EVENT_CLONE << 8))
            break;
        signal = WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
    }
    unsigned long keeper = 0;
    ASSERT_EQ(ptrace(PTRACE_GETEVENTMSG, child, nullptr, &keeper), 0);
    ASSERT_EQ(ptrace(PTRACE_CONT, child, nullptr, 0), 0);
    const QByteArray opener = "/proc/" + QByteArray::number(child) + "/task/" + QByteArray::number(child);
    pollfd answer{returned[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (SystemCallOf(opener) != SYS_futex && poll(&answer, 1, 0) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    EXPECT_EQ(poll(&answer, 1, 0), 0) << "the open returned while the keeper had not started";
    EXPECT_EQ(SystemCallOf(opener), SYS_futex) << "the opener does not wait for the keeper";
    // The keeper goes on from its start.
    ASSERT_EQ(waitpid(pid_t(keeper), &status, __WALL), pid_t(keeper));
    ASSERT_EQ(ptrace(PTRACE_DETACH, pid_t(keeper), nullptr, 0), 0);
    char byte = 0;
    answer.revents = 0;
    EXPECT_EQ(poll(&answer, 1, 20000), 1);
    EXPECT_EQ(read(returned[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'o');
}

// The thread that keeps the process's table takes none of the process's
// signals: where the process's own threads block a signal to wait for it
// (sigtimedwait, as a program that reads its signals does), the signal
// sent to the process waits for them. Had the keeper let it through, the
// kernel would have given it the signal, whose default action (here)
// ends the process.
TEST_F(SharedObjectsTableTest, TheKeeperOfTheTableTakesNoSignalOfTheProcess)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("keeper-signal");
    const QString answer = RunInChildWithin(60000, [&] {
        const TSharedHandle event = OpenNamedEvent(name, false); // the keeper is made, nothing blocked
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &usr1, nullptr);
        kill(getpid(), SIGUSR1);
        const timespec bound{20, 0};
        const int taken = sigtimedwait(&usr1, nullptr, &bound);
        CloseNamedObject(event);
        return taken == SIGUSR1 ? QStringLiteral("waited for") : QStringLiteral("not seen");
    });
    EXPECT_EQ(answer.toStdString(), "waited for");
}

// A thread with a table of its own is refused the process's first
// SharedObjectsFolder() (EINVAL, saying why and that the folder is not chosen
// yet): choosing the folder puts its descriptor in the calling thread's
// table, which the process's other threads do not share. Its first thread
// then asks the folder and opens an event there. Chosen by that thread, the
// folder's number stood for nothing in the process's table: every later open
// failed (EBADF).
TEST_F(SharedObjectsTableTest, AThreadWithATableOfItsOwnIsRefusedTheProcesssFirstQuestionOfItsFolder)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const TRuntimeFolder runtime("own-table-folder", geteuid());
    const QByteArray decoy = runtime.Path + "-decoy";
    close(HeldFile(decoy, geteuid(), 0600));
    const auto removed = qScopeGuard([&] { unlink(decoy.constData()); });
    auto p = Script(geteuid(), runtime);
    const QByteArray refused = p->Ask("unshared " + decoy + " folder", 20000);
    EXPECT_TRUE(refused.startsWith("error 22 ") && refused.contains("table of descriptors of its own") &&
                refused.endsWith(" (the folder of this user's shared objects, not chosen yet)"))
        << refused.constData();
    EXPECT_EQ(p->Ask("folder", 20000).toStdString(), ("folder " + runtime.Path).toStdString());
    EXPECT_EQ(p->Ask("event first", 20000).toStdString(), "event clear");
    EXPECT_EQ(p->Finish(20000), 0);
}

// The numbers of this process's open descriptors, as /proc lists them.
std::vector<int> DescriptorNumbers()
{
    std::vector<int> numbers;
    for (const QString& entry : QDir(QStringLiteral("/proc/self/fd"))
                                    .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        numbers.push_back(entry.toInt());
    return numbers;
}

// The names of this process's threads.
QStringList ThreadNames()
{
    QStringList names;
    for (const QString& task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    return names;
}

// The numbers of this process's descriptors of sockets.
std::vector<int> SocketNumbers()
{
    std::vector<int> sockets;
    for (const int number : DescriptorNumbers()) {
        char target[64] = {};
        const QByteArray path = "/proc/self/fd/" + QByteArray::number(number);
        if (readlink(path.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).startsWith("socket:"))
            sockets.push_back(number);
    }
    return sockets;
}

// The number of this process's descriptor of the folder it keeps its
// objects in; -1 where none.
int FolderDescriptor()
{
    const QString folder = SharedObjectsFolder();
    for (const int number : DescriptorNumbers())
        if (QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(number)) == folder)
            return number;
    return -1;
}

// A child made by fork() from a thread with a table of its own, which
// holds another folder of the user's at the number of the process's
// folder, chooses its folder anew, as a new process does: it makes its
// event in the folder the process uses, and nothing in the other one.
// Taking its table's number for its folder, it made the event there.
TEST_F(SharedObjectsTableTest, AChildOfAThreadWithATableOfItsOwnChoosesItsFolderAnew)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("own-table-child");
    const TSharedHandle held = OpenNamedMutex(name + "-parent"); // the folder is chosen
    const int folder = FolderDescriptor();
    ASSERT_GE(folder, 0);
    const TRuntimeFolder other("own-table-other", geteuid());
    const QString answer = OnOwnTable([&] {
        const int decoy = open(other.Path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (decoy < 0 || dup3(decoy, folder, O_CLOEXEC) != folder)
            return QStringLiteral("<no decoy: %1>").arg(qt_error_string(errno));
        close(decoy);
        return RunInChild([] { return QString(); },
                          [&] {
                              const TSharedHandle event = OpenNamedEvent(name, false);
                              const QString answer = QStringLiteral("%1 in %2, made there: %3")
                                                         .arg(event ? "opened" : "refused")
                                                         .arg(SharedObjectsFolder())
                                                         .arg(ShmExists("E-" + name) ? "yes" : "no");
                              CloseNamedObject(event);
                              return answer;
                          });
    });
    EXPECT_EQ(answer.toStdString(),
              QStringLiteral("opened in %1, made there: yes").arg(SharedObjectsFolder()).toStdString());
    EXPECT_EQ(NamesIn(other.Path), QList<QByteArray>{}) << "made in the thread's folder";
    CloseNamedObject(held);
}

// Whether the descriptor is readable within 5 s; what it holds is read.
bool Heard(int descriptor)
{
    pollfd ready{descriptor, POLLIN, 0};
    const bool heard = poll(&ready, 1, 5000) == 1;
    char buffer[64];
    while (recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    return heard;
}

// A set rings a listener without asking the kernel whether the setting
// thread shares the process's table where that thread found that it did
// when it last asked, and no ringing socket was made since: a thread that
// rang, then took a table of its own, rings through its table's copy of
// the socket, which is the same socket. Once the process has made another
// ringing socket (of a second event), whose number stands in the thread's
// table for a socket of the thread's own, the thread's set of that event
// asks again, finds its table its own, and rings through a socket of its
// own: the thread's socket at that number gets nothing. Answered without
// asking, the set sent its ring there.
TEST_F(SharedObjectsTableTest, ARingAsksAgainOnceTheProcessHasMadeARingingSocket)
{
    if (Withheld(DescriptorTablesWithheld))
        return;
    const QString name = Unique("ringing");
    const TSharedHandle first = OpenNamedEvent(name + "-first", true);
    const TSharedHandle second = OpenNamedEvent(name + "-second", true);
    const int firstListener = ListenNamedEvent(first);
    const int secondListener = ListenNamedEvent(second);
    ASSERT_TRUE(first && second && firstListener >= 0 && secondListener >= 0);
    const auto closed = qScopeGuard([&] {
        close(firstListener);
        close(secondListener);
        CloseNamedObject(first);
        CloseNamedObject(second);
    });
    int own[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, own), 0);
    std::atomic<int> step{0};
    std::vector<int> secondSocket; // its number in the process's table
    QStringList seen;
    std::thread setter([&] {
        // The first ring makes the socket; the second asks once more, as
        // it was made since.
        SetNamedEvent(first);
        SetNamedEvent(first);
        seen << QStringLiteral("before: %1").arg(Heard(firstListener) ? "heard" : "silent");
        if (unshare(CLONE_FILES) != 0) {
            seen << QStringLiteral("<unshare: %1>").arg(qt_error_string(errno));
            step = 1;
            return;
        }
        SetNamedEvent(first);
        seen << QStringLiteral("through the copy: %1").arg(Heard(firstListener) ? "heard" : "silent");
        step = 1;
        while (step != 2)
            sched_yield();
        for (const int number : secondSocket)
            dup3(own[0], number, O_CLOEXEC);
        SetNamedEvent(second);
        seen << QStringLiteral("a new socket's event: %1").arg(Heard(secondListener) ? "heard" : "silent");
    });
    while (step != 1)
        sched_yield();
    const std::vector<int> before = SocketNumbers();
    SetNamedEvent(second); // the process makes its socket
    Heard(secondListener);
    for (const int number : SocketNumbers())
        if (std::find(before.begin(), before.end(), number) == before.end())
            secondSocket.push_back(number);
    step = 2;
    setter.join();
    char byte;
    seen << QStringLiteral("the thread's own socket: %1")
                .arg(recv(own[1], &byte, 1, MSG_DONTWAIT) == 1 ? "rung" : "untouched");
    close(own[0]);
    close(own[1]);
    EXPECT_EQ(secondSocket.size(), 1u);
    EXPECT_EQ(seen.join('\n').toStdString(),
              "before: heard\nthrough the copy: heard\n"
              "a new socket's event: heard\nthe thread's own socket: untouched");
}

// A process that may make no more threads (RLIMIT_NPROC reached) cannot make
// the thread that keeps its table of descriptors: its first open fails with
// the system's error (EAGAIN), naming the event, and makes nothing, and the
// next, once a thread can be made, opens as any.
TEST_F(SharedObjectsTableTest, AProcessThatCannotMakeTheKeeperOfItsTableIsRefusedWithTheSystemsError)
{
    if (Withheld(DescriptorTablesWithheld, MadeUpUsersWithheld))
        return;
    const uid_t uid = MadeUpUid(2);
    KeepFolderClean(uid);
    const QString name = Unique("no-keeper");
    const QString answer = RunAsUser(uid, [&] {
        unsetenv("XDG_RUNTIME_DIR");
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        const rlimit one{1, limit.rlim_max};
        if (setrlimit(RLIMIT_NPROC, &one) != 0)
            return QStringLiteral("<setrlimit: %1>").arg(qt_error_string(errno));
        const TSharedHandle refused = OpenNamedEvent(name, false);
        const EOSError error = LastSharedObjectError();
        // The folder is not chosen yet: the event's file is named alone.
        const bool named =
            error.Message().endsWith('\n' + QString::fromLocal8Bit(ObjectFile(uid, "E-" + name.toUtf8())));
        const bool made = ShmExists("E-" + name);
        setrlimit(RLIMIT_NPROC, &limit);
        const TSharedHandle opened = OpenNamedEvent(name, false);
        return QStringLiteral("%1 %2, %3, made %4; then %5")
            .arg(refused ? "opened" : "refused")
            .arg(error.ErrorCode)
            .arg(named ? "named" : error.Message())
            .arg(made ? "yes" : "no")
            .arg(opened ? "opened" : LastSharedObjectError().Message());
    });
    EXPECT_EQ(answer.toStdString(),
              QStringLiteral("refused %1, named, made no; then opened").arg(EAGAIN).toStdString());
}

// Where the system cannot tell tables apart (kcmp refused: ENOSYS, as on a
// kernel without it; EPERM, as under a container's seccomp profile), every
// thread is taken to share the process's table and no keeper is made: the
// first thread opens, grows, listens, hears and closes, a second thread
// opens, and so does a thread that took a table of its own. Taken for a
// refusal to compare, kcmp's failure refused every open.
TEST_F(SharedObjectsTableTest, WhereKcmpIsRefusedEveryThreadIsTakenToShareTheProcesssTable)
{
    for (const int error : {ENOSYS, EPERM}) {
        SCOPED_TRACE(qPrintable(qt_error_string(error)));
        const QString name = Unique("no-kcmp");
        const auto body = [&] {
            QStringList seen;
            const TSharedHandle event = OpenNamedEvent(name, false);
            TSharedHandle memory = 0;
            try {
                memory = OpenNamedMemory(name, 64);
            } catch (const EOSError& refused) {
                seen << refused.Message();
            }
            const int listener = ListenNamedEvent(event);
            SetNamedEvent(event);
            const bool served = event && GrowNamedMemory(memory, 8192) && listener >= 0 && Heard(listener);
            seen << "first thread: " +
                        (served ? QStringLiteral("served") : LastSharedObjectError().Message());
            const auto opens = [&] {
                const TSharedHandle mutex = OpenNamedMutex(name);
                return mutex && CloseNamedObject(mutex) ? QStringLiteral("opened")
                                                        : LastSharedObjectError().Message();
            };
            QString second;
            std::thread([&] { second = opens(); }).join();
            seen << "second thread: " + second;
            seen << "own table: " + OnOwnTable(opens);
            seen << QStringLiteral("keeper: %1")
                        .arg(ThreadNames().contains("tessvar-table") ? "made" : "none");
            UnlistenNamedEvent(event);
            close(listener);
            CloseNamedObject(event);
            CloseNamedObject(memory);
            const bool left = ShmExists("E-" + name) || ShmExists("M-" + name);
            seen << QStringLiteral("files: %1").arg(left ? "left" : "gone");
            return seen.join('\n');
        };
        const QString answer = RunInChild([error] { return WithoutKcmp(error); }, body);
        EXPECT_EQ(
            answer.toStdString(),
            "first thread: served\nsecond thread: opened\nown table: opened\nkeeper: none\nfiles: gone");
    }
}

// Each test of this program that tells tables of descriptors apart skips,
// naming kcmp, or passes where kcmp is refused (ENOSYS, EPERM): the
// program runs them again under a seccomp filter that refuses it, as a
// kernel without it or a container's profile does. A test without that
// skip failed there, as the refusal of a thread with a table of its own
// never came.
TEST_F(SharedObjectsTableTest, TheTestsThatTellTablesApartSkipOrPassWhereKcmpIsRefused)
{
    for (const int error : {ENOSYS, EPERM}) {
        SCOPED_TRACE(qPrintable(qt_error_string(error)));
        // The program's own file, run again with the filter in force, where
        // a privilege withheld only skips and writes no report of its own
        // (the child's environment is this process's); a run of many tests
        // prints no run of 20 empty lines.
        const QByteArray kept[] = {qgetenv("TESSVAR_TEST_ALL_PRIVILEGES"), qgetenv("GTEST_OUTPUT")};
        const bool set[] = {qEnvironmentVariableIsSet("TESSVAR_TEST_ALL_PRIVILEGES"),
                            qEnvironmentVariableIsSet("GTEST_OUTPUT")};
        qunsetenv("TESSVAR_TEST_ALL_PRIVILEGES");
        qunsetenv("GTEST_OUTPUT");
        TFreshProcess run(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral(
                "--gtest_filter=*TableOfItsOwn*:*DescriptorTableOfItsOwn*:SharedObjectsTableTest.*:"
                "-*KcmpIsRefused*")},
            [error] { return WithoutKcmp(error); }, {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
        if (set[0])
            qputenv("TESSVAR_TEST_ALL_PRIVILEGES", kept[0]);
        if (set[1])
            qputenv("GTEST_OUTPUT", kept[1]);
        QStringList output;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const QString line = QString::fromLocal8Bit(run.ReadLine(1000));
            if (!line.isEmpty())
                output << line;
            if (line.startsWith(QStringLiteral("[==========]")) && line.contains(QStringLiteral(" ran.")))
                break;
        }
        const int exitCode = run.Finish(60000);
        for (int empty = 0; empty < 20;) {
            const QString line = QString::fromLocal8Bit(run.ReadLine(100));
            empty = line.isEmpty() ? empty + 1 : 0;
            if (!line.isEmpty())
                output << line;
        }
        const QString text = output.join('\n');
        EXPECT_EQ(exitCode, 0) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("[  PASSED  ]")) &&
                    !text.contains(QStringLiteral("[  FAILED  ]")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("kcmp cannot compare this process's tables of descriptors")))
            << text.toStdString();
    }
}

} // namespace
