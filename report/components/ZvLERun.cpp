#include "report/components/ZvLERun.h"

#include "platform/objects/Component.h"
#include "platform/rtl/Extended80.h"
#include "report/components/ZvLEModule.h"

#include <cmath>
#include <cstring>
#include <limits>

// The few routines every instruction runs through are forced inline into the
// dispatch loop.
#define RCPU_HOT [[gnu::always_inline]] inline

int64_t RCPUStepLimit = 0;

void RCPUFault(const QString& what)
{
    throw ERCPUFault(what);
}

// ---------------------------------------------------------------------------
// Address space.

namespace {

constexpr uint32_t kSlotBytes = 0x10000;     // one slot of the address space
constexpr uint64_t kGuard = 0x1000;          // unmapped bytes after every region
constexpr size_t kSlotCount = 0x10000;       // 4 GB in 64 KB slots
constexpr size_t kLastSlot = kSlotCount - 1; // the top 64 KB stay unmapped too

} // namespace

TRCPUAddressSpace::TRCPUAddressSpace() : FSlots(kSlotCount) {}

uint32_t TRCPUAddressSpace::Map(uint8_t* bytes, uint32_t size, bool writable)
{
    const size_t needed = size_t((uint64_t(size) + kGuard + kSlotBytes - 1) / kSlotBytes);
    // Next fit from the cursor, wrapping once: an address unmapped a moment
    // ago is not handed out again at once.
    size_t start = FCursor;
    size_t run = 0;
    for (size_t tried = 0; tried < 2 * kSlotCount && run < needed; ++tried) {
        size_t slot = start + run;
        if (slot >= kLastSlot) {
            start = 1;
            run = 0;
            continue;
        }
        if (FSlots[slot].Slots != 0) {
            start = slot + 1;
            run = 0;
        } else {
            ++run;
        }
    }
    if (run < needed)
        RaiseError(Translate(QStringLiteral("Script memory exhausted")));
    const uint32_t base = uint32_t(start) * kSlotBytes;
    for (size_t slot = start; slot < start + needed; ++slot) {
        TSlot& entry = FSlots[slot];
        entry.Bytes = bytes;
        entry.Base = base;
        entry.ReadSize = size;
        entry.WriteSize = writable ? int64_t(size) : -1;
        entry.Slots = uint32_t(needed); // the guard's slots are taken too
    }
    FCursor = start + needed;
    ++FRegionCount;
    return base;
}

void TRCPUAddressSpace::Unmap(uint32_t base)
{
    const size_t first = base >> kSlotBits;
    if (first == 0 || FSlots[first].Slots == 0 || FSlots[first].Base != base)
        return;
    const size_t count = FSlots[first].Slots;
    for (size_t slot = first; slot < first + count && slot < kSlotCount; ++slot)
        FSlots[slot] = TSlot{};
    --FRegionCount;
}

void TRCPUAddressSpace::Refuse(uint32_t address, uint32_t count, bool write)
{
    RCPUFault(QStringLiteral("Invalid %1 of %2 bytes at address %3")
                  .arg(write ? QStringLiteral("write") : QStringLiteral("read"))
                  .arg(count)
                  .arg(address, 8, 16, QLatin1Char('0')));
}

// ---------------------------------------------------------------------------
// Strings.

uint32_t TRCPUStrings::New(const QString& text)
{
    if (text.isEmpty())
        return 0;
    uint32_t slot = 0;
    if (!FFree.empty()) {
        slot = FFree.front();
        FFree.pop_front();
    } else {
        if (FEntries.size() > kSlotMask)
            RaiseError(Translate(QStringLiteral("Script memory exhausted")));
        slot = uint32_t(FEntries.size());
        FEntries.emplace_back();
    }
    TEntry& entry = FEntries[slot];
    entry.Text = text;
    entry.Refs = 1;
    ++FLive;
    return (entry.Generation << kSlotBits) | slot;
}

uint32_t TRCPUStrings::LiveSlot(uint32_t handle) const
{
    const uint32_t slot = handle & kSlotMask;
    if (slot == 0 || slot >= FEntries.size() || FEntries[slot].Refs <= 0 ||
        FEntries[slot].Generation != handle >> kSlotBits)
        RCPUFault(QStringLiteral("Invalid string reference %1").arg(handle));
    return slot;
}

void TRCPUStrings::AddRef(uint32_t handle)
{
    if (handle == 0)
        return;
    ++FEntries[LiveSlot(handle)].Refs;
}

void TRCPUStrings::Release(uint32_t handle)
{
    if (handle == 0)
        return;
    TEntry& entry = FEntries[LiveSlot(handle)];
    if (--entry.Refs > 0)
        return;
    entry.Text = QString();
    entry.Generation = (entry.Generation + 1) & kGenerationMask;
    FFree.push_back(handle & kSlotMask);
    --FLive;
}

const QString& TRCPUStrings::Text(uint32_t handle) const
{
    static const QString empty;
    if (handle == 0)
        return empty;
    return FEntries[LiveSlot(handle)].Text;
}

// ---------------------------------------------------------------------------
// Host objects.

class TRCPUHandles::TWatcher : public TComponent {
public:
    explicit TWatcher(TRCPUHandles& handles) : TComponent(nullptr), FHandles(handles) {}

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        if (operation == TOperation::opRemove)
            FHandles.Forget(component);
        TComponent::Notification(component, operation);
    }

private:
    TRCPUHandles& FHandles;
};

TRCPUHandles::TRCPUHandles() : FWatcher(std::make_unique<TWatcher>(*this)) {}

TRCPUHandles::~TRCPUHandles() = default;

uint32_t TRCPUHandles::Acquire(TObject* object)
{
    if (!object)
        return 0;
    auto* component = dynamic_cast<TComponent*>(object);
    const auto known = FHandles.find(object);
    if (known != FHandles.end()) {
        Entry& entry = FObjects.at(known->second);
        if (entry.Refs >= 0)
            ++entry.Refs;
        return known->second;
    }
    while (FNext == 0 || FObjects.count(FNext))
        ++FNext;
    const uint32_t handle = FNext++;
    FObjects.emplace(handle, Entry{object, component ? -1 : 1});
    FHandles.emplace(object, handle);
    if (component)
        component->FreeNotification(FWatcher.get());
    return handle;
}

void TRCPUHandles::Release(uint32_t handle)
{
    const auto found = FObjects.find(handle);
    if (found == FObjects.end() || found->second.Refs < 0)
        return;
    if (--found->second.Refs <= 0) {
        FHandles.erase(found->second.Object);
        FObjects.erase(found);
    }
}

TObject* TRCPUHandles::Object(uint32_t handle) const
{
    const auto found = FObjects.find(handle);
    return found == FObjects.end() ? nullptr : found->second.Object;
}

void TRCPUHandles::Forget(TObject* object)
{
    const auto found = FHandles.find(object);
    if (found == FHandles.end())
        return;
    FObjects.erase(found->second);
    FHandles.erase(found);
}

// ---------------------------------------------------------------------------
// Native results.

TRCPUNativeResult TRCPUNativeResult::OfInteger(int32_t value)
{
    TRCPUNativeResult result;
    result.Kind = TKind::Integer;
    result.Integer = value;
    return result;
}

TRCPUNativeResult TRCPUNativeResult::OfExtended(long double value)
{
    TRCPUNativeResult result;
    result.Kind = TKind::Extended;
    result.Extended = value;
    return result;
}

