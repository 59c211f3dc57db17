#include "report/print/QpFormSetup.h"

#include "report/print/QpDevice.h"
#include "report/print/QpRender.h"
#include "report/print/QpRenderPrinter.h"
#include "report/print/QpSystem.h"

#include "platform/forms/MessageService.h"

#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrinter>

#include <cmath>

namespace {

const QString kDigits = QStringLiteral("0123456789");

// Keeps a key when it is Backspace or one of the allowed characters.
void FilterKey(QChar& key, const QString& allowed)
{
    if (key != QLatin1Char('\b') && !allowed.contains(key))
        key = QChar();
}

// A whole number in text; false when it has none.
bool ParseNumber(const QString& text, int& value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok);
    if (ok)
        value = parsed;
    return ok;
}

// Setup of the "Print to PDF" printer: the paper and orientation the PDF
// gets. Qt's print dialog has nothing for it (it lists only CUPS printers);
// its page-setup dialog works on the PDF printer's context. The choice
// becomes the device mode, which the pages of the next run take, and the
// choice. True when the user confirmed.
bool PdfPageSetup(TQpPrinterDevice& device, QWidget* parent, TQPSetupForm::TPageChoice& choice)
{
    device.SetState(TDeviceState::dsIC);
    QPrinter* printer = device.Handle();
    TDevMode* mode = device.DevMode();
    if (!printer || !mode)
        return false;
    device.ResetHandle(true); // the dialog starts from the device mode
    QPageSetupDialog dialog(printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QPageLayout layout = printer->pageLayout();
    mode->Orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    const int code = layout.pageSize().windowsId();
    mode->PaperSize = int16_t(code > 0 ? code : DMPAPER_USER);
    const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
    mode->PaperWidth = int16_t(std::lround(mm.width() * 10));   // 0.1 mm
    mode->PaperLength = int16_t(std::lround(mm.height() * 10)); // 0.1 mm
    mode->Fields |= DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
    device.MarkDevModeChanged();
    choice.Chosen = true;
    choice.Orientation = mode->Orientation == 2 ? TOrientation::poLandScape : TOrientation::poPortrait;
    choice.PaperSize = mode->PaperSize;
    choice.PaperWidth = mode->PaperWidth;
    choice.PaperLength = mode->PaperLength;
    return true;
}

} // namespace

TQPSetupForm::TQPSetupForm(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TQPSetupForm::FormShow);
    BindMethod("DestinationClick", &TQPSetupForm::DestinationClick);
    BindMethod("editFileNameChange", &TQPSetupForm::editFileNameChange);
    BindMethod("FileNameSBClick", &TQPSetupForm::FileNameSBClick);
    BindMethod("cboxFormatChange", &TQPSetupForm::cboxFormatChange);
    BindMethod("RangeClick", &TQPSetupForm::RangeClick);
    BindMethod("NumberKeyPress", &TQPSetupForm::NumberKeyPress);
    BindMethod("SelectionEDKeyPress", &TQPSetupForm::SelectionEDKeyPress);
    BindMethod("SetupBBClick", &TQPSetupForm::SetupBBClick);
    BindMethod("bbtnOKClick", &TQPSetupForm::bbtnOKClick);
    LoadForm();
    bbtnOK = RequireOwned<TBitBtn>(this, "bbtnOK");
    CancelBB = RequireOwned<TBitBtn>(this, "CancelBB");
    SetupBB = RequireOwned<TBitBtn>(this, "SetupBB");
    PrinterLabel = RequireOwned<TLabel>(this, "PrinterLabel");
    CopiesLabel = RequireOwned<TLabel>(this, "CopiesLabel");
    CopiesED = RequireOwned<TEdit>(this, "CopiesED");
    CollateCK = RequireOwned<TCheckBox>(this, "CollateCK");
    DuplexCK = RequireOwned<TCheckBox>(this, "DuplexCK");
    PageControl1 = RequireOwned<TPageControl>(this, "PageControl1");
    TabSheet1 = RequireOwned<TTabSheet>(this, "TabSheet1");
    TabSheet2 = RequireOwned<TTabSheet>(this, "TabSheet2");
    DestGB = RequireOwned<TGroupBox>(this, "DestGB");
    PrinterRB = RequireOwned<TRadioButton>(this, "PrinterRB");
    PreviewRB = RequireOwned<TRadioButton>(this, "PreviewRB");
    FileRB = RequireOwned<TRadioButton>(this, "FileRB");
    editFileName = RequireOwned<TEdit>(this, "editFileName");
    FileNameSB = RequireOwned<TSpeedButton>(this, "FileNameSB");
    cboxFormat = RequireOwned<TComboBox>(this, "cboxFormat");
    RangeGB = RequireOwned<TGroupBox>(this, "RangeGB");
    AllRB = RequireOwned<TRadioButton>(this, "AllRB");
    SelectionRB = RequireOwned<TRadioButton>(this, "SelectionRB");
    PagesRB = RequireOwned<TRadioButton>(this, "PagesRB");
    FromLabel = RequireOwned<TLabel>(this, "FromLabel");
    FromED = RequireOwned<TEdit>(this, "FromED");
    ToLabel = RequireOwned<TLabel>(this, "ToLabel");
    ToED = RequireOwned<TEdit>(this, "ToED");
    SelectionLabel = RequireOwned<TLabel>(this, "SelectionLabel");
    SelectionED = RequireOwned<TEdit>(this, "SelectionED");
    dlogSave = RequireOwned<TSaveDialog>(this, "dlogSave");

    for (TControl* control :
         std::initializer_list<TControl*>{FromLabel, FromED, ToLabel, ToED, SelectionLabel, SelectionED})
        control->SetVisible(false);
    PageControl1->SetActivePage(nullptr);
    editFileName->SetEnabled(false);
    FileNameSB->SetEnabled(false);
}

