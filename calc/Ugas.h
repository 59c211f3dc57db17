#pragma once
// The GAS pipe thread calculators: gauges for taper pipe threads to ISO 7
// (catalogue group 0) and parallel pipe threads to ISO 228 (group 1).
//
// The process windows show the pipe-size picker (and, for ISO 228 ring
// gauges, the class picker) first and pass the choice: sizeIndex is the
// index of the first visible, checked size button (-1 when there is none),
// truncateCrests the picker's "Truncate crests" box. All values are
// millimetres. These calculators show no message: on failure they return
// false (an unknown size, a size beyond the last tolerance band) and the
// caller shows nothing. The texts out are the pitch diameter and the pitch
// ("%f"), the flank angle "55" and the designation ("Rc 1/2", "G 1 1/4").
// Otherwise the calling convention is that of calc/Ucalcconv.h.
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"

class CALIBRETYPE;

// ISO 7 gauges by the type's item: 0 taper thread plug, 1 taper thread ring,
// 2 taper thread form check plug, 3 parallel thread ring, 4 parallel thread
// form check ring. HMis1 is the gauge value c4, c5 or c6 of the size; where
// the size table has no c4 it stays empty and the other limits still
// compute.
bool CalcGasTaper(const CALIBRETYPE& type, int sizeIndex, TCalcText& diameter, TCalcText& angle,
                  TCalcText& pitch, TCalcText& designation, TOLLERANCE& result);
// ISO 228 plug gauges, items 0 Go, 1 Not-go, 2 limit.
bool CalcGasParallelPlug(const CALIBRETYPE& type, int sizeIndex, bool truncateCrests, TCalcText& diameter,
                         TCalcText& angle, TCalcText& pitch, TCalcText& designation, TOLLERANCE& result);
// ISO 228 ring gauges and their check gauges, items 3 to 10, class A
// (classA) or class B: 3 Go ring, 4 Not-go ring; the check plugs of the Go
// ring 5 Go, 6 Not-go, 7 wear; those of the Not-go ring 8 Go, 9 Not-go, 10
// wear.
bool CalcGasParallelRing(const CALIBRETYPE& type, int sizeIndex, bool classA, bool truncateCrests,
                         TCalcText& diameter, TCalcText& angle, TCalcText& pitch, TCalcText& designation,
                         TOLLERANCE& result);
