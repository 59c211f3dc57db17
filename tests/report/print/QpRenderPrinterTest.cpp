#include "SnapshotSupport.h"

#include "report/print/QpDevice.h"
#include "report/print/QpRenderPrinter.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

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
