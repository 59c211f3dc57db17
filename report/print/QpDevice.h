#pragma once
// QpDevice: output devices. A device knows the page size in device pixels,
// the resolution and the unprintable edges, the printers, bins and papers,
// and brackets a print job. TQPBaseDevice answers neutrally; TQPRenderDevice
// is a 600-dpi device in memory, for layout without a printer;
// TQpPrinterDevice drives a printer through Qt's printer support (CUPS), or a
// PDF file.
//
// Printer settings are kept in a TDevMode record, the device mode of the
// selected printer, and applied to Qt's printer object when a context is
// made.
//
// After the CUPS printers the list always holds one more printer, "Print to
// PDF", which writes a PDF file: its device mode has the paper of the user's
// locale (Letter or A4), portrait, 600 dpi, colour, one copy, and its jobs
// need an output file (the printer render target asks the user for one). It
// is the default printer when CUPS has none.
//
// With no printer at all (only when tests hide the PDF printer) the printer
// device has no device mode, its settings change nothing and InvalidPrinter
// is true, but its canvas still measures and draws: its context is then a
// PDF page (US Letter, portrait, at 600 dpi, without unprintable edges), and
// a job prints into the output file. Only a job with neither a printer nor
// an output file is refused.
//
// A job into a file (the PDF printer's, a native printer's output to a file)
// opens the crash-safe save of its file when it begins (a file that cannot be
// saved is refused before anything is painted) and paints its PDF into
// memory; EndDoc hands the finished bytes to the save, so a failed write is
// the save error naming the file, and the file that stood there before stays
// as it was. An aborted job removes only its temporary file. The PDF takes
// the device mode's colour: a monochrome job writes its colours and images
// in grey.
#include "report/print/QpDefine.h"

#include "platform/graphics/Canvas.h"
#include "platform/rtl/StringList.h"

#include <QString>

#include <memory>
#include <vector>

class QBuffer;
class QFile;
class QPagedPaintDevice;
class QPainter;
class QPdfWriter;
class QPrinter;
class TSafeFileStream;

// The settings of a printer, as the device mode of the Win32 API holds them:
// paper sizes and lengths in tenths of a millimetre, orientation 1 portrait
// and 2 landscape, duplex 1 simplex, 2 vertical, 3 horizontal, collate 1 on.
// Fields tells which members the printer supports (DM_* bits).
struct TDevMode {
    QString DeviceName;
    uint32_t Fields = 0;
    int16_t Orientation = 1;
    int16_t PaperSize = 0; // DMPAPER_* number; 256 = a custom size
    int16_t PaperLength = 0;
    int16_t PaperWidth = 0;
    int16_t Scale = 100;
    int16_t Copies = 1;
    int16_t DefaultSource = 0; // DMBIN_* number of the bin
    int16_t PrintQuality = 0;  // dots per inch; negative: DMRES_* draft to high
    int16_t Color = 1;         // 1 monochrome, 2 colour
    int16_t Duplex = 1;
    int16_t YResolution = 0;
    int16_t Collate = 0;
};

constexpr uint32_t DM_ORIENTATION = 0x00000001;
constexpr uint32_t DM_PAPERSIZE = 0x00000002;
constexpr uint32_t DM_PAPERLENGTH = 0x00000004;
constexpr uint32_t DM_PAPERWIDTH = 0x00000008;
constexpr uint32_t DM_SCALE = 0x00000010;
constexpr uint32_t DM_COPIES = 0x00000100;
constexpr uint32_t DM_DEFAULTSOURCE = 0x00000200;
constexpr uint32_t DM_PRINTQUALITY = 0x00000400;
constexpr uint32_t DM_COLOR = 0x00000800;
constexpr uint32_t DM_DUPLEX = 0x00001000;
constexpr uint32_t DM_YRESOLUTION = 0x00002000;
constexpr uint32_t DM_COLLATE = 0x00008000;
constexpr int DMPAPER_USER = 256;

enum class TPrintDialogOption : uint8_t {
    poPrintToFile,
    poPageNums,
    poSelection,
    poWarning,
    poHelp,
    poDisablePrintToFile,
};
using TPrintDialogOptions = TEnumSet<TPrintDialogOption, uint8_t>;
enum class TPrintRange : uint8_t { prAllPages, prSelection, prPageNums };

