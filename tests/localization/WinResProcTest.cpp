#include "localization/WinResProc.h"
#include "localization/PEReader.h"
#include "localization/WinResReader.h"
#include "platform/rtl/Streams.h"
#include "tests/support/FuzzLoop.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

uint32_t At32(const QByteArray& b, int at)
{
    return qFromLittleEndian<uint32_t>(b.constData() + at);
}

uint16_t At16(const QByteArray& b, int at)
{
    return qFromLittleEndian<uint16_t>(b.constData() + at);
}

QByteArray Utf16(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

std::unique_ptr<TResString> Strings(std::initializer_list<std::pair<int, QString>> items)
{
    auto block = std::make_unique<TResString>();
    for (const auto& [id, text] : items)
        block->Add(id, text);
    return block;
}

// A set with strings, RCDATA by name and by number, binary data and text
// outside the Latin-1 range.
void FillSample(TResProcessor& set)
{
    set.AddBlock(Strings({{5, QStringLiteral("five")},
                          {999, QStringLiteral("ATTENTION")},
                          {2000, QStringLiteral("Temperature Estreme: il risulato non è accurato")},
                          {980, QStringLiteral("0.001 µm 𝄞")}}));
    auto rcdata = std::make_unique<TResRCData>();
    rcdata->Add("TFMAIN", false)->SetData(QByteArray("TPF0\x00\xFF\x01", 7));
    rcdata->Add("42", true)->SetData("answer");
    rcdata->Add("LOGO_JPG", false)->SetData(QByteArray(1001, '\xAB'));
    set.AddBlock(std::move(rcdata));
}

// Strings and RCDATA of a set as comparable text.
QStringList Describe(const TResProcessor& set)
{
    QStringList out;
    for (int b = 0; b < set.Count(); ++b) {
        if (auto* strings = dynamic_cast<TResString*>(set.GetItems(b)))
            for (int i = 0; i < strings->Count(); ++i)
                out << QStringLiteral("S %1=%2")
                           .arg(strings->GetItems(i)->Id())
                           .arg(strings->GetItems(i)->Data());
        if (auto* rcdata = dynamic_cast<TResRCData*>(set.GetItems(b)))
            for (int i = 0; i < rcdata->Count(); ++i) {
                const TResRCDataItem* item = rcdata->GetItems(i);
                out << QStringLiteral("R %1%2=%3")
                           .arg(item->IsNumber() ? "#" : "", item->Name(),
                                QString::fromLatin1(item->Data().toHex()));
            }
    }
    out.sort();
    return out;
}

QString WriteTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

} // namespace

// The header values every image carries; the PE32+ rows differ in magic,
// machine and optional-header size and in the 64-bit fields.
TEST(ResProcessor, WritesTheFixedHeaderValues)
{
    struct Row {
        int No;
        int Offset;
        int Size; // 2 or 4 bytes
        uint32_t Expected32;
        uint32_t Expected64;
        const char* What;
    } rows[] = {
        {1, 0x00, 2, 0x5A4D, 0x5A4D, "DOS magic \"MZ\""},
        {2, 0x02, 2, 0x0050, 0x0050, "bytes on last page"},
        {3, 0x08, 2, 0x0004, 0x0004, "header paragraphs"},
        {4, 0x10, 2, 0x00B8, 0x00B8, "SP"},
        {5, 0x18, 2, 0x0040, 0x0040, "relocation table"},
        {6, 0x3C, 4, 0x100, 0x100, "new header offset"},
        {7, 0x40, 4, 0x0E0010BA, 0x0E0010BA, "stub code BA 10 00 0E"},
        {8, 0x100, 4, 0x00004550, 0x00004550, "\"PE\\0\\0\""},
        {9, 0x104, 2, 0x014C, 0x8664, "machine"},
        {10, 0x106, 2, 1, 1, "one section"},
        {11, 0x114, 2, 0x00E0, 0x00F0, "optional header size"},
        {12, 0x116, 2, 0xA18E, 0xA18E, "characteristics"},
        {13, 0x118, 2, 0x010B, 0x020B, "optional header magic"},
        {14, 0x118 + 32, 4, 0x1000, 0x1000, "section alignment"},
        {15, 0x118 + 36, 4, 0x200, 0x200, "file alignment"},
        {16, 0x118 + 60, 4, 0x400, 0x400, "header size"},
        {17, 0x118 + 68, 2, 2, 2, "subsystem"},
        {18, 0x118 + 70, 2, 1, 1, "DLL characteristics"},
    };
    for (const bool is64Bit : {false, true}) {
        TResProcessor set;
        set.SetIs64Bit(is64Bit);
        set.AddBlock(Strings({{1, "x"}}));
        const QByteArray image = set.CreateDLLImage();
        for (const Row& row : rows) {
            const uint32_t value = row.Size == 2 ? At16(image, row.Offset) : At32(image, row.Offset);
            EXPECT_EQ(value, is64Bit ? row.Expected64 : row.Expected32)
                << "row " << row.No << ": " << row.What;
        }
        EXPECT_EQ(image.mid(0x50, 36), "This program must be run under Win32");
        // The resource directory entry and the section header follow the
        // 16 data directories: 96 (PE32) or 112 (PE32+) bytes into the
        // optional header.
        const int directories = 0x118 + (is64Bit ? 112 : 96);
        EXPECT_EQ(At32(image, directories + 2 * 8), 0x2000u) << "resource directory address";
        const int section = 0x118 + (is64Bit ? 0xF0 : 0xE0);
        EXPECT_EQ(image.mid(section, 8), QByteArray(".rsrc\0\0\0", 8));
        EXPECT_EQ(At32(image, section + 12), 0x2000u) << "section address";
        EXPECT_EQ(At32(image, section + 20), 0x400u) << "raw data offset";
        EXPECT_EQ(At32(image, section + 36), 0x40000000u) << "section characteristics";
        EXPECT_EQ(image.size() % 0x200, 0);
    }
}

