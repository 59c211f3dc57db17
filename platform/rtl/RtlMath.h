#pragma once
// Rounding as the runtime rounds, and checked floating-point arithmetic.
//
// C++ raises nothing on a division by zero, an invalid operation or an
// overflow; the runtime the program's algorithms were written for raised
// EZeroDivide, EInvalidOp and EOverflow. Code that relies on those faults to
// reach its fallback calls the checked helpers below.
#include <cstdint>

// Round to the nearest integer, ties to even (banker's rounding). Raises
// EInvalidOp for a NaN or infinity and EOverflow outside the 64-bit range.
int64_t Round(double x);
// Truncate toward zero; the same faults as Round.
int64_t Trunc(double x);
// Fractional and integral parts with the sign of x (no faults; NaN stays NaN).
double Frac(double x);
double Int(double x);

// Checked operations: a non-finite operand or result raises the fault the
// runtime raised for it.
double CheckedDivide(double a, double b); // b == 0: EZeroDivide (0/0: EInvalidOp)
double CheckedSqrt(double x);             // x < 0: EInvalidOp
double CheckedLn(double x);               // x <= 0: EInvalidOp (0: EZeroDivide)
double CheckedPower(double base, double exponent); // invalid: EInvalidOp, too large: EOverflow
double CheckedArcCos(double x);           // |x| > 1: EInvalidOp
double CheckedArcSin(double x);           // |x| > 1: EInvalidOp
double CheckedTan(double x);              // infinite result: EOverflow
// Raises EInvalidOp for NaN and EOverflow for an infinity; returns x otherwise.
double CheckFinite(double x);

// Integer division raising EDivByZero, as the runtime's div and mod do.
int64_t CheckedDiv(int64_t a, int64_t b);
int64_t CheckedMod(int64_t a, int64_t b);
