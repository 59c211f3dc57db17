#pragma once
// The translation store: the translatable texts of one program in several
// languages at once. Forms hold their own properties and their components'
// properties, units hold resource-string constants, external groups hold
// named free texts. Every item keeps one value per language of the store,
// index 0 being the native (main) language; value i of every item belongs
// to locale i of the store.
//
// Values are text in memory whatever their type. Numbers are kept as text
// that does not depend on any locale: integers in decimal, floats as the
// shortest text that reads back to the same double, with "." as the decimal
// separator (LocFloatToText / StrToFloatSafe), so a store filled under one
// locale reads the same under another.
#include "localization/KUtils.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringList.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

RTL_EXCEPTION_CLASS(ELocStorageError, Exception);

// The type of a translatable value; the numbers are those the language file
// stores.
enum TLocValueType : uint8_t {
    ptFloat,
    ptInteger,
    ptString,
    ptList,
    ptStringList,
    ptBinary,
    ptEnumValue,
    ptSet,
    ptBigInt,
};
constexpr int LocValueTypeCount = 9;

// Attribute bits of values (an item's attributes are those of its main value).
constexpr uint16_t lvaNeverTranslated = 0x0008;     // the form translator skips the value
constexpr uint16_t lvaSubstituted = 0x0010;         // written after the object's own properties
constexpr uint16_t lvaWideText = 0x0020;            // the text is Unicode
constexpr uint16_t lvaUseOlderTranslation = 0x0100; // cleared on load when the main value is newer
// Attribute bits of components and forms.
constexpr uint16_t lcaProjectForm = 0x0001; // the form belongs to the project
constexpr uint16_t lcaKeepCharset = 0x0004; // the font's character set is left alone

// The value text of a double: the shortest text that reads back to the same
// double, "." as decimal separator, exponent form where that is shorter
// ("0.1", "2.5", "1e+20"); "nan", "inf" and "-inf" for the special values.
// StrToFloatSafe of KStrings reads it back under every locale.
QString LocFloatToText(double value);

class TLocStorage;
class TLocValueList;
class TLocComponent;
class TLocForm;
class TLocUnit;
class TLocExtGroup;

// The languages of a store: entry i is the 16-bit locale ID of value index i.
class TLocaleList {
public:
    int Count() const { return int(FItems.size()); }
    int Add(uint16_t locale);
    // EListError "List index out of bounds (<index>)" outside the list.
    uint16_t GetItem(int index) const;
    void SetItem(int index, uint16_t locale);
    void Delete(int index);

private:
    std::vector<uint16_t> FItems;
    void CheckIndex(int index) const;
};

// One language's value of an item.
class TLocValue {
public:
    // A value of the list (which gives its type); empty text, version 0, no
    // attributes, time 0 and the user's default language.
    explicit TLocValue(TLocValueList* valueList);
    TLocValue(const TLocValue&) = delete;
    TLocValue& operator=(const TLocValue&) = delete;

    TLocValueList* ValueList() const { return FValueList; }
    TLocValueType ValueType() const;

    const QString& Value() const { return FValue; }
    void SetValue(const QString& value) { FValue = value; }
    TDateTime Modified() const { return FModified; }
    void SetModified(TDateTime modified) { FModified = modified; }
    // -1 marks an untranslated copy.
    int32_t ValueVersion() const { return FValueVersion; }
    void SetValueVersion(int32_t version) { FValueVersion = version; }
    uint16_t Attributes() const { return FAttributes; }
    void SetAttributes(uint16_t attributes) { FAttributes = attributes; }
    // The language of the text, which gives the code page of AsAnsi.
    uint16_t LangID() const { return FLangID; }
    void SetLangID(uint16_t langId) { FLangID = langId; }

    // True only when all bits of index are set.
    bool GetAttribute(uint16_t index) const { return (FAttributes & index) == index; }
    void SetAttribute(uint16_t index, bool value);

