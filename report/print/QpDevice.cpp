#include "report/print/QpDevice.h"

#include "report/print/QpFont.h"

#include "platform/rtl/RtlMath.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/StringRoutines.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const QString kNotPrinting = QStringLiteral("Invalid method call.  Device is not printing.");
const QString kAlreadyPrinting = QStringLiteral("Invalid method call.  Device already printing.");
const QString kNoPrinter =
    QStringLiteral("Cannot print: no printer is installed and no output file was given.");
const QString kCannotStart = QStringLiteral("Cannot start printing to \"%1\".");
const QString kNoPdfFile = QStringLiteral("Cannot print to \"%1\": no output file was given.");
const QString kPdfIncomplete = QStringLiteral("The document could not be completed.");

// Resolution and page of the context used when no printer is installed: the
// render device's resolution and the canvas's no-printer page.
constexpr int kFallbackDpi = 600;
// A device's canvas starts with the report canvas's base font at the
// device's resolution, so that text measured before any font is set has a
// size a report could print, whatever the framework's default font is.
void SetBaseDeviceFont(TFont& font, int pixelsPerInch)
{
    font.SetPixelsPerInch(pixelsPerInch);
    font.SetName(kBaseFontName);
    font.SetHeight(-int(Round(pixelsPerInch * kBaseFontSize / 72))); // the character height
}

// A file in memory that only this process reaches (by its descriptor's name
// under /proc/self/fd) and that goes with its last descriptor; nullptr when
// the system makes none.
std::unique_ptr<QFile> OpenMemoryFile()
{
    const int handle = ::memfd_create("tessvar-pdf", MFD_CLOEXEC);
    if (handle < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return nullptr;
    }
    return file;
}

