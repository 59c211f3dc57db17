#pragma once
// The Whitworth calculator: gauge limits of Whitworth-form inch threads
// (BS 84 threads, gauges to BS 919): group 0 plug gauges (items 0 Go, 1
// Not-go, 2 limit, 3 Go reference plug) and group 1 ring gauges with their
// check and reference plugs (0 Go ring, 1 Not-go ring, 2 Go check plug for
// the Go ring, 3 and 4 reference plugs for the adjustable Go and Not-go
// rings).
//
// It computes in inches (the gauge tables in units of 0.0001 inch) and
// fills the record in millimetres. The calling convention is that of
// calc/Ucalcconv.h; the messages are 1180 (no pitch column for the pitch,
// or a pitch too large for the diameter: a basic pitch or minor diameter, or
// a limit, of 0 or below) and 1181 (a diameter that is not over 0 and up to
// 12 inches).

class CALIBRETYPE;
struct TOLLERANCE;

// Tolerance classes as the Whitworth wizard passes them.
enum TWhitworthClass : int {
    WhitworthClose = 0,
    WhitworthMedium = 1,
    WhitworthNormal = 2, // internal threads: the plug gauges
    WhitworthFree = 3,   // external threads: the ring gauges
};

// The thread kind of the wizard's "Whitworth S" choice (free diameter and
// pitch): its tolerance uses the length of engagement 10 p instead of D.
constexpr int WhitworthKindS = 2;

// diameter in inches, tpi threads per inch, wide: the wizard's "Calculate
// Wide Tolerance". On false the record is left as it was.
bool CalcWhitworth(const CALIBRETYPE& type, double diameter, double tpi, int threadKind, int toleranceClass,
                   bool wide, TOLLERANCE& result);

// Range index 0..6 of the diameter (first upper bound 0.1, 0.5, 1.5, 3, 5, 8,
// 12 in that is >= D), -1 above 12 inches or not a number.
int WhitworthRange(double diameter);
// The pitch column of six table values: the only given one when just one is
// given, else the column of the pitch (22-56 tpi 1, 13-20 2, 8-12 3, 6-7 4,
// 4-5 5) when its value is given. None (a pitch outside every band, or a
// band whose value is not given): message 1180 and -1.
int WhitworthColumn(double tpi, const double values[6]);
