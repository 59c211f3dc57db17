// The cards leave the program on a machine without CUPS printers: from the
// main window through a process window's Print to the "Print to PDF"
// printer, which asks for the file (the scripted dialog service answers),
// with and without the preview, on the paper of the user's locale, with
// the program started from a folder that holds no report projects.
#include "report/components/QpZarv.h"
#include "report/print/QpDevice.h"
#include "tests/gauges/ProcessRoad.h"
#include "tests/report/print/PaperLocale.h"
#include "tests/report/print/PdfTools.h"
#include "tests/report/print/PreviewPrint.h"
#include "tests/support/StartedElsewhere.h"

#include "platform/forms/Dialogs.h"

#include <QFileInfo>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

class PrintToPdfTest : public ProcessRoadTest {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
        ProcessRoadTest::SetUp();
        // Started from a folder without report projects: the program finds
        // them beside itself.
        Started = std::make_unique<TStartedElsewhere>(QStringLiteral(TESSVAR_PROGRAM));
        Dialogs = std::make_unique<TScriptedDialogs>();
    }
    void TearDown() override
    {
        if (IsSkipped())
            return;
        Dialogs.reset();
        Started.reset();
        ProcessRoadTest::TearDown();
    }

    QString Pdf(const QString& name) const { return Folder.filePath(name + QStringLiteral(".pdf")); }

    // The ISO gauge of a group item, M10 x 1.5 6H calculated, then check
    // while the window is up; the window closes afterwards.
    void IsoGauge(int group, int item, const std::function<void(TfProcess*)>& check)
    {
        TfProcess* w = fProcess;
        Road([] { Click(fTessvar->bISO); },
             {{fCalibreSelect, Pick(fCalibreSelect, group, item)},
              {fProcess, [w] { Calculate(w->dNominale, w->dPasso, w->dbTollServ, w->sbCalcTol); }},
              {fProcess, [w, check] {
                   check(w);
                   w->SetModalResult(mrCancel);
               }}});
    }
    // The ISO workpiece (nut thread) of the same size.
    void IsoWorkpiece(const std::function<void(TfProcess2*)>& check)
    {
        TfProcess2* w = fProcess2;
        fTessvar->rWorkpiece->SetChecked(true);
        Road([] { Click(fTessvar->bISO); },
             {{fCalibreSelect2, Pick(fCalibreSelect2, 2, 0)},
              {fProcess2, [w] { Calculate(w->dNominale, w->dPasso, w->dbTollServ, w->sbCalcTol); }},
              {fProcess2, [w, check] {
                   check(w);
                   w->SetModalResult(mrCancel);
               }}});
        fTessvar->rWorkpiece->SetChecked(false);
    }
    static void Calculate(TEdit* diameter, TEdit* pitch, TEdit* tolerance, TSpeedButton* calculate)
    {
        Type(diameter, "10");
        Type(pitch, "1.5");
        Type(tolerance, "6H");
        Press(calculate);
    }

    // Presses Print with the preview box as given; the dialog service
    // answers with the file. Returns the PDF's text laid out.
    QString PrintCard(TButton* print, bool preview, const QString& pdf)
    {
        fTessvar->cPreview->SetChecked(preview);
        Dialogs->Answer(true, pdf);
        QString label;
        if (preview)
            PrintFromPreviewWhenShown(label);
        Click(print);
        if (preview) {
            EXPECT_EQ(label, "Print to PDF");
        }
        EXPECT_TRUE(Dialogs->Service().Answers.empty()) << "the file dialog was not asked";
        EXPECT_TRUE(QFile::exists(pdf)) << pdf.toStdString();
        EXPECT_EQ(PdfPageSizes(pdf).size(), 1u);
        // Kept for looking at it beside the window pictures.
        if (const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS"); !folder.isEmpty()) {
            QDir().mkpath(folder);
            const QString copy = QDir(folder).filePath(QFileInfo(pdf).fileName());
            QFile::remove(copy);
            QFile::copy(pdf, copy);
        }
        return PdfLayoutText(pdf);
    }

    // "caption: text" of a label and an edit stands in the PDF (runs of
    // blanks, which the readout pads its numbers with, as one).
    static bool Shows(const QString& text, TLabel* label, TEdit* edit)
    {
        return text.simplified().contains(
            (label->Caption() + QStringLiteral(": ") + edit->Text()).simplified());
    }
    // Each edit's text stands in the PDF as a number of its own, as the
    // window shows it.
    static void ExpectShown(const QString& text, std::initializer_list<TEdit*> edits)
    {
        for (TEdit* edit : edits) {
            if (!edit->Visible())
                continue;
            const QString value = edit->Text().trimmed();
            ASSERT_FALSE(value.isEmpty()) << edit->Name().toStdString();
            const QRegularExpression alone(QStringLiteral("(?<![\\d.])") + QRegularExpression::escape(value) +
                                           QStringLiteral("(?![\\d.])"));
            EXPECT_TRUE(text.contains(alone))
                << edit->Name().toStdString() << " " << value.toStdString() << "\n"
                << text.toStdString();
        }
    }
    static void ExpectNoMessages(const TScriptedMessages& messages)
    {
        for (const TMessageBoxRequest& box : messages.Shown())
            ADD_FAILURE() << box.Text.toStdString();
    }

    QTemporaryDir Folder;
    std::unique_ptr<TScriptedDialogs> Dialogs;

