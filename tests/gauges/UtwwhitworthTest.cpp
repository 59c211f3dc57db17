#include "gauges/Utwwhitworth.h"
#include "app/core/Ucalibretype.h"
#include "calc/Utollerance.h"
#include "calc/Uwhitworth.h"
#include "platform/forms/MessageService.h"
#include "tests/gauges/WizardTest.h"

namespace {

// "1 1/8" as inches.
double SizeOfCaption(const QString& caption)
{
    double size = 0;
    for (const QString& part : caption.split(QLatin1Char(' '))) {
        const QStringList fraction = part.split(QLatin1Char('/'));
        size += fraction.size() == 2 ? fraction[0].toDouble() / fraction[1].toDouble() : part.toDouble();
    }
    return size;
}

class WhitworthWizardTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Wizard.reset(NewForm<TfTwWhitworth>(nullptr));
        Wizard->GaugeType = &fTessvar->CurrentType;
    }
    void TearDown() override
    {
        Wizard.reset();
        GaugesTest::TearDown();
    }
    void ForGauge(int group, int item, bool ring)
    {
        SetCurrentType(6, group, item);
        fTessvar->CurrentType.Ring = ring ? 1 : 0;
    }
    int Page() const { return Wizard->pcWW->ActivePageIndex(); }

    TFormPtr<TfTwWhitworth> Wizard;
};

TEST_F(WhitworthWizardTest, SizeButtonsMatchTheirTables)
{
    for (int i = 0; i < WhitworthSizeCount; ++i) {
        EXPECT_DOUBLE_EQ(SizeOfCaption(Wizard->rBSW[i]->Caption()), BswSizeTable[i].D) << i;
        EXPECT_DOUBLE_EQ(SizeOfCaption(Wizard->rBSF[i]->Caption()), BsfSizeTable[i].D) << i;
    }
    EXPECT_EQ(Wizard->rBSW[29]->Caption(), "6");
    EXPECT_EQ(Wizard->rBSF[29]->Caption(), "4 1/4");
}

// Every BSW and BSF size of the wizard's tables, for every Whitworth gauge
// type, class and wide option, is computed with no limit below 0, or
// refused with 1180 where the gauge reads a pitch column that the gauge
// tables do not give for its range; none is refused as a pitch too large
// for its diameter.
TEST_F(WhitworthWizardTest, EverySizeOfTheTablesComputes)
{
    TScriptedMessages messages;
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    int computed = 0, refused = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const CALIBRETYPE& type = *list.At(i);
        if (type.Family != 6)
            continue;
        const int free = type.Ring ? WhitworthFree : WhitworthNormal;
        for (const TWhitworthSize* table : {BswSizeTable, BsfSizeTable}) {
            for (int s = 0; s < WhitworthSizeCount; ++s) {
                const TWhitworthSize& size = table[s];
                for (int toleranceClass : {int(WhitworthClose), int(WhitworthMedium), free}) {
                    for (bool wide : {false, true}) {
                        TOLLERANCE r;
                        ClearToleranceRecord(r);
                        const size_t before = messages.Shown().size();
                        const bool ok = CalcWhitworth(type, size.D, size.Tpi, 0, toleranceClass, wide, r);
                        if (!ok) {
                            ++refused;
                            ASSERT_EQ(messages.Shown().size(), before + 1);
                            EXPECT_EQ(messages.Shown().back().Text,
                                      "MN 180 : Pitch/Diameter combination not valid");
                            continue;
                        }
                        ++computed;
                        const double* field = &r.MaxPi;
                        for (int f = 0; f < 16; ++f)
                            EXPECT_TRUE(!(field[f] < 0)) << type.Key() << " " << size.D << " field " << f;
                    }
                }
            }
        }
    }
    EXPECT_EQ(computed, 2885);
    // The refusals are those of the pitch columns the gauge tables do not
    // give, as they always were.
    EXPECT_EQ(refused, 355);
}

