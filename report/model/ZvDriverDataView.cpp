#include "report/model/ZvDriverDataView.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "report/model/QpCon.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvUtil.h"

#include <cstring>

namespace {

void RegisterDriverDataViewClasses()
{
    if (FindClass(QStringLiteral("TZarvDriverDataView")))
        return;
    TClassInfo& view = RegisterClass<TZarvDriverDataView>(QStringLiteral("TZarvDriverDataView"),
                                                          QStringLiteral("TZarvBaseDataView"));
    PublishProperty(view, QStringLiteral("Database"), TypeInfoClass(QStringLiteral("TZarvDatabase")),
                    &TZarvDriverDataView::Database, &TZarvDriverDataView::SetDatabase);
    PublishProperty(view, QStringLiteral("Query"), TypeInfoString(), &TZarvDriverDataView::Query,
                    &TZarvDriverDataView::SetQuery);
    PublishProperty(view, QStringLiteral("QueryParams"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvDriverDataView::QueryParams, &TZarvDriverDataView::SetQueryParams);
    PublishProperty(view, QStringLiteral("QueryStruct"), TypeInfoString(), &TZarvDriverDataView::QueryStruct,
                    &TZarvDriverDataView::SetQueryStruct);
    // Projects of older versions name the class by its former name.
    RegisterClassInfo(QStringLiteral("TZarvSQLDataView"), QStringLiteral("TZarvDriverDataView"),
                      [](TComponent* owner) -> TObject* { return new TZarvDriverDataView(owner); });
    RegisterDataObjectClass(&view, Translate(QStringLiteral("Driver Data View")));
    RegisterZarvModuleClasses(QStringLiteral("ZvData"), {&view});
}

bool IdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

void RecordDriverDataViewProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDriverDataViewClasses);
}

QString SubstituteQueryParams(const QString& query, const TStringList& params,
                              const std::function<QString(const QString&)>& evaluate)
{
    QString result = query;
    for (int i = 0; i < params.Count(); ++i) {
        const QString name = params.Names(i).trimmed();
        if (name.isEmpty())
            continue;
        const QString value = evaluate(params.ValueFromIndex(i));
        const QString key = QLatin1Char(':') + name;
        qsizetype at = result.indexOf(key, 0, Qt::CaseInsensitive);
        while (at >= 0) {
            qsizetype end = at + key.size();
            while (end < result.size() && IdentChar(result[end]))
                ++end;
            result.replace(at, end - at, value);
            at = result.indexOf(key, at + value.size(), Qt::CaseInsensitive);
        }
    }
    return result;
}

TZarvDriverDataView::TZarvDriverDataView(TComponent* owner)
    : TZarvBaseDataView(owner), FQueryParams(std::make_unique<TStrings>())
{
}

TZarvDriverDataView::~TZarvDriverDataView()
{
    try {
        GiveBack();
    } catch (...) {
        // Nothing to report while going.
    }
}

void TZarvDriverDataView::SetQueryParams(TStrings* value)
{
    if (value)
        FQueryParams->Assign(*value);
}

void TZarvDriverDataView::OverrideProperties(TZarvFiler& filer)
{
    TZarvBaseDataView::OverrideProperties(filer);
    if (!filer.IsReader())
        return;
    const TPropInfo* params =
        ClassType() ? ClassType()->FindProperty(QStringLiteral("QueryParams")) : nullptr;
    if (!params)
        return;
    // "SQL" was a list of lines: read as a list, kept as one text.
    filer.OverrideProperty(QStringLiteral("SQL"),
                           [this, params](TZarvReader& reader) {
                               const TStringList saved = *FQueryParams;
                               FQueryParams->Clear();
                               reader.ReadProperty(this, params);
                               QStringList lines = FQueryParams->ToQStringList();
                               FQuery = lines.join(QStringLiteral("\r\n"));
                               FQueryParams->Assign(saved);
                           },
                           {});
    filer.OverrideProperty(QStringLiteral("Params"),
                           [this, params](TZarvReader& reader) { reader.ReadProperty(this, params); }, {});
}

