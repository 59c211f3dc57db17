#include "report/model/ZvFiler.h"

#include "platform/forms/MessageService.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpFiler.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t kNoDefaultMarker = std::numeric_limits<int32_t>::min();

// The kind an unknown property's value is read as, by its tag.
TTypeKind KindOfTag(uint8_t tag)
{
    switch (tag) {
    case kTagIdent:
        return TTypeKind::tkEnumeration;
    case kTagPosInt:
    case kTagNegInt:
    case kTagFullInt:
        return TTypeKind::tkInteger;
    case kTagChar:
        return TTypeKind::tkChar;
    case kTagFloat:
        return TTypeKind::tkFloat;
    case kTagString:
        return TTypeKind::tkUString;
    case kTagSet:
        return TTypeKind::tkSet;
    case kTagObject:
    case kTagComponentList:
    case kTagObjectList:
        return TTypeKind::tkClass;
    default:
        return TTypeKind::tkUnknown;
    }
}

// A float a file may hold for prop. No number (an extended that is NaN or
// infinite, or beyond the double range) would reach integer device
// positions. A report length (inches) beyond what a page snapshot carries
// would load and run, and only the snapshot of the run would be refused,
// without the project's name: such a length is a damaged file.
bool IsSoundFloat(const TPropInfo& prop, double value)
{
    if (!std::isfinite(value))
        return false;
    const bool isLength = prop.Type && prop.Type->Name == QLatin1String("TZarvUnits");
    return !isLength || std::abs(value) <= kZsfMaxCoordinate;
}

const TClassInfo* PropertyClass(const TPropInfo& prop)
{
    return prop.Type ? FindClass(prop.Type->ClassName) : nullptr;
}

// Classes the reader makes from a record: report components, but no project
// items (those are made by the project and its reports) and nothing abstract.
bool CreatableFromRecord(const TClassInfo* cls)
{
    return cls->CanCreate() && cls->InheritsFrom(QStringLiteral("TZarvComponent")) &&
           !cls->InheritsFrom(QStringLiteral("TZarvProjectItem"));
}

QString StripMasterMark(const QString& name)
{
    return name.startsWith(u'*') ? name.mid(1) : name;
}

// A stored reference is a component name, with its owner's name and a dot
// before it when another item owns it, and a "*" in front for a component
// of the master project: every part between the dots is a name a component
// could be given.
bool IsValidReferenceName(const QString& name)
{
    const QStringList parts = StripMasterMark(name).split(u'.');
    return std::all_of(parts.begin(), parts.end(), [](const QString& part) { return IsValidIdent(part); });
}

// A name that no component can have is a damaged file: resolving it would
// leave the property nil, and a run would print a page without its content.
void CheckReferenceName(const QString& name)
{
    if (!IsValidReferenceName(name))
        ZarvError(Translate(QStringLiteral("Invalid Project Format")));
}

// The object that step leads to from object; null when there is none.
TObject* FollowStep(TObject* object, const TZarvRefStep& step)
{
    if (!object || !step.Prop || step.Prop->Kind() != TTypeKind::tkClass || !step.Prop->GetObject)
        return nullptr;
    TObject* next = step.Prop->GetObject(*object);
    if (step.ItemIndex < 0)
        return next;
    auto* list = dynamic_cast<TZarvPersistentList*>(next);
    if (!list || step.ItemIndex >= list->Count())
        return nullptr;
    return list->Items(step.ItemIndex);
}

// Raises and lowers the absorb count around a read.
class TAbsorb {
public:
    explicit TAbsorb(int32_t& count) : FCount(count) { ++FCount; }
    ~TAbsorb() { --FCount; }
    TAbsorb(const TAbsorb&) = delete;
    TAbsorb& operator=(const TAbsorb&) = delete;

private:
    int32_t& FCount;
};

} // namespace

bool ReferenceFits(const TPropInfo& prop, const TObject* component)
{
    if (!component)
        return true;
    if (!prop.Type || prop.Kind() != TTypeKind::tkClass)
        return false;
    return component->InheritsFrom(prop.Type->ClassName);
}

bool StoreReference(const TZarvRefTarget& target, TZarvComponent* component)
{
    if (!target.Holder || target.Path.empty())
        return false;
    TObject* instance = target.Holder;
    for (size_t i = 0; i + 1 < target.Path.size(); ++i) {
        instance = FollowStep(instance, target.Path[i]);
        if (!instance)
            return false;
    }
    const TPropInfo* prop = target.Path.back().Prop;
    if (!prop || prop->Kind() != TTypeKind::tkClass || !prop->GetObject)
        return false;
    if (target.ListIndex >= 0) {
        auto* list = dynamic_cast<TZarvComponentList*>(prop->GetObject(*instance));
        if (!list || target.ListIndex >= list->Count())
            return false;
        list->SetItems(target.ListIndex, component);
        return true;
    }
    if (!prop->SetObject || !ReferenceFits(*prop, component))
        return false;
    prop->SetObject(*instance, component);
    return true;
}

