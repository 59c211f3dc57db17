#include "calc/Utisotables.h"
#include "tests/calc/CalcFixture.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

class UtisoTest : public CalcTest {
protected:
    const TMessageBoxRequest& OnlyMessage()
    {
        EXPECT_EQ(Messages->Shown().size(), 1u);
        static const TMessageBoxRequest none;
        return Messages->Shown().empty() ? none : Messages->Shown().front();
    }
};

// ---------------------------------------------------------------- steps and lookups

TEST_F(UtisoTest, SizeStepsAtTheirBounds)
{
    EXPECT_EQ(IsoMainStep(0), 0);
    EXPECT_EQ(IsoMainStep(3), 0);
    EXPECT_EQ(IsoMainStep(3.0001), 1);
    EXPECT_EQ(IsoMainStep(3.00004), 0); // taken to 0.0001 mm
    EXPECT_EQ(IsoMainStep(500), 12);
    EXPECT_EQ(IsoMainStep(500.0001), -1);
    EXPECT_EQ(IsoMainStep(-0.001), -1);
    EXPECT_EQ(IsoMainStep(NanValue()), -1);
    EXPECT_EQ(IsoMainStep(INFINITY), -1);
    EXPECT_EQ(IsoIntermediateStep(14), 3);
    EXPECT_EQ(IsoIntermediateStep(14.0001), 4);
    EXPECT_EQ(IsoIntermediateStep(500), 24);
}

TEST_F(UtisoTest, DeviationLookupFailures)
{
    double it = 0.021, upper = 0, lower = 0;
    // No row: unknown position, or a grade outside every range of the position.
    EXPECT_EQ(IsoDeviations(QStringLiteral("Q"), 7, 20, it, upper, lower), IsoCombinationNotAvailable);
    EXPECT_EQ(IsoDeviations(QStringLiteral("J"), 9, 20, it, upper, lower), IsoCombinationNotAvailable);
    EXPECT_EQ(IsoDeviations(QStringLiteral("h"), 7, 501, it, upper, lower), IsoDiameterNotAvailable);
    // Not tabulated: cd above 10 mm, t up to 24 mm, j8 above 3 mm.
    EXPECT_EQ(IsoDeviations(QStringLiteral("cd"), 7, 12, it, upper, lower), IsoDiameterNotAvailable);
    EXPECT_EQ(IsoDeviations(QStringLiteral("t"), 7, 24, it, upper, lower), IsoDiameterNotAvailable);
    EXPECT_EQ(IsoDeviations(QStringLiteral("t"), 7, 24.5, it, upper, lower), IsoOk);
    EXPECT_EQ(IsoDeviations(QStringLiteral("j"), 8, 4, it, upper, lower), IsoDiameterNotAvailable);
    // IT4..IT17; IT17 is not used up to 6 mm.
    EXPECT_EQ(IsoStandardTolerance(3, 20, it), IsoQualityNotAvailable);
    EXPECT_EQ(IsoStandardTolerance(18, 20, it), IsoQualityNotAvailable);
    EXPECT_EQ(IsoStandardTolerance(17, 6, it), IsoQualityNotAvailable);
    ASSERT_EQ(IsoStandardTolerance(17, 6.5, it), IsoOk);
    EXPECT_NEAR(it, 1.5, 1e-12);
}

TEST_F(UtisoTest, SymmetricTolerancesAreCutForGrades7To11)
{
    double it = 0, upper = 0, lower = 0;
    // js7 at 20 mm: IT7 21 um, +-10.5 cut to +-10.
    ASSERT_EQ(IsoStandardTolerance(7, 20, it), IsoOk);
    ASSERT_EQ(IsoDeviations(QStringLiteral("js"), 7, 20, it, upper, lower), IsoOk);
    EXPECT_NEAR(upper, 0.010, 1e-9);
    EXPECT_NEAR(lower, -0.010, 1e-9);
    // js12 at 20 mm: IT12 210, +-105 (not cut).
    ASSERT_EQ(IsoStandardTolerance(12, 20, it), IsoOk);
    ASSERT_EQ(IsoDeviations(QStringLiteral("js"), 12, 20, it, upper, lower), IsoOk);
    EXPECT_NEAR(upper, 0.105, 1e-7); // held in single precision
    // JS11 at 40 mm: IT11 160, +-80.
    ASSERT_EQ(IsoStandardTolerance(11, 40, it), IsoOk);
    ASSERT_EQ(IsoDeviations(QStringLiteral("JS"), 11, 40, it, upper, lower), IsoOk);
    EXPECT_NEAR(lower, -0.080, 1e-7);
}

TEST_F(UtisoTest, ThreadToleranceByTableFormulaAndStarts)
{
    double a = 0, td = 0;
    // 6g at M10 x 1.5: A = 32 um.
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("g"), 1.5, a), IsoOk);
    EXPECT_NEAR(a, 0.032, 1e-12);
    // The nearest column: 0.9 mm is nearer 1 mm (0.1) than 0.8 mm (0.1 too: the first wins).
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("g"), 0.9, a), IsoOk);
    EXPECT_NEAR(a, 0.024, 1e-12);
    // Above 6 mm by letter: g 15 + 11 * 8 = 103 -> R40 100, G the same, e
    // 50 + 88 = 138 -> 140, h and H 0.
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("G"), 8, a), IsoOk);
    EXPECT_NEAR(a, 0.100, 1e-12);
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("e"), 7, a), IsoOk);
    EXPECT_NEAR(a, 0.125, 1e-12); // 50 + 77 = 127 -> 125
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("H"), 10, a), IsoOk);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(IsoThreadDeviation(QStringLiteral("js"), 1, a), IsoPositionNotAvailable);
    EXPECT_EQ(IsoThreadDeviation(QStringLiteral("E"), 1, a), IsoPositionNotAvailable);

    // Td2 of M10 x 1.5, grade 6: 132 um; 2 starts x 1.12, 3 x 1.25, 4 x 1.4, 5 x 1.6.
    const double factors[][2] = {{1, 1}, {2, 1.12}, {3, 1.25}, {4, 1.4}, {5, 1.6}, {9, 1.6}};
    for (const auto& factor : factors) {
        ASSERT_EQ(IsoThreadTolerance(true, 6, 10, 1.5, factor[0], td), IsoOk);
        EXPECT_NEAR(td, 0.132 * factor[1], 1e-12) << factor[0] << " starts";
    }
    // No tabulated combination: D = 10, P = 0.9, grade 6: d = 8.4,
    // T6 = 90 * 0.9^0.4 * 8.4^0.1 = 106.75 um (limit 164.47) -> R40 106.
    ASSERT_EQ(IsoThreadTolerance(true, 6, 10, 0.9, 1, td), IsoOk);
    EXPECT_NEAR(td, 0.106, 1e-12);
    // Grade 9 exists for external threads only.
    EXPECT_EQ(IsoThreadTolerance(true, 9, 10, 1.5, 1, td), IsoOk);
    EXPECT_EQ(IsoThreadTolerance(false, 9, 10, 1.5, 1, td), IsoQualityNotForPosition);
    EXPECT_EQ(IsoThreadTolerance(false, 9, 10, 0.9, 1, td), IsoQualityNotForPosition);
    // The thread path takes D up to 1000 mm.
    EXPECT_EQ(IsoThreadTolerance(true, 6, 1000, 6, 1, td), IsoOk);
    EXPECT_EQ(IsoThreadTolerance(true, 6, 1000.1, 6, 1, td), IsoDiameterNotAvailable);
    EXPECT_EQ(IsoThreadTolerance(true, 6, 0, 1, 1, td), IsoDiameterNotAvailable);
    EXPECT_EQ(IsoThreadTolerance(true, 6, 10, 0, 1, td), IsoPitchNotForDiameter);
}

