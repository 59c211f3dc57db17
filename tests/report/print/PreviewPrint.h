#pragma once
// Drives the report run's modal windows from a test as a user does: once
// the preview shows, its Print; in the output options window that opens,
// OK; then the preview closes. Each step waits, polling the event loop, for
// its window to be the modal one on top; a window that does not come fails
// the test after about five seconds.
#include "report/print/QpFormPreview.h"
#include "report/print/QpFormSetup.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

// Runs action once a window of class T is the modal window on top.
template <class T> void WhenModal(std::function<void(T*)> action, int triesLeft = 500)
{
    QTimer::singleShot(10, [action = std::move(action), triesLeft]() mutable {
        for (TCustomForm* form : ScreenForms()) {
            auto* window = dynamic_cast<T*>(form);
            if (window && window->Modal() && window->Widget() == QApplication::activeModalWidget()) {
                action(window);
                return;
            }
        }
        if (triesLeft <= 0) {
            ADD_FAILURE() << "the window did not show";
            return;
        }
        WhenModal<T>(std::move(action), triesLeft - 1);
    });
}

// Prints from the preview once it shows and closes it; the output options
// window's printer label goes to printerLabel.
inline void PrintFromPreviewWhenShown(QString& printerLabel)
{
    WhenModal<TZarvPreviewForm>([&printerLabel](TZarvPreviewForm* preview) {
        WhenModal<TQPSetupForm>([&printerLabel](TQPSetupForm* setup) {
            printerLabel = setup->PrinterLabel->Caption();
            setup->bbtnOK->Click();
        });
        preview->actnFile_Print->QtAction()->trigger(); // as the menu or the tool bar does
        preview->Close();
    });
}