// ---------------------------------------------------------------------------
// TZarvFiler.

TZarvFiler::TZarvFiler(TStreamHelper& streamHelper, bool isReader)
    : FStreamHelper(streamHelper), FIsReader(isReader)
{
}

TZarvFiler::~TZarvFiler() = default;

void TZarvFiler::OverrideProperty(const QString& name, const TZarvReaderProc& readData,
                                  const TZarvWriterProc& writeData)
{
    if (FIsReader ? !readData : !writeData)
        return;
    if (!FOverrideList)
        FOverrideList = std::make_unique<TOverrideList>();
    FOverrideList->push_back(TPropertyOverride{name, readData, writeData});
}

bool TZarvFiler::PropertyOverride(const QString& name, TZarvReaderProc& readData,
                                  TZarvWriterProc& writeData) const
{
    if (!FOverrideList)
        return false;
    for (const TPropertyOverride& entry : *FOverrideList) {
        if (SameText(entry.Name, name)) {
            readData = entry.ReadProc;
            writeData = entry.WriteProc;
            return true;
        }
    }
    return false;
}

void TZarvFiler::DefineProperty(const QString&, const TReaderProc&, const TWriterProc&, bool) {}

void TZarvFiler::DefineBinaryProperty(const QString&, const TStreamProc&, const TStreamProc&, bool) {}

void TZarvFiler::FlushBuffer() {}

// Overrides belong to one object's property list; a nested object's list
// (a font, an event) must not lose those of the component around it.
std::unique_ptr<TZarvFiler::TOverrideList> TZarvFiler::BeginOverrides(TPersistent* instance)
{
    std::unique_ptr<TOverrideList> outer = std::move(FOverrideList);
    if (auto* component = dynamic_cast<TZarvComponent*>(instance))
        component->OverrideProperties(*this);
    return outer;
}

void TZarvFiler::EndOverrides(std::unique_ptr<TOverrideList> outer)
{
    FOverrideList = std::move(outer);
}

// ---------------------------------------------------------------------------
// TZarvWriter.

TZarvWriter::TZarvWriter(TStreamHelper& streamHelper) : TZarvFiler(streamHelper, false) {}

void TZarvWriter::WriteComponent(TZarvComponent* value, bool doChildren)
{
    FRootOwner = value->Owner();
    auto* rootZarv = dynamic_cast<TZarvComponent*>(FRootOwner);
    FRootProject = rootZarv && rootZarv->Project() ? rootZarv->Project() : value->Project();
    const QString className = value->ClassName();
    if (className.isEmpty())
        ZarvError(Translate(QStringLiteral("Attempt to write invalid class type.")));
    FStreamHelper.WriteByte(kRecordMarker);
    FStreamHelper.WriteString(className);
    FStreamHelper.WriteString(value->Name());
    WriteProperties(value);
    if (doChildren)
        WriteChildren(value);
    else
        FStreamHelper.WriteIndex(0);
}

void TZarvWriter::WriteChildren(TZarvComponent* instance)
{
    const int count = instance->GetChildCount();
    FStreamHelper.WriteIndex(count);
    for (int i = 0; i < count; ++i)
        WriteComponent(instance->GetChild(i), true);
}

void TZarvWriter::WriteProperties(TPersistent* instance)
{
    FStreamHelper.WriteByte(kTagObject);
    std::unique_ptr<TOverrideList> outer = BeginOverrides(instance);
    TPersistent* const savedDefine = FDefineInstance;
    try {
        FDefineInstance = instance;
        instance->DefineProperties(*this);
        FDefineInstance = savedDefine;
        const bool isComponent = dynamic_cast<TComponent*>(instance) != nullptr;
        for (const TPropInfo* prop : PropertiesOf(*instance)) {
            if (isComponent && prop->Name == QLatin1String("Name"))
                continue;
            TZarvReaderProc readProc;
            TZarvWriterProc writeProc;
            if (PropertyOverride(prop->Name, readProc, writeProc) && writeProc)
                writeProc(*this);
            else if (prop->IsStored(*instance))
                WriteProperty(instance, *prop);
        }
        FStreamHelper.WriteString(QString());
    } catch (...) {
        FDefineInstance = savedDefine;
        EndOverrides(std::move(outer));
        throw;
    }
    EndOverrides(std::move(outer));
}

