#include "app/core/Uplvzero.h"

#include "app/core/Iregistry.h"
#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/RtlMath.h"

#include <cmath>

namespace {

// Millimetre formats by number format (rows: "NumFormat" 0, 1, 2) and
// resolution (columns: 0.0001, 0.00005, 0.00001 and 0.001 mm).
const char* const MmFormats[3][4] = {
    {"%03ld.%03ld.%1ld", "%03d.%03ld.%1ld%1ld", "%03d.%03ld.%02ld", "%03d.%03ld"},
    {"%03ld.%03ld %1ld", "%03d.%03ld %1ld%1ld", "%03d.%03ld %02ld", "%03d.%03ld"},
    {"%03ld,%03ld %1ld", "%03d,%03ld %1ld%1ld", "%03d,%03ld %02ld", "%03d,%03ld"},
};

constexpr double InchPerMm = 0.03937007874015748; // 1 / 25.4
constexpr int TextWidth = 12;

const QString DisplaySettingsKey = QStringLiteral("Software\\Dravinel\\Pelloview\\8.0");

TZeroSearchNotice* Notice = nullptr;

int StubValueSource(uint16_t, double& value)
{
    value = 0.0;
    return 0;
}

uint32_t StubStatusSource()
{
    return 0;
}

// Shows the zero-search notice while the display searches for its zero and
// hides it otherwise; returns searching.
bool ShowZeroSearchNotice(bool searching);

// The digits of a non-negative value in the unit's format; empty for an
// unknown unit or resolution.
QString Digits(int unit, int resolution, double v, const std::array<QString, 4>& mmFormats);

} // namespace

TZeroSearchNotice::~TZeroSearchNotice() = default;

void SetZeroSearchNotice(TZeroSearchNotice* notice)
{
    Notice = notice;
}

DISPLAY::DISPLAY()
{
    ReadSettings();
    const int row = FNumFormat >= 0 && FNumFormat <= 2 ? FNumFormat : 0;
    for (int resolution = 0; resolution < 4; ++resolution)
        FMmFormats[size_t(resolution)] = QString::fromLatin1(MmFormats[row][resolution]);
}

void DISPLAY::Reset()
{
    FValueSource = StubValueSource;
    FStatusSource = StubStatusSource;
    FNoticeOff = 1;
    FCompensation = 0;
    FFactorBeforeZero = 1.0;
    FFactorAfterZero = 1.0;
}

DISPLAY& DISPLAY::Assign(const DISPLAY& other)
{
    if (&other == this)
        return *this;
    FValueSource = other.FValueSource;
    FStatusSource = other.FStatusSource;
    FStatusWord = other.FStatusWord;
    FChannel = other.FChannel;
    FUnit = other.FUnit;
    FDirection = other.FDirection;
    FZero = other.FZero;
    FResolution = other.FResolution;
    FLastValue = other.FLastValue;
    FLastValueInUnit = other.FLastValueInUnit;
    FCompensation = other.FCompensation;
    FMachineCoefficient = other.FMachineCoefficient;
    FWorkpieceCoefficient = other.FWorkpieceCoefficient;
    FFactorBeforeZero = other.FFactorBeforeZero;
    FFactorAfterZero = other.FFactorAfterZero;
    return *this;
}

void DISPLAY::SetValueSource(TDisplayValueSource source, TDisplayStatusSource statusSource)
{
    FValueSource = source;
    FStatusSource = statusSource;
}

void DISPLAY::SetValueFilter(TDisplayValueFilter filter, bool filtered)
{
    FValueFilter = filter;
    FFiltered = filtered;
}

double DISPLAY::ReadValue()
{
    int status = 0;
    const double raw = ReadRaw(status);
    if (ShowZeroSearchNotice(status == 1 && FNoticeOff == 0))
        return 0.0;
    FLastValue = Scale(raw);
    return FLastValue;
}

double DISPLAY::ReadValueInUnit()
{
    int status = 0;
    const double raw = ReadRaw(status);
    if (ShowZeroSearchNotice(status == 1 && FNoticeOff == 0))
        return 0.0;
    FLastValue = Scale(raw);
    FLastValueInUnit = ToUnit(FLastValue);
    return FLastValueInUnit;
}

QString DISPLAY::ReadFormatted()
{
    return FormatValue(ReadValueInUnit());
}

QString DISPLAY::FormatValue(double value) const
{
    if (!std::isfinite(value))
        return QString();
    QString text = value < 0 ? QStringLiteral("-") : QStringLiteral("+");
    try {
        text += Digits(FUnit, FResolution, std::fabs(value), FMmFormats);
    } catch (const EMathError&) {
        // Too many digits for 64-bit integers: no text rather than a wrong one.
        return QString();
    }
    if (text.size() < TextWidth)
        text.prepend(QString(TextWidth - text.size(), u' '));
    return text;
}

void DISPLAY::SetZero(double v)
{
    int status = 0;
    double raw = ReadRaw(status);
    if (FCompensation != 0)
        raw *= FFactorBeforeZero;
    FZero = raw - v;
}

