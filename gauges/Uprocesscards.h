#pragma once
// The cards the process windows print: the gauge card "gagecard.zrf" of the
// gauge window and the workpiece card "piececard.zrf" of the workpiece
// window. Each card is a list of named text parameters taken from the
// window's controls (found by name); a row whose control is hidden (its own
// visibility, so rows on a page not in front still print) is "".
#include "app/Ureportprint.h"

class TCustomForm;
class TZvProject;

inline const QString GaugeCardProject = QStringLiteral("gagecard.zrf");
inline const QString WorkpieceCardProject = QStringLiteral("piececard.zrf");

// The 24 parameters of the gauge card, in the order they are set.
TReportParams GaugeCardParams(TCustomForm* window);
// The 12 parameters of the workpiece card.
TReportParams WorkpieceCardParams(TCustomForm* window);

// Prints a card through the window's project: to the preview when the main
// window's "Show print preview" box is ticked, else to the printer.
void PrintCard(TZvProject& project, const QString& projectFile, const TReportParams& params);
