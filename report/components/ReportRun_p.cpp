#include "report/components/ReportRun_p.h"

#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"

void StartReportWriter()
{
    // Process-wide: the data model frees it when the program ends.
    if (!DataSystem)
        DataSystem = new TZarvDataSystem();
}

void ExecuteZarvReport(TZarvReport* report, TQpComponent* engine)
{
    report->Execute(engine);
}

TZarvProjectManager* ExecProjectOf(const TZarvReport* report)
{
    return report ? report->ExecProject() : nullptr;
}
