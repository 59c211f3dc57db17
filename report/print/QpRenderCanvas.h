#pragma once
// QpRenderCanvas: TZvRenderCanvas, the render target that carries every
// command of a snapshot out on a canvas, turning inches into device pixels
// through the target's XI2D / YI2D. It is the base of the printer and
// preview targets, which supply their canvas (GetCanvas); by itself it draws
// on any paint device it is given (a QImage, a QPdfWriter ...), the painter
// running from DocBegin to DocEnd.
//
// Frames of rectangles and ellipses follow the frame mode: fmInside keeps the
// pen inside the box, fmSplit centres it on the box's edge, fmOutside puts it
// outside, the same distance out on every side.
#include "report/print/QpRender.h"

#include "platform/graphics/Canvas.h"

#include <QTransform>

#include <memory>

class QPaintDevice;
class QPainter;

class TZvRenderCanvas : public TQPRenderStream {
public:
    explicit TZvRenderCanvas(TComponent* owner);
    ~TZvRenderCanvas() override;

    // Draws on the device (not owned) at its own resolution, or at the one
    // given. The device must outlive the playback.
    void SetPaintDevice(QPaintDevice* device, int xdpi = 0, int ydpi = 0);

    // The canvas drawn on; ESheetcaster "Error!  Canvas not yet active." when
    // there is none.
    virtual TCanvas* GetCanvas();
    // Width of the text in the current font, inches.
    virtual double TextWidthInches(const QString& text);

    int GetXDPI() override;
    int GetYDPI() override;
    void SetBKColor(TColor color) override;
    void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) override;
    void BrushChanged(TBrush& brush) override;
    void Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
               double y4) override;
    void CenterText(const QString& text, double x, double y) override;
    void Ellipse(double x1, double y1, double x2, double y2) override;
    void FontChanged(TFont& font) override;
    void LeftText(const QString& text, double x, double y) override;
    void LineTo(double x, double y) override;
    void MoveTo(double x, double y) override;
    void Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) override;
    void Polyline(const std::vector<QPointF>& points) override;
    void Polygon(const std::vector<QPointF>& points) override;
    void RightText(const QString& text, double x, double y) override;
    void PenChanged(TPen& pen) override;
    void PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& bitmap) override;
    void PrintBitmap(double x, double y, double scaleX, double scaleY, const TBitmap& bitmap) override;
    void StretchDraw(const TRect& rect, const TGraphic& graphic) override;
    void Draw(double x, double y, const TGraphic& graphic) override;
    void PrintSpaces(const QString& text, double x, double y, double width) override;
    void Rectangle(double x1, double y1, double x2, double y2) override;
    void FillRect(const TRect& rect) override;
    bool TextRect(const TRect& rect, double x, double y, const QString& text) override;
    void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3) override;
    void TextSegmentOut(const QString& text, double& x, double& y, double advance) override;
    void FrameRect(const TRect& rect) override;
    // On pictures in memory only: a printer cannot read back what it drew.
    void FloodFill(double x, double y, TColor color, TFillStyle fillStyle) override;
    void BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor color) override;
    void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source) override;
    void DrawFocusRect(const TRect& rect) override;
    void DocBegin() override;
    void DocEnd() override;

    // The device rectangle a framed shape is drawn with (corners in any
    // order), for the frame mode and the canvas pen.
    TRect FrameBox(double x1, double y1, double x2, double y2);
    // The realised current font.
    const TCanvas::TDeviceFont& CurrFont() const { return FCurrFont; }

protected:
    // Text at (x, y) inches with a TA_* horizontal alignment, on the baseline.
    void TextOutput(const QString& text, double x, double y, uint32_t align);
    // The em height in device pixels of a font height in inches: here the
    // whole pixels between YI2D(0) and YI2D(height). A target whose fonts
    // are small in pixels (a zoomed preview) gives the exact height, and its
    // text is drawn at that size, not at the nearest whole pixel.
    virtual double TextPixelHeight(double height);
    // Draws a bitmap into a device rectangle, "and"-ed with what is there
    // when TransparentBitmaps is set (on pictures in memory).
    void DrawBitmap(const QRect& dest, const TBitmap& bitmap);

    TCanvas::TDeviceFont FCurrFont;
    // The text's exact em height over the current font's whole pixels: text
    // is drawn and measured at the font scaled by it.
    double FTextScale = 1;

private:
    // While it lives, the painter draws text about the device point (x, y)
    // at the text scale; X, Y is where the text is drawn then.
    class TTextScaling {
    public:
        TTextScaling(TZvRenderCanvas& target, int x, int y);
        ~TTextScaling();
        TTextScaling(const TTextScaling&) = delete;
        TTextScaling& operator=(const TTextScaling&) = delete;
        int X;
        int Y;

    private:
        QPainter* FPainter = nullptr;
        QTransform FSaved;
    };

    QPaintDevice* FDevice = nullptr;
    int FDeviceXDPI = 0;
    int FDeviceYDPI = 0;
    std::unique_ptr<QPainter> FPainter;
    TCanvas FOwnCanvas;
};
