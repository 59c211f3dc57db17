#pragma once
// Dates and times as the runtime keeps them: a double counting days since
// 1899-12-30, the fraction being the time of day.
#include <QString>
#include <QStringList>

#include <cstdint>

class QLocale;

using TDateTime = double;

// Date and time text settings; the defaults come from the system locale, and
// tests set them. Month and day names have 12 and 7 entries (Sunday first).
struct TDateFormatSettings {
    QChar DateSeparator;
    QChar TimeSeparator;
    QString ShortDateFormat;
    QString LongDateFormat;
    QString ShortTimeFormat;
    QString LongTimeFormat;
    QString TimeAMString;
    QString TimePMString;
    QStringList ShortMonthNames;
    QStringList LongMonthNames;
    QStringList ShortDayNames;
    QStringList LongDayNames;
};
TDateFormatSettings& DateFormatSettings();
void ResetDateFormatSettings(); // back to the system locale
// The settings a locale gives, its Qt date and time patterns rewritten in
// the codes of FormatDateTime (the system locale's are the defaults).
TDateFormatSettings DateFormatSettingsFromLocale(const QLocale& locale);

// Raises EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
TDateTime Now();
TDateTime Date();
TDateTime Time();
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);
bool IsLeapYear(int year);

// Codes: c d dd ddd dddd ddddd dddddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz
// t tt am/pm a/p ampm / : and quoted literals.
QString FormatDateTime(const QString& format, TDateTime value);
QString DateTimeToStr(TDateTime value);
QString DateToStr(TDateTime value);
QString TimeToStr(TDateTime value);

// Parse by the order of ShortDateFormat and the separators; EConvertError
// "'<text>' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(const QString& text);
TDateTime StrToTime(const QString& text);
TDateTime StrToDateTime(const QString& text);
TDateTime StrToDateDef(const QString& text, TDateTime def);
TDateTime StrToTimeDef(const QString& text, TDateTime def);
TDateTime StrToDateTimeDef(const QString& text, TDateTime def);
bool TryStrToDate(const QString& text, TDateTime& value);
bool TryStrToTime(const QString& text, TDateTime& value);
bool TryStrToDateTime(const QString& text, TDateTime& value);
