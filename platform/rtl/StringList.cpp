#include "platform/rtl/StringList.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringRoutines.h"

#include <algorithm>

namespace {

const QString kSortedListError = QStringLiteral("Operation not allowed on sorted list");
const QString kDuplicateString = QStringLiteral("String list does not allow duplicates");

[[noreturn]] void IndexError(int index)
{
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

// BeginUpdate / EndUpdate that also ends the update when an exception leaves
// the scope, so a failed Add inside SetText does not mute the list for good.
class UpdateScope {
public:
    explicit UpdateScope(TStringList& list) : FList(list) { FList.BeginUpdate(); }
    ~UpdateScope() { FList.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TStringList& FList;
};

bool IsBlank(QChar c)
{
    return c.unicode() <= u' ';
}

QString JoinDelimited(const TStringList& list, QChar delimiter, QChar quote);
void SplitDelimited(TStringList& list, const QString& text, QChar delimiter, QChar quote);

} // namespace

TStringList::TStringList(const TStringList& other)
    : NameValueSeparator(other.NameValueSeparator), Duplicates(other.Duplicates), Delimiter(other.Delimiter),
      QuoteChar(other.QuoteChar), FItems(other.FItems), FSorted(other.FSorted),
      FCaseSensitive(other.FCaseSensitive)
{
}

// Copies the strings and settings; the event handlers stay those of this list,
// which is told of the change like any other.
TStringList& TStringList::operator=(const TStringList& other)
{
    if (this == &other)
        return *this;
    Changing();
    NameValueSeparator = other.NameValueSeparator;
    Duplicates = other.Duplicates;
    Delimiter = other.Delimiter;
    QuoteChar = other.QuoteChar;
    FItems = other.FItems;
    FSorted = other.FSorted;
    FCaseSensitive = other.FCaseSensitive;
    Changed();
    return *this;
}

QString TStringList::Strings(int index) const
{
    CheckIndex(index);
    return FItems[size_t(index)].String;
}

void TStringList::SetStrings(int index, const QString& s)
{
    if (FSorted)
        throw EListError(kSortedListError);
    CheckIndex(index);
    Changing();
    FItems[size_t(index)].String = s;
    Changed();
}

void* TStringList::Objects(int index) const
{
    CheckIndex(index);
    return FItems[size_t(index)].Object;
}

void TStringList::SetObjects(int index, void* object)
{
    CheckIndex(index);
    Changing();
    FItems[size_t(index)].Object = object;
    Changed();
}

int TStringList::Add(const QString& s)
{
    return AddObject(s, nullptr);
}

int TStringList::AddObject(const QString& s, void* object)
{
    int index = Count();
    if (FSorted && Find(s, index)) {
        if (Duplicates == TDuplicates::dupIgnore)
            return index;
        if (Duplicates == TDuplicates::dupError)
            throw EListError(kDuplicateString);
    }
    Changing();
    FItems.insert(FItems.begin() + index, Item{s, object});
    Changed();
    return index;
}

void TStringList::Insert(int index, const QString& s)
{
    InsertObject(index, s, nullptr);
}

void TStringList::InsertObject(int index, const QString& s, void* object)
{
    if (FSorted)
        throw EListError(kSortedListError);
    if (index < 0 || index > Count())
        IndexError(index);
    Changing();
    FItems.insert(FItems.begin() + index, Item{s, object});
    Changed();
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    Changing();
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear()
{
    if (FItems.empty())
        return;
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Exchange(int a, int b)
{
    CheckIndex(a);
    CheckIndex(b);
    Changing();
    std::swap(FItems[size_t(a)], FItems[size_t(b)]);
    Changed();
}

// Checks everything before taking the item out, so a refused move loses
// nothing.
void TStringList::Move(int from, int to)
{
    if (from == to)
        return;
    CheckIndex(from);
    if (FSorted)
        throw EListError(kSortedListError);
    CheckIndex(to);
    Changing();
    const Item item = FItems[size_t(from)];
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, item);
    Changed();
}

int TStringList::IndexOf(const QString& s) const
{
    if (FSorted) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(FItems[size_t(i)].String, s) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfName(const QString& name) const
{
    for (int i = 0; i < Count(); ++i) {
        const QString& s = FItems[size_t(i)].String;
        const qsizetype p = s.indexOf(NameValueSeparator);
        if (p >= 0 && CompareStrings(s.left(p), name) == 0)
            return i;
    }
    return -1;
}

int TStringList::IndexOfObject(const void* object) const
{
    for (int i = 0; i < Count(); ++i)
        if (FItems[size_t(i)].Object == object)
            return i;
    return -1;
}

// Binary search for the first string not ordered before s; index is where s
// is or would be inserted.
bool TStringList::Find(const QString& s, int& index) const
{
    int low = 0;
    int high = Count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (CompareStrings(FItems[size_t(middle)].String, s) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    index = low;
    return low < Count() && CompareStrings(FItems[size_t(low)].String, s) == 0;
}

// A list kept sorted is in order already.
void TStringList::Sort()
{
    if (FSorted || Count() < 2)
        return;
    Changing();
    std::stable_sort(FItems.begin(), FItems.end(),
                     [this](const Item& a, const Item& b) { return CompareStrings(a.String, b.String) < 0; });
    Changed();
}

// Copies the strings, objects and text settings; Sorted, Duplicates and
// CaseSensitive stay this list's own.
void TStringList::Assign(const TStringList& source)
{
    if (this == &source)
        return;
    UpdateScope update(*this);
    Clear();
    NameValueSeparator = source.NameValueSeparator;
    QuoteChar = source.QuoteChar;
    Delimiter = source.Delimiter;
    AddStrings(source);
}

void TStringList::AddStrings(const TStringList& source)
{
    const std::vector<Item> items = source.FItems; // source may be this list
    UpdateScope update(*this);
    for (const Item& item : items)
        AddObject(item.String, item.Object);
}

// The first BeginUpdate announces the change and the last EndUpdate reports
// it, whatever happened in between; the changes inside report nothing.
void TStringList::BeginUpdate()
{
    if (FUpdateCount == 0)
        Changing();
    ++FUpdateCount;
}

void TStringList::EndUpdate()
{
    if (FUpdateCount == 0)
        return;
    --FUpdateCount;
    if (FUpdateCount == 0)
        Changed();
}

QString TStringList::Names(int index) const
{
    const QString s = Strings(index);
    const qsizetype p = s.indexOf(NameValueSeparator);
    return p >= 0 ? s.left(p) : QString();
}

QString TStringList::ValueFromIndex(int index) const
{
    const QString s = Strings(index);
    const qsizetype p = s.indexOf(NameValueSeparator);
    return p >= 0 ? s.mid(p + 1) : QString();
}

QString TStringList::Values(const QString& name) const
{
    const int index = IndexOfName(name);
    return index >= 0 ? ValueFromIndex(index) : QString();
}

// A sorted list cannot take a string in place, so there the line is removed
// and added again at its sorted position.
void TStringList::SetValues(const QString& name, const QString& value)
{
    const int index = IndexOfName(name);
    if (value.isEmpty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    const QString line = name + NameValueSeparator + value;
    if (!FSorted) {
        if (index >= 0)
            SetStrings(index, line);
        else
            Add(line);
        return;
    }
    UpdateScope update(*this);
    void* object = nullptr;
    if (index >= 0) {
        object = FItems[size_t(index)].Object;
        Delete(index);
    }
    AddObject(line, object);
}

void TStringList::SetSorted(bool sorted)
{
    if (FSorted == sorted)
        return;
    if (sorted)
        Sort();
    FSorted = sorted;
}

// A sorted list is put in the order of the new comparison, so that Find
// keeps working.
void TStringList::SetCaseSensitive(bool caseSensitive)
{
    if (FCaseSensitive == caseSensitive)
        return;
    FCaseSensitive = caseSensitive;
    if (FSorted) {
        FSorted = false;
        Sort();
        FSorted = true;
    }
}

QString TStringList::Text() const
{
    QString text;
    for (const Item& item : FItems) {
        text += item.String;
        text += QLatin1String("\r\n");
    }
    return text;
}

void TStringList::SetText(const QString& text)
{
    UpdateScope update(*this);
    Clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        while (i < n && text[i] != u'\r' && text[i] != u'\n')
            ++i;
        Add(text.mid(start, i - start));
        if (i < n && text[i] == u'\r')
            ++i;
        if (i < n && text[i] == u'\n')
            ++i;
    }
}

QString TStringList::CommaText() const
{
    return JoinDelimited(*this, QLatin1Char(','), QLatin1Char('"'));
}

void TStringList::SetCommaText(const QString& text)
{
    SplitDelimited(*this, text, QLatin1Char(','), QLatin1Char('"'));
}

QString TStringList::DelimitedText() const
{
    return JoinDelimited(*this, Delimiter, QuoteChar);
}

void TStringList::SetDelimitedText(const QString& text)
{
    SplitDelimited(*this, text, Delimiter, QuoteChar);
}

QStringList TStringList::ToQStringList() const
{
    QStringList result;
    result.reserve(Count());
    for (const Item& item : FItems)
        result.append(item.String);
    return result;
}

int TStringList::CompareStrings(const QString& a, const QString& b) const
{
    return FCaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        IndexError(index);
}

void TStringList::Changing()
{
    if (FUpdateCount == 0 && OnChanging)
        OnChanging(*this);
}

void TStringList::Changed()
{
    if (FUpdateCount == 0 && OnChange)
        OnChange(*this);
}

namespace {

// Items holding a blank or control character, the quote or the delimiter are
// quoted; an empty item is quoted only when it is the whole list, since the
// parser reads an empty field between delimiters as an empty item anyway.
QString JoinDelimited(const TStringList& list, QChar delimiter, QChar quote)
{
    if (list.Count() == 1 && list.Strings(0).isEmpty())
        return QString(2, quote);
    QString result;
    for (int i = 0; i < list.Count(); ++i) {
        const QString s = list.Strings(i);
        const bool needsQuotes = std::any_of(
            s.begin(), s.end(), [&](QChar c) { return IsBlank(c) || c == quote || c == delimiter; });
        if (i > 0)
            result += delimiter;
        result += needsQuotes ? AnsiQuotedStr(s, quote) : s;
    }
    return result;
}

// Splits on the delimiter and on blanks outside quotes. A quoted item ends at
// its closing quote (a doubled quote stands for one); an unclosed quote takes
// the rest of the text. A delimiter at the very end adds an empty item.
void SplitDelimited(TStringList& list, const QString& text, QChar delimiter, QChar quote)
{
    UpdateScope update(list);
    list.Clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && IsBlank(text[i]))
        ++i;
    while (i < n) {
        QString item;
        if (text[i] == quote) {
            ++i;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        item += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i];
                ++i;
            }
        } else {
            const qsizetype start = i;
            while (i < n && !IsBlank(text[i]) && text[i] != delimiter)
                ++i;
            item = text.mid(start, i - start);
        }
        list.Add(item);
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i < n && text[i] == delimiter) {
            if (i + 1 == n)
                list.Add(QString());
            do
                ++i;
            while (i < n && IsBlank(text[i]));
        }
    }
}

} // namespace
