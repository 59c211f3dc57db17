#include "platform/objects/ObjectText.h"

#include "platform/objects/ValueStream.h"
#include "platform/rtl/Streams.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

// The text form carries extended floats with all 64 mantissa bits; decimal
// text converts to and from them through the x87 long double, whose
// conversions round correctly (decimal to binary) and give the shortest text
// that reads back to the same bits (binary to decimal).
static_assert(std::numeric_limits<long double>::digits == 64,
              "the text form's extended floats need an 80-bit long double");

namespace {

constexpr int kExtendedBias = 16383;
constexpr int kLineWidth = 64; // characters of a string or hex data per line

// ---------------------------------------------------------------------------
// Floats

TExtended80Rec LongDoubleToExtended(long double value)
{
    TExtended80Rec bytes{};
    const bool negative = std::signbit(value);
    value = std::fabs(value);
    uint64_t mantissa = 0;
    int biased = 0;
    if (std::isinf(value)) {
        mantissa = uint64_t(1) << 63;
        biased = 0x7FFF;
    } else if (value != 0) {
        int exponent = 0;
        const long double fraction = std::frexp(value, &exponent); // value = fraction * 2^exponent
        biased = exponent - 1 + kExtendedBias;
        if (biased >= 1) {
            mantissa = uint64_t(std::ldexp(fraction, 64));
        } else {
            // Denormal: the mantissa counts units of 2^-16445.
            mantissa = uint64_t(std::ldexp(value, 16445));
            biased = 0;
        }
    }
    for (int i = 0; i < 8; ++i)
        bytes[size_t(i)] = uint8_t(mantissa >> (8 * i));
    const unsigned signExponent = unsigned(biased) | (negative ? 0x8000u : 0u);
    bytes[8] = uint8_t(signExponent);
    bytes[9] = uint8_t(signExponent >> 8);
    return bytes;
}

long double ExtendedToLongDouble(const TExtended80Rec& bytes)
{
    uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i)
        mantissa = (mantissa << 8) | bytes[size_t(i)];
    const unsigned signExponent = unsigned(bytes[8]) | (unsigned(bytes[9]) << 8);
    const int biased = int(signExponent & 0x7FFF);
    long double value = 0;
    if (biased == 0x7FFF) {
        const bool infinite = (mantissa << 1) == 0;
        value = infinite ? std::numeric_limits<long double>::infinity()
                         : std::numeric_limits<long double>::quiet_NaN();
    } else {
        const int exponent = biased == 0 ? -16445 : biased - kExtendedBias - 63;
        value = std::ldexp(static_cast<long double>(mantissa), exponent);
    }
    return (signExponent & 0x8000) ? -value : value;
}

// Shortest text that reads back to the same value, with '.' and an upper-case
// exponent without '+' or leading zeros; always with a '.' or an exponent so
// that it reads back as a float, not an integer.
template <class F> QString FloatText(F value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        bool minus = false;
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
            minus = exponent[0] == '-';
            exponent.erase(0, 1);
        }
        while (exponent.size() > 1 && exponent[0] == '0')
            exponent.erase(0, 1);
        text = mantissa + "E" + (minus ? "-" : "") + exponent;
    } else if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// Decimal text to a float, correctly rounded. std::from_chars refuses a
// result in the subnormal range, which the format can hold; the C library's
// conversion, with a locale object of its own so the process locale cannot
// change the decimal point, takes it. Overflow fails.
template <class F> bool ParseFloat(const std::string& text, F& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc() && result.ptr == last)
        return true;
    if (result.ec != std::errc::result_out_of_range)
        return false;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    char* end = nullptr;
    F parsed = 0;
    if constexpr (std::is_same_v<F, float>)
        parsed = strtof_l(first, &end, cLocale);
    else if constexpr (std::is_same_v<F, double>)
        parsed = strtod_l(first, &end, cLocale);
    else
        parsed = strtold_l(first, &end, cLocale);
    if (end != last || std::isinf(parsed))
        return false;
    value = parsed;
    return true;
}

