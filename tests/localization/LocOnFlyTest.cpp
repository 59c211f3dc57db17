#include "localization/LocOnFly.h"

#include "localization/LocLangFile.h"
#include "platform/forms/Forms.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/forms/StdCtrls.h"
#include "platform/objects/Collection.h"
#include "platform/objects/Strings.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The language files of a program are named after its executable.
QString Program()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// A header-only language file (the list reads nothing else).
void WriteLanguage(const QString& path, uint32_t locale, const QString& english, const QString& native,
                   bool isNative = false, int32_t version = 1, uint32_t build = 0)
{
    TLangFile file;
    file.SetLocale(locale);
    file.SetLangEnglishName(english);
    file.SetLangLocalizedName(native);
    file.SetIsNative(isNative);
    file.SetVersion(version);
    file.SetBuild(build);
    file.SaveHeader(path);
}

std::unique_ptr<TLFInfo> Entry(TLFInfoList& list, const QString& english, uint32_t locale,
                               bool native = false)
{
    auto info = std::make_unique<TLFInfo>(&list);
    info->SetEnglishName(english);
    info->SetLocale(locale);
    info->SetNative(native);
    return info;
}

} // namespace

TEST(LocOnFly, ListOrderAndLookUps)
{
    TLFInfoList list;
    EXPECT_EQ(list.NativeIndex(), -1);
    EXPECT_EQ(list.Add(Entry(list, "Italian", 0x0410)), 0);
    EXPECT_EQ(list.Add(Entry(list, "English", 0x0409, true)), 0);
    EXPECT_EQ(list.Add(Entry(list, "italian", 0x0810)), 2); // ordinal: lower case after upper
    EXPECT_EQ(list.Add(Entry(list, "Italian", 0x0409)), 2); // after the equal name
    EXPECT_EQ(list.Add(Entry(list, "", 0x0407)), 0);

    EXPECT_EQ(list.NativeIndex(), 1);
    EXPECT_EQ(list.IndexByLocale(0x0409), 1);
    EXPECT_EQ(list.IndexByLocaleEx(0x0409, false), 3); // the translated English
    EXPECT_EQ(list.IndexByLocaleEx(0x0410, false), 2);
    EXPECT_EQ(list.IndexByLocale(0x0C0A), -1);
    list.GetItem(2)->SetFileName("p.ita.lng");
    EXPECT_FALSE(list.IsResLanguage(0x0410));
    EXPECT_TRUE(list.IsResLanguage(0x0810));
    EXPECT_FALSE(list.IsResLanguage(0x0C0A));

    TLFInfoList onlyNative;
    onlyNative.Add(Entry(onlyNative, "English", 0x0409, true));
    EXPECT_EQ(onlyNative.IndexByLocaleEx(0x0409, false), -1);
}

class LocOnFlyFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

