#pragma once
// The result record of every thread-standard calculator: the limits of size
// of one gauge, its pitch and flank-angle tolerances, two measuring heights
// and the workpiece limits.
//
// Lengths in millimetres, semi-angle tolerances in minutes of arc. 0 means
// "not computed" (the record is cleared before every calculation); the empty
// value (NanValue of app/core/Unan.h) means "does not apply" and is shown as
// an empty field. Italian field words: Passa (P) Go, NonPassa (N) No-go,
// Logoro (Log) worn, Medio (Med) mean, i minor diameter, e major diameter,
// W workpiece.

struct TOLLERANCE {
    double MaxPi;  // Go gauge, minor diameter, upper limit
    double MinPi;  // Go gauge, minor diameter, lower limit
    double MaxP;   // Go gauge, pitch diameter (plain gauges: the size), upper limit
    double MinP;   // Go gauge, pitch diameter (size), lower limit
    double LogP;   // Go gauge, wear limit
    double MedP;   // Go gauge, mean pitch diameter
    double MaxPe;  // Go gauge, major diameter, upper limit
    double MinPe;  // Go gauge, major diameter, lower limit
    double MaxNi;  // No-go gauge, minor diameter, upper limit
    double MinNi;  // No-go gauge, minor diameter, lower limit
    double MaxN;   // No-go gauge, pitch diameter (size), upper limit
    double MinN;   // No-go gauge, pitch diameter (size), lower limit
    double LogN;   // No-go gauge, wear limit
    double MedN;   // No-go gauge, mean pitch diameter
    double MaxNe;  // No-go gauge, major diameter, upper limit
    double MinNe;  // No-go gauge, major diameter, lower limit
    double TPasso; // pitch tolerance, mm
    double TSA;    // flank semi-angle tolerance, minutes (both flanks)
    double TSA1;   // semi-angle tolerance of one flank, minutes (asymmetric profiles)
    double TSA2;   // semi-angle tolerance of the other flank, minutes
    double HMis1;  // measuring height 1
    double HMis2;  // measuring height 2
    double MaxW;   // workpiece, upper limit
    double MinW;   // workpiece, lower limit
    double HoleW;  // drilling diameter of the workpiece
};

static_assert(sizeof(TOLLERANCE) == 25 * sizeof(double), "TOLLERANCE is 25 doubles without padding");

// Sets every field (every byte of the record) to +0.0.
void ClearToleranceRecord(TOLLERANCE& record);

// The inch calculators work in inches and convert the record at the end:
// every length that holds a value is multiplied by 25.4. The semi-angle
// tolerances (minutes) stay, and so do the workpiece fields MaxW, MinW and
// HoleW, which those calculators already fill in millimetres. Empty values
// stay empty.
void ConvertToleranceToMm(TOLLERANCE& record);
