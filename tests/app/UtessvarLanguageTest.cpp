// The hidden language button end to end, with the language files the build
// makes (copied beside a program file name of the test's own): the running
// windows, the string table and the button's question switch to the marked
// pseudo-translation and back.
#include "tests/app/AppFixture.h"

#include "localization/LocOnFly.h"
#include "localization/LocUtils.h"
#include "platform/objects/Strings.h"
#include "platform/objects/TypInfo.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QWidget>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>

namespace {

const QString kQuestion = QStringLiteral("Impostare la lingua come predefinita ?");

// Every caption, hint and list text of the running windows, by
// form.component.property.
std::map<QString, QString> Texts()
{
    std::map<QString, QString> texts;
    for (TCustomForm* form : ScreenForms()) {
        std::vector<TComponent*> components{form};
        for (int i = 0; i < form->ComponentCount(); ++i)
            components.push_back(form->Components(i));
        for (TComponent* component : components) {
            const QString key = form->Name() + u'.' + component->Name() + u'.';
            for (const char* name : {"Caption", "Hint"})
                if (const TPropInfo* prop = GetPropInfo(*component, QLatin1String(name)))
                    texts[key + QLatin1String(name)] = GetStrProp(*component, *prop);
            for (const char* name : {"Items", "Lines"})
                if (const TPropInfo* prop = GetPropInfo(*component, QLatin1String(name));
                    prop && prop->Kind() == TTypeKind::tkClass)
                    if (auto* strings = dynamic_cast<TStrings*>(GetObjectProp(*component, *prop)))
                        texts[key + QLatin1String(name)] = strings->Text();
        }
    }
    return texts;
}

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
    const std::map<QString, QString> before = Texts();
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
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Ends, 1);

    // Every stored text of a running window shows the pseudo-translation,
    // except the texts the program sets itself; the combo keeps its choice.
    const std::map<QString, QString> after = Texts();
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
    EXPECT_EQ(Texts(), before);
    EXPECT_EQ(LoadStr(964), kQuestion);
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

TEST_F(LanguageButton, WithoutTheLanguageFileReportsItAndChangesNothing)
{
    ASSERT_TRUE(QFile::remove(Folder.filePath(QStringLiteral("tessvar.BG.lng"))));
    const std::map<QString, QString> before = Texts();
    Messages->Answer(IDOK);
    Messages->Answer(IDNO);
    fTessvar->bLanguage->Click();

    ASSERT_EQ(Messages->Shown().size(), 2u);
    EXPECT_EQ(Messages->Shown()[0].Caption, QStringLiteral("Localizer Error"));
    EXPECT_EQ(Messages->Shown()[0].Text, QStringLiteral("Language \"Bulgarian\" is not found"));
    EXPECT_EQ(Messages->Shown()[0].Icon, TMsgIcon::None);
    EXPECT_EQ(Messages->Shown()[1].Text, kQuestion);
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Ends, 0);
    EXPECT_EQ(Texts(), before);
    EXPECT_EQ(LocUtils()->CurrentResModule(), kAppInstance);
    EXPECT_FALSE(QFile::exists(Folder.filePath(QStringLiteral("tessvar.BG"))));
}

} // namespace
