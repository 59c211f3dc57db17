#include "localization/LocStorage.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/KStrings.h"

#include "platform/rtl/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsNumberType(TLocValueType type)
{
    return type == ptFloat || type == ptInteger;
}

bool IsTextType(TLocValueType type)
{
    return type == ptString || type == ptStringList;
}

int64_t TextToInt64Safe(const QString& text)
{
    int64_t value = 0;
    return TryStrToInt64(text.trimmed(), value) ? value : 0;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

bool IsRCUnit(const TLocUnit& unit)
{
    return unit.Name().compare(QLatin1String("RC"), Qt::CaseInsensitive) == 0;
}

} // namespace

// --- float text ----------------------------------------------------------------

QString LocFloatToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// --- TLocaleList -----------------------------------------------------------------

int TLocaleList::Add(uint16_t locale)
{
    FItems.push_back(locale);
    return Count() - 1;
}

uint16_t TLocaleList::GetItem(int index) const
{
    CheckIndex(index);
    return FItems[size_t(index)];
}

void TLocaleList::SetItem(int index, uint16_t locale)
{
    CheckIndex(index);
    FItems[size_t(index)] = locale;
}

void TLocaleList::Delete(int index)
{
    CheckIndex(index);
    FItems.erase(FItems.begin() + index);
}

void TLocaleList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

// --- TLocValue -----------------------------------------------------------------------

TLocValue::TLocValue(TLocValueList* valueList) : FValueList(valueList), FLangID(GetUserDefaultLangID()) {}

TLocValueType TLocValue::ValueType() const
{
    return FValueList ? FValueList->ValueType() : ptString;
}

void TLocValue::SetAttribute(uint16_t index, bool value)
{
    if (value)
        FAttributes |= index;
    else
        FAttributes &= uint16_t(~index);
}

double TLocValue::AsFloat() const
{
    return StrToFloatSafe(FValue);
}

void TLocValue::SetAsFloat(double value)
{
    FValue = LocFloatToText(value);
}

int32_t TLocValue::AsInteger() const
{
    return StrToIntSafe(FValue);
}

void TLocValue::SetAsInteger(int32_t value)
{
    FValue = IntToStr(value);
}

int64_t TLocValue::AsInt64() const
{
    return TextToInt64Safe(FValue);
}

void TLocValue::SetAsInt64(int64_t value)
{
    FValue = IntToStr(value);
}

QByteArray TLocValue::AsAnsi() const
{
    return WideToAnsiLocale(FValue, FLangID);
}

void TLocValue::SetAsAnsi(const QByteArray& value)
{
    FValue = AnsiToWideLocale(value, FLangID);
}

const TStringList& TLocValue::AsStrings()
{
    if (!FStrings)
        FStrings = std::make_unique<TStringList>();
    FStrings->SetText(FValue);
    return *FStrings;
}

QString TLocValue::VariantText(const QVariant& value, uint16_t langId)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return AnsiToWideLocale(value.toByteArray(), langId);
    case QMetaType::Double:
    case QMetaType::Float:
        return LocFloatToText(value.toDouble());
    default:
        return value.toString();
    }
}

bool TLocValue::IsEqualTo(const QVariant& value) const
{
    const QString other = VariantText(value, FLangID);
    if (FValue.isEmpty() || other.isEmpty())
        return FValue.isEmpty() && other.isEmpty();
    switch (ValueType()) {
    case ptFloat:
        return StrToFloatSafe(FValue) == StrToFloatSafe(other);
    case ptInteger:
        return TextToInt64Safe(FValue) == TextToInt64Safe(other);
    case ptString:
    case ptStringList:
        return FValue == other;
    default:
        return false;
    }
}

void TLocValue::Refresh(const QVariant& value, int32_t version)
{
    if (IsEqualTo(value))
        return;
    FValue = VariantText(value, FLangID);
    if (version != -1)
        FValueVersion = version;
}

