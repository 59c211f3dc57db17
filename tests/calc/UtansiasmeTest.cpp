// The ANSI/ASME inch calculators: text entry of plain gauges, the unified
// pitch-diameter limits against the published ASME B1.1 tables, the gauge
// keys of the UN, UNS and pipe calculators, and a run over every inch gauge
// type of the catalogue.
#include "calc/Utansiasme.h"
#include "app/core/Uround.h"
#include "tests/calc/CalcFixture.h"
#include "tests/support/FuzzLoop.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double Mm = 25.4;

class UtansiasmeTest : public CalcTest {
protected:
    // The catalogue record of an ANSI/ASME key (group * 100 + item).
    static CALIBRETYPE InchType(int key)
    {
        CALIBRETYPELIST list;
        FillTypeCatalogue(list);
        CALIBRETYPE type;
        type.Family = 1;
        type.Group = key / 100;
        type.Item = key % 100;
        EXPECT_TRUE(list.Find(type)) << "key " << key;
        return type;
    }

    // A wizard request for a unified size.
    static INCHTHREAD Request(int key, double diameter, double tpi, int series, int toleranceClass)
    {
        INCHTHREAD r;
        r.GaugeType = InchType(key);
        r.Diameter = diameter;
        r.Tpi = tpi;
        r.Series = series;
        r.ToleranceClass = toleranceClass;
        return r;
    }

    struct Texts {
        TCalcText Diameter, Angle, Pitch, Designation, Tolerance, Class;
    };

    void ExpectOnlyError()
    {
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, "MN 055 : Error calculating tolerance from tabel");
        EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
        EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Question);
    }
};

// Count of 0.0001 in of a length in millimetres.
long Counts(double mm)
{
    return std::lround(mm / Mm * 10000);
}

// ---------------------------------------------------------------- plain gauges

TEST_F(UtansiasmeTest, InchSizeTexts)
{
    struct Row {
        const char* Text;
        bool Ok;
        double Diameter; // 99 stands for "left as it was"
        const char* After;
    };
    const Row rows[] = {
        /* 1 */ {"1 1/2", true, 1.5, "1.5"},
        /* 2 */ {"3/8", true, 0.375, "0.375"},
        /* 3 */ {"0,5", true, 0.5, "0.5"},
        /* 4 */ {" 2 ", true, 2, "2"},
        /* 5 */ {"1 1/0", false, 99, "1 1/0"}, // zero denominator: diameter untouched
        /* 6 */ {"1/0", false, 99, "1/0"},
        /* 7 */ {"abc", false, 0, "abc"},
        /* 8 */ {"", false, 0, ""},
        /* 9 */ {"1 1/2 3", false, 0, "1 1/2 3"},
        /* 10 */ {"1 1", false, 0, "1 1"},
        /* 11 */ {"1e999", false, 0, "1e999"}, // not finite
        /* 12 */ {"1/2/3", false, 0, "1/2/3"},
    };
    for (const Row& row : rows) {
        QString text = QString::fromLatin1(row.Text);
        double d = 99;
        EXPECT_EQ(ParseInchSize(text, d), row.Ok) << row.Text;
        EXPECT_DOUBLE_EQ(d, row.Diameter) << row.Text;
        EXPECT_EQ(text, QString::fromLatin1(row.After)) << row.Text;
    }
}

TEST_F(UtansiasmeTest, ToleranceTexts)
{
    struct Row {
        const char* Text;
        bool Ok;
        double Upper, Lower;
        const char* Class;
    };
    const Row rows[] = {
        /* 1 */ {"X", true, 0, 0, "X"},
        /* 2 */ {"xx", true, 0, 0, "XX"}, // lower case is found after the parse
        /* 3 */ {"-0.001 +0.002 y", true, 0.002, -0.001, "Y"},
        /* 4 */ {"0.002 -0.001 Z", true, 0.002, -0.001, "Z"},
        /* 5 */ {"+-0.0005 xxx", true, 0.0005, -0.0005, "XXX"},
        /* 6 */ {"X Y", false, 0, 0, "X Y"},                 // a letter first and a blank
        /* 7 */ {"0.001 0.002", false, 0, 0, "0.001 0.002"}, // no class
        /* 8 */ {"+-0.0005", false, 0, 0, "+-0.0005"},
        /* 9 */ {"0.001 abc X", false, 0, 0, "0.001 abc X"},
        /* 10 */ {"", false, 0, 0, ""},
    };
    for (const Row& row : rows) {
        QString text = QString::fromLatin1(row.Text);
        double upper = 0, lower = 0;
        EXPECT_EQ(ParseDeviations(text, upper, lower), row.Ok) << row.Text;
        EXPECT_DOUBLE_EQ(upper, row.Upper) << row.Text;
        EXPECT_DOUBLE_EQ(lower, row.Lower) << row.Text;
        EXPECT_EQ(text, QString::fromLatin1(row.Class)) << row.Text;
    }
}

TEST_F(UtansiasmeTest, GaugeMakerToleranceRangesAndClasses)
{
    double t = 0;
    EXPECT_FALSE(GaugeMakerTolerance("XXX", 0.04, t)); // the first range is open below
    ASSERT_TRUE(GaugeMakerTolerance("XXX", 0.0401, t));
    EXPECT_DOUBLE_EQ(t, 10e-6);
    ASSERT_TRUE(GaugeMakerTolerance("XXX", 0.825, t)); // a shared bound takes the earlier row
    EXPECT_DOUBLE_EQ(t, 10e-6);
    ASSERT_TRUE(GaugeMakerTolerance("XXX", 0.8251, t));
    EXPECT_DOUBLE_EQ(t, 15e-6);
    ASSERT_TRUE(GaugeMakerTolerance("Z", 21.01, t));
    EXPECT_DOUBLE_EQ(t, 1000e-6);
    EXPECT_FALSE(GaugeMakerTolerance("Z", 21.0101, t));
    EXPECT_FALSE(GaugeMakerTolerance("x", 1, t)); // case matters
    EXPECT_FALSE(GaugeMakerTolerance("XXXX", 1, t));
}

