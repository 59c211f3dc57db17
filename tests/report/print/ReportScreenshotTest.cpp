// Pictures of the report windows for looking at them: with
// TESSVAR_SCREENSHOTS set to a folder, the status window during a run, the
// output options window and the preview window are grabbed to PNG files
// there (run under xvfb-run with QT_QPA_PLATFORM=xcb). Skipped otherwise.
#include "ReportWindows.h"

#include "report/print/QpFormPreview.h"
#include "report/print/QpFormSetup.h"
#include "report/print/QpFormStatus.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace {

using ReportScreenshots = ReportWindowsTest;

void Grab(TCustomForm* window, const QString& file)
{
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->Widget()->grab().save(file)) << file.toStdString();
}

TEST_F(ReportScreenshots, OfTheThreeWindows)
{
    const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSVAR_SCREENSHOTS is not set";
    QDir().mkpath(folder);
    TZvSystem system(nullptr);
    system.SetTitleStatus(QStringLiteral("Report Status"));
    system.SetTitlePreview(QStringLiteral("Report Preview"));
    ThreePages(system, [&](TBaseReport&, int page) {
        if (auto* status = OpenWindow<TQpStatusForm>(); status && page == 2)
            Grab(status, folder + QStringLiteral("/report-status.png"));
    });
    TCustomForm* setupForm = nullptr;
    system.OverrideSetup = [&](TZvSystem* s, TOverrideMode mode, TCustomForm*& form) {
        if (mode == TOverrideMode::omShow) {
            QTimer::singleShot(300, [&] {
                Grab(form, folder + QStringLiteral("/report-options.png"));
                static_cast<TQPSetupForm*>(form)->PreviewRB->SetChecked(true);
                static_cast<TQPSetupForm*>(form)->bbtnOK->Click();
            });
        }
        setupForm = form;
        s->DefaultSetupForm(s, mode, form);
    };
    QTimer::singleShot(1500, [&] {
        if (auto* preview = OpenWindow<TZarvPreviewForm>()) {
            preview->actnPage_Next->Execute();
            Grab(preview, folder + QStringLiteral("/report-preview.png"));
            preview->Close();
        }
    });
    system.Execute();
    EXPECT_FALSE(system.Aborted);
}

} // namespace
