#include "app/Uplvzero.h"

#include "app/Upictures.h"

TfplvZero* fplvZero = nullptr;

TfplvZero::TfplvZero(TComponent* owner) : TForm(owner)
{
    BindMethod("NoZeroTimerTimer", &TfplvZero::NoZeroTimerTimer);
    LoadForm();
    pBack = RequireOwned<TPanel>(this, "pBack");
    iBack = RequireOwned<TImage>(this, "iBack");
    tplvmessage = RequireOwned<TLabel>(this, "tplvmessage");
    lMove = RequireOwned<TLabel>(this, "lMove");
    LoadResourcePicture(iBack, ZeroSearchPicture);
    SetZeroSearchNotice(this);
}

TfplvZero::~TfplvZero()
{
    SetZeroSearchNotice(nullptr);
    if (fplvZero == this)
        fplvZero = nullptr;
}

void TfplvZero::NoZeroTimerTimer(TObject*) {}
