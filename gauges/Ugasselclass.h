#pragma once
// The class picker "Select class" of the ISO 228 ring gauges: "Class A" or
// "Class B". The process windows show it modally after the pipe-size picker
// and pass rClassA's state to the parallel ring calculator; the choice stays
// from one showing to the next.
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfGasSelClass : public TForm {
public:
    explicit TfGasSelClass(TComponent* owner);

    TRadioButton* rClassA;
    TRadioButton* rClassB;
    TButton* bOk;
    TButton* bCancel;
};

extern TfGasSelClass* fGasSelClass;
