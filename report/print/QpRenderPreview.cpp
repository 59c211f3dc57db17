#include "report/print/QpRenderPreview.h"

#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/Picture.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double kMinZoom = 10; // percent
constexpr double kMaxZoom = 200;
constexpr int kRulerSize = 20; // pixels
// The largest page picture: pixels a side, and in all.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPagePixels = int64_t(1) << 26;

const QColor kRulerColor(255, 255, 128);
const QColor kCornerColor(192, 192, 192);

int IntRound(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp<double>(std::nearbyint(value), INT_MIN, INT_MAX));
}

bool HasVerticalRuler(TRulerType type)
{
    return type == TRulerType::rtVertCm || type == TRulerType::rtBothCm || type == TRulerType::rtVertIn ||
           type == TRulerType::rtBothIn;
}

bool HasHorizontalRuler(TRulerType type)
{
    return type == TRulerType::rtHorizCm || type == TRulerType::rtBothCm || type == TRulerType::rtHorizIn ||
           type == TRulerType::rtBothIn;
}

bool InchRuler(TRulerType type)
{
    return type == TRulerType::rtHorizIn || type == TRulerType::rtVertIn || type == TRulerType::rtBothIn;
}

int ScreenDPI(bool horizontal)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QScreen* screen = app->primaryScreen()) {
            const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
            if (dpi >= 1)
                return IntRound(dpi);
        }
    }
    return 96;
}

// The length of ruler mark i: every inch (or centimetre) longest, with a
// label; halves, quarters (inch rulers) shorter.
int MarkLength(int i, bool inch)
{
    if (inch) {
        if (i % 8 == 0)
            return 18;
        if (i % 8 == 4)
            return 15;
        if (i % 8 == 2 || i % 8 == 6)
            return 10;
        return 5;
    }
    if (i % 10 == 0)
        return 18;
    if (i % 10 == 5)
        return 15;
    return 5;
}

} // namespace

TZvRenderPreview::TZvRenderPreview(TComponent* owner)
    : TZvRenderCanvas(owner), FGridPen(std::make_unique<TPen>())
{
    SetActive(false);
}

TZvRenderPreview::~TZvRenderPreview()
{
    RestoreCursor();
    ReferenceComponent<TImage>(this, FImage, nullptr);
    SetScrollBox(nullptr);
}

void TZvRenderPreview::Notification(TComponent* component, TOperation operation)
{
    TZvRenderCanvas::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FScrollBox)
        FScrollBox = nullptr;
    if (component == FImage) {
        FImage = nullptr;
        FBitmap = nullptr;
    }
}

void TZvRenderPreview::SetScrollBox(TScrollBox* scrollBox)
{
    ReferenceComponent(this, FScrollBox, scrollBox);
}

void TZvRenderPreview::SetMonochrome(bool monochrome)
{
    FMonochrome = monochrome;
    if (monochrome)
        FShadowDepth = 0;
}

void TZvRenderPreview::SetShadowDepth(int depth)
{
    FShadowDepth = std::max(0, depth);
    if (depth > 0)
        FMonochrome = false;
}

int TZvRenderPreview::Pages() const
{
    return Converter && Converter->PageCount() > 0 ? Converter->PageCount() : FPages;
}

int TZvRenderPreview::GetXDPI()
{
    return FXDPI > 0 ? FXDPI : ScreenDPI(true);
}

int TZvRenderPreview::GetYDPI()
{
    return FYDPI > 0 ? FYDPI : ScreenDPI(false);
}

int TZvRenderPreview::XI2D(double pos)
{
    return IntRound(FZoom * GetXDPI() * pos / 100) + AddX;
}

int TZvRenderPreview::YI2D(double pos)
{
    return IntRound(FZoom * GetYDPI() * pos / 100) + AddY;
}

