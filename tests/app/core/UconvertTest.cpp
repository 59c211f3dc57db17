#include "app/core/Uconvert.h"
#include "platform/rtl/Exceptions.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double Deg30 = 0.5235987755982988; // radians
constexpr double Pi = 3.141592653589793;

// The classical three-wire relation for a 60 degree thread with the usual
// lead-angle term: d2 = M - 3d + 0.866025 P - (d/2) (L / (pi d2))^2 cos 30 / tan 30.
double ClassicalThreeWire(double M, double d, double P, double L)
{
    const double d2 = M - 3 * d + 0.866025 * P;
    return d2 - d / 2 * std::pow(L / (Pi * d2), 2) * 1.5;
}

// Hertz approach (mm) of two elastic spheres, diameters d1, d2 in mm (0 for
// a plane), force in newtons.
double HertzApproach(double force, double d1, double d2, double nu1, double E1, double nu2, double E2)
{
    const double Estar = 1 / ((1 - nu1 * nu1) / E1 + (1 - nu2 * nu2) / E2);
    const double curvature = 2 / (0.001 * d1) + (d2 > 0 ? 2 / (0.001 * d2) : 0);
    const double R = 1 / curvature;
    return 1000 * std::cbrt(9 * force * force / (16 * Estar * Estar * R));
}

// Rows: D, P, starts; the wire is the best size 0.57735 P and the reading is
// made for the nominal pitch diameter. Source: the classical relation above;
// its lead term is an approximation, good to 0.1 um for single starts.
TEST(UconvertTest, ThreeWireReducesToTheClassicalRelation)
{
    struct Row {
        int n;
        double D, P, starts, tolerance;
    };
    const Row rows[] = {
        {1, 10, 1.5, 1, 0.0001}, {2, 3, 0.5, 1, 0.0001},  {3, 20, 2.5, 1, 0.0001},
        {4, 64, 6, 1, 0.0001},   {5, 1, 0.25, 1, 0.0001}, {6, 10, 1.5, 2, 0.0005},
        {7, 10, 1.5, 3, 0.001},  {8, 10, 1.5, 0, 0.0001}, // no starts count as one
    };
    for (const Row& row : rows) {
        const double d = 0.57735 * row.P;
        const double M = row.D - 0.649519 * row.P + 3 * d - 0.866025 * row.P;
        CONVERT convert;
        convert.SetForce(1.0, 1);
        convert.SetThreeWire(row.D, 30, 30, row.P, d, 0, row.starts);
        const double lead = (row.starts == 0 ? 1 : row.starts) * row.P;
        EXPECT_NEAR(convert.Convert(M), ClassicalThreeWire(M, d, row.P, lead), row.tolerance) << row.n;
        EXPECT_EQ(convert.Status(), TConvertStatus::Computed) << row.n;
    }
    // M10x1.5 over 0.866 wires reading 10.325.
    CONVERT convert;
    convert.SetForce(1.0, 1);
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
    EXPECT_NEAR(convert.Convert(10.325), 9.0243, 0.0005);
}

// Arms and T-sphere measure an internal thread from the outer span of the
// balls; with arms the balls sit half a pitch apart, so the span across is
// sqrt(E^2 - P^2/4). Source: d2 = X + 2d - 0.866025 P plus the lead term
// (with the opposite sign to wires).
TEST(UconvertTest, ArmsAndTSphereMeasureInternalThreads)
{
    const double D = 10, P = 1.5, d = 0.866;
    const double d2 = 9.0257;
    const double X = d2 - 2 * d + 0.866025 * P;
    const double lead = d / 2 * std::pow(P / (Pi * d2), 2) * 1.5;
    CONVERT arms;
    arms.SetForce(1.0, 1);
    arms.SetArms(D, 30, 30, P, d, 0.0, 0, 0, 1);
    EXPECT_NEAR(arms.Convert(std::sqrt(X * X + P * P / 4) + d), d2 + lead, 0.0002);
    CONVERT sphere;
    sphere.SetForce(1.0, 1);
    sphere.SetTSphere(D, 30, 30, P, d, 0.0, 0, 0, 1);
    EXPECT_NEAR(sphere.Convert(X + d), d2 + lead, 0.0002);
}

