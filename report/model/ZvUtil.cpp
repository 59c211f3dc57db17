#include "report/model/ZvUtil.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Extended80.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvLzw.h"
#include "report/print/QpBase.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>

namespace {

constexpr int kCodePageUtf16 = 1200;
constexpr int kCodePageUtf16BE = 1201;
constexpr int kCodePageUtf8 = 65001;
constexpr int kLzwSymbolBits = 8;
constexpr int kLzwMaxBits = 13;

[[noreturn]] void ShortRead()
{
    throw EReadError(QStringLiteral("Stream read error"));
}

// How many bytes follow an index's first byte.
int IndexTail(uint8_t first)
{
    return first < 0x80 ? 0 : first < 0xC0 ? 1 : first < 0xE0 ? 2 : 3;
}

// The index that starts with first, its tail bytes at tail.
int32_t IndexValue(uint8_t first, const uint8_t* tail)
{
    static constexpr uint8_t kBase[] = {0, 0x80, 0xC0, 0xE0};
    const int more = IndexTail(first);
    uint32_t v = first - kBase[more];
    for (int i = 0; i < more; ++i)
        v = v << 8 | tail[i];
    return int32_t(v);
}

// The index's one to four bytes put at out; answers how many.
int IndexBytes(int32_t value, uint8_t* out)
{
    if (value < 0 || value > kMaxIndex)
        ZarvError(Translate(
            QStringLiteral("Index value %1 is outside the range 0 to %2").arg(value).arg(kMaxIndex)));
    const auto v = uint32_t(value);
    if (v < 0x80) {
        out[0] = uint8_t(v);
        return 1;
    }
    if (v < 0x4000) {
        out[0] = uint8_t(0x80 | (v >> 8));
        out[1] = uint8_t(v);
        return 2;
    }
    if (v < 0x200000) {
        out[0] = uint8_t(0xC0 | (v >> 16));
        out[1] = uint8_t(v >> 8);
        out[2] = uint8_t(v);
        return 3;
    }
    out[0] = uint8_t(0xE0 | (v >> 24));
    out[1] = uint8_t(v >> 16);
    out[2] = uint8_t(v >> 8);
    out[3] = uint8_t(v);
    return 4;
}

// The text of bytes stored with a code page.
QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    if (codePage == kCodePageUtf16 || codePage == kCodePageUtf16BE) {
        const bool big = codePage == kCodePageUtf16BE;
        QString text(bytes.size() / 2, Qt::Uninitialized);
        const auto* in = reinterpret_cast<const uint8_t*>(bytes.constData());
        char16_t* out = reinterpret_cast<char16_t*>(text.data());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const uint8_t b0 = in[2 * i];
            const uint8_t b1 = in[2 * i + 1];
            out[i] = char16_t(big ? (b0 << 8) | b1 : (b1 << 8) | b0);
        }
        return text;
    }
    if (codePage == kCodePageUtf8)
        return QString::fromUtf8(bytes);
    return AnsiToUnicode(bytes, codePage);
}

void PutLE(uint8_t* bytes, uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
}