// The zoomed height as it is: a font of a few pixels rounded to a whole one
// would be up to a twelfth wider or narrower than the page it is laid out
// on, and the gaps of a justified line would take up the difference.
double TZvRenderPreview::TextPixelHeight(double height)
{
    return std::abs(FZoom * GetYDPI() * height / 100);
}

// Widths do not depend on the zoom.
double TZvRenderPreview::TextWidthInches(const QString& text)
{
    return TZvRenderCanvas::TextWidthInches(text) * 100 / FZoom;
}

// Pages are drawn off screen.
TCanvas* TZvRenderPreview::GetCanvas()
{
    if (!FDrawing)
        RaiseError(Translate(QStringLiteral("Error!  Canvas not yet active.")));
    return FDrawing->Canvas();
}

void TZvRenderPreview::PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& bitmap)
{
    GetCanvas()->StretchDraw(TRect{XI2D(x1), YI2D(y1), XI2D(x2), YI2D(y2)}, bitmap);
}

TWinControl* TZvRenderPreview::Box() const
{
    return FScrollBox;
}

double TZvRenderPreview::PaperWidth() const
{
    return Converter ? Converter->PageHeader().PaperWidth : snPaperWidth;
}

double TZvRenderPreview::PaperHeight() const
{
    return Converter ? Converter->PageHeader().PaperHeight : snPaperHeight;
}

void TZvRenderPreview::SetRulerSizes()
{
    RulerWidth = HasVerticalRuler(RulerType) ? kRulerSize : 0;
    RulerHeight = HasHorizontalRuler(RulerType) ? kRulerSize : 0;
}

// ---------------------------------------------------------------------------
// Zoom

void TZvRenderPreview::SetZoomFactor(double value)
{
    if (value <= -1.9)
        FZoom = ZoomPageWidthFactor();
    else if (value < 0)
        FZoom = ZoomPageFactor();
    else if (value < kMinZoom)
        FZoom = kMinZoom;
    else if (value > kMaxZoom)
        FZoom = kMaxZoom;
    else
        FZoom = value;
    // A fit computed for an empty page or a scroll box of no size is no
    // zoom at all.
    if (!std::isfinite(FZoom) || FZoom <= 0)
        FZoom = kMinZoom;
    DoZoomChange();
    if (!OnZoomChange)
        RedrawPage();
}

void TZvRenderPreview::ZoomIn()
{
    SetZoomFactor(FZoom + ZoomInc);
}

void TZvRenderPreview::ZoomOut()
{
    if (FZoom > ZoomInc)
        SetZoomFactor(FZoom - ZoomInc);
}

double TZvRenderPreview::ZoomPageFactor()
{
    if (!FScrollBox)
        return FZoom;
    SetRulerSizes();
    const double w = Box()->Width() - FShadowDepth - RulerWidth;
    const double h = Box()->Height() - FShadowDepth - RulerHeight;
    const double pw = PaperWidth();
    const double ph = PaperHeight();
    const double xdpi = GetXDPI();
    const double ydpi = GetYDPI();
    const double mp = MarginPercent;
    double zx;
    double zy;
    if (MarginMethod == TMarginMethod::mmFixed) {
        const int m = IntRound(xdpi * pw * mp / 100);
        zx = (w - 4 - 2 * m) / (xdpi * pw);
        zy = (h - 4 - 2 * m) / (ydpi * ph);
    } else {
        zx = (w - 4) / (xdpi * pw * (mp / 50 + 1));
        zy = (h - 4) / (ydpi * ph + xdpi * pw * mp / 50);
    }
    return std::min(zx, zy) * 100;
}

