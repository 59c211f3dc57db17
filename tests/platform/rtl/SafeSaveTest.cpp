// The crash-safe save: under a file size limit standing in for a full disk
// the old file keeps every byte and the error names the file; with room the
// new file is complete; the temporary file never stays behind.
#include "platform/rtl/SafeSave.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FolderFixture.h"
#include "tests/support/LeaseHolder.h"
#include "tests/support/NameProbe.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Privileges.h"
#include "tests/support/RefusedCalls.h"
#include "tests/support/UserNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <stdexcept>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Calls of acl_get_entry in this process that succeed before every further
// one fails (-1, EIO); -1: none fails. Set in a child, around the save the
// failure is meant for.
int AclEntryCallsLeft = -1;

} // namespace

// Stands in for libacl's own, which it calls unless a test has it fail: the
// program's library is linked into this binary, so its calls come here.
extern "C" int acl_get_entry(acl_t acl, int entryId, acl_entry_t* entry)
{
    using TGetEntry = int (*)(acl_t, int, acl_entry_t*);
    static const auto real = reinterpret_cast<TGetEntry>(::dlsym(RTLD_NEXT, "acl_get_entry"));
    if (AclEntryCallsLeft == 0 || !real) {
        errno = EIO;
        return -1;
    }
    if (AclEntryCallsLeft > 0)
        --AclEntryCallsLeft;
    return real(acl, entryId, entry);
}

