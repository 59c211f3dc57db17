#include "localization/LocStorage.h"
#include "localization/KStrings.h"

#include "localization/KLocales.h"

#include "platform/rtl/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Pins the user's default language for one test.
class DefaultLanguage {
public:
    explicit DefaultLanguage(uint16_t langId) { SetUserDefaultLangID(langId); }
    ~DefaultLanguage() { SetUserDefaultLangID(0); }
};

// A store with one of everything: form "MainForm" (own "Caption" id 1,
// "Button1.Caption" id 2, "Button1.Width" integer id 3), unit "Unit1"
// ("SHello" id 10, string id 100; "RC" unit with "SRc" string id 100) and
// group "Words" ("Yes" id 20).
void Fill(TLocStorage& s)
{
    s.AddProperty(1, "MainForm", "", "Caption", ptString)->MainValue()->SetValue("Main");
    s.AddProperty(2, "MainForm", "Button1", "Caption", ptString)->MainValue()->SetValue("&OK");
    s.AddProperty(3, "MainForm", "Button1", "Width", ptInteger)->MainValue()->SetValue("75");
    s.AddConstant(10, "Unit1", "SHello", 100)->MainValue()->SetValue("Hello");
    s.AddConstant(11, "RC", "SRc", 100)->MainValue()->SetValue("Resource");
    s.AddExternalItem(20, "Words", "Yes")->MainValue()->SetValue("Yes");
}

} // namespace

// Float text must read back the same double under any decimal separator.
TEST(LocStorage, FloatTextIsShortestAndLocaleFree)
{
    struct Row {
        int no;
        double value;
        const char* text; // shortest round trip (std::to_chars)
    };
    const Row rows[] = {
        {1, 0.1, "0.1"},
        {2, 2.5, "2.5"},
        {3, -75, "-75"},
        {4, 1e20, "1e+20"},
        {5, 1.0 / 3, "0.3333333333333333"},
        {6, 5e-324, "5e-324"}, // smallest denormal
        {7, std::numeric_limits<double>::infinity(), "inf"},
    };
    SetDecimalSeparator(u',');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(LocFloatToText(row.value), row.text);
        EXPECT_EQ(StrToFloatSafe(row.text), row.value);
    }
    EXPECT_EQ(LocFloatToText(std::nan("")), "nan");
    EXPECT_TRUE(std::isnan(StrToFloatSafe("nan")));
    // Blanks and a plus sign are allowed; anything else reads as 0.
    EXPECT_EQ(StrToFloatSafe(" +1.5E3 "), 1500);
    for (const char* bad : {"", "2,5", "1.5x", "abc", "1e999", "--1", "\xC2\xBD"})
        EXPECT_EQ(StrToFloatSafe(QString::fromUtf8(bad)), 0) << bad;
    ResetNumberSeparators();
}

