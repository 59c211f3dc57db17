// The ISO metric series window, opened from the main window.
#include "tests/app/AppFixture.h"

namespace {

using Isoguide = AppTest;

TEST_F(Isoguide, ListsBothSeriesAndCloses)
{
    StartProgram();
    QStringList lines;
    TModalResult closedWith = mrNone;
    EXPECT_TRUE(WhileModal(
        fIsoguide, [] { ClickButton(fTessvar->bMetricStd); },
        [&] {
            lines = fIsoguide->Memo1->Lines()->Text().split(QStringLiteral("\r\n"));
            fIsoguide->Button1->Click();
            closedWith = fIsoguide->ModalResult();
        }));
    EXPECT_EQ(closedWith, mrCancel);
    EXPECT_EQ(fIsoguide->Caption(), "ISO-guide");
    EXPECT_EQ(fIsoguide->ClientWidth(), 480);
    EXPECT_EQ(fIsoguide->ClientHeight(), 491);
    ASSERT_GE(lines.size(), 41);
    EXPECT_EQ(lines[0], "Normal series                Fine series");
    EXPECT_EQ(lines[2], "diameter    pitch            diameter     pitch");
    // Rows 1, 13 (5.0/0.80 beside 4.5/0.50), 28 (the last fine row) and 37.
    EXPECT_EQ(lines[4], "    1.0          0.25                1.0           0.20");
    EXPECT_EQ(lines[16], "    5.0          0.80                4.5           0.50");
    EXPECT_EQ(lines[31], "   36.0          4.00               33.0           2.00");
    EXPECT_EQ(lines[40], "   68.0          6.00");
}

} // namespace
