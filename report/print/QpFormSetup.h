#pragma once
// QpFormSetup: TQPSetupForm, the modal "Output Options" dialog. Opened by a
// report run (PreviewSetup false) it picks the destination: printer,
// preview, or a file in a format (snapshot, the printer's native output, or
// a registered render target). Opened by the preview's Print (PreviewSetup
// true) it shows the print range instead. Both set copies, collation and
// duplex as the system's setups allow. Modal result 1 is OK.
#include "report/print/QpDefine.h"

#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

class TZvRenderPrinter;
class TZvSystem;

class TQPSetupForm : public TForm {
public:
    explicit TQPSetupForm(TComponent* owner);

    // Handlers named in the form file.
    void FormShow(TObject* sender);
    void DestinationClick(TObject* sender);
    void editFileNameChange(TObject* sender);
    void FileNameSBClick(TObject* sender);
    void cboxFormatChange(TObject* sender);
    void RangeClick(TObject* sender);
    void NumberKeyPress(TObject* sender, QChar& key);
    void SelectionEDKeyPress(TObject* sender, QChar& key);
    void SetupBBClick(TObject* sender);
    void bbtnOKClick(TObject* sender);

    TBitBtn* bbtnOK;
    TBitBtn* CancelBB;
    TBitBtn* SetupBB;
    TLabel* PrinterLabel;
    TLabel* CopiesLabel;
    TEdit* CopiesED;
    TCheckBox* CollateCK;
    TCheckBox* DuplexCK;
    TPageControl* PageControl1;
    TTabSheet* TabSheet1;
    TTabSheet* TabSheet2;
    TGroupBox* DestGB;
    TRadioButton* PrinterRB;
    TRadioButton* PreviewRB;
    TRadioButton* FileRB;
    TEdit* editFileName;
    TSpeedButton* FileNameSB;
    TComboBox* cboxFormat;
    TGroupBox* RangeGB;
    TRadioButton* AllRB;
    TRadioButton* SelectionRB;
    TRadioButton* PagesRB;
    TLabel* FromLabel;
    TEdit* FromED;
    TLabel* ToLabel;
    TEdit* ToED;
    TLabel* SelectionLabel;
    TEdit* SelectionED;
    TSaveDialog* dlogSave;

    TZvSystem* ReportSystem = nullptr;
    TZvRenderPrinter* FilePrinter = nullptr; // the preview's printer target
    bool PreviewSetup = false;
    // The paper and orientation chosen with Setup on the "Print to PDF"
    // printer while the window was open; Chosen is false when none was. OK
    // gives a run the orientation (the paper is the device mode's); the
    // preview's Print prints its snapshot on them.
    struct TPageChoice {
        bool Chosen = false;
        TOrientation Orientation = TOrientation::poPortrait;
        int PaperSize = 0;   // DMPAPER_* number; 256 a custom size
        int PaperWidth = 0;  // 0.1 mm
        int PaperLength = 0; // 0.1 mm
    };
    TPageChoice PageChoice;

private:
    void UpdatePrinterLabel();
    void FillFormats();
    bool ValidPrinter() const;
    bool Allowed(TSystemSetup setup) const;
    void ApplyDestination();
    void ApplyPrinterSettings(int& copies, bool& collate, TDuplex& duplex) const;
    bool ApplyRange();
};
