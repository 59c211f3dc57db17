#pragma once
// ZvLERun: the virtual CPU that runs the byte code of compiled script modules,
// its memory, and the registry of native (host) functions the byte code calls.
//
// 32-bit byte code on a 64-bit host
// ---------------------------------
// The byte code holds 32-bit addresses in stack words, data slots and native
// argument words. The CPU therefore owns a 32-bit address space of its own
// (TRCPUAddressSpace) and never hands the byte code a host pointer:
// - Regions are mapped for each run's stack (owned by the run, or by its
//   suspend state), each module's data segment and code (code is read-only
//   but addressable: opcodes 5, 6, 13 and 14 take addresses inside it), and
//   the host cells of a run's parameters, and the read-only copies of blobs
//   a script asked for (MapRunSegment). Address 0 and a guard gap after
//   every region stay unmapped; an n-byte access must lie inside one region,
//   anything else ends the run with ESheetcaster naming the opcode and its
//   code offset.
// - The return module that opcodes 21 and 24 push is the module's 32-bit
//   handle (TRCPUModule::Handle); the -1 sentinels of an outermost frame stay.
// - A string is a 32-bit handle into a reference-counted heap of UTF-16
//   strings (TRCPUStrings); 0 is the empty string. Every assignment to a
//   string reference (a variable, a field, a native call's destination)
//   releases the string the reference held, once.
// - A host object (a component variable, Self, the report canvas) is a 32-bit
//   handle (TRCPUHandles). A component's handle lives until the component is
//   freed; any other object's handle until the run that made it ends.
// - A module parameter that is an object becomes its handle; a QString* or a
//   double* becomes the address of a string or Extended cell in the run's
//   host cells, copied back to the variable after every return of Execute
//   (halt or suspend).
// - A native slot in the code holds the registry id of its function (never 0;
//   0 is an unbound slot). A native is a C++ callable over the CPU and its
//   argument words that returns a tagged result (TRCPUNativeResult).
// - Extended values are 10 bytes in memory (Extended80.h) and computed in
//   long double (the x87 format on x86-64). Currency is a 64-bit integer of
//   ten-thousandths, computed in 64- and 128-bit integers and rounded to the
//   nearest, ties to even. Integer division by zero and the most negative
//   Integer divided by -1 raise EDivByZero / EIntOverflow; a NaN, an infinity
//   or a Currency outside 64 bits raise EInvalidOp, EZeroDivide or EOverflow
//   as the x87 reports them.
//
// The byte code's own checks (stack overflow and underflow, unknown opcodes)
// raise the texts the byte code's authors know ("Stack Overflow", "Cannot
// execute command (FF)"); everything else a malformed module could do (an
// address, jump or call target, module or type number out of range, a code
// offset past the end, a 257th argument word, a slot that holds no bound
// function) is refused the same way.
#include "report/components/ZvLEType.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvEvent.h"
#include "report/print/QpDefine.h"

#include <QString>

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

class TComponent;
class TRCPUModule;
class TRCPURunner;

// ---------------------------------------------------------------------------
// Memory of the CPU.

// A refused access or malformed byte code; inside a run the runner adds the
// opcode and its offset to the message.
RTL_EXCEPTION_CLASS(ERCPUFault, ESheetcaster);
[[noreturn]] void RCPUFault(const QString& what);

// The CPU's 32-bit address space: a table of 65536 slots of 64 KB indexed by
// an address's top 16 bits. A region takes whole slots (and at least 4 KB of
// unmapped guard after its end); each of its slots holds the region's base,
// host bytes and sizes, so an access is one table look-up and one range
// check. Slot 0 (addresses below 0x10000) is never mapped.
class TRCPUAddressSpace {
public:
    TRCPUAddressSpace();
    // Maps size bytes at bytes (not owned; they must stay until Unmap) and
    // answers the base address. Code is mapped read-only.
    uint32_t Map(uint8_t* bytes, uint32_t size, bool writable);
    void Unmap(uint32_t base);
    // The host bytes of count bytes at address; a fault unless they lie in
    // one region (writable when write is set).
    uint8_t* Access(uint32_t address, uint32_t count, bool write)
    {
        return write ? Write(address, count) : Read(address, count);
    }
    uint8_t* Read(uint32_t address, uint32_t count)
    {
        const TSlot& slot = FSlots[address >> kSlotBits];
        const uint32_t offset = address - slot.Base;
        if (int64_t(offset) + count <= slot.ReadSize) [[likely]]
            return slot.Bytes + offset;
        Refuse(address, count, false);
    }
    uint8_t* Write(uint32_t address, uint32_t count)
    {
        const TSlot& slot = FSlots[address >> kSlotBits];
        const uint32_t offset = address - slot.Base;
        if (int64_t(offset) + count <= slot.WriteSize) [[likely]]
            return slot.Bytes + offset;
        Refuse(address, count, true);
    }
    int RegionCount() const { return FRegionCount; }

private:
    static constexpr int kSlotBits = 16;
    struct TSlot {
        uint8_t* Bytes = nullptr; // the host byte at Base
        uint32_t Base = 0;
        uint32_t Slots = 0;     // on a region's first slot: the slots it takes
        int64_t ReadSize = -1;  // bytes from Base; -1 where nothing is mapped
        int64_t WriteSize = -1; // -1 also for a read-only region
    };
    [[noreturn]] static void Refuse(uint32_t address, uint32_t count, bool write);
    std::vector<TSlot> FSlots;
    size_t FCursor = 1; // where the search for free slots starts
    int FRegionCount = 0;
};

