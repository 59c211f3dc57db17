#include "platform/objects/TypInfo.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Persistent.h"
#include "platform/objects/Strings.h"
#include "platform/rtl/StringRoutines.h"

#include <map>
#include <memory>

namespace {

TTypeInfo Simple(const QString& name, TTypeKind kind)
{
    TTypeInfo t;
    t.Name = name;
    t.Kind = kind;
    return t;
}

TTypeInfo Float(const QString& name, TFloatType floatType)
{
    TTypeInfo t = Simple(name, TTypeKind::tkFloat);
    t.FloatType = floatType;
    return t;
}

[[noreturn]] void WrongKind(const TPropInfo& prop, const char* what)
{
    throw EPropertyError(QStringLiteral("Property %1 is not of %2 type (TTypeKind = %3)")
                             .arg(prop.Name, QLatin1String(what))
                             .arg(int(prop.Kind())));
}

[[noreturn]] void ReadOnly(const TPropInfo& prop)
{
    throw EPropertyError(QStringLiteral("Property %1 is read-only").arg(prop.Name));
}

[[noreturn]] void BadValue(const QString& path, const QVariant& value)
{
    throw EPropertyError(QStringLiteral("Invalid value '%1' for property %2").arg(value.toString(), path));
}

bool IsStringsObject(const TPersistent* instance)
{
    return dynamic_cast<const TStrings*>(instance) != nullptr;
}

int64_t OrdinalFromVariant(const TPropInfo& prop, const QString& path, const QVariant& value)
{
    const TTypeInfo& type = *prop.Type;
    const bool isText = value.typeId() == QMetaType::QString;
    switch (type.Kind) {
    case TTypeKind::tkEnumeration:
        if (isText) {
            const int ordinal = GetEnumValue(type, value.toString());
            if (ordinal < 0)
                BadValue(path, value);
            return ordinal;
        }
        break;
    case TTypeKind::tkSet:
        if (isText)
            return StringToSet(type, value.toString());
        break;
    case TTypeKind::tkChar:
        if (isText) {
            const QString text = value.toString();
            if (text.size() != 1)
                BadValue(path, value);
            return text.at(0).unicode();
        }
        break;
    default:
        break;
    }
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok)
        BadValue(path, value);
    if (type.Kind == TTypeKind::tkEnumeration && (number < 0 || number >= type.EnumNames.size()))
        BadValue(path, value);
    return number;
}

// Identifier maps by type name, folded to lower case. Never freed: lookups
// may come from objects deleted during static destruction.
std::map<QString, TIdentMap>& IdentMaps()
{
    static auto* maps = new std::map<QString, TIdentMap>();
    return *maps;
}

