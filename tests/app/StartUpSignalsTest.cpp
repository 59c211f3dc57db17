// The program's start-up under a file size limit: started as an ordinary
// shell under "ulimit -f" starts it (SIGXFSZ at its default disposition), the
// program ignores the signal itself from its first statement on, so a save
// past the limit becomes the save error with its message instead of a
// silent death.
#include "tests/support/FileSizeLimit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The set of signals the process ignores, from its status in /proc; 0 while
// it cannot be read.
unsigned long long IgnoredSignals(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

TEST(StartUpSignals, TheProgramIgnoresTheFileSizeSignalFromItsStart)
{
    const unsigned long long xfsz = 1ULL << (SIGXFSZ - 1);
    int errors = -1;
    const pid_t child = StartProgramWithFileSizeLimit(4096, QStringLiteral(TESSVAR_PROGRAM), {}, errors);
    ASSERT_GT(child, 0);
    bool ignored = false;
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    bool ended = false;
    while (!ignored && clock.elapsed() < 30000) {
        ignored = (IgnoredSignals(child) & xfsz) != 0;
        if (!ignored && ::waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            break;
        }
        QThread::msleep(5);
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    ::close(errors);
    EXPECT_TRUE(ignored) << "the program did not ignore SIGXFSZ (ended: " << ended << ", status " << status
                         << ")";
}

} // namespace
