#pragma once
// Text routines of the localization library: searching, splitting, trimming,
// wildcard matching, hexadecimal and forgiving number conversion, and path
// joining. Positions are 1-based; 0 means "not found". "Ansi" texts are byte
// strings (QByteArray); the others are wide texts (QString).
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <vector>

class TStringList;

RTL_EXCEPTION_CLASS(EKStringsError, Exception);

// Position of the first subStr in s; 0 when absent or either text is empty.
int PosStr(const QString& subStr, const QString& s);
// PosStr after lower-casing both texts (every code unit on its own, so the
// positions stay those of the original texts).
int PosText(const QString& subStr, const QString& s);
// Position of the occurrence-th occurrence of subStr at or after startPos
// (startPos and occurrence below 1 count as 1); 0 when startPos is beyond s,
// either text is empty or there are fewer occurrences.
int PosEx(const QString& subStr, const QString& s, int startPos = 1, int occurrence = 1);

// The part of s before the first delim, trimmed of blanks; s unchanged when
// delim does not occur.
QString TextBefore(const QString& delim, const QString& s);
// left = the part before the first delim, right = the part after it; without
// delim, left = s and right keeps its value.
void SplitAt(QChar delim, const QString& s, QString& left, QString& right);
// Appends s to result with every oldText replaced by newText, left to right,
// without rescanning replaced text. An empty oldText replaces nothing.
void ReplaceAll(const QString& s, const QString& oldText, const QString& newText, QString& result);

// True for tab, line feed, carriage return and space.
bool IsSpaceChar(char16_t ch);
QByteArray TrimSpacesA(const QByteArray& s);
// True when s is not empty and holds the digits 0 to 9 only.
bool IsNumber(const QString& s);
// True when s holds a letter A-Z or a-z, or a byte above 127.
bool HasLetterA(const QByteArray& s);
// True when s holds a letter A-Z or a-z, or a character of code 127 or more.
bool HasLetter(const QString& s);

// The trimmed text as a number; 0 when it is empty or not a number. Never
// raise. Floats are read with "." whatever the locale (a leading "+" is
// allowed), so language data reads the same everywhere.
int StrToIntSafe(const QString& s);
double StrToFloatSafe(const QString& s);

// 0-15 for a hexadecimal digit; raises EKStringsError "<ch> is not a hex
// digit" for any other character.
int HexDigitValue(QChar ch);
// The hexadecimal text as a 32-bit number, wrapping past 32 bits; 0 for an
// empty text.
int32_t HexToInt(const QString& s);

// path + "/" + name, without doubling the separator: plain concatenation
// when either is empty, path ends with "/" or name begins with "/".
QString IncludePath(const QString& path, const QString& name);
// a + "." + b when both are non-empty, else the non-empty one.
QString JoinDotted(const QString& a, const QString& b);

// Index of the first string equal to s, ignoring the case of ASCII letters;
// -1 when none.
int IndexOfText(const TStringList& strings, const QString& s);
// True when s equals one of items, ignoring case as the user's locale does.
bool MatchTextInArray(const QByteArray& s, const std::vector<QByteArray>& items);

// Case-sensitive mask matching: "*" matches any run of characters, "?"
// exactly one (a trailing "?" may also match nothing). A "*" directly
// followed by another wildcard never matches.
bool WildcardMatch(const QString& s, const QString& mask);
// WildcardMatch, both texts lower-cased first unless caseSensitive.
bool MatchesMask(const QString& s, const QString& mask, bool caseSensitive);