TEST_F(UtansiasmeTest, PlainGaugeLimitsByRingAndRole)
{
    // 1 1/2" with -0.001/+0.002 and class Y (T 0.000090 in): Go, No-go,
    // master plug and reference ring. Values in inches.
    struct Row {
        int Key;
        double MaxP, MinP, LogP, MaxN, MinN;
    };
    const double t = 0.00009;
    const Row rows[] = {
        /* 1 plug */ {1000, 1.499 + t, 1.499, 1.499, 1.502, 1.502 - t},
        /* 2 ring */ {1100, 1.502, 1.502 - t, 1.502, 1.499 + t, 1.499},
        /* 3 master */ {1003, 1.5 + t / 2, 1.5 - t / 2, 1.5 - t / 2, 0, 0},
        /* 4 reference ring */ {1102, 1.5 + t / 2, 1.5 - t / 2, 1.5 + t / 2, 0, 0},
    };
    for (const Row& row : rows) {
        TOLLERANCE r;
        ClearToleranceRecord(r);
        TCalcText diameter(QStringLiteral("1 1/2")), tolerance(QStringLiteral("-0.001 +0.002 y")), cls, des;
        ASSERT_TRUE(CalcAnsiLimits(diameter, tolerance, cls, des, InchType(row.Key - 1000), r)) << row.Key;
        EXPECT_NEAR(r.MaxP, row.MaxP * Mm, 1e-9) << row.Key;
        EXPECT_NEAR(r.MinP, row.MinP * Mm, 1e-9) << row.Key;
        EXPECT_NEAR(r.LogP, row.LogP * Mm, 1e-9) << row.Key;
        EXPECT_NEAR(r.MaxN, row.MaxN * Mm, 1e-9) << row.Key;
        EXPECT_NEAR(r.MinN, row.MinN * Mm, 1e-9) << row.Key;
        EXPECT_EQ(r.MedP, 0); // not filled by this calculator
        EXPECT_EQ(diameter.Text(), "1.5");
        EXPECT_EQ(tolerance.Text(), "Y");
        EXPECT_EQ(cls.Text(), "Y");
        EXPECT_EQ(des.Text(), "1 1/2\"+0.002000 -0.001000"); // the size as typed, for masters too
    }
    EXPECT_TRUE(Messages->Shown().empty());

    // A class alone: no deviations in the designation.
    TOLLERANCE r;
    ClearToleranceRecord(r);
    TCalcText diameter(QStringLiteral("3/4")), tolerance(QStringLiteral("X")), cls, des;
    ASSERT_TRUE(CalcAnsiLimits(diameter, tolerance, cls, des, InchType(0), r));
    EXPECT_EQ(des.Text(), "3/4\"");
    EXPECT_NEAR(r.MaxP, (0.75 + 0.00004) * Mm, 1e-9);
}

TEST_F(UtansiasmeTest, PlainGaugeFailuresWriteNoLimits)
{
    const char* const cases[][2] = {
        {"1 1/0", "X"},         // zero denominator
        {"1/2", "X Y"},         // unreadable tolerance
        {"1/2", "0.001 0.002"}, // no class
        {"1/2", "W"},           // class not in the table
        {"0.04", "X"},          // below the first range
        {"22", "X"},            // beyond the last
    };
    for (const auto& c : cases) {
        ResetMessages();
        TOLLERANCE r;
        ClearToleranceRecord(r);
        TCalcText diameter{QString::fromLatin1(c[0])}, tolerance{QString::fromLatin1(c[1])}, cls, des;
        EXPECT_FALSE(CalcAnsiLimits(diameter, tolerance, cls, des, InchType(0), r)) << c[0] << " " << c[1];
        ExpectOnlyError();
        EXPECT_EQ(r.MaxP, 0);
        EXPECT_EQ(r.MinN, 0);
    }
    // A long typed size cannot overflow the designation: it is cut at 39.
    TOLLERANCE r;
    ClearToleranceRecord(r);
    TCalcText diameter(QStringLiteral("000000000000000000000000000000000001/2")), des, cls;
    ASSERT_TRUE(CalcAnsiClassLimits(diameter, 0.0001, -0.0001, "X", cls, des, InchType(100), r));
    EXPECT_EQ(des.Text().size(), TCalcText::Capacity);
}

// ---------------------------------------------------------------- unified screw threads

