#include "localization/PEReader.h"
#include "localization/PEResourceImage.h"
#include "localization/WinResProc.h"
#include "localization/kcompress.h"
#include "platform/rtl/Streams.h"
#include "tests/support/FuzzLoop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// A DLL image with two strings (ids 1 and 17, so two groups), an RCDATA
// item by name and one by number, and a version block.
QByteArray SampleImage(bool is64Bit = false)
{
    TResProcessor set;
    set.SetIs64Bit(is64Bit);
    set.SetTimeStamp(0);
    auto strings = std::make_unique<TResString>();
    strings->Add(1, QStringLiteral("one"));
    strings->Add(17, QStringLiteral("seventeen"));
    auto rcdata = std::make_unique<TResRCData>();
    rcdata->Add(QStringLiteral("TFORM1"), false)->SetData("TPF0form");
    rcdata->Add(QStringLiteral("7"), true)->SetData("seven");
    auto version = std::make_unique<TResVersion>();
    version->SetFileVersion(1, 2, 3, 4);
    set.AddBlock(std::move(strings));
    set.AddBlock(std::move(rcdata));
    set.AddBlock(std::move(version));
    return set.CreateDLLImage();
}

// The 1024 header bytes of a DLL with the given bytes as its resource
// section (the reader takes the section's data from its file offset on).
QByteArray WithSection(const QByteArray& section)
{
    TResProcessor empty;
    return empty.CreateDLLImage().left(0x400) + section;
}

// Writes resource directory records at fixed offsets of a section.
struct Section {
    QByteArray Bytes;
    explicit Section(int size) : Bytes(size, '\0') {}
    void Put16(int at, uint16_t v) { qToLittleEndian(v, Bytes.data() + at); }
    void Put32(int at, uint32_t v) { qToLittleEndian(v, Bytes.data() + at); }
    void Dir(int at, uint16_t named, uint16_t ids)
    {
        Put16(at + 12, named);
        Put16(at + 14, ids);
    }
    void Entry(int at, uint32_t name, uint32_t offset)
    {
        Put32(at, name);
        Put32(at + 4, offset);
    }
    void DataEntry(int at, uint32_t rva, uint32_t size)
    {
        Put32(at, rva);
        Put32(at + 4, size);
    }
};

// Walks everything a reader shows; damaged parts raise.
void WalkAll(TPEReader& reader)
{
    TPEResourceList& root = reader.ResourceList();
    for (int t = 0; t < root.Count(); ++t) {
        TPEResourceItem& type = root.GetResourceItem(t);
        (void)type.Name();
        (void)type.ResTypeStr();
        if (!type.IsList()) {
            (void)type.RawData();
            continue;
        }
        for (int n = 0; n < type.Count(); ++n) {
            TPEResourceItem& item = type.GetResourceItem(n);
            (void)item.Name();
            (void)item.Offset();
            (void)item.RawData();
        }
    }
}

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EExeError& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

