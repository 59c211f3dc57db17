#pragma once
// Run-time type information of published properties: the kinds of property
// types (numbered as the framework numbers them, because messages print the
// number), the description of enumeration, set, float and class types, the
// description of one published property with its typed accessors, and the
// functions that get and set a property of an object by name or dotted path.
//
// A property belongs to a class registered in ClassRegistry.h; its accessors
// take the object as a TObject and check its C++ type, so a property can never
// be applied to an object of the wrong class.
#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TObject;
class TPersistent;
class TClassInfo;

// Kinds of property types, numbered as the framework's run-time type
// information numbers them.
enum class TTypeKind : int {
    tkUnknown = 0,
    tkInteger = 1,
    tkChar = 2,
    tkEnumeration = 3,
    tkFloat = 4,
    tkString = 5, // short string
    tkSet = 6,
    tkClass = 7,  // an owned object or a component reference
    tkMethod = 8, // an event, by handler name
    tkLString = 10,
    tkVariant = 12,
    tkInt64 = 16,
    tkUString = 18,
};

// How a float property is stored, which decides the value tag it is written
// with: single, extended (also used for doubles), currency or date-time.
enum class TFloatType { ftSingle, ftDouble, ftExtended, ftCurr, ftDateTime };

// Raised when a property is unknown, read-only or given a value of the wrong
// kind.
RTL_EXCEPTION_CLASS(EPropertyError, Exception);

// Description of a property type.
struct TTypeInfo {
    QString Name; // "Integer", "Boolean", "TAlign", "TFont" ...
    TTypeKind Kind = TTypeKind::tkUnknown;
    QStringList EnumNames;                         // tkEnumeration: value names by ordinal, from 0
    const TTypeInfo* CompType = nullptr;           // tkSet: the element enumeration
    TFloatType FloatType = TFloatType::ftExtended; // tkFloat
    QString ClassName;                             // tkClass: the registered class of the object held
};

// The built-in types.
const TTypeInfo& TypeInfoInteger();
const TTypeInfo& TypeInfoChar();
const TTypeInfo& TypeInfoBoolean(); // an enumeration False, True
const TTypeInfo& TypeInfoDouble();
const TTypeInfo& TypeInfoExtended();
const TTypeInfo& TypeInfoSingle();
const TTypeInfo& TypeInfoCurrency();
const TTypeInfo& TypeInfoDateTime();
const TTypeInfo& TypeInfoShortString();
const TTypeInfo& TypeInfoAnsiString();
const TTypeInfo& TypeInfoString(); // the Unicode string type
const TTypeInfo& TypeInfoVariant();
const TTypeInfo& TypeInfoInt64();
const TTypeInfo& TypeInfoMethod(); // any event type
// The type of a property that holds an object of the registered class
// className; one shared description per class name.
const TTypeInfo& TypeInfoClass(const QString& className);

// Builds an enumeration type; keep it in a function-local static so its
// address stays fixed.
TTypeInfo MakeEnumType(const QString& name, const QStringList& names);
// Builds a set type over an enumeration of at most 32 values.
TTypeInfo MakeSetType(const QString& name, const TTypeInfo& elementType);

// Builds an integer type with a name of its own (TColor, TCursor ...), so that
// an identifier map can be registered for it; keep it in a function-local
// static like an enumeration type.
TTypeInfo MakeIntegerType(const QString& name);

// Names of values of an integer type, as form files write them
// ("Color = clBtnFace"): the stream holds the name as an identifier, and the
// component reader and writer translate through the map registered for the
// property's type name. A value with several names is written with the first.
struct TIdentMapEntry {
    int32_t Value;
    QString Name;
};
using TIdentMap = std::vector<TIdentMapEntry>;

// Registers the map of the integer type typeName (names of types compared
// without regard to case), replacing one registered before. Every name must
// be an identifier (a letter or '_', then letters, digits and '_', at most
// 255 characters) other than False, True, nil and Null, which the stream
// keeps for values of their own; otherwise EPropertyError, and nothing is
// registered.
void RegisterIntegerConsts(const QString& typeName, TIdentMap map);
// The map of an integer type, null when the type is no tkInteger type or has
// no map.
const TIdentMap* FindIdentMap(const TTypeInfo& type);
// The value of a name (compared without regard to case) and the first name
// of a value; nullopt when the map has none.
std::optional<int32_t> IdentToInt(const TIdentMap& map, const QString& ident);
std::optional<QString> IntToIdent(const TIdentMap& map, int64_t value);

// The value name of an ordinal (empty when out of range) and the ordinal of a
// name (compared without regard to case; -1 when unknown).
QString GetEnumName(const TTypeInfo& type, int64_t value);
int GetEnumValue(const TTypeInfo& type, const QString& name);
// A set as its element names ("akLeft,akTop", with brackets "[akLeft,akTop]")
// and back; StringToSet accepts both forms and blanks, and raises
// EPropertyError for an unknown element name.
QString SetToString(const TTypeInfo& setType, int64_t value, bool brackets = false);
int64_t StringToSet(const TTypeInfo& setType, const QString& text);