// The scan: names matched without regard to case, unreadable files skipped,
// one entry per locale (the later file updates the earlier entry in place).
TEST_F(LocOnFlyFolder, ScanMixedCaseAndDuplicates)
{
    const QString p = Program();
    WriteLanguage(Path(p + ".ita.lng"), 0x0410, "Italian", "Italiano", false, 2, 5);
    WriteLanguage(Path(p.toUpper() + ".DEU.LNG"), 0x0407, "German", "Deutsch");
    WriteLanguage(Path(p + ".ntv.lng"), 0x0409, "English", "English", true);
    WriteLanguage(Path(p + ".zzz.lng"), 0x0410, "Zitalian", "Zitaliano", true, 3, 7);
    WriteLanguage(Path("other.fra.lng"), 0x040C, "French", "Fran\u00E7ais");
    WriteLanguage(Path(p + ".lng"), 0x040C, "French", "Fran\u00E7ais"); // no middle part
    QFile bad(Path(p + ".bad.lng"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a language file");
    bad.close();
    QDir(dir.path()).mkdir(p + ".dir.lng");

    TLFInfoList list;
    list.SetFolder(dir.path());
    EXPECT_EQ(list.FolderPath(), dir.path());
    EXPECT_EQ(list.FullPath(), QDir::cleanPath(dir.path()));
    ASSERT_EQ(list.Count(), 3);
    // Sorted by English name as added; the Italian entry keeps its place and
    // its name in itself, and takes the rest from the later file.
    EXPECT_EQ(list.GetItem(0)->EnglishName(), "English");
    EXPECT_EQ(list.GetItem(1)->EnglishName(), "German");
    EXPECT_EQ(list.GetItem(1)->FileName(), p.toUpper() + ".DEU.LNG");
    const TLFInfo* italian = list.GetItem(2);
    EXPECT_EQ(italian->EnglishName(), "Zitalian");
    EXPECT_EQ(italian->LocalizedName(), "Italiano");
    EXPECT_EQ(italian->FileName(), p + ".zzz.lng");
    EXPECT_TRUE(italian->Native());
    EXPECT_EQ(italian->Version(), 3u);
    EXPECT_EQ(italian->Build(), 7u);
    EXPECT_EQ(list.NativeIndex(), 0);
    EXPECT_EQ(list.GetItem(0)->InfoList(), &list);

    // The same folder again does not rescan; another folder adds to the list.
    WriteLanguage(Path(p + ".fra.lng"), 0x040C, "French", "Fran\u00E7ais");
    list.SetFolder(dir.path());
    EXPECT_EQ(list.IndexByLocale(0x040C), -1);
    QTemporaryDir second;
    WriteLanguage(second.filePath(p + ".esp.lng"), 0x040A, "Spanish", "Espa\u00F1ol");
    list.SetFolder(second.path());
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.GetItem(list.IndexByLocale(0x040A))->FileName(), p + ".esp.lng");
    EXPECT_EQ(list.GetItem(list.IndexByLocale(0x0407))->FileName(), p.toUpper() + ".DEU.LNG");
}

TEST_F(LocOnFlyFolder, FolderRelativeToProgramAndMissing)
{
    WriteLanguage(Path(Program() + ".ita.lng"), 0x0410, "Italian", "Italiano");
    const QString relative = QDir(QCoreApplication::applicationDirPath()).relativeFilePath(dir.path());
    TLFInfoList list;
    list.SetFolder(relative);
    EXPECT_EQ(list.FolderPath(), relative);
    EXPECT_EQ(list.FullPath(), QDir::cleanPath(dir.path()));
    EXPECT_EQ(list.Count(), 1);

    const QString missing = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/no/such/folder");
    try {
        list.SetFolder("no/such/folder");
        FAIL() << "no error";
    } catch (const ELocOnFlyError& e) {
        EXPECT_EQ(e.Message(), QString("Specified path \"%1\" does not exist").arg(missing));
    }
    EXPECT_EQ(list.FolderPath(), relative);
    EXPECT_EQ(list.Count(), 1);

    QTemporaryDir empty;
    TLFInfoList none;
    none.SetFolder(empty.path());
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.NativeIndex(), -1);
}

// --- translating running windows ---------------------------------------------------

namespace {

// A collection item with a caption and items of its own.
class TProbeItem : public TCollectionItem {
public:
    TProbeItem() : FSubs(std::make_unique<TCollection>(QStringLiteral("TProbeItem"), this)) {}
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption) { FCaption = caption; }
    TCollection* Subs() const { return FSubs.get(); }

private:
    QString FCaption;
    std::unique_ptr<TCollection> FSubs;
};

class TProbeList : public TComponent {
public:
    explicit TProbeList(TComponent* owner)
        : TComponent(owner), FItems(std::make_unique<TCollection>(QStringLiteral("TProbeItem"), this))
    {
    }
    TCollection* Items() const { return FItems.get(); }

private:
    std::unique_ptr<TCollection> FItems;
};

