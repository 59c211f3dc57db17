#include "platform/rtl/RtlMath.h"

#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();

enum class TFault { None, InvalidOp, ZeroDivide, Overflow, DivByZero, IntOverflow, Other };

// Runs f and names the fault it raised; checks the runtime's message of each.
TFault FaultOf(const std::function<void()>& f)
{
    try {
        f();
        return TFault::None;
    } catch (const EInvalidOp& e) {
        EXPECT_EQ(e.Message(), "Invalid floating point operation");
        return TFault::InvalidOp;
    } catch (const EZeroDivide& e) {
        EXPECT_EQ(e.Message(), "Floating point division by zero");
        return TFault::ZeroDivide;
    } catch (const EOverflow& e) {
        EXPECT_EQ(e.Message(), "Floating point overflow");
        return TFault::Overflow;
    } catch (const EDivByZero& e) {
        EXPECT_EQ(e.Message(), "Division by zero");
        return TFault::DivByZero;
    } catch (const EIntOverflow& e) {
        EXPECT_EQ(e.Message(), "Integer overflow");
        return TFault::IntOverflow;
    } catch (...) {
        return TFault::Other;
    }
}

} // namespace

TEST(RtlMath, RoundAndTruncOfFiniteValues)
{
    // Expected values: ties go to the even neighbour (the x87's default
    // rounding), truncation goes toward zero.
    struct Row {
        int No;
        double X;
        int64_t Rounded;
        int64_t Truncated;
    };
    const Row rows[] = {
        {1, 2.5, 2, 2},
        {2, 3.5, 4, 3},
        {3, -2.5, -2, -2},
        {4, -3.5, -4, -3},
        {5, 0.5, 0, 0},
        {6, -0.5, 0, 0},
        {7, 1.5, 2, 1},
        {8, 2.6, 3, 2},
        {9, -2.6, -3, -2},
        {10, 2.4, 2, 2},
        // The largest double below 0.5: adding 0.5 and flooring gives 1.
        {11, 0.49999999999999994, 0, 0},
        // 2^52 + 1: adding 0.5 rounds up to 2^52 + 2 in a double.
        {12, 4503599627370497.0, 4503599627370497, 4503599627370497},
        // 2^52 + 0.5 does not exist; 2^51 + 0.5 is a tie, 2^51 is even.
        {13, 2251799813685248.5, 2251799813685248, 2251799813685248},
        // Limits of the 64-bit range: -2^63 exactly, and the largest double
        // below 2^63.
        {14, -9223372036854775808.0, kMin64, kMin64},
        {15, 9223372036854774784.0, 9223372036854774784, 9223372036854774784},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Round(row.X), row.Rounded) << "row " << row.No;
        EXPECT_EQ(Trunc(row.X), row.Truncated) << "row " << row.No;
    }
}

TEST(RtlMath, FracAndIntKeepTheSign)
{
    EXPECT_EQ(Int(-2.75), -2.0);
    EXPECT_EQ(Frac(-2.75), -0.75);
    EXPECT_EQ(Int(2.75), 2.0);
    EXPECT_EQ(Frac(2.75), 0.75);
    EXPECT_TRUE(std::signbit(Frac(-3.0)));
    EXPECT_TRUE(std::isnan(Frac(kNaN)));
    EXPECT_TRUE(std::isnan(Int(kNaN)));
    EXPECT_TRUE(std::isnan(Frac(kInf)));
    EXPECT_EQ(Int(-kInf), -kInf);
    EXPECT_EQ(Frac(1e300), 0.0);
}

