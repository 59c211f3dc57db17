#pragma once
// ZvLEModule: TRCPUModule, the script engine's compiled module: its byte code,
// data segment, symbol table (scopes over the type and identifier lists), the
// modules it imports, its native-function slots and the parameters of its next
// run; loaded from and saved to the module file (".zvc"), run on the virtual
// CPU (ZvLERun.h), and bound to the project's components and events.
//
// Module file, field by field (TStreamHelper primitives): String name; Byte
// marker 26 (skipped when read); Word major and Word minor version; Double
// compile date; Index used-module count and a String per used module ("" for
// none, "+Name" for the module of a project item, resolved later by
// ResolveImports); the type list and the identifier list (ZvLEType.h,
// ZvLEID.h); Index data size; Index code size and the code (native slots
// written as zeros); Index stack size; Index start, create and destroy
// offsets; Index external count and per external String name and Index slot
// offset.
//
// A reader refuses (EReadError on short data, EZarvException otherwise, the
// module freed) unknown kinds, references to types not read yet, sizes beyond
// 32 bits, data or stack sizes above kMaxModuleDataSize / kMaxModuleStackSize,
// and entry or slot offsets outside the code. A used module that cannot be
// found keeps its number as an empty place, so later numbers still match the
// file; reaching it raises "Could not load module [Name]".
//
// No script compiler is part of this program: compiler classes can be
// registered (RegisterCompilerClass), and BuildSource and Compile raise
// "Compiler not found." while none is.
#include "report/components/ZvLEDefine.h"
#include "report/components/ZvLEID.h"
#include "report/components/ZvLEType.h"
#include "report/model/ZvEvent.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

class TRCPUModule;
class TStream;
class TZarvComponent;
class TZarvProjectItem;

constexpr int32_t kMaxModuleDataSize = 16 * 1024 * 1024;  // bytes
constexpr int32_t kMaxModuleStackSize = 16 * 1024 * 1024; // bytes
// Zero bytes kept after a module's code: more than the longest instruction,
// so the CPU decodes an instruction without a check per byte and tests once
// that it ended inside the code.
constexpr int32_t kCodePadding = 32;

// Turns types into (module number, type number) pairs relative to a module.
class TModuleTypeHelper : public TTypeHelper {
public:
    explicit TModuleTypeHelper(TRCPUModule* module) : FModule(module) {}
    TBaseType* IndexToType(int32_t moduleIndex, int32_t typeIndex) override;
    void TypeToIndex(const TBaseType* type, int32_t& moduleIndex, int32_t& typeIndex) override;

private:
    TRCPUModule* FModule;
};

// One scope's types and identifiers; the module level has no parent.
class TScopeManager {
public:
    // Becomes the owner's current scope.
    TScopeManager(TScopeManager* parent, TRCPUModule* owner);

    TScopeManager* Parent() const { return FParent; }
    TTypeManager& Types() { return FTypeManager; }
    TIDManager& IDs() { return FIDManager; }

    void LoadFromStreamHelper(TStreamHelper& stream);
    void SaveToStreamHelper(TStreamHelper& stream);
    // This scope's identifiers, then the enclosing scopes'.
    TBaseID* FindID(const QString& id);
    // A duplicate name is refused: null.
    TBaseID* AddType(const QString& id, TBaseType* baseType);
    TBaseID* AddOp(const QString& id, TOpKind opKind);
    TBaseID* AddFunc(const QString& id, TBaseType* baseType);
    // Frame-relative below BP in a nested scope, else in the data segment.
    TBaseID* AddVar(const QString& id, TBaseType* baseType);
    // data: the value's bytes; for a string type a QString.
    TBaseID* AddConst(const QString& id, TBaseType* baseType, const void* data);
    void PushObjectScope(TVarID* object);
    void PopObjectScope();
    TVarID* FindObjectScope(const QString& id);
    void ClearData() { DataIdx = 0; }

    int32_t DataIdx = 0;

private:
    TRCPUModule* FOwner;
    TScopeManager* FParent;
    TTypeManager FTypeManager;
    TIDManager FIDManager;
    std::vector<TVarID*> FObjectScope; // newest first
};

