#pragma once
// "Tolerances OVER WIRE": the Go and No-go limits of the measuring tab
// expressed as readings over wires. The main window fills the edits and
// shows the window modally; on showing, each label and edit is visible
// exactly when the main window's control of the same name is.
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TfQfili : public TForm {
public:
    explicit TfQfili(TComponent* owner);
    ~TfQfili() override;

    void FormShow(TObject* sender);

    TLabel* lTP;  // "Go"
    TLabel* lTNP; // "No-go"
    TEdit* eTsupP;
    TEdit* eTinfP;
    TEdit* eTsupNP;
    TEdit* eTinfNP;
};

extern TfQfili* fQfili;
