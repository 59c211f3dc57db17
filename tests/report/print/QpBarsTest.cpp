// Barcode symbols: the standards' worked examples, encoder choices, and the
// geometry of the drawn bars (collected through OverrideBar, so that each
// bar's rectangle is exact).
#include "RecordingReport.h"

#include "report/print/QpBars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct Bar {
    double x1, y1, x2, y2;
};

// Prints the symbol with every bar handed to a collector.
std::vector<Bar> Bars(TQPBarsBase& bars)
{
    std::vector<Bar> out;
    bars.OverrideBar = [&](double x1, double y1, double x2, double y2) { out.push_back({x1, y1, x2, y2}); };
    bars.Print();
    bars.OverrideBar = nullptr;
    return out;
}

// The element widths of a Rot0 symbol in modules, bar first: "2122...".
QString Modules(const std::vector<Bar>& bars, double module)
{
    QString out;
    for (size_t i = 0; i < bars.size(); ++i) {
        if (i > 0)
            out += QString::number(std::lround((bars[i].x1 - bars[i - 1].x2) / module));
        out += QString::number(std::lround((bars[i].x2 - bars[i].x1) / module));
    }
    return out;
}

double Span(const std::vector<Bar>& bars)
{
    double lo = 1e9, hi = -1e9;
    for (const Bar& b : bars) {
        lo = std::min({lo, b.x1, b.x2});
        hi = std::max({hi, b.x1, b.x2});
    }
    return hi - lo;
}

QString Chars(std::initializer_list<int> codes)
{
    QString s;
    for (int c : codes)
        s += QChar(char16_t(c));
    return s;
}

// ---------------------------------------------------------------------------
// Check characters and data (ISO/IEC 16390 Annex A, 16388 Annex A,
// 15420 Annex A, USPS Publication 25).

TEST(QpBarsTest, CheckCharactersAndDataOfTheLinearSymbols)
{
    TQPBars2of5 i25(nullptr);
    i25.SetText(QStringLiteral("1x2 3"));
    EXPECT_EQ(i25.Text(), u"123");
    EXPECT_EQ(i25.ReadableText(), u"0123"); // odd count: a leading 0
    i25.SetUseChecksum(true);
    EXPECT_EQ(i25.ReadableText(), u"1236"); // 3*3 + 2 + 3*1 = 14, 10 - 4 = 6
    // 4 start + 4 digits of (2 wide + 3 narrow) + stop (wide + 2 narrow).
    EXPECT_NEAR(Span(Bars(i25)), i25.Width(), 1e-9);
    EXPECT_NEAR(i25.Width(), (4 + 4 * 9 + 5) * 0.01, 1e-9);

    TQPBarsCode39 c39(nullptr);
    c39.SetText(QStringLiteral("ABc"));
    EXPECT_EQ(c39.Text(), u"AB"); // lower case only in full-ASCII mode
    c39.SetText(QStringLiteral("ABC"));
    c39.SetUseChecksum(true);
    EXPECT_EQ(c39.Checksum(), u"X"); // 10 + 11 + 12 = 33
    // Start, A, B, C, X, stop: six characters of 15 modules, five gaps.
    EXPECT_NEAR(Span(Bars(c39)), c39.Width(), 1e-9);
    EXPECT_NEAR(c39.Width(), (6 * 15 + 5) * 0.01, 1e-9);

    TQPBarsPostNet post(nullptr);
    post.SetText(QStringLiteral("123"));
    EXPECT_EQ(post.Text(), u"00123");
    EXPECT_EQ(post.Checksum(), u"4");
    // Digit 1: half, half, half, full, full (weights 7 4 2 1 0).
    post.SetText(QStringLiteral("11111"));
    post.SetUseChecksum(false);
    const std::vector<Bar> ones = Bars(post);
    ASSERT_EQ(ones.size(), size_t(2 + 25));
    QString heights;
    for (size_t i = 1; i <= 5; ++i)
        heights += std::abs(ones[i].y2 - ones[i].y1 - 0.125) < 1e-9 ? u'F' : u'H';
    EXPECT_EQ(heights.toStdString(), "HHHFF");
    EXPECT_NEAR(ones[1].y2, ones[4].y2, 1e-9); // half bars stand on the bar line
    post.SetUseChecksum(true);
    post.SetText(QStringLiteral("123456789012"));
    EXPECT_EQ(post.Text(), u"12345678901");
    EXPECT_NEAR(Span(Bars(post)), post.Width(), 1e-9);
}

