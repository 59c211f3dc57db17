// SYSFUNC: strings, number and date conversion, mathematics and a few
// user-interface calls, over the run-time routines of platform/rtl.
#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/RtlMath.h"
#include "platform/rtl/StringRoutines.h"
#include "report/components/ZvLEFuncs_p.h"

#include <QApplication>
#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace ZvLEFuncs {
namespace {

using R = TRCPUNativeResult;
using TSysProc = R (*)(TNativeArgs&);

// The generator of RANDOM: a fixed seed until RANDOMIZE seeds it from the
// clock, so that runs repeat unless a script asks otherwise.
std::mt19937& Generator()
{
    static std::mt19937 generator(0x5EED);
    return generator;
}

TDateTime TakeDateTime(TNativeArgs& args)
{
    return args.Double();
}

int64_t TakeInt64(TNativeArgs& args)
{
    const uint64_t high = args.Word();
    const uint64_t low = args.Word();
    return int64_t((high << 32) | low);
}

// A var parameter of type Word at address.
void WriteWordVar(TNativeArgs&, uint32_t address, int value)
{
    const uint16_t word = uint16_t(value);
    std::memcpy(RCPUMemory().Access(address, 2, true), &word, 2);
}

// ROUND and TRUNC answer a 64-bit integer; a value that has none raises
// EInvalidOp (the conversion has no defined result).
int64_t CheckedInt64(long double value)
{
    constexpr long double limit = 9223372036854775808.0L; // 2^63
    if (!std::isfinite(value) || value >= limit || value < -limit)
        throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
    return int64_t(value);
}

QString ApplicationTitle()
{
    if (TApplication* application = Application())
        return application->Title();
    return QCoreApplication::applicationName();
}

// Copy, Delete and Insert as the run-time does them: indexes are 1-based;
// an index before the start counts from the start, one past the end does
// nothing (Copy, Delete) or appends (Insert); counts are clipped to the text.
QString CopyOf(const QString& s, int index, int count)
{
    const qsizetype start = std::max(index, 1) - 1;
    if (start >= s.size() || count <= 0)
        return {};
    return s.mid(start, std::min<qsizetype>(count, s.size() - start));
}

QString Deleted(QString s, int index, int count)
{
    if (index < 1 || index > s.size() || count <= 0)
        return s;
    return s.remove(index - 1, std::min<qsizetype>(count, s.size() - (index - 1)));
}

QString Inserted(const QString& source, QString s, int index)
{
    const qsizetype at = std::clamp<qsizetype>(qsizetype(index) - 1, 0, s.size());
    return s.insert(at, source);
}

struct TSysRow {
    const char* Name;
    TSysProc Proc;
};

const TSysRow kSysRows[] = {
    {"SHOWMESSAGE",
     [](TNativeArgs& a) -> R {
         ShowMessageBox(a.String(), ApplicationTitle(), TMsgIcon::None, TMsgButtons::OK);
         return {};
     }},
    {"INTTOSTR", [](TNativeArgs& a) { return R::OfString(IntToStr(int32_t(a.Word()))); }},
    {"STRTOINT", [](TNativeArgs& a) { return R::OfInteger(StrToInt(a.String())); }},
    {"STRTOINTDEF",
     [](TNativeArgs& a) {
         const QString text = a.String();
         return R::OfInteger(StrToIntDef(text, int32_t(a.Word())));
     }},
    {"STRTOFLOAT", [](TNativeArgs& a) { return R::OfExtended(StrToFloat(a.String())); }},
    {"FLOATTOSTR", [](TNativeArgs& a) { return R::OfString(FloatToStr(double(a.Extended()))); }},
    {"COPY",
     [](TNativeArgs& a) {
         const QString s = a.String();
         const int index = int32_t(a.Word());
         return R::OfString(CopyOf(s, index, int32_t(a.Word())));
     }},
    {"DELETE",
     [](TNativeArgs& a) -> R {
         const uint32_t var = a.Word();
         const int index = int32_t(a.Word());
         const int count = int32_t(a.Word());
         a.Cpu.WriteString(var, Deleted(a.Cpu.ReadString(var), index, count));
         return {};
     }},
    {"INSERT",
     [](TNativeArgs& a) -> R {
         const QString source = a.String();
         const uint32_t var = a.Word();
         const int index = int32_t(a.Word());
         a.Cpu.WriteString(var, Inserted(source, a.Cpu.ReadString(var), index));
         return {};
     }},
    {"LENGTH", [](TNativeArgs& a) { return R::OfInteger(int32_t(a.String().size())); }},
    {"POS",
     [](TNativeArgs& a) {
         const QString sub = a.String();
         const QString s = a.String();
         return R::OfInteger(sub.isEmpty() ? 0 : int32_t(s.indexOf(sub) + 1));
     }},
    {"COMPARE",
     [](TNativeArgs& a) {
         const QString s1 = a.String();
         return R::OfInteger(CompareText(s1, a.String()));
     }},
    {"COMPARECASE",
     [](TNativeArgs& a) {
         const QString s1 = a.String();
         return R::OfInteger(CompareStr(s1, a.String()));
     }},
    {"TRIM", [](TNativeArgs& a) { return R::OfString(Trim(a.String())); }},
    {"TRIMLEFT", [](TNativeArgs& a) { return R::OfString(TrimLeft(a.String())); }},
    {"TRIMRIGHT", [](TNativeArgs& a) { return R::OfString(TrimRight(a.String())); }},
    {"MAKESTR",
     [](TNativeArgs& a) {
         const QChar ch(char16_t(a.Word()));
         const int count = int32_t(a.Word());
         // A script's count must not make the host allocate gigabytes.
         constexpr int MaxMakeStrLength = 16 * 1024 * 1024;
         if (count > MaxMakeStrLength)
             throw ERangeError(QStringLiteral("MAKESTR: length %1 is over the limit of %2 characters")
                                   .arg(count)
                                   .arg(MaxMakeStrLength));
         return R::OfString(count > 0 ? QString(count, ch) : QString());
     }},
    {"UPPERCASE", [](TNativeArgs& a) { return R::OfString(UpperCase(a.String())); }},
    {"LOWERCASE", [](TNativeArgs& a) { return R::OfString(LowerCase(a.String())); }},
    {"CHR", [](TNativeArgs& a) { return R::OfInteger(int32_t(a.Word() & 0xFF)); }},
    {"CURRTOSTR", [](TNativeArgs& a) { return R::OfString(CurrToStr(Currency::FromScaled(TakeInt64(a)))); }},
    {"STRTOCURR", [](TNativeArgs& a) { return R::OfCurrency(StrToCurr(a.String()).Scaled); }},
    {"DATETIMETOSTR", [](TNativeArgs& a) { return R::OfString(DateTimeToStr(TakeDateTime(a))); }},
    {"STRTODATETIME", [](TNativeArgs& a) { return R::OfExtended(StrToDateTime(a.String())); }},
    {"DATETOSTR", [](TNativeArgs& a) { return R::OfString(DateToStr(TakeDateTime(a))); }},
    {"STRTODATE", [](TNativeArgs& a) { return R::OfExtended(StrToDate(a.String())); }},
    {"TIMETOSTR", [](TNativeArgs& a) { return R::OfString(TimeToStr(TakeDateTime(a))); }},
    {"STRTOTIME", [](TNativeArgs& a) { return R::OfExtended(StrToTime(a.String())); }},
    {"ABS",
     [](TNativeArgs& a) {
         const uint32_t value = a.Word();
         return R::OfInteger(int32_t(int32_t(value) < 0 ? 0u - value : value));
     }},
    {"ABSEXT", [](TNativeArgs& a) { return R::OfExtended(std::fabs(a.Extended())); }},
    {"ARCTAN", [](TNativeArgs& a) { return R::OfExtended(std::atan(a.Extended())); }},
    {"COS", [](TNativeArgs& a) { return R::OfExtended(std::cos(a.Extended())); }},
    {"SIN", [](TNativeArgs& a) { return R::OfExtended(std::sin(a.Extended())); }},
    {"EXP", [](TNativeArgs& a) { return R::OfExtended(std::exp(a.Extended())); }},
    {"FRAC",
     [](TNativeArgs& a) {
         const long double x = a.Extended();
         return R::OfExtended(x - std::trunc(x));
     }},
    {"LN", [](TNativeArgs& a) { return R::OfExtended(CheckedLn(double(a.Extended()))); }},
    {"ROUND", [](TNativeArgs& a) { return R::OfCurrency(CheckedInt64(std::nearbyint(a.Extended()))); }},
    {"TRUNC", [](TNativeArgs& a) { return R::OfCurrency(CheckedInt64(std::trunc(a.Extended()))); }},
    {"ODD", [](TNativeArgs& a) { return R::OfInteger(int32_t(a.Word() & 1)); }},
    {"PI", [](TNativeArgs&) { return R::OfExtended(std::numbers::pi_v<long double>); }},
    {"RANDOM",
     [](TNativeArgs& a) {
         const int32_t range = int32_t(a.Word());
         if (range <= 0)
             return R::OfInteger(0);
         return R::OfInteger(std::uniform_int_distribution<int32_t>(0, range - 1)(Generator()));
     }},
    {"RANDOMIZE",
     [](TNativeArgs&) -> R {
         Generator().seed(uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
         return {};
     }},
    {"SQR",
     [](TNativeArgs& a) {
         const long double x = a.Extended();
         return R::OfExtended(x * x);
     }},
    {"SQRT", [](TNativeArgs& a) { return R::OfExtended(CheckedSqrt(double(a.Extended()))); }},
    {"BEEP",
     [](TNativeArgs&) -> R {
         QApplication::beep();
         return {};
     }},
    {"DATE", [](TNativeArgs&) { return R::OfExtended(Date()); }},
    {"DAYOFWEEK", [](TNativeArgs& a) { return R::OfInteger(DayOfWeek(TakeDateTime(a))); }},
    {"BREAKUPDATE",
     [](TNativeArgs& a) -> R {
         const TDateTime value = TakeDateTime(a);
         int year = 0, month = 0, day = 0;
         DecodeDate(value, year, month, day);
         for (const int part : {year, month, day})
             WriteWordVar(a, a.Word(), part);
         return {};
     }},
    {"BREAKUPTIME",
     [](TNativeArgs& a) -> R {
         const TDateTime value = TakeDateTime(a);
         int hour = 0, minute = 0, second = 0, msec = 0;
         DecodeTime(value, hour, minute, second, msec);
         for (const int part : {hour, minute, second, msec})
             WriteWordVar(a, a.Word(), part);
         return {};
     }},
    {"CREATEDATE",
     [](TNativeArgs& a) {
         const int year = uint16_t(a.Word());
         const int month = uint16_t(a.Word());
         return R::OfExtended(EncodeDate(year, month, uint16_t(a.Word())));
     }},
    {"CREATETIME",
     [](TNativeArgs& a) {
         const int hour = uint16_t(a.Word());
         const int minute = uint16_t(a.Word());
         const int second = uint16_t(a.Word());
         return R::OfExtended(EncodeTime(hour, minute, second, uint16_t(a.Word())));
     }},
    {"NOW", [](TNativeArgs&) { return R::OfExtended(Now()); }},
    {"QUOTEDSTR",
     [](TNativeArgs& a) {
         const QString s = a.String();
         const QString quote(QChar(char16_t(a.Word())));
         return R::OfString(quote + QString(s).replace(quote, quote + quote) + quote);
     }},
    {"FORMATFLOAT",
     [](TNativeArgs& a) {
         const QString format = a.String();
         return R::OfString(FormatFloat(format, double(a.Extended())));
     }},
};

} // namespace

void AddSysFuncRows(TRowBuilder& builder)
{
    for (const TSysRow& row : kSysRows) {
        const QString name = QString::fromLatin1(row.Name);
        const TSysProc proc = row.Proc;
        builder.Add(QStringLiteral("SYSFUNC"), name,
                    [proc, name](TRCPURunner& cpu, std::span<const uint32_t> words) {
                        TNativeArgs args(cpu, words, name);
                        return proc(args);
                    });
    }
}

} // namespace ZvLEFuncs
