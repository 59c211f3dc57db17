#include "platform/os/VersionInfo.h"
#include "localization/WinResProc.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace {

QByteArray VersionResource()
{
    TResVersion block;
    block.SetFileVersion(1, 2, 3, 65535);
    return block.VersionInfo();
}

QByteArray Patched16(QByteArray bytes, int at, uint16_t value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

} // namespace

// The fixed file information starts 40 bytes into the block (6 bytes of
// lengths and type, "VS_VERSION_INFO" with its terminator, padding) and
// takes 52 bytes: 92 bytes are the least a version can be read from.
TEST(VersionInfo, ReadsTheFixedFileVersionAndRefusesDamagedBlocks)
{
    const QByteArray good = VersionResource();
    const std::optional<TFileVersion> version = ParseFileVersion(good);
    ASSERT_TRUE(version);
    EXPECT_EQ(FileVersionText(*version), "1.2.3.65535");

    const QByteArray least = Patched16(good.left(92), 0, 92);
    EXPECT_TRUE(ParseFileVersion(least));

    struct Row {
        int No;
        QByteArray Bytes;
    } rows[] = {
        {1, QByteArray()},
        {2, Patched16(good.left(91), 0, 91)},               // one byte short of the fixed information
        {3, Patched16(good, 0, uint16_t(good.size() + 1))}, // length past the end
        {4, Patched16(good, 2, 51)},                        // value shorter than the fixed information
        {5, Patched16(good, 6 + 2 * 14, u'X')},             // key "VS_VERSION_INFX"
        {6, Patched16(good, 40, 0x04BE)},                   // signature FEEF04BE
    };
    for (const Row& row : rows)
        EXPECT_FALSE(ParseFileVersion(row.Bytes)) << "row " << row.No;
}
