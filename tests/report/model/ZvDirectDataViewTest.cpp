#include "report/model/ZvDirectDataView.h"

#include "RunFixtures.h"
#include "platform/forms/MessageService.h"
#include "report/print/QpDefine.h"

#include <gtest/gtest.h>

namespace {

class ZvDirectDataViewTest : public ::testing::Test {
protected:
    TPrivateChannelNames names;
    TScriptedMessages messages;
};

TEST_F(ZvDirectDataViewTest, NestedTakesCountAndTheLastReleaseFrees)
{
    auto system = std::make_unique<TZarvDataSystem>();
    DataSystem = system.get();
    ASSERT_NE(system->NormFileBuf(), nullptr);
    EXPECT_TRUE(system->GainControl());
    EXPECT_TRUE(system->GainControl());
    EXPECT_EQ(system->ControlCount(), 2);
    EXPECT_EQ(OtherProcessCanTake(), 'n');
    system->ReleaseControl();
    EXPECT_EQ(OtherProcessCanTake(), 'n');
    system->ReleaseControl();
    EXPECT_EQ(OtherProcessCanTake(), 'y');

    try {
        system->ReleaseControl();
        ADD_FAILURE() << "no underflow raised";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Control count underflow on ReleaseControl"));
    }
    EXPECT_EQ(system->ControlCount(), 0);
    EXPECT_TRUE(messages.Shown().empty());
    system.reset();
    EXPECT_EQ(DataSystem, nullptr);
}

TEST_F(ZvDirectDataViewTest, WaitsForAnotherHolderAndAsksToRetry)
{
    TZarvDataSystem system;
    TChannelChild holder(5000, 1000);
    ASSERT_TRUE(holder.Taken());
    messages.Answer(IDRETRY);
    messages.Answer(IDCANCEL);
    EXPECT_FALSE(system.GainControl());
    ASSERT_EQ(messages.Shown().size(), 2u);
    const TMessageBoxRequest& box = messages.Shown().front();
    EXPECT_EQ(box.Text, QStringLiteral("Unable to gain control of ZARV Data Communication System."));
    EXPECT_EQ(box.Icon, TMsgIcon::Error);
    EXPECT_EQ(box.Buttons, TMsgButtons::RetryCancel);
    EXPECT_EQ(system.ControlCount(), 0);

    holder.Wait();
    EXPECT_TRUE(system.GainControl());
    system.ReleaseControl();
}

TEST_F(ZvDirectDataViewTest, MutexOfADeadHolderIsTakenOverOnce)
{
    TZarvDataSystem system;
    ASSERT_TRUE(TChannelChild(5000, 0, true).Taken());
    EXPECT_TRUE(system.GainControl());
    EXPECT_EQ(system.ControlCount(), 1);
    EXPECT_EQ(OtherProcessCanTake(), 'n');
    system.ReleaseControl();
    EXPECT_EQ(OtherProcessCanTake(), 'y');
    EXPECT_TRUE(messages.Shown().empty());
}

} // namespace
