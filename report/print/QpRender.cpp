#include "report/print/QpRender.h"

#include "report/print/QpFormat.h"
#include "report/print/QpPageSelection_p.h"
#include "report/print/QpTextWidth.h"

#include "platform/forms/Picture.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/RtlMath.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <numbers>
#include <span>

namespace {

// Versions at which the format changed (see QpFiler.h).
constexpr uint16_t kVerPageSize = 2000;   // page sizes, bin, collate, duplex
constexpr uint16_t kVerTitle = 2010;      // a title in the file header
constexpr uint16_t kVerLongText = 2016;   // two-byte text lengths
constexpr uint16_t kVerInt32Pages = 2018; // 32-bit page counts, font charset
constexpr uint16_t kVerUnicode = 5130;    // UTF-16 texts, page orientation and bin

// The largest plausible count or size of a file header, and the largest
// coordinate (inches) a command may carry.
constexpr double kPlausible = kZsfMaxCoordinate;
// Heights of fonts (inches) and widths of pens (inches) a stream may set.
constexpr double kMaxFontHeight = 20;
constexpr double kMaxPenWidth = 10;
// How deep variable links and macro expansion go, and how long an expanded
// text may grow.
constexpr int kMaxLinkDepth = 8;
constexpr int kMaxExpandDepth = 8;
constexpr int kMaxExpandedLength = 65536;
// A superscript or subscript is drawn at this fraction of the height.
constexpr double kScriptDivisor = 1.667;

const QString kUnexpectedHeaderCode = QStringLiteral("Unexpected header code [%d] found in report file.");
const QString kUnexpectedCode = QStringLiteral("Unexpected code [%d] found in report file.");
const QString kUnexpectedPageCode = QStringLiteral("Unexpected code found in report file.");
const QString kBadVariableLink = QStringLiteral("Invalid variable reference found in report file.");

const char16_t* const kDateFormats[] = {u"ddddd", u"dddddd", u"mm/dd/yy",   u"dd/mm/yy",
                                        u"t",     u"tt",     u"hh:nn ampm", u"hh:nn"};

[[noreturn]] void ReadError()
{
    throw EReadError(QStringLiteral("Stream read error"));
}

double Sane(double value)
{
    return std::isfinite(value) ? std::clamp(value, -kPlausible, kPlausible) : 0;
}

[[noreturn, gnu::noinline]] void InvalidNumber()
{
    RaiseError(Translate(QStringLiteral("Invalid number found in report file.")));
}

// A coordinate: finite and inside the plausible range (a value that is no
// number fails the comparison too). Every drawing command reads several.
inline double CoordinateOf(float value)
{
    if (!(std::abs(value) <= float(kPlausible))) [[unlikely]]
        InvalidNumber();
    return value;
}

inline double Coordinate(TZsfReader& reader)
{
    return CoordinateOf(reader.Float());
}

// The float stored at the bytes.
inline float FloatAt(const uchar* bytes)
{
    const quint32 bits = qFromLittleEndian<quint32>(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A float that must be a finite number, as TZsfReader::Number reads it.
inline double NumberAt(const uchar* bytes)
{
    const float value = FloatAt(bytes);
    if (!std::isfinite(value)) [[unlikely]]
        InvalidNumber();
    return value;
}

// Enumerations read as bytes: a value the enumeration does not have
// becomes its first.
template <class E> E EnumOf(uint8_t value, E last)
{
    return value <= uint8_t(last) ? E(value) : E(0);
}

int ClampToInt(double value)
{
    if (!(value == value))
        return 0;
    return int(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

QString MessageWithCode(const QString& message, int code)
{
    return Format(Translate(message), code);
}

// A page header's size in a file of that version (see QpFiler.h).
int PageHeaderSize(uint16_t fileVer)
{
    return 1 + 4 + 4 + (fileVer >= kVerInt32Pages ? 4 : 2) + (fileVer >= kVerPageSize ? 8 : 1) +
           (fileVer >= kVerUnicode ? 3 : 0);
}

// The page header at the reader's position: "Unexpected code found in
// report file." when it does not start with its code, the read error when
// it is cut short. Its fields are parsed out of one view of its bytes, so
// that the walk over thousands of headers costs little more than a look
// at each.
TQPPageHeaderRead ReadPageHeaderAt(TZsfReader& r, uint16_t fileVer, const TQPReportHeader& file)
{
    if (r.Byte() != uint8_t(TZsfCode::PageHeader))
        throw Exception(kUnexpectedPageCode);
    const auto* p = reinterpret_cast<const uchar*>(r.View(PageHeaderSize(fileVer) - 1));
    auto int32 = [&p] {
        const int32_t value = qFromLittleEndian<qint32>(p);
        p += 4;
        return value;
    };
    auto number = [&p] {
        const quint32 bits = qFromLittleEndian<quint32>(p);
        p += 4;
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return Sane(value);
    };
    TQPPageHeaderRead read{TQPPageHeader(), file.Orientation, file.Bin};
    TQPPageHeader& h = read.Header;
    h.PrevPagePos = int32();
    h.NextPagePos = int32();
    if (fileVer >= kVerInt32Pages) {
        h.PageNo = int32();
    } else {
        h.PageNo = qFromLittleEndian<qint16>(p);
        p += 2;
    }
    if (fileVer >= kVerPageSize) {
        h.PaperWidth = number();
        h.PaperHeight = number();
    } else {
        h.OldOrientation = *p++;
        h.PaperWidth = file.PaperWidth;
        h.PaperHeight = file.PaperHeight;
    }
    if (fileVer >= kVerUnicode) {
        read.Orientation = EnumOf(*p++, TOrientation::poDefault);
        read.Bin = qFromLittleEndian<quint16>(p);
    }
    return read;
}

} // namespace

QFont ZsfQFont(const TSaveFont& font, int pixelHeight)
{
    QFont q(font.Name.left(31));
    q.setHintingPreference(QFont::PreferNoHinting);
    q.setKerning(false);
    q.setPixelSize(std::max(1, pixelHeight));
    q.setBold(font.Bold);
    q.setItalic(font.Italic);
    q.setUnderline(font.Underline);
    q.setStrikeOut(font.Strikeout);
    if (font.Pitch == TFontPitch::fpFixed) {
        q.setFixedPitch(true);
        q.setStyleHint(QFont::TypeWriter);
    }
    return q;
}

// ---------------------------------------------------------------------------
// TQPConverter: creation and playback

TQPConverter::TQPConverter(TStream* stream, TQPRender* renderer) : FStream(stream), FRenderer(renderer)
{
    FFontData.Name = QStringLiteral("Arial");
    FFontData.Size = 10;
    FFontData.Height = 10.0 / 72;
    SyncFont();
}

TQPConverter::~TQPConverter()
{
    if (FRenderer && FRenderer->Converter == this)
        FRenderer->Converter = nullptr;
}

QString TQPConverter::GetPrinterName()
{
    return QStringLiteral("Render");
}

QString TQPConverter::GetDriverName()
{
    return QStringLiteral("Render");
}

QString TQPConverter::GetPortName()
{
    return QStringLiteral("Render");
}

bool TQPConverter::Start()
{
    if (!FStream || !FRenderer)
        return false;
    FRenderer->Converter = this;
    FAnsiStrings = FRenderer->ForceAnsi();
    FReportDateTime = Now();
    FReader = std::make_unique<TZsfReader>(*FStream);
    ReadFileHeader();
    FCurrPagePos = FReader->Position();
    FIndex = FRenderer->PageIndex() ? FRenderer->PageIndex() : &FOwnIndex;
    return true;
}

void TQPConverter::Generate(int pageNo, int /*pageCount*/)
{
    if (!Start())
        return;
    if (!FIndex->Fits(FReader->Size(), FCurrPagePos, FPageCount, FFileVer, FAnsiStrings))
        IndexPages();
    FPageNo = 1;
    // One page asked for is looked at before the target starts.
    FOnePage = pageNo != 0 && FPageCount > 0 ? std::clamp(pageNo, 1, FPageCount) : 0;
    if (FOnePage != 0)
        GotoPage(FOnePage);
    FRenderer->CheckPlayback();
    FRenderer->SetHeaderBin(FReportHeader.Bin);
    if (FPageCount <= 0)
        return;

    FRenderer->DocBegin();
    try {
        for (int page = NextPlayedPage(0); page != 0; page = NextPlayedPage(page))
            ProcessPage(page);
    } catch (...) {
        FRenderer->SetPlaybackFailed(true);
        try {
            FRenderer->DocEnd();
        } catch (...) {
            // The error that ended the playback is the one to report.
        }
        FRenderer->SetPlaybackFailed(false);
        throw;
    }
    FRenderer->DocEnd();
}

// The pages are checked and indexed as they are read, in chain order; as
// the chain leads only forward, that is one pass over the stream. A
// playback checks the whole chain before any page plays, so a page that
// fails here is reported only once the rest of the chain proved sound.
void TQPConverter::Check()
{
    FCheck = true;
    if (!Start())
        return;
    FIndex->Clear();
    FPageNo = 1;
    const int64_t first = FCurrPagePos;
    std::vector<int64_t> positions = NoPositions();
    int64_t position = first;
    int64_t previous = 0;
    for (int page = 1; page <= FPageCount; ++page) {
        const TQPPageHeaderRead header = ChainedPageHeader(page, position, previous);
        positions.push_back(position);
        try {
            FCurrPagePos = position;
            TakePageHeader(header, true);
            FRenderer->snPaperWidth = FPageHeader.PaperWidth;
            FRenderer->snPaperHeight = FPageHeader.PaperHeight;
            PlayCommands();
        } catch (...) {
            if (page < FPageCount)
                WalkChain(page + 1, header.Header.NextPagePos, position, nullptr);
            throw;
        }
        previous = position;
        position = header.Header.NextPagePos;
    }
    KeepIndex(first, std::move(positions));
}

// ---------------------------------------------------------------------------
// Headers and pages

void TQPConverter::ReadFileHeader()
{
    const int64_t start = FReader->Position();
    bool ansi = FAnsiStrings;
    bool fallBack = false;
    try {
        ReadHeaderFields(ansi);
        fallBack = !ansi && FFileVer >= kVerUnicode && !HeaderPlausible();
    } catch (const EReadError&) {
        if (ansi || FFileVer < kVerUnicode)
            throw;
        fallBack = true;
    }
    // A header that makes no sense as UTF-16 was written with 8-bit texts.
    if (fallBack) {
        FReader->Seek(start);
        ansi = true;
        ReadHeaderFields(true);
    }
    FAnsiStrings = ansi || FFileVer < kVerUnicode;
    FReportHeader.PaperWidth = Sane(FReportHeader.PaperWidth);
    FReportHeader.PaperHeight = Sane(FReportHeader.PaperHeight);
    FReportHeader.LeftWaste = Sane(FReportHeader.LeftWaste);
    FReportHeader.RightWaste = Sane(FReportHeader.RightWaste);
    FReportHeader.TopWaste = Sane(FReportHeader.TopWaste);
    FReportHeader.BottomWaste = Sane(FReportHeader.BottomWaste);
    FPageCount = std::max(FReportHeader.PageCount, 0);
    FFirstPage = FReportHeader.FirstPage;
    FLastPage = FReportHeader.LastPage;
    FTitle = FReportHeader.Title;
}

void TQPConverter::ReadHeaderFields(bool ansi)
{
    TZsfReader& r = *FReader;
    TQPReportHeader& h = FReportHeader;
    h = TQPReportHeader();
    const uint8_t lead = r.Byte();
    if (lead == kZsfLead1101)
        FFileVer = 1101;
    else if (lead == kZsfLead2009)
        FFileVer = 2009;
    else if (lead == kZsfLead)
        FFileVer = r.Word();
    else
        RaiseError(MessageWithCode(kUnexpectedHeaderCode, lead));
    h.FileVer = FFileVer;
    r.AnsiStrings = ansi || FFileVer < kVerUnicode;
    r.ShortLengths = FFileVer < kVerLongText;
    if (FFileVer >= kVerTitle)
        h.Title = r.Text();
    if (FFileVer >= kVerInt32Pages) {
        h.PageCount = r.Int32();
        h.FirstPage = r.Int32();
        h.LastPage = r.Int32();
    } else {
        h.PageCount = r.SmallInt();
        h.FirstPage = r.SmallInt();
        h.LastPage = r.SmallInt();
    }
    h.PaperWidth = r.Float();
    h.PaperHeight = r.Float();
    h.LeftWaste = r.Float();
    h.RightWaste = r.Float();
    h.TopWaste = r.Float();
    h.BottomWaste = r.Float();
    h.Orientation = EnumOf(r.Byte(), TOrientation::poDefault);
    if (FFileVer >= kVerPageSize) {
        h.Bin = r.Word();
        h.Collate = r.Byte() != 0;
        h.Duplex = EnumOf(r.Byte(), TDuplex::dupHorizontal);
    }
    h.Copies = r.Word();
    h.DMPaperSize = r.Word();
    h.DMPaperWidth = r.Word();
    h.DMPaperLength = r.Word();
    h.OutputName = r.Text();
}

// A stream without pages (count 0, nothing after the header) is plausible:
// it is simply empty. A count of 0 with pages after it is not.
bool TQPConverter::HeaderPlausible() const
{
    const TQPReportHeader& h = FReportHeader;
    auto within = [](double v, double low, double high) { return v >= low && v <= high; };
    const bool count =
        (h.PageCount >= 1 && h.PageCount <= kPlausible) || (h.PageCount == 0 && FReader->Left() == 0);
    return h.LastPage >= h.FirstPage && count && within(h.PaperWidth, 0, kPlausible) &&
           within(h.PaperHeight, 0, kPlausible) && within(h.LeftWaste, -kPlausible, kPlausible) &&
           within(h.RightWaste, -kPlausible, kPlausible) && within(h.TopWaste, -kPlausible, kPlausible) &&
           within(h.BottomWaste, -kPlausible, kPlausible);
}

void TQPConverter::ReadPageHeader(bool apply)
{
    TakePageHeader(ReadPageHeaderAt(*FReader, FFileVer, FReportHeader), apply);
}

void TQPConverter::TakePageHeader(const TQPPageHeaderRead& h, bool apply)
{
    FPageHeader = h.Header;
    FPrevPagePos = h.Header.PrevPagePos;
    FNextPagePos = h.Header.NextPagePos;
    FPageNo = h.Header.PageNo;
    if (apply) {
        FReportHeader.Orientation = h.Orientation;
        FReportHeader.Bin = h.Bin;
    }
}

// One walk over the page headers, from the first on, before anything plays:
// the pages the chain links are the pages the file header counts (so none
// is left out as if the report ended there), each next link leads forward
// to the page whose previous link leads back to it, the last page links on
// to nothing, and the pages are numbered 1, 2, ... in chain order (the
// writer numbers only the pages it writes). Playback then goes to a page
// through the positions kept here and never steers by a page number, so a
// damaged one cannot make it wander. The headers are read through the
// reader's windows, so a file of small pages takes few reads.
void TQPConverter::IndexPages()
{
    FIndex->Clear();
    const int64_t first = FCurrPagePos;
    std::vector<int64_t> positions = NoPositions();
    WalkChain(1, first, 0, &positions);
    KeepIndex(first, std::move(positions));
    FReader->Seek(first);
}

// Room for as many positions as the stream can hold page headers, at most
// the page count.
std::vector<int64_t> TQPConverter::NoPositions() const
{
    std::vector<int64_t> positions;
    positions.reserve(size_t(std::clamp<int64_t>(FReader->Left() / PageHeaderSize(FFileVer), 0, FPageCount)));
    return positions;
}

void TQPConverter::KeepIndex(int64_t first, std::vector<int64_t> positions)
{
    // A stream whose header counts no page holds none.
    if (FPageCount <= 0 && FReader->Left() > 0)
        throw Exception(kUnexpectedPageCode);
    FIndex->Set(FReader->Size(), first, FFileVer, FAnsiStrings, std::move(positions));
}

TQPPageHeaderRead TQPConverter::ChainedPageHeader(int page, int64_t position, int64_t previous)
{
    TZsfReader& r = *FReader;
    r.Seek(position);
    const TQPPageHeaderRead read = ReadPageHeaderAt(r, FFileVer, FReportHeader);
    const TQPPageHeader& h = read.Header;
    const bool nextFits =
        page == FPageCount ? h.NextPagePos == 0 : h.NextPagePos > position && h.NextPagePos < r.Size();
    if (h.PageNo != page || h.PrevPagePos != previous || !nextFits)
        throw Exception(kUnexpectedPageCode);
    return read;
}

void TQPConverter::WalkChain(int page, int64_t position, int64_t previous, std::vector<int64_t>* positions)
{
    for (; page <= FPageCount; ++page) {
        const TQPPageHeader h = ChainedPageHeader(page, position, previous).Header;
        if (positions)
            positions->push_back(position);
        previous = position;
        position = h.NextPagePos;
    }
}

// The reader is left at the header of the page; the header found there must
// be the one the index knows, else the stream changed under the index.
void TQPConverter::GotoPage(int pageNum)
{
    if (!FIndex || FIndex->Count() == 0)
        return;
    const int page = std::clamp(pageNum, 1, FIndex->Count());
    FCurrPagePos = FIndex->Position(page);
    FReader->Seek(FCurrPagePos);
    ReadPageHeader(false);
    CheckLanding(page);
    FReader->Seek(FCurrPagePos);
}

void TQPConverter::CheckLanding(int page) const
{
    const int64_t previous = page > 1 ? FIndex->Position(page - 1) : 0;
    const int64_t next = page < FIndex->Count() ? FIndex->Position(page + 1) : 0;
    if (FPageNo != page || FPrevPagePos != previous || FNextPagePos != next)
        throw Exception(kUnexpectedPageCode);
}

void TQPConverter::ProcessPage(int page)
{
    FCurrPagePos = FIndex->Position(page);
    FReader->Seek(FCurrPagePos);
    ReadPageHeader(true);
    CheckLanding(page);
    FRenderer->snPaperWidth = FPageHeader.PaperWidth;
    FRenderer->snPaperHeight = FPageHeader.PaperHeight;
    FRenderer->PageBegin();
    PlayCommands();
    FRenderer->PageEnd();
}

void TQPConverter::PlayCommands()
{
    TZsfReader& r = *FReader;
    for (;;) {
        if (FCheck)
            SkimCommands();
        const uint8_t code = r.Byte();
        if (code == uint8_t(TZsfCode::PageEnd))
            return;
        Dispatch(code);
    }
}

// In a check, the commands that make up most of a page (lines, boxes,
// texts without formatting codes, the brush and pen changes around them,
// line heights) need no more than their operands read and checked as
// Dispatch reads and checks them: they draw or change the drawing state,
// which a check leaves alone. They are passed over here straight from the
// reader's window, each with one bounds check and without Dispatch's
// setting up, which costs more than they do. The first other command, or
// one that runs on beyond the window, is left with the reader at its code,
// for the reader and Dispatch to read and refuse as a playback does.
void TQPConverter::SkimCommands()
{
    TZsfReader& r = *FReader;
    const std::span<const char> window = r.Window();
    const auto* const begin = reinterpret_cast<const uchar*>(window.data());
    const auto* const end = begin + window.size();
    const uchar* p = begin;
    while (p != end) {
        const uchar* const operands = p + 1;
        int lead = 0;     // coordinates the operands start with
        int trail = 0;    // coordinates they end with
        int64_t size = 0; // bytes of operands; -1: left to Dispatch
        switch (TZsfCode(*p)) {
        case TZsfCode::MoveTo:
        case TZsfCode::LineTo:
            lead = 2;
            size = 8;
            break;
        case TZsfCode::DrawFocusRect:
        case TZsfCode::FillRect:
        case TZsfCode::FrameRect:
        case TZsfCode::Ellipse:
        case TZsfCode::Rectangle:
        case TZsfCode::TabRectangle:
            lead = 4;
            size = 16;
            break;
        case TZsfCode::RoundRect:
            lead = 6;
            size = 24;
            break;
        case TZsfCode::Arc:
        case TZsfCode::Chord:
        case TZsfCode::Pie:
            lead = 8;
            size = 32;
            break;
        case TZsfCode::FloodFill:
            lead = 2;
            size = 16;
            break;
        case TZsfCode::BrushColor:
        case TZsfCode::PenColor:
        case TZsfCode::ScaleX:
        case TZsfCode::ScaleY:
            size = 4;
            break;
        case TZsfCode::BrushStyle:
        case TZsfCode::PenMode:
        case TZsfCode::PenStyle:
            size = 1;
            break;
        case TZsfCode::ResetLineHeight:
            size = 12;
            break;
        case TZsfCode::CenterText:
        case TZsfCode::LeftText:
        case TZsfCode::RightText:
            lead = 1;
            trail = 1;
            size = PlainTextSize(operands, end, trail);
            break;
        case TZsfCode::PrintSpaces:
        case TZsfCode::BlockText:
            lead = 1;
            trail = 2;
            size = PlainTextSize(operands, end, trail);
            break;
        default:
            size = -1;
            break;
        }
        if (size < 0 || end - operands < size)
            break;
        for (int i = 0; i < lead; ++i)
            CoordinateOf(FloatAt(operands + 4 * i));
        for (int i = trail; i > 0; --i)
            CoordinateOf(FloatAt(operands + size - 4 * i));
        if (*p == uint8_t(TZsfCode::ResetLineHeight)) {
            const double ascent = NumberAt(operands);
            const double descent = NumberAt(operands + 4);
            SetLineHeight(ascent, descent, NumberAt(operands + 8));
        }
        p = operands + size;
    }
    r.SkipBytes(p - begin);
}

// The bytes of a text command's operands (Y, the text, then trail
// coordinates) that start at operands and lie before end, when its text is
// UTF-16 and holds no macro and no formatting code; else -1. A text can
// fail only through formatting codes, which it gets from its own
// characters or from the variables its macros refer to: one with neither
// draws nothing a check has to look at. UTF-16 texts came with two-byte
// lengths.
int64_t TQPConverter::PlainTextSize(const uchar* operands, const uchar* end, int trail) const
{
    const TZsfReader& r = *FReader;
    if (r.AnsiStrings || end - operands < 4 + 2)
        return -1;
    const uchar* units = operands + 4;
    int length = *units++;
    if (length >= 0xC0)
        length = ((length & 0x3F) << 8) | *units++;
    const int64_t size = (units - operands) + 2 * int64_t(length) + 4 * trail;
    if (end - operands < size)
        return -1;
    for (int i = 0; i < length; ++i) {
        const char16_t unit = char16_t(units[2 * i] | (units[2 * i + 1] << 8));
        if (unit == 0xFD || unit == kQPTFBlockStart)
            return -1;
    }
    return size;
}

bool TQPConverter::PageInRange(int pageNum) const
{
    return PageInPageSelection(FRenderer->Selection(), FRenderer->FirstPage(), FRenderer->LastPage(),
                               pageNum);
}

int TQPConverter::NextPlayedPage(int after) const
{
    if (FOnePage != 0)
        return after == 0 ? FOnePage : 0;
    if (!FRenderer->Selection().isEmpty()) {
        for (int page = after + 1; page <= FPageCount; ++page) {
            if (PageInRange(page))
                return page;
        }
        return 0;
    }
    const int last = FRenderer->LastPage();
    if (last != 0 && last != 9999 && !(FRenderer->FirstPage() == 1 && last == FPageCount)) {
        const int first = std::max(FRenderer->FirstPage(), 1);
        if (after == 0)
            return first <= FPageCount ? first : 0;
        return after < std::min(last, FPageCount) ? after + 1 : 0;
    }
    return after < FPageCount ? after + 1 : 0;
}

int TQPConverter::PlayedPageCount() const
{
    int count = 0;
    for (int page = NextPlayedPage(0); page != 0; page = NextPlayedPage(page))
        ++count;
    return count;
}

// ---------------------------------------------------------------------------
// Commands

// A check stands for playbacks of every kind, so the destinations suppress
// nothing in it: what the printer or the preview alone shows is read as
// that one reads it.
bool TQPConverter::Suppressed() const
{
    return !FCheck && FRenderer->IsSuppressed();
}

bool TQPConverter::Quiet() const
{
    return FCheck || FRenderer->IsSuppressed();
}

QString TQPConverter::ReadText()
{
    if (FCheck) {
        FReader->SkipText();
        return QString();
    }
    return ExpandMacros(FReader->Text());
}

// A rectangle in inches, turned into the target's device pixels.
TRect TQPConverter::ReadRect()
{
    const double x1 = Coordinate(*FReader);
    const double y1 = Coordinate(*FReader);
    const double x2 = Coordinate(*FReader);
    const double y2 = Coordinate(*FReader);
    if (FCheck)
        return TRect{};
    return TRect{FRenderer->XI2D(x1), FRenderer->YI2D(y1), FRenderer->XI2D(x2), FRenderer->YI2D(y2)};
}

// Bitmaps and icons are decoded; metafiles and other graphics are only
// consumed (null), since nothing here can draw them. A check decodes but
// makes no bitmap of the picture (null).
std::unique_ptr<TGraphic> TQPConverter::ReadGraphic()
{
    TZsfReader& r = *FReader;
    const uint8_t kind = r.Byte();
    const bool icon = (kind & 127) == 3;
    const bool decoded = icon || (kind & 127) == 1;
    QByteArray bytes;
    auto take = [&](int32_t size) {
        if (decoded || !FCheck)
            bytes = r.Bytes(size);
        else
            r.SkipBytes(size);
    };
    if (kind >= 128) {
        const int32_t position = r.Int32();
        const int64_t back = r.Position();
        r.Seek(position);
        take(r.Int32());
        r.Seek(back);
    } else {
        take(r.Int32());
    }
    if (!decoded)
        return nullptr;
    QImage image;
    if (!bytes.isEmpty())
        image = icon ? DecodeImageBytes(bytes, "ICO", QStringLiteral("Icon"))
                     : DecodeImageBytes(bytes, "BMP", QStringLiteral("Bitmap"));
    if (FCheck)
        return nullptr;
    auto bitmap = std::make_unique<TBitmap>();
    if (!bytes.isEmpty())
        bitmap->LoadFromImage(image);
    return bitmap;
}

void TQPConverter::Dispatch(uint8_t code)
{
    TZsfReader& r = *FReader;
    TQPRender& t = *FRenderer;
    auto number = [&r] { return Coordinate(r); };
    switch (TZsfCode(code)) {
    case TZsfCode::Arc:
    case TZsfCode::Chord:
    case TZsfCode::Pie: {
        double v[8];
        for (double& value : v)
            value = number();
        if (Quiet())
            break;
        if (code == uint8_t(TZsfCode::Arc))
            t.Arc(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        else if (code == uint8_t(TZsfCode::Chord))
            t.Chord(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        else
            t.Pie(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        break;
    }
    case TZsfCode::BrushCopy: {
        const std::unique_ptr<TGraphic> graphic = ReadGraphic();
        const TRect dest = ReadRect();
        const TRect source = ReadRect();
        const TColor color = r.Int32();
        auto* bitmap = dynamic_cast<TBitmap*>(graphic.get());
        if (bitmap && !Quiet())
            t.BrushCopy(dest, *bitmap, source, color);
        break;
    }
    case TZsfCode::CopyRect: {
        const TRect dest = ReadRect();
        r.Int32(); // the source canvas of the recording side
        const TRect source = ReadRect();
        if (!Quiet())
            t.CopyRect(dest, nullptr, source);
        break;
    }
    case TZsfCode::Draw: {
        const std::unique_ptr<TGraphic> graphic = ReadGraphic();
        const double x = number();
        const double y = number();
        if (graphic && !Quiet())
            t.Draw(x, y, *graphic);
        break;
    }
    case TZsfCode::DrawFocusRect:
    case TZsfCode::FillRect:
    case TZsfCode::FrameRect: {
        const TRect rect = ReadRect();
        if (Quiet())
            break;
        if (code == uint8_t(TZsfCode::DrawFocusRect))
            t.DrawFocusRect(rect);
        else if (code == uint8_t(TZsfCode::FillRect))
            t.FillRect(rect);
        else
            t.FrameRect(rect);
        break;
    }
    case TZsfCode::Ellipse:
    case TZsfCode::Rectangle:
    case TZsfCode::TabRectangle: {
        const double x1 = number();
        const double y1 = number();
        const double x2 = number();
        const double y2 = number();
        if (Quiet())
            break;
        if (code == uint8_t(TZsfCode::Ellipse))
            t.Ellipse(x1, y1, x2, y2);
        else
            t.Rectangle(x1, y1, x2, y2);
        break;
    }
    case TZsfCode::FloodFill: {
        const double x = number();
        const double y = number();
        const TColor color = r.Int32();
        const int32_t style = r.Int32();
        if (!Quiet())
            t.FloodFill(x, y, color,
                        style == int32_t(TFillStyle::fsBorder) ? TFillStyle::fsBorder
                                                               : TFillStyle::fsSurface);
        break;
    }
    case TZsfCode::LineTo: {
        const double x = number();
        const double y = number();
        if (!Quiet()) {
            t.MoveTo(FXPos, FYPos);
            t.LineTo(x, y);
        }
        FXPos = x;
        FYPos = y;
        break;
    }
    case TZsfCode::MoveTo:
        FCurrX = FXPos = number();
        FCurrY = FYPos = number();
        break;
    case TZsfCode::Polygon:
    case TZsfCode::Polyline: {
        const int count = r.SmallInt() + 1;
        if (count > 0 && int64_t(count) * 8 > r.Left())
            ReadError();
        if (FCheck) {
            for (int i = 0; i < 2 * count; ++i)
                number();
            break;
        }
        std::vector<QPointF> points;
        points.reserve(size_t(std::max(count, 0)));
        for (int i = 0; i < count; ++i) {
            const double x = number();
            points.emplace_back(x, number());
        }
        if (points.empty() || Quiet())
            break;
        t.MoveTo(points.front().x(), points.front().y());
        if (code == uint8_t(TZsfCode::Polygon))
            t.Polygon(points);
        else
            t.Polyline(points);
        break;
    }
    case TZsfCode::PrintBitmap: {
        const std::unique_ptr<TGraphic> graphic = ReadGraphic();
        const double x = number();
        const double y = number();
        const double scaleX = number();
        const double scaleY = number();
        auto* bitmap = dynamic_cast<TBitmap*>(graphic.get());
        if (bitmap && !Quiet())
            t.PrintBitmap(x, y, scaleX, scaleY, *bitmap);
        break;
    }
    case TZsfCode::PrintBitmapRect: {
        const std::unique_ptr<TGraphic> graphic = ReadGraphic();
        const double x1 = number();
        const double y1 = number();
        const double x2 = number();
        const double y2 = number();
        auto* bitmap = dynamic_cast<TBitmap*>(graphic.get());
        if (bitmap && !Quiet())
            t.PrintBitmapRect(x1, y1, x2, y2, *bitmap);
        break;
    }
    case TZsfCode::RoundRect: {
        double v[6];
        for (double& value : v)
            value = number();
        if (!Quiet())
            t.RoundRect(v[0], v[1], v[2], v[3], v[4], v[5]);
        break;
    }
    case TZsfCode::StretchDraw: {
        const std::unique_ptr<TGraphic> graphic = ReadGraphic();
        const TRect rect = ReadRect();
        if (graphic && !Quiet())
            t.StretchDraw(rect, *graphic);
        break;
    }
    case TZsfCode::TextRect: {
        const TRect rect = ReadRect();
        const double x = number();
        const double y = number();
        const QString text = ReadText();
        if (!Quiet())
            t.TextRect(rect, x, y, text);
        break;
    }
    case TZsfCode::CenterText:
    case TZsfCode::LeftText:
    case TZsfCode::RightText: {
        const double y = number();
        const QString text = ExpandMacros(FReader->Text());
        const double x = number();
        PlainOrFormatted(code, text, x, y, 0);
        break;
    }
    case TZsfCode::PrintSpaces:
    case TZsfCode::BlockText: {
        const double y = number();
        const QString text = ExpandMacros(FReader->Text());
        const double x = number();
        const double width = number();
        PlainOrFormatted(code, text, x, y, width);
        break;
    }
    case TZsfCode::TextBKMode:
        t.FTextBKMode = EnumOf(r.Byte(), TBKMode::bkOpaque);
        break;
    case TZsfCode::BKColor:
        t.SetBKColor(r.Int32());
        break;
    case TZsfCode::ScaleX:
    case TZsfCode::ScaleY:
        r.Float();
        break;
    case TZsfCode::PrintData: {
        const QString data = ReadText();
        if (!Quiet())
            t.PrintData(data);
        break;
    }
    case TZsfCode::PrintDataStream: {
        const int32_t count = r.Int32();
        if (FCheck) {
            r.SkipBytes(count);
            break;
        }
        TMemoryStream data(r.Bytes(count));
        if (count > 0 && !Quiet())
            t.PrintDataStream(data, count);
        break;
    }
    case TZsfCode::TransparentBitmaps:
        t.FTransparentBitmaps = r.Byte() != 0;
        break;
    case TZsfCode::FrameMode:
        t.snFrameMode = EnumOf(r.Byte(), TFrameMode::fmOutside);
        break;
    case TZsfCode::PrintImageRect: {
        const int32_t count = r.Int32();
        QByteArray bytes;
        if (FCheck)
            r.SkipBytes(count);
        else
            bytes = r.Bytes(count);
        const QString imageType = ReadText();
        const double x1 = number();
        const double y1 = number();
        const double x2 = number();
        const double y2 = number();
        if (!FCheck && !Quiet()) {
            TMemoryStream image(bytes);
            t.PrintImageRect(x1, y1, x2, y2, image, imageType);
        }
        break;
    }
    case TZsfCode::Variable:
        ReadVariable();
        break;
    case TZsfCode::Hyperlink:
        t.SetHyperlink(ReadText());
        break;
    case TZsfCode::Brush: {
        const TColor color = r.Int32();
        const TBrushStyle style = EnumOf(r.Byte(), TBrushStyle::bsDiagCross);
        const std::unique_ptr<TGraphic> graphic = r.Byte() != 0 ? ReadGraphic() : nullptr;
        if (FCheck)
            break;
        FBrush.SetColor(color);
        FBrush.SetStyle(style);
        FBrush.SetBitmap(graphic && !graphic->Empty() ? graphic.get() : nullptr);
        BrushChanged();
        break;
    }
    case TZsfCode::BrushColor: {
        const TColor color = r.Int32();
        if (FCheck)
            break;
        FBrush.SetColor(color);
        FBrush.SetBitmap(nullptr);
        BrushChanged();
        break;
    }
    case TZsfCode::BrushStyle: {
        const TBrushStyle style = EnumOf(r.Byte(), TBrushStyle::bsDiagCross);
        if (FCheck)
            break;
        FBrush.SetStyle(style);
        BrushChanged();
        break;
    }
    case TZsfCode::BrushBitmap:
        if (r.Byte() == 1) {
            const std::unique_ptr<TGraphic> graphic = ReadGraphic();
            if (FCheck)
                break;
            FBrush.SetBitmap(graphic && !graphic->Empty() ? graphic.get() : nullptr);
            BrushChanged();
        }
        break;
    case TZsfCode::Font:
        ReadFont();
        FontChanged();
        break;
    case TZsfCode::FontName:
        FFontData.Name = ReadText();
        FontChanged();
        break;
    case TZsfCode::FontColor:
        FFontData.Color = r.Int32();
        FontChanged();
        break;
    case TZsfCode::FontPitch:
        FFontData.Pitch = EnumOf(r.Byte(), TFontPitch::fpFixed);
        FontChanged();
        break;
    case TZsfCode::FontHeight: {
        const double height = std::clamp(r.Number(), 0.0, kMaxFontHeight);
        FFontData.Height = height;
        if (FFileVer >= kVerPageSize)
            FFontData.Width = std::clamp(r.Number(), -kPlausible, kPlausible);
        FFontData.Size = height * 72;
        FontChanged();
        break;
    }
    case TZsfCode::FontBold:
        FFontData.Bold = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontUnderline:
        FFontData.Underline = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontItalic:
        FFontData.Italic = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontStrikeout:
        FFontData.Strikeout = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontSuperscript:
        FFontData.Superscript = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontSubscript:
        FFontData.Subscript = r.Byte() != 0;
        FontChanged();
        break;
    case TZsfCode::FontRotation:
        FFontData.Rotation = int16_t(r.SmallInt() % 360);
        FontChanged();
        break;
    case TZsfCode::FontAlign:
        FFontData.Align = EnumOf(r.Byte(), TFontAlign::faBottom);
        FontChanged();
        break;
    case TZsfCode::FontCharset:
        FFontData.CharSet = r.Byte();
        FontChanged();
        break;
    case TZsfCode::Pen: {
        const TColor color = r.Int32();
        const TPenMode mode = EnumOf(r.Byte(), TPenMode::pmNotXor);
        const TPenStyle style = EnumOf(r.Byte(), TPenStyle::psAlternate);
        const double width = std::clamp(r.Number() / 10000, 0.0, 10000.0);
        if (FCheck)
            break;
        FPen.SetColor(color);
        FPen.SetMode(mode);
        FPen.SetStyle(style);
        FPen.SetWidth(int(Round(width)));
        PenChanged();
        break;
    }
    case TZsfCode::PenColor: {
        const TColor color = r.Int32();
        if (FCheck)
            break;
        FPen.SetColor(color);
        PenChanged();
        break;
    }
    case TZsfCode::PenMode: {
        const TPenMode mode = EnumOf(r.Byte(), TPenMode::pmNotXor);
        if (FCheck)
            break;
        FPen.SetMode(mode);
        PenChanged();
        break;
    }
    case TZsfCode::PenStyle: {
        const TPenStyle style = EnumOf(r.Byte(), TPenStyle::psAlternate);
        if (FCheck)
            break;
        FPen.SetStyle(style);
        PenChanged();
        break;
    }
    case TZsfCode::PenWidth:
        t.snPenWidth = std::clamp(r.Number(), 0.0, kMaxPenWidth);
        PenChanged();
        break;
    case TZsfCode::ResetLineHeight: {
        const double ascent = r.Number();
        const double descent = r.Number();
        SetLineHeight(ascent, descent, r.Number());
        break;
    }
    case TZsfCode::AllowPreviewOnly:
        t.AllowPreviewOnly();
        break;
    case TZsfCode::AllowPrinterOnly:
        t.AllowPrinterOnly();
        break;
    case TZsfCode::AllowAll:
        t.AllowAll();
        break;
    case TZsfCode::Orientation:
        FReportHeader.Orientation = EnumOf(r.Byte(), TOrientation::poDefault);
        break;
    case TZsfCode::Bin:
        t.SetBin(ReadText());
        break;
    default:
        RaiseError(MessageWithCode(kUnexpectedCode, code));
    }
}

// Code 50: name, colour, pitch, charset (from 2018), height, bold, italic,
// strikeout, an unused byte, rotation (from 2000).
void TQPConverter::ReadFont()
{
    TZsfReader& r = *FReader;
    FFontData.Name = ReadText();
    FFontData.Color = r.Int32();
    FFontData.Pitch = EnumOf(r.Byte(), TFontPitch::fpFixed);
    FFontData.CharSet = FFileVer >= kVerInt32Pages ? r.Byte() : DEFAULT_CHARSET;
    FFontData.Height = std::clamp(r.Number(), 0.0, kMaxFontHeight);
    FFontData.Size = FFontData.Height * 72;
    FFontData.Bold = r.Byte() != 0;
    FFontData.Italic = r.Byte() != 0;
    FFontData.Strikeout = r.Byte() != 0;
    r.Byte();
    FFontData.Rotation = FFileVer >= kVerPageSize ? int16_t(r.SmallInt() % 360) : 0;
}

void TQPConverter::SetLineHeight(double ascent, double descent, double lineHeight)
{
    FFontData.Ascent = Sane(ascent);
    FFontData.Descent = Sane(descent);
    FLineHeight = Sane(lineHeight);
}

void TQPConverter::SyncFont()
{
    FFont.SetName(FFontData.Name);
    FFont.SetColor(FFontData.Color);
    FFont.SetPitch(FFontData.Pitch);
    FFont.SetCharset(TFontCharset(FFontData.CharSet));
    FFont.SetSize(int(Round(std::clamp(FFontData.Size, 0.0, kMaxFontHeight * 72))));
    TFontStyles styles;
    if (FFontData.Bold)
        styles.Include(TFontStyle::fsBold);
    if (FFontData.Italic)
        styles.Include(TFontStyle::fsItalic);
    if (FFontData.Underline)
        styles.Include(TFontStyle::fsUnderline);
    if (FFontData.Strikeout)
        styles.Include(TFontStyle::fsStrikeOut);
    FFont.SetStyle(styles);
    FFont.SetOrientation(FFontData.Rotation * 10);
}

void TQPConverter::FontChanged()
{
    if (FCheck)
        return;
    SyncFont();
    FRenderer->FontChanged(FFont);
}

void TQPConverter::BrushChanged()
{
    if (FCheck)
        return;
    FRenderer->BrushChanged(FBrush);
}

void TQPConverter::PenChanged()
{
    if (FCheck)
        return;
    FRenderer->PenChanged(FPen);
}

// ---------------------------------------------------------------------------
// Variables

// A check keeps the variables too: a text it checks may refer to them.
void TQPConverter::ReadVariable()
{
    const QString name = ExpandMacros(FReader->Text());
    QString value;
    const bool changed = ReadVariableData(value, 0);
    QString& stored = FVarList[name.toLower()];
    if (changed)
        stored = value;
}

// False when the data keeps the variable's value.
bool TQPConverter::ReadVariableData(QString& value, int depth)
{
    TZsfReader& r = *FReader;
    const int stored = r.Byte();
    const int used = r.Byte();
    if (used < kZsfVarLink) {
        const QByteArray area = r.Bytes(std::min(2 * stored, kZsfPlaceholderArea));
        if (used == 0)
            return false;
        if (FAnsiStrings) {
            value = AnsiToUnicode(area.left(used));
            return true;
        }
        const int units = std::min<int>(used, int(area.size() / 2));
        value = QString(units, Qt::Uninitialized);
        for (int i = 0; i < units; ++i)
            value[i] = QChar(uint16_t(uint8_t(area[2 * i]) | (uint8_t(area[2 * i + 1]) << 8)));
        return true;
    }
    if (stored < 4 || stored > kZsfPlaceholderArea)
        RaiseError(Translate(kBadVariableLink));
    const QByteArray link = r.Bytes(stored);
    const int64_t target = std::abs(int64_t(qFromLittleEndian<qint32>(link.constData())));
    if (target == 0)
        return false;
    if (depth >= kMaxLinkDepth)
        RaiseError(Translate(kBadVariableLink));
    const int64_t back = r.Position();
    r.Seek(target);
    const bool result = ReadVariableData(value, depth + 1);
    r.Seek(back);
    return result;
}

QString TQPConverter::Variable(const QString& name) const
{
    const auto it = FVarList.find(name.toLower());
    return it == FVarList.end() ? QString() : it->second;
}

// ---------------------------------------------------------------------------
// Macros

QString TQPConverter::ExpandMacros(const QString& text)
{
    if (!text.contains(QChar(0xFD)))
        return text;
    return Expand(text, 0);
}

// Macro and variable references are replaced left to right; a value that
// holds references is expanded in turn, down to a fixed depth (deeper ones
// become empty), and the text stops growing at a fixed length.
QString TQPConverter::Expand(const QString& text, int depth)
{
    static const QString kMacro = QStringLiteral("$QPCM");
    static const QString kVariable = QStringLiteral("$QPCV");
    QString out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && out.size() < kMaxExpandedLength) {
        const qsizetype k = text.indexOf(QChar(0xFD), i);
        if (k < 0) {
            out.append(QStringView(text).mid(i));
            break;
        }
        out.append(QStringView(text).mid(i, k - i));
        const QStringView marker = QStringView(text).mid(k + 1, 5);
        QString value;
        if (marker == kMacro) {
            const QStringView digits = QStringView(text).mid(k + 6, 2);
            int ordinal = -1;
            if (digits.size() == 2 && digits[0].isDigit() && digits[1].isDigit() && digits[0] < u'A' &&
                digits[1] < u'A')
                ordinal = (digits[0].unicode() - u'0') * 10 + (digits[1].unicode() - u'0');
            i = std::min(n, k + 8);
            value = MacroText(ordinal);
        } else if (marker == kVariable) {
            const qsizetype nameStart = k + 7;
            if (nameStart < n && text[k + 6].unicode() == 0xFC) {
                const qsizetype end = text.indexOf(QChar(0xFB), nameStart);
                const qsizetype nameEnd = end < 0 ? n : end;
                value = Variable(text.mid(nameStart, nameEnd - nameStart));
                i = end < 0 ? n : end + 1;
            } else {
                value = Variable(QString());
                i = std::min(n, k + 7);
            }
        } else {
            out.append(text[k]);
            i = k + 1;
            continue;
        }
        if (value.contains(QChar(0xFD)))
            value = depth + 1 < kMaxExpandDepth ? Expand(value, depth + 1) : QString();
        out.append(value);
    }
    if (out.size() > kMaxExpandedLength)
        out.truncate(kMaxExpandedLength);
    return out;
}

QString TQPConverter::MacroText(int ordinal)
{
    if (ordinal >= 0 && ordinal <= int(TMacroID::midCurrTime24))
        return FormatDateTime(QString::fromUtf16(kDateFormats[ordinal]), FReportDateTime);
    switch (ordinal) {
    case int(TMacroID::midFirstPage):
        return IntToStr(FFirstPage);
    case int(TMacroID::midLastPage):
        return IntToStr(FLastPage);
    case int(TMacroID::midTotalPages):
        return IntToStr(FPageCount);
    case int(TMacroID::midCurrentPage):
        return IntToStr(FPageNo);
    case int(TMacroID::midPrinterName):
        return GetPrinterName();
    case int(TMacroID::midDriverName):
        return GetDriverName();
    case int(TMacroID::midPortName):
        return GetPortName();
    default:
        break;
    }
    const int line = ordinal - int(TMacroID::midUser01);
    if (ordinal <= int(TMacroID::midUser20) && line >= 0 && line < FRenderer->MacroData().Count())
        return FRenderer->MacroData().Strings(line);
    return QString();
}

// ---------------------------------------------------------------------------
// Texts with formatting codes

double TQPConverter::RunWidth(const QString& run, const TSaveFont& font) const
{
    if (run.isEmpty())
        return 0;
    const bool script = font.Superscript || font.Subscript;
    const double height = script ? font.Height / kScriptDivisor : font.Height;
    return CachedAdvance(ZsfQFont(font, int(Round(height * kMeasureDPI))), run) / kMeasureDPI;
}

double TQPConverter::QPTFTextWidth(const QString& value)
{
    return CodesWidth(value, true);
}

double TQPConverter::CodesWidth(const QString& value, bool measure)
{
    TSaveFont font = FFontData;
    double width = 0;
    int pos = 0;
    QString run;
    QString codes;
    while (SplitQPTFText(value, pos, run, codes)) {
        if (!codes.isEmpty())
            ApplyQPTFToFont(font, codes);
        if (measure)
            width += RunWidth(run, font);
    }
    return width;
}

void TQPConverter::PlainOrFormatted(uint8_t code, const QString& text, double x, double y, double width)
{
    if (FCheck && text.isEmpty())
        return;
    if (Suppressed())
        return;
    if (text.contains(QChar(kQPTFBlockStart))) {
        // Drawing applies every code block of the text in order (see
        // FormattedText), and only a block can fail.
        if (FCheck)
            CodesWidth(text, false);
        else
            FormattedText(code, text, x, y, width);
        return;
    }
    if (FCheck)
        return;
    switch (TZsfCode(code)) {
    case TZsfCode::CenterText:
        FRenderer->CenterText(text, x, y);
        break;
    case TZsfCode::RightText:
        FRenderer->RightText(text, x, y);
        break;
    case TZsfCode::LeftText:
        FRenderer->LeftText(text, x, y);
        break;
    default:
        FRenderer->PrintSpaces(text, x, y, width);
        break;
    }
}

// Segment by segment: the codes change the font, the run is drawn left
// aligned and the position moves past it. Block text spreads what is left of
// its width over the gaps between words. The codes' font lasts for the text
// only: the next text starts in the font the stream set.
void TQPConverter::FormattedText(uint8_t code, const QString& text, double x, double y, double width)
{
    struct TSegment {
        QString Run;
        QString Codes;
    };
    std::vector<TSegment> segments;
    {
        int pos = 0;
        QString run;
        QString codes;
        while (SplitQPTFText(text, pos, run, codes))
            segments.push_back({run, codes});
    }
    // Link commands go to the target while the text is drawn.
    const std::function<void(const QString&)> onLink = [this](const QString& link) {
        FRenderer->SetHyperlink(link);
    };
    // The whole width places a centred or right-aligned text and spreads a
    // block over its gaps; a left-aligned text needs only its runs' widths.
    const bool block = code == uint8_t(TZsfCode::BlockText) || code == uint8_t(TZsfCode::PrintSpaces);
    const bool aligned = code == uint8_t(TZsfCode::CenterText) || code == uint8_t(TZsfCode::RightText);
    const double total = aligned ? QPTFTextWidth(text) : 0;
    if (code == uint8_t(TZsfCode::CenterText))
        x -= total / 2;
    else if (code == uint8_t(TZsfCode::RightText))
        x -= total;

    const TSaveFont savedData = FFontData;
    double extra = 0;
    if (block) {
        int gaps = 0;
        for (const TSegment& segment : segments) {
            QString rest = segment.Run;
            QString word;
            bool first = true;
            while (!rest.isEmpty()) {
                FRenderer->NextWord(rest, word);
                if (!first)
                    ++gaps;
                first = false;
            }
        }
        if (gaps > 0)
            extra = (width - QPTFTextWidth(text)) / gaps;
    }
    try {
        for (const TSegment& segment : segments) {
            if (!segment.Codes.isEmpty()) {
                ApplyQPTFToFont(FFontData, segment.Codes, onLink);
                FFontData.Height = std::min(FFontData.Height, kMaxFontHeight);
            }
            FontChanged();
            if (!block) {
                FRenderer->LeftText(segment.Run, x, y);
                if (&segment != &segments.back())
                    x += RunWidth(segment.Run, FFontData);
                continue;
            }
            QString rest = segment.Run;
            QString word;
            bool first = true;
            while (!rest.isEmpty()) {
                FRenderer->NextWord(rest, word);
                const double w = RunWidth(word, FFontData);
                if (first) {
                    FRenderer->LeftText(word, x, y);
                    FRenderer->TextSegmentPos(x, y, w);
                    first = false;
                } else {
                    FRenderer->TextSegmentPos(x, y, w + extra);
                    FRenderer->RightText(word, x, y);
                }
            }
        }
    } catch (...) {
        FFontData = savedData;
        FontChanged();
        throw;
    }
    FFontData = savedData;
    FontChanged();
}

// ---------------------------------------------------------------------------
// TQPRender

namespace {

struct TRenderEntry {
    QString Name;
    TQPRender* Render;
};

std::vector<TRenderEntry>& RenderRegistry()
{
    static std::vector<TRenderEntry> registry;
    return registry;
}

} // namespace

void RegisterRender(const QString& displayName, TQPRender* render)
{
    if (render)
        RenderRegistry().push_back({displayName, render});
}

void UnregisterRender(TQPRender* render)
{
    auto& registry = RenderRegistry();
    registry.erase(std::remove_if(registry.begin(), registry.end(),
                                  [render](const TRenderEntry& e) { return e.Render == render; }),
                   registry.end());
}

void GetRenderList(TStringList& list)
{
    list.Clear();
    for (const TRenderEntry& entry : RenderRegistry())
        if (entry.Render->Active())
            list.AddObject(entry.Name, entry.Render);
}

QString GetRenderFilter()
{
    QStringList parts;
    for (const TRenderEntry& entry : RenderRegistry()) {
        if (!entry.Render->Active())
            continue;
        parts << entry.Name << entry.Render->GetFileExtension();
    }
    return parts.join(u'|');
}

TQPRender::TQPRender(TComponent* owner) : TQpComponent(owner)
{
    RegisterRender(QString(), this);
}

TQPRender::~TQPRender()
{
    UnregisterRender(this);
}

void TQPRender::SetDisplayName(const QString& name)
{
    UnregisterRender(this);
    FDisplayName = name;
    RegisterRender(name, this);
}

bool TQPRender::IsSuppressed()
{
    const int kind = RenderKind();
    return kind < 0 || kind > 7 || (ValidDestination & (1u << kind)) == 0;
}

void TQPRender::SetBKColor(TColor) {}

void TQPRender::AllowPreviewOnly()
{
    ValidDestination = uint8_t((ValidDestination & ~1u) | 2u);
}

void TQPRender::AllowPrinterOnly()
{
    ValidDestination = uint8_t((ValidDestination & ~2u) | 1u);
}

void TQPRender::AllowAll()
{
    ValidDestination = uint8_t(ValidDestination | 3u);
}

void TQPRender::SetHyperlink(const QString& link)
{
    if (Converter)
        Converter->Hyperlink = link;
}

void TQPRender::Arc(double, double, double, double, double, double, double, double) {}
void TQPRender::BrushChanged(TBrush&) {}
void TQPRender::Chord(double, double, double, double, double, double, double, double) {}
void TQPRender::CenterText(const QString&, double, double) {}
void TQPRender::Ellipse(double, double, double, double) {}
void TQPRender::FontChanged(TFont&) {}
void TQPRender::LeftText(const QString&, double, double) {}
void TQPRender::LineTo(double, double) {}
void TQPRender::MoveTo(double, double) {}
void TQPRender::Pie(double, double, double, double, double, double, double, double) {}
void TQPRender::Polyline(const std::vector<QPointF>&) {}
void TQPRender::Polygon(const std::vector<QPointF>&) {}
void TQPRender::RightText(const QString&, double, double) {}
void TQPRender::PenChanged(TPen&) {}
void TQPRender::PrintBitmapRect(double, double, double, double, const TBitmap&) {}
void TQPRender::PrintBitmap(double, double, double, double, const TBitmap&) {}
void TQPRender::StretchDraw(const TRect&, const TGraphic&) {}
void TQPRender::Draw(double, double, const TGraphic&) {}
void TQPRender::PrintSpaces(const QString&, double, double, double) {}
void TQPRender::Rectangle(double, double, double, double) {}
void TQPRender::FillRect(const TRect&) {}
void TQPRender::RoundRect(double, double, double, double, double, double) {}
void TQPRender::TextSegmentOut(const QString&, double&, double&, double) {}
void TQPRender::SetHeaderBin(int) {}
void TQPRender::PrintDataStream(TStream&, int) {}
void TQPRender::FrameRect(const TRect&) {}
void TQPRender::FloodFill(double, double, TColor, TFillStyle) {}
void TQPRender::BrushCopy(const TRect&, const TBitmap&, const TRect&, TColor) {}
void TQPRender::CopyRect(const TRect&, TCanvas*, const TRect&) {}
void TQPRender::DrawFocusRect(const TRect&) {}

bool TQPRender::TextRect(const TRect&, double, double, const QString&)
{
    return false;
}

bool TQPRender::SetBin(const QString&)
{
    return false;
}

bool TQPRender::PrintData(const QString&)
{
    return false;
}

void TQPRender::PrintImageRect(double x1, double y1, double x2, double y2, TStream& image,
                               const QString& imageType)
{
    if (!OnDecodeImage)
        return;
    TBitmap bitmap;
    OnDecodeImage(this, &image, imageType, &bitmap);
    PrintBitmapRect(x1, y1, x2, y2, bitmap);
}

int TQPRender::CountInnerSpaces(const QString& text)
{
    const qsizetype n = text.size();
    qsizetype lead = 0;
    while (lead < n && text[lead] == u' ')
        ++lead;
    if (lead == n)
        return 0;
    qsizetype trail = 0;
    while (trail < n && text[n - 1 - trail] == u' ')
        ++trail;
    return int(text.count(u' ') - lead - trail);
}

void TQPRender::NextWord(QString& text, QString& word)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')
        ++i;
    const qsizetype space = text.indexOf(u' ', i);
    if (space < 0) {
        word = text;
        text.clear();
        return;
    }
    word = text.left(space);
    text.remove(0, space);
}

void TQPRender::LeadingSpaces(QString& text, QString& lead)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    lead = text.left(i);
    text.remove(0, i);
}

void TQPRender::TextSegmentPos(double& x, double& y, double width)
{
    const int rotation = Converter ? Converter->FontData().Rotation : 0;
    if (rotation == 0) {
        x += width;
        return;
    }
    const double a = rotation * std::numbers::pi / 180;
    x += std::cos(a) * width;
    y -= std::sin(a) * width;
}

int TQPRender::XI2D(double pos)
{
    return ClampToInt(Round(GetXDPI() * pos));
}

int TQPRender::YI2D(double pos)
{
    return ClampToInt(Round(GetYDPI() * pos));
}

void TQPRender::SetZSFStream(TStream* stream)
{
    if (stream == FZSFStream)
        return;
    ReleaseZSFStream();
    FZSFStream = stream;
    if (stream)
        FPageIndex = std::make_shared<TQPPageIndex>();
}

void TQPRender::ShareZSFStream(const TQPRender& source)
{
    SetZSFStream(source.FZSFStream);
    if (FZSFStream)
        FPageIndex = source.FPageIndex;
}

QString TQPRender::ZSFFileName() const
{
    const auto* file = dynamic_cast<const TFileStream*>(FZSFStream);
    return file ? file->FileName() : QString();
}

void TQPRender::ReleaseZSFStream()
{
    FZSFStream = nullptr;
    FInternalZSFStream.reset();
    FPageIndex.reset();
}

void TQPRender::Render(TStream* zsfStream)
{
    if (FRendering)
        return;
    UseStream(zsfStream);
    RenderPage(0);
}

void TQPRender::CheckRender(TStream* zsfStream)
{
    if (FRendering)
        return;
    UseStream(zsfStream);
    Play(0, true);
}

void TQPRender::UseStream(TStream* zsfStream)
{
    if (zsfStream)
        SetZSFStream(zsfStream);
    else if (!FZSFStream)
        OpenInputFile();
}

void TQPRender::Render(const QString& inputFileName)
{
    FInputFileName = inputFileName;
    ReleaseZSFStream();
    Render(static_cast<TStream*>(nullptr));
}

void TQPRender::OpenInputFile()
{
    try {
        FInternalZSFStream = std::make_unique<TFileStream>(FInputFileName, fmOpenRead | fmShareDenyWrite);
    } catch (Exception& error) {
        AddFileName(error, FInputFileName);
        throw;
    }
    FZSFStream = FInternalZSFStream.get();
    FPageIndex = std::make_shared<TQPPageIndex>();
}

void TQPRender::RenderPage(int pageNum)
{
    Play(pageNum, false);
}

// Every playback reads the stream's file header from its start; the pages
// it finds through the stream's page index.
void TQPRender::Play(int pageNum, bool check)
{
    if (!FZSFStream || FRendering)
        return;
    FZSFStream->SetPosition(0);
    TQPConverter converter(FZSFStream, this);
    FRendering = true;
    FOwnFailure = false;
    try {
        if (check)
            converter.Check();
        else
            converter.Generate(pageNum, 0);
    } catch (Exception& error) {
        EndPlayback();
        if (!FOwnFailure)
            AddFileName(error, ZSFFileName());
        throw;
    } catch (...) {
        EndPlayback();
        throw;
    }
    EndPlayback();
}

void TQPRender::EndPlayback()
{
    Converter = nullptr;
    FRendering = false;
}

TQPRender::TOwnCall::TOwnCall(TQPRender& target) : FTarget(target), FInFlight(std::uncaught_exceptions()) {}

TQPRender::TOwnCall::~TOwnCall()
{
    if (std::uncaught_exceptions() > FInFlight && !FTarget.PlaybackFailed())
        FTarget.FOwnFailure = true;
}

void TQPRender::PrintRender(TStream* zsfStream, const QString& outputFileName)
{
    FOutputFileName = outputFileName;
    Render(zsfStream);
}

// ---------------------------------------------------------------------------
// TQPRenderStream

TQPRenderStream::~TQPRenderStream() = default;

void TQPRenderStream::InitFileStream(const QString& fileName)
{
    FOwnedStream = std::make_unique<TSafeFileStream>(fileName);
    FOutputStream = FOwnedStream.get();
    FActiveStream = FOutputStream;
}

void TQPRenderStream::SetOutputStream(TStream* stream)
{
    FOutputStream = stream;
    FActiveStream = stream;
}

void TQPRenderStream::PrintAnsi(const QString& text)
{
    if (FActiveStream)
        FActiveStream->WriteBytes(UnicodeToAnsi(text));
}

void TQPRenderStream::PrintAnsiLn(const QString& text)
{
    PrintAnsi(text + QStringLiteral("\r\n"));
}

void TQPRenderStream::PrintAnsiF(const QString& format, const std::vector<FormatArg>& args)
{
    PrintAnsi(FormatList(format, args));
}

void TQPRenderStream::PrintAnsiLnF(const QString& format, const std::vector<FormatArg>& args)
{
    PrintAnsiLn(FormatList(format, args));
}

void TQPRenderStream::CloseStream()
{
    if (FOwnedStream)
        FOwnedStream->Commit();
    FOwnedStream.reset();
    FOutputStream = nullptr;
    FActiveStream = nullptr;
    ReleaseZSFStream();
}
