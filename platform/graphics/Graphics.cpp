#include "platform/graphics/Graphics.h"

#include <QFontMetricsF>

#include <cmath>
#include <cstdlib>

namespace {

// The em size in pixels of a font whose cell (ascent + descent) is cellHeight
// pixels, measured on the face at a large size.
int EmForCellHeight(QFont font, int cellHeight)
{
    font.setPixelSize(1000);
    const QFontMetricsF metrics(font);
    const double cell = metrics.ascent() + metrics.descent();
    if (cell <= 0)
        return cellHeight;
    return std::max(1, int(std::lround(cellHeight * 1000.0 / cell)));
}

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const int64_t product = int64_t(a) * b;
    const int64_t divisor = c;
    int64_t q = product / divisor;
    const int64_t r = product % divisor;
    if (std::llabs(r) * 2 >= std::llabs(divisor))
        q += ((product < 0) == (divisor < 0)) ? 1 : -1;
    if (q > INT32_MAX || q < INT32_MIN)
        return -1;
    return int(q);
}

void TGraphicsObject::Changed()
{
    if (OnChange)
        OnChange(this);
}

TFont::TFont() = default;

void TFont::Assign(const TPersistent* source)
{
    if (auto* font = dynamic_cast<const TFont*>(source)) {
        if (font == this)
            return;
        const bool differs = FName != font->FName || FHeight != font->FHeight || FColor != font->FColor ||
                             FPitch != font->FPitch || FStyle != font->FStyle || FCharset != font->FCharset ||
                             FOrientation != font->FOrientation;
        FName = font->FName;
        FHeight = font->FHeight;
        FColor = font->FColor;
        FPitch = font->FPitch;
        FStyle = font->FStyle;
        FCharset = font->FCharset;
        FOrientation = font->FOrientation;
        // A height in pixels means the same size only at the same resolution.
        FPixelsPerInch = font->FPixelsPerInch;
        if (differs)
            Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TFont::SetName(const QString& name)
{
    if (name.isEmpty() || name == FName)
        return;
    FName = name;
    Changed();
}

void TFont::SetHeight(int height)
{
    if (height == FHeight)
        return;
    FHeight = height;
    Changed();
}

int TFont::Size() const
{
    return -MulDiv(FHeight, 72, FPixelsPerInch);
}

void TFont::SetSize(int points)
{
    SetHeight(-MulDiv(points, FPixelsPerInch, 72));
}

void TFont::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    Changed();
}

void TFont::SetPitch(TFontPitch pitch)
{
    if (pitch == FPitch)
        return;
    FPitch = pitch;
    Changed();
}

void TFont::SetStyle(TFontStyles style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TFont::SetCharset(TFontCharset charset)
{
    if (charset == FCharset)
        return;
    FCharset = charset;
    Changed();
}

void TFont::SetOrientation(int tenths)
{
    if (tenths == FOrientation)
        return;
    FOrientation = tenths;
    Changed();
}

void TPen::Assign(const TPersistent* source)
{
    if (auto* pen = dynamic_cast<const TPen*>(source)) {
        if (pen == this)
            return;
        const bool differs =
            FColor != pen->FColor || FMode != pen->FMode || FStyle != pen->FStyle || FWidth != pen->FWidth;
        FColor = pen->FColor;
        FMode = pen->FMode;
        FStyle = pen->FStyle;
        FWidth = pen->FWidth;
        if (differs)
            Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TPen::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    Changed();
}

void TPen::SetMode(TPenMode mode)
{
    if (mode == FMode)
        return;
    FMode = mode;
    Changed();
}

void TPen::SetStyle(TPenStyle style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TPen::SetWidth(int width)
{
    if (width < 0 || width == FWidth)
        return;
    FWidth = width;
    Changed();
}

void TBrush::Assign(const TPersistent* source)
{
    if (auto* brush = dynamic_cast<const TBrush*>(source)) {
        if (brush == this)
            return;
        FColor = brush->FColor;
        FStyle = brush->FStyle;
        FPattern = brush->FPattern;
        Changed();
        return;
    }
    TGraphicsObject::Assign(source);
}

void TBrush::SetColor(TColor color)
{
    // A clear brush given a colour becomes solid, as the framework's does.
    if (color == FColor && FStyle != TBrushStyle::bsClear)
        return;
    FColor = color;
    if (FStyle == TBrushStyle::bsClear)
        FStyle = TBrushStyle::bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    Changed();
}

void TBrush::SetBitmap(const TGraphic* graphic)
{
    FPattern = graphic && !graphic->Empty() ? graphic->ToImage() : QImage();
    Changed();
}

QFont ToQFont(const TFont& font)
{
    QFont q(font.Name());
    q.setHintingPreference(QFont::PreferNoHinting);
    q.setKerning(false);
    q.setBold(font.Style().Contains(TFontStyle::fsBold));
    q.setItalic(font.Style().Contains(TFontStyle::fsItalic));
    q.setUnderline(font.Style().Contains(TFontStyle::fsUnderline));
    q.setStrikeOut(font.Style().Contains(TFontStyle::fsStrikeOut));
    if (font.Pitch() == TFontPitch::fpFixed) {
        q.setFixedPitch(true);
        q.setStyleHint(QFont::TypeWriter);
    }
    const int height = font.Height();
    if (height < 0)
        q.setPixelSize(-height);
    else if (height > 0)
        q.setPixelSize(EmForCellHeight(q, height));
    else // the face's default size: 10 points
        q.setPixelSize(std::max(1, MulDiv(10, font.PixelsPerInch(), 72)));
    return q;
}

Qt::PenStyle ToQPenStyle(TPenStyle style)
{
    switch (style) {
    case TPenStyle::psSolid:
    case TPenStyle::psInsideFrame:
    case TPenStyle::psUserStyle:
        return Qt::SolidLine;
    case TPenStyle::psDash:
        return Qt::DashLine;
    case TPenStyle::psDot:
    case TPenStyle::psAlternate:
        return Qt::DotLine;
    case TPenStyle::psDashDot:
        return Qt::DashDotLine;
    case TPenStyle::psDashDotDot:
        return Qt::DashDotDotLine;
    case TPenStyle::psClear:
        return Qt::NoPen;
    }
    return Qt::SolidLine;
}

QPen ToQPen(const TPen& pen)
{
    QColor color = ToQColor(pen.Color());
    if (pen.Mode() == TPenMode::pmBlack)
        color = Qt::black;
    else if (pen.Mode() == TPenMode::pmWhite)
        color = Qt::white;
    QPen q(color);
    q.setStyle(pen.Mode() == TPenMode::pmNop ? Qt::NoPen : ToQPenStyle(pen.Style()));
    // Width 0 and 1 are the thinnest line the device draws.
    q.setWidth(pen.Width() <= 1 ? 0 : pen.Width());
    q.setCosmetic(pen.Width() <= 1);
    q.setCapStyle(Qt::RoundCap);
    q.setJoinStyle(Qt::RoundJoin);
    return q;
}

Qt::BrushStyle ToQBrushStyle(TBrushStyle style)
{
    switch (style) {
    case TBrushStyle::bsSolid:
        return Qt::SolidPattern;
    case TBrushStyle::bsClear:
        return Qt::NoBrush;
    case TBrushStyle::bsHorizontal:
        return Qt::HorPattern;
    case TBrushStyle::bsVertical:
        return Qt::VerPattern;
    case TBrushStyle::bsFDiagonal:
        return Qt::FDiagPattern;
    case TBrushStyle::bsBDiagonal:
        return Qt::BDiagPattern;
    case TBrushStyle::bsCross:
        return Qt::CrossPattern;
    case TBrushStyle::bsDiagCross:
        return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

QBrush ToQBrush(const TBrush& brush)
{
    if (brush.HasBitmap())
        return QBrush(brush.Pattern());
    return QBrush(ToQColor(brush.Color()), ToQBrushStyle(brush.Style()));
}
