#include "tests/support/FreshProcess.h"

#include "tests/support/ChildProcess.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Pointers to the words, ending with a null one, as exec wants them.
std::vector<char*> Pointers(std::vector<QByteArray>& words)
{
    std::vector<char*> pointers;
    for (QByteArray& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

TFreshProcess::TFreshProcess(const QString& program, const QStringList& arguments,
                             const std::function<QString()>& become, const QStringList& environment)
{
    // Everything the child needs is made before the fork.
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<QByteArray> settings;
    for (char** entry = environ; *entry; ++entry)
        if (!QByteArray(*entry).startsWith("XDG_RUNTIME_DIR="))
            settings.emplace_back(*entry);
    for (const QString& setting : environment)
        settings.push_back(setting.toLocal8Bit());
    std::vector<char*> argv = Pointers(words);
    std::vector<char*> envp = Pointers(settings);
    const int file = ::open(words[0].constData(), O_RDONLY | O_CLOEXEC);
    int ends[2], input[2];
    if (file < 0 || ::pipe2(ends, O_CLOEXEC) != 0) {
        FPending = "<not started> cannot open " + words[0] + '\n';
        if (file >= 0)
            ::close(file);
        return;
    }
    // A socket rather than a pipe, so that a line sent to a child that has
    // ended fails rather than raising SIGPIPE in the test.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0)
        input[0] = input[1] = -1;
    FPid = ::fork();
    if (FPid == 0) {
        ::dup2(ends[1], STDOUT_FILENO);
        if (input[0] >= 0)
            ::dup2(input[0], STDIN_FILENO);
        const QString failure = become ? become() : QString();
        if (failure.isEmpty())
            ::syscall(SYS_execveat, file, "", argv.data(), envp.data(), AT_EMPTY_PATH);
        WriteAllTo(STDOUT_FILENO, "<not started> " +
                                      (failure.isEmpty() ? QByteArray("exec: ") + qt_error_string(errno).toLocal8Bit()
                                                         : failure.toLocal8Bit()) +
                                      '\n');
        ::_exit(127);
    }
    ::close(file);
    ::close(ends[1]);
    FOutput = ends[0];
    if (input[0] >= 0)
        ::close(input[0]);
    FInput = input[1];
    if (FPid < 0) {
        FPending = "<not started> fork failed\n";
        ::close(FOutput);
        FOutput = -1;
    }
}

TFreshProcess::~TFreshProcess()
{
    Finish(0);
}

QByteArray TFreshProcess::ReadLine(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const qsizetype end = FPending.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = FPending.left(end);
            FPending.remove(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (FOutput < 0 || left.count() <= 0)
            return QByteArray();
        pollfd poller{FOutput, POLLIN, 0};
        const int ready = ::poll(&poller, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return QByteArray();
        char buffer[4096];
        const ssize_t got = ::read(FOutput, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(FOutput);
            FOutput = -1;
            continue;
        }
        FPending.append(buffer, qsizetype(got));
    }
}

bool TFreshProcess::Send(const QByteArray& line)
{
    if (FInput < 0)
        return false;
    const QByteArray bytes = line + '\n';
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t wrote = ::send(FInput, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        sent += wrote;
    }
    return true;
}

QByteArray TFreshProcess::Ask(const QByteArray& line, int ms)
{
    return Send(line) ? ReadLine(ms) : QByteArray();
}

void TFreshProcess::CloseInput()
{
    if (FInput >= 0)
        ::close(FInput);
    FInput = -1;
}

int TFreshProcess::Finish(int ms)
{
    CloseInput();
    if (FPid > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(FPid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            ::usleep(5000);
        if (ended == 0) {
            ::kill(FPid, SIGKILL);
            status = WaitForChild(FPid);
        }
        FExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        FPid = -1;
    }
    if (FOutput >= 0) {
        ::close(FOutput);
        FOutput = -1;
    }
    return FExitCode;
}
