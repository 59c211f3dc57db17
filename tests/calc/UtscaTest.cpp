// The DIN 5480 spline calculator: size table, size index, tolerance text and
// the gauge limits.
#include "calc/Utsca.h"
#include "tests/calc/CalcFixture.h"
#include "tests/calc/CatalogueTypes.h"

namespace {

struct CalcRun {
    bool Ok = false;
    TOLLERANCE R{};
    QString Class, Designation;
};

CalcRun Typed(int key, double diameter, double module, const QString& tolerance)
{
    CalcRun o;
    ClearToleranceRecord(o.R);
    TCalcText classText, designation;
    o.Ok = CalcSplineDin5480(diameter, module, TCalcText(tolerance), classText, designation,
                             CatalogueType(key), o.R);
    o.Class = classText.Text();
    o.Designation = designation.Text();
    return o;
}

CalcRun Chosen(int key, int quality, int lq, QChar position, double diameter, double module)
{
    CalcRun o;
    ClearToleranceRecord(o.R);
    TCalcText classText, designation;
    o.Ok = CalcSplineDin5480Limits(quality, lq, position, diameter, module, TCalcText(), classText,
                                   designation, CatalogueType(key), o.R);
    o.Designation = designation.Text();
    return o;
}

class UtscaTest : public CalcTest {
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

TEST(UtscaTables, GeneratedTableMatchesTheGenerator)
{
    ExpectGeneratorOutput(TESSVAR_SPLINESIZES, TESSVAR_SOURCE_DIR "/calc/Utscasizes_gen.cpp");
}

TEST(UtscaTables, SizeTableRowsAndLookup)
{
    TSplineSizeRow row{};
    // 1: module 2, d_B 15: 6 teeth and the program's three values.
    ASSERT_EQ(FindSplineSize(15, 2, row), 0);
    EXPECT_EQ(row.Teeth, 6);
    EXPECT_DOUBLE_EQ(row.Values[0], 3.603);
    EXPECT_DOUBLE_EQ(row.Values[1], 3.5);
    EXPECT_DOUBLE_EQ(row.Values[2], 5.5);
    // 2: module 10, d_B 80.
    ASSERT_EQ(FindSplineSize(80, 10, row), 0);
    EXPECT_EQ(row.Teeth, 6);
    EXPECT_DOUBLE_EQ(row.Values[0], 20.904);
    // 3, 4: the even number of teeth where two fit (W 30 x 2 x 14, W 40 x 2 x 18).
    ASSERT_EQ(FindSplineSize(30, 2, row), 0);
    EXPECT_EQ(row.Teeth, 14);
    ASSERT_EQ(FindSplineSize(40, 2, row), 0);
    EXPECT_EQ(row.Teeth, 18);
    // 5: the module within 0.0001; 6: a module not in the table.
    EXPECT_EQ(FindSplineSize(15, 2.00005, row), 0);
    EXPECT_EQ(FindSplineSize(15, 4.5, row), 1);
    // 7: 25 is a row of module 1.25, not of module 2; 8: past the last row.
    EXPECT_EQ(FindSplineSize(25, 1.25, row), 0);
    EXPECT_EQ(FindSplineSize(25, 2, row), 2);
    EXPECT_EQ(FindSplineSize(41, 2, row), 2);
    EXPECT_EQ(FindSplineSize(NanValue(), 2, row), 2);
}

TEST(UtscaTables, SizeIndexByModuleBandAndDiameterRange)
{
    const struct {
        double Module, Diameter;
        int Index;
    } rows[] = {
        {0.6, 10, 8},      // 1: fine module, small diameter
        {1.5, 12, 8},      // 2: 12 is still the first range
        {1.5, 12.5, 7},    // 3
        {1.75, 25, 6},     // 4: band 1, second range
        {4, 400, 2},       // 5
        {5, 50, 4},        // 6: band 2
        {10, 32000, 0},    // 7: the last range
        {10, 32000.5, -1}, // 8: past it
        {4.5, 30, -1},     // 9: between the bands
        {0.4, 30, -1},     // 10: below the first band
        {2, -1, -1},       // 11
    };
    for (const auto& row : rows)
        EXPECT_EQ(SplineSizeIndex(row.Module, row.Diameter), row.Index) << row.Module << " " << row.Diameter;
}

TEST(UtscaTables, ToleranceAndLqLookups)
{
    double t1 = 0, t2 = 0, dev = 0, a = 0, b = 0;
    // 1: index 7, f (shaft) is entry 6: -18 um; quality 8 pair 13 (40, 25).
    ASSERT_TRUE(LookupSplineTolerance(1.25, 25, 8, u'f', t1, t2, dev));
    EXPECT_NEAR(dev, -0.018, 1e-12);
    EXPECT_NEAR(t1, 0.040, 1e-12);
    EXPECT_NEAR(t2, 0.025, 1e-12);
    // 2: no quality: T1, T2 stay -1.
    ASSERT_TRUE(LookupSplineTolerance(1.25, 25, -1, u'E', t1, t2, dev));
    EXPECT_NEAR(dev, 0.027, 1e-12);
    EXPECT_EQ(t1, -1);
    // 3-5: a quality outside 4..12, a letter of no entry, no letter.
    EXPECT_FALSE(LookupSplineTolerance(1.25, 25, 13, u'H', t1, t2, dev));
    EXPECT_FALSE(LookupSplineTolerance(1.25, 25, 8, u'x', t1, t2, dev));
    EXPECT_FALSE(LookupSplineTolerance(1.25, 25, 8, QChar(), t1, t2, dev));
    // 6: LQ 4 at index 0 is the last pair (22, 14); 7: LQ 5 fails.
    ASSERT_TRUE(LookupSplineLq(10, 500, 4, a, b));
    EXPECT_NEAR(a, 0.022, 1e-12);
    EXPECT_NEAR(b, 0.014, 1e-12);
    EXPECT_FALSE(LookupSplineLq(10, 500, 5, a, b));
    EXPECT_EQ(a, -1);
}

TEST(UtscaTables, ParsingTolerances)
{
    const struct {
        int Key;
        const char* Text;
        bool Ok;
        int Quality;
        char Position;
        int Lq;
    } rows[] = {
        {2000, "h-3", true, -1, 'H', 3},      // 1: Go plug without quality, upper case for hubs
        {2000, "9-h-3", true, 9, 'H', 3},     // 2: Go plug with quality
        {2003, "9-H-2", true, 9, 'h', 2},     // 3: ring for a shaft: lower case
        {2001, "H-3", false, -1, 0, -1},      // 4: No-go needs the quality
        {2002, "8-H", false, -1, 0, -1},      // 5: LQ missing
        {2001, "x-H-3", false, -1, 0, -1},    // 6: quality not a number
        {2004, " 7-f-4", true, 7, 'f', 4},    // 7: "%d" skips blanks
        {2001, "9-H-LQ3", false, 9, 'H', -1}, // 8: LQ must be a number
    };
    for (const auto& row : rows) {
        int quality = 0, lq = 0;
        QChar position;
        const bool ok =
            ParseSplineTolerance(QString::fromUtf8(row.Text), CatalogueType(row.Key), quality, position, lq);
        EXPECT_EQ(ok, row.Ok) << row.Text;
        EXPECT_EQ(quality, row.Quality) << row.Text;
        if (row.Position) {
            EXPECT_EQ(position, QLatin1Char(row.Position)) << row.Text;
        }
        EXPECT_EQ(lq, row.Lq) << row.Text;
    }
    // 9: a role other than Go, No-go and limit.
    CALIBRETYPE master = CatalogueType(2000);
    master.Role = 5;
    int quality = 0, lq = 0;
    QChar position;
    EXPECT_FALSE(ParseSplineTolerance(QStringLiteral("9-H-3"), master, quality, position, lq));
}

TEST_F(UtscaTest, TypedTolerancesAndTheirMessages)
{
    // 1: a module that is not tabulated: 1056 before any band lookup.
    EXPECT_FALSE(Typed(2000, 25, 4.5, QStringLiteral("9-H-3")).Ok);
    ExpectOneMessage("MN 056 : Diameter module combination not valid");
    // 2: LQ 5 is outside 2..4.
    EXPECT_FALSE(Typed(2001, 25, 1.25, QStringLiteral("9-H-5")).Ok);
    ExpectOneMessage("MN 057 : Error calculating tolerance");
    // 3: a text that does not parse.
    EXPECT_FALSE(Typed(2001, 25, 1.25, QStringLiteral("H")).Ok);
    ExpectOneMessage("MN 057 : Error calculating tolerance");
    // 4: Go plug typed without quality.
    CalcRun o = Typed(2000, 25, 1.25, QStringLiteral("H-3"));
    ASSERT_TRUE(o.Ok);
    EXPECT_EQ(o.Designation, QStringLiteral("GD 25 X 1.25 X H-LQ3"));
    EXPECT_EQ(o.Class, QStringLiteral("H-3"));
    // 5: with quality. 25 mm is in the range 12-25 (index 7), H has no
    // deviation, LQ 3 pair 4 gives b = 4.5 um.
    o = Typed(2000, 25, 1.25, QStringLiteral("9-H-3"));
    ASSERT_TRUE(o.Ok);
    EXPECT_EQ(o.Designation, QStringLiteral("GD 25 X 1.25 X 9H-LQ3"));
    EXPECT_NEAR(o.R.MaxP, 25.0045, 1e-9);
    EXPECT_NEAR(o.R.MinP, 25, 1e-9);
    EXPECT_NEAR(o.R.LogP, 25 - 1.6 * 0.0045, 1e-9);
    // 6: the same size a hair off the table (25 x 1.25 typed as 0.984252 x
    // 0.049213 in, and a hair below): named and calculated as the table's
    // row, not as "1.25001" with limits moved by the hair.
    for (const auto& [diameter, module] :
         {std::pair{0.984252 * 25.4, 0.049213 * 25.4}, std::pair{24.99995, 1.24995}}) {
        const CalcRun off = Typed(2000, diameter, module, QStringLiteral("9-H-3"));
        ASSERT_TRUE(off.Ok) << diameter;
        EXPECT_EQ(off.Designation, o.Designation);
        EXPECT_EQ(off.R.MaxP, o.R.MaxP);
        EXPECT_EQ(off.R.LogP, o.R.LogP);
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UtscaTest, LimitsByGaugeType)
{
    // 25 x 1.25, index 7. No-go plug 9H-3: T1 56 um, b 4.5 um.
    CalcRun o = Chosen(2001, 9, 3, u'H', 25, 1.25);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxN, 25 + 0.056 + 0.00225, 1e-9);
    EXPECT_NEAR(o.R.MinN, 25 + 0.056 - 0.00225, 1e-9);
    EXPECT_EQ(o.Designation, QStringLiteral("GR 25 X 1.25 X 9H-LQ3"));
    // No-go ring 8f-2: deviation -18, T1 40, b 3 um.
    o = Chosen(2004, 8, 2, u'f', 25, 1.25);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxN, 25 - 0.018 - 0.040 + 0.0015, 1e-9);
    EXPECT_NEAR(o.R.MinN, 25 - 0.018 - 0.040 - 0.0015, 1e-9);
    // Setting ring for the Go plug, H-3: a 7, c (b of LQ 2) 3 um.
    o = Chosen(2100, -1, 3, u'H', 25, 1.25);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 25 + 0.007 + 0.0015, 1e-9);
    EXPECT_NEAR(o.R.MinP, 25 + 0.007 - 0.0015, 1e-9);
    EXPECT_EQ(o.R.LogP, o.R.MaxP);
    EXPECT_EQ(o.Designation, QStringLiteral("HD 25 X 1.25 X H-LQ3"));
    // Wear check plug for the Go ring, h-3.
    o = Chosen(2103, -1, 3, u'h', 25, 1.25);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 25 + 1.6 * 0.0045 + 0.0015, 1e-9);
    EXPECT_NEAR(o.R.MinP, o.R.MaxP - 0.003, 1e-9);
    EXPECT_EQ(o.R.LogP, o.R.MinP);
}

TEST_F(UtscaTest, NoGoGaugeWithoutQualityFails)
{
    // A No-go gauge is placed by T1, which a missing quality does not give.
    for (int key : {2001, 2002, 2004}) {
        const CalcRun o = Chosen(key, -1, 3, key == 2004 ? u'h' : u'H', 25, 1.25);
        EXPECT_FALSE(o.Ok) << key;
        EXPECT_EQ(o.R.MaxN, 0) << key;
        ExpectOneMessage("MN 057 : Error calculating tolerance");
    }
}

TEST_F(UtscaTest, EveryCatalogueTypeComputes)
{
    for (int key : {2000, 2001, 2002, 2003, 2004, 2100, 2101, 2102, 2103}) {
        const CalcRun o = Typed(key, 40, 2, QStringLiteral("9-H-3"));
        EXPECT_TRUE(o.Ok) << key;
        EXPECT_GT(std::max(o.R.MaxP, o.R.MaxN), 39.9) << key;
        ExpectOnlyValues(o.R, key);
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
