// The preview window driven by keys and commands: page actions, scrolling
// across pages, the key filters of its edits, Go to Page, Save and Print.
#include "DamagedPages.h"
#include "PaperLocale.h"
#include "PdfSystem.h"
#include "PdfTools.h"
#include "PreviewPrint.h"
#include "ReportWindows.h"
#include "RuledReport.h"

#include "report/print/QpDevice.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"

#include "tests/support/FileSizeLimit.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPageSetupDialog>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

QByteArray Pages(int count)
{
    return WriteSnapshot([count](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 24);
        for (int page = 1; page <= count; ++page) {
            if (page > 1)
                w.NewPage();
            w.PrintXY(1, 1, QStringLiteral("Page %1").arg(page));
        }
    });
}

// Counts the print jobs the printer target starts.
class CountingPrinter : public TZvRenderPrinter {
public:
    using TZvRenderPrinter::TZvRenderPrinter;
    void DocBegin() override
    {
        ++Jobs;
        TZvRenderPrinter::DocBegin();
    }
    int Jobs = 0;
};

class QpFormPreviewTest : public ReportWindowsTest {
protected:
    void Open(int pages)
    {
        Stream = std::make_unique<TMemoryStream>(Pages(pages));
        Form = NewForm<TZarvPreviewForm>(nullptr);
        Form->ReportSystem = &System;
        Form->SetBounds(0, 0, 615, 450);
        Form->InputStream = Stream.get();
        Form->Show();
        QApplication::setActiveWindow(Form->Widget());
        Form->InitFromQPSystem();
        Form->UpdateControls();
    }

    void TearDown() override
    {
        if (Form)
            DestroyForm(Form);
        ReportWindowsTest::TearDown();
    }

    // The preview of a snapshot file, as a report run shows it.
    void ShowFile(const QString& path)
    {
        Form = NewForm<TZarvPreviewForm>(nullptr);
        Form->ReportSystem = &System;
        Form->SetBounds(0, 0, 615, 450);
        Form->InputFileName = path;
        Form->Show();
        QApplication::setActiveWindow(Form->Widget());
        Form->InitFromQPSystem();
        Form->UpdateControls();
    }
    void WithoutPreviewSetup()
    {
        TSystemSetups setups = System.SystemSetups();
        setups.Exclude(TSystemSetup::ssAllowPreviewSetup);
        System.SetSystemSetups(setups);
    }

    int Page() const { return Form->ZvRenderPreview->CurrentPage(); }
    QImage Picture() const { return Form->ZvRenderPreview->Bitmap()->ToImage(); }

    // The report the window shows, as a refused File > Open leaves it, and
    // the picture of the page after the one shown (stepped to and back).
    struct TShownReport {
        QString Caption, PageEdit, PageLabel, Status, InputFileName;
        int Page = 0;
        int Pages = 0;
        bool OwnFile = false;
        QImage Picture, NextPicture;
    };
    TShownReport Showing()
    {
        TShownReport shown{Form->Caption(),
                           Form->PageEdit->Text(),
                           Form->PageLabel->Caption(),
                           Form->sbarMain->SimpleText(),
                           Form->ZvRenderPreview->InputFileName(),
                           Page(),
                           Form->ZvRenderPreview->Pages(),
                           Form->FAlternateZsfLoaded,
                           Picture(),
                           {}};
        Form->actnPage_Next->QtAction()->trigger();
        shown.NextPicture = Picture();
        Form->actnPage_Previous->QtAction()->trigger();
        return shown;
    }
    // The window still shows that report, and its next page step plays the
    // page after it in that report.
    void ExpectStillShowing(const TShownReport& before)
    {
        const TShownReport now = Showing();
        EXPECT_EQ(now.Caption.toStdString(), before.Caption.toStdString());
        EXPECT_EQ(now.PageEdit.toStdString(), before.PageEdit.toStdString());
        EXPECT_EQ(now.PageLabel.toStdString(), before.PageLabel.toStdString());
        EXPECT_EQ(now.Status.toStdString(), before.Status.toStdString());
        EXPECT_EQ(now.InputFileName.toStdString(), before.InputFileName.toStdString());
        EXPECT_EQ(now.Page, before.Page);
        EXPECT_EQ(now.Pages, before.Pages);
        EXPECT_EQ(now.OwnFile, before.OwnFile);
        EXPECT_TRUE(now.Picture == before.Picture);
        EXPECT_TRUE(now.NextPicture == before.NextPicture);
    }
    // The printer target holds the stream only while it prints: after File
    // > Open it holds none, or the one the window shows.
    void ExpectPrinterHoldsNoOtherStream() const
    {
        const TStream* held = Form->ZvRenderPrinter->ZSFStream();
        EXPECT_TRUE(held == nullptr || held == Form->ZvRenderPreview->ZSFStream())
            << "the printer target's stream";
    }
    std::vector<bool> PageActions() const
    {
        return {Form->actnPage_First->Enabled(), Form->actnPage_Previous->Enabled(),
                Form->actnPage_Next->Enabled(), Form->actnPage_Last->Enabled()};
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(Form->ZoomEdit->EditWidget(), Qt::Key(key), modifiers);
    }
    TControlScrollBar* Vert() const { return Form->ScrollBox1->VertScrollBar(); }

    TZvSystem System{nullptr};
    std::unique_ptr<TMemoryStream> Stream;
    TZarvPreviewForm* Form = nullptr;
};

