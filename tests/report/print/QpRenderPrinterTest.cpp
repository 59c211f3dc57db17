#include "DamagedPages.h"
#include "PaperLocale.h"
#include "PdfSystem.h"
#include "PdfTools.h"
#include "ReportWindows.h"
#include "SnapshotSupport.h"

#include "report/print/QpDevice.h"
#include "report/print/QpRenderPrinter.h"

#include "platform/forms/Dialogs.h"
#include "platform/rtl/SafeSave.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

// No printer is installed here: the printer device prints into its output
// file, a PDF of US Letter pages without unprintable margins.
class QpRenderPrinterTest : public NoPrinterTest {
protected:
    void SetUp() override
    {
        NoPrinterTest::SetUp();
        if (IsSkipped())
            return;
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            GTEST_SKIP() << "pdftotext is not installed";
    }
};

struct Box {
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0; // points from the top-left corner
};

// The words of a PDF with their boxes, by pdftotext -bbox.
std::multimap<QString, Box> Words(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    process.waitForFinished(30000);
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    std::multimap<QString, Box> words;
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.emplace(m.captured(5), Box{m.captured(1).toDouble(), m.captured(2).toDouble(),
                                         m.captured(3).toDouble(), m.captured(4).toDouble()});
    }
    return words;
}

TEST_F(QpRenderPrinterTest, TestPagePrintsToPdfInPlace)
{
    const QString pdf = OutputPath(QStringLiteral("printer-testpage.pdf"));
    QFile::remove(pdf);
    TZvRenderPrinter printer(nullptr);
    EXPECT_FALSE(printer.Active());
    TMemoryStream stream(TestPageSnapshot());
    printer.PrintRender(&stream, pdf);
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    ASSERT_TRUE(QFile::exists(pdf));
    std::cout << "test page: " << pdf.toStdString() << std::endl;

    const auto words = Words(pdf);
    auto box = [&](const char* text) {
        const auto it = words.find(QString::fromLatin1(text));
        EXPECT_NE(it, words.end()) << text;
        return it == words.end() ? Box() : it->second;
    };
    // Inches times 72. A 14-point Arial line box reaches about 13 points
    // above and 3 below its baseline.
    struct Row {
        int line;
        const char* word;
        double expected;
        char edge; // l left, r right, c centre, b baseline (the box's bottom)
    };
    const Row rows[] = {
        {1, "LeftAligned", 72, 'l'}, {2, "LeftAligned", 72, 'b'},   {3, "Centred", 306, 'c'},
        {4, "Centred", 108, 'b'},    {5, "RightAligned", 540, 'r'}, {6, "justified", 72, 'l'},
        {7, "across", 540, 'r'},     {8, "justified", 180, 'b'},    {9, "CellOne", 75.6, 'l'},
        {10, "CellTwo", 288, 'c'},   {11, "CellThree", 536.4, 'r'},
    };
    for (const Row& row : rows) {
        const Box b = box(row.word);
        double actual = 0;
        switch (row.edge) {
        case 'l':
            actual = b.XMin;
            break;
        case 'r':
            actual = b.XMax;
            break;
        case 'c':
            actual = (b.XMin + b.XMax) / 2;
            break;
        default:
            actual = b.YMax - 3.1; // the line box's descent below the baseline
            break;
        }
        EXPECT_NEAR(actual, row.expected, 1.5) << "row " << row.line;
    }
    // Turned texts: tall boxes, starting at their points.
    const Box up = box("Up90");
    EXPECT_GT(up.YMax - up.YMin, 2 * (up.XMax - up.XMin));
    EXPECT_NEAR(up.YMax, 360, 1.5);
    const Box down = box("Down270");
    EXPECT_NEAR(down.YMin, 252, 1.5);
    EXPECT_NEAR(down.XMin, 432 - 3.1, 1.5); // the descent lies left of the point

    if (!QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) {
        const QString png = OutputPath(QStringLiteral("printer-testpage"));
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("100"),
                           QStringLiteral("-singlefile"), pdf, png});
        QImage page(png + QStringLiteral(".png"));
        ASSERT_EQ(page.size(), QSize(850, 1100));
        // The same picture as the canvas draws: the bitmap, the frames.
        EXPECT_GT(qRed(page.pixel(700, 850)), 240);
        EXPECT_LT(qGreen(page.pixel(700, 850)), 16);
        EXPECT_LT(qGray(page.pixel(101, 840)), 128);
        EXPECT_LT(qGray(page.pixel(497, 840)), 128);
        EXPECT_GT(qGray(page.pixel(505, 840)), 128);
    }
}

