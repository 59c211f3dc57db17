#pragma once
// ZvLEType: the types of a compiled script module (simple, enumerated, array,
// record, function and class types with their members), their sizes, the
// freeing of values that hold strings, member look-up, and their records in
// the module file.
//
// Type records (all values TStreamHelper primitives): Byte structure (peeked
// to choose the class), Int32 size, Byte kind, then by structure: simple
// Int32 low, Int32 high; enumerated Byte high; array Index dimensions, per
// dimension Index low, Index high and a type reference, then the element's
// type reference; record Index members, per member String name and the member
// record (Byte member type, type reference, for fields, methods and
// properties Byte scope, for methods one ignored Byte, for properties Index
// read and Index write); function Index parameters, per parameter String
// name, Byte parameter type, type reference, Index default, Index offset,
// then the result's type reference; class the record part, the parent's type
// reference, String class name and Index instance size. A type reference is
// two Indexes: module number (0 = this module) and the 1-based type number;
// 0, 0 is none.
//
// Readers resolve a reference at once through the TTypeHelper and refuse
// (EZarvException) unknown structure or member kinds, out-of-range
// enumerations, references to types not read yet and sizes beyond 32 bits.
#include "report/components/ZvLEDefine.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TStreamHelper;
class TBaseType;
class TStructureType;
class TClassType;

// Turns type references of the module file into types and back.
class TTypeHelper {
public:
    virtual ~TTypeHelper() = default;
    // (0, 0) is no type; a reference that names no type read so far raises
    // EZarvException.
    virtual TBaseType* IndexToType(int32_t moduleIndex, int32_t typeIndex) = 0;
    virtual void TypeToIndex(const TBaseType* type, int32_t& moduleIndex, int32_t& typeIndex) = 0;
};

// What freeing a value needs of the memory it lies in.
class TTypeDataAccess {
public:
    virtual ~TTypeDataAccess() = default;
    // Releases the string whose reference is at address and clears it.
    virtual void ReleaseString(uint32_t address) = 0;
};

// The largest value a type may have, in bytes.
constexpr int64_t kMaxTypeSize = 0x7FFFFFFF;
// How deep a type read from a file may nest other types (element, member,
// parameter and parent types): sizes and freeing walk that deep.
constexpr int kMaxTypeNesting = 64;

class TBaseType {
public:
    explicit TBaseType(ZvLE::TTypeKind kind, TTypeStruc struc = TTypeStruc::tsSimple)
        : FTypeKind(kind), FTypeStruc(struc)
    {
    }
    virtual ~TBaseType() = default;
    TBaseType(const TBaseType&) = delete;
    TBaseType& operator=(const TBaseType&) = delete;

    ZvLE::TTypeKind TypeKind() const { return FTypeKind; }
    TTypeStruc TypeStruc() const { return FTypeStruc; }
    int32_t Index() const { return FIndex; }
    void SetIndex(int32_t index) { FIndex = index; }
    const void* Owner() const { return FOwner; }
    void SetOwner(const void* owner) { FOwner = owner; }
    // 1 for a type that refers to no other type, else one more than the
    // deepest it refers to (set when read).
    int Nesting() const { return FNesting; }

    // The size of a value in bytes; raises EZarvException when it would not
    // fit 32 bits.
    virtual int32_t GetSize();
    virtual bool NeedFree() { return FTypeKind == ZvLE::TTypeKind::tkString; }
    // Releases what the value at address holds.
    virtual void FreeData(TTypeDataAccess& memory, uint32_t address);

    // Reads one type record; the class is chosen by its first byte.
    static std::unique_ptr<TBaseType> CreateFromStreamHelper(TTypeHelper& helper, TStreamHelper& stream);
    virtual void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream);

protected:
    virtual void ReadBody(TTypeHelper& helper, TStreamHelper& stream);
    ZvLE::TTypeKind FTypeKind;
    TTypeStruc FTypeStruc;
    int32_t FSize = 0;

private:
    const void* FOwner = nullptr;
    int32_t FIndex = 0;
    int FNesting = 1;
};