TEST_F(QpFormPreviewTest, PageActionsFollowThePage)
{
    Open(1);
    EXPECT_EQ(PageActions(), (std::vector<bool>{false, false, false, false}));
    DestroyForm(Form);

    Open(3);
    EXPECT_EQ(Form->sbarMain->SimpleText(), "Page 1 of 3");
    EXPECT_EQ(Form->PageLabel->Caption(), "of 3");
    EXPECT_EQ(PageActions(), (std::vector<bool>{false, false, true, true}));
    Form->actnPage_Next->Execute();
    EXPECT_EQ(PageActions(), (std::vector<bool>{true, true, true, true}));
    Form->actnPage_Last->Execute();
    EXPECT_EQ(Form->PageEdit->Text(), "3");
    EXPECT_EQ(PageActions(), (std::vector<bool>{true, true, false, false}));
}

TEST_F(QpFormPreviewTest, ScrollKeysRunIntoTheNeighbouringPages)
{
    Open(3);
    Form->ZoomEdit->SetFocus();
    ASSERT_GT(Vert()->Maximum(), 0);
    Key(Qt::Key_Down);
    EXPECT_EQ(Vert()->Position(), Vert()->Increment());
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Vert()->Position(), 0);

    Key(Qt::Key_End);
    Key(Qt::Key_Down); // at the bottom: on to the next page's top
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(Vert()->Position(), 0);
    Key(Qt::Key_Up); // at the top: back to the previous page's bottom
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Vert()->Position(), Vert()->Maximum());
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Page(), 2);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Page(), 1);

    Form->actnPage_Last->Execute();
    for (int i = 0; i < 10; ++i)
        Key(Qt::Key_PageDown);
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Vert()->Position(), Vert()->Maximum());
}

// Scrolled into the page, the window stays scrolled where it was over a
// step to the next page and over a zoom change.
TEST_F(QpFormPreviewTest, PageStepsAndZoomKeepTheScrollPositions)
{
    Open(3);
    Form->ZvRenderPreview->SetZoomFactor(150);
    TControlScrollBar* horz = Form->ScrollBox1->HorzScrollBar();
    ASSERT_GT(horz->Maximum(), 40);
    ASSERT_GT(Vert()->Maximum(), 60);
    horz->SetPosition(40);
    Vert()->SetPosition(60);
    Form->actnPage_Next->QtAction()->trigger();
    ASSERT_EQ(Page(), 2);
    EXPECT_EQ(horz->Position(), 40);
    EXPECT_EQ(Vert()->Position(), 60);
    Form->actnZoom_In->QtAction()->trigger();
    ASSERT_EQ(Form->ZoomEdit->Text(), "160.0");
    EXPECT_EQ(horz->Position(), 40);
    EXPECT_EQ(Vert()->Position(), 60);
}

TEST_F(QpFormPreviewTest, LettersActWhateverHasTheFocus)
{
    Open(3);
    Form->ZoomEdit->SetFocus();
    Form->ZoomEdit->SelectAll();
    QTest::keyClick(Form->ZoomEdit->EditWidget(), 'e');
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Form->ZoomEdit->Text(), "100.0");
    QTest::keyClick(Form->ZoomEdit->EditWidget(), 'b');
    EXPECT_EQ(Page(), 1);
    QTest::keyClick(Form->ZoomEdit->EditWidget(), 'q');
    EXPECT_EQ(Form->ZoomEdit->Text(), "100.0");

    // One decimal at most, and the zoom's own limits.
    Form->ZoomEdit->EditWidget()->deselect();
    Form->ZoomEdit->EditWidget()->end(false);
    QTest::keyClick(Form->ZoomEdit->EditWidget(), '5');
    EXPECT_EQ(Form->ZoomEdit->Text(), "100.0");
    Form->ZoomEdit->SelectAll();
    QTest::keyClicks(Form->ZoomEdit->EditWidget(), QStringLiteral("500"));
    QTest::keyClick(Form->ZoomEdit->EditWidget(), Qt::Key_Return);
    EXPECT_EQ(Form->ZoomEdit->Text(), "200.0");
    EXPECT_EQ(Form->ZvRenderPreview->ZoomFactor(), 200);
}

// Delete edits the page and zoom edits, whether or not its key event
// carries the character 0x7F (as X11 gives it); the letters still act.
TEST_F(QpFormPreviewTest, DeleteEditsThePageAndZoomEdits)
{
    Open(3);
    for (const QString& text : {QString(), QStringLiteral("\x7f")}) {
        QLineEdit* zoom = Form->ZoomEdit->EditWidget();
        Form->ZoomEdit->SetFocus();
        zoom->setCursorPosition(0);
        for (int i = 0; i < 5; ++i)
            QTest::sendKeyEvent(QTest::Click, zoom, Qt::Key_Delete, text, Qt::NoModifier);
        EXPECT_EQ(zoom->text(), "") << text.size();
        QTest::keyClicks(zoom, QStringLiteral("80"));
        QTest::keyClick(zoom, Qt::Key_Return);
        EXPECT_EQ(Form->ZvRenderPreview->ZoomFactor(), 80) << text.size();
        EXPECT_EQ(zoom->text(), "80.0");

        QLineEdit* page = Form->PageEdit->EditWidget();
        Form->PageEdit->SetFocus();
        page->setCursorPosition(0);
        QTest::sendKeyEvent(QTest::Click, page, Qt::Key_Delete, text, Qt::NoModifier);
        EXPECT_EQ(page->text(), "") << text.size();
        QTest::keyClicks(page, QStringLiteral("2"));
        QTest::keyClick(page, Qt::Key_Return);
        EXPECT_EQ(Page(), 2) << text.size();
        QTest::keyClick(page, 'b');
        EXPECT_EQ(Page(), 1);

        Form->ZoomEdit->SetFocus();
        Form->ZoomEdit->SelectAll();
        QTest::keyClicks(zoom, QStringLiteral("100"));
        QTest::keyClick(zoom, Qt::Key_Return);
    }
}

