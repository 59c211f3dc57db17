#include "gauges/Utwwhitworth.h"

#include "app/core/Unan.h"
#include "platform/os/Modules.h"
#include "platform/rtl/NumberText.h"

#include <cmath>

TfTwWhitworth* fTwWhitworth = nullptr;

// British Standard Whitworth coarse series (BS 84): nominal size in inches
// and threads per inch, in the order of the size buttons.
const TWhitworthSize BswSizeTable[WhitworthSizeCount] = {
    {1.0 / 8, 40},        {3.0 / 16, 24},   {1.0 / 4, 20},    {5.0 / 16, 18},       {3.0 / 8, 16},
    {7.0 / 16, 14},       {1.0 / 2, 12},    {9.0 / 16, 12},   {5.0 / 8, 11},        {11.0 / 16, 11},
    {3.0 / 4, 10},        {7.0 / 8, 9},     {1, 8},           {1 + 1.0 / 8, 7},     {1 + 1.0 / 4, 7},
    {1 + 1.0 / 2, 6},     {1 + 3.0 / 4, 5}, {2, 4.5},         {2 + 1.0 / 4, 4},     {2 + 1.0 / 2, 4},
    {2 + 3.0 / 4, 3.5},   {3, 3.5},         {3 + 1.0 / 4, 3.25}, {3 + 1.0 / 2, 3.25}, {3 + 3.0 / 4, 3},
    {4, 3},               {4 + 1.0 / 2, 2.875}, {5, 2.75},    {5 + 1.0 / 2, 2.625}, {6, 2.5},
};

// British Standard Fine series (BS 84): nominal size in inches and threads
// per inch, in the order of the size buttons.
const TWhitworthSize BsfSizeTable[WhitworthSizeCount] = {
    {3.0 / 16, 32},     {7.0 / 32, 28},     {1.0 / 4, 26},      {9.0 / 32, 26},     {5.0 / 16, 22},
    {3.0 / 8, 20},      {7.0 / 16, 18},     {1.0 / 2, 16},      {9.0 / 16, 16},     {5.0 / 8, 14},
    {11.0 / 16, 14},    {3.0 / 4, 12},      {7.0 / 8, 11},      {1, 10},            {1 + 1.0 / 8, 9},
    {1 + 1.0 / 4, 9},   {1 + 3.0 / 8, 8},   {1 + 1.0 / 2, 8},   {1 + 5.0 / 8, 8},   {1 + 3.0 / 4, 7},
    {2, 7},             {2 + 1.0 / 4, 6},   {2 + 1.0 / 2, 6},   {2 + 3.0 / 4, 6},   {3, 5},
    {3 + 1.0 / 4, 5},   {3 + 1.0 / 2, 4.5}, {3 + 3.0 / 4, 4.5}, {4, 4.5},           {4 + 1.0 / 4, 4},
};

namespace {

constexpr int TextNormal = 696;
constexpr int TextFree = 697;
constexpr int ThreadKindTable = 0;
constexpr int ThreadKindFree = 2;
constexpr double InchPerMillimetre = 0.03937007874015748;

// A designation names the thread as the standard does, the same in every
// language: its words are fixed here rather than taken from the captions,
// which a language file translates.
constexpr const char* DesignationSeries[] = {"BSW", "BSF", "Whitworth S"}; // by SeriesBsw ...
constexpr const char* DesignationClass[] = {"Close", "Medium", "Normal", "Free"}; // by ToleranceClass

// The size of a series row as the standard writes it: "1/8", "1 1/8", "2".
// Every row is a whole number of 32nds of an inch.
QString SizeText(double inches)
{
    const int n32 = int(std::lround(inches * 32));
    int numerator = n32 % 32;
    int denominator = 32;
    while (numerator != 0 && numerator % 2 == 0) {
        numerator /= 2;
        denominator /= 2;
    }
    const QString fraction = numerator == 0 ? QString() : FractionText(numerator, denominator);
    if (n32 / 32 == 0)
        return fraction;
    return QString::number(n32 / 32) + (fraction.isEmpty() ? QString() : QLatin1Char(' ') + fraction);
}

template <size_t N> int CheckedIndex(const std::array<TRadioButton*, N>& buttons)
{
    for (size_t i = 0; i < N; ++i) {
        if (buttons[i]->Checked())
            return int(i);
    }
    return -1;
}

// The reference and check plugs carry " Ref." in their designation.
bool IsReferenceGauge(const CALIBRETYPE& type)
{
    const int key = type.Group * 100 + type.Item;
    return key == 3 || (key >= 102 && key <= 104);
}

} // namespace

