// The measurement printout of the main window: the 19 values it hands to
// "measure.zrf" and the sheet it prints, from a current folder that holds
// the built report projects (or not).
#include "app/Ureportprint.h"
#include "report/components/QpZarv.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpSystem.h"

#include "tests/app/AppFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <functional>

namespace {

const char* const kParams[] = {"Title", "Unit",  "Diameter", "Angle",  "Pitch", "Starts", "Wire",
                               "WireD", "WireT", "Rfilo",    "Go",     "NoGo",  "Read",   "ReadNP",
                               "PD",    "PDG",   "PDNG",     "Codice", "Note"};

class PrintoutTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        RegisterReportPrintClasses(); // the status and preview windows, as the program does
        ASSERT_TRUE(Folder.isValid());
        Saved = QDir::currentPath();
        QDir::setCurrent(Folder.path());
        Pdf = QDir(Folder.path()).filePath(QStringLiteral("sheet.pdf"));
        // Each run controller prints into the PDF file; the values the
        // button set are read while it exists.
        ReportSystemPrepared = [this](TZvSystem& system) {
            ++Systems;
            system.SetOutputFileName(Pdf);
            for (const char* name : kParams)
                Values[QString::fromLatin1(name)] = fTessvar->ZvProject1->GetParam(QString::fromLatin1(name));
        };
    }
    void TearDown() override
    {
        ReportSystemPrepared = nullptr;
        QDir::setCurrent(Saved);
        AppTest::TearDown();
    }
    static void ProvideProject()
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(TESSVAR_REPORT_PROJECTS "/measure.zrf"),
                                QStringLiteral("measure.zrf")));
    }
    QString PdfText() const
    {
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {Pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        return QString::fromUtf8(text.readAllStandardOutput());
    }

    QTemporaryDir Folder;
    QString Saved;
    QString Pdf;
    int Systems = 0;
    QMap<QString, QString> Values;
};

TEST_F(PrintoutTest, PrintWithoutPreviewWritesTheSheet)
{
    ProvideProject();
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    Type(fTessvar->eTD, "10");
    Type(fTessvar->eCP, "1.5");
    Type(fTessvar->eAD, "0.866");
    Type(fTessvar->eCodice, QStringLiteral("W\u00D8-42"));
    ClickButton(fTessvar->bPrint);
    // No exception dialog (a Retry box of a busy data channel may come).
    for (const TMessageBoxRequest& box : Messages->Shown())
        EXPECT_NE(box.Buttons, TMsgButtons::OK) << box.Text.toStdString();
    EXPECT_EQ(Systems, 1);
    EXPECT_FALSE(fTessvar->ZvProject1->Active());
    EXPECT_EQ(Values["Title"], "Measure");
    EXPECT_EQ(Values["Unit"], "values in mm");
    EXPECT_EQ(Values["Codice"], fTessvar->Label13->Caption() + QStringLiteral(": W\u00D8-42"));
    const QString sheet = PdfText();
    for (const QString& value : {Values["Title"], Values["Diameter"], Values["Codice"]})
        EXPECT_TRUE(sheet.contains(value)) << value.toStdString() << "\n" << sheet.toStdString();
}

// The preview window is modal; it is looked at (TESSVAR_TEST_OUTPUT keeps a
// picture of it) and closed by the "user".
TEST_F(PrintoutTest, PreviewShowsTheSheetMaximised)
{
    ProvideProject();
    StartProgram();
    fTessvar->cPreview->SetChecked(true);
    Type(fTessvar->eTD, "10");
    bool shown = false;
    TWindowState state = TWindowState::wsNormal;
    QTimer::singleShot(500, [&] {
        for (TCustomForm* form : ScreenForms()) {
            if (auto* preview = dynamic_cast<TZarvPreviewForm*>(form)) {
                shown = true;
                state = preview->WindowState();
                QCoreApplication::processEvents();
                const QString dir = qEnvironmentVariable("TESSVAR_TEST_OUTPUT", QDir::tempPath());
                preview->Widget()->grab().save(QDir(dir).filePath(QStringLiteral("measure-preview.png")));
                preview->Close();
            }
        }
    });
    ClickButton(fTessvar->bPrint);
    EXPECT_TRUE(shown);
    EXPECT_EQ(state, TWindowState::wsMaximized);
    EXPECT_EQ(Systems, 1);
    EXPECT_FALSE(fTessvar->ZvProject1->Active());
}

TEST_F(PrintoutTest, HiddenNoGoSideAndEmptyEditsGiveEmptyValues)
{
    ProvideProject();
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    Type(fTessvar->eNote, "");
    fTessvar->lTNP2->SetVisible(false);
    fTessvar->eReadNP->SetVisible(false);
    fTessvar->eResultNP->SetVisible(false);
    ClickButton(fTessvar->bPrint);
    EXPECT_EQ(Values["NoGo"], QString());
    EXPECT_EQ(Values["ReadNP"], QString());
    EXPECT_EQ(Values["PDNG"], QString());
    EXPECT_EQ(Values["Note"], fTessvar->Label15->Caption() + QStringLiteral(": "));
}

