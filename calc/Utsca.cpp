#include "calc/Utsca.h"

#include "app/core/Ucalibretype.h"
#include "platform/rtl/FormatText.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr int SizeNotValidTextId = 1056;      // "MN 056 : Diameter module combination not valid"
constexpr int ToleranceNotValidTextId = 1057; // "MN 057 : Error calculating tolerance"
constexpr double ModuleTolerance = 0.0001;
constexpr double Micrometre = 0.001; // mm
constexpr double WearFactor = 1.6;   // wear of Go gauges in multiples of b

// The module's entry of the size table (within ModuleTolerance); null for none.
const TSplineModule* FindSplineModule(double module)
{
    for (const TSplineModule& entry : SplineSizeTable) {
        if (std::fabs(entry.Module - module) < ModuleTolerance)
            return &entry;
    }
    return nullptr;
}

int KeyOf(const CALIBRETYPE& type)
{
    return type.Group * 100 + type.Item;
}

QString DesignationPrefix(int key)
{
    switch (key) {
    case 0:
    case 102:
    case 103:
        return QStringLiteral("GD ");
    case 1:
        return QStringLiteral("GR ");
    case 2:
        return QStringLiteral("GDR ");
    case 3:
    case 4:
    case 100:
    case 101:
        return QStringLiteral("HD ");
    default:
        return QString();
    }
}

// The gauges of hubs take upper-case positions, those of shafts lower case.
QString CaseForGauge(const QString& text, int key)
{
    switch (key) {
    case 0:
    case 1:
    case 2:
    case 100:
    case 101:
        return text.toUpper();
    case 3:
    case 4:
    case 102:
    case 103:
        return text.toLower();
    default:
        return text;
    }
}

// A whole number at the start of a field, as "%d" reads it: blanks, a sign,
// at least one digit; what follows is ignored.
bool ReadInteger(const QString& field, int& value)
{
    int at = 0;
    while (at < field.size() && field.at(at).isSpace())
        ++at;
    bool negative = false;
    if (at < field.size() && (field.at(at) == u'+' || field.at(at) == u'-')) {
        negative = field.at(at) == u'-';
        ++at;
    }
    long long number = 0;
    int digits = 0;
    for (; at < field.size() && field.at(at) >= u'0' && field.at(at) <= u'9'; ++at, ++digits) {
        number = number * 10 + (field.at(at).unicode() - u'0');
        if (number > std::numeric_limits<int>::max())
            return false;
    }
    if (digits == 0)
        return false;
    value = int(negative ? -number : number);
    return true;
}

int ModuleBand(double module)
{
    if (module >= 0.5 && module <= 1.5)
        return 0;
    if (module >= 1.75 && module <= 4)
        return 1;
    if (module >= 5 && module <= 10)
        return 2;
    return -1;
}

int DiameterRange(double diameter)
{
    constexpr double ranges[][2] = {{0, 12},    {12, 25},   {25, 50},    {50, 100},
                                    {100, 200}, {200, 400}, {400, 32000}};
    for (int i = 0; i < int(std::size(ranges)); ++i) {
        if (diameter >= ranges[i][0] && diameter <= ranges[i][1])
            return i;
    }
    return -1;
}

int PositionEntry(QChar position)
{
    if (position.isNull())
        return -1;
    for (int i = 0; i < SplinePositionCount; ++i) {
        for (char letter : SplinePositionTable[i]) {
            if (letter != 0 && position == QLatin1Char(letter))
                return i;
        }
    }
    return -1;
}

} // namespace

bool CalcSplineDin5480(double diameter, double module, const TCalcText& tolerance, TCalcText& classText,
                       TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result)
{
    TSplineSizeRow row{};
    if (FindSplineSize(diameter, module, row) != 0) {
        ShowCalcMessage(SizeNotValidTextId);
        return false;
    }
    // The size is the table's: a diameter or module typed within the
    // table's tolerance (converted from inch, say) is named and calculated
    // as the standard gives it.
    diameter = row.Diameter;
    module = FindSplineModule(module)->Module;
    int quality = -1, lq = -1;
    QChar position;
    if (!ParseSplineTolerance(tolerance.Text(), type, quality, position, lq)) {
        ShowCalcMessage(ToleranceNotValidTextId);
        return false;
    }
    return CalcSplineDin5480Limits(quality, lq, position, diameter, module, tolerance, classText, designation,
                                   type, result);
}

