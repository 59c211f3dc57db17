#include "localization/kcompress.h"

#include "platform/rtl/Streams.h"
#include "tests/support/FuzzLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

const QByteArray Header("LZK00\0\0\0\0", 9);

QByteArray Compress(const QByteArray& plain)
{
    TMemoryStream source(plain);
    TMemoryStream dest;
    LZKCompressStream(source, dest);
    return dest.Bytes();
}

QByteArray Decompress(const QByteArray& packed)
{
    TMemoryStream source(packed);
    TMemoryStream dest;
    LZKDecompressStream(source, dest);
    return dest.Bytes();
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray DistinctBytes(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out.append(char(i));
    return out;
}

QByteArray RandomBytes(int size, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = char(rng());
    return out;
}

// Words and punctuation in the proportions of running text.
QByteArray Text(int size, unsigned seed)
{
    static const char* words[] = {"thread", "gauge", "pitch",     "diameter", "the",   "of",
                                  "and",    "limit", "tolerance", "Go",       "No-go", "major",
                                  "minor",  "flank", "angle",     "ring",     "plug",  "measure",
                                  "over",   "wires", "ISO",       "metric",   "inch",  "class"};
    std::mt19937 rng(seed);
    QByteArray out;
    while (out.size() < size) {
        out.append(words[rng() % std::size(words)]);
        out.append(rng() % 9 == 0 ? ".\r\n" : " ");
    }
    out.truncate(size);
    return out;
}

// A random block repeated: the encoder can reach back one period only while
// it lies within the window.
QByteArray Periodic(int size, int period, unsigned seed)
{
    const QByteArray block = RandomBytes(period, seed);
    QByteArray out;
    while (out.size() < size)
        out.append(block);
    out.truncate(size);
    return out;
}

} // namespace