// The framework's notebook keeps its page captions in a string list.
class TTabbedNotebook : public TComponent {
public:
    explicit TTabbedNotebook(TComponent* owner) : TComponent(owner) {}
    TStrings* Pages() const { return FPages.get(); }

private:
    std::unique_ptr<TStrings> FPages = std::make_unique<TStrings>();
};

template <class T> T* Place(TWinControl* form, const QString& name, const QString& caption)
{
    auto* control = new T(form);
    control->SetName(name);
    control->SetParent(form);
    control->SetText(caption);
    return control;
}

// A window, and one derived from it that adds a control; each stream (and
// so each store section) holds only its own class's controls.
class TfProbeBase : public TForm {
public:
    explicit TfProbeBase(TComponent* owner) : TForm(owner)
    {
        bBase = Place<TButton>(this, "bBase", "Base");
        lBase = Place<TLabel>(this, "lBase", "Kept");
    }
    TButton* bBase;
    TLabel* lBase;
};

class TfProbeDerived : public TfProbeBase {
public:
    explicit TfProbeDerived(TComponent* owner) : TfProbeBase(owner)
    {
        SetName("fProbeDerived");
        SetText("Derived");
        bOwn = Place<TButton>(this, "bOwn", "Own");
        lList = new TProbeList(this);
        lList->SetName("lList");
        nbPages = new TTabbedNotebook(this);
        nbPages->SetName("nbPages");
    }
    TButton* bOwn;
    TProbeList* lList;
    TTabbedNotebook* nbPages;
};

void RegisterProbeWindows()
{
    RegisterFormsClasses();
    if (FindClass("TfProbeDerived"))
        return;
    TClassInfo& item = RegisterClass<TProbeItem>("TProbeItem", "TCollectionItem");
    PublishProperty(item, "Caption", TypeInfoString(), &TProbeItem::Caption, &TProbeItem::SetCaption);
    PublishProperty(item, "Subs", TypeInfoClass("TCollection"), &TProbeItem::Subs);
    TClassInfo& list = RegisterClass<TProbeList>("TProbeList", "TComponent");
    PublishProperty(list, "Items", TypeInfoClass("TCollection"), &TProbeList::Items);
    TClassInfo& notebook = RegisterClass<TTabbedNotebook>("TTabbedNotebook", "TComponent");
    PublishProperty(notebook, "Pages", TypeInfoClass("TStrings"), &TTabbedNotebook::Pages);
    RegisterClass<TfProbeBase>("TfProbeBase", "TForm");
    RegisterClass<TfProbeDerived>("TfProbeDerived", "TfProbeBase");
}

// Language files of a program "probe" in a folder of their own: the native
// texts and locale 2's, property by property (form, component, property,
// native, translated).
class SwitchingWindows : public ::testing::Test {
protected:
    struct Text {
        const char* Form;
        const char* Component;
        const char* Property;
        const char* Native;
        const char* Translated;
    };

    void SetUp() override
    {
        RegisterProbeWindows();
        SetProgramFileName(Folder.filePath("probe"));
        InitLocalization();
        LocalizerOnFly()->ErrorReaction = TErrorReaction::erException;
        LocalizerOnFly()->SoftMode = true;
    }
    void TearDown() override
    {
        DoneLocalization();
        SetProgramFileName(QString());
    }

    void WriteLanguages(const std::vector<Text>& texts)
    {
        TLocStorage store;
        store.SetMainLangID(0x0409);
        for (const Text& text : texts)
            store.AddProperty(-1, text.Form, text.Component, text.Property, ptString)
                ->RefreshMainValue(text.Native, 1);
        const int index = store.AddLanguage(0, 2);
        for (const Text& text : texts) {
            TLocValue* value = store.FindProperty(text.Form, text.Component, text.Property)->Value(index);
            value->SetValue(text.Translated);
            value->SetValueVersion(1);
        }
        TLangFile native(Folder.filePath("probe.ntv.lng"));
        native.SetLocale(0x0409);
        native.SetIsNative(true);
        native.SetVersion(1);
        native.Save(&store, 0, false);
        TLangFile bulgarian(Folder.filePath("probe.BG.lng"));
        bulgarian.SetLocale(2);
        bulgarian.SetVersion(1);
        bulgarian.Save(&store, index, false);
        LocalizerOnFly()->Init(QString());
    }

