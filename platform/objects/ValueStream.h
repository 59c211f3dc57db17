#pragma once
// The byte layer of the binary component stream ("TPF0"): tagged values and
// the pieces of an object header, read from and written to a TStream. It knows
// nothing of objects; Filer.h builds the reader and writer of components on it,
// ObjectText.h the text form and StreamWalker.h the value-by-value copier.
//
// Layout of a stream (all numbers little-endian):
//   signature    "TPF0"
//   object       [prefix] class name (short string) object name (short string)
//                { property name (short string) value } 0
//                { object } 0
//   prefix       one byte 0xF0 | flags (ffInherited 1, ffChildPos 2,
//                ffInline 4), present only when flags are set; with
//                ffChildPos an integer value (position) follows
//   value        tag byte, then by tag:
//      0 null (ends a list)        1 list: values up to a null
//      2 int8  3 int16  4 int32    5 extended: 10 bytes
//      6 string: length byte, Ansi bytes     7 identifier: length byte, bytes
//      8 false  9 true             10 binary: int32 length, bytes
//      11 set: short strings up to an empty one
//      12 long string: int32 length, Ansi bytes
//      13 nil                      14 collection: items up to a null; an item
//                                     is an optional integer value (its order)
//                                     then a list of properties
//      15 single: 4 bytes  16 currency: int64 scaled by 10000
//      17 date: 8-byte double (days)
//      18 wide string: int32 count, UTF-16 code units
//      19 int64            20 UTF-8 string: int32 length, bytes
//      21 double: 8 bytes
// A short string is a length byte and that many bytes; names are UTF-8 (ASCII
// in practice), Ansi strings code page 1252.
//
// Call order for a reader: ReadSignature, then ReadPrefix, ReadStr (class),
// ReadStr (name), then per property ReadStr and one value, until EndOfList;
// ReadListEnd; the children the same way until EndOfList; ReadListEnd.
// Every length is checked against the bytes left before anything is
// allocated, lists nest at most 256 deep, and every failure is EReadError.
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Extended80.h"
#include "platform/rtl/NumberText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>

class TStream;

enum class TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
    vaDouble = 21,
};
constexpr int kLastValueType = 21;

using TFilerFlags = uint8_t;
constexpr TFilerFlags ffInherited = 1;
constexpr TFilerFlags ffChildPos = 2;
constexpr TFilerFlags ffInline = 4;

// Lists, collections and objects nest at most this deep.
constexpr int kMaxStreamNesting = 256;

QString ValueTypeName(TValueType type); // "vaInt8" ...

class TValueReader {
public:
    explicit TValueReader(TStream& stream);
    virtual ~TValueReader();
    TValueReader(const TValueReader&) = delete;
    TValueReader& operator=(const TValueReader&) = delete;

    TStream& Stream() const { return FStream; }
    int64_t Position() const;

    // Reads "TPF0"; anything else raises EReadError "Invalid stream format".
    void ReadSignature();
    // The object prefix; flags 0 and position -1 when there is none. Readers
    // that read onto existing objects override it.
    virtual void ReadPrefix(TFilerFlags& flags, int& childPos);

    TValueType ReadValue(); // unknown tag: EReadError
    TValueType NextValue(); // the next tag without consuming it
    bool EndOfList();
    void CheckValue(TValueType expected); // reads a tag, EReadError unless expected
    void ReadListBegin();
    void ReadListEnd();

    // Typed values: each reads its tag and raises EReadError "Invalid
    // property value" for a tag it does not take.
    int32_t ReadInteger(); // int8, int16, int32, int64 within 32 bits
    int64_t ReadInt64();   // every integer tag
    bool ReadBoolean();    // false, true
    QChar ReadChar();      // a string of one character
    // Any numeric tag as a double; an extended beyond the double range
    // raises EReadError.
    double ReadFloat();
    float ReadSingle();      // single or any other number
    Currency ReadCurrency(); // currency, or any other number rounded to it
    double ReadDate();       // date or any other number
    QString ReadString();    // short, long, wide and UTF-8 strings
    // Identifiers; also false, true, nil and null as "False", "True", "nil",
    // "Null".
    QString ReadIdent();
    QStringList ReadSet(); // the element names
    QByteArray ReadBinary();
    // Integers, floats, strings, booleans; nil and null give an invalid
    // QVariant.
    QVariant ReadVariant();

