#include "report/print/QpBase.h"

#include "platform/rtl/RtlMath.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kNotPrinting = QStringLiteral("Invalid method call.  Sheetcaster is not printing.");
const QString kAlreadyPrinting = QStringLiteral("Invalid method call.  Sheetcaster already printing.");
const QString kCanvasNotActive = QStringLiteral("Error!  Canvas not yet active.");

// A superscript or subscript is realised at this fraction of the height.
constexpr double kScriptDivisor = 1.667;
// Face names longer than this are cut, as the font mapper cuts them.
constexpr int kMaxFaceName = 31;

bool SameRealisedFont(const TSaveFont& a, const TSaveFont& b)
{
    return a.Name == b.Name && a.Pitch == b.Pitch && a.Height == b.Height && a.Bold == b.Bold &&
           a.Underline == b.Underline && a.Italic == b.Italic && a.Strikeout == b.Strikeout &&
           a.Rotation == b.Rotation && a.Superscript == b.Superscript && a.Subscript == b.Subscript &&
           a.CharSet == b.CharSet;
}

// A device that prints in two colours only: a printer whose device mode asks
// for monochrome output.
bool IsTwoColourDevice(TQPBaseDevice* device)
{
    auto* printer = dynamic_cast<TQpPrinterDevice*>(device);
    const TDevMode* dm = printer ? printer->DevMode() : nullptr;
    return dm && (dm->Fields & DM_COLOR) && dm->Color == 1;
}

} // namespace

void TTabList::Assign(const TTabList& source)
{
    if (&source == this)
        return;
    FTabs.clear();
    for (const auto& tab : source.FTabs)
        FTabs.push_back(std::make_unique<TTab>(*tab));
}

TTab* TTabList::Add()
{
    FTabs.push_back(std::make_unique<TTab>());
    return FTabs.back().get();
}

int TTabList::IndexOf(const TTab* tab) const
{
    for (size_t i = 0; i < FTabs.size(); ++i)
        if (FTabs[i].get() == tab)
            return int(i);
    return -1;
}

// ---------------------------------------------------------------------------
// Creation, copying, destruction

TBaseReport::TBaseReport(TComponent* owner) : TQPBaseComponent(owner)
{
    FBeforeTabs = false;
    FBaseFont = std::make_unique<TSaveFont>();
    FBaseFont->Name = QStringLiteral("Arial");
    FBaseFont->Color = clBlack;
    FBaseFont->CharSet = DEFAULT_CHARSET;
    FBaseFont->Size = 10;
    FBaseFont->Height = 10.0 / 72.0;
    FBaseFont->Ascent = FBaseFont->Height / 2;
    FBaseFont->Descent = FBaseFont->Height / 2;
    for (auto& slot : FSaveFontArr)
        slot = std::make_unique<TSaveFont>(*FBaseFont);
    FBaseFontChanged = true;
    FPrinterIndex = PrinterIndex();
    ResetPrinter();
    FCurrentPage = 0;
    FStatusFormat = Translate(QStringLiteral("Printing page %p"));
    FCopies = 1;
    FLineHeightMethod = TLineHeightMethod::lhmFont;
    FLinesPerInch = 6;
    SetTextBKMode(TBKMode::bkTransparent);
    FTitle = QStringLiteral("Zarv Report");
    FFixedTabWidth = 0.5;
}

// A hooked canvas font is given back first: the device (and its canvas) may
// outlive this canvas. A job still open on the device is aborted only when
// the device is printing; aborting an idle device is a misuse it refuses.
TBaseReport::~TBaseReport()
{
    try {
        UnhookCanvasFont();
        if (!NoPrinters()) {
            TQPBaseDevice* device = LocalDevice();
            if (device->CanvasActive() && device->Printing())
                device->Abort();
        }
    } catch (const Exception&) {
        // Nothing may leave a destructor.
    }
}

