#include "platform/objects/ValueStream.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Streams.h"

#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char kSignature[4] = {'T', 'P', 'F', '0'};

// Names of the tags, for messages.
constexpr const char* kValueTypeNames[] = {
    "vaNull",     "vaList", "vaInt8",    "vaInt16", "vaInt32",      "vaExtended", "vaString",     "vaIdent",
    "vaFalse",    "vaTrue", "vaBinary",  "vaSet",   "vaLString",    "vaNil",      "vaCollection", "vaSingle",
    "vaCurrency", "vaDate", "vaWString", "vaInt64", "vaUTF8String", "vaDouble",
};
static_assert(std::size(kValueTypeNames) == kLastValueType + 1);

bool IsAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 127)
            return false;
    }
    return true;
}

} // namespace

QString ValueTypeName(TValueType type)
{
    const int index = int(type);
    if (index < 0 || index > kLastValueType)
        return QStringLiteral("tag %1").arg(index);
    return QLatin1String(kValueTypeNames[index]);
}

// ---------------------------------------------------------------------------
// TValueReader

TValueReader::TValueReader(TStream& stream) : FStream(stream) {}

TValueReader::~TValueReader() = default;

int64_t TValueReader::Position() const
{
    return FStream.Position();
}

int64_t TValueReader::Remaining() const
{
    const int64_t left = FStream.Size() - FStream.Position();
    return left > 0 ? left : 0;
}

QString TValueReader::Where() const
{
    return QStringLiteral("at offset %1").arg(Position());
}

void TValueReader::Fail(const QString& message) const
{
    throw EReadError(message);
}

void TValueReader::InvalidValue(TValueType found) const
{
    // Called right after the tag was read: name the tag's own offset.
    Fail(QStringLiteral("Invalid property value: %1 found at offset %2")
             .arg(ValueTypeName(found))
             .arg(Position() - 1));
}

void TValueReader::ReadRaw(void* buffer, int64_t count)
{
    if (count < 0 || count > Remaining())
        Fail(QStringLiteral("Stream read error: %1 bytes needed, %2 left %3")
                 .arg(count)
                 .arg(Remaining())
                 .arg(Where()));
    FStream.ReadBuffer(buffer, count);
}

QByteArray TValueReader::ReadRawBytes(int64_t count)
{
    if (count < 0 || count > Remaining())
        Fail(QStringLiteral("Stream read error: %1 bytes needed, %2 left %3")
                 .arg(count)
                 .arg(Remaining())
                 .arg(Where()));
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    if (count > 0)
        FStream.ReadBuffer(bytes.data(), count);
    return bytes;
}

uint8_t TValueReader::ReadByte()
{
    uint8_t b = 0;
    ReadRaw(&b, 1);
    return b;
}

int32_t TValueReader::ReadLength(int unitSize)
{
    uint8_t bytes[4];
    ReadRaw(bytes, 4);
    const int32_t length = qFromLittleEndian<qint32>(bytes);
    if (length < 0 || int64_t(length) * unitSize > Remaining())
        Fail(QStringLiteral("Invalid stream format: length %1 with %2 bytes left %3")
                 .arg(length)
                 .arg(Remaining())
                 .arg(Where()));
    return length;
}

void TValueReader::ReadSignature()
{
    char signature[4];
    if (Remaining() < 4)
        Fail(QStringLiteral("Invalid stream format: no signature"));
    ReadRaw(signature, 4);
    if (std::memcmp(signature, kSignature, 4) != 0)
        Fail(QStringLiteral("Invalid stream format: signature %1 instead of TPF0")
                 .arg(QString::fromLatin1(QByteArray(signature, 4).toHex())));
}

void TValueReader::ReadPrefix(TFilerFlags& flags, int& childPos)
{
    flags = 0;
    childPos = -1;
    if (Remaining() < 1)
        Fail(QStringLiteral("Stream read error: object expected %1").arg(Where()));
    uint8_t b = 0;
    FStream.ReadBuffer(&b, 1);
    if ((b & 0xF0) != 0xF0) {
        FStream.Seek(-1, TSeekOrigin::soCurrent);
        return;
    }
    flags = TFilerFlags(b & 0x0F);
    if (flags & ffChildPos)
        childPos = ReadInteger();
}

