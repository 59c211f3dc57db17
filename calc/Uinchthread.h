#pragma once
// The request of the inch thread calculators: which unified inch size,
// series, pitch and class was chosen, for which gauge type. The inch thread
// wizard fills it page by page and keeps it for the whole run; the process
// windows copy the current gauge type into it and hand it to CalcUnSeries,
// CalcUnsSpecial or CalcPipeThread (calc/Utansiasme.h). It has no operations
// of its own. Lengths in inches.
#include "app/core/Ucalibretype.h"

#include <QString>

struct INCHTHREAD {
    // Most characters UnsDiameterText keeps (an 80-byte buffer with its
    // terminator).
    static constexpr int UnsDiameterTextCapacity = 79;

    int DiameterGroup = 0;   // whole-inch part of the size, 0..6
    int Numerator = 0;       // fraction of the size; a numbered size (Denominator 0) keeps its number here
    int Denominator = 0;     // 0 numbered size, 1 whole inch (Numerator 0), else 2..16
    int GroupFirstRow = 0;   // first row of DiameterGroup in the wizard's size table
    int SizeIndex = 0;       // row of the size inside its group
    int Series = 0;          // 0 UNC, 1 UNF, 2 UNEF, 3..8 constant pitch (UN), entry Series - 3 of the row
    double Diameter = 0;     // basic major diameter, in; UNS: the nominal diameter of the size table
    double Tpi = 0;          // threads per inch
    int ToleranceClass = 0;  // 0, 1, 2: class 1, 2, 3 (A external, B internal)
    CALIBRETYPE GaugeType;   // its Group and Item select the calculation
    double UnsDiameter = 0;  // UNS: the diameter as typed, in
    QString UnsDiameterText; // UNS: the typed diameter text, rewritten to its number
};
