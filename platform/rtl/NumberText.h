#pragma once
// Number text as the runtime writes and reads it. The decimal separator is
// taken from one settable function (the system locale by default), so tests
// and users can rely on the same conversion everywhere; nothing here depends
// on the C locale.
#include <QChar>
#include <QString>

#include <cstdint>

QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator);
QChar ThousandSeparator();
void SetThousandSeparator(QChar separator);
// Back to the system locale's separators.
void ResetNumberSeparators();

// General format with 15 significant digits; exponent form ("1.5E-6",
// "1E15") when the value is below 0.0001 or its exponent above 14. NaN gives "NAN",
// infinities "INF" / "-INF".
QString FloatToStr(double value);
// Format sections separated by ";" (positive;negative;zero), digit
// placeholders "0" and "#", ".", "," (thousands), "E+", "E-", "e+", "e-",
// quoted literals '...' and "...". Rounds half away from zero on the decimal
// digits, as the runtime does (0.005 with "0.00" gives "0.01").
QString FormatFloat(const QString& format, double value);

// Leading and trailing blanks are allowed; the separator is DecimalSeparator()
// (ThousandSeparator is not accepted). Raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(const QString& text);
double StrToFloatDef(const QString& text, double def);
bool TryStrToFloat(const QString& text, double& value);

// Decimal with optional sign, or hexadecimal with "$" or "0x". Raises
// EConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString& text);
int StrToIntDef(const QString& text, int def);
bool TryStrToInt(const QString& text, int& value);
int64_t StrToInt64(const QString& text);
int64_t StrToInt64Def(const QString& text, int64_t def);
bool TryStrToInt64(const QString& text, int64_t& value);

QString IntToStr(int64_t value);
// Upper-case hexadecimal, at least digits digits.
QString IntToHex(int64_t value, int digits);

// The runtime's fixed-point money type: a 64-bit integer scaled by 10000.
struct Currency {
    int64_t Scaled = 0;
    static Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
    double ToDouble() const { return double(Scaled) / 10000.0; }
    static Currency FromDouble(double value); // rounds ties to even; EOverflow out of range
    friend bool operator==(Currency a, Currency b) { return a.Scaled == b.Scaled; }
};
// Up to four decimals, trailing zeros dropped ("1.5", "-0.0001", "12").
QString CurrToStr(Currency value);
Currency StrToCurr(const QString& text); // EConvertError on bad text or out of range
bool TryStrToCurr(const QString& text, Currency& value);
