#include "platform/rtl/NumberText.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringRoutines.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

struct Separators {
    QChar decimal;
    QChar thousand;
};

Separators SystemSeparators();
Separators& CurrentSeparators();

// A finite double as decimal digits: value = 0.d1d2d3... * 10^exponent. The
// digits carry no trailing zeros; no digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double value);
void RoundDigits(Decimal& d, int keep);
QString GeneralText(const Decimal& d, QChar separator);
QString FormatSection(const QString& section, double value, bool writeMinus);
std::optional<int64_t> ParseInteger(const QString& text, bool wide);
std::optional<double> ParseFloat(const QString& text);
std::optional<int64_t> ParseCurrency(const QString& text);
[[noreturn]] void RaiseInvalidFloat(const QString& text);

} // namespace

QChar DecimalSeparator()
{
    return CurrentSeparators().decimal;
}

void SetDecimalSeparator(QChar separator)
{
    CurrentSeparators().decimal = separator;
}

QChar ThousandSeparator()
{
    return CurrentSeparators().thousand;
}

void SetThousandSeparator(QChar separator)
{
    CurrentSeparators().thousand = separator;
}

void ResetNumberSeparators()
{
    CurrentSeparators() = SystemSeparators();
}

QString FloatToStr(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    Decimal d = ToDecimal(value);
    RoundDigits(d, 15);
    return GeneralText(d, DecimalSeparator());
}

QString FormatFloat(const QString& format, double value)
{
    if (!std::isfinite(value))
        return FloatToStr(value);

    // Split into at most three sections at the semicolons outside quotes.
    QStringList sections;
    QString current;
    QChar quote;
    for (QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            sections.append(current);
            current.clear();
            if (sections.size() == 3)
                break;
            continue;
        }
        current.append(c);
    }
    if (sections.size() < 3)
        sections.append(current);

    // An empty negative or zero section falls back to the positive one; a
    // negative value in its own section gets no minus from us, the section
    // writes whatever sign it wants.
    int index = 0;
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty())
        index = 1;
    else if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty())
        index = 2;
    if (sections[index].isEmpty())
        return FloatToStr(value);
    return FormatSection(sections[index], value, index == 0);
}

double StrToFloat(const QString& text)
{
    const std::optional<double> v = ParseFloat(text);
    if (!v)
        RaiseInvalidFloat(text);
    return *v;
}

double StrToFloatDef(const QString& text, double def)
{
    return ParseFloat(text).value_or(def);
}

bool TryStrToFloat(const QString& text, double& value)
{
    const std::optional<double> v = ParseFloat(text);
    if (v)
        value = *v;
    return v.has_value();
}

