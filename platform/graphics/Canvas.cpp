#include "platform/graphics/Canvas.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {

enum ArcKind { kArc, kChord, kPie };

// The raster operation of a pen mode. Raster operations exist only on
// pictures in memory; printers and PDF files draw every mode as a copy.
QPainter::CompositionMode CompositionFor(TPenMode mode)
{
    switch (mode) {
    case TPenMode::pmNot:
        return QPainter::RasterOp_NotDestination;
    case TPenMode::pmNotCopy:
        return QPainter::RasterOp_NotSource;
    case TPenMode::pmMergePenNot:
        return QPainter::RasterOp_SourceOrNotDestination;
    case TPenMode::pmMaskPenNot:
        return QPainter::RasterOp_SourceAndNotDestination;
    case TPenMode::pmMergeNotPen:
        return QPainter::RasterOp_NotSourceOrDestination;
    case TPenMode::pmMaskNotPen:
        return QPainter::RasterOp_NotSourceAndDestination;
    case TPenMode::pmMerge:
        return QPainter::RasterOp_SourceOrDestination;
    case TPenMode::pmNotMerge:
        return QPainter::RasterOp_NotSourceAndNotDestination;
    case TPenMode::pmMask:
        return QPainter::RasterOp_SourceAndDestination;
    case TPenMode::pmNotMask:
        return QPainter::RasterOp_NotSourceOrNotDestination;
    case TPenMode::pmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case TPenMode::pmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

// The figure rectangle; an inside-frame pen keeps its whole width inside it.
QRectF FigureRect(const TPen& pen, int x1, int y1, int x2, int y2)
{
    QRectF r = QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
    if (pen.Style() == TPenStyle::psInsideFrame && pen.Width() > 1) {
        const double half = pen.Width() / 2.0;
        r.adjust(half, half, -half, -half);
    }
    return r;
}

// Angle in degrees, counter-clockwise from the positive x axis, of the ray
// from the centre of r through (x, y) (y grows downwards on the device).
double RayAngle(const QRectF& r, int x, int y)
{
    const QPointF c = r.center();
    return std::atan2(-(y - c.y()), x - c.x()) * 180.0 / std::numbers::pi;
}

QPolygon ToPolygon(const std::vector<TPoint>& points)
{
    QPolygon polygon;
    polygon.reserve(int(points.size()));
    for (const TPoint& p : points)
        polygon << QPoint(p.X, p.Y);
    return polygon;
}

} // namespace

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>())
{
    FFont->OnChange = [this](TObject* sender) { FontChanged(sender); };
    FontChanged(FFont.get());
}

TCanvas::~TCanvas() = default;

TCanvas::TDeviceFont TCanvas::SelectDeviceFont(const TDeviceFont& font)
{
    TDeviceFont previous = FDeviceFont;
    FDeviceFont = font;
    return previous;
}

void TCanvas::FontChanged(TObject*)
{
    FDeviceFont.Font = ToQFont(*FFont);
    FDeviceFont.Escapement = FFont->Orientation();
    FTextColor = FFont->Color();
}

bool TCanvas::Prepare(bool withPen, bool withBrush)
{
    return Prepare(withPen ? ToQPen(*FPen) : QPen(Qt::NoPen), withBrush);
}

bool TCanvas::Prepare(const QPen& pen, bool withBrush)
{
    if (!FPainter || !FPainter->isActive())
        return false;
    FPainter->setRenderHint(QPainter::Antialiasing, false);
    FPainter->setPen(pen);
    FPainter->setBrush(withBrush ? ToQBrush(*FBrush) : QBrush(Qt::NoBrush));
    // Hatched brushes fill their gaps with the background colour when opaque.
    FPainter->setBackgroundMode(FBackgroundMode == TBackgroundMode::bmOpaque ? Qt::OpaqueMode
                                                                             : Qt::TransparentMode);
    FPainter->setBackground(ToQColor(FBackgroundColor));
    const bool raster = FPainter->device() && FPainter->device()->devType() == QInternal::Image;
    FPainter->setCompositionMode(raster ? CompositionFor(FPen->Mode())
                                        : QPainter::CompositionMode_SourceOver);
    return true;
}