// A script compiler: nothing in this program registers one.
class TZarvCompiler {
public:
    virtual ~TZarvCompiler() = default;
    virtual QString SyntaxName() const { return QString(); }
    virtual void CompileStream(const QString& source, const QString& fileName, TRCPUModule* module,
                               bool definition) = 0;
};
using TZarvCompilerFactory = std::function<std::unique_ptr<TZarvCompiler>()>;
void RegisterCompilerClass(const QString& syntaxName, TZarvCompilerFactory factory);
void UnregisterCompilerClasses();
// A new compiler of the first class registered for the syntax (without
// regard to case); null when none.
std::unique_ptr<TZarvCompiler> FindCompilerClass(const QString& syntaxName);
void GetCompilerSyntaxNames(QStringList& names);

class TRCPUModule : public TZarvModule {
public:
    // A new empty module: "Module1", versions 770 and 2, compiled now, stack
    // 16384 bytes, no code and no data.
    TRCPUModule();
    ~TRCPUModule() override;

    // Reads the module file at the stream's position; projectItem owns the
    // module, owner gives its project.
    static std::unique_ptr<TRCPUModule> CreateFromStream(TStream& stream, TZarvComponent* owner,
                                                         TZarvComponent* projectItem);
    // Reads fileName + ".zvc".
    static std::unique_ptr<TRCPUModule> CreateFromFile(const QString& fileName, TZarvComponent* owner);
    void SaveToStream(TStream& stream) override;
    // Saves as fileName + ".zvc"; an empty fileName, or one ending in "/",
    // raises EFileSaveError and writes nothing.
    void SaveToFile(const QString& fileName);

    void ResolveImports() override;
    // Finds the module of that name among the project's items or modules and
    // appends it; null (nothing appended) when none.
    TRCPUModule* AddModule(const QString& moduleName);
    void AddExternal(const QString& id, int32_t offset);
    const TExternalFunc* FindExternal(const QString& id) const;
    const std::map<QString, TExternalFunc>& Externals() const { return FExternalList; }
    // The name of the external whose slot is at offset; empty when none.
    QString ExternalAt(int32_t offset) const;

    // Running.
    void Execute(int32_t position, std::unique_ptr<TObject>& suspendState) override;
    void PushParam(const TZarvParam& param) override;
    const std::vector<TZarvParam>& Params() const { return FParams; }
    void Init();
    std::vector<uint8_t>& GetDataBuf();
    void SetDataSize(int32_t size);
    int32_t DataSize() const { return FDataSize; }
    std::span<const uint8_t> Code() const { return {FCode.data(), size_t(FCodeSize)}; }
    // The code followed by kCodePadding zero bytes.
    const uint8_t* PaddedCode() const { return FCode.data(); }
    void SetCode(std::vector<uint8_t> code);
    // Writes a 32-bit word into the code (a native slot); false when it does
    // not fit inside the code.
    bool PatchCode(int32_t offset, uint32_t word);
    int32_t StartCO() const { return FStartCO; }
    void SetStartCO(int32_t value) { FStartCO = value; }
    int32_t CreateCO() const { return FCreateCO; }
    int32_t DestroyCO() const { return FDestroyCO; }
    int32_t StackSize() const { return FStackSize; }
    void SetStackSize(int32_t value) { FStackSize = value; }
    uint16_t MajorVersion() const { return FMajorVersion; }
    uint16_t MinorVersion() const { return FMinorVersion; }
    double CompileDate() const { return FCompileDate; }

    // The CPU's view: the module's handle, and the addresses of its data and
    // code in the CPU's address space (mapped on first use).
    uint32_t Handle() const { return FHandle; }
    static TRCPUModule* FromHandle(uint32_t handle);
    uint32_t DataAddress();
    uint32_t CodeAddress();

    // Variables of the module by name.
    void SetStringVar(const QString& name, const QString& value) override;
    QString GetStringVar(const QString& name) override;
    void SetIntVar(const QString& name, int32_t value) override;
    int32_t GetIntVar(const QString& name) override;
    void SetFloatVar(const QString& name, double value) override;
    double GetFloatVar(const QString& name) override;

    void Changing(TZarvModule* oldModule, TZarvModule* newModule) override;

