#include "report/model/ZvDefine.h"

#include "platform/objects/ClassRegistry.h"
#include "report/print/QpDefine.h"

#include <QHash>

#include <utility>

namespace {

struct TZarvProcEntry {
    QString Key;
    TZarvProc Proc;
};

std::vector<TZarvProcEntry>& ZarvProcs()
{
    static std::vector<TZarvProcEntry> procs;
    return procs;
}

// Class names folded to upper case, so look-ups ignore case as the
// identifiers of the framework do.
QHash<QString, QString>& ModuleClasses()
{
    static QHash<QString, QString> classes;
    return classes;
}

} // namespace

void ZarvError(const QString& message)
{
    throw EZarvException(message);
}

// ---------------------------------------------------------------------------
// Registration procedures.

void RegisterZarvProc(const QString& key, TZarvProc proc)
{
    ZarvProcs().push_back({key, std::move(proc)});
}

void RunZarvProcs(const QString& key)
{
    const bool all = key == QLatin1String("*");
    // By index: a procedure may record further procedures, which then run in
    // this same walk.
    for (size_t i = 0; i < ZarvProcs().size(); ++i) {
        const TZarvProcEntry entry = ZarvProcs()[i];
        if ((all || AnsiCompare(entry.Key, key) == 0) && entry.Proc)
            entry.Proc();
    }
}

// ---------------------------------------------------------------------------
// Classes and modules.

void RegisterZarvComponents(const QString& page, const QString& pageCaption, const QString& moduleName,
                            const std::vector<const TClassInfo*>& classes)
{
    CallRegisterHook(page, pageCaption);
    RegisterZarvClasses(page, classes);
    RegisterZarvModuleClasses(moduleName, classes);
}

void RegisterZarvClasses(const QString& page, const std::vector<const TClassInfo*>& classes)
{
    if (DesignerRegisterClassesProc)
        DesignerRegisterClassesProc(page, classes);
}

void RegisterZarvModuleClasses(const QString& moduleName, const std::vector<const TClassInfo*>& classes)
{
    for (const TClassInfo* cls : classes) {
        if (!cls)
            continue;
        const QString key = cls->ClassName().toUpper();
        if (!ModuleClasses().contains(key))
            ModuleClasses().insert(key, moduleName);
    }
}

QString FindClassModule(const QString& className)
{
    return ModuleClasses().value(className.toUpper());
}

QString FindRegisteredClassName(const TClassInfo* cls)
{
    for (; cls; cls = cls->ClassParent()) {
        if (ModuleClasses().contains(cls->ClassName().toUpper()))
            return cls->ClassName();
    }
    return QString();
}

// ---------------------------------------------------------------------------
// Globals and hooks.

uint8_t InDesigner = 0;
TZarvDesigner* CurrentDesigner = nullptr;
TZarvComponent* PrintingBand = nullptr;
uint8_t ZarvReportRunning = 0;

std::function<void(const QString&, const QString&)> DesignerRegisterProc;
std::function<void(const QString&, const std::vector<const TClassInfo*>&)> DesignerRegisterClassesProc;
std::function<void(TZarvNativeFunc, const QString&, const QString&)> RegisterNativeFuncProc;
std::function<void(TZarvNativeFunc, const QString&, const QString&)> NativeFuncRegisterProc;
std::function<void(const QString&, const QString&)> UnregisterNativeFuncProc;
std::function<void(QStringList&)> CompilerSyntaxNamesProc;
std::function<TZarvModule*(TStream*, TZarvComponent*, TZarvComponent*)> ModuleFactoryProc;
std::function<void(TZarvComponent*)> BindModuleComponentsProc;
std::function<void(TZarvModule*)> BindModuleExternalsProc;
std::function<void(TZarvComponent*, const QString&)> ComponentRenamedProc;
std::function<void(TZarvComponent*)> ComponentAddedProc;
std::function<void(TZarvComponent*)> ComponentDeletedProc;
std::function<void(TZarvComponent*, bool)> ItemActiveProc;
std::function<void(bool)> DesignerModifiedProc;
std::function<void(const TClassInfo*, const QString&)> DataObjectRegisterProc;
std::function<void(TZarvCompileStatus*)> CompileErrorProc;
std::function<QString(const TClassInfo*, const QString&)> PropertyNameProc;
std::function<void(TZarvComponent*, TZarvComponent*)> DesignerNotifier;

void CallRegisterHook(const QString& page, const QString& pageCaption)
{
    if (DesignerRegisterProc)
        DesignerRegisterProc(page, pageCaption);
}

void RegisterNativeFuncHook(TZarvNativeFunc func, const QString& name, const QString& module)
{
    if (RegisterNativeFuncProc)
        RegisterNativeFuncProc(func, name, module);
}

TZarvModule* LoadModuleHook(TStream* stream, TZarvComponent* owner, TZarvComponent* projectItem)
{
    return ModuleFactoryProc ? ModuleFactoryProc(stream, owner, projectItem) : nullptr;
}

void BindModuleComponentsHook(TZarvComponent* projectItem)
{
    if (BindModuleComponentsProc)
        BindModuleComponentsProc(projectItem);
}

void BindModuleExternalsHook(TZarvModule* module)
{
    if (BindModuleExternalsProc)
        BindModuleExternalsProc(module);
}

void ComponentAdded(TZarvComponent* component)
{
    if (ComponentAddedProc && !ZarvReportRunning)
        ComponentAddedProc(component);
}

void ComponentDeleted(TZarvComponent* component)
{
    if (ComponentDeletedProc && !ZarvReportRunning)
        ComponentDeletedProc(component);
}

// A page's active state is already stored by Open and Close when this runs,
// so without a designer there is nothing left to do.
void ItemActiveChanged(TZarvComponent* item, bool active)
{
    if (ItemActiveProc)
        ItemActiveProc(item, active);
}

void RegisterDataObjectClass(const TClassInfo* cls, const QString& caption)
{
    if (DataObjectRegisterProc)
        DataObjectRegisterProc(cls, caption);
}

void ReportCompileError(TZarvCompileStatus* status)
{
    if (CompileErrorProc) {
        CompileErrorProc(status);
        return;
    }
    if (status)
        ZarvError(status->ErrorMsg);
}

QString MapPropertyName(const TClassInfo* cls, const QString& name)
{
    return PropertyNameProc ? PropertyNameProc(cls, name) : name;
}

void NotifyDesigner(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    if (DesignerNotifier)
        DesignerNotifier(oldComp, newComp);
}
