#include "platform/rtl/CodePages.h"

#include "platform/rtl/Exceptions.h"
#include "tests/support/FuzzLoop.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace {

QByteArray Bytes(std::initializer_list<uint8_t> list)
{
    QByteArray bytes;
    for (uint8_t b : list)
        bytes.append(char(b));
    return bytes;
}

// glibc's own CP1252 converter, an oracle independent of our table for the
// 251 bytes it defines. Returns 0 for a byte it does not define.
char16_t GlibcCp1252(uint8_t byte)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP1252");
    char in[1] = {char(byte)};
    char out[4] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return 0;
    return char16_t(uint8_t(out[0]) | (uint8_t(out[1]) << 8));
}

} // namespace

TEST(CodePages, Cp1252HighRow)
{
    // Expected code points: the Windows code page 1252 table, row 0x80-0x9F;
    // the five positions it leaves undefined map to the C1 control of the
    // same value, as Windows converts them.
    const char16_t expected[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
    };
    for (int i = 0; i < 32; ++i) {
        const QByteArray byte(1, char(0x80 + i));
        const QString text = AnsiToUnicode(byte);
        ASSERT_EQ(text.size(), 1) << "byte " << 0x80 + i;
        EXPECT_EQ(text[0].unicode(), expected[i]) << "byte " << 0x80 + i;
        EXPECT_EQ(UnicodeToAnsi(text), byte) << "byte " << 0x80 + i;
    }
    EXPECT_EQ(AnsiToUnicode(Bytes({0x80}), 1252), QString(QChar(0x20AC)));
    EXPECT_EQ(UnicodeToAnsi(QString(QChar(0x20AC)), 1252), Bytes({0x80}));
}

TEST(CodePages, Cp1252WholeRangeRoundTripsAndAgreesWithGlibc)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = AnsiToUnicode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(UnicodeToAnsi(text), all);
    for (int b = 0; b < 256; ++b) {
        const char16_t oracle = GlibcCp1252(uint8_t(b));
        if (oracle != 0 || b == 0) {
            EXPECT_EQ(text[b].unicode(), oracle) << "byte " << b;
        }
    }
}

