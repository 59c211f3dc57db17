#include "NoPrinter.h"
#include "report/print/QpBase.h"
#include "tests/support/SilentReport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A device of 300 dpi whose canvas draws on a small bitmap.
class TestDevice : public TQPBaseDevice {
public:
    TestDevice() : FBitmap(10, 10) {}
    TCanvas* GetCanvas() override { return FBitmap.Canvas(); }
    bool CanvasActive() override { return Active; }
    int GetXDPI() override { return 300; }
    int GetYDPI() override { return 300; }
    bool Active = true;

private:
    TBitmap FBitmap;
};

// The canvas with output operations that do nothing, and a way to play the
// output class's part in a run.
class TestReport : public TSilentReport {
public:
    explicit TestReport(TQPBaseDevice* device) : TSilentReport(nullptr)
    {
        SetLocalDevice(device);
        ResetPrinter();
    }
    void BeginRun()
    {
        FPrinting = true;
        HookCanvasFont();
    }
    void EndRun()
    {
        UnhookCanvasFont();
        FPrinting = false;
    }
    void MarkAborted() { FAborted = true; }
    const TCanvas::TDeviceFont& Realised(int handle) const { return FRealisedFonts.at(size_t(handle - 1)); }

};

// The canvas's tests assume no printer; with one, the page follows that
// printer instead of the canvas's own page size.
class QpBaseTest : public NoPrinterTest {
protected:
    TestDevice device;
};

