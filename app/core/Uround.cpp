#include "app/core/Uround.h"

#include <cmath>

double RoundTo3Decimals(double x)
{
    if (!std::isfinite(x))
        return x;
    const long double thousandths = std::floor((static_cast<long double>(x) + 0.0005L) * 1000.0L);
    return static_cast<double>(thousandths * 0.001L);
}
