#include "report/components/ZvLEModule.h"

#include "platform/objects/TypInfo.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Extended80.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "report/components/ZvLERun.h"
#include "report/components/ZvLEUtil.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvItem.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpDefine.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

std::unordered_map<uint32_t, TRCPUModule*>& ModuleHandles()
{
    static std::unordered_map<uint32_t, TRCPUModule*> handles;
    return handles;
}
uint32_t gNextModuleHandle = 1;

// Names of the modules being read, so that modules that use each other do not
// read each other's files for ever.
std::vector<QString>& ModulesLoading()
{
    static std::vector<QString> loading;
    return loading;
}

struct TCompilerClass {
    QString SyntaxName;
    TZarvCompilerFactory Factory;
};
std::vector<TCompilerClass>& CompilerClasses()
{
    static std::vector<TCompilerClass> classes;
    return classes;
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

TRCPUModule* ModuleOfItem(TComponent* component)
{
    auto* item = dynamic_cast<TZarvProjectItem*>(component);
    return item ? dynamic_cast<TRCPUModule*>(item->Module()) : nullptr;
}

// The module of the project item named name among those component owns, then
// up the owner chain; component's own module when its name matches.
TRCPUModule* FindModuleItem(TComponent* component, const QString& name)
{
    while (component) {
        for (int i = 0; i < component->ComponentCount(); ++i) {
            TRCPUModule* module = ModuleOfItem(component->Components(i));
            if (module && SameName(module->ModuleName(), name))
                return module;
        }
        if (dynamic_cast<TZarvProjectItem*>(component->Owner())) {
            component = component->Owner();
            continue;
        }
        TRCPUModule* own = ModuleOfItem(component);
        return own && SameName(own->ModuleName(), name) ? own : nullptr;
    }
    return nullptr;
}

bool IsReportOrProject(TZarvComponent* item)
{
    return item && (item->ItemKind() == TZarvItemKind::ikProjectManager ||
                    item->ItemKind() == TZarvItemKind::ikReport);
}

// Where the items of a module's imports are looked for: the item itself for
// the project manager and reports, else its owner.
TComponent* ImportSearchRoot(TZarvComponent* item)
{
    return IsReportOrProject(item) ? item : item->Owner();
}

} // namespace

// ---------------------------------------------------------------------------
// Compiler classes.

void RegisterCompilerClass(const QString& syntaxName, TZarvCompilerFactory factory)
{
    CompilerClasses().push_back(TCompilerClass{syntaxName, std::move(factory)});
}

void UnregisterCompilerClasses()
{
    CompilerClasses().clear();
}

std::unique_ptr<TZarvCompiler> FindCompilerClass(const QString& syntaxName)
{
    for (const TCompilerClass& entry : CompilerClasses()) {
        if (SameName(entry.SyntaxName, syntaxName))
            return entry.Factory();
    }
    return nullptr;
}

void GetCompilerSyntaxNames(QStringList& names)
{
    names.clear();
    for (const TCompilerClass& entry : CompilerClasses())
        names.append(entry.SyntaxName);
}

// ---------------------------------------------------------------------------
// TModuleTypeHelper.

TBaseType* TModuleTypeHelper::IndexToType(int32_t moduleIndex, int32_t typeIndex)
{
    if (moduleIndex == 0 && typeIndex == 0)
        return nullptr;
    if (moduleIndex < 0 || moduleIndex > FModule->UsedModuleCount())
        BadModuleFile(QStringLiteral("type reference to module %1").arg(moduleIndex));
    TRCPUModule* module = FModule->IndexToModule(moduleIndex);
    if (!module) // an import not resolved or not found: its types are unknown
        return nullptr;
    TBaseType* type = module->IndexToType(typeIndex);
    if (!type)
        BadModuleFile(QStringLiteral("type reference %1 of module %2").arg(typeIndex).arg(moduleIndex));
    return type;
}

