#include "calc/Utiso.h"

#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "app/core/Uround.h"
#include "calc/Uthreadexists.h"
#include "calc/Utisotables.h"
#include "platform/rtl/FormatText.h"

#include <cmath>

namespace {

constexpr int FirstErrorTextId = 951; // the text of error n is 951 + n
constexpr int UnknownErrorTextId = 963;

// Depth of the basic profile in pitches: d2 = D - 0.64952 P, D1 = D - 1.08253 P.
constexpr double PitchDiameterDepth = 0.64952;
constexpr double MinorDiameterDepth = 1.08253;

// Flag strings of the check plugs of ring gauges, which take the wear
// allowances of rings.
const char* const RingCheckPlugFlags[] = {"TICPjc3f1", "TICPjc2f1", "TICNjc1f1", "TICPjc5f1w", "TICNjc4f1w",
                                          "TICNjc6f1", "TICNjc8f1", "TICNjc7f1", "TICPjc2f1w"};

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The digit after the first occurrence of letter in flags, or -1.
int DigitAfter(const QString& flags, QChar letter)
{
    const int at = flags.indexOf(letter);
    if (at < 0 || at + 1 >= flags.size() || !IsAsciiDigit(flags.at(at + 1)))
        return -1;
    return flags.at(at + 1).unicode() - u'0';
}

// D taken to 0.0001 mm as an integer; the caller has checked 0 <= D < 1000.
long long TenThousandths(double value)
{
    return std::llround(value * 10000.0);
}

int FindStep(const int steps[][2], int count, double diameter)
{
    if (!std::isfinite(diameter) || diameter < 0 || diameter >= 1000)
        return -1;
    const long long d = TenThousandths(diameter);
    if (d == steps[0][0] * 10000LL)
        return 0;
    for (int i = 0; i < count; ++i) {
        if (steps[i][0] * 10000LL < d && d <= steps[i][1] * 10000LL)
            return i;
    }
    return -1;
}

// The delta of grade 3..8 at an intermediate step, tenths of a micrometre, or
// IsoNotAvailable.
int Delta(int grade, int step)
{
    if (grade < 3 || grade > 8)
        return IsoNotAvailable;
    return IsoDeltaTable[grade - 3][step];
}

double StartsFactor(double starts)
{
    if (starts == 2)
        return 1.12;
    if (starts == 3)
        return 1.25;
    if (starts == 4)
        return 1.4;
    if (starts > 4)
        return 1.6;
    return 1.0;
}

// Middle of the diameter range that the external-thread formula uses.
double FormulaDiameter(double diameter)
{
    const double ranges[][2] = {{2.8, 2.15}, {5.6, 4.2}, {11.2, 8.4}, {22.4, 16.8},
                                {45, 33.7},  {90, 67.5}, {180, 135},  {300, 240}};
    if (diameter <= 1.5 || diameter > 300)
        return diameter;
    for (const auto& range : ranges) {
        if (diameter <= range[0])
            return range[1];
    }
    return diameter;
}

int ThreadToleranceByFormula(bool external, int grade, double diameter, double pitch, double& td)
{
    if (!(pitch > 0 && diameter > 0))
        return IsoPitchNotForDiameter;
    double tolerance = 0; // micrometres
    if (external) {
        const double factors[] = {0.5, 0.63, 0.8, 1, 1.25, 1.6, 2};
        const double t6 = 90 * std::pow(pitch, 0.4) * std::pow(FormulaDiameter(diameter), 0.1);
        if (t6 > 180 * std::pow(pitch, 2.0 / 3.0) - 3.15 / std::sqrt(pitch))
            return IsoPitchNotForDiameter;
        if (grade < 3 || grade > 9)
            return IsoQualityNotForPosition;
        tolerance = t6 * factors[grade - 3];
    } else {
        const double factors[] = {0.85, 1.06, 1.32, 1.7, 2.12};
        const double t = 90 * std::pow(pitch, 0.4) * std::pow(diameter, 0.1);
        if (grade < 4 || grade > 8)
            return IsoQualityNotForPosition;
        tolerance = t * factors[grade - 4];
        if (tolerance > 250 * pitch)
            return IsoPitchNotForDiameter;
    }
    td = RoundToR40(tolerance) * 0.001;
    return IsoOk;
}

// The band of Iso1502Table holding a pitch-diameter tolerance, or -1.
int Iso1502Band(double td)
{
    if (!(td >= 0 && td < 1000))
        return -1;
    const long long micrometres = static_cast<long long>(td * 1000 + 0.5);
    for (int i = 0; i < Iso1502RowCount; ++i) {
        if (Iso1502Table[i].TdOver < micrometres && micrometres <= Iso1502Table[i].TdUpTo)
            return i;
    }
    return -1;
}

int AmericanLookup(const TIsoAmericanBand* bands, int bandCount, double diameter, double pitch, double& value)
{
    int column = -1;
    for (int i = 0; i < IsoAmericanPitchCount && column < 0; ++i) {
        if (std::fabs(pitch * 1000 - IsoAmericanPitches[i]) < 0.01)
            column = i;
    }
    if (column < 0)
        return IsoPitchNotForDiameter;
    for (int i = 0; i < bandCount; ++i) {
        if (bands[i].Over < diameter && diameter <= bands[i].UpTo) {
            value = bands[i].Values[column] * 0.001;
            return IsoOk;
        }
    }
    return IsoPitchNotForDiameter;
}

// Stores limits into the first triple while it is unset, else the second.
void Store(ISOTOLERANCE& record, double max, double min, double worn)
{
    TIsoLimits& target = record.First.IsSet() ? record.Second : record.First;
    target.Max = max;
    target.Min = min;
    target.Worn = worn;
}

void StoreCentred(ISOTOLERANCE& record, double centre, double tolerance, double worn)
{
    Store(record, centre + tolerance / 2, centre - tolerance / 2, worn);
}

// Step 3: grade and position from the tolerance text, rewritten in the form
// the gauge code asks for.
int ParseTolerance(ISOTOLERANCE& record)
{
    QString grade;
    QString position;
    for (int i = 0; i < record.Tolerance.size() && i < 4; ++i) {
        const QChar c = record.Tolerance.at(i);
        if (IsAsciiDigit(c))
            grade += c;
        else if (IsAsciiLetter(c))
            position += c;
        else
            return IsoQualityMissing;
    }
    if (grade.isEmpty())
        return IsoQualityMissing;
    record.Grade = grade.toInt();
    switch (DigitAfter(record.Flags, u'f')) {
    case 0:
        record.Position = position.toUpper();
        record.Tolerance = record.Position + QString::number(record.Grade);
        break;
    case 1:
        record.Position = position.toUpper();
        record.Tolerance = QString::number(record.Grade) + record.Position;
        break;
    case 2:
        record.Position = position.toLower();
        record.Tolerance = record.Position + QString::number(record.Grade);
        break;
    case 3:
        record.Position = position.toLower();
        record.Tolerance = QString::number(record.Grade) + record.Position;
        break;
    default:
        return IsoDiagnostic;
    }
    return IsoOk;
}

// Step 5: limits of plain gauges (ISO 286).
int PlainGauge(ISOTOLERANCE& r)
{
    const double d = r.Diameter;
    if (int error = IsoStandardTolerance(r.Grade, d, r.StandardTolerance))
        return error;
    if (int error = IsoDeviations(r.Position, r.Grade, d, r.StandardTolerance, r.Upper, r.Lower))
        return error;
    const int row = DigitAfter(r.Flags, u'b');
    if (row < 1 || row > 6)
        return IsoDiagnostic;
    if (int error = IsoGaugeGrade(row, r.Grade, r.GaugeGrade))
        return error;
    if (int error = IsoGaugeTolerance(r.GaugeGrade, d, r.H))
        return error;
    if (int error = IsoPlainGaugePositions(r.Grade, d, r))
        return error;

    const double ss = r.Upper;
    const double si = r.Lower;
    const double h = r.H;
    if (r.Flags.contains(u'C')) {
        // Check plugs of gap gauges: the zone of the gap gauge they check.
        switch (r.Role) {
        case 1:
            StoreCentred(r, d + ss - r.Z1, h, -1);
            break;
        case 2:
            // The No-go gap gauge's zone is shifted by alpha1 at both ends.
            StoreCentred(r, d + si + r.Alpha1, h, -1);
            break;
        case 4: {
            double centre = d + ss + r.Y1;
            if (TenThousandths(d) > 1800000)
                centre -= r.Alpha1;
            StoreCentred(r, centre, h, -1);
            break;
        }
        default:
            return IsoDiagnostic;
        }
    } else if (r.Flags.contains(u'I')) {
        if (r.Role & 2)
            StoreCentred(r, d + ss - r.Alpha, h, -1);
        if (r.Role & 1)
            StoreCentred(r, d + si + r.Z, h, d + si - r.Y + r.Alpha);
    } else if (r.Flags.contains(u'X')) {
        if (r.Role & 2)
            StoreCentred(r, d + si + r.Alpha1, h, -1);
        if (r.Role & 1)
            StoreCentred(r, d + ss - r.Z1, h, d + ss + r.Y1 - r.Alpha1);
    } else {
        return IsoDiagnostic;
    }
    return IsoOk;
}

void ThreadRingLimits(ISOTOLERANCE& r)
{
    const double base = r.PitchDiameter - r.A;
    if (r.Role & 2) {
        const double max = base - r.TD;
        Store(r, max, max - r.TR, max - r.TR / 2 + r.WNG);
    }
    if (r.Role & 1) {
        const double centre = base - r.ZR;
        StoreCentred(r, centre, r.TR, centre + r.WGO);
    }
}

void ThreadPlugLimits(ISOTOLERANCE& r)
{
    const double base = r.PitchDiameter + r.A;
    if (r.Role & 2) {
        const double min = base + r.TD;
        Store(r, min + r.TPL, min, min + r.TPL / 2 - r.WNG);
    }
    if (r.Role & 1) {
        const double centre = base + r.ZPL;
        StoreCentred(r, centre, r.TPL, centre - r.WGO);
    }
}

int ThreadCheckPlugLimits(ISOTOLERANCE& r)
{
    const double b = r.PitchDiameter - r.A;
    switch (DigitAfter(r.Flags, u'c')) {
    case 1:
        StoreCentred(r, b - r.ZR + r.TR / 2, r.TCP, -1);
        break;
    case 2:
        StoreCentred(r, b - r.ZR - r.M, r.TCP, -1);
        break;
    case 3:
        StoreCentred(r, b - r.ZR + r.WGO, r.TCP, -1);
        break;
    case 4: {
        const double max = b - r.TD - r.TR / 2;
        Store(r, max, max - r.TCP, -1);
        break;
    }
    case 5: {
        const double min = b - r.ZR;
        Store(r, min + r.TCP, min, -1);
        break;
    }
    case 6:
        StoreCentred(r, b - r.TD - r.TR / 2 + r.WNG, r.TCP, -1);
        break;
    case 7:
        StoreCentred(r, b - r.TD, r.TCP, -1);
        break;
    case 8:
        StoreCentred(r, b - r.TD - r.TR / 2 - r.M, r.TCP, -1);
        break;
    default:
        return IsoDiagnostic;
    }
    return IsoOk;
}

int AmericanRingLimits(ISOTOLERANCE& r)
{
    const double base = r.PitchDiameter - r.A;
    const auto go = [&] { Store(r, base, base - r.X, base); };
    const auto noGo = [&] { Store(r, base - r.TD + r.X, base - r.TD, base - r.TD + r.X); };
    switch (r.Role) {
    case 1:
        go();
        break;
    case 2:
        noGo();
        break;
    case 3:
        go();
        noGo();
        break;
    default:
        return IsoDiagnostic;
    }
    return IsoOk;
}

int AmericanPlugLimits(ISOTOLERANCE& r)
{
    const double base = r.PitchDiameter + r.A;
    const auto go = [&] { Store(r, base + r.X, base, base); };
    const auto noGo = [&] { Store(r, base + r.TD, base + r.TD - r.X, base + r.TD - r.X); };
    switch (r.Role) {
    case 1:
        go();
        break;
    case 2:
        noGo();
        break;
    case 3:
        noGo();
        go();
        break;
    default:
        return IsoDiagnostic;
    }
    return IsoOk;
}

// Step 6: limits of thread gauges (ISO 1502 or the American option).
int ThreadGauge(ISOTOLERANCE& r, bool american)
{
    if (!std::isfinite(r.Diameter))
        return IsoDiameterNotAvailable;
    if (!std::isfinite(r.Pitch))
        return IsoPitchNotAvailable;
    r.PitchDiameter = r.Diameter - PitchDiameterDepth * r.Pitch;
    if (int error = IsoThreadDeviation(r.Position, r.Pitch, r.A))
        return error;
    const bool ring = r.Flags.contains(u'X');
    const bool plug = r.Flags.contains(u'I');
    bool external = false;
    if (r.Flags.contains(u'j') || ring)
        external = true;
    else if (!plug)
        return IsoDiagnostic;
    if (int error = IsoThreadTolerance(external, r.Grade, r.Diameter, r.Pitch, r.Starts, r.TD))
        return error;
    // A pitch too large for the diameter: no such thread.
    if (!ThreadBasicsExist(r.PitchDiameter, r.Diameter - MinorDiameterDepth * r.Pitch))
        return IsoPitchNotForDiameter;

    if (!american) {
        if (int error = IsoThreadGaugeTolerances(r.TD, r))
            return error;
        if (int error = IsoWearAllowances(r.Flags, r.TD, r.WGO, r.WNG))
            return error;
        if (ring) {
            ThreadRingLimits(r);
            return IsoOk;
        }
        if (plug) {
            if (r.Flags.contains(u'C'))
                return ThreadCheckPlugLimits(r);
            ThreadPlugLimits(r);
            return IsoOk;
        }
        return IsoDiagnostic;
    }

    const bool kindX = r.Flags.contains(u'x');
    const bool kindW = r.Flags.contains(u'w');
    if (!(ring || plug) || !(kindX || kindW))
        return IsoDiagnostic;
    if (kindX) {
        if (int error = IsoAmericanTolerance(r.Diameter, r.Pitch, r.X))
            return error;
    } else {
        if (int error = IsoAmericanWear(r.Diameter, r.Pitch, r.W))
            return error;
        r.X = r.W;
    }
    if (ring)
        return AmericanRingLimits(r);
    if (!r.Flags.contains(u'C'))
        return AmericanPlugLimits(r);
    // Check plugs of rings: the ring's limits, each held at its minimum.
    if (int error = AmericanRingLimits(r))
        return error;
    for (TIsoLimits* limits : {&r.First, &r.Second}) {
        if (limits->IsSet())
            limits->Worn = limits->Min;
    }
    return IsoOk;
}

// Whether every limit of the triples can be a diameter; -1 ("not set", or
// no wear limit) is none.
bool LimitTriplesExist(const ISOTOLERANCE& r)
{
    for (const TIsoLimits* limits : {&r.First, &r.Second}) {
        for (double value : {limits->Max, limits->Min, limits->Worn}) {
            if (value != -1 && IsImpossibleDiameter(value))
                return false;
        }
    }
    return true;
}

// Workpiece limit: rounded to whole micrometres.
double Workpiece(double value)
{
    return RoundTo3Decimals(value);
}

// Minor and major diameter limits of the thread gauges (without the
// American option), by group * 100 + item.
void ThreadProfileLimits(const ISOTOLERANCE& r, int key, bool mj, TOLLERANCE& t)
{
    const double d = r.Diameter;
    const double p = r.Pitch;
    const double a = r.A;
    const double td = r.TD;
    const double empty = NanValue();
    const auto goPlug = [&] {
        t.MaxPe = d + a + r.ZPL + r.TPL;
        t.MinPe = d + a + r.ZPL - r.TPL;
        t.MaxPi = d - 1.226868 * p + a;
        t.MinPi = empty;
    };
    const auto noGoPlug = [&] {
        t.MaxNe = r.TPL * 3 / 2 + d - 0.44952 * p + a + td;
        t.MinNe = d - 0.44952 * p + a + td - r.TPL / 2;
        t.MaxNi = d - 1.226868 * p + a;
        t.MinNi = empty;
    };
    const auto goRing = [&] {
        t.MaxPi = r.TR / 2 + d - 1.08253 * p - a;
        t.MinPi = d - 1.08253 * p - a - r.TR / 2;
        t.MaxPe = empty;
        t.MinPe = 0.072169 * p + d - a + r.TPL;
        if (mj) {
            t.MaxPi += 0.108253125 * p;
            t.MinPi += 0.108253125 * p;
        }
    };
    const auto noGoRing = [&] {
        t.MaxNe = empty;
        t.MinNe = d - a + r.TPL;
        t.MaxNi = r.TR / 2 + d - 0.64952 * p - a - td - 0.2 * p;
        t.MinNi = d - 0.64952 * p - a - td - 0.2 * p - 3 * r.TR / 2;
    };
    // Minor diameter of the check plugs checking No-go rings.
    const double noGoCheckMinor = d - 1.08253 * p - a - td - 0.144338 * p;
    switch (key) {
    case 200:
        goPlug();
        break;
    case 201:
        noGoPlug();
        break;
    case 202:
        goPlug();
        noGoPlug();
        break;
    case 300:
    case 302:
        goRing();
        break;
    case 301:
    case 303:
    case 305:
        noGoRing();
        break;
    case 304:
        t.MaxPe = t.MinPe = t.MaxPi = t.MinPi = empty;
        break;
    case 306:
    case 314:
        t.MaxPe = d - a + r.TPL;
        t.MinPe = d - a - r.TPL;
        t.MaxPi = d - 1.08253 * p - a - r.ZR - r.M - 0.144338 * p;
        t.MinPi = empty;
        break;
    case 307:
        t.MaxNe = r.TPL / 2 + 0.2 * p + r.TR / 2 + d - 0.64952 * p - a - r.ZR;
        t.MinNe = t.MaxNe - r.TPL;
        t.MaxNi = d - 1.08253 * p - a - r.TR / 2 - 0.144338 * p;
        t.MinNi = empty;
        break;
    case 308:
    case 309:
        t.MaxPe = r.TPL / 2 + 0.2 * p + d - 0.64952 * p - a - r.ZR + (key == 308 ? r.WGO : -r.TCP / 2);
        t.MinPe = t.MaxPe - r.TPL;
        t.MaxPi = d - 1.08253 * p - a - r.TR / 2 - 0.144338 * p;
        t.MinPi = empty;
        break;
    case 310:
    case 315: // the setting plug of the No-go caliper is made as that of the No-go ring
        t.MaxPe = r.TPL / 2 + 0.2 * p + d - 0.64952 * p - a - td - r.TR / 2 - r.TCP / 2;
        t.MinPe = t.MaxPe - r.TPL;
        t.MaxPi = noGoCheckMinor;
        t.MinPi = empty;
        break;
    case 311:
        t.MaxPe = d - a - td - r.TR / 2 + r.WNG + r.TPL;
        t.MinPe = t.MaxPe - 2 * r.TPL;
        t.MaxPi = noGoCheckMinor;
        t.MinPi = empty;
        break;
    case 312:
        t.MaxPe = d - a + r.TPL;
        t.MinPe = d - a - r.TPL;
        t.MaxPi = d - 1.08253 * p - a - td - r.TR / 2 - r.M - 0.144338 * p;
        t.MinPi = empty;
        break;
    case 313:
        t.MaxNe = d - a - td + r.TPL;
        t.MinNe = d - a - td - r.TPL;
        t.MaxNi = noGoCheckMinor;
        t.MinNi = empty;
        break;
    default:
        break;
    }
}

// Writes a triple into the Go or No-go fields; negative values (and the -1
// of "not set") are left out.
void WriteLimits(const TIsoLimits& limits, bool wornIsMin, double& max, double& min, double& worn)
{
    if (limits.Max >= 0)
        max = limits.Max;
    if (limits.Min >= 0)
        min = limits.Min;
    const double w = wornIsMin ? limits.Min : limits.Worn;
    if (w >= 0)
        worn = w;
}

void WriteMean(const TIsoLimits& limits, double& mean)
{
    const double value = (limits.Max + limits.Min) / 2;
    if (value > 0)
        mean = value;
}

// The message of a failed calculation; typed is the tolerance text as the
// user typed it.
void ShowIsoError(const ISOTOLERANCE& r, const QString& typed)
{
    const int id = IsoErrorTextId(r.Error);
    switch (r.Error) {
    case IsoGaugeUnknown:
    case IsoPositionNotAvailable:
        ShowCalcMessage(id, {r.GaugeCode});
        break;
    case IsoQualityMissing:
        ShowCalcMessage(id, {typed});
        break;
    case IsoQualityNotAvailable:
        ShowCalcMessage(id, {typed, r.GaugeCode});
        break;
    default:
        ShowCalcMessage(id);
        break;
    }
}

// The record of the process windows from a computed work record: the
// workpiece limits, the gauge limits by the type's role, the means and the
// profile limits of thread gauges, the pitch and angle tolerances.
void FillResult(const ISOTOLERANCE& r, const CALIBRETYPE& type, bool american, bool mj, TOLLERANCE& result)
{
    result.MaxW = NanValue();
    result.MinW = NanValue();
    result.HoleW = NanValue();
    const double d2 = r.PitchDiameter;
    switch (type.Group) {
    case 0:
    case 1:
        result.MaxW = Workpiece(r.Diameter + r.Upper);
        result.MinW = Workpiece(r.Diameter + r.Lower);
        break;
    case 2:
        result.MaxW = Workpiece(d2 + r.A + r.TD);
        result.MinW = Workpiece(d2 + r.A);
        break;
    case 3:
        result.MaxW = Workpiece(d2 - r.A);
        result.MinW = Workpiece(d2 - r.A - r.TD);
        break;
    default:
        break;
    }

    // Check and setting plugs of rings have no wear limit of their own: the
    // worn field shows their minimum.
    const bool wornIsMin = type.Group == 3 && type.Item >= 6 && type.Item <= 15;
    if (type.Role == 1) {
        WriteLimits(r.First, wornIsMin, result.MaxP, result.MinP, result.LogP);
    } else if (type.Role == 2 || type.Role == 3 || type.Role == 5) {
        WriteLimits(r.First, wornIsMin, result.MaxN, result.MinN, result.LogN);
        if (type.Role == 3)
            WriteLimits(r.Second, wornIsMin, result.MaxP, result.MinP, result.LogP);
    }

    if (type.Group != 0 && type.Group != 1) {
        if (d2 > 0) {
            if (type.Role == 1) {
                WriteMean(r.First, result.MedP);
            } else if (type.Role == 2 || type.Role == 3 || type.Role == 5) {
                WriteMean(r.First, result.MedN);
                if (type.Role == 3)
                    WriteMean(r.Second, result.MedP);
            }
        }
        if (!american)
            ThreadProfileLimits(r, type.Group * 100 + type.Item, mj, result);
    }

    if (type.Kind == 2) {
        result.TPasso = 0.005;
        double minutes = 0;
        if (IsoSemiAngleTolerance(r.Pitch, minutes))
            result.TSA = minutes;
    }
}

} // namespace