// Compensation adds the flattening of wire and flanks: a few micrometres at
// 1 (x 9.8 N), less for stiffer wires, more for softer ones.
TEST(UconvertTest, DeformationCorrectionFollowsTheWireMaterial)
{
    CONVERT convert;
    convert.SetForce(1.0, 1);
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
    const double plain = convert.Convert(10.325);
    double correction[ConvertMaterialCount];
    convert.SetForce(1.0, 0);
    for (int m = 0; m < ConvertMaterialCount; ++m) {
        convert.SetThreeWire(10, 30, 30, 1.5, 0.866, m, 1);
        correction[m] = convert.Convert(10.325) - plain;
    }
    EXPECT_GT(correction[0], 0.002);
    EXPECT_LT(correction[0], 0.008);
    EXPECT_LT(correction[1], correction[0]); // tungsten
    EXPECT_GT(correction[2], correction[0]); // aluminium
    EXPECT_LT(correction[4], correction[0]); // ruby

    // Twice the force flattens by 2^(2/3) as much (Hertz).
    convert.SetForce(2.0, 0);
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
    EXPECT_NEAR((convert.Convert(10.325) - plain) / correction[0], std::pow(2.0, 2.0 / 3.0), 1e-9);
}

// Rows: mode setup, reading, expected. Source: the readings that give no
// pitch diameter and the fallbacks of the failing routines (-1.0 three wire,
// 0.0 arms and T-sphere).
TEST(UconvertTest, ImpossibleInputsGiveTheReadingOrTheFallback)
{
    enum Method { Wire, Arms, Sphere, Scaled };
    struct Row {
        int n;
        Method method;
        uint8_t noCompensation;
        double force, D, P, d, seat;
        int material;
        double starts, reading, expected;
    };
    const double anything = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        // pitch diameter below the wire: the reading
        {1, Wire, 1, 1, 10, 1.5, 0.866, 0, 0, 1, 0.5, 0.5},
        {2, Wire, 1, 1, 10, 1.5, 0.866, 0, 0, 1, -1.0, 0.0}, // a negative reading counts as 0
        // arms whose span is shorter than half a pitch: the reading
        {3, Arms, 1, 1, 10, 1.5, 0.866, 0, 0, 1, 1.366, 1.366},
        // material outside the table of 5
        {4, Wire, 0, 1, 10, 1.5, 0.866, 0, 40, 1, 10.325, -1.0},
        {5, Wire, 0, 1, 10, 1.5, 0.866, 0, 5, 1, 10.325, -1.0},
        {6, Wire, 0, 1, 10, 1.5, 0.866, 0, -1, 1, 10.325, -1.0},
        {7, Arms, 0, 1, 10, 1.5, 0.866, 10, 40, 1, 9.4914, 0.0},
        {8, Sphere, 0, 1, 10, 1.5, 0.866, 10, 5, 1, 9.4587, 0.0},
        // flank radius not positive: contact ratio outside the table
        {9, Wire, 0, 1, 0.3, 1.5, 0.866, 0, 0, 1, 10.325, -1.0},
        // no force to flatten anything: 0 / 0
        {10, Wire, 0, 0, 10, 1.5, 0.866, 0, 0, 1, 10.325, -1.0},
        // no wire: the lead angle fails, and so does the conversion
        {11, Wire, 1, 1, 10, 1.5, 0.0, 0, 0, 1, 10.325, -1.0},
        {12, Scaled, 1, 1, 10, 1.5, 0.0, 0, 0, 1, 10.325, -1.0},
        // no seat diameter for the seat correction
        {13, Arms, 0, 1, 10, 1.5, 0.866, 0, 0, 1, 9.4914, 0.0},
        // a lead so long that C^2 exceeds 1: wires give the reading, the
        // T-sphere its fallback 0.0, as a reading it cannot use
        {14, Wire, 1, 1, 10, 1.5, 0.866, 0, 0, 1000, 10.325, 10.325},
        {15, Sphere, 1, 1, 10, 1.5, 0.866, 0, 0, 1000, 9.4587, 0.0},
        {16, Wire, 1, anything, 10, 1.5, 0.866, 0, 0, anything, 10.325, -1.0},
    };
    for (const Row& row : rows) {
        CONVERT convert;
        convert.SetForce(row.force, row.noCompensation);
        switch (row.method) {
        case Wire:
        case Scaled:
            convert.SetThreeWire(row.D, 30, 30, row.P, row.d, row.material, row.starts);
            if (row.method == Scaled)
                convert.SetMode(23);
            break;
        case Arms:
            convert.SetArms(row.D, 30, 30, row.P, row.d, row.seat, row.material, 0, row.starts);
            break;
        case Sphere:
            convert.SetTSphere(row.D, 30, 30, row.P, row.d, row.seat, row.material, 0, row.starts);
            break;
        }
        EXPECT_EQ(convert.Convert(row.reading), row.expected) << row.n;
        // Neither is a pitch diameter: a reading handed back (a negative one
        // as 0) is a reading the method cannot use, any other value a
        // fallback.
        const bool handedBack = row.expected == std::max(row.reading, 0.0);
        const bool noFlank = row.method == Sphere && row.starts == 1000;
        EXPECT_EQ(convert.Status(),
                  handedBack || noFlank ? TConvertStatus::ReadingNotUsable : TConvertStatus::Failed)
            << row.n;
    }
    // With a seat and a material in the table the corrections apply and stay
    // small.
    CONVERT arms;
    arms.SetForce(1.0, 0);
    arms.SetArms(10, 30, 30, 1.5, 0.866, 10, 0, 0, 1);
    const double corrected = arms.Convert(9.4914);
    arms.SetForce(1.0, 1);
    EXPECT_NEAR(corrected, arms.Convert(9.4914), 0.01);
    EXPECT_NE(corrected, arms.Convert(9.4914));
}