private:
    std::unique_ptr<TStartedElsewhere> Started;
};

// "Limit thread plug gage" (202) M10 x 1.5 6H: the card shows what the
// window shows, printed straight and from the preview.
TEST_F(PrintToPdfTest, GaugeCardWithAndWithoutPreview)
{
    TPaperLocale paper("de_DE.UTF-8");
    IsoGauge(2, 2, [this](TfProcess* w) {
        EXPECT_EQ(fTessvar->CurrentType.Name, "Limit thread plug gage");
        ASSERT_TRUE(w->dMaxN->Visible());
        for (bool preview : {false, true}) {
            const QString text = PrintCard(w->bPrint, preview, Pdf(preview ? "preview" : "straight"));
            EXPECT_TRUE(Shows(text, w->Label4, w->dNominale)) << text.toStdString();
            EXPECT_TRUE(Shows(text, w->lPasso, w->dPasso)) << text.toStdString();
            EXPECT_TRUE(Shows(text, w->Label1, w->dbTollServ)) << text.toStdString();
            EXPECT_EQ(w->dbTollServ->Text(), "6H");
            ExpectShown(text,
                        {w->dMaxP, w->dMinP, w->dLogP, w->dMedP, w->dMaxN, w->dMinN, w->dLogN, w->dMedN});
        }
        EXPECT_EQ(Dialogs->Service().Files.at(0).Filter, "PDF Files (*.pdf)|*.pdf");
    });
    EXPECT_EQ(Dialogs->Service().Files.size(), 2u);
    ExpectNoMessages(*Messages);
}

TEST_F(PrintToPdfTest, WorkpieceCardWithAndWithoutPreview)
{
    TPaperLocale paper("de_DE.UTF-8");
    IsoWorkpiece([this](TfProcess2* w) {
        for (bool preview : {false, true}) {
            const QString text = PrintCard(w->bPrint, preview, Pdf(preview ? "piece-preview" : "piece"));
            EXPECT_TRUE(Shows(text, w->Label4, w->dNominale)) << text.toStdString();
            EXPECT_TRUE(Shows(text, w->lPasso, w->dPasso)) << text.toStdString();
            ExpectShown(text, {w->dMaxW, w->dMinW});
        }
    });
    ExpectNoMessages(*Messages);
}

// The card takes no paper of its own: it comes out on the locale's.
TEST_F(PrintToPdfTest, TheCardIsOnTheLocalesPaper)
{
    const struct {
        const char* lang;
        double width, height; // points: A4 595 x 842, Letter 612 x 792
    } rows[] = {{"de_DE.UTF-8", 595, 842}, {"en_GB.UTF-8", 595, 842}, {"en_US.UTF-8", 612, 792}};
    IsoGauge(2, 2, [&](TfProcess* w) {
        for (const auto& row : rows) {
            TPaperLocale paper(row.lang);
            const QString pdf = Pdf(QString::fromLatin1(row.lang));
            PrintCard(w->bPrint, false, pdf);
            const std::vector<QSizeF> pages = PdfPageSizes(pdf);
            ASSERT_EQ(pages.size(), 1u) << row.lang;
            EXPECT_NEAR(pages[0].width(), row.width, 1) << row.lang;
            EXPECT_NEAR(pages[0].height(), row.height, 1) << row.lang;
        }
    });
}

// Cancel at the file dialog: no file, no message, and Print works again.
TEST_F(PrintToPdfTest, CancelAtTheFileDialogWritesNothing)
{
    TPaperLocale paper("de_DE.UTF-8");
    IsoGauge(2, 2, [this](TfProcess* w) {
        fTessvar->cPreview->SetChecked(false);
        Dialogs->Answer(false);
        Click(w->bPrint);
        EXPECT_EQ(Dialogs->Service().Files.size(), 1u);
        EXPECT_TRUE(QDir(Folder.path()).entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(Messages->Shown().empty());
        EXPECT_FALSE(w->ZvProject1->Active());
        EXPECT_TRUE(w->Showing());

        // From the preview too; the preview stays usable and closes.
        QString label;
        Dialogs->Answer(false);
        fTessvar->cPreview->SetChecked(true);
        PrintFromPreviewWhenShown(label);
        Click(w->bPrint);
        EXPECT_EQ(Dialogs->Service().Files.size(), 2u);
        EXPECT_TRUE(QDir(Folder.path()).entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(Messages->Shown().empty());

        PrintCard(w->bPrint, false, Pdf("after-cancel"));
    });
    ExpectNoMessages(*Messages);
}

} // namespace
