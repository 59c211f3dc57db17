#pragma once
// The gauge tolerance process window "Calculate Tolerance": lays itself out
// for the main window's current gauge type, runs "Calculate Std Tolerance"
// (a toggle: down = calculated and locked), shows the gauge limits in mm or
// inch and hands them to the main window's measuring tab.
//
// The lengths of the window (diameter, pitch and results) are bound to
// ValueList and kept in mm; the unit choice only changes how they show.
#include "app/core/Unumber.h"
#include "gauges/Uprocesscalc.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TZvProject;

class TfProcess : public TForm, public TProcessWindow {
public:
    explicit TfProcess(TComponent* owner);

    void FormShow(TObject* sender);
    void cUnitChange(TObject* sender);
    void dNominaleChange(TObject* sender); // dNominale and dPasso
    void sbCalcTolClick(TObject* sender);
    void bPrintClick(TObject* sender); // the gauge card
    void bMeasureClick(TObject* sender);
    void bMeasureWpClick(TObject* sender);
    void dbTollServClick(TObject* sender);

    // TProcessWindow
    TCustomForm* Form() override { return this; }
    const TProcessControls& ProcessControls() const override { return FControls; }
    void SetDefaults(bool enable) override;
    void StoreResults(TOLLERANCE record) override;

    TLabel* Label4;
    TEdit* dNominale;
    TLabel* lPasso;
    TEdit* dPasso;
    TLabel* Label9;
    TComboBox* cUnit;
    TLabel* lAngolo;
    TEdit* dbAngolo;
    TLabel* lAngoli;
    TEdit* dbSAL;
    TEdit* dbSAR;
    TLabel* lStart;
    TEdit* dbN1;
    TLabel* Label1;
    TEdit* dbTollServ;
    TEdit* dbDesignazione;
    TPageControl* pcTolleranze;
    TTabSheet* tsMedio;
    TTabSheet* tsExt;
    TTabSheet* tsInterno;
    TTabSheet* tsAngPas;
    TSpeedButton* sbCalcTol;
    TLabel* lPassa;
    TLabel* lNonPassa;
    TEdit* dMaxP;
    TEdit* dMinP;
    TEdit* dLogP;
    TEdit* dMedP;
    TEdit* dHMis1;
    TEdit* dMaxN;
    TEdit* dMinN;
    TEdit* dLogN;
    TEdit* dMedN;
    TEdit* dHMis2;
    TEdit* dMaxW;
    TEdit* dMinW;
    TLabel* lPieceTxt;
    TButton* bClose;
    TButton* bPrint;
    TButton* bMeasure;
    TButton* bMeasureWp;
    TZvProject* ZvProject1;

    NCLIST ValueList;
    bool Refreshing = false; // the unit change is rewriting the bound edits

private:
    TProcessControls FControls;
};

extern TfProcess* fProcess;
