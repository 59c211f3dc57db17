#include "localization/KHelpers.h"
#include "platform/os/Modules.h"

#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray WriteLength(int64_t length, int formatVersion)
{
    TMemoryStream stream;
    WriteCompactLength(stream, length, formatVersion);
    return stream.Bytes();
}

} // namespace

// Rows 1-6 and 9: the stated byte forms of compact lengths; the rest follow
// from the same rules at the edges of each form.
TEST(KHelpers, CompactLengthBytes)
{
    struct Row {
        int no;
        int64_t length;
        int format;
        const char* hex;
    };
    const Row rows[] = {
        {1, 127, 6, "7f"},
        {2, 128, 6, "8001"},
        {3, 300, 6, "ac02"},
        {4, 16383, 6, "ff7f"},
        {5, 16384, 6, "80800100"},
        {6, 127, 5, "7f00"}, // format 5: always a 16-bit word
        {7, 0, 6, "00"},
        {8, (1 << 30) - 1, 6, "ffffffff"},
        {9, 300, 5, "2c01"},
        {10, 65535, 1, "ffff"},
        {11, 70000, 7, "f0a20400"}, // 70000 = 0x70 | 0x22 << 7 | 4 << 14
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(WriteLength(row.length, row.format), Hex(row.hex));
        TMemoryStream stream(Hex(row.hex));
        EXPECT_EQ(ReadCompactLength(stream, row.format), row.length);
        EXPECT_EQ(stream.Position(), stream.Size());
    }
}

TEST(KHelpers, CompactLengthLimitsAndShortStreams)
{
    // One past each form's limit, and negative lengths, are refused before
    // anything is written.
    const std::pair<int64_t, int> tooLarge[] = {{65536, 5}, {int64_t(1) << 30, 6}, {-1, 6}, {-1, 5}};
    for (const auto& [length, format] : tooLarge) {
        TMemoryStream stream;
        EXPECT_THROW(WriteCompactLength(stream, length, format), EWriteError) << length;
        EXPECT_EQ(stream.Size(), 0);
    }
    TMemoryStream stream;
    EXPECT_THROW(WriteCompactAnsiString(stream, QByteArray(65536, 'x'), 5), EWriteError);
    EXPECT_EQ(stream.Size(), 0);

    // A stream that ends inside a length.
    for (const char* hex : {"", "80", "8080", "808001"}) {
        TMemoryStream s(Hex(hex));
        EXPECT_THROW(ReadCompactLength(s, 6), EReadError) << hex;
    }
    TMemoryStream word(Hex("01"));
    EXPECT_THROW(ReadCompactLength(word, 5), EReadError);
}

TEST(KHelpers, CompactStrings)
{
    // Wide strings count UTF-16 code units and store them little-endian.
    const QString wide = QStringLiteral("Gr\u00FC\u00DFe \u2713 \U0001F600");
    for (int format : {5, 6}) {
        TMemoryStream stream;
        WriteCompactWideString(stream, wide, format);
        WriteCompactAnsiString(stream, QByteArray("abc"), format);
        WriteCompactWideString(stream, QString(), format);
        stream.SetPosition(0);
        EXPECT_EQ(ReadCompactWideString(stream, format), wide);
        EXPECT_EQ(ReadCompactAnsiString(stream, format), "abc");
        EXPECT_EQ(ReadCompactWideString(stream, format), QString());
        EXPECT_EQ(stream.Position(), stream.Size());
    }
    TMemoryStream bytes;
    WriteCompactWideString(bytes, QStringLiteral("A\u20AC"), 6);
    EXPECT_EQ(bytes.Bytes(), Hex("024100ac20"));

    // The wide variant of the Ansi writer goes through code page 1252.
    TMemoryStream ansi;
    WriteCompactAnsiString(ansi, QStringLiteral("caf\u00E9 \u20AC"), 6);
    EXPECT_EQ(ansi.Bytes(), Hex("06636166e92080"));

    // A length beyond the bytes left is refused (no huge allocation for a
    // corrupt length).
    for (const char* hex : {"0561626364", "ffffffff41"}) {
        TMemoryStream s(Hex(hex));
        EXPECT_THROW(ReadCompactAnsiString(s, 6), EReadError) << hex;
        s.SetPosition(0);
        EXPECT_THROW(ReadCompactWideString(s, 6), EReadError) << hex;
    }
    TMemoryStream halfWide(Hex("03410042")); // 3 code units need 6 bytes
    EXPECT_THROW(ReadCompactWideString(halfWide, 6), EReadError);
}

TEST(KHelpers, CopyStreamToMemoryFromThePosition)
{
    TMemoryStream source(QByteArray("0123456789"));
    source.SetPosition(3);
    TMemoryStream dest(QByteArray("old content that is longer"));
    dest.SetPosition(5);
    CopyStreamToMemory(dest, source);
    EXPECT_EQ(dest.Bytes(), "3456789");
    EXPECT_EQ(dest.Position(), 0);
    EXPECT_EQ(source.Position(), 10);

    source.SetPosition(10);
    CopyStreamToMemory(dest, source);
    EXPECT_EQ(dest.Size(), 0);
}

TEST(KHelpers, MessagesFallBackToEnglish)
{
    EXPECT_EQ(LibraryMessage(sKWrongStreamFormat), "Wrong stream format");
    EXPECT_EQ(LibraryMessage(sKFileOpenedReadOnly), "File \"%s\" was opened as read-only");
    EXPECT_EQ(LibraryMessage(65535), "ResourceItem is not a list");
    EXPECT_EQ(LibraryMessage(65507), QString()); // not one of the library's

    SetLibraryStringLoader(
        [](int id) { return id == 65506 ? QStringLiteral("Dizionario vuoto") : QString(); });
    EXPECT_EQ(LibraryMessage(sKEmptyDictionary), "Dizionario vuoto");
    EXPECT_EQ(LibraryMessage(sKInvalidIndex), "Invalid index"); // the loader has no text for it
    SetLibraryStringLoader({});
    EXPECT_EQ(LibraryMessage(sKEmptyDictionary), "Empty dictionary");
}

TEST(KHelpers, OperatingSystemServices)
{
    EXPECT_EQ(OSVersionInfo().PlatformId, 2u);
    EXPECT_EQ(OSVersionInfo().MajorVersion, 10u);
    // Not newer than the given version.
    EXPECT_TRUE(OSVersionAtMost(10, 0));
    EXPECT_TRUE(OSVersionAtMost(10, 5));
    EXPECT_TRUE(OSVersionAtMost(11, 0));
    EXPECT_FALSE(OSVersionAtMost(6, 3));
    EXPECT_FALSE(OSVersionAtMost(9, 99));

    // Only the program is loaded here: one handle, the rest of the array
    // untouched; an array too small for it takes nothing and still learns
    // the size.
    EXPECT_FALSE(IsPackageModule(0x400000));
    EXPECT_FALSE(IsPackageModule(kProgramModule));
    TModuleHandle modules[2] = {7, 8};
    uint32_t needed = 99;
    EXPECT_NE(EnumLoadedModules(1, modules, sizeof modules, needed), 0);
    EXPECT_EQ(needed, sizeof(TModuleHandle));
    EXPECT_EQ(modules[0], kProgramModule);
    EXPECT_EQ(modules[1], 8u);
    modules[0] = 7;
    EXPECT_NE(EnumLoadedModules(1, modules, sizeof(TModuleHandle) - 1, needed), 0);
    EXPECT_EQ(modules[0], 7u);
    EXPECT_EQ(needed, sizeof(TModuleHandle));
}
