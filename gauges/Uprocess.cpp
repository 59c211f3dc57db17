#include "gauges/Uprocess.h"

#include "app/Utessvar.h"
#include "app/core/Unan.h"
#include "gauges/Uprocesscards.h"
#include "gauges/Uprocesswindow.h"
#include "report/components/QpZarv.h"

TfProcess* fProcess = nullptr;

TfProcess::TfProcess(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfProcess::FormShow);
    BindMethod("cUnitChange", &TfProcess::cUnitChange);
    BindMethod("dNominaleChange", &TfProcess::dNominaleChange);
    BindMethod("sbCalcTolClick", &TfProcess::sbCalcTolClick);
    BindMethod("bPrintClick", &TfProcess::bPrintClick);
    BindMethod("bMeasureClick", &TfProcess::bMeasureClick);
    BindMethod("bMeasureWpClick", &TfProcess::bMeasureWpClick);
    BindMethod("dbTollServClick", &TfProcess::dbTollServClick);
    LoadForm();
    auto find = [this](auto*& control, const char* name) {
        control = RequireOwned<std::remove_reference_t<decltype(*control)>>(this, QString::fromLatin1(name));
    };
#define PROCESS_FIND(name) find(name, #name)
    PROCESS_FIND(Label4);
    PROCESS_FIND(dNominale);
    PROCESS_FIND(lPasso);
    PROCESS_FIND(dPasso);
    PROCESS_FIND(Label9);
    PROCESS_FIND(cUnit);
    PROCESS_FIND(lAngolo);
    PROCESS_FIND(dbAngolo);
    PROCESS_FIND(lAngoli);
    PROCESS_FIND(dbSAL);
    PROCESS_FIND(dbSAR);
    PROCESS_FIND(lStart);
    PROCESS_FIND(dbN1);
    PROCESS_FIND(Label1);
    PROCESS_FIND(dbTollServ);
    PROCESS_FIND(dbDesignazione);
    PROCESS_FIND(pcTolleranze);
    PROCESS_FIND(tsMedio);
    PROCESS_FIND(tsExt);
    PROCESS_FIND(tsInterno);
    PROCESS_FIND(tsAngPas);
    PROCESS_FIND(sbCalcTol);
    PROCESS_FIND(lPassa);
    PROCESS_FIND(lNonPassa);
    PROCESS_FIND(dMaxP);
    PROCESS_FIND(dMinP);
    PROCESS_FIND(dLogP);
    PROCESS_FIND(dMedP);
    PROCESS_FIND(dHMis1);
    PROCESS_FIND(dMaxN);
    PROCESS_FIND(dMinN);
    PROCESS_FIND(dLogN);
    PROCESS_FIND(dMedN);
    PROCESS_FIND(dHMis2);
    PROCESS_FIND(dMaxW);
    PROCESS_FIND(dMinW);
    PROCESS_FIND(lPieceTxt);
    PROCESS_FIND(bClose);
    PROCESS_FIND(bPrint);
    PROCESS_FIND(bMeasure);
    PROCESS_FIND(bMeasureWp);
    PROCESS_FIND(ZvProject1);
#undef PROCESS_FIND
    FControls = {dNominale, dPasso, dbAngolo, dbSAL, dbSAR, dbN1, dbTollServ, dbDesignazione, sbCalcTol, &ValueList,
                 &Refreshing};
}

void TfProcess::FormShow(TObject*)
{
    const TProcessLayout plan = LayOutProcessWindow(this, FControls, fTessvar->CurrentType);
    BindProcessLengths(this, FControls, plan, cUnit);
    ReadyProcessWindow(*this);
}

void TfProcess::cUnitChange(TObject*)
{
    ChangeProcessUnit(*this, cUnit->ItemIndex());
}

void TfProcess::dNominaleChange(TObject* sender)
{
    ReadProcessLength(FControls, dynamic_cast<TEdit*>(sender));
}

void TfProcess::sbCalcTolClick(TObject*)
{
    CalcToleranceClick(*this, fTessvar->CurrentType);
}

void TfProcess::bPrintClick(TObject*)
{
    if (!CardMayPrint(*this))
        return;
    PrintCard(*ZvProject1, GaugeCardProject, GaugeCardParams(this));
}

void TfProcess::dbTollServClick(TObject*)
{
    // The hints are placeholders, so a click has nothing to remove, and
    // typed text is never deleted.
}

void TfProcess::SetDefaults(bool enable)
{
    SetProcessDefaults(this, FControls, fTessvar->CurrentType, enable);
}

void TfProcess::StoreResults(TOLLERANCE record)
{
    StoreProcessResults(this, ValueList, record);
}

void TfProcess::bMeasureClick(TObject*)
{
    MeasureHandOver(*this, false);
}

void TfProcess::bMeasureWpClick(TObject*)
{
    MeasureHandOver(*this, true);
}
