#include "platform/forms/ExtCtrls.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/StdCtrls.h"

#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

// A widget that a control paints.
template <class C> class TPaintedWidget : public QWidget {
public:
    explicit TPaintedWidget(const C* control) : FControl(control) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        GuardEvent([&] { FControl->Paint(painter); });
    }

private:
    const C* FControl; // owns this widget
};

QColor Highlight()
{
    return ToQColor(clBtnHighlight);
}

QColor Shadow()
{
    return ToQColor(clBtnShadow);
}

// One pixel of a 3D frame inside rect: top and left in one colour, bottom and
// right in the other; the rect shrinks by the pixel.
void Frame3D(QPainter& painter, QRect& rect, const QColor& topLeft, const QColor& bottomRight)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.setPen(topLeft);
    painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
    painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    painter.setPen(bottomRight);
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    rect.adjust(1, 1, -1, -1);
}

void Bevel(QPainter& painter, QRect& rect, TBevelCut cut, int width)
{
    for (int i = 0; i < width; ++i) {
        switch (cut) {
        case TBevelCut::bvRaised:
            Frame3D(painter, rect, Highlight(), Shadow());
            break;
        case TBevelCut::bvLowered:
            Frame3D(painter, rect, Shadow(), Highlight());
            break;
        case TBevelCut::bvSpace:
            rect.adjust(1, 1, -1, -1);
            break;
        default:
            return;
        }
    }
}

// A bitmap picture shows the colour of its bottom-left pixel as transparent.
QImage WithTransparentKey(const QImage& image)
{
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    if (keyed.isNull())
        return keyed;
    const QRgb key = keyed.pixel(0, keyed.height() - 1);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if (line[x] == key)
                line[x] = 0;
        }
    }
    return keyed;
}

} // namespace

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, false);
    SetWidget(new TPaintedWidget<TPanel>(this));
    SetBounds(0, 0, 185, 41);
}

void TPanel::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    Widget()->update();
}

void TPanel::SetBevelInner(TBevelCut cut)
{
    FBevelInner = cut;
    Widget()->update();
}

void TPanel::SetBevelOuter(TBevelCut cut)
{
    FBevelOuter = cut;
    Widget()->update();
}

void TPanel::SetBevelWidth(int width)
{
    FBevelWidth = std::max(width, 1);
    Widget()->update();
}

void TPanel::SetBorderWidth(int width)
{
    FBorderWidth = std::max(width, 0);
    Widget()->update();
}

void TPanel::SetBorderStyle(TPanelBorderStyle style)
{
    FBorderStyle = style;
    Widget()->update();
}

void TPanel::TextChanged()
{
    Widget()->update();
}

void TPanel::Paint(QPainter& painter) const
{
    QRect rect(0, 0, Width(), Height());
    if (FBorderStyle == TPanelBorderStyle::bsSingle)
        Frame3D(painter, rect, Qt::black, Qt::black);
    Bevel(painter, rect, FBevelOuter, FBevelWidth);
    rect.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
    Bevel(painter, rect, FBevelInner, FBevelWidth);
    const QString caption = StripAccelChars(Text());
    if (caption.isEmpty())
        return;
    Qt::Alignment alignment = Qt::AlignVCenter;
    switch (FAlignment) {
    case TAlignment::taLeftJustify:
        alignment |= Qt::AlignLeft;
        break;
    case TAlignment::taRightJustify:
        alignment |= Qt::AlignRight;
        break;
    default:
        alignment |= Qt::AlignHCenter;
        break;
    }
    painter.setFont(Widget()->font());
    painter.setPen(Widget()->palette().color(QPalette::WindowText));
    painter.drawText(rect, int(alignment), caption);
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* owner) : TGraphicControl(owner), FPicture(std::make_unique<TPicture>())
{
    auto* widget = new TPaintedWidget<TImage>(this);
    widget->setFocusPolicy(Qt::NoFocus);
    SetWidget(widget);
    FPicture->OnChange = [this] { PictureChanged(); };
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage()
{
    FPicture->OnChange = nullptr;
}

void TImage::SetStretch(bool stretch)
{
    FStretch = stretch;
    Widget()->update();
}

void TImage::SetCenter(bool center)
{
    FCenter = center;
    Widget()->update();
}

void TImage::SetProportional(bool proportional)
{
    FProportional = proportional;
    Widget()->update();
}

void TImage::SetTransparent(bool transparent)
{
    FTransparent = transparent;
    Widget()->update();
}

void TImage::SetAutoSize(bool autoSize)
{
    FAutoSize = autoSize;
    PictureChanged();
}

void TImage::PictureChanged()
{
    if (FAutoSize && !FPicture->Empty())
        SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
    if (QWidget* widget = Widget())
        widget->update();
}

QRect TImage::DestRect() const
{
    int width = FPicture->Width();
    int height = FPicture->Height();
    const int clientWidth = Width();
    const int clientHeight = Height();
    if (FStretch || (FProportional && (width > clientWidth || height > clientHeight))) {
        if (FProportional && width > 0 && height > 0) {
            // Scaled to fit, keeping the picture's proportions.
            const double scale = std::min(double(clientWidth) / width, double(clientHeight) / height);
            width = int(width * scale);
            height = int(height * scale);
        } else {
            width = clientWidth;
            height = clientHeight;
        }
    }
    int left = 0;
    int top = 0;
    if (FCenter) {
        left = (clientWidth - width) / 2;
        top = (clientHeight - height) / 2;
    }
    return QRect(left, top, width, height);
}

void TImage::Paint(QPainter& painter) const
{
    if (FPicture->Empty())
        return;
    QImage image = FPicture->ToImage();
    if (FTransparent && dynamic_cast<const TBitmap*>(FPicture->Graphic()))
        image = WithTransparentKey(image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(DestRect(), image);
}

// ---------------------------------------------------------------------------
// TShape

TShape::TShape(TComponent* owner)
    : TGraphicControl(owner), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>())
{
    SetWidget(new TPaintedWidget<TShape>(this));
    FPen->OnChange = [this](TObject*) { Widget()->update(); };
    FBrush->OnChange = [this](TObject*) { Widget()->update(); };
    SetBounds(0, 0, 65, 65);
}

void TShape::SetShape(TShapeType shape)
{
    FShape = shape;
    Widget()->update();
}

void TShape::Paint(QPainter& painter) const
{
    // The outline runs inside the control: half the pen width in from each
    // edge, as the framework draws it.
    const int penWidth = FPen->Width();
    int x = penWidth / 2;
    int y = x;
    int width = Width() - penWidth + 1;
    int height = Height() - penWidth + 1;
    if (penWidth == 0) {
        --width;
        --height;
    }
    const int side = std::min(width, height);
    if (FShape == TShapeType::stSquare || FShape == TShapeType::stRoundSquare ||
        FShape == TShapeType::stCircle) {
        x += (width - side) / 2;
        y += (height - side) / 2;
        width = side;
        height = side;
    }
    painter.setPen(FPen->Style() == TPenStyle::psClear ? QPen(Qt::NoPen) : ToQPen(*FPen));
    painter.setBrush(ToQBrush(*FBrush));
    const QRectF rect(x, y, std::max(width - 1, 0), std::max(height - 1, 0));
    switch (FShape) {
    case TShapeType::stRoundRect:
    case TShapeType::stRoundSquare:
        painter.drawRoundedRect(rect, side / 8.0, side / 8.0);
        break;
    case TShapeType::stEllipse:
    case TShapeType::stCircle:
        painter.drawEllipse(rect);
        break;
    default:
        painter.drawRect(rect);
        break;
    }
}

// ---------------------------------------------------------------------------
// TBevel

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner)
{
    SetWidget(new TPaintedWidget<TBevel>(this));
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape shape)
{
    FShape = shape;
    Widget()->update();
}

