#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/LeaseHolder.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Privileges.h"
#include "tests/support/UserNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// A stream that takes at most Capacity bytes, to make writes fall short.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int64_t capacity) : Capacity(capacity) {}
    int64_t Write(const void* buffer, int64_t count) override
    {
        return TMemoryStream::Write(buffer, std::min(count, Capacity - Position()));
    }
    int64_t Capacity;
};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(Exceptions, MessageHierarchyAndAbort)
{
    EReadError e(QStringLiteral("Caf\u00E9 read"));
    EXPECT_EQ(e.Message(), QStringLiteral("Caf\u00E9 read"));
    EXPECT_STREQ(e.what(), "Caf\xC3\xA9 read"); // what() is UTF-8
    e.SetMessage(QStringLiteral("changed"));
    EXPECT_STREQ(e.what(), "changed");
    EXPECT_TRUE(dynamic_cast<EFilerError*>(&e) != nullptr);
    EXPECT_TRUE(dynamic_cast<EStreamError*>(&e) != nullptr);
    EXPECT_TRUE(dynamic_cast<Exception*>(&e) != nullptr);

    EXPECT_THROW(Abort(), EAbort);
    try {
        Abort();
    } catch (const Exception& abort) {
        EXPECT_EQ(abort.Message(), "Operation aborted");
    }
}

TEST(MemoryStream, PositionSizeAndSeekPastEnd)
{
    TMemoryStream stream;
    stream.WriteBytes("abcdef");
    EXPECT_EQ(stream.Position(), 6);
    EXPECT_EQ(stream.Size(), 6);

    // Seeking past the end is allowed; reading there gets nothing.
    EXPECT_EQ(stream.Seek(4, TSeekOrigin::soEnd), 10);
    char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_EQ(stream.Size(), 6);

    // Writing there extends the stream; the gap reads as zeros.
    stream.WriteBytes("XY");
    EXPECT_EQ(stream.Size(), 12);
    EXPECT_EQ(stream.Bytes(), QByteArray("abcdef\0\0\0\0XY", 12));

    EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soCurrent), 9);
    EXPECT_EQ(stream.Read(buffer, 4), 3);
    EXPECT_EQ(QByteArray(buffer, 3), QByteArray("\0XY", 3));

    // A negative position reads and writes nothing.
    stream.SetPosition(-1);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
    EXPECT_EQ(stream.Write("z", 1), 0);
    EXPECT_EQ(stream.Size(), 12);
}

