// The program's resource image as the build makes it, and the resource
// compiler run on small inputs.
#include "resources/ProgramResources.h"
#include "localization/KHelpers.h"
#include "localization/PEResourceImage.h"
#include "localization/WinResProc.h"
#include "platform/objects/ObjectText.h"
#include "platform/os/Modules.h"
#include "platform/os/VersionInfo.h"
#include "tests/support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override { InitProgramResources(ProgramResourceImageBytes()); }
    void TearDown() override { ResetResourceModule(); }
};

QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    file.write(bytes);
    return path;
}

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    TRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// "1.0.0" gives "1.0.0.0".
QString FourPartVersion(QString version)
{
    while (version.count(u'.') < 3)
        version += QStringLiteral(".0");
    return version;
}

} // namespace

TEST_F(ProgramResources, TheStringTableHoldsTheLibraryMessagesAndCaptions)
{
    EXPECT_EQ(LoadStr(999), "ATTENTION");
    EXPECT_EQ(LoadStr(1000), "ERROR");
    EXPECT_EQ(LoadStr(1), ""); // not in the table
    // Every message of the localization library, as the library words it.
    int messages = 0;
    for (int id = 65488; id <= 65535; ++id) {
        const QString english = LibraryMessageFallback(id);
        if (english.isEmpty())
            continue;
        ++messages;
        EXPECT_EQ(LoadStr(id), english) << "id " << id;
    }
    EXPECT_EQ(messages, 33);
}

// A language image replaces the strings the library raises, while the
// version still comes from the program's own image.
TEST_F(ProgramResources, ALanguageModuleReplacesTextsButNotTheVersion)
{
    TResProcessor language;
    language.LoadFromModule(ProgramResourceImageData());
    auto* strings = static_cast<TResString*>(language.GetItemByType(6));
    ASSERT_NE(strings, nullptr);
    strings->DeleteByID(sKNoResources);
    strings->Add(sKNoResources, QStringLiteral("Nessuna risorsa in questo file."));
    ASSERT_EQ(language.GetItemByType(16), nullptr);

    SetResourceModule(language.CreateDLLImage());
    EXPECT_EQ(LibraryMessage(sKNoResources), "Nessuna risorsa in questo file.");
    EXPECT_EQ(LoadStr(999), "ATTENTION");
    QByteArray data;
    EXPECT_FALSE(FindResourceData(RT_VERSION, "#1", data));
    EXPECT_EQ(ProgramVersionText(), FourPartVersion(TESSVAR_PROJECT_VERSION));

    ResetResourceModule();
    EXPECT_EQ(LibraryMessage(sKNoResources), "No resources in this file.");
}

// Independent readers of the image the build made: python3's pefile
// (including its reading of the version block) and wrestool.
TEST_F(ProgramResources, TheImageOpensWithPefileAndWrestool)
{
    QTemporaryDir dir;
    const QString image = WriteFile(dir.filePath("Tessvar.resources.dll"), ProgramResourceImageBytes());
    const char* script = R"(
import sys, pefile
pe = pefile.PE(sys.argv[1])
print('magic %x machine %x' % (pe.OPTIONAL_HEADER.Magic, pe.FILE_HEADER.Machine))
print('types', ' '.join(str(t.id) for t in pe.DIRECTORY_ENTRY_RESOURCE.entries))
print('fixed %08x %08x' % (pe.VS_FIXEDFILEINFO[0].FileVersionMS, pe.VS_FIXEDFILEINFO[0].FileVersionLS))
for info in pe.FileInfo[0]:
    if info.Key == b'StringFileInfo':
        for table in info.StringTable:
            for key, value in table.entries.items():
                print('string', key.decode(), value.decode())
)";
    const TRun python = RunProgram(QStringLiteral("/usr/bin/python3"), {"-c", script, image});
    ASSERT_EQ(python.ExitCode, 0) << qPrintable(python.Err);
    EXPECT_TRUE(python.Out.contains("magic 10b machine 14c")) << qPrintable(python.Out);
    // Strings, the form streams and pictures (RCDATA) and the version, in
    // ascending type order as the format requires.
    EXPECT_TRUE(python.Out.contains("types 6 10 16")) << qPrintable(python.Out);
    EXPECT_TRUE(python.Out.contains("fixed 00010000 00000000")) << qPrintable(python.Out);
    EXPECT_TRUE(python.Out.contains("string FileVersion " + FourPartVersion(TESSVAR_PROJECT_VERSION)))
        << qPrintable(python.Out);

    const TRun wrestool = RunProgram(QStringLiteral("wrestool"), {"-l", image});
    ASSERT_EQ(wrestool.ExitCode, 0) << qPrintable(wrestool.Err);
    // Captions 999 and 1000 lie in string group 63; the version is ID 1.
    EXPECT_TRUE(wrestool.Out.contains("--type=6 --name=63 ")) << qPrintable(wrestool.Out);
    EXPECT_TRUE(wrestool.Out.contains("--type=16 --name=1 ")) << qPrintable(wrestool.Out);
}