void TBaseReport::AssignTo(TPersistent* dest) const
{
    auto* report = dynamic_cast<TBaseReport*>(dest);
    if (!report)
        throw EInvalidCast(QStringLiteral("Invalid class typecast"));
    report->FFirstPage = FFirstPage;
    report->FLastPage = FLastPage;
    report->FSelection = FSelection;
    report->SetStatusLabel(FStatusLabel);
    report->FStatusFormat = FStatusFormat;
    report->FStatusText = FStatusText;
    report->FLineHeightMethod = FLineHeightMethod;
    report->FLineHeight = FLineHeight;
    report->FLinesPerInch = FLinesPerInch;
    report->SetUnits(FUnits);
    report->SetUnitsFactor(FUnitsFactor);
    report->SetMarginLeft(FLeftMarginWidth);
    report->SetMarginRight(FRightMarginWidth);
    report->SetMarginTop(FTopMarginWidth);
    report->SetMarginBottom(FBottomMarginWidth);
    report->FTabShade = FTabShade;
    report->FTabColor = FTabColor;
    report->FBoxLineColor = FBoxLineColor;
    report->FTitle = FTitle;
    report->SetTextBKMode(FTextBKMode);
    report->SetCopies(FCopies);
    report->SetOrientation(FOrientation);
    report->SetScaleX(FScaleX);
    report->SetScaleY(FScaleY);
    report->FMacroData = FMacroData;
    report->OnPrint = OnPrint;
    report->OnPrintPage = OnPrintPage;
    report->OnBeforePrint = OnBeforePrint;
    report->OnAfterPrint = OnAfterPrint;
    report->OnNewPage = OnNewPage;
    report->OnNewColumn = OnNewColumn;
    report->OnPrintHeader = OnPrintHeader;
    report->OnPrintFooter = OnPrintFooter;
}

void TBaseReport::Notification(TComponent* component, TOperation operation)
{
    TQPBaseComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FStatusLabel)
        FStatusLabel = nullptr;
}

void TBaseReport::SetStatusLabel(TComponent* label)
{
    ReferenceComponent(this, FStatusLabel, label);
}

void TBaseReport::CheckPrinting() const
{
    if (!FPrinting)
        RaiseError(Translate(kNotPrinting));
    if (FAborted)
        throw EAbort();
}

void TBaseReport::CheckNotPrinting() const
{
    if (FPrinting)
        RaiseError(Translate(kAlreadyPrinting));
}

// ---------------------------------------------------------------------------
// Coordinates

int TBaseReport::XI2D(double x) const
{
    return int(Round((FScaleX * FZoom / 10000 * (x + FOriginX) - FLeftWaste) * FXDPI)) + FAddX;
}

int TBaseReport::YI2D(double y) const
{
    return int(Round((FScaleY * FZoom / 10000 * (y + FOriginY) - FTopWaste) * FYDPI)) + FAddY;
}

double TBaseReport::XD2I(int d) const
{
    return ((d - FAddX) / double(FXDPI) + FLeftWaste) * 10000 / (FScaleX * FZoom) - FOriginX;
}

double TBaseReport::YD2I(int d) const
{
    return ((d - FAddY) / double(FYDPI) + FTopWaste) * 10000 / (FScaleY * FZoom) - FOriginY;
}

void TBaseReport::SetUnits(TPrintUnits units)
{
    FUnits = units;
    switch (units) {
    case TPrintUnits::unInch:
        FUnitsFactor = 1.0;
        break;
    case TPrintUnits::unMM:
        FUnitsFactor = 25.4;
        break;
    case TPrintUnits::unCM:
        FUnitsFactor = 2.54;
        break;
    case TPrintUnits::unPoint:
        FUnitsFactor = 72.0;
        break;
    case TPrintUnits::unUser:
        break;
    }
}

void TBaseReport::SetUnitsFactor(double factor)
{
    if (!(factor > 0))
        return;
    FUnitsFactor = factor;
    if (factor == 1.0)
        FUnits = TPrintUnits::unInch;
    else if (factor == 25.4)
        FUnits = TPrintUnits::unMM;
    else if (factor == 2.54)
        FUnits = TPrintUnits::unCM;
    else if (factor == 72.0)
        FUnits = TPrintUnits::unPoint;
    else
        FUnits = TPrintUnits::unUser;
}

void TBaseReport::SetXPos(double value)
{
    FCursorXPos = XU2I(value);
}

void TBaseReport::SetYPos(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value);
}

void TBaseReport::GotoXY(double x, double y)
{
    SetXPos(x);
    SetYPos(y);
}

void TBaseReport::SetScaleX(double percent)
{
    FScaleX = percent;
}

void TBaseReport::SetScaleY(double percent)
{
    FScaleY = percent;
}

// ---------------------------------------------------------------------------
// Margins, sections, page

double TBaseReport::DevicePageWidthInches()
{
    return LocalDevice()->GetPageWidth() / double(FXDPI) + FLeftWaste + FRightWaste;
}

double TBaseReport::DevicePageHeightInches()
{
    return LocalDevice()->GetPageHeight() / double(FYDPI) + FTopWaste + FBottomWaste;
}