namespace {

// Sets the modification time of path back by seconds.
void Age(const QString& path, int seconds)
{
    const timespec times[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// The answer of a save: "saved", or the message of the error it raised.
QString SaveAnswer(const std::function<void()>& save)
{
    try {
        save();
    } catch (const EFileSaveError& error) {
        return error.Message();
    }
    return QStringLiteral("saved");
}

// Every name in folder, hidden ones included, in name order.
std::string EntriesOf(const QString& folder)
{
    return QDir(folder)
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name)
        .join(' ')
        .toStdString();
}

// Keeps existing as fileName while another descriptor holds it locked, so
// that no second name of it is made: the road of a copy.
void KeepLockedFileAs(const QString& existing, const QString& fileName)
{
    const int lock = ::open(QFile::encodeName(existing).constData(), O_RDONLY | O_CLOEXEC);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock the file");
    const auto unlock = qScopeGuard([lock] { ::close(lock); });
    KeepFileAs(existing, fileName);
}

// As saver at place, with unnamed files or without, keeps each of names as
// its ".bak" (a copy) and saves "new" under it: "saved", or the message of
// the error it raised.
QString KeepAndSave(const TPlace& place, const TMadeUpSaver& saver, bool unnamed, const QStringList& names)
{
    return RunInChild(
        [&] {
            const QString become = BecomeUserAt(place, saver.User, saver.Own, {saver.Member});
            return !become.isEmpty() || unnamed ? become : WithoutUnnamedFiles();
        },
        [&] {
            return SaveAnswer([&] {
                for (const QString& name : names) {
                    KeepLockedFileAs(name, name + ".bak");
                    SaveBytesToFile(name, "new");
                }
            });
        });
}

class SafeSave : public TFolderFixture {
protected:
    static QByteArray Pattern(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char('A' + i % 23);
        return bytes;
    }
};

// A buffered writer takes 10,000 or 16,000 bytes into its buffer and reports
// them written; under a 4,096-byte limit only 4,096 reach the disk. Every
// size here must fail, including one just past the limit.
TEST_F(SafeSave, ShortWriteKeepsTheOldFileAndNamesIt)
{
    const QByteArray old = Pattern(2100);
    const QString path = WriteFile("report.zsf", old);
    for (const int size : {4097, 10000, 16000, 70000}) {
        const QString message = RunWithFileSizeLimit(4096, [&] {
            try {
                SaveBytesToFile(path, Pattern(size));
            } catch (const EFileSaveError& e) {
                return e.Message();
            }
            return QStringLiteral("saved");
        });
        EXPECT_TRUE(message.startsWith("Cannot create file \"" + path + "\". "))
            << size << ": " << message.toStdString();
        EXPECT_TRUE(message.contains("too large")) << message.toStdString(); // EFBIG, the system's own reason
        EXPECT_EQ(ReadFile(path), old) << size;
        EXPECT_EQ(FolderEntries(), QStringList({"report.zsf"})) << size;
    }
    // At the limit exactly everything fits.
    EXPECT_EQ(RunWithFileSizeLimit(4096,
                                   [&] {
                                       SaveBytesToFile(path, Pattern(4096));
                                       return QStringLiteral("saved");
                                   }),
              "saved");
    EXPECT_EQ(ReadFile(path), Pattern(4096));
}

// A writer that builds its file piece by piece and patches its header at the
// end: a failure half way, or no Commit, leaves the old file; a commit gives
// exactly what was written, patch included.
TEST_F(SafeSave, StreamCommitsOnlyWhatWasCompleted)
{
    const QByteArray old = "old content";
    const QString path = WriteFile("stream.bin", old);

    const QString message = RunWithFileSizeLimit(1000, [&] {
        TSafeFileStream stream(path);
        try {
            for (int i = 0; i < 10; ++i)
                stream.WriteBytes(Pattern(300));
            stream.Commit();
        } catch (const EFileSaveError& e) {
            // The stream is finished after a failure.
            try {
                stream.WriteBytes("x");
            } catch (const EFileSaveError&) {
                return e.Message();
            }
            return QStringLiteral("wrote after failing");
        }
        return QStringLiteral("saved");
    });
    EXPECT_TRUE(message.contains("\"" + path + "\"")) << message.toStdString();
    EXPECT_EQ(ReadFile(path), old);

    {
        TSafeFileStream abandoned(path);
        abandoned.WriteBytes("never committed");
    }
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FolderEntries(), QStringList({"stream.bin"}));

    TSafeFileStream stream(path);
    stream.WriteBytes("0000tail");
    stream.SetPosition(0);
    stream.WriteBytes("head");
    EXPECT_EQ(ReadFile(path), old); // nothing is visible before the commit
    stream.Commit();
    EXPECT_EQ(ReadFile(path), "headtail");
    EXPECT_THROW(stream.Commit(), EFileSaveError);
}

TEST_F(SafeSave, ReplacesTheFileAndKeepsItsPermissionsAndLinks)
{
    const QString path = WriteFile("settings.ini", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    SaveBytesToFile(path, "new");
    EXPECT_EQ(ReadFile(path), "new");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Through a link the file it points at is replaced; the link stays.
    const QString link = PathOf("link.ini");
    ASSERT_TRUE(QFile::link(path, link));
    SaveBytesToFile(link, "through the link");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(path), "through the link");

    SaveBytesToFile(PathOf("empty.bin"), QByteArray());
    EXPECT_TRUE(QFileInfo(PathOf("empty.bin")).isFile());
    EXPECT_EQ(QFileInfo(PathOf("empty.bin")).size(), 0);
    EXPECT_EQ(FolderEntries(), QStringList({"empty.bin", "link.ini", "settings.ini"}));
}

TEST_F(SafeSave, TargetsThatCannotBeSavedAreClearErrors)
{
    const QString inMissing = PathOf("missing/x.bin");
    try {
        SaveBytesToFile(inMissing, "x");
        ADD_FAILURE() << "no exception";
    } catch (const EFileSaveError& e) {
        EXPECT_TRUE(e.Message().contains("\"" + inMissing + "\"")) << e.what();
        EXPECT_TRUE(e.Message().contains("does not exist")) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(PathOf("missing")));

    ASSERT_TRUE(QDir(FDir.path()).mkdir("folder.bin"));
    EXPECT_THROW(SaveBytesToFile(PathOf("folder.bin"), "x"), EFileSaveError);
    EXPECT_TRUE(QFileInfo(PathOf("folder.bin")).isDir());
    EXPECT_THROW(SaveBytesToFile(QString(), "x"), EFileSaveError);

    EXPECT_EQ(FolderEntries(), QStringList({"folder.bin"}));

    // A read-only file of the saver's own, in a folder it may write:
    // permissions do not bind root, which tries it as a made-up user.
    if (const QString withheld = OrdinaryUserWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString() << ": the read-only file was not tried";
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-locked-XXXXXX"));
    ASSERT_TRUE(top.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(top.path()).constData(), 0777), 0);
    const QString readOnly = top.filePath(QStringLiteral("locked.bin"));
    const QString answer = RunAsOrdinaryUser([&] {
        QFile file(readOnly);
        if (!file.open(QIODevice::NewOnly) || file.write("keep") != 4)
            return QStringLiteral("<not made>");
        file.close();
        if (::chmod(QFile::encodeName(readOnly).constData(), 0444) != 0)
            return QStringLiteral("<not made>");
        return SaveAnswer([&] { SaveBytesToFile(readOnly, "x"); });
    });
    EXPECT_TRUE(answer.startsWith("Cannot create file \"" + readOnly + "\". ")) << answer.toStdString();
    EXPECT_EQ(ReadFile(readOnly), "keep");
}

// What is no file, as a save's name or as the file a backup keeps: a FIFO,
// a chain of two links to it, and (where one can be made) a character
// device made as /dev/null is. A save onto any of them ends at once with
// the message naming it (through links, naming where they lead) and leaves
// it as it was; a backup of one is left alone without a word and nothing
// is made for it; a backup under the name of one is refused, as under a
// folder's. No other name is ever left.
TEST_F(SafeSave, WhatIsNoFileIsNeitherWaitedOnNorReplaced)
{
    const QString fifo = PathOf("pipe.zrf");
    const QString link = PathOf("link.zrf");
    const QString device = PathOf("null.zrf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("chain.zrf"), link));
    ASSERT_TRUE(QFile::link(QStringLiteral("pipe.zrf"), PathOf("chain.zrf")));
    const QString file = WriteFile("card.zrf", "card");
    const QString noDevice = DeviceNodesWithheld(FDir.path());
    if (noDevice.isEmpty()) {
        ASSERT_EQ(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    const std::string entries = EntriesOf(FDir.path());
    const QString refused = QStringLiteral("Cannot create file \"%1\". %2");
    struct TCase {
        QString Name;
        QString Reason; // of a save onto it
    };
    std::vector<TCase> cases{{fifo, "It is not a file."}, {link, "\"" + fifo + "\" is not a file."}};
    if (noDevice.isEmpty())
        cases.push_back({device, "It is not a file."});
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name.toStdString());
        const std::string before = NodeOf(fifo) + NodeOf(device);
        const QString answer = RunInChildWithin(1000, [&] {
            return QStringList{SaveAnswer([&] { KeepFileAs(row.Name, PathOf("card.~zr")); }),
                               SaveAnswer([&] { KeepFileAs(file, row.Name); }),
                               SaveAnswer([&] { SaveBytesToFile(row.Name, "new"); })}
                .join('\n');
        });
        EXPECT_EQ(answer.toStdString(), QStringList({"saved", refused.arg(row.Name, "It is not a file."),
                                                     refused.arg(row.Name, row.Reason)})
                                            .join('\n')
                                            .toStdString());
        EXPECT_EQ(NodeOf(fifo) + NodeOf(device), before);
        EXPECT_EQ(EntriesOf(FDir.path()), entries);
    }
    EXPECT_EQ(ReadFile(file), "card");
    if (!noDevice.isEmpty())
        GTEST_SKIP() << noDevice.toStdString() << ": the device row was not tried";
}

// A FIFO or (where one can be made) a device put at the name while a stream
// writes the new file is what its commit would replace: the commit is
// refused and leaves it there, with no other name.
TEST_F(SafeSave, WhatTakesTheNameBeforeTheCommitIsNotReplaced)
{
    const QString path = PathOf("card.pdf");
    const QString node = PathOf("node");
    const QString noDevice = DeviceNodesWithheld(FDir.path());
    for (const mode_t kind : {mode_t(S_IFIFO), mode_t(S_IFCHR)}) {
        if (kind == S_IFCHR && !noDevice.isEmpty())
            continue;
        SCOPED_TRACE(kind);
        QFile::remove(path);
        WriteFile("card.pdf", "old");
        TSafeFileStream stream(path);
        stream.WriteBytes("new");
        ASSERT_EQ(::mknod(QFile::encodeName(node).constData(), kind | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(::rename(QFile::encodeName(node).constData(), QFile::encodeName(path).constData()), 0);
        const std::string before = NodeOf(path);
        EXPECT_EQ(SaveAnswer([&] { stream.Commit(); }).toStdString(),
                  "Cannot create file \"" + path.toStdString() + "\". It is not a file.");
        EXPECT_EQ(NodeOf(path), before);
        EXPECT_EQ(EntriesOf(FDir.path()), "card.pdf");
    }
    if (!noDevice.isEmpty())
        GTEST_SKIP() << noDevice.toStdString() << ": the device row was not tried";
}

// Where there are no unnamed files the temporary has its name while its
// access is given. Its ACL (group::---, a named group r--, mask::r--) is
// given with the mask empty, and the mode given after it sets the mask:
// followed at every system call, the temporary goes from its owner's bits
// alone to the entries under an empty mask, and only then to the file's own
// ACL. (Giving the mask at once sets the group bits from it an instant
// before the entries bind, and for that instant the owning group, denied by
// its entry, may read.)
TEST_F(SafeSave, ANamedTemporaryTakesItsAclUnderAnEmptyMaskFirst)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString missing = AclsMissingIn(FDir.path()); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    const TUmask umask(022);
    const QString path = WriteFile("shared.ini", "old");
    const QString named = QString::number(MadeUpSharers().Named);
    ASSERT_EQ(SetAccessAcl(path, "u::rw-,g::---,g:" + named + ":r--,m::r--,o::---"), QString());
    const std::string final = AccessAclOf(path);
    QStringList seen;
    const int stops = WatchEverySystemCall(
        [&] {
            if (!WithoutUnnamedFiles().isEmpty())
                ::_exit(100);
            SaveBytesToFile(path, "new");
        },
        [&](int) {
            for (const QString& name : FolderEntries().filter(QRegularExpression("^\\..*\\.(new|tmp)$"))) {
                const QString acl = QString::fromStdString(AccessAclOf(PathOf(name)));
                if (seen.isEmpty() || seen.back() != acl)
                    seen << acl;
            }
        });
    EXPECT_GT(stops, 5);
    const QString emptyMask = "user::rw-,group::---,group:" + named + ":r--,mask::---,other::---";
    EXPECT_EQ(seen.join('\n').toStdString(),
              "user::rw-,group::---,other::---\n" + emptyMask.toStdString() + '\n' + final);
    EXPECT_EQ(AccessAclOf(path), final);
    EXPECT_EQ(FolderEntries(), QStringList({"shared.ini"}));
}

// Every entry of the routine, through a chain of three links (one relative,
// one into another folder, one absolute) and through a link to a file that
// does not exist yet: the final file gets the bytes, every link stays a link
// pointing where it pointed.
TEST_F(SafeSave, LinkChainsAreFollowedToTheFinalFile)
{
    ASSERT_TRUE(QDir(FDir.path()).mkdir("real"));
    const QString final = WriteFile("real/card.pdf", "old");
    ASSERT_EQ(::symlink("real/card.pdf", QFile::encodeName(PathOf("link1")).constData()), 0); // relative
    ASSERT_EQ(::symlink("../link1", QFile::encodeName(PathOf("real/link2")).constData()), 0); // up a folder
    ASSERT_EQ(::symlink(QFile::encodeName(PathOf("real/link2")).constData(),
                        QFile::encodeName(PathOf("link3")).constData()),
              0);
    ASSERT_EQ(::symlink("real/new.bin", QFile::encodeName(PathOf("dangling")).constData()), 0);
    const auto linkTarget = [this](const QString& name) { return QFileInfo(PathOf(name)).symLinkTarget(); };
    const QStringList targets{linkTarget("link1"), linkTarget("real/link2"), linkTarget("link3")};

    const std::function<void(const QString&, const QByteArray&)> entries[] = {
        [](const QString& name, const QByteArray& bytes) { SaveBytesToFile(name, bytes); },
        [](const QString& name, const QByteArray& bytes) {
            TSafeFileStream stream(name);
            stream.WriteBytes(bytes);
            stream.Commit();
        },
        [](const QString& name, const QByteArray& bytes) {
            TMemoryStream stream;
            stream.WriteBytes(bytes);
            stream.SaveToFile(name);
        },
    };
    int entry = 0;
    for (const auto& save : entries) {
        SCOPED_TRACE(entry);
        const QByteArray bytes = "entry " + QByteArray::number(entry++);
        for (const QString& name : {PathOf("link3"), PathOf("real/link2"), PathOf("link1")}) {
            save(name, bytes + name.toUtf8());
            EXPECT_EQ(ReadFile(final), bytes + name.toUtf8());
        }
        save(PathOf("dangling"), bytes);
        EXPECT_EQ(ReadFile(PathOf("real/new.bin")), bytes);
        EXPECT_TRUE(QFileInfo(PathOf("dangling")).isSymLink());
        EXPECT_EQ(QStringList({linkTarget("link1"), linkTarget("real/link2"), linkTarget("link3")}), targets);
        for (const char* name : {"link1", "real/link2", "link3"})
            EXPECT_TRUE(QFileInfo(PathOf(name)).isSymLink()) << name;
        EXPECT_EQ(QDir(PathOf("real")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList({"card.pdf", "link2", "new.bin"}));
    }

    // A loop, long or of one link, is the save error naming the file.
    ASSERT_EQ(::symlink("loop2", QFile::encodeName(PathOf("loop1")).constData()), 0);
    ASSERT_EQ(::symlink("loop1", QFile::encodeName(PathOf("loop2")).constData()), 0);
    ASSERT_EQ(::symlink("self", QFile::encodeName(PathOf("self")).constData()), 0);
    for (const QString& name : {PathOf("loop1"), PathOf("self")}) {
        try {
            SaveBytesToFile(name, "x");
            ADD_FAILURE() << "no exception for " << name.toStdString();
        } catch (const EFileSaveError& e) {
            EXPECT_TRUE(e.Message().startsWith("Cannot create file \"" + name + "\". ")) << e.what();
        }
        EXPECT_TRUE(QFileInfo(name).isSymLink());
    }
    // Links that lead nowhere are listed as system entries.
    EXPECT_EQ(
        QDir(FDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
        QStringList({"dangling", "link1", "link3", "loop1", "loop2", "real", "self"}));
}

// A name of 255 bytes (the longest a folder holds), in ASCII and with two-byte
// characters, saves; its temporary is named within the limit, starts with the
// target's name and differs for two long names that share their start.
TEST_F(SafeSave, TheLongestNamesSaveWithARecognisableTemporary)
{
    const QString ascii = QString(251, u'a') + ".pdf";
    // 255 bytes in UTF-8, a two-byte character across the place a long name is cut.
    const QString accented = "x" + QString(125, u'\u00e9') + ".pdf";
    const QString other = QString(250, u'a') + "b.pdf";
    ASSERT_EQ(QFile::encodeName(ascii).size(), 255);
    ASSERT_EQ(QFile::encodeName(accented).size(), 255);
    QStringList temporaries;
    for (const QString& name : {ascii, accented, other}) {
        TSafeFileStream stream(PathOf(name));
        stream.WriteBytes(name.toUtf8());
        const QStringList entries = FolderEntries().filter(QRegularExpression("^\\..*\\.tmp$"));
        ASSERT_EQ(entries.size(), 1) << entries.join(' ').toStdString();
        const QByteArray temporary = QFile::encodeName(entries.front());
        EXPECT_LE(temporary.size(), 255);
        EXPECT_TRUE(temporary.startsWith("." + QFile::encodeName(name).left(200))) << temporary.constData();
        EXPECT_TRUE(QString::fromUtf8(temporary).isValidUtf16()); // cut between characters
        temporaries << entries.front();
        stream.Commit();
        EXPECT_EQ(ReadFile(PathOf(name)), name.toUtf8());
    }
    EXPECT_NE(temporaries[0].left(temporaries[0].size() - 13),
              temporaries[2].left(temporaries[2].size() - 13));
    EXPECT_EQ(FolderEntries().size(), 3);
}

// A save in progress in another process holds its temporary: a save of the
// same file meanwhile leaves it alone, and the other save then completes.
// The temporary of a save whose process was killed is removed by the next
// save of that file, and only that file's.
TEST_F(SafeSave, OnlyTheTemporariesOfKilledSavesAreCleanedUp)
{
    const QString path = WriteFile("shared.zrf", "old");
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        char go = 0;
        int status = 1;
        try {
            TSafeFileStream stream(path);
            stream.WriteBytes("from the other process");
            (void)!::write(toParent[1], "w", 1);
            (void)!::read(toChild[0], &go, 1); // the parent saved meanwhile
            stream.Commit();
            status = 0;
        } catch (...) {
        }
        ::_exit(status);
    }
    char ready = 0;
    ASSERT_EQ(::read(toParent[0], &ready, 1), 1);
    const QStringList held = FolderEntries().filter(".shared.zrf.");
    ASSERT_EQ(held.size(), 1);
    SaveBytesToFile(path, "from this process");
    EXPECT_EQ(FolderEntries().filter(".shared.zrf."), held);
    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(path), "from the other process");
    for (int handle : {toChild[0], toChild[1], toParent[0], toParent[1]})
        ::close(handle);

    // A writer killed half way leaves its temporary; another file's save
    // leaves it too; the next save of this file removes it.
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t killed = ::fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        TSafeFileStream stream(path);
        stream.WriteBytes("never finished");
        (void)!::write(toParent[1], "w", 1);
        ::pause();
        ::_exit(1);
    }
    ASSERT_EQ(::read(toParent[0], &ready, 1), 1);
    ::kill(killed, SIGKILL);
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ::close(toParent[0]);
    ::close(toParent[1]);
    const QStringList left = FolderEntries().filter(".shared.zrf.");
    ASSERT_EQ(left.size(), 1);
    WriteFile(".shared.zrf.notours.tmp", "not a temporary of the routine");
    SaveBytesToFile(PathOf("other.zrf"), "other");
    EXPECT_EQ(FolderEntries().filter(".shared.zrf."), QStringList({left.front(), ".shared.zrf.notours.tmp"}));
    SaveBytesToFile(path, "new");
    EXPECT_EQ(FolderEntries(), QStringList({".shared.zrf.notours.tmp", "other.zrf", "shared.zrf"}));
    EXPECT_EQ(ReadFile(path), "new");
}

// Where the file system has no unnamed files a temporary is made under a
// ".new" name and locked before it takes its ".tmp" name. A save stopped at
// any of its steps while another process saves the same file (removing what
// it takes for abandoned) still succeeds: its live temporary was left alone.
TEST_F(SafeSave, WithoutUnnamedFilesAConcurrentCleanUpLeavesLiveTemporaries)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const QString path = WriteFile("busy.zrf", "old");
    int lastStop = -1;
    const int stops = StopAtEverySystemCall(
        [&] {
            if (!WithoutUnnamedFiles().isEmpty())
                ::_exit(100);
            SaveBytesToFile(path, "stopped");
        },
        [&](int step) {
            lastStop = step;
            SaveBytesToFile(path, "meanwhile");
        },
        TAfterStop::Resume);
    EXPECT_GT(stops, 5) << "failed after stop " << lastStop;
    EXPECT_EQ(ReadFile(path), "stopped");
    EXPECT_EQ(FolderEntries(), QStringList({"busy.zrf"}));
}

// A ".new" file nobody holds is a save between making and locking it while
// it is young, and one killed there once it is older than a minute: only
// then does a save remove it. One held locked stays however old.
TEST_F(SafeSave, AnUnlockedNewNameIsRemovedOnlyOnceItIsOld)
{
    const QString path = WriteFile("card.pdf", "old");
    const QString young = WriteFile(".card.pdf.0000abcd.new", "");
    const QString old = WriteFile(".card.pdf.0000abce.new", "");
    const QString held = WriteFile(".card.pdf.0000abcf.new", "");
    const QString otherFile = WriteFile(".other.pdf.0000abcd.new", "");
    for (const QString& name : {old, held, otherFile})
        Age(name, 120);
    Age(young, 30);
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    SaveBytesToFile(path, "new");
    EXPECT_EQ(FolderEntries(), QStringList({".card.pdf.0000abcd.new", ".card.pdf.0000abcf.new",
                                            ".other.pdf.0000abcd.new", "card.pdf"}));
    ::close(holder);
    SaveBytesToFile(path, "newer");
    EXPECT_EQ(FolderEntries(),
              QStringList({".card.pdf.0000abcd.new", ".other.pdf.0000abcd.new", "card.pdf"}));
}

// A save killed at any step, with unnamed files and without: the file is
// the old or the new content; whatever the killed saves left is gone after
// a later save (".new" names once they are old enough).
TEST_F(SafeSave, ASaveKilledAtAnyStepLeavesTheOldOrTheNewFile)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed);
        const QString path = WriteFile("step.ini", "old");
        const QByteArray bytes = Pattern(3000);
        const int killed = StopAtEverySystemCall(
            [&] {
                if (!unnamed && !WithoutUnnamedFiles().isEmpty())
                    ::_exit(100);
                SaveBytesToFile(path, bytes);
            },
            [&](int step) {
                const QByteArray now = ReadFile(path);
                EXPECT_TRUE(now == "old" || now == bytes) << "step " << step;
            },
            TAfterStop::Kill);
        EXPECT_GT(killed, 5);
        EXPECT_EQ(ReadFile(path), bytes);
        for (const QString& name : FolderEntries())
            Age(PathOf(name), 120);
        SaveBytesToFile(path, "last");
        EXPECT_EQ(FolderEntries(), QStringList({"step.ini"}));
    }
}

