#include "gauges/Uprocesscalc.h"

#include "app/Unumberedit.h"
#include "app/Utessvar.h"
#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "app/core/Unumber.h"
#include "calc/Utiso.h"
#include "gauges/Ucalibreselect.h"
#include "gauges/Ugaugefamily.h"
#include "gauges/Uinstol.h"
#include "gauges/Uprocesslayout.h"
#include "gauges/Utadvtol.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"
#include "platform/os/Modules.h"
#include "platform/rtl/NumberText.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr int KindPlain = 1;
constexpr int KindThread = 2;

// String-table texts of the deviation label of the entry dialog.
constexpr int DeviationMicronText = 980; // "Piece Deviation (in µm)"
constexpr int DeviationInchText = 982;   // "Piece Deviation (inch)"

constexpr double MicronsPerInch = 25400;
constexpr double MicronsPerMm = 1000;

// The defaults of thread gauges by family: angle (empty: none) and starts.
struct TThreadDefaults {
    const char* Angle;
    const char* Starts;
};
TThreadDefaults ThreadDefaults(int family)
{
    switch (family) {
    case FamilyIso:
    case FamilyAnsiAsme:
        return {"60", "1"};
    case FamilyGas:
    case FamilyWhitworth:
        return {"55", "1"};
    case FamilyButtress:
        return {"", "1"};
    default:
        return {"", ""};
    }
}

bool IsoRoad(TCalcWork& work);
void ClearResults(TProcessWindow& window, const CALIBRETYPE& type);
bool SpecialRoad(TCalcWork&)
{
    return true; // no calculator: the cleared record is shown
}

std::array<TFamilyCalculation, ThreadFamilyCount> Roads = {IsoRoad, nullptr, nullptr, SpecialRoad,
                                                           nullptr, nullptr, nullptr};

// The ISO deviation entry: the deviations typed in the entry dialog, as
// micrometres, looked up in the gauge tolerance table.
bool IsoDeviations(TCalcWork& work, double diameter, const TfInsTol& dialog)
{
    const TDeviationUnit unit = work.Readout.GetUnit() != 0   ? TDeviationUnit::Inch
                                : dialog.rSupInfmm->Checked() ? TDeviationUnit::Millimetre
                                                              : TDeviationUnit::Micron;
    double upper = 0;
    double lower = 0;
    if (!ReadDeviations(dialog.eTSup->Text(), dialog.eTInf->Text(), unit, upper, lower)) {
        ShowCalcMessage(DeviationNotANumberText);
        return false;
    }
    if (unit == TDeviationUnit::Micron)
        work.Tolerance = dialog.eTSup->Text() + u' ' + dialog.eTInf->Text();
    else
        work.Tolerance = Format(QStringLiteral("%+f %+f"), upper, lower);
    if (!CalcAdvancedTolerance(diameter, upper, lower, work.Tolerance, work.Class, work.Designation,
                               work.Type, work.Record)) {
        ShowCalcMessage(DeviationNotInTableText);
        return false;
    }
    return true;
}

bool IsoRoad(TCalcWork& work)
{
    const TProcessControls& c = work.Window.ProcessControls();
    const double diameter = work.DiameterInput.Value;
    const double pitch = work.PitchInput.Value;
    const double starts = ReadStarts(c.dbN1->Text());
    const bool plain = work.Type.Group == 0 || work.Type.Group == 1;
    const bool mm = work.Readout.GetUnit() == 0;
    bool mj = false;

    if (work.Tolerance.IsEmpty()) {
        TfInsTol* dialog = fInsTol;
        if (!dialog)
            return false;
        for (TControl* control :
             std::initializer_list<TControl*>{dialog->rToll, dialog->rSupInf, dialog->lSupInf, dialog->lTSup,
                                              dialog->eTSup, dialog->lTInf, dialog->eTInf})
            control->SetVisible(plain);
        dialog->lSupInf->SetCaption(LoadStr(plain && !mm ? DeviationInchText : DeviationMicronText));
        if (dialog->ShowModal() != mrOk)
            return false;
        mj = dialog->cJprofile->Visible() && dialog->cJprofile->Checked();
        if (plain && !dialog->rToll->Checked())
            return IsoDeviations(work, diameter, *dialog);
        work.Tolerance = dialog->eToll->Text();
    } else if (mm && plain) {
        // Two signed deviations typed in the field: the gauge tolerance
        // table first; when it has no entry, the text is a tolerance class.
        if (CalcAdvancedToleranceText(diameter, work.Tolerance, work.Class, work.Designation, work.Type,
                                      work.Record))
            return true;
    }

    const bool american = work.Window.AmericanTolerance();
    if (!CalcIsoMetricText(diameter, pitch, work.Tolerance, work.Class, work.Designation, work.Type, work.Record,
                           american, starts, mj))
        return false;
    if (work.Type.Kind == KindPlain)
        work.Designation.Append(QStringLiteral(" mm"));
    return true;
}