// BSW 1/2-12 with a ball of 1.1931 read at 11.9772. Half a turn moves the
// grooves half a lead, n P / 2, and they repeat every pitch: the groove
// opposite a ball lies half a pitch away for an odd number of starts and in
// the ball's own plane for an even one, where the arms read as a T-sphere
// does (they gave 52 um less with the balls half a pitch apart). Odd
// numbers of starts keep their values.
TEST(UconvertTest, ArmsTakeTheOppositeGrooveWhereItIs)
{
    const double P = 25.4 / 12;
    const auto pitchDiameter = [P](bool arms, double starts) {
        CONVERT convert;
        convert.SetForce(1, 1);
        if (arms)
            convert.SetArms(12.7, 27.5, 27.5, P, 1.1931, 0.0, 0, 0, starts);
        else
            convert.SetTSphere(12.7, 27.5, 27.5, P, 1.1931, 0.0, 0, 0, starts);
        EXPECT_TRUE(convert.ReadingTouches(11.9772)) << starts;
        const double d2 = convert.Convert(11.9772);
        EXPECT_EQ(convert.Status(), TConvertStatus::Computed) << starts;
        return d2;
    };
    EXPECT_NEAR(pitchDiameter(true, 1), 11.28669, 0.000005);
    EXPECT_NEAR(pitchDiameter(true, 3), 11.31697, 0.000005);
    EXPECT_NEAR(pitchDiameter(false, 2), 11.3500, 0.00005);
    EXPECT_NEAR(pitchDiameter(false, 4), 11.3947, 0.00005);
    // Starts as the conversion takes them: truncated, the sign ignored.
    for (const double starts : {2.0, 4.0, 2.9, -2.0})
        EXPECT_NEAR(pitchDiameter(true, starts), pitchDiameter(false, starts), 0.0005) << starts;

    // The balls' chord: above 0 for any gap with an even number of starts,
    // above half a pitch with an odd one. A starts count the conversion
    // cannot take is refused, by every method, without raising.
    CONVERT arms;
    const double gap = 1.1931 + 0.5;
    for (const double starts : {1.0, 2.0, 0.0, -1.0, -4.0}) {
        arms.SetArms(12.7, 27.5, 27.5, P, 1.1931, 0.0, 0, 0, starts);
        EXPECT_EQ(arms.ReadingTouches(gap), int(std::fabs(starts)) % 2 == 0 && starts != 0) << starts;
    }
    for (const double starts : {double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
        CONVERT convert;
        convert.SetArms(12.7, 27.5, 27.5, P, 1.1931, 0.0, 0, 0, starts);
        EXPECT_FALSE(convert.ReadingTouches(11.9772)) << starts;
        convert.SetTSphere(12.7, 27.5, 27.5, P, 1.1931, 0.0, 0, 0, starts);
        EXPECT_FALSE(convert.ReadingTouches(11.9772)) << starts;
        convert.SetThreeWire(12.7, 27.5, 27.5, P, 1.1931, 0, starts);
        EXPECT_FALSE(convert.ReadingTouches(11.9772)) << starts;
        convert.Convert(11.9772);
        EXPECT_EQ(convert.Status(), TConvertStatus::Failed) << starts;
    }
}

// Whether a reading reaches the flanks at all, and whether a pitch diameter
// belongs to the thread: M10 x 1.5 (band 7.75 to 10.75 mm), probe 0.866.
// Rows at every limit and one past it.
TEST(UconvertTest, ContactAndTheBandOfPitchDiameters)
{
    enum Method { Wire, Arms, Sphere, None };
    struct Row {
        int n;
        Method method;
        double P, reading;
        bool touches;
    };
    const Row rows[] = {
        {1, Wire, 1.5, 0.0, false},   {2, Wire, 1.5, -1.0, false},     {3, Wire, 1.5, 0.866, false}, // gap 0
        {4, Wire, 1.5, 0.867, true},  {5, Wire, 0.0, 10.325, false},   {6, Wire, -1.5, 10.325, false},
        {7, Sphere, 1.5, 0.866, false}, {8, Sphere, 1.5, 0.867, true}, {9, Sphere, 0.0, 9.4914, false},
        // arms: the chord sqrt((M - d)^2 - P^2 / 4) must be above 0
        // (the arms' balls are 0.5 here, so that the limit 1.25 is exact)
        {10, Arms, 1.5, 1.25, false}, {11, Arms, 1.5, 1.2501, true},   {12, Arms, 1.5, 0.5, false},
        {13, Arms, 0.0, 9.4914, false},
        // the other modes read anything
        {14, None, 0.0, -1.0, true},
    };
    for (const Row& row : rows) {
        CONVERT convert;
        if (row.method == Wire)
            convert.SetThreeWire(10, 30, 30, row.P, 0.866, 0, 1);
        else if (row.method == Arms)
            convert.SetArms(10, 30, 30, row.P, 0.5, 0, 0, 0, 1);
        else if (row.method == Sphere)
            convert.SetTSphere(10, 30, 30, row.P, 0.866, 0, 0, 0, 1);
        EXPECT_EQ(convert.ReadingTouches(row.reading), row.touches) << row.n;
    }

    struct Band {
        int n;
        double D, P, d2;
        bool inside;
    };
    const Band bands[] = {
        {1, 10, 1.5, 7.75, true},    {2, 10, 1.5, 7.7499, false}, {3, 10, 1.5, 10.75, true},
        {4, 10, 1.5, 10.7501, false}, {5, 10, 1.5, 9.026, true},  {6, 10, 1.5, -9.026, false},
        // a coarse pitch on a small diameter: the band would reach below 0
        {7, 1, 1, 0.0, false},       {8, 1, 1, 0.0001, true},     {9, 1, 1, -0.4, false},
        {10, 10, 0, 10, true},       {11, 10, 0, 10.0001, false},
    };
    for (const Band& band : bands) {
        EXPECT_EQ(PitchDiameterInBand(band.D, band.P, band.d2), band.inside) << band.n;
        CONVERT convert;
        convert.SetThreeWire(band.D, 30, 30, band.P, 0.866, 0, 1);
        EXPECT_EQ(convert.PitchDiameterPlausible(band.d2), band.inside) << band.n;
    }

    // The band reaches further down with the starts, the tolerance part
    // (0.6 P) widened by 0.15 a start up to 1.6 times: 1.5, 1.59, 1.68,
    // 1.77 and 1.86 P for 1 to 5 starts, no further for more. Starts as the
    // conversion takes them: truncated, 0 and less as one; a count that is
    // no number gets the widest band.
    struct Starts {
        double n;
        double below; // pitches
    };
    const Starts starts[] = {{1, 1.5},   {2, 1.59},   {2.9, 1.59},      {3, 1.68},       {4, 1.77},
                             {5, 1.86},  {6, 1.86},   {1e12, 1.86},     {0, 1.5},        {-3, 1.5},
                             {0.5, 1.5}, {NAN, 1.86}, {INFINITY, 1.86}, {-INFINITY, 1.5}};
    for (const Starts& row : starts) {
        EXPECT_NEAR(PitchDiameterBandBelow(row.n), row.below, 1e-12) << row.n;
        // M6 x 0.25: the lower edge, and the upper one that stays.
        const double lowest = 6 - row.below * 0.25;
        EXPECT_TRUE(PitchDiameterInBand(6, 0.25, lowest + 1e-9, row.n)) << row.n;
        EXPECT_FALSE(PitchDiameterInBand(6, 0.25, lowest - 1e-9, row.n)) << row.n;
        EXPECT_TRUE(PitchDiameterInBand(6, 0.25, 6.125, row.n)) << row.n;
        EXPECT_FALSE(PitchDiameterInBand(6, 0.25, 6.1251, row.n)) << row.n;
        CONVERT convert;
        convert.SetThreeWire(6, 30, 30, 0.25, 0.144, 0, row.n);
        EXPECT_TRUE(convert.PitchDiameterPlausible(lowest + 1e-9)) << row.n;
        EXPECT_FALSE(convert.PitchDiameterPlausible(lowest - 1e-9)) << row.n;
    }
}

// The scaled three-wire formula goes on with C = 1 where the plain one gives
// up, and ignores the compensation flag.
TEST(UconvertTest, ScaledThreeWireGoesOn)
{
    CONVERT convert;
    convert.SetForce(1.0, 0);
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
    convert.SetMode(23);
    const double d = 0.866;
    const double M = 10.325;
    EXPECT_NEAR(convert.Convert(M), ClassicalThreeWire(d + (M - d) * 1.00049, d, 1.5, 1.5), 0.0001);
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1000);
    convert.SetMode(23);
    const double longLead = convert.Convert(M);
    EXPECT_TRUE(std::isfinite(longLead));
    EXPECT_NE(longLead, -1.0);
}

