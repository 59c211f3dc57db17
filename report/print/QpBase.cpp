#include "report/print/QpBase.h"

#include "report/print/QpFormat.h"
#include "report/print/QpPageSelection_p.h"
#include "report/print/QpTextWidth.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/RtlMath.h"

#include <QFontMetricsF>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

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
    FBaseFont->Name = kBaseFontName;
    FBaseFont->Color = clBlack;
    FBaseFont->CharSet = DEFAULT_CHARSET;
    FBaseFont->Size = kBaseFontSize;
    FBaseFont->Height = kBaseFontSize / 72.0;
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
    AddReportEvent(TReportEventType::reEndPage, this, QStringLiteral("DrawBufferedLines"),
                   [this](TObject*) { DrawBufferedLines(); });
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
    FUnitsFactor = UnitsFactorOf(units, FUnitsFactor);
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
    return CachedTextExtent(*GetCanvas(), value);
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
// The run, report events, pages

TReportUiHooks& ReportUiHooks()
{
    static TReportUiHooks hooks;
    return hooks;
}

void TBaseReport::ApplyRequestedOrientation()
{
    if (FNewOrientation != FOrientation)
        ApplyOrientation();
}

void TBaseReport::Execute()
{
    try {
        ApplyRequestedOrientation();
        Start();
        if (OnPrint) {
            DoPrint();
        } else if (OnPrintPage) {
            while (DoPrintPage() && !FAborted)
                NewPage();
        } else {
            DoPrint();
        }
    } catch (...) {
        try {
            Finish();
        } catch (...) {
            // The error that ended the run is the one to report.
        }
        throw;
    }
    Finish();
}

void TBaseReport::DoPrint()
{
    if (OnPrint)
        OnPrint(this);
}

bool TBaseReport::DoPrintPage()
{
    return OnPrintPage ? OnPrintPage(this, FCurrentPage) : false;
}

void TBaseReport::DoBeforePrint()
{
    if (!OnBeforePrint)
        return;
    OnBeforePrint(this);
    if (FNewOrientation != TOrientation::poDefault || FOrientation != TOrientation::poDefault)
        ApplyOrientation();
}

void TBaseReport::DoAfterPrint()
{
    if (OnAfterPrint)
        OnAfterPrint(this);
}

void TBaseReport::DoNewPage()
{
    if (OnNewPage)
        OnNewPage(this);
}

void TBaseReport::DoNewColumn()
{
    if (OnNewColumn)
        OnNewColumn(this);
}

void TBaseReport::DoPrintHeader()
{
    if (OnPrintHeader)
        OnPrintHeader(this);
}

void TBaseReport::DoPrintFooter()
{
    if (OnPrintFooter)
        OnPrintFooter(this);
}

void TBaseReport::DoEndOfSection()
{
    if (OnEndOfSection)
        OnEndOfSection(this);
}

std::vector<TBaseReport::TReportEvent>& TBaseReport::EventList(TReportEventType type)
{
    return type == TReportEventType::reBeginPage ? FBeginPageList : FEndPageList;
}

void TBaseReport::AddReportEvent(TReportEventType type, const void* object, const QString& method,
                                 TNotifyEvent handler)
{
    std::vector<TReportEvent>& list = EventList(type);
    list.insert(list.begin(), TReportEvent{object, method, std::move(handler)});
}

void TBaseReport::RemoveReportEvent(TReportEventType type, const void* object, const QString& method)
{
    std::vector<TReportEvent>& list = EventList(type);
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const TReportEvent& e) { return e.Object == object && e.Method == method; });
    if (it != list.end())
        list.erase(it);
}

// The handlers run from a copy of the list: one may add or remove handlers.
void TBaseReport::FireReportEvents(TReportEventType type)
{
    const std::vector<TReportEvent> handlers = EventList(type);
    for (const TReportEvent& e : handlers)
        if (e.Handler)
            e.Handler(this);
}

void TBaseReport::NewPage()
{
    ApplyRequestedOrientation();
    CheckPrinting();
    ++FCurrentPage;
    UpdateStatus();
    FPageInvalid = !PageInSelection(FCurrentPage) || FAborted;
    FOriginX = 0;
    FOriginY = 0;
    ResetTabs();
    SetMarginBottom(FBottomMarginWidth);
    SetMarginRight(FRightMarginWidth);
    ResetSection();
    Home();
}

void TBaseReport::Abort()
{
    FAborted = true;
    FPageInvalid = true;
}

void TBaseReport::AbortPage()
{
    CheckPrinting();
    if (FPageInvalid)
        return;
    FPageInvalid = true;
    --FCurrentPage;
}

bool TBaseReport::OutputInvalid() const
{
    const int mode = OutputMode();
    return FPageInvalid || mode < 0 || mode >= 8 || (FValidDestination & (1u << mode)) == 0;
}

void TBaseReport::AllowPreviewOnly()
{
    FValidDestination = uint8_t((FValidDestination & ~1u) | 2u);
}