bool IsIdentifier(const QString& name)
{
    auto isLetter = [](QChar c) {
        return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
               (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c == QLatin1Char('_');
    };
    if (name.isEmpty() || name.size() > 255 || !isLetter(name.at(0)))
        return false;
    for (QChar c : name) {
        if (!isLetter(c) && !(c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return false;
    }
    return true;
}

// Names the stream writes with tags of their own; a value named so would not
// come back as an identifier.
bool IsReservedIdent(const QString& name)
{
    for (const char* reserved : {"False", "True", "nil", "Null"}) {
        if (SameText(name, QLatin1String(reserved)))
            return true;
    }
    return false;
}

} // namespace

const TTypeInfo& TypeInfoInteger()
{
    static const TTypeInfo t = Simple(QStringLiteral("Integer"), TTypeKind::tkInteger);
    return t;
}

const TTypeInfo& TypeInfoChar()
{
    static const TTypeInfo t = Simple(QStringLiteral("Char"), TTypeKind::tkChar);
    return t;
}

const TTypeInfo& TypeInfoBoolean()
{
    static const TTypeInfo t =
        MakeEnumType(QStringLiteral("Boolean"), {QStringLiteral("False"), QStringLiteral("True")});
    return t;
}

const TTypeInfo& TypeInfoDouble()
{
    static const TTypeInfo t = Float(QStringLiteral("Double"), TFloatType::ftDouble);
    return t;
}

const TTypeInfo& TypeInfoExtended()
{
    static const TTypeInfo t = Float(QStringLiteral("Extended"), TFloatType::ftExtended);
    return t;
}

const TTypeInfo& TypeInfoSingle()
{
    static const TTypeInfo t = Float(QStringLiteral("Single"), TFloatType::ftSingle);
    return t;
}

const TTypeInfo& TypeInfoCurrency()
{
    static const TTypeInfo t = Float(QStringLiteral("Currency"), TFloatType::ftCurr);
    return t;
}

const TTypeInfo& TypeInfoDateTime()
{
    static const TTypeInfo t = Float(QStringLiteral("TDateTime"), TFloatType::ftDateTime);
    return t;
}

const TTypeInfo& TypeInfoShortString()
{
    static const TTypeInfo t = Simple(QStringLiteral("ShortString"), TTypeKind::tkString);
    return t;
}

const TTypeInfo& TypeInfoAnsiString()
{
    static const TTypeInfo t = Simple(QStringLiteral("AnsiString"), TTypeKind::tkLString);
    return t;
}

const TTypeInfo& TypeInfoString()
{
    static const TTypeInfo t = Simple(QStringLiteral("string"), TTypeKind::tkUString);
    return t;
}

const TTypeInfo& TypeInfoVariant()
{
    static const TTypeInfo t = Simple(QStringLiteral("Variant"), TTypeKind::tkVariant);
    return t;
}

const TTypeInfo& TypeInfoInt64()
{
    static const TTypeInfo t = Simple(QStringLiteral("Int64"), TTypeKind::tkInt64);
    return t;
}

const TTypeInfo& TypeInfoMethod()
{
    static const TTypeInfo t = Simple(QStringLiteral("TMethod"), TTypeKind::tkMethod);
    return t;
}

const TTypeInfo& TypeInfoClass(const QString& className)
{
    // Keyed by the name as given; the registry resolves it without regard to
    // case when it is used. Never freed: property descriptions point here.
    static auto* types = new std::map<QString, std::unique_ptr<TTypeInfo>>();
    auto& slot = (*types)[className];
    if (!slot) {
        slot = std::make_unique<TTypeInfo>(Simple(className, TTypeKind::tkClass));
        slot->ClassName = className;
    }
    return *slot;
}

TTypeInfo MakeEnumType(const QString& name, const QStringList& names)
{
    TTypeInfo t = Simple(name, TTypeKind::tkEnumeration);
    t.EnumNames = names;
    return t;
}

TTypeInfo MakeSetType(const QString& name, const TTypeInfo& elementType)
{
    if (elementType.Kind != TTypeKind::tkEnumeration || elementType.EnumNames.size() > 32)
        throw EPropertyError(
            QStringLiteral("Set type %1 needs an enumeration of at most 32 values").arg(name));
    TTypeInfo t = Simple(name, TTypeKind::tkSet);
    t.CompType = &elementType;
    return t;
}

TTypeInfo MakeIntegerType(const QString& name)
{
    return Simple(name, TTypeKind::tkInteger);
}

void RegisterIntegerConsts(const QString& typeName, TIdentMap map)
{
    if (typeName.isEmpty())
        throw EPropertyError(QStringLiteral("An identifier map needs a type name"));
    for (const TIdentMapEntry& entry : map) {
        if (!IsIdentifier(entry.Name) || IsReservedIdent(entry.Name))
            throw EPropertyError(
                QStringLiteral("Invalid identifier '%1' for a value of %2").arg(entry.Name, typeName));
    }
    IdentMaps()[typeName.toLower()] = std::move(map);
}

const TIdentMap* FindIdentMap(const TTypeInfo& type)
{
    if (type.Kind != TTypeKind::tkInteger)
        return nullptr;
    auto& maps = IdentMaps();
    const auto it = maps.find(type.Name.toLower());
    return it == maps.end() ? nullptr : &it->second;
}

std::optional<int32_t> IdentToInt(const TIdentMap& map, const QString& ident)
{
    for (const TIdentMapEntry& entry : map) {
        if (SameText(entry.Name, ident))
            return entry.Value;
    }
    return std::nullopt;
}

std::optional<QString> IntToIdent(const TIdentMap& map, int64_t value)
{
    for (const TIdentMapEntry& entry : map) {
        if (entry.Value == value)
            return entry.Name;
    }
    return std::nullopt;
}

QString GetEnumName(const TTypeInfo& type, int64_t value)
{
    if (value < 0 || value >= type.EnumNames.size())
        return QString();
    return type.EnumNames.at(int(value));
}

int GetEnumValue(const TTypeInfo& type, const QString& name)
{
    for (int i = 0; i < type.EnumNames.size(); ++i) {
        if (SameText(type.EnumNames.at(i), name))
            return i;
    }
    return -1;
}

QString SetToString(const TTypeInfo& setType, int64_t value, bool brackets)
{
    QStringList names;
    const TTypeInfo* element = setType.CompType;
    for (int i = 0; element && i < element->EnumNames.size(); ++i) {
        if (value & (int64_t(1) << i))
            names << element->EnumNames.at(i);
    }
    const QString list = names.join(QLatin1Char(','));
    return brackets ? QLatin1Char('[') + list + QLatin1Char(']') : list;
}

int64_t StringToSet(const TTypeInfo& setType, const QString& text)
{
    QString body = text.trimmed();
    if (body.startsWith(QLatin1Char('[')) && body.endsWith(QLatin1Char(']')))
        body = body.mid(1, body.size() - 2);
    int64_t value = 0;
    const QStringList parts = body.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QString name = part.trimmed();
        if (name.isEmpty())
            continue;
        const int ordinal = setType.CompType ? GetEnumValue(*setType.CompType, name) : -1;
        if (ordinal < 0)
            throw EPropertyError(
                QStringLiteral("Invalid set element name '%1' for %2").arg(name, setType.Name));
        value |= int64_t(1) << ordinal;
    }
    return value;
}

bool TPropInfo::IsReadOnly() const
{
    switch (Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
        return !SetOrd;
    case TTypeKind::tkFloat:
        return !SetFloat;
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString:
        return !SetStr;
    case TTypeKind::tkClass:
        return !SetObject;
    case TTypeKind::tkMethod:
        return !SetMethod;
    case TTypeKind::tkVariant:
        return !SetVariant;
    default:
        return true;
    }
}

std::vector<const TPropInfo*> GetPropList(const TObject& instance)
{
    const TClassInfo* info = instance.ClassType();
    return info ? info->Properties() : std::vector<const TPropInfo*>();
}

const TPropInfo* GetPropInfo(const TObject& instance, const QString& name)
{
    const TClassInfo* info = instance.ClassType();
    return info ? info->FindProperty(name) : nullptr;
}

int64_t GetOrdProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetOrd)
        WrongKind(prop, "an ordinal");
    return prop.GetOrd(instance);
}