uint64_t GetLE(const uint8_t* bytes, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

// ---------------------------------------------------------------------------
// Tolerant comparison.

bool FloatEqual(double a, double b)
{
    return std::fabs(static_cast<long double>(a) - static_cast<long double>(b)) <=
           static_cast<long double>(FloatEpsilon);
}

bool FloatNotEqual(double a, double b)
{
    return !FloatEqual(a, b);
}

bool FloatGreater(double a, double b)
{
    return static_cast<long double>(a) - static_cast<long double>(b) >=
           static_cast<long double>(FloatEpsilon);
}

bool FloatLess(double a, double b)
{
    return static_cast<long double>(b) - static_cast<long double>(a) >=
           static_cast<long double>(FloatEpsilon);
}

bool FloatLessEqual(double a, double b)
{
    return !FloatGreater(a, b);
}

bool FloatGreaterEqual(double a, double b)
{
    return !FloatLess(a, b);
}

double FloatMin(double a, double b)
{
    return a > b ? b : a;
}

double FloatMax(double a, double b)
{
    return a < b ? b : a;
}

// ---------------------------------------------------------------------------
// Rectangles.

TZarvRect ZarvRect(double left, double top, double right, double bottom)
{
    return TZarvRect{left, top, right, bottom};
}

TZarvPoint ZarvPoint(double x, double y)
{
    return TZarvPoint{x, y};
}

bool PtInZarvRect(const TZarvRect& rect, const TZarvPoint& point)
{
    return FloatLessEqual(rect.Left, point.X) && FloatGreaterEqual(rect.Right, point.X) &&
           FloatLessEqual(rect.Top, point.Y) && FloatGreaterEqual(rect.Bottom, point.Y);
}

bool IntersectZarvRect(TZarvRect& dest, const TZarvRect& r1, const TZarvRect& r2)
{
    dest.Left = std::max(r1.Left, r2.Left);
    dest.Top = std::max(r1.Top, r2.Top);
    dest.Right = std::min(r1.Right, r2.Right);
    dest.Bottom = std::min(r1.Bottom, r2.Bottom);
    return FloatLessEqual(dest.Left, dest.Right) && FloatLessEqual(dest.Top, dest.Bottom);
}

// ---------------------------------------------------------------------------
// Names and text.

QString FieldNameToDisplay(const QString& name)
{
    QString result;
    result.reserve(name.size());
    int open = 0;
    for (const QChar c : name) {
        if (c == u'<') {
            ++open;
        } else if (c == u'>' && open > 0) {
            --open;
        } else {
            result.append(c);
        }
    }
    return result;
}

QString FieldNameToIdent(const QString& name)
{
    if (name.startsWith(u'<'))
        return name;
    for (const QChar c : name) {
        const auto low = uint8_t(c.unicode() & 0xFF);
        const bool identChar = (low >= 'A' && low <= 'Z') || (low >= 'a' && low <= 'z') ||
                               (low >= '0' && low <= '9') || low == '_';
        if (!identChar)
            return QLatin1Char('<') + name + QLatin1Char('>');
    }
    return name;
}

void ParseTaggedText(QString& s, QChar& sep, const QString& separators, QString& token)
{
    int open = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'<') {
            ++open;
        } else if (c == u'>') {
            if (open > 0)
                --open;
        } else if (open == 0 && separators.contains(c)) {
            token = Trim(s.left(i));
            sep = c;
            s = Trim(s.mid(i + 1));
            return;
        }
    }
    token = Trim(s);
    sep = QChar(0);
    s.clear();
}

void ExtractQuotedToken(QString& s, QChar quote, QString& token)
{
    token.clear();
    if (!s.startsWith(quote))
        return;
    qsizetype i = 1;
    while (i < s.size()) {
        if (s.at(i) == quote) {
            if (i + 1 < s.size() && s.at(i + 1) == quote) {
                token.append(quote);
                i += 2;
                continue;
            }
            s = Trim(s.mid(i + 1));
            return;
        }
        token.append(s.at(i));
        ++i;
    }
    s.clear();
}

int PropListPos(const QString& item, const QString& list)
{
    const QChar quote(u'`');
    return AnsiPosOf(quote + item + quote, list + quote);
}

bool PropListHas(const QString& item, const QString& list)
{
    return PropListPos(item, list) != 0;
}

bool SameTextLocale(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty();
    return AnsiCompareText(a, b) == 0;
}

QString FloatToTextTrimmed(double value, int digits)
{
    if (!std::isfinite(value))
        return FloatToStr(value);
    // Rounded to 15 significant digits first; decimals beyond those digits
    // would be zeros, which the trimming drops anyway.
    char buffer[400];
    auto res = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    double rounded = value;
    std::from_chars(buffer, res.ptr, rounded);
    const char* e = std::find(buffer, res.ptr, 'e');
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
    if (exponent >= 15)
        return FloatToStr(rounded);
    const int decimals = std::clamp(std::min(digits, 14 - exponent), 0, 18);
    res = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, decimals);
    QString text = QString::fromLatin1(buffer, res.ptr - buffer);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

