#include "platform/objects/Filer.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"

#include <algorithm>
#include <memory>

namespace {

struct TPendingFixup {
    TPersistent* Instance;
    const TPropInfo* Prop;
    TComponent* LookupRoot;
    QString Name;
};

std::vector<TPendingFixup>& PendingFixups()
{
    // Never destroyed: objects deleted during static destruction still ask
    // to be taken off it.
    static auto* pending = new std::vector<TPendingFixup>();
    return *pending;
}

void ApplyReference(TPersistent* instance, const TPropInfo& prop, const QString& name, TComponent* target)
{
    try {
        SetObjectProp(*instance, prop, target);
    } catch (const EReadError&) {
        throw;
    } catch (const Exception& e) {
        throw EReadError(QStringLiteral("Error resolving reference %1 of property %2: %3")
                             .arg(name, prop.Name, e.Message()));
    }
}

// Restores a reader's owner, parent and lookup root when a scope ends.
class TReaderScope {
public:
    TReaderScope(TComponent*& owner, TComponent*& parent, TComponent*& lookupRoot)
        : FOwnerRef(owner), FParentRef(parent), FLookupRef(lookupRoot), FOwner(owner), FParent(parent),
          FLookup(lookupRoot)
    {
    }
    ~TReaderScope()
    {
        FOwnerRef = FOwner;
        FParentRef = FParent;
        FLookupRef = FLookup;
    }
    TReaderScope(const TReaderScope&) = delete;
    TReaderScope& operator=(const TReaderScope&) = delete;

private:
    TComponent*& FOwnerRef;
    TComponent*& FParentRef;
    TComponent*& FLookupRef;
    TComponent* FOwner;
    TComponent* FParent;
    TComponent* FLookup;
};

// A read error that already names the property it happened in; outer
// properties pass it on unchanged.
class EPropertyReadError : public EReadError {
public:
    using EReadError::EReadError;
};

bool IsOrderValue(TValueType type)
{
    return type == TValueType::vaInt8 || type == TValueType::vaInt16 || type == TValueType::vaInt32;
}

} // namespace

// ---------------------------------------------------------------------------
// TFiler

TFiler::~TFiler() = default;

void TFiler::SetRoot(TComponent* root)
{
    FRoot = root;
    FLookupRoot = root;
}

// ---------------------------------------------------------------------------
// TReader

TReader::TReader(TStream& stream) : TValueReader(stream) {}

TReader::~TReader() = default;

void TReader::DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc&, bool)
{
    if (!FPropHandled && readData && SameText(name, FPropName)) {
        FPropHandled = true;
        readData(*this);
    }
}

void TReader::DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc&, bool)
{
    if (!FPropHandled && readData && SameText(name, FPropName)) {
        FPropHandled = true;
        TMemoryStream data(ReadBinary());
        readData(data);
    }
}

void TReader::FlushBuffer() {}

// A second window of one class under the same owner takes the name with
// "_1", "_2" ... appended, as the framework names them.
QString TReader::UniqueRootName(const TComponent* root, const QString& name)
{
    const TComponent* owner = root->Owner();
    if (!owner || name.isEmpty())
        return name;
    QString unique = name;
    for (int i = 1;; ++i) {
        const TComponent* other = owner->FindComponent(unique);
        if (!other || other == root)
            return unique;
        unique = name + QStringLiteral("_%1").arg(i);
    }
}

TComponent* TReader::ReadRootComponent(TComponent* root)
{
    ReadSignature();
    TFilerFlags flags = 0;
    int childPos = -1;
    ReadPrefix(flags, childPos);
    const QString className = ReadStr();
    const QString name = ReadStr();

    std::unique_ptr<TComponent> created;
    if (!root) {
        created.reset(CreateComponent(className, name));
        root = created.get();
    } else if (!(flags & ffInherited)) {
        root->SetName(UniqueRootName(root, name));
    }

    SetRoot(root);
    FOwner = root;
    FParent = root;
    FLoaded.clear();
    FFixups.clear();
    try {
        root->SetComponentState(TComponentStateFlag::csLoading, true);
        root->SetComponentState(TComponentStateFlag::csReading, true);
        FLoaded.push_back(root);
        root->ReadState(*this);
        FixupReferences();
        EndLoading();
    } catch (...) {
        AbandonLoading();
        throw;
    }
    static_cast<void>(created.release()); // the caller's from here on
    // References other streams left pending may name components of this one.
    // One that cannot be applied belongs to that other stream, not to this
    // load, which has succeeded: it is dropped here.
    try {
        GlobalFixupReferences();
    } catch (const EReadError&) {
    }
    return root;
}

