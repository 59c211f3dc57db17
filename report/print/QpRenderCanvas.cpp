#include "report/print/QpRenderCanvas.h"

#include "report/print/QpTextWidth.h"

#include "platform/rtl/RtlMath.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A superscript or subscript is drawn at this fraction of the height.
constexpr double kScriptDivisor = 1.667;
// The largest picture drawn, pixels a side: a bitmap scaled beyond it is a
// damaged stream, not a report.
constexpr int kMaxDrawnSide = 1 << 16;

int ClampedRound(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp<double>(std::nearbyint(value), INT_MIN, INT_MAX));
}

bool IsPicture(const QPainter* painter)
{
    return painter && painter->isActive() && painter->device() &&
           painter->device()->devType() == QInternal::Image;
}

QRect ToQRect(const TRect& r)
{
    return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1));
}

} // namespace

TZvRenderCanvas::TZvRenderCanvas(TComponent* owner) : TQPRenderStream(owner) {}

TZvRenderCanvas::~TZvRenderCanvas()
{
    FOwnCanvas.SetPainter(nullptr);
}

void TZvRenderCanvas::SetPaintDevice(QPaintDevice* device, int xdpi, int ydpi)
{
    FDevice = device;
    FDeviceXDPI = xdpi;
    FDeviceYDPI = ydpi;
}

TCanvas* TZvRenderCanvas::GetCanvas()
{
    if (!FDevice)
        RaiseError(Translate(QStringLiteral("Error!  Canvas not yet active.")));
    return &FOwnCanvas;
}

int TZvRenderCanvas::GetXDPI()
{
    if (FDeviceXDPI > 0)
        return FDeviceXDPI;
    return FDevice ? std::max(1, FDevice->logicalDpiX()) : 72;
}

int TZvRenderCanvas::GetYDPI()
{
    if (FDeviceYDPI > 0)
        return FDeviceYDPI;
    return FDevice ? std::max(1, FDevice->logicalDpiY()) : 72;
}

void TZvRenderCanvas::DocBegin()
{
    if (!FDevice)
        return;
    FPainter = std::make_unique<QPainter>();
    if (!FPainter->begin(FDevice)) {
        FPainter.reset();
        RaiseError(Translate(QStringLiteral("Error!  Canvas not yet active.")));
    }
    FOwnCanvas.SetPainter(FPainter.get());
}

void TZvRenderCanvas::DocEnd()
{
    FCurrFont = TCanvas::TDeviceFont();
    FTextScale = 1;
    if (FPainter) {
        FOwnCanvas.SetPainter(nullptr);
        FPainter->end();
        FPainter.reset();
    }
}

// ---------------------------------------------------------------------------
// State

void TZvRenderCanvas::SetBKColor(TColor color)
{
    FBKColor = color;
    GetCanvas()->SetBackgroundColor(color);
}

void TZvRenderCanvas::BrushChanged(TBrush& brush)
{
    GetCanvas()->Brush()->Assign(&brush);
}

void TZvRenderCanvas::PenChanged(TPen& pen)
{
    TPen* canvasPen = GetCanvas()->Pen();
    canvasPen->Assign(&pen);
    canvasPen->SetWidth(std::max(0, XI2D(snPenWidth) - XI2D(0)));
}

// The font's em height in device pixels, a script font's reduced; the
// escapement is the rotation in tenths of a degree. A font is realised at a
// whole number of pixels; a height in between is drawn and measured at that
// font scaled by the ratio, so that texts keep the widths their height gives.
void TZvRenderCanvas::FontChanged(TFont&)
{
    if (!Converter)
        return;
    const TSaveFont& data = Converter->FontData();
    const bool script = data.Superscript || data.Subscript;
    const double height = script ? data.Height / kScriptDivisor : data.Height;
    const double exact = TextPixelHeight(height);
    const int whole = std::max(1, ClampedRound(exact));
    FCurrFont.Font = ZsfQFont(data, whole);
    FCurrFont.Escapement = data.Rotation * 10;
    FTextScale = std::isfinite(exact) && exact > 0 ? exact / whole : 1;
}