int StrToInt(const QString& text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

int StrToIntDef(const QString& text, int def)
{
    int value = def;
    return TryStrToInt(text, value) ? value : def;
}

bool TryStrToInt(const QString& text, int& value)
{
    const std::optional<int64_t> v = ParseInteger(text, false);
    if (v)
        value = int(*v);
    return v.has_value();
}

int64_t StrToInt64(const QString& text)
{
    int64_t value = 0;
    if (!TryStrToInt64(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

int64_t StrToInt64Def(const QString& text, int64_t def)
{
    int64_t value = def;
    return TryStrToInt64(text, value) ? value : def;
}

bool TryStrToInt64(const QString& text, int64_t& value)
{
    const std::optional<int64_t> v = ParseInteger(text, true);
    if (v)
        value = *v;
    return v.has_value();
}

QString IntToStr(int64_t value)
{
    return QString::number(value);
}

QString IntToHex(int64_t value, int digits)
{
    // Negative values show their two's complement bits.
    QString text = QString::number(uint64_t(value), 16).toUpper();
    if (text.size() < digits)
        text.prepend(QString(digits - text.size(), u'0'));
    return text;
}

Currency Currency::FromDouble(double value)
{
    if (std::isnan(value))
        throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
    const double scaled = value * 10000.0;
    // 2^63 is exact in a double; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!(scaled < limit && scaled >= -limit))
        throw EOverflow(QStringLiteral("Floating point overflow"));
    double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0))
        whole += 1;
    if (whole >= limit)
        throw EOverflow(QStringLiteral("Floating point overflow"));
    return FromScaled(int64_t(whole));
}

QString CurrToStr(Currency value)
{
    const bool negative = value.Scaled < 0;
    // Through the unsigned magnitude, so the most negative value has one.
    const uint64_t magnitude = negative ? 0 - uint64_t(value.Scaled) : uint64_t(value.Scaled);
    QString text = QString::number(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        QString decimals = QString::number(fraction).rightJustified(4, u'0');
        while (decimals.endsWith(u'0'))
            decimals.chop(1);
        text += DecimalSeparator() + decimals;
    }
    return negative ? u'-' + text : text;
}

Currency StrToCurr(const QString& text)
{
    const std::optional<int64_t> v = ParseCurrency(text);
    if (!v)
        RaiseInvalidFloat(text);
    return Currency::FromScaled(*v);
}

bool TryStrToCurr(const QString& text, Currency& value)
{
    const std::optional<int64_t> v = ParseCurrency(text);
    if (v)
        value = Currency::FromScaled(*v);
    return v.has_value();
}

namespace {

Separators SystemSeparators()
{
    const QLocale locale = QLocale::system();
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    return Separators{decimal.isEmpty() ? QChar(u'.') : decimal[0], group.isEmpty() ? QChar(u',') : group[0]};
}

Separators& CurrentSeparators()
{
    static Separators separators = SystemSeparators();
    return separators;
}

Decimal ToDecimal(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0)
        return d;
    // 18 significant digits, as the runtime's conversion produces them before
    // it rounds to the digits asked for.
    char buffer[64];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 17);
    const std::string text(buffer, r.ptr);
    const std::size_t e = text.find('e');
    d.digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.exponent = std::stoi(text.substr(e + 1)) + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Keeps the first keep digits, rounding half away from zero on the digit that
// follows. A carry out of the first digit moves the exponent up.
void RoundDigits(Decimal& d, int keep)
{
    if (keep >= int(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9') {
            d.digits[std::size_t(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.digits[std::size_t(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
}

// The general format of at most 15 significant digits; the exponent form is
// used below 0.0001 and from 1E15 on, and zero has no sign.
QString GeneralText(const Decimal& d, QChar separator)
{
    if (d.digits.empty())
        return QStringLiteral("0");
    const int count = int(d.digits.size());
    std::string text;
    if (d.exponent > 15 || d.exponent < -3) {
        text = d.digits.substr(0, 1);
        if (count > 1)
            text += '.' + d.digits.substr(1);
        text += 'E' + std::to_string(d.exponent - 1);
    } else if (d.exponent <= 0) {
        text = "0." + std::string(std::size_t(-d.exponent), '0') + d.digits;
    } else if (count <= d.exponent) {
        text = d.digits + std::string(std::size_t(d.exponent - count), '0');
    } else {
        text = d.digits.substr(0, std::size_t(d.exponent)) + '.' + d.digits.substr(std::size_t(d.exponent));
    }
    QString result = QString::fromLatin1(text.data(), qsizetype(text.size()));
    result.replace(u'.', separator);
    return d.negative ? u'-' + result : result;
}

// What a section asks for, found in one pass before anything is written.
struct SectionLayout {
    int before = 0;         // digit placeholders before the decimal point
    int after = 0;          // digit placeholders after it
    int firstZero = -1;     // index among "before" of the first '0'
    int lastZero = -1;      // index among "after" of the last '0'
    bool thousands = false; // a ',' anywhere
    bool scientific = false;
};

bool IsExponentAt(const QString& s, qsizetype i)
{
    return (s[i] == u'E' || s[i] == u'e') && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-');
}

SectionLayout ScanSection(const QString& s)
{
    SectionLayout layout;
    bool pointSeen = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = s.indexOf(c, i + 1);
            i = end < 0 ? s.size() : end;
        } else if (c == u'0' || c == u'#') {
            if (pointSeen) {
                if (c == u'0')
                    layout.lastZero = layout.after;
                ++layout.after;
            } else {
                if (c == u'0' && layout.firstZero < 0)
                    layout.firstZero = layout.before;
                ++layout.before;
            }
        } else if (c == u'.') {
            pointSeen = true;
        } else if (c == u',') {
            layout.thousands = true;
        } else if (IsExponentAt(s, i)) {
            layout.scientific = true;
            // The zeros after "E+" give the exponent's width, not digits.
            i += 2;
            while (i < s.size() && s[i] == u'0')
                ++i;
            --i;
        }
    }
    return layout;
}

QString FormatSection(const QString& s, double value, bool writeMinus)
{
    const SectionLayout layout = ScanSection(s);
    Decimal d = ToDecimal(value);
    if (layout.scientific) {
        RoundDigits(d, std::clamp(layout.before + layout.after, 1, 18));
    } else {
        // More than 18 integer digits cannot be shown exactly: general format.
        if (d.exponent > 18)
            return FloatToStr(value);
        RoundDigits(d, std::min(18, d.exponent + layout.after));
    }
    const bool zero = d.digits.empty();
    const int count = int(d.digits.size());
    // d.digits[0 .. pointIndex) stand before the decimal point.
    const int pointIndex = layout.scientific ? layout.before : d.exponent;
    const int shownExponent = zero ? 0 : d.exponent - layout.before;

    const int minInt = layout.firstZero < 0 ? 0 : layout.before - layout.firstZero;
    const int intDigits = layout.scientific ? (zero ? 0 : layout.before) : std::max(pointIndex, 0);
    const int shownInt = std::max(intDigits, minInt);
    const int significantDecimals = zero ? 0 : std::clamp(count - pointIndex, 0, layout.after);
    const int shownDecimals = std::max(significantDecimals, layout.lastZero + 1);

    const QChar thousand = ThousandSeparator();
    auto digitAt = [&](int index) { // index into d.digits; outside is '0'
        return QChar(index >= 0 && index < count ? char16_t(d.digits[std::size_t(index)]) : u'0');
    };
    QString out;
    // Writes the integer digit at position pos (1 = ones) and any thousands
    // separator that follows it.
    auto putInt = [&](int pos) {
        out += digitAt(pointIndex - pos);
        if (layout.thousands && pos > 1 && (pos - 1) % 3 == 0)
            out += thousand;
    };

    if (writeMinus && d.negative && !zero)
        out += u'-';
    // Integer digits the placeholders have no room for go in front of the
    // first placeholder (or of the point when no placeholder precedes it).
    bool extrasWritten = false;
    auto putExtras = [&]() {
        if (extrasWritten)
            return;
        extrasWritten = true;
        for (int pos = shownInt; pos > layout.before; --pos)
            putInt(pos);
    };
    int beforeSeen = 0;
    int afterSeen = 0;
    bool pointSeen = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = s.indexOf(c, i + 1);
            out += s.mid(i + 1, (end < 0 ? s.size() : end) - i - 1);
            i = end < 0 ? s.size() : end;
        } else if (c == u'0' || c == u'#') {
            if (!pointSeen) {
                const int pos = layout.before - beforeSeen;
                putExtras();
                if (pos <= shownInt)
                    putInt(pos);
                ++beforeSeen;
            } else {
                ++afterSeen;
                if (afterSeen <= shownDecimals)
                    out += digitAt(pointIndex + afterSeen - 1);
            }
        } else if (c == u'.') {
            if (!pointSeen) {
                putExtras();
                if (shownDecimals > 0)
                    out += DecimalSeparator();
            }
            pointSeen = true;
        } else if (c == u',') {
            // Only switches the thousands separators on.
        } else if (IsExponentAt(s, i)) {
            out += c;
            const bool alwaysSign = s[i + 1] == u'+';
            i += 2;
            int width = 0;
            while (i < s.size() && s[i] == u'0') {
                ++width;
                ++i;
            }
            --i;
            if (shownExponent < 0)
                out += u'-';
            else if (alwaysSign)
                out += u'+';
            out += QString::number(std::abs(shownExponent)).rightJustified(std::min(width, 4), u'0');
        } else {
            out += c;
        }
    }
    return out;
}

// Optional blanks in front, an optional sign, then decimal digits or
// hexadecimal ones after "$" or "0x". Hexadecimal may fill the whole unsigned
// range of the type, as the runtime allows ("$FFFFFFFF" is -1).
std::optional<int64_t> ParseInteger(const QString& text, bool wide)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return std::nullopt;
    const uint64_t limit = base == 16
                               ? (wide ? UINT64_MAX : UINT32_MAX)
                               : (wide ? uint64_t(INT64_MAX) : uint64_t(INT32_MAX)) + (negative ? 1 : 0);
    uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        if (magnitude > (limit - digit) / unsigned(base))
            return std::nullopt;
        magnitude = magnitude * unsigned(base) + digit;
    }
    if (base == 16 && !wide)
        magnitude = uint64_t(int64_t(int32_t(uint32_t(magnitude))));
    // Unsigned arithmetic wraps to the two's complement value we want.
    return int64_t(negative ? 0 - magnitude : magnitude);
}

// The parts of a decimal number as typed: sign, digits without the decimal
// separator, the count of those digits that came before it, and the exponent.
struct NumberParts {
    bool negative = false;
    std::string digits;
    int intCount = 0;
    long long exponent = 0;
};

std::optional<NumberParts> SplitNumber(const QString& text)
{
    const QString s = Trim(text);
    const QChar separator = DecimalSeparator();
    NumberParts parts;
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == u'-' || s[i] == u'+')) {
        parts.negative = s[i] == u'-';
        ++i;
    }
    while (i < n && s[i] >= u'0' && s[i] <= u'9')
        parts.digits += char(s[i++].unicode());
    parts.intCount = int(parts.digits.size());
    if (i < n && s[i] == separator) {
        ++i;
        while (i < n && s[i] >= u'0' && s[i] <= u'9')
            parts.digits += char(s[i++].unicode());
    }
    if (parts.digits.empty())
        return std::nullopt;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (s[i] == u'-' || s[i] == u'+')) {
            negativeExponent = s[i] == u'-';
            ++i;
        }
        if (i == n)
            return std::nullopt;
        for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            // Saturate: a larger exponent over- or underflows all the same.
            parts.exponent = std::min(parts.exponent * 10 + (s[i].unicode() - u'0'), 100000000LL);
        }
        if (negativeExponent)
            parts.exponent = -parts.exponent;
    }
    if (i != n)
        return std::nullopt;
    return parts;
}