// A private file (0600 under umask 022) kept as a copy over an older 0644
// copy (the file locked by another descriptor), a private file on another
// file system kept as a copy beside it (where /dev/shm is one), and the file
// saved, with unnamed files and without: at every system call no name in the
// folder is more open than the file, and the new file and the copies end as
// private. A new file has the system's defaults.
TEST_F(SafeSave, NoNameOfASaveIsEverMoreOpenThanTheFileItReplaces)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TUmask umask(022);
    QTemporaryDir other(QStringLiteral("/dev/shm/tessvar-private-XXXXXX"));
    const bool farRoad = other.isValid() && OnTwoFileSystems(FDir.path(), other.path());
    const QByteArray bytes = Pattern(3000);
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed);
        const QString path = WriteFile("private.ini", "old");
        const QString copy = WriteFile("private.bak", "older");
        const QString far = other.filePath(QStringLiteral("far.ini"));
        const QString farCopy = PathOf("far.bak");
        QFile farFile(far);
        ASSERT_TRUE(!farRoad || (farFile.open(QIODevice::WriteOnly) && farFile.write("far") == 3));
        farFile.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
        ASSERT_TRUE(!farRoad || ::chmod(QFile::encodeName(far).constData(), 0600) == 0);
        ASSERT_EQ(::chmod(QFile::encodeName(copy).constData(), 0644), 0);
        struct stat old {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &old), 0);
        // The older copy is as open as it was made until it is replaced.
        const QString older = QStringLiteral("private.bak 0644 group %1").arg(old.st_gid);
        QStringList seen;
        const int stops = StopAtEverySystemCall(
            [&] {
                if (!unnamed && !WithoutUnnamedFiles().isEmpty())
                    ::_exit(100);
                KeepLockedFileAs(path, copy);
                if (farRoad)
                    KeepFileAs(far, farCopy);
                SaveBytesToFile(path, bytes);
            },
            [&](int step) {
                for (const QString& name : MoreOpenThan(FDir.path(), 0600, old.st_gid))
                    if (name != older)
                        seen << QStringLiteral("step %1: %2").arg(step).arg(name);
            },
            TAfterStop::Resume);
        EXPECT_GT(stops, 10);
        EXPECT_EQ(seen.join("; ").toStdString(), "");
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(ReadFile(copy), bytes);
        QStringList names{path, copy};
        if (farRoad) {
            EXPECT_EQ(ReadFile(farCopy), "far");
            names << farCopy;
        }
        for (const QString& name : names) {
            struct stat now {};
            ASSERT_EQ(::lstat(QFile::encodeName(name).constData(), &now), 0);
            EXPECT_EQ(now.st_mode, mode_t(S_IFREG | 0600)) << name.toStdString();
            // A copy, not a second name of the file.
            EXPECT_EQ(now.st_nlink, 1u) << name.toStdString();
        }
        const QString fresh = PathOf("new.ini");
        const QString answer = RunInChild([&] { return unnamed ? QString() : WithoutUnnamedFiles(); },
                                          [&] {
                                              SaveBytesToFile(fresh, bytes);
                                              return QStringLiteral("saved");
                                          });
        EXPECT_EQ(answer.toStdString(), "saved");
        EXPECT_EQ(QFileInfo(fresh).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                      QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
        EXPECT_EQ(FolderEntries(), farRoad ? QStringList({"far.bak", "new.ini", "private.bak", "private.ini"})
                                           : QStringList({"new.ini", "private.bak", "private.ini"}));
        for (const QString& name : FolderEntries())
            QFile::remove(PathOf(name));
    }
    if (!farRoad)
        GTEST_SKIP() << "no second file system at /dev/shm: the copy across file systems was not tried";
}