int TLocValue::CompareWith(const TLocValue& other) const
{
    const TLocValueType mine = ValueType();
    const TLocValueType theirs = other.ValueType();
    if (IsNumberType(mine) && IsNumberType(theirs)) {
        if (mine == ptInteger && theirs == ptInteger) {
            const int64_t a = AsInt64(), b = other.AsInt64();
            return (a > b) - (a < b);
        }
        const double a = mine == ptInteger ? double(AsInt64()) : AsFloat();
        const double b = theirs == ptInteger ? double(other.AsInt64()) : other.AsFloat();
        return (a > b) - (a < b);
    }
    if (IsTextType(mine) && IsTextType(theirs)) {
        QString a = FValue, b = other.FValue;
        a.remove(u'&');
        b.remove(u'&');
        return Sign(a.compare(b, Qt::CaseSensitive));
    }
    if (IsNumberType(mine) && IsTextType(theirs))
        return -1;
    if (IsTextType(mine) && IsNumberType(theirs))
        return 1;
    return 0;
}

// --- TLocValueList -------------------------------------------------------------------

TLocValueList::TLocValueList(TLocValueType valueType) : FValueType(valueType)
{
    Add(std::make_unique<TLocValue>(this));
}

// --- TNamedItem, TNamedItemList --------------------------------------------------------

TNamedItem::~TNamedItem() = default;

QString TNamedItem::GetFullName(const QString&) const
{
    return FName;
}

int TNamedItemList::CompareNames(const QString& a, const QString& b) const
{
    return a.compare(b, FCaseSensative ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

int TNamedItemList::IndexOfName(const QString& name) const
{
    int index;
    return Search(name, index) ? index : -1;
}

TNamedItem* TNamedItemList::FindByName(const QString& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? nullptr : Items(index);
}

TNamedItem* TNamedItemList::Add(const QString& name)
{
    // Items are often added in name order (as a file lists them), so the last
    // position is worth a look before searching.
    if (FCurIndex >= 0 && FCurIndex < Count() && CompareNames(Items(FCurIndex)->Name(), name) == 0)
        return Items(FCurIndex);
    int index;
    if (Search(name, index)) {
        FCurIndex = index;
        return Items(index);
    }
    std::unique_ptr<TNamedItem> item = CreateItem(name);
    TNamedItem* raw = item.get();
    Insert(index, std::move(item));
    FCurIndex = index;
    return raw;
}

int TNamedItemList::DeleteUnusedItems()
{
    int deleted = 0;
    for (int i = Count() - 1; i >= 0; --i)
        if (!Items(i)->Used()) {
            Erase(i);
            ++deleted;
        }
    return deleted;
}

bool TNamedItemList::Search(const QString& name, int& index) const
{
    int low = 0, high = Count() - 1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int c = CompareNames(Items(middle)->Name(), name);
        if (c == 0) {
            index = middle;
            return true;
        }
        if (c < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    index = low;
    return false;
}

// --- items --------------------------------------------------------------------------------

TLocItem::TLocItem(TLocStorage* storage, const QString& name, TLocValueType valueType)
    : TNamedItem(name), FLocStorage(storage), FValues(valueType)
{
    if (!storage)
        return;
    // Value i belongs to locale i of the store.
    MainValue()->SetLangID(storage->GetLocale(0));
    for (int i = 1; i < storage->LanguageCount(); ++i)
        AddValue(QString(), storage->GetLocale(i));
}

TLocValue* TLocItem::AddValue(const QString& text, uint16_t langId)
{
    auto value = std::make_unique<TLocValue>(&FValues);
    value->SetValue(text);
    value->SetLangID(langId);
    value->SetValueVersion(-1);
    TLocValue* raw = value.get();
    FValues.Add(std::move(value));
    return raw;
}

void TLocItem::RefreshMainValue(const QVariant& value, int32_t version)
{
    MainValue()->Refresh(value, version);
    Mark(true);
}

void TLocItem::RefreshValue(int valueIndex, const QVariant& value, int32_t version)
{
    Value(valueIndex)->Refresh(value, version);
    Mark(true);
}

bool TLocItem::IsTranslated(int index) const
{
    return Value(index)->ValueVersion() >= MainValue()->ValueVersion();
}

TLocProperty::TLocProperty(TLocComponent* parent, TLocStorage* storage, const QString& name)
    : TLocItem(storage, name, ptString), FParent(parent)
{
}

int TLocProperty::CurrentIndex() const
{
    return LocStorage() ? LocStorage()->CurLangIndex() : 0;
}

QString TLocProperty::GetFullName(const QString& delimiter) const
{
    return FParent->GetFullName(delimiter) + delimiter + Name();
}

TLocForm* TLocProperty::Form() const
{
    return FParent->Parent() ? FParent->Parent() : static_cast<TLocForm*>(FParent);
}

QString TLocProperty::ComponentName() const
{
    return FParent->Parent() ? FParent->Name() : QString();
}

TLocConstant::TLocConstant(TLocUnit* parent, TLocStorage* storage, const QString& name)
    : TLocItem(storage, name, ptString), FParent(parent)
{
}

QString TLocConstant::GetFullName(const QString& delimiter) const
{
    return FParent->GetFullName(delimiter) + delimiter + Name();
}

TLocExtItem::TLocExtItem(TLocExtGroup* parent, TLocStorage* storage, const QString& name)
    : TLocItem(storage, name, ptString), FParent(parent)
{
}

QString TLocExtItem::GetFullName(const QString& delimiter) const
{
    return FParent->GetFullName(delimiter) + delimiter + Name();
}

// --- item lists -------------------------------------------------------------------------

int TLocItemList::IndexByID(int32_t id) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->ID() == id)
            return i;
    return -1;
}

int TLocItemList::IndexByValue(const QString& value) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->MainValue()->Value() == value)
            return i;
    return -1;
}