// The whole of a file another writer wrote; empty when it cannot be read to
// its end.
QByteArray ReadWhole(QFile& file)
{
    const qint64 size = file.size();
    if (size <= 0 || !file.seek(0))
        return QByteArray();
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

// Copies a printer takes when CUPS does not say. The PDF printer takes any
// count too: a file holds the document once.
constexpr int kDefaultMaxCopies = 9999;
// Win32 paper numbers (DMPAPER_*) of the PDF printer's default papers, and
// its resolution.
constexpr int DMPAPER_LETTER = 1;
constexpr int DMPAPER_A4 = 9;
constexpr int kPdfDpi = 600;

// The territories (ISO 3166 codes) whose locales print on Letter: those
// whose LC_PAPER is 216 x 279 mm in the GNU C library's locale data
// (glibc 2.36, localedata/locales). Every other territory uses A4.
constexpr const char* kLetterTerritories[] = {"BO", "CA", "CL", "CO", "CR", "GT", "MX",
                                              "NI", "PA", "PH", "PR", "SV", "US", "VE"};
// Win32 bin numbers (DMBIN_*); bins CUPS names otherwise count from
// DMBIN_USER.
constexpr int DMBIN_UPPER = 1;
constexpr int DMBIN_LOWER = 2;
constexpr int DMBIN_MIDDLE = 3;
constexpr int DMBIN_MANUAL = 4;
constexpr int DMBIN_ENVELOPE = 5;
constexpr int DMBIN_AUTO = 7;
constexpr int DMBIN_LARGECAPACITY = 11;
constexpr int DMBIN_USER = 256;
// The property key through which Qt's CUPS print engine takes job options
// (name, value, name, value ...); it is not in Qt's public headers.
constexpr auto kCupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// ---------------------------------------------------------------------------
// What Qt does not tell of a CUPS printer (its bins and its copy limit) is
// asked of libcups itself, loaded when first needed; without it the answers
// are "none" and "no limit known".

struct CupsApi {
    using GetDests = int (*)(void** dests);
    using GetDest = void* (*)(const char* name, const char* instance, int count, void* dests);
    using FreeDests = void (*)(int count, void* dests);
    using CopyDestInfo = void* (*)(void* http, void* dest);
    using FreeDestInfo = void (*)(void* info);
    using FindDestSupported = void* (*)(void* http, void* dest, void* info, const char* option);
    using IppGetCount = int (*)(void* attribute);
    using IppGetString = const char* (*)(void* attribute, int element, const char** language);
    using IppGetRange = int (*)(void* attribute, int element, int* upper);

    GetDests getDests = nullptr;
    GetDest getDest = nullptr;
    FreeDests freeDests = nullptr;
    CopyDestInfo copyDestInfo = nullptr;
    FreeDestInfo freeDestInfo = nullptr;
    FindDestSupported findDestSupported = nullptr;
    IppGetCount ippGetCount = nullptr;
    IppGetString ippGetString = nullptr;
    IppGetRange ippGetRange = nullptr;

    bool Loaded() const { return ippGetRange != nullptr; }
};

const CupsApi& Cups()
{
    static const CupsApi api = [] {
        CupsApi a;
        void* lib = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return a;
        auto get = [lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::decay_t<decltype(fn)>>(dlsym(lib, name));
            return fn != nullptr;
        };
        const bool all = get(a.getDests, "cupsGetDests") && get(a.getDest, "cupsGetDest") &&
                         get(a.freeDests, "cupsFreeDests") && get(a.copyDestInfo, "cupsCopyDestInfo") &&
                         get(a.freeDestInfo, "cupsFreeDestInfo") &&
                         get(a.findDestSupported, "cupsFindDestSupported") &&
                         get(a.ippGetCount, "ippGetCount") && get(a.ippGetString, "ippGetString") &&
                         get(a.ippGetRange, "ippGetRange");
        if (!all)
            a = CupsApi();
        return a;
    }();
    return api;
}

// Calls body(attribute) with the printer's supported values of an option;
// nothing when CUPS or the printer does not answer.
template <class Body> void WithSupported(const QString& printer, const char* option, Body body)
{
    const CupsApi& cups = Cups();
    if (!cups.Loaded() || printer.isEmpty())
        return;
    void* dests = nullptr;
    const int count = cups.getDests(&dests);
    if (void* dest = cups.getDest(printer.toUtf8().constData(), nullptr, count, dests)) {
        if (void* info = cups.copyDestInfo(nullptr, dest)) {
            if (void* attribute = cups.findDestSupported(nullptr, dest, info, option))
                body(attribute);
            cups.freeDestInfo(info);
        }
    }
    cups.freeDests(count, dests);
}

int BinNumber(const QString& keyword, int userIndex)
{
    if (keyword == u"auto")
        return DMBIN_AUTO;
    if (keyword == u"manual")
        return DMBIN_MANUAL;
    if (keyword == u"envelope")
        return DMBIN_ENVELOPE;
    if (keyword == u"top")
        return DMBIN_UPPER;
    if (keyword == u"middle")
        return DMBIN_MIDDLE;
    if (keyword == u"bottom")
        return DMBIN_LOWER;
    if (keyword == u"large-capacity")
        return DMBIN_LARGECAPACITY;
    return DMBIN_USER + userIndex;
}

void* NumberObject(int number)
{
    return reinterpret_cast<void*>(intptr_t(number));
}

QPageLayout::Orientation ToQtOrientation(int dmOrientation)
{
    return dmOrientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait;
}

QPrinter::DuplexMode ToQtDuplex(int dmDuplex)
{
    switch (dmDuplex) {
    case 2:
        return QPrinter::DuplexLongSide;
    case 3:
        return QPrinter::DuplexShortSide;
    default:
        return QPrinter::DuplexNone;
    }
}

int FromQtDuplex(QPrinter::DuplexMode mode)
{
    switch (mode) {
    case QPrinter::DuplexLongSide:
        return 2;
    case QPrinter::DuplexShortSide:
        return 3;
    default:
        return 1;
    }
}

// The page of a device mode: a paper number, or a custom size (taken as it
// is, not rounded to a standard paper near it).
QPageSize PageSizeOf(const TDevMode& dm)
{
    if (dm.PaperSize == DMPAPER_USER && dm.PaperWidth > 0 && dm.PaperLength > 0)
        return QPageSize(QSizeF(dm.PaperWidth / 10.0, dm.PaperLength / 10.0), QPageSize::Millimeter,
                         QString(), QPageSize::ExactMatch);
    const QPageSize::PageSizeId id = QPageSize::id(dm.PaperSize);
    if (id != QPageSize::Custom)
        return QPageSize(id);
    if (const TPaperSize* paper = FindPaperSize(dm.PaperSize); paper && paper->Width > 0)
        return QPageSize(QSizeF(paper->Width, paper->Height), QPageSize::Inch);
    return QPageSize(QPageSize::Letter);
}

// The driver's defaults for a printer.
std::unique_ptr<TDevMode> DefaultDevMode(const QPrinterInfo& info)
{
    auto dm = std::make_unique<TDevMode>();
    dm->DeviceName = info.printerName();
    dm->Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_COLLATE |
                 DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR;
    const QPageSize page =
        info.defaultPageSize().isValid() ? info.defaultPageSize() : QPageSize(QPageSize::A4);
    dm->PaperSize = int16_t(page.windowsId() > 0 ? page.windowsId() : DMPAPER_USER);
    const QSizeF mm = page.size(QPageSize::Millimeter);
    dm->PaperWidth = int16_t(std::lround(mm.width() * 10));
    dm->PaperLength = int16_t(std::lround(mm.height() * 10));
    const QList<QPrinter::DuplexMode> duplex = info.supportedDuplexModes();
    if (duplex.size() > 1)
        dm->Fields |= DM_DUPLEX;
    dm->Duplex = int16_t(FromQtDuplex(info.defaultDuplexMode()));
    dm->Color = info.defaultColorMode() == QPrinter::Color ? 2 : 1;
    const int dpi = info.supportedResolutions().isEmpty() ? 0 : info.supportedResolutions().constLast();
    dm->PrintQuality = int16_t(dpi);
    dm->YResolution = int16_t(dpi);
    return dm;
}

// The PDF printer's device mode: the locale's paper, portrait, 600 dpi,
// colour, one copy; no bins and no duplex.
std::unique_ptr<TDevMode> PdfDevMode()
{
    auto dm = std::make_unique<TDevMode>();
    dm->DeviceName = PdfPrinterName();
    dm->Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_COLLATE |
                 DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR;
    dm->PaperSize = int16_t(LocalePaperSize());
    const QSizeF mm = QPageSize(QPageSize::id(dm->PaperSize)).size(QPageSize::Millimeter);
    dm->PaperWidth = int16_t(std::lround(mm.width() * 10));
    dm->PaperLength = int16_t(std::lround(mm.height() * 10));
    dm->Orientation = 1;
    dm->Copies = 1;
    dm->Color = 2;
    dm->PrintQuality = kPdfDpi;
    dm->YResolution = kPdfDpi;
    return dm;
}

bool& PdfHidden()
{
    static bool hidden = false;
    return hidden;
}

void CenterDialog(QWidget& dialog)
{
    dialog.adjustSize();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    dialog.move(area.left() + (area.width() - dialog.width()) / 2,
                area.top() + (area.height() - dialog.height()) / 3);
}

std::unique_ptr<TQPBaseDevice>& GlobalDeviceSlot()
{
    static std::unique_ptr<TQPBaseDevice> device;
    return device;
}

void FreeGlobalDevice()
{
    GlobalDeviceSlot().reset();
}

} // namespace

const QString& PdfPrinterName()
{
    static const QString name = QStringLiteral("Print to PDF");
    return name;
}

int LocalePaperSize()
{
    QString locale;
    for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            break;
    }
    // language[_territory][.codeset][@modifier]
    const QString territory = locale.section(QLatin1Char('.'), 0, 0)
                                  .section(QLatin1Char('@'), 0, 0)
                                  .section(QLatin1Char('_'), 1, 1);
    for (const char* letter : kLetterTerritories)
        if (territory == QLatin1String(letter))
            return DMPAPER_LETTER;
    return DMPAPER_A4;
}

// ---------------------------------------------------------------------------
// TQPBaseDevice

TQPBaseDevice::TQPBaseDevice()
{
    InitPageSize();
}

TQPBaseDevice::~TQPBaseDevice() = default;

void TQPBaseDevice::InitPageSize()
{
    FPageWidth = int32_t(Round(GetXDPI() * 8.5));
    FPageHeight = int32_t(Round(GetYDPI() * 11.0));
}

int TQPBaseDevice::GetXDPI()
{
    return 96;
}

int TQPBaseDevice::GetYDPI()
{
    return 96;
}

TRect TQPBaseDevice::GetWaste()
{
    return TRect();
}

void TQPBaseDevice::SetBin(int) {}

int TQPBaseDevice::GetBin()
{
    TQpPrinterDevice* printer = GlobalPrinterDevice();
    return printer && printer->DevMode() ? printer->DevMode()->DefaultSource : 0;
}

const TStringList* TQPBaseDevice::GetBins()
{
    return nullptr;
}