void TBaseReport::AllowPrinterOnly()
{
    FValidDestination = uint8_t((FValidDestination & ~2u) | 1u);
}

void TBaseReport::AllowAll()
{
    FValidDestination = uint8_t(FValidDestination | 3u);
}

bool TBaseReport::PageInSelection(int page) const
{
    return PageInPageSelection(FSelection, FFirstPage, FLastPage, page);
}

void TBaseReport::UpdateStatus()
{
    if (!FStatusLabel)
        return;
    QString text;
    const QString& format = FStatusFormat;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%' || i + 1 == format.size()) {
            text.append(format[i]);
            continue;
        }
        const QChar code = format[++i].toUpper();
        const char16_t c = code.unicode();
        if (c >= u'0' && c <= u'9') {
            const int line = c - u'0';
            if (line < FStatusText.Count())
                text.append(FStatusText.Strings(line));
            continue;
        }
        switch (c) {
        case u'%':
            text.append(u'%');
            break;
        case u'C':
            text.append(IntToStr(FCurrentPass));
            break;
        case u'D':
            text.append(DeviceName());
            break;
        case u'F':
            text.append(IntToStr(FFirstPage));
            break;
        case u'L':
            text.append(IntToStr(FLastPage));
            break;
        case u'N':
            text.append(u'\r');
            break;
        case u'P':
            text.append(IntToStr(FCurrentPage));
            break;
        case u'R':
            text.append(DriverName());
            break;
        case u'S':
            text.append(IntToStr(FTotalPasses));
            break;
        case u'T':
            text.append(Port());
            break;
        default:
            text.append(QStringLiteral("<ERROR-%") + code + u'>');
            break;
        }
    }
    if (ReportUiHooks().ShowStatus)
        ReportUiHooks().ShowStatus(FStatusLabel, text);
    ProcessMessages();
}

void TBaseReport::ProcessMessages()
{
    if (!FThreaded && ReportUiHooks().ProcessMessages)
        ReportUiHooks().ProcessMessages();
}

QString TBaseReport::Macro(TMacroID id)
{
    const int ordinal = int(id);
    if (OutputMode() == 2 && id != TMacroID::midRelativePage)
        return QChar(0xFD) + QStringLiteral("$QPCM") + Format(QStringLiteral("%.2d"), ordinal);
    static const char16_t* const kDateFormats[] = {u"ddddd", u"dddddd", u"mm/dd/yy",   u"dd/mm/yy",
                                                   u"t",     u"tt",     u"hh:nn ampm", u"hh:nn"};
    if (ordinal <= int(TMacroID::midCurrTime24))
        return FormatDateTime(QString::fromUtf16(kDateFormats[ordinal]), ReportDateTimeValue());
    switch (id) {
    case TMacroID::midFirstPage:
        return IntToStr(FFirstPage);
    case TMacroID::midLastPage:
        return IntToStr(FLastPage);
    case TMacroID::midTotalPages:
        return IntToStr(FJobPages);
    case TMacroID::midCurrentPage:
        return IntToStr(FCurrentPage);
    case TMacroID::midRelativePage:
        return IntToStr(RelativePage());
    case TMacroID::midPrinterName:
        return DeviceName();
    case TMacroID::midDriverName:
        return DriverName();
    case TMacroID::midPortName:
        return Port();
    default: {
        const int line = ordinal - int(TMacroID::midUser01);
        return line >= 0 && line < FMacroData.Count() ? FMacroData.Strings(line) : QString();
    }
    }
}

// Days since 1899-12-30 and the time of day as their fraction. A run that
// set no moment shows the current one.
TDateTime TBaseReport::ReportDateTimeValue() const
{
    const QDateTime moment = FReportDateTime.isValid() ? FReportDateTime : QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(moment.date())) +
           moment.time().msecsSinceStartOfDay() / 86400000.0;
}

QString TBaseReport::PIVar(const QString&)
{
    return QString();
}

void TBaseReport::SetPIVar(const QString&, const QString&) {}

QString TBaseReport::GetPIVar(const QString& varName)
{
    return varName;
}

// ---------------------------------------------------------------------------
// Lines and columns

void TBaseReport::SetLinesPerInch(int value)
{
    if (value <= 0)
        return;
    FLinesPerInch = value;
    ResetLineHeight();
}

void TBaseReport::SetLineHeight(double value)
{
    FLineHeightMethod = TLineHeightMethod::lhmUser;
    FLineHeight = YU2I(value);
}

void TBaseReport::Cr()
{
    FCursorXPos = LineStartPos();
}

void TBaseReport::Lf()
{
    ResetLineHeight();
    ++FLineNum;
    FCursorYPos += FLineHeight;
}

void TBaseReport::CrLf()
{
    SoftLine();
    NewPara();
}

void TBaseReport::NewLine()
{
    SoftLine();
    NewPara();
}

