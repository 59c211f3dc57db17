// The hidden language button end to end, with the language files the build
// makes (copied beside a program file name of the test's own): the running
// windows, the string table and the button's question switch to the marked
// pseudo-translation and back.
#include "tests/app/AppFixture.h"

#include "localization/LocLangFile.h"
#include "localization/LocOnFly.h"
#include "localization/LocUtils.h"
#include "platform/forms/Menus.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"
#include "tests/support/WindowTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QWidget>
#include <QRegularExpression>
#include <QTemporaryDir>


namespace {

const QString kQuestion = QStringLiteral("Impostare la lingua come predefinita ?");

class LanguageButton : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(Folder.isValid());
        for (const char* name : {"tessvar.ntv.lng", "tessvar.ntv", "tessvar.BG.lng"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(TESSVAR_LANGUAGE_DIR "/") + QLatin1String(name),
                                    Folder.filePath(QLatin1String(name))));
        SetProgramFileName(Folder.filePath(QStringLiteral("tessvar")));
        InitLocalization();
        LocalizerOnFly()->OnLangSwitchStart = [this](TKLocalizerOnFly&) { ++Starts; };
        LocalizerOnFly()->OnLangSwitch = [this](TKLocalizerOnFly&, const TLFInfo&) { ++Ends; };
        StartProgram();
    }
    void TearDown() override
    {
        App.reset();
        DoneLocalization();
        SetProgramFileName(QString());
        AppTest::TearDown();
    }

    bool LocalizerErrorShown() const
    {
        for (const TMessageBoxRequest& box : Messages->Shown())
            if (box.Caption == QLatin1String("Localizer Error"))
                return true;
        return false;
    }

    // With TESSVAR_SCREENSHOTS set (see ScreenshotTest.cpp) the main window
    // is grabbed for looking at it.
    static void Grab(const char* name)
    {
        const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QCoreApplication::processEvents();
        fTessvar->Widget()->grab().save(folder + u'/' + QLatin1String(name) + QStringLiteral(".png"));
    }

    QTemporaryDir Folder;
    int Starts = 0;
    int Ends = 0;
};

TEST_F(LanguageButton, SwitchesEveryWindowToThePseudoTranslationAndBack)
{
    fTessvar->cbMA->SetItemIndex(2);
    const std::map<QString, QString> before = WindowTexts();
    Grab("language-before");
    Messages->Answer(IDNO);
    fTessvar->bLanguage->Click();
    Grab("language-after");

    ASSERT_FALSE(LocalizerErrorShown());
    ASSERT_EQ(Messages->Shown().size(), 1u);
    const TMessageBoxRequest& box = Messages->Shown()[0];
    EXPECT_EQ(box.Text, QString::fromUtf8("[Imроstаrе lа linguа соmе рrеdеfinitа ?]"));
    EXPECT_EQ(box.Caption, QString::fromUtf8("[АТТЕNТIОN]"));
    EXPECT_EQ(box.Icon, TMsgIcon::Question);
    EXPECT_EQ(box.Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(LoadStr(964), box.Text);
    EXPECT_EQ(LocalizerOnFly()->CurrentLocale(), 2u);
    // The names the pickers list, as the ISO 228 check plugs of the rings.
    EXPECT_EQ(LoadStr(54107), QString::fromUtf8("[Wеаr сhесk рlug fоr sоlid оr аdj. gо sсrеw ring]"));
    EXPECT_EQ(LoadStr(54109), QString::fromUtf8("[Nоt-gо сhесk рlug gаgе fоr nоt-gо ring gаgе]"));
    EXPECT_EQ(LoadStr(54110), QString::fromUtf8("[Wеаr сhесk рlug fоr sоlid оr аdj. nоt-gо sсrеw ring]"));
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Ends, 1);

    // Every stored text of a running window shows the pseudo-translation,
    // except the texts the program sets itself; the combo keeps its choice.
    const std::map<QString, QString> after = WindowTexts();
    int translated = 0;
    QStringList kept;
    for (const auto& [key, text] : before) {
        const QString now = after.at(key);
        if (now != text) {
            EXPECT_TRUE(now.startsWith(u'[') || now.contains(QStringLiteral("\n["))) << qPrintable(key);
            ++translated;
        } else if (text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) {
            kept << key;
        }
    }
    EXPECT_GT(translated, 100);
    // Only the texts the main window sets for the wire or T-sphere choice.
    EXPECT_EQ(kept, QStringList({"fTessvar.bFiloTeor.Caption", "fTessvar.gbFilo.Caption", "fTessvar.lFilo.Caption"}));
    EXPECT_EQ(after.at("fTessvar.fTessvar.Caption"), QString::fromUtf8("[Теssvаr]"));
    EXPECT_EQ(after.at("fTessvar.bISO.Caption"), QString::fromUtf8("[ISО]"));
    EXPECT_EQ(after.at("fTessvar.lVersion.Caption"), before.at("fTessvar.lVersion.Caption"));
    EXPECT_TRUE(after.at("fTessvar.cbMA.Items").startsWith(QString::fromUtf8("[Stееl]")));
    EXPECT_EQ(fTessvar->cbMA->ItemIndex(), 2);
    EXPECT_EQ(fTessvar->cbMA->Text(), QString::fromUtf8("[Аluminum]"));
    EXPECT_TRUE(after.at("fIsoguide.fIsoguide.Caption").startsWith(u'['));

    // The native language restores every text.
    LocalizerOnFly()->SwitchToExt(QStringLiteral("ntv"));
    EXPECT_FALSE(LocalizerErrorShown());
    EXPECT_EQ(WindowTexts(), before);
    EXPECT_EQ(LoadStr(964), kQuestion);
    EXPECT_EQ(LoadStr(54109), QStringLiteral("Not-go check plug gage for not-go ring gage"));
    EXPECT_EQ(fTessvar->cbMA->ItemIndex(), 2);
    EXPECT_FALSE(QFile::exists(SettingsFile()) && QFile(SettingsFile()).open(QIODevice::ReadOnly) &&
                 QFile(SettingsFile()).readAll().contains("language"));
}

