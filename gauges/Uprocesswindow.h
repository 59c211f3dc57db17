#pragma once
// What the gauge and the workpiece process windows do alike when they show
// and when their unit changes.
#include "gauges/Uprocesscalc.h"
#include "gauges/Uprocesslayout.h"

#include <vector>

class TComboBox;

// Empties the texts of the inputs, lays the window out for the gauge type
// and sets the tolerance field's hint and the spline angle. Returns the plan.
TProcessLayout LayOutProcessWindow(TCustomForm* window, const TProcessControls& controls, const CALIBRETYPE& type);
// Binds the window's lengths afresh, all empty: the edits of
// ProcessBoundEdits, then extra, in order, to a copy of the main window's
// readout (inch when the plan asks for it); unit shows the readout's unit.
void BindProcessLengths(TCustomForm* window, const TProcessControls& controls, const TProcessLayout& plan,
                        TComboBox* unit, const std::vector<TEdit*>& extra = {});
// The end of a process window's show: inputs enabled, "Calculate Std
// Tolerance" up and nothing calculated.
void ReadyProcessWindow(TProcessWindow& window);
// The unit change: the values stay in mm and show in the unit of the unit
// list's item (0 mm, else inch: the list's place, never its translated
// text) at the main window's resolution; the bound edits are rewritten
// without being read back.
void SwitchProcessUnit(const TProcessControls& controls, int unitItem);
// The change handler of the diameter and the pitch: unless the window is
// rewriting them, the list takes the edit's text. In inch, a size the
// readout cannot read but the inch-size parser can ("1 1/2", "3/8") is held
// as its value: it stays as typed, a calculation takes that value, and a
// flip shows it in mm.
void ReadProcessLength(const TProcessControls& controls, TEdit* edit);
// A process window's unit change: SwitchProcessUnit, and the texts it
// writes stay those of the window's calculation when the old ones were.
void ChangeProcessUnit(TProcessWindow& window, int unitItem);