// Another user who opens every name appearing in a folder it may list
// reads no byte of a private file (0600 under umask 022) saved there 100
// times, and kept as a copy, by a process without unnamed files: every
// temporary is made under a ".new" name first.
TEST_F(SafeSave, AnotherUserReadsNothingOfAPrivateFileSavedUnderNamedTemporaries)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TUmask umask(022);
    QTemporaryDir folder(QStringLiteral("/tmp/tessvar-probe-XXXXXX"));
    ASSERT_TRUE(folder.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    const QString path = folder.filePath(QStringLiteral("private.ini"));
    const QString copy = folder.filePath(QStringLiteral("private.bak"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    TNameProbe probe(folder.path(), MadeUpWatcher(), 60);
    ASSERT_EQ(probe.Failure().toStdString(), "");
    const QString answer = RunInChild([] { return WithoutUnnamedFiles(); },
                                      [&] {
                                          for (int save = 0; save < 100; ++save) {
                                              // Every other copy is made where there was none.
                                              if (save % 2 == 1)
                                                  QFile::remove(copy);
                                              KeepLockedFileAs(path, copy);
                                              SaveBytesToFile(path, Pattern(5000 + save));
                                          }
                                          return QStringLiteral("saved");
                                      });
    const TNameProbe::TReport report = probe.Stop();
    EXPECT_EQ(answer.toStdString(), "saved");
    EXPECT_EQ(report.Failure.toStdString(), "");
    // Each save and each copy makes a ".new" name, renames it to a ".tmp"
    // one and that to its file.
    EXPECT_GE(report.Seen, 600);
    EXPECT_EQ(report.Opened.join(' ').toStdString(), "")
        << report.Opened.size() << " names opened, " << report.BytesRead << " bytes read";
    EXPECT_EQ(report.BytesRead, 0);
}

// A saver of group H who is also a member of G, as a made-up user: a 0640
// file of group G, kept as a copy and saved, stays of G and 0640; one of a
// group G2 the saver is no member of becomes of H and loses its group bits,
// so G2 gains nothing and H reads nothing it could not; files of H whose
// ACLs name another user X and a group Y keep their ACLs: a 0640 one that
// lets X read it (its owning group's entry rw- under the mask r--), a 0644
// one that denies X everything, a 0646 one whose mask r-- bounds X's rw-,
// a 0666 one that lets Y read it, and a 0660 one that lets X write it and
// Y read it. With unnamed files and without. The saver does it again in a
// user namespace of each layout, where G, G2, X and Y read as the overflow
// id: G is then a group it may not give either, so that file too ends of H
// without its group bits; the ACLs lose the entries of X and Y (which the
// namespace cannot write, or would write for whoever it gives that id) and
// keep the rest as far as neither gains: X falls to the owning group's
// entry or to the others' entry, so the mask and the others' entry keep no
// more than X's entry allowed under the mask; Y's members fall to the
// others' entry alone, so that keeps no more than Y's entry allowed, and
// the mask is not narrowed for them. The first ends 0640 with no ACL left
// (the owning group's entry as far as the mask let it), the second keeps
// its named entry for the saver under an empty mask, and nobody else reads
// it; the third ends 0644, the fourth 0644 and the fifth 0660, each with
// no ACL left.
TEST_F(SafeSave, TheGroupIsKeptWhereTheSaverMayGiveItElseItsBitsAreCleared)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TMadeUpSaver saver = MadeUpSaver();
    const uid_t x = MadeUpSharers().Outsider;
    const gid_t y = MadeUpSharers().Named;
    // A folder the saver reaches and writes (the test's own may lie in one
    // only its owner may enter).
    QTemporaryDir folder(QStringLiteral("/tmp/tessvar-group-XXXXXX"));
    ASSERT_TRUE(folder.isValid());
    if (const QString missing = AclsMissingIn(folder.path()); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    ASSERT_EQ(::chown(QFile::encodeName(folder.path()).constData(), saver.User, saver.Own), 0);
    const std::string own = std::to_string(saver.Own);
    const std::string mode640 = "user::rw-,group::r--,other::---";
    const QString sharedAcl = QStringLiteral("u::rw-,u:%1:r--,g::rw-,m::r--,o::---").arg(x);
    const QString maskedAcl = QStringLiteral("u::rw-,u:%1:rw-,g::r--,m::r--,o::rw-").arg(x);
    const QString groupAcl = QStringLiteral("u::rw-,g::r--,g:%1:r--,m::rw-,o::rw-").arg(y);
    const QString bothAcl = QStringLiteral("u::rw-,u:%1:rw-,g::rw-,g:%2:r--,m::rw-,o::---").arg(x).arg(y);
    const std::string xEntry = "user:" + std::to_string(x);
    const std::string yEntry = "group:" + std::to_string(y);
    const QString deniedAcl =
        QStringLiteral("u::rw-,u:%1:r--,u:%2:---,g::r--,m::r--,o::r--").arg(saver.User).arg(x);
    // The kernel keeps named entries in the order of their ids.
    const std::string saverEntry = "user:" + std::to_string(saver.User) + ":r--,";
    const std::string deniedEntry = "user:" + std::to_string(x) + ":---,";
    const std::string deniedNamed = saver.User < x ? saverEntry + deniedEntry : deniedEntry + saverEntry;
    struct TCase {
        const char* Name;
        gid_t Group;
        QString Acl; // empty: the mode alone
        std::string Outside, OutsideAcl, Inside, InsideAcl;
    };
    const TCase cases[] = {
        {"kept", saver.Member, QString(), "100640 " + std::to_string(saver.Member), mode640, "100600 " + own,
         "user::rw-,group::---,other::---"},
        {"lost", saver.Stranger, QString(), "100600 " + own, "user::rw-,group::---,other::---",
         "100600 " + own, "user::rw-,group::---,other::---"},
        {"shared", saver.Own, sharedAcl, "100640 " + own,
         "user::rw-," + xEntry + ":r--,group::rw-,mask::r--,other::---", "100640 " + own, mode640},
        {"denied", saver.Own, deniedAcl, "100644 " + own,
         "user::rw-," + deniedNamed + "group::r--,mask::r--,other::r--", "100600 " + own,
         "user::rw-,user:" + std::to_string(saver.User) + ":r--,group::r--,mask::---,other::---"},
        {"masked", saver.Own, maskedAcl, "100646 " + own,
         "user::rw-," + xEntry + ":rw-,group::r--,mask::r--,other::rw-", "100644 " + own,
         "user::rw-,group::r--,other::r--"},
        {"grouped", saver.Own, groupAcl, "100666 " + own,
         "user::rw-,group::r--," + yEntry + ":r--,mask::rw-,other::rw-", "100644 " + own,
         "user::rw-,group::r--,other::r--"},
        {"both", saver.Own, bothAcl, "100660 " + own,
         "user::rw-," + xEntry + ":rw-,group::rw-," + yEntry + ":r--,mask::rw-,other::---", "100660 " + own,
         "user::rw-,group::rw-,other::---"},
    };
    QString notInNamespaces;
    int number = 0;
    for (const TPlace& place : PlacesToRun(true, notInNamespaces)) {
        for (const bool unnamed : {true, false}) {
            SCOPED_TRACE(std::string(place.Name) + (unnamed ? ", unnamed" : ", named"));
            QStringList names;
            for (const TCase& row : cases) {
                names << folder.filePath(
                    QStringLiteral("%1%2.ini").arg(QLatin1String(row.Name)).arg(++number));
                ASSERT_EQ(MakeFileOf(names.back(), "old", saver.User, row.Group, 0640), QString());
                ASSERT_EQ(row.Acl.isEmpty() ? QString() : SetAccessAcl(names.back(), row.Acl), QString());
            }
            EXPECT_EQ(KeepAndSave(place, saver, unnamed, names).toStdString(), "saved");
            for (size_t i = 0; i < std::size(cases); ++i) {
                const TCase& row = cases[i];
                for (const QString& name : {names[qsizetype(i)], names[qsizetype(i)] + ".bak"}) {
                    SCOPED_TRACE(name.toStdString());
                    EXPECT_EQ(QFileInfo(name).ownerId(), saver.User);
                    EXPECT_EQ(FileAccess(name), place.Layout ? row.Inside : row.Outside);
                    EXPECT_EQ(AccessAclOf(name), place.Layout ? row.InsideAcl : row.OutsideAcl);
                }
                EXPECT_EQ(ReadFile(names[qsizetype(i)]), "new");
                EXPECT_EQ(ReadFile(names[qsizetype(i)] + ".bak"), "old");
            }
        }
    }
    if (!notInNamespaces.isEmpty())
        GTEST_SKIP() << notInNamespaces.toStdString();
}

} // namespace

// A saver of group H, also a member of G, as a made-up user without unnamed
// files (every temporary has a ".new" name from its start), in folders
// whose default ACL lets another user read what they hold: a file shared
// through its ACL with a group G2 (group::r--, group:G2:r--, mask::r--) of
// group G, and one of a group the saver is not in. At every system call of
// keeping it as a copy and saving it, no name in its folder lets anyone in
// further than the file's final access: the first keeps its owner, group
// and ACL; the second ends of H with its group entry and mask cleared, so
// that G2's entry gives nothing. The copies end as their files.
TEST_F(SafeSave, NoNameOfASaveIsEverMoreOpenThanTheAclItEndsWith)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TMadeUpSaver saver = MadeUpSaver();
    const TSharers people = MadeUpSharers();
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-acl-XXXXXX"));
    ASSERT_TRUE(top.isValid());
    if (const QString missing = AclsMissingIn(top.path()); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(top.path()).constData(), 0755), 0);
    const QByteArray bytes = Pattern(3000);
    const QString named = QString::number(people.Named);
    struct TCase {
        const char* Name;
        gid_t Group;
        gid_t FinalGroup;
        QString FinalAcl;
    };
    const TCase cases[] = {
        {"member", saver.Member, saver.Member,
         "user::rw-,group::r--,group:" + named + ":r--,mask::r--,other::---"},
        {"stranger", saver.Stranger, saver.Own,
         "user::rw-,group::---,group:" + named + ":r--,mask::---,other::---"},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const QString folder = QDir(top.path()).filePath(QString::fromLatin1(row.Name));
        ASSERT_TRUE(QDir().mkdir(folder));
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), saver.User, saver.Own), 0);
        ASSERT_EQ(SetDefaultAcl(folder,
                                QStringLiteral("u::rwx,u:%1:r--,g::r-x,m::r-x,o::r-x").arg(people.Outsider)),
                  QString());
        const QString path = QDir(folder).filePath(QStringLiteral("shared.ini"));
        const QString copy = QDir(folder).filePath(QStringLiteral("shared.bak"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
        file.close();
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), saver.User, row.Group), 0);
        ASSERT_EQ(SetAccessAcl(path, "u::rw-,g::r--,g:" + named + ":r--,m::r--,o::---"), QString());
        const auto save = [&] {
            KeepLockedFileAs(path, copy);
            SaveBytesToFile(path, bytes);
        };
        // Every step is measured against the access the first save leaves.
        EXPECT_EQ(RunAsSaver(saver,
                             [&] {
                                 save();
                                 return QStringLiteral("saved");
                             })
                      .toStdString(),
                  "saved");
        const TWhoMayOpen final = WhoMayOpen(saver.User, row.FinalGroup, row.FinalAcl);
        QStringList seen;
        const int stops = StopAtEverySystemCall(
            [&] {
                if (!BecomeUser(saver.User, saver.Own, {saver.Member}).isEmpty() ||
                    !WithoutUnnamedFiles().isEmpty())
                    ::_exit(100);
                save();
            },
            [&](int step) {
                for (const QString& name : MoreOpenThan(folder, final))
                    seen << QStringLiteral("step %1: %2").arg(step).arg(name);
            },
            TAfterStop::Resume);
        EXPECT_GT(stops, 10);
        EXPECT_EQ(seen.join("; ").toStdString(), "");
        for (const QString& name : {path, copy}) {
            EXPECT_EQ(ReadFile(name), bytes);
            EXPECT_EQ(QFileInfo(name).ownerId(), saver.User);
            EXPECT_EQ(QFileInfo(name).groupId(), row.FinalGroup);
            EXPECT_EQ(AccessAclOf(name), row.FinalAcl.toStdString()) << name.toStdString();
        }
    }
}

