#include "calc/Uwhitworth.h"

#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "calc/Ucalcconv.h"
#include "calc/Uthreadexists.h"
#include "calc/Utollerance.h"

#include <cmath>

namespace {

// Gauge tolerances of BS 919 for Whitworth-form threads, as the program has
// always had them: seven rows by diameter range (upper bounds 0.1, 0.5, 1.5,
// 3, 5, 8, 12 in), in units of 0.0001 inch; -1: not given. Six columns of
// each table are pitch columns (see WhitworthColumn): 56-22, 20-13, 12-8,
// 7-6 and 5-4 tpi, after a first column that serves the 0.1 in row alone.
// Rows that differ from their neighbours' pattern: the 0.1 in row gives only
// that first column (its one pitch value serves every pitch); the 0.5 in row
// gives no 7-6 or 5-4 tpi value and the 1.5 in row no 5-4 tpi value, the 5
// and 8 in rows no 56-22 tpi value and the 12 in row none finer than 12 tpi
// (no BSW or BSF size of those ranges has such a pitch). A pitch between or
// beyond the bands (21 tpi, 7 1/2 tpi, the 3 1/2 to 2 1/2 tpi of the BSW
// sizes from 2 3/4 in) has no column: the tables state no gauge tolerance for
// it, and the calculator refuses it rather than borrow a neighbour's value.
constexpr double ND = -1;
constexpr int RangeCount = 7;
constexpr double RangeBounds[RangeCount] = {0.1, 0.5, 1.5, 3, 5, 8, 12}; // in

// A, plug Go: a0, a1, six pitch columns, a8, a9.
constexpr double TableA[RangeCount][10] = {
    {2, 3, 2, ND, ND, ND, ND, ND, 5, -2}, {2, 4, ND, 3, 4, 5, ND, ND, 6, -4},
    {2, 5, ND, 3, 4, 5, 5, ND, 7, -5},    {3, 6, ND, 4, 5, 6, 6, 7, 9, -6},
    {3, 7, ND, ND, 5, 6, 7, 8, 10, -7},   {4, 8, ND, ND, 5, 6, 7, 8, 12, -8},
    {5, 9, ND, ND, ND, 6, 7, 8, 14, -8},
};
// B, plug Go class close and reference plug: b0, b1, six pitch columns, b8,
// b9, b10, b11.
constexpr double TableB[RangeCount][12] = {
    {2, 1, 2, ND, ND, ND, ND, ND, 1, -4, 2, 1}, {2, 1, ND, 2, 3, 4, ND, ND, 1, -6, 2, 1},
    {2, 1, ND, 2, 3, 4, ND, ND, 1, -8, 2, 1},   {2, 2, ND, 3, 4, 4, 4, 5, 2, -9, 2, 2},
    {3, 2, ND, ND, 4, 4, 5, 6, 2, -11, 3, 2},   {3, 3, ND, ND, 4, 4, 5, 6, 3, -12, 3, 3},
    {4, 3, ND, ND, ND, 4, 5, 6, 3, -13, 4, 3},
};
// C, plug Not-go: c0, six pitch columns.
constexpr double TableC[RangeCount][7] = {
    {3, 2, ND, ND, ND, ND, ND}, {4, ND, 2, 2, 3, ND, ND}, {5, ND, 2, 3, 3, 3, ND},  {6, ND, 2, 3, 3, 3, 4},
    {7, ND, ND, 3, 3, 3, 4},    {8, ND, ND, 3, 3, 4, 4},  {9, ND, ND, ND, 3, 4, 4},
};
// D, ring Go and reference plug for the adjustable Go ring: six pitch
// columns, one unused, d7, d8, d9.
constexpr double TableD[RangeCount][10] = {
    {5, ND, ND, ND, ND, ND, 0, 5, 5, 3},    {ND, 6, 6, 7, ND, ND, 0, 6, 6, 3},
    {ND, 7, 8, 8, 8, ND, 0, 7, 7, 4},       {ND, 8, 8, 9, 9, 10, 0, 8, 8, 4},
    {ND, ND, 9, 10, 11, 12, 0, 9, 9, 5},    {ND, ND, 10, 11, 12, 12, 0, 10, 10, 5},
    {ND, ND, ND, 12, 12, 13, 0, 12, 12, 6},
};
// E, ring Go class close and check plug: e0.
constexpr double TableE[RangeCount] = {1.5, 1.5, 2, 3, 3.5, 4, 5};
// F, ring Not-go and reference plug for the adjustable Not-go ring: six
// pitch columns.
constexpr double TableF[RangeCount][6] = {
    {4, ND, ND, ND, ND, ND}, {ND, 5, 5, 5, ND, ND}, {ND, 5, 6, 6, 6, ND},   {ND, 6, 6, 7, 7, 8},
    {ND, ND, 7, 8, 8, 9},    {ND, ND, 8, 8, 9, 9},  {ND, ND, ND, 9, 9, 10},
};
// G, reference plugs: g0, g1, g2.
constexpr double TableG[RangeCount][3] = {{2, 2, 2}, {2, 3, 2}, {2, 3, 2}, {3, 4, 3},
                                          {4, 5, 3}, {4, 5, 4}, {5, 6, 4}};

constexpr double TableUnit = 0.0001;         // in
// "MN 180 : Pitch/Diameter combination not valid": no pitch column for the
// pitch, or a pitch too large for the diameter.
constexpr int CombinationNotValidTextId = 1180;
constexpr int DiameterNotValidTextId = 1181; // "MN 181 : Diameter not valid"

// Half up to four decimals of an inch.
double Round4(double x)
{
    return std::floor((x + 0.00005) * 10000) * 0.0001;
}

double Tolerance(double diameter, double engagement, double pitch)
{
    return 0.002 * std::cbrt(diameter) + 0.003 * std::sqrt(engagement) + 0.005 * std::sqrt(pitch);
}

// T and T' by class: close 2/3 TD, medium TD; normal and free (and any
// other value) 1.5 TD. The wizard's third class reaches the Not-go ring as
// free and its reference plug as normal: both take the same T'.
double ClassTolerance(int toleranceClass, double td)
{
    switch (toleranceClass) {
    case WhitworthClose:
        return 2 * td / 3;
    case WhitworthMedium:
        return td;
    default:
        return 1.5 * td;
    }
}

// A pitch-column value of a table row in inches, or false after the
// message of WhitworthColumn.
bool PitchValue(double tpi, const double* columns, double& value)
{
    const int column = WhitworthColumn(tpi, columns);
    if (column < 0)
        return false;
    value = columns[column] * TableUnit;
    return true;
}

} // namespace

