// The report projects of resources/reports, as the build compiles them into
// run/: their parameter lists are the interface of the print buttons, and a
// run with a distinct value for each parameter must show every value once on
// its one page, inside the frame.
#include "localization/PEResourceImage.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/Extended80.h"
#include "report/components/QpZarv.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpFiler.h"
#include "report/print/QpFormPreview.h"
#include "resources/ProgramResources.h"
#include "tests/report/print/PdfSystem.h"

#include "tests/report/print/SnapshotSupport.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct TProjectCase {
    const char* File;
    QStringList Params; // in the order the print buttons set them
};

const TProjectCase kProjects[] = {
    {"measure.zrf",
     {"Title", "Unit", "Diameter", "Angle", "Pitch", "Starts", "Wire", "WireD", "WireT", "Rfilo", "Go",
      "NoGo", "Read", "ReadNP", "PD", "PDG", "PDNG", "Codice", "Note"}},
    {"gagecard.zrf", {"Title", "Unit",  "Diametro", "Passo", "Angolo",  "Starts", "Tolleranze", "Maxl",
                      "Minl",  "Logl",  "Mediol",   "Hmisl", "Maxp",    "Minp",   "Logp",       "Mediop",
                      "Hmisp", "Maxnp", "Minnp",    "Lognp", "Medionp", "Hmisnp", "TxtP",       "TxtNP"}},
    {"piececard.zrf",
     {"Title", "Unit", "Diametro", "Passo", "Angolo", "Starts", "Tolleranze", "Maxl", "Minl", "Maxp", "Minp",
      "TxtP"}},
};

void PrintTo(const TProjectCase& c, std::ostream* os)
{
    *os << c.File;
}

QString ProjectPath(const char* file)
{
    return QDir(QStringLiteral(TESSVAR_REPORT_PROJECTS)).filePath(QString::fromLatin1(file));
}

// A value no other value contains: "V07Q".
QString ValueOf(int index)
{
    return QStringLiteral("V%1Q").arg(index, 2, 10, QLatin1Char('0'));
}

// The built project's bytes.
QByteArray BuiltBytes(const char* file)
{
    QFile built(ProjectPath(file));
    EXPECT_TRUE(built.open(QIODevice::ReadOnly));
    return built.readAll();
}

// Writes bytes under the project's own file name into folder; answers the
// path.
QString WriteDamaged(const QTemporaryDir& folder, const char* file, const QByteArray& bytes)
{
    const QString damaged = QDir(folder.path()).filePath(QString::fromLatin1(file));
    QFile out(damaged);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    EXPECT_EQ(out.write(bytes), bytes.size());
    return damaged;
}

void OpenWithValues(TZvProject& project, const TProjectCase& c)
{
    project.SetProjectFile(ProjectPath(c.File));
    project.Open();
    for (int i = 0; i < c.Params.size(); ++i)
        project.SetParam(c.Params.at(i), ValueOf(i));
}

class ProjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordReportWriterProcs();
        RegisterProjectComponentClass();
    }
    // Another process's run may hold the data channel; its box is answered
    // with Retry until the channel is free.
    TScriptedMessages Messages;
};

class ReportProjectsTest : public ProjectsTest, public ::testing::WithParamInterface<TProjectCase> {};

TEST_P(ReportProjectsTest, DeclaresExactlyTheParametersOfItsPrintButton)
{
    TZvProject project(nullptr);
    project.SetProjectFile(ProjectPath(GetParam().File));
    project.Open();
    EXPECT_EQ(project.ProjMan()->Parameters()->ToQStringList(), GetParam().Params);
    ASSERT_EQ(project.ProjMan()->ReportList().size(), 1u);
    EXPECT_NE(project.ProjMan()->ActiveReport(), nullptr);
}