TValueType TValueReader::ReadValue()
{
    const uint8_t tag = ReadByte();
    if (tag > kLastValueType)
        Fail(QStringLiteral("Invalid stream format: unknown value tag %1 at offset %2")
                 .arg(tag)
                 .arg(Position() - 1));
    return TValueType(tag);
}

TValueType TValueReader::NextValue()
{
    const TValueType type = ReadValue();
    FStream.Seek(-1, TSeekOrigin::soCurrent);
    return type;
}

bool TValueReader::EndOfList()
{
    // A raw peek: in a list of objects the next byte may be an object
    // prefix (0xF1...), which is no value tag.
    const uint8_t next = ReadByte();
    FStream.Seek(-1, TSeekOrigin::soCurrent);
    return next == uint8_t(TValueType::vaNull);
}

void TValueReader::CheckValue(TValueType expected)
{
    const TValueType found = ReadValue();
    if (found != expected)
        Fail(QStringLiteral("Invalid property value: %1 expected but %2 found %3")
                 .arg(ValueTypeName(expected), ValueTypeName(found), Where()));
}

void TValueReader::ReadListBegin()
{
    CheckValue(TValueType::vaList);
}

void TValueReader::ReadListEnd()
{
    CheckValue(TValueType::vaNull);
}

int32_t TValueReader::ReadInteger()
{
    const int64_t position = Position();
    const int64_t value = ReadInt64();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        Fail(QStringLiteral("Invalid property value: %1 does not fit in 32 bits at offset %2")
                 .arg(value)
                 .arg(position));
    return int32_t(value);
}

int64_t TValueReader::ReadInt64()
{
    const TValueType type = ReadValue();
    switch (type) {
    case TValueType::vaInt8:
        return int8_t(ReadByte());
    case TValueType::vaInt16: {
        uint8_t b[2];
        ReadRaw(b, 2);
        return qFromLittleEndian<qint16>(b);
    }
    case TValueType::vaInt32: {
        uint8_t b[4];
        ReadRaw(b, 4);
        return qFromLittleEndian<qint32>(b);
    }
    case TValueType::vaInt64: {
        uint8_t b[8];
        ReadRaw(b, 8);
        return qFromLittleEndian<qint64>(b);
    }
    default:
        InvalidValue(type);
    }
}

bool TValueReader::ReadBoolean()
{
    const TValueType type = ReadValue();
    if (type == TValueType::vaTrue)
        return true;
    if (type == TValueType::vaFalse)
        return false;
    InvalidValue(type);
}

QChar TValueReader::ReadChar()
{
    const int64_t position = Position();
    const QString text = ReadString();
    if (text.size() != 1)
        Fail(QStringLiteral("Invalid property value: a string of %1 characters for a character at offset %2")
                 .arg(text.size())
                 .arg(position));
    return text.at(0);
}

TExtended80Rec TValueReader::ReadExtendedBytes()
{
    TExtended80Rec bytes;
    ReadRaw(bytes.data(), 10);
    return bytes;
}

double TValueReader::ReadFloat()
{
    const int64_t position = Position();
    const TValueType type = NextValue();
    switch (type) {
    case TValueType::vaExtended: {
        ReadValue();
        const TExtended80Rec bytes = ReadExtendedBytes();
        const double value = ExtendedToDouble(bytes);
        // An extended beyond the double range would turn into an infinity
        // that the stream does not hold.
        const bool storedInfinite = (bytes[9] & 0x7F) == 0x7F && bytes[8] == 0xFF;
        if (std::isinf(value) && !storedInfinite)
            Fail(QStringLiteral("Invalid property value: float out of range at offset %1").arg(position));
        return value;
    }
    case TValueType::vaDouble:
    case TValueType::vaDate: {
        ReadValue();
        uint8_t b[8];
        ReadRaw(b, 8);
        return std::bit_cast<double>(qFromLittleEndian<quint64>(b));
    }
    case TValueType::vaSingle: {
        ReadValue();
        uint8_t b[4];
        ReadRaw(b, 4);
        return double(std::bit_cast<float>(qFromLittleEndian<quint32>(b)));
    }
    case TValueType::vaCurrency: {
        ReadValue();
        uint8_t b[8];
        ReadRaw(b, 8);
        return Currency::FromScaled(qFromLittleEndian<qint64>(b)).ToDouble();
    }
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
        return double(ReadInt64());
    default:
        ReadValue();
        InvalidValue(type);
    }
}

