#include "report/model/ZvData.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"

#include <array>

namespace {

const QString kInvalid = QStringLiteral("(invalid)");

// The report values of REPORT.<name>; each but CurrentPage and RelativePage
// is the canvas macro of the same position.
const std::array<const char*, 16> kReportValues = {
    "DateShort",    "DateLong",    "DateUS",     "DateInter", "TimeShort",  "TimeLong",
    "TimeAMPM",     "Time24",      "FirstPage",  "LastPage",  "TotalPages", "CurrentPage",
    "RelativePage", "PrinterName", "DriverName", "PortName",
};
constexpr int kCurrentPageValue = 11;
constexpr int kRelativePageValue = 12;

void RegisterDataViewClasses()
{
    if (FindClass(QStringLiteral("TZarvBaseDataView")))
        return;
    const TClassInfo& view = RegisterClass<TZarvBaseDataView>(QStringLiteral("TZarvBaseDataView"),
                                                              QStringLiteral("TZarvDataObject"));
    RegisterZarvModuleClasses(QStringLiteral("ZvData"), {&view});
}

// One evaluation of an expression: the component's project and running
// report, the default view.
class TExpression {
public:
    TExpression(TZarvComponent* component, TZarvBaseDataView* defaultView)
        : FProject(component ? dynamic_cast<TZarvProjectManager*>(component->Project()) : nullptr),
          FDefaultView(defaultView)
    {
    }

    // Evaluates terms from the front of s until it is used up or, inside
    // parentheses, until the closing ")" has been taken.
    QString Evaluate(QString& s, bool inParens, int depth)
    {
        QString result;
        while (!s.isEmpty()) {
            QChar op;
            QString value;
            const QChar first = s.at(0);
            if (first == u'"' || first == u'\'') {
                ExtractQuotedToken(s, first, value);
                op = TakeOperator(s);
            } else {
                QString term;
                ParseTaggedText(s, op, QStringLiteral("+&()"), term);
                if (!term.isEmpty())
                    value = TermValue(term, op, s, depth);
            }
            if (op == u'(') {
                // A group: its value is appended like a term's.
                const QString group = Group(s, depth);
                value += group;
                op = TakeOperator(s);
            }
            result += value;
            if (op == u'&' && !value.isEmpty())
                result += u' ';
            if (op == u')' && inParens)
                return result;
        }
        return result;
    }

private:
    // The operator that follows a literal or a group.
    static QChar TakeOperator(QString& s)
    {
        if (s.isEmpty())
            return QChar();
        const QChar c = s.at(0);
        if (c != u'+' && c != u'&' && c != u')' && c != u'(')
            return QChar();
        s = s.mid(1).trimmed();
        return c;
    }

    // The parenthesised part at the front of s (its "(" already taken), up
    // to and with its ")". Too deep a nesting is passed over unread.
    QString Group(QString& s, int depth)
    {
        if (depth + 1 < kMaxExpressionDepth)
            return Evaluate(s, true, depth + 1);
        int open = 1;
        qsizetype i = 0;
        for (; i < s.size() && open > 0; ++i) {
            if (s.at(i) == u'(')
                ++open;
            else if (s.at(i) == u')')
                --open;
        }
        s = s.mid(i).trimmed();
        return kInvalid;
    }

    QString TermValue(const QString& term, QChar& op, QString& s, int depth)
    {
        const qsizetype dot = term.indexOf(u'.');
        if (dot < 0)
            return FieldValue(FDefaultView, term);
        const QString head = term.left(dot).trimmed();
        const QString rest = FieldNameToDisplay(term.mid(dot + 1).trimmed());
        if (head.compare(QLatin1String("REPORT"), Qt::CaseInsensitive) == 0)
            return ReportValue(rest);
        if (head.compare(QLatin1String("PIVAR"), Qt::CaseInsensitive) == 0) {
            TBaseReport* report = RunningReport();
            return report ? report->PIVar(rest) : kInvalid;
        }
        if (head.compare(QLatin1String("PARAM"), Qt::CaseInsensitive) == 0) {
            QString value = FProject ? FProject->GetParam(rest) : QString();
            if (op == u'(') {
                const QString fallback = Group(s, depth);
                if (value.isEmpty())
                    value = fallback;
                op = TakeOperator(s);
            }
            return value;
        }
        TZarvComponent* component = FProject ? FProject->FindZarvComponent(head, nullptr) : nullptr;
        auto* view = dynamic_cast<TZarvBaseDataView*>(component);
        return view ? FieldValue(view, rest) : kInvalid;
    }

