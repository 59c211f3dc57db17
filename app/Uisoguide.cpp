#include "app/Uisoguide.h"

TfIsoguide* fIsoguide = nullptr;

TfIsoguide::TfIsoguide(TComponent* owner) : TForm(owner)
{
    BindMethod("Button1Click", &TfIsoguide::Button1Click);
    LoadForm();
    Label1 = RequireOwned<TLabel>(this, "Label1");
    Memo1 = RequireOwned<TMemo>(this, "Memo1");
    Button1 = RequireOwned<TButton>(this, "Button1");
}

TfIsoguide::~TfIsoguide()
{
    if (fIsoguide == this)
        fIsoguide = nullptr;
}

void TfIsoguide::Button1Click(TObject*)
{
    Close();
}