// Step E's diameter or pitch: a text in the window's unit goes into the
// edit, whose change handler reads it; a number in a calculator's unit is
// stored in mm and shown by the next refresh.
void ShowLength(const TProcessControls& c, TEdit* edit, const TCalcText& text, TTextUnit unit)
{
    NCLIST& values = *c.ValueList;
    TNumberEdit* bound = NumberEditOf(edit);
    double value = 0;
    if (unit == TTextUnit::Window || !TryParseNumber(text.Text(), value)) {
        edit->SetText(text.Text());
        // The value the list holds for the text (its own, or a size typed
        // that the window read itself) shows as a value from now on.
        const TLengthInput input = values.LengthOf(bound);
        if (input.Held)
            values.SetTypedValue(bound, input.Value);
        return;
    }
    if (unit == TTextUnit::TypedInch)
        values.SetTypedValue(bound, value * MmPerInch);
    else
        values.SetValue(bound, unit == TTextUnit::Inch ? value * MmPerInch : value);
}

// Whether the tolerance field is an input of the family's calculation (a
// class or deviations typed by the user), or a text the calculation writes
// (the class the wizards and pickers chose).
bool ToleranceIsTyped(const CALIBRETYPE& type)
{
    switch (type.Family) {
    case FamilyIso:
    case FamilySpline:
    case FamilySpecial:
        return true;
    case FamilyAnsiAsme:
        return type.Group == 0 || type.Group == 1;
    default:
        return false;
    }
}

// After a failed calculation: no result, no designation and no tolerance
// text that an earlier one wrote stays on the window; what the user typed
// (the diameter, a tolerance class) stays for the next try.
void ClearResults(TProcessWindow& window, const CALIBRETYPE& type)
{
    std::array<double, sizeof(TOLLERANCE) / sizeof(double)> empty;
    empty.fill(NanValue());
    TOLLERANCE none;
    std::memcpy(&none, empty.data(), sizeof none);
    window.StoreResults(none);
    const TProcessControls& c = window.ProcessControls();
    RefreshBoundLengths(c);
    c.dbDesignazione->SetText(QString());
    if (!ToleranceIsTyped(type))
        c.dbTollServ->SetText(QString());
    window.Calculation.Fail();
}

} // namespace

TProcessWindow::~TProcessWindow() = default;

bool TProcessWindow::AmericanTolerance() const
{
    return fCalibreSelect && fCalibreSelect->cTolUsa->Checked();
}

void SetFamilyCalculation(int family, TFamilyCalculation calculation)
{
    if (family >= 0 && family < ThreadFamilyCount)
        Roads.at(size_t(family)) = calculation;
}

bool ReadDeviations(const QString& upperText, const QString& lowerText, TDeviationUnit unit, double& upper,
                    double& lower)
{
    try {
        if (!TryParseNumber(upperText, upper) || !TryParseNumber(lowerText, lower))
            return false;
    } catch (const EConvertError&) {
        return false;
    }
    const double factor = unit == TDeviationUnit::Inch         ? MicronsPerInch
                          : unit == TDeviationUnit::Millimetre ? MicronsPerMm
                                                               : 1.0;
    upper *= factor;
    lower *= factor;
    return true;
}

