#include "gauges/Uwansiasme1.h"
#include "app/core/Ucalibretype.h"
#include "calc/Utansiasme.h"
#include "gauges/Uinsuns.h"
#include "platform/forms/MessageService.h"
#include "tests/gauges/WizardTest.h"

#include <vector>

namespace {

class InchWizardTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Wizard.reset(NewForm<TfwAnsiAsme1>(nullptr));
        fwAnsiAsme1 = Wizard.get();
    }
    void TearDown() override
    {
        fwAnsiAsme1 = nullptr;
        Wizard.reset();
        GaugesTest::TearDown();
    }

    // The request of a gauge of the ANSI/ASME thread groups.
    void ForGauge(int group, int item)
    {
        Wizard->InchThread.GaugeType.Group = group;
        Wizard->InchThread.GaugeType.Item = item;
    }
    int Page() const { return Wizard->PageControl1->ActivePageIndex(); }
    static std::vector<QString> Shown(const TWizardButtonList& list)
    {
        std::vector<QString> captions;
        for (const TRadioButton* button : list) {
            if (button->Visible())
                captions.push_back(button->Caption());
        }
        return captions;
    }
    // From the type page to the fraction page of a diameter group.
    void ToFractions(int group)
    {
        if (Page() == TfwAnsiAsme1::PageType)
            Press(Wizard->bNext);
        Pick(Wizard->rD[group]);
        Press(Wizard->bNext);
    }
    // On to the pitch page with the size at index of the group.
    void ToPitches(int group, int index)
    {
        ToFractions(group);
        Pick(Wizard->FractionButtonList[index]);
        Press(Wizard->bNext);
    }

    TFormPtr<TfwAnsiAsme1> Wizard;
};

// Every size and pitch of the wizard's unified table typed as a UNS thread,
// for every UNS gauge type and class: computed, none refused as a pitch
// too large for its diameter.
TEST_F(InchWizardTest, EverySizeOfTheTableComputesAsUns)
{
    TScriptedMessages messages;
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    int computed = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE& type = *list.At(i);
        if (type.Family != 1 || (type.Group != 2 && type.Group != 3))
            continue;
        for (const TUnifiedSize& size : UnifiedSizeTable) {
            std::vector<double> pitches{size.Coarse, double(size.Fine), double(size.ExtraFine)};
            for (int constant : size.Constant)
                pitches.push_back(constant);
            for (double tpi : pitches) {
                if (tpi == 0)
                    continue;
                for (int toleranceClass = 0; toleranceClass <= 2; ++toleranceClass) {
                    INCHTHREAD request;
                    request.GaugeType = type;
                    TCalcText d, a, p, designation, tolerance, classText;
                    TOLLERANCE r;
                    ClearToleranceRecord(r);
                    const TUnsEntry entry{QString::number(size.D, 'g', 17), QString::number(tpi),
                                          toleranceClass};
                    EXPECT_TRUE(CalcUnsSpecial(request, entry, d, a, p, designation, tolerance, classText,
                                               false, r, false))
                        << type.Key() << " " << size.D << "-" << tpi;
                    ++computed;
                }
            }
        }
    }
    EXPECT_GT(computed, 1000);
    EXPECT_TRUE(messages.Shown().empty()) << messages.Shown().front().Text.toStdString();
}

TEST_F(InchWizardTest, SizeTableRowsAndGroups)
{
    for (int row = 0; row < UnifiedSizeCount; ++row) {
        const TUnifiedSize& size = UnifiedSizeTable[row];
        const int group = size.Group;
        EXPECT_GE(row, UnifiedGroupFirstRow[group]) << row;
        if (group + 1 < UnifiedGroupCount) {
            EXPECT_LT(row, UnifiedGroupFirstRow[group + 1]) << row;
        }
        if (row > 0) {
            EXPECT_GT(size.D, UnifiedSizeTable[row - 1].D) << row;
        }
        if (size.Denominator == 1) {
            EXPECT_EQ(size.D, double(group)) << row;
        }
    }
}