double TZvRenderCanvas::TextPixelHeight(double height)
{
    return std::abs(YI2D(0) - YI2D(height));
}

double TZvRenderCanvas::TextWidthInches(const QString& text)
{
    if (text.isEmpty())
        return 0;
    return CachedAdvance(FCurrFont.Font, text) * FTextScale / GetXDPI();
}

// ---------------------------------------------------------------------------
// Text

// The painter scaled by the text scale about the text's device point, which
// becomes (X, Y) = (0, 0); unscaled text is drawn at the point itself (no
// transform, which a PDF would write out for each text).
TZvRenderCanvas::TTextScaling::TTextScaling(TZvRenderCanvas& target, int x, int y) : X(x), Y(y)
{
    QPainter* painter = target.GetCanvas()->Painter();
    if (target.FTextScale == 1 || !painter || !painter->isActive())
        return;
    FPainter = painter;
    FSaved = painter->worldTransform();
    painter->translate(x, y);
    painter->scale(target.FTextScale, target.FTextScale);
    X = 0;
    Y = 0;
}

TZvRenderCanvas::TTextScaling::~TTextScaling()
{
    if (FPainter)
        FPainter->setWorldTransform(FSaved);
}

void TZvRenderCanvas::TextOutput(const QString& text, double x, double y, uint32_t align)
{
    TCanvas* canvas = GetCanvas();
    if (text.isEmpty() || !Converter)
        return;
    const TSaveFont& data = Converter->FontData();
    if (data.Superscript)
        y -= data.Height / 2;
    else if (data.Subscript)
        y += data.Height / 2;
    // Text is drawn transparent whatever the snapshot's text background
    // mode: printouts have always shown the shading and lines under their
    // texts, and an opaque box would cover them.
    const TBackgroundMode savedMode = canvas->BackgroundMode();
    const TCanvas::TDeviceFont savedFont = canvas->SelectDeviceFont(FCurrFont);
    const TColor savedColor = canvas->TextColor();
    const uint32_t savedAlign = canvas->TextAlign();
    canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
    canvas->SetTextColor(TColor(ColorToRGB(data.Color)));
    canvas->SetTextAlign(align | TA_BASELINE);
    // A centred or right-aligned text is placed by its width, from the cache
    // (the background is transparent: a left-aligned one needs no width).
    const TTextScaling at(*this, XI2D(x), YI2D(y));
    if (align & TA_RIGHT)
        canvas->TextOut(at.X, at.Y, text, CachedAdvance(FCurrFont.Font, text));
    else
        canvas->TextOut(at.X, at.Y, text);
    canvas->SetTextAlign(savedAlign);
    canvas->SetTextColor(savedColor);
    canvas->SelectDeviceFont(savedFont);
    canvas->SetBackgroundMode(savedMode);
}

void TZvRenderCanvas::LeftText(const QString& text, double x, double y)
{
    TextOutput(text, x, y, TA_LEFT);
}

void TZvRenderCanvas::CenterText(const QString& text, double x, double y)
{
    TextOutput(text, x, y, TA_CENTER);
}

void TZvRenderCanvas::RightText(const QString& text, double x, double y)
{
    TextOutput(text, x, y, TA_RIGHT);
}

void TZvRenderCanvas::TextSegmentOut(const QString& text, double& x, double& y, double advance)
{
    TextSegmentPos(x, y, advance);
    // The segment ends at the new position. Its leading spaces show nothing
    // on the transparent background unless a line runs under or through
    // them, so otherwise only its word is drawn, ending at the same place:
    // the word's width is the one just measured, where the segment's would
    // be a text of its own to shape.
    const QFont& font = FCurrFont.Font;
    qsizetype lead = 0;
    if (!font.underline() && !font.strikeOut())
        while (lead < text.size() && text[lead] == u' ')
            ++lead;
    TextOutput(lead == 0 ? text : text.mid(lead), x, y, TA_RIGHT);
}

