#include "tests/support/ChildProcess.h"

#include "platform/rtl/Exceptions.h"
#include "tests/support/MadeUpIds.h"

#include <QByteArray>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

void WriteAllTo(int handle, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(handle, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray ReadAllFrom(int handle)
{
    QByteArray received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(handle, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received.append(buffer, qsizetype(n));
    }
    return received;
}

int WaitForChild(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

namespace {

QString Guarded(const std::function<QString()>& body)
{
    try {
        return body();
    } catch (const Exception& e) {
        return QStringLiteral("<unexpected exception> ") + e.Message();
    } catch (const std::exception& e) {
        return QStringLiteral("<unexpected exception> ") + QString::fromUtf8(e.what());
    }
}

// Lets the traced child run to its next system call entry; false when it
// ended instead (status then says how; -1 when it could not be traced).
// Signals other than the tracing stops are passed on.
bool NextSystemCall(pid_t child, int& status)
{
    int signal = 0;
    for (;;) {
        status = -1;
        if (::ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(intptr_t(signal))) != 0)
            return false;
        status = WaitForChild(child);
        if (!WIFSTOPPED(status))
            return false;
        signal = 0;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal = WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
            continue;
        }
        __ptrace_syscall_info info{};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, child, reinterpret_cast<void*>(sizeof info), &info) > 0 &&
            info.op == PTRACE_SYSCALL_INFO_ENTRY)
            return true;
    }
}

} // namespace

namespace {

// Reads handle to its end until the deadline: false when the deadline came
// first.
bool ReadAllUntil(int handle, std::chrono::steady_clock::time_point deadline, QByteArray& received)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{handle, POLLIN, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, int(left.count())) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::read(handle, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        received.append(buffer, qsizetype(n));
    }
}

} // namespace

TAnsweringChild::TAnsweringChild(const std::function<QString()>& prepare,
                                 const std::function<QString()>& body)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        FAnswer = QStringLiteral("<child failed: no pipe>");
        return;
    }
    FPid = ::fork();
    if (FPid < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        FAnswer = QStringLiteral("<child failed: no fork>");
        return;
    }
    if (FPid == 0) {
        ::close(pipeEnds[0]);
        const QString failure = Guarded(prepare);
        const QString text =
            failure.isEmpty() ? Guarded(body) : QStringLiteral("<child failed: ") + failure + '>';
        WriteAllTo(pipeEnds[1], text.toUtf8());
        ::close(pipeEnds[1]);
        // No destructors, no exit handlers: they belong to the parent.
        ::_exit(failure.isEmpty() ? 0 : 2);
    }
    ::close(pipeEnds[1]);
    FRead = pipeEnds[0];
}

TAnsweringChild::~TAnsweringChild()
{
    Answer();
}

QString TAnsweringChild::Answer(std::optional<int> milliseconds)
{
    if (FPid <= 0)
        return FAnswer;
    QByteArray received;
    bool ended = true;
    if (milliseconds)
        ended = ReadAllUntil(
            FRead, std::chrono::steady_clock::now() + std::chrono::milliseconds(*milliseconds), received);
    else
        received = ReadAllFrom(FRead);
    ::close(FRead);
    if (!ended)
        ::kill(FPid, SIGKILL);
    const int status = WaitForChild(FPid);
    FPid = -1;
    if (!ended)
        FAnswer = QStringLiteral("<timed out>");
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        FAnswer = QStringLiteral("<child failed: status %1> ").arg(status) + QString::fromUtf8(received);
    else
        FAnswer = QString::fromUtf8(received);
    return FAnswer;
}

namespace {

// RunInChild, waiting for the child at most milliseconds (none: as long as
// it takes).
QString RunInChildFor(const std::function<QString()>& prepare, const std::function<QString()>& body,
                      std::optional<int> milliseconds)
{
    return TAnsweringChild(prepare, body).Answer(milliseconds);
}

} // namespace

QString RunInChild(const std::function<QString()>& prepare, const std::function<QString()>& body)
{
    return RunInChildFor(prepare, body, std::nullopt);
}

QString RunInChildWithin(int milliseconds, const std::function<QString()>& body)
{
    return RunInChildFor([] { return QString(); }, body, milliseconds);
}

QString RunAsUser(uid_t uid, const std::function<QString()>& body)
{
    return RunAsUser(uid, gid_t(uid), {}, body);
}

QString RunAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
                  const std::function<QString()>& body)
{
    return RunInChild([&] { return BecomeUser(uid, gid, groups); }, body);
}