const std::vector<const TPropInfo*>& TZarvWriter::PropertiesOf(const TPersistent& instance)
{
    const TClassInfo* info = instance.ClassType();
    auto found = FClassProperties.find(info);
    if (found == FClassProperties.end())
        found = FClassProperties.emplace(info, GetPropList(instance)).first;
    return found->second;
}

void TZarvWriter::WriteProperty(TPersistent* instance, const TPropInfo& prop)
{
    if (prop.IsReadOnly() || !prop.IsStored(*instance))
        return;
    const auto atDefault = [&prop](int64_t value) { return prop.Default && *prop.Default == value; };
    switch (prop.Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64: {
        const auto value = int32_t(GetOrdProp(*instance, prop));
        if (atDefault(value))
            return;
        WritePropName(prop);
        WriteInteger(value);
        return;
    }
    case TTypeKind::tkChar: {
        const int64_t value = GetOrdProp(*instance, prop);
        if (atDefault(value))
            return;
        WritePropName(prop);
        WriteChar(QChar(char16_t(value)));
        return;
    }
    case TTypeKind::tkEnumeration: {
        const int64_t value = GetOrdProp(*instance, prop);
        if (atDefault(value))
            return;
        WritePropName(prop);
        WriteID(GetEnumName(*prop.Type, value));
        return;
    }
    case TTypeKind::tkFloat:
        WritePropName(prop);
        WriteFloat(GetFloatProp(*instance, prop));
        return;
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString: {
        const QString value = GetStrProp(*instance, prop);
        if (value.isEmpty())
            return;
        WritePropName(prop);
        WriteString(value);
        return;
    }
    case TTypeKind::tkSet: {
        const int64_t value = GetOrdProp(*instance, prop);
        if (atDefault(value))
            return;
        WritePropName(prop);
        FStreamHelper.WriteByte(kTagSet);
        const QStringList names = prop.Type->CompType ? prop.Type->CompType->EnumNames : QStringList();
        for (int i = 0; i < 32 && i < names.size(); ++i) {
            if (value & (int64_t(1) << i))
                FStreamHelper.WriteString(names.at(i));
        }
        FStreamHelper.WriteString(QString());
        return;
    }
    case TTypeKind::tkClass:
        WriteClassProperty(instance, prop);
        return;
    case TTypeKind::tkVariant:
        if (prop.Name == QLatin1String("Tag"))
            return;
        break;
    default:
        break;
    }
    ZarvError(Translate(
        QStringLiteral("Attempt to write invalid property type.  TTypeKind = %1").arg(int(prop.Kind()))));
}

void TZarvWriter::WriteClassProperty(TPersistent* instance, const TPropInfo& prop)
{
    TObject* object = GetObjectProp(*instance, prop);
    if (!object) {
        if (prop.Default && *prop.Default != 0 && *prop.Default != kNoDefaultMarker) {
            WritePropName(prop);
            WriteInteger(0);
        }
        return;
    }
    if (auto* component = dynamic_cast<TComponent*>(object)) {
        WritePropName(prop);
        WriteID(ReferenceName(component));
        return;
    }
    if (auto* persistent = dynamic_cast<TPersistent*>(object)) {
        WritePropName(prop);
        WriteProperties(persistent);
        return;
    }
    if (auto* list = dynamic_cast<TZarvComponentList*>(object)) {
        WritePropName(prop);
        FStreamHelper.WriteByte(kTagComponentList);
        // An empty name ends the list, so an empty entry cannot be written.
        for (int i = 0; i < list->Count(); ++i) {
            if (TZarvComponent* entry = list->Items(i))
                FStreamHelper.WriteString(ReferenceName(entry));
        }
        FStreamHelper.WriteString(QString());
        return;
    }
    if (auto* list = dynamic_cast<TZarvPersistentList*>(object)) {
        WritePropName(prop);
        FStreamHelper.WriteByte(kTagObjectList);
        for (int i = 0; i < list->Count(); ++i) {
            TPersistent* item = list->Items(i);
            if (!item || item->ClassName().isEmpty())
                continue;
            FStreamHelper.WriteString(item->ClassName());
            WriteProperties(item);
        }
        FStreamHelper.WriteString(QString());
        return;
    }
    ZarvError(Translate(QStringLiteral("Attempt to write invalid class type.")));
}

void TZarvWriter::WritePropName(const TPropInfo& prop)
{
    FStreamHelper.WriteString(prop.Name);
}

