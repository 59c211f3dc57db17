// Shapes on a recording canvas: the pen each width gives the canvas, and
// the figure each shape draws. Then the shapes as a designer sizes, hits and
// paints them, on a designer stand-in at 100 pixels per inch.
#include "report/components/ZvCsDraw.h"

#include "ComponentFixtures.h"
#include "platform/forms/Controls.h"
#include "platform/graphics/Canvas.h"
#include "tests/support/DesignerStandIn.h"

#include <memory>
#include <type_traits>

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

QString Box(const TZarvControl* shape)
{
    const TZarvRect r = shape->BoundsRect();
    return QStringLiteral("%1 %2 %3 %4").arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom);
}

QString Ends(const TZarvLine* line)
{
    const TZarvPoint start = line->StartPoint();
    const TZarvPoint end = line->EndPoint();
    return QStringLiteral("%1 %2 - %3 %4").arg(start.X).arg(start.Y).arg(end.X).arg(end.Y);
}

class ZvCsDrawDesignerTest : public ComponentTest {
protected:
    void SetUp() override
    {
        ComponentTest::SetUp();
        Designer = std::make_unique<DesignerStandIn>(Page);
    }
    void TearDown() override
    {
        Designer.reset();
        ComponentTest::TearDown();
    }
    template <class T> T* AddAt(const QString& name, const TZarvRect& box, bool nesw = false)
    {
        T* shape = Add<T>(name);
        shape->SetBoundsRect(box);
        if constexpr (std::is_base_of_v<TZarvLine, T>)
            shape->SetNESW(nesw);
        return shape;
    }

    std::unique_ptr<DesignerStandIn> Designer;
};

TEST_F(ZvCsDrawDesignerTest, DraggedLineEndsMoveAndTheOtherEndStays)
{
    const struct {
        int No;
        const char* Class;
        TZarvRect Box;
        int Pip;
        int MouseX, MouseY; // designer pixels
        const char* Ends;   // start - end, inches
        bool NESW;
        QStringList Calls;
    } rows[] = {
        // The right end of (1, 1) - (3, 2) dragged to (0, 3), left of and below
        // the other: the dragged end becomes the start, bottom left.
        {1, "TZarvLine", ZarvRect(1, 1, 3, 2), 1, 0, 300, "0 3 - 1 1", true, {"Switch Line1 1 0"}},
        // Dragged above the start but still right of it: only NESW flips.
        {2, "TZarvLine", ZarvRect(1, 1, 3, 2), 1, 300, 50, "1 1 - 3 0.5", true, {}},
        // The start of a NESW line dragged right past the end.
        {3, "TZarvLine", ZarvRect(1, 1, 3, 2), 0, 400, 250, "3 1 - 4 2.5", false, {"Switch Line1 0 1"}},
        // A horizontal line stays horizontal; its ends trade roles when they cross.
        {4, "TZarvHLine", ZarvRect(1, 1, 3, 1), 1, 50, 170, "0.5 1 - 1 1", false, {"Switch Line1 1 0"}},
        // A vertical line stays vertical; its top end is the start.
        {5, "TZarvVLine", ZarvRect(1, 1, 1, 3), 0, 140, 400, "1 3 - 1 4", false, {"Switch Line1 0 1"}},
        {6, "TZarvVLine", ZarvRect(1, 1, 1, 3), 1, 140, 250, "1 1 - 1 2.5", false, {}},
    };
    for (const auto& row : rows) {
        auto* line = static_cast<TZarvLine*>(
            Page->CreateChild(FindClass(QLatin1String(row.Class)), QStringLiteral("Line1"), 0, 0, 0, 0));
        line->SetBoundsRect(row.Box);
        line->SetNESW(row.No == 3);
        const TZarvPoint at = row.Pip == 0 ? line->StartPoint() : line->EndPoint();
        TZarvPip pip(uint8_t(row.Pip), line, Designer.get(), crCross, at.X, at.Y);
        Designer->Calls.clear();
        pip.Move(row.MouseX, row.MouseY);
        EXPECT_EQ(Ends(line), QLatin1String(row.Ends)) << row.No;
        EXPECT_EQ(line->NESW(), row.NESW) << row.No;
        EXPECT_EQ(Designer->Calls, row.Calls) << row.No;
        delete line;
    }
}