TComponent* TReader::ReadComponent()
{
    TFilerFlags flags = 0;
    int childPos = -1;
    ReadPrefix(flags, childPos);
    const QString className = ReadStr();
    const QString name = ReadStr();
    TNestingGuard guard(*this);

    TComponent* component = nullptr;
    bool created = false;
    if (flags & ffInherited) {
        component = FOwner ? FOwner->FindComponent(name) : nullptr;
        if (!component)
            Fail(QStringLiteral("Ancestor for '%1' not found").arg(name));
    } else {
        component = CreateComponent(className, name);
        created = true;
    }

    const size_t loadedMark = FLoaded.size();
    const size_t fixupMark = FFixups.size();
    try {
        TReaderScope scope(FOwner, FParent, FLookupRoot);
        component->SetComponentState(TComponentStateFlag::csLoading, true);
        component->SetComponentState(TComponentStateFlag::csReading, true);
        if (flags & ffInline) {
            component->SetComponentState(TComponentStateFlag::csInline, true);
            FLookupRoot = component;
        }
        if (std::find(FLoaded.begin(), FLoaded.end(), component) == FLoaded.end())
            FLoaded.push_back(component);
        if (component->HasParent() && FParent && component->GetParentComponent() != FParent)
            component->SetParentComponent(FParent);
        component->ReadState(*this);
        if (flags & ffChildPos) {
            if (TComponent* parent = FParent ? FParent : FOwner)
                parent->SetChildOrder(component, childPos);
        }
    } catch (...) {
        // Everything recorded since this object began belongs to it.
        if (created) {
            for (size_t i = loadedMark; i < FLoaded.size(); ++i) {
                FLoaded[i]->SetComponentState(TComponentStateFlag::csLoading, false);
                FLoaded[i]->SetComponentState(TComponentStateFlag::csReading, false);
            }
            FLoaded.resize(loadedMark);
            FFixups.resize(fixupMark);
            delete component;
        }
        throw;
    }
    return component;
}

TComponent* TReader::CreateComponent(const QString& className, const QString& name)
{
    const TClassInfo* info = FindClass(className);
    if (!info)
        throw EClassNotFound(QStringLiteral("Class %1 not found").arg(className));
    if (!info->InheritsFrom(QStringLiteral("TComponent")))
        Fail(QStringLiteral("Class %1 is no component class").arg(className));
    TObject* object = info->Create(FOwner);
    auto* component = dynamic_cast<TComponent*>(object);
    if (!component) {
        delete object;
        Fail(QStringLiteral("Class %1 is no component class").arg(className));
    }
    try {
        component->SetName(name);
    } catch (...) {
        delete component;
        throw;
    }
    return component;
}

void TReader::ReadData(TComponent* instance)
{
    while (!EndOfList())
        ReadProperty(instance);
    ReadListEnd();

    TReaderScope scope(FOwner, FParent, FLookupRoot);
    FOwner = instance->GetChildOwner();
    if (!FOwner)
        FOwner = FRoot;
    FParent = instance->GetChildParent();
    while (!EndOfList())
        ReadComponent();
    ReadListEnd();
}

void TReader::ReadProperty(TPersistent* instance)
{
    const QString path = ReadStr();
    try {
        const QStringList steps = path.split(QLatin1Char('.'));
        TPersistent* current = instance;
        for (int i = 0; i + 1 < steps.size(); ++i) {
            const TPropInfo* prop = GetPropInfo(*current, steps.at(i));
            TPersistent* next = nullptr;
            if (prop && prop->Kind() == TTypeKind::tkClass)
                next = dynamic_cast<TPersistent*>(GetObjectProp(*current, *prop));
            if (!next)
                Fail(QStringLiteral("Property %1 does not exist").arg(path));
            current = next;
        }
        const QString& last = steps.last();
        if (const TPropInfo* prop = GetPropInfo(*current, last)) {
            ReadPropValue(current, *prop);
            return;
        }
        const QString savedName = FPropName;
        const bool savedHandled = FPropHandled;
        FPropName = last;
        FPropHandled = false;
        try {
            current->DefineProperties(*this);
        } catch (...) {
            FPropName = savedName;
            FPropHandled = savedHandled;
            throw;
        }
        const bool handled = FPropHandled;
        FPropName = savedName;
        FPropHandled = savedHandled;
        if (!handled)
            Fail(QStringLiteral("Property %1 does not exist").arg(path));
    } catch (const EPropertyReadError&) {
        throw;
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& e) {
        throw EPropertyReadError(QStringLiteral("Error reading %1: %2").arg(PropContext(path), e.Message()));
    }
}