    // Number conversions: a text that is not a number reads as 0.
    double AsFloat() const;
    void SetAsFloat(double value);
    int32_t AsInteger() const;
    void SetAsInteger(int32_t value);
    int64_t AsInt64() const;
    void SetAsInt64(int64_t value);
    // The text in the Ansi code page of LangID.
    QByteArray AsAnsi() const;
    void SetAsAnsi(const QByteArray& value);
    QByteArray AsUTF8() const { return FValue.toUtf8(); }
    void SetAsUTF8(const QByteArray& value) { FValue = QString::fromUtf8(value); }
    // The text split into lines (CR LF, LF or CR).
    const TStringList& AsStrings();

    // Both empty are equal, one empty is not; otherwise by the type: floats
    // and integers numerically, strings and string lists as exact text; the
    // other types are never equal. value is taken as VariantText gives it.
    bool IsEqualTo(const QVariant& value) const;
    // When value differs (IsEqualTo), takes its text - Ansi bytes (a
    // QByteArray) through the code page of LangID, anything else as wide
    // text - and, unless version is -1, the version.
    void Refresh(const QVariant& value, int32_t version);
    // -1, 0 or 1: numbers (float, integer) against numbers numerically; texts
    // (string, string list) against texts ordinally after removing every "&";
    // a number sorts before a text; values of other types compare equal.
    int CompareWith(const TLocValue& other) const;

    // The text of a variant as a value holds it: Ansi bytes through langId's
    // code page, doubles as LocFloatToText, everything else as its string.
    static QString VariantText(const QVariant& value, uint16_t langId);

private:
    TLocValueList* FValueList;
    TDateTime FModified = 0;
    QString FValue;
    int32_t FValueVersion = 0;
    uint16_t FAttributes = 0;
    uint16_t FLangID;
    std::unique_ptr<TStringList> FStrings;
};

// The values of one item, one per language of its store; made with one
// value (index 0).
class TLocValueList : public TKObjectList<TLocValue> {
public:
    explicit TLocValueList(TLocValueType valueType);
    TLocValueType ValueType() const { return FValueType; }
    void SetValueType(TLocValueType valueType) { FValueType = valueType; }

private:
    TLocValueType FValueType;
};

// Anything a named list holds.
class TNamedItem {
public:
    explicit TNamedItem(const QString& name) : FName(name) {}
    TNamedItem(const TNamedItem&) = delete;
    TNamedItem& operator=(const TNamedItem&) = delete;
    virtual ~TNamedItem();

    const QString& Name() const { return FName; }
    bool Used() const { return FUsed; }
    // Sets the used flag; containers mark their children too.
    virtual void Mark(bool used) { FUsed = used; }
    // The name with the parents' names before it, joined by delimiter.
    virtual QString GetFullName(const QString& delimiter) const;

private:
    QString FName;
    bool FUsed = false;
};

// An owning list of named items kept sorted by name. Names compare without
// regard to case unless the list is case-sensitive.
class TNamedItemList : public TKObjectList<TNamedItem> {
public:
    explicit TNamedItemList(bool caseSensitive = false) : FCaseSensative(caseSensitive) {}

    bool CaseSensitive() const { return FCaseSensative; }
    int CompareNames(const QString& a, const QString& b) const;
    // Position of name, -1 when absent.
    int IndexOfName(const QString& name) const;
    TNamedItem* FindByName(const QString& name) const;
    // The item of that name; a missing one is made by CreateItem and put in
    // its sorted place.
    TNamedItem* Add(const QString& name);
    // Frees the unused items and returns how many items (properties,
    // constants, external items) were freed; containers decide per kind.
    virtual int DeleteUnusedItems();

protected:
    virtual std::unique_ptr<TNamedItem> CreateItem(const QString& name) = 0;

private:
    int FCurIndex = -1; // last found or inserted position
    bool FCaseSensative;

    // Binary search: true when found; index is the place it is or belongs.
    bool Search(const QString& name, int& index) const;
};

// Typed access to a named list of T.
template <class T, class Base> class TNamedListOf : public Base {
public:
    using Base::Base;
    T* Items(int index) const { return static_cast<T*>(Base::Items(index)); }
    T* FindByName(const QString& name) const { return static_cast<T*>(Base::FindByName(name)); }
    T* Add(const QString& name) { return static_cast<T*>(Base::Add(name)); }
};

