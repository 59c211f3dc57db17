#include "gauges/Umeasurehandover.h"

#include "app/Unumberedit.h"
#include "app/Utessvar.h"
#include "app/core/Unan.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"
#include "platform/rtl/NumberText.h"

namespace {

template <class T> T* Control(TCustomForm* window, const char* name)
{
    return FindOwned<T>(window, QString::fromLatin1(name));
}

bool Shown(TCustomForm* window, const char* name)
{
    const TControl* control = Control<TControl>(window, name);
    return control && control->Visible();
}

} // namespace

void HandOverToMeasuring(TCustomForm* window, const NCLIST& values, bool workpiece)
{
    TfTessvar& main = *fTessvar;
    TEdit* dbAngolo = Control<TEdit>(window, "dbAngolo");
    TEdit* dbSAL = Control<TEdit>(window, "dbSAL");
    TEdit* dbSAR = Control<TEdit>(window, "dbSAR");
    QString halfAngle;
    if (dbAngolo && dbAngolo->Visible()) {
        const QString text = dbAngolo->Text();
        const double angle = text.isEmpty() ? StrToFloat(text) : ParseNumber(text);
        halfAngle = FloatToStr(angle * 0.5);
    }

    NCLIST& lengths = main.LengthList;
    const auto copy = [&](TEdit* target, const char* source) {
        double value = 0;
        TEdit* edit = Control<TEdit>(window, source);
        if (!edit || !values.GetValue(NumberEditOf(edit), value))
            value = 0;
        lengths.SetValue(NumberEditOf(target), value);
    };
    copy(main.eTD, "dNominale");
    copy(main.eCP, "dPasso");
    if (const TEdit* dbN1 = Control<TEdit>(window, "dbN1"))
        main.eNP->SetText(dbN1->Text());
    if (dbAngolo && dbAngolo->Visible()) {
        main.eCA->SetText(halfAngle);
        main.eAG->SetText(halfAngle);
    }
    if (dbSAL && dbSAL->Visible())
        main.eCA->SetText(dbSAL->Text());
    if (dbSAR && dbSAR->Visible())
        main.eAG->SetText(dbSAR->Text());

    const bool ring = main.CurrentType.Ring != 0;
    if (workpiece) {
        copy(main.eTsupP, "dMaxW");
        copy(main.eTinfP, "dMinW");
    } else {
        if (Shown(window, "lPassa")) {
            main.lTP->Show();
            copy(main.eTsupP, ring ? "dLogP" : "dMaxP");
            copy(main.eTinfP, ring ? "dMinP" : "dLogP");
        }
        if (Shown(window, "lNonPassa")) {
            main.lTNP->Show();
            copy(main.eTsupNP, ring ? "dLogN" : "dMaxN");
            copy(main.eTinfNP, ring ? "dMinN" : "dLogN");
        }
    }

    window->SetModalResult(mrCancel);
    main.RefreshLengths();
    main.pTab->SetActivePageIndex(1);
    for (TEdit* edit : {main.eFiloTeor, main.eAD, main.eRead, main.eReadNP, main.eResult, main.eResultNP})
        edit->SetText(QString());
}