// Rows: mode, divisor, reading, expected. Source: the plain modes (0
// pass-through, 3 reference, 9 divisor 0) and modes outside 0..23.
TEST(UconvertTest, PlainModes)
{
    CONVERT convert;
    convert.SetThreeWire(10, 30, 30, 1.5, 0.866, 0, 1);
    convert.SetReference(10, 0, 0);
    convert.SetOffsets(0.25, 0);
    struct Row {
        int n;
        int mode;
        double divisor, reading, expected;
    };
    const Row rows[] = {
        {1, 0, 0, 10.325, 10.325}, {2, 3, 0, 10.325, 10.325 - 0.866}, // reference value = D: M - d
        {3, 9, 0, 10.325, 10.325}, {4, 24, 0, 10.325, 0.0},           {5, -1, 0, 10.325, 0.0},
    };
    for (const Row& row : rows) {
        convert.SetOffsets(0.25, row.divisor);
        convert.SetMode(row.mode);
        EXPECT_DOUBLE_EQ(convert.Convert(row.reading), row.expected) << row.n;
    }
}

TEST(UconvertTest, ShortWireFormulas)
{
    const double M = 10.325, d = 0.866, P = 1.5;
    CONVERT convert;
    convert.SetForce(0.0, 1);
    convert.SetThreeWire(1.0e9, 60, 0, P, d, 0, 1); // semi-angle 1 holds the included angle
    convert.SetMode(7);
    EXPECT_NEAR(convert.Convert(M), (M - d) * 1.00049 + 0.866025 * P - 2 * d, 1e-6);

    // Mode 10 with the flag set: no force term, the lead term divides by D^2
    // (negligible for a huge D).
    convert.SetMode(10);
    EXPECT_NEAR(convert.Convert(M), M - 3 * d + 0.866025 * P, 1e-6);
    // With the flag clear it divides by the uncorrected pitch diameter:
    // the same lead correction as the wire iteration.
    convert.SetForce(0.0, 0);
    const double noForce = convert.Convert(M);
    CONVERT wires;
    wires.SetForce(0.0, 1);
    wires.SetThreeWire(10, 30, 30, P, d, 0, 1);
    EXPECT_NEAR(noForce, wires.Convert(M), 0.0002);
    // The force term 0.004 cbrt(F^2 / d) (the lead term, divided by the
    // pitch diameter with the force term in it, moves by a few nanometres).
    convert.SetForce(2.0, 0);
    EXPECT_NEAR(convert.Convert(M) - noForce, 0.004 * std::cbrt(4.0 / d), 1e-5);

    // Out of bounds: 0.0.
    convert.SetForce(-1.0, 0);
    EXPECT_EQ(convert.Convert(M), 0.0);
    convert.SetForce(1.0, 0);
    convert.SetThreeWire(10, 0, 0, P, d, 0, 1);
    convert.SetMode(10);
    EXPECT_EQ(convert.Convert(M), 0.0);
    convert.SetMode(7); // tan 0 in a divisor
    EXPECT_EQ(convert.Convert(M), 0.0);
    convert.SetThreeWire(10, 60, 0, P, 0.0, 0, 1);
    convert.SetMode(10);
    EXPECT_EQ(convert.Convert(M), 0.0);
}

