#pragma once
// TCanvas: a drawing surface in device pixels with a font, a pen and a brush,
// over a QPainter; TBitmap: a picture in memory with a canvas of its own.
//
// A canvas keeps the state a device context keeps: the selected device font
// (the canvas's Font, or another font selected in its place), the text colour,
// the background mode and colour, the text alignment and the pen position.
// A canvas without a painter measures text (fonts are sized in device pixels)
// and draws nothing; the device that owns it sets the painter while a page is
// open.
#include "platform/graphics/Graphics.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSize>

#include <memory>
#include <vector>

enum class TBackgroundMode : uint8_t { bmTransparent, bmOpaque };

// Text alignment flags, valued as the Win32 TA_* flags: one horizontal and
// one vertical flag or'ed together.
constexpr uint32_t TA_LEFT = 0;
constexpr uint32_t TA_RIGHT = 2;
constexpr uint32_t TA_CENTER = 6;
constexpr uint32_t TA_TOP = 0;
constexpr uint32_t TA_BOTTOM = 8;
constexpr uint32_t TA_BASELINE = 24;

class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;

    TFont* Font() const { return FFont.get(); }
    TPen* Pen() const { return FPen.get(); }
    TBrush* Brush() const { return FBrush.get(); }
    void SetFont(const TFont* font) { FFont->Assign(font); }
    void SetPen(const TPen* pen) { FPen->Assign(pen); }
    void SetBrush(const TBrush* brush) { FBrush->Assign(brush); }

    // The painter drawn with (not owned), or nullptr.
    QPainter* Painter() const { return FPainter; }
    void SetPainter(QPainter* painter) { FPainter = painter; }
    bool HandleAllocated() const { return FPainter != nullptr; }

    // The font text is drawn and measured with, and its escapement (tenths of
    // a degree counter-clockwise). It follows Font whenever Font changes;
    // SelectDeviceFont puts another in its place and returns the one before.
    struct TDeviceFont {
        QFont Font;
        int Escapement = 0;
    };
    const TDeviceFont& DeviceFont() const { return FDeviceFont; }
    TDeviceFont SelectDeviceFont(const TDeviceFont& font);

    // Set from Font's colour whenever Font changes.
    TColor TextColor() const { return FTextColor; }
    void SetTextColor(TColor color) { FTextColor = color; }
    TBackgroundMode BackgroundMode() const { return FBackgroundMode; }
    void SetBackgroundMode(TBackgroundMode mode) { FBackgroundMode = mode; }
    TColor BackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(TColor color) { FBackgroundColor = color; }
    uint32_t TextAlign() const { return FTextAlign; }
    void SetTextAlign(uint32_t flags) { FTextAlign = flags; }

    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(TPoint pos) { FPenPos = pos; }

    // Drawing, in device pixels. Figures are outlined with the pen and filled
    // with the brush; Arc, Chord and Pie run counter-clockwise from the ray
    // through (x3, y3) to the ray through (x4, y4) on the ellipse bounded by
    // (x1, y1, x2, y2); the same two points give the whole ellipse.
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int x1, int y1, int x2, int y2);
    void RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Polygon(const std::vector<TPoint>& points);
    void Polyline(const std::vector<TPoint>& points);
    void FillRect(const TRect& rect);  // the brush only
    void FrameRect(const TRect& rect); // a one-pixel border in the brush colour
    void Draw(int x, int y, const TGraphic& graphic);
    void StretchDraw(const TRect& rect, const TGraphic& graphic);

    // Text at (x, y) placed by TextAlign, in the device font and text colour,
    // on a background box when the background mode is opaque.
    void TextOut(int x, int y, const QString& text);
    // The same with the text's advance in the device font already known
    // (pixels, as QFontMetricsF gives it), so that placing it measures
    // nothing.
    void TextOut(int x, int y, const QString& text, double advance);
    // The same, clipped to rect.
    void TextRect(const TRect& rect, int x, int y, const QString& text);
    // Width and cell height of a text in the device font; (0, 0) for "".
    QSize TextExtent(const QString& text) const;
    int TextWidth(const QString& text) const { return TextExtent(text).width(); }
    int TextHeight(const QString& text) const { return TextExtent(text).height(); }

private:
    void FontChanged(TObject* sender);
    bool Prepare(bool withPen, bool withBrush);
    bool Prepare(const QPen& pen, bool withBrush);
    void DrawArcShape(int kind, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);

    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    QPainter* FPainter = nullptr;
    TDeviceFont FDeviceFont;
    TColor FTextColor = clBlack;
    TBackgroundMode FBackgroundMode = TBackgroundMode::bmOpaque;
    TColor FBackgroundColor = clWhite;
    uint32_t FTextAlign = TA_LEFT | TA_TOP;
    TPoint FPenPos;
};

// A picture in memory (32-bit RGB, white when made or grown) with a canvas
// that draws on it.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height);
    ~TBitmap() override;

    void Assign(const TPersistent* source) override;

    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    void SetSize(int width, int height);
    QImage ToImage() const override;
    void LoadFromImage(const QImage& image);
    // Exchanges the two bitmaps' pictures without copying a pixel; each
    // keeps its canvas with its pen, brush and font.
    void SwapImage(TBitmap& other);

    TCanvas* Canvas();

private:
    void Begin();
    void End();

    QImage FImage;
    std::unique_ptr<QPainter> FPainter;
    std::unique_ptr<TCanvas> FCanvas;
};