void SetOrdProp(TObject& instance, const TPropInfo& prop, int64_t value)
{
    if (!prop.GetOrd)
        WrongKind(prop, "an ordinal");
    if (!prop.SetOrd)
        ReadOnly(prop);
    prop.SetOrd(instance, value);
}

double GetFloatProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetFloat)
        WrongKind(prop, "a float");
    return prop.GetFloat(instance);
}

void SetFloatProp(TObject& instance, const TPropInfo& prop, double value)
{
    if (!prop.GetFloat)
        WrongKind(prop, "a float");
    if (!prop.SetFloat)
        ReadOnly(prop);
    prop.SetFloat(instance, value);
}

QString GetStrProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetStr)
        WrongKind(prop, "a string");
    return prop.GetStr(instance);
}

void SetStrProp(TObject& instance, const TPropInfo& prop, const QString& value)
{
    if (!prop.GetStr)
        WrongKind(prop, "a string");
    if (!prop.SetStr)
        ReadOnly(prop);
    prop.SetStr(instance, value);
}

TObject* GetObjectProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetObject)
        WrongKind(prop, "a class");
    return prop.GetObject(instance);
}

void SetObjectProp(TObject& instance, const TPropInfo& prop, TObject* value)
{
    if (!prop.GetObject)
        WrongKind(prop, "a class");
    if (!prop.SetObject)
        ReadOnly(prop);
    if (value && !value->InheritsFrom(prop.Type->ClassName))
        throw EPropertyError(QStringLiteral("Property %1 takes a %2, not a %3")
                                 .arg(prop.Name, prop.Type->ClassName, value->ClassName()));
    prop.SetObject(instance, value);
}

TMethod GetMethodProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetMethod)
        WrongKind(prop, "a method");
    return prop.GetMethod(instance);
}

void SetMethodProp(TObject& instance, const TPropInfo& prop, const TMethod& value)
{
    if (!prop.GetMethod)
        WrongKind(prop, "a method");
    if (!prop.SetMethod)
        ReadOnly(prop);
    prop.SetMethod(instance, value);
}

QVariant GetVariantProp(const TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetVariant)
        WrongKind(prop, "a variant");
    return prop.GetVariant(instance);
}

void SetVariantProp(TObject& instance, const TPropInfo& prop, const QVariant& value)
{
    if (!prop.GetVariant)
        WrongKind(prop, "a variant");
    if (!prop.SetVariant)
        ReadOnly(prop);
    prop.SetVariant(instance, value);
}

