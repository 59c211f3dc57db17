#include "report/print/QpDevice.h"
#include "NoPrinter.h"
#include "PaperLocale.h"
#include "PdfTools.h"
#include "platform/rtl/SafeSave.h"
#include "report/print/QpFont.h"
#include "tests/support/FileSizeLimit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class BaseDevice : public TQPBaseDevice {
public:
    TCanvas* GetCanvas() override { return &FCanvas; }

private:
    TCanvas FCanvas;
};

TEST(QpDeviceTest, BaseDeviceHasALetterPageAt96DpiInLandscape)
{
    BaseDevice device;
    EXPECT_EQ(device.GetPageWidth(), 816); // 8.5 in * 96
    EXPECT_EQ(device.GetPageHeight(), 1056);
    EXPECT_EQ(device.GetOrientation(), TOrientation::poLandScape);
    EXPECT_EQ(device.GetMaxCopies(), 1);
    EXPECT_EQ(device.GetBins(), nullptr);
    EXPECT_EQ(device.GetWaste(), TRect());
    EXPECT_TRUE(device.SelectBin(QStringLiteral("Tray 2"), true));
    EXPECT_TRUE(device.SupportDuplex());
    EXPECT_EQ(device.TextWidth(QStringLiteral("abc")), 0);
}

TEST(QpDeviceTest, BaseDevicePaperSizes)
{
    struct Row {
        int line;
        int size, width, height; // paper number, tenths of a millimetre
        int pixelsWide, pixelsHigh;
    };
    // At 96 dpi: round(96 * tenths / 254) for custom sizes, round(96 * inches)
    // for papers of the table.
    const Row rows[] = {
        {1, 0, 2100, 2970, 794, 1123}, // 793.7, 1122.5: A4 by size
        {2, 9, 0, 0, 794, 1123},       // A4 by number
        {3, 39, 0, 0, 1428, 1152},     // stored 14.875 x 12
        {4, 12345, 0, 0, 816, 1056},   // unknown: letter
        {5, 256, 0, 0, 816, 1056},     // custom without a size: letter
        {6, 9, 2540, 0, 794, 1123},    // one dimension only: the number counts
        {7, 0, 1, 1, 0, 0},            // 0.378 px
    };
    for (const Row& row : rows) {
        BaseDevice device;
        EXPECT_TRUE(device.SetPaperSize(row.size, row.width, row.height));
        EXPECT_EQ(device.GetPageWidth(), row.pixelsWide) << "row " << row.line;
        EXPECT_EQ(device.GetPageHeight(), row.pixelsHigh) << "row " << row.line;
    }
}

TEST(QpDeviceTest, RenderDeviceIs600DpiAndLandscapeByDefault)
{
    TQPRenderDevice device;
    EXPECT_EQ(device.GetXDPI(), 600);
    EXPECT_EQ(device.GetPageHeight(), 5100);
    EXPECT_EQ(device.GetPageWidth(), 6600);
    device.SetOrientation(TOrientation::poPortrait);
    EXPECT_EQ(device.GetPageHeight(), 6600);
    EXPECT_EQ(device.GetPageWidth(), 5100);
    // Widths come from the font-width manager, with the canvas font.
    TFont* font = device.GetCanvas()->Font();
    font->SetName(QStringLiteral("Arial"));
    font->SetPixelsPerInch(600);
    font->SetHeight(-100);
    EXPECT_EQ(device.TextWidth(QStringLiteral("AA")), FontManager().TextWidth(*font, QStringLiteral("AA")));
    EXPECT_EQ(device.TextWidth(QStringLiteral("AA")), 133); // 800 * 12 * 600 / 43200
    EXPECT_TRUE(device.CanvasActive());
}

