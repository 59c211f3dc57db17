#include "app/core/Ucalibretype.h"
#include "tests/app/core/CoreFixture.h"
#include "tests/support/StringTableImage.h"

#include <QRegularExpression>

#include <set>

namespace {

class UcalibretypeTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        InstallStringTableImage(QStringLiteral(TESSVAR_SOURCE_DIR "/resources/StringTable.txt"));
    }
    static CALIBRETYPE Key(int family, int group, int item)
    {
        CALIBRETYPE record;
        record.Family = family;
        record.Group = group;
        record.Item = item;
        return record;
    }
};

TEST_F(UcalibretypeTest, CatalogueHoldsTheKeysInAscendingOrder)
{
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    ASSERT_EQ(list.Count(), GaugeTypeCount);
    std::set<int> keys;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE* record = list.At(i);
        if (i > 0) {
            EXPECT_LT(list.At(i - 1)->Key(), record->Key()) << i;
        }
        EXPECT_FALSE(record->Name.isEmpty()) << record->Key();
        EXPECT_EQ(record->Defined, 1) << record->Key();
        keys.insert(record->Key());
    }
    // The search finds every key and nothing else.
    for (int key = -1; key <= 7000; ++key) {
        CALIBRETYPE record = Key(key / 1000, key / 100 % 10, key % 100);
        if (key < 0)
            record = Key(-1, -1, -1);
        const bool found = list.Find(record);
        EXPECT_EQ(found, keys.count(key) == 1) << key;
        if (found) {
            EXPECT_EQ(record.Key(), key);
        }
    }
}

// Rows: key, name, code, second code, kind, role, ring, extra. Source: the
// program's gauge-type catalogue, including the rows that look odd.
TEST_F(UcalibretypeTest, RecordsCarryTheirCatalogueRow)
{
    struct Row {
        int n;
        int key;
        const char* name;
        const char* code;
        const char* code2;
        int kind, role, ring, extra;
    };
    const Row rows[] = {
        {1, 0, "Go plain plug gage", "TL-P", "CTS-P", 1, 1, 0, 2},
        {2, 315, "Setting plug for not-go caliper gage", "RRFN", "RRF-NP", 2, 1, 0, 0},
        {3, 1602, "Master thread plug gage for NPT", "NPTM", "0", 4, 4, 1, 0},
        {4, 1603, "Master thread ring gage for NPT", "NPAM", "0", 4, 4, 0, 0},
        {5, 3301, "Not-go thread ring gage", "GAFNP", "0", 2, 2, 1, 0},
        {6, 3302, "Limit thread ring gage", "GAFNP", "0", 2, 3, 1, 0},
        {7, 4109, "Not-go check plug gage for not-go ring gage", "GS-RNN", "0", 2, 2, 0, 0},
        {8, 5002, "Limit thread plug gage", "DTF-D", "0", 2, 3, 0, 0},
    };
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    for (const Row& row : rows) {
        CALIBRETYPE record = Key(row.key / 1000, row.key / 100 % 10, row.key % 100);
        ASSERT_TRUE(list.Find(record)) << row.n;
        EXPECT_EQ(record.Name, QString::fromLatin1(row.name)) << row.n;
        EXPECT_EQ(record.Code, QString::fromLatin1(row.code)) << row.n;
        EXPECT_EQ(record.Code2, QString::fromLatin1(row.code2)) << row.n;
        EXPECT_EQ(record.Kind, row.kind) << row.n;
        EXPECT_EQ(record.Role, row.role) << row.n;
        EXPECT_EQ(record.Ring, row.ring) << row.n;
        EXPECT_EQ(record.Extra, row.extra) << row.n;
    }
}

