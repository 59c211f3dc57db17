#pragma once
// ZvDriverDataView: the "Driver Data View" of a report project, whose rows
// come from a query through a database component (ZvDatabase.h) and its
// data-link driver. Query parameters (QueryParams lines "name=expression")
// are evaluated and put in place of every ":name" in the query before it
// runs; the replaced text runs over the letters, digits and "_" that follow
// the name. The class is also known by its older name "TZarvSQLDataView",
// whose "SQL" and "Params" are read into Query and QueryParams.
#include "report/model/ZvData.h"
#include "report/model/ZvDatabase.h"

#include "platform/objects/Strings.h"

#include <QString>

#include <memory>

void RecordDriverDataViewProcs();

// The query with every ":name" of the parameter lines replaced by its value
// (evaluate gives the value of an expression).
QString SubstituteQueryParams(const QString& query, const TStringList& params,
                              const std::function<QString(const QString&)>& evaluate);

class TZarvDriverDataView : public TZarvBaseDataView {
public:
    explicit TZarvDriverDataView(TComponent* owner);
    ~TZarvDriverDataView() override;

    void OverrideProperties(TZarvFiler& filer) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void Open() override;
    void Close() override;
    void FetchRow(int how) override;
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList) override;
    void SetFilter(TStringList& filterList) override;
    void SetRemoteSort(TStringList& sortList) override;

    TZarvDatabase* Database() const { return FDatabase; }
    void SetDatabase(TZarvDatabase* value) { FDatabase = value; }
    const QString& Query() const { return FQuery; }
    void SetQuery(const QString& value) { FQuery = value; }
    TStrings* QueryParams() const { return FQueryParams.get(); }
    void SetQueryParams(TStrings* value);
    const QString& QueryStruct() const { return FQueryStruct; }
    void SetQueryStruct(const QString& value) { FQueryStruct = value; }
    TDataResultSet* ResultSet() const { return FResultSet.get(); }

private:
    void GiveBack();

    TZarvDatabase* FDatabase = nullptr;
    TDataConnection* FConnection = nullptr;
    std::unique_ptr<TDataResultSet> FResultSet;
    QString FQuery;
    QString FQueryStruct;
    std::unique_ptr<TStrings> FQueryParams;
};
