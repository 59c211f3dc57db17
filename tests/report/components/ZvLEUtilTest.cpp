// The compiler's numbered messages.
#include "report/components/ZvLEUtil.h"

#include <gtest/gtest.h>

TEST(ZvLEUtilTest, NumberedMessages)
{
    EXPECT_EQ(CompilerErrorText(22, QStringLiteral("Foo")),
              QStringLiteral("Error #22 - Unknown identifier [Foo]."));
    EXPECT_EQ(CompilerErrorText(36, QStringLiteral("Abc")), QStringLiteral("Error #36 - Abc"));
    // 6 and 24 share their text; the parameter is never a format.
    EXPECT_EQ(CompilerErrorText(6).section(QStringLiteral(" - "), 1),
              CompilerErrorText(24).section(QStringLiteral(" - "), 1));
    EXPECT_EQ(CompilerErrorText(36, QStringLiteral("100%1")), QStringLiteral("Error #36 - 100%1"));
    EXPECT_EQ(CompilerErrorText(55), QStringLiteral("Error #55 - "));

    ShowErrorPosition = true;
    ErrorLine = 12;
    ErrorCol = 5;
    EXPECT_EQ(CompilerErrorText(23), QStringLiteral("Error #23 - Type identifier expected. (line 12 col 5)"));
    try {
        RaiseCompilerError(23);
        ADD_FAILURE() << "no exception";
    } catch (const EZarvCompiler& error) {
        EXPECT_EQ(error.ErrorLine, 12);
        EXPECT_EQ(error.ErrorCol, 5);
        EXPECT_EQ(error.ErrorEvent, nullptr);
    }
    ShowErrorPosition = false;
    ErrorLine = 0;
    ErrorCol = 0;
}