QString ExtractNumberText(const QString& s)
{
    const QChar separator = DecimalSeparator();
    QString result;
    bool separatorKept = false;
    for (const QChar c : s) {
        const bool digit = c >= u'0' && c <= u'9';
        const bool firstSeparator = c == separator && !separatorKept;
        const bool leadingMinus = c == u'-' && result.isEmpty();
        if (digit || firstSeparator || leadingMinus)
            result.append(c);
        separatorKept = separatorKept || firstSeparator;
    }
    return result;
}

double ExtractNumberValue(const QString& s, double def)
{
    QString text = s;
    const QChar separator = DecimalSeparator();
    if (separator != u'.') {
        const qsizetype at = text.indexOf(separator);
        if (at >= 0)
            text[at] = u'.';
    }
    QByteArray latin = Trim(text).toLatin1();
    if (latin.startsWith('+'))
        latin.remove(0, 1);
    if (latin.isEmpty())
        return def;
    double value = 0;
    const char* end = latin.constData() + latin.size();
    const auto res = std::from_chars(latin.constData(), end, value);
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(value))
        return def;
    return value;
}

int64_t ZigZagDecode(int64_t n)
{
    return n % 2 == 0 ? n / 2 : -(n / 2) - 1;
}

// ---------------------------------------------------------------------------
// Run control.

void AbortReport(TZarvComponent* component)
{
    if (!component)
        return;
    auto* project = dynamic_cast<IZarvProjectManager*>(component->Project());
    TBaseReport* report = project ? project->BaseReport() : nullptr;
    if (!report)
        return;
    report->Abort();
    Abort();
}

void ZarvNoOp() {}

// ---------------------------------------------------------------------------
// Block compression.

uint8_t DefaultCompressMethod = 0;
TZarvCompressProc CompressProc = &ZarvCompress;
TZarvCompressProc DecompressProc = &ZarvDecompress;

namespace {

[[noreturn]] void UnknownMethod(uint8_t method)
{
    ZarvError(Translate(QStringLiteral("Unknown compression method %1").arg(method)));
}

TLzwReadProc ReaderOf(TStream& source)
{
    return [&source](uint8_t* buffer, int count) { return int(source.Read(buffer, count)); };
}

TLzwWriteProc WriterOf(TStream& dest)
{
    return [&dest](const uint8_t* buffer, int count) { dest.WriteBuffer(buffer, count); };
}

void CopyRest(TStream& source, TStream& dest)
{
    const int64_t left = source.Size() - source.Position();
    if (left > 0)
        dest.CopyFrom(source, left);
}

} // namespace

void ZarvCompress(uint8_t method, TStream& source, TStream& dest)
{
    switch (method) {
    case 0:
        CopyRest(source, dest);
        break;
    case 2:
        LzwCompress(kLzwSymbolBits, kLzwMaxBits, ReaderOf(source), WriterOf(dest));
        break;
    default:
        UnknownMethod(method);
    }
}

void ZarvDecompress(uint8_t method, TStream& source, TStream& dest)
{
    switch (method) {
    case 0:
        CopyRest(source, dest);
        break;
    case 2:
        LzwDecompress(kLzwSymbolBits, kLzwMaxBits, ReaderOf(source), WriterOf(dest));
        break;
    default:
        UnknownMethod(method);
    }
}

// ---------------------------------------------------------------------------
// TStreamHelper.

TStreamHelper::TStreamHelper(TStream& stream) : FCompressMethod(DefaultCompressMethod)
{
    PushStream(stream);
}

TStreamHelper::~TStreamHelper() = default;

void TStreamHelper::PushStream(TStream& stream)
{
    FStack.push_back(Entry{&stream, nullptr});
    SetCurrent(&stream);
}

