#pragma once
// Helpers that the tests of the named objects share: their fixture, child
// processes, made-up users and their folders, the names of the objects'
// files, what a test sees at a name, the peer program.
#include "platform/os/SharedObjectsLayout.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sharedobjects_test {

// A name no other test run uses.
QString Unique(const char* name);

// A child process that runs body and reports its one-byte result through a
// pipe; the child ends with _exit so that nothing of the parent's state is
// torn down twice.
class Child {
public:
    explicit Child(const std::function<char()>& body)
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            char result = 'X'; // an exception, which must not go on to the parent's tests
            try {
                result = body();
            } catch (...) {
            }
            (void)!write(fds[1], &result, 1);
            _exit(0);
        }
        close(fds[1]);
        FRead = fds[0];
    }
    ~Child() { Result(); }
    // The child's result once it has ended; 0 when it gave none.
    char Result()
    {
        if (FPid > 0) {
            if (read(FRead, &FResult, 1) != 1)
                FResult = 0;
            close(FRead);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
        return FResult;
    }

private:
    pid_t FPid = -1;
    int FRead = -1;
    char FResult = 0;
};

bool ShmExists(const QString& kindAndName);

pid_t Spawn(const std::function<void()>& body);

void Kill(pid_t pid);

// A user id no account has, of this test process alone (n, below 4, tells
// several apart).
uid_t MadeUpUid(int n);

// The folder of the objects of the made-up user uid, as a process of that
// user without XDG_RUNTIME_DIR chooses it (making it where none was).
QByteArray FolderOf(uid_t uid);

// Removes a folder and the files in it.
void RemoveFolder(const QByteArray& folder);

void RemoveFolderOf(uid_t uid);

// Starts body in a child process as user uid (the parent must be root),
// which ends with body's result as its exit code.
pid_t SpawnAsUser(uid_t uid, const std::function<int()>& body);

// The exit code of a child once it has ended; 200 + the signal that ended it.
int ExitCode(pid_t pid);

// Runs body in a child process as user uid; the child's exit code, 0 for
// success.
int AsUser(uid_t uid, const std::function<int()>& body);

QByteArray FileText(const QByteArray& path);

// Whether a set made here releases a waiter in a new child within 2 s.
bool EventStillWorks(const QString& name, bool manual);

// The waiters registered on this user's event of that name (in the folder
// this process uses), as its word counts them: a waiter registers before
// it looks for a short while and sleeps, and from then on each set or
// pulse that finds it grants it the event. -1 where the file cannot be
// read.
int SleepersOn(const QString& name);

// The processes that listen to this user's event of that name, as its head
// counts them; -1 where its file cannot be read.
int ListenersOf(const QString& name);

// Waits until count waiters are registered on the event name: false where
// they are not within 20 s.
bool SleepersReach(const QString& name, int count);

// The system call in which the thread or process whose folder in /proc is
// task sleeps (SYS_futex ...), as /proc tells it; -1 where it runs or that
// cannot be read.
long SystemCallOf(const QByteArray& task);

// The calling thread's folder in /proc, as any process reaches it.
QByteArray ThreadFolder();

// CLOCK_MONOTONIC in nanoseconds.
int64_t MonotonicNs();

// A race of two threads of this process, let go at one instant: each runs
// raced(i) (i 0 or 1), timed, then after(i); the race is over when both
// have ended. Only where the two timed steps overlapped did they meet, and
// then one of them began first.
struct TTwoThreadRace {
    TTwoThreadRace(const std::function<void(int)>& raced, const std::function<void(int)>& after = {});
    bool Met() const { return std::max(Began[0], Began[1]) < std::min(Ended[0], Ended[1]); }
    int First() const { return Began[0] <= Began[1] ? 0 : 1; }
    int64_t Began[2] = {0, 0};
    int64_t Ended[2] = {0, 0};
};

// What a test sees of a name: its kind, owner, mode and identity, and the
// names in it or its bytes; the same before and after means untouched.
QByteArray Look(const QByteArray& path);

// The mode (octal, with the kind) and the owner of what is at a name.
QByteArray ModeAndOwner(const QByteArray& path);

// Removes whatever is at a name, a folder with the files in it.
void RemoveName(const QByteArray& path);

// Starts the peer program as user uid, at place, running the commands the
// test sends; become, where given, stands in for the change of user, and
// environment's "NAME=value" entries are added to its environment.
std::unique_ptr<TFreshProcess> Script(uid_t uid, const TPlace& place = {"outside a user namespace", std::nullopt},
                                      const std::function<QString()>& become = {},
                                      const QStringList& environment = {});