// Root saving files of a made-up user U (an administrator's save) in a
// sticky folder of another made-up user's that every user may write, as
// /tmp is: a 0600 file of U's own group, one of a group G with the
// set-user-id bit (04750) and one with the set-group-id bit (02750), and a
// 0644 file of nobody (65534, the overflow id, which outside any user
// namespace is a user like any other), saved and kept as copies, with
// unnamed files and without. CAP_FOWNER lets root replace them there. Each
// keeps its owner, its group and its mode, set-id bits included (they stay
// with the owner and group they had), and its owner reads and writes it.
TEST_F(SafeSave, RootKeepsTheOwnerOfWhatItSavesWithItsSetIdBits)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TUmask umask(022);
    const TMadeUpSaver user = MadeUpSaver();
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-owner-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    const QString folder =
        MakeFolderOf(top.path(), QStringLiteral("shared"), MadeUpSharers().Outsider, 01777);
    ASSERT_FALSE(folder.isEmpty());
    struct TFile {
        uid_t Owner;
        gid_t Group;
        std::vector<gid_t> Groups; // the owner's besides
        mode_t Mode;
    };
    const TFile files[] = {{user.User, user.Own, {user.Member}, 0600},
                           {user.User, user.Member, {user.Member}, 04750},
                           {user.User, user.Member, {user.Member}, 02750},
                           {65534, 65534, {}, 0644}};
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed);
        QStringList names;
        std::vector<std::string> before;
        for (const TFile& file : files) {
            names << QDir(folder).filePath(QStringLiteral("%1-%2.ini").arg(unnamed).arg(file.Mode, 0, 8));
            ASSERT_EQ(MakeFileOf(names.back(), "old", file.Owner, file.Group, file.Mode), QString());
            before.push_back(FileAccess(names.back()));
        }
        const QString answer = RunInChild([&] { return unnamed ? QString() : WithoutUnnamedFiles(); },
                                          [&] {
                                              for (const QString& name : names) {
                                                  KeepLockedFileAs(name, name + ".bak");
                                                  SaveBytesToFile(name, "new");
                                              }
                                              return QStringLiteral("saved");
                                          });
        EXPECT_EQ(answer.toStdString(), "saved");
        for (qsizetype i = 0; i < names.size(); ++i) {
            const TFile& file = files[i];
            for (const QString& name : {names[i], names[i] + ".bak"}) {
                EXPECT_EQ(QFileInfo(name).ownerId(), file.Owner) << name.toStdString();
                EXPECT_EQ(FileAccess(name), before[size_t(i)]) << name.toStdString();
                EXPECT_EQ(OpenedAs(file.Owner, file.Group, file.Groups, name, true).toStdString(),
                          name.endsWith(".bak") ? "old" : "new")
                    << name.toStdString();
            }
        }
    }
}