const TStringList* TQPBaseDevice::GetPapers()
{
    return nullptr;
}

const TStringList* TQPBaseDevice::GetFonts()
{
    return nullptr;
}

const TStringList* TQPBaseDevice::GetPrinters()
{
    return nullptr;
}

TOrientation TQPBaseDevice::GetOrientation()
{
    return FOrientation;
}

void TQPBaseDevice::SetOrientation(TOrientation orientation)
{
    FOrientation = orientation;
}

int TQPBaseDevice::GetMaxCopies()
{
    return 1;
}

void TQPBaseDevice::SetCopies(int copies)
{
    FCopies = copies;
}

int TQPBaseDevice::GetCopies()
{
    return FCopies;
}

void TQPBaseDevice::SetDuplex(TDuplex duplex)
{
    FDuplex = duplex;
}

TDuplex TQPBaseDevice::GetDuplex()
{
    return FDuplex;
}

void TQPBaseDevice::SetCollate(bool collate)
{
    FCollate = collate;
}

bool TQPBaseDevice::GetCollate()
{
    return FCollate;
}

int TQPBaseDevice::GetPageHeight()
{
    return FPageHeight;
}

int TQPBaseDevice::GetPageWidth()
{
    return FPageWidth;
}

int TQPBaseDevice::TextWidth(const QString&)
{
    return 0;
}

void TQPBaseDevice::RawOut(const char*, int) {}
void TQPBaseDevice::BeginDoc() {}
void TQPBaseDevice::BeginDocSelect() {}
void TQPBaseDevice::EndDoc() {}
void TQPBaseDevice::Abort() {}
void TQPBaseDevice::NewPage() {}
void TQPBaseDevice::NewPageSelect(bool) {}

bool TQPBaseDevice::SelectBin(const QString& binName, bool)
{
    FBin = binName;
    return true;
}

bool TQPBaseDevice::SelectPaper(const QString& paperName, bool)
{
    FPaper = paperName;
    return true;
}

void TQPBaseDevice::GetCustomExtents(TPoint&, TPoint&) {}

bool TQPBaseDevice::SetPaperSize(int size, int width, int height)
{
    if (width != 0 && height != 0) {
        FPageWidth = int32_t(Round(GetXDPI() * double(width) / 254.0));
        FPageHeight = int32_t(Round(GetYDPI() * double(height) / 254.0));
        return true;
    }
    double widthIn = 8.5;
    double heightIn = 11;
    if (const TPaperSize* paper = FindPaperSize(size); paper && paper->Width > 0) {
        widthIn = paper->Width;
        heightIn = paper->Height;
    }
    FPageWidth = int32_t(Round(GetXDPI() * widthIn));
    FPageHeight = int32_t(Round(GetYDPI() * heightIn));
    return true;
}

bool TQPBaseDevice::SupportBin(int)
{
    return true;
}

bool TQPBaseDevice::SupportPaper(int)
{
    return true;
}

bool TQPBaseDevice::SupportOrientation()
{
    return true;
}

bool TQPBaseDevice::SupportDuplex()
{
    return true;
}

bool TQPBaseDevice::SupportCollate()
{
    return true;
}

int TQPBaseDevice::ListNumber(const TStringList& list, int index)
{
    return int(reinterpret_cast<intptr_t>(list.Objects(index)));
}

// ---------------------------------------------------------------------------
// TQPRenderDevice

TQPRenderDevice::TQPRenderDevice() : FBitmap(std::make_unique<TBitmap>(10, 10))
{
    InitPageSize();
    SetBaseDeviceFont(*FBitmap->Canvas()->Font(), GetYDPI());
}

TQPRenderDevice::~TQPRenderDevice() = default;

TCanvas* TQPRenderDevice::GetCanvas()
{
    return FBitmap->Canvas();
}

int TQPRenderDevice::GetXDPI()
{
    return 600;
}

int TQPRenderDevice::GetYDPI()
{
    return 600;
}

int TQPRenderDevice::GetPageHeight()
{
    return FOrientation == TOrientation::poLandScape ? FPageWidth : FPageHeight;
}

int TQPRenderDevice::GetPageWidth()
{
    return FOrientation == TOrientation::poLandScape ? FPageHeight : FPageWidth;
}

int TQPRenderDevice::TextWidth(const QString& value)
{
    return FontManager().TextWidth(*GetCanvas()->Font(), value);
}

// ---------------------------------------------------------------------------
// TQpPrinterDevice

TPrinterObject& GlobalPrinterObject()
{
    static TPrinterObject printer;
    return printer;
}

TQpPrinterDevice::TQpPrinterDevice() = default;

TQpPrinterDevice::~TQpPrinterDevice()
{
    if (FPainter && FPainter->isActive())
        FPainter->end();
    if (FCanvas)
        FCanvas->SetPainter(nullptr);
    FPainter.reset();
    ReleaseFileJob();
    FContext.reset();
    FDeviceState = TDeviceState::dsNone;
    KeepDevMode = false;
    ReleasePrinter();
}

void TQpPrinterDevice::CheckPrinting() const
{
    if (!FPrinting)
        RaiseError(Translate(kNotPrinting));
}

void TQpPrinterDevice::CheckNotPrinting() const
{
    if (FPrinting)
        RaiseError(Translate(kAlreadyPrinting));
}

TCanvas* TQpPrinterDevice::GetCanvas()
{
    const bool made = !FCanvas;
    if (made)
        FCanvas = std::make_unique<TQPPrinterCanvas>(this);
    if (FDeviceState == TDeviceState::dsNone)
        SetState(TDeviceState::dsIC);
    if (made)
        SetBaseDeviceFont(*FCanvas->Font(), GetYDPI());
    return FCanvas.get();
}

bool TQpPrinterDevice::CanvasActive()
{
    return FCanvas && FContext;
}

QPrinter* TQpPrinterDevice::Handle()
{
    QPrinter* context = Context();
    FContextLent = context != nullptr;
    return context;
}

QPrinter* TQpPrinterDevice::Context()
{
    if (FDeviceState == TDeviceState::dsNone)
        SetState(TDeviceState::dsIC);
    return FContext.get();
}

int TQpPrinterDevice::GetXDPI()
{
    QPrinter* context = Context();
    const int dpi = context ? context->resolution() : 0;
    return dpi > 0 ? dpi : 100;
}

int TQpPrinterDevice::GetYDPI()
{
    return GetXDPI(); // Qt's printers have one resolution for both axes
}