TEST_F(InchWizardTest, FractionsAndPitchesOfTheSizes)
{
    ForGauge(3, 0);
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        ToFractions(0);
        const std::vector<QString> group0 = Shown(Wizard->FractionButtonList);
        ASSERT_EQ(group0.size(), 22u);
        EXPECT_EQ(group0[0], "#0");
        EXPECT_EQ(group0[9], "#12");
        EXPECT_EQ(group0[10], "1/4");
        EXPECT_EQ(group0[21], "15/16");

        Press(Wizard->bBack);
        ToFractions(1);
        EXPECT_EQ(Shown(Wizard->FractionButtonList).front(), "0");
        Press(Wizard->bBack);
        ToFractions(6);
        EXPECT_EQ(Shown(Wizard->FractionButtonList), std::vector<QString>{"0"});

        struct Row {
            int Group, Index;
            std::vector<QString> Pitches;
        };
        const Row rows[] = {
            {0, 10, {"20 UNC", "28 UNF", "32 UNEF"}},
            {1, 12, {"5 UNC", "6 UN", "8 UN", "12 UN", "16 UN", "20 UN"}},
            {2, 0, {"4.5 UNC", "6 UN", "8 UN", "12 UN", "16 UN", "20 UN"}},
            {2, 2, {"4.5 UNC", "6 UN", "8 UN", "12 UN", "16 UN", "20 UN"}},
            {0, 0, {"80 UNF"}},
        };
        for (const Row& row : rows) {
            Press(Wizard->bBack);
            Press(Wizard->bBack);
            ToPitches(row.Group, row.Index);
            EXPECT_EQ(Shown(Wizard->PitchButtonList), row.Pitches) << row.Group << "/" << row.Index;
        }
    });

    // With profile J the series read UNJ.
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        ASSERT_TRUE(Wizard->cJprofile->Visible());
        Wizard->cJprofile->SetChecked(true);
        ToPitches(0, 10);
        EXPECT_EQ(Shown(Wizard->PitchButtonList), (std::vector<QString>{"20 UNJC", "28 UNJF", "32 UNJEF"}));
    });
}

TEST_F(InchWizardTest, ClassCaptionsByGaugeGroupAndProfileJ)
{
    for (int group : {2, 3, 4, 5}) {
        ForGauge(group, 3);
        RunModal(Wizard.get(), Wizard->bCancel, [this, group] {
            EXPECT_FALSE(Wizard->cJprofile->Visible());
            ToPitches(1, 0);
            Press(Wizard->bNext);
            ASSERT_EQ(Page(), TfwAnsiAsme1::PageClass);
            const QString letter = group == 2 || group == 4 ? "B" : "A";
            EXPECT_EQ(Wizard->rT1->Caption(), "1" + letter);
            EXPECT_EQ(Wizard->rT3->Caption(), "3" + letter);
            EXPECT_TRUE(Wizard->rT2->Checked());
            EXPECT_TRUE(Wizard->rT1->Enabled());
        });
    }
    ForGauge(2, 1);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  Wizard->cJprofile->SetChecked(true);
                  ToPitches(0, 14);
                  Press(Wizard->bNext);
                  EXPECT_FALSE(Wizard->rT1->Enabled());
                  EXPECT_FALSE(Wizard->rT2->Enabled());
                  EXPECT_TRUE(Wizard->rT3->Checked());
                  Pick(Wizard->rT1);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->InchThread.ToleranceClass, 2);
}

TEST_F(InchWizardTest, EndingsByGaugeGroup)
{
    // Groups 4 and 5 begin on the diameter page and cannot reach the UNS
    // choice, even after stepping back.
    for (int group : {4, 5}) {
        ForGauge(group, 0);
        EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                      EXPECT_EQ(Page(), TfwAnsiAsme1::PageDiameter);
                      EXPECT_FALSE(Wizard->bBack->Enabled());
                      ToFractions(4);
                      Press(Wizard->bBack);
                      EXPECT_EQ(Page(), TfwAnsiAsme1::PageDiameter);
                      EXPECT_FALSE(Wizard->bBack->Enabled());
                      Press(Wizard->bBack);
                      EXPECT_EQ(Page(), TfwAnsiAsme1::PageDiameter);
                      ToPitches(4, 1);
                      Press(Wizard->bNext);
                      Press(Wizard->bNext);
                  }),
                  mrOk);
        EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [] {}), mrCancel);
    }

    // UNS on the type page.
    ForGauge(3, 0);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  EXPECT_EQ(Page(), TfwAnsiAsme1::PageType);
                  EXPECT_FALSE(Wizard->bBack->Enabled());
                  Pick(Wizard->rUNS);
                  Press(Wizard->bNext);
              }),
              TfwAnsiAsme1::mrUns);
}