// Facing identification marks, USPS Publication 25, FIM patterns: bars
// 1/32 inch wide, 5/8 inch tall, on a 1/16-inch pitch: A 110010011,
// B 101101101, C 110101011.
TEST(QpBarsTest, FacingIdentificationMarks)
{
    TQPBarsPostNet post(nullptr);
    std::vector<Bar> bars;
    post.OverrideBar = [&](double x1, double y1, double x2, double y2) { bars.push_back({x1, y1, x2, y2}); };
    const struct {
        void (TQPBarsPostNet::*print)(double, double);
        const char* pattern;
    } marks[] = {{&TQPBarsPostNet::PrintFimA, "110010011"},
                 {&TQPBarsPostNet::PrintFimB, "101101101"},
                 {&TQPBarsPostNet::PrintFimC, "110101011"}};
    for (const auto& mark : marks) {
        bars.clear();
        (post.*mark.print)(1, 2);
        QString pattern(9, u'0');
        for (const Bar& b : bars) {
            EXPECT_NEAR(b.x2 - b.x1, 1.0 / 32, 1e-9);
            EXPECT_NEAR(b.y2 - b.y1, 5.0 / 8, 1e-9);
            EXPECT_EQ(b.y1, 2);
            pattern[std::lround((b.x1 - 1) * 16)] = u'1';
        }
        EXPECT_EQ(pattern.toStdString(), mark.pattern);
    }
}

TEST(QpBarsTest, Code39FullAsciiCheckIsOneOfThe43Characters)
{
    TQPBarsCode39 c39(nullptr);
    c39.SetExtended(true);
    c39.SetText(QStringLiteral("a\x01~"));
    EXPECT_EQ(c39.ExtendedText(), u"+A$A%S");
    c39.SetUseChecksum(true);
    // Over the symbol characters: + 41, A 10, $ 39, A 10, % 42, S 28 = 170,
    // 170 mod 43 = 41, "+".
    EXPECT_EQ(c39.Checksum(), u"+");
    EXPECT_EQ(c39.ReadableText(), u"+A$A%S+");
    EXPECT_NEAR(Span(Bars(c39)), c39.Width(), 1e-9);
    // A lower-case letter kept from full-ASCII mode has no symbol character:
    // it stays out of the sum (no negative index) and draws nothing.
    c39.SetExtended(false);
    EXPECT_EQ(c39.Checksum(), u"0");
    EXPECT_NO_THROW(Bars(c39));
}

TEST(QpBarsTest, UpcAndEanDataAndCheckDigits)
{
    TQPBarsUPC upc(nullptr);
    upc.SetText(QStringLiteral("12345"));
    EXPECT_EQ(upc.Text(), u"00000012345");
    upc.SetText(QStringLiteral("1234567890123"));
    EXPECT_EQ(upc.Text(), u"12345678901");
    upc.SetText(QStringLiteral("03600029145"));
    EXPECT_EQ(upc.Checksum(), u"2");
    upc.SetUseChecksum(false);
    EXPECT_TRUE(upc.UseChecksum());
    EXPECT_EQ(upc.ReadableText(), u"036000291452");
    const std::vector<Bar> upcBars = Bars(upc);
    EXPECT_NEAR(Span(upcBars), 95 * 0.01, 1e-9);
    EXPECT_NEAR(upc.Width(), 95 * 0.01, 1e-9);

    TQPBarsEAN ean(nullptr);
    ean.SetText(QStringLiteral("400638133393"));
    EXPECT_EQ(ean.Checksum(), u"1");
    // A leading 0 takes the left half from set A only: the UPC-A symbol.
    ean.SetText(QStringLiteral("003600029145"));
    const std::vector<Bar> eanBars = Bars(ean);
    EXPECT_EQ(Modules(eanBars, 0.01), Modules(upcBars, 0.01));
}

// ---------------------------------------------------------------------------
// Code 128 encoder (ISO/IEC 15417 Table 1 values).