// Justified text: the room left in width goes to the gaps between words; a
// text without inner spaces is spread letter by letter (surrogate pairs and
// combining marks stay with their character).
void TZvRenderCanvas::PrintSpaces(const QString& value, double x, double y, double width)
{
    QString text = value;
    int gaps = CountInnerSpaces(text);
    if (gaps == 0) {
        QString spread;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (i > 0) {
                const QChar previous = text[i - 1];
                const bool inside = c.isLowSurrogate() || c.isMark();
                if (previous != u' ' && c != u' ' && !inside) {
                    spread.append(u' ');
                    ++gaps;
                }
            }
            spread.append(c);
        }
        text = spread;
        if (gaps == 0)
            gaps = 1;
    }
    const double space = (width - TextWidthInches(text)) / gaps + TextWidthInches(QStringLiteral(" "));
    // The words as NextWord and LeadingSpaces cut them, found in place: the
    // first with the spaces before it, then each run of spaces with the word
    // after it.
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n && text[start] == u' ')
        ++start;
    qsizetype at = text.indexOf(u' ', start);
    if (at < 0)
        at = n;
    const QString first = text.left(at);
    TextOutput(first, x, y, TA_LEFT);
    TextSegmentPos(x, y, TextWidthInches(first));
    while (at < n) {
        qsizetype word = at;
        while (word < n && text[word] == u' ')
            ++word;
        qsizetype end = text.indexOf(u' ', word);
        if (end < 0)
            end = n;
        TextSegmentOut(text.mid(at, end - at), x, y,
                       TextWidthInches(text.mid(word, end - word)) + (word - at) * space);
        at = end;
    }
}

bool TZvRenderCanvas::TextRect(const TRect& rect, double x, double y, const QString& text)
{
    TCanvas* canvas = GetCanvas();
    QPainter* painter = canvas->Painter();
    if (painter && painter->isActive() && canvas->Brush()->Style() != TBrushStyle::bsClear)
        painter->fillRect(ToQRect(rect), ToQColor(FBKColor));
    const TBackgroundMode savedMode = canvas->BackgroundMode();
    const TCanvas::TDeviceFont savedFont = canvas->SelectDeviceFont(FCurrFont);
    const uint32_t savedAlign = canvas->TextAlign();
    const TColor savedColor = canvas->TextColor();
    if (Converter)
        canvas->SetTextColor(TColor(ColorToRGB(Converter->FontData().Color)));
    canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
    canvas->SetTextAlign(TA_LEFT | TA_BASELINE);
    if (FTextScale == 1) {
        canvas->TextRect(rect, XI2D(x), YI2D(y), text);
    } else if (painter && painter->isActive()) {
        // Clipped in device pixels before the text's scaling.
        painter->save();
        painter->setClipRect(ToQRect(rect), Qt::IntersectClip);
        {
            const TTextScaling at(*this, XI2D(x), YI2D(y));
            canvas->TextOut(at.X, at.Y, text);
        }
        painter->restore();
    }
    canvas->SetTextColor(savedColor);
    canvas->SetTextAlign(savedAlign);
    canvas->SelectDeviceFont(savedFont);
    canvas->SetBackgroundMode(savedMode);
    return true;
}

// ---------------------------------------------------------------------------
// Shapes

// With w the pen width: a clear pen has no frame to place; an inside-frame
// pen and fmSplit centre the frame on the box's edge, fmInside moves it in by
// half its width, fmOutside out by half its width, on every side the same:
// the right and bottom edges move out by as much as the left and top ones
// (not by w more). The right and bottom edges are exclusive, hence the 2.
TRect TZvRenderCanvas::FrameBox(double x1, double y1, double x2, double y2)
{
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    const TPen& pen = *GetCanvas()->Pen();
    const int w = pen.Width();
    int a = 0;
    int b = 0;
    if (pen.Style() == TPenStyle::psClear) {
        a = 0;
        b = 0;
    } else if (pen.Style() == TPenStyle::psInsideFrame || snFrameMode == TFrameMode::fmSplit) {
        a = 0;
        b = 1;
    } else if (snFrameMode == TFrameMode::fmInside) {
        a = w / 2;
        b = w - a;
    } else {
        a = -(w / 2);
        b = a;
    }
    return TRect{XI2D(x1) + a, YI2D(y1) + a, XI2D(x2) - b + 2, YI2D(y2) - b + 2};
}