    // Symbols.
    TScopeManager* Scope() const { return FScope; }
    void SetScope(TScopeManager* scope) { FScope = scope; }
    TTypeHelper* TypeHelper() { return &FTypeHelper; }
    TBaseType* CreateType(std::unique_ptr<TBaseType> type);
    TBaseID* AddType(const QString& id, TBaseType* type) { return FScope->AddType(id, type); }
    TBaseID* AddVar(const QString& id, TBaseType* type) { return FScope->AddVar(id, type); }
    TBaseID* AddOp(const QString& id, TOpKind opKind) { return FScope->AddOp(id, opKind); }
    TBaseID* AddFunc(const QString& id, TBaseType* type) { return FScope->AddFunc(id, type); }
    TBaseID* AddConst(const QString& id, TBaseType* type, const void* data)
    {
        return FScope->AddConst(id, type, data);
    }
    TBaseID* FindInternalID(const QString& id) { return FScope->FindID(id); }
    TBaseID* FindID(const QString& id);
    TBaseType* FindType(const QString& id);
    // 0: this module; n: used module n - 1 (null when absent or not found).
    TRCPUModule* IndexToModule(int32_t index);
    int32_t ModuleToIndex(const TRCPUModule* module) const;
    int UsedModuleCount() const { return int(FUsedModules.size()); }
    // The name recorded for used module n (1-based).
    QString UsedModuleName(int32_t index) const;
    TBaseType* IndexToType(int32_t index) const;
    int32_t TypeToIndex(const TBaseType* type) const { return type ? type->Index() : 0; }
    void CreateScopeLevel();
    void FreeScopeLevel();
    TRCPUModule* GetParentModule();

    // Project binding.
    TZarvComponent* ProjectItem() const { return FProjectItem; }
    TZarvComponent* ProjectManager() const { return FProjectManager; }
    void SetProjectBinding(TZarvComponent* projectManager, TZarvComponent* projectItem)
    {
        FProjectManager = projectManager;
        FProjectItem = projectItem;
    }
    void EventConnect() override;
    void Compile(bool definition) override;
    void BuildSource() override;
    const QString& Source() const { return FSource; }
    const std::vector<std::pair<QString, TZarvEvent*>>& EventList() const { return FEventList; }
    const std::vector<TZarvEvent*>& SourceRefList() const { return FSourceRefList; }

private:
    struct TUsedModule {
        uint32_t Handle = 0; // 0 while not resolved or not found
        QString Name;
    };
    void LoadFromStream(TStream& stream);
    void ReadUsedModules(TStreamHelper& stream);
    TBaseID* FindInUsed(const QString& id, bool deep, std::vector<QString>& visited, TRCPUModule*& where);
    int32_t AppendUsed(TRCPUModule* module);
    // The data slot of a module variable: null for a name no identifier has;
    // EInvalidCast for another kind of identifier.
    uint8_t* VarSlot(const QString& name, int32_t size);
    void UnmapData();
    void AddSourceLine(const QString& line);

    std::vector<TUsedModule> FUsedModules;
    std::map<QString, TExternalFunc> FExternalList;
    std::unique_ptr<std::vector<std::pair<QString, int>>> FForwardRefList;
    std::vector<TZarvParam> FParams;
    uint16_t FMajorVersion = 770;
    uint16_t FMinorVersion = 2;
    double FCompileDate = 0;
    std::vector<std::unique_ptr<TScopeManager>> FScopes; // module level first
    TScopeManager* FScope = nullptr;
    TModuleTypeHelper FTypeHelper;
    std::vector<uint8_t> FDataBuf;
    bool FDataAllocated = false;
    int32_t FDataSize = 0;
    std::vector<uint8_t> FCode = std::vector<uint8_t>(size_t(kCodePadding)); // code, then the padding
    int32_t FCodeSize = 0;
    int32_t FStartCO = 0;
    int32_t FCreateCO = 0;
    int32_t FDestroyCO = 0;
    int32_t FStackSize = 16384;
    QString FSource;
    int32_t FSourceLines = 0;
    std::vector<std::pair<QString, TZarvEvent*>> FEventList;
    std::vector<TZarvEvent*> FSourceRefList;
    TZarvComponent* FProjectItem = nullptr;
    TZarvComponent* FProjectManager = nullptr;
    std::unique_ptr<TZarvCompiler> FCompiler;
    TRCPUModule* FParentModule = nullptr;
    uint32_t FHandle = 0;
    uint32_t FDataAddress = 0;
    uint32_t FCodeAddress = 0;
};

// Hooks of the report model (installed by InitScriptEngine).
// A module read from stream, or without one an empty module of owner's
// project owned by projectItem.
TZarvModule* NewRCPUModule(TStream* stream, TZarvComponent* owner, TZarvComponent* projectItem);
// Zeroes the item's module data, then gives the module variables named after
// the project (for the project manager) and the item's components their
// handles.
void BindModuleComponents(TZarvComponent* projectItem);