// Before any font is set both devices measure in the report canvas's base
// font, Arial 10, at their own resolution (not in the framework's default
// font, a few pixels high at 600 dpi).
TEST(QpDeviceTest, BeforeAnyFontIsSetTheDevicesMeasureInTheBaseFont)
{
    TQPRenderDevice render;
    TQpPrinterDevice printer;
    for (TQPBaseDevice* device : {static_cast<TQPBaseDevice*>(&render), static_cast<TQPBaseDevice*>(&printer)}) {
        const int dpi = device->GetXDPI();
        QFont arial(QStringLiteral("Arial"));
        arial.setPixelSize(int(std::lround(dpi * 10 / 72.0)));
        const double expected = QFontMetricsF(arial).horizontalAdvance(QStringLiteral("two words"));
        EXPECT_NEAR(device->TextWidth(QStringLiteral("two words")), expected, 0.01 * expected) << dpi;
    }
}

QString Message(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ESheetcaster& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

// The device on a machine without printers.
class QpDeviceNoPrinterTest : public NoPrinterTest {};

TEST_F(QpDeviceNoPrinterTest, WithoutPrinterTheDeviceIsInvalidAndItsSettingsChangeNothing)
{
    TQpPrinterDevice device;
    EXPECT_TRUE(device.InvalidPrinter());
    EXPECT_EQ(device.DeviceIndex(), -1);
    EXPECT_EQ(device.DevMode(), nullptr);
    EXPECT_EQ(device.GetMaxCopies(), 1);
    device.SetCopies(3);
    EXPECT_EQ(device.GetCopies(), 1);
    device.SetOrientation(TOrientation::poLandScape);
    EXPECT_EQ(device.GetOrientation(), TOrientation::poPortrait);
    device.SetCollate(true);
    EXPECT_FALSE(device.GetCollate());
    EXPECT_FALSE(device.SetPaperSize(9, 0, 0));
    EXPECT_FALSE(device.SelectPaper(QStringLiteral("A4"), false));
    EXPECT_FALSE(device.SelectBin(QStringLiteral("Tray"), false));
    EXPECT_FALSE(device.SelectPrinter(QStringLiteral("Office"), false));
    EXPECT_FALSE(device.SupportDuplex());
    EXPECT_EQ(device.GetPrinters()->Count(), 0);
    EXPECT_GT(device.GetFonts()->Count(), 0);

    // The canvas still measures, on a letter page at 600 dpi.
    ASSERT_NE(device.GetCanvas(), nullptr);
    EXPECT_TRUE(device.CanvasActive());
    EXPECT_EQ(device.GetXDPI(), 600);
    EXPECT_EQ(device.GetPageWidth(), 5100);
    EXPECT_EQ(device.GetPageHeight(), 6600);
    EXPECT_EQ(device.GetWaste(), TRect());
    device.GetCanvas()->Font()->SetName(QStringLiteral("Arial"));
    device.GetCanvas()->Font()->SetHeight(-100);
    EXPECT_NEAR(device.TextWidth(QStringLiteral("AA")), 133, 1);
    EXPECT_EQ(device.TextWidth(QString()), 1);

    // A job needs a printer or a file.
    EXPECT_EQ(Message([&] { device.BeginDoc(); }),
              "Cannot print: no printer is installed and no output file was given.");
    EXPECT_FALSE(device.Printing());
    EXPECT_EQ(Message([&] { device.EndDoc(); }), "Invalid method call.  Device is not printing.");
    EXPECT_EQ(Message([&] { device.NewPage(); }), "Invalid method call.  Device is not printing.");
    EXPECT_EQ(Message([&] { device.Abort(); }), "Invalid method call.  Device is not printing.");
}

struct Word {
    QString Text;
    double XMin, YMin, XMax, YMax;
    int Page;
};

// The words of a PDF file as poppler's pdftotext finds them, in points.
std::vector<Word> PdfWords(const QString& file)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        ADD_FAILURE() << "pdftotext (poppler-utils) is needed";
    QProcess process;
    process.start(tool, {QStringLiteral("-bbox"), file, QStringLiteral("-")});
    process.waitForFinished(30000);
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    std::vector<Word> words;
    int page = 0;
    static const QRegularExpression item(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(u"<page")) {
            ++page;
            continue;
        }
        words.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble(), m.captured(4).toDouble(), page});
    }
    return words;
}