TEST_F(QpRenderPrinterTest, WithoutAnOutputFileThereIsNoPrinter)
{
    TZvRenderPrinter printer(nullptr);
    TMemoryStream stream(WriteSnapshot({}));
    EXPECT_THROW(printer.Render(&stream), ESheetcaster);
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    EXPECT_FALSE(printer.Rendering());
}

} // namespace

namespace {

// The "Print to PDF" printer, the default on a machine without CUPS
// printers: each test fixes the locale it takes its paper from.
class QpRenderPdfPrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // A one-page report with a word on it, written for the PDF printer.
    static QByteArray Report(const std::function<void(TZvZSFWriter&)>& setup = {})
    {
        return WriteSnapshot([](TZvZSFWriter& w) { w.PrintXY(1, 1, QStringLiteral("Tessvar")); }, setup);
    }

    QTemporaryDir Dir;
    TScriptedDialogs Dialogs;
};

// The report's own paper, or else the locale's, on every page of the file.
// Rows: locale, what the report asks for, page size in points.
TEST_F(QpRenderPdfPrinterTest, ThePageHasTheReportsPaperOrTheLocales)
{
    struct Row {
        int line;
        const char* lang;
        int paper; // 0: the printer's, 256: 100 x 150 mm
        bool landscape;
        double width, height; // points: A4 595 x 842, Letter 612 x 792, Legal 612 x 1008
    };
    const Row rows[] = {
        {1, "de_DE.UTF-8", 0, false, 595, 842}, {2, "en_GB.UTF-8", 0, false, 595, 842},
        {3, "en_US.UTF-8", 0, false, 612, 792}, {4, "de_DE.UTF-8", 5, false, 612, 1008},
        {5, "en_US.UTF-8", 9, false, 595, 842}, {6, "de_DE.UTF-8", 256, false, 283.5, 425.2},
        {7, "de_DE.UTF-8", 0, true, 842, 595},  {8, "en_US.UTF-8", 5, true, 1008, 612},
    };
    for (const Row& row : rows) {
        TPaperLocale locale(row.lang);
        TMemoryStream stream(Report([&row](TZvZSFWriter& w) {
            if (row.paper == 256)
                w.SetPaperSize(0, 100 / 25.4, 150 / 25.4);
            else if (row.paper != 0)
                w.SetPaperSize(row.paper, 0, 0);
            if (row.landscape)
                w.SetOrientation(TOrientation::poLandScape);
        }));
        const QString pdf = Path(QStringLiteral("paper-%1.pdf").arg(row.line));
        TZvRenderPrinter printer(nullptr);
        printer.PrintRender(&stream, pdf); // a file given: no dialog
        const std::vector<QSizeF> pages = PdfPageSizes(pdf);
        ASSERT_EQ(pages.size(), 1u) << "row " << row.line;
        EXPECT_NEAR(pages[0].width(), row.width, 1) << "row " << row.line;
        EXPECT_NEAR(pages[0].height(), row.height, 1) << "row " << row.line;
        EXPECT_TRUE(PdfLayoutText(pdf).contains(QStringLiteral("Tessvar"))) << "row " << row.line;
    }
    EXPECT_TRUE(Dialogs.Service().Files.empty());
}