TEST_P(ReportProjectsTest, PrintsEveryValueOnceInsideTheFrameOnOnePage)
{
    const TProjectCase& c = GetParam();
    TZvProject project(nullptr);
    OpenWithValues(project, c);
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    project.SetEngine(&writer);
    project.Execute();
    project.Close();

    RecordingRender render;
    render.Play(stream.Bytes(), 0);
    const QString page = render.Calls.join(QLatin1Char('\n'));
    EXPECT_EQ(page.count(QRegularExpression(QStringLiteral("^Page "), QRegularExpression::MultilineOption)),
              1);
    for (int i = 0; i < c.Params.size(); ++i)
        EXPECT_EQ(page.count(ValueOf(i)), 1) << c.Params.at(i).toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("Rect "))) << "no frame";
    EXPECT_TRUE(page.contains(QStringLiteral("LineTo "))) << "no rules";

    // The sheet as people see it.
    const QString pdf =
        OutputPath(QString::fromLatin1(c.File).replace(QStringLiteral(".zrf"), QStringLiteral(".pdf")));
    TZvSystem system(nullptr);
    PrintStraightToPdf(system, pdf);
    OpenWithValues(project, c);
    project.SetEngine(&system);
    project.Execute();
    project.Close();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    for (int i = 0; i < c.Params.size(); ++i)
        EXPECT_EQ(printed.count(ValueOf(i)), 1) << c.Params.at(i).toStdString();
}

// The stored reference to the first page ("GageCard.Page1" and the like),
// its last two owner characters overwritten by ff ff ff 7f: no name holds
// those, and the project is refused, naming its file, instead of printing a
// page without its values.
TEST_P(ReportProjectsTest, ADamagedFirstPageNameRefusesTheProject)
{
    QByteArray bytes = BuiltBytes(GetParam().File);
    const QByteArray page1(".\0P\0a\0g\0e\0001\0", 12);
    const qsizetype at = bytes.indexOf(page1);
    ASSERT_GT(at, 4);
    ASSERT_EQ(bytes.indexOf(page1, at + 1), -1);
    bytes.replace(at - 4, 4, QByteArray("\xff\xff\xff\x7f", 4));
    QTemporaryDir folder;
    const QString damaged = WriteDamaged(folder, GetParam().File, bytes);
    TZvProject project(nullptr);
    project.SetProjectFile(damaged);
    try {
        project.Open();
        ADD_FAILURE() << "the damaged project was opened";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid Project Format\n" + damaged);
    }
    EXPECT_FALSE(project.Active());
}

// The bytes with the first float value of property, at or after from,
// replaced by value (a 10-byte extended).
QByteArray WithFloat(QByteArray bytes, qsizetype from, const QString& property, double value)
{
    TMemoryStream name;
    TStreamHelper(name).WriteString(property);
    const QByteArray stored = name.Bytes() + QByteArray(1, char(kTagFloat));
    const qsizetype at = bytes.indexOf(stored, from);
    EXPECT_GT(at, 0) << property.toStdString();
    const TExtended80Rec extended = DoubleToExtended(value);
    bytes.replace(at + stored.size(), qsizetype(extended.size()),
                  QByteArray(reinterpret_cast<const char*>(extended.data()), qsizetype(extended.size())));
    return bytes;
}

// Runs print with a report system on the road to the printer (answered by
// the script: a test never uses a real printer, so without one that road
// asks for the PDF file) and with one on the road to the PDF file.
void OnBothRoads(const QString& pdf, const std::function<void(TZvSystem& system)>& print)
{
    const bool printerInstalled = !QPrinterInfo::availablePrinterNames().isEmpty();
    TScriptedDialogs dialogs;
    for (const bool toPdf : {false, true}) {
        if (!toPdf && printerInstalled)
            continue;
        SCOPED_TRACE(toPdf ? "pdf" : "printer");
        TZvSystem system(nullptr);
        PrintStraightToPdf(system, toPdf ? pdf : QString());
        dialogs.Answer(true, pdf);
        print(system);
    }
}