// ---------------------------------------------------------------- entry

bool CalcIsoMetricText(double diameter, double pitch, TCalcText& tolerance, TCalcText& classText,
                       TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result, bool american,
                       double starts, bool mj)
{
    ISOTOLERANCE r;
    // The record is filled in a copy, so that a refused thread leaves the
    // caller's record as it was.
    TOLLERANCE x = result;
    bool ok = CalcIsoMetricCore(type.Code2, tolerance.Text(), diameter, pitch, starts, american, r);
    if (ok) {
        FillResult(r, type, american, mj, x);
        // Limits below 0 that the profile or workpiece rules made.
        if (r.Flags.contains(u'T') && !LimitDiametersExist(x)) {
            r.Error = IsoPitchNotForDiameter;
            ok = false;
        }
    }
    if (!ok) {
        ShowIsoError(r, tolerance.Text());
        return false;
    }

    result = x;
    tolerance = r.Tolerance;
    if (type.Group == 0 || type.Group == 1)
        designation = Format(QStringLiteral("%lg"), r.Diameter);
    else
        designation =
            Format(mj ? QStringLiteral("MJ %lg X %lg") : QStringLiteral("M %lg X %lg"), r.Diameter, r.Pitch);
    classText = r.Tolerance;
    return true;
}

bool CalcIsoMetricCore(const QString& gaugeCode, const QString& tolerance, double diameter, double pitch,
                       double starts, bool american, ISOTOLERANCE& record)
{
    ISOTOLERANCE r;
    r.GaugeCode = gaugeCode.left(7);
    r.Tolerance = tolerance.left(4);
    r.Diameter = diameter;
    r.Pitch = pitch;
    r.Starts = starts;
    const bool ok = CalcIsoMetric(r, american);
    record = r;
    return ok;
}