struct TPrintDialogRec {
    bool Collate = false;
    int32_t Copies = 1;
    int32_t FromPage = 0;
    int32_t ToPage = 0;
    int32_t MinPage = 0;
    int32_t MaxPage = 0;
    TPrintDialogOptions Options;
    bool PrintToFile = false;
    TPrintRange PrintRange = TPrintRange::prAllPages;
};

// The device every output measures against: neutral answers, a page of
// 8.5 x 11 inches at 96 dpi.
class TQPBaseDevice {
public:
    TQPBaseDevice();
    virtual ~TQPBaseDevice();
    TQPBaseDevice(const TQPBaseDevice&) = delete;
    TQPBaseDevice& operator=(const TQPBaseDevice&) = delete;

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& title) { FTitle = title; }
    bool Printing() const { return FPrinting; }
    bool Aborted() const { return FAborted; }

    virtual TCanvas* GetCanvas() = 0;
    // Whether the canvas has a context to measure and draw on.
    virtual bool CanvasActive() { return true; }
    virtual int GetXDPI();
    virtual int GetYDPI();
    // The unprintable edges in device pixels.
    virtual TRect GetWaste();
    virtual void SetBin(int binNum);
    virtual int GetBin();
    // Lists owned by the device, filled on demand; nullptr when the device has
    // none. Bins and papers carry their numbers as the entries' objects
    // (read them with ListNumber).
    virtual const TStringList* GetBins();
    virtual const TStringList* GetPapers();
    virtual const TStringList* GetFonts();
    virtual const TStringList* GetPrinters();
    virtual TOrientation GetOrientation();
    virtual void SetOrientation(TOrientation orientation);
    virtual int GetMaxCopies();
    virtual void SetCopies(int copies);
    virtual int GetCopies();
    virtual void SetDuplex(TDuplex duplex);
    virtual TDuplex GetDuplex();
    virtual void SetCollate(bool collate);
    virtual bool GetCollate();
    virtual int GetPageHeight(); // device pixels
    virtual int GetPageWidth();
    // Width of the text in the canvas font, device pixels.
    virtual int TextWidth(const QString& value);
    virtual void RawOut(const char* buffer, int length);
    virtual void BeginDoc();
    virtual void BeginDocSelect();
    virtual void EndDoc();
    virtual void Abort();
    virtual void NewPage();
    virtual void NewPageSelect(bool pageValid);
    virtual bool SelectBin(const QString& binName, bool exact);
    virtual bool SelectPaper(const QString& paperName, bool exact);
    virtual void GetCustomExtents(TPoint& minExtent, TPoint& maxExtent);
    // A custom size when width and height (tenths of a millimetre) are both
    // given, else the paper of that number (8.5 x 11 inches when unknown).
    virtual bool SetPaperSize(int size, int width, int height);
    virtual bool SupportBin(int binNum);
    virtual bool SupportPaper(int paperNum);
    virtual bool SupportOrientation();
    virtual bool SupportDuplex();
    virtual bool SupportCollate();

    static int ListNumber(const TStringList& list, int index);

protected:
    // Sets the page to 8.5 x 11 inches at the device's resolution; each
    // device's constructor calls it once its resolution is known.
    void InitPageSize();

    QString FTitle;
    bool FPrinting = false;
    bool FAborted = false;
    TOrientation FOrientation = TOrientation::poLandScape;
    int32_t FCopies = 1;
    TDuplex FDuplex = TDuplex::dupSimplex;
    bool FCollate = false;
    int32_t FPageHeight = 0;
    int32_t FPageWidth = 0;
    QString FBin;
    QString FPaper;
};

// A device in memory at 600 dpi; text widths come from the font-width
// manager. Its page is 8.5 x 11 inches and, like every device, it starts in
// landscape, where it reports the long side as its width.
class TQPRenderDevice : public TQPBaseDevice {
public:
    TQPRenderDevice();
    ~TQPRenderDevice() override;

