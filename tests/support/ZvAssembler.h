#pragma once
// A small assembler for the script engine's byte code, and a builder of
// compiled modules, for tests: no script compiler exists in this program, so
// test modules are assembled here, saved with SaveToStream and read back by
// the module loader, as a module file would be.
//
// Operands are written in the CPU's encodings: Index (1-4 bytes, most
// significant first), Signed (an Index holding a zig-zag number), Word (4
// bytes little-endian) and addresses (a mode byte, an escaped Index when k
// does not fit six bits, and for module data a further Index). Jumps and
// calls to labels take a 4-byte Index, so labels may be used before they are
// defined.
#include "report/components/ZvLEModule.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// The opcodes by name.
namespace Zop {
enum : uint8_t {
    Invalid = 0,
    PushAddr = 1,
    PushAddrUnder = 2,
    PushValue = 3,
    PushBytes = 4,
    Inline = 5,
    StrConst = 6,
    StrConstUnder = 7,
    PushNil = 8,
    Drop = 9,
    Enter = 10,
    CopyFrom = 11,
    StrCopy = 12,
    CopyOrConst = 13,
    StrOrConst = 14,
    StrRelease = 15,
    FreeData = 16,
    Arg = 17,
    ArgBytes = 18,
    Return = 19,
    ReturnNoHalt = 20,
    Call = 21,
    NativeCall = 22,
    NativeProc = 23,
    FarCall = 24,
    JumpTrue = 25,
    JumpFalse = 26,
    JumpLess = 27,
    JumpLessEqual = 28,
    JumpGreater = 29,
    JumpGreaterEqual = 30,
    Jump = 31,
    FarJump = 32,
    ByteEq = 33,
    ByteNe = 34,
    ByteLt = 35,
    ByteGt = 36,
    IntEq = 39,
    IntLt = 41,
    IntGt = 42,
    ExtEq = 45,
    ExtLt = 47,
    CurEq = 51,
    WordEq = 57,
    StrEq = 63,
    StrLt = 65,
    BoolOr = 69,
    BoolXor = 70,
    BoolAnd = 71,
    IntAdd = 72,
    IntSub = 73,
    IntMul = 74,
    IntDiv = 75,
    IntMod = 76,
    ExtAdd = 82,
    ExtMul = 84,
    ExtDiv = 85,
    CurAdd = 86,
    CurMul = 88,
    CurDiv = 89,
    Not = 90,
    IntNeg = 92,
    ByteToInt = 96,
    IntToSingle = 103,
    IntToExt = 105,
    ExtToCur = 116,
    CharToStr = 117,
    Convert2 = 118,
    Move = 119,
    StrMove = 122,
    IntAddAssign = 125,
    ExtAddAssign = 128,
    CurAddAssign = 132,
    Nop = 136,
    Halt = 137,
    Concat = 138,
    Test = 139,
    Suspend = 140,
};
} // namespace Zop

// An address operand.
struct TZvAddr {
    static TZvAddr Frame(int32_t offset) { return {0, offset, 0}; }          // SS + BP + offset
    static TZvAddr Stack(int32_t offset) { return {1, offset, 0}; }          // SS + SP + offset
    static TZvAddr Data(uint32_t offset) { return {2, int32_t(offset), 0}; } // DS + offset
    static TZvAddr Module(uint32_t number, uint32_t offset) { return {3, int32_t(number), offset}; }
    int Mode;
    int32_t K;
    uint32_t Offset;
};

class TZvAssembler {
public:
    TZvAssembler& Op(uint8_t opcode);
    TZvAssembler& Byte(uint8_t value);
    TZvAssembler& Index(uint32_t value);
    TZvAssembler& Signed(int32_t value);
    TZvAssembler& Word(uint32_t value);
    TZvAssembler& Addr(const TZvAddr& address);
    // A UTF-16 text with its terminator.
    TZvAssembler& Text(const QString& text);
    TZvAssembler& Raw(const QByteArray& bytes);
    // Defines a label at the current offset.
    TZvAssembler& Label(const QString& name);
    // A jump opcode (25-31) to a label.
    TZvAssembler& JumpTo(uint8_t opcode, const QString& label);
    // Opcode 21 to a label.
    TZvAssembler& CallTo(const QString& label);
    // A 4-byte native slot, recorded as the external name.
    TZvAssembler& Slot(const QString& external);

    int32_t Offset() const { return int32_t(FCode.size()); }
    int32_t LabelOffset(const QString& name) const { return FLabels.at(name); }
    // The code with every label reference filled in.
    std::vector<uint8_t> Code() const;
    const std::map<QString, int32_t>& Externals() const { return FExternals; }

private:
    struct Fixup {
        int32_t At;     // where the 4-byte index goes
        int32_t Origin; // what a signed offset counts from; -1 for an absolute target
        QString Label;
    };
    void FixedIndex(uint32_t value);
    std::vector<uint8_t> FCode;
    std::map<QString, int32_t> FLabels;
    std::vector<Fixup> FFixups;
    std::map<QString, int32_t> FExternals;
};

// The 4-byte form of an Index.
QByteArray FixedIndexBytes(uint32_t value);

// Builds a module and hands it back through the module file.
class TZvModuleBuilder {
public:
    explicit TZvModuleBuilder(const QString& name = QStringLiteral("Module1"));
    TZvModuleBuilder& Code(const TZvAssembler& code, const QString& startLabel = QString());
    TZvModuleBuilder& DataSize(int32_t size);
    TZvModuleBuilder& StackSize(int32_t size);
    // A module variable in the data segment of the given type kind.
    TZvModuleBuilder& Var(const QString& name, ZvLE::TTypeKind kind);
    TZvModuleBuilder& Func(const QString& name, int32_t entry);
    TRCPUModule& Module() { return *FModule; }
    QByteArray Bytes();
    // Read back from the bytes as a module of the project item.
    std::unique_ptr<TRCPUModule> Load(TZarvComponent* owner = nullptr, TZarvComponent* projectItem = nullptr);

private:
    std::unique_ptr<TRCPUModule> FModule;
    std::map<ZvLE::TTypeKind, TBaseType*> FTypes;
};