TEST_F(QpDeviceNoPrinterTest, WithoutPrinterAPageDrawnOnTheCanvasPrintsIntoAPdfFile)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/qpdevice");
    QDir().mkpath(dir);
    const QString pdf = dir + QStringLiteral("/page.pdf");
    QFile::remove(pdf);

    TQpPrinterDevice device;
    device.SetTitle(QStringLiteral("Gauge card"));
    device.SetOutputFile(pdf);
    device.BeginDoc();
    EXPECT_TRUE(device.Printing());
    EXPECT_EQ(Message([&] { device.SetOutputFile(QStringLiteral("other.pdf")); }),
              "Invalid method call.  Device already printing.");
    EXPECT_EQ(Message([&] { device.BeginDoc(); }), "Invalid method call.  Device already printing.");
    TCanvas* canvas = device.GetCanvas();
    canvas->Font()->SetName(QStringLiteral("Arial"));
    canvas->Font()->SetHeight(-100); // 12 points at 600 dpi
    canvas->Font()->SetColor(clBlack);
    canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
    // Top-left corner of the text cell 2 inches right, 3 inches down.
    canvas->TextOut(1200, 1800, QStringLiteral("Tessvar"));
    canvas->Pen()->SetWidth(6);
    canvas->MoveTo(1200, 2000);
    canvas->LineTo(3000, 2000);
    device.NewPage();
    canvas->SetTextAlign(TA_BASELINE);
    canvas->TextOut(600, 600, QStringLiteral("Second"));
    device.EndDoc();
    EXPECT_FALSE(device.Printing());
    EXPECT_TRUE(device.OutputFile().isEmpty()); // a job uses its file once
    ASSERT_TRUE(QFile::exists(pdf));

    const std::vector<Word> words = PdfWords(pdf);
    ASSERT_EQ(words.size(), 2u);
    // The word's box runs from the cell top (3 in = 216 pt) to the descent.
    EXPECT_EQ(words[0].Text, "Tessvar");
    EXPECT_EQ(words[0].Page, 1);
    EXPECT_NEAR(words[0].XMin, 144, 1);
    EXPECT_NEAR(words[0].YMin, 216, 1);
    EXPECT_NEAR(words[0].YMax - words[0].YMin, 12 * 1.117, 1); // the cell of a 12-point face
    EXPECT_EQ(words[1].Text, "Second");
    EXPECT_EQ(words[1].Page, 2);
    EXPECT_NEAR(words[1].XMin, 72, 1);
    EXPECT_NEAR(words[1].YMin, 72 - 12 * 0.905, 1); // baseline at 1 inch

    // The page renders; the PNG is left beside the PDF for a look.
    const QString ppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    ASSERT_FALSE(ppm.isEmpty()) << "pdftoppm (poppler-utils) is needed";
    QProcess process;
    process.start(ppm, {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-f"), QStringLiteral("1"),
                        QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), pdf,
                        dir + QStringLiteral("/page")});
    process.waitForFinished(30000);
    const QImage png(dir + QStringLiteral("/page-1.png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(425, 550)); // letter at 50 dpi
    // Ink of the word near (100, 150) and of the line at y = 2000 / 12.
    auto inkIn = [&](const QRect& r) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(png.pixel(x, y)) < 128)
                    return true;
        return false;
    };
    EXPECT_TRUE(inkIn(QRect(100, 150, 60, 12)));
    EXPECT_TRUE(inkIn(QRect(110, 165, 130, 4)));
    EXPECT_FALSE(inkIn(QRect(300, 300, 100, 100)));
}

TEST_F(QpDeviceNoPrinterTest, AnAbortedJobLeavesNoFile)
{
    const QString pdf = QDir::tempPath() + QStringLiteral("/aborted.pdf");
    TQpPrinterDevice device;
    device.SetOutputFile(pdf);
    device.BeginDoc();
    device.GetCanvas()->TextOut(100, 100, QStringLiteral("lost"));
    device.Abort();
    EXPECT_FALSE(device.Printing());
    EXPECT_FALSE(device.Aborted());
    EXPECT_FALSE(QFile::exists(pdf));
}