    // Untagged pieces.
    QString ReadStr(); // a short string (UTF-8)
    QByteArray ReadStrBytes();
    TExtended80Rec ReadExtendedBytes();
    // Skips one complete value, whatever its tag.
    void SkipValue();
    // Reads exactly count bytes; EReadError when fewer are left.
    void ReadRaw(void* buffer, int64_t count);
    QByteArray ReadRawBytes(int64_t count);
    // A 32-bit count of units of unitSize bytes; EReadError when negative or
    // when fewer bytes are left.
    int32_t ReadLength(int unitSize);
    // The bytes left after the position.
    int64_t Remaining() const;

    // A short description of the position for error messages.
    QString Where() const;

    // Counts one level of nesting (lists, collections, objects) for as long
    // as it lives; beyond kMaxStreamNesting it raises EReadError.
    class TNestingGuard {
    public:
        explicit TNestingGuard(TValueReader& reader);
        ~TNestingGuard();
        TNestingGuard(const TNestingGuard&) = delete;
        TNestingGuard& operator=(const TNestingGuard&) = delete;

    private:
        TValueReader& FReader;
    };

protected:
    [[noreturn]] void InvalidValue(TValueType found) const; // just after reading the tag
    [[noreturn]] void Fail(const QString& message) const;
    uint8_t ReadByte();
    QString ReadPayloadString(TValueType type); // the string after its tag

private:
    TStream& FStream;
    int FDepth = 0;
};

class TValueWriter {
public:
    explicit TValueWriter(TStream& stream);
    virtual ~TValueWriter();
    TValueWriter(const TValueWriter&) = delete;
    TValueWriter& operator=(const TValueWriter&) = delete;

    TStream& Stream() const { return FStream; }

    void WriteSignature();
    void WritePrefix(TFilerFlags flags, int childPos);
    void WriteValue(TValueType type);
    void WriteListBegin();
    void WriteListEnd();

    // The smallest integer tag that holds the value (int8, int16, int32,
    // int64).
    void WriteInteger(int64_t value);
    void WriteBoolean(bool value);
    void WriteChar(QChar value);   // as a one-character string
    void WriteFloat(double value); // extended
    void WriteExtended(const TExtended80Rec& value);
    void WriteSingle(float value);
    void WriteCurrency(Currency value);
    void WriteDate(double value);
    void WriteDouble(double value);
    // A string: ASCII text as a short string (up to 255 characters) or a long
    // one, any other text as a wide string, so nothing is lost. Writers that
    // write Ansi text in a code page override it.
    virtual void WriteString(const QString& value);
    // Ansi bytes as a short string up to 255 bytes, else a long string.
    void WriteAnsiBytes(const QByteArray& value);
    void WriteWideString(const QString& value);
    void WriteUTF8String(const QString& value);
    // An identifier; "False", "True" and "nil" (any case) take their own tags.
    void WriteIdent(const QString& value);
    void WriteSet(const QStringList& names);
    void WriteBinary(const QByteArray& data);
    // Invalid: nil; bool, integer, floating and string types; others raise
    // EWriteError.
    void WriteVariant(const QVariant& value);

    // Untagged pieces: a short string (EWriteError beyond 255 bytes) and raw
    // bytes.
    void WriteStr(const QString& value);
    void WriteRaw(const void* data, int64_t count);
    void WriteRawBytes(const QByteArray& data) { WriteRaw(data.constData(), data.size()); }

private:
    void WriteInt32(int32_t value);
    TStream& FStream;
};
