#include "platform/rtl/RtlMath.h"

#include "platform/rtl/Exceptions.h"

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void RaiseInvalidOp();
[[noreturn]] void RaiseZeroDivide();
[[noreturn]] void RaiseOverflow();
int64_t ToInt64(double integral);
void CheckOperand(double x);

} // namespace

int64_t Round(double x)
{
    if (!std::isfinite(x))
        RaiseInvalidOp();
    const double t = std::trunc(x);
    const double f = x - t; // exact: both lie in the same binade or t is 0
    double r = t;
    if (std::fabs(f) > 0.5 || (std::fabs(f) == 0.5 && std::fmod(t, 2.0) != 0.0))
        r = t + std::copysign(1.0, x);
    return ToInt64(r);
}

int64_t Trunc(double x)
{
    if (!std::isfinite(x))
        RaiseInvalidOp();
    return ToInt64(std::trunc(x));
}

double Frac(double x)
{
    // An infinity has no fractional part to speak of; x - Int(x) is NaN there,
    // as the runtime's masked result is, rather than a misleading 0.
    if (std::isinf(x))
        return std::numeric_limits<double>::quiet_NaN();
    double integral = 0;
    return std::modf(x, &integral);
}

double Int(double x)
{
    return std::trunc(x);
}

double CheckedDivide(double a, double b)
{
    CheckOperand(a);
    CheckOperand(b);
    if (b == 0) {
        if (a == 0)
            RaiseInvalidOp();
        if (std::isinf(a))
            RaiseOverflow();
        RaiseZeroDivide();
    }
    if (std::isinf(a) && std::isinf(b))
        RaiseInvalidOp();
    if (std::isinf(a) || std::isinf(b))
        RaiseOverflow();
    return CheckFinite(a / b);
}

double CheckedSqrt(double x)
{
    CheckOperand(x);
    if (x < 0)
        RaiseInvalidOp();
    return CheckFinite(std::sqrt(x));
}

double CheckedLn(double x)
{
    CheckOperand(x);
    if (x < 0)
        RaiseInvalidOp();
    if (x == 0)
        RaiseZeroDivide();
    return CheckFinite(std::log(x));
}

double CheckedPower(double base, double exponent)
{
    CheckFinite(base);
    CheckFinite(exponent);
    if (exponent == 0)
        return 1.0;
    // 0 raised to a negative power divides by zero, in the integral and the
    // logarithmic path alike.
    if (base == 0 && exponent < 0)
        RaiseZeroDivide();
    // A negative base has a real power only for an integral exponent.
    if (base < 0 && std::trunc(exponent) != exponent)
        RaiseInvalidOp();
    return CheckFinite(std::pow(base, exponent));
}

double CheckedArcCos(double x)
{
    if (std::isnan(x) || std::fabs(x) > 1)
        RaiseInvalidOp();
    return std::acos(x);
}

double CheckedArcSin(double x)
{
    if (std::isnan(x) || std::fabs(x) > 1)
        RaiseInvalidOp();
    return std::asin(x);
}

double CheckedTan(double x)
{
    // The tangent of an infinity is undefined, not large.
    if (!std::isfinite(x))
        RaiseInvalidOp();
    return CheckFinite(std::tan(x));
}

double CheckFinite(double x)
{
    if (std::isnan(x))
        RaiseInvalidOp();
    if (std::isinf(x))
        RaiseOverflow();
    return x;
}

int64_t CheckedDiv(int64_t a, int64_t b)
{
    if (b == 0)
        throw EDivByZero(QStringLiteral("Division by zero"));
    // The one quotient that does not fit: -2^63 div -1 is 2^63.
    if (a == std::numeric_limits<int64_t>::min() && b == -1)
        throw EIntOverflow(QStringLiteral("Integer overflow"));
    return a / b;
}

int64_t CheckedMod(int64_t a, int64_t b)
{
    if (b == 0)
        throw EDivByZero(QStringLiteral("Division by zero"));
    // -2^63 mod -1 is 0; computing it in C++ would be undefined behaviour.
    if (b == -1)
        return 0;
    return a % b;
}

namespace {

void RaiseInvalidOp()
{
    throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
}

void RaiseZeroDivide()
{
    throw EZeroDivide(QStringLiteral("Floating point division by zero"));
}

void RaiseOverflow()
{
    throw EOverflow(QStringLiteral("Floating point overflow"));
}

// integral is an integral double; raises EOverflow outside the 64-bit range.
int64_t ToInt64(double integral)
{
    constexpr double kTwo63 = 9223372036854775808.0; // 2^63, exact in a double
    if (integral >= kTwo63 || integral < -kTwo63)
        RaiseOverflow();
    return static_cast<int64_t>(integral);
}

// A NaN operand raises EInvalidOp: the program's empty value is a NaN, and an
// operation on it must not yield a number.
void CheckOperand(double x)
{
    if (std::isnan(x))
        RaiseInvalidOp();
}

} // namespace