void TCanvas::MoveTo(int x, int y)
{
    FPenPos = {x, y};
}

void TCanvas::LineTo(int x, int y)
{
    if (Prepare(true, false))
        FPainter->drawLine(QPoint(FPenPos.X, FPenPos.Y), QPoint(x, y));
    FPenPos = {x, y};
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    if (Prepare(true, true))
        FPainter->drawRect(FigureRect(*FPen, x1, y1, x2, y2));
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight)
{
    if (Prepare(true, true))
        FPainter->drawRoundedRect(FigureRect(*FPen, x1, y1, x2, y2), cornerWidth / 2.0, cornerHeight / 2.0);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    if (Prepare(true, true))
        FPainter->drawEllipse(FigureRect(*FPen, x1, y1, x2, y2));
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    DrawArcShape(kArc, x1, y1, x2, y2, x3, y3, x4, y4);
}

void TCanvas::Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    DrawArcShape(kChord, x1, y1, x2, y2, x3, y3, x4, y4);
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    DrawArcShape(kPie, x1, y1, x2, y2, x3, y3, x4, y4);
}

void TCanvas::DrawArcShape(int kind, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    if (!Prepare(true, kind != kArc))
        return;
    const QRectF r = FigureRect(*FPen, x1, y1, x2, y2);
    const double start = RayAngle(r, x3, y3);
    double span = RayAngle(r, x4, y4) - start;
    while (span <= 0)
        span += 360.0;
    // Qt angles are sixteenths of a degree, counter-clockwise.
    const int a = int(std::lround(start * 16));
    const int s = int(std::lround(span * 16));
    if (kind == kArc)
        FPainter->drawArc(r, a, s);
    else if (kind == kChord)
        FPainter->drawChord(r, a, s);
    else
        FPainter->drawPie(r, a, s);
}

void TCanvas::Polygon(const std::vector<TPoint>& points)
{
    if (!points.empty() && Prepare(true, true))
        FPainter->drawPolygon(ToPolygon(points));
}

void TCanvas::Polyline(const std::vector<TPoint>& points)
{
    if (!points.empty() && Prepare(true, false))
        FPainter->drawPolyline(ToPolygon(points));
}

void TCanvas::FillRect(const TRect& rect)
{
    if (Prepare(false, true))
        FPainter->fillRect(QRect(QPoint(rect.Left, rect.Top), QPoint(rect.Right - 1, rect.Bottom - 1)),
                           ToQBrush(*FBrush));
}

void TCanvas::FrameRect(const TRect& rect)
{
    if (!Prepare(false, false) || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    const QBrush brush = ToQBrush(*FBrush);
    FPainter->fillRect(QRect(rect.Left, rect.Top, rect.Width(), 1), brush);
    FPainter->fillRect(QRect(rect.Left, rect.Bottom - 1, rect.Width(), 1), brush);
    FPainter->fillRect(QRect(rect.Left, rect.Top, 1, rect.Height()), brush);
    FPainter->fillRect(QRect(rect.Right - 1, rect.Top, 1, rect.Height()), brush);
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic)
{
    if (!graphic.Empty() && Prepare(false, false))
        FPainter->drawImage(QPoint(x, y), graphic.ToImage());
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic)
{
    if (!graphic.Empty() && Prepare(false, false))
        FPainter->drawImage(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), graphic.ToImage());
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    // Shaping a text to measure it costs about as much as drawing it: the
    // width is taken only where the placing or the background needs it.
    const bool opaque = FBackgroundMode == TBackgroundMode::bmOpaque;
    const bool aligned = (FTextAlign & TA_CENTER) == TA_CENTER || (FTextAlign & TA_RIGHT);
    const bool measure = !text.isEmpty() && FPainter && FPainter->isActive() && (opaque || aligned);
    TextOut(x, y, text, measure ? QFontMetricsF(FDeviceFont.Font).horizontalAdvance(text) : 0);
}

