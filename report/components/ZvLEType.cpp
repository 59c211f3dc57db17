#include "report/components/ZvLEType.h"

#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"

#include <algorithm>
#include <utility>

namespace {

int32_t CheckedSize(int64_t size)
{
    if (size < 0 || size > kMaxTypeSize)
        BadModuleFile(QStringLiteral("type size %1 out of range").arg(size));
    return int32_t(size);
}

bool SameID(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The deepest nesting among the types referred to by the record being read.
int gReferencedNesting = 0;

} // namespace

void BadModuleFile(const QString& what)
{
    ZarvError(QStringLiteral("Invalid module file: %1").arg(VisibleText(what)));
}

uint8_t ReadEnumByte(TStreamHelper& stream, int limit, const char* what)
{
    const uint8_t value = stream.ReadByte();
    if (value >= limit)
        BadModuleFile(QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(value));
    return value;
}

TBaseType* ReadTypeRef(TTypeHelper& helper, TStreamHelper& stream)
{
    const int32_t module = stream.ReadIndex();
    const int32_t index = stream.ReadIndex();
    TBaseType* type = helper.IndexToType(module, index);
    if (type)
        gReferencedNesting = std::max(gReferencedNesting, type->Nesting());
    return type;
}

void WriteTypeRef(TTypeHelper& helper, TStreamHelper& stream, const TBaseType* type)
{
    int32_t module = 0;
    int32_t index = 0;
    if (type)
        helper.TypeToIndex(type, module, index);
    stream.WriteIndex(module);
    stream.WriteIndex(index);
}

// ---------------------------------------------------------------------------
// TBaseType.

int32_t TBaseType::GetSize()
{
    return FSize != 0 ? FSize : SizeOfKind(FTypeKind);
}

void TBaseType::FreeData(TTypeDataAccess& memory, uint32_t address)
{
    if (FTypeKind == ZvLE::TTypeKind::tkString)
        memory.ReleaseString(address);
}

std::unique_ptr<TBaseType> TBaseType::CreateFromStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    const auto struc = TTypeStruc(ReadEnumByte(stream, kTypeStrucCount, "type structure"));
    const int32_t size = stream.ReadInteger();
    const auto kind = ZvLE::TTypeKind(ReadEnumByte(stream, kTypeKindCount, "type kind"));
    std::unique_ptr<TBaseType> type;
    switch (struc) {
    case TTypeStruc::tsSimple:
        type = std::make_unique<TSimpleType>(kind);
        break;
    case TTypeStruc::tsEnumerated:
        type = std::make_unique<TEnumeratedType>();
        break;
    case TTypeStruc::tsArray:
        type = std::make_unique<TArrayType>();
        break;
    case TTypeStruc::tsRecord:
        type = std::make_unique<TRecordType>();
        break;
    case TTypeStruc::tsFunction:
        type = std::make_unique<TFuncType>();
        break;
    case TTypeStruc::tsClass:
        type = std::make_unique<TClassType>();
        break;
    }
    type->FTypeKind = kind;
    type->FSize = CheckedSize(size);
    const int outer = std::exchange(gReferencedNesting, 0);
    try {
        type->ReadBody(helper, stream);
    } catch (...) {
        gReferencedNesting = outer;
        throw;
    }
    type->FNesting = gReferencedNesting + 1;
    gReferencedNesting = outer;
    if (type->FNesting > kMaxTypeNesting)
        BadModuleFile(QStringLiteral("types nested deeper than %1").arg(kMaxTypeNesting));
    CheckedSize(type->GetSize());
    return type;
}

void TBaseType::SaveToStreamHelper(TTypeHelper&, TStreamHelper& stream)
{
    stream.WriteByte(uint8_t(FTypeStruc));
    stream.WriteInteger(FSize);
    stream.WriteByte(uint8_t(FTypeKind));
}

void TBaseType::ReadBody(TTypeHelper&, TStreamHelper&) {}

// ---------------------------------------------------------------------------
// Simple and enumerated types.

void TSimpleType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseType::SaveToStreamHelper(helper, stream);
    stream.WriteInteger(FLow);
    stream.WriteInteger(FHigh);
}

void TSimpleType::ReadBody(TTypeHelper&, TStreamHelper& stream)
{
    FLow = stream.ReadInteger();
    FHigh = stream.ReadInteger();
}

void TEnumeratedType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseType::SaveToStreamHelper(helper, stream);
    stream.WriteByte(FHigh);
}

void TEnumeratedType::ReadBody(TTypeHelper&, TStreamHelper& stream)
{
    FHigh = stream.ReadByte();
}

// ---------------------------------------------------------------------------
// Arrays.

