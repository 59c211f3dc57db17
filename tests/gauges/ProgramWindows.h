#pragma once
// The program's windows as the application object makes them at start, in
// the program's order, read from the program's resource image, with no
// settings files; the main window shown. Freed, with the resource module
// and the number separators put back, when this object goes.
#include "app/Utessvar.h"
#include "app/core/Iregistry.h"
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
#include "localization/PEResourceImage.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/rtl/NumberText.h"
#include "report/print/QpSystem.h"
#include "resources/ProgramResources.h"

#include <QDir>

#include <memory>

class TProgramWindows {
public:
    TProgramWindows()
    {
        InitProgramResources(ProgramResourceImageBytes());
        RegisterGaugesClasses();
        RegisterReportPrintClasses(); // the report run's windows, as the program registers them
        QDir(ProgramDataRoot() + QStringLiteral("/Dravinel")).removeRecursively();
        SetIRegistryFolder(OstrivalDataFolder);
        SetDecimalSeparator(u'.');
        App = std::make_unique<TApplication>();
        App->SetTitle(QStringLiteral("Tessvar"));
        App->CreateForm(fTessvar);
        App->CreateForm(fCalibreSelect);
        App->CreateForm(fProcess);
        App->CreateForm(fInsTol);
        App->CreateForm(fInsUNS);
        App->CreateForm(fwAnsiAsme1);
        App->CreateForm(fNPDia);
        App->CreateForm(fGasSelClass);
        App->CreateForm(fTwSCA);
        App->CreateForm(fTwWhitworth);
        App->CreateForm(fTwBR);
        App->CreateForm(fProcess2);
        App->CreateForm(fCalibreSelect2);
        fTessvar->Show();
    }
    ~TProgramWindows()
    {
        App.reset();
        ResetNumberSeparators();
        ResetResourceModule();
    }
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    std::unique_ptr<TApplication> App;
};