TEST_F(QpFormPreviewTest, GoToPageIgnoresWhatIsNoPage)
{
    Open(3);
    Dialogs->Answer(true, QStringLiteral("x"));
    Dialogs->Answer(true, QStringLiteral("-1"));
    Dialogs->Answer(true, QStringLiteral("3"));
    auto* go = RequireOwned<TMenuItem>(Form, "mnuPageGoto");
    go->Click();
    go->Click();
    EXPECT_EQ(Page(), 1);
    go->Click();
    EXPECT_EQ(Page(), 3);
    ASSERT_EQ(Dialogs->Service().Inputs.size(), 3u);
    EXPECT_EQ(Dialogs->Service().Inputs[0].Caption, "Go to Page");
    EXPECT_EQ(Dialogs->Service().Inputs[0].Prompt, "Enter page to move to:");
    EXPECT_EQ(Dialogs->Service().Inputs[0].Value, "1");
}

// The copy is the whole snapshot whatever was read last, and the read
// position comes back; saving onto the file being shown keeps it whole.
TEST_F(QpFormPreviewTest, SaveWritesAByteCopy)
{
    Open(3);
    Stream->SetPosition(17);
    Dialogs->Answer(true, Path("copy.zsf"), 1);
    Form->actnFile_Save->Execute();
    EXPECT_EQ(Stream->Position(), 17);
    QFile copy(Path("copy.zsf"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), Pages(3));
    copy.close();
    EXPECT_EQ(Dialogs->Service().Files.at(0).Filter.left(34), "Zarv Snapshot Files (*.zsf)|*.zsf");
    EXPECT_EQ(NameFilters(Dialogs->Service().Files.at(0).Filter).at(0), "Zarv Snapshot Files (*.zsf)");

    Form->OpenFile(Path("copy.zsf"));
    Dialogs->Answer(true, Path("copy.zsf"), 1);
    Form->actnFile_Save->Execute();
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), Pages(3));
}

// Save over an older, larger snapshot on a disk with room for only part of
// the new one (a file size limit in a child process): the old file keeps
// every byte and the error names the file. With room the copy is complete.
TEST_F(QpFormPreviewTest, SaveCutShortKeepsTheOldFileAndNamesIt)
{
    Open(3);
    const QString target = Path("old.zsf");
    const QByteArray old = Pages(5);
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(old), old.size());
    }
    ASSERT_GT(Pages(3).size(), 512);
    Dialogs->Answer(true, target, 1);
    const QString message = RunWithFileSizeLimit(512, [&] {
        try {
            Form->actnFile_Save->Execute();
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("saved");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + target + "\". ")) << message.toStdString();
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), old);
    kept.close();

    Dialogs->Answer(true, target, 1);
    Form->actnFile_Save->Execute();
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), Pages(3));
    EXPECT_EQ(QDir(QFileInfo(target).path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden),
              QStringList());
}