float TValueReader::ReadSingle()
{
    return float(ReadFloat());
}

Currency TValueReader::ReadCurrency()
{
    if (NextValue() == TValueType::vaCurrency) {
        ReadValue();
        uint8_t b[8];
        ReadRaw(b, 8);
        return Currency::FromScaled(qFromLittleEndian<qint64>(b));
    }
    const int64_t position = Position();
    const double value = ReadFloat();
    try {
        return Currency::FromDouble(value);
    } catch (const Exception&) {
        Fail(QStringLiteral("Invalid property value: currency out of range at offset %1").arg(position));
    }
}

double TValueReader::ReadDate()
{
    return ReadFloat();
}

QString TValueReader::ReadPayloadString(TValueType type)
{
    switch (type) {
    case TValueType::vaString:
        return AnsiToUnicode(ReadStrBytes(), 1252);
    case TValueType::vaLString:
        return AnsiToUnicode(ReadRawBytes(ReadLength(1)), 1252);
    case TValueType::vaWString: {
        const QByteArray bytes = ReadRawBytes(int64_t(ReadLength(2)) * 2);
        QString text(bytes.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(bytes.constData() + 2 * i));
        return text;
    }
    case TValueType::vaUTF8String:
        return QString::fromUtf8(ReadRawBytes(ReadLength(1)));
    default:
        InvalidValue(type);
    }
}

QString TValueReader::ReadString()
{
    return ReadPayloadString(ReadValue());
}

QString TValueReader::ReadIdent()
{
    const TValueType type = ReadValue();
    switch (type) {
    case TValueType::vaIdent:
        return ReadStr();
    case TValueType::vaFalse:
        return QStringLiteral("False");
    case TValueType::vaTrue:
        return QStringLiteral("True");
    case TValueType::vaNil:
        return QStringLiteral("nil");
    case TValueType::vaNull:
        return QStringLiteral("Null");
    default:
        InvalidValue(type);
    }
}

QStringList TValueReader::ReadSet()
{
    CheckValue(TValueType::vaSet);
    QStringList names;
    for (;;) {
        const QString name = ReadStr();
        if (name.isEmpty())
            return names;
        names << name;
    }
}

QByteArray TValueReader::ReadBinary()
{
    CheckValue(TValueType::vaBinary);
    return ReadRawBytes(ReadLength(1));
}

QVariant TValueReader::ReadVariant()
{
    const TValueType type = NextValue();
    switch (type) {
    case TValueType::vaNil:
    case TValueType::vaNull:
        ReadValue();
        return QVariant();
    case TValueType::vaFalse:
    case TValueType::vaTrue:
        return ReadBoolean();
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
        return int(ReadInteger());
    case TValueType::vaInt64:
        return qlonglong(ReadInt64());
    case TValueType::vaExtended:
    case TValueType::vaDouble:
    case TValueType::vaSingle:
    case TValueType::vaCurrency:
    case TValueType::vaDate:
        return ReadFloat();
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaWString:
    case TValueType::vaUTF8String:
        return ReadString();
    default:
        ReadValue();
        InvalidValue(type);
    }
}

QByteArray TValueReader::ReadStrBytes()
{
    const uint8_t length = ReadByte();
    return ReadRawBytes(length);
}

QString TValueReader::ReadStr()
{
    return QString::fromUtf8(ReadStrBytes());
}