    QTemporaryDir Folder;
};

} // namespace

// The derived window's own section lacks the inherited controls; the
// ancestor's section translates them, and the own section has the last word
// where both name a control.
TEST_F(SwitchingWindows, DerivedWindowsTakeTheirAncestorsSectionsFirst)
{
    std::unique_ptr<TfProbeDerived> form(NewForm<TfProbeDerived>(nullptr));
    WriteLanguages({{"fProbeBase", "bBase", "Caption", "Base", "[Base]"},
                    {"fProbeBase", "lBase", "Caption", "Kept", "[Base's]"},
                    {"fProbeBase", "", "Caption", "Derived", "[Base form]"},
                    {"fProbeDerived", "lBase", "Caption", "Kept", "[Own]"},
                    {"fProbeDerived", "", "Caption", "Derived", "[Derived]"},
                    {"fProbeDerived", "bOwn", "Caption", "Own", "[Own button]"}});
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.SwitchTo(2);
    EXPECT_EQ(form->bBase->Caption(), "[Base]");
    EXPECT_EQ(form->lBase->Caption(), "[Own]");
    EXPECT_EQ(form->Caption(), "[Derived]");
    EXPECT_EQ(form->bOwn->Caption(), "[Own button]");
    localizer.SwitchToExt("ntv");
    EXPECT_EQ(form->bBase->Caption(), "Base");
    EXPECT_EQ(form->lBase->Caption(), "Kept");
    EXPECT_EQ(form->Caption(), "Derived");

    // A window translated on request from a store of its own takes its
    // ancestors' sections too.
    TLocStorage store;
    store.AddProperty(-1, "fProbeBase", "bBase", "Caption", ptString)->RefreshMainValue("Base", 1);
    const int index = store.AddLanguage(0, 0x0402);
    store.FindProperty("fProbeBase", "bBase", "Caption")->Value(index)->SetValue("[Base 0402]");
    store.FindProperty("fProbeBase", "bBase", "Caption")->Value(index)->SetValueVersion(1);
    localizer.ProcessFormEx(&store, form.get(), "BGR");
    EXPECT_EQ(form->bBase->Caption(), "[Base 0402]");
}

// Collection items addressed through two further "]." steps, a step past the
// items (ignored), and the notebook's page captions by page number.
TEST_F(SwitchingWindows, CollectionItemsAtAnyDepthAndNotebookPages)
{
    std::unique_ptr<TfProbeDerived> form(NewForm<TfProbeDerived>(nullptr));
    TCollection& items = *form->lList->Items();
    for (int i = 0; i < 2; ++i)
        static_cast<TProbeItem*>(items.Add())->SetCaption(QString("item %1").arg(i));
    auto* sub = static_cast<TProbeItem*>(static_cast<TProbeItem*>(items.Items(1))->Subs()->Add());
    sub->Subs()->Add();
    auto* deep = static_cast<TProbeItem*>(sub->Subs()->Add());
    deep->SetCaption("deep");
    form->nbPages->Pages()->SetText("One\nTwo\n");
    WriteLanguages({{"fProbeDerived", "lList.Items[0]", "Caption", "item 0", "[item 0]"},
                    {"fProbeDerived", "lList.Items[1].Subs[0].Subs[1]", "Caption", "deep", "[deep]"},
                    {"fProbeDerived", "lList.Items[1].Subs[3].Subs[0]", "Caption", "none", "[none]"},
                    {"fProbeDerived", "lList.Items[7]", "Caption", "none", "[none]"},
                    {"fProbeDerived", "nbPages", "TabPages2.Caption", "Two", "[Two]"},
                    {"fProbeDerived", "nbPages", "TabPages4.Caption", "Four", "[Four]"},
                    {"fProbeDerived", "nbPages", "Caption", "One", "[One]"}});
    LocalizerOnFly()->SwitchTo(2);
    EXPECT_EQ(static_cast<TProbeItem*>(items.Items(0))->Caption(), "[item 0]");
    EXPECT_EQ(static_cast<TProbeItem*>(items.Items(1))->Caption(), "item 1");
    EXPECT_EQ(deep->Caption(), "[deep]");
    EXPECT_EQ(form->nbPages->Pages()->Text(), "[One]\r\n[Two]\r\n[Four]\r\n");
}

