#include "tests/support/FileSizeLimit.h"

#include "platform/rtl/Exceptions.h"

#include <QByteArray>

#include <csignal>
#include <cerrno>
#include <exception>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    QByteArray received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received.append(buffer, qsizetype(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child failed: status %1> ").arg(status) + QString::fromUtf8(received);
    return QString::fromUtf8(received);
}
