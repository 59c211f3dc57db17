#include "gauges/Utwsca.h"
#include "calc/Utscatables.h"
#include "platform/rtl/FormatText.h"
#include "tests/gauges/WizardTest.h"

#include <QListWidget>

namespace {

TEST(SplineRangesTest, RangesFromTheRowCount)
{
    const TSplineRanges full = SplineDiameterRanges(38);
    EXPECT_EQ(full.GroupSize, 8);
    EXPECT_EQ(full.Range[0].First, 0);
    EXPECT_EQ(full.Range[0].Last, 7);
    EXPECT_EQ(full.Range[4].First, 32);
    EXPECT_EQ(full.Range[4].Last, 37);

    // A short module: one row a range, the last two without rows (none
    // inverted into reading row 4 down to 2).
    const TSplineRanges shortModule = SplineDiameterRanges(3);
    EXPECT_EQ(shortModule.GroupSize, 1);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(shortModule.Range[k].First, k);
        EXPECT_EQ(shortModule.Range[k].Last, k);
    }
    EXPECT_TRUE(shortModule.Range[3].Empty());
    EXPECT_TRUE(shortModule.Range[4].Empty());

    for (const TSplineRange& range : SplineDiameterRanges(0).Range)
        EXPECT_TRUE(range.Empty());
    // Every row lies in exactly one range.
    for (int n : {1, 4, 5, 9, 10, 24, 60}) {
        int covered = 0;
        int next = 0;
        for (const TSplineRange& range : SplineDiameterRanges(n).Range) {
            if (range.Empty())
                continue;
            EXPECT_EQ(range.First, next) << n;
            covered += range.Last - range.First + 1;
            next = range.Last + 1;
        }
        EXPECT_EQ(covered, n);
    }
}

class SplineWizardTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Wizard.reset(NewForm<TfTwSCA>(nullptr));
    }
    void TearDown() override
    {
        Wizard.reset();
        GaugesTest::TearDown();
    }
    void ForGauge(int group, int role, bool ring)
    {
        SetCurrentType(2, group, 0);
        fTessvar->CurrentType.Role = role;
        fTessvar->CurrentType.Ring = ring ? 1 : 0;
    }
    int Page() const { return Wizard->PageControl1->ActivePageIndex(); }
    QStringList Diameters() const
    {
        QStringList lines;
        for (int i = 0; i < Wizard->lDiameter->Items()->Count(); ++i)
            lines << Wizard->lDiameter->Items()->Strings(i);
        return lines;
    }
    QStringList ShownPositions() const
    {
        QStringList captions;
        for (const TRadioButton* button : Wizard->rA) {
            if (button->Visible())
                captions << button->Caption();
        }
        return captions;
    }
    // From the module page to the tolerance page with the first diameter of
    // the module with the most rows in its first range.
    void ToTolerancePage()
    {
        Pick(Wizard->rM[5]);
        Press(Wizard->bNext);
        Press(Wizard->bNext);
        ASSERT_EQ(Page(), TfTwSCA::PageTolerance);
    }

    TFormPtr<TfTwSCA> Wizard;
};

// The diameter page of every module follows the rows of the size table.
TEST_F(SplineWizardTest, DiameterRangesFollowTheSizeTable)
{
    ForGauge(0, 2, false);
    for (int m = 0; m < SplineModuleCount; ++m) {
        const TSplineModule& module = SplineSizeTable[m];
        const TSplineRanges ranges = SplineDiameterRanges(SplineRowCount(m));
        RunModal(Wizard.get(), Wizard->bCancel, [&] {
            Pick(Wizard->rM[m]);
            Pick(Wizard->rD[0]);
            Press(Wizard->bNext);
            ASSERT_EQ(Page(), TfTwSCA::PageDiameter);
            EXPECT_DOUBLE_EQ(Wizard->Module, module.Module);
            for (int k = 0; k < TfTwSCA::RangeCount; ++k) {
                const TSplineRange& range = ranges.Range[k];
                EXPECT_EQ(Wizard->rD[k]->Enabled(), !range.Empty()) << m << "/" << k;
                if (!range.Empty()) {
                    EXPECT_EQ(Wizard->rD[k]->Caption(), Format(QStringLiteral("%d..%d"), module.Rows[range.First].Diameter,
                                                              module.Rows[range.Last].Diameter));
                }
            }
            // Without rows in the first range there is nothing to go on with.
            EXPECT_EQ(Wizard->bNext->Enabled(), !ranges.Range[0].Empty()) << m;
            Press(Wizard->bNext);
            if (ranges.Range[0].Empty()) {
                EXPECT_EQ(Page(), TfTwSCA::PageDiameter);
                return;
            }
            // The second range lists its diameters and gives its first.
            const TSplineRange& second = ranges.Range[1];
            if (second.Empty())
                return;
            Press(Wizard->bBack);
            Pick(Wizard->rD[1]);
            QStringList expected;
            for (int row = second.First; row <= second.Last; ++row)
                expected << QString::number(module.Rows[row].Diameter);
            EXPECT_EQ(Diameters(), expected);
            Press(Wizard->bNext);
            EXPECT_EQ(Wizard->ReferenceDiameter, module.Rows[second.First].Diameter);
            EXPECT_EQ(Wizard->DiameterRow, second.First);
            EXPECT_EQ(Wizard->ModuleIndex, m);
        });
    }
}

