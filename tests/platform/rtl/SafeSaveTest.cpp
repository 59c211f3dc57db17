// The crash-safe save: under a file size limit standing in for a full disk
// the old file keeps every byte and the error names the file; with room the
// new file is complete; the temporary file never stays behind.
#include "platform/rtl/SafeSave.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/FolderFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

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
        EXPECT_TRUE(message.startsWith("Cannot create file \"" + path + "\". ")) << size << ": " << message.toStdString();
        EXPECT_TRUE(message.contains("too large")) << message.toStdString(); // EFBIG, the system's own reason
        EXPECT_EQ(ReadFile(path), old) << size;
        EXPECT_EQ(FolderEntries(), QStringList({"report.zsf"})) << size;
    }
    // At the limit exactly everything fits.
    EXPECT_EQ(RunWithFileSizeLimit(4096, [&] {
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

    // Permissions do not bind root, so this row only runs for other users.
    if (::geteuid() != 0) {
        const QString readOnly = WriteFile("locked.bin", "keep");
        ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
        EXPECT_THROW(SaveBytesToFile(readOnly, "x"), EFileSaveError);
        EXPECT_EQ(ReadFile(readOnly), "keep");
    }
}

} // namespace
