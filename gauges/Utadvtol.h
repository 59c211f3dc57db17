#pragma once
// Gauge limits of ISO plain gauges from two workpiece deviations (in µm)
// instead of a tolerance class, by a range table: the range of the nominal
// diameter, then the range of the tolerance width (the distance between the
// deviations), give five gauge offsets G1..G5 in µm.
//
// Set 0 of the table serves the gauges of group 0 (plain gauges for holes),
// set 1 every other group. Ranges are scanned from the first; a range whose
// upper bound is 0 ends the scan. A diameter range holds lower < D <= upper,
// a width range lower <= w < upper.
//
// Nothing here shows a message: every failure returns false and leaves the
// texts alone; the caller clears the result record before the call.
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"

#include <array>

class CALIBRETYPE;

struct TAdvancedWidthRange {
    float Lower;            // µm, inclusive
    float Upper;            // µm, exclusive; 0 ends the list
    std::array<float, 5> G; // G1..G5, µm
};
struct TAdvancedDiameterRange {
    float Lower; // mm, exclusive
    float Upper; // mm, inclusive; 0 ends the list
    std::array<TAdvancedWidthRange, 30> Widths;
};
using TAdvancedToleranceSet = std::array<TAdvancedDiameterRange, 30>;
using TAdvancedToleranceTable = std::array<TAdvancedToleranceSet, 2>;

static_assert(sizeof(TAdvancedDiameterRange) == 212 * sizeof(float), "a diameter range is 212 floats");
static_assert(sizeof(TAdvancedToleranceSet) == 6360 * sizeof(float), "a set is 6360 floats");

// The program's table. Its values are not published with the program's
// data: every entry is 0, so every lookup reports "not found".
extern const TAdvancedToleranceTable AdvancedToleranceTable;

// Reads two numbers ("+15 -5", "+15") into a and b (b stays 0 without a
// second number). false when the text has neither "+" nor "-" or the two
// numbers are equal.
bool ParseDeviationPair(const QString& text, float& a, float& b);

// Looks D (mm) and the deviations x, y (µm, either order) up and writes
// MaxP, MinP, LogP, MaxN, MinN for groups 0 and 1 (other groups: nothing).
bool LookupAdvancedTolerance(const CALIBRETYPE& type, float diameter, float x, float y, TOLLERANCE& result,
                             const TAdvancedToleranceTable& table = AdvancedToleranceTable);

// The limits of D (mm) with the deviations upper and lower (µm); false for
// the master and reference gauges (keys 8 and 107..110 in the family) and
// outside the table. On success the designation is "<D> <upper> <lower>"
// ("10.000000 15 0", the deviations truncated) and the tolerance and class
// texts are emptied.
bool CalcAdvancedTolerance(double diameter, double upper, double lower, TCalcText& tolerance,
                           TCalcText& classText, TCalcText& designation, const CALIBRETYPE& type,
                           TOLLERANCE& result, const TAdvancedToleranceTable& table = AdvancedToleranceTable);

// The same with the deviations read from the tolerance text.
bool CalcAdvancedToleranceText(double diameter, TCalcText& tolerance, TCalcText& classText,
                               TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result,
                               const TAdvancedToleranceTable& table = AdvancedToleranceTable);
