#pragma once
// The ANSI/ASME inch calculators:
// - plain gauges (catalogue groups 0 and 1): limits from an inch size, the
//   deviations of the part and a gauge-maker tolerance class;
// - unified screw-thread gauges (groups 2 to 5) of the UN series chosen in
//   the inch wizard, and of unified special (UNS) threads typed freely;
// - American pipe-thread gauges (groups 6 and 7): NPT, NPSC, NPSM, NPSL and
//   the dryseal threads NPTF, PTF-SAE SHORT and NPSI.
//
// They compute in inches and hand the TOLLERANCE record back in millimetres
// (the workpiece limits MaxW, MinW directly in millimetres, rounded to
// 0.001 mm). The calling convention is that of calc/Ucalcconv.h; every
// failure but a pipe size outside the table and a UNS pitch too large for
// its diameter (message 1058) shows message 1055.
#include "calc/Ucalcconv.h"
#include "calc/Uinchthread.h"
#include "calc/Utansiasmetables.h"
#include "calc/Utollerance.h"

#include <QString>

class CALIBRETYPE;

// String-table id of the message of every failure of these calculators but
// one: "MN 055 : Error calculating tolerance from tabel".
constexpr int AnsiCalcErrorTextId = 1055;
// A UNS thread whose pitch is too large for its diameter (a basic pitch or
// minor diameter, or a limit, of 0 or below): "MN 058 : Thread pitch not
// available for this diameter".
constexpr int UnsPitchNotForDiameterTextId = 1058;

// ---- plain gauges

// Reads an inch size "a b/c", "b/c" or a plain number (each number with "."
// or "," as separator) and rewrites text to the size printed with "%lg"
// ("1 1/2" becomes "1.5"). false for an unreadable text (diameter 0) or a
// zero denominator (diameter untouched); text is then left as it was.
bool ParseInchSize(QString& text, double& diameter);
// Reads a tolerance text: a class name alone ("X": both deviations 0),
// "+-v class" (upper v, lower -v) or "a b class" (the larger of a and b is
// the upper deviation). On success text becomes the class name in upper
// case. Deviations in inches; on failure nothing is written.
bool ParseDeviations(QString& text, double& upper, double& lower);
// The gauge-maker tolerance of class "XXX", "XX", "X", "Y" or "Z" (exact
// case) at diameter D, in: false outside 0.04 < D <= 21.01.
bool GaugeMakerTolerance(const QString& className, double diameter, double& tolerance);

// Limits of a plain gauge from the size text (rewritten by ParseInchSize),
// the part's deviations (in), the gauge-maker class; classOut receives the
// class, designation the size as typed with the inch mark and the
// deviations. The type's Ring and Role choose the gauge.
bool CalcAnsiClassLimits(TCalcText& diameterText, double upper, double lower, const QString& className,
                         TCalcText& classOut, TCalcText& designation, const CALIBRETYPE& type,
                         TOLLERANCE& result);
// The same with the tolerance typed as text (ParseDeviations); on success
// the tolerance text becomes the class name.
bool CalcAnsiLimits(TCalcText& diameterText, TCalcText& toleranceText, TCalcText& classOut,
                    TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result);

// ---- unified screw threads

// floor(x * 10000 + 0.5) * 0.0001 in single precision, as the program has
// always rounded inch values to four decimals: the result is the float
// product of the count and 0.0001f, so it carries single-precision error
// (0.2176 comes back as 0.21760000288...).
double RoundTo4Decimals(double x);

// The unified pitch-diameter limits of the request (in): basic pitch
// diameter, pitch, the class-2A tolerance TD and, by the gauge type's group,
// the limits of the external (groups 3, 5: classes A) or internal (2, 4:
// classes B) thread; other groups leave pdMin and pdMax untouched. round
// rounds the basic pitch diameter and TD to four decimals. false for a pitch
// or diameter that is not positive, or a class outside 0..2.
bool CalcUnTolerance(const INCHTHREAD& request, bool round, double& pdMin, double& pdMax, double& pdBasic,
                     double& pitch, double& td);