bool TQPSetupForm::Allowed(TSystemSetup setup) const
{
    return ReportSystem && ReportSystem->SystemSetups().Contains(setup);
}

bool TQPSetupForm::ValidPrinter() const
{
    TQpPrinterDevice* device = GlobalPrinterDevice();
    return device && !device->InvalidPrinter();
}

void TQPSetupForm::UpdatePrinterLabel()
{
    TQpPrinterDevice* device = GlobalPrinterDevice();
    const TStringList* printers = device ? device->GetPrinters() : nullptr;
    if (!printers || printers->Count() < 1) {
        PrinterLabel->SetCaption(Translate(QStringLiteral("No printers installed!")));
        return;
    }
    device->SetState(TDeviceState::dsIC);
    const QString port = device->Output();
    PrinterLabel->SetCaption(port.isEmpty()
                                 ? device->Device()
                                 : Translate(QStringLiteral("%1 on %2").arg(device->Device(), port)));
}

// The snapshot and the native output first, then every registered, active
// render target with the target attached; the save filter matches entry by
// entry (filter index = list index + 1).
void TQPSetupForm::FillFormats()
{
    const int selected = cboxFormat->ItemIndex();
    TStrings* items = cboxFormat->Items();
    items->Clear();
    const QString snapshot = Translate(QStringLiteral("Zarv Snapshot File (ZSF)"));
    const QString native = Translate(QStringLiteral("Native Printer Output (PRN)"));
    items->Add(snapshot);
    items->Add(native);
    TStringList renders;
    GetRenderList(renders);
    for (int i = 0; i < renders.Count(); ++i)
        items->AddObject(renders.Strings(i), renders.Objects(i));
    QString filter = snapshot + QStringLiteral("|*.ZSF|") + native + QStringLiteral("|*.PRN");
    const QString renderFilter = GetRenderFilter();
    if (!renderFilter.isEmpty())
        filter += QLatin1Char('|') + renderFilter;
    dlogSave->Filter = filter;
    cboxFormat->SetItemIndex(selected < items->Count() ? selected : -1);
}

