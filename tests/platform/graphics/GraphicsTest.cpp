#include "platform/graphics/Graphics.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Colors.h"

#include <QFontInfo>
#include <gtest/gtest.h>

namespace {

TEST(ColorsTest, ColorToRGBResolvesSystemColoursThroughTheFixedTable)
{
    struct Row {
        int line;
        TColor color;
        uint32_t rgb;
    };
    // Classic-scheme values from the table's source; plain colours pass.
    const Row rows[] = {
        {1, clRed, 0x0000FF},        {2, RGB(1, 2, 3), 0x030201},
        {3, clNone, 0x1FFFFFFF},                              // not a system colour: unchanged
        {4, clBtnFace, 0xC8D0D4},                             // RGB(212, 208, 200)
        {5, clWindowText, 0x000000}, {6, clInfoBk, 0xE1FFFF}, // RGB(255, 255, 225)
        {7, clMenuBar, 0xC8D0D4},                             // last entry of the table
        {8, clSystemColor | 31, 0},                           // one past the table: black
        {9, TColor(0xFF0000FF), 0},                           // any number beyond it
    };
    for (const Row& row : rows)
        EXPECT_EQ(ColorToRGB(row.color), row.rgb) << "row " << row.line;
    EXPECT_EQ(ToQColor(clBtnFace), QColor(212, 208, 200));
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), RGB(1, 2, 3));
}

TEST(GraphicsTest, MulDivRoundsHalvesAwayFromZero)
{
    struct Row {
        int line;
        int a, b, c, result;
    };
    const Row rows[] = {
        {1, 8, 96, 72, 11},                // 10.67: the height of an 8-point font at 96 dpi
        {2, -11, 72, 96, -8},              // -8.25
        {3, 1, 1, 2, 1},                   // 0.5
        {4, -1, 1, 2, -1},                 // -0.5
        {5, 3, 1, -2, -2},                 // -1.5
        {6, 1, 1, 0, -1},                  // division by zero
        {7, 2000000000, 3, 3, 2000000000}, // the product is held in 64 bits
        {8, 2000000000, 3, 2, -1},         // the result does not fit
    };
    for (const Row& row : rows)
        EXPECT_EQ(MulDiv(row.a, row.b, row.c), row.result) << "row " << row.line;
}

TEST(GraphicsTest, FontKeepsItsSizeAsAHeightAndNotifiesOnlyRealChanges)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &font);
        ++changes;
    };
    font.SetSize(10); // -MulDiv(10, 96, 72) = -13
    EXPECT_EQ(font.Height(), -13);
    EXPECT_EQ(font.Size(), 10);
    EXPECT_EQ(changes, 1);
    font.SetHeight(-13);
    font.SetName(QString());    // an empty name is ignored
    font.SetPixelsPerInch(300); // a resolution is no change of the font
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(font.Size(), 3); // the same pixels at 300 dpi
    font.SetHeight(20);        // a cell height reads as a negative size
    EXPECT_EQ(font.Size(), -5);
    EXPECT_EQ(changes, 2);

    TFont other;
    other.SetName(QStringLiteral("Courier New"));
    other.SetStyle({TFontStyle::fsBold, TFontStyle::fsStrikeOut});
    font.Assign(&other);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(font.Name(), "Courier New");
    EXPECT_EQ(font.Style().Bits(), 0x09);
    EXPECT_EQ(font.PixelsPerInch(), 96);
    font.Assign(&other); // equal already
    EXPECT_EQ(changes, 3);
}

TEST(GraphicsTest, QtFontsResolveWindowsFacesAndTakeTheirHeightInPixels)
{
    TFont font;
    font.SetName(QStringLiteral("Arial"));
    font.SetHeight(-50);
    QFont q = ToQFont(font);
    EXPECT_EQ(q.pixelSize(), 50);
    EXPECT_EQ(QFontInfo(q).family(), "Liberation Sans"); // metric-compatible face
    EXPECT_FALSE(q.kerning());
    // A cell height of 56 pixels is an em of 50 for this face: its cell is
    // 1.117 em (ascent 0.905 + descent 0.212).
    font.SetHeight(56);
    EXPECT_NEAR(ToQFont(font).pixelSize(), 50, 1);
    font.SetName(QStringLiteral("Courier New"));
    EXPECT_EQ(QFontInfo(ToQFont(font)).family(), "Liberation Mono");
    font.SetName(QStringLiteral("Times New Roman"));
    EXPECT_EQ(QFontInfo(ToQFont(font)).family(), "Liberation Serif");
}

