// Rich text into in-text codes. In expected texts "[" stands for character
// 1, "|" for 2 and "]" for 4.
#include "report/print/QpRtf.h"

#include "tests/support/FuzzLoop.h"

#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

namespace {

QString Convert(const QByteArray& rtf)
{
    TMemoryStream out;
    RTFToQPTF(rtf.constData(), int(rtf.size()), out);
    const QByteArray& bytes = out.Bytes();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    text.replace(QChar(1), u'[');
    text.replace(QChar(2), u'|');
    text.replace(QChar(4), u']');
    return text;
}

struct Row {
    int line;
    const char* rtf;
    const char16_t* expected;
};

// Each row's blocks follow the rule of the shorter block: R and the
// difference from the default state, or the difference from the state
// emitted last (R on the first text).
const Row kRows[] = {
    {1, R"({\rtf1 a\b b\b0 c\par})", u"[R]a[B1]b[R]c\r\n"},
    // With another font in force, leaving bold is shorter as B0.
    {2, R"({\rtf1\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}}\f1\fs20 x\b y\b0 z})",
     u"[R|NTimes New Roman|Z10]x[B1]y[B0]z"},
    {3, R"({\rtf1{\info{\title T}{\author A}}{\*\generator G;}{\header H}{\pict 0102}hi})", u"[R]hi"},
    {4, R"({\rtf1{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}\cf1 r\cf2 b\cf9 k})",
     u"[R|C255]r[C16711680]b[R]k"},
    {5, R"({\rtf1 a{\v hidden}b\v c\v0 d})", u"[R]abd"},
    {6, R"({\rtf1 \bullet\tab\endash\emdash\lquote\rquote\ldblquote\rdblquote})",
     u"[R]\u2022\t\u2013\u2014\u2018\u2019\u201C\u201D"},
    {7, R"({\rtf1 a\\b\{c\}\'e9\'4})", u"[R]a\\b{c}\u00E94"},
    {8, R"({\rtf1\qc\li720\fi-360 x\par\pard y})", u"[R|F-0.25|L0.5|JC]x\r\n[R]y"},
    {9, R"({\rtf1{\fonttbl{\f0 Courier New;}}\b\i\fs30 a\plain b})",
     u"[R|NCourier New|Z15|B1|I1]a[Z12|B0|I0]b"},
    {10, R"({\rtf1 a{\b b}c})", u"[R]a[B1]b[R]c"},
    {11, R"({\rtf1{\fonttbl}\f0 x})", u"[R]x"}, // an empty table gets Arial
    {12, "{\\rtf1 a\r\nb}", u"[R]ab"},
    {13, R"({\rtf1 x\super 2\nosupersub y\sub 3})", u"[R]x[P1]2[R]y[S1]3"},
    {14, R"({\rtf1\ul u\ulnone n\strike s\strike0 t})", u"[R|U1]u[R]n[K1]s[R]t"},
    // Broken text: braces too many or too few, a cut control.
    {15, R"({\rtf1 a}}}{{b\)", u"[R]ab"},
    {16, R"({\rtf1{\fonttbl{\f99999999 Big;}}\f99999999 x\fs})", u"[R]x"},
    {17, R"({\rtf1\ri2880\ulnone\u8364? e})", u"[R|G2]? e"},
    {18, "", u""},
};

TEST(QpRtfTest, RichTextBecomesCodedText)
{
    for (const Row& row : kRows)
        EXPECT_EQ(Convert(QByteArray(row.rtf)), QString::fromUtf16(row.expected)) << "row " << row.line;
}

TEST(QpRtfTest, OutputIsUtf16WithoutLengthOrTerminator)
{
    TMemoryStream out;
    const QByteArray rtf(R"({\rtf1 \'e9})");
    RTFToQPTF(rtf.constData(), int(rtf.size()), out);
    EXPECT_EQ(out.Bytes(), QByteArray("\x01\0R\0\x04\0\xe9\0", 8));
    TMemoryStream empty;
    RTFToQPTF(nullptr, 5, empty);
    EXPECT_EQ(empty.Size(), 0);
}

TEST(QpRtfTest, AnyBytesConvert)
{
    std::vector<QByteArray> seeds;
    for (const Row& row : kRows)
        seeds.emplace_back(row.rtf);
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TMemoryStream out;
            RTFToQPTF(bytes.constData(), int(bytes.size()), out);
        },
        seeds, 1.0);
    EXPECT_GT(stats.runs, 100);
    EXPECT_EQ(stats.rejected, 0);
}

} // namespace