std::unique_ptr<TNamedItem> TLocPropertyList::CreateItem(const QString& name)
{
    return std::make_unique<TLocProperty>(FParent, FParent->LocStorage(), name);
}

int TLocConstantList::IndexByStringID(int32_t stringId) const
{
    for (int i = 0; i < Count(); ++i)
        if (uint16_t(Items(i)->StringID()) == uint16_t(stringId))
            return i;
    return -1;
}

std::unique_ptr<TNamedItem> TLocConstantList::CreateItem(const QString& name)
{
    return std::make_unique<TLocConstant>(FParent, FParent->LocStorage(), name);
}

std::unique_ptr<TNamedItem> TLocExtItemList::CreateItem(const QString& name)
{
    return std::make_unique<TLocExtItem>(FParent, FParent->LocStorage(), name);
}

// --- components and forms ---------------------------------------------------------------

TLocComponent::TLocComponent(TLocForm* parent, TLocStorage* storage, const QString& name)
    : TNamedItem(name), FParent(parent), FLocStorage(storage), FProperties(this)
{
}

void TLocComponent::Mark(bool used)
{
    TNamedItem::Mark(used);
    for (int i = 0; i < FProperties.Count(); ++i)
        FProperties.Items(i)->Mark(used);
}

QString TLocComponent::GetFullName(const QString& delimiter) const
{
    return FParent ? FParent->GetFullName(delimiter) + delimiter + Name() : Name();
}

bool TLocComponent::AllValuesAreNative(int langIndex) const
{
    if (langIndex == 0)
        return true;
    for (int i = 0; i < FProperties.Count(); ++i) {
        const TLocProperty* property = FProperties.Items(i);
        const TLocValue* value = property->Value(langIndex);
        const TLocValue* main = property->MainValue();
        if (WideToAnsiLocale(value->Value(), value->LangID()) !=
            WideToAnsiLocale(main->Value(), main->LangID()))
            return false;
    }
    return true;
}

int TLocComponentList::DeleteUnusedItems()
{
    int deleted = 0;
    for (int i = 0; i < Count(); ++i)
        deleted += Items(i)->Properties().DeleteUnusedItems();
    return deleted;
}

std::unique_ptr<TNamedItem> TLocComponentList::CreateItem(const QString& name)
{
    return std::make_unique<TLocComponent>(FParent, FParent->LocStorage(), name);
}

TLocForm::TLocForm(TLocStorage* storage, const QString& name)
    : TLocComponent(nullptr, storage, name), FComponents(this)
{
}

