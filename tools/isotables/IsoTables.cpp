// Generates calc/Utisotables_gen.cpp, the ISO limit and thread tolerance
// tables of the ISO metric calculator that are derived from the standards'
// rules rather than typed one by one.
//
// ISO 286-1:1988 (limits and fits)
// - Standard tolerances IT1 to IT11: the values of ISO 286-1 Table 1 for the
//   13 main steps up to 500 mm, typed below (IT1 to IT4 are scaled between IT1
//   and IT5 by the standard without a formula; the first step 0-3 mm is
//   tabulated, not computed). For IT5 to IT11 above 3 mm the program also
//   evaluates the standard's formula IT = k * i, i = 0.45 D^(1/3) + 0.001 D
//   (D the geometric mean of the step) with the rounding of Annex A, and lists
//   in the output the cells where the published table departs from it; the
//   published value is the one emitted.
// - IT12 to IT17 follow from the rule that five grades further multiply by
//   ten (IT(n+5) = 10 IT(n)); the published table obeys it exactly.
//   IT17 up to 6 mm is not used by the program ("not available").
// - IT0 (used for gauge tolerances) is the program's own row of values.
// - Delta (the correction of the special rule for holes) is IT(n) - IT(n-1)
//   of the main step holding the intermediate step, grades 3 to 8; in the
//   first step (up to 3 mm) delta is 0 (ISO 286-1 Table 3 applies no delta
//   there: P7 up to 3 mm is -6/-16).
// - Fundamental deviations of shafts a to zc: ISO 286-1 Tables 2 and 3 (the
//   published values, typed below; the standard's Annex formulas reproduce
//   them only up to its historical rounding, so the table is the source).
// - Fundamental deviations of holes, by the rules of ISO 286-1 clause 9:
//   A to H: EI = -es of the same letter; K, M, N up to grade 8 and P to ZC up
//   to grade 7: ES = -ei + delta (delta added by the lookup: kinds 2 to 4);
//   above those grades ES = -ei (general rule); N above grade 8 is 0 above
//   3 mm; J is tabulated by the standard (typed below); JS is symmetric.
//
// ISO 965-1:1998 (general purpose metric screw threads, tolerances)
// - Fundamental deviations by pitch: e and g (G the same magnitude) and h, H
//   are the program's reference rows; a, b, c and d are typed from the
//   published table (defined from 1 mm pitch); f is computed from the
//   standard's formula es = -(30 + 11 P) rounded to the R40 series, from
//   0.35 mm pitch (the published table gives no f below).
// - Pitch-diameter tolerances Td2 (external, grades 3 to 9) and TD2 (internal,
//   grades 4 to 8): Td2(6) = 90 P^0.4 d^0.1 (d the geometric mean of the
//   diameter range, P and d in mm), rounded to the R40 series; the other
//   grades are the grade factors (Td2: 0.5, 0.63, 0.8, 1, 1.25, 1.6, 2;
//   TD2: 0.85, 1.06, 1.32, 1.7, 2.12) times the rounded Td2(6), rounded again.
//   Rounding to R40 picks the nearest term 10^(k/40); below 100 micrometres
//   the rounded values of ISO 3 (R'40) give whole micrometres. Three
//   combinations of the published table do not follow the formula and take
//   their published Td2(6) (listed in PublishedTd2Grade6). Grades 7 are given
//   from 0.35 mm pitch and grades 8 and 9 from 0.8 mm pitch; the others are
//   "not defined" (-1).
//
// Re-run after changing this file (from the top of the tree, after a build):
//     build/<folder>/tools/isotables/isotables calc/Utisotables_gen.cpp
// With no argument the table goes to standard output.
#include "tools/common/TableWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int NA = 32767; // "not available" in the integer tables
constexpr int ND = -1;    // "not defined" in the thread tables

// ---------------------------------------------------------------- ISO 286-1

constexpr int MainStepCount = 13;
constexpr double MainSteps[MainStepCount][2] = {{0, 3},     {3, 6},     {6, 10},   {10, 18},   {18, 30},
                                                {30, 50},   {50, 80},   {80, 120}, {120, 180}, {180, 250},
                                                {250, 315}, {315, 400}, {400, 500}};