    static QString FieldValue(TZarvBaseDataView* view, const QString& name)
    {
        TZarvDataField* field = view ? view->FieldByName(name) : nullptr;
        return field ? field->AsString() : kInvalid;
    }

    TBaseReport* RunningReport() const { return FProject ? FProject->BaseReport() : nullptr; }

    QString ReportValue(const QString& name) const
    {
        TBaseReport* report = RunningReport();
        if (!report)
            return kInvalid;
        for (int i = 0; i < int(kReportValues.size()); ++i) {
            if (name.compare(QLatin1String(kReportValues[size_t(i)]), Qt::CaseInsensitive) != 0)
                continue;
            if (i == kCurrentPageValue)
                return IntToStr(report->CurrentPage());
            if (i == kRelativePageValue)
                return IntToStr(report->RelativePage());
            return report->Macro(TMacroID(i));
        }
        return kInvalid;
    }

    TZarvProjectManager* FProject;
    TZarvBaseDataView* FDefaultView;
};

// Hands an empty filter to the view when it goes, whatever happened.
class TFilterReset {
public:
    explicit TFilterReset(TZarvBaseDataView* view) : FView(view) {}
    ~TFilterReset()
    {
        try {
            TStringList list;
            list.Add(QString());
            FView->SetFilter(list);
        } catch (...) {
            // The error that is unwinding is the one to report.
        }
    }
    TFilterReset(const TFilterReset&) = delete;
    TFilterReset& operator=(const TFilterReset&) = delete;

private:
    TZarvBaseDataView* FView;
};

} // namespace

void RecordDataViewProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDataViewClasses);
}

// ---------------------------------------------------------------------------
// TZarvBaseDataView.

TZarvBaseDataView::TZarvBaseDataView(TComponent* owner)
    : TZarvDataObject(owner), FDataRow(std::make_unique<TZarvDataRow>())
{
}

TZarvBaseDataView::~TZarvBaseDataView()
{
    FreeSavedRows();
}

TZarvDataRow* TZarvBaseDataView::ActiveDataRow() const
{
    if (FValueListPtr)
        return FValueListPtr;
    if (FSaving && FValueListTail)
        return FValueListTail;
    return FDataRow.get();
}

TZarvDataRow* TZarvBaseDataView::AddDataRow()
{
    auto* row = new TZarvDataRow;
    row->DataRowType = TDataRowType::rtMiddle;
    if (FValueListTail)
        FValueListTail->Next = row;
    else
        FValueListHead = row;
    FValueListTail = row;
    return row;
}

void TZarvBaseDataView::FreeSavedRows()
{
    while (FValueListHead) {
        TZarvDataRow* row = FValueListHead;
        FValueListHead = row->Next;
        delete row;
    }
    FValueListTail = nullptr;
    FValueListPtr = nullptr;
}

void TZarvBaseDataView::ConsumeSavedRow()
{
    TZarvDataRow* row = FValueListPtr;
    FValueListPtr = row->Next;
    if (FSaving)
        return;
    if (row != FValueListHead)
        ZarvError(Translate(QStringLiteral("ValueList mismatch.")));
    FValueListHead = row->Next;
    if (!FValueListHead)
        FValueListTail = nullptr;
    delete row;
}

