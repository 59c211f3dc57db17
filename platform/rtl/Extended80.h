#pragma once
// The 80-bit extended float of the x87 unit, as files store it: 10 bytes,
// little-endian, 64-bit mantissa with an explicit integer bit, 15-bit biased
// exponent and a sign bit (1.0 is 00 00 00 00 00 00 00 80 FF 3F).
//
// A portable codec between double and the 10 bytes: it never copies a
// long double's bytes, so it gives the same bytes on every compiler.
#include <array>
#include <cstdint>

using TExtended80Rec = std::array<uint8_t, 10>;

// Exact for every double, denormals, infinities and NaN (the sign and the top
// 52 mantissa bits of a NaN are kept).
TExtended80Rec DoubleToExtended(double value);
// Rounds the 64-bit mantissa to the nearest double (ties to even); values
// beyond the double range give ±infinity, below it ±0 or a denormal.
// Unnormal and pseudo-denormal encodings are read as the x87 reads them.
double ExtendedToDouble(const TExtended80Rec& bytes);
double ExtendedToDouble(const uint8_t* bytes);

// Bit-exact between long double and the 10 bytes where long double is the x87
// format (x86-64): zeros, denormals, infinities and NaN payloads are kept.
// Where long double is narrower, values round as the conversion to it does.
// Unnormal and pseudo encodings read as a quiet NaN, as the x87 treats them.
TExtended80Rec LongDoubleToExtended(long double value);
long double ExtendedToLongDouble(const uint8_t* bytes);
