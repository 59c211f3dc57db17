#include "app/core/Unan.h"
#include "platform/rtl/Exceptions.h"
#include "tests/app/core/CoreFixture.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using UnanTest = CoreTest;

TEST_F(UnanTest, EmptyValueIsOneExactNaN)
{
    EXPECT_TRUE(std::isnan(NanValue()));
    EXPECT_TRUE(IsNan(NanValue()));
    // Other NaNs are not empty: the sign-flipped one an invalid operation
    // gives on x86, and one with a payload.
    EXPECT_FALSE(IsNan(-NanValue()));
    EXPECT_FALSE(IsNan(std::bit_cast<double>(uint64_t(0x7FF8000000000001ull))));
    EXPECT_FALSE(IsNan(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(IsNan(0.0));
}

// Rows: text, locale separator, expected value. Source: both "." and ","
// stand for the locale's separator.
TEST_F(UnanTest, ParsesEitherSeparator)
{
    struct Row {
        int n;
        const char* text;
        char16_t separator;
        double value;
    };
    const Row rows[] = {
        {1, "1.5", u'.', 1.5},     {2, "1,5", u'.', 1.5},   {3, "1.5", u',', 1.5},    {4, "1,5", u',', 1.5},
        {5, "-0.25", u'.', -0.25}, {6, " 12 ", u'.', 12.0}, {7, "1e3", u'.', 1000.0},
    };
    for (const Row& row : rows) {
        SetDecimalSeparator(QChar(row.separator));
        double v = -1;
        EXPECT_TRUE(TryParseNumber(QString::fromLatin1(row.text), v)) << row.n;
        EXPECT_DOUBLE_EQ(v, row.value) << row.n;
        EXPECT_DOUBLE_EQ(ParseNumber(QString::fromLatin1(row.text)), row.value) << row.n;
        EXPECT_TRUE(TryParseNumberC(row.text, v)) << row.n;
        EXPECT_DOUBLE_EQ(v, row.value) << row.n;
    }
}

TEST_F(UnanTest, EmptyTextIsFalseOrZeroAndBadTextRaises)
{
    double v = 7;
    EXPECT_FALSE(TryParseNumber(QString(), v));
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(TryParseNumberC(nullptr, v));
    EXPECT_EQ(ParseNumber(QString()), 0.0);
    // Two separators stay two after the replacement; only the empty text is a
    // false result, the rest raises the conversion error.
    EXPECT_THROW(TryParseNumber(QStringLiteral("1.2,3"), v), EConvertError);
    EXPECT_THROW(ParseNumber(QStringLiteral("abc")), EConvertError);
    EXPECT_THROW(ParseNumber(QStringLiteral(" ")), EConvertError);
}

// Rows: whole, numerator, denominator, InchSizeText, FractionText of the
// fraction. Source: the inch size notation ("#5" numbered sizes, "1 1/4");
// a numbered size has no fraction part in a size text (row 4).
TEST_F(UnanTest, InchSizeTexts)
{
    struct Row {
        int n;
        int whole, numerator, denominator;
        const char* size;
        const char* fraction;
    };
    const Row rows[] = {
        {1, 1, 1, 4, "1 1/4", "1/4"}, {2, 0, 3, 8, "3/8", "3/8"}, {3, 2, 0, 0, "2 ", "#0"},
        {4, 0, 5, 0, "", "#5"},       {5, 0, 0, 16, "0", "0"},    {6, 0, 0, 0, "", "#0"},
        {7, 1, 0, 16, "1 0", "0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(InchSizeText(row.whole, row.numerator, row.denominator), QString::fromLatin1(row.size))
            << row.n;
        EXPECT_EQ(FractionText(row.numerator, row.denominator), QString::fromLatin1(row.fraction)) << row.n;
    }
}

} // namespace
