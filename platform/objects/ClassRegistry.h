#pragma once
// The class registry: every class that can be created from a stream by its
// name, or whose published properties are walked, is registered once at
// start-up, in order (a parent before its descendants), by an explicit call;
// never by a static initialiser.
//
// A registered class has a name (found without regard to case), a parent
// class, an optional factory, its own published properties and the names of
// its published methods (event handlers a stream may name). A class may be
// registered by name only, without a C++ type, so that a chain of ancestor
// names (TCustomForm, TScrollingWinControl, TComponent ...) can be walked even
// where no C++ class stands for a step.
#include "platform/objects/TypInfo.h"
#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

class TComponent;

RTL_EXCEPTION_CLASS(EClassNotFound, EFilerError);

// Base of every registered class. An object finds its registered class by its
// C++ type; the type must have been registered with RegisterClass<T>.
class TObject {
public:
    TObject() = default;
    virtual ~TObject();
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    // The registered class of this object's C++ type; null when the type was
    // never registered.
    const TClassInfo* ClassType() const;
    QString ClassName() const; // empty when unregistered
    bool InheritsFrom(const TClassInfo* ancestor) const;
    bool InheritsFrom(const QString& ancestorName) const;
};

// Creates an object of a class. A component is created with the given owner
// (which then owns it); any other object ignores the owner and belongs to the
// caller.
using TObjectFactory = std::function<TObject*(TComponent* owner)>;

class TClassInfo {
public:
    const QString& ClassName() const { return FName; }
    const TClassInfo* ClassParent() const { return FParent; }
    bool InheritsFrom(const TClassInfo* ancestor) const;
    bool InheritsFrom(const QString& ancestorName) const; // case-insensitive
    // The names from this class up to the root ("TButton", "TControl" ...).
    QStringList AncestorNames() const;

    bool CanCreate() const { return bool(FFactory); }
    // Raises EClassNotFound when the class has no factory (abstract or
    // registered by name only).
    TObject* Create(TComponent* owner) const;

    // Published properties: those declared by this class, and all of them
    // with the ancestors' first (a redeclared property keeps its ancestor's
    // place).
    const std::deque<TPropInfo>& OwnProperties() const { return FProperties; }
    std::vector<const TPropInfo*> Properties() const;
    const TPropInfo* FindProperty(const QString& name) const;

    // Adds a published property; raises EPropertyError when this class
    // already declares one of that name, or when the accessors do not match
    // the kind of its type.
    TPropInfo& AddProperty(TPropInfo prop);

    // Published methods (event handlers by name), found in this class or an
    // ancestor.
    void AddMethod(const QString& name);
    bool HasMethod(const QString& name) const;

private:
    friend class TClassRegistry;
    QString FName;
    const TClassInfo* FParent = nullptr;
    TObjectFactory FFactory;
    const std::type_info* FType = nullptr;
    std::deque<TPropInfo> FProperties; // a deque keeps references stable
    QStringList FMethods;
};

// Registers a class under a name with its parent's name (empty for a root
// class) and an optional factory and C++ type. Registering the same name again
// with the same C++ type (or again without one) answers the existing class;
// a different one raises EFilerError "A class named <name> already exists".
// An unknown parent raises EClassNotFound.
TClassInfo& RegisterClassInfo(const QString& name, const QString& parentName, TObjectFactory factory = {},
                              const std::type_info* type = nullptr);

// Registers the C++ class T. Components get a factory that creates them with
// their owner, other default-constructible classes one that creates them
// without; abstract classes get none.
template <class T> TClassInfo& RegisterClass(const QString& name, const QString& parentName);

// Look-ups by name, without regard to case: Find answers null, Require raises
// EClassNotFound "Class <name> not found".
const TClassInfo* FindClass(const QString& name);
const TClassInfo& RequireClass(const QString& name);
// The registered class of a C++ type; null when it was never registered.
const TClassInfo* FindClassOfType(const std::type_info& type);

// Publishing a property through member functions of the C++ class C.
// The value type decides the accessors: integral and enumeration types (and
// bool and QChar) are ordinal, floating types float, QString string, pointers
// to TObject descendants object, TMethod method and QVariant variant. The
// setter may be null for a read-only property. Ordinal properties default to
// 0 unless changed with WithDefault or NoDefault.
template <class C, class G, class S>
TPropInfo& PublishProperty(TClassInfo& info, const QString& name, const TTypeInfo& type,
                           G (C::*getter)() const, void (C::*setter)(S));
template <class C, class G>
TPropInfo& PublishProperty(TClassInfo& info, const QString& name, const TTypeInfo& type,
                           G (C::*getter)() const);

// ---------------------------------------------------------------------------
// Template implementations.

