#include "report/model/ZvUtil.h"

#include "platform/rtl/NumberText.h"
#include "platform/rtl/Streams.h"
#include "report/model/ZvDefine.h"
#include "tests/support/FuzzLoop.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// The bytes a writer leaves.
QByteArray Written(const std::function<void(TStreamHelper&)>& write)
{
    TMemoryStream stream;
    TStreamHelper helper(stream);
    write(helper);
    return stream.Bytes();
}

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message().toStdString();
    }
    return "(nothing raised)";
}

// Restores the system's separators after a test changed them.
struct SeparatorGuard {
    ~SeparatorGuard() { ResetNumberSeparators(); }
};

} // namespace

TEST(ZvUtilStream, IndexForms)
{
    struct Row {
        int no;
        int32_t value;
        const char* bytes;
    };
    // One byte below 0x80, then 0x80 / 0xC0 / 0xE0 plus the high bits, most
    // significant byte first.
    const Row rows[] = {
        {1, 0, "00"},         {2, 127, "7f"},         {3, 128, "8080"},         {4, 16383, "bfff"},
        {5, 16384, "c04000"}, {6, 2097151, "dfffff"}, {7, 2097152, "e0200000"}, {8, 0x1FFFFFFF, "ffffffff"},
        {9, 16365, "bfed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        const QByteArray bytes = Written([&](TStreamHelper& h) { h.WriteIndex(row.value); });
        EXPECT_EQ(bytes, Hex(row.bytes));
        TMemoryStream stream(bytes);
        TStreamHelper reader(stream);
        EXPECT_EQ(reader.ReadIndex(), row.value);
        EXPECT_TRUE(reader.Empty());
    }
    EXPECT_EQ(MessageOf([] { Written([](TStreamHelper& h) { h.WriteIndex(-1); }); }),
              "Index value -1 is outside the range 0 to 536870911");
    EXPECT_EQ(MessageOf([] { Written([](TStreamHelper& h) { h.WriteIndex(0x20000000); }); }),
              "Index value 536870912 is outside the range 0 to 536870911");
}

TEST(ZvUtilStream, FixedWidthValues)
{
    const QByteArray bytes = Written([](TStreamHelper& h) {
        h.WriteByte(0xFE);
        h.WriteBoolean(true);
        h.WriteSmallInt(-2);
        h.WriteWord(0x1234);
        h.WriteInteger(-2);
        h.WriteCardinal(0x12345678);
        h.WriteSingle(1.0f);
        h.WriteInt64(0x0102030405060708);
        h.WriteDouble(1.0);
        h.WriteExtended(1.0);
    });
    // Little-endian; IEEE single and double; the x87 extended 1.0 is a
    // mantissa with only its integer bit set and the exponent 0x3FFF.
    EXPECT_EQ(bytes, Hex("fe01"
                         "feff"
                         "3412"
                         "feffffff"
                         "78563412"
                         "0000803f"
                         "0807060504030201"
                         "000000000000f03f"
                         "0000000000000080ff3f"));
    TMemoryStream stream(bytes);
    TStreamHelper r(stream);
    EXPECT_EQ(r.ReadByte(), 0xFE);
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_EQ(r.ReadSmallInt(), -2);
    EXPECT_EQ(r.ReadWord(), 0x1234);
    EXPECT_EQ(r.ReadInteger(), -2);
    EXPECT_EQ(r.ReadCardinal(), 0x12345678u);
    EXPECT_EQ(r.ReadSingle(), 1.0f);
    EXPECT_EQ(r.ReadInt64(), 0x0102030405060708);
    EXPECT_EQ(r.ReadDouble(), 1.0);
    EXPECT_EQ(r.ReadExtended(), 1.0);
    EXPECT_TRUE(r.Empty());
    EXPECT_EQ(MessageOf([&] { r.ReadByte(); }), "Stream read error");
}

TEST(ZvUtilStream, Strings)
{
    EXPECT_EQ(Written([](TStreamHelper& h) { h.WriteString("AB"); }), Hex("bfed84b0 04 41004200 02 4142"));
    EXPECT_EQ(Written([](TStreamHelper& h) { h.WriteString(QString()); }), Hex("bfed84b00000"));
    // Beyond ASCII the ANSI copy is code page 1252's (the euro sign 0x80).
    EXPECT_EQ(Written([](TStreamHelper& h) { h.WriteString(QStringLiteral("\u00e4\u20ac")); }),
              Hex("bfed84b0 04 e400ac20 02 e480"));

    struct Row {
        int no;
        QByteArray bytes;
        QString text;
    };
    const Row rows[] = {
        {1, Hex("bfed84b0 04 41004200 02 4142"), "AB"},
        {2, Hex("bfed84b00000"), ""},
        {3, Hex("00"), ""},                               // the empty legacy form
        {4, Hex("0341e442"), QStringLiteral("A\u00e4B")}, // legacy ANSI bytes (code page 1252)
        // A code-page form in 1252, its ANSI copy skipped.
        {5, Hex("bfed84e402e44201e4"), QStringLiteral("\u00e4B")},
        // A text with no ANSI form: the UTF-16 part is exact, the lossy copy skipped.
        {6, Hex("bfed84b0 04 2c672000 02 3f3f"), QStringLiteral("\u672c ")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        TMemoryStream stream(row.bytes);
        TStreamHelper reader(stream);
        EXPECT_EQ(reader.ReadString(), row.text);
        EXPECT_TRUE(reader.Empty());
    }

    const QString mixed = QStringLiteral("Gauge \u041c\u0435\u0442\u0440 \u00d8 \U0001F600");
    TMemoryStream stream(Written([&](TStreamHelper& h) { h.WriteString(mixed); }));
    TStreamHelper reader(stream);
    EXPECT_EQ(reader.ReadString(), mixed);
}

// A string in a plain memory stream is read out of its bytes; any other
// stream reads it piece by piece. Both give the same text, leave the same
// position and fail alike.
TEST(ZvUtilStream, StringsReadAlikeInMemoryAndFromOtherStreams)
{
    class TOtherStream : public TMemoryStream {
    public:
        using TMemoryStream::TMemoryStream;
    };
    const QByteArray strings =
        Hex("bfed84b0 04 41004200 02 4142") + Hex("bfed84b00000") + Hex("00") + Hex("0341e442") +
        Hex("bfed84e402e44201e4") +
        Written([](TStreamHelper& h) { h.WriteString(QStringLiteral("Gauge \u041c \U0001F600")); });
    for (qsizetype cut = 0; cut <= strings.size(); ++cut) {
        SCOPED_TRACE(cut);
        TMemoryStream memory(strings.left(cut));
        TOtherStream other(strings.left(cut));
        TStreamHelper fast(memory);
        TStreamHelper slow(other);
        for (int n = 0; n < 7; ++n) {
            const auto read = [](TStreamHelper& h) {
                try {
                    return h.ReadString();
                } catch (const Exception& e) {
                    return QStringLiteral("error: ") + e.Message();
                }
            };
            EXPECT_EQ(read(fast), read(slow)) << n;
            EXPECT_EQ(memory.Position(), other.Position()) << n;
        }
    }
}

TEST(ZvUtilStream, ShortAndOversizedStrings)
{
    // Every cut of a complete string fails as a short read; so do counts
    // larger than the bytes left, before anything is allocated for them.
    const QByteArray whole = Written([](TStreamHelper& h) { h.WriteString("ABC"); });
    for (qsizetype cut = 1; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        TMemoryStream stream(whole.left(cut));
        TStreamHelper reader(stream);
        EXPECT_EQ(MessageOf([&] { reader.ReadString(); }), "Stream read error");
    }
    for (const char* hex : {"ffffffff", "bfed84b0ffffffff", "bfed84b00241 00ffffffff", "05414141"}) {
        SCOPED_TRACE(hex);
        TMemoryStream stream(Hex(hex));
        TStreamHelper reader(stream);
        EXPECT_EQ(MessageOf([&] { reader.ReadString(); }), "Stream read error");
    }
}

TEST(ZvUtilStream, Blocks)
{
    // An empty block: method 0, length 0; reading it leaves the outer stream
    // after the 5 header bytes.
    const QByteArray empty = Written([](TStreamHelper& h) {
        h.StartWriteBlock();
        h.FinishWriteBlock();
    });
    EXPECT_EQ(empty, Hex("0000000000"));
    {
        TMemoryStream stream(empty + Hex("7f"));
        TStreamHelper reader(stream);
        reader.StartReadBlock();
        EXPECT_TRUE(reader.Empty());
        reader.FinishReadBlock();
        EXPECT_EQ(stream.Position(), 5);
        EXPECT_EQ(reader.ReadIndex(), 127);
    }

    // A page block inside a report block, values before and after each.
    const QByteArray nested = Written([](TStreamHelper& h) {
        h.WriteIndex(1);
        h.StartWriteBlock();
        h.WriteIndex(2);
        h.StartWriteBlock();
        h.WriteString("page");
        h.FinishWriteBlock();
        h.WriteIndex(3);
        h.FinishWriteBlock();
        h.WriteIndex(4);
    });
    EXPECT_EQ(nested.left(6), Hex("01"
                                  "00"
                                  "19000000")); // 1 + 23 + 1 payload bytes
    TMemoryStream stream(nested);
    TStreamHelper reader(stream);
    EXPECT_EQ(reader.ReadIndex(), 1);
    reader.StartReadBlock();
    EXPECT_EQ(reader.Depth(), 2);
    EXPECT_EQ(reader.ReadIndex(), 2);
    reader.StartReadBlock();
    EXPECT_EQ(reader.ReadString(), "page");
    reader.FinishReadBlock();
    EXPECT_EQ(reader.ReadIndex(), 3);
    reader.FinishReadBlock();
    EXPECT_EQ(reader.ReadIndex(), 4);
    EXPECT_TRUE(reader.Empty());
    EXPECT_EQ(MessageOf([&] { reader.FinishReadBlock(); }), "No block is open");

    // Skipping and copying blocks as they are.
    TMemoryStream again(nested);
    TStreamHelper skipper(again);
    skipper.ReadIndex();
    TMemoryStream copy;
    skipper.SavePos();
    skipper.LoadBlock(copy);
    EXPECT_EQ(copy.Bytes(), nested.mid(1, 30));
    skipper.RestorePos();
    skipper.SkipBlock();
    EXPECT_EQ(skipper.ReadIndex(), 4);
    EXPECT_EQ(Written([&](TStreamHelper& h) { h.SaveBlock(copy); }), copy.Bytes());
}

TEST(ZvUtilStream, CompressedAndBadBlocks)
{
    // A block stored with method 2 (written elsewhere) reads like any other.
    QByteArray payload;
    for (int i = 0; i < 3000; ++i)
        payload.append("thread gauge ");
    TMemoryStream plain(payload);
    TMemoryStream packed;
    ZarvCompress(2, plain, packed);
    const QByteArray block = Written([&](TStreamHelper& h) {
        h.WriteByte(2);
        h.WriteInteger(int32_t(packed.Size()));
        h.SaveBlock(packed);
    });
    {
        TMemoryStream stream(block);
        TStreamHelper reader(stream);
        reader.StartReadBlock();
        EXPECT_EQ(reader.Stream().Size(), payload.size());
        EXPECT_EQ(reader.Stream().Position(), 0);
        reader.FinishReadBlock();
        EXPECT_TRUE(reader.Empty());
    }

    struct Row {
        int no;
        const char* hex;
        std::string message;
    };
    const Row rows[] = {
        {1, "0100000000", "Unknown compression method 1"},
        {2, "0300000000", "Unknown compression method 3"},
        {3, "00ffffffff", "Invalid block length -1"},
        {4, "0005000000414243", "Stream read error"}, // longer than the rest
        {5, "000000", "Stream read error"},           // header cut short
        {6, "020200000041ff", "invalid LZW code"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        TMemoryStream stream(Hex(row.hex));
        TStreamHelper reader(stream);
        EXPECT_EQ(MessageOf([&] { reader.StartReadBlock(); }), row.message);
        EXPECT_EQ(reader.Depth(), 1); // nothing left pushed
    }
    TMemoryStream out;
    TStreamHelper writer(out);
    writer.SetCompressMethod(3);
    writer.StartWriteBlock();
    EXPECT_EQ(MessageOf([&] { writer.FinishWriteBlock(); }), "Unknown compression method 3");
}

TEST(ZvUtilStream, FuzzReader)
{
    // Reads what a project item block holds: indexes, strings, fixed values
    // and nested blocks, as directed by the leading byte of each item.
    auto target = [](const QByteArray& input) {
        TMemoryStream stream(input);
        TStreamHelper reader(stream);
        while (!reader.Empty()) {
            switch (reader.ReadByte() % 6) {
            case 0:
                reader.ReadIndex();
                break;
            case 1:
                reader.ReadString();
                break;
            case 2:
                reader.ReadExtended();
                break;
            case 3:
                reader.StartReadBlock();
                break;
            case 4:
                if (reader.Depth() > 1)
                    reader.FinishReadBlock();
                break;
            default:
                reader.SkipBlock();
                break;
            }
        }
    };
    const std::vector<QByteArray> seeds = {
        Written([](TStreamHelper& h) {
            h.WriteByte(3);
            h.StartWriteBlock();
            h.WriteByte(1);
            h.WriteString("Report1");
            h.WriteByte(0);
            h.WriteIndex(300);
            h.FinishWriteBlock();
            h.WriteByte(4);
        }),
        Hex("03020a0000008080c0e0a0e8c30c0604"),
    };
    const FuzzStats stats = RunFuzzLoop(target, seeds, 3.0);
    EXPECT_GT(stats.runs, 100);
}

TEST(ZvUtil, TolerantComparison)
{
    struct Row {
        int no;
        double a;
        double b;
        bool equal;
        bool greater;
        bool less;
    };
    // Tolerance 0.0001, inclusive, differences taken from the two doubles.
    const Row rows[] = {
        {1, 1.0, 1.0, true, false, false},
        {2, 1.0, 1.0001, true, false, false}, // the double difference lies just below 0.0001
        {3, 1.0002, 1.0, false, true, false},
        {4, 1.00005, 1.0, true, false, false},
        {5, 1.0, 1.0002, false, false, true},
        {6, 0.0, 0.0001, true, false, true}, // exactly the tolerance: both tests are inclusive
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(FloatEqual(row.a, row.b), row.equal);
        EXPECT_EQ(FloatNotEqual(row.a, row.b), !row.equal);
        EXPECT_EQ(FloatGreater(row.a, row.b), row.greater);
        EXPECT_EQ(FloatLess(row.a, row.b), row.less);
        EXPECT_EQ(FloatLessEqual(row.a, row.b), !row.greater);
        EXPECT_EQ(FloatGreaterEqual(row.a, row.b), !row.less);
    }
    EXPECT_EQ(FloatMin(2, 1), 1);
    EXPECT_EQ(FloatMax(2, 1), 2);

    TZarvRect overlap;
    EXPECT_TRUE(IntersectZarvRect(overlap, ZarvRect(0, 0, 1, 1), ZarvRect(1, 0, 2, 1)));
    EXPECT_EQ(overlap.Left, 1);
    EXPECT_EQ(overlap.Right, 1);
    EXPECT_FALSE(IntersectZarvRect(overlap, ZarvRect(0, 0, 1, 1), ZarvRect(1.1, 0, 2, 1)));
    EXPECT_TRUE(PtInZarvRect(ZarvRect(0, 0, 1, 1), ZarvPoint(1.00005, 0.5)));
    EXPECT_FALSE(PtInZarvRect(ZarvRect(0, 0, 1, 1), ZarvPoint(1.001, 0.5)));
}

TEST(ZvUtil, NamesAndTokens)
{
    EXPECT_EQ(FieldNameToIdent("Order Date"), "<Order Date>");
    EXPECT_EQ(FieldNameToIdent("Order_Date2"), "Order_Date2");
    EXPECT_EQ(FieldNameToIdent("<Order Date>"), "<Order Date>");
    EXPECT_EQ(FieldNameToIdent(QStringLiteral("\u0141")), QStringLiteral("\u0141")); // low byte 'A'
    EXPECT_EQ(FieldNameToIdent(QStringLiteral("Ma\u00df")), QStringLiteral("<Ma\u00df>"));
    EXPECT_EQ(FieldNameToDisplay("<Order Date>"), "Order Date");
    EXPECT_EQ(FieldNameToDisplay("a>b<c>d>"), "a>bcd>");

    struct Row {
        int no;
        const char* s;
        const char* separators;
        const char* token;
        char sep;
        const char* rest;
    };
    const Row rows[] = {
        {1, " View.<A|B> | x ", "|", "View.<A|B>", '|', "x"}, // the | inside brackets does not split
        {2, "<A|B>", "|", "<A|B>", 0, ""},
        {3, " a + b & c", "+&", "a", '+', "b & c"},
        {4, "&b", "+&", "", '&', "b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        QString s = row.s;
        QChar sep = u'?';
        QString token;
        ParseTaggedText(s, sep, row.separators, token);
        EXPECT_EQ(token, row.token);
        EXPECT_EQ(sep, QChar(row.sep));
        EXPECT_EQ(s, row.rest);
    }

    QString s = "'it''s' + x";
    QString token;
    ExtractQuotedToken(s, u'\'', token);
    EXPECT_EQ(token, "it's");
    EXPECT_EQ(s, "+ x");
    ExtractQuotedToken(s, u'\'', token);
    EXPECT_EQ(token, "");
    EXPECT_EQ(s, "+ x");

    EXPECT_EQ(PropListPos("Text", "`Font`Text"), 6);
    EXPECT_EQ(PropListPos("Tex", "`Font`Text"), 0);
    EXPECT_EQ(PropListPos("font", "`Font`Text"), 0); // case matters
    EXPECT_TRUE(PropListHas("Font", "`Font`Text"));
    EXPECT_TRUE(SameTextLocale(QStringLiteral("\u00e4bc"), QStringLiteral("\u00c4BC")));
    EXPECT_FALSE(SameTextLocale("", "a"));
    EXPECT_TRUE(SameTextLocale("", ""));
}

TEST(ZvUtil, NumberText)
{
    SeparatorGuard guard;
    SetDecimalSeparator(u',');
    EXPECT_EQ(ExtractNumberValue("12,5", 7), 12.5);
    EXPECT_EQ(ExtractNumberValue(" -3 ", 7), -3);
    EXPECT_EQ(ExtractNumberValue("twelve", 7), 7);
    EXPECT_EQ(ExtractNumberValue("", 7), 7);
    EXPECT_EQ(ExtractNumberValue("inf", 7), 7);
    EXPECT_EQ(ExtractNumberText("Page -1,2,3 of 9"), "-1,239");
    EXPECT_EQ(ExtractNumberText("x1-2"), "12");
    EXPECT_EQ(ExtractNumberText("-1,5x"), "-1,5");
    SetDecimalSeparator(u'.');
    EXPECT_EQ(ExtractNumberValue("1.25", 0), 1.25);
    EXPECT_EQ(ExtractNumberValue("12,5", 7), 7);

    EXPECT_EQ(FloatToTextTrimmed(1.5, 4), "1.5");
    EXPECT_EQ(FloatToTextTrimmed(2.0, 4), "2");
    EXPECT_EQ(FloatToTextTrimmed(1.0 / 3.0, 18), "0.333333333333333");
    EXPECT_EQ(FloatToTextTrimmed(100, 0), "100");

    for (auto [n, v] : std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {1, -1}, {2, 1}, {3, -2}, {4, 2}})
        EXPECT_EQ(ZigZagDecode(n), v) << n;
}

TEST(ZvUtil, StackList)
{
    int a = 1;
    int b = 2;
    TZarvStackList<int> stack;
    EXPECT_EQ(stack.Pop(), nullptr);
    EXPECT_EQ(stack.Top(), nullptr);
    stack.Push(&a);
    stack.Push(&b);
    EXPECT_EQ(stack.Peek(0), &b);
    EXPECT_EQ(stack.Peek(1), &a);
    EXPECT_EQ(stack.Peek(2), nullptr);
    EXPECT_EQ(stack.Pop(), &b);
    EXPECT_EQ(stack.Pop(), &a);
    EXPECT_TRUE(stack.IsEmpty());
}