void TBaseReport::SoftLine()
{
    if (FColumnNum < FColumns && LinesLeft() < 2) {
        SetLineNum(1);
        SetColumnNum(FColumnNum + 1);
        DoNewColumn();
    } else {
        Cr();
        Lf();
    }
    ResetTabs();
    if (FCursorYPos + FDescentHeight >= FBottomSection)
        DoEndOfSection();
}

void TBaseReport::GotoHeader()
{
    ResetLineHeight();
    FCursorXPos = LineStartPos();
    FCursorYPos = FTopSection + FLineHeight - FDescentHeight;
}

void TBaseReport::GotoFooter()
{
    ResetLineHeight();
    FCursorXPos = LineStartPos();
    FCursorYPos = FBottomSection - FDescentHeight;
}

void TBaseReport::SetTopOfPage()
{
    SetTopSectionInches(FCursorYPos + FDescentHeight);
    SetLineNum(0);
}

void TBaseReport::AdjustLine()
{
    if (FPrinting)
        SetLineTop(LineTop());
}

int TBaseReport::LinesLeft() const
{
    const double y = FCursorYPos + FDescentHeight;
    if (y > FBottomSection)
        return 0;
    return WholeLines(FBottomSection - y, FLineHeight) + 1;
}

int TBaseReport::ColumnLinesLeft() const
{
    const double y = FCursorYPos + FDescentHeight;
    if (y > FBottomSection && FColumnNum >= FColumns)
        return 0;
    int64_t lines = LinesLeft();
    if (FColumns > FColumnNum)
        lines += int64_t(WholeLines(FBottomSection - FTopSection, FLineHeight)) * (FColumns - FColumnNum);
    return int(std::clamp<int64_t>(lines, INT_MIN, INT_MAX));
}

// Whole lines of the given height in a distance (inches). A line height of
// 0 (a user line height, or none yet) leaves room for any number of lines;
// the count stays inside an int.
int TBaseReport::WholeLines(double distance, double lineHeight)
{
    const double lines = distance / lineHeight;
    if (std::isnan(lines) || lines >= INT_MAX - 1)
        return INT_MAX - 1;
    if (lines <= INT_MIN)
        return INT_MIN;
    return int(Trunc(lines));
}

void TBaseReport::SetFontBaseline(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value);
}

void TBaseReport::SetFontTop(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value) + FAscentHeight;
}

void TBaseReport::SetFontBottom(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value) - FDescentHeight;
}

void TBaseReport::SetLineTop(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value) + FLineHeight - FDescentHeight;
}

void TBaseReport::SetLineMiddle(double value)
{
    ResetLineHeight();
    FCursorYPos = YU2I(value) + FLineHeight / 2 - FDescentHeight;
}

void TBaseReport::SetColumns(int newColumns, double between)
{
    const int n = std::max(newColumns, 1);
    FColumnWidth = (XU2I(between) + FRightSection - FLeftSection) / n;
    FColumnBetween = XU2I(between);
    FColumns = n;
    SetColumnNum(1);
    DoNewColumn();
}

// There is always at least one column, however wide the columns asked for
// are; a section narrower than one column holds that one.
void TBaseReport::SetColumnWidth(double width, double between)
{
    const double span = FRightSection - FLeftSection;
    double pitch = XU2I(width + between);
    if (!(pitch > 0))
        pitch = span;
    FColumnWidth = pitch;
    FColumnBetween = XU2I(between);
    const double count = span / pitch;
    if (!(count >= 1))
        FColumns = 1;
    else
        FColumns = count >= INT_MAX ? INT_MAX : int(Trunc(count));
    SetColumnNum(1);
    DoNewColumn();
}

void TBaseReport::NewColumn()
{
    if (FColumnNum >= FColumns) {
        NewPage();
        return;
    }
    SetLineNum(1);
    SetColumnNum(FColumnNum + 1);
    DoNewColumn();
}

bool TBaseReport::PushPos()
{
    FPosStack.emplace_back(FCursorXPos, FCursorYPos);
    return true;
}

bool TBaseReport::PopPos()
{
    if (FPosStack.empty())
        return false;
    FCursorXPos = FPosStack.back().X;
    FCursorYPos = FPosStack.back().Y;
    FPosStack.pop_back();
    return true;
}

bool TBaseReport::SavePos(int index)
{
    if (index < 1 || index > kSaveSlots)
        return false;
    FSavePosArr[size_t(index - 1)] = std::make_unique<TPosition>(FCursorXPos, FCursorYPos);
    return true;
}

bool TBaseReport::RestorePos(int index)
{
    if (index < 1 || index > kSaveSlots)
        return false;
    const TPosition* slot = FSavePosArr[size_t(index - 1)].get();
    if (!slot)
        return false;
    FCursorXPos = slot->X;
    FCursorYPos = slot->Y;
    return true;
}

// ---------------------------------------------------------------------------
// Text

