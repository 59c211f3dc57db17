#include "report/print/QpTextWidth.h"

#include "report/print/QpDevice.h"

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphics.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QThread>

#include <cmath>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

namespace {

// A font is known by its number in the cache's font list: hashing a font
// costs more than looking it up among the few a report uses.
struct TKey {
    TWidthRoad Road;
    int FontId;
    int64_t Extra;
    QString Text;

    bool operator==(const TKey& other) const
    {
        return Road == other.Road && FontId == other.FontId && Extra == other.Extra && Text == other.Text;
    }
};

struct TKeyHash {
    size_t operator()(const TKey& key) const noexcept
    {
        // The standard library's string hash: Qt's seeded one costs several
        // times as much on short texts.
        const size_t text = std::hash<std::u16string_view>()(std::u16string_view(
            reinterpret_cast<const char16_t*>(key.Text.constData()), size_t(key.Text.size())));
        const size_t mix = (size_t(key.FontId) << 8 | size_t(key.Road)) * 0x9E3779B97F4A7C15ULL;
        return text ^ (mix + size_t(key.Extra) * 0xC2B2AE3D27D4EB4FULL);
    }
};

constexpr int kMaxFonts = 256;

// The main thread's cache holds fonts, which must go while the application
// and its font database still exist.
void ClearMainThreadCache()
{
    TTextWidthCache::Current().Clear();
}

// What the render device's table width depends on besides the face: the
// font's height and resolution, character set and pitch.
int64_t RenderDeviceExtra(const TFont& font)
{
    return int64_t(uint64_t(uint32_t(font.Height())) << 32 | uint64_t(font.PixelsPerInch() & 0xFFFF) << 16 |
                   uint64_t(int(font.Charset()) & 0xFF) << 2 | uint64_t(font.Pitch()));
}

// The face the render device's table is made for (its size is in the extra
// number).
QFont RenderDeviceFace(const TFont& font)
{
    QFont face(font.Name());
    face.setBold(font.Style().Contains(TFontStyle::fsBold));
    face.setItalic(font.Style().Contains(TFontStyle::fsItalic));
    face.setUnderline(font.Style().Contains(TFontStyle::fsUnderline));
    face.setStrikeOut(font.Style().Contains(TFontStyle::fsStrikeOut));
    return face;
}

} // namespace

struct TTextWidthCache::TData {
    std::unordered_map<TKey, QSizeF, TKeyHash> Sizes;
    std::vector<QFont> Fonts;
    int LastFont = -1;

    // The font's number; a font equal by value to one listed has its number.
    // Comparing with the last font asked for is quick when it is that very
    // font (a shared copy).
    int FontId(const QFont& font)
    {
        if (LastFont >= 0 && Fonts[size_t(LastFont)] == font)
            return LastFont;
        for (size_t i = 0; i < Fonts.size(); ++i) {
            if (Fonts[i] == font)
                return LastFont = int(i);
        }
        if (int(Fonts.size()) >= kMaxFonts)
            Clear();
        Fonts.push_back(font);
        return LastFont = int(Fonts.size()) - 1;
    }
    void Clear()
    {
        Sizes.clear();
        Fonts.clear();
        LastFont = -1;
    }
};

TTextWidthCache::TTextWidthCache() : FData(new TData) {}

TTextWidthCache::~TTextWidthCache()
{
    delete FData;
}

TTextWidthCache& TTextWidthCache::Current()
{
    thread_local TTextWidthCache cache;
    thread_local bool registered = false;
    if (!registered) {
        registered = true;
        const QCoreApplication* app = QCoreApplication::instance();
        if (app && app->thread() == QThread::currentThread())
            qAddPostRoutine(ClearMainThreadCache);
    }
    return cache;
}

QSizeF TTextWidthCache::Size(TWidthRoad road, int64_t extra, const QFont& font, const QString& text,
                             const std::function<QSizeF()>& measure)
{
    if (!FEnabled) {
        ++FMeasured;
        return measure();
    }
    TKey key{road, FData->FontId(font), extra, text};
    auto it = FData->Sizes.find(key);
    if (it != FData->Sizes.end())
        return it->second;
    ++FMeasured;
    const QSizeF size = measure();
    if (int(FData->Sizes.size()) >= kMaxEntries)
        FData->Sizes.clear();
    FData->Sizes.emplace(std::move(key), size);
    return size;
}

void TTextWidthCache::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    Clear();
}

void TTextWidthCache::Clear()
{
    FData->Clear();
}

int TTextWidthCache::Count() const
{
    return int(FData->Sizes.size());
}

QSize CachedTextExtent(TCanvas& canvas, const QString& text)
{
    if (text.isEmpty())
        return QSize(0, 0);
    const QSizeF size =
        TTextWidthCache::Current().Size(TWidthRoad::wrExtent, 0, canvas.DeviceFont().Font, text,
                                        [&] { return QSizeF(canvas.TextExtent(text)); });
    return size.toSize();
}

double CachedAdvance(const QFont& font, const QString& text)
{
    if (text.isEmpty())
        return 0;
    return TTextWidthCache::Current()
        .Size(TWidthRoad::wrAdvance, 0, font, text,
              [&] { return QSizeF(QFontMetricsF(font).horizontalAdvance(text), 0); })
        .width();
}

// Only the devices whose measuring is known here are cached: a device of
// another class (a test's, say) may measure any way it likes. The printer
// device measures in the canvas's device font, the render device in the
// canvas's own font, whatever is selected.
int CachedDeviceTextWidth(TQPBaseDevice& device, const QFont& font, const QString& text,
                          const std::function<int()>& measure)
{
    const auto size = [&] { return QSizeF(measure(), 0); };
    TTextWidthCache& cache = TTextWidthCache::Current();
    if (typeid(device) == typeid(TQpPrinterDevice))
        return int(cache.Size(TWidthRoad::wrPrinterDevice, 0, font, text, size).width());
    if (typeid(device) == typeid(TQPRenderDevice)) {
        const TFont& own = *device.GetCanvas()->Font();
        return int(
            cache.Size(TWidthRoad::wrRenderDevice, RenderDeviceExtra(own), RenderDeviceFace(own), text, size)
                .width());
    }
    return measure();
}