void TModuleTypeHelper::TypeToIndex(const TBaseType* type, int32_t& moduleIndex, int32_t& typeIndex)
{
    moduleIndex = 0;
    typeIndex = 0;
    if (!type)
        return;
    const auto* owner = static_cast<const TRCPUModule*>(type->Owner());
    if (owner && owner != FModule) {
        moduleIndex = FModule->ModuleToIndex(owner);
        if (moduleIndex == 0)
            return; // a type of a module not used: none
    }
    typeIndex = type->Index();
}

// ---------------------------------------------------------------------------
// TScopeManager.

TScopeManager::TScopeManager(TScopeManager* parent, TRCPUModule* owner)
    : FOwner(owner), FParent(parent), FTypeManager(owner, owner->TypeHelper()),
      FIDManager(owner->TypeHelper())
{
    owner->SetScope(this);
}

void TScopeManager::LoadFromStreamHelper(TStreamHelper& stream)
{
    FTypeManager.LoadFromStreamHelper(stream);
    FIDManager.LoadFromStreamHelper(stream);
}

void TScopeManager::SaveToStreamHelper(TStreamHelper& stream)
{
    FTypeManager.SaveToStreamHelper(stream);
    FIDManager.SaveToStreamHelper(stream);
}

TBaseID* TScopeManager::FindID(const QString& id)
{
    for (TScopeManager* scope = this; scope; scope = scope->FParent) {
        if (TBaseID* found = scope->FIDManager.Find(id))
            return found;
    }
    return nullptr;
}

TBaseID* TScopeManager::AddType(const QString& id, TBaseType* baseType)
{
    return FIDManager.Add(std::make_unique<TTypeID>(id, baseType));
}

TBaseID* TScopeManager::AddOp(const QString& id, TOpKind opKind)
{
    return FIDManager.Add(std::make_unique<TOpID>(id, nullptr, opKind));
}

TBaseID* TScopeManager::AddFunc(const QString& id, TBaseType* baseType)
{
    return FIDManager.Add(std::make_unique<TFuncID>(id, baseType));
}

TBaseID* TScopeManager::AddVar(const QString& id, TBaseType* baseType)
{
    const int32_t size = baseType ? baseType->GetSize() : 0;
    TAddress address;
    if (FParent) {
        address.Loc = TAddressLoc::alBP;
        address.Offset = -(size + DataIdx);
    } else {
        address.Loc = TAddressLoc::alDS;
        address.Offset = DataIdx;
    }
    TBaseID* added = FIDManager.Add(std::make_unique<TVarID>(id, baseType, address));
    if (added)
        DataIdx += size;
    return added;
}

TBaseID* TScopeManager::AddConst(const QString& id, TBaseType* baseType, const void* data)
{
    if (!baseType || baseType->TypeKind() == ZvLE::TTypeKind::tkComplex)
        RaiseCompilerException(Translate(QStringLiteral("Only simple constant types allowed")));
    if (baseType->TypeKind() == ZvLE::TTypeKind::tkString) {
        const QString text = data ? *static_cast<const QString*>(data) : QString();
        QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        return FIDManager.Add(std::make_unique<TConstID>(id, baseType, bytes, int32_t(text.size())));
    }
    const int32_t size = baseType->GetSize();
    QByteArray bytes(size, '\0');
    if (data)
        std::memcpy(bytes.data(), data, size_t(size));
    return FIDManager.Add(std::make_unique<TConstID>(id, baseType, bytes, size));
}

void TScopeManager::PushObjectScope(TVarID* object)
{
    FObjectScope.insert(FObjectScope.begin(), object);
}

void TScopeManager::PopObjectScope()
{
    if (!FObjectScope.empty())
        FObjectScope.erase(FObjectScope.begin());
}

