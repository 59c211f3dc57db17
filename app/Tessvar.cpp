// Program entry. The program's resources (string table, form streams,
// pictures, version) are connected before anything else, then the
// localization library's resource-module utilities and localizer are made
// (nothing is restored from earlier runs; both go after the windows); then
// the classes
// of the windows are registered, the application object with the title
// "Tessvar" creates the windows once, in their fixed order, each into its
// global instance (the main window first), and the message loop runs until
// the main window closes or Exit is pressed. An exception that escapes the
// start-up is shown by the application's exception dialog. With the start-up
// probe asked for in the environment the program ends as soon as the main
// window has painted (the start-up benchmark times it), and writes out and
// answers every message box before then.
//
// The entry is the one place that knows every window folder: the windows of
// gauges/ stand above the main window's folder and are reached from it only
// through the application object, by name.
#include "app/Uappclasses.h"
#include "app/Uisoguide.h"
#include "app/Uplvzero.h"
#include "app/Uqfili.h"
#include "app/Ustartupprobe.h"
#include "app/Utessvar.h"
#include "gauges/Ucalibreselect.h"
#include "gauges/Ucalibreselect2.h"
#include "gauges/Ugasselclass.h"
#include "gauges/Ugaugesclasses.h"
#include "gauges/Uinstol.h"
#include "gauges/Uinsuns.h"
#include "gauges/Unpdia.h"
#include "gauges/Uprocess.h"
#include "gauges/Uprocess2.h"
#include "gauges/Utwbr.h"
#include "gauges/Utwsca.h"
#include "gauges/Utwwhitworth.h"
#include "gauges/Uwansiasme1.h"
#include "localization/LocOnFly.h"
#include "localization/PEResourceImage.h"
#include "platform/forms/EventBoundary.h"
#include "platform/forms/Forms.h"
#include "platform/rtl/SafeSave.h"
#include "report/components/ZvLEFuncs.h"
#include "report/components/ZvLERun.h"
#include "report/model/ZvDatabase.h"
#include "report/print/QpSystem.h"
#include "resources/ProgramResources.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessvar"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessvar"));
    std::unique_ptr<TApplication> application;
    const bool probed = qEnvironmentVariableIsSet(StartUpProbeVariable);
    if (probed)
        InstallStartUpMessageProbe();
    try {
        InitProgramResources(ProgramResourceImageBytes());
        InitScriptEngine();
        RecordScriptLibraryProcs();
        InitLocalization();
        RegisterAppClasses();
        RegisterGaugesClasses();
        RegisterReportPrintClasses();
        RecordDataLinkProcs();
        application = std::make_unique<TApplication>();
        application->SetTitle(QStringLiteral("Tessvar"));
        application->CreateForm(fTessvar);
        application->CreateForm(fCalibreSelect);
        application->CreateForm(fProcess);
        application->CreateForm(fInsTol);
        application->CreateForm(fInsUNS);
        application->CreateForm(fwAnsiAsme1);
        application->CreateForm(fNPDia);
        application->CreateForm(fGasSelClass);
        application->CreateForm(fTwSCA);
        application->CreateForm(fTwWhitworth);
        application->CreateForm(fTwBR);
        application->CreateForm(fIsoguide);
        application->CreateForm(fProcess2);
        application->CreateForm(fCalibreSelect2);
        application->CreateForm(fQfili);
        application->CreateForm(fplvZero);
    } catch (...) {
        HandleEventException();
        application.reset();
        DoneLocalization();
        return 1;
    }
    if (probed)
        InstallStartUpProbe(fTessvar->Widget());
    application->Run();
    application.reset(); // the windows and their report projects go first
    DoneLocalization();
    DoneScriptEngine();
    return 0;
}