QString TReader::PropContext(const QString& propName) const
{
    // The component whose properties are being read is the last one loaded.
    const TComponent* component = FLoaded.empty() ? nullptr : FLoaded.back();
    QString path = FItemPath + propName;
    if (!component || component->Name().isEmpty())
        return path;
    return component->Name() + QLatin1Char('.') + path;
}

void TReader::ReadPropValue(TPersistent* instance, const TPropInfo& prop)
{
    const TTypeInfo& type = *prop.Type;
    const TTypeKind kind = prop.Kind();
    if (kind != TTypeKind::tkClass && prop.IsReadOnly())
        Fail(QStringLiteral("Property %1 is read-only").arg(prop.Name));
    switch (kind) {
    case TTypeKind::tkInteger:
        if (NextValue() == TValueType::vaIdent) {
            // A named value ("Color = clBtnFace"), through the map of the
            // property's type.
            const QString ident = ReadIdent();
            const TIdentMap* map = FindIdentMap(type);
            const std::optional<int32_t> value = map ? IdentToInt(*map, ident) : std::nullopt;
            if (!value)
                Fail(QStringLiteral("Invalid property value: %1 is no value of %2").arg(ident, type.Name));
            SetOrdProp(*instance, prop, *value);
            return;
        }
        SetOrdProp(*instance, prop, ReadInteger());
        return;
    case TTypeKind::tkInt64:
        SetOrdProp(*instance, prop, ReadInt64());
        return;
    case TTypeKind::tkChar:
        SetOrdProp(*instance, prop, ReadChar().unicode());
        return;
    case TTypeKind::tkEnumeration: {
        const QString ident = ReadIdent();
        const int value = GetEnumValue(type, ident);
        if (value < 0)
            Fail(QStringLiteral("Invalid property value: %1 is no value of %2").arg(ident, type.Name));
        SetOrdProp(*instance, prop, value);
        return;
    }
    case TTypeKind::tkSet: {
        int64_t value = 0;
        for (const QString& element : ReadSet()) {
            const int ordinal = type.CompType ? GetEnumValue(*type.CompType, element) : -1;
            if (ordinal < 0)
                Fail(
                    QStringLiteral("Invalid property value: %1 is no element of %2").arg(element, type.Name));
            value |= int64_t(1) << ordinal;
        }
        SetOrdProp(*instance, prop, value);
        return;
    }
    case TTypeKind::tkFloat:
        if (type.FloatType == TFloatType::ftCurr)
            SetFloatProp(*instance, prop, ReadCurrency().ToDouble());
        else
            SetFloatProp(*instance, prop, ReadFloat());
        return;
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString:
        SetStrProp(*instance, prop, ReadString());
        return;
    case TTypeKind::tkVariant:
        SetVariantProp(*instance, prop, ReadVariant());
        return;
    case TTypeKind::tkMethod: {
        if (NextValue() == TValueType::vaNil) {
            ReadValue();
            SetMethodProp(*instance, prop, TMethod());
            return;
        }
        const QString handler = ReadIdent();
        if (!FindMethod(FRoot, handler))
            Fail(QStringLiteral("Method %1 not found in class %2")
                     .arg(handler, FRoot ? FRoot->ClassName() : QStringLiteral("nil")));
        SetMethodProp(*instance, prop, TMethod{handler, FRoot});
        return;
    }
    case TTypeKind::tkClass:
        switch (NextValue()) {
        case TValueType::vaNil:
            ReadValue();
            if (prop.IsReadOnly())
                Fail(QStringLiteral("Property %1 is read-only").arg(prop.Name));
            SetObjectProp(*instance, prop, nullptr);
            return;
        case TValueType::vaCollection: {
            auto* collection = dynamic_cast<TCollection*>(GetObjectProp(*instance, prop));
            if (!collection)
                Fail(
                    QStringLiteral("Invalid property value: property %1 holds no collection").arg(prop.Name));
            const QString saved = FCollectionPath;
            FCollectionPath = FItemPath + prop.Name;
            try {
                ReadCollection(*collection);
            } catch (...) {
                FCollectionPath = saved;
                throw;
            }
            FCollectionPath = saved;
            return;
        }
        case TValueType::vaIdent:
            ReadComponentRef(instance, prop);
            return;
        default:
            InvalidValue(ReadValue());
        }
    default:
        Fail(QStringLiteral("Invalid property type of %1 (TTypeKind = %2)").arg(prop.Name).arg(int(kind)));
    }
}