// Answers the next modal dialog (and any that follows it) when the event loop
// runs.
void AnswerDialogs(bool accept)
{
    QTimer::singleShot(50, [accept] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            AnswerDialogs(false); // a follow-up question is declined
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        }
    });
}

TEST_F(QpDeviceNoPrinterTest, PrintDialogReturnsTheChosenRangeOnlyWhenConfirmed)
{
    TQpPrinterDevice device;
    TPrintDialogRec rec;
    rec.Copies = 1;
    rec.MinPage = 1;
    rec.MaxPage = 9;
    rec.FromPage = 3;
    rec.ToPage = 5;
    rec.Options = {TPrintDialogOption::poPageNums};
    rec.PrintRange = TPrintRange::prPageNums;
    AnswerDialogs(false);
    EXPECT_FALSE(device.PrintDialog(rec));
    EXPECT_EQ(rec.FromPage, 3);

    int first = 3;
    int last = 5;
    AnswerDialogs(false);
    EXPECT_FALSE(device.SimplePrintDialog(first, last));
    EXPECT_EQ(first, 3);
    AnswerDialogs(false);
    EXPECT_FALSE(device.PrinterSetupDialog());
    EXPECT_EQ(device.DevMode(), nullptr);
}

TEST(QpDeviceTest, TheGlobalDeviceIsOnePrinterDevice)
{
    TQPBaseDevice* device = GlobalDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device, GlobalDevice());
    EXPECT_EQ(GlobalPrinterDevice(), device);
    // The base device's bin is the global printer's.
    BaseDevice base;
    EXPECT_EQ(base.GetBin(),
              GlobalPrinterDevice()->DevMode() ? GlobalPrinterDevice()->DevMode()->DefaultSource : 0);
}

} // namespace

namespace {

// The "Print to PDF" printer on a machine without CUPS printers, its paper
// fixed by a German locale (A4).
class QpDevicePdfPrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
    }
    TPaperLocale Paper{"de_DE.UTF-8"};
};

TEST_F(QpDevicePdfPrinterTest, IsTheDefaultPrinterWithAFullDeviceMode)
{
    TQpPrinterDevice device;
    ASSERT_EQ(device.GetPrinters()->Count(), 1);
    EXPECT_EQ(device.GetPrinters()->Strings(0), "Print to PDF");
    EXPECT_FALSE(device.InvalidPrinter());
    EXPECT_EQ(device.DeviceIndex(), 0);
    EXPECT_TRUE(device.IsPdfPrinter());
    EXPECT_EQ(device.Device(), "Print to PDF");
    EXPECT_EQ(device.Output(), "");
    const TDevMode* dm = device.DevMode();
    ASSERT_NE(dm, nullptr);
    // A4 in tenths of a millimetre, portrait, 600 dpi, colour, one copy.
    EXPECT_EQ(dm->PaperSize, 9);
    EXPECT_EQ(dm->PaperWidth, 2100);
    EXPECT_EQ(dm->PaperLength, 2970);
    EXPECT_EQ(dm->Orientation, 1);
    EXPECT_EQ(dm->PrintQuality, 600);
    EXPECT_EQ(dm->YResolution, 600);
    EXPECT_EQ(dm->Color, 2);
    EXPECT_EQ(dm->Copies, 1);
    EXPECT_EQ(device.GetOrientation(), TOrientation::poPortrait);
    EXPECT_EQ(device.GetXDPI(), 600);
    EXPECT_EQ(device.GetWaste(), TRect()); // a PDF page has no unprintable edges
    // Qt keeps A4 as 595 x 842 points: 4958 x 7017 pixels at 600 dpi.
    EXPECT_EQ(device.GetPageHeight(), 7017);
    EXPECT_EQ(device.GetPageWidth(), 4958);

    // The papers of the paper table, no bins, no duplex; copies are no
    // limit, since one file holds the document.
    EXPECT_TRUE(device.SupportPaper(1));
    EXPECT_TRUE(device.SupportPaper(5));
    EXPECT_TRUE(device.SupportPaper(9));
    EXPECT_FALSE(device.SupportPaper(256));
    EXPECT_EQ(device.GetBins()->Count(), 0);
    EXPECT_FALSE(device.SupportDuplex());
    EXPECT_GE(device.GetMaxCopies(), 2);
    device.SetCopies(3);
    EXPECT_EQ(device.GetCopies(), 3);
}