void TStreamHelper::PushOwned(std::unique_ptr<TStream> stream)
{
    TStream* raw = stream.get();
    FStack.push_back(Entry{raw, std::move(stream)});
    SetCurrent(raw);
}

std::unique_ptr<TStream> TStreamHelper::PopStream()
{
    if (FStack.empty())
        return nullptr;
    std::unique_ptr<TStream> owned = std::move(FStack.back().Owned);
    FStack.pop_back();
    SetCurrent(FStack.empty() ? nullptr : FStack.back().Stream);
    return owned;
}

// Only a memory stream of exactly that class: a derived one may read
// otherwise.
void TStreamHelper::SetCurrent(TStream* stream)
{
    FStream = stream;
    FMemory =
        stream && typeid(*stream) == typeid(TMemoryStream) ? static_cast<TMemoryStream*>(stream) : nullptr;
}

void TStreamHelper::SavePos()
{
    FLastPos = FStream->Position();
}

void TStreamHelper::RestorePos()
{
    if (FLastPos >= 0)
        FStream->SetPosition(FLastPos);
}

bool TStreamHelper::Empty() const
{
    return FStream->Position() >= FStream->Size();
}

int64_t TStreamHelper::BytesLeft() const
{
    return std::max<int64_t>(0, FStream->Size() - FStream->Position());
}

void TStreamHelper::CheckBytesLeft(int64_t count) const
{
    if (count < 0 || count > BytesLeft())
        ShortRead();
}

void TStreamHelper::Write(const void* buffer, int64_t count)
{
    FStream->WriteBuffer(buffer, count);
}

void TStreamHelper::Read(void* buffer, int64_t count)
{
    FStream->ReadBuffer(buffer, count);
}

void TStreamHelper::WriteByte(uint8_t value)
{
    Write(&value, 1);
}

uint8_t TStreamHelper::ReadByte()
{
    uint8_t value = 0;
    Read(&value, 1);
    return value;
}

void TStreamHelper::WriteBoolean(bool value)
{
    WriteByte(value ? 1 : 0);
}

bool TStreamHelper::ReadBoolean()
{
    return ReadByte() != 0;
}

void TStreamHelper::WriteAnsiChar(char value)
{
    WriteByte(uint8_t(value));
}

char TStreamHelper::ReadAnsiChar()
{
    return char(ReadByte());
}

void TStreamHelper::WriteShortInt(int8_t value)
{
    WriteByte(uint8_t(value));
}

int8_t TStreamHelper::ReadShortInt()
{
    return int8_t(ReadByte());
}

void TStreamHelper::WriteSmallInt(int16_t value)
{
    WriteWord(uint16_t(value));
}

int16_t TStreamHelper::ReadSmallInt()
{
    return int16_t(ReadWord());
}

void TStreamHelper::WriteWord(uint16_t value)
{
    uint8_t bytes[2];
    PutLE(bytes, value, 2);
    Write(bytes, 2);
}

uint16_t TStreamHelper::ReadWord()
{
    uint8_t bytes[2];
    Read(bytes, 2);
    return uint16_t(GetLE(bytes, 2));
}

void TStreamHelper::WriteInteger(int32_t value)
{
    WriteCardinal(uint32_t(value));
}

int32_t TStreamHelper::ReadInteger()
{
    return int32_t(ReadCardinal());
}

void TStreamHelper::WriteCardinal(uint32_t value)
{
    uint8_t bytes[4];
    PutLE(bytes, value, 4);
    Write(bytes, 4);
}

uint32_t TStreamHelper::ReadCardinal()
{
    uint8_t bytes[4];
    Read(bytes, 4);
    return uint32_t(GetLE(bytes, 4));
}

void TStreamHelper::WriteSingle(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    WriteCardinal(bits);
}

float TStreamHelper::ReadSingle()
{
    const uint32_t bits = ReadCardinal();
    float value = 0;
    std::memcpy(&value, &bits, 4);
    return value;
}

void TStreamHelper::WriteInt64(int64_t value)
{
    uint8_t bytes[8];
    PutLE(bytes, uint64_t(value), 8);
    Write(bytes, 8);
}

