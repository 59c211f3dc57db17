#pragma once
// The pipe-size picker "Select pipe size": up to 24 size buttons for the
// pipe threads of the main window's current gauge type (ANSI/ASME pipe
// threads, ISO 7 taper, ISO 228 parallel) and, for ISO 228, the option
// "Truncate crests". The process windows show it modally before a pipe
// calculation and, after OK, pass SelectedPipeSize(SizeButtonList) and the
// state of cTruncrest to the calculator.
#include "app/core/Ucalibretype.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <vector>

// The size buttons in order RadioButton1 .. RadioButton24; the controls
// belong to the window.
using TSizeButtonList = std::vector<TRadioButton*>;

class TfNPDia : public TForm {
public:
    static constexpr int SizeButtonCount = 24;

    explicit TfNPDia(TComponent* owner);

    // Lays the window out for the main window's current gauge type and
    // preselects the first size.
    void FormShow(TObject* sender);
    void FormDestroy(TObject* sender);
    // Any size button: "Truncate crests", where offered, starts unticked
    // and can be ticked.
    void RadioButtonNClick(TObject* sender);

    TButton* bOk;
    TButton* bCancel;
    TCheckBox* cTruncrest;
    TSizeButtonList SizeButtonList;
};

extern TfNPDia* fNPDia;

// Index of the first visible, checked button of the list; -1 for none.
int SelectedPipeSize(const TSizeButtonList& list);

// Fill the size buttons: every button is hidden and unchecked, then one per
// size of the table, in order, is captioned ("1/16", "1", "1 1/4") and
// shown. The gauge type is read by FillPipeSizes only (its key, group * 100
// + item, chooses the ANSI/ASME pipe table).
void FillTaperPipeSizes(TSizeButtonList& list, CALIBRETYPE type);    // ISO 7, 15 sizes
void FillParallelPipeSizes(TSizeButtonList& list, CALIBRETYPE type); // ISO 228, 24 sizes
void FillPipeSizes(TSizeButtonList& list, CALIBRETYPE type);         // ANSI/ASME pipe threads
