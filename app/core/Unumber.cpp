#include "app/core/Unumber.h"

#include "app/core/Unan.h"
#include "platform/rtl/Exceptions.h"

#include <cmath>

TNumberEdit::~TNumberEdit() = default;

NCLIST::NCLIST() = default;

NCLIST::~NCLIST()
{
    Clear();
}

bool NCLIST::Add(TNumberEdit* control, double value)
{
    FNumbers.push_back(std::make_unique<NUMBER>(control, value));
    return true;
}

void NCLIST::SetValue(TNumberEdit* control, double value)
{
    if (NUMBER* number = Find(control)) {
        number->Value = value;
        number->Typed.clear();
        number->TypedHeld = false;
        number->Shown.reset();
    }
}

void NCLIST::SetTypedValue(TNumberEdit* control, double value)
{
    if (NUMBER* number = Find(control)) {
        number->Value = value;
        number->TypedHeld = false;
        number->Shown.reset();
    }
}

void NCLIST::HoldTypedValue(TNumberEdit* control, double value)
{
    NUMBER* number = Find(control);
    if (!number || !control)
        return;
    number->Value = value;
    number->Typed = control->Text();
    number->TypedUnit = FReadout.GetUnit();
    number->TypedHeld = true;
}

bool NCLIST::GetValue(TNumberEdit* control, double& value) const
{
    value = 0;
    const NUMBER* number = Find(control);
    if (!number || IsNan(number->Value))
        return false;
    value = number->Value;
    return true;
}

bool NCLIST::ReadEdit(TNumberEdit* control)
{
    if (FNumbers.empty())
        return false;
    NUMBER* number = Find(control);
    if (!number || !control)
        return true;
    bool typedHeld = false;
    const TLengthInput input = Read(*number, typedHeld);
    number->Value = input.Value;
    number->Typed = input.Typed;
    number->TypedUnit = input.TypedUnit;
    number->TypedHeld = typedHeld;
    return true;
}

void NCLIST::Refresh()
{
    for (const std::unique_ptr<NUMBER>& number : FNumbers)
        Write(*number);
}

void NCLIST::Refresh(TNumberEdit* control)
{
    if (NUMBER* number = Find(control))
        Write(*number);
}

TLengthInput NCLIST::LengthOf(TNumberEdit* control)
{
    if (!control)
        return {};
    if (const NUMBER* number = Find(control)) {
        bool typedHeld = false;
        return Read(*number, typedHeld);
    }
    TLengthInput input;
    input.Typed = control->Text();
    input.TypedUnit = FReadout.GetUnit();
    input.Value = ReadText(input.Typed);
    return input;
}

bool NCLIST::ShowsValue(TNumberEdit* control) const
{
    const NUMBER* number = Find(control);
    if (!number || !control || !number->Shown || control->Text() != number->Shown->Text)
        return false;
    const double held = number->Shown->Value;
    return held == number->Value || (std::isnan(held) && std::isnan(number->Value));
}

bool NCLIST::TypedText(TNumberEdit* control, QString& text, int& unit) const
{
    text.clear();
    unit = 0;
    const NUMBER* number = Find(control);
    if (!number || number->Typed.isEmpty())
        return false;
    text = number->Typed;
    unit = number->TypedUnit;
    return true;
}

void NCLIST::Clear()
{
    FNumbers.clear();
}

TLengthInput NCLIST::Read(const NUMBER& number, bool& typedHeld)
{
    const QString text = number.Control->Text();
    const int unit = FReadout.GetUnit();
    typedHeld = false;
    TLengthInput input;
    if (const std::optional<NUMBER::TShown>& shown = number.Shown) {
        // The window's text, or one typed that reads as the same number
        // ("+03.937010" for "  +03.937010"): no change of the value. A
        // number that differs, however little, is the user's.
        const bool same = text == shown->Text || [&] {
            const double typed = ReadText(text);
            return !IsNan(typed) && typed == ReadText(shown->Text);
        }();
        if (same) {
            input.Value = shown->Value;
            input.Held = true;
            input.Typed = shown->Typed;
            input.TypedUnit = shown->TypedUnit;
            return input;
        }
    }
    if (number.TypedHeld && number.TypedUnit == unit && text == number.Typed) {
        typedHeld = true;
        input.Value = number.Value;
        input.Held = true;
        input.Typed = number.Typed;
        input.TypedUnit = unit;
        return input;
    }
    input.Typed = text;
    input.TypedUnit = unit;
    input.Value = ReadText(text);
    return input;
}

double NCLIST::ReadText(const QString& text)
{
    try {
        return FReadout.PresetText(text) ? FReadout.ReadValue() : NanValue();
    } catch (const Exception&) {
        return NanValue();
    }
}

void NCLIST::Write(NUMBER& number)
{
    TNumberEdit* control = number.Control;
    if (!control)
        return;
    // A size typed in a form the readout cannot write back ("1 1/2") stays
    // as typed while it means what it was typed as.
    if (number.TypedHeld && number.TypedUnit == FReadout.GetUnit() && control->Text() == number.Typed)
        return;
    QString text;
    if (IsNan(number.Value)) {
        number.Typed.clear(); // the edit shows nothing typed any more
    } else {
        FReadout.SetZero(number.Value);
        text = FReadout.ReadFormatted();
    }
    number.TypedHeld = false;
    number.Shown = NUMBER::TShown{text, number.Value, number.Typed, number.TypedUnit};
    control->SetText(text);
}

NUMBER* NCLIST::Find(TNumberEdit* control) const
{
    for (const std::unique_ptr<NUMBER>& number : FNumbers) {
        if (number->Control == control)
            return number.get();
    }
    return nullptr;
}
