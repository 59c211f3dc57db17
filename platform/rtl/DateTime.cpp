#include "platform/rtl/DateTime.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/RtlMath.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QStringView>
#include <QTime>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

constexpr int kHoursPerDay = 24;
constexpr int kMinsPerHour = 60;
constexpr int kSecsPerMin = 60;
constexpr int kMSecsPerSec = 1000;
constexpr int kMSecsPerMin = kSecsPerMin * kMSecsPerSec;
constexpr int kMSecsPerDay = kHoursPerDay * kMinsPerHour * kMSecsPerMin;
// Day number of 1899-12-30 when 0001-01-01 is day 1.
constexpr int kDateDelta = 693594;
// A two-digit year lands in the hundred years that start this many years
// before the current one.
constexpr int kTwoDigitYearCenturyWindow = 50;

constexpr int kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

// A date-time split as the runtime splits it: day number (0001-01-01 is day
// 1) and milliseconds into the day.
struct TimeStamp {
    int Date = 0;
    int Time = 0;
};

enum class DateOrder { MDY, DMY, YMD };

TimeStamp DateTimeToTimeStamp(TDateTime value);
void DecodeDayNumber(int dayNumber, int& year, int& month, int& day);
int CurrentYear();
DateOrder GetDateOrder(const QString& format);
bool StartsWithNoCase(QStringView text, QStringView prefix);

// Writes a date-time by the codes of a format; see FormatDateTime.
class DateTimeFormatter {
public:
    DateTimeFormatter(const TDateFormatSettings& settings, TDateTime value)
        : FSettings(settings), FValue(value)
    {
    }
    QString Run(const QString& format);

private:
    void AppendFormat(QStringView format, int level);
    void AppendNumber(int number, int digits);
    void NeedDate();
    void NeedTime();
    static QString Name(const QStringList& names, int index);

    const TDateFormatSettings& FSettings;
    TDateTime FValue;
    QString FResult;
    bool FDateDecoded = false;
    bool FTimeDecoded = false;
    int FYear = 0, FMonth = 0, FDay = 0;
    int FHour = 0, FMin = 0, FSec = 0, FMSec = 0;
};

// Reads dates and times from text the way the runtime's parsers do: blanks
// (spaces only) may stand before each number and separator.
class DateTimeScanner {
public:
    DateTimeScanner(const TDateFormatSettings& settings, const QString& text)
        : FSettings(settings), FText(text)
    {
    }
    bool ScanDate(TDateTime& value);
    bool ScanTime(TDateTime& value);
    bool AtEnd() const { return FPos >= FText.size(); }

private:
    void ScanBlanks();
    bool ScanNumber(int& number, int& digitCount);
    bool ScanString(const QString& symbol);
    bool ScanChar(QChar ch);
    int ScanDayHalf(); // 0 for AM, 12 for PM, -1 for neither

    const TDateFormatSettings& FSettings;
    const QString& FText;
    qsizetype FPos = 0;
};

// One token of a Qt date or time pattern: a field (letter and repeat count)
// or literal text.
struct PatternToken {
    QChar Field;
    int Count = 0;
    QString Text;
    bool Quoted = false;
};

std::vector<PatternToken> TokenizeQtPattern(const QString& pattern);
void DropTimeZone(std::vector<PatternToken>& tokens);
QChar DetectSeparator(const std::vector<PatternToken>& tokens, QChar fallback);
QString RenderPattern(const std::vector<PatternToken>& tokens, QChar separator, QChar separatorCode);
void AppendLiteral(QString& out, const QString& text);

} // namespace

TDateFormatSettings& DateFormatSettings()
{
    static TDateFormatSettings settings = DateFormatSettingsFromLocale(QLocale::system());
    return settings;
}

void ResetDateFormatSettings()
{
    DateFormatSettings() = DateFormatSettingsFromLocale(QLocale::system());
}