TVarID* TScopeManager::FindObjectScope(const QString& id)
{
    for (TVarID* object : FObjectScope) {
        auto* cls = dynamic_cast<TClassType*>(object->BaseType());
        int32_t offset = 0;
        int32_t index = 0;
        TStructureMember* member = nullptr;
        if (cls && cls->FindMember(id, ScopeBit(TScope::scPublic), offset, member, index))
            return object;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// TRCPUModule: construction and files.

TRCPUModule::TRCPUModule() : FCompileDate(Now()), FTypeHelper(this)
{
    FModuleName = QStringLiteral("Module1");
    FScopes.push_back(std::make_unique<TScopeManager>(nullptr, this));
    while (FHandle == 0 || ModuleHandles().count(FHandle))
        FHandle = gNextModuleHandle++;
    ModuleHandles()[FHandle] = this;
}

TRCPUModule::~TRCPUModule()
{
    ModuleHandles().erase(FHandle);
    UnmapData();
    if (FCodeAddress && ScriptEngineStarted())
        RCPUMemory().Unmap(FCodeAddress);
    // Types refer to each other and identifiers to types: identifiers go
    // first, then the scopes from the innermost.
    while (!FScopes.empty())
        FScopes.pop_back();
}

TRCPUModule* TRCPUModule::FromHandle(uint32_t handle)
{
    const auto found = ModuleHandles().find(handle);
    return found == ModuleHandles().end() ? nullptr : found->second;
}

std::unique_ptr<TRCPUModule> TRCPUModule::CreateFromStream(TStream& stream, TZarvComponent* owner,
                                                           TZarvComponent* projectItem)
{
    auto module = std::make_unique<TRCPUModule>();
    module->FProjectItem = projectItem;
    module->FProjectManager = owner ? (owner->Project() ? owner->Project() : owner) : nullptr;
    module->LoadFromStream(stream);
    return module;
}

// A module file that cannot be read names itself in the error.
std::unique_ptr<TRCPUModule> TRCPUModule::CreateFromFile(const QString& fileName, TZarvComponent* owner)
{
    const QString path = fileName + QStringLiteral(".zvc");
    try {
        TMemoryStream stream;
        stream.LoadFromFile(path);
        stream.SetPosition(0);
        return CreateFromStream(stream, owner, nullptr);
    } catch (Exception& error) {
        AddFileName(error, path);
        throw;
    }
}

void TRCPUModule::LoadFromStream(TStream& stream)
{
    TStreamHelper helper(stream);
    FModuleName = helper.ReadString();
    helper.ReadByte(); // the marker
    FMajorVersion = helper.ReadWord();
    FMinorVersion = helper.ReadWord();
    FCompileDate = helper.ReadDouble();
    FForwardRefList = std::make_unique<std::vector<std::pair<QString, int>>>();
    ReadUsedModules(helper);

    FScopes.clear();
    FScopes.push_back(std::make_unique<TScopeManager>(nullptr, this));
    FScope->LoadFromStreamHelper(helper);

    const int32_t dataSize = helper.ReadIndex();
    if (dataSize > kMaxModuleDataSize)
        BadModuleFile(QStringLiteral("data size %1 above %2").arg(dataSize).arg(kMaxModuleDataSize));
    SetDataSize(dataSize);
    FDataAllocated = false;
    FDataBuf.clear();

    const int32_t codeSize = helper.ReadIndex();
    helper.CheckBytesLeft(codeSize);
    std::vector<uint8_t> code(static_cast<size_t>(codeSize));
    helper.Read(code.data(), codeSize);
    SetCode(std::move(code));

    FStackSize = helper.ReadIndex();
    if (FStackSize > kMaxModuleStackSize)
        BadModuleFile(QStringLiteral("stack size %1 above %2").arg(FStackSize).arg(kMaxModuleStackSize));
    const auto entry = [&](const char* what) {
        const int32_t offset = helper.ReadIndex();
        if (offset != 0 && offset >= codeSize)
            BadModuleFile(
                QStringLiteral("%1 offset %2 outside the code").arg(QLatin1String(what)).arg(offset));
        return offset;
    };
    FStartCO = entry("start");
    FCreateCO = entry("create");
    FDestroyCO = entry("destroy");

    const int32_t externals = helper.ReadIndex();
    helper.CheckBytesLeft(int64_t(externals) * 2);
    for (int32_t i = 0; i < externals; ++i) {
        const QString name = helper.ReadString();
        const int32_t offset = helper.ReadIndex();
        if (int64_t(offset) + 4 > codeSize)
            BadModuleFile(QStringLiteral("slot of %1 at %2 outside the code").arg(name).arg(offset));
        AddExternal(name, offset);
    }
}

void TRCPUModule::ReadUsedModules(TStreamHelper& helper)
{
    const int32_t count = helper.ReadIndex();
    helper.CheckBytesLeft(count);
    ModulesLoading().push_back(FModuleName);
    try {
        for (int32_t i = 0; i < count; ++i) {
            const QString name = helper.ReadString();
            const int place = int(FUsedModules.size());
            if (name.startsWith(QLatin1Char('+'))) {
                FForwardRefList->emplace_back(name.mid(1), place);
                FUsedModules.push_back(TUsedModule{0, name.mid(1)});
            } else if (!AddModule(name)) {
                // Kept as an empty place, so the numbers after it still
                // match the file.
                FUsedModules.push_back(TUsedModule{0, name});
            }
        }
    } catch (...) {
        ModulesLoading().pop_back();
        throw;
    }
    ModulesLoading().pop_back();
}

void TRCPUModule::SaveToStream(TStream& stream)
{
    if (FScopes.size() > 1)
        RaiseCompilerException(Translate(QStringLiteral("Cannot save a nested module state.")));
    TStreamHelper helper(stream);
    helper.WriteString(FModuleName);
    helper.WriteByte(26);
    helper.WriteWord(FMajorVersion);
    helper.WriteWord(FMinorVersion);
    helper.WriteDouble(FCompileDate);
    helper.WriteIndex(int32_t(FUsedModules.size()));
    for (const TUsedModule& used : FUsedModules) {
        TRCPUModule* module = FromHandle(used.Handle);
        if (!module) {
            // Not resolved or not found: written as it was read.
            const bool forward =
                FForwardRefList && std::any_of(FForwardRefList->begin(), FForwardRefList->end(),
                                               [&](const auto& ref) { return ref.first == used.Name; });
            helper.WriteString(forward ? QStringLiteral("+") + used.Name : used.Name);
        } else if (module->FProjectItem) {
            helper.WriteString(QStringLiteral("+") + module->ModuleName());
        } else {
            helper.WriteString(module->ModuleName());
        }
    }
    FScope->SaveToStreamHelper(helper);
    helper.WriteIndex(FDataSize);
    std::vector<uint8_t> code(FCode.begin(), FCode.begin() + FCodeSize);
    for (const auto& external : FExternalList) {
        const int64_t offset = external.second.Offset;
        if (offset >= 0 && offset + 4 <= int64_t(code.size()))
            std::memset(code.data() + offset, 0, 4);
    }
    helper.WriteIndex(int32_t(code.size()));
    helper.Write(code.data(), int64_t(code.size()));
    helper.WriteIndex(FStackSize);
    helper.WriteIndex(FStartCO);
    helper.WriteIndex(FCreateCO);
    helper.WriteIndex(FDestroyCO);
    helper.WriteIndex(int32_t(FExternalList.size()));
    for (const auto& external : FExternalList) {
        helper.WriteString(external.first);
        helper.WriteIndex(external.second.Offset);
    }
}

// A name without a file part would save the hidden file ".zvc" of its
// folder: it is refused before anything is written.
void TRCPUModule::SaveToFile(const QString& fileName)
{
    CheckFileName(fileName);
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(fileName + QStringLiteral(".zvc"));
}

void TRCPUModule::ResolveImports()
{
    if (!FForwardRefList)
        return;
    for (const auto& [name, place] : *FForwardRefList) {
        TRCPUModule* module = nullptr;
        if (auto* item = dynamic_cast<TZarvComponent*>(FProjectItem))
            module = FindModuleItem(ImportSearchRoot(item), name);
        FUsedModules[size_t(place)].Handle = module ? module->Handle() : 0;
    }
    FForwardRefList.reset();
}

TRCPUModule* TRCPUModule::AddModule(const QString& moduleName)
{
    TRCPUModule* found = nullptr;
    if (FProjectItem)
        found = FindModuleItem(ImportSearchRoot(FProjectItem), moduleName);
    const bool loading = std::any_of(ModulesLoading().begin(), ModulesLoading().end(),
                                     [&](const QString& name) { return SameName(name, moduleName); });
    auto* project = dynamic_cast<TZarvProjectManager*>(FProjectManager);
    if (!found && project && !moduleName.isEmpty() && !loading) {
        try {
            found = dynamic_cast<TRCPUModule*>(project->ModuleManager().GetModule(moduleName));
        } catch (const Exception&) {
            found = nullptr; // reported when the byte code reaches it
        }
    }
    if (found)
        FUsedModules.push_back(TUsedModule{found->Handle(), found->ModuleName()});
    return found;
}

void TRCPUModule::AddExternal(const QString& id, int32_t offset)
{
    FExternalList[id.toUpper()] = TExternalFunc{offset};
}

const TExternalFunc* TRCPUModule::FindExternal(const QString& id) const
{
    const auto found = FExternalList.find(id.toUpper());
    return found == FExternalList.end() ? nullptr : &found->second;
}

QString TRCPUModule::ExternalAt(int32_t offset) const
{
    for (const auto& external : FExternalList) {
        if (external.second.Offset == offset)
            return external.first;
    }
    return QString();
}

// ---------------------------------------------------------------------------
// Running and variables.

void TRCPUModule::Execute(int32_t position, std::unique_ptr<TObject>& suspendState)
{
    FStartCO = position;
    std::vector<TZarvParam> params;
    params.swap(FParams);
    TRCPURunner runner;
    runner.Execute(this, &params, suspendState);
}

void TRCPUModule::PushParam(const TZarvParam& param)
{
    FParams.push_back(param);
}

void TRCPUModule::Init()
{
    std::vector<uint8_t>& data = GetDataBuf();
    std::fill(data.begin(), data.end(), uint8_t(0));
}

std::vector<uint8_t>& TRCPUModule::GetDataBuf()
{
    if (!FDataAllocated) {
        FDataBuf.assign(size_t(FDataSize), 0);
        FDataAllocated = true;
    }
    return FDataBuf;
}

void TRCPUModule::SetDataSize(int32_t size)
{
    UnmapData();
    FDataSize = size;
    FDataBuf.assign(size_t(size), 0);
    FDataAllocated = true;
}

void TRCPUModule::SetCode(std::vector<uint8_t> code)
{
    if (FCodeAddress && ScriptEngineStarted())
        RCPUMemory().Unmap(FCodeAddress);
    FCodeAddress = 0;
    FCodeSize = int32_t(code.size());
    FCode = std::move(code);
    FCode.resize(FCode.size() + size_t(kCodePadding), 0);
}

bool TRCPUModule::PatchCode(int32_t offset, uint32_t word)
{
    if (offset < 0 || int64_t(offset) + 4 > FCodeSize)
        return false;
    std::memcpy(FCode.data() + offset, &word, 4);
    return true;
}

uint32_t TRCPUModule::DataAddress()
{
    if (!FDataAddress) {
        std::vector<uint8_t>& data = GetDataBuf();
        FDataAddress = RCPUMemory().Map(data.data(), uint32_t(data.size()), true);
    }
    return FDataAddress;
}

uint32_t TRCPUModule::CodeAddress()
{
    if (!FCodeAddress)
        FCodeAddress = RCPUMemory().Map(FCode.data(), uint32_t(FCodeSize), false);
    return FCodeAddress;
}

void TRCPUModule::UnmapData()
{
    if (FDataAddress && ScriptEngineStarted())
        RCPUMemory().Unmap(FDataAddress);
    FDataAddress = 0;
}

uint8_t* TRCPUModule::VarSlot(const QString& name, int32_t size)
{
    TBaseID* id = FindID(name);
    if (!id)
        return nullptr;
    auto* var = dynamic_cast<TVarID*>(id);
    if (!var)
        throw EInvalidCast(QStringLiteral("Invalid class typecast"));
    TRCPUModule* module = IndexToModule(var->Module());
    if (!module || var->Address().Loc != TAddressLoc::alDS)
        return nullptr;
    std::vector<uint8_t>& data = module->GetDataBuf();
    const int64_t offset = var->Address().Offset;
    if (offset < 0 || offset + size > int64_t(data.size()))
        ZarvError(QStringLiteral("Variable %1 lies outside the data segment").arg(name));
    return data.data() + offset;
}

void TRCPUModule::SetIntVar(const QString& name, int32_t value)
{
    if (uint8_t* slot = VarSlot(name, 4))
        std::memcpy(slot, &value, 4);
}

int32_t TRCPUModule::GetIntVar(const QString& name)
{
    int32_t value = 0;
    if (const uint8_t* slot = VarSlot(name, 4))
        std::memcpy(&value, slot, 4);
    return value;
}

void TRCPUModule::SetStringVar(const QString& name, const QString& value)
{
    uint8_t* slot = VarSlot(name, 4);
    if (!slot)
        return;
    uint32_t old = 0;
    std::memcpy(&old, slot, 4);
    const uint32_t handle = RCPUStrings().New(value);
    std::memcpy(slot, &handle, 4);
    RCPUStrings().Release(old);
}

QString TRCPUModule::GetStringVar(const QString& name)
{
    const uint8_t* slot = VarSlot(name, 4);
    if (!slot)
        return QString();
    uint32_t handle = 0;
    std::memcpy(&handle, slot, 4);
    try {
        return RCPUStrings().Text(handle);
    } catch (const ERCPUFault&) {
        ZarvError(QStringLiteral("Variable %1 holds no string").arg(name));
    }
}

void TRCPUModule::SetFloatVar(const QString& name, double value)
{
    if (uint8_t* slot = VarSlot(name, 10)) {
        const TExtended80Rec bytes = DoubleToExtended(value);
        std::memcpy(slot, bytes.data(), 10);
    }
}

double TRCPUModule::GetFloatVar(const QString& name)
{
    const uint8_t* slot = VarSlot(name, 10);
    return slot ? ExtendedToDouble(slot) : 0.0;
}

void TRCPUModule::Changing(TZarvModule* oldModule, TZarvModule* newModule)
{
    (void)newModule;
    auto* old = dynamic_cast<TRCPUModule*>(oldModule);
    if (!old)
        return;
    const auto at = std::find_if(FUsedModules.begin(), FUsedModules.end(),
                                 [&](const TUsedModule& used) { return used.Handle == old->Handle(); });
    if (at != FUsedModules.end())
        FUsedModules.erase(at);
}

// ---------------------------------------------------------------------------
// Symbols.

TBaseType* TRCPUModule::CreateType(std::unique_ptr<TBaseType> type)
{
    return FScope->Types().Add(std::move(type));
}

TBaseID* TRCPUModule::FindID(const QString& id)
{
    if (TBaseID* found = FindInternalID(id)) {
        found->SetIDModule(0);
        return found;
    }
    std::vector<QString> visited{FModuleName};
    TRCPUModule* where = nullptr;
    TBaseID* found = FindInUsed(id, id.contains(QLatin1Char('.')), visited, where);
    if (found) {
        int32_t number = ModuleToIndex(where);
        if (number == 0)
            number = AppendUsed(where);
        found->SetIDModule(number);
    }
    return found;
}

TBaseID* TRCPUModule::FindInUsed(const QString& id, bool deep, std::vector<QString>& visited,
                                 TRCPUModule*& where)
{
    for (int32_t n = 1; n <= UsedModuleCount(); ++n) {
        TRCPUModule* module = IndexToModule(n);
        if (!module)
            continue;
        if (std::any_of(visited.begin(), visited.end(),
                        [&](const QString& name) { return SameName(name, module->ModuleName()); }))
            continue;
        visited.push_back(module->ModuleName());
        if (TBaseID* found = module->FScopes.front()->FindID(id)) {
            where = module;
            return found;
        }
        if (deep) {
            if (TBaseID* found = module->FindInUsed(id, true, visited, where))
                return found;
        }
    }
    return nullptr;
}

int32_t TRCPUModule::AppendUsed(TRCPUModule* module)
{
    FUsedModules.push_back(TUsedModule{module->Handle(), module->ModuleName()});
    return int32_t(FUsedModules.size());
}

TBaseType* TRCPUModule::FindType(const QString& id)
{
    TBaseID* found = FindID(id);
    if (!found)
        RaiseCompilerError(22, id);
    if (found->IDKind() != TIDKind::idkType)
        RaiseCompilerError(23, id);
    return found->BaseType();
}

TRCPUModule* TRCPUModule::IndexToModule(int32_t index)
{
    if (index == 0)
        return this;
    if (index < 1 || index > UsedModuleCount())
        return nullptr;
    return FromHandle(FUsedModules[size_t(index - 1)].Handle);
}

int32_t TRCPUModule::ModuleToIndex(const TRCPUModule* module) const
{
    if (module == this)
        return 0;
    for (size_t i = 0; i < FUsedModules.size(); ++i) {
        if (module && FUsedModules[i].Handle == module->Handle())
            return int32_t(i + 1);
    }
    return 0;
}

QString TRCPUModule::UsedModuleName(int32_t index) const
{
    return index >= 1 && index <= UsedModuleCount() ? FUsedModules[size_t(index - 1)].Name : QString();
}

TBaseType* TRCPUModule::IndexToType(int32_t index) const
{
    return FScope->Types().Get(index - 1);
}

void TRCPUModule::CreateScopeLevel()
{
    FScopes.push_back(std::make_unique<TScopeManager>(FScope, this));
}

void TRCPUModule::FreeScopeLevel()
{
    if (FScopes.size() <= 1)
        return;
    FScopes.pop_back();
    FScope = FScopes.back().get();
}

TRCPUModule* TRCPUModule::GetParentModule()
{
    if (!FParentModule && FProjectItem && FProjectItem->ItemKind() != TZarvItemKind::ikProjectManager)
        FParentModule = ModuleOfItem(FProjectItem->Owner());
    return FParentModule;
}

// ---------------------------------------------------------------------------
// Project binding.

void TRCPUModule::EventConnect()
{
    for (const auto& [name, event] : FEventList) {
        if (auto* function = dynamic_cast<TFuncID*>(FindID(name)))
            event->SetPosition(function->CodeLabel().Offset);
        event->SetModuleOwner(FProjectItem);
    }
}

void TRCPUModule::Compile(bool definition)
{
    if (definition) {
        FCompiler = FindCompilerClass(QStringLiteral("Delphi"));
    }
    if (!FCompiler)
        ZarvError(Translate(QStringLiteral("Compiler not found.  Include ZvLDCompiler in the uses.")));
    const QString fileName =
        FProjectItem ? static_cast<TZarvProjectItem*>(FProjectItem)->FullName() : QString();
    try {
        FCompiler->CompileStream(FSource, fileName, this, definition);
    } catch (...) {
        if (!definition)
            FCompiler.reset();
        throw;
    }
    if (!definition)
        FCompiler.reset();
}

void TRCPUModule::AddSourceLine(const QString& line)
{
    FSource += line + QStringLiteral("\r\n");
    FSourceLines += 1 + int32_t(line.count(QLatin1Char('\r')));
}

void TRCPUModule::BuildSource()
{
    if (CompilerClasses().empty())
        ZarvError(Translate(QStringLiteral("Compiler not found.  Include ZvLDCompiler in the uses.")));
    auto* item = dynamic_cast<TZarvProjectItem*>(FProjectItem);
    FSource.clear();
    FSourceLines = 0;
    FEventList.clear();
    FSourceRefList.clear();
    if (!item)
        return;
    const QString fullName = item->FullName();
    AddSourceLine(QStringLiteral("module ") + fullName + QLatin1Char(';'));
    AddSourceLine(QString());
    AddSourceLine(QStringLiteral("definition"));

    const auto writeImports = [this](QStringList names) {
        if (names.isEmpty())
            return;
        AddSourceLine(QString());
        AddSourceLine(QStringLiteral("import"));
        for (int i = 0; i < names.size(); ++i)
            AddSourceLine(QStringLiteral("  ") + names[i] +
                          (i + 1 < names.size() ? QStringLiteral(",") : QStringLiteral(";")));
    };
    QStringList imports{QStringLiteral("SYSFUNC"), QStringLiteral("ZVCLASS"), QStringLiteral("ZVDATA"),
                        QStringLiteral("ZVBASE")};
    for (int i = 0; i < item->ComponentCount(); ++i) {
        FModuleName = FindClassModule(item->Components(i)->ClassName()).toUpper();
        if (!FModuleName.isEmpty() && !imports.contains(FModuleName))
            imports.append(FModuleName);
    }
    FModuleName.clear();
    imports.sort();
    writeImports(imports);

    bool varWritten = false;
    const auto varLine = [&](TComponent* component) {
        if (component->Name().isEmpty())
            return;
        if (!varWritten) {
            AddSourceLine(QString());
            AddSourceLine(QStringLiteral("var"));
            varWritten = true;
        }
        AddSourceLine(QStringLiteral("  ") + component->Name() + QStringLiteral(": ") +
                      FindRegisteredClassName(component->ClassType()) + QLatin1Char(';'));
    };
    for (int i = 0; i < item->ComponentCount(); ++i)
        varLine(item->Components(i));
    if (item->ItemKind() == TZarvItemKind::ikProjectManager)
        varLine(item);

    AddSourceLine(QString());
    AddSourceLine(QStringLiteral("implementation"));
    QStringList others;
    if (TComponent* root = ImportSearchRoot(item)) {
        for (int i = 0; i < root->ComponentCount(); ++i) {
            auto* other = dynamic_cast<TZarvProjectItem*>(root->Components(i));
            if (other && other != item && !other->FullName().isEmpty())
                others.append(other->FullName());
        }
    }
    writeImports(others);

    for (int i = 0; i < item->ComponentCount(); ++i) {
        TComponent* component = item->Components(i);
        if (component->Name().isEmpty())
            continue;
        for (const TPropInfo* prop : GetPropList(*component)) {
            if (prop->Type->Kind != ::TTypeKind::tkClass)
                continue;
            auto* event = dynamic_cast<TZarvEvent*>(GetObjectProp(*component, *prop));
            if (!event)
                continue;
            event->SetName(prop->Name);
            FSourceRefList.push_back(event);
            FEventList.emplace_back(component->Name() + QLatin1Char('_') + prop->Name, event);
            AddSourceLine(QString());
            event->HeaderSourceLine = FSourceLines + 1;
            AddSourceLine(event->HeaderSource());
            AddSourceLine(event->Header());
            AddSourceLine(QStringLiteral("begin"));
            event->BodySourceLine = FSourceLines + 1;
            AddSourceLine(event->Body());
            AddSourceLine(event->FooterSource());
        }
    }
    AddSourceLine(QString());
    AddSourceLine(QStringLiteral("end ") + fullName + QLatin1Char(';'));
}

// ---------------------------------------------------------------------------
// Hooks.

TZarvModule* NewRCPUModule(TStream* stream, TZarvComponent* owner, TZarvComponent* projectItem)
{
    if (stream)
        return TRCPUModule::CreateFromStream(*stream, owner, projectItem).release();
    auto module = std::make_unique<TRCPUModule>();
    module->SetProjectBinding(owner ? (owner->Project() ? owner->Project() : owner) : nullptr, projectItem);
    return module.release();
}

void BindModuleComponents(TZarvComponent* projectItem)
{
    auto* item = dynamic_cast<TZarvProjectItem*>(projectItem);
    auto* module = item ? dynamic_cast<TRCPUModule*>(item->Module()) : nullptr;
    if (!module)
        return;
    module->Init();
    if (item->ItemKind() == TZarvItemKind::ikProjectManager)
        module->SetIntVar(item->Name(), int32_t(RCPUHandles().Acquire(item)));
    for (int i = 0; i < item->ComponentCount(); ++i) {
        TComponent* component = item->Components(i);
        if (!component->Name().isEmpty())
            module->SetIntVar(component->Name(), int32_t(RCPUHandles().Acquire(component)));
    }
}