class TSimpleType : public TBaseType {
public:
    TSimpleType(ZvLE::TTypeKind kind, int32_t low = 0, int32_t high = 0)
        : TBaseType(kind), FLow(low), FHigh(high)
    {
    }
    int32_t Low() const { return FLow; }
    int32_t High() const { return FHigh; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;

private:
    int32_t FLow;
    int32_t FHigh;
};

class TEnumeratedType : public TBaseType {
public:
    TEnumeratedType() : TBaseType(ZvLE::TTypeKind::tkByte, TTypeStruc::tsEnumerated) {}
    uint8_t High() const { return FHigh; }
    void SetHigh(uint8_t high) { FHigh = high; }
    int32_t GetSize() override { return 1; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;

private:
    uint8_t FHigh = 0;
};

// One array dimension.
struct TRange {
    int32_t Low = 0;
    int32_t High = 0;
    TBaseType* BaseType = nullptr; // the index type
};

class TArrayType : public TBaseType {
public:
    explicit TArrayType(TBaseType* elementType = nullptr)
        : TBaseType(ZvLE::TTypeKind::tkComplex, TTypeStruc::tsArray), FElementType(elementType)
    {
    }
    TBaseType* ElementType() const { return FElementType; }
    void AddDim(int32_t low, int32_t high, TBaseType* baseType);
    int DimCount() const { return int(FDim.size()); }
    // 0 or null for a dimension outside the array.
    int32_t GetLow(int i) const;
    int32_t GetHigh(int i) const;
    TBaseType* GetDimType(int i) const;
    int32_t GetCount(int i) const;
    // Bytes of one step along dimension i; -1 gives the whole array.
    int32_t GetDimSize(int i);

    int32_t GetSize() override { return GetDimSize(-1); }
    bool NeedFree() override { return FElementType && FElementType->NeedFree(); }
    void FreeData(TTypeDataAccess& memory, uint32_t address) override;
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;

private:
    int64_t DimSize(int i);
    TBaseType* FElementType;
    std::vector<TRange> FDim;
};

struct TFuncParam {
    QString ID;
    TBaseType* BaseType = nullptr;
    TParamType ParamType = TParamType::ptValue;
    int32_t DefaultValue = 0;
    int32_t Offset = 0;
};

// The frame address of a parameter or a function result.
TAddress MakeFrameAddress(int32_t offset);

class TFuncType : public TBaseType {
public:
    explicit TFuncType(TBaseType* resultType = nullptr)
        : TBaseType(ZvLE::TTypeKind::tkComplex, TTypeStruc::tsFunction), FResultType(resultType)
    {
    }
    TBaseType* ResultType() const { return FResultType; }
    void SetResultType(TBaseType* type) { FResultType = type; }
    TFuncParam& AddParam(const QString& id, TParamType paramType);
    int ParamCount() const { return int(ParamList.size()); }
    TFuncParam* GetParam(int i);
    // Parameters sit above the saved BP, return address and return module,
    // the last one nearest; an index outside the list gives the result slot.
    TAddress GetParamAddr(int i) const;
    bool EqualTo(const TFuncType& other) const;
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

    std::vector<TFuncParam> ParamList;

protected:
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;

private:
    TBaseType* FResultType;
};

class TStructureMember {
public:
    TStructureMember(TBaseType* baseType, TMemberType memberType, TStructureType* structure)
        : FBaseType(baseType), FMemberType(memberType), FStructureType(structure)
    {
    }
    virtual ~TStructureMember() = default;
    TBaseType* BaseType() const { return FBaseType; }
    TMemberType MemberType() const { return FMemberType; }
    TStructureType* StructureType() const { return FStructureType; }

