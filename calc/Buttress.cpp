#include "calc/Buttress.h"

#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "calc/Uthreadexists.h"
#include "calc/Utollerance.h"
#include "platform/forms/MessageService.h"
#include "platform/os/Modules.h"
#include "platform/rtl/FormatText.h"

#include <cmath>

namespace {

// Buttress gauge tolerances of the program, inches (-1: not given): pitch in
// tpi; lead tolerance; the two flank-angle tolerances (minutes); diameter
// tolerance Q for D <= 4 and D > 4; gauge pitch-diameter tolerance W for
// D <= 1.5, <= 4, <= 8, <= 12, <= 18 and > 18 inches. The first table serves
// every gauge but items 5 and 6, which take the second.
constexpr double ND = -1;
constexpr int RowCount = 14;
constexpr int ColumnCount = 12;

constexpr double GaugeTable[RowCount][ColumnCount] = {
    {20, 0.0003, 15, 15, 0.0005, 0.0007, 0.0003, 0.0004, 0.0005, ND, ND, ND},
    {16, 0.0003, 10, 10, 0.0006, 0.0009, 0.0003, 0.0004, 0.0006, ND, ND, ND},
    {12, 0.0003, 10, 10, 0.0006, 0.0009, 0.0003, 0.0004, 0.0006, ND, ND, ND},
    {10, 0.0003, 10, 10, 0.0006, 0.0009, 0.0003, 0.0004, 0.0006, 0.0008, 0.0012, 0.0016},
    {8, 0.0004, 5, 5, 0.0007, 0.0011, 0.0004, 0.0005, 0.0006, 0.0008, 0.0012, 0.0016},
    {6, 0.0004, 5, 5, 0.0008, 0.0013, 0.0004, 0.0005, 0.0006, 0.0008, 0.0012, 0.0016},
    {5, 0.0004, 5, 5, 0.0008, 0.0013, ND, 0.0005, 0.0006, 0.0008, 0.0012, 0.0016},
    {4, 0.0004, 5, 5, 0.0009, 0.0015, ND, 0.0005, 0.0006, 0.0008, 0.0012, 0.0016},
    {3, 0.0006, 5, 5, ND, 0.002, ND, ND, 0.0008, 0.001, 0.0016, 0.002},
    {2.5, 0.0006, 5, 5, ND, 0.002, ND, ND, 0.0008, 0.001, 0.0016, 0.002},
    {2, 0.0006, 5, 5, ND, 0.002, ND, ND, 0.0008, 0.001, 0.0016, 0.002},
    {1.5, 0.0008, 5, 5, ND, 0.003, ND, ND, ND, 0.0012, 0.002, 0.0024},
    {1.25, 0.0008, 5, 5, ND, 0.003, ND, ND, ND, 0.0012, 0.002, 0.0024},
    {1, 0.0008, 5, 5, ND, 0.003, ND, ND, ND, 0.0012, 0.002, 0.0024},
};

constexpr double FineGaugeTable[RowCount][ColumnCount] = {
    {20, 0.00015, 15, 8, 0.0005, 0.0007, 0.00015, 0.0002, 0.00025, 0.0003, ND, ND},
    {16, 0.00015, 10, 8, 0.0006, 0.0009, 0.0002, 0.00025, 0.0003, 0.0004, ND, ND},
    {12, 0.0002, 10, 6, 0.0006, 0.0009, 0.0002, 0.00025, 0.0003, 0.0004, ND, ND},
    {10, 0.00025, 10, 6, 0.0006, 0.0009, 0.0002, 0.00025, 0.0003, 0.0004, 0.0006, 0.0008},
    {8, 0.00025, 5, 5, 0.0007, 0.0011, 0.0002, 0.00025, 0.0003, 0.0004, 0.0006, 0.0008},
    {6, 0.0003, 5, 5, 0.0008, 0.0013, 0.0002, 0.00025, 0.0003, 0.0004, 0.0006, 0.0008},
    {5, 0.0003, 5, 4, 0.0008, 0.0013, ND, 0.00025, 0.0003, 0.0004, 0.0006, 0.0008},
    {4, 0.0003, 5, 4, 0.0009, 0.0015, ND, 0.00025, 0.0003, 0.0004, 0.0006, 0.0008},
    {3, 0.0004, 5, 4, ND, 0.002, ND, ND, 0.0004, 0.0005, 0.0008, 0.001},
    {2.5, 0.0004, 5, 4, ND, 0.002, ND, ND, 0.0004, 0.0005, 0.0008, 0.001},
    {2, 0.0004, 5, 4, ND, 0.002, ND, ND, 0.0004, 0.0005, 0.0008, 0.001},
    {1.5, 0.0005, 5, 4, ND, 0.003, ND, ND, ND, 0.0006, 0.001, 0.0012},
    {1.25, 0.0005, 5, 4, ND, 0.003, ND, ND, ND, 0.0006, 0.001, 0.0012},
    {1, 0.0005, 5, 4, ND, 0.003, ND, ND, ND, 0.0006, 0.001, 0.0012},
};

constexpr double MaxDiameter = 24;              // in
constexpr int CombinationNotValidTextId = 1169; // "MN 169 : Pitch/Diameter combination not valid"
constexpr int ErrorCaptionId = 1000;            // "ERROR"

const double* FindRow(const double (*table)[ColumnCount], double tpi)
{
    for (int i = 0; i < RowCount; ++i) {
        if (table[i][0] == tpi)
            return table[i];
    }
    return nullptr;
}

int WColumn(double diameter)
{
    constexpr double bounds[] = {1.5, 4, 8, 12, 18};
    for (int k = 0; k < 5; ++k) {
        if (diameter <= bounds[k])
            return 6 + k;
    }
    return 11;
}

void ShowCombinationNotValid()
{
    ShowMessageBox(LoadStr(CombinationNotValidTextId), LoadStr(ErrorCaptionId), TMsgIcon::Error);
}

} // namespace