// Exact bytes of the encoder. Rows 1-4 are the format's stated examples;
// the others are worked by hand from the token layout.
TEST(LZKCompress, ExactBytes)
{
    struct Row {
        int no;
        QByteArray plain;
        QByteArray body; // after the 9-byte header
    };
    const Row rows[] = {
        // 1: empty input gives the header alone
        {1, QByteArray(), QByteArray()},
        // 2: fewer than 3 look-ahead bytes never match: one literal run of 3
        {2, "abc", Bytes({0x06, 'a', 'b', 'c'})},
        // 3: "aaaaaa": literal a, then distance 1 length 5 -> 1*2+1 + 2*4096 = 0x2003
        {3, "aaaaaa", Bytes({0x02, 'a', 0x03, 0x20})},
        // 4 (further below): 200 distinct bytes -> runs of 127 and 73
        // 5: distance 3 length 6 -> 3*2+1 + 3*4096 = 0x3007
        {5, "abcabcabc", Bytes({0x06, 'a', 'b', 'c', 0x07, 0x30})},
        // 6: of two equally long candidates the nearer (distance 4) wins
        {6, "abcXabcYabc", Bytes({0x08, 'a', 'b', 'c', 'X', 0x09, 0x00, 0x02, 'Y', 0x09, 0x00})},
        // 7: 40 x "a": literal, then matches of 18, 18 and 3 (lengths cap at 18)
        {7, QByteArray(40, 'a'), Bytes({0x02, 'a', 0x03, 0xF0, 0x03, 0xF0, 0x03, 0x00})},
        // 8: the search stops at the newest match longer than 8 (distance 10,
        // length 9: 0x6015) although an older one would give 18
        {8,
         "abcdefghijklmnopqr"
         "abcdefghiZ"
         "abcdefghijklmnopqr",
         Bytes({0x24}) + "abcdefghijklmnopqr" + Bytes({0x25, 0x60, 0x02, 'Z', 0x15, 0x60, 0x39, 0x60})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(Compress(row.plain), Header + row.body);
    }

    // Row 4.
    const QByteArray distinct = DistinctBytes(200);
    const QByteArray packed = Compress(distinct);
    ASSERT_EQ(packed.size(), 9 + 1 + 127 + 1 + 73);
    EXPECT_EQ(uint8_t(packed[9]), 127 * 2);
    EXPECT_EQ(packed.mid(10, 127), distinct.left(127));
    EXPECT_EQ(uint8_t(packed[9 + 128]), 73 * 2);
    EXPECT_EQ(packed.mid(9 + 129), distinct.mid(127));
}

TEST(LZKCompress, RoundTripsAtEverySize)
{
    const int sizes[] = {0, 1, 2, 3, 127, 128, 2047, 2048, 2049, 5000, 70000};
    for (int size : sizes) {
        const std::pair<const char*, QByteArray> inputs[] = {
            {"random", RandomBytes(size, 7 + size)},
            {"repetitive", QByteArray(size, 'x')},
            {"text", Text(size, 11 + size)},
            {"period 1900 (within the window)", Periodic(size, 1900, 3)},
            {"period 2100 (beyond the window)", Periodic(size, 2100, 5)},
        };
        for (const auto& [kind, plain] : inputs) {
            SCOPED_TRACE(testing::Message() << kind << ", " << size << " bytes");
            const QByteArray packed = Compress(plain);
            EXPECT_EQ(Decompress(packed), plain);
            if (size >= 5000 && QByteArray(kind) == "repetitive") {
                EXPECT_LT(packed.size(), size / 8); // 18 bytes per 2-byte match
            }
        }
    }
    // The 2048-byte window holds the 127-byte look-ahead too, so while the
    // look-ahead is full a match reaches back at most 1921 bytes.
    EXPECT_LT(Compress(Periodic(10000, 1900, 3)).size(), 3000); // 1900 literals, then 2 bytes per 18
    EXPECT_GT(Compress(Periodic(10000, 1950, 4)).size(), 10000);
    EXPECT_GT(Compress(Periodic(10000, 2100, 5)).size(), 10000);
}

TEST(LZKCompress, VersionStreamsPositionsAndProgress)
{
    // The compressor writes its version; the reader takes it back.
    TMemoryStream plain(QByteArray("hello hello hello"));
    TMemoryStream packed;
    TLZKCompressor compressor;
    compressor.SetSrcStream(&plain);
    compressor.SetDestStream(&packed);
    compressor.SetVersion(0x01020304);
    std::vector<int64_t> positions;
    compressor.SetOnProgress([&](TKCompressor& sender, int64_t position, int64_t size) {
        EXPECT_EQ(&sender, &compressor);
        EXPECT_EQ(size, 17);
        positions.push_back(position);
    });
    compressor.Compress();
    EXPECT_EQ(packed.Bytes().left(9), QByteArray("LZK00\x04\x03\x02\x01", 9));
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 17);

    TLZKCompressor reader;
    TMemoryStream unpacked;
    packed.SetPosition(0);
    reader.SetSrcStream(&packed);
    reader.SetDestStream(&unpacked);
    reader.Decompress();
    EXPECT_EQ(reader.Version(), 0x01020304);
    EXPECT_EQ(unpacked.Bytes(), "hello hello hello");

    // The ...To forms start at the current positions; the ...Stream forms rewind the source.
    TMemoryStream source(QByteArray("skipDATA"));
    TMemoryStream dest(QByteArray("prefix"));
    source.SetPosition(4);
    dest.SetPosition(6);
    LZKCompressTo(source, dest);
    EXPECT_EQ(dest.Bytes(), "prefix" + Header +
                                "\x08"
                                "DATA");
    TMemoryStream roundTrip;
    dest.SetPosition(6);
    LZKDecompressTo(dest, roundTrip);
    EXPECT_EQ(roundTrip.Bytes(), "DATA");
    source.SetPosition(4);
    TMemoryStream whole;
    LZKCompressStream(source, whole);
    EXPECT_EQ(Decompress(whole.Bytes()), "skipDATA");
}

TEST(LZKCompress, MissingStreamsAndSignature)
{
    TMemoryStream stream;
    TLZKCompressor compressor;
    const auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const EKCompressError& e) {
            return e.Message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(message([&] { compressor.Compress(); }), "Source stream is not defined");
    compressor.SetSrcStream(&stream);
    EXPECT_EQ(message([&] { compressor.Decompress(); }), "Destination stream is not defined");

    // IsLZKStream looks without moving.
    TMemoryStream packed(QByteArray("xx") + Header);
    packed.SetPosition(2);
    EXPECT_TRUE(IsLZKStream(packed));
    EXPECT_EQ(packed.Position(), 2);
    packed.SetPosition(1);
    EXPECT_FALSE(IsLZKStream(packed));
    EXPECT_EQ(packed.Position(), 1);
    TMemoryStream shortStream(QByteArray("LZK0"));
    EXPECT_FALSE(IsLZKStream(shortStream));
    EXPECT_EQ(shortStream.Position(), 0);

    const QByteArray badHeaders[] = {QByteArray("LZK01\0\0\0\0", 9), QByteArray("lzk00\0\0\0\0", 9),
                                     QByteArray("LZK00\0\0", 7), QByteArray()};
    for (const QByteArray& bad : badHeaders)
        EXPECT_EQ(message([&] { Decompress(bad); }), "Wrong stream format") << bad.toHex().constData();
}