// A translatable item: an ID and one value per language of its store.
class TLocItem : public TNamedItem {
public:
    // Made with as many values as storage has languages (one without a store).
    TLocItem(TLocStorage* storage, const QString& name, TLocValueType valueType);

    int32_t ID() const { return FID; }
    void SetID(int32_t id) { FID = id; }
    TLocStorage* LocStorage() const { return FLocStorage; }
    TLocValueType ValueType() const { return FValues.ValueType(); }

    int ValueCount() const { return FValues.Count(); }
    TLocValue* Value(int index) const { return FValues.Items(index); }
    TLocValue* MainValue() const { return FValues.Items(0); }
    // The index of the current value: 0; a property answers the store's
    // current language.
    virtual int CurrentIndex() const { return 0; }
    TLocValue* CurrentValue() const { return FValues.Items(CurrentIndex()); }
    TLocValueList& Values() { return FValues; }

    // Appends a value for a further language: an untranslated copy (version
    // -1) of text in language langId.
    TLocValue* AddValue(const QString& text, uint16_t langId);
    // Refresh the main value or the value at index, and mark the item used.
    void RefreshMainValue(const QVariant& value, int32_t version);
    void RefreshValue(int valueIndex, const QVariant& value, int32_t version);
    // The value's version is not lower than the main value's.
    bool IsTranslated(int index) const;
    // The main value's attributes; true only when all bits of index are set.
    bool GetAttribute(uint16_t index) const { return MainValue()->GetAttribute(index); }
    void SetAttribute(uint16_t index, bool value) { MainValue()->SetAttribute(index, value); }

private:
    int32_t FID = 0;
    TLocStorage* FLocStorage;
    TLocValueList FValues;
};

class TLocProperty : public TLocItem {
public:
    TLocProperty(TLocComponent* parent, TLocStorage* storage, const QString& name);
    // The component, or the form for the form's own properties.
    TLocComponent* Parent() const { return FParent; }
    int CurrentIndex() const override;
    QString GetFullName(const QString& delimiter) const override;
    // The form and the component name ("" for the form's own properties).
    TLocForm* Form() const;
    QString ComponentName() const;

private:
    TLocComponent* FParent;
};

class TLocConstant : public TLocItem {
public:
    TLocConstant(TLocUnit* parent, TLocStorage* storage, const QString& name);
    TLocUnit* Parent() const { return FParent; }
    // Resource-string ID in the program's string table.
    int32_t StringID() const { return FStringID; }
    void SetStringID(int32_t stringId) { FStringID = stringId; }
    QString GetFullName(const QString& delimiter) const override;

private:
    TLocUnit* FParent;
    int32_t FStringID = 0;
};

class TLocExtItem : public TLocItem {
public:
    TLocExtItem(TLocExtGroup* parent, TLocStorage* storage, const QString& name);
    TLocExtGroup* Parent() const { return FParent; }
    QString GetFullName(const QString& delimiter) const override;

private:
    TLocExtGroup* FParent;
};

// A named list of translatable items.
class TLocItemList : public TNamedItemList {
public:
    using TNamedItemList::TNamedItemList;
    TLocItem* Items(int index) const { return static_cast<TLocItem*>(TNamedItemList::Items(index)); }
    TLocItem* FindByName(const QString& name) const
    {
        return static_cast<TLocItem*>(TNamedItemList::FindByName(name));
    }
    // First item with that ID / whose main value is exactly value; -1 when none.
    int IndexByID(int32_t id) const;
    int IndexByValue(const QString& value) const;
};

class TLocPropertyList : public TNamedListOf<TLocProperty, TLocItemList> {
public:
    explicit TLocPropertyList(TLocComponent* parent) : FParent(parent) {}
    TLocComponent* Parent() const { return FParent; }

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocComponent* FParent;
};

// Constants compare their names with regard to case: "Caption" and
// "caption" are two constants.
class TLocConstantList : public TNamedListOf<TLocConstant, TLocItemList> {
public:
    explicit TLocConstantList(TLocUnit* parent) : TNamedListOf(true), FParent(parent) {}
    TLocUnit* Parent() const { return FParent; }
    // First constant whose string ID equals stringId in 16 bits; -1 when none.
    int IndexByStringID(int32_t stringId) const;

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocUnit* FParent;
};

