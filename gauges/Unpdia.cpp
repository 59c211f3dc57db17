#include "gauges/Unpdia.h"

#include "app/Utessvar.h"
#include "calc/Ugastables.h"
#include "calc/Utansiasme.h"
#include "platform/rtl/FormatText.h"

#include <algorithm>

TfNPDia* fNPDia = nullptr;

namespace {

constexpr int FamilyAnsiAsme = 1;
constexpr int FamilyGas = 4;

QString SizeCaption(int whole, int numerator, int denominator);
template <class Size> void FillSizes(TSizeButtonList& list, const Size* sizes, int count);

} // namespace

TfNPDia::TfNPDia(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfNPDia::FormShow);
    BindMethod("FormDestroy", &TfNPDia::FormDestroy);
    BindMethod("RadioButtonNClick", &TfNPDia::RadioButtonNClick);
    LoadForm();
    bOk = RequireOwned<TButton>(this, "bOk");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    cTruncrest = RequireOwned<TCheckBox>(this, "cTruncrest");
    for (int i = 1; i <= SizeButtonCount; ++i)
        SizeButtonList.push_back(RequireOwned<TRadioButton>(this, QStringLiteral("RadioButton%1").arg(i)));
}

void TfNPDia::FormShow(TObject*)
{
    const CALIBRETYPE type = fTessvar ? fTessvar->CurrentType : CALIBRETYPE();
    cTruncrest->SetChecked(false);
    if (type.Family == FamilyGas && type.Group == 1) {
        FillParallelPipeSizes(SizeButtonList, type);
        cTruncrest->SetVisible(true);
        cTruncrest->SetEnabled(false);
    } else {
        if (type.Family == FamilyGas && type.Group == 0)
            FillTaperPipeSizes(SizeButtonList, type);
        else if (type.Family == FamilyAnsiAsme)
            FillPipeSizes(SizeButtonList, type);
        cTruncrest->SetVisible(false);
    }
    // Preselecting the first size is a click of it, which offers "Truncate
    // crests" where it is shown.
    if (!SizeButtonList.empty())
        SizeButtonList.front()->SetChecked(true);
}

void TfNPDia::FormDestroy(TObject*)
{
    SizeButtonList.clear();
    cTruncrest->SetVisible(false);
}

void TfNPDia::RadioButtonNClick(TObject*)
{
    if (cTruncrest->Visible()) {
        cTruncrest->SetChecked(false);
        cTruncrest->SetEnabled(true);
    }
}

int SelectedPipeSize(const TSizeButtonList& list)
{
    const auto found = std::find_if(list.begin(), list.end(),
                                    [](const TRadioButton* b) { return b->Visible() && b->Checked(); });
    return found == list.end() ? -1 : int(found - list.begin());
}

void FillTaperPipeSizes(TSizeButtonList& list, CALIBRETYPE)
{
    FillSizes(list, TaperPipeSizeTable, TaperPipeSizeCount);
}

void FillParallelPipeSizes(TSizeButtonList& list, CALIBRETYPE)
{
    FillSizes(list, ParallelPipeSizeTable, ParallelPipeSizeCount);
}

void FillPipeSizes(TSizeButtonList& list, CALIBRETYPE type)
{
    const int key = type.Group * 100 + type.Item;
    std::vector<TPipeSize> sizes;
    TPipeSize size{};
    for (int i = 0; InchPipeSize(key, i, size); ++i)
        sizes.push_back(size);
    FillSizes(list, sizes.data(), int(sizes.size()));
}

namespace {

// "3/8" below one inch, "2" for a whole size, "1 1/4" otherwise.
QString SizeCaption(int whole, int numerator, int denominator)
{
    if (whole == 0)
        return Format(QStringLiteral("%d/%d"), numerator, denominator);
    if (numerator == 0 || denominator == 0)
        return Format(QStringLiteral("%d"), whole);
    return Format(QStringLiteral("%d %d/%d"), whole, numerator, denominator);
}

template <class Size> void FillSizes(TSizeButtonList& list, const Size* sizes, int count)
{
    for (TRadioButton* button : list) {
        button->SetVisible(false);
        button->SetChecked(false);
    }
    for (int i = 0; i < int(list.size()) && i < count; ++i) {
        list[i]->SetCaption(SizeCaption(sizes[i].Whole, sizes[i].Numerator, sizes[i].Denominator));
        list[i]->SetVisible(true);
    }
}

} // namespace