// Prints the project file on both roads and expects each print to be
// refused with message and the project's name, the project closed and no
// PDF made.
void ExpectRefusedOnBothRoads(const QString& projectFile, const QString& message)
{
    QTemporaryDir folder;
    const QString pdf = QDir(folder.path()).filePath(QStringLiteral("out.pdf"));
    OnBothRoads(pdf, [&](TZvSystem& system) {
        TZvProject project(nullptr);
        try {
            project.SetProjectFile(projectFile);
            project.Open();
            project.SetEngine(&system);
            project.Execute();
            ADD_FAILURE() << "the damaged project was printed";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().toStdString(), (message + u'\n' + projectFile).toStdString());
        }
        EXPECT_FALSE(project.Active());
        EXPECT_FALSE(QFile::exists(pdf));
    });
}

// The first stored Left of the project (a component's position, a float of
// tag 5) overwritten by the extended 4.08e42: the project is refused where it
// is read, naming its file, on the road to the printer and on the road to a
// PDF alike; a run would otherwise print a snapshot that its reader refuses
// without a name the user knows.
TEST_P(ReportProjectsTest, ADamagedLengthRefusesTheProjectOnBothRoads)
{
    QTemporaryDir folder;
    const QString damaged = WriteDamaged(
        folder, GetParam().File, WithFloat(BuiltBytes(GetParam().File), 0, QStringLiteral("Left"), 4.08e42));
    ExpectRefusedOnBothRoads(damaged, QStringLiteral("Invalid floating point value for property Left"));
}

// Lengths at the edge of what a page carries: a value the project reader
// takes can still add up, with the offsets of the page and the component's
// own size, to a position beyond it. Such a run is refused as the damaged
// length it is, with the same words, naming the project, on both roads; a
// value the reader refuses says the same.
TEST_P(ReportProjectsTest, ALengthThatAddsUpBeyondAPageRefusesTheProject)
{
    const QByteArray built = BuiltBytes(GetParam().File);
    struct Row {
        const char* Property;
        qsizetype From;
    };
    std::vector<Row> rows = {{"Left", 0}};
    if (QByteArray(GetParam().File) == "gagecard.zrf")
        rows.push_back({"Top", built.indexOf("TitleText")});
    for (const Row& row : rows) {
        for (const double value : {99998.8, 99999.0, 99999.5}) {
            SCOPED_TRACE(std::string(row.Property) + " " + std::to_string(value));
            QTemporaryDir folder;
            const QString property = QString::fromLatin1(row.Property);
            const QString damaged =
                WriteDamaged(folder, GetParam().File, WithFloat(built, row.From, property, value));
            ExpectRefusedOnBothRoads(damaged, "Invalid floating point value for property " + property);
        }
    }
    if (rows.size() < 2)
        return;
    // Just inside, the title is printed (off the paper, where the project
    // puts it).
    QTemporaryDir folder;
    const QString inside =
        WriteDamaged(folder, GetParam().File, WithFloat(built, rows[1].From, QStringLiteral("Top"), 99998.7));
    const QString pdf = QDir(folder.path()).filePath(QStringLiteral("inside.pdf"));
    TZvSystem system(nullptr);
    PrintStraightToPdf(system, pdf);
    TZvProject project(nullptr);
    project.SetProjectFile(inside);
    project.SetEngine(&system);
    project.Execute();
    EXPECT_TRUE(project.Active());
    EXPECT_TRUE(QFile::exists(pdf));
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// A snapshot of a run of measure.zrf (version 10000) with its bytes 2 to 5
// set to 00 00 00 80: the version reads 16, by whose rules the page count
// is 0 while a page follows. Opening it in the preview, previewing it and
// printing it into an existing PDF each end with the reader's message for
// a damaged file, naming the file; the PDF stays as it was.
TEST_F(ProjectsTest, ASnapshotWhosePageCountDisagreesIsRefusedNamingIt)
{
    InitProgramResources(ProgramResourceImageBytes()); // the preview window's
    RegisterReportPrintClasses();
    QTemporaryDir folder;
    const QString snapshot = folder.filePath(QStringLiteral("measure.zsf"));
    {
        TZvProject project(nullptr);
        OpenWithValues(project, kProjects[0]);
        TZvZSFWriter writer(nullptr);
        writer.SetStreamMode(TStreamMode::smFile);
        writer.SetFileName(snapshot);
        project.SetEngine(&writer);
        project.Execute();
    }
    QByteArray bytes = FileBytes(snapshot);
    ASSERT_EQ(bytes.mid(0, 3), QByteArray("\x5a\x10\x27", 3));
    bytes.replace(2, 4, QByteArray("\0\0\0\x80", 4));
    const QString damaged = WriteDamaged(folder, "measure.zsf", bytes);
    const QString pdf = folder.filePath(QStringLiteral("old.pdf"));
    const QByteArray old("%PDF-1.4 the last print\n");
    WriteDamaged(folder, "old.pdf", old);
    const std::string message = ("Unexpected code found in report file.\n" + damaged).toStdString();

    try {
        DestroyForm(TZarvPreviewForm::PreviewFile(damaged));
        ADD_FAILURE() << "opened";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message().toStdString(), message);
    }
    for (const TReportDest dest : {TReportDest::rdPreview, TReportDest::rdPrinter}) {
        SCOPED_TRACE(int(dest));
        TZvSystem system(nullptr);
        PlaySnapshotFile(system, dest, damaged, pdf);
        try {
            system.Execute();
            ADD_FAILURE() << "played";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().toStdString(), message);
        }
    }
    EXPECT_EQ(FileBytes(pdf), old);
}