bool DISPLAY::PresetText(const QString& text)
{
    // Blanks go, and every point after the first: the readout's own text
    // ("012.345.6", "012,345 6") can be typed back.
    QString cleaned;
    bool pointSeen = false;
    for (QChar c : QString::fromLatin1(text.toLatin1())) {
        if (c == u' ')
            continue;
        if (c == u'.') {
            if (pointSeen)
                continue;
            pointSeen = true;
        }
        cleaned += c;
    }
    double v = 0;
    bool parsed = false;
    try {
        parsed = TryParseNumber(cleaned, v);
    } catch (const EConvertError&) {
        parsed = false;
    }
    if (!parsed)
        v = 0.0;
    SetZeroFromRaw(v);
    return parsed;
}

double DISPLAY::ReadRaw(int& status)
{
    double raw = 0;
    status = 0;
    if (FValueSource) {
        status = FValueSource(FChannel, raw);
        if (FStatusSource)
            FStatusWord = FStatusSource();
    }
    return raw;
}

double DISPLAY::Scale(double raw)
{
    double r = raw;
    if (FCompensation != 0)
        r = FFactorBeforeZero * r;
    r = r - FZero;
    if (FCompensation != 0)
        r = FFactorAfterZero * r;
    if (!FValueSource)
        return r;
    r = FDirection * r;
    double converted = r;
    if (FValueFilter) {
        FFilterResult = FValueFilter(r);
        if (FFiltered)
            converted = FFilterResult;
    }
    FScaledInUnit = ToUnit(converted);
    return r;
}

double DISPLAY::ToUnit(double mm) const
{
    return FUnit == 1 ? mm * InchPerMm : mm;
}

void DISPLAY::SetZeroFromRaw(double v)
{
    int status = 0;
    double raw = 0;
    if (FValueSource) {
        raw = ReadRaw(status);
        if (FCompensation != 0)
            raw *= FFactorBeforeZero;
    }
    if (FUnit == 0)
        FZero = raw - v;
    else if (FUnit == 1)
        FZero = raw - v * MmPerInch;
}

void DISPLAY::ReadSettings()
{
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    // The display settings belong to the Ostrival folder whatever the global
    // folder of the store is at the time.
    registry.SetFolder(OstrivalDataFolder);
    if (registry.OpenKey(DisplaySettingsKey, true)) {
        // A value that does not read as a number counts as missing.
        const auto read = [&registry](const QString& name, double& value) {
            if (!registry.ValueExists(name))
                return false;
            try {
                value = ParseNumber(registry.ReadString(name));
                return true;
            } catch (const Exception&) {
                return false;
            }
        };
        double v = 0;
        if (read(QStringLiteral("C_TMac"), v))
            FMachineCoefficient = v;
        if (read(QStringLiteral("C_TPez"), v))
            FWorkpieceCoefficient = v;
        if (read(QStringLiteral("NumFormat"), v) && std::fabs(v) < 2147483648.0)
            FNumFormat = int(Trunc(v));
        registry.CloseKey();
    }
    if (!(FMachineCoefficient >= 0 && FMachineCoefficient <= 15))
        FMachineCoefficient = 8.0;
    if (!(FWorkpieceCoefficient >= 0 && FWorkpieceCoefficient <= 30))
        FWorkpieceCoefficient = 11.5;
}

namespace {

bool ShowZeroSearchNotice(bool searching)
{
    if (Notice && Notice->IsShown() != searching) {
        if (searching)
            Notice->ShowNotice();
        else
            Notice->HideNotice();
    }
    return searching;
}

QString Digits(int unit, int resolution, double v, const std::array<QString, 4>& mmFormats)
{
    if (unit == 0) {
        switch (resolution) {
        case 0:
            v += 0.00005;
            return Format(mmFormats[0], Trunc(v), Trunc(v * 1000) % 1000, Trunc(v * 10000) % 10);
        case 1:
            v += 0.000025;
            return Format(mmFormats[1], Trunc(v), Trunc(v * 1000) % 1000, Trunc(v * 10000) % 10,
                          (Trunc(v * 100000) % 10) / 5 * 5);
        case 2:
            v += 0.000005;
            return Format(mmFormats[2], Trunc(v), Trunc(v * 1000) % 1000, Trunc(v * 100000) % 100);
        case 3:
            v += 0.0005;
            return Format(mmFormats[3], Trunc(v), Trunc(v * 1000) % 1000);
        default:
            return QString();
        }
    }
    if (unit == 1) {
        switch (resolution) {
        case 0:
            v += 0.0000025;
            return Format(QStringLiteral("%02d.%05ld%1ld"), Trunc(v), Trunc(v * 100000) % 100000,
                          (Trunc(v * 1000000) % 10) / 5 * 5);
        case 1:
            v += 0.000001;
            return Format(QStringLiteral("%02d.%05ld%1ld"), Trunc(v), Trunc(v * 100000) % 100000,
                          (Trunc(v * 1000000) % 10) / 2 * 2);
        case 2:
            v += 0.0000005;
            return Format(QStringLiteral("%02d.%06ld"), Trunc(v), Trunc(v * 1000000) % 1000000);
        case 3:
            v += 0.000025;
            return Format(QStringLiteral("%02d.%04ld%1ld"), Trunc(v), Trunc(v * 10000) % 10000,
                          (Trunc(v * 100000) % 10) / 5 * 5);
        default:
            return QString();
        }
    }
    return QString();
}

} // namespace
