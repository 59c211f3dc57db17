#pragma once
// The buttress calculator: gauge limits of inch buttress threads (gauges to
// BS 1657): group 0 thread plugs (items 0 Go, 1 Not-go, 2 limit) and group 1
// ring gauges and check plugs (0 Go ring, 1 Not-go ring, 2 Go check plug for
// the Go ring, 3 Go check plug for the Not-go ring).
//
// It computes in inches and fills the record in millimetres (the flank
// tolerances TSA1, TSA2 in minutes). A combination of pitch and diameter for
// which the tables give no gauge tolerance, or a pitch too large for the
// diameter (a basic pitch or minor diameter, or a limit, of 0 or below),
// shows message 1169 with caption 1000 "ERROR" and the error icon, and
// leaves the record as it was; a pitch not in the table or a diameter
// over 24 inches returns false without a message (the process windows check
// the diameter before). Otherwise the calling convention is that of
// calc/Ucalcconv.h.
#include "calc/Ucalcconv.h"

class CALIBRETYPE;
struct TOLLERANCE;

// diameter in inches, tpi threads per inch, class2: class 2 ("2A"/"2B"),
// else class 3. The designation reads "2.000000-10.000000-BUTT-2A".
bool CalcButtress(const CALIBRETYPE& type, double diameter, double tpi, bool class2, TCalcText& designation,
                  TOLLERANCE& result);
