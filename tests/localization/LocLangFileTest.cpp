#include "localization/LocLangFile.h"

#include "localization/KLocales.h"
#include "localization/kcompress.h"

#include "platform/rtl/NumberText.h"
#include "platform/rtl/Streams.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/LeaseHolder.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethod>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

// The language files of these tests are assembled in the test, field by
// field, from the layout of the format (see Bytes and SampleFile below); no
// binary fixture is kept on disk.

namespace {

// Little-endian bytes, assembled by hand and independent of the writer under
// test. Compact lengths: a 16-bit word up to format 5; from format 6 one
// byte below 128, two bytes below 16384 (low 7 bits | 0x80, then the rest),
// else four (two 7-bit groups with 0x80, then a 16-bit word of the rest).
class Bytes {
public:
    Bytes& u8(int v)
    {
        b.append(char(v));
        return *this;
    }
    Bytes& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& i32(int64_t v) { return u16(int(v & 0xFFFF)).u16(int((v >> 16) & 0xFFFF)); }
    Bytes& f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return i32(int64_t(bits & 0xFFFFFFFF)).i32(int64_t(bits >> 32));
    }
    Bytes& raw(const QByteArray& bytes)
    {
        b.append(bytes);
        return *this;
    }
    Bytes& len(int n, int fmt)
    {
        if (fmt < 6)
            return u16(n);
        if (n < 0x80)
            return u8(n);
        if (n < 0x4000)
            return u8((n & 0x7F) | 0x80).u8(n >> 7);
        return u8((n & 0x7F) | 0x80).u8(((n >> 7) & 0x7F) | 0x80).u16(n >> 14);
    }
    Bytes& astr(const QByteArray& s, int fmt) { return len(int(s.size()), fmt).raw(s); }
    Bytes& wstr(const QString& s, int fmt)
    {
        len(int(s.size()), fmt);
        for (QChar c : s)
            u16(c.unicode());
        return *this;
    }
    QByteArray b;
};

const QString Si = QString::fromUtf8("S\u00EC");

// A file of format fmt with one of everything:
//   header: version 3, build 9 (5+), locale 0x0410, based on 0x0409 (3+),
//           "Italian" / "Italiano", not native, attributes 0x0101 (2+),
//           highest IDs 11 / 4 / 20 (7+)
//   unit "Unit1": "SHello" (string 100, ID 10, "Ciao", version -1, time
//           45000.5, attributes 0x0120), "SBye" (string 101, ID 0, "Addio",
//           version 2)
//   form "MainForm" (attributes 1): own "Caption" (ID 1, "Principale");
//           component "Button1" (attributes 4): "Caption" (ID 2, "&Bene"),
//           "Width" (ID 3, integer 80 from format 4), "Scale" (ID 4, float
//           0.1 from format 4)
//   group "Words" (7+): "Yes" (ID 20, "Sì", version 7)
QByteArray SampleFile(int fmt)
{
    Bytes f;
    f.raw("LF").u16(fmt).i32(3);
    if (fmt >= 5)
        f.i32(9);
    f.u16(0x0410);
    if (fmt >= 3)
        f.u16(0x0409);
    f.astr("Italian", 1).wstr("Italiano", 1).u16(0);
    if (fmt >= 2)
        f.u16(0x0101);
    f.i32(11).i32(4);
    if (fmt >= 7)
        f.i32(20);
    auto attrs = [&](int a) {
        if (fmt >= 2)
            f.u16(a);
    };
    // units
    f.u16(1).astr("Unit1", fmt);
    attrs(0);
    f.u16(2);
    f.astr("SHello", fmt);
    attrs(0x0120);
    f.u16(100).i32(10).wstr("Ciao", fmt).i32(-1).f64(45000.5);
    f.astr("SBye", fmt);
    attrs(0);
    f.u16(101).i32(0).wstr("Addio", fmt).i32(2).f64(0);
    // forms
    f.u16(1).astr("MainForm", fmt);
    attrs(1);
    f.u16(1).astr("Caption", fmt);
    attrs(0);
    f.i32(1).i32(ptString).wstr("Principale", fmt).i32(-1).f64(0);
    f.u16(1).astr("Button1", fmt);
    attrs(4);
    f.u16(3);
    f.astr("Caption", fmt);
    attrs(0);
    f.i32(2).i32(ptString).wstr("&Bene", fmt).i32(-1).f64(0);
    f.astr("Width", fmt);
    attrs(0);
    f.i32(3).i32(ptInteger);
    if (fmt >= 4)
        f.i32(80);
    f.i32(-1).f64(0);
    f.astr("Scale", fmt);
    attrs(0);
    f.i32(4).i32(ptFloat);
    if (fmt >= 4)
        f.f64(0.1);
    f.i32(-1).f64(0);
    // external groups
    if (fmt >= 7) {
        f.u16(1).astr("Words", fmt).u16(0).u16(1);
        f.astr("Yes", fmt).u16(0).i32(20).wstr(Si, fmt).i32(7).f64(0);
    }
    return f.b;
}

QByteArray Compressed(const QByteArray& plain)
{
    TMemoryStream source(plain), dest;
    LZKCompressStream(source, dest);
    return dest.Bytes();
}

void Load(TLangFile& file, const QByteArray& bytes, TLocStorage& storage, int index,
          TLFLoadOptions options = 0)
{
    TMemoryStream stream(bytes);
    file.LoadFromStream(stream, &storage, index, options);
}

