#include "gauges/Utwsca.h"

#include "app/Utessvar.h"
#include "calc/Utscatables.h"
#include "platform/rtl/FormatText.h"

TfTwSCA* fTwSCA = nullptr;

namespace {

constexpr int RoleGo = 1;
constexpr int SideShaft = 0;
constexpr int SideHub = 1;

template <size_t N> int CheckedShown(const std::array<TRadioButton*, N>& buttons);

} // namespace

TSplineRanges SplineDiameterRanges(int rowCount)
{
    TSplineRanges ranges;
    const int n = rowCount < 0 ? 0 : rowCount;
    const int s = n / 5 + 1;
    ranges.GroupSize = s;
    for (int k = 0; k < int(ranges.Range.size()); ++k) {
        TSplineRange& range = ranges.Range[k];
        range.First = k * s;
        const int last = k + 1 < int(ranges.Range.size()) ? (k + 1) * s - 1 : n - 1;
        range.Last = last < n - 1 ? last : n - 1;
    }
    return ranges;
}

int SplineRowCount(int moduleIndex)
{
    if (moduleIndex < 0 || moduleIndex >= SplineModuleCount)
        return 0;
    const TSplineModule& module = SplineSizeTable[moduleIndex];
    int n = 0;
    while (n < SplineMaxRows && module.Rows[n].Diameter != 0)
        ++n;
    return n;
}