bool CalcIsoMetric(ISOTOLERANCE& r, bool american)
{
    const auto fail = [&r](int error) {
        r.Error = error;
        return false;
    };
    r.Error = IsoOk;
    if (!FindIsoGaugeFlags(r.GaugeCode, r.Flags))
        return fail(IsoGaugeUnknown);

    r.Role = 0;
    if (r.Flags.contains(u'P'))
        r.Role = 1;
    if (r.Flags.contains(u'N'))
        r.Role = 2;
    if (r.Flags.contains(u'D'))
        r.Role = 3;
    if (r.Flags.contains(u'W'))
        r.Role = 4;
    if (r.Role == 0)
        return fail(IsoDiagnostic);

    if (int error = ParseTolerance(r))
        return fail(error);

    r.First = TIsoLimits();
    r.Second = TIsoLimits();
    int error = IsoDiagnostic;
    if (r.Flags.contains(u'S'))
        error = PlainGauge(r);
    else if (r.Flags.contains(u'T'))
        error = ThreadGauge(r, american);
    if (!error && r.Flags.contains(u'T') && !LimitTriplesExist(r))
        error = IsoPitchNotForDiameter;
    if (error)
        return fail(error);
    return true;
}

int IsoErrorTextId(int error)
{
    if (error >= IsoGaugeUnknown && error <= IsoDiagnostic)
        return FirstErrorTextId + error;
    return UnknownErrorTextId;
}

