#include "gauges/Uwansiasme1.h"

#include "app/core/Unan.h"
#include "platform/rtl/FormatText.h"

TfwAnsiAsme1* fwAnsiAsme1 = nullptr;

// The unified inch screw thread sizes and their standard series (UNC, UNF,
// UNEF and the constant-pitch UN series) of ASME B1.1, as the program has
// always offered them: 71 sizes by ascending diameter, whole inches stored
// as 0/1 in their own group.
const TUnifiedSize UnifiedSizeTable[UnifiedSizeCount] = {
    // group 0: rows 0-21
    {0, 0, 0, 0.06, 0, 80, 0, {}},
    {0, 1, 0, 0.073, 64, 72, 0, {}},
    {0, 2, 0, 0.086, 56, 64, 0, {}},
    {0, 3, 0, 0.099, 48, 56, 0, {}},
    {0, 4, 0, 0.112, 40, 48, 0, {}},
    {0, 5, 0, 0.125, 40, 44, 0, {}},
    {0, 6, 0, 0.138, 32, 40, 0, {}},
    {0, 8, 0, 0.164, 32, 36, 0, {}},
    {0, 10, 0, 0.19, 24, 32, 0, {}},
    {0, 12, 0, 0.216, 24, 28, 32, {}},
    {0, 1, 4, 0.25, 20, 28, 32, {}},
    {0, 5, 16, 0.3125, 18, 24, 32, {20, 28}},
    {0, 3, 8, 0.375, 16, 24, 32, {20, 28}},
    {0, 7, 16, 0.4375, 14, 20, 28, {16, 32}},
    {0, 1, 2, 0.5, 13, 20, 28, {16, 32}},
    {0, 9, 16, 0.5625, 12, 18, 24, {16, 20, 28, 32}},
    {0, 5, 8, 0.625, 11, 18, 24, {12, 16, 20, 28, 32}},
    {0, 11, 16, 0.6875, 0, 0, 24, {12, 16, 20, 28, 32}},
    {0, 3, 4, 0.75, 10, 16, 20, {12, 28, 32}},
    {0, 13, 16, 0.8125, 0, 0, 20, {12, 16, 28, 32}},
    {0, 7, 8, 0.875, 9, 14, 20, {12, 16, 28, 32}},
    {0, 15, 16, 0.9375, 0, 0, 20, {12, 16, 28, 32}},
    // group 1: rows 22-37
    {1, 0, 1, 1.0, 8, 12, 20, {16, 28, 32}},
    {1, 1, 16, 1.0625, 0, 0, 18, {8, 12, 16, 20, 28}},
    {1, 1, 8, 1.125, 7, 12, 18, {8, 16, 20, 28}},
    {1, 3, 16, 1.1875, 0, 0, 18, {8, 12, 16, 20, 28}},
    {1, 1, 4, 1.25, 7, 12, 18, {8, 16, 20, 28}},
    {1, 5, 16, 1.3125, 0, 0, 18, {8, 12, 16, 20, 28}},
    {1, 3, 8, 1.375, 6, 12, 18, {8, 16, 20, 28}},
    {1, 7, 16, 1.4375, 0, 0, 18, {6, 8, 12, 16, 20, 28}},
    {1, 1, 2, 1.5, 6, 12, 18, {8, 16, 20, 28}},
    {1, 9, 16, 1.5625, 0, 0, 18, {6, 8, 12, 16, 20}},
    {1, 5, 8, 1.625, 0, 0, 18, {6, 8, 12, 16, 20}},
    {1, 11, 16, 1.6875, 0, 0, 18, {6, 8, 12, 16, 20}},
    {1, 3, 4, 1.75, 5, 0, 0, {6, 8, 12, 16, 20}},
    {1, 13, 16, 1.8125, 0, 0, 0, {6, 8, 12, 16, 20}},
    {1, 7, 8, 1.875, 0, 0, 0, {6, 8, 12, 16, 20}},
    {1, 15, 16, 1.9375, 0, 0, 0, {6, 8, 12, 16, 20}},
    // group 2: rows 38-45
    {2, 0, 1, 2.0, 4.5, 0, 0, {6, 8, 12, 16, 20}},
    {2, 1, 8, 2.125, 0, 0, 0, {6, 8, 12, 16, 20}},
    {2, 1, 4, 2.25, 4.5, 0, 0, {6, 8, 12, 16, 20}},
    {2, 3, 8, 2.375, 0, 0, 0, {6, 8, 12, 16, 20}},
    {2, 1, 2, 2.5, 4, 0, 0, {6, 8, 12, 16, 20}},
    {2, 5, 8, 2.625, 0, 0, 0, {4, 6, 8, 12, 16, 20}},
    {2, 3, 4, 2.75, 4, 0, 0, {6, 8, 12, 16, 20}},
    {2, 7, 8, 2.875, 0, 0, 0, {4, 6, 8, 12, 16, 20}},
    // group 3: rows 46-53
    {3, 0, 1, 3.0, 4, 0, 0, {6, 8, 12, 16, 20}},
    {3, 1, 8, 3.125, 0, 0, 0, {4, 6, 8, 12, 16}},
    {3, 1, 4, 3.25, 4, 0, 0, {6, 8, 12, 16}},
    {3, 3, 8, 3.375, 0, 0, 0, {4, 6, 8, 12, 16}},
    {3, 1, 2, 3.5, 4, 0, 0, {6, 8, 12, 16}},
    {3, 5, 8, 3.625, 0, 0, 0, {4, 6, 8, 12, 16}},
    {3, 3, 4, 3.75, 4, 0, 0, {6, 8, 12, 16}},
    {3, 7, 8, 3.875, 0, 0, 0, {4, 6, 8, 12, 16}},
    // group 4: rows 54-61
    {4, 0, 1, 4.0, 4, 0, 0, {6, 8, 12, 16}},
    {4, 1, 8, 4.125, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 1, 4, 4.25, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 3, 8, 4.375, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 1, 2, 4.5, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 5, 8, 4.625, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 3, 4, 4.75, 0, 0, 0, {4, 6, 8, 12, 16}},
    {4, 7, 8, 4.875, 0, 0, 0, {4, 6, 8, 12, 16}},
    // group 5: rows 62-69
    {5, 0, 1, 5.0, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 1, 8, 5.125, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 1, 4, 5.25, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 3, 8, 5.375, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 1, 2, 5.5, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 5, 8, 5.625, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 3, 4, 5.75, 0, 0, 0, {4, 6, 8, 12, 16}},
    {5, 7, 8, 5.875, 0, 0, 0, {4, 6, 8, 12, 16}},
    // group 6: row 70
    {6, 0, 1, 6.0, 0, 0, 0, {4, 6, 8, 12, 16}},
};