// Pitch-diameter limits of unified threads against ASME B1.1-2003, Table 2A
// (published limits of the standard series), in counts of 0.0001 in. The
// calculator rounds TD for class 2A to four decimals and derives the other
// classes from the rounded value, where the standard rounds each class
// tolerance from the unrounded one; two limits land one count away:
//   row 3  1/4-20 UNC 2B max: 0.2223 here, 0.2224 published
//   row 12 1/2-13 UNC 3B max: 0.4549 here, 0.4548 published
TEST_F(UtansiasmeTest, PitchDiameterLimitsAgainstB11)
{
    struct Row {
        double D, Tpi;
        int Series;
        int Group;     // 3 external (A), 2 internal (B)
        int Class;     // 1, 2 = class 2, 3
        long Max, Min; // published
        long PartMax;  // the calculator's maximum where it differs (0: the same)
    };
    const Row rows[] = {
        /* 1 */ {0.25, 20, 0, 3, 1, 2164, 2127, 0},
        /* 2 */ {0.25, 20, 0, 3, 2, 2175, 2147, 0},
        /* 3 */ {0.25, 20, 0, 2, 1, 2224, 2175, 2223},
        /* 4 */ {0.25, 20, 0, 2, 2, 2211, 2175, 0},
        /* 5 */ {0.375, 16, 0, 3, 1, 3331, 3287, 0},
        /* 6 */ {0.375, 16, 0, 3, 2, 3344, 3311, 0},
        /* 7 */ {0.375, 16, 0, 2, 1, 3401, 3344, 0},
        /* 8 */ {0.375, 16, 0, 2, 2, 3387, 3344, 0},
        /* 9 */ {0.5, 13, 0, 3, 1, 4485, 4435, 0},
        /* 10 */ {0.5, 13, 0, 3, 2, 4500, 4463, 0},
        /* 11 */ {0.5, 13, 0, 2, 1, 4565, 4500, 0},
        /* 12 */ {0.5, 13, 0, 2, 2, 4548, 4500, 4549},
        /* 13 */ {0.5, 20, 1, 3, 1, 4662, 4619, 0},
        /* 14 */ {0.5, 20, 1, 3, 2, 4675, 4643, 0},
        /* 15 */ {0.5, 20, 1, 2, 1, 4731, 4675, 0},
        /* 16 */ {0.5, 20, 1, 2, 2, 4717, 4675, 0},
        /* 17 */ {1, 8, 0, 3, 1, 9168, 9100, 0},
        /* 18 */ {1, 8, 0, 3, 2, 9188, 9137, 0},
        /* 19 */ {1, 8, 0, 2, 1, 9276, 9188, 0},
        /* 20 */ {1, 8, 0, 2, 2, 9254, 9188, 0},
    };
    int n = 0;
    for (const Row& row : rows) {
        ++n;
        // The Go thread ring (300) or Go thread plug (200) carries the limits
        // in its workpiece fields.
        INCHTHREAD request = Request(row.Group * 100, row.D, row.Tpi, row.Series, row.Class);
        TOLLERANCE r;
        ClearToleranceRecord(r);
        Texts t;
        ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                                 false, r, true))
            << "row " << n;
        EXPECT_EQ(Counts(r.MaxW), row.PartMax ? row.PartMax : row.Max) << "row " << n;
        EXPECT_EQ(Counts(r.MinW), row.Min) << "row " << n;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UtansiasmeTest, GoThreadRingQuarterTwenty)
{
    // 1/4-20 UNC 2A, key 300: PDb = 0.25 - 0.64952 x 0.05 = 0.2175, TD
    // 0.0037, limits 0.2164/0.2127 in = 5.497/5.403 mm (ASME B1.1); table A
    // for 20 tpi up to 1.5 in: W 0.0003, L 0.0003, A 15', Q 0.0005.
    INCHTHREAD request = Request(300, 0.25, 20, 0, 1);
    request.Numerator = 1;
    request.Denominator = 4;
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                             false, r, true));
    EXPECT_DOUBLE_EQ(r.MaxW, 5.497);
    EXPECT_DOUBLE_EQ(r.MinW, 5.403);
    EXPECT_TRUE(IsNan(r.HoleW));
    EXPECT_NEAR(r.MaxP, 0.2164 * Mm, 1e-6);
    EXPECT_NEAR(r.MinP, 0.2161 * Mm, 1e-6);
    EXPECT_NEAR(r.LogP, 0.2164 * Mm, 1e-6);
    EXPECT_NEAR(r.MedP, 0.21625 * Mm, 1e-6);
    EXPECT_NEAR(r.MaxPi, (0.2164 - 0.4330125 * 0.05) * Mm, 1e-6);
    EXPECT_NEAR(r.MinPi, (0.2164 - 0.4330125 * 0.05 - 0.0005) * Mm, 1e-6);
    EXPECT_NEAR(r.MinPe, (0.2164 + 0.4330125 * 0.05) * Mm, 1e-6);
    EXPECT_TRUE(IsNan(r.MaxPe));
    EXPECT_NEAR(r.TPasso, 0.0003 * Mm, 1e-12);
    EXPECT_EQ(r.TSA, 15);
    EXPECT_EQ(r.MaxN, 0);
    EXPECT_EQ(t.Diameter.Text(), "0.217500");
    EXPECT_EQ(t.Angle.Text(), "60");
    EXPECT_EQ(t.Pitch.Text(), "0.050000");
    EXPECT_EQ(t.Designation.Text(), "0 - 1/4 - 20 UNC PD 0.217500");
    EXPECT_EQ(t.Class.Text(), "2A");
    EXPECT_EQ(t.Tolerance.Text(), "2A");

    // UNJ: the series name and the larger minor diameter of the ring.
    TOLLERANCE j;
    ClearToleranceRecord(j);
    ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class, true,
                             j, true));
    EXPECT_EQ(t.Designation.Text(), "0 - 1/4 - 20 UNJC PD 0.217500");
    EXPECT_NEAR(j.MaxPi - r.MaxPi, 0.108253125 * 0.05 * Mm, 1e-9);
    EXPECT_NEAR(j.MinPi - r.MinPi, 0.108253125 * 0.05 * Mm, 1e-9);
}