TEST_F(ZvCsDrawDesignerTest, HandlesOfLinesSquaresAndCircles)
{
    auto* line = AddAt<TZarvLine>(QStringLiteral("Line1"), ZarvRect(1, 1, 3, 2), true);
    auto* square = AddAt<TZarvSquare>(QStringLiteral("Square1"), ZarvRect(1, 1, 2, 2));
    auto* circle = AddAt<TZarvCircle>(QStringLiteral("Circle1"), ZarvRect(0, 0, 1, 1));
    line->CreatePips();
    square->CreatePips();
    circle->UpdatePips();
    // crCross -3, crSizeNWSE -8, crSizeNESW -6.
    EXPECT_EQ(Designer->Calls,
              QStringList({"Add Line1 0 -3 1 2", "Add Line1 1 -3 3 1", "Add Square1 0 -8 1 1",
                           "Add Square1 2 -6 2 1", "Add Square1 5 -6 1 2", "Add Square1 7 -8 2 2",
                           "Update Circle1 0 0 0", "Update Circle1 2 1 0", "Update Circle1 5 0 1",
                           "Update Circle1 7 1 1"}));

    // A square's corner dragged keeps the sides equal: the longer wins.
    TZarvPip pip(7, square, Designer.get(), crSizeNWSE, 2, 2);
    pip.Move(400, 150);
    EXPECT_EQ(Box(square), QStringLiteral("1 1 4 4"));
}

TEST_F(ZvCsDrawDesignerTest, StraightLinesSquaresAndCirclesConstrainTheSecondCorner)
{
    const TZarvControl* hline = Add<TZarvHLine>(QStringLiteral("HLine1"));
    const TZarvControl* vline = Add<TZarvVLine>(QStringLiteral("VLine1"));
    const TZarvControl* square = Add<TZarvSquare>(QStringLiteral("Square1"));
    const TZarvControl* circle = Add<TZarvCircle>(QStringLiteral("Circle1"));
    const struct {
        const TZarvControl* Shape;
        TZarvPoint P1, P2, Inches; // P2 constrained, inches
        TPoint D1, D2, Pixels;     // D2 constrained, designer pixels
    } rows[] = {
        {hline, {1, 1}, {3, 2.5}, {3, 1}, {10, 10}, {30, 25}, {30, 10}},
        {vline, {1, 1}, {3, 2.5}, {1, 2.5}, {10, 10}, {30, 25}, {10, 25}},
        // Inches: the shorter side grows to the longer; pixels: the longer
        // is cut to the shorter. Each side keeps its direction.
        {square, {0, 0}, {2, 1}, {2, 2}, {0, 0}, {20, 10}, {10, 10}},
        {square, {0, 0}, {2, -1}, {2, -2}, {5, 5}, {-15, 15}, {-5, 15}},
        {circle, {1, 1}, {0.5, 2.5}, {-0.5, 2.5}, {0, 0}, {-20, -30}, {-20, -20}},
    };
    for (const auto& row : rows) {
        TZarvPoint p1 = row.P1;
        TZarvPoint p2 = row.P2;
        row.Shape->ModifyZarvRect(p1, p2);
        EXPECT_EQ(QStringLiteral("%1 %2").arg(p2.X).arg(p2.Y),
                  QStringLiteral("%1 %2").arg(row.Inches.X).arg(row.Inches.Y))
            << row.Shape->Name().toStdString();
        EXPECT_EQ(QStringLiteral("%1 %2").arg(p1.X).arg(p1.Y),
                  QStringLiteral("%1 %2").arg(row.P1.X).arg(row.P1.Y));
        TPoint d1 = row.D1;
        TPoint d2 = row.D2;
        row.Shape->ModifyRect(d1, d2);
        EXPECT_EQ(d2, row.Pixels) << row.Shape->Name().toStdString();
        EXPECT_EQ(d1, row.D1);
    }
}