TRect TQpPrinterDevice::GetWaste()
{
    QPrinter* context = Context();
    if (!context)
        return TRect();
    const int dpi = context->resolution();
    const QRect full = context->pageLayout().fullRectPixels(dpi);
    const QRect paint = context->pageLayout().paintRectPixels(dpi);
    TRect waste;
    waste.Left = paint.left();
    waste.Top = paint.top();
    waste.Right = full.width() - (paint.width() + waste.Left);
    waste.Bottom = full.height() - (paint.height() + waste.Top);
    return waste;
}

int TQpPrinterDevice::GetPageHeight()
{
    ResetHandle(false);
    QPrinter* context = Context();
    return context ? context->pageLayout().paintRectPixels(context->resolution()).height() : 0;
}

int TQpPrinterDevice::GetPageWidth()
{
    QPrinter* context = Context();
    return context ? context->pageLayout().paintRectPixels(context->resolution()).width() : 0;
}

void TQpPrinterDevice::SetBin(int binNum)
{
    TQpPrinterDevice* global = GlobalPrinterDevice();
    TQpPrinterDevice* target = global ? global : this;
    if (TDevMode* dm = target->DevMode()) {
        dm->DefaultSource = int16_t(binNum);
        dm->Fields |= DM_DEFAULTSOURCE;
        target->FDevModeChanged = true;
    }
}

const TStringList* TQpPrinterDevice::FillBins()
{
    FBinList = std::make_unique<TStringList>();
    FBinKeywords.clear();
    if (FPdfPrinter)
        return FBinList.get(); // a file has no bins
    WithSupported(FDeviceName, "media-source", [this](void* attribute) {
        const CupsApi& cups = Cups();
        int user = 0;
        for (int i = 0; i < cups.ippGetCount(attribute); ++i) {
            const char* value = cups.ippGetString(attribute, i, nullptr);
            if (!value)
                continue;
            const QString keyword = QString::fromUtf8(value);
            const int number = BinNumber(keyword, user);
            if (number >= DMBIN_USER)
                ++user;
            FBinList->AddObject(keyword.left(23), NumberObject(number));
            FBinKeywords.push_back(keyword);
        }
    });
    // The printer has bins only when CUPS names them.
    if (FDevMode && FBinList->Count() > 0) {
        FDevMode->Fields |= DM_DEFAULTSOURCE;
        if (FDevMode->DefaultSource == 0)
            FDevMode->DefaultSource = int16_t(ListNumber(*FBinList, 0));
    }
    return FBinList.get();
}

const TStringList* TQpPrinterDevice::GetBins()
{
    if (!FBinList)
        FillBins();
    return FBinList.get();
}

const TStringList* TQpPrinterDevice::GetPapers()
{
    if (!FPaperList) {
        FPaperList = std::make_unique<TStringList>();
        if (FPdfPrinter) {
            // Any paper of the paper table that has a size.
            for (const TPaperSize& paper : PaperSizes)
                if (paper.Width > 0)
                    FPaperList->AddObject(QString::fromUtf16(paper.Name).left(63),
                                          NumberObject(paper.PaperCode));
        } else if (!FDeviceName.isEmpty()) {
            for (const QPageSize& page : QPrinterInfo::printerInfo(FDeviceName).supportedPageSizes()) {
                const int code = page.windowsId() > 0 ? page.windowsId() : DMPAPER_USER;
                FPaperList->AddObject(page.name().left(63), NumberObject(code));
            }
        }
    }
    return FPaperList.get();
}

const TStringList* TQpPrinterDevice::GetFonts()
{
    if (!FFontList) {
        FFontList = std::make_unique<TStringList>();
        for (const QString& family : QFontDatabase::families())
            FFontList->Add(family);
    }
    return FFontList.get();
}

const TStringList* TQpPrinterDevice::GetPrinters()
{
    if (!FPrinterList) {
        FPrinterList = std::make_unique<TStringList>();
        FPrinterItems.clear();
        for (const QString& name : QPrinterInfo::availablePrinterNames())
            FPrinterItems.push_back({name, QString(), QString()});
        // CUPS refuses blanks in printer names, so no CUPS printer can take
        // this one's.
        if (!PdfHidden())
            FPrinterItems.push_back({PdfPrinterName(), QString(), QString(), true});
        for (size_t i = 0; i < FPrinterItems.size(); ++i)
            FPrinterList->AddObject(FPrinterItems[i].DeviceName, &FPrinterItems[i]);
    }
    return FPrinterList.get();
}

QString TQpPrinterDevice::ItemText(int index) const
{
    const TQPDeviceItem& item = FPrinterItems[size_t(index)];
    return QStringLiteral("%1 on %2").arg(item.DeviceName, item.OutputName);
}

TOrientation TQpPrinterDevice::GetOrientation()
{
    return FDevMode ? TOrientation(std::clamp(FDevMode->Orientation - 1, 0, 1)) : TOrientation::poPortrait;
}

void TQpPrinterDevice::SetOrientation(TOrientation orientation)
{
    if (orientation == TOrientation::poDefault || !FDevMode)
        return;
    FDevMode->Orientation = int16_t(int(orientation) + 1);
    FDevMode->Fields |= DM_ORIENTATION;
    FDevModeChanged = true;
}

int TQpPrinterDevice::GetMaxCopies()
{
    if (InvalidPrinter())
        return 1;
    if (FMaxCopies == 0) {
        FMaxCopies = kDefaultMaxCopies;
        if (!FPdfPrinter) {
            WithSupported(FDeviceName, "copies", [this](void* attribute) {
                int upper = 0;
                if (Cups().ippGetRange(attribute, 0, &upper) >= 0 && upper > 0)
                    FMaxCopies = upper;
            });
        }
    }
    return FMaxCopies;
}

void TQpPrinterDevice::SetCopies(int copies)
{
    CheckNotPrinting();
    if (!FDevMode || copies <= 0 || copies >= GetMaxCopies())
        return;
    FDevMode->Copies = int16_t(copies);
    FDevMode->Fields |= DM_COPIES;
    FDevModeChanged = true;
}

int TQpPrinterDevice::GetCopies()
{
    return FDevMode && FDevMode->Copies != 0 ? FDevMode->Copies : 1;
}

void TQpPrinterDevice::SetDuplex(TDuplex duplex)
{
    CheckNotPrinting();
    if (!FDevMode || !SupportDuplex())
        return;
    FDevMode->Duplex = int16_t(int(duplex) + 1);
    FDevMode->Fields |= DM_DUPLEX;
    FDevModeChanged = true;
}

