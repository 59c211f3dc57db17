#include "app/Ureportprint.h"

#include "platform/forms/Forms.h"
#include "report/components/QpZarv.h"
#include "report/print/QpSystem.h"

#include <memory>

std::function<void(TZvSystem& system)> ReportSystemPrepared;

void PrintReportProject(TZvProject& project, const QString& projectFile, const TReportParams& params,
                        bool preview)
{
    project.SetProjectFile(projectFile);
    project.Open();
    try {
        for (const auto& [name, value] : params)
            project.SetParam(name, value);
        auto system = std::make_unique<TZvSystem>(nullptr);
        TSystemSetups setups = system->SystemSetups();
        setups.Exclude(TSystemSetup::ssAllowSetup);
        system->SetSystemSetups(setups);
        if (preview) {
            system->SetDefaultDest(TReportDest::rdPreview);
            system->SystemPreview()->FormState = TWindowState::wsMaximized;
        } else {
            system->SetDefaultDest(TReportDest::rdPrinter);
        }
        if (ReportSystemPrepared)
            ReportSystemPrepared(*system);
        project.SetEngine(system.get());
        project.Execute();
    } catch (...) {
        project.Close();
        throw;
    }
    project.Close();
}