void TZarvWriter::WritePropName(const QString& name)
{
    FStreamHelper.WriteString(name);
}

void TZarvWriter::WriteID(const QString& value)
{
    FStreamHelper.WriteByte(kTagIdent);
    FStreamHelper.WriteString(value);
}

void TZarvWriter::WriteInteger(int32_t value)
{
    if (value >= 0 && value <= 0x0FFFFFFF) {
        FStreamHelper.WriteByte(kTagPosInt);
        FStreamHelper.WriteIndex(value);
    } else if (value < 0 && value > -0x10000000) {
        FStreamHelper.WriteByte(kTagNegInt);
        FStreamHelper.WriteIndex(-value);
    } else {
        FStreamHelper.WriteByte(kTagFullInt);
        FStreamHelper.WriteInteger(value);
    }
}

void TZarvWriter::WriteChar(QChar value)
{
    FStreamHelper.WriteByte(kTagChar);
    FStreamHelper.WriteString(QString(value));
}

void TZarvWriter::WriteFloat(double value)
{
    FStreamHelper.WriteByte(kTagFloat);
    FStreamHelper.WriteExtended(value);
}

void TZarvWriter::WriteString(const QString& value)
{
    FStreamHelper.WriteByte(kTagString);
    FStreamHelper.WriteString(value);
}

QString TZarvWriter::ReferenceName(const TComponent* component) const
{
    QString name = component->Name();
    const TComponent* owner = component->Owner();
    if (owner && owner != FRootOwner && owner != FRootProject)
        name = owner->Name() + QLatin1Char('.') + name;
    if (auto* zarv = dynamic_cast<const TZarvComponent*>(component); zarv && zarv->NeverIncluded())
        name.prepend(QLatin1Char('*'));
    return name;
}

void TZarvWriter::DefineProperty(const QString& name, const TReaderProc&, const TWriterProc& writeData,
                                 bool hasData)
{
    if (!hasData || !writeData)
        return;
    TMemoryStream stream;
    {
        TWriter writer(stream);
        writeData(writer);
        writer.FlushBuffer();
    }
    WritePropName(name);
    FStreamHelper.WriteIndex(int32_t(stream.Size()));
    FStreamHelper.Write(stream.Memory(), stream.Size());
}

void TZarvWriter::DefineBinaryProperty(const QString& name, const TStreamProc&, const TStreamProc& writeData,
                                       bool hasData)
{
    if (!hasData || !writeData)
        return;
    TMemoryStream stream;
    writeData(stream);
    WritePropName(name);
    FStreamHelper.WriteIndex(int32_t(stream.Size()));
    FStreamHelper.Write(stream.Memory(), stream.Size());
}

// ---------------------------------------------------------------------------
// TZarvReader.

// Counts nesting of records and objects; a damaged stream cannot nest deeper
// than the stack allows.
class TZarvReader::TDepthGuard {
public:
    explicit TDepthGuard(TZarvReader& reader) : FReader(reader)
    {
        if (++FReader.FDepth > kMaxRecordNesting) {
            --FReader.FDepth;
            ZarvError(
                Translate(QStringLiteral("Components nested deeper than %1 levels").arg(kMaxRecordNesting)));
        }
    }
    ~TDepthGuard() { --FReader.FDepth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    TZarvReader& FReader;
};

TZarvReader::TZarvReader(TStreamHelper& streamHelper) : TZarvFiler(streamHelper, true) {}

TZarvReader::~TZarvReader() = default;

void TZarvReader::ReadHeader(QString& className, QString& name)
{
    const uint8_t marker = FStreamHelper.ReadByte();
    if (marker != kRecordMarker)
        ZarvError(Translate(QStringLiteral("Invalid component record marker %1").arg(marker)));
    className = FStreamHelper.ReadString();
    name = FStreamHelper.ReadString();
    // As SetName would refuse it, but with the bytes shown as they stand.
    if (!name.isEmpty() && !IsValidIdent(name))
        throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(VisibleText(name)));
}

void TZarvReader::ReadPropertyListTag()
{
    const uint8_t tag = FStreamHelper.ReadByte();
    if (tag != kTagObject)
        ZarvError(Translate(QStringLiteral("Invalid property list tag %1").arg(tag)));
}