void TQPSetupForm::FormShow(TObject*)
{
    if (!ReportSystem)
        return;
    TSystemPrinter* p = ReportSystem->SystemPrinter();
    const bool valid = ValidPrinter();
    FillFormats();
    UpdatePrinterLabel();
    if (PreviewSetup) {
        PageControl1->SetActivePage(TabSheet2);
        const int pages = FilePrinter ? FilePrinter->Pages() : 0;
        FromED->SetText(QStringLiteral("1"));
        ToED->SetText(QString::number(pages));
        SelectionED->SetText(QStringLiteral("1-") + QString::number(pages));
    } else {
        PageControl1->SetActivePage(TabSheet1);
        if (cboxFormat->ItemIndex() < 0)
            cboxFormat->SetItemIndex(0);
        if (valid) {
            PrinterRB->SetEnabled(Allowed(TSystemSetup::ssAllowDestPrinter));
            PreviewRB->SetEnabled(Allowed(TSystemSetup::ssAllowDestPreview));
            FileRB->SetEnabled(Allowed(TSystemSetup::ssAllowDestFile));
            switch (ReportSystem->DefaultDest()) {
            case TReportDest::rdPrinter:
                PrinterRB->SetChecked(true);
                break;
            case TReportDest::rdPreview:
                PreviewRB->SetChecked(true);
                break;
            case TReportDest::rdFile:
                FileRB->SetChecked(true);
                break;
            }
        } else {
            // Without a printer, file output needs none here: the snapshot is
            // the engine's own and the native output is a PDF file.
            PrinterRB->SetEnabled(false);
            FileRB->SetEnabled(Allowed(TSystemSetup::ssAllowDestFile));
            if (Allowed(TSystemSetup::ssAllowDestPreview))
                PreviewRB->SetChecked(true);
            else
                PreviewRB->SetEnabled(false);
        }
        DestinationClick(nullptr);
    }
    if (valid) {
        CollateCK->SetEnabled(Allowed(TSystemSetup::ssAllowCollate));
        CollateCK->SetChecked(p->Collate);
        CopiesED->SetEnabled(Allowed(TSystemSetup::ssAllowCopies));
        CopiesLabel->SetEnabled(Allowed(TSystemSetup::ssAllowCopies));
        DuplexCK->SetEnabled(Allowed(TSystemSetup::ssAllowDuplex));
        DuplexCK->SetChecked(p->Duplex != TDuplex::dupSimplex);
        SetupBB->SetEnabled(Allowed(TSystemSetup::ssAllowPrinterSetup));
    } else {
        for (TControl* control :
             std::initializer_list<TControl*>{CollateCK, CopiesED, CopiesLabel, DuplexCK, SetupBB})
            control->SetEnabled(false);
    }
    CopiesED->SetText(QString::number(p->Copies));
}

// Any destination button: the file name and format only for File; OK
// needs a file name there.
void TQPSetupForm::DestinationClick(TObject*)
{
    const bool file = FileRB->Checked();
    editFileName->SetEnabled(file);
    FileNameSB->SetEnabled(file);
    cboxFormat->SetEnabled(file);
    SetupBB->SetEnabled(Allowed(TSystemSetup::ssAllowPrinterSetup) && ValidPrinter());
    if (file) {
        bbtnOK->SetEnabled(!editFileName->Text().trimmed().isEmpty());
        return;
    }
    bbtnOK->SetEnabled(true);
    if (!ValidPrinter())
        return;
    const bool printer = PrinterRB->Checked();
    CopiesED->SetEnabled(printer && Allowed(TSystemSetup::ssAllowCopies));
    CollateCK->SetEnabled(printer && Allowed(TSystemSetup::ssAllowCollate));
    DuplexCK->SetEnabled(printer && Allowed(TSystemSetup::ssAllowDuplex));
}

void TQPSetupForm::editFileNameChange(TObject*)
{
    if (FileRB->Checked())
        bbtnOK->SetEnabled(!editFileName->Text().trimmed().isEmpty());
}

void TQPSetupForm::FileNameSBClick(TObject*)
{
    if (!dlogSave->Execute())
        return;
    editFileName->SetText(dlogSave->FileName);
    cboxFormat->SetItemIndex(dlogSave->FilterIndex - 1);
}

void TQPSetupForm::cboxFormatChange(TObject*)
{
    dlogSave->FilterIndex = cboxFormat->ItemIndex() + 1;
}

void TQPSetupForm::RangeClick(TObject*)
{
    const bool pages = PagesRB->Checked();
    const bool selection = SelectionRB->Checked();
    for (TControl* control : std::initializer_list<TControl*>{FromLabel, FromED, ToLabel, ToED}) {
        control->SetVisible(pages);
        control->SetEnabled(pages);
    }
    for (TControl* control : std::initializer_list<TControl*>{SelectionLabel, SelectionED}) {
        control->SetVisible(selection);
        control->SetEnabled(selection);
    }
}

void TQPSetupForm::NumberKeyPress(TObject*, QChar& key)
{
    FilterKey(key, kDigits);
}

void TQPSetupForm::SelectionEDKeyPress(TObject*, QChar& key)
{
    FilterKey(key, kDigits + QStringLiteral("-,"));
}

