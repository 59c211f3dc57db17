#include "app/core/Uconvert.h"

#include "app/core/ContactCoefficients_p.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/RtlMath.h"

#include <algorithm>
#include <cmath>

namespace {

// Elastic constants of the wire, ball and workpiece materials, in the order
// of the measuring tab's material list: Poisson's ratio, Young's modulus in
// pascal. The workpiece is always steel (row 0).
struct TMaterial {
    double Poisson;
    double Young; // Pa
};
constexpr TMaterial Materials[ConvertMaterialCount] = {
    {0.29, 2.05e11},  // steel
    {0.22, 6.0e11},   // tungsten
    {0.345, 7.19e10}, // aluminium
    {0.23, 2.0e11},   // ceramic
    {0.254, 3.8e11},  // ruby
};

constexpr double Pi = 3.141592653589793;
constexpr double OneOverPi = 0.3183098861837907;
constexpr double DegToRad = 0.017453292519943295;
constexpr double OneOver180 = 1.0 / 180.0;
constexpr double Gravity = 9.8;         // force as entered -> newtons
constexpr double ScaleFactor = 1.00049; // scale of the short and scaled wire formulas
constexpr double ThreePi = 9.42477796076938;
constexpr double TwoThirds = 0.6666666666666666;
constexpr double OneThird = 0.3333333333333333;
constexpr double Fallback3Wire = -1.0;
constexpr double FallbackZero = 0.0;
constexpr double FallbackApproach = -1.0;

double Div(double a, double b)
{
    return CheckedDivide(a, b);
}

double Fin(double x)
{
    return CheckFinite(x);
}

// Signed cube root: pow(|v|, 1/3) with the sign of v.
double Cbrt(double v)
{
    const double root = std::pow(std::fabs(Fin(v)), 1.0 / 3.0);
    return v < 0 ? -root : root;
}

double Sqr(double v)
{
    return Fin(v * v);
}

// (1 - nu^2) / (pi E) of a material.
double Compliance(int material)
{
    if (material < 0 || material >= ConvertMaterialCount)
        throw EInvalidOp(
            Format(QStringLiteral("Material index %d outside 0..%d"), material, ConvertMaterialCount - 1));
    const TMaterial& m = Materials[material];
    return Div(1 - m.Poisson * m.Poisson, Pi * m.Young);
}

// The starts as the methods take them: truncated, 0 as 1. Raises for a
// count that is no number or no 64-bit integer.
double WholeStarts(double starts)
{
    const double n = double(Trunc(starts));
    return n == 0 ? 1.0 : n;
}

// The axial offset of the arms' two balls on a thread of n whole starts:
// half a turn moves the grooves half a lead, n P / 2, and they repeat every
// pitch, so the groove opposite a ball lies P / 2 away for odd n and in the
// ball's own plane for even n.
double BallOffset(double pitch, double n)
{
    return std::fmod(std::fabs(n), 2) == 1 ? pitch / 2 : 0.0;
}

// The start shared by the three methods.
struct TStart {
    double M;  // reading, negative taken as 0
    double F;  // force in newtons
    double n;  // starts, whole, at least 1
    double a1; // radians
    double a2;
    double L; // lead
};

TStart CommonStart(double reading, double force, double starts, double semiAngle1, double semiAngle2,
                   double pitch)
{
    TStart s;
    s.M = reading < 0 ? 0.0 : Fin(reading);
    s.F = Fin(force * Gravity);
    s.n = WholeStarts(starts);
    s.a1 = Fin(semiAngle1 * DegToRad);
    s.a2 = Fin(semiAngle2 * DegToRad);
    s.L = Fin(s.n * pitch);
    return s;
}

enum class TCRule {
    Validate, // C^2 above 1 makes the result invalid
    ClampOne, // C^2 above 1 gives C = 1
};

// The terms of the pitch-diameter formulas after the lead angle psi.
struct TTerms {
    double A;
    double B;
    double C;
    double G;
    double H;
    bool Valid = true;
};

TTerms CommonTerms(double X, const TStart& s, double d, double psi, TCRule rule)
{
    const double half = (s.a1 - s.a2) / 2;
    const double sumHalf = (s.a1 + s.a2) / 2;
    TTerms t;
    t.A = Fin(std::cos(psi) * X);
    t.B = Div(std::cos(half), std::sin(sumHalf));
    const double c = Div(std::sin(psi) * X, std::cos(half) * d);
    const double c2 = Sqr(c);
    if (c2 <= 1) {
        t.C = std::sqrt(1 - c2);
    } else if (rule == TCRule::ClampOne) {
        t.C = 1;
    } else {
        t.C = c;
        t.Valid = false;
    }
    t.G = Fin(Div(s.L, s.n) - OneOverPi * 2 * s.L * psi);
    t.H = Div(std::cos(s.a1) * std::cos(s.a2), std::sin(s.a1 + s.a2));
    return t;
}

// Contact approach (mm) of a ball in a seat (hollow or convex) under the
// load F (N) for the curvature ratio x and the relative radius R (m).
double SeatApproachUnderLoad(double F, double x, double R, double k1, double k2)
{
    const double K = 0.75 * (k1 + k2);
    double c1 = 0;
    double c2 = 0;
    ContactCoefficients(x, c1, c2);
    return Fin(1000 * Div(2 * K * F * c1, Cbrt(2 * K * F * R * c2)));
}

// The same for the measuring force (kg).
double SeatApproach(double force, double x, double R, double k1, double k2)
{
    return SeatApproachUnderLoad(Fin(force * Gravity), x, R, k1, k2);
}

// Curvature ratio and relative radius (m) of a ball of diameter d (mm) in a
// hollow seat of diameter seat (mm).
struct THollowSeat {
    double x;
    double R;
};

THollowSeat HollowSeatCurvature(double d, double seat)
{
    return {1 - Div(d, seat), Div(1, Div(1000, d) - Div(1000, seat))};
}

// Approach (mm) of a ball pressed by the load F (N) against a body: k the sum
// of the two compliances, curvature the sum of the two curvatures (1/m).
double BallApproach(double F, double k, double curvature)
{
    return Fin(1000 * (CheckedPower(ThreePi, TwoThirds) * 0.5) * CheckedPower(F, TwoThirds) *
               CheckedPower(k, TwoThirds) * CheckedPower(curvature, OneThird));
}

} // namespace