    static std::unique_ptr<TStructureMember>
    CreateFromStreamHelper(TTypeHelper& helper, TStreamHelper& stream, TStructureType* structure);
    virtual void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream);

protected:
    virtual void ReadBody(TStreamHelper&) {}

private:
    TBaseType* FBaseType;
    TMemberType FMemberType;
    TStructureType* FStructureType;
};

class TClassMember : public TStructureMember {
public:
    TClassMember(TBaseType* baseType, TMemberType memberType, TStructureType* structure, TScope scope)
        : TStructureMember(baseType, memberType, structure), FScope(scope)
    {
    }
    TScope Scope() const { return FScope; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;
    TScope FScope;
};

class TMethodMember : public TClassMember {
public:
    TMethodMember(TBaseType* baseType, TStructureType* structure, TScope scope, TMethodOptionsSet options)
        : TClassMember(baseType, TMemberType::mtMethod, structure, scope), FOptions(options)
    {
    }
    TMethodOptionsSet Options() const { return FOptions; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    TMethodOptionsSet FOptions; // not stored in the module file
};

class TPropertyMember : public TClassMember {
public:
    TPropertyMember(TBaseType* baseType, TStructureType* structure, TScope scope, int32_t readIndex,
                    int32_t writeIndex)
        : TClassMember(baseType, TMemberType::mtProperty, structure, scope), FReadIndex(readIndex),
          FWriteIndex(writeIndex)
    {
    }
    int32_t ReadIndex() const { return FReadIndex; }
    int32_t WriteIndex() const { return FWriteIndex; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    int32_t FReadIndex;
    int32_t FWriteIndex;
};

class TStructureType : public TBaseType {
public:
    explicit TStructureType(TTypeStruc struc) : TBaseType(ZvLE::TTypeKind::tkComplex, struc) {}
    int MemberCount() const { return int(FTypeList.size()); }
    void AddElement(const QString& id, TBaseType* baseType);
    // The 1-based member and its name; null and "" outside the list.
    TStructureMember* IndexToMember(int index, QString& id) const;
    // Offset sums the sizes of the members before the one found (from
    // BaseSize); on a miss all three are 0 and the answer is false.
    virtual bool FindMember(const QString& id, TScopeSet validScopes, int32_t& offset,
                            TStructureMember*& member, int32_t& index);

    int32_t GetSize() override;
    bool NeedFree() override;
    void FreeData(TTypeDataAccess& memory, uint32_t address) override;
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

    int32_t BaseSize = 0;

protected:
    void AddMember(const QString& id, std::unique_ptr<TStructureMember> member);
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;
    // The sum of BaseSize and the members' sizes.
    int32_t MembersSize();

    std::vector<std::pair<QString, std::unique_ptr<TStructureMember>>> FTypeList;
};

class TRecordType : public TStructureType {
public:
    TRecordType() : TStructureType(TTypeStruc::tsRecord) {}
};

class TClassType : public TStructureType {
public:
    TClassType(TClassType* classParent = nullptr, const QString& className = QString())
        : TStructureType(TTypeStruc::tsClass), FZarvClassParent(classParent), FZarvClassName(className)
    {
    }
    TClassType* ClassParent() const { return FZarvClassParent; }
    const QString& ZarvClassName() const { return FZarvClassName; }
    void AddField(const QString& id, TBaseType* baseType, TScope scope);
    void AddMethod(const QString& id, TBaseType* baseType, TScope scope, TMethodOptionsSet options);
    void AddProperty(const QString& id, TBaseType* baseType, TScope scope, int32_t readIndex,
                     int32_t writeIndex);
    // Also searches the parent classes.
    bool FindMember(const QString& id, TScopeSet validScopes, int32_t& offset, TStructureMember*& member,
                    int32_t& index) override;
    // The parent's instance size plus the members'.
    int32_t InstanceSize();
    // A class value is a reference.
    int32_t GetSize() override { return 4; }
    bool NeedFree() override { return false; }
    void FreeData(TTypeDataAccess&, uint32_t) override {}
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TTypeHelper& helper, TStreamHelper& stream) override;

private:
    int32_t FZarvInstanceSize = -1;
    TClassType* FZarvClassParent;
    QString FZarvClassName;
};

// The types of one scope, in order; owns them.
class TTypeManager {
public:
    TTypeManager(const void* owner, TTypeHelper* typeHelper) : FOwner(owner), FTypeHelper(typeHelper) {}
    // Sets the type's owner when it has none and its 1-based index; takes it.
    TBaseType* Add(std::unique_ptr<TBaseType> type);
    int Count() const { return int(TypeList.size()); }
    TBaseType* Get(int index) const; // 0-based; null outside
    void Clear();
    void LoadFromStreamHelper(TStreamHelper& stream);
    void SaveToStreamHelper(TStreamHelper& stream);

    std::vector<std::unique_ptr<TBaseType>> TypeList;

private:
    const void* FOwner;
    TTypeHelper* FTypeHelper;
};

// Shared by the type and identifier records.
TBaseType* ReadTypeRef(TTypeHelper& helper, TStreamHelper& stream);
void WriteTypeRef(TTypeHelper& helper, TStreamHelper& stream, const TBaseType* type);
// A byte that must be below limit (EZarvException naming what otherwise).
uint8_t ReadEnumByte(TStreamHelper& stream, int limit, const char* what);
// Refuses a module file: EZarvException "Invalid module file: " and what.
[[noreturn]] void BadModuleFile(const QString& what);
