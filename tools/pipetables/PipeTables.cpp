// Generates calc/Ugastables_gen.cpp, the size tables of the GAS pipe thread
// calculators: the basic dimensions of ISO 228-1 (parallel pipe threads) and
// of ISO 7-1 (taper pipe threads, at the gauge plane) with the gauge values
// c4..c7 of the taper gauges.
//
// ISO 228-1:2000, Table 1 (24 sizes, 1/16 to 6)
// - The major diameters d are typed from the table (they are the inch major
//   diameters of the Whitworth pipe series times 25.4, rounded to 0.001 mm;
//   1/16 is 7.723 in the table, 0.304 in would give 7.722).
// - P = 25.4 / n rounded to 0.001 mm (n threads per inch).
// - The thread depth h = 0.640327 P, with P = 25.4 / n unrounded, rounded to
//   0.001 mm; d2 = d - h and d1 = d - 2h. These are the standard's relations
//   d2 = d - 0.640327 P and d1 = d - 1.280654 P with its rounding: the table
//   subtracts the rounded depth (1/2: d - 1.280654 P would give 18.632, the
//   table prints 18.631 = 20.955 - 2 x 1.162).
// - Every derived row is compared with the published d2 and d1 typed below;
//   the program fails when one differs.
//
// ISO 7-1:1994, Table 1 (15 sizes, 1/16 to 6)
// - P, d, d2 and d1 at the gauge plane are those of the same ISO 228-1 size.
// - c6 is the basic gauge length: the number of turns of the table times the
//   unrounded pitch, to 0.001 mm (the table prints it to 0.1 mm: 4.0 ...
//   28.6; checked below).
// - c5 is the gauge length plus the tolerance on the position of the gauge
//   plane, +T1/2: one turn up to 2, one and a half turns from 2 1/2 (the
//   table's 0.9 ... 3.5 mm; checked below).
// - c7 = 0.16 P (0.001 mm).
// - c4 is given only for 1/16, 1/2 and 6; no published source was found for
//   the other sizes, which carry the table's "not available" marker -1.
// - The three rows given in full (1/16, 1/2, 6) are checked against the
//   derived values.
//
// Re-run after changing this file (from the top of the tree, after a build):
//     build/<folder>/tools/pipetables/pipetables calc/Ugastables_gen.cpp
// With no argument the table goes to standard output.
#include "tools/common/TableWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace tablewriter;

struct ParallelSize {
    int Whole, Numerator, Denominator;
    int Tpi;
    double Major;       // d, typed from ISO 228-1 Table 1
    double PublishedD2; // for the check
    double PublishedD1;
};

constexpr ParallelSize ParallelSizes[] = {
    {0, 1, 16, 28, 7.723, 7.142, 6.561},      {0, 1, 8, 28, 9.728, 9.147, 8.566},
    {0, 1, 4, 19, 13.157, 12.301, 11.445},    {0, 3, 8, 19, 16.662, 15.806, 14.950},
    {0, 1, 2, 14, 20.955, 19.793, 18.631},    {0, 5, 8, 14, 22.911, 21.749, 20.587},
    {0, 3, 4, 14, 26.441, 25.279, 24.117},    {0, 7, 8, 14, 30.201, 29.039, 27.877},
    {1, 0, 0, 11, 33.249, 31.770, 30.291},    {1, 1, 8, 11, 37.897, 36.418, 34.939},
    {1, 1, 4, 11, 41.910, 40.431, 38.952},    {1, 1, 2, 11, 47.803, 46.324, 44.845},
    {1, 3, 4, 11, 53.746, 52.267, 50.788},    {2, 0, 0, 11, 59.614, 58.135, 56.656},
    {2, 1, 4, 11, 65.710, 64.231, 62.752},    {2, 1, 2, 11, 75.184, 73.705, 72.226},
    {2, 3, 4, 11, 81.534, 80.055, 78.576},    {3, 0, 0, 11, 87.884, 86.405, 84.926},
    {3, 1, 2, 11, 100.330, 98.851, 97.372},   {4, 0, 0, 11, 113.030, 111.551, 110.072},
    {4, 1, 2, 11, 125.730, 124.251, 122.772}, {5, 0, 0, 11, 138.430, 136.951, 135.472},
    {5, 1, 2, 11, 151.130, 149.651, 148.172}, {6, 0, 0, 11, 163.830, 162.351, 160.872},
};