void CONVERT::SetForce(double force, uint8_t noCompensation)
{
    FForce = force;
    FNoCompensation = noCompensation;
}

void CONVERT::SetThreeWire(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                           int material, double starts)
{
    FMode = 1;
    FDiameter = diameter;
    FSemiAngle1 = semiAngle1;
    FSemiAngle2 = semiAngle2;
    FPitch = pitch;
    FWire = wire;
    FMaterial = material;
    FStarts = starts;
}

void CONVERT::SetArms(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                      double secondDiameter, int material, int secondMaterial, double starts)
{
    SetBodies(2, diameter, semiAngle1, semiAngle2, pitch, wire, secondDiameter, material, secondMaterial,
              starts);
}

void CONVERT::SetTSphere(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                         double secondDiameter, int material, int secondMaterial, double starts)
{
    SetBodies(6, diameter, semiAngle1, semiAngle2, pitch, wire, secondDiameter, material, secondMaterial,
              starts);
}

void CONVERT::SetReference(double value, double angle, double pitch)
{
    FReferenceValue = value;
    FReferenceAngle = angle;
    FReferencePitch = pitch;
}

void CONVERT::SetOffsets(double addend, double divisor)
{
    FAddend = addend;
    FDivisor = divisor;
}

void CONVERT::SetContactLength(double length)
{
    FContactLength = length;
}