void TReader::ReadComponentRef(TPersistent* instance, const TPropInfo& prop)
{
    const QString name = ReadIdent();
    if (prop.IsReadOnly())
        Fail(QStringLiteral("Property %1 is read-only").arg(prop.Name));
    // Resolved when the whole tree is in, so a reference may name a component
    // that comes later in the stream.
    FFixups.push_back(TFixup{instance, &prop, FLookupRoot, name});
}

void TReader::ReadCollection(TCollection& collection)
{
    CheckValue(TValueType::vaCollection);
    TNestingGuard guard(*this);
    const QString savedItemPath = FItemPath;
    collection.BeginUpdate();
    try {
        if (!EndOfList())
            collection.Clear();
        while (!EndOfList()) {
            if (IsOrderValue(NextValue()))
                ReadInteger(); // the item's order: items are appended in stream order
            TCollectionItem* item = collection.Add();
            FItemPath = QStringLiteral("%1[%2].").arg(FCollectionPath).arg(collection.Count() - 1);
            ReadListBegin();
            while (!EndOfList())
                ReadProperty(item);
            ReadListEnd();
        }
        ReadListEnd();
    } catch (...) {
        FItemPath = savedItemPath;
        collection.EndUpdate();
        throw;
    }
    FItemPath = savedItemPath;
    collection.EndUpdate();
}

bool TReader::FindMethod(TComponent* root, const QString& methodName)
{
    if (OnFindMethod)
        return OnFindMethod(root, methodName);
    const TClassInfo* info = root ? root->ClassType() : nullptr;
    return info && info->HasMethod(methodName);
}

void TReader::FixupReferences()
{
    std::vector<TFixup> fixups;
    fixups.swap(FFixups);
    for (const TFixup& fixup : fixups) {
        if (TComponent* target = FindNestedComponent(fixup.LookupRoot, fixup.Name))
            ApplyReference(fixup.Instance, *fixup.Prop, fixup.Name, target);
        else
            PendingFixups().push_back(
                TPendingFixup{fixup.Instance, fixup.Prop, fixup.LookupRoot, fixup.Name});
    }
}

void TReader::EndLoading()
{
    std::vector<TComponent*> loaded;
    loaded.swap(FLoaded);
    try {
        for (TComponent* component : loaded)
            component->Loaded();
    } catch (...) {
        for (TComponent* component : loaded) {
            component->SetComponentState(TComponentStateFlag::csLoading, false);
            component->SetComponentState(TComponentStateFlag::csReading, false);
        }
        throw;
    }
    for (TComponent* component : loaded)
        component->SetComponentState(TComponentStateFlag::csReading, false);
}

void TReader::AbandonLoading()
{
    for (TComponent* component : FLoaded) {
        component->SetComponentState(TComponentStateFlag::csLoading, false);
        component->SetComponentState(TComponentStateFlag::csReading, false);
    }
    FLoaded.clear();
    FFixups.clear();
}

// ---------------------------------------------------------------------------
// TWriter

TWriter::TWriter(TStream& stream) : TValueWriter(stream) {}

TWriter::~TWriter() = default;

void TWriter::DefineProperty(const QString& name, const TReaderProc&, const TWriterProc& writeData,
                             bool hasData)
{
    if (hasData && writeData) {
        WritePropName(name);
        writeData(*this);
    }
}

void TWriter::DefineBinaryProperty(const QString& name, const TStreamProc&, const TStreamProc& writeData,
                                   bool hasData)
{
    if (hasData && writeData) {
        WritePropName(name);
        TMemoryStream data;
        writeData(data);
        WriteBinary(data.Bytes());
    }
}

