#pragma once
// The ISO metric calculator: limits of size of plain limit gauges for holes
// and shafts (ISO 286; catalogue groups 0 and 1) and of metric screw-thread
// gauges (ISO 1502 with the thread tolerances of ISO 965-1; groups 2 and 3),
// with the workpiece limits, the normalized tolerance text and a designation.
//
// The process windows call CalcIsoMetricText. CalcIsoMetricCore and
// CalcIsoMetric work on one ISOTOLERANCE record and show no message; the
// lookups below them are public so that the tables can be checked against
// published values. Lengths are millimetres. The calling convention is that
// of calc/Ucalcconv.h.
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"

#include <QString>

class CALIBRETYPE;

// Error codes of a calculation; each has its message (string-table text 951
// + code, 963 for any other).
enum IsoError : int {
    IsoOk = 0,
    IsoGaugeUnknown = 1,            // "Gage  %s is unknown"
    IsoQualityMissing = 2,          // "Quality %s non present"
    IsoDiameterNotAvailable = 3,    // "Diameter not available"
    IsoQualityNotAvailable = 4,     // "Quality %s non available for gage %s"
    IsoPositionUnknown = 5,         // "Position unknown for gage"
    IsoCombinationNotAvailable = 6, // "Combination quality/position not available"
    IsoPitchNotAvailable = 7,       // "Thread pitch not available"
    IsoPositionNotAvailable = 8,    // "Position not available for gage %s"
    IsoQualityNotForPosition = 9,   // "Quality non available for gage and position"
    IsoPitchNotForDiameter = 10,    // "Thread pitch not available for this diameter"
    IsoDiagnostic = 11,             // "Errore diagnostico ..."
};

// Gauge limits in the order computed: max, min and worn; -1 marks "not set",
// and -1 as worn means no wear limit.
struct TIsoLimits {
    double Max = -1;
    double Min = -1;
    double Worn = -1;
    bool IsSet() const { return Max != -1 || Min != -1 || Worn != -1; }
};

// The work record of one calculation.
struct ISOTOLERANCE {
    QString GaugeCode;   // at most 7 characters (the Code2 of the gauge type)
    QString Tolerance;   // at most 4 characters; rewritten in normalized form
    double Diameter = 0; // nominal diameter D
    double Pitch = 0;    // P, 0 for plain gauges
    double Starts = 0;   // number of starts, 1 for a single start
    int Error = IsoOk;
    QString Flags;    // the gauge code's flag string
    int Role = 0;     // bit 0 Go, bit 1 No-go: 1 Go, 2 No-go, 3 both, 4 wear check
    QString Position; // tolerance position letters ("H", "js", "g")
    int Grade = 0;    // tolerance grade (IT number)
    double Upper = 0; // workpiece deviations of plain gauges (SS, SI)
    double Lower = 0;
    double StandardTolerance = 0;               // IT value of the grade
    int GaugeGrade = 0;                         // IT number of the gauge tolerance (0..7)
    double H = 0;                               // gauge tolerance
    double Z = 0, Y = 0, Yp = 0, Alpha = 0;     // hole gauges: position, wear, second wear, safety zone
    double Z1 = 0, Y1 = 0, Yp1 = 0, Alpha1 = 0; // the same for shaft gauges
    double PitchDiameter = 0;                   // d2 = D - 0.64952 P
    double A = 0;                               // magnitude of the thread's fundamental deviation
    double TD = 0;                              // TD2 of the nut or Td2 of the bolt
    double TR = 0, TPL = 0, TCP = 0, M = 0, ZR = 0, ZPL = 0; // ISO 1502 gauge tolerances
    double WGO = 0, WNG = 0;                                 // wear allowances of Go and No-go gauges
    double X = 0, W = 0;                                     // American gauge tolerance and wear
    TIsoLimits First;                                        // limits in the order computed
    TIsoLimits Second;
};

// ---- the calculator

// The entry of the process windows. On success: true, tolerance rewritten to
// the normalized text, classText a copy of it, designation set and result
// filled. On failure: the message of the error code has been shown, false.
// american: the picker's "Metric tolerances calculated according to ANSI
// rules" option; mj: MJ designation and minor diameters of MJ ring gauges.
bool CalcIsoMetricText(double diameter, double pitch, TCalcText& tolerance, TCalcText& classText,
                       TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result, bool american,
                       double starts, bool mj);
// Builds the work record from the gauge code (7 characters kept), the
// tolerance text (4 characters kept), D, P and the starts, runs CalcIsoMetric
// and hands the record back. No message.
bool CalcIsoMetricCore(const QString& gaugeCode, const QString& tolerance, double diameter, double pitch,
                       double starts, bool american, ISOTOLERANCE& record);
// The driver over a filled record; record.Error holds the failing code.
bool CalcIsoMetric(ISOTOLERANCE& record, bool american);
// The message (string-table id and text) shown for an error code.
int IsoErrorTextId(int error);

// ---- lookups (each returns IsoOk or the error code)

// The flag string of a gauge code (exact, case-sensitive), or false.
bool FindIsoGaugeFlags(const QString& code, QString& flags);
// Index of D's main or intermediate step, -1 outside (below 0, beyond 500 mm,
// not a number). D is taken to 0.0001 mm.
int IsoMainStep(double diameter);
int IsoIntermediateStep(double diameter);
// IT of grade 4..17 at D, mm.
int IsoStandardTolerance(int grade, double diameter, double& tolerance);
// Upper and lower deviation of a hole (upper-case position) or shaft, mm;
// standardTolerance is the IT of the grade at D.
int IsoDeviations(const QString& position, int grade, double diameter, double standardTolerance,
                  double& upper, double& lower);
// Gauge grade of row 1..6 for workpiece grade 4..16.
int IsoGaugeGrade(int row, int grade, int& gaugeGrade);
// Gauge tolerance H of gauge grade 0..7 at D, mm.
int IsoGaugeTolerance(int gaugeGrade, double diameter, double& h);
// Z, Y, Y', alpha and the shaft values of workpiece grade 4..16 at D, mm.
int IsoPlainGaugePositions(int grade, double diameter, ISOTOLERANCE& record);
// Magnitude A of the thread's fundamental deviation, mm.
int IsoThreadDeviation(const QString& position, double pitch, double& a);
// Pitch-diameter tolerance of an external (Td2) or internal (TD2) thread, mm,
// with the factor of the number of starts.
int IsoThreadTolerance(bool external, int grade, double diameter, double pitch, double starts, double& td);
// Nearest value of the R40 series; the lower neighbour on a tie.
double RoundToR40(double value);
// ISO 1502 TR, TPL, TCP, M, ZR, ZPL for a pitch-diameter tolerance, mm.
int IsoThreadGaugeTolerances(double td, ISOTOLERANCE& record);
// Wear allowances WGO, WNG of the gauge with these flags, mm.
int IsoWearAllowances(const QString& flags, double td, double& wgo, double& wng);
// American gauge tolerance X and wear W, mm.
int IsoAmericanTolerance(double diameter, double pitch, double& x);
int IsoAmericanWear(double diameter, double pitch, double& w);
// Flank semi-angle tolerance in minutes; false for a pitch above 8 mm.
bool IsoSemiAngleTolerance(double pitch, double& minutes);