TEST(ResourceCompiler, CompilesStringsFormsImagesAndVersion)
{
    QTemporaryDir dir;
    // A byte-order mark, a comment, a blank line, escapes, a CRLF line, the
    // highest ID, and texts outside ASCII.
    const QString table = WriteFile(dir.filePath("table.txt"),
                                    "\xEF\xBB\xBF# captions\n"
                                    "999\tATTENTION\n"
                                    "\n"
                                    "2000\tTemperature Estreme: il risulato non \xC3\xA8 accurato\r\n"
                                    "980\t0.001 \xC2\xB5m\\n\\tx\\\\y\n"
                                    "65535\tlast\tone\n");
    const QByteArray formText = "object fTest: TfTest\n  Caption = 'Hello'\n  Width = 300\nend\n";
    const QString form = WriteFile(dir.filePath("Utest.dfm"), formText);
    const QString logo = WriteFile(dir.filePath("logo.jpg"), QByteArray("\xFF\xD8\xFF\xE0 picture", 12));
    const QString out = dir.filePath("out.dll");
    const QString cpp = dir.filePath("out.cpp");

    const TRun run = RunProgram(TESSVAR_RESCOMP, {"--version", "2.3.4.5", "--strings", table, "--form", form,
                                                  "--image", logo, "--output", out, "--cpp", cpp});
    ASSERT_EQ(run.ExitCode, 0) << qPrintable(run.Err);

    TResProcessor set;
    set.LoadPEFile(out);
    auto* strings = static_cast<TResString*>(set.GetItemByType(6));
    ASSERT_NE(strings, nullptr);
    EXPECT_EQ(strings->Count(), 4);
    EXPECT_EQ(strings->GetItemById(999)->Data(), "ATTENTION");
    EXPECT_EQ(strings->GetItemById(2000)->Data(), "Temperature Estreme: il risulato non è accurato");
    EXPECT_EQ(strings->GetItemById(980)->Data(), "0.001 µm\n\tx\\y");
    EXPECT_EQ(strings->GetItemById(65535)->Data(), "last\tone"); // only the first tab separates
    auto* rcdata = static_cast<TResRCData*>(set.GetItemByType(10));
    ASSERT_NE(rcdata, nullptr);
    ASSERT_NE(rcdata->GetItemByName("TFTEST"), nullptr);
    EXPECT_EQ(rcdata->GetItemByName("TFTEST")->Data(), ObjectTextToBinary(formText));
    ASSERT_NE(rcdata->GetItemByName("LOGO_JPG"), nullptr);
    EXPECT_EQ(rcdata->GetItemByName("LOGO_JPG")->Data(), QByteArray("\xFF\xD8\xFF\xE0 picture", 12));

    QFile image(out);
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    TPEResourceImage parsed(image.readAll());
    QByteArray version;
    ASSERT_TRUE(parsed.FindResource(16, "#1", version));
    ASSERT_TRUE(ParseFileVersion(version));
    EXPECT_EQ(FileVersionText(*ParseFileVersion(version)), "2.3.4.5");

    QFile source(cpp);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray text = source.readAll();
    EXPECT_TRUE(text.contains("const QByteArray& ProgramResourceImageBytes()"));
    EXPECT_TRUE(text.contains("0x4d,0x5a,")); // "MZ"
}