double ReadStarts(const QString& text)
{
    double starts = 0;
    return TryParseNumber(text, starts) ? starts : 1.0;
}

void RefreshBoundLengths(const TProcessControls& c)
{
    if (c.Refreshing)
        *c.Refreshing = true;
    c.ValueList->Refresh();
    if (c.Refreshing)
        *c.Refreshing = false;
}

void CalcToleranceClick(TProcessWindow& window, CALIBRETYPE& type)
{
    const TProcessControls& c = window.ProcessControls();
    // Whether the window still shows what its calculation left, before
    // Step A writes its defaults.
    const bool current = window.Calculation.Current(window.Form());
    // Step A: the defaults of thread gauges, on every press.
    // ISO keeps the typed starts.
    if (type.Kind == KindThread) {
        const TThreadDefaults defaults = ThreadDefaults(type.Family);
        if (*defaults.Angle)
            c.dbAngolo->SetText(QString::fromLatin1(defaults.Angle));
        if (*defaults.Starts && type.Family != FamilyIso)
            c.dbN1->SetText(QString::fromLatin1(defaults.Starts));
    }
    // Step B: lifting the button unlocks; the results stay. The tolerance
    // field stays open while the window is locked: when a text was changed
    // since the calculation, the results belong to other inputs, and the
    // press calculates the inputs shown, unlocked, so that a refusal leaves
    // them open with no result of the old ones beside them.
    if (!c.sbCalcTol->Down()) {
        window.SetDefaults(true);
        if (current)
            return;
        c.sbCalcTol->SetDown(true);
    }
    try {
        // Step C.
        TCalcWork work{type, window, c.ValueList->Readout(), {}, {}, {}, {}, {}, {}, {}, {}};
        work.Diameter = c.dNominale->Text();
        work.Pitch = c.dPasso->Text();
        work.DiameterInput = c.ValueList->LengthOf(NumberEditOf(c.dNominale));
        work.PitchInput = c.ValueList->LengthOf(NumberEditOf(c.dPasso));
        work.Angle = c.dbAngolo->Text();
        work.Tolerance = c.dbTollServ->Text();
        work.Designation = c.dbDesignazione->Text();
        ClearToleranceRecord(work.Record);
        // Step D.
        const TFamilyCalculation road =
            type.Family >= 0 && type.Family < ThreadFamilyCount ? Roads.at(size_t(type.Family)) : nullptr;
        if (!road || !road(work)) {
            c.sbCalcTol->SetDown(false);
            ClearResults(window, type);
            return;
        }
        // Step E.
        window.SetDefaults(false);
        window.StoreResults(work.Record);
        c.dbTollServ->SetText(work.Tolerance.Text());
        c.dbAngolo->SetText(work.Angle.Text());
        ShowLength(c, c.dPasso, work.Pitch, work.PitchUnit);
        ShowLength(c, c.dNominale, work.Diameter, work.DiameterUnit);
        RefreshBoundLengths(c);
        c.dbDesignazione->SetText(work.Designation.Text());
        window.Calculation.Remember(window.Form());
    } catch (...) {
        c.sbCalcTol->SetDown(false);
        ClearResults(window, type);
        throw;
    }
}

void TCalculationMark::Forget()
{
    FState = TState::None;
    FTexts.clear();
}

void TCalculationMark::Remember(TCustomForm* window)
{
    FState = TState::Shown;
    FTexts = Texts(window);
}

void TCalculationMark::Fail()
{
    FState = TState::Failed;
    FTexts.clear();
}

bool TCalculationMark::Current(TCustomForm* window) const
{
    switch (FState) {
    case TState::None:
        return true;
    case TState::Shown:
        return Texts(window) == FTexts;
    default:
        return false;
    }
}

void TCalculationMark::FollowUnitChange(TCustomForm* window, bool wasCurrent)
{
    if (FState == TState::Shown && wasCurrent)
        FTexts = Texts(window);
}