TEST_F(InchWizardTest, WalkFillsTheRequest)
{
    ForGauge(3, 0);
    Wizard->InchThread.Series = 5;
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  Wizard->cRoundN->SetChecked(false);
                  Press(Wizard->bNext);
                  Pick(Wizard->rD[0]);
                  Press(Wizard->bNext);
                  Pick(Wizard->FractionButtonList[14]);
                  ASSERT_EQ(Wizard->FractionButtonList[14]->Caption(), "1/2");
                  Press(Wizard->bNext);
                  ASSERT_EQ(Wizard->PitchButtonList[0]->Caption(), "13 UNC");
                  Press(Wizard->bNext);
                  Press(Wizard->bNext);
              }),
              mrOk);
    const INCHTHREAD& request = Wizard->InchThread;
    EXPECT_EQ(request.DiameterGroup, 0);
    EXPECT_EQ(request.GroupFirstRow, 0);
    EXPECT_EQ(request.SizeIndex, 14);
    EXPECT_EQ(request.Numerator, 1);
    EXPECT_EQ(request.Denominator, 2);
    EXPECT_DOUBLE_EQ(request.Diameter, 0.5);
    EXPECT_EQ(request.Series, 0);
    EXPECT_DOUBLE_EQ(request.Tpi, 13);
    EXPECT_EQ(request.ToleranceClass, 1);
    EXPECT_FALSE(Wizard->RoundFlag);

    // A constant pitch gives its series; a later showing reads "Round" again.
    Wizard->cRoundN->SetChecked(true);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  EXPECT_TRUE(Wizard->RoundFlag);
                  ToPitches(1, 12);
                  Pick(Wizard->PitchButtonList[3]);
                  Press(Wizard->bNext);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->InchThread.Series, 5);
    EXPECT_DOUBLE_EQ(Wizard->InchThread.Tpi, 12);
    EXPECT_DOUBLE_EQ(Wizard->InchThread.Diameter, 1.75);
}

// No size or pitch is read from a hidden button or from nothing.
TEST_F(InchWizardTest, NextWaitsForAShownChoice)
{
    ForGauge(3, 0);
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        ToFractions(0);
        Pick(Wizard->FractionButtonList[20]);
        Press(Wizard->bBack);
        Press(Wizard->bBack);
        Press(Wizard->bNext);
        // Group 6 without a click of its button: the old choice is hidden.
        Wizard->rD[6]->SetChecked(true);
        Wizard->FractionButtonList[20]->SetChecked(true);
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfwAnsiAsme1::PageFraction);
        EXPECT_FALSE(Wizard->bNext->Enabled());
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfwAnsiAsme1::PageFraction);
        Pick(Wizard->FractionButtonList[0]);
        EXPECT_TRUE(Wizard->bNext->Enabled());
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfwAnsiAsme1::PagePitch);

        // A pitch beyond the ones shown for the size counts as none.
        Wizard->PitchButtonList[8]->SetChecked(true);
        Press(Wizard->bBack);
        Press(Wizard->bNext);
        EXPECT_EQ(Shown(Wizard->PitchButtonList).size(), 5u);
        EXPECT_FALSE(Wizard->bNext->Enabled());
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfwAnsiAsme1::PagePitch);
    });
    EXPECT_EQ(Wizard->InchThread.SizeIndex, 0);
    EXPECT_EQ(Wizard->InchThread.DiameterGroup, 6);
}

TEST_F(InchWizardTest, UnsEntryClassesFollowTheWizard)
{
    TFormPtr<TfInsUNS> entry(NewForm<TfInsUNS>(nullptr));
    ForGauge(3, 0);
    EXPECT_EQ(ShowAndPress(entry.get(), entry->bOk), mrOk);
    EXPECT_EQ(entry->rT1->Caption(), "1A");
    EXPECT_EQ(entry->rT2->Caption(), "2A");
    EXPECT_EQ(entry->rT3->Caption(), "3A");
    EXPECT_TRUE(entry->rT2->Checked());

    ForGauge(2, 0);
    entry->eDia->SetText("0.3");
    EXPECT_EQ(ShowAndPress(entry.get(), entry->bCancel), mrCancel);
    EXPECT_EQ(entry->rT1->Caption(), "1B");
    EXPECT_EQ(entry->rT3->Caption(), "3B");
    EXPECT_EQ(entry->eDia->Text(), "0.3");

    Wizard->cJprofile->SetChecked(true);
    EXPECT_EQ(ShowAndPress(entry.get(), entry->bOk), mrOk);
    EXPECT_FALSE(entry->rT1->Enabled());
    EXPECT_FALSE(entry->rT2->Enabled());
    EXPECT_TRUE(entry->rT3->Checked());
    // Without profile J the other classes can be chosen again.
    Wizard->cJprofile->SetChecked(false);
    EXPECT_EQ(ShowAndPress(entry.get(), entry->bOk), mrOk);
    EXPECT_TRUE(entry->rT1->Enabled());
    EXPECT_TRUE(entry->rT3->Checked());
}

} // namespace
