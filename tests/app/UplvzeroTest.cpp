// The zero-search notice, shown and hidden by the readouts.
#include "tests/app/AppFixture.h"

namespace {

int Searching = 1; // status the fake instrument reports

int Instrument(uint16_t, double& value)
{
    value = 1.0;
    return Searching;
}

using ZeroNotice = AppTest;

TEST_F(ZeroNotice, FollowsTheInstrumentsZeroSearch)
{
    CreateWindows();
    EXPECT_EQ(fplvZero->ClientWidth(), 468);
    EXPECT_EQ(fplvZero->ClientHeight(), 128);
    EXPECT_EQ(fplvZero->FormStyle(), TFormStyle::fsStayOnTop);
    EXPECT_EQ(fplvZero->BorderIcons(), 0);
    EXPECT_EQ(fplvZero->tplvmessage->Caption(), "Ricerca dello zero in corso...");
    EXPECT_FALSE(fplvZero->Visible());

    DISPLAY readout; // a fresh readout shows the notice
    readout.SetValueSource(Instrument, nullptr);
    Searching = 1;
    EXPECT_EQ(readout.ReadValue(), 0.0);
    EXPECT_TRUE(fplvZero->Visible());
    Searching = 0;
    EXPECT_EQ(readout.ReadValue(), 1.0);
    EXPECT_FALSE(fplvZero->Visible());

    // Once the windows are gone, a search shows nothing and fails nothing.
    App.reset();
    Searching = 1;
    EXPECT_EQ(readout.ReadValue(), 0.0);
}

} // namespace
