// Every window of the program, created in the program's start-up order,
// switched to the build's pseudo-translation by the main window's hidden
// language button and back: each text a window stores is translated, except
// the texts the program sets while it runs, and each comes back.
#include "app/Uisoguide.h"
#include "app/Uplvzero.h"
#include "app/Uqfili.h"
#include "app/Utessvar.h"
#include "gauges/Ucalibreselect.h"
#include "gauges/Ucalibreselect2.h"
#include "gauges/Ugasselclass.h"
#include "gauges/Ugaugesclasses.h"
#include "gauges/Uinstol.h"
#include "gauges/Uinsuns.h"
#include "gauges/Unpdia.h"
#include "gauges/Uprocess.h"
#include "gauges/Utwbr.h"
#include "gauges/Utwsca.h"
#include "gauges/Utwwhitworth.h"
#include "gauges/Uwansiasme1.h"
#include "localization/LocOnFly.h"
#include "localization/PEResourceImage.h"
#include "platform/forms/MessageService.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"
#include "resources/ProgramResources.h"
#include "tests/support/WindowTexts.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(LanguageSwitch, TranslatesEveryWindowOfTheProgram)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"tessvar.ntv.lng", "tessvar.ntv", "tessvar.BG.lng"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(TESSVAR_LANGUAGE_DIR "/") + QLatin1String(name),
                                folder.filePath(QLatin1String(name))));
    SetProgramFileName(folder.filePath("tessvar"));
    QDir(ProgramDataRoot() + QStringLiteral("/Dravinel")).removeRecursively();
    InitProgramResources(ProgramResourceImageBytes());
    InitLocalization();
    RegisterGaugesClasses();
    TScriptedMessages messages;
    {
        auto app = std::make_unique<TApplication>();
        app->CreateForm(fTessvar);
        app->CreateForm(fCalibreSelect);
        app->CreateForm(fProcess);
        app->CreateForm(fInsTol);
        app->CreateForm(fInsUNS);
        app->CreateForm(fwAnsiAsme1);
        app->CreateForm(fNPDia);
        app->CreateForm(fGasSelClass);
        app->CreateForm(fTwSCA);
        app->CreateForm(fTwWhitworth);
        app->CreateForm(fTwBR);
        app->CreateForm(fIsoguide);
        app->CreateForm(fCalibreSelect2);
        app->CreateForm(fQfili);
        app->CreateForm(fplvZero);
        const std::map<QString, QString> before = WindowTexts();
        messages.Answer(IDNO);
        fTessvar->bLanguage->Click();
        ASSERT_EQ(messages.Shown().size(), 1u);
        EXPECT_NE(messages.Shown()[0].Caption, "Localizer Error") << qPrintable(messages.Shown()[0].Text);

        const std::map<QString, QString> after = WindowTexts();
        QStringList kept;
        QStringList forms;
        for (const auto& [key, text] : before) {
            if (after.at(key) != text)
                forms << key.section(u'.', 0, 0);
            else if (text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
                kept << key;
        }
        forms.removeDuplicates();
        EXPECT_EQ(forms.size(), 15) << qPrintable(forms.join(u' '));
        // What the windows set themselves, as the language tool's exclusions
        // name it.
        for (const QString& key : kept)
            EXPECT_TRUE(key.startsWith("fTessvar.gbFilo.") || key.startsWith("fTessvar.bFiloTeor.") ||
                        key.startsWith("fTessvar.lFilo.") || key.contains(".bCal") || key.contains(".lType") ||
                        key.contains(".rT") || key.startsWith("fTwSCA.lDiameter.") ||
                        key.startsWith("fInsTol.lSupInf.") || key.startsWith("fProcess.") ||
                        key.startsWith("fTwWhitworth.rNormalFree.") || key.contains(".lNormLabel.") ||
                        key.startsWith("fCalibreSelect.fCalibreSelect.") ||
                        key.startsWith("fCalibreSelect2.fCalibreSelect2."))
                << qPrintable(key + " = " + before.at(key));

        LocalizerOnFly()->SwitchToExt("ntv");
        EXPECT_EQ(WindowTexts(), before);
        EXPECT_EQ(messages.Shown().size(), 1u);
    }
    DoneLocalization();
    SetProgramFileName(QString());
    ResetResourceModule();
}

} // namespace
