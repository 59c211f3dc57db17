#pragma once
// QpFiler: the snapshot stream, the device-independent page description of
// a report run, its byte layer on both sides, and TZvZSFWriter, the report
// canvas that records into it instead of drawing.
//
// Layout (all values little-endian, no padding):
//
//   file header  byte 90, word version (10000 as written), text title,
//                int32 page count (written 0, patched when the run ends),
//                int32 first page, int32 last page, float paper width,
//                float paper height, float left, right, top and bottom
//                waste (inches), byte orientation, word bin, byte collate,
//                byte duplex, word copies, word paper size, word paper
//                width, word paper length, text output name
//   each page    byte 80, int32 position of the previous page header (0 on
//                the first), int32 position of the next one (0 on the last),
//                int32 page number, float paper width, float paper height,
//                byte orientation, word bin; the whole drawing state and a
//                reference to every page-independent variable known so far;
//                the page's commands (TZsfCode); byte 82
//
// A text is its length and then its UTF-16 code units: one length byte
// below 192, else the two bytes 0xC0 | (n >> 8) and n & 0xFF; at most 16383
// units. Positions, lengths and sizes are floats in inches from the paper's
// top-left corner; a rectangle is left, top, right, bottom. A graphic is a
// byte kind (1 bitmap, 2 metafile, 3 icon, 4 other; + 128 for a reference)
// and either an int32 position of an earlier copy's size field or an int32
// size and that many bytes (a BMP file for a bitmap, an ICO file for an
// icon).
//
// Older versions that readers accept: 8-bit texts of the Windows Ansi code
// page below 5130, no title below 2010, one-byte text lengths below 2016,
// 16-bit page counts and numbers below 2018, no bin, collate and duplex in
// the file header and one orientation byte in place of the page size in
// page headers below 2000; page headers carry orientation and bin from 5130
// on. Lead byte 81 is version 1101, 89 version 2009.
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include "platform/rtl/Streams.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

// ---------------------------------------------------------------------------
// Format.

constexpr uint8_t kZsfLead1101 = 81;
constexpr uint8_t kZsfLead2009 = 89;
constexpr uint8_t kZsfLead = 90;
constexpr uint16_t kZsfVersion = 10000;
constexpr int kZsfMaxTextLength = 16383;  // UTF-16 units
constexpr int kZsfMaxVariableLength = 64; // UTF-16 units of a variable's value
constexpr int kZsfPlaceholderArea = 128;  // bytes of a placeholder's value area
constexpr int kZsfGraphicSlots = 10;      // RegisterGraphic indexes 1 to 10
// The largest coordinate or size (inches, either sign) a command may carry;
// a reader refuses a stream with a larger one.
constexpr double kZsfMaxCoordinate = 99999;

// A coordinate or size beyond kZsfMaxCoordinate is refused by the writer
// before it is recorded, worded as the project reader words a damaged
// length; whoever knows the project the run prints adds its file's name.
RTL_EXCEPTION_CLASS(EZsfLength, ESheetcaster);
// "Invalid floating point value for property <property>", translated.
QString InvalidFloatMessage(const QString& property);

// The bin recorded when neither a printer nor its settings are there.
constexpr uint16_t kZsfNoBin = 265;

