#pragma once
// ZvUtil: small routines the report model, the data views and the report
// components share (tolerant comparison of lengths, rectangles in inches,
// field-name forms, token splitting, number text, the abort of a running
// report, a stack of pointers) and TStreamHelper, the typed reader and writer
// of project files, report and page blocks, the property stream and compiled
// script modules.
#include "platform/rtl/StringList.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class TMemoryStream;
class TStream;
class TZarvComponent;

// A length in inches.
using TZarvUnits = double;

// ---------------------------------------------------------------------------
// Tolerant comparison of lengths (inches).

constexpr double FloatEpsilon = 0.0001;

// The differences are taken in extended precision from the two doubles and
// compared with the tolerance held as a double; equality is inclusive.
bool FloatEqual(double a, double b);
bool FloatNotEqual(double a, double b);
bool FloatGreater(double a, double b);      // a - b >= tolerance
bool FloatLess(double a, double b);         // b - a >= tolerance
bool FloatLessEqual(double a, double b);    // not FloatGreater
bool FloatGreaterEqual(double a, double b); // not FloatLess
double FloatMin(double a, double b);
double FloatMax(double a, double b);

// ---------------------------------------------------------------------------
// Rectangles and points in inches.

struct TZarvRect {
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;
};

struct TZarvPoint {
    double X = 0;
    double Y = 0;
};

TZarvRect ZarvRect(double left, double top, double right, double bottom);
TZarvPoint ZarvPoint(double x, double y);
// Edges count as inside, with the tolerance.
bool PtInZarvRect(const TZarvRect& rect, const TZarvPoint& point);
// dest is the overlap; true when it is not empty (rectangles that only touch
// give a zero-wide overlap and true).
bool IntersectZarvRect(TZarvRect& dest, const TZarvRect& r1, const TZarvRect& r2);

// ---------------------------------------------------------------------------
// Names and text. Field names that are no identifiers are written between
// angle brackets ("<Order Date>").

// Drops every "<" and every ">" that closes an open "<".
QString FieldNameToDisplay(const QString& name);
// A name that starts with "<" unchanged; a name with a character other than
// A-Z, a-z, 0-9 and "_" (judged on the low byte of each character) in angle
// brackets; else the name itself.
QString FieldNameToIdent(const QString& name);
// Splits s at the first character of separators outside angle brackets:
// token is the trimmed text before it, sep the character, s the trimmed rest.
// Without such a character: token is trimmed s, sep is character 0 and s
// becomes empty.
void ParseTaggedText(QString& s, QChar& sep, const QString& separators, QString& token);
// When s starts with quote: token is the text up to the closing quote (a
// doubled quote stands for one) and s the trimmed rest; without a closing
// quote the rest of s is the token. Otherwise token is empty and s stays.
void ExtractQuotedToken(QString& s, QChar quote, QString& token);
// Lists of names each preceded by a backquote ("`Font`Text"): the 1-based
// position of item as a whole entry, 0 when absent; case matters.
int PropListPos(const QString& item, const QString& list);
bool PropListHas(const QString& item, const QString& list);
// Equal without regard to case in the user's locale; two empty texts are
// equal, an empty and a non-empty one are not.
bool SameTextLocale(const QString& a, const QString& b);
// Fixed-point text with 15 significant digits and digits decimals, trailing
// zeros and then a trailing "." removed ("1.5", "2"); always with ".".
QString FloatToTextTrimmed(double value, int digits);
// The digits of s, the first decimal separator of the locale and a "-" met
// before anything was kept; everything else dropped.
QString ExtractNumberText(const QString& s);
// s as a number; the locale's decimal separator (its first occurrence) is
// read as "."; def when s is no number.
double ExtractNumberValue(const QString& s, double def);
// 0, 1, 2, 3, 4 ... give 0, -1, 1, -2, 2 ...
int64_t ZigZagDecode(int64_t n);

// ---------------------------------------------------------------------------
// Lists.

// Deletes every non-null entry and empties the list; a null list is ignored.
template <class T> void FreeListItems(std::vector<T*>* list)
{
    if (!list)
        return;
    for (T* item : *list)
        delete item;
    list->clear();
}
// Deletes every non-null object of a string list (all of type T) and empties
// the list; a null list is ignored.
template <class T> void FreeStringsObjects(TStringList* strings)
{
    if (!strings)
        return;
    for (int i = 0; i < strings->Count(); ++i)
        delete static_cast<T*>(strings->Objects(i));
    strings->Clear();
}
// Empties dest and appends every entry of source.
template <class T> void CopyListItems(const std::vector<T*>& source, std::vector<T*>& dest)
{
    dest = source;
}

// ---------------------------------------------------------------------------
// Run control.

// When component belongs to a project whose report is running, aborts that
// report and raises the silent abort (EAbort); otherwise does nothing.
void AbortReport(TZarvComponent* component);
// Does nothing; for places that need a procedure.
void ZarvNoOp();

// ---------------------------------------------------------------------------
// A stack of pointers (not owned); the top is the last entry.

template <class T = void> class TZarvStackList {
public:
    void Push(T* item) { FItems.push_back(item); }
    // The top, removed; null when empty.
    T* Pop()
    {
        if (FItems.empty())
            return nullptr;
        T* item = FItems.back();
        FItems.pop_back();
        return item;
    }
    // The entry down places below the top (0 = the top); null when there is
    // none.
    T* Peek(int down) const
    {
        if (down < 0 || down >= Count())
            return nullptr;
        return FItems[FItems.size() - 1 - size_t(down)];
    }
    T* Top() const { return Peek(0); }
    bool IsEmpty() const { return FItems.empty(); }
    int Count() const { return int(FItems.size()); }
    void Clear() { FItems.clear(); }

private:
    std::vector<T*> FItems;
};

