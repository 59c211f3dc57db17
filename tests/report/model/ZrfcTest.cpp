// The report-project compiler tools/zrfc, run as a program on the sample
// project of tests/data/report/zrfc.
#include "report/model/ZvProj.h"

#include "ProjectFixtures.h"
#include "tests/support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int ExitCode = -1;
    QByteArray Output;
    QByteArray Errors;
};

TRun RunZrfc(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TESSVAR_ZRFC), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray ReadFile(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ZrfcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProjectForTests();
        ASSERT_TRUE(Folder.isValid());
    }
    QString Path(const QString& name) const { return QDir(Folder.path()).filePath(name); }

    QTemporaryDir Folder;
    const QString Sample = QStringLiteral(TESSVAR_ZRFC_SAMPLE);
};

TEST_F(ZrfcTest, CompilesTheTextAndDumpsItBackEqual)
{
    const QString compiled = Path(QStringLiteral("sample.zrf"));
    const TRun compile = RunZrfc({Sample, compiled});
    ASSERT_EQ(compile.ExitCode, 0) << compile.Errors.constData();

    // The sample is the text the dump writes, so it comes back unchanged.
    const TRun dump = RunZrfc({QStringLiteral("--dump"), compiled});
    ASSERT_EQ(dump.ExitCode, 0) << dump.Errors.constData();
    EXPECT_EQ(dump.Output, ReadFile(Sample));

    // The file is what the project manager writes, and holds the sample.
    const QByteArray bytes = ReadFile(compiled);
    TZarvProjectManager project(nullptr);
    LoadProject(project, bytes);
    EXPECT_EQ(SaveProject(project), bytes);
    ASSERT_EQ(project.ReportList().size(), 1u);
    TZarvReport* card = project.ActiveReport();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->Name(), QStringLiteral("Card"));
    EXPECT_EQ(card->LastActivePage(), QStringLiteral("Front"));
    ASSERT_EQ(card->LoadedPageCount(), 3);
    EXPECT_EQ(card->LoadedPage(1), project.GlobalPageList().front());
    ASSERT_NE(card->PageList(), nullptr);
    EXPECT_EQ(card->PageList()->Items(1), card->LoadedPage(2));
    EXPECT_EQ(project.DataObjectList().front()->Description(), QStringLiteral("Totals in \u20AC"));
    auto* inner = dynamic_cast<TZarvControl*>(card->LoadedPage(0)->FindComponent(QStringLiteral("Inner")));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->Mirror(), card->LoadedPage(0)->FindComponent(QStringLiteral("Logo2")));

    // A dump written to a file and compiled again gives the same bytes.
    const QString text = Path(QStringLiteral("again.txt"));
    ASSERT_EQ(RunZrfc({QStringLiteral("--dump"), compiled, text}).ExitCode, 0);
    ASSERT_EQ(RunZrfc({text, Path(QStringLiteral("again.zrf"))}).ExitCode, 0);
    EXPECT_EQ(ReadFile(Path(QStringLiteral("again.zrf"))), bytes);
}

// The compiler on a disk with room for only part of the project: a file size
// limit of 512 bytes, SIGXFSZ at its default disposition (the compiler
// ignores it itself). The previous project file keeps every byte, and the
// message names it.
TEST_F(ZrfcTest, OutputCutShortKeepsThePreviousFile)
{
    const QString compiled = Path(QStringLiteral("sample.zrf"));
    const QByteArray previous(600, 'p');
    {
        QFile file(compiled);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(previous), previous.size());
    }
    const TLimitedRun run =
        RunProgramWithFileSizeLimit(512, QStringLiteral(TESSVAR_ZRFC), {Sample, compiled});
    EXPECT_FALSE(run.Signalled) << run.Signal;
    EXPECT_NE(run.ExitCode, 0);
    EXPECT_TRUE(run.Errors.contains("Cannot create file \"" + compiled + "\". ")) << run.Errors.toStdString();
    EXPECT_EQ(ReadFile(compiled), previous);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"sample.zrf"}));
}

TEST_F(ZrfcTest, RefusesWhatAProjectCannotHold)
{
    struct Row {
        int Number;
        QByteArray Text;
        QByteArray Error;
    };
    const Row rows[] = {
        {1, "object R: TZarvReport\nend\n",
         "zrfc: The text must hold one TZarvProjectManager, not a TZarvReport\n"},
        {2, "object P: TZarvProjectManager\n  Nope = 1\nend\n",
         "zrfc: TZarvProjectManager has no property Nope\n"},
        {3,
         "object P: TZarvProjectManager\n  object R: TZarvReport\n    object X: TNoSuch\n    end\n  "
         "end\nend\n",
         "zrfc: Class TNoSuch not found\n"},
        {4, "object P: TZarvProjectManager\n  object B: TZarvContainerControl\n  end\nend\n",
         "zrfc: TZarvContainerControl is no report, page or data object\n"},
        {5, "object P: TZarvProjectManager\n  UnitsFactor = 'wide'\nend\n",
         "zrfc: Invalid value for TZarvProjectManager.UnitsFactor\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        const QString input = Path(QStringLiteral("bad%1.txt").arg(row.Number));
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.Text);
        file.close();
        const TRun run = RunZrfc({input, Path(QStringLiteral("bad.zrf"))});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Errors, row.Error);
        EXPECT_FALSE(QFile::exists(Path(QStringLiteral("bad.zrf"))));
    }
    EXPECT_EQ(RunZrfc({}).ExitCode, 2);
    EXPECT_EQ(RunZrfc({QStringLiteral("--dump"), Path(QStringLiteral("none.zrf"))}).ExitCode, 1);
}

} // namespace