// The head of the file names of the objects of this layout:
// "tessvar7-<uid>-<kind>-<name>".
inline constexpr const char* kObjectFilePrefix = sharedobjects_layout::kNamePrefix;

// The file name of the object of the user uid ("M-name" ...; "" for the head
// that the names of the user's objects share), in the layout given by
// prefix.
QByteArray ObjectFile(uid_t uid, const QByteArray& kindAndName, const QByteArray& prefix = kObjectFilePrefix);

// The path of that file in folder.
QByteArray ObjectPath(const QByteArray& folder, uid_t uid, const QByteArray& kindAndName,
                      const QByteArray& prefix = kObjectFilePrefix);

// The files in folder of the object kinds and names given ("M-blk" ...).
QList<QByteArray> ObjectsIn(const QByteArray& folder, uid_t uid, const QList<QByteArray>& kindsAndNames);

// The user of a test of how long objects live: a made-up one, whose folder
// is the test's alone, where this process may act as one; else this
// process's own user, whose folder the other tests share (under names of
// their own). The guard removes a made-up user's folder at the end.
struct TLifetimeUser {
    uid_t Uid = MadeUpUsersWithheld().isEmpty() ? MadeUpUid(1) : geteuid();
    TLifetimeUser() { Clear(); }
    ~TLifetimeUser() { Clear(); }
    void Clear() const
    {
        if (Uid != geteuid())
            RemoveFolderOf(Uid);
    }
    // Why this user's rights do not bind it (root, which opens every file),
    // for a test of refusals; empty where they do.
    QString RightsWithheld() const { return Uid == 0 ? MadeUpUsersWithheld() : QString(); }
};

// A folder that a test gives user uid as XDG_RUNTIME_DIR, of that mode,
// removed with what is in it at the end.
struct TRuntimeFolder {
    QByteArray Path;
    TRuntimeFolder(const char* tag, uid_t uid, mode_t mode = 0700)
        : Path("/tmp/tessvar-" + QByteArray(tag) + '-' + QByteArray::number(getpid()))
    {
        RemoveName(Path);
        EXPECT_EQ(mkdir(Path.constData(), 0700), 0) << Path.constData();
        EXPECT_EQ(chown(Path.constData(), uid, uid), 0);
        EXPECT_EQ(chmod(Path.constData(), mode), 0);
    }
    ~TRuntimeFolder()
    {
        chmod(Path.constData(), 0700);
        RemoveName(Path);
    }
    QString Setting() const { return QStringLiteral("XDG_RUNTIME_DIR=") + QString::fromLocal8Bit(Path); }
    // The file of an object of user uid ("E-name" ...) in it.
    QByteArray File(uid_t uid, const QByteArray& kindAndName) const
    {
        return ObjectPath(Path, uid, kindAndName);
    }
};

// The peer program as user uid, with runtime as its XDG_RUNTIME_DIR.
std::unique_ptr<TFreshProcess> Script(uid_t uid, const TRuntimeFolder& runtime);

// A file of uid's own at path, of mode, that a process holds as an object
// it uses (a shared usage lock), as an earlier build or a process killed
// while making it left it: the descriptor that holds it.
int HeldFile(const QByteArray& path, uid_t uid, mode_t mode);

// Gives this process (a child, root) a mount namespace of its own with a
// /dev/shm of its own, a tmpfs mounted with options: empty, or why not.
QString OwnDevShm(const char* options);

// Makes a forked child user uid, without XDG_RUNTIME_DIR: its objects go to
// the user's series in /dev/shm, as those of the peers started as uid. A
// traced child stays readable to its tracer (BecomeReadableToTracer).
void BecomeWithoutRuntime(uid_t uid);

// Whether a process holds the bookkeeping lock of the object's file at path
// (the flock that opening, growing and closing an object take), asked
// through a descriptor of this process's own: 0 where this process could
// take it (let go at once), else the error (EWOULDBLOCK where another holds
// it, ENOENT where nothing is at path ...).
int TryBookkeepingLock(const QByteArray& path);