// The frame box counts its right and bottom edges out, as the Windows
// canvas does; the canvas here draws a figure through the edges it is given,
// so it gets them one pixel in.
void TZvRenderCanvas::Rectangle(double x1, double y1, double x2, double y2)
{
    const TRect box = FrameBox(x1, y1, x2, y2);
    GetCanvas()->Rectangle(box.Left, box.Top, box.Right - 1, box.Bottom - 1);
}

void TZvRenderCanvas::Ellipse(double x1, double y1, double x2, double y2)
{
    const TRect box = FrameBox(x1, y1, x2, y2);
    GetCanvas()->Ellipse(box.Left, box.Top, box.Right - 1, box.Bottom - 1);
}

// The corner ellipse is measured like every other length, so that it
// follows the zoom of a preview.
void TZvRenderCanvas::RoundRect(double x1, double y1, double x2, double y2, double x3, double y3)
{
    GetCanvas()->RoundRect(XI2D(x1), YI2D(y1), XI2D(x2), YI2D(y2), XI2D(x3) - XI2D(0), YI2D(y3) - YI2D(0));
}

void TZvRenderCanvas::Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                          double y4)
{
    GetCanvas()->Arc(XI2D(x1), YI2D(y1), XI2D(x2), YI2D(y2), XI2D(x3), YI2D(y3), XI2D(x4), YI2D(y4));
}

void TZvRenderCanvas::Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                            double y4)
{
    GetCanvas()->Chord(XI2D(x1), YI2D(y1), XI2D(x2), YI2D(y2), XI2D(x3), YI2D(y3), XI2D(x4), YI2D(y4));
}

void TZvRenderCanvas::Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                          double y4)
{
    GetCanvas()->Pie(XI2D(x1), YI2D(y1), XI2D(x2), YI2D(y2), XI2D(x3), YI2D(y3), XI2D(x4), YI2D(y4));
}

void TZvRenderCanvas::MoveTo(double x, double y)
{
    GetCanvas()->MoveTo(XI2D(x), YI2D(y));
}

void TZvRenderCanvas::LineTo(double x, double y)
{
    GetCanvas()->LineTo(XI2D(x), YI2D(y));
}

void TZvRenderCanvas::Polyline(const std::vector<QPointF>& points)
{
    std::vector<TPoint> device;
    device.reserve(points.size());
    for (const QPointF& p : points)
        device.push_back({XI2D(p.x()), YI2D(p.y())});
    GetCanvas()->Polyline(device);
}

void TZvRenderCanvas::Polygon(const std::vector<QPointF>& points)
{
    std::vector<TPoint> device;
    device.reserve(points.size());
    for (const QPointF& p : points)
        device.push_back({XI2D(p.x()), YI2D(p.y())});
    GetCanvas()->Polygon(device);
}

void TZvRenderCanvas::FillRect(const TRect& rect)
{
    GetCanvas()->FillRect(rect);
}

void TZvRenderCanvas::FrameRect(const TRect& rect)
{
    GetCanvas()->FrameRect(rect);
}