TEST(GraphicsTest, PensAndBrushesNotifyAndKeepTheFrameworksRules)
{
    TPen pen;
    int changes = 0;
    pen.OnChange = [&](TObject*) { ++changes; };
    pen.SetWidth(-3); // ignored
    pen.SetWidth(1);  // unchanged
    EXPECT_EQ(changes, 0);
    pen.SetStyle(TPenStyle::psDot);
    pen.SetMode(TPenMode::pmXor);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(ToQPen(pen).style(), Qt::DotLine);
    pen.SetMode(TPenMode::pmNop);
    EXPECT_EQ(ToQPen(pen).style(), Qt::NoPen);
    // The ordinals go into streams as bytes.
    EXPECT_EQ(int(TPenStyle::psInsideFrame), 6);
    EXPECT_EQ(int(TPenMode::pmMask), 12);
    EXPECT_EQ(int(TBrushStyle::bsDiagCross), 7);
    EXPECT_EQ(int(TFontPitch::fpFixed), 2);

    TBrush brush;
    brush.SetStyle(TBrushStyle::bsClear);
    brush.SetColor(clWhite); // the same colour, still: a clear brush given a colour is solid
    EXPECT_EQ(brush.Style(), TBrushStyle::bsSolid);
    EXPECT_EQ(ToQBrush(brush).style(), Qt::SolidPattern);
    TBitmap pattern(8, 8);
    brush.SetBitmap(&pattern);
    EXPECT_TRUE(brush.HasBitmap());
    EXPECT_EQ(ToQBrush(brush).style(), Qt::TexturePattern);
    brush.SetBitmap(nullptr);
    EXPECT_FALSE(brush.HasBitmap());
}

// The bounding box of the pixels that are not white.
QRect Ink(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != Qt::white)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(CanvasTest, FiguresFillWithTheBrushAndOutlineWithThePen)
{
    TBitmap bitmap(100, 100);
    TCanvas* canvas = bitmap.Canvas();
    canvas->Brush()->SetColor(clRed);
    canvas->Pen()->SetColor(clBlue);
    canvas->Rectangle(10, 10, 50, 30);
    QImage image = bitmap.ToImage();
    EXPECT_EQ(image.pixelColor(30, 20), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(10, 20), QColor(Qt::blue));
    EXPECT_EQ(image.pixelColor(60, 20), QColor(Qt::white));

    // A pie from the ray at 3 o'clock counter-clockwise to 12 o'clock fills
    // the upper right quarter only.
    TBitmap pie(100, 100);
    pie.Canvas()->Brush()->SetColor(clBlack);
    pie.Canvas()->Pen()->SetStyle(TPenStyle::psClear);
    pie.Canvas()->Pie(0, 0, 100, 100, 100, 50, 50, 0);
    image = pie.ToImage();
    EXPECT_EQ(image.pixelColor(75, 25), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(25, 25), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(75, 75), QColor(Qt::white));

    // An xor pen inverts what it crosses, twice gives it back.
    TBitmap lines(20, 20);
    lines.Canvas()->Pen()->SetColor(clWhite);
    lines.Canvas()->Pen()->SetMode(TPenMode::pmXor);
    lines.Canvas()->MoveTo(0, 5);
    lines.Canvas()->LineTo(19, 5);
    EXPECT_EQ(lines.ToImage().pixelColor(10, 5), QColor(Qt::black));
    lines.Canvas()->MoveTo(0, 5);
    lines.Canvas()->LineTo(19, 5);
    EXPECT_EQ(lines.ToImage().pixelColor(10, 5), QColor(Qt::white));
    EXPECT_EQ(lines.Canvas()->PenPos(), (TPoint{19, 5}));
}