void TBaseReport::SetMarginLeft(double value)
{
    FLeftMarginWidth = value;
    FLeftMargin = XU2I(value);
    SetLeftSectionInches(FLeftMargin);
}

void TBaseReport::SetMarginRight(double value)
{
    FRightMarginWidth = value;
    if (NoPrinters())
        FRightMargin = FNoPrinterPageWidth - XU2I(value);
    else
        FRightMargin = DevicePageWidthInches() - XU2I(value);
    SetRightSectionInches(FRightMargin);
}

void TBaseReport::SetMarginTop(double value)
{
    FTopMarginWidth = value;
    FTopMargin = YU2I(value);
    SetTopSectionInches(FTopMargin);
}

void TBaseReport::SetMarginBottom(double value)
{
    FBottomMarginWidth = value;
    if (NoPrinters())
        FBottomMargin = FNoPrinterPageHeight - YU2I(value);
    else
        FBottomMargin = DevicePageHeightInches() - YU2I(value);
    SetBottomSectionInches(FBottomMargin);
}

void TBaseReport::SetLeftSectionInches(double inches)
{
    FLeftSection = inches;
    if (FCursorXPos < inches)
        FCursorXPos = inches;
}

void TBaseReport::SetRightSectionInches(double inches)
{
    FRightSection = inches;
    if (FCursorXPos > inches)
        FCursorXPos = inches;
}

void TBaseReport::SetTopSectionInches(double inches)
{
    FTopSection = inches;
    if (FCursorYPos < inches)
        FCursorYPos = inches;
}

void TBaseReport::SetBottomSectionInches(double inches)
{
    FBottomSection = inches;
    if (FCursorYPos > inches)
        FCursorYPos = inches;
}

void TBaseReport::SetSectionLeft(double value)
{
    SetLeftSectionInches(XU2I(value));
}

void TBaseReport::SetSectionRight(double value)
{
    SetRightSectionInches(XU2I(value));
}

void TBaseReport::SetSectionTop(double value)
{
    SetTopSectionInches(YU2I(value));
}

void TBaseReport::SetSectionBottom(double value)
{
    SetBottomSectionInches(YU2I(value));
}

void TBaseReport::ResetSection()
{
    SetLeftSectionInches(FLeftMargin);
    SetRightSectionInches(FRightMargin);
    SetTopSectionInches(FTopMargin);
    SetBottomSectionInches(FBottomMargin);
}

double TBaseReport::PageWidth()
{
    return XI2U(NoPrinters() ? FNoPrinterPageWidth : DevicePageWidthInches());
}

double TBaseReport::PageHeight()
{
    return YI2U(NoPrinters() ? FNoPrinterPageHeight : DevicePageHeightInches());
}

// ---------------------------------------------------------------------------
// Device and page settings

bool TBaseReport::NoPrinters() const
{
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return !printer || printer->InvalidPrinter();
}

TQPBaseDevice* TBaseReport::LocalDevice() const
{
    return FLocalDevice ? FLocalDevice : GlobalDevice();
}

void TBaseReport::SetOrientation(TOrientation orientation)
{
    FNewOrientation = orientation;
    if (!FPrinting)
        ApplyOrientation();
}

void TBaseReport::ApplyOrientation()
{
    if (NoPrinters()) {
        if (FNewOrientation != FOrientation &&
            (FNewOrientation == TOrientation::poLandScape || FOrientation == TOrientation::poLandScape))
            std::swap(FNoPrinterPageWidth, FNoPrinterPageHeight);
    } else if (FNewOrientation != TOrientation::poDefault) {
        LocalDevice()->SetOrientation(FNewOrientation);
        ResetWaste();
    }
    FOrientation = FNewOrientation;
}

void TBaseReport::SetCopies(int copies)
{
    CheckNotPrinting();
    if (!NoPrinters() && copies > 0)
        LocalDevice()->SetCopies(copies);
    FCopies = copies;
}

int TBaseReport::PrinterIndex() const
{
    return NoPrinters() ? -1 : GlobalPrinterDevice()->DeviceIndex();
}

void TBaseReport::SetPrinterIndex(int index)
{
    CheckNotPrinting();
    if (index < -1)
        return;
    FPrinterIndex = index;
    if (!NoPrinters())
        GlobalPrinterDevice()->SetDeviceIndex(index);
    ResetPrinter();
}

bool TBaseReport::SetPaperSize(int size, double width, double height)
{
    CheckNotPrinting();
    if (NoPrinters()) {
        if (width != 0 && height != 0) {
            FNoPrinterPageWidth = XU2I(width);
            FNoPrinterPageHeight = YU2I(height);
        }
        return true;
    }
    const bool result =
        LocalDevice()->SetPaperSize(size, int(Round(XU2I(width) * 254)), int(Round(YU2I(height) * 254)));
    ResetWaste();
    return result;
}