namespace {

ino_t InodeOf(const QString& name)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(name).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// In a sticky folder (1777) of a made-up user F, a made-up user B whom the
// ACL of another user A's file lets write it, and root without CAP_FOWNER,
// may replace no name of A's: saving A's file, keeping a file of B's under
// the name of a file of A's, or under that of A's link to B's file (a name
// is judged by its own owner), is refused with "Operation not permitted"
// before any name is made: another user watching the folder sees none
// appear, and everything in it stays as it was. So is saving through A's
// link that leads nowhere yet, directly or at the end of B's own link, and
// keeping a file under the name of such a link: a save never makes its
// file where another user's link picked the place; and a project's save of
// A's file that every user may write (its stream, the backup beside it,
// the commit); and saving A's file of B's group, and the file of a user C.
// B still saves its own file there and keeps it, and C's file (a copy,
// B's or, in a rootless container that maps C, C's), under new names. B
// does all that again in a user namespace of each layout, where A's names
// and F's folder read alike as the overflow id, and the namespace's
// CAP_FOWNER counts over none of them: nor over A's file of B's group,
// which the namespace maps, nor over C's file where a rootless container
// maps C but not C's group. And B is refused all of it as a rootless
// container's nobody, too, where A's names and F's folder read as the
// nobody's own id and are still no one's: no name is made, not even a
// second name of A's file that every user may write, as its backup, which
// the nobody could neither rename nor remove again.
TEST_F(SafeSave, InAStickyFolderAnotherUsersNameIsRefusedBeforeAnyNameIsMade)
{
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-sticky-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    if (const QString skip = WhyNoAclTest(top.path()); !skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const TSharers people = MadeUpSharers();
    const uid_t owner = people.GroupMember;
    const uid_t writer = people.NamedMember;
    const QString folder = MakeFolderOf(top.path(), QStringLiteral("shared"), people.Outsider, 01777);
    ASSERT_FALSE(folder.isEmpty());
    const auto In = [&](const char* name) { return QDir(folder).filePath(QLatin1String(name)); };
    ASSERT_EQ(MakeFileOf(In("a.ini"), "A's", owner, owner, 0600), QString());
    ASSERT_EQ(SetAccessAcl(In("a.ini"), QStringLiteral("u::rw-,u:%1:rw-,g::---,m::rw-,o::---").arg(writer)),
              QString());
    ASSERT_EQ(MakeFileOf(In("a.bak"), "A's backup", owner, owner, 0666), QString());
    ASSERT_EQ(MakeFileOf(In("b.ini"), "B's", writer, writer, 0644), QString());
    ASSERT_EQ(MakeLinkOf(In("link.bak"), QStringLiteral("b.ini"), owner), QString());
    ASSERT_EQ(MakeLinkOf(In("gone.ini"), QStringLiteral("nowhere.ini"), owner), QString());
    ASSERT_EQ(MakeLinkOf(In("gone.bak"), QStringLiteral("nowhere.bak"), owner), QString());
    ASSERT_EQ(MakeLinkOf(In("mine.ini"), QStringLiteral("gone.ini"), writer), QString());
    ASSERT_EQ(MakeFileOf(In("c.ini"), "C's", ContainerUser(), ContainerUser(), 0666), QString());
    ASSERT_EQ(MakeFileOf(In("ab.ini"), "A's of B's group", owner, writer, 0666), QString());
    const std::string before = FolderState(folder);
    const QString refused = QStringLiteral("Cannot create file \"%1\". Operation not permitted");
    QStringList expected;
    for (const char* name :
         {"a.ini", "a.bak", "link.bak", "gone.ini", "mine.ini", "gone.bak", "a.bak", "ab.ini", "c.ini"})
        expected << refused.arg(In(name));
    QString notInNamespaces;
    const std::vector<TPlace> places = PlacesToRun(true, notInNamespaces, true);
    std::vector<std::pair<std::string, std::function<QString()>>> savers{
        {"root without CAP_FOWNER", [] { return DropCapability(CAP_FOWNER); }}};
    for (const TPlace& place : places)
        savers.emplace_back(std::string("another user ") + place.Name,
                            [&] { return BecomeUserAt(place, writer, writer); });
    for (const auto& [who, become] : savers) {
        SCOPED_TRACE(who);
        TNameProbe probe(folder, MadeUpWatcher(), 60);
        ASSERT_EQ(probe.Failure().toStdString(), "");
        const QString answer = RunInChild(become, [&] {
            return QStringList{SaveAnswer([&] { SaveBytesToFile(In("a.ini"), "new"); }),
                               SaveAnswer([&] { KeepFileAs(In("b.ini"), In("a.bak")); }),
                               SaveAnswer([&] { KeepFileAs(In("b.ini"), In("link.bak")); }),
                               SaveAnswer([&] { SaveBytesToFile(In("gone.ini"), "new"); }),
                               SaveAnswer([&] { SaveBytesToFile(In("mine.ini"), "new"); }),
                               SaveAnswer([&] { KeepFileAs(In("b.ini"), In("gone.bak")); }),
                               SaveAnswer([&] {
                                   // A project's save: the stream, its backup, the commit.
                                   TSafeFileStream stream(In("a.bak"));
                                   stream.WriteBytes("new");
                                   KeepFileAs(stream.Target(), In("a.~zr"));
                                   stream.Commit();
                               }),
                               SaveAnswer([&] { SaveBytesToFile(In("ab.ini"), "new"); }),
                               SaveAnswer([&] { SaveBytesToFile(In("c.ini"), "new"); })}
                .join('\n');
        });
        const TNameProbe::TReport report = probe.Stop();
        EXPECT_EQ(answer.toStdString(), expected.join('\n').toStdString());
        EXPECT_EQ(report.Failure.toStdString(), "");
        EXPECT_EQ(report.Seen, 0);
        EXPECT_EQ(FolderState(folder), before);
    }
    QByteArray old = "B's";
    for (const TPlace& place : places) {
        // B's own file is no longer its own as the container's nobody.
        if (place.Layout == TNamespaceLayout::ContainerNobody)
            continue;
        SCOPED_TRACE(place.Name);
        const QByteArray bytes = QByteArray("new ") + place.Name;
        EXPECT_EQ(RunInChild([&] { return BecomeUserAt(place, writer, writer); },
                             [&] {
                                 return SaveAnswer([&] {
                                     KeepFileAs(In("b.ini"), In("b.bak"));
                                     SaveBytesToFile(In("b.ini"), bytes);
                                     KeepFileAs(In("c.ini"), In("c.bak"));
                                 });
                             })
                      .toStdString(),
                  "saved");
        EXPECT_EQ(ReadFile(In("b.ini")), bytes);
        EXPECT_EQ(ReadFile(In("b.bak")), old);
        EXPECT_EQ(QFileInfo(In("b.ini")).ownerId(), writer);
        EXPECT_EQ(ReadFile(In("c.bak")), "C's");
        // Only the container's root may give it to C, whom it maps.
        EXPECT_EQ(QFileInfo(In("c.bak")).ownerId(),
                  place.Layout == TNamespaceLayout::Container ? ContainerUser() : writer);
        old = bytes;
    }
    EXPECT_EQ(EntriesOf(folder),
              "a.bak a.ini ab.ini b.bak b.ini c.bak c.ini gone.bak gone.ini link.bak mine.ini");
    if (!notInNamespaces.isEmpty())
        GTEST_SKIP() << notInNamespaces.toStdString();
}

// Where a save through another user's link is tried: in a fresh folder
// under /tmp, A's own folder "home" (0700) holding A's private file
// "project.zrf" ("A's", 0600), and "shared", a folder of root's every user
// may write, sticky as /tmp is.
struct TSharedFolder {
    QTemporaryDir Top{QStringLiteral("/tmp/tessvar-links-XXXXXX")};
    QString Home, Shared, File;
    // An empty answer, or why the folders could not be made; shared is
    // owner's.
    QString Make(uid_t a, uid_t owner = 0)
    {
        if (const QString failed = OpenFolder(Top); !failed.isEmpty())
            return failed;
        Home = MakeFolderOf(Top.path(), QStringLiteral("home"), a, 0700);
        Shared = MakeFolderOf(Top.path(), QStringLiteral("shared"), owner, 01777);
        if (Home.isEmpty() || Shared.isEmpty())
            return QStringLiteral("folders not made");
        File = QDir(Home).filePath(QStringLiteral("project.zrf"));
        return MakeFileOf(File, "A's", a, a, 0600);
    }
};

// Made-up users A and B and root, in a root-owned shared folder (1777, as
// /tmp is) where B's link x.zrf leads to A's private file in A's own folder:
// a save by A through B's link, or through A's own link to it, and root's
// save through it are refused with "Permission denied", as the system's own
// walk would refuse to follow B's link there, whatever the system's setting;
// so is A's save through B's link there to A's own link in A's folder, where
// the link refused is not the last of the chain. A's save through B's link
// there that leads nowhere yet, into A's folder, is refused with "Operation
// not permitted" (the sticky bit would keep B's file at that name from A).
// A's file keeps its bytes and no name is added in any folder. A saves
// through its own link and through the folder owner's there, through B's
// link in a sticky folder only its group may write (1775), and through B's
// link in a folder every user may write that is not sticky (0777). A's rows
// run again in a user namespace of each layout, where root's links and
// folders and B's read alike as the overflow id: there the folder owner's
// link is no one's, and refused too. Where the test cannot act as made-up
// users, A is the test's own user, in folders of its own, and only its own
// link is tried.
TEST_F(SafeSave, ALinkInASharedStickyFolderIsFollowedOnlyAsTheSystemWould)
{
    QStringList notTried;
    const QString noUsers = MadeUpUsersWithheld();
    const bool madeUp = noUsers.isEmpty();
    if (!madeUp)
        notTried << noUsers + QStringLiteral(": the links of root and of B were not tried");
    const TSharers people = MadeUpSharers();
    const uid_t a = madeUp ? people.GroupMember : ::geteuid();
    const uid_t b = people.NamedMember;
    const uid_t root = madeUp ? 0 : a; // the folders' owner
    TSharedFolder folders;
    ASSERT_EQ(folders.Make(a, root), QString());
    const QString& home = folders.Home;
    const QString& shared = folders.Shared;
    const QString& file = folders.File;
    const QString group = MakeFolderOf(folders.Top.path(), QStringLiteral("group"), root, 01775);
    const QString open = MakeFolderOf(folders.Top.path(), QStringLiteral("open"), root, 0777);
    ASSERT_FALSE(group.isEmpty() || open.isEmpty());
    const auto In = [](const QString& folder, const char* name) {
        return QDir(folder).filePath(QLatin1String(name));
    };
    const QString denied = QStringLiteral("Permission denied");
    const QString kept = QStringLiteral("Operation not permitted");
    const QString saved = QStringLiteral("saved");
    struct TCase {
        bool ByRoot; // else by A
        QString Name;
        bool Others; // the links of root or B are on the way
        QString Outside, Inside;
    };
    const TCase cases[] = {
        {false, In(shared, "x.zrf"), true, denied, denied},
        {false, In(shared, "chain.zrf"), true, denied, denied},
        {true, In(shared, "x.zrf"), true, denied, denied},
        {false, In(shared, "hop.zrf"), true, denied, denied},
        {false, In(shared, "dangling.zrf"), true, kept, kept},
        {false, In(shared, "own.zrf"), false, saved, saved},
        {false, In(shared, "root.zrf"), true, saved, denied},
        {false, In(group, "x.zrf"), true, saved, saved},
        {false, In(open, "x.zrf"), true, saved, saved},
    };
    ASSERT_EQ(MakeLinkOf(In(shared, "own.zrf"), file, a), QString());
    if (madeUp) {
        ASSERT_EQ(MakeLinkOf(In(shared, "x.zrf"), file, b), QString());
        ASSERT_EQ(MakeLinkOf(In(shared, "chain.zrf"), QStringLiteral("x.zrf"), a), QString());
        ASSERT_EQ(MakeLinkOf(In(shared, "root.zrf"), file, 0), QString());
        ASSERT_EQ(MakeLinkOf(In(home, "link.zrf"), file, a), QString());
        ASSERT_EQ(MakeLinkOf(In(shared, "hop.zrf"), In(home, "link.zrf"), b), QString());
        ASSERT_EQ(MakeLinkOf(In(shared, "dangling.zrf"), In(home, "new.zrf"), b), QString());
        ASSERT_EQ(MakeLinkOf(In(group, "x.zrf"), file, b), QString());
        ASSERT_EQ(MakeLinkOf(In(open, "x.zrf"), file, b), QString());
    }
    const auto stateOfEveryFolder = [&] {
        return FolderState(home) + FolderState(shared) + FolderState(group) + FolderState(open);
    };
    const std::string entries[] = {EntriesOf(home), EntriesOf(shared), EntriesOf(group), EntriesOf(open)};
    QString notInNamespaces;
    for (const TPlace& place : PlacesToRun(madeUp, notInNamespaces)) {
        for (const TCase& row : cases) {
            if ((row.Others && !madeUp) || (row.ByRoot && place.Layout))
                continue;
            SCOPED_TRACE(std::string(place.Name) + (row.ByRoot ? ", root: " : ", A: ") +
                         row.Name.toStdString());
            const std::string before = stateOfEveryFolder();
            const QByteArray bytes = "new " + QByteArray(place.Name) + ' ' + row.Name.toUtf8();
            const uid_t saver = row.ByRoot ? 0 : a;
            const QString answer =
                RunInChild([&] { return BecomeUserAt(place, saver, saver); },
                           [&] { return SaveAnswer([&] { SaveBytesToFile(row.Name, bytes); }); });
            const QString expected = place.Layout ? row.Inside : row.Outside;
            if (expected == saved) {
                EXPECT_EQ(answer.toStdString(), "saved");
                EXPECT_EQ(ReadFile(file), bytes);
            } else {
                EXPECT_EQ(answer.toStdString(),
                          "Cannot create file \"" + row.Name.toStdString() + "\". " + expected.toStdString());
                EXPECT_EQ(stateOfEveryFolder(), before);
            }
        }
    }
    EXPECT_EQ(EntriesOf(home), entries[0]);
    EXPECT_EQ(EntriesOf(shared), entries[1]);
    EXPECT_EQ(EntriesOf(group), entries[2]);
    EXPECT_EQ(EntriesOf(open), entries[3]);
    EXPECT_EQ(QFileInfo(file).ownerId(), a);
    if (!notInNamespaces.isEmpty())
        notTried << notInNamespaces;
    if (!notTried.isEmpty())
        GTEST_SKIP() << notTried.join("; ").toStdString();
}

// The link judged is the one whose target the save read: another user's
// link removed at any step of a save through it (as that user may remove
// it) never lets the save reach the file it led to.
TEST_F(SafeSave, ALinkRemovedWhileASaveFollowsItIsStillJudged)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TSharers people = MadeUpSharers();
    TSharedFolder folders;
    ASSERT_EQ(folders.Make(people.GroupMember), QString());
    const QString& file = folders.File;
    const QString link = QDir(folders.Shared).filePath(QStringLiteral("x.zrf"));
    const QByteArray linkName = QFile::encodeName(link);
    const int stops = StopAtEverySystemCall(
        [&] {
            ::unlink(linkName.constData());
            if (!MakeLinkOf(link, file, people.NamedMember).isEmpty())
                return; // removed as it was being made
            try {
                SaveBytesToFile(link, "root's");
            } catch (const EFileSaveError&) {
            }
        },
        [&](int step) {
            EXPECT_EQ(ReadFile(file), "A's") << "after the runs stopped before step " << step;
            ::unlink(linkName.constData());
        },
        TAfterStop::Resume);
    EXPECT_GT(stops, 5);
    EXPECT_EQ(ReadFile(file), "A's");
}

// A file another process holds under a write lease (as a file server holds
// one), given up 100 ms after the system asks for it: keeping it as a
// backup waits for the holder, as a plain open does, and keeps its bytes.
TEST_F(SafeSave, AFileUnderALeaseIsKeptOnceItsHolderLetsGo)
{
    if (const QString withheld = LeasesWithheld(FDir.path(), F_WRLCK); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const QString path = WriteFile("leased.zrf", "old");
    TLeaseHolder holder(path, F_WRLCK);
    ASSERT_EQ(holder.Failure().toStdString(), "");
    QString answer;
    const int64_t waited =
        ElapsedMilliseconds([&] { answer = SaveAnswer([&] { KeepFileAs(path, PathOf("leased.~zr")); }); });
    EXPECT_EQ(answer.toStdString(), "saved");
    EXPECT_EQ(holder.Finish().toStdString(), "");
    EXPECT_GE(waited, TLeaseHolder::kHoldMilliseconds - 20);
    EXPECT_EQ(ReadFile(PathOf("leased.~zr")).toStdString(), "old");
    EXPECT_EQ(FolderEntries().join(u' ').toStdString(), "leased.zrf leased.~zr");
}

// B keeps A's file, which B may read, write and replace in a shared folder
// without the sticky bit, under a name in a sticky folder (as a project
// saved through a link keeps its backup beside the link): a second name of
// A's file there could neither take that name nor be removed again by B,
// so B keeps a copy, and nothing else is left. A, who may, keeps a second
// name there.
TEST_F(SafeSave, NoSecondNameOfAnotherUsersFileIsLeftInAStickyFolder)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TSharers people = MadeUpSharers();
    const uid_t owner = people.GroupMember;
    const uid_t writer = people.NamedMember;
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-sticky-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    const QString plain = MakeFolderOf(top.path(), QStringLiteral("plain"), 0, 0777);
    const QString sticky = MakeFolderOf(top.path(), QStringLiteral("sticky"), 0, 01777);
    ASSERT_FALSE(plain.isEmpty() || sticky.isEmpty());
    const QString file = QDir(plain).filePath(QStringLiteral("a.ini"));
    ASSERT_EQ(MakeFileOf(file, "A's", owner, owner, 0666), QString());
    const QString copy = QDir(sticky).filePath(QStringLiteral("b.bak"));
    const QString second = QDir(sticky).filePath(QStringLiteral("a.bak"));
    EXPECT_EQ(RunAsUser(writer, [&] { return SaveAnswer([&] { KeepFileAs(file, copy); }); }).toStdString(),
              "saved");
    EXPECT_EQ(RunAsUser(owner, [&] { return SaveAnswer([&] { KeepFileAs(file, second); }); }).toStdString(),
              "saved");
    EXPECT_EQ(EntriesOf(sticky), "a.bak b.bak");
    EXPECT_EQ(ReadFile(copy), "A's");
    EXPECT_EQ(ReadFile(second), "A's");
    EXPECT_EQ(QFileInfo(copy).ownerId(), writer);
    EXPECT_EQ(QFileInfo(second).ownerId(), owner);
    EXPECT_NE(InodeOf(copy), InodeOf(file));
    EXPECT_EQ(InodeOf(second), InodeOf(file));
}

// A saver B of group H, a member of G besides, saves files of another user
// A of group G, group-writable, with the set-user-id bit (04775, 06775) and
// without (0660, and one of group H), in a folder of G that B may write, and
// keeps copies of them: the files can only become B's, so they lose the set-user-id bit
// (else they would be set-uid programs of B's that every member of G may
// rewrite); they keep the group G and the set-group-id bit, which belong to
// that group. B's own 04755 file keeps its set-user-id bit. The bits are as
// given although the saver's writes may clear them (it lacks CAP_FSETID).
// With unnamed files and without. B does it again in a user namespace of
// each layout, where A and G read as the overflow id: no file is given to
// them, nor to whoever the namespace's 65534 stands for (a rootless
// container's nobody); each is B's, of H, without its group bits where
// that was G. And as
// that nobody, where every other owner reads as its own id: each file of
// A's is the nobody's, and none keeps its set-user-id bit.
TEST_F(SafeSave, AFileThatCannotKeepItsOwnerLosesItsSetUserIdBit)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TMadeUpSaver saver = MadeUpSaver();
    const uid_t owner = MadeUpSharers().Outsider;
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-setid-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    const QString folder = MakeFolderOf(top.path(), QStringLiteral("group"), 0, 0775);
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 0, saver.Member), 0);
    struct TFile {
        uid_t Owner;
        gid_t Group;
        mode_t Mode;
        std::string Outside, Inside, AsNobody; // the bits; empty: not the nobody's to write
    };
    const TFile files[] = {{owner, saver.Member, 04775, "100775 ", "100705 ", "100705 "},
                           {owner, saver.Member, 06775, "102775 ", "100705 ", "100705 "},
                           {owner, saver.Member, 0660, "100660 ", "100600 ", "100600 "},
                           {owner, saver.Own, 0660, "100660 ", "100660 ", ""},
                           {saver.User, saver.Member, 04755, "104755 ", "104705 ", ""}};
    QString notInNamespaces;
    int number = 0;
    for (const TPlace& place : PlacesToRun(true, notInNamespaces, true)) {
        const bool asNobody = place.Layout == TNamespaceLayout::ContainerNobody;
        for (const bool unnamed : {true, false}) {
            SCOPED_TRACE(std::string(place.Name) + (unnamed ? ", unnamed" : ", named"));
            std::vector<std::pair<QString, const TFile*>> saved;
            QStringList names;
            for (const TFile& file : files) {
                if (asNobody && file.AsNobody.empty())
                    continue;
                names << QDir(folder).filePath(
                    QStringLiteral("%1-%2.ini").arg(++number).arg(file.Mode, 0, 8));
                saved.emplace_back(names.back(), &file);
                ASSERT_EQ(MakeFileOf(names.back(), "old", file.Owner, file.Group, file.Mode), QString());
            }
            EXPECT_EQ(KeepAndSave(place, saver, unnamed, names).toStdString(), "saved");
            for (const auto& [path, file] : saved) {
                // Outside the saver keeps every group it is in; inside only
                // its own, which the namespace maps.
                const std::string access = asNobody       ? file->AsNobody + std::to_string(NamespaceNobody())
                                           : place.Layout ? file->Inside + std::to_string(saver.Own)
                                                          : file->Outside + std::to_string(file->Group);
                for (const QString& name : {path, path + ".bak"}) {
                    EXPECT_EQ(QFileInfo(name).ownerId(), asNobody ? NamespaceNobody() : saver.User)
                        << name.toStdString();
                    EXPECT_EQ(FileAccess(name), access) << name.toStdString();
                }
            }
        }
    }
    if (!notInNamespaces.isEmpty())
        GTEST_SKIP() << notInNamespaces.toStdString();
}