TZarvComponent* TZarvReader::ReadComponent(TComponent* owner, TZarvComponent* parent)
{
    TDepthGuard depth(*this);
    FAbsorbCount = 0;
    FRootOwner = owner;
    FCurrentParent = parent;
    QString className;
    QString name;
    ReadHeader(className, name);

    const TClassInfo* cls = FindClass(className);
    if (!cls) {
        const QString text =
            InDesigner ? QStringLiteral("Unknown component \"%1\" found.  You will need to add the package "
                                        "containing this component before you can load this report project.")
                       : QStringLiteral("Unknown class \"%1\" found.  You will need to include the unit "
                                        "containing this component to your uses clause.");
        ShowMessageBox(Translate(text.arg(VisibleText(className))), QCoreApplication::applicationName(),
                       TMsgIcon::None, TMsgButtons::OK);
        SkipRecordBody();
        return nullptr;
    }
    if (!CreatableFromRecord(cls)) {
        SkipRecordBody();
        return nullptr;
    }
    TObject* made = cls->Create(owner);
    auto* component = dynamic_cast<TZarvComponent*>(made);
    if (!component) {
        delete made;
        SkipRecordBody();
        return nullptr;
    }
    component->IncludeStyle(TZarvComponentStyle::rcsLoading);
    const bool accepted = component->AcceptParent(parent ? parent->ClassType() : nullptr) &&
                          (!parent || parent->AcceptChild(cls));
    if (!accepted) {
        delete component;
        SkipRecordBody();
        return nullptr;
    }

    // A record that fails half way leaves nothing behind: the component and
    // the children it got so far go.
    try {
        FCurrentComp = component;
        component->SetParent(parent);
        NameComponent(component, name, className);
        if (AddComponents)
            ComponentAdded(component);
        ReadPropertyListTag();
        FPath.clear();
        FPathInstance = component;
        ReadProperties(component);
        ReadChildren(owner, component);
    } catch (...) {
        delete component;
        throw;
    }
    FCurrentParent = parent;
    FCurrentComp = component;
    component->ExcludeStyle(TZarvComponentStyle::rcsLoading);
    return component;
}

void TZarvReader::NameComponent(TZarvComponent* component, const QString& name, const QString& className)
{
    TZarvProjectManager* project = RootProject();
    if (!CheckNames || !project) {
        component->SetName(name);
        if (project)
            project->RemoveForwardRefs(component);
        return;
    }
    QString base = className;
    if (base.startsWith(u'T'))
        base.remove(0, 1);
    if (base.toUpper().startsWith(QLatin1String("ZARV")))
        base.remove(0, 4);
    const QString unique = project->GetUniqueName(name + QLatin1Char('|') + base, FRootOwner, true);
    component->SetName(unique);
    if (unique == name)
        project->RemoveForwardRefs(component);
    else
        project->AddRenameRef(name, component);
}

void TZarvReader::ReadChildren(TComponent* owner, TZarvComponent* parent)
{
    const int32_t count = FStreamHelper.ReadIndex();
    for (int32_t i = 0; i < count; ++i)
        ReadComponent(owner, parent);
}

void TZarvReader::SkipRecordBody()
{
    ReadPropertyListTag();
    {
        TAbsorb absorb(FAbsorbCount);
        ReadProperties(nullptr);
    }
    const int32_t count = FStreamHelper.ReadIndex();
    for (int32_t i = 0; i < count; ++i) {
        TDepthGuard depth(*this);
        QString className;
        QString name;
        ReadHeader(className, name);
        SkipRecordBody();
    }
}

bool TZarvReader::ReadIntoComponent(TZarvComponent* value)
{
    TDepthGuard depth(*this);
    FAbsorbCount = 0;
    value->IncludeStyle(TZarvComponentStyle::rcsLoading);
    FRootOwner = value->Owner();
    try {
        QString className;
        QString name;
        ReadHeader(className, name);
        const TClassInfo* cls = FindClass(className);
        if (!cls || cls != value->ClassType()) {
            value->ExcludeStyle(TZarvComponentStyle::rcsLoading);
            return false;
        }
        FCurrentComp = value;
        FCurrentParent = value->Parent();
        if (!KeepName)
            value->SetName(name);
        if (TZarvProjectManager* project = RootProject())
            project->RemoveForwardRefs(value);
        ReadPropertyListTag();
        FPath.clear();
        FPathInstance = value;
        ReadProperties(value);
        ReadChildren(value, value);
    } catch (...) {
        value->ExcludeStyle(TZarvComponentStyle::rcsLoading);
        throw;
    }
    value->ExcludeStyle(TZarvComponentStyle::rcsLoading);
    return true;
}