TEST_F(PrintoutTest, MissingProjectShowsItsPathAndMakesNoRun)
{
    StartProgram();
    ClickButton(fTessvar->bPrint);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text,
              QStringLiteral("The following reporting project does not exist:\r\"") +
                  QDir(Folder.path()).absoluteFilePath(QStringLiteral("measure.zrf")) +
                  QStringLiteral("\"\r\"") + QCoreApplication::applicationDirPath() +
                  QStringLiteral("/run/measure.zrf\""));
    EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Systems, 0);
    EXPECT_FALSE(fTessvar->ZvProject1->Active());
}

// The sheet pairs a pitch diameter only with the page and inputs it came
// from. Three wires over 10.325, then the T-sphere page: the sheet says
// "Reading on Sphere" and has no pitch diameter; Calculate there gives the
// T-sphere's own: by hand, M - d + 2 d - 0.866 P = 10.325 + 1 - 1.299 =
// 10.0260, and the lead angle (1.5 mm on about 10 mm) adds 1.8 um: 10.0278.
// Then each input of the calculation, the page and the readings: the
// result it belongs to goes from tab and sheet, a reading takes its own
// side's only.
TEST_F(PrintoutTest, TheSheetCarriesOnlyTheResultOfThePageAndInputsShown)
{
    ProvideProject();
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    // A gauge with a Go and a No-go side copied in.
    fTessvar->lTP->Show();
    fTessvar->lTNP->Show();
    PickTab(fTessvar->pTab, 1);
    const auto print = [this] {
        Values.clear();
        ClickButton(fTessvar->bPrint);
        ASSERT_TRUE(Messages->Shown().empty()) << Messages->Shown().front().Text.toStdString();
    };

    Type(fTessvar->eTD, "10");
    Type(fTessvar->eCP, "1.5");
    Type(fTessvar->eAD, "0.866");
    Type(fTessvar->eRead, "10.325");
    ClickButton(fTessvar->Button1);
    ASSERT_NE(fTessvar->eResult->Text(), "");
    PickTab(fTessvar->pcConvert, 2);
    print();
    EXPECT_EQ(Values["Rfilo"], "Reading on Sphere");
    EXPECT_EQ(Values["Read"], fTessvar->eRead->Text());
    EXPECT_EQ(Values["PDG"], "");
    EXPECT_FALSE(PdfText().contains(QStringLiteral("009.02")));

    Type(fTessvar->eAD, "1");
    ClickButton(fTessvar->Button1);
    EXPECT_NEAR(Value(fTessvar->eResult), 10.0278, 0.00005);
    print();
    EXPECT_EQ(Values["PDG"], fTessvar->eResult->Text());
    EXPECT_EQ(Values["WireD"], fTessvar->Label8->Caption() + QStringLiteral(": ") + fTessvar->eAD->Text());
    EXPECT_TRUE(PdfText().contains(Values["PDG"].trimmed()));

    // Each row starts from both results of M10x1.5 over a 0.866 wire, then
    // changes one thing.
    enum Side { Both, Go, NoGo };
    struct TRow {
        const char* What;
        std::function<void()> Change;
        Side Emptied;
    };
    TfTessvar* w = fTessvar;
    const TRow rows[] = {
        {"diameter", [w] { Type(w->eTD, "12"); }, Both},
        {"pitch", [w] { Type(w->eCP, "1.25"); }, Both},
        {"first semi-angle", [w] { Type(w->eCA, "29.5"); }, Both},
        {"second semi-angle", [w] { Type(w->eAG, "30.5"); }, Both},
        {"starts", [w] { Type(w->eNP, "2"); }, Both},
        {"wire", [w] { Type(w->eAD, "0.9"); }, Both},
        {"material", [w] { Choose(w->cbMA, 1); }, Both},
        {"force", [w] { Type(w->eForce, "2"); }, Both},
        {"compensation", [w] { w->cSpecial->SetChecked(!w->cSpecial->Checked()); }, Both},
        {"page", [w] { PickTab(w->pcConvert, 1); }, Both},
        {"Go reading", [w] { Type(w->eRead, "10.33"); }, Go},
        {"No-go reading", [w] { Type(w->eReadNP, "10.33"); }, NoGo},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        PickTab(fTessvar->pcConvert, 0);
        Type(fTessvar->eTD, "10");
        Type(fTessvar->eCP, "1.5");
        Type(fTessvar->eCA, "30");
        Type(fTessvar->eAG, "30");
        Type(fTessvar->eNP, "1");
        Type(fTessvar->eAD, "0.866");
        Choose(fTessvar->cbMA, 0);
        Type(fTessvar->eForce, "1");
        Type(fTessvar->eRead, "10.325");
        Type(fTessvar->eReadNP, "10.4");
        ClickButton(fTessvar->Button1);
        ClickButton(fTessvar->Button2);
        const QString go = fTessvar->eResult->Text();
        const QString noGo = fTessvar->eResultNP->Text();
        ASSERT_NE(go, "");
        ASSERT_NE(noGo, "");

        row.Change();
        print();
        const bool goGone = row.Emptied != NoGo;
        const bool noGoGone = row.Emptied != Go;
        EXPECT_EQ(Values["PDG"], goGone ? QString() : go);
        EXPECT_EQ(Values["PDNG"], noGoGone ? QString() : noGo);
        EXPECT_EQ(std::isnan(Value(fTessvar->eResult)), goGone);
        EXPECT_EQ(std::isnan(Value(fTessvar->eResultNP)), noGoGone);
    }
}