struct TaperSize {
    int Parallel;           // index of the same size in ParallelSizes
    double GaugeTurns;      // basic gauge length in turns (ISO 7-1 Table 1)
    double PublishedLength; // basic gauge length, mm, as the table prints it
    double PositionTurns;   // tolerance +-T1/2 on the gauge plane, turns
    double PublishedT1;     // T1/2 in mm as printed
    double C4;              // -1 where not available
};

constexpr double NA = -1;
constexpr TaperSize TaperSizes[] = {
    {0, 4.375, 4.0, 1, 0.9, 4.012}, {1, 4.375, 4.0, 1, 0.9, NA},      {2, 4.5, 6.0, 1, 1.3, NA},
    {3, 4.75, 6.4, 1, 1.3, NA},     {4, 4.5, 8.2, 1, 1.8, 8.225},     {6, 5.25, 9.5, 1, 1.8, NA},
    {8, 4.5, 10.4, 1, 2.3, NA},     {10, 5.5, 12.7, 1, 2.3, NA},      {11, 5.5, 12.7, 1, 2.3, NA},
    {13, 6.875, 15.9, 1, 2.3, NA},  {15, 7.5625, 17.5, 1.5, 3.5, NA}, {17, 8.9375, 20.6, 1.5, 3.5, NA},
    {19, 11, 25.4, 1.5, 3.5, NA},   {21, 12.375, 28.6, 1.5, 3.5, NA}, {23, 12.375, 28.6, 1.5, 3.5, 19.382},
};

// Rows given in full (P, d, d2, d1, c4, c5, c6, c7), checked against the
// derived values.
struct GivenRow {
    int Taper;
    double Values[8];
};
constexpr GivenRow GivenRows[] = {
    {0, {0.907, 7.723, 7.142, 6.561, 4.012, 4.876, 3.969, 0.145}},
    {4, {1.814, 20.955, 19.793, 18.631, 8.225, 9.979, 8.164, 0.29}},
    {14, {2.309, 163.83, 162.351, 160.872, 19.382, 32.039, 28.575, 0.369}},
};


// Half up to 0.001 mm, as a count of micrometres (the small offset keeps
// exact halves such as 3.96875 from falling below by representation).
long long Micrometres(double millimetres)
{
    return std::llround(std::floor(millimetres * 1000 + 0.5 + 1e-9));
}

double Round3(double millimetres)
{
    return double(Micrometres(millimetres)) / 1000;
}

bool Same3(double a, double b)
{
    return Micrometres(a) == Micrometres(b);
}

std::string SizeName(int whole, int numerator, int denominator)
{
    std::string name = whole ? std::to_string(whole) : std::string();
    if (denominator) {
        if (!name.empty())
            name += ' ';
        name += std::to_string(numerator) + '/' + std::to_string(denominator);
    }
    return name;
}

struct Basic {
    double P, d, d2, d1;
    double Pitch; // unrounded
};

Basic BasicOf(const ParallelSize& size)
{
    Basic basic;
    basic.Pitch = 25.4 / size.Tpi;
    basic.P = Round3(basic.Pitch);
    const double h = Round3(0.640327 * basic.Pitch);
    basic.d = size.Major;
    basic.d2 = Round3(size.Major - h);
    basic.d1 = Round3(size.Major - 2 * h);
    return basic;
}

std::string Number(double value)
{
    if (value == NA)
        return "-1";
    return Printf("%.3f", value);
}