void TArrayType::AddDim(int32_t low, int32_t high, TBaseType* baseType)
{
    FDim.push_back(TRange{low, high, baseType});
    FSize = 0;
}

int32_t TArrayType::GetLow(int i) const
{
    return i >= 0 && i < DimCount() ? FDim[size_t(i)].Low : 0;
}

int32_t TArrayType::GetHigh(int i) const
{
    return i >= 0 && i < DimCount() ? FDim[size_t(i)].High : 0;
}

TBaseType* TArrayType::GetDimType(int i) const
{
    return i >= 0 && i < DimCount() ? FDim[size_t(i)].BaseType : nullptr;
}

int32_t TArrayType::GetCount(int i) const
{
    return GetHigh(i) - GetLow(i) + 1;
}

int32_t TArrayType::GetDimSize(int i)
{
    return CheckedSize(DimSize(i));
}

// Dimension i steps over one value of dimension i + 1; past the last one, a
// step is one element.
int64_t TArrayType::DimSize(int i)
{
    int64_t size = FElementType ? FElementType->GetSize() : 0;
    for (int j = DimCount() - 1; j > i && j >= 0; --j)
        size = CheckedSize((int64_t(GetHigh(j)) - GetLow(j) + 1) * size);
    return size;
}

void TArrayType::FreeData(TTypeDataAccess& memory, uint32_t address)
{
    if (!NeedFree() || DimCount() == 0)
        return;
    const int64_t elementSize = FElementType->GetSize();
    if (elementSize <= 0)
        return;
    const int64_t count = GetSize() / elementSize;
    for (int64_t i = 0; i < count; ++i)
        FElementType->FreeData(memory, address + uint32_t(i * elementSize));
}

void TArrayType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseType::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(DimCount());
    for (const TRange& range : FDim) {
        stream.WriteIndex(range.Low);
        stream.WriteIndex(range.High);
        WriteTypeRef(helper, stream, range.BaseType);
    }
    WriteTypeRef(helper, stream, FElementType);
}

void TArrayType::ReadBody(TTypeHelper& helper, TStreamHelper& stream)
{
    const int32_t count = stream.ReadIndex();
    stream.CheckBytesLeft(int64_t(count) * 4);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t low = stream.ReadIndex();
        const int32_t high = stream.ReadIndex();
        if (high < low)
            BadModuleFile(QStringLiteral("array bounds %1..%2").arg(low).arg(high));
        AddDim(low, high, ReadTypeRef(helper, stream));
    }
    FElementType = ReadTypeRef(helper, stream);
}

// ---------------------------------------------------------------------------
// Functions.

TAddress MakeFrameAddress(int32_t offset)
{
    return TAddress{TAddressLoc::alBP, 0, offset};
}

TFuncParam& TFuncType::AddParam(const QString& id, TParamType paramType)
{
    ParamList.push_back(TFuncParam{id, nullptr, paramType, 0, 0});
    return ParamList.back();
}

TFuncParam* TFuncType::GetParam(int i)
{
    return i >= 0 && i < ParamCount() ? &ParamList[size_t(i)] : nullptr;
}

TAddress TFuncType::GetParamAddr(int i) const
{
    const int count = ParamCount();
    if (i < 0 || i >= count)
        return MakeFrameAddress(12 + count * 4);
    return MakeFrameAddress(12 + (count - i - 1) * 4);
}

bool TFuncType::EqualTo(const TFuncType& other) const
{
    // A type without parameters skips the count test (kept as it was).
    if (ParamCount() != 0 && ParamCount() != other.ParamCount())
        return false;
    for (int i = 0; i < ParamCount(); ++i) {
        const TFuncParam& a = ParamList[size_t(i)];
        if (i >= other.ParamCount())
            return false;
        const TFuncParam& b = other.ParamList[size_t(i)];
        if (!SameID(a.ID, b.ID) || a.BaseType != b.BaseType || a.ParamType != b.ParamType ||
            a.DefaultValue != b.DefaultValue)
            return false;
    }
    return FResultType == other.FResultType;
}

void TFuncType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseType::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(ParamCount());
    for (const TFuncParam& param : ParamList) {
        stream.WriteString(param.ID);
        stream.WriteByte(uint8_t(param.ParamType));
        WriteTypeRef(helper, stream, param.BaseType);
        stream.WriteIndex(param.DefaultValue);
        stream.WriteIndex(param.Offset);
    }
    WriteTypeRef(helper, stream, FResultType);
}

