#include "platform/os/TempFiles.h"
#include "platform/rtl/Exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

TEST(TempFiles, TheFolderIsTheSandboxedTemporaryFolder)
{
    const QString folder = TempFolder();
    EXPECT_TRUE(folder.endsWith('/'));
    // Tests run with TMPDIR inside their sandbox.
    EXPECT_EQ(QDir(folder).canonicalPath(), QDir(qEnvironmentVariable("TMPDIR")).canonicalPath());
}

TEST(TempFiles, EachCallMakesANewEmptyFile)
{
    QTemporaryDir dir;
    std::set<QString> names;
    for (int i = 0; i < 50; ++i) {
        const QString name = CreateTempFile(dir.path(), "ZVQX");
        const QFileInfo info(name);
        EXPECT_TRUE(info.isFile());
        EXPECT_EQ(info.size(), 0);
        EXPECT_EQ(info.absolutePath(), QDir(dir.path()).absolutePath());
        // Three characters of the prefix, six unique ones, ".tmp".
        EXPECT_TRUE(info.fileName().startsWith("ZVQ")) << qPrintable(name);
        EXPECT_EQ(info.fileName().size(), 3 + 6 + 4) << qPrintable(name);
        EXPECT_TRUE(name.endsWith(".tmp"));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 50u);
    // An empty folder means the temporary folder.
    const QString inTemp = CreateTempFile(QString(), "ZV");
    EXPECT_TRUE(inTemp.startsWith(TempFolder()));
    QFile::remove(inTemp);
}

TEST(TempFiles, AFolderThatCannotHoldFilesIsAClearError)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing");
    try {
        CreateTempFile(missing, "ZV");
        ADD_FAILURE();
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.Message().contains(missing)) << qPrintable(e.Message());
    }
}
