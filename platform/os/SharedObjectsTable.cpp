// The process's table of descriptors, where the named objects keep theirs:
// which table that is, held by a thread of the unit's own for the life of
// the process, whether the calling thread shares it (asked of the kernel,
// or for a ring as the thread last found it), and what a child made by
// fork() forgets of it. It stands on the base alone.
//
// The kernel tells whether two tasks share a table (kcmp(KCMP_FILES)), but
// only while both have one: a thread that has ended has none. The table of
// the process's first thread, which the process's table was, goes with that
// thread's end, and a thread that takes a table of its own later
// (unshare(CLONE_FILES)), the first included, takes a copy and leaves the
// table it had. So the table is held by a thread made for the purpose, the
// keeper, which shares it from the first step of the unit that needs it
// (before any descriptor of the unit is in it) and sleeps in it until the
// process ends or execs: the process's table is the keeper's, and every
// thread is compared with the keeper.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>

#include <linux/kcmp.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// The keeper's task id; 0 where none is made (in a child made by fork(),
// whose only thread is the one that forked, none is), kMaking while a
// thread makes it.
constexpr pid_t kMaking = -1;
std::atomic<pid_t> Keeper{0};

// The calling thread's task id, asked once (and again in a child made by
// fork(), where ForgetTable forgets it).
thread_local pid_t Task = 0;

pid_t ThisTask()
{
    if (Task == 0)
        Task = pid_t(syscall(SYS_gettid));
    return Task;
}

// How many sockets that ring listeners the process has made, and the
// calling thread's last answer with that count as it was asked (see
// SharedWhenLastAsked).
std::atomic<uint64_t> RingingSockets{0};
struct TAnswer {
    uint64_t Sockets = 0;
    bool Shares = false; // false where none was asked
};
thread_local TAnswer LastAnswer;

// kcmp of the two tasks' kind of resource: 0 the same, above 0 not, -1
// where the system cannot tell (a kernel without kcmp, a seccomp profile
// that refuses it: ENOSYS, EPERM).
long Compare(pid_t a, pid_t b, int kind)
{
    return syscall(SYS_kcmp, a, b, kind, 0, 0);
}

// The keeper's life: it says who it is, then sleeps until the process ends
// or execs. Every signal is blocked in it (it is made so), so that none
// runs a handler on it or wakes it.
void* KeepTable(void*)
{
    pthread_setname_np(pthread_self(), "tessvar-table");
    Keeper.store(pid_t(syscall(SYS_gettid)));
    Keeper.notify_all();
    for (;;)
        pause();
}

// Makes the keeper on the calling thread, whose table it then shares: 0,
// or the system's error (EAGAIN where the process may have no more
// threads).
int MakeKeeper()
{
    pthread_attr_t attributes;
    if (const int error = pthread_attr_init(&attributes))
        return error;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    // It runs a few calls and sleeps: a small stack, not the default 8 MB
    // of address space.
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t keeper;
    const int error = pthread_create(&keeper, &attributes, &KeepTable, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    pthread_attr_destroy(&attributes);
    return error;
}

} // namespace

namespace {

int AskOwnTable()
{
    const pid_t self = ThisTask();
    for (;;) {
        pid_t keeper = Keeper.load();
        if (keeper > 0)
            return Compare(keeper, self, KCMP_FILES) > 0 ? EINVAL : 0;
        if (keeper == kMaking) {
            Keeper.wait(kMaking);
            continue;
        }
        // No keeper yet: the process's table is its first thread's, while
        // that thread lives. Where the system cannot tell tables apart,
        // every thread is taken to share it, and no keeper is made.
        const pid_t first = ThisProcess();
        const long files = Compare(first, self, KCMP_FILES);
        if (files < 0)
            return 0;
        // Another table than a living first thread's (threads share their
        // memory for good, so the first thread has memory while it lives):
        // this thread's own. Where the first thread has ended, its table
        // went with it: the calling thread's is taken.
        if (files > 0 && Compare(first, self, KCMP_VM) == 0)
            return EINVAL;
        if (!Keeper.compare_exchange_strong(keeper, kMaking))
            continue;
        if (const int error = MakeKeeper()) {
            Keeper.store(0);
            Keeper.notify_all();
            return error;
        }
        // The keeper shares this thread's table. It is waited for until it
        // has started and says who it is, so that no fork() copies it
        // into a child half started (inside a sanitizer's allocator, say).
        Keeper.wait(kMaking);
        return 0;
    }
}

} // namespace

int OwnTableError()
{
    // The count is read before the kernel is asked, so that a socket made
    // meanwhile has the answer asked again.
    const uint64_t sockets = RingingSockets.load();
    const int answer = AskOwnTable();
    LastAnswer = {sockets, answer == 0};
    return answer;
}

// A thread that shared the process's table when it asked, and has taken a
// table of its own since, holds a copy of that table: the same open files
// at the same numbers, until something changes them there. The unit closes
// and replaces nothing in such a table, and counts the descriptors that an answer not
// asked again is used for, the sockets that ring listeners, as it makes
// them. So where the count is as it was, the socket at a ringing number is
// the process's, in the process's table or in the thread's copy of it, and
// a ring through it reaches the same listener.
bool SharedWhenLastAsked()
{
    const TAnswer& answer = LastAnswer;
    return answer.Shares && answer.Sockets == RingingSockets.load();
}

void RingingSocketMade()
{
    RingingSockets.fetch_add(1);
}

QString OwnTableRefusal(int refusal, const QString& what)
{
    return refusal == EINVAL ? OwnTableText(what)
                             : SystemErrorText(refusal, qt_error_string(refusal) + QLatin1Char('\n') + what);
}

bool RefusedToOwnTable(const QString& what, int& error, QString& message)
{
    const int refusal = OwnTableError();
    if (refusal == 0)
        return false;
    error = refusal;
    message = OwnTableRefusal(refusal, what);
    return true;
}

QByteArray ProcessDescriptorPath(int fd)
{
    const pid_t keeper = Keeper.load();
    const QByteArray descriptors = keeper > 0 ? "/proc/self/task/" + QByteArray::number(keeper) + "/fd/"
                                              : QByteArray(kProcessDescriptors);
    return descriptors + QByteArray::number(fd);
}

bool ForksFromOwnTable()
{
    const pid_t keeper = Keeper.load();
    return keeper > 0 && Compare(keeper, ThisTask(), KCMP_FILES) > 0;
}

void ForgetTable()
{
    Keeper.store(0);
    Task = 0;
}

} // namespace sharedobjects_detail