// A run of measure.zrf that asks for its page 2 alone writes a snapshot
// without pages. Printing it, on the road to the printer and on the road to
// a PDF, prints nothing and ends with the printer's message instead of
// passing as printed; the PDF of an earlier print stays as it was.
TEST_F(ProjectsTest, ARunThatWritesNoPageIsNotPrinted)
{
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("old.pdf"));
    const QByteArray old("%PDF-1.4 the last print\n");
    WriteDamaged(folder, "old.pdf", old);
    OnBothRoads(pdf, [&](TZvSystem& system) {
        system.SystemPrinter()->FirstPage = 2;
        system.SystemPrinter()->LastPage = 2;
        TZvProject project(nullptr);
        OpenWithValues(project, kProjects[0]);
        project.SetEngine(&system);
        try {
            project.Execute();
            ADD_FAILURE() << "reported as printed";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("The report has no page to print."));
        }
        EXPECT_EQ(FileBytes(pdf), old);
    });
}

// Every component class with properties away from their defaults: the text
// is the one zrfc prints, so compiling and printing it gives it back.
TEST(ComponentPropertiesTest, RoundTripThroughTheProjectFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString sample = QStringLiteral(TESSVAR_COMPONENTS_SAMPLE);
    const QString compiled = QDir(folder.path()).filePath(QStringLiteral("components.zrf"));
    QProcess zrfc;
    zrfc.start(QStringLiteral(TESSVAR_ZRFC), {sample, compiled});
    ASSERT_TRUE(zrfc.waitForFinished(60000));
    ASSERT_EQ(zrfc.exitCode(), 0) << zrfc.readAllStandardError().constData();
    zrfc.start(QStringLiteral(TESSVAR_ZRFC), {QStringLiteral("--dump"), compiled});
    ASSERT_TRUE(zrfc.waitForFinished(60000));
    QFile expected(sample);
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    EXPECT_EQ(zrfc.readAllStandardOutput(), expected.readAll());
}

INSTANTIATE_TEST_SUITE_P(Projects, ReportProjectsTest, ::testing::ValuesIn(kProjects), [](const auto& info) {
    return QString::fromLatin1(info.param.File).section('.', 0, 0).toStdString();
});

} // namespace
