#include "tests/support/FileSizeLimit.h"

#include "tests/support/ChildProcess.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <exception>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

QString RunWithFileSizeLimit(long long limitBytes, const std::function<QString()>& body)
{
    return RunInChild(
        [limitBytes] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(limitBytes);
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? QString() : QStringLiteral("no limit");
        },
        body);
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
    run.Errors = QString::fromLocal8Bit(ReadAllFrom(errors));
    ::close(errors);
    const int status = WaitForChild(child);
    run.Signalled = WIFSIGNALED(status);
    run.Signal = run.Signalled ? WTERMSIG(status) : 0;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