TEST_F(UtisoTest, RoundingToR40)
{
    EXPECT_DOUBLE_EQ(RoundToR40(106.75), 106);
    EXPECT_DOUBLE_EQ(RoundToR40(103), 100);    // a tie takes the lower neighbour
    EXPECT_DOUBLE_EQ(RoundToR40(109.01), 112); // the upper one when strictly nearer
    EXPECT_DOUBLE_EQ(RoundToR40(950), 950);
    EXPECT_DOUBLE_EQ(RoundToR40(980), 1000);
    EXPECT_NEAR(RoundToR40(47.3), 47.5, 1e-12);
}

// Pitch-diameter tolerances of threads that no combination of the ISO 965-1
// tables covers (0.9, 1.1 and 2.8 mm are no ISO 965-1 pitches, 0.2 and 0.35
// mm are tabulated only up to 5.6 mm, the tables end at 355 mm and are read
// up to 6 mm pitch; each row is checked against the tables), worked from the
// formulas, in micrometres with P and d in mm:
//   external: d = the middle of D's range (4.2 for 2.8 < D <= 5.6, 16.8 for
//     11.2 < D <= 22.4, 33.7 for 22.4 < D <= 45, 67.5 for 45 < D <= 90, D
//     itself above 300 mm), T6 = 90 P^0.4 d^0.1,
//     Td2 = T6 x 0.5, 0.63, 0.8, 1, 1.25, 1.6, 2 for grades 3..9;
//   internal: T = 90 P^0.4 D^0.1 with D itself,
//     TD2 = T x 0.85, 1.06, 1.32, 1.7, 2.12 for grades 4..8,
//     refused (error 10) when that exceeds 250 P;
// then the nearest number of the R40 series (ISO 3: 100 106 112 118 125 132
// 140 150 160 170 180 190 200 212 224 236 250 265 280 300 315 335 355 375
// 400 425 450 475 500 530 560 600 630 670 710 750 800 850 900 950), the
// lower one on a tie. Raw values by python3, e.g. for M16 x 0.9 grade 3:
//   90 * 0.9**0.4 * 16.8**0.1 * 0.5 = 57.21 -> 56 (midpoint 58).
// The threads are chosen so that every grade's factor lies within 1.5 % of a
// rounding midpoint in one row from below and in another from above; the
// comment gives the R40 number that a factor 1.5 % larger (+) or smaller (-)
// would give instead, so no factor can move by that much either way unseen.
struct FormulaRow {
    bool External;
    int Grade;
    double D, P;
    int Expected; // micrometres; 0: refused with error 10
};

const FormulaRow FormulaRows[] = {
    // M16 x 0.9: d = 16.8, T6 = 114.41; T = 113.85.
    {true, 3, 16, 0.9, 56},   // 1: 57.21 (+ 60)
    {true, 4, 16, 0.9, 71},   // 2: 72.08 (+ 75)
    {true, 5, 16, 0.9, 90},   // 3: 91.53 (+ 95)
    {true, 6, 16, 0.9, 112},  // 4: 114.41 (+ 118)
    {true, 7, 16, 0.9, 140},  // 5: 143.01 (+ 150)
    {true, 8, 16, 0.9, 180},  // 6: 183.06 (+ 190)
    {true, 9, 16, 0.9, 224},  // 7: 228.82 (+ 236)
    {false, 4, 16, 0.9, 95},  // 8: 96.78 (+ 100)
    {false, 5, 16, 0.9, 118}, // 9: 120.69 (+ 125)
    {false, 6, 16, 0.9, 150}, // 10: 150.29
    {false, 7, 16, 0.9, 190}, // 11: 193.55 (+ 200); at most 225
    {false, 8, 16, 0.9, 0},   // 12: 241.37 > 225
    // M68 x 2.8: d = 67.5, T6 = 207.03; T = 207.18.
    {true, 3, 68, 2.8, 106},  // 13: 103.52 (- 100)
    {true, 4, 68, 2.8, 132},  // 14: 130.43 (- 125)
    {true, 5, 68, 2.8, 170},  // 15: 165.63 (- 160)
    {true, 6, 68, 2.8, 212},  // 16: 207.03 (- 200)
    {true, 7, 68, 2.8, 265},  // 17: 258.79 (- 250)
    {true, 8, 68, 2.8, 335},  // 18: 331.25
    {true, 9, 68, 2.8, 425},  // 19: 414.06 (- 400)
    {false, 4, 68, 2.8, 180}, // 20: 176.11 (- 170)
    {false, 5, 68, 2.8, 224}, // 21: 219.62 (- 212)
    {false, 6, 68, 2.8, 280}, // 22: 273.48 (- 265)
    {false, 7, 68, 2.8, 355}, // 23: 352.21
    {false, 8, 68, 2.8, 450}, // 24: 439.23 (- 425)
    // M950 x 8: d = D, T6 = T = 410.44.
    {true, 3, 950, 8, 200},  // 25: 205.22 (+ 212)
    {true, 4, 950, 8, 265},  // 26: 258.58 (- 250)
    {true, 5, 950, 8, 335},  // 27: 328.35 (- 315)
    {true, 6, 950, 8, 400},  // 28: 410.44 (+ 425)
    {true, 7, 950, 8, 500},  // 29: 513.05 (+ 530)
    {true, 8, 950, 8, 670},  // 30: 656.71 (- 630)
    {true, 9, 950, 8, 800},  // 31: 820.88 (+ 850)
    {false, 4, 950, 8, 355}, // 32: 348.87 (- 335)
    {false, 5, 950, 8, 425}, // 33: 435.07 (+ 450)
    {false, 6, 950, 8, 530}, // 34: 541.78 (+ 560)
    {false, 7, 950, 8, 710}, // 35: 697.75 (- 670)
    {false, 8, 950, 8, 850}, // 36: 870.14 (+ 900)
    // The limits, tested before rounding. Internal 250 P = 275 at 1.1 mm:
    // 90 * 1.1**0.4 * D**0.1 * 2.12 = 274.56 at M26 (-> 280), 275.60 at M27.
    {false, 8, 26, 1.1, 280}, // 37
    {false, 8, 27, 1.1, 0},   // 38
    // External: T6 at most 180 P^(2/3) - 3.15 / sqrt(P), which is 84.0715 at
    // 0.35 mm: M45 x 0.35 (d = 33.7) T6 = 84.0684 -> 85, M46 x 0.35 (d =
    // 67.5) 90.12; and 54.5155 at 0.2 mm: M4 x 0.2 (d = 4.2) T6 = 54.5732.
    // The limit is on T6, whatever the grade.
    {true, 6, 45, 0.35, 85}, // 39
    {true, 6, 46, 0.35, 0},  // 40
    {true, 3, 4, 0.2, 0},    // 41
};

