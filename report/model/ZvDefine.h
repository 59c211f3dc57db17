#pragma once
// ZvDefine: what the whole report model shares at its base: the exception
// classes and ZarvError, the list of registration procedures that units record
// at start-up and the project component runs later, the registry that maps a
// report component class to the unit ("module") that declares it, and the
// hooks through which the model calls code it does not know (a designer, the
// script engine's module factory and native-function registry). Every hook is
// called through a forwarder that does nothing, or a stated default, while the
// hook is empty; in this program only the script engine fills hooks.
#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class TClassInfo;
class TStream;
class TZarvComponent;
class TZarvDesigner;
class TZarvEvent;
class TZarvModule;

// Stream, file and data errors of the report model.
RTL_EXCEPTION_CLASS(EZarvException, Exception);
// Structural misuse of the report model (a child for a class that keeps none).
RTL_EXCEPTION_CLASS(EZarvClass, Exception);
// Compiler and symbol errors of the script engine. It carries the position
// the compiler had reached and the event whose generated source holds it, so
// that the project's Compile can report them.
class EZarvCompiler : public Exception {
public:
    using Exception::Exception;
    int32_t ErrorLine = 0;
    int32_t ErrorCol = 0;
    TZarvEvent* ErrorEvent = nullptr;
};

// Raises EZarvException with the message as given; callers translate it
// (Translate of report/print/QpDefine.h) before they call this.
[[noreturn]] void ZarvError(const QString& message);

// ---------------------------------------------------------------------------
// Registration procedures.

using TZarvProc = std::function<void()>;

// Appends (key, proc) to the list of registration procedures. Every
// registering unit records its procedure under the key "ZVCL" from its
// start-up function.
void RegisterZarvProc(const QString& key, TZarvProc proc);
// Runs, in recording order, every procedure whose key equals key without
// regard to case; the key "*" runs them all. Procedures stay recorded, so a
// second call runs them again.
void RunZarvProcs(const QString& key);

// ---------------------------------------------------------------------------
// Report component classes and the modules that declare them. A class is
// first registered with the class registry (RegisterClass of
// platform/objects/ClassRegistry.h) by its unit's registration procedure;
// these functions then announce it to a designer and record its module.

// Announces the classes to a designer's palette page (PageCaption is the
// translated caption), then records their module.
void RegisterZarvComponents(const QString& page, const QString& pageCaption, const QString& moduleName,
                            const std::vector<const TClassInfo*>& classes);
// Hands the classes to DesignerRegisterClassesProc when a designer set it;
// the class registry already holds them.
void RegisterZarvClasses(const QString& page, const std::vector<const TClassInfo*>& classes);
// Records moduleName for every class not recorded yet (the first
// registration of a class name wins).
void RegisterZarvModuleClasses(const QString& moduleName, const std::vector<const TClassInfo*>& classes);
// The module recorded for a class name (without regard to case); empty when
// none.
QString FindClassModule(const QString& className);
// The name of the nearest class, from cls up through its ancestors, that has
// a recorded module; empty when none has.
QString FindRegisteredClassName(const TClassInfo* cls);

// ---------------------------------------------------------------------------
// Global state. Nothing in this program sets InDesigner or CurrentDesigner.

extern uint8_t InDesigner;             // non-zero while a designer runs
extern TZarvDesigner* CurrentDesigner; // the designer showing a page
extern TZarvComponent* PrintingBand;   // the band printing its controls, set by the band
extern uint8_t ZarvReportRunning;      // set while a report runs its private project copy

// A compile error handed back by the script compiler.
struct TZarvCompileStatus {
    int32_t ErrorLine = 0;
    int32_t ErrorCol = 0;
    TZarvEvent* ErrorEvent = nullptr; // the event the error lies in
    QString ErrorMsg;
};

// An opaque native function of the script engine; the engine alone knows
// what it points at.
using TZarvNativeFunc = const void*;

// ---------------------------------------------------------------------------
// Hooks (empty at start).

extern std::function<void(const QString& page, const QString& pageCaption)> DesignerRegisterProc;
extern std::function<void(const QString& page, const std::vector<const TClassInfo*>& classes)>
    DesignerRegisterClassesProc;
extern std::function<void(TZarvNativeFunc func, const QString& name, const QString& module)>
    RegisterNativeFuncProc;
extern std::function<void(TZarvNativeFunc func, const QString& name, const QString& module)>
    NativeFuncRegisterProc;
extern std::function<void(const QString& name, const QString& module)> UnregisterNativeFuncProc;
extern std::function<void(QStringList& names)> CompilerSyntaxNamesProc;
// Makes a module: read from stream when one is given, else an empty module
// bound to the owner's project. The caller owns the result.
extern std::function<TZarvModule*(TStream* stream, TZarvComponent* owner, TZarvComponent* projectItem)>
    ModuleFactoryProc;
extern std::function<void(TZarvComponent* projectItem)> BindModuleComponentsProc;
extern std::function<void(TZarvModule* module)> BindModuleExternalsProc;
extern std::function<void(TZarvComponent* component, const QString& newName)> ComponentRenamedProc;
extern std::function<void(TZarvComponent* component)> ComponentAddedProc;
extern std::function<void(TZarvComponent* component)> ComponentDeletedProc;
extern std::function<void(TZarvComponent* item, bool active)> ItemActiveProc;
extern std::function<void(bool modified)> DesignerModifiedProc;
extern std::function<void(const TClassInfo* cls, const QString& caption)> DataObjectRegisterProc;
extern std::function<void(TZarvCompileStatus* status)> CompileErrorProc;
extern std::function<QString(const TClassInfo* cls, const QString& name)> PropertyNameProc;
// The designer's notification of a component that came (old null) or went
// (new null).
extern std::function<void(TZarvComponent* oldComp, TZarvComponent* newComp)> DesignerNotifier;

// Forwarders.
void CallRegisterHook(const QString& page, const QString& pageCaption);
void RegisterNativeFuncHook(TZarvNativeFunc func, const QString& name, const QString& module);
TZarvModule* LoadModuleHook(TStream* stream, TZarvComponent* owner, TZarvComponent* projectItem);
void BindModuleComponentsHook(TZarvComponent* projectItem);
void BindModuleExternalsHook(TZarvModule* module);
// Nothing while ZarvReportRunning is set.
void ComponentAdded(TZarvComponent* component);
void ComponentDeleted(TZarvComponent* component);
void ItemActiveChanged(TZarvComponent* item, bool active);
void RegisterDataObjectClass(const TClassInfo* cls, const QString& caption);
// Without a designer: raises EZarvException with the status's message; a
// null status does nothing.
void ReportCompileError(TZarvCompileStatus* status);
// The designer's name for a property; name unchanged without a designer.
QString MapPropertyName(const TClassInfo* cls, const QString& name);
void NotifyDesigner(TZarvComponent* oldComp, TZarvComponent* newComp);