TEST_F(LanguageButton, YesRemembersTheLanguage)
{
    WriteSettings("[Software\\Dravinel\\Tessvar]\nUnit=0\n");
    Messages->Answer(IDYES);
    fTessvar->bLanguage->Click();
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("language=")) << "no language value";
}

// A failed switch is reported once by the localizer and leaves the language
// as it was; the button then does not offer to keep a language it did not set.
TEST_F(LanguageButton, WithoutTheLanguageFileReportsItAndChangesNothing)
{
    ASSERT_TRUE(QFile::remove(Folder.filePath(QStringLiteral("tessvar.BG.lng"))));
    const std::map<QString, QString> before = WindowTexts();
    Messages->Answer(IDOK);
    fTessvar->bLanguage->Click();

    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Caption, QStringLiteral("Localizer Error"));
    EXPECT_EQ(Messages->Shown()[0].Text, QStringLiteral("Language \"Bulgarian\" is not found"));
    EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::None);
    EXPECT_EQ(LocalizerOnFly()->CurrentLocale(), 0x0409u);
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Ends, 0);
    EXPECT_EQ(WindowTexts(), before);
    EXPECT_EQ(LocUtils()->CurrentResModule(), kAppInstance);
    EXPECT_FALSE(QFile::exists(Folder.filePath(QStringLiteral("tessvar.BG"))));
}

TEST_F(LanguageButton, MenusListTheLanguagesAndSwitch)
{
    TMenuItem languages(fTessvar);
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.Init(QString());
    localizer.PopulateMenu(&languages, 1, true);
    ASSERT_EQ(languages.Count(), 2);
    EXPECT_EQ(languages.Items(0)->Caption(), "Bulgarian");
    EXPECT_EQ(languages.Items(1)->Caption(), "English (United States)");
    EXPECT_TRUE(languages.Items(1)->Checked());
    languages.Items(0)->Click();
    EXPECT_FALSE(LocalizerErrorShown());
    EXPECT_EQ(localizer.CurrentLocale(), 2u);
    EXPECT_TRUE(languages.Items(0)->Checked());
    EXPECT_FALSE(languages.Items(1)->Checked());
    EXPECT_TRUE(fTessvar->bISO->Caption().startsWith(u'['));

    // The DLL list reads the windows again from the DLL's form resources.
    TMenuItem dlls(fTessvar);
    localizer.SwitchToExt("ntv");
    LocUtils()->PopulateMenu(&dlls, 2, TLocAction::laNow);
    ASSERT_EQ(dlls.Count(), 2);
    EXPECT_TRUE(dlls.Items(0)->Checked());
    EXPECT_EQ(dlls.Items(1)->Caption(), "Bulgarian");
    dlls.Items(1)->Click();
    EXPECT_TRUE(dlls.Items(1)->Checked());
    EXPECT_TRUE(fTessvar->bISO->Caption().startsWith(u'['));
    EXPECT_TRUE(fIsoguide->Caption().startsWith(u'['));
    dlls.Items(0)->Click();
    EXPECT_EQ(fTessvar->bISO->Caption(), "ISO");
}

