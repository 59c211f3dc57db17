#include "gauges/Utadvtol.h"

#include "app/core/Ucalibretype.h"
#include "platform/rtl/NumberText.h"

#include <cmath>
#include <limits>

// The gauge offsets by diameter and tolerance width are not given with the
// program's data; the table is empty (all 0) until they are.
const TAdvancedToleranceTable AdvancedToleranceTable = {};

namespace {

// The longest number at the front of text from position pos, as a
// "%f" conversion reads it (blanks first; sign, digits, point, exponent;
// "inf", "infinity", "nan"); false when none is there. pos moves past it.
bool ScanFloat(const QString& text, int& pos, float& value)
{
    const int n = int(text.size());
    while (pos < n && text.at(pos).isSpace())
        ++pos;
    int i = pos;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    for (const char* word : {"infinity", "inf", "nan"}) {
        const QLatin1StringView w(word);
        if (text.mid(i, w.size()).compare(w, Qt::CaseInsensitive) == 0) {
            const bool negative = text.at(pos) == u'-';
            value = word[0] == 'n' ? std::numeric_limits<float>::quiet_NaN()
                                   : (negative ? -1.0f : 1.0f) * std::numeric_limits<float>::infinity();
            pos = i + int(w.size());
            return true;
        }
    }
    const auto digits = [&](int& at) {
        const int start = at;
        while (at < n && text.at(at).isDigit() && text.at(at).unicode() < 128)
            ++at;
        return at - start;
    };
    int count = digits(i);
    if (i < n && text.at(i) == u'.') {
        ++i;
        count += digits(i);
    }
    if (count == 0)
        return false;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        int e = i + 1;
        if (e < n && (text.at(e) == u'+' || text.at(e) == u'-'))
            ++e;
        if (digits(e) > 0)
            i = e;
    }
    QString number = text.mid(pos, i - pos);
    number.replace(u'.', DecimalSeparator());
    double read = 0;
    if (!TryStrToFloat(number, read))
        return false;
    value = float(read);
    pos = i;
    return true;
}

} // namespace

bool ParseDeviationPair(const QString& text, float& a, float& b)
{
    if (!text.contains(u'+') && !text.contains(u'-'))
        return false;
    a = 0;
    b = 0;
    int pos = 0;
    if (ScanFloat(text, pos, a))
        ScanFloat(text, pos, b);
    return !(a - b == 0);
}

bool LookupAdvancedTolerance(const CALIBRETYPE& type, float diameter, float x, float y, TOLLERANCE& result,
                             const TAdvancedToleranceTable& table)
{
    const float lo = x > y ? y : x;
    const float hi = x > y ? x : y;
    const TAdvancedToleranceSet& set = table.at(type.Group == 0 ? 0 : 1);
    const TAdvancedDiameterRange* range = nullptr;
    for (const TAdvancedDiameterRange& candidate : set) {
        if (candidate.Upper == 0)
            return false;
        if (candidate.Lower < diameter && diameter <= candidate.Upper) {
            range = &candidate;
            break;
        }
    }
    if (!range)
        return false;
    const float width = std::fabs(lo - hi);
    const TAdvancedWidthRange* band = nullptr;
    for (const TAdvancedWidthRange& candidate : range->Widths) {
        if (candidate.Upper == 0)
            return false;
        if (candidate.Lower <= width && width < candidate.Upper) {
            band = &candidate;
            break;
        }
    }
    if (!band)
        return false;

    const long double k = 0.001L; // µm to mm
    const long double d = diameter;
    const auto& g = band->G;
    if (type.Group == 0) {
        result.MaxP = double(d + (lo + (long double)g[0]) * k);
        result.MinP = double(d + (lo + (long double)g[1]) * k);
        result.LogP = double(d + (lo + (long double)g[2]) * k);
        result.MaxN = double(d + (hi + (long double)g[3]) * k);
        result.MinN = double(d + (hi + (long double)g[4]) * k);
    } else if (type.Group == 1) {
        result.MaxP = double(d + (hi - (long double)g[1]) * k);
        result.MinP = double(d + (hi - (long double)g[0]) * k);
        result.LogP = double(d + (hi - (long double)g[2]) * k);
        result.MaxN = double(d + (lo - (long double)g[4]) * k);
        result.MinN = double(d + (lo - (long double)g[3]) * k);
    }
    return true;
}

namespace {

// Truncated toward zero, kept inside the range of int.
int Truncated(double value)
{
    if (!(value == value))
        return 0;
    const double t = std::trunc(value);
    if (t >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (t <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(t);
}

} // namespace

bool CalcAdvancedTolerance(double diameter, double upper, double lower, TCalcText& tolerance,
                           TCalcText& classText, TCalcText& designation, const CALIBRETYPE& type,
                           TOLLERANCE& result, const TAdvancedToleranceTable& table)
{
    const int key = type.Group * 100 + type.Item;
    if (key == 8 || (key >= 107 && key <= 110))
        return false;
    if (!LookupAdvancedTolerance(type, float(diameter), float(lower), float(upper), result, table))
        return false;
    const QString deviations = Format(QStringLiteral("%d %d"), Truncated(upper), Truncated(lower));
    designation = Format(QStringLiteral("%lf %s"), diameter, deviations);
    classText = QString();
    tolerance = QString();
    return true;
}

bool CalcAdvancedToleranceText(double diameter, TCalcText& tolerance, TCalcText& classText,
                               TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result,
                               const TAdvancedToleranceTable& table)
{
    float a = 0;
    float b = 0;
    if (!ParseDeviationPair(tolerance.Text(), a, b))
        return false;
    return CalcAdvancedTolerance(diameter, a, b, tolerance, classText, designation, type, result, table);
}
