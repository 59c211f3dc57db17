// The GAS pipe thread calculators: the size tables against ISO 228-1 and
// ISO 7-1, and the gauge limits.
#include "calc/Ugas.h"
#include "calc/Ugastables.h"
#include "tests/calc/CalcFixture.h"
#include "tests/calc/CatalogueTypes.h"
#include "tests/support/FileSizeLimit.h"

#include <QDir>

namespace {

constexpr int Half = 4;        // size index of 1/2 in both tables
constexpr int OneAndHalf = 11; // 1 1/2 in the ISO 228 table
constexpr int Quarter = 2;     // 1/4 in the ISO 228 table
constexpr int One = 8;         // 1 in the ISO 228 table

struct CalcRun {
    bool Ok = false;
    TOLLERANCE R{};
    QString Diameter, Angle, Pitch, Designation;
};

CalcRun Taper(int key, int size)
{
    CalcRun o;
    ClearToleranceRecord(o.R);
    TCalcText diameter, angle, pitch, designation;
    o.Ok = CalcGasTaper(CatalogueType(key), size, diameter, angle, pitch, designation, o.R);
    o.Diameter = diameter.Text();
    o.Angle = angle.Text();
    o.Pitch = pitch.Text();
    o.Designation = designation.Text();
    return o;
}

CalcRun Parallel(int key, int size, bool classA = true, bool truncate = false)
{
    CalcRun o;
    ClearToleranceRecord(o.R);
    TCalcText diameter, angle, pitch, designation;
    const CALIBRETYPE type = CatalogueType(key);
    o.Ok = type.Item < 3
               ? CalcGasParallelPlug(type, size, truncate, diameter, angle, pitch, designation, o.R)
               : CalcGasParallelRing(type, size, classA, truncate, diameter, angle, pitch, designation, o.R);
    o.Designation = designation.Text();
    return o;
}

using UgasTest = CalcTest;

TEST(UgasTables, GeneratedTablesMatchTheGenerator)
{
    ExpectGeneratorOutput(TESSVAR_PIPETABLES, TESSVAR_SOURCE_DIR "/calc/Ugastables_gen.cpp");
}

TEST(UgasTables, GeneratorOutputCutShortKeepsThePreviousFile)
{
    // Under a 512-byte file-size limit the generator's table cannot be
    // written whole: it says so, naming the file, and the old file stays.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString output = folder.filePath(QStringLiteral("tables.cpp"));
    const QByteArray previous(300, 'p');
    {
        QFile file(output);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(previous), previous.size());
    }
    // SIGXFSZ at its default disposition: the generator ignores it itself.
    const TLimitedRun run = RunProgramWithFileSizeLimit(512, QStringLiteral(TESSVAR_PIPETABLES), {output});
    EXPECT_FALSE(run.Signalled) << run.Signal;
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Errors.contains("Cannot create file \"" + output + "\". ")) << run.Errors.toStdString();
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), previous);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"tables.cpp"}));
}

TEST(UgasTables, BasicDimensionsAsPublished)
{
    // ISO 228-1:2000 Table 1: size index, P, d, d2, d1.
    const struct {
        int Index;
        double P, d, d2, d1;
    } rows[] = {
        {0, 0.907, 7.723, 7.142, 6.561},        // 1: 1/16
        {4, 1.814, 20.955, 19.793, 18.631},     // 2: G 1/2
        {8, 2.309, 33.249, 31.770, 30.291},     // 3: G 1
        {11, 2.309, 47.803, 46.324, 44.845},    // 4: G 1 1/2
        {23, 2.309, 163.830, 162.351, 160.872}, // 5: G 6
    };
    for (const auto& row : rows) {
        const TParallelPipeSize& size = ParallelPipeSizeTable[row.Index];
        EXPECT_DOUBLE_EQ(size.P, row.P) << row.Index;
        EXPECT_DOUBLE_EQ(size.d, row.d) << row.Index;
        EXPECT_DOUBLE_EQ(size.d2, row.d2) << row.Index;
        EXPECT_DOUBLE_EQ(size.d1, row.d1) << row.Index;
    }
    // The three ISO 7 rows the program gives in full: P, d, d2, d1, c4..c7.
    const struct {
        int Index;
        double Values[8];
    } taper[] = {
        {0, {0.907, 7.723, 7.142, 6.561, 4.012, 4.876, 3.969, 0.145}},          // 1: 1/16
        {4, {1.814, 20.955, 19.793, 18.631, 8.225, 9.979, 8.164, 0.29}},        // 2: 1/2
        {14, {2.309, 163.83, 162.351, 160.872, 19.382, 32.039, 28.575, 0.369}}, // 3: 6
    };
    for (const auto& row : taper) {
        const TTaperPipeSize& size = TaperPipeSizeTable[row.Index];
        const double values[8] = {size.P, size.d, size.d2, size.d1, size.c4, size.c5, size.c6, size.c7};
        for (int k = 0; k < 8; ++k)
            EXPECT_DOUBLE_EQ(values[k], row.Values[k]) << row.Index << " value " << k;
    }
    // 4: c4 of 1/8 is not available.
    EXPECT_EQ(TaperPipeSizeTable[1].c4, -1);
}

