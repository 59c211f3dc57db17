#pragma once
// A list of strings with the runtime's semantics: each string may carry an
// object pointer (not owned), Name=Value pairs, an optional sorted mode with
// a duplicates policy, case-insensitive comparison by default, Text with
// CR LF line ends, and CommaText / DelimitedText with the runtime's quoting.
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList& other);
    TStringList& operator=(const TStringList& other);

    int Count() const { return int(FItems.size()); }
    QString Strings(int index) const; // EListError "List index out of bounds (%d)"
    void SetStrings(int index, const QString& s);
    void* Objects(int index) const;
    void SetObjects(int index, void* object);

    int Add(const QString& s);
    int AddObject(const QString& s, void* object);
    void Insert(int index, const QString& s);
    void InsertObject(int index, const QString& s, void* object);
    void Delete(int index);
    void Clear();
    void Exchange(int a, int b);
    void Move(int from, int to);
    int IndexOf(const QString& s) const;
    int IndexOfName(const QString& name) const;
    int IndexOfObject(const void* object) const;
    bool Find(const QString& s, int& index) const; // sorted lists: binary search
    void Sort();
    void Assign(const TStringList& source);
    void AddStrings(const TStringList& source);
    void BeginUpdate();
    void EndUpdate();

    // Name=Value pairs.
    QString Names(int index) const;
    QString ValueFromIndex(int index) const;
    QString Values(const QString& name) const;
    void SetValues(const QString& name, const QString& value); // empty value deletes
    QChar NameValueSeparator = QLatin1Char('=');

    bool Sorted() const { return FSorted; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates = TDuplicates::dupIgnore;
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool caseSensitive);

    // Lines joined with CR LF, each line followed by one; setting splits on
    // CR LF, LF or CR.
    QString Text() const;
    void SetText(const QString& text);
    QString CommaText() const;
    void SetCommaText(const QString& text);
    QChar Delimiter = QLatin1Char(',');
    QChar QuoteChar = QLatin1Char('"');
    QString DelimitedText() const;
    void SetDelimitedText(const QString& text);

    QStringList ToQStringList() const;

    std::function<void(TStringList&)> OnChanging;
    std::function<void(TStringList&)> OnChange;

private:
    struct Item {
        QString String;
        void* Object = nullptr;
    };
    std::vector<Item> FItems;
    bool FSorted = false;
    bool FCaseSensitive = false;
    int FUpdateCount = 0;

    int CompareStrings(const QString& a, const QString& b) const;
    void CheckIndex(int index) const;
    void Changing();
    void Changed();
};
