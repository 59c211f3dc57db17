#include "report/print/QpFormStatus.h"

#include "report/print/QpSystem.h"

TQpStatusForm::TQpStatusForm(TComponent* owner) : TForm(owner)
{
    BindMethod("CancelButtonClick", &TQpStatusForm::CancelButtonClick);
    LoadForm();
    StatusLabel = RequireOwned<TLabel>(this, "StatusLabel");
    CancelButton = RequireOwned<TButton>(this, "CancelButton");
}

void TQpStatusForm::CancelButtonClick(TObject*)
{
    if (CancelButton->ModalResult() == mrCancel) {
        if (ReportSystem && ReportSystem->BaseReport())
            ReportSystem->BaseReport()->Abort();
    } else {
        FormClosed = true;
    }
}