// Rings wear larger: the W-tolerance rings 500 and 501 wear at their
// maximum as the X-tolerance rings 300 and 301 do. 1/4-20 UNC 2A without
// rounding: PDmax 0.216405, PDmin 0.212674 in; table B W 0.0001 in.
TEST_F(UtansiasmeTest, WToleranceRingsWearAtTheirMaximum)
{
    for (int key : {500, 501, 300, 301}) {
        INCHTHREAD request = Request(key, 0.25, 20, 0, 1);
        TOLLERANCE r;
        ClearToleranceRecord(r);
        Texts t;
        ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                                 false, r, false));
        const bool go = key % 100 == 0;
        const double max = go ? r.MaxP : r.MaxN;
        EXPECT_EQ(go ? r.LogP : r.LogN, max) << key;
        if (key == 500) {
            EXPECT_NEAR(max / Mm, 0.216405, 5e-7);
        } else if (key == 501) {
            EXPECT_NEAR(r.MinN / Mm, 0.212674, 5e-7);
            EXPECT_NEAR((max - r.MinN) / Mm, 0.0001, 1e-9); // worn = PDmin + W
        }
    }
}

// A UNS pitch too large for the typed diameter is refused with 1058 and the
// record stays as it was: 0.06-4 has a basic pitch diameter below 0; 0.12-11
// has both basic diameters above 0, but the minor diameter of its setting
// ring (D - 1.51555 p) would be below 0.
TEST_F(UtansiasmeTest, UnsPitchTooLargeForTheDiameterIsRefused)
{
    const struct {
        int Key;
        const char *Diameter, *Tpi;
    } rows[] = {{300, "0.06", "4"}, {200, "0.06", "4"}, {203, "0.12", "11"}};
    for (const auto& row : rows) {
        ResetMessages();
        INCHTHREAD request = Request(row.Key, 0, 0, 0, 0);
        TOLLERANCE r;
        ClearToleranceRecord(r);
        const TOLLERANCE before = r;
        Texts t;
        EXPECT_FALSE(CalcUnsSpecial(request, {QLatin1String(row.Diameter), QLatin1String(row.Tpi), 1},
                                    t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class, false,
                                    r, false))
            << row.Key;
        EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << row.Key;
        EXPECT_TRUE(t.Designation.IsEmpty());
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, "MN 058 : Thread pitch not available for this diameter");
        EXPECT_EQ(Messages->Shown()[0].Caption, "ATTENTION");
        EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Question);
    }
}

TEST_F(UtansiasmeTest, RoundingOptionAndEngagementLength)
{
    // Without rounding the limits keep full precision (only the workpiece
    // limits are rounded to 0.001 mm).
    INCHTHREAD request = Request(300, 0.25, 20, 0, 1);
    double pdMin = 0, pdMax = 0, pdBasic = 0, p = 0, td = 0;
    ASSERT_TRUE(CalcUnTolerance(request, false, pdMin, pdMax, pdBasic, p, td));
    const double exactTd =
        0.0015 * std::cbrt(0.25) + 0.0015 * std::sqrt(0.25) + 0.015 * std::cbrt(0.05 * 0.05);
    EXPECT_DOUBLE_EQ(td, exactTd);
    EXPECT_DOUBLE_EQ(pdBasic, 0.25 - 0.64952 * 0.05);
    EXPECT_DOUBLE_EQ(pdMax, pdBasic - 0.3 * exactTd);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                             false, r, false));
    EXPECT_NEAR(r.MaxP, pdMax * Mm, 1e-12);
    EXPECT_DOUBLE_EQ(r.MaxW, RoundTo3Decimals(pdMax * Mm));

    // Length of engagement: the diameter for UNC, UNF and the 4, 6, 8 tpi
    // constant pitches, 9 pitches for UNEF and the finer constant pitches.
    struct Row {
        int Series;
        double D, Tpi, Le;
    };
    const Row rows[] = {
        /* 1 */ {0, 1, 8, 1},
        /* 2 */ {1, 1, 12, 1},
        /* 3 */ {2, 1, 20, 9.0 / 20},
        /* 4 */ {3, 2, 8, 2},
        /* 5 */ {4, 2, 12, 9.0 / 12},
        /* 6 */ {5, 3, 4, 3},
        /* 7 */ {5, 3, 32, 9.0 / 32},
    };
    for (const Row& row : rows) {
        INCHTHREAD q = Request(200, row.D, row.Tpi, row.Series, 1);
        ASSERT_TRUE(CalcUnTolerance(q, false, pdMin, pdMax, pdBasic, p, td));
        const double pitch = 1 / row.Tpi;
        EXPECT_DOUBLE_EQ(td, 0.0015 * std::cbrt(row.D) + 0.0015 * std::sqrt(row.Le) +
                                 0.015 * std::cbrt(pitch * pitch))
            << row.Series << " " << row.Tpi;
    }
    // The four-decimal rounding is single precision, half up.
    EXPECT_EQ(RoundTo4Decimals(0.217549), double(2175.0f * 0.0001f));
    EXPECT_EQ(RoundTo4Decimals(0.217551), double(2176.0f * 0.0001f));
    EXPECT_NE(RoundTo4Decimals(0.217551), 0.2176);
    EXPECT_EQ(RoundTo4Decimals(-0.00004), 0.0);
}