TEST_F(QpFormPreviewTest, OpenRefusesWhatTheReaderRejects)
{
    Open(3);
    Form->actnPage_Next->Execute();
    QFile bad(Path("bad.zsf"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(Pages(2).left(40));
    bad.close();
    const TShownReport shown = Showing();
    // The reader's message, then the file on a line of its own, once.
    try {
        Form->OpenFile(Path("bad.zsf"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().endsWith("\n" + Path("bad.zsf"))) << e.what();
        EXPECT_EQ(e.Message().count(Path("bad.zsf")), 1) << e.what();
    }
    ExpectStillShowing(shown);
    ExpectPrinterHoldsNoOtherStream();
}

// A file that cannot be opened (there is none, or it is a folder) is
// refused with the system's message and then the file's name on a line of
// its own; the report shown stays.
TEST_F(QpFormPreviewTest, OpenNamesAFileThatCannotBeOpened)
{
    Open(3);
    Form->actnPage_Next->Execute();
    const TShownReport before = Showing();
    const QString missing = Path("missing.zsf");
    const QString folder = Path("folder.zsf");
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QString path;
        QString reason;
    } rows[] = {{missing, QStringLiteral("No such file or directory")},
                {folder, QStringLiteral("Is a directory")}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const size_t shown = Messages->Shown().size();
        Dialogs->Answer(true, row.path);
        Form->actnFile_Open->QtAction()->trigger();
        ASSERT_EQ(Messages->Shown().size(), shown + 1);
        EXPECT_EQ(Messages->Shown().back().Text,
                  QStringLiteral("Cannot open file \"%1\". %2\n%1").arg(row.path, row.reason));
        ExpectStillShowing(before);
    }
}

// Writes bytes to a file of the test folder and returns its path.
QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// A snapshot stream whose bytes change once it has served its last byte:
// a file written over between the read that checks it and the playback of
// its first page.
class TChangingStream : public TStream {
public:
    TChangingStream(QByteArray first, QByteArray later, bool& changed)
        : FFirst(std::move(first)), FLater(std::move(later)), FChanged(changed)
    {
        FChanged = false;
    }
    int64_t Read(void* buffer, int64_t count) override
    {
        const QByteArray& bytes = FChanged ? FLater : FFirst;
        const int64_t n = std::clamp<int64_t>(bytes.size() - FPosition, 0, count);
        if (n > 0)
            std::memcpy(buffer, bytes.constData() + FPosition, size_t(n));
        FPosition += n;
        if (n > 0 && FPosition == bytes.size())
            FChanged = true;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                             : origin == TSeekOrigin::soCurrent ? FPosition
                                                                : int64_t(FFirst.size());
        FPosition = std::max<int64_t>(0, base + offset);
        return FPosition;
    }
    int64_t Size() override { return FFirst.size(); }

private:
    QByteArray FFirst;
    QByteArray FLater;
    bool& FChanged;
    int64_t FPosition = 0;
};

// File > Open takes a file only once its page 1 has played. A file that
// passes the check and then fails at page 1 (a line of page 1 turned into a
// command no reader knows after the check read it) is refused with the
// reader's message naming it, and the window goes on showing the file it
// showed at page 2: caption, page, count and picture, its next page step
// playing that file's page 3, and the printer target still holding at most
// the stream shown. Where the page shown no longer plays either, the
// message is still the open's. A good file opened then is shown, and the
// printer target lets go of the stream the window freed.
TEST_F(QpFormPreviewTest, FileOpenTakesAFileOnlyOnceItsFirstPageHasPlayed)
{
    Open(1);
    const QByteArray three = HeadedPages(3);
    const QString shownFile = WriteFile(Path("shown.zsf"), three);
    Form->OpenFile(shownFile);
    Form->actnPage_Next->QtAction()->trigger();
    ASSERT_EQ(Page(), 2);
    const TShownReport shown = Showing();
    Form->ZvRenderPrinter->ShareZSFStream(*Form->ZvRenderPreview); // as a print hands it over

    const QByteArray good = HeadedPages(5);
    const QByteArray damaged = WithUnknownCommands(good, {LineText(1, 4)});
    ASSERT_FALSE(damaged.isEmpty());
    const QString late = Path("late.zsf");
    const QString message = QStringLiteral("Unexpected code [238] found in report file.\n") + late;
    auto openLate = [&] {
        bool changed = false;
        try {
            Form->OpenFile(std::make_unique<TChangingStream>(good, damaged, changed), late);
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message().toStdString(), message.toStdString());
        }
        EXPECT_TRUE(changed); // the check read every byte, page 1 the damaged ones
    };
    openLate();
    ExpectStillShowing(shown);
    ExpectPrinterHoldsNoOtherStream();

    // The file shown, changed on disk since, no longer plays its page 2:
    // the refusal told is still the open's, and page 2 stays on screen.
    {
        QFile file(shownFile);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(TextCommandPos(three, LineText(2, 4))));
        ASSERT_EQ(file.write("\xEE", 1), 1);
    }
    openLate();
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(Form->sbarMain->SimpleText(), shown.Status);
    EXPECT_TRUE(Picture() == shown.Picture);

    Form->ZvRenderPrinter->ShareZSFStream(*Form->ZvRenderPreview);
    Form->OpenFile(std::make_unique<TMemoryStream>(good), Path("good.zsf"));
    EXPECT_TRUE(Form->Caption().endsWith(QStringLiteral(" - [ good.zsf ]")));
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Form->ZvRenderPreview->Pages(), 5);
    EXPECT_EQ(Form->sbarMain->SimpleText(), "Page 1 of 5");
    ExpectPrinterHoldsNoOtherStream();
    Form->actnPage_Next->QtAction()->trigger();
    EXPECT_EQ(Page(), 2);
}

// Page 3's number in a six-page snapshot file set to 99999, to 2, to 4,
// and one bit of it flipped. Opening it in the preview (File > Open, and a
// window of its own), previewing it as the snapshot of a report run, and
// printing it into an existing PDF, all pages or pages 2 to 4, each end
// with the reader's message naming the file; the PDF keeps its bytes and
// the preview keeps the report it showed.
TEST_F(QpFormPreviewTest, ADamagedPageNumberIsRefusedOnEveryRoad)
{
    const QByteArray six = Pages(6);
    const qsizetype field = PageHeaderPos(six, 3) + 9;
    ASSERT_EQ(qFromLittleEndian<qint32>(six.constData() + field), 3);
    const QByteArray old("%PDF-1.4 the last print\n");
    const QString pdf = WriteFile(Path("old.pdf"), old);
    Open(3);
    for (const qint32 number : {99999, 2, 4, 3 ^ 16}) {
        SCOPED_TRACE(number);
        QByteArray bytes = six;
        qToLittleEndian<qint32>(number, bytes.data() + field);
        const QString damaged = WriteFile(Path("damaged.zsf"), bytes);
        const QString message = QStringLiteral("Unexpected code found in report file.\n") + damaged;

        Dialogs->Answer(true, damaged);
        const size_t shown = Messages->Shown().size();
        Form->actnFile_Open->QtAction()->trigger();
        ASSERT_EQ(Messages->Shown().size(), shown + 1);
        EXPECT_EQ(Messages->Shown().back().Text, message);
        EXPECT_EQ(Form->ZvRenderPreview->Pages(), 3);
        try {
            DestroyForm(TZarvPreviewForm::PreviewFile(damaged));
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), message);
        }

        for (const TReportDest dest : {TReportDest::rdPreview, TReportDest::rdPrinter}) {
            for (const bool range : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "destination " << int(dest) << (range ? ", pages 2-4" : ""));
                TZvSystem system(nullptr);
                PlaySnapshotFile(system, dest, damaged, pdf);
                if (range) {
                    system.SystemPrinter()->FirstPage = 2;
                    system.SystemPrinter()->LastPage = 4;
                }
                try {
                    system.Execute();
                    ADD_FAILURE() << "played";
                } catch (const Exception& e) {
                    EXPECT_EQ(e.Message(), message);
                }
            }
        }
        EXPECT_EQ(FileBytes(pdf), old);
    }
}

