// The Whitworth calculator: ranges, pitch columns and gauge limits.
#include "calc/Uwhitworth.h"
#include "tests/calc/CalcFixture.h"
#include "tests/calc/CatalogueTypes.h"

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
        {7, 4},  {6, 4},  {5, 5},  {4, 5},  {2.5, 5}, // BSW 6": the coarsest column covers it
    };
    for (const auto& row : rows)
        EXPECT_EQ(WhitworthColumn(row.Tpi, many), row.Column) << row.Tpi;
    EXPECT_TRUE(Messages->Shown().empty());
    // One value given: it serves every pitch.
    EXPECT_EQ(WhitworthColumn(21, one), 0);
    // Between the bands, and a band whose value is not given.
    for (double tpi : {21.0, 12.5, 57.0, 5.5}) {
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
    // 3, 4: BSW 6" (2 1/2 tpi) ring, BSW 3" (3 1/2 tpi) Not-go ring.
    EXPECT_TRUE(Whit(6100, 6, 2.5, WhitworthFree).Ok);
    EXPECT_TRUE(Whit(6101, 3, 3.5, WhitworthFree).Ok);
    EXPECT_TRUE(Messages->Shown().empty());
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

} // namespace