TDateFormatSettings DateFormatSettingsFromLocale(const QLocale& locale)
{
    std::vector<PatternToken> shortDate = TokenizeQtPattern(locale.dateFormat(QLocale::ShortFormat));
    std::vector<PatternToken> longDate = TokenizeQtPattern(locale.dateFormat(QLocale::LongFormat));
    std::vector<PatternToken> shortTime = TokenizeQtPattern(locale.timeFormat(QLocale::ShortFormat));
    std::vector<PatternToken> longTime = TokenizeQtPattern(locale.timeFormat(QLocale::LongFormat));
    // The runtime's codes have no time zone; Qt's long time carries one.
    for (auto* tokens : {&shortDate, &longDate, &shortTime, &longTime})
        DropTimeZone(*tokens);

    TDateFormatSettings s;
    s.DateSeparator = DetectSeparator(shortDate, QLatin1Char('/'));
    s.TimeSeparator = DetectSeparator(shortTime, QLatin1Char(':'));
    s.ShortDateFormat = RenderPattern(shortDate, s.DateSeparator, QLatin1Char('/'));
    s.LongDateFormat = RenderPattern(longDate, s.DateSeparator, QLatin1Char('/'));
    s.ShortTimeFormat = RenderPattern(shortTime, s.TimeSeparator, QLatin1Char(':'));
    s.LongTimeFormat = RenderPattern(longTime, s.TimeSeparator, QLatin1Char(':'));
    s.TimeAMString = locale.amText();
    s.TimePMString = locale.pmText();
    for (int month = 1; month <= 12; ++month) {
        s.ShortMonthNames.append(locale.monthName(month, QLocale::ShortFormat));
        s.LongMonthNames.append(locale.monthName(month, QLocale::LongFormat));
    }
    // Qt numbers the days from Monday (1) to Sunday (7); the lists start on Sunday.
    for (int i = 0; i < 7; ++i) {
        const int qtDay = i == 0 ? 7 : i;
        s.ShortDayNames.append(locale.dayName(qtDay, QLocale::ShortFormat));
        s.LongDayNames.append(locale.dayName(qtDay, QLocale::LongFormat));
    }
    return s;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime value = 0;
    if (!TryEncodeDate(year, month, day, value))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond)
{
    TDateTime value = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, value))
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return value;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        return false;
    const int* days = kMonthDays[IsLeapYear(year) ? 1 : 0];
    if (day < 1 || day > days[month - 1])
        return false;
    for (int m = 0; m < month - 1; ++m)
        day += days[m];
    // Whole days before the year (leap days by the Gregorian rule) plus the
    // day of the year.
    const int y = year - 1;
    const int dayNumber = y * 365 + y / 4 - y / 100 + y / 400 + day;
    value = dayNumber - kDateDelta;
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value)
{
    if (hour < 0 || hour >= kHoursPerDay || minute < 0 || minute >= kMinsPerHour || second < 0 ||
        second >= kSecsPerMin || millisecond < 0 || millisecond >= kMSecsPerSec)
        return false;
    const int ms =
        hour * kMinsPerHour * kMSecsPerMin + minute * kMSecsPerMin + second * kMSecsPerSec + millisecond;
    value = double(ms) / double(kMSecsPerDay);
    return true;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    DecodeDayNumber(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond)
{
    const int ms = DateTimeToTimeStamp(value).Time;
    hour = ms / (kMinsPerHour * kMSecsPerMin);
    minute = ms / kMSecsPerMin % kMinsPerHour;
    second = ms / kMSecsPerSec % kSecsPerMin;
    millisecond = ms % kMSecsPerSec;
}

TDateTime Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

TDateTime Date()
{
    const QDate d = QDate::currentDate();
    return EncodeDate(d.year(), d.month(), d.day());
}

TDateTime Time()
{
    const QTime t = QTime::currentTime();
    return EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

int DayOfWeek(TDateTime value)
{
    // Day 1 (0001-01-01) was a Monday. The modulo is taken upwards so that
    // days before year 1 still give 1..7 and index the day names safely.
    int r = DateTimeToTimeStamp(value).Date % 7;
    if (r < 0)
        r += 7;
    return r + 1;
}

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

QString FormatDateTime(const QString& format, TDateTime value)
{
    return DateTimeFormatter(DateFormatSettings(), value).Run(format);
}

QString DateTimeToStr(TDateTime value)
{
    return FormatDateTime(QString(), value);
}

QString DateToStr(TDateTime value)
{
    return FormatDateTime(DateFormatSettings().ShortDateFormat, value);
}

QString TimeToStr(TDateTime value)
{
    return FormatDateTime(DateFormatSettings().LongTimeFormat, value);
}

TDateTime StrToDate(const QString& text)
{
    TDateTime value = 0;
    if (!TryStrToDate(text, value))
        throw EConvertError(QLatin1Char('\'') + text + QStringLiteral("' is not a valid date"));
    return value;
}

TDateTime StrToTime(const QString& text)
{
    TDateTime value = 0;
    if (!TryStrToTime(text, value))
        throw EConvertError(QLatin1Char('\'') + text + QStringLiteral("' is not a valid time"));
    return value;
}

TDateTime StrToDateTime(const QString& text)
{
    TDateTime value = 0;
    if (!TryStrToDateTime(text, value))
        throw EConvertError(QLatin1Char('\'') + text + QStringLiteral("' is not a valid date and time"));
    return value;
}

TDateTime StrToDateDef(const QString& text, TDateTime def)
{
    TDateTime value = 0;
    return TryStrToDate(text, value) ? value : def;
}

TDateTime StrToTimeDef(const QString& text, TDateTime def)
{
    TDateTime value = 0;
    return TryStrToTime(text, value) ? value : def;
}

TDateTime StrToDateTimeDef(const QString& text, TDateTime def)
{
    TDateTime value = 0;
    return TryStrToDateTime(text, value) ? value : def;
}

bool TryStrToDate(const QString& text, TDateTime& value)
{
    DateTimeScanner scanner(DateFormatSettings(), text);
    TDateTime date = 0;
    if (!scanner.ScanDate(date) || !scanner.AtEnd())
        return false;
    value = date;
    return true;
}

bool TryStrToTime(const QString& text, TDateTime& value)
{
    DateTimeScanner scanner(DateFormatSettings(), text);
    TDateTime time = 0;
    if (!scanner.ScanTime(time) || !scanner.AtEnd())
        return false;
    value = time;
    return true;
}

bool TryStrToDateTime(const QString& text, TDateTime& value)
{
    DateTimeScanner scanner(DateFormatSettings(), text);
    TDateTime date = 0;
    if (scanner.ScanDate(date)) {
        if (scanner.AtEnd()) {
            value = date;
            return true;
        }
        TDateTime time = 0;
        if (scanner.ScanTime(time) && scanner.AtEnd()) {
            // Before 1899-12-30 the time of day still counts away from zero.
            value = date >= 0 ? date + time : date - time;
            return true;
        }
    }
    return TryStrToTime(text, value);
}

namespace {

TimeStamp DateTimeToTimeStamp(TDateTime value)
{
    // The whole value is rounded to milliseconds first (ties to even), so a
    // time a fraction of a millisecond before midnight belongs to the next
    // day. The day count truncates towards zero and the time of day is taken
    // as an absolute value: -1.25 is the day before 1899-12-30, at 06:00.
    const int64_t ms = Round(value * double(kMSecsPerDay));
    const int64_t dayNumber = ms / kMSecsPerDay + kDateDelta;
    if (dayNumber < INT_MIN || dayNumber > INT_MAX)
        throw EOverflow(QStringLiteral("Floating point overflow"));
    const int64_t rest = ms % kMSecsPerDay;
    TimeStamp ts;
    ts.Date = int(dayNumber);
    ts.Time = int(rest < 0 ? -rest : rest);
    return ts;
}

void DecodeDayNumber(int dayNumber, int& year, int& month, int& day)
{
    // Days before 0001-01-01 have no year: the runtime gives 0/0/0 for them.
    if (dayNumber <= 0) {
        year = month = day = 0;
        return;
    }
    constexpr int kDays1 = 365;
    constexpr int kDays4 = kDays1 * 4 + 1;
    constexpr int kDays100 = kDays4 * 25 - 1;
    constexpr int kDays400 = kDays100 * 4 + 1;
    int t = dayNumber - 1;
    int y = 1 + t / kDays400 * 400;
    t %= kDays400;
    int i = t / kDays100;
    int d = t % kDays100;
    if (i == 4) { // the last day of a 400-year cycle
        i = 3;
        d += kDays100;
    }
    y += i * 100;
    y += d / kDays4 * 4;
    d %= kDays4;
    i = d / kDays1;
    d %= kDays1;
    if (i == 4) { // the last day of a 4-year cycle
        i = 3;
        d += kDays1;
    }
    y += i;
    const int* days = kMonthDays[IsLeapYear(y) ? 1 : 0];
    int m = 0;
    while (d >= days[m]) {
        d -= days[m];
        ++m;
    }
    year = y;
    month = m + 1;
    day = d + 1;
}

int CurrentYear()
{
    return QDate::currentDate().year();
}

// The first of d, m and y in the format decides how a date is read; without
// any of them month comes first.
DateOrder GetDateOrder(const QString& format)
{
    for (const QChar ch : format) {
        switch (ch.toLatin1()) {
        case 'd':
        case 'D':
            return DateOrder::DMY;
        case 'm':
        case 'M':
            return DateOrder::MDY;
        case 'y':
        case 'Y':
            return DateOrder::YMD;
        default:
            break;
        }
    }
    return DateOrder::MDY;
}

bool StartsWithNoCase(QStringView text, QStringView prefix)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

QString DateTimeFormatter::Run(const QString& format)
{
    if (format.isEmpty())
        AppendFormat(u"C", 1);
    else
        AppendFormat(format, 1);
    return FResult;
}

// Formats named inside formats (c, ddddd, dddddd, t, tt) are followed one
// level deep only, so a format that names itself cannot recurse forever.
void DateTimeFormatter::AppendFormat(QStringView format, int level)
{
    if (level > 2)
        return;
    const qsizetype n = format.size();
    qsizetype i = 0;
    char16_t lastToken = u' ';
    bool use12HourClock = false;
    while (i < n) {
        const QChar starter = format[i];
        ++i;
        char16_t token = starter.unicode();
        if (token >= u'a' && token <= u'z')
            token -= 32;
        if (token >= u'A' && token <= u'Z') {
            // "m" right after an hour means minutes.
            if (token == u'M' && lastToken == u'H')
                token = u'N';
            lastToken = token;
        }
        // The length of the run of the same character that starts here.
        const auto runLength = [&] {
            int count = 1;
            while (i < n && format[i] == starter) {
                ++i;
                ++count;
            }
            return count;
        };
        switch (token) {
        case u'Y': {
            const int count = runLength();
            NeedDate();
            if (count <= 2)
                AppendNumber(FYear % 100, 2);
            else
                AppendNumber(FYear, 4);
            break;
        }
        case u'M': {
            const int count = runLength();
            NeedDate();
            if (count <= 2)
                AppendNumber(FMonth, count);
            else if (count == 3)
                FResult += Name(FSettings.ShortMonthNames, FMonth);
            else
                FResult += Name(FSettings.LongMonthNames, FMonth);
            break;
        }
        case u'D': {
            const int count = runLength();
            if (count <= 2) {
                NeedDate();
                AppendNumber(FDay, count);
            } else if (count == 3) {
                FResult += Name(FSettings.ShortDayNames, DayOfWeek(FValue));
            } else if (count == 4) {
                FResult += Name(FSettings.LongDayNames, DayOfWeek(FValue));
            } else if (count == 5) {
                AppendFormat(FSettings.ShortDateFormat, level + 1);
            } else {
                AppendFormat(FSettings.LongDateFormat, level + 1);
            }
            break;
        }
        case u'H': {
            const int count = runLength();
            NeedTime();
            // A 12-hour clock when the next am/pm code of this format comes
            // before the next hour; quoted text is skipped.
            bool betweenQuotes = false;
            for (qsizetype p = i; p < n; ++p) {
                const QChar ch = format[p];
                if ((ch == u'a' || ch == u'A') && !betweenQuotes) {
                    const QStringView rest = format.mid(p);
                    if (StartsWithNoCase(rest, u"AM/PM") || StartsWithNoCase(rest, u"A/P") ||
                        StartsWithNoCase(rest, u"AMPM"))
                        use12HourClock = true;
                    break;
                }
                if (ch == u'h' || ch == u'H')
                    break;
                if (ch == u'\'' || ch == u'"')
                    betweenQuotes = !betweenQuotes;
            }
            int hour = FHour;
            if (use12HourClock) {
                if (hour == 0)
                    hour = 12;
                else if (hour > 12)
                    hour -= 12;
            }
            AppendNumber(hour, std::min(count, 2));
            break;
        }
        case u'N': {
            const int count = runLength();
            NeedTime();
            AppendNumber(FMin, std::min(count, 2));
            break;
        }
        case u'S': {
            const int count = runLength();
            NeedTime();
            AppendNumber(FSec, std::min(count, 2));
            break;
        }
        case u'Z': {
            const int count = runLength();
            NeedTime();
            AppendNumber(FMSec, std::min(count, 3));
            break;
        }
        case u'T': {
            const int count = runLength();
            AppendFormat(count == 1 ? FSettings.ShortTimeFormat : FSettings.LongTimeFormat, level + 1);
            break;
        }
        case u'A': {
            NeedTime();
            // The am/pm forms copy their own letters, so their case is kept.
            const QStringView code = format.mid(i - 1);
            if (StartsWithNoCase(code, u"AM/PM")) {
                FResult += code.mid(FHour >= 12 ? 3 : 0, 2);
                i += 4;
                use12HourClock = true;
            } else if (StartsWithNoCase(code, u"A/P")) {
                FResult += code.mid(FHour >= 12 ? 2 : 0, 1);
                i += 2;
                use12HourClock = true;
            } else if (StartsWithNoCase(code, u"AMPM")) {
                FResult += FHour < 12 ? FSettings.TimeAMString : FSettings.TimePMString;
                i += 3;
                use12HourClock = true;
            } else {
                FResult += starter;
            }
            break;
        }
        case u'C': {
            runLength();
            AppendFormat(FSettings.ShortDateFormat, level + 1);
            NeedTime();
            if (FHour != 0 || FMin != 0 || FSec != 0 || FMSec != 0) {
                FResult += QLatin1Char(' ');
                AppendFormat(FSettings.LongTimeFormat, level + 1);
            }
            break;
        }
        case u'/':
            if (!FSettings.DateSeparator.isNull())
                FResult += FSettings.DateSeparator;
            break;
        case u':':
            if (!FSettings.TimeSeparator.isNull())
                FResult += FSettings.TimeSeparator;
            break;
        case u'\'':
        case u'"': {
            // Quoted text up to the same quote, or to the end when unclosed.
            const qsizetype start = i;
            while (i < n && format[i] != starter)
                ++i;
            FResult += format.mid(start, i - start);
            if (i < n)
                ++i;
            break;
        }
        default:
            FResult += starter;
            break;
        }
    }
}

void DateTimeFormatter::AppendNumber(int number, int digits)
{
    FResult += QString::number(number).rightJustified(digits, QLatin1Char('0'));
}

// Decoding waits until a code needs it: a format of literals alone formats
// any value, even one that has no date.
void DateTimeFormatter::NeedDate()
{
    if (!FDateDecoded) {
        DecodeDate(FValue, FYear, FMonth, FDay);
        FDateDecoded = true;
    }
}

void DateTimeFormatter::NeedTime()
{
    if (!FTimeDecoded) {
        DecodeTime(FValue, FHour, FMin, FSec, FMSec);
        FTimeDecoded = true;
    }
}

// index counts from 1; a missing entry (month 0 of a date before year 1, a
// short list) gives empty text.
QString DateTimeFormatter::Name(const QStringList& names, int index)
{
    return names.value(index - 1);
}

bool DateTimeScanner::ScanDate(TDateTime& value)
{
    const DateOrder order = GetDateOrder(FSettings.ShortDateFormat);
    const QChar separator = FSettings.DateSeparator;
    int n1 = 0, n2 = 0, n3 = 0;
    int len1 = 0, len2 = 0, len3 = 0;
    if (!(ScanNumber(n1, len1) && ScanChar(separator) && ScanNumber(n2, len2)))
        return false;
    int year = 0, month = 0, day = 0;
    if (ScanChar(separator)) {
        if (!ScanNumber(n3, len3))
            return false;
        int yearLength = 0;
        switch (order) {
        case DateOrder::MDY:
            year = n3, yearLength = len3, month = n1, day = n2;
            break;
        case DateOrder::DMY:
            year = n3, yearLength = len3, month = n2, day = n1;
            break;
        case DateOrder::YMD:
            year = n1, yearLength = len1, month = n2, day = n3;
            break;
        }
        if (yearLength <= 2) {
            const int centuryBase = CurrentYear() - kTwoDigitYearCenturyWindow;
            year += centuryBase / 100 * 100;
            if (year < centuryBase)
                year += 100;
        }
    } else {
        // Day and month only: the current year.
        year = CurrentYear();
        if (order == DateOrder::DMY)
            day = n1, month = n2;
        else
            month = n1, day = n2;
    }
    ScanChar(separator); // a closing separator may follow
    ScanBlanks();
    return TryEncodeDate(year, month, day, value);
}

bool DateTimeScanner::ScanTime(TDateTime& value)
{
    int baseHour = ScanDayHalf();
    if (baseHour >= 0)
        ScanBlanks();
    int hour = 0, minute = 0, second = 0, msec = 0;
    int digits = 0;
    if (!ScanNumber(hour, digits))
        return false;
    if (ScanChar(FSettings.TimeSeparator)) {
        if (!ScanNumber(minute, digits))
            return false;
        if (ScanChar(FSettings.TimeSeparator)) {
            if (!ScanNumber(second, digits))
                return false;
            // The digits after the decimal separator are read as a whole
            // number of milliseconds, as the runtime reads them.
            if (ScanChar(DecimalSeparator()) && !ScanNumber(msec, digits))
                return false;
        }
    }
    if (baseHour < 0)
        baseHour = ScanDayHalf();
    if (baseHour >= 0) {
        if (hour == 0 || hour > 12)
            return false;
        if (hour == 12)
            hour = 0;
        hour += baseHour;
    }
    ScanBlanks();
    return TryEncodeTime(hour, minute, second, msec, value);
}

void DateTimeScanner::ScanBlanks()
{
    while (FPos < FText.size() && FText[FPos] == u' ')
        ++FPos;
}

// Reads ASCII digits until the number reaches 1000, so a longer run of digits
// leaves the rest unread and fails at the next separator.
bool DateTimeScanner::ScanNumber(int& number, int& digitCount)
{
    digitCount = 0;
    ScanBlanks();
    qsizetype i = FPos;
    int n = 0;
    while (i < FText.size() && FText[i] >= u'0' && FText[i] <= u'9' && n < 1000) {
        n = n * 10 + (FText[i].unicode() - u'0');
        ++i;
    }
    if (i == FPos)
        return false;
    digitCount = int(i - FPos);
    FPos = i;
    number = n;
    return true;
}

bool DateTimeScanner::ScanString(const QString& symbol)
{
    if (symbol.isEmpty())
        return false;
    ScanBlanks();
    if (!QStringView(FText).mid(FPos).startsWith(symbol, Qt::CaseInsensitive))
        return false;
    FPos += symbol.size();
    return true;
}

bool DateTimeScanner::ScanChar(QChar ch)
{
    ScanBlanks();
    if (FPos < FText.size() && FText[FPos] == ch) {
        ++FPos;
        return true;
    }
    return false;
}

// The locale's am/pm words and the English ones are all accepted.
int DateTimeScanner::ScanDayHalf()
{
    if (ScanString(FSettings.TimeAMString) || ScanString(QStringLiteral("AM")))
        return 0;
    if (ScanString(FSettings.TimePMString) || ScanString(QStringLiteral("PM")))
        return 12;
    return -1;
}

std::vector<PatternToken> TokenizeQtPattern(const QString& pattern)
{
    std::vector<PatternToken> tokens;
    const auto appendLiteral = [&tokens](const QString& text, bool quoted) {
        if (!tokens.empty() && tokens.back().Field.isNull() && tokens.back().Quoted == quoted)
            tokens.back().Text += text;
        else
            tokens.push_back(PatternToken{QChar(), 0, text, quoted});
    };
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar ch = pattern[i];
        if (ch == u'\'') {
            // '' is a quote character; '...' is literal text, with '' inside
            // standing for a quote.
            if (i + 1 < n && pattern[i + 1] == u'\'') {
                appendLiteral(QStringLiteral("'"), true);
                i += 2;
                continue;
            }
            QString text;
            ++i;
            while (i < n) {
                if (pattern[i] == u'\'') {
                    if (i + 1 < n && pattern[i + 1] == u'\'') {
                        text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += pattern[i];
                ++i;
            }
            appendLiteral(text, true);
            continue;
        }
        if (QStringLiteral("dMyhHmszt").contains(ch)) {
            qsizetype end = i + 1;
            while (end < n && pattern[end] == ch)
                ++end;
            tokens.push_back(PatternToken{ch, int(end - i), QString(), false});
            i = end;
            continue;
        }
        if (ch == u'A' || ch == u'a') {
            i += (i + 1 < n && (pattern[i + 1] == u'P' || pattern[i + 1] == u'p')) ? 2 : 1;
            tokens.push_back(PatternToken{QLatin1Char('A'), 1, QString(), false});
            continue;
        }
        appendLiteral(QString(ch), false);
        ++i;
    }
    return tokens;
}

// Removes the time zone fields with the blanks and brackets that set them
// apart: "HH:mm:ss t", "t HH:mm:ss", "H:mm:ss (t)".
void DropTimeZone(std::vector<PatternToken>& tokens)
{
    const auto isPlainLiteral = [](const PatternToken& t) { return t.Field.isNull() && !t.Quoted; };
    for (size_t k = 0; k < tokens.size();) {
        if (tokens[k].Field != u't') {
            ++k;
            continue;
        }
        if (k > 0 && isPlainLiteral(tokens[k - 1])) {
            QString& text = tokens[k - 1].Text;
            while (!text.isEmpty() && (text.back().isSpace() || text.back() == u'('))
                text.chop(1);
        }
        if (k + 1 < tokens.size() && isPlainLiteral(tokens[k + 1])) {
            QString& text = tokens[k + 1].Text;
            while (!text.isEmpty() && (text.front() == u')' || (k == 0 && text.front().isSpace())))
                text.remove(0, 1);
        }
        tokens.erase(tokens.begin() + qsizetype(k));
    }
}

// The separator is the first mark between two fields that is neither a
// blank, a letter nor an invisible direction mark.
QChar DetectSeparator(const std::vector<PatternToken>& tokens, QChar fallback)
{
    bool afterField = false;
    for (const PatternToken& t : tokens) {
        if (!t.Field.isNull()) {
            afterField = true;
            continue;
        }
        if (t.Quoted || !afterField)
            continue;
        for (const QChar ch : t.Text) {
            if (!ch.isSpace() && !ch.isLetter() && ch.category() != QChar::Other_Format)
                return ch;
        }
    }
    return fallback;
}

QString RenderPattern(const std::vector<PatternToken>& tokens, QChar separator, QChar separatorCode)
{
    QString out;
    QString literal;
    const auto flush = [&] {
        AppendLiteral(out, literal);
        literal.clear();
    };
    for (const PatternToken& t : tokens) {
        if (t.Field.isNull()) {
            for (const QChar ch : t.Text) {
                if (!t.Quoted && ch == separator) {
                    flush();
                    out += separatorCode;
                } else {
                    literal += ch;
                }
            }
            continue;
        }
        flush();
        switch (t.Field.unicode()) {
        case u'd':
            out += QString(std::min(t.Count, 4), QLatin1Char('d'));
            break;
        case u'M':
            out += QString(std::min(t.Count, 4), QLatin1Char('m'));
            break;
        case u'y':
            out += t.Count <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
            break;
        case u'h':
        case u'H':
            out += QString(std::min(t.Count, 2), QLatin1Char('h'));
            break;
        case u'm':
            out += QString(std::min(t.Count, 2), QLatin1Char('n'));
            break;
        case u's':
            out += QString(std::min(t.Count, 2), QLatin1Char('s'));
            break;
        case u'z':
            out += t.Count == 1 ? QStringLiteral("z") : QStringLiteral("zzz");
            break;
        case u'A':
            out += QStringLiteral("ampm");
            break;
        default:
            break;
        }
    }
    flush();
    return out;
}

// Literal text in the codes of FormatDateTime: ASCII letters, separators and
// quotes would be read as codes, so such text is quoted.
void AppendLiteral(QString& out, const QString& text)
{
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar ch) {
        const char16_t c = ch.unicode();
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'/' || c == u':' || c == u'\'' ||
               c == u'"';
    });
    if (plain) {
        out += text;
        return;
    }
    QString run;
    for (const QChar ch : text) {
        if (ch != u'"') {
            run += ch;
            continue;
        }
        if (!run.isEmpty())
            out += QLatin1Char('"') + run + QLatin1Char('"');
        run.clear();
        out += QStringLiteral("'\"'");
    }
    if (!run.isEmpty())
        out += QLatin1Char('"') + run + QLatin1Char('"');
}

} // namespace