int64_t TStreamHelper::ReadInt64()
{
    uint8_t bytes[8];
    Read(bytes, 8);
    return int64_t(GetLE(bytes, 8));
}

void TStreamHelper::WriteDouble(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    WriteInt64(int64_t(bits));
}

double TStreamHelper::ReadDouble()
{
    const auto bits = uint64_t(ReadInt64());
    double value = 0;
    std::memcpy(&value, &bits, 8);
    return value;
}

double TStreamHelper::ReadDateTime()
{
    return ReadDouble();
}

void TStreamHelper::WriteExtended(double value)
{
    const TExtended80Rec bytes = DoubleToExtended(value);
    Write(bytes.data(), int64_t(bytes.size()));
}

double TStreamHelper::ReadExtended()
{
    TExtended80Rec bytes{};
    Read(bytes.data(), int64_t(bytes.size()));
    return ExtendedToDouble(bytes);
}

void TStreamHelper::WriteIndex(int32_t value)
{
    uint8_t bytes[4];
    Write(bytes, IndexBytes(value, bytes));
}

int32_t TStreamHelper::ReadIndex()
{
    const uint8_t b = ReadByte();
    uint8_t rest[3] = {};
    if (const int more = IndexTail(b); more > 0)
        Read(rest, more);
    return IndexValue(b, rest);
}

