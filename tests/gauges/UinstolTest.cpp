#include "gauges/Uinstol.h"
#include "tests/gauges/GaugesFixture.h"

#include <QRadioButton>
#include <QTest>

namespace {

class UinstolTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Dialog.reset(NewForm<TfInsTol>(nullptr));
    }
    void TearDown() override
    {
        Dialog.reset();
        GaugesTest::TearDown();
    }
    // Shows the dialog for a gauge type and answers with Next.
    void ShowFor(int kind, int group, int item)
    {
        SetCurrentType(0, group, item); // ISO metric
        fTessvar->CurrentType.Kind = kind;
        EXPECT_EQ(ShowAndPress(Dialog.get(), Dialog->bOk), mrOk);
    }

    TFormPtr<TfInsTol> Dialog;
};

TEST_F(UinstolTest, ProfileJOnlyForTheIsoThreadGaugesThatCarryIt)
{
    struct Row {
        int Kind, Group, Item;
        bool Shown;
    };
    const Row rows[] = {{2, 2, 0, true}, {2, 2, 2, true}, {2, 2, 3, false}, {2, 3, 1, true},
                        {2, 3, 2, false}, {1, 0, 0, false}, {1, 1, 1, false}, {1, 2, 0, false}};
    for (const Row& row : rows) {
        Dialog->cJprofile->SetChecked(true);
        ShowFor(row.Kind, row.Group, row.Item);
        EXPECT_EQ(Dialog->cJprofile->Visible(), row.Shown) << row.Group << "/" << row.Item;
        EXPECT_FALSE(Dialog->cJprofile->Checked());
        EXPECT_TRUE(Dialog->rSupInf->Enabled());
    }
}

TEST_F(UinstolTest, EntryChoiceDrivesTheDeviationFields)
{
    EXPECT_TRUE(Dialog->rToll->Checked());
    EXPECT_FALSE(Dialog->rSupInf->Enabled());
    ShowFor(2, 2, 0);
    Dialog->eTSup->SetText("stale");

    // The deviation entry empties and enables both fields and shows the unit.
    QTest::mouseClick(Dialog->rSupInf->RadioWidget(), Qt::LeftButton);
    EXPECT_TRUE(Dialog->rSupInf->Checked());
    EXPECT_TRUE(Dialog->eTSup->Enabled());
    EXPECT_TRUE(Dialog->eTInf->Enabled());
    EXPECT_TRUE(Dialog->pSupInf->Visible());
    EXPECT_EQ(Dialog->eTSup->Text(), "");
    EXPECT_TRUE(Dialog->rSupInfmicron->Checked());

    // The tolerance entry disables them and keeps the texts.
    Dialog->eTSup->SetText("12");
    Dialog->eTInf->SetText("-3");
    QTest::mouseClick(Dialog->rToll->RadioWidget(), Qt::LeftButton);
    EXPECT_FALSE(Dialog->eTSup->Enabled());
    EXPECT_FALSE(Dialog->eTInf->Enabled());
    EXPECT_FALSE(Dialog->pSupInf->Visible());
    EXPECT_EQ(Dialog->eTSup->Text(), "12");
    EXPECT_EQ(Dialog->eTInf->Text(), "-3");

    // Each showing starts with empty edits and keeps the entry choice.
    Dialog->eToll->SetText("6H");
    Dialog->rSupInf->SetChecked(true);
    Dialog->eTSup->SetText("5");
    ShowFor(1, 0, 0);
    EXPECT_EQ(Dialog->eToll->Text(), "");
    EXPECT_EQ(Dialog->eTSup->Text(), "");
    EXPECT_EQ(Dialog->eTInf->Text(), "");
    EXPECT_TRUE(Dialog->rSupInf->Checked());

    EXPECT_EQ(ShowAndPress(Dialog.get(), Dialog->bCancel), mrCancel);
}

} // namespace