// One group holding one string of n characters: root 16, its entry 8, the
// type directory 16, and per group 48 (name entry 8, language directory and
// entry 24, data entry 16), then the data: 2 + 2n for the string and 2 for
// each of the 15 empty slots.
TEST(ResProcessor, SectionSizeOfOneString)
{
    for (const int n : {1, 7, 400}) {
        TResProcessor set;
        set.AddBlock(Strings({{3, QString(n, u'a')}}));
        const QByteArray image = set.CreateDLLImage();
        const uint32_t expected = 16 + 8 + 16 + 48 + 2 + 2 * n + 30;
        EXPECT_EQ(At32(image, 0x1F8 + 8), expected) << "virtual size, n = " << n;
        const uint32_t raw = (expected + 0x1FF) / 0x200 * 0x200;
        EXPECT_EQ(At32(image, 0x1F8 + 16), raw) << "raw size, n = " << n;
        EXPECT_EQ(image.size(), 0x400 + int(raw));
        // The image reaches the end of its section.
        EXPECT_EQ(At32(image, 0x118 + 56), (0x2000 + expected + 0xFFF) / 0x1000 * 0x1000);
    }
}

TEST(ResString, StringNLiesInGroupNDiv16Plus1)
{
    struct Row {
        int No;
        int Id;
        int Group;
        int Slot;
    } rows[] = {
        {1, 0, 1, 0}, {2, 15, 1, 15}, {3, 16, 2, 0}, {4, 999, 63, 7}, {5, 65535, 4096, 15},
    };
    for (const Row& row : rows) {
        TResString block;
        ASSERT_EQ(block.Add(row.Id, "t"), 0) << "row " << row.No;
        ASSERT_EQ(block.GroupCount(), 1);
        EXPECT_EQ(block.GetGroups(0)->Id(), row.Group) << "row " << row.No;
        EXPECT_EQ(block.GetGroups(0)->Slot(row.Slot), row.Id) << "row " << row.No;
    }
    // One past each end of the ID range, and a text too long to count.
    TResString block;
    EXPECT_THROW(block.Add(65536, "t"), ERangeError);
    EXPECT_THROW(block.Add(-1, "t"), ERangeError);
    EXPECT_THROW(block.Add(1, QString(65536, u'x')), ERangeError);
    EXPECT_EQ(block.Add(1, QString(65535, u'x')), 0);
}

