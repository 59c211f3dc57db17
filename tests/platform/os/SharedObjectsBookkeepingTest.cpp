#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EarlierLayoutBlock.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// The steps inside the bookkeeping of a named object.
struct StepRow {
    const char* name;
    TSharedStep step;
};
constexpr StepRow kBookkeepingSteps[] = {
    {"made", TSharedStep::Made},
    {"removing", TSharedStep::Removing},
    {"growing", TSharedStep::Growing},
};

// A child that makes a block of that name (enlarging it for the growing
// step), closes it, and opens and closes an event of the name, raising
// signal the first time it comes to step.
pid_t SpawnSignalledAt(const QString& name, TSharedStep step, int signal)
{
    return Spawn([=] {
        static TSharedStep at;
        static int raised;
        at = step;
        raised = signal;
        SetSharedObjectsProbe([](TSharedStep now) {
            if (now == at && raised != 0)
                raise(std::exchange(raised, 0));
        });
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        if (step == TSharedStep::Growing)
            GrowNamedMemory(memory, 5000);
        CloseNamedObject(memory);
        const TSharedHandle event = OpenNamedEvent(name, false);
        CloseNamedObject(event);
    });
}

// A process that dies inside the bookkeeping of a named object: after
// making the block but before marking it complete, after marking it removed
// but before taking its name away, after enlarging it but before recording
// the size. The next user opens the name as if nothing had happened.
TEST(SharedObjectsTest, ADeathInsideTheBookkeepingOfAnObjectDoesNotBlockTheNext)
{
    for (const StepRow& row : kBookkeepingSteps) {
        const QString name = Unique(row.name);
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << row.name;

        QElapsedTimer timer;
        timer.start();
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        auto* bytes = static_cast<char*>(MapNamedMemory(memory));
        ASSERT_NE(bytes, nullptr) << row.name;
        EXPECT_GE(NamedMemorySize(memory), 100) << row.name;
        bytes[99] = 'x';
        EXPECT_TRUE(EventStillWorks(name, false)) << row.name;
        EXPECT_LT(timer.elapsed(), 3000) << row.name;
        UnmapNamedMemory(bytes);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name)) << row.name;
    }
}

// The earlier layout kept every event of a user behind one process-shared
// mutex and condition variable in "/tessvar-<uid>-H-events", which a process
// killed inside a wait left locked for good. A block of that layout, left
// locked (its mutex held by a live process, its condition variable's lock
// word set), and a mutex of that layout held the same way, must not stop the
// objects of this layout. Run under a user id of its own, so that the blocks
// of the real user are not touched.
TEST(SharedObjectsTest, BlocksOfTheEarlierLayoutLeftLockedDoNotStopThisOne)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t uid = MadeUpUid(0);
    RemoveFolderOf(uid);
    const auto removed = qScopeGuard([uid] { RemoveFolderOf(uid); });
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

// A process stopped (SIGSTOP) inside the bookkeeping of an object: after
// making it, while removing it, while enlarging it. Another process opening
// that name completes or fails, with the operating-system error naming the
// object, within the 5000 ms bound; other names open meanwhile at once, on
// another thread as well; once the stopped process goes on, the name works.
TEST(SharedObjectsTest, AProcessStoppedInsideTheBookkeepingDelaysOthersAtMostTheBound)
{
    for (const StepRow& row : kBookkeepingSteps) {
        const QString name = Unique(row.name) + "-stopped";
        const pid_t pid = SpawnSignalledAt(name, row.step, SIGSTOP);
        int status = 0;
        waitpid(pid, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status)) << row.name;

        std::atomic<qint64> otherMs{-1};
        std::thread other([&] {
            usleep(200'000); // while the main thread waits for the stopped one
            QElapsedTimer timer;
            timer.start();
            const TSharedHandle event = OpenNamedEvent(name + "-other", false);
            otherMs = event ? timer.elapsed() : -2;
            CloseNamedObject(event);
        });
        QElapsedTimer timer;
        timer.start();
        try {
            const TSharedHandle memory = OpenNamedMemory(name, 100);
            CloseNamedObject(memory);
        } catch (const EOSError& error) {
            EXPECT_EQ(error.ErrorCode, ETIMEDOUT) << row.name;
            EXPECT_TRUE(error.Message().contains("tessvar5-" + QString::number(geteuid()) + "-M-" + name))
                << error.Message().toStdString();
        }
        EXPECT_LT(timer.elapsed(), 5000 + 1500) << row.name;
        other.join();
        EXPECT_GE(otherMs.load(), 0) << row.name;
        EXPECT_LT(otherMs.load(), 1000) << row.name;

        kill(pid, SIGCONT);
        waitpid(pid, &status, 0);
        const TSharedHandle memory = OpenNamedMemory(name, 100);
        void* view = MapNamedMemory(memory);
        EXPECT_NE(view, nullptr) << row.name;
        UnmapNamedMemory(view);
        CloseNamedObject(memory);
        EXPECT_FALSE(ShmExists("M-" + name)) << row.name;
    }
}

