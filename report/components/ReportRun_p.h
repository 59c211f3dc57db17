#pragma once
// What the project component asks of report runs and the data system, in
// one place.
class TQpComponent;
class TZarvProjectManager;
class TZarvReport;

// The process-wide start-up of the report writer's data side: the global
// data system, when there is none yet.
void StartReportWriter();
// Runs report on engine (a TZvSystem).
void ExecuteZarvReport(TZarvReport* report, TQpComponent* engine);
// The private project of a running report; null when it does not run.
TZarvProjectManager* ExecProjectOf(const TZarvReport* report);