int WhitworthRange(double diameter)
{
    for (int r = 0; r < RangeCount; ++r) {
        if (diameter <= RangeBounds[r])
            return r;
    }
    return -1;
}

int WhitworthColumn(double tpi, const double values[6])
{
    int given = 0, only = -1;
    for (int k = 0; k < 6; ++k) {
        if (values[k] != ND) {
            ++given;
            only = k;
        }
    }
    if (given == 1)
        return only;
    int column = -1;
    if (tpi >= 22 && tpi <= 56)
        column = 1;
    else if (tpi >= 13 && tpi <= 20)
        column = 2;
    else if (tpi >= 8 && tpi <= 12)
        column = 3;
    else if (tpi >= 6 && tpi <= 7)
        column = 4;
    else if (tpi >= 4 && tpi <= 5)
        // The coarsest column is the 4 to 5 tpi band and no more: the tables
        // state no gauge tolerance for the coarser pitches of the large BSW
        // sizes (3 1/2 to 2 1/2 tpi), and none is borrowed from a band that
        // does not cover the pitch.
        column = 5;
    if (column >= 0 && values[column] != ND)
        return column;
    ShowCalcMessage(CombinationNotValidTextId);
    return -1;
}

bool CalcWhitworth(const CALIBRETYPE& type, double diameter, double tpi, int threadKind, int toleranceClass,
                   bool wide, TOLLERANCE& result)
{
    const int r = WhitworthRange(diameter);
    if (!(diameter > 0) || r < 0) {
        ShowCalcMessage(DiameterNotValidTextId);
        return false;
    }
    if (!(tpi > 0) || !std::isfinite(tpi)) {
        ShowCalcMessage(CombinationNotValidTextId);
        return false;
    }

    // Basic form (BS 84): H = 0.960491 p, h = 2/3 H = 0.640327 p.
    const double p = 1 / tpi;
    const double H = Round4(0.960491 * p);
    const double h = Round4(0.640327 * p);
    const double E = diameter - h; // effective diameter
    const double D1 = diameter - 2 * h;
    // A pitch too large for the diameter: no such thread.
    if (!ThreadBasicsExist(E, D1)) {
        ShowCalcMessage(CombinationNotValidTextId);
        return false;
    }

    const bool kindS = threadKind == WhitworthKindS;
    const double td = Tolerance(diameter, kindS ? 10 * p : diameter, p);
    const double td25 = Tolerance(0.25, kindS ? 10 * p : 0.25, p);

    const int key = type.Group * 100 + type.Item;
    const bool referencePlug = key >= 102 && key <= 104;
    const bool plug = type.Ring == 0 && !referencePlug;
    const double T = plug ? ClassTolerance(toleranceClass, td) : 0;
    const double eMax = E + T;
    const double tPrime = plug ? 0 : ClassTolerance(toleranceClass, td);
    double allowance = 0;
    if (diameter <= 0.75)
        allowance = 0.3 * (diameter < 0.25 ? td25 : td);
    const double Ep = E - allowance;
    const double Em = E - tPrime;

    const double* A = TableA[r];
    const double* B = TableB[r];
    const double* C = TableC[r];
    const double* Dt = TableD[r];
    const double* F = TableF[r];
    const double* G = TableG[r];
    const auto at = [](const double* row, int column) { return row[column] * TableUnit; };
    const double e0 = TableE[r] * TableUnit;

    // The limits are built in a copy, in inches until the end, so that a
    // refused pitch column leaves the caller's record as it was.
    TOLLERANCE x = result;
    const bool goPlug = key == 0 || key == 2;
    const bool noGoPlug = key == 1 || key == 2;
    if (goPlug) {
        x.MaxPe = diameter + at(A, 0) + at(A, 1);
        x.MinPe = diameter - at(A, 0);
        if (toleranceClass != WhitworthClose) {
            double wA = 0;
            if (wide && !PitchValue(tpi, A + 2, wA))
                return false;
            x.MaxP = E + at(A, 0) + at(A, 1) + wA;
            x.MinP = E + at(A, 0);
            x.LogP = E;
            x.MaxPi = D1 + at(A, 8);
            x.MinPi = D1 + at(A, 9);
        } else {
            double wB = 0;
            if (wide && !PitchValue(tpi, B + 2, wB))
                return false;
            x.MaxP = E + wB + at(A, 0) + at(B, 1);
            x.MinP = E - at(B, 0);
            x.LogP = x.MinP;
            x.MaxPi = D1 + at(B, 8);
            x.MinPi = D1 + at(B, 9);
        }
    }
    if (noGoPlug) {
        double wC = 0;
        if (wide && !PitchValue(tpi, C + 1, wC))
            return false;
        x.MaxN = eMax + at(C, 0) + wC;
        x.MinN = eMax;
        x.LogN = x.MinN;
        x.MaxNe = E + H / 3;
        x.MinNe = E + H / 3 - 0.02 * H;
        x.MaxNi = E - 2 * H / 3;
        x.MinNi = NanValue();
    }
    // The check and reference plugs of the rings reach the major diameter
    // of the ring and not its minor diameter.
    const auto ringCheckProfile = [&] {
        x.MaxPe = NanValue();
        x.MinPe = E + 2 * H / 3;
        x.MaxPi = E - H / 3 + 0.02 * H;
        x.MinPi = E - H / 3;
    };
    switch (key) {
    case 3: { // Go reference plug
        double wB = 0;
        if (wide && !PitchValue(tpi, B + 2, wB))
            return false;
        x.MaxP = E + wB + at(A, 0) + at(B, 1);
        x.MinP = E - at(B, 0);
        x.LogP = x.MinP;
        x.MaxPe = diameter + at(B, 11);
        x.MinPe = diameter + at(B, 10);
        x.MaxPi = D1 + at(B, 8);
        x.MinPi = D1 + at(B, 9);
        break;
    }
    case 100: // Go ring
        if (toleranceClass != WhitworthClose) {
            double WD = 0;
            if (!PitchValue(tpi, Dt, WD))
                return false;
            x.MaxP = Ep;
            x.MinP = Ep - WD;
        } else {
            x.MaxP = Ep + e0;
            x.MinP = Ep - e0;
        }
        x.LogP = x.MaxP;
        x.MaxPe = Ep + h + at(Dt, 9);
        x.MinPe = Ep + h - at(Dt, 8);
        x.MaxPi = Ep - h;
        x.MinPi = Ep - h - at(Dt, 7);
        break;
    case 101: { // Not-go ring
        double WF = 0;
        if (!PitchValue(tpi, F, WF))
            return false;
        x.MaxN = Em;
        x.MinN = Em - WF;
        x.LogN = x.MaxN;
        x.MaxNe = NanValue();
        x.MinNe = E + 2 * H / 3;
        x.MaxNi = E - H / 3 + 0.02 * H;
        x.MinNi = E - H / 3;
        break;
    }
    case 102: // Go check plug for the Go ring
        x.MaxP = Ep + e0;
        x.MinP = Ep - e0;
        x.LogP = x.MinP;
        ringCheckProfile();
        break;
    case 103: { // reference plug for the adjustable Go ring
        double WD = 0;
        if (!PitchValue(tpi, Dt, WD))
            return false;
        x.MaxP = Ep - WD + at(G, 0) + (wide ? at(G, 1) : 0);
        x.MinP = Ep - WD;
        x.LogP = x.MinP;
        ringCheckProfile();
        break;
    }
    case 104: { // reference plug for the adjustable Not-go ring
        // It sets the Not-go ring, so it carries that ring's pitch
        // diameter: from the ring's minimum Em - WF for the class the ring
        // follows, within the ring's band (g0 + g2 <= WF in every range).
        double WF = 0;
        if (!PitchValue(tpi, F, WF))
            return false;
        x.MaxP = Em - WF + at(G, 0) + (wide ? at(G, 2) : 0);
        x.MinP = Em - WF;
        x.LogP = x.MinP;
        ringCheckProfile();
        break;
    }
    default:
        break;
    }
    x.MedP = (x.MaxP + x.MinP) / 2;
    x.MedN = (x.MaxN + x.MinN) / 2;
    x.TPasso = NanValue();
    if (!LimitDiametersExist(x)) {
        ShowCalcMessage(CombinationNotValidTextId);
        return false;
    }
    ConvertToleranceToMm(x);
    result = x;
    return true;
}