// A made-up saver of group H, a member of G besides, saves files in folders
// of its own whose default ACL names another user X (user:X:rwx), and keeps
// copies of them, where the access ACL they should take cannot be read
// (EIO), cannot be set (fsetxattr refused, removing one still works) or
// cannot be narrowed for a group the saver may not give (acl_get_entry
// failing at the first entry, or at the third, which would leave a copy
// with the owning group's entry cleared but not the mask): each file ends
// with its owner's bits alone and no ACL entry, neither one of its own nor
// one the folder's default ACL gave the new file. With unnamed files and
// without.
TEST_F(SafeSave, AnAclThatCannotBeReadSetOrNarrowedLeavesOnlyTheOwnersBits)
{
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-acl-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    if (const QString skip = WhyNoAclTest(top.path()); !skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const TMadeUpSaver saver = MadeUpSaver();
    const TSharers people = MadeUpSharers();
    const QString shared = QStringLiteral("u::rw-,g::r--,g:%1:r--,m::r--,o::---").arg(people.Named);
    struct TCase {
        const char* Name;
        QString (*Refuse)(); // null: nothing refused
        int EntryCallsLeft;  // calls of acl_get_entry before they fail; -1 none fails
        gid_t Group;
        QString Acl; // empty: the file's mode alone, 0664
        gid_t FinalGroup;
    };
    const TCase cases[] = {
        {"unreadable ACL", &WithUnreadableAcls, -1, saver.Member, QString(), saver.Member},
        {"ACL not set", &WithoutAclSets, -1, saver.Member, shared, saver.Member},
        {"first entry unreadable", nullptr, 0, saver.Stranger, shared, saver.Own},
        {"third entry unreadable", nullptr, 2, saver.Stranger, shared, saver.Own},
    };
    int number = 0;
    for (const TCase& row : cases) {
        for (const bool unnamed : {true, false}) {
            SCOPED_TRACE(std::string(row.Name) + (unnamed ? ", unnamed" : ", named"));
            const QString folder =
                MakeFolderOf(top.path(), QStringLiteral("case%1").arg(++number), saver.User, 0755);
            ASSERT_FALSE(folder.isEmpty());
            ASSERT_EQ(
                SetDefaultAcl(folder,
                              QStringLiteral("u::rwx,u:%1:rwx,g::r-x,m::rwx,o::r-x").arg(people.Outsider)),
                QString());
            const QString name = QDir(folder).filePath(QStringLiteral("shared.ini"));
            ASSERT_EQ(MakeFileOf(name, "old", saver.User, row.Group, 0664), QString());
            ASSERT_EQ(row.Acl.isEmpty() ? QString() : SetAccessAcl(name, row.Acl), QString());
            const QString answer = RunInChild(
                [&] {
                    QString failure = BecomeUser(saver.User, saver.Own, {saver.Member});
                    if (failure.isEmpty() && !unnamed)
                        failure = WithoutUnnamedFiles();
                    return failure.isEmpty() && row.Refuse ? row.Refuse() : failure;
                },
                [&] {
                    return SaveAnswer([&] {
                        AclEntryCallsLeft = row.EntryCallsLeft;
                        KeepLockedFileAs(name, name + ".bak");
                        AclEntryCallsLeft = row.EntryCallsLeft;
                        SaveBytesToFile(name, "new");
                        AclEntryCallsLeft = -1;
                    });
                });
            EXPECT_EQ(answer.toStdString(), "saved");
            EXPECT_EQ(ReadFile(name), "new");
            EXPECT_EQ(ReadFile(name + ".bak"), "old");
            for (const QString& saved : {name, name + ".bak"}) {
                EXPECT_EQ(FileAccess(saved), "100600 " + std::to_string(row.FinalGroup))
                    << saved.toStdString();
                EXPECT_EQ(AccessAclOf(saved), "user::rw-,group::---,other::---") << saved.toStdString();
            }
        }
    }
}

// A save whose folder is there but cannot be looked at says why, and says
// "does not exist" only where nothing is there: a folder part that is a
// file, a link that loops; as made-up user A, a folder inside B's private
// folder, and B's private folder reached through B's link in a shared
// sticky folder (which the system's walk refuses to follow where it guards
// shared folders). Nothing is made anywhere.
TEST_F(SafeSave, AFolderThatCannotBeLookedAtIsNamedForWhy)
{
    WriteFile("file.bin", "a file");
    ASSERT_TRUE(QFile::link(PathOf("loop"), PathOf("loop")));
    struct TCase {
        QString Name;
        uid_t Saver; // 0: this process
        QString Reason;
    };
    std::vector<TCase> cases{
        {PathOf("missing/x.bin"), 0,
         QStringLiteral("The folder \"%1\" does not exist.").arg(PathOf("missing"))},
        {PathOf("file.bin/x.bin"), 0, QStringLiteral("Not a directory")},
        {PathOf("loop/x.bin"), 0, QStringLiteral("Too many levels of symbolic links")},
    };
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-folders-XXXXXX"));
    QStringList folders{FDir.path()};
    const QString withheld = MadeUpUsersWithheld();
    if (withheld.isEmpty()) {
        const TSharers people = MadeUpSharers();
        ASSERT_EQ(OpenFolder(top), QString());
        const QString privateFolder = MakeFolderOf(top.path(), QStringLiteral("b"), people.NamedMember, 0700);
        const QString shared = MakeFolderOf(top.path(), QStringLiteral("shared"), 0, 01777);
        ASSERT_FALSE(privateFolder.isEmpty() || shared.isEmpty());
        ASSERT_FALSE(MakeFolderOf(privateFolder, QStringLiteral("sub"), people.NamedMember, 0777).isEmpty());
        const QString link = QDir(shared).filePath(QStringLiteral("dl"));
        ASSERT_EQ(MakeLinkOf(link, privateFolder, people.NamedMember), QString());
        cases.push_back({QDir(privateFolder).filePath(QStringLiteral("sub/x.zrf")), people.GroupMember,
                         QStringLiteral("Permission denied")});
        cases.push_back({QDir(link).filePath(QStringLiteral("x.zrf")), people.GroupMember,
                         QStringLiteral("Permission denied")});
        folders << top.path() << privateFolder << privateFolder + "/sub" << shared;
    }
    const auto stateOfEveryFolder = [&] {
        std::string state;
        for (const QString& folder : folders)
            state += FolderState(folder);
        return state;
    };
    const std::string before = stateOfEveryFolder();
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name.toStdString());
        const auto save = [&] { return SaveAnswer([&] { SaveBytesToFile(row.Name, "new"); }); };
        const QString answer =
            row.Saver == 0 ? save() : RunInChild([&] { return BecomeUser(row.Saver, row.Saver, {}); }, save);
        EXPECT_EQ(answer.toStdString(),
                  QStringLiteral("Cannot create file \"%1\". %2").arg(row.Name, row.Reason).toStdString());
    }
    EXPECT_EQ(stateOfEveryFolder(), before);
    if (!withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString() << ": the folders of another user were not tried";
}