QString CurrencyText(int64_t scaled)
{
    const bool negative = scaled < 0;
    const uint64_t magnitude = negative ? 0 - uint64_t(scaled) : uint64_t(scaled);
    QString text = QString::number(magnitude / 10000);
    const uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

// ---------------------------------------------------------------------------
// Tokens of the text form

enum class TTokenKind { End, Symbol, Integer, Float, String, Char };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    QString Text; // a symbol, a character token, or a number as written
    QString Str;  // the value of a string
    int64_t Int = 0;
    char Suffix = 0; // a float's type letter: 's', 'c', 'd' or 0
    int Line = 1;
};

bool IsLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_';
}

bool IsDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

class TTextParser {
public:
    explicit TTextParser(const QString& text) : FText(text) { Next(); }

    const TToken& Token() const { return FToken; }

    bool IsChar(char c) const { return FToken.Kind == TTokenKind::Char && FToken.Text == QLatin1Char(c); }
    bool IsSymbol(const char* word) const
    {
        return FToken.Kind == TTokenKind::Symbol &&
               FToken.Text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    void ExpectChar(char c)
    {
        if (!IsChar(c))
            Error(QStringLiteral("'%1'").arg(QLatin1Char(c)));
        Next();
    }

    QString ExpectSymbol(const QString& what)
    {
        if (FToken.Kind != TTokenKind::Symbol)
            Error(what);
        QString text = FToken.Text;
        Next();
        return text;
    }

    int64_t ExpectInteger()
    {
        if (FToken.Kind != TTokenKind::Integer)
            Error(QStringLiteral("Integer"));
        const int64_t value = FToken.Int;
        Next();
        return value;
    }

    [[noreturn]] void Error(const QString& expected) const
    {
        throw EParserError(
            QStringLiteral("Line %1: %2 expected but %3 found").arg(FToken.Line).arg(expected, Found()));
    }

    [[noreturn]] void Fail(const QString& message) const
    {
        throw EParserError(QStringLiteral("Line %1: %2").arg(FLine).arg(message));
    }

    // Reads hexadecimal digit pairs up to '}' from just after the '{' token.
    QByteArray ReadHexBinary()
    {
        QByteArray data;
        int high = -1;
        for (;;) {
            if (FPos >= FText.size())
                Fail(QStringLiteral("'}' expected but end of text found"));
            const QChar c = FText.at(FPos++);
            if (c == QLatin1Char('}'))
                break;
            if (c == QLatin1Char('\n'))
                ++FLine;
            if (c.unicode() <= ' ')
                continue;
            const int digit = HexValue(c);
            if (digit < 0)
                Fail(QStringLiteral("Invalid binary value: '%1'").arg(c));
            if (high < 0) {
                high = digit;
            } else {
                data.append(char((high << 4) | digit));
                high = -1;
            }
        }
        if (high >= 0)
            Fail(QStringLiteral("Invalid binary value: odd number of hexadecimal digits"));
        Next();
        return data;
    }

    void Next()
    {
        SkipBlanks();
        FToken = TToken();
        FToken.Line = FLine;
        if (FPos >= FText.size())
            return;
        const QChar c = FText.at(FPos);
        if (IsLetter(c)) {
            ReadSymbol();
        } else if (IsDigit(c) || c == QLatin1Char('$') ||
                   (c == QLatin1Char('-') && FPos + 1 < FText.size() &&
                    (IsDigit(FText.at(FPos + 1)) || FText.at(FPos + 1) == QLatin1Char('$')))) {
            ReadNumber();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('#')) {
            ReadString();
        } else if (QStringLiteral("=:[](){}<>,+").contains(c)) {
            FToken.Kind = TTokenKind::Char;
            FToken.Text = c;
            ++FPos;
        } else {
            Fail(QStringLiteral("Invalid character '%1' (#%2)").arg(c).arg(c.unicode()));
        }
    }

private:
    QString Found() const
    {
        switch (FToken.Kind) {
        case TTokenKind::End:
            return QStringLiteral("end of text");
        case TTokenKind::String:
            return QStringLiteral("string");
        default:
            return QLatin1Char('\'') + FToken.Text + QLatin1Char('\'');
        }
    }

    void SkipBlanks()
    {
        while (FPos < FText.size() && FText.at(FPos).unicode() <= ' ') {
            if (FText.at(FPos) == QLatin1Char('\n'))
                ++FLine;
            ++FPos;
        }
    }

    // Identifiers, with dots joining the parts of a property path or a
    // component reference.
    void ReadSymbol()
    {
        const int start = FPos;
        while (FPos < FText.size()) {
            const QChar c = FText.at(FPos);
            const bool dotBeforeName =
                c == QLatin1Char('.') && FPos + 1 < FText.size() && IsLetter(FText.at(FPos + 1));
            if (!IsLetter(c) && !IsDigit(c) && !dotBeforeName)
                break;
            ++FPos;
        }
        FToken.Kind = TTokenKind::Symbol;
        FToken.Text = FText.mid(start, FPos - start);
    }

    void ReadNumber()
    {
        const int start = FPos;
        bool negative = false;
        if (FText.at(FPos) == QLatin1Char('-')) {
            negative = true;
            ++FPos;
        }
        if (FText.at(FPos) == QLatin1Char('$')) {
            ++FPos;
            uint64_t value = 0;
            int digits = 0;
            while (FPos < FText.size() && HexValue(FText.at(FPos)) >= 0) {
                if (++digits > 16)
                    Fail(QStringLiteral("Integer out of range"));
                value = (value << 4) | uint64_t(HexValue(FText.at(FPos++)));
            }
            if (digits == 0)
                Fail(QStringLiteral("Invalid hexadecimal number"));
            FToken.Kind = TTokenKind::Integer;
            FToken.Int = negative ? int64_t(0 - value) : int64_t(value);
            FToken.Text = FText.mid(start, FPos - start);
            CheckNumberEnd();
            return;
        }
        bool isFloat = false;
        while (FPos < FText.size() && IsDigit(FText.at(FPos)))
            ++FPos;
        if (FPos + 1 < FText.size() && FText.at(FPos) == QLatin1Char('.') && IsDigit(FText.at(FPos + 1))) {
            isFloat = true;
            ++FPos;
            while (FPos < FText.size() && IsDigit(FText.at(FPos)))
                ++FPos;
        }
        if (FPos < FText.size() &&
            (FText.at(FPos) == QLatin1Char('e') || FText.at(FPos) == QLatin1Char('E'))) {
            int p = FPos + 1;
            if (p < FText.size() && (FText.at(p) == QLatin1Char('+') || FText.at(p) == QLatin1Char('-')))
                ++p;
            if (p < FText.size() && IsDigit(FText.at(p))) {
                isFloat = true;
                FPos = p;
                while (FPos < FText.size() && IsDigit(FText.at(FPos)))
                    ++FPos;
            }
        }
        FToken.Text = FText.mid(start, FPos - start);
        if (FPos < FText.size()) {
            const char suffix = char(FText.at(FPos).toLower().unicode());
            if (suffix == 's' || suffix == 'c' || suffix == 'd') {
                ++FPos;
                FToken.Suffix = suffix;
                isFloat = true;
            }
        }
        if (isFloat) {
            FToken.Kind = TTokenKind::Float;
        } else {
            FToken.Kind = TTokenKind::Integer;
            const QByteArray digits = FToken.Text.toLatin1();
            const auto result =
                std::from_chars(digits.constData(), digits.constData() + digits.size(), FToken.Int);
            if (result.ec != std::errc() || result.ptr != digits.constData() + digits.size())
                Fail(QStringLiteral("Integer out of range: %1").arg(FToken.Text));
        }
        CheckNumberEnd();
    }

    void CheckNumberEnd()
    {
        if (FPos < FText.size() && (IsLetter(FText.at(FPos)) || IsDigit(FText.at(FPos))))
            Fail(QStringLiteral("Invalid number %1%2").arg(FToken.Text, FText.at(FPos)));
    }

    void ReadString()
    {
        QString value;
        for (;;) {
            if (FPos >= FText.size())
                break;
            const QChar c = FText.at(FPos);
            if (c == QLatin1Char('\'')) {
                ++FPos;
                for (;;) {
                    if (FPos >= FText.size() || FText.at(FPos) == QLatin1Char('\n') ||
                        FText.at(FPos) == QLatin1Char('\r'))
                        Fail(QStringLiteral("Unterminated string"));
                    const QChar q = FText.at(FPos++);
                    if (q == QLatin1Char('\'')) {
                        if (FPos < FText.size() && FText.at(FPos) == QLatin1Char('\'')) {
                            value += q;
                            ++FPos;
                            continue;
                        }
                        break;
                    }
                    value += q;
                }
            } else if (c == QLatin1Char('#')) {
                ++FPos;
                uint64_t code = 0;
                int digits = 0;
                const bool hex = FPos < FText.size() && FText.at(FPos) == QLatin1Char('$');
                if (hex)
                    ++FPos;
                while (FPos < FText.size() &&
                       (hex ? HexValue(FText.at(FPos)) >= 0 : IsDigit(FText.at(FPos)))) {
                    code = code * (hex ? 16 : 10) +
                           uint64_t(hex ? HexValue(FText.at(FPos)) : FText.at(FPos).unicode() - '0');
                    ++FPos;
                    if (++digits > 8)
                        break;
                }
                if (digits == 0 || code > 0x10FFFF)
                    Fail(QStringLiteral("Invalid character code"));
                if (code > 0xFFFF) {
                    const char32_t cp = char32_t(code);
                    value += QString::fromUcs4(&cp, 1);
                } else {
                    value += QChar(char16_t(code));
                }
            } else {
                break;
            }
        }
        FToken.Kind = TTokenKind::String;
        FToken.Str = value;
    }

    QString FText;
    int FPos = 0;
    int FLine = 1;
    TToken FToken;
};

// ---------------------------------------------------------------------------
// Text to binary

class TTextToBinary {
public:
    TTextToBinary(TTextParser& parser, TValueWriter& writer) : FParser(parser), FWriter(writer) {}