double CONVERT::Convert(double reading) const
{
    const double M = reading;
    FStatus = TConvertStatus::Computed;
    switch (FMode) {
    case 0:
        return M;
    case 1:
        return ThreeWire(M);
    case 2:
        return Arms(M);
    case 3:
        return FDiameter - FReferenceValue + M - FWire;
    case 4:
        return ReferenceComparison(M);
    case 5:
        return M + FWire;
    case 6:
        return TSphere(M);
    case 7:
        return ShortWire(M);
    case 8:
        return M + FAddend;
    case 9:
        return FDivisor == 0 ? M : M / FDivisor;
    case 10:
        return CorrectedShortWire(M);
    case 11:
    case 17:
        return M + TwoSphere();
    case 12:
    case 15:
    case 18:
    case 21:
        return M + 2 * SpherePlane();
    case 13:
        return M + 2 * ConvexSeat(FSecondDiameter);
    case 19:
        return M + 2 * ConvexSeat(M);
    case 14:
        return M + 2 * LineContact(FSecondDiameter);
    case 20:
        return M + 2 * LineContact(M);
    case 16:
        return M + 2 * HollowSeat(FSecondDiameter);
    case 22:
        return M + 2 * HollowSeat(M);
    case 23:
        return ThreeWireScaled(M);
    default:
        return Mark(TConvertStatus::Failed, 0.0);
    }
}

bool CONVERT::ReadingTouches(double reading) const
{
    if (FMode != 1 && FMode != 2 && FMode != 6 && FMode != 23)
        return true;
    double n = 0;
    try {
        n = WholeStarts(FStarts);
    } catch (const Exception&) {
        return false;
    }
    if (!(reading > 0 && FPitch > 0))
        return false;
    const double gap = reading - FWire;
    if (!(gap > 0))
        return false;
    const double offset = BallOffset(FPitch, n);
    return FMode != 2 || gap * gap - offset * offset > 0;
}

bool CONVERT::ReadingOf(double pitchDiameter, double guess, double& reading) const
{
    if (!std::isfinite(guess) || !PitchDiameterPlausible(pitchDiameter))
        return false;
    // A reading and how far its pitch diameter lies from the one sought.
    struct TPoint {
        double Reading;
        double Miss;
    };
    // The point of reading r; false where r gives no pitch diameter.
    const auto at = [&](double r, TPoint& point) {
        if (!std::isfinite(r) || !ReadingTouches(r))
            return false;
        const double d2 = Convert(r);
        if (Status() != TConvertStatus::Computed || !std::isfinite(d2))
            return false;
        point = {r, d2 - pitchDiameter};
        return true;
    };
    TPoint middle{};
    if (!at(guess, middle))
        return false;
    // Widen a bracket around the guess, doubling its half width, until the
    // pitch diameter sought lies between its ends. Across it the conversion
    // must give a pitch diameter and rise with the reading: a lead so steep
    // that a reading as far below the guess as the answer lies above it
    // (or above as below) gives none is no thread to measure over wires.
    // The pitch diameter rises about as fast as the reading, so a bracket
    // reaching twice the band's width to either side would hold any in it.
    const double reach = 2 * (PitchDiameterBandBelow(FStarts) + PitchDiameterBandAbove) * FPitch;
    TPoint low = middle;
    TPoint high = middle;
    for (double half = 0.001; low.Miss > 0 || high.Miss < 0; half *= 2) {
        TPoint below{};
        TPoint above{};
        if (!(half <= reach) || !at(guess - half, below) || !at(guess + half, above) ||
            !(below.Miss < low.Miss) || !(above.Miss > high.Miss))
            return false;
        low = below;
        high = above;
    }
    // Halve the half of the bracket that holds the pitch diameter sought,
    // whose misses lie at or below 0 and at or above it, down to a
    // thousandth of a micrometre.
    (middle.Miss <= 0 ? low : high) = middle;
    while (high.Reading - low.Reading > ReadingTolerance / 10 && low.Miss < 0 && high.Miss > 0) {
        const double r = low.Reading + (high.Reading - low.Reading) / 2;
        if (r <= low.Reading || r >= high.Reading || !at(r, middle) || middle.Miss < low.Miss ||
            middle.Miss > high.Miss)
            return false;
        (middle.Miss <= 0 ? low : high) = middle;
    }
    // The reading to a hundredth of a micrometre, as near as the halving
    // came where that step is too coarse.
    const double closest = -low.Miss <= high.Miss ? low.Reading : high.Reading;
    for (const double found : {std::round(closest / ReadingTolerance) * ReadingTolerance, closest}) {
        TPoint point{};
        if (at(found, point) && std::fabs(point.Miss) <= ReadingTolerance &&
            PitchDiameterPlausible(pitchDiameter + point.Miss)) {
            reading = found;
            return true;
        }
    }
    return false;
}