void TWriter::FlushBuffer() {}

void TWriter::WriteRootComponent(TComponent* root)
{
    SetRoot(root);
    WriteSignature();
    WriteComponent(root);
}

void TWriter::WriteComponent(TComponent* component)
{
    component->SetComponentState(TComponentStateFlag::csWriting, true);
    try {
        component->WriteState(*this);
    } catch (...) {
        component->SetComponentState(TComponentStateFlag::csWriting, false);
        throw;
    }
    component->SetComponentState(TComponentStateFlag::csWriting, false);
}

void TWriter::WriteData(TComponent* instance)
{
    const bool isInline = instance->ComponentState().Contains(TComponentStateFlag::csInline);
    const QString className = instance->ClassName();
    if (className.isEmpty())
        throw EWriteError(
            QStringLiteral("The class of component %1 is not registered").arg(instance->Name()));
    WritePrefix(isInline ? ffInline : 0, -1);
    WriteStr(className);
    WriteStr(instance->Name());
    WriteProperties(instance);
    WriteListEnd();

    TComponent* savedRoot = FRoot;
    TComponent* savedLookup = FLookupRoot;
    if (isInline && instance != FRoot)
        SetRoot(instance);
    try {
        instance->GetChildren([this](TComponent* child) { WriteComponent(child); }, FRoot);
    } catch (...) {
        FRoot = savedRoot;
        FLookupRoot = savedLookup;
        throw;
    }
    FRoot = savedRoot;
    FLookupRoot = savedLookup;
    WriteListEnd();
}

void TWriter::WriteProperties(TPersistent* instance)
{
    for (const TPropInfo* prop : GetPropList(*instance)) {
        if (prop->IsStored(*instance))
            WriteProperty(instance, *prop);
    }
    instance->DefineProperties(*this);
}

void TWriter::WriteProperty(TPersistent* instance, const TPropInfo& prop)
{
    const TTypeInfo& type = *prop.Type;
    const TTypeKind kind = prop.Kind();
    // A value that cannot be read back is not written; class properties
    // without a setter still stream the object they hold.
    if (kind != TTypeKind::tkClass && prop.IsReadOnly())
        return;
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet: {
        const int64_t value = GetOrdProp(*instance, prop);
        if (prop.Default && value == *prop.Default)
            return;
        if (kind == TTypeKind::tkEnumeration && GetEnumName(type, value).isEmpty())
            throw EWriteError(
                QStringLiteral("Value %1 of property %2 is out of range").arg(value).arg(prop.Name));
        WritePropName(prop.Name);
        if (kind == TTypeKind::tkChar)
            WriteChar(QChar(char16_t(value)));
        else if (kind == TTypeKind::tkEnumeration && &type == &TypeInfoBoolean())
            WriteBoolean(value != 0);
        else if (kind == TTypeKind::tkEnumeration)
            WriteIdent(GetEnumName(type, value));
        else if (kind == TTypeKind::tkSet)
            WriteSet(SetToString(type, value).split(QLatin1Char(','), Qt::SkipEmptyParts));
        else
            WriteOrdinalValue(type, value);
        return;
    }
    case TTypeKind::tkFloat: {
        const double value = GetFloatProp(*instance, prop);
        if (value == 0)
            return;
        WritePropName(prop.Name);
        switch (type.FloatType) {
        case TFloatType::ftSingle:
            WriteSingle(float(value));
            return;
        case TFloatType::ftCurr:
            try {
                WriteCurrency(Currency::FromDouble(value));
            } catch (const EMathError& e) {
                throw EWriteError(QStringLiteral("Value of property %1: %2").arg(prop.Name, e.Message()));
            }
            return;
        case TFloatType::ftDateTime:
            WriteDate(value);
            return;
        default:
            WriteFloat(value);
            return;
        }
    }
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString: {
        const QString value = GetStrProp(*instance, prop);
        if (value.isEmpty())
            return;
        WritePropName(prop.Name);
        WriteString(value);
        return;
    }
    case TTypeKind::tkMethod: {
        const TMethod value = GetMethodProp(*instance, prop);
        if (!value.IsAssigned())
            return;
        WritePropName(prop.Name);
        WriteIdent(value.Name);
        return;
    }
    case TTypeKind::tkVariant: {
        const QVariant value = GetVariantProp(*instance, prop);
        if (!value.isValid())
            return;
        WritePropName(prop.Name);
        WriteVariant(value);
        return;
    }
    case TTypeKind::tkClass: {
        TObject* object = GetObjectProp(*instance, prop);
        if (!object)
            return;
        if (auto* component = dynamic_cast<TComponent*>(object)) {
            const QString name = ComponentReferenceName(component);
            if (prop.IsReadOnly() || name.isEmpty())
                return;
            WritePropName(prop.Name);
            WriteIdent(name);
        } else if (auto* collection = dynamic_cast<TCollection*>(object)) {
            if (collection->Count() == 0)
                return;
            WritePropName(prop.Name);
            WriteCollection(*collection);
        } else if (auto* persistent = dynamic_cast<TPersistent*>(object)) {
            const QString saved = FPropPath;
            FPropPath += prop.Name + QLatin1Char('.');
            try {
                WriteProperties(persistent);
            } catch (...) {
                FPropPath = saved;
                throw;
            }
            FPropPath = saved;
        } else {
            throw EWriteError(
                QStringLiteral("Property %1 holds an object that cannot be written").arg(prop.Name));
        }
        return;
    }
    default:
        throw EWriteError(
            QStringLiteral("Invalid property type of %1 (TTypeKind = %2)").arg(prop.Name).arg(int(kind)));
    }
}