    void Convert()
    {
        FWriter.WriteSignature();
        ConvertObject();
    }

private:
    bool AtObject() const
    {
        return FParser.IsSymbol("object") || FParser.IsSymbol("inherited") || FParser.IsSymbol("inline");
    }

    void Enter()
    {
        if (++FDepth > kMaxStreamNesting)
            FParser.Fail(QStringLiteral("Nesting deeper than %1").arg(kMaxStreamNesting));
    }

    void ConvertObject()
    {
        Enter();
        TFilerFlags flags = 0;
        if (FParser.IsSymbol("inherited"))
            flags |= ffInherited;
        else if (FParser.IsSymbol("inline"))
            flags |= ffInline;
        else if (!FParser.IsSymbol("object"))
            FParser.Error(QStringLiteral("'object'"));
        FParser.Next();
        QString name;
        QString className = FParser.ExpectSymbol(QStringLiteral("Identifier"));
        if (FParser.IsChar(':')) {
            FParser.Next();
            name = className;
            className = FParser.ExpectSymbol(QStringLiteral("Class name"));
        }
        int childPos = -1;
        if (FParser.IsChar('[')) {
            FParser.Next();
            const int64_t position = FParser.ExpectInteger();
            if (position < std::numeric_limits<int32_t>::min() ||
                position > std::numeric_limits<int32_t>::max())
                FParser.Fail(QStringLiteral("Child position out of range"));
            childPos = int(position);
            flags |= ffChildPos;
            FParser.ExpectChar(']');
        }
        FWriter.WritePrefix(flags, childPos);
        WriteName(className);
        WriteName(name);
        while (FParser.Token().Kind == TTokenKind::Symbol && !AtObject() && !FParser.IsSymbol("end"))
            ConvertProperty();
        FWriter.WriteListEnd();
        while (AtObject())
            ConvertObject();
        if (!FParser.IsSymbol("end"))
            FParser.Error(QStringLiteral("'end'"));
        FParser.Next();
        FWriter.WriteListEnd();
        --FDepth;
    }

