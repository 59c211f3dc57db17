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

// A report system that plays a snapshot file without running a report: to
// dest, the preview window (shown but not waited for) or, as
// PrintStraightToPdf, the "Print to PDF" printer into pdf.
inline void PlaySnapshotFile(TZvSystem& system, TReportDest dest, const QString& snapshot, const QString& pdf)
{
    PrintStraightToPdf(system, pdf);
    system.SetDefaultDest(dest);
    TSystemOptions options = system.SystemOptions();
    options.Include(TSystemOption::soNoGenerate);
    options.Exclude(TSystemOption::soPreviewModal);
    system.SetSystemOptions(options);
    system.SystemFiler()->StreamMode = TStreamMode::smFile;
    system.SystemFiler()->FileName = snapshot;
    system.OverridePreview = [](TZvSystem* owner, TOverrideMode mode, TCustomForm*& form) {
        if (mode != TOverrideMode::omWait)
            owner->DefaultPreviewForm(owner, mode, form);
    };
}
