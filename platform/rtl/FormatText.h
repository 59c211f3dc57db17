#pragma once
// A printf-compatible Format for the C formats the program uses: %s %d %i
// %u %ld %lu %lld %x %X %c %f %lf %e %E %g %G %lg %%, flags "-+ 0#", widths
// and precisions (also "*"). Floats always use "." as the decimal separator,
// whatever the C locale or DecimalSeparator() say. A missing or mistyped
// argument raises EConvertError "Format '<fmt>' invalid or incompatible with
// argument".
#include <QChar>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

class FormatArg {
public:
    enum class Kind { Int, UInt, Float, String, Char };

    template <typename T>
        requires std::is_integral_v<T> && (!std::is_same_v<T, bool>) && (!std::is_same_v<T, char>)
    FormatArg(T v)
    {
        if constexpr (std::is_signed_v<T>) {
            FKind = Kind::Int;
            FInt = v;
        } else {
            FKind = Kind::UInt;
            FUInt = v;
        }
    }
    FormatArg(bool v) : FKind(Kind::Int), FInt(v ? 1 : 0) {}
    FormatArg(char v) : FKind(Kind::Char), FChar(QLatin1Char(v)) {}
    FormatArg(QChar v) : FKind(Kind::Char), FChar(v) {}
    FormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
    FormatArg(float v) : FKind(Kind::Float), FFloat(v) {}
    FormatArg(long double v) : FKind(Kind::Float), FFloat(double(v)) {}
    FormatArg(const QString& v) : FKind(Kind::String), FString(v) {}
    FormatArg(const char* v) : FKind(Kind::String), FString(QString::fromUtf8(v)) {}

    Kind kind() const { return FKind; }
    int64_t asInt() const { return FInt; }
    uint64_t asUInt() const { return FUInt; }
    double asFloat() const { return FFloat; }
    const QString& asString() const { return FString; }
    QChar asChar() const { return FChar; }

private:
    Kind FKind;
    int64_t FInt = 0;
    uint64_t FUInt = 0;
    double FFloat = 0;
    QString FString;
    QChar FChar;
};

QString FormatList(const QString& format, const std::vector<FormatArg>& args);

template <typename... Args>
QString Format(const QString& format, const Args&... args)
{
    return FormatList(format, std::vector<FormatArg>{FormatArg(args)...});
}