void TBaseReport::PrintJustify(const QString& text, double x, TPrintJustify justify, double margin,
                               double width)
{
    switch (justify) {
    case TPrintJustify::pjCenter:
        OutputCenter(text, x + width / 2);
        return;
    case TPrintJustify::pjRight:
        OutputRight(text, x + width - margin);
        return;
    case TPrintJustify::pjBlock:
        OutputBlock(text, x + margin, width - 2 * margin);
        return;
    case TPrintJustify::pjLeft:
        break;
    }
    // Left: each piece before a tab character ends where the output leaves
    // the cursor, and the next piece starts on the first fixed tab stop more
    // than 0.001 inch to the right of it; the stops are counted from x.
    // While the pieces go out, code blocks carry their font changes from one
    // piece to the next (PushFont and PopFont do nothing).
    double p = x + margin;
    const double step = FixedTabStep();
    QString rest = text;
    {
        struct TBlockTextScope {
            bool& Flag;
            explicit TBlockTextScope(bool& flag) : Flag(flag) { Flag = true; }
            ~TBlockTextScope() { Flag = false; }
        } scope(FBlockTextOp);
        for (qsizetype k = rest.indexOf(u'\t'); k >= 0; k = rest.indexOf(u'\t')) {
            if (k > 0) {
                OutputLeft(rest.left(k), p);
                p = FCursorXPos;
            }
            p = double(Trunc((p - x + 0.001) / step) + 1) * step + x;
            rest.remove(0, k + 1);
        }
    }
    OutputLeft(rest, p);
}

// The distance of the fixed tab stops, inches: FixedTabWidth, but at least
// one device pixel, since a width of 0 (which scripts can set) would divide
// by zero.
double TBaseReport::FixedTabStep() const
{
    const double step = XU2I(FFixedTabWidth);
    const double pixel = 1.0 / FXDPI;
    return step >= pixel ? step : pixel;
}

void TBaseReport::PrintLeft(const QString& text, double pos)
{
    PrintJustify(text, XU2I(pos), TPrintJustify::pjLeft, 0, 0);
}

void TBaseReport::PrintCenter(const QString& text, double pos)
{
    PrintJustify(text, XU2I(pos), TPrintJustify::pjCenter, 0, 0);
}

void TBaseReport::PrintRight(const QString& text, double pos)
{
    PrintJustify(text, XU2I(pos), TPrintJustify::pjRight, 0, 0);
}

void TBaseReport::PrintBlock(const QString& text, double pos, double width)
{
    PrintJustify(text, XU2I(pos), TPrintJustify::pjBlock, 0, XU2I(width));
}

void TBaseReport::PrintXY(double x, double y, const QString& text)
{
    SetYPos(y);
    PrintJustify(text, XU2I(x), TPrintJustify::pjLeft, 0, 0);
}

void TBaseReport::PrintHeader(const QString& text, TPrintJustify justify)
{
    GotoHeader();
    PrintJustify(text, FLeftSection, justify, 0, FRightSection - FLeftSection);
}

void TBaseReport::PrintFooter(const QString& text, TPrintJustify justify)
{
    GotoFooter();
    PrintJustify(text, FLeftSection, justify, 0, FRightSection - FLeftSection);
}

void TBaseReport::PrintCharJustify(const QString& text, QChar ch, double pos)
{
    const qsizetype p = text.indexOf(ch);
    const double x = XU2I(pos);
    PrintJustify(p < 0 ? text : text.left(p), x, TPrintJustify::pjRight, 0, 0);
    if (p >= 0)
        PrintJustify(text.mid(p), x, TPrintJustify::pjLeft, 0, 0);
}

void TBaseReport::Print(const QString& text)
{
    qsizetype from = 0;
    for (qsizetype k = text.indexOf(u'\t'); k >= 0; k = text.indexOf(u'\t', from)) {
        if (k > from)
            PrintSegment(text.mid(from, k - from));
        Tab();
        from = k + 1;
    }
    PrintSegment(text.mid(from));
}

void TBaseReport::Println(const QString& text)
{
    Print(text);
    NewLine();
}

void TBaseReport::PrintSegment(const QString& text)
{
    const bool stops = FCurrentTabList && FCurrentTabList->Count() > 0;
    if (!FOnTab || !stops || !FCurrentTab) {
        PrintJustify(text, FCursorXPos, TPrintJustify::pjLeft, 0, 0);
    } else {
        const TTab tab = *FCurrentTab;
        const TPrintJustify justify =
            FTabJustify != TTabJustify::tjNone ? TPrintJustify(FTabJustify) : tab.Justify;
        PrintJustify(text, (FColumnNum - 1) * FColumnWidth + tab.Pos, justify, tab.Margin, tab.Width);
    }
    FOnTab = false;
}

void TBaseReport::PrintTab(const QString& text)
{
    Tab();
    Print(TruncateText(text, TabWidth(0)));
}