// ---------------------------------------------------------------- lookups

bool FindIsoGaugeFlags(const QString& code, QString& flags)
{
    for (const TIsoGaugeCode& row : IsoGaugeCodeTable) {
        if (code == QLatin1String(row.Code)) {
            flags = QLatin1String(row.Flags);
            return true;
        }
    }
    return false;
}

int IsoMainStep(double diameter)
{
    return FindStep(IsoMainSteps, IsoMainStepCount, diameter);
}

int IsoIntermediateStep(double diameter)
{
    return FindStep(IsoIntermediateSteps, IsoIntermediateStepCount, diameter);
}

int IsoStandardTolerance(int grade, double diameter, double& tolerance)
{
    if (grade < IsoStandardToleranceLowGrade || grade > IsoStandardToleranceHighGrade)
        return IsoQualityNotAvailable;
    const int step = IsoMainStep(diameter);
    if (step < 0)
        return IsoDiameterNotAvailable;
    const int value = IsoStandardToleranceTable[grade - IsoStandardToleranceLowGrade][step];
    if (value == IsoNotAvailable)
        return IsoQualityNotAvailable;
    tolerance = value * 0.001;
    return IsoOk;
}

int IsoDeviations(const QString& position, int grade, double diameter, double standardTolerance,
                  double& upper, double& lower)
{
    const TIsoDeviationRow* row = nullptr;
    for (const TIsoDeviationRow& candidate : IsoDeviationRows) {
        if (position == QLatin1String(candidate.Position) && candidate.LowGrade <= grade &&
            grade <= candidate.HighGrade) {
            row = &candidate;
            break;
        }
    }
    if (!row)
        return IsoCombinationNotAvailable;
    const int step = IsoIntermediateStep(diameter);
    if (step < 0)
        return IsoDiameterNotAvailable;

    if (row->Kind == 1) {
        // Half the tolerance, for grades 7 to 11 cut to whole micrometres
        // (the IT values are whole micrometres, so the half is taken on them
        // exactly).
        const long long micrometres = std::llround(standardTolerance * 1000);
        double half = micrometres / 2.0;
        if (grade >= 7 && grade <= 11)
            half = std::floor(half);
        const float value = static_cast<float>(half * 0.001);
        upper = value;
        lower = -value;
        return IsoOk;
    }

    const int tabulated = row->Values[step];
    if (tabulated == IsoNotAvailable)
        return IsoDiameterNotAvailable;
    double value = tabulated * 0.001;
    switch (row->Kind) {
    case 2: {
        const int delta = Delta(grade, step);
        if (delta == IsoNotAvailable)
            return IsoCombinationNotAvailable;
        value += delta * 0.0001;
        break;
    }
    case 3:
    case 4:
        if (step != 0) {
            const int delta = Delta(grade, step);
            if (delta == IsoNotAvailable)
                return IsoCombinationNotAvailable;
            value += delta * 0.0001;
        }
        // M6 from 250 to 315 mm is the one exception of the special rule.
        if (row->Kind == 4 && grade == 6 && (step == 19 || step == 20))
            value = -0.009;
        break;
    default:
        break;
    }
    const float deviation = static_cast<float>(value);
    if (row->Side == 'I') {
        lower = deviation;
        upper = deviation + standardTolerance;
    } else {
        upper = deviation;
        lower = deviation - standardTolerance;
    }
    return IsoOk;
}