double TZvRenderPreview::ZoomPageWidthFactor()
{
    if (!FScrollBox)
        return FZoom;
    SetRulerSizes();
    MeasureScrollBox();
    const double w = Box()->Width() - FShadowDepth - RulerWidth;
    const double h = Box()->Height() - FShadowDepth - RulerHeight;
    const double pw = PaperWidth();
    const double ph = PaperHeight();
    const double xdpi = GetXDPI();
    const double ydpi = GetYDPI();
    const double mp = MarginPercent;
    const bool fixed = MarginMethod == TMarginMethod::mmFixed;
    const int fixedMargin = IntRound(xdpi * pw * mp / 100);
    auto zoomFor = [&](double extra) {
        if (fixed)
            return (w - 2 * fixedMargin - HorzAdj - extra) / (xdpi * pw);
        return (w - HorzAdj - extra) / (xdpi * pw * (mp / 50 + 1));
    };
    double z = zoomFor(0);
    const int m = fixed ? fixedMargin : IntRound(xdpi * pw * mp / 100 * z);
    // A page taller than the box gets a vertical scroll bar, which takes
    // its width away.
    if (h - VertAdj < ydpi * ph * z + 2 * m)
        z = zoomFor(ScrollBarWidth);
    return z * 100;
}

void TZvRenderPreview::DoZoomChange()
{
    if (OnZoomChange)
        OnZoomChange(this);
}

void TZvRenderPreview::DoPageChange()
{
    if (OnPageChange)
        OnPageChange(this);
}

// ---------------------------------------------------------------------------
// Pages

// The page number told stays that of the picture shown: a page that cannot
// be shown was never put on screen (see ShowDrawnPage).
void TZvRenderPreview::RenderPage(int pageNum)
{
    const int shown = FCurrentPage;
    FCurrentPage = PageShownFor(pageNum);
    try {
        TZvRenderCanvas::RenderPage(FCurrentPage);
    } catch (...) {
        const bool moved = FCurrentPage != shown;
        FCurrentPage = shown;
        RestoreCursor();
        if (moved)
            DoPageChange();
        throw;
    }
    RestoreCursor();
}

int TZvRenderPreview::PageShownFor(int pageNum) const
{
    const int pages = Pages();
    return std::max(1, pages > 0 ? std::min(pageNum, pages) : pageNum);
}

void TZvRenderPreview::RedrawPage()
{
    RenderPage(FCurrentPage);
}

void TZvRenderPreview::NextPage()
{
    if (FCurrentPage + PageInc <= Pages())
        RenderPage(FCurrentPage + PageInc);
    else if (FCurrentPage > 1)
        RenderPage(1);
}

void TZvRenderPreview::PrevPage()
{
    if (FCurrentPage - PageInc >= 1)
        RenderPage(FCurrentPage - PageInc);
    else if (FCurrentPage != Pages())
        RenderPage(Pages());
}

void TZvRenderPreview::Clear()
{
    TImage* image = FImage;
    ReferenceComponent<TImage>(this, FImage, nullptr);
    FBitmap = nullptr;
    FDrawing.reset();
    if (!image)
        return;
    if (TComponent* owner = image->Owner())
        owner->RemoveComponent(image);
    delete image;
}

void TZvRenderPreview::RestoreCursor()
{
    if (!FCursorSet)
        return;
    FCursorSet = false;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
}

void TZvRenderPreview::PageEnd()
{
    TZvRenderCanvas::PageEnd();
    ShowDrawnPage();
    RestoreCursor();
}

// The page has played whole: its picture and the one shown change places,
// without a pixel copied, and the picture shown before becomes the one the
// next page is drawn on.
void TZvRenderPreview::ShowDrawnPage()
{
    PrepareImage();
    FBitmap->SwapImage(*FDrawing);
    PlaceImage(FBitmap->Width(), FBitmap->Height());
    FBitmap->Changed();
}

// Without its host the target draws nothing, whatever it plays: a refusal
// of its own.
void TZvRenderPreview::RequireScrollBox()
{
    const TOwnCall call(*this);
    if (!FScrollBox)
        RaiseError(Translate(QStringLiteral("ScrollBox must be assigned for RenderPreview component")));
}

