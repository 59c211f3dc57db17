#pragma once
// Millimetres in an inch, exactly: the one factor by which the readouts, the
// calculators and the process windows turn inches into millimetres (a
// division by it turns millimetres into inches). Reciprocals fixed as their
// own constants stay where they are used.
constexpr double MmPerInch = 25.4;
