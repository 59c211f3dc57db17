#include "gauges/Ugasselclass.h"

TfGasSelClass* fGasSelClass = nullptr;

TfGasSelClass::TfGasSelClass(TComponent* owner) : TForm(owner)
{
    LoadForm();
    rClassA = RequireOwned<TRadioButton>(this, "rClassA");
    rClassB = RequireOwned<TRadioButton>(this, "rClassB");
    bOk = RequireOwned<TButton>(this, "bOk");
    bCancel = RequireOwned<TButton>(this, "bCancel");
}