int IsoGaugeGrade(int row, int grade, int& gaugeGrade)
{
    if (row < 1 || row > 6)
        return IsoDiagnostic;
    if (grade < 4 || grade > 16)
        return IsoCombinationNotAvailable;
    const int value = IsoGaugeGradeTable[row - 1][grade - 4];
    if (value < 0)
        return IsoCombinationNotAvailable;
    gaugeGrade = value;
    return IsoOk;
}

int IsoGaugeTolerance(int gaugeGrade, double diameter, double& h)
{
    if (gaugeGrade < 0 || gaugeGrade > 7)
        return IsoDiagnostic;
    const int step = IsoMainStep(diameter);
    if (step < 0)
        return IsoDiameterNotAvailable;
    h = IsoGaugeToleranceTable[gaugeGrade][step] * 0.0001;
    return IsoOk;
}

int IsoPlainGaugePositions(int grade, double diameter, ISOTOLERANCE& record)
{
    const int step = IsoMainStep(diameter);
    if (step < 0)
        return IsoDiameterNotAvailable;
    if (grade < 4 || grade > 16)
        return IsoQualityNotAvailable;
    const int g = grade - 4;
    record.Z = IsoPlainZ[g][step] * 0.0001;
    record.Y = IsoPlainY[g][step] * 0.0001;
    record.Yp = IsoPlainYp[g][step] * 0.0001;
    record.Alpha = IsoPlainAlpha[g][step] * 0.0001;
    if (grade <= 6) {
        record.Z1 = IsoPlainZ1[g][step] * 0.0001;
        record.Y1 = IsoPlainY1[g][step] * 0.0001;
        record.Yp1 = IsoPlainYp1[g][step] * 0.0001;
    } else {
        record.Z1 = record.Z;
        record.Y1 = record.Y;
        record.Yp1 = record.Yp;
    }
    record.Alpha1 = record.Alpha;
    return IsoOk;
}