// Gauge tolerances by the request's Diameter and Tpi: pitch-diameter
// tolerance W, lead tolerance L, flank half-angle tolerance A (minutes) and
// diameter tolerance Q, in. Table A serves the X-tolerance thread gauges,
// table B the W-tolerance, setting and check gauges. false outside the
// diameter ranges, for a pitch not among the 28, or a value not given.
bool LookupUnGaugeA(const INCHTHREAD& request, double& w, double& l, double& a, double& q);
bool LookupUnGaugeB(const INCHTHREAD& request, double& w, double& l, double& a, double& q);
// The same with the diameter range found by UnsDiameter.
bool LookupUnsGaugeA(const INCHTHREAD& request, double& w, double& l, double& a, double& q);
bool LookupUnsGaugeB(const INCHTHREAD& request, double& w, double& l, double& a, double& q);

// Limits of a unified thread gauge (groups 2 to 5) for the wizard's
// request. The six texts receive the basic pitch diameter, the angle "60",
// the pitch, the designation, the class ("2A" ...) twice; jProfile gives the
// UNJ series names and the UNJ minor diameter of Go rings. round is the
// wizard's "Round" option: the basic pitch diameter, TD and the pitch-
// diameter limits are then rounded to four decimals.
bool CalcUnSeries(const INCHTHREAD& request, TCalcText& diameterText, TCalcText& angleText,
                  TCalcText& pitchText, TCalcText& designation, TCalcText& toleranceText,
                  TCalcText& classText, bool jProfile, TOLLERANCE& result, bool round);

// What the UNS entry dialog gives: the diameter text (inch size), the
// threads-per-inch text and the checked class button (0, 1, 2; -1 none).
struct TUnsEntry {
    QString Diameter;
    QString Tpi;
    int ToleranceClass = -1;
};

// The nominal diameter of the UNS tolerance formula for a diameter d, in.
double UnsNominalDiameter(double d);
// The UNS pitch-diameter limits (groups 2 and 3): the basic pitch diameter
// from UnsDiameter, TD from the nominal Diameter with LE = 9 p; afterwards
// the request's Diameter is UnsDiameter.
bool CalcUnsTolerance(INCHTHREAD& request, bool round, double& pdMin, double& pdMax, double& pdBasic,
                      double& pitch, double& td);
// Limits of a unified special thread gauge (groups 2 and 3): the entry is
// stored in the request (UnsDiameterText, UnsDiameter, Diameter, Tpi,
// ToleranceClass), then computed as CalcUnSeries does, without rounding the
// limits. A pitch too large for the typed diameter is refused with message
// 1058; every refusal leaves the record as it was.
bool CalcUnsSpecial(INCHTHREAD& request, const TUnsEntry& entry, TCalcText& diameterText,
                    TCalcText& angleText, TCalcText& pitchText, TCalcText& designation,
                    TCalcText& toleranceText, TCalcText& classText, bool jProfile, TOLLERANCE& result,
                    bool round);

// ---- pipe threads

// Number of pipe sizes of a gauge key (group * 100 + item: 600 to 616, 700
// to 714), 0 for any other key.
int InchPipeSizeCount(int key);
// Size number index of a key's table; false outside it.
bool InchPipeSize(int key, int index, TPipeSize& size);

// Limits of a pipe-thread gauge of the request's gauge type at size number
// sizeIndex of its table (the pipe-size picker's choice; -1 for none). The
// straight threads (604 to 616) set the request's Diameter and Tpi to the
// size's. The texts receive the pipe's outside diameter, the angle "60",
// the pitch and the designation. false without a message when the size or
// key is outside the tables.
bool CalcPipeThread(INCHTHREAD& request, int sizeIndex, TCalcText& diameterText, TCalcText& angleText,
                    TCalcText& pitchText, TCalcText& designation, TOLLERANCE& result);