// Bad input fails with the file, the line and the reason, and writes no
// output.
TEST(ResourceCompiler, RefusesBadInputWithoutWritingOutput)
{
    QTemporaryDir dir;
    const QString good = WriteFile(dir.filePath("good.txt"), "1\tone\n");
    const QString formA = WriteFile(dir.filePath("A.dfm"), "object fTest: TfA\nend\n");
    const QString formB = WriteFile(dir.filePath("B.dfm"), "object fTEST: TfB\nend\n");
    const QString broken = WriteFile(dir.filePath("broken.dfm"), "object fX: TfX\n  Caption = \nend\n");
    struct Row {
        int No;
        QByteArray Table; // empty: the good table
        QStringList Extra;
        QString Message;
    } rows[] = {
        {1, "5\tfive\n5\tagain\n", {}, "table.txt:2: id 5 repeats line 1"},
        {2, "5 five\n", {}, "table.txt:1: expected id<TAB>text"},
        {3, "1\tx\n65536\tx\n", {}, "table.txt:2: id \"65536\" is not a number from 0 to 65535"},
        {4, "-1\tx\n", {}, "table.txt:1: id \"-1\" is not a number from 0 to 65535"},
        {5, "5\tbad \\q\n", {}, "table.txt:1: unknown escape \\q"},
        {6, "5\tends in \\", {}, "table.txt:1: a text ends in a lone backslash"},
        {7, "5\t\xC3\x28\n", {}, "table.txt:1: not valid UTF-8"},
        {8, "5\t\n", {}, "table.txt:1: id 5 has an empty text"},
        {9, "", {"--form", broken}, "broken.dfm: Line "}, // the parser's message
        {10, "", {"--form", formA, "--form", formB}, "B.dfm: resource name TFTEST is used twice"},
        {11, "", {"--form", dir.filePath("none.dfm")}, "none.dfm: cannot open"},
    };
    for (const Row& row : rows) {
        const QString table = row.Table.isEmpty() ? good : WriteFile(dir.filePath("table.txt"), row.Table);
        const QString out = dir.filePath(QStringLiteral("out%1.dll").arg(row.No));
        const TRun run =
            RunProgram(TESSVAR_RESCOMP,
                       QStringList{"--version", "1.0.0", "--strings", table, "--output", out} + row.Extra);
        EXPECT_EQ(run.ExitCode, 1) << "row " << row.No;
        EXPECT_TRUE(run.Err.contains(row.Message)) << "row " << row.No << ": " << qPrintable(run.Err);
        EXPECT_FALSE(QFile::exists(out)) << "row " << row.No;
    }

    EXPECT_EQ(RunProgram(TESSVAR_RESCOMP,
                         {"--version", "1.x", "--strings", good, "--output", dir.filePath("v.dll")})
                  .ExitCode,
              1);
    EXPECT_EQ(RunProgram(TESSVAR_RESCOMP, {}).ExitCode, 2);
    EXPECT_EQ(RunProgram(TESSVAR_RESCOMP, {"--strings"}).ExitCode, 2);

    // On a disk with room for only part of the image (a 512-byte file size
    // limit, SIGXFSZ at its default disposition: the tool ignores it itself)
    // the previous output keeps every byte and the message names it.
    const QString kept = WriteFile(dir.filePath("kept.dll"), "previous");
    const TLimitedRun limited = RunProgramWithFileSizeLimit(
        512, TESSVAR_RESCOMP, {"--version", "1.0.0", "--strings", good, "--output", kept});
    EXPECT_FALSE(limited.Signalled) << limited.Signal;
    EXPECT_EQ(limited.ExitCode, 1);
    EXPECT_TRUE(limited.Errors.contains("Cannot create file \"" + kept + "\". "))
        << qPrintable(limited.Errors);
    QFile previous(kept);
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), "previous");
}