TLocComponent* TLocForm::FindComponent(const QString& compName) const
{
    if (compName.isEmpty())
        return const_cast<TLocForm*>(this);
    return FComponents.FindByName(compName);
}

TLocProperty* TLocForm::FindProperty(const QString& compName, const QString& propName) const
{
    const TLocComponent* component = FindComponent(compName);
    return component ? component->Properties().FindByName(propName) : nullptr;
}

TLocProperty* TLocForm::AddProperty(int32_t id, const QString& compName, const QString& propName,
                                    TLocValueType propType)
{
    if (TLocProperty* existing = FindProperty(compName, propName))
        return existing;
    // The ID first: when there is none left, nothing has been added.
    const int32_t newId = LocStorage() ? LocStorage()->TakePropID(id) : id;
    TLocComponent* component = compName.isEmpty() ? this : FComponents.Add(compName);
    TLocProperty* property = component->Properties().Add(propName);
    property->SetID(newId);
    property->Values().SetValueType(propType);
    return property;
}

void TLocForm::FillLinearList(TLinearPropertyList& list, bool sorted) const
{
    for (int i = 0; i < Properties().Count(); ++i)
        list.Add(Properties().Items(i));
    for (int c = 0; c < FComponents.Count(); ++c) {
        const TLocPropertyList& properties = FComponents.Items(c)->Properties();
        for (int i = 0; i < properties.Count(); ++i)
            list.Add(properties.Items(i));
    }
    if (sorted)
        list.SortByID();
}

bool TLocForm::IsEmpty() const
{
    if (Properties().Count() > 0)
        return false;
    for (int c = 0; c < FComponents.Count(); ++c)
        if (FComponents.Items(c)->Properties().Count() > 0)
            return false;
    return true;
}

void TLocForm::Mark(bool used)
{
    TLocComponent::Mark(used);
    for (int c = 0; c < FComponents.Count(); ++c)
        FComponents.Items(c)->Mark(used);
}

void TLocFormList::FillLinearList(TLinearPropertyList& list, bool sorted) const
{
    for (int i = 0; i < Count(); ++i)
        Items(i)->FillLinearList(list, false);
    if (sorted)
        list.SortByID();
}

int TLocFormList::DeleteUnusedItems()
{
    int deleted = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        TLocForm* form = Items(i);
        deleted += form->Properties().DeleteUnusedItems();
        deleted += form->Components().DeleteUnusedItems();
        if (form->IsEmpty())
            Erase(i);
    }
    return deleted;
}

std::unique_ptr<TNamedItem> TLocFormList::CreateItem(const QString& name)
{
    return std::make_unique<TLocForm>(FLocStorage, name);
}

// --- units and external groups -----------------------------------------------------------

TLocUnit::TLocUnit(TLocStorage* storage, const QString& name)
    : TNamedItem(name), FConstants(this), FLocStorage(storage)
{
}

void TLocUnit::Mark(bool used)
{
    TNamedItem::Mark(used);
    for (int i = 0; i < FConstants.Count(); ++i)
        FConstants.Items(i)->Mark(used);
}

void TLocUnitList::FillLinearList(TLinearConstantList& list, bool sorted) const
{
    for (int u = 0; u < Count(); ++u) {
        const TLocConstantList& constants = Items(u)->Constants();
        for (int i = 0; i < constants.Count(); ++i)
            list.Add(constants.Items(i));
    }
    if (sorted)
        list.SortByID();
}

int TLocUnitList::DeleteUnusedItems()
{
    int deleted = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        deleted += Items(i)->Constants().DeleteUnusedItems();
        if (Items(i)->Constants().Count() == 0)
            Erase(i);
    }
    return deleted;
}

std::unique_ptr<TNamedItem> TLocUnitList::CreateItem(const QString& name)
{
    return std::make_unique<TLocUnit>(FLocStorage, name);
}

TLocExtGroup::TLocExtGroup(TLocStorage* storage, const QString& name)
    : TNamedItem(name), FExternalItems(this), FLocStorage(storage)
{
}

void TLocExtGroup::Mark(bool used)
{
    TNamedItem::Mark(used);
    for (int i = 0; i < FExternalItems.Count(); ++i)
        FExternalItems.Items(i)->Mark(used);
}