TEST(CodePages, UnmappableCharactersBecomeQuestionMarks)
{
    // Expected bytes: one '?' per character the code page cannot hold; a
    // character outside the basic plane (a surrogate pair) is one character.
    struct Row {
        int No;
        QString Text;
        int CodePage;
        QByteArray Expected;
    };
    const Row rows[] = {
        {1, QStringLiteral("a\u4E00b"), CP_ACP, "a?b"},
        {2, QString(QChar(0x0080)), 1252, "?"}, // a C1 control 1252 puts elsewhere
        {3, QString(QChar(0x0100)), 1252, "?"}, // one past Latin-1
        {4, QStringLiteral("x\U0001F600y"), 1252, "x?y"},
        {5, QString(QChar(0xD800)) + "z", 1252, "?z"}, // a lone surrogate
        {6, QStringLiteral("a\u4E00b"), 1250, "a?b"},
        {7, QStringLiteral("\u0E01\u65E5"), 932, Bytes({'?', 0x93, 0xFA})},
        {8, QStringLiteral("x\U0001F600y"), 932, "x?y"},
        {9, QString(QChar(0xDC00)) + "z", 1251, "?z"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(UnicodeToAnsi(row.Text, row.CodePage), row.Expected) << "row " << row.No;
}

TEST(CodePages, IconvCodePagesRoundTrip)
{
    // Expected bytes: the Windows tables of code pages 1250 (Ż F3 ...) and
    // 932 (Shift-JIS: 日 93 FA, 本 96 7B, half-width ｱ B1, ① 87 40).
    struct Row {
        int No;
        int CodePage;
        QString Text;
        QByteArray Bytes;
    };
    const Row rows[] = {
        {1, 1250, QStringLiteral("\u017B\u00F3\u0142\u0107 1"), Bytes({0xAF, 0xF3, 0xB3, 0xE6, ' ', '1'})},
        {2, 1250, QString(QChar(0x20AC)), Bytes({0x80})},
        {3, 932, QStringLiteral("\u65E5\u672C\uFF71A"), Bytes({0x93, 0xFA, 0x96, 0x7B, 0xB1, 'A'})},
        {4, 932, QStringLiteral("\u2460"), Bytes({0x87, 0x40})},
        {5, 1251, QStringLiteral("\u0416"), Bytes({0xC6})},
        {6, 936, QStringLiteral("\u4E2D"), Bytes({0xD6, 0xD0})},
        {7, 949, QStringLiteral("\uD55C"), Bytes({0xC7, 0xD1})},
        {8, 950, QStringLiteral("\u4E2D"), Bytes({0xA4, 0xA4})},
        {9, 874, QStringLiteral("\u0E01"), Bytes({0xA1})},
        {10, 1250, QString(), QByteArray()},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UnicodeToAnsi(row.Text, row.CodePage), row.Bytes) << "row " << row.No;
        EXPECT_EQ(AnsiToUnicode(row.Bytes, row.CodePage), row.Text) << "row " << row.No;
    }
}

TEST(CodePages, UndecodableBytesBecomeQuestionMarks)
{
    struct Row {
        int No;
        QByteArray Bytes;
        int CodePage;
        QString Expected;
    };
    const Row rows[] = {
        // A lead byte with a trail byte out of range: the lead byte alone is
        // replaced and decoding resumes at the next byte.
        {1, Bytes({0x81, 0x20, 'A'}), 932, "? A"},
        // A lead byte cut off at the end.
        {2, Bytes({'A', 0x93}), 932, "A?"},
        // 0xAA is undefined in code page 1253.
        {3, Bytes({'a', 0xAA, 'b'}), 1253, "a?b"},
        {4, Bytes({0x93, 0xFA, 0x93}), 932, QStringLiteral("\u65E5?")},
        // 0x8A is undefined in code page 1258, whose converter holds the 'a'
        // back waiting for a combining mark: the 'a' must not be lost.
        {5, Bytes({'a', 0x8A, 'b'}), 1258, "a?b"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(AnsiToUnicode(row.Bytes, row.CodePage), row.Expected) << "row " << row.No;
}

TEST(CodePages, SupportedAndUnsupportedCodePages)
{
    EXPECT_EQ(SystemAnsiCodePage(), 1252);
    for (int cp : {0, 874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
        EXPECT_TRUE(IsCodePageSupported(cp)) << cp;
        EXPECT_EQ(AnsiToUnicode("Plain text 123", cp), "Plain text 123") << cp;
        EXPECT_EQ(UnicodeToAnsi("Plain text 123", cp), "Plain text 123") << cp;
    }
    for (int cp : {-1, 1, 437, 1200, 1249, 1259, 65001}) {
        EXPECT_FALSE(IsCodePageSupported(cp)) << cp;
        EXPECT_THROW(AnsiToUnicode("x", cp), EConvertError) << cp;
        EXPECT_THROW(UnicodeToAnsi("x", cp), EConvertError) << cp;
    }
}

TEST(CodePages, RandomBytesDecodeAndEncodeSafely)
{
    // Decoding never fails; re-encoding what was decoded never fails either.
    const std::vector<QByteArray> seeds = {Bytes({0x93, 0xFA, 0x96, 0x7B, 0x81, 0x40}),
                                           Bytes({0xD6, 0xD0, 0xA4, 0xA4, 0xC7, 0xD1, 0x80, 0xFF})};
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            for (int cp : {932, 936, 949, 950, 874, 1258}) {
                const QString text = AnsiToUnicode(bytes, cp);
                EXPECT_LE(text.size(), bytes.size());
                UnicodeToAnsi(text, cp);
            }
        },
        seeds, 1.0);
    EXPECT_GT(stats.runs, 0);
}