// Whether a combination of the ISO 965-1 tables covers the thread.
bool Tabulated(bool external, double diameter, double pitch)
{
    const TIsoThreadToleranceRow* rows = external ? IsoExternalThreadTolerances : IsoInternalThreadTolerances;
    const int count = external ? IsoExternalThreadToleranceCount : IsoInternalThreadToleranceCount;
    for (int i = 0; i < count; ++i) {
        if (std::fabs(rows[i].Pitch * 0.001 - pitch) < 1e-9 && rows[i].Over * 0.1 < diameter &&
            diameter <= rows[i].UpTo * 0.1)
            return true;
    }
    return false;
}

// Checks rows of threads beyond the tables against the formulas.
template <std::size_t Count> void ExpectFormulaRows(const FormulaRow (&rows)[Count])
{
    int n = 0;
    for (const FormulaRow& row : rows) {
        ++n;
        ASSERT_FALSE(Tabulated(row.External, row.D, row.P)) << "row " << n;
        double td = -1;
        const int error = IsoThreadTolerance(row.External, row.Grade, row.D, row.P, 1, td);
        if (row.Expected == 0) {
            EXPECT_EQ(error, IsoPitchNotForDiameter) << "row " << n;
            EXPECT_EQ(td, -1) << "row " << n;
        } else {
            ASSERT_EQ(error, IsoOk) << "row " << n;
            EXPECT_NEAR(td, row.Expected * 0.001, 1e-12) << "row " << n;
        }
    }
}

TEST_F(UtisoTest, ThreadTolerancesByFormulaForEveryGrade)
{
    ExpectFormulaRows(FormulaRows);
}

// The external formula's d for every diameter range: D itself up to 1.5 mm,
// 2.15 over 1.5 up to 2.8, 4.2 up to 5.6, 8.4 up to 11.2, 16.8 up to 22.4,
// 33.7 up to 45, 67.5 up to 90, 135 up to 180, 240 up to 300, D itself above
// 300 mm. d enters T6 as d^0.1, so 1 % of d moves the tolerance by 0.1 %,
// which R40 rounding hides unless the value lies that close to a rounding
// midpoint. Each range has two threads beyond the tables (no ISO 965-1 pitch,
// or below the tables' 0.9 mm), raw values by python3 from the formula above
// with d moved by 1 %:
//   the first just below a midpoint, so d 1 % larger rounds up; in the ranges
//     with a middle it sits on the range's upper bound, which belongs to the
//     range (the next range's d would round it up as well);
//   the second just above a midpoint, so d 1 % smaller rounds down.
// Comments: raw value at d, then at d + 1 % and d - 1 % with what they round to.
const FormulaRow RangeRows[] = {
    // d = D up to 1.5 mm.
    {true, 6, 0.8, 0.2, 45},  // 1: 46.2342; + 46.2802 -> 47.5, - 46.1878 -> 45
    {true, 5, 1.3, 0.27, 45}, // 2: 43.7797; + 43.8232 -> 45, - 43.7357 -> 42.5
    // d = 2.15.
    {true, 7, 2.8, 0.38, 80}, // 3: 82.4726; + 82.5547 -> 85, - 82.3898 -> 80
    {true, 6, 2.5, 0.49, 75}, // 4: 73.0407; + 73.1134 -> 75, - 72.9673 -> 71
    // d = 4.2.
    {true, 6, 5.6, 0.65, 85}, // 5: 87.4446; + 87.5316 -> 90, - 87.3567 -> 85
    {true, 4, 5, 0.55, 53},   // 6: 51.5292; + 51.5805 -> 53, - 51.4774 -> 50
    // d = 8.4.
    {true, 7, 11.2, 0.62, 112}, // 7: 114.9575; + 115.0719 -> 118, - 114.8420 -> 112
    {true, 5, 10, 1.1, 95},     // 8: 92.5374; + 92.6296 -> 95, - 92.4445 -> 90
    // d = 16.8.
    {true, 7, 22.4, 1.1, 150}, // 9: 154.9675; + 155.1217 -> 160, - 154.8118 -> 150
    {true, 6, 20, 2.25, 170},  // 10: 165.0617; + 165.2261 -> 170, - 164.8959 -> 160
    // d = 33.7.
    {true, 7, 45, 1.64, 190}, // 11: 194.9185; + 195.1125 -> 200, - 194.7227 -> 190
    {true, 7, 40, 2.85, 250}, // 12: 243.1383; + 243.3804 -> 250, - 242.8941 -> 236
    // d = 67.5.
    {true, 4, 90, 1.55, 100}, // 13: 102.9547; + 103.0572 -> 106, - 102.8513 -> 100
    {true, 6, 60, 1.15, 150}, // 14: 145.0281; + 145.1724 -> 150, - 144.8824 -> 140
    // d = 135.
    {true, 5, 180, 2.7, 170},  // 15: 174.9490; + 175.1231 -> 180, - 174.7732 -> 170
    {true, 4, 150, 5.65, 190}, // 16: 185.1125; + 185.2968 -> 190, - 184.9266 -> 180
    // d = 240.
    {true, 6, 300, 4.05, 265}, // 17: 272.4242; + 272.6954 -> 280, - 272.1505 -> 265
    {true, 6, 250, 6.3, 335},  // 18: 325.0872; + 325.4108 -> 335, - 324.7606 -> 315
    // d = D above 300 mm.
    {true, 6, 310, 3.8, 265},  // 19: 272.4533; + 272.7246 -> 280, - 272.1796 -> 265
    {true, 6, 310, 5.15, 315}, // 20: 307.6816; + 307.9879 -> 315, - 307.3726 -> 300
};

TEST_F(UtisoTest, FormulaTakesTheMiddleOfEveryDiameterRange)
{
    ExpectFormulaRows(RangeRows);
}

// ---------------------------------------------------------------- the entry

TEST_F(UtisoTest, ToleranceTextIsNormalizedByTheGaugeCode)
{
    // 1: h7 on a plug (form 0) becomes H7; the designation of plain gauges is D.
    Outcome plug = Calc(0, 25, 0, QStringLiteral("h7"));
    ASSERT_TRUE(plug.Ok);
    EXPECT_EQ(plug.Tolerance, QStringLiteral("H7"));
    EXPECT_EQ(plug.Class, QStringLiteral("H7"));
    EXPECT_EQ(plug.Designation, QStringLiteral("25"));
    // 2: 6H on a ring (form 3) becomes 6h.
    Outcome ring = Calc(300, 12, 1.75, QStringLiteral("6H"));
    ASSERT_TRUE(ring.Ok);
    EXPECT_EQ(ring.Tolerance, QStringLiteral("6h"));
    EXPECT_EQ(ring.Designation, QStringLiteral("M 12 X 1.75"));
    // 3: g6 on a shaft gauge (form 2) stays g6; 6G on a plug (form 1) stays.
    EXPECT_EQ(Calc(100, 25, 0, QStringLiteral("G6")).Tolerance, QStringLiteral("g6"));
    EXPECT_EQ(Calc(200, 12, 1.75, QStringLiteral("g6")).Tolerance, QStringLiteral("6G"));
    // 4: MJ designation.
    EXPECT_EQ(Calc(200, 12, 1.75, QStringLiteral("6H"), 1, false, true).Designation,
              QStringLiteral("MJ 12 X 1.75"));
    EXPECT_TRUE(Messages->Shown().empty());
}