void TFuncType::ReadBody(TTypeHelper& helper, TStreamHelper& stream)
{
    const int32_t count = stream.ReadIndex();
    stream.CheckBytesLeft(int64_t(count) * 6);
    for (int32_t i = 0; i < count; ++i) {
        TFuncParam param;
        param.ID = stream.ReadString();
        param.ParamType = TParamType(ReadEnumByte(stream, 2, "parameter type"));
        param.BaseType = ReadTypeRef(helper, stream);
        param.DefaultValue = stream.ReadIndex();
        param.Offset = stream.ReadIndex();
        ParamList.push_back(param);
    }
    FResultType = ReadTypeRef(helper, stream);
}

// ---------------------------------------------------------------------------
// Members.

std::unique_ptr<TStructureMember> TStructureMember::CreateFromStreamHelper(TTypeHelper& helper,
                                                                           TStreamHelper& stream,
                                                                           TStructureType* structure)
{
    const auto memberType = TMemberType(ReadEnumByte(stream, kMemberTypeCount, "member type"));
    TBaseType* type = ReadTypeRef(helper, stream);
    std::unique_ptr<TStructureMember> member;
    switch (memberType) {
    case TMemberType::mtElement:
        member = std::make_unique<TStructureMember>(type, memberType, structure);
        break;
    case TMemberType::mtField:
        member = std::make_unique<TClassMember>(type, memberType, structure, TScope::scPublic);
        break;
    case TMemberType::mtMethod:
        member = std::make_unique<TMethodMember>(type, structure, TScope::scPublic, 0);
        break;
    case TMemberType::mtProperty:
        member = std::make_unique<TPropertyMember>(type, structure, TScope::scPublic, 0, 0);
        break;
    }
    member->ReadBody(stream);
    return member;
}

void TStructureMember::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    stream.WriteByte(uint8_t(FMemberType));
    WriteTypeRef(helper, stream, FBaseType);
}

void TClassMember::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TStructureMember::SaveToStreamHelper(helper, stream);
    stream.WriteByte(uint8_t(FScope));
}

void TClassMember::ReadBody(TStreamHelper& stream)
{
    FScope = TScope(ReadEnumByte(stream, 3, "scope"));
}

void TMethodMember::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TClassMember::SaveToStreamHelper(helper, stream);
    stream.WriteByte(0); // the method options are not stored
}

void TMethodMember::ReadBody(TStreamHelper& stream)
{
    TClassMember::ReadBody(stream);
    stream.ReadByte();
}

void TPropertyMember::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TClassMember::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(FReadIndex);
    stream.WriteIndex(FWriteIndex);
}

void TPropertyMember::ReadBody(TStreamHelper& stream)
{
    TClassMember::ReadBody(stream);
    FReadIndex = stream.ReadIndex();
    FWriteIndex = stream.ReadIndex();
}

// ---------------------------------------------------------------------------
// Records and classes.

void TStructureType::AddMember(const QString& id, std::unique_ptr<TStructureMember> member)
{
    FTypeList.emplace_back(id, std::move(member));
    FSize = 0;
}

void TStructureType::AddElement(const QString& id, TBaseType* baseType)
{
    AddMember(id, std::make_unique<TStructureMember>(baseType, TMemberType::mtElement, this));
}

TStructureMember* TStructureType::IndexToMember(int index, QString& id) const
{
    if (index < 1 || index > MemberCount()) {
        id.clear();
        return nullptr;
    }
    id = FTypeList[size_t(index - 1)].first;
    return FTypeList[size_t(index - 1)].second.get();
}

bool TStructureType::FindMember(const QString& id, TScopeSet validScopes, int32_t& offset,
                                TStructureMember*& member, int32_t& index)
{
    int64_t sum = BaseSize;
    for (size_t i = 0; i < FTypeList.size(); ++i) {
        TStructureMember* candidate = FTypeList[i].second.get();
        const auto* classMember = dynamic_cast<const TClassMember*>(candidate);
        const bool visible = !classMember || (validScopes & ScopeBit(classMember->Scope())) != 0;
        if (visible && SameID(FTypeList[i].first, id)) {
            offset = CheckedSize(sum);
            member = candidate;
            index = int32_t(i + 1);
            return true;
        }
        if (candidate->BaseType())
            sum += candidate->BaseType()->GetSize();
    }
    offset = 0;
    member = nullptr;
    index = 0;
    return false;
}

int32_t TStructureType::MembersSize()
{
    int64_t sum = BaseSize;
    for (const auto& entry : FTypeList) {
        if (TBaseType* type = entry.second->BaseType())
            sum += type->GetSize();
        CheckedSize(sum);
    }
    return CheckedSize(sum);
}

int32_t TStructureType::GetSize()
{
    if (FSize == 0)
        FSize = MembersSize();
    return FSize;
}

