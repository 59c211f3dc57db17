#include "report/model/ZvLzw.h"

#include "report/model/ZvDefine.h"
#include "tests/support/FuzzLoop.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

QByteArray Encode(const QByteArray& plain, int symbolBits = 8, int maxBits = 13)
{
    qsizetype pos = 0;
    QByteArray out;
    LzwCompress(
        symbolBits, maxBits,
        [&](uint8_t* buffer, int count) {
            const int n = int(std::min<qsizetype>(count, plain.size() - pos));
            std::copy_n(plain.constData() + pos, n, buffer);
            pos += n;
            return n;
        },
        [&](const uint8_t* buffer, int count) { out.append(reinterpret_cast<const char*>(buffer), count); });
    return out;
}

QByteArray Decode(const QByteArray& packed, int symbolBits = 8, int maxBits = 13)
{
    qsizetype pos = 0;
    QByteArray out;
    LzwDecompress(
        symbolBits, maxBits,
        [&](uint8_t* buffer, int count) {
            // Small reads, so codes straddle refills.
            const int n = int(std::min<qsizetype>(std::min(count, 7), packed.size() - pos));
            std::copy_n(packed.constData() + pos, n, buffer);
            pos += n;
            return n;
        },
        [&](const uint8_t* buffer, int count) { out.append(reinterpret_cast<const char*>(buffer), count); });
    return out;
}

// Codes of given widths packed most significant bit first, the last byte
// completed with zero bits.
QByteArray Pack(const std::vector<std::pair<int, int>>& codes)
{
    QByteArray out;
    uint32_t bits = 0;
    int count = 0;
    for (auto [code, width] : codes) {
        bits = (bits << width) | uint32_t(code);
        count += width;
        while (count >= 8) {
            count -= 8;
            out.append(char(bits >> count));
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0)
        out.append(char(bits << (8 - count)));
    return out;
}

// A plain second encoder over a map of strings, written from the code rules
// (8-bit symbols, 13-bit codes): a code is written at the width in force; the
// width grows when code 2^width is assigned; assigning 8191 is followed by a
// clear code at 13 bits and a fresh table.
QByteArray ReferenceEncode(const QByteArray& plain)
{
    std::vector<std::pair<int, int>> codes;
    std::map<std::string, int> table;
    int width = 9;
    int next = 258;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < 256; ++i)
            table[std::string(1, char(i))] = i;
        width = 9;
        next = 258;
    };
    reset();
    codes.push_back({256, 9});
    std::string w;
    for (char c : plain) {
        if (table.count(w + c)) {
            w += c;
            continue;
        }
        codes.push_back({table[w], width});
        const int code = next++;
        table[w + c] = code;
        if (code == (1 << width) && width < 13)
            ++width;
        if (code == 8191) {
            codes.push_back({256, 13});
            reset();
        }
        w = std::string(1, c);
    }
    if (!w.empty())
        codes.push_back({table[w], width});
    codes.push_back({257, width});
    return Pack(codes);
}

QByteArray RandomBytes(int size, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = char(rng());
    return out;
}

QByteArray Text(int size, unsigned seed)
{
    static const char* words[] = {"thread", "gauge", "pitch", "diameter", "the",   "of",  "and",
                                  "limit",  "go",    "no-go", "major",    "minor", "ISO", "flank"};
    std::mt19937 rng(seed);
    QByteArray out;
    while (out.size() < size) {
        out.append(words[rng() % std::size(words)]);
        out.append(rng() % 9 == 0 ? ".\r\n" : " ");
    }
    out.truncate(size);
    return out;
}

QByteArray Repetitive(int size)
{
    QByteArray out;
    while (out.size() < size)
        out.append("ABABABAB");
    out.truncate(size);
    return out;
}

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EZarvException& e) {
        return e.Message().toStdString();
    }
    return "(nothing raised)";
}

} // namespace

TEST(ZvLzw, KnownCodes)
{
    // ABABABA gives the codes 256, 65, 66, 258, 260, 257 at 9 bits each.
    const QByteArray expected = Pack({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {260, 9}, {257, 9}});
    EXPECT_EQ(Encode("ABABABA"), expected);
    EXPECT_EQ(Decode(expected), "ABABABA");
    // A code one above the last assigned (260 right after 259): the previous
    // string and its own first symbol.
    EXPECT_EQ(Decode(Pack({{256, 9}, {65, 9}, {258, 9}, {257, 9}})), "AAA");
}

