#include "report/components/ReportRun_p.h"

#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"


void StartReportWriter()
{
    // Process-wide and never freed: the named objects it holds go with the
    // process (they are closed by the process's end, after the registry of
    // shared objects that a destructor at exit would still need).
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
