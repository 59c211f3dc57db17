#pragma once
// The entry dialog "insert UNS": diameter, threads per inch and class of a
// unified special thread, shown after the inch thread wizard ended with its
// UNS result. The UNS calculator reads eDia, eStep and the checked class
// button; the edits and the class keep their values between showings.
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfInsUNS : public TForm {
public:
    explicit TfInsUNS(TComponent* owner);

    // Class captions by the wizard's gauge type (A for external threads of
    // group 3, else B); with the wizard's "profile J" only class 3.
    void FormShow(TObject* sender);

    TLabel* Label1;
    TEdit* eDia;
    TLabel* Label2;
    TEdit* eStep;
    TLabel* Label3;
    TRadioButton* rT1;
    TRadioButton* rT2;
    TRadioButton* rT3;
    TButton* bOk;
    TButton* bCancel;
};

extern TfInsUNS* fInsUNS;