TEST(MemoryStream, SetSizeClearAndConstruction)
{
    TMemoryStream stream(QByteArray("hello"));
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Size(), 5);
    stream.SetPosition(5);
    stream.SetSize(2); // shrinking pulls the position back
    EXPECT_EQ(stream.Position(), 2);
    stream.SetSize(4); // growing zero-fills
    EXPECT_EQ(stream.Bytes(), QByteArray("he\0\0", 4));
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStream, ShortTransfersRaise)
{
    TMemoryStream source(QByteArray("0123456789"));
    char buffer[16] = {};
    source.ReadBuffer(buffer, 10);
    EXPECT_EQ(QByteArray(buffer, 10), "0123456789");
    source.ReadBuffer(buffer, 0); // nothing to move is not a short transfer

    source.SetPosition(8);
    try {
        source.ReadBuffer(buffer, 3);
        FAIL() << "no EReadError";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    source.SetPosition(8);
    EXPECT_THROW(source.ReadBytes(3), EReadError);
    source.SetPosition(8);
    EXPECT_EQ(source.ReadBytes(2), "89");
    EXPECT_THROW(source.ReadBytes(-1), EReadError);

    TShortStream target(4);
    target.WriteBuffer("abcd", 4);
    try {
        target.WriteBuffer("e", 1);
        FAIL() << "no EWriteError";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

TEST(MemoryStream, CopyFrom)
{
    TMemoryStream source(QByteArray("0123456789"));
    TMemoryStream target;

    // Count 0 copies the whole source from its beginning, wherever it stood.
    source.SetPosition(7);
    EXPECT_EQ(target.CopyFrom(source, 0), 10);
    EXPECT_EQ(target.Bytes(), "0123456789");
    EXPECT_EQ(source.Position(), 10);

    // A count copies from the source's position.
    source.SetPosition(3);
    target.Clear();
    EXPECT_EQ(target.CopyFrom(source, 4), 4);
    EXPECT_EQ(target.Bytes(), "3456");

    // More than the source holds is a short read.
    source.SetPosition(8);
    EXPECT_THROW(target.CopyFrom(source, 3), EReadError);

    // Larger than the copy buffer, so the copy goes in several pieces.
    QByteArray big(200000, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    TMemoryStream bigSource(big);
    TMemoryStream bigTarget;
    EXPECT_EQ(bigTarget.CopyFrom(bigSource, 0), big.size());
    EXPECT_EQ(bigTarget.Bytes(), big);
}

TEST(FileStream, CreateTruncatesAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data.bin");
    WriteFile(path, "a much longer old content");
    {
        TFileStream file(path, fmCreate);
        EXPECT_EQ(file.Size(), 0);
        file.WriteBytes("new");
        EXPECT_EQ(file.Position(), 3);
        // Seeking past the end and writing leaves a zero-filled gap.
        EXPECT_EQ(file.Seek(2, TSeekOrigin::soEnd), 5);
        file.WriteBytes("!");
        EXPECT_EQ(file.Size(), 6);
        EXPECT_EQ(file.FileName(), path);
    }
    EXPECT_EQ(ReadFile(path), QByteArray("new\0\0!", 6));

    TFileStream file(path, fmOpenReadWrite | fmShareDenyWrite);
    EXPECT_EQ(file.ReadBytes(3), "new");
    EXPECT_THROW(file.ReadBytes(4), EReadError);
    file.SetPosition(5);
    file.SetSize(2);
    EXPECT_EQ(file.Size(), 2);
    EXPECT_EQ(file.Position(), 2);
}

TEST(FileStream, WriteToReadOnlyStreamRaises)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.bin");
    WriteFile(path, "abc");
    TFileStream file(path, fmOpenRead);
    EXPECT_EQ(file.Write("x", 1), 0);
    EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);
    EXPECT_EQ(ReadFile(path), "abc");
}

TEST(FileStream, OpenAndCreateErrorsNameTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing \u00E9.bin");
    try {
        TFileStream file(missing, fmOpenRead);
        FAIL() << "no EFOpenError";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(e.Message().startsWith("Cannot open file \"" + missing + "\". ")) << e.what();
        EXPECT_TRUE(e.Message().contains("No such file")) << e.what();
    }
    EXPECT_FALSE(QFile::exists(missing)); // opening never creates

    const QString inMissingFolder = dir.filePath("no/such/folder/x.bin");
    try {
        TFileStream file(inMissingFolder, fmCreate);
        FAIL() << "no EFCreateError";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.Message().startsWith("Cannot create file \"" + inMissingFolder + "\". ")) << e.what();
    }

    // A folder is not a file, in either mode.
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.path(), fmCreate), EFCreateError);
}

TEST(FileStream, MemoryStreamSavesAndLoadsFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.bin");
    TMemoryStream out(QByteArray("\x00\x01\xFFpayload", 10));
    out.SaveToFile(path);
    TMemoryStream in;
    in.WriteBytes("stale");
    in.LoadFromFile(path);
    EXPECT_EQ(in.Bytes(), out.Bytes());
    EXPECT_EQ(in.Position(), 0);
    EXPECT_THROW(in.LoadFromFile(dir.filePath("absent.bin")), EFOpenError);
    EXPECT_EQ(in.Bytes(), out.Bytes()); // a failed load keeps the old content
}