    void ConvertProperty()
    {
        WriteName(FParser.ExpectSymbol(QStringLiteral("Property name")));
        FParser.ExpectChar('=');
        ConvertValue();
    }

    void WriteName(const QString& name)
    {
        if (name.toUtf8().size() > 255)
            FParser.Fail(QStringLiteral("Name longer than 255 bytes"));
        FWriter.WriteStr(name);
    }

    void ConvertValue()
    {
        Enter();
        const TToken token = FParser.Token();
        switch (token.Kind) {
        case TTokenKind::Integer:
            FWriter.WriteInteger(token.Int);
            FParser.Next();
            break;
        case TTokenKind::Float:
            ConvertFloat(token);
            FParser.Next();
            break;
        case TTokenKind::String: {
            QString text = token.Str;
            FParser.Next();
            while (FParser.IsChar('+')) {
                FParser.Next();
                if (FParser.Token().Kind != TTokenKind::String)
                    FParser.Error(QStringLiteral("String"));
                text += FParser.Token().Str;
                FParser.Next();
            }
            FWriter.WriteString(text);
            break;
        }
        case TTokenKind::Symbol:
            if (token.Text.size() > 255)
                FParser.Fail(QStringLiteral("Name longer than 255 bytes"));
            FWriter.WriteIdent(token.Text);
            FParser.Next();
            break;
        case TTokenKind::Char:
            if (FParser.IsChar('['))
                ConvertSet();
            else if (FParser.IsChar('('))
                ConvertList();
            else if (FParser.IsChar('{'))
                FWriter.WriteBinary(FParser.ReadHexBinary());
            else if (FParser.IsChar('<'))
                ConvertCollection();
            else
                FParser.Error(QStringLiteral("Value"));
            break;
        default:
            FParser.Error(QStringLiteral("Value"));
        }
        --FDepth;
    }