// Without a file the job asks for one, named after the report; Cancel
// ends the print silently before anything is written, and the next print
// asks again.
TEST_F(QpRenderPdfPrinterTest, AJobWithoutAFileAsksForItAndCancelEndsIt)
{
    TPaperLocale locale("de_DE.UTF-8");
    TMemoryStream stream(Report([](TZvZSFWriter& w) { w.SetTitle(QStringLiteral("Gauge card")); }));
    TZvRenderPrinter printer(nullptr);
    Dialogs.Answer(false);
    EXPECT_THROW(printer.Render(&stream), EAbort);
    EXPECT_FALSE(printer.Rendering());
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    EXPECT_TRUE(QDir(Dir.path()).entryList(QDir::Files).isEmpty());

    const QString pdf = Path(QStringLiteral("chosen.pdf"));
    Dialogs.Answer(true, pdf);
    printer.Render(&stream);
    ASSERT_EQ(Dialogs.Service().Files.size(), 2u);
    const TFileDialogRequest& request = Dialogs.Service().Files[1];
    EXPECT_TRUE(request.Save);
    EXPECT_EQ(request.Title, "Print to PDF");
    EXPECT_EQ(request.Filter, "PDF Files (*.pdf)|*.pdf");
    EXPECT_EQ(NameFilters(request.Filter), QStringList{QStringLiteral("PDF Files (*.pdf)")});
    EXPECT_EQ(request.DefaultExt, "pdf");
    EXPECT_EQ(request.FileName, "Gauge card.pdf");
    EXPECT_TRUE(request.Options & OpenOptionBit(TOpenOption::ofOverwritePrompt));
    EXPECT_EQ(PdfPageSizes(pdf).size(), 1u);
    EXPECT_TRUE(printer.OutputFileName().isEmpty()); // the next print asks again
}

// A file that cannot be written is the save error with its name, before
// anything is painted; the device is free for the next print.
TEST_F(QpRenderPdfPrinterTest, AFileThatCannotBeWrittenIsAnError)
{
    TPaperLocale locale("de_DE.UTF-8");
    TMemoryStream stream(Report());
    TZvRenderPrinter printer(nullptr);
    const QString blocked = Path(QStringLiteral("missing/card.pdf"));
    Dialogs.Answer(true, blocked);
    try {
        printer.Render(&stream);
        ADD_FAILURE() << "no error";
    } catch (const EFileSaveError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot create file \"%1\". The folder \"%2\" does not exist.")
                                   .arg(blocked, Path(QStringLiteral("missing"))));
    }
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    EXPECT_FALSE(printer.Rendering());
    Dialogs.Answer(true, Path(QStringLiteral("card.pdf")));
    printer.Render(&stream);
    EXPECT_EQ(PdfPageSizes(Path(QStringLiteral("card.pdf"))).size(), 1u);
}

// A playback that an error ends (a snapshot cut short in its second page)
// aborts its job: the PDF that stood under the name stays as it was, and no
// temporary is left beside it.
TEST_F(QpRenderPdfPrinterTest, AFailedPlaybackKeepsTheFileThatStoodThere)
{
    TPaperLocale locale("de_DE.UTF-8");
    const QByteArray whole = WriteSnapshot([](TZvZSFWriter& w) {
        for (int line = 1; line <= 20; ++line)
            w.PrintXY(1, line * 0.3, QStringLiteral("first page line %1").arg(line));
        w.NewPage();
        for (int line = 1; line <= 20; ++line)
            w.PrintXY(1, line * 0.3, QStringLiteral("second page line %1").arg(line));
    });
    const QString pdf = Path(QStringLiteral("kept.pdf"));
    const QByteArray old = "%PDF-1.4 the PDF of last week";
    {
        QFile file(pdf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(old), old.size());
    }
    TMemoryStream stream(whole.left(whole.size() - 40));
    TZvRenderPrinter printer(nullptr);
    EXPECT_ANY_THROW(printer.PrintRender(&stream, pdf));
    EXPECT_FALSE(GlobalPrinterDevice()->Printing());
    QFile kept(pdf);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), old);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"kept.pdf"}));
}