namespace {

QByteArray Encoded(const QString& name)
{
    return QFile::encodeName(name);
}

// Binds a UNIX socket at name: the descriptor, or -1.
int BindSocket(const QString& name)
{
    const int handle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = Encoded(name);
    if (handle < 0 || size_t(path.size()) >= sizeof address.sun_path)
        return -1;
    std::copy(path.begin(), path.end(), address.sun_path);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

} // namespace

// A FIFO, a link to one, a UNIX socket and (where one can be made) a
// character device as /dev/null is are no files: a stream on any of them, in every mode, is
// refused at once with the message naming it, and each stays as it was. A
// writer waiting at the FIFO for a reader keeps waiting: the name was not
// even opened.
TEST(FileStream, WhatIsNoFileIsRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.zrf");
    const QString link = dir.filePath("link.zrf");
    const QString socketName = dir.filePath("socket.zrf");
    const QString device = dir.filePath("null.zrf");
    ASSERT_EQ(::mkfifo(Encoded(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(fifo, link));
    const int socketHandle = BindSocket(socketName);
    ASSERT_GE(socketHandle, 0);
    QStringList names{fifo, link, socketName};
    const QString noDevice = DeviceNodesWithheld(dir.path());
    if (noDevice.isEmpty()) {
        ASSERT_EQ(::mknod(Encoded(device).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
        names << device;
    }
    std::map<QString, std::string> before;
    for (const QString& name : names)
        before[name] = NodeOf(name);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0)
        ::_exit(::open(Encoded(fifo).constData(), O_WRONLY) >= 0 ? 0 : 1);

    const QString answer = RunInChildWithin(1000, [&] {
        QStringList messages;
        for (const QString& name : names) {
            for (const uint16_t mode : {fmOpenRead, fmOpenWrite, fmOpenReadWrite, fmCreate}) {
                try {
                    TFileStream file(name, mode);
                    messages << "opened " + name;
                } catch (const Exception& e) {
                    messages << e.Message();
                }
            }
        }
        return messages.join('\n');
    });
    QStringList expected;
    for (const QString& name : names) {
        // Through a link the message names what the link leads to.
        const QString reason = name == link ? "\"" + fifo + "\" is not a file." : "It is not a file.";
        for (int open = 0; open < 3; ++open)
            expected << QStringLiteral("Cannot open file \"%1\". %2").arg(name, reason);
        expected << QStringLiteral("Cannot create file \"%1\". %2").arg(name, reason);
    }
    EXPECT_EQ(answer.toStdString(), expected.join('\n').toStdString());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int status = 0;
    EXPECT_EQ(::waitpid(writer, &status, WNOHANG), 0) << "the waiting writer was let through";
    ::kill(writer, SIGKILL);
    ::waitpid(writer, &status, 0);
    ::close(socketHandle);
    for (const QString& name : names)
        EXPECT_EQ(NodeOf(name), before[name]) << name.toStdString();
    if (!noDevice.isEmpty())
        GTEST_SKIP() << noDevice.toStdString() << ": the device row was not tried";
}

// A name that becomes a FIFO at any moment while a stream opens it (the
// opening stopped at each of its system calls, the file replaced by a FIFO
// meanwhile) is refused, or was opened while it was the file: the open never
// waits on the FIFO and no stream reads from one.
TEST(FileStream, ANameThatBecomesAFifoWhileOpeningIsNeverWaitedOn)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    QTemporaryDir dir;
    const QString name = dir.filePath("data.bin");
    const QString file = dir.filePath("file.new");
    const QString fifo = dir.filePath("fifo.new");
    const int stops = StopAtEverySystemCall(
        [&] {
            // A stuck open ends the child, and so the test.
            ::alarm(5);
            // Every run starts from the file.
            QFile fresh(file);
            if (!fresh.open(QIODevice::WriteOnly) || fresh.write("bytes") != 5)
                ::_exit(6);
            fresh.close();
            if (::rename(Encoded(file).constData(), Encoded(name).constData()) != 0)
                ::_exit(6);
            try {
                TFileStream stream(name, fmOpenRead);
                struct stat opened {};
                if (::fstat(stream.Handle(), &opened) != 0 || !S_ISREG(opened.st_mode))
                    ::_exit(7);
            } catch (const EFOpenError&) {
            }
        },
        [&](int) {
            ::unlink(Encoded(fifo).constData());
            if (::mkfifo(Encoded(fifo).constData(), 0644) == 0)
                ::rename(Encoded(fifo).constData(), Encoded(name).constData());
        },
        TAfterStop::Resume);
    EXPECT_GT(stops, 3);
}

// A file another process holds under a lease (as a file server holds one),
// given up 100 ms after the system asks for it: a stream reading it under a
// write lease, and one writing or recreating it under a read lease, waits
// for the holder as a plain open does, then reads the file's bytes or
// writes its own.
TEST(FileStream, AFileUnderALeaseIsWaitedFor)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("leased.zrf");
    struct TCase {
        const char* Name;
        int Lease;
        uint16_t Mode;
        const char* Answer;
        const char* Final;
    };
    const TCase cases[] = {
        {"read under a write lease", F_WRLCK, fmOpenRead, "old bytes", "old bytes"},
        {"write under a read lease", F_RDLCK, fmOpenWrite, "written", "new bytes"},
        {"create under a read lease", F_RDLCK, fmCreate, "written", "new"},
    };
    // A row runs where its kind of lease is granted.
    const std::map<int, QString> withheld{{F_RDLCK, LeasesWithheld(dir.path(), F_RDLCK)},
                                          {F_WRLCK, LeasesWithheld(dir.path(), F_WRLCK)}};
    QStringList skipped;
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        if (const QString& why = withheld.at(row.Lease); !why.isEmpty()) {
            skipped << why + ": \"" + row.Name + "\" was not tried";
            continue;
        }
        WriteFile(path, "old bytes");
        TLeaseHolder holder(path, row.Lease);
        ASSERT_EQ(holder.Failure().toStdString(), "");
        QString answer;
        const int64_t waited = ElapsedMilliseconds([&] {
            try {
                TFileStream stream(path, row.Mode);
                if (row.Mode == fmOpenRead) {
                    answer = QString::fromLatin1(stream.ReadBytes(stream.Size()));
                } else {
                    stream.WriteBytes("new");
                    answer = QStringLiteral("written");
                }
            } catch (const Exception& e) {
                answer = e.Message();
            }
        });
        EXPECT_EQ(answer.toStdString(), row.Answer);
        EXPECT_EQ(holder.Finish().toStdString(), "");
        EXPECT_GE(waited, TLeaseHolder::kHoldMilliseconds - 20);
        EXPECT_EQ(ReadFile(path).toStdString(), row.Final);
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << skipped.join("; ").toStdString();
}

namespace {

// Makes /proc of this process (a child, root) an empty file system, in a
// mount namespace of its own: a system without /proc. With elsewhere, each
// descriptor's entry there is a file of its own instead, not the one the
// descriptor has open. An empty text, or why it could not.
QString ReplaceProc(bool elsewhere)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
        return QStringLiteral("no mount namespace of its own: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    if (!elsewhere)
        return QString();
    if (!QDir().mkpath(QStringLiteral("/proc/self/fd")))
        return QStringLiteral("cannot fill /proc");
    for (int handle = 0; handle < 256; ++handle) {
        QFile entry(QStringLiteral("/proc/self/fd/%1").arg(handle));
        if (!entry.open(QIODevice::WriteOnly) || entry.write("elsewhere") != 9)
            return QStringLiteral("cannot fill /proc");
    }
    return QString();
}

} // namespace

// With /proc as it is, without one and with one whose entries lead to other
// files, OpenRegularFile answers as a plain open of the name: it reads the
// file's own bytes, makes a file that is not there (with or without
// O_EXCL), and refuses to make one that is there with O_EXCL (EEXIST). The
// last two need a mount namespace of the child's own.
TEST(FileStream, RegularOpensAnswerAsPlainOpensWhateverProcIs)
{
    const QString noNamespace = MountNamespaceWithheld();
    QTemporaryDir dir;
    const QString file = dir.filePath("file.bin");
    const std::tuple<const char*, bool, std::function<QString()>> systems[] = {
        {"as it is", false, [] { return QString(); }},
        {"missing", true, [] { return ReplaceProc(false); }},
        {"leading elsewhere", true, [] { return ReplaceProc(true); }},
    };
    int number = 0;
    for (const auto& [system, ownMounts, prepare] : systems) {
        if (ownMounts && !noNamespace.isEmpty())
            continue;
        SCOPED_TRACE(system);
        WriteFile(file, "bytes");
        const QString made = dir.filePath(QStringLiteral("made%1.bin").arg(++number));
        const QString answer = RunInChild(prepare, [&] {
            QStringList answers;
            const std::pair<QString, int> opens[] = {
                {file, O_RDONLY},
                {made, O_RDWR | O_CREAT | O_EXCL},
                {made + ".2", O_RDWR | O_CREAT | O_TRUNC},
                {file, O_RDWR | O_CREAT | O_EXCL},
            };
            for (const auto& [name, flags] : opens) {
                const int handle = OpenRegularFile(name, flags, 0600);
                if (handle < 0) {
                    answers << QString::fromLocal8Bit(std::strerror(errno));
                    continue;
                }
                answers << QString::fromLatin1(ReadAllFrom(handle));
                ::close(handle);
            }
            return answers.join('|');
        });
        EXPECT_EQ(answer.toStdString(), "bytes|||File exists");
        EXPECT_TRUE(QFileInfo(made).isFile() && QFileInfo(made + ".2").isFile());
        EXPECT_EQ(ReadFile(file), "bytes");
    }
    if (!noNamespace.isEmpty())
        GTEST_SKIP() << noNamespace.toStdString() << ": /proc missing and leading elsewhere were not tried";
}

namespace {

// The system's own setting of its guard for what an open that may create
// opens in a shared sticky folder (fs.protected_regular), as an open reads
// it: 2 where it cannot be read or is no setting the system knows.
int SystemProtectedRegular()
{
    QFile setting(QStringLiteral("/proc/sys/fs/protected_regular"));
    bool read = false;
    const uint value = setting.open(QIODevice::ReadOnly) ? setting.readAll().trimmed().toUInt(&read) : 0;
    return read && value <= 2 ? int(value) : 2;
}

// Makes this process (a child, root) read digit as that setting, in a mount
// namespace of its own: the system's own setting stays as it is. An empty
// text, or why it could not.
QString ReadProtectedRegularAs(char digit)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("no mount namespace of its own: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    char name[] = "/tmp/tessvar-setting-XXXXXX";
    const int handle = ::mkstemp(name);
    const char text[2] = {digit, '\n'};
    const bool written = handle >= 0 && ::fchmod(handle, 0644) == 0 && ::write(handle, text, 2) == 2;
    if (handle >= 0)
        ::close(handle);
    const bool shown =
        written && ::mount(name, "/proc/sys/fs/protected_regular", nullptr, MS_BIND, nullptr) == 0;
    const int error = errno;
    ::unlink(name);
    return shown ? QString()
                 : QStringLiteral("cannot show the setting: ") + QString::fromLocal8Bit(std::strerror(error));
}

// What a stream that may create (fmCreate) answers for name: "opened" once
// it wrote "new" there, else the message it raised.
QString CreateAnswer(const QString& name)
{
    try {
        TFileStream stream(name, fmCreate);
        stream.WriteBytes("new");
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("opened");
}

// Folders of owner's (root's, where the test acts as made-up users) in a
// fresh folder under /tmp that made-up users reach: "shared", which every
// user may write, sticky as /tmp is; "open", which every user may write,
// not sticky; "group", sticky, which only its group may write; and "home",
// the opener A's own.
struct TCreateFolders {
    QTemporaryDir Top{QStringLiteral("/tmp/tessvar-create-XXXXXX")};
    QString Shared, Open, Group, Home;
    bool Make(uid_t owner = 0, uid_t a = 0)
    {
        if (!OpenFolder(Top).isEmpty())
            return false;
        Shared = MakeFolderOf(Top.path(), QStringLiteral("shared"), owner, 01777);
        Open = MakeFolderOf(Top.path(), QStringLiteral("open"), owner, 0777);
        Group = MakeFolderOf(Top.path(), QStringLiteral("group"), owner, 01775);
        Home = MakeFolderOf(Top.path(), QStringLiteral("home"), a, 0755);
        return !Shared.isEmpty() && !Open.isEmpty() && !Group.isEmpty() && !Home.isEmpty();
    }
};

} // namespace

// Made-up users A and B and root: an open that may create (fmCreate) of B's
// file in a folder of root's that every user may write, sticky as /tmp is,
// is refused for A and for root with "Permission denied" and B's bytes stay,
// whatever the system's own setting (fs.protected_regular) is, as the
// system's open of that name refuses it at setting 1; so is root's open of
// B's file in such a folder of another made-up user's, and A's open
// through A's own link in A's folder to B's file there (the folder judged
// is the one at the link's end). A's own file, the folder owner's, B's file
// in such a folder that is not sticky and a name that is not there open,
// also through A's link. B's file in a sticky folder only its group may
// write is refused where the setting is 2. Every row runs with the system's
// setting (read again after the open, and the row taken again where it
// changed meanwhile), with it read as 0, 1 and 2 (in a mount namespace of
// the child's own), and without /proc, where a found file is opened by its
// name and a setting that cannot be read counts as 2. A's rows run again
// in a user namespace of each layout, where root's files, its folders and
// B's read alike as the overflow id: there the folder owner's file is no
// one's, and refused too; and as a rootless container's nobody, whose own
// files read as that id too, and are no one's as well (a file it makes
// itself at a name is its own all the same). Root's rows run there too,
// root as the namespace's root or its nobody: where the namespace maps
// root alone, as itself (one line from 0 to 0, which names no other id), B
// and the other user still read alike as the overflow id, and B's file in
// the other user's folder is still no one's. Where the test cannot act as
// made-up users, A is the test's own user, in folders of its own, and only
// its own rows run.
TEST(FileStream, AnOpenThatMayCreateKeepsTheGuardForSharedFolders)
{
    QStringList notTried;
    const QString noUsers = MadeUpUsersWithheld();
    const bool madeUp = noUsers.isEmpty();
    if (!madeUp)
        notTried << noUsers + QStringLiteral(": the rows of root and of B were not tried");
    const TSharers people = MadeUpSharers();
    const uid_t a = madeUp ? people.GroupMember : ::geteuid();
    const uid_t b = people.NamedMember;
    const uid_t root = madeUp ? 0 : a; // the folders' owner
    TCreateFolders folders;
    ASSERT_TRUE(folders.Make(root, a));
    // Another made-up user's folder, sticky, that every user may write.
    const QString others =
        madeUp ? MakeFolderOf(folders.Top.path(), QStringLiteral("others"), people.Outsider, 01777)
               : QString();
    ASSERT_EQ(others.isEmpty(), !madeUp);
    enum class TOutcome { Opened, Refused, RefusedAt2, NotTried };
    enum class TOwner { None, A, B, FolderOwner }; // of the file there before
    struct TCase {
        const char* Name;
        bool ByRoot; // else by A
        QString Folder;
        TOwner Owner;
        bool ThroughLink; // through A's own link in A's folder
        TOutcome Outside, Inside, AsNobody;
    };
    const TOutcome opened = TOutcome::Opened;
    const TOutcome refused = TOutcome::Refused;
    const TCase cases[] = {
        {"A, B's file in the shared folder", false, folders.Shared, TOwner::B, false, refused, refused,
         refused},
        {"root, B's file there", true, folders.Shared, TOwner::B, false, refused, refused, refused},
        {"root, B's file in another user's shared folder", true, others, TOwner::B, false, refused, refused,
         refused},
        {"A, its own file there", false, folders.Shared, TOwner::A, false, opened, opened, refused},
        {"A, the folder owner's file there", false, folders.Shared, TOwner::FolderOwner, false, opened,
         refused, refused},
        {"A, nothing there", false, folders.Shared, TOwner::None, false, opened, opened, opened},
        {"A, B's file in a folder that is not sticky", false, folders.Open, TOwner::B, false, opened, opened,
         opened},
        {"A, B's file in a sticky folder its group may write", false, folders.Group, TOwner::B, false,
         TOutcome::RefusedAt2, TOutcome::RefusedAt2, TOutcome::RefusedAt2},
        {"A, through its own link to B's file in the shared folder", false, folders.Shared, TOwner::B, true,
         refused, refused, refused},
        {"A, through its own link to its own file there", false, folders.Shared, TOwner::A, true, opened,
         opened, refused},
        {"A, through its own link to the folder owner's file there", false, folders.Shared,
         TOwner::FolderOwner, true, opened, refused, refused},
        {"A, through its own link to nothing there", false, folders.Shared, TOwner::None, true, opened,
         opened, TOutcome::NotTried},
    };
    const std::map<TOwner, uid_t> owners{{TOwner::A, a}, {TOwner::B, b}, {TOwner::FolderOwner, root}};
    const TNamespaceLayout asNobody = TNamespaceLayout::ContainerNobody;
    struct TSystem {
        const char* Name;
        std::function<QString()> Prepare; // empty: nothing to change
        int Setting;                      // -1: the system's own, as it is at the open
    };
    const TSystem systems[] = {
        {"the system's setting", {}, -1},
        {"read as 0", [] { return ReadProtectedRegularAs('0'); }, 0},
        {"read as 1", [] { return ReadProtectedRegularAs('1'); }, 1},
        {"read as 2", [] { return ReadProtectedRegularAs('2'); }, 2},
        {"without /proc", [] { return ReplaceProc(false); }, 2},
    };
    const QString noMounts = MountNamespaceWithheld();
    if (!noMounts.isEmpty())
        notTried << noMounts +
                        QStringLiteral(": outside a user namespace only the system's own setting was tried");
    QString notInNamespaces;
    const std::vector<TPlace> places = PlacesToRun(madeUp, notInNamespaces, true);
    if (!notInNamespaces.isEmpty())
        notTried << notInNamespaces;
    int number = 0;
    for (const TPlace& place : places) {
        for (const TSystem& system : systems) {
            // Inside a user namespace the child has mounts of its own.
            if (!place.Layout && system.Prepare && !noMounts.isEmpty())
                continue;
            for (const TCase& row : cases) {
                const bool others = row.ByRoot || row.Owner == TOwner::B || row.Owner == TOwner::FolderOwner;
                if ((others && !madeUp) || (place.Layout == asNobody && row.AsNobody == TOutcome::NotTried))
                    continue;
                SCOPED_TRACE(std::string(place.Name) + ", " + system.Name + ": " + row.Name);
                QString file;
                QString name;
                QString answer;
                int setting = system.Setting;
                // The system's own setting may change while the row runs (another
                // program's, an administrator's): the row is taken again, on a new
                // file, until the setting reads the same after the open as before it.
                for (int taken = 0; taken < 10; ++taken) {
                    setting = system.Setting >= 0 ? system.Setting : SystemProtectedRegular();
                    file = QDir(row.Folder).filePath(QStringLiteral("file%1.bin").arg(++number));
                    if (row.Owner != TOwner::None) {
                        // As the container's nobody, A's own files are that nobody's.
                        const bool nobodysOwn = place.Layout == asNobody && row.Owner == TOwner::A;
                        const uid_t owner = nobodysOwn ? NamespaceNobody() : owners.at(row.Owner);
                        ASSERT_EQ(MakeFileOf(file, "owner's", owner, gid_t(owner), 0666), QString());
                    }
                    name = file;
                    if (row.ThroughLink) {
                        name = QDir(folders.Home).filePath(QStringLiteral("link%1.bin").arg(number));
                        ASSERT_EQ(MakeLinkOf(name, file, a), QString());
                    }
                    const uid_t opener = row.ByRoot ? 0 : a;
                    answer = RunInChild(
                        [&] {
                            const auto prepare = [&] {
                                return system.Prepare ? system.Prepare() : QString();
                            };
                            if (place.Layout)
                                return BecomeUserAt(place, opener, opener, {}, prepare);
                            const QString failed = prepare();
                            return failed.isEmpty() ? BecomeUserAt(place, opener, opener) : failed;
                        },
                        [&] { return CreateAnswer(name); });
                    if (system.Setting >= 0 || SystemProtectedRegular() == setting)
                        break;
                }
                const TOutcome outcome = !place.Layout               ? row.Outside
                                         : *place.Layout == asNobody ? row.AsNobody
                                                                     : row.Inside;
                const bool refusedHere =
                    outcome == TOutcome::Refused || (outcome == TOutcome::RefusedAt2 && setting >= 2);
                EXPECT_EQ(answer.toStdString(),
                          refusedHere ? "Cannot create file \"" + name.toStdString() + "\". Permission denied"
                                      : "opened");
                EXPECT_EQ(ReadFile(file).toStdString(), refusedHere ? "owner's" : "new");
            }
        }
    }
    if (!notTried.isEmpty())
        GTEST_SKIP() << notTried.join("; ").toStdString();
}

// Root's open that may create, stopped at each of its system calls while
// the name changes under it, never loses a byte of B's files in the shared
// sticky folder: B's file put at an empty name there (the open makes root's
// own file or is refused, whichever road it was on when the file came); and
// root's own link in a folder that is not sticky, turned from B's file to
// root's own file there (a name held as B's file and then walked to
// another is refused, and neither file is touched). No run leaves a
// descriptor open. Each run first looks at what the one before left, and
// sets the name up again.
TEST(FileStream, AFilePutThereWhileAnOpenMayCreateIsNeverTruncated)
{
    if (const QString why = MadeUpUsersWithheld(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    if (const QString why = TracingWithheld(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const uid_t b = MadeUpSharers().NamedMember;
    TCreateFolders folders;
    ASSERT_TRUE(folders.Make());
    const auto In = [](const QString& folder, const char* name) {
        return QDir(folder).filePath(QLatin1String(name));
    };
    const QString data = In(folders.Shared, "data.bin");
    const QString planted = In(folders.Shared, "planted.bin");
    const QString bsFile = In(folders.Shared, "b.bin");
    const QString link = In(folders.Open, "link.bin");
    const QString swapped = In(folders.Open, "swapped.bin");
    const QString own = In(folders.Open, "own.bin");
    ASSERT_EQ(MakeFileOf(bsFile, "B's", b, b, 0666), QString());
    ASSERT_EQ(MakeFileOf(own, "root's", 0, 0, 0666), QString());
    const auto pointAt = [&](const QString& target) {
        ::unlink(Encoded(swapped).constData());
        if (MakeLinkOf(swapped, target, 0).isEmpty())
            ::rename(Encoded(swapped).constData(), Encoded(link).constData());
    };
    struct TCase {
        const char* Name;
        QString Opened;                      // the name the open is given
        std::function<void()> Reset, AtStop; // before each run, at its stop
    };
    const TCase cases[] = {
        {"B's file put at an empty name", data, [&] { ::unlink(Encoded(data).constData()); },
         [&] {
             if (MakeFileOf(planted, "B's", b, b, 0666).isEmpty())
                 ::rename(Encoded(planted).constData(), Encoded(data).constData());
         }},
        {"root's link turned from B's file to root's own", link, [&] { pointAt(bsFile); },
         [&] { pointAt(own); }},
    };
    // Every file of B's in the shared folder holds B's bytes, and B's first
    // one is there.
    const auto bsFilesWhole = [&] {
        if (ReadFile(bsFile) != "B's")
            return false;
        for (const QFileInfo& file : QDir(folders.Shared).entryInfoList(QDir::Files))
            if (file.ownerId() == b && ReadFile(file.filePath()) != "B's")
                return false;
        return true;
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const int stops = StopAtEverySystemCall(
            [&] {
                ::alarm(5);
                if (!bsFilesWhole())
                    ::_exit(9);
                row.Reset();
                const int free = LowestFreeDescriptor();
                CreateAnswer(row.Opened);
                if (LowestFreeDescriptor() != free)
                    ::_exit(8);
            },
            [&](int) { row.AtStop(); }, TAfterStop::Resume);
        EXPECT_GT(stops, 5) << "-1: a run found B's file changed, or left a descriptor open";
        EXPECT_TRUE(bsFilesWhole());
    }
}

// Opens on every road leave no descriptor behind, each many times: a file
// found, one made, a FIFO refused as no file, B's file refused by the guard
// for shared folders, B's file judged at the system's setting and B's file
// in a folder that is not sticky, opened (made-up users); and without /proc
// (a mount namespace), where a file found is opened by its name.
TEST(FileStream, OpensLeaveNoDescriptorBehind)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("file.bin");
    const QString made = dir.filePath("made.bin");
    const QString fifo = dir.filePath("pipe.bin");
    WriteFile(file, "bytes");
    ASSERT_EQ(::mkfifo(Encoded(fifo).constData(), 0644), 0);
    std::vector<std::pair<QString, uint16_t>> opens{{file, fmOpenRead},
                                                    {file, fmOpenReadWrite},
                                                    {file, fmCreate},
                                                    {made, fmCreate},
                                                    {fifo, fmOpenRead},
                                                    {fifo, fmCreate},
                                                    {dir.filePath("missing.bin"), fmOpenRead}};
    QStringList skipped;
    TCreateFolders folders;
    if (const QString why = MadeUpUsersWithheld(); !why.isEmpty()) {
        skipped << why + ": the rows of another user's file were not tried";
    } else {
        ASSERT_TRUE(folders.Make());
        const uid_t b = MadeUpSharers().NamedMember;
        // Refused, judged at the setting, and opened.
        for (const QString& folder : {folders.Shared, folders.Group, folders.Open}) {
            const QString name = QDir(folder).filePath(QStringLiteral("b.bin"));
            ASSERT_EQ(MakeFileOf(name, "B's", b, b, 0666), QString());
            opens.emplace_back(name, fmCreate);
        }
    }
    const auto openMany = [&] {
        for (int round = 0; round < 50; ++round) {
            for (const auto& [name, mode] : opens) {
                try {
                    TFileStream stream(name, mode);
                } catch (const Exception&) {
                }
            }
            ::unlink(Encoded(made).constData());
        }
    };
    openMany(); // whatever the library opens once and keeps
    const int before = OpenDescriptorCount();
    openMany();
    EXPECT_EQ(OpenDescriptorCount(), before);
    if (const QString why = MountNamespaceWithheld(); !why.isEmpty()) {
        skipped << why + ": the road without /proc was not tried";
    } else {
        const QString left = RunInChild([] { return ReplaceProc(false); },
                                        [&] {
                                            openMany();
                                            const int start = OpenDescriptorCount();
                                            openMany();
                                            return QString::number(OpenDescriptorCount() - start);
                                        });
        EXPECT_EQ(left.toStdString(), "0");
    }
    if (!skipped.isEmpty())
        GTEST_SKIP() << skipped.join("; ").toStdString();
}