bool CONVERT::PitchDiameterPlausible(double pitchDiameter) const
{
    return PitchDiameterInBand(FDiameter, FPitch, pitchDiameter, FStarts);
}

double PitchDiameterBandBelow(double starts)
{
    constexpr double Fixed = 0.9;     // pitches: basic pitch diameter and fundamental deviation
    constexpr double Tolerance = 0.6; // pitches: widest tolerance of a single start
    constexpr double WideningPerStart = 0.15;
    constexpr double WideningMost = 1.6;
    const double n = std::trunc(starts);
    double widening = WideningMost; // also for a count that is no number
    if (n <= 1)
        widening = 1;
    else if (n > 1)
        widening = std::min(1 + WideningPerStart * (n - 1), WideningMost);
    return Fixed + Tolerance * widening;
}

bool PitchDiameterInBand(double diameter, double pitch, double pitchDiameter, double starts)
{
    return pitchDiameter > 0 && pitchDiameter >= diameter - PitchDiameterBandBelow(starts) * pitch &&
           pitchDiameter <= diameter + PitchDiameterBandAbove * pitch;
}

double CONVERT::Mark(TConvertStatus status, double value) const
{
    FStatus = status;
    return value;
}

void CONVERT::SetBodies(int mode, double diameter, double semiAngle1, double semiAngle2, double pitch,
                        double wire, double secondDiameter, int material, int secondMaterial, double starts)
{
    FMode = mode;
    FDiameter = diameter;
    FSemiAngle1 = semiAngle1;
    FSemiAngle2 = semiAngle2;
    FPitch = pitch;
    FWire = wire;
    FSecondDiameter = secondDiameter;
    FMaterial = material;
    FSecondMaterial = secondMaterial;
    FStarts = starts;
}

double CONVERT::ThreeWire(double reading) const
{
    try {
        const TStart s = CommonStart(reading, FForce, FStarts, FSemiAngle1, FSemiAngle2, FPitch);
        const double d = FWire;
        const double X = Fin(s.M - d);
        // A failed lead angle is a failed conversion, not a result.
        const double psi = LeadAngle(X, s.a1, s.a2, s.L, d, -1.0);
        const TTerms t = CommonTerms(X, s, d, psi, TCRule::Validate);
        if (!t.Valid)
            return Mark(TConvertStatus::ReadingNotUsable, s.M);
        const double d2 = Fin(t.G * t.H + t.A - d * t.B * t.C);
        if (d2 < d)
            return Mark(TConvertStatus::ReadingNotUsable, s.M);
        if (FNoCompensation != 0)
            return d2;

        // Hertzian approach of wire and flanks, lengths in metres.
        const double a1 = s.a1;
        const double a2 = s.a2;
        const double Dm = 0.001 * FDiameter;
        const double Pm = Div(0.001 * FPitch, std::tan(a1) + std::tan(a2));
        const double dm = Div(0.001 * d, 2 * std::tan((a1 + a2) / 2));
        const double r1 = Dm - 2 * (Pm - std::cos(a2) * dm);
        const double r2 = Dm - 2 * (Pm - std::cos(a1) * dm);
        const double x1 = Div(std::sin(a1) * 0.001 * d, r1);
        const double x2 = Div(std::sin(a2) * 0.001 * d, r2);
        double c1a = 0, c2a = 0, c1b = 0, c2b = 0;
        ContactCoefficients(x1, c1a, c2a);
        ContactCoefficients(x2, c1b, c2b);
        const double k = 0.75 * (Compliance(0) + Compliance(FMaterial));
        const double S1 = std::tan(a2) * std::cos(a1) + std::sin(a1);
        const double S2 = std::tan(a1) * std::cos(a2) + std::sin(a2);
        const double Q1 = Cbrt(Div(Div(2 * k * s.F * r1 * c2a, std::sin(a1)), S1));
        const double Q2 = Cbrt(Div(Div(2 * k * s.F * r2 * c2b, std::sin(a2)), S2));
        const double A1 = Div(Div(2 * k * s.F * c1a, Q1), S1);
        const double A2 = Div(Div(2 * k * s.F * c1b, Q2), S2);
        const double correction = 2000 * Div(std::cos(a2) * A1 + std::cos(a1) * A2, std::sin(a1 + a2));
        return Fin(d2 + correction);
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, Fallback3Wire);
    }
}