// A range or a selection that holds no page of a 12-page report is refused
// with the printer's message before the file is asked for; one that holds a
// page prints the pages playback plays, after asking. Rows: selection,
// first and last page, pages printed (0: refused).
TEST_F(QpRenderPdfPrinterTest, ARangeWithoutAPageIsRefusedBeforeTheFileIsAskedFor)
{
    TPaperLocale locale("de_DE.UTF-8");
    const QByteArray twelve = WriteSnapshot([](TZvZSFWriter& w) {
        for (int page = 1; page <= 12; ++page) {
            if (page > 1)
                w.NewPage();
            w.PrintXY(1, 1, QStringLiteral("Page %1").arg(page));
        }
    });
    struct Row {
        int line;
        const char* selection;
        int first, last;
        int printed;
    };
    const Row rows[] = {
        {1, "", 20, 30, 0},       // wholly past the last page
        {2, "", 13, 13, 0},       // one past the last page
        {3, "", 12, 12, 1},       // the last page
        {4, "", 12, 30, 1},       // the last clamped to the count
        {5, "", 30, 20, 0},       // ends before it starts, and starts past the last
        {6, "", 5, 2, 1},         // ends before it starts: its first page
        {7, "", 20, 9999, 12},    // 9999: every page, whatever the first
        {8, "", 20, 0, 12},       // 0: likewise
        {9, "20-30", 1, 9999, 0}, // a selection wholly past the last page
        {10, "13-", 1, 9999, 0},  // from one past the last page on
        {11, "0", 1, 9999, 0},    // a page there is not
        {12, "12-", 1, 9999, 1},  // from the last page on
        {13, "even", 1, 9999, 6},
    };
    TZvRenderPrinter printer(nullptr);
    auto refusal = [&printer](TStream& stream) {
        try {
            printer.Render(&stream);
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("printed");
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << row.line);
        printer.SetSelection(QString::fromLatin1(row.selection));
        printer.SetFirstPage(row.first);
        printer.SetLastPage(row.last);
        TMemoryStream stream(twelve);
        const size_t asked = Dialogs.Service().Files.size();
        if (row.printed == 0) {
            EXPECT_EQ(refusal(stream), QStringLiteral("The report has no page to print."));
            EXPECT_EQ(Dialogs.Service().Files.size(), asked);
        } else {
            const QString pdf = Path(QStringLiteral("row-%1.pdf").arg(row.line));
            Dialogs.Answer(true, pdf);
            printer.Render(&stream);
            EXPECT_EQ(Dialogs.Service().Files.size(), asked + 1);
            EXPECT_EQ(PdfPageSizes(pdf).size(), size_t(row.printed));
        }
        EXPECT_FALSE(GlobalPrinterDevice()->Printing());
        EXPECT_FALSE(printer.Rendering());
    }
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 7);

    // A selection with a token that is no page is refused before asking too.
    TMemoryStream stream(twelve);
    const size_t asked = Dialogs.Service().Files.size();
    printer.SetSelection(QStringLiteral("20-30,"));
    EXPECT_THROW(printer.Render(&stream), EConvertError);
    EXPECT_EQ(Dialogs.Service().Files.size(), asked);

    // A damaged page chain keeps the reader's message.
    QByteArray damaged = twelve;
    qToLittleEndian<qint32>(99, damaged.data() + PageHeaderPos(twelve, 3) + 9);
    TMemoryStream bad(damaged);
    printer.SetSelection(QString());
    printer.SetFirstPage(20);
    printer.SetLastPage(30);
    EXPECT_EQ(refusal(bad), QStringLiteral("Unexpected code found in report file."));
    EXPECT_EQ(Dialogs.Service().Files.size(), asked);
}

// Rows: the report's title, the name offered.
TEST_F(QpRenderPdfPrinterTest, TheOfferedNameIsTheTitleAsAFileName)
{
    TPaperLocale locale("de_DE.UTF-8");
    const char* const rows[][2] = {
        {"M10x1.5-6H", "M10x1.5-6H.pdf"},
        {"Plug 1/2\" UNC: Go?", "Plug 1_2_ UNC_ Go_.pdf"},
        {"card.PDF", "card.PDF"},
        {"", "report.pdf"},
        {"  ", "report.pdf"},
        {"..hidden", "hidden.pdf"},
    };
    const QString longTitle(300, QLatin1Char('x'));
    TZvRenderPrinter printer(nullptr);
    for (const auto& row : rows) {
        TMemoryStream stream(Report([&row](TZvZSFWriter& w) { w.SetTitle(QString::fromUtf8(row[0])); }));
        Dialogs.Answer(false);
        EXPECT_THROW(printer.Render(&stream), EAbort);
        EXPECT_EQ(Dialogs.Service().Files.back().FileName, QString::fromUtf8(row[1])) << row[0];
    }
    TMemoryStream stream(Report([&longTitle](TZvZSFWriter& w) { w.SetTitle(longTitle); }));
    Dialogs.Answer(false);
    EXPECT_THROW(printer.Render(&stream), EAbort);
    EXPECT_EQ(Dialogs.Service().Files.back().FileName, longTitle.left(100) + QStringLiteral(".pdf"));
}

} // namespace

