// The byte layer: tags chosen at every limit, strings in each encoding, and
// lengths checked before anything is read.
#include "platform/objects/ValueStream.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/objects/TestClasses.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

QByteArray Written(const std::function<void(TValueWriter&)>& write)
{
    TMemoryStream stream;
    TValueWriter writer(stream);
    write(writer);
    return stream.Bytes();
}

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// The smallest tag that holds the value; rows at every limit and one past it.
TEST(ValueStreamTest, IntegersTakeTheSmallestTag)
{
    struct Row {
        int Line;
        int64_t Value;
        const char* Hex;
    };
    const Row rows[] = {
        {1, 0, "02 00"},
        {2, 127, "02 7F"},
        {3, 128, "03 8000"},
        {4, -128, "02 80"},
        {5, -129, "03 7FFF"},
        {6, 32767, "03 FF7F"},
        {7, 32768, "04 00800000"},
        {8, -32768, "03 0080"},
        {9, -32769, "04 FF7FFFFF"},
        {10, std::numeric_limits<int32_t>::max(), "04 FFFFFF7F"},
        {11, std::numeric_limits<int32_t>::min(), "04 00000080"},
        {12, int64_t(std::numeric_limits<int32_t>::max()) + 1, "13 0000008000000000"},
        {13, int64_t(std::numeric_limits<int32_t>::min()) - 1, "13 FFFFFF7FFFFFFFFF"},
        {14, std::numeric_limits<int64_t>::min(), "13 0000000000000080"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        const QByteArray bytes = Written([&](TValueWriter& w) { w.WriteInteger(row.Value); });
        EXPECT_EQ(bytes, Hex(row.Hex));
        TMemoryStream stream(bytes);
        TValueReader reader(stream);
        EXPECT_EQ(reader.ReadInt64(), row.Value);
        stream.SetPosition(0);
        if (row.Line >= 12)
            EXPECT_THROW(reader.ReadInteger(), EReadError);
        else
            EXPECT_EQ(reader.ReadInteger(), row.Value);
    }
}

TEST(ValueStreamTest, StringsKeepEveryCharacter)
{
    // Writing: ASCII as short (up to 255) or long strings, anything else wide.
    EXPECT_EQ(Written([](TValueWriter& w) { w.WriteString(QString()); }), Hex("06 00"));
    const QByteArray s255 = Written([](TValueWriter& w) { w.WriteString(QString(255, QLatin1Char('a'))); });
    EXPECT_EQ(s255.left(2), Hex("06 FF"));
    EXPECT_EQ(s255.size(), 2 + 255);
    const QByteArray s256 = Written([](TValueWriter& w) { w.WriteString(QString(256, QLatin1Char('a'))); });
    EXPECT_EQ(s256.left(5), Hex("0C 00010000"));
    EXPECT_EQ(Written([](TValueWriter& w) { w.WriteString(QStringLiteral("\u00e9")); }),
              Hex("12 01000000 E900"));
    EXPECT_EQ(Written([](TValueWriter& w) { w.WriteAnsiBytes(QByteArray(256, 'x')); }).left(5),
              Hex("0C 00010000"));

    // Reading: Ansi bytes in code page 1252, wide and UTF-8 strings.
    struct Row {
        int Line;
        const char* Hex;
        QString Text;
    };
    const Row rows[] = {
        {1, "06 03 41 80 E9", QStringLiteral("A\u20ac\u00e9")}, // 0x80 is the euro sign in 1252
        {2, "0C 02000000 9F 20", QStringLiteral("\u0178 ")},
        {3, "12 02000000 3DD8 02DE", QStringLiteral("\U0001F602")},
        {4, "14 03000000 E282AC", QStringLiteral("\u20ac")},
        {5, "12 00000000", QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        TMemoryStream stream(Hex(row.Hex));
        TValueReader reader(stream);
        EXPECT_EQ(reader.ReadString(), row.Text);
        EXPECT_EQ(reader.Remaining(), 0);
    }
}

TEST(ValueStreamTest, NumbersOfEveryTagReadAsFloats)
{
    struct Row {
        int Line;
        const char* Hex; // from the tag table in ValueStream.h
        double Value;
    };
    const Row rows[] = {
        {1, "02 FE", -2},
        {2, "05 0000000000000080FF3F", 1.0},
        {3, "0F 0000C03F", 1.5},                         // single
        {4, "10 40E2010000000000", 12.3456},             // currency 123456 / 10000
        {5, "11 0000000010F9E540", 45000.5},             // date
        {6, "15 9A9999999999B93F", 0.1},                 // double
        {7, "13 0000000000000001", 72057594037927936.0}, // 2^56
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        TMemoryStream stream(Hex(row.Hex));
        TValueReader reader(stream);
        EXPECT_EQ(reader.ReadFloat(), row.Value);
    }
    // An extended beyond the double range is refused, not turned into an
    // infinity the stream does not hold.
    TMemoryStream huge(Hex("05 0000000000000080FF7E"));
    TValueReader reader(huge);
    EXPECT_THROW(reader.ReadFloat(), EReadError);
}

// Damaged bytes for each reading operation, with the exact message.
TEST(ValueStreamTest, DamagedBytesRaiseReadErrors)
{
    enum class Op { Value, String, Binary, Skip, Integer };
    struct Row {
        int Line;
        Op Operation;
        QByteArray Bytes;
        const char* Message;
    };
    const Row rows[] = {
        {1, Op::Value, Hex(""), "Stream read error: 1 bytes needed, 0 left at offset 0"},
        {2, Op::Value, Hex("16"), "Invalid stream format: unknown value tag 22 at offset 0"},
        {3, Op::String, Hex("0C FFFFFFFF"), "Invalid stream format: length -1 with 0 bytes left at offset 5"},
        {4, Op::String, Hex("0C 05000000 4142"),
         "Invalid stream format: length 5 with 2 bytes left at offset 5"},
        {5, Op::String, Hex("12 02000000 4100"),
         "Invalid stream format: length 2 with 2 bytes left at offset 5"},
        {6, Op::String, Hex("06 05 4142"), "Stream read error: 5 bytes needed, 2 left at offset 2"},
        {7, Op::String, Hex("07 01 41"), "Invalid property value: vaIdent found at offset 0"},
        {8, Op::Binary, Hex("0A 10000000"), "Invalid stream format: length 16 with 0 bytes left at offset 5"},
        {9, Op::Skip, Hex("05 0000"), "Stream read error: 10 bytes needed, 2 left at offset 1"},
        {10, Op::Skip, Hex("0E 01 01 41 02"), "Stream read error: 1 bytes needed, 0 left at offset 5"},
        {11, Op::Skip, QByteArray(300, '\x01'),
         "Invalid stream format: nesting deeper than 256 at offset 257"},
        {12, Op::Skip, Hex("0B 01 41 00") + Hex("01 0B 01"),
         "Stream read error: 1 bytes needed, 0 left at offset 7"},
        {13, Op::Integer, Hex("03 FF"), "Stream read error: 2 bytes needed, 1 left at offset 1"},
        {14, Op::Integer, Hex("09"), "Invalid property value: vaTrue found at offset 0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        TMemoryStream stream(row.Bytes);
        TValueReader reader(stream);
        try {
            switch (row.Operation) {
            case Op::Value:
                reader.ReadValue();
                break;
            case Op::String:
                reader.ReadString();
                break;
            case Op::Binary:
                reader.ReadBinary();
                break;
            case Op::Skip:
                reader.SkipValue();
                reader.SkipValue();
                break;
            case Op::Integer:
                reader.ReadInteger();
                break;
            }
            ADD_FAILURE() << "no error";
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }
}

TEST(ValueStreamTest, SignatureAndObjectPrefix)
{
    struct Row {
        int Line;
        const char* Hex;
        TFilerFlags Flags;
        int ChildPos;
        int64_t Next; // position after the prefix
    };
    const Row rows[] = {
        {1, "06", 0, -1, 0}, // no prefix: the class name's length byte stays
        {2, "F1", ffInherited, -1, 1},
        {3, "F2 02 05", ffChildPos, 5, 3},
        {4, "F6 03 2C01", ffChildPos | ffInline, 300, 4},
        {5, "F4", ffInline, -1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        TMemoryStream stream(Hex(row.Hex));
        TValueReader reader(stream);
        TFilerFlags flags = 0xFF;
        int childPos = 0;
        reader.ReadPrefix(flags, childPos);
        EXPECT_EQ(flags, row.Flags);
        EXPECT_EQ(childPos, row.ChildPos);
        EXPECT_EQ(reader.Position(), row.Next);
        EXPECT_EQ(Written([&](TValueWriter& w) { w.WritePrefix(row.Flags, row.ChildPos); }),
                  row.Line == 1 ? QByteArray() : Hex(row.Hex));
    }

    TMemoryStream shortSignature(QByteArray("TPF"));
    EXPECT_THROW(TValueReader(shortSignature).ReadSignature(), EReadError);
    TMemoryStream wrongSignature(QByteArray("TPF1"));
    try {
        TValueReader(wrongSignature).ReadSignature();
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Invalid stream format: signature 54504631 instead of TPF0");
    }
}

TEST(ValueStreamTest, VariantsAndIdentifiers)
{
    const QByteArray bytes = Written([](TValueWriter& w) {
        w.WriteVariant(QVariant());
        w.WriteVariant(true);
        w.WriteVariant(300);
        w.WriteVariant(qlonglong(5000000000));
        w.WriteVariant(2.5);
        w.WriteVariant(QStringLiteral("s"));
        w.WriteIdent(QStringLiteral("FALSE"));
        w.WriteIdent(QStringLiteral("Nil"));
        w.WriteIdent(QStringLiteral("Null"));
    });
    EXPECT_EQ(
        bytes,
        Hex("0D 09 03 2C01 13 00F2052A01000000 05 000000000000 00A0 0040 06 01 73 08 0D 07 04 4E756C6C"));
    TMemoryStream stream(bytes);
    TValueReader reader(stream);
    EXPECT_EQ(reader.ReadVariant(), QVariant());
    EXPECT_EQ(reader.ReadVariant(), QVariant(true));
    EXPECT_EQ(reader.ReadVariant(), QVariant(300));
    EXPECT_EQ(reader.ReadVariant(), QVariant(qlonglong(5000000000)));
    EXPECT_EQ(reader.ReadVariant(), QVariant(2.5));
    EXPECT_EQ(reader.ReadVariant(), QVariant(QStringLiteral("s")));
    EXPECT_EQ(reader.ReadIdent(), "False");
    EXPECT_EQ(reader.ReadIdent(), "nil");
    EXPECT_EQ(reader.ReadIdent(), "Null");
    EXPECT_THROW(Written([](TValueWriter& w) { w.WriteVariant(QVariant(QStringList())); }), EWriteError);
    EXPECT_THROW(Written([](TValueWriter& w) { w.WriteStr(QString(256, QLatin1Char('n'))); }), EWriteError);
}

} // namespace