TDuplex TQpPrinterDevice::GetDuplex()
{
    if (FDevMode && FDevMode->Duplex >= 1 && FDevMode->Duplex <= 3)
        return TDuplex(FDevMode->Duplex - 1);
    return TDuplex::dupSimplex;
}

void TQpPrinterDevice::SetCollate(bool collate)
{
    CheckNotPrinting();
    if (!FDevMode || !SupportCollate())
        return;
    FDevMode->Collate = collate ? 1 : 0;
    FDevMode->Fields |= DM_COLLATE;
    FDevModeChanged = true;
}

bool TQpPrinterDevice::GetCollate()
{
    return FDevMode && FDevMode->Collate == 1;
}

int TQpPrinterDevice::TextWidth(const QString& value)
{
    const int width = value.isEmpty() ? 0 : GetCanvas()->TextWidth(value);
    return width == 0 ? 1 : width;
}

// Qt's printers take no raw device data; the bytes are dropped.
void TQpPrinterDevice::RawOut(const char*, int) {}

void TQpPrinterDevice::StartPage()
{
    if (FPageUsed) {
        ResetHandle(false); // a changed orientation or paper takes effect here
        PaintTarget()->newPage();
    }
    FPageUsed = true;
    OnPage = true;
}

void TQpPrinterDevice::BeginDoc()
{
    BeginDocSelect();
    StartPage();
}

void TQpPrinterDevice::BeginDocSelect()
{
    CheckNotPrinting();
    if (InvalidPrinter() && FOutputFile.isEmpty())
        RaiseError(Translate(kNoPrinter));
    if (FPdfPrinter && FOutputFile.isEmpty())
        RaiseError(Translate(kNoPdfFile).arg(FDeviceName));
    ResetHandle(false);
    SetState(TDeviceState::dsDC);
    if (!FContext)
        RaiseError(Translate(kNoPrinter));
    FContext->setDocName(FTitle);
    if (!FOutputFile.isEmpty()) {
        try {
            BeginFileJob();
        } catch (...) {
            ReleaseFileJob();
            SetState(TDeviceState::dsNone);
            throw;
        }
    }
    if (!FFileWriter)
        FContextLent = true; // painted on
    FPainter = std::make_unique<QPainter>();
    if (!FPainter->begin(PaintTarget())) {
        FPainter.reset();
        ReleaseFileJob();
        SetState(TDeviceState::dsNone);
        RaiseError(Translate(kCannotStart).arg(FOutputFile.isEmpty() ? FDeviceName : FOutputFile));
    }
    GetCanvas()->SetPainter(FPainter.get());
    FPrinting = true;
    FAborted = false;
    OnPage = false;
    FPageUsed = false;
}

// A finished job into a file is saved now; the device is back at rest
// before a failed save raises.
void TQpPrinterDevice::EndDoc()
{
    CheckPrinting();
    OnPage = false;
    if (FCanvas)
        FCanvas->SetPainter(nullptr);
    const bool ended = !FPainter || FPainter->end();
    FPainter.reset();
    FFileWriter.reset();
    const std::unique_ptr<QBuffer> fileBytes = std::move(FFileBytes);
    const std::unique_ptr<QFile> greyBytes = std::move(FGreyBytes);
    const std::unique_ptr<TSafeFileStream> fileStream = std::move(FFileStream);
    const QString file = FOutputFile;
    const bool aborted = FAborted;
    SetState(TDeviceState::dsNone);
    FPrinting = false;
    FAborted = false;
    FOutputFile.clear();
    if (!fileStream || aborted)
        return;
    QByteArray bytes;
    if (fileBytes)
        bytes = fileBytes->data();
    else if (ended && greyBytes)
        bytes = ReadWhole(*greyBytes);
    if (!ended || bytes.isEmpty())
        throw EFileSaveError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(file, Translate(kPdfIncomplete)));
    fileStream->WriteBytes(bytes);
    fileStream->Commit();
}

// An aborted job into a file writes nothing: what stood under the file's
// name before stays.
void TQpPrinterDevice::Abort()
{
    CheckPrinting();
    if (FContext && !FFileStream)
        FContext->abort();
    FAborted = true;
    EndDoc();
}

// The job's PDF is painted into memory at the context's page and resolution,
// in the context's colour mode.
void TQpPrinterDevice::BeginFileJob()
{
    FFileStream = std::make_unique<TSafeFileStream>(FOutputFile);
    if (FContext->colorMode() == QPrinter::GrayScale) {
        FGreyBytes = OpenMemoryFile();
        if (!FGreyBytes)
            RaiseError(Translate(kCannotStart).arg(FOutputFile));
        FContext->setOutputFileName(QStringLiteral("/proc/self/fd/%1").arg(FGreyBytes->handle()));
        return;
    }
    FFileBytes = std::make_unique<QBuffer>();
    FFileBytes->open(QIODevice::WriteOnly);
    FFileWriter = std::make_unique<QPdfWriter>(FFileBytes.get());
    FFileWriter->setResolution(FContext->resolution());
    FFileWriter->setPageLayout(FContext->pageLayout());
    FFileWriter->setTitle(FTitle);
    FFileWriter->setCreator(FContext->creator());
}

void TQpPrinterDevice::ReleaseFileJob()
{
    FFileWriter.reset();
    FFileBytes.reset();
    FGreyBytes.reset();
    FFileStream.reset();
}

// What a job paints on: its file's PDF, or the printer's context.
QPagedPaintDevice* TQpPrinterDevice::PaintTarget() const
{
    if (FFileWriter)
        return FFileWriter.get();
    return FContext.get();
}

void TQpPrinterDevice::NewPage()
{
    CheckPrinting();
    OnPage = false;
    StartPage();
}

void TQpPrinterDevice::NewPageSelect(bool pageValid)
{
    CheckPrinting();
    OnPage = false;
    if (pageValid)
        StartPage();
}

bool TQpPrinterDevice::SelectBin(const QString& binName, bool exact)
{
    const TStringList* bins = GetBins();
    if (!FDevMode || !bins)
        return false;
    for (int i = 0; i < bins->Count(); ++i) {
        const QString entry = bins->Strings(i);
        const bool match = exact ? entry == binName : entry.contains(binName, Qt::CaseInsensitive);
        if (!match)
            continue;
        const int number = ListNumber(*bins, i);
        if (FDevMode->DefaultSource != number) {
            FDevMode->DefaultSource = int16_t(number);
            FDevMode->Fields |= DM_DEFAULTSOURCE;
            FDevModeChanged = true;
        }
        FBin = entry;
        return true;
    }
    return false;
}

