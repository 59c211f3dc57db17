#include "platform/objects/ClassRegistry.h"

#include "platform/rtl/StringRoutines.h"

#include <QHash>

#include <typeindex>
#include <unordered_map>

class TClassRegistry {
public:
    static TClassRegistry& Instance()
    {
        // Never destroyed: objects that outlive static destruction may still
        // ask for their class.
        static auto* registry = new TClassRegistry();
        return *registry;
    }

    TClassInfo& Register(const QString& name, const QString& parentName, TObjectFactory factory,
                         const std::type_info* type)
    {
        if (!IsValidClassName(name))
            throw EFilerError(QStringLiteral("'%1' is not a valid class name").arg(name));
        if (TClassInfo* existing = Find(name)) {
            const bool sameType = existing->FType == type || type == nullptr;
            if (sameType && SameText(existing->FParent ? existing->FParent->FName : QString(), parentName))
                return *existing;
            throw EFilerError(QStringLiteral("A class named %1 already exists").arg(name));
        }
        const TClassInfo* parent = nullptr;
        if (!parentName.isEmpty()) {
            parent = Find(parentName);
            if (!parent)
                throw EClassNotFound(QStringLiteral("Class %1 not found").arg(parentName));
        }
        if (type && FByType.count(std::type_index(*type)) != 0)
            throw EFilerError(QStringLiteral("The C++ type of class %1 is already registered").arg(name));

        auto info = std::make_unique<TClassInfo>();
        info->FName = name;
        info->FParent = parent;
        info->FFactory = std::move(factory);
        info->FType = type;
        TClassInfo* result = info.get();
        FClasses.push_back(std::move(info));
        FByName.insert(Key(name), result);
        if (type)
            FByType.emplace(std::type_index(*type), result);
        return *result;
    }

    TClassInfo* Find(const QString& name) const { return FByName.value(Key(name), nullptr); }

    const TClassInfo* FindType(const std::type_info& type) const
    {
        const auto it = FByType.find(std::type_index(type));
        return it == FByType.end() ? nullptr : it->second;
    }

private:
    // Class names are identifiers, so folding ASCII letters is the
    // framework's comparison.
    static QString Key(const QString& name) { return LowerCase(name); }

    static bool IsValidClassName(const QString& name)
    {
        if (name.isEmpty())
            return false;
        for (int i = 0; i < name.size(); ++i) {
            const char16_t c = name.at(i).unicode();
            const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
            const bool digit = c >= '0' && c <= '9';
            if (!letter && !(digit && i > 0))
                return false;
        }
        return true;
    }

    std::vector<std::unique_ptr<TClassInfo>> FClasses;
    QHash<QString, TClassInfo*> FByName;
    std::unordered_map<std::type_index, TClassInfo*> FByType;
};

TObject::~TObject() = default;

const TClassInfo* TObject::ClassType() const
{
    return TClassRegistry::Instance().FindType(typeid(*this));
}

QString TObject::ClassName() const
{
    const TClassInfo* info = ClassType();
    return info ? info->ClassName() : QString();
}

bool TObject::InheritsFrom(const TClassInfo* ancestor) const
{
    const TClassInfo* info = ClassType();
    return info && info->InheritsFrom(ancestor);
}

bool TObject::InheritsFrom(const QString& ancestorName) const
{
    const TClassInfo* info = ClassType();
    return info && info->InheritsFrom(ancestorName);
}

bool TClassInfo::InheritsFrom(const TClassInfo* ancestor) const
{
    for (const TClassInfo* c = this; c; c = c->FParent) {
        if (c == ancestor)
            return true;
    }
    return false;
}

bool TClassInfo::InheritsFrom(const QString& ancestorName) const
{
    for (const TClassInfo* c = this; c; c = c->FParent) {
        if (SameText(c->FName, ancestorName))
            return true;
    }
    return false;
}

QStringList TClassInfo::AncestorNames() const
{
    QStringList names;
    for (const TClassInfo* c = this; c; c = c->FParent)
        names << c->FName;
    return names;
}

TObject* TClassInfo::Create(TComponent* owner) const
{
    if (!FFactory)
        throw EClassNotFound(QStringLiteral("Class %1 cannot be created").arg(FName));
    return FFactory(owner);
}

std::vector<const TPropInfo*> TClassInfo::Properties() const
{
    std::vector<const TPropInfo*> list = FParent ? FParent->Properties() : std::vector<const TPropInfo*>();
    for (const TPropInfo& prop : FProperties) {
        bool replaced = false;
        for (const TPropInfo*& inherited : list) {
            if (SameText(inherited->Name, prop.Name)) {
                inherited = &prop;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            list.push_back(&prop);
    }
    return list;
}

const TPropInfo* TClassInfo::FindProperty(const QString& name) const
{
    for (const TClassInfo* c = this; c; c = c->FParent) {
        for (const TPropInfo& prop : c->FProperties) {
            if (SameText(prop.Name, name))
                return &prop;
        }
    }
    return nullptr;
}

TPropInfo& TClassInfo::AddProperty(TPropInfo prop)
{
    if (!prop.Type || prop.Name.isEmpty())
        throw EPropertyError(QStringLiteral("A property of class %1 has no name or type").arg(FName));
    for (const TPropInfo& own : FProperties) {
        if (SameText(own.Name, prop.Name))
            throw EPropertyError(QStringLiteral("Class %1 already has a property %2").arg(FName, prop.Name));
    }
    FProperties.push_back(std::move(prop));
    return FProperties.back();
}

void TClassInfo::AddMethod(const QString& name)
{
    if (!HasMethod(name))
        FMethods << name;
}

bool TClassInfo::HasMethod(const QString& name) const
{
    for (const TClassInfo* c = this; c; c = c->FParent) {
        for (const QString& method : c->FMethods) {
            if (SameText(method, name))
                return true;
        }
    }
    return false;
}

TClassInfo& RegisterClassInfo(const QString& name, const QString& parentName, TObjectFactory factory,
                              const std::type_info* type)
{
    return TClassRegistry::Instance().Register(name, parentName, std::move(factory), type);
}

const TClassInfo* FindClass(const QString& name)
{
    return TClassRegistry::Instance().Find(name);
}

const TClassInfo& RequireClass(const QString& name)
{
    const TClassInfo* info = FindClass(name);
    if (!info)
        throw EClassNotFound(QStringLiteral("Class %1 not found").arg(name));
    return *info;
}

const TClassInfo* FindClassOfType(const std::type_info& type)
{
    return TClassRegistry::Instance().FindType(type);
}

void objects_detail::CheckKind(const TPropInfo& prop, bool accessorsMatch)
{
    if (!accessorsMatch)
        throw EPropertyError(
            QStringLiteral("The accessors of property %1 do not fit its type %2 (TTypeKind = %3)")
                .arg(prop.Name, prop.Type->Name)
                .arg(int(prop.Kind())));
}
