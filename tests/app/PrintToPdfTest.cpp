// The measurement printout leaves the program on a machine without CUPS
// printers: the main window's Print goes to the "Print to PDF" printer,
// which asks for the file (the scripted dialog service answers), with and
// without the preview, with the program started from a folder that holds
// no report projects.
#include "report/print/QpDevice.h"
#include "report/print/QpSystem.h"
#include "tests/app/AppFixture.h"
#include "tests/report/print/PaperLocale.h"
#include "tests/report/print/PdfTools.h"
#include "tests/report/print/PreviewPrint.h"
#include "tests/support/StartedElsewhere.h"

#include "platform/forms/Dialogs.h"

#include <QDir>
#include <QPrinterInfo>
#include <QTemporaryDir>

namespace {

class PrintToPdfTest : public AppTest {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
        AppTest::SetUp();
        RegisterReportPrintClasses();
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
        AppTest::TearDown();
    }

    // "caption: text" of a label and an edit stands in the PDF (runs of
    // blanks as one).
    static bool Shows(const QString& text, TLabel* label, TEdit* edit)
    {
        return text.simplified().contains(
            (label->Caption() + QStringLiteral(": ") + edit->Text()).simplified());
    }

    QTemporaryDir Folder;
    std::unique_ptr<TScriptedDialogs> Dialogs;
    TPaperLocale Paper{"en_US.UTF-8"};

private:
    std::unique_ptr<TStartedElsewhere> Started;
};

TEST_F(PrintToPdfTest, MeasurementSheetWithAndWithoutPreview)
{
    StartProgram();
    Type(fTessvar->eTD, "10");
    Type(fTessvar->eCP, "1.5");
    Type(fTessvar->eAD, "0.866");
    for (bool preview : {false, true}) {
        const QString pdf =
            Folder.filePath(preview ? QStringLiteral("preview.pdf") : QStringLiteral("sheet.pdf"));
        fTessvar->cPreview->SetChecked(preview);
        Dialogs->Answer(true, pdf);
        QString label;
        if (preview)
            PrintFromPreviewWhenShown(label);
        ClickButton(fTessvar->bPrint);
        if (preview) {
            EXPECT_EQ(label, "Print to PDF");
        }
        ASSERT_TRUE(QFile::exists(pdf));
        const std::vector<QSizeF> pages = PdfPageSizes(pdf);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_NEAR(pages[0].width(), 612, 1); // Letter, the locale's
        EXPECT_NEAR(pages[0].height(), 792, 1);
        const QString text = PdfLayoutText(pdf);
        EXPECT_TRUE(Shows(text, fTessvar->Label4, fTessvar->eTD)) << text.toStdString();
        EXPECT_TRUE(Shows(text, fTessvar->Label6, fTessvar->eCP)) << text.toStdString();
        EXPECT_TRUE(Shows(text, fTessvar->Label8, fTessvar->eAD)) << text.toStdString();
    }
    ASSERT_EQ(Dialogs->Service().Files.size(), 2u);
    // The run's title, which the program's runs leave at the report
    // writer's default.
    EXPECT_EQ(Dialogs->Service().Files[0].FileName, "Zarv Report.pdf");
    for (const TMessageBoxRequest& box : Messages->Shown())
        ADD_FAILURE() << box.Text.toStdString();
}

// Cancel at the file dialog: no file, no message, and Print works again.
TEST_F(PrintToPdfTest, CancelAtTheFileDialogWritesNothing)
{
    StartProgram();
    fTessvar->cPreview->SetChecked(false);
    Dialogs->Answer(false);
    ClickButton(fTessvar->bPrint);
    EXPECT_EQ(Dialogs->Service().Files.size(), 1u);
    EXPECT_TRUE(QDir(Folder.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(Messages->Shown().empty());
    const QString pdf = Folder.filePath(QStringLiteral("again.pdf"));
    Dialogs->Answer(true, pdf);
    ClickButton(fTessvar->bPrint);
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