// A text with a deferred macro is left whole: its width is only known when
// the page is played back.
QString TBaseReport::TruncateText(const QString& value, double width)
{
    if (value.contains(kQPCMacroStart))
        return value;
    if (value.isEmpty() || !(TextWidth(value) > width))
        return value;
    // The cuts, longest first: each drops the code blocks at the end (they
    // have no width and go with the character before them) and then one
    // character (a surrogate pair whole). The text is cut at the longest
    // that fits. Widths grow with the text, so the cut is found by halving,
    // each candidate measured whole (shaping included), never by adding up
    // character widths.
    std::vector<qsizetype> cuts;
    for (qsizetype n = value.size(); n > 0;) {
        while (n > 0 && value[n - 1] == QChar(kQPTFBlockEnd)) {
            const qsizetype start = value.lastIndexOf(QChar(kQPTFBlockStart), n - 1);
            if (start < 0)
                break;
            n = start;
        }
        if (n == 0) {
            cuts.push_back(0);
            break;
        }
        const bool pair = n >= 2 && value[n - 1].isLowSurrogate() && value[n - 2].isHighSurrogate();
        n -= pair ? 2 : 1;
        cuts.push_back(n);
    }
    // The first cut that fits; the last, the empty text, fits unmeasured.
    size_t low = 0;
    size_t high = cuts.size() - 1;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (cuts[mid] == 0 || !(TextWidth(value.left(cuts[mid])) > width))
            high = mid;
        else
            low = mid + 1;
    }
    return value.left(cuts[low]);
}

double TBaseReport::TextWidth(const QString& text)
{
    CheckPrinting();
    int pixels = 1;
    if (text.contains(QChar(kQPTFBlockStart))) {
        pixels = QPTFTextWidth(*this, text);
    } else if (!text.isEmpty()) {
        // A width already known is found by the font the measuring would
        // select; only a new one selects it. The canvas must be active
        // either way.
        GetCanvas();
        pixels = CachedDeviceTextWidth(*LocalDevice(), RealiseQPFont(), text, [&] {
            const TFontSelection selection = SaveFontSelection();
            int width;
            try {
                SelectQPFont();
                width = LocalDevice()->TextWidth(text);
            } catch (...) {
                RestoreFontSelection(selection);
                throw;
            }
            RestoreFontSelection(selection);
            return width;
        });
    }
    return XI2U(pixels * FScaleX / (FXDPI * 100.0));
}

void TBaseReport::AdvanceCursor(double width)
{
    const double inches = XU2I(width);
    const int rotation = FBaseFont->Rotation;
    if (rotation == 0) {
        FCursorXPos += inches * 10000 / (FScaleX * FZoom);
        return;
    }
    const double a = rotation * M_PI / 180;
    FCursorXPos += inches * std::cos(a) * 10000 / (FScaleX * FZoom);
    FCursorYPos -= inches * std::sin(a) * 10000 / (FScaleY * FZoom);
}

int TBaseReport::MemoLines(TBaseMemoBuf& memoBuf)
{
    CheckPrinting();
    memoBuf.BaseReport = this;
    return memoBuf.MemoLinesLeft();
}

QString TBaseReport::GetMemoLine(TBaseMemoBuf& memoBuf, bool& eol)
{
    CheckPrinting();
    memoBuf.BaseReport = this;
    return memoBuf.GetNextLine(eol);
}

void TBaseReport::PrintMemo(TBaseMemoBuf& memoBuf, int lines, bool printTabs)
{
    CheckPrinting();
    memoBuf.BaseReport = this;
    memoBuf.PrintLines(lines, printTabs);
}

void TBaseReport::StartLink(const QString& hyperlink)
{
    FHyperLink = hyperlink;
    HyperlinkChanged();
}

void TBaseReport::EndLink()
{
    FHyperLink.clear();
    HyperlinkChanged();
}

QString TBaseReport::MakeLink(const QString& displayText, const QString& hyperlink)
{
    const QChar start(kQPTFBlockStart);
    const QChar end(kQPTFBlockEnd);
    return start + QStringLiteral("A") + hyperlink + end + displayText + start + QStringLiteral("A") + end;
}

// ---------------------------------------------------------------------------
// Tab stops, tab boxes, box lines

void TBaseReport::SetTab(double newPos, TPrintJustify newJustify, double newWidth, double newMargin,
                         uint8_t newLines, uint8_t newShade)
{
    if (!FCurrentTabList) {
        FCurrentTabList = std::make_unique<TTabList>();
        FBeforeTabs = true;
    }
    double pos;
    if (newPos >= 0)
        pos = XU2I(newPos);
    else if (FCurrentTab && FCurrentTabList->IndexOf(FCurrentTab) >= 0)
        pos = FCurrentTab->Pos + FCurrentTab->Width;
    else
        pos = FLeftMargin;
    TTab* tab = FCurrentTabList->Add();
    tab->Pos = pos;
    tab->Justify = newJustify;
    if (newWidth > 0) {
        tab->Width = XU2I(newWidth);
        tab->Margin = newMargin / 100; // hundredths of an inch in any units
        tab->Left = (newLines & 1) != 0;
        tab->Right = (newLines & 2) != 0;
        tab->Top = (newLines & 4) != 0;
        tab->Bottom = (newLines & 8) != 0;
        tab->Shade = newShade;
    }
    FCurrentTab = tab;
}