namespace {

// The roads a snapshot reaches the printer target by: a file played by
// name (as the report system's print phase plays it), the same file handed
// over as a stream (as the preview's Print hands it), and the snapshot in
// memory.
class QpRenderPrinterRoadsTest : public NoPrinterTest {
protected:
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // The message a print by that road ends with, or "printed".
    static QString Refusal(const std::function<void()>& print)
    {
        try {
            print();
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("printed");
    }

    QTemporaryDir Dir;
};

// A one-page report run for its page 2 only: no page is written.
QByteArray WithoutPages()
{
    return WriteSnapshot([](TZvZSFWriter& w) { w.PrintXY(1, 1, QStringLiteral("1")); },
                         [](TZvZSFWriter& w) {
                             w.SetFirstPage(2);
                             w.SetLastPage(2);
                         });
}

// The printer target's own refusals (no page to print, its page selection,
// its device) keep their message on every road; the reader's refusals of a
// damaged file name the file on both file roads, and nothing in memory.
// Rows: the fault, the message (without the file's name).
TEST_F(QpRenderPrinterRoadsTest, ARefusalNamesOnlyWhatItIsAbout)
{
    const QByteArray twelve = HeadedPages(12);
    const QByteArray none = WithoutPages();
    const QByteArray damaged = WithUnknownCommands(twelve, {LineText(5, 4)});
    QByteArray renumbered = twelve;
    qToLittleEndian<qint32>(4, renumbered.data() + PageHeaderPos(twelve, 3) + 9);
    const QString pdf = Path(QStringLiteral("report.pdf"));
    const QString blocked = Path(QStringLiteral("missing/report.pdf"));
    const QString noPage = QStringLiteral("The report has no page to print.");
    struct Row {
        int line;
        const char* fault;
        QByteArray snapshot;
        std::function<void(TZvRenderPrinter&)> setUp;
        QString message;
        bool reader; // the reader's refusal: the file is named
    };
    const Row rows[] = {
        {1, "a range past the last page", twelve,
         [](TZvRenderPrinter& p) {
             p.SetFirstPage(20);
             p.SetLastPage(30);
         },
         noPage, false},
        {2, "a selection past the last page", twelve, [](TZvRenderPrinter& p) { p.SetSelection("13-"); },
         noPage, false},
        {3, "a report without pages", none, nullptr, noPage, false},
        {4, "a selection with a token that is no page", twelve,
         [](TZvRenderPrinter& p) { p.SetSelection("1-3,x"); },
         QStringLiteral("'X' is not a valid integer value"), false},
        {5, "an output file in a folder that does not exist", twelve,
         [&blocked](TZvRenderPrinter& p) { p.SetOutputFileName(blocked); },
         QStringLiteral("Cannot create file \"%1\". The folder \"%2\" does not exist.")
             .arg(blocked, QFileInfo(blocked).path()),
         false},
        {6, "no printer and no output file", twelve, [](TZvRenderPrinter& p) { p.SetOutputFileName({}); },
         QStringLiteral("Cannot print: no printer is installed and no output file was given."), false},
        {7, "a command no reader knows on page 5", damaged, nullptr,
         QStringLiteral("Unexpected code [238] found in report file."), true},
        {8, "page 3 numbered 4", renumbered, nullptr, QStringLiteral("Unexpected code found in report file."),
         true},
        {9, "a file cut short in its last page", twelve.left(twelve.size() - 30), nullptr,
         QStringLiteral("Stream read error"), true},
    };
    const QString path = Path(QStringLiteral("report.zsf"));
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << row.line << ", " << row.fault);
        ASSERT_FALSE(row.snapshot.isEmpty());
        SaveBytesToFile(path, row.snapshot);
        const QString named = row.reader ? row.message + QLatin1Char('\n') + path : row.message;
        TZvRenderPrinter printer(nullptr);
        printer.SetOutputFileName(pdf);
        if (row.setUp)
            row.setUp(printer);
        EXPECT_EQ(Refusal([&] { printer.Render(path); }), named);
        EXPECT_FALSE(printer.Rendering());
        EXPECT_FALSE(GlobalPrinterDevice()->Printing());
        TFileStream file(path, fmOpenRead);
        EXPECT_EQ(Refusal([&] { printer.Render(&file); }), named);
        printer.SetZSFStream(nullptr);
        TMemoryStream memory(row.snapshot);
        EXPECT_EQ(Refusal([&] { printer.Render(&memory); }), row.message);
        printer.SetZSFStream(nullptr);
        EXPECT_FALSE(QFile::exists(pdf));
    }
    // The undamaged report prints by name.
    SaveBytesToFile(path, twelve);
    TZvRenderPrinter printer(nullptr);
    printer.SetOutputFileName(pdf);
    EXPECT_EQ(Refusal([&] { printer.Render(path); }), QStringLiteral("printed"));
    EXPECT_EQ(PdfPageSizes(pdf).size(), 12u);
}

