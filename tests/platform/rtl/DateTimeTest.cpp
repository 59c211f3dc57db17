#include "platform/rtl/DateTime.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/NumberText.h"
#include "tests/support/FuzzLoop.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

// Known English settings, so that no expectation depends on the machine.
class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TDateFormatSettings& s = DateFormatSettings();
        s.DateSeparator = QLatin1Char('/');
        s.TimeSeparator = QLatin1Char(':');
        s.ShortDateFormat = "dd/mm/yyyy";
        s.LongDateFormat = "dddd, d mmmm yyyy";
        s.ShortTimeFormat = "hh:nn";
        s.LongTimeFormat = "hh:nn:ss";
        s.TimeAMString = "AM";
        s.TimePMString = "PM";
        s.ShortMonthNames =
            QStringList{"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        s.LongMonthNames = QStringList{"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
        s.ShortDayNames = QStringList{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        s.LongDayNames =
            QStringList{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override
    {
        ResetDateFormatSettings();
        ResetNumberSeparators();
    }
};

// The message of the EConvertError f raises, or "(none)".
QString ConvertErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "(none)";
}

// Tuesday 2024-03-05 14:07:09.045.
TDateTime SampleValue()
{
    return EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
}

QString Ymd(TDateTime value)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    return QString("%1-%2-%3").arg(y).arg(m).arg(d);
}

QString Hmsz(TDateTime value)
{
    int h = 0, n = 0, s = 0, z = 0;
    DecodeTime(value, h, n, s, z);
    return QString("%1:%2:%3.%4").arg(h).arg(n).arg(s).arg(z);
}

} // namespace

TEST_F(DateTimeTest, EncodeDateGivesKnownDayNumbers)
{
    // Day numbers from an independent implementation of the same calendar
    // (Free Pascal's EncodeDate), rows 1-3 from the definition of the count.
    struct Row {
        int No, Year, Month, Day;
        double Value;
    };
    const Row rows[] = {
        {1, 1899, 12, 30, 0},       {2, 1899, 12, 29, -1},      {3, 1900, 1, 1, 2},
        {4, 2000, 1, 1, 36526},     {5, 2000, 2, 29, 36585},    {6, 2024, 3, 5, 45356},
        {7, 1, 1, 1, -693593},      {8, 9999, 12, 31, 2958465}, {9, 1752, 9, 14, -53797},
        {10, 1600, 2, 29, -109512},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(EncodeDate(r.Year, r.Month, r.Day), r.Value);
        EXPECT_EQ(Ymd(r.Value), QString("%1-%2-%3").arg(r.Year).arg(r.Month).arg(r.Day));
    }
}

TEST_F(DateTimeTest, InvalidDateAndTimePartsRaise)
{
    struct DateRow {
        int No, Year, Month, Day;
    };
    // Each one step past a limit of the calendar.
    const DateRow dates[] = {
        {1, 1900, 2, 29}, {2, 2000, 2, 30}, {3, 0, 1, 1},    {4, 10000, 1, 1},
        {5, 2000, 0, 1},  {6, 2000, 13, 1}, {7, 2000, 1, 0}, {8, 2023, 4, 31},
    };
    for (const DateRow& r : dates) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(ConvertErrorOf([&] { EncodeDate(r.Year, r.Month, r.Day); }),
                  "Invalid argument to date encode");
    }
    struct TimeRow {
        int No, Hour, Min, Sec, MSec;
    };
    const TimeRow times[] = {
        {1, 24, 0, 0, 0}, {2, 0, 60, 0, 0}, {3, 0, 0, 60, 0}, {4, 0, 0, 0, 1000}, {5, -1, 0, 0, 0},
    };
    for (const TimeRow& r : times) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(ConvertErrorOf([&] { EncodeTime(r.Hour, r.Min, r.Sec, r.MSec); }),
                  "Invalid argument to time encode");
    }
    EXPECT_EQ(Hmsz(EncodeTime(23, 59, 59, 999)), "23:59:59.999");
}

