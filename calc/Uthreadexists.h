#pragma once
// Whether the thread a calculator was asked for can exist. A pitch too large
// for its diameter gives a basic pitch or minor diameter of 0 or below, and
// limits below 0: there is no such thread, so the calculators that take a
// typed diameter and pitch (ISO metric, UNS, Whitworth, buttress) refuse it
// with their message for a pitch not available for the diameter instead of
// computing it. Plain gauges and splines have no pitch and are not checked.
#include "calc/Utollerance.h"

// true when both basic diameters of the thread are above 0 (false for a
// value that is no number).
bool ThreadBasicsExist(double pitchDiameter, double minorDiameter);

// true for a limit diameter a calculation set below 0. The markers of the
// records are no limits: 0 (not computed) and the empty value (does not
// apply) give false.
bool IsImpossibleDiameter(double value);

// true when no limit diameter of the record is impossible: the Go and No-go
// minor, pitch and major diameter limits with their worn and mean values,
// the workpiece limits and the drilling diameter. The pitch tolerance, the
// angle tolerances and the measuring heights are no diameters.
bool LimitDiametersExist(const TOLLERANCE& record);
