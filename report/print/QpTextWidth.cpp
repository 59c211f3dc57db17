#include "report/print/QpTextWidth.h"

#include "report/print/QpDevice.h"

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphics.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace {

// A key's hash: the font is known by its number in the cache's font list
// (hashing a font costs more than looking it up among the few a report
// uses).
size_t KeyHash(TWidthRoad road, int fontId, int64_t extra, const QString& text)
{
    // The standard library's string hash: Qt's seeded one costs several
    // times as much on short texts.
    const size_t chars = std::hash<std::u16string_view>()(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()), size_t(text.size())));
    const size_t mix = (size_t(fontId) << 8 | size_t(road)) * 0x9E3779B97F4A7C15ULL;
    return chars ^ (mix + size_t(extra) * 0xC2B2AE3D27D4EB4FULL);
}

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

// The widths sit in a list in the order they were measured, found through
// an open-addressed index (linear probing, at least twice as many slots as
// widths). A slot holds a fragment of the key's hash and the width's place
// in the list, eight bytes: the index of a long report stays small enough
// to be found in the processor's cache, where slots holding the whole key
// made every look-up wait for memory. The index starts small and doubles as
// it fills, so that a short report does not pay for the room a long one
// needs.
struct TTextWidthCache::TData {
    struct TEntry {
        size_t Hash = 0;
        int64_t Extra = 0;
        int FontId = -1;
        TWidthRoad Road = TWidthRoad::wrAdvance;
        QString Text;
        double Width = 0;
    };
    struct TSlot {
        uint32_t Tag = 0;   // the hash's high half
        uint32_t Place = 0; // the entry's place in the list plus one; 0: empty
    };
    struct TFontEntry {
        QFont Font;
        int CellHeight = -1; // not yet asked for
    };
    static constexpr size_t kMaxSlots = size_t(kMaxEntries) * 2;
    static constexpr size_t kFirstSlots = 4096;
    std::vector<TEntry> Entries;
    std::vector<TSlot> Slots; // made at the first width
    std::vector<TFontEntry> Fonts;
    int LastFont = -1;
    // The font last asked for as the caller holds it, and its number: a
    // caller asks with the same font object again and again, and a copy of
    // it is recognised without comparing its attributes (the copy kept here
    // keeps its data from being modified in place or freed).
    QFont LastAsked;
    int LastAskedId = -1;

    static uint32_t Tag(size_t hash) { return uint32_t(uint64_t(hash) >> 32); }

