#include "report/print/QpFiler.h"

#include "report/print/QpFormat.h"

#include "platform/forms/JpegImage.h"
#include "platform/forms/Picture.h"
#include "platform/os/TempFiles.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

const QString kZsfReferenceText =
    QStringLiteral("abcdefg hijklmnop qrstuv wxyz ABCDEFG HIJKLMNOP QRSTUV WXYZ 0123456789");

namespace {

const QString kSmUserWithoutStream = QStringLiteral("StreamMode is smUser but Stream is nil");
const QString kCopyRectNotSupported = QStringLiteral("CopyRect() not supported in file mode.");
const QString kInvalidFloat = QStringLiteral("Invalid floating point value for property %1");

// The bin recorded in a page header when the printer's settings are not
// there.
constexpr uint16_t kPageNoBin = 512;

QByteArray Int32Bytes(int32_t value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(value, bytes.data());
    return bytes;
}

// The UTF-16 code units of a text, little-endian.
QByteArray Utf16Bytes(const QString& text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* out = bytes.data();
    for (QChar c : text) {
        qToLittleEndian<quint16>(c.unicode(), out);
        out += 2;
    }
    return bytes;
}

QByteArray EncodeImage(const QImage& image, const char* format)
{
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// 1 for a bitmap; every other graphic class is 4 ("any other graphic"):
// this program has neither metafiles nor icons to draw.
uint8_t GraphicKind(const TGraphic* graphic)
{
    return !graphic || dynamic_cast<const TBitmap*>(graphic) ? 1 : 4;
}

// A graphic's own stream form: a BMP file for a bitmap, the file a PNG or
// JPEG picture was read from, and a PNG file of any other graphic's
// picture. An empty graphic has no bytes.
QByteArray GraphicBytes(const TGraphic* graphic)
{
    if (!graphic || graphic->Empty())
        return QByteArray();
    if (dynamic_cast<const TBitmap*>(graphic))
        return EncodeImage(graphic->ToImage(), "BMP");
    if (auto* png = dynamic_cast<const TPngImage*>(graphic))
        return png->Bytes();
    if (auto* jpeg = dynamic_cast<const TJPEGImage*>(graphic))
        return jpeg->Bytes();
    return EncodeImage(graphic->ToImage(), "PNG");
}

QByteArray StreamRest(TStream* stream)
{
    if (!stream)
        return QByteArray();
    const int64_t left = stream->Size() - stream->Position();
    return left > 0 ? stream->ReadBytes(left) : QByteArray();
}

} // namespace

// ---------------------------------------------------------------------------
// TZsfReader

TZsfReader::TZsfReader(TStream& stream) : FStream(stream)
{
    FSize = stream.Size();
    FPosition = stream.Position();
}

void TZsfReader::ReadError()
{
    throw EReadError(QStringLiteral("Stream read error"));
}

void TZsfReader::InvalidNumber()
{
    RaiseError(Translate(QStringLiteral("Invalid number found in report file.")));
}

const char* TZsfReader::Gathered(int64_t count)
{
    Need(count);
    FGathered.resize(size_t(count));
    Read(FGathered.data(), count);
    return FGathered.data();
}

// The position moves only once the whole value is there.
void TZsfReader::Read(void* buffer, int64_t count)
{
    Need(count);
    auto* out = static_cast<char*>(buffer);
    int64_t position = FPosition;
    int64_t left = count;
    while (left > 0) {
        TWindow* window = WindowAt(position);
        if (!window && left >= kWindowSize) {
            if (StreamBytes(position, out, left) < left)
                ReadError();
            break;
        }
        if (!window)
            window = &Fill(position);
        const int64_t n = std::min(left, window->Start + window->Length - position);
        std::memcpy(out, window->Bytes.get() + (position - window->Start), size_t(n));
        out += n;
        position += n;
        left -= n;
    }
    FPosition += count;
}

TZsfReader::TWindow* TZsfReader::WindowAt(int64_t position)
{
    if (FWindow->Holds(position))
        return FWindow;
    for (TWindow& window : FWindows) {
        if (window.Holds(position)) {
            MakeCurrent(&window);
            return FWindow;
        }
    }
    return nullptr;
}

// Reading on from the end of the current window, or past it from inside
// it (readOn), refills it; a jump fills the other one, which keeps the
// window the jump came from. A window holding nothing (none read yet, or a
// fill that failed) is taken first.
TZsfReader::TWindow& TZsfReader::Fill(int64_t position, bool readOn)
{
    TWindow* window = FWindow;
    if (window->Length > 0 && !readOn && position != window->Start + window->Length)
        window = window == &FWindows[0] ? &FWindows[1] : &FWindows[0];
    // No window is larger than the stream the reader was made for.
    const int64_t capacity = std::min<int64_t>(kWindowSize, FSize);
    if (!window->Bytes)
        window->Bytes = std::make_unique_for_overwrite<char[]>(size_t(capacity));
    window->Start = position;
    window->Length = 0;
    MakeCurrent(window);
    window->Length = StreamBytes(position, window->Bytes.get(), std::min(capacity, FSize - position));
    MakeCurrent(window);
    if (window->Length == 0)
        ReadError();
    return *window;
}

int64_t TZsfReader::StreamBytes(int64_t position, char* buffer, int64_t count)
{
    FStream.SetPosition(position);
    int64_t done = 0;
    while (done < count) {
        const int64_t n = FStream.Read(buffer + done, count - done);
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

QString TZsfReader::Text()
{
    const int length = TextLength();
    if (AnsiStrings)
        return AnsiToUnicode(Bytes(length));
    const int64_t count = int64_t(length) * 2;
    Need(count);
    QString text(length, Qt::Uninitialized);
    if (length == 0)
        return text;
    const char* units = InWindow(count);
    if (!units) {
        Read(text.data(), count);
        units = reinterpret_cast<const char*>(text.constData());
    }
    qFromLittleEndian<quint16>(units, length, text.data());
    return text;
}

// A skip that starts in the window read last reads on from it, so that
// window is the one refilled and the other (where a jump came from, or
// what a page refers back to) stays.
void TZsfReader::Reach(int64_t position)
{
    if (WindowAt(position))
        return;
    const int64_t offset = FPosition - FHereStart;
    Fill(position, offset >= 0 && offset <= FHereLength);
}

void TZsfReader::SkipText()
{
    const int length = TextLength();
    SkipBytes(AnsiStrings ? length : int64_t(length) * 2);
}

QByteArray TZsfReader::Bytes(int64_t count)
{
    Need(count);
    if (const char* here = count > 0 ? InWindow(count) : nullptr)
        return QByteArray(here, qsizetype(count));
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    Read(bytes.data(), count);
    return bytes;
}

void TZsfReader::Skip(int64_t count)
{
    Seek(FPosition + std::max<int64_t>(count, 0));
}

// ---------------------------------------------------------------------------
// TZsfOutput

void TZsfOutput::Attach(TStream* stream)
{
    FStream = stream;
    FUsed = 0;
    if (stream && FBuffer.empty())
        FBuffer.resize(kBufferSize);
    if (!stream)
        FBuffer = std::vector<char>();
}

void TZsfOutput::Byte(uint8_t value)
{
    Bytes(reinterpret_cast<const char*>(&value), 1);
}

void TZsfOutput::Word(uint16_t value)
{
    char bytes[2];
    qToLittleEndian<quint16>(value, bytes);
    Bytes(bytes, 2);
}

void TZsfOutput::Int32(int32_t value)
{
    char bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    Bytes(bytes, 4);
}

void TZsfOutput::Float(double value)
{
    const float single = float(value);
    quint32 bits;
    std::memcpy(&bits, &single, sizeof bits);
    char bytes[4];
    qToLittleEndian<quint32>(bits, bytes);
    Bytes(bytes, 4);
}

void TZsfOutput::Text(const QString& text)
{
    if (Hold || !FStream)
        return;
    const QString cut = ZsfCutText(text, kZsfMaxTextLength);
    const int n = int(cut.size());
    if (n < 0xC0) {
        Byte(uint8_t(n));
    } else {
        Byte(uint8_t(0xC0 | (n >> 8)));
        Byte(uint8_t(n & 0xFF));
    }
    Bytes(Utf16Bytes(cut));
}

void TZsfOutput::Bytes(const char* data, int64_t count)
{
    if (Hold || !FStream || count <= 0)
        return;
    if (FUsed + count > kBufferSize)
        Flush();
    if (count > kBufferSize) {
        FStream->WriteBuffer(data, count);
        return;
    }
    std::memcpy(FBuffer.data() + FUsed, data, size_t(count));
    FUsed += int(count);
}

int64_t TZsfOutput::Position() const
{
    return FStream ? FStream->Position() + FUsed : 0;
}

void TZsfOutput::Flush()
{
    if (!FStream || FUsed == 0)
        return;
    const int used = FUsed;
    FUsed = 0;
    FStream->WriteBuffer(FBuffer.data(), used);
}

void TZsfOutput::Patch(int64_t position, const QByteArray& bytes)
{
    if (Hold || !FStream)
        return;
    Flush();
    const int64_t end = FStream->Position();
    FStream->SetPosition(position);
    FStream->WriteBytes(bytes);
    FStream->SetPosition(end);
}

void TZsfOutput::Truncate(int64_t position)
{
    if (!FStream)
        return;
    const int64_t streamPos = FStream->Position();
    if (position >= streamPos) {
        FUsed = int(std::min<int64_t>(FUsed, position - streamPos));
        return;
    }
    FUsed = 0;
    FStream->SetSize(position);
    FStream->SetPosition(position);
}

QString InvalidFloatMessage(const QString& property)
{
    return Translate(kInvalidFloat).arg(property);
}

QString ZsfCutText(const QString& text, int maxUnits)
{
    if (text.size() <= maxUnits)
        return text;
    int cut = maxUnits;
    if (cut > 0 && text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate())
        --cut;
    return text.left(cut);
}

// ---------------------------------------------------------------------------
// TZvZSFWriter: creation and the run

TZvZSFWriter::TZvZSFWriter(TComponent* owner) : TBaseReport(owner) {}

// A writer destroyed in the middle of a run gives back what it hooked and
// the device it made, before the canvas underneath goes.
TZvZSFWriter::~TZvZSFWriter()
{
    try {
        if (FHooked) {
            if (TCanvas* canvas = LocalDevice()->GetCanvas()) {
                canvas->Brush()->OnChange = FBrushSaveOnChange;
                canvas->Pen()->OnChange = FPenSaveOnChange;
            }
            FHooked = false;
        }
        UnhookCanvasFont();
    } catch (const Exception&) {
        // Nothing may leave a destructor.
    }
    if (FOwnedDevice) {
        SetLocalDevice(nullptr);
        FOwnedDevice.reset();
    }
}

void TZvZSFWriter::Start()
{
    CheckNotPrinting();
    FReportDateTime = QDateTime::currentDateTime();
    FAllowMode = uint8_t(TZsfCode::AllowAll);
    FCurrentPage = 0;
    FPrevPagePos = 0;
    FNextPagePos = 0;
    FSaveJobPos = 0;
    FJobPages = 0;
    FAbsolutePage = 0;
    FVarList.clear();
    FGraphicPos.fill(0);
    FLastGraphicPos = 0;
    FReuseGraphicPos = 0;
    FFilled.clear();
    FPageOpen = false;
    DoBeforePrint();

    OpenStream();
    FPrinting = true;
    FOut.Hold = true;
    if (!FLocalDevice) {
        if (!NoPrinters()) {
            GlobalPrinterDevice()->SetState(TDeviceState::dsIC);
        } else {
            FOwnedDevice = std::make_unique<TQPRenderDevice>();
            SetLocalDevice(FOwnedDevice.get());
        }
    }
    FXDPI = LocalDevice()->GetXDPI();
    FYDPI = LocalDevice()->GetYDPI();
    FOut.Hold = false;
    WriteFileHeader();

    FOut.Hold = true;
    TCanvas* canvas = GetCanvas();
    FBrushSaveOnChange = canvas->Brush()->OnChange;
    FPenSaveOnChange = canvas->Pen()->OnChange;
    canvas->Brush()->OnChange = [this, saved = FBrushSaveOnChange](TObject* sender) {
        if (saved)
            saved(sender);
        CheckBrush();
    };
    canvas->Pen()->OnChange = [this, saved = FPenSaveOnChange](TObject* sender) {
        if (saved)
            saved(sender);
        CheckPen();
    };
    FHooked = true;
    HookCanvasFont();
    Reset();
    TBaseReport::NewPage();
    FOut.Hold = false;
    BeginPage(true);
}

void TZvZSFWriter::Finish()
{
    if (!FPrinting) {
        CloseStream(false);
        return;
    }
    // Finish also runs while the run's own failure is being handled: that
    // snapshot is cut short and replaces no file. A cancelled run (the silent
    // abort) closes its snapshot properly and keeps it, as it always did.
    bool failing = false;
    if (const std::exception_ptr handled = std::current_exception()) {
        try {
            std::rethrow_exception(handled);
        } catch (const EAbort&) {
        } catch (...) {
            failing = true;
        }
    }
    std::exception_ptr error;
    try {
        if (!FAborted) {
            DoPrintFooter();
            FireReportEvents(TReportEventType::reEndPage);
        }
        FOut.Hold = false;
        PageEnd(true);
        FOut.Patch(FSaveJobPos, Int32Bytes(FJobPages));
        FOut.Flush();
        // A caller's stream may have held more: the snapshot ends here.
        if (TStream* stream = FOut.Stream(); stream && stream->Size() > stream->Position())
            stream->SetSize(stream->Position());
    } catch (...) {
        error = std::current_exception();
    }
    try {
        if (FHooked) {
            if (TCanvas* canvas = LocalDevice()->GetCanvas()) {
                canvas->Brush()->OnChange = FBrushSaveOnChange;
                canvas->Pen()->OnChange = FPenSaveOnChange;
            }
            FHooked = false;
        }
        FBrushSaveOnChange = nullptr;
        FPenSaveOnChange = nullptr;
        UnhookCanvasFont();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    FFontList.clear();
    FRealisedFonts.clear();
    FBaseFont->Handle = 0;
    FBaseFontChanged = true;
    FVLineList.clear();
    FHLineList.clear();
    if (FOwnedDevice) {
        SetLocalDevice(nullptr);
        FOwnedDevice.reset();
    }
    try {
        CloseStream(!failing && !error);
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    FPrinting = false;
    FPageOpen = false;
    try {
        DoAfterPrint();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    if (error)
        std::rethrow_exception(error);
}

void TZvZSFWriter::OpenStream()
{
    TStream* stream = nullptr;
    switch (FStreamMode) {
    case TStreamMode::smMemory:
        FOwnedStream = std::make_unique<TMemoryStream>();
        stream = FOwnedStream.get();
        break;
    case TStreamMode::smFile:
        // The user's file: replaced only by a complete snapshot.
        FOwnedStream = std::make_unique<TSafeFileStream>(FFileName);
        stream = FOwnedStream.get();
        break;
    case TStreamMode::smUser:
        if (!FStream)
            RaiseError(Translate(kSmUserWithoutStream));
        stream = FStream;
        stream->SetPosition(0);
        break;
    case TStreamMode::smTempFile:
        // The name is reserved in the temporary folder and filled through the
        // save routine, so a failed write names the file; a run that does not
        // complete its snapshot removes the name again.
        FFileName = CreateTempFile(TempFolder(), QStringLiteral("ZV"));
        try {
            FOwnedStream = std::make_unique<TSafeFileStream>(FFileName);
        } catch (...) {
            QFile::remove(FFileName);
            throw;
        }
        stream = FOwnedStream.get();
        break;
    }
    FOut.Attach(stream);
}

// A complete snapshot is saved: in smMemory to FileName, in smFile by putting
// the finished file in place. An incomplete one leaves FileName as it was.
// The stream is freed unless it is the caller's, whatever happens.
void TZvZSFWriter::CloseStream(bool complete)
{
    std::unique_ptr<TStream> owned = std::move(FOwnedStream);
    FOut.Attach(nullptr);
    if (!owned)
        return;
    const bool temporary = FStreamMode == TStreamMode::smTempFile;
    try {
        if (complete && FStreamMode == TStreamMode::smMemory)
            static_cast<TMemoryStream*>(owned.get())->SaveToFile(FFileName);
        else if (complete && (FStreamMode == TStreamMode::smFile || temporary))
            static_cast<TSafeFileStream*>(owned.get())->Commit();
    } catch (...) {
        if (temporary)
            QFile::remove(FFileName);
        throw;
    }
    if (!complete && temporary)
        QFile::remove(FFileName);
}

void TZvZSFWriter::WriteFileHeader()
{
    FOut.Byte(kZsfLead);
    FOut.Word(kZsfVersion);
    FOut.Text(FTitle);
    FSaveJobPos = FOut.Position();
    FOut.Int32(0);
    FOut.Int32(FFirstPage);
    FOut.Int32(FLastPage);
    FOut.Float(XU2I(PageWidth()));
    FOut.Float(YU2I(PageHeight()));
    FOut.Float(FLeftWaste);
    FOut.Float(FRightWaste);
    FOut.Float(FTopWaste);
    FOut.Float(FBottomWaste);
    FOut.Byte(uint8_t(FOrientation));
    const TDevMode* dm = NoPrinters() ? nullptr : DevMode();
    FOut.Word(dm ? uint16_t(dm->DefaultSource) : kZsfNoBin);
    FOut.Byte(Collate() ? 1 : 0);
    FOut.Byte(uint8_t(Duplex()));
    FOut.Word(dm ? uint16_t(dm->Copies) : 1);
    FOut.Word(dm ? uint16_t(dm->PaperSize) : 1);
    FOut.Word(dm ? uint16_t(dm->PaperWidth) : 0);
    FOut.Word(dm ? uint16_t(dm->PaperLength) : 0);
    FOut.Text(FOutputName);
}

// ---------------------------------------------------------------------------
// Pages

void TZvZSFWriter::NewPage()
{
    CheckPrinting();
    DoPrintFooter();
    FireReportEvents(TReportEventType::reEndPage);
    PageEnd(false);
    const bool held = FOut.Hold;
    FOut.Hold = true;
    try {
        if (!NoPrinters())
            ResetWaste();
        TBaseReport::NewPage();
    } catch (...) {
        FOut.Hold = held;
        throw;
    }
    FOut.Hold = held;
    BeginPage(false);
}

// A valid page is counted and gets its header; then the report's page
// events run.
void TZvZSFWriter::BeginPage(bool first)
{
    if (!FPageInvalid) {
        FPageMark.Position = FOut.Position();
        FPageMark.PrevPagePos = FPrevPagePos;
        FPageMark.NextPagePos = FNextPagePos;
        FPageMark.AbsolutePage = FAbsolutePage;
        FPageMark.JobPages = FJobPages;
        FPageMark.AllowMode = FAllowMode;
        FPageMark.VarList = FVarList;
        FPageMark.GraphicPos = FGraphicPos;
        FPageMark.LastGraphicPos = FLastGraphicPos;
        FPageMark.ReuseGraphicPos = FReuseGraphicPos;
        FFilled.clear();
        ++FJobPages;
        ++FAbsolutePage;
        WritePageHeader();
    }
    if (!first && OnRenderPage && FOut.Stream()) {
        FOut.Flush();
        TStream* stream = FOut.Stream();
        const int64_t position = stream->Position();
        stream->SetPosition(0);
        OnRenderPage(this);
        stream->SetPosition(position);
    }
    if (first && FAborted)
        return;
    FireReportEvents(TReportEventType::reBeginPage);
    DoNewPage();
    if (!first && FColumns > 1)
        DoNewColumn();
    DoPrintHeader();
}

void TZvZSFWriter::WritePageHeader()
{
    const int64_t p = FOut.Position();
    FOut.Byte(uint8_t(TZsfCode::PageHeader));
    FOut.Int32(FPrevPagePos);
    FPrevPagePos = Pos32(p);
    FNextPagePos = p + 5;
    FOut.Int32(0);
    FOut.Int32(FAbsolutePage);
    FOut.Float(XU2I(PageWidth()));
    FOut.Float(YU2I(PageHeight()));
    FOut.Byte(uint8_t(FOrientation));
    const TDevMode* dm = NoPrinters() ? nullptr : DevMode();
    FOut.Word(dm ? uint16_t(dm->DefaultSource) : kPageNoBin);
    FPageOpen = true;

    FWriteAll = true;
    try {
        CheckBrush();
        CheckFont();
        CheckPen();
    } catch (...) {
        FWriteAll = false;
        throw;
    }
    FWriteAll = false;
    SetScaleX(FScaleX);
    SetScaleY(FScaleY);
    SetTextBKMode(FTextBKMode);
    SetBKColor(GetCanvas()->BackgroundColor());
    for (const TVarEntry& entry : FVarList) {
        Code(TZsfCode::Variable);
        FOut.Text(entry.Name);
        FOut.Byte(4);
        FOut.Byte(kZsfVarLink);
        FOut.Int32(Pos32(entry.Link));
    }
}

// The open page gets its end code; the last page header written learns
// where the next one starts (0 when the run ends).
void TZvZSFWriter::PageEnd(bool last)
{
    if (FPageOpen) {
        Code(TZsfCode::PageEnd);
        FPageOpen = false;
    }
    if (FNextPagePos > 0)
        FOut.Patch(FNextPagePos, Int32Bytes(last ? 0 : Pos32(FOut.Position())));
}

// The page's bytes are cut off and everything that pointed into them is
// rolled back: the page chain, the counters, the allow mode, the graphic
// slots and the variables; placeholders of earlier pages that the page
// filled become placeholders again.
void TZvZSFWriter::AbortPage()
{
    CheckPrinting();
    if (FPageInvalid)
        return;
    TBaseReport::AbortPage();
    if (!FPageOpen)
        return;
    const bool held = FOut.Hold;
    FOut.Hold = false;
    FOut.Truncate(FPageMark.Position);
    for (auto it = FFilled.rbegin(); it != FFilled.rend(); ++it)
        if (it->Position < FPageMark.Position)
            FOut.Patch(it->Position, PlaceholderBytes(it->Link));
    FOut.Hold = held;
    FFilled.clear();
    FPrevPagePos = FPageMark.PrevPagePos;
    FNextPagePos = FPageMark.NextPagePos;
    FAbsolutePage = FPageMark.AbsolutePage;
    FJobPages = FPageMark.JobPages;
    FAllowMode = FPageMark.AllowMode;
    FVarList = FPageMark.VarList;
    FGraphicPos = FPageMark.GraphicPos;
    FLastGraphicPos = FPageMark.LastGraphicPos;
    FReuseGraphicPos = FPageMark.ReuseGraphicPos;
    FPageOpen = false;
}

int32_t TZvZSFWriter::Pos32(int64_t position)
{
    if (position > INT32_MAX || position < INT32_MIN)
        RaiseError(Translate(QStringLiteral("Report file too large.")));
    return int32_t(position);
}

// ---------------------------------------------------------------------------
// Primitives

bool TZvZSFWriter::Recording() const
{
    return FPrinting && !FOut.Hold && !OutputInvalid();
}

void TZvZSFWriter::Code(TZsfCode code)
{
    FOut.Byte(uint8_t(code));
}

// No single value of a project bounds what a run adds up (band and region
// offsets, a component's position, growing memos), so the sum is checked
// where it is recorded, as the reader will check it: in single precision.
void TZvZSFWriter::Length(double inches, const char* property)
{
    if (FOut.Hold)
        return;
    if (!(std::abs(inches) < 2 * kZsfMaxCoordinate) || std::abs(float(inches)) > kZsfMaxCoordinate)
        throw EZsfLength(InvalidFloatMessage(QString::fromLatin1(property)));
    FOut.Float(inches);
}

void TZvZSFWriter::XY(double x, double y)
{
    Length((XU2I(x) + FOriginX) * FScaleX / 100, "Left");
    Length((YU2I(y) + FOriginY) * FScaleY / 100, "Top");
}

void TZvZSFWriter::DevicePoint(int x, int y)
{
    XY(XD2U(x), YD2U(y));
}

void TZvZSFWriter::DeviceRect(const TRect& rect)
{
    DevicePoint(rect.Left, rect.Top);
    DevicePoint(rect.Right, rect.Bottom);
}

void TZvZSFWriter::WriteGraphic(const TGraphic* graphic)
{
    const uint8_t kind = GraphicKind(graphic);
    if (FReuseGraphicPos > 0) {
        FLastGraphicPos = FReuseGraphicPos;
        FReuseGraphicPos = 0;
        FOut.Byte(uint8_t(kind + 128));
        FOut.Int32(FLastGraphicPos);
        return;
    }
    FLastGraphicPos = Pos32(FOut.Position() + 1);
    FOut.Byte(kind);
    const QByteArray bytes = GraphicBytes(graphic);
    FOut.Int32(int32_t(bytes.size()));
    FOut.Bytes(bytes);
}

// Window messages are let through after every 64th output: a report writes
// a hundred thousand outputs a second or more, and asking the event loop
// after each costs more than writing them, while a Cancel is still seen
// within a millisecond. (Counting, not timing: reading the clock costs as
// much as asking the event loop on some machines.)
void TZvZSFWriter::Done()
{
    constexpr unsigned kOutputsPerMessages = 64;
    thread_local unsigned outputs = 0;
    if (++outputs % kOutputsPerMessages != 0)
        return;
    ProcessMessages();
}

void TZvZSFWriter::FourPoints(TZsfCode code, double x1, double y1, double x2, double y2)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(code);
        XY(x1, y1);
        XY(x2, y2);
    }
    Done();
}

void TZvZSFWriter::EightPoints(TZsfCode code, const std::array<double, 8>& v)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(code);
        for (size_t i = 0; i < v.size(); i += 2)
            XY(v[i], v[i + 1]);
    }
    Done();
}

// The word holds the highest index, signed: at most 32768 points fit.
void TZvZSFWriter::WritePoints(TZsfCode code, const std::vector<TPoint>& points)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        const size_t count = std::min<size_t>(points.size(), 32768);
        Code(code);
        FOut.Word(uint16_t(int16_t(int(count) - 1)));
        for (size_t i = 0; i < count; ++i)
            DevicePoint(points[i].X, points[i].Y);
    }
    Done();
}

