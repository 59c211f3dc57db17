#include "platform/os/Modules.h"
#include "platform/os/DataFolders.h"
#include "platform/rtl/Exceptions.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {

// A resource image whose bytes are "id=text;id=text": enough to see which
// image the registry reads from.
class FakeImage : public TResourceImage {
public:
    explicit FakeImage(const QByteArray& bytes)
    {
        for (const QByteArray& pair : bytes.split(';')) {
            const int eq = pair.indexOf('=');
            if (eq < 0)
                throw Exception("bad fake image");
            Strings[pair.left(eq).toInt()] = QString::fromUtf8(pair.mid(eq + 1));
        }
    }
    bool FindString(int id, QString& text) const override
    {
        const auto it = Strings.find(id);
        if (it == Strings.end())
            return false;
        text = it->second;
        return true;
    }
    bool FindResource(int, const QString&, QByteArray&) const override { return false; }
    std::map<int, QString> Strings;
};

} // namespace

TEST(Modules, StringsComeFromTheCurrentModuleAndFallBackToNothing)
{
    RegisterResourceImageParser([](const QByteArray& bytes) { return std::make_unique<FakeImage>(bytes); });
    SetProgramResourceImage("999=ATTENTION;1000=ERROR");
    EXPECT_EQ(LoadStr(999), "ATTENTION");
    EXPECT_EQ(LoadStr(5), ""); // an id that is not there

    SetResourceModule("999=ATTENZIONE");
    EXPECT_EQ(LoadStr(999), "ATTENZIONE");
    EXPECT_EQ(LoadStr(1000), ""); // a language image replaces, it does not overlay

    // A bad language image is refused and the current module stays.
    EXPECT_THROW(SetResourceModule("garbage"), Exception);
    EXPECT_EQ(LoadStr(999), "ATTENZIONE");

    ResetResourceModule();
    EXPECT_EQ(LoadStr(1000), "ERROR");
    EXPECT_EQ(ProgramResourceImage(), CurrentResourceModule());
}

TEST(Modules, AResourceFileOnDiskReplacesTheModule)
{
    RegisterResourceImageParser([](const QByteArray& bytes) { return std::make_unique<FakeImage>(bytes); });
    SetProgramResourceImage("999=ATTENTION");
    QTemporaryDir dir;
    const QString dll = dir.filePath("Tessvar.it");
    QFile file(dll);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("999=ATTENZIONE");
    file.close();

    LoadResourceModuleFile(dll);
    EXPECT_EQ(LoadStr(999), "ATTENZIONE");
    EXPECT_EQ(CurrentResourceModuleData(), "999=ATTENZIONE");
    EXPECT_EQ(ProgramResourceImageData(), "999=ATTENTION");

    // A file that is missing or is a folder keeps the current module.
    EXPECT_THROW(LoadResourceModuleFile(dir.filePath("missing")), EFOpenError);
    EXPECT_THROW(LoadResourceModuleFile(dir.path()), EFOpenError);
    EXPECT_EQ(LoadStr(999), "ATTENZIONE");
    ResetResourceModule();
    EXPECT_EQ(CurrentResourceModuleData(), "999=ATTENTION");
}

// A FIFO named as the resource file, or at the end of a link so named, is
// refused at once (never waited on) and left as it was; the module stays.
TEST(Modules, AFifoIsNoResourceFile)
{
    RegisterResourceImageParser([](const QByteArray& bytes) { return std::make_unique<FakeImage>(bytes); });
    SetProgramResourceImage("999=ATTENTION");
    QTemporaryDir dir;
    const QStringList names = MakeFifoAndLink(dir.path(), "Tessvar.it");
    ASSERT_EQ(names.size(), 2);
    const std::string before = NodesIn(dir.path());
    for (const QString& name : names) {
        const QString answer = RunInChildWithin(1000, [&] {
            QString message;
            try {
                LoadResourceModuleFile(name);
            } catch (const EFOpenError& e) {
                message = e.Message();
            }
            return message + '\n' + LoadStr(999);
        });
        const QString reason = name == names[0] ? "It is not a file." : "\"" + names[0] + "\" is not a file.";
        EXPECT_EQ(answer.toStdString(),
                  ("Cannot open file \"" + name + "\". " + reason + "\nATTENTION").toStdString());
    }
    EXPECT_EQ(NodesIn(dir.path()), before);
}

TEST(DataFolders, ProgramDataMapsUnderTheUserDataFolder)
{
    const QString root = ProgramDataRoot();
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(MapWindowsPath("C:\\ProgramData\\Dravinel\\Tessvar\\"), root + "/Dravinel/Tessvar/");
    EXPECT_EQ(MapWindowsPath("c:\\programdata\\Dravinel\\Ostrival"), root + "/Dravinel/Ostrival");
    // Only the whole folder name counts as the prefix.
    EXPECT_EQ(MapWindowsPath("C:\\ProgramDataX\\a"), "C:/ProgramDataX/a");
    EXPECT_EQ(MapWindowsPath("relative\\file.ini"), "relative/file.ini");
    // Tests run with XDG_DATA_HOME inside the sandbox, never the real home.
    EXPECT_TRUE(root.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
}