    TCanvas* GetCanvas() override;
    int GetXDPI() override;
    int GetYDPI() override;
    int GetPageHeight() override;
    int GetPageWidth() override;
    int TextWidth(const QString& value) override;

private:
    std::unique_ptr<TBitmap> FBitmap;
};

// One printer of the list.
struct TQPDeviceItem {
    QString DeviceName;
    QString DriverName;
    QString OutputName;
    bool PdfFile = false; // the "Print to PDF" printer
};

// The name of the printer that writes PDF files: "Print to PDF".
const QString& PdfPrinterName();

// The paper of the user's locale, as a DMPAPER_* number: Letter (1) for the
// territories that use it, else A4 (9). The locale is the first set of
// LC_ALL, LC_PAPER and LANG, as POSIX orders them; none is the C locale.
int LocalePaperSize();

class TQpPrinterDevice;

class TQPPrinterCanvas : public TCanvas {
public:
    explicit TQPPrinterCanvas(TQpPrinterDevice* device) : QPDevice(device) {}
    TQpPrinterDevice* QPDevice;
};

// The framework's global printer object: the printer and device mode an
// application hands over between print components. It keeps its own copy of
// a device mode given to it.
struct TPrinterObject {
    QString Device;
    QString Driver;
    QString Port;
    std::unique_ptr<TDevMode> DevMode;
};
TPrinterObject& GlobalPrinterObject();

class TQpPrinterDevice : public TQPBaseDevice {
public:
    TQpPrinterDevice();
    ~TQpPrinterDevice() override;

    // Settings kept for the printer render target.
    bool FIgnoreZSFOrientation = false;
    TOrientation FSetupOrientation = TOrientation::poDefault;
    bool FIgnoreZSFBin = false;
    int32_t FSetupBin = 0;

    TCanvas* GetCanvas() override;
    bool CanvasActive() override;
    int GetXDPI() override;
    int GetYDPI() override;
    TRect GetWaste() override;
    void SetBin(int binNum) override;
    const TStringList* GetBins() override;
    const TStringList* GetPapers() override;
    const TStringList* GetFonts() override;
    const TStringList* GetPrinters() override;
    TOrientation GetOrientation() override;
    void SetOrientation(TOrientation orientation) override;
    int GetMaxCopies() override;
    void SetCopies(int copies) override;
    int GetCopies() override;
    void SetDuplex(TDuplex duplex) override;
    TDuplex GetDuplex() override;
    void SetCollate(bool collate) override;
    bool GetCollate() override;
    int GetPageHeight() override;
    int GetPageWidth() override;
    int TextWidth(const QString& value) override;
    void RawOut(const char* buffer, int length) override;
    void BeginDoc() override;
    void BeginDocSelect() override;
    void EndDoc() override;
    void Abort() override;
    void NewPage() override;
    void NewPageSelect(bool pageValid) override;
    bool SelectBin(const QString& binName, bool exact) override;
    bool SelectPaper(const QString& paperName, bool exact) override;
    void GetCustomExtents(TPoint& minExtent, TPoint& maxExtent) override;
    bool SetPaperSize(int size, int width, int height) override;
    bool SupportBin(int binNum) override;
    bool SupportPaper(int paperNum) override;
    bool SupportOrientation() override;
    bool SupportDuplex() override;
    bool SupportCollate() override;

    // Exchange the printer and its device mode with GlobalPrinterObject().
    void LoadFromPrinter();
    void SaveToPrinter();
    // Qt's print dialog, centred; true when the user confirmed.
    bool PrinterSetupDialog();
    bool PrintDialog(TPrintDialogRec& rec);
    bool SimplePrintDialog(int& firstPage, int& lastPage);
    bool SelectPrinter(const QString& printerName, bool exact);
    // Applies a changed device mode to the context (always when forced).
    void ResetHandle(bool force);
    bool InvalidPrinter();
    // Whether the selected printer is the "Print to PDF" printer (choosing
    // the default printer first).
    bool IsPdfPrinter();
    // Forgets the printer list and the selected printer with its device
    // mode; the next question reads and chooses them again. Raises while
    // printing.
    void ForgetPrinters();