QByteArray SaveToBytes(TLangFile& file, TLocStorage& storage, int index, bool updateItemVersion = false)
{
    TMemoryStream stream;
    file.SaveToStream(stream, &storage, index, updateItemVersion);
    return stream.Bytes();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

template <class E, class F> void ExpectError(F&& call, const QString& message)
{
    try {
        call();
        ADD_FAILURE() << "no error, expected " << message.toStdString();
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

} // namespace

// Formats 1, 3, 5, 6 and 7 (and 2, 4) load into a new language; each adds
// fields as the format table says.
TEST(LocLangFile, LoadsEveryFormat)
{
    for (int fmt = 1; fmt <= 7; ++fmt) {
        SCOPED_TRACE(fmt);
        TLocStorage s;
        TLangFile file;
        Load(file, SampleFile(fmt), s, -1);

        EXPECT_EQ(file.FormatVersion(), fmt);
        EXPECT_EQ(file.Version(), 3);
        EXPECT_EQ(file.Build(), fmt >= 5 ? 9u : 0u);
        EXPECT_EQ(file.Locale(), 0x0410u);
        EXPECT_EQ(file.BasedOnLangID(), fmt >= 3 ? 0x0409 : 0);
        EXPECT_EQ(file.LangEnglishName(), "Italian");
        EXPECT_EQ(file.LangLocalizedName(), "Italiano");
        EXPECT_FALSE(file.IsNative());
        EXPECT_EQ(file.Attributes(), fmt >= 2 ? 0x0101 : 0); // format 1: 0, not the default 1
        EXPECT_EQ(file.PropertyMaxID(), 4);
        EXPECT_EQ(file.ConstMaxID(), 12); // 11, then "SBye" numbered 12
        EXPECT_EQ(file.ExtItemMaxID(), fmt >= 7 ? 20 : 0);
        EXPECT_EQ(file.LangIndex(), 0);
        EXPECT_EQ(s.MainLangID(), 0x0410);
        EXPECT_EQ(s.GetLocale(0), 0x0410);

        const TLocConstant* hello = s.FindConstant("Unit1", "SHello");
        ASSERT_NE(hello, nullptr);
        EXPECT_EQ(hello->ID(), 10);
        EXPECT_EQ(hello->StringID(), 100);
        EXPECT_EQ(hello->MainValue()->Value(), "Ciao");
        EXPECT_EQ(hello->MainValue()->ValueVersion(), 3); // -1: the file's version
        EXPECT_EQ(hello->MainValue()->Modified(), 45000.5);
        EXPECT_EQ(hello->MainValue()->Attributes(), fmt >= 2 ? 0x0120 : 0);
        EXPECT_EQ(hello->MainValue()->LangID(), 0x0410);
        EXPECT_EQ(s.FindConstant("Unit1", "SBye")->ID(), 12);
        EXPECT_EQ(s.FindConstant("Unit1", "SBye")->MainValue()->ValueVersion(), 2);

        EXPECT_EQ(s.Forms().Items(0)->Attributes(), fmt >= 2 ? 1 : 0);
        EXPECT_EQ(s.Forms().Items(0)->FindComponent("Button1")->Attributes(), fmt >= 2 ? 4 : 0);
        EXPECT_EQ(s.FindProperty("MainForm", "", "Caption")->MainValue()->Value(), "Principale");
        EXPECT_EQ(s.FindProperty("MainForm", "Button1", "Caption")->MainValue()->Value(), "&Bene");
        const TLocProperty* width = s.FindProperty("MainForm", "Button1", "Width");
        const TLocProperty* scale = s.FindProperty("MainForm", "Button1", "Scale");
        EXPECT_EQ(width->ValueType(), ptInteger);
        EXPECT_EQ(scale->ValueType(), ptFloat);
        EXPECT_EQ(width->MainValue()->Value(), fmt >= 4 ? "80" : "");
        EXPECT_EQ(scale->MainValue()->Value(), fmt >= 4 ? "0.1" : "");
        EXPECT_EQ(s.MaxPropID(), 4);

        if (fmt >= 7) {
            const TLocExtItem* yes = s.FindExtItem("Words", "Yes");
            ASSERT_NE(yes, nullptr);
            EXPECT_EQ(yes->MainValue()->Value(), Si);
            EXPECT_EQ(yes->MainValue()->ValueVersion(), 7);
        } else {
            EXPECT_EQ(s.ExtGroups().Count(), 0);
        }
    }
}

// Exact bytes of a save, assembled by hand from the format table, with the
// stated compact lengths at their limits (127: 1 byte, 128: 80 01, 300:
// AC 02, 16384: 80 80 01 00) while the header names keep 16-bit lengths.
TEST(LocLangFile, SaveWritesExactBytes)
{
    TLocStorage s;
    s.SetMainLangID(0x0407);
    const QString longName(300, u'N');
    TLocConstant* c = s.AddConstant(5, "U", longName, 7);
    c->MainValue()->SetValue(QString(16384, u'v'));
    c->MainValue()->SetValueVersion(2);
    c->MainValue()->SetModified(1.5);
    c->MainValue()->SetAttributes(0x0120);
    TLocProperty* p = s.AddProperty(3, "F", "", QString(127, u'p'), ptFloat);
    p->MainValue()->SetValue("0.5");
    s.AddProperty(4, "F", "", "Items", ptList); // no bytes: not written
    TLocProperty* w = s.AddProperty(6, "F", "B", QString(128, u'w'), ptInteger);
    w->MainValue()->SetValue("-2");
    s.AddExternalItem(9, "G", "X")->MainValue()->SetValue("x");

    TLangFile file;
    file.SetVersion(4);
    file.SetLocale(0x10407);
    file.SetLangEnglishName(QString(300, u'E'));
    file.SetLangLocalizedName("Deutsch");
    file.SetIsNative(true);
    file.SetConstMaxID(5);
    file.SetPropertyMaxID(6);
    file.SetExtItemMaxID(9);
    file.SetBasedOnLangID(0x0409);

    Bytes e;
    e.raw("LF").u16(7).i32(4).i32(0).u16(0x0407).u16(0x0409);
    e.astr(QByteArray(300, 'E'), 1).wstr("Deutsch", 1).u16(1).u16(0x0001).i32(5).i32(6).i32(9);
    e.u16(1).astr("U", 7).u16(0).u16(1);
    e.raw(QByteArray::fromHex("ac02")).raw(QByteArray(300, 'N')).u16(0x0120).u16(7).i32(5);
    e.raw(QByteArray::fromHex("80800100"));
    for (int i = 0; i < 16384; ++i)
        e.u16('v');
    e.i32(2).f64(1.5);
    e.u16(1).astr("F", 7).u16(0).u16(1);
    e.raw(QByteArray::fromHex("7f"))
        .raw(QByteArray(127, 'p'))
        .u16(0)
        .i32(3)
        .i32(ptFloat)
        .f64(0.5)
        .i32(0)
        .f64(0);
    e.u16(1).astr("B", 7).u16(0).u16(1);
    e.raw(QByteArray::fromHex("8001"))
        .raw(QByteArray(128, 'w'))
        .u16(0)
        .i32(6)
        .i32(ptInteger)
        .i32(-2)
        .i32(0)
        .f64(0);
    e.u16(1).astr("G", 7).u16(0).u16(1).astr("X", 7).u16(0).i32(9).wstr("x", 7).i32(0).f64(0);
    EXPECT_EQ(SaveToBytes(file, s, 0), e.b);
}

// What the file writes reads back the same, under a decimal comma too.
TEST(LocLangFile, StoreFileStoreRoundTrip)
{
    SetDecimalSeparator(u',');
    TLocStorage s;
    int id = 0;
    auto property = [&](TLocValueType type, const QString& text) {
        ++id;
        TLocProperty* p = s.AddProperty(id, "Form1", id % 2 ? "" : "Comp", QString("P%1").arg(id), type);
        TLocValue* v = p->MainValue();
        v->SetValue(text);
        v->SetValueVersion(id);
        v->SetModified(40000 + id * 0.25);
        v->SetAttributes(uint16_t(id * 0x0101));
    };
    for (const char* f : {"0.1", "-1e-300", "1.7976931348623157e+308", "0", "123456.789"})
        property(ptFloat, f);
    for (const char* i : {"-5", "2147483647", "-2147483648", "0"})
        property(ptInteger, i);
    property(ptString, QString::fromUtf8("Ünïcødé ✓"));
    property(ptString, "");
    property(ptStringList, "one\r\ntwo\r\n");
    TLocConstant* c = s.AddConstant(7, "Unit1", "SText", 65535);
    c->MainValue()->SetValue("Text");
    c->MainValue()->SetValueVersion(1);
    TLocExtItem* x = s.AddExternalItem(8, "Group", "Item");
    x->MainValue()->SetValue(QString(200, u'x'));
    x->MainValue()->SetValueVersion(-1);

    TLangFile out;
    out.SetVersion(1);
    const QByteArray bytes = SaveToBytes(out, s, 0);
    TLocStorage back;
    TLangFile in;
    Load(in, bytes, back, -1);
    ResetNumberSeparators();

    auto same = [](const TLocItem* a, const TLocItem* b) {
        ASSERT_NE(b, nullptr) << a->GetFullName(".").toStdString();
        SCOPED_TRACE(a->GetFullName(".").toStdString());
        EXPECT_EQ(b->ID(), a->ID());
        EXPECT_EQ(b->ValueType(), a->ValueType());
        EXPECT_EQ(b->MainValue()->Value(), a->MainValue()->Value());
        EXPECT_EQ(b->MainValue()->ValueVersion(), a->MainValue()->ValueVersion());
        EXPECT_EQ(b->MainValue()->Modified(), a->MainValue()->Modified());
        EXPECT_EQ(b->MainValue()->Attributes(), a->MainValue()->Attributes());
    };
    TLinearPropertyList props;
    s.Forms().FillLinearList(props, false);
    ASSERT_EQ(props.Count(), id);
    for (int i = 0; i < props.Count(); ++i) {
        const TLocProperty* p = props.Items(i);
        same(p, back.FindProperty("Form1", p->ComponentName(), p->Name()));
    }
    same(c, back.FindConstant("Unit1", "SText"));
    EXPECT_EQ(back.FindConstant("Unit1", "SText")->StringID(), 65535);
    same(x, back.FindExtItem("Group", "Item"));
    // And the second trip writes the same bytes.
    TLangFile again;
    again.SetVersion(1);
    EXPECT_EQ(SaveToBytes(again, back, 0), bytes);
}

// Loading into an existing language matches records by ID (or by name),
// skips records it cannot place and stays in step with the stream.
TEST(LocLangFile, LoadIntoExistingLanguage)
{
    auto makeStore = [](int32_t idBase) {
        auto s = std::make_unique<TLocStorage>();
        s->AddProperty(idBase + 1, "F", "", "A", ptString)->MainValue()->SetValue("a");
        s->AddProperty(idBase + 3, "F", "C", "B", ptString)->MainValue()->SetValue("b");
        s->AddProperty(idBase + 5, "F", "C", "N", ptInteger)->MainValue()->SetValue("1");
        TLocExtItem* x = s->AddExternalItem(idBase + 9, "G", "X");
        x->MainValue()->SetValue("x");
        x->MainValue()->SetValueVersion(5);
        s->AddLanguage(0, 0x0410);
        return s;
    };
    // Records 1, 2 (no such item), 3, and 5 as a string (the store has an
    // integer), each carrying a string so a misstep would show.
    Bytes f;
    f.raw("LF").u16(7).i32(1).i32(0).u16(0x0410).u16(0).astr("", 1).wstr("", 1).u16(0).u16(1);
    f.i32(0).i32(0).i32(0);
    f.u16(0); // no units
    f.u16(1).astr("F", 7).u16(0);
    f.u16(2);
    f.astr("A", 7).u16(0).i32(1).i32(ptString).wstr("A-it", 7).i32(1).f64(0);
    f.astr("Z", 7).u16(0).i32(2).i32(ptString).wstr("unknown", 7).i32(1).f64(0);
    f.u16(1).astr("C", 7).u16(0).u16(2);
    f.astr("B", 7).u16(0).i32(3).i32(ptString).wstr("B-it", 7).i32(1).f64(0);
    f.astr("N", 7).u16(0).i32(5).i32(ptString).wstr("wrong type", 7).i32(1).f64(0);
    f.u16(1).astr("G", 7).u16(0).u16(1);
    f.astr("X", 7).u16(lvaUseOlderTranslation).i32(9).wstr("x-it", 7).i32(3).f64(0);

    // Rows: how records find their items; the ext item's version 3 is below
    // the main value's 5, so its "use older translation" bit is cleared.
    struct Row {
        int no;
        int32_t idBase;
        TLFLoadOptions options;
        bool matched;
    };
    const Row rows[] = {
        {1, 0, 0, true},              // by ID
        {2, 100, 0, false},           // IDs differ: nothing matches
        {3, 100, loSyncByName, true}, // names match
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        auto s = makeStore(row.idBase);
        TLangFile file;
        Load(file, f.b, *s, 1, row.options);
        EXPECT_EQ(file.LangIndex(), 1);
        EXPECT_EQ(s->FindProperty("F", "", "A")->Value(1)->Value(), row.matched ? "A-it" : "a");
        EXPECT_EQ(s->FindProperty("F", "C", "B")->Value(1)->Value(), row.matched ? "B-it" : "b");
        EXPECT_EQ(s->FindProperty("F", "C", "N")->Value(1)->Value(), "1");
        const TLocValue* x = s->FindExtItem("G", "X")->Value(1);
        EXPECT_EQ(x->Value(), row.matched ? "x-it" : "x");
        if (row.matched) {
            EXPECT_EQ(x->Attributes(), 0);
            EXPECT_EQ(x->LangID(), 0x0410);
        }
        EXPECT_EQ(s->FindProperty("F", "", "A")->MainValue()->Value(), "a");
        EXPECT_EQ(s->FindProperty("F", "", "Z"), nullptr);
    }
}

// A new language: IDs 0 are numbered after the highest; with loRepair an ID
// met twice is renumbered too.
TEST(LocLangFile, NewLanguageNumbersAndRepairsIDs)
{
    Bytes f;
    f.raw("LF").u16(6).i32(1).i32(0).u16(0x0409).u16(0).astr("", 1).wstr("", 1).u16(1).u16(1);
    f.i32(3).i32(0);
    f.u16(1).astr("U", 6).u16(0).u16(3);
    f.astr("A", 6).u16(0).u16(1).i32(2).wstr("a", 6).i32(1).f64(0);
    f.astr("B", 6).u16(0).u16(2).i32(2).wstr("b", 6).i32(1).f64(0);
    f.astr("C", 6).u16(0).u16(3).i32(0).wstr("c", 6).i32(1).f64(0);
    f.u16(0);

    TLocStorage plain;
    TLangFile plainFile;
    Load(plainFile, f.b, plain, -1);
    EXPECT_EQ(plain.FindConstant("U", "A")->ID(), 2);
    EXPECT_EQ(plain.FindConstant("U", "B")->ID(), 2);
    EXPECT_EQ(plain.FindConstant("U", "C")->ID(), 4); // after the header's 3
    EXPECT_EQ(plainFile.ConstMaxID(), 4);
    EXPECT_EQ(plain.MaxConstID(), 4);
    EXPECT_TRUE(plainFile.IsNative());

    TLocStorage repaired;
    TLangFile repairedFile;
    Load(repairedFile, f.b, repaired, -1, loRepair);
    EXPECT_EQ(repaired.FindConstant("U", "A")->ID(), 2);
    // B and C both had 0 then; numbered in store order.
    EXPECT_EQ(repaired.FindConstant("U", "B")->ID(), 4);
    EXPECT_EQ(repaired.FindConstant("U", "C")->ID(), 5);
    EXPECT_EQ(repaired.MaxConstID(), 5);

    // Loading a new language empties the store first.
    TLocStorage used;
    used.AddProperty(1, "Old", "", "P", ptString);
    TLangFile usedFile;
    Load(usedFile, f.b, used, -1);
    EXPECT_EQ(used.Forms().Count(), 0);
    EXPECT_EQ(used.Units().Items(0)->Constants().Count(), 3);
}

TEST(LocLangFile, SaveFormatBuildAndVersions)
{
    // A format-2 object writes format 4 (and 16-bit lengths).
    TLocStorage s;
    TLangFile old;
    Load(old, SampleFile(2), s, -1);
    QByteArray bytes = SaveToBytes(old, s, 0);
    EXPECT_EQ(bytes.mid(2, 2), QByteArray::fromHex("0400"));
    EXPECT_EQ(old.FormatVersion(), 4);
    TLocStorage back;
    TLangFile reread;
    Load(reread, bytes, back, -1);
    EXPECT_EQ(back.FindProperty("MainForm", "Button1", "Caption")->MainValue()->Value(), "&Bene");

    // The build rises once per save while the object is modified (format 5+).
    TLangFile file;
    file.SetVersion(2);
    SaveToBytes(file, s, 0);
    EXPECT_EQ(file.Build(), 0u);
    file.SetModified(true);
    SaveToBytes(file, s, 0);
    bytes = SaveToBytes(file, s, 0);
    EXPECT_EQ(file.Build(), 2u);
    EXPECT_EQ(bytes.mid(8, 4), QByteArray::fromHex("02000000"));
    file.SetVersion(2);
    EXPECT_EQ(file.Build(), 2u); // the same version keeps it
    file.IncreaseVersion();
    EXPECT_EQ(file.Version(), 3);
    EXPECT_EQ(file.Build(), 0u);

    // The version written is the language's, or the main value's.
    s.AddLanguage(0, 0x0407);
    TLocConstant* hello = s.FindConstant("Unit1", "SHello");
    hello->Value(1)->SetAttributes(0x01FF);
    for (bool update : {false, true}) {
        TLangFile one;
        TLocStorage loaded;
        Load(one, SaveToBytes(one, s, 1, update), loaded, -1);
        const TLocValue* v = loaded.FindConstant("Unit1", "SHello")->MainValue();
        EXPECT_EQ(v->ValueVersion(), update ? 3 : one.Version()); // -1 read back as the file's
        // High byte from the language's value, low byte from the main value.
        EXPECT_EQ(v->Attributes(), 0x0120);
    }
}

// Over-long texts and over-large numbers raise before any byte is written.
TEST(LocLangFile, WritingRefusesWhatDoesNotFit)
{
    struct Row {
        int no;
        std::function<void(TLocStorage&, TLangFile&)> setUp;
    };
    const Row rows[] = {
        {1, [](TLocStorage&, TLangFile& f) { f.SetLangEnglishName(QString(65536, u'e')); }},
        {2, [](TLocStorage&, TLangFile& f) { f.SetLangLocalizedName(QString(65536, u'e')); }},
        {3, [](TLocStorage& s, TLangFile&) { s.AddConstant(1, "U", "C", 65536); }},
        {4, [](TLocStorage& s, TLangFile&) { s.AddConstant(1, "U", "C", -1); }},
        {5,
         [](TLocStorage& s, TLangFile& f) {
             // Format 4 keeps 16-bit lengths in the body.
             TMemoryStream header(SampleFile(4));
             f.LoadHeaderFromStream(header, false);
             s.AddConstant(1, "U", "C", 1)->MainValue()->SetValue(QString(65536, u'x'));
         }},
        {6,
         [](TLocStorage& s, TLangFile&) {
             TLocComponentList& components = s.Forms().Add("F")->Components();
             for (int i = 0; i <= 65535; ++i)
                 components.Add(QString("C%1").arg(i, 5, 10, QChar(u'0')));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        TLocStorage s;
        TLangFile f;
        row.setUp(s, f);
        TMemoryStream out;
        EXPECT_THROW(f.SaveToStream(out, &s, 0, false), ELangFileError);
        EXPECT_EQ(out.Size(), 0);
    }
}

TEST(LocLangFile, ReadErrors)
{
    struct Row {
        int no;
        QByteArray bytes;
        const char* message;
    };
    QByteArray badType = SampleFile(7);
    // The type of the form's own "Caption" (name, attributes, ID, type): 9 is
    // not a type.
    badType[badType.indexOf("Caption") + 7 + 2 + 4] = 9;
    const Row rows[] = {
        {1, "", "Invalid file format"},
        {2, "L", "Invalid file format"},
        {3, "XF\x07", "Invalid file format"},
        {4, QByteArray("LF\x00\x00", 4), "Invalid file format"},
        {5, QByteArray("LF\x08\x00", 4),
         "The language file can not be read. You need to download the latest Lexorand"},
        {6, badType, "Invalid file format"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        TLocStorage s;
        TLangFile f;
        ExpectError<ELangFileError>([&] { Load(f, row.bytes, s, -1); }, row.message);
    }

    // Every cut of a file ends in the stream's read error, and leaves the
    // store as it was.
    for (int fmt : {1, 5, 7}) {
        const QByteArray whole = SampleFile(fmt);
        for (int size = 2; size < whole.size(); ++size) {
            TLocStorage s;
            s.AddProperty(1, "Keep", "", "P", ptString)->MainValue()->SetValue("kept");
            TLangFile f;
            EXPECT_THROW(Load(f, whole.left(size), s, -1), EReadError) << fmt << "/" << size;
            ASSERT_NE(s.FindProperty("Keep", "", "P"), nullptr);
            EXPECT_EQ(s.GetLocale(0), GetUserDefaultLangID());
            EXPECT_EQ(f.LangEnglishName(), "");
        }
    }

    // Compressed: a match reaching before the first byte is a wrong stream;
    // a cut compressed file decodes short.
    TLocStorage s;
    TLangFile f;
    ExpectError<EKCompressError>([&] { Load(f, QByteArray("LZK00\0\0\0\0\x03\x00", 11), s, -1); },
                                 "Wrong stream format");
    const QByteArray packed = Compressed(SampleFile(7));
    for (int size : {40, 100, int(packed.size()) - 1})
        EXPECT_THROW(Load(f, packed.left(size), s, -1), EReadError) << size;

    // The target is checked first.
    ExpectError<ELangFileError>([&] { Load(f, SampleFile(7), s, 1); }, "Invalid index");
    TMemoryStream stream(SampleFile(7));
    ExpectError<ELangFileError>([&] { f.LoadFromStream(stream, nullptr, -1, 0); }, "Invalid LocStorage");
    ExpectError<ELangFileError>([&] { f.SaveToStream(stream, &s, 1, false); }, "Invalid index");
    ExpectError<ELangFileError>([&] { f.SaveToStream(stream, nullptr, 0, false); }, "Invalid LocStorage");
}

TEST(LocLangFile, HeaderFromStream)
{
    const QByteArray plain = SampleFile(5);
    // Header of format 5: 2+2+4+4+2+2 + (2+7) + (2+16) + 2 + 2 + 4 + 4.
    const int64_t headerSize = 55;
    for (const QByteArray& bytes : {plain, Compressed(plain)}) {
        TMemoryStream stream(bytes);
        stream.SetPosition(7);
        TLangFile f;
        EXPECT_EQ(f.LoadHeaderFromStream(stream, true), headerSize);
        EXPECT_EQ(f.LangEnglishName(), "");
        EXPECT_EQ(f.LoadHeaderFromStream(stream, false), headerSize);
        EXPECT_EQ(f.LangEnglishName(), "Italian");
        EXPECT_EQ(f.Build(), 9u);
    }
}

// The keyboard layout is the input method's locale; without one (no input
// context under the offscreen platform, or a program without a GUI
// application, as the language tool) it is the system locale.
TEST(LocLangFile, KeyboardLayoutOfTheMakingProgram)
{
    if (qEnvironmentVariableIsSet("TESSVAR_PRINT_KEYBOARD_LAYOUT")) {
        std::printf("layout=%s\n", qPrintable(TLangFile().KeyboardLayout().name()));
        return;
    }
    const QLocale input = QGuiApplication::inputMethod()->locale();
    const QLocale expected = input == QLocale::c() ? QLocale::system() : input;
    EXPECT_EQ(TLangFile().KeyboardLayout(), expected);
    QTemporaryDir dir;
    EXPECT_EQ(TLangFile(dir.filePath("none.lng")).KeyboardLayout(), expected);

    // The same program started under a German system locale.
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LC_ALL"})
        environment.insert(name, "de_DE.UTF-8");
    environment.insert("TESSVAR_PRINT_KEYBOARD_LAYOUT", "1");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationFilePath(),
                  {"--gtest_filter=LocLangFile.KeyboardLayoutOfTheMakingProgram"});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_TRUE(program.readAllStandardOutput().contains("layout=de_DE\n"));

    // In a child whose application is gone; the child never returns to the
    // stack object, so ending its life early is safe.
    const QString layout = RunInChild(
        [] {
            QCoreApplication::instance()->~QCoreApplication();
            return QCoreApplication::instance() ? QStringLiteral("an application is left") : QString();
        },
        [] { return TLangFile().KeyboardLayout().name(); });
    EXPECT_EQ(layout, QLocale::system().name());
}

class LocLangFileOnDisk : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(LocLangFileOnDisk, CreateLoadAndCompressedFiles)
{
    TLangFile missing(Path("none.lng"));
    EXPECT_EQ(missing.FormatVersion(), 7);
    EXPECT_EQ(missing.Attributes(), lfaUnicode);
    EXPECT_TRUE(missing.AskRepLocale());
    EXPECT_TRUE(missing.CheckDllValidity());
    EXPECT_EQ(missing.Handle(), -1);
    EXPECT_FALSE(missing.ReadOnly());

    WriteFile(Path("plain.lng"), SampleFile(6));
    WriteFile(Path("packed.lng"), Compressed(SampleFile(7)));
    for (const char* name : {"plain.lng", "packed.lng"}) {
        SCOPED_TRACE(name);
        TLangFile file(Path(name));
        EXPECT_EQ(file.Compressed(), QString(name) == "packed.lng");
        EXPECT_EQ(file.LangEnglishName(), "Italian");
        EXPECT_FALSE(file.ReadOnly());
        TLocStorage s;
        file.Load(&s, -1, 0);
        EXPECT_EQ(s.FindProperty("MainForm", "Button1", "Scale")->MainValue()->Value(), "0.1");
        // Saving keeps the compression.
        file.Save(&s, 0, false);
        EXPECT_EQ(ReadFile(Path(name)).startsWith("LZK00"), file.Compressed());
    }

    // A compressed header longer than the first 2 KB of the file decodes to
    // is still read whole.
    QString longName;
    QRandomGenerator random(7);
    for (int i = 0; i < 6000; ++i)
        longName += QChar(u'a' + random.bounded(26));
    TLangFile writer;
    writer.SetCompressed(true);
    writer.SetLangEnglishName(longName);
    writer.SaveHeader(Path("long.lng"));
    ASSERT_GT(ReadFile(Path("long.lng")).size(), 4096);
    TLangFile reader(Path("long.lng"), true);
    EXPECT_TRUE(reader.ReadOnly());
    EXPECT_TRUE(reader.Compressed());
    EXPECT_EQ(reader.LangEnglishName(), longName);

    // A corrupt file raises when the object is made, a cut one when it is
    // loaded; both say the reader's message, then the file on its own line.
    WriteFile(Path("bad.lng"), QByteArray("LF\x09\x00", 4));
    ExpectError<ELangFileError>([&] { TLangFile{Path("bad.lng")}; },
                                "The language file can not be read. You need to download the latest Lexorand\n" +
                                    Path("bad.lng"));
    WriteFile(Path("cut.lng"), SampleFile(7));
    TLangFile cut(Path("cut.lng"));
    WriteFile(Path("cut.lng"), SampleFile(7).left(200));
    TLocStorage s;
    ExpectError<EReadError>([&] { cut.Load(&s, -1, 0); }, "Stream read error\n" + Path("cut.lng"));
}

// A language file saved on a disk with room for only part of it (a file size
// limit in a child process): the old file keeps every byte, the lock is
// taken again, and the error names the file.
TEST_F(LocLangFileOnDisk, SaveCutShortKeepsTheOldFile)
{
    const QString path = Path("it.lng");
    WriteFile(path, SampleFile(7));
    TLocStorage s;
    TLangFile file(path);
    file.Load(&s, -1, 0);
    file.Lock();
    for (int i = 0; i < 200; ++i)
        s.AddConstant(-1, "Unit1", QString("SLong%1").arg(i), 0)->MainValue()->SetValue(QString(40, QChar(u'x')));
    const QString message = RunWithFileSizeLimit(SampleFile(7).size() + 100, [&] {
        try {
            file.Save(&s, 0, false);
        } catch (const Exception& e) {
            return e.Message() + (file.Handle() >= 0 ? QString() : QStringLiteral(" <unlocked>"));
        }
        return QStringLiteral("saved");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + path + "\". ")) << message.toStdString();
    EXPECT_FALSE(message.contains("<unlocked>"));
    EXPECT_EQ(ReadFile(path), SampleFile(7));

    file.Save(&s, 0, false);
    TLocStorage back;
    TLangFile(path, true).Load(&back, -1, 0);
    EXPECT_EQ(back.FindConstant("Unit1", "SLong199")->MainValue()->Value(), QString(40, QChar(u'x')));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"it.lng"}));
}

TEST_F(LocLangFileOnDisk, SaveHeaderKeepsTheBody)
{
    const QString path = Path("five.lng");
    WriteFile(path, SampleFile(5));
    TLangFile file(path);
    file.UpdateFormatVersion();
    file.SetLangEnglishName("Italiano (Italia)");
    file.SetVersion(8);
    file.SaveHeader(path);

    TLangFile reread(path);
    EXPECT_EQ(reread.FormatVersion(), 5); // the body's format
    EXPECT_EQ(reread.LangEnglishName(), "Italiano (Italia)");
    EXPECT_EQ(reread.Version(), 8);
    TLocStorage s;
    reread.Load(&s, -1, 0);
    EXPECT_EQ(s.FindConstant("Unit1", "SHello")->MainValue()->Value(), "Ciao");
    EXPECT_EQ(s.FindConstant("Unit1", "SHello")->MainValue()->ValueVersion(), 8);

    // Without a file: the header and an empty body.
    TLangFile fresh;
    fresh.SetLocale(0x0407);
    fresh.SaveHeader(Path("new.lng"));
    EXPECT_EQ(fresh.FileName(), Path("new.lng"));
    EXPECT_TRUE(ReadFile(Path("new.lng")).endsWith(QByteArray(6, '\0')));
    TLangFile empty(Path("new.lng"));
    TLocStorage none;
    empty.Load(&none, -1, 0);
    EXPECT_EQ(none.GetLocale(0), 0x0407);
    EXPECT_EQ(none.Units().Count() + none.Forms().Count() + none.ExtGroups().Count(), 0);
}

// Locks are advisory (flock): a shared lock while a file is held, an
// exclusive one to test for writing and to replace it.
TEST_F(LocLangFileOnDisk, LocksAndSafeSaving)
{
    const QString path = Path("it.lng");
    WriteFile(path, SampleFile(7));
    TLocStorage s;
    TLangFile holder(path);
    holder.Load(&s, -1, 0);
    holder.Lock();
    EXPECT_GE(holder.Handle(), 0);

    // Another object sees the file held and opens it read-only.
    TLangFile other(path);
    EXPECT_TRUE(other.ReadOnly());
    ExpectError<ELangFileError>([&] { other.Save(&s, 0, false); },
                                QString("File \"%1\" was opened as read-only").arg(path));
    // The holder's lock keeps an unlocked writer from replacing the file.
    TLangFile writer;
    writer.SaveHeader(Path("w.lng"));
    EXPECT_THROW(writer.SaveHeader(path), EFCreateError);
    EXPECT_EQ(ReadFile(path), SampleFile(7));

    // The holder itself saves and keeps its lock.
    s.FindConstant("Unit1", "SHello")->MainValue()->SetValue("Salve");
    holder.Save(&s, 0, false);
    EXPECT_GE(holder.Handle(), 0);
    TLangFile check(path, true);
    TLocStorage back;
    check.Load(&back, -1, 0);
    EXPECT_EQ(back.FindConstant("Unit1", "SHello")->MainValue()->Value(), "Salve");
    holder.Unlock();
    EXPECT_FALSE(TLangFile(path).ReadOnly());

    // A failed save leaves the file and the lock as they were.
    holder.Lock();
    const QByteArray before = ReadFile(path);
    s.AddConstant(-1, "Unit1", "STooBig", 70000);
    EXPECT_THROW(holder.Save(&s, 0, false), ELangFileError);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_GE(holder.Handle(), 0);
    holder.Unlock();

    // A process writing the file (exclusive lock) keeps readers out.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_THROW(TLangFile{path}, EFOpenError);
    ExpectError<ELangFileError>([&] { holder.Lock(); }, "Can not open language file exclusively");
    ::close(fd);
    holder.Lock();
    EXPECT_GE(holder.Handle(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary files left
}

// A language file another process holds under a read lease (as a file
// server holds one), given up 100 ms after the system asks for it: the
// check whether it may be written waits for the holder, as a plain open
// does, and finds it writable.
TEST_F(LocLangFileOnDisk, AFileUnderALeaseIsWaitedForToTellItWritable)
{
    if (const QString withheld = LeasesWithheld(dir.path(), F_RDLCK); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const QString path = Path("it.lng");
    WriteFile(path, SampleFile(7));
    TLeaseHolder holder(path, F_RDLCK);
    ASSERT_EQ(holder.Failure().toStdString(), "");
    bool readOnly = true;
    const int64_t waited = ElapsedMilliseconds([&] { readOnly = TLangFile(path).ReadOnly(); });
    EXPECT_FALSE(readOnly);
    EXPECT_EQ(holder.Finish().toStdString(), "");
    EXPECT_GE(waited, TLeaseHolder::kHoldMilliseconds - 20);
}

// A FIFO at a language file's name, directly or through a link, is no
// language file: an object made on it has the defaults of a missing one, and
// saving it, saving its header, locking and loading it end at once, refused
// with the message naming it; the FIFO stays as it was and nothing is left.
TEST_F(LocLangFileOnDisk, AFifoIsNoLanguageFile)
{
    const QString fifo = Path("it.lng");
    const QString link = Path("link.lng");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(fifo, link));
    const std::string before = NodeOf(fifo);
    for (const QString& name : {fifo, link}) {
        SCOPED_TRACE(name.toStdString());
        const QString answer = RunInChildWithin(1000, [&] {
            const auto answerOf = [](const std::function<void()>& call) {
                try {
                    call();
                } catch (const Exception& e) {
                    return e.Message();
                }
                return QStringLiteral("done");
            };
            TLangFile file(name);
            TLocStorage s;
            s.SetMainLangID(0x0410);
            s.AddConstant(1, "Unit1", "SHello", 1)->MainValue()->SetValue("Ciao");
            return QStringList{QStringLiteral("format %1").arg(file.FormatVersion()),
                               answerOf([&] { file.Save(&s, 0, false); }),
                               answerOf([&] { file.SaveHeader(name); }), answerOf([&] { file.Lock(); }),
                               answerOf([&] { file.Load(&s, -1, 0); })}
                .join('\n');
        });
        const QString reason = name == fifo ? "It is not a file." : "\"" + fifo + "\" is not a file.";
        EXPECT_EQ(answer.toStdString(),
                  QStringList({"format 7", "Cannot create file \"" + name + "\". " + reason,
                               "Cannot create file \"" + name + "\". " + reason,
                               "Can not open language file exclusively",
                               "Cannot open file \"" + name + "\". " + reason + "\n" + name})
                      .join('\n')
                      .toStdString());
        EXPECT_EQ(NodeOf(fifo), before);
    }
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
        QStringList({"it.lng", "link.lng"}));
}

// Bad bytes end in an Exception, never in a crash or a read out of bounds.
TEST(LocLangFile, FuzzReader)
{
    std::vector<QByteArray> seeds;
    for (int fmt = 1; fmt <= 7; ++fmt)
        seeds.push_back(SampleFile(fmt));
    seeds.push_back(Compressed(SampleFile(7)));
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& input) {
            TMemoryStream stream(input);
            TLangFile header;
            header.LoadHeaderFromStream(stream, false);
            TLocStorage fresh;
            TLangFile f;
            f.LoadFromStream(stream, &fresh, -1, loRepair);
            TLocStorage existing;
            existing.AddProperty(2, "MainForm", "Button1", "Caption", ptString);
            existing.AddConstant(10, "Unit1", "SHello", 100);
            existing.AddLanguage(0, 0x0410);
            f.LoadFromStream(stream, &existing, 1, 0);
            f.LoadFromStream(stream, &existing, 1, loSyncByName);
        },
        seeds, 3.0);
    EXPECT_GT(stats.runs, 0);
}