struct FailureRow {
    int Key;
    double D;
    double P;
    const char* Tolerance;
    const char* Message; // exact text shown
};

TEST_F(UtisoTest, FailuresShowTheirMessage)
{
    const FailureRow rows[] = {
        {8, 25, 0, "H7", "Gage  T-TN is unknown"},                             // 1: master plug
        {110, 25, 0, "h6", "Gage  M-AN is unknown"},                           // 2: reference ring
        {0, 25, 0, "H", "Quality H non present"},                              // 3: no grade
        {0, 25, 0, "H-7", "Quality H-7 non present"},                          // 4: a character not allowed
        {0, 500.5, 0, "H7", "Diameter not available"},                         // 5: beyond 500 mm
        {0, 25, 0, "H3", "Quality H3 non available for gage CTS-P"},           // 6: IT3
        {0, 25, 0, "Q7", "Combination quality/position not available"},        // 7: no such position
        {3, 25, 0, "H5", "Combination quality/position not available"},        // 8: gauge grade "-"
        {200, 12, 1.75, "6js", "Position not available for gage CTF-P"},       // 9
        {200, 12, 1.75, "9H", "Quality non available for gage and position"},  // 10: TD2 grade 9
        {200, 1.2, 0.2, "7H", "Quality non available for gage and position"},  // 11: "-" in TD2
        {200, 12, 0, "6H", "Thread pitch not available for this diameter"},    // 12: P = 0
        {300, 1.2, 0.2, "3h", "Thread pitch not available for this diameter"}, // 13: Td2 24, no band
    };
    int n = 0;
    for (const FailureRow& row : rows) {
        ++n;
        ResetMessages();
        const QString typed = QLatin1String(row.Tolerance);
        const Outcome outcome = Calc(row.Key, row.D, row.P, typed);
        EXPECT_FALSE(outcome.Ok) << "row " << n;
        EXPECT_EQ(outcome.Tolerance, typed) << "row " << n; // the buffer keeps what was typed
        const TMessageBoxRequest& box = OnlyMessage();
        EXPECT_EQ(box.Text, QLatin1String(row.Message)) << "row " << n;
        EXPECT_EQ(box.Caption, QStringLiteral("ATTENTION")) << "row " << n;
        EXPECT_EQ(box.Icon, TMsgIcon::Question) << "row " << n;
    }
}

TEST_F(UtisoTest, ValuesThatAreNotNumbersFailWithAMessage)
{
    EXPECT_FALSE(Calc(0, NanValue(), 0, QStringLiteral("H7")).Ok);
    EXPECT_FALSE(Calc(200, INFINITY, 1.5, QStringLiteral("6H")).Ok);
    EXPECT_FALSE(Calc(200, 10, NanValue(), QStringLiteral("6H")).Ok);
    EXPECT_FALSE(Calc(200, 10, 1e300, QStringLiteral("6H")).Ok);
    ASSERT_EQ(Messages->Shown().size(), 4u);
    EXPECT_EQ(Messages->Shown()[0].Text, QStringLiteral("Diameter not available"));
    EXPECT_EQ(Messages->Shown()[1].Text, QStringLiteral("Diameter not available"));
    EXPECT_EQ(Messages->Shown()[2].Text, QStringLiteral("Thread pitch not available"));
    // A NaN number of starts counts as one start.
    const Outcome outcome = Calc(300, 10, 1.5, QStringLiteral("6g"), NanValue());
    ASSERT_TRUE(outcome.Ok);
    EXPECT_NEAR(outcome.Result.MinW, 8.862, 1e-9);
}

TEST_F(UtisoTest, ThreadGaugesTakeDiametersUpTo1000mm)
{
    // M800 x 6, 6g: no tabulated combination, formula with d = D:
    // T6 = 90 * 6^0.4 * 800^0.1 = 359.6 um -> R40 355; band 315-500 of ISO 1502.
    const Outcome ring = Calc(300, 800, 6, QStringLiteral("6g"));
    ASSERT_TRUE(ring.Ok);
    EXPECT_NEAR(ring.Result.MaxW - ring.Result.MinW, 0.355, 1e-9);
    EXPECT_FALSE(Calc(100, 800, 0, QStringLiteral("h6")).Ok);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Text, QStringLiteral("Diameter not available"));
}

// Any code, number and text ends in a result or an error code, never in a
// fault (the sanitizers watch the arithmetic).
TEST_F(UtisoTest, OddInputsEndInAnErrorCode)
{
    const double numbers[] = {NanValue(), INFINITY, -INFINITY, -1,        0,          1e-300,
                              3,          6.00004,  500,       999.99999, 1000.00001, 1e308};
    const char* texts[] = {"",
                           "H7",
                           "6g",
                           "js99",
                           "9999",
                           "zc7",
                           "\xc3\xa9"
                           "7",
                           "7H7H"};
    for (const TIsoGaugeCode& code : IsoGaugeCodeTable) {
        for (double d : numbers) {
            for (double p : numbers) {
                for (const char* text : texts) {
                    for (bool american : {false, true}) {
                        ISOTOLERANCE record;
                        CalcIsoMetricCore(QLatin1String(code.Code), QString::fromUtf8(text), d, p, p,
                                          american, record);
                        ASSERT_GE(record.Error, IsoOk);
                        ASSERT_LE(record.Error, IsoDiagnostic);
                    }
                }
            }
        }
    }
}

