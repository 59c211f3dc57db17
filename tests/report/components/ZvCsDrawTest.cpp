// Shapes on a recording canvas: the pen each width gives the canvas, and
// the figure each shape draws.
#include "report/components/ZvCsDraw.h"

#include "ComponentFixtures.h"

namespace {

using ZvCsDrawTest = ComponentTest;

// Pen lines read "Pen colour style width mode" (psSolid 0, psDash 1,
// psClear 5; pmCopy 4).
TEST_F(ZvCsDrawTest, PenFollowsWidthAndWidthType)
{
    const struct {
        double Width;
        TLineWidthType Type;
        const char* Pen;
    } rows[] = {
        {0, TLineWidthType::wtPixels, "Pen 000000 5 0 4"}, // no outline at all
        {0, TLineWidthType::wtPoints, "Pen 000000 5 0 4"},
        {2.6, TLineWidthType::wtPixels, "Pen 0000ff 0 3 4"},     // pixels, rounded
        {2, TLineWidthType::wtPoints, "Pen 0000ff 0 -10278 4"},  // -(round(10000 * 2 / 72) + 10000)
        {72, TLineWidthType::wtPoints, "Pen 0000ff 0 -20000 4"}, // one inch
    };
    auto* line = Add<TZarvLine>(QStringLiteral("Line1"));
    line->SetForeColor(clRed);
    for (const auto& row : rows) {
        Canvas.Calls.clear();
        line->SetLineWidthType(row.Type);
        line->SetLineWidth(row.Width);
        line->Print(&Canvas);
        ASSERT_FALSE(Canvas.Calls.isEmpty());
        EXPECT_EQ(Canvas.Calls.first(), QString::fromLatin1(row.Pen)) << row.Width;
    }
}

TEST_F(ZvCsDrawTest, PatternedPenOnlyOnLinesOfOnePixel)
{
    auto* line = Add<TZarvLine>(QStringLiteral("Line1"));
    line->SetLineStyle(TPenStyle::psDash);
    line->SetLineWidth(1);
    EXPECT_EQ(line->GetLineStyle(), TPenStyle::psDash);
    line->SetLineWidth(2);
    EXPECT_EQ(line->GetLineStyle(), TPenStyle::psSolid);
    line->SetLineWidth(1);
    line->SetLineStyle(TPenStyle::psDash);
    line->SetLineWidthType(TLineWidthType::wtPoints);
    EXPECT_EQ(line->GetLineStyle(), TPenStyle::psSolid);
}

TEST_F(ZvCsDrawTest, FiguresDrawTheirBoxOnThePage)
{
    auto* nesw = Add<TZarvLine>(QStringLiteral("Line1"));
    nesw->SetBoundsRect(ZarvRect(1, 2, 3, 5));
    nesw->SetNESW(true);
    auto* rounded = Add<TZarvRectangle>(QStringLiteral("Rectangle1"));
    rounded->SetHRadius(0.1);
    rounded->SetVRadius(0.2);
    auto* square = Add<TZarvRectangle>(QStringLiteral("Rectangle2"));
    square->SetHRadius(0.1); // one radius only: square corners
    auto* circle = Add<TZarvCircle>(QStringLiteral("Circle1"));
    circle->SetFillStyle(TZarvFillStyle::fsNone);
    const struct {
        TZarvControl* Shape;
        QStringList Calls;
    } rows[] = {
        {nesw, {"Pen 000000 0 1 4", "MoveTo 1 5 w1", "LineTo 3 2 w1"}},
        {rounded, {"Pen 000000 0 1 4", "Brush ffffff 0", "RoundRect 0 0 2 1 0.2 0.4"}},
        {square, {"Pen 000000 0 1 4", "Brush ffffff 0", "Rect 0 0 2 1"}},
        {circle, {"Pen 000000 0 1 4", "Brush ffffff 1", "Ellipse 0 0 1 1"}}, // fsNone fills nothing
    };
    for (const auto& row : rows) {
        Canvas.Calls.clear();
        row.Shape->Print(&Canvas);
        EXPECT_EQ(Canvas.Calls, row.Calls) << row.Shape->Name().toStdString();
    }
}

} // namespace
