#include "report/components/DataText_p.h"

#include "report/model/ZvClass.h"
#include "report/model/ZvProj.h"

bool IsDataView(const TZarvComponent* component)
{
    return component && component->InheritsFrom(QStringLiteral("TZarvBaseDataView"));
}

QString EvaluateDataText(TZarvComponent*, TZarvComponent*, const QString& expression)
{
    return expression;
}

bool ReadPictureField(TZarvComponent*, const QString&, QString&, QByteArray&)
{
    return false;
}

QString LookupDataValue(TZarvComponent*, const QString& value, TZarvComponent*, const QString&, const QString&,
                        const QString&, const QString&)
{
    return value;
}

bool ProjectPrinting(const TZarvComponent* component)
{
    auto* project = component ? dynamic_cast<TZarvProjectManager*>(component->Project()) : nullptr;
    return project && project->Printing();
}
