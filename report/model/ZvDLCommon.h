#pragma once
// ZvDLCommon: what the report writer and its data-link drivers share, and
// the value encodings of the cross-process data channel.
//
// Value encodings (little-endian, back to back, no padding): Int 4 bytes,
// Int64 8, Bool 1, Float the 10-byte x87 extended, Curr a signed 64-bit
// amount times 10000, DateTime a double of days since 1899-12-30, Str a list
// of items (Int tag, Int byte count, the bytes) ended by tag 0: tag 2 the
// text as UTF-16LE, tag 1 the same text in the system ANSI code page. A
// reader takes the UTF-16 item and skips an ANSI item after it; other tags
// are skipped by their count.
//
// TZarvCursor reads and writes those values inside one block of known size:
// every access is checked against the block first, and one that does not
// fit fails through the cursor's Fail procedure (EDLBufferError unless the
// owner sets another) before any byte is touched.
//
// Driver interface. A driver is a library exporting sixteen procedures by
// the names in kDLExportNames (or a driver class linked into the program),
// each taking one packed record whose first Int32 is the result code (0
// success, -1 failure; the configure calls answer 1 accepted, 0 cancelled).
// Texts are zero-terminated UTF-16, owned by the side that sets them and
// valid during the call. Pointers are 8 bytes; the records below give the
// offsets of this 64-bit layout. An absent connection or result-set handle
// is -1 on both sides; handles themselves are powers of two.
//
// TDLBuffer is the row a driver returns: a slot table of two Int32 per field
// (value offset, formatted-text offset; -1 null, 0 nothing) counted from its
// start, then the values in the channel's encodings.
//
// This unit uses nothing above platform/rtl, so a driver library builds
// from its source and ZvDLBase's.
#include "platform/rtl/Exceptions.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

RTL_EXCEPTION_CLASS(EDLBufferError, Exception);

// Str item tags.
constexpr int32_t kStrTagEnd = 0;
constexpr int32_t kStrTagAnsi = 1;
constexpr int32_t kStrTagWide = 2;

// The bytes a Str of text takes: 20 + 2 * UTF-16 units + ANSI bytes.
int64_t ZarvStrSize(const QString& text);

// The kinds of native value a row holds.
enum class TDLValueKind : uint8_t {
    vkNull,
    vkStr,
    vkInt,
    vkInt64,
    vkBool,
    vkFloat,
    vkCurr,
    vkDateTime,
    vkBlob
};

// One native value to write: the member its kind names is used.
struct TDLValue {
    TDLValueKind Kind = TDLValueKind::vkNull;
    QString Text;
    int64_t Int = 0;   // vkInt, vkInt64, vkCurr (scaled by 10000)
    double Float = 0;  // vkFloat, vkDateTime
    bool Bool = false; // vkBool
    const void* Blob = nullptr;
    int32_t Len = 0; // vkBlob
};
// Its encoded size in bytes (a blob includes its Int length).
int64_t DLValueSize(const TDLValue& value);

class TZarvCursor {
public:
    using TFailProc = void (*)(const QString& message);

    // Points the cursor at size bytes from base, at offset pos.
    void Reset(uint8_t* base, int64_t size, int64_t pos);
    uint8_t* Base() const { return FBase; }
    int64_t Size() const { return FSize; }
    int64_t Pos() const { return FPos; }
    // Moves to offset pos (0 ... Size); outside fails.
    void Seek(int64_t pos);
    // Fails unless count more bytes fit from the cursor.
    void Need(int64_t count) const;
    bool Fits(int64_t count) const { return count >= 0 && count <= FSize - FPos; }

    void WriteInt(int32_t value);
    void WriteInt64(int64_t value);
    void WriteBool(bool value);
    void WriteFloat(double value);
    void WriteCurr(int64_t scaled);
    void WriteDateTime(double value);
    void WriteBuf(const void* buffer, int64_t len);
    void WriteStr(const QString& text);
    void WriteValue(const TDLValue& value);
    // Writes an Int at an offset without moving.
    void PokeInt(int64_t offset, int32_t value);