int IsoThreadDeviation(const QString& position, double pitch, double& a)
{
    const QString positions = QLatin1String(IsoThreadPositions);
    const int row = position.size() == 1 ? positions.indexOf(position.at(0)) : -1;
    if (row < 0)
        return IsoPositionNotAvailable;
    if (!std::isfinite(pitch))
        return IsoPitchNotAvailable;
    const double micrometres = pitch * 1000;
    if (micrometres > 6000 + 1e-6) {
        // Beyond the tabulated range ISO 965-1 defines e, g, G, h and H by
        // formula; the other positions keep the nearest column.
        const QChar letter = position.at(0);
        if (letter == u'e') {
            a = RoundToR40(50 + 11 * pitch) * 0.001;
            return IsoOk;
        }
        if (letter == u'g' || letter == u'G') {
            a = RoundToR40(15 + 11 * pitch) * 0.001;
            return IsoOk;
        }
        if (letter == u'h' || letter == u'H') {
            a = 0;
            return IsoOk;
        }
    }
    int column = 0;
    double best = std::fabs(micrometres - IsoThreadPitches[0]);
    for (int i = 1; i < IsoThreadPitchCount; ++i) {
        const double difference = std::fabs(micrometres - IsoThreadPitches[i]);
        if (difference < best) {
            best = difference;
            column = i;
        }
    }
    const int value = IsoThreadDeviationTable[row][column];
    if (value == IsoNotDefined)
        return IsoPositionNotAvailable;
    a = value * 0.001;
    return IsoOk;
}

