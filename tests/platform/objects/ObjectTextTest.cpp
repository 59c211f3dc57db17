// The text form against Free Pascal's converter, the fixed point of
// text -> binary -> text -> binary, the tags Free Pascal does not write, and
// the syntax errors of the text form.
#include "platform/objects/ObjectText.h"
#include "platform/objects/ValueStream.h"
#include "tests/platform/objects/TestClasses.h"
#include "tests/support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kDataDir = QStringLiteral(TESSVAR_OBJECTS_DATA);
// The text forms whose .bin twins Free Pascal's ObjectTextToBinary made
// (tests/platform/objects/oracle/make-fixtures.sh).
const char* const kFixtures[] = {"values", "tree"};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << path.toStdString();
    return file.readAll();
}

// The offset of the first difference, for failure messages; -1 when equal.
qsizetype FirstDifference(const QByteArray& a, const QByteArray& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return i;
    }
    return a.size() == b.size() ? -1 : n;
}

// A stream of one object "A: T" with the single property V = value.
QByteArray OneValue(const QByteArray& value)
{
    return QByteArray::fromHex("54504630"
                               "0154"
                               "0141"
                               "0156") +
           value + QByteArray(2, '\0');
}

QByteArray OneValueText(const QByteArray& value)
{
    return "object A: T\n  V = " + value + "\nend\n";
}

TEST(ObjectTextTest, MatchesFreePascalFixtures)
{
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const QByteArray expected = ReadFile(kDataDir + "/" + name + ".bin");
        const QByteArray actual = ObjectTextToBinary(ReadFile(kDataDir + "/" + name + ".txt"));
        EXPECT_EQ(FirstDifference(actual, expected), -1);
    }
}

TEST(ObjectTextTest, CanonicalStreamsReachAFixedPoint)
{
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const QByteArray binary = ReadFile(kDataDir + "/" + name + ".bin");
        const QByteArray text = ObjectBinaryToText(binary);
        const QByteArray again = ObjectTextToBinary(text);
        EXPECT_EQ(FirstDifference(again, binary), -1);
        EXPECT_EQ(ObjectBinaryToText(again), text);
    }
    // The tree fixture is written exactly as the converter writes text.
    EXPECT_EQ(ObjectBinaryToText(ReadFile(kDataDir + "/tree.bin")), ReadFile(kDataDir + "/tree.txt"));
}

// Free Pascal itself, when installed: the oracle built afresh must still make
// the committed fixtures, and must read the text this converter writes to the
// same bytes.
TEST(ObjectTextTest, FpcOracle)
{
    const QString fpc = QStandardPaths::findExecutable(QStringLiteral("fpc"));
    if (fpc.isEmpty())
        GTEST_SKIP() << "fpc is not installed";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString oracle = work.filePath(QStringLiteral("text2bin"));
    QProcess build;
    build.start(fpc, {QStringLiteral("-v0"), QStringLiteral("-FU") + work.path(),
                      QStringLiteral("-o") + oracle, QStringLiteral(TESSVAR_FPC_ORACLE)});
    ASSERT_TRUE(build.waitForFinished(120000));
    ASSERT_EQ(build.exitCode(), 0) << build.readAllStandardError().toStdString();

    auto runOracle = [&](const QByteArray& text) {
        const QString in = work.filePath(QStringLiteral("in.txt"));
        const QString out = work.filePath(QStringLiteral("out.bin"));
        QFile file(in);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QFile::remove(out);
        EXPECT_EQ(QProcess::execute(oracle, {in, out}), 0);
        return ReadFile(out);
    };
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const QByteArray binary = ReadFile(kDataDir + "/" + name + ".bin");
        EXPECT_EQ(FirstDifference(runOracle(ReadFile(kDataDir + "/" + name + ".txt")), binary), -1);
        EXPECT_EQ(FirstDifference(runOracle(ObjectBinaryToText(binary)), binary), -1);
    }
}