void TLocExtGroupList::FillLinearList(TLinearExternalList& list, bool sorted) const
{
    for (int g = 0; g < Count(); ++g) {
        const TLocExtItemList& items = Items(g)->ExternalItems();
        for (int i = 0; i < items.Count(); ++i)
            list.Add(items.Items(i));
    }
    if (sorted)
        list.SortByID();
}

int TLocExtGroupList::DeleteUnusedItems()
{
    int deleted = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        deleted += Items(i)->ExternalItems().DeleteUnusedItems();
        if (Items(i)->ExternalItems().Count() == 0)
            Erase(i);
    }
    return deleted;
}

std::unique_ptr<TNamedItem> TLocExtGroupList::CreateItem(const QString& name)
{
    return std::make_unique<TLocExtGroup>(FLocStorage, name);
}

// --- flat lists ------------------------------------------------------------------------------

template <class T> void TLinearList<T>::SortByID()
{
    std::stable_sort(FItems.begin(), FItems.end(), [](const T* a, const T* b) { return a->ID() < b->ID(); });
    FSorted = true;
}

template <class T> int TLinearList<T>::IndexByID(int32_t id) const
{
    if (FSorted) {
        const auto it = std::lower_bound(FItems.begin(), FItems.end(), id,
                                         [](const T* item, int32_t value) { return item->ID() < value; });
        return it != FItems.end() && (*it)->ID() == id ? int(it - FItems.begin()) : -1;
    }
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->ID() == id)
            return int(i);
    return -1;
}

template class TLinearList<TLocProperty>;
template class TLinearList<TLocConstant>;
template class TLinearList<TLocExtItem>;