// Plain gauges of 25 mm, worked from the tables: H7 at 18-30 mm: IT7 21,
// deviations 0/+21; b1 grade 7 -> gauge grade 3 -> H = IT3 = 4 um; Z 3, Y 3,
// alpha 0. h6: IT6 13, deviations 0/-13; b4 grade 6 -> IT3, H 4; Z1 = Z of
// grade 7 = 3, Y1 = 3.
TEST_F(UtisoTest, PlainGaugeLimitsAt25mm)
{
    // 1: Go plug: centre 25 + 0 + 0.003 = 25.003 +- 0.002; worn 25 - 0.003 = 24.997.
    Outcome go = Calc(0, 25, 0, QStringLiteral("H7"));
    ASSERT_TRUE(go.Ok);
    EXPECT_NEAR(go.Result.MaxP, 25.005, 1e-9);
    EXPECT_NEAR(go.Result.MinP, 25.001, 1e-9);
    EXPECT_NEAR(go.Result.LogP, 24.997, 1e-9);
    EXPECT_EQ(go.Result.MaxN, 0.0); // a Go-only type leaves the No-go fields at 0
    EXPECT_NEAR(go.Result.MaxW, 25.021, 1e-9);
    EXPECT_NEAR(go.Result.MinW, 25.000, 1e-9);
    EXPECT_TRUE(IsNan(go.Result.HoleW));
    EXPECT_EQ(go.Result.MedP, 0.0);
    // 2: limit plug: No-go 25.021 +- 0.002 (alpha 0) and the Go above.
    Outcome limit = Calc(2, 25, 0, QStringLiteral("H7"));
    ASSERT_TRUE(limit.Ok);
    EXPECT_NEAR(limit.Result.MaxN, 25.023, 1e-9);
    EXPECT_NEAR(limit.Result.MinN, 25.019, 1e-9);
    EXPECT_EQ(limit.Result.LogN, 0.0);
    EXPECT_NEAR(limit.Result.MaxP, 25.005, 1e-9);
    // 3: Go ring: centre 25 - 0.003 = 24.997 +- 0.002; worn 25 + 0.003 = 25.003.
    Outcome ring = Calc(100, 25, 0, QStringLiteral("h6"));
    ASSERT_TRUE(ring.Ok);
    EXPECT_NEAR(ring.Result.MaxP, 24.999, 1e-9);
    EXPECT_NEAR(ring.Result.MinP, 24.995, 1e-9);
    EXPECT_NEAR(ring.Result.LogP, 25.003, 1e-9);
    // 4: No-go ring: 25 - 0.013 = 24.987 +- 0.002.
    Outcome noGo = Calc(101, 25, 0, QStringLiteral("h6"));
    ASSERT_TRUE(noGo.Ok);
    EXPECT_NEAR(noGo.Result.MaxN, 24.989, 1e-9);
    EXPECT_NEAR(noGo.Result.MinN, 24.985, 1e-9);
    EXPECT_NEAR(noGo.Result.MinW, 24.987, 1e-9);
}

// Check plugs of gap gauges above 180 mm, h6 at 200 mm: IT6 29, deviations
// 0/-29; b6 grade 6 -> gauge grade 1 -> H = IT1 = 4.5 um; Z1 = Z(7) = 7,
// Y1 = 5, alpha1 = alpha(6) = 2 um.
TEST_F(UtisoTest, CheckPlugsOfGapGaugesFollowTheGapZone)
{
    // 1: Go: centre 200 - 0.007 = 199.993 +- 0.00225.
    Outcome go = Calc(107, 200, 0, QStringLiteral("h6"));
    ASSERT_TRUE(go.Ok);
    EXPECT_NEAR(go.Result.MaxP, 199.99525, 1e-9);
    EXPECT_NEAR(go.Result.MinP, 199.99075, 1e-9);
    // 2: No-go: the No-go gap gauge's zone, 200 - 0.029 + 0.002 = 199.973 +- 0.00225.
    Outcome noGo = Calc(108, 200, 0, QStringLiteral("h6"));
    ASSERT_TRUE(noGo.Ok);
    EXPECT_NEAR(noGo.Result.MaxN, 199.97525, 1e-9);
    EXPECT_NEAR(noGo.Result.MinN, 199.97075, 1e-9);
    // The No-go gap gauge it checks (b5: H = IT3 = 10 um) has the same centre.
    Outcome gap = Calc(103, 200, 0, QStringLiteral("h6"));
    EXPECT_NEAR((gap.Result.MaxN + gap.Result.MinN) / 2, 199.973, 1e-9);
    // 3: wear check: 200 + 0.005 - 0.002 (above 180 mm) = 200.003 +- 0.00225.
    Outcome wear = Calc(109, 200, 0, QStringLiteral("h6"));
    ASSERT_TRUE(wear.Ok);
    EXPECT_NEAR(wear.Result.MaxP, 200.00525, 1e-9);
    EXPECT_NEAR(wear.Result.MinP, 200.00075, 1e-9);
}

// ---------------------------------------------------------------- ISO 1502

// Pitch-diameter limits of the thread gauges, worked by hand from the ISO
// 1502 table (bands by TD, micrometres) with d2 = D - 0.64952 P.
//
// M10 x 1.5: d2 = 10 - 0.97428 = 9.02572.
//   6H: A = 0, TD2 = 180 -> band 125-200: TPL 11, ZPL 12; plug wear WGO 17.5, WNG 11.5.
//   6g: A = 32, Td2 = 132 -> band 125-200: TR 18, TCP 9, M 18, ZR 8; ring wear
//   WGO 21, WNG 15. B = d2 - A = 8.99372.
// M24 x 3: d2 = 24 - 1.94856 = 22.05144.
//   6H: TD2 = 265 -> band 200-315: TPL 14, ZPL 16; plug wear WGO 21, WNG 15.
//   6g: A = 48, Td2 = 200 -> band 125-200 (up to 200): TR 18, TCP 9, M 18, ZR 8;
//   ring wear 21, 15. B = 22.00344.
struct GaugeRow {
    int Key;
    double D, P;
    bool NoGoFields; // the triple is in MaxN, MinN, LogN
    double Max, Min, Worn;
};
const GaugeRow GaugeRows[] = {
    // Go plug: centre d2 + ZPL = 9.03772 +- 0.0055; worn centre - WGO = 9.02022.
    {200, 10, 1.5, false, 9.04322, 9.03222, 9.02022},
    // No-go plug: min d2 + TD = 9.20572, max + TPL = 9.21672; worn min + TPL/2 - WNG = 9.19972.
    {201, 10, 1.5, true, 9.21672, 9.20572, 9.19972},
    // Go ring: centre d2 - A - ZR = 8.98572 +- 0.009; worn centre + WGO = 9.00672.
    {300, 10, 1.5, false, 8.99472, 8.97672, 9.00672},
    // No-go ring: max d2 - A - TD = 8.86172, min - TR = 8.84372; worn max - 0.009 + 0.015 = 8.86772.
    {301, 10, 1.5, true, 8.86172, 8.84372, 8.86772},
    {302, 10, 1.5, false, 8.99472, 8.97672, 9.00672},
    {303, 10, 1.5, true, 8.86172, 8.84372, 8.86772},
    {304, 10, 1.5, false, 8.99472, 8.97672, 9.00672},
    {305, 10, 1.5, true, 8.86172, 8.84372, 8.86772},
    // Check plugs (worn shows the minimum):
    // c2: centre B - ZR - M = 8.96772 +- 0.0045.
    {306, 10, 1.5, false, 8.97222, 8.96322, 8.96322},
    // c1: centre B - ZR + TR/2 = 8.99472 +- 0.0045.
    {307, 10, 1.5, true, 8.99922, 8.99022, 8.99022},
    // c3: centre B - ZR + WGO = 9.00672 +- 0.0045.
    {308, 10, 1.5, false, 9.01122, 9.00222, 9.00222},
    // c5: min B - ZR = 8.98572, max + TCP = 8.99472.
    {309, 10, 1.5, false, 8.99472, 8.98572, 8.98572},
    // c4: max B - TD - TR/2 = 8.85272, min - TCP = 8.84372.
    {310, 10, 1.5, false, 8.85272, 8.84372, 8.84372},
    // c6: centre B - TD - TR/2 + WNG = 8.86772 +- 0.0045.
    {311, 10, 1.5, false, 8.87222, 8.86322, 8.86322},
    // c8: centre B - TD - TR/2 - M = 8.83472 +- 0.0045.
    {312, 10, 1.5, false, 8.83922, 8.83022, 8.83022},
    // c7: centre B - TD = 8.86172 +- 0.0045.
    {313, 10, 1.5, true, 8.86622, 8.85722, 8.85722},
    {314, 10, 1.5, false, 8.97222, 8.96322, 8.96322}, // c2 as 306
    {315, 10, 1.5, false, 8.85272, 8.84372, 8.84372}, // c4 as 310

    // Go plug: centre 22.05144 + 0.016 = 22.06744 +- 0.007; worn - 0.021 = 22.04644.
    {200, 24, 3, false, 22.07444, 22.06044, 22.04644},
    // No-go plug: min 22.05144 + 0.265 = 22.31644, max + 0.014; worn min + 0.007 - 0.015.
    {201, 24, 3, true, 22.33044, 22.31644, 22.30844},
    // Go ring: centre 22.05144 - 0.048 - 0.008 = 21.99544 +- 0.009; worn + 0.021.
    {300, 24, 3, false, 22.00444, 21.98644, 22.01644},
    // No-go ring: max 22.05144 - 0.048 - 0.200 = 21.80344, min - 0.018; worn max - 0.009 + 0.015.
    {301, 24, 3, true, 21.80344, 21.78544, 21.80944},
    {302, 24, 3, false, 22.00444, 21.98644, 22.01644},
    {303, 24, 3, true, 21.80344, 21.78544, 21.80944},
    {304, 24, 3, false, 22.00444, 21.98644, 22.01644},
    {305, 24, 3, true, 21.80344, 21.78544, 21.80944},
    // c2: B - 0.008 - 0.018 = 21.97744 +- 0.0045.
    {306, 24, 3, false, 21.98194, 21.97294, 21.97294},
    // c1: B - 0.008 + 0.009 = 22.00444 +- 0.0045.
    {307, 24, 3, true, 22.00894, 21.99994, 21.99994},
    // c3: B - 0.008 + 0.021 = 22.01644 +- 0.0045.
    {308, 24, 3, false, 22.02094, 22.01194, 22.01194},
    // c5: min B - 0.008 = 21.99544, max + 0.009.
    {309, 24, 3, false, 22.00444, 21.99544, 21.99544},
    // c4: max B - 0.200 - 0.009 = 21.79444, min - 0.009.
    {310, 24, 3, false, 21.79444, 21.78544, 21.78544},
    // c6: 21.79444 + 0.015 = 21.80944 +- 0.0045.
    {311, 24, 3, false, 21.81394, 21.80494, 21.80494},
    // c8: 21.79444 - 0.018 = 21.77644 +- 0.0045.
    {312, 24, 3, false, 21.78094, 21.77194, 21.77194},
    // c7: B - 0.200 = 21.80344 +- 0.0045.
    {313, 24, 3, true, 21.80794, 21.79894, 21.79894},
    {314, 24, 3, false, 21.98194, 21.97294, 21.97294},
    {315, 24, 3, false, 21.79444, 21.78544, 21.78544},
};