class TLocExtItemList : public TNamedListOf<TLocExtItem, TLocItemList> {
public:
    explicit TLocExtItemList(TLocExtGroup* parent) : FParent(parent) {}
    TLocExtGroup* Parent() const { return FParent; }

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocExtGroup* FParent;
};

// A component with its translatable properties; a form is a component
// without a parent that holds further components.
class TLocComponent : public TNamedItem {
public:
    TLocComponent(TLocForm* parent, TLocStorage* storage, const QString& name);

    // The form; nullptr for a form itself.
    TLocForm* Parent() const { return FParent; }
    TLocStorage* LocStorage() const { return FLocStorage; }
    TLocPropertyList& Properties() { return FProperties; }
    const TLocPropertyList& Properties() const { return FProperties; }
    uint16_t Attributes() const { return FAttributes; }
    void SetAttributes(uint16_t attributes) { FAttributes = attributes; }

    void Mark(bool used) override;
    QString GetFullName(const QString& delimiter) const override;
    // Every property's value at langIndex, converted to Ansi by its language,
    // equals the main value converted likewise (true for index 0).
    bool AllValuesAreNative(int langIndex) const;

private:
    TLocForm* FParent;
    TLocStorage* FLocStorage;
    TLocPropertyList FProperties;
    uint16_t FAttributes = 0;
};

class TLocComponentList : public TNamedListOf<TLocComponent, TNamedItemList> {
public:
    explicit TLocComponentList(TLocForm* parent) : FParent(parent) {}
    TLocForm* Parent() const { return FParent; }
    // Deletes each component's unused properties; the components stay.
    int DeleteUnusedItems() override;

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocForm* FParent;
};

class TLinearPropertyList;
class TLinearConstantList;
class TLinearExternalList;

class TLocForm : public TLocComponent {
public:
    TLocForm(TLocStorage* storage, const QString& name);

    TLocComponentList& Components() { return FComponents; }
    const TLocComponentList& Components() const { return FComponents; }

    // The component of that name; an empty name is the form itself.
    TLocComponent* FindComponent(const QString& compName) const;
    // An empty component name addresses the form's own properties.
    TLocProperty* FindProperty(const QString& compName, const QString& propName) const;
    // Finds or adds the component (unless compName is empty) and the
    // property; a new property takes id (see TLocStorage::AddProperty) and
    // propType, an existing one is returned unchanged.
    TLocProperty* AddProperty(int32_t id, const QString& compName, const QString& propName,
                              TLocValueType propType);
    // Appends the form's own properties, then each component's.
    void FillLinearList(TLinearPropertyList& list, bool sorted) const;
    // True when the form has no own and no component properties.
    bool IsEmpty() const;

    void Mark(bool used) override;

private:
    TLocComponentList FComponents;
};

class TLocFormList : public TNamedListOf<TLocForm, TNamedItemList> {
public:
    explicit TLocFormList(TLocStorage* storage) : FLocStorage(storage) {}
    TLocStorage* LocStorage() const { return FLocStorage; }
    void FillLinearList(TLinearPropertyList& list, bool sorted) const;
    // Deletes every form's unused properties, then forms left without any.
    int DeleteUnusedItems() override;

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocStorage* FLocStorage;
};

class TLocUnit : public TNamedItem {
public:
    TLocUnit(TLocStorage* storage, const QString& name);
    TLocStorage* LocStorage() const { return FLocStorage; }
    TLocConstantList& Constants() { return FConstants; }
    const TLocConstantList& Constants() const { return FConstants; }
    uint16_t Attributes() const { return FAttributes; }
    void SetAttributes(uint16_t attributes) { FAttributes = attributes; }
    void Mark(bool used) override;

private:
    TLocConstantList FConstants;
    uint16_t FAttributes = 0;
    TLocStorage* FLocStorage;
};

