#include "gauges/Uinstol.h"

#include "app/Utessvar.h"
#include "gauges/Uwansiasme1.h"

TfInsTol* fInsTol = nullptr;

namespace {

constexpr int KindThread = 2;

} // namespace

TfInsTol::TfInsTol(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfInsTol::FormShow);
    BindMethod("rTollClick", &TfInsTol::rTollClick);
    BindMethod("rSupInfClick", &TfInsTol::rSupInfClick);
    BindMethod("bOkClick", &TfInsTol::bOkClick);
    LoadForm();
    rToll = RequireOwned<TRadioButton>(this, "rToll");
    Label1 = RequireOwned<TLabel>(this, "Label1");
    eToll = RequireOwned<TEdit>(this, "eToll");
    rSupInf = RequireOwned<TRadioButton>(this, "rSupInf");
    lSupInf = RequireOwned<TLabel>(this, "lSupInf");
    lTSup = RequireOwned<TLabel>(this, "lTSup");
    eTSup = RequireOwned<TEdit>(this, "eTSup");
    lTInf = RequireOwned<TLabel>(this, "lTInf");
    eTInf = RequireOwned<TEdit>(this, "eTInf");
    cJprofile = RequireOwned<TCheckBox>(this, "cJprofile");
    pSupInf = RequireOwned<TPanel>(this, "pSupInf");
    rSupInfmicron = RequireOwned<TRadioButton>(this, "rSupInfmicron");
    rSupInfmm = RequireOwned<TRadioButton>(this, "rSupInfmm");
    bOk = RequireOwned<TButton>(this, "bOk");
    bCancel = RequireOwned<TButton>(this, "bCancel");
}

void TfInsTol::FormShow(TObject*)
{
    eToll->SetText(QString());
    eTSup->SetText(QString());
    eTInf->SetText(QString());
    cJprofile->SetChecked(false);
    cJprofile->SetVisible(fTessvar && fTessvar->CurrentType.Kind == KindThread && OffersProfileJ(fTessvar->CurrentType));
    rSupInf->SetEnabled(true);
}

void TfInsTol::rTollClick(TObject*)
{
    ShowDeviationEntry();
}

void TfInsTol::rSupInfClick(TObject*)
{
    ShowDeviationEntry();
    eTSup->SetText(QString());
    eTInf->SetText(QString());
}

void TfInsTol::bOkClick(TObject*)
{
    SetModalResult(mrOk);
}

// The unit panel and the deviation fields follow the chosen entry.
void TfInsTol::ShowDeviationEntry()
{
    const bool deviation = rSupInf->Checked();
    pSupInf->SetVisible(deviation);
    eTSup->SetEnabled(deviation);
    eTInf->SetEnabled(deviation);
}
