#pragma once
// A forked process that holds a lease on a file, as a file server holds its
// delegations or oplocks: when another process opens the file, the system
// tells the holder (SIGIO) and keeps that open waiting until the holder gives
// the lease up, which it does kHoldMilliseconds later. An open that waits as
// a plain open does takes at least that long; one that does not wait fails
// at once (EWOULDBLOCK).
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class TLeaseHolder {
public:
    // How long the holder keeps its lease once the system asks for it.
    static constexpr int kHoldMilliseconds = 100;

    // Takes a lease of kind (F_RDLCK or F_WRLCK) on fileName in a child, and
    // returns once the child holds it or has failed to take it. The system
    // grants a write lease only while no other descriptor of the file is
    // open, and a read lease only while none is open for writing.
    TLeaseHolder(const QString& fileName, int kind)
    {
        const QByteArray path = QFile::encodeName(fileName);
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) {
            FFailure = QStringLiteral("no pipe");
            return;
        }
        FChild = ::fork();
        if (FChild == 0) {
            ::close(report[0]);
            Hold(path.constData(), kind, report[1]);
        }
        ::close(report[1]);
        int error = -1;
        ssize_t n = 0;
        while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        ::close(report[0]);
        if (FChild < 0)
            FFailure = QStringLiteral("no fork");
        else if (n != sizeof error)
            FFailure = QStringLiteral("the holder ended before taking its lease");
        else if (error != 0)
            FFailure = QStringLiteral("no lease taken: ") + QString::fromLocal8Bit(std::strerror(error));
    }

    ~TLeaseHolder()
    {
        if (FChild > 0) {
            ::kill(FChild, SIGKILL);
            Reap();
        }
    }

    TLeaseHolder(const TLeaseHolder&) = delete;
    TLeaseHolder& operator=(const TLeaseHolder&) = delete;

    // Empty once the child holds its lease, else why it does not.
    const QString& Failure() const { return FFailure; }

    // Waits for the holder's end: empty where the system asked for its lease
    // and it gave the lease up, else why not.
    QString Finish()
    {
        if (FChild <= 0)
            return QStringLiteral("no holder");
        const int status = Reap();
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return QString();
        if (WIFEXITED(status) && WEXITSTATUS(status) == kNeverAsked)
            return QStringLiteral("the system never asked for the lease");
        return QStringLiteral("the holder ended with status %1").arg(status);
    }

private:
    // The holder's exit status where nobody asked for its lease in time.
    static constexpr int kNeverAsked = 3;
    // The end of the pipe the signal handler writes to, in the holder.
    static inline volatile sig_atomic_t WakeHandle = -1;

    static void OnBreak(int)
    {
        const int saved = errno;
        const char byte = 'b';
        (void)!::write(WakeHandle, &byte, 1);
        errno = saved;
    }

    // The child's whole life, in calls that are safe after a fork in a
    // process of many threads: reports 0 or the errno of the failed step
    // through report, then waits for the system's call and lets go.
    [[noreturn]] static void Hold(const char* path, int kind, int report)
    {
        int wake[2];
        int error = 0;
        int handle = -1;
        struct sigaction action {};
        action.sa_handler = &TLeaseHolder::OnBreak;
        sigemptyset(&action.sa_mask);
        sigset_t io;
        sigemptyset(&io);
        sigaddset(&io, SIGIO);
        if (::pipe2(wake, O_CLOEXEC) != 0 || ::sigaction(SIGIO, &action, nullptr) != 0 ||
            ::sigprocmask(SIG_UNBLOCK, &io, nullptr) != 0 ||
            (handle = ::open(path, O_RDONLY | O_CLOEXEC)) < 0 || ::fcntl(handle, F_SETSIG, SIGIO) != 0 ||
            ::fcntl(handle, F_SETLEASE, kind) != 0)
            error = errno != 0 ? errno : EINVAL;
        WakeHandle = wake[1];
        (void)!::write(report, &error, sizeof error);
        ::close(report);
        if (error != 0)
            ::_exit(2);
        pollfd ready{wake[0], POLLIN, 0};
        int polled = 0;
        while ((polled = ::poll(&ready, 1, 20000)) < 0 && errno == EINTR) {
        }
        if (polled <= 0)
            ::_exit(kNeverAsked);
        timespec left{0, kHoldMilliseconds * 1000000L};
        while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
        ::_exit(::fcntl(handle, F_SETLEASE, F_UNLCK) == 0 ? 0 : 4);
    }

    int Reap()
    {
        int status = 0;
        while (::waitpid(FChild, &status, 0) < 0 && errno == EINTR) {
        }
        FChild = -1;
        return status;
    }

    pid_t FChild = -1;
    QString FFailure;
};

// How long call took, in milliseconds.
inline int64_t ElapsedMilliseconds(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}