void TWriter::WriteOrdinalValue(const TTypeInfo& type, int64_t value)
{
    // An integer whose type names its values is written by its name.
    if (const TIdentMap* map = FindIdentMap(type)) {
        if (const std::optional<QString> ident = IntToIdent(*map, value)) {
            WriteIdent(*ident);
            return;
        }
    }
    WriteInteger(value);
}

void TWriter::WriteCollection(TCollection& collection)
{
    WriteValue(TValueType::vaCollection);
    const QString saved = FPropPath;
    FPropPath.clear();
    try {
        for (int i = 0; i < collection.Count(); ++i) {
            WriteListBegin();
            WriteProperties(collection.Items(i));
            WriteListEnd();
        }
    } catch (...) {
        FPropPath = saved;
        throw;
    }
    FPropPath = saved;
    WriteListEnd();
}

void TWriter::WritePropName(const QString& name)
{
    WriteStr(FPropPath + name);
}

QString TWriter::ComponentReferenceName(TComponent* component) const
{
    if (FLookupRoot && component == FLookupRoot)
        return QStringLiteral("Owner");
    TComponent* owner = component->Owner();
    if (owner == FLookupRoot || !owner)
        return component->Name();
    if (owner->Name().isEmpty() || component->Name().isEmpty())
        return QString();
    return owner->Name() + QLatin1Char('.') + component->Name();
}

// ---------------------------------------------------------------------------
// Pending references

void GlobalFixupReferences()
{
    auto& pending = PendingFixups();
    QString firstError;
    for (size_t i = 0; i < pending.size();) {
        const TPendingFixup fixup = pending[i];
        TComponent* target = FindNestedComponent(fixup.LookupRoot, fixup.Name);
        if (!target) {
            ++i;
            continue;
        }
        pending.erase(pending.begin() + std::ptrdiff_t(i));
        try {
            ApplyReference(fixup.Instance, *fixup.Prop, fixup.Name, target);
        } catch (const Exception& e) {
            if (firstError.isEmpty())
                firstError = e.Message();
        }
    }
    if (!firstError.isEmpty())
        throw EReadError(firstError);
}

int PendingFixupCount()
{
    return int(PendingFixups().size());
}

void RemoveFixupReferences(TPersistent* instance)
{
    auto& pending = PendingFixups();
    if (pending.empty())
        return;
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [instance](const TPendingFixup& f) {
                                     return f.Instance == instance || f.LookupRoot == instance;
                                 }),
                  pending.end());
}

QByteArray WriteComponentToBytes(TComponent* root)
{
    TMemoryStream stream;
    TWriter writer(stream);
    writer.WriteRootComponent(root);
    return stream.Bytes();
}

TComponent* ReadComponentFromBytes(const QByteArray& bytes, TComponent* root)
{
    TMemoryStream stream(bytes);
    TReader reader(stream);
    return reader.ReadRootComponent(root);
}