const int UnifiedGroupFirstRow[UnifiedGroupCount] = {0, 22, 38, 46, 54, 62, 70};

namespace {

constexpr int SeriesCoarse = 0;
constexpr int SeriesFine = 1;
constexpr int SeriesExtraFine = 2;
constexpr int SeriesConstant = 3;

// The first shown, checked button of the first count buttons; -1 for none.
int CheckedShown(const TWizardButtonList& list, int count);

} // namespace

bool OffersProfileJ(const CALIBRETYPE& type)
{
    return (type.Group == 2 && type.Item >= 0 && type.Item <= 2) ||
           (type.Group == 3 && type.Item >= 0 && type.Item <= 1);
}

TfwAnsiAsme1::TfwAnsiAsme1(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfwAnsiAsme1::FormShow);
    BindMethod("FormDestroy", &TfwAnsiAsme1::FormDestroy);
    BindMethod("bNextClick", &TfwAnsiAsme1::bNextClick);
    BindMethod("bBackClick", &TfwAnsiAsme1::bBackClick);
    BindMethod("rD0Click", &TfwAnsiAsme1::rD0Click);
    BindMethod("rF1Click", &TfwAnsiAsme1::rF1Click);
    BindMethod("rTpi1Click", &TfwAnsiAsme1::rTpi1Click);
    BindMethod("cRoundNClick", &TfwAnsiAsme1::cRoundNClick);
    LoadForm();
    PageControl1 = RequireOwned<TPageControl>(this, "PageControl1");
    rUN = RequireOwned<TRadioButton>(this, "rUN");
    rUNS = RequireOwned<TRadioButton>(this, "rUNS");
    cJprofile = RequireOwned<TCheckBox>(this, "cJprofile");
    cRoundN = RequireOwned<TCheckBox>(this, "cRoundN");
    for (int i = 0; i < UnifiedGroupCount; ++i)
        rD[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rD%1").arg(i));
    rT1 = RequireOwned<TRadioButton>(this, "rT1");
    rT2 = RequireOwned<TRadioButton>(this, "rT2");
    rT3 = RequireOwned<TRadioButton>(this, "rT3");
    bBack = RequireOwned<TButton>(this, "bBack");
    bNext = RequireOwned<TButton>(this, "bNext");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    for (int i = 1; i <= FractionButtonCount; ++i)
        FractionButtonList.push_back(RequireOwned<TRadioButton>(this, QStringLiteral("rF%1").arg(i)));
    for (int i = 1; i <= PitchButtonCount; ++i)
        PitchButtonList.push_back(RequireOwned<TRadioButton>(this, QStringLiteral("rTpi%1").arg(i)));
    for (int i = 0; i < PageControl1->PageCount(); ++i)
        PageControl1->Pages(i)->SetTabVisible(false);
}

