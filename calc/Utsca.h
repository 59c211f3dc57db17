#pragma once
// The spline calculator: limits of the gauges for involute splines to
// DIN 5480 (catalogue family 2): Go, No-go and limit plugs for hubs and rings
// for shafts (group 0), and the setting rings and check plugs of those
// gauges (group 1).
//
// Input: reference diameter and module (a typed tolerance is checked against
// the size table), and the tolerance: quality 4..12 (or none), a position
// letter and LQ 2..4. Output: the record, the class text and a designation
// such as "GD 25 X 1.25 X 9H-LQ3". Lengths in millimetres. The calling
// convention is that of calc/Ucalcconv.h; the messages are 1056 (size not
// in the table) and 1057 (tolerance not valid).
#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"
#include "calc/Utscatables.h"

#include <QChar>
#include <QString>

class CALIBRETYPE;

// The entry for a typed tolerance ("9-H-3"; a Go gauge also takes "H-3").
bool CalcSplineDin5480(double diameter, double module, const TCalcText& tolerance, TCalcText& classText,
                       TCalcText& designation, const CALIBRETYPE& type, TOLLERANCE& result);
// The calculation proper, with the spline wizard's choice: quality -1 for
// none, position the shaft or hub letter.
bool CalcSplineDin5480Limits(int quality, int lq, QChar position, double diameter, double module,
                             const TCalcText& tolerance, TCalcText& classText, TCalcText& designation,
                             const CALIBRETYPE& type, TOLLERANCE& result);

// 0 and the row when the module is in the table (within 0.0001) and the
// diameter is one of its rows; 1 when the module is not in the table; 2
// when the diameter is not a row of that module.
int FindSplineSize(double diameter, double module, TSplineSizeRow& row);
// Quality, position and LQ from a tolerance text by the gauge type: upper
// case for the gauges of hubs (keys 0-2, 100, 101), lower case for those of
// shafts (3, 4, 102, 103). Fields separated by "-": quality (not for Go
// gauges typed without it), position letter, LQ. false when a field or
// number is missing, or for a role other than Go, No-go and limit.
bool ParseSplineTolerance(const QString& text, const CALIBRETYPE& type, int& quality, QChar& position,
                          int& lq);
// Size index 0..8 from the module band and the diameter range, -1 when the
// module or diameter is in none.
int SplineSizeIndex(double module, double diameter);
// Deviation of the position, and T1, T2 of the quality (-1 for quality -1),
// mm; false for a size, position or quality not in the tables. Outputs are
// -1 until set.
bool LookupSplineTolerance(double module, double diameter, int quality, QChar position, double& t1,
                           double& t2, double& deviation);
// The LQ gauge values a and b, mm; false for a size not in the tables or an
// LQ outside 2..4. Outputs are -1 until set.
bool LookupSplineLq(double module, double diameter, int lq, double& a, double& b);