// A forked child that runs body, hands its one-byte result to Ready, and
// then waits until the test lets it go (Release, or the end of this object),
// runs atRelease (closing what body opened) and ends with _exit: a process
// that holds what body opened while the test acts and looks. An exception
// out of body gives 'X'.
class TPausedChild {
public:
    explicit TPausedChild(const std::function<char()>& body, const std::function<void()>& atRelease = {});
    ~TPausedChild() { Release(); }
    TPausedChild(const TPausedChild&) = delete;
    TPausedChild& operator=(const TPausedChild&) = delete;
    // body's result, once body has returned; 0 where the child ended without
    // one.
    char Ready();
    // Lets the child end: its exit code (200 + the signal that ended it).
    int Release();

private:
    pid_t FPid = -1;
    int FReady = -1;
    int FGo = -1;
    char FResult = 0;
    bool FHaveResult = false;
    int FExitCode = -1;
};

// Why a forked child cannot have a ramfs of its own (a file system without
// fallocate, where a claim of pages writes zeros) as EnterOwnRamfs gives it:
// root's child needs a mount namespace and a made-up user to become, another
// user's a user namespace. Empty where it can.
QString RamfsWithheld();

// A folder that forked children mount a ramfs of their own on
// (EnterOwnRamfs): made empty here, removed at the end.
struct TRamfsPoint {
    QByteArray Path;
    explicit TRamfsPoint(const char* tag);
    ~TRamfsPoint();
};

// Gives this process (a forked child, of one thread) a mount namespace of
// its own with a ramfs mounted at point, and on it a folder of mode 0700
// made its XDG_RUNTIME_DIR. Root's child then becomes the made-up user uid,
// whose folder it is; another user's child enters a user namespace first,
// as its root (uid unused). Either way its user id is no longer its
// parent's, so that it chooses its objects' folder anew: the one on the
// ramfs. Empty, or why not.
QString EnterOwnRamfs(const QByteArray& point, uid_t uid);
// The same with a file system of that type and mount options ("tmpfs",
// "size=1m,mode=0755").
QString EnterOwnFileSystem(const QByteArray& point, uid_t uid, const char* type, const char* options);

// Runs body in a forked child on a ramfs of its own (EnterOwnRamfs): the
// text body answers, or "<child failed: ...>" where the child could not be
// set up.
QString RunOnRamfs(uid_t uid, const std::function<QString()>& body);

// Gives this process (a forked child: root, or the root of a user namespace
// of its own) a mount namespace of its own, where a tmpfs mounted at
// mountPoint (a folder) with options holds the folder mountPoint/run of
// owner's, of mode; readOnly then remounts the tmpfs read-only, so that the
// folder's rights can no longer be changed (EROFS). An empty text, or why
// not.
QString OwnRuntimeTmpfs(const QByteArray& mountPoint, const char* options, uid_t owner, mode_t mode,
                        bool readOnly);

// The fixture of the tests of the named objects: what a test needs that the
// machine may withhold, asked in one line, and the folders of made-up users
// that it keeps clean.
class TSharedObjectsTest : public ::testing::Test {
protected:
    // Where reason (a probe's answer, as those of Privileges.h give it) is
    // not empty: skips the test naming it, and answers true, for the test to
    // return at once (a skip ends only the function it is in).
    bool Withheld(const QString& reason);
    // Asks the probes (MadeUpUsersWithheld, TracingWithheld ...) in turn, up
    // to the first that answers a reason, which skips the test as above; the
    // later ones are not asked, as where each was asked on a line of its own.
    template <typename... TProbe> bool Withheld(TProbe... probes) { return (Withheld(probes()) || ...); }
    // Removes the folder of the made-up user uid, with the files in it, now
    // and again at the end of the test.
    void KeepFolderClean(uid_t uid);
    void TearDown() override;

private:
    std::vector<uid_t> FCleanFolders;
};

// The suites, each of the source file of its name.
class SharedObjectsBellTest : public TSharedObjectsTest {};
class SharedObjectsClaimTest : public TSharedObjectsTest {};
class SharedObjectsEventsTest : public TSharedObjectsTest {};
class SharedObjectsWaitTest : public TSharedObjectsTest {};
class SharedObjectsFolderTest : public TSharedObjectsTest {};
class SharedObjectsLifetimeTest : public TSharedObjectsTest {};
class SharedObjectsLockTest : public TSharedObjectsTest {};
class SharedObjectsMutexTest : public TSharedObjectsTest {};
class SharedObjectsRegistryTest : public TSharedObjectsTest {};
class SharedObjectsRoomTest : public TSharedObjectsTest {};
class SharedObjectsTableTest : public TSharedObjectsTest {};

} // namespace sharedobjects_test