void TQPSetupForm::SetupBBClick(TObject*)
{
    TQpPrinterDevice* device = GlobalPrinterDevice();
    if (!device)
        return;
    if (device->IsPdfPrinter()) {
        PdfPageSetup(*device, Widget(), PageChoice);
        UpdatePrinterLabel();
        return;
    }
    const int before = device->DevMode() ? device->DevMode()->DefaultSource : 0;
    if (device->PrinterSetupDialog()) {
        const int after = device->DevMode() ? device->DevMode()->DefaultSource : 0;
        device->FIgnoreZSFBin = after != before;
        if (after != before)
            device->FSetupBin = after;
    }
    UpdatePrinterLabel();
}

// Copies, collation and duplex by the setups: a ticked duplex keeps a mode
// already chosen, else takes vertical.
void TQPSetupForm::ApplyPrinterSettings(int& copies, bool& collate, TDuplex& duplex) const
{
    if (Allowed(TSystemSetup::ssAllowCopies))
        ParseNumber(CopiesED->Text(), copies);
    if (Allowed(TSystemSetup::ssAllowCollate))
        collate = CollateCK->Checked();
    if (Allowed(TSystemSetup::ssAllowDuplex)) {
        if (!DuplexCK->Checked())
            duplex = TDuplex::dupSimplex;
        else if (duplex == TDuplex::dupSimplex)
            duplex = TDuplex::dupVertical;
    }
}

// The print range of the preview's printer; an empty From or To keeps the
// window open with a message instead of printing every page.
bool TQPSetupForm::ApplyRange()
{
    int first = 1;
    int last = 9999;
    if (PagesRB->Checked() && (!ParseNumber(FromED->Text(), first) || !ParseNumber(ToED->Text(), last))) {
        ShowMessageBox(Translate(QStringLiteral("Enter the first and the last page to print.")), Caption(),
                       TMsgIcon::Warning);
        return false;
    }
    FilePrinter->SetFirstPage(first);
    FilePrinter->SetLastPage(last);
    FilePrinter->SetSelection(SelectionRB->Checked() ? SelectionED->Text() : QString());
    return true;
}

void TQPSetupForm::ApplyDestination()
{
    if (PrinterRB->Checked()) {
        ReportSystem->SetReportDest(TReportDest::rdPrinter);
        ReportSystem->SetOutputFileName(QString());
    } else if (PreviewRB->Checked()) {
        ReportSystem->SetReportDest(TReportDest::rdPreview);
        ReportSystem->SetOutputFileName(QString());
    } else if (FileRB->Checked()) {
        ReportSystem->SetReportDest(TReportDest::rdFile);
        QString name = editFileName->Text().trimmed();
        const bool dotted = name.contains(QLatin1Char('.'));
        const int format = cboxFormat->ItemIndex();
        if (format <= 0) {
            if (!dotted)
                name += QStringLiteral(".zsf");
            ReportSystem->DoNativeOutput = false;
            ReportSystem->SetRenderObject(nullptr);
        } else if (format == 1) {
            if (!dotted)
                name += QStringLiteral(".prn");
            ReportSystem->DoNativeOutput = true;
            ReportSystem->SetRenderObject(nullptr);
        } else {
            auto* render = static_cast<TQPRender*>(cboxFormat->Items()->Objects(format));
            ReportSystem->DoNativeOutput = false;
            ReportSystem->SetRenderObject(render);
            if (render && !dotted)
                name += render->GetFileExtension().mid(1);
        }
        ReportSystem->SetOutputFileName(name);
    }
}

void TQPSetupForm::bbtnOKClick(TObject*)
{
    if (!ReportSystem)
        return;
    if (PreviewSetup && FilePrinter) {
        if (!ApplyRange()) {
            SetModalResult(mrNone);
            return;
        }
        ApplyPrinterSettings(FilePrinter->Copies, FilePrinter->Collate, FilePrinter->Duplex);
    } else {
        ApplyDestination();
    }
    TSystemPrinter* p = ReportSystem->SystemPrinter();
    ApplyPrinterSettings(p->Copies, p->Collate, p->Duplex);
    // The run sets its own orientation on the device; the one chosen in
    // Setup replaces it.
    if (!PreviewSetup && PageChoice.Chosen)
        p->Orientation = PageChoice.Orientation;
}