// Command codes and their operands (floats are inches unless said).
enum class TZsfCode : uint8_t {
    Arc = 1,                 // 8 floats: bounding box, start point, end point
    BrushCopy = 2,           // graphic, dest rect, source rect, int32 colour
    Chord = 3,               // as Arc
    CopyRect = 4,            // dest rect, int32, source rect (never written)
    Draw = 5,                // graphic, X, Y
    DrawFocusRect = 6,       // rect
    Ellipse = 7,             // X1, Y1, X2, Y2
    FillRect = 8,            // rect
    FloodFill = 9,           // X, Y, int32 colour, int32 fill style
    FrameRect = 10,          // rect
    LineTo = 11,             // X, Y
    MoveTo = 12,             // X, Y
    Pie = 13,                // as Arc
    Polygon = 14,            // word highest index n (signed), n + 1 points
    Polyline = 15,           // as Polygon
    PrintBitmap = 16,        // graphic, X, Y, float scale X, float scale Y
    PrintBitmapRect = 17,    // graphic, X1, Y1, X2, Y2
    Rectangle = 18,          // X1, Y1, X2, Y2
    TabRectangle = 19,       // X1, Y1, X2, Y2
    RoundRect = 20,          // X1, Y1, X2, Y2, corner width, corner height
    StretchDraw = 21,        // graphic, rect
    TextRect = 22,           // rect, X, Y, text
    CenterText = 23,         // Y, text, X (the centre)
    LeftText = 24,           // Y, text, X
    RightText = 25,          // Y, text, X (the right edge)
    TextBKMode = 26,         // byte TBKMode
    BKColor = 27,            // int32 colour
    ScaleX = 28,             // float percent
    ScaleY = 29,             // float percent
    PrintData = 30,          // text
    PrintDataStream = 31,    // int32 count, count bytes
    PrintSpaces = 32,        // as BlockText (never written)
    BlockText = 33,          // Y, text, X, width
    TransparentBitmaps = 34, // byte 0/1, before codes 16, 17 and 36
    FrameMode = 35,          // byte TFrameMode
    PrintImageRect = 36,     // int32 count, count bytes, text image type, X1, Y1, X2, Y2
    Variable = 37,           // text name, variable data
    Hyperlink = 38,          // text
    Brush = 40,              // int32 colour, byte style, byte has bitmap, [graphic] (never written)
    BrushColor = 41,         // int32 colour
    BrushStyle = 42,         // byte TBrushStyle
    BrushBitmap = 43,        // byte flag; 1: graphic
    Font = 50,               // whole font (never written)
    FontName = 51,           // text
    FontColor = 52,          // int32 colour
    FontPitch = 53,          // byte TFontPitch
    FontHeight = 54,         // float height, float reference width
    FontBold = 55,           // byte
    FontUnderline = 56,      // byte
    FontItalic = 57,         // byte
    FontStrikeout = 58,      // byte
    FontSuperscript = 59,    // byte
    FontSubscript = 60,      // byte
    FontRotation = 61,       // word, degrees counter-clockwise
    FontAlign = 62,          // byte TFontAlign
    FontCharset = 63,        // byte
    Pen = 70,                // int32 colour, byte mode, byte style, float width (never written)
    PenColor = 71,           // int32 colour
    PenMode = 72,            // byte TPenMode
    PenStyle = 73,           // byte TPenStyle
    PenWidth = 74,           // float
    PageHeader = 80,
    PageEnd = 82,
    ResetLineHeight = 83, // float ascent, descent, line height
    AllowPreviewOnly = 84,
    AllowPrinterOnly = 85,
    AllowAll = 86,
    Orientation = 87, // byte TOrientation
    Bin = 88,         // text bin name
};

// The text measured for the reference width of code 54.
extern const QString kZsfReferenceText;

// Variable data after the name of code 37: byte A, byte B, then
//   B < 254: min(2 * A, 128) bytes of value area, the value being its first
//            B code units; B = 0 keeps the variable's value
//   B = 254 (a page's reference) or 255 (a placeholder): A bytes whose first
//            int32 is a link; 0 keeps the value, else the value is the
//            variable data at the absolute position |link|
constexpr uint8_t kZsfVarLink = 254;
constexpr uint8_t kZsfVarPlaceholder = 255;

