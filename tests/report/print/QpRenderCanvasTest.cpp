#include "CanvasPlayback.h"
#include "SnapshotSupport.h"

#include "report/print/QpRenderCanvas.h"

#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

namespace {

class QpRenderCanvasTest : public NoPrinterTest {};

bool Dark(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// The dark runs crossing row y between x0 and x1: [start, end] pairs.
QList<QPair<int, int>> DarkRuns(const QImage& image, int y, int x0, int x1)
{
    QList<QPair<int, int>> runs;
    for (int x = x0; x <= x1; ++x) {
        if (!Dark(image, x, y))
            continue;
        const int start = x;
        while (x + 1 <= x1 && Dark(image, x + 1, y))
            ++x;
        runs.append({start, x});
    }
    return runs;
}

int DarkCount(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += Dark(image, x, y) ? 1 : 0;
    return count;
}

// The test page at 100 dpi: one pixel is 0.01 inch.
QImage RenderTestPage()
{
    return PlayOnLetterPage(TestPageSnapshot());
}

TEST_F(QpRenderCanvasTest, TestPagePositions)
{
    const QImage page = RenderTestPage();
    const QString file = OutputPath(QStringLiteral("canvas-testpage.png"));
    page.save(file);
    std::cout << "test page: " << file.toStdString() << std::endl;

    // Frames of 4 pixels around boxes from x = 100, 300, 500 to 200, 400,
    // 600 (row 840 crosses the rectangles, row 940 the ellipses' middle).
    struct Row {
        int line;
        int y;
        int x1, x2; // the box
        QList<QPair<int, int>> runs;
    };
    const Row rows[] = {
        {1, 840, 100, 200, {{100, 103}, {197, 200}}}, // inside: within the box
        {2, 840, 300, 400, {{298, 301}, {398, 401}}}, // split: centred on its edges
        {3, 840, 500, 600, {{496, 499}, {601, 604}}}, // outside: out by the same on both sides
        {4, 940, 100, 200, {{100, 103}, {197, 200}}}, {5, 940, 300, 400, {{298, 301}, {398, 401}}},
        {6, 940, 500, 600, {{496, 499}, {601, 604}}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DarkRuns(page, row.y, row.x1 - 10, row.x2 + 10), row.runs) << "row " << row.line;

    // The bitmap fills (650, 800) to (750, 900), red.
    EXPECT_EQ(page.pixel(700, 850) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(page.pixel(651, 801) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(page.pixel(760, 850) & 0xFFFFFF, 0xFFFFFFu);
    // The level line at y = 700 from 100 to 750.
    EXPECT_TRUE(Dark(page, 400, 700));
    EXPECT_FALSE(Dark(page, 400, 703));
    // Texts: left from x = 100 with their baseline at y = 100; centred about
    // 425; right up to 750.
    EXPECT_GT(DarkCount(page, QRect(100, 85, 40, 15)), 20);
    EXPECT_EQ(DarkCount(page, QRect(85, 80, 13, 25)), 0);
    EXPECT_EQ(DarkCount(page, QRect(100, 106, 200, 10)), 0); // below the descender of "g"
    EXPECT_GT(DarkCount(page, QRect(100, 101, 100, 5)), 0);  // which hangs below the line
    EXPECT_GT(DarkCount(page, QRect(400, 135, 50, 15)), 20);
    EXPECT_GT(DarkCount(page, QRect(710, 185, 40, 15)), 20);
    EXPECT_EQ(DarkCount(page, QRect(752, 180, 30, 25)), 0);
    // Justified: from 100 to 750.
    EXPECT_GT(DarkCount(page, QRect(100, 235, 20, 15)), 10);
    EXPECT_GT(DarkCount(page, QRect(730, 235, 20, 15)), 10);
    // Turned by 90 degrees: upwards from (150, 500), left of x = 150.
    EXPECT_GT(DarkCount(page, QRect(135, 440, 15, 60)), 20);
    EXPECT_EQ(DarkCount(page, QRect(156, 440, 30, 60)), 0); // right of the descender of "p"
    // By 180: leftwards from (400, 400), above the point.
    EXPECT_GT(DarkCount(page, QRect(330, 400, 70, 15)), 20);
    // By 270: downwards from (600, 350), right of x = 600.
    EXPECT_GT(DarkCount(page, QRect(600, 350, 15, 60)), 20);
    // Tab boxes: lines at x = 100, 300, 500, 750 across the row at 6.2 in.
    for (int x : {100, 300, 500, 750})
        EXPECT_TRUE(Dark(page, x, 612)) << x;
    EXPECT_GT(DarkCount(page, QRect(105, 600, 60, 18)), 20); // "CellOne" at its left margin
}

TEST_F(QpRenderCanvasTest, FrameBoxOfTheModes)
{
    // A 4-pixel pen around (1, 1) to (2, 2) inches at 100 dpi; the box's
    // right and bottom edges are exclusive.
    TZvRenderCanvas canvas(nullptr);
    QImage image(10, 10, QImage::Format_RGB32);
    canvas.SetPaintDevice(&image, 100, 100);
    TPen pen;
    canvas.snPenWidth = 0.04;
    canvas.PenChanged(pen);
    struct Row {
        int line;
        TFrameMode mode;
        TRect box;
    };
    const Row rows[] = {
        {1, TFrameMode::fmInside, {102, 102, 200, 200}},
        {2, TFrameMode::fmSplit, {100, 100, 201, 201}},
        {3, TFrameMode::fmOutside, {98, 98, 204, 204}}, // out by 2 on both sides (not 2 and 6)
    };
    for (const Row& row : rows) {
        canvas.snFrameMode = row.mode;
        EXPECT_EQ(canvas.FrameBox(1, 1, 2, 2), row.box) << "row " << row.line;
        EXPECT_EQ(canvas.FrameBox(2, 2, 1, 1), row.box) << "row " << row.line;
    }
    pen.SetStyle(TPenStyle::psInsideFrame);
    canvas.PenChanged(pen);
    canvas.snFrameMode = TFrameMode::fmOutside;
    EXPECT_EQ(canvas.FrameBox(1, 1, 2, 2), (TRect{100, 100, 201, 201}));
}

TEST_F(QpRenderCanvasTest, FontsAndJustifiedText)
{
    // A superscript is half a font height higher and 1/1.667 as tall; a
    // turned font's escapement is tenths of a degree; a word without spaces
    // is spread to the full width.
    const QByteArray snapshot = WriteSnapshot([](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 36);
        w.PrintXY(1, 2, QStringLiteral("H"));
        w.SetSuperscript(true);
        w.PrintXY(3, 2, QStringLiteral("H"));
        w.SetSuperscript(false);
        w.SetYPos(4);
        w.PrintBlock(QStringLiteral("WIDE"), 1, 6);
        w.SetFontRotation(90);
        w.PrintXY(7, 5, QStringLiteral("x"));
    });
    QImage image(850, 1100, QImage::Format_RGB32);
    image.fill(Qt::white);
    struct Probe : TZvRenderCanvas {
        using TZvRenderCanvas::TZvRenderCanvas;
        QList<int> Escapements;
        QList<int> Heights;
        void FontChanged(TFont& font) override
        {
            TZvRenderCanvas::FontChanged(font);
            Escapements << FCurrFont.Escapement;
            Heights << FCurrFont.Font.pixelSize();
        }
    } canvas(nullptr);
    canvas.SetPaintDevice(&image, 100, 100);
    TMemoryStream stream(snapshot);
    canvas.Render(&stream);
    EXPECT_TRUE(canvas.Heights.contains(50)); // 36 pt = 0.5 in
    EXPECT_TRUE(canvas.Heights.contains(30)); // 50 / 1.667
    EXPECT_EQ(canvas.Escapements.last(), 900);
    auto inkTop = [&](int x0, int x1) {
        for (int y = 0; y < 400; ++y)
            for (int x = x0; x < x1; ++x)
                if (Dark(image, x, y))
                    return y;
        return -1;
    };
    const int normalTop = inkTop(100, 160);
    const int superTop = inkTop(300, 360);
    EXPECT_NEAR(normalTop, 200 - 36, 3);     // cap height of 0.5 in Arial
    EXPECT_NEAR(superTop, 200 - 25 - 22, 3); // up by 25, cap height of 30 px
    // The letters of WIDE stand from 100 to 700 (less the side bearings).
    int left = 850;
    int right = -1;
    for (int y = 360; y < 400; ++y)
        for (int x = 90; x < 760; ++x)
            if (Dark(image, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_NEAR(left, 101, 3);
    EXPECT_NEAR(right, 696, 4);
}

// A justified text's later words are drawn without the spaces before them,
// ending where the whole segment ended: the page is the same pixel for
// pixel as with the segments drawn, also where the font kerns a space with
// the letter beside it. Under an underline or a strike-out the spaces are
// drawn, for the line under them.
TEST_F(QpRenderCanvasTest, JustifiedWordsStandWhereTheirSegmentsEnded)
{
    struct SegmentsDrawn : TZvRenderCanvas {
        using TZvRenderCanvas::TZvRenderCanvas;
        void TextSegmentOut(const QString& text, double& x, double& y, double advance) override
        {
            TextSegmentPos(x, y, advance);
            TextOutput(text, x, y, TA_RIGHT);
        }
    };
    const auto play = [](TZvRenderCanvas& canvas, const QByteArray& snapshot) {
        QImage image(850, 1100, QImage::Format_RGB32);
        image.fill(Qt::white);
        canvas.SetPaintDevice(&image, 100, 100);
        TMemoryStream stream(snapshot);
        canvas.Render(&stream);
        return image;
    };
    for (const bool underline : {false, true}) {
        SCOPED_TRACE(underline);
        const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
            w.SetFont(QStringLiteral("Arial"), 28);
            w.SetUnderline(underline);
            w.SetYPos(2);
            w.PrintBlock(QStringLiteral("AT  Tw AV Y.   To"), 1, 6.5);
            w.SetYPos(3);
            w.PrintBlock(QStringLiteral("Lay out wide"), 1.5, 5);
        });
        TZvRenderCanvas words(nullptr);
        SegmentsDrawn segments(nullptr);
        const QImage image = play(words, snapshot);
        EXPECT_EQ(image, play(segments, snapshot));
        EXPECT_GT(DarkCount(image, QRect(100, 150, 650, 60)), 500);
    }
}

// Texts are drawn transparent, also when the report asked for an opaque
// text background: the grey box under a text keeps showing between its
// letters, where an opaque background box would be white.
TEST_F(QpRenderCanvasTest, TextIsDrawnTransparentWhateverTheBackgroundMode)
{
    for (TBKMode mode : {TBKMode::bkTransparent, TBKMode::bkOpaque}) {
        const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
            w.SetPen(clSilver, TPenStyle::psSolid, 1, TPenMode::pmCopy);
            w.SetBrush(clSilver, TBrushStyle::bsSolid, nullptr);
            w.Rectangle(1, 1, 4, 2);
            w.SetTextBKMode(mode);
            w.SetFont(QStringLiteral("Arial"), 24);
            w.PrintXY(1.2, 1.6, QStringLiteral("i i i"));
        });
        const QImage image = PlayOnLetterPage(snapshot);
        // The text's cell: from the left of "i i i" and 0.3 in above its
        // baseline down to it.
        int white = 0;
        for (int y = 130; y < 160; ++y)
            for (int x = 120; x < 160; ++x)
                white += (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFFFu ? 1 : 0;
        EXPECT_EQ(white, 0) << int(mode);
        EXPECT_GT(DarkCount(image, QRect(120, 130, 40, 30)), 20) << int(mode); // the letters are there
    }
}

} // namespace