TEST(CanvasTest, TextIsPlacedByTheAlignmentAndMeasuredInTheDeviceFont)
{
    TBitmap bitmap(400, 200);
    TCanvas* canvas = bitmap.Canvas();
    canvas->Font()->SetName(QStringLiteral("Arial"));
    canvas->Font()->SetHeight(-40);
    canvas->Font()->SetColor(clBlack);
    canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
    EXPECT_EQ(canvas->DeviceFont().Font.pixelSize(), 40); // follows Font
    EXPECT_EQ(canvas->TextExtent(QString()), QSize(0, 0));
    const QSize extent = canvas->TextExtent(QStringLiteral("HH"));
    // Liberation Sans: H advances 0.722 em; the cell is 1.117 em.
    EXPECT_NEAR(extent.width(), 58, 1);
    EXPECT_NEAR(extent.height(), 45, 1);

    // Top alignment: the capitals start ascent - cap height below y
    // (0.905 - 0.729 em = 7 px at 40 px).
    canvas->TextOut(100, 50, QStringLiteral("HH"));
    QRect ink = Ink(bitmap.ToImage());
    EXPECT_NEAR(ink.top(), 57, 1);
    EXPECT_NEAR(ink.left(), 103, 2);
    EXPECT_NEAR(ink.bottom(), 85, 1); // baseline 50 + 36 - 1

    TBitmap right(400, 200);
    right.Canvas()->Font()->Assign(canvas->Font());
    right.Canvas()->SetBackgroundMode(TBackgroundMode::bmTransparent);
    right.Canvas()->SetTextAlign(TA_RIGHT | TA_BASELINE);
    right.Canvas()->TextOut(300, 100, QStringLiteral("HH"));
    ink = Ink(right.ToImage());
    EXPECT_NEAR(ink.right(), 297, 2);
    EXPECT_NEAR(ink.bottom(), 99, 1);

    // Another device font in place of the canvas font, until it is put back.
    const TCanvas::TDeviceFont small{QFont(QStringLiteral("Arial")), 900};
    TCanvas::TDeviceFont previous = canvas->SelectDeviceFont(small);
    EXPECT_EQ(previous.Font.pixelSize(), 40);
    EXPECT_EQ(canvas->DeviceFont().Escapement, 900);
    canvas->SelectDeviceFont(previous);
    EXPECT_EQ(canvas->DeviceFont().Font.pixelSize(), 40);
}

TEST(CanvasTest, ACanvasWithoutPainterMeasuresAndDrawsNothing)
{
    TCanvas canvas;
    canvas.Rectangle(0, 0, 10, 10);
    canvas.TextOut(0, 0, QStringLiteral("x"));
    canvas.LineTo(5, 5);
    EXPECT_EQ(canvas.PenPos(), (TPoint{5, 5}));
    EXPECT_GT(canvas.TextWidth(QStringLiteral("x")), 0);
    EXPECT_FALSE(canvas.HandleAllocated());
}

TEST(CanvasTest, BitmapsGrowWhiteAndKeepWhatWasDrawn)
{
    TBitmap bitmap(10, 10);
    bitmap.Canvas()->Brush()->SetColor(clGreen);
    bitmap.Canvas()->FillRect({0, 0, 10, 10});
    bitmap.SetSize(20, 10);
    const QImage image = bitmap.ToImage();
    EXPECT_EQ(image.pixelColor(5, 5), QColor(0, 128, 0));
    EXPECT_EQ(image.pixelColor(15, 5), QColor(Qt::white));
    bitmap.Canvas()->FillRect({10, 0, 20, 10}); // the canvas draws on the grown picture
    EXPECT_EQ(bitmap.ToImage().pixelColor(15, 5), QColor(0, 128, 0));
    TBitmap copy;
    copy.Assign(&bitmap);
    EXPECT_EQ(copy.Width(), 20);
    EXPECT_EQ(copy.ToImage().pixelColor(15, 5), QColor(0, 128, 0));
}

} // namespace