bool TBaseReport::SelectPaper(const QString& paperName)
{
    CheckNotPrinting();
    return LocalDevice()->SelectPaper(paperName, false);
}

bool TBaseReport::SelectBin(const QString& binName)
{
    return LocalDevice()->SelectBin(binName, false);
}

bool TBaseReport::SelectPrinter(const QString& printerName)
{
    CheckNotPrinting();
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    if (!printer)
        return false;
    return printer->SelectPrinter(printerName, true) || printer->SelectPrinter(printerName, false);
}

TDevMode* TBaseReport::DevMode() const
{
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return printer ? printer->DevMode() : nullptr;
}

QString TBaseReport::DeviceName()
{
    if (OutputMode() == 1)
        return Translate(QStringLiteral("Preview"));
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return Translate(printer ? printer->Device() : QStringLiteral("Render"));
}

QString TBaseReport::DriverName()
{
    if (OutputMode() == 1)
        return Translate(QStringLiteral("Preview"));
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return Translate(printer ? printer->Driver() : QStringLiteral("Render"));
}

QString TBaseReport::Port()
{
    if (OutputMode() == 1)
        return Translate(QStringLiteral("Screen"));
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return Translate(printer ? printer->Output() : QStringLiteral("Render"));
}

// The output file is handed to the printer device even when no printer is
// installed, so that a job can still be printed into a file.
void TBaseReport::SetOutputName(const QString& fileName)
{
    CheckNotPrinting();
    FOutputName = fileName;
    if (TQpPrinterDevice* printer = GlobalPrinterDevice())
        printer->SetOutputFile(fileName);
}

void TBaseReport::ReleasePrinter()
{
    if (NoPrinters())
        return;
    CheckNotPrinting();
    GlobalPrinterDevice()->SaveToPrinter();
}

void TBaseReport::RecoverPrinter()
{
    if (NoPrinters())
        return;
    CheckNotPrinting();
    GlobalPrinterDevice()->LoadFromPrinter();
}

bool TBaseReport::ShowPrinterSetupDialog()
{
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return printer && printer->PrinterSetupDialog();
}

bool TBaseReport::ShowPrintDialog()
{
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    if (!printer)
        return false;
    TPrintDialogRec rec;
    rec.Collate = printer->GetCollate();
    rec.Copies = printer->GetCopies();
    rec.FromPage = FFirstPage;
    rec.ToPage = FLastPage;
    rec.MinPage = 1;
    rec.MaxPage = FLastPage;
    rec.Options = {TPrintDialogOption::poWarning};
    rec.PrintToFile = false;
    rec.PrintRange = TPrintRange::prAllPages;
    const bool result = printer->PrintDialog(rec);
    printer->SetCollate(rec.Collate);
    SetCopies(rec.Copies);
    if (rec.PrintRange == TPrintRange::prPageNums) {
        FFirstPage = rec.FromPage;
        FLastPage = rec.ToPage;
    } else if (rec.PrintRange == TPrintRange::prAllPages) {
        FFirstPage = 1;
        FLastPage = 9999;
    }
    return result;
}

void TBaseReport::ResetWaste()
{
    FLeftWaste = FRightWaste = FTopWaste = FBottomWaste = 0;
    TQPBaseDevice* device = LocalDevice();
    if (NoPrinters()) {
        FXDPI = device->GetXDPI();
        FYDPI = device->GetYDPI();
        return;
    }
    const int mode = OutputMode();
    if (mode != 0 && mode != 2 && mode != 4)
        return;
    GlobalPrinterDevice()->ResetHandle(false);
    FXDPI = device->GetXDPI();
    FYDPI = device->GetYDPI();
    const TRect waste = device->GetWaste();
    FLeftWaste = waste.Left / double(FXDPI);
    FRightWaste = waste.Right / double(FXDPI);
    FTopWaste = waste.Top / double(FYDPI);
    FBottomWaste = waste.Bottom / double(FYDPI);
}

void TBaseReport::ResetPrinter()
{
    CheckNotPrinting();
    ResetWaste();
    SetMarginLeft(FLeftMarginWidth);
    SetMarginRight(FRightMarginWidth);
    SetMarginTop(FTopMarginWidth);
    SetMarginBottom(FBottomMarginWidth);
    ResetSection();
}