void TfwAnsiAsme1::FormShow(TObject*)
{
    cJprofile->SetVisible(false);
    cJprofile->SetChecked(false);
    RoundFlag = cRoundN->Checked();
    cJprofile->SetVisible(OffersProfileJ(InchThread.GaugeType));
    GoToPage(PageType);
    bNext->SetEnabled(true);
}

void TfwAnsiAsme1::FormDestroy(TObject*)
{
    FractionButtonList.clear();
    PitchButtonList.clear();
}

void TfwAnsiAsme1::bNextClick(TObject*)
{
    switch (PageControl1->ActivePageIndex()) {
    case PageType:
        if (rUN->Checked())
            GoToPage(PageDiameter);
        else
            SetModalResult(mrUns);
        break;
    case PageDiameter:
        ReadDiameterGroup();
        FillFractionPage();
        GoToPage(PageFraction);
        break;
    case PageFraction:
        if (CheckedFraction() < 0)
            return;
        ReadFraction();
        FillSeriesPage();
        GoToPage(PagePitch);
        break;
    case PagePitch:
        if (CheckedPitch() < 0)
            return;
        ReadSeries();
        FillClassPage();
        GoToPage(PageClass);
        break;
    case PageClass:
        ReadClass();
        SetModalResult(mrOk);
        break;
    default:
        break;
    }
}

void TfwAnsiAsme1::bBackClick(TObject*)
{
    const int page = PageControl1->ActivePageIndex();
    if (page > PageType)
        GoToPage(page - 1);
}

void TfwAnsiAsme1::rD0Click(TObject*)
{
    FractionButtonList.front()->SetChecked(true);
    PitchButtonList.front()->SetChecked(true);
    rT2->SetChecked(true);
}

void TfwAnsiAsme1::rF1Click(TObject*)
{
    PitchButtonList.front()->SetChecked(true);
    rT2->SetChecked(true);
    UpdateNext();
}

void TfwAnsiAsme1::rTpi1Click(TObject*)
{
    UpdateNext();
}

void TfwAnsiAsme1::cRoundNClick(TObject*)
{
    RoundFlag = cRoundN->Checked();
}

void TfwAnsiAsme1::ReadDiameterGroup()
{
    int group = 0;
    for (int i = 0; i < UnifiedGroupCount; ++i) {
        if (rD[i]->Checked())
            group = i;
    }
    InchThread.DiameterGroup = group;
    InchThread.GroupFirstRow = UnifiedGroupFirstRow[group];
}

void TfwAnsiAsme1::FillFractionPage()
{
    for (TRadioButton* button : FractionButtonList)
        button->SetVisible(false);
    int row = 0;
    while (row < UnifiedSizeCount && UnifiedSizeTable[row].Group < InchThread.DiameterGroup)
        ++row;
    const int group = row < UnifiedSizeCount ? UnifiedSizeTable[row].Group : 0;
    for (int button = 0; row < UnifiedSizeCount && UnifiedSizeTable[row].Group == group &&
                         button < FractionButtonCount;
         ++row, ++button) {
        FractionButtonList[button]->SetCaption(
            FractionText(UnifiedSizeTable[row].Numerator, UnifiedSizeTable[row].Denominator));
        FractionButtonList[button]->SetVisible(true);
    }
}

void TfwAnsiAsme1::ReadFraction()
{
    const int i = CheckedFraction();
    if (i < 0)
        return;
    const TUnifiedSize& size = UnifiedSizeTable[InchThread.GroupFirstRow + i];
    InchThread.Numerator = size.Numerator;
    InchThread.Denominator = size.Denominator;
    InchThread.Diameter = size.D;
    InchThread.SizeIndex = i;
}