// A name says what the gauge is before it says what it checks: the first of
// "plug", "rod", "bar", "ring", "gap" or "caliper" in it is the gauge itself,
// and its ring flag must agree; a name that begins with "Go" or "Not-go"
// belongs to a Go (role 1) or Not-go (role 2) gauge. The odd rows the
// catalogue keeps: the NPT masters 1602 and 1603, flagged opposite to their
// names, and the buttress check plug 5103, named Go with the Not-go role.
TEST_F(UcalibretypeTest, NamesAgreeWithRingFlagAndRole)
{
    const QRegularExpression noun(QStringLiteral("\\b(plug|rod|bar|ring|gap|caliper)\\b"),
                                  QRegularExpression::CaseInsensitiveOption);
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE* record = list.At(i);
        const int key = record->Key();
        const QRegularExpressionMatch match = noun.match(record->Name);
        ASSERT_TRUE(match.hasMatch()) << key;
        const QString gauge = match.captured(1).toLower();
        const bool ring = gauge == u"ring" || gauge == u"gap" || gauge == u"caliper";
        if (key != 1602 && key != 1603) {
            EXPECT_EQ(record->Ring, ring ? 1 : 0) << key << " " << record->Name.toStdString();
        }
        if (key == 5103)
            continue;
        if (record->Name.startsWith(u"Go ")) {
            EXPECT_EQ(record->Role, 1) << key << " " << record->Name.toStdString();
        }
        if (record->Name.startsWith(u"Not-go ")) {
            EXPECT_EQ(record->Role, 2) << key << " " << record->Name.toStdString();
        }
    }
}

TEST_F(UcalibretypeTest, FindAndGetName)
{
    CALIBRETYPELIST list;
    CALIBRETYPE record = Key(0, 3, 15);
    EXPECT_FALSE(list.Find(record)); // empty list
    EXPECT_FALSE(list.Find(record)); // and nothing cached

    // A one-record list compares that record only.
    auto only = std::make_unique<CALIBRETYPE>();
    only->InitEx(0, 2, 0, 2, 1, 0, QStringLiteral("TF-P"), QStringLiteral("CTF-P"), 0);
    list.Add(std::move(only));
    record = Key(0, 2, 1);
    EXPECT_FALSE(list.Find(record));
    record = Key(0, 2, 0);
    EXPECT_TRUE(list.Find(record));
    EXPECT_EQ(record.Name, QStringLiteral("Go thread plug gage"));

    list.Clear();
    FillTypeCatalogue(list);
    record = Key(0, 3, 15);
    ASSERT_TRUE(list.Find(record));
    EXPECT_EQ(record.Name, QStringLiteral("Setting plug for not-go caliper gage"));
    EXPECT_TRUE(list.Find(record)); // the cached key
    EXPECT_EQ(record.Code, QStringLiteral("RRFN"));
    CALIBRETYPE absent = Key(0, 3, 16);
    absent.Code = QStringLiteral("mine");
    EXPECT_FALSE(list.Find(absent));
    EXPECT_EQ(absent.Code, QStringLiteral("mine")); // left alone

    // The pickers list a group until GetName fails.
    QStringList names;
    QString name;
    for (int item = 0; list.GetName(2, 1, item, name); ++item)
        names << name;
    EXPECT_EQ(names, QStringList({QStringLiteral("Go setting ring gage for go plug gage"),
                                  QStringLiteral("Wear check ring gage for go plug gage"),
                                  QStringLiteral("Go check plug gage for go ring gage"),
                                  QStringLiteral("Wear check plug gage for go ring gage")}));
    EXPECT_TRUE(name.isEmpty());

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    record = Key(0, 3, 15);
    EXPECT_FALSE(list.Find(record)); // the cache went with the records
}

TEST_F(UcalibretypeTest, ListHoldsAtMost200Records)
{
    CALIBRETYPELIST list;
    for (int i = 0; i < CALIBRETYPELIST::Capacity; ++i)
        ASSERT_TRUE(list.Add(std::make_unique<CALIBRETYPE>()));
    EXPECT_FALSE(list.Add(std::make_unique<CALIBRETYPE>()));
    EXPECT_EQ(list.Count(), 200);
}

