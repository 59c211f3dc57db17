#pragma once
// Shared by the tests of the data fields, the data views and the login
// objects: a row builder that writes the row layout of the data channel, and
// a registered data view that serves such rows from a list, with filters,
// sort requests and master-detail links recorded and equality filters
// applied.
#include "ProjectFixtures.h"
#include "report/model/ZvData.h"
#include "report/model/ZvProj.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Extended80.h"

#include <QByteArray>
#include <QStringList>
#include <QtEndian>

#include <optional>
#include <vector>

// Little-endian bytes of a value.
template <class T> QByteArray Le(T value)
{
    QByteArray bytes(int(sizeof(T)), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// The text form of the data channel: a UTF-16 item, an ANSI item, the end.
inline QByteArray EncodeZarvStr(const QString& text)
{
    const QByteArray ansi = UnicodeToAnsi(text);
    QByteArray utf16(int(text.size() * 2), '\0');
    qToLittleEndian<char16_t>(text.utf16(), text.size(), utf16.data());
    return Le(2) + Le(int32_t(utf16.size())) + utf16 + Le(1) + Le(int32_t(ansi.size())) + ansi + Le(0);
}

// A row of the given number of columns: every column null until a value is
// put in it.
class TRowBuilder {
public:
    explicit TRowBuilder(int columns) : FNative(size_t(columns)), FFormatted(size_t(columns)) {}

    TRowBuilder& Native(int column, const QByteArray& bytes)
    {
        FNative[size_t(column)] = bytes;
        return *this;
    }
    TRowBuilder& Formatted(int column, const QString& text)
    {
        FFormatted[size_t(column)] = EncodeZarvStr(text);
        return *this;
    }
    TRowBuilder& Str(int column, const QString& text) { return Native(column, EncodeZarvStr(text)); }
    TRowBuilder& Int(int column, int32_t value) { return Native(column, Le(value)); }
    TRowBuilder& Int64(int column, int64_t value) { return Native(column, Le(value)); }
    TRowBuilder& Bool(int column, bool value) { return Native(column, QByteArray(1, value ? 1 : 0)); }
    TRowBuilder& Double(int column, double value) { return Native(column, Le(value)); }
    TRowBuilder& Float(int column, double value)
    {
        const TExtended80Rec rec = DoubleToExtended(value);
        return Native(column, QByteArray(reinterpret_cast<const char*>(&rec), sizeof rec));
    }
    TRowBuilder& Blob(int column, const QByteArray& bytes)
    {
        return Native(column, Le(int32_t(bytes.size())) + bytes);
    }

    // The slot table (native offset, -1 for null; formatted offset, 0 for
    // none), then the values.
    QByteArray Bytes() const
    {
        QByteArray table;
        QByteArray values;
        const int start = int(FNative.size()) * 8;
        for (size_t c = 0; c < FNative.size(); ++c) {
            table += Le(FNative[c] ? int32_t(start + values.size()) : -1);
            values += FNative[c].value_or(QByteArray());
            table += Le(FFormatted[c].isEmpty() ? 0 : int32_t(start + values.size()));
            values += FFormatted[c];
        }
        return table + values;
    }

private:
    std::vector<std::optional<QByteArray>> FNative;
    std::vector<QByteArray> FFormatted;
};

// Serves Rows (each a row of text columns named by Columns, or a raw row);
// an equality filter keeps the rows whose column holds the value.
class TTestView : public TZarvBaseDataView {
public:
    using TZarvBaseDataView::TZarvBaseDataView;

    QStringList Columns;
    std::vector<QByteArray> Rows;
    QStringList Log; // "filter a=1 b=2", "sort a b"
    int Fetches = 0;

    void AddTextRow(const QStringList& values)
    {
        TRowBuilder row(int(values.size()));
        for (int i = 0; i < values.size(); ++i)
            row.Str(i, values.at(i));
        Rows.push_back(row.Bytes());
    }
    // A string field for every column.
    void AddColumnFields()
    {
        for (int i = 0; i < Columns.size(); ++i) {
            auto* field = new TZarvStringField(this);
            field->SetParent(this);
            field->SetFieldName(Columns.at(i));
            field->SetName(FieldCompName(Name(), Columns.at(i)));
            field->SetDataIndex(i);
        }
    }

    void Open() override
    {
        TZarvBaseDataView::Open();
        SetDataOpened(true);
    }
    void FetchRow(int how) override
    {
        ++Fetches;
        std::vector<QByteArray> visible;
        for (const QByteArray& row : Rows) {
            if (Matches(row))
                visible.push_back(row);
        }
        if (how == kFetchFirst)
            FPos = 0;
        else if (how == kFetchNext)
            ++FPos;
        const bool eof = FPos >= int(visible.size());
        if (Saving()) {
            // The last recorded row says that the data ends after it.
            if (eof)
                ActiveDataRow()->DataRowType = TDataRowType::rtLast;
            else
                AddDataRow()->Assign(visible[size_t(FPos)]);
        } else if (eof) {
            DataRow().Clear();
        } else {
            DataRow().Assign(visible[size_t(FPos)]);
        }
        SetAtEOF(eof);
        SetEmpty(eof);
    }
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList) override
    {
        for (const QString& column : Columns) {
            auto info = std::make_unique<TZarvDataFieldInfo>();
            info->FieldName = column;
            fieldList.push_back(std::move(info));
        }
    }
    void SetFilter(TStringList& filterList) override
    {
        FFilter.clear();
        QString line = QStringLiteral("filter");
        for (int i = 0; i + 2 < filterList.Count() && !filterList.Strings(i).isEmpty(); i += 3) {
            FFilter.emplace_back(filterList.Strings(i), filterList.Strings(i + 2));
            const bool withField = filterList.Objects(i + 2) != nullptr;
            line += QStringLiteral(" %1%2%3%4")
                        .arg(filterList.Strings(i), filterList.Strings(i + 1), filterList.Strings(i + 2),
                             withField ? QStringLiteral("(field)") : QString());
        }
        Log << line;
        FPos = 0;
    }
    void SetRemoteSort(TStringList& sortList) override
    {
        QString line = QStringLiteral("sort");
        for (int i = 0; i < sortList.Count() && !sortList.Strings(i).isEmpty(); ++i)
            line += u' ' + sortList.Strings(i);
        Log << line;
    }

private:
    bool Matches(const QByteArray& bytes) const
    {
        TZarvDataRow row;
        row.Assign(bytes);
        for (const auto& [column, value] : FFilter) {
            const int index = int(Columns.indexOf(column, Qt::CaseInsensitive));
            if (index < 0 || row.GetNativeStr(index) != value)
                return false;
        }
        return true;
    }

    int FPos = 0;
    std::vector<std::pair<QString, QString>> FFilter;
};

inline void RegisterDataForTests()
{
    RegisterProjectForTests();
    if (!FindClass(QStringLiteral("TTestView")))
        RegisterClass<TTestView>(QStringLiteral("TTestView"), QStringLiteral("TZarvBaseDataView"));
}

// A view named name in project, with columns and rows of text.
inline TTestView* MakeView(TZarvProjectManager& project, const QString& name, const QStringList& columns,
                           const std::vector<QStringList>& rows)
{
    auto* view = static_cast<TTestView*>(project.NewDataObject(FindClass(QStringLiteral("TTestView"))));
    view->SetName(name);
    view->Columns = columns;
    for (const QStringList& row : rows)
        view->AddTextRow(row);
    view->AddColumnFields();
    return view;
}