// The snapshot file written over while the preview shows it: page 3's
// number changed on disk. Previous from page 4, and Go to Page 3, end
// with the reader's message naming the file, each within a second (a
// preview that steered by the page numbers it read went back and forth
// between pages 3 and 4 for good), and page 4 stays the page shown and
// told. The pages whose headers are as they were still show.
TEST_F(QpFormPreviewTest, APageChangedUnderTheOpenPreviewIsRefusedWithinASecond)
{
    const QByteArray six = Pages(6);
    const qsizetype field = PageHeaderPos(six, 3) + 9;
    for (const qint32 number : {99999, 2, 4, 3 ^ 16}) {
        SCOPED_TRACE(number);
        const QString path = WriteFile(Path("shown.zsf"), six);
        Form = NewForm<TZarvPreviewForm>(nullptr);
        Form->ReportSystem = &System;
        Form->SetBounds(0, 0, 615, 450);
        Form->InputFileName = path;
        Form->Show();
        Form->InitFromQPSystem();
        Form->UpdateControls();
        for (int i = 0; i < 3; ++i)
            Form->actnPage_Next->QtAction()->trigger();
        ASSERT_EQ(Page(), 4);
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.seek(field));
            char bytes[4];
            qToLittleEndian<qint32>(number, bytes);
            ASSERT_EQ(file.write(bytes, 4), 4);
        }
        const QString message = QStringLiteral("Unexpected code found in report file.\n") + path;
        const size_t shown = Messages->Shown().size();
        QElapsedTimer timer;
        timer.start();
        Form->actnPage_Previous->QtAction()->trigger();
        EXPECT_LT(timer.elapsed(), 1000);
        ASSERT_EQ(Messages->Shown().size(), shown + 1);
        EXPECT_EQ(Messages->Shown().back().Text, message);
        EXPECT_EQ(Page(), 4);
        EXPECT_EQ(Form->PageEdit->Text(), "4");

        timer.restart();
        Dialogs->Answer(true, QStringLiteral("3"));
        RequireOwned<TMenuItem>(Form, "mnuPageGoto")->QtAction()->trigger();
        EXPECT_LT(timer.elapsed(), 1000);
        ASSERT_EQ(Messages->Shown().size(), shown + 2);
        EXPECT_EQ(Messages->Shown().back().Text, message);
        EXPECT_EQ(Page(), 4);

        Form->actnPage_Next->QtAction()->trigger();
        EXPECT_EQ(Page(), 5);
        Form->actnPage_First->QtAction()->trigger();
        EXPECT_EQ(Page(), 1);
        EXPECT_EQ(Messages->Shown().size(), shown + 2);
        DestroyForm(Form);
        Form = nullptr;
    }
}

// Opening a file in a window of its own, beside another preview of the
// same owner: the second window takes a name of its own.
TEST_F(QpFormPreviewTest, PreviewFileOpensAWindowOfItsOwn)
{
    TApplication application;
    application.SetTitle(QStringLiteral("Tessvar"));
    QFile file(Path("three.zsf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Pages(3));
    file.close();
    TZarvPreviewForm* first = TZarvPreviewForm::PreviewFile(Path("three.zsf"));
    TZarvPreviewForm* second = TZarvPreviewForm::PreviewFile(Path("three.zsf"));
    EXPECT_EQ(first->Name(), "ZarvPreviewForm");
    EXPECT_EQ(second->Name(), "ZarvPreviewForm_1");
    EXPECT_TRUE(second->Visible());
    EXPECT_EQ(second->Caption(), "Tessvar - [ three.zsf ]");
    EXPECT_EQ(second->ZvRenderPreview->Pages(), 3);
}

// Without copies made by the device, the snapshot prints Copies times.
TEST_F(QpFormPreviewTest, PrintMakesEachCopyAJob)
{
    TSystemSetups setups = System.SystemSetups();
    setups.Exclude(TSystemSetup::ssAllowPreviewSetup);
    System.SetSystemSetups(setups);
    Open(3);
    delete Form->ZvRenderPrinter;
    auto* printer = new CountingPrinter(Form);
    Form->ZvRenderPrinter = printer;
    printer->SetOutputFileName(Path("print.pdf"));
    printer->Copies = 3;
    int after = 0;
    Form->OnAfterPreviewPrint = [&](TObject* sender) { after += sender == printer; };
    ASSERT_LT(printer->MaxCopies(), 2);
    Form->actnFile_Print->Execute();
    EXPECT_EQ(printer->Jobs, 3);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(printer->ZSFStream(), nullptr);
    EXPECT_TRUE(QFile::exists(Path("print.pdf")));
}

// The file dialog the user sees lists the snapshot filter once, as it is
// named (the real Qt dialog, looked at and cancelled).
TEST_F(QpFormPreviewTest, SaveDialogOffersTheSnapshotFilterOnce)
{
    Open(1);
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            shown = dialog->nameFilters();
            dialog->reject();
        }
    });
    std::unique_ptr<TDialogService> scripted = SetDialogService(std::make_unique<TQtDialogService>());
    Form->actnFile_Save->Execute();
    SetDialogService(std::move(scripted));
    EXPECT_EQ(shown, QStringList{QStringLiteral("Zarv Snapshot Files (*.zsf)")});
}

// A "-" item of the menus is a separator without text: Qt's style would draw
// a separator with text as a labelled section, a row as high as a command's.
TEST_F(QpFormPreviewTest, MenuLinesAreSeparatorsOnly)
{
    Open(1);
    for (const char* name : {"mnuFile", "mnuPage", "mnuZoom"}) {
        QMenu* menu = RequireOwned<TMenuItem>(Form, QString::fromLatin1(name))->SubMenu();
        ASSERT_NE(menu, nullptr) << name;
        menu->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        int lines = 0;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                continue;
            ++lines;
            EXPECT_TRUE(action->text().isEmpty()) << name;
            EXPECT_LT(menu->actionGeometry(action).height(),
                      menu->actionGeometry(menu->actions().constFirst()).height() / 2)
                << name;
        }
        menu->close();
        EXPECT_EQ(lines, 1) << name;
    }
}

