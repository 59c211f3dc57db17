#include "calc/Uthreadexists.h"

bool ThreadBasicsExist(double pitchDiameter, double minorDiameter)
{
    return pitchDiameter > 0 && minorDiameter > 0;
}

bool IsImpossibleDiameter(double value)
{
    return value < 0;
}

bool LimitDiametersExist(const TOLLERANCE& r)
{
    const double diameters[] = {r.MaxPi, r.MinPi, r.MaxP,  r.MinP, r.LogP, r.MedP, r.MaxPe,
                                r.MinPe, r.MaxNi, r.MinNi, r.MaxN, r.MinN, r.LogN, r.MedN,
                                r.MaxNe, r.MinNe, r.MaxW,  r.MinW, r.HoleW};
    for (double value : diameters) {
        if (IsImpossibleDiameter(value))
            return false;
    }
    return true;
}