    int32_t ReadInt();
    int64_t ReadInt64();
    bool ReadBool();
    double ReadFloat();
    int64_t ReadCurr();
    double ReadDateTime();
    void ReadBuf(void* buffer, int64_t len);
    QString ReadStr();
    int32_t PeekInt(int64_t offset) const;

    TFailProc Fail = nullptr; // null: raise EDLBufferError

private:
    [[noreturn]] void Refuse(const QString& message) const;

    uint8_t* FBase = nullptr;
    int64_t FSize = 0;
    int64_t FPos = 0;
};

// ---------------------------------------------------------------------------
// The driver interface records (packed, 64-bit pointers).

#pragma pack(push, 1)
struct TDLInformation {
    int32_t Resultcode;
    uint8_t Installed;
    uint16_t VerMajor;
    uint16_t VerMinor;
    char16_t InternalName[33];
    char16_t DisplayName[256];
};
struct TDLErrorText {
    int32_t ConnectionHandle;
    int32_t ResultSetHandle;
    const char16_t* ErrorText;
};
struct TDLConnectionConfigure {
    int32_t ResultCode;
    const char16_t* DataSource;
    const char16_t* Options;
    const char16_t* UserName;
    const char16_t* PassWord;
};
struct TDLConnectionOpen {
    int32_t Resultcode;
    const char16_t* DataSource;
    const char16_t* Options;
    const char16_t* UserName;
    const char16_t* Password;
    int32_t ConnectionHandle;
};
struct TDLConnectionClose {
    int32_t ResultCode;
    int32_t ConnectionHandle;
};
struct TDLTableItem {
    const char16_t* Name;
};
struct TDLTables {
    int32_t ResultCode;
    int32_t ConnectionHandle;
    int32_t TableCount;
    const TDLTableItem* TableList;
};
struct TDLFieldItem {
    const char16_t* FieldName;
    uint8_t DataType; // the report's data type ordinal (0 string ... 12 Int64)
    int32_t Width;
    const char16_t* FullName; // null when equal to FieldName
    const char16_t* Description;
};
struct TDLFields {
    int32_t ResultCode;
    int32_t ConnectionHandle;
    const char16_t* TableName;
    int32_t FieldCount;
    const TDLFieldItem* FieldList;
};
struct TDLResultSetOpen {
    int32_t ResultCode;
    int32_t ConnectionHandle;
    const char16_t* QueryCommand;
    int32_t ResultSetHandle;
    int32_t FieldCount;
    const TDLFieldItem* FieldList;
};
struct TDLResultSetHandleRec {
    int32_t ResultCode;
    int32_t ResultSetHandle;
};
using TDLResultSetClose = TDLResultSetHandleRec;
using TDLResultSetFirst = TDLResultSetHandleRec;
using TDLResultSetNext = TDLResultSetHandleRec;
using TDLResultSetFilter = TDLResultSetHandleRec;
using TDLResultSetSort = TDLResultSetHandleRec;
struct TDLResultSetEOF {
    int32_t ResultCode;
    int32_t ResultSetHandle;
    uint8_t Eof;
};
struct TDLResultSetRow {
    int32_t ResultCode;
    int32_t ResultSetHandle;
    int32_t TransferCount;
    const uint8_t* TransferList;
    const uint8_t* RowBuffer;
    int32_t RowBufSize;
};
struct TDLResultSetConfigure {
    int32_t ResultCode;
    int32_t ConnectionHandle;
    const char16_t* QueryCommand;
    const char16_t* QueryStruct;
};
#pragma pack(pop)