// Values whose text form is this converter's own: Free Pascal's converter
// writes no single, currency, date, UTF-8 string or double and reads no order
// value in a collection. The bytes are built by hand from the tag table
// (ValueStream.h); "back" is what the text converts to again, the canonical
// tag where the text form has no way to keep the stream's own.
TEST(ObjectTextTest, HandBuiltValues)
{
    struct Row {
        int Line;
        QByteArray Bytes;
        const char* Text;
        QByteArray Back; // empty: the same bytes
    };
    const Row rows[] = {
        {1, QByteArray::fromHex("0F0000C03F"), "1.5s", {}},             // single 1.5
        {2, QByteArray::fromHex("0FCDCCCCBD"), "-0.1s", {}},            // single nearest -0.1
        {3, QByteArray::fromHex("1040E2010000000000"), "12.3456c", {}}, // currency 123456 / 10000
        {4, QByteArray::fromHex("10FFFFFFFFFFFFFFFF"), "-0.0001c", {}},
        {5, QByteArray::fromHex("10FFFFFFFFFFFFFF7F"), "922337203685477.5807c", {}},  // largest currency
        {6, QByteArray::fromHex("100000000000000080"), "-922337203685477.5808c", {}}, // smallest currency
        {7, QByteArray::fromHex("110000000010F9E540"), "45000.5d", {}}, // date, days as a double
        {8, QByteArray::fromHex("1405000000C3A9E282AC"), "#233#8364",
         QByteArray::fromHex("1202000000E900AC20")},
        {9, QByteArray::fromHex("159A9999999999B93F"), "0.1", QByteArray::fromHex("05CDCCCCCCCCCCCCCCFB3F")},
        {10, QByteArray::fromHex("12010000004100"), "'A'", QByteArray::fromHex("060141")},
        {11,
         QByteArray::fromHex("0E0203010141020200010000"),
         "<\n    item [3]\n      A = 2\n    end\n    item\n    end>",
         {}}, // an item with its order value
        {12, QByteArray::fromHex("00"), "Null", QByteArray::fromHex("07044E756C6C")}, // a null value
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        const QByteArray stream = OneValue(row.Bytes);
        const QByteArray text = ObjectBinaryToText(stream);
        EXPECT_EQ(text, OneValueText(row.Text));
        const QByteArray back = ObjectTextToBinary(text);
        EXPECT_EQ(back.toHex(), OneValue(row.Back.isEmpty() ? row.Bytes : row.Back).toHex());
    }
}

// Text the converter reads beyond the fixtures: the value's bytes.
TEST(ObjectTextTest, TextValues)
{
    struct Row {
        int Line;
        const char* Text;
        const char* Hex;
    };
    const Row rows[] = {
        {1, "#$41#66", "06024142"}, // hexadecimal and decimal character codes
        {2, "-$10", "02F0"},
        {3, "$FFFFFFFFFFFFFFFF", "02FF"}, // 16 hex digits: the 64-bit pattern of -1
        {4, "'a' + #10 +\n    'b'", "0603610A62"},
        {5, "#128514", "12020000003DD802DE"}, // beyond the 16-bit range: a surrogate pair
        {6, "5c", "10 50C3000000000000"},     // 50000 / 10000
        {7, "1E-2c", "10 6400000000000000"},
        {8, "0.00005c", "10 0000000000000000"},   // half to even: down to 0
        {9, "0.00015c", "10 0200000000000000"},   // half to even: up to 2
        {10, "-0.00025c", "10 FEFFFFFFFFFFFFFF"}, // -2.5 units: to -2
        {11, "TRUE", "09"},
        {12, "NIL", "0D"},
        {13, "-0.0", "05 00000000000000000080"}, // negative zero keeps its sign
        {14, "1.5E+3", "05 00000000000080BB0940"},
        {15, "(\n  )", "0100"},
        {16, "<>", "0E00"},
        {17, "'caf\xc3\xa9'", "1204000000630061006600E900"}, // UTF-8 text in quotes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        const QByteArray expected = QByteArray::fromHex(QByteArray(row.Hex).replace(' ', ""));
        EXPECT_EQ(ObjectTextToBinary(OneValueText(row.Text)).toHex(), OneValue(expected).toHex());
    }
}