    void ConvertFloat(const TToken& token)
    {
        const std::string text = token.Text.toStdString();
        auto check = [&](bool ok) {
            if (!ok)
                FParser.Fail(QStringLiteral("Invalid floating point value %1").arg(token.Text));
        };
        switch (token.Suffix) {
        case 's': {
            float value = 0;
            check(ParseFloat(text, value));
            FWriter.WriteSingle(value);
            break;
        }
        case 'd': {
            double value = 0;
            check(ParseFloat(text, value));
            FWriter.WriteDate(value);
            break;
        }
        case 'c':
            FWriter.WriteCurrency(Currency::FromScaled(ParseCurrency(token.Text)));
            break;
        default: {
            long double value = 0;
            check(ParseFloat(text, value));
            FWriter.WriteExtended(LongDoubleToExtended(value));
            break;
        }
        }
    }

    // The decimal text scaled by 10000, exactly, the fifth decimal and beyond
    // rounded half to even.
    int64_t ParseCurrency(const QString& text)
    {
        const QByteArray bytes = text.toLatin1();
        bool negative = false;
        std::string digits;
        int pointShift = 0; // value = digits * 10^pointShift
        int i = 0;
        if (i < bytes.size() && bytes[i] == '-') {
            negative = true;
            ++i;
        }
        bool afterPoint = false;
        for (; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c >= '0' && c <= '9') {
                digits += c;
                if (afterPoint)
                    --pointShift;
            } else if (c == '.') {
                afterPoint = true;
            } else {
                break; // exponent
            }
        }
        if (i < bytes.size()) {
            if (i + 1 >= bytes.size())
                FParser.Fail(QStringLiteral("Invalid currency value %1").arg(text));
            int exponent = 0;
            const auto result = std::from_chars(bytes.constData() + i + 1 + (bytes[i + 1] == '+' ? 1 : 0),
                                                bytes.constData() + bytes.size(), exponent);
            if (result.ec != std::errc() || exponent > 40 || exponent < -40)
                FParser.Fail(QStringLiteral("Currency value out of range: %1").arg(text));
            pointShift += exponent;
        }
        pointShift += 4;
        std::string whole = digits;
        std::string rest;
        if (pointShift >= 0) {
            whole.append(size_t(pointShift), '0');
        } else {
            const size_t cut = size_t(-pointShift) >= whole.size() ? 0 : whole.size() - size_t(-pointShift);
            rest = whole.substr(cut);
            if (size_t(-pointShift) > rest.size())
                rest.insert(0, size_t(-pointShift) - rest.size(), '0');
            whole.resize(cut);
        }
        while (whole.size() > 1 && whole[0] == '0')
            whole.erase(0, 1);
        if (whole.size() > 19)
            FParser.Fail(QStringLiteral("Currency value out of range: %1").arg(text));
        unsigned __int128 magnitude = 0;
        for (char c : whole)
            magnitude = magnitude * 10 + unsigned(c - '0');
        if (!rest.empty()) {
            const bool aboveHalf =
                rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
            const bool half = rest[0] == '5' && !aboveHalf;
            if (aboveHalf || (half && (magnitude & 1)))
                ++magnitude;
        }
        const unsigned __int128 limit =
            negative ? (unsigned __int128)(uint64_t(1) << 63) : (uint64_t(1) << 63) - 1;
        if (magnitude > limit)
            FParser.Fail(QStringLiteral("Currency value out of range: %1").arg(text));
        return negative ? int64_t(0 - uint64_t(magnitude)) : int64_t(uint64_t(magnitude));
    }

