#pragma once
// The notice shown while the measuring instrument searches its zero: a
// small borderless window over the others, "Ricerca dello zero in corso...".
// The readouts (app/core/Uplvzero.h) show and hide it through the notice
// interface it registers while it exists.
#include "app/core/Uplvzero.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfplvZero : public TForm, public TZeroSearchNotice {
public:
    explicit TfplvZero(TComponent* owner);
    ~TfplvZero() override;

    bool IsShown() const override { return Visible(); }
    void ShowNotice() override { Show(); }
    void HideNotice() override { Hide(); }

    // Bound to no control; kept because the form names it.
    void NoZeroTimerTimer(TObject* sender);

    TPanel* pBack;
    TImage* iBack;
    TLabel* tplvmessage;
    TLabel* lMove;
};

extern TfplvZero* fplvZero;