// The printer device with calls that can be made to refuse: the armed one
// raises a refusal of its own. Resolution reads answer "unknown" (0) at the
// job's and the page's start, so that the target asks again while the page
// plays, and the read it makes then refuses.
class TRefusingPrinterDevice : public TQpPrinterDevice {
public:
    enum class TCall { None, PageStart, BinSelection, BinList, RawData, Resolution, VerticalResolution };
    TCall Refusing = TCall::None;

    static QString Refusal(TCall call)
    {
        return QStringLiteral("The device refused call %1.").arg(int(call));
    }

    void NewPageSelect(bool pageValid) override
    {
        Refuse(TCall::PageStart);
        TQpPrinterDevice::NewPageSelect(pageValid);
    }
    bool SelectBin(const QString& binName, bool exact) override
    {
        Refuse(TCall::BinSelection);
        return TQpPrinterDevice::SelectBin(binName, exact);
    }
    const TStringList* GetBins() override
    {
        Refuse(TCall::BinList);
        return TQpPrinterDevice::GetBins();
    }
    void RawOut(const char* buffer, int length) override
    {
        Refuse(TCall::RawData);
        TQpPrinterDevice::RawOut(buffer, length);
    }
    TRect GetWaste() override
    {
        ++FWasteReads;
        return TQpPrinterDevice::GetWaste();
    }
    int GetXDPI() override { return Resolution(TCall::Resolution); }
    int GetYDPI() override { return Resolution(TCall::VerticalResolution); }

private:
    // The printer's resolution; while the axis's reads refuse, 0 until
    // the page's start has read the margins (after the job's start), and a
    // refusal after.
    int Resolution(TCall axis)
    {
        if (Refusing != axis)
            return TQpPrinterDevice::GetXDPI();
        if (FWasteReads < 2)
            return 0;
        Refuse(axis);
        return 0;
    }
    void Refuse(TCall call)
    {
        if (Refusing == call)
            RaiseError(Refusal(call));
    }

    int FWasteReads = 0;
};