TEST_F(WhitworthWizardTest, DesignationsAndClasses)
{
    ForGauge(1, 2, false); // key 102, a check plug
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  Press(Wizard->bNext);
                  Pick(Wizard->rBSW[6]);
                  Press(Wizard->bNext);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->Designation, "1/2 in - 12 BSW (Close) Ref.");
    EXPECT_EQ(Wizard->ThreadKind, 0);
    EXPECT_DOUBLE_EQ(Wizard->Diameter, 0.5);
    EXPECT_DOUBLE_EQ(Wizard->Tpi, 12);
    EXPECT_EQ(Wizard->ToleranceClass, 0);
    EXPECT_EQ(Wizard->ClassText, "Close");
    EXPECT_TRUE(Wizard->WideTolerance);

    ForGauge(0, 0, false);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  EXPECT_EQ(Wizard->rNormalFree->Caption(), "Normal");
                  Pick(Wizard->rTBSF);
                  Press(Wizard->bNext);
                  Pick(Wizard->rBSF[2]);
                  Press(Wizard->bNext);
                  Pick(Wizard->rNormalFree);
                  Wizard->cExtraToll->SetChecked(false);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->Designation, "1/4 in - 26 BSF (Normal)");
    EXPECT_EQ(Wizard->ToleranceClass, 2);
    EXPECT_FALSE(Wizard->WideTolerance);

    // A ring's third class is "Free", class 3; Whitworth S in millimetres.
    ForGauge(0, 5, true);
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  EXPECT_TRUE(Wizard->rTBSW->Checked());
                  EXPECT_EQ(Wizard->rNormalFree->Caption(), "Free");
                  Pick(Wizard->rTWS);
                  Press(Wizard->bNext);
                  Wizard->eD->SetText("25.4");
                  Wizard->cInch->SetItemIndex(1);
                  Wizard->eTPI->SetText("8");
                  Press(Wizard->bNext);
                  Pick(Wizard->rNormalFree);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_EQ(Wizard->ThreadKind, 2);
    EXPECT_DOUBLE_EQ(Wizard->Diameter, 1);
    EXPECT_EQ(Wizard->ToleranceClass, 3);
    EXPECT_EQ(Wizard->Designation, "1 in - 8 Whitworth S (Free)");
}

TEST_F(WhitworthWizardTest, BackAndConversionErrors)
{
    ForGauge(0, 0, false);
    TScriptedMessages messages;
    RunModal(Wizard.get(), Wizard->bCancel, [this, &messages] {
        EXPECT_FALSE(Wizard->bBack->Enabled());
        // Back from the class page returns to the page of the type.
        const struct {
            TRadioButton* Kind;
            int Page;
        } kinds[] = {{Wizard->rTBSW, 1}, {Wizard->rTBSF, 2}, {Wizard->rTWS, 3}};
        for (const auto& kind : kinds) {
            Pick(kind.Kind);
            Press(Wizard->bNext);
            EXPECT_EQ(Page(), kind.Page);
            Wizard->eD->SetText("1");
            Wizard->eTPI->SetText("8");
            Press(Wizard->bNext);
            EXPECT_EQ(Page(), TfTwWhitworth::PageClass);
            Press(Wizard->bBack);
            EXPECT_EQ(Page(), kind.Page);
            Press(Wizard->bBack);
            EXPECT_EQ(Page(), TfTwWhitworth::PageType);
            EXPECT_FALSE(Wizard->bBack->Enabled());
        }
        // Text that is no number: the conversion error, and the page stays.
        Pick(Wizard->rTWS);
        Press(Wizard->bNext);
        Wizard->eD->SetText("abc");
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfTwWhitworth::PageFree);
        ASSERT_EQ(messages.Shown().size(), 1u);
        EXPECT_TRUE(messages.Shown()[0].Text.contains("'abc' is not a valid floating point value"));
    });
}

} // namespace
