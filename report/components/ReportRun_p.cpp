#include "report/components/ReportRun_p.h"

#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "report/print/QpDefine.h"

void StartReportWriter() {}

void ExecuteZarvReport(TZarvReport*, TQpComponent*)
{
    ZarvError(Translate(QStringLiteral("Report runs are not available")));
}

TZarvProjectManager* ExecProjectOf(const TZarvReport*)
{
    return nullptr;
}
