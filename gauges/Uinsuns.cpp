#include "gauges/Uinsuns.h"

#include "gauges/Uwansiasme1.h"

TfInsUNS* fInsUNS = nullptr;

TfInsUNS::TfInsUNS(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfInsUNS::FormShow);
    LoadForm();
    Label1 = RequireOwned<TLabel>(this, "Label1");
    eDia = RequireOwned<TEdit>(this, "eDia");
    Label2 = RequireOwned<TLabel>(this, "Label2");
    eStep = RequireOwned<TEdit>(this, "eStep");
    Label3 = RequireOwned<TLabel>(this, "Label3");
    rT1 = RequireOwned<TRadioButton>(this, "rT1");
    rT2 = RequireOwned<TRadioButton>(this, "rT2");
    rT3 = RequireOwned<TRadioButton>(this, "rT3");
    bOk = RequireOwned<TButton>(this, "bOk");
    bCancel = RequireOwned<TButton>(this, "bCancel");
}

void TfInsUNS::FormShow(TObject*)
{
    rT1->SetEnabled(true);
    rT2->SetEnabled(true);
    const bool external = fwAnsiAsme1 && fwAnsiAsme1->InchThread.GaugeType.Group == 3;
    const QString letter = external ? QStringLiteral("A") : QStringLiteral("B");
    rT1->SetCaption(QStringLiteral("1") + letter);
    rT2->SetCaption(QStringLiteral("2") + letter);
    rT3->SetCaption(QStringLiteral("3") + letter);
    if (fwAnsiAsme1 && fwAnsiAsme1->cJprofile->Checked()) {
        rT1->SetEnabled(false);
        rT2->SetEnabled(false);
        rT3->SetChecked(true);
    }
}