int IsoThreadTolerance(bool external, int grade, double diameter, double pitch, double starts, double& td)
{
    if (!(diameter > 0 && diameter <= 1000.00001))
        return IsoDiameterNotAvailable;
    if (!std::isfinite(pitch))
        return IsoPitchNotAvailable;
    bool found = false;
    double value = 0;
    if (pitch > 0 && pitch <= 6.00005) {
        const long long p = static_cast<long long>(pitch * 10000 + 0.5);
        const long long d = static_cast<long long>(diameter * 10000 + 0.5);
        if (p % 10 == 0 && p <= 60000) {
            const int firstGrade = external ? 3 : 4;
            const int lastGrade = external ? 9 : 8;
            if (grade < firstGrade || grade > lastGrade)
                return IsoQualityNotForPosition;
            const TIsoThreadToleranceRow* rows =
                external ? IsoExternalThreadTolerances : IsoInternalThreadTolerances;
            const int count = external ? IsoExternalThreadToleranceCount : IsoInternalThreadToleranceCount;
            for (int i = 0; i < count; ++i) {
                const TIsoThreadToleranceRow& row = rows[i];
                if (row.Pitch * 10LL == p && row.Over * 1000LL < d && d <= row.UpTo * 1000LL) {
                    const int tabulated = row.Values[grade - firstGrade];
                    // A grade the standard does not give for this pitch.
                    if (tabulated == IsoNotDefined)
                        return IsoQualityNotForPosition;
                    value = tabulated * 0.001;
                    found = true;
                    break;
                }
            }
        }
    }
    if (!found) {
        if (int error = ThreadToleranceByFormula(external, grade, diameter, pitch, value))
            return error;
    }
    td = value * StartsFactor(starts);
    return IsoOk;
}

