#include "platform/objects/StreamWalker.h"

#include "platform/objects/Filer.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Streams.h"

namespace {

const QString kNoName;

[[noreturn]] void Invalid(const TValueReader& reader, TValueType type)
{
    throw EReadError(QStringLiteral("Invalid property value: %1 found at offset %2")
                         .arg(ValueTypeName(type))
                         .arg(reader.Position() - 1));
}

} // namespace

TObjectStreamWalker::TObjectStreamWalker(TStream& source, TWriter* dest) : FReader(source), FWriter(dest) {}

TObjectStreamWalker::~TObjectStreamWalker() = default;

void TObjectStreamWalker::Run()
{
    const int64_t start = FReader.Position();
    FReader.ReadSignature();
    CopyThrough(start, FReader.Position());
    WalkObject(0);
    const int64_t rest = FReader.Position();
    const int64_t end = rest + FReader.Remaining();
    FReader.Stream().Seek(end, TSeekOrigin::soBeginning);
    CopyThrough(rest, end);
}

void TObjectStreamWalker::BeginObject(const TWalkObject&) {}
void TObjectStreamWalker::EndProperties(const TWalkObject&) {}
void TObjectStreamWalker::EndObject(const TWalkObject&) {}
void TObjectStreamWalker::BeginProperty(const QString&) {}
void TObjectStreamWalker::EndProperty(const QString&) {}
bool TObjectStreamWalker::ReplaceValue(const TStreamValue&)
{
    return false;
}
void TObjectStreamWalker::BeginList() {}
void TObjectStreamWalker::EndList() {}
void TObjectStreamWalker::BeginCollectionItem(int) {}
void TObjectStreamWalker::EndCollectionItem() {}

const QString& TObjectStreamWalker::PropName() const
{
    return FPropNames.empty() ? kNoName : FPropNames.back();
}

int TObjectStreamWalker::ListIndex() const
{
    return FListIndexes.empty() ? -1 : FListIndexes.back();
}

void TObjectStreamWalker::WalkObject(int depth)
{
    TValueReader::TNestingGuard guard(FReader);
    const int64_t start = FReader.Position();
    TWalkObject object;
    object.Depth = depth;
    FReader.ReadPrefix(object.Flags, object.ChildPos);
    object.ClassName = FReader.ReadStr();
    object.Name = FReader.ReadStr();
    CopyThrough(start, FReader.Position());
    BeginObject(object);

    while (!FReader.EndOfList())
        WalkProperty();
    EndProperties(object);
    const int64_t propertiesEnd = FReader.Position();
    FReader.ReadListEnd();
    CopyThrough(propertiesEnd, FReader.Position());

    while (!FReader.EndOfList())
        WalkObject(depth + 1);
    const int64_t childrenEnd = FReader.Position();
    FReader.ReadListEnd();
    CopyThrough(childrenEnd, FReader.Position());
    EndObject(object);
}

void TObjectStreamWalker::WalkProperty()
{
    const int64_t start = FReader.Position();
    const QString name = FReader.ReadStr();
    CopyThrough(start, FReader.Position());
    FPropNames.push_back(name);
    FListIndexes.push_back(-1);
    BeginProperty(name);
    WalkValue();
    EndProperty(name);
    FListIndexes.pop_back();
    FPropNames.pop_back();
}

void TObjectStreamWalker::WalkValue()
{
    const TValueType type = FReader.NextValue();
    if (type == TValueType::vaList) {
        WalkList();
        return;
    }
    if (type == TValueType::vaCollection) {
        WalkCollection();
        return;
    }
    const int64_t start = FReader.Position();
    const TStreamValue value = ReadScalar(type);
    const int64_t end = FReader.Position();
    if (!ReplaceValue(value))
        CopyThrough(start, end);
}

void TObjectStreamWalker::WalkList()
{
    TValueReader::TNestingGuard guard(FReader);
    const int64_t start = FReader.Position();
    FReader.ReadListBegin();
    CopyThrough(start, FReader.Position());
    BeginList();
    FListIndexes.push_back(0);
    while (!FReader.EndOfList()) {
        WalkValue();
        ++FListIndexes.back();
    }
    FListIndexes.pop_back();
    const int64_t end = FReader.Position();
    FReader.ReadListEnd();
    CopyThrough(end, FReader.Position());
    EndList();
}

void TObjectStreamWalker::WalkCollection()
{
    TValueReader::TNestingGuard guard(FReader);
    int64_t position = FReader.Position();
    FReader.CheckValue(TValueType::vaCollection);
    CopyThrough(position, FReader.Position());
    int counted = 0;
    while (!FReader.EndOfList()) {
        position = FReader.Position();
        int index = counted;
        const TValueType next = FReader.NextValue();
        if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
            index = FReader.ReadInteger();
        FReader.ReadListBegin();
        CopyThrough(position, FReader.Position());
        BeginCollectionItem(index);
        FListIndexes.push_back(-1);
        while (!FReader.EndOfList())
            WalkProperty();
        FListIndexes.pop_back();
        position = FReader.Position();
        FReader.ReadListEnd();
        CopyThrough(position, FReader.Position());
        EndCollectionItem();
        ++counted;
    }
    position = FReader.Position();
    FReader.ReadListEnd();
    CopyThrough(position, FReader.Position());
}

TStreamValue TObjectStreamWalker::ReadScalar(TValueType type)
{
    TStreamValue value;
    value.Type = type;
    switch (type) {
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
        value.Int = FReader.ReadInt64();
        break;
    case TValueType::vaExtended:
        FReader.ReadValue();
        value.Extended = FReader.ReadExtendedBytes();
        value.Float = ExtendedToDouble(value.Extended);
        break;
    case TValueType::vaSingle:
    case TValueType::vaDouble:
    case TValueType::vaDate:
        value.Float = FReader.ReadFloat();
        break;
    case TValueType::vaCurrency:
        value.Curr = FReader.ReadCurrency();
        value.Float = value.Curr.ToDouble();
        break;
    case TValueType::vaString:
        FReader.ReadValue();
        value.Bytes = FReader.ReadStrBytes();
        value.Text = AnsiToUnicode(value.Bytes, 1252);
        break;
    case TValueType::vaLString:
        FReader.ReadValue();
        value.Bytes = FReader.ReadRawBytes(FReader.ReadLength(1));
        value.Text = AnsiToUnicode(value.Bytes, 1252);
        break;
    case TValueType::vaWString:
    case TValueType::vaUTF8String:
        value.Text = FReader.ReadString();
        break;
    case TValueType::vaIdent:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
    case TValueType::vaNull:
        value.Text = FReader.ReadIdent();
        break;
    case TValueType::vaBinary:
        value.Bytes = FReader.ReadBinary();
        break;
    case TValueType::vaSet:
        value.SetNames = FReader.ReadSet();
        break;
    default:
        FReader.ReadValue();
        Invalid(FReader, type);
    }
    return value;
}

void TObjectStreamWalker::CopyThrough(int64_t from, int64_t to)
{
    if (!FWriter || to <= from)
        return;
    TStream& stream = FReader.Stream();
    const int64_t resume = stream.Position();
    stream.Seek(from, TSeekOrigin::soBeginning);
    const QByteArray bytes = FReader.ReadRawBytes(to - from);
    stream.Seek(resume, TSeekOrigin::soBeginning);
    FWriter->WriteRawBytes(bytes);
}
