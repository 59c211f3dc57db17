#include "gauges/Ucalcfamilies.h"

#include "app/core/Ulength.h"
#include "app/core/Unan.h"
#include "app/core/Uplvzero.h"
#include "calc/Buttress.h"
#include "calc/Ugas.h"
#include "calc/Utansiasme.h"
#include "calc/Utsca.h"
#include "calc/Uwhitworth.h"
#include "gauges/Ugasselclass.h"
#include "gauges/Ugaugefamily.h"
#include "gauges/Uinstol.h"
#include "gauges/Uinsuns.h"
#include "gauges/Unpdia.h"
#include "gauges/Uprocesscalc.h"
#include "gauges/Utwbr.h"
#include "gauges/Utwsca.h"
#include "gauges/Utwwhitworth.h"
#include "gauges/Uwansiasme1.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "platform/forms/StdCtrls.h"
#include "platform/os/Modules.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"

#include <cmath>

namespace {

constexpr int ErrorCaptionText = 1000;          // "ERROR"
constexpr int DeviationMmText = 981;            // "Piece Deviation (mm)"
constexpr int DeviationInchText = 982;          // "Piece Deviation (inch)"
constexpr double ButtressLargestDiameter = 24; // in

bool InchUnit(const TCalcWork& work)
{
    return work.Readout.GetUnit() != 0;
}

// The texts of the UN, UNS and pipe calculators are inches.
bool InchTexts(TCalcWork& work)
{
    work.DiameterUnit = TTextUnit::Inch;
    work.PitchUnit = TTextUnit::Inch;
    return true;
}

// ---- ANSI/ASME

// The diameter in inches as the plain gauges' calculators read it: the
// size as the user typed it in inch (fractions too, which the readout cannot
// read), else the window's value in inches.
TCalcText AnsiSizeText(const TCalcWork& work)
{
    const TLengthInput& diameter = work.DiameterInput;
    if (!diameter.Typed.isEmpty() && diameter.TypedUnit != 0)
        return TCalcText(diameter.Typed);
    if (IsNan(diameter.Value))
        return TCalcText();
    return TCalcText(Format(QStringLiteral("%f"), diameter.Value / MmPerInch));
}

// Step E's diameter after a plain gauge's calculation: a size typed in inch
// keeps its text and takes the value the calculator read from it (the
// readout cannot read a fraction); a value the list holds, or one typed in
// mm, stays as it is.
bool AnsiSizeShown(TCalcWork& work, bool calculated)
{
    double inches = 0;
    QString size = work.DiameterInput.Typed;
    if (calculated && !work.DiameterInput.Held && InchUnit(work) && ParseInchSize(size, inches)) {
        work.Diameter = QString::number(inches, 'g', 17);
        work.DiameterUnit = TTextUnit::TypedInch;
    }
    return calculated;
}

bool AnsiPlain(TCalcWork& work)
{
    const bool inch = InchUnit(work);
    work.InchDiameter = AnsiSizeText(work);
    TCalcText& diameter = work.InchDiameter;
    if (!work.Tolerance.IsEmpty() && inch)
        return AnsiSizeShown(
            work, CalcAnsiLimits(diameter, work.Tolerance, work.Class, work.Designation, work.Type, work.Record));

    TfInsTol* dialog = fInsTol;
    dialog->rToll->SetVisible(false);
    dialog->rSupInf->SetVisible(false);
    for (TControl* control : {static_cast<TControl*>(dialog->lTSup), static_cast<TControl*>(dialog->lTInf),
                              static_cast<TControl*>(dialog->eTSup), static_cast<TControl*>(dialog->eTInf)}) {
        control->SetVisible(true);
        // Without the choice buttons the deviation fields are the entry,
        // whatever the dialog last chose.
        control->SetEnabled(true);
    }
    dialog->lSupInf->SetCaption(LoadStr(inch ? DeviationInchText : DeviationMmText));
    if (dialog->ShowModal() != mrOk)
        return false;
    work.Tolerance = dialog->eToll->Text().toUpper();

    double upper = 0;
    double lower = 0;
    const bool numbers = TryReadNumber(dialog->eTSup->Text(), upper) && TryReadNumber(dialog->eTInf->Text(), lower);
    // The calculators take the diameter and the deviations in inches.
    if (!numbers)
        return AnsiSizeShown(
            work, CalcAnsiLimits(diameter, work.Tolerance, work.Class, work.Designation, work.Type, work.Record));
    if (!inch) {
        upper /= MmPerInch;
        lower /= MmPerInch;
    }
    return AnsiSizeShown(work, CalcAnsiClassLimits(diameter, upper, lower, work.Tolerance.Text(), work.Class,
                                                   work.Designation, work.Type, work.Record));
}

bool AnsiThread(TCalcWork& work)
{
    TfwAnsiAsme1* wizard = fwAnsiAsme1;
    wizard->InchThread.GaugeType = work.Type;
    const int result = wizard->ShowModal();
    const bool j = wizard->cJprofile->Checked();
    bool done = false;
    if (result == mrOk) {
        done = CalcUnSeries(wizard->InchThread, work.Diameter, work.Angle, work.Pitch, work.Designation, work.Tolerance,
                            work.Class, j, work.Record, wizard->RoundFlag);
    } else if (result == TfwAnsiAsme1::mrUns) {
        TfInsUNS* entry = fInsUNS;
        if (entry->ShowModal() != mrOk)
            return false;
        TUnsEntry uns{entry->eDia->Text(), entry->eStep->Text(), -1};
        const TRadioButton* classes[] = {entry->rT1, entry->rT2, entry->rT3};
        for (int i = 0; i < 3; ++i) {
            if (classes[i]->Checked())
                uns.ToleranceClass = i;
        }
        done = CalcUnsSpecial(wizard->InchThread, uns, work.Diameter, work.Angle, work.Pitch, work.Designation,
                              work.Tolerance, work.Class, j, work.Record, wizard->RoundFlag);
    }
    // Any other result is a cancel.
    return done && InchTexts(work);
}

bool AnsiPipe(TCalcWork& work)
{
    fwAnsiAsme1->InchThread.GaugeType = work.Type;
    if (fNPDia->ShowModal() != mrOk)
        return false;
    return CalcPipeThread(fwAnsiAsme1->InchThread, SelectedPipeSize(fNPDia->SizeButtonList), work.Diameter,
                          work.Angle, work.Pitch, work.Designation, work.Record) &&
           InchTexts(work);
}

bool AnsiRoad(TCalcWork& work)
{
    switch (work.Type.Group) {
    case 0:
    case 1:
        return AnsiPlain(work);
    case 2:
    case 3:
    case 4:
    case 5:
        return AnsiThread(work);
    case 6:
    case 7:
        return AnsiPipe(work);
    default:
        return false;
    }
}

// ---- Spline

bool SplineRoad(TCalcWork& work)
{
    // The size table is in mm, whatever unit the window shows.
    if (!work.Tolerance.IsEmpty())
        return CalcSplineDin5480(work.DiameterInput.Value, work.PitchInput.Value, work.Tolerance, work.Class,
                                 work.Designation, work.Type, work.Record);
    TfTwSCA* wizard = fTwSCA;
    if (wizard->ShowModal() != mrOk)
        return false;
    work.Diameter = QString::number(wizard->ReferenceDiameter);
    work.Pitch = Format(QStringLiteral("%f"), wizard->Module);
    work.DiameterUnit = TTextUnit::Millimetre;
    work.PitchUnit = TTextUnit::Millimetre;
    return CalcSplineDin5480Limits(wizard->Quality, wizard->LQ, QChar::fromLatin1(wizard->Position),
                                   double(wizard->ReferenceDiameter), wizard->Module, work.Tolerance, work.Class,
                                   work.Designation, work.Type, work.Record);
}

// ---- GAS

bool GasRoad(TCalcWork& work)
{
    const int group = work.Type.Group;
    if (group != 0 && group != 1)
        return false;
    TfNPDia* picker = fNPDia;
    if (picker->ShowModal() != mrOk)
        return false;
    const int size = SelectedPipeSize(picker->SizeButtonList);
    const bool truncate = picker->cTruncrest->Checked();
    work.DiameterUnit = TTextUnit::Millimetre;
    work.PitchUnit = TTextUnit::Millimetre;
    if (group == 0)
        return CalcGasTaper(work.Type, size, work.Diameter, work.Angle, work.Pitch, work.Designation, work.Record);

    bool classA = true;
    if (work.Type.Item >= 3) {
        if (fGasSelClass->ShowModal() != mrOk)
            return false;
        classA = fGasSelClass->rClassA->Checked();
        if (!CalcGasParallelRing(work.Type, size, classA, truncate, work.Diameter, work.Angle, work.Pitch,
                                 work.Designation, work.Record))
            return false;
    } else if (!CalcGasParallelPlug(work.Type, size, truncate, work.Diameter, work.Angle, work.Pitch,
                                    work.Designation, work.Record)) {
        return false;
    }
    work.Class = classA ? QStringLiteral("A") : QStringLiteral("B");
    work.Tolerance = work.Class.Text();
    return true;
}

// ---- BUTTRESS

bool ButtressError(int textId)
{
    ShowMessageBox(LoadStr(textId), LoadStr(ErrorCaptionText), TMsgIcon::Error);
    return false;
}

// Disables the pitch buttons that do not apply to the diameter in inches:
// the coarsest pitches up to 8 in, the finest above it.
void DisableButtressPitches(TfTwBR& wizard, double diameter)
{
    const auto disable = [&wizard](std::initializer_list<int> numbers) {
        for (int number : numbers)
            wizard.rM.at(size_t(number - 1))->SetEnabled(false);
    };
    if (diameter > 8)
        disable({12, 13, 14});
    else
        disable({1, 2, 3});
    if (diameter <= 4)
        disable({4, 5, 6});
    if (diameter <= 1.5)
        disable({7, 8});
}

// Threads per inch of rM1 .. rM14.
constexpr double ButtressTpi[TfTwBR::PitchCount] = {1, 1.25, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10, 12, 16, 20};

bool ButtressRoad(TCalcWork& work)
{
    const TProcessControls& c = work.Window.ProcessControls();
    TfTwBR* wizard = fTwBR;
    for (TRadioButton* button : wizard->rM)
        button->SetEnabled(true);
    const QString text = c.dNominale->Text();
    if (text.isEmpty())
        return ButtressError(ButtressNoDiameterText);
    // The checks, the pitch rules and the calculator take the diameter in
    // inches.
    const double diameter = work.DiameterInput.Value / MmPerInch;
    if (IsNan(diameter) || diameter > ButtressLargestDiameter || diameter < 0)
        return ButtressError(ButtressDiameterNotValidText);
    DisableButtressPitches(*wizard, diameter);
    const bool plug = work.Type.Group == 0;
    wizard->rD1->SetCaption(plug ? QStringLiteral("2B") : QStringLiteral("2A"));
    wizard->rD2->SetCaption(plug ? QStringLiteral("3B") : QStringLiteral("3A"));
    if (wizard->ShowModal() != mrOk)
        return false;

    double tpi = 0;
    for (int i = TfTwBR::PitchCount - 1; i >= 0; --i) {
        if (wizard->rM.at(size_t(i))->Checked())
            tpi = ButtressTpi[i];
    }
    if (tpi == 0) // no pitch chosen: nothing to calculate
        return false;
    const bool class2 = wizard->rD1->Checked();
    if (!CalcButtress(work.Type, diameter, tpi, class2, work.Designation, work.Record))
        return false;
    work.Pitch = Format(QStringLiteral("%f"), 1 / tpi);
    work.PitchUnit = TTextUnit::Inch;
    work.Class = QString(class2 ? u'2' : u'3') + (plug ? u'B' : u'A');
    work.Tolerance = work.Class.Text();
    c.dbSAL->SetText(QStringLiteral("45"));
    c.dbSAR->SetText(QStringLiteral("7"));
    return true;
}

// ---- Whitworth

bool WhitworthRoad(TCalcWork& work)
{
    TfTwWhitworth* wizard = fTwWhitworth;
    wizard->GaugeType = &work.Type;
    if (wizard->ShowModal() != mrOk)
        return false;
    if (!CalcWhitworth(work.Type, wizard->Diameter, wizard->Tpi, wizard->ThreadKind, wizard->ToleranceClass,
                       wizard->WideTolerance, work.Record))
        return false;
    const QString angle = QStringLiteral("55");
    work.Window.ProcessControls().dbAngolo->SetText(angle);
    work.Diameter = Format(QStringLiteral("%f"), wizard->Diameter);
    work.Pitch = Format(QStringLiteral("%f"), 1 / wizard->Tpi);
    work.Angle = angle;
    work.Designation = wizard->Designation;
    work.Class = wizard->ClassText;
    work.Tolerance = wizard->ClassText;
    return InchTexts(work);
}

} // namespace

void InstallFamilyCalculations()
{
    SetFamilyCalculation(FamilyAnsiAsme, AnsiRoad);
    SetFamilyCalculation(FamilySpline, SplineRoad);
    SetFamilyCalculation(FamilyGas, GasRoad);
    SetFamilyCalculation(FamilyButtress, ButtressRoad);
    SetFamilyCalculation(FamilyWhitworth, WhitworthRoad);
}