// ---------------------------------------------------------------------------
// Text

void TZvZSFWriter::OutputLeft(const QString& text, double x)
{
    OutputText(TZsfCode::LeftText, text, x);
}

void TZvZSFWriter::OutputCenter(const QString& text, double x)
{
    OutputText(TZsfCode::CenterText, text, x);
}

void TZvZSFWriter::OutputRight(const QString& text, double x)
{
    OutputText(TZsfCode::RightText, text, x);
}

// With amPositioning a plain text with spaces goes out as block text of its
// measured width, so that it keeps that width on any device. TextWidth has
// the horizontal scale in it once; the block's width is kept unscaled (the
// scale taken out twice, since OutputBlock puts it back once), so that the
// block written is the text's own width at its font and a centred or
// right-aligned block sits about the scaled position. The cursor moves past
// the text also on a page that is not written, so that the layout of every
// page is the same.
void TZvZSFWriter::OutputText(TZsfCode code, const QString& text, double x)
{
    CheckPrinting();
    const bool block = FAccuracyMethod == TAccuracyMethod::amPositioning && FBaseFont->Rotation == 0 &&
                       text.contains(u' ') && !text.contains(QChar(kQPTFBlockStart)) &&
                       !text.contains(kQPCMacroStart);
    if (block) {
        const double width = XU2I(TextWidth(text)) * 10000 / (FScaleX * FScaleX); // unscaled inches
        switch (code) {
        case TZsfCode::CenterText:
            OutputBlock(text, x - width / 2, width);
            return;
        case TZsfCode::RightText:
            OutputBlock(text, x - width, width);
            return;
        default:
            OutputBlock(text, x, width);
            return;
        }
    }
    WriteTextCommand(code, text, x);
    FCursorXPos = x;
    if (code == TZsfCode::LeftText)
        AdvanceCursor(TextWidth(text));
    else if (code == TZsfCode::CenterText)
        AdvanceCursor(TextWidth(text) / 2);
    Done();
}