    void ConvertSet()
    {
        FParser.ExpectChar('[');
        QStringList names;
        if (!FParser.IsChar(']')) {
            for (;;) {
                const QString name = FParser.ExpectSymbol(QStringLiteral("Set element"));
                if (name.toUtf8().size() > 255)
                    FParser.Fail(QStringLiteral("Name longer than 255 bytes"));
                names << name;
                if (!FParser.IsChar(','))
                    break;
                FParser.Next();
            }
        }
        FParser.ExpectChar(']');
        FWriter.WriteSet(names);
    }

    void ConvertList()
    {
        FParser.ExpectChar('(');
        FWriter.WriteListBegin();
        while (!FParser.IsChar(')')) {
            if (FParser.Token().Kind == TTokenKind::End)
                FParser.Error(QStringLiteral("')'"));
            ConvertValue();
        }
        FParser.Next();
        FWriter.WriteListEnd();
    }

    void ConvertCollection()
    {
        FParser.ExpectChar('<');
        FWriter.WriteValue(TValueType::vaCollection);
        while (!FParser.IsChar('>')) {
            if (!FParser.IsSymbol("item"))
                FParser.Error(QStringLiteral("'item'"));
            FParser.Next();
            if (FParser.IsChar('[')) {
                FParser.Next();
                FWriter.WriteInteger(FParser.ExpectInteger());
                FParser.ExpectChar(']');
            }
            FWriter.WriteListBegin();
            while (!FParser.IsSymbol("end")) {
                if (FParser.Token().Kind != TTokenKind::Symbol)
                    FParser.Error(QStringLiteral("'end'"));
                ConvertProperty();
            }
            FParser.Next();
            FWriter.WriteListEnd();
        }
        FParser.Next();
        FWriter.WriteListEnd();
    }

    TTextParser& FParser;
    TValueWriter& FWriter;
    int FDepth = 0;
};

// ---------------------------------------------------------------------------
// Binary to text

