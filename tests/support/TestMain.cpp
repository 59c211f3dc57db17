// Test entry point shared by every test executable.
//
// ctest hands each executable its own HOME, XDG and TMPDIR folders; this main
// makes sure they exist, and when a test binary is started by hand (without
// ctest) it points all of them at a fresh temporary folder, so a test can never
// write into the real user's folders.
#ifdef TESSVAR_GUI_TEST_MAIN
#include "platform/forms/Dialogs.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void EnsureSandbox(QTemporaryDir& fallback)
{
    const char* vars[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR"};
    if (!qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
        const QString root = fallback.path();
        qputenv("HOME", root.toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (root + "/cache").toLocal8Bit());
        qputenv("TMPDIR", (root + "/tmp").toLocal8Bit());
    }
    for (const char* v : vars)
        QDir().mkpath(qEnvironmentVariable(v));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

// Built twice: with a QCoreApplication, and with a QApplication for tests of
// fonts, painting and windows (TESSVAR_GUI_TEST_MAIN).
int main(int argc, char** argv)
{
    QTemporaryDir fallback;
    EnsureSandbox(fallback);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef TESSVAR_GUI_TEST_MAIN
    // No file dialog or input box waits for a user here: one that no test
    // scripted fails the running test at once and is cancelled.
    SetDialogService(std::make_unique<TScriptedDialogService>());
    SetUnansweredDialogHandler(
        [](const QString& request) { ADD_FAILURE() << "no scripted answer for " << request.toStdString(); });
#endif
    return RUN_ALL_TESTS();
}
