#include "report/print/QpRenderPrinter.h"

#include "report/print/QpDevice.h"

#include "platform/forms/Dialogs.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kRawBlock = 4096;

const QString kNoPageToPrint = QStringLiteral("The report has no page to print.");

int ClampedRound(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp<double>(std::nearbyint(value), INT_MIN, INT_MAX));
}

// The file name offered for a report: its title without the characters a
// file name cannot hold on any common system, or "report". A title of a
// snapshot file can be of any length: it is cut well below the 255 bytes a
// file name may have.
QString DefaultPdfName(const QString& title)
{
    QString name;
    for (const QChar c : title.left(100))
        name += c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c) ? QChar(u'_') : c;
    name = name.trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("report");
    if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        name += QStringLiteral(".pdf");
    return name;
}

// Asks for the file the PDF printer writes; Cancel is the user's abort of
// the print.
QString AskPdfFileName(const QString& title)
{
    TSaveDialog dialog(nullptr);
    dialog.Title = Translate(PdfPrinterName());
    dialog.DefaultExt = QStringLiteral("pdf");
    dialog.Filter = Translate(QStringLiteral("PDF Files (*.pdf)")) + QStringLiteral("|*.pdf");
    dialog.Options =
        OpenOptionBit(TOpenOption::ofOverwritePrompt) | OpenOptionBit(TOpenOption::ofHideReadOnly) |
        OpenOptionBit(TOpenOption::ofPathMustExist) | OpenOptionBit(TOpenOption::ofNoReadOnlyReturn) |
        OpenOptionBit(TOpenOption::ofEnableSizing);
    dialog.InitialDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.FileName = DefaultPdfName(title);
    if (!dialog.Execute() || dialog.FileName.trimmed().isEmpty())
        throw EAbort();
    return dialog.FileName;
}

} // namespace

TZvRenderPrinter::TZvRenderPrinter(TComponent* owner) : TZvRenderCanvas(owner)
{
    SetActive(false);
}

TQpPrinterDevice* TZvRenderPrinter::Device() const
{
    TQpPrinterDevice* device = GlobalPrinterDevice();
    if (!device)
        RaiseError(Translate(QStringLiteral("Error!  Canvas not yet active.")));
    return device;
}

int TZvRenderPrinter::Pages()
{
    return Converter && Converter->PageCount() > 0 ? Converter->PageCount() : FPages;
}

int TZvRenderPrinter::MaxCopies()
{
    return Device()->GetMaxCopies();
}

TCanvas* TZvRenderPrinter::GetCanvas()
{
    const TOwnCall call(*this);
    return Device()->GetCanvas();
}

int TZvRenderPrinter::GetXDPI()
{
    if (FXDPI > 0)
        return FXDPI;
    const TOwnCall call(*this);
    return Device()->GetXDPI();
}

int TZvRenderPrinter::GetYDPI()
{
    if (FYDPI > 0)
        return FYDPI;
    const TOwnCall call(*this);
    return Device()->GetYDPI();
}

int TZvRenderPrinter::XI2D(double pos)
{
    return ClampedRound(GetXDPI() * pos - FWasteLeft);
}

int TZvRenderPrinter::YI2D(double pos)
{
    return ClampedRound(GetYDPI() * pos - FWasteTop);
}

// Resolution and margins of the page in the printer: they change with the
// paper and the orientation.
void TZvRenderPrinter::ReadDevice()
{
    TQpPrinterDevice* device = Device();
    FXDPI = device->GetXDPI();
    FYDPI = device->GetYDPI();
    const TRect waste = device->GetWaste();
    FWasteLeft = waste.Left;
    FWasteTop = waste.Top;
}

// A playback that would print no page is not a print: it ends with an error
// instead of passing as printed, before a file is asked for, so a file it
// would print into stays as it was.
void TZvRenderPrinter::CheckPlayback()
{
    const TOwnCall call(*this);
    if (Converter->PlayedPageCount() == 0)
        RaiseError(Translate(kNoPageToPrint));
}

