// The main window's start-up, settings, modes, unit switch and family
// buttons, with the program's windows created as the program creates them.
#include "tests/app/AppFixture.h"

#include "app/core/Unan.h"
#include "platform/os/VersionInfo.h"

#include <QFile>

#include <cmath>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Start = AppTest;

TEST_F(Start, WithoutSettingsTheDefaultsHold)
{
    StartProgram();
    EXPECT_FALSE(fTessvar->UsaUsaFlag);
    EXPECT_FALSE(fTessvar->cPreview->Checked()); // the form has it checked
    EXPECT_TRUE(fTessvar->rMM->Checked());
    EXPECT_EQ(fTessvar->MainDisplay.GetUnit(), 0);
    EXPECT_EQ(fTessvar->LengthList.Readout().GetUnit(), 0);
    EXPECT_EQ(fTessvar->pTab->ActivePageIndex(), 0);
    EXPECT_TRUE(Messages->Shown().empty());
    // Reading creates no file; closing writes both values.
    EXPECT_FALSE(QFile::exists(SettingsFile()));
    fTessvar->Close();
    EXPECT_EQ(ReadAll(SettingsFile()), "[Software\\Dravinel\\Tessvar]\r\nPreview=0\r\nUnit=0\r\n");
}

TEST_F(Start, StoredSettingsAreReadAndWrittenBack)
{
    WriteSettings("[Software\\Dravinel\\Tessvar]\nUsaUsa=1\nPreview=1\nUnit=1\nlanguage=2.5\n");
    StartProgram();
    EXPECT_TRUE(fTessvar->UsaUsaFlag);
    EXPECT_TRUE(fTessvar->cPreview->Checked());
    EXPECT_TRUE(fTessvar->rINCH->Checked());
    EXPECT_FALSE(fTessvar->rMM->Checked());
    EXPECT_EQ(fTessvar->MainDisplay.GetUnit(), 1);

    fTessvar->cPreview->SetChecked(false);
    fTessvar->rMM->SetChecked(true);
    ClickButton(fTessvar->bExit);
    EXPECT_TRUE(App->Terminated());
    const QByteArray ini = ReadAll(SettingsFile());
    EXPECT_TRUE(ini.contains("Preview=0") && !ini.contains("Preview=1")) << ini.constData();
    EXPECT_TRUE(ini.contains("Unit=0") && !ini.contains("Unit=1")) << ini.constData();
    EXPECT_TRUE(ini.contains("UsaUsa=1")) << ini.constData();
}

TEST_F(Start, TheBoundEditsStartEmptyAndFollowTheUnit)
{
    WriteSettings("[Software\\Dravinel\\Tessvar]\nUnit=1\n");
    StartProgram();
    ASSERT_EQ(fTessvar->LengthList.Count(), 18);
    for (TEdit* edit :
         {fTessvar->eTD, fTessvar->eCP, fTessvar->eAD, fTessvar->eRead, fTessvar->eReadNP, fTessvar->eResult,
          fTessvar->eResultNP, fTessvar->eFiloTeor, fTessvar->eTsupP, fTessvar->eTsupNP, fTessvar->eTinfP,
          fTessvar->eTinfNP, fTessvar->eLung1, fTessvar->eLungStd1, fTessvar->eDlung1, fTessvar->eLung2,
          fTessvar->eLungStd2, fTessvar->eDlung2}) {
        EXPECT_EQ(edit->Text(), "") << edit->Name().toStdString();
        EXPECT_TRUE(std::isnan(Value(edit))) << edit->Name().toStdString();
    }
    EXPECT_EQ(fTessvar->eNP->Text(), "1"); // not a length: keeps the form's text

    // Typed in inch, kept in mm, shown in either unit (readout formats: inch
    // resolution 0 "%02d.%05ld%1ld", mm resolution 0 "%03ld.%03ld.%1ld").
    Type(fTessvar->eTD, "1");
    EXPECT_DOUBLE_EQ(Value(fTessvar->eTD), 25.4);
    fTessvar->LengthList.SetValue(NumberEditOf(fTessvar->eCP), 1.5);
    fTessvar->rMM->SetChecked(true);
    EXPECT_EQ(fTessvar->eTD->Text(), "  +025.400.0");
    EXPECT_EQ(fTessvar->eCP->Text(), "  +001.500.0");
    fTessvar->rINCH->SetChecked(true);
    EXPECT_EQ(fTessvar->eTD->Text(), "  +01.000000");
    EXPECT_EQ(fTessvar->MainDisplay.GetUnit(), 1);
    EXPECT_DOUBLE_EQ(Value(fTessvar->eTD), 25.4); // switching twice loses nothing
}