bool TStructureType::NeedFree()
{
    for (const auto& entry : FTypeList) {
        if (entry.second->BaseType() && entry.second->BaseType()->NeedFree())
            return true;
    }
    return false;
}

void TStructureType::FreeData(TTypeDataAccess& memory, uint32_t address)
{
    uint32_t at = address;
    for (const auto& entry : FTypeList) {
        TBaseType* type = entry.second->BaseType();
        if (!type)
            continue;
        type->FreeData(memory, at);
        at += uint32_t(type->GetSize());
    }
}

void TStructureType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    GetSize();
    TBaseType::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(MemberCount());
    for (const auto& entry : FTypeList) {
        stream.WriteString(entry.first);
        entry.second->SaveToStreamHelper(helper, stream);
    }
}

void TStructureType::ReadBody(TTypeHelper& helper, TStreamHelper& stream)
{
    const int32_t count = stream.ReadIndex();
    stream.CheckBytesLeft(int64_t(count) * 5);
    for (int32_t i = 0; i < count; ++i) {
        const QString id = stream.ReadString();
        AddMember(id, TStructureMember::CreateFromStreamHelper(helper, stream, this));
    }
    FSize = 0; // recomputed from the members
}

void TClassType::AddField(const QString& id, TBaseType* baseType, TScope scope)
{
    AddMember(id, std::make_unique<TClassMember>(baseType, TMemberType::mtField, this, scope));
}

void TClassType::AddMethod(const QString& id, TBaseType* baseType, TScope scope, TMethodOptionsSet options)
{
    AddMember(id, std::make_unique<TMethodMember>(baseType, this, scope, options));
}

void TClassType::AddProperty(const QString& id, TBaseType* baseType, TScope scope, int32_t readIndex,
                             int32_t writeIndex)
{
    AddMember(id, std::make_unique<TPropertyMember>(baseType, this, scope, readIndex, writeIndex));
}

bool TClassType::FindMember(const QString& id, TScopeSet validScopes, int32_t& offset,
                            TStructureMember*& member, int32_t& index)
{
    if (TStructureType::FindMember(id, validScopes, offset, member, index))
        return true;
    // A chain of parents is finite: a reader only refers to types read
    // before, so no class is its own ancestor.
    return FZarvClassParent && FZarvClassParent->FindMember(id, validScopes, offset, member, index);
}

int32_t TClassType::InstanceSize()
{
    if (FZarvInstanceSize < 0) {
        const int64_t parent = FZarvClassParent ? FZarvClassParent->InstanceSize() : 0;
        FZarvInstanceSize = CheckedSize(parent + MembersSize());
    }
    return FZarvInstanceSize;
}

void TClassType::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TStructureType::SaveToStreamHelper(helper, stream);
    WriteTypeRef(helper, stream, FZarvClassParent);
    stream.WriteString(FZarvClassName);
    stream.WriteIndex(InstanceSize());
}

void TClassType::ReadBody(TTypeHelper& helper, TStreamHelper& stream)
{
    TStructureType::ReadBody(helper, stream);
    TBaseType* parent = ReadTypeRef(helper, stream);
    if (parent && parent->TypeStruc() != TTypeStruc::tsClass)
        BadModuleFile(QStringLiteral("class parent is no class"));
    FZarvClassParent = static_cast<TClassType*>(parent);
    FZarvClassName = stream.ReadString();
    stream.ReadIndex(); // recomputed from the members
    FZarvInstanceSize = -1;
    InstanceSize();
}

// ---------------------------------------------------------------------------
// TTypeManager.

TBaseType* TTypeManager::Add(std::unique_ptr<TBaseType> type)
{
    if (!type->Owner())
        type->SetOwner(FOwner);
    type->SetIndex(Count() + 1);
    TypeList.push_back(std::move(type));
    return TypeList.back().get();
}

TBaseType* TTypeManager::Get(int index) const
{
    return index >= 0 && index < Count() ? TypeList[size_t(index)].get() : nullptr;
}

void TTypeManager::Clear()
{
    while (!TypeList.empty())
        TypeList.pop_back();
}

void TTypeManager::LoadFromStreamHelper(TStreamHelper& stream)
{
    const int32_t count = stream.ReadIndex();
    stream.CheckBytesLeft(int64_t(count) * 6);
    for (int32_t i = 0; i < count; ++i)
        Add(TBaseType::CreateFromStreamHelper(*FTypeHelper, stream));
}

void TTypeManager::SaveToStreamHelper(TStreamHelper& stream)
{
    stream.WriteIndex(Count());
    for (const auto& type : TypeList)
        type->SaveToStreamHelper(*FTypeHelper, stream);
}