class TLocUnitList : public TNamedListOf<TLocUnit, TNamedItemList> {
public:
    explicit TLocUnitList(TLocStorage* storage) : FLocStorage(storage) {}
    void FillLinearList(TLinearConstantList& list, bool sorted) const;
    // Deletes unused constants, then units left empty.
    int DeleteUnusedItems() override;

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocStorage* FLocStorage;
};

class TLocExtGroup : public TNamedItem {
public:
    TLocExtGroup(TLocStorage* storage, const QString& name);
    TLocStorage* LocStorage() const { return FLocStorage; }
    TLocExtItemList& ExternalItems() { return FExternalItems; }
    const TLocExtItemList& ExternalItems() const { return FExternalItems; }
    uint16_t Attributes() const { return FAttributes; }
    void SetAttributes(uint16_t attributes) { FAttributes = attributes; }
    void Mark(bool used) override;

private:
    TLocExtItemList FExternalItems;
    uint16_t FAttributes = 0;
    TLocStorage* FLocStorage;
};

class TLocExtGroupList : public TNamedListOf<TLocExtGroup, TNamedItemList> {
public:
    explicit TLocExtGroupList(TLocStorage* storage) : FLocStorage(storage) {}
    void FillLinearList(TLinearExternalList& list, bool sorted) const;
    // Deletes unused items, then groups left empty.
    int DeleteUnusedItems() override;

protected:
    std::unique_ptr<TNamedItem> CreateItem(const QString& name) override;

private:
    TLocStorage* FLocStorage;
};

// A flat, non-owning list of items, optionally sorted by ascending ID (items
// of equal ID keep their store order).
template <class T> class TLinearList {
public:
    int Count() const { return int(FItems.size()); }
    T* Items(int index) const { return FItems.at(size_t(index)); }
    void Add(T* item)
    {
        FItems.push_back(item);
        FSorted = false;
    }
    void Clear()
    {
        FItems.clear();
        FSorted = false;
    }
    bool Sorted() const { return FSorted; }
    void SortByID();
    // The first position of id: binary search when sorted, else a scan; -1
    // when none.
    int IndexByID(int32_t id) const;

protected:
    std::vector<T*> FItems;
    bool FSorted = false;
};

class TLinearPropertyList : public TLinearList<TLocProperty> {
public:
    // Linear scan, names without regard to case; the form's own properties
    // have an empty component name.
    int IndexByName(const QString& formName, const QString& compName, const QString& propName) const;
};

class TLinearConstantList : public TLinearList<TLocConstant> {
public:
    int IndexByName(const QString& unitName, const QString& constName) const;
};

class TLinearExternalList : public TLinearList<TLocExtItem> {
public:
    int IndexByName(const QString& groupName, const QString& itemName) const;
};

extern template class TLinearList<TLocProperty>;
extern template class TLinearList<TLocConstant>;
extern template class TLinearList<TLocExtItem>;

// The store itself.
class TLocStorage {
public:
    // One language, the user's default language ID; empty lists.
    TLocStorage();
    TLocStorage(const TLocStorage&) = delete;
    TLocStorage& operator=(const TLocStorage&) = delete;
    ~TLocStorage();

    TLocFormList& Forms() { return FForms; }
    const TLocFormList& Forms() const { return FForms; }
    TLocUnitList& Units() { return FUnits; }
    const TLocUnitList& Units() const { return FUnits; }
    TLocExtGroupList& ExtGroups() { return FExtGroups; }
    const TLocExtGroupList& ExtGroups() const { return FExtGroups; }
    // Frees every form, unit and external group; the languages stay.
    void Clear();

    // --- languages ---------------------------------------------------------------
    int LanguageCount() const { return FLocales.Count(); }
    const TLocaleList& Locales() const { return FLocales; }
    // Appends language langId, each item's new value a copy of its value at
    // baseIndex with version -1; returns the new index. ELocStorageError
    // "Empty dictionary" / "Could not add language".
    int AddLanguage(int baseIndex, uint16_t langId);
    // ELocStorageError "Could not remove language" for index 0, an index
    // outside the languages, or a store of one language.
    void RemoveLanguage(int index);
    // Sets the locale of index and the language of every value there.
    void SetLanguageLangID(int index, uint16_t langId);
    // 0 outside the languages.
    uint16_t GetLocale(int index) const;
    // First index whose locale equals the low 16 bits of locale; -1 when none.
    int IndexOfLocale(uint32_t locale) const;
    // First index whose locale holds all bits of locale; -1 when none.
    int IndexOfLanguage(uint32_t locale) const;
    uint16_t MainLangID() const { return FMainLangID; }
    // Also the locale of index 0.
    void SetMainLangID(uint16_t langId);
    int CurLangIndex() const { return FCurLangIndex; }
    void SetCurLangIndex(int index) { FCurLangIndex = index; }