// Two processes of a user hold an event and a block. One of them (A) closes
// both, stopped in turn at each system call of its close, while the other
// (B) closes them: whichever is last removes both names.
TEST(SharedObjectsTest, ACloserStoppedAnywhereInItsCloseLeavesTheRemovalToTheLast)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    auto b = Script(a);
    ASSERT_EQ(b->Ask("folder", 20000), "folder " + ObjectFolderOf(a, 0));
    bool closedBeforeTheStop = false;
    int step = 0;
    for (; !closedBeforeTheStop && step < 200; ++step) {
        SCOPED_TRACE(step);
        const QByteArray name = Unique("stopped-").toUtf8() + QByteArray::number(step);
        ASSERT_EQ(b->Ask("event " + name, 20000), "event clear");
        ASSERT_EQ(b->Ask("memory " + name + " 64", 20000), "memory 64 0");
        TTracedChild closer([&] {
            BecomeWithoutRuntime(a);
            const TSharedHandle event = OpenNamedEvent(QString::fromUtf8(name), true);
            const TSharedHandle memory = OpenNamedMemory(QString::fromUtf8(name), 0);
            getppid(); // the close begins
            if (!CloseNamedObject(event) || !CloseNamedObject(memory))
                _exit(2);
        });
        ASSERT_TRUE(closer.Refused().isEmpty()) << closer.Refused().toStdString();
        ASSERT_TRUE(closer.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
        for (int call = 0; call <= step && !closedBeforeTheStop; ++call)
            closedBeforeTheStop = !closer.NextCall();
        ASSERT_TRUE(b->Send("close " + name));
        QByteArray closed = b->ReadLine(300); // at once, or once A goes on
        EXPECT_EQ(closer.Finish(), 0);
        if (closed.isEmpty())
            closed = b->ReadLine(20000);
        EXPECT_EQ(closed, "closed");
        EXPECT_EQ(ObjectsIn(ObjectFolderOf(a, 0), a, {"E-" + name, "M-" + name}), QList<QByteArray>{});
    }
    EXPECT_TRUE(closedBeforeTheStop) << "more than " << step << " calls";
    EXPECT_EQ(b->Finish(20000), 0);
}

// A process that makes a block is stopped between marking it complete and
// taking its use of it, while another process opens the name: the other
// opens that very block, and both use it.
TEST(SharedObjectsTest, ACreatorStoppedBeforeTakingItsUseKeepsItsBlock)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const uid_t a = MadeUpUid(1);
    RemoveFolderOf(a);
    const auto removed = qScopeGuard([a] { RemoveFolderOf(a); });
    const QByteArray name = Unique("made").toUtf8();
    const QByteArray file = ObjectFolderOf(a, 0) + "/tessvar5-" + QByteArray::number(uint(a)) + "-M-" + name;
    TTracedChild creator([&] {
        BecomeWithoutRuntime(a);
        CloseNamedObject(OpenNamedMutex(QStringLiteral("first"))); // the folder chosen and swept
        getppid();                                                 // the block is made
        const auto* word = static_cast<const volatile int32_t*>(
            MapNamedMemory(OpenNamedMemory(QString::fromUtf8(name), 64)));
        for (int i = 0; word && *word != 9 && i < 1000; ++i)
            usleep(10'000);
        _exit(word && *word == 9 ? 0 : 3);
    });
    ASSERT_TRUE(creator.Refused().isEmpty()) << creator.Refused().toStdString();
    ASSERT_TRUE(creator.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }));
    ASSERT_TRUE(creator.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_fcntl && call.Argument(1) == F_OFD_SETLK;
    }));
    ASSERT_EQ(FileText(file).left(4), "TSV5"); // marked complete
    auto other = Script(a);
    ASSERT_TRUE(other->Send("memory " + name + " 0"));
    QByteArray opened = other->ReadLine(300); // it waits for the creator
    creator.Detach();
    if (opened.isEmpty())
        opened = other->ReadLine(20000);
    EXPECT_EQ(opened, "memory 64 0");
    EXPECT_EQ(other->Ask("write " + name + " 9", 20000), "written");
    EXPECT_EQ(creator.Finish(), 0) << "the creator's block did not get the other's 9";
    EXPECT_EQ(other->Finish(20000), 0);
}

} // namespace