TEST(ObjectTextTest, SyntaxErrors)
{
    struct Row {
        int Line;
        QByteArray Text;
        const char* Message;
    };
    const Row rows[] = {
        {1, "", "Line 1: 'object' expected but end of text found"},
        {2, "object : T\nend\n", "Line 1: Identifier expected but ':' found"},
        {3, OneValueText("'abc"), "Line 2: Unterminated string"},
        {4, OneValueText("{0F1}"), "Line 2: Invalid binary value: odd number of hexadecimal digits"},
        {5, OneValueText("{0G}"), "Line 2: Invalid binary value: 'G'"},
        {6, OneValueText("9223372036854775808"), "Line 2: Integer out of range: 9223372036854775808"},
        {7, OneValueText("[a, 1]"), "Line 2: Set element expected but '1' found"},
        {8, OneValueText("(1"), "Line 4: ')' expected but end of text found"},
        {9, "object A: T\n  V = 1\n", "Line 3: 'end' expected but end of text found"},
        {10, OneValueText("@"), "Line 2: Invalid character '@' (#64)"},
        {11, OneValueText("12abc"), "Line 2: Invalid number 12a"},
        {12, OneValueText("#1114112"), "Line 2: Invalid character code"},
        {13, OneValueText("<\n    itm\n  end>"), "Line 3: 'item' expected but 'itm' found"},
        {14, OneValueText("'a' + 1"), "Line 2: String expected but '1' found"},
        {15, OneValueText(QByteArray(257, '(') + QByteArray(257, ')')), "Line 2: Nesting deeper than 256"},
        {16, OneValueText("1E9999c"), "Line 2: Currency value out of range: 1E9999"},
        {17, OneValueText("922337203685477.5808c"),
         "Line 2: Currency value out of range: 922337203685477.5808"},
        {18, OneValueText("1E5000s"), "Line 2: Invalid floating point value 1E5000"},
        {19, OneValueText("1E99999"), "Line 2: Invalid floating point value 1E99999"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Line);
        try {
            ObjectTextToBinary(row.Text);
            ADD_FAILURE() << "no error";
        } catch (const EParserError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }
}

TEST(ObjectTextTest, DamagedBinaryNeverConvertsToText)
{
    // Every truncation of a fixture fails cleanly.
    const QByteArray binary = ReadFile(kDataDir + "/values.bin");
    for (qsizetype length = 0; length < binary.size(); ++length)
        EXPECT_THROW(ObjectBinaryToText(binary.left(length)), EReadError) << length;
    // Floats the text form cannot hold.
    EXPECT_THROW(ObjectBinaryToText(OneValue(QByteArray::fromHex("050000000000000080FF7F"))),
                 EReadError);                                                                  // infinity
    EXPECT_THROW(ObjectBinaryToText(OneValue(QByteArray::fromHex("0F0000C07F"))), EReadError); // NaN
    EXPECT_THROW(ObjectBinaryToText(QByteArray::fromHex("54504631015401410000")), EReadError); // "TPF1"
}

// The converter tool on a disk with room for only part of its output (a
// shell ignores SIGXFSZ, which the tool inherits, and sets a 512-byte file
// size limit): the previous output keeps every byte and the message names
// it. With room the output is the whole stream.
TEST(ObjectTextTest, ConverterOutputCutShortKeepsThePreviousFile)
{
    QTemporaryDir dir;
    QByteArray text = "object fBig: TfBig\n";
    for (int i = 0; i < 40; ++i)
        text += "  Caption" + QByteArray::number(i) + " = 'a caption long enough to fill the stream'\n";
    text += "end\n";
    const QString input = dir.filePath("big.txt");
    const QString output = dir.filePath("big.bin");
    for (const auto& [name, bytes] : {std::pair{input, text}, std::pair{output, QByteArray("previous")}}) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // SIGXFSZ at its default disposition: the tool ignores it itself.
    const TLimitedRun limited =
        RunProgramWithFileSizeLimit(512, TESSVAR_FORMCONV, {"text2bin", input, output});
    EXPECT_FALSE(limited.Signalled) << limited.Signal;
    EXPECT_EQ(limited.ExitCode, 1);
    EXPECT_TRUE(limited.Errors.contains("Cannot create file \"" + output + "\". "))
        << limited.Errors.toStdString();
    QFile kept(output);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "previous");
    kept.close();

    QProcess whole;
    whole.start(TESSVAR_FORMCONV, {"text2bin", input, output});
    ASSERT_TRUE(whole.waitForFinished(30000));
    EXPECT_EQ(whole.exitCode(), 0);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), ObjectTextToBinary(text));
}

} // namespace
