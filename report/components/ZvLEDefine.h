#pragma once
// ZvLEDefine: the vocabulary of the script engine: scopes, identifier and
// type kinds, member and operator kinds, addresses of variables, and the
// size in bytes of a value of each type kind.
#include <cstdint>

enum class TScope : uint8_t { scPrivate, scProtected, scPublic };
using TScopeSet = uint8_t; // bit (1 << scope) for each scope in the set

constexpr TScopeSet ScopeBit(TScope scope)
{
    return TScopeSet(1u << unsigned(scope));
}
constexpr TScopeSet AllScopes = 0x07;

enum class TIDKind : uint8_t { idkVar, idkType, idkConst, idkFunc, idkMethod, idkOp };
constexpr int kIDKindCount = 6;

enum class TTypeStruc : uint8_t { tsSimple, tsEnumerated, tsArray, tsRecord, tsFunction, tsClass };
constexpr int kTypeStrucCount = 6;

// The value kinds of the script engine; also the result kinds of native
// calls. In a namespace of its own: the class registry's TTypeKind (kinds of
// published properties) is another thing of the same name.
namespace ZvLE {
enum class TTypeKind : uint8_t {
    tkBoolean,
    tkShortint,
    tkByte,
    tkSmallint,
    tkWord,
    tkInteger,
    tkSingle,
    tkDouble,
    tkExtended,
    tkCurrency,
    tkChar,
    tkString,
    tkPointer,
    tkComplex
};
} // namespace ZvLE
constexpr int kTypeKindCount = 14;

enum class TMemberType : uint8_t { mtElement, mtField, mtMethod, mtProperty };
constexpr int kMemberTypeCount = 4;

enum class TOpKind : uint8_t {
    okTerm,
    okAssign,
    okAddAssign,
    okSubAssign,
    okMulAssign,
    okDivAssign,
    okEQ,
    okNE,
    okLT,
    okGT,
    okLE,
    okGE,
    okIS,
    okAdd,
    okSub,
    okOR,
    okXOR,
    okMul,
    okDiv,
    okIDiv,
    okMod,
    okAND,
    okSHL,
    okSHR,
    okAs,
    okPos,
    okNeg,
    okNOT,
    okLeftAssign,
    okRightAssign,
    okFunction,
    okMethod
};
constexpr int kOpKindCount = 32;

enum class TAddressLoc : uint8_t { alBP, alSP, alDS }; // frame, stack top, data segment
constexpr int kAddressLocCount = 3;

enum class TParamType : uint8_t { ptValue, ptVar };

enum class TMethodOption : uint8_t { moVirtual, moOverride };
using TMethodOptionsSet = uint8_t;

// Where a variable lives: Module is relative to the module that holds the
// identifier (0 = that module).
struct TAddress {
    TAddressLoc Loc = TAddressLoc::alBP;
    uint16_t Module = 0;
    int32_t Offset = 0;
};

// The entry point of a function in the module's code.
struct TCodeLabel {
    int32_t Offset = 0;
};

// A native-function slot: the code offset of its 4 bytes.
struct TExternalFunc {
    int32_t Offset = 0;
};

// Bytes of a value of each kind (Complex: 0, the type computes its size).
constexpr int32_t TypeKindSize[kTypeKindCount] = {1, 1, 1, 2, 2, 4, 4, 8, 10, 8, 2, 8, 4, 0};

inline int32_t SizeOfKind(ZvLE::TTypeKind kind)
{
    return TypeKindSize[int(kind)];
}