// Paper and orientation reach the page the canvas measures against; Legal
// is 8.5 x 14 in, the custom size 100 x 150 mm (Qt keeps whole points:
// 283 x 425 pt).
TEST_F(QpDevicePdfPrinterTest, PaperAndOrientationMakeThePage)
{
    TQpPrinterDevice device;
    ASSERT_TRUE(device.IsPdfPrinter()); // chosen, with its device mode
    device.SetOrientation(TOrientation::poLandScape);
    EXPECT_EQ(device.GetPageHeight(), 4958);
    EXPECT_EQ(device.GetPageWidth(), 7017);
    device.SetOrientation(TOrientation::poPortrait);
    EXPECT_TRUE(device.SelectPaper(QStringLiteral("Legal"), false));
    EXPECT_EQ(device.DevMode()->PaperSize, 5);
    EXPECT_EQ(device.GetPageHeight(), 8400);
    EXPECT_EQ(device.GetPageWidth(), 5100);
    EXPECT_TRUE(device.SetPaperSize(0, 1000, 1500));
    EXPECT_EQ(device.DevMode()->PaperSize, DMPAPER_USER);
    EXPECT_NEAR(device.GetPageHeight(), 3543, 5);
    EXPECT_NEAR(device.GetPageWidth(), 2362, 5);
    EXPECT_FALSE(device.SetPaperSize(0, 1000, 40000)); // beyond the custom extents
    EXPECT_TRUE(device.SetPaperSize(1, 0, 0));
    EXPECT_EQ(device.GetPageHeight(), 6600);
}