QStringList TCalculationMark::Texts(TCustomForm* window)
{
    // What a calculation reads and what a card prints: the inputs, the
    // designation and every result.
    static const char* const inputs[] = {"dbAngolo",       "dbSAL",  "dbSAR", "dbN1",  "dbTollServ",
                                         "dbDesignazione", "dHoleW", "dAvg",  "dScost"};
    QStringList texts;
    const auto add = [&](const char* name) {
        const TEdit* edit = FindOwned<TEdit>(window, QString::fromLatin1(name));
        texts << (edit ? edit->Text() : QString());
    };
    for (const char* name : ProcessBoundEdits)
        add(name);
    for (const char* name : inputs)
        add(name);
    return texts;
}

bool CardMayPrint(TProcessWindow& window)
{
    if (window.Calculation.Current(window.Form()))
        return true;
    ShowCalcMessage(CalculateFirstText);
    return false;
}

bool IsComputedLength(double value)
{
    return value != 0 && !std::isnan(value);
}

double ShownLength(double value)
{
    return IsComputedLength(value) ? value : NanValue();
}

void SetProcessDefaults(TCustomForm* window, const TProcessControls& c, const CALIBRETYPE& type, bool enable)
{
    static const char* const locked[] = {
        "dMaxP",     "dMaxN",  "dMinP",  "dMinN",     "dLogP",  "dLogN",    "dMedP",  "dMedN",  "dTPasso",
        "dbTAngolo", "dbTSAL", "dbTSAR", "dNominale", "dPasso", "dbAngolo", "dbSAL",  "dbSAR",  "dbN1",
        "dMaxPe",    "dMaxNe", "dMinPe", "dMinNe",    "dMaxPi", "dMaxNi",   "dMinPi", "dMinNi",
    };
    for (const char* name : locked) {
        if (TControl* control = FindOwned<TControl>(window, QString::fromLatin1(name)))
            control->SetEnabled(enable);
    }
    if (type.Family == FamilyAnsiAsme || (type.Family == FamilyGas && type.Group == 0)) {
        for (const char* name : {"dLogP", "dLogN"}) {
            if (TControl* control = FindOwned<TControl>(window, QString::fromLatin1(name)))
                control->SetEnabled(true);
        }
    }
    if (type.Kind == KindThread) {
        const TThreadDefaults defaults = ThreadDefaults(type.Family);
        if (*defaults.Angle && c.dbAngolo->Text().isEmpty())
            c.dbAngolo->SetText(QString::fromLatin1(defaults.Angle));
        if (*defaults.Starts && c.dbN1->Text().isEmpty())
            c.dbN1->SetText(QString::fromLatin1(defaults.Starts));
    }
}

void StoreProcessResults(TCustomForm* window, NCLIST& values, const TOLLERANCE& r)
{
    struct TResult {
        const char* Edit;
        double TOLLERANCE::*Field;
        const char* Page; // the page whose tab must show; null for always
        // A diameter limit: the cleared record's 0 means not computed, so it
        // shows empty. The pitch tolerance and the measuring heights show as
        // the calculator left them.
        bool Diameter;
    };
    static const TResult results[] = {
        {"dMaxP", &TOLLERANCE::MaxP, nullptr, true},
        {"dMaxN", &TOLLERANCE::MaxN, nullptr, true},
        {"dMinP", &TOLLERANCE::MinP, nullptr, true},
        {"dMinN", &TOLLERANCE::MinN, nullptr, true},
        {"dLogP", &TOLLERANCE::LogP, nullptr, true},
        {"dLogN", &TOLLERANCE::LogN, nullptr, true},
        {"dMedP", &TOLLERANCE::MedP, nullptr, true},
        {"dMedN", &TOLLERANCE::MedN, nullptr, true},
        {"dMaxW", &TOLLERANCE::MaxW, nullptr, true},
        {"dMinW", &TOLLERANCE::MinW, nullptr, true},
        {"dMaxPe", &TOLLERANCE::MaxPe, "tsExt", true},
        {"dMaxNe", &TOLLERANCE::MaxNe, "tsExt", true},
        {"dMinPe", &TOLLERANCE::MinPe, "tsExt", true},
        {"dMinNe", &TOLLERANCE::MinNe, "tsExt", true},
        {"dMaxPi", &TOLLERANCE::MaxPi, "tsInterno", true},
        {"dMaxNi", &TOLLERANCE::MaxNi, "tsInterno", true},
        {"dMinPi", &TOLLERANCE::MinPi, "tsInterno", true},
        {"dMinNi", &TOLLERANCE::MinNi, "tsInterno", true},
        {"dTPasso", &TOLLERANCE::TPasso, "tsAngPas", false},
        {"dHMis1", &TOLLERANCE::HMis1, nullptr, false},
        {"dHMis2", &TOLLERANCE::HMis2, nullptr, false},
    };
    for (const TResult& result : results) {
        if (result.Page) {
            const TTabSheet* page = FindOwned<TTabSheet>(window, QString::fromLatin1(result.Page));
            if (!page || !page->TabVisible())
                continue;
        }
        const double value = r.*result.Field;
        if (TEdit* edit = FindOwned<TEdit>(window, QString::fromLatin1(result.Edit)))
            values.SetValue(NumberEditOf(edit), result.Diameter ? ShownLength(value) : value);
    }
}