int TLinearPropertyList::IndexByName(const QString& formName, const QString& compName,
                                     const QString& propName) const
{
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TLocProperty* p = FItems[i];
        if (p->Name().compare(propName, Qt::CaseInsensitive) == 0 &&
            p->ComponentName().compare(compName, Qt::CaseInsensitive) == 0 &&
            p->Form()->Name().compare(formName, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int TLinearConstantList::IndexByName(const QString& unitName, const QString& constName) const
{
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TLocConstant* c = FItems[i];
        if (c->Name().compare(constName, Qt::CaseInsensitive) == 0 &&
            c->Parent()->Name().compare(unitName, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int TLinearExternalList::IndexByName(const QString& groupName, const QString& itemName) const
{
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TLocExtItem* x = FItems[i];
        if (x->Name().compare(itemName, Qt::CaseInsensitive) == 0 &&
            x->Parent()->Name().compare(groupName, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

// --- TLocStorage ---------------------------------------------------------------------------

TLocStorage::TLocStorage() : FForms(this), FUnits(this), FExtGroups(this), FMainLangID(GetUserDefaultLangID())
{
    FLocales.Add(FMainLangID);
}

TLocStorage::~TLocStorage() = default;

void TLocStorage::Clear()
{
    FForms.Clear();
    FUnits.Clear();
    FExtGroups.Clear();
}

int TLocStorage::AddLanguage(int baseIndex, uint16_t langId)
{
    if (LanguageCount() == 0)
        throw ELocStorageError(LibraryMessage(sKEmptyDictionary));
    if (baseIndex < 0 || baseIndex >= LanguageCount())
        throw ELocStorageError(LibraryMessage(sKCouldNotAddLanguage));
    FLocales.Add(langId);
    ForEachItem([&](TLocItem& item) { item.AddValue(item.Value(baseIndex)->Value(), langId); });
    return LanguageCount() - 1;
}

void TLocStorage::RemoveLanguage(int index)
{
    if (LanguageCount() < 2 || index < 1 || index >= LanguageCount())
        throw ELocStorageError(LibraryMessage(sKCouldNotRemoveLanguage));
    FLocales.Delete(index);
    ForEachItem([&](TLocItem& item) { item.Values().Erase(index); });
    // The current language keeps pointing at the same language, or at the
    // native one when it was the language removed.
    if (FCurLangIndex == index)
        FCurLangIndex = 0;
    else if (FCurLangIndex > index)
        --FCurLangIndex;
}

void TLocStorage::SetLanguageLangID(int index, uint16_t langId)
{
    if (index < 0 || index >= LanguageCount())
        return;
    FLocales.SetItem(index, langId);
    ForEachItem([&](TLocItem& item) { item.Value(index)->SetLangID(langId); });
}

uint16_t TLocStorage::GetLocale(int index) const
{
    return index >= 0 && index < LanguageCount() ? FLocales.GetItem(index) : 0;
}

int TLocStorage::IndexOfLocale(uint32_t locale) const
{
    for (int i = 0; i < LanguageCount(); ++i)
        if (FLocales.GetItem(i) == uint16_t(locale))
            return i;
    return -1;
}

int TLocStorage::IndexOfLanguage(uint32_t locale) const
{
    for (int i = 0; i < LanguageCount(); ++i)
        if ((FLocales.GetItem(i) & locale) == locale)
            return i;
    return -1;
}

void TLocStorage::SetMainLangID(uint16_t langId)
{
    FMainLangID = langId;
    if (LanguageCount() > 0)
        FLocales.SetItem(0, langId);
}

TLocProperty* TLocStorage::AddProperty(int32_t id, const QString& formName, const QString& compName,
                                       const QString& propName, TLocValueType propType)
{
    return FForms.Add(formName)->AddProperty(id, compName, propName, propType);
}

TLocConstant* TLocStorage::AddConstant(int32_t id, const QString& unitName, const QString& constName,
                                       int32_t stringId)
{
    if (TLocConstant* existing = FindConstant(unitName, constName))
        return existing;
    const int32_t newId = TakeConstID(id);
    TLocConstant* constant = FUnits.Add(unitName)->Constants().Add(constName);
    constant->SetID(newId);
    constant->SetStringID(stringId);
    return constant;
}

TLocExtItem* TLocStorage::AddExternalItem(int32_t id, const QString& groupName, const QString& itemName)
{
    if (TLocExtItem* existing = FindExtItem(groupName, itemName))
        return existing;
    const int32_t newId = TakeExtItemID(id);
    TLocExtItem* item = FExtGroups.Add(groupName)->ExternalItems().Add(itemName);
    item->SetID(newId);
    return item;
}

TLocProperty* TLocStorage::FindProperty(const QString& formName, const QString& compName,
                                        const QString& propName) const
{
    const TLocForm* form = FForms.FindByName(formName);
    return form ? form->FindProperty(compName, propName) : nullptr;
}

TLocConstant* TLocStorage::FindConstant(const QString& unitName, const QString& constName) const
{
    const TLocUnit* unit = FUnits.FindByName(unitName);
    return unit ? unit->Constants().FindByName(constName) : nullptr;
}

TLocConstant* TLocStorage::FindConstantOnlyByName(const QString& constName) const
{
    for (int u = 0; u < FUnits.Count(); ++u)
        if (TLocConstant* constant = FUnits.Items(u)->Constants().FindByName(constName))
            return constant;
    return nullptr;
}

TLocConstant* TLocStorage::FindConstByIntID(int32_t id) const
{
    for (int u = 0; u < FUnits.Count(); ++u) {
        const TLocConstantList& constants = FUnits.Items(u)->Constants();
        const int index = constants.IndexByID(id);
        if (index >= 0)
            return constants.Items(index);
    }
    return nullptr;
}

TLocProperty* TLocStorage::FindPropByIntID(int32_t id) const
{
    for (int f = 0; f < FForms.Count(); ++f) {
        const TLocForm* form = FForms.Items(f);
        int index = form->Properties().IndexByID(id);
        if (index >= 0)
            return form->Properties().Items(index);
        for (int c = 0; c < form->Components().Count(); ++c) {
            const TLocPropertyList& properties = form->Components().Items(c)->Properties();
            index = properties.IndexByID(id);
            if (index >= 0)
                return properties.Items(index);
        }
    }
    return nullptr;
}

TLocExtItem* TLocStorage::FindExtItem(const QString& groupName, const QString& itemName) const
{
    const TLocExtGroup* group = FExtGroups.FindByName(groupName);
    return group ? group->ExternalItems().FindByName(itemName) : nullptr;
}

TLocExtItem* TLocStorage::FindExtItemOnlyByName(const QString& itemName) const
{
    for (int g = 0; g < FExtGroups.Count(); ++g)
        if (TLocExtItem* item = FExtGroups.Items(g)->ExternalItems().FindByName(itemName))
            return item;
    return nullptr;
}

TLocExtItem* TLocStorage::FindExtItemByID(int32_t id) const
{
    for (int g = 0; g < FExtGroups.Count(); ++g) {
        const TLocExtItemList& items = FExtGroups.Items(g)->ExternalItems();
        const int index = items.IndexByID(id);
        if (index >= 0)
            return items.Items(index);
    }
    return nullptr;
}

TLocExtItem* TLocStorage::FindExtItemByValue(const QString& value) const
{
    for (int g = 0; g < FExtGroups.Count(); ++g) {
        const TLocExtItemList& items = FExtGroups.Items(g)->ExternalItems();
        const int index = items.IndexByValue(value);
        if (index >= 0)
            return items.Items(index);
    }
    return nullptr;
}

TLocConstant* TLocStorage::FindConstByIDEx(int32_t stringId, bool useRCUnit) const
{
    for (int u = 0; u < FUnits.Count(); ++u) {
        const TLocUnit* unit = FUnits.Items(u);
        if (!useRCUnit && IsRCUnit(*unit))
            continue;
        const int index = unit->Constants().IndexByStringID(stringId);
        if (index >= 0)
            return unit->Constants().Items(index);
    }
    return nullptr;
}

TLocConstant* TLocStorage::FindConstByValueEx(const QString& value, bool useRCUnit) const
{
    for (int u = 0; u < FUnits.Count(); ++u) {
        const TLocUnit* unit = FUnits.Items(u);
        if (!useRCUnit && IsRCUnit(*unit))
            continue;
        const int index = unit->Constants().IndexByValue(value);
        if (index >= 0)
            return unit->Constants().Items(index);
    }
    return nullptr;
}

void TLocStorage::MarkAll(bool used)
{
    for (int i = 0; i < FForms.Count(); ++i)
        FForms.Items(i)->Mark(used);
    for (int i = 0; i < FUnits.Count(); ++i)
        FUnits.Items(i)->Mark(used);
    for (int i = 0; i < FExtGroups.Count(); ++i)
        FExtGroups.Items(i)->Mark(used);
}

void TLocStorage::GetFormNames(TStringList& strings) const
{
    strings.Clear();
    for (int i = 0; i < FForms.Count(); ++i)
        strings.Add(FForms.Items(i)->Name());
}

int32_t TLocStorage::TakeID(int32_t& maxId, int32_t id)
{
    if (id >= 0) {
        maxId = std::max(maxId, id);
        return id;
    }
    if (maxId == std::numeric_limits<int32_t>::max())
        throw ELocStorageError(QStringLiteral("No free item ID is left (the highest ID is %1)").arg(maxId));
    return ++maxId;
}

template <class F> void TLocStorage::ForEachItem(F&& f) const
{
    for (int i = 0; i < FForms.Count(); ++i) {
        TLocForm* form = FForms.Items(i);
        for (int p = 0; p < form->Properties().Count(); ++p)
            f(*form->Properties().Items(p));
        for (int c = 0; c < form->Components().Count(); ++c) {
            TLocPropertyList& properties = form->Components().Items(c)->Properties();
            for (int p = 0; p < properties.Count(); ++p)
                f(*properties.Items(p));
        }
    }
    for (int i = 0; i < FUnits.Count(); ++i) {
        TLocConstantList& constants = FUnits.Items(i)->Constants();
        for (int c = 0; c < constants.Count(); ++c)
            f(*constants.Items(c));
    }
    for (int i = 0; i < FExtGroups.Count(); ++i) {
        TLocExtItemList& items = FExtGroups.Items(i)->ExternalItems();
        for (int x = 0; x < items.Count(); ++x)
            f(*items.Items(x));
    }
}
