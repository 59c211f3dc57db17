#include "platform/forms/MessageService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageService, ScriptedServiceRecordsAndAnswersInOrder)
{
    TScriptedMessages messages;
    messages.Answer(IDNO);
    EXPECT_EQ(ShowMessageBox("first", "ATTENTION", TMsgIcon::Question, TMsgButtons::YesNo), IDNO);
    // An empty queue answers with the first button of the box.
    EXPECT_EQ(ShowMessageBox("second", "ERROR", TMsgIcon::Error, TMsgButtons::RetryCancel), IDRETRY);
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.Shown()[0].Text, "first");
    EXPECT_EQ(messages.Shown()[0].Caption, "ATTENTION");
    EXPECT_EQ(messages.Shown()[1].Icon, TMsgIcon::Error);
}

TEST(MessageService, QtServiceMapsTheButtonPressed)
{
    // The real box, answered by pressing "No" as soon as it is shown.
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "ATTENTION");
        EXPECT_EQ(box->text(), "Impostare la lingua come predefinita ?");
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ShowMessageBox("Impostare la lingua come predefinita ?", "ATTENTION", TMsgIcon::Question,
                             TMsgButtons::YesNo),
              IDNO);
}