void TfwAnsiAsme1::FillSeriesPage()
{
    for (TRadioButton* button : PitchButtonList)
        button->SetVisible(false);
    FPitchCount = 0;
    const int row = InchThread.GroupFirstRow + InchThread.SizeIndex;
    if (row < 0 || row >= UnifiedSizeCount)
        return;
    const TUnifiedSize& size = UnifiedSizeTable[row];
    const bool j = cJprofile->Checked();
    auto add = [this](int series, double tpi, const QString& caption) {
        FSeries[FPitchCount] = series;
        FTpi[FPitchCount] = tpi;
        PitchButtonList[FPitchCount]->SetCaption(caption);
        PitchButtonList[FPitchCount]->SetVisible(true);
        ++FPitchCount;
    };
    if (size.Coarse != 0)
        add(SeriesCoarse, size.Coarse, Format(j ? QStringLiteral("%g UNJC") : QStringLiteral("%g UNC"), size.Coarse));
    if (size.Fine != 0)
        add(SeriesFine, size.Fine, Format(j ? QStringLiteral("%d UNJF") : QStringLiteral("%d UNF"), size.Fine));
    if (size.ExtraFine != 0)
        add(SeriesExtraFine, size.ExtraFine,
            Format(j ? QStringLiteral("%d UNJEF") : QStringLiteral("%d UNEF"), size.ExtraFine));
    for (int k = 0; k < 6 && size.Constant[k] != 0; ++k)
        add(SeriesConstant + k, size.Constant[k],
            Format(j ? QStringLiteral("%d UNJ") : QStringLiteral("%d UN"), size.Constant[k]));
}

void TfwAnsiAsme1::ReadSeries()
{
    const int i = CheckedPitch();
    if (i < 0)
        return;
    InchThread.Series = FSeries[i];
    InchThread.Tpi = FTpi[i];
}

void TfwAnsiAsme1::FillClassPage()
{
    rT1->SetEnabled(true);
    rT2->SetEnabled(true);
    const int group = InchThread.GaugeType.Group;
    const QString letter = group == 2 || group == 4 ? QStringLiteral("B") : QStringLiteral("A");
    rT1->SetCaption(QStringLiteral("1") + letter);
    rT2->SetCaption(QStringLiteral("2") + letter);
    rT3->SetCaption(QStringLiteral("3") + letter);
    if (cJprofile->Checked()) {
        rT1->SetEnabled(false);
        rT2->SetEnabled(false);
        rT3->SetChecked(true);
    }
}

void TfwAnsiAsme1::ReadClass()
{
    if (rT1->Checked())
        InchThread.ToleranceClass = 0;
    else if (rT2->Checked())
        InchThread.ToleranceClass = 1;
    else if (rT3->Checked())
        InchThread.ToleranceClass = 2;
}

// Index of the chosen size: only the buttons shown for the group count.
int TfwAnsiAsme1::CheckedFraction() const
{
    return CheckedShown(FractionButtonList, FractionButtonCount);
}

int TfwAnsiAsme1::CheckedPitch() const
{
    return CheckedShown(PitchButtonList, FPitchCount);
}

// Shows a page. The wizards of gauge groups 4 and 5 offer no UNS and so
// begin on the diameter page: Back is offered above the first page only.
void TfwAnsiAsme1::GoToPage(int page)
{
    const int group = InchThread.GaugeType.Group;
    const int first = group == 4 || group == 5 ? PageDiameter : PageType;
    if (page < first)
        page = first;
    PageControl1->SetActivePageIndex(page);
    bBack->SetEnabled(page > first);
    UpdateNext();
}

// Next goes on from the size and pitch pages only with a choice made.
void TfwAnsiAsme1::UpdateNext()
{
    switch (PageControl1->ActivePageIndex()) {
    case PageFraction:
        bNext->SetEnabled(CheckedFraction() >= 0);
        break;
    case PagePitch:
        bNext->SetEnabled(CheckedPitch() >= 0);
        break;
    default:
        bNext->SetEnabled(true);
        break;
    }
}

namespace {

int CheckedShown(const TWizardButtonList& list, int count)
{
    for (int i = 0; i < count && i < int(list.size()); ++i) {
        if (list[i]->Visible() && list[i]->Checked())
            return i;
    }
    return -1;
}

} // namespace