void TZarvDriverDataView::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvBaseDataView::ChangeReference(oldComp, newComp);
    if (FDatabase == oldComp)
        FDatabase = dynamic_cast<TZarvDatabase*>(newComp);
}

void TZarvDriverDataView::GiveBack()
{
    FResultSet.reset();
    if (FConnection && FDatabase)
        FDatabase->ReleaseLink(FConnection);
    FConnection = nullptr;
}

void TZarvDriverDataView::Open()
{
    if (Active())
        return;
    if (!FDatabase)
        throw Exception(QStringLiteral("Database is nil."));
    try {
        FDatabase->Open();
        FConnection = FDatabase->GetLink();
        FResultSet = std::make_unique<TDataResultSet>(FConnection);
        FResultSet->CommandText() = SubstituteQueryParams(
            FQuery, *FQueryParams, [this](const QString& expr) { return EvaluateText(this, this, expr); });
        FResultSet->Open();
        TStringList& names = FieldNames();
        names.Clear();
        const TResultSetFieldList& fields = FResultSet->FieldList();
        for (size_t i = 0; i < fields.size(); ++i) {
            const QString ident = FieldNameToIdent(fields[i].FieldName);
            TZarvDataField* found = nullptr;
            for (int c = 0; c < GetChildCount(); ++c) {
                auto* field = dynamic_cast<TZarvDataField*>(GetChild(c));
                if (field && field->FieldName().compare(ident, Qt::CaseInsensitive) == 0) {
                    found = field;
                    break;
                }
            }
            if (found) {
                if (found->DataType() != fields[i].DataType)
                    ZarvError(
                        Translate(QStringLiteral("Field %1:%2.  Datatype expected: %3  Datatype found: %4")
                                      .arg(Name(), found->FieldName(), DataTypeName(found->DataType()),
                                           DataTypeName(fields[i].DataType))));
                found->SetDataIndex(int32_t(i));
            }
            names.AddObject(FieldNameToDisplay(fields[i].FieldName), found);
        }
    } catch (...) {
        GiveBack();
        throw;
    }
    SetDataOpened(true);
    TZarvBaseDataView::Open();
}

void TZarvDriverDataView::Close()
{
    if (!Active())
        return;
    GiveBack();
    if (FDatabase)
        FDatabase->Close();
    SetDataOpened(false);
    TZarvBaseDataView::Close();
}

void TZarvDriverDataView::FetchRow(int how)
{
    if (!Active() || !FResultSet) {
        SetAtEOF(true);
        AbortReport(this);
        return;
    }
    if (how == kFetchFirst)
        FResultSet->First();
    else if (how == kFetchNext)
        FResultSet->Next();
    const bool eof = FResultSet->Eof();
    SetAtEOF(eof);
    if (!eof) {
        TZarvDataRow* target = &DataRow();
        if (Saving()) {
            target = AddDataRow();
            if (how == kFetchFirst)
                target->DataRowType = TDataRowType::rtFirst;
        }
        const uint8_t* rowBuffer = nullptr;
        int32_t rowBufSize = 0;
        FResultSet->GetRow(rowBuffer, rowBufSize);
        target->Init(rowBufSize);
        if (rowBufSize > 0)
            std::memcpy(target->DataPtr, rowBuffer, size_t(rowBufSize));
    } else if (Saving()) {
        if (how == kFetchFirst) {
            SetEmpty(true);
            AddDataRow();
        }
        if (TZarvDataRow* last = ActiveDataRow())
            last->DataRowType = TDataRowType::rtLast;
    }
}

void TZarvDriverDataView::CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList)
{
    Open();
    for (const TResultSetField& field : FResultSet->FieldList()) {
        auto info = std::make_unique<TZarvDataFieldInfo>();
        info->FieldName = field.FieldName;
        info->DataType = field.DataType;
        info->Width = field.Width;
        info->FullName = field.FullName;
        info->Description = field.Description;
        fieldList.push_back(std::move(info));
    }
    Close();
}

void TZarvDriverDataView::SetFilter(TStringList&)
{
    Close();
    Open();
}

void TZarvDriverDataView::SetRemoteSort(TStringList&)
{
    throw Exception(QStringLiteral("SetRemoteSort not supported."));
}