// A job on the PDF printer without an output file asks for one before the
// device changes anything.
void TZvRenderPrinter::DocBegin()
{
    const TOwnCall call(*this);
    FPagesBegun = 0;
    TQpPrinterDevice* device = Device();
    const TQPReportHeader& header = Converter->ReportHeader();
    const QString outputFile =
        FOutputFileName.isEmpty() && device->IsPdfPrinter() ? AskPdfFileName(header.Title) : FOutputFileName;
    device->SetTitle(header.Title);
    device->SetOrientation(header.Orientation);
    if (header.DMPaperSize == DMPAPER_USER)
        device->SetPaperSize(0, header.DMPaperWidth, header.DMPaperLength);
    else
        device->SetPaperSize(header.DMPaperSize, 0, 0);
    if (IgnoreFileSettings) {
        device->SetCopies(Copies);
        device->SetCollate(Collate);
        device->SetDuplex(Duplex);
    } else {
        device->SetCopies(header.Copies);
        device->SetCollate(header.Collate);
        device->SetDuplex(header.Duplex);
    }
    device->SetOutputFile(outputFile);
    device->BeginDocSelect();
    ReadDevice();
    TZvRenderCanvas::DocBegin();
}

// A playback that failed ends here while its error is being handled: its
// job is aborted, so a file it was printing into stays as it was.
void TZvRenderPrinter::DocEnd()
{
    const TOwnCall call(*this);
    TZvRenderCanvas::DocEnd();
    FXDPI = FYDPI = 0;
    FWasteLeft = FWasteTop = 0;
    TQpPrinterDevice* device = Device();
    if (!device->Printing())
        return;
    if (PlaybackFailed() || FPagesBegun == 0)
        device->Abort();
    else
        device->EndDoc();
}

void TZvRenderPrinter::PageBegin()
{
    const TOwnCall call(*this);
    ++FPagesBegun;
    TQpPrinterDevice* device = Device();
    const TQPReportHeader& header = Converter->ReportHeader();
    device->SetOrientation(header.Orientation);
    if (device->FIgnoreZSFBin)
        device->SetBin(device->FSetupBin);
    else
        device->SetBin(header.Bin);
    device->NewPageSelect(true);
    ReadDevice();
}

bool TZvRenderPrinter::SetBin(const QString& binName)
{
    const TOwnCall call(*this);
    TQpPrinterDevice* device = Device();
    const bool result = device->SelectBin(binName, false);
    if (Converter && device->DevMode())
        Converter->ReportHeader().Bin = device->DevMode()->DefaultSource;
    return result;
}

void TZvRenderPrinter::SetHeaderBin(int binNum)
{
    const TOwnCall call(*this);
    const TStringList* bins = Device()->GetBins();
    if (!bins)
        return;
    for (int i = 0; i < bins->Count(); ++i) {
        if (TQPBaseDevice::ListNumber(*bins, i) == binNum) {
            SetBin(bins->Strings(i));
            return;
        }
    }
}

bool TZvRenderPrinter::PrintData(const QString& value)
{
    if (value.isEmpty())
        return false;
    const TOwnCall call(*this);
    const QByteArray bytes = UnicodeToAnsi(value);
    Device()->RawOut(bytes.constData(), int(bytes.size()));
    return true;
}

void TZvRenderPrinter::PrintDataStream(TStream& stream, int bufSize)
{
    const TOwnCall call(*this);
    int64_t left = bufSize > 0 ? bufSize : stream.Size() - stream.Position();
    while (left > 0) {
        const int64_t block = std::min<int64_t>(left, kRawBlock);
        const QByteArray bytes = stream.ReadBytes(block);
        Device()->RawOut(bytes.constData(), int(bytes.size()));
        left -= block;
    }
}
