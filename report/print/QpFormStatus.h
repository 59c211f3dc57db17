#pragma once
// QpFormStatus: TQpStatusForm, the small "Report Status" window a report run
// shows while it generates: the writer's status line in StatusLabel and a
// Cancel button that aborts the running report. After a run that waits for
// OK, the same button reads "Ok" and closes the wait instead.
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TZvSystem;

class TQpStatusForm : public TForm {
public:
    explicit TQpStatusForm(TComponent* owner);

    // While the button's modal result is 2 (Cancel) it aborts the system's
    // running report; once it is 1 (Ok) it sets FormClosed.
    void CancelButtonClick(TObject* sender);

    TLabel* StatusLabel;
    TButton* CancelButton;
    TZvSystem* ReportSystem = nullptr;
    bool FormClosed = false;
};