// A CTSN setting replaces the code of its type only.
TEST_F(UcalibretypeTest, CodeOverrideChangesOnlyItsType)
{
    CALIBRETYPELIST plain;
    FillTypeCatalogue(plain);
    WriteFile(LocalFile(TessvarDataFolder, QStringLiteral("lm_iregistry.ini")),
              "[Software\\Dravinel\\Tessvar\\CTSN]\r\n1200=ABC\r\n");
    CALIBRETYPELIST overridden;
    FillTypeCatalogue(overridden);
    ASSERT_EQ(overridden.Count(), plain.Count());
    for (int i = 0; i < plain.Count(); ++i) {
        const CALIBRETYPE* a = plain.At(i);
        const CALIBRETYPE* b = overridden.At(i);
        if (a->Key() == 200) {
            EXPECT_EQ(a->Code, QStringLiteral("TF-P"));
            EXPECT_EQ(b->Code, QStringLiteral("ABC"));
        } else {
            EXPECT_EQ(a->Code, b->Code) << a->Key();
        }
        EXPECT_EQ(a->Code2, b->Code2) << a->Key();
    }
    // A constructed record reads the override too, in whatever folder the
    // store's global folder is.
    SetIRegistryFolder(OstrivalDataFolder);
    CALIBRETYPE record(0, 2, 0, 2, 1, 0, QStringLiteral("TF-P"), QStringLiteral("CTF-P"));
    EXPECT_EQ(record.Code, QStringLiteral("ABC"));
    EXPECT_EQ(record.Extra, 0);
}

// The fill reads the settings file once for all 155 types and gives every
// record the code InitEx gives it, one read per type: quoted values, keys
// spelled with blanks or repeated (the first counts), names of other types
// and of no type.
TEST_F(UcalibretypeTest, FillReadsTheSettingsOnceWithTheCodesOfInitEx)
{
    WriteFile(LocalFile(TessvarDataFolder, QStringLiteral("lm_iregistry.ini")),
              "[Software\\Dravinel\\Tessvar]\r\nUnit=1\r\n"
              "[Software\\Dravinel\\Tessvar\\CTSN]\r\n1200=ABC\r\n 1201 = \"Q=1\" \r\n2300=\r\n"
              "7104=W-2\r\n1200=second\r\n9999=none\r\n[Other]\r\n1000=X\r\n");
    const uint64_t before = IRegistryFileReads();
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    EXPECT_EQ(IRegistryFileReads() - before, 1u);
    ASSERT_EQ(list.Count(), GaugeTypeCount);
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE* filled = list.At(i);
        CALIBRETYPE single;
        single.InitEx(filled->Family, filled->Group, filled->Item, filled->Kind, filled->Role, filled->Ring,
                      QStringLiteral("code"), filled->Code2, filled->Extra);
        const bool overridden = single.Code != QStringLiteral("code");
        EXPECT_EQ(filled->Code == single.Code, overridden) << filled->Key();
        EXPECT_EQ(filled->Name, single.Name) << filled->Key();
    }
    const auto code = [&list](int family, int group, int item) {
        CALIBRETYPE record = Key(family, group, item);
        EXPECT_TRUE(list.Find(record));
        return record.Code;
    };
    EXPECT_EQ(code(0, 2, 0), QStringLiteral("ABC"));
    EXPECT_EQ(code(0, 2, 1), QStringLiteral("Q=1"));
    EXPECT_EQ(code(1, 3, 0), QStringLiteral(""));
    EXPECT_EQ(code(6, 1, 4), QStringLiteral("W-2"));
    EXPECT_EQ(code(0, 0, 0), QStringLiteral("TL-P"));

    // Without a settings file the catalogue's own codes, still one read.
    QFile::remove(LocalFile(TessvarDataFolder, QStringLiteral("lm_iregistry.ini")));
    const uint64_t again = IRegistryFileReads();
    CALIBRETYPELIST plain;
    FillTypeCatalogue(plain);
    EXPECT_LE(IRegistryFileReads() - again, 1u);
    CALIBRETYPE record = Key(0, 2, 0);
    ASSERT_TRUE(plain.Find(record));
    EXPECT_EQ(record.Code, QStringLiteral("TF-P"));
}

} // namespace