bool CalcButtress(const CALIBRETYPE& type, double diameter, double tpi, bool class2, TCalcText& designation,
                  TOLLERANCE& result)
{
    const double* row = FindRow(type.Item == 5 || type.Item == 6 ? FineGaugeTable : GaugeTable, tpi);
    if (!row || !(diameter <= MaxDiameter))
        return false;
    // No thread has a diameter of 0 or less: its limits would be nonsense.
    if (!(diameter > 0)) {
        ShowCombinationNotValid();
        return false;
    }

    const double p = 1 / tpi;
    const double engagement = 10 * p;
    const double td = 0.002 * std::cbrt(diameter) + 0.00278 * std::sqrt(engagement) + 0.00854 * std::sqrt(p);
    const double es = 2 * td / 3; // allowance of the external thread
    const double T = class2 ? td : 2 * td / 3;
    const double E = diameter - 0.6 * p;
    const double Dn1 = diameter - 1.2 * p;
    const double dmax = diameter - es;
    const double Emax = E - es;
    const double Emin = Emax - T;
    // A pitch too large for the diameter: no such thread.
    if (!ThreadBasicsExist(E, Dn1)) {
        ShowCombinationNotValid();
        return false;
    }

    const double W = row[WColumn(diameter)];
    const double Q = row[diameter <= 4 ? 4 : 5];
    if (W == ND || Q == ND) {
        ShowCombinationNotValid();
        return false;
    }
    // The record is filled in a copy, inches until the conversion, so that a
    // refusal leaves the caller's record as it was.
    TOLLERANCE x = result;
    x.TPasso = row[1];
    x.TSA1 = row[3];
    x.TSA2 = row[2];

    const int key = type.Group * 100 + type.Item;
    if (key == 0 || key == 2) {
        x.MaxP = E + W;
        x.MinP = E;
        x.LogP = E;
        x.MaxPe = dmax + Q;
        x.MinPe = dmax;
        x.MaxPi = Dn1;
        x.MinPi = NanValue();
        x.MedP = (x.MaxP + x.MinP) / 2;
    }
    if (key == 1 || key == 2) {
        x.MaxN = E + T;
        x.MinN = E + T - W;
        x.LogN = x.MinN;
        x.MaxNe = E + T + 0.35 * p;
        x.MinNe = x.MaxNe - Q;
        x.MaxNi = Dn1;
        x.MinNi = NanValue();
        x.MedN = (x.MaxN + x.MinN) / 2;
    }
    switch (key) {
    case 100: // Go ring
        x.MaxP = Emax;
        x.MinP = Emax - W;
        x.LogP = Emax;
        x.MaxPe = NanValue();
        x.MinPe = dmax;
        x.MaxPi = Dn1;
        x.MinPi = Dn1 - Q;
        x.MedP = (x.MaxP + x.MinP) / 2;
        break;
    case 101: // Not-go ring
        x.MaxN = Emin + W;
        x.MinN = Emin;
        x.LogN = x.MaxN;
        x.MaxNe = NanValue();
        x.MinNe = dmax;
        x.MaxNi = Emin - 0.35 * p + Q;
        x.MinNi = Emin - 0.35 * p;
        x.MedN = (x.MaxN + x.MinN) / 2;
        break;
    case 102: // Go check plug for the Go ring
        x.MaxP = Emax;
        x.MinP = Emax - W;
        x.LogP = x.MinP;
        x.MaxPe = dmax + Q;
        x.MinPe = dmax;
        x.MaxPi = Dn1 - Q;
        x.MinPi = NanValue();
        x.MedP = (x.MaxP + x.MinP) / 2;
        break;
    case 103: // Go check plug for the Not-go ring
        x.MaxN = Emin + W;
        x.MinN = Emin;
        x.LogN = x.MinN;
        x.MaxNe = dmax + Q;
        x.MinNe = dmax;
        x.MaxNi = Emin - 0.35 * p;
        x.MinNi = NanValue();
        x.MedN = (x.MaxN + x.MinN) / 2;
        break;
    default:
        break;
    }
    if (!LimitDiametersExist(x)) {
        ShowCombinationNotValid();
        return false;
    }
    // Lengths to millimetres, the empty ones staying empty; TSA1 and TSA2
    // stay in minutes.
    ConvertToleranceToMm(x);
    result = x;

    QString text = Format(QStringLiteral("%lf-%lf-BUTT-"), diameter, tpi);
    text += class2 ? u'2' : u'3';
    text += type.Group == 1 ? u'A' : u'B';
    designation = text;
    return true;
}