TEST(RtlMath, FaultsOfFloatingPointOperations)
{
    // Expected faults: those the x87 runtime raised (zero divide for a finite
    // nonzero dividend, invalid operation for 0/0, a negative root or
    // logarithm, overflow for an infinite result); a NaN operand, the
    // program's empty value, is an invalid operation.
    struct Row {
        int No;
        std::function<double()> F;
        TFault Fault;
        double Result; // when Fault is None
    };
    const Row rows[] = {
        {1, [] { return double(Round(kNaN)); }, TFault::InvalidOp, 0},
        {2, [] { return double(Round(kInf)); }, TFault::InvalidOp, 0},
        {3, [] { return double(Round(1e300)); }, TFault::Overflow, 0},
        {4, [] { return double(Round(9223372036854775808.0)); }, TFault::Overflow, 0},  // 2^63
        {5, [] { return double(Round(-9223372036854777856.0)); }, TFault::Overflow, 0}, // below -2^63
        {6, [] { return double(Trunc(kNaN)); }, TFault::InvalidOp, 0},
        {7, [] { return double(Trunc(-kInf)); }, TFault::InvalidOp, 0},
        {8, [] { return double(Trunc(-1e300)); }, TFault::Overflow, 0},
        {9, [] { return CheckedDivide(1, 0); }, TFault::ZeroDivide, 0},
        {10, [] { return CheckedDivide(0, 0); }, TFault::InvalidOp, 0},
        {11, [] { return CheckedDivide(kNaN, 1); }, TFault::InvalidOp, 0},
        {12, [] { return CheckedDivide(1, kNaN); }, TFault::InvalidOp, 0},
        {13, [] { return CheckedDivide(kInf, kInf); }, TFault::InvalidOp, 0},
        {14, [] { return CheckedDivide(kInf, 2); }, TFault::Overflow, 0},
        {15, [] { return CheckedDivide(1e300, 1e-300); }, TFault::Overflow, 0},
        {16, [] { return CheckedDivide(7, 2); }, TFault::None, 3.5},
        {17, [] { return CheckedDivide(1e-300, 1e300); }, TFault::None, 0}, // underflow is masked
        {18, [] { return CheckedSqrt(-1); }, TFault::InvalidOp, 0},
        {19, [] { return CheckedSqrt(0); }, TFault::None, 0},
        {20, [] { return CheckedSqrt(6.25); }, TFault::None, 2.5},
        {21, [] { return CheckedSqrt(kInf); }, TFault::Overflow, 0},
        {22, [] { return CheckedLn(0); }, TFault::ZeroDivide, 0},
        {23, [] { return CheckedLn(-1); }, TFault::InvalidOp, 0},
        {24, [] { return CheckedLn(kNaN); }, TFault::InvalidOp, 0},
        {25, [] { return CheckedLn(1); }, TFault::None, 0},
        {26, [] { return CheckedPower(10, 400); }, TFault::Overflow, 0},
        {27, [] { return CheckedPower(-8, 1.0 / 3); }, TFault::InvalidOp, 0},
        {28, [] { return CheckedPower(0, -1); }, TFault::ZeroDivide, 0},
        {29, [] { return CheckedPower(0, -0.5); }, TFault::ZeroDivide, 0},
        {30, [] { return CheckedPower(kNaN, 2); }, TFault::InvalidOp, 0},
        {31, [] { return CheckedPower(-2, 3); }, TFault::None, -8},
        {32, [] { return CheckedPower(0, 0); }, TFault::None, 1},
        {33, [] { return CheckedPower(2, 0.5); }, TFault::None, std::sqrt(2.0)},
        {34, [] { return CheckedPower(10, -400); }, TFault::None, 0},
        {35, [] { return CheckedArcCos(1.0000000000000002); }, TFault::InvalidOp, 0},
        {36, [] { return CheckedArcCos(kNaN); }, TFault::InvalidOp, 0},
        {37, [] { return CheckedArcSin(-1.0000000000000002); }, TFault::InvalidOp, 0},
        {38, [] { return CheckedArcSin(1); }, TFault::None, std::asin(1.0)},
        {39, [] { return CheckedArcSin(kInf); }, TFault::InvalidOp, 0},
        {40, [] { return CheckedTan(kInf); }, TFault::InvalidOp, 0},
        {41, [] { return CheckedTan(0.5); }, TFault::None, std::tan(0.5)},
        {42, [] { return CheckFinite(kNaN); }, TFault::InvalidOp, 0},
        {43, [] { return CheckFinite(-kInf); }, TFault::Overflow, 0},
    };
    for (const Row& row : rows) {
        double result = 0;
        EXPECT_EQ(FaultOf([&] { result = row.F(); }), row.Fault) << "row " << row.No;
        if (row.Fault == TFault::None) {
            EXPECT_EQ(result, row.Result) << "row " << row.No;
        }
    }
}

TEST(RtlMath, IntegerDivAndMod)
{
    // Expected values: div truncates toward zero and mod takes the sign of
    // the dividend, as the runtime's div and mod do.
    struct Row {
        int No;
        int64_t A, B;
        TFault Fault;
        int64_t Quotient, Remainder;
    };
    const Row rows[] = {
        {1, 7, 2, TFault::None, 3, 1},
        {2, -7, 2, TFault::None, -3, -1},
        {3, 7, -2, TFault::None, -3, 1},
        {4, 0, -5, TFault::None, 0, 0},
        {5, 1, 0, TFault::DivByZero, 0, 0},
        {6, 0, 0, TFault::DivByZero, 0, 0},
        // -2^63 div -1 does not fit; its remainder is 0.
        {7, kMin64, -1, TFault::IntOverflow, 0, 0},
        {8, kMin64, 1, TFault::None, kMin64, 0},
    };
    for (const Row& row : rows) {
        int64_t q = 0;
        EXPECT_EQ(FaultOf([&] { q = CheckedDiv(row.A, row.B); }), row.Fault) << "row " << row.No;
        if (row.Fault == TFault::None) {
            EXPECT_EQ(q, row.Quotient) << "row " << row.No;
        }
        if (row.B == 0) {
            EXPECT_EQ(FaultOf([&] { CheckedMod(row.A, row.B); }), TFault::DivByZero) << "row " << row.No;
        } else {
            EXPECT_EQ(CheckedMod(row.A, row.B), row.Remainder) << "row " << row.No;
        }
    }
}