// Reference-counted UTF-16 strings by handle; 0 is the empty string. A
// handle is a slot number (low 20 bits) and the slot's generation (high 12
// bits): a freed slot is reused with the next generation, so a handle kept
// after its string was freed is refused, not taken for the slot's new string.
class TRCPUStrings {
public:
    // A new handle with one reference (0 for the empty string).
    uint32_t New(const QString& text);
    void AddRef(uint32_t handle);
    void Release(uint32_t handle);
    // The text of a handle; a fault for a handle that holds none.
    const QString& Text(uint32_t handle) const;
    // Strings alive.
    int Count() const { return FLive; }

private:
    static constexpr int kSlotBits = 20;
    static constexpr uint32_t kSlotMask = (uint32_t(1) << kSlotBits) - 1;
    static constexpr uint32_t kGenerationMask = (uint32_t(1) << (32 - kSlotBits)) - 1;
    struct TEntry {
        QString Text;
        int64_t Refs = 0; // 0: the slot is free
        uint32_t Generation = 0;
    };
    // The slot of a handle that holds a string; a fault for any other.
    uint32_t LiveSlot(uint32_t handle) const;
    std::deque<TEntry> FEntries = std::deque<TEntry>(1); // slot 0 stays unused
    std::deque<uint32_t> FFree;                          // oldest freed first
    int FLive = 0;
};

// Host objects by handle; 0 is nil.
class TRCPUHandles {
public:
    TRCPUHandles();
    ~TRCPUHandles();
    // The handle of object (made when it has none). A component keeps it
    // until it is freed; any other object until as many Release calls as
    // Acquire calls were made.
    uint32_t Acquire(TObject* object);
    void Release(uint32_t handle);
    // Null for 0 and for handles that hold nothing (any more).
    TObject* Object(uint32_t handle) const;
    int Count() const { return int(FObjects.size()); }

private:
    class TWatcher;
    friend class TWatcher;
    void Forget(TObject* object);
    struct Entry {
        TObject* Object;
        int64_t Refs; // -1 for a component
    };
    std::unordered_map<uint32_t, Entry> FObjects;
    std::unordered_map<const TObject*, uint32_t> FHandles;
    std::unique_ptr<TWatcher> FWatcher;
    uint32_t FNext = 1;
};

// ---------------------------------------------------------------------------
// Native functions.

// What a native function answers.
struct TRCPUNativeResult {
    enum class TKind : uint8_t { None, Integer, Extended, Currency, String };
    TKind Kind = TKind::None;
    int32_t Integer = 0;
    long double Extended = 0;
    int64_t Currency = 0; // ten-thousandths
    QString String;

    static TRCPUNativeResult OfInteger(int32_t value);
    static TRCPUNativeResult OfExtended(long double value);
    static TRCPUNativeResult OfCurrency(int64_t value);
    static TRCPUNativeResult OfString(const QString& value);
};

// A native function gets the CPU and its argument words in declaration order
// (for a string result the hidden destination's address follows them).
using TRCPUNativeProc = std::function<TRCPUNativeResult(TRCPURunner& cpu, std::span<const uint32_t> args)>;
struct TRCPUNative {
    TRCPUNativeProc Proc;
};
// The registry's opaque function pointer (ZvDefine.h) for a native; natives
// are registered by address and must live as long as the engine.
inline TZarvNativeFunc NativeFunc(const TRCPUNative& native)
{
    return &native;
}

