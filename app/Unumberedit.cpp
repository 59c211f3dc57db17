#include "app/Unumberedit.h"

#include "platform/forms/StdCtrls.h"

#include <QObject>
#include <QWidget>

namespace {

// Lives as a child object of the edit's widget, which the edit owns, so it
// goes with the edit and never outlives it.
class TEditNumber : public QObject, public TNumberEdit {
public:
    explicit TEditNumber(TEdit* edit) : QObject(edit->Widget()), FEdit(edit) { setObjectName(AdapterName()); }

    QString Text() const override { return FEdit->Text(); }
    void SetText(const QString& text) override { FEdit->SetText(text); }
    TEdit* Edit() const { return FEdit; }

    static QString AdapterName() { return QStringLiteral("TessvarNumberEdit"); }

private:
    TEdit* FEdit;
};

} // namespace

TNumberEdit* NumberEditOf(TEdit* edit)
{
    if (!edit || !edit->Widget())
        return nullptr;
    const auto children =
        edit->Widget()->findChildren<QObject*>(TEditNumber::AdapterName(), Qt::FindDirectChildrenOnly);
    for (QObject* child : children) {
        if (auto* adapter = dynamic_cast<TEditNumber*>(child))
            return adapter;
    }
    return new TEditNumber(edit);
}

TEdit* EditOfNumber(TNumberEdit* number)
{
    auto* adapter = dynamic_cast<TEditNumber*>(number);
    return adapter ? adapter->Edit() : nullptr;
}
