#pragma once
// Rounding of workpiece limits to whole micrometres, for the calculators.

// floor((x + 0.0005) * 1000) * 0.001, computed in extended precision, so that
// the result is the double nearest to the three-decimal value: half up to
// three decimals (2.0006 gives 2.001, 2.0004 gives 2.000, -2.0005 gives
// -2.000). A value that is not finite (the empty value too) is returned as
// it is.
double RoundTo3Decimals(double x);
