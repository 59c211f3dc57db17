#pragma once
// QpFont: text widths without the output device. For each font the widths of
// the characters 0 to 255 are measured once at a character height of 600
// pixels (no hinting), kept in a process-wide cache and scaled to any point
// size and resolution, so that layout does not depend on a printer being
// present.
//
// One manager, reached through FontManager(), serves the whole process; its
// cache is guarded by a mutex, and a handler, once made, is never changed.
#include "platform/graphics/Graphics.h"

#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

// The width table of one font.
class TQPBaseFontHandler {
public:
    explicit TQPBaseFontHandler(const TFont& font);
    virtual ~TQPBaseFontHandler();
    // Width of value in device units of a font of fontSize points at dpi.
    virtual int TextWidth(const QString& value, double fontSize, int dpi) const = 0;

    // The font measured: the face and style of font at a character height of
    // 600 pixels.
    static QFont MeasuringFont(const TFont& font);
};

// Proportional fonts: the advance of every character 0 to 255 at height 600,
// rounded to whole units. A character above 255 counts as character 1 (the
// width of the face's missing-glyph box).
class TQPTrueTypeFontHandler : public TQPBaseFontHandler {
public:
    explicit TQPTrueTypeFontHandler(const TFont& font);
    int TextWidth(const QString& value, double fontSize, int dpi) const override;
    int CharWidth(int code) const { return FWidths.at(size_t(code)); }

private:
    std::array<int32_t, 256> FWidths{};
};

// Fixed-pitch fonts: the advance of "A" at height 600, for every character.
class TQPNonProportionalFontHandler : public TQPBaseFontHandler {
public:
    explicit TQPNonProportionalFontHandler(const TFont& font);
    int TextWidth(const QString& value, double fontSize, int dpi) const override;
    int CharWidth() const { return FWidth; }

private:
    int32_t FWidth = 0;
};

class TQPFontManager {
public:
    TQPFontManager();
    ~TQPFontManager();
    TQPFontManager(const TQPFontManager&) = delete;
    TQPFontManager& operator=(const TQPFontManager&) = delete;

    // Width of value in the font's own device units: the size is
    // |Height| * 72 / PixelsPerInch points (a font without a resolution
    // counts as 100 pixels per inch).
    int TextWidth(const TFont& font, const QString& value);
    // The handler of the font, made and cached on first use.
    TQPBaseFontHandler* FindHandler(const TFont& font);
    // Face name | character set, then "|B" bold, "|I" italic, "|V" variable
    // or "|F" fixed pitch: what the widths depend on.
    static QString FontKey(const TFont& font);
    int HandlerCount();

    int DPI = 0; // kept for the users of the manager; not read by it

private:
    struct KeyLess {
        bool operator()(const QString& a, const QString& b) const
        {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        }
    };
    std::mutex FLock;
    std::map<QString, std::unique_ptr<TQPBaseFontHandler>, KeyLess> FHandlers;
};

// The process-wide manager.
TQPFontManager& FontManager();