TEST(LocStorage, LanguagesAddRemoveAndLocales)
{
    const DefaultLanguage german(0x0407);
    TLocStorage s;
    EXPECT_EQ(s.LanguageCount(), 1);
    EXPECT_EQ(s.GetLocale(0), 0x0407);
    EXPECT_EQ(s.MainLangID(), 0x0407);
    Fill(s);
    TLocConstant* hello = s.FindConstant("Unit1", "SHello");
    hello->MainValue()->SetValueVersion(3);

    // A new language copies the texts as untranslated values.
    EXPECT_EQ(s.AddLanguage(0, 0x0410), 1);
    EXPECT_EQ(hello->ValueCount(), 2);
    EXPECT_EQ(hello->Value(1)->Value(), "Hello");
    EXPECT_EQ(hello->Value(1)->ValueVersion(), -1);
    EXPECT_EQ(hello->Value(1)->LangID(), 0x0410);
    EXPECT_FALSE(hello->IsTranslated(1));
    hello->Value(1)->SetValueVersion(3);
    EXPECT_TRUE(hello->IsTranslated(1));
    // Items added later get a value for every language.
    EXPECT_EQ(s.AddConstant(-1, "Unit1", "SLater", 0)->ValueCount(), 2);
    EXPECT_EQ(s.FindConstant("Unit1", "SLater")->Value(1)->LangID(), 0x0410);

    EXPECT_EQ(s.AddLanguage(1, 0x040C), 2);
    EXPECT_EQ(s.IndexOfLocale(0x040C), 2);
    EXPECT_EQ(s.IndexOfLocale(0x1040C), 2); // the low 16 bits count
    EXPECT_EQ(s.IndexOfLocale(0x0409), -1);
    EXPECT_EQ(s.IndexOfLanguage(0x0010), 1); // 0x0410 holds the bits of 0x10
    EXPECT_EQ(s.GetLocale(3), 0);
    EXPECT_EQ(s.GetLocale(-1), 0);

    s.SetLanguageLangID(2, 0x080C);
    EXPECT_EQ(s.GetLocale(2), 0x080C);
    EXPECT_EQ(s.FindProperty("MainForm", "Button1", "Caption")->Value(2)->LangID(), 0x080C);
    s.SetLanguageLangID(7, 0x0401); // outside: nothing happens
    EXPECT_EQ(s.LanguageCount(), 3);

    // Removing keeps the current language on the same language.
    s.SetCurLangIndex(2);
    s.RemoveLanguage(1);
    EXPECT_EQ(s.LanguageCount(), 2);
    EXPECT_EQ(s.CurLangIndex(), 1);
    EXPECT_EQ(hello->ValueCount(), 2);
    EXPECT_EQ(hello->Value(1)->LangID(), 0x080C);
    s.RemoveLanguage(1);
    EXPECT_EQ(s.CurLangIndex(), 0);

    s.SetMainLangID(0x0409);
    EXPECT_EQ(s.GetLocale(0), 0x0409);
}