// ---------------------------------------------------------------------------
// Byte layer, reading side.
//
// Reads the primitives from a stream and checks every length and count
// against the bytes left before it allocates or reads: a stream that ends
// inside a value raises EReadError "Stream read error" at that value, and
// the reader's position stays at its start. Call order: set AnsiStrings /
// ShortLengths once the version is known, read in stream order, Seek to
// absolute positions (page links, graphic and variable references) and
// back.
//
// The stream is read a window of kWindowSize bytes at a time, so that a
// pass over a file costs about its size over the window's in read calls,
// not one per value. A value that lies inside the window read last is
// taken straight from it: a bounds check and one copy into the value (a
// text's units go straight into the text, a block's bytes into the
// block). Of two windows, reading on past the end of one refills that one,
// and a jump to bytes in neither (a page landing, a graphic or a variable
// stored elsewhere) fills the other, so the way back costs no read. Seek
// only moves the reader's position; the rest of a block that runs on
// beyond the windows goes from the stream straight to the caller when it
// is a window's size or more. Every fill and every such read sets the
// stream's position first (whoever else moved the stream in between, the
// bytes are those asked for) and reads until it has its bytes or the
// stream delivers no more, so a stream that hands out fewer bytes a call
// than asked reads the same.
// The windows belong to the reader and it starts with none: a reader made
// for a pass returns only bytes read during that pass. The stream's own
// position is wherever the last read left it.
class TZsfReader {
public:
    static constexpr int kWindowSize = 65536;

    explicit TZsfReader(TStream& stream);
    TZsfReader(const TZsfReader&) = delete;
    TZsfReader& operator=(const TZsfReader&) = delete;

    uint8_t Byte() { return uint8_t(*View(1)); }
    uint16_t Word() { return qFromLittleEndian<quint16>(View(2)); }
    int16_t SmallInt() { return int16_t(Word()); }
    int32_t Int32() { return qFromLittleEndian<qint32>(View(4)); }
    float Float()
    {
        const quint32 bits = qFromLittleEndian<quint32>(View(4));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A float that must be a finite number (a coordinate, size or scale);
    // ESheetcaster "Invalid number found in report file." otherwise.
    double Number()
    {
        const float value = Float();
        if (!std::isfinite(value))
            InvalidNumber();
        return value;
    }
    // A text as the version stores it.
    QString Text();
    // Passes over a text, or count bytes, refused as Text or Bytes refuses
    // them, a stream that holds fewer bytes than it reports included: the
    // bytes are not taken, but the last of them must be there. Where it
    // lies in the window read last that costs nothing; else it is read,
    // with the window that follows it.
    void SkipText();
    void SkipBytes(int64_t count)
    {
        Need(count);
        const int64_t last = FPosition + count - 1 - FHereStart;
        if (count > 0 && (last < 0 || last >= FHereLength))
            Reach(FPosition + count - 1);
        FPosition += count;
    }
    QByteArray Bytes(int64_t count);
    // The next count bytes (at least 1), the position moved past them: in
    // the window read last where they lie in it, else gathered from the
    // windows and the stream. Valid until the next read of the reader.
    const char* View(int64_t count)
    {
        const char* bytes = InWindow(count);
        return bytes ? bytes : Gathered(count);
    }
    void Skip(int64_t count);
    // The bytes from the position to the end of the window read last (none
    // when the position lies outside it), for a caller that takes many
    // small values in a row straight from them and then moves the position
    // past what it took with SkipBytes. Valid until the next read.
    std::span<const char> Window() const
    {
        const int64_t offset = FPosition - FHereStart;
        if (offset < 0 || offset > FHereLength)
            return {};
        return {FHere + offset, size_t(FHereLength - offset)};
    }

    int64_t Position() const { return FPosition; }
    int64_t Size() const { return FSize; }
    int64_t Left() const { return FSize - FPosition; }
    // Raises the read error for positions outside the stream.
    void Seek(int64_t position)
    {
        if (position < 0 || position > FSize)
            ReadError();
        FPosition = position;
    }

    bool AnsiStrings = false;  // 8-bit texts of the Ansi code page
    bool ShortLengths = false; // one-byte text lengths only

private:
    // Stream bytes Start .. Start + Length - 1 (none while Length is 0).
    struct TWindow {
        std::unique_ptr<char[]> Bytes;
        int64_t Start = 0;
        int64_t Length = 0;
        bool Holds(int64_t position) const { return position >= Start && position < Start + Length; }
    };

    // The count bytes at the position when they lie in the window read
    // last, the position moved past them; else null, nothing moved.
    const char* InWindow(int64_t count)
    {
        const int64_t offset = FPosition - FHereStart;
        if (offset < 0 || count > FHereLength - offset)
            return nullptr;
        FPosition += count;
        return FHere + offset;
    }
    const char* Gathered(int64_t count);
    // Makes sure the stream holds the byte at the position, reading the
    // window that starts there unless a window holds it; the read error
    // when it is not there.
    void Reach(int64_t position);
    [[noreturn]] static void ReadError();
    [[noreturn]] static void InvalidNumber();
    void Need(int64_t count) const
    {
        if (count < 0 || count > FSize - FPosition)
            ReadError();
    }
    // The length of the text that starts at the position, in code units,
    // the position moved past it.
    int TextLength()
    {
        int length = Byte();
        if (!ShortLengths && length >= 0xC0)
            length = ((length & 0x3F) << 8) | Byte();
        return length;
    }
    void Read(void* buffer, int64_t count);
    // The window holding the position, made the current one; null when
    // neither does.
    TWindow* WindowAt(int64_t position);
    // Reads the window that starts at the position; the read error when the
    // stream has no byte there. readOn: the reader moves on past the window
    // read last, which is then the one refilled.
    TWindow& Fill(int64_t position, bool readOn = false);
    // Up to count stream bytes from the position on; fewer only where the
    // stream ends. Returns how many.
    int64_t StreamBytes(int64_t position, char* buffer, int64_t count);

    TStream& FStream;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    std::array<TWindow, 2> FWindows;
    TWindow* FWindow = &FWindows[0]; // the one read last
    // FWindow's bytes, start and length, copied here for the reads that
    // find their bytes in it, which are nearly all.
    const char* FHere = nullptr;
    int64_t FHereStart = 0;
    int64_t FHereLength = 0;
    void MakeCurrent(TWindow* window)
    {
        FWindow = window;
        FHere = window->Bytes.get();
        FHereStart = window->Start;
        FHereLength = window->Length;
    }
    std::vector<char> FGathered; // what View gathered last
};

// ---------------------------------------------------------------------------
// Byte layer, writing side.
//
// Appends the primitives through a buffer of 16384 bytes; blocks longer than
// the buffer go straight to the stream. Position() is where the next byte
// lands. Patch writes bytes at an earlier position and returns to the end.
// While Hold is set nothing at all is written.
class TZsfOutput {
public:
    static constexpr int kBufferSize = 16384;