void TZvZSFWriter::WriteTextCommand(TZsfCode code, const QString& text, double x)
{
    if (OutputInvalid())
        return;
    Code(code);
    Length((FCursorYPos + FOriginY) * FScaleY / 100, "Top");
    FOut.Text(text);
    Length((x + FOriginX) * FScaleX / 100, "Left");
}

void TZvZSFWriter::OutputBlock(const QString& text, double x, double width)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::BlockText);
        Length((FCursorYPos + FOriginY) * FScaleY / 100, "Top");
        FOut.Text(text);
        Length((x + FOriginX) * FScaleX / 100, "Left");
        Length(width * FScaleX / 100, "Width");
    }
    FCursorXPos = x;
    AdvanceCursor(XI2U(width) * FScaleX / 100);
    Done();
}

void TZvZSFWriter::TextRect(const TRect& rect, double x, double y, const QString& text)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::TextRect);
        DeviceRect(rect);
        XY(x, y);
        FOut.Text(text);
    }
    Done();
}

void TZvZSFWriter::PrintData(const QString& value)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::PrintData);
        FOut.Text(value);
    }
    Done();
}

void TZvZSFWriter::PrintDataStream(TStream& stream, int bufSize)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        const QByteArray bytes = bufSize > 0 ? stream.ReadBytes(bufSize) : StreamRest(&stream);
        Code(TZsfCode::PrintDataStream);
        FOut.Int32(int32_t(bytes.size()));
        FOut.Bytes(bytes);
    }
    Done();
}