// The value of an event property: the name of the handler and the object
// whose method it is (the root component the stream was read into). The forms
// layer binds the name to a member function.
struct TMethod {
    QString Name;
    TObject* Data = nullptr;
    bool IsAssigned() const { return !Name.isEmpty(); }
    friend bool operator==(const TMethod& a, const TMethod& b) = default;
};

// One published property. Exactly the accessors of its kind are set: ordinal
// (tkInteger, tkChar, tkEnumeration, tkSet, tkInt64), float, string (the three
// string kinds), object, method or variant. A property without a setter is
// read-only; a read-only class property is still streamed through the
// properties of the object it holds.
struct TPropInfo {
    QString Name;
    const TTypeInfo* Type = nullptr;
    // The declared default of an ordinal or Int64 property; nullopt is the
    // framework's "nodefault". A value equal to it is not written.
    std::optional<int64_t> Default;
    // Whether the value is written at all; empty means always.
    std::function<bool(const TObject&)> Stored;

    std::function<int64_t(const TObject&)> GetOrd;
    std::function<void(TObject&, int64_t)> SetOrd;
    std::function<double(const TObject&)> GetFloat;
    std::function<void(TObject&, double)> SetFloat;
    std::function<QString(const TObject&)> GetStr;
    std::function<void(TObject&, const QString&)> SetStr;
    std::function<TObject*(const TObject&)> GetObject;
    std::function<void(TObject&, TObject*)> SetObject;
    std::function<TMethod(const TObject&)> GetMethod;
    std::function<void(TObject&, const TMethod&)> SetMethod;
    std::function<QVariant(const TObject&)> GetVariant;
    std::function<void(TObject&, const QVariant&)> SetVariant;

    TTypeKind Kind() const { return Type ? Type->Kind : TTypeKind::tkUnknown; }
    bool IsReadOnly() const;
    bool IsStored(const TObject& instance) const { return !Stored || Stored(instance); }

    // Chained settings for registration code.
    TPropInfo& WithDefault(int64_t value)
    {
        Default = value;
        return *this;
    }
    TPropInfo& NoDefault()
    {
        Default.reset();
        return *this;
    }
    TPropInfo& WithStored(std::function<bool(const TObject&)> stored)
    {
        Stored = std::move(stored);
        return *this;
    }
};

// Published properties of an object, ancestors first, and one by name
// (without regard to case; null when the class has none of that name).
std::vector<const TPropInfo*> GetPropList(const TObject& instance);
const TPropInfo* GetPropInfo(const TObject& instance, const QString& name);

// Typed access. Each raises EPropertyError when the property is of another
// kind, and the setters when it is read-only.
int64_t GetOrdProp(const TObject& instance, const TPropInfo& prop);
void SetOrdProp(TObject& instance, const TPropInfo& prop, int64_t value);
double GetFloatProp(const TObject& instance, const TPropInfo& prop);
void SetFloatProp(TObject& instance, const TPropInfo& prop, double value);
QString GetStrProp(const TObject& instance, const TPropInfo& prop);
void SetStrProp(TObject& instance, const TPropInfo& prop, const QString& value);
TObject* GetObjectProp(const TObject& instance, const TPropInfo& prop);
// A non-null value must be of the property's class (EPropertyError).
void SetObjectProp(TObject& instance, const TPropInfo& prop, TObject* value);
TMethod GetMethodProp(const TObject& instance, const TPropInfo& prop);
void SetMethodProp(TObject& instance, const TPropInfo& prop, const TMethod& value);
QVariant GetVariantProp(const TObject& instance, const TPropInfo& prop);
void SetVariantProp(TObject& instance, const TPropInfo& prop, const QVariant& value);
QString GetEnumProp(const TObject& instance, const TPropInfo& prop);
void SetEnumProp(TObject& instance, const TPropInfo& prop, const QString& valueName);

// A dotted property path resolved to the object and property it names:
// every step but the last must be a class property holding a persistent
// object ("Font.Name", "Items.Strings"). Prop is null when the last step is
// not a published property (it may still be a defined one, as "Strings" of a
// string list); Instance is null when a step before it cannot be followed.
struct TPropTarget {
    TPersistent* Instance = nullptr;
    const TPropInfo* Prop = nullptr;
    QString LastName;
};
TPropTarget FindPropPath(TPersistent* instance, const QString& path);

// Get and set by dotted path with value conversion. Ordinal values come as
// numbers, enumerations as their value name (Boolean as bool), sets as
// "a,b", floats as double, strings as text; "Strings" of a string list is its
// text. Setting converts numbers, text and names accordingly. Raises
// EPropertyError "Property <path> does not exist" or for a value that cannot
// be converted.
QVariant GetPropValue(TPersistent* instance, const QString& path);
void SetPropValue(TPersistent* instance, const QString& path, const QVariant& value);