// Mode 4 refers two balls to a reference thread: measuring the reference
// itself (reading = its nominal diameter) gives back its pitch diameter.
TEST(UconvertTest, ReferenceComparison)
{
    const double dRef = 10, P = 1.5, d = 0.866;
    CONVERT convert;
    convert.SetArms(0, 60, 0, P, d, dRef, 0, 0, 1);
    convert.SetMode(4);
    convert.SetReference(0, 60, P);
    EXPECT_NEAR(convert.Convert(dRef), dRef - 0.64952 * P, 1e-6);
    // Rows: reference angle, thread angle; Source: both must lie in (0, 90).
    const double bad[][2] = {{90, 60}, {0, 60}, {-10, 60}, {60, 90}, {60, 0}};
    for (const auto& angles : bad) {
        convert.SetArms(0, angles[1], 0, P, d, dRef, 0, 0, 1);
        convert.SetMode(4);
        convert.SetReference(0, angles[0], P);
        EXPECT_EQ(convert.Convert(dRef), 0.0) << angles[0] << " " << angles[1];
    }
    // A reading so small that G^2 < P^2/4.
    convert.SetArms(0, 60, 0, P, d, dRef, 0, 0, 1);
    convert.SetMode(4);
    convert.SetReference(0, 60, P);
    EXPECT_EQ(convert.Convert(dRef - 8.6), 0.0);
}