void MeasureHandOver(TProcessWindow& process, bool workpiece)
{
    // Limits edited after their calculation, or left by a failed one, are
    // no limits of the thread on the window: nothing is handed over.
    if (!CardMayPrint(process))
        return;
    TCustomForm* window = process.Form();
    const TProcessControls& c = process.ProcessControls();
    TfTessvar& main = *fTessvar;
    // The angle is converted first: a text that is no number raises the
    // conversion error before anything is copied.
    QString halfAngle;
    if (c.dbAngolo->Visible()) {
        const QString text = c.dbAngolo->Text();
        const double angle = ReadNumber(text);
        halfAngle = FloatToStr(angle * 0.5);
    }

    NCLIST& lengths = main.LengthList;
    const auto copy = [&](TEdit* target, const char* source) {
        double value = 0;
        TEdit* edit = FindOwned<TEdit>(window, QString::fromLatin1(source));
        // An empty length arrives empty: a 0 there would read as a limit.
        if (!edit || !c.ValueList->GetValue(NumberEditOf(edit), value))
            value = NanValue();
        lengths.SetValue(NumberEditOf(target), value);
    };
    const auto shown = [window](const char* name) {
        const TControl* control = FindOwned<TControl>(window, QString::fromLatin1(name));
        return control && control->Visible();
    };
    copy(main.eTD, "dNominale");
    copy(main.eCP, "dPasso");
    main.eNP->SetText(c.dbN1->Text());
    if (c.dbAngolo->Visible()) {
        main.eCA->SetText(halfAngle);
        main.eAG->SetText(halfAngle);
    }
    if (c.dbSAL->Visible())
        main.eCA->SetText(c.dbSAL->Text());
    if (c.dbSAR->Visible())
        main.eAG->SetText(c.dbSAR->Text());

    // Limits of an earlier hand-over belong to another thread: a side this
    // window does not hand over arrives empty.
    for (TEdit* limit : {main.eTsupP, main.eTinfP, main.eTsupNP, main.eTinfNP})
        lengths.SetValue(NumberEditOf(limit), NanValue());
    const bool ring = main.CurrentType.Ring != 0;
    if (workpiece) {
        copy(main.eTsupP, "dMaxW");
        copy(main.eTinfP, "dMinW");
    } else {
        // A ring's Go and No-go ranges are [min, worn], a plug's [worn, max].
        if (shown("lPassa")) {
            main.lTP->Show();
            copy(main.eTsupP, ring ? "dLogP" : "dMaxP");
            copy(main.eTinfP, ring ? "dMinP" : "dLogP");
        }
        if (shown("lNonPassa")) {
            main.lTNP->Show();
            copy(main.eTsupNP, ring ? "dLogN" : "dMaxN");
            copy(main.eTinfNP, ring ? "dMinN" : "dLogN");
        }
    }

    window->SetModalResult(mrCancel);
    main.RefreshLengths();
    main.pTab->SetActivePageIndex(1);
    for (TEdit* edit : {main.eFiloTeor, main.eAD, main.eRead, main.eReadNP, main.eResult, main.eResultNP})
        edit->SetText(QString());
}
