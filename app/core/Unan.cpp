#include "app/core/Unan.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"

#include <bit>
#include <cstdint>

namespace {

// The quiet NaN with no sign and no payload.
constexpr uint64_t EmptyPattern = 0x7FF8000000000000ull;

QString WithLocaleSeparator(const QString& text);
double ConvertNumber(const QString& text);

} // namespace

double NanValue()
{
    return std::bit_cast<double>(EmptyPattern);
}

bool IsNan(double value)
{
    return std::bit_cast<uint64_t>(value) == EmptyPattern;
}

bool TryParseNumber(const QString& text, double& value)
{
    value = 0;
    if (text.isEmpty())
        return false;
    value = ConvertNumber(text);
    return true;
}

bool TryParseNumberC(const char* text, double& value)
{
    return TryParseNumber(text ? QString::fromLatin1(text) : QString(), value);
}

bool TryReadNumber(const QString& text, double& value)
{
    try {
        return TryParseNumber(text, value);
    } catch (const EConvertError&) {
        value = 0;
        return false;
    }
}

double ReadNumber(const QString& text)
{
    if (text.isEmpty())
        return StrToFloat(text); // the runtime's error for the empty text
    return ParseNumber(text);
}

double ParseNumber(const QString& text)
{
    if (text.isEmpty())
        return 0;
    return ConvertNumber(text);
}

QString FractionText(int numerator, int denominator)
{
    if (denominator == 0)
        return Format(QStringLiteral("#%d"), numerator);
    if (numerator == 0)
        return QStringLiteral("0");
    return Format(QStringLiteral("%d/%d"), numerator, denominator);
}

QString InchSizeText(int whole, int numerator, int denominator)
{
    QString text;
    if (whole != 0)
        text = Format(QStringLiteral("%d "), whole);
    if (denominator != 0)
        text += FractionText(numerator, denominator);
    return text;
}

namespace {

// The number of a non-empty text; a text that is no number raises the
// runtime's conversion error with the text as the user typed it.
double ConvertNumber(const QString& text)
{
    try {
        return StrToFloat(WithLocaleSeparator(text));
    } catch (const EConvertError&) {
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

QString WithLocaleSeparator(const QString& text)
{
    const QChar separator = DecimalSeparator();
    QString result = text;
    for (QChar& c : result) {
        if (c == u'.' || c == u',')
            c = separator;
    }
    return result;
}

} // namespace
