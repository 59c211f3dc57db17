// Every window of the program, created in the program's start-up order,
// switched to the build's pseudo-translation by the main window's hidden
// language button and back: each text a window stores is translated, except
// the texts the program sets while it runs, and each comes back. The same
// requests give the same numbers before and after the switch.
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
#include "gauges/Uprocesslayout.h"
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
#include "tests/gauges/ProcessRoad.h"
#include "tests/support/WindowTexts.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The build's language files beside a program file name in folder.
void PlaceProgramWithLanguages(const QTemporaryDir& folder)
{
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"tessvar.ntv.lng", "tessvar.ntv", "tessvar.BG.lng"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(TESSVAR_LANGUAGE_DIR "/") + QLatin1String(name),
                                folder.filePath(QLatin1String(name))));
    SetProgramFileName(folder.filePath("tessvar"));
}

TEST(LanguageSwitch, TranslatesEveryWindowOfTheProgram)
{
    QTemporaryDir folder;
    PlaceProgramWithLanguages(folder);
    ASSERT_FALSE(HasFatalFailure());
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

// The requests of a user, in English and then in the pseudo-translation,
// where the unit lists read "[mm]" and "[inсh]" and the class and kind
// buttons are bracketed too.
class TranslatedRequestTest : public ProcessRoadTest {
protected:
    void SetUp() override
    {
        PlaceProgramWithLanguages(Folder);
        ASSERT_FALSE(HasFatalFailure());
        InitLocalization();
        ProcessRoadTest::SetUp();
    }
    void TearDown() override
    {
        ProcessRoadTest::TearDown();
        DoneLocalization();
        SetProgramFileName(QString());
    }

    void Translate()
    {
        Messages->Answer(IDNO);
        fTessvar->bLanguage->Click();
        ASSERT_EQ(LocalizerOnFly()->CurrentLocale(), 2u);
        ASSERT_EQ(fProcess->cUnit->Items()->Strings(0), "[mm]");
        Messages->Service().Shown.clear();
    }

    // The designation and the texts of a process window's lengths, then the
    // same once its unit list has chosen its other item.
    static QString Shown(TCustomForm* window, int unit)
    {
        QStringList shown;
        for (int pass = 0; pass < 2; ++pass) {
            shown << RequireOwned<TEdit>(window, QStringLiteral("dbDesignazione"))->Text();
            for (const char* name : ProcessBoundEdits)
                shown << RequireOwned<TEdit>(window, QLatin1String(name))->Text().trimmed();
            SetUnit(RequireOwned<TComboBox>(window, QStringLiteral("cUnit")), 1 - unit);
        }
        return shown.join(u'|');
    }

    // ISO Go thread ring gauge 10 x 1.5 6g, or its bolt in the workpiece
    // window, typed in the unit of the item.
    QString IsoRing(int unit, bool workpiece = false)
    {
        TfCalibreSelect* picker = workpiece ? fCalibreSelect2 : fCalibreSelect;
        TCustomForm* window = workpiece ? static_cast<TCustomForm*>(fProcess2) : fProcess;
        const TProcessControls& c = dynamic_cast<TProcessWindow&>(*window).ProcessControls();
        (workpiece ? fTessvar->rWorkpiece : fTessvar->rCalibri)->SetChecked(true);
        QString shown;
        Road([] { Click(fTessvar->bISO); },
             {{picker, Pick(picker, 3, 0)},
              {window,
               [&c, window, unit] {
                   SetUnit(RequireOwned<TComboBox>(window, QStringLiteral("cUnit")), unit);
                   const double scale = unit == 0 ? 1 : 25.4;
                   Type(c.dNominale, FloatToStr(10 / scale));
                   Type(c.dPasso, FloatToStr(1.5 / scale));
                   Press(c.sbCalcTol);
               }},
              {fInsTol,
               [] {
                   fInsTol->rToll->SetChecked(true);
                   fInsTol->eToll->SetText("6g");
                   Click(fInsTol->bOk);
               }},
              {window, [&shown, window, unit] {
                   shown = Shown(window, unit);
                   window->SetModalResult(mrCancel);
               }}});
        return shown;
    }

    // Whitworth S Go plug: 1 in typed in inch (item 0) or 25.4 in mm
    // (item 1) with 20 tpi, class close; the window shows inch first.
    QString WhitworthFree(int unit)
    {
        QString shown;
        Gauge(
            fTessvar->bWhitworth, 0, 0, [] {},
            {{fTwWhitworth,
              [unit] {
                  TfTwWhitworth* s = fTwWhitworth;
                  Check(s->rTWS);
                  Click(s->bNext);
                  Type(s->eD, unit == 0 ? "1" : "25.4");
                  SetUnit(s->cInch, unit);
                  Type(s->eTPI, "20");
                  Click(s->bNext);
                  Check(s->rClose);
                  Click(s->bNext);
              }}},
            [&shown] { shown = Shown(fProcess, 1); });
        return shown;
    }

    // BSW 1 1/8 in (the 14th size), class medium: the size and series are
    // named by the buttons, which a language file translates.
    QString WhitworthTableSize()
    {
        QString shown;
        Gauge(
            fTessvar->bWhitworth, 0, 0, [] {},
            {{fTwWhitworth,
              [] {
                  TfTwWhitworth* s = fTwWhitworth;
                  Check(s->rTBSW);
                  Click(s->bNext);
                  Check(s->rBSW[13]);
                  Click(s->bNext);
                  Check(s->rMedium);
                  Click(s->bNext);
              }}},
            [&shown] { shown = Shown(fProcess, 1); });
        return shown;
    }

    QTemporaryDir Folder;
};

TEST_F(TranslatedRequestTest, IsoRingGaugeAndItsBoltGiveTheSameLimitsInBothUnits)
{
    const QString mm = IsoRing(0);
    const QString inch = IsoRing(1);
    EXPECT_TRUE(mm.startsWith("M 10 X 1.5|+010.000.0|+001.500.0|+008.994.7|")) << qPrintable(mm);
    EXPECT_TRUE(inch.startsWith("M 10 X 1.5|+00.393700|")) << qPrintable(inch);

    const QString bolt = IsoRing(0, true);
    EXPECT_TRUE(bolt.startsWith("M 10 X 1.5|+010.000.0|")) << qPrintable(bolt);
    EXPECT_TRUE(Messages->Shown().empty());

    Translate();
    EXPECT_EQ(IsoRing(0).toStdString(), mm.toStdString());
    EXPECT_EQ(IsoRing(1).toStdString(), inch.toStdString());
    EXPECT_EQ(IsoRing(0, true).toStdString(), bolt.toStdString());
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(TranslatedRequestTest, WhitworthSizesGiveTheSameDesignationAndLimits)
{
    const QString english = QStringLiteral("1 in - 20 Whitworth S (Close)");
    const QString inch = WhitworthFree(0);
    EXPECT_TRUE(inch.startsWith(english + "|+01.000000|+00.050000|+00.968600|")) << qPrintable(inch);
    EXPECT_EQ(WhitworthFree(1).toStdString(), inch.toStdString());
    EXPECT_TRUE(Messages->Shown().empty());

    const QString table = WhitworthTableSize();
    EXPECT_TRUE(table.startsWith("1 1/8 in - 7 BSW (Medium)|")) << qPrintable(table);

    // The designation is the standard's name of the thread: neither its
    // numbers nor its words follow the translated captions.
    Translate();
    ASSERT_NE(fTwWhitworth->rTWS->Caption(), "Whitworth S");
    EXPECT_EQ(WhitworthFree(0).toStdString(), inch.toStdString());
    EXPECT_EQ(WhitworthFree(1).toStdString(), inch.toStdString());
    EXPECT_EQ(WhitworthTableSize().toStdString(), table.toStdString());
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