// The registry: upper-case module names, each with its upper-case function
// names; the first registration of a name stays. Nothing happens while the
// engine is not started.
void RegisterNativeFunc(TZarvNativeFunc func, const QString& name, const QString& module);
void UnregisterNativeFunc(const QString& name, const QString& module);
// Writes the registry id of each function registered under the module's name
// into the slot of the module's external of that name.
void BindModuleExternals(TZarvModule* module);
// The registered function of module.name; null when none.
const TRCPUNative* FindNativeFunc(const QString& name, const QString& module);
bool NativeModuleRegistered(const QString& module);
// The id a bound slot holds for a native (0 when it was never registered),
// and the native of an id (null for none).
uint32_t NativeFuncID(const TRCPUNative* native);
const TRCPUNative* NativeFuncOfID(uint32_t id);

// ---------------------------------------------------------------------------
// The engine.

// Starts the script engine (counted; the first call only): creates the
// native registry and the CPU's memory, and fills the report model's hooks
// for native registration and binding, the module factory, component binding
// and the compiler names. Called by the program's entry before any window and
// by test mains.
void InitScriptEngine();
// The matching shut-down; the last call frees the registry and the memory
// (no module may be left).
void DoneScriptEngine();
bool ScriptEngineStarted();
TRCPUAddressSpace& RCPUMemory();
TRCPUStrings& RCPUStrings();
TRCPUHandles& RCPUHandles();

// A run stops after this many instructions with ESheetcaster when it is not
// 0 (the default): a guard for tests that run arbitrary byte code.
extern int64_t RCPUStepLimit;

// ---------------------------------------------------------------------------
// The CPU.

class TRCPURunState;

// A suspended run: the nine registers, and the stack, host cells and object
// handles of the run, which it owns until the run is resumed.
class TRCPUSuspendState : public TObject {
public:
    TRCPUSuspendState();
    ~TRCPUSuspendState() override;

    int32_t SP = 0;
    int32_t BP = 0;
    uint32_t MI = 0; // module handle
    int32_t CO = 0;
    uint32_t SS = 0;
    uint32_t DS = 0;
    uint32_t CS = 0;
    int32_t StackSize = 0;
    int8_t CompareFlag = 0;
    std::unique_ptr<TRCPURunState> State;
};

// The CPU. Its speed comes from doing little per instruction: the dispatch
// is one switch over the opcode (a jump table), operands are decoded in
// place from the module's padded code with one bounds check per
// instruction, a memory access is one slot look-up and one range check, and
// the stack top is read and written in the stack block directly.
class TRCPURunner : public TTypeDataAccess {
public:
    TRCPURunner();
    ~TRCPURunner() override;
    TRCPURunner(const TRCPURunner&) = delete;
    TRCPURunner& operator=(const TRCPURunner&) = delete;

    // Runs module from its start offset, or resumes suspendState (which it
    // then frees), until the byte code halts or suspends; a suspended run
    // leaves a new TRCPUSuspendState in suspendState. params (may be null):
    // the values pushed before the start, followed by two -1 sentinels.
    void Execute(TRCPUModule* module, const std::vector<TZarvParam>* params,
                 std::unique_ptr<TObject>& suspendState);

    // Registers.
    int32_t SP = 0;
    int32_t BP = 0;
    TRCPUModule* MI = nullptr;
    int32_t CO = 0;
    uint32_t SS = 0;
    uint32_t DS = 0;
    uint32_t CS = 0;
    int32_t StackSize = 0;
    int8_t CompareFlag = 0;
    int32_t LastRef = -1;

    // Memory, for native functions (each access checked).
    int32_t ReadInt(uint32_t address) { return Load<int32_t>(address); }
    void WriteInt(uint32_t address, int32_t value) { Store(address, value); }
    long double ReadExtended(uint32_t address);
    void WriteExtended(uint32_t address, long double value);
    // The string whose handle is at address.
    QString ReadString(uint32_t address);
    // Counted assignment of a new string to the reference at address; the
    // string it held is released.
    void WriteString(uint32_t address, const QString& text);
    QString StringOf(uint32_t handle);
    // The host object of a handle (null for nil).
    TObject* ObjectOf(uint32_t handle);
    // The handle of a host object that a native hands to the byte code; a
    // handle of an object that is not a component is released when the run
    // ends.
    uint32_t HandleFor(TObject* object);
    // Maps a copy of size bytes as a read-only segment of this run and
    // answers its address. The segment lives until current answers false
    // (asked after every native call and when a suspended run resumes) or
    // the run ends; while it lives, a second call with the same key answers
    // the same segment.
    uint32_t MapRunSegment(const void* key, const uint8_t* bytes, uint32_t size,
                           std::function<bool()> current);

    void ReleaseString(uint32_t address) override;

