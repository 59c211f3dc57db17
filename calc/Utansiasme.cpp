#include "calc/Utansiasme.h"

#include "app/core/Ucalibretype.h"
#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "app/core/Uround.h"
#include "calc/Uthreadexists.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"

#include <QStringList>

#include <cmath>
#include <utility>

namespace {

// Depth of the basic profile to the minor diameter in pitches: D1 = D -
// 1.082532 p.
constexpr double UnMinorDiameterDepth = 1.082532;

bool Fail()
{
    ShowCalcMessage(AnsiCalcErrorTextId);
    return false;
}

bool RefusePitch()
{
    ShowCalcMessage(UnsPitchNotForDiameterTextId);
    return false;
}

bool ReadNumber(const QString& text, double& value);
void CutToCapacity(QString& text, int capacity);
int GaugeKey(const CALIBRETYPE& type);
int PitchIndex(double tpi);
const TUnGaugeRange* FindRange(const TUnGaugeRange* ranges, int count, double diameter);
bool LookupA(double rangeDiameter, double diameter, double tpi, double& w, double& l, double& a, double& q);
bool LookupB(double rangeDiameter, double diameter, double tpi, double& w, double& l, double& a, double& q);
double EngagementLength(int series, double tpi, double diameter, double pitch);
double Class2ATolerance(double diameter, double engagement, double pitch);
bool LimitsByGroup(int group, int toleranceClass, double pdBasic, double td, double& pdMin, double& pdMax);
double MinorToleranceClass3(double pitch, double tpi, double m0);

// Work values of one thread-gauge calculation, inches.
struct TThreadLimits {
    double D = 0;     // major diameter
    double P = 0;     // pitch
    double PDmin = 0; // pitch-diameter limits of the thread
    double PDmax = 0;
    double E = 0;                      // major diameter of check and setting plugs
    double M = 0;                      // minor-diameter tolerance of setting rings
    double W = 0, L = 0, A = 0, Q = 0; // gauge tolerances
};

void SetGo(TOLLERANCE& r, double max, double min, double worn);
void SetNoGo(TOLLERANCE& r, double max, double min, double worn);
void FillUnSeriesKey(int key, const TThreadLimits& t, bool jProfile, TOLLERANCE& r);
void FillUnsKey(int key, const TThreadLimits& t, bool jProfile, TOLLERANCE& r);
QString ClassText(int group, int toleranceClass, const QString& unchanged);

void CalcNpt(int key, int index, TOLLERANCE& r, double& d, double& tpi, TPipeSize& size);
bool CalcStraightPipe(INCHTHREAD& request, int key, int index, TOLLERANCE& r, double& d, double& tpi,
                      TPipeSize& size);
void CalcDryseal(int key, int index, TOLLERANCE& r, double& d, double& tpi, TPipeSize& size);
QString PipeDesignationFormat(int key);

} // namespace

// ---------------------------------------------------------------- plain gauges

bool ParseInchSize(QString& text, double& diameter)
{
    const QStringList parts = text.trimmed().split(u' ', Qt::SkipEmptyParts);
    double whole = 0, numerator = 0, denominator = 1;
    bool read = false;
    if (parts.size() == 1 && !parts[0].contains(u'/')) {
        read = ReadNumber(parts[0], whole);
    } else if (parts.size() == 1 || parts.size() == 2) {
        const QString fraction = parts.back();
        const qsizetype slash = fraction.indexOf(u'/');
        read = slash > 0 && (parts.size() == 1 || ReadNumber(parts[0], whole)) &&
               ReadNumber(fraction.left(slash), numerator) &&
               ReadNumber(fraction.mid(slash + 1), denominator);
        if (read && denominator == 0)
            return false; // the diameter stays as it was
    }
    const double value = whole + numerator / denominator;
    if (!read || !std::isfinite(value)) {
        diameter = 0;
        return false;
    }
    diameter = value;
    text = Format(QStringLiteral("%lg"), diameter);
    return true;
}

bool ParseDeviations(QString& text, double& upper, double& lower)
{
    // A class name written before the deviations, or two words, is not a
    // tolerance text.
    if (!text.isEmpty() && text[0].unicode() >= 65 && text[0].unicode() <= 122 && text.contains(u' '))
        return false;
    const QStringList tokens = text.split(u' ', Qt::SkipEmptyParts);
    if (tokens.isEmpty())
        return false;
    const QString& first = tokens[0];
    const QChar lead = first[0];
    if (lead != u'-' && lead != u'+' && !(lead >= u'0' && lead <= u'9')) {
        upper = lower = 0;
        text = first.toUpper();
        return true;
    }
    qsizetype classToken = 0;
    double high = 0, low = 0;
    if (first.startsWith(QStringLiteral("+-"))) {
        // "+-v": a symmetric tolerance, read as "+0v"
        QString value = first;
        value[1] = u'0';
        if (!ReadNumber(value, high))
            return false;
        low = -high;
        classToken = 1;
    } else {
        if (tokens.size() < 2 || !ReadNumber(first, high) || !ReadNumber(tokens[1], low))
            return false;
        if (high < low)
            std::swap(high, low);
        classToken = 2;
    }
    if (tokens.size() <= classToken)
        return false;
    upper = high;
    lower = low;
    text = tokens[classToken].toUpper();
    return true;
}

