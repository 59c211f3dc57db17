// The output options window without a printer (as on the build machines):
// what it offers, how OK fills the system and the preview's printer, and its
// key filters.
#include "PaperLocale.h"
#include "PdfTools.h"
#include "ReportWindows.h"

#include "report/print/QpFormSetup.h"
#include "report/print/QpDevice.h"
#include "report/print/QpRenderPrinter.h"

#include <QApplication>
#include <QComboBox>
#include <QPageSetupDialog>
#include <QRadioButton>
#include <QTimer>
#include <QLineEdit>
#include <QTest>

namespace {

class QpFormSetupTest : public ReportWindowsTest {
protected:
    void SetUp() override
    {
        ReportWindowsTest::SetUp();
        if (IsSkipped())
            return;
        System = std::make_unique<TZvSystem>(nullptr);
        Form = NewForm<TQPSetupForm>(nullptr);
        Form->ReportSystem = System.get();
    }

    void TearDown() override
    {
        if (Form)
            DestroyForm(Form);
        ReportWindowsTest::TearDown();
    }

    // Shows the window for a run, picks File with a name and a format, and
    // presses OK.
    void FileOk(const QString& name, int format)
    {
        Form->Show();
        QTest::mouseClick(Form->FileRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
        Form->editFileName->SetText(name);
        Form->cboxFormat->SetItemIndex(format);
        Form->bbtnOK->Click();
        Form->Hide();
    }

    std::unique_ptr<TZvSystem> System;
    TQPSetupForm* Form = nullptr;
};

TEST_F(QpFormSetupTest, WithoutPrinterOffersPreviewAndFile)
{
    Form->Show();
    EXPECT_EQ(Form->PrinterLabel->Caption(), "No printers installed!");
    EXPECT_FALSE(Form->PrinterRB->Enabled());
    EXPECT_TRUE(Form->PreviewRB->Enabled());
    EXPECT_TRUE(Form->PreviewRB->Checked());
    EXPECT_TRUE(Form->FileRB->Enabled());
    EXPECT_FALSE(Form->SetupBB->Enabled());
    EXPECT_FALSE(Form->CopiesED->Enabled());
    EXPECT_EQ(Form->CopiesED->Text(), "1");
    EXPECT_EQ(Form->cboxFormat->ItemIndex(), 0);
    EXPECT_EQ(Form->cboxFormat->Items()->Strings(1), "Native Printer Output (PRN)");
    EXPECT_EQ(Form->PageControl1->ActivePage(), Form->TabSheet1);
}

TEST_F(QpFormSetupTest, FileNamesTakeTheFormatsExtension)
{
    // Row: name typed, format index, name taken, native output.
    struct Row {
        const char* Typed;
        int Format;
        const char* Taken;
        bool Native;
    } rows[] = {
        {"out", 0, "out.zsf", false},
        {"out", 1, "out.prn", true},
        {"  a.b ", 1, "a.b", true},
        {"a.b", 0, "a.b", false},
    };
    for (const Row& row : rows) {
        FileOk(QString::fromLatin1(row.Typed), row.Format);
        EXPECT_EQ(System->ReportDest(), TReportDest::rdFile) << row.Typed;
        EXPECT_EQ(System->OutputFileName(), row.Taken) << row.Typed;
        EXPECT_EQ(System->DoNativeOutput, row.Native) << row.Typed;
    }
}

TEST_F(QpFormSetupTest, OkNeedsAFileName)
{
    Form->Show();
    QTest::mouseClick(Form->FileRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(Form->editFileName->Enabled());
    EXPECT_FALSE(Form->bbtnOK->Enabled());
    Form->editFileName->SetText(QStringLiteral("   "));
    EXPECT_FALSE(Form->bbtnOK->Enabled());
    Form->editFileName->SetText(QStringLiteral("r"));
    EXPECT_TRUE(Form->bbtnOK->Enabled());
    QTest::mouseClick(Form->PreviewRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_FALSE(Form->editFileName->Enabled());
    EXPECT_TRUE(Form->bbtnOK->Enabled());
}

// Copies, collation and duplex follow the setups, not the enabled state
// (which the missing printer takes away).
TEST_F(QpFormSetupTest, OkAppliesPrinterSettingsAsAllowed)
{
    Form->Show();
    Form->CopiesED->SetText(QStringLiteral("4"));
    Form->CollateCK->SetChecked(true);
    Form->DuplexCK->SetChecked(true);
    Form->bbtnOK->Click();
    EXPECT_EQ(System->ReportDest(), TReportDest::rdPreview);
    EXPECT_EQ(System->SystemPrinter()->Copies, 4);
    EXPECT_TRUE(System->SystemPrinter()->Collate);
    EXPECT_EQ(System->SystemPrinter()->Duplex, TDuplex::dupVertical);

    System->SetSystemSetups(TSystemSetups{TSystemSetup::ssAllowDestPreview});
    Form->CopiesED->SetText(QStringLiteral("7"));
    Form->DuplexCK->SetChecked(false);
    Form->bbtnOK->Click();
    EXPECT_EQ(System->SystemPrinter()->Copies, 4);
    EXPECT_EQ(System->SystemPrinter()->Duplex, TDuplex::dupVertical);
}

TEST_F(QpFormSetupTest, FromThePreviewItShowsTheRange)
{
    TZvRenderPrinter printer(nullptr);
    printer.SetPages(12);
    Form->PreviewSetup = true;
    Form->FilePrinter = &printer;
    Form->Show();
    EXPECT_EQ(Form->PageControl1->ActivePage(), Form->TabSheet2);
    EXPECT_EQ(Form->FromED->Text(), "1");
    EXPECT_EQ(Form->ToED->Text(), "12");
    EXPECT_EQ(Form->SelectionED->Text(), "1-12");
    EXPECT_FALSE(Form->FromED->Visible());

    QTest::mouseClick(Form->PagesRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(Form->FromED->Visible());
    EXPECT_FALSE(Form->SelectionED->Visible());
    Form->FromED->SetText(QStringLiteral("3"));
    Form->ToED->SetText(QStringLiteral("5"));
    Form->bbtnOK->Click();
    EXPECT_EQ(Form->ModalResult(), mrOk);
    EXPECT_EQ(printer.FirstPage(), 3);
    EXPECT_EQ(printer.LastPage(), 5);

    // An empty edit keeps the window open instead of printing every page.
    Form->SetModalResult(mrNone);
    Form->ToED->SetText(QString());
    Form->bbtnOK->Click();
    EXPECT_EQ(Form->ModalResult(), mrNone);
    EXPECT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(printer.LastPage(), 5);

    QTest::mouseClick(Form->SelectionRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    Form->bbtnOK->Click();
    EXPECT_EQ(printer.Selection(), "1-12");
    EXPECT_EQ(printer.FirstPage(), 1);
    EXPECT_EQ(printer.LastPage(), 9999);
}

TEST_F(QpFormSetupTest, EditsTakeOnlyTheirCharacters)
{
    TZvRenderPrinter printer(nullptr);
    Form->PreviewSetup = true;
    Form->FilePrinter = &printer;
    Form->Show();
    QApplication::setActiveWindow(Form->Widget());
    QTest::mouseClick(Form->SelectionRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    Form->SelectionED->SetText(QString());
    Form->SelectionED->SetFocus();
    QTest::keyClicks(Form->SelectionED->EditWidget(), QStringLiteral("1-3,x5a"));
    EXPECT_EQ(Form->SelectionED->Text(), "1-3,5");
    QTest::mouseClick(Form->PagesRB->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
    Form->FromED->SetText(QString());
    Form->FromED->SetFocus();
    QTest::keyClicks(Form->FromED->EditWidget(), QStringLiteral("1-2.3"));
    EXPECT_EQ(Form->FromED->Text(), "123");
}

// The same machine as the device layer shows it to users: the "Print to
// PDF" printer is there, so the printer road is open.
class QpFormSetupPdfPrinterTest : public QpFormSetupTest {
protected:
    void SetUp() override
    {
        QpFormSetupTest::SetUp();
        SetPdfPrinterHidden(false);
    }
};

TEST_F(QpFormSetupPdfPrinterTest, ListsThePdfPrinterAndOffersEveryDestination)
{
    System->SetDefaultDest(TReportDest::rdPrinter);
    Form->Show();
    EXPECT_EQ(Form->PrinterLabel->Caption(), "Print to PDF");
    EXPECT_TRUE(Form->PrinterRB->Enabled());
    EXPECT_TRUE(Form->PrinterRB->Checked());
    EXPECT_TRUE(Form->PreviewRB->Enabled());
    EXPECT_TRUE(Form->FileRB->Enabled());
    EXPECT_TRUE(Form->SetupBB->Enabled());
    EXPECT_TRUE(Form->CopiesED->Enabled());
    Form->bbtnOK->Click();
    EXPECT_EQ(System->ReportDest(), TReportDest::rdPrinter);
    EXPECT_TRUE(System->OutputFileName().isEmpty());
    Form->Hide();

    // From the preview's Print.
    TZvRenderPrinter printer(nullptr);
    printer.SetPages(1);
    Form->PreviewSetup = true;
    Form->FilePrinter = &printer;
    Form->Show();
    EXPECT_EQ(Form->PrinterLabel->Caption(), "Print to PDF");
    EXPECT_TRUE(Form->CopiesED->Enabled());
}

// Setup on the "Print to PDF" printer offers its paper and orientation in a
// page-setup dialog; A5 landscape chosen there before a run is the page of
// the run's PDF (A5: 148 x 210 mm, 419.5 x 595.3 pt), where the locale
// alone gives A4 portrait. Cancel there changes nothing.
TEST_F(QpFormSetupPdfPrinterTest, SetupChoosesThePaperAndOrientationOfThePdf)
{
    TPaperLocale locale("de_DE.UTF-8");
    TZvSystem run(nullptr);
    run.SetDefaultDest(TReportDest::rdPrinter);
    ThreePages(run);
    const QString pdf = Path("a5.pdf");
    Dialogs->Answer(true, pdf);
    int setups = 0;
    bool confirmed = false;
    bool busy = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* top = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QPageSetupDialog*>(top)) {
            ++setups;
            auto* size = dialog->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
            auto* landscape = dialog->findChild<QRadioButton*>(QStringLiteral("landscape"));
            if (setups == 1) { // the first time: Cancel
                dialog->reject();
            } else if (size && landscape) {
                size->setCurrentIndex(size->findText(QStringLiteral("A5"), Qt::MatchStartsWith));
                landscape->click();
                dialog->accept();
            } else {
                ADD_FAILURE() << "the page-setup dialog has no paper or orientation choice";
                dialog->reject();
            }
            return;
        }
        TQPSetupForm* form = nullptr; // the run's, not the fixture's
        for (TCustomForm* open : ScreenForms()) {
            if (open->Widget() == top && open->Modal())
                form = dynamic_cast<TQPSetupForm*>(open);
        }
        if (!form || busy || confirmed)
            return;
        busy = true;
        QTimer::singleShot(0, [&, form] {
            if (setups < 2) {
                EXPECT_TRUE(form->SetupBB->Enabled());
                QTest::mouseClick(form->SetupBB->Widget(), Qt::LeftButton);
                if (setups == 1) { // cancelled: the device mode as it was
                    EXPECT_EQ(GlobalPrinterDevice()->DevMode()->PaperSize, 9);
                    EXPECT_EQ(GlobalPrinterDevice()->DevMode()->Orientation, 1);
                }
            } else {
                confirmed = true;
                QTest::mouseClick(form->bbtnOK->Widget(), Qt::LeftButton);
            }
            busy = false;
        });
    });
    poll.start();
    run.Execute();
    poll.stop();
    EXPECT_EQ(setups, 2);
    EXPECT_TRUE(confirmed);
    const TDevMode* mode = GlobalPrinterDevice()->DevMode();
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->PaperSize, 11); // DMPAPER_A5
    EXPECT_EQ(mode->Orientation, 2);
    const std::vector<QSizeF> pages = PdfPageSizes(pdf);
    ASSERT_EQ(pages.size(), 3u);
    for (const QSizeF& page : pages) {
        EXPECT_NEAR(page.width(), 595.3, 1);
        EXPECT_NEAR(page.height(), 419.5, 1);
    }
    EXPECT_TRUE(PdfLayoutText(pdf).contains(QStringLiteral("Page 3")));
}

} // namespace