TEST(QpBarsTest, Code128StartSetAndValues)
{
    TQPBarsCode128 c(nullptr);
    const struct {
        QString text;
        TCodePage128 start;
        QList<int> values;
    } rows[] = {
        {QStringLiteral("123456"), TCodePage128::cpCodeC, {12, 34, 56}},
        // C needs four values (12, 34, CODE B, "5"), A and B five.
        {QStringLiteral("12345"), TCodePage128::cpCodeC, {12, 34, 100, 21}},
        // A needs CODE B first.
        {QStringLiteral("ab"), TCodePage128::cpCodeB, {65, 66}},
    };
    for (const auto& row : rows) {
        c.SetText(row.text);
        EXPECT_EQ(c.CodePageUsed(), row.start) << row.text.toStdString();
        EXPECT_EQ(c.Encoded(), row.values) << row.text.toStdString();
    }
    c.SetText(QStringLiteral("123456"));
    // Start 11, three values, check 11, stop 13 modules.
    EXPECT_NEAR(c.Width(), 68 * 0.01, 1e-9);
    EXPECT_EQ(Modules(Bars(c), 0.01).size(), 6 * 5 + 7);
    EXPECT_NEAR(Span(Bars(c)), 68 * 0.01, 1e-9);
    // (105 + 12 + 2*34 + 3*56) mod 103 = 44.
    EXPECT_EQ(c.Checksum(), QString(QChar(44)));
}

TEST(QpBarsTest, Code128FixedStartSetAndFunctionCharacters)
{
    TQPBarsCode128 c(nullptr);
    c.SetOptimize(false);
    c.SetCodePage(TCodePage128::cpCodeC);
    c.SetText(QStringLiteral("a123456"));
    EXPECT_EQ(c.Encoded(), (QList<int>{100, 65, 99, 12, 34, 56}));
    c.SetText(QStringLiteral("1a23456"));
    EXPECT_EQ(c.Encoded(), (QList<int>{100, 17, 65, 18, 19, 20, 21, 22}));
    c.SetText(Chars({241, '1', '2'}));
    EXPECT_EQ(c.Encoded(), (QList<int>{102, 12}));

    // SHIFT takes one character from the other set, then the set returns.
    c.SetCodePage(TCodePage128::cpCodeB);
    c.SetText(Chars({'a', 248, 1, 'b'}));
    EXPECT_EQ(c.Encoded(), (QList<int>{65, 98, 65, 66}));
    c.SetCodePage(TCodePage128::cpCodeA);
    c.SetText(Chars({'A', 248, 'a', 'B'}));
    EXPECT_EQ(c.Encoded(), (QList<int>{33, 98, 65, 34}));

    // The digit run is found at any position, also past character 255.
    c.SetOptimize(true);
    c.SetText(QString(300, u'x') + QStringLiteral("123456"));
    EXPECT_EQ(c.Encoded().mid(300), (QList<int>{99, 12, 34, 56}));
}

// ---------------------------------------------------------------------------
// Geometry and the print frame.

class QpBarsGeometryTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        report = std::make_unique<RecordingReport>(&device);
        report->Begin();
    }
    std::unique_ptr<RecordingReport> report;
};

TEST_F(QpBarsGeometryTest, JustificationChangeKeepsTheBarsInPlace)
{
    for (TBarCodeRotation rotation : {TBarCodeRotation::Rot0, TBarCodeRotation::Rot180}) {
        TQPBarsCode39 c39(report.get());
        c39.SetText(QStringLiteral("AB"));
        c39.SetBarCodeRotation(rotation);
        c39.SetLeft(2);
        const std::vector<Bar> before = Bars(c39);
        c39.SetBarCodeJustify(TPrintJustify::pjCenter);
        const double sign = rotation == TBarCodeRotation::Rot0 ? 1 : -1;
        EXPECT_NEAR(c39.Position(), 2 + sign * c39.Width() / 2, 1e-9);
        const std::vector<Bar> after = Bars(c39);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_NEAR(after[i].x1, before[i].x1, 1e-9);
        // Rot180 runs towards smaller X from its left anchor.
        for (const Bar& b : after) {
            if (rotation == TBarCodeRotation::Rot180) {
                EXPECT_LE(std::max(b.x1, b.x2), 2 + 1e-9);
            } else {
                EXPECT_GE(std::min(b.x1, b.x2), 2 - 1e-9);
            }
        }
    }
}