// ---------------------------------------------------------------------------
// Typed stream primitives.
//
// Byte forms: fixed-width values little-endian; the index (a number from 0 to
// 0x1FFFFFFF) in 1 to 4 bytes, most significant first (below 0x80: one byte;
// below 0x4000: 0x80 + the high bits, then one byte; below 0x200000: 0xC0 +,
// two bytes; else 0xE0 +, three bytes); a string as the index 16365 (BF ED),
// the index of its code page (1200, UTF-16LE: 84 B0), the index of its byte
// count and the bytes, then an index and the bytes of an ANSI copy ("AB" is
// BF ED 84 B0 04 41 00 42 00 02 41 42; the empty string BF ED 84 B0 00 00). A
// reader also takes the legacy form (an index count of ANSI bytes; 0 is the
// empty string). A block is one method byte (0 stored, 2 LZW), an Int32
// length and that many payload bytes.
//
// Call order: create over the caller's stream; read or write values; a block
// is StartWriteBlock ... FinishWriteBlock or StartReadBlock ...
// FinishReadBlock, nested as deep as needed. A reader checks every count and
// length against the bytes left before it allocates: a short read raises
// EReadError "Stream read error", a malformed value EZarvException.

// The method written into every block: 0, stored. Nothing changes it.
extern uint8_t DefaultCompressMethod;

// Block compression from source's position into dest: method 0 copies, 2 is
// LZW with 8-bit symbols and 13-bit codes; another method raises
// EZarvException "Unknown compression method <n>".
void ZarvCompress(uint8_t method, TStream& source, TStream& dest);
void ZarvDecompress(uint8_t method, TStream& source, TStream& dest);
using TZarvCompressProc = void (*)(uint8_t method, TStream& source, TStream& dest);
// The block coders in use; they hold ZarvCompress and ZarvDecompress.
extern TZarvCompressProc CompressProc;
extern TZarvCompressProc DecompressProc;

constexpr int kStringMarker = 16365; // the index that starts a string with a code page
constexpr int kMaxIndex = 0x1FFFFFFF;

class TStreamHelper {
public:
    // Reads and writes stream, which stays the caller's.
    explicit TStreamHelper(TStream& stream);
    ~TStreamHelper();
    TStreamHelper(const TStreamHelper&) = delete;
    TStreamHelper& operator=(const TStreamHelper&) = delete;

    // The stream values go to: the caller's, or the innermost open block.
    TStream& Stream() const { return *FStream; }
    uint8_t CompressMethod() const { return FCompressMethod; }
    void SetCompressMethod(uint8_t method) { FCompressMethod = method; }
    // Streams above the caller's: 1 outside blocks.
    int Depth() const { return int(FStack.size()); }

    // Makes stream (not owned) current until it is popped.
    void PushStream(TStream& stream);
    // Pops the current stream; the one below becomes current. Answers the
    // stream when the helper owned it (an open block), else null.
    std::unique_ptr<TStream> PopStream();
    void SavePos();
    void RestorePos();
    // The current position is at or beyond the end.
    bool Empty() const;
    int64_t BytesLeft() const;
    // Raises EReadError when fewer than count bytes are left (for counts read
    // from the stream, before anything is allocated for them).
    void CheckBytesLeft(int64_t count) const;

    // Fixed-width values.
    void Write(const void* buffer, int64_t count);
    void Read(void* buffer, int64_t count);
    void WriteByte(uint8_t value);
    uint8_t ReadByte();
    void WriteBoolean(bool value);
    bool ReadBoolean();
    void WriteAnsiChar(char value);
    char ReadAnsiChar();
    void WriteShortInt(int8_t value);
    int8_t ReadShortInt();
    void WriteSmallInt(int16_t value);
    int16_t ReadSmallInt();
    void WriteWord(uint16_t value);
    uint16_t ReadWord();
    void WriteInteger(int32_t value);
    int32_t ReadInteger();
    void WriteCardinal(uint32_t value);
    uint32_t ReadCardinal();
    void WriteSingle(float value);
    float ReadSingle();
    void WriteInt64(int64_t value);
    int64_t ReadInt64();
    void WriteDouble(double value);
    double ReadDouble();
    double ReadDateTime();
    // The 10-byte x87 extended format.
    void WriteExtended(double value);
    double ReadExtended();

    // The index; writing a negative value or one above 0x1FFFFFFF raises
    // EZarvException.
    void WriteIndex(int32_t value);
    int32_t ReadIndex();

    void WriteString(const QString& value);
    QString ReadString();

    void StartWriteBlock();
    void FinishWriteBlock();
    void StartReadBlock();
    void FinishReadBlock();
    // Passes over one block without reading its payload.
    void SkipBlock();
    // Copies the whole of source, from its start, into the current stream.
    void SaveBlock(TStream& source);
    // Copies one block, header and payload as they are, into dest.
    void LoadBlock(TStream& dest);

private:
    struct Entry {
        TStream* Stream;
        std::unique_ptr<TStream> Owned; // set for the streams of open blocks
    };
    void PushOwned(std::unique_ptr<TStream> stream);
    void SetCurrent(TStream* stream);
    int32_t ReadBlockLength();
    bool ReadStringInPlace(QString& text);

    std::vector<Entry> FStack;
    TStream* FStream = nullptr;
    // The current stream when it is a plain memory stream: its strings are
    // read straight out of its bytes.
    TMemoryStream* FMemory = nullptr;
    uint8_t FCompressMethod = 0;
    int64_t FLastPos = -1;
};
