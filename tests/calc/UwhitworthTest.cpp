// The Whitworth calculator: ranges, pitch columns and gauge limits.
#include "calc/Uwhitworth.h"
#include "tests/calc/CalcFixture.h"
#include "tests/calc/CatalogueTypes.h"

#include <cstring>

namespace {

struct CalcRun {
    bool Ok = false;
    TOLLERANCE R{};
};

CalcRun Whit(int key, double diameter, double tpi, int toleranceClass, bool wide = false, int kind = 0)
{
    CalcRun o;
    ClearToleranceRecord(o.R);
    o.Ok = CalcWhitworth(CatalogueType(key), diameter, tpi, kind, toleranceClass, wide, o.R);
    return o;
}

class UwhitworthTest : public CalcTest {
protected:
    void ExpectOneMessage(const char* text)
    {
        ASSERT_EQ(Messages->Shown().size(), 1u);
        EXPECT_EQ(Messages->Shown()[0].Text, QString::fromUtf8(text));
        EXPECT_EQ(Messages->Shown()[0].Caption, QStringLiteral("ATTENTION"));
        EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::Question);
        ResetMessages();
    }
};

TEST_F(UwhitworthTest, RangesAndPitchColumns)
{
    // Ranges at their bounds and one past.
    EXPECT_EQ(WhitworthRange(0.1), 0);
    EXPECT_EQ(WhitworthRange(0.1001), 1);
    EXPECT_EQ(WhitworthRange(12), 6);
    EXPECT_EQ(WhitworthRange(12.001), -1);
    EXPECT_EQ(WhitworthRange(NanValue()), -1);

    const double many[6] = {-1, 7, 8, 8, 8, 9};
    const double one[6] = {5, -1, -1, -1, -1, -1};
    const struct {
        double Tpi;
        int Column;
    } rows[] = {
        {56, 1}, {22, 1}, {20, 2}, {13, 2}, {12, 3},  {8, 3},
        {7, 4},  {6, 4},  {5, 5},  {4.5, 5}, {4, 5},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WhitworthColumn(row.Tpi, many), row.Column) << row.Tpi;
    EXPECT_TRUE(Messages->Shown().empty());
    // One value given: it serves every pitch.
    EXPECT_EQ(WhitworthColumn(21, one), 0);
    // Between the bands, and a band whose value is not given.
    // 3.5 and 2.5 tpi: the coarse pitches of the large BSW sizes lie below
    // the 5-4 tpi band, and no band is stretched to cover them.
    for (double tpi : {21.0, 12.5, 57.0, 5.5, 7.5, 3.5, 2.5}) {
        EXPECT_EQ(WhitworthColumn(tpi, many), -1) << tpi;
        ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
    }
    const double noCoarse[6] = {-1, 7, 8, 8, 8, -1};
    EXPECT_EQ(WhitworthColumn(4, noCoarse), -1);
    ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
}

TEST_F(UwhitworthTest, GoPlugOfHalfInchBsw)
{
    // BS 84, 1/2 BSW (12 tpi): effective diameter 0.4466 in. Range 0.1-0.5:
    // a0 2, a1 4 (0.0001 in); the wide value of the 8-12 tpi column is 5.
    CalcRun o = Whit(6000, 0.5, 12, WhitworthNormal);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.LogP, 0.4466 * 25.4, 1e-9);
    EXPECT_NEAR(o.R.MinP, 11.34872, 1e-9);
    EXPECT_NEAR(o.R.MaxP, 11.35888, 1e-9);
    EXPECT_TRUE(IsNan(o.R.TPasso));
    o = Whit(6000, 0.5, 12, WhitworthNormal, true);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 11.37158, 1e-9);
}

TEST_F(UwhitworthTest, MissingPitchColumnAndDiameterLimits)
{
    // 1: ring gauge at 21 tpi, D 1 in: no column.
    EXPECT_FALSE(Whit(6100, 1, 21, WhitworthFree).Ok);
    ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
    // 2: at D 0.1 the single value serves 21 tpi too.
    EXPECT_TRUE(Whit(6100, 0.1, 21, WhitworthFree).Ok);
    // 5, 6: up to 12 in, and over it.
    EXPECT_TRUE(Whit(6000, 12, 4, WhitworthNormal).Ok);
    EXPECT_FALSE(Whit(6000, 12.01, 4, WhitworthNormal).Ok);
    ExpectOneMessage("MN 181 : Diameter not valid");
    // 7, 8: no diameter, no pitch.
    EXPECT_FALSE(Whit(6000, 0, 4, WhitworthNormal).Ok);
    ExpectOneMessage("MN 181 : Diameter not valid");
    EXPECT_FALSE(Whit(6000, 1, 0, WhitworthNormal).Ok);
    ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
}

