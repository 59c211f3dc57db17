#pragma once
// The static tables of the ANSI/ASME inch calculators (unit Utansiasme):
// gauge-maker tolerances of plain gauges, the thread-gauge tolerances of
// unified screw threads by diameter range and pitch, the nominal diameters of
// unified special threads, and the gauge dimensions of American pipe threads
// (NPT, the straight pipe threads NPSC, NPSM, NPSL and the dryseal threads
// NPTF, PTF-SAE SHORT and NPSI).
//
// Values are inches unless a table says otherwise; -1 marks a value the
// standard does not give, and a lookup that lands on one fails. Each table
// names its source in Utansiasmetables.cpp.

// ---- plain gauges

// Gauge-maker tolerance classes and their tolerances in millionths of an
// inch by diameter range: a row applies when Lower < D <= Upper.
constexpr int GaugeMakerClassCount = 5;
constexpr int GaugeMakerRowCount = 10;
extern const char* const GaugeMakerClassNames[GaugeMakerClassCount]; // "XXX", "XX", "X", "Y", "Z"
struct TGaugeMakerRow {
    double Lower;                        // in
    double Upper;                        // in
    int Tolerance[GaugeMakerClassCount]; // millionths of an inch, in the order of the class names
};
extern const TGaugeMakerRow GaugeMakerToleranceTable[GaugeMakerRowCount];

// ---- unified screw threads

constexpr double UnNotGiven = -1;
constexpr int UnPitchCount = 28;
// The 28 pitches of the gauge tables, threads per inch, in table order.
extern const double UnPitches[UnPitchCount];

// Gauge pitch-diameter tolerance W by diameter range (Lower < D <= Upper)
// and pitch, in.
struct TUnGaugeRange {
    double Lower;
    double Upper;
    double W[UnPitchCount];
};
constexpr int UnGaugeRangeCountA = 4;
constexpr int UnGaugeRangeCountB = 5;
extern const TUnGaugeRange UnGaugeTolerancesA[UnGaugeRangeCountA];
extern const TUnGaugeRange UnGaugeTolerancesB[UnGaugeRangeCountB];

// Lead tolerance L, flank half-angle tolerance A (minutes) and diameter
// tolerance Q by pitch.
struct TUnPitchRowA {
    double Tpi;
    double Lead;
    double HalfAngle; // minutes
    double QUpTo4;    // D <= 4
    double QOver4;    // D > 4
};
struct TUnPitchRowB {
    double Tpi;
    double LeadUpToHalf; // D <= 0.5
    double LeadOverHalf; // D > 0.5
    double HalfAngle;    // minutes
    double QUpToHalf;    // D <= 0.5
    double QUpTo4;       // 0.5 < D <= 4
    double QOver4;       // D > 4
};
extern const TUnPitchRowA UnPitchTableA[UnPitchCount];
extern const TUnPitchRowB UnPitchTableB[UnPitchCount];

// Nominal diameters of unified special threads: a diameter d takes the
// nominal of the row i with Bound(i) < d <= Bound(i + 1); d at or below the
// first bound takes the first nominal, d >= UnsClosingBound the nominal 12.
struct TUnsNominalRow {
    double Bound;
    double Nominal;
};
constexpr int UnsNominalRowCount = 23;
constexpr double UnsClosingBound = 13;
extern const TUnsNominalRow UnsNominalDiameterTable[UnsNominalRowCount];

// ---- pipe threads

// A pipe size as whole inch, numerator and denominator (whole sizes 0/0).
struct TPipeSize {
    int Whole;
    int Numerator;
    int Denominator;
};

// NPT, 24 sizes 1/16 to 24: thread and gauge dimensions at the gauge plane.
struct TNptRow {
    TPipeSize Size;
    double D;              // outside diameter of the pipe
    double Tpi;            // threads per inch
    double E1;             // pitch diameter at the hand-tight plane
    double L1;             // length of hand-tight engagement
    int T;                 // pitch-diameter tolerance of the gauges, 0.0001 in
    double MajorAtGauge;   // major diameter at the gauge plane
    double MinorAtGauge;   // minor diameter at the gauge plane
    double LeadPlug;       // lead tolerance of plugs
    double LeadRing;       // lead tolerance of rings
    double HalfAnglePlug;  // minutes
    double HalfAngleRing;  // minutes
    double MajorTolerance; // of the plug's major diameter
    double MinorTolerance; // of the ring's minor diameter
};
constexpr int NptRowCount = 24;
extern const TNptRow NptTable[NptRowCount];

// Straight pipe threads: pitch-diameter limits of the internal (PD) and the
// external (ePD) thread. NPSC gives the internal limits only (the external
// ones hold UnNotGiven).
struct TStraightPipeRow {
    TPipeSize Size;
    double D;
    double Tpi;
    double PDmax;
    double PDmin;
    double ePDmax;
    double ePDmin;
};
constexpr int NpscRowCount = 13;
constexpr int NpsmRowCount = 15;
constexpr int NpslRowCount = 18;
extern const TStraightPipeRow NpscTable[NpscRowCount];
extern const TStraightPipeRow NpsmTable[NpsmRowCount];
extern const TStraightPipeRow NpslTable[NpslRowCount];

// Dryseal pipe threads, 12 sizes 1/16 to 3, by column as the gauge tables
// share them.
constexpr int DrysealRowCount = 12;
struct TDrysealSizeRow {
    TPipeSize Size;
    double D;
    double Tpi;
    int T;          // pitch-diameter tolerance of the working gauges, 0.0001 in
    double MasterT; // of the master gauges, 0.0001 in
};
extern const TDrysealSizeRow DrysealSizes[DrysealRowCount];

// Pitch diameter E at the gauge's plane.
enum TDrysealE { EL1 = 0, EPtfL1Plug, EL3Plug, EL2Ring, DrysealECount };
extern const double DrysealE[DrysealRowCount][DrysealECount];
// Gauge length (the L3 plugs have none).
enum TDrysealL { LNptfL1 = 0, LPtfL1, LNptfL2Ring, LPtfL2Ring, LMaster, DrysealLCount };
extern const double DrysealL[DrysealRowCount][DrysealLCount];
// Diameter at the gauge plane: major diameter of plugs, minor of rings.
enum TDrysealDg {
    DgNptfL1Plug = 0, // also NPSI L1 plug
    DgL1Ring,         // NPTF and PTF-SAE L1 rings
    DgPtfL1Plug,
    DgL3Plug,
    DgL2Ring,
    DgMasterPlug,
    DgMasterRing,
    DrysealDgCount
};
extern const double DrysealDg[DrysealRowCount][DrysealDgCount];

// Element tolerances of the gauges by size: lead (in), half angle
// (minutes), major and minor diameter (in).
struct TDrysealTolerances {
    double LeadPlug;
    double LeadRing;
    double HalfAnglePlug;
    double HalfAngleRing;
    double MajorTolerance;
    double MinorTolerance;
};
extern const TDrysealTolerances DrysealWorkingTolerances[DrysealRowCount];
extern const TDrysealTolerances DrysealMasterTolerances[DrysealRowCount];