TEST_F(UtansiasmeTest, GaugeToleranceLookupsAtTheirLimits)
{
    double w = 0, l = 0, a = 0, q = 0;
    // Table B at D = 0.5 takes the columns up to 0.5, where 10 tpi is not given.
    EXPECT_FALSE(LookupUnGaugeB(Request(203, 0.5, 10, 3, 1), w, l, a, q));
    ASSERT_TRUE(LookupUnGaugeB(Request(203, 0.5001, 10, 3, 1), w, l, a, q));
    EXPECT_EQ(w, 0.0002);
    EXPECT_EQ(l, 0.00025);
    // 4 tpi under 1.5 in: W is 0 in table A and is used as it stands.
    ASSERT_TRUE(LookupUnGaugeA(Request(200, 1.25, 4, 3, 1), w, l, a, q));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(q, 0.0009);
    // Q over 4 in; nothing beyond 12 in, nothing at 0, 80 tpi above 4 in.
    ASSERT_TRUE(LookupUnGaugeA(Request(200, 4.0001, 8, 3, 1), w, l, a, q));
    EXPECT_EQ(q, 0.0011);
    EXPECT_EQ(w, 0.0006);
    EXPECT_TRUE(LookupUnGaugeA(Request(200, 12, 8, 3, 1), w, l, a, q));
    EXPECT_FALSE(LookupUnGaugeA(Request(200, 12.001, 8, 3, 1), w, l, a, q));
    EXPECT_FALSE(LookupUnGaugeA(Request(200, 0, 8, 3, 1), w, l, a, q));
    EXPECT_FALSE(LookupUnGaugeA(Request(200, 4.5, 80, 3, 1), w, l, a, q));
    EXPECT_FALSE(LookupUnGaugeA(Request(200, 1, 19, 3, 1), w, l, a, q));

    // A failed lookup in the calculator: message 1055, the workpiece limits
    // written, the texts untouched.
    INCHTHREAD request = Request(203, 0.5, 10, 3, 1);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    t.Designation = QStringLiteral("before");
    EXPECT_FALSE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                              false, r, true));
    ExpectOnlyError();
    EXPECT_GT(r.MaxW, 0);
    EXPECT_EQ(t.Designation.Text(), "before");

    // A zero pitch or a class outside 0..2 fails the same way.
    for (INCHTHREAD bad : {Request(300, 0.25, 0, 0, 1), Request(300, 0.25, 20, 0, 3)}) {
        ResetMessages();
        ClearToleranceRecord(r);
        EXPECT_FALSE(CalcUnSeries(bad, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                                  false, r, true));
        ExpectOnlyError();
    }
}

TEST_F(UtansiasmeTest, SettingRingMinorDiameterTolerance)
{
    // Key 204, 1/2-20 UNF 2B: M = 0.25 p - 0.4 p^2 (greater than M0 here).
    const double p = 0.05;
    const double m = 0.25 * p - 0.4 * p * p;
    ASSERT_GT(m, 0.05 * std::cbrt(p * p) + 0.03 * p / 0.5);
    INCHTHREAD request = Request(204, 0.5, 20, 1, 1);
    request.Numerator = 1;
    request.Denominator = 2;
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                             false, r, true));
    EXPECT_NEAR(r.MaxPi, (0.5 - 1.51555 * p + m) * Mm, 1e-9);
    EXPECT_NEAR(r.MinPi, (0.5 - 1.51555 * p + m - 0.0005) * Mm, 1e-9); // table B Q for 0.5 in
    EXPECT_NEAR(r.MaxP, 0.4731 * Mm, 1e-6);                            // PDmax of 2B
    EXPECT_EQ(t.Class.Text(), "2B");
    EXPECT_EQ(t.Designation.Text(), "0 - 1/2 - 20 UNF PD 0.467500");
}

// ---------------------------------------------------------------- UNS

TEST_F(UtansiasmeTest, UnsNominalDiameters)
{
    struct Row {
        double D, Nominal;
    };
    const Row rows[] = {
        /* 1 */ {0.01, 0.0625},    /* 2 */ {0.047, 0.0625}, /* 3 */ {0.0781, 0.0625},
        /* 4 */ {0.0782, 0.09375}, /* 5 */ {0.3, 0.25},     /* 6 */ {11, 10},
        /* 7 */ {11.5, 12},        /* 8 */ {13, 12},        /* 9 */ {40, 12},
    };
    for (const Row& row : rows)
        EXPECT_EQ(UnsNominalDiameter(row.D), row.Nominal) << row.D;
}

TEST_F(UtansiasmeTest, UnsSpecialThread)
{
    // 0.3-20 UNS 2A, Go ring (300): TD from the nominal 0.25 with LE = 9 p,
    // everything else from 0.3.
    INCHTHREAD request = Request(300, 0, 0, 0, 0);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcUnsSpecial(request, {QStringLiteral("0.3"), QStringLiteral("20"), 1}, t.Diameter, t.Angle,
                               t.Pitch, t.Designation, t.Tolerance, t.Class, false, r, false));
    const double p = 0.05;
    const double td = 0.0015 * std::cbrt(0.25) + 0.0015 * std::sqrt(9 * p) + 0.015 * std::cbrt(p * p);
    const double pdBasic = 0.3 - 0.64952 * p;
    EXPECT_NEAR(r.MaxP, (pdBasic - 0.3 * td) * Mm, 1e-12);
    EXPECT_DOUBLE_EQ(r.MinW, RoundTo3Decimals((pdBasic - 1.3 * td) * Mm));
    EXPECT_EQ(request.Diameter, 0.3);
    EXPECT_EQ(request.UnsDiameter, 0.3);
    EXPECT_EQ(request.UnsDiameterText, "0.3");
    EXPECT_EQ(request.Tpi, 20);
    EXPECT_EQ(request.ToleranceClass, 1);
    EXPECT_EQ(t.Designation.Text(), "0.3 - 20 UNS PD 0.267524");
    EXPECT_EQ(t.Class.Text(), "2A");
    EXPECT_TRUE(Messages->Shown().empty());

    // 11.5 tpi is one of the 28 pitches, 20.5 is not; a pitch that is no
    // number ends in the same message.
    ClearToleranceRecord(r);
    EXPECT_TRUE(CalcUnsSpecial(request, {QStringLiteral("1 1/8"), QStringLiteral("11.5"), -1}, t.Diameter,
                               t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class, true, r, true));
    EXPECT_EQ(request.ToleranceClass, 1); // no class chosen: unchanged
    EXPECT_EQ(t.Designation.Text(), "1.125 - 11.5 UNJS PD 1.068500");
    for (const char* pitch : {"20.5", "abc", ""}) {
        ResetMessages();
        EXPECT_FALSE(CalcUnsSpecial(request, {QStringLiteral("0.3"), QString::fromLatin1(pitch), 1},
                                    t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class, false,
                                    r, false))
            << pitch;
        ExpectOnlyError();
    }

    // A diameter text longer than the request's buffer is cut to 79
    // characters.
    ResetMessages();
    EXPECT_FALSE(CalcUnsSpecial(request, {QString(100, u'x'), QStringLiteral("20"), 1}, t.Diameter, t.Angle,
                                t.Pitch, t.Designation, t.Tolerance, t.Class, false, r, false));
    ExpectOnlyError();
    EXPECT_EQ(request.UnsDiameterText, QString(INCHTHREAD::UnsDiameterTextCapacity, u'x'));
}