// The string goes out in one write: its marker, code page, UTF-16 bytes
// (little-endian) and ANSI copy, each with its count.
void TStreamHelper::WriteString(const QString& value)
{
    WriteIndex(kStringMarker);
    WriteIndex(kCodePageUtf16);
    if (value.size() > kMaxIndex / 2)
        ZarvError(
            Translate(QStringLiteral("String of %1 characters is too long to store").arg(value.size())));
    // Code page 1252 keeps ASCII as it is.
    const bool ascii = std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QByteArray ansi = ascii ? value.toLatin1() : UnicodeToAnsi(value);
    const qsizetype units = value.size();
    QByteArray record(8 + units * 2 + ansi.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<uint8_t*>(record.data());
    qsizetype at = IndexBytes(int32_t(units * 2), out);
    const char16_t* chars = reinterpret_cast<const char16_t*>(value.constData());
    for (qsizetype i = 0; i < units; ++i) {
        out[at++] = uint8_t(chars[i] & 0xFF);
        out[at++] = uint8_t(chars[i] >> 8);
    }
    at += IndexBytes(int32_t(ansi.size()), out + at);
    std::memcpy(out + at, ansi.constData(), size_t(ansi.size()));
    Write(record.constData(), at + ansi.size());
}

QString TStreamHelper::ReadString()
{
    if (QString text; FMemory && ReadStringInPlace(text))
        return text;
    const int32_t n = ReadIndex();
    if (n == 0)
        return QString();
    if (n != kStringMarker) {
        CheckBytesLeft(n);
        return AnsiToUnicode(FStream->ReadBytes(n));
    }
    const int32_t codePage = ReadIndex();
    const int32_t count = ReadIndex();
    CheckBytesLeft(count);
    QString text = DecodeCodePage(FStream->ReadBytes(count), codePage);
    // The ANSI copy is for readers without code pages; the text above is
    // exact.
    const int32_t ansiCount = ReadIndex();
    CheckBytesLeft(ansiCount);
    FStream->Seek(ansiCount, TSeekOrigin::soCurrent);
    return text;
}

// The string at the memory stream's position, ANSI or UTF-16, read out of
// its bytes with the checks ReadString makes. Anything else (another code
// page, a length past the end) reads nothing and answers false: the stream
// road then reads it, or raises, as it always has.
bool TStreamHelper::ReadStringInPlace(QString& text)
{
    const QByteArray& bytes = static_cast<const TMemoryStream*>(FMemory)->Bytes();
    const int64_t size = bytes.size();
    const int64_t start = FMemory->Position();
    if (start < 0 || start >= size)
        return false;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    int64_t at = start;
    const auto index = [&](int32_t& value) {
        if (at >= size || IndexTail(data[at]) > size - at - 1)
            return false;
        value = IndexValue(data[at], data + at + 1);
        at += 1 + IndexTail(data[at]);
        return true;
    };
    int32_t n = 0;
    if (!index(n))
        return false;
    if (n == 0) {
        text = QString();
        FMemory->SetPosition(at);
        return true;
    }
    if (n != kStringMarker) {
        if (n > size - at)
            return false;
        text = AnsiToUnicode(QByteArray::fromRawData(bytes.constData() + at, qsizetype(n)));
        FMemory->SetPosition(at + n);
        return true;
    }
    int32_t codePage = 0;
    int32_t count = 0;
    if (!index(codePage) || codePage != kCodePageUtf16 || !index(count) || count < 0 || count > size - at)
        return false;
    const int64_t textAt = at;
    at += count;
    int32_t ansiCount = 0;
    if (!index(ansiCount) || ansiCount < 0 || ansiCount > size - at)
        return false;
    text = DecodeCodePage(QByteArray::fromRawData(bytes.constData() + textAt, qsizetype(count)), codePage);
    FMemory->SetPosition(at + ansiCount);
    return true;
}

void TStreamHelper::StartWriteBlock()
{
    PushOwned(std::make_unique<TMemoryStream>());
}

void TStreamHelper::FinishWriteBlock()
{
    if (FStack.size() < 2 || !FStack.back().Owned)
        ZarvError(Translate(QStringLiteral("No block is open")));
    std::unique_ptr<TStream> block = PopStream();
    WriteByte(FCompressMethod);
    const int64_t lengthAt = FStream->Position();
    WriteInteger(0);
    block->SetPosition(0);
    CompressProc(FCompressMethod, *block, *FStream);
    block.reset();
    const int64_t end = FStream->Position();
    const int64_t length = end - 4 - lengthAt;
    if (length > std::numeric_limits<int32_t>::max())
        ZarvError(Translate(QStringLiteral("Block of %1 bytes is too long to store").arg(length)));
    FStream->SetPosition(lengthAt);
    WriteInteger(int32_t(length));
    FStream->SetPosition(end);
}

int32_t TStreamHelper::ReadBlockLength()
{
    const int32_t length = ReadInteger();
    if (length < 0)
        ZarvError(Translate(QStringLiteral("Invalid block length %1").arg(length)));
    CheckBytesLeft(length);
    return length;
}

void TStreamHelper::StartReadBlock()
{
    const uint8_t method = ReadByte();
    const int32_t length = ReadBlockLength();
    auto stored = std::make_unique<TMemoryStream>(FStream->ReadBytes(length));
    if (method == 0) {
        PushOwned(std::move(stored));
    } else {
        // Decoded completely before it is pushed, so a bad block leaves the
        // stack as it was.
        auto decoded = std::make_unique<TMemoryStream>();
        DecompressProc(method, *stored, *decoded);
        PushOwned(std::move(decoded));
    }
    FStream->SetPosition(0);
}

void TStreamHelper::FinishReadBlock()
{
    if (FStack.size() < 2 || !FStack.back().Owned)
        ZarvError(Translate(QStringLiteral("No block is open")));
    PopStream();
}

void TStreamHelper::SkipBlock()
{
    ReadIndex(); // the method
    const int32_t length = ReadBlockLength();
    FStream->Seek(length, TSeekOrigin::soCurrent);
}

void TStreamHelper::SaveBlock(TStream& source)
{
    FStream->CopyFrom(source, 0);
}

void TStreamHelper::LoadBlock(TStream& dest)
{
    const uint8_t method = ReadByte();
    const int32_t length = ReadBlockLength();
    uint8_t header[5];
    header[0] = method;
    PutLE(header + 1, uint32_t(length), 4);
    dest.WriteBuffer(header, 5);
    dest.WriteBytes(FStream->ReadBytes(length));
}
