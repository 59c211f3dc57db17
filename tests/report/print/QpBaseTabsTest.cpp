// Tab stops, the boxes and shading that Tab draws, and the merging of box
// lines buffered for the end of the page. The line of text used is 1 to 1.2
// inches (a 12-point font gives lines of 0.2 inch).
#include "tests/report/print/RecordingReport.h"

namespace {

using TabsTest = RecordingTest;

constexpr int NA = TBaseReport::NA;

void BeginOnLine(RecordingReport& report)
{
    report.Begin();
    report.SetLineTop(1);
    report.Calls.clear();
}

TEST_F(TabsTest, StopsFollowOneAnotherAndKeepTheirBoxOnlyWithAWidth)
{
    RecordingReport report(&device);
    report.SetMarginLeft(0.75);
    report.SetTab(-1, TPrintJustify::pjCenter, 0.5, 0, 0, 0); // no stop yet: the left margin
    report.ClearTabs();
    report.SetTab(1, TPrintJustify::pjLeft, 2, 10, 15, 20);
    report.SetTab(-1, TPrintJustify::pjRight, 0, 10, 15, 20);
    report.SetTab(-1, TPrintJustify::pjCenter, 1, 0, 0, 0);
    struct Row {
        int line;
        int index;
        double pos, width, margin;
        bool lines;
        int shade;
    };
    const Row rows[] = {
        {1, 1, 1, 2, 0.1, true, 20}, // margin in hundredths of an inch
        {2, 2, 3, 0, 0, false, 0},   // width 0: no box, margin or shading
        {3, 3, 3, 1, 0, false, 0},   // follows a stop of width 0
    };
    for (const Row& row : rows) {
        const TTab* tab = report.GetTab(row.index);
        ASSERT_NE(tab, nullptr) << "row " << row.line;
        EXPECT_EQ(tab->Pos, row.pos) << "row " << row.line;
        EXPECT_EQ(tab->Width, row.width) << "row " << row.line;
        EXPECT_EQ(tab->Margin, row.margin) << "row " << row.line;
        EXPECT_EQ(tab->Left && tab->Right && tab->Top && tab->Bottom, row.lines) << "row " << row.line;
        EXPECT_EQ(tab->Shade, row.shade) << "row " << row.line;
    }
    EXPECT_EQ(report.GetTab(0), report.GetTab(3)); // the stop set last
    EXPECT_EQ(report.GetTab(4), nullptr);
    EXPECT_EQ(report.GetTab(-1), nullptr);
    EXPECT_DOUBLE_EQ(report.TabStart(1), 1.1);
    EXPECT_DOUBLE_EQ(report.TabEnd(1), 2.9);
    EXPECT_DOUBLE_EQ(report.TabWidth(1), 1.8);
    EXPECT_EQ(report.TabWidth(4), 0);
    report.SetUnits(TPrintUnits::unMM);
    EXPECT_DOUBLE_EQ(report.TabStart(1), 1.1 * 25.4);

    RecordingReport first(&device);
    first.SetMarginLeft(0.75);
    first.SetTab(-1, TPrintJustify::pjLeft, 0.5, 0, 0, 0);
    EXPECT_EQ(first.GetTab(1)->Pos, 0.75);
}

TEST_F(TabsTest, TabSetsAreStackedAndSavedAsCopies)
{
    RecordingReport report(&device);
    EXPECT_FALSE(report.PushTabs()); // no current set
    EXPECT_FALSE(report.SaveTabs(1));
    EXPECT_FALSE(report.PopTabs());
    EXPECT_FALSE(report.RestoreTabs(1));
    report.SetTab(1, TPrintJustify::pjLeft, 1, 0, 0, 0);
    report.SetTab(-1, TPrintJustify::pjLeft, 1, 0, 0, 0);
    EXPECT_FALSE(report.SaveTabs(0));
    EXPECT_FALSE(report.SaveTabs(11));
    EXPECT_TRUE(report.SaveTabs(10));
    EXPECT_TRUE(report.PushTabs());
    report.GetTab(1)->Pos = 5; // the copies keep their own stops
    report.ClearTabs();
    report.SetTab(4, TPrintJustify::pjLeft, 1, 0, 0, 0);
    EXPECT_TRUE(report.PopTabs());
    EXPECT_EQ(report.GetTab(1)->Pos, 1);
    EXPECT_EQ(report.GetTab(0), report.GetTab(1)); // the first stop is current
    EXPECT_FALSE(report.PopTabs());
    report.GetTab(1)->Pos = 6;
    EXPECT_TRUE(report.RestoreTabs(10));
    EXPECT_EQ(report.GetTab(1)->Pos, 1);
    EXPECT_EQ(report.GetTab(0), nullptr);
    report.ClearAllTabs();
    EXPECT_FALSE(report.RestoreTabs(10));
    EXPECT_EQ(report.GetTab(1), nullptr);
}

TEST_F(TabsTest, TabDrawsTheSidesTheWidthsAsk)
{
    struct Row {
        int line;
        uint8_t lines;
        int left, right, top, bottom;
        QStringList calls;
    };
    // Sides in the order left (up), right (down), top (rightwards), bottom
    // (leftwards); w is the pen width in pixels, -1 being 0.01 inch.
    const Row rows[] = {
        {1,
         15,
         NA,
         NA,
         NA,
         NA,
         {QStringLiteral("MoveTo 1 1.2 w1"), QStringLiteral("LineTo 1 1 w1"), QStringLiteral("MoveTo 3 1 w1"),
          QStringLiteral("LineTo 3 1.2 w1"), QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 3 1 w1"),
          QStringLiteral("MoveTo 3 1.2 w1"), QStringLiteral("LineTo 1 1.2 w1")}},
        {2,
         15,
         0,
         NA,
         2,
         -1,
         {QStringLiteral("MoveTo 3 1 w1"), QStringLiteral("LineTo 3 1.2 w1"), QStringLiteral("MoveTo 1 1 w2"),
          QStringLiteral("LineTo 3 1 w2"), QStringLiteral("MoveTo 3 1.2 w3"),
          QStringLiteral("LineTo 1 1.2 w3")}},
        // A width draws a side the stop does not have.
        {3, 0, NA, NA, 4, NA, {QStringLiteral("MoveTo 1 1 w4"), QStringLiteral("LineTo 3 1 w4")}},
        {4, 0, NA, NA, NA, NA, {}},
    };
    for (const Row& row : rows) {
        RecordingReport report(&device);
        BeginOnLine(report);
        report.SetNoBufferLine(true);
        report.SetTab(1, TPrintJustify::pjLeft, 2, 0, row.lines, 0);
        report.Tab(row.left, row.right, row.top, row.bottom, NA);
        EXPECT_EQ(report.Calls, row.calls) << "row " << row.line;
        EXPECT_EQ(report.GetCanvas()->Pen()->Width(), 1) << "row " << row.line; // pen restored
        EXPECT_TRUE(report.OnTab()) << "row " << row.line;
        report.Finish();
    }
}

TEST_F(TabsTest, ShadedBoxesFillWithAClearPenAndRestoreTheCanvas)
{
    struct Row {
        int line;
        uint8_t stopShade;
        int tabShade;
        int shadeOverride;
        int shown; // 0: no box
    };
    const Row rows[] = {
        {1, 30, 0, NA, 30},  {2, 0, 10, NA, 10},   // the canvas's TabShade for a stop without
        {3, 30, 10, NA, 30},                       // the stop's own first
        {4, 30, 0, 0, 0},                          // an override of 0 shades nothing
        {5, 0, 0, 50, 50},   {6, 0, 0, 0x132, 50}, // the low byte
        {7, 0, 0, NA, 0},
    };
    for (const Row& row : rows) {
        RecordingReport report(&device);
        BeginOnLine(report);
        report.SetTabColor(clRed);
        report.SetTabShade(row.tabShade);
        report.SetBrush(clBlue, TBrushStyle::bsCross, nullptr);
        TCanvas* canvas = report.GetCanvas();
        canvas->SetBackgroundMode(TBackgroundMode::bmOpaque);
        report.SetTab(1, TPrintJustify::pjLeft, 2, 0, 0, row.stopShade);
        report.Tab(NA, NA, NA, NA, row.shadeOverride);
        QStringList expected;
        if (row.shown)
            expected.append(QStringLiteral("TabRect 1 1 3 1.2 fill=%1 pen=clear transparent=1")
                                .arg(ShadeToColor(clRed, uint8_t(row.shown)), 6, 16, QLatin1Char('0')));
        EXPECT_EQ(report.Calls, expected) << "row " << row.line;
        EXPECT_EQ(canvas->Brush()->Color(), clBlue) << "row " << row.line;
        EXPECT_EQ(canvas->Brush()->Style(), TBrushStyle::bsCross) << "row " << row.line;
        EXPECT_EQ(canvas->Pen()->Style(), TPenStyle::psSolid) << "row " << row.line;
        EXPECT_EQ(canvas->BackgroundMode(), TBackgroundMode::bmOpaque) << "row " << row.line;
        report.Finish();
    }
    // A stop without a width has no box to shade.
    RecordingReport report(&device);
    BeginOnLine(report);
    report.SetTabShade(40);
    report.SetTab(1, TPrintJustify::pjLeft, 0, 0, 15, 40);
    report.Tab();
    EXPECT_TRUE(report.Calls.isEmpty());
    report.Finish();
}

TEST_F(TabsTest, AdjacentBoxesShareTheirLinesAtTheEndOfThePage)
{
    RecordingReport report(&device);
    BeginOnLine(report);
    report.SetTab(1, TPrintJustify::pjLeft, 1, 0, 15, 0);
    report.SetTab(-1, TPrintJustify::pjLeft, 1, 0, 15, 0);
    report.Tab();
    report.Tab();
    EXPECT_TRUE(report.Calls.isEmpty()); // buffered
    EXPECT_EQ(report.BufferedLineCount(), 5);
    report.EndPage();
    const QStringList expected = {
        // Vertical lines first: the shared side at 2 once.
        QStringLiteral("MoveTo 1 1 w1"),
        QStringLiteral("LineTo 1 1.2 w1"),
        QStringLiteral("MoveTo 2 1 w1"),
        QStringLiteral("LineTo 2 1.2 w1"),
        QStringLiteral("MoveTo 3 1 w1"),
        QStringLiteral("LineTo 3 1.2 w1"),
        // The tops and the bottoms of both boxes as one line each.
        QStringLiteral("MoveTo 1 1 w1"),
        QStringLiteral("LineTo 3 1 w1"),
        QStringLiteral("MoveTo 1 1.2 w1"),
        QStringLiteral("LineTo 3 1.2 w1"),
    };
    EXPECT_EQ(report.Calls, expected);
    EXPECT_EQ(report.BufferedLineCount(), 0);
    EXPECT_FALSE(report.NoBufferLine());
    report.Finish();
}

TEST_F(TabsTest, BufferedLinesMergeWhenTheyTouchWithTheSamePen)
{
    struct Line {
        double p1, p2, y;
        int width;
    };
    struct Row {
        int line;
        std::vector<Line> drawn;
        QStringList output;
    };
    const Row rows[] = {
        {1,
         {{1, 2, 1, 1}, {1.5, 3, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 3 1 w1")}},
        // A line lying on one drawn already adds nothing.
        {2,
         {{1, 2, 1, 1}, {1.5, 3, 1, 1}, {1.2, 1.8, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 3 1 w1")}},
        // Another pen width is a line of its own.
        {3,
         {{1, 2, 1, 1}, {1.5, 3, 1, 2}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 2 1 w1"), QStringLiteral("MoveTo 1.5 1 w2"),
          QStringLiteral("LineTo 3 1 w2")}},
        // Within 0.0001 the lines touch; a gap of 0.001 stays.
        {4,
         {{1, 2, 1, 1}, {2.00005, 3, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 3 1 w1")}},
        {5,
         {{1, 2, 1, 1}, {2.001, 3, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 2 1 w1"),
          QStringLiteral("MoveTo 2.001 1 w1"), QStringLiteral("LineTo 3 1 w1")}},
        {6,
         {{1, 2, 1, 1}, {1.5, 3, 1.00005, 1}},
         {QStringLiteral("MoveTo 1 1.00005 w1"), QStringLiteral("LineTo 3 1.00005 w1")}},
        // A line covering one drawn before replaces it; one reaching two
        // joins them.
        {7,
         {{1.5, 2, 1, 1}, {3, 1, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 3 1 w1")}},
        {8,
         {{1, 2, 1, 1}, {3, 4, 1, 1}, {1.5, 3.5, 1, 1}},
         {QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 4 1 w1")}},
    };
    for (const Row& row : rows) {
        RecordingReport report(&device);
        BeginOnLine(report);
        for (const Line& line : row.drawn) {
            report.SetPen(clBlack, TPenStyle::psSolid, line.width, TPenMode::pmCopy);
            report.MoveTo(line.p1, line.y);
            report.LineTo(line.p2, line.y);
        }
        report.SetPen(clRed, TPenStyle::psDot, 7, TPenMode::pmXor);
        report.EndPage();
        EXPECT_EQ(report.Calls, row.output) << "row " << row.line;
        TPen* pen = report.GetCanvas()->Pen(); // the pen before drawing is back
        EXPECT_EQ(pen->Color(), clRed) << "row " << row.line;
        EXPECT_EQ(pen->Width(), 7) << "row " << row.line;
        report.Finish();
    }
    // A sloping line goes out at once; an origin shifts the buffered lines
    // and is taken off again when they are drawn.
    RecordingReport report(&device);
    BeginOnLine(report);
    report.SetPen(clBlack, TPenStyle::psSolid, 1, TPenMode::pmCopy); // the device's canvas keeps its pen
    report.MoveTo(1, 1);
    report.LineTo(2, 2);
    EXPECT_EQ(report.Calls, (QStringList{QStringLiteral("MoveTo 1 1 w1"), QStringLiteral("LineTo 2 2 w1")}));
    report.Calls.clear();
    report.SetOriginX(0.5);
    report.MoveTo(1, 3);
    report.LineTo(1, 4);
    report.EndPage();
    EXPECT_EQ(report.Calls, (QStringList{QStringLiteral("MoveTo 1 3 w1"), QStringLiteral("LineTo 1 4 w1")}));
    report.Finish();
}

TEST_F(TabsTest, FinishTabBoxDrawsOnlyTopLinesOverEveryStop)
{
    RecordingReport report(&device);
    BeginOnLine(report);
    report.SetNoBufferLine(true);
    report.SetTab(1, TPrintJustify::pjLeft, 1, 0, 15, 50);
    report.SetTab(-1, TPrintJustify::pjLeft, 1, 0, 15, 50);
    report.Tab(); // the box of the row, then the closing line under it
    report.Calls.clear();
    report.FinishTabBox(2);
    const QStringList expected = {
        QStringLiteral("MoveTo 1 1 w2"),
        QStringLiteral("LineTo 2 1 w2"),
        QStringLiteral("MoveTo 2 1 w2"),
        QStringLiteral("LineTo 3 1 w2"),
    };
    EXPECT_EQ(report.Calls, expected);
    EXPECT_FALSE(report.OnTab());
    EXPECT_EQ(report.GetTab(0), nullptr);
    report.Finish();
    EXPECT_THROW(report.FinishTabBox(2), ESheetcaster);
    EXPECT_THROW(report.Tab(), ESheetcaster);
}

TEST_F(TabsTest, OnAnInvalidPageTabDoesNothing)
{
    RecordingReport report(&device);
    report.SetSelection(QStringLiteral("2"));
    BeginOnLine(report);
    report.SetNoBufferLine(true);
    report.SetTab(1, TPrintJustify::pjLeft, 1, 0, 15, 50);
    report.Tab();
    EXPECT_FALSE(report.OnTab());
    EXPECT_TRUE(report.Calls.isEmpty());
    report.Finish();
}

} // namespace