void TBaseReport::ClearAllTabs()
{
    ClearTabs();
    for (auto& slot : FSaveTabsArr)
        slot.reset();
}

TTab* TBaseReport::GetTab(int index) const
{
    if (index == 0)
        return FCurrentTab;
    if (FCurrentTabList && index >= 1 && index <= FCurrentTabList->Count())
        return FCurrentTabList->Items(index - 1);
    return nullptr;
}

double TBaseReport::TabStart(int index) const
{
    const TTab* tab = GetTab(index);
    return tab ? XI2U(tab->Pos + tab->Margin) : 0;
}

double TBaseReport::TabEnd(int index) const
{
    const TTab* tab = GetTab(index);
    return tab ? XI2U(tab->Pos + tab->Width - tab->Margin) : 0;
}

double TBaseReport::TabWidth(int index) const
{
    const TTab* tab = GetTab(index);
    return tab ? XI2U(tab->Width - 2 * tab->Margin) : 0;
}

bool TBaseReport::PushTabs()
{
    if (!FCurrentTabList)
        return false;
    FTabsStack.push_back(*FCurrentTabList);
    return true;
}

bool TBaseReport::PopTabs()
{
    if (FTabsStack.empty())
        return false;
    FCurrentTabList = std::make_unique<TTabList>(FTabsStack.back());
    FTabsStack.pop_back();
    ResetTabs();
    if (FCurrentTabList->Count() > 0)
        FCurrentTab = FCurrentTabList->Items(0);
    return true;
}

bool TBaseReport::SaveTabs(int index)
{
    if (!FCurrentTabList || index < 1 || index > kSaveSlots)
        return false;
    FSaveTabsArr[size_t(index - 1)] = std::make_unique<TTabList>(*FCurrentTabList);
    return true;
}

bool TBaseReport::RestoreTabs(int index)
{
    if (index < 1 || index > kSaveSlots || !FSaveTabsArr[size_t(index - 1)])
        return false;
    FCurrentTabList = std::make_unique<TTabList>(*FSaveTabsArr[size_t(index - 1)]);
    ResetTabs();
    return true;
}

void TBaseReport::Tab(int leftWidth, int rightWidth, int topWidth, int bottomWidth, int shadeOverride)
{
    CheckPrinting();
    if (OutputInvalid())
        return;
    const int count = FCurrentTabList ? FCurrentTabList->Count() : 0;
    if (FBeforeTabs) {
        FCurrentTab = count > 0 ? FCurrentTabList->Items(0) : nullptr;
        FBeforeTabs = false;
    } else {
        const int i = FCurrentTab && FCurrentTabList ? FCurrentTabList->IndexOf(FCurrentTab) : -1;
        FCurrentTab = i >= 0 && i + 1 < count ? FCurrentTabList->Items(i + 1) : nullptr;
    }
    if (!FCurrentTab) {
        FOnTab = false;
        return;
    }
    FOnTab = true;
    const TTab tab = *FCurrentTab;
    if (!(tab.Width > 0))
        return;
    const double x0 = tab.Pos + (FColumnNum - 1) * FColumnWidth; // inches
    const double bottom = FCursorYPos + FDescentHeight;
    const double top = bottom - FLineHeight;
    TCanvas* canvas = GetCanvas();

    int shade;
    if (shadeOverride != NA)
        shade = shadeOverride & 0xFF;
    else
        shade = tab.Shade != 0 ? tab.Shade : std::max(FTabShade, 0);
    if (shade != 0) {
        TBrush savedBrush;
        savedBrush.Assign(canvas->Brush());
        TPen savedPen;
        savedPen.Assign(canvas->Pen());
        const TBackgroundMode savedMode = canvas->BackgroundMode();
        auto restore = [&] {
            canvas->SetBackgroundMode(savedMode);
            canvas->Brush()->Assign(&savedBrush);
            canvas->Pen()->Assign(&savedPen);
        };
        try {
            SetBrush(ShadeToColor(FTabColor, uint8_t(std::min(shade, 255))), TBrushStyle::bsSolid, nullptr);
            if (canvas->Brush()->HasBitmap())
                canvas->Brush()->SetBitmap(nullptr); // a solid fill, not a pattern
            SetPen(FBoxLineColor, TPenStyle::psClear, 1, TPenMode::pmMask);
            canvas->SetBackgroundMode(TBackgroundMode::bmTransparent);
            TabRectangle(XI2U(x0), YI2U(top), XI2U(x0 + tab.Width), YI2U(bottom));
        } catch (...) {
            restore();
            throw;
        }
        restore();
    }

    TPen savedPen;
    savedPen.Assign(canvas->Pen());
    try {
        DrawTabBoxLine(tab.Left, leftWidth, savedPen, x0, bottom, 0, -FLineHeight);
        DrawTabBoxLine(tab.Right, rightWidth, savedPen, x0 + tab.Width, top, 0, FLineHeight);
        DrawTabBoxLine(tab.Top, topWidth, savedPen, x0, top, tab.Width, 0);
        DrawTabBoxLine(tab.Bottom, bottomWidth, savedPen, x0 + tab.Width, bottom, -tab.Width, 0);
    } catch (...) {
        canvas->Pen()->Assign(&savedPen);
        throw;
    }
    canvas->Pen()->Assign(&savedPen);
}