void TBaseReport::Reset()
{
    SetPen(clBlack, TPenStyle::psSolid, 1, TPenMode::pmCopy);
    SetBrush(clBlack, TBrushStyle::bsClear, nullptr);
    FOriginX = 0;
    FOriginY = 0;
    ClearColumns();
    ClearTabs();
    ResetSection();
    Home();
    FTabJustify = TTabJustify::tjNone;
}

TColor TBaseReport::BKColor()
{
    CheckPrinting();
    return GetCanvas()->BackgroundColor();
}

void TBaseReport::SetBKColor(TColor color)
{
    CheckPrinting();
    GetCanvas()->SetBackgroundColor(color);
}

void TBaseReport::SetTextBKMode(TBKMode mode)
{
    FTextBKMode = mode;
}

void TBaseReport::SetFrameMode(TFrameMode mode)
{
    FFrameMode = mode;
}

TCanvas* TBaseReport::GetCanvas()
{
    TQPBaseDevice* device = LocalDevice();
    TCanvas* canvas = device->GetCanvas();
    if (!canvas || !device->CanvasActive())
        RaiseError(Translate(kCanvasNotActive));
    return canvas;
}

QSize TBaseReport::GetTextExtent(const QString& value)
{
    if (value.isEmpty())
        return QSize(0, 0);
    return GetCanvas()->TextExtent(value);
}

// ---------------------------------------------------------------------------
// Page flow basics

void TBaseReport::ClearColumns()
{
    FColumnWidth = FRightSection - FLeftSection;
    FColumnBetween = 0;
    FColumns = 1;
    FColumnNum = 1;
}

void TBaseReport::ClearTabs()
{
    FCurrentTabList.reset();
    ResetTabs();
}

void TBaseReport::ResetTabs()
{
    FCurrentTab = nullptr;
    FOnTab = false;
    FBeforeTabs = true;
}

void TBaseReport::Home()
{
    FColumnNum = 1;
    SetLineNum(1);
}

void TBaseReport::SetLineNum(int value)
{
    FLineNum = value;
    ResetLineHeight();
    ResetTabs();
    FCursorXPos = LineStartPos();
    FCursorYPos = value * FLineHeight + FTopSection - FDescentHeight;
}

void TBaseReport::SetColumnNum(int value)
{
    FColumnNum = value;
    FCursorXPos = LineStartPos();
    ResetTabs();
}

void TBaseReport::ResetLineHeight()
{
    if (!FPrinting)
        return;
    if (FBaseFontChanged) {
        SelectQPFont();
        SelectCanvasFont();
    }
    FAscentHeight = FBaseFont->Ascent;
    FDescentHeight = FBaseFont->Descent;
    switch (FLineHeightMethod) {
    case TLineHeightMethod::lhmLinesPerInch:
        FLineHeight = 1.0 / FLinesPerInch;
        break;
    case TLineHeightMethod::lhmFont:
        FLineHeight = FBaseFont->Size / 60.0;
        break;
    case TLineHeightMethod::lhmUser:
        break;
    }
}

// ---------------------------------------------------------------------------
// Fonts

// The handler installed on the canvas font outlives nothing: should this
// canvas go while another one has hooked the same font after it, the handler
// left in that one's keeping passes changes on to the font's own handler.
void TBaseReport::HookCanvasFont()
{
    TFont* font = GetCanvas()->Font();
    if (!FFontHooked)
        FFontSaveOnChange = font->OnChange;
    font->OnChange = [this, alive = std::weak_ptr<int>(FAlive), saved = FFontSaveOnChange](TObject* sender) {
        if (alive.lock())
            CanvasFontChanged(sender);
        else if (saved)
            saved(sender);
    };
    FFontHooked = true;
    FDisableFontChange = false;
    font->SetPixelsPerInch(FYDPI);
}

void TBaseReport::UnhookCanvasFont()
{
    if (!FFontHooked)
        return;
    FFontHooked = false;
    if (TCanvas* canvas = LocalDevice()->GetCanvas())
        canvas->Font()->OnChange = std::move(FFontSaveOnChange);
    FFontSaveOnChange = nullptr;
}

