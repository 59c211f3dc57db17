#pragma once
// The empty value of a length and the number text of typed values.
//
// A length that has no value holds the empty value, one fixed quiet NaN;
// IsNan recognises exactly its bit pattern (another NaN, such as one computed
// by an invalid operation, is not empty). It is shown as "".
//
// Typed numbers may use "." or "," as decimal separator, whatever the
// user's locale says.
#include <QString>

double NanValue();
bool IsNan(double value);

// value := 0; false for an empty text; otherwise every "." and "," becomes the
// decimal separator and the text is converted: a text that is not a number
// then raises EConvertError (only the empty text gives false). A text with
// two separators is not a number.
bool TryParseNumber(const QString& text, double& value);
bool TryParseNumberC(const char* text, double& value); // the text of a C string (null is empty)
// The same conversion without the error: false for an empty text and for
// one that is no number (a number being typed, "-" or "1e", included).
bool TryReadNumber(const QString& text, double& value);
// The same conversion for a number that must be there: an empty text is no
// number either and raises EConvertError.
double ReadNumber(const QString& text);
// The same conversion; an empty text gives 0.
double ParseNumber(const QString& text);

// "#5" for a numbered size (denominator 0), "0" for numerator 0, else "3/8".
QString FractionText(int numerator, int denominator);
// "1 1/4", "3/8", "2 " (whole part followed by a blank when it is not 0, then
// the fraction when the denominator is not 0).
QString InchSizeText(int whole, int numerator, int denominator);
