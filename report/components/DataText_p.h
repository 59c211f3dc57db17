#pragma once
// What the printable components ask of the data model, in one place.
#include <QByteArray>
#include <QString>

class TZarvComponent;

// Whether the component is a data view (a TZarvBaseDataView).
bool IsDataView(const TZarvComponent* component);
// A data text expression evaluated for component against view (null: no
// view); "(invalid)" for what does not resolve.
QString EvaluateDataText(TZarvComponent* component, TZarvComponent* view, const QString& expression);
// The value of a picture field: false when the field is null; otherwise
// either fileName (a text field) or blob (any other) is filled.
bool ReadPictureField(TZarvComponent* view, const QString& field, QString& fileName, QByteArray& blob);
// The lookup of a data text: lookupView filtered on lookupField = value,
// lookupDisplay evaluated on its first row, lookupInvalid without one.
// dataView and dataField name the field the value came from (dataView may
// be null).
QString LookupDataValue(TZarvComponent* lookupView, const QString& value, TZarvComponent* dataView,
                        const QString& dataField, const QString& lookupField, const QString& lookupDisplay,
                        const QString& lookupInvalid);
// Whether the project of component is running a report.
bool ProjectPrinting(const TZarvComponent* component);