bool GaugeMakerTolerance(const QString& className, double diameter, double& tolerance)
{
    int column = -1;
    for (int i = 0; i < GaugeMakerClassCount; ++i)
        if (className == QLatin1String(GaugeMakerClassNames[i]))
            column = i;
    if (column < 0)
        return false;
    for (const TGaugeMakerRow& row : GaugeMakerToleranceTable) {
        if (row.Lower < diameter && diameter <= row.Upper) {
            tolerance = row.Tolerance[column] * 0.000001;
            return true;
        }
    }
    return false;
}

bool CalcAnsiClassLimits(TCalcText& diameterText, double upper, double lower, const QString& className,
                         TCalcText& classOut, TCalcText& designation, const CALIBRETYPE& type,
                         TOLLERANCE& result)
{
    const QString typed = diameterText.Text();
    QString size = typed;
    double d = 0;
    if (!ParseInchSize(size, d) || !std::isfinite(upper) || !std::isfinite(lower))
        return Fail();
    diameterText = size;
    classOut = className;
    QString text = typed + u'"';
    if (upper != 0 || lower != 0)
        text += Format(QStringLiteral("%+lf %+lf"), upper, lower);
    designation = text;
    double t = 0;
    if (!GaugeMakerTolerance(className, d, t))
        return Fail();

    const bool master = type.Role == 5;
    double maxP = 0, minP = 0, wornP = 0;
    if (type.Ring == 0 && !master) {
        maxP = d + lower + t;
        minP = d + lower;
        wornP = d + lower;
        result.MaxN = (d + upper) * MmPerInch;
        result.MinN = (d + upper - t) * MmPerInch;
    } else if (type.Ring == 1 && !master) {
        maxP = d + upper;
        minP = d + upper - t;
        wornP = d + upper;
        result.MaxN = (d + lower + t) * MmPerInch;
        result.MinN = (d + lower) * MmPerInch;
    } else if (type.Ring == 0) { // master plug
        maxP = d + t / 2;
        minP = d - t / 2;
        wornP = d - t / 2;
    } else if (type.Ring == 1) { // reference ring
        maxP = d + t / 2;
        minP = d - t / 2;
        wornP = d + t / 2;
    } else {
        return true;
    }
    result.MaxP = maxP * MmPerInch;
    result.MinP = minP * MmPerInch;
    result.LogP = wornP * MmPerInch;
    return true;
}

bool CalcAnsiLimits(TCalcText& diameterText, TCalcText& toleranceText, TCalcText& classOut,
                    TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result)
{
    QString className = toleranceText.Text();
    classOut = className;
    double upper = 0, lower = 0;
    if (!ParseDeviations(className, upper, lower))
        return Fail();
    toleranceText = className;
    classOut = QString();
    designation = QString();
    return CalcAnsiClassLimits(diameterText, upper, lower, className, classOut, designation, type, result);
}

// ---------------------------------------------------------------- unified screw threads

double RoundTo4Decimals(double x)
{
    // Single precision on purpose: the program's inch values have always
    // been rounded this way, and the limits it shows depend on it. Values
    // beyond the float range are no inch sizes and stay as they are.
    if (!(std::abs(x) < 1e30))
        return x;
    const float scaled = static_cast<float>(x) * 10000.0f + 0.5f;
    const float whole = std::floor(scaled);
    return static_cast<double>(whole * 0.0001f);
}

bool CalcUnTolerance(const INCHTHREAD& request, bool round, double& pdMin, double& pdMax, double& pdBasic,
                     double& pitch, double& td)
{
    const double d = request.Diameter;
    if (!(request.Tpi > 0) || !std::isfinite(request.Tpi) || !(d > 0) || !std::isfinite(d))
        return false;
    const double p = 1 / request.Tpi;
    double basic = d - 0.64952 * p;
    double tolerance = Class2ATolerance(d, EngagementLength(request.Series, request.Tpi, d, p), p);
    if (round) {
        basic = RoundTo4Decimals(basic);
        tolerance = RoundTo4Decimals(tolerance);
    }
    if (!LimitsByGroup(request.GaugeType.Group, request.ToleranceClass, basic, tolerance, pdMin, pdMax))
        return false;
    pitch = p;
    pdBasic = basic;
    td = tolerance;
    return true;
}

bool LookupUnGaugeA(const INCHTHREAD& request, double& w, double& l, double& a, double& q)
{
    return LookupA(request.Diameter, request.Diameter, request.Tpi, w, l, a, q);
}

bool LookupUnGaugeB(const INCHTHREAD& request, double& w, double& l, double& a, double& q)
{
    return LookupB(request.Diameter, request.Diameter, request.Tpi, w, l, a, q);
}

bool LookupUnsGaugeA(const INCHTHREAD& request, double& w, double& l, double& a, double& q)
{
    return LookupA(request.UnsDiameter, request.Diameter, request.Tpi, w, l, a, q);
}

bool LookupUnsGaugeB(const INCHTHREAD& request, double& w, double& l, double& a, double& q)
{
    return LookupB(request.UnsDiameter, request.Diameter, request.Tpi, w, l, a, q);
}