TEST_F(UtansiasmeTest, UnsSettingRingAndCheckPlugs)
{
    // Key 204 (2B, 20 tpi): Go = PDmax + W, PDmax, PDmax + W; M = 0.25 p -
    // 0.4 p^2 from 4 to 80 tpi whatever M0 is.
    INCHTHREAD request = Request(204, 0, 0, 0, 0);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcUnsSpecial(request, {QStringLiteral("1/2"), QStringLiteral("20"), 1}, t.Diameter, t.Angle,
                               t.Pitch, t.Designation, t.Tolerance, t.Class, false, r, true));
    const double p = 0.05;
    EXPECT_NEAR(r.MaxP - r.MinP, 0.0001 * Mm, 1e-9); // W of table B up to 0.5 in
    EXPECT_NEAR(r.LogP, r.MaxP, 1e-12);
    EXPECT_NEAR(r.MaxPi, (0.5 - 1.51555 * p + 0.25 * p - 0.4 * p * p) * Mm, 1e-9);
    EXPECT_EQ(t.Class.Text(), "2B");

    // Key 303 fills Go and No-go alike and the No-go major diameter with E.
    INCHTHREAD plug = Request(303, 0, 0, 0, 0);
    ClearToleranceRecord(r);
    ASSERT_TRUE(CalcUnsSpecial(plug, {QStringLiteral("1/2"), QStringLiteral("20"), 2}, t.Diameter, t.Angle,
                               t.Pitch, t.Designation, t.Tolerance, t.Class, false, r, true));
    EXPECT_EQ(r.MaxN, r.MaxP);
    EXPECT_EQ(r.MedN, r.MedP);
    EXPECT_NEAR(r.MinNe, 0.5 * Mm, 1e-12); // class 3: E = D
    EXPECT_TRUE(IsNan(r.MaxNi));
    EXPECT_EQ(t.Class.Text(), "3A");
}

// ---------------------------------------------------------------- pipe threads