void TValueReader::SkipValue()
{
    const TValueType type = ReadValue();
    switch (type) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        return;
    case TValueType::vaList: {
        TNestingGuard guard(*this);
        while (!EndOfList())
            SkipValue();
        ReadListEnd();
        return;
    }
    case TValueType::vaInt8:
        ReadRawBytes(1);
        return;
    case TValueType::vaInt16:
        ReadRawBytes(2);
        return;
    case TValueType::vaInt32:
    case TValueType::vaSingle:
        ReadRawBytes(4);
        return;
    case TValueType::vaInt64:
    case TValueType::vaCurrency:
    case TValueType::vaDate:
    case TValueType::vaDouble:
        ReadRawBytes(8);
        return;
    case TValueType::vaExtended:
        ReadRawBytes(10);
        return;
    case TValueType::vaString:
    case TValueType::vaIdent:
        ReadStrBytes();
        return;
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
        ReadRawBytes(ReadLength(1));
        return;
    case TValueType::vaWString:
        ReadRawBytes(int64_t(ReadLength(2)) * 2);
        return;
    case TValueType::vaSet:
        while (!ReadStrBytes().isEmpty()) {
        }
        return;
    case TValueType::vaCollection: {
        TNestingGuard guard(*this);
        while (!EndOfList()) {
            const TValueType next = NextValue();
            if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
                ReadInteger();
            ReadListBegin();
            while (!EndOfList()) {
                ReadStrBytes();
                SkipValue();
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    }
    }
}

TValueReader::TNestingGuard::TNestingGuard(TValueReader& reader) : FReader(reader)
{
    if (++FReader.FDepth > kMaxStreamNesting) {
        --FReader.FDepth;
        FReader.Fail(QStringLiteral("Invalid stream format: nesting deeper than %1 %2")
                         .arg(kMaxStreamNesting)
                         .arg(FReader.Where()));
    }
}

TValueReader::TNestingGuard::~TNestingGuard()
{
    --FReader.FDepth;
}

// ---------------------------------------------------------------------------
// TValueWriter

TValueWriter::TValueWriter(TStream& stream) : FStream(stream) {}

TValueWriter::~TValueWriter() = default;

void TValueWriter::WriteRaw(const void* data, int64_t count)
{
    FStream.WriteBuffer(data, count);
}

void TValueWriter::WriteInt32(int32_t value)
{
    uint8_t b[4];
    qToLittleEndian<qint32>(value, b);
    WriteRaw(b, 4);
}

void TValueWriter::WriteSignature()
{
    WriteRaw(kSignature, 4);
}

void TValueWriter::WritePrefix(TFilerFlags flags, int childPos)
{
    if (flags == 0)
        return;
    const uint8_t prefix = uint8_t(0xF0 | (flags & 0x0F));
    WriteRaw(&prefix, 1);
    if (flags & ffChildPos)
        WriteInteger(childPos);
}

void TValueWriter::WriteValue(TValueType type)
{
    const uint8_t tag = uint8_t(type);
    WriteRaw(&tag, 1);
}

void TValueWriter::WriteListBegin()
{
    WriteValue(TValueType::vaList);
}

void TValueWriter::WriteListEnd()
{
    WriteValue(TValueType::vaNull);
}

void TValueWriter::WriteInteger(int64_t value)
{
    if (value >= -128 && value <= 127) {
        WriteValue(TValueType::vaInt8);
        const int8_t b = int8_t(value);
        WriteRaw(&b, 1);
    } else if (value >= -32768 && value <= 32767) {
        WriteValue(TValueType::vaInt16);
        uint8_t b[2];
        qToLittleEndian<qint16>(qint16(value), b);
        WriteRaw(b, 2);
    } else if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
        WriteValue(TValueType::vaInt32);
        WriteInt32(int32_t(value));
    } else {
        WriteValue(TValueType::vaInt64);
        uint8_t b[8];
        qToLittleEndian<qint64>(value, b);
        WriteRaw(b, 8);
    }
}

