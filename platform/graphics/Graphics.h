#pragma once
// Fonts, pens and brushes with change notification, and the base of pictures,
// in the framework's form: the ordinal values of pen styles, pen modes, brush
// styles and font pitches are the framework's (they are written as bytes into
// snapshot streams), and fonts keep their size as a height in device pixels
// with the resolution it is meant for.
//
// Every object calls its OnChange handler after a property took a new value;
// setting a property to the value it has notifies nobody.
#include "platform/graphics/Colors.h"
#include "platform/objects/Persistent.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QString>

#include <cstdint>
#include <functional>

using TNotifyEvent = std::function<void(TObject* sender)>;

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

enum class TPenStyle : uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame,
    psUserStyle,
    psAlternate,
};

// Raster operations of a pen (and of the brush drawn with it).
enum class TPenMode : uint8_t {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor,
};

enum class TBrushStyle : uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross,
};

enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

// How a flood fill finds its area: the colour of the surface to fill, or the
// colour of its border.
enum class TFillStyle : uint8_t { fsSurface, fsBorder };

enum class TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles (bit n = TFontStyle n, as the framework stores it).
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (TFontStyle s : styles)
            FBits |= Bit(s);
    }
    constexpr bool Contains(TFontStyle s) const { return (FBits & Bit(s)) != 0; }
    constexpr void Include(TFontStyle s) { FBits |= Bit(s); }
    constexpr void Exclude(TFontStyle s) { FBits &= uint8_t(~Bit(s)); }
    constexpr uint8_t Bits() const { return FBits; }
    static constexpr TFontStyles FromBits(uint8_t bits)
    {
        TFontStyles s;
        s.FBits = bits & 0x0F;
        return s;
    }
    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    static constexpr uint8_t Bit(TFontStyle s) { return uint8_t(1u << unsigned(s)); }
    uint8_t FBits = 0;
};

// Character sets, numbered as the Win32 API numbers them.
using TFontCharset = uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;

// a * b / c rounded to the nearest integer (halves away from zero), computed
// without overflow; -1 when c is 0 or the result does not fit, as the Win32
// MulDiv answers.
int MulDiv(int a, int b, int c);

class TGraphicsObject : public TPersistent {
public:
    TNotifyEvent OnChange;

protected:
    void Changed();
};

// A font description. Height is in device pixels at PixelsPerInch: negative
// for the character height (the em, without internal leading), positive for
// the cell height; Size is the same in points (negative for a cell height).
class TFont : public TGraphicsObject {
public:
    TFont();

    void Assign(const TPersistent* source) override;

    const QString& Name() const { return FName; }
    void SetName(const QString& name); // an empty name is ignored
    int Height() const { return FHeight; }
    void SetHeight(int height);
    int Size() const;
    void SetSize(int points);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch pitch);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles style);
    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset charset);
    // Escapement of the text, tenths of a degree counter-clockwise.
    int Orientation() const { return FOrientation; }
    void SetOrientation(int tenths);
    // The resolution Size converts with; changing it notifies nobody and
    // keeps Height.
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int ppi) { FPixelsPerInch = ppi; }

private:
    QString FName = QStringLiteral("Tahoma");
    int FHeight = -11; // 8 points at 96 pixels per inch
    TColor FColor = clWindowText;
    TFontPitch FPitch = TFontPitch::fpDefault;
    TFontStyles FStyle;
    TFontCharset FCharset = DEFAULT_CHARSET;
    int FOrientation = 0;
    int FPixelsPerInch = 96;
};

class TPen : public TGraphicsObject {
public:
    void Assign(const TPersistent* source) override;

    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode mode);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle style);
    int Width() const { return FWidth; } // device pixels
    void SetWidth(int width);            // values below 0 are ignored

private:
    TColor FColor = clBlack;
    TPenMode FMode = TPenMode::pmCopy;
    TPenStyle FStyle = TPenStyle::psSolid;
    int FWidth = 1;
};

class TGraphic;

class TBrush : public TGraphicsObject {
public:
    void Assign(const TPersistent* source) override;

    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle style);
    // The pattern picture; the brush keeps a copy, so the graphic may go.
    // While a pattern is set it fills instead of Style.
    bool HasBitmap() const { return !FPattern.isNull(); }
    const QImage& Pattern() const { return FPattern; }
    void SetBitmap(const TGraphic* graphic); // nullptr removes the pattern

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = TBrushStyle::bsSolid;
    QImage FPattern;
};

// A picture that can be drawn: the base of bitmaps and other images.
class TGraphic : public TPersistent {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() == 0 || Height() == 0; }
    // The picture as an image, for drawing.
    virtual QImage ToImage() const = 0;
};

// Qt forms of the objects. A font becomes a QFont with its height in pixels,
// without hinting and kerning, so that measured widths add up character by
// character as the device-independent width tables assume.
QFont ToQFont(const TFont& font);
QPen ToQPen(const TPen& pen);
QBrush ToQBrush(const TBrush& brush);
Qt::PenStyle ToQPenStyle(TPenStyle style);
Qt::BrushStyle ToQBrushStyle(TBrushStyle style);
