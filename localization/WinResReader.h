#pragma once
// TResReader: the entries of a compiled resource file (".res").
//
// A .res file is a row of entries, each a header and its data, each entry
// starting on a multiple of 4. The header: data size (32 bits), header size
// (32 bits), the type and the name (each either FFFF and a 16-bit ID, or a
// NUL-terminated UTF-16 string padded to a multiple of 4), then data version,
// memory flags, language, version and characteristics. The file begins with
// an empty entry of 32 bytes (data size 0, header size 32).
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

RTL_EXCEPTION_CLASS(EResError, Exception);

// A resource type or name: a 16-bit ID or a string.
struct TResName {
    bool IsNumber = true;
    uint16_t Number = 0;
    QString Text;

    static TResName FromNumber(uint16_t number) { return TResName{true, number, QString()}; }
    static TResName FromText(const QString& text) { return TResName{false, 0, text}; }
    // The number in decimal, or the text.
    QString ToString() const { return IsNumber ? QString::number(Number) : Text; }
};

class TResEntry {
public:
    // Reads the entry header at offset start of file; EResError "Invalid
    // file format" when it does not fit in the file.
    TResEntry(const QByteArray& file, int64_t start);

    uint32_t DataSize() const { return FDataSize; }
    uint32_t HeaderSize() const { return FHeaderSize; }
    const TResName& ResType() const { return FResType; }
    const TResName& ResName() const { return FResName; }
    const QByteArray& Data() const { return FData; }

private:
    uint32_t FDataSize = 0;
    uint32_t FHeaderSize = 0;
    TResName FResType;
    TResName FResName;
    QByteArray FData;
};

class TResReader {
public:
    // Reads the whole file. EResError: "Couldn't open: <name>" when it
    // cannot be opened or read, "CreateFileMapping failed" for an empty
    // file, "Invalid file format" when it does not begin with the empty
    // entry or an entry does not fit. A failed read keeps no entries.
    explicit TResReader(const QString& fileName);
    // The same over bytes already in memory (fileName only names them).
    TResReader(const QByteArray& bytes, const QString& fileName);
    ~TResReader();
    TResReader(const TResReader&) = delete;
    TResReader& operator=(const TResReader&) = delete;

    const QString& FileName() const { return FFileName; }
    int Count() const { return int(FEntryList.size()); }
    // Null outside the list.
    const TResEntry* GetEntry(int index) const;

private:
    void ReadEntries(const QByteArray& file);

    QString FFileName;
    std::vector<std::unique_ptr<TResEntry>> FEntryList;
};
