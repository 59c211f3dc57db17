#include "report/model/ZvDLCommon.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Extended80.h"

#include <QtEndian>

#include <cstring>

const char* const kDLExportNames[kDLExportCount] = {
    "DataInformation",     "DataGetErrorText",       "DataConnectionConfigure", "DataConnectionOpen",
    "DataConnectionClose", "DataGetTables",          "DataGetFields",           "DataResultSetOpen",
    "DataResultSetClose",  "DataResultSetFirst",     "DataResultSetNext",       "DataResultSetEOF",
    "DataResultSetGetRow", "DataResultSetSetFilter", "DataResultSetSetSort",    "DataResultSetConfigure",
};

int64_t ZarvStrSize(const QString& text)
{
    return 20 + 2 * int64_t(text.size()) + UnicodeToAnsi(text).size();
}

int64_t DLValueSize(const TDLValue& value)
{
    switch (value.Kind) {
    case TDLValueKind::vkNull:
        return 0;
    case TDLValueKind::vkStr:
        return ZarvStrSize(value.Text);
    case TDLValueKind::vkInt:
        return 4;
    case TDLValueKind::vkBool:
        return 1;
    case TDLValueKind::vkFloat:
        return 10;
    case TDLValueKind::vkInt64:
    case TDLValueKind::vkCurr:
    case TDLValueKind::vkDateTime:
        return 8;
    case TDLValueKind::vkBlob:
        return 4 + int64_t(value.Len > 0 ? value.Len : 0);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// TZarvCursor.

void TZarvCursor::Reset(uint8_t* base, int64_t size, int64_t pos)
{
    FBase = base;
    FSize = base ? size : 0;
    FPos = 0;
    Seek(pos);
}

void TZarvCursor::Refuse(const QString& message) const
{
    if (Fail)
        Fail(message);
    throw EDLBufferError(message);
}

void TZarvCursor::Seek(int64_t pos)
{
    if (pos < 0 || pos > FSize)
        Refuse(QStringLiteral("Offset %1 lies outside the data buffer of %2 bytes").arg(pos).arg(FSize));
    FPos = pos;
}

void TZarvCursor::Need(int64_t count) const
{
    if (!Fits(count))
        Refuse(QStringLiteral("%1 bytes at offset %2 do not fit in the data buffer of %3 bytes")
                   .arg(count)
                   .arg(FPos)
                   .arg(FSize));
}

void TZarvCursor::WriteBuf(const void* buffer, int64_t len)
{
    if (len <= 0)
        return;
    Need(len);
    std::memcpy(FBase + FPos, buffer, size_t(len));
    FPos += len;
}

void TZarvCursor::ReadBuf(void* buffer, int64_t len)
{
    if (len <= 0)
        return;
    Need(len);
    std::memcpy(buffer, FBase + FPos, size_t(len));
    FPos += len;
}

void TZarvCursor::WriteInt(int32_t value)
{
    Need(4);
    qToLittleEndian(value, FBase + FPos);
    FPos += 4;
}

void TZarvCursor::WriteInt64(int64_t value)
{
    Need(8);
    qToLittleEndian(value, FBase + FPos);
    FPos += 8;
}

void TZarvCursor::WriteBool(bool value)
{
    const uint8_t byte = value ? 1 : 0;
    WriteBuf(&byte, 1);
}

void TZarvCursor::WriteFloat(double value)
{
    const TExtended80Rec bytes = DoubleToExtended(value);
    WriteBuf(bytes.data(), 10);
}

void TZarvCursor::WriteCurr(int64_t scaled)
{
    WriteInt64(scaled);
}

void TZarvCursor::WriteDateTime(double value)
{
    Need(8);
    qToLittleEndian(value, FBase + FPos);
    FPos += 8;
}

void TZarvCursor::WriteStr(const QString& text)
{
    const QByteArray ansi = UnicodeToAnsi(text);
    Need(20 + 2 * int64_t(text.size()) + ansi.size());
    WriteInt(kStrTagWide);
    WriteInt(int32_t(text.size() * 2));
    qToLittleEndian<char16_t>(text.utf16(), text.size(), FBase + FPos);
    FPos += 2 * int64_t(text.size());
    WriteInt(kStrTagAnsi);
    WriteInt(int32_t(ansi.size()));
    WriteBuf(ansi.constData(), ansi.size());
    WriteInt(kStrTagEnd);
}

void TZarvCursor::WriteValue(const TDLValue& value)
{
    switch (value.Kind) {
    case TDLValueKind::vkNull:
        break;
    case TDLValueKind::vkStr:
        WriteStr(value.Text);
        break;
    case TDLValueKind::vkInt:
        WriteInt(int32_t(value.Int));
        break;
    case TDLValueKind::vkInt64:
    case TDLValueKind::vkCurr:
        WriteInt64(value.Int);
        break;
    case TDLValueKind::vkBool:
        WriteBool(value.Bool);
        break;
    case TDLValueKind::vkFloat:
        WriteFloat(value.Float);
        break;
    case TDLValueKind::vkDateTime:
        WriteDateTime(value.Float);
        break;
    case TDLValueKind::vkBlob: {
        const int32_t len = value.Len > 0 && value.Blob ? value.Len : 0;
        Need(4 + int64_t(len));
        WriteInt(len);
        WriteBuf(value.Blob, len);
        break;
    }
    }
}

void TZarvCursor::PokeInt(int64_t offset, int32_t value)
{
    if (offset < 0 || offset > FSize - 4)
        Refuse(QStringLiteral("Offset %1 lies outside the data buffer of %2 bytes").arg(offset).arg(FSize));
    qToLittleEndian(value, FBase + offset);
}

int32_t TZarvCursor::PeekInt(int64_t offset) const
{
    if (offset < 0 || offset > FSize - 4)
        Refuse(QStringLiteral("Offset %1 lies outside the data buffer of %2 bytes").arg(offset).arg(FSize));
    return qFromLittleEndian<int32_t>(FBase + offset);
}

int32_t TZarvCursor::ReadInt()
{
    const int32_t value = PeekInt(FPos);
    FPos += 4;
    return value;
}

int64_t TZarvCursor::ReadInt64()
{
    Need(8);
    const int64_t value = qFromLittleEndian<int64_t>(FBase + FPos);
    FPos += 8;
    return value;
}

bool TZarvCursor::ReadBool()
{
    uint8_t byte = 0;
    ReadBuf(&byte, 1);
    return byte != 0;
}

double TZarvCursor::ReadFloat()
{
    Need(10);
    const double value = ExtendedToDouble(FBase + FPos);
    FPos += 10;
    return value;
}

int64_t TZarvCursor::ReadCurr()
{
    return ReadInt64();
}

double TZarvCursor::ReadDateTime()
{
    Need(8);
    const double value = qFromLittleEndian<double>(FBase + FPos);
    FPos += 8;
    return value;
}

QString TZarvCursor::ReadStr()
{
    QString result;
    bool wideSeen = false;
    for (;;) {
        const int32_t tag = ReadInt();
        if (tag == kStrTagEnd)
            return result;
        const int32_t count = ReadInt();
        if (count < 0)
            Refuse(QStringLiteral("A text item of %1 bytes at offset %2").arg(count).arg(FPos - 4));
        Need(count);
        const uint8_t* bytes = FBase + FPos;
        if (tag == kStrTagWide) {
            result.resize(count / 2);
            qFromLittleEndian<char16_t>(bytes, count / 2, result.data());
            wideSeen = true;
        } else if (tag == kStrTagAnsi && !wideSeen) {
            result = AnsiToUnicode(QByteArray(reinterpret_cast<const char*>(bytes), count));
        }
        FPos += count;
    }
}

// ---------------------------------------------------------------------------
// Texts of the records.

void CopyToWideArray(char16_t* dest, int capacity, const QString& text)
{
    if (!dest || capacity <= 0)
        return;
    // The arrays of the packed records need not be aligned.
    const int n = std::min<int>(int(text.size()), capacity - 1);
    std::memcpy(dest, text.utf16(), size_t(n) * 2);
    const char16_t zero = 0;
    std::memcpy(dest + n, &zero, 2);
}

QString WideArrayText(const char16_t* source, int capacity)
{
    if (!source)
        return {};
    const QString text = QStringView(source, std::max(capacity, 0)).toString();
    const qsizetype end = text.indexOf(QChar(0));
    return end < 0 ? text : text.left(end);
}

QString WideText(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

// ---------------------------------------------------------------------------
// Rows.

void WriteRowField(TZarvCursor& cursor, int64_t rowStart, int slot, const QString* formatted,
                   const TDLValue& value)
{
    const int64_t slotAt = rowStart + 8 * int64_t(slot);
    if (value.Kind == TDLValueKind::vkNull) {
        cursor.PokeInt(slotAt, -1);
        return;
    }
    if (formatted) {
        cursor.PokeInt(slotAt + 4, int32_t(cursor.Pos() - rowStart));
        cursor.WriteStr(*formatted);
    }
    cursor.PokeInt(slotAt, int32_t(cursor.Pos() - rowStart));
    cursor.WriteValue(value);
}

TDLBuffer::TDLBuffer() : FRowBuf(4096)
{
    FCursor.Reset(FRowBuf.data(), int64_t(FRowBuf.size()), 0);
}

void TDLBuffer::MakeRoom(int64_t count)
{
    const int64_t used = FCursor.Pos();
    if (used + count <= int64_t(FRowBuf.size()))
        return;
    if (used + count + FAddPad > INT32_MAX)
        throw EDLBufferError(QStringLiteral("A row of %1 bytes is too large").arg(used + count));
    FRowBuf.resize(size_t(used + count + FAddPad));
    FCursor.Reset(FRowBuf.data(), int64_t(FRowBuf.size()), used);
}

void TDLBuffer::Init(int32_t fieldCount)
{
    if (fieldCount < 0)
        throw EDLBufferError(QStringLiteral("A row of %1 fields").arg(fieldCount));
    FFieldCount = fieldCount;
    FFieldIndex = 0;
    FCursor.Seek(0);
    MakeRoom(8 * int64_t(fieldCount));
    std::memset(FRowBuf.data(), 0, size_t(8) * size_t(fieldCount));
    FCursor.Seek(8 * int64_t(fieldCount));
}

void TDLBuffer::Put(const QString* formatted, const TDLValue& value)
{
    if (FFieldIndex >= FFieldCount)
        throw EDLBufferError(QStringLiteral("Attempt to write more fields than defined."));
    MakeRoom((formatted ? ZarvStrSize(*formatted) : 0) + DLValueSize(value));
    WriteRowField(FCursor, 0, FFieldIndex, formatted, value);
    ++FFieldIndex;
}

void TDLBuffer::WriteNullData()
{
    Put(nullptr, TDLValue{});
}

void TDLBuffer::WriteStrData(const QString& formatData, const QString& nativeData)
{
    TDLValue value{TDLValueKind::vkStr, nativeData};
    const bool withText = !formatData.isEmpty() && formatData != nativeData;
    Put(withText ? &formatData : nullptr, value);
}

void TDLBuffer::WriteLongData(const QString& formatData, int32_t nativeData)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkInt;
    value.Int = nativeData;
    const bool withText = !formatData.isEmpty() && formatData != QString::number(nativeData);
    Put(withText ? &formatData : nullptr, value);
}

void TDLBuffer::WriteInt64Data(const QString& formatData, int64_t nativeData)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkInt64;
    value.Int = nativeData;
    const bool withText = !formatData.isEmpty() && formatData != QString::number(nativeData);
    Put(withText ? &formatData : nullptr, value);
}

void TDLBuffer::WriteBoolData(const QString& formatData, bool nativeData)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkBool;
    value.Bool = nativeData;
    Put(formatData.isEmpty() ? nullptr : &formatData, value);
}

void TDLBuffer::WriteFloatData(const QString& formatData, double nativeData)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkFloat;
    value.Float = nativeData;
    Put(formatData.isEmpty() ? nullptr : &formatData, value);
}

void TDLBuffer::WriteCurrData(const QString& formatData, int64_t scaled)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkCurr;
    value.Int = scaled;
    Put(formatData.isEmpty() ? nullptr : &formatData, value);
}

void TDLBuffer::WriteBCDData(const QString& formatData, int64_t scaled)
{
    WriteCurrData(formatData, scaled);
}

void TDLBuffer::WriteDateTimeData(const QString& formatData, double nativeData)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkDateTime;
    value.Float = nativeData;
    Put(formatData.isEmpty() ? nullptr : &formatData, value);
}

void TDLBuffer::WriteBlobData(const void* buffer, int32_t len)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkBlob;
    value.Blob = buffer;
    value.Len = len;
    Put(nullptr, value);
}