bool CalcUnSeries(const INCHTHREAD& request, TCalcText& diameterText, TCalcText& angleText,
                  TCalcText& pitchText, TCalcText& designation, TCalcText& toleranceText,
                  TCalcText& classText, bool jProfile, TOLLERANCE& result, bool round)
{
    TThreadLimits t;
    double pdBasic = 0, td = 0;
    if (!CalcUnTolerance(request, round, t.PDmin, t.PDmax, pdBasic, t.P, td))
        return Fail();
    if (round) {
        t.PDmin = RoundTo4Decimals(t.PDmin);
        t.PDmax = RoundTo4Decimals(t.PDmax);
    }
    result.MaxW = result.MinW = result.HoleW = NanValue();
    result.MaxW = RoundTo3Decimals(t.PDmax * MmPerInch);
    result.MinW = RoundTo3Decimals(t.PDmin * MmPerInch);

    t.D = request.Diameter;
    const int key = GaugeKey(request.GaugeType);
    const int cls = request.ToleranceClass;
    t.E = cls == 2 ? t.D : t.D - 0.3 * td;
    const double p = t.P;
    const double m0 = 0.05 * std::cbrt(p * p) + 0.03 * p / t.D;
    if (cls == 2) {
        t.M = MinorToleranceClass3(p, request.Tpi, m0);
    } else {
        const double m = 0.25 * p - 0.4 * p * p;
        t.M = m > m0 ? m : (0.394 * p < m0 ? 0.394 * p : m0);
    }

    bool found = true;
    switch (key) {
    case 200:
    case 201:
    case 202:
    case 300:
    case 301:
        found = LookupUnGaugeA(request, t.W, t.L, t.A, t.Q);
        break;
    case 203:
    case 204:
    case 302:
    case 303:
    case 400:
    case 401:
    case 402:
    case 500:
    case 501:
        found = LookupUnGaugeB(request, t.W, t.L, t.A, t.Q);
        break;
    default:
        break;
    }
    if (!found)
        return Fail();
    FillUnSeriesKey(key, t, jProfile, result);

    static const char* const series[2][4] = {{"UNC", "UNF", "UNEF", "UN"}, {"UNJC", "UNJF", "UNJEF", "UNJ"}};
    const int s = request.Series >= 0 && request.Series <= 2 ? request.Series : 3;
    diameterText = Format(QStringLiteral("%f"), pdBasic);
    angleText = QStringLiteral("60");
    pitchText = Format(QStringLiteral("%f"), p);
    designation = Format(QStringLiteral("%d - %s - %g %s PD %f"), request.DiameterGroup,
                         FractionText(request.Numerator, request.Denominator), request.Tpi,
                         series[jProfile ? 1 : 0][s], pdBasic);
    const int group = request.GaugeType.Group;
    if (group >= 2 && group <= 5)
        classText = ClassText(group, cls, classText.Text());
    toleranceText = classText.Text();
    ConvertToleranceToMm(result);
    return true;
}

double UnsNominalDiameter(double d)
{
    if (!(d > UnsNominalDiameterTable[0].Bound))
        return UnsNominalDiameterTable[0].Nominal;
    if (d >= UnsClosingBound)
        return 12;
    for (int i = 0; i < UnsNominalRowCount; ++i) {
        const double next =
            i + 1 < UnsNominalRowCount ? UnsNominalDiameterTable[i + 1].Bound : UnsClosingBound;
        if (UnsNominalDiameterTable[i].Bound < d && d <= next)
            return UnsNominalDiameterTable[i].Nominal;
    }
    return 12;
}

bool CalcUnsTolerance(INCHTHREAD& request, bool round, double& pdMin, double& pdMax, double& pdBasic,
                      double& pitch, double& td)
{
    if (!(request.Tpi > 0) || !std::isfinite(request.Tpi) || !(request.UnsDiameter > 0) ||
        !std::isfinite(request.UnsDiameter) || !(request.Diameter > 0))
        return false;
    const double p = 1 / request.Tpi;
    double basic = request.UnsDiameter - 0.64952 * p;
    double tolerance = Class2ATolerance(request.Diameter, 9 * p, p);
    if (round) {
        basic = RoundTo4Decimals(basic);
        tolerance = RoundTo4Decimals(tolerance);
    }
    request.Diameter = request.UnsDiameter;
    const int group = request.GaugeType.Group;
    if ((group == 2 || group == 3) &&
        !LimitsByGroup(group, request.ToleranceClass, basic, tolerance, pdMin, pdMax))
        return false;
    pitch = p;
    pdBasic = basic;
    td = tolerance;
    return true;
}