// Bodies the encoder never writes: an empty literal run is accepted; bad
// distances are refused with the destination left alone; a body cut short
// gives the bytes really decoded.
TEST(LZKDecompress, MalformedBodies)
{
    struct Row {
        int no;
        QByteArray body;
        bool refused;
        QByteArray plain;
    };
    const Row rows[] = {
        {1, Bytes({0x00, 0x02, 'x', 0x00}), false, "x"},                 // empty runs do nothing
        {2, Bytes({0x02, 'a', 0x01, 0x00}), true, {}},                   // distance 0
        {3, Bytes({0x02, 'a', 0x05, 0x00}), true, {}},                   // distance 2 with 1 byte out
        {4, Bytes({0x03, 0x00}), true, {}},                              // distance 1 before any output
        {5, Bytes({0x02, 'a', 0x03, 0xF0}), false, QByteArray(19, 'a')}, // distance 1 repeats
        {6, Bytes({0x06, 'a', 'b'}), false, "ab"},                       // literal run cut short
        {7, Bytes({0x02, 'a', 0x03}), false, "a"},                       // match missing its second byte
        {8, Bytes({0x04, 'a', 'b', 0xFF, 0xFF}), true, {}},              // distance 2047 with 2 bytes out
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        TMemoryStream source(Header + row.body);
        TMemoryStream dest(QByteArray("keep"));
        dest.SetPosition(4);
        if (row.refused) {
            EXPECT_THROW(LZKDecompressTo(source, dest), EKCompressError);
            EXPECT_EQ(dest.Bytes(), "keep");
        } else {
            LZKDecompressTo(source, dest);
            EXPECT_EQ(dest.Bytes(), "keep" + row.plain);
        }
    }

    // A distance of 2047 is fine once that much has been decoded.
    QByteArray body;
    const QByteArray block = DistinctBytes(127);
    QByteArray plain;
    while (plain.size() < 2047) {
        const QByteArray run = block.left(std::min<qsizetype>(127, 2047 - plain.size()));
        body.append(char(run.size() * 2));
        body.append(run);
        plain.append(run);
    }
    body.append(Bytes({0xFF, 0x0F})); // distance 2047, length 3
    plain.append(plain.left(3));
    EXPECT_EQ(Decompress(Header + body), plain);
}

// A compressed file's header is read from its first 2048 bytes alone: the
// cut-off stream must give a correct prefix of the whole.
TEST(LZKDecompress, PrefixOfATruncatedStreamIsExact)
{
    const QByteArray plain = Text(20000, 99);
    const QByteArray packed = Compress(plain);
    for (int cut : {9, 10, 100, 2048, int(packed.size()) - 1}) {
        SCOPED_TRACE(cut);
        const QByteArray part = Decompress(packed.left(cut));
        EXPECT_EQ(part, plain.left(part.size()));
    }
    EXPECT_GT(Decompress(packed.left(2048)).size(), 2048);
}

TEST(LZKDecompress, FuzzRejectsBadBytesCleanly)
{
    const std::vector<QByteArray> seeds = {Compress(Text(3000, 1)), Compress(QByteArray(500, 'z')),
                                           Compress(RandomBytes(300, 2)), Compress("abcabcabc")};
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& input) {
            const QByteArray out = Decompress(input);
            // No token yields more than 9 bytes per input byte.
            if (out.size() > 9 * input.size())
                ADD_FAILURE() << "output of " << out.size() << " bytes from " << input.size();
        },
        seeds, 3.0);
    EXPECT_GT(stats.runs, 100);
    EXPECT_GT(stats.rejected, 0);
}
