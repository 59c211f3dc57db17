#include "report/components/ReportRun_p.h"

#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"

#include <memory>

void StartReportWriter()
{
    // Process-wide; it goes with the process (its destructor clears
    // DataSystem).
    static std::unique_ptr<TZarvDataSystem> dataSystem;
    if (!DataSystem) {
        dataSystem = std::make_unique<TZarvDataSystem>();
        DataSystem = dataSystem.get();
    }
}

void ExecuteZarvReport(TZarvReport* report, TQpComponent* engine)
{
    report->Execute(engine);
}

TZarvProjectManager* ExecProjectOf(const TZarvReport* report)
{
    return report ? report->ExecProject() : nullptr;
}