void TBaseReport::CanvasFontChanged(TObject* sender)
{
    if (FFontSaveOnChange)
        FFontSaveOnChange(sender);
    if (FDisableFontChange)
        return;
    const TFont& font = *GetCanvas()->Font();
    TSaveFont& base = *FBaseFont;
    if (font.Name() != base.Name) {
        base.Name = font.Name();
        FBaseFontChanged = true;
    }
    if (font.Color() != base.Color) {
        base.Color = font.Color();
        FBaseFontChanged = true;
    }
    if (font.Charset() != base.CharSet) {
        base.CharSet = font.Charset();
        FBaseFontChanged = true;
    }
    if (font.Pitch() != base.Pitch) {
        base.Pitch = font.Pitch();
        FBaseFontChanged = true;
    }
    const int height = std::abs(font.Height());
    if (height != Round(FYDPI * base.Height * FZoom / 100)) {
        base.Height = height * 100.0 / (FYDPI * FZoom);
        base.Size = base.Height * 72;
        FBaseFontChanged = true;
    }
    const TFontStyles style = font.Style();
    auto copyFlag = [this, &style](TFontStyle s, bool& flag) {
        if (style.Contains(s) != flag) {
            flag = style.Contains(s);
            FBaseFontChanged = true;
        }
    };
    copyFlag(TFontStyle::fsBold, base.Bold);
    copyFlag(TFontStyle::fsItalic, base.Italic);
    copyFlag(TFontStyle::fsUnderline, base.Underline);
    copyFlag(TFontStyle::fsStrikeOut, base.Strikeout);
}

void TBaseReport::SetFontName(const QString& name)
{
    GetCanvas()->Font()->SetName(name);
}

void TBaseReport::SetFontColor(TColor color)
{
    GetCanvas()->Font()->SetColor(color);
}

void TBaseReport::SetFontPitch(TFontPitch pitch)
{
    GetCanvas()->Font()->SetPitch(pitch);
}

void TBaseReport::SetFontCharset(int charset)
{
    GetCanvas()->Font()->SetCharset(TFontCharset(charset));
}

void TBaseReport::SetCanvasFontStyle(TFontStyle style, bool on)
{
    TFont* font = GetCanvas()->Font();
    TFontStyles styles = font->Style();
    if (on)
        styles.Include(style);
    else
        styles.Exclude(style);
    font->SetStyle(styles);
}

void TBaseReport::SetBold(bool value)
{
    SetCanvasFontStyle(TFontStyle::fsBold, value);
}

void TBaseReport::SetItalic(bool value)
{
    SetCanvasFontStyle(TFontStyle::fsItalic, value);
}

void TBaseReport::SetUnderline(bool value)
{
    SetCanvasFontStyle(TFontStyle::fsUnderline, value);
}

void TBaseReport::SetStrikeout(bool value)
{
    SetCanvasFontStyle(TFontStyle::fsStrikeOut, value);
}

void TBaseReport::SetFontSize(double points)
{
    GetCanvas()->Font()->SetHeight(int(Round(FYDPI * points / 72 * FScaleY * FZoom / 10000)));
}

void TBaseReport::SetFontHeight(double value)
{
    const int height = int(Round(YU2I(value) * FYDPI * FScaleY * FZoom / 10000));
    GetCanvas()->Font()->SetHeight(std::max(1, height));
}