void TZvZSFWriter::HyperlinkChanged()
{
    if (!Recording())
        return;
    Code(TZsfCode::Hyperlink);
    FOut.Text(FHyperLink);
}

// ---------------------------------------------------------------------------
// Drawing

void TZvZSFWriter::TabRectangle(double x1, double y1, double x2, double y2)
{
    FourPoints(TZsfCode::TabRectangle, x1, y1, x2, y2);
}

void TZvZSFWriter::Rectangle(double x1, double y1, double x2, double y2)
{
    FourPoints(TZsfCode::Rectangle, x1, y1, x2, y2);
}

void TZvZSFWriter::Ellipse(double x1, double y1, double x2, double y2)
{
    FourPoints(TZsfCode::Ellipse, x1, y1, x2, y2);
}

void TZvZSFWriter::Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4)
{
    EightPoints(TZsfCode::Arc, {x1, y1, x2, y2, x3, y3, x4, y4});
}

void TZvZSFWriter::Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                         double y4)
{
    EightPoints(TZsfCode::Chord, {x1, y1, x2, y2, x3, y3, x4, y4});
}

void TZvZSFWriter::Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4)
{
    EightPoints(TZsfCode::Pie, {x1, y1, x2, y2, x3, y3, x4, y4});
}

// The corner sizes are inches, neither shifted by the origin nor scaled.
void TZvZSFWriter::RoundRect(double x1, double y1, double x2, double y2, double x3, double y3)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::RoundRect);
        XY(x1, y1);
        XY(x2, y2);
        Length(XU2I(x3), "Width");
        Length(YU2I(y3), "Height");
    }
    Done();
}