bool TQpPrinterDevice::SelectPaper(const QString& paperName, bool exact)
{
    CheckNotPrinting();
    const TStringList* papers = GetPapers();
    if (!FDevMode || !papers)
        return false;
    for (int i = 0; i < papers->Count(); ++i) {
        const QString entry = papers->Strings(i);
        const bool match = exact ? entry == paperName : entry.contains(paperName, Qt::CaseInsensitive);
        if (!match)
            continue;
        const int number = ListNumber(*papers, i);
        if (FDevMode->PaperSize != number) {
            FDevMode->PaperSize = int16_t(number);
            FDevMode->Fields |= DM_PAPERSIZE;
            FDevModeChanged = true;
        }
        FPaper = entry;
        return true;
    }
    return false;
}

// Qt gives no extents of custom paper; any size from 1 to 32767 tenths of a
// millimetre is offered and the driver fits it.
void TQpPrinterDevice::GetCustomExtents(TPoint& minExtent, TPoint& maxExtent)
{
    minExtent = {1, 1};
    maxExtent = {32767, 32767};
}

bool TQpPrinterDevice::SetPaperSize(int size, int width, int height)
{
    CheckNotPrinting();
    if (!FDevMode)
        return false;
    if (width != 0 && height != 0) {
        if (FDevMode->PaperSize == DMPAPER_USER && FDevMode->PaperWidth == width &&
            FDevMode->PaperLength == height)
            return true;
        TPoint minExtent, maxExtent;
        GetCustomExtents(minExtent, maxExtent);
        if (width < minExtent.X || width > maxExtent.X || height < minExtent.Y || height > maxExtent.Y)
            return false;
        FDevMode->PaperSize = DMPAPER_USER;
        FDevMode->PaperWidth = int16_t(width);
        FDevMode->PaperLength = int16_t(height);
        FDevMode->Fields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
        FDevModeChanged = true;
        return true;
    }
    if (!SupportPaper(size))
        return false;
    if (FDevMode->PaperSize == size && FDevMode->PaperWidth == 0 && FDevMode->PaperLength == 0)
        return true;
    FDevMode->PaperSize = int16_t(size);
    FDevMode->PaperWidth = 0;
    FDevMode->PaperLength = 0;
    FDevMode->Fields |= DM_PAPERSIZE;
    FDevModeChanged = true;
    return true;
}

bool TQpPrinterDevice::SupportBin(int binNum)
{
    const TStringList* bins = GetBins();
    if (!FDevMode || !(FDevMode->Fields & DM_DEFAULTSOURCE))
        return false;
    for (int i = 0; bins && i < bins->Count(); ++i)
        if (ListNumber(*bins, i) == binNum)
            return true;
    return false;
}

bool TQpPrinterDevice::SupportPaper(int paperNum)
{
    if (!FDevMode || !(FDevMode->Fields & DM_PAPERSIZE))
        return false;
    const TStringList* papers = GetPapers();
    for (int i = 0; papers && i < papers->Count(); ++i)
        if (ListNumber(*papers, i) == paperNum)
            return true;
    return false;
}

bool TQpPrinterDevice::SupportOrientation()
{
    return FDevMode && (FDevMode->Fields & DM_ORIENTATION);
}

bool TQpPrinterDevice::SupportDuplex()
{
    return FDevMode && (FDevMode->Fields & DM_DUPLEX);
}

bool TQpPrinterDevice::SupportCollate()
{
    return FDevMode && (FDevMode->Fields & DM_COLLATE);
}

void TQpPrinterDevice::LoadFromPrinter()
{
    TPrinterObject& global = GlobalPrinterObject();
    if (global.Device.isEmpty())
        return;
    if (!SelectPrinter(global.Device, true))
        return;
    if (global.DevMode && FDevMode) {
        *FDevMode = *global.DevMode;
        FDevModeChanged = true;
    }
}

void TQpPrinterDevice::SaveToPrinter()
{
    TPrinterObject& global = GlobalPrinterObject();
    global.Device = FDeviceName;
    global.Driver = FDriverName;
    global.Port = FOutputName;
    global.DevMode = FDevMode ? std::make_unique<TDevMode>(*FDevMode) : nullptr;
    SetState(TDeviceState::dsNone);
    ReleasePrinter();
    FDeviceIndex = -2;
}

bool TQpPrinterDevice::PrinterSetupDialog()
{
    SetState(TDeviceState::dsIC);
    if (!FContext)
        return false;
    FContextLent = true;
    QPrintDialog dialog(FContext.get());
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    CenterDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString chosen = FContext->printerName();
    if (!chosen.isEmpty() && chosen != FDeviceName) {
        KeepDevMode = true;
        SelectPrinter(chosen, true);
    }
    if (FDevMode) {
        const QPageLayout layout = FContext->pageLayout();
        FDevMode->Orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
        const int code = layout.pageSize().windowsId();
        FDevMode->PaperSize = int16_t(code > 0 ? code : DMPAPER_USER);
        const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
        FDevMode->PaperWidth = int16_t(std::lround(mm.width() * 10));
        FDevMode->PaperLength = int16_t(std::lround(mm.height() * 10));
        FDevMode->Duplex = int16_t(FromQtDuplex(FContext->duplex()));
        FDevModeChanged = true;
    }
    return true;
}

bool TQpPrinterDevice::PrintDialog(TPrintDialogRec& rec)
{
    SetState(TDeviceState::dsIC);
    if (!FContext)
        return false;
    FContextLent = true;
    SetCopies(rec.Copies);
    QPrintDialog dialog(FContext.get());
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (!rec.Options.Contains(TPrintDialogOption::poDisablePrintToFile) &&
        rec.Options.Contains(TPrintDialogOption::poPrintToFile))
        options |= QAbstractPrintDialog::PrintToFile;
    if (rec.Options.Contains(TPrintDialogOption::poPageNums))
        options |= QAbstractPrintDialog::PrintPageRange;
    if (rec.Options.Contains(TPrintDialogOption::poSelection))
        options |= QAbstractPrintDialog::PrintSelection;
    dialog.setOptions(options);
    dialog.setMinMax(rec.MinPage, rec.MaxPage);
    dialog.setFromTo(rec.FromPage, rec.ToPage);
    FContext->setCollateCopies(rec.Collate);
    FContext->setCopyCount(rec.Copies);
    dialog.setPrintRange(rec.PrintRange == TPrintRange::prSelection  ? QAbstractPrintDialog::Selection
                         : rec.PrintRange == TPrintRange::prPageNums ? QAbstractPrintDialog::PageRange
                                                                     : QAbstractPrintDialog::AllPages);
    CenterDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    rec.Collate = FContext->collateCopies();
    rec.Copies = FContext->copyCount();
    rec.PrintToFile = !FContext->outputFileName().isEmpty();
    if (rec.PrintToFile)
        SetOutputFile(FContext->outputFileName());
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection:
        rec.PrintRange = TPrintRange::prSelection;
        break;
    case QAbstractPrintDialog::PageRange:
        rec.PrintRange = TPrintRange::prPageNums;
        rec.FromPage = dialog.fromPage();
        rec.ToPage = dialog.toPage();
        break;
    default:
        rec.PrintRange = TPrintRange::prAllPages;
        break;
    }
    return true;
}