TEST_F(SplineWizardTest, ModuleTwoAsTheTableStands)
{
    ForGauge(0, 2, false);
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        Pick(Wizard->rM[5]);
        Press(Wizard->bNext);
        EXPECT_EQ(Wizard->rD[0]->Caption(), "15..15");
        EXPECT_EQ(Wizard->rD[1]->Caption(), "30..30");
        EXPECT_EQ(Wizard->rD[2]->Caption(), "40..40");
        EXPECT_FALSE(Wizard->rD[3]->Enabled());
        EXPECT_FALSE(Wizard->rD[4]->Enabled());
        Pick(Wizard->rD[1]);
        EXPECT_EQ(Diameters(), QStringList{"30"});
        Press(Wizard->bNext);
        EXPECT_EQ(Wizard->ReferenceDiameter, 30);
        EXPECT_DOUBLE_EQ(Wizard->Module, 2.0);

        // Module 0.6 has no rows yet: the diameter page offers nothing.
        Press(Wizard->bBack);
        Press(Wizard->bBack);
        Pick(Wizard->rM[0]);
        Press(Wizard->bNext);
        if (SplineRowCount(0) == 0) {
            EXPECT_FALSE(Wizard->bNext->Enabled());
            EXPECT_TRUE(Diameters().isEmpty());
        }
    });
}

TEST_F(SplineWizardTest, TolerancePageBySideAndRole)
{
    // Go plug of group 0: hub letters, no quality.
    ForGauge(0, 1, false);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  ToTolerancePage();
                  EXPECT_FALSE(Wizard->gN1->Visible());
                  EXPECT_EQ(ShownPositions(), (QStringList{"E", "F", "G", "H", "J", "K", "M"}));
                  EXPECT_FALSE(Wizard->bNext->Enabled());
                  Pick(Wizard->rA[3]);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->Side, 1);
    EXPECT_EQ(Wizard->Quality, -1);
    EXPECT_EQ(Wizard->Position, 'H');
    EXPECT_EQ(Wizard->LQ, 4);

    // A ring of group 0 (shaft letters) with a quality and an LQ.
    ForGauge(0, 2, true);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  ToTolerancePage();
                  EXPECT_TRUE(Wizard->gN1->Visible());
                  EXPECT_EQ(ShownPositions(),
                            (QStringList{"m", "k", "j", "h", "g", "f", "e", "d", "c", "b", "o"}));
                  Pick(Wizard->rA[9]);
                  // The shown quality group needs a choice too.
                  EXPECT_FALSE(Wizard->bNext->Enabled());
                  Pick(Wizard->rN1[4]);
                  Pick(Wizard->rN2[1]);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->Side, 0);
    EXPECT_EQ(Wizard->Quality, 8);
    EXPECT_EQ(Wizard->Position, 'b');
    EXPECT_EQ(Wizard->LQ, 3);

    // Back on the hub side the shaft-only position b is hidden and counts as
    // no choice.
    ForGauge(1, 2, true);
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        ToTolerancePage();
        EXPECT_EQ(ShownPositions().size(), 7);
        EXPECT_TRUE(Wizard->rA[9]->Checked());
        EXPECT_FALSE(Wizard->bNext->Enabled());
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfTwSCA::PageTolerance);
    });
    EXPECT_EQ(Wizard->Position, 'b');
}

} // namespace