    // The slot holding the key, or the empty one where it goes.
    TSlot& Find(size_t hash, TWidthRoad road, int fontId, int64_t extra, const QString& text)
    {
        if (Slots.empty())
            Slots.resize(kFirstSlots);
        const size_t mask = Slots.size() - 1;
        const uint32_t tag = Tag(hash);
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            TSlot& slot = Slots[i];
            if (slot.Place == 0)
                return slot;
            if (slot.Tag != tag)
                continue;
            const TEntry& entry = Entries[slot.Place - 1];
            if (entry.Hash == hash && entry.FontId == fontId && entry.Road == road && entry.Extra == extra &&
                entry.Text == text)
                return slot;
        }
    }
    // Room for one width more: the index doubles while it is more than half
    // full, up to its largest size.
    void MakeRoom()
    {
        if ((Entries.size() + 1) * 2 <= Slots.size() || Slots.size() >= kMaxSlots)
            return;
        Slots.assign(Slots.size() * 2, TSlot());
        const size_t mask = Slots.size() - 1;
        for (size_t n = 0; n < Entries.size(); ++n) {
            size_t i = Entries[n].Hash & mask;
            while (Slots[i].Place != 0)
                i = (i + 1) & mask;
            Slots[i] = TSlot{Tag(Entries[n].Hash), uint32_t(n + 1)};
        }
    }
    void Add(TSlot& slot, TEntry entry)
    {
        Entries.push_back(std::move(entry));
        slot = TSlot{Tag(Entries.back().Hash), uint32_t(Entries.size())};
    }
    void ClearWidths()
    {
        if (Entries.empty())
            return;
        Entries.clear();
        std::fill(Slots.begin(), Slots.end(), TSlot());
    }
    // The font's number; a font equal by value to one listed has its number.
    // Comparing with the last font asked for is quick when it is that very
    // font (a shared copy).
    int FontId(const QFont& font)
    {
        if (LastAskedId >= 0 && font.isCopyOf(LastAsked))
            return LastAskedId;
        const int id = FontIdByValue(font); // may start the cache again
        LastAsked = font;
        return LastAskedId = id;
    }
    int FontIdByValue(const QFont& font)
    {
        if (LastFont >= 0 && Fonts[size_t(LastFont)].Font == font)
            return LastFont;
        for (size_t i = 0; i < Fonts.size(); ++i) {
            if (Fonts[i].Font == font)
                return LastFont = int(i);
        }
        if (int(Fonts.size()) >= kMaxFonts)
            Clear();
        Fonts.push_back({font});
        return LastFont = int(Fonts.size()) - 1;
    }
    void Clear()
    {
        ClearWidths();
        Fonts.clear();
        LastFont = -1;
        LastAsked = QFont();
        LastAskedId = -1;
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

double TTextWidthCache::Width(TWidthRoad road, int64_t extra, const QFont& font, const QString& text,
                              const std::function<double()>& measure)
{
    if (!FEnabled) {
        ++FMeasured;
        return measure();
    }
    int fontId = FData->FontId(font);
    size_t hash = KeyHash(road, fontId, extra, text);
    if (const TData::TSlot& slot = FData->Find(hash, road, fontId, extra, text); slot.Place != 0)
        return FData->Entries[slot.Place - 1].Width;
    ++FMeasured;
    const double width = measure();
    // Should the measuring have asked the cache itself, the font and the
    // slot are found again.
    if (const int again = FData->FontId(font); again != fontId) {
        fontId = again;
        hash = KeyHash(road, fontId, extra, text);
    }
    if (int(FData->Entries.size()) >= kMaxEntries)
        FData->ClearWidths(); // the fonts stay: their numbers are in no key now
    FData->MakeRoom();
    if (TData::TSlot& slot = FData->Find(hash, road, fontId, extra, text); slot.Place == 0)
        FData->Add(slot, TData::TEntry{hash, extra, fontId, road, text, width});
    return width;
}

int TTextWidthCache::CellHeight(const QFont& font)
{
    const auto measure = [&font] {
        const QFontMetricsF metrics(font);
        return int(std::lround(metrics.ascent() + metrics.descent()));
    };
    if (!FEnabled)
        return measure();
    TData::TFontEntry& entry = FData->Fonts[size_t(FData->FontId(font))];
    if (entry.CellHeight < 0)
        entry.CellHeight = measure();
    return entry.CellHeight;
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
    return int(FData->Entries.size());
}

double CachedAdvance(const QFont& font, const QString& text)
{
    if (text.isEmpty())
        return 0;
    return TTextWidthCache::Current().Width(TWidthRoad::wrAdvance, 0, font, text,
                                            [&] { return QFontMetricsF(font).horizontalAdvance(text); });
}

// The canvas's extent is the advance rounded to whole pixels and the cell
// height; with the cache off the canvas is asked itself.
QSize CachedTextExtent(TCanvas& canvas, const QString& text)
{
    if (text.isEmpty())
        return QSize(0, 0);
    TTextWidthCache& cache = TTextWidthCache::Current();
    if (!cache.Enabled())
        return canvas.TextExtent(text);
    const QFont& font = canvas.DeviceFont().Font;
    return QSize(int(std::lround(CachedAdvance(font, text))), cache.CellHeight(font));
}

// Only the devices whose measuring is known here are cached: a device of
// another class (a test's, say) may measure any way it likes. The printer
// device measures the canvas's extent in the device font, at least one
// pixel; the render device adds up its table in the canvas's own font,
// whatever is selected. With the cache off the device is asked itself.
int CachedDeviceTextWidth(TQPBaseDevice& device, const QFont& font, const QString& text,
                          const std::function<int()>& measure)
{
    TTextWidthCache& cache = TTextWidthCache::Current();
    if (!cache.Enabled())
        return measure();
    if (typeid(device) == typeid(TQpPrinterDevice)) {
        const int width = int(std::lround(CachedAdvance(font, text)));
        return width == 0 ? 1 : width;
    }
    if (typeid(device) == typeid(TQPRenderDevice)) {
        const TFont& own = *device.GetCanvas()->Font();
        return int(cache.Width(TWidthRoad::wrRenderDevice, RenderDeviceExtra(own), RenderDeviceFace(own),
                               text, [&] { return double(measure()); }));
    }
    return measure();
}