TEST(ResString, AddKeepsOrderAndDeleteDropsEmptyGroups)
{
    TResString block;
    EXPECT_EQ(block.Add(20, "twenty"), 0);
    EXPECT_EQ(block.Add(3, "three"), 0);
    EXPECT_EQ(block.Add(21, "twenty-one"), 2);
    EXPECT_EQ(block.Add(3, "again"), -1); // the first text stays
    EXPECT_EQ(block.GetItemById(3)->Data(), "three");
    EXPECT_EQ(block.Add(40, "three"), 3);
    EXPECT_EQ(block.IndexOfData("three"), 0); // the first with that text
    EXPECT_EQ(block.IndexOfID(4), -1);
    ASSERT_EQ(block.GroupCount(), 3); // groups 1, 2 and 3
    EXPECT_EQ(block.IndexOfGroupID(2), 1);

    block.DeleteByID(20);
    EXPECT_EQ(block.GroupCount(), 3); // 21 still holds group 2
    block.DeleteByID(21);
    EXPECT_EQ(block.GroupCount(), 2);
    EXPECT_EQ(block.GetGroupById(2), nullptr);

    // The written image has one string-table entry fewer.
    TResProcessor set;
    set.AddBlock(Strings({{1, "a"}, {17, "b"}}));
    static_cast<TResString*>(set.GetItems(0))->Delete(1);
    auto reader = TPEReader::CreateByModule(set.CreateDLLImage());
    EXPECT_EQ(reader->ResourceList().GetResourceItem(0).Count(), 1);
}

TEST(ResProcessor, BlocksByIndexAndType)
{
    TResProcessor set;
    FillSample(set);
    EXPECT_EQ(set.GetItems(-1), nullptr);
    EXPECT_EQ(set.GetItems(2), nullptr);
    EXPECT_EQ(set.GetItemByType(0x30A), set.GetItems(1)); // the low byte counts
    EXPECT_EQ(set.GetItemByType(16), nullptr);
    EXPECT_EQ(set.GetItems(0)->Parent(), &set);
    set.DeleteBlock(0);
    EXPECT_EQ(set.GetItemByType(6), nullptr);
    EXPECT_THROW(set.DeleteBlock(1), EListError);
}

// Directory entries are written as the format requires, whatever the order
// of adding: named ones first by name, then IDs ascending; root types too.
TEST(ResProcessor, SortsDirectoryEntries)
{
    TResProcessor set;
    auto rcdata = std::make_unique<TResRCData>();
    for (const char* name : {"ZETA", "9", "alpha", "3"})
        rcdata->Add(name, QByteArray(name) <= "9")->SetData(name);
    set.AddBlock(std::move(rcdata));
    set.AddBlock(Strings({{1, "x"}}));
    auto reader = TPEReader::CreateByModule(set.CreateDLLImage());
    TPEResourceList& root = reader->ResourceList();
    EXPECT_EQ(root.GetResourceItem(0).Name(), "String");
    TPEResourceItem& type = root.GetResourceItem(1);
    QStringList names;
    for (int i = 0; i < type.Count(); ++i)
        names << type.GetResourceItem(i).Name() + "=" + type.GetResourceItem(i).RawData();
    EXPECT_EQ(names, QStringList({"alpha=alpha", "ZETA=ZETA", "3=3", "9=9"}));
}

// A string block of odd length ("abc": 102 bytes) must not shift the block
// after it off its 4-byte boundary: directories and the version block are
// read as aligned structures.
TEST(ResProcessor, BlocksAfterAnOddSizedBlockStayAligned)
{
    TResProcessor set;
    set.AddBlock(Strings({{1, "abc"}}));
    auto rcdata = std::make_unique<TResRCData>();
    rcdata->Add("FORM", false)->SetData("data");
    set.AddBlock(std::move(rcdata));
    const QByteArray image = set.CreateDLLImage();
    const auto entryOffset = [&](int i) {
        return qFromLittleEndian<quint32>(image.constData() + 0x400 + 16 + 8 * i + 4) & 0x7FFFFFFFu;
    };
    EXPECT_EQ(entryOffset(0), 32u); // after the root and its two entries
    EXPECT_EQ(entryOffset(1) % 4, 0u);
    auto reader = TPEReader::CreateByModule(image);
    EXPECT_EQ(reader->ResourceList().GetResourceItem(1).GetResourceItem(0).RawData(), "data");
}

TEST(ResProcessor, ReportsProgressTwiceABlockAndTwiceMore)
{
    TResProcessor set;
    FillSample(set);
    std::vector<std::pair<int, int>> calls;
    TMemoryStream stream;
    set.CreateDLLStream(stream, [&](int step, int total) { calls.emplace_back(step, total); });
    const std::vector<std::pair<int, int>> expected = {{1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}};
    EXPECT_EQ(calls, expected);
}

