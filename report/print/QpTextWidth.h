#pragma once
// QpTextWidth: the text widths every measuring road of the report writer,
// the render targets and the components ask for, each distinct text measured
// once. Shaping a text (Qt's horizontal advance, HarfBuzz underneath) costs
// about as much as drawing it; a report measures the same text while it
// lays it out, truncates it and places it, and a page played back measures
// it again to place and justify it.
//
// A width is kept in the unit its road gives, before any scaling: the
// caller applies ScaleX, zoom and units afterwards, exactly as it did on a
// fresh width. It is keyed by everything that decides it: the road (how the
// width is made), the font by value, the text, and an extra number the road
// depends on. The roads:
// - the shaped advance, QFontMetricsF(font).horizontalAdvance(text), in the
//   font's pixels, kept unrounded. The canvases' extents and the printer
//   (and PDF) device's widths are this advance rounded to whole pixels, the
//   render targets use it as it is; so the writer and a playback at the same
//   resolution share their widths (the fonts they make are equal by value).
// - the render device's width, added up from its per-character table, in
//   device pixels; its extra number holds the font's height, resolution,
//   character set and pitch.
// A text with tabs or formatting codes is measured run by run, each run
// through the cache, so the tab step and the codes are applied to cached
// widths as to fresh ones. A width from the cache is the value its road gave,
// so it equals a fresh one to the last bit.
//
// The cache belongs to the thread that asks (report runs may run on other
// threads) and holds at most kMaxEntries widths; when full it starts again
// empty, which keeps lookups cheap and memory bounded. The bound is wide
// enough that the widths the writer measured for a report of some ten
// thousand rows are still known when its snapshot is played back, which
// measures the same texts again to place them.
#include <QFont>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>

class TCanvas;
class TQPBaseDevice;

enum class TWidthRoad : uint8_t {
    wrAdvance,      // QFontMetricsF::horizontalAdvance, pixels of the font
    wrRenderDevice, // TQPRenderDevice::TextWidth (its character table), device pixels
};

class TTextWidthCache {
public:
    static constexpr int kMaxEntries = 1 << 18;

    // The cache of the calling thread.
    static TTextWidthCache& Current();

    // The width the road gives for text in font, measured by measure when
    // not yet known (or when the cache is switched off).
    double Width(TWidthRoad road, int64_t extra, const QFont& font, const QString& text,
                 const std::function<double()>& measure);
    // The cell height of font (ascent + descent rounded), pixels.
    int CellHeight(const QFont& font);

    // Off: every width is measured afresh, through the road's own call
    // (tests compare both).
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    void Clear();
    int Count() const;
    // Widths measured through the cache since it was made.
    int64_t Measured() const { return FMeasured; }

    TTextWidthCache();
    ~TTextWidthCache();
    TTextWidthCache(const TTextWidthCache&) = delete;
    TTextWidthCache& operator=(const TTextWidthCache&) = delete;

private:
    struct TData;
    TData* FData;
    bool FEnabled = true;
    int64_t FMeasured = 0;
};

// What canvas.TextExtent(text) gives: the width and cell height of text in
// the canvas's device font, pixels.
QSize CachedTextExtent(TCanvas& canvas, const QString& text);

// QFontMetricsF(font).horizontalAdvance(text), pixels of the font.
double CachedAdvance(const QFont& font, const QString& text);

// What device.TextWidth(text) answers with font selected on its canvas,
// device pixels; measure selects it and asks the device. A device of a kind
// the cache does not know is always asked.
int CachedDeviceTextWidth(TQPBaseDevice& device, const QFont& font, const QString& text,
                          const std::function<int()>& measure);