// Bad images are refused with the library's messages, each at the first
// check it fails; the rows at the limits show the exact bytes needed.
TEST(PEReader, RefusesBadImagesWithTheLibraryMessages)
{
    const QByteArray good = SampleImage();
    const QByteArray good64 = SampleImage(true);
    const auto patched32 = [](QByteArray image, int at, uint32_t value) {
        qToLittleEndian(value, image.data() + at);
        return image;
    };
    const auto patched16 = [](QByteArray image, int at, uint16_t value) {
        qToLittleEndian(value, image.data() + at);
        return image;
    };
    // The NT headers start at 0x100: 248 bytes for PE32, 264 for PE32+.
    const QByteArray magic64Cut = patched16(good.left(0x100 + 263), 0x100 + 24, 0x020B);
    const QByteArray magic64Whole = patched16(good.left(0x100 + 264), 0x100 + 24, 0x020B);
    struct Row {
        int No;
        QByteArray Image;
        QString Message; // from the library's message table
    } rows[] = {
        {1, QByteArray(), "MapViewOfFile failed"},
        {2, QByteArray("M"), "Unrecognized file format"},
        {3, QByteArray("ZM") + good.mid(2), "Unrecognized file format"},
        {4, good.left(63), "Not a PE (WIN32 Executable) file"}, // DOS header cut
        {5, patched32(good, 0x3C, 0x7FFFFFF0), "Not a PE (WIN32 Executable) file"},
        {6, patched32(good, 0x3C, 0xFFFFFFFF), "Not a PE (WIN32 Executable) file"},  // negative offset
        {7, patched32(good, 0x100, 0x01004550), "Not a PE (WIN32 Executable) file"}, // "PE\0\1"
        {8, good.left(0x100 + 247), "Not a PE (WIN32 Executable) file"},
        {9, good.left(0x100 + 248), "No resources in this file."}, // headers whole, no section table
        {10, magic64Cut, "Not a PE (WIN32 Executable) file"},
        {11, magic64Whole, "No resources in this file."}, // the section table is cut off
        {12, patched32(good, 0x100 + 248, 0x7865742E), "No resources in this file."}, // ".tex"
        {13, patched32(good, 0x100 + 248, 0x5253522E), "(no error)"}, // ".RSR": case does not matter
        {14, good64.left(0x100 + 263), "Not a PE (WIN32 Executable) file"},
    };
    for (const Row& row : rows) {
        const QString message = ErrorOf([&] {
            auto reader = TPEReader::CreateByModule(row.Image);
            WalkAll(*reader);
        });
        EXPECT_EQ(message, row.Message) << "row " << row.No;
    }
}