// A set written as a DLL and as a .res file reads back the same from the
// file, from the module image and from the .res file.
TEST(ResProcessor, RoundTripsThroughDllAndResFiles)
{
    QTemporaryDir dir;
    TResProcessor original;
    FillSample(original);
    original.SetIs64Bit(true);
    const QStringList expected = Describe(original);

    const QString dll = WriteTemp(dir, "lang.dll", original.CreateDLLImage());
    TResProcessor fromFile;
    fromFile.LoadPEFile(dll);
    EXPECT_EQ(Describe(fromFile), expected);
    EXPECT_TRUE(fromFile.Is64Bit());

    TResProcessor fromModule;
    fromModule.SetIs64Bit(true);
    fromModule.LoadFromModule(original.CreateDLLImage());
    EXPECT_EQ(Describe(fromModule), expected);
    EXPECT_FALSE(fromModule.Is64Bit());

    const QString res = dir.filePath("lang.res");
    original.CreateResFile(res);
    TResProcessor fromRes;
    fromRes.LoadResFile(res);
    EXPECT_EQ(Describe(fromRes), expected); // numbered items keep their IDs

    // A version block is never taken over by the loaders.
    auto version = std::make_unique<TResVersion>();
    version->SetFileVersion(1, 0, 0, 0);
    original.AddBlock(std::move(version));
    fromFile.LoadFromModule(original.CreateDLLImage());
    EXPECT_EQ(fromFile.Count(), 2);
    EXPECT_EQ(fromFile.GetItemByType(16), nullptr);
}

TEST(ResProcessor, LoadingDropsEmptyBlocksAndFailedLoadsChangeNothing)
{
    QTemporaryDir dir;
    TResProcessor source;
    source.AddBlock(std::make_unique<TResString>());
    source.AddBlock(Strings({{1, "kept"}}));
    source.AddBlock(std::make_unique<TResRCData>());
    const QByteArray image = source.CreateDLLImage();

    TResProcessor set;
    set.LoadPEFile(WriteTemp(dir, "a.dll", image));
    EXPECT_EQ(set.Count(), 3); // a file keeps its empty types
    set.LoadFromModule(image);
    EXPECT_EQ(set.Count(), 1); // a module drops them
    source.CreateResFile(dir.filePath("a.res"));
    set.LoadResFile(dir.filePath("a.res"));
    EXPECT_EQ(set.Count(), 1);

    const QString bad = WriteTemp(dir, "bad.dll", image.left(0x400));
    EXPECT_THROW(set.LoadPEFile(bad), EExeError);
    EXPECT_THROW(set.LoadResFile(bad), EResError);
    ASSERT_EQ(set.Count(), 1);
    EXPECT_EQ(static_cast<TResString*>(set.GetItems(0))->GetItemById(1)->Data(), "kept");
}