TEST_F(UtisoTest, ThreadGaugeLimitsWorkedFromIso1502)
{
    int n = 0;
    for (const GaugeRow& row : GaugeRows) {
        ++n;
        const QString tolerance = row.Key < 300 ? QStringLiteral("6H") : QStringLiteral("6g");
        const Outcome outcome = Calc(row.Key, row.D, row.P, tolerance);
        ASSERT_TRUE(outcome.Ok) << "row " << n;
        const TOLLERANCE& t = outcome.Result;
        EXPECT_NEAR(row.NoGoFields ? t.MaxN : t.MaxP, row.Max, 1e-9) << "row " << n << " key " << row.Key;
        EXPECT_NEAR(row.NoGoFields ? t.MinN : t.MinP, row.Min, 1e-9) << "row " << n << " key " << row.Key;
        EXPECT_NEAR(row.NoGoFields ? t.LogN : t.LogP, row.Worn, 1e-9) << "row " << n << " key " << row.Key;
        // The mean of the triple; the other side stays 0.
        EXPECT_NEAR(row.NoGoFields ? t.MedN : t.MedP, (row.Max + row.Min) / 2, 1e-9) << "row " << n;
        EXPECT_EQ(row.NoGoFields ? t.MaxP : t.MaxN, 0.0) << "row " << n;
        EXPECT_EQ(t.TPasso, 0.005);
    }
    // The limit plug carries both: No-go in the N fields, Go in the P fields.
    const Outcome limit = Calc(202, 10, 1.5, QStringLiteral("6H"));
    ASSERT_TRUE(limit.Ok);
    EXPECT_NEAR(limit.Result.MaxN, 9.21672, 1e-9);
    EXPECT_NEAR(limit.Result.LogN, 9.19972, 1e-9);
    EXPECT_NEAR(limit.Result.MaxP, 9.04322, 1e-9);
    EXPECT_NEAR(limit.Result.LogP, 9.02022, 1e-9);
}

TEST_F(UtisoTest, WorkpieceAndProfileLimitsOfM10)
{
    // Workpiece: 6g 8.994/8.862, 6H 9.026/9.206 (d2 9.02572, A 32, Td2 132, TD2 180).
    const Outcome bolt = Calc(300, 10, 1.5, QStringLiteral("6g"));
    ASSERT_TRUE(bolt.Ok);
    EXPECT_NEAR(bolt.Result.MaxW, 8.994, 1e-9);
    EXPECT_NEAR(bolt.Result.MinW, 8.862, 1e-9);
    // Go ring minor: 10 - 1.623795 - 0.032 = 8.344205 +- TR/2 0.009; major: max empty,
    // min 0.072169 * 1.5 + 10 - 0.032 + TPL 0.011 = 10.0872535.
    EXPECT_NEAR(bolt.Result.MaxPi, 8.353205, 1e-9);
    EXPECT_NEAR(bolt.Result.MinPi, 8.335205, 1e-9);
    EXPECT_TRUE(IsNan(bolt.Result.MaxPe));
    EXPECT_NEAR(bolt.Result.MinPe, 10.0872535, 1e-9);
    EXPECT_EQ(bolt.Result.TSA, 16.0); // 1.5 mm pitch: 16 minutes

    const Outcome nut = Calc(200, 10, 1.5, QStringLiteral("6H"));
    ASSERT_TRUE(nut.Ok);
    EXPECT_NEAR(nut.Result.MaxW, 9.206, 1e-9);
    EXPECT_NEAR(nut.Result.MinW, 9.026, 1e-9);
    // Go plug major: 10 + 0 + ZPL 0.012 +- TPL 0.011; minor 10 - 1.226868 * 1.5 = 8.159698.
    EXPECT_NEAR(nut.Result.MaxPe, 10.023, 1e-9);
    EXPECT_NEAR(nut.Result.MinPe, 10.001, 1e-9);
    EXPECT_NEAR(nut.Result.MaxPi, 8.159698, 1e-9);
    EXPECT_TRUE(IsNan(nut.Result.MinPi));

    // The setting plug of the No-go caliper (315) has the profile of 310:
    // major max 0.0055 + 0.3 + 10 - 0.97428 - 0.032 - 0.132 - 0.009 - 0.0045 = 9.15372.
    const Outcome setting = Calc(315, 10, 1.5, QStringLiteral("6g"));
    ASSERT_TRUE(setting.Ok);
    EXPECT_NEAR(setting.Result.MaxPe, 9.15372, 1e-9);
    EXPECT_NEAR(setting.Result.MinPe, 9.14272, 1e-9);
    EXPECT_EQ(setting.Result.MaxNe, 0.0);
}

