#include "localization/WinResReader.h"

#include "localization/KHelpers.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/Streams.h"

#include <QByteArrayView>
#include <QFile>
#include <QtEndian>

namespace {

// The empty entry every .res file begins with.
constexpr int64_t EmptyEntrySize = 32;

[[noreturn]] void InvalidFormat();
int64_t Align4(int64_t value);
// Both read through a view: QByteArray::constData() answers an array without
// storage with a one-byte static, and the optimiser, not knowing that the
// callers' size checks rule that branch out, reports the reads as reads past
// that byte (-Warray-bounds at -O2, a false alarm). A view holds the array's
// own pointer, so there is no such branch to follow.
uint32_t Read32(QByteArrayView file, int64_t at);
uint16_t Read16(QByteArrayView file, int64_t at);

// Reads a type or a name at pos, which must stay below end, and moves pos
// past it.
TResName ReadName(const QByteArray& file, int64_t& pos, int64_t end);

} // namespace

// --- TResEntry ---------------------------------------------------------------

TResEntry::TResEntry(const QByteArray& file, int64_t start)
{
    const int64_t size = file.size();
    if (start < 0 || start + 8 > size)
        InvalidFormat();
    FDataSize = Read32(file, start);
    FHeaderSize = Read32(file, start + 4);
    const int64_t headerEnd = start + FHeaderSize;
    if (FHeaderSize < 8 || headerEnd > size || int64_t(FDataSize) > size - headerEnd)
        InvalidFormat();
    int64_t pos = start + 8;
    FResType = ReadName(file, pos, headerEnd);
    FResName = ReadName(file, pos, headerEnd);
    if (pos > headerEnd)
        InvalidFormat();
    FData = file.mid(qsizetype(headerEnd), qsizetype(FDataSize));
}

// --- TResReader --------------------------------------------------------------

TResReader::TResReader(const QString& fileName) : FFileName(fileName)
{
    QFile file;
    if (const int error = OpenRegularForReading(file, fileName))
        throw EResError(AddNotAFileReason(Format(LibraryMessage(sKResCouldNotOpen), fileName), fileName, error));
    const qint64 size = file.size();
    if (size < 0)
        throw EResError(Format(LibraryMessage(sKResCouldNotOpen), fileName));
    if (size == 0)
        throw EResError(LibraryMessage(sKResCreateFileMappingFailed));
    const QByteArray bytes = file.readAll();
    if (bytes.size() != size)
        throw EResError(LibraryMessage(sKResMapViewFailed));
    ReadEntries(bytes);
}

TResReader::TResReader(const QByteArray& bytes, const QString& fileName) : FFileName(fileName)
{
    if (bytes.isEmpty())
        throw EResError(LibraryMessage(sKResCreateFileMappingFailed));
    ReadEntries(bytes);
}

TResReader::~TResReader() = default;

const TResEntry* TResReader::GetEntry(int index) const
{
    if (index < 0 || index >= int(FEntryList.size()))
        return nullptr;
    return FEntryList[size_t(index)].get();
}

void TResReader::ReadEntries(const QByteArray& file)
{
    const int64_t size = file.size();
    if (size < EmptyEntrySize || Read32(file, 0) != 0 || Read32(file, 4) != EmptyEntrySize)
        InvalidFormat();
    std::vector<std::unique_ptr<TResEntry>> entries;
    for (int64_t pos = EmptyEntrySize; pos < size;) {
        auto entry = std::make_unique<TResEntry>(file, pos);
        pos += Align4(int64_t(entry->HeaderSize()) + entry->DataSize());
        entries.push_back(std::move(entry));
    }
    FEntryList = std::move(entries);
}

// --- helpers ---------------------------------------------------------------

namespace {

[[noreturn]] void InvalidFormat()
{
    throw EResError(LibraryMessage(sKResInvalidFileFormat));
}

int64_t Align4(int64_t value)
{
    return (value + 3) & ~int64_t(3);
}

uint32_t Read32(QByteArrayView file, int64_t at)
{
    return qFromLittleEndian<uint32_t>(file.constData() + at);
}

uint16_t Read16(QByteArrayView file, int64_t at)
{
    return qFromLittleEndian<uint16_t>(file.constData() + at);
}

TResName ReadName(const QByteArray& file, int64_t& pos, int64_t end)
{
    if (pos + 2 > end)
        InvalidFormat();
    if (Read16(file, pos) == 0xFFFF) {
        if (pos + 4 > end)
            InvalidFormat();
        const uint16_t number = Read16(file, pos + 2);
        pos += 4;
        return TResName::FromNumber(number);
    }
    QString text;
    int64_t p = pos;
    for (;; p += 2) {
        if (p + 2 > end)
            InvalidFormat();
        const uint16_t unit = Read16(file, p);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    pos += Align4(p + 2 - pos);
    return TResName::FromText(text);
}

} // namespace