TEST_F(QpDevicePdfPrinterTest, AJobNeedsAFileAndWritesThePagesPapers)
{
    TQpPrinterDevice device;
    EXPECT_EQ(Message([&] { device.BeginDoc(); }),
              "Cannot print to \"Print to PDF\": no output file was given.");
    EXPECT_FALSE(device.Printing());

    // Each page takes the paper and orientation set before it starts.
    const QString pdf = QDir::tempPath() + QStringLiteral("/pdf-printer-pages.pdf");
    QFile::remove(pdf);
    device.SetOutputFile(pdf);
    device.BeginDoc();
    device.GetCanvas()->TextOut(600, 600, QStringLiteral("A4"));
    device.SetOrientation(TOrientation::poLandScape);
    device.NewPage();
    device.GetCanvas()->TextOut(600, 600, QStringLiteral("across"));
    device.EndDoc();
    const std::vector<QSizeF> pages = PdfPageSizes(pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NEAR(pages[0].width(), 595, 1);
    EXPECT_NEAR(pages[0].height(), 842, 1);
    EXPECT_NEAR(pages[1].width(), 842, 1);
    EXPECT_NEAR(pages[1].height(), 595, 1);
}

// The PDF printer keeps its context from one job to the next (making one
// asks CUPS for its printers): each job still gets its own paper,
// orientation, resolution, colour and title, the context comes back with a
// fresh one's settings, and one handed out (to a dialog) is never kept.
TEST_F(QpDevicePdfPrinterTest, AContextKeptBetweenJobsIsSetUpAfreshForEach)
{
    const auto title = [](const QString& pdf) {
        static const QRegularExpression line(QStringLiteral("^Title: +(.*)$"),
                                             QRegularExpression::MultilineOption);
        return line.match(RunPdfTool("pdfinfo", {pdf})).captured(1).trimmed();
    };
    const auto job = [](TQpPrinterDevice& device, const QString& name, const QString& pdf) {
        device.SetTitle(name);
        device.SetOutputFile(pdf);
        device.BeginDoc();
        device.GetCanvas()->TextOut(300, 300, name);
        device.EndDoc();
    };
    TQpPrinterDevice device;
    ASSERT_TRUE(device.IsPdfPrinter());
    const QString first = QDir::tempPath() + QStringLiteral("/pdf-context-first.pdf");
    job(device, QStringLiteral("First card"), first);

    // The second job on Legal across, at 300 dpi in grey.
    device.SetOrientation(TOrientation::poLandScape);
    ASSERT_TRUE(device.SelectPaper(QStringLiteral("Legal"), false));
    device.DevMode()->PrintQuality = 300;
    device.DevMode()->Color = 1;
    device.MarkDevModeChanged();
    EXPECT_EQ(device.GetXDPI(), 300);
    EXPECT_EQ(device.GetPageWidth(), 4200);
    const QString second = QDir::tempPath() + QStringLiteral("/pdf-context-second.pdf");
    job(device, QStringLiteral("Second card"), second);
    std::vector<QSizeF> pages = PdfPageSizes(first);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NEAR(pages[0].width(), 595, 1);
    EXPECT_NEAR(pages[0].height(), 842, 1);
    pages = PdfPageSizes(second);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NEAR(pages[0].width(), 1008, 1);
    EXPECT_NEAR(pages[0].height(), 612, 1);
    EXPECT_EQ(title(first), "First card");
    EXPECT_EQ(title(second), "Second card");

    // After the jobs the context has a new one's settings, and the device
    // mode's colour.
    TQpPrinterDevice fresh;
    QPrinter* pristine = fresh.Handle();
    ASSERT_NE(pristine, nullptr);
    const auto settings = [](QPrinter* p) {
        return QStringList{p->docName(),
                           QString::number(p->copyCount()),
                           QString::number(p->collateCopies()),
                           QString::number(int(p->duplex())),
                           p->outputFileName(),
                           QString::number(int(p->printRange())),
                           QString::number(p->fromPage()),
                           QString::number(p->toPage())};
    };
    QPrinter* lent = device.Handle();
    EXPECT_EQ(settings(lent), settings(pristine));
    EXPECT_EQ(lent->colorMode(), QPrinter::GrayScale);
    EXPECT_EQ(lent->resolution(), 300);

    // What a holder of the context (a print dialog) changed goes with that
    // context.
    lent->setPrintRange(QPrinter::PageRange);
    lent->setFromTo(2, 3);
    lent->setDocName(QStringLiteral("set up by a dialog"));
    device.SetState(TDeviceState::dsNone);
    EXPECT_EQ(settings(device.Handle()), settings(pristine));
}

// A PDF that cannot be written whole (a file size limit of 3,000 bytes, as
// a full disk) is the save error naming the file, and last week's PDF of
// 20,000 bytes stays byte for byte; with room the PDF replaces it whole. An
// aborted job leaves the file that stood there and no temporary.
TEST_F(QpDevicePdfPrinterTest, ThePdfReachesItsFileWholeOrNotAtAll)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/pdf-kept");
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString pdf = dir + QStringLiteral("/card.pdf");
    QByteArray old(20000, 'o');
    old.prepend("%PDF-1.4 last week\n");
    {
        QFile file(pdf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(old), old.size());
    }
    const auto print = [&pdf](TQpPrinterDevice& device) {
        device.SetOutputFile(pdf);
        device.BeginDoc();
        for (int line = 0; line < 40; ++line)
            device.GetCanvas()->TextOut(600, 600 + line * 120,
                                        QStringLiteral("Line %1 of the gauge card").arg(line));
    };
    const QString message = RunWithFileSizeLimit(3000, [&] {
        TQpPrinterDevice device;
        print(device);
        try {
            device.EndDoc();
        } catch (const EFileSaveError& e) {
            return e.Message() + (device.Printing() ? QStringLiteral(" (still printing)") : QString());
        }
        return QStringLiteral("saved");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + pdf + "\". ")) << message.toStdString();
    EXPECT_TRUE(message.endsWith("too large")) << message.toStdString();
    const auto contents = [&pdf] {
        QFile file(pdf);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(contents(), old);
    const auto entries = [&dir] { return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System); };
    EXPECT_EQ(entries(), QStringList({"card.pdf"}));

    TQpPrinterDevice device;
    print(device);
    EXPECT_EQ(entries().size(), 2); // the job's temporary, beside the file
    device.Abort();
    EXPECT_FALSE(device.Printing());
    EXPECT_EQ(contents(), old);
    EXPECT_EQ(entries(), QStringList({"card.pdf"}));

    print(device);
    device.EndDoc();
    const QByteArray written = contents();
    EXPECT_TRUE(written.startsWith("%PDF-")) << written.left(20).constData();
    EXPECT_TRUE(written.trimmed().endsWith("%%EOF"));
    EXPECT_GT(written.size(), 3000);
    EXPECT_EQ(PdfPageSizes(pdf).size(), 1u);
    EXPECT_EQ(entries(), QStringList({"card.pdf"}));
}

