#include "calc/Ucalcconv.h"
#include "calc/Utollerance.h"
#include "platform/forms/MessageService.h"
#include "tests/support/StringTableImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

TEST(UcalcconvTest, TextKeepsAtMost39Characters)
{
    TCalcText text(QString(50, u'x'));
    EXPECT_EQ(text.Text().size(), 39);
    text = QStringLiteral("M 12 X 1.75");
    EXPECT_EQ(text.Text(), QStringLiteral("M 12 X 1.75"));
    text.Append(QString(40, u'y'));
    EXPECT_EQ(text.Text().size(), 39);
    EXPECT_TRUE(text.Text().startsWith(QStringLiteral("M 12 X 1.75yyy")));
    // A cut that would split a surrogate pair drops the whole character.
    const QString clef = QString::fromUcs4(U"\U0001D11E");
    TCalcText emoji(QString(38, u'a') + clef);
    EXPECT_EQ(emoji.Text(), QString(38, u'a'));
}

TEST(UcalcconvTest, MessageUsesCaption999AndQuestionIcon)
{
    InstallStringTableImage(QStringLiteral(TESSVAR_SOURCE_DIR "/resources/StringTable.txt"));
    TScriptedMessages messages;
    ShowCalcMessage(952, {QStringLiteral("T-TN")});
    ShowCalcMessage(954);
    // A text whose format asks for more than is given is shown unformatted.
    ShowCalcMessage(955, {QStringLiteral("7")});
    ASSERT_EQ(messages.Shown().size(), 3u);
    EXPECT_EQ(messages.Shown()[0].Text, QStringLiteral("Gage  T-TN is unknown"));
    EXPECT_EQ(messages.Shown()[0].Caption, QStringLiteral("ATTENTION"));
    EXPECT_EQ(messages.Shown()[0].Icon, TMsgIcon::Question);
    EXPECT_EQ(messages.Shown()[1].Text, QStringLiteral("Diameter not available"));
    EXPECT_EQ(messages.Shown()[2].Text, QStringLiteral("Quality %s non available for gage %s"));
}

TEST(UcalcconvTest, ClearedRecordIsPositiveZeroEverywhere)
{
    std::array<double, 25> fields;
    fields.fill(-1.0);
    TOLLERANCE record;
    std::memcpy(&record, fields.data(), sizeof record);
    record.LogN = std::nan("");
    ClearToleranceRecord(record);
    std::memcpy(fields.data(), &record, sizeof record);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(fields[i], 0.0) << "field " << i;
        EXPECT_FALSE(std::signbit(fields[i])) << "field " << i;
    }
}

} // namespace
