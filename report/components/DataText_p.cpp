#include "report/components/DataText_p.h"

#include "report/model/ZvClass.h"
#include "report/model/ZvData.h"
#include "report/model/ZvProj.h"

namespace {

TZarvBaseDataView* AsView(TZarvComponent* component)
{
    return dynamic_cast<TZarvBaseDataView*>(component);
}

} // namespace

bool IsDataView(const TZarvComponent* component)
{
    return dynamic_cast<const TZarvBaseDataView*>(component) != nullptr;
}

QString EvaluateDataText(TZarvComponent* component, TZarvComponent* view, const QString& expression)
{
    return EvaluateText(component, AsView(view), expression);
}

bool ReadPictureField(TZarvComponent* view, const QString& field, QString& fileName, QByteArray& blob)
{
    TZarvBaseDataView* dataView = AsView(view);
    TZarvDataField* dataField = dataView ? dataView->FieldByName(field) : nullptr;
    if (!dataField || dataField->IsNull())
        return false;
    if (dataField->DataType() == TQPDataType::dtString) {
        fileName = dataField->AsString();
        if (fileName.isNull())
            fileName = QStringLiteral("");
        return true;
    }
    const uint8_t* bytes = dataField->AsBlob();
    blob = bytes ? QByteArray(reinterpret_cast<const char*>(bytes), dataField->DataSize()) : QByteArray();
    return true;
}

QString LookupDataValue(TZarvComponent* lookupView, const QString& value, TZarvComponent* dataView,
                        const QString& dataField, const QString& lookupField, const QString& lookupDisplay,
                        const QString& lookupInvalid)
{
    TZarvBaseDataView* view = AsView(dataView);
    TZarvDataField* field = view ? view->FieldByName(dataField) : nullptr;
    QString result;
    LookupValue(AsView(lookupView), value, field, lookupField, lookupDisplay, lookupInvalid, result);
    return result;
}

bool ProjectPrinting(const TZarvComponent* component)
{
    auto* project = component ? dynamic_cast<TZarvProjectManager*>(component->Project()) : nullptr;
    return project && project->Printing();
}
