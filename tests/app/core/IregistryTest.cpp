#include "app/core/Iregistry.h"
#include "tests/app/core/CoreFixture.h"

#include <QFileInfo>

namespace {

const QString MainKey = QStringLiteral("Software\\Dravinel\\Tessvar");

class IregistryTest : public CoreTest {
protected:
    QString TessvarFile(const QString& name = QStringLiteral("lm_iregistry.ini")) const
    {
        return LocalFile(TessvarDataFolder, name);
    }
};

TEST_F(IregistryTest, OpeningAndReadingCreateNoFile)
{
    SetIRegistryFolder(TessvarDataFolder);
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(registry.FileName(), TessvarFile());

    EXPECT_FALSE(registry.OpenKey(QStringLiteral("X"), false));
    EXPECT_FALSE(QFileInfo::exists(TessvarFile()));

    EXPECT_TRUE(registry.OpenKey(QStringLiteral("X"), true));
    EXPECT_FALSE(registry.ValueExists(QStringLiteral("Unit")));
    EXPECT_EQ(registry.ReadInteger(QStringLiteral("Unit")), 0);
    EXPECT_EQ(registry.ReadString(QStringLiteral("Unit")), QString());
    registry.CloseKey();
    EXPECT_FALSE(QFileInfo::exists(TessvarFile()));
}

TEST_F(IregistryTest, WritesTheSectionAndReadsItBackWithoutRegardToCase)
{
    SetIRegistryFolder(TessvarDataFolder);
    {
        TIRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.OpenKey(MainKey, true));
        registry.WriteBool(QStringLiteral("Preview"), true);
        registry.WriteInteger(QStringLiteral("Unit"), 1);
        registry.WriteFloat(QStringLiteral("language"), 2.5);
        registry.CloseKey();
    }
    const QByteArray text = ReadFile(TessvarFile());
    EXPECT_TRUE(text.contains("[Software\\Dravinel\\Tessvar]")) << text.constData();
    EXPECT_TRUE(text.contains("Preview=1"));
    EXPECT_TRUE(text.contains("Unit=1"));

    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("SOFTWARE\\dravinel\\tessvar"), false));
    EXPECT_TRUE(registry.ValueExists(QStringLiteral("preview")));
    EXPECT_TRUE(registry.ReadBool(QStringLiteral("PREVIEW")));
    EXPECT_EQ(registry.ReadInteger(QStringLiteral("unit")), 1);
    EXPECT_DOUBLE_EQ(registry.ReadFloat(QStringLiteral("Language")), 2.5);
}

TEST_F(IregistryTest, KeepsTheOtherLinesOfTheFile)
{
    SetIRegistryFolder(TessvarDataFolder);
    WriteFile(TessvarFile(),
              "; kept comment\r\n[Other]\r\nA=1\r\n\r\n[Software\\Dravinel\\Tessvar]\r\nUsaUsa=1\r\n");
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(MainKey, false));
    EXPECT_TRUE(registry.ReadBool(QStringLiteral("UsaUsa")));
    registry.WriteInteger(QStringLiteral("Unit"), 0);
    registry.CloseKey();
    const QByteArray text = ReadFile(TessvarFile());
    EXPECT_TRUE(text.startsWith("; kept comment\r\n[Other]\r\nA=1\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("UsaUsa=1"));
    EXPECT_TRUE(text.contains("Unit=0"));
}

// Without canCreate a missing section answers false but leaves the file open,
// so a following write creates the section (the language button relies on it).
TEST_F(IregistryTest, MissingSectionLeavesTheFileOpen)
{
    SetIRegistryFolder(TessvarDataFolder);
    WriteFile(TessvarFile(), "[Other]\r\nA=1\r\n");
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.OpenKey(MainKey, false));
    registry.WriteFloat(QStringLiteral("language"), 2);
    registry.CloseKey();
    EXPECT_TRUE(ReadFile(TessvarFile()).contains("[Software\\Dravinel\\Tessvar]\r\nlanguage=2"));
}

// Rows: root key, file name. Source: the prefixes of the two root keys.
TEST_F(IregistryTest, RootKeyChoosesThePrefix)
{
    struct Row {
        int n;
        uint32_t root;
        const char* file;
    };
    const Row rows[] = {
        {1, HKEY_LOCAL_MACHINE, "lm_iregistry.ini"},
        {2, HKEY_CURRENT_USER, "cu_iregistry.ini"},
        {3, 0, "iregistry.ini"},
        {4, 0x80000003u, "iregistry.ini"},
    };
    for (const Row& row : rows) {
        TIRegistry registry;
        registry.SetRootKey(row.root);
        ASSERT_TRUE(registry.OpenKey(QStringLiteral("K"), true)) << row.n;
        registry.WriteString(QStringLiteral("V"), QString::number(row.n));
        registry.CloseKey();
        EXPECT_TRUE(
            ReadFile(LocalFile(OstrivalDataFolder, row.file)).contains("V=" + QByteArray::number(row.n)))
            << row.n;
    }
}

TEST_F(IregistryTest, NoOpenKeyGivesFallbacksAndWritesNothing)
{
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.ValueExists(QStringLiteral("A")));
    EXPECT_FALSE(registry.ReadBool(QStringLiteral("A")));
    EXPECT_EQ(registry.ReadInteger(QStringLiteral("A")), 0);
    EXPECT_EQ(registry.ReadFloat(QStringLiteral("A")), 0.0);
    EXPECT_EQ(registry.ReadString(QStringLiteral("A")), QStringLiteral("0"));
    registry.WriteInteger(QStringLiteral("A"), 1);

    // An empty key path counts as no key.
    ASSERT_TRUE(registry.OpenKey(QString(), true));
    registry.WriteInteger(QStringLiteral("A"), 1);
    EXPECT_EQ(registry.ReadString(QStringLiteral("A")), QStringLiteral("0"));
    registry.CloseKey();
    EXPECT_FALSE(QFileInfo::exists(registry.FileName()));
}

TEST_F(IregistryTest, FolderThatCannotBeCreatedFailsTheOpen)
{
    WriteFile(ProgramDataRoot() + QStringLiteral("/Dravinel/Blocked"), "a file, not a folder");
    SetIRegistryFolder(QStringLiteral("C:\\ProgramData\\Dravinel\\Blocked\\Sub\\"));
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.OpenKey(MainKey, true));
    registry.WriteBool(QStringLiteral("Preview"), true);
    EXPECT_FALSE(registry.ReadBool(QStringLiteral("Preview")));
}

} // namespace
