#include "app/Uappclasses.h"

#include "app/Uisoguide.h"
#include "app/Uplvzero.h"
#include "app/Uqfili.h"
#include "app/Utessvar.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/objects/ClassRegistry.h"
#include "report/components/QpZarv.h"

void RegisterAppClasses()
{
    RegisterFormsClasses();
    // The main window holds a report project component; the report units
    // register their classes when the first one is made.
    RecordReportWriterProcs();
    RegisterProjectComponentClass();
    RegisterWindow<TfTessvar>("TfTessvar");
    RegisterWindow<TfIsoguide>("TfIsoguide");
    RegisterWindow<TfQfili>("TfQfili");
    RegisterWindow<TfplvZero>("TfplvZero");
}