QString GetEnumProp(const TObject& instance, const TPropInfo& prop)
{
    if (prop.Kind() != TTypeKind::tkEnumeration)
        WrongKind(prop, "an enumeration");
    return GetEnumName(*prop.Type, GetOrdProp(instance, prop));
}

void SetEnumProp(TObject& instance, const TPropInfo& prop, const QString& valueName)
{
    if (prop.Kind() != TTypeKind::tkEnumeration)
        WrongKind(prop, "an enumeration");
    const int ordinal = GetEnumValue(*prop.Type, valueName);
    if (ordinal < 0)
        throw EPropertyError(QStringLiteral("Invalid value '%1' for property %2").arg(valueName, prop.Name));
    SetOrdProp(instance, prop, ordinal);
}

TPropTarget FindPropPath(TPersistent* instance, const QString& path)
{
    TPropTarget target;
    const QStringList steps = path.split(QLatin1Char('.'));
    TPersistent* current = instance;
    for (int i = 0; current && i < steps.size(); ++i) {
        const TPropInfo* prop = GetPropInfo(*current, steps.at(i));
        if (i == steps.size() - 1) {
            target.Instance = current;
            target.Prop = prop;
            target.LastName = steps.at(i);
            return target;
        }
        if (!prop || prop->Kind() != TTypeKind::tkClass)
            return target;
        current = dynamic_cast<TPersistent*>(GetObjectProp(*current, *prop));
    }
    return target;
}

QVariant GetPropValue(TPersistent* instance, const QString& path)
{
    const TPropTarget target = FindPropPath(instance, path);
    if (target.Instance && !target.Prop && IsStringsObject(target.Instance) &&
        SameText(target.LastName, QStringLiteral("Strings")))
        return static_cast<TStrings*>(target.Instance)->Text();
    if (!target.Prop)
        throw EPropertyError(QStringLiteral("Property %1 does not exist").arg(path));
    const TPropInfo& prop = *target.Prop;
    const TObject& object = *target.Instance;
    switch (prop.Kind()) {
    case TTypeKind::tkEnumeration:
        if (prop.Type == &TypeInfoBoolean())
            return GetOrdProp(object, prop) != 0;
        return GetEnumProp(object, prop);
    case TTypeKind::tkSet:
        return SetToString(*prop.Type, GetOrdProp(object, prop));
    case TTypeKind::tkChar:
        return QString(QChar(char16_t(GetOrdProp(object, prop))));
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        return qlonglong(GetOrdProp(object, prop));
    case TTypeKind::tkFloat:
        return GetFloatProp(object, prop);
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString:
        return GetStrProp(object, prop);
    case TTypeKind::tkMethod:
        return GetMethodProp(object, prop).Name;
    case TTypeKind::tkVariant:
        return GetVariantProp(object, prop);
    default:
        throw EPropertyError(QStringLiteral("Property %1 has no plain value (TTypeKind = %2)")
                                 .arg(path)
                                 .arg(int(prop.Kind())));
    }
}

void SetPropValue(TPersistent* instance, const QString& path, const QVariant& value)
{
    const TPropTarget target = FindPropPath(instance, path);
    if (target.Instance && !target.Prop && IsStringsObject(target.Instance) &&
        SameText(target.LastName, QStringLiteral("Strings"))) {
        auto* strings = static_cast<TStrings*>(target.Instance);
        if (value.typeId() == QMetaType::QStringList) {
            strings->Clear();
            for (const QString& line : value.toStringList())
                strings->Add(line);
        } else {
            strings->SetText(value.toString());
        }
        return;
    }
    if (!target.Prop)
        throw EPropertyError(QStringLiteral("Property %1 does not exist").arg(path));
    const TPropInfo& prop = *target.Prop;
    TObject& object = *target.Instance;
    switch (prop.Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
        SetOrdProp(object, prop, OrdinalFromVariant(prop, path, value));
        return;
    case TTypeKind::tkFloat: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok)
            BadValue(path, value);
        SetFloatProp(object, prop, number);
        return;
    }
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString:
        SetStrProp(object, prop, value.toString());
        return;
    case TTypeKind::tkVariant:
        SetVariantProp(object, prop, value);
        return;
    default:
        throw EPropertyError(QStringLiteral("Property %1 cannot be set from a value (TTypeKind = %2)")
                                 .arg(path)
                                 .arg(int(prop.Kind())));
    }
}