void TZarvReader::ReadProperties(TPersistent* instance)
{
    TDepthGuard depth(*this);
    std::unique_ptr<TOverrideList> outer = BeginOverrides(instance);
    // The class once, not for every property read (finding it hashes the
    // type's name).
    const TClassInfo* info = instance ? instance->ClassType() : nullptr;
    try {
        for (;;) {
            const QString name = FStreamHelper.ReadString();
            if (name.isEmpty())
                break;
            FPropName = name;
            FPropHandled = false;
            if (instance && !SameText(name, QStringLiteral("Left")) && !SameText(name, QStringLiteral("Top")))
                instance->DefineProperties(*this);
            if (FPropHandled)
                continue;
            TZarvReaderProc readProc;
            TZarvWriterProc writeProc;
            if (PropertyOverride(name, readProc, writeProc) && readProc) {
                readProc(*this);
                continue;
            }
            const TPropInfo* prop = info ? info->FindProperty(name) : nullptr;
            if (prop) {
                ReadProperty(instance, prop);
            } else {
                TAbsorb absorb(FAbsorbCount);
                ReadProperty(instance, nullptr);
            }
        }
    } catch (...) {
        EndOverrides(std::move(outer));
        throw;
    }
    EndOverrides(std::move(outer));
}

bool TZarvReader::CanStore(TPersistent* instance, const TPropInfo* prop) const
{
    return FAbsorbCount <= 0 && instance && prop && !prop->IsReadOnly();
}

void TZarvReader::ReadProperty(TPersistent* instance, const TPropInfo* prop)
{
    const uint8_t tag = FStreamHelper.ReadByte();
    const TTypeKind kind = prop ? prop->Kind() : KindOfTag(tag);
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
        ReadOrdinal(instance, prop, kind, tag);
        return;
    case TTypeKind::tkFloat: {
        const double value = FStreamHelper.ReadExtended();
        if (!CanStore(instance, prop))
            return;
        if (!IsSoundFloat(*prop, value))
            ZarvError(InvalidFloatMessage(prop->Name));
        SetFloatProp(*instance, *prop, value);
        return;
    }
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString: {
        const QString value = FStreamHelper.ReadString();
        if (CanStore(instance, prop))
            SetStrProp(*instance, *prop, value);
        return;
    }
    case TTypeKind::tkClass:
        ReadClassValue(instance, prop, tag);
        return;
    case TTypeKind::tkVariant:
        if (prop && prop->Name == QLatin1String("Tag"))
            return;
        break;
    default:
        break;
    }
    ZarvError(
        Translate(QStringLiteral("Attempt to read invalid property type.  TTypeKind = %1").arg(int(kind))));
}

void TZarvReader::ReadOrdinal(TPersistent* instance, const TPropInfo* prop, TTypeKind kind, uint8_t tag)
{
    int64_t value = 0;
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        switch (tag) {
        case kTagIdent:
            value = 0;
            break;
        case kTagPosInt:
            value = FStreamHelper.ReadIndex();
            break;
        case kTagNegInt:
            value = -int64_t(FStreamHelper.ReadIndex());
            break;
        case kTagFullInt:
            value = FStreamHelper.ReadInteger();
            break;
        default:
            return; // no integer form: nothing follows and nothing is stored
        }
        break;
    case TTypeKind::tkChar: {
        // Every writer writes a character as a string of one character.
        const QString text = FStreamHelper.ReadString();
        value = text.isEmpty() ? 0 : text.at(0).unicode();
        break;
    }
    case TTypeKind::tkEnumeration: {
        const QString name = FStreamHelper.ReadString();
        if (!CanStore(instance, prop))
            return;
        const int ordinal = GetEnumValue(*prop->Type, name);
        if (ordinal < 0)
            return; // a value this program does not know keeps the current one
        value = ordinal;
        break;
    }
    case TTypeKind::tkSet: {
        const TTypeInfo* element = prop && prop->Type ? prop->Type->CompType : nullptr;
        for (;;) {
            const QString name = FStreamHelper.ReadString();
            if (name.isEmpty())
                break;
            const int ordinal = element ? GetEnumValue(*element, name) : -1;
            if (ordinal >= 0 && ordinal < 32)
                value |= int64_t(1) << ordinal;
        }
        break;
    }
    default:
        return;
    }
    if (CanStore(instance, prop))
        SetOrdProp(*instance, *prop, value);
}

