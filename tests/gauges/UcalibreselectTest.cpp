#include "gauges/Ucalibreselect.h"
#include "gauges/Ucalibreselect2.h"
#include "tests/gauges/GaugesFixture.h"

#include <QLabel>
#include <QTest>

namespace {

class UcalibreselectTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        FillTypeCatalogue(fTessvar->TypeCatalogue);
        Picker.reset(NewForm<TfCalibreSelect>(nullptr));
        Workpiece.reset(NewForm<TfCalibreSelect2>(nullptr));
    }
    void TearDown() override
    {
        Workpiece.reset();
        Picker.reset();
        GaugesTest::TearDown();
    }

    // Shows a picker for a family (its OnShow builds the groups).
    static void ShowFor(TfCalibreSelect* picker, int family)
    {
        picker->Hide();
        fTessvar->CurrentType.Family = family;
        picker->Show();
    }
    static int Shown(const std::vector<TButton*>& buttons)
    {
        int count = 0;
        for (const TButton* button : buttons)
            count += button->Visible();
        return count;
    }

    TFormPtr<TfCalibreSelect> Picker;
    TFormPtr<TfCalibreSelect2> Workpiece;
};

TEST_F(UcalibreselectTest, TypesOfAGroupAreListedStepByStep)
{
    ShowFor(Picker.get(), 0);
    QTest::mouseClick(Picker->GroupLabels[3]->LabelWidget(), Qt::LeftButton); // a cloned label
    EXPECT_EQ(fTessvar->CurrentType.Group, 3);
    const auto& types = Picker->TypeButtons;
    ASSERT_EQ(types.size(), 16u);
    EXPECT_EQ(types.front()->Caption(), "Go thread ring gage");
    EXPECT_EQ(types.back()->Caption(), "Setting plug for not-go caliper gage");
    for (size_t i = 1; i < types.size(); ++i)
        EXPECT_EQ(types[i]->Top() - types[i - 1]->Top(), 28) << i;
    EXPECT_EQ(Picker->lNormLabel->Caption(), "ISO 1502");
    // Only the chosen group's label takes the selected colour.
    EXPECT_EQ(Picker->GroupLabels[3]->Color(), Picker->SelectedColour);
    EXPECT_EQ(Picker->GroupLabels[0]->Color(), Picker->PlainColour);
    EXPECT_NE(Picker->SelectedColour, Picker->PlainColour);

    // A cloned type button chooses its item and closes the window with OK.
    Picker->Hide();
    QTimer::singleShot(0, [this] {
        EXPECT_EQ(fTessvar->CurrentType.Group, 0); // showing starts at group 0
        Picker->bType1Click(Picker->GroupButtons[3]);
        Picker->TypeButtons[15]->Click();
    });
    EXPECT_EQ(Picker->ShowModal(), mrOk);
    EXPECT_EQ(fTessvar->CurrentType.Group, 3);
    EXPECT_EQ(fTessvar->CurrentType.Item, 15);
}

TEST_F(UcalibreselectTest, GroupsOfTheFamilies)
{
    ShowFor(Picker.get(), 1);
    const auto& groups = Picker->GroupButtons;
    ASSERT_EQ(groups.size(), 8u);
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i]->Top(), 7 + 64 * int(i));
        EXPECT_EQ(Picker->GroupLabels[i]->Caption(), LoadStr(710 + int(i)));
        EXPECT_GT(groups[i]->Glyph()->Width(), 0) << i; // the group's picture
    }
    Picker->bType1Click(Picker->GroupButtons[2]);
    EXPECT_EQ(Picker->lNormLabel->Caption(), "ANSI/ASME B1.2");
    EXPECT_FALSE(Picker->cTolUsa->Visible());

    ShowFor(Picker.get(), 0);
    EXPECT_EQ(Picker->GroupButtons.size(), 4u);
    ShowFor(Picker.get(), 4);
    EXPECT_EQ(Picker->GroupButtons.size(), 2u);
    EXPECT_EQ(Picker->GroupLabels.size(), 2u);
    EXPECT_EQ(Picker->lNormLabel->Caption(), "ISO 7");

    // Special group 4 ("Go gage") has no types: no type button shows.
    ShowFor(Picker.get(), 3);
    ASSERT_EQ(Picker->GroupButtons.size(), 5u);
    Picker->bType1Click(Picker->GroupButtons[4]);
    EXPECT_EQ(Shown(Picker->TypeButtons), 0);
    EXPECT_EQ(Picker->lNormLabel->Caption(), "");
    Picker->bType1Click(Picker->GroupButtons[0]);
    EXPECT_EQ(Shown(Picker->TypeButtons), 6);

    // Hiding deletes the clones.
    Picker->Hide();
    EXPECT_EQ(Picker->GroupButtons.size(), 2u);
    EXPECT_EQ(Picker->TypeButtons.size(), 2u);
}

TEST_F(UcalibreselectTest, AnsiRulesOptionOnlyForIsoWithTheSetting)
{
    fTessvar->UsaUsaFlag = true;
    ShowFor(Picker.get(), 0);
    EXPECT_TRUE(Picker->cTolUsa->Visible());
    ShowFor(Picker.get(), 1);
    EXPECT_FALSE(Picker->cTolUsa->Visible());
    fTessvar->UsaUsaFlag = false;
    ShowFor(Picker.get(), 0);
    EXPECT_FALSE(Picker->cTolUsa->Visible());
}

TEST_F(UcalibreselectTest, WorkpieceModeOffersOneButton)
{
    ShowFor(Workpiece.get(), 1);
    ASSERT_EQ(Workpiece->GroupLabels.size(), 4u);
    EXPECT_EQ(Workpiece->GroupLabels[3]->Caption(), "Thread shaft - external UN/UNR");
    for (int group = 0; group < 4; ++group) {
        Workpiece->bType1Click(Workpiece->GroupLabels[size_t(group)]);
        ASSERT_EQ(Workpiece->TypeButtons.size(), 1u);
        EXPECT_EQ(Workpiece->bCal1->Caption(), "Calculate Workpiece Tolerance");
        EXPECT_FALSE(Workpiece->bCal2->Visible());
    }
    Workpiece->Hide();
    fTessvar->CurrentType.Item = 7;
    QTimer::singleShot(0, [this] {
        Workpiece->bType1Click(Workpiece->GroupButtons[1]);
        Workpiece->bCal1->Click();
    });
    EXPECT_EQ(Workpiece->ShowModal(), mrOk);
    EXPECT_EQ(fTessvar->CurrentType.Group, 1);
    EXPECT_EQ(fTessvar->CurrentType.Item, 0);
}

} // namespace