namespace objects_detail {

// The last class an accessor of C was applied to that is a C. A property
// is read over and over on objects of a few classes, and a dynamic_cast
// walks the class tree comparing type names each time; a class once found
// to be a C stays one, so the cast is then a static one.
template <class C> std::atomic<const std::type_info*> KnownSelfType{nullptr};

// Casts the object an accessor is applied to, refusing a foreign type.
template <class C> const C& Self(const TObject& object)
{
    if constexpr (requires { static_cast<const C&>(object); }) {
        const std::type_info* type = &typeid(object);
        if (type == KnownSelfType<C>.load(std::memory_order_relaxed))
            return static_cast<const C&>(object);
        if (auto* self = dynamic_cast<const C*>(&object)) {
            KnownSelfType<C>.store(type, std::memory_order_relaxed);
            return *self;
        }
    } else if (auto* self = dynamic_cast<const C*>(&object)) {
        return *self; // a class beside TObject, reached by a cross cast
    }
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
}
template <class C> C& Self(TObject& object)
{
    return const_cast<C&>(Self<C>(std::as_const(object)));
}

template <class T>
concept Ordinal = std::is_integral_v<T> || std::is_enum_v<T> || std::is_same_v<T, QChar>;

template <class T> int64_t ToOrdinal(const T& value)
{
    if constexpr (std::is_same_v<T, QChar>)
        return value.unicode();
    else
        return static_cast<int64_t>(value);
}
template <class T> T FromOrdinal(int64_t value)
{
    if constexpr (std::is_same_v<T, QChar>)
        return QChar(char16_t(value));
    else if constexpr (std::is_same_v<T, bool>)
        return value != 0;
    else
        return static_cast<T>(value);
}

void CheckKind(const TPropInfo& prop, bool accessorsMatch);

template <class C, class V, class GetFn, class SetFn>
TPropInfo& Publish(TClassInfo& info, const QString& name, const TTypeInfo& type, GetFn get, SetFn set,
                   bool hasSetter)
{
    using Value = std::remove_cvref_t<V>;
    TPropInfo prop;
    prop.Name = name;
    prop.Type = &type;
    bool match = false;
    if constexpr (Ordinal<Value>) {
        prop.Default = 0;
        prop.GetOrd = [get](const TObject& o) { return ToOrdinal<Value>(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetOrd = [set](TObject& o, int64_t v) { set(Self<C>(o), FromOrdinal<Value>(v)); };
        match = type.Kind == TTypeKind::tkInteger || type.Kind == TTypeKind::tkChar ||
                type.Kind == TTypeKind::tkEnumeration || type.Kind == TTypeKind::tkSet ||
                type.Kind == TTypeKind::tkInt64;
    } else if constexpr (std::is_floating_point_v<Value>) {
        prop.GetFloat = [get](const TObject& o) { return double(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetFloat = [set](TObject& o, double v) { set(Self<C>(o), Value(v)); };
        match = type.Kind == TTypeKind::tkFloat;
    } else if constexpr (std::is_same_v<Value, QString>) {
        prop.GetStr = [get](const TObject& o) { return QString(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetStr = [set](TObject& o, const QString& v) { set(Self<C>(o), v); };
        match = type.Kind == TTypeKind::tkString || type.Kind == TTypeKind::tkLString ||
                type.Kind == TTypeKind::tkUString;
    } else if constexpr (std::is_pointer_v<Value> &&
                         std::is_base_of_v<TObject, std::remove_pointer_t<Value>>) {
        using Target = std::remove_cv_t<std::remove_pointer_t<Value>>;
        prop.GetObject = [get](const TObject& o) -> TObject* { return const_cast<Target*>(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetObject = [set](TObject& o, TObject* v) {
                Target* target = nullptr;
                if (v && !(target = dynamic_cast<Target*>(v)))
                    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
                set(Self<C>(o), target);
            };
        match = type.Kind == TTypeKind::tkClass;
    } else if constexpr (std::is_same_v<Value, TMethod>) {
        prop.GetMethod = [get](const TObject& o) { return TMethod(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetMethod = [set](TObject& o, const TMethod& v) { set(Self<C>(o), v); };
        match = type.Kind == TTypeKind::tkMethod;
    } else if constexpr (std::is_same_v<Value, QVariant>) {
        prop.GetVariant = [get](const TObject& o) { return QVariant(get(Self<C>(o))); };
        if (hasSetter)
            prop.SetVariant = [set](TObject& o, const QVariant& v) { set(Self<C>(o), v); };
        match = type.Kind == TTypeKind::tkVariant;
    } else {
        static_assert(sizeof(Value) == 0, "unsupported property value type");
    }
    CheckKind(prop, match);
    return info.AddProperty(std::move(prop));
}

} // namespace objects_detail

template <class T> TClassInfo& RegisterClass(const QString& name, const QString& parentName)
{
    TObjectFactory factory;
    if constexpr (!std::is_abstract_v<T>) {
        if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
            factory = [](TComponent* owner) -> TObject* { return new T(owner); };
        else if constexpr (std::is_default_constructible_v<T>)
            factory = [](TComponent*) -> TObject* { return new T(); };
    }
    return RegisterClassInfo(name, parentName, std::move(factory), &typeid(T));
}

template <class C, class G, class S>
TPropInfo& PublishProperty(TClassInfo& info, const QString& name, const TTypeInfo& type,
                           G (C::*getter)() const, void (C::*setter)(S))
{
    auto get = [getter](const C& c) -> G { return (c.*getter)(); };
    using Arg = std::remove_cvref_t<S>;
    auto set = [setter](C& c, Arg v) { (c.*setter)(std::move(v)); };
    return objects_detail::Publish<C, G>(info, name, type, get, set, setter != nullptr);
}

template <class C, class G>
TPropInfo& PublishProperty(TClassInfo& info, const QString& name, const TTypeInfo& type,
                           G (C::*getter)() const)
{
    auto get = [getter](const C& c) -> G { return (c.*getter)(); };
    auto set = [](C&, std::remove_cvref_t<G>) {};
    return objects_detail::Publish<C, G>(info, name, type, get, set, false);
}
