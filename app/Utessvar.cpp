#include "app/Utessvar.h"

#include "app/Uisoguide.h"
#include "app/Unumberedit.h"
#include "app/Upictures.h"
#include "app/Uqfili.h"
#include "app/Ureportprint.h"
#include "app/core/Iregistry.h"
#include "app/core/Uconvert.h"
#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "localization/LocOnFly.h"
#include "platform/forms/MessageService.h"
#include "platform/os/Modules.h"
#include "platform/os/VersionInfo.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"
#include "report/components/QpZarv.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPalette>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QUrl>

#include <array>
#include <cmath>
#include <utility>

TfTessvar* fTessvar = nullptr;

namespace {

// String-table texts of this window.
constexpr int FamilyNameText = 800; // + family: the picker's caption
constexpr int AttentionCaption = 999;
constexpr int MeasureTitleText = 102;
constexpr int ValuesInMmText = 504;
constexpr int ValuesInInchesText = 505;
constexpr int LanguageQuestion = 964; // "Impostare la lingua come predefinita ?"
constexpr uint32_t LanguageLocale = 2; // the language the hidden button switches to
constexpr int ExtremeTemperatureText = 2000;
constexpr int WireSizeText = 2001;
constexpr int MissingDiameterText = 2002;
constexpr int MissingPitchText = 2003;
constexpr int MissingWireText = 2004; // 2005 on the sphere pages
constexpr int NotCalculatedText = 2007;
// A reading the page's probe cannot give, by page: wire, arms, sphere.
constexpr int ReadingNotValidText[] = {2006, 2008, 2009};
constexpr int MissingAnglesText = 2010;
constexpr int MissingForceText = 2011;
constexpr int MissingStartsText = 2012;
constexpr int NoReadingText = 2013;      // a limit no reading over wires converts to
constexpr int ForceNotValidText = 2014;
constexpr int LengthNotValidText = 2015;
constexpr int BelowAbsoluteZeroText = 2016;
constexpr int WireGroupText = 680;       // 681 on the sphere pages
constexpr int TheoreticalWireText = 682; // 683
constexpr int ReadingOnWireText = 684;   // 685

constexpr double Pi = 3.141592653589793;
constexpr double OneOver180 = 1.0 / 180.0;

// Thermal expansion coefficients in 1e-6 per kelvin, by item of the material
// combo; the last item ("custom") takes the typed coefficient.
struct TMaterial {
    double Coefficient;
    const char* Text;
};
constexpr std::array<TMaterial, 10> Materials = {{
    {11.5, "11.5"}, // steel
    {23.6, "23.6"}, // aluminium
    {4.5, "4.5"},   // carbide
    {17.0, "17.0"}, // copper
    {16.0, "16.0"}, // stainless steel
    {20.0, "20.0"}, // brass
    {13.3, "13.3"}, // nickel
    {14.2, "14.2"}, // gold
    {19.7, "19.7"}, // silver
    {8.0, "8.0"},   // titanium
}};
constexpr double ReferenceTemperature_C = 20.0;
constexpr double ColdLimit_C = -20.0; // outside these the coefficients are not accurate
constexpr double HotLimit_C = 300.0;

// --- Converter factors --------------------------------------------------
// Each converter brings the source value to its base unit (mm, °C, Kg,
// degree, atm) and from there to the target unit. The items of the unit
// combos come in this order.
enum LengthUnit { Millimetre, Metre, Kilometre, Inch, Foot, Mile };
enum TemperatureUnit { Celsius, Fahrenheit, Kelvin };
enum MassUnit { Kilogram, Gram, Pound, Ounce };
enum AngleUnit { Degree, Sexagesimal, Radian };
enum PressureUnit { Atmosphere, Bar, Psi };

// The reciprocals of the length factors, held in extended precision so that
// a conversion and its way back meet again.
constexpr long double InchPerMm = 1.0L / 25.4L;
constexpr long double FootPerMm = 1.0L / 304.8L;
constexpr long double MilePerMm = 1.0L / 1609344.0L;
constexpr double OneOverPi = 0.3183098861837907;

// Absolute zero in each temperature unit, by item of the converter's and
// the thermal tool's unit combos (°C, °F, K). A temperature is compared
// with it in the unit it was typed in, so that absolute zero typed in any
// unit is never refused by the rounding of a conversion.
constexpr double AbsoluteZero[] = {-273.15, -459.67, 0.0};
bool BelowAbsoluteZero(double temperature, int unit)
{
    return unit >= 0 && unit < int(std::size(AbsoluteZero)) && temperature < AbsoluteZero[unit];
}

double ToBase(TConverterKind kind, double value, int unit);
double FromBase(TConverterKind kind, double base, int unit);
// "dd.mm.ss" of an angle in degrees, rounded to whole seconds.
QString SexagesimalText(double degrees);

void Attention(int text)
{
    ShowMessageBox(LoadStr(text), LoadStr(AttentionCaption), TMsgIcon::Question, TMsgButtons::OK);
}

[[noreturn]] void InvalidFloatingPointOperation()
{
    throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
}

[[noreturn]] void NotANumber(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

// A plain number typed by the user, "." or "," as its decimal separator
// whatever the locale; while typing, false for a text that is not a number
// (yet) instead of the conversion error.
bool PlainNumber(const QString& text, bool typing, double& value)
{
    if (typing)
        return TryReadNumber(text, value);
    value = ReadNumber(text);
    return true;
}

TCustomForm* ProgramForm(const QString& name)
{
    TApplication* application = Application();
    return application ? dynamic_cast<TCustomForm*>(application->FindComponent(name)) : nullptr;
}

void SetShown(std::initializer_list<TControl*> controls, bool visible)
{
    for (TControl* control : controls)
        control->SetVisible(visible);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

TfTessvar::TfTessvar(TComponent* owner) : TForm(owner)
{
    BindHandlers();
    LoadForm();
    FindControls();
    // The pictures of the other pages are decoded when their page first
    // shows (PageEntered), not while the program starts.
    LoadResourcePicture(imgTolerance, ToleranceTabPicture);
    // The results of the converters sit in disabled edits; their text keeps
    // the normal colour so that it stays readable on the information colour.
    for (TEdit* result : {eEnd, eEndT, eEndM, eEndA, eEndP, eCoExp1, eCoExp2}) {
        QPalette palette = result->EditWidget()->palette();
        palette.setColor(QPalette::Disabled, QPalette::Text, palette.color(QPalette::Active, QPalette::Text));
        result->EditWidget()->setPalette(palette);
    }

    // A page becomes active by the user's tab or by code (the process
    // windows switch to "Measures" after filling in limits): either way its
    // enter handler sets the Go and No-go fields up at once, rather than
    // when the focus first reaches a control on it.
    FSignals = std::make_unique<QObject>();
    if (auto* stack = pTab->Widget()->findChild<QStackedWidget*>()) {
        QObject::connect(stack, &QStackedWidget::currentChanged, FSignals.get(),
                         [this](int) { GuardEvent([this] { PageEntered(); }); });
    }
    // The converter has no Calculate: the end of typing in the temperature
    // source is where a refusal is said.
    QObject::connect(eStartT->EditWidget(), &QLineEdit::editingFinished, FSignals.get(),
                     [this] { GuardEvent([this] { TemperatureEntered(); }); });
}

TfTessvar::~TfTessvar()
{
    FSignals.reset();
    if (fTessvar == this)
        fTessvar = nullptr;
}

void TfTessvar::BindHandlers()
{
    BindMethod("FormShow", &TfTessvar::FormShow);
    BindMethod("FormClose", &TfTessvar::FormClose);
    BindMethod("bISOClick", &TfTessvar::bISOClick);
    BindMethod("rMMClick", &TfTessvar::rMMClick);
    BindMethod("rCalibriClick", &TfTessvar::rCalibriClick);
    BindMethod("rWorkpieceClick", &TfTessvar::rWorkpieceClick);
    BindMethod("bMetricStdClick", &TfTessvar::bMetricStdClick);
    BindMethod("bLanguageClick", &TfTessvar::bLanguageClick);
    BindMethod("lwwwdravinelClick", &TfTessvar::lwwwdravinelClick);
    BindMethod("bExitClick", &TfTessvar::bExitClick);
    BindMethod("pTabChange", &TfTessvar::pTabChange);
    BindMethod("eTDChange", &TfTessvar::eTDChange);
    BindMethod("Button1Click", &TfTessvar::Button1Click);
    BindMethod("Button2Click", &TfTessvar::Button2Click);
    BindMethod("bFiloTeorClick", &TfTessvar::bFiloTeorClick);
    BindMethod("bQfiliClick", &TfTessvar::bQfiliClick);
    BindMethod("bPrintClick", &TfTessvar::bPrintClick);
    BindMethod("pcConvertChange", &TfTessvar::pcConvertChange);
    BindMethod("MeasureInputChange", &TfTessvar::MeasureInputChange);
    BindMethod("tabMisEnter", &TfTessvar::tabMisEnter);
    BindMethod("tabTollEnter", &TfTessvar::tabTollEnter);
    BindMethod("ConvertClick", &TfTessvar::ConvertClick);
    BindMethod("ConvertTClick", &TfTessvar::ConvertTClick);
    BindMethod("ConvertMClick", &TfTessvar::ConvertMClick);
    BindMethod("ConvertAClick", &TfTessvar::ConvertAClick);
    BindMethod("ConvertPClick", &TfTessvar::ConvertPClick);
    BindMethod("cEndChange", &TfTessvar::cEndChange);
    BindMethod("cEndTChange", &TfTessvar::cEndTChange);
    BindMethod("cEndMChange", &TfTessvar::cEndMChange);
    BindMethod("cEndAChange", &TfTessvar::cEndAChange);
    BindMethod("cEndPChange", &TfTessvar::cEndPChange);
    BindMethod("bSwitchClick", &TfTessvar::bSwitchClick);
    BindMethod("bSwitchTClick", &TfTessvar::bSwitchTClick);
    BindMethod("bSwitchMClick", &TfTessvar::bSwitchMClick);
    BindMethod("bSwitchAClick", &TfTessvar::bSwitchAClick);
    BindMethod("bSwitchPClick", &TfTessvar::bSwitchPClick);
    BindMethod("eTemp1Change", &TfTessvar::eTemp1Change);
    BindMethod("eTemp2Change", &TfTessvar::eTemp2Change);
    BindMethod("bCalc1Click", &TfTessvar::bCalc1Click);
    BindMethod("bCalc2Click", &TfTessvar::bCalc2Click);
    BindMethod("cMaterialChange", &TfTessvar::cMaterialChange);
    BindMethod("cMaterial2Change", &TfTessvar::cMaterial2Change);
    BindMethod("cTunitChange", &TfTessvar::cTunitChange);
    BindMethod("cTunit2Change", &TfTessvar::cTunit2Change);
}

void TfTessvar::FindControls()
{
    auto find = [this](auto*& control, const char* name) {
        control = RequireOwned<std::remove_reference_t<decltype(*control)>>(this, QString::fromLatin1(name));
    };
#define TESSVAR_FIND(name) find(name, #name)
    TESSVAR_FIND(pTab);
    TESSVAR_FIND(tabToll);
    TESSVAR_FIND(tabMis);
    TESSVAR_FIND(tabUnit);
    TESSVAR_FIND(tabTools);
    TESSVAR_FIND(imgTolerance);
    TESSVAR_FIND(bISO);
    TESSVAR_FIND(bAnsiAsme);
    TESSVAR_FIND(bSCA);
    TESSVAR_FIND(bSpecial);
    TESSVAR_FIND(bGAS);
    TESSVAR_FIND(bBUTTRESS);
    TESSVAR_FIND(bWhitworth);
    TESSVAR_FIND(rCalibri);
    TESSVAR_FIND(rWorkpiece);
    TESSVAR_FIND(bMetricStd);
    TESSVAR_FIND(cPreview);
    TESSVAR_FIND(rMM);
    TESSVAR_FIND(rINCH);
    TESSVAR_FIND(bLanguage);
    TESSVAR_FIND(lVersion);
    TESSVAR_FIND(lwwwdravinel);
    TESSVAR_FIND(bExit);
    TESSVAR_FIND(pcConvert);
    TESSVAR_FIND(tb3Wire);
    TESSVAR_FIND(tbStaffe);
    TESSVAR_FIND(tbTsphere);
    TESSVAR_FIND(img3Wire);
    TESSVAR_FIND(imgStaffe);
    TESSVAR_FIND(imgTsphere);
    TESSVAR_FIND(eTD);
    TESSVAR_FIND(eCP);
    TESSVAR_FIND(eNP);
    TESSVAR_FIND(eCA);
    TESSVAR_FIND(eAG);
    TESSVAR_FIND(gbFilo);
    TESSVAR_FIND(eAD);
    TESSVAR_FIND(cbMA);
    TESSVAR_FIND(eForce);
    TESSVAR_FIND(cSpecial);
    TESSVAR_FIND(lFilo);
    TESSVAR_FIND(lTP2);
    TESSVAR_FIND(lTNP2);
    TESSVAR_FIND(StaticText2);
    TESSVAR_FIND(eRead);
    TESSVAR_FIND(eReadNP);
    TESSVAR_FIND(Button1);
    TESSVAR_FIND(Button2);
    TESSVAR_FIND(eResult);
    TESSVAR_FIND(eResultNP);
    TESSVAR_FIND(lTP);
    TESSVAR_FIND(lTNP);
    TESSVAR_FIND(eTsupP);
    TESSVAR_FIND(eTinfP);
    TESSVAR_FIND(eTsupNP);
    TESSVAR_FIND(eTinfNP);
    TESSVAR_FIND(bQfili);
    TESSVAR_FIND(bFiloTeor);
    TESSVAR_FIND(eFiloTeor);
    TESSVAR_FIND(eCodice);
    TESSVAR_FIND(eNote);
    TESSVAR_FIND(bPrint);
    TESSVAR_FIND(ZvProject1);
    TESSVAR_FIND(Label4);
    TESSVAR_FIND(Label5);
    TESSVAR_FIND(Label6);
    TESSVAR_FIND(Label7);
    TESSVAR_FIND(Label8);
    TESSVAR_FIND(Label13);
    TESSVAR_FIND(Label15);
    TESSVAR_FIND(Label28);
    TESSVAR_FIND(eStart);
    TESSVAR_FIND(cStart);
    TESSVAR_FIND(eEnd);
    TESSVAR_FIND(cEnd);
    TESSVAR_FIND(bSwitch);
    TESSVAR_FIND(eStartT);
    TESSVAR_FIND(cStartT);
    TESSVAR_FIND(eEndT);
    TESSVAR_FIND(cEndT);
    TESSVAR_FIND(bSwitchT);
    TESSVAR_FIND(eStartM);
    TESSVAR_FIND(cStartM);
    TESSVAR_FIND(eEndM);
    TESSVAR_FIND(cEndM);
    TESSVAR_FIND(bSwitchM);
    TESSVAR_FIND(eStartA);
    TESSVAR_FIND(cStartA);
    TESSVAR_FIND(eEndA);
    TESSVAR_FIND(cEndA);
    TESSVAR_FIND(bSwitchA);
    TESSVAR_FIND(eStartP);
    TESSVAR_FIND(cStartP);
    TESSVAR_FIND(eEndP);
    TESSVAR_FIND(cEndP);
    TESSVAR_FIND(bSwitchP);
    TESSVAR_FIND(imgThermal);
    TESSVAR_FIND(eLung1);
    TESSVAR_FIND(eTemp1);
    TESSVAR_FIND(cTunit);
    TESSVAR_FIND(cMaterial);
    TESSVAR_FIND(eCoExp1);
    TESSVAR_FIND(bCalc1);
    TESSVAR_FIND(eLungStd1);
    TESSVAR_FIND(eDlung1);
    TESSVAR_FIND(eLung2);
    TESSVAR_FIND(eTemp2);
    TESSVAR_FIND(cTunit2);
    TESSVAR_FIND(cMaterial2);
    TESSVAR_FIND(eCoExp2);
    TESSVAR_FIND(bCalc2);
    TESSVAR_FIND(eLungStd2);
    TESSVAR_FIND(eDlung2);
#undef TESSVAR_FIND
}

// ---------------------------------------------------------------------------
// Start-up, settings, mode and unit

void TfTessvar::FormShow(TObject*)
{
    // The window may be hidden and shown again (minimised, restored by the
    // window manager): the start-up runs once.
    if (FShown)
        return;
    FShown = true;

    cbMA->SetItemIndex(0);
    cStart->SetItemIndex(Millimetre);
    cEnd->SetItemIndex(Inch);
    cStartT->SetItemIndex(Celsius);
    cEndT->SetItemIndex(Fahrenheit);
    cStartM->SetItemIndex(Kilogram);
    cEndM->SetItemIndex(Pound);
    cStartA->SetItemIndex(Degree);
    cEndA->SetItemIndex(Radian);
    cStartP->SetItemIndex(Atmosphere);
    cEndP->SetItemIndex(Psi);

    MmResolution = 0;
    InchResolution = 0;
    MainDisplay.Reset();
    pTab->SetActivePageIndex(0);

    cMaterial->SetItemIndex(0);
    cMaterial2->SetItemIndex(0);
    eCoExp1->SetText(QString::fromLatin1(Materials[0].Text));
    eCoExp2->SetText(QString::fromLatin1(Materials[0].Text));
    cTunit->SetItemIndex(Celsius);
    cTunit2->SetItemIndex(Celsius);

    ReadSettings();

    Refreshing = false;
    LengthList.Clear();
    LengthList.Readout().Assign(MainDisplay);
    BindLengthEdits();

    VersionText = ProgramVersionText();
    lVersion->SetCaption(VersionText);

    // Checking runs rMMClick, which brings both readouts and the bound edits
    // to the unit; a button checked already by the form is clicked here.
    TRadioButton* unitButton = MainDisplay.GetUnit() == 0 ? rMM : rINCH;
    if (unitButton->Checked())
        rMMClick(unitButton);
    else
        unitButton->SetChecked(true);

    FillTypeCatalogue(TypeCatalogue);
}

void TfTessvar::ReadSettings()
{
    UsaUsaFlag = false;
    bool preview = false;
    int unit = 0;
    // A settings file that cannot be read leaves every setting at its
    // default; the start-up goes on.
    try {
        SetIRegistryFolder(TessvarDataFolder);
        TIRegistry settings;
        settings.SetRootKey(HKEY_LOCAL_MACHINE);
        settings.OpenKey(TessvarSettingsKey, true);
        if (settings.ValueExists(QStringLiteral("UsaUsa")))
            UsaUsaFlag = settings.ReadBool(QStringLiteral("UsaUsa"));
        if (settings.ValueExists(QStringLiteral("Preview")))
            preview = settings.ReadBool(QStringLiteral("Preview"));
        if (settings.ValueExists(QStringLiteral("Unit")))
            unit = settings.ReadInteger(QStringLiteral("Unit"));
        // "language" is written by the language switch and not used here.
        settings.CloseKey();
    } catch (const Exception&) {
        UsaUsaFlag = false;
        preview = false;
        unit = 0;
    }
    cPreview->SetChecked(preview);
    MainDisplay.SetUnit(unit);
}

void TfTessvar::BindLengthEdits()
{
    for (TEdit* edit : {eTD, eCP, eAD, eRead, eReadNP, eResult, eResultNP, eFiloTeor, eTsupP, eTsupNP, eTinfP,
                        eTinfNP, eLung1, eLungStd1, eDlung1, eLung2, eLungStd2, eDlung2})
        LengthList.Add(NumberEditOf(edit), NanValue());
    RefreshLengths();
}

void TfTessvar::RefreshLengths()
{
    RewriteLengths(nullptr);
}

void TfTessvar::RewriteLengths(TNumberEdit* only)
{
    // The texts the list writes are no typing: the change handler leaves
    // them alone, also when a write fails.
    const QScopedValueRollback<bool> refreshing(Refreshing, true);
    if (only)
        LengthList.Refresh(only);
    else
        LengthList.Refresh();
}

void TfTessvar::FormClose(TObject*, TCloseAction&)
{
    UpdateReg();
}

void TfTessvar::UpdateReg()
{
    TIRegistry settings;
    settings.SetFolder(TessvarDataFolder);
    settings.SetRootKey(HKEY_LOCAL_MACHINE);
    settings.OpenKey(TessvarSettingsKey, true);
    settings.WriteBool(QStringLiteral("Preview"), cPreview->Checked());
    settings.WriteInteger(QStringLiteral("Unit"), MainDisplay.GetUnit());
    settings.CloseKey();
}

void TfTessvar::bExitClick(TObject*)
{
    UpdateReg();
    if (TApplication* application = Application())
        application->Terminate();
}

void TfTessvar::bISOClick(TObject* sender)
{
    const std::pair<TButton*, int> families[] = {
        {bISO, 0}, {bAnsiAsme, 1}, {bSCA, 2}, {bSpecial, 3}, {bGAS, 4}, {bBUTTRESS, 5}, {bWhitworth, 6},
    };
    int family = -1;
    for (const auto& [button, value] : families) {
        if (sender == button)
            family = value;
    }
    if (family < 0)
        return;

    bool gauge;
    if (rCalibri->Checked())
        gauge = true;
    else if (rWorkpiece->Checked())
        gauge = false;
    else
        return;

    CurrentType.Family = family;
    TCustomForm* picker =
        ProgramForm(gauge ? QStringLiteral("fCalibreSelect") : QStringLiteral("fCalibreSelect2"));
    if (!picker)
        return;
    picker->SetCaption(LoadStr(FamilyNameText + family));
    if (picker->ShowModal() != mrOk)
        return;
    if (!TypeCatalogue.Find(CurrentType))
        return;
    if (TCustomForm* process = ProgramForm(gauge ? QStringLiteral("fProcess") : QStringLiteral("fProcess2")))
        process->ShowModal();
}

void TfTessvar::rMMClick(TObject*)
{
    const bool mm = rMM->Checked();
    if (mm) {
        MainDisplay.SetUnit(0);
        MainDisplay.SetResolution(MmResolution);
    } else if (rINCH->Checked()) {
        MainDisplay.SetUnit(1);
        MainDisplay.SetResolution(InchResolution);
    }
    DISPLAY& listReadout = LengthList.Readout();
    listReadout.SetUnit(mm ? 0 : 1);
    listReadout.SetResolution(mm ? MmResolution : InchResolution);
    RefreshLengths();
}

void TfTessvar::rCalibriClick(TObject*)
{
    bGAS->Show();
}

void TfTessvar::rWorkpieceClick(TObject*)
{
    bGAS->Hide();
}

void TfTessvar::bMetricStdClick(TObject*)
{
    if (fIsoguide)
        fIsoguide->ShowModal();
}

void TfTessvar::bLanguageClick(TObject*)
{
    // The localizer reports its own failures (the "Localizer Error" box) and
    // then returns; the question offers to keep the language, so it is asked
    // only after a switch that took effect.
    TKLocalizerOnFly* localizer = LocalizerOnFly();
    if (!localizer || !localizer->Init(QString()) || !localizer->SwitchTo(LanguageLocale))
        return;
    if (ShowMessageBox(LoadStr(LanguageQuestion), LoadStr(AttentionCaption), TMsgIcon::Question,
                       TMsgButtons::YesNo) != IDYES)
        return;
    TIRegistry settings;
    settings.SetFolder(TessvarDataFolder);
    settings.SetRootKey(HKEY_LOCAL_MACHINE);
    settings.OpenKey(TessvarSettingsKey, false);
    settings.WriteFloat(QStringLiteral("language"), LanguageLocale);
    settings.CloseKey();
}

void TfTessvar::lwwwdravinelClick(TObject*)
{
    QDesktopServices::openUrl(QUrl(MakerWebAddress));
}

void TfTessvar::pTabChange(TObject*) {}

void TfTessvar::eTDChange(TObject* sender)
{
    // A rewrite in another unit changes no value: the results stay.
    if (Refreshing)
        return;
    LengthList.ReadEdit(NumberEditOf(dynamic_cast<TEdit*>(sender)));
    EmptyResultsOf(sender);
    // The thermal tool's results follow its length as they follow its
    // temperature; the length being typed keeps its text.
    for (int calculator : {1, 2}) {
        if (sender == Thermal(calculator).Length)
            RunThermal(calculator, true, true);
    }
}

// ---------------------------------------------------------------------------
// Measuring tab

double TfTessvar::InputLength(TEdit* edit)
{
    // A text the window wrote stands for the value held, which its digits
    // round in either unit; a text typed is taken in the unit of the moment.
    const double mm = LengthList.LengthOf(NumberEditOf(edit)).Value;
    if (IsNan(mm))
        NotANumber(edit->Text());
    if (!std::isfinite(mm))
        InvalidFloatingPointOperation();
    return mm;
}

bool TfTessvar::RequiredLength(TEdit* edit, int missingText, double& mm)
{
    if (edit->Text().trimmed().isEmpty()) {
        Attention(missingText);
        return false;
    }
    mm = InputLength(edit);
    return true;
}

bool TfTessvar::RequiredNumber(TEdit* edit, int missingText, double& value)
{
    if (edit->Text().trimmed().isEmpty()) {
        Attention(missingText);
        return false;
    }
    PlainNumber(edit->Text(), false, value);
    return true;
}

bool TfTessvar::SemiAngles(double& semiAngle1, double& semiAngle2)
{
    return RequiredNumber(eCA, MissingAnglesText, semiAngle1) && RequiredNumber(eAG, MissingAnglesText, semiAngle2);
}

QString TfTessvar::LengthText(double mm)
{
    MainDisplay.SetZero(mm);
    return MainDisplay.ReadFormatted();
}

void TfTessvar::ShowLength(TEdit* edit, double mm)
{
    TNumberEdit* bound = NumberEditOf(edit);
    LengthList.SetValue(bound, mm);
    RewriteLengths(bound);
}

int TfTessvar::ProbeOfPage() const
{
    if (pcConvert->ActivePage() == tbStaffe)
        return 1;
    return pcConvert->ActivePage() == tbTsphere ? 2 : 0;
}

bool TfTessvar::SetUpConversion(int probe, CONVERT& conversion, TMeasureInputs& inputs)
{
    const int sphere = probe == 0 ? 0 : 1;
    if (!RequiredLength(eTD, MissingDiameterText, inputs.Diameter) ||
        !RequiredLength(eCP, MissingPitchText, inputs.Pitch) ||
        !RequiredLength(eAD, MissingWireText + sphere, inputs.Wire) ||
        !RequiredNumber(eNP, MissingStartsText, inputs.Starts))
        return false;
    // A pitch diameter worked out over a wire of no size would be shown as
    // if it were a measurement: the calculation stops at the message.
    if (inputs.Wire <= 0) {
        Attention(WireSizeText);
        return false;
    }
    // The force as the tab labels it (kgf); the conversion takes it so.
    if (!SemiAngles(inputs.SemiAngle1, inputs.SemiAngle2) ||
        !RequiredNumber(eForce, MissingForceText, inputs.Force))
        return false;
    // A probe presses on the flanks; a force below 0 would turn the
    // flattening the method corrects into a swelling. Every page refuses
    // it, as it refuses a wire below 0.
    if (inputs.Force < 0) {
        Attention(ForceNotValidText);
        return false;
    }

    const int material = cbMA->ItemIndex();
    const TMeasureInputs& in = inputs;
    if (probe == 1) {
        conversion.SetForce(in.Force, 1);
        conversion.SetArms(in.Diameter, in.SemiAngle1, in.SemiAngle2, in.Pitch, in.Wire, 0.0, material, 0,
                           in.Starts);
    } else if (probe == 2) {
        conversion.SetForce(in.Force, 1);
        conversion.SetTSphere(in.Diameter, in.SemiAngle1, in.SemiAngle2, in.Pitch, in.Wire, 0.0, material, 0,
                              in.Starts);
    } else {
        conversion.SetForce(in.Force, cSpecial->Checked() ? 0 : 1);
        conversion.SetThreeWire(in.Diameter, in.SemiAngle1, in.SemiAngle2, in.Pitch, in.Wire, material,
                                in.Starts);
    }
    return true;
}

void TfTessvar::MeasureOverWire(TEdit* reading, TEdit* result)
{
    // Whatever ends this calculation, no earlier pitch diameter stays beside
    // the reading.
    result->SetText(QString());
    if (reading->Text().isEmpty())
        return;
    const int probe = ProbeOfPage();
    CONVERT conversion;
    TMeasureInputs inputs;
    if (!SetUpConversion(probe, conversion, inputs))
        return;
    const double measured = InputLength(reading);

    // The engine computes a number for any reading; only one the probe can
    // give on this thread is a measurement: a reading that touches the
    // flanks, and a pitch diameter the thread can have.
    const int notValid = ReadingNotValidText[probe];
    if (!conversion.ReadingTouches(measured)) {
        Attention(notValid);
        return;
    }
    const double pitchDiameter = conversion.Convert(measured);
    // The reading handed back and the fallback values are no pitch diameters.
    switch (conversion.Status()) {
    case TConvertStatus::Computed:
        break;
    case TConvertStatus::ReadingNotUsable:
        Attention(notValid);
        return;
    case TConvertStatus::Failed:
        Attention(NotCalculatedText);
        return;
    }
    if (!std::isfinite(pitchDiameter))
        InvalidFloatingPointOperation();
    if (!conversion.PitchDiameterPlausible(pitchDiameter)) {
        Attention(notValid);
        return;
    }
    ShowLength(result, pitchDiameter);
}

void TfTessvar::Button1Click(TObject*)
{
    MeasureOverWire(eRead, eResult);
}

void TfTessvar::Button2Click(TObject*)
{
    MeasureOverWire(eReadNP, eResultNP);
}

void TfTessvar::bFiloTeorClick(TObject*)
{
    eFiloTeor->SetText(QString());
    double pitch = 0;
    double semiAngle1 = 0;
    double semiAngle2 = 0;
    if (!RequiredLength(eCP, MissingPitchText, pitch) || !SemiAngles(semiAngle1, semiAngle2))
        return;
    const double a1 = semiAngle1 * Pi * OneOver180;
    const double a2 = semiAngle2 * Pi * OneOver180;
    // The wire that touches both flanks at the pitch line.
    const double wire =
        pitch * std::tan((a1 + a2) / 2) / (std::tan(a1) + std::tan(a2)) * 2 / (std::cos(a1) + std::cos(a2));
    if (!std::isfinite(wire))
        InvalidFloatingPointOperation();
    ShowLength(eFiloTeor, wire);
}

void TfTessvar::bQfiliClick(TObject*)
{
    TEdit* const limits[] = {eTsupP, eTinfP, eTsupNP, eTinfNP};
    for (TEdit* limit : limits) {
        if (limit->Visible() && limit->Text().isEmpty())
            return;
    }
    // The readings are those Calculate turns into the limits: the
    // conversion is set up as Calculate sets it up now.
    CONVERT conversion;
    TMeasureInputs inputs;
    if (!SetUpConversion(0, conversion, inputs))
        return;
    if (inputs.Starts == 0) {
        Attention(WireSizeText);
        return;
    }
    // Only the limits that show are read; a hidden one has no reading.
    double values[4] = {};
    bool shown[4] = {};
    for (size_t i = 0; i < 4; ++i) {
        shown[i] = limits[i]->Visible() && !limits[i]->Text().isEmpty();
        if (shown[i])
            values[i] = InputLength(limits[i]);
    }
    const double a1 = inputs.SemiAngle1 * Pi * OneOver180;
    const double a2 = inputs.SemiAngle2 * Pi * OneOver180;
    const double wire = inputs.Wire;
    // Pitch diameter minus reading over wires, without the lead angle and
    // the flattening: where the search for each reading starts.
    const double difference = inputs.Pitch / (std::tan(a1) + std::tan(a2)) -
                              wire * std::cos((a1 - a2) / 2) / std::sin((a1 + a2) / 2) - wire;
    if (!std::isfinite(difference))
        InvalidFloatingPointOperation();
    if (!fQfili)
        return;
    TEdit* const readings[] = {fQfili->eTsupP, fQfili->eTinfP, fQfili->eTsupNP, fQfili->eTinfNP};
    bool missing = false;
    for (size_t i = 0; i < 4; ++i) {
        double reading = 0;
        const bool found = shown[i] && conversion.ReadingOf(values[i], values[i] - difference, reading);
        missing = missing || (shown[i] && !found);
        readings[i]->SetText(found ? LengthText(reading) : QString());
    }
    if (missing)
        Attention(NoReadingText);
    fQfili->ShowModal();
}

// The measurement sheet: 19 text parameters of "measure.zrf", each value
// kept whole (labels and edits may hold any character).
void TfTessvar::bPrintClick(TObject*)
{
    const auto labelled = [](const TLabel* label, const QString& text) {
        return label->Caption() + QStringLiteral(": ") + text;
    };
    const auto shownCaption = [](const TLabel* label) {
        return label->Visible() ? label->Caption() : QString();
    };
    const auto shownText = [](const TEdit* edit) { return edit->Visible() ? edit->Text() : QString(); };
    QString unit;
    if (rMM->Checked())
        unit = LoadStr(ValuesInMmText);
    else if (rINCH->Checked())
        unit = LoadStr(ValuesInInchesText);
    const TReportParams params = {
        {QStringLiteral("Title"), LoadStr(MeasureTitleText)},
        {QStringLiteral("Unit"), unit},
        {QStringLiteral("Diameter"), labelled(Label4, eTD->Text())},
        {QStringLiteral("Angle"), labelled(Label5, eCA->Text() + QStringLiteral(" | ") + eAG->Text())},
        {QStringLiteral("Pitch"), labelled(Label6, eCP->Text())},
        {QStringLiteral("Starts"), labelled(Label7, eNP->Text())},
        {QStringLiteral("Wire"), gbFilo->Caption()},
        {QStringLiteral("WireD"), labelled(Label8, eAD->Text())},
        {QStringLiteral("WireT"), labelled(Label28, eFiloTeor->Text())},
        {QStringLiteral("Rfilo"), lFilo->Caption()},
        {QStringLiteral("Go"), shownCaption(lTP2)},
        {QStringLiteral("NoGo"), shownCaption(lTNP2)},
        {QStringLiteral("Read"), shownText(eRead)},
        {QStringLiteral("ReadNP"), shownText(eReadNP)},
        {QStringLiteral("PD"), StaticText2->Caption()},
        {QStringLiteral("PDG"), shownText(eResult)},
        {QStringLiteral("PDNG"), shownText(eResultNP)},
        {QStringLiteral("Codice"), labelled(Label13, eCodice->Text())},
        {QStringLiteral("Note"), labelled(Label15, eNote->Text())},
    };
    PrintReportProject(*ZvProject1, QStringLiteral("measure.zrf"), params, cPreview->Checked());
}

void TfTessvar::pcConvertChange(TObject*)
{
    EmptyResultsOf(pcConvert);
    const bool wire = pcConvert->ActivePage() == tb3Wire;
    const int sphere = wire ? 0 : 1;
    gbFilo->SetCaption(LoadStr(WireGroupText + sphere));
    bFiloTeor->SetCaption(LoadStr(TheoreticalWireText + sphere));
    lFilo->SetCaption(LoadStr(ReadingOnWireText + sphere));
    cSpecial->SetVisible(wire);
    bQfili->SetVisible(wire);
}

void TfTessvar::MeasureInputChange(TObject* sender)
{
    EmptyResultsOf(sender);
}

void TfTessvar::EmptyResultsOf(const TObject* input)
{
    // A result shown (and printed) belongs to the page and the inputs on
    // screen: a reading's change takes its own side's pitch diameter, a
    // change of what both sides share takes both, and the theoretical wire
    // goes with the pitch and the angles it comes from.
    const bool shared = input == pcConvert || input == eTD || input == eCP || input == eCA || input == eAG ||
                        input == eNP || input == eAD || input == cbMA || input == eForce || input == cSpecial;
    if (shared || input == eRead)
        eResult->SetText(QString());
    if (shared || input == eReadNP)
        eResultNP->SetText(QString());
    if (input == eCP || input == eCA || input == eAG)
        eFiloTeor->SetText(QString());
}

void TfTessvar::tabMisEnter(TObject*)
{
    if (lTP->Visible())
        SetShown({eTsupP, eTinfP, lTP2, eRead, eResult, Button1}, true);
    if (lTNP->Visible())
        SetShown({eTsupNP, eTinfNP, lTNP2, eReadNP, eResultNP, Button2}, true);
}

void TfTessvar::tabTollEnter(TObject*)
{
    SetShown({eTsupP, eTinfP, eRead, eResult, Button1}, true);
    SetShown({lTP, lTNP, eTsupNP, eTinfNP, lTP2, lTNP2, eReadNP, eResultNP, Button2}, false);
}

void TfTessvar::PageEntered()
{
    TTabSheet* page = pTab->ActivePage();
    if (page == tabMis && img3Wire->Picture()->Empty()) {
        LoadResourcePicture(img3Wire, ThreeWirePicture);
        LoadResourcePicture(imgStaffe, ArmsPicture);
        LoadResourcePicture(imgTsphere, TSpherePicture);
    } else if (page == tabTools && imgThermal->Picture()->Empty()) {
        LoadResourcePicture(imgThermal, ThermalPicture);
    }
    if (page == tabMis)
        tabMisEnter(page);
    else if (page)
        tabTollEnter(page);
}

// ---------------------------------------------------------------------------
// Unit converter

namespace {

double ToBase(TConverterKind kind, double value, int unit)
{
    switch (kind) {
    case TConverterKind::Length: // to mm
        switch (unit) {
        case Metre:
            return value * 1000;
        case Kilometre:
            return value * 1000000;
        case Inch:
            return value * MmPerInch;
        case Foot:
            return value * 304.8;
        case Mile:
            return value * 1609344;
        default:
            return value;
        }
    case TConverterKind::Temperature: // to °C
        switch (unit) {
        case Fahrenheit:
            return (value - 32) * 5 / 9;
        case Kelvin:
            return value - 273.15;
        default:
            return value;
        }
    case TConverterKind::Mass: // to Kg
        switch (unit) {
        case Gram:
            return value * 0.001;
        case Pound:
            return value * 0.45359237;
        case Ounce:
            return value * 0.028349523125;
        default:
            return value;
        }
    case TConverterKind::Angle: // to degrees (a sexagesimal source is refused before)
        return unit == Radian ? value * 180 * OneOverPi : value;
    default: // pressure, to atm
        switch (unit) {
        case Bar:
            return value * 0.9869232667160128;
        case Psi:
            return value * 0.06804596390994;
        default:
            return value;
        }
    }
}

double FromBase(TConverterKind kind, double base, int unit)
{
    switch (kind) {
    case TConverterKind::Length:
        switch (unit) {
        case Metre:
            return base * 0.001;
        case Kilometre:
            return base * 0.001 * 0.001;
        case Inch:
            return double(base * InchPerMm);
        case Foot:
            return double(base * FootPerMm);
        case Mile:
            return double(base * MilePerMm);
        default:
            return base;
        }
    case TConverterKind::Temperature:
        switch (unit) {
        case Fahrenheit:
            return base * 1.8 + 32;
        case Kelvin:
            return base + 273.15;
        default:
            return base;
        }
    case TConverterKind::Mass:
        switch (unit) {
        case Gram:
            return base * 1000;
        case Pound:
            return base * 2.2046226218487757;
        case Ounce:
            return base * 35.27396194958041;
        default:
            return base;
        }
    case TConverterKind::Angle:
        return unit == Radian ? OneOver180 * base * Pi : base;
    default:
        switch (unit) {
        case Bar:
            return base * 1.01325;
        case Psi:
            return base * 14.6959487755;
        default:
            return base;
        }
    }
}

// The largest angle whose whole seconds still fit the integer arithmetic.
constexpr double MaxSexagesimalDegrees = 1e12;

QString SexagesimalText(double degrees)
{
    // Whole seconds first, so that 10.2 degrees gives 10.12.00 and not
    // 10.11.59, and the sign once in front of the degrees.
    const auto seconds = static_cast<long long>(std::round(std::fabs(degrees) * 3600));
    const QString sign = degrees < 0 && seconds > 0 ? QStringLiteral("-") : QString();
    return sign +
           Format(QStringLiteral("%02lld.%02lld.%02lld"), seconds / 3600, seconds / 60 % 60, seconds % 60);
}

} // namespace

TfTessvar::TConverterControls TfTessvar::Converter(TConverterKind kind) const
{
    switch (kind) {
    case TConverterKind::Length:
        return {eStart, cStart, eEnd, cEnd};
    case TConverterKind::Temperature:
        return {eStartT, cStartT, eEndT, cEndT};
    case TConverterKind::Mass:
        return {eStartM, cStartM, eEndM, cEndM};
    case TConverterKind::Angle:
        return {eStartA, cStartA, eEndA, cEndA};
    default:
        return {eStartP, cStartP, eEndP, cEndP};
    }
}

void TfTessvar::RunConverter(TConverterKind kind, bool typing)
{
    const TConverterControls c = Converter(kind);
    // The target shows the conversion of the source as it stands, or
    // nothing: a source that is no number (while typing, or refused with
    // the conversion error) leaves no earlier result beside it.
    c.Target->SetText(QString());
    if (c.Source->Text().isEmpty())
        return;
    double value = 0;
    if (kind == TConverterKind::Angle && c.SourceUnit->ItemIndex() == Sexagesimal) {
        // A sexagesimal source is not taken: it is emptied (which empties the
        // target) and the target shows the conversion of 0.
        c.Source->SetText(QString());
    } else if (!PlainNumber(c.Source->Text(), typing, value)) {
        return;
    }
    // No temperature lies below absolute zero: no conversion. A box would
    // take the user's next key; the end of typing says why
    // (TemperatureEntered), as a run the user did not type does at once.
    if (kind == TConverterKind::Temperature && BelowAbsoluteZero(value, c.SourceUnit->ItemIndex())) {
        if (!typing)
            Attention(BelowAbsoluteZeroText);
        return;
    }
    const double base = ToBase(kind, value, c.SourceUnit->ItemIndex());
    const int targetUnit = c.TargetUnit->ItemIndex();
    const double target = FromBase(kind, base, targetUnit);
    const bool sexagesimal = kind == TConverterKind::Angle && targetUnit == Sexagesimal;
    if (!std::isfinite(target) || (sexagesimal && std::fabs(base) > MaxSexagesimalDegrees)) {
        if (typing)
            return;
        throw EOverflow(QStringLiteral("Floating point overflow"));
    }
    c.Target->SetText(sexagesimal ? SexagesimalText(base) : FloatToStr(target));
}

void TfTessvar::SwapConverter(TConverterKind kind)
{
    const TConverterControls c = Converter(kind);
    const int sourceUnit = c.SourceUnit->ItemIndex();
    c.SourceUnit->SetItemIndex(c.TargetUnit->ItemIndex());
    c.TargetUnit->SetItemIndex(sourceUnit);
    const QString sourceText = c.Source->Text();
    c.Source->SetText(c.Target->Text());
    c.Target->SetText(sourceText);
    RunConverter(kind, false);
}

void TfTessvar::TemperatureEntered()
{
    const TConverterControls c = Converter(TConverterKind::Temperature);
    double value = 0;
    if (TryReadNumber(c.Source->Text(), value) && BelowAbsoluteZero(value, c.SourceUnit->ItemIndex()))
        Attention(BelowAbsoluteZeroText);
}

void TfTessvar::TargetUnitChanged(TConverterKind kind)
{
    Converter(kind).Target->SetText(QString());
    RunConverter(kind, false);
}

void TfTessvar::ConvertL(bool typing)
{
    RunConverter(TConverterKind::Length, typing);
}

void TfTessvar::ConvertT(bool typing)
{
    RunConverter(TConverterKind::Temperature, typing);
}

void TfTessvar::ConvertM(bool typing)
{
    RunConverter(TConverterKind::Mass, typing);
}

void TfTessvar::ConvertA(bool typing)
{
    RunConverter(TConverterKind::Angle, typing);
}

void TfTessvar::ConvertP(bool typing)
{
    RunConverter(TConverterKind::Pressure, typing);
}

void TfTessvar::ConvertClick(TObject*)
{
    ConvertL(true);
}

void TfTessvar::ConvertTClick(TObject*)
{
    ConvertT(true);
}

void TfTessvar::ConvertMClick(TObject*)
{
    ConvertM(true);
}

void TfTessvar::ConvertAClick(TObject*)
{
    ConvertA(true);
}

void TfTessvar::ConvertPClick(TObject*)
{
    ConvertP(true);
}

void TfTessvar::cEndChange(TObject*)
{
    TargetUnitChanged(TConverterKind::Length);
}

void TfTessvar::cEndTChange(TObject*)
{
    TargetUnitChanged(TConverterKind::Temperature);
}

void TfTessvar::cEndMChange(TObject*)
{
    TargetUnitChanged(TConverterKind::Mass);
}

void TfTessvar::cEndAChange(TObject*)
{
    TargetUnitChanged(TConverterKind::Angle);
}

void TfTessvar::cEndPChange(TObject*)
{
    TargetUnitChanged(TConverterKind::Pressure);
}

void TfTessvar::bSwitchClick(TObject*)
{
    SwapConverter(TConverterKind::Length);
}

void TfTessvar::bSwitchTClick(TObject*)
{
    SwapConverter(TConverterKind::Temperature);
}

void TfTessvar::bSwitchMClick(TObject*)
{
    SwapConverter(TConverterKind::Mass);
}

void TfTessvar::bSwitchAClick(TObject*)
{
    SwapConverter(TConverterKind::Angle);
}

void TfTessvar::bSwitchPClick(TObject*)
{
    SwapConverter(TConverterKind::Pressure);
}

// ---------------------------------------------------------------------------
// Thermal-expansion tool

TfTessvar::TThermalControls TfTessvar::Thermal(int calculator) const
{
    if (calculator == 1)
        return {eLung1, eTemp1, cTunit, cMaterial, eCoExp1, eLungStd1, eDlung1};
    return {eLung2, eTemp2, cTunit2, cMaterial2, eCoExp2, eLungStd2, eDlung2};
}

void TfTessvar::RunThermal(int calculator, bool typing, bool lengthTyped)
{
    const TThermalControls c = Thermal(calculator);
    // The results belong to the texts as they stand: a length, temperature
    // or coefficient that is no number leaves them empty (with the
    // conversion error when Calculate was pressed).
    c.LengthAt20->SetText(QString());
    c.Variation->SetText(QString());
    if (c.Length->Text().isEmpty() || c.Temperature->Text().isEmpty())
        return;
    // While typing, a length that is no number leaves the results empty;
    // Calculate reports it.
    double length = 0; // mm
    if (typing) {
        length = LengthList.LengthOf(NumberEditOf(c.Length)).Value;
        if (!std::isfinite(length))
            return;
    } else {
        length = InputLength(c.Length);
    }
    // A part has no length below 0; typing, as for a text that is no
    // number, leaves the results empty and Calculate says why.
    if (length < 0) {
        if (!typing)
            Attention(LengthNotValidText);
        return;
    }
    double temperature = 0; // °C
    if (!PlainNumber(c.Temperature->Text(), typing, temperature))
        return;
    // Below absolute zero there is no part to correct, accurately or not:
    // refused as a length below 0 is, before the warning of extreme
    // temperatures.
    if (BelowAbsoluteZero(temperature, c.TemperatureUnit->ItemIndex())) {
        if (!typing)
            Attention(BelowAbsoluteZeroText);
        return;
    }
    if (c.TemperatureUnit->ItemIndex() == Fahrenheit)
        temperature = (temperature - 32) * 5 / 9;
    const int material = c.Material->ItemIndex();
    double coefficient = 0; // 1e-6 per kelvin
    if (material >= 0 && material < int(Materials.size()))
        coefficient = Materials[size_t(material)].Coefficient;
    else if (!PlainNumber(c.Coefficient->Text(), typing, coefficient))
        return;

    // The warning waits for Calculate: while the user types "-250", "-25"
    // is not what was meant, and a box there would swallow the next key.
    if (!typing && (temperature < ColdLimit_C || temperature > HotLimit_C))
        Attention(ExtremeTemperatureText);
    const double variation = (temperature - ReferenceTemperature_C) * length * coefficient * 0.000001; // mm
    const double lengthAt20 = length - variation;                                                      // mm
    if (!std::isfinite(variation) || !std::isfinite(lengthAt20)) {
        if (typing)
            return;
        throw EOverflow(QStringLiteral("Floating point overflow"));
    }
    LengthList.SetValue(NumberEditOf(c.Variation), variation);
    LengthList.SetValue(NumberEditOf(c.LengthAt20), lengthAt20);
    if (!lengthTyped) {
        RefreshLengths();
        return;
    }
    // A length being typed keeps its text: written over, it would put the
    // formatted text under the user's next key.
    RewriteLengths(NumberEditOf(c.Variation));
    RewriteLengths(NumberEditOf(c.LengthAt20));
}

void TfTessvar::MaterialChanged(int calculator)
{
    // The results follow through the coefficient's change handler. A
    // material whose coefficient the edit shows already (custom keeps the
    // text) leaves the number the results were computed from.
    const TThermalControls c = Thermal(calculator);
    const int material = c.Material->ItemIndex();
    if (material >= 0 && material < int(Materials.size())) {
        c.Coefficient->SetEnabled(false);
        c.Coefficient->SetText(QString::fromLatin1(Materials[size_t(material)].Text));
    } else {
        c.Coefficient->SetEnabled(true);
    }
}

void TfTessvar::Calc1(bool typing)
{
    RunThermal(1, typing);
}

void TfTessvar::Calc2(bool typing)
{
    RunThermal(2, typing);
}

void TfTessvar::eTemp1Change(TObject*)
{
    Calc1(true);
}

void TfTessvar::eTemp2Change(TObject*)
{
    Calc2(true);
}

void TfTessvar::bCalc1Click(TObject*)
{
    Calc1(false);
}

void TfTessvar::bCalc2Click(TObject*)
{
    Calc2(false);
}

void TfTessvar::cMaterialChange(TObject*)
{
    MaterialChanged(1);
}

void TfTessvar::cMaterial2Change(TObject*)
{
    MaterialChanged(2);
}

void TfTessvar::cTunitChange(TObject*)
{
    eTemp1->SetText(QString());
}

void TfTessvar::cTunit2Change(TObject*)
{
    eTemp2->SetText(QString());
}