// Print from the preview on the "Print to PDF" printer: Setup in the output
// options window offers the page setup, and A5 landscape chosen there is
// the page of the PDF, whatever paper the snapshot recorded.
TEST_F(QpFormPreviewTest, PrintTakesThePageChosenInSetup)
{
    SetPdfPrinterHidden(false);
    TPaperLocale locale("de_DE.UTF-8");
    Open(2);
    const QString pdf = Path("preview.pdf");
    Dialogs->Answer(true, pdf);
    bool chosen = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QPageSetupDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* size = dialog->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
        auto* landscape = dialog->findChild<QRadioButton*>(QStringLiteral("landscape"));
        ASSERT_TRUE(size && landscape);
        size->setCurrentIndex(size->findText(QStringLiteral("A5"), Qt::MatchStartsWith));
        landscape->click();
        chosen = true;
        dialog->accept();
    });
    poll.start();
    WhenModal<TQPSetupForm>([](TQPSetupForm* setup) {
        QTest::mouseClick(setup->SetupBB->Widget(), Qt::LeftButton);
        setup->bbtnOK->Click();
    });
    Form->actnFile_Print->Execute();
    poll.stop();
    EXPECT_TRUE(chosen);
    const std::vector<QSizeF> pages = PdfPageSizes(pdf);
    ASSERT_EQ(pages.size(), 2u);
    for (const QSizeF& page : pages) {
        EXPECT_NEAR(page.width(), 595.3, 1);
        EXPECT_NEAR(page.height(), 419.5, 1);
    }
}

// A page number past the last page goes to the last page, however many
// digits it has, by Enter in the page edit, by leaving the edit and by Go to
// Page; the edit and the status bar then tell the page shown, also when it
// was shown already. A text that is no number changes nothing.
TEST_F(QpFormPreviewTest, APageNumberPastTheLastGoesToTheLastPage)
{
    Open(12);
    QLineEdit* edit = Form->PageEdit->EditWidget();
    const QString manyDigits(40, QLatin1Char('9'));
    enum class Road { Enter, Leave, GoTo };
    auto go = [&](Road road, const QString& text) {
        if (road == Road::GoTo) {
            Dialogs->Answer(true, text);
            RequireOwned<TMenuItem>(Form, "mnuPageGoto")->QtAction()->trigger();
            return;
        }
        Form->PageEdit->SetFocus();
        Form->PageEdit->SetText(text);
        if (road == Road::Enter)
            QTest::keyClick(edit, Qt::Key_Return);
        else
            Form->ZoomEdit->SetFocus();
    };
    for (const Road road : {Road::Enter, Road::Leave, Road::GoTo}) {
        SCOPED_TRACE(int(road));
        go(road, QStringLiteral("1"));
        ASSERT_EQ(Page(), 1);
        struct Row {
            int line;
            QString typed;
            int page;
        };
        const Row rows[] = {
            {1, QStringLiteral("2147483648"), 12}, // one past the int range
            {2, manyDigits, 12},                   // on the last page already
            {3, QStringLiteral("4"), 4},
            {4, QStringLiteral("13"), 12}, // one past the last page
            {5, QStringLiteral("00000000000000000000007"), 7},
            {6, QStringLiteral(" +") + manyDigits + QStringLiteral(" "), 12},
            {7, QStringLiteral("12x"), 12}, // no number: ignored
        };
        for (const Row& row : rows) {
            go(road, row.typed);
            EXPECT_EQ(Page(), row.page) << "row " << row.line;
            if (row.typed.endsWith(u'x'))
                continue;
            EXPECT_EQ(Form->PageEdit->Text(), QString::number(row.page)) << "row " << row.line;
            EXPECT_EQ(Form->sbarMain->SimpleText(), QStringLiteral("Page %1 of 12").arg(row.page))
                << "row " << row.line;
        }
    }
    EXPECT_EQ(Messages->Shown().size(), 0u);
}

// Print pages 20 to 30 of a 12-page report on the "Print to PDF" printer:
// the printer's message, and no file dialog asked (before, the dialog came
// first and the message only after a file was named). Pages 12 to 30 print
// the last page, after asking.
TEST_F(QpFormPreviewTest, PrintOfPagesPastTheLastIsRefusedBeforeAFileIsAskedFor)
{
    SetPdfPrinterHidden(false);
    TPaperLocale locale("de_DE.UTF-8");
    Open(12);
    auto printPages = [this](const QString& from, const QString& to) {
        WhenModal<TQPSetupForm>([from, to](TQPSetupForm* setup) {
            setup->PagesRB->SetChecked(true);
            setup->FromED->SetText(from);
            setup->ToED->SetText(to);
            setup->bbtnOK->Click();
        });
        Form->actnFile_Print->QtAction()->trigger();
    };
    const QString pdf = Path("pages.pdf");
    Dialogs->Answer(true, pdf);
    printPages(QStringLiteral("20"), QStringLiteral("30"));
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown().back().Text, "The report has no page to print.");
    EXPECT_TRUE(Dialogs->Service().Files.empty());
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    EXPECT_EQ(Form->ZvRenderPrinter->ZSFStream(), nullptr);
    EXPECT_EQ(Page(), 1);

    printPages(QStringLiteral("12"), QStringLiteral("30"));
    EXPECT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Dialogs->Service().Files.size(), 1u);
    EXPECT_EQ(PdfPageSizes(pdf).size(), 1u);
}