    void Attach(TStream* stream);
    TStream* Stream() const { return FStream; }

    void Byte(uint8_t value);
    void Word(uint16_t value);
    void Int32(int32_t value);
    void Float(double value); // narrowed to single precision
    // Cut to 16383 units, never inside a surrogate pair.
    void Text(const QString& text);
    void Bytes(const char* data, int64_t count);
    void Bytes(const QByteArray& bytes) { Bytes(bytes.constData(), bytes.size()); }

    int64_t Position() const;
    void Flush();
    void Patch(int64_t position, const QByteArray& bytes);
    // Drops everything from position on: the buffer, and the stream's bytes.
    void Truncate(int64_t position);

    bool Hold = false;

private:
    TStream* FStream = nullptr;
    std::vector<char> FBuffer;
    int FUsed = 0;
};

// The text with at most maxUnits UTF-16 units, cut before a surrogate pair
// that would be split.
QString ZsfCutText(const QString& text, int maxUnits);

// ---------------------------------------------------------------------------
// The snapshot writer.
//
// Every output operation of the canvas appends one command; the drawing
// state (brush, pen, font) is compared with what was written last and only
// its changes are written, except at the start of a page, which restates it
// all. Pages outside the selection write nothing. Deferred macros and
// page-independent variables are written as references that the reader
// replaces, so that "page 3 of 12" and values set late in the run are right
// on every page.
class TZvZSFWriter : public TBaseReport {
public:
    explicit TZvZSFWriter(TComponent* owner);
    ~TZvZSFWriter() override;

