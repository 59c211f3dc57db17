#include "gauges/Utwbr.h"
#include "platform/forms/MessageService.h"
#include "tests/gauges/WizardTest.h"

namespace {

class ButtressWizardTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Wizard.reset(NewForm<TfTwBR>(nullptr));
    }
    void TearDown() override
    {
        Wizard.reset();
        GaugesTest::TearDown();
    }
    int Page() const { return Wizard->PageControl1->ActivePageIndex(); }

    TFormPtr<TfTwBR> Wizard;
};

TEST_F(ButtressWizardTest, PitchEachTimeClassKept)
{
    TScriptedMessages messages;
    EXPECT_EQ(RunModal(Wizard.get(), Wizard->bCancel, [this] {
                  Press(Wizard->bNext);
                  EXPECT_EQ(Page(), TfTwBR::PagePitch);
                  Pick(Wizard->rM[4]);
                  Press(Wizard->bNext);
                  EXPECT_EQ(Page(), TfTwBR::PageClass);
                  EXPECT_TRUE(Wizard->bBack->Enabled());
                  Pick(Wizard->rD2);
                  Press(Wizard->bNext);
              }),
              mrOk);
    EXPECT_TRUE(messages.Shown().empty());
    EXPECT_TRUE(Wizard->rM[4]->Checked());

    // The next showing asks for the pitch again and keeps the class.
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        EXPECT_EQ(Page(), TfTwBR::PagePitch);
        EXPECT_FALSE(Wizard->bBack->Enabled());
        for (const TRadioButton* button : Wizard->rM)
            EXPECT_FALSE(button->Checked());
        EXPECT_TRUE(Wizard->rD2->Checked());
    });
}

TEST_F(ButtressWizardTest, DisabledPitchCannotBeChosen)
{
    for (int i : {0, 1, 2})
        Wizard->rM[i]->SetEnabled(false);
    RunModal(Wizard.get(), Wizard->bCancel, [this] {
        Pick(Wizard->rM[1]);
        EXPECT_FALSE(Wizard->rM[1]->Checked());
        Wizard->rM[2]->SetChecked(true);
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfTwBR::PagePitch);
        Pick(Wizard->rM[13]);
        Press(Wizard->bNext);
        EXPECT_EQ(Page(), TfTwBR::PageClass);
        Press(Wizard->bBack);
        EXPECT_EQ(Page(), TfTwBR::PagePitch);
        EXPECT_FALSE(Wizard->bBack->Enabled());
    });
}

} // namespace