// The printer device's refusals at the page's start, in bin selection (a
// bin command of a page, and the file header's bin looked up in the list),
// in raw data (text and bytes) and in a resolution read (of either axis)
// while a page plays are the printer target's own: on both file roads they
// keep their message, without the snapshot's name, and no job is left
// open.
TEST_F(QpRenderPrinterRoadsTest, TheDevicesRefusalsKeepTheirMessageOnTheFileRoads)
{
    using TCall = TRefusingPrinterDevice::TCall;
    const QByteArray page = WriteSnapshot([](TZvZSFWriter& w) {
        w.PrintXY(1, 1, QStringLiteral("gauge"));
        w.Rectangle(1, 2, 3, 3);
    });
    const QByteArray binned = WriteSnapshot([](TZvZSFWriter& w) {
        w.SelectBin(QStringLiteral("Tray 2"));
        w.PrintXY(1, 1, QStringLiteral("gauge"));
    });
    const QByteArray rawText = WriteSnapshot([](TZvZSFWriter& w) {
        w.PrintData(QStringLiteral("raw"));
        w.PrintXY(1, 1, QStringLiteral("gauge"));
    });
    const QByteArray rawBytes = WriteSnapshot([](TZvZSFWriter& w) {
        TMemoryStream data(QByteArray("\x1B@raw", 5));
        w.PrintDataStream(data, 5);
        w.PrintXY(1, 1, QStringLiteral("gauge"));
    });
    struct Row {
        TCall call;
        QByteArray snapshot;
    };
    const Row rows[] = {
        {TCall::PageStart, page},          {TCall::BinSelection, binned}, {TCall::BinList, page},
        {TCall::RawData, rawText},         {TCall::RawData, rawBytes},    {TCall::Resolution, page},
        {TCall::VerticalResolution, page},
    };
    const QString path = Path(QStringLiteral("report.zsf"));
    const QString pdf = Path(QStringLiteral("report.pdf"));
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "call " << int(row.call));
        SaveBytesToFile(path, row.snapshot);
        const QString message = TRefusingPrinterDevice::Refusal(row.call);
        for (const bool byName : {true, false}) {
            SCOPED_TRACE(byName ? "by name" : "as a file stream");
            auto owned = std::make_unique<TRefusingPrinterDevice>();
            TRefusingPrinterDevice* device = owned.get();
            std::unique_ptr<TQPBaseDevice> shared = ExchangeGlobalDevice(std::move(owned));
            device->Refusing = row.call;
            TZvRenderPrinter printer(nullptr);
            printer.SetOutputFileName(pdf);
            TFileStream file(path, fmOpenRead);
            EXPECT_EQ(Refusal([&] {
                          if (byName)
                              printer.Render(path);
                          else
                              printer.Render(&file);
                      }),
                      message);
            EXPECT_FALSE(device->Printing());
            printer.SetZSFStream(nullptr);
            device->Refusing = TCall::None;
            EXPECT_EQ(Refusal([&] { printer.Render(path); }), QStringLiteral("printed"));
            ExchangeGlobalDevice(std::move(shared));
        }
        EXPECT_EQ(PdfPageSizes(pdf).size(), 1u);
    }
}

using QpRenderPrinterSystemTest = ReportWindowsTest;

// The report system printing a snapshot file, whose print phase plays the
// file by name: a snapshot without pages is refused with the printer's
// message alone, one with a command no reader knows with the reader's
// message and the file's name, and the PDF that stood there keeps its
// bytes.
TEST_F(QpRenderPrinterSystemTest, PrintingASnapshotFileNamesItOnlyInTheReadersRefusal)
{
    const QByteArray none = WithoutPages();
    const QByteArray damaged = WithUnknownCommands(HeadedPages(3), {LineText(2, 1)});
    ASSERT_FALSE(damaged.isEmpty());
    const QString snapshot = Path("printed.zsf");
    const QString pdf = Path("printed.pdf");
    const QByteArray old("%PDF-1.4 the last print\n");
    SaveBytesToFile(pdf, old);
    struct Row {
        int line;
        QByteArray bytes;
        QString message;
    };
    const Row rows[] = {
        {1, none, QStringLiteral("The report has no page to print.")},
        {2, damaged, QStringLiteral("Unexpected code [238] found in report file.\n") + snapshot},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << row.line);
        SaveBytesToFile(snapshot, row.bytes);
        TZvSystem system(nullptr);
        PlaySnapshotFile(system, TReportDest::rdPrinter, snapshot, pdf);
        try {
            system.Execute();
            ADD_FAILURE() << "printed";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), row.message);
        }
        EXPECT_FALSE(GlobalPrinterDevice()->Printing());
        QFile kept(pdf);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), old);
    }
}

} // namespace