// The scroll bars' sizes come from the style; the frame is what the scroll
// box's outer size has beyond its client area.
void TZvRenderPreview::MeasureScrollBox()
{
    if (!FScrollBox)
        return;
    const QScrollArea* area = FScrollBox->ScrollArea();
    const int extent = area ? area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area) : 16;
    ScrollBarWidth = extent;
    ScrollBarHeight = extent;
    HorzAdj = Box()->Width() - Box()->ClientWidth();
    VertAdj = Box()->Height() - Box()->ClientHeight();
}

void TZvRenderPreview::PrepareImage()
{
    if (FImage && FImage->Parent() == Box())
        return;
    if (FImage)
        Clear();
    TComponent* owner = Box()->Owner() ? Box()->Owner() : Box();
    auto* image = new TImage(owner);
    image->SetParent(Box());
    ReferenceComponent(this, FImage, image);
    FBitmap = image->Picture()->Bitmap();
}

void TZvRenderPreview::PageBegin()
{
    TZvRenderCanvas::PageBegin();
    RequireScrollBox();
    if (Converter)
        FPages = Converter->PageCount();
    FXDPI = ScreenDPI(true);
    FYDPI = ScreenDPI(false);
    MeasureScrollBox();
    AddX = 0;
    AddY = 0;
    if (FMonochrome)
        FShadowDepth = 0;
    SetRulerSizes();
    AddX = RulerWidth;
    AddY = RulerHeight;
    if (!FCursorSet && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        FCursorSet = true;
    }
    DoPageChange();

    const double pw = PaperWidth();
    const double ph = PaperHeight();
    const int64_t bw = int64_t(IntRound(GetXDPI() * pw * FZoom / 100)) + FShadowDepth + AddX;
    const int64_t bh = int64_t(IntRound(GetYDPI() * ph * FZoom / 100)) + FShadowDepth + AddY;
    if (bw > kMaxPictureSide || bh > kMaxPictureSide || bw * bh > kMaxPagePixels)
        RaiseError(Translate(QStringLiteral("The page is too large for the preview.")));
    if (!FDrawing)
        FDrawing = std::make_unique<TBitmap>();
    FDrawing->SetSize(int(bw), int(bh));
    DrawFurniture(int(bw), int(bh));
}

// Shadow, rulers, the white page and the grid.
void TZvRenderPreview::DrawFurniture(int bw, int bh)
{
    QPainter* p = FDrawing->Canvas()->Painter();
    if (!p || !p->isActive())
        return;
    const int s = FShadowDepth;
    const QColor boxColor = ToQColor(Box()->Color());
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (s > 0) {
        p->fillRect(QRect(bw - s, 0, s, s + AddY), boxColor);
        p->fillRect(QRect(0, bh - s, s + AddX, s), boxColor);
        p->fillRect(QRect(bw - s, s + AddY, s, bh - s - AddY), Qt::black);
        p->fillRect(QRect(s + AddX, bh - s, bw - s - AddX, s), Qt::black);
    }
    DrawRulers(bw, bh);
    // The page: white inside a black frame, right and bottom exclusive.
    const QRect page(QPoint(AddX, AddY), QPoint(bw - s - 1, bh - s - 1));
    p->fillRect(page, Qt::white);
    p->setPen(QPen(Qt::black, 1));
    p->setBrush(Qt::NoBrush);
    p->drawRect(page.adjusted(0, 0, -1, -1));
    if (GridVert > 0 || GridHoriz > 0) {
        p->setPen(ToQPen(*FGridPen));
        const double stepX = GetXDPI() * GridVert * FZoom / 100;
        const double stepY = GetYDPI() * GridHoriz * FZoom / 100;
        if (GridVert > 0 && stepX >= 1)
            for (int k = 1;; ++k) {
                const int x = IntRound(AddX + k * stepX);
                if (x >= bw - s)
                    break;
                p->drawLine(x, AddY + 1, x, bh - s - 1);
            }
        if (GridHoriz > 0 && stepY >= 1)
            for (int k = 1;; ++k) {
                const int y = IntRound(AddY + k * stepY);
                if (y >= bh - s)
                    break;
                p->drawLine(AddX + 1, y, bw - s - 1, y);
            }
    }
    p->restore();
}