TEST_F(ZvCsDrawDesignerTest, LinesAreHitNearTheirStroke)
{
    // A 3-4-5 line: a point d inches off its middle (2, 1.5) across it lies
    // at (2 + 0.6 d, 1.5 - 0.8 d).
    const TZarvControl* line = AddAt<TZarvLine>(QStringLiteral("Line1"), ZarvRect(0, 0, 4, 3));
    const TZarvControl* hline = AddAt<TZarvHLine>(QStringLiteral("HLine1"), ZarvRect(1, 4, 3, 4));
    const TZarvControl* vline = AddAt<TZarvVLine>(QStringLiteral("VLine1"), ZarvRect(5, 1, 5, 3));
    const struct {
        const TZarvControl* Shape;
        TZarvPoint Point;
        bool Hit;
    } rows[] = {
        {line, {2 + 0.6 * 0.02, 1.5 - 0.8 * 0.02}, true},  // 2 pixels off
        {line, {2 + 0.6 * 0.04, 1.5 - 0.8 * 0.04}, false}, // 4 pixels off
        {line, {4.01, 3}, false},                          // beside the end: the foot is past it
        {hline, {2, 4.03}, true},                          // 3 pixels below
        {hline, {2, 4.04}, false},
        {hline, {3.05, 4}, false}, // past the end
        {vline, {4.97, 2}, true},
        {vline, {5, 0.9}, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Shape->IsSelectPoint(row.Point), row.Hit)
            << row.Shape->Name().toStdString() << " " << row.Point.X << " " << row.Point.Y;

    // The page is asked whether its controls may be selected.
    TZarvControl* found = nullptr;
    EXPECT_TRUE(Page->FindControlAt(found, ZarvPoint(2.012, 1.484)));
    EXPECT_EQ(found, line);
}

TEST_F(ZvCsDrawDesignerTest, SelectionRectanglesTakeTheLinesTheyCrossOrHold)
{
    const TZarvControl* line = AddAt<TZarvLine>(QStringLiteral("Line1"), ZarvRect(1, 1, 3, 2));
    const TZarvControl* flat = AddAt<TZarvHLine>(QStringLiteral("HLine1"), ZarvRect(1, 4, 3, 4));
    const struct {
        const TZarvControl* Shape;
        TZarvRect Rect;
        bool Taken;
    } rows[] = {
        {line, ZarvRect(1.5, 0, 2, 3), true},     // a band across the line
        {line, ZarvRect(2.5, 1, 4, 1.3), false},  // meets the box above the line only
        {line, ZarvRect(0, 1.6, 1.9, 5), false},  // meets the box below the line only
        {line, ZarvRect(0, 0, 5, 5), true},       // holds the whole line
        {line, ZarvRect(2.9, 1.9, 5, 5), true},   // holds the end
        {line, ZarvRect(4, 4, 5, 5), false},      // off the box
        {flat, ZarvRect(2, 3.5, 2.5, 4.5), true}, // no height: the box meeting is enough
        {flat, ZarvRect(2, 4.2, 2.5, 4.5), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Shape->InSelectRect(row.Rect), row.Taken)
            << row.Shape->Name().toStdString() << " " << row.Rect.Left << " " << row.Rect.Top;
}

// A rectangle 2 x 1 inches at (1, 1) covers pixels 100 to 299 across and 100
// to 199 down; its 2-point border is 3 pixels wide and stays inside.
TEST_F(ZvCsDrawDesignerTest, PaintSelfDrawsTheFigureOnTheDesignerCanvas)
{
    auto* rectangle = AddAt<TZarvRectangle>(QStringLiteral("Rectangle1"), ZarvRect(1, 1, 3, 2));
    rectangle->SetLineWidthType(TLineWidthType::wtPoints);
    rectangle->SetLineWidth(2);
    rectangle->SetBackColor(clRed);
    auto* line = AddAt<TZarvLine>(QStringLiteral("Line1"), ZarvRect(0.2, 2.2, 0.8, 2.8), true);
    TBitmap bitmap(400, 300);
    rectangle->Paint(*bitmap.Canvas());
    line->Paint(*bitmap.Canvas());
    const QImage image = bitmap.ToImage();
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(image.pixel(99, 150), white);
    EXPECT_EQ(image.pixel(100, 150), black);
    EXPECT_EQ(image.pixel(102, 150), black);
    EXPECT_EQ(image.pixel(104, 150), red);
    EXPECT_EQ(image.pixel(200, 150), red);
    EXPECT_EQ(image.pixel(299, 150), black);
    EXPECT_EQ(image.pixel(300, 150), white);
    EXPECT_EQ(image.pixel(200, 199), black);
    EXPECT_EQ(image.pixel(200, 200), white);
    // The NESW line runs from (20, 280) up to (80, 220).
    EXPECT_EQ(image.pixel(50, 250), black);
    EXPECT_EQ(image.pixel(30, 230), white);
}

} // namespace