TfTwWhitworth::TfTwWhitworth(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TfTwWhitworth::FormShow);
    BindMethod("bNextClick", &TfTwWhitworth::bNextClick);
    BindMethod("bBackClick", &TfTwWhitworth::bBackClick);
    LoadForm();
    pcWW = RequireOwned<TPageControl>(this, "pcWW");
    rTBSW = RequireOwned<TRadioButton>(this, "rTBSW");
    rTBSF = RequireOwned<TRadioButton>(this, "rTBSF");
    rTWS = RequireOwned<TRadioButton>(this, "rTWS");
    for (int i = 0; i < WhitworthSizeCount; ++i) {
        rBSW[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rBSW%1").arg(i + 1));
        rBSF[i] = RequireOwned<TRadioButton>(this, QStringLiteral("rBSF%1").arg(i + 1));
    }
    eD = RequireOwned<TEdit>(this, "eD");
    eTPI = RequireOwned<TEdit>(this, "eTPI");
    cInch = RequireOwned<TComboBox>(this, "cInch");
    rClose = RequireOwned<TRadioButton>(this, "rClose");
    rMedium = RequireOwned<TRadioButton>(this, "rMedium");
    rNormalFree = RequireOwned<TRadioButton>(this, "rNormalFree");
    cExtraToll = RequireOwned<TCheckBox>(this, "cExtraToll");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    bBack = RequireOwned<TButton>(this, "bBack");
    bNext = RequireOwned<TButton>(this, "bNext");
    for (int i = 0; i < pcWW->PageCount(); ++i)
        pcWW->Pages(i)->SetTabVisible(false);
}

void TfTwWhitworth::FormShow(TObject*)
{
    GoToPage(PageType);
    cInch->SetItemIndex(ItemInch);
    rTBSW->SetChecked(true);
    bNext->SetEnabled(true);
    rNormalFree->SetCaption(LoadStr(Ring() ? TextFree : TextNormal));
}

void TfTwWhitworth::bNextClick(TObject*)
{
    switch (pcWW->ActivePageIndex()) {
    case PageType:
        if (rTBSW->Checked()) {
            ThreadKind = ThreadKindTable;
            GoToPage(PageBsw);
        } else if (rTBSF->Checked()) {
            ThreadKind = ThreadKindTable;
            GoToPage(PageBsf);
        } else {
            ThreadKind = ThreadKindFree;
            GoToPage(PageFree);
        }
        break;
    case PageBsw:
        ReadTableSize(rBSW, BswSizeTable, SeriesBsw);
        GoToPage(PageClass);
        break;
    case PageBsf:
        ReadTableSize(rBSF, BsfSizeTable, SeriesBsf);
        GoToPage(PageClass);
        break;
    case PageFree:
        // A text that is no number raises the conversion error; the wizard
        // stays on this page.
        ReadFreeSize();
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

void TfTwWhitworth::bBackClick(TObject*)
{
    switch (pcWW->ActivePageIndex()) {
    case PageBsw:
    case PageBsf:
    case PageFree:
        GoToPage(PageType);
        break;
    case PageClass:
        GoToPage(rTBSW->Checked() ? PageBsw : rTBSF->Checked() ? PageBsf : PageFree);
        break;
    default:
        break;
    }
}

bool TfTwWhitworth::Ring() const
{
    return GaugeType && GaugeType->Ring != 0;
}

// A size of a series: the checked button (the first when none) and its row.
void TfTwWhitworth::ReadTableSize(const std::array<TRadioButton*, WhitworthSizeCount>& buttons,
                                  const TWhitworthSize* table, int series)
{
    const int checked = CheckedIndex(buttons);
    const int i = checked < 0 ? 0 : checked;
    Diameter = table[i].D;
    Tpi = table[i].Tpi;
    Designation = SizeText(Diameter) + QStringLiteral(" in - ") + FloatToStr(Tpi) + QLatin1Char(' ') +
                  QLatin1String(DesignationSeries[series]);
}

void TfTwWhitworth::ReadFreeSize()
{
    Designation.clear();
    double diameter = ReadNumber(eD->Text());
    if (cInch->ItemIndex() == ItemMillimetre)
        diameter *= InchPerMillimetre;
    const double tpi = ReadNumber(eTPI->Text());
    Diameter = diameter;
    Tpi = tpi;
    Designation = FloatToStr(Diameter) + QStringLiteral(" in - ") + FloatToStr(Tpi) + QLatin1Char(' ') +
                  QLatin1String(DesignationSeries[SeriesFree]);
}

void TfTwWhitworth::ReadClass()
{
    const TRadioButton* chosen = rClose;
    if (rClose->Checked()) {
        ToleranceClass = 0;
    } else if (rMedium->Checked()) {
        ToleranceClass = 1;
        chosen = rMedium;
    } else if (rNormalFree->Checked()) {
        ToleranceClass = Ring() ? 3 : 2;
        chosen = rNormalFree;
    }
    ClassText = chosen->Caption();
    Designation += QStringLiteral(" (") + QLatin1String(DesignationClass[ToleranceClass]) + QLatin1Char(')');
    WideTolerance = cExtraToll->Checked();
    if (GaugeType && IsReferenceGauge(*GaugeType))
        Designation += QStringLiteral(" Ref.");
}

void TfTwWhitworth::GoToPage(int page)
{
    pcWW->SetActivePageIndex(page);
    bBack->SetEnabled(page != PageType);
}
