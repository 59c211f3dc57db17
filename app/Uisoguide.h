#pragma once
// "ISO-guide": a read-only list of the ISO metric coarse and fine thread
// series (diameter and pitch in mm), shown modally from the main window. The
// list lives in the window's form; nothing reads it.
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfIsoguide : public TForm {
public:
    explicit TfIsoguide(TComponent* owner);
    ~TfIsoguide() override;

    void Button1Click(TObject* sender); // "Close"

    TLabel* Label1;
    TMemo* Memo1;
    TButton* Button1;
};

extern TfIsoguide* fIsoguide;