TRCPUNativeResult TRCPUNativeResult::OfCurrency(int64_t value)
{
    TRCPUNativeResult result;
    result.Kind = TKind::Currency;
    result.Currency = value;
    return result;
}

TRCPUNativeResult TRCPUNativeResult::OfString(const QString& value)
{
    TRCPUNativeResult result;
    result.Kind = TKind::String;
    result.String = value;
    return result;
}

// ---------------------------------------------------------------------------
// The engine and the native registry.

namespace {

struct TScriptEngine {
    int Starts = 0;
    TRCPUAddressSpace Memory;
    TRCPUStrings Strings;
    TRCPUHandles Handles;
    // Upper-case module name -> upper-case function name -> function.
    std::map<QString, std::map<QString, const TRCPUNative*>> Registry;
    std::vector<const TRCPUNative*> Natives; // registry id - 1
};
TScriptEngine* gEngine = nullptr;

TScriptEngine& Engine()
{
    if (!gEngine)
        RaiseError(Translate(QStringLiteral("Script engine not started")));
    return *gEngine;
}

} // namespace

bool ScriptEngineStarted()
{
    return gEngine != nullptr;
}

TRCPUAddressSpace& RCPUMemory()
{
    return Engine().Memory;
}

TRCPUStrings& RCPUStrings()
{
    return Engine().Strings;
}

TRCPUHandles& RCPUHandles()
{
    return Engine().Handles;
}

void InitScriptEngine()
{
    if (gEngine) {
        ++gEngine->Starts;
        return;
    }
    gEngine = new TScriptEngine;
    gEngine->Starts = 1;
    NativeFuncRegisterProc = RegisterNativeFunc;
    if (!RegisterNativeFuncProc)
        RegisterNativeFuncProc = RegisterNativeFunc;
    UnregisterNativeFuncProc = UnregisterNativeFunc;
    BindModuleExternalsProc = BindModuleExternals;
    CompilerSyntaxNamesProc = GetCompilerSyntaxNames;
    ModuleFactoryProc = NewRCPUModule;
    BindModuleComponentsProc = BindModuleComponents;
}

void DoneScriptEngine()
{
    if (!gEngine || --gEngine->Starts > 0)
        return;
    NativeFuncRegisterProc = nullptr;
    RegisterNativeFuncProc = nullptr;
    UnregisterNativeFuncProc = nullptr;
    BindModuleExternalsProc = nullptr;
    CompilerSyntaxNamesProc = nullptr;
    ModuleFactoryProc = nullptr;
    BindModuleComponentsProc = nullptr;
    UnregisterCompilerClasses();
    delete gEngine;
    gEngine = nullptr;
}

uint32_t NativeFuncID(const TRCPUNative* native)
{
    if (!gEngine || !native)
        return 0;
    const auto& natives = gEngine->Natives;
    const auto at = std::find(natives.begin(), natives.end(), native);
    return at == natives.end() ? 0 : uint32_t(at - natives.begin() + 1);
}

const TRCPUNative* NativeFuncOfID(uint32_t id)
{
    if (!gEngine || id == 0 || id > gEngine->Natives.size())
        return nullptr;
    return gEngine->Natives[id - 1];
}

void RegisterNativeFunc(TZarvNativeFunc func, const QString& name, const QString& module)
{
    if (!gEngine || !func)
        return;
    const auto* native = static_cast<const TRCPUNative*>(func);
    gEngine->Registry[module.toUpper()].emplace(name.toUpper(), native);
    if (NativeFuncID(native) == 0)
        gEngine->Natives.push_back(native);
}

void UnregisterNativeFunc(const QString& name, const QString& module)
{
    if (!gEngine)
        return;
    const auto found = gEngine->Registry.find(module.toUpper());
    if (found == gEngine->Registry.end())
        return;
    found->second.erase(name.toUpper());
    if (found->second.empty())
        gEngine->Registry.erase(found);
}

const TRCPUNative* FindNativeFunc(const QString& name, const QString& module)
{
    if (!gEngine)
        return nullptr;
    const auto found = gEngine->Registry.find(module.toUpper());
    if (found == gEngine->Registry.end())
        return nullptr;
    const auto function = found->second.find(name.toUpper());
    return function == found->second.end() ? nullptr : function->second;
}

bool NativeModuleRegistered(const QString& module)
{
    return gEngine && gEngine->Registry.count(module.toUpper()) != 0;
}

void BindModuleExternals(TZarvModule* module)
{
    auto* rcpu = dynamic_cast<TRCPUModule*>(module);
    if (!gEngine || !rcpu)
        return;
    const auto found = gEngine->Registry.find(rcpu->ModuleName().toUpper());
    if (found == gEngine->Registry.end())
        return;
    for (const auto& [name, native] : found->second) {
        if (const TExternalFunc* external = rcpu->FindExternal(name))
            rcpu->PatchCode(external->Offset, NativeFuncID(native));
    }
}

// ---------------------------------------------------------------------------
// The memory of one run: its stack, the host cells of its parameters and the
// handles of the objects it was given.

class TRCPURunState {
public:
    explicit TRCPURunState(int32_t stackSize) : Stack(size_t(std::max(stackSize, 0)))
    {
        StackBase = RCPUMemory().Map(Stack.data(), uint32_t(Stack.size()), true);
    }
    ~TRCPURunState()
    {
        if (!ScriptEngineStarted())
            return;
        RCPUMemory().Unmap(StackBase);
        if (CellsBase)
            RCPUMemory().Unmap(CellsBase);
        for (const TSegment& segment : Segments)
            RCPUMemory().Unmap(segment.Base);
        if (ScratchBase)
            RCPUMemory().Unmap(ScratchBase);
        for (const TBinding& binding : Bindings) {
            if (binding.Text) {
                uint32_t handle = 0;
                std::memcpy(&handle, Cells.data() + binding.Offset, 4);
                try {
                    RCPUStrings().Release(handle);
                } catch (const ERCPUFault&) {
                    // the byte code left no string there; nothing to release
                }
            }
        }
        for (const uint32_t handle : ObjectHandles)
            RCPUHandles().Release(handle);
    }

    // Makes the parameter words: objects become handles, variables host cells.
    std::vector<uint32_t> BindParams(const std::vector<TZarvParam>& params)
    {
        size_t cellBytes = 0;
        for (const TZarvParam& param : params) {
            if (std::holds_alternative<QString*>(param))
                cellBytes += 4;
            else if (std::holds_alternative<double*>(param))
                cellBytes += 10;
        }
        Cells.assign(cellBytes, 0);
        if (cellBytes)
            CellsBase = RCPUMemory().Map(Cells.data(), uint32_t(cellBytes), true);
        std::vector<uint32_t> words;
        uint32_t offset = 0;
        for (const TZarvParam& param : params) {
            if (auto* const* object = std::get_if<TObject*>(&param)) {
                const uint32_t handle = RCPUHandles().Acquire(*object);
                if (handle)
                    ObjectHandles.push_back(handle);
                words.push_back(handle);
            } else if (auto* const* text = std::get_if<QString*>(&param)) {
                const uint32_t handle = *text ? RCPUStrings().New(**text) : 0;
                std::memcpy(Cells.data() + offset, &handle, 4);
                Bindings.push_back(TBinding{offset, *text, nullptr});
                words.push_back(CellsBase + offset);
                offset += 4;
            } else if (auto* const* number = std::get_if<double*>(&param)) {
                const TExtended80Rec bytes = DoubleToExtended(*number ? **number : 0.0);
                std::memcpy(Cells.data() + offset, bytes.data(), 10);
                Bindings.push_back(TBinding{offset, nullptr, *number});
                words.push_back(CellsBase + offset);
                offset += 10;
            }
        }
        return words;
    }