TEST_F(UgasTest, TaperPlugAtHalfInch)
{
    // ISO 7 1/2, band limit 3/4: T1 10 um, T5 28 um, T6 8 um, T7 11 minutes.
    const CalcRun o = Taper(4000, Half);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 19.808, 1e-9); // 19.793 + 1.5 x 0.010
    EXPECT_NEAR(o.R.MinP, 19.798, 1e-9); // 19.793 + 0.5 x 0.010
    EXPECT_NEAR(o.R.LogP, 19.770, 1e-9); // MinP - 0.028
    EXPECT_NEAR(o.R.MedP, 19.803, 1e-9);
    EXPECT_NEAR(o.R.MaxPe, 20.975, 1e-9);
    EXPECT_TRUE(IsNan(o.R.MinPi));
    EXPECT_DOUBLE_EQ(o.R.HMis1, 8.225);
    EXPECT_NEAR(o.R.TPasso, 0.008, 1e-12);
    EXPECT_EQ(o.R.TSA, 11);
    EXPECT_EQ(o.Diameter, QStringLiteral("19.793000"));
    EXPECT_EQ(o.Pitch, QStringLiteral("1.814000"));
    EXPECT_EQ(o.Angle, QStringLiteral("55"));
    EXPECT_EQ(o.Designation, QStringLiteral("Rc 1/2"));
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(UgasTest, TaperSizeWithoutC4StillComputes)
{
    // 1: 1/8 has no c4: the plug's measuring height stays empty.
    CalcRun o = Taper(4000, 1);
    ASSERT_TRUE(o.Ok);
    EXPECT_TRUE(IsNan(o.R.HMis1));
    EXPECT_NEAR(o.R.MaxP, 9.147 + 0.012, 1e-9); // band 1/8: T1 8 um
    // 2: the ring's height is c5, given for every size.
    o = Taper(4001, 1);
    ASSERT_TRUE(o.Ok);
    EXPECT_DOUBLE_EQ(o.R.HMis1, 4.876);
    // 3, 4: the parallel ring is "R", the form check ring "Rp".
    EXPECT_EQ(Taper(4003, 1).Designation, QStringLiteral("R 1/8"));
    EXPECT_EQ(Taper(4004, 6).Designation, QStringLiteral("Rp 1 "));
}

TEST_F(UgasTest, SizeOutsideTheTablesFails)
{
    // No checked size button (-1) and indices past the 15 or 24 rows.
    for (int size : {-1, 15, 1000}) {
        const CalcRun o = Taper(4000, size);
        EXPECT_FALSE(o.Ok) << size;
        EXPECT_EQ(o.R.MaxP, 0) << size;
    }
    for (int size : {-1, 24}) {
        EXPECT_FALSE(Parallel(4100, size).Ok) << size;
        EXPECT_FALSE(Parallel(4103, size).Ok) << size;
    }
    EXPECT_TRUE(Messages->Shown().empty()); // these calculators show nothing
    EXPECT_TRUE(Taper(4000, 14).Ok);        // 6 inches, the last band
    EXPECT_TRUE(Parallel(4100, 23).Ok);
}

TEST_F(UgasTest, ParallelPlugBandsAndCrestTruncation)
{
    // 1: 1 1/2 takes the band up to 2: G2 13, G3 12, G5 19 um; 10 minutes.
    CalcRun o = Parallel(4100, OneAndHalf);
    ASSERT_TRUE(o.Ok);
    EXPECT_NEAR(o.R.MaxP, 46.324 + 0.013 + 0.006, 1e-9);
    EXPECT_NEAR(o.R.LogP, 46.324 + 0.013 - 0.019, 1e-9);
    EXPECT_EQ(o.R.TSA, 10);
    EXPECT_NEAR(o.R.TPasso, 0.005, 1e-12);
    EXPECT_EQ(o.Designation, QStringLiteral("G 1 1/2"));

    // 2: G 1/2 limit plug, crests full and truncated (G3 12 um).
    const CalcRun full = Parallel(4102, Half, true, false);
    const CalcRun cut = Parallel(4102, Half, true, true);
    ASSERT_TRUE(full.Ok && cut.Ok);
    EXPECT_NEAR(full.R.MaxPe, 20.955 + 0.018, 1e-9);
    EXPECT_NEAR(full.R.MinPe, 20.955 - 0.006, 1e-9);
    EXPECT_NEAR(cut.R.MaxPe, 20.955 - 0.134, 1e-9);
    EXPECT_NEAR(cut.R.MinPe, 20.955 - 0.134 - 0.012, 1e-9);
    // 3: the Not-go side does not depend on it (G1 = TD2 142 um).
    EXPECT_NEAR(full.R.MinN, 19.793 + 0.142, 1e-9);
    for (double TOLLERANCE::*field :
         {&TOLLERANCE::MaxN, &TOLLERANCE::MinN, &TOLLERANCE::LogN, &TOLLERANCE::MedN, &TOLLERANCE::MaxNe,
          &TOLLERANCE::MinNe, &TOLLERANCE::MaxNi})
        EXPECT_EQ(full.R.*field, cut.R.*field);
}

