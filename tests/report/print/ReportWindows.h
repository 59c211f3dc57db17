#pragma once
// Test support for the report-run controller and its windows: the program's
// resources and window classes, scripted message boxes and file dialogs, a
// temporary folder, and a report of three pages ("Page 1" ... "Page 3").
#include "SnapshotSupport.h"

#include "report/print/QpSystem.h"

#include "localization/PEResourceImage.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "resources/ProgramResources.h"

#include <QTemporaryDir>

#include <memory>

class ReportWindowsTest : public NoPrinterTest {
protected:
    void SetUp() override
    {
        NoPrinterTest::SetUp();
        if (IsSkipped())
            return;
        InitProgramResources(ProgramResourceImageBytes());
        RegisterReportPrintClasses();
        Messages = std::make_unique<TScriptedMessages>();
        Dialogs = std::make_unique<TScriptedDialogs>();
    }

    void TearDown() override
    {
        Dialogs.reset();
        Messages.reset();
    }

    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    // The window of class T among the open ones, or null.
    template <class T> static T* OpenWindow()
    {
        for (TCustomForm* form : ScreenForms()) {
            if (auto* window = dynamic_cast<T*>(form))
                return window;
        }
        return nullptr;
    }

    // Draws pages 1 to 3, each with its number as text; page hooks run at
    // the start of each page.
    void ThreePages(TZvSystem& system, std::function<void(TBaseReport&, int)> pageHook = {})
    {
        system.OnPrint = [pageHook](TObject* sender) {
            auto* report = static_cast<TBaseReport*>(sender);
            report->SetFont(QStringLiteral("Arial"), 24);
            for (int page = 1; page <= 3; ++page) {
                if (page > 1)
                    report->NewPage();
                if (pageHook)
                    pageHook(*report, page);
                report->PrintXY(1, 1, QStringLiteral("Page %1").arg(page));
            }
        };
    }

    QTemporaryDir Dir;
    std::unique_ptr<TScriptedMessages> Messages;
    std::unique_ptr<TScriptedDialogs> Dialogs;
};
