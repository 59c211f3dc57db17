#pragma once
// The runtime's plain string routines. Case folding of the "Ansi" routines
// follows Unicode; the others touch only the ASCII letters, as the runtime's
// do.
#include <QString>

QString Trim(const QString& s);      // removes characters <= ' ' at both ends
QString TrimLeft(const QString& s);
QString TrimRight(const QString& s);
QString UpperCase(const QString& s); // a-z only
QString LowerCase(const QString& s); // A-Z only
QString AnsiUpperCase(const QString& s);
QString AnsiLowerCase(const QString& s);

// <0, 0, >0. CompareText folds the ASCII letters only; CompareStr compares
// code units. The Ansi forms compare linguistically, as the user's locale
// orders text (AnsiCompareText ignoring case).
int CompareText(const QString& a, const QString& b);
int CompareStr(const QString& a, const QString& b);
bool SameText(const QString& a, const QString& b);
int AnsiCompareText(const QString& a, const QString& b);
int AnsiCompareStr(const QString& a, const QString& b);
bool AnsiSameText(const QString& a, const QString& b);

// Quotes s with quote, doubling every quote inside; AnsiDequotedStr undoes it
// (text not starting with quote is returned unchanged).
QString AnsiQuotedStr(const QString& s, QChar quote);
QString AnsiDequotedStr(const QString& s, QChar quote);

// Text read from a file, made fit to quote in a message: every control
// character (NUL included), DEL, a C1 control, a lone surrogate and the
// non-characters U+FFFE and U+FFFF show as "\xHH" or "\uHHHH", so a message
// handled as a C string is never cut short and the user sees what the file
// holds.
QString VisibleText(const QString& s);