TEST_F(UgasTest, RingClassesUseTheirPitchDiameterTolerance)
{
    // ISO 228-1 Td2 of G 1/2: class A 0.142, class B 0.284 mm; the Not-go ring
    // starts below d2 by it.
    const CalcRun a = Parallel(4104, Half, true);
    const CalcRun b = Parallel(4104, Half, false);
    ASSERT_TRUE(a.Ok && b.Ok);
    EXPECT_NEAR(a.R.MaxN, 19.793 - 0.142, 1e-9);
    EXPECT_NEAR(b.R.MaxN, 19.793 - 0.284, 1e-9);
    // Class B: its B2 (25 um), and A7 replaced by B6 (21 um).
    EXPECT_NEAR(b.R.MinN, 19.793 - 0.284 - 0.025, 1e-9);
    EXPECT_NEAR(b.R.LogN, 19.793 - 0.284 - 0.0125 + 0.021, 1e-9);
    // The Go ring is the same in both classes (A2 20, A6 9 um).
    const CalcRun goA = Parallel(4103, Half, true);
    const CalcRun goB = Parallel(4103, Half, false);
    EXPECT_NEAR(goA.R.MaxP, 19.793 - 0.009 + 0.010, 1e-9);
    EXPECT_EQ(goA.R.MaxP, goB.R.MaxP);
    // The smallest two sizes raise the ring's minor diameter by 0.134 more.
    const CalcRun small = Parallel(4103, 1, true, false);
    EXPECT_NEAR(small.R.MaxPi, 8.566 + 0.134, 1e-9);
}

// The check plugs of the rings carry the names of the gauges their rules
// compute: item 7 (d2 - A6 + A8 +- A4/2) sits on the Go ring's wear limit,
// item 9 (d2 - B1 +- B4/2) on the Not-go ring's maximum, item 10 (d2 - B1 -
// B2/2 + A7 +- B4/2) on the Not-go ring's wear limit. Hand values from the
// ISO 228 bands: G 1/4 class A (Go ring worn 12.317, Not-go ring 12.176 max,
// 12.1815 worn), G 1 class B (31.784; 31.410, 31.4215).
TEST_F(UgasTest, CheckPlugsOfRingsAreNamedByTheirRing)
{
    const struct {
        int Key;
        const char* Name;
        int Size;
        bool ClassA;
        double Max, Min;
    } rows[] = {
        {4107, "Wear check plug for solid or adj. go screw ring", Quarter, true, 12.3215, 12.3125},   // 1
        {4109, "Not-go check plug gage for not-go ring gage", Quarter, true, 12.1805, 12.1715},       // 2
        {4110, "Wear check plug for solid or adj. not-go screw ring", Quarter, true, 12.186, 12.177}, // 3
        {4107, "Wear check plug for solid or adj. go screw ring", One, false, 31.789, 31.779},        // 4
        {4109, "Not-go check plug gage for not-go ring gage", One, false, 31.4185, 31.4015},          // 5
        {4110, "Wear check plug for solid or adj. not-go screw ring", One, false, 31.430, 31.413},    // 6
    };
    int n = 0;
    for (const auto& row : rows) {
        ++n;
        const CALIBRETYPE type = CatalogueType(row.Key);
        EXPECT_EQ(type.Name.toStdString(), row.Name) << n;
        EXPECT_EQ(type.Ring, 0) << n; // a plug
        const CalcRun o = Parallel(row.Key, row.Size, row.ClassA);
        ASSERT_TRUE(o.Ok) << n;
        // Item 9 is a Not-go gauge: its limits are in the No-go fields.
        const bool noGo = row.Key == 4109;
        EXPECT_NEAR(noGo ? o.R.MaxN : o.R.MaxP, row.Max, 1e-9) << n;
        EXPECT_NEAR(noGo ? o.R.MinN : o.R.MinP, row.Min, 1e-9) << n;
    }
}

TEST_F(UgasTest, EveryCatalogueTypeComputes)
{
    for (int key : {4000, 4001, 4002, 4003, 4004}) {
        const CalcRun o = Taper(key, Half);
        EXPECT_TRUE(o.Ok) << key;
        EXPECT_GT(o.R.MaxP, 0) << key;
        ExpectOnlyValues(o.R, key);
    }
    for (int key = 4100; key <= 4110; ++key) {
        for (bool classA : {true, false}) {
            const CalcRun o = Parallel(key, Half, classA);
            EXPECT_TRUE(o.Ok) << key;
            EXPECT_GT(std::max(o.R.MaxP, o.R.MaxN), 0) << key;
            ExpectOnlyValues(o.R, key);
        }
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
