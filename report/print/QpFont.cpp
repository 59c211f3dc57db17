#include "report/print/QpFont.h"

#include "platform/rtl/RtlMath.h"

#include <QFontInfo>
#include <QFontMetricsF>

#include <cmath>

namespace {

constexpr int kMeasureHeight = 600; // pixels of character height
constexpr double kUnitsPerPointInch = kMeasureHeight * 72.0;
constexpr int kDefaultPixelsPerInch = 100;

int Advance(const QFontMetricsF& metrics, QChar c)
{
    return int(std::lround(metrics.horizontalAdvance(c)));
}

} // namespace

TQPBaseFontHandler::TQPBaseFontHandler(const TFont&) {}

TQPBaseFontHandler::~TQPBaseFontHandler() = default;

QFont TQPBaseFontHandler::MeasuringFont(const TFont& font)
{
    TFont measured;
    measured.Assign(&font);
    measured.SetOrientation(0);
    measured.SetHeight(-kMeasureHeight);
    return ToQFont(measured);
}

// Characters the face lacks (the control characters among them) measure as
// its missing-glyph box, as they print.
TQPTrueTypeFontHandler::TQPTrueTypeFontHandler(const TFont& font) : TQPBaseFontHandler(font)
{
    const QFontMetricsF metrics(MeasuringFont(font));
    for (int code = 0; code < 256; ++code)
        FWidths[size_t(code)] = Advance(metrics, QChar(char16_t(code)));
}

int TQPTrueTypeFontHandler::TextWidth(const QString& value, double fontSize, int dpi) const
{
    int64_t sum = 0;
    for (QChar c : value)
        sum += FWidths[c.unicode() <= 255 ? c.unicode() : 1];
    return int(Round(double(sum) * fontSize * dpi / kUnitsPerPointInch));
}

TQPNonProportionalFontHandler::TQPNonProportionalFontHandler(const TFont& font) : TQPBaseFontHandler(font)
{
    FWidth = Advance(QFontMetricsF(MeasuringFont(font)), u'A');
}

int TQPNonProportionalFontHandler::TextWidth(const QString& value, double fontSize, int dpi) const
{
    return int(Round(double(value.size()) * FWidth * fontSize * dpi / kUnitsPerPointInch));
}

TQPFontManager::TQPFontManager() = default;

TQPFontManager::~TQPFontManager() = default;

int TQPFontManager::TextWidth(const TFont& font, const QString& value)
{
    const int ppi = font.PixelsPerInch() > 0 ? font.PixelsPerInch() : kDefaultPixelsPerInch;
    const double fontSize = std::abs(font.Height()) * 72.0 / ppi;
    return FindHandler(font)->TextWidth(value, fontSize, ppi);
}

// The lock covers the look-ups only; a missing handler is measured outside it
// and, when another thread was quicker, the first one made is kept.
TQPBaseFontHandler* TQPFontManager::FindHandler(const TFont& font)
{
    const QString key = FontKey(font);
    {
        std::lock_guard guard(FLock);
        auto it = FHandlers.find(key);
        if (it != FHandlers.end())
            return it->second.get();
    }
    std::unique_ptr<TQPBaseFontHandler> handler;
    if (QFontInfo(TQPBaseFontHandler::MeasuringFont(font)).fixedPitch())
        handler = std::make_unique<TQPNonProportionalFontHandler>(font);
    else
        handler = std::make_unique<TQPTrueTypeFontHandler>(font);
    std::lock_guard guard(FLock);
    auto [it, inserted] = FHandlers.emplace(key, std::move(handler));
    return it->second.get();
}

QString TQPFontManager::FontKey(const TFont& font)
{
    QString key = font.Name() + u'|' + QString::number(font.Charset());
    if (font.Style().Contains(TFontStyle::fsBold))
        key += u"|B";
    if (font.Style().Contains(TFontStyle::fsItalic))
        key += u"|I";
    if (font.Pitch() == TFontPitch::fpVariable)
        key += u"|V";
    else if (font.Pitch() == TFontPitch::fpFixed)
        key += u"|F";
    return key;
}

int TQPFontManager::HandlerCount()
{
    std::lock_guard guard(FLock);
    return int(FHandlers.size());
}

TQPFontManager& FontManager()
{
    static TQPFontManager manager;
    return manager;
}
