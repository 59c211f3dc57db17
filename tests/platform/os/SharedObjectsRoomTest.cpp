// The room that a claim of zeros may take: one larger than the memory the
// system has available (on a file system that tells no size) or than the
// file system's free room is refused before a byte is written.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Privileges.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdint>

#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sharedobjects_test;

namespace {

// The memory that the system reports available, in bytes (MemAvailable).
int64_t AvailableMemory()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : meminfo.readAll().split('\n'))
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// On a file system that tells no size (ramfs, which keeps every page in
// memory), a claim of zeros larger than the memory that the system has
// available is refused before a byte is written: ENOSPC naming the block,
// its file as it was (a create leaves none). Each claim is made by a child
// that the test ends as soon as its file passes 64 MiB, so that a claim
// that wrote on cannot take the machine's memory (one to the largest size
// a file can have ended processes all over the machine, through the
// kernel's out-of-memory killer).
TEST_F(SharedObjectsRoomTest, AClaimOfZerosLargerThanTheMemoryAvailableIsRefusedBeforeAByteIsWritten)
{
    if (Withheld(RamfsWithheld))
        return;
    const int64_t beyond = AvailableMemory() + (int64_t(1) << 30);
    ASSERT_GT(beyond, int64_t(1) << 30) << "no MemAvailable in /proc/meminfo";
    const QString answer = RunOnRamfs(MadeUpUid(1), [&] {
        QStringList seen;
        struct Claim {
            const char* what;
            bool create;
            int64_t size;
        };
        for (const Claim& claim :
             {Claim{"grow to the largest", false, kLargest - 64},
              Claim{"grow past the memory", false, beyond}, Claim{"create past the memory", true, beyond}}) {
            const QString name = QString::fromLatin1(claim.what).replace(' ', '-');
            const QByteArray file = BlockFile(name);
            int answerPipe[2];
            if (pipe(answerPipe) != 0)
                return QStringLiteral("no pipe");
            const pid_t claimer = fork();
            if (claimer == 0) {
                close(answerPipe[0]);
                QString outcome;
                if (claim.create) {
                    try {
                        CloseNamedObject(OpenNamedMemory(name, claim.size));
                        outcome = QStringLiteral("made");
                    } catch (const EOSError& error) {
                        outcome = Named(error, file);
                    }
                } else {
                    const TSharedHandle memory = OpenNamedMemory(name, 4096);
                    outcome = GrowNamedMemory(memory, claim.size) ? QStringLiteral("grown")
                                                                  : Named(LastSharedObjectError(), file);
                    outcome += QStringLiteral(", file of %1 bytes").arg(FileSize(file));
                    CloseNamedObject(memory);
                }
                WriteAllTo(answerPipe[1], outcome.toUtf8());
                _exit(0);
            }
            close(answerPipe[1]);
            bool ended = false;
            while (!ended) {
                if (FileSize(file) > (int64_t(64) << 20)) {
                    kill(claimer, SIGKILL);
                    break;
                }
                ended = waitpid(claimer, nullptr, WNOHANG) == claimer;
                if (!ended)
                    usleep(5000);
            }
            if (!ended)
                waitpid(claimer, nullptr, 0);
            const QByteArray outcome = ReadAllFrom(answerPipe[0]);
            close(answerPipe[0]);
            seen << QStringLiteral("%1: %2").arg(QLatin1String(claim.what),
                                                 ended ? QString::fromUtf8(outcome)
                                                       : QStringLiteral("wrote past 64 MiB"));
            unlink(file.constData());
        }
        return seen.join('\n');
    });
    const QString file = QStringLiteral("file of %1 bytes").arg(kHead + 4096);
    EXPECT_EQ(answer.toStdString(), QStringList({"grow to the largest: ENOSPC naming the block, " + file,
                                                 "grow past the memory: ENOSPC naming the block, " + file,
                                                 "create past the memory: ENOSPC naming the block"})
                                        .join('\n')
                                        .toStdString());
}

// On a file system without fallocate that tells its size, a claim of zeros
// larger than its free room is refused before a byte is written: on a tmpfs
// of 1 MiB whose fallocate a tracer makes answer EOPNOTSUPP (standing in
// for a FUSE or network file system), a grow to 2 MiB fails with ENOSPC
// naming the block, its file as it was, and no zeros are written. Writing
// them, the grow filled the file system before it failed the same way.
TEST_F(SharedObjectsRoomTest, AClaimOfZerosLargerThanTheFileSystemsRoomIsRefusedBeforeAByteIsWritten)
{
    if (Withheld(TracingWithheld, RamfsWithheld))
        return;
    const TRamfsPoint point("room");
    const uid_t uid = MadeUpUid(1);
    TTracedChild grower([&] {
        if (!EnterOwnFileSystem(point.Path, uid, "tmpfs", "size=1m,mode=0755").isEmpty())
            _exit(3);
        const QString name = QStringLiteral("room");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        if (GrowNamedMemory(memory, 2 * 1024 * 1024))
            _exit(4);
        if (Named(LastSharedObjectError(), BlockFile(name)) != "ENOSPC naming the block")
            _exit(5);
        if (FileSize(BlockFile(name)) != kHead + 4096)
            _exit(6);
        getppid(); // the grow has ended
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(grower.Refused().isEmpty()) << grower.Refused().toStdString();
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_fallocate && int64_t(call.Argument(2)) == kHead + 4096;
    })) << "the grow made no claim";
    if (!grower.FailCall(EOPNOTSUPP))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_pwrite64 || call.Call() == SYS_getppid;
    })) << "the grower ended with "
        << grower.Finish();
    EXPECT_EQ(grower.Call(), SYS_getppid) << "zeros were written";
    EXPECT_EQ(grower.Finish(), 0);
}

} // namespace
