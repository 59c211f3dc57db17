// The room that a claim may take: one of zeros larger than the memory the
// system has available (on a file system that tells no size) or than the
// file system's free room is refused before a byte is written; one larger
// than what the process's memory cgroup has left, on a file system that
// keeps its pages in memory, before anything is claimed, counting the file
// cache that the group can reclaim.
#include "platform/os/SharedObjects.h"
#include "tests/platform/os/SharedObjectsGrowSupport.h"
#include "tests/platform/os/SharedObjectsTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MemoryCgroup.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
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

constexpr int64_t kMiB = 1 << 20;

// A create of a block name of size bytes, closed again where it was made:
// "made", or its error and whether it left a file.
QString Create(const QString& name, int64_t size)
{
    try {
        CloseNamedObject(OpenNamedMemory(name, size));
        return QStringLiteral("made");
    } catch (const EOSError& error) {
        return Named(error, BlockFile(name)) +
               (FileSize(BlockFile(name)) < 0 ? QStringLiteral(", no file") : QStringLiteral(", a file"));
    }
}

// A grow of a new block name of 4096 bytes to size bytes, closed
// afterwards: "grown", or its error and the size of its file.
QString Grow(const QString& name, int64_t size)
{
    const TSharedHandle memory = OpenNamedMemory(name, 4096);
    const QString seen = GrowNamedMemory(memory, size)
                             ? QStringLiteral("grown")
                             : Named(LastSharedObjectError(), BlockFile(name)) +
                                   QStringLiteral(", file of %1 bytes").arg(FileSize(BlockFile(name)));
    CloseNamedObject(memory);
    return seen;
}

// Runs body in a forked child that joins the memory cgroup group once
// ready has run there (empty, or why not) and takes a file system of type
// of its own ("ramfs"; or "tmpfs", large enough to bound no claim here),
// where it becomes the made-up user uid: the text body answers.
QString RunInGroupOn(const TMemoryCgroup& group, const char* type, const std::function<QString()>& body,
                     const std::function<QString()>& ready = {})
{
    const TRamfsPoint point("group");
    return RunInChild(
        [&] {
            if (const QString why = group.Join(); !why.isEmpty())
                return why;
            if (const QString why = ready ? ready() : QString(); !why.isEmpty())
                return why;
            return std::strcmp(type, "ramfs") == 0
                       ? EnterOwnRamfs(point.Path, MadeUpUid(1))
                       : EnterOwnFileSystem(point.Path, MadeUpUid(1), "tmpfs", "size=1g,mode=0755");
        },
        body);
}

// In a memory cgroup of 64 MiB (a container's memory limit, swap closed to
// it), on a file system that keeps its pages in memory, a create or a grow
// of 96 MiB, far below the memory that the system has available, is
// refused before anything is claimed: ENOSPC naming the block, the file as
// it was (a create leaves none). The process lives. On ramfs (zeros
// written) and on tmpfs (fallocate) alike, each page claimed is charged to
// the group: a claim bound by the system's memory alone went ahead, and the
// kernel's out-of-memory killer ended the process part of the way. A claim
// of 16 MiB, within the group's room, is made.
TEST_F(SharedObjectsRoomTest, AClaimPastTheRoomOfTheMemoryCgroupIsRefusedAndKillsNoProcess)
{
    if (Withheld(MemoryCgroupWithheld, RamfsWithheld))
        return;
    ASSERT_GT(AvailableMemory(), 512 * kMiB) << "too little memory available for a 96 MiB claim to pass it";
    for (const char* type : {"ramfs", "tmpfs"}) {
        SCOPED_TRACE(type);
        const TMemoryCgroup group(64 * kMiB);
        const QString answer = RunInGroupOn(group, type, [] {
            return QStringList(
                       {QStringLiteral("create of 96 MiB: ") + Create(QStringLiteral("c96"), 96 * kMiB),
                        QStringLiteral("grow to 96 MiB: ") + Grow(QStringLiteral("g96"), 96 * kMiB),
                        QStringLiteral("create of 16 MiB: ") + Create(QStringLiteral("c16"), 16 * kMiB),
                        QStringLiteral("grow to 16 MiB: ") + Grow(QStringLiteral("g16"), 16 * kMiB)})
                .join('\n');
        });
        EXPECT_EQ(answer.toStdString(),
                  QStringList({"create of 96 MiB: ENOSPC naming the block, no file",
                               QStringLiteral("grow to 96 MiB: ENOSPC naming the block, "
                                              "file of %1 bytes")
                                   .arg(kHead + 4096),
                               "create of 16 MiB: made", "grow to 16 MiB: grown"})
                      .join('\n')
                      .toStdString());
    }
}

