#include "app/core/Unumber.h"

#include "app/core/Unan.h"
#include "platform/rtl/Exceptions.h"

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
    }
}

void NCLIST::SetTypedValue(TNumberEdit* control, double value)
{
    if (NUMBER* number = Find(control))
        number->Value = value;
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
    number->Shown.reset();
    number->Typed = control->Text();
    number->TypedUnit = FReadout.GetUnit();
    try {
        if (FReadout.PresetText(control->Text()))
            number->Value = FReadout.ReadValue();
        else
            number->Value = NanValue();
    } catch (const Exception&) {
        number->Value = NanValue();
    }
    return true;
}

void NCLIST::Refresh()
{
    for (const std::unique_ptr<NUMBER>& number : FNumbers) {
        if (!number->Control)
            continue;
        if (IsNan(number->Value)) {
            number->Shown = QString();
        } else {
            FReadout.SetZero(number->Value);
            number->Shown = FReadout.ReadFormatted();
        }
        number->Control->SetText(*number->Shown);
    }
}

bool NCLIST::ShowsValue(TNumberEdit* control) const
{
    const NUMBER* number = Find(control);
    return number && control && number->Shown && control->Text() == *number->Shown;
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

NUMBER* NCLIST::Find(TNumberEdit* control) const
{
    for (const std::unique_ptr<NUMBER>& number : FNumbers) {
        if (number->Control == control)
            return number.get();
    }
    return nullptr;
}