// Saves on every road leave no descriptor behind, each many times: a new
// file, one replaced, one through a link, a backup kept as a second name
// and as a copy (where /dev/shm is another file system), a stream dropped
// before its commit, and saves refused (a missing folder, a FIFO, and, with
// made-up users, another user's link in a shared sticky folder).
TEST_F(SafeSave, SavesLeaveNoDescriptorBehind)
{
    const QString file = WriteFile("file.zrf", "old");
    const QString link = PathOf("link.zrf");
    ASSERT_TRUE(QFile::link(file, link));
    ASSERT_EQ(::mkfifo(QFile::encodeName(PathOf("pipe.zrf")).constData(), 0644), 0);
    QStringList refused{PathOf("missing/x.zrf"), PathOf("pipe.zrf")};
    QTemporaryDir other(QStringLiteral("/dev/shm/tessvar-fd-XXXXXX"));
    TSharedFolder folders;
    const QString withheld = MadeUpUsersWithheld();
    if (withheld.isEmpty()) {
        const TSharers people = MadeUpSharers();
        ASSERT_EQ(folders.Make(people.GroupMember), QString());
        refused << QDir(folders.Shared).filePath(QStringLiteral("x.zrf"));
        ASSERT_EQ(MakeLinkOf(refused.back(), folders.File, people.NamedMember), QString());
    }
    const auto saveMany = [&] {
        for (int round = 0; round < 50; ++round) {
            SaveBytesToFile(PathOf("new.zrf"), "new");
            ::unlink(QFile::encodeName(PathOf("new.zrf")).constData());
            SaveBytesToFile(file, "replaced");
            SaveBytesToFile(link, "through the link");
            KeepFileAs(file, PathOf("file.~zr"));
            if (other.isValid())
                KeepFileAs(file, QDir(other.path()).filePath(QStringLiteral("file.~zr")));
            {
                TSafeFileStream dropped(file);
                dropped.WriteBytes("dropped");
            }
            for (const QString& name : refused)
                EXPECT_NE(SaveAnswer([&] { SaveBytesToFile(name, "refused"); }), "saved");
        }
    };
    saveMany(); // whatever the library opens once and keeps
    const int before = OpenDescriptorCount();
    saveMany();
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(ReadFile(file), "through the link");
    if (!withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString()
                     << ": the save through another user's link in a shared sticky folder was not tried";
}