    // Copies the cells back into the host's variables.
    void CopyBack()
    {
        for (const TBinding& binding : Bindings) {
            if (binding.Text) {
                uint32_t handle = 0;
                std::memcpy(&handle, Cells.data() + binding.Offset, 4);
                *binding.Text = RCPUStrings().Text(handle);
            } else if (binding.Number) {
                *binding.Number = ExtendedToDouble(Cells.data() + binding.Offset);
            }
        }
    }

    struct TBinding {
        uint32_t Offset;
        QString* Text;
        double* Number;
    };
    // A read-only copy of host bytes mapped for the run (a blob).
    struct TSegment {
        const void* Key;
        uint32_t Base;
        std::unique_ptr<uint8_t[]> Bytes;
        std::function<bool()> Current;
    };
    std::vector<uint8_t> Stack;
    uint32_t StackBase = 0;
    std::vector<uint8_t> Cells;
    uint32_t CellsBase = 0;
    std::vector<TBinding> Bindings;
    std::vector<uint32_t> ObjectHandles;
    std::vector<TSegment> Segments;
    uint32_t RootModule = 0; // handle of the module the run was started with

    // Scratch cells of the run (the intermediates of opcode 118), mapped on
    // first use.
    static constexpr uint32_t kScratchSize = 14;
    uint32_t Scratch()
    {
        if (!ScratchBase)
            ScratchBase = RCPUMemory().Map(ScratchCells.data(), kScratchSize, true);
        return ScratchBase;
    }
    std::array<uint8_t, kScratchSize> ScratchCells{};
    uint32_t ScratchBase = 0;
};

TRCPUSuspendState::TRCPUSuspendState() = default;
TRCPUSuspendState::~TRCPUSuspendState() = default;

// ---------------------------------------------------------------------------
// The runner.