// One side of a tab box from (x, y) along (dx, dy), inches.
void TBaseReport::DrawTabBoxLine(bool flag, int width, const TPen& savedPen, double x, double y, double dx,
                                 double dy)
{
    if (!((flag && width == NA) || (width != 0 && width != NA)))
        return;
    if (width == NA)
        GetCanvas()->Pen()->Assign(&savedPen);
    else
        SetPen(clBlack, TPenStyle::psSolid, width, TPenMode::pmCopy);
    MoveTo(XI2U(x), YI2U(y));
    LineTo(XI2U(x + dx), YI2U(y + dy));
}

// Tab visits every stop once and then finds none; the count bounds the
// loop should an output class's Tab not end it.
void TBaseReport::FinishTabBox(int width)
{
    CheckPrinting();
    if (OutputInvalid())
        return;
    ResetTabs();
    FOnTab = true;
    const int count = FCurrentTabList ? FCurrentTabList->Count() : 0;
    for (int i = 0; FOnTab && i <= count; ++i)
        Tab(0, 0, width, 0, 0);
    ResetTabs();
}

bool TBaseReport::BufferLine(double x, double y)
{
    const double px = FOriginX + x;
    const double py = FOriginY + y;
    bool buffered = false;
    if (!FNoBufferLine) {
        if (px == FLastLineX) {
            AddBufferedLine(FVLineList, px, std::min(FLastLineY, py), std::max(FLastLineY, py));
            buffered = true;
        } else if (py == FLastLineY) {
            AddBufferedLine(FHLineList, py, std::min(FLastLineX, px), std::max(FLastLineX, px));
            buffered = true;
        }
    }
    FLastLineX = px;
    FLastLineY = py;
    return buffered;
}

// A new line that starts or ends on a buffered line of the same pen takes
// that line in; one that lies on it adds nothing; one that covers it
// replaces it. Positions within 0.0001 report units count as touching.
void TBaseReport::AddBufferedLine(std::vector<TLineList>& list, double c, double p1, double p2)
{
    constexpr double e = 0.0001;
    const TPen& pen = *GetCanvas()->Pen();
    for (int i = int(list.size()) - 1; i >= 0; --i) {
        const TLineList& line = list[size_t(i)];
        if (std::abs(c - line.C1) > e || line.Color != pen.Color() || line.Mode != pen.Mode() ||
            line.Style != pen.Style() || line.Width != pen.Width())
            continue;
        const bool b1 = line.P1 - e <= p1 && p1 <= line.P2 + e;
        const bool b2 = line.P1 - e <= p2 && p2 <= line.P2 + e;
        if (b1 && b2)
            return;
        if (b1)
            p1 = line.P1;
        else if (b2)
            p2 = line.P2;
        else if (!(p1 < line.P1 && line.P2 < p2))
            continue;
        list.erase(list.begin() + i);
    }
    TLineList line;
    line.P1 = p1;
    line.P2 = p2;
    line.C1 = c;
    line.Color = pen.Color();
    line.Mode = pen.Mode();
    line.Style = pen.Style();
    line.Width = pen.Width();
    list.push_back(line);
}

void TBaseReport::DrawBufferedLines()
{
    if (FVLineList.empty() && FHLineList.empty())
        return;
    TPen* pen = GetCanvas()->Pen();
    TPen saved;
    saved.Assign(pen);
    try {
        DrawLineList(FVLineList, true);
        DrawLineList(FHLineList, false);
    } catch (...) {
        pen->Assign(&saved);
        throw;
    }
    pen->Assign(&saved);
}

// The lines go out unbuffered, each with its own pen; the list is empty
// afterwards, also when drawing fails.
void TBaseReport::DrawLineList(std::vector<TLineList>& list, bool vertical)
{
    std::vector<TLineList> lines;
    lines.swap(list);
    const bool savedNoBuffer = FNoBufferLine;
    FNoBufferLine = true;
    try {
        TPen* pen = GetCanvas()->Pen();
        for (const TLineList& line : lines) {
            pen->SetColor(line.Color);
            pen->SetMode(line.Mode);
            pen->SetStyle(line.Style);
            pen->SetWidth(line.Width);
            if (vertical) {
                MoveTo(line.C1 - FOriginX, line.P1 - FOriginY);
                LineTo(line.C1 - FOriginX, line.P2 - FOriginY);
            } else {
                MoveTo(line.P1 - FOriginX, line.C1 - FOriginY);
                LineTo(line.P2 - FOriginX, line.C1 - FOriginY);
            }
        }
    } catch (...) {
        FNoBufferLine = savedNoBuffer;
        throw;
    }
    FNoBufferLine = savedNoBuffer;
}