void TZvZSFWriter::Polygon(const std::vector<TPoint>& points)
{
    WritePoints(TZsfCode::Polygon, points);
}

void TZvZSFWriter::Polyline(const std::vector<TPoint>& points)
{
    WritePoints(TZsfCode::Polyline, points);
}

// Without NoBufferLine a line is first offered to the canvas's box-line
// buffer; one it does not take goes out with the start MoveTo recorded.
void TZvZSFWriter::MoveTo(double x, double y)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        FLastLineX = FOriginX + x;
        FLastLineY = FOriginY + y;
        if (FNoBufferLine) {
            Code(TZsfCode::MoveTo);
            XY(x, y);
        }
    }
    Done();
}

void TZvZSFWriter::LineTo(double x, double y)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        if (FNoBufferLine) {
            Code(TZsfCode::LineTo);
            XY(x, y);
        } else {
            const double fromX = FLastLineX - FOriginX;
            const double fromY = FLastLineY - FOriginY;
            if (!BufferLine(x, y)) {
                Code(TZsfCode::MoveTo);
                XY(fromX, fromY);
                Code(TZsfCode::LineTo);
                XY(x, y);
            }
        }
    }
    Done();
}

// A drawing record that is a code and a device rectangle.
void TZvZSFWriter::RectRecord(TZsfCode code, const TRect& rect)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(code);
        DeviceRect(rect);
    }
    Done();
}

