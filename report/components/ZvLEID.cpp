#include "report/components/ZvLEID.h"

#include "report/components/ZvLEType.h"
#include "report/model/ZvUtil.h"

#include <cstring>

// The largest constant a module file may hold, in bytes.
constexpr int32_t kMaxConstSize = 0x100000;

std::unique_ptr<TBaseID> TBaseID::CreateFromStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    const auto kind = TIDKind(ReadEnumByte(stream, kIDKindCount, "identifier kind"));
    const QString name = stream.ReadString();
    TBaseType* type = ReadTypeRef(helper, stream);
    std::unique_ptr<TBaseID> id;
    switch (kind) {
    case TIDKind::idkVar:
        id = std::make_unique<TVarID>(name, type);
        break;
    case TIDKind::idkType:
        id = std::make_unique<TTypeID>(name, type);
        break;
    case TIDKind::idkConst:
        id = std::make_unique<TConstID>(name, type);
        break;
    case TIDKind::idkFunc:
        id = std::make_unique<TFuncID>(name, type);
        break;
    case TIDKind::idkMethod:
        id = std::make_unique<TMethodID>(name, type);
        break;
    case TIDKind::idkOp:
        id = std::make_unique<TOpID>(name, type);
        break;
    }
    id->ReadBody(stream);
    return id;
}

void TBaseID::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    stream.WriteByte(uint8_t(FIDKind));
    stream.WriteString(FID);
    WriteTypeRef(helper, stream, FBaseType);
}

void TVarID::SetIDModule(int32_t index)
{
    TBaseID::SetIDModule(index);
    FAddress.Module = uint16_t(index);
}

void TVarID::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseID::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(FAddress.Offset);
    stream.WriteByte(uint8_t(FAddress.Loc));
}

void TVarID::ReadBody(TStreamHelper& stream)
{
    FAddress.Offset = stream.ReadIndex();
    FAddress.Loc = TAddressLoc(ReadEnumByte(stream, kAddressLocCount, "address location"));
}

bool TConstID::IsString() const
{
    return BaseType() && BaseType()->TypeKind() == ZvLE::TTypeKind::tkString;
}

QString TConstID::StringValue() const
{
    if (!IsString())
        return QString();
    return QString(reinterpret_cast<const QChar*>(FData.constData()), FData.size() / 2);
}

void TConstID::GetData(void* buffer) const
{
    if (!IsString())
        std::memcpy(buffer, FData.constData(), size_t(FData.size()));
}

void TConstID::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseID::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(FDataSize);
    stream.Write(FData.constData(), FData.size());
}

void TConstID::ReadBody(TStreamHelper& stream)
{
    FDataSize = stream.ReadIndex();
    const int64_t bytes = IsString() ? int64_t(FDataSize) * 2 : FDataSize;
    if (bytes > kMaxConstSize)
        BadModuleFile(QStringLiteral("constant of %1 bytes").arg(bytes));
    stream.CheckBytesLeft(bytes);
    FData.resize(qsizetype(bytes));
    stream.Read(FData.data(), bytes);
}

void TFuncID::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseID::SaveToStreamHelper(helper, stream);
    stream.WriteIndex(FCodeLabel.Offset);
    stream.WriteIndex(FExecAddr);
}

void TFuncID::ReadBody(TStreamHelper& stream)
{
    FCodeLabel.Offset = stream.ReadIndex();
    FExecAddr = stream.ReadIndex();
}

void TOpID::SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream)
{
    TBaseID::SaveToStreamHelper(helper, stream);
    stream.WriteByte(uint8_t(FOpKind));
}

void TOpID::ReadBody(TStreamHelper& stream)
{
    FOpKind = TOpKind(ReadEnumByte(stream, kOpKindCount, "operator kind"));
}

// ---------------------------------------------------------------------------
// TIDManager.

TBaseID* TIDManager::Find(const QString& idName)
{
    int low = 0;
    int high = Count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int order = IDList[size_t(middle)]->ID().compare(idName, Qt::CaseInsensitive);
        if (order == 0) {
            IDIdx = middle;
            return IDList[size_t(middle)].get();
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    IDIdx = low;
    return nullptr;
}

TBaseID* TIDManager::Add(std::unique_ptr<TBaseID> id)
{
    if (Find(id->ID()))
        return nullptr;
    auto at = IDList.insert(IDList.begin() + IDIdx, std::move(id));
    return at->get();
}

void TIDManager::LoadFromStreamHelper(TStreamHelper& stream)
{
    const int32_t count = stream.ReadIndex();
    stream.CheckBytesLeft(int64_t(count) * 4);
    for (int32_t i = 0; i < count; ++i) {
        std::unique_ptr<TBaseID> id = TBaseID::CreateFromStreamHelper(*FTypeHelper, stream);
        const QString name = id->ID();
        if (!Add(std::move(id)))
            BadModuleFile(QStringLiteral("identifier %1 twice").arg(name));
    }
}

void TIDManager::SaveToStreamHelper(TStreamHelper& stream)
{
    stream.WriteIndex(Count());
    for (const auto& id : IDList)
        id->SaveToStreamHelper(*FTypeHelper, stream);
}
