#include "gauges/Uprocess2.h"

#include "app/Unumberedit.h"
#include "app/Upictures.h"
#include "app/Utessvar.h"
#include "app/core/Unan.h"
#include "gauges/Ucalibreselect2.h"
#include "gauges/Ugaugefamily.h"
#include "gauges/Uprocesscards.h"
#include "gauges/Uprocesswindow.h"
#include "platform/os/Modules.h"
#include "report/components/QpZarv.h"

TfProcess2* fProcess2 = nullptr;

namespace {

constexpr int KindPlain = 1;
constexpr int KindThread = 2;

const char* const HoleRow[] = {"dHoleW", "dHoleW2", "lHoleW", "lHoleW2", "lHoleW3"};

} // namespace

TfProcess2::TfProcess2(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfProcess2::FormShow);
    BindMethod("cUnitChange", &TfProcess2::cUnitChange);
    BindMethod("dNominaleChange", &TfProcess2::dNominaleChange);
    BindMethod("sbCalcTolClick", &TfProcess2::sbCalcTolClick);
    BindMethod("bPrintClick", &TfProcess2::bPrintClick);
    BindMethod("bMeasureWpClick", &TfProcess2::bMeasureWpClick);
    BindMethod("dbTollServClick", &TfProcess2::dbTollServClick);
    LoadForm();
    auto find = [this](auto*& control, const char* name) {
        control = RequireOwned<std::remove_reference_t<decltype(*control)>>(this, QString::fromLatin1(name));
    };
#define PROCESS2_FIND(name) find(name, #name)
    PROCESS2_FIND(Label4);
    PROCESS2_FIND(dNominale);
    PROCESS2_FIND(lPasso);
    PROCESS2_FIND(dPasso);
    PROCESS2_FIND(cUnit);
    PROCESS2_FIND(lAngolo);
    PROCESS2_FIND(dbAngolo);
    PROCESS2_FIND(lAngoli);
    PROCESS2_FIND(dbSAL);
    PROCESS2_FIND(dbSAR);
    PROCESS2_FIND(lStart);
    PROCESS2_FIND(dbN1);
    PROCESS2_FIND(Label1);
    PROCESS2_FIND(dbTollServ);
    PROCESS2_FIND(dbDesignazione);
    PROCESS2_FIND(pcTolleranze);
    PROCESS2_FIND(sbCalcTol);
    PROCESS2_FIND(lPieceTxt);
    PROCESS2_FIND(lPieceTxt2);
    PROCESS2_FIND(dMaxW);
    PROCESS2_FIND(dMinW);
    PROCESS2_FIND(dAvg);
    PROCESS2_FIND(dScost);
    PROCESS2_FIND(lHoleW);
    PROCESS2_FIND(dHoleW);
    PROCESS2_FIND(lHoleW2);
    PROCESS2_FIND(dHoleW2);
    PROCESS2_FIND(lHoleW3);
    PROCESS2_FIND(Imwp);
    PROCESS2_FIND(Iwp);
    PROCESS2_FIND(bClose);
    PROCESS2_FIND(bPrint);
    PROCESS2_FIND(bMeasureWp);
    PROCESS2_FIND(ZvProject1);
#undef PROCESS2_FIND
    FControls = {dNominale, dPasso, dbAngolo, dbSAL, dbSAR, dbN1, dbTollServ, dbDesignazione, sbCalcTol, &ValueList,
                 &Refreshing};
}

void TfProcess2::FormShow(TObject*)
{
    const CALIBRETYPE& type = fTessvar->CurrentType;
    const TProcessLayout plan = LayOutProcessWindow(this, FControls, type);
    // The drilling diameter of nut threads.
    const bool holeRow = type.Kind == KindThread && type.Ring == 0 && type.Family != FamilyButtress &&
                         type.Family != FamilySpecial;
    for (const char* name : HoleRow)
        RequireOwned<TControl>(this, QString::fromLatin1(name))->SetVisible(holeRow);
    ShowSketch(type);
    BindProcessLengths(this, FControls, plan, cUnit, {dHoleW, dAvg, dScost});
    ReadyProcessWindow(*this);
}

void TfProcess2::ShowSketch(const CALIBRETYPE& type)
{
    // The sketches are decoded when the window first shows, not while the
    // program starts.
    if (Iwp->Count() == 0)
        LoadResourceImageList(Iwp, WorkpieceSketchesPicture);
    Imwp->Picture()->Clear();
    int sketch = -1;
    if (type.Kind == KindPlain)
        sketch = type.Ring ? SketchShaft : SketchHole;
    else if (type.Kind == KindThread)
        sketch = type.Ring ? SketchBolt : SketchNut;
    if (sketch >= 0)
        Iwp->GetBitmap(sketch, Imwp->Picture()->Bitmap());
}

void TfProcess2::cUnitChange(TObject*)
{
    ChangeProcessUnit(*this, cUnit->ItemIndex());
}

void TfProcess2::dNominaleChange(TObject* sender)
{
    ReadProcessLength(FControls, dynamic_cast<TEdit*>(sender));
}

void TfProcess2::sbCalcTolClick(TObject*)
{
    CalcToleranceClick(*this, fTessvar->CurrentType);
}

void TfProcess2::bPrintClick(TObject*)
{
    if (!CardMayPrint(*this))
        return;
    PrintCard(*ZvProject1, WorkpieceCardProject, WorkpieceCardParams(this));
}

void TfProcess2::bMeasureWpClick(TObject*)
{
    MeasureHandOver(*this, true);
}

void TfProcess2::dbTollServClick(TObject*)
{
    // The hints are placeholders, so a click has nothing to remove, and
    // typed text is never deleted.
}

void TfProcess2::SetDefaults(bool enable)
{
    SetProcessDefaults(this, FControls, fTessvar->CurrentType, enable);
}

void TfProcess2::SetBoundValue(TEdit* edit, double value)
{
    ValueList.SetValue(NumberEditOf(edit), value);
}

void TfProcess2::StoreResults(TOLLERANCE record)
{
    StoreProcessResults(this, ValueList, record);
    SetBoundValue(dHoleW, ShownLength(record.HoleW));
    // Mean and half range only of two computed limits.
    const bool limits = IsComputedLength(record.MaxW) && IsComputedLength(record.MinW);
    SetBoundValue(dAvg, limits ? (record.MinW + record.MaxW) * 0.5 : NanValue());
    SetBoundValue(dScost, limits ? (record.MaxW - record.MinW) * 0.5 : NanValue());
}

bool TfProcess2::AmericanTolerance() const
{
    return fCalibreSelect2 && fCalibreSelect2->cTolUsa->Checked();
}