double CONVERT::ThreeWireScaled(double reading) const
{
    try {
        const TStart s = CommonStart(reading, FForce, FStarts, FSemiAngle1, FSemiAngle2, FPitch);
        const double d = FWire;
        const double X = Fin((s.M - d) * ScaleFactor);
        const double psi = LeadAngle(X, s.a1, s.a2, s.L, d, -1.0);
        const TTerms t = CommonTerms(X, s, d, psi, TCRule::ClampOne);
        return Fin(t.G * t.H + t.A - d * t.B * t.C);
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, Fallback3Wire);
    }
}

double CONVERT::Arms(double reading) const
{
    try {
        const TStart s = CommonStart(reading, FForce, FStarts, FSemiAngle1, FSemiAngle2, FPitch);
        const double d = FWire;
        const double E = Fin(s.M - d);
        const double offset = BallOffset(FPitch, s.n);
        const double Q = Fin(E * E - offset * offset);
        bool valid = true;
        double X = 1;
        if (Q >= 0)
            X = std::sqrt(Q);
        else
            valid = false;
        const double psi = LeadAngle(X, s.a1, s.a2, s.L, d, 1.0);
        const TTerms t = CommonTerms(X, s, d, psi, TCRule::Validate);
        if (!valid || !t.Valid)
            return Mark(TConvertStatus::ReadingNotUsable, s.M);
        const double d2 = Fin(d * t.B * t.C + t.A - t.G * t.H);
        if (FNoCompensation != 0)
            return d2;
        return Fin(d2 - FlankCorrection(s.a1, s.a2, s.F) + SeatCorrection(s.F));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackZero);
    }
}

double CONVERT::TSphere(double reading) const
{
    try {
        const TStart s = CommonStart(reading, FForce, FStarts, FSemiAngle1, FSemiAngle2, FPitch);
        const double d = FWire;
        const double X = Fin(s.M - d);
        const double psi = LeadAngle(X, s.a1, s.a2, s.L, d, 1.0);
        const TTerms t = CommonTerms(X, s, d, psi, TCRule::Validate);
        // The square root of a negative number: the sphere cannot sit on
        // both flanks. The fallback stays the value, but it is no failure
        // of the calculation.
        if (!t.Valid)
            return Mark(TConvertStatus::ReadingNotUsable, FallbackZero);
        const double d2 = Fin(d * t.B * t.C + t.A - t.G * t.H);
        if (FNoCompensation != 0)
            return d2;
        return Fin(d2 - FlankCorrection(s.a1, s.a2, s.F) + SeatCorrection(s.F));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackZero);
    }
}

// Flattening of the ball against the flanks (arms and T-sphere), lengths in
// millimetres.
double CONVERT::FlankCorrection(double a1, double a2, double F) const
{
    const double d = FWire;
    const double Pm = Div(FPitch, std::tan(a1) + std::tan(a2));
    const double dm = Div(d, 2 * std::tan((a1 + a2) / 2));
    const double r1 = FDiameter - 2 * (Pm - std::cos(a2) * dm);
    const double r2 = FDiameter - 2 * (Pm - std::cos(a1) * dm);
    const double x1 = Div(1, Div(std::sin(a1) * d, r1) + 1);
    const double x2 = Div(1, Div(std::sin(a2) * d, r2) + 1);
    double c1a = 0, c2a = 0, c1b = 0, c2b = 0;
    ContactCoefficients(x1, c1a, c2a);
    ContactCoefficients(x2, c1b, c2b);
    const double K = 0.75 * (Compliance(0) + Compliance(FMaterial));
    const double S1 = std::sin(a1) + std::cos(a1) * std::tan(a2);
    const double S2 = std::sin(a2) + std::cos(a2) * std::tan(a1);
    const double Q1 = Cbrt(Div(2 * K * F * 0.001 * d * c2a, S1));
    const double Q2 = Cbrt(Div(2 * K * F * 0.001 * d * c2b, S2));
    const double A1 = Div(Div(2 * K * F * c1a, Q1), S1);
    const double A2 = Div(Div(2 * K * F * c1b, Q2), S2);
    return Fin(2000 * Div(std::cos(a2) * A1 + std::cos(a1) * A2, std::sin(a1 + a2)));
}

