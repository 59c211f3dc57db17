#include "platform/rtl/Extended80.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

constexpr int kDoubleBias = 1023;
constexpr int kExtendedBias = 16383;
constexpr uint64_t kIntegerBit = uint64_t(1) << 63;
constexpr uint64_t kDoubleFractionMask = (uint64_t(1) << 52) - 1;
constexpr uint64_t kDoubleQuietBit = uint64_t(1) << 51;
// What the x87 stores for an invalid operand converted to double: the negative
// quiet NaN it calls "indefinite".
constexpr uint64_t kDoubleIndefinite = 0xFFF8000000000000;

TExtended80Rec Pack(bool negative, int biasedExponent, uint64_t mantissa);
uint64_t RoundToDouble(uint64_t mantissa, int exponent);

} // namespace

TExtended80Rec DoubleToExtended(double value)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int exponent = int((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & kDoubleFractionMask;

    if (exponent == 0x7FF) // infinity or NaN: the payload's top bits carry over
        return Pack(negative, 0x7FFF, kIntegerBit | (fraction << 11));
    if (exponent == 0) {
        if (fraction == 0)
            return Pack(negative, 0, 0);
        // A double denormal is fraction * 2^-1074; the extended range holds it
        // as a normal number, so shift the leading 1 up to the integer bit.
        const int width = int(std::bit_width(fraction)); // 1..52
        return Pack(negative, kExtendedBias + (width - 1) - 1074, fraction << (64 - width));
    }
    return Pack(negative, exponent - kDoubleBias + kExtendedBias, kIntegerBit | (fraction << 11));
}

double ExtendedToDouble(const TExtended80Rec& bytes)
{
    return ExtendedToDouble(bytes.data());
}

double ExtendedToDouble(const uint8_t* bytes)
{
    uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i)
        mantissa = (mantissa << 8) | bytes[i];
    const unsigned signExponent = unsigned(bytes[8]) | (unsigned(bytes[9]) << 8);
    const uint64_t sign = uint64_t(signExponent >> 15) << 63;
    const int exponent = int(signExponent & 0x7FFF);

    if (exponent == 0) {
        // Zero, denormal or pseudo-denormal: all below 2^-16382, far under
        // half the smallest double denormal.
        return std::bit_cast<double>(sign);
    }
    // The integer bit must be set in every other encoding; the x87 treats an
    // unnormal, pseudo-infinity or pseudo-NaN as an invalid operand.
    if ((mantissa & kIntegerBit) == 0)
        return std::bit_cast<double>(kDoubleIndefinite);
    if (exponent == 0x7FFF) {
        if ((mantissa << 1) == 0)
            return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
        // NaN: keep the top of the payload and make it quiet, as the x87 does
        // when it stores a signalling NaN.
        const uint64_t fraction = ((mantissa >> 11) & kDoubleFractionMask) | kDoubleQuietBit;
        return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52) | fraction);
    }
    return std::bit_cast<double>(sign | RoundToDouble(mantissa, exponent - kExtendedBias));
}

namespace {

TExtended80Rec Pack(bool negative, int biasedExponent, uint64_t mantissa)
{
    TExtended80Rec rec{};
    for (int i = 0; i < 8; ++i)
        rec[size_t(i)] = uint8_t(mantissa >> (8 * i));
    const unsigned signExponent = (negative ? 0x8000u : 0u) | unsigned(biasedExponent);
    rec[8] = uint8_t(signExponent);
    rec[9] = uint8_t(signExponent >> 8);
    return rec;
}

// The bits of the double nearest to mantissa * 2^(exponent - 63), ties to
// even, without the sign. mantissa has its top bit set.
uint64_t RoundToDouble(uint64_t mantissa, int exponent)
{
    constexpr uint64_t kInfinity = uint64_t(0x7FF) << 52;
    if (exponent > kDoubleBias)
        return kInfinity;
    // Bits of the mantissa the double keeps: 53 for a normal result, fewer
    // the deeper a result lies in the denormal range.
    const int kept = exponent >= 1 - kDoubleBias ? 53 : 53 - (1 - kDoubleBias - exponent);
    if (kept < 0)
        return 0;                  // below half the smallest denormal
    const int dropped = 64 - kept; // 11..64
    uint64_t quotient = dropped == 64 ? 0 : mantissa >> dropped;
    const uint64_t remainder = dropped == 64 ? mantissa : mantissa & ((uint64_t(1) << dropped) - 1);
    const uint64_t half = uint64_t(1) << (dropped - 1);
    if (remainder > half || (remainder == half && (quotient & 1) != 0))
        ++quotient;

    if (kept < 53) {
        // Denormal; a carry out of the fraction lands exactly on the smallest
        // normal, whose bits are 1 << 52.
        return quotient;
    }
    int biased = exponent + kDoubleBias;
    if (quotient == (uint64_t(1) << 53)) {
        quotient >>= 1;
        ++biased;
    }
    if (biased >= 0x7FF)
        return kInfinity;
    return (uint64_t(biased) << 52) | (quotient & kDoubleFractionMask);
}

} // namespace

TExtended80Rec LongDoubleToExtended(long double value)
{
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        // The quiet bit and a payload one below it keep a NaN recognisable.
        return Pack(negative, 0x7FFF, kIntegerBit | (uint64_t(1) << 62));
    }
    if (std::isinf(value))
        return Pack(negative, 0x7FFF, kIntegerBit);
    if (value == 0)
        return Pack(negative, 0, 0);
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
    // value = fraction * 2^exponent = mantissa * 2^(exponent - 64).
    int biased = exponent - 1 + kExtendedBias;
    if (biased >= 1) {
        const uint64_t mantissa = uint64_t(std::ldexp(fraction, 64));
        return Pack(negative, biased, mantissa);
    }
    // A denormal: the exponent field is 0 and the scale is 2^(-16382 - 63).
    const uint64_t mantissa = uint64_t(std::ldexp(std::fabs(value), 16382 + 63));
    return Pack(negative, 0, mantissa);
}

long double ExtendedToLongDouble(const uint8_t* bytes)
{
    uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i)
        mantissa = (mantissa << 8) | bytes[i];
    const unsigned signExponent = unsigned(bytes[8]) | (unsigned(bytes[9]) << 8);
    const bool negative = (signExponent >> 15) != 0;
    const int exponent = int(signExponent & 0x7FFF);
    long double value = 0;
    if (exponent == 0) {
        value = std::ldexp(static_cast<long double>(mantissa), -16382 - 63);
    } else if ((mantissa & kIntegerBit) == 0) {
        return std::numeric_limits<long double>::quiet_NaN();
    } else if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? std::numeric_limits<long double>::infinity()
                                     : std::numeric_limits<long double>::quiet_NaN();
    } else {
        value = std::ldexp(static_cast<long double>(mantissa), exponent - kExtendedBias - 63);
    }
    return negative ? -value : value;
}