    // The selected printer's position in GetPrinters(); reading it first
    // selects the default printer. -1 when there is none.
    int DeviceIndex();
    void SetDeviceIndex(int index);
    TDeviceState State() const { return FDeviceState; }
    void SetState(TDeviceState state);
    // The context (Qt's printer object), made on demand; nullptr without one.
    QPrinter* Handle();
    TDevMode* DevMode() { return FDevMode.get(); }
    void MarkDevModeChanged() { FDevModeChanged = true; }
    QString Driver() const { return FDriverName; }
    QString Output() const { return FOutputName; }
    QString Device() const { return FDeviceName; }
    const QString& OutputFile() const { return FOutputFile; }
    void SetOutputFile(const QString& fileName); // raises while printing
    bool KeepDevMode = false;

private:
    void CheckPrinting() const;
    void CheckNotPrinting() const;
    void ReleasePrinter();
    void MakeContext(TDeviceState state);
    // The context without handing it out (see FContextLent).
    QPrinter* Context();
    std::unique_ptr<QPrinter> TakePdfContext();
    void KeepPdfContext(std::unique_ptr<QPrinter> context);
    void StartPage();
    void BeginFileJob();
    void ReleaseFileJob();
    QPagedPaintDevice* PaintTarget() const;
    QString ItemText(int index) const;
    const TStringList* FillBins();

    QString FDeviceName;
    QString FDriverName;
    QString FOutputName;
    std::unique_ptr<QPrinter> FContext;
    // Making a QPrinter asks CUPS for the default printer and the printer
    // list, on every context of every job. A PDF context that nothing but
    // this device has seen (no dialog, no caller of Handle(), never painted
    // on) is kept when the state changes and set up afresh for the next.
    std::unique_ptr<QPrinter> FSparePdfContext;
    bool FContextLent = false;
    std::unique_ptr<QPainter> FPainter;
    // A job into a file: the PDF it paints, in memory until EndDoc saves it
    // through the save stream opened when the job began. A colour job paints
    // on its own PDF writer into FFileBytes; Qt's PDF writer has no grey, so
    // a monochrome job paints on the context itself, set to grey, which
    // writes into FGreyBytes, a file in memory of this process alone.
    std::unique_ptr<TSafeFileStream> FFileStream;
    std::unique_ptr<QBuffer> FFileBytes;
    std::unique_ptr<QPdfWriter> FFileWriter;
    std::unique_ptr<QFile> FGreyBytes;
    std::unique_ptr<TDevMode> FDevMode;
    TDeviceState FDeviceState = TDeviceState::dsNone;
    std::unique_ptr<TStringList> FFontList;
    std::unique_ptr<TStringList> FPrinterList;
    std::vector<TQPDeviceItem> FPrinterItems;
    std::unique_ptr<TStringList> FBinList;
    std::vector<QString> FBinKeywords; // CUPS names of the bins, by list entry
    std::unique_ptr<TStringList> FPaperList;
    int32_t FDeviceIndex = -2;
    QString FOutputFile;
    std::unique_ptr<TQPPrinterCanvas> FCanvas;
    bool FDevModeChanged = false;
    bool OnPage = false;
    bool FPageUsed = false; // the job's current Qt page has been started
    bool FInvalidPrinter = false;
    bool FPdfPrinter = false; // the selected printer writes PDF files
    int32_t FAbortDelay = 0;
    bool FSkipAbortProc = false;
    int FMaxCopies = 0; // 0 = not yet asked
};

// The shared device of the process, a TQpPrinterDevice made on first use and
// freed when the application ends.
TQPBaseDevice* GlobalDevice();
// GlobalDevice() when it is a printer device, else nullptr.
TQpPrinterDevice* GlobalPrinterDevice();

// For tests, not a user setting: hides the "Print to PDF" printer, so that
// the device layer behaves as on a machine without any printer. The global
// device forgets its printers, and reads them again when next asked.
void SetPdfPrinterHidden(bool hidden);
bool PdfPrinterHidden();
// For tests, not a setting: puts the device in the place of the shared one
// and hands back the one it replaces (null when none was made yet; a null
// device given makes the next use make one anew).
std::unique_ptr<TQPBaseDevice> ExchangeGlobalDevice(std::unique_ptr<TQPBaseDevice> device);
