#pragma once
// The workpiece process window "Calculate Tolerance": the same layout plan
// and calculation as the gauge window, showing the workpiece limits with
// their mean and half range, the drilling diameter of nut threads and a
// sketch of the workpiece; it prints the workpiece card and hands the
// workpiece limits to the main window's measuring tab. The gauge limits are
// computed into the edits of a page control that never shows.
#include "app/core/Unumber.h"
#include "gauges/Uprocesscalc.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/StdCtrls.h"

class TZvProject;

class TfProcess2 : public TForm, public TProcessWindow {
public:
    // Pictures of Iwp.
    enum { SketchHole, SketchShaft, SketchNut, SketchBolt };
    static constexpr int BoundEditCount = 26;

    explicit TfProcess2(TComponent* owner);

    void FormShow(TObject* sender);
    void cUnitChange(TObject* sender);
    void dNominaleChange(TObject* sender); // dNominale and dPasso
    void sbCalcTolClick(TObject* sender);
    void bPrintClick(TObject* sender);
    void bMeasureWpClick(TObject* sender);
    void dbTollServClick(TObject* sender);

    // TProcessWindow
    TCustomForm* Form() override { return this; }
    const TProcessControls& ProcessControls() const override { return FControls; }
    void SetDefaults(bool enable) override;
    void StoreResults(TOLLERANCE record) override;
    bool AmericanTolerance() const override; // the workpiece picker's option

    TLabel* Label4;
    TEdit* dNominale;
    TLabel* lPasso;
    TEdit* dPasso;
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
    TSpeedButton* sbCalcTol;
    TLabel* lPieceTxt;
    TLabel* lPieceTxt2;
    TEdit* dMaxW;
    TEdit* dMinW;
    TEdit* dAvg;
    TEdit* dScost;
    TLabel* lHoleW;
    TEdit* dHoleW;
    TLabel* lHoleW2;
    TEdit* dHoleW2;
    TLabel* lHoleW3;
    TImage* Imwp;
    TImageList* Iwp;
    TButton* bClose;
    TButton* bPrint;
    TButton* bMeasureWp;
    TZvProject* ZvProject1;

    NCLIST ValueList;
    bool Refreshing = false; // the unit change is rewriting the bound edits

private:
    void ShowSketch(const CALIBRETYPE& type);
    void SetBoundValue(TEdit* edit, double value);

    TProcessControls FControls;
};

extern TfProcess2* fProcess2;