bool CalcSplineDin5480Limits(int quality, int lq, QChar position, double diameter, double module,
                             const TCalcText& tolerance, TCalcText& classText, TCalcText& designation,
                             const CALIBRETYPE& type, TOLLERANCE& result)
{
    const int key = KeyOf(type);
    const QString letter = position.isNull() ? QString() : QString(position);
    QString text = DesignationPrefix(key) + Format(QStringLiteral("%lg X "), diameter) +
                   Format(QStringLiteral("%lg X "), module);
    if (quality != -1)
        text += Format(QStringLiteral("%d%s-LQ%d"), quality, letter, lq);
    else
        text += Format(QStringLiteral("%s-LQ%d"), letter, lq);
    designation = text;

    double t1 = -1, t2 = -1, deviation = -1;
    if (!std::isfinite(diameter) ||
        !LookupSplineTolerance(module, std::trunc(diameter), quality, position, t1, t2, deviation)) {
        ShowCalcMessage(ToleranceNotValidTextId);
        return false;
    }
    // The No-go gauges are placed by the quality tolerance T1: without a
    // quality they have no limits.
    const bool needsQuality = key == 1 || key == 2 || key == 4;
    if (needsQuality && quality == -1) {
        ShowCalcMessage(ToleranceNotValidTextId);
        return false;
    }
    double a = -1, b = -1;
    if (!LookupSplineLq(module, diameter, lq, a, b)) {
        ShowCalcMessage(ToleranceNotValidTextId);
        return false;
    }
    double c = 0;
    if (type.Group == 1) {
        double a2 = -1;
        if (!LookupSplineLq(module, diameter, 2, a2, c)) {
            ShowCalcMessage(ToleranceNotValidTextId);
            return false;
        }
    }

    const double base = diameter + deviation;
    TOLLERANCE& r = result;
    const auto goPlug = [&] {
        r.MaxP = base + b;
        r.MinP = base;
        r.LogP = base - WearFactor * b;
    };
    const auto noGoPlug = [&] {
        r.MaxN = base + t1 + b / 2;
        r.MinN = base + t1 - b / 2;
    };
    switch (key) {
    case 0:
        goPlug();
        break;
    case 1:
        noGoPlug();
        break;
    case 2:
        goPlug();
        noGoPlug();
        break;
    case 3:
        r.MaxP = base;
        r.MinP = base - b;
        r.LogP = base + WearFactor * b;
        break;
    case 4:
        r.MaxN = base - t1 + b / 2;
        r.MinN = base - t1 - b / 2;
        break;
    case 100: // setting ring for the Go plug
        r.MaxP = base + a + c / 2;
        r.MinP = base + a - c / 2;
        r.LogP = r.MaxP;
        break;
    case 101: // wear check ring for the Go plug
        r.MaxP = base - WearFactor * b + c / 2;
        r.MinP = r.MaxP - c;
        r.LogP = r.MaxP;
        break;
    case 102: // check plug for the Go ring
        r.MaxP = base - a + c / 2;
        r.MinP = r.MaxP - c;
        r.LogP = r.MinP;
        break;
    case 103: // wear check plug for the Go ring
        r.MaxP = base + WearFactor * b + c / 2;
        r.MinP = r.MaxP - c;
        r.LogP = r.MinP;
        break;
    default:
        break;
    }
    classText = tolerance.Text();
    return true;
}

int FindSplineSize(double diameter, double module, TSplineSizeRow& row)
{
    const TSplineModule* entry = FindSplineModule(module);
    if (!entry)
        return 1;
    for (const TSplineSizeRow& candidate : entry->Rows) {
        if (candidate.Diameter == 0 || candidate.Diameter > diameter + ModuleTolerance)
            break;
        if (std::fabs(candidate.Diameter - diameter) < ModuleTolerance) {
            row = candidate;
            return 0;
        }
    }
    return 2;
}

bool ParseSplineTolerance(const QString& text, const CALIBRETYPE& type, int& quality, QChar& position,
                          int& lq)
{
    quality = -1;
    lq = -1;
    position = u'0';
    const QString cased = CaseForGauge(text, KeyOf(type));
    const QStringList fields = cased.split(u'-', Qt::SkipEmptyParts);
    bool withQuality = false;
    if (type.Role == 1)
        withQuality = !cased.isEmpty() && cased.at(0) >= u'0' && cased.at(0) <= u'9';
    else if (type.Role == 2 || type.Role == 3)
        withQuality = true;
    else
        return false;
    const int count = withQuality ? 3 : 2;
    if (fields.size() < count)
        return false;
    int at = 0;
    if (withQuality && !ReadInteger(fields.at(at++), quality))
        return false;
    position = fields.at(at++).at(0);
    return ReadInteger(fields.at(at), lq);
}

int SplineSizeIndex(double module, double diameter)
{
    const int band = ModuleBand(module);
    const int range = DiameterRange(diameter);
    if (band < 0 || range < 0)
        return -1;
    return 8 - band - range;
}

bool LookupSplineTolerance(double module, double diameter, int quality, QChar position, double& t1,
                           double& t2, double& deviation)
{
    t1 = t2 = deviation = -1;
    const int index = SplineSizeIndex(module, diameter);
    const int entry = PositionEntry(position);
    if (index < 0 || entry < 0)
        return false;
    deviation = SplineDeviationTable[index][entry] * Micrometre;
    if (quality == -1)
        return true;
    if (quality < 4 || quality > 12)
        return false;
    const int pair = 3 * (quality - 4) + 8 - index;
    t1 = SplineQualityTable[pair][0] * Micrometre;
    t2 = SplineQualityTable[pair][1] * Micrometre;
    return true;
}

bool LookupSplineLq(double module, double diameter, int lq, double& a, double& b)
{
    a = b = -1;
    const int index = SplineSizeIndex(module, diameter);
    if (index < 0 || lq < 2 || lq > 4)
        return false;
    const int pair = 3 * (lq - 2) + 8 - index;
    a = SplineLqTable[pair][0] * Micrometre;
    b = SplineLqTable[pair][1] * Micrometre;
    return true;
}