    // Where the snapshot goes: smMemory builds it in memory and saves it to
    // FileName when the run ends, smFile writes FileName, smTempFile a new
    // temporary file (prefix "ZV", removed again when the snapshot is not
    // completed) whose name becomes FileName, smUser the
    // caller's Stream from position 0 (the caller keeps it).
    TStreamMode StreamMode() const { return FStreamMode; }
    void SetStreamMode(TStreamMode mode) { FStreamMode = mode; }
    TStream* Stream() const { return FStream; }
    void SetStream(TStream* stream) { FStream = stream; }
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }
    // amPositioning writes left, centred and right texts with spaces as
    // block text of their measured width, so that they keep their width on
    // any device; amAppearance writes them as they are.
    TAccuracyMethod AccuracyMethod() const { return FAccuracyMethod; }
    void SetAccuracyMethod(TAccuracyMethod method) { FAccuracyMethod = method; }
    // While set, nothing at all is written.
    bool HoldOutput() const { return FOut.Hold; }
    void SetHoldOutput(bool hold) { FOut.Hold = hold; }
    // Called at every new page with the stream at position 0.
    TNotifyEvent OnRenderPage;
    TNotifyEvent OnRenderData;

    // ---- TBaseReport ------------------------------------------------------
    void FontRecordChanged() override;
    void HyperlinkChanged() override;
    int OutputMode() const override { return 2; }
    void OutputCenter(const QString& text, double x) override;
    void OutputLeft(const QString& text, double x) override;
    void OutputRight(const QString& text, double x) override;
    void OutputBlock(const QString& text, double x, double width) override;
    void SetFrameMode(TFrameMode mode) override;
    void SetBKColor(TColor color) override;
    void SetScaleX(double percent) override;
    void SetScaleY(double percent) override;
    void SetTextBKMode(TBKMode mode) override;
    void SetOrientation(TOrientation orientation) override;
    void TabRectangle(double x1, double y1, double x2, double y2) override;
    void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor color) override;
    void FloodFill(double x, double y, TColor color, TFillStyle fillStyle) override;
    void FrameRect(const TRect& rect) override;
    // ESheetcaster "CopyRect() not supported in file mode.".
    void CopyRect(const TRect& dest, TCanvas* canvas, const TRect& source) override;
    void FillRect(const TRect& rect) override;
    void DrawFocusRect(const TRect& rect) override;
    void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) override;
    void Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
               double y4) override;
    void Draw(double x, double y, TGraphic* graphic) override;
    void Ellipse(double x1, double y1, double x2, double y2) override;
    void LineTo(double x, double y) override;
    void MoveTo(double x, double y) override;
    void Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) override;
    void Polygon(const std::vector<TPoint>& points) override;
    void Polyline(const std::vector<TPoint>& points) override;
    void PrintBitmap(double x, double y, double scaleX, double scaleY, TBitmap* bitmap) override;
    void PrintBitmapRect(double x1, double y1, double x2, double y2, TBitmap* bitmap) override;
    void PrintImageRect(double x1, double y1, double x2, double y2, TStream* imageStream,
                        const QString& imageType) override;
    void Rectangle(double x1, double y1, double x2, double y2) override;
    void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3) override;
    void StretchDraw(const TRect& rect, TGraphic* graphic) override;
    void TextRect(const TRect& rect, double x, double y, const QString& text) override;
    void PrintData(const QString& value) override;
    // bufSize bytes from the stream's position; 0: up to its end.
    void PrintDataStream(TStream& stream, int bufSize) override;
    void AllowPreviewOnly() override;
    void AllowPrinterOnly() override;
    void AllowAll() override;
    // Index 1 to 10; ESheetcaster "RegisterGraphic: Index must be between 1
    // and 10" (likewise for the other two) otherwise.
    void UnregisterGraphic(int index) override;
    void RegisterGraphic(int index) override;
    void ReuseGraphic(int index) override;
    void Start() override;
    void Finish() override;
    void NewPage() override;
    // Discards the page written so far, as if it had never been started.
    void AbortPage() override;
    bool SelectBin(const QString& binName) override;
    void ResetLineHeight() override;
    // The reference to the variable for a text; its value is filled in
    // wherever it is set later in the run.
    QString PIVar(const QString& varName) override;
    void SetPIVar(const QString& varName, const QString& varValue) override;