void TZarvReader::ReadClassValue(TPersistent* instance, const TPropInfo* prop, uint8_t tag)
{
    switch (tag & 0x7F) {
    case kTagIdent:
        ReadReference(instance, prop);
        return;
    case kTagPosInt: {
        const int32_t value = FStreamHelper.ReadIndex();
        if (value != 0 || !CanStore(instance, prop))
            return;
        // Only a reference is cleared; an object the property owns stays.
        const TClassInfo* cls = PropertyClass(*prop);
        if (!cls || cls->InheritsFrom(QStringLiteral("TComponent")) ||
            !cls->InheritsFrom(QStringLiteral("TPersistent")))
            prop->SetObject(*instance, nullptr);
        return;
    }
    case kTagObject:
        ReadObjectValue(instance, prop);
        return;
    case kTagComponentList:
        ReadComponentList(instance, prop);
        return;
    case kTagObjectList:
        ReadObjectList(instance, prop);
        return;
    default:
        return;
    }
}

TZarvProjectManager* TZarvReader::RootProject() const
{
    if (auto* root = dynamic_cast<TZarvComponent*>(FRootOwner); root && root->Project())
        return dynamic_cast<TZarvProjectManager*>(root->Project());
    return FCurrentComp ? dynamic_cast<TZarvProjectManager*>(FCurrentComp->Project()) : nullptr;
}

TZarvComponent* TZarvReader::FindReference(const QString& name) const
{
    if (name.startsWith(u'*') && MasterProject)
        return MasterProject->FindZarvComponent(name.mid(1), nullptr);
    TZarvProjectManager* project = RootProject();
    if (!project)
        return nullptr;
    return project->FindZarvComponent(StripMasterMark(name), dynamic_cast<TZarvComponent*>(FRootOwner));
}

void TZarvReader::LeaveForwardRef(const QString& name, TPersistent* instance, const TPropInfo* prop,
                                  int listIndex)
{
    TZarvProjectManager* project = RootProject();
    if (!project || name.isEmpty())
        return;
    TZarvRefTarget target;
    if (instance == FPathInstance && FCurrentComp) {
        target.Holder = FCurrentComp;
        target.Path = FPath;
    } else if (auto* component = dynamic_cast<TComponent*>(instance)) {
        target.Holder = component;
    } else {
        return; // no way back to this object once it is read
    }
    target.Path.push_back(TZarvRefStep{prop, -1});
    target.ListIndex = listIndex;
    TComponent* owner = dynamic_cast<TZarvComponent*>(FRootOwner) ? FRootOwner : project;
    project->AddForwardRef(name, owner, target);
}

void TZarvReader::ReadReference(TPersistent* instance, const TPropInfo* prop)
{
    const QString name = FStreamHelper.ReadString();
    if (name.isEmpty())
        return;
    CheckReferenceName(name);
    if (!CanStore(instance, prop))
        return;
    if (!CheckNames) {
        if (TZarvComponent* found = FindReference(name)) {
            if (ReferenceFits(*prop, found))
                prop->SetObject(*instance, found);
            return;
        }
    }
    LeaveForwardRef(StripMasterMark(name), instance, prop, -1);
}

void TZarvReader::ReadNested(TPersistent* object, const TZarvRefStep& step)
{
    std::vector<TZarvRefStep> savedPath = FPath;
    TPersistent* const savedInstance = FPathInstance;
    // The way is known only when the enclosing object is the one the path
    // leads to; references inside another one stay empty.
    if (FPathInstance) {
        FPath.push_back(step);
        FPathInstance = object;
    }
    try {
        ReadProperties(object);
    } catch (...) {
        FPath = std::move(savedPath);
        FPathInstance = savedInstance;
        throw;
    }
    FPath = std::move(savedPath);
    FPathInstance = savedInstance;
}

void TZarvReader::ReadAbsorbed(TPersistent* object)
{
    TAbsorb absorb(FAbsorbCount);
    ReadProperties(object);
}

void TZarvReader::ReadObjectValue(TPersistent* instance, const TPropInfo* prop)
{
    if (!prop || !instance) {
        ReadAbsorbed(instance);
        return;
    }
    TObject* held = GetObjectProp(*instance, *prop);
    if (held) {
        auto* persistent = dynamic_cast<TPersistent*>(held);
        if (!persistent || dynamic_cast<TComponent*>(held)) {
            ReadAbsorbed(instance);
            return;
        }
        if (instance == FPathInstance)
            ReadNested(persistent, TZarvRefStep{prop, -1});
        else
            ReadProperties(persistent);
        return;
    }
    const TClassInfo* cls = PropertyClass(*prop);
    if (!cls || !cls->CanCreate() || !cls->InheritsFrom(QStringLiteral("TPersistent")) ||
        cls->InheritsFrom(QStringLiteral("TComponent"))) {
        ReadAbsorbed(instance);
        return;
    }
    std::unique_ptr<TObject> made(cls->Create(nullptr));
    auto* object = dynamic_cast<TPersistent*>(made.get());
    if (!object) {
        ReadAbsorbed(instance);
        return;
    }
    TPersistent* target = object;
    if (CanStore(instance, prop)) {
        // Setters copy what they are given; read into what the property then
        // holds.
        prop->SetObject(*instance, object);
        TObject* kept = GetObjectProp(*instance, *prop);
        if (kept == made.get())
            made.release();
        if (auto* keptPersistent = dynamic_cast<TPersistent*>(kept))
            target = keptPersistent;
    }
    if (auto* event = dynamic_cast<TZarvEvent*>(target))
        event->SetOwner(FCurrentComp);
    if (target == made.get()) {
        ReadAbsorbed(target); // nothing keeps it
        return;
    }
    if (instance == FPathInstance)
        ReadNested(target, TZarvRefStep{prop, -1});
    else
        ReadProperties(target);
}