// Printing from the preview of a snapshot file that the reader refuses part
// way: a command no reader knows on page 5 (page 1 showed well), or page 3's
// number changed on disk after the preview opened. The reader's message
// names the file, as the page steps do, and the PDF that stood there keeps
// its bytes. The printer's own errors keep their messages: a range without
// a page, a PDF in a folder that does not exist.
TEST_F(QpFormPreviewTest, APrintTheSnapshotRefusesNamesItsFile)
{
    WithoutPreviewSetup();
    const QByteArray six = Pages(6);
    const QByteArray old("%PDF-1.4 the last print\n");
    const QString pdf = WriteFile(Path("old.pdf"), old);
    const QString path = Path("shown.zsf");
    for (const bool changedOnDisk : {false, true}) {
        SCOPED_TRACE(changedOnDisk);
        QByteArray bytes = six;
        if (!changedOnDisk)
            bytes[PageHeaderPos(six, 5) + 24] = char(0xEE);
        WriteFile(path, bytes);
        ShowFile(path);
        ASSERT_EQ(Form->ZvRenderPreview->Pages(), 6);
        const size_t shown = Messages->Shown().size();

        Form->ZvRenderPrinter->SetFirstPage(20);
        Form->ZvRenderPrinter->SetLastPage(30);
        Form->actnFile_Print->QtAction()->trigger();
        ASSERT_EQ(Messages->Shown().size(), shown + 1);
        EXPECT_EQ(Messages->Shown().back().Text, "The report has no page to print.");
        Form->ZvRenderPrinter->SetFirstPage(1);
        Form->ZvRenderPrinter->SetLastPage(9999);

        const QString blocked = Path("missing/print.pdf");
        Form->ZvRenderPrinter->SetOutputFileName(blocked);
        Form->actnFile_Print->QtAction()->trigger();
        ASSERT_EQ(Messages->Shown().size(), shown + 2);
        EXPECT_EQ(Messages->Shown().back().Text,
                  QStringLiteral("Cannot create file \"%1\". The folder \"%2\" does not exist.")
                      .arg(blocked, Path("missing")));

        if (changedOnDisk) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.seek(PageHeaderPos(six, 3) + 9));
            char number[4];
            qToLittleEndian<qint32>(4, number);
            ASSERT_EQ(file.write(number, 4), 4);
        }
        Form->ZvRenderPrinter->SetOutputFileName(pdf);
        Form->actnFile_Print->QtAction()->trigger();
        ASSERT_EQ(Messages->Shown().size(), shown + 3);
        const QString message = changedOnDisk ? QStringLiteral("Unexpected code found in report file.")
                                              : QStringLiteral("Unexpected code [238] found in report file.");
        EXPECT_EQ(Messages->Shown().back().Text, message + "\n" + path);
        EXPECT_EQ(FileBytes(pdf), old);
        EXPECT_FALSE(GlobalPrinterDevice()->Printing());
        EXPECT_EQ(Page(), 1);
        DestroyForm(Form);
        Form = nullptr;
    }
}

// File > Open reads the whole file before it shows its first page: the
// hourglass stands over the windows until that page is shown, and the
// cursor is the default again when the open ends, also when the file is
// refused (before its message shows).
TEST_F(QpFormPreviewTest, FileOpenShowsTheHourglassUntilThePageIsShown)
{
    Open(3);
    const QString good = WriteFile(Path("good.zsf"), Pages(5));
    const QString bad = WriteFile(Path("bad.zsf"), Pages(5).left(60));
    std::vector<TCursor> cursors;
    const TNotifyEvent pageChange = Form->ZvRenderPreview->OnPageChange;
    Form->ZvRenderPreview->OnPageChange = [&](TObject* sender) {
        cursors.push_back(Screen()->Cursor());
        pageChange(sender);
    };
    Dialogs->Answer(true, good);
    Form->actnFile_Open->QtAction()->trigger();
    EXPECT_EQ(Form->ZvRenderPreview->Pages(), 5);
    EXPECT_EQ(cursors, std::vector<TCursor>{crHourGlass});
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const size_t shown = Messages->Shown().size();
    Dialogs->Answer(true, bad);
    Form->actnFile_Open->QtAction()->trigger();
    ASSERT_EQ(Messages->Shown().size(), shown + 1);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form->ZvRenderPreview->Pages(), 5);
}

// The bytes this process has read so far (read calls of every kind).
qint64 BytesRead()
{
    char text[1024];
    const int handle = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return -1;
    const ssize_t n = ::read(handle, text, sizeof text - 1);
    ::close(handle);
    if (n <= 0)
        return -1;
    text[n] = 0;
    const char* field = std::strstr(text, "rchar:");
    return field ? std::atoll(field + 6) : -1;
}

// File > Open of a long file reads it once through, and then no more than
// the one window of it that page 1 stands in.
TEST_F(QpFormPreviewTest, FileOpenReadsALongFileOnce)
{
    Open(3);
    const QByteArray pages = WriteSnapshot([](TZvZSFWriter& w) { PrintRuledPages(w, 150); });
    ASSERT_GT(pages.size(), 10 * TZsfReader::kWindowSize);
    const QString path = WriteFile(Path("long.zsf"), pages);
    Form->OpenFile(path); // fonts and the like read once
    const qint64 before = BytesRead();
    ASSERT_GE(before, 0);
    Form->OpenFile(path);
    const qint64 read = BytesRead() - before;
    EXPECT_EQ(Form->ZvRenderPreview->Pages(), 150);
    EXPECT_GE(read, pages.size());
    EXPECT_LE(read, pages.size() + TZsfReader::kWindowSize + 1024);
}

