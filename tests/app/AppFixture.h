#pragma once
// Shared fixture of the window tests: the program's resources and window
// classes, no settings files (the sandbox's data folders removed), "." as
// decimal separator, a scripted message service, and the application object
// creating the windows of the application shell in their start-up order.
#include "app/Uisoguide.h"
#include "app/Unumberedit.h"
#include "app/Uplvzero.h"
#include "app/Uqfili.h"
#include "app/Utessvar.h"
#include "platform/forms/MessageService.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the windows into their global instances, as the program does.
    void CreateWindows();
    // CreateWindows, then shows the main window (its FormShow runs).
    void StartProgram();

    // The user's actions: typing a whole text over the old one (key by key,
    // so the edit changes with each), choosing a combo item,
    // clicking a tab of a page control, clicking a button (through Qt, so
    // that a failure reaches the exception dialog).
    static void Type(TEdit* edit, const QString& text);
    static void Choose(TComboBox* combo, int index);
    static void PickTab(TPageControl* pages, int index);
    static void ClickButton(TButton* button);

    // Runs trigger; when it shows the window modally, inside runs while it
    // is shown and the window then closes with result. Returns whether the
    // window was shown modally.
    static bool WhileModal(TCustomForm* window, const std::function<void()>& trigger,
                           const std::function<void()>& inside = {}, TModalResult result = mrOk);

    // The value (mm) bound to an edit of the main window; NAN when empty.
    static double Value(TEdit* edit);
    // The length (mm) a text of the length fields stands for in a unit (0
    // mm, 1 inch), as the readout reads it; NAN when it is no number.
    static double TextLength(const QString& text, int unit);
    // A settings file of the Tessvar data folder.
    static QString SettingsFile();
    static void WriteSettings(const QByteArray& ini);

    std::unique_ptr<TScriptedMessages> Messages;
    std::unique_ptr<TApplication> App;
};

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