static_assert(sizeof(TDLInformation) == 587 && offsetof(TDLInformation, DisplayName) == 75);
static_assert(sizeof(TDLErrorText) == 16 && sizeof(TDLConnectionConfigure) == 36);
static_assert(sizeof(TDLConnectionOpen) == 40 && offsetof(TDLConnectionOpen, ConnectionHandle) == 36);
static_assert(sizeof(TDLTables) == 20 && sizeof(TDLFields) == 28 && offsetof(TDLFields, FieldList) == 20);
static_assert(sizeof(TDLFieldItem) == 29 && offsetof(TDLFieldItem, FullName) == 13);
static_assert(sizeof(TDLResultSetOpen) == 32 && sizeof(TDLResultSetEOF) == 9);
static_assert(sizeof(TDLResultSetRow) == 32 && offsetof(TDLResultSetRow, RowBufSize) == 28);
static_assert(sizeof(TDLResultSetConfigure) == 24);

// The handle of no connection or result set.
constexpr int32_t kDLNoHandle = -1;

// Every export takes a pointer to its record.
using TDLProc = void (*)(void* params);

// The export names, in the order the host binds them.
constexpr int kDLExportCount = 16;
extern const char* const kDLExportNames[kDLExportCount];
enum TDLExport {
    dleInformation,
    dleGetErrorText,
    dleConnectionConfigure,
    dleConnectionOpen,
    dleConnectionClose,
    dleGetTables,
    dleGetFields,
    dleResultSetOpen,
    dleResultSetClose,
    dleResultSetFirst,
    dleResultSetNext,
    dleResultSetEOF,
    dleResultSetGetRow,
    dleResultSetSetFilter,
    dleResultSetSetSort,
    dleResultSetConfigure,
};

// Copies text into a fixed zero-terminated array of capacity units (cut to
// fit), and reads one back (up to its terminator or the capacity).
void CopyToWideArray(char16_t* dest, int capacity, const QString& text);
QString WideArrayText(const char16_t* source, int capacity);
// The text of a zero-terminated UTF-16 pointer; empty for null.
QString WideText(const char16_t* text);

// ---------------------------------------------------------------------------
// The row a driver returns.

class TDLBuffer {
public:
    TDLBuffer();
    // Cursor to the start, one zeroed slot pair per field, first field next.
    void Init(int32_t fieldCount);

    void WriteNullData();
    void WriteStrData(const QString& formatData, const QString& nativeData);
    void WriteLongData(const QString& formatData, int32_t nativeData);
    void WriteInt64Data(const QString& formatData, int64_t nativeData);
    void WriteBoolData(const QString& formatData, bool nativeData);
    void WriteFloatData(const QString& formatData, double nativeData);
    void WriteCurrData(const QString& formatData, int64_t scaled);
    void WriteBCDData(const QString& formatData, int64_t scaled);
    void WriteDateTimeData(const QString& formatData, double nativeData);
    void WriteBlobData(const void* buffer, int32_t len);

    const uint8_t* RowBuf() const { return FRowBuf.data(); }
    int32_t RowBufSize() const { return int32_t(FRowBuf.size()); }
    int32_t UsedSize() const { return int32_t(FCursor.Pos()); }
    int32_t FieldCount() const { return FFieldCount; }

private:
    // Writes the field at the next slot: the formatted text when one is
    // given, then the value. Raises EDLBufferError past the last field.
    void Put(const QString* formatted, const TDLValue& value);
    void MakeRoom(int64_t count);

    std::vector<uint8_t> FRowBuf;
    TZarvCursor FCursor; // FRowBufPtr
    int32_t FFieldIndex = 0;
    int32_t FAddPad = 4096;
    int32_t FFieldCount = 0;
};

// Writes a field at slot (0-based) of the row whose slot table starts at
// rowStart in cursor: the formatted text (when not null) and its offset,
// then the value and its offset (-1 for a null value, nothing written).
void WriteRowField(TZarvCursor& cursor, int64_t rowStart, int slot, const QString* formatted,
                   const TDLValue& value);