void TCanvas::TextOut(int x, int y, const QString& text, double advance)
{
    // The pen is the text's colour from the start: a pen changed twice for
    // each text makes a PDF write it twice.
    if (text.isEmpty() || !Prepare(QPen(ToQColor(FTextColor)), false))
        return;
    const double width = advance;
    double dx = 0;
    if ((FTextAlign & TA_CENTER) == TA_CENTER)
        dx = -width / 2;
    else if (FTextAlign & TA_RIGHT)
        dx = -width;
    // The font's metrics only where the text stands on its top or bottom or
    // on a background box.
    const bool opaque = FBackgroundMode == TBackgroundMode::bmOpaque;
    const bool onBaseline = (FTextAlign & TA_BASELINE) == TA_BASELINE;
    std::optional<QFontMetricsF> metrics;
    if (opaque || !onBaseline)
        metrics.emplace(FDeviceFont.Font);
    double baseline = 0;
    if (!onBaseline)
        baseline = FTextAlign & TA_BOTTOM ? -metrics->descent() : metrics->ascent();
    // Unturned text is drawn in place: saving and restoring the painter's
    // state for each text makes a PDF repeat its whole graphics state.
    const bool turned = FDeviceFont.Escapement != 0;
    QPointF at(dx, baseline);
    if (turned) {
        FPainter->save();
        FPainter->translate(x, y);
        FPainter->rotate(-FDeviceFont.Escapement / 10.0);
    } else {
        at += QPointF(x, y);
    }
    if (opaque)
        FPainter->fillRect(
            QRectF(at.x(), at.y() - metrics->ascent(), width, metrics->ascent() + metrics->descent()),
            ToQColor(FBackgroundColor));
    // Setting a font makes the painter find its engine again at the next
    // text, even an equal one.
    if (!(FPainter->font() == FDeviceFont.Font))
        FPainter->setFont(FDeviceFont.Font);
    FPainter->drawText(at, text);
    if (turned)
        FPainter->restore();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const QString& text)
{
    if (!FPainter || !FPainter->isActive())
        return;
    FPainter->save();
    FPainter->setClipRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), Qt::IntersectClip);
    TextOut(x, y, text);
    FPainter->restore();
}

QSize TCanvas::TextExtent(const QString& text) const
{
    if (text.isEmpty())
        return QSize(0, 0);
    const QFontMetricsF metrics(FDeviceFont.Font);
    return QSize(int(std::lround(metrics.horizontalAdvance(text))),
                 int(std::lround(metrics.ascent() + metrics.descent())));
}

TBitmap::TBitmap() : FCanvas(std::make_unique<TCanvas>()) {}

TBitmap::TBitmap(int width, int height) : TBitmap()
{
    SetSize(width, height);
}

TBitmap::~TBitmap()
{
    End();
}

void TBitmap::Assign(const TPersistent* source)
{
    if (auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        if (graphic != this)
            LoadFromImage(graphic->ToImage());
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(0, width);
    height = std::max(0, height);
    if (width == FImage.width() && height == FImage.height())
        return;
    End();
    QImage grown(width, height, QImage::Format_RGB32);
    grown.fill(Qt::white);
    if (!FImage.isNull()) {
        QPainter copy(&grown);
        copy.drawImage(0, 0, FImage);
    }
    FImage = grown;
    Begin();
}

QImage TBitmap::ToImage() const
{
    // The painter draws straight into the image's memory; a deep copy is a
    // consistent picture of what is drawn so far.
    return FImage.copy();
}

void TBitmap::LoadFromImage(const QImage& image)
{
    End();
    FImage = image.convertToFormat(QImage::Format_RGB32);
    Begin();
}

void TBitmap::SwapImage(TBitmap& other)
{
    if (&other == this)
        return;
    // A painter draws on the memory its image had when it began.
    End();
    other.End();
    FImage.swap(other.FImage);
    Begin();
    other.Begin();
}

TCanvas* TBitmap::Canvas()
{
    return FCanvas.get();
}

void TBitmap::Begin()
{
    if (FImage.isNull())
        return;
    FPainter = std::make_unique<QPainter>(&FImage);
    FCanvas->SetPainter(FPainter.get());
}

void TBitmap::End()
{
    FCanvas->SetPainter(nullptr);
    if (FPainter) {
        FPainter->end();
        FPainter.reset();
    }
}