constexpr int StepCount = 25;
// Main step holding each intermediate step (0-3, 3-6, 6-10, 10-14, 14-18,
// 18-24, 24-30, 30-40, 40-50, 50-65, 65-80, 80-100, 100-120, 120-140,
// 140-160, 160-180, 180-200, 200-225, 225-250, 250-280, 280-315, 315-355,
// 355-400, 400-450, 450-500).
constexpr int MainOf[StepCount] = {0, 1, 2, 3, 3, 4, 4,  5,  5,  6,  6,  7, 7,
                                   8, 8, 8, 9, 9, 9, 10, 10, 11, 11, 12, 12};

// IT0 in tenths of a micrometre: the program's gauge-tolerance row.
constexpr int It0Tenths[MainStepCount] = {5, 6, 6, 8, 10, 10, 12, 15, 20, 30, 40, 50, 60};
// ISO 286-1:1988 Table 1, IT1 to IT4, tenths of a micrometre.
constexpr int It1To4Tenths[4][MainStepCount] = {
    {8, 10, 10, 12, 15, 15, 20, 25, 35, 45, 60, 70, 80},
    {12, 15, 15, 20, 25, 25, 30, 40, 50, 70, 80, 90, 100},
    {20, 25, 25, 30, 40, 40, 50, 60, 80, 100, 120, 130, 150},
    {30, 40, 40, 50, 60, 70, 80, 100, 120, 140, 160, 180, 200},
};
// ISO 286-1:1988 Table 1, IT5 to IT11, micrometres.
constexpr int It5To11[7][MainStepCount] = {
    {4, 5, 6, 8, 9, 11, 13, 15, 18, 20, 23, 25, 27},
    {6, 8, 9, 11, 13, 16, 19, 22, 25, 29, 32, 36, 40},
    {10, 12, 15, 18, 21, 25, 30, 35, 40, 46, 52, 57, 63},
    {14, 18, 22, 27, 33, 39, 46, 54, 63, 72, 81, 89, 97},
    {25, 30, 36, 43, 52, 62, 74, 87, 100, 115, 130, 140, 155},
    {40, 48, 58, 70, 84, 100, 120, 140, 160, 185, 210, 230, 250},
    {60, 75, 90, 110, 130, 160, 190, 220, 250, 290, 320, 360, 400},
};
// Multiples of the tolerance factor i for IT5 to IT11.
constexpr int ItFactor[7] = {7, 10, 16, 25, 40, 64, 100};