// A free size whose pitch is too large for its diameter: 0.1 in with 4 tpi
// has an effective diameter 0.1 - 0.1601 below 0, 0.1 in with 12 tpi a
// minor diameter 0.1 - 0.1067 below 0. Refused with 1180, the record as it
// was, for every gauge type.
TEST_F(UwhitworthTest, FreeSizeWithAPitchTooLargeForTheDiameter)
{
    for (int key : {6000, 6001, 6002, 6003, 6100, 6101, 6102, 6103, 6104}) {
        for (double tpi : {4.0, 12.0}) {
            TOLLERANCE record;
            ClearToleranceRecord(record);
            const TOLLERANCE before = record;
            EXPECT_FALSE(
                CalcWhitworth(CatalogueType(key), 0.1, tpi, WhitworthKindS, WhitworthFree, false, record))
                << key;
            EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << key;
            ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
        }
    }
    // 16 tpi fits 0.1 in: minor diameter 0.1 - 0.0800 = 0.0200 in.
    EXPECT_TRUE(Whit(6100, 0.1, 16, WhitworthFree, false, WhitworthKindS).Ok);
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UwhitworthTest, CoarseBswPitchesOutsideTheBands)
{
    // BSW 3 in has 3 1/2 tpi, BSW 6 in 2 1/2 tpi: below the 5-4 tpi band.
    // Every lookup of a pitch column refuses them with 1180 and leaves the
    // record as it was: the ring keys that read table D or F, and the plug
    // keys whose wide tolerance reads table A, B or C.
    const struct {
        int Key;
        double Diameter, Tpi;
        int Class;
        bool Wide;
    } refused[] = {
        /* 1 */ {6100, 3, 3.5, WhitworthFree, false},  /* 2 */ {6101, 3, 3.5, WhitworthFree, false},
        /* 3 */ {6103, 3, 3.5, WhitworthFree, false},  /* 4 */ {6104, 3, 3.5, WhitworthFree, false},
        /* 5 */ {6000, 3, 3.5, WhitworthNormal, true}, /* 6 */ {6000, 3, 3.5, WhitworthClose, true},
        /* 7 */ {6001, 3, 3.5, WhitworthNormal, true}, /* 8 */ {6002, 3, 3.5, WhitworthNormal, true},
        /* 9 */ {6003, 3, 3.5, WhitworthNormal, true}, /* 10 */ {6100, 6, 2.5, WhitworthFree, false},
    };
    for (const auto& row : refused) {
        TOLLERANCE record;
        ClearToleranceRecord(record);
        record.MaxP = record.MinN = 1.5; // stands for an earlier result
        const TOLLERANCE before = record;
        EXPECT_FALSE(CalcWhitworth(CatalogueType(row.Key), row.Diameter, row.Tpi, 0, row.Class, row.Wide, record))
            << row.Key;
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << row.Key;
        ExpectOneMessage("MN 180 : Pitch/Diameter combination not valid");
    }

    // The same size on a plug key without the wide tolerance reads no pitch
    // column: range 1.5-3 in, a0 3, a1 6, a8 9, a9 -6; h = 0.1830, E = 2.8170.
    CalcRun o = Whit(6000, 3, 3.5, WhitworthNormal);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 2.8179 * 25.4, 1e-9);
    EXPECT_NEAR(o.R.MinP, 2.8173 * 25.4, 1e-9);
    EXPECT_NEAR(o.R.LogP, 2.8170 * 25.4, 1e-9);
    EXPECT_NEAR(o.R.MaxPi, (2.634 + 0.0009) * 25.4, 1e-9);
    // The Go check plug of the ring takes e0 alone.
    EXPECT_TRUE(Whit(6102, 3, 3.5, WhitworthFree).Ok);
    // BSW 2 in (4 1/2 tpi) lies in the 5-4 tpi band: Go ring MinP = Ep - 0.0010.
    o = Whit(6100, 2, 4.5, WhitworthFree);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 1.8577 * 25.4, 1e-9);
    EXPECT_NEAR(o.R.MinP, 1.8567 * 25.4, 1e-9);
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UwhitworthTest, ToleranceByKindAndClass)
{
    // Not-go plug, medium class: MinN = E + TD, E = 0.92 in at 1 in x 8 tpi.
    // TD = 0.002 D^(1/3) + 0.003 LE^(1/2) + 0.005 p^(1/2); LE = D, or 10 p
    // (1.25 in) for "Whitworth S".
    EXPECT_NEAR(Whit(6001, 1, 8, WhitworthMedium).R.MinN, 23.5399013, 1e-6);
    EXPECT_NEAR(Whit(6001, 1, 8, WhitworthMedium, false, WhitworthKindS).R.MinN, 23.5488955, 1e-6);
    // Plugs take 1.5 TD for "free" as for "normal", rings for "normal" as for "free".
    EXPECT_EQ(Whit(6001, 1, 8, WhitworthFree).R.MinN, Whit(6001, 1, 8, WhitworthNormal).R.MinN);
    EXPECT_EQ(Whit(6101, 1, 8, WhitworthNormal).R.MaxN, Whit(6101, 1, 8, WhitworthFree).R.MaxN);
    EXPECT_LT(Whit(6101, 1, 8, WhitworthFree).R.MaxN, Whit(6101, 1, 8, WhitworthClose).R.MaxN);
}