// A folder on a file system that keeps its pages on a disk, whose page
// cache the kernel can reclaim: the first of the temporary folders and the
// working folder that is; empty where none is, with the reason in why.
QByteArray DiskFolder(QString& why)
{
    for (const QString& candidate : {QDir::tempPath(), QStringLiteral("/var/tmp"), QDir::currentPath()}) {
        struct statfs fs {};
        const QByteArray path = QFile::encodeName(candidate);
        if (statfs(path.constData(), &fs) == 0 && fs.f_type != TMPFS_MAGIC && fs.f_type != RAMFS_MAGIC &&
            fs.f_blocks > 0 && access(path.constData(), W_OK) == 0)
            return path;
    }
    why = QStringLiteral("no writable folder on a file system that keeps its pages on a disk");
    return QByteArray();
}

// A memory cgroup of 64 MiB whose process wrote 40 MiB to a file on a disk
// (the page cache of that file, synced, charged to the group) makes a
// block of 32 MiB: the kernel reclaims the cache to give it its pages. Its
// room counts that cache: without it the room was less than 24 MiB, and the
// create was refused (ENOSPC) in a group that had room enough.
TEST_F(SharedObjectsRoomTest, AClaimMayTakeTheFileCacheThatTheMemoryCgroupCanReclaim)
{
    if (Withheld(MemoryCgroupWithheld, RamfsWithheld))
        return;
    QString why;
    const QByteArray folder = DiskFolder(why);
    if (Withheld(ProbeAnswer(QStringLiteral("a folder on a disk"), why)))
        return;
    const QByteArray cached = folder + "/tessvar-cache-" + QByteArray::number(getpid());
    const auto removed = qScopeGuard([&] { unlink(cached.constData()); });
    const TMemoryCgroup group(64 * kMiB);
    const QString answer = RunInGroupOn(
        group, "tmpfs",
        [] { return QStringLiteral("create of 32 MiB: ") + Create(QStringLiteral("c32"), 32 * kMiB); },
        [&] {
            const int fd = open(cached.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0)
                return QStringLiteral("no file of cache: ") + qt_error_string(errno);
            const QByteArray piece(int(kMiB), 'c');
            bool written = true;
            for (int i = 0; i < 40 && written; ++i)
                written = write(fd, piece.constData(), size_t(piece.size())) == piece.size();
            written = written && fsync(fd) == 0;
            close(fd);
            return written ? QString() : QStringLiteral("the file of cache was not written");
        });
    EXPECT_EQ(answer.toStdString(), "create of 32 MiB: made");
}

// A memory cgroup hierarchy as the kernel tells it, planted for a row of
// the test below: this process's groups (the text of /proc/self/cgroup),
// the mount of the hierarchy (a line of /proc/self/mountinfo, "<tree>"
// standing for the folder where the planted files are), and those files.
struct TPlantedRow {
    const char* Name;
    QByteArray Groups;
    QByteArray Mount;
    QList<std::pair<QByteArray, QByteArray>> Files;
    int64_t Size; // of the create, in MiB
    const char* Expected;
};