bool TQpPrinterDevice::SimplePrintDialog(int& firstPage, int& lastPage)
{
    TPrintDialogRec rec;
    rec.Collate = GetCollate();
    rec.Copies = GetCopies();
    rec.FromPage = firstPage;
    rec.ToPage = lastPage;
    rec.MinPage = 1;
    rec.MaxPage = lastPage;
    rec.Options = {TPrintDialogOption::poPageNums, TPrintDialogOption::poWarning};
    if (!PrintDialog(rec))
        return false;
    SetCollate(rec.Collate);
    SetCopies(rec.Copies);
    if (rec.PrintRange == TPrintRange::prPageNums) {
        firstPage = rec.FromPage;
        lastPage = rec.ToPage;
    } else if (rec.PrintRange == TPrintRange::prAllPages) {
        firstPage = 1;
        lastPage = 9999;
    }
    return true;
}

bool TQpPrinterDevice::SelectPrinter(const QString& printerName, bool exact)
{
    CheckNotPrinting();
    GetPrinters();
    for (int i = 0; i < int(FPrinterItems.size()); ++i) {
        const bool match = !exact || printerName.contains(u" on ")
                               ? ItemText(i).contains(printerName, Qt::CaseInsensitive)
                               : FPrinterItems[size_t(i)].DeviceName == printerName;
        if (match) {
            SetDeviceIndex(i);
            return true;
        }
    }
    return false;
}

void TQpPrinterDevice::ResetHandle(bool force)
{
    if (!force && !(FDeviceState == TDeviceState::dsIC && FDevModeChanged) &&
        !(FDeviceState == TDeviceState::dsDC && FDevModeChanged && FPageUsed))
        return;
    FDevModeChanged = false;
    if (!FContext || !FDevMode)
        return;
    // Page settings apply to the context directly (a job takes them at its
    // next page); Qt keeps the canvas's font, pen and brush meanwhile.
    // A job into a file keeps the printer's unprintable edges.
    QPageLayout layout = FContext->pageLayout();
    const QMarginsF margins = FDeviceState == TDeviceState::dsDC ? layout.margins() : layout.minimumMargins();
    layout.setPageSize(PageSizeOf(*FDevMode), margins);
    layout.setOrientation(ToQtOrientation(FDevMode->Orientation));
    layout.setMargins(FDeviceState == TDeviceState::dsDC ? margins : layout.minimumMargins());
    FContext->setPageLayout(layout);
    if (FFileWriter)
        FFileWriter->setPageLayout(layout);
    if (FDeviceState != TDeviceState::dsDC) {
        FContext->setCopyCount(std::max<int>(1, FDevMode->Copies));
        FContext->setCollateCopies(FDevMode->Collate == 1);
        FContext->setDuplex(ToQtDuplex(FDevMode->Duplex));
    }
    if (FCanvas)
        FCanvas->Font()->SetPixelsPerInch(GetYDPI());
}

bool TQpPrinterDevice::InvalidPrinter()
{
    if (!FInvalidPrinter) {
        const TStringList* printers = GetPrinters();
        if (printers->Count() == 0 || DeviceIndex() < 0)
            FInvalidPrinter = true;
    }
    return FInvalidPrinter;
}

bool TQpPrinterDevice::IsPdfPrinter()
{
    return !InvalidPrinter() && FPdfPrinter;
}

void TQpPrinterDevice::ForgetPrinters()
{
    CheckNotPrinting();
    SetState(TDeviceState::dsNone);
    KeepDevMode = false;
    ReleasePrinter();
    FPrinterList.reset();
    FPrinterItems.clear();
    FDeviceIndex = -2;
    FInvalidPrinter = false;
    FDevModeChanged = false;
}

// The CUPS default printer; when CUPS names none, its last printer; the PDF
// printer only when CUPS has no printer.
int TQpPrinterDevice::DeviceIndex()
{
    if (FDeviceIndex < 0) {
        GetPrinters();
        if (FPrinterItems.empty())
            return -1;
        const QString defaultName = QPrinterInfo::defaultPrinterName();
        int chosen = int(FPrinterItems.size()) - 1;
        while (chosen > 0 && FPrinterItems[size_t(chosen)].PdfFile)
            --chosen;
        for (int i = 0; i < int(FPrinterItems.size()); ++i)
            if (!defaultName.isEmpty() && !FPrinterItems[size_t(i)].PdfFile &&
                FPrinterItems[size_t(i)].DeviceName == defaultName)
                chosen = i;
        SetDeviceIndex(chosen);
    }
    return FDeviceIndex;
}

void TQpPrinterDevice::SetDeviceIndex(int index)
{
    CheckNotPrinting();
    GetPrinters();
    if (index < 0 || index >= int(FPrinterItems.size()))
        return;
    SetState(TDeviceState::dsNone);
    ReleasePrinter();
    const TQPDeviceItem& item = FPrinterItems[size_t(index)];
    FDeviceName = item.DeviceName;
    FDriverName = item.DriverName;
    FOutputName = item.OutputName;
    if (item.PdfFile) {
        FPdfPrinter = true;
        if (!KeepDevMode || !FDevMode)
            FDevMode = PdfDevMode();
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(FDeviceName);
        if (info.isNull()) {
            ReleasePrinter();
            FInvalidPrinter = true;
            KeepDevMode = false;
            return;
        }
        if (!KeepDevMode || !FDevMode)
            FDevMode = DefaultDevMode(info);
    }
    KeepDevMode = false;
    FDeviceIndex = index;
    FInvalidPrinter = false;
    FDevModeChanged = false;
}