TEST_F(UtansiasmeTest, NptGauges)
{
    struct Row {
        int Key, Size;
        double MaxP, MinP, LogP, MaxPe, MinPe, MaxPi, MinPi, HMis1; // in; 0: empty
        const char* Designation;
    };
    const Row rows[] = {
        // 1/16 plug: E1 0.28118 +- 0.0002.
        /* 1 */ {600, 0, 0.28138, 0.28098, 0.28098, 0.30289, 0.30249, 0, 0, 0.16, "1/16 27 NPT"},
        /* 2 */ {601, 0, 0.28138, 0.28098, 0.28138, 0, 0, 0.25987, 0.25947, 0.16, "1/16 27 NPT"},
        /* 3 */ {602, 0, 0.28128, 0.28108, 0.28108, 0.30289, 0.30249, 0, 0, 0.16, "1/16 27 NPT"},
        // 10": major diameter at the gauge plane E1 + 0.08325 (ASME B1.20.1).
        /* 4 */ {600, 17, 10.62144, 10.62044, 10.62044, 10.70419, 10.70219, 0, 0, 1.21, "10  8 NPT"},
        // 24": diameter tolerance 0.002, where 14" to 20" have 0.003.
        /* 5 */ {601, 23, 23.86174, 23.86014, 23.86174, 0, 0, 23.77968, 23.77768, 2.375, "24  8 NPT"},
        /* 6 */ {603, 7, 1.58353, 1.58323, 1.58353, 0, 0, 1.52647, 1.52547, 0.42, "1 1/4 11.5 NPT"},
        /* 7 */ {600, 23, 23.86174, 23.86014, 23.86014, 23.94419, 23.94219, 0, 0, 2.375, "24  8 NPT"},
        /* 8 */ {600, 22, 19.87111, 19.86951, 19.86951, 19.95357, 19.95057, 0, 0, 2.125, "20  8 NPT"},
    };
    for (const Row& row : rows) {
        INCHTHREAD request;
        request.GaugeType = InchType(row.Key);
        TOLLERANCE r;
        ClearToleranceRecord(r);
        Texts t;
        ASSERT_TRUE(CalcPipeThread(request, row.Size, t.Diameter, t.Angle, t.Pitch, t.Designation, r))
            << row.Key;
        const auto same = [&](double mm, double in) {
            return in == 0 ? IsNan(mm) : std::abs(mm - in * Mm) < 1e-9;
        };
        EXPECT_NEAR(r.MaxP, row.MaxP * Mm, 1e-9) << row.Key << "/" << row.Size;
        EXPECT_NEAR(r.MinP, row.MinP * Mm, 1e-9) << row.Key << "/" << row.Size;
        EXPECT_NEAR(r.LogP, row.LogP * Mm, 1e-9) << row.Key << "/" << row.Size;
        EXPECT_TRUE(same(r.MaxPe, row.MaxPe) && same(r.MinPe, row.MinPe)) << row.Key << "/" << row.Size;
        EXPECT_TRUE(same(r.MaxPi, row.MaxPi) && same(r.MinPi, row.MinPi)) << row.Key << "/" << row.Size;
        EXPECT_NEAR(r.HMis1, row.HMis1 * Mm, 1e-9);
        EXPECT_NEAR(r.MedP, (row.MaxP + row.MinP) / 2 * Mm, 1e-9);
        EXPECT_EQ(t.Designation.Text(), QString::fromLatin1(row.Designation));
        EXPECT_EQ(t.Angle.Text(), "60");
    }
    INCHTHREAD request;
    request.GaugeType = InchType(600);
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcPipeThread(request, 0, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    EXPECT_EQ(t.Diameter.Text(), "0.312500");
    EXPECT_EQ(t.Pitch.Text(), "0.037037");
    EXPECT_EQ(r.TSA, 15);
    EXPECT_NEAR(r.TPasso, 0.0002 * Mm, 1e-12);
    // No size chosen, or one past the table: false without a message.
    EXPECT_FALSE(CalcPipeThread(request, -1, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    EXPECT_FALSE(CalcPipeThread(request, NptRowCount, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    request.GaugeType = InchType(700);
    EXPECT_FALSE(CalcPipeThread(request, DrysealRowCount, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UtansiasmeTest, DrysealGauges)
{
    // Plugs carry the gauge-plane diameter as major diameter, rings as minor
    // diameter (page "Internal"), as the NPT rings do.
    const auto calc = [&](int key, int size, TOLLERANCE& r, Texts& t) {
        INCHTHREAD request;
        request.GaugeType = InchType(key);
        ClearToleranceRecord(r);
        return CalcPipeThread(request, size, t.Diameter, t.Angle, t.Pitch, t.Designation, r);
    };
    TOLLERANCE r;
    Texts t;
    // 1/16 NPTF L1 plug: E1 0.28118 (ASME B1.20.3).
    ASSERT_TRUE(calc(700, 0, r, t));
    EXPECT_NEAR(r.MaxP, 0.28138 * Mm, 1e-9);
    EXPECT_NEAR(r.MaxPe, 0.30289 * Mm, 1e-9);
    EXPECT_NEAR(r.MinPe, (0.30289 - 0.0012) * Mm, 1e-9);
    EXPECT_TRUE(IsNan(r.MaxPi) && IsNan(r.MinPi));
    EXPECT_EQ(t.Designation.Text(), "1/16 27 NPTF - L1");
    // 1" NPTF L1 ring: E1 1.23863, minor diameter 1.17897 + 0.0015.
    ASSERT_TRUE(calc(701, 6, r, t));
    EXPECT_NEAR(r.MinP, 1.23833 * Mm, 1e-9);
    EXPECT_NEAR(r.LogP, r.MaxP, 1e-12);
    EXPECT_NEAR(r.MaxPi, 1.18047 * Mm, 1e-9);
    EXPECT_NEAR(r.MinPi, 1.17897 * Mm, 1e-9);
    EXPECT_TRUE(IsNan(r.MaxPe) && IsNan(r.MinPe));
    EXPECT_EQ(r.TSA, 15);
    EXPECT_EQ(t.Designation.Text(), "1  11.5 NPTF - L1");
    // Master ring: half the tolerance of the working gauges, master element
    // tolerances.
    ASSERT_TRUE(calc(710, 0, r, t));
    EXPECT_NEAR(r.MaxP, 0.28128 * Mm, 1e-9);
    EXPECT_NEAR(r.MinPi, 0.25651 * Mm, 1e-9);
    EXPECT_NEAR(r.MaxPi, 0.25711 * Mm, 1e-9);
    EXPECT_EQ(r.TSA, 12);
    EXPECT_NEAR(r.HMis1, 0.2711 * Mm, 1e-9);
    // L1/L3 plug: No-go from the L3 plug, which has no gauge length.
    ASSERT_TRUE(calc(711, 4, r, t));
    EXPECT_NEAR(r.MaxN, 0.7454 * Mm, 1e-9);
    EXPECT_NEAR(r.MaxNe, 0.7783 * Mm, 1e-9);
    EXPECT_NEAR(r.HMis1, 0.32 * Mm, 1e-9);
    EXPECT_EQ(r.HMis2, 0);
    EXPECT_NEAR(r.MedN, 0.7451 * Mm, 1e-9);
    // PTF-SAE L1/L2 ring: No-go minor diameter of the L2 ring.
    ASSERT_TRUE(calc(714, 11, r, t));
    EXPECT_NEAR(r.MaxN, 3.41612 * Mm, 1e-9);
    EXPECT_NEAR(r.MinNi, 3.35737 * Mm, 1e-9);
    EXPECT_TRUE(IsNan(r.MaxNe) && IsNan(r.MinNe));
    EXPECT_NEAR(r.HMis2, 1.075 * Mm, 1e-9);
    EXPECT_EQ(t.Designation.Text(), "3  8 PTF-SAE - L1/L2");
}

TEST_F(UtansiasmeTest, StraightPipeGauges)
{
    // NPSM 1/2 (14 tpi, 0.84 in: table A W 0.0003, Q 0.0006, L 0.0003, A 10').
    INCHTHREAD request;
    request.GaugeType = InchType(609); // limit plug
    TOLLERANCE r;
    ClearToleranceRecord(r);
    Texts t;
    ASSERT_TRUE(CalcPipeThread(request, 3, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    EXPECT_EQ(request.Diameter, 0.84); // the request now holds the pipe size
    EXPECT_EQ(request.Tpi, 14);
    const double p = 1.0 / 14;
    EXPECT_NEAR(r.MaxP, (0.7784 + 0.0003) * Mm, 1e-9);
    EXPECT_NEAR(r.MaxPe, (0.7784 + 0.649519 * p + 0.0006) * Mm, 1e-9);
    EXPECT_NEAR(r.MaxN, 0.7851 * Mm, 1e-9);
    EXPECT_NEAR(r.MaxNe, (0.7851 + 0.433013 * p) * Mm, 1e-9);
    EXPECT_DOUBLE_EQ(r.MaxW, 19.942); // 0.7851 in
    EXPECT_DOUBLE_EQ(r.MinW, 19.771); // 0.7784 in
    EXPECT_EQ(r.TSA, 10);
    EXPECT_EQ(t.Designation.Text(), "1/2 14 NPSM");

    // A Not-go ring takes the external limits.
    request.GaugeType = InchType(616);
    ClearToleranceRecord(r);
    ASSERT_TRUE(CalcPipeThread(request, 0, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    EXPECT_NEAR(r.MinN, 0.3805 * Mm, 1e-9);
    EXPECT_DOUBLE_EQ(r.MaxW, RoundTo3Decimals(0.384 * Mm));
    EXPECT_EQ(t.Designation.Text(), "1/8 27 NPSL");

    // NPSL 12": 12.75 in lies beyond the 12 in of the gauge tolerance table.
    ClearToleranceRecord(r);
    EXPECT_FALSE(CalcPipeThread(request, NpslRowCount - 1, t.Diameter, t.Angle, t.Pitch, t.Designation, r));
    ExpectOnlyError();
}

// Relations of ASME B1.20.1 and B1.20.3 that the typed tables must keep:
// the gauge-plane major and minor diameters lie symmetric about E1 (0.666 p
// apart for the 8-thread sizes), and the dryseal sizes are the NPT sizes
// 1/16 to 3 with the same D, n and E1.
TEST_F(UtansiasmeTest, PipeTablesKeepTheStandardsRelations)
{
    for (const TNptRow& row : NptTable) {
        const double above = row.MajorAtGauge - row.E1;
        EXPECT_NEAR(above, row.E1 - row.MinorAtGauge, 2e-5) << row.D;
        if (row.Tpi == 8) {
            EXPECT_NEAR(above, 0.666 / 8, 2e-5) << row.D;
        }
    }
    for (int i = 0; i < DrysealRowCount; ++i) {
        EXPECT_EQ(DrysealSizes[i].D, NptTable[i].D) << i;
        EXPECT_EQ(DrysealSizes[i].Tpi, NptTable[i].Tpi) << i;
        EXPECT_EQ(DrysealE[i][EL1], NptTable[i].E1) << i;
    }
    for (int i = 0; i < UnPitchCount; ++i) {
        EXPECT_EQ(UnPitchTableA[i].Tpi, UnPitches[i]);
        EXPECT_EQ(UnPitchTableB[i].Tpi, UnPitches[i]);
    }
}

// Every ANSI/ASME gauge type of the catalogue computes a representative
// size without a message, and every field it fills is a number or empty.
TEST_F(UtansiasmeTest, EveryInchGaugeTypeOfTheCatalogue)
{
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    int count = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE& type = *list.At(i);
        if (type.Family != 1)
            continue;
        ++count;
        const int key = type.Group * 100 + type.Item;
        TOLLERANCE r;
        ClearToleranceRecord(r);
        Texts t;
        bool ok = false;
        if (type.Group <= 1) {
            t.Diameter = QStringLiteral("1/2");
            t.Tolerance = QStringLiteral("+0.001 -0.001 X");
            ok = CalcAnsiLimits(t.Diameter, t.Tolerance, t.Class, t.Designation, type, r);
        } else if (type.Group <= 5) {
            INCHTHREAD request;
            request.GaugeType = type;
            request.Diameter = 0.5;
            request.Tpi = 13;
            request.ToleranceClass = 1;
            ok = CalcUnSeries(request, t.Diameter, t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class,
                              false, r, true);
            if (ok && type.Group <= 3) {
                TOLLERANCE u;
                ClearToleranceRecord(u);
                ok = CalcUnsSpecial(request, {QStringLiteral("0.55"), QStringLiteral("13"), 2}, t.Diameter,
                                    t.Angle, t.Pitch, t.Designation, t.Tolerance, t.Class, false, u, true);
            }
        } else {
            INCHTHREAD request;
            request.GaugeType = type;
            ok = CalcPipeThread(request, 4, t.Diameter, t.Angle, t.Pitch, t.Designation, r); // 1/2 or 3/4
        }
        EXPECT_TRUE(ok) << "key " << key;
        const double* field = &r.MaxPi;
        for (int f = 0; f < 25; ++f)
            EXPECT_TRUE(std::isfinite(field[f]) || IsNan(field[f])) << "key " << key << " field " << f;
        EXPECT_FALSE(t.Designation.IsEmpty()) << "key " << key;
    }
    EXPECT_EQ(count, 53);
    EXPECT_TRUE(Messages->Shown().empty());
}

// Typed size and tolerance texts: whatever the user types is either read or
// refused, never read out of bounds.
TEST_F(UtansiasmeTest, TypedTextsFuzz)
{
    const auto target = [](const QByteArray& bytes) {
        QString text = QString::fromUtf8(bytes);
        double d = 0, upper = 0, lower = 0, t = 0;
        QString size = text;
        ParseInchSize(size, d);
        QString tolerance = text;
        if (ParseDeviations(tolerance, upper, lower))
            GaugeMakerTolerance(tolerance, d, t);
    };
    const FuzzStats stats =
        RunFuzzLoop(target, {"1 1/2", "-0.001 +0.002 y", "+-0.0005 XX", "3/8", "0,5 1/4"}, 1.0);
    EXPECT_GT(stats.runs, 100);
}

} // namespace