void TZarvReader::ReadComponentList(TPersistent* instance, const TPropInfo* prop)
{
    QStringList names;
    for (;;) {
        const QString name = FStreamHelper.ReadString();
        if (name.isEmpty())
            break;
        CheckReferenceName(name);
        names << name;
    }
    if (!CanStore(instance, prop))
        return;
    const TClassInfo* cls = PropertyClass(*prop);
    if (!cls || !cls->InheritsFrom(QStringLiteral("TZarvComponentList")))
        return;
    TZarvComponentList list;
    std::vector<int> unresolved;
    for (int i = 0; i < names.size(); ++i) {
        TZarvComponent* found = CheckNames ? nullptr : FindReference(names.at(i));
        list.Add(found);
        if (!found)
            unresolved.push_back(i);
    }
    prop->SetObject(*instance, &list);
    // The names not found yet wait for the entries of the list the property
    // keeps (its setter copied this one).
    for (int i : unresolved)
        LeaveForwardRef(StripMasterMark(names.at(i)), instance, prop, i);
}

void TZarvReader::ReadObjectList(TPersistent* instance, const TPropInfo* prop)
{
    // The list the property holds is filled; it needs no setter.
    TZarvPersistentList* list = nullptr;
    if (FAbsorbCount <= 0 && instance && prop)
        list = dynamic_cast<TZarvPersistentList*>(GetObjectProp(*instance, *prop));
    if (list)
        list->Clear();
    for (int index = 0;; ++index) {
        const QString className = FStreamHelper.ReadString();
        if (className.isEmpty())
            break;
        ReadPropertyListTag();
        const TClassInfo* cls = FindClass(className);
        std::unique_ptr<TPersistent> item;
        if (list && cls && !cls->InheritsFrom(QStringLiteral("TZarvProjectItem")))
            item.reset(list->CreateItem(className, FRootOwner));
        if (!item) {
            ReadAbsorbed(nullptr);
            if (list)
                list->Add(nullptr);
            continue;
        }
        TPersistent* raw = item.get();
        list->Add(item.release());
        if (instance == FPathInstance)
            ReadNested(raw, TZarvRefStep{prop, index});
        else
            ReadProperties(raw);
    }
}

QString TZarvReader::ReadID()
{
    return FStreamHelper.ReadString();
}

QString TZarvReader::ReadString()
{
    return FStreamHelper.ReadString();
}

int32_t TZarvReader::ReadInteger()
{
    return FStreamHelper.ReadInteger();
}

QChar TZarvReader::ReadChar()
{
    return QChar(char16_t(FStreamHelper.ReadByte()));
}

double TZarvReader::ReadFloat()
{
    return FStreamHelper.ReadExtended();
}

void TZarvReader::DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc&, bool)
{
    if (FPropHandled || !readData || AnsiCompare(name, FPropName) != 0)
        return;
    FPropHandled = true;
    const int32_t count = FStreamHelper.ReadIndex();
    FStreamHelper.CheckBytesLeft(count);
    TMemoryStream stream(FStreamHelper.Stream().ReadBytes(count));
    if (AbsorbProperty())
        return;
    TReader reader(stream);
    readData(reader);
}

void TZarvReader::DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc&,
                                       bool)
{
    if (FPropHandled || !readData || AnsiCompare(name, FPropName) != 0)
        return;
    FPropHandled = true;
    const int32_t count = FStreamHelper.ReadIndex();
    FStreamHelper.CheckBytesLeft(count);
    TMemoryStream stream(FStreamHelper.Stream().ReadBytes(count));
    if (AbsorbProperty())
        return;
    readData(stream);
}
