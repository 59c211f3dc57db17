#include "platform/rtl/FormatText.h"

#include "platform/rtl/Exceptions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

// Widths and precisions beyond this are refused rather than allocated: a
// format string can come from a language file.
constexpr int MaxWidth = 10000;

enum class Length { Default, Short, Char, Long };

struct Spec {
    bool left = false;      // '-'
    bool plus = false;      // '+'
    bool space = false;     // ' '
    bool zero = false;      // '0'
    bool alternate = false; // '#'
    int width = 0;
    int precision = -1; // -1: none given
    Length length = Length::Default;
    char16_t conversion = 0;
};

// A converted number before padding: the sign or "0x" and the digits, kept
// apart because zero padding goes between them.
struct Number {
    std::string_view prefix; // a sign or "0x": always a literal
    std::string digits;
    bool zeroPadAllowed = true;
};

class Formatter {
public:
    Formatter(const QString& format, const std::vector<FormatArg>& args) : FFormat(format), FArgs(args) {}
    QString Run();

private:
    [[noreturn]] void Fail() const;
    const FormatArg& NextArg();
    int ReadCount(qsizetype& i);
    int StarArg();
    Spec ReadSpec(qsizetype& i);
    void Put(const Spec& spec, const QString& body);
    void PutNumber(const Spec& spec, const Number& number);
    Number IntegerText(const Spec& spec, const FormatArg& arg);
    Number FloatText(const Spec& spec, double value);

    const QString& FFormat;
    const std::vector<FormatArg>& FArgs;
    std::size_t FNext = 0;
    QString FOut;
};

std::string ToChars(double value, std::chars_format style, int precision);
std::string AlternateGeneral(double value, int precision);

} // namespace

QString FormatList(const QString& format, const std::vector<FormatArg>& args)
{
    return Formatter(format, args).Run();
}

namespace {

QString Formatter::Run()
{
    const qsizetype n = FFormat.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (FFormat[i] != u'%') {
            FOut += FFormat[i];
            continue;
        }
        ++i;
        if (i < n && FFormat[i] == u'%') {
            FOut += u'%';
            continue;
        }
        const Spec spec = ReadSpec(i);
        switch (spec.conversion) {
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            PutNumber(spec, IntegerText(spec, NextArg()));
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G': {
            const FormatArg& arg = NextArg();
            if (arg.kind() != FormatArg::Kind::Float)
                Fail();
            PutNumber(spec, FloatText(spec, arg.asFloat()));
            break;
        }
        case u'c': {
            const FormatArg& arg = NextArg();
            if (arg.kind() == FormatArg::Kind::Char)
                Put(spec, QString(arg.asChar()));
            else if (arg.kind() == FormatArg::Kind::Int && arg.asInt() >= 0 && arg.asInt() <= 0xFFFF)
                Put(spec, QString(QChar(char16_t(arg.asInt()))));
            else if (arg.kind() == FormatArg::Kind::UInt && arg.asUInt() <= 0xFFFF)
                Put(spec, QString(QChar(char16_t(arg.asUInt()))));
            else
                Fail();
            break;
        }
        case u's': {
            const FormatArg& arg = NextArg();
            if (arg.kind() != FormatArg::Kind::String)
                Fail();
            Put(spec, spec.precision >= 0 ? arg.asString().left(spec.precision) : arg.asString());
            break;
        }
        default:
            Fail();
        }
    }
    return FOut;
}

void Formatter::Fail() const
{
    throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(FFormat));
}

const FormatArg& Formatter::NextArg()
{
    if (FNext >= FArgs.size())
        Fail();
    return FArgs[FNext++];
}

int Formatter::ReadCount(qsizetype& i)
{
    int value = 0;
    while (i < FFormat.size() && FFormat[i] >= u'0' && FFormat[i] <= u'9') {
        value = value * 10 + (FFormat[i].unicode() - u'0');
        if (value > MaxWidth)
            Fail();
        ++i;
    }
    return value;
}