bool CalcUnsSpecial(INCHTHREAD& request, const TUnsEntry& entry, TCalcText& diameterText,
                    TCalcText& angleText, TCalcText& pitchText, TCalcText& designation,
                    TCalcText& toleranceText, TCalcText& classText, bool jProfile, TOLLERANCE& result,
                    bool round)
{
    request.UnsDiameterText = entry.Diameter;
    CutToCapacity(request.UnsDiameterText, INCHTHREAD::UnsDiameterTextCapacity);
    double d = 0;
    if (!ParseInchSize(request.UnsDiameterText, d))
        return Fail();
    request.UnsDiameter = d;
    request.Diameter = UnsNominalDiameter(d);

    double tpi = 0;
    if (!ReadNumber(entry.Tpi, tpi) || PitchIndex(tpi) < 0)
        return Fail();
    request.Tpi = tpi;
    if (entry.ToleranceClass >= 0 && entry.ToleranceClass <= 2)
        request.ToleranceClass = entry.ToleranceClass;

    TThreadLimits t;
    double pdBasic = 0, td = 0;
    if (!CalcUnsTolerance(request, round, t.PDmin, t.PDmax, pdBasic, t.P, td))
        return Fail();
    // A pitch too large for the typed diameter: no such thread.
    if (!ThreadBasicsExist(pdBasic, request.Diameter - UnMinorDiameterDepth * t.P))
        return RefusePitch();
    // The record is filled in a copy, so that a refusal leaves the caller's
    // record as it was.
    TOLLERANCE x = result;
    x.MaxW = x.MinW = x.HoleW = NanValue();
    x.MaxW = RoundTo3Decimals(t.PDmax * MmPerInch);
    x.MinW = RoundTo3Decimals(t.PDmin * MmPerInch);

    t.D = request.Diameter;
    const int key = GaugeKey(request.GaugeType);
    const int cls = request.ToleranceClass;
    t.E = cls == 2 ? t.D : t.D - 0.3 * td;
    const double p = t.P;
    const double m0 = 0.05 * std::cbrt(p * p) + 0.03 * p / t.D;
    if (cls == 2) {
        t.M = MinorToleranceClass3(p, tpi, m0);
    } else {
        const double m = 0.25 * p - 0.4 * p * p;
        if (m > m0)
            t.M = m;
        else if (0.394 * p < m0)
            t.M = 0.394 * p;
        else if (tpi < 4)
            t.M = 0.15 * p;
        else if (tpi > 80)
            t.M = m0;
        else
            t.M = m;
    }

    bool found = true;
    switch (key) {
    case 200:
    case 201:
    case 202:
    case 300:
    case 301:
    case 302:
    case 303:
        found = LookupUnsGaugeA(request, t.W, t.L, t.A, t.Q);
        break;
    case 203:
    case 204:
        found = LookupUnsGaugeB(request, t.W, t.L, t.A, t.Q);
        break;
    default:
        break;
    }
    if (!found)
        return Fail();
    FillUnsKey(key, t, jProfile, x);
    x.MedP = (x.MaxP + x.MinP) / 2;
    x.MedN = (x.MaxN + x.MinN) / 2;
    if (!LimitDiametersExist(x))
        return RefusePitch();

    diameterText = Format(QStringLiteral("%f"), pdBasic);
    pitchText = Format(QStringLiteral("%f"), p);
    angleText = QStringLiteral("60");
    designation =
        Format(jProfile ? QStringLiteral("%s - %g UNJS PD %f") : QStringLiteral("%s - %g UNS PD %f"),
               request.UnsDiameterText, tpi, pdBasic);
    const int group = request.GaugeType.Group;
    if (group == 2 || group == 3)
        classText = ClassText(group, cls, classText.Text());
    toleranceText = classText.Text();
    ConvertToleranceToMm(x);
    result = x;
    return true;
}

// ---------------------------------------------------------------- pipe threads

int InchPipeSizeCount(int key)
{
    if (key >= 600 && key <= 603)
        return NptRowCount;
    if (key >= 604 && key <= 606)
        return NpscRowCount;
    if (key >= 607 && key <= 611)
        return NpsmRowCount;
    if (key >= 612 && key <= 616)
        return NpslRowCount;
    if (key >= 700 && key <= 714)
        return DrysealRowCount;
    return 0;
}

bool InchPipeSize(int key, int index, TPipeSize& size)
{
    if (index < 0 || index >= InchPipeSizeCount(key))
        return false;
    if (key <= 603)
        size = NptTable[index].Size;
    else if (key <= 606)
        size = NpscTable[index].Size;
    else if (key <= 611)
        size = NpsmTable[index].Size;
    else if (key <= 616)
        size = NpslTable[index].Size;
    else
        size = DrysealSizes[index].Size;
    return true;
}

bool CalcPipeThread(INCHTHREAD& request, int sizeIndex, TCalcText& diameterText, TCalcText& angleText,
                    TCalcText& pitchText, TCalcText& designation, TOLLERANCE& result)
{
    const int key = GaugeKey(request.GaugeType);
    if (sizeIndex < 0 || sizeIndex >= InchPipeSizeCount(key))
        return false;
    double d = 0, tpi = 0;
    TPipeSize size{};
    if (key <= 603)
        CalcNpt(key, sizeIndex, result, d, tpi, size);
    else if (key <= 616) {
        if (!CalcStraightPipe(request, key, sizeIndex, result, d, tpi, size))
            return Fail();
    } else
        CalcDryseal(key, sizeIndex, result, d, tpi, size);

    designation =
        Format(PipeDesignationFormat(key), InchSizeText(size.Whole, size.Numerator, size.Denominator), tpi);
    diameterText = Format(QStringLiteral("%f"), d);
    if (tpi != 0)
        pitchText = Format(QStringLiteral("%f"), 1 / tpi);
    angleText = QStringLiteral("60");
    result.MedP = (result.MaxP + result.MinP) / 2;
    result.MedN = (result.MaxN + result.MinN) / 2;
    ConvertToleranceToMm(result);
    return true;
}

// ---------------------------------------------------------------- helpers