// Flattening of the ball in its seat (arms and T-sphere).
double CONVERT::SeatCorrection(double F) const
{
    const THollowSeat seat = HollowSeatCurvature(FWire, FSecondDiameter);
    return Fin(2 * SeatApproachUnderLoad(F, seat.x, seat.R, Compliance(FSecondMaterial), Compliance(FMaterial)));
}

double CONVERT::ShortWire(double reading) const
{
    try {
        const double h = Fin(FSemiAngle1 * OneOver180 * Pi * 0.5);
        return Fin((reading - FWire) * ScaleFactor + Div(FPitch, 2 * std::tan(h)) - Div(FWire, std::sin(h)));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackZero);
    }
}

double CONVERT::CorrectedShortWire(double reading) const
{
    try {
        const double M = reading < 0 ? 0.0 : reading;
        const double alpha = FSemiAngle1;
        const double d = FWire;
        if (!(alpha > 0 && d > 0 && FForce >= 0))
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const double h = Fin(alpha * OneOver180 * Pi * 0.5);
        const double f = FNoCompensation != 0 ? 0.0 : 0.004 * Cbrt(Div(FForce * FForce, d));
        const double d2 = Fin(M + f - d - 2 * Div(d / 2, std::sin(h)) + Div(FPitch / 2, std::tan(h)));
        const double E = FNoCompensation != 0 ? FDiameter : d2;
        const double lead = Sqr(FPitch * OneOverPi);
        return Fin(d2 - Div(Div((d / 2) * lead * std::cos(h), std::tan(h)), Sqr(E)));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackZero);
    }
}

double CONVERT::ReferenceComparison(double reading) const
{
    try {
        const double M = reading;
        const double alpha = FSemiAngle1;
        const double alphaR = FReferenceAngle;
        if (!(alphaR > 0 && alphaR < 90 && alpha > 0 && alpha < 90))
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const double d = FWire;
        const double P = FPitch;
        const double Pr = FReferencePitch;
        const double dRef = FSecondDiameter;
        const double hr = alphaR * OneOver180 * Pi * 0.5;
        const double h = alpha * OneOver180 * Pi * 0.5;
        const double d2r = Fin(dRef - 0.64952 * Pr);
        const double Ar = Div(Div((d / 2) * Sqr(Pr * OneOverPi) * std::cos(hr), std::tan(hr)), Sqr(d2r));
        const double Xr = Fin(d2r - Ar + Div(Pr / 2, std::tan(hr)) - Div(d, std::sin(hr)));
        const double G = Fin(M + std::sqrt(Sqr(Xr) + Pr * Pr / 4) - dRef);
        const double Q = Fin(Sqr(G) - P * P / 4);
        if (Q < 0)
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const double d2 = Fin(std::sqrt(Q) + Div(d, std::sin(h)) - Div(P / 2, std::tan(h)));
        if (d2 == 0)
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        return Fin(d2 + Div(Div((d / 2) * Sqr(P * OneOverPi) * std::cos(h), std::tan(h)), Sqr(d2)));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackZero);
    }
}

double CONVERT::TwoSphere() const
{
    try {
        const double F = Fin(FForce * Gravity);
        const double k = Compliance(FMaterial);
        const double radii = Div(1, 0.001 * FWire) + Div(1, 0.001 * FWire);
        return BallApproach(F, k + k, radii);
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackApproach);
    }
}

