#include "platform/rtl/Extended80.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TExtended80Rec Rec(uint64_t mantissa, uint16_t signExponent)
{
    TExtended80Rec rec{};
    for (int i = 0; i < 8; ++i)
        rec[size_t(i)] = uint8_t(mantissa >> (8 * i));
    rec[8] = uint8_t(signExponent);
    rec[9] = uint8_t(signExponent >> 8);
    return rec;
}

uint64_t Bits(double d)
{
    return std::bit_cast<uint64_t>(d);
}

} // namespace

TEST(Extended80, EncodesExactBytes)
{
    // Expected bytes: the x87 layout, little-endian 64-bit mantissa with the
    // integer bit, then sign and the exponent biased by 16383.
    struct Row {
        int No;
        double Value;
        TExtended80Rec Bytes;
    };
    const Row rows[] = {
        {1, 1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
        {2, -2.5, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
        {3, 0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {4, -0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
        {5, kInf, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
        {6, -kInf, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}},
        // The default quiet NaN: quiet bit under the integer bit.
        {7, std::numeric_limits<double>::quiet_NaN(), {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}},
        // 2^-1074, a double denormal, is a normal extended: exponent
        // 16383 - 1074 = 0x3BCD.
        {8, std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},
        // (2 - 2^-52) * 2^1023: 53 mantissa ones, exponent 16383 + 1023.
        {9, DBL_MAX, {0, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x43}},
        // 3 * 2^-1074: the denormal's two bits move up to the top.
        {10, 3 * std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xCE, 0x3B}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DoubleToExtended(row.Value), row.Bytes) << "row " << row.No;
        EXPECT_EQ(Bits(ExtendedToDouble(row.Bytes)), Bits(row.Value)) << "row " << row.No;
    }
}

TEST(Extended80, RoundTripsEveryKindOfDouble)
{
    const double values[] = {DBL_MIN, std::nextafter(DBL_MIN, 0.0), -DBL_MAX, 0.1,
                             // NaNs with payloads
                             std::bit_cast<double>(uint64_t(0x7FF8000000000001)),
                             std::bit_cast<double>(uint64_t(0xFFFC000000000000))};
    for (double value : values)
        EXPECT_EQ(Bits(ExtendedToDouble(DoubleToExtended(value))), Bits(value)) << value;
}

TEST(Extended80, DecodesToTheNearestDouble)
{
    // Expected bits: the 64-bit mantissa rounded to the double's 53 bits (or
    // fewer in the denormal range), ties to even, as the x87 stores a double.
    struct Row {
        int No;
        uint64_t Mantissa;
        uint16_t SignExponent;
        uint64_t Expected;
    };
    const Row rows[] = {
        // 1 + 2^-53 is a tie: the even 1.0 wins.
        {1, 0x8000000000000400, 0x3FFF, 0x3FF0000000000000},
        // 1 + 3 * 2^-53 is a tie: the even 1 + 2^-51 wins.
        {2, 0x8000000000000C00, 0x3FFF, 0x3FF0000000000002},
        // Just above and just below the tie.
        {3, 0x8000000000000401, 0x3FFF, 0x3FF0000000000001},
        {4, 0x80000000000003FF, 0xBFFF, 0xBFF0000000000000},
        // All ones round up into the next binade: 2.0.
        {5, 0xFFFFFFFFFFFFFC00, 0x3FFF, 0x4000000000000000},
        // The largest double, and the same plus less than half an ulp.
        {6, 0xFFFFFFFFFFFFF800, 0x43FE, 0x7FEFFFFFFFFFFFFF},
        {7, 0xFFFFFFFFFFFFFBFF, 0x43FE, 0x7FEFFFFFFFFFFFFF},
        // Half an ulp above the largest double rounds to infinity.
        {8, 0xFFFFFFFFFFFFFC00, 0x43FE, 0x7FF0000000000000},
        // 2^1024, one past the double range, and the largest extended.
        {9, 0x8000000000000000, 0x43FF, 0x7FF0000000000000},
        {10, 0xFFFFFFFFFFFFFFFF, 0xFFFE, 0xFFF0000000000000},
        // 2^-1075 is half the smallest denormal: a tie, and 0 is even.
        {11, 0x8000000000000000, 0x3BCC, 0x0000000000000000},
        // A little above it rounds up to the smallest denormal.
        {12, 0x8000000000000001, 0x3BCC, 0x0000000000000001},
        // 1.5 * 2^-1074 ties between 1 and 2 denormal steps: 2.
        {13, 0xC000000000000000, 0x3BCD, 0x0000000000000002},
        // 2.5 * 2^-1074 ties between 2 and 3: 2.
        {14, 0xA000000000000000, 0x3BCE, 0x0000000000000002},
        // 0.75 * 2^-1074 rounds up; 0.375 * 2^-1074 rounds to 0.
        {15, 0xC000000000000000, 0x3BCC, 0x0000000000000001},
        {16, 0xC000000000000000, 0xBBCB, 0x8000000000000000},
        // (2^52 - 0.5) * 2^-1074 ties between the largest denormal (odd) and
        // the smallest normal (even).
        {17, 0xFFFFFFFFFFFFF800, 0x3C00, 0x0010000000000000},
        // The smallest extended normal, an extended denormal and a
        // pseudo-denormal all lie far below the double range.
        {18, 0x8000000000000000, 0x0001, 0x0000000000000000},
        {19, 0x0000000000000001, 0x8000, 0x8000000000000000},
        {20, 0x8000000000000000, 0x0000, 0x0000000000000000},
        // Unnormal, pseudo-infinity and pseudo-NaN (integer bit clear) are
        // invalid operands: the x87 stores its negative quiet NaN.
        {21, 0x4000000000000000, 0x3FFF, 0xFFF8000000000000},
        {22, 0x0000000000000000, 0x3FFF, 0xFFF8000000000000},
        {23, 0x0000000000000000, 0x7FFF, 0xFFF8000000000000},
        {24, 0x4000000000000000, 0xFFFF, 0xFFF8000000000000},
        // A signalling NaN is stored quiet; a payload's top bits are kept.
        {25, 0x8000000000000001, 0x7FFF, 0x7FF8000000000000},
        {26, 0xC000000000000800, 0xFFFF, 0xFFF8000000000001},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Bits(ExtendedToDouble(Rec(row.Mantissa, row.SignExponent))), row.Expected)
            << "row " << row.No;
}

#if defined(__x86_64__) && LDBL_MANT_DIG == 64
// On x86-64 a long double is the x87 format itself, an oracle independent of
// the codec: its first 10 bytes are the record, and converting it to double
// rounds as the x87 does.
TEST(Extended80, AgreesWithTheX87)
{
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 5000; ++i) {
        double value = std::bit_cast<double>(random());
        if (std::isnan(value)) // loading a signalling NaN quiets it
            value = -0.25;
        const long double wide = value;
        TExtended80Rec expected{};
        std::memcpy(expected.data(), &wide, expected.size());
        ASSERT_EQ(DoubleToExtended(value), expected) << value;
    }
    for (int i = 0; i < 20000; ++i) {
        uint64_t mantissa = random();
        // Exponents around the double range and its edges, and any other.
        const uint64_t pick = random();
        uint16_t exponent = uint16_t(pick % 4 == 0 ? pick >> 16 : 16383 - 1100 + (pick >> 16) % 2200);
        exponent |= uint16_t(((pick >> 5) & 1) << 15);
        if (pick % 7 == 0) // exact ties and near-ties
            mantissa = (mantissa & ~uint64_t(0x7FF)) | (pick % 3 == 0 ? 0x400 : 0x3FF + (pick >> 8) % 3);
        if (pick % 11 == 0) // the integer bit clear
            mantissa &= ~(uint64_t(1) << 63);
        const TExtended80Rec rec = Rec(mantissa, exponent);
        long double wide = 0;
        std::memcpy(&wide, rec.data(), rec.size());
        const double expected = double(wide);
        ASSERT_EQ(Bits(ExtendedToDouble(rec)), Bits(expected))
            << std::hex << "mantissa " << mantissa << " sign/exponent " << exponent;
    }
}

// The long double pair keeps every finite value, infinity and zero bit for bit
// (a NaN stays a NaN).
TEST(Extended80, LongDoublePairIsBitExact)
{
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t pick = random();
        uint16_t exponent = uint16_t((pick >> 16) % 0x7FFF) | uint16_t(((pick >> 5) & 1) << 15);
        uint64_t mantissa = random() | (uint64_t(1) << 63);
        if (exponent % 0x8000 == 0) // zeros and denormals have no integer bit
            mantissa &= pick % 3 == 0 ? 0 : ~(uint64_t(1) << 63);
        const TExtended80Rec rec = Rec(mantissa, exponent);
        long double wide = 0;
        std::memcpy(&wide, rec.data(), rec.size());
        ASSERT_EQ(ExtendedToLongDouble(rec.data()), wide) << std::hex << mantissa << " " << exponent;
        ASSERT_EQ(LongDoubleToExtended(wide), rec) << std::hex << mantissa << " " << exponent;
    }
    const long double infinity = std::numeric_limits<long double>::infinity();
    EXPECT_EQ(LongDoubleToExtended(-infinity), Rec(uint64_t(1) << 63, 0xFFFF));
    EXPECT_TRUE(std::isnan(ExtendedToLongDouble(LongDoubleToExtended(std::nanl("")).data())));
    EXPECT_TRUE(std::signbit(ExtendedToLongDouble(LongDoubleToExtended(-0.0L).data())));
}
#endif
