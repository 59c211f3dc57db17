// The colour of the PDF printer's files: a monochrome device mode writes
// every colour and image in grey, a colour one keeps them; straight on the
// device and through the printer render target.
#include "PaperLocale.h"
#include "PdfContent.h"
#include "PdfTools.h"
#include "SnapshotSupport.h"

#include "report/print/QpDevice.h"
#include "report/print/QpRenderPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int16_t kMonochrome = 1;
constexpr int16_t kColour = 2;

// Red in grey as Qt's greyscale PDF writes it: qGray(255, 0, 0) / 255.
constexpr double kRedAsGrey = 87 / 255.0;

class QpDeviceColourTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
    }
    TPaperLocale Paper{"de_DE.UTF-8"};
};

QByteArray Contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Coloured(const std::vector<TPdfColour>& colours)
{
    QStringList found;
    for (const TPdfColour& c : colours)
        if (!c.Grey())
            found << c.Text();
    return found;
}

// How often the colour of those components is set by one of the operators.
int Count(const std::vector<TPdfColour>& colours, const std::vector<double>& components,
          const QByteArrayList& operators)
{
    int count = 0;
    for (const TPdfColour& c : colours) {
        bool same = c.Components.size() == components.size() && operators.contains(c.Operator);
        for (size_t i = 0; same && i < components.size(); ++i)
            same = std::abs(c.Components[i] - components[i]) < 0.001;
        count += same ? 1 : 0;
    }
    return count;
}

// The first page at 50 dpi.
QImage Render(const QString& pdf)
{
    const QString stem = pdf.chopped(4);
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-f"), QStringLiteral("1"),
                       QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

// A red rectangle, a red line, a red word and a red and blue bitmap, at 600
// dpi: the rectangle from 1 to 2 inches, the line at 3 inches, the word at
// 4 inches, the bitmap from 5 to 6 inches down.
void PaintRedThings(TCanvas* canvas)
{
    canvas->Brush()->SetColor(clRed);
    canvas->FillRect(TRect{600, 600, 1200, 1200});
    canvas->Pen()->SetColor(clRed);
    canvas->Pen()->SetWidth(24);
    canvas->MoveTo(600, 1800);
    canvas->LineTo(3000, 1800);
    canvas->Font()->SetName(QStringLiteral("Arial"));
    canvas->Font()->SetHeight(-100);
    canvas->Font()->SetColor(clRed);
    canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
    canvas->TextOut(600, 2400, QStringLiteral("Tessvar"));
    TBitmap bitmap(20, 20);
    bitmap.Canvas()->Brush()->SetColor(clRed);
    bitmap.Canvas()->FillRect(TRect{0, 0, 20, 10});
    bitmap.Canvas()->Brush()->SetColor(clBlue);
    bitmap.Canvas()->FillRect(TRect{0, 10, 20, 20});
    canvas->StretchDraw(TRect{600, 3000, 1200, 3600}, bitmap);
}

// A monochrome job writes the red rectangle, line and word in grey (as
// Qt's greyscale PDF writes red) and its bitmap as grey pixels; a colour
// job on the same device keeps red and the bitmap's colours. The grey PDF
// is painted on a different writer than the colour one: it keeps the page,
// the title and the places of what is drawn, and an aborted grey job leaves
// the file that stood there.
TEST_F(QpDeviceColourTest, AMonochromeJobWritesItsPdfInGrey)
{
    TQpPrinterDevice device;
    ASSERT_TRUE(device.IsPdfPrinter());
    const auto job = [&](int16_t colour, const QString& pdf) {
        device.DevMode()->Color = colour;
        device.MarkDevModeChanged();
        device.SetTitle(QStringLiteral("Red card"));
        device.SetOutputFile(pdf);
        device.BeginDoc();
        PaintRedThings(device.GetCanvas());
        device.NewPage();
        device.GetCanvas()->TextOut(600, 600, QStringLiteral("Second"));
        device.EndDoc();
    };
    const QString grey = OutputPath(QStringLiteral("device-grey.pdf"));
    const QString colour = OutputPath(QStringLiteral("device-colour.pdf"));
    job(kMonochrome, grey);
    job(kColour, colour);

    const std::map<int, TPdfObject> greyObjects = PdfObjects(Contents(grey));
    for (const auto& [number, object] : greyObjects)
        EXPECT_FALSE(object.Broken) << number;
    const std::vector<TPdfColour> greyColours = PdfPageColours(greyObjects);
    EXPECT_EQ(Coloured(greyColours), QStringList());
    // Filled rectangle and word, stroked line.
    EXPECT_GE(Count(greyColours, {kRedAsGrey, kRedAsGrey, kRedAsGrey}, {"scn", "sc", "rg"}), 2);
    EXPECT_GE(Count(greyColours, {kRedAsGrey, kRedAsGrey, kRedAsGrey}, {"SCN", "SC", "RG"}), 1);
    const QStringList greyImages = PdfImageColourSpaces(greyObjects);
    EXPECT_FALSE(greyImages.isEmpty());
    EXPECT_EQ(greyImages.filter(QStringLiteral("/DeviceGray")), greyImages);

    const std::map<int, TPdfObject> colourObjects = PdfObjects(Contents(colour));
    const std::vector<TPdfColour> colourColours = PdfPageColours(colourObjects);
    EXPECT_GE(Count(colourColours, {1, 0, 0}, {"scn", "sc", "rg"}), 2);
    EXPECT_GE(Count(colourColours, {1, 0, 0}, {"SCN", "SC", "RG"}), 1);
    EXPECT_TRUE(PdfImageColourSpaces(colourObjects).contains(QStringLiteral("/DeviceRGB")));

    // Both files: A4, two pages, the title, the word in its place.
    for (const QString& pdf : {grey, colour}) {
        const std::vector<QSizeF> pages = PdfPageSizes(pdf);
        ASSERT_EQ(pages.size(), 2u) << pdf.toStdString();
        EXPECT_NEAR(pages[0].width(), 595, 1);
        EXPECT_NEAR(pages[0].height(), 842, 1);
        EXPECT_TRUE(RunPdfTool("pdfinfo", {pdf}).contains(QStringLiteral("Red card")));
        EXPECT_TRUE(PdfLayoutText(pdf).contains(QStringLiteral("Second")));
    }
    const QImage greyPage = Render(grey);
    const QImage colourPage = Render(colour);
    ASSERT_EQ(greyPage.size(), QSize(414, 585)); // A4 at 50 dpi
    ASSERT_EQ(colourPage.size(), greyPage.size());
    // Inside the rectangle, on the line, in the bitmap's red and blue halves.
    for (const QPoint at : {QPoint(75, 75), QPoint(100, 150), QPoint(75, 255), QPoint(75, 290)}) {
        const QRgb g = greyPage.pixel(at);
        EXPECT_TRUE(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g)) << at.x() << "," << at.y();
        EXPECT_LT(qGray(g), 128) << at.x() << "," << at.y();
        const QRgb c = colourPage.pixel(at);
        EXPECT_NE(qRed(c), qBlue(c)) << at.x() << "," << at.y();
    }
    EXPECT_EQ(greyPage.pixel(300, 400), qRgb(255, 255, 255));

    const QByteArray before = Contents(grey);
    device.DevMode()->Color = kMonochrome;
    device.MarkDevModeChanged();
    device.SetOutputFile(grey);
    device.BeginDoc();
    device.GetCanvas()->TextOut(600, 600, QStringLiteral("lost"));
    device.Abort();
    EXPECT_FALSE(device.Printing());
    EXPECT_EQ(Contents(grey), before);
    const QStringList left = QFileInfo(grey).dir().entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left.filter(QStringLiteral(".device-grey.pdf.")), QStringList());
}