TEST_F(LanguageButton, UnusedDllsAreDeletedWhereTheyWereBuilt)
{
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.DeleteUnusedLDll = true;
    localizer.Init(QString());
    localizer.SwitchTo(2);
    ASSERT_TRUE(QFile::exists(Folder.filePath("tessvar.BG")));
    const QString current = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    localizer.SwitchToExt("ntv");
    QDir::setCurrent(current);
    EXPECT_FALSE(LocalizerErrorShown());
    EXPECT_FALSE(QFile::exists(Folder.filePath("tessvar.BG")));
}

TEST_F(LanguageButton, EveryPressKeepsTheWholeInterfaceInTheChosenLanguage)
{
    const std::map<QString, QString> native = WindowTexts();
    std::map<QString, QString> translated;
    int changed = 0;
    const QString question = QString::fromUtf8("[Imроstаrе lа linguа соmе рrеdеfinitа ?]");
    auto press = [&](int n) {
        Messages->Answer(IDNO);
        fTessvar->bLanguage->Click();
        ASSERT_EQ(Messages->Shown().size(), size_t(n)) << "press " << n;
        EXPECT_EQ(Messages->Shown().back().Text, question) << "press " << n;
        EXPECT_EQ(LocalizerOnFly()->CurrentLocale(), 2u) << "press " << n;
        EXPECT_EQ(LoadStr(999), QString::fromUtf8("[АТТЕNТIОN]")) << "press " << n;
    };
    press(1);
    translated = WindowTexts();
    for (const auto& [key, text] : native)
        changed += translated.at(key) != text;
    EXPECT_EQ(changed, 108);
    press(2);
    EXPECT_EQ(WindowTexts(), translated);
    press(3);
    EXPECT_EQ(WindowTexts(), translated);

    // Native, then the button again.
    ASSERT_TRUE(LocalizerOnFly()->SwitchToExt(QStringLiteral("ntv")));
    EXPECT_EQ(WindowTexts(), native);
    EXPECT_EQ(LoadStr(964), kQuestion);
    press(4);
    EXPECT_EQ(WindowTexts(), translated);
    EXPECT_FALSE(LocalizerErrorShown());
    EXPECT_EQ(Ends, 4 + 1);
}

TEST_F(LanguageButton, ADamagedNativeFileIsReportedOnceWithoutTheQuestion)
{
    QFile native(Folder.filePath(QStringLiteral("tessvar.ntv.lng")));
    ASSERT_TRUE(native.open(QIODevice::ReadWrite));
    native.write("XF"); // the signature
    native.close();
    const std::map<QString, QString> before = WindowTexts();
    Messages->Answer(IDOK);
    fTessvar->bLanguage->Click();

    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Caption, QStringLiteral("Localizer Error"));
    EXPECT_EQ(WindowTexts(), before);
    EXPECT_EQ(LoadStr(964), kQuestion);
}

// A language file none of whose records matches the program (here: one
// constant of an ID the program does not have) switches nothing; that is said,
// not passed over.
TEST_F(LanguageButton, ALanguageFileWithoutTextsOfTheProgramIsReported)
{
    const QString file = Folder.filePath(QStringLiteral("tessvar.BG.lng"));
    ASSERT_TRUE(QFile::remove(file));
    TLocStorage store;
    store.SetMainLangID(0x0409);
    store.AddConstant(900000, QStringLiteral("StringTable"), QStringLiteral("S900000"), 0)->RefreshMainValue("x", 1);
    const int index = store.AddLanguage(0, 2);
    TLangFile bulgarian(file);
    bulgarian.SetLocale(2);
    bulgarian.SetLangEnglishName(QStringLiteral("Bulgarian"));
    bulgarian.SetVersion(1);
    bulgarian.Save(&store, index, false);
    const std::map<QString, QString> before = WindowTexts();
    Messages->Answer(IDOK);
    fTessvar->bLanguage->Click();

    ASSERT_EQ(Messages->Shown().size(), 1u);
    EXPECT_EQ(Messages->Shown()[0].Caption, QStringLiteral("Localizer Error"));
    EXPECT_EQ(Messages->Shown()[0].Text,
              QStringLiteral("Language file \"%1\" holds no text of this program").arg(file));
    EXPECT_EQ(WindowTexts(), before);
    EXPECT_EQ(LocalizerOnFly()->CurrentLocale(), 0x0409u);
    EXPECT_FALSE(QFile::exists(Folder.filePath(QStringLiteral("tessvar.BG"))));
}

} // namespace