// Rows: LC_ALL, LC_PAPER, LANG (null: unset), the paper number. The
// territories on Letter are those of glibc's locale data with a
// 216 x 279 mm LC_PAPER.
TEST(QpDevicePaperTest, TheLocaleGivesThePdfPrintersPaper)
{
    struct Row {
        int line;
        const char* lcAll;
        const char* lcPaper;
        const char* lang;
        int paper;
    };
    const Row rows[] = {
        {1, nullptr, nullptr, "de_DE.UTF-8", 9},
        {2, nullptr, nullptr, "en_GB.UTF-8", 9},
        {3, nullptr, nullptr, "en_US.UTF-8", 1},
        {4, nullptr, nullptr, "fr_CA.UTF-8", 1},
        {5, nullptr, nullptr, "es_MX", 1},
        {6, nullptr, nullptr, "es_ES.UTF-8@euro", 9},
        {7, nullptr, "en_US.UTF-8", "de_DE.UTF-8", 1},       // LC_PAPER before LANG
        {8, "de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8", 9}, // LC_ALL before both
        {9, "", nullptr, "en_PH.UTF-8", 1},                  // an empty variable counts as unset
        {10, nullptr, nullptr, "C", 9},
        {11, nullptr, nullptr, "en", 9}, // no territory
        {12, nullptr, nullptr, nullptr, 9},
        {13, nullptr, nullptr, "en_USA", 9},
    };
    for (const Row& row : rows) {
        TPaperLocale locale(row.lcAll, row.lcPaper, row.lang);
        EXPECT_EQ(LocalePaperSize(), row.paper) << "row " << row.line;
        TQpPrinterDevice device;
        if (device.IsPdfPrinter()) {
            EXPECT_EQ(device.DevMode()->PaperSize, row.paper) << "row " << row.line;
        }
    }
}

// The switch for tests takes the PDF printer away from the global device and
// gives it back.
TEST(QpDevicePaperTest, HidingThePdfPrinterLeavesNoPrinter)
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    TQpPrinterDevice* device = GlobalPrinterDevice();
    EXPECT_TRUE(device->IsPdfPrinter());
    SetPdfPrinterHidden(true);
    EXPECT_TRUE(PdfPrinterHidden());
    EXPECT_EQ(device->GetPrinters()->Count(), 0);
    EXPECT_TRUE(device->InvalidPrinter());
    EXPECT_EQ(device->DevMode(), nullptr);
    SetPdfPrinterHidden(false);
    EXPECT_FALSE(device->InvalidPrinter());
    EXPECT_EQ(device->Device(), "Print to PDF");
}

} // namespace