// Minor and major diameter limits of the check and setting plugs of ring
// gauges (keys 306 to 314; 315 is pinned above) for M8 x 1.25 6g, worked
// from their formulas in mm with D 8, P 1.25, A 0.028 and Td2 0.118 (ISO
// 965-1) and the ISO 1502 band 80-125 um: TR 0.014, TPL 0.009, TCP 0.008,
// M 0.015, ZR 0.002 and the rings' WGO 0.016, WNG 0.012. These all differ,
// so a term swapped for another shows. Shorthands:
//   d2 = 8 - 0.64952 x 1.25 = 7.1881, 0.2 P = 0.25,
//   m = 8 - 1.08253 x 1.25 - 0.144338 x 1.25 = 6.466415 (the basic minor
//       diameter less the check plug's clearance).
struct ProfileRow {
    int Key;
    bool NoGoFields; // MaxNe/MinNe/MaxNi, else MaxPe/MinPe/MaxPi
    double MaxMajor, MinMajor, MaxMinor;
};

const ProfileRow ProfileRows[] = {
    // major 8 - A +- TPL; minor m - A - ZR - M.
    {306, false, 7.981, 7.963, 6.421415},
    // major TPL/2 + 0.25 + TR/2 + d2 - A - ZR = 0.0045 + 0.25 + 0.007 + 7.1881
    // - 0.028 - 0.002 = 7.4196, min - TPL; minor m - A - TR/2.
    {307, true, 7.4196, 7.4106, 6.431415},
    // major TPL/2 + 0.25 + d2 - A - ZR + WGO = 7.4286, min - TPL; minor as 307.
    {308, false, 7.4286, 7.4196, 6.431415},
    // as 308 with - TCP/2 for + WGO: 7.4086.
    {309, false, 7.4086, 7.3996, 6.431415},
    // major TPL/2 + 0.25 + d2 - A - TD - TR/2 - TCP/2 = 0.0045 + 0.25 + 7.1881
    // - 0.028 - 0.118 - 0.007 - 0.004 = 7.2856, min - TPL; minor m - A - TD.
    {310, false, 7.2856, 7.2766, 6.320415},
    // major 8 - A - TD - TR/2 + WNG + TPL = 7.868, min - 2 TPL; minor as 310.
    {311, false, 7.868, 7.850, 6.320415},
    // major as 306; minor m - A - TD - TR/2 - M.
    {312, false, 7.981, 7.963, 6.298415},
    // major 8 - A - TD +- TPL; minor as 310.
    {313, true, 7.863, 7.845, 6.320415},
    // as 306.
    {314, false, 7.981, 7.963, 6.421415},
};

TEST_F(UtisoTest, ProfileLimitsOfTheCheckPlugsOfRings)
{
    for (const ProfileRow& row : ProfileRows) {
        const Outcome outcome = Calc(row.Key, 8, 1.25, QStringLiteral("6g"));
        ASSERT_TRUE(outcome.Ok) << "key " << row.Key;
        const TOLLERANCE& t = outcome.Result;
        // The limits of the plug's own side; the other side stays cleared.
        const double go[] = {t.MaxPe, t.MinPe, t.MaxPi, t.MinPi};
        const double noGo[] = {t.MaxNe, t.MinNe, t.MaxNi, t.MinNi};
        const double* own = row.NoGoFields ? noGo : go;
        const double* other = row.NoGoFields ? go : noGo;
        EXPECT_NEAR(own[0], row.MaxMajor, 1e-9) << "key " << row.Key;
        EXPECT_NEAR(own[1], row.MinMajor, 1e-9) << "key " << row.Key;
        EXPECT_NEAR(own[2], row.MaxMinor, 1e-9) << "key " << row.Key;
        EXPECT_TRUE(IsNan(own[3])) << "key " << row.Key;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(other[i], 0.0) << "key " << row.Key << " field " << i;
    }
}

TEST_F(UtisoTest, AmericanOption)
{
    // 1: Go ring, X for 1.5 mm up to 39 mm = 8 um: (d2 - A, d2 - A - X, worn = max).
    Outcome ring = Calc(300, 10, 1.5, QStringLiteral("6g"), 1, true);
    ASSERT_TRUE(ring.Ok);
    EXPECT_NEAR(ring.Result.MaxP, 8.99372, 1e-9);
    EXPECT_NEAR(ring.Result.MinP, 8.98572, 1e-9);
    EXPECT_NEAR(ring.Result.LogP, 8.99372, 1e-9);
    EXPECT_EQ(ring.Result.MaxPi, 0.0); // no profile limits with the option
    // 2: limit plug, 6H: No-go (d2 + TD, d2 + TD - X, worn = min) and Go (d2 + X, d2, worn = min).
    Outcome plug = Calc(202, 10, 1.5, QStringLiteral("6H"), 1, true);
    ASSERT_TRUE(plug.Ok);
    EXPECT_NEAR(plug.Result.MaxN, 9.20572, 1e-9);
    EXPECT_NEAR(plug.Result.MinN, 9.19772, 1e-9);
    EXPECT_NEAR(plug.Result.MaxP, 9.03372, 1e-9);
    EXPECT_NEAR(plug.Result.LogP, 9.02572, 1e-9);
    // 3: setting plug of the Go caliper ("w"): W up to 12 mm = 3 um, the ring's
    // Go limits held at their minimum.
    Outcome check = Calc(314, 10, 1.5, QStringLiteral("6g"), 1, true);
    ASSERT_TRUE(check.Ok);
    EXPECT_NEAR(check.Result.MaxP, 8.99372, 1e-9);
    EXPECT_NEAR(check.Result.MinP, 8.99072, 1e-9);
    EXPECT_NEAR(check.Result.LogP, 8.99072, 1e-9);
    // 4: a check plug without an American tolerance kind, and a band of X that is 0.
    EXPECT_FALSE(Calc(306, 10, 1.5, QStringLiteral("6g"), 1, true).Ok);
    Outcome zero = Calc(300, 150, 0.75, QStringLiteral("6g"), 1, true);
    ASSERT_TRUE(zero.Ok);
    EXPECT_DOUBLE_EQ(zero.Result.MaxP, zero.Result.MinP);
    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_TRUE(Messages->Shown()[0].Text.startsWith(QStringLiteral("Errore diagnostico\n")));
}

// The wear check plugs of the rings carry the names of the gauges their
// rules compute: 308 (c3, centre d2max - ZR + WGO) checks the Go ring, 311
// (c6, centre d2min - TR/2 + WNG) the Not-go ring.
TEST_F(UtisoTest, WearCheckPlugsOfRingsAreNamedByTheirRing)
{
    const struct {
        int Key;
        const char* Name;
        double Max, Min;
    } rows[] = {
        {308, "Wear check plug for solid or adj. go screw ring", 9.01122, 9.00222},
        {311, "Wear check plug for solid or adj. not-go screw ring", 8.87222, 8.86322},
    };
    for (const auto& row : rows) {
        const CALIBRETYPE type = Type(row.Key);
        EXPECT_EQ(type.Name, QLatin1String(row.Name));
        EXPECT_EQ(type.Ring, 0) << row.Key; // a plug
        const Outcome outcome = Calc(type, 10, 1.5, QStringLiteral("6g"));
        ASSERT_TRUE(outcome.Ok);
        EXPECT_NEAR(outcome.Result.MaxP, row.Max, 1e-9) << row.Key;
        EXPECT_NEAR(outcome.Result.MinP, row.Min, 1e-9) << row.Key;
    }
}