TfTwSCA::TfTwSCA(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfTwSCA::FormShow);
    BindMethod("bNextClick", &TfTwSCA::bNextClick);
    BindMethod("bBackClick", &TfTwSCA::bBackClick);
    BindMethod("rD1Click", &TfTwSCA::rD1Click);
    BindMethod("ToleranceClick", &TfTwSCA::ToleranceClick);
    LoadForm();
    PageControl1 = RequireOwned<TPageControl>(this, "PageControl1");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    bBack = RequireOwned<TButton>(this, "bBack");
    bNext = RequireOwned<TButton>(this, "bNext");
    for (int i = 0; i < ModuleCount; ++i)
        rM[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rM%1").arg(i + 1));
    for (int i = 0; i < RangeCount; ++i)
        rD[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rD%1").arg(i + 1));
    lDiameter = RequireOwned<TListBox>(this, "lDiameter");
    gN1 = RequireOwned<TGroupBox>(this, "gN1");
    for (int i = 0; i < QualityCount; ++i)
        rN1[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rN1%1").arg(i + 1));
    for (int i = 0; i < PositionCount; ++i)
        rA[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rA%1").arg(i + 1));
    for (int i = 0; i < 3; ++i)
        rN2[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rN2%1").arg(i + 1));
    for (int i = 0; i < PageControl1->PageCount(); ++i)
        PageControl1->Pages(i)->SetTabVisible(false);
}

void TfTwSCA::FormShow(TObject*)
{
    GoToPage(PageModule);
}

void TfTwSCA::bNextClick(TObject*)
{
    switch (PageControl1->ActivePageIndex()) {
    case PageModule: {
        const int checked = CheckedShown(rM);
        ModuleIndex = checked < 0 ? 0 : checked;
        Module = SplineSizeTable[ModuleIndex].Module;
        BuildDiameterRanges();
        GoToPage(PageDiameter);
        break;
    }
    case PageDiameter: {
        const TSplineRange& range = FRanges.Range[FRangeIndex];
        const int row = range.First + lDiameter->ItemIndex();
        if (lDiameter->ItemIndex() < 0 || range.Empty() || row > range.Last)
            return;
        DiameterRow = row;
        ReferenceDiameter = SplineSizeTable[ModuleIndex].Rows[row].Diameter;
        PrepareTolerancePage();
        GoToPage(PageTolerance);
        break;
    }
    case PageTolerance:
        if (!bNext->Enabled())
            return;
        ReadChoice();
        SetModalResult(mrOk);
        break;
    default:
        break;
    }
}

void TfTwSCA::bBackClick(TObject*)
{
    const int page = PageControl1->ActivePageIndex();
    if (page > PageModule)
        GoToPage(page - 1);
}

void TfTwSCA::rD1Click(TObject* sender)
{
    int index = -1;
    for (int i = 0; i < RangeCount; ++i) {
        if (sender ? sender == rD[i] : rD[i]->Checked())
            index = i;
    }
    FRangeIndex = index < 0 ? 0 : index;
    lDiameter->Clear();
    const TSplineRange& range = FRanges.Range[FRangeIndex];
    for (int row = range.First; row <= range.Last; ++row)
        lDiameter->Items()->Add(Format(QStringLiteral("%d"), SplineSizeTable[ModuleIndex].Rows[row].Diameter));
    if (lDiameter->Items()->Count() > 0)
        lDiameter->SetItemIndex(0);
    UpdateNext();
}

void TfTwSCA::ToleranceClick(TObject*)
{
    UpdateNext();
}

// The range buttons of the chosen module: a range without rows is disabled
// and shows no caption.
void TfTwSCA::BuildDiameterRanges()
{
    RowCount = SplineRowCount(ModuleIndex);
    FRanges = SplineDiameterRanges(RowCount);
    GroupSize = FRanges.GroupSize;
    const TSplineModule& module = SplineSizeTable[ModuleIndex];
    for (int i = 0; i < RangeCount; ++i) {
        const TSplineRange& range = FRanges.Range[i];
        rD[i]->SetEnabled(!range.Empty());
        rD[i]->SetCaption(range.Empty() ? QString()
                                        : Format(QStringLiteral("%d..%d"), module.Rows[range.First].Diameter,
                                                 module.Rows[range.Last].Diameter));
    }
    rD1Click(nullptr);
}

void TfTwSCA::PrepareTolerancePage()
{
    const CALIBRETYPE type = fTessvar ? fTessvar->CurrentType : CALIBRETYPE();
    gN1->SetVisible(type.Role != RoleGo);
    const bool ring = type.Ring != 0;
    Side = type.Group == 0 ? (ring ? SideShaft : SideHub) : (ring ? SideHub : SideShaft);
    for (int k = 0; k < PositionCount; ++k) {
        const char letter = SplinePositionTable[k][Side];
        rA[k]->SetVisible(letter != 0);
        if (letter != 0)
            rA[k]->SetCaption(Format(QStringLiteral("%c"), letter));
    }
}

void TfTwSCA::ReadChoice()
{
    Quality = -1;
    if (gN1->Visible()) {
        const int quality = CheckedQuality();
        if (quality >= 0)
            Quality = 4 + quality;
    }
    const int position = CheckedPosition();
    Position = position < 0 ? 0 : SplinePositionTable[position][Side];
    LQ = 4;
    for (int i = 0; i < 3; ++i) {
        if (rN2[i]->Checked())
            LQ = 2 + i;
    }
}

int TfTwSCA::CheckedQuality() const
{
    return CheckedShown(rN1);
}

int TfTwSCA::CheckedPosition() const
{
    return CheckedShown(rA);
}

void TfTwSCA::GoToPage(int page)
{
    PageControl1->SetActivePageIndex(page);
    bBack->SetEnabled(page > PageModule);
    UpdateNext();
}

// Next goes on only with a diameter chosen, and from the tolerance page
// only with a shown position and, where the quality group shows, a quality.
void TfTwSCA::UpdateNext()
{
    switch (PageControl1->ActivePageIndex()) {
    case PageDiameter:
        bNext->SetEnabled(lDiameter->ItemIndex() >= 0);
        break;
    case PageTolerance:
        bNext->SetEnabled(CheckedPosition() >= 0 && (!gN1->Visible() || CheckedQuality() >= 0));
        break;
    default:
        bNext->SetEnabled(true);
        break;
    }
}

namespace {

template <size_t N> int CheckedShown(const std::array<TRadioButton*, N>& buttons)
{
    for (size_t i = 0; i < N; ++i) {
        if (buttons[i]->Visible() && buttons[i]->Checked())
            return int(i);
    }
    return -1;
}

} // namespace