// ---------------------------------------------------------------------------
// Font selection for measuring

TBaseReport::TFontSelection TBaseReport::SaveFontSelection()
{
    TCanvas* canvas = GetCanvas();
    return TFontSelection{canvas->DeviceFont(), FSaveCanvasFont, canvas->TextColor()};
}

void TBaseReport::RestoreFontSelection(const TFontSelection& selection)
{
    TCanvas* canvas = GetCanvas();
    canvas->SelectDeviceFont(selection.Selected);
    FSaveCanvasFont = selection.SaveCanvasFont;
    canvas->SetTextColor(selection.TextColor);
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
    font->SetPixelsPerInch(FYDPI);
    // The canvas font starts as the base font. The device's canvas may hold
    // the font of an earlier run or none at all, and what this canvas
    // measures, and what a change of one attribute (a name alone, say)
    // takes over from the canvas font, must be the base font's.
    const TSaveFont& base = *FBaseFont;
    FDisableFontChange = true;
    font->SetName(base.Name);
    font->SetColor(base.Color);
    font->SetPitch(base.Pitch);
    font->SetCharset(TFontCharset(base.CharSet));
    font->SetHeight(-std::max(1, int(Round(FYDPI * base.Height * FZoom / 100)))); // the character height
    TFontStyles styles;
    if (base.Bold)
        styles.Include(TFontStyle::fsBold);
    if (base.Italic)
        styles.Include(TFontStyle::fsItalic);
    if (base.Underline)
        styles.Include(TFontStyle::fsUnderline);
    if (base.Strikeout)
        styles.Include(TFontStyle::fsStrikeOut);
    font->SetStyle(styles);
    FDisableFontChange = false;
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
    FontRecordChanged();
}

void TBaseReport::FontRecordChanged()
{
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
    FontRecordChanged();
}

void TBaseReport::SetSuperscript(bool value)
{
    FBaseFont->Superscript = value;
    if (value)
        FBaseFont->Subscript = false;
    FBaseFontChanged = true;
    FontRecordChanged();
}

void TBaseReport::SetSubscript(bool value)
{
    FBaseFont->Subscript = value;
    if (value)
        FBaseFont->Superscript = false;
    FBaseFontChanged = true;
    FontRecordChanged();
}

void TBaseReport::SetFontRotation(int degrees)
{
    FBaseFont->Rotation = int16_t(degrees % 360);
    FBaseFontChanged = true;
    FontRecordChanged();
}

void TBaseReport::SetFontAlign(TFontAlign align)
{
    FBaseFont->Align = align;
    FontRecordChanged();
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
    FontRecordChanged();
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
    FontRecordChanged();
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
    FontRecordChanged();
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
    TCanvas* canvas = GetCanvas();
    RealiseQPFont();
    FSaveCanvasFont = canvas->SelectDeviceFont(FRealisedFonts[size_t(FBaseFont->Handle - 1)]);
    const bool twoColour = !FNoNTColorFix && OutputMode() == 0 && IsTwoColourDevice(LocalDevice());
    if (twoColour && ColorToRGB(FBaseFont->Color) != 0xFFFFFF)
        canvas->SetTextColor(clBlack);
    else
        canvas->SetTextColor(TColor(ColorToRGB(FBaseFont->Color)));
}

const QFont& TBaseReport::RealiseQPFont()
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
    return FRealisedFonts[size_t(base.Handle - 1)].Font;
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

// ---------------------------------------------------------------------------
// Page selections

bool PageInPageSelection(const QString& selection, int firstPage, int lastPage, int page)
{
    if (selection.isEmpty())
        return firstPage <= page && page <= lastPage;
    QString token;
    bool hasStart = false;
    int start = 0;
    const qsizetype n = selection.size();
    for (qsizetype i = 0; i <= n; ++i) {
        const QChar c = i < n ? selection[i] : QChar(u',');
        if (c == u'-') {
            start = token.isEmpty() ? 1 : StrToInt(token);
            hasStart = true;
            token.clear();
            continue;
        }
        if (c != u',') {
            token.append(c);
            continue;
        }
        const QString word = token.toUpper();
        token.clear();
        bool selected;
        if (word == u"E" || word == u"EVEN") {
            selected = page % 2 == 0;
        } else if (word == u"O" || word == u"ODD") {
            selected = page % 2 != 0;
        } else if (word == u"A" || word == u"ALL") {
            selected = true;
        } else if (word == u"R") {
            selected = false;
        } else if (hasStart && word.isEmpty()) {
            selected = page >= start; // an open range: "5-"
        } else {
            const int last = StrToInt(word);
            selected = hasStart ? start <= page && page <= last : page == last;
        }
        hasStart = false;
        if (selected)
            return true;
    }
    return false;
}