TEST_F(DateTimeTest, DecodeAgreesWithQDateOverTheWholeRange)
{
    // QDate counts the same proleptic calendar by Julian day; 1899-12-30 is
    // Julian day 2415019.
    for (int day = -693593; day <= 2958465; ++day) {
        const QDate expected = QDate::fromJulianDay(day + 2415019);
        int y = 0, m = 0, d = 0;
        DecodeDate(day, y, m, d);
        if (y != expected.year() || m != expected.month() || d != expected.day() ||
            DayOfWeek(day) != expected.dayOfWeek() % 7 + 1) {
            FAIL() << "day " << day << " decoded as " << y << "-" << m << "-" << d;
        }
    }
}

TEST_F(DateTimeTest, DecodingRoundsToMillisecondsAndHandlesNegativeValues)
{
    const double msPerDay = 86400000.0;
    ASSERT_EQ(1.5 / msPerDay * msPerDay, 1.5); // rows 3 and 4 need exact ties
    ASSERT_EQ(2.5 / msPerDay * msPerDay, 2.5);
    struct Row {
        int No;
        double Value;
        const char* Date;
        const char* Time;
    };
    // Rows 3-4: ties go to the even millisecond. Rows 5-6: the rounding may
    // carry into the next day. Rows 7-9: before 1899-12-30 the whole part
    // counts back and the fraction is the time of day whatever its sign.
    const Row rows[] = {
        {1, 1 / msPerDay, "1899-12-30", "0:0:0.1"},
        {2, 0.5, "1899-12-30", "12:0:0.0"},
        {3, 1.5 / msPerDay, "1899-12-30", "0:0:0.2"},
        {4, 2.5 / msPerDay, "1899-12-30", "0:0:0.2"},
        {5, 1 - 0.4 / msPerDay, "1899-12-31", "0:0:0.0"},
        {6, 36526 - 0.6 / msPerDay, "1999-12-31", "23:59:59.999"},
        {7, -1.25, "1899-12-29", "6:0:0.0"},
        {8, -0.25, "1899-12-30", "6:0:0.0"},
        {9, -693593.75, "1-1-1", "18:0:0.0"},
        {10, -693594, "0-0-0", "0:0:0.0"}, // before year 1 there is no date
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(Ymd(r.Value), r.Date);
        EXPECT_EQ(Hmsz(r.Value), r.Time);
    }
}

TEST_F(DateTimeTest, DayOfWeekAndValuesWithoutADate)
{
    EXPECT_EQ(DayOfWeek(EncodeDate(2000, 1, 1)), 7);
    EXPECT_EQ(DayOfWeek(0), 7);
    EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);
    // Before year 1 the day index still runs 1..7: a Sunday, then a Saturday.
    EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1) - 1), 1);
    EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1) - 2), 7);
    EXPECT_EQ(FormatDateTime("ddd dd mmm", -693594), "Sun 00 ");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(Hmsz(nan), EInvalidOp);
    EXPECT_THROW(Ymd(std::numeric_limits<double>::infinity()), EInvalidOp);
    EXPECT_THROW(DayOfWeek(1e10), EOverflow); // beyond any day number
    EXPECT_EQ(FormatDateTime("'none'", nan), "none");
}