double CONVERT::SpherePlane() const
{
    try {
        const double F = Fin(FForce * Gravity);
        const double k = Compliance(FSecondMaterial) + Compliance(FMaterial);
        return BallApproach(F, k, Div(1, 0.001 * FWire));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackApproach);
    }
}

double CONVERT::ConvexSeat(double seat) const
{
    try {
        if (seat < 0.01)
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const double d = FWire;
        const double x = Div(Div(1, d), Div(1, d) + Div(1, seat));
        return SeatApproach(FForce, x, 0.001 * d, Compliance(FSecondMaterial), Compliance(FMaterial));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackApproach);
    }
}

double CONVERT::HollowSeat(double seat) const
{
    try {
        if (seat < 0.01)
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const THollowSeat hollow = HollowSeatCurvature(FWire, seat);
        return SeatApproach(FForce, hollow.x, hollow.R, Compliance(FSecondMaterial), Compliance(FMaterial));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackApproach);
    }
}

double CONVERT::LineContact(double cylinder) const
{
    try {
        if (cylinder < 0.01)
            return Mark(TConvertStatus::ReadingNotUsable, 0.0);
        const double F = Fin(FForce * Gravity);
        const double length = 0.001 * FContactLength; // m
        const double q = Div(F, length);
        const double k = Compliance(FSecondMaterial) + Compliance(FMaterial);
        return Fin(1000 * q * k * (1 + CheckedLn(Div(2 * length * length, k * q * 0.001 * cylinder))));
    } catch (const Exception&) {
        return Mark(TConvertStatus::Failed, FallbackApproach);
    }
}

double LeadAngle(double X, double a1, double a2, double lead, double wire, double sign, int* rounds)
{
    if (X <= 0)
        X = 0.000001;
    const double d = wire;
    const double half = (a1 - a2) / 2;
    const double sumHalf = (a1 + a2) / 2;
    const double K1 =
        Div(Div(d * lead, Pi * X * X) * std::cos(a1) * std::cos(a2) * std::cos(half), std::cos(sumHalf));
    const double K2 = Div(std::sin(sumHalf) * std::cos(half) * d, X);
    const double K3 = Div(X, std::cos(half) * d);
    double q = Div(K1, sign * K2 + 1);
    double p = 0;
    int round = 1;
    for (; round <= 1000; ++round) {
        const double t = Fin(std::sin(p) * K3);
        const double c = t * t > 1 ? 1.0 : std::sqrt(1 - t * t);
        p = q;
        q = std::sin(Div(K1, Div(std::cos(p), c) + sign * K2));
        if (round >= 11) {
            if (p == 0 && q - p < 0.000000001)
                break;
            if (p != 0 && std::fabs(Div(q - p, p)) < 0.000001)
                break;
        }
    }
    if (rounds)
        *rounds = round > 1000 ? 1000 : round;
    return q;
}

void ContactCoefficients(double x, double& c1, double& c2)
{
    if (!(x > 0 && x <= 1.0))
        throw EInvalidOp(Format(QStringLiteral("Contact ratio %g outside 0..1"), x));
    if (x < 0.01) {
        const double lnx = std::log(x);
        c1 = 1.7653 - 0.548123 * lnx;
        c2 = 0.77622 - 0.547445566 * lnx;
        return;
    }
    // Bisection for the rows low and high with X[low] >= x >= X[high] (the
    // table descends).
    int low = 0;
    int high = ContactCoefficientCount - 1;
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        if (ContactCoefficientTable[middle].X >= x)
            low = middle;
        else
            high = middle;
    }
    const TContactCoefficientRow& a = ContactCoefficientTable[low];
    const TContactCoefficientRow& b = ContactCoefficientTable[high];
    if (a.X == b.X) {
        c1 = (a.C1 + b.C1) / 2;
        c2 = (a.C2 + b.C2) / 2;
        return;
    }
    const double t = (x - b.X) / (a.X - b.X);
    c1 = b.C1 + t * (a.C1 - b.C1);
    c2 = b.C2 + t * (a.C2 - b.C2);
}