void TBevel::SetStyle(TBevelStyle style)
{
    FStyle = style;
    Widget()->update();
}

void TBevel::Paint(QPainter& painter) const
{
    const QColor first = FStyle == TBevelStyle::bsLowered ? Shadow() : Highlight();
    const QColor second = FStyle == TBevelStyle::bsLowered ? Highlight() : Shadow();
    const int w = Width();
    const int h = Height();
    auto line = [&](const QColor& color, int x1, int y1, int x2, int y2) {
        painter.setPen(color);
        painter.drawLine(x1, y1, x2, y2);
    };
    switch (FShape) {
    case TBevelShape::bsBox: {
        QRect rect(0, 0, w, h);
        Frame3D(painter, rect, first, second);
        break;
    }
    case TBevelShape::bsFrame: {
        // Two frames one pixel apart give the etched line.
        painter.setPen(first);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(0, 0, w - 2, h - 2);
        painter.setPen(second);
        painter.drawRect(1, 1, w - 2, h - 2);
        break;
    }
    case TBevelShape::bsTopLine:
        line(first, 0, 0, w - 1, 0);
        line(second, 0, 1, w - 1, 1);
        break;
    case TBevelShape::bsBottomLine:
        line(first, 0, h - 2, w - 1, h - 2);
        line(second, 0, h - 1, w - 1, h - 1);
        break;
    case TBevelShape::bsLeftLine:
        line(first, 0, 0, 0, h - 1);
        line(second, 1, 0, 1, h - 1);
        break;
    case TBevelShape::bsRightLine:
        line(first, w - 2, 0, w - 2, h - 1);
        line(second, w - 1, 0, w - 1, h - 1);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner), FTimer(std::make_unique<QTimer>())
{
    FTimer->setInterval(FInterval);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] {
        for (const TComponent* c = this; c; c = c->Owner()) {
            if (c->ComponentState().Contains(TComponentStateFlag::csDestroying))
                return;
        }
        GuardEvent([this] { CallNotifyEvent(FOnTimer, this); });
    });
}

TTimer::~TTimer()
{
    FTimer->stop();
}

void TTimer::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    UpdateTimer();
}

void TTimer::SetInterval(int interval)
{
    FInterval = std::max(interval, 0);
    FTimer->setInterval(FInterval);
    UpdateTimer();
}

void TTimer::SetOnTimer(const TMethod& method)
{
    CheckEventBinding(method, TEventKind::Notify);
    FOnTimer = method;
    UpdateTimer();
}

void TTimer::Loaded()
{
    TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    const bool run = FEnabled && FInterval > 0 && FOnTimer.IsAssigned() &&
                     !ComponentState().Contains(TComponentStateFlag::csLoading);
    if (run)
        FTimer->start();
    else
        FTimer->stop();
}