void TValueWriter::WriteBoolean(bool value)
{
    WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TValueWriter::WriteChar(QChar value)
{
    WriteString(QString(value));
}

void TValueWriter::WriteFloat(double value)
{
    WriteExtended(DoubleToExtended(value));
}

void TValueWriter::WriteExtended(const TExtended80Rec& value)
{
    WriteValue(TValueType::vaExtended);
    WriteRaw(value.data(), 10);
}

void TValueWriter::WriteSingle(float value)
{
    WriteValue(TValueType::vaSingle);
    uint8_t b[4];
    qToLittleEndian<quint32>(std::bit_cast<quint32>(value), b);
    WriteRaw(b, 4);
}

void TValueWriter::WriteCurrency(Currency value)
{
    WriteValue(TValueType::vaCurrency);
    uint8_t b[8];
    qToLittleEndian<qint64>(value.Scaled, b);
    WriteRaw(b, 8);
}

void TValueWriter::WriteDate(double value)
{
    WriteValue(TValueType::vaDate);
    uint8_t b[8];
    qToLittleEndian<quint64>(std::bit_cast<quint64>(value), b);
    WriteRaw(b, 8);
}

void TValueWriter::WriteDouble(double value)
{
    WriteValue(TValueType::vaDouble);
    uint8_t b[8];
    qToLittleEndian<quint64>(std::bit_cast<quint64>(value), b);
    WriteRaw(b, 8);
}

void TValueWriter::WriteString(const QString& value)
{
    if (IsAscii(value))
        WriteAnsiBytes(value.toLatin1());
    else
        WriteWideString(value);
}

void TValueWriter::WriteAnsiBytes(const QByteArray& value)
{
    if (value.size() <= 255) {
        WriteValue(TValueType::vaString);
        const uint8_t length = uint8_t(value.size());
        WriteRaw(&length, 1);
    } else {
        WriteValue(TValueType::vaLString);
        WriteInt32(int32_t(value.size()));
    }
    WriteRawBytes(value);
}

void TValueWriter::WriteWideString(const QString& value)
{
    WriteValue(TValueType::vaWString);
    WriteInt32(int32_t(value.size()));
    QByteArray bytes(value.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < value.size(); ++i)
        qToLittleEndian<quint16>(value.at(i).unicode(), bytes.data() + 2 * i);
    WriteRawBytes(bytes);
}

void TValueWriter::WriteUTF8String(const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    WriteValue(TValueType::vaUTF8String);
    WriteInt32(int32_t(bytes.size()));
    WriteRawBytes(bytes);
}

void TValueWriter::WriteIdent(const QString& value)
{
    if (value.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        WriteValue(TValueType::vaFalse);
    else if (value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        WriteValue(TValueType::vaTrue);
    else if (value.compare(QLatin1String("nil"), Qt::CaseInsensitive) == 0)
        WriteValue(TValueType::vaNil);
    else {
        WriteValue(TValueType::vaIdent);
        WriteStr(value);
    }
}

void TValueWriter::WriteSet(const QStringList& names)
{
    WriteValue(TValueType::vaSet);
    for (const QString& name : names)
        WriteStr(name);
    WriteStr(QString());
}

void TValueWriter::WriteBinary(const QByteArray& data)
{
    WriteValue(TValueType::vaBinary);
    WriteInt32(int32_t(data.size()));
    WriteRawBytes(data);
}

void TValueWriter::WriteVariant(const QVariant& value)
{
    if (!value.isValid()) {
        WriteValue(TValueType::vaNil);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        WriteBoolean(value.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        WriteInteger(value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        WriteFloat(value.toDouble());
        return;
    case QMetaType::QString:
        WriteString(value.toString());
        return;
    default:
        throw EWriteError(QStringLiteral("Invalid variant type %1").arg(QLatin1String(value.typeName())));
    }
}

void TValueWriter::WriteStr(const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    if (bytes.size() > 255)
        throw EWriteError(QStringLiteral("Name '%1' is longer than 255 bytes").arg(value));
    const uint8_t length = uint8_t(bytes.size());
    WriteRaw(&length, 1);
    WriteRawBytes(bytes);
}
