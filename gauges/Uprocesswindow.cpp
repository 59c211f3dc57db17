#include "gauges/Uprocesswindow.h"

#include "app/Unumberedit.h"
#include "app/Utessvar.h"
#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "app/core/Unumber.h"
#include "calc/Utansiasme.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

TProcessLayout LayOutProcessWindow(TCustomForm* window, const TProcessControls& c, const CALIBRETYPE& type)
{
    for (TEdit* edit : {c.dbTollServ, c.dbN1, c.dbSAL, c.dbSAR, c.dbAngolo, c.dbDesignazione})
        edit->SetText(QString());
    TProcessLayout plan = PlanProcessLayout(type);
    ApplyProcessLayout(window, plan);
    // The hint is a placeholder: it shows in the empty field and is never
    // read as a tolerance.
    c.dbTollServ->SetTextHint(plan.ToleranceHint);
    if (!plan.AngleText.isEmpty())
        c.dbAngolo->SetText(plan.AngleText);
    return plan;
}

void BindProcessLengths(TCustomForm* window, const TProcessControls& c, const TProcessLayout& plan, TComboBox* unit,
                        const std::vector<TEdit*>& extra)
{
    NCLIST& values = *c.ValueList;
    *c.Refreshing = false;
    values.Clear();
    values.Readout().Assign(fTessvar->MainDisplay);
    if (plan.InchReadout)
        values.Readout().SetUnit(1);
    for (const char* name : ProcessBoundEdits)
        values.Add(NumberEditOf(RequireOwned<TEdit>(window, QString::fromLatin1(name))), NanValue());
    for (TEdit* edit : extra)
        values.Add(NumberEditOf(edit), NanValue());
    unit->SetItemIndex(values.Readout().GetUnit() == 0 ? 0 : 1);
    SwitchProcessUnit(c, unit->ItemIndex()); // which also empties the edits
}

void ReadyProcessWindow(TProcessWindow& window)
{
    window.SetDefaults(true);
    window.ProcessControls().sbCalcTol->SetDown(false);
    window.Calculation.Forget();
}

void SwitchProcessUnit(const TProcessControls& c, int unitItem)
{
    DISPLAY& readout = c.ValueList->Readout();
    if (unitItem == 0) {
        readout.SetUnit(0);
        readout.SetResolution(fTessvar->MmResolution);
    } else {
        readout.SetUnit(1);
        readout.SetResolution(fTessvar->InchResolution);
    }
    RefreshBoundLengths(c);
}

void ReadProcessLength(const TProcessControls& c, TEdit* edit)
{
    if ((c.Refreshing && *c.Refreshing) || !edit)
        return;
    NCLIST& values = *c.ValueList;
    TNumberEdit* bound = NumberEditOf(edit);
    values.ReadEdit(bound);
    double mm = 0;
    if (values.Readout().GetUnit() == 0 || values.GetValue(bound, mm))
        return;
    QString size = edit->Text();
    double inches = 0;
    if (ParseInchSize(size, inches))
        values.HoldTypedValue(bound, inches * MmPerInch);
}

void ChangeProcessUnit(TProcessWindow& window, int unitItem)
{
    // The values stay those of the calculation; only their texts change.
    const bool current = window.Calculation.Current(window.Form());
    SwitchProcessUnit(window.ProcessControls(), unitItem);
    window.Calculation.FollowUnitChange(window.Form(), current);
}
