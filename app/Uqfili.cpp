#include "app/Uqfili.h"

#include "app/Utessvar.h"

TfQfili* fQfili = nullptr;

TfQfili::TfQfili(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfQfili::FormShow);
    LoadForm();
    lTP = RequireOwned<TLabel>(this, "lTP");
    lTNP = RequireOwned<TLabel>(this, "lTNP");
    eTsupP = RequireOwned<TEdit>(this, "eTsupP");
    eTinfP = RequireOwned<TEdit>(this, "eTinfP");
    eTsupNP = RequireOwned<TEdit>(this, "eTsupNP");
    eTinfNP = RequireOwned<TEdit>(this, "eTinfNP");
}

TfQfili::~TfQfili()
{
    if (fQfili == this)
        fQfili = nullptr;
}

void TfQfili::FormShow(TObject*)
{
    if (!fTessvar)
        return;
    const std::pair<TControl*, TControl*> pairs[] = {
        {lTP, fTessvar->lTP},       {lTNP, fTessvar->lTNP},       {eTsupP, fTessvar->eTsupP},
        {eTinfP, fTessvar->eTinfP}, {eTsupNP, fTessvar->eTsupNP}, {eTinfNP, fTessvar->eTinfNP},
    };
    for (const auto& [own, main] : pairs)
        own->SetVisible(main->Visible());
}