TEST(ZvLzw, EmptyForms)
{
    EXPECT_EQ(Encode(QByteArray()), Pack({{256, 9}, {257, 9}}));
    EXPECT_EQ(Decode(Pack({{256, 9}, {257, 9}})), QByteArray());
    // The form an all-ones "no string" code takes between clear and end.
    EXPECT_EQ(Decode(Pack({{256, 9}, {511, 9}, {257, 9}})), QByteArray());
    EXPECT_EQ(Decode(QByteArray()), QByteArray());
}

TEST(ZvLzw, RoundTripsAgainstTheReference)
{
    struct Row {
        int no;
        QByteArray plain;
    };
    // Sizes chosen to cross the 9/10-bit change (code 512), several width
    // changes and, for the larger random inputs, the table reset after 8191.
    const Row rows[] = {
        {1, "A"},
        {2, Repetitive(2000)},
        {3, Repetitive(200 * 1024)},
        {4, Text(600, 1)},
        {5, Text(5000, 2)},
        {6, Text(200 * 1024, 3)},
        {7, RandomBytes(700, 4)},
        {8, RandomBytes(9000, 5)},
        {9, RandomBytes(200 * 1024, 6)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        const QByteArray packed = Encode(row.plain);
        EXPECT_EQ(packed, ReferenceEncode(row.plain));
        EXPECT_EQ(Decode(packed), row.plain);
    }
}

TEST(ZvLzw, OtherWidths)
{
    // Symbols of 2 bits (clear 4, end 5) with codes of at most 4 bits: the
    // table fills after a few symbols and is cleared again and again.
    QByteArray plain;
    for (int i = 0; i < 500; ++i)
        plain.append(char(i * 7 % 5 % 4));
    EXPECT_EQ(Decode(Encode(plain, 2, 4), 2, 4), plain);
    // One-bit symbols start at 3 bits (clear 2, end 3).
    const QByteArray bitsPlain("\x01\x00\x01\x01\x00\x00\x01\x01\x01\x00", 10);
    EXPECT_EQ(Encode(QByteArray(), 1, 5), Pack({{2, 3}, {3, 3}}));
    EXPECT_EQ(Decode(Encode(bitsPlain, 1, 5), 1, 5), bitsPlain);
}

TEST(ZvLzw, RefusesBadInput)
{
    const std::string invalid = "invalid LZW code";
    struct Row {
        int no;
        QByteArray packed;
        std::string message;
    };
    const Row rows[] = {
        {1, Pack({{65, 9}, {257, 9}}), invalid},                     // no clear first
        {2, Pack({{256, 9}, {258, 9}, {257, 9}}), invalid},          // first code after clear not a symbol
        {3, Pack({{256, 9}, {65, 9}, {259, 9}, {257, 9}}), invalid}, // beyond the next free code (258)
        {4, Pack({{256, 9}, {65, 9}, {66, 9}}), invalid},            // no end code
        {5, Pack({{256, 9}, {511, 9}, {65, 9}, {257, 9}}), invalid}, // all ones not followed by end
        {6, Pack({{256, 9}, {65, 9}, {256, 9}, {300, 9}, {257, 9}}), invalid}, // after a later clear
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(MessageOf([&] { Decode(row.packed); }), row.message);
    }

    // Literals without a clear until the decoder would assign the last code
    // at 13 bits. The decoder widens when it assigns 2^width - 1.
    std::vector<std::pair<int, int>> codes = {{256, 9}, {65, 9}};
    int width = 9;
    for (int last = 257; last < 8190;) {
        codes.push_back({65, width});
        ++last;
        if (last == (1 << width) - 1)
            ++width;
    }
    codes.push_back({65, 13});
    codes.push_back({257, 13});
    EXPECT_EQ(MessageOf([&] { Decode(Pack(codes)); }), "Hash Table overflow.");

    EXPECT_EQ(MessageOf([] { Encode("x", 0, 13); }), "Invalid LZW code widths 0 and 13");
    EXPECT_EQ(MessageOf([] { Encode("x", 8, 17); }), "Invalid LZW code widths 8 and 17");
    EXPECT_EQ(MessageOf([] { Encode("\x05", 2, 4); }), "LZW input byte 5 is not a 2-bit symbol");
}

TEST(ZvLzw, FuzzDecoder)
{
    const std::vector<QByteArray> seeds = {Encode("ABABABA"), Encode(Text(3000, 7)),
                                           Encode(RandomBytes(600, 8)), Encode(QByteArray())};
    const FuzzStats stats = RunFuzzLoop([](const QByteArray& input) { Decode(input); }, seeds, 3.0);
    EXPECT_GT(stats.runs, 100);
}
