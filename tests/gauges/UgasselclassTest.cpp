#include "gauges/Ugasselclass.h"
#include "tests/gauges/GaugesFixture.h"

namespace {

using UgasselclassTest = GaugesTest;

TEST_F(UgasselclassTest, ClassChoiceAndModalResults)
{
    TFormPtr<TfGasSelClass> picker(NewForm<TfGasSelClass>(nullptr));
    EXPECT_TRUE(picker->rClassA->Checked()); // from the form definition

    picker->rClassB->SetChecked(true);
    EXPECT_EQ(ShowAndPress(picker.get(), picker->bOk), mrOk);
    // The choice stays for the next showing.
    EXPECT_EQ(ShowAndPress(picker.get(), picker->bCancel), mrCancel);
    EXPECT_FALSE(picker->rClassA->Checked());
    EXPECT_TRUE(picker->rClassB->Checked());
}

} // namespace
