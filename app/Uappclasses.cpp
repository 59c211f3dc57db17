#include "app/Uappclasses.h"

#include "app/Uisoguide.h"
#include "app/Uplvzero.h"
#include "app/Uqfili.h"
#include "app/Utessvar.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/objects/ClassRegistry.h"

namespace {

template <class T> void RegisterWindow(const char* name)
{
    const QString className = QString::fromLatin1(name);
    if (!FindClass(className))
        RegisterClass<T>(className, QStringLiteral("TForm"));
}

} // namespace

void RegisterAppClasses()
{
    RegisterFormsClasses();
    RegisterWindow<TfTessvar>("TfTessvar");
    RegisterWindow<TfIsoguide>("TfIsoguide");
    RegisterWindow<TfQfili>("TfQfili");
    RegisterWindow<TfplvZero>("TfplvZero");
}