// Page steps in the preview window of a snapshot file whose pages 2 and 12
// are damaged part way down their bodies: the heading, the first line (so
// that only "PAGE 12" could be drawn), a middle line or the last line is a
// command no reader knows. Each refused step (Next, Previous, Last, the
// page edit, Go to Page, and First once page 1 is changed on disk) shows
// the reader's message naming the file and leaves the page area of the
// window as it was, pixel for pixel, with the page shown before drawn whole
// and still told in the page edit and the status bar. A zoom change then
// redraws the page shown, each good step shows its page as the undamaged
// report shows it, and the window shown a second time shows the same.
TEST_F(QpFormPreviewTest, ARefusedPageStepKeepsThePageShown)
{
    const QByteArray good = HeadedPages(12);
    auto* reference = NewForm<TZarvPreviewForm>(nullptr);
    reference->ReportSystem = &System;
    reference->SetBounds(0, 0, 615, 450);
    reference->InputFileName = WriteFile(Path("good.zsf"), good);
    reference->Show();
    reference->InitFromQPSystem();
    auto pictureOf = [reference](int page, double zoom) {
        reference->ZvRenderPreview->SetZoomFactor(zoom);
        reference->ZvRenderPreview->RenderPage(page);
        return reference->ZvRenderPreview->Bitmap()->ToImage();
    };
    auto picture = [this] { return Form->ZvRenderPreview->Bitmap()->ToImage(); };
    auto screen = [this] { return Form->ScrollBox1->Widget()->grab().toImage(); };
    auto typePage = [this](const QString& page) {
        Form->PageEdit->SetFocus();
        Form->PageEdit->SetText(page);
        QTest::keyClick(Form->PageEdit->EditWidget(), Qt::Key_Return);
    };
    auto goTo = [this](const QString& page) {
        Dialogs->Answer(true, page);
        RequireOwned<TMenuItem>(Form, "mnuPageGoto")->QtAction()->trigger();
    };
    const QString path = Path("damaged.zsf");
    const QString message = QStringLiteral("Unexpected code [238] found in report file.\n") + path;
    // The page shown before stays on screen, drawn whole.
    auto refused = [&](const char* step, const std::function<void()>& go) {
        SCOPED_TRACE(step);
        const int page = Page();
        const QImage shown = picture();
        const QImage onScreen = screen();
        const QString status = Form->sbarMain->SimpleText();
        const size_t messages = Messages->Shown().size();
        go();
        ASSERT_EQ(Messages->Shown().size(), messages + 1);
        EXPECT_EQ(Messages->Shown().back().Text, message);
        EXPECT_EQ(Page(), page);
        EXPECT_EQ(Form->PageEdit->Text(), QString::number(page));
        EXPECT_EQ(Form->sbarMain->SimpleText(), status);
        EXPECT_TRUE(picture() == shown);
        EXPECT_TRUE(picture() == pictureOf(page, Form->ZvRenderPreview->ZoomFactor()));
        EXPECT_TRUE(screen() == onScreen);
    };

    struct Damage {
        const char* where;
        QString page1, page2, page12;
    };
    const Damage damages[] = {
        {"the heading", QStringLiteral("PAGE 1"), QStringLiteral("PAGE 2"), QStringLiteral("PAGE 12")},
        {"the first line", LineText(1, 1), LineText(2, 1), LineText(12, 1)},
        {"a middle line", LineText(1, 4), LineText(2, 4), LineText(12, 4)},
        {"the last line", LineText(1, kDamagedLines), LineText(2, kDamagedLines),
         LineText(12, kDamagedLines)},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.where);
        const QByteArray damaged = WithUnknownCommands(good, {damage.page2, damage.page12});
        ASSERT_FALSE(damaged.isEmpty());
        ShowFile(WriteFile(path, damaged));
        ASSERT_TRUE(picture() == pictureOf(1, 100));

        refused("Next to page 2", [this] { Form->actnPage_Next->QtAction()->trigger(); });
        typePage(QStringLiteral("11"));
        EXPECT_TRUE(picture() == pictureOf(11, 100));
        refused("Next to page 12", [this] { Form->actnPage_Next->QtAction()->trigger(); });
        refused("Last", [this] { Form->actnPage_Last->QtAction()->trigger(); });
        refused("page 12 typed", [&] { typePage(QStringLiteral("12")); });
        refused("Go to Page 12", [&] { goTo(QStringLiteral("12")); });
        Form->Widget()->grab().save(OutputPath(QStringLiteral("preview-refused-step.png")));
        typePage(QStringLiteral("3"));
        EXPECT_TRUE(picture() == pictureOf(3, 100));
        refused("Previous to page 2", [this] { Form->actnPage_Previous->QtAction()->trigger(); });

        Form->actnZoom_In->QtAction()->trigger();
        EXPECT_EQ(Form->ZoomEdit->Text(), "110.0");
        EXPECT_EQ(Page(), 3);
        EXPECT_TRUE(picture() == pictureOf(3, 110));
        Form->actnPage_Next->QtAction()->trigger();
        EXPECT_EQ(Page(), 4);
        EXPECT_TRUE(picture() == pictureOf(4, 110));

        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.seek(TextCommandPos(good, damage.page1)));
            ASSERT_EQ(file.write("\xEE", 1), 1);
        }
        refused("First", [this] { Form->actnPage_First->QtAction()->trigger(); });
        const QImage onScreen = screen();
        Form->Hide();
        Form->Show();
        EXPECT_TRUE(screen() == onScreen);
        EXPECT_TRUE(picture() == pictureOf(4, 110));
        DestroyForm(Form);
        Form = nullptr;
    }
    DestroyForm(reference);
}

} // namespace
