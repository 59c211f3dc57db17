// The ISO tables checked against published values of the standards, and the
// generated tables against their generator.
#include "calc/Utisotables.h"
#include "tests/calc/CalcFixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

namespace {

TEST(UtisotablesTest, GeneratedTablesMatchTheGenerator)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString output = folder.filePath(QStringLiteral("tables.cpp"));
    QProcess generator;
    generator.start(QStringLiteral(TESSVAR_ISOTABLES), {output});
    ASSERT_TRUE(generator.waitForFinished(60000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().constData();
    QFile generated(output);
    QFile committed(QStringLiteral(TESSVAR_SOURCE_DIR "/calc/Utisotables_gen.cpp"));
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(generated.readAll() == committed.readAll())
        << "calc/Utisotables_gen.cpp differs from the generator's output; re-run tools/isotables";
}

// ---------------------------------------------------------------- ISO 286-2

// Upper bounds of the 25 intermediate steps (each row is checked at the
// upper bound, which belongs to the step) and the main step of each.
constexpr double StepUpper[25] = {3,   6,   10,  14,  18,  24,  30,  40,  50,  65,  80,  100, 120,
                                  140, 160, 180, 200, 225, 250, 280, 315, 355, 400, 450, 500};
constexpr int MainOfStep[25] = {0, 1, 2, 3, 3, 4, 4,  5,  5,  6,  6,  7, 7,
                                8, 8, 8, 9, 9, 9, 10, 10, 11, 11, 12, 12};

// Limits of tolerance classes by main step, micrometres (upper, lower), as
// published in the limit-deviation tables of ISO 286-2:2010 (steps 0-3, 3-6,
// ... 400-500).
struct ClassRow {
    const char* Position;
    int Grade;
    double Limits[13][2];
};
const ClassRow PublishedClasses[] = {
    // 1
    {"H",
     7,
     {{10, 0},
      {12, 0},
      {15, 0},
      {18, 0},
      {21, 0},
      {25, 0},
      {30, 0},
      {35, 0},
      {40, 0},
      {46, 0},
      {52, 0},
      {57, 0},
      {63, 0}}},
    // 2
    {"H",
     8,
     {{14, 0},
      {18, 0},
      {22, 0},
      {27, 0},
      {33, 0},
      {39, 0},
      {46, 0},
      {54, 0},
      {63, 0},
      {72, 0},
      {81, 0},
      {89, 0},
      {97, 0}}},
    // 3
    {"G",
     7,
     {{12, 2},
      {16, 4},
      {20, 5},
      {24, 6},
      {28, 7},
      {34, 9},
      {40, 10},
      {47, 12},
      {54, 14},
      {61, 15},
      {69, 17},
      {75, 18},
      {83, 20}}},
    // 4
    {"F",
     8,
     {{20, 6},
      {28, 10},
      {35, 13},
      {43, 16},
      {53, 20},
      {64, 25},
      {76, 30},
      {90, 36},
      {106, 43},
      {122, 50},
      {137, 56},
      {151, 62},
      {165, 68}}},
    // 5
    {"K",
     7,
     {{0, -10},
      {3, -9},
      {5, -10},
      {6, -12},
      {6, -15},
      {7, -18},
      {9, -21},
      {10, -25},
      {12, -28},
      {13, -33},
      {16, -36},
      {17, -40},
      {18, -45}}},
    // 6: M7 is 0 above 3 mm in every step, 250-315 included (-20 + delta 20).
    {"M",
     7,
     {{-2, -12},
      {0, -12},
      {0, -15},
      {0, -18},
      {0, -21},
      {0, -25},
      {0, -30},
      {0, -35},
      {0, -40},
      {0, -46},
      {0, -52},
      {0, -57},
      {0, -63}}},
    // 7
    {"N",
     7,
     {{-4, -14},
      {-4, -16},
      {-4, -19},
      {-5, -23},
      {-7, -28},
      {-8, -33},
      {-9, -39},
      {-10, -45},
      {-12, -52},
      {-14, -60},
      {-14, -66},
      {-16, -73},
      {-17, -80}}},
    // 8: up to 3 mm -6/-16 (no delta in the first step).
    {"P",
     7,
     {{-6, -16},
      {-8, -20},
      {-9, -24},
      {-11, -29},
      {-14, -35},
      {-17, -42},
      {-21, -51},
      {-24, -59},
      {-28, -68},
      {-33, -79},
      {-36, -88},
      {-41, -98},
      {-45, -108}}},
    // 9: JS7 cut to whole micrometres (IT7 21 at 18-30 gives +-10).
    {"JS",
     7,
     {{5, -5},
      {6, -6},
      {7, -7},
      {9, -9},
      {10, -10},
      {12, -12},
      {15, -15},
      {17, -17},
      {20, -20},
      {23, -23},
      {26, -26},
      {28, -28},
      {31, -31}}},
    // 10
    {"f",
     7,
     {{-6, -16},
      {-10, -22},
      {-13, -28},
      {-16, -34},
      {-20, -41},
      {-25, -50},
      {-30, -60},
      {-36, -71},
      {-43, -83},
      {-50, -96},
      {-56, -108},
      {-62, -119},
      {-68, -131}}},
    // 11
    {"g",
     6,
     {{-2, -8},
      {-4, -12},
      {-5, -14},
      {-6, -17},
      {-7, -20},
      {-9, -25},
      {-10, -29},
      {-12, -34},
      {-14, -39},
      {-15, -44},
      {-17, -49},
      {-18, -54},
      {-20, -60}}},
    // 12
    {"h",
     6,
     {{0, -6},
      {0, -8},
      {0, -9},
      {0, -11},
      {0, -13},
      {0, -16},
      {0, -19},
      {0, -22},
      {0, -25},
      {0, -29},
      {0, -32},
      {0, -36},
      {0, -40}}},
    // 13
    {"h",
     9,
     {{0, -25},
      {0, -30},
      {0, -36},
      {0, -43},
      {0, -52},
      {0, -62},
      {0, -74},
      {0, -87},
      {0, -100},
      {0, -115},
      {0, -130},
      {0, -140},
      {0, -155}}},
    // 14
    {"k",
     6,
     {{6, 0},
      {9, 1},
      {10, 1},
      {12, 1},
      {15, 2},
      {18, 2},
      {21, 2},
      {25, 3},
      {28, 3},
      {33, 4},
      {36, 4},
      {40, 4},
      {45, 5}}},
    // 15
    {"m",
     6,
     {{8, 2},
      {12, 4},
      {15, 6},
      {18, 7},
      {21, 8},
      {25, 9},
      {30, 11},
      {35, 13},
      {40, 15},
      {46, 17},
      {52, 20},
      {57, 21},
      {63, 23}}},
    // 16
    {"n",
     6,
     {{10, 4},
      {16, 8},
      {19, 10},
      {23, 12},
      {28, 15},
      {33, 17},
      {39, 20},
      {45, 23},
      {52, 27},
      {60, 31},
      {66, 34},
      {73, 37},
      {80, 40}}},
    // 17
    {"p",
     6,
     {{12, 6},
      {20, 12},
      {24, 15},
      {29, 18},
      {35, 22},
      {42, 26},
      {51, 32},
      {59, 37},
      {68, 43},
      {79, 50},
      {88, 56},
      {98, 62},
      {108, 68}}},
    // 18: js6 is +-IT6/2 without cutting (grade 6).
    {"js",
     6,
     {{3, -3},
      {4, -4},
      {4.5, -4.5},
      {5.5, -5.5},
      {6.5, -6.5},
      {8, -8},
      {9.5, -9.5},
      {11, -11},
      {12.5, -12.5},
      {14.5, -14.5},
      {16, -16},
      {18, -18},
      {20, -20}}},
};

// s6 changes within the main steps: ISO 286-2:2010, by the 25
// intermediate steps.
constexpr double PublishedS6[25][2] = {{20, 14},   {27, 19},   {32, 23},   {39, 28},   {39, 28},
                                       {48, 35},   {48, 35},   {59, 43},   {59, 43},   {72, 53},
                                       {78, 59},   {93, 71},   {101, 79},  {117, 92},  {125, 100},
                                       {133, 108}, {151, 122}, {159, 130}, {169, 140}, {190, 158},
                                       {202, 170}, {226, 190}, {244, 208}, {272, 232}, {292, 252}};

void ExpectLimits(const QString& position, int grade, double diameter, double upper, double lower)
{
    double it = 0;
    double es = 0;
    double ei = 0;
    ASSERT_EQ(IsoStandardTolerance(grade, diameter, it), IsoOk);
    ASSERT_EQ(IsoDeviations(position, grade, diameter, it, es, ei), IsoOk);
    EXPECT_NEAR(es * 1000, upper, 1e-4) << position.toStdString() << grade << " at " << diameter << " mm";
    EXPECT_NEAR(ei * 1000, lower, 1e-4) << position.toStdString() << grade << " at " << diameter << " mm";
}

TEST(UtisotablesTest, HoleAndShaftLimitsAsPublished)
{
    for (const ClassRow& row : PublishedClasses) {
        for (int step = 0; step < 25; ++step) {
            const double* limits = row.Limits[MainOfStep[step]];
            ExpectLimits(QLatin1String(row.Position), row.Grade, StepUpper[step], limits[0], limits[1]);
        }
    }
    for (int step = 0; step < 25; ++step)
        ExpectLimits(QStringLiteral("s"), 6, StepUpper[step], PublishedS6[step][0], PublishedS6[step][1]);
}

TEST(UtisotablesTest, SpecialCasesOfTheHoleRule)
{
    // 1: M6 from 250 to 315 mm: -9/-41 (ISO 286-2; the rule gives -11).
    ExpectLimits(QStringLiteral("M"), 6, 300, -9, -41);
    ExpectLimits(QStringLiteral("M"), 6, 250.5, -9, -41);
    // 2: the exception is M6's only: M8 there is -20 + delta 29 = +9 (/-72).
    ExpectLimits(QStringLiteral("M"), 8, 300, 9, -72);
    // 3: M6 next to the range follows the rule: 315-355 -21 + 11 = -10 (/-46).
    ExpectLimits(QStringLiteral("M"), 6, 320, -10, -46);
    // 4: N9 is -4/-29 up to 3 mm and 0/-30 above (ISO 286-2).
    ExpectLimits(QStringLiteral("N"), 9, 2, -4, -29);
    ExpectLimits(QStringLiteral("N"), 9, 5, 0, -30);
    // 5: K6 up to 3 mm takes no delta: 0/-6.
    ExpectLimits(QStringLiteral("K"), 6, 1, 0, -6);
    // 6: R7 (P to ZC up to grade 7 add delta): 80-100 -51 + 13 = -38 (/-73).
    ExpectLimits(QStringLiteral("R"), 7, 90, -38, -73);
    // 7: H6 at 10 mm: 0/+9.
    ExpectLimits(QStringLiteral("H"), 6, 10, 9, 0);
}

// ---------------------------------------------------------------- ISO 965-2

// Pitch-diameter limits of 6g bolts and 6H nuts, mm: ISO 965-2:1998 limits of sizes
// (coarse and common fine pitches).
struct ThreadRow {
    double D;
    double P;
    double BoltMax, BoltMin; // 6g
    double NutMin, NutMax;   // 6H
};
const ThreadRow PublishedThreads[] = {
    {1.6, 0.35, 1.354, 1.291, 1.373, 1.458},    // 1
    {2, 0.4, 1.721, 1.654, 1.740, 1.830},       // 2
    {2.5, 0.45, 2.188, 2.117, 2.208, 2.303},    // 3
    {3, 0.5, 2.655, 2.580, 2.675, 2.775},       // 4: Td2 75, TD2 100 (formula 80 and 106)
    {3.5, 0.6, 3.089, 3.004, 3.110, 3.222},     // 5
    {4, 0.7, 3.523, 3.433, 3.545, 3.663},       // 6
    {4.5, 0.75, 3.991, 3.901, 4.013, 4.131},    // 7: Td2 90, TD2 118 (formula 95 and 125)
    {5, 0.8, 4.456, 4.361, 4.480, 4.605},       // 8
    {6, 1, 5.324, 5.212, 5.350, 5.500},         // 9
    {6, 0.75, 5.491, 5.391, 5.513, 5.645},      // 10
    {8, 1.25, 7.160, 7.042, 7.188, 7.348},      // 11
    {8, 1, 7.324, 7.212, 7.350, 7.500},         // 12
    {10, 1.5, 8.994, 8.862, 9.026, 9.206},      // 13
    {10, 1.25, 9.160, 9.042, 9.188, 9.348},     // 14
    {10, 1, 9.324, 9.212, 9.350, 9.500},        // 15
    {12, 1.75, 10.829, 10.679, 10.863, 11.063}, // 16
    {12, 1.5, 10.994, 10.854, 11.026, 11.216},  // 17
    {12, 1.25, 11.160, 11.028, 11.188, 11.368}, // 18
    {14, 2, 12.663, 12.503, 12.701, 12.913},    // 19
    {14, 1.5, 12.994, 12.854, 13.026, 13.216},  // 20
    {16, 2, 14.663, 14.503, 14.701, 14.913},    // 21
    {16, 1.5, 14.994, 14.854, 15.026, 15.216},  // 22
    {18, 1.5, 16.994, 16.854, 17.026, 17.216},  // 23
    {20, 2.5, 18.334, 18.164, 18.376, 18.600},  // 24
    {20, 1.5, 18.994, 18.854, 19.026, 19.216},  // 25
    {22, 2.5, 20.334, 20.164, 20.376, 20.600},  // 26
    {22, 1.5, 20.994, 20.854, 21.026, 21.216},  // 27
    {24, 3, 22.003, 21.803, 22.051, 22.316},    // 28
    {24, 2, 22.663, 22.493, 22.701, 22.925},    // 29
    {27, 3, 25.003, 24.803, 25.051, 25.316},    // 30
    {27, 2, 25.663, 25.493, 25.701, 25.925},    // 31
    {30, 3.5, 27.674, 27.462, 27.727, 28.007},  // 32
    {30, 2, 28.663, 28.493, 28.701, 28.925},    // 33
    {33, 3.5, 30.674, 30.462, 30.727, 31.007},  // 34
    {33, 2, 31.663, 31.493, 31.701, 31.925},    // 35
    {36, 4, 33.342, 33.118, 33.402, 33.702},    // 36
    {36, 3, 34.003, 33.803, 34.051, 34.316},    // 37
    {39, 4, 36.342, 36.118, 36.402, 36.702},    // 38
    {39, 3, 37.003, 36.803, 37.051, 37.316},    // 39
    {42, 4.5, 39.014, 38.778, 39.077, 39.392},  // 40
    {42, 3, 40.003, 39.803, 40.051, 40.316},    // 41
    {45, 4.5, 42.014, 41.778, 42.077, 42.392},  // 42
    {45, 3, 43.003, 42.803, 43.051, 43.316},    // 43: 45 mm belongs to 22.4-45
    {48, 5, 44.681, 44.431, 44.752, 45.087},    // 44: Td2 250 (formula 265)
    {48, 3, 46.003, 45.791, 46.051, 46.331},    // 45
    {52, 3, 50.003, 49.791, 50.051, 50.331},    // 46
    {56, 5.5, 52.353, 52.088, 52.428, 52.783},  // 47
    {56, 4, 53.342, 53.106, 53.402, 53.717},    // 48
    {60, 5.5, 56.353, 56.088, 56.428, 56.783},  // 49
    {60, 4, 57.342, 57.106, 57.402, 57.717},    // 50
    {64, 6, 60.023, 59.743, 60.103, 60.478},    // 51
    {64, 4, 61.342, 61.106, 61.402, 61.717},    // 52
};

class UtisotablesThreadTest : public CalcTest {};

TEST_F(UtisotablesThreadTest, BoltAndNutLimitsAsPublished)
{
    int row = 0;
    for (const ThreadRow& thread : PublishedThreads) {
        ++row;
        const Outcome bolt = Calc(300, thread.D, thread.P, QStringLiteral("6g"));
        ASSERT_TRUE(bolt.Ok) << "row " << row;
        EXPECT_NEAR(bolt.Result.MaxW, thread.BoltMax, 1e-9) << "row " << row;
        EXPECT_NEAR(bolt.Result.MinW, thread.BoltMin, 1e-9) << "row " << row;
        const Outcome nut = Calc(200, thread.D, thread.P, QStringLiteral("6H"));
        ASSERT_TRUE(nut.Ok) << "row " << row;
        EXPECT_NEAR(nut.Result.MinW, thread.NutMin, 1e-9) << "row " << row;
        EXPECT_NEAR(nut.Result.MaxW, thread.NutMax, 1e-9) << "row " << row;
    }
}

TEST(UtisotablesTest, ThreadDeviationsAndTolerancesAtTheirLimits)
{
    double value = 0;
    // 1: the first tabulated combination: over 0.9 up to 1.4 mm, pitch 0.2,
    // Td2 of grades 3..6 24, 30, 38, 48 um; grades 7 to 9 are not given.
    const int td2[] = {24, 30, 38, 48};
    for (int grade = 3; grade <= 6; ++grade) {
        ASSERT_EQ(IsoThreadTolerance(true, grade, 1.2, 0.2, 1, value), IsoOk);
        EXPECT_NEAR(value, td2[grade - 3] * 0.001, 1e-12);
    }
    EXPECT_EQ(IsoThreadTolerance(true, 7, 1.2, 0.2, 1, value), IsoQualityNotForPosition);
    EXPECT_EQ(IsoThreadTolerance(true, 9, 1.2, 0.2, 1, value), IsoQualityNotForPosition);
    // 2: 1.4 mm belongs to the first range, 1.4001 to the second (Td2(6) 50).
    ASSERT_EQ(IsoThreadTolerance(true, 6, 1.4, 0.2, 1, value), IsoOk);
    EXPECT_NEAR(value, 0.048, 1e-12);
    ASSERT_EQ(IsoThreadTolerance(true, 6, 1.4001, 0.2, 1, value), IsoOk);
    EXPECT_NEAR(value, 0.050, 1e-12);
    // 3: a, b, c, d start at 1 mm pitch (ISO 965-1:1998: a -290 at 1 mm).
    EXPECT_EQ(IsoThreadDeviation(QStringLiteral("a"), 0.8, value), IsoPositionNotAvailable);
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("a"), 1, value), IsoOk);
    EXPECT_NEAR(value, 0.290, 1e-12);
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("a"), 8, value), IsoOk);
    EXPECT_NEAR(value, 0.425, 1e-12);
    // 4: f at 8 mm: 30 + 11 * 8 = 118 (an R40 value).
    ASSERT_EQ(IsoThreadDeviation(QStringLiteral("f"), 8, value), IsoOk);
    EXPECT_NEAR(value, 0.118, 1e-12);
}

} // namespace