void Parallel()
{
    Emit("// ISO 228-1:2000 Table 1: size (whole, numerator, denominator), P, d, d2, d1, mm.\n");
    Emit("const TParallelPipeSize ParallelPipeSizeTable[ParallelPipeSizeCount] = {\n");
    for (const ParallelSize& size : ParallelSizes) {
        const Basic basic = BasicOf(size);
        const std::string name = SizeName(size.Whole, size.Numerator, size.Denominator);
        Check(Same3(basic.d2, size.PublishedD2), "ISO 228-1 d2 of " + name);
        Check(Same3(basic.d1, size.PublishedD1), "ISO 228-1 d1 of " + name);
        // The major diameters are the inch values of the pipe series.
        const double inches = std::round(size.Major / 25.4 * 1000) / 1000;
        Check(std::fabs(inches * 25.4 - size.Major) < 0.0015, "inch major diameter of " + name);
        Emit(Printf("    {%d, %d, %d, %s, %s, %s, %s}, // %s\n", size.Whole, size.Numerator, size.Denominator,
                    Number(basic.P).c_str(), Number(basic.d).c_str(), Number(basic.d2).c_str(),
                    Number(basic.d1).c_str(), name.c_str()));
    }
    Emit("};\n\n");
}

void Taper()
{
    Emit("// ISO 7-1:1994 Table 1: size, P, d, d2, d1 at the gauge plane, then c4, c5 (gauge\n"
         "// length plus T1/2), c6 (gauge length), c7 (0.16 P), mm; -1: not available.\n");
    Emit("const TTaperPipeSize TaperPipeSizeTable[TaperPipeSizeCount] = {\n");
    for (size_t i = 0; i < sizeof TaperSizes / sizeof TaperSizes[0]; ++i) {
        const TaperSize& taper = TaperSizes[i];
        const ParallelSize& size = ParallelSizes[taper.Parallel];
        const Basic basic = BasicOf(size);
        const std::string name = SizeName(size.Whole, size.Numerator, size.Denominator);
        const double c6 = Round3(taper.GaugeTurns * basic.Pitch);
        const double c5 = Round3((taper.GaugeTurns + taper.PositionTurns) * basic.Pitch);
        const double c7 = Round3(0.16 * basic.Pitch);
        Check(std::fabs(std::round(c6 * 10) / 10 - taper.PublishedLength) < 1e-9,
              "ISO 7-1 gauge length of " + name);
        Check(std::fabs(std::round(taper.PositionTurns * basic.Pitch * 10) / 10 - taper.PublishedT1) < 1e-9,
              "ISO 7-1 T1/2 of " + name);
        for (const GivenRow& given : GivenRows) {
            if (given.Taper != int(i))
                continue;
            const double derived[8] = {basic.P, basic.d, basic.d2, basic.d1, taper.C4, c5, c6, c7};
            for (int k = 0; k < 8; ++k)
                Check(Same3(derived[k], given.Values[k]),
                      "given row " + name + " value " + std::to_string(k));
        }
        Emit(Printf("    {%d, %d, %d, %s, %s, %s, %s, %s, %s, %s, %s}, // %s\n", size.Whole, size.Numerator,
                    size.Denominator, Number(basic.P).c_str(), Number(basic.d).c_str(),
                    Number(basic.d2).c_str(), Number(basic.d1).c_str(), Number(taper.C4).c_str(),
                    Number(c5).c_str(), Number(c6).c_str(), Number(c7).c_str(), name.c_str()));
    }
    Emit("};\n");
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    Emit("// Generated by tools/pipetables/PipeTables.cpp; do not edit by hand (see that file to re-run).\n");
    Emit("// Pipe size tables of the GAS calculators derived from the basic dimensions of\n"
         "// ISO 228-1 and ISO 7-1; the sources and rules are written in the generator.\n");
    Emit("#include \"calc/Ugastables.h\"\n\n");
    Parallel();
    Taper();
    if (Failures)
        return 2;
    return WriteTable(Out, argc, argv);
}
