#include "gauges/Uprocesscards.h"

#include "app/Utessvar.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"
#include "platform/os/Modules.h"

#include <utility>

namespace {

constexpr int TitleText = 500;      // "TOLLERANZE"
constexpr int UnitMmText = 504;     // "values in mm"
constexpr int UnitInchText = 505;   // "values in inches"

// The controls of one window, by name.
class TCardSource {
public:
    explicit TCardSource(TCustomForm* window) : FWindow(window) {}

    TControl* Control(const char* name) const { return FindOwned<TControl>(FWindow, QString::fromLatin1(name)); }
    bool Shown(const char* name) const
    {
        const TControl* control = Control(name);
        return control && control->Visible();
    }
    // A label's caption or an edit's text.
    QString Text(const char* name) const
    {
        const TControl* control = Control(name);
        return control ? control->Text() : QString();
    }
    // "caption: text".
    QString Row(const char* label, const char* edit) const { return Text(label) + QStringLiteral(": ") + Text(edit); }
    QString RowIf(const char* shown, const char* label, const char* edit) const
    {
        return Shown(shown) ? Row(label, edit) : QString();
    }
    QString TextIf(const char* name) const { return Shown(name) ? Text(name) : QString(); }

    QString Unit() const
    {
        const auto* unit = dynamic_cast<const TComboBox*>(Control("cUnit"));
        if (!unit)
            return QString();
        switch (unit->ItemIndex()) {
        case 0:
            return LoadStr(UnitMmText);
        case 1:
            return LoadStr(UnitInchText);
        default:
            return QString();
        }
    }
    // The angle, or the two semi-angles of the gauges that have them.
    QString Angle() const
    {
        if (Shown("dbSAR"))
            return Text("lAngoli") + QStringLiteral(": ") + Text("dbSAL") + QStringLiteral(" | ") + Text("dbSAR");
        return RowIf("dbAngolo", "lAngolo", "dbAngolo");
    }

private:
    TCustomForm* FWindow;
};

// The rows both cards begin with: title to tolerance.
TReportParams CardHead(const TCardSource& s)
{
    return {
        {QStringLiteral("Title"), LoadStr(TitleText)},
        {QStringLiteral("Unit"), s.Unit()},
        {QStringLiteral("Diametro"), s.Row("Label4", "dNominale")},
        {QStringLiteral("Passo"), s.RowIf("dPasso", "lPasso", "dPasso")},
        {QStringLiteral("Angolo"), s.Angle()},
        {QStringLiteral("Starts"), s.RowIf("dbN1", "lStart", "dbN1")},
        {QStringLiteral("Tolleranze"), s.Row("Label1", "dbTollServ")},
    };
}

} // namespace

TReportParams GaugeCardParams(TCustomForm* window)
{
    const TCardSource s(window);
    TReportParams params = CardHead(s);
    const auto add = [&params](const char* name, const QString& value) {
        params.emplace_back(QString::fromLatin1(name), value);
    };
    add("Maxl", s.Text("Label11") + u':');
    add("Minl", s.Text("Label12") + u':');
    add("Logl", s.Text("lLogoro") + u':');
    add("Mediol", s.Shown("dMedP") || s.Shown("dMedN") ? s.Text("lDiaMed") + u':' : QString());
    add("Hmisl", s.Shown("dHMis1") || s.Shown("dHMis2") ? s.Text("lHMis") + u':' : QString());
    // The Go column, then the No-go column.
    static const std::pair<const char*, const char*> values[] = {
        {"Maxp", "dMaxP"},   {"Minp", "dMinP"},   {"Logp", "dLogP"},   {"Mediop", "dMedP"},   {"Hmisp", "dHMis1"},
        {"Maxnp", "dMaxN"},  {"Minnp", "dMinN"},  {"Lognp", "dLogN"},  {"Medionp", "dMedN"},  {"Hmisnp", "dHMis2"},
    };
    for (const auto& [name, edit] : values)
        add(name, s.TextIf(edit));
    add("TxtP", s.TextIf("lPassa"));
    add("TxtNP", s.TextIf("lNonPassa"));
    return params;
}

TReportParams WorkpieceCardParams(TCustomForm* window)
{
    const TCardSource s(window);
    TReportParams params = CardHead(s);
    params.insert(params.end(), {
        {QStringLiteral("Maxl"), s.Text("lPieceTxt3") + u':'},
        {QStringLiteral("Minl"), s.Text("lPieceTxt4") + u':'},
        {QStringLiteral("Maxp"), s.Text("dMaxW")},
        {QStringLiteral("Minp"), s.Text("dMinW")},
        {QStringLiteral("TxtP"), s.Text("lPieceTxt") + QStringLiteral(": ") + s.Text("lPieceTxt2")},
    });
    return params;
}

void PrintCard(TZvProject& project, const QString& projectFile, const TReportParams& params)
{
    PrintReportProject(project, projectFile, params, fTessvar && fTessvar->cPreview->Checked());
}