namespace {

QString HexByte(int value)
{
    return QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

int32_t ZigZag(uint32_t n)
{
    return (n & 1) == 0 ? int32_t(n / 2) : -int32_t((uint64_t(n) + 1) / 2);
}

[[noreturn]] void DivByZero()
{
    throw EDivByZero(QStringLiteral("Division by zero"));
}

// A result of Extended arithmetic: a NaN is an invalid operation, an infinity
// an overflow (a division by zero when it came from one).
long double CheckExtended(long double value, bool division = false, long double divisor = 1)
{
    if (std::isnan(value))
        throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
    if (std::isinf(value)) {
        if (division && divisor == 0)
            throw EZeroDivide(QStringLiteral("Floating point division by zero"));
        throw EOverflow(QStringLiteral("Floating point overflow"));
    }
    return value;
}

int64_t CheckCurrency(__int128 value)
{
    if (value > std::numeric_limits<int64_t>::max() || value < std::numeric_limits<int64_t>::min())
        throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
    return int64_t(value);
}

// n / d rounded to the nearest integer, ties to even.
int64_t DivideRounded(__int128 n, __int128 d)
{
    if (d == 0) {
        if (n == 0)
            throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
        throw EZeroDivide(QStringLiteral("Floating point division by zero"));
    }
    __int128 q = n / d;
    const __int128 r = n % d;
    const __int128 twice = (r < 0 ? -r : r) * 2;
    const __int128 absD = d < 0 ? -d : d;
    if (twice > absD || (twice == absD && (q & 1) != 0))
        q += ((n < 0) != (d < 0)) ? -1 : 1;
    return CheckCurrency(q);
}

int64_t ExtendedToCurrency(long double value)
{
    CheckExtended(value);
    const long double scaled = std::nearbyint(value * 10000.0L); // ties to even
    if (!(scaled >= -9223372036854775808.0L && scaled < 9223372036854775808.0L))
        throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
    return int64_t(scaled);
}

template <class T> int Order(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// relation: 0 equal, 1 not equal, 2 less, 3 greater, 4 less or equal, 5
// greater or equal.
bool Holds(int relation, int order)
{
    switch (relation) {
    case 0:
        return order == 0;
    case 1:
        return order != 0;
    case 2:
        return order < 0;
    case 3:
        return order > 0;
    case 4:
        return order <= 0;
    default:
        return order >= 0;
    }
}

} // namespace

TRCPURunner::TRCPURunner() = default;
TRCPURunner::~TRCPURunner() = default;

void TRCPURunner::Execute(TRCPUModule* module, const std::vector<TZarvParam>* params,
                          std::unique_ptr<TObject>& suspendState)
{
    LastRef = -1;
    FArgCount = 0;
    FHalt = false;
    FSuspend = false;
    FMem = &RCPUMemory();
    if (suspendState) {
        std::unique_ptr<TObject> held = std::move(suspendState);
        auto* state = dynamic_cast<TRCPUSuspendState*>(held.get());
        if (!state)
            RaiseError(Translate(QStringLiteral("Invalid suspend state")));
        Resume(*state);
    } else {
        StartFresh(module, params);
    }
    Run();
    Leave(suspendState);
}

void TRCPURunner::StartFresh(TRCPUModule* module, const std::vector<TZarvParam>* params)
{
    CompareFlag = 0;
    StackSize = module->StackSize();
    SP = StackSize;
    BP = StackSize;
    FState = std::make_unique<TRCPURunState>(StackSize);
    FState->RootModule = module->Handle();
    FRootModule = module;
    SS = FState->StackBase;
    FStack = FState->Stack.data();
    SetModule(module);
    CO = module->StartCO();
    if (params) {
        for (const uint32_t word : FState->BindParams(*params))
            PushInt(int32_t(word));
        PushInt(-1);
        PushInt(-1);
    }
}

void TRCPURunner::Resume(TRCPUSuspendState& state)
{
    FState = std::move(state.State);
    TRCPUModule* module = TRCPUModule::FromHandle(state.MI);
    FRootModule = FState ? TRCPUModule::FromHandle(FState->RootModule) : nullptr;
    if (!FState || !module || !FRootModule)
        RaiseError(Translate(QStringLiteral("The module of a suspended script is gone")));
    SP = state.SP;
    BP = state.BP;
    CO = state.CO;
    SS = FState->StackBase;
    FStack = FState->Stack.data();
    StackSize = state.StackSize;
    CompareFlag = state.CompareFlag;
    SetModule(module);   // its data may have moved since
    DropStaleSegments(); // the rows may have moved on while it waited
}

void TRCPURunner::Leave(std::unique_ptr<TObject>& suspendState)
{
    FState->CopyBack();
    if (!FSuspend) {
        FState.reset();
        return;
    }
    auto state = std::make_unique<TRCPUSuspendState>();
    state->SP = SP;
    state->BP = BP;
    state->MI = MI->Handle();
    state->CO = CO;
    state->SS = SS;
    state->DS = DS;
    state->CS = CS;
    state->StackSize = StackSize;
    state->CompareFlag = CompareFlag;
    state->State = std::move(FState);
    suspendState = std::move(state);
}

// One bounds check per instruction: the opcode must lie inside the code.
// Operands are then read from the padded code without checks, and each
// instruction with operands checks once, before it acts, that they ended
// inside the code (OperandsRead). Jumps, calls and returns check targets.
void TRCPURunner::Run()
{
    const int64_t limit = RCPUStepLimit > 0 ? RCPUStepLimit : std::numeric_limits<int64_t>::max();
    int64_t steps = 0;
    int32_t at = CO;
    int opcode = -1;
    try {
        while (!FHalt) {
            at = CO;
            opcode = -1;
            if (uint32_t(CO) >= uint32_t(FCodeSize)) [[unlikely]]
                CodeOutside(CO);
            opcode = FCode[CO++];
            if (opcode == 136)
                continue;
            if (++steps > limit) [[unlikely]]
                RaiseError(Translate(QStringLiteral("Script step limit reached")));
            Step(uint8_t(opcode));
        }
    } catch (const ERCPUFault& fault) {
        if (opcode < 0)
            RaiseError(Translate(fault.Message()));
        RaiseError(Translate(fault.Message() + QStringLiteral(" (command ") + HexByte(opcode) +
                             QStringLiteral(" at code offset ") + QString::number(at) + QLatin1Char(')')));
    }
}

// The dispatch: a dense switch over the opcode byte, which the compiler
// turns into one jump table; families of like opcodes share a handler.
RCPU_HOT void TRCPURunner::Step(uint8_t op)
{
    switch (op) {
    case 1:
    case 2:
        OpPush(op);
        break;
    case 3:
    case 4:
        OpLoad(op);
        break;
    case 5:
        OpInline(op);
        break;
    case 6:
    case 7:
        OpStringConst(op);
        break;
    case 8:
        OpNil(op);
        break;
    case 9:
        OpStackFree(op);
        break;
    case 10:
        OpEnter(op);
        break;
    case 11:
        OpCopy(op);
        break;
    case 12:
        OpStringCopy(op);
        break;
    case 13:
        OpCopyOrConst(op);
        break;
    case 14:
        OpStringOrConst(op);
        break;
    case 15:
        OpStringRelease(op);
        break;
    case 16:
        OpFreeData(op);
        break;
    case 17:
    case 18:
        OpArg(op);
        break;
    case 19:
    case 20:
        OpReturn(op);
        break;
    case 21:
    case 24:
        OpCall(op);
        break;
    case 22:
    case 23:
        OpNativeCall(op);
        break;
    case 25:
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
        OpJump(op);
        break;
    case 32:
        OpFarJump(op);
        break;
    case 39:
        OpIntegerCompare<0>();
        break;
    case 40:
        OpIntegerCompare<1>();
        break;
    case 41:
        OpIntegerCompare<2>();
        break;
    case 42:
        OpIntegerCompare<3>();
        break;
    case 43:
        OpIntegerCompare<4>();
        break;
    case 44:
        OpIntegerCompare<5>();
        break;
    case 69:
    case 70:
    case 71:
        OpBoolean(op);
        break;
    case 82:
    case 83:
    case 84:
    case 85:
        OpExtended(op);
        break;
    case 86:
    case 87:
    case 88:
    case 89:
        OpCurrency(op);
        break;
    case 90:
    case 91:
    case 92:
    case 93:
    case 94:
        OpUnary(op);
        break;
    case 117:
        OpCharToString(op);
        break;
    case 118:
        OpConvert2(op);
        break;
    case 119:
    case 120:
    case 121:
        OpMove(op);
        break;
    case 122:
    case 123:
    case 124:
        OpStringMove(op);
        break;
    case 125:
    case 126:
    case 127:
        OpIntegerAssign(op);
        break;
    case 128:
    case 129:
    case 130:
    case 131:
        OpExtendedAssign(op);
        break;
    case 132:
    case 133:
    case 134:
    case 135:
        OpCurrencyAssign(op);
        break;
    case 136:
    case 141:
        break;
    case 137:
        FHalt = true;
        break;
    case 138:
        OpConcat(op);
        break;
    case 139:
        OpTest(op);
        break;
    case 140:
        FSuspend = true;
        FHalt = true;
        break;
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 45:
    case 46:
    case 47:
    case 48:
    case 49:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 55:
    case 56:
    case 57:
    case 58:
    case 59:
    case 60:
    case 61:
    case 62:
    case 63:
    case 64:
    case 65:
    case 66:
    case 67:
    case 68:
        OpCompare(op);
        break;
    case 72:
    case 73:
    case 74:
    case 75:
    case 76:
    case 77:
    case 78:
    case 79:
    case 80:
    case 81:
        OpInteger(op);
        break;
    case 95:
    case 96:
    case 97:
    case 98:
    case 99:
    case 100:
    case 101:
    case 102:
    case 103:
    case 104:
    case 105:
    case 106:
    case 107:
    case 108:
    case 109:
    case 110:
    case 111:
    case 112:
    case 113:
    case 114:
    case 115:
    case 116:
        OpConvert(op);
        break;
    default: // 0 and 142-255
        OpInvalid(op);
        break;
    }
}

// ---- Operands, stack and memory ---------------------------------------------------

void TRCPURunner::CodeOutside(int32_t offset)
{
    RCPUFault(
        QStringLiteral("Code offset %1 outside the code of module %2").arg(offset).arg(MI->ModuleName()));
}

RCPU_HOT uint32_t TRCPURunner::ReadIndex()
{
    const uint32_t first = ReadCodeByte();
    if (first < 0x80) [[likely]]
        return first;
    if (first < 0xC0)
        return ((first - 0x80) << 8) | ReadCodeByte();
    uint32_t value = 0;
    int more = 0;
    if (first < 0xE0) {
        value = first - 0xC0;
        more = 2;
    } else {
        value = first - 0xE0;
        more = 3;
    }
    for (int i = 0; i < more; ++i)
        value = (value << 8) | ReadCodeByte();
    return value;
}

RCPU_HOT int32_t TRCPURunner::ReadSigned()
{
    return ZigZag(ReadIndex());
}

RCPU_HOT uint32_t TRCPURunner::ReadWord()
{
    uint32_t value = 0;
    std::memcpy(&value, FCode + CO, 4); // little-endian, as the code holds it
    CO += 4;
    return value;
}

RCPU_HOT uint32_t TRCPURunner::ReadAddress()
{
    const uint8_t mode = ReadCodeByte();
    uint32_t k = mode & 0x3F;
    if (k == 63) [[unlikely]]
        k = ReadIndex();
    switch (mode >> 6) {
    case 0:
        return SS + uint32_t(BP) + uint32_t(ZigZag(k));
    case 1:
        return SS + uint32_t(SP) + uint32_t(ZigZag(k));
    case 2:
        return DS + k;
    case 3: {
        const uint32_t offset = ReadIndex();
        OperandsRead(); // a module number read past the code is not looked up
        return ModuleNumber(k)->DataAddress() + offset;
    }
    default: // the mode is two bits: kept for a decoder that ever widens it
        RaiseError(Translate(QStringLiteral("Invalid address mode")));
    }
}

RCPU_HOT uint32_t TRCPURunner::PushAddress()
{
    const uint32_t address = ReadAddress();
    OperandsRead();
    Push(int32_t(address));
    return address;
}

void TRCPURunner::AllocStack(int64_t n)
{
    if (int64_t(SP) - n < 0)
        RaiseError(Translate(QStringLiteral("Stack Overflow")));
    SP = int32_t(SP - n);
}

void TRCPURunner::FreeStack(int64_t n)
{
    if (int64_t(SP) + n > StackSize)
        RaiseError(Translate(QStringLiteral("Stack Underflow")));
    SP = int32_t(SP + n);
}

// The stack top is read and written in the stack block directly while SP
// lies inside it; anything else takes the checked road.
RCPU_HOT void TRCPURunner::Push(int32_t value)
{
    if (SP >= 4 && SP <= StackSize) [[likely]] {
        SP -= 4;
        std::memcpy(FStack + SP, &value, 4);
        return;
    }
    AllocStack(4);
    WriteInt(SS + uint32_t(SP), value);
}

RCPU_HOT int32_t TRCPURunner::Pop()
{
    int32_t value = 0;
    if (SP >= 0 && int64_t(SP) + 4 <= StackSize) [[likely]] {
        std::memcpy(&value, FStack + SP, 4);
        SP += 4;
        return value;
    }
    if (int64_t(SP) + 4 > StackSize)
        RaiseError(Translate(QStringLiteral("Stack Underflow")));
    value = ReadInt(SS + uint32_t(SP));
    SP += 4;
    return value;
}

void TRCPURunner::PushInt(int32_t value)
{
    Push(value);
}

int32_t TRCPURunner::PopInt()
{
    return Pop();
}

// The source may lie in the free stack below SP, where the pushed bytes go:
// they are moved, not copied.
void TRCPURunner::PushBytes(uint32_t source, uint32_t n)
{
    const uint8_t* from = At(source, n);
    AllocStack(n);
    if (n != 0)
        std::memmove(At(SS + uint32_t(SP), n, true), from, n);
}

void TRCPURunner::PushZeros(uint32_t n)
{
    AllocStack(n);
    if (n != 0)
        std::memset(At(SS + uint32_t(SP), n, true), 0, n);
}

void TRCPURunner::SetModule(TRCPUModule* module)
{
    MI = module;
    DS = module->DataAddress();
    CS = module->CodeAddress();
    FCode = module->PaddedCode();
    FCodeSize = int32_t(module->Code().size());
}

RCPU_HOT void TRCPURunner::JumpTo(int64_t target)
{
    if (target < 0 || target >= FCodeSize) [[unlikely]]
        RCPUFault(
            QStringLiteral("Target %1 outside the code of module %2").arg(target).arg(MI->ModuleName()));
    CO = int32_t(target);
}

TRCPUModule* TRCPURunner::ModuleNumber(uint32_t number)
{
    if (number == 0)
        return MI;
    if (number > uint32_t(MI->UsedModuleCount()))
        RCPUFault(
            QStringLiteral("Module number %1 of module %2 out of range").arg(number).arg(MI->ModuleName()));
    TRCPUModule* module = MI->IndexToModule(int32_t(number));
    if (!module)
        RaiseError(
            Translate(QStringLiteral("Could not load module [%1]").arg(MI->UsedModuleName(int32_t(number)))));
    return module;
}

void TRCPURunner::MoveBytes(uint32_t dest, uint32_t source, uint32_t n)
{
    uint8_t* to = At(dest, n, true);
    const uint8_t* from = At(source, n);
    if (n != 0)
        std::memmove(to, from, n);
}

long double TRCPURunner::ReadExtended(uint32_t address)
{
    return ExtendedToLongDouble(At(address, 10));
}

void TRCPURunner::WriteExtended(uint32_t address, long double value)
{
    const TExtended80Rec bytes = LongDoubleToExtended(value);
    std::memcpy(At(address, 10, true), bytes.data(), 10);
}

QString TRCPURunner::ReadString(uint32_t address)
{
    return RCPUStrings().Text(Word(address));
}

void TRCPURunner::WriteString(uint32_t address, const QString& text)
{
    At(address, 4, true);
    const uint32_t old = Word(address);
    WriteInt(address, int32_t(RCPUStrings().New(text)));
    RCPUStrings().Release(old);
}

QString TRCPURunner::StringOf(uint32_t handle)
{
    return RCPUStrings().Text(handle);
}

TObject* TRCPURunner::ObjectOf(uint32_t handle)
{
    return RCPUHandles().Object(handle);
}

uint32_t TRCPURunner::HandleFor(TObject* object)
{
    const uint32_t handle = RCPUHandles().Acquire(object);
    if (handle && FState)
        FState->ObjectHandles.push_back(handle);
    return handle;
}

uint32_t TRCPURunner::MapRunSegment(const void* key, const uint8_t* bytes, uint32_t size,
                                    std::function<bool()> current)
{
    if (!FState)
        RaiseError(Translate(QStringLiteral("No script is running")));
    DropStaleSegments();
    for (const TRCPURunState::TSegment& segment : FState->Segments) {
        if (segment.Key == key)
            return segment.Base;
    }
    auto copy = std::make_unique<uint8_t[]>(std::max<size_t>(size, 1));
    if (size != 0)
        std::memcpy(copy.get(), bytes, size);
    const uint32_t base = RCPUMemory().Map(copy.get(), size, false);
    FState->Segments.push_back(TRCPURunState::TSegment{key, base, std::move(copy), std::move(current)});
    return base;
}

void TRCPURunner::DropStaleSegments()
{
    if (!FState)
        return;
    std::vector<TRCPURunState::TSegment>& segments = FState->Segments;
    for (size_t i = segments.size(); i-- > 0;) {
        if (!segments[i].Current()) {
            RCPUMemory().Unmap(segments[i].Base);
            segments.erase(segments.begin() + std::ptrdiff_t(i));
        }
    }
}

void TRCPURunner::ReleaseString(uint32_t address)
{
    const uint32_t handle = Word(address);
    WriteInt(address, 0);
    RCPUStrings().Release(handle);
}

void TRCPURunner::AssignString(uint32_t dest, uint32_t handle)
{
    At(dest, 4, true);
    RCPUStrings().AddRef(handle);
    const uint32_t old = Word(dest);
    WriteInt(dest, int32_t(handle));
    RCPUStrings().Release(old);
}

// Assigning a new text releases the string the reference held, once.
void TRCPURunner::SetStringText(uint32_t dest, const QString& text)
{
    WriteString(dest, text);
}

QString TRCPURunner::CodeText(int64_t offset, int64_t maxBytes)
{
    const std::span<const uint8_t> code = MI->Code();
    QString text;
    for (int64_t at = offset; at >= 0 && at + 1 < int64_t(code.size()) && at - offset + 1 < maxBytes;
         at += 2) {
        const char16_t unit = char16_t(code[size_t(at)] | (code[size_t(at + 1)] << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

// ---- Handlers ---------------------------------------------------------------------

void TRCPURunner::OpInvalid(uint8_t op)
{
    RaiseError(Translate(QStringLiteral("Cannot execute command (%1)").arg(HexByte(op))));
}

RCPU_HOT void TRCPURunner::OpPush(uint8_t op)
{
    if (op == 1) {
        PushAddress();
        return;
    }
    const int32_t value = Pop();
    PushAddress();
    Push(value);
}

void TRCPURunner::OpLoad(uint8_t op)
{
    if (op == 3) {
        const uint32_t address = ReadAddress();
        OperandsRead();
        Push(ReadInt(address));
        return;
    }
    const uint32_t n = ReadIndex();
    const uint32_t address = ReadAddress();
    OperandsRead();
    LastRef = int32_t(address);
    PushBytes(address, n);
}

void TRCPURunner::OpInline(uint8_t)
{
    const uint32_t n = ReadIndex();
    OperandsRead();
    LastRef = int32_t(CS + uint32_t(CO));
    Push(LastRef);
    JumpTo(int64_t(CO) + n);
}

void TRCPURunner::OpStringConst(uint8_t op)
{
    const int32_t value = op == 7 ? Pop() : 0;
    const uint32_t n = ReadIndex();
    const uint32_t address = ReadAddress();
    OperandsRead();
    SetStringText(address, CodeText(CO, n));
    Push(int32_t(address));
    JumpTo(int64_t(CO) + n);
    if (op == 7)
        Push(value);
}

void TRCPURunner::OpNil(uint8_t)
{
    LastRef = 0;
    Push(0);
}

void TRCPURunner::OpStackFree(uint8_t)
{
    const uint32_t n = ReadIndex();
    OperandsRead();
    FreeStack(n);
}

void TRCPURunner::OpEnter(uint8_t)
{
    const uint32_t n = ReadIndex();
    OperandsRead();
    Push(BP);
    BP = SP;
    PushZeros(n);
}

void TRCPURunner::OpCopy(uint8_t)
{
    const uint32_t n = ReadIndex();
    const uint32_t a1 = ReadAddress();
    const uint32_t to = ReadAddress();
    OperandsRead();
    MoveBytes(to, Word(a1), n);
}

void TRCPURunner::OpStringCopy(uint8_t)
{
    const uint32_t a1 = ReadAddress();
    const uint32_t to = ReadAddress();
    OperandsRead();
    AssignString(to, Word(Word(a1)));
}

void TRCPURunner::OpCopyOrConst(uint8_t)
{
    const uint32_t n = ReadIndex();
    const uint32_t a1 = ReadAddress();
    const uint32_t to = ReadAddress();
    const uint32_t offset = ReadIndex();
    OperandsRead();
    const uint32_t pointer = Word(a1);
    const uint32_t from = pointer != 0 ? pointer : CS + offset;
    MoveBytes(to, from, n);
}

// Decided on LastRef: the string at [a1], or the text in the code at a3's
// value (a code offset). The word it allocates on the stack starts zeroed.
void TRCPURunner::OpStringOrConst(uint8_t)
{
    const uint32_t a1 = ReadAddress();
    const uint32_t a2 = ReadAddress();
    const uint32_t a3 = ReadAddress();
    OperandsRead();
    Push(0);
    if (LastRef != 0)
        AssignString(a2, Word(Word(a1)));
    else
        WriteString(a2, CodeText(a3, int64_t(MI->Code().size())));
}

void TRCPURunner::OpStringRelease(uint8_t)
{
    const uint32_t address = ReadAddress();
    OperandsRead();
    ReleaseString(address);
}

void TRCPURunner::OpFreeData(uint8_t)
{
    const uint32_t address = ReadAddress();
    const uint32_t moduleNumber = ReadIndex();
    const uint32_t typeNumber = ReadIndex();
    OperandsRead();
    TRCPUModule* module = nullptr;
    if (moduleNumber == 0)
        module = FRootModule;
    else if (moduleNumber <= uint32_t(FRootModule->UsedModuleCount()))
        module = FRootModule->IndexToModule(int32_t(moduleNumber));
    else
        RCPUFault(QStringLiteral("Module number %1 out of range").arg(moduleNumber));
    if (!module)
        RaiseError(Translate(QStringLiteral("Could not load module [%1]")
                                 .arg(FRootModule->UsedModuleName(int32_t(moduleNumber)))));
    TBaseType* type = module->IndexToType(int32_t(typeNumber));
    if (!type)
        RCPUFault(QStringLiteral("Type number %1 of module %2 out of range")
                      .arg(typeNumber)
                      .arg(module->ModuleName()));
    type->FreeData(*this, address);
}

// The place of the next native argument word; a 257th is refused.
RCPU_HOT uint32_t& TRCPURunner::NextArgWord()
{
    if (FArgCount >= int(FNativeArgs.size())) [[unlikely]]
        RCPUFault(QStringLiteral("More than %1 argument words").arg(FNativeArgs.size()));
    return FNativeArgs[size_t(FArgCount++)];
}

void TRCPURunner::OpArg(uint8_t op)
{
    const uint32_t address = ReadAddress();
    if (op == 17) {
        OperandsRead();
        LastRef = int32_t(address);
        uint32_t& slot = NextArgWord();
        slot = Word(address);
        return;
    }
    const uint32_t n = ReadIndex();
    OperandsRead();
    const uint32_t pointer = Word(address);
    const uint8_t* value = At(pointer, n);
    const uint32_t rest = n % 4;
    if (rest) {
        uint32_t word = 0;
        std::memcpy(&word, value + (n - rest), rest);
        NextArgWord() = word;
    }
    for (uint32_t i = n / 4; i-- > 0;) {
        uint32_t word = 0;
        std::memcpy(&word, value + 4 * i, 4);
        NextArgWord() = word;
    }
}

void TRCPURunner::OpReturn(uint8_t op)
{
    const uint32_t n = ReadIndex();
    OperandsRead();
    SP = BP;
    BP = Pop();
    if (op == 19 && SP >= StackSize) {
        FHalt = true;
        return;
    }
    CO = Pop();
    if (op == 19 && CO < 0) {
        FHalt = true;
        return;
    }
    const uint32_t handle = uint32_t(Pop());
    FreeStack(n);
    TRCPUModule* module = TRCPUModule::FromHandle(handle);
    if (!module)
        RCPUFault(QStringLiteral("Return module %1 unknown").arg(handle));
    SetModule(module);
    JumpTo(CO);
}

void TRCPURunner::OpCall(uint8_t op)
{
    const uint32_t moduleNumber = op == 24 ? ReadIndex() : 0;
    const uint32_t target = ReadIndex();
    OperandsRead();
    Push(int32_t(MI->Handle()));
    Push(CO);
    if (op == 24)
        SetModule(ModuleNumber(moduleNumber));
    JumpTo(target);
}

void TRCPURunner::OpNativeCall(uint8_t op)
{
    if (op == 22) {
        const uint8_t kind = ReadCodeByte();
        const uint32_t address = ReadAddress();
        const uint32_t func = ReadWord();
        OperandsRead();
        const uint32_t dest = Word(address);
        LastRef = int32_t(func);
        if (kind <= 13)
            CallNative(func, kind, dest);
    } else {
        const uint32_t func = ReadWord();
        OperandsRead();
        LastRef = int32_t(func);
        CallNative(func, -1, 0);
    }
    FArgCount = 0;
}

void TRCPURunner::CallNative(uint32_t id, int kind, uint32_t dest)
{
    if (id == 0) {
        const QString name = MI->ExternalAt(CO - 4);
        RaiseError(
            Translate(QStringLiteral("Native function not bound: %1.%2")
                          .arg(MI->ModuleName().toUpper(), name.isEmpty() ? QStringLiteral("?") : name)));
    }
    const TRCPUNative* native = NativeFuncOfID(id);
    if (!native)
        RCPUFault(QStringLiteral("Slot holds no native function (%1)").arg(id));
    const auto kindOf = ZvLE::TTypeKind(kind < 0 ? 0 : kind);
    // A string destination is emptied and handed over; the string it held
    // is released once the call is over (the call may still read it as an
    // argument), whether the call succeeds or fails.
    uint32_t old = 0;
    if (kind >= 0 && kindOf == ZvLE::TTypeKind::tkString) {
        At(dest, 4, true);
        old = Word(dest);
        RCPUStrings().Text(old); // a fault now for a reference that holds no string
        WriteInt(dest, 0);
        NextArgWord() = dest;
    }
    struct TReleaseOld {
        uint32_t Handle;
        ~TReleaseOld()
        {
            if (Handle && ScriptEngineStarted())
                RCPUStrings().Release(Handle);
        }
    } releaseOld{old};
    const std::span<const uint32_t> args(FNativeArgs.data(), size_t(FArgCount));
    FArgCount = 0;
    const TRCPUNativeResult result = native->Proc(*this, args);
    // The call may have given the module new code (the old buffer is gone).
    FCode = MI->PaddedCode();
    FCodeSize = int32_t(MI->Code().size());
    if (FState && !FState->Segments.empty())
        DropStaleSegments();
    if (kind < 0)
        return;
    using K = TRCPUNativeResult::TKind;
    // The integer and the floating-point result registers.
    const auto integerResult = [&result]() -> int64_t {
        if (result.Kind == K::Extended)
            return CheckCurrency(__int128(std::nearbyint(CheckExtended(result.Extended))));
        return result.Kind == K::Currency ? result.Currency : result.Integer;
    };
    const auto realResult = [&result]() -> long double {
        if (result.Kind == K::Extended)
            return CheckExtended(result.Extended);
        return result.Kind == K::Currency ? result.Currency / 10000.0L
                                          : static_cast<long double>(result.Integer);
    };
    switch (kindOf) {
    case ZvLE::TTypeKind::tkBoolean:
    case ZvLE::TTypeKind::tkShortint:
    case ZvLE::TTypeKind::tkByte:
        *At(dest, 1, true) = uint8_t(integerResult());
        break;
    case ZvLE::TTypeKind::tkSmallint:
    case ZvLE::TTypeKind::tkWord:
    case ZvLE::TTypeKind::tkChar: {
        const uint16_t value = uint16_t(integerResult());
        std::memcpy(At(dest, 2, true), &value, 2);
        break;
    }
    case ZvLE::TTypeKind::tkSingle: {
        const float value = float(realResult());
        std::memcpy(At(dest, 4, true), &value, 4);
        break;
    }
    case ZvLE::TTypeKind::tkDouble: {
        const double value = double(realResult());
        std::memcpy(At(dest, 8, true), &value, 8);
        break;
    }
    case ZvLE::TTypeKind::tkExtended:
        WriteExtended(dest, realResult());
        break;
    case ZvLE::TTypeKind::tkCurrency:
        WriteCurrency(dest, integerResult());
        break;
    case ZvLE::TTypeKind::tkString:
        WriteString(dest, result.String); // releases what the call may have left there
        break;
    default:
        WriteInt(dest, int32_t(integerResult()));
        break;
    }
}

RCPU_HOT void TRCPURunner::OpJump(uint8_t op)
{
    const int32_t start = CO;
    const int32_t offset = ReadSigned();
    OperandsRead();
    bool jump = true;
    switch (op) {
    case 25:
        jump = CompareFlag == 0;
        break;
    case 26:
        jump = CompareFlag != 0;
        break;
    case 27:
        jump = CompareFlag < 0;
        break;
    case 28:
        jump = CompareFlag <= 0;
        break;
    case 29:
        jump = CompareFlag > 0;
        break;
    case 30:
        jump = CompareFlag >= 0;
        break;
    default:
        break;
    }
    if (jump)
        JumpTo(int64_t(start) + offset);
}

void TRCPURunner::OpFarJump(uint8_t)
{
    const uint32_t moduleNumber = ReadIndex();
    const uint32_t target = ReadIndex();
    OperandsRead();
    SetModule(ModuleNumber(moduleNumber));
    JumpTo(target);
}

// 39-44: the 32-bit comparisons; Relation as Holds counts it.
template <int Relation> RCPU_HOT void TRCPURunner::OpIntegerCompare()
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    bool holds = false;
    if constexpr (Relation < 2) {
        const uint32_t a = Word(left);
        const uint32_t b = Word(right);
        holds = Relation == 0 ? a == b : a != b;
    } else {
        const int32_t a = ReadInt(left);
        const int32_t b = ReadInt(right);
        holds = Relation == 2 ? a < b : Relation == 3 ? a > b : Relation == 4 ? a <= b : a >= b;
    }
    *At(dest, 1, true) = holds ? 1 : 0;
}

// 33-38 and 45-68: Byte, Extended, Currency, Word and string comparisons
// (the Integer ones, 39-44, are OpIntegerCompare).
void TRCPURunner::OpCompare(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    int relation = 0;
    int order = 0;
    if (op <= 38) {
        relation = op - 33;
        order = Order(*At(left, 1), *At(right, 1));
    } else if (op <= 50) {
        relation = op - 45;
        const long double a = ReadExtended(left);
        const long double b = ReadExtended(right);
        if (std::isnan(a) || std::isnan(b))
            throw EInvalidOp(QStringLiteral("Invalid floating point operation"));
        order = Order(a, b);
    } else if (op <= 56) {
        relation = op - 51;
        order = Order(ReadCurrency(left), ReadCurrency(right));
    } else if (op <= 62) {
        relation = op - 57;
        order = Order(Load<uint16_t>(left), Load<uint16_t>(right));
    } else {
        relation = op - 63;
        const int compared = QString::compare(ReadString(left), ReadString(right), Qt::CaseSensitive);
        order = compared < 0 ? -1 : (compared > 0 ? 1 : 0);
    }
    *At(dest, 1, true) = Holds(relation, order) ? 1 : 0;
}

void TRCPURunner::OpBoolean(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    const uint8_t a = *At(left, 1);
    const uint8_t b = *At(right, 1);
    uint8_t result = 0;
    switch (op) {
    case 69:
        result = (a != 0 || b != 0) ? 1 : 0;
        break;
    case 70:
        result = a ^ b;
        break;
    default:
        result = (a != 0 && b != 0) ? 1 : 0;
        break;
    }
    *At(dest, 1, true) = result;
}

RCPU_HOT void TRCPURunner::OpInteger(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    const int32_t a = ReadInt(left);
    const int32_t b = ReadInt(right);
    const uint32_t ua = uint32_t(a);
    const uint32_t ub = uint32_t(b);
    uint32_t result = 0;
    switch (op) {
    case 72:
        result = ua + ub;
        break;
    case 73:
        result = ua - ub;
        break;
    case 74:
        result = ua * ub;
        break;
    case 75:
    case 76:
        if (b == 0)
            DivByZero();
        if (a == std::numeric_limits<int32_t>::min() && b == -1)
            throw EIntOverflow(QStringLiteral("Integer overflow"));
        result = uint32_t(op == 75 ? a / b : a % b);
        break;
    case 77:
        result = ua | ub;
        break;
    case 78:
        result = ua ^ ub;
        break;
    case 79:
        result = ua & ub;
        break;
    case 80:
        result = ua << (ub & 31);
        break;
    default:
        result = ua >> (ub & 31);
        break;
    }
    WriteInt(dest, int32_t(result));
}

namespace {

// op: 0 add, 1 subtract, 2 multiply, 3 divide (the order of 82-85 and
// 128-131, and of 86-89 and 132-135).
long double ExtendedOp(int op, long double a, long double b)
{
    switch (op) {
    case 0:
        return CheckExtended(a + b);
    case 1:
        return CheckExtended(a - b);
    case 2:
        return CheckExtended(a * b);
    default:
        return CheckExtended(a / b, true, b);
    }
}

int64_t CurrencyOp(int op, int64_t a, int64_t b)
{
    switch (op) {
    case 0:
        return CheckCurrency(__int128(a) + b);
    case 1:
        return CheckCurrency(__int128(a) - b);
    case 2:
        return DivideRounded(__int128(a) * b, 10000);
    default:
        return DivideRounded(__int128(a) * 10000, b);
    }
}

} // namespace

void TRCPURunner::OpExtended(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    const long double a = ReadExtended(left);
    const long double b = ReadExtended(right);
    WriteExtended(dest, ExtendedOp(op - 82, a, b));
}

void TRCPURunner::OpCurrency(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    WriteCurrency(dest, CurrencyOp(op - 86, ReadCurrency(left), ReadCurrency(right)));
}

void TRCPURunner::OpUnary(uint8_t op)
{
    const uint32_t source = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    switch (op) {
    case 90:
        *At(dest, 1, true) = *At(source, 1) ^ 1;
        break;
    case 91:
        WriteInt(dest, ~ReadInt(source));
        break;
    case 92:
        WriteInt(dest, int32_t(0u - uint32_t(ReadInt(source))));
        break;
    case 93:
        WriteExtended(dest, -ReadExtended(source));
        break;
    default:
        WriteCurrency(dest, CheckCurrency(-__int128(ReadCurrency(source))));
        break;
    }
}

void TRCPURunner::OpConvert(uint8_t op)
{
    const uint32_t source = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    Convert(op, source, dest);
}

void TRCPURunner::Convert(int code, uint32_t source, uint32_t dest)
{
    const auto store = [this, dest](const void* value, uint32_t n) {
        std::memcpy(At(dest, n, true), value, n);
    };
    const auto load = [this, source](void* value, uint32_t n) { std::memcpy(value, At(source, n), n); };
    int8_t i8 = 0;
    uint8_t u8 = 0;
    int16_t i16 = 0;
    uint16_t u16 = 0;
    int32_t i32 = 0;
    float f32 = 0;
    double f64 = 0;
    switch (code) {
    case 95:
        load(&i8, 1), i32 = i8, store(&i32, 4);
        break;
    case 96:
        load(&u8, 1), i32 = u8, store(&i32, 4);
        break;
    case 97:
        load(&i16, 2), i32 = i16, store(&i32, 4);
        break;
    case 98:
        load(&u16, 2), i32 = u16, store(&i32, 4);
        break;
    case 99:
    case 100:
        load(&i32, 4), u8 = uint8_t(i32), store(&u8, 1);
        break;
    case 101:
    case 102:
        load(&i32, 4), u16 = uint16_t(i32), store(&u16, 2);
        break;
    case 103:
        load(&i32, 4), f32 = float(i32), store(&f32, 4);
        break;
    case 104:
        load(&i32, 4), f64 = double(i32), store(&f64, 8);
        break;
    case 105:
        load(&i32, 4), WriteExtended(dest, i32);
        break;
    case 106:
        load(&i32, 4), WriteCurrency(dest, int64_t(i32) * 10000);
        break;
    case 107:
        load(&i8, 1), WriteExtended(dest, i8);
        break;
    case 108:
        load(&u8, 1), WriteExtended(dest, u8);
        break;
    case 109:
        load(&i16, 2), WriteExtended(dest, i16);
        break;
    case 110:
        load(&u16, 2), WriteExtended(dest, u16);
        break;
    case 111:
        load(&f32, 4), WriteExtended(dest, CheckExtended(f32));
        break;
    case 112:
        load(&f64, 8), WriteExtended(dest, CheckExtended(f64));
        break;
    case 113:
        WriteExtended(dest, ReadCurrency(source) / 10000.0L);
        break;
    case 114:
        f32 = float(CheckExtended(ReadExtended(source))), store(&f32, 4);
        break;
    case 115:
        f64 = double(CheckExtended(ReadExtended(source))), store(&f64, 8);
        break;
    default:
        WriteCurrency(dest, ExtendedToCurrency(ReadExtended(source)));
        break;
    }
}

void TRCPURunner::OpCharToString(uint8_t)
{
    const uint32_t a1 = ReadAddress();
    const uint32_t to = ReadAddress();
    OperandsRead();
    const uint32_t from = Word(a1);
    uint16_t unit = 0;
    std::memcpy(&unit, At(from, 2), 2);
    SetStringText(to, QString(QChar(char16_t(unit))));
}

// Two steps: the source to an Integer or Extended intermediate by "from",
// then the intermediate to dest by "to"; other codes store nothing.
void TRCPURunner::OpConvert2(uint8_t)
{
    const uint32_t source = uint32_t(Pop());
    const uint8_t from = ReadCodeByte();
    const uint8_t to = ReadCodeByte();
    const uint32_t dest = PushAddress();
    // The Integer intermediate at base, the Extended one at base + 4; both 0
    // unless "from" makes one.
    const uint32_t base = FState->Scratch();
    std::memset(At(base, TRCPURunState::kScratchSize, true), 0, TRCPURunState::kScratchSize);
    if (from >= 95 && from <= 98)
        Convert(from, source, base);
    else if (from >= 107 && from <= 113)
        Convert(from, source, base + 4);
    if ((to >= 99 && to <= 104) || to == 106)
        Convert(to, base, dest);
    else if (to >= 114 && to <= 116)
        Convert(to, base + 4, dest);
}

void TRCPURunner::OpMove(uint8_t op)
{
    uint32_t source = 0;
    uint32_t dest = 0;
    if (op == 121) {
        dest = uint32_t(Pop());
        source = uint32_t(Pop());
    } else {
        source = uint32_t(Pop());
        dest = uint32_t(Pop());
    }
    const uint32_t n = ReadIndex();
    OperandsRead();
    MoveBytes(dest, source, n);
    if (op != 119)
        Push(int32_t(dest));
}

void TRCPURunner::OpStringMove(uint8_t op)
{
    uint32_t source = 0;
    uint32_t dest = 0;
    if (op == 124) {
        dest = uint32_t(Pop());
        source = uint32_t(Pop());
    } else {
        source = uint32_t(Pop());
        dest = uint32_t(Pop());
    }
    AssignString(dest, Word(source));
    if (op != 122)
        Push(int32_t(dest));
}

RCPU_HOT void TRCPURunner::OpIntegerAssign(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t dest = uint32_t(Pop());
    const uint32_t a = Word(dest);
    const uint32_t b = Word(right);
    WriteInt(dest, int32_t(op == 125 ? a + b : op == 126 ? a - b : a * b));
}

void TRCPURunner::OpExtendedAssign(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t dest = uint32_t(Pop());
    const long double a = ReadExtended(dest);
    const long double b = ReadExtended(right);
    WriteExtended(dest, ExtendedOp(op - 128, a, b));
}

void TRCPURunner::OpCurrencyAssign(uint8_t op)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t dest = uint32_t(Pop());
    WriteCurrency(dest, CurrencyOp(op - 132, ReadCurrency(dest), ReadCurrency(right)));
}

void TRCPURunner::OpConcat(uint8_t)
{
    const uint32_t right = uint32_t(Pop());
    const uint32_t left = uint32_t(Pop());
    const uint32_t dest = PushAddress();
    // The string dest held is released once, whether or not it was one of
    // the operands (their text is taken first).
    WriteString(dest, ReadString(left) + ReadString(right));
}

RCPU_HOT void TRCPURunner::OpTest(uint8_t)
{
    const uint32_t pointer = uint32_t(Pop());
    CompareFlag = *At(pointer, 1) != 0 ? 0 : 1;
}
