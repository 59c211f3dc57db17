#pragma once
// QpTextWidth: the text widths every measuring road of the report writer,
// the render targets and the components ask for, each distinct text measured
// once. Shaping a text (Qt's horizontal advance, HarfBuzz underneath) costs
// far more than drawing it; a report measures the same text while it lays it
// out, truncates it and places it, and a page played back measures it again
// to justify it.
//
// A width is kept in the unit its measuring road gives (device pixels, or a
// font's own advance), before any scaling: the caller applies ScaleX, zoom
// and units afterwards, exactly as it did on a fresh width. It is keyed by
// everything that decides it: the road (how the width is made: shaped by Qt,
// or summed from the render device's character table), the font by value,
// the text, and an extra number the road depends on (for the render device
// the font's height, resolution, character set and pitch). A text with tabs
// or formatting codes is measured run by run, each run through the cache,
// so the tab step and the codes are applied to cached widths as to fresh
// ones. A width from the cache is the value the road gave, so it is
// equal to a fresh one to the last bit.
//
// The cache belongs to the thread that asks (report runs may run on other
// threads) and holds at most kMaxEntries widths; when full it starts again
// empty, which keeps lookups cheap and memory bounded while the texts a
// report measures twice are measured close together.
#include <QFont>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <functional>

class TCanvas;
class TFont;
class TQPBaseDevice;

// How a width is made; the same font and text differ between roads (the
// printer and PDF device shapes text, the render device sums a table).
enum class TWidthRoad : uint8_t {
    wrExtent,        // TCanvas::TextExtent: rounded advance and cell height, pixels
    wrAdvance,       // QFontMetricsF::horizontalAdvance, pixels of the font
    wrPrinterDevice, // TQpPrinterDevice::TextWidth, device pixels
    wrRenderDevice,  // TQPRenderDevice::TextWidth (its character table), device pixels
};

class TTextWidthCache {
public:
    static constexpr int kMaxEntries = 16384;

    // The cache of the calling thread.
    static TTextWidthCache& Current();

    // The size the road gives for text in font, measured by measure when not
    // yet known (or when the cache is switched off).
    QSizeF Size(TWidthRoad road, int64_t extra, const QFont& font, const QString& text,
                const std::function<QSizeF()>& measure);

    // Off: every width is measured afresh (tests compare both).
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    void Clear();
    int Count() const;
    // Widths measured since the cache was made (misses and widths asked
    // with the cache off).
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

// The width of text on canvas in its current device font, pixels, as
// TCanvas::TextExtent gives it.
QSize CachedTextExtent(TCanvas& canvas, const QString& text);

// QFontMetricsF(font).horizontalAdvance(text), pixels of the font.
double CachedAdvance(const QFont& font, const QString& text);

// What device.TextWidth(text) answers with font selected on its canvas,
// device pixels; measure selects it and asks the device. A device of a kind
// the cache does not know is always asked.
int CachedDeviceTextWidth(TQPBaseDevice& device, const QFont& font, const QString& text,
                          const std::function<int()>& measure);