QString RunAsOrdinaryUser(const std::function<QString()>& body)
{
    if (::geteuid() == 0)
        return RunAsUser(MadeUpId(kOtherUserSlot), body);
    return RunInChild([] { return QString(); }, body);
}

QString BecomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups)
{
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(gid, gid, gid) != 0 ||
        ::setresuid(uid, uid, uid) != 0)
        return QStringLiteral("cannot become user %1: %2")
            .arg(uid)
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return QString();
}

QString BecomeReadableToTracer()
{
    if (::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0) != 0)
        return QStringLiteral("cannot be made dumpable again: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1)
        return QStringLiteral("stays undumpable");
    return QString();
}

QString DropCapability(int capability)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return QStringLiteral("cannot read the capabilities");
    __user_cap_data_struct& word = data[CAP_TO_INDEX(capability)];
    const uint32_t bit = CAP_TO_MASK(capability);
    word.effective &= ~bit;
    word.permitted &= ~bit;
    word.inheritable &= ~bit;
    if (::syscall(SYS_capset, &header, data) != 0 || ::syscall(SYS_capget, &header, data) != 0 ||
        (word.effective & bit) != 0)
        return QStringLiteral("cannot drop capability %1").arg(capability);
    return QString();
}

namespace {

QString SystemReason(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Forks a child that runs body traced by this process, stopped before its
// first step: its pid (-1 where there is none), with reached telling whether
// it could be traced, status its wait status and refused, where it could
// not, the system's reason.
pid_t StartTraced(const std::function<void()>& body, bool& reached, int& status, QString& refused)
{
    // The child's errno where it may not be traced.
    int report[2];
    if (::pipe2(report, O_CLOEXEC | O_NONBLOCK) != 0) {
        refused = SystemReason("pipe");
        return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        refused = SystemReason("fork");
        ::close(report[0]);
        ::close(report[1]);
        return -1;
    }
    if (child == 0) {
        ::close(report[0]);
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(3);
        }
        ::close(report[1]);
        ::raise(SIGSTOP);
        try {
            body();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    status = WaitForChild(child);
    reached = WIFSTOPPED(status);
    if (!reached) {
        int error = 0;
        errno = ::read(report[0], &error, sizeof error) == sizeof error ? error : ECHILD; // it died
        refused = SystemReason("PTRACE_TRACEME");
    } else if (::ptrace(PTRACE_SETOPTIONS, child, nullptr,
                        reinterpret_cast<void*>(intptr_t(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL))) != 0) {
        reached = false;
        refused = SystemReason("PTRACE_SETOPTIONS");
    }
    ::close(report[0]);
    return child;
}

} // namespace

QString WhyNoSystemCallStops()
{
    bool reached = false;
    int status = 0;
    QString refused;
    const pid_t child = StartTraced([] { ::getppid(); }, reached, status, refused);
    if (reached && !NextSystemCall(child, status))
        refused = status == -1 ? SystemReason("PTRACE_SYSCALL")
                               : QStringLiteral("the traced child ended without stopping at a system call");
    if (child > 0 && (status == -1 || WIFSTOPPED(status))) {
        ::kill(child, SIGKILL);
        WaitForChild(child);
    }
    return refused;
}

int WatchEverySystemCall(const std::function<void()>& body, const std::function<void(int)>& atStop)
{
    bool reached = false;
    int status = 0;
    QString refused;
    const pid_t child = StartTraced(body, reached, status, refused);
    if (child < 0)
        return -1;
    int calls = 0;
    while (reached && (reached = NextSystemCall(child, status)))
        atStop(calls++);
    if (status == -1 || WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);
        WaitForChild(child);
        return -1;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? calls : -1;
}

int StopAtEverySystemCall(const std::function<void()>& body, const std::function<void(int)>& atStop,
                          TAfterStop after)
{
    for (int step = 0;; ++step) {
        bool reached = false;
        int status = 0;
        QString refused;
        const pid_t child = StartTraced(body, reached, status, refused);
        if (child < 0)
            return -1;
        for (int call = 0; call <= step && reached; ++call)
            reached = NextSystemCall(child, status);
        if (reached) {
            atStop(step);
            if (after == TAfterStop::Kill) {
                ::kill(child, SIGKILL);
                WaitForChild(child);
                continue;
            }
            ::ptrace(PTRACE_DETACH, child, nullptr, nullptr);
            status = WaitForChild(child);
        } else if (status == -1 || WIFSTOPPED(status)) {
            ::kill(child, SIGKILL);
            WaitForChild(child);
            return -1;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return -1;
        if (!reached)
            return step; // completed before this step: every step has been stopped
    }
}

TTracedChild::TTracedChild(const std::function<void()>& body)
{
    bool reached = false;
    FPid = StartTraced(body, reached, FStatus, FRefused);
    FStopped = reached;
    FEnded = FPid > 0 && !WIFSTOPPED(FStatus);
}

TTracedChild::~TTracedChild()
{
    if (FPid > 0 && !FEnded) {
        ::kill(FPid, SIGKILL);
        WaitForChild(FPid);
    }
}

bool TTracedChild::NextCall()
{
    if (!FStopped)
        return false;
    FStopped = NextSystemCall(FPid, FStatus);
    if (!FStopped) {
        FEnded = FStatus != -1 && !WIFSTOPPED(FStatus);
        FCall = -1;
        return false;
    }
    __ptrace_syscall_info info{};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, FPid, reinterpret_cast<void*>(sizeof info), &info) <= 0)
        return FStopped = false;
    FCall = long(info.entry.nr);
    for (int i = 0; i < 6; ++i)
        FArguments[i] = info.entry.args[i];
    return true;
}

bool TTracedChild::RunTo(const std::function<bool(const TTracedChild&)>& match)
{
    while (NextCall()) {
        if (match(*this))
            return true;
    }
    return false;
}

QByteArray TTracedChild::TextAt(uint64_t address) const
{
    QByteArray text;
    while (text.size() < 4096) {
        errno = 0;
        const long word = ::ptrace(PTRACE_PEEKDATA, FPid,
                                   reinterpret_cast<void*>(address + uint64_t(text.size())), nullptr);
        if (errno != 0)
            break;
        const char* bytes = reinterpret_cast<const char*>(&word);
        for (size_t i = 0; i < sizeof word; ++i) {
            if (bytes[i] == 0)
                return text;
            text += bytes[i];
        }
    }
    return text;
}

bool TTracedChild::FailCall(int error)
{
#if defined(__x86_64__)
    if (!FStopped)
        return false;
    user_regs_struct registers{};
    if (::ptrace(PTRACE_GETREGS, FPid, nullptr, &registers) != 0)
        return false;
    // No call has the number -1: the kernel skips it, and its result is set
    // at the stop as it returns.
    registers.orig_rax = ~0ULL;
    if (::ptrace(PTRACE_SETREGS, FPid, nullptr, &registers) != 0 ||
        ::ptrace(PTRACE_SYSCALL, FPid, nullptr, nullptr) != 0)
        return false;
    FStatus = WaitForChild(FPid);
    FStopped = WIFSTOPPED(FStatus);
    FEnded = !FStopped;
    if (!FStopped || WSTOPSIG(FStatus) != (SIGTRAP | 0x80) ||
        ::ptrace(PTRACE_GETREGS, FPid, nullptr, &registers) != 0)
        return false;
    registers.rax = uint64_t(-int64_t(error));
    return ::ptrace(PTRACE_SETREGS, FPid, nullptr, &registers) == 0;
#else
    (void)error;
    return false;
#endif
}

bool TTracedChild::StepToCall(uint64_t address, uint64_t argument)
{
#if defined(__x86_64__)
    int signal = 0;
    while (FStopped) {
        user_regs_struct registers{};
        if (::ptrace(PTRACE_GETREGS, FPid, nullptr, &registers) != 0)
            return false;
        // A call's first argument is in rdi as the function begins.
        if (signal == 0 && registers.rip == address && registers.rdi == argument)
            return true;
        if (::ptrace(PTRACE_SINGLESTEP, FPid, nullptr, reinterpret_cast<void*>(intptr_t(signal))) != 0)
            return false;
        FStatus = WaitForChild(FPid);
        FStopped = WIFSTOPPED(FStatus);
        FEnded = !FStopped;
        // A signal that stopped it rather than the step is passed on with
        // the next step, as NextSystemCall passes it (a stop excepted).
        const int stop = FStopped ? WSTOPSIG(FStatus) : 0;
        signal = stop == SIGTRAP || stop == SIGSTOP ? 0 : stop;
    }
    return false;
#else
    (void)address;
    (void)argument;
    return false;
#endif
}

void TTracedChild::Detach()
{
    if (FStopped)
        ::ptrace(PTRACE_DETACH, FPid, nullptr, nullptr);
    FStopped = false;
}

int TTracedChild::Finish()
{
    if (FPid <= 0)
        return -1;
    if (!FEnded) {
        Detach();
        FStatus = WaitForChild(FPid);
        FEnded = true;
    }
    return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : 200 + (WIFSIGNALED(FStatus) ? WTERMSIG(FStatus) : 0);
}
