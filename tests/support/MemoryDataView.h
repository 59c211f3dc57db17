#pragma once
// A data view whose rows the test gives: Columns names the text columns
// (one string field each), Rows holds the rows, cells separated by "|" and
// rows by ";". Both are published, so the view survives the copy a report
// run makes of its project. Peek, saved rows and end of data go through the
// view base; an equality filter (a master-detail link) keeps the rows whose
// column holds the value.
#include "report/model/ZvData.h"
#include "report/model/ZvProj.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/CodePages.h"

#include <QtEndian>

#include <memory>
#include <utility>
#include <vector>

class TMemoryDataView : public TZarvBaseDataView {
public:
    using TZarvBaseDataView::TZarvBaseDataView;

    const QString& Columns() const { return FColumns; }
    void SetColumns(const QString& value)
    {
        FColumns = value;
        FVisibleValid = false;
    }
    const QString& Rows() const { return FRows; }
    void SetRows(const QString& value)
    {
        FRows = value;
        FVisibleValid = false;
    }

    // The fields find their columns by name (a run's copy of the project
    // has fields without their index).
    void Open() override
    {
        TZarvBaseDataView::Open();
        const QStringList columns = FColumns.split(u'|');
        for (int i = 0; i < GetChildCount(); ++i) {
            if (auto* field = dynamic_cast<TZarvDataField*>(GetChild(i)))
                field->SetDataIndex(int32_t(columns.indexOf(field->FieldName(), Qt::CaseInsensitive)));
        }
        SetDataOpened(true);
    }
    void FetchRow(int how) override
    {
        const std::vector<QByteArray>& visible = VisibleRows();
        if (how == kFetchFirst)
            FPos = 0;
        else if (how == kFetchNext)
            ++FPos;
        const bool eof = FPos >= int(visible.size());
        if (Saving()) {
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
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>&) override {}
    void SetFilter(TStringList& filterList) override
    {
        std::vector<std::pair<QString, QString>> filter;
        for (int i = 0; i + 2 < filterList.Count() && !filterList.Strings(i).isEmpty(); i += 3)
            filter.emplace_back(filterList.Strings(i), filterList.Strings(i + 2));
        if (filter != FFilter)
            FPos = 0;
        FFilter = filter;
        FVisibleValid = false;
    }
    void SetRemoteSort(TStringList&) override {}

    // A string field for every column.
    void AddColumnFields()
    {
        const QStringList columns = FColumns.split(u'|');
        for (int i = 0; i < columns.size(); ++i) {
            auto* field = new TZarvStringField(this);
            field->SetParent(this);
            field->SetFieldName(columns.at(i));
            field->SetName(FieldCompName(Name(), columns.at(i)));
            field->SetDataIndex(i);
        }
    }

    static void Register()
    {
        if (FindClass(QStringLiteral("TMemoryDataView")))
            return;
        TClassInfo& info = RegisterClass<TMemoryDataView>(QStringLiteral("TMemoryDataView"),
                                                          QStringLiteral("TZarvBaseDataView"));
        PublishProperty(info, QStringLiteral("Columns"), TypeInfoString(), &TMemoryDataView::Columns,
                        &TMemoryDataView::SetColumns);
        PublishProperty(info, QStringLiteral("Rows"), TypeInfoString(), &TMemoryDataView::Rows,
                        &TMemoryDataView::SetRows);
    }

    // A view named name in project: columns "A|B", rows "1|x;2|y".
    static TMemoryDataView* Make(TZarvProjectManager& project, const QString& name, const QString& columns,
                                 const QString& rows)
    {
        Register();
        auto* view = static_cast<TMemoryDataView*>(
            project.NewDataObject(FindClass(QStringLiteral("TMemoryDataView"))));
        view->SetName(name);
        view->SetColumns(columns);
        view->SetRows(rows);
        view->AddColumnFields();
        return view;
    }

private:
    // The rows the filter lets through in the channel's row layout, made
    // once for each columns, rows text and filter and shared by the copies
    // of the view a report run makes: the channel hands the engine rows the
    // peer has laid out already.
    struct TVisible {
        QString Columns, Rows;
        std::vector<std::pair<QString, QString>> Filter;
        std::vector<QByteArray> Bytes;
    };
    const std::vector<QByteArray>& VisibleRows()
    {
        if (!FVisibleValid) {
            static std::shared_ptr<const TVisible> last;
            if (!last || last->Columns != FColumns || last->Rows != FRows || last->Filter != FFilter) {
                auto made = std::make_shared<TVisible>(TVisible{FColumns, FRows, FFilter, {}});
                for (const QString& row : FRows.split(u';', Qt::SkipEmptyParts)) {
                    const QStringList cells = row.split(u'|');
                    if (Matches(cells))
                        made->Bytes.push_back(RowBytes(cells));
                }
                last = std::move(made);
            }
            FVisible = last;
            FVisibleValid = true;
        }
        return FVisible->Bytes;
    }
    bool Matches(const QStringList& cells) const
    {
        const QStringList columns = FColumns.split(u'|');
        for (const auto& [column, value] : FFilter) {
            const qsizetype index = columns.indexOf(column, Qt::CaseInsensitive);
            if (index < 0 || cells.value(index) != value)
                return false;
        }
        return true;
    }
    // The channel's row layout: a slot table of (value, text) offsets, then
    // the values as strings.
    // The channel's text form: a UTF-16 item, an ANSI item, the end.
    static QByteArray TextBytes(const QString& text)
    {
        const auto le = [](int32_t value) {
            QByteArray bytes(4, '\0');
            qToLittleEndian(value, bytes.data());
            return bytes;
        };
        const QByteArray ansi = UnicodeToAnsi(text);
        QByteArray utf16(int(text.size() * 2), '\0');
        qToLittleEndian<char16_t>(text.utf16(), text.size(), utf16.data());
        return le(2) + le(int32_t(utf16.size())) + utf16 + le(1) + le(int32_t(ansi.size())) + ansi + le(0);
    }
    static QByteArray RowBytes(const QStringList& cells)
    {
        QByteArray table(int(cells.size()) * 8, '\0');
        QByteArray values;
        for (int c = 0; c < cells.size(); ++c) {
            const int32_t offset = int32_t(table.size() + values.size());
            values += TextBytes(cells.at(c));
            qToLittleEndian(offset, table.data() + c * 8);
            qToLittleEndian(int32_t(0), table.data() + c * 8 + 4);
        }
        return table + values;
    }

    QString FColumns;
    QString FRows;
    int FPos = 0;
    std::vector<std::pair<QString, QString>> FFilter;
    std::shared_ptr<const TVisible> FVisible;
    bool FVisibleValid = false;
};