void TZarvBaseDataView::RowStep(int how)
{
    if (FValueListPtr) {
        if (how == kFetchFirst) {
            if (!FValueListPtr->DataPtr) {
                ConsumeSavedRow();
                FAtEOF = true;
                FEmpty = true;
            }
            return;
        }
        if (how == kFetchCurrent) {
            FAtEOF = FValueListPtr->DataRowType == TDataRowType::rtLast;
            FEmpty = !FValueListPtr->DataPtr;
        } else {
            FAtEOF = FValueListPtr->DataRowType == TDataRowType::rtLast;
            ConsumeSavedRow();
        }
        if (FAtEOF || FValueListPtr)
            return;
    }
    Open();
    FetchRow(how);
}

void TZarvBaseDataView::First()
{
    FEmpty = false;
    FAtEOF = false;
    RowStep(kFetchFirst);
}

void TZarvBaseDataView::Next()
{
    if (!Eof())
        RowStep(kFetchNext);
}

void TZarvBaseDataView::GetCurrentRow()
{
    FAtEOF = false;
    RowStep(kFetchCurrent);
}

void TZarvBaseDataView::SaveState()
{
    if (FSaving)
        ZarvError(Translate(QStringLiteral("DataView.SaveState called while Saving.")));
    FSaving = true;
    FStateSaveEOF = FAtEOF;
    if (FValueListPtr)
        return;
    TZarvDataRow* row = AddDataRow();
    if (FAtEOF) {
        row->DataRowType = TDataRowType::rtLast;
    } else {
        row->DataRowType = TDataRowType::rtFirst;
        FDataRow->MoveTo(*row);
    }
}

void TZarvBaseDataView::RestoreState()
{
    if (!FSaving)
        ZarvError(Translate(QStringLiteral("DataView.RestoreState called when not saving.")));
    FSaving = false;
    FValueListPtr = FValueListHead;
    FAtEOF = FStateSaveEOF;
    // The replay starts on the row that was current: its fields read again.
    if (FValueListPtr)
        FEmpty = !FValueListPtr->DataPtr;
}

void TZarvBaseDataView::Peek(int amount)
{
    FSaveSaving = FSaving;
    FSaveAtEOF = FAtEOF;
    FSaveEmpty = FEmpty;
    FSaveValueListPtr = FValueListPtr;
    if (!FSaving)
        SaveState();
    for (int i = 0; i < amount && !Eof(); ++i)
        Next();
}

void TZarvBaseDataView::Unpeek()
{
    FAtEOF = FSaveAtEOF;
    FEmpty = FSaveEmpty;
    FValueListPtr = FSaveValueListPtr;
    if (!FSaveSaving)
        RestoreState();
}

bool TZarvBaseDataView::CheckBeforeEOF()
{
    if (FSaving) {
        TZarvDataRow* keep = FValueListPtr;
        const bool keepEOF = FAtEOF;
        const bool keepEmpty = FEmpty;
        Next();
        const bool more = !Eof();
        FValueListPtr = keep;
        FAtEOF = keepEOF;
        FEmpty = keepEmpty;
        return more;
    }
    SaveState();
    Next();
    const bool more = !Eof();
    RestoreState();
    return more;
}

bool TZarvBaseDataView::CheckRowsLeft(int reqRows)
{
    Peek(reqRows);
    const bool left = !Eof();
    Unpeek();
    return left;
}

const TStringList& TZarvBaseDataView::FieldNameList()
{
    FFieldNameList.Clear();
    for (int i = 0; i < GetChildCount(); ++i) {
        if (auto* field = dynamic_cast<TZarvDataField*>(GetChild(i)))
            FFieldNameList.AddObject(FieldNameToDisplay(field->FieldName()), field);
    }
    return FFieldNameList;
}

TZarvDataField* TZarvBaseDataView::FieldByName(const QString& fieldName)
{
    if (!Active()) {
        Open();
        GetCurrentRow();
    }
    QString name = fieldName.trimmed();
    const QString prefix = Name() + u'.';
    if (!Name().isEmpty() && name.startsWith(prefix, Qt::CaseInsensitive))
        name = name.mid(prefix.size());
    // The first field whose shown name matches, as FieldNameList() lists
    // them, without building the list for every value a row prints.
    const QString shown = FieldNameToDisplay(name);
    for (int i = 0; i < GetChildCount(); ++i) {
        auto* field = dynamic_cast<TZarvDataField*>(GetChild(i));
        if (field && AnsiCompareText(FieldNameToDisplay(field->FieldName()), shown) == 0)
            return field;
    }
    return nullptr;
}