int Formatter::StarArg()
{
    const FormatArg& arg = NextArg();
    int64_t value;
    if (arg.kind() == FormatArg::Kind::Int)
        value = arg.asInt();
    else if (arg.kind() == FormatArg::Kind::UInt && arg.asUInt() <= uint64_t(MaxWidth))
        value = int64_t(arg.asUInt());
    else
        Fail();
    if (value > MaxWidth || value < -MaxWidth)
        Fail();
    return int(value);
}

// Reads flags, width, precision, length and the conversion letter; i is on
// the character after '%' and ends on the conversion letter.
Spec Formatter::ReadSpec(qsizetype& i)
{
    Spec spec;
    const qsizetype n = FFormat.size();
    for (; i < n; ++i) {
        const QChar c = FFormat[i];
        if (c == u'-')
            spec.left = true;
        else if (c == u'+')
            spec.plus = true;
        else if (c == u' ')
            spec.space = true;
        else if (c == u'0')
            spec.zero = true;
        else if (c == u'#')
            spec.alternate = true;
        else
            break;
    }
    if (i < n && FFormat[i] == u'*') {
        ++i;
        spec.width = StarArg();
        if (spec.width < 0) {
            // A negative width from the arguments means left justified.
            spec.left = true;
            spec.width = -spec.width;
        }
    } else {
        spec.width = ReadCount(i);
    }
    if (i < n && FFormat[i] == u'.') {
        ++i;
        if (i < n && FFormat[i] == u'*') {
            ++i;
            spec.precision = StarArg();
            if (spec.precision < 0)
                spec.precision = -1; // as if none were given
        } else {
            spec.precision = ReadCount(i);
        }
    }
    // Length modifiers: every argument arrives as 64 bits, so they only
    // matter for how a negative number shows in an unsigned conversion.
    if (i < n && FFormat[i] == u'h') {
        ++i;
        spec.length = Length::Short;
        if (i < n && FFormat[i] == u'h') {
            ++i;
            spec.length = Length::Char;
        }
    } else if (i < n && FFormat[i] == u'l') {
        ++i;
        spec.length = Length::Long;
        if (i < n && FFormat[i] == u'l')
            ++i;
    } else if (i < n &&
               (FFormat[i] == u'L' || FFormat[i] == u'j' || FFormat[i] == u'z' || FFormat[i] == u't')) {
        ++i;
        spec.length = Length::Long;
    }
    if (i >= n)
        Fail();
    spec.conversion = FFormat[i].unicode();
    return spec;
}

void Formatter::Put(const Spec& spec, const QString& body)
{
    const qsizetype pad = spec.width - body.size();
    if (pad > 0 && !spec.left)
        FOut += QString(pad, u' ');
    FOut += body;
    if (pad > 0 && spec.left)
        FOut += QString(pad, u' ');
}

void Formatter::PutNumber(const Spec& spec, const Number& number)
{
    const qsizetype pad = spec.width - qsizetype(number.prefix.size() + number.digits.size());
    const QString prefix = QString::fromLatin1(number.prefix.data(), qsizetype(number.prefix.size()));
    const QString digits = QString::fromLatin1(number.digits.data(), qsizetype(number.digits.size()));
    if (pad <= 0) {
        FOut += prefix + digits;
    } else if (spec.left) {
        FOut += prefix + digits + QString(pad, u' ');
    } else if (spec.zero && number.zeroPadAllowed) {
        FOut += prefix + QString(pad, u'0') + digits;
    } else {
        FOut += QString(pad, u' ') + prefix + digits;
    }
}