// Shaft fundamental deviations, ISO 286-1:1988 Tables 2 and 3, micrometres:
// the upper deviation es for a to h, the lower deviation ei for j to zc.
struct ShaftRow {
    const char* Name;
    int Values[StepCount];
};
const ShaftRow Shafts[] = {
    {"a", {-270, -270, -280, -290, -290, -300, -300, -310,  -320,  -340,  -360,  -380, -410,
           -460, -520, -580, -660, -740, -820, -920, -1050, -1200, -1350, -1500, -1650}},
    {"b", {-140, -140, -150, -150, -150, -160, -160, -170, -180, -190, -200, -220, -240,
           -260, -280, -310, -340, -380, -420, -480, -540, -600, -680, -760, -840}},
    {"c", {-60,  -70,  -80,  -95,  -95,  -110, -110, -120, -130, -140, -150, -170, -180,
           -200, -210, -230, -240, -260, -280, -300, -330, -360, -400, -440, -480}},
    {"cd",
     {-34, -46, -56, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"d", {-20,  -30,  -40,  -50,  -50,  -65,  -65,  -80,  -80,  -100, -100, -120, -120,
           -145, -145, -145, -170, -170, -170, -190, -190, -210, -210, -230, -230}},
    {"e", {-14, -20, -25, -32,  -32,  -40,  -40,  -50,  -50,  -60,  -60,  -72, -72,
           -85, -85, -85, -100, -100, -100, -110, -110, -125, -125, -135, -135}},
    {"ef",
     {-10, -14, -18, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"f", {-6,  -10, -13, -16, -16, -20, -20, -25, -25, -30, -30, -36, -36,
           -43, -43, -43, -50, -50, -50, -56, -56, -62, -62, -68, -68}},
    {"fg",
     {-4, -6, -8, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"g", {-2,  -4,  -5,  -6,  -6,  -7,  -7,  -9,  -9,  -10, -10, -12, -12,
           -14, -14, -14, -15, -15, -15, -17, -17, -18, -18, -20, -20}},
    {"h", {0}},
    {"j5", {-2,  -2,  -2,  -3,  -3,  -4,  -4,  -5,  -5,  -7,  -7,  -9, -9,
            -11, -11, -11, -13, -13, -13, -16, -16, -18, -18, -20, -20}},
    {"j7", {-4,  -4,  -5,  -6,  -6,  -8,  -8,  -10, -10, -12, -12, -15, -15,
            -18, -18, -18, -21, -21, -21, -26, -26, -28, -28, -32, -32}},
    {"j8",
     {-6, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"k4", {0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 5, 5}},
    {"k", {0}},
    {"m", {2, 4, 6, 7, 7, 8, 8, 9, 9, 11, 11, 13, 13, 15, 15, 15, 17, 17, 17, 20, 20, 21, 21, 23, 23}},
    {"n", {4, 8, 10, 12, 12, 15, 15, 17, 17, 20, 20, 23, 23, 27, 27, 27, 31, 31, 31, 34, 34, 37, 37, 40, 40}},
    {"p",
     {6, 12, 15, 18, 18, 22, 22, 26, 26, 32, 32, 37, 37, 43, 43, 43, 50, 50, 50, 56, 56, 62, 62, 68, 68}},
    {"r", {10, 15, 19, 23, 23, 28, 28, 34, 34,  41,  43,  51, 54,
           63, 65, 68, 77, 80, 84, 94, 98, 108, 114, 126, 132}},
    {"s", {14, 19,  23,  28,  28,  35,  35,  43,  43,  53,  59,  71, 79,
           92, 100, 108, 122, 130, 140, 158, 170, 190, 208, 232, 252}},
    {"t", {NA,  NA,  NA,  NA,  NA,  NA,  41,  48,  54,  66,  75,  91, 104,
           122, 134, 146, 166, 180, 196, 218, 240, 268, 294, 330, 360}},
    {"u", {18,  23,  28,  33,  33,  41,  48,  60,  70,  87,  102, 124, 144,
           170, 190, 210, 236, 258, 284, 315, 350, 390, 435, 490, 540}},
    {"v", {NA,  NA,  NA,  NA,  39,  47,  55,  68,  81,  102, 120, 146, 172,
           202, 228, 252, 284, 310, 340, 385, 425, 475, 530, 595, 660}},
    {"x", {20,  28,  34,  40,  45,  54,  64,  80,  97,  122, 146, 178, 210,
           248, 280, 310, 350, 385, 425, 475, 525, 590, 660, 740, 820}},
    {"y", {NA,  NA,  NA,  NA,  NA,  63,  75,  94,  114, 144, 174, 214, 254,
           300, 340, 380, 425, 470, 520, 580, 650, 730, 820, 920, 1000}},
    {"z", {26,  35,  42,  50,  60,  73,  88,  112, 136, 172,  210,  258, 310,
           365, 415, 465, 520, 575, 640, 710, 790, 900, 1000, 1100, 1250}},
    {"za", {32,  42,  52,  64,  77,  98,  118, 148,  180,  226,  274,  335, 400,
            470, 535, 600, 670, 740, 820, 920, 1000, 1150, 1300, 1450, 1600}},
    {"zb", {40,  50,  67,  90,  108, 136,  160,  200,  242,  300,  360,  445, 525,
            620, 700, 780, 880, 960, 1050, 1200, 1300, 1500, 1650, 1850, 2100}},
    {"zc", {60,  80,  97,   130,  150,  188,  218,  274,  325,  405,  480,  585, 690,
            800, 900, 1000, 1150, 1250, 1350, 1550, 1700, 1900, 2100, 2400, 2600}},
};

// Hole J, upper deviation ES: tabulated by ISO 286-1:1988 Table 3.
const ShaftRow HoleJ[] = {
    {"J6", {2, 5, 5, 6, 6, 8, 8, 10, 10, 13, 13, 16, 16, 18, 18, 18, 22, 22, 22, 25, 25, 29, 29, 33, 33}},
    {"J7", {4, 6, 8, 10, 10, 12, 12, 14, 14, 18, 18, 22, 22, 26, 26, 26, 30, 30, 30, 36, 36, 39, 39, 43, 43}},
    {"J8",
     {6, 10, 12, 15, 15, 20, 20, 24, 24, 28, 28, 34, 34, 41, 41, 41, 47, 47, 47, 55, 55, 60, 60, 66, 66}},
};

// ---------------------------------------------------------------- ISO 965-1

constexpr int PitchCount = 25;
constexpr double Pitches[PitchCount] = {0.2, 0.25, 0.3, 0.35, 0.4, 0.45, 0.5, 0.6, 0.7, 0.75, 0.8, 1, 1.25,
                                        1.5, 1.75, 2,   2.5,  3,   3.5,  4,   4.5, 5,   5.5,  6,   8};
// Magnitudes of the fundamental deviations, micrometres, -1 not defined.
constexpr int ThreadA[PitchCount] = {ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  290, 295,
                                     300, 310, 315, 325, 335, 345, 355, 365, 375, 385, 395, 425};
constexpr int ThreadB[PitchCount] = {ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  200, 205,
                                     212, 220, 225, 235, 245, 255, 265, 280, 290, 300, 310, 340};
constexpr int ThreadC[PitchCount] = {ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  130, 135,
                                     140, 145, 150, 160, 170, 180, 190, 200, 212, 224, 236, 265};
constexpr int ThreadD[PitchCount] = {ND, ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  ND,  85, 90,
                                     95, 100, 105, 110, 115, 125, 130, 135, 140, 150, 155, 180};
constexpr int ThreadE[PitchCount] = {45, 45, 46, 46, 48, 48, 50, 53,  56,  56,  60,  60, 63,
                                     67, 71, 71, 80, 85, 90, 95, 100, 106, 112, 118, 140};
constexpr int ThreadG[PitchCount] = {17, 18, 18, 19, 19, 20, 20, 21, 22, 22, 24, 26, 28,
                                     32, 34, 38, 42, 48, 53, 60, 63, 71, 75, 80, 100};
constexpr double FirstPitchOfF = 0.35;

// Diameter ranges of the Td2 and TD2 tables (mm) with the pitches tabulated
// in each. The table's first lower bound is 0.9 mm; the formula takes the
// standard's 0.99 mm for the geometric mean.
struct ThreadRange {
    double Over;
    double UpTo;
    std::vector<double> Pitches;
};
const ThreadRange ThreadRanges[] = {
    {0.9, 1.4, {0.2, 0.25, 0.3}},
    {1.4, 2.8, {0.2, 0.25, 0.35, 0.4, 0.45}},
    {2.8, 5.6, {0.35, 0.5, 0.6, 0.7, 0.75, 0.8}},
    {5.6, 11.2, {0.75, 1, 1.25, 1.5}},
    {11.2, 22.4, {1, 1.25, 1.5, 1.75, 2, 2.5}},
    {22.4, 45, {1, 1.5, 2, 3, 3.5, 4, 4.5}},
    {45, 90, {1.5, 2, 3, 4, 5, 5.5, 6}},
    {90, 180, {2, 3, 4, 6, 8}},
    {180, 355, {3, 4, 6, 8}},
};
// Published Td2(6) where the table departs from the formula (micrometres),
// confirmed by the ISO 965-2 limits of M3, M4 and M5 x 0.5 (75), M4.5 x 0.75
// (90) and M48 x 5 (250).
struct PublishedGrade6 {
    double Over;
    double Pitch;
    int Td2;
};
constexpr PublishedGrade6 PublishedTd2Grade6[] = {{2.8, 0.5, 75}, {2.8, 0.75, 90}, {45, 5, 250}};

constexpr double ExternalFactors[7] = {0.5, 0.63, 0.8, 1, 1.25, 1.6, 2}; // grades 3..9
constexpr double InternalFactors[5] = {0.85, 1.06, 1.32, 1.7, 2.12};     // grades 4..8

// ISO 3 R40 series and its rounded values R'40 (one decade, x 100).
constexpr int R40[40] = {100, 106, 112, 118, 125, 132, 140, 150, 160, 170, 180, 190, 200, 212,
                         224, 236, 250, 265, 280, 300, 315, 335, 355, 375, 400, 425, 450, 475,
                         500, 530, 560, 600, 630, 670, 710, 750, 800, 850, 900, 950};
constexpr int R40Rounded[40] = {100, 105, 110, 120, 125, 130, 140, 150, 160, 170, 180, 190, 200, 210,
                                220, 240, 250, 260, 280, 300, 320, 340, 360, 380, 400, 420, 450, 480,
                                500, 530, 560, 600, 630, 670, 710, 750, 800, 850, 900, 950};

// The R40 term nearest to v (by logarithm), in whole micrometres; values
// below 100 take the rounded series so that they are whole micrometres.
int RoundR40(double v)
{
    const long n = std::lround(40.0 * std::log10(v));
    const long decade = n / 40;
    const long index = n % 40;
    if (decade >= 2) {
        long value = R40[index];
        for (long d = 2; d < decade; ++d)
            value *= 10;
        return int(value);
    }
    if (decade != 1 || R40Rounded[index] % 10 != 0) {
        std::fprintf(stderr, "R40 value of %g is not a whole micrometre\n", v);
        std::exit(1);
    }
    return R40Rounded[index] / 10;
}

// ISO 286-1 Annex A rounding of computed standard tolerances (up to 500 mm).
int RoundIt(double v)
{
    const double steps[][2] = {{100, 1}, {200, 5}, {500, 10}, {1000, 20}, {2000, 50}, {5000, 100}};
    for (const auto& step : steps) {
        if (v <= step[0])
            return int(step[1] * std::floor(v / step[1] + 0.5));
    }
    return int(200 * std::floor(v / 200 + 0.5));
}

// ---------------------------------------------------------------- output

using namespace tablewriter;

char Line[512];

// One brace-enclosed row; rows longer than 13 values continue on a second line.
void EmitRow(const int* values, int count, const char* indent = "    ")
{
    Out += indent;
    Out += "{";
    for (int i = 0; i < count; ++i) {
        const char* separator = i == 0 ? "" : (i == 13 ? ",\n        " : ", ");
        std::snprintf(Line, sizeof Line, "%s%d", separator, values[i]);
        Out += Line;
    }
    Out += "},\n";
}

std::string Upper(const std::string& name)
{
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return upper;
}

// Name of the value array of a row: "Shaft" or "Hole" and the name in capitals.
std::string Identifier(const std::string& name)
{
    const bool shaft = name[0] >= 'a' && name[0] <= 'z';
    return (shaft ? "Shaft" : "Hole") + Upper(name);
}

// ---------------------------------------------------------------- tables

void StandardTolerances()
{
    int it[18][MainStepCount]; // micrometres, IT1..IT17 (index = grade)
    for (int g = 5; g <= 11; ++g)
        for (int s = 0; s < MainStepCount; ++s)
            it[g][s] = It5To11[g - 5][s];
    for (int g = 12; g <= 17; ++g)
        for (int s = 0; s < MainStepCount; ++s)
            it[g][s] = 10 * it[g - 5][s];
    for (int s = 0; s < 2; ++s)
        it[17][s] = NA;

    Emit("// Standard tolerances IT4 to IT17, micrometres, by the 13 main steps (ISO 286-1:1988\n"
         "// Table 1; IT12 to IT17 as ten times IT7 to IT12). IT17 up to 6 mm is not used.\n");
    std::string differences;
    for (int g = 5; g <= 11; ++g) {
        for (int s = 1; s < MainStepCount; ++s) {
            const double d = std::sqrt(MainSteps[s][0] * MainSteps[s][1]);
            const double i = 0.45 * std::cbrt(d) + 0.001 * d;
            const int computed = RoundIt(ItFactor[g - 5] * i);
            if (computed != it[g][s]) {
                std::snprintf(Line, sizeof Line, "//   IT%d %g-%g mm: table %d, formula %d\n", g,
                              MainSteps[s][0], MainSteps[s][1], it[g][s], computed);
                differences += Line;
            }
        }
    }
    Emit("// Cells where the table departs from k * i with the Annex A rounding (table kept):\n");
    Emit(differences.c_str());
    Emit("const int16_t IsoStandardToleranceTable[14][13] = {\n");
    for (int g = 4; g <= 17; ++g) {
        int row[MainStepCount];
        for (int s = 0; s < MainStepCount; ++s)
            row[s] = g == 4 ? It1To4Tenths[3][s] / 10 : it[g][s];
        EmitRow(row, MainStepCount);
    }
    Emit("};\n\n");

    Emit("// Gauge tolerances IT0 to IT7, tenths of a micrometre, by the 13 main steps (IT0 the\n"
         "// program's values, IT1 to IT7 as above).\n");
    Emit("const int16_t IsoGaugeToleranceTable[8][13] = {\n");
    EmitRow(It0Tenths, MainStepCount);
    for (int g = 1; g <= 7; ++g) {
        int row[MainStepCount];
        for (int s = 0; s < MainStepCount; ++s)
            row[s] = g <= 4 ? It1To4Tenths[g - 1][s] : it[g][s] * 10;
        EmitRow(row, MainStepCount);
    }
    Emit("};\n\n");

    Emit("// Delta of the special rule for holes, grades 3 to 8, tenths of a micrometre, by the\n"
         "// 25 intermediate steps: IT(n) - IT(n-1) of the main step; 0 up to 3 mm.\n");
    Emit("const int16_t IsoDeltaTable[6][25] = {\n");
    for (int g = 3; g <= 8; ++g) {
        int row[StepCount];
        for (int s = 0; s < StepCount; ++s) {
            const int m = MainOf[s];
            auto tenths = [&](int grade) {
                return grade <= 4 ? It1To4Tenths[grade - 1][m] : it[grade][m] * 10;
            };
            row[s] = s == 0 ? 0 : tenths(g) - tenths(g - 1);
        }
        EmitRow(row, StepCount);
    }
    Emit("};\n\n");
}

const ShaftRow& Shaft(const char* name)
{
    for (const ShaftRow& row : Shafts)
        if (std::string(row.Name) == name)
            return row;
    std::fprintf(stderr, "no shaft row %s\n", name);
    std::exit(1);
}

void EmitValues(const std::string& name, const int* values)
{
    std::snprintf(Line, sizeof Line, "const int16_t Dev%s[25] = ", Identifier(name).c_str());
    Out += Line;
    EmitRow(values, StepCount, "");
    Out.back() = '\n';
    Out[Out.size() - 2] = ';';
}

void Deviations()
{
    Emit("// Fundamental deviations, micrometres, by the 25 intermediate steps (32767: not\n"
         "// available). Shafts a to zc: ISO 286-1:1988 Tables 2 and 3 (es for a to h, ei\n"
         "// for j to zc). Holes: A to H = -es, K to ZC = -ei (delta added by the lookup),\n"
         "// J tabulated, N above grade 8 = 0 above 3 mm.\n");
    Emit("namespace {\n\n");
    for (const ShaftRow& row : Shafts)
        EmitValues(row.Name, row.Values);
    for (const ShaftRow& row : HoleJ)
        EmitValues(row.Name, row.Values);
    const char* negated[] = {"a", "b", "c", "cd", "d", "e", "ef", "f", "fg", "g", "h",  "k4", "k", "m",
                             "n", "p", "r", "s",  "t", "u", "v",  "x", "y",  "z", "za", "zb", "zc"};
    for (const char* name : negated) {
        const ShaftRow& shaft = Shaft(name);
        int values[StepCount];
        for (int s = 0; s < StepCount; ++s)
            values[s] = shaft.Values[s] == NA ? NA : -shaft.Values[s];
        EmitValues(Upper(name), values);
    }
    int n9[StepCount] = {-4};
    EmitValues("N9", n9);
    Emit("\n} // namespace\n\n");

    struct Row {
        const char* Position;
        int Low, High;
        const char* Values; // null: symmetric
        int Kind;
        char Side;
    };
    const Row rows[] = {
        {"A", 0, 99, "A", 0, 'I'},   {"B", 0, 99, "B", 0, 'I'}, {"C", 0, 99, "C", 0, 'I'},
        {"CD", 0, 99, "CD", 0, 'I'}, {"D", 0, 99, "D", 0, 'I'}, {"E", 0, 99, "E", 0, 'I'},
        {"EF", 0, 99, "EF", 0, 'I'}, {"F", 0, 99, "F", 0, 'I'}, {"FG", 0, 99, "FG", 0, 'I'},
        {"G", 0, 99, "G", 0, 'I'},   {"H", 0, 99, "H", 0, 'I'}, {"JS", 0, 99, nullptr, 1, 'S'},
        {"J", 6, 6, "J6", 0, 'S'},   {"J", 7, 7, "J7", 0, 'S'}, {"J", 8, 8, "J8", 0, 'S'},
        {"K", 0, 8, "K4", 3, 'S'},   {"K", 9, 99, "K", 0, 'S'}, {"M", 0, 8, "M", 4, 'S'},
        {"M", 9, 99, "M", 0, 'S'},   {"N", 0, 8, "N", 3, 'S'},  {"N", 9, 99, "N9", 0, 'S'},
    };
    const char* upper[] = {"P", "R", "S", "T", "U", "V", "X", "Y", "Z", "ZA", "ZB", "ZC"};
    const char* lower[] = {"a", "b", "c", "cd", "d", "e", "ef", "f", "fg", "g", "h"};
    const char* shaftsI[] = {"m", "n", "p", "r", "s", "t", "u", "v", "x", "y", "z", "za", "zb", "zc"};
    std::vector<Row> all(std::begin(rows), std::end(rows));
    for (const char* p : upper)
        all.push_back({p, 0, 7, p, 2, 'S'});
    for (const char* p : upper)
        all.push_back({p, 8, 99, p, 0, 'S'});
    for (const char* p : lower)
        all.push_back({p, 0, 99, p, 0, 'S'});
    all.push_back({"js", 0, 99, nullptr, 1, 'I'});
    all.push_back({"j", 5, 6, "j5", 0, 'I'});
    all.push_back({"j", 7, 7, "j7", 0, 'I'});
    all.push_back({"j", 8, 8, "j8", 0, 'I'});
    all.push_back({"k", 4, 7, "k4", 0, 'I'});
    all.push_back({"k", 0, 99, "k", 0, 'I'});
    for (const char* p : shaftsI)
        all.push_back({p, 0, 99, p, 0, 'I'});
    if (all.size() != 76) {
        std::fprintf(stderr, "%zu deviation rows instead of 76\n", all.size());
        std::exit(1);
    }
    Emit("// The rows in search order: the first whose position and grade range match.\n");
    Emit("const TIsoDeviationRow IsoDeviationRows[IsoDeviationRowCount] = {\n");
    for (const Row& row : all) {
        std::snprintf(Line, sizeof Line, "    {\"%s\", %d, %d, %s%s, %d, '%c'},\n", row.Position, row.Low,
                      row.High, row.Values ? "Dev" : "nullptr",
                      row.Values ? Identifier(row.Values).c_str() : "", row.Kind, row.Side);
        Out += Line;
    }
    Emit("};\n\n");
}

void ThreadDeviations()
{
    int f[PitchCount];
    for (int i = 0; i < PitchCount; ++i)
        f[i] = Pitches[i] < FirstPitchOfF - 1e-9 ? ND : RoundR40(30 + 11 * Pitches[i]);
    int zero[PitchCount] = {};
    const int* rows[10] = {ThreadA, ThreadB, ThreadC, ThreadD, ThreadE, f, ThreadG, zero, ThreadG, zero};
    Emit("// Thread fundamental deviations (magnitudes), micrometres, by position a, b, c, d, e,\n"
         "// f, g, h, G, H and the 25 pitches of IsoThreadPitches (-1: not defined). a to d:\n"
         "// ISO 965-1:1998 fundamental deviations; f: -(30 + 11 P) rounded to R40; e, g, G, h, H: the\n"
         "// program's reference rows.\n");
    Emit("const int16_t IsoThreadDeviationTable[10][25] = {\n");
    for (const int* row : rows)
        EmitRow(row, PitchCount);
    Emit("};\n\n");
}

int Grade6(const ThreadRange& range, double pitch)
{
    for (const PublishedGrade6& published : PublishedTd2Grade6)
        if (published.Over == range.Over && published.Pitch == pitch)
            return published.Td2;
    const double over = range.Over < 0.99 ? 0.99 : range.Over;
    const double d = std::sqrt(over * range.UpTo);
    return RoundR40(90 * std::pow(pitch, 0.4) * std::pow(d, 0.1));
}

void ThreadTolerances(bool external)
{
    const int grades = external ? 7 : 5;
    const int firstGrade = external ? 3 : 4;
    const double* factors = external ? ExternalFactors : InternalFactors;
    std::vector<std::string> lines;
    for (const ThreadRange& range : ThreadRanges) {
        for (double pitch : range.Pitches) {
            const int base = Grade6(range, pitch);
            int values[7] = {ND, ND, ND, ND, ND, ND, ND};
            for (int i = 0; i < grades; ++i) {
                const int grade = firstGrade + i;
                if (grade == 7 && pitch < 0.35 - 1e-9)
                    continue;
                if (grade >= 8 && pitch < 0.8 - 1e-9)
                    continue;
                values[i] = (external && grade == 6) ? base : RoundR40(factors[i] * base);
            }
            std::string text;
            std::snprintf(Line, sizeof Line, "    {%d, %d, %d, {", int(std::lround(range.Over * 10)),
                          int(std::lround(range.UpTo * 10)), int(std::lround(pitch * 1000)));
            text = Line;
            for (int i = 0; i < 7; ++i) {
                std::snprintf(Line, sizeof Line, "%s%d", i ? ", " : "", values[i]);
                text += Line;
            }
            text += "}},\n";
            lines.push_back(text);
        }
    }
    if (external) {
        Emit("// Pitch-diameter tolerances of external threads Td2, grades 3 to 9, micrometres\n"
             "// (-1: not defined); diameter over and up to in tenths of a millimetre, pitch in\n"
             "// micrometres (ISO 965-1:1998, computed as the generator says).\n");
        Emit("const TIsoThreadToleranceRow IsoExternalThreadTolerances[] = {\n");
    } else {
        Emit("// Pitch-diameter tolerances of internal threads TD2, grades 4 to 8 in the first five\n"
             "// places, micrometres (-1: not defined), as above.\n");
        Emit("const TIsoThreadToleranceRow IsoInternalThreadTolerances[] = {\n");
    }
    for (const std::string& line : lines)
        Out += line;
    Emit("};\n");
    std::snprintf(Line, sizeof Line, "const int Iso%sThreadToleranceCount = %zu;\n\n",
                  external ? "External" : "Internal", lines.size());
    Out += Line;
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    Emit("// Generated by tools/isotables/IsoTables.cpp; do not edit by hand (see that file to re-run).\n");
    Emit("// ISO limit and thread tolerance tables of the ISO metric calculator derived from\n"
         "// the standards' rules; the sources and rules are written in the generator.\n");
    Emit("#include \"calc/Utisotables.h\"\n\n");
    StandardTolerances();
    Deviations();
    ThreadDeviations();
    ThreadTolerances(true);
    ThreadTolerances(false);
    return WriteTable(Out, argc, argv);
}
