#pragma once
// ZvData: the data views of a report project and the field expressions.
//
// TZarvBaseDataView is the row cursor of a project: a data object whose
// children are its fields (ZvDataField.h), with first / next / end-of-data
// steps, a saved-row list through which a band can look ahead or print a
// section twice over the same rows (SaveState ... RestoreState, Peek ...
// Unpeek), filter and sort requests, and master-detail linking. Concrete
// views supply the rows through FetchRow and the column descriptions
// through CreateFields.
//
// EvaluateText turns a field expression into text: literals in double
// quotes or apostrophes, View.Field (a field of the default view when the
// view is left out), REPORT.<value>, PIVAR.<name> and PARAM.<name> with an
// optional default in parentheses, joined by "+" (no blank) or "&" (one
// blank after a value that is not empty). What matches nothing reads
// "(invalid)"; nothing is raised.
//
// Looking ahead (Peek ... Unpeek, CheckBeforeEOF, CheckRowsLeft) leaves the
// current row, its values and the end-of-data state as they were, also when
// it ran into the end of the data.
//
// Errors of the saved-row list raise EZarvException: "DataView.SaveState
// called while Saving.", "DataView.RestoreState called when not saving.",
// "ValueList mismatch.".
#include "report/model/ZvDataField.h"
#include "report/model/ZvItem.h"

#include "platform/rtl/StringList.h"

#include <QString>

#include <memory>
#include <vector>

// Records the registration procedure of the view base class under "ZVCL".
// Further calls do nothing.
void RecordDataViewProcs();

// The column description a view gives when it makes its fields.
class TZarvDataFieldInfo {
public:
    QString FieldName;
    TQPDataType DataType = TQPDataType::dtString;
    int32_t Width = 0; // characters
    QString FullName;
    QString Description;
};

// What FetchRow is asked for.
constexpr int kFetchFirst = 1;
constexpr int kFetchNext = 2;
constexpr int kFetchCurrent = 5;

// The deepest parenthesis nesting EvaluateText follows; deeper parts read
// "(invalid)".
constexpr int kMaxExpressionDepth = 32;

class TZarvBaseDataView : public TZarvDataObject {
public:
    explicit TZarvBaseDataView(TComponent* owner);
    ~TZarvBaseDataView() override;

    // The row every field reads: the saved row being replayed, else the
    // newest recorded one while recording, else the current row.
    TZarvDataRow* ActiveDataRow() const;
    // Appends a new row (rtMiddle) to the saved-row list; FetchRow writes
    // into it while recording.
    TZarvDataRow* AddDataRow();

    // Row steps.
    virtual void First();
    virtual void Next();
    virtual void GetCurrentRow();
    virtual bool Eof() const { return FAtEOF; }
    // Whether ReqRows more rows follow, without moving.
    virtual bool CheckRowsLeft(int reqRows);
    virtual void SaveState();
    virtual void RestoreState();
    // Whether a row follows the current one, without moving.
    virtual bool CheckBeforeEOF();
    virtual void Peek(int amount);
    virtual void Unpeek();

    // The field of that name (display or identifier form, optionally after
    // "<view name>."); null when absent. Opens the view first when needed.
    TZarvDataField* FieldByName(const QString& fieldName);
    // Display names of the fields with the fields as objects.
    const TStringList& FieldNameList();
    bool IsEmpty() const { return FEmpty; }
    bool Saving() const { return FSaving; }
    bool DataOpened() const { return FDataOpened; }

    // What concrete views supply: FetchRow(How) brings row How (kFetchFirst,
    // kFetchNext, kFetchCurrent) into DataRow, or while Saving() into
    // AddDataRow(), and sets the end-of-data and empty flags.
    virtual void FetchRow(int how) = 0;
    virtual void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList) = 0;
    // Filter: per condition a field name, an operator and a value (with the
    // field it came from as object, or none), then an empty string. Sort:
    // field names, then an empty string. The lists are the caller's.
    virtual void SetFilter(TStringList& filterList) = 0;
    virtual void SetRemoteSort(TStringList& sortList) = 0;

    void SetName(const QString& newName) override;
    bool AcceptChild(TZarvComponentClass childClass) const override;
    void AfterReport() override;
    void Close() override;

protected:
    void SetAtEOF(bool value) { FAtEOF = value; }
    void SetEmpty(bool value) { FEmpty = value; }
    void SetDataOpened(bool value) { FDataOpened = value; }
    TZarvDataRow& DataRow() { return *FDataRow; }
    // Saved rows are being replayed.
    bool Replaying() const { return FValueListPtr != nullptr; }
    TStringList& FieldNames() { return FFieldNameList; }

private:
    void RowStep(int how);
    void ConsumeSavedRow();
    void FreeSavedRows();

    bool FDataOpened = false;
    bool FEmpty = false;
    TStringList FFieldNameList;
    bool FSaving = false;
    bool FAtEOF = true;
    std::unique_ptr<TZarvDataRow> FDataRow;
    TZarvDataRow* FValueListHead = nullptr; // owned through the Next chain
    TZarvDataRow* FValueListTail = nullptr;
    TZarvDataRow* FValueListPtr = nullptr;
    bool FStateSaveEOF = false;
    TZarvDataRow* FSaveValueListPtr = nullptr;
    bool FSaveAtEOF = false;
    bool FSaveSaving = false;
    bool FSaveEmpty = false;
};

// The view name followed by the field name in display form, blanks as "_"
// and every character other than A-Z, a-z, 0-9 and "_" dropped.
QString FieldCompName(const QString& viewName, const QString& fieldName);

// The text of an expression for component (which gives the project, its
// parameters and the running report) with defaultView for bare field names.
QString EvaluateText(TZarvComponent* component, TZarvBaseDataView* defaultView, const QString& text);

// Filters view to rows whose matchField equals value, takes displayExpr of
// the first row (notFoundText when none) and removes the filter again.
void LookupValue(TZarvBaseDataView* view, const QString& value, TZarvDataField* valueField,
                 const QString& matchField, const QString& displayExpr, const QString& notFoundText,
                 QString& result);

// Sorts detailView by sortKey and filters it to the rows whose detailKey
// parts equal the masterKey parts of masterView's current row ("+"-separated
// pairs), then steps it to its first row. Nothing without a detail view.
void SetupDetailView(TZarvBaseDataView* detailView, const QString& detailKey, TZarvBaseDataView* masterView,
                     const QString& masterKey, const QString& sortKey);