namespace {

// A number typed with "." or ","; false for an empty text, a text that is
// no number, or a value that is not finite.
bool ReadNumber(const QString& text, double& value)
{
    try {
        return TryParseNumber(text, value) && std::isfinite(value);
    } catch (const EConvertError&) {
        return false;
    }
}

// Keeps at most capacity UTF-16 units, never splitting a surrogate pair.
void CutToCapacity(QString& text, int capacity)
{
    if (text.size() <= capacity)
        return;
    int count = capacity;
    if (count > 0 && text.at(count - 1).isHighSurrogate())
        --count;
    text.truncate(count);
}

int GaugeKey(const CALIBRETYPE& type)
{
    return type.Group * 100 + type.Item;
}

int PitchIndex(double tpi)
{
    for (int i = 0; i < UnPitchCount; ++i)
        if (UnPitches[i] == tpi)
            return i;
    return -1;
}

const TUnGaugeRange* FindRange(const TUnGaugeRange* ranges, int count, double diameter)
{
    for (int i = 0; i < count; ++i)
        if (ranges[i].Lower < diameter && diameter <= ranges[i].Upper)
            return &ranges[i];
    return nullptr;
}

bool LookupA(double rangeDiameter, double diameter, double tpi, double& w, double& l, double& a, double& q)
{
    const TUnGaugeRange* range = FindRange(UnGaugeTolerancesA, UnGaugeRangeCountA, rangeDiameter);
    const int index = PitchIndex(tpi);
    if (!range || index < 0)
        return false;
    const TUnPitchRowA& row = UnPitchTableA[index];
    const double diameterTolerance = diameter > 4 ? row.QOver4 : row.QUpTo4;
    if (diameterTolerance == UnNotGiven)
        return false;
    w = range->W[index];
    l = row.Lead;
    a = row.HalfAngle;
    q = diameterTolerance;
    return true;
}

bool LookupB(double rangeDiameter, double diameter, double tpi, double& w, double& l, double& a, double& q)
{
    const TUnGaugeRange* range = FindRange(UnGaugeTolerancesB, UnGaugeRangeCountB, rangeDiameter);
    const int index = PitchIndex(tpi);
    if (!range || index < 0)
        return false;
    const TUnPitchRowB& row = UnPitchTableB[index];
    const double lead = diameter <= 0.5 ? row.LeadUpToHalf : row.LeadOverHalf;
    const double diameterTolerance = diameter <= 0.5 ? row.QUpToHalf
                                     : diameter <= 4 ? row.QUpTo4
                                                     : row.QOver4;
    if (lead == UnNotGiven || diameterTolerance == UnNotGiven)
        return false;
    w = range->W[index];
    l = lead;
    a = row.HalfAngle;
    q = diameterTolerance;
    return true;
}

// Length of engagement of the tolerance formula: the diameter for the coarse
// and fine series, 9 pitches for the extra-fine series; the constant-pitch
// series take the diameter for their coarse pitches (4, 6, 8 tpi) and 9
// pitches for the others (12 to 32 tpi).
double EngagementLength(int series, double tpi, double diameter, double pitch)
{
    switch (series) {
    case 0:
    case 1:
        return diameter;
    case 2:
        return 9 * pitch;
    default:
        return tpi <= 8 ? diameter : 9 * pitch;
    }
}

// Pitch-diameter tolerance of class 2A.
double Class2ATolerance(double diameter, double engagement, double pitch)
{
    return 0.0015 * std::cbrt(diameter) + 0.0015 * std::sqrt(engagement) + 0.015 * std::cbrt(pitch * pitch);
}

// The thread's pitch-diameter limits by the gauge group: 3 and 5 gauge
// external threads (classes 1A to 3A), 2 and 4 internal threads (1B to 3B).
// Other groups leave the limits alone.
bool LimitsByGroup(int group, int toleranceClass, double pdBasic, double td, double& pdMin, double& pdMax)
{
    if (group < 2 || group > 5)
        return true;
    if (toleranceClass < 0 || toleranceClass > 2)
        return false;
    if (group == 3 || group == 5) {
        if (toleranceClass == 2) {
            pdMax = pdBasic;
            pdMin = pdMax - 0.75 * td;
        } else {
            pdMax = pdBasic - 0.3 * td;
            pdMin = pdMax - (toleranceClass == 0 ? 1.5 : 1.0) * td;
        }
    } else {
        static const double factor[3] = {1.95, 1.3, 0.975};
        pdMin = pdBasic;
        pdMax = pdBasic + factor[toleranceClass] * td;
    }
    return true;
}

// Minor-diameter tolerance of class 3 internal threads.
double MinorToleranceClass3(double pitch, double tpi, double m0)
{
    if (0.394 * pitch < m0)
        return 0.394 * pitch;
    if (tpi >= 13 && tpi <= 80) {
        const double m = 0.23 * pitch - 1.5 * pitch * pitch;
        return m > m0 ? m : m0;
    }
    if (tpi <= 12 && 0.12 * pitch > m0)
        return 0.12 * pitch;
    return m0;
}

void SetGo(TOLLERANCE& r, double max, double min, double worn)
{
    r.MaxP = max;
    r.MinP = min;
    r.LogP = worn;
    r.MedP = (max + min) / 2;
}

void SetNoGo(TOLLERANCE& r, double max, double min, double worn)
{
    r.MaxN = max;
    r.MinN = min;
    r.LogN = worn;
    r.MedN = (max + min) / 2;
}

void FillUnSeriesKey(int key, const TThreadLimits& t, bool jProfile, TOLLERANCE& r)
{
    const double empty = NanValue();
    const double p = t.P;
    const auto goPlug = [&] {
        SetGo(r, t.PDmin + t.W, t.PDmin, t.PDmin);
        r.MaxPe = t.D + t.Q;
        r.MinPe = t.D;
        r.MaxPi = t.D - 1.2990375 * p;
        r.MinPi = empty;
    };
    const auto noGoPlug = [&](double minorQ) {
        SetNoGo(r, t.PDmax, t.PDmax - t.W, t.PDmax - t.W);
        r.MaxNe = t.PDmax + 0.4330125 * p;
        r.MinNe = r.MaxNe - t.Q;
        r.MaxNi = t.PDmax - 0.4330125 * p - minorQ;
        r.MinNi = empty;
    };
    const auto checkPlug = [&] {
        r.MaxPe = t.E + t.Q;
        r.MinPe = t.E;
        r.MaxPi = r.MinPi = empty;
    };

    switch (key) {
    case 200:
    case 400:
        goPlug();
        break;
    case 201:
        noGoPlug(0);
        break;
    case 401:
        noGoPlug(t.Q);
        break;
    case 202:
        goPlug();
        noGoPlug(0);
        break;
    case 402:
        goPlug();
        noGoPlug(t.Q);
        break;
    case 203:
        SetGo(r, t.PDmin + t.W, t.PDmin, t.PDmin + t.W);
        r.MaxPe = r.MinPe = empty;
        r.MaxPi = t.D - 1.51555 * p;
        r.MinPi = r.MaxPi - t.Q;
        break;
    case 204:
        SetGo(r, t.PDmax, t.PDmax - t.W, t.PDmax);
        r.MaxPe = r.MinPe = empty;
        r.MaxPi = t.D - 1.51555 * p + t.M;
        r.MinPi = r.MaxPi - t.Q;
        break;
    // Rings wear larger: their wear limit is their maximum.
    case 300:
    case 500: {
        SetGo(r, t.PDmax, t.PDmax - t.W, t.PDmax);
        // the larger minor diameter of UNJ threads (X-tolerance ring)
        const double unj = jProfile && key == 300 ? 0.108253125 * p : 0;
        r.MaxPi = t.PDmax - 0.4330125 * p + unj;
        r.MinPi = t.PDmax - 0.4330125 * p - t.Q + unj;
        r.MinPe = t.PDmax + 0.4330125 * p;
        r.MaxPe = empty;
        break;
    }
    case 301:
    case 501:
        SetNoGo(r, t.PDmin + t.W, t.PDmin, t.PDmin + t.W);
        r.MaxNi = t.PDmin - 0.2165065 * p + t.Q;
        r.MinNi = t.PDmin - 0.2165065 * p;
        r.MinNe = t.PDmin + 0.4330125 * p;
        r.MaxNe = empty;
        break;
    case 302:
        SetGo(r, t.PDmax, t.PDmax - t.W, t.PDmax - t.W);
        checkPlug();
        break;
    case 303:
        SetGo(r, t.PDmin + t.W, t.PDmin, t.PDmin);
        checkPlug();
        break;
    default:
        return;
    }
    r.TPasso = t.L;
    r.TSA = t.A;
}

void FillUnsKey(int key, const TThreadLimits& t, bool jProfile, TOLLERANCE& r)
{
    const double empty = NanValue();
    const double p = t.P;
    switch (key) {
    case 200:
    case 201:
    case 202:
    case 203:
    case 300:
    case 301:
        // as the UN series
        FillUnSeriesKey(key, t, jProfile, r);
        return;
    case 204:
        SetGo(r, t.PDmax + t.W, t.PDmax, t.PDmax + t.W);
        r.MaxPe = r.MinPe = empty;
        r.MaxPi = t.D - 1.51555 * p + t.M;
        r.MinPi = r.MaxPi - t.Q;
        break;
    case 302:
        SetGo(r, t.PDmax, t.PDmax - t.W, t.PDmax - t.W);
        SetNoGo(r, t.PDmin + t.W, t.PDmin, t.PDmin);
        r.MaxPe = t.E + t.Q;
        r.MinPe = t.E;
        r.MaxPi = r.MinPi = empty;
        break;
    case 303:
        SetGo(r, t.PDmin + t.W, t.PDmin, t.PDmin);
        SetNoGo(r, t.PDmin + t.W, t.PDmin, t.PDmin);
        r.MaxNe = t.E + t.Q;
        r.MinNe = t.E;
        r.MaxNi = r.MinNi = empty;
        break;
    default:
        return;
    }
    r.TPasso = t.L;
    r.TSA = t.A;
}

// "1A", "2A", "3A" for gauges of external threads (odd groups), "1B" ...
// for internal ones.
QString ClassText(int group, int toleranceClass, const QString& unchanged)
{
    if (toleranceClass < 0 || toleranceClass > 2)
        return unchanged;
    return QString::number(toleranceClass + 1) + (group % 2 == 0 ? u'B' : u'A');
}

// ---- pipe threads

void CalcNpt(int key, int index, TOLLERANCE& r, double& d, double& tpi, TPipeSize& size)
{
    const TNptRow& row = NptTable[index];
    const double empty = NanValue();
    const double t = row.T * 0.0001 * (key >= 602 ? 0.5 : 1); // the masters take half the tolerance
    const bool ring = key == 601 || key == 603;
    r.MaxP = row.E1 + t;
    r.MinP = row.E1 - t;
    r.LogP = ring ? r.MaxP : r.MinP;
    if (ring) {
        r.MaxPe = r.MinPe = empty;
        r.MaxPi = row.MinorAtGauge + row.MinorTolerance;
        r.MinPi = row.MinorAtGauge;
        r.TPasso = row.LeadRing;
        r.TSA = row.HalfAngleRing;
    } else {
        r.MaxPe = row.MajorAtGauge;
        r.MinPe = row.MajorAtGauge - row.MajorTolerance;
        r.MaxPi = r.MinPi = empty;
        r.TPasso = row.LeadPlug;
        r.TSA = row.HalfAnglePlug;
    }
    r.HMis1 = row.L1;
    d = row.D;
    tpi = row.Tpi;
    size = row.Size;
}

bool CalcStraightPipe(INCHTHREAD& request, int key, int index, TOLLERANCE& r, double& d, double& tpi,
                      TPipeSize& size)
{
    const TStraightPipeRow& row = key <= 606   ? NpscTable[index]
                                  : key <= 611 ? NpsmTable[index]
                                               : NpslTable[index];
    request.Diameter = row.D;
    request.Tpi = row.Tpi;
    d = row.D;
    tpi = row.Tpi;
    size = row.Size;
    const double p = row.Tpi != 0 ? 1 / row.Tpi : 0;
    double w = 0, l = 0, a = 0, q = 0;
    if (!LookupUnGaugeA(request, w, l, a, q))
        return false;
    r.TPasso = l;
    r.TSA = a;

    const double empty = NanValue();
    const int item = key <= 606 ? key - 604 : key <= 611 ? key - 607 : key - 612;
    const bool ringGauge = key >= 610 && key != 612 && key != 613 && key != 614;
    r.MaxW = r.MinW = r.HoleW = empty;
    r.MaxW = RoundTo3Decimals((ringGauge ? row.ePDmax : row.PDmax) * MmPerInch);
    r.MinW = RoundTo3Decimals((ringGauge ? row.ePDmin : row.PDmin) * MmPerInch);

    const bool goPlug = !ringGauge && (item == 0 || item == 2);
    const bool noGoPlug = !ringGauge && (item == 1 || item == 2);
    if (goPlug) {
        r.MaxP = row.PDmin + w;
        r.MinP = row.PDmin;
        r.LogP = r.MinP;
        r.MaxPe = row.PDmin + 0.649519 * p + q;
        r.MinPe = row.PDmin + 0.649519 * p;
        r.MaxPi = row.PDmax - 0.4330125 * p;
        r.MinPi = empty;
    }
    if (noGoPlug) {
        r.MaxN = row.PDmax;
        r.MinN = row.PDmax - w;
        r.LogN = r.MinN;
        r.MaxNe = row.PDmax + (key == 605 ? 0.4330125 : 0.433013) * p;
        r.MinNe = r.MaxNe - q;
        r.MaxNi = row.PDmax - 0.4330125 * p;
        r.MinNi = empty;
    }
    if (key == 610 || key == 615) {
        r.MaxP = row.ePDmax;
        r.MinP = row.ePDmax - w;
        r.LogP = r.MaxP;
        r.MaxPi = row.ePDmax - 0.433013 * p;
        r.MinPi = r.MaxPi - q;
        r.MinPe = row.ePDmax + 0.4330125 * p;
        r.MaxPe = empty;
    } else if (key == 611 || key == 616) {
        r.MaxN = row.ePDmin + w;
        r.MinN = row.ePDmin;
        r.LogN = r.MaxN;
        r.MaxNi = row.ePDmin - 0.216506 * p + q;
        r.MinNi = row.ePDmin - 0.216506 * p;
        r.MinNe = row.ePDmax + 0.4330125 * p;
        r.MaxNe = empty;
    }
    return true;
}

// The dryseal gauge tables, each a choice of columns of the tables by size.
enum class TDryseal {
    NptfL1Plug,
    NptfL1Ring,
    PtfL1Plug,
    PtfL1Ring,
    NptfL3Plug,
    NptfL2Ring,
    PtfL3Plug,
    PtfL2Ring,
    NpsiL1Plug,
    MasterPlug,
    MasterRing,
};

struct TDrysealColumns {
    int E;
    int L; // -1: no gauge length (the L3 plugs)
    int Dg;
    bool Ring;
    bool Master;
};

constexpr TDrysealColumns DrysealColumns[] = {
    {EL1, LNptfL1, DgNptfL1Plug, false, false},      // NPTF L1 plug
    {EL1, LNptfL1, DgL1Ring, true, false},           // NPTF L1 ring
    {EPtfL1Plug, LPtfL1, DgPtfL1Plug, false, false}, // PTF-SAE L1 plug
    {EL1, LPtfL1, DgL1Ring, true, false},            // PTF-SAE L1 ring
    {EL3Plug, -1, DgL3Plug, false, false},           // NPTF L3 plug
    {EL2Ring, LNptfL2Ring, DgL2Ring, true, false},   // NPTF L2 ring
    {EL3Plug, -1, DgL3Plug, false, false},           // PTF-SAE L3 plug
    {EL2Ring, LPtfL2Ring, DgL2Ring, true, false},    // PTF-SAE L2 ring
    {EL1, LNptfL1, DgNptfL1Plug, false, false},      // NPSI L1 plug
    {EL1, LMaster, DgMasterPlug, false, true},       // master plug
    {EL1, LMaster, DgMasterRing, true, true},        // master ring
};

struct TDrysealGauge {
    double Max; // pitch-diameter limits
    double Min;
    double Length; // gauge length
    double Dg;     // major diameter of a plug, minor of a ring, at the gauge plane
    bool Ring;
    const TDrysealTolerances* Tolerances;
};

TDrysealGauge DrysealGauge(TDryseal table, int index)
{
    const TDrysealColumns& c = DrysealColumns[int(table)];
    const TDrysealSizeRow& size = DrysealSizes[index];
    const double t = (c.Master ? size.MasterT : size.T) * 0.0001;
    const double e = DrysealE[index][c.E];
    return {e + t,
            e - t,
            c.L < 0 ? 0 : DrysealL[index][c.L],
            DrysealDg[index][c.Dg],
            c.Ring,
            c.Master ? &DrysealMasterTolerances[index] : &DrysealWorkingTolerances[index]};
}

// A ring's diameter at the gauge plane is its minor diameter, so it goes to
// the minor-diameter fields (as for the NPT rings), a plug's to the major.
void FillDrysealGo(const TDrysealGauge& g, TOLLERANCE& r)
{
    const double empty = NanValue();
    r.MaxP = g.Max;
    r.MinP = g.Min;
    r.LogP = g.Ring ? g.Max : g.Min;
    if (g.Ring) {
        r.MaxPi = g.Dg + g.Tolerances->MinorTolerance;
        r.MinPi = g.Dg;
        r.MaxPe = r.MinPe = empty;
    } else {
        r.MaxPe = g.Dg;
        r.MinPe = g.Dg - g.Tolerances->MajorTolerance;
        r.MaxPi = r.MinPi = empty;
    }
    r.TPasso = g.Ring ? g.Tolerances->LeadRing : g.Tolerances->LeadPlug;
    r.TSA = g.Ring ? g.Tolerances->HalfAngleRing : g.Tolerances->HalfAnglePlug;
    r.HMis1 = g.Length;
}

void FillDrysealNoGo(const TDrysealGauge& g, TOLLERANCE& r)
{
    const double empty = NanValue();
    r.MaxN = g.Max;
    r.MinN = g.Min;
    r.LogN = g.Ring ? g.Max : g.Min;
    if (g.Ring) {
        r.MaxNi = g.Dg + g.Tolerances->MinorTolerance;
        r.MinNi = g.Dg;
        r.MaxNe = r.MinNe = empty;
    } else {
        r.MaxNe = g.Dg;
        r.MinNe = g.Dg - g.Tolerances->MajorTolerance;
        r.MaxNi = r.MinNi = empty;
    }
    r.HMis2 = g.Length;
}

void CalcDryseal(int key, int index, TOLLERANCE& r, double& d, double& tpi, TPipeSize& size)
{
    // Go table and (for the combined gauges 711 to 714) No-go table by key.
    static const TDryseal go[] = {
        TDryseal::NptfL1Plug, TDryseal::NptfL1Ring, TDryseal::PtfL1Plug,  TDryseal::PtfL1Ring,
        TDryseal::NptfL3Plug, TDryseal::NptfL2Ring, TDryseal::PtfL3Plug,  TDryseal::PtfL2Ring,
        TDryseal::NpsiL1Plug, TDryseal::MasterPlug, TDryseal::MasterRing, TDryseal::NptfL1Plug,
        TDryseal::NptfL1Ring, TDryseal::PtfL1Plug,  TDryseal::PtfL1Ring,
    };
    static const TDryseal noGo[] = {TDryseal::NptfL3Plug, TDryseal::NptfL2Ring, TDryseal::PtfL3Plug,
                                    TDryseal::PtfL2Ring};
    FillDrysealGo(DrysealGauge(go[key - 700], index), r);
    if (key >= 711)
        FillDrysealNoGo(DrysealGauge(noGo[key - 711], index), r);
    d = DrysealSizes[index].D;
    tpi = DrysealSizes[index].Tpi;
    size = DrysealSizes[index].Size;
}

QString PipeDesignationFormat(int key)
{
    if (key <= 603)
        return QStringLiteral("%s %g NPT");
    if (key <= 606)
        return QStringLiteral("%s %g NPSC");
    if (key <= 611)
        return QStringLiteral("%s %g NPSM");
    if (key <= 616)
        return QStringLiteral("%s %g NPSL");
    switch (key) {
    case 700:
    case 701:
        return QStringLiteral("%s %g NPTF - L1");
    case 702:
    case 703:
        return QStringLiteral("%s %g PTF-SAE - L1");
    case 704:
        return QStringLiteral("%s %g NPTF - L3");
    case 705:
        return QStringLiteral("%s %g NPTF - L2");
    case 706:
        return QStringLiteral("%s %g PTF-SAE - L3");
    case 707:
        return QStringLiteral("%s %g PTF-SAE - L2");
    case 708:
        return QStringLiteral("%s %g NPSI - L1");
    case 709:
    case 710:
        return QStringLiteral("%s %g NPTF - L1 L2");
    case 711:
        return QStringLiteral("%s %g NPTF - L1/L3");
    case 712:
        return QStringLiteral("%s %g NPTF - L1/L2");
    case 713:
        return QStringLiteral("%s %g PTF-SAE - L1/L3");
    default:
        return QStringLiteral("%s %g PTF-SAE - L1/L2");
    }
}

} // namespace