// Exact bytes of a .res file: the empty entry, one string group and one
// named RCDATA item.
TEST(ResProcessor, WritesResEntriesByteForByte)
{
    QTemporaryDir dir;
    TResProcessor set;
    set.AddBlock(Strings({{17, "ab"}}));
    auto rcdata = std::make_unique<TResRCData>();
    rcdata->Add("TF", false)->SetData("xyz");
    set.AddBlock(std::move(rcdata));
    set.CreateResFile(dir.filePath("x.res"));
    QFile file(dir.filePath("x.res"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    QByteArray expected = QByteArray::fromHex("00000000 20000000 ffff0000 ffff0000 00000000 00000000"
                                              "00000000 00000000");
    // Group 2 (strings 16..31): slot 1 holds "ab"; 36 bytes of data.
    expected += QByteArray::fromHex("24000000 20000000 ffff0600 ffff0200 00000000 0010 0000"
                                    "00000000 00000000");
    expected += QByteArray::fromHex("0000 0200") + Utf16("ab") + QByteArray(28, '\0');
    // "TF" with its terminator is 6 bytes, padded to 8: header 28 + 8.
    expected += QByteArray::fromHex("03000000 24000000 ffff0a00") + Utf16("TF") +
                QByteArray::fromHex("0000 0000 00000000 0010 0000 00000000 00000000");
    expected += "xyz" + QByteArray(1, '\0');
    EXPECT_EQ(bytes.toHex(), expected.toHex());
}

TEST(ResReader, ReadsEntriesAndRefusesBadFiles)
{
    QTemporaryDir dir;
    TResProcessor empty;
    empty.CreateResFile(dir.filePath("empty.res"));
    EXPECT_EQ(TResReader(dir.filePath("empty.res")).Count(), 0);

    QFile file(dir.filePath("empty.res"));
    file.open(QIODevice::ReadOnly);
    const QByteArray head = file.readAll();
    // One entry: data size 2, header size 36, type "AB" (named), name 7.
    const QByteArray entry = QByteArray::fromHex("02000000 24000000") + Utf16("AB") +
                             QByteArray::fromHex("0000 0000 ffff0700 00000000 0010 0000 00000000 00000000") +
                             "hi";
    TResReader reader(head + entry, "mem");
    ASSERT_EQ(reader.Count(), 1);
    EXPECT_EQ(reader.GetEntry(0)->ResType().Text, "AB");
    EXPECT_EQ(reader.GetEntry(0)->ResName().Number, 7);
    EXPECT_EQ(reader.GetEntry(0)->Data(), "hi");
    EXPECT_EQ(reader.GetEntry(1), nullptr);

    struct Row {
        int No;
        QByteArray Bytes;
    } rows[] = {
        {1, head.left(31)},                                                  // empty entry cut
        {2, QByteArray::fromHex("01000000 20000000") + head.mid(8)},         // not the empty entry
        {3, head + entry.left(entry.size() - 1)},                            // data one byte short
        {4, head + entry.left(7)},                                           // sizes cut
        {5, head + QByteArray::fromHex("00000000 ffffff7f") + entry.mid(8)}, // header past the end
        {6, head + QByteArray::fromHex("00000000 0c000000 41004200 4300")},  // name without terminator
        {7, head + QByteArray::fromHex("00000000 04000000")},                // header smaller than its sizes
    };
    for (const Row& row : rows) {
        try {
            TResReader bad(row.Bytes, "mem");
            ADD_FAILURE() << "row " << row.No << " was read";
        } catch (const EResError& e) {
            EXPECT_EQ(e.Message(), "Invalid file format") << "row " << row.No;
        }
    }

    const QString missing = dir.filePath("none.res");
    try {
        TResReader bad(missing);
        ADD_FAILURE();
    } catch (const EResError& e) {
        EXPECT_EQ(e.Message(), "Couldn't open: " + missing);
    }
    try {
        TResReader bad(WriteTemp(dir, "zero.res", QByteArray()));
        ADD_FAILURE();
    } catch (const EResError& e) {
        EXPECT_EQ(e.Message(), "CreateFileMapping failed");
    }

    TResProcessor sample;
    FillSample(sample);
    sample.CreateResFile(dir.filePath("sample.res"));
    QFile sampleFile(dir.filePath("sample.res"));
    sampleFile.open(QIODevice::ReadOnly);
    RunFuzzLoop(
        [](const QByteArray& bytes) {
            TResReader fuzzed(bytes, "fuzz");
            TResString strings;
            strings.LoadFromResReader(fuzzed);
            TResRCData rcdata;
            rcdata.LoadFromResReader(fuzzed);
        },
        {sampleFile.readAll(), head + entry}, 1.0);
}

// python3's pefile reads the PE32+ variant (the program's own PE32 image is
// checked against pefile and wrestool with the resource compiler's tests).
TEST(ResProcessor, Pe32PlusImageOpensWithPefile)
{
    QTemporaryDir dir;
    TResProcessor set;
    set.SetIs64Bit(true);
    FillSample(set);
    const QString dll = WriteTemp(dir, "x64.dll", set.CreateDLLImage());
    const char* script = R"(
import sys, pefile
pe = pefile.PE(sys.argv[1])
assert pe.OPTIONAL_HEADER.Magic == 0x20B
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        name = str(n.name) if n.name is not None else '#%d' % n.id
        d = n.directory.entries[0].data.struct
        print(t.id, name, d.Size, pe.get_data(d.OffsetToData, d.Size)[:4].hex())
)";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {"-c", script, dll});
    ASSERT_TRUE(python.waitForFinished(30000)) << "python3 did not run";
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    const QString out = QString::fromUtf8(python.readAllStandardOutput());
    EXPECT_TRUE(out.contains("6 #63 ")) << qPrintable(out); // string 999's group
    EXPECT_TRUE(out.contains("10 LOGO_JPG 1001 abababab")) << qPrintable(out);
    EXPECT_TRUE(out.contains("10 TFMAIN 7 54504630")) << qPrintable(out);
    EXPECT_TRUE(out.contains("10 #42 6 616e7377")) << qPrintable(out);
}
