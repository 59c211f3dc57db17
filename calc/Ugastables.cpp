#include "calc/Ugastables.h"

// The gauge tolerances of the program's GAS gauges by size band, as the
// program has always had them. Sizes over 6 inches have no band.
//
// Taper (ISO 7) gauges, set 1, T1..T7 (T4 is not used; T7 in minutes).
const TPipeBand TaperBandSet1[PipeBandCount] = {
    {0.125, {8, 12, 8, 0.134, 14, 8, 15}}, {0.375, {8, 14, 8, 0.198, 21, 8, 13}},
    {0.75, {10, 14, 8, 0.268, 28, 8, 11}}, {2, {12, 18, 10, 0.341, 36, 10, 10}},
    {6, {16, 24, 12, 0.341, 36, 12, 10}},
};
// Set 2, T1'..T3' (its T4..T7 are those of set 1).
const TPipeBand TaperBandSet2[PipeBandCount] = {
    {0.125, {12, 14, 8}}, {0.375, {14, 18, 10}}, {0.75, {14, 24, 12}}, {2, {18, 24, 12}}, {6, {18, 30, 16}},
};
// Parallel (ISO 228) plug gauges, G1..G5; G1 is the pitch-diameter
// tolerance of the internal thread (ISO 228-1 TD2).
const TPipeBand ParallelPlugBands[PipeBandCount] = {
    {0.125, {107, 8, 10, 10, 14}}, {0.375, {125, 8, 10, 10, 14}}, {0.875, {142, 13, 12, 12, 19}},
    {2, {180, 13, 12, 13, 19}},    {6, {217, 18, 15, 17, 23}},
};
// Parallel ring gauges, class A, A1..A8; A1 is the class A pitch-diameter
// tolerance of the external thread (ISO 228-1 Td2).
const TPipeBand ParallelRingBandsA[PipeBandCount] = {
    {0.125, {107, 15, 10, 9, 17, 2, 13, 18}},  {0.375, {125, 15, 10, 9, 17, 2, 13, 18}},
    {0.875, {142, 20, 12, 10, 20, 9, 17, 23}}, {2, {180, 20, 12, 10, 20, 9, 17, 23}},
    {6, {217, 25, 15, 13, 24, 13, 21, 28}},
};
// Class B, B1..B6; B1 is the class B Td2 of ISO 228-1.
const TPipeBand ParallelRingBandsB[PipeBandCount] = {
    {0.125, {214, 25, 15, 13, 24, 21}}, {0.375, {250, 25, 15, 13, 24, 21}},
    {0.875, {284, 25, 15, 13, 24, 21}}, {2, {360, 33, 20, 17, 30, 28}},
    {6, {434, 33, 20, 17, 30, 28}},
};
const TPipeHalfAngleBand ParallelHalfAngleBands[PipeHalfAngleBandCount] = {
    {0.125, 15},
    {0.375, 13},
    {0.875, 11},
    {6, 10},
};

int FindPipeBand(const TPipeBand* bands, double size)
{
    for (int i = 0; i < PipeBandCount; ++i) {
        if (size <= bands[i].Limit)
            return i;
    }
    return -1;
}