TEST(PEReader, FileErrorsNameTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.dll");
    EXPECT_EQ(ErrorOf([&] { TPEReader::CreateImage(missing); }), "Couldn't open file: " + missing);
    EXPECT_EQ(ErrorOf([&] { TPEReader::CreateImage(dir.path()); }), "Couldn't open file: " + dir.path());

    // An LZK header cut short fails while the file is loaded.
    const QString badLzk = dir.filePath("bad.dll");
    QFile file(badLzk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("LZK00\x01");
    file.close();
    EXPECT_EQ(ErrorOf([&] { TPEReader::CreateImage(badLzk); }), "Couldn't open file: " + badLzk);
}

TEST(PEReader, ShowsTypesAndNamesOfAWrittenImage)
{
    for (const bool is64Bit : {false, true}) {
        SCOPED_TRACE(is64Bit ? "PE32+" : "PE32");
        auto reader = TPEReader::CreateByModule(SampleImage(is64Bit));
        EXPECT_EQ(reader->Is64Bit(), is64Bit);
        TPEResourceList& root = reader->ResourceList();
        ASSERT_EQ(root.Count(), 3);
        EXPECT_EQ(root.GetResourceItem(0).Name(), "String");
        EXPECT_EQ(root.GetResourceItem(1).Name(), "RCData");
        EXPECT_EQ(root.GetResourceItem(2).Name(), "Version");

        TPEResourceItem& strings = root.GetResourceItem(0);
        EXPECT_TRUE(strings.IsList());
        EXPECT_EQ(strings.Size(), 0u);
        ASSERT_EQ(strings.Count(), 2);
        EXPECT_EQ(strings.GetResourceItem(0).Name(), "1"); // strings 0..15
        EXPECT_EQ(strings.GetResourceItem(1).Name(), "2"); // strings 16..31
        EXPECT_EQ(strings.GetResourceItem(1).ResTypeStr(), "String");

        TPEResourceItem& rcdata = root.GetResourceItem(1);
        ASSERT_EQ(rcdata.Count(), 2);
        TPEResourceItem& form = rcdata.GetResourceItem(0);
        EXPECT_EQ(form.Name(), "TFORM1");
        EXPECT_TRUE(form.IsNamed());
        EXPECT_FALSE(form.IsList());
        EXPECT_EQ(form.ResTypeStr(), "RCData");
        EXPECT_EQ(form.RawData(), "TPF0form");
        EXPECT_EQ(form.Size(), 8u);
        // The data address is a relative virtual address inside the section.
        EXPECT_GE(form.Offset(), 0x2000u);
        EXPECT_EQ(reader->Image().mid(form.Offset() - 0x2000 + 0x400, 8), "TPF0form");
        EXPECT_EQ(rcdata.GetResourceItem(1).Name(), "7");
        EXPECT_EQ(rcdata.GetResourceItem(1).RawData(), "seven");

        EXPECT_EQ(ErrorOf([&] { form.List(); }), "ResourceItem is not a list");
        EXPECT_THROW(rcdata.GetResourceItem(2), EListError);
    }
}

TEST(PEReader, ListsNamedTypesBeforeNumberedOnesInDirectoryOrder)
{
    Section s(171);
    s.Dir(0, 1, 1); // root: one named, one numbered type
    s.Entry(16, 0x80000000 | 152, 0x80000000 | 32);
    s.Entry(24, 10, 0x80000000 | 88);
    s.Dir(32, 0, 1); // "MYTYPE": item 1
    s.Entry(48, 1, 0x80000000 | 56);
    s.Dir(56, 0, 1); // its language directory
    s.Entry(72, 0, 80);
    s.DataEntry(80, 0x2000 + 166, 3); // "abc"
    s.Dir(88, 0, 1);                  // RCDATA: item 7
    s.Entry(104, 7, 0x80000000 | 112);
    s.Dir(112, 0, 1);
    s.Entry(128, 0, 136);
    s.DataEntry(136, 0x2000 + 169, 2); // "xy"
    s.Put16(152, 6);                   // the name "MYTYPE"
    const QString name = QStringLiteral("MYTYPE");
    for (int i = 0; i < 6; ++i)
        s.Put16(154 + 2 * i, name[i].unicode());
    s.Bytes.replace(166, 5, "abcxy");

    auto reader = TPEReader::CreateByModule(WithSection(s.Bytes));
    TPEResourceList& root = reader->ResourceList();
    ASSERT_EQ(root.Count(), 2);
    EXPECT_EQ(root.GetResourceItem(0).Name(), "MYTYPE");
    EXPECT_EQ(root.GetResourceItem(0).GetResourceItem(0).RawData(), "abc");
    EXPECT_EQ(root.GetResourceItem(1).Name(), "RCData");
    EXPECT_EQ(root.GetResourceItem(1).GetResourceItem(0).RawData(), "xy");

    // The registry's parser skips the named type and finds the rest.
    TPEResourceImage image(WithSection(s.Bytes));
    QByteArray data;
    EXPECT_TRUE(image.FindResource(10, "#7", data));
    EXPECT_EQ(data, "xy");
    EXPECT_FALSE(image.FindResource(10, "#1", data));
}

// Damaged trees fail when the damage is reached, never by reading outside
// the image or by following a loop forever.
TEST(PEReader, DamagedTreesFailCleanly)
{
    // A type with one item 5 whose language directory points to a data
    // entry at dataEntry, which holds rva and size.
    const auto oneItem = [](uint32_t dataEntry, uint32_t rva, uint32_t size) {
        Section s(96); // bytes 88..95 are free for data
        s.Dir(0, 0, 1);
        s.Entry(16, 10, 0x80000000 | 24);
        s.Dir(24, 0, 1);
        s.Entry(40, 5, 0x80000000 | 48);
        s.Dir(48, 0, 1);
        s.Entry(64, 0, dataEntry);
        if (dataEntry + 16 <= 96)
            s.DataEntry(int(dataEntry), rva, size);
        return s.Bytes;
    };
    Section loop(24); // the root's only entry points back at the root
    loop.Dir(0, 0, 1);
    loop.Entry(16, 6, 0x80000000 | 0);
    Section badName(24); // a type name past the end
    badName.Dir(0, 1, 0);
    badName.Entry(16, 0x80000000 | 0x7FFFFFF0, 0x80000000 | 0);
    Section tooMany(16); // more entries than the section holds
    tooMany.Dir(0, 0xFFFF, 0xFFFF);

    struct Row {
        int No;
        QByteArray Section;
        bool ParserRefuses; // the registry's parser reads this part too
    } rows[] = {
        {1, loop.Bytes, true},
        {2, badName.Bytes, false}, // named types are not looked up
        {3, tooMany.Bytes, true},
        {4, oneItem(72, 0x2000 + 1000, 10), true}, // data past the end
        {5, oneItem(72, 0x2000 + 88, 9), true},    // data one byte past the end
        {6, oneItem(72, 0x100, 4), true},          // data below the section
        {7, oneItem(0x7FFFFFF0, 0, 0), true},      // data entry past the end
        {8, oneItem(72 | 0x80000000, 0, 0), true}, // a language entry with a subdirectory
    };
    for (const Row& row : rows) {
        const QByteArray image = WithSection(row.Section);
        EXPECT_EQ(ErrorOf([&] {
                      auto reader = TPEReader::CreateByModule(image);
                      WalkAll(*reader);
                  }),
                  "Unrecognized file format")
            << "row " << row.No;
        if (row.ParserRefuses) {
            EXPECT_THROW(TPEResourceImage{image}, EExeError) << "row " << row.No;
        }
    }
    // At the limit: data ending exactly at the end of the image is read.
    auto reader = TPEReader::CreateByModule(WithSection(oneItem(72, 0x2000 + 88, 8)));
    EXPECT_EQ(reader->ResourceList().GetResourceItem(0).GetResourceItem(0).RawData().size(), 8);
}

TEST(PEReader, AnLzkCompressedFileReadsTheSame)
{
    QTemporaryDir dir;
    const QByteArray plain = SampleImage();
    TMemoryStream source(plain);
    TMemoryStream packed;
    LZKCompressStream(source, packed);
    ASSERT_NE(packed.Bytes(), plain);
    const QString plainName = dir.filePath("plain.dll");
    const QString packedName = dir.filePath("packed.ntv");
    source.SaveToFile(plainName);
    packed.SaveToFile(packedName);

    auto fromPlain = TPEReader::CreateImage(plainName);
    auto fromPacked = TPEReader::CreateImage(packedName);
    EXPECT_EQ(fromPacked->Image(), fromPlain->Image());
    EXPECT_EQ(fromPacked->FileName(), packedName);
    EXPECT_FALSE(fromPacked->IsModule());
    EXPECT_EQ(fromPacked->ResourceList().GetResourceItem(1).GetResourceItem(0).RawData(), "TPF0form");
}

TEST(PEResourceImage, FindsStringsAndResourcesByTypeAndName)
{
    TPEResourceImage image(SampleImage());
    QString text;
    EXPECT_TRUE(image.FindString(17, text));
    EXPECT_EQ(text, "seventeen");
    EXPECT_FALSE(image.FindString(2, text));  // an empty slot of a present group
    EXPECT_FALSE(image.FindString(40, text)); // no group
    QByteArray data;
    EXPECT_TRUE(image.FindResource(10, "tForm1", data)); // names without regard to case
    EXPECT_EQ(data, "TPF0form");
    EXPECT_TRUE(image.FindResource(10, "#7", data));
    EXPECT_EQ(data, "seven");
    EXPECT_FALSE(image.FindResource(10, "7", data)); // a name, not the ID
    EXPECT_FALSE(image.FindResource(6, "TFORM1", data));
    EXPECT_TRUE(image.FindResource(16, "#1", data));
}

TEST(PEReader, FuzzedImagesFailWithAnException)
{
    Section loop(24);
    loop.Dir(0, 0, 1);
    loop.Entry(16, 6, 0x80000000 | 0);
    const std::vector<QByteArray> seeds = {SampleImage(), SampleImage(true), WithSection(loop.Bytes)};
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            auto reader = TPEReader::CreateByModule(bytes);
            WalkAll(*reader);
            TPEResourceImage image(bytes);
            TResProcessor set;
            set.LoadFromModule(bytes);
        },
        seeds, 3.0);
    EXPECT_GT(stats.runs, 100);
}
