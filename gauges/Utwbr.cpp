#include "gauges/Utwbr.h"

#include <algorithm>

TfTwBR* fTwBR = nullptr;

TfTwBR::TfTwBR(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfTwBR::FormShow);
    BindMethod("bNextClick", &TfTwBR::bNextClick);
    BindMethod("bBackClick", &TfTwBR::bBackClick);
    LoadForm();
    PageControl1 = RequireOwned<TPageControl>(this, "PageControl1");
    for (int i = 0; i < PitchCount; ++i)
        rM[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rM%1").arg(i + 1));
    rD1 = RequireOwned<TRadioButton>(this, "rD1");
    rD2 = RequireOwned<TRadioButton>(this, "rD2");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    bBack = RequireOwned<TButton>(this, "bBack");
    bNext = RequireOwned<TButton>(this, "bNext");
    for (int i = 0; i < PageControl1->PageCount(); ++i)
        PageControl1->Pages(i)->SetTabVisible(false);
}

void TfTwBR::FormShow(TObject*)
{
    PageControl1->SetActivePageIndex(PagePitch);
    bBack->SetEnabled(false);
    bNext->SetEnabled(true);
    for (TRadioButton* button : rM)
        button->SetChecked(false);
}

void TfTwBR::bNextClick(TObject*)
{
    if (PageControl1->ActivePageIndex() == PagePitch) {
        if (!PitchChosen())
            return;
        bBack->SetEnabled(true);
        PageControl1->SetActivePageIndex(PageClass);
    } else {
        SetModalResult(mrOk);
    }
}

void TfTwBR::bBackClick(TObject*)
{
    if (PageControl1->ActivePageIndex() == PageClass) {
        bBack->SetEnabled(false);
        PageControl1->SetActivePageIndex(PagePitch);
    }
}

// Only a pitch the caller left enabled counts as chosen.
bool TfTwBR::PitchChosen() const
{
    return std::any_of(rM.begin(), rM.end(), [](const TRadioButton* b) { return b->Enabled() && b->Checked(); });
}