// The printer render target prints the test page into a named file: in grey
// when the printer's device mode is monochrome, its red bitmap too.
TEST_F(QpDeviceColourTest, ThePrinterRenderTargetPrintsInTheDeviceModesColour)
{
    TQpPrinterDevice* device = GlobalPrinterDevice();
    ASSERT_TRUE(device->IsPdfPrinter());
    const auto print = [&](int16_t colour, const QString& pdf) {
        device->DevMode()->Color = colour;
        device->MarkDevModeChanged();
        TMemoryStream stream(TestPageSnapshot());
        TZvRenderPrinter printer(nullptr);
        printer.PrintRender(&stream, pdf);
    };
    const QString grey = OutputPath(QStringLiteral("testpage-grey.pdf"));
    const QString colour = OutputPath(QStringLiteral("testpage-colour.pdf"));
    print(kMonochrome, grey);
    print(kColour, colour);

    const std::map<int, TPdfObject> greyObjects = PdfObjects(Contents(grey));
    EXPECT_EQ(Coloured(PdfPageColours(greyObjects)), QStringList());
    const QStringList greyImages = PdfImageColourSpaces(greyObjects);
    EXPECT_FALSE(greyImages.isEmpty());
    EXPECT_EQ(greyImages.filter(QStringLiteral("/DeviceGray")), greyImages);
    EXPECT_TRUE(PdfImageColourSpaces(PdfObjects(Contents(colour))).contains(QStringLiteral("/DeviceRGB")));
    EXPECT_TRUE(PdfLayoutText(grey).contains(QStringLiteral("LeftAligned")));

    // The bitmap from (6.5, 8) to (7.5, 9) inches: grey, and red in colour.
    const QImage greyPage = Render(grey);
    const QImage colourPage = Render(colour);
    ASSERT_FALSE(greyPage.isNull());
    ASSERT_FALSE(colourPage.isNull());
    const QRgb g = greyPage.pixel(350, 425);
    EXPECT_TRUE(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g));
    EXPECT_LT(qGray(g), 128);
    EXPECT_GT(qRed(colourPage.pixel(350, 425)), 240);
    EXPECT_LT(qGreen(colourPage.pixel(350, 425)), 16);
}

} // namespace