private:
    // A page-independent variable: Link is + the position of a
    // placeholder's length byte or - the position of a value record's.
    struct TVarEntry {
        QString Name;
        int64_t Link = 0;
        int32_t PlaceholderLink = 0; // a placeholder's own link
    };
    // What a page's header has to be rolled back to when the page is
    // aborted.
    struct TPageMark {
        int64_t Position = 0;
        int32_t PrevPagePos = 0;
        int64_t NextPagePos = 0;
        int AbsolutePage = 0;
        int JobPages = 0;
        uint8_t AllowMode = 0;
        std::vector<TVarEntry> VarList;
        std::array<int32_t, kZsfGraphicSlots> GraphicPos{};
        int32_t LastGraphicPos = 0;
        int32_t ReuseGraphicPos = 0;
    };
    // A placeholder filled while the page was open: its position and link.
    struct TFilledPlaceholder {
        int64_t Position = 0;
        int32_t Link = 0;
    };

    bool Recording() const;
    void Code(TZsfCode code);
    // A coordinate or size (inches) as recorded; EZsfLength naming the
    // property when the snapshot cannot carry it.
    void Length(double inches, const char* property);
    void XY(double x, double y);
    void DevicePoint(int x, int y);
    void DeviceRect(const TRect& rect);
    void RectRecord(TZsfCode code, const TRect& rect);
    void WriteGraphic(const TGraphic* graphic);
    void WriteTextCommand(TZsfCode code, const QString& text, double x);
    void OutputText(TZsfCode code, const QString& text, double x);
    void FourPoints(TZsfCode code, double x1, double y1, double x2, double y2);
    void EightPoints(TZsfCode code, const std::array<double, 8>& values);
    void WritePoints(TZsfCode code, const std::vector<TPoint>& points);
    void Done();
    void CheckBrush();
    void CheckPen();
    void CheckFont();
    void WriteAllowCode(TZsfCode code);
    void WritePageHeader();
    void PageEnd(bool last);
    void BeginPage(bool first);
    void OpenStream();
    void CloseStream(bool complete);
    void WriteFileHeader();
    void WritePlaceholder(const QString& name, int32_t link);
    int VarIndex(const QString& name) const;
    static int32_t Pos32(int64_t position);
    static void CheckGraphicIndex(const char* routine, int index);
    static QByteArray PlaceholderBytes(int32_t link);

    TSaveBrush FSaveBrush;
    TSaveFont FSaveFont;
    TSavePen FSavePen;
    bool FWriteAll = false;
    TZsfOutput FOut;
    uint8_t FAllowMode = 86;
    TNotifyEvent FBrushSaveOnChange;
    TNotifyEvent FPenSaveOnChange;
    bool FHooked = false;
    std::array<int32_t, kZsfGraphicSlots> FGraphicPos{};
    int32_t FLastGraphicPos = 0;
    int32_t FReuseGraphicPos = 0;
    TStream* FStream = nullptr; // the caller's, for smUser
    std::unique_ptr<TStream> FOwnedStream;
    QString FFileName;
    TStreamMode FStreamMode = TStreamMode::smMemory;
    TAccuracyMethod FAccuracyMethod = TAccuracyMethod::amAppearance;
    int32_t FPrevPagePos = 0;
    int64_t FNextPagePos = 0;
    int64_t FSaveJobPos = 0;
    int FAbsolutePage = 0;
    std::vector<TVarEntry> FVarList;
    std::unique_ptr<TQPBaseDevice> FOwnedDevice;
    bool FPageOpen = false; // a page header was written and its end is not
    TPageMark FPageMark;
    std::vector<TFilledPlaceholder> FFilled;
};