    // --- adding --------------------------------------------------------------------
    // IDs of new items: an ID of 0 or more is kept (raising the highest ID of
    // its kind when larger); a negative ID takes the highest + 1. A name that
    // exists returns the existing item unchanged. An empty component name
    // adds a property of the form itself.
    TLocProperty* AddProperty(int32_t id, const QString& formName, const QString& compName,
                              const QString& propName, TLocValueType propType);
    TLocConstant* AddConstant(int32_t id, const QString& unitName, const QString& constName,
                              int32_t stringId);
    TLocExtItem* AddExternalItem(int32_t id, const QString& groupName, const QString& itemName);
    int32_t MaxPropID() const { return FMaxPropID; }
    void SetMaxPropID(int32_t id) { FMaxPropID = id; }
    int32_t MaxConstID() const { return FMaxConstID; }
    void SetMaxConstID(int32_t id) { FMaxConstID = id; }
    int32_t MaxExtItemID() const { return FMaxExtItemID; }
    void SetMaxExtItemID(int32_t id) { FMaxExtItemID = id; }
    // The ID a new item of the kind takes for the id asked for; raises the
    // highest ID as it goes.
    int32_t TakePropID(int32_t id) { return TakeID(FMaxPropID, id); }
    int32_t TakeConstID(int32_t id) { return TakeID(FMaxConstID, id); }
    int32_t TakeExtItemID(int32_t id) { return TakeID(FMaxExtItemID, id); }

    // --- look-ups (nullptr when absent) ------------------------------------------
    TLocProperty* FindProperty(const QString& formName, const QString& compName,
                               const QString& propName) const;
    TLocConstant* FindConstant(const QString& unitName, const QString& constName) const;
    // The constant in the first unit that has it.
    TLocConstant* FindConstantOnlyByName(const QString& constName) const;
    TLocConstant* FindConstByIntID(int32_t id) const;
    // Forms in order: the form's own properties, then its components'.
    TLocProperty* FindPropByIntID(int32_t id) const;
    TLocExtItem* FindExtItem(const QString& groupName, const QString& itemName) const;
    TLocExtItem* FindExtItemOnlyByName(const QString& itemName) const;
    TLocExtItem* FindExtItemByID(int32_t id) const;
    // First item whose main value is exactly value.
    TLocExtItem* FindExtItemByValue(const QString& value) const;
    // First constant with that string ID (16 bits); units named "RC" are
    // skipped unless useRCUnit.
    TLocConstant* FindConstByIDEx(int32_t stringId, bool useRCUnit) const;
    TLocConstant* FindConstByID(int32_t stringId) const { return FindConstByIDEx(stringId, true); }
    // First constant whose main value is exactly value; the same rule for "RC".
    TLocConstant* FindConstByValueEx(const QString& value, bool useRCUnit) const;
    TLocConstant* FindConstByValue(const QString& value) const { return FindConstByValueEx(value, true); }

    // Sets the used flag of everything in the store.
    void MarkAll(bool used);
    // Clears strings and adds every form name in store order.
    void GetFormNames(TStringList& strings) const;

private:
    TLocFormList FForms;
    TLocUnitList FUnits;
    TLocExtGroupList FExtGroups;
    uint16_t FMainLangID;
    int FCurLangIndex = 0;
    TLocaleList FLocales;
    int32_t FMaxPropID = 0;
    int32_t FMaxConstID = 0;
    int32_t FMaxExtItemID = 0;

    static int32_t TakeID(int32_t& maxId, int32_t id);
    template <class F> void ForEachItem(F&& f) const;
};
