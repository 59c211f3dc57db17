#pragma once
// How a tolerance process window lays itself out for a gauge type: which of
// its controls show, the captions that depend on the type, the hint of the
// tolerance field, the readout unit and the result tabs. The plan is worked
// out from the gauge-type record alone; each process window applies it to
// the controls it has (a control named in the plan that a window lacks is
// skipped), so both windows follow one set of rules.
#include "app/core/Ucalibretype.h"

#include <QString>

#include <array>
#include <map>

class TCustomForm;

struct TProcessLayout {
    QString Caption;       // "<family>|<group caption>|<gauge name>"
    QString ToleranceHint; // shown in the empty tolerance field; "" for none
    QString AngleText;     // the angle field after the layout ("30" for spline gauges)
    bool InchReadout = false;
    // The visibility of every control the layout decides, by control name;
    // the controls not named keep what their form gives them.
    std::map<QString, bool> Shown;
    // Captions by control name (labels and the page "Avg").
    std::map<QString, QString> Captions;
    bool ExternalTab = false; // tabs of the pages "External", "Internal", "Angle/Pitch"
    bool InternalTab = false;
    bool AngleTab = false;

    // Whether the plan shows a control; false for a control it does not name.
    bool Shows(const QString& name) const;
};

TProcessLayout PlanProcessLayout(const CALIBRETYPE& type);

// Sets the visibility and captions of the window's controls and the tabs of
// its result pages (tsExt, tsInterno, tsAngPas) as planned, and the window's
// caption, and makes the first result page (tsMedio) the shown one. The
// texts of the edits are the window's business.
void ApplyProcessLayout(TCustomForm* window, const TProcessLayout& plan);

// The edits a process window binds to its length list, in binding order.
constexpr int ProcessBoundEditCount = 23;
extern const std::array<const char*, ProcessBoundEditCount> ProcessBoundEdits;