QString Message(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ESheetcaster& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

TEST_F(QpBaseTest, ANewCanvasHasItsDefaults)
{
    TestReport report(&device);
    EXPECT_TRUE(report.NoPrinters());
    EXPECT_EQ(report.PrinterIndex(), -1);
    EXPECT_EQ(report.XDPI(), 300); // read from the device by ResetPrinter
    EXPECT_EQ(report.Title(), "Zarv Report");
    EXPECT_EQ(report.StatusFormat(), "Printing page %p");
    EXPECT_EQ(report.FirstPage(), 1);
    EXPECT_EQ(report.LastPage(), 9999);
    EXPECT_EQ(report.Units(), TPrintUnits::unInch);
    EXPECT_EQ(report.LineHeightMethod(), TLineHeightMethod::lhmFont);
    EXPECT_EQ(report.TextBKMode(), TBKMode::bkTransparent);
    EXPECT_EQ(report.PageWidth(), 8.5);
    EXPECT_EQ(report.PageHeight(), 11);
    EXPECT_EQ(report.SectionRight(), 8.5);
    const TSaveFont* font = report.GetBaseFont();
    EXPECT_EQ(font->Name, "Arial");
    EXPECT_EQ(font->Size, 10);
    EXPECT_DOUBLE_EQ(font->Height, 10.0 / 72);
    EXPECT_DOUBLE_EQ(font->Ascent, 5.0 / 72);
    EXPECT_EQ(font->CharSet, 1);
    EXPECT_EQ(report.Version(), "11.0.14 (VCLD10)");
    EXPECT_EQ(report.DeviceName(), ""); // the printer device, with no printer chosen
}

TEST_F(QpBaseTest, UnitsFollowTheFactorByExactComparison)
{
    struct Row {
        int line;
        double factor;
        TPrintUnits units;
        double stored;
    };
    const Row rows[] = {
        {1, 72, TPrintUnits::unPoint, 72},
        {2, 25.4, TPrintUnits::unMM, 25.4},
        {3, 2.54, TPrintUnits::unCM, 2.54},
        {4, 10, TPrintUnits::unUser, 10},
        {5, 25.400001, TPrintUnits::unUser, 25.400001},
        {6, 0, TPrintUnits::unInch, 1},  // ignored
        {7, -2, TPrintUnits::unInch, 1}, // ignored
    };
    for (const Row& row : rows) {
        TestReport report(&device);
        report.SetUnitsFactor(row.factor);
        EXPECT_EQ(report.Units(), row.units) << "row " << row.line;
        EXPECT_EQ(report.UnitsFactor(), row.stored) << "row " << row.line;
    }
    TestReport report(&device);
    report.SetUnitsFactor(10);
    report.SetUnits(TPrintUnits::unUser); // keeps the factor
    EXPECT_EQ(report.UnitsFactor(), 10);
    report.SetUnits(TPrintUnits::unCM);
    EXPECT_EQ(report.UnitsFactor(), 2.54);
}

TEST_F(QpBaseTest, MarginsKeepTheValueSetWhileEdgesAreInches)
{
    TestReport report(&device);
    report.SetUnits(TPrintUnits::unMM);
    report.SetMarginLeft(25.4);
    report.SetMarginRight(12.7);
    report.SetUnits(TPrintUnits::unInch);
    EXPECT_EQ(report.MarginLeft(), 25.4); // as set
    EXPECT_DOUBLE_EQ(report.SectionLeft(), 1);
    // Without printer the right edge is measured on the no-printer page.
    EXPECT_DOUBLE_EQ(report.SectionRight(), 8.5 - 0.5);
    // The cursor follows an edge that moves past it.
    report.GotoXY(0.5, 0.5);
    report.SetSectionLeft(2);
    EXPECT_EQ(report.XPos(), 2);
    report.SetSectionRight(1.5);
    EXPECT_EQ(report.XPos(), 1.5);
    report.SetSectionTop(3);
    EXPECT_EQ(report.YPos(), 3);
    report.SetSectionBottom(2);
    EXPECT_EQ(report.YPos(), 2);
    report.ResetSection();
    EXPECT_DOUBLE_EQ(report.SectionLeft(), 1);
}

TEST_F(QpBaseTest, DevicePositionsFollowScaleOriginAndWaste)
{
    TestReport report(&device);
    EXPECT_EQ(report.XI2D(2), 600);
    EXPECT_EQ(report.XD2I(600), 2);
    report.SetScaleX(50);
    EXPECT_EQ(report.XI2D(2), 300); // Round((1 - LeftWaste) * XDPI), no waste here
    report.SetOriginX(1);
    EXPECT_EQ(report.XI2D(1), 300); // the unshifted XI2D(2)
    EXPECT_DOUBLE_EQ(report.XD2I(300), 1);
    report.SetOriginX(0);
    report.SetScaleX(100);
    report.SetUnits(TPrintUnits::unMM);
    EXPECT_EQ(report.XU2D(25.4), 300);
    EXPECT_EQ(report.CreateRect(0, 0, 25.4, 50.8), (TRect{0, 0, 300, 600}));
    EXPECT_EQ(report.CreatePoint(2.54, 2.54), (TPoint{30, 30}));
    // Ties of device positions round to even: 0.5 px.
    report.SetUnits(TPrintUnits::unInch);
    EXPECT_EQ(report.XI2D(0.5 / 300), 0);
    EXPECT_EQ(report.XI2D(1.5 / 300), 2);
}

TEST_F(QpBaseTest, WithoutPrintersOrientationSwapsTheNoPrinterPage)
{
    struct Row {
        int line;
        TOrientation from, to;
        double width;
    };
    const Row rows[] = {
        {1, TOrientation::poPortrait, TOrientation::poLandScape, 11},
        {2, TOrientation::poPortrait, TOrientation::poDefault, 8.5},
        {3, TOrientation::poLandScape, TOrientation::poPortrait, 8.5},
        {4, TOrientation::poLandScape, TOrientation::poDefault, 8.5}, // back: either is landscape
        {5, TOrientation::poLandScape, TOrientation::poLandScape, 11},
    };
    for (const Row& row : rows) {
        TestReport report(&device);
        report.SetOrientation(row.from);
        const double before = report.PageWidth();
        report.SetOrientation(row.to);
        EXPECT_EQ(report.PageWidth(), row.width) << "row " << row.line << " from width " << before;
        EXPECT_EQ(report.Orientation(), row.to) << "row " << row.line;
    }
    TestReport report(&device);
    EXPECT_TRUE(report.SetPaperSize(0, 5, 7));
    EXPECT_EQ(report.PageWidth(), 5);
    EXPECT_TRUE(report.SetPaperSize(0, 0, 9)); // a zero side is ignored
    EXPECT_EQ(report.PageHeight(), 7);
}

TEST_F(QpBaseTest, SettingsAreRefusedWhilePrintingAndOutputWhileNot)
{
    TestReport report(&device);
    EXPECT_EQ(Message([&] { report.BKColor(); }), "Invalid method call.  Sheetcaster is not printing.");
    report.BeginRun();
    EXPECT_EQ(Message([&] { report.SetCopies(2); }), "Invalid method call.  Sheetcaster already printing.");
    EXPECT_EQ(Message([&] { report.SetPaperSize(9, 0, 0); }),
              "Invalid method call.  Sheetcaster already printing.");
    EXPECT_EQ(Message([&] { report.SetOutputName("x.pdf"); }),
              "Invalid method call.  Sheetcaster already printing.");
    report.SetBKColor(clRed);
    EXPECT_EQ(report.BKColor(), clRed);
    // An orientation asked for while printing waits for the next page.
    report.SetOrientation(TOrientation::poLandScape);
    EXPECT_EQ(report.Orientation(), TOrientation::poDefault);
    report.MarkAborted();
    EXPECT_THROW(report.BKColor(), EAbort);
    report.EndRun();

    device.Active = false;
    EXPECT_EQ(Message([&] { report.GetCanvas(); }), "Error!  Canvas not yet active.");
    device.Active = true;
}

TEST_F(QpBaseTest, FontSizeGoesThroughTheHookedCanvasFont)
{
    TestReport report(&device);
    TFont* canvasFont = device.GetCanvas()->Font();
    // Not hooked: the canvas font changes, the base font does not.
    report.SetFontSize(20);
    EXPECT_EQ(report.FontSize(), 10);
    report.BeginRun();
    EXPECT_EQ(canvasFont->PixelsPerInch(), 300);
    // 11 points at 300 dpi: Round(45.83) = 46 pixels; 46 / 300 inch reads
    // back as 11.04 points.
    report.SetFontSize(11);
    EXPECT_EQ(canvasFont->Height(), 46);
    EXPECT_DOUBLE_EQ(report.GetBaseFont()->Height, 46.0 / 300);
    EXPECT_DOUBLE_EQ(report.FontSize(), 11.04);
    report.SetFontName(QStringLiteral("Courier New"));
    report.SetBold(true);
    report.SetFontColor(clRed);
    EXPECT_EQ(report.FontName(), "Courier New");
    EXPECT_TRUE(report.Bold());
    EXPECT_EQ(report.FontColor(), clRed);
    report.SetFontHeight(0.5); // 150 pixels
    EXPECT_EQ(canvasFont->Height(), 150);
    EXPECT_DOUBLE_EQ(report.FontHeight(), 0.5);
    report.SetFontHeight(0.0001); // at least one pixel
    EXPECT_EQ(canvasFont->Height(), 1);
    report.EndRun();
    // The canvas's own handler is back: its device font follows Font.
    canvasFont->SetHeight(-33);
    EXPECT_EQ(device.GetCanvas()->DeviceFont().Font.pixelSize(), 33);
}

TEST_F(QpBaseTest, RealisedFontsComeFromTheCache)
{
    TestReport report(&device);
    report.BeginRun();
    report.SetFont(QStringLiteral("Arial"), 12);
    const int first = report.FontHandle();
    EXPECT_EQ(report.FontCacheCount(), 1);
    // Liberation Sans at 50 px: ascent 0.905 em, descent 0.212 em, in inches.
    EXPECT_NEAR(report.GetBaseFont()->Ascent, 45.0 / 300, 1.0 / 300);
    EXPECT_NEAR(report.GetBaseFont()->Descent, 11.0 / 300, 1.0 / 300);
    EXPECT_EQ(report.Realised(first).Font.pixelSize(), 50);

    report.SetBold(true);
    EXPECT_NE(report.FontHandle(), first);
    report.SetBold(false);
    EXPECT_EQ(report.FontHandle(), first); // the same font again
    EXPECT_EQ(report.FontCacheCount(), 2);

    // Width is not compared: a font that differs only in width shares the
    // handle realised first.
    report.SetFontWidth(0.1);
    EXPECT_EQ(report.FontHandle(), first);

    // Selecting puts the realised font on the canvas; the canvas's own comes
    // back afterwards.
    TCanvas* canvas = device.GetCanvas();
    const QFont own = canvas->DeviceFont().Font;
    report.SelectQPFont();
    EXPECT_EQ(canvas->DeviceFont().Font.pixelSize(), 50);
    report.SelectCanvasFont();
    EXPECT_EQ(canvas->DeviceFont().Font, own);

    // A long face name is cut to 31 characters.
    report.SetFontName(QString(40, u'F'));
    EXPECT_EQ(report.Realised(report.FontHandle()).Font.family(), QString(31, u'F'));
    report.EndRun();
}

TEST_F(QpBaseTest, ScriptsRotationAndSetFontResetTheRealisedFont)
{
    TestReport report(&device);
    report.BeginRun();
    report.SetFont(QStringLiteral("Arial"), 12);
    const double ascent = (report.FontHandle(), report.GetBaseFont()->Ascent);
    report.SetSubscript(true);
    report.SetSuperscript(true);
    EXPECT_TRUE(report.Superscript());
    EXPECT_FALSE(report.Subscript());
    const int script = report.FontHandle();
    EXPECT_EQ(report.Realised(script).Font.pixelSize(), 30); // Round(50 / 1.667)
    EXPECT_NEAR(report.GetBaseFont()->Ascent, ascent * 0.6 / 2, 1.0 / 300);

    struct Row {
        int line;
        int set, stored;
    };
    const Row rows[] = {{1, 450, 90}, {2, -30, -30}, {3, -450, -90}, {4, 360, 0}};
    for (const Row& row : rows) {
        report.SetFontRotation(row.set);
        EXPECT_EQ(report.FontRotation(), row.stored) << "row " << row.line;
    }
    report.SetFontRotation(90);
    const int rotated = report.FontHandle();
    EXPECT_EQ(report.Realised(rotated).Escapement, 900);
    // SetFont with the same face and size clears rotation and scripts, and
    // the realised font follows.
    report.SetFont(QStringLiteral("Arial"), 12);
    EXPECT_EQ(report.FontRotation(), 0);
    EXPECT_FALSE(report.Superscript());
    EXPECT_EQ(report.Realised(report.FontHandle()).Escapement, 0);
    // A size of 0 or less is ignored.
    report.SetFont(QStringLiteral("Courier New"), 0);
    EXPECT_EQ(report.FontName(), "Arial");
    report.EndRun();
}

TEST_F(QpBaseTest, FontStacksAndSlots)
{
    TestReport report(&device);
    report.BeginRun();
    EXPECT_FALSE(report.PopFont());
    EXPECT_TRUE(report.RestoreFont(1)); // slots hold the default font
    EXPECT_FALSE(report.RestoreFont(0));
    EXPECT_FALSE(report.RestoreFont(11));
    EXPECT_FALSE(report.SaveFont(11));
    report.SetFont(QStringLiteral("Arial"), 14);
    report.SetItalic(true);
    EXPECT_TRUE(report.PushFont());
    EXPECT_TRUE(report.SaveFont(10));
    report.SetFont(QStringLiteral("Courier New"), 8);
    EXPECT_TRUE(report.PopFont());
    EXPECT_EQ(report.FontName(), "Arial");
    EXPECT_TRUE(report.Italic());
    EXPECT_NEAR(report.FontSize(), 14, 0.12); // through whole pixels at 300 dpi
    EXPECT_FALSE(report.PopFont());
    report.SetFont(QStringLiteral("Courier New"), 8);
    EXPECT_TRUE(report.RestoreFont(10));
    EXPECT_EQ(report.FontName(), "Arial");

    TFont framework;
    framework.SetName(QStringLiteral("Times New Roman"));
    framework.SetPixelsPerInch(96);
    framework.SetSize(9);
    framework.SetStyle({TFontStyle::fsUnderline});
    report.SetSuperscript(true);
    report.AssignFont(framework);
    EXPECT_EQ(report.FontName(), "Times New Roman");
    EXPECT_TRUE(report.Underline());
    EXPECT_FALSE(report.Italic());
    EXPECT_FALSE(report.Superscript());
    EXPECT_DOUBLE_EQ(report.FontSize(), 9.12); // 37.5 pixels at 300 dpi round to 38
    report.EndRun();

    auto created = TBaseReport::CreateFont(QStringLiteral("Arial"), 12);
    EXPECT_EQ(created->Name(), "Arial");
    EXPECT_EQ(created->Size(), 12);
    EXPECT_EQ(created->Color(), clBlack);
}

TEST_F(QpBaseTest, PenWidthsInPixelsHundredthsAndTenThousandthsOfAnInch)
{
    struct Row {
        int line;
        int width;
        int pixels;
    };
    // At 300 dpi, scale and zoom 100.
    const Row rows[] = {
        {1, 0, 0},                          // device pixels as given
        {2, 7, 7},          {3, -1, 3},     // 0.01 in
        {4, -50, 150},                      // 0.5 in
        {5, -10000, 30000}, {6, -10050, 2}, // 0.005 in: Round(1.5) = 2
        {7, -10010, 1},                     // 0.001 in: Round(0.3) = 0, at least 1
        {8, -10001, 1},
    };
    TestReport report(&device);
    TPen* pen = device.GetCanvas()->Pen();
    for (const Row& row : rows) {
        report.SetPen(clRed, TPenStyle::psDash, row.width, TPenMode::pmXor);
        EXPECT_EQ(pen->Width(), row.pixels) << "row " << row.line;
    }
    EXPECT_EQ(pen->Color(), clRed);
    EXPECT_EQ(pen->Style(), TPenStyle::psDash);
    EXPECT_EQ(pen->Mode(), TPenMode::pmXor);
    report.SetScaleX(50);
    report.SetPen(clRed, TPenStyle::psSolid, -50, TPenMode::pmCopy);
    EXPECT_EQ(pen->Width(), 75);
    // CreatePen knows hundredths of an inch only.
    EXPECT_EQ(report.CreatePen(clBlack, TPenStyle::psSolid, -50, TPenMode::pmCopy)->Width(), 75);
    EXPECT_EQ(report.CreatePen(clBlack, TPenStyle::psSolid, -1, TPenMode::pmCopy)->Width(), 2); // 1.5
    EXPECT_EQ(report.CreatePen(clBlack, TPenStyle::psSolid, 4, TPenMode::pmCopy)->Width(), 4);

    report.SetBrush(clBlue, TBrushStyle::bsClear, nullptr);
    EXPECT_EQ(device.GetCanvas()->Brush()->Style(), TBrushStyle::bsClear);
    EXPECT_EQ(device.GetCanvas()->Brush()->Color(), clBlue);
    report.Reset();
    EXPECT_EQ(pen->Width(), 1);
    EXPECT_EQ(pen->Mode(), TPenMode::pmCopy);
    EXPECT_EQ(device.GetCanvas()->Brush()->Color(), clBlack);
}

TEST_F(QpBaseTest, AssignToCopiesSettingsAndRefusesOtherClasses)
{
    TestReport source(&device);
    source.SetUnits(TPrintUnits::unMM);
    source.SetMarginLeft(10);
    source.SetTitle(QStringLiteral("Card"));
    source.SetFirstPage(2);
    source.SetCopies(3);
    int printed = 0;
    source.OnPrint = [&](TObject*) { ++printed; };
    source.OnEndOfSection = [](TObject*) {};
    TestReport dest(&device);
    dest.Assign(&source);
    EXPECT_EQ(dest.Units(), TPrintUnits::unMM);
    EXPECT_EQ(dest.MarginLeft(), 10);
    EXPECT_DOUBLE_EQ(dest.SectionLeft(), 10);
    EXPECT_EQ(dest.Title(), "Card");
    EXPECT_EQ(dest.FirstPage(), 2);
    EXPECT_EQ(dest.Copies(), 3);
    ASSERT_TRUE(bool(dest.OnPrint));
    dest.OnPrint(&dest);
    EXPECT_EQ(printed, 1);
    EXPECT_FALSE(bool(dest.OnEndOfSection)); // not copied

    TComponent other(nullptr);
    EXPECT_THROW(other.Assign(&source), EInvalidCast);
}

TEST_F(QpBaseTest, StatusLabelIsForgottenWhenItGoes)
{
    TestReport report(&device);
    auto label = std::make_unique<TComponent>(nullptr);
    report.SetStatusLabel(label.get());
    EXPECT_EQ(report.StatusLabel(), label.get());
    label.reset();
    EXPECT_EQ(report.StatusLabel(), nullptr);
}

TEST_F(QpBaseTest, ACanvasGoingAwayGivesTheCanvasFontItsHandlerBack)
{
    {
        TestReport report(&device);
        report.BeginRun();
    } // destroyed while hooked
    device.GetCanvas()->Font()->SetHeight(-21);
    EXPECT_EQ(device.GetCanvas()->DeviceFont().Font.pixelSize(), 21);

    // Two canvases hook one font; the first goes while the second holds its
    // handler, which must then only pass changes on.
    auto first = std::make_unique<TestReport>(&device);
    first->BeginRun();
    TestReport second(&device);
    second.BeginRun();
    first.reset();
    second.EndRun(); // puts back the first canvas's handler
    device.GetCanvas()->Font()->SetHeight(-22);
    EXPECT_EQ(device.GetCanvas()->DeviceFont().Font.pixelSize(), 22);
}

TEST_F(QpBaseTest, GraphicSizesKeepTheAspectRatio)
{
    TBitmap picture(200, 100);
    EXPECT_EQ(TBaseReport::CalcGraphicHeight(3, picture), 1.5);
    EXPECT_EQ(TBaseReport::CalcGraphicWidth(3, picture), 6);
    TBitmap empty;
    EXPECT_EQ(TBaseReport::CalcGraphicHeight(3, empty), 0);
}

} // namespace