TEST_F(SwitchingWindows, FontsTakeTheCharacterSetOfTheLanguage)
{
    std::unique_ptr<TfProbeDerived> form(NewForm<TfProbeDerived>(nullptr));
    WriteLanguages({{"fProbeDerived", "bOwn", "Caption", "Own", "[Own]"},
                    {"fProbeDerived", "", "Caption", "Derived", "[Derived]"}});
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.ProcessCharset = true;
    ASSERT_EQ(form->bOwn->Font()->Charset(), DEFAULT_CHARSET);
    // Bulgarian writes in code page 1251 (RUSSIAN_CHARSET 204), English in
    // 1252 (ANSI_CHARSET 0).
    localizer.SwitchTo(2);
    EXPECT_EQ(form->bOwn->Font()->Charset(), 204);
    EXPECT_EQ(form->Font()->Charset(), 204);
    for (TFont* font : {Screen()->HintFont(), Screen()->MenuFont(), Screen()->IconFont()})
        EXPECT_EQ(font->Charset(), 204);
    localizer.SwitchToExt("ntv");
    EXPECT_EQ(form->bOwn->Font()->Charset(), ANSI_CHARSET);
    for (TFont* font : {Screen()->HintFont(), Screen()->MenuFont(), Screen()->IconFont()})
        EXPECT_EQ(font->Charset(), ANSI_CHARSET);
}

// A resource-string record answers by its string ID; an identifier of
// 0x10000 or more names no string-table entry and answers "" even where its
// low 16 bits are a string's ID.
TEST_F(SwitchingWindows, ResourceStringsByRecord)
{
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    const TResStringRec hello{kProgramModule, 5};
    const TResStringRec notAnId{kProgramModule, 0x10005};
    for (const TResStringRec& record : {hello, notAnId})
        EXPECT_THROW(localizer.RSValue(2, record), ELocOnFlyError) << record.Identifier;

    TLocStorage store;
    store.SetMainLangID(0x0409);
    store.AddConstant(-1, "Texts", "SHello", 5)->RefreshMainValue("Hello", 1);
    const int index = store.AddLanguage(0, 2);
    store.FindConstant("Texts", "SHello")->RefreshValue(index, "Zdravei", 1);
    TLangFile native(Folder.filePath("probe.ntv.lng"));
    native.SetLocale(0x0409);
    native.SetIsNative(true);
    native.Save(&store, 0, false);
    TLangFile bulgarian(Folder.filePath("probe.BG.lng"));
    bulgarian.SetLocale(2);
    bulgarian.Save(&store, index, false);
    localizer.Init(QString());

    EXPECT_EQ(localizer.RSValue(2, hello), "Zdravei");
    EXPECT_EQ(localizer.RSValue(0x0409, hello), "Hello");
    EXPECT_EQ(localizer.RSValue(2, TResStringRec{kProgramModule, 6}), "");
    EXPECT_EQ(localizer.RSValue(2, notAnId), "");
    EXPECT_EQ(localizer.RSValue(2, TResStringRec{kProgramModule, 0xFFFFFFFF}), "");
}