    // The stack, for tests and natives.
    void PushInt(int32_t value);
    int32_t PopInt();

private:
    void StartFresh(TRCPUModule* module, const std::vector<TZarvParam>* params);
    void Resume(TRCPUSuspendState& state);
    void Run();
    void Step(uint8_t opcode);
    void Push(int32_t value);
    int32_t Pop();
    void Leave(std::unique_ptr<TObject>& suspendState);

    // Operands, decoded in place from the padded code; each instruction
    // checks once, after its operands, that they lay inside the code.
    uint8_t ReadCodeByte() { return FCode[CO++]; }
    uint32_t ReadIndex();
    int32_t ReadSigned();
    uint32_t ReadWord();
    uint32_t ReadAddress();
    void OperandsRead()
    {
        if (CO > FCodeSize) [[unlikely]]
            CodeOutside(FCodeSize);
    }
    [[noreturn]] void CodeOutside(int32_t offset);
    uint32_t PushAddress();
    void AllocStack(int64_t n);
    void FreeStack(int64_t n);
    void PushBytes(uint32_t source, uint32_t n);
    void PushZeros(uint32_t n);
    void SetModule(TRCPUModule* module);
    void JumpTo(int64_t target);
    TRCPUModule* ModuleNumber(uint32_t number);
    uint8_t* At(uint32_t address, uint32_t count, bool write = false)
    {
        return write ? FMem->Write(address, count) : FMem->Read(address, count);
    }
    template <class T> T Load(uint32_t address)
    {
        T value;
        std::memcpy(&value, FMem->Read(address, sizeof(T)), sizeof(T));
        return value;
    }
    template <class T> void Store(uint32_t address, T value)
    {
        std::memcpy(FMem->Write(address, sizeof(T)), &value, sizeof(T));
    }
    void MoveBytes(uint32_t dest, uint32_t source, uint32_t n);
    uint32_t Word(uint32_t address) { return Load<uint32_t>(address); }
    int64_t ReadCurrency(uint32_t address) { return Load<int64_t>(address); }
    void WriteCurrency(uint32_t address, int64_t value) { Store(address, value); }
    void AssignString(uint32_t dest, uint32_t handle);      // counted
    void SetStringText(uint32_t dest, const QString& text); // the old string released
    QString CodeText(int64_t offset, int64_t maxBytes);
    uint32_t& NextArgWord();
    void CallNative(uint32_t id, int kind, uint32_t dest);
    void DropStaleSegments();

    // Opcode families.
    void OpInvalid(uint8_t op);
    void OpPush(uint8_t op);
    void OpLoad(uint8_t op);
    void OpInline(uint8_t op);
    void OpStringConst(uint8_t op);
    void OpNil(uint8_t op);
    void OpStackFree(uint8_t op);
    void OpEnter(uint8_t op);
    void OpCopy(uint8_t op);
    void OpStringCopy(uint8_t op);
    void OpCopyOrConst(uint8_t op);
    void OpStringOrConst(uint8_t op);
    void OpStringRelease(uint8_t op);
    void OpFreeData(uint8_t op);
    void OpArg(uint8_t op);
    void OpReturn(uint8_t op);
    void OpCall(uint8_t op);
    void OpNativeCall(uint8_t op);
    void OpJump(uint8_t op);
    void OpFarJump(uint8_t op);
    void OpCompare(uint8_t op);
    template <int Relation> void OpIntegerCompare();
    void OpBoolean(uint8_t op);
    void OpInteger(uint8_t op);
    void OpExtended(uint8_t op);
    void OpCurrency(uint8_t op);
    void OpUnary(uint8_t op);
    void OpConvert(uint8_t op);
    void OpCharToString(uint8_t op);
    void OpConvert2(uint8_t op);
    void OpMove(uint8_t op);
    void OpStringMove(uint8_t op);
    void OpIntegerAssign(uint8_t op);
    void OpExtendedAssign(uint8_t op);
    void OpCurrencyAssign(uint8_t op);
    void OpConcat(uint8_t op);
    void OpTest(uint8_t op);

    // Conversions of opcodes 95-116.
    void Convert(int code, uint32_t source, uint32_t dest);

    std::unique_ptr<TRCPURunState> FState;
    TRCPUModule* FRootModule = nullptr;
    TRCPUAddressSpace* FMem = nullptr;
    const uint8_t* FCode = nullptr; // MI's code, followed by kCodePadding zero bytes
    int32_t FCodeSize = 0;
    uint8_t* FStack = nullptr; // the host bytes of SS
    std::array<uint32_t, 256> FNativeArgs{};
    int FArgCount = 0;
    bool FHalt = false;
    bool FSuspend = false;
};