double RoundToR40(double value)
{
    if (!(value > 0) || !std::isfinite(value))
        return value;
    int exponent = static_cast<int>(std::floor(std::log10(value)));
    double scaled = value / std::pow(10.0, exponent);
    if (scaled >= 10) {
        scaled /= 10;
        ++exponent;
    } else if (scaled < 1) {
        scaled *= 10;
        --exponent;
    }
    int lower = 0;
    while (lower < 39 && IsoR40Series[lower + 1] <= scaled * 100)
        ++lower;
    const double below = IsoR40Series[lower] / 100.0;
    const double above = IsoR40Series[lower + 1] / 100.0;
    const int chosen = (above - scaled < scaled - below) ? IsoR40Series[lower + 1] : IsoR40Series[lower];
    // chosen is in hundredths: exact for the decades of whole micrometres.
    return exponent >= 2 ? chosen * std::pow(10.0, exponent - 2) : chosen / std::pow(10.0, 2 - exponent);
}

int IsoThreadGaugeTolerances(double td, ISOTOLERANCE& record)
{
    const int band = Iso1502Band(td);
    if (band < 0)
        return IsoPitchNotForDiameter;
    const TIso1502Row& row = Iso1502Table[band];
    record.TR = row.TR * 0.001;
    record.TPL = row.TPL * 0.001;
    record.TCP = row.TCP * 0.001;
    record.M = row.M * 0.001;
    record.ZR = row.ZR * 0.001;
    record.ZPL = row.ZPL * 0.001;
    return IsoOk;
}

int IsoWearAllowances(const QString& flags, double td, double& wgo, double& wng)
{
    const int band = Iso1502Band(td);
    if (band < 0)
        return IsoPitchNotForDiameter;
    bool ring = flags.contains(u'X');
    for (const char* checkPlug : RingCheckPlugFlags)
        ring = ring || flags == QLatin1String(checkPlug);
    const TIso1502Row& row = Iso1502Table[band];
    if (ring) {
        wgo = row.RingWgo * 0.0001;
        wng = row.RingWng * 0.0001;
    } else if (flags.contains(u'I')) {
        wgo = row.PlugWgo * 0.0001;
        wng = row.PlugWng * 0.0001;
    } else {
        return IsoDiagnostic;
    }
    return IsoOk;
}

int IsoAmericanTolerance(double diameter, double pitch, double& x)
{
    return AmericanLookup(IsoAmericanX, 4, diameter, pitch, x);
}

int IsoAmericanWear(double diameter, double pitch, double& w)
{
    return AmericanLookup(IsoAmericanW, 5, diameter, pitch, w);
}

bool IsoSemiAngleTolerance(double pitch, double& minutes)
{
    for (const TIsoSemiAngleRow& row : IsoSemiAngleTable) {
        if (row.Pitch * 0.001 >= pitch - 0.0000001) {
            minutes = row.Minutes;
            return true;
        }
    }
    return false;
}
