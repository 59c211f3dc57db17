#pragma once
// One print of a report project, as every print button runs it: the
// project file (in the current folder, else in run/ beside the program),
// Open, the named text
// parameters in order, a run controller made for this print without the
// output options window, to the preview (maximised) or straight to the
// printer, Execute, Close. The project is closed and the controller freed
// on every path, also when the run raises; a missing project raises from
// Open before any controller is made.
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class TZvProject;
class TZvSystem;

using TReportParams = std::vector<std::pair<QString, QString>>;

void PrintReportProject(TZvProject& project, const QString& projectFile, const TReportParams& params,
                        bool preview);

// Called with each run controller before it runs; tests direct its output
// with it. Empty in the program.
extern std::function<void(TZvSystem& system)> ReportSystemPrepared;