Number Formatter::IntegerText(const Spec& spec, const FormatArg& arg)
{
    const bool isSigned = spec.conversion == u'd' || spec.conversion == u'i';
    bool negative = false;
    uint64_t magnitude;
    if (arg.kind() == FormatArg::Kind::UInt) {
        magnitude = arg.asUInt();
    } else if (arg.kind() == FormatArg::Kind::Int) {
        const int64_t v = arg.asInt();
        if (isSigned) {
            negative = v < 0;
            magnitude = negative ? 0 - uint64_t(v) : uint64_t(v);
        } else {
            // A negative number in an unsigned conversion shows the bits of
            // the type the length modifier names.
            magnitude = uint64_t(v);
            if (v < 0 && spec.length == Length::Default)
                magnitude = uint32_t(magnitude);
            else if (v < 0 && spec.length == Length::Short)
                magnitude = uint16_t(magnitude);
            else if (v < 0 && spec.length == Length::Char)
                magnitude = uint8_t(magnitude);
        }
    } else {
        Fail();
    }

    Number number;
    const bool hex = spec.conversion == u'x' || spec.conversion == u'X';
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, magnitude, hex ? 16 : 10);
    number.digits.assign(buffer, r.ptr);
    if (spec.conversion == u'X') {
        for (char& c : number.digits)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (spec.precision >= 0) {
        // An explicit precision is the minimum digit count and turns zero
        // padding off; a zero with precision 0 prints no digits at all.
        number.zeroPadAllowed = false;
        if (spec.precision == 0 && magnitude == 0)
            number.digits.clear();
        else if (int(number.digits.size()) < spec.precision)
            number.digits.insert(0, std::size_t(spec.precision) - number.digits.size(), '0');
    }
    if (negative)
        number.prefix = "-";
    else if (isSigned && spec.plus)
        number.prefix = "+";
    else if (isSigned && spec.space)
        number.prefix = " ";
    else if (hex && spec.alternate && magnitude != 0)
        number.prefix = spec.conversion == u'X' ? "0X" : "0x";
    return number;
}

Number Formatter::FloatText(const Spec& spec, double value)
{
    Number number;
    if (std::signbit(value))
        number.prefix = "-";
    else if (spec.plus)
        number.prefix = "+";
    else if (spec.space)
        number.prefix = " ";
    const bool upper = spec.conversion == u'F' || spec.conversion == u'E' || spec.conversion == u'G';
    const double magnitude = std::fabs(value);

    if (!std::isfinite(value)) {
        number.digits = std::isnan(value) ? "nan" : "inf";
        number.zeroPadAllowed = false;
    } else {
        const int precision = spec.precision < 0 ? 6 : spec.precision;
        switch (spec.conversion) {
        case u'f':
        case u'F':
            number.digits = ToChars(magnitude, std::chars_format::fixed, precision);
            if (spec.alternate && precision == 0)
                number.digits += '.';
            break;
        case u'e':
        case u'E':
            number.digits = ToChars(magnitude, std::chars_format::scientific, precision);
            if (spec.alternate && precision == 0)
                number.digits.insert(number.digits.find('e'), 1, '.');
            break;
        default: {
            const int significant = precision == 0 ? 1 : precision;
            number.digits = spec.alternate ? AlternateGeneral(magnitude, significant)
                                           : ToChars(magnitude, std::chars_format::general, significant);
            break;
        }
        }
    }
    if (upper) {
        for (char& c : number.digits)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return number;
}

std::string ToChars(double value, std::chars_format style, int precision)
{
    // Room for 309 integer digits, the point, an exponent and the decimals.
    std::string buffer(std::size_t(precision) + 400, '\0');
    const std::to_chars_result r =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, style, precision);
    buffer.resize(std::size_t(r.ptr - buffer.data()));
    return buffer;
}

// "%#g": the general style that keeps its trailing zeros and its point. The
// style is chosen from the exponent the value has after rounding to the
// significant digits, as for "%g".
std::string AlternateGeneral(double value, int precision)
{
    const std::string scientific = ToChars(value, std::chars_format::scientific, precision - 1);
    const int exponent = std::stoi(scientific.substr(scientific.find('e') + 1));
    std::string text;
    if (exponent < -4 || exponent >= precision) {
        text = scientific;
        if (text.find('.') == std::string::npos)
            text.insert(text.find('e'), 1, '.');
    } else {
        text = ToChars(value, std::chars_format::fixed, precision - 1 - exponent);
        if (text.find('.') == std::string::npos)
            text += '.';
    }
    return text;
}

} // namespace