// A dotted frame that a second drawing takes away again (on pictures).
void TZvRenderCanvas::DrawFocusRect(const TRect& rect)
{
    QPainter* painter = GetCanvas()->Painter();
    if (!painter || !painter->isActive() || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (IsPicture(painter))
        painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter->setPen(QPen(IsPicture(painter) ? Qt::white : Qt::black, 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1));
    painter->restore();
}

// Fills the area around (x, y): every pixel reachable through pixels of the
// colour (fsSurface) or through pixels not of the colour (fsBorder). The area
// is found on the picture as drawn so far and painted span by span with the
// brush.
void TZvRenderCanvas::FloodFill(double x, double y, TColor color, TFillStyle fillStyle)
{
    TCanvas* canvas = GetCanvas();
    QPainter* painter = canvas->Painter();
    if (!IsPicture(painter))
        return;
    const QImage& image = *static_cast<const QImage*>(painter->device());
    const int w = image.width();
    const int h = image.height();
    const int px = XI2D(x);
    const int py = YI2D(y);
    if (px < 0 || py < 0 || px >= w || py >= h)
        return;
    const QRgb key = ToQColor(color).rgb() & 0xFFFFFF;
    auto inside = [&](int cx, int cy) {
        const bool same = (image.pixel(cx, cy) & 0xFFFFFF) == key;
        return fillStyle == TFillStyle::fsSurface ? same : !same;
    };
    if (!inside(px, py))
        return;
    std::vector<uint8_t> seen(size_t(w) * size_t(h), 0);
    std::vector<QPoint> stack{QPoint(px, py)};
    std::vector<QRect> spans;
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        int left = p.x();
        const int row = p.y();
        if (seen[size_t(row) * size_t(w) + size_t(left)] || !inside(left, row))
            continue;
        while (left > 0 && !seen[size_t(row) * size_t(w) + size_t(left - 1)] && inside(left - 1, row))
            --left;
        int right = p.x();
        while (right + 1 < w && !seen[size_t(row) * size_t(w) + size_t(right + 1)] && inside(right + 1, row))
            ++right;
        for (int i = left; i <= right; ++i)
            seen[size_t(row) * size_t(w) + size_t(i)] = 1;
        spans.emplace_back(left, row, right - left + 1, 1);
        for (const int next : {row - 1, row + 1}) {
            if (next < 0 || next >= h)
                continue;
            for (int i = left; i <= right; ++i)
                if (!seen[size_t(next) * size_t(w) + size_t(i)] && inside(i, next))
                    stack.emplace_back(i, next);
        }
    }
    const QBrush brush = ToQBrush(*canvas->Brush());
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const QRect& span : spans)
        painter->fillRect(span, brush);
    painter->restore();
}

// ---------------------------------------------------------------------------
// Pictures

void TZvRenderCanvas::DrawBitmap(const QRect& dest, const TBitmap& bitmap)
{
    QPainter* painter = GetCanvas()->Painter();
    if (!painter || !painter->isActive() || bitmap.Empty())
        return;
    painter->save();
    if (FTransparentBitmaps && IsPicture(painter))
        painter->setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter->drawImage(dest, bitmap.ToImage());
    painter->restore();
}

void TZvRenderCanvas::PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& bitmap)
{
    const int left = XI2D(x1);
    const int top = YI2D(y1);
    DrawBitmap(QRect(left, top, XI2D(x2) - left, YI2D(y2) - top), bitmap);
}

void TZvRenderCanvas::PrintBitmap(double x, double y, double scaleX, double scaleY, const TBitmap& bitmap)
{
    const int width = std::clamp(ClampedRound(bitmap.Width() * scaleX), -kMaxDrawnSide, kMaxDrawnSide);
    const int height = std::clamp(ClampedRound(bitmap.Height() * scaleY), -kMaxDrawnSide, kMaxDrawnSide);
    DrawBitmap(QRect(XI2D(x), YI2D(y), width, height), bitmap);
}

void TZvRenderCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic)
{
    GetCanvas()->StretchDraw(rect, graphic);
}

void TZvRenderCanvas::Draw(double x, double y, const TGraphic& graphic)
{
    GetCanvas()->Draw(XI2D(x), YI2D(y), graphic);
}

// The source part of the bitmap, its pixels of the colour replaced by the
// brush colour, stretched into the destination.
void TZvRenderCanvas::BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor color)
{
    TCanvas* canvas = GetCanvas();
    QImage part = bitmap.ToImage().copy(ToQRect(source)).convertToFormat(QImage::Format_RGB32);
    if (part.isNull())
        return;
    const QRgb key = ToQColor(color).rgb();
    const QRgb fill = ToQColor(canvas->Brush()->Color()).rgb();
    for (int row = 0; row < part.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(row));
        for (int i = 0; i < part.width(); ++i)
            if ((line[i] & 0xFFFFFF) == (key & 0xFFFFFF))
                line[i] = fill;
    }
    TBitmap copy;
    copy.LoadFromImage(part);
    canvas->StretchDraw(dest, copy);
}

// A canvas to copy from does not survive into a snapshot.
void TZvRenderCanvas::CopyRect(const TRect&, TCanvas*, const TRect&) {}