// A pitch too large for the diameter gives a basic pitch diameter (M3 x 5:
// 3 - 0.64952 x 5 < 0) or a basic minor diameter (M10 x 12: 10 - 1.08253 x
// 12 < 0) below 0: no such thread. It is refused with error 10, with or
// without the American option, and the record stays as it was.
TEST_F(UtisoTest, APitchTooLargeForTheDiameterIsRefused)
{
    const struct {
        int Key;
        double D, P;
        const char* Tolerance;
        bool American;
    } rows[] = {
        {300, 3, 5, "6g", false},   // 1: Go thread ring
        {300, 3, 5, "6g", true},    // 2
        {202, 10, 12, "6H", false}, // 3: limit plug
        {202, 10, 12, "6H", true},  // 4
        {308, 3, 5, "6g", false},   // 5: check plug of a ring
    };
    int n = 0;
    for (const auto& row : rows) {
        ++n;
        ResetMessages();
        const Outcome outcome = Calc(row.Key, row.D, row.P, QLatin1String(row.Tolerance), 1, row.American);
        EXPECT_FALSE(outcome.Ok) << "row " << n;
        EXPECT_EQ(OnlyMessage().Text, QStringLiteral("Thread pitch not available for this diameter"))
            << "row " << n;
        TOLLERANCE cleared;
        ClearToleranceRecord(cleared);
        EXPECT_EQ(std::memcmp(&outcome.Result, &cleared, sizeof cleared), 0) << "row " << n;
        EXPECT_TRUE(outcome.Designation.isEmpty()) << "row " << n;
        ISOTOLERANCE record;
        EXPECT_FALSE(CalcIsoMetricCore(Type(row.Key).Code2, QLatin1String(row.Tolerance), row.D, row.P, 1,
                                       row.American, record));
        EXPECT_EQ(record.Error, IsoPitchNotForDiameter) << "row " << n;
    }
}

// Every combination of diameter range, pitch and grade of the ISO 965-1
// tables, at both ends of its range, for every ISO thread gauge type: each
// is computed, unless the pitch-diameter tolerance lies outside the bands of
// the ISO 1502 gauge tolerances (error 10 as before); no thread of the
// tables is refused as too coarse for its diameter.
TEST_F(UtisoTest, EveryIso965CombinationStillComputes)
{
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    int computed = 0, outsideTheBands = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE& type = *list.At(i);
        if (type.Family != 0 || (type.Group != 2 && type.Group != 3))
            continue;
        const bool external = type.Group == 3;
        const TIsoThreadToleranceRow* rows =
            external ? IsoExternalThreadTolerances : IsoInternalThreadTolerances;
        const int count = external ? IsoExternalThreadToleranceCount : IsoInternalThreadToleranceCount;
        const int firstGrade = external ? 3 : 4;
        const int grades = external ? 7 : 5;
        for (int r = 0; r < count; ++r) {
            for (double d : {rows[r].Over * 0.1 + 0.001, rows[r].UpTo * 0.1}) {
                const double p = rows[r].Pitch * 0.001;
                for (int g = 0; g < grades; ++g) {
                    if (rows[r].Values[g] == IsoNotDefined)
                        continue;
                    for (const char* position : external ? std::array{"g", "h"} : std::array{"G", "H"}) {
                        const QString tolerance = QString::number(firstGrade + g) + QLatin1String(position);
                        double td = 0;
                        ASSERT_EQ(IsoThreadTolerance(external, firstGrade + g, d, p, 1, td), IsoOk);
                        ISOTOLERANCE bands;
                        const bool inTheBands = IsoThreadGaugeTolerances(td, bands) == IsoOk;
                        const size_t before = Messages->Shown().size();
                        const Outcome outcome = Calc(type, d, p, tolerance);
                        ASSERT_EQ(outcome.Ok, inTheBands)
                            << type.Key() << " " << d << " x " << p << " " << tolerance.toStdString();
                        if (!inTheBands) {
                            ASSERT_EQ(Messages->Shown().size(), before + 1);
                            EXPECT_EQ(Messages->Shown().back().Text,
                                      QStringLiteral("Thread pitch not available for this diameter"));
                        }
                        ++(inTheBands ? computed : outsideTheBands);
                    }
                }
            }
        }
    }
    EXPECT_GT(computed, 10000);
    std::printf("ISO 965-1 combinations: %d computed, %d outside the ISO 1502 bands\n", computed,
                outsideTheBands);
}

// Every ISO gauge type of the catalogue runs for a plain H7/h6 at 25 mm and a
// thread 6H/6g M12 x 1.75; every field is then 0, the empty value or a
// positive length, and the fields of the type's role are set.
TEST_F(UtisoTest, EveryIsoGaugeTypeRuns)
{
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    int checked = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE& type = *list.At(i);
        if (type.Family != 0)
            continue;
        ++checked;
        const int key = type.Key();
        const bool plain = type.Group <= 1;
        const QString tolerance = type.Group == 0   ? QStringLiteral("H7")
                                  : type.Group == 1 ? QStringLiteral("h6")
                                  : type.Group == 2 ? QStringLiteral("6H")
                                                    : QStringLiteral("6g");
        ResetMessages();
        const Outcome outcome = Calc(key, plain ? 25 : 12, plain ? 0 : 1.75, tolerance);
        if (key == 8 || key == 110) {
            EXPECT_FALSE(outcome.Ok) << "key " << key;
            EXPECT_EQ(OnlyMessage().Text, QStringLiteral("Gage  %1 is unknown").arg(type.Code2));
            continue;
        }
        ASSERT_TRUE(outcome.Ok) << "key " << key;
        EXPECT_TRUE(Messages->Shown().empty()) << "key " << key;
        std::array<double, 25> fields;
        std::memcpy(fields.data(), &outcome.Result, sizeof fields);
        for (int f = 0; f < 25; ++f) {
            const double v = fields[f];
            EXPECT_TRUE(v == 0.0 || IsNan(v) || (std::isfinite(v) && v > 0))
                << "key " << key << " field " << f;
        }
        const TOLLERANCE& t = outcome.Result;
        if (type.Role == 1 || type.Role == 3) {
            EXPECT_TRUE(t.MaxP > t.MinP && t.MinP > 0) << "key " << key;
        }
        if (type.Role == 2 || type.Role == 3) {
            EXPECT_TRUE(t.MaxN > t.MinN && t.MinN > 0) << "key " << key;
        }
        EXPECT_TRUE(t.MaxW > t.MinW) << "key " << key;
        EXPECT_TRUE(IsNan(t.HoleW)) << "key " << key;
    }
    EXPECT_EQ(checked, 40);
}

} // namespace
