#pragma once
// The entry dialog "Tolerance": a tolerance class, or the upper and lower
// deviation of the workpiece, asked before an ISO metric or ANSI/ASME
// calculation. The process windows choose which controls show and caption
// lSupInf before showing it modally; they read rToll's state and the texts
// of eToll, eTSup and eTInf after "Next" (modal result 1).
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfInsTol : public TForm {
public:
    explicit TfInsTol(TComponent* owner);

    // Empties the edits and offers "profile J" for the thread gauges that
    // can carry it (main window's current gauge type).
    void FormShow(TObject* sender);
    // The tolerance entry: the deviation fields are disabled, their texts
    // kept.
    void rTollClick(TObject* sender);
    // The deviation entry: the deviation fields are emptied and enabled and
    // the unit panel shows.
    void rSupInfClick(TObject* sender);
    void bOkClick(TObject* sender);

    TRadioButton* rToll;
    TLabel* Label1;
    TEdit* eToll;
    TRadioButton* rSupInf;
    TLabel* lSupInf;
    TLabel* lTSup;
    TEdit* eTSup;
    TLabel* lTInf;
    TEdit* eTInf;
    TCheckBox* cJprofile;
    TPanel* pSupInf;
    TRadioButton* rSupInfmicron;
    TRadioButton* rSupInfmm;
    TButton* bOk;
    TButton* bCancel;

private:
    void ShowDeviationEntry();
};

extern TfInsTol* fInsTol;