TEST_F(QpBarsGeometryTest, ReadableTextHeightAndUpcBarHeights)
{
    TQPBarsUPC upc(report.get());
    upc.SetText(QStringLiteral("03600029145"));
    upc.SetTop(1);
    const double rh = upc.ReadableHeight();
    EXPECT_GT(rh, 0);
    EXPECT_NEAR(upc.Height(), 0.5 + rh, 1e-9);
    EXPECT_NEAR(upc.Bottom(), 1.5 + rh, 1e-9);
    std::vector<Bar> bars = Bars(upc);
    // Guards (the first two and last two bars) keep the full height.
    EXPECT_NEAR(bars.front().y2 - bars.front().y1, 0.5, 1e-9);
    // Data bars end half a text line higher (of the fitted, smaller font).
    EXPECT_LT(bars[2].y2 - bars[2].y1, 0.5 - 0.25 * rh);
    EXPECT_GE(bars[2].y2 - bars[2].y1, 0.5 - rh / 2 - 1e-9);

    upc.SetPrintReadable(false);
    EXPECT_EQ(upc.ReadableHeight(), 0);
    EXPECT_EQ(upc.Height(), 0.5);
    bars = Bars(upc);
    for (const Bar& b : bars)
        EXPECT_NEAR(b.y2 - b.y1, 0.5, 1e-9);

    // Hanging symbols: text above the bars, rotated 180.
    upc.SetPrintReadable(true);
    upc.SetPrintTop(true);
    upc.SetBarCodeRotation(TBarCodeRotation::Rot180);
    EXPECT_NEAR(upc.BarTop(), 1 - rh, 1e-9);
    EXPECT_NEAR(upc.BarBottom(), 0.5 - rh, 1e-9);
    upc.SetBarBottom(3);
    EXPECT_NEAR(upc.Top(), 3 - 0.5 - rh, 1e-9);
}

TEST_F(QpBarsGeometryTest, OverridesAndMissingReport)
{
    TQPBarsCode128 c(nullptr);
    c.SetText(QStringLiteral("ab"));
    try {
        c.Print();
        FAIL() << "no error";
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), u"TBaseReport object not defined.  Printing Aborted.");
    }
    // The host's bar handler takes every bar; no text is printed.
    EXPECT_EQ(Bars(c).size(), size_t(4 * 3 + 4)); // start, a, b, check; stop

    // With a canvas the bar handler still takes the bars, and no text goes out.
    TQPBarsCode128 onCanvas(report.get());
    onCanvas.SetText(QStringLiteral("ab"));
    report->Calls.clear();
    EXPECT_EQ(Bars(onCanvas).size(), size_t(16));
    EXPECT_TRUE(report->Calls.isEmpty());
    // Only a text handler: nothing drawn, nothing printed, no error.
    onCanvas.OverrideText = [](QString&) {};
    report->Calls.clear();
    EXPECT_NO_THROW(onCanvas.Print());
    EXPECT_TRUE(report->Calls.isEmpty());
    onCanvas.OverrideText = nullptr;
    onCanvas.Print();
    EXPECT_EQ(report->Calls.size(), 1); // the readable text
}

// A canvas whose bars fail after the first: the brush and pen come back.
class FailingReport : public RecordingReport {
public:
    using RecordingReport::RecordingReport;
    int Drawn = 0;
    TColor BrushSeen = clWhite;
    void Rectangle(double, double, double, double) override
    {
        BrushSeen = GetCanvas()->Brush()->Color();
        if (++Drawn > 1)
            throw ESheetcaster(QStringLiteral("device failed"));
    }
};

TEST_F(QpBarsGeometryTest, BrushAndPenComeBackAfterAnError)
{
    FailingReport failing(&device);
    failing.Begin();
    failing.SetBrush(clRed, TBrushStyle::bsDiagCross, nullptr);
    failing.SetPen(clBlue, TPenStyle::psDash, 3, TPenMode::pmXor);
    TQPBars2of5 i25(&failing);
    i25.SetText(QStringLiteral("12"));
    EXPECT_THROW(i25.Print(), ESheetcaster);
    EXPECT_EQ(failing.BrushSeen, clBlack);
    const TCanvas* canvas = failing.GetCanvas();
    EXPECT_EQ(canvas->Brush()->Color(), clRed);
    EXPECT_EQ(canvas->Brush()->Style(), TBrushStyle::bsDiagCross);
    EXPECT_EQ(canvas->Pen()->Color(), clBlue);
    EXPECT_EQ(canvas->Pen()->Style(), TPenStyle::psDash);
    EXPECT_EQ(canvas->Pen()->Mode(), TPenMode::pmXor);
}

} // namespace