// The contact approaches against Hertz's formula for spheres; the failures
// give -1.0 for each approach, so M - 1.0 or M - 2.0.
TEST(UconvertTest, ContactApproaches)
{
    const double M = 5.0, d = 2.0, force = 1.0;
    CONVERT convert;
    convert.SetForce(force, 0);
    convert.SetArms(0, 30, 30, 1, d, 20, 1, 2, 1); // wire tungsten, second body aluminium
    convert.SetMode(11);                           // two tungsten spheres
    EXPECT_NEAR(convert.Convert(M), M + HertzApproach(9.8, d, d, 0.22, 6.0e11, 0.22, 6.0e11), 1e-9);
    convert.SetMode(12); // tungsten sphere on an aluminium plane, both sides
    const double plane = HertzApproach(9.8, d, 0, 0.22, 6.0e11, 0.345, 7.19e10);
    EXPECT_NEAR(convert.Convert(M), M + 2 * plane, 1e-9);
    // In a hollow seat the ball sinks less than on a plane, on a convex seat more.
    convert.SetMode(16);
    EXPECT_GT(convert.Convert(M), M);
    EXPECT_LT(convert.Convert(M), M + 2 * plane);
    convert.SetMode(13);
    EXPECT_GT(convert.Convert(M), M + 2 * plane);
    convert.SetContactLength(5);
    convert.SetMode(14);
    EXPECT_GT(convert.Convert(M), M);
    EXPECT_LT(convert.Convert(M), M + 0.01);

    // Seat or cylinder taken from a reading below 0.01: no approach.
    for (int mode : {19, 20, 22}) {
        convert.SetMode(mode);
        EXPECT_EQ(convert.Convert(0.005), 0.005) << mode;
    }
    // Failures.
    convert.SetArms(0, 30, 30, 1, d, 20, 40, 2, 1);
    convert.SetMode(11);
    EXPECT_EQ(convert.Convert(M), M - 1.0);
    convert.SetMode(12);
    EXPECT_EQ(convert.Convert(M), M - 2.0);
    convert.SetArms(0, 30, 30, 1, d, 1.5, 0, 0, 1); // ball larger than its hollow seat
    convert.SetMode(16);
    EXPECT_EQ(convert.Convert(M), M - 2.0);
    convert.SetContactLength(0);
    convert.SetMode(14);
    EXPECT_EQ(convert.Convert(M), M - 2.0);
    convert.SetForce(-1.0, 0); // a negative force has no 2/3 power
    convert.SetMode(11);
    EXPECT_EQ(convert.Convert(M), M - 1.0);
}