TEST(LocStorage, LanguageErrors)
{
    TLocStorage s;
    Fill(s);
    auto expectError = [](auto&& call, const char* message) {
        try {
            call();
            FAIL() << "no error for " << message;
        } catch (const ELocStorageError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    };
    expectError([&] { s.RemoveLanguage(0); }, "Could not remove language"); // one language
    s.AddLanguage(0, 0x0410);
    expectError([&] { s.RemoveLanguage(0); }, "Could not remove language");
    expectError([&] { s.RemoveLanguage(2); }, "Could not remove language");
    expectError([&] { s.AddLanguage(2, 0x0407); }, "Could not add language");
    expectError([&] { s.AddLanguage(-1, 0x0407); }, "Could not add language");
    EXPECT_EQ(s.LanguageCount(), 2);
}

// Constants compare names with regard to case, everything else without.
TEST(LocStorage, NamesCaseAndExistingItems)
{
    TLocStorage s;
    TLocConstant* upper = s.AddConstant(1, "Unit1", "Caption", 7);
    TLocConstant* lower = s.AddConstant(2, "unit1", "caption", 8);
    EXPECT_NE(upper, lower);
    EXPECT_EQ(s.Units().Count(), 1);
    EXPECT_EQ(s.FindConstant("UNIT1", "caption"), lower);
    EXPECT_EQ(s.FindConstant("Unit1", "CAPTION"), nullptr);

    TLocProperty* p = s.AddProperty(5, "Form1", "Label1", "Caption", ptString);
    EXPECT_EQ(s.AddProperty(9, "FORM1", "label1", "caption", ptInteger), p); // returned unchanged
    EXPECT_EQ(p->ID(), 5);
    EXPECT_EQ(p->ValueType(), ptString);
    EXPECT_EQ(s.FindProperty("form1", "LABEL1", "CAPTION"), p);
    EXPECT_EQ(s.AddConstant(9, "Unit1", "Caption", 99), upper);
    EXPECT_EQ(upper->StringID(), 7);

    // Named lists stay sorted whatever the order of adding.
    for (const char* name : {"Delta", "alpha", "Charlie", "bravo"})
        s.AddExternalItem(-1, "G", name);
    const TLocExtItemList& items = s.ExtGroups().Items(0)->ExternalItems();
    QStringList names;
    for (int i = 0; i < items.Count(); ++i)
        names << items.Items(i)->Name();
    EXPECT_EQ(names, QStringList({"alpha", "bravo", "Charlie", "Delta"}));
    EXPECT_EQ(items.IndexOfName("CHARLIE"), 2);
    EXPECT_EQ(items.IndexOfName("echo"), -1);

    EXPECT_EQ(p->GetFullName("."), "Form1.Label1.Caption");
    EXPECT_EQ(s.AddProperty(6, "Form1", "", "Hint", ptString)->GetFullName("/"), "Form1/Hint");
    EXPECT_EQ(upper->GetFullName("."), "Unit1.Caption");
    EXPECT_EQ(items.Items(0)->GetFullName("::"), "G::alpha");
}

TEST(LocStorage, ItemIDs)
{
    TLocStorage s;
    EXPECT_EQ(s.AddConstant(5, "U", "A", 0)->ID(), 5);
    EXPECT_EQ(s.MaxConstID(), 5);
    EXPECT_EQ(s.AddConstant(-1, "U", "B", 0)->ID(), 6);
    EXPECT_EQ(s.AddConstant(3, "U", "C", 0)->ID(), 3); // kept; the highest stays 6
    EXPECT_EQ(s.AddConstant(0, "U", "D", 0)->ID(), 0);
    EXPECT_EQ(s.MaxConstID(), 6);
    // Each kind counts on its own.
    EXPECT_EQ(s.AddProperty(-1, "F", "", "P", ptString)->ID(), 1);
    EXPECT_EQ(s.AddExternalItem(-7, "G", "X")->ID(), 1);
    // No wrap-around past the largest ID.
    s.SetMaxExtItemID(std::numeric_limits<int32_t>::max());
    EXPECT_THROW(s.AddExternalItem(-1, "G", "Y"), ELocStorageError);
    EXPECT_THROW(s.AddExternalItem(-1, "H", "Y"), ELocStorageError);
    EXPECT_EQ(s.FindExtItem("G", "Y"), nullptr);
    EXPECT_EQ(s.ExtGroups().Count(), 1); // no group "H" left behind
}

TEST(LocStorage, LookUps)
{
    TLocStorage s;
    Fill(s);
    s.AddConstant(12, "Unit1", "SWide", 0x10064);   // string ID 100 in 16 bits
    EXPECT_EQ(s.FindConstByID(100)->Name(), "SRc"); // "RC" sorts before "Unit1"
    EXPECT_EQ(s.FindConstByIDEx(100, false)->Name(), "SHello");
    EXPECT_EQ(s.FindConstByIDEx(0x10064, false)->Name(), "SHello");
    EXPECT_EQ(s.FindConstByValue("Resource")->Name(), "SRc");
    EXPECT_EQ(s.FindConstByValueEx("Resource", false), nullptr);
    EXPECT_EQ(s.FindConstByValue("hello"), nullptr); // exact text only
    EXPECT_EQ(s.FindConstantOnlyByName("SHello")->Parent()->Name(), "Unit1");
    EXPECT_EQ(s.FindConstByIntID(11)->Name(), "SRc");
    EXPECT_EQ(s.FindConstByIntID(99), nullptr);
    EXPECT_EQ(s.FindPropByIntID(1)->Name(), "Caption");
    EXPECT_EQ(s.FindPropByIntID(3)->Name(), "Width");
    EXPECT_EQ(s.FindPropByIntID(3)->ComponentName(), "Button1");
    EXPECT_EQ(s.FindPropByIntID(1)->ComponentName(), "");
    EXPECT_EQ(s.FindExtItemByID(20)->Name(), "Yes");
    EXPECT_EQ(s.FindExtItemByValue("Yes")->Name(), "Yes");
    EXPECT_EQ(s.FindExtItemOnlyByName("yes")->Name(), "Yes");
    EXPECT_EQ(s.FindExtItem("Words", "No"), nullptr);
    EXPECT_EQ(s.FindProperty("MainForm", "", "Caption")->ID(), 1);
    EXPECT_EQ(s.FindProperty("MainForm", "Button2", "Caption"), nullptr);
    EXPECT_EQ(s.Forms().Items(0)->FindComponent(""), s.Forms().Items(0));

    TStringList names;
    names.Add("stale");
    s.AddProperty(-1, "About", "", "Caption", ptString);
    s.GetFormNames(names);
    EXPECT_EQ(names.ToQStringList(), QStringList({"About", "MainForm"}));

    // Flat lists: sorted ones search by halving, others scan; names without
    // regard to case, the form's own properties with an empty component.
    TLinearPropertyList flat;
    s.Forms().FillLinearList(flat, false);
    EXPECT_FALSE(flat.Sorted());
    EXPECT_EQ(flat.Count(), 4);
    EXPECT_EQ(flat.Items(0)->Form()->Name(), "About");
    EXPECT_EQ(flat.IndexByID(2), flat.IndexByName("mainform", "BUTTON1", "caption"));
    EXPECT_EQ(flat.Items(flat.IndexByName("MainForm", "", "Caption"))->ID(), 1);
    TLinearPropertyList sorted;
    s.Forms().FillLinearList(sorted, true);
    EXPECT_TRUE(sorted.Sorted());
    for (int32_t id : {1, 2, 3, 4})
        EXPECT_EQ(sorted.Items(sorted.IndexByID(id))->ID(), id);
    EXPECT_EQ(sorted.IndexByID(5), -1);
    TLinearConstantList constants;
    s.Units().FillLinearList(constants, true);
    EXPECT_EQ(constants.IndexByName("unit1", "shello"), constants.IndexByID(10));
    TLinearExternalList externals;
    s.ExtGroups().FillLinearList(externals, true);
    EXPECT_EQ(externals.IndexByName("WORDS", "YES"), 0);
    EXPECT_EQ(externals.IndexByName("Words", "No"), -1);
}

TEST(LocStorage, DeleteUnusedItems)
{
    TLocStorage s;
    Fill(s);
    s.AddProperty(-1, "Empty", "Panel1", "Caption", ptString);
    s.MarkAll(true);
    EXPECT_EQ(
        s.Forms().DeleteUnusedItems() + s.Units().DeleteUnusedItems() + s.ExtGroups().DeleteUnusedItems(), 0);

    // Unused properties go; components stay; a form left without any
    // property goes.
    s.MarkAll(false);
    s.FindProperty("MainForm", "Button1", "Width")->RefreshMainValue(QVariant(80), 2);
    EXPECT_EQ(s.Forms().DeleteUnusedItems(), 3);
    ASSERT_EQ(s.Forms().Count(), 1);
    EXPECT_EQ(s.Forms().Items(0)->Components().Count(), 1);
    EXPECT_EQ(s.FindProperty("MainForm", "Button1", "Width")->MainValue()->Value(), "80");

    // Everything unused: the totals add up to every item deleted.
    s.MarkAll(false);
    const int total =
        s.Forms().DeleteUnusedItems() + s.Units().DeleteUnusedItems() + s.ExtGroups().DeleteUnusedItems();
    EXPECT_EQ(total, 1 + 2 + 1);
    EXPECT_EQ(s.Forms().Count() + s.Units().Count() + s.ExtGroups().Count(), 0);
}

// Equality and order of values by their type.
TEST(LocStorage, ValueComparisons)
{
    TLocStorage s;
    auto value = [&](TLocValueType type, const QString& text) {
        static int n = 0;
        TLocValue* v = s.AddProperty(-1, "F", "", QString("P%1").arg(++n), type)->MainValue();
        v->SetValue(text);
        return v;
    };
    struct EqualRow {
        int no;
        TLocValueType type;
        const char* text;
        QVariant other;
        bool equal;
    };
    const EqualRow equalRows[] = {
        {1, ptString, "", QVariant(), true},
        {2, ptString, "", QVariant(QString()), true},
        {3, ptString, "a", QVariant(), false},
        {4, ptFloat, "", QVariant(0.0), false}, // one empty
        {5, ptFloat, "2.50", QVariant(2.5), true},
        {6, ptFloat, "0.1", QVariant("1e-1"), true},
        {7, ptInteger, "007", QVariant(7), true},
        {8, ptInteger, "7", QVariant("8"), false},
        {9, ptString, "Abc", QVariant("abc"), false},
        {10, ptStringList, "a\r\nb", QVariant("a\r\nb"), true},
        {11, ptSet, "[a]", QVariant("[a]"), false},                 // never equal
        {12, ptString, "\xC0", QVariant(QByteArray("\xC0")), true}, // Ansi bytes in 1252
    };
    for (const EqualRow& row : equalRows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(value(row.type, QString::fromLatin1(row.text))->IsEqualTo(row.other), row.equal);
    }

    struct CompareRow {
        int no;
        TLocValueType typeA;
        const char* a;
        TLocValueType typeB;
        const char* b;
        int result;
    };
    const CompareRow compareRows[] = {
        {1, ptInteger, "10", ptInteger, "9", 1},     {2, ptFloat, "2.5", ptInteger, "3", -1},
        {3, ptString, "&Open", ptString, "Open", 0}, // "&" removed
        {4, ptString, "B", ptString, "a", -1},       // ordinal: upper case first
        {5, ptInteger, "99", ptString, "1", -1},     // numbers before texts
        {6, ptStringList, "x", ptFloat, "1", 1},     {7, ptBinary, "x", ptString, "y", 0},
    };
    for (const CompareRow& row : compareRows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(value(row.typeA, row.a)->CompareWith(*value(row.typeB, row.b)), row.result);
    }
}

TEST(LocStorage, ValueConversionsAndRefresh)
{
    TLocStorage s;
    TLocItem* item = s.AddConstant(-1, "U", "C", 0);
    TLocValue* v = item->MainValue();
    v->SetLangID(0x0419); // Russian: code page 1251
    v->SetAsAnsi(QByteArray("\xCC\xE8\xF0"));
    EXPECT_EQ(v->Value(), QString::fromUtf8("Мир"));
    EXPECT_EQ(v->AsAnsi(), QByteArray("\xCC\xE8\xF0"));
    EXPECT_EQ(v->AsUTF8(), QByteArray("\xD0\x9C\xD0\xB8\xD1\x80"));

    SetDecimalSeparator(u',');
    v->SetAsFloat(-0.25);
    EXPECT_EQ(v->Value(), "-0.25");
    EXPECT_EQ(v->AsFloat(), -0.25);
    ResetNumberSeparators();
    v->SetValue(" 12 ");
    EXPECT_EQ(v->AsInteger(), 12);
    v->SetValue("x");
    EXPECT_EQ(v->AsInteger(), 0);
    EXPECT_EQ(v->AsFloat(), 0);
    v->SetAsInt64(int64_t(1) << 40);
    EXPECT_EQ(v->AsInt64(), int64_t(1) << 40);
    v->SetValue("one\r\ntwo\nthree");
    EXPECT_EQ(v->AsStrings().ToQStringList(), QStringList({"one", "two", "three"}));

    // Refreshing changes the text and the version only when the text differs.
    v->SetValue("Old");
    v->SetValueVersion(1);
    item->RefreshMainValue(QVariant("Old"), 5);
    EXPECT_EQ(v->ValueVersion(), 1);
    EXPECT_TRUE(item->Used());
    item->RefreshMainValue(QVariant(QByteArray("\xCC")), 6); // Ansi through 1251
    EXPECT_EQ(v->Value(), QString::fromUtf8("М"));
    EXPECT_EQ(v->ValueVersion(), 6);
    item->RefreshMainValue(QVariant("New"), -1);
    EXPECT_EQ(v->Value(), "New");
    EXPECT_EQ(v->ValueVersion(), 6);

    // Item attributes are the main value's; all bits must be set.
    item->SetAttribute(lvaNeverTranslated | lvaWideText, true);
    EXPECT_TRUE(item->GetAttribute(lvaWideText));
    EXPECT_FALSE(item->GetAttribute(lvaWideText | lvaSubstituted));
    item->SetAttribute(lvaNeverTranslated, false);
    EXPECT_EQ(v->Attributes(), lvaWideText);
}

TEST(LocStorage, AllValuesAreNative)
{
    TLocStorage s;
    TLocProperty* p = s.AddProperty(-1, "F", "Edit1", "Text", ptString);
    p->MainValue()->SetValue(QString::fromUtf8("é"));
    p->MainValue()->SetLangID(0x0409);
    s.AddLanguage(0, 0x0407); // a copy: native
    s.AddLanguage(0, 0x0419); // the same text in 1251 has no é: "?" differs
    TLocComponent* component = s.Forms().Items(0)->FindComponent("Edit1");
    EXPECT_TRUE(component->AllValuesAreNative(0));
    EXPECT_TRUE(component->AllValuesAreNative(1));
    EXPECT_FALSE(component->AllValuesAreNative(2));
    p->Value(1)->SetValue("e");
    EXPECT_FALSE(component->AllValuesAreNative(1));
}