// A damaged "measure.zrf": one changed byte inside a page's class name
// (the record reader refuses the page's own record, and the page would print
// blank), or a file of zero length. The error names the file, and nothing
// is printed.
TEST_F(PrintoutTest, DamagedProjectNamesItsFileAndPrintsNoPage)
{
    QFile built(QStringLiteral(TESSVAR_REPORT_PROJECTS "/measure.zrf"));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    const QByteArray good = built.readAll();
    // UTF-16 "TZarvPage" starts at 1387: 1390 is the high byte of its "Z",
    // 1395 its "v".
    ASSERT_EQ(good.mid(1387, 18), QByteArray("T\0Z\0a\0r\0v\0P\0a\0g\0e\0", 18));
    QByteArray at1390 = good;
    at1390[1390] = 0x01;
    QByteArray at1395 = good;
    at1395[1395] = 'X';
    struct Row {
        int Number;
        QByteArray Bytes;
        QString Message;
    };
    const Row rows[] = {
        {1, at1390, QStringLiteral("Invalid Project Format")},
        {2, at1395, QStringLiteral("Invalid Project Format")},
        {3, QByteArray(), QStringLiteral("Stream read error")},
    };
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    const QString path = QDir(Folder.path()).absoluteFilePath(QStringLiteral("measure.zrf"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(row.Bytes), row.Bytes.size());
        file.close();
        const size_t before = Messages->Shown().size();
        ClickButton(fTessvar->bPrint);
        ASSERT_EQ(Messages->Shown().size(), before + 1);
        EXPECT_EQ(Messages->Shown().back().Text, row.Message + QLatin1Char('\n') + path);
        EXPECT_EQ(Messages->Shown().back().Icon, TMsgIcon::Error);
        EXPECT_EQ(Systems, 0);
        EXPECT_FALSE(QFile::exists(Pdf));
        EXPECT_FALSE(fTessvar->ZvProject1->Active());
    }
}

} // namespace

namespace {

// The reference to the sheet's first page, "Measure.Page1", damaged: to
// bytes no name holds (ff ff ff 7f over "Me"), the load fails naming the
// file; to a name that names no page ("Measure.Page9"), the project loads,
// and the run ends before its document begins, naming the file. Neither
// prints a page.
TEST_F(PrintoutTest, ADamagedFirstPageNamePrintsNoPage)
{
    QFile built(QStringLiteral(TESSVAR_REPORT_PROJECTS "/measure.zrf"));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    const QByteArray good = built.readAll();
    const QByteArray name = QByteArray("M\0e\0a\0s\0u\0r\0e\0.\0P\0a\0g\0e\0001\0", 26);
    const qsizetype at = good.indexOf(name);
    ASSERT_GT(at, 0);
    ASSERT_EQ(good.indexOf(name, at + 1), -1); // the one reference; the page's own record holds "Page1"
    QByteArray unreadable = good;
    unreadable.replace(at, 4, QByteArray("\xff\xff\xff\x7f", 4));
    QByteArray unknown = good;
    unknown[at + 24] = '9';
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    const QString path = QDir(Folder.path()).absoluteFilePath(QStringLiteral("measure.zrf"));
    const std::pair<QByteArray, QString> rows[] = {
        {unreadable, QStringLiteral("Invalid Project Format")},
        {unknown, QStringLiteral("has pages but no first page")},
    };
    for (const auto& [bytes, message] : rows) {
        SCOPED_TRACE(message.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        const size_t before = Messages->Shown().size();
        ClickButton(fTessvar->bPrint);
        ASSERT_EQ(Messages->Shown().size(), before + 1);
        const QString text = Messages->Shown().back().Text;
        EXPECT_TRUE(text.endsWith(message + QLatin1Char('\n') + path)) << text.toStdString();
        EXPECT_EQ(Messages->Shown().back().Icon, TMsgIcon::Error);
        EXPECT_FALSE(QFile::exists(Pdf));
        EXPECT_FALSE(fTessvar->ZvProject1->Active());
    }
}

} // namespace