std::optional<double> ParseFloat(const QString& text)
{
    const std::optional<NumberParts> parts = SplitNumber(text);
    if (!parts)
        return std::nullopt;
    std::string normal =
        parts->digits + 'e' +
        std::to_string(parts->exponent - (long long)(parts->digits.size() - parts->intCount));
    double value = 0;
    const std::from_chars_result r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small to be told from zero is zero; too large is an error.
        const std::size_t firstDigit = parts->digits.find_first_not_of('0');
        const long long magnitude =
            parts->exponent + parts->intCount - (long long)(firstDigit == std::string::npos ? 0 : firstDigit);
        if (magnitude > 0)
            return std::nullopt;
        value = 0;
    } else if (r.ec != std::errc() || r.ptr != normal.data() + normal.size()) {
        return std::nullopt;
    }
    return parts->negative ? -value : value;
}

// Currency text is read exactly from its decimal digits: the value is
// scaled by 10^4 and a tie in the dropped digits goes to the even neighbour.
std::optional<int64_t> ParseCurrency(const QString& text)
{
    const std::optional<NumberParts> parts = SplitNumber(text);
    if (!parts)
        return std::nullopt;
    std::string digits = parts->digits;
    const std::size_t firstDigit = digits.find_first_not_of('0');
    if (firstDigit == std::string::npos)
        return 0;
    // The count of digits that stand before the point after scaling by 10^4.
    const long long intCount = parts->intCount + parts->exponent + 4 - (long long)firstDigit;
    digits.erase(0, firstDigit);
    if (intCount > 19)
        return std::nullopt;
    std::string kept;
    bool up = false;
    if (intCount >= (long long)digits.size()) {
        kept = digits + std::string(std::size_t(intCount - (long long)digits.size()), '0');
    } else if (intCount >= 0) {
        kept = digits.substr(0, std::size_t(intCount));
        const std::string dropped = digits.substr(std::size_t(intCount));
        const bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
        const bool lastOdd = !kept.empty() && (kept.back() - '0') % 2 == 1;
        up = dropped[0] > '5' || (dropped[0] == '5' && (restNonZero || lastOdd));
    }
    unsigned __int128 magnitude = 0;
    for (char c : kept)
        magnitude = magnitude * 10 + unsigned(c - '0');
    if (up)
        ++magnitude;
    const unsigned __int128 limit = (unsigned __int128)INT64_MAX + (parts->negative ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    const uint64_t m = uint64_t(magnitude);
    return int64_t(parts->negative ? 0 - m : m);
}

void RaiseInvalidFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

} // namespace