void TZvZSFWriter::FillRect(const TRect& rect)
{
    RectRecord(TZsfCode::FillRect, rect);
}

void TZvZSFWriter::FrameRect(const TRect& rect)
{
    RectRecord(TZsfCode::FrameRect, rect);
}

void TZvZSFWriter::DrawFocusRect(const TRect& rect)
{
    RectRecord(TZsfCode::DrawFocusRect, rect);
}

void TZvZSFWriter::FloodFill(double x, double y, TColor color, TFillStyle fillStyle)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::FloodFill);
        XY(x, y);
        FOut.Int32(color);
        FOut.Int32(int32_t(fillStyle));
    }
    Done();
}

void TZvZSFWriter::CopyRect(const TRect&, TCanvas*, const TRect&)
{
    RaiseError(Translate(kCopyRectNotSupported));
}

void TZvZSFWriter::BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor color)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::BrushCopy);
        WriteGraphic(bitmap);
        DeviceRect(dest);
        DeviceRect(source);
        FOut.Int32(color);
    }
    Done();
}

void TZvZSFWriter::Draw(double x, double y, TGraphic* graphic)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::Draw);
        WriteGraphic(graphic);
        XY(x, y);
    }
    Done();
}

void TZvZSFWriter::StretchDraw(const TRect& rect, TGraphic* graphic)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::StretchDraw);
        WriteGraphic(graphic);
        DeviceRect(rect);
    }
    Done();
}

void TZvZSFWriter::PrintBitmap(double x, double y, double scaleX, double scaleY, TBitmap* bitmap)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::TransparentBitmaps);
        FOut.Byte(FTransparentBitmaps ? 1 : 0);
        Code(TZsfCode::PrintBitmap);
        WriteGraphic(bitmap);
        XY(x, y);
        Length(scaleX, "Width");
        Length(scaleY, "Height");
    }
    Done();
}

void TZvZSFWriter::PrintBitmapRect(double x1, double y1, double x2, double y2, TBitmap* bitmap)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        Code(TZsfCode::TransparentBitmaps);
        FOut.Byte(FTransparentBitmaps ? 1 : 0);
        Code(TZsfCode::PrintBitmapRect);
        WriteGraphic(bitmap);
        XY(x1, y1);
        XY(x2, y2);
    }
    Done();
}

void TZvZSFWriter::PrintImageRect(double x1, double y1, double x2, double y2, TStream* imageStream,
                                  const QString& imageType)
{
    CheckPrinting();
    if (!OutputInvalid()) {
        const QByteArray bytes = StreamRest(imageStream);
        Code(TZsfCode::TransparentBitmaps);
        FOut.Byte(FTransparentBitmaps ? 1 : 0);
        Code(TZsfCode::PrintImageRect);
        FOut.Int32(int32_t(bytes.size()));
        FOut.Bytes(bytes);
        FOut.Text(imageType);
        XY(x1, y1);
        XY(x2, y2);
    }
    Done();
}

// ---------------------------------------------------------------------------
// State

