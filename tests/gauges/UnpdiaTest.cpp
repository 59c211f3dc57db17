#include "gauges/Unpdia.h"
#include "calc/Utansiasme.h"
#include "tests/gauges/GaugesFixture.h"

#include <QRadioButton>
#include <QTest>

namespace {

class UnpdiaTest : public GaugesTest {
protected:
    void SetUp() override
    {
        GaugesTest::SetUp();
        Picker.reset(NewForm<TfNPDia>(nullptr));
    }
    void TearDown() override
    {
        Picker.reset();
        GaugesTest::TearDown();
    }

    int VisibleSizes() const
    {
        int count = 0;
        for (const TRadioButton* button : Picker->SizeButtonList)
            count += button->Visible() ? 1 : 0;
        return count;
    }
    QString Caption(int index) const { return Picker->SizeButtonList[index]->Caption(); }

    TFormPtr<TfNPDia> Picker;
};

// The sizes offered by gauge type (sources: the size tables of ASME B1.20.1
// and B1.20.3, ISO 7-1 and ISO 228-1).
TEST_F(UnpdiaTest, SizesByGaugeType)
{
    struct Row {
        int Family, Group, Item;
        int Sizes;
        const char* First;
        const char* Last;
        bool Truncate;
    };
    const Row rows[] = {
        /* 1 NPT */ {1, 6, 0, 24, "1/16", "24", false},
        /* 2 NPSC */ {1, 6, 4, 13, "1/8", "4", false},
        /* 3 NPSM */ {1, 6, 10, 15, "1/8", "6", false},
        /* 4 NPSL */ {1, 6, 16, 18, "1/8", "12", false},
        /* 5 dryseal */ {1, 7, 14, 12, "1/16", "3", false},
        /* 6 ISO 7 */ {4, 0, 0, 15, "1/16", "6", false},
        /* 7 ISO 228 */ {4, 1, 5, 24, "1/16", "6", true},
    };
    for (const Row& row : rows) {
        SetCurrentType(row.Family, row.Group, row.Item);
        EXPECT_EQ(ShowAndPress(Picker.get(), Picker->bOk), mrOk);
        EXPECT_EQ(VisibleSizes(), row.Sizes) << row.Group << "/" << row.Item;
        EXPECT_EQ(Caption(0), QString::fromLatin1(row.First));
        EXPECT_EQ(Caption(row.Sizes - 1), QString::fromLatin1(row.Last));
        EXPECT_EQ(SelectedPipeSize(Picker->SizeButtonList), 0);
        EXPECT_EQ(Picker->cTruncrest->Visible(), row.Truncate);
        EXPECT_FALSE(Picker->cTruncrest->Checked());
    }
    // ISO 228 captions of whole and mixed sizes.
    EXPECT_EQ(Caption(8), "1");
    EXPECT_EQ(Caption(10), "1 1/4");
    EXPECT_EQ(Caption(22), "5 1/2");
}

TEST_F(UnpdiaTest, TruncateCrestsFollowsTheSizeButtons)
{
    SetCurrentType(4, 1, 0);
    EXPECT_EQ(ShowAndPress(Picker.get(), Picker->bOk), mrOk);
    // The preselected first size counts as a click: the option can be ticked.
    EXPECT_TRUE(Picker->cTruncrest->Enabled());
    Picker->cTruncrest->SetChecked(true);

    // Every size button, the twelfth included, unticks it and enables it.
    for (int index : {11, 4, 23}) {
        Picker->cTruncrest->SetChecked(true);
        Picker->cTruncrest->SetEnabled(false);
        Picker->SizeButtonList[index]->SetChecked(true);
        EXPECT_FALSE(Picker->cTruncrest->Checked()) << index;
        EXPECT_TRUE(Picker->cTruncrest->Enabled()) << index;
        EXPECT_EQ(SelectedPipeSize(Picker->SizeButtonList), index);
    }

    // The user clicks a size and ticks the option, then cancels.
    QTimer::singleShot(0, [this] {
        QTest::mouseClick(Picker->SizeButtonList[5]->RadioWidget(), Qt::LeftButton);
        Picker->cTruncrest->SetChecked(true);
        Picker->bCancel->Click();
    });
    EXPECT_EQ(Picker->ShowModal(), mrCancel);
    EXPECT_EQ(SelectedPipeSize(Picker->SizeButtonList), 5);
    EXPECT_TRUE(Picker->cTruncrest->Checked());
    // Showing again preselects the first size and clears the option.
    EXPECT_EQ(ShowAndPress(Picker.get(), Picker->bOk), mrOk);
    EXPECT_EQ(SelectedPipeSize(Picker->SizeButtonList), 0);
    EXPECT_FALSE(Picker->cTruncrest->Checked());
}

TEST_F(UnpdiaTest, NoOptionOutsideIso228)
{
    SetCurrentType(1, 6, 0);
    EXPECT_EQ(ShowAndPress(Picker.get(), Picker->bOk), mrOk);
    Picker->SizeButtonList[3]->SetChecked(true);
    EXPECT_FALSE(Picker->cTruncrest->Visible());
    EXPECT_FALSE(Picker->cTruncrest->Checked());
}

TEST_F(UnpdiaTest, SelectedSizeIsTheFirstVisibleCheckedButton)
{
    TSizeButtonList& list = Picker->SizeButtonList;
    for (TRadioButton* button : list)
        button->SetChecked(false);
    EXPECT_EQ(SelectedPipeSize(list), -1);
    list[20]->SetVisible(false);
    list[20]->SetChecked(true);
    EXPECT_EQ(SelectedPipeSize(list), -1); // a hidden size is not a choice

    // The choice goes to the calculator: 1/16 NPT plug.
    SetCurrentType(1, 6, 0);
    EXPECT_EQ(ShowAndPress(Picker.get(), Picker->bOk), mrOk);
    INCHTHREAD request;
    request.GaugeType = fTessvar->CurrentType;
    TOLLERANCE r;
    ClearToleranceRecord(r);
    TCalcText diameter, angle, pitch, designation;
    ASSERT_TRUE(CalcPipeThread(request, SelectedPipeSize(list), diameter, angle, pitch, designation, r));
    EXPECT_EQ(designation.Text(), "1/16 27 NPT");

    // The window's end frees the list and hides the option.
    Picker->FormDestroy(Picker.get());
    EXPECT_TRUE(Picker->SizeButtonList.empty());
    EXPECT_FALSE(Picker->cTruncrest->Visible());
    EXPECT_EQ(SelectedPipeSize(Picker->SizeButtonList), -1);
}

} // namespace
