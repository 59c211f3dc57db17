#include "tests/support/FileSizeLimit.h"

#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QFile>

#include <csignal>
#include <cerrno>
#include <exception>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

void WriteAll(int handle, const QByteArray& bytes)
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

QByteArray ReadAll(int handle)
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

int WaitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

QString RunWithFileSizeLimit(long long limitBytes, const std::function<QString()>& body)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return QStringLiteral("<child failed: no pipe>");
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return QStringLiteral("<child failed: no fork>");
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(limitBytes);
        int status = 0;
        QString text;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            text = QStringLiteral("<child failed: no limit>");
            status = 2;
        } else {
            try {
                text = body();
            } catch (const Exception& e) {
                text = QStringLiteral("<unexpected exception> ") + e.Message();
            } catch (const std::exception& e) {
                text = QStringLiteral("<unexpected exception> ") + QString::fromUtf8(e.what());
            }
        }
        WriteAll(pipeEnds[1], text.toUtf8());
        ::close(pipeEnds[1]);
        // No destructors, no exit handlers: they belong to the parent.
        ::_exit(status);
    }
    ::close(pipeEnds[1]);
    const QByteArray received = ReadAll(pipeEnds[0]);
    ::close(pipeEnds[0]);
    const int status = WaitFor(child);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child failed: status %1> ").arg(status) + QString::fromUtf8(received);
    return QString::fromUtf8(received);
}

pid_t StartProgramWithFileSizeLimit(long long limitBytes, const QString& program,
                                    const QStringList& arguments, int& errorsHandle)
{
    errorsHandle = -1;
    // Everything the child needs is made before the fork.
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return -1;
    }
    if (child == 0) {
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        ::sigaction(SIGXFSZ, &standard, nullptr);
        sigset_t unblocked;
        sigemptyset(&unblocked);
        sigaddset(&unblocked, SIGXFSZ);
        ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(limitBytes);
        if (::setrlimit(RLIMIT_FSIZE, &limit) == 0)
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    errorsHandle = pipeEnds[0];
    return child;
}

TLimitedRun RunProgramWithFileSizeLimit(long long limitBytes, const QString& program,
                                        const QStringList& arguments)
{
    TLimitedRun run;
    int errors = -1;
    const pid_t child = StartProgramWithFileSizeLimit(limitBytes, program, arguments, errors);
    if (child < 0) {
        run.Errors = QStringLiteral("<not started>");
        return run;
    }
    run.Errors = QString::fromLocal8Bit(ReadAll(errors));
    ::close(errors);
    const int status = WaitFor(child);
    run.Signalled = WIFSIGNALED(status);
    run.Signal = run.Signalled ? WTERMSIG(status) : 0;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