void TZvZSFWriter::SetFrameMode(TFrameMode mode)
{
    TBaseReport::SetFrameMode(mode);
    if (!Recording())
        return;
    Code(TZsfCode::FrameMode);
    FOut.Byte(uint8_t(mode));
}

void TZvZSFWriter::SetBKColor(TColor color)
{
    TBaseReport::SetBKColor(color);
    if (!Recording())
        return;
    Code(TZsfCode::BKColor);
    FOut.Int32(GetCanvas()->BackgroundColor());
}

void TZvZSFWriter::SetScaleX(double percent)
{
    TBaseReport::SetScaleX(percent);
    if (!Recording())
        return;
    Code(TZsfCode::ScaleX);
    FOut.Float(percent);
}

void TZvZSFWriter::SetScaleY(double percent)
{
    TBaseReport::SetScaleY(percent);
    if (!Recording())
        return;
    Code(TZsfCode::ScaleY);
    FOut.Float(percent);
}

void TZvZSFWriter::SetTextBKMode(TBKMode mode)
{
    TBaseReport::SetTextBKMode(mode);
    if (!Recording())
        return;
    Code(TZsfCode::TextBKMode);
    FOut.Byte(uint8_t(mode));
}

void TZvZSFWriter::SetOrientation(TOrientation orientation)
{
    TBaseReport::SetOrientation(orientation);
    if (!Recording())
        return;
    Code(TZsfCode::Orientation);
    FOut.Byte(uint8_t(orientation));
}

bool TZvZSFWriter::SelectBin(const QString& binName)
{
    const bool result = TBaseReport::SelectBin(binName);
    if (Recording()) {
        Code(TZsfCode::Bin);
        FOut.Text(binName);
    }
    return result;
}

void TZvZSFWriter::ResetLineHeight()
{
    TBaseReport::ResetLineHeight();
    if (!Recording())
        return;
    Code(TZsfCode::ResetLineHeight);
    FOut.Float(FAscentHeight);
    FOut.Float(FDescentHeight);
    FOut.Float(FLineHeight);
}

// The allow codes only go out when the mode changes; the canvas's own
// destinations stay as they are, since playback does the filtering.
void TZvZSFWriter::AllowPreviewOnly()
{
    WriteAllowCode(TZsfCode::AllowPreviewOnly);
}

void TZvZSFWriter::AllowPrinterOnly()
{
    WriteAllowCode(TZsfCode::AllowPrinterOnly);
}

void TZvZSFWriter::AllowAll()
{
    WriteAllowCode(TZsfCode::AllowAll);
}

void TZvZSFWriter::WriteAllowCode(TZsfCode code)
{
    CheckPrinting();
    if (OutputInvalid() || FAllowMode == uint8_t(code))
        return;
    Code(code);
    FAllowMode = uint8_t(code);
}

void TZvZSFWriter::FontRecordChanged()
{
    TBaseReport::FontRecordChanged();
    if (!FDisableFontChange)
        CheckFont();
}

// Brush: colour, style, then the pattern bitmap whenever one is in force.
// Dropping a pattern restates the colour too, since only a colour record
// takes a pattern away on playback.
void TZvZSFWriter::CheckBrush()
{
    if (!Recording())
        return;
    const TBrush& brush = *GetCanvas()->Brush();
    TSaveBrush& saved = FSaveBrush;
    const bool dropped = saved.Bitmap && !brush.HasBitmap();
    if (FWriteAll || dropped || brush.Color() != saved.Color) {
        Code(TZsfCode::BrushColor);
        FOut.Int32(brush.Color());
        saved.Color = brush.Color();
    }
    if (FWriteAll || brush.Style() != saved.Style) {
        Code(TZsfCode::BrushStyle);
        FOut.Byte(uint8_t(brush.Style()));
        saved.Style = brush.Style();
    }
    if (brush.HasBitmap()) {
        TBitmap pattern;
        pattern.LoadFromImage(brush.Pattern());
        Code(TZsfCode::BrushBitmap);
        FOut.Byte(1);
        WriteGraphic(&pattern);
        saved.Bitmap = true;
    } else if (saved.Bitmap || FWriteAll) {
        Code(TZsfCode::BrushBitmap);
        FOut.Byte(0);
        saved.Bitmap = false;
    }
}

void TZvZSFWriter::CheckPen()
{
    if (!Recording())
        return;
    const TPen& pen = *GetCanvas()->Pen();
    TSavePen& saved = FSavePen;
    if (FWriteAll || pen.Color() != saved.Color) {
        Code(TZsfCode::PenColor);
        FOut.Int32(pen.Color());
        saved.Color = pen.Color();
    }
    if (FWriteAll || pen.Mode() != saved.Mode) {
        Code(TZsfCode::PenMode);
        FOut.Byte(uint8_t(pen.Mode()));
        saved.Mode = pen.Mode();
    }
    if (FWriteAll || pen.Style() != saved.Style) {
        Code(TZsfCode::PenStyle);
        FOut.Byte(uint8_t(pen.Style()));
        saved.Style = pen.Style();
    }
    const double width = pen.Width() / double(FXDPI); // inches
    if (FWriteAll || width != saved.Width) {
        Code(TZsfCode::PenWidth);
        FOut.Float(width);
        saved.Width = width;
    }
}