TEST_F(UwhitworthTest, EveryCatalogueTypeComputes)
{
    for (int key : {6000, 6001, 6002, 6003, 6100, 6101, 6102, 6103, 6104}) {
        for (int toleranceClass = 0; toleranceClass <= 3; ++toleranceClass) {
            for (bool wide : {false, true}) {
                const CalcRun o = Whit(key, 0.5, 12, toleranceClass, wide);
                EXPECT_TRUE(o.Ok) << key;
                EXPECT_GT(std::max(o.R.MaxP, o.R.MaxN), 10) << key;
                ExpectOnlyValues(o.R, key);
            }
        }
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

// The reference plug of the adjustable Not-go ring (104) sets that ring: its
// pitch-diameter band starts at the Not-go ring's minimum Em - WF and lies
// within the ring's band, for each class as the wizard passes it (the plug
// gets the third button as "normal", the ring as "free"; both take 1.5 TD).
TEST_F(UwhitworthTest, NotGoRingReferencePlugSitsAtTheNotGoRing)
{
    const struct {
        double Diameter, Tpi;
        int Kind;
    } sizes[] = {
        {1, 8, 0},  {0.5, 12, 0}, {0.25, 20, 0}, {2, 4.5, 0}, {0.75, 12, 0}, // BSW 1, 1/2, 1/4, 2; BSF 3/4
        {1, 20, WhitworthKindS},                                           // "Whitworth S" free size
    };
    const struct {
        int Ring, Plug;
    } classes[] = {{WhitworthClose, WhitworthClose},
                   {WhitworthMedium, WhitworthMedium},
                   {WhitworthFree, WhitworthNormal}};
    for (const auto& size : sizes) {
        for (const auto& cls : classes) {
            for (bool wide : {false, true}) {
                const CalcRun ring = Whit(6101, size.Diameter, size.Tpi, cls.Ring, wide, size.Kind);
                const CalcRun plug = Whit(6104, size.Diameter, size.Tpi, cls.Plug, wide, size.Kind);
                const CalcRun check = Whit(6102, size.Diameter, size.Tpi, cls.Plug, wide, size.Kind);
                ASSERT_TRUE(ring.Ok && plug.Ok && check.Ok);
                const auto where = ::testing::Message() << size.Diameter << " in " << size.Tpi << " tpi kind "
                                                        << size.Kind << " class " << cls.Ring << " wide " << wide;
                EXPECT_NEAR(plug.R.MinP, ring.R.MinN, 1e-9) << where;
                EXPECT_EQ(plug.R.LogP, plug.R.MinP) << where;
                EXPECT_GT(plug.R.MaxP, plug.R.MinP) << where;
                EXPECT_LE(plug.R.MaxP, ring.R.MaxN + 1e-9) << where;
                // The profile outside the pitch diameter is the Go check plug's.
                EXPECT_TRUE(IsNan(plug.R.MaxPe)) << where;
                EXPECT_EQ(plug.R.MinPe, check.R.MinPe) << where;
                EXPECT_EQ(plug.R.MaxPi, check.R.MaxPi) << where;
                EXPECT_EQ(plug.R.MinPi, check.R.MinPi) << where;
            }
        }
    }
    // 1 in BSW, third class, narrow: 23.0949-23.1000 mm, the Not-go ring
    // 23.0949-23.1101 (E 0.92 in, 1.5 TD 0.0060 in, WF 0.0006, g0 0.0002).
    const CalcRun plug = Whit(6104, 1, 8, WhitworthNormal);
    EXPECT_NEAR(plug.R.MinP, 23.0949080791, 1e-9);
    EXPECT_NEAR(plug.R.MaxP, 23.0999880791, 1e-9);
    EXPECT_TRUE(Messages->Shown().empty());
}

// Across every diameter range and pitch band the tables give, the plug's
// tolerance fits inside the Not-go ring's band (g0 + g2 <= WF in each row).
TEST_F(UwhitworthTest, NotGoRingReferencePlugFitsEveryRange)
{
    int compared = 0;
    for (double diameter : {0.1, 0.3, 1.0, 2.5, 4.0, 7.0, 11.0}) {
        for (double tpi : {40.0, 16.0, 10.0, 6.0, 4.5}) {
            const CalcRun ring = Whit(6101, diameter, tpi, WhitworthFree, true);
            if (!ring.Ok) { // no F column for this pitch in this range
                ResetMessages();
                continue;
            }
            const CalcRun plug = Whit(6104, diameter, tpi, WhitworthNormal, true);
            ASSERT_TRUE(plug.Ok) << diameter << " " << tpi;
            EXPECT_NEAR(plug.R.MinP, ring.R.MinN, 1e-9) << diameter << " " << tpi;
            EXPECT_LE(plug.R.MaxP, ring.R.MaxN + 1e-9) << diameter << " " << tpi;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 25);
}

// The rest of the ring family keeps its limits: the Go ring and Not-go ring
// with the third class ("free"), the Go check plug and the Go ring's
// reference plug with it as "normal", narrow tolerance; in millimetres.
TEST_F(UwhitworthTest, RingFamilyLimitsStayPut)
{
    struct Band {
        double Min, Max;
    };
    const struct {
        double Diameter, Tpi;
        Band GoRing, NotGoRing, CheckPlug, GoReference;
    } rows[] = {
        {1, 8, {23.3476800000, 23.3680000000}, {23.0949080791, 23.1101480791},
         {23.3629200000, 23.3730800000}, {23.3476800000, 23.3527600000}},
        {0.5, 12, {11.2866010203, 11.3043810203}, {11.1346451017, 11.1473451017},
         {11.3005710203, 11.3081910203}, {11.2866010203, 11.2916810203}},
        {0.25, 20, {5.4924099826, 5.5076499826}, {5.3767499130, 5.3894499130},
         {5.5038399826, 5.5114599826}, {5.4924099826, 5.4974899826}},
        {2, 4.5, {47.1601800000, 47.1855800000}, {46.8178068446, 46.8381268446},
         {47.1779600000, 47.1932000000}, {47.1601800000, 47.1678000000}},
        {0.75, 12, {17.6286776777, 17.6489976777}, {17.4551883886, 17.4704283886},
         {17.6439176777, 17.6540776777}, {17.6286776777, 17.6337576777}},
    };
    for (const auto& row : rows) {
        const CalcRun go = Whit(6100, row.Diameter, row.Tpi, WhitworthFree);
        const CalcRun noGo = Whit(6101, row.Diameter, row.Tpi, WhitworthFree);
        const CalcRun check = Whit(6102, row.Diameter, row.Tpi, WhitworthNormal);
        const CalcRun reference = Whit(6103, row.Diameter, row.Tpi, WhitworthNormal);
        ASSERT_TRUE(go.Ok && noGo.Ok && check.Ok && reference.Ok) << row.Diameter;
        EXPECT_NEAR(go.R.MinP, row.GoRing.Min, 1e-9) << row.Diameter;
        EXPECT_NEAR(go.R.MaxP, row.GoRing.Max, 1e-9) << row.Diameter;
        EXPECT_NEAR(noGo.R.MinN, row.NotGoRing.Min, 1e-9) << row.Diameter;
        EXPECT_NEAR(noGo.R.MaxN, row.NotGoRing.Max, 1e-9) << row.Diameter;
        EXPECT_NEAR(check.R.MinP, row.CheckPlug.Min, 1e-9) << row.Diameter;
        EXPECT_NEAR(check.R.MaxP, row.CheckPlug.Max, 1e-9) << row.Diameter;
        EXPECT_NEAR(reference.R.MinP, row.GoReference.Min, 1e-9) << row.Diameter;
        EXPECT_NEAR(reference.R.MaxP, row.GoReference.Max, 1e-9) << row.Diameter;
    }
}

} // namespace