class TBinaryToText {
public:
    explicit TBinaryToText(TValueReader& reader) : FReader(reader) {}

    QString Convert()
    {
        FReader.ReadSignature();
        ConvertObject(0);
        return FOut;
    }

private:
    static QString Indent(int level) { return QString(qsizetype(level) * 2, QLatin1Char(' ')); }

    void ConvertObject(int level)
    {
        TValueReader::TNestingGuard guard(FReader);
        TFilerFlags flags = 0;
        int childPos = -1;
        FReader.ReadPrefix(flags, childPos);
        const QString className = FReader.ReadStr();
        const QString name = FReader.ReadStr();
        QString keyword = QStringLiteral("object");
        if (flags & ffInherited)
            keyword = QStringLiteral("inherited");
        else if (flags & ffInline)
            keyword = QStringLiteral("inline");
        FOut += Indent(level) + keyword + QLatin1Char(' ');
        FOut += name.isEmpty() ? className : name + QStringLiteral(": ") + className;
        if (flags & ffChildPos)
            FOut += QStringLiteral(" [%1]").arg(childPos);
        FOut += QLatin1Char('\n');
        while (!FReader.EndOfList())
            ConvertProperty(level + 1);
        FReader.ReadListEnd();
        while (!FReader.EndOfList())
            ConvertObject(level + 1);
        FReader.ReadListEnd();
        FOut += Indent(level) + QStringLiteral("end\n");
    }

    void ConvertProperty(int level)
    {
        FOut += Indent(level) + FReader.ReadStr() + QStringLiteral(" = ");
        ConvertValue(level);
        FOut += QLatin1Char('\n');
    }

    void ConvertValue(int level)
    {
        const TValueType type = FReader.NextValue();
        switch (type) {
        case TValueType::vaList: {
            TValueReader::TNestingGuard guard(FReader);
            FReader.ReadListBegin();
            FOut += QLatin1Char('(');
            while (!FReader.EndOfList()) {
                FOut += QLatin1Char('\n') + Indent(level + 1);
                ConvertValue(level + 1);
            }
            FReader.ReadListEnd();
            FOut += QLatin1Char(')');
            break;
        }
        case TValueType::vaInt8:
        case TValueType::vaInt16:
        case TValueType::vaInt32:
        case TValueType::vaInt64:
            FOut += QString::number(FReader.ReadInt64());
            break;
        case TValueType::vaExtended: {
            FReader.ReadValue();
            const long double value = ExtendedToLongDouble(FReader.ReadExtendedBytes());
            if (!std::isfinite(value))
                NotFinite();
            FOut += FloatText(value);
            break;
        }
        case TValueType::vaSingle: {
            const float value = FReader.ReadSingle();
            if (!std::isfinite(value))
                NotFinite();
            FOut += FloatText(value) + QLatin1Char('s');
            break;
        }
        case TValueType::vaDouble:
        case TValueType::vaDate: {
            const double value = FReader.ReadFloat();
            if (!std::isfinite(value))
                NotFinite();
            FOut += FloatText(value);
            if (type == TValueType::vaDate)
                FOut += QLatin1Char('d');
            break;
        }
        case TValueType::vaCurrency:
            FOut += CurrencyText(FReader.ReadCurrency().Scaled) + QLatin1Char('c');
            break;
        case TValueType::vaString:
        case TValueType::vaLString:
        case TValueType::vaWString:
        case TValueType::vaUTF8String:
            FOut += QuotedString(FReader.ReadString(), level + 1);
            break;
        case TValueType::vaIdent:
        case TValueType::vaFalse:
        case TValueType::vaTrue:
        case TValueType::vaNil:
        case TValueType::vaNull:
            FOut += FReader.ReadIdent();
            break;
        case TValueType::vaBinary:
            ConvertBinary(FReader.ReadBinary(), level + 1);
            break;
        case TValueType::vaSet:
            FOut += QLatin1Char('[') + FReader.ReadSet().join(QStringLiteral(", ")) + QLatin1Char(']');
            break;
        case TValueType::vaCollection:
            ConvertCollection(level);
            break;
        }
    }

