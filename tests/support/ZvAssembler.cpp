#include "tests/support/ZvAssembler.h"

#include "platform/rtl/Streams.h"

namespace {

// A signed number as the CPU's Signed operands hold it: 0, -1, 1, -2, ...
// become 0, 1, 2, 3, ...
uint32_t ZigZag(int32_t value)
{
    return value >= 0 ? uint32_t(value) * 2 : uint32_t(-int64_t(value) * 2 - 1);
}

} // namespace

TZvAssembler& TZvAssembler::Op(uint8_t opcode)
{
    return Byte(opcode);
}

TZvAssembler& TZvAssembler::Byte(uint8_t value)
{
    FCode.push_back(value);
    return *this;
}

TZvAssembler& TZvAssembler::Index(uint32_t value)
{
    if (value < 0x80)
        return Byte(uint8_t(value));
    if (value < 0x4000)
        return Byte(uint8_t(0x80 + (value >> 8))).Byte(uint8_t(value));
    if (value < 0x200000)
        return Byte(uint8_t(0xC0 + (value >> 16))).Byte(uint8_t(value >> 8)).Byte(uint8_t(value));
    FixedIndex(value);
    return *this;
}

void TZvAssembler::FixedIndex(uint32_t value)
{
    const QByteArray bytes = FixedIndexBytes(value);
    FCode.insert(FCode.end(), bytes.begin(), bytes.end());
}

QByteArray FixedIndexBytes(uint32_t value)
{
    QByteArray bytes;
    bytes.append(char(0xE0 + (value >> 24)));
    bytes.append(char(value >> 16));
    bytes.append(char(value >> 8));
    bytes.append(char(value));
    return bytes;
}

TZvAssembler& TZvAssembler::Signed(int32_t value)
{
    return Index(ZigZag(value));
}

TZvAssembler& TZvAssembler::Word(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        Byte(uint8_t(value >> (8 * i)));
    return *this;
}

TZvAssembler& TZvAssembler::Addr(const TZvAddr& address)
{
    uint32_t k = uint32_t(address.K);
    if (address.Mode < 2)
        k = ZigZag(address.K);
    if (k < 63) {
        Byte(uint8_t((address.Mode << 6) | k));
    } else {
        Byte(uint8_t((address.Mode << 6) | 63));
        Index(k);
    }
    if (address.Mode == 3)
        Index(address.Offset);
    return *this;
}

TZvAssembler& TZvAssembler::Text(const QString& text)
{
    for (const QChar c : text)
        Byte(uint8_t(c.unicode())).Byte(uint8_t(c.unicode() >> 8));
    return Byte(0).Byte(0);
}

TZvAssembler& TZvAssembler::Raw(const QByteArray& bytes)
{
    FCode.insert(FCode.end(), bytes.begin(), bytes.end());
    return *this;
}

TZvAssembler& TZvAssembler::Label(const QString& name)
{
    FLabels[name] = Offset();
    return *this;
}

TZvAssembler& TZvAssembler::JumpTo(uint8_t opcode, const QString& label)
{
    Op(opcode);
    FFixups.push_back(Fixup{Offset(), Offset(), label});
    FixedIndex(0);
    return *this;
}

TZvAssembler& TZvAssembler::CallTo(const QString& label)
{
    Op(Zop::Call);
    FFixups.push_back(Fixup{Offset(), -1, label});
    FixedIndex(0);
    return *this;
}

TZvAssembler& TZvAssembler::Slot(const QString& external)
{
    FExternals[external] = Offset();
    return Word(0);
}

std::vector<uint8_t> TZvAssembler::Code() const
{
    std::vector<uint8_t> code = FCode;
    for (const Fixup& fixup : FFixups) {
        const int32_t target = FLabels.at(fixup.Label);
        uint32_t value = uint32_t(target);
        if (fixup.Origin >= 0)
            value = ZigZag(target - fixup.Origin);
        const QByteArray bytes = FixedIndexBytes(value);
        std::copy(bytes.begin(), bytes.end(), code.begin() + fixup.At);
    }
    return code;
}

// ---------------------------------------------------------------------------

TZvModuleBuilder::TZvModuleBuilder(const QString& name) : FModule(std::make_unique<TRCPUModule>())
{
    FModule->SetModuleName(name);
}

TZvModuleBuilder& TZvModuleBuilder::Code(const TZvAssembler& code, const QString& startLabel)
{
    FModule->SetCode(code.Code());
    for (const auto& [name, offset] : code.Externals())
        FModule->AddExternal(name, offset);
    if (!startLabel.isEmpty())
        FModule->SetStartCO(code.LabelOffset(startLabel));
    return *this;
}

TZvModuleBuilder& TZvModuleBuilder::DataSize(int32_t size)
{
    FModule->SetDataSize(size);
    FModule->Scope()->DataIdx = 0;
    return *this;
}

TZvModuleBuilder& TZvModuleBuilder::StackSize(int32_t size)
{
    FModule->SetStackSize(size);
    return *this;
}

TZvModuleBuilder& TZvModuleBuilder::Var(const QString& name, ZvLE::TTypeKind kind)
{
    TBaseType*& type = FTypes[kind];
    if (!type)
        type = FModule->CreateType(std::make_unique<TSimpleType>(kind));
    FModule->AddVar(name, type);
    if (FModule->Scope()->DataIdx > FModule->DataSize())
        FModule->SetDataSize(FModule->Scope()->DataIdx);
    return *this;
}

TZvModuleBuilder& TZvModuleBuilder::Func(const QString& name, int32_t entry)
{
    auto* function = static_cast<TFuncID*>(FModule->AddFunc(name, nullptr));
    function->SetCodeLabel(entry);
    return *this;
}

QByteArray TZvModuleBuilder::Bytes()
{
    TMemoryStream stream;
    FModule->SaveToStream(stream);
    return stream.Bytes();
}

std::unique_ptr<TRCPUModule> TZvModuleBuilder::Load(TZarvComponent* owner, TZarvComponent* projectItem)
{
    TMemoryStream stream(Bytes());
    return TRCPUModule::CreateFromStream(stream, owner, projectItem);
}