// Light yellow bands along the top and the left, their corner silver when
// both are there; a mark every eighth of an inch or every millimetre, the
// longest at every inch or centimetre, labelled 1, 2, 3 ...
void TZvRenderPreview::DrawRulers(int bw, int bh)
{
    if (RulerWidth == 0 && RulerHeight == 0)
        return;
    QPainter* p = FDrawing->Canvas()->Painter();
    const int s = FShadowDepth;
    const bool inch = InchRuler(RulerType);
    const double pw = PaperWidth();
    const double ph = PaperHeight();
    const double divisions = inch ? 8.0 : 25.4;
    const int labelEvery = inch ? 8 : 10;
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, IntRound(7.0 * GetYDPI() / 72)));
    p->setFont(font);
    const QFontMetricsF metrics(font);
    if (RulerWidth > 0 && RulerHeight > 0) {
        p->fillRect(QRect(0, 0, AddX, AddY), kCornerColor);
        p->setPen(kCornerColor);
        p->drawRect(QRect(0, 0, AddX - 1, AddY - 1));
    }
    p->setPen(QPen(Qt::black, 1));
    if (RulerHeight > 0 && pw > 0) {
        const QRect band(QPoint(AddX, 0), QPoint(bw - s - 1, AddY));
        p->fillRect(band, kRulerColor);
        p->drawRect(band.adjusted(0, 0, -1, -1));
        const double step = (bw - s - AddX) / pw / divisions;
        for (int i = 1; step > 0; ++i) {
            const int x = IntRound(AddX + i * step);
            if (x >= bw - s)
                break;
            const int length = MarkLength(i, inch);
            p->drawLine(x, AddY, x, AddY - length);
            if (i % labelEvery == 0) {
                const QString label = QString::number(i / labelEvery);
                p->drawText(QPointF(x - 1 - metrics.horizontalAdvance(label), metrics.ascent()), label);
            }
        }
    }
    if (RulerWidth > 0 && ph > 0) {
        const QRect band(QPoint(0, AddY), QPoint(AddX, bh - s - 1));
        p->fillRect(band, kRulerColor);
        p->drawRect(band.adjusted(0, 0, -1, -1));
        const double step = (bh - s - AddY) / ph / divisions;
        for (int i = 1; step > 0; ++i) {
            const int y = IntRound(AddY + i * step);
            if (y >= bh - s)
                break;
            const int length = MarkLength(i, inch);
            p->drawLine(AddX, y, AddX - length, y);
            if (i % labelEvery == 0) {
                const QString label = QString::number(i / labelEvery);
                p->save();
                p->translate(0, y - 1);
                p->rotate(-90);
                p->drawText(QPointF(0, metrics.ascent()), label);
                p->restore();
            }
        }
    }
}

// The picture sits at the margin, placed with the box scrolled to its
// start; the scroll ranges take it in with the margin on both sides, and
// the scroll positions stay where they were.
void TZvRenderPreview::PlaceImage(int bw, int bh)
{
    TControlScrollBar* horz = FScrollBox->HorzScrollBar();
    TControlScrollBar* vert = FScrollBox->VertScrollBar();
    const int horzPos = horz->Position();
    const int vertPos = vert->Position();
    horz->SetPosition(0);
    vert->SetPosition(0);
    int m = IntRound(GetXDPI() * PaperWidth() * MarginPercent / 100);
    if (MarginMethod == TMarginMethod::mmScaled)
        m = IntRound(m * FZoom / 100);
    FImage->SetBounds(m, m, bw, bh);
    // The ranges are the page's, not those of the box's children.
    FScrollBox->SetAutoScroll(false);
    horz->SetRange(bw + 2 * m);
    vert->SetRange(bh + 2 * m);
    horz->SetPosition(horzPos);
    vert->SetPosition(vertPos);
}