void TQpPrinterDevice::ReleasePrinter()
{
    if (!KeepDevMode)
        FDevMode.reset();
    FBinList.reset();
    FBinKeywords.clear();
    FPaperList.reset();
    FFontList.reset();
    FDeviceName.clear();
    FDriverName.clear();
    FOutputName.clear();
    FPdfPrinter = false;
    FMaxCopies = 0;
}

void TQpPrinterDevice::SetOutputFile(const QString& fileName)
{
    CheckNotPrinting();
    FOutputFile = fileName;
}

void TQpPrinterDevice::SetState(TDeviceState state)
{
    if (state == FDeviceState || (state == TDeviceState::dsIC && FDeviceState == TDeviceState::dsDC))
        return;
    if (state != TDeviceState::dsNone)
        InvalidPrinter(); // chooses the default printer first
    if (FCanvas)
        FCanvas->SetPainter(nullptr);
    KeepPdfContext(std::move(FContext));
    FDeviceState = state;
    if (state != TDeviceState::dsNone)
        MakeContext(state);
}

// A context for the selected printer from its device mode; with no printer,
// for a job into a file, or on the PDF printer, a PDF context of the same
// page, resolution and colour (a job into a file paints on its own PDF writer
// of that page, or in grey on this context, see BeginFileJob).
void TQpPrinterDevice::MakeContext(TDeviceState state)
{
    const bool valid = !FInvalidPrinter && FDevMode;
    const bool toFile = state == TDeviceState::dsDC && !FOutputFile.isEmpty();
    QPageLayout layout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF());
    int dpi = kFallbackDpi;
    if (valid && FPdfPrinter) {
        // A PDF page has no unprintable edges.
        layout = QPageLayout(PageSizeOf(*FDevMode), ToQtOrientation(FDevMode->Orientation), QMarginsF());
        dpi = FDevMode->PrintQuality > 0 ? FDevMode->PrintQuality : kPdfDpi;
        FDevModeChanged = false;
    } else if (valid) {
        auto native = std::make_unique<QPrinter>(QPrinter::HighResolution);
        native->setPrinterName(FDeviceName);
        if (native->printerName() != FDeviceName || !native->isValid()) {
            FInvalidPrinter = true;
        } else {
            QPageLayout nativeLayout = native->pageLayout();
            nativeLayout.setPageSize(PageSizeOf(*FDevMode), nativeLayout.minimumMargins());
            nativeLayout.setOrientation(ToQtOrientation(FDevMode->Orientation));
            nativeLayout.setMargins(nativeLayout.minimumMargins());
            native->setPageLayout(nativeLayout);
            if (FDevMode->PrintQuality > 0)
                native->setResolution(FDevMode->PrintQuality);
            native->setCopyCount(std::max<int>(1, FDevMode->Copies));
            native->setCollateCopies(FDevMode->Collate == 1);
            native->setDuplex(ToQtDuplex(FDevMode->Duplex));
            native->setColorMode(FDevMode->Color == 2 ? QPrinter::Color : QPrinter::GrayScale);
            if (!toFile && FBinList && (FDevMode->Fields & DM_DEFAULTSOURCE)) {
                for (int i = 0; i < FBinList->Count(); ++i)
                    if (ListNumber(*FBinList, i) == FDevMode->DefaultSource)
                        native->printEngine()->setProperty(
                            kCupsOptionsKey,
                            QStringList{QStringLiteral("media-source"), FBinKeywords[size_t(i)]});
            }
            layout = native->pageLayout();
            dpi = native->resolution();
            if (!toFile) {
                FContext = std::move(native);
                FDevModeChanged = false;
            }
        }
    }
    if (!FContext) {
        std::unique_ptr<QPrinter> pdf = TakePdfContext();
        pdf->setResolution(dpi);
        pdf->setPageLayout(layout);
        pdf->setColorMode(valid && FDevMode->Color != 2 ? QPrinter::GrayScale : QPrinter::Color);
        FContext = std::move(pdf);
    }
    if (FCanvas)
        FCanvas->Font()->SetPixelsPerInch(FContext->resolution());
}

// A kept PDF context comes back as a fresh one would: the settings a job,
// ResetHandle or MakeContext change go back to a new QPrinter's.
std::unique_ptr<QPrinter> TQpPrinterDevice::TakePdfContext()
{
    struct TFresh {
        bool Collate;
        QPrinter::ColorMode Color;
    };
    static const TFresh fresh = [] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        return TFresh{printer.collateCopies(), printer.colorMode()};
    }();
    std::unique_ptr<QPrinter> pdf = std::move(FSparePdfContext);
    if (!pdf) {
        pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
        pdf->setOutputFormat(QPrinter::PdfFormat);
        return pdf;
    }
    pdf->setDocName(QString());
    pdf->setCopyCount(1);
    pdf->setCollateCopies(fresh.Collate);
    pdf->setDuplex(QPrinter::DuplexNone);
    pdf->setColorMode(fresh.Color);
    return pdf;
}

void TQpPrinterDevice::KeepPdfContext(std::unique_ptr<QPrinter> context)
{
    const bool own = !FContextLent;
    FContextLent = false;
    if (context && own && context->outputFormat() == QPrinter::PdfFormat &&
        context->outputFileName().isEmpty() && !context->paintingActive())
        FSparePdfContext = std::move(context);
}

TQPBaseDevice* GlobalDevice()
{
    std::unique_ptr<TQPBaseDevice>& device = GlobalDeviceSlot();
    if (!device) {
        device = std::make_unique<TQpPrinterDevice>();
        // Qt's printer objects must go before the application object does.
        if (QCoreApplication::instance())
            qAddPostRoutine(FreeGlobalDevice);
    }
    return device.get();
}

TQpPrinterDevice* GlobalPrinterDevice()
{
    return dynamic_cast<TQpPrinterDevice*>(GlobalDevice());
}

void SetPdfPrinterHidden(bool hidden)
{
    PdfHidden() = hidden;
    if (auto* printer = dynamic_cast<TQpPrinterDevice*>(GlobalDeviceSlot().get()))
        printer->ForgetPrinters();
}

std::unique_ptr<TQPBaseDevice> ExchangeGlobalDevice(std::unique_ptr<TQPBaseDevice> device)
{
    if (device && QCoreApplication::instance())
        qAddPostRoutine(FreeGlobalDevice);
    std::swap(device, GlobalDeviceSlot());
    return device;
}

bool PdfPrinterHidden()
{
    return PdfHidden();
}