void TBaseReport::SetFontWidth(double value)
{
    FBaseFont->Width = XU2I(value);
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::SetSuperscript(bool value)
{
    FBaseFont->Superscript = value;
    if (value)
        FBaseFont->Subscript = false;
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::SetSubscript(bool value)
{
    FBaseFont->Subscript = value;
    if (value)
        FBaseFont->Superscript = false;
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::SetFontRotation(int degrees)
{
    FBaseFont->Rotation = int16_t(degrees % 360);
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::SetFontAlign(TFontAlign align)
{
    FBaseFont->Align = align;
    CanvasFontChanged(GetCanvas());
}

// A base font changed since it was realised has no handle yet: its old one
// belongs to another font.
int TBaseReport::FontHandle()
{
    if (FBaseFont->Handle == 0 || FBaseFontChanged) {
        SelectQPFont();
        SelectCanvasFont();
    }
    return FBaseFont->Handle;
}

// The base font's script flags, rotation and width are reset here; the
// realised font is marked stale too, since those fields take part in
// realising and the canvas font may not have changed at all.
void TBaseReport::SetFont(const QString& name, double size)
{
    if (!(size > 0))
        return;
    TFont* font = GetCanvas()->Font();
    FDisableFontChange = true;
    font->SetName(name);
    font->SetColor(clBlack);
    font->SetPitch(TFontPitch::fpDefault);
    font->SetCharset(DEFAULT_CHARSET);
    SetFontSize(size);
    font->SetStyle(TFontStyles());
    FDisableFontChange = false;
    FBaseFont->Subscript = false;
    FBaseFont->Superscript = false;
    FBaseFont->Rotation = 0;
    FBaseFont->Width = 0;
    FBaseFont->Align = TFontAlign::faBaseline;
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::AssignFont(const TFont& font)
{
    FDisableFontChange = true;
    SetFontName(font.Name());
    SetFontColor(font.Color());
    SetFontPitch(font.Pitch());
    SetFontCharset(font.Charset());
    SetFontSize(font.Size());
    SetBold(font.Style().Contains(TFontStyle::fsBold));
    SetUnderline(font.Style().Contains(TFontStyle::fsUnderline));
    SetItalic(font.Style().Contains(TFontStyle::fsItalic));
    SetStrikeout(font.Style().Contains(TFontStyle::fsStrikeOut));
    FDisableFontChange = false;
    FBaseFont->Subscript = false;
    FBaseFont->Superscript = false;
    FBaseFont->Rotation = 0;
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

void TBaseReport::SetBaseFont(const TSaveFont& source)
{
    const TSaveFont font = source; // source may be a slot that the setters below touch
    FDisableFontChange = true;
    SetFontName(font.Name);
    SetFontColor(font.Color);
    SetFontPitch(font.Pitch);
    SetFontCharset(font.CharSet);
    SetFontHeight(YI2U(font.Height));
    SetBold(font.Bold);
    SetUnderline(font.Underline);
    SetItalic(font.Italic);
    SetStrikeout(font.Strikeout);
    FDisableFontChange = false;
    SetSubscript(font.Subscript);
    SetSuperscript(font.Superscript);
    SetFontRotation(font.Rotation);
    SetFontAlign(font.Align);
    FBaseFontChanged = true;
    CanvasFontChanged(GetCanvas());
}

std::unique_ptr<TFont> TBaseReport::CreateFont(const QString& name, int size)
{
    auto font = std::make_unique<TFont>();
    font->SetName(name);
    font->SetSize(size);
    font->SetPitch(TFontPitch::fpDefault);
    font->SetColor(clBlack);
    font->SetStyle(TFontStyles());
    return font;
}

bool TBaseReport::PushFont()
{
    if (FBlockTextOp)
        return true;
    FFontStack.push_back(*FBaseFont);
    return true;
}

bool TBaseReport::PopFont()
{
    if (FBlockTextOp)
        return true;
    if (FFontStack.empty())
        return false;
    const TSaveFont font = FFontStack.back();
    FFontStack.pop_back();
    SetBaseFont(font);
    return true;
}

bool TBaseReport::SaveFont(int index)
{
    if (index < 1 || index > kSaveSlots)
        return false;
    FSaveFontArr[size_t(index - 1)] = std::make_unique<TSaveFont>(*FBaseFont);
    return true;
}

bool TBaseReport::RestoreFont(int index)
{
    if (index < 1 || index > kSaveSlots)
        return false;
    const TSaveFont* slot = FSaveFontArr[size_t(index - 1)].get();
    if (!slot || slot->Name.isEmpty())
        return false;
    SetBaseFont(*slot);
    return true;
}

void TBaseReport::SelectQPFont()
{
    TSaveFont& base = *FBaseFont;
    if (FBaseFontChanged) {
        base.Handle = 0;
        FBaseFontChanged = false;
    }
    if (base.Handle == 0) {
        for (const TSaveFont& cached : FFontList) {
            if (SameRealisedFont(cached, base)) {
                base.Handle = cached.Handle;
                base.Ascent = cached.Ascent;
                base.Descent = cached.Descent;
                base.InternalLeading = cached.InternalLeading;
                base.Index = cached.Index;
                break;
            }
        }
    }
    TCanvas* canvas = GetCanvas();
    // The character set takes no part in choosing the Qt font: Qt maps every
    // character through Unicode and falls back per character.
    if (base.Handle == 0) {
        const bool script = base.Superscript || base.Subscript;
        const double height = script ? base.Height / kScriptDivisor : base.Height;
        const int emPixels = std::max(1, int(Round(FYDPI * height * FZoom / 100)));
        const int width = int(Round(FXDPI * base.Width * FZoom / 100));
        QFont q(base.Name.left(kMaxFaceName));
        q.setHintingPreference(QFont::PreferNoHinting);
        q.setKerning(false);
        q.setPixelSize(emPixels);
        q.setBold(base.Bold);
        q.setItalic(base.Italic);
        q.setUnderline(base.Underline);
        q.setStrikeOut(base.Strikeout);
        if (base.Pitch == TFontPitch::fpFixed) {
            q.setFixedPitch(true);
            q.setStyleHint(QFont::TypeWriter);
        }
        QFontMetricsF metrics(q);
        // A width asks for that average character width: the face is
        // stretched to it.
        if (width > 0 && metrics.averageCharWidth() > 0) {
            q.setStretch(std::clamp(int(Round(width * 100 / metrics.averageCharWidth())), 1, 4000));
            metrics = QFontMetricsF(q);
        }
        // Metrics in whole pixels, the internal leading being what the cell
        // has above the character height.
        const int64_t ascent = Round(metrics.ascent());
        const int64_t descent = Round(metrics.descent());
        const int64_t internalLeading = std::max<int64_t>(0, ascent + descent - emPixels);
        const double toInches = 10000.0 / (FYDPI * FScaleY * FZoom);
        base.Ascent = ascent * toInches;
        base.Descent = descent * toInches;
        base.InternalLeading = internalLeading * toInches;
        if (script) {
            base.Ascent /= 2;
            base.Descent /= 2;
        }
        base.Index = uint16_t(FFontList.size());
        base.Handle = int(FFontList.size()) + 1;
        FFontList.push_back(base);
        FRealisedFonts.push_back({q, base.Rotation * 10});
    }
    FSaveCanvasFont = canvas->SelectDeviceFont(FRealisedFonts[size_t(base.Handle - 1)]);
    const bool twoColour = !FNoNTColorFix && OutputMode() == 0 && IsTwoColourDevice(LocalDevice());
    if (twoColour && ColorToRGB(base.Color) != 0xFFFFFF)
        canvas->SetTextColor(clBlack);
    else
        canvas->SetTextColor(TColor(ColorToRGB(base.Color)));
}

void TBaseReport::SelectCanvasFont()
{
    TCanvas* canvas = GetCanvas();
    canvas->SelectDeviceFont(FSaveCanvasFont);
    canvas->SetTextColor(TColor(ColorToRGB(canvas->Font()->Color())));
}

// ---------------------------------------------------------------------------
// Pens and brushes

int TBaseReport::PenWidthPixels(int width) const
{
    if (width >= 0)
        return width;
    int pixels;
    if (width >= -10000)
        pixels = int(Round(-width / 100.0 * FXDPI * FScaleX * FZoom / 10000));
    else
        pixels = int(Round(std::abs(width + 10000) / 10000.0 * FXDPI * FScaleX * FZoom / 10000));
    return pixels == 0 ? 1 : pixels;
}

void TBaseReport::SetPen(TColor color, TPenStyle style, int width, TPenMode mode)
{
    TPen* pen = GetCanvas()->Pen();
    pen->SetColor(color);
    pen->SetMode(mode);
    pen->SetWidth(PenWidthPixels(width));
    pen->SetStyle(style);
}

std::unique_ptr<TPen> TBaseReport::CreatePen(TColor color, TPenStyle style, int width, TPenMode mode) const
{
    auto pen = std::make_unique<TPen>();
    pen->SetColor(color);
    pen->SetStyle(style);
    pen->SetMode(mode);
    if (width >= 0)
        pen->SetWidth(width);
    else
        pen->SetWidth(std::max(1, int(Round(-double(width) * FXDPI * FScaleX * FZoom / 1000000))));
    return pen;
}

void TBaseReport::SetBrush(TColor color, TBrushStyle style, const TBitmap* bitmap)
{
    TBrush* brush = GetCanvas()->Brush();
    brush->SetColor(color);
    brush->SetStyle(style);
    if (bitmap)
        brush->SetBitmap(bitmap);
}

std::unique_ptr<TBrush> TBaseReport::CreateBrush(TColor color, TBrushStyle style, const TBitmap* bitmap)
{
    auto brush = std::make_unique<TBrush>();
    brush->SetColor(color);
    brush->SetStyle(style);
    if (bitmap)
        brush->SetBitmap(bitmap);
    return brush;
}

// ---------------------------------------------------------------------------
// Graphics routines

double TBaseReport::CalcGraphicHeight(double width, const TGraphic& graphic)
{
    return graphic.Empty() ? 0 : graphic.Height() * width / graphic.Width();
}

double TBaseReport::CalcGraphicWidth(double height, const TGraphic& graphic)
{
    return graphic.Empty() ? 0 : graphic.Width() * height / graphic.Height();
}

TPoint TBaseReport::CreatePoint(double x, double y) const
{
    return {XU2D(x), YU2D(y)};
}

TRect TBaseReport::CreateRect(double x1, double y1, double x2, double y2) const
{
    return {XU2D(x1), YU2D(y1), XU2D(x2), YU2D(y2)};
}
