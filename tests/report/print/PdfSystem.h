#pragma once
// A report system that prints straight into a PDF file: no setup dialog and
// no status window, as the program's own print buttons run it.
#include "report/print/QpSystem.h"

#include <QString>

inline void PrintStraightToPdf(TZvSystem& system, const QString& pdf)
{
    TSystemSetups setups = system.SystemSetups();
    setups.Exclude(TSystemSetup::ssAllowSetup);
    system.SetSystemSetups(setups);
    system.SetDefaultDest(TReportDest::rdPrinter);
    system.SetOutputFileName(pdf);
    system.OverrideStatus = [](TZvSystem*, TOverrideMode, TCustomForm*&) {}; // no status window
}