    [[noreturn]] void NotFinite() const
    {
        throw EReadError(QStringLiteral("A float that is not a number or infinite has no text form %1")
                             .arg(FReader.Where()));
    }

    void ConvertBinary(const QByteArray& data, int level)
    {
        FOut += QLatin1Char('{');
        const QByteArray hex = data.toHex().toUpper();
        for (qsizetype i = 0; i < hex.size(); i += kLineWidth)
            FOut += QLatin1Char('\n') + Indent(level) + QString::fromLatin1(hex.mid(i, kLineWidth));
        FOut += QLatin1Char('}');
    }

    void ConvertCollection(int level)
    {
        TValueReader::TNestingGuard guard(FReader);
        FReader.CheckValue(TValueType::vaCollection);
        FOut += QLatin1Char('<');
        while (!FReader.EndOfList()) {
            FOut += QLatin1Char('\n') + Indent(level + 1) + QStringLiteral("item");
            const TValueType next = FReader.NextValue();
            if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
                FOut += QStringLiteral(" [%1]").arg(FReader.ReadInteger());
            FOut += QLatin1Char('\n');
            FReader.ReadListBegin();
            while (!FReader.EndOfList())
                ConvertProperty(level + 2);
            FReader.ReadListEnd();
            FOut += Indent(level + 1) + QStringLiteral("end");
        }
        FReader.ReadListEnd();
        FOut += QLatin1Char('>');
    }

    // Printable ASCII in quotes, every other character as #code (a
    // surrogate pair as its code point); long strings continue on further
    // lines joined by "+".
    static QString QuotedString(const QString& text, int level)
    {
        if (text.isEmpty())
            return QStringLiteral("''");
        QString out;
        bool quoted = false;
        int lineLength = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (lineLength >= kLineWidth) {
                if (quoted)
                    out += QLatin1Char('\'');
                quoted = false;
                out += QStringLiteral(" +\n") + Indent(level);
                lineLength = 0;
            }
            const char16_t c = text.at(i).unicode();
            if (c >= 32 && c < 127) {
                if (!quoted)
                    out += QLatin1Char('\'');
                quoted = true;
                out += QChar(c);
                if (c == '\'')
                    out += QChar(c);
                ++lineLength;
                continue;
            }
            if (quoted)
                out += QLatin1Char('\'');
            quoted = false;
            uint code = c;
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                code = QChar::surrogateToUcs4(c, text.at(++i).unicode());
            const QString escape = QLatin1Char('#') + QString::number(code);
            out += escape;
            lineLength += int(escape.size());
        }
        if (quoted)
            out += QLatin1Char('\'');
        return out;
    }

    TValueReader& FReader;
    QString FOut;
};

QString DecodeText(const QByteArray& bytes)
{
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    return QString::fromUtf8(body);
}

} // namespace

void ObjectTextToBinary(TStream& input, TStream& output)
{
    const QByteArray text = input.ReadBytes(input.Size() - input.Position());
    TTextParser parser(DecodeText(text));
    TMemoryStream buffer; // nothing reaches output unless the whole text converts
    TValueWriter writer(buffer);
    TTextToBinary(parser, writer).Convert();
    output.WriteBytes(buffer.Bytes());
}

void ObjectBinaryToText(TStream& input, TStream& output)
{
    TValueReader reader(input);
    const QString text = TBinaryToText(reader).Convert();
    output.WriteBytes(text.toUtf8());
}

QByteArray ObjectTextToBinary(const QByteArray& text)
{
    TMemoryStream input(text);
    TMemoryStream output;
    ObjectTextToBinary(input, output);
    return output.Bytes();
}

QByteArray ObjectBinaryToText(const QByteArray& binary)
{
    TMemoryStream input(binary);
    TMemoryStream output;
    ObjectBinaryToText(input, output);
    return output.Bytes();
}