TEST(UconvertTest, LeadAngleIteration)
{
    // A converging case stops at the earliest round allowed, the 11th.
    int rounds = 0;
    EXPECT_GT(LeadAngle(10.325 - 0.866, Deg30, Deg30, 1.5, 0.866, -1, &rounds), 0.0);
    EXPECT_EQ(rounds, 11);
    // No lead: no angle, still 11 rounds.
    EXPECT_EQ(LeadAngle(9.459, Deg30, Deg30, 0, 0.866, -1, &rounds), 0.0);
    EXPECT_EQ(rounds, 11);
    // One that does not settle runs 1000 rounds and ends finite.
    EXPECT_TRUE(std::isfinite(LeadAngle(8.6, Deg30, Deg30, 1500, 0.866, -1, &rounds)));
    EXPECT_EQ(rounds, 1000);
    // X <= 0 is taken as 0.000001; a zero wire divides by zero.
    EXPECT_TRUE(std::isfinite(LeadAngle(-1, Deg30, Deg30, 1.5, 0.866, -1, &rounds)));
    EXPECT_THROW(LeadAngle(9.459, Deg30, Deg30, 1.5, 0.0, -1), EMathError);
}

// Rows: x, c1, c2. Source: the table's reference rows (typed), then
// interpolation between rows and the logarithmic fit below 0.01.
TEST(UconvertTest, ContactCoefficients)
{
    struct Row {
        int n;
        double x, c1, c2, tolerance;
    };
    const Row rows[] = {
        {1, 1.0, 1.5708, 0.7854, 0},
        {2, 0.99, 1.5761, 0.7894, 0},
        {3, 0.245, 2.3716, 1.4499, 0},
        {4, 0.109, 2.8618, 1.9012, 0},
        {5, 0.0295, 3.6509, 2.6628, 0},
        {6, 0.0101, 4.2837, 3.2879, 0}, // typed; the integrals give 3.2880
        {7, 0.01, 4.2895, 3.2937, 0},
        {8, 0.995, (1.5708 + 1.5761) / 2, (0.7854 + 0.7894) / 2, 1e-12},
        {9, 0.86, (1.6570 + 1.6445) / 2, (0.8509 + 0.8413) / 2, 1e-12}, // no row 0.86
        {10, 0.005, 1.7653 - 0.548123 * std::log(0.005), 0.77622 - 0.547445566 * std::log(0.005), 1e-12},
        // The fit meets the table in c1 at 0.01 but jumps by 0.0036 in c2.
        {11, 0.0099999999, 4.2895, 3.2973, 0.0001},
    };
    for (const Row& row : rows) {
        double c1 = 0, c2 = 0;
        ContactCoefficients(row.x, c1, c2);
        EXPECT_NEAR(c1, row.c1, row.tolerance) << row.n;
        EXPECT_NEAR(c2, row.c2, row.tolerance) << row.n;
    }
    for (double x : {1.0000001, 2.0, 0.0, -0.5, std::numeric_limits<double>::quiet_NaN()}) {
        double c1 = 0, c2 = 0;
        EXPECT_THROW(ContactCoefficients(x, c1, c2), EInvalidOp) << x;
    }
}

// The committed table is what the generator makes.
TEST(UconvertTest, ContactTableMatchesItsGenerator)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString output = folder.filePath(QStringLiteral("table.h"));
    QProcess generator;
    generator.start(QStringLiteral(TESSVAR_CONTACTCOEF), {output});
    ASSERT_TRUE(generator.waitForFinished(60000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().constData();
    QFile generated(output);
    QFile committed(QStringLiteral(TESSVAR_SOURCE_DIR "/app/core/ContactCoefficients_p.h"));
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(generated.readAll() == committed.readAll())
        << "app/core/ContactCoefficients_p.h differs from the generator's output; re-run tools/contactcoef";
}

} // namespace