TEST_F(Start, ShowSetsUpOnceAndFillsTheCatalogue)
{
    StartProgram();
    EXPECT_EQ(fTessvar->TypeCatalogue.Count(), GaugeTypeCount);
    EXPECT_EQ(fTessvar->lVersion->Caption(), ProgramVersionText());
    EXPECT_FALSE(fTessvar->VersionText.isEmpty());
    EXPECT_EQ(fTessvar->cEnd->ItemIndex(), 3); // mm to inches
    EXPECT_EQ(fTessvar->cEndM->ItemIndex(), 2);
    EXPECT_EQ(fTessvar->eCoExp1->Text(), "11.5");

    // Hidden and shown again (restored): nothing is set up a second time.
    fTessvar->cbMA->SetItemIndex(3);
    fTessvar->cEnd->SetItemIndex(1);
    fTessvar->Hide();
    fTessvar->Show();
    EXPECT_EQ(fTessvar->cbMA->ItemIndex(), 3);
    EXPECT_EQ(fTessvar->cEnd->ItemIndex(), 1);
    EXPECT_EQ(fTessvar->TypeCatalogue.Count(), GaugeTypeCount);
}

TEST_F(Start, WorkpieceModeHidesGas)
{
    StartProgram();
    EXPECT_TRUE(fTessvar->bGAS->Visible());
    EXPECT_FALSE(fTessvar->bSCA->Visible());
    EXPECT_FALSE(fTessvar->bLanguage->Visible());
    fTessvar->rWorkpiece->SetChecked(true);
    EXPECT_FALSE(fTessvar->bGAS->Visible());
    EXPECT_FALSE(fTessvar->rCalibri->Checked());
    fTessvar->rCalibri->SetChecked(true);
    EXPECT_TRUE(fTessvar->bGAS->Visible());
}

TEST_F(Start, ThePicturesComeFromTheResources)
{
    // The first page's picture at once, the others' when their page shows.
    CreateWindows();
    EXPECT_FALSE(fTessvar->imgTolerance->Picture()->Empty());
    EXPECT_FALSE(fplvZero->iBack->Picture()->Empty());
    fTessvar->pTab->SetActivePageIndex(1);
    fTessvar->pTab->SetActivePageIndex(3);
    for (TImage* image : {fTessvar->imgTolerance, fTessvar->img3Wire, fTessvar->imgStaffe,
                          fTessvar->imgTsphere, fTessvar->imgThermal, fplvZero->iBack}) {
        EXPECT_FALSE(image->Picture()->Empty()) << image->Name().toStdString();
    }
}

// --- Family buttons -----------------------------------------------------

// Stand-ins for the pickers and process windows, found by their names.
class FamilyButtons : public AppTest {
protected:
    TForm* Window(const char* name)
    {
        auto* window = new TForm(App.get());
        window->SetName(QString::fromLatin1(name));
        return window;
    }
};

TEST_F(FamilyButtons, WithoutPickersTheButtonsEndQuietly)
{
    StartProgram();
    ClickButton(fTessvar->bWhitworth);
    EXPECT_EQ(fTessvar->CurrentType.Family, 6);
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(FamilyButtons, ThePickedTypeIsLookedUpAndItsProcessWindowShown)
{
    StartProgram();
    TForm* picker = Window("fCalibreSelect");
    TForm* process = Window("fProcess");
    TForm* workpiecePicker = Window("fCalibreSelect2");
    TForm* workpieceProcess = Window("fProcess2");
    auto pick = [](int group, int item) {
        return [group, item] {
            fTessvar->CurrentType.Group = group;
            fTessvar->CurrentType.Item = item;
        };
    };

    // 1: GAS, group 1 item 2 is key 4102 (catalogue row "GS-TD").
    bool processShown = false;
    EXPECT_TRUE(WhileModal(
        picker, [&] { processShown = WhileModal(process, [&] { ClickButton(fTessvar->bGAS); }); },
        pick(1, 2)));
    EXPECT_EQ(picker->Caption(), "GAS"); // string-table text 804
    EXPECT_TRUE(processShown);
    EXPECT_EQ(fTessvar->CurrentType.Family, 4);
    EXPECT_EQ(fTessvar->CurrentType.Code, "GS-TD");

    // 2: a cancelled picker opens no process window.
    EXPECT_TRUE(WhileModal(
        picker, [&] { processShown = WhileModal(process, [&] { ClickButton(fTessvar->bISO); }); }, pick(2, 0),
        mrCancel));
    EXPECT_FALSE(processShown);

    // 3: a key missing from the catalogue (ISO 316) opens none either.
    EXPECT_TRUE(WhileModal(
        picker, [&] { processShown = WhileModal(process, [&] { ClickButton(fTessvar->bISO); }); },
        pick(3, 16)));
    EXPECT_FALSE(processShown);

    // 4: workpiece mode goes through the workpiece windows.
    fTessvar->rWorkpiece->SetChecked(true);
    EXPECT_TRUE(WhileModal(
        workpiecePicker,
        [&] { processShown = WhileModal(workpieceProcess, [&] { ClickButton(fTessvar->bBUTTRESS); }); },
        pick(0, 1)));
    EXPECT_EQ(workpiecePicker->Caption(), "BUTTRESS");
    EXPECT_TRUE(processShown);
    EXPECT_EQ(fTessvar->CurrentType.Code, "BTF-NP");
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