// Makes /proc/self/cgroup and /proc/self/mountinfo of this process (a
// forked child with a mount namespace of its own, where it may mount) tell
// row's hierarchy, its files planted in a tmpfs at tree: empty, or why
// not.
QString PlantHierarchy(const TPlantedRow& row, const QByteArray& tree)
{
    const auto why = [](const QString& step) { return step + QStringLiteral(": ") + qt_error_string(errno); };
    if (mount("tessvar-test", tree.constData(), "tmpfs", 0, "mode=0755") != 0)
        return why(QStringLiteral("no tmpfs for the hierarchy"));
    const QByteArray proc = "/proc/" + QByteArray::number(getpid()) + '/';
    QList<std::pair<QByteArray, QByteArray>> files = row.Files;
    files << std::pair{QByteArray("proc-cgroup"), row.Groups}
          << std::pair{QByteArray("proc-mountinfo"), QByteArray(row.Mount).replace("<tree>", tree) + '\n'};
    for (const auto& [name, text] : files) {
        const QByteArray path = tree + '/' + name;
        if (!QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/')))))
            return QStringLiteral("no folder for ") + QString::fromLocal8Bit(path);
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return QStringLiteral("cannot write ") + QString::fromLocal8Bit(path);
    }
    for (const char* name : {"cgroup", "mountinfo"})
        if (mount((tree + "/proc-" + name).constData(), (proc + name).constData(), nullptr, MS_BIND,
                  nullptr) != 0)
            return why(QStringLiteral("cannot put a file over ") + QString::fromLocal8Bit(proc + name));
    return QString();
}

// The room under the memory cgroups as the kernel tells them, in rows of a
// planted hierarchy (its files as cgroup v2 and v1 write them), each with a
// create of a block on a tmpfs that only that room bounds: refused (ENOSPC
// naming the block, no file) where it passes the room, made where it does
// not. Each row holds a step of the reading: the levels above the process's
// group, up to the root of the hierarchy; a mount that shows the hierarchy
// from a group below its root (a container's, without a cgroup namespace);
// no limit ("max"); the file cache that a level can reclaim, in v2's
// words and in v1's ("total_", the level and the groups below it); cgroup
// v1's memory controller among others of its hierarchy, and its number for
// no limit; and a mount point with a space, which mountinfo escapes. Where
// the machine has a hierarchy of only one of the two versions, or none
// that this process may make groups in, only these rows hold the other.
TEST_F(SharedObjectsRoomTest, TheRoomUnderTheMemoryCgroupsIsReadAsTheKernelTellsIt)
{
    if (Withheld(RamfsWithheld))
        return;
    const QByteArray mib64 = QByteArray::number(64 * kMiB);
    const QByteArray mib8 = QByteArray::number(8 * kMiB);
    const QByteArray mib60 = QByteArray::number(60 * kMiB);
    const QByteArray mib20 = QByteArray::number(20 * kMiB);
    const QByteArray noLimitV1 = "9223372036854771712"; // the largest count of 4 KiB pages, in bytes
    const QByteArray unified = "40 30 0:40 / <tree> rw,relatime - cgroup2 cgroup2 rw";
    const QByteArray refused = "ENOSPC naming the block, no file";
    // A limit of 64 MiB, 8 MiB of it used, at the parent of the parent of
    // the process's group.
    const QList<std::pair<QByteArray, QByteArray>> twoLevelsUp = {{"a/memory.max", mib64},
                                                                  {"a/memory.current", mib8},
                                                                  {"a/memory.stat", "anon 8388608\n"},
                                                                  {"a/b/memory.max", "max\n"},
                                                                  {"a/b/c/memory.max", "max\n"}};
    const TPlantedRow rows[] = {
        {"v2, the limit two levels up", "0::/a/b/c\n", unified, twoLevelsUp, 96, refused},
        {"v2, the same within the room", "0::/a/b/c\n", unified, twoLevelsUp, 32, "made"},
        {"v2, a mount that shows the hierarchy from a group below its root",
         "0::/box/c/app\n",
         "40 30 0:40 /box/c <tree> rw - cgroup2 cgroup2 rw",
         {{"memory.max", "max\n"},
          {"app/memory.max", mib64},
          {"app/memory.current", mib8},
          {"app/memory.stat", ""}},
         96,
         refused},
        {"v2, no limit",
         "0::/a\n",
         unified,
         {{"memory.max", "max\n"}, {"a/memory.max", "max\n"}},
         96,
         "made"},
        {"v2, 40 MiB of file cache to reclaim",
         "0::/a\n",
         unified,
         {{"a/memory.max", mib64},
          {"a/memory.current", mib60},
          {"a/memory.stat",
           "anon 1\nfile 41943040\nactive_file " + mib20 + "\ninactive_file " + mib20 + "\nshmem 0\n"}},
         32,
         "made"},
        {"v1, memory among the hierarchy's controllers",
         "7:pids:/x\n5:cpu,memory:/x\n0::/\n",
         "42 30 0:42 / <tree>/pids rw - cgroup cgroup rw,pids\n41 30 0:41 / <tree> rw - cgroup cgroup "
         "rw,cpu,memory",
         {{"memory.limit_in_bytes", noLimitV1},
          {"x/memory.limit_in_bytes", mib64},
          {"x/memory.usage_in_bytes", mib8},
          {"x/memory.stat", "cache 0\nrss 8388608\n"}},
         96,
         refused},
        {"v1, no limit",
         "5:memory:/x\n",
         "41 30 0:41 / <tree> rw - cgroup cgroup rw,memory",
         {{"memory.limit_in_bytes", noLimitV1}, {"x/memory.limit_in_bytes", noLimitV1}},
         96,
         "made"},
        {"v1, 40 MiB of file cache to reclaim",
         "5:memory:/x\n",
         "41 30 0:41 / <tree> rw - cgroup cgroup rw,memory",
         {{"x/memory.limit_in_bytes", mib64},
          {"x/memory.usage_in_bytes", mib60},
          {"x/memory.stat", "active_file 0\ninactive_file 0\ntotal_active_file " + mib20 +
                                "\ntotal_inactive_file " + mib20 + "\n"}},
         32,
         "made"},
        {"v2, a mount point with a space",
         "0::/a\n",
         "40 30 0:40 / <tree>/cg\\040root rw - cgroup2 cgroup2 rw",
         {{"cg root/a/memory.max", mib64}, {"cg root/a/memory.current", mib8}, {"cg root/a/memory.stat", ""}},
         96,
         refused},
    };
    for (const TPlantedRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const TRamfsPoint tree("tree");
        const TRamfsPoint point("planted");
        const QString answer = RunInChild(
            [&] {
                // Root plants in a mount namespace of its own before it
                // becomes the made-up user; another user in the user and
                // mount namespace whose root it becomes.
                const auto own = [&] {
                    return EnterOwnFileSystem(point.Path, MadeUpUid(1), "tmpfs", "size=1g,mode=0755");
                };
                if (geteuid() != 0) {
                    const QString entered = own();
                    return entered.isEmpty() ? PlantHierarchy(row, tree.Path) : entered;
                }
                if (unshare(CLONE_NEWNS) != 0 ||
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                    return QStringLiteral("no mount namespace of its own: ") + qt_error_string(errno);
                const QString planted = PlantHierarchy(row, tree.Path);
                return planted.isEmpty() ? own() : planted;
            },
            [&] { return Create(QStringLiteral("planted"), row.Size * kMiB); });
        EXPECT_EQ(answer.toStdString(), row.Expected);
    }
}

// A grow whose process cannot read its memory cgroups for a failure of its
// own fails with that error naming the block, and leaves the block as it
// was: on a tmpfs, the grow's open of /proc/self/cgroup answers EMFILE, no
// descriptor left (which a tracer makes it answer: a table filled for real
// leaves the sanitizers none for their own checks as the error is made).
// Taken as a file that tells nothing, the failure let the grow go on,
// bound by no memory cgroup.
TEST_F(SharedObjectsRoomTest, AGrowThatCannotReadItsMemoryCgroupsFailsWithTheProcesssOwnError)
{
    // Root's child becomes a made-up user, whose memory only a tracer of
    // enough rights reads; another user's stays its own.
    if (Withheld(TracingWithheld, RamfsWithheld,
                 [] { return geteuid() == 0 ? TracedMemoryWithheld() : QString(); }))
        return;
    const TRamfsPoint point("cgroup-emfile");
    const uid_t uid = MadeUpUid(1);
    TTracedChild grower([&] {
        if (!EnterOwnFileSystem(point.Path, uid, "tmpfs", "size=1g,mode=0755").isEmpty() ||
            !BecomeReadableToTracer().isEmpty())
            _exit(3);
        const QString name = QStringLiteral("emfile");
        const TSharedHandle memory = OpenNamedMemory(name, 4096);
        getppid(); // the grow begins
        if (GrowNamedMemory(memory, 1024 * 1024))
            _exit(4);
        if (Named(LastSharedObjectError(), BlockFile(name)) != "EMFILE naming the block")
            _exit(5);
        if (FileSize(BlockFile(name)) != kHead + 4096 || NamedMemorySize(memory) != 4096)
            _exit(6);
        CloseNamedObject(memory);
    });
    ASSERT_TRUE(grower.Refused().isEmpty()) << grower.Refused().toStdString();
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) { return call.Call() == SYS_getppid; }))
        << "the grower ended with " << grower.Finish();
    ASSERT_TRUE(grower.RunTo([](const TTracedChild& call) {
        return call.Call() == SYS_openat && call.TextAt(call.Argument(1)) == "/proc/self/cgroup";
    })) << "the grow read no memory cgroup";
    if (!grower.FailCall(EMFILE))
        GTEST_SKIP() << "a system call's result cannot be changed on this architecture";
    EXPECT_EQ(grower.Finish(), 0);
}

} // namespace
