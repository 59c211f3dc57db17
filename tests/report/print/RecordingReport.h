#pragma once
// Test doubles for the canvas's text and box output: a 300-dpi device whose
// characters all have one advance, and a canvas that records the arguments
// of its output operations instead of drawing.
#include "NoPrinter.h"
#include "report/print/QpBase.h"
#include "tests/support/SilentReport.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (const QString& text : list)
        *os << ' ' << '"' << text.toStdString() << '"';
    *os << " }";
}

// Every character advances 0.6 of the em of the selected device font (0.7
// when bold): a 12-point font at 300 dpi has a 50-pixel em, so a character is
// 30 pixels, 0.1 inch, wide. Both ways the canvas measures go through
// Advance: the device's TextWidth (text without codes) and the recording
// canvas's GetTextExtent (runs of text with codes).
class FixedAdvanceDevice : public TQPBaseDevice {
public:
    FixedAdvanceDevice() : FBitmap(10, 10) {}
    TCanvas* GetCanvas() override { return FBitmap.Canvas(); }
    int GetXDPI() override { return 300; }
    int GetYDPI() override { return 300; }
    int TextWidth(const QString& value) override { return Advance(value); }

    int Advance(const QString& text)
    {
        const QFont& font = FBitmap.Canvas()->DeviceFont().Font;
        const double perChar = font.pixelSize() * (font.bold() ? 0.7 : 0.6);
        return int(std::lround(text.size() * perChar));
    }

private:
    TBitmap FBitmap;
};

// Records OutputLeft/Center/Right/Block, TabRectangle, MoveTo and LineTo as
// lines of text ("Left \"ab\" 1"), and plays the output class's part: text
// output moves the cursor past the text, box lines are buffered as output
// classes buffer them, a run starts page 1 and ends it.
class RecordingReport : public TSilentReport {
public:
    // With a FixedAdvanceDevice, GetTextExtent uses its advance too.
    explicit RecordingReport(TQPBaseDevice* device) : TSilentReport(nullptr)
    {
        SetLocalDevice(device);
        FFixed = dynamic_cast<FixedAdvanceDevice*>(device);
        ResetPrinter();
    }

    QStringList Calls;
    bool PageOpen = false;
    std::function<void()> OnOutput; // runs inside OutputLeft

    // Start, then a 12-point font and the cursor on line 1 of its height.
    void Begin()
    {
        Start();
        SetFont(QStringLiteral("Arial"), 12);
        Home();
    }

    QSize GetTextExtent(const QString& value) override
    {
        if (!FFixed)
            return TBaseReport::GetTextExtent(value);
        return QSize(FFixed->Advance(value), GetCanvas()->DeviceFont().Font.pixelSize());
    }

    void OutputLeft(const QString& text, double x) override
    {
        if (!Output())
            return;
        Record(QStringLiteral("Left \"%1\" %2").arg(text).arg(x));
        if (OnOutput)
            OnOutput();
        FCursorXPos = x;
        AdvanceCursor(TextWidth(text));
    }
    void OutputCenter(const QString& text, double x) override
    {
        if (!Output())
            return;
        Record(QStringLiteral("Center \"%1\" %2").arg(text).arg(x));
        FCursorXPos = x;
        AdvanceCursor(TextWidth(text) / 2);
    }
    void OutputRight(const QString& text, double x) override
    {
        if (!Output())
            return;
        Record(QStringLiteral("Right \"%1\" %2").arg(text).arg(x));
        FCursorXPos = x;
    }
    void OutputBlock(const QString& text, double x, double width) override
    {
        if (!Output())
            return;
        Record(QStringLiteral("Block \"%1\" %2 %3").arg(text).arg(x).arg(width));
        FCursorXPos = x + width;
    }
    void TabRectangle(double x1, double y1, double x2, double y2) override
    {
        if (!Output())
            return;
        const TCanvas* canvas = GetCanvas();
        Record(QStringLiteral("TabRect %1 %2 %3 %4 fill=%5 pen=%6 transparent=%7")
                   .arg(x1)
                   .arg(y1)
                   .arg(x2)
                   .arg(y2)
                   .arg(canvas->Brush()->Color(), 6, 16, QLatin1Char('0'))
                   .arg(canvas->Pen()->Style() == TPenStyle::psClear ? QStringLiteral("clear")
                                                                     : QStringLiteral("visible"))
                   .arg(int(canvas->BackgroundMode() == TBackgroundMode::bmTransparent)));
    }
    void MoveTo(double x, double y) override
    {
        if (!Output())
            return;
        FLastLineX = FOriginX + x;
        FLastLineY = FOriginY + y;
        if (FNoBufferLine)
            RecordLine(QStringLiteral("MoveTo"), x, y);
    }
    void LineTo(double x, double y) override
    {
        if (!Output())
            return;
        if (FNoBufferLine) {
            RecordLine(QStringLiteral("LineTo"), x, y);
            return;
        }
        const double fromX = FLastLineX - FOriginX;
        const double fromY = FLastLineY - FOriginY;
        if (!BufferLine(x, y)) {
            RecordLine(QStringLiteral("MoveTo"), fromX, fromY);
            RecordLine(QStringLiteral("LineTo"), x, y);
        }
    }

    void Start() override
    {
        FPrinting = true;
        HookCanvasFont();
        FCurrentPage = 0;
        NewPage();
    }
    void Finish() override
    {
        if (PageOpen)
            FireReportEvents(TReportEventType::reEndPage);
        PageOpen = false;
        UnhookCanvasFont();
        FPrinting = false;
        Record(QStringLiteral("Finish"));
    }
    void NewPage() override
    {
        if (PageOpen)
            FireReportEvents(TReportEventType::reEndPage);
        TBaseReport::NewPage();
        PageOpen = true;
        FireReportEvents(TReportEventType::reBeginPage);
    }
    // Ends the page: the buffered box lines go out.
    void EndPage()
    {
        FireReportEvents(TReportEventType::reEndPage);
        PageOpen = false;
    }

    int OutputMode() const override { return Mode; }
    int Mode = 0;

    using TBaseReport::PrintSegment;


private:
    bool Output()
    {
        CheckPrinting();
        return !OutputInvalid();
    }
    void Record(const QString& call) { Calls.append(call); }
    void RecordLine(const QString& op, double x, double y)
    {
        Record(QStringLiteral("%1 %2 %3 w%4").arg(op).arg(x).arg(y).arg(GetCanvas()->Pen()->Width()));
    }

    FixedAdvanceDevice* FFixed = nullptr;
};

// The canvas's tests assume no printer: with one, the page follows that
// printer.
class RecordingTest : public NoPrinterTest {
protected:
    FixedAdvanceDevice device;
};