void TZarvBaseDataView::SetName(const QString& newName)
{
    const QString oldName = Name();
    TZarvDataObject::SetName(newName);
    if (Name() == oldName)
        return;
    for (int i = 0; i < GetChildCount(); ++i) {
        auto* field = dynamic_cast<TZarvDataField*>(GetChild(i));
        if (field &&
            field->Name().compare(FieldCompName(oldName, field->FieldName()), Qt::CaseInsensitive) == 0)
            field->SetName(FieldCompName(Name(), field->FieldName()));
    }
}

bool TZarvBaseDataView::AcceptChild(TZarvComponentClass childClass) const
{
    return childClass && childClass->InheritsFrom(QStringLiteral("TZarvDataField"));
}

void TZarvBaseDataView::Close()
{
    TZarvDataObject::Close();
    FSaving = false;
    FreeSavedRows();
}

void TZarvBaseDataView::AfterReport()
{
    TZarvDataObject::AfterReport();
    if (Active())
        Close();
}

// ---------------------------------------------------------------------------
// Expressions, look-ups and master-detail.

QString FieldCompName(const QString& viewName, const QString& fieldName)
{
    QString result = viewName;
    for (QChar c : FieldNameToDisplay(fieldName)) {
        if (c == u' ')
            c = u'_';
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'_')
            result += c;
    }
    return result;
}

QString EvaluateText(TZarvComponent* component, TZarvBaseDataView* defaultView, const QString& text)
{
    QString s = text.trimmed();
    if (s.endsWith(u';'))
        s.chop(1);
    TExpression expression(component, defaultView);
    return expression.Evaluate(s, false, 0);
}

void LookupValue(TZarvBaseDataView* view, const QString& value, TZarvDataField* valueField,
                 const QString& matchField, const QString& displayExpr, const QString& notFoundText,
                 QString& result)
{
    if (!view) {
        result = notFoundText;
        return;
    }
    TStringList filter;
    filter.Add(FieldNameToDisplay(matchField));
    filter.Add(QStringLiteral("="));
    filter.AddObject(value, valueField);
    filter.Add(QString());
    view->SetFilter(filter);
    TFilterReset reset(view);
    view->First();
    result = view->Eof() ? notFoundText : EvaluateText(view, view, displayExpr);
}

void SetupDetailView(TZarvBaseDataView* detailView, const QString& detailKey, TZarvBaseDataView* masterView,
                     const QString& masterKey, const QString& sortKey)
{
    if (!detailView)
        return;
    if (!sortKey.isEmpty()) {
        TStringList sort;
        for (const QString& part : sortKey.split(u'+'))
            sort.Add(FieldNameToDisplay(part.trimmed()));
        sort.Add(QString());
        detailView->SetRemoteSort(sort);
    }
    if (masterView && !masterKey.isEmpty() && !detailKey.isEmpty()) {
        const QStringList detailParts = detailKey.split(u'+');
        const QStringList masterParts = masterKey.split(u'+');
        TStringList filter;
        for (qsizetype i = 0; i < detailParts.size() && i < masterParts.size(); ++i) {
            QString detail = detailParts.at(i).trimmed();
            const qsizetype dot = detail.indexOf(u'.');
            const qsizetype bracket = detail.indexOf(u'<');
            if (dot >= 0 && (bracket < 0 || dot < bracket))
                detail = detail.mid(dot + 1);
            filter.Add(FieldNameToDisplay(detail));
            filter.Add(QStringLiteral("="));
            const QString master = masterParts.at(i).trimmed();
            if (TZarvDataField* field = masterView->FieldByName(master))
                filter.AddObject(field->AsString(), field);
            else
                filter.Add(EvaluateText(masterView, masterView, master));
        }
        filter.Add(QString());
        detailView->SetFilter(filter);
    }
    detailView->First();
}