// The height record follows whatever changes the font's widths; its
// reference width is measured with output held.
void TZvZSFWriter::CheckFont()
{
    if (!Recording())
        return;
    const TSaveFont& font = *FBaseFont;
    TSaveFont& saved = FSaveFont;
    bool shape = false;
    auto byteRecord = [this](TZsfCode code, bool now, bool& was, bool* changed) {
        if (FWriteAll || now != was) {
            Code(code);
            FOut.Byte(now ? 1 : 0);
            if (changed && now != was)
                *changed = true;
            was = now;
        }
    };
    if (FWriteAll || font.Name != saved.Name) {
        Code(TZsfCode::FontName);
        FOut.Text(font.Name);
        shape = shape || font.Name != saved.Name;
        saved.Name = font.Name;
    }
    if (FWriteAll || font.Color != saved.Color) {
        Code(TZsfCode::FontColor);
        FOut.Int32(font.Color);
        saved.Color = font.Color;
    }
    if (FWriteAll || font.Pitch != saved.Pitch) {
        Code(TZsfCode::FontPitch);
        FOut.Byte(uint8_t(font.Pitch));
        shape = shape || font.Pitch != saved.Pitch;
        saved.Pitch = font.Pitch;
    }
    if (FWriteAll || font.CharSet != saved.CharSet) {
        Code(TZsfCode::FontCharset);
        FOut.Byte(uint8_t(font.CharSet));
        shape = shape || font.CharSet != saved.CharSet;
        saved.CharSet = font.CharSet;
    }
    byteRecord(TZsfCode::FontBold, font.Bold, saved.Bold, &shape);
    byteRecord(TZsfCode::FontItalic, font.Italic, saved.Italic, &shape);
    byteRecord(TZsfCode::FontUnderline, font.Underline, saved.Underline, &shape);
    byteRecord(TZsfCode::FontStrikeout, font.Strikeout, saved.Strikeout, &shape);
    byteRecord(TZsfCode::FontSuperscript, font.Superscript, saved.Superscript, nullptr);
    byteRecord(TZsfCode::FontSubscript, font.Subscript, saved.Subscript, nullptr);
    if (FWriteAll || font.Rotation != saved.Rotation) {
        Code(TZsfCode::FontRotation);
        FOut.Word(uint16_t(font.Rotation));
        saved.Rotation = font.Rotation;
    }
    if (FWriteAll || font.Align != saved.Align) {
        Code(TZsfCode::FontAlign);
        FOut.Byte(uint8_t(font.Align));
        saved.Align = font.Align;
    }
    if (FWriteAll || shape || font.Height != saved.Height) {
        const double height = font.Height;
        FOut.Hold = true;
        double reference = 0;
        try {
            reference = TextWidth(kZsfReferenceText) * 100 / FScaleX;
        } catch (...) {
            FOut.Hold = false;
            throw;
        }
        FOut.Hold = false;
        Code(TZsfCode::FontHeight);
        FOut.Float(height);
        FOut.Float(reference);
        saved.Size = font.Size;
        saved.Height = height;
    }
}

// ---------------------------------------------------------------------------
// Graphic slots

void TZvZSFWriter::CheckGraphicIndex(const char* routine, int index)
{
    if (index < 1 || index > kZsfGraphicSlots)
        RaiseError(QString::fromLatin1(routine) + QStringLiteral(": Index must be between 1 and ") +
                   QString::number(kZsfGraphicSlots));
}

void TZvZSFWriter::RegisterGraphic(int index)
{
    CheckGraphicIndex("RegisterGraphic", index);
    FGraphicPos[size_t(index - 1)] = FLastGraphicPos;
}

void TZvZSFWriter::ReuseGraphic(int index)
{
    CheckGraphicIndex("ReuseGraphic", index);
    FReuseGraphicPos = FGraphicPos[size_t(index - 1)];
}

void TZvZSFWriter::UnregisterGraphic(int index)
{
    CheckGraphicIndex("UnregisterGraphic", index);
    FGraphicPos[size_t(index - 1)] = 0;
}

// ---------------------------------------------------------------------------
// Page-independent variables

int TZvZSFWriter::VarIndex(const QString& name) const
{
    for (size_t i = 0; i < FVarList.size(); ++i)
        if (FVarList[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// A, B = 255, then the link and 124 zero bytes.
QByteArray TZvZSFWriter::PlaceholderBytes(int32_t link)
{
    QByteArray bytes(2 + kZsfPlaceholderArea, '\0');
    bytes[0] = char(kZsfPlaceholderArea);
    bytes[1] = char(kZsfVarPlaceholder);
    qToLittleEndian<qint32>(link, bytes.data() + 2);
    return bytes;
}

void TZvZSFWriter::WritePlaceholder(const QString& name, int32_t link)
{
    Code(TZsfCode::Variable);
    FOut.Text(name);
    const int64_t position = FOut.Position();
    FOut.Bytes(PlaceholderBytes(link));
    FVarList.push_back(TVarEntry{name, position, link});
}

QString TZvZSFWriter::PIVar(const QString& varName)
{
    CheckPrinting();
    if (!Recording())
        return QString();
    const int i = VarIndex(varName);
    if (i < 0) {
        WritePlaceholder(varName, 0);
    } else if (FVarList[size_t(i)].Link < 0) {
        const int32_t link = Pos32(-FVarList[size_t(i)].Link);
        FVarList.erase(FVarList.begin() + i);
        WritePlaceholder(varName, link);
    }
    return QChar(0xFD) + QStringLiteral("$QPCV") + QChar(0xFC) + varName + QChar(0xFB);
}

// A value longer than 64 units is cut: the format has no room for more.
void TZvZSFWriter::SetPIVar(const QString& varName, const QString& varValue)
{
    CheckPrinting();
    if (!Recording())
        return;
    const QString value = ZsfCutText(varValue, kZsfMaxVariableLength);
    const QByteArray chars = Utf16Bytes(value);
    const int i = VarIndex(varName);
    if (i >= 0 && FVarList[size_t(i)].Link > 0) {
        const TVarEntry entry = FVarList[size_t(i)];
        QByteArray record(2 + kZsfPlaceholderArea, '\0');
        record[0] = char(kZsfPlaceholderArea);
        record[1] = char(value.size());
        std::memcpy(record.data() + 2, chars.constData(), size_t(chars.size()));
        FOut.Patch(entry.Link, record);
        FFilled.push_back(TFilledPlaceholder{entry.Link, entry.PlaceholderLink});
        FVarList.erase(FVarList.begin() + i);
        return;
    }
    if (i >= 0)
        FVarList.erase(FVarList.begin() + i);
    Code(TZsfCode::Variable);
    FOut.Text(varName);
    const int64_t position = FOut.Position();
    FOut.Byte(uint8_t(value.size()));
    FOut.Byte(uint8_t(value.size()));
    FOut.Bytes(chars);
    FVarList.push_back(TVarEntry{varName, -position, 0});
}