TEST_F(DateTimeTest, FormatDateTimeCodes)
{
    // Expected texts agree with Free Pascal's FormatDateTime under the same
    // settings, except row 33 where it upper-cases the unknown letter.
    struct Row {
        int No;
        const char* Format;
        const char* Expected;
    };
    const Row rows[] = {
        {1, "d", "5"},
        {2, "dd", "05"},
        {3, "ddd", "Tue"},
        {4, "dddd", "Tuesday"},
        {5, "ddddd", "05/03/2024"},
        {6, "dddddd", "Tuesday, 5 March 2024"},
        {7, "m", "3"},
        {8, "mm", "03"},
        {9, "mmm", "Mar"},
        {10, "mmmm", "March"},
        {11, "y", "24"},
        {12, "yy", "24"},
        {13, "yyy", "2024"},
        {14, "yyyy", "2024"},
        {15, "h:n:s", "14:7:9"},
        {16, "hh:nn:ss", "14:07:09"},
        {17, "z", "45"},
        {18, "zzz", "045"},
        {19, "t", "14:07"},
        {20, "tt", "14:07:09"},
        {21, "hh:mm", "14:07"},             // m after h is minutes
        {22, "hh:mm:ss mm", "14:07:09 03"}, // but not after s
        {23, "HH:MM", "14:07"},
        {24, "hh:nn am/pm", "02:07 pm"},
        {25, "hh:nn AM/PM", "02:07 PM"},
        {26, "h a/p", "2 p"},
        {27, "h:nn ampm", "2:07 PM"},
        {28, "am/pm hh", "pm 02"},
        {29, "h \"a\" am/pm", "2 a pm"},
        {30, "'Day' d", "Day 5"},
        {31, "\"at\" hh", "at 14"},
        {32, "'abc", "abc"},
        {33, "hh x mm", "14 x 03"},
        {34, "c", "05/03/2024 14:07:09"},
        {35, "", "05/03/2024 14:07:09"},
        {36, "mm/dd/yy", "03/05/24"},
        {37, "dd/mm/yy", "05/03/24"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(FormatDateTime(r.Format, SampleValue()), r.Expected);
    }
}

TEST_F(DateTimeTest, TwelveHourClockAndSeparators)
{
    struct Row {
        int No, Hour, Min;
        const char* Format;
        const char* Expected;
    };
    const Row rows[] = {
        {1, 0, 30, "hh:nn ampm", "12:30 AM"},
        {2, 12, 0, "h:nn am/pm", "12:00 pm"},
        {3, 23, 59, "h A/P", "11 P"},
        {4, 11, 0, "h A/P", "11 A"},
        {5, 0, 5, "h:nn", "0:05"},
        {6, 13, 0, "h 'am/pm' h", "13 am/pm 13"}, // quoted text is no am/pm code
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        EXPECT_EQ(FormatDateTime(r.Format, EncodeTime(r.Hour, r.Min, 0, 0)), r.Expected);
    }

    TDateFormatSettings& s = DateFormatSettings();
    s.DateSeparator = QLatin1Char('-');
    s.TimeSeparator = QLatin1Char('.');
    EXPECT_EQ(FormatDateTime("c", SampleValue()), "05-03-2024 14.07.09");
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06.00");
    // Formats that name themselves stop one level down.
    s.ShortDateFormat = "c";
    s.LongTimeFormat = "tt";
    EXPECT_EQ(FormatDateTime("c", SampleValue()), "  ");
}

TEST_F(DateTimeTest, DateAndTimeToText)
{
    EXPECT_EQ(DateTimeToStr(SampleValue()), "05/03/2024 14:07:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5)), "05/03/2024");
    EXPECT_EQ(DateTimeToStr(EncodeTime(0, 0, 0, 1)), "30/12/1899 00:00:00"); // a millisecond is a time
    EXPECT_EQ(DateToStr(SampleValue()), "05/03/2024");
    EXPECT_EQ(TimeToStr(SampleValue()), "14:07:09");

    // The clock reads local time: today's date, and a time of day within it.
    const QDate today = QDate::currentDate();
    EXPECT_EQ(Ymd(Date()), QString("%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day()));
    EXPECT_EQ(std::floor(Now()), Date());
    EXPECT_TRUE(Time() >= 0 && Time() < 1);
}

TEST_F(DateTimeTest, StrToDateFollowsTheShortDateOrder)
{
    const int year = QDate::currentDate().year();
    const QString thisYear = QString::number(year);
    struct Row {
        int No;
        const char* Format;
        const char* Text;
        QString Expected; // empty: not a date
    };
    const Row rows[] = {
        {1, "dd/mm/yyyy", "05/03/2024", "2024-3-5"},
        {2, "mm/dd/yyyy", "03/05/2024", "2024-3-5"},
        {3, "yyyy/mm/dd", "2024/03/05", "2024-3-5"},
        {4, "dd/mm/yyyy", " 5 / 3 / 2024 ", "2024-3-5"},
        {5, "dd/mm/yyyy", "5/3/2024/", "2024-3-5"},
        {6, "dd/mm/yyyy", "5/3", thisYear + "-3-5"},
        {7, "mm/dd/yyyy", "3/5", thisYear + "-3-5"},
        {8, "yyyy/mm/dd", "3/5", thisYear + "-3-5"},
        {9, "dd/mm/yyyy", "29/02/2000", "2000-2-29"},
        {10, "dd/mm/yyyy", "29/02/1900", ""},
        {11, "mm/dd/yyyy", "13/01/2024", ""},
        {12, "dd/mm/yyyy", "5-3-2024", ""},
        {13, "dd/mm/yyyy", "5/3/2024x", ""},
        {14, "dd/mm/yyyy", "", ""},
        {15, "dd/mm/yyyy", "5/3/024", "24-3-5"},        // three digits are a full year
        {16, "dd/mm/yyyy", "5/3/02024", "2024-3-5"},    // digits are read up to 1000
        {17, "dd/mm/yyyy", "5/3/20245", ""},            // ... and the rest is left over
        {18, "dd/mm/yyyy", "\xd9\xa5/3/2024", ""},      // only ASCII digits
        {19, "dd/mm/yyyy", "5/3/2024999999999999", ""}, // a long run of digits stops early
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        DateFormatSettings().ShortDateFormat = r.Format;
        TDateTime value = -7;
        const bool ok = TryStrToDate(QString::fromUtf8(r.Text), value);
        EXPECT_EQ(ok ? Ymd(value) : QString(), r.Expected);
        EXPECT_EQ(StrToDateDef(QString::fromUtf8(r.Text), -7), value);
    }
    DateFormatSettings().ShortDateFormat = "dd/mm/yyyy";
    EXPECT_EQ(ConvertErrorOf([] { StrToDate("31/02/2024"); }), "'31/02/2024' is not a valid date");
}

TEST_F(DateTimeTest, TwoDigitYearsFallInTheCenturyWindow)
{
    // A one- or two-digit year is the one with those last digits in the 100
    // years from 50 years before the current year.
    const int base = QDate::currentDate().year() - 50;
    for (int yy = 0; yy < 100; ++yy) {
        int expected = base - base % 100 + yy;
        if (expected < base)
            expected += 100;
        const TDateTime value = StrToDate(QString("1/1/%1").arg(yy));
        EXPECT_EQ(Ymd(value), QString("%1-1-1").arg(expected)) << yy;
    }
    DateFormatSettings().ShortDateFormat = "yy/mm/dd";
    EXPECT_EQ(Ymd(StrToDate("24/03/05")), (base <= 2024 && 2024 < base + 100) ? "2024-3-5" : "2124-3-5");
}

TEST_F(DateTimeTest, StrToTimeReadsClockTimes)
{
    struct Row {
        int No;
        const char* Text;
        const char* Expected; // empty: not a time
    };
    const Row rows[] = {
        {1, "14:07", "14:7:0.0"},
        {2, "14:07:09", "14:7:9.0"},
        {3, "14:07:09.045", "14:7:9.45"},
        {4, "14:07:09.5", "14:7:9.5"}, // the digits are milliseconds as they stand
        {5, "14", "14:0:0.0"},
        {6, "  14 : 07  ", "14:7:0.0"},
        {7, "2:07 PM", "14:7:0.0"},
        {8, "2:07 pm", "14:7:0.0"},
        {9, "PM 2:07", "14:7:0.0"},
        {10, "12:00 AM", "0:0:0.0"},
        {11, "12:00 PM", "12:0:0.0"},
        {12, "0:30 AM", ""},
        {13, "13:00 PM", ""},
        {14, "24:00", ""},
        {15, "10:60", ""},
        {16, "14:", ""},
        {17, "14:07 x", ""},
        {18, "", ""},
        {19, "9:00 vorm.", "9:0:0.0"},
        {20, "9:00 nachm.", "21:0:0.0"},
    };
    DateFormatSettings().TimeAMString = "vorm.";
    DateFormatSettings().TimePMString = "nachm.";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        TDateTime value = 0;
        const bool ok = TryStrToTime(r.Text, value);
        EXPECT_EQ(ok ? Hmsz(value) : QString(), r.Expected);
    }
    EXPECT_EQ(StrToTimeDef("25:00", 0.75), 0.75);
    EXPECT_EQ(ConvertErrorOf([] { StrToTime("25:00"); }), "'25:00' is not a valid time");
}

TEST_F(DateTimeTest, StrToDateTimeCombinesDateAndTime)
{
    EXPECT_EQ(StrToDateTime("05/03/2024 14:07:09"), 45356 + EncodeTime(14, 7, 9, 0));
    EXPECT_EQ(StrToDateTime("05/03/2024"), 45356);
    EXPECT_EQ(StrToDateTime("05/03/2024 2:07 PM"), 45356 + EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(StrToDateTime("14:07"), EncodeTime(14, 7, 0, 0));
    const TDateTime old = StrToDateTime("01/01/1800 18:00");
    EXPECT_EQ(Ymd(old) + " " + Hmsz(old), "1800-1-1 18:0:0.0");
    EXPECT_EQ(StrToDateTimeDef("05/03/2024 14:07 junk", -1), -1);
    EXPECT_EQ(ConvertErrorOf([] { StrToDateTime("05/03/2024 25:00"); }),
              "'05/03/2024 25:00' is not a valid date and time");
}

TEST_F(DateTimeTest, SettingsFromLocalePatterns)
{
    // Expected formats are Qt 6.4's locale patterns (printed by
    // QLocale::dateFormat/timeFormat) rewritten by hand into our codes.
    struct Row {
        int No;
        const char* Locale;
        char DateSep, TimeSep;
        const char* ShortDate;
        const char* LongDate;
        const char* ShortTime;
        const char* LongTime;
    };
    const Row rows[] = {
        {1, "en_US", '/', ':', "m/d/yy", "dddd, mmmm d, yyyy", "h:nn ampm", "h:nn:ss ampm"},
        {2, "de_DE", '.', ':', "dd/mm/yy", "dddd, d/ mmmm yyyy", "hh:nn", "hh:nn:ss"},
        {3, "fi_FI", '.', '.', "d/m/yyyy", "dddd d/ mmmm yyyy", "h:nn", "h:nn:ss"},
        {4, "pt_BR", '/', ':', "dd/mm/yyyy", "dddd, d\" de \"mmmm\" de \"yyyy", "hh:nn", "hh:nn:ss"},
        {5, "zh_CN", '/', ':', "yyyy/m/d", "yyyy\u5e74m\u6708d\u65e5dddd", "hh:nn", "hh:nn:ss"},
        {6, "C", '/', ':', "d mmm yyyy", "dddd, d mmmm yyyy", "hh:nn:ss", "hh:nn:ss"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.No);
        const TDateFormatSettings s = DateFormatSettingsFromLocale(QLocale(r.Locale));
        EXPECT_EQ(s.DateSeparator, QLatin1Char(r.DateSep));
        EXPECT_EQ(s.TimeSeparator, QLatin1Char(r.TimeSep));
        EXPECT_EQ(s.ShortDateFormat, r.ShortDate);
        EXPECT_EQ(s.LongDateFormat, r.LongDate);
        EXPECT_EQ(s.ShortTimeFormat, r.ShortTime);
        EXPECT_EQ(s.LongTimeFormat, r.LongTime);
    }
    const TDateFormatSettings us = DateFormatSettingsFromLocale(QLocale("en_US"));
    EXPECT_EQ(us.LongDayNames.value(0), "Sunday");
    EXPECT_EQ(us.ShortDayNames.value(6), "Sat");
    EXPECT_EQ(us.ShortMonthNames.value(2), "Mar");
}

TEST_F(DateTimeTest, LocaleTextReadsBack)
{
    // What DateTimeToStr writes in a locale, StrToDateTime reads back.
    const TDateTime value = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0);
    for (const char* name : {"en_US", "de_DE", "fi_FI", "hu_HU", "pt_BR", "zh_CN"}) {
        SCOPED_TRACE(name);
        DateFormatSettings() = DateFormatSettingsFromLocale(QLocale(name));
        const QString text = DateTimeToStr(value);
        TDateTime back = 0;
        EXPECT_TRUE(TryStrToDateTime(text, back)) << text.toStdString();
        EXPECT_EQ(back, value) << text.toStdString();
    }
}

TEST_F(DateTimeTest, FuzzedTextNeverCrashesTheParsersOrTheFormatter)
{
    const auto target = [](const QByteArray& bytes) {
        const QString text = QString::fromUtf8(bytes);
        FormatDateTime(text, SampleValue());
        StrToDateTime(text);
    };
    RunFuzzLoop(target, {"05/03/2024 14:07:09.045 PM", "2:07 am", "ddddd hh:mm am/pm 'x' \"y\" c tt zzz"},
                2.0);
}
