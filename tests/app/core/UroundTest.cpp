#include "app/core/Uround.h"
#include "app/core/Unan.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(UroundTest, RoundsHalfUpToThreeDecimals)
{
    EXPECT_EQ(RoundTo3Decimals(2.0006), 2.001);
    EXPECT_EQ(RoundTo3Decimals(2.0004), 2.0);
    EXPECT_EQ(RoundTo3Decimals(2.0005), 2.001);
    EXPECT_EQ(RoundTo3Decimals(-2.0004), -2.0);
    EXPECT_EQ(RoundTo3Decimals(-2.0006), -2.001);
}

// Every value that already has three decimals comes back as the double
// nearest to it. With a double 0.001 as the last factor many do not
// (3 * 0.001 is 0.0030000000000000001 and so on), which is why the factor is
// an extended-precision one.
TEST(UroundTest, ThreeDecimalValuesAreFixedPoints)
{
    int wrong = 0;
    for (int k = -200000; k <= 200000; ++k) {
        const double x = k / 1000.0;
        if (RoundTo3Decimals(x) != x)
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(UroundTest, NonFiniteValuesPassThrough)
{
    EXPECT_TRUE(IsNan(RoundTo3Decimals(NanValue())));
    EXPECT_EQ(RoundTo3Decimals(INFINITY), INFINITY);
}

} // namespace
