#include "gauges/Uprocesslayout.h"

#include "gauges/Ugaugefamily.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/os/Modules.h"

#include <initializer_list>

const std::array<const char*, ProcessBoundEditCount> ProcessBoundEdits = {
    "dNominale", "dPasso", "dMaxP",  "dMaxN",  "dMinP",   "dMinN",  "dLogP",  "dLogN",
    "dMedP",     "dMedN",  "dHMis1", "dHMis2", "dMaxPe",  "dMaxNe", "dMinPe", "dMinNe",
    "dMaxPi",    "dMaxNi", "dMinPi", "dMinNi", "dTPasso", "dMaxW",  "dMinW",
};

namespace {

// String-table texts of the layout.
constexpr int DiameterText = 675;      // "Diameter"
constexpr int PitchDiameterText = 676; // "Pitch diameter"
constexpr int PitchText = 677;         // "Pitch"
constexpr int ModuleText = 678;        // "Module"
constexpr int GoGaugeText = 734;       // "Go gage"
constexpr int NoGoGaugeText = 735;     // "No go gage"
constexpr int ShaftText = 807;         // "Shaft deviation"
constexpr int HoleText = 808;          // "Hole deviation"
constexpr int BoltText = 809;          // "Bolt deviation"
constexpr int NutText = 810;           // "Nut screw deviation"

const QString IsoHint = QStringLiteral("Type Tol.HERE, then ->");
const QString PressHint = QStringLiteral("PRESS button -->");

enum TKind { KindPlain = 1, KindThread = 2, KindSpline = 3, KindTaper = 4 };
enum TRole { RoleGo = 1, RoleNoGo = 2, RoleLimit = 3, RoleTaper = 4, RoleMaster = 5 };

class TPlanner {
public:
    explicit TPlanner(TProcessLayout& plan) : FPlan(plan) {}

    void Set(std::initializer_list<const char*> names, bool shown)
    {
        for (const char* name : names)
            FPlan.Shown[QString::fromLatin1(name)] = shown;
    }
    void Show(std::initializer_list<const char*> names) { Set(names, true); }
    void Hide(std::initializer_list<const char*> names) { Set(names, false); }
    void Caption(const char* name, int textId) { Caption(name, LoadStr(textId)); }
    void Caption(const char* name, const QString& text) { FPlan.Captions[QString::fromLatin1(name)] = text; }
    void AllTabs(bool shown) { FPlan.ExternalTab = FPlan.InternalTab = FPlan.AngleTab = shown; }

private:
    TProcessLayout& FPlan;
};

void PlanByKind(const CALIBRETYPE& type, TPlanner& p, TProcessLayout& plan)
{
    const bool ring = type.Ring != 0;
    const int key = type.Group * 100 + type.Item;
    switch (type.Kind) {
    case KindPlain:
        p.Caption("tsMedio", DiameterText);
        p.Show({"lPassa", "lNonPassa"});
        p.Caption("lPieceTxt", ring ? ShaftText : HoleText);
        if (type.Family == FamilyAnsiAsme)
            p.Hide({"dMaxW", "dMinW", "lPieceTxt"});
        break;
    case KindThread:
        p.Show({"bMeasure", "bMeasureWp"});
        p.Caption("lPieceTxt", ring ? BoltText : NutText);
        p.Caption("lPasso", PitchText);
        p.Show({"lPasso", "dPasso", "lStart", "dbN1"});
        if (type.Family == FamilyButtress || type.Family == FamilySpecial)
            p.Show({"lAngoli", "dbSAL", "dbSAR"});
        else
            p.Show({"lAngolo", "dbAngolo"});
        p.Caption("tsMedio", PitchDiameterText);
        p.Show({"lPassa", "lNonPassa", "dLogN", "lDiaMed", "dMedP", "dMedN"});
        p.AllTabs(true);
        if (type.Group == 0 && (type.Item == 3 || type.Item == 4))
            p.Hide({"lPassa"});
        break;
    case KindSpline:
        p.Caption("lPasso", ModuleText);
        p.Show({"lPasso", "dPasso", "lAngolo", "dbAngolo"});
        plan.AngleText = QStringLiteral("30");
        p.Caption("tsMedio", DiameterText);
        p.Show({"lPassa", "lNonPassa"});
        break;
    case KindTaper:
        p.Hide({"dMaxW", "dMinW", "lPieceTxt"});
        p.Caption("lPasso", PitchText);
        p.Show({"lPasso", "dPasso", "lAngolo", "dbAngolo"});
        p.Caption("tsMedio", PitchDiameterText);
        p.Show({"dLogN", "lDiaMed", "dMedP", "dMedN", "lHMis", "dHMis1"});
        if (key >= 711 && key <= 714)
            p.Show({"dHMis2"});
        p.AllTabs(true);
        break;
    default:
        break;
    }
}

void PlanByRole(const CALIBRETYPE& type, TPlanner& p)
{
    const int key = type.Group * 100 + type.Item;
    switch (type.Role) {
    case RoleGo:
        p.Hide({"lNonPassa", "dMaxN", "dMinN", "dLogN", "dMedN", "lNonPassaE", "dMaxNe", "dMinNe",
                "lNonPassaI", "dMaxNi", "dMinNi"});
        break;
    case RoleNoGo:
        p.Hide({"lPassa", "dMaxP", "dMinP", "dLogP", "dMedP", "lPassaE", "dMaxPe", "dMinPe", "lPassaI",
                "dMaxPi", "dMinPi"});
        if (type.Kind == KindPlain)
            p.Hide({"lLogoro"});
        break;
    case RoleTaper:
        if (key < 711 || key > 714)
            p.Hide({"lNonPassa", "dMaxN", "dMinN", "dLogN", "dMedN"});
        p.Hide({"lPassaE", "lNonPassaE", "dMaxNe", "dMinNe", "lPassaI", "lNonPassaI", "dMaxNi", "dMinNi"});
        break;
    case RoleMaster:
        p.Caption("tsMedio", PitchDiameterText);
        p.Hide({"lPassa", "lNonPassa", "dMaxN", "dMinN", "lLogoro", "dLogP", "dLogN", "lNonPassaE", "dMaxNe",
                "dMinNe", "lNonPassaI", "dMaxNi", "dMinNi"});
        break;
    default: // a limit gauge shows both sides
        break;
    }
}

} // namespace

bool TProcessLayout::Shows(const QString& name) const
{
    const auto found = Shown.find(name);
    return found != Shown.end() && found->second;
}

TProcessLayout PlanProcessLayout(const CALIBRETYPE& type)
{
    TProcessLayout plan;
    TPlanner p(plan);
    p.Show({"dMaxW", "dMinW", "lPieceTxt"});
    p.Hide({"bMeasure", "bMeasureWp"});

    plan.Caption = LoadStr(FamilyNameText + type.Family) + u'|' + GroupCaption(type.Family, type.Group) +
                   u'|' + type.Name;

    p.Show({"sbCalcTol"});
    switch (type.Family) {
    case FamilyIso:
        plan.ToleranceHint = IsoHint;
        if (type.Kind == KindPlain && type.Role == RoleMaster)
            p.Hide({"sbCalcTol"});
        break;
    case FamilySpecial: // no calculator
        p.Hide({"sbCalcTol"});
        break;
    default:
        plan.ToleranceHint = PressHint;
        break;
    }

    p.Hide({"lPasso",      "dPasso",       "lAngolo",     "lAngoli",     "dbSAL",     "dbSAR",
            "dbAngolo",    "lStart",       "dbN1",        "lPassa",      "lNonPassa", "dLogN",
            "lDiaMed",     "dMedP",        "dMedN",       "lHMis",       "dHMis1",    "dHMis2",
            "distollMaxP", "distollMaxNP", "distollMinP", "distollMinNP"});
    p.AllTabs(false);
    p.Caption("lPieceTxt", QString());

    // The side diagram: the gauge that checks the upper end of the band.
    if (type.Kind == KindPlain || type.Kind == KindThread) {
        const bool ring = type.Ring != 0;
        p.Caption("lPieceTxtMax", ring ? GoGaugeText : NoGoGaugeText);
        p.Caption("lPieceTxtMin", ring ? NoGoGaugeText : GoGaugeText);
        if (ring)
            p.Show({"distollMaxP", "distollMinNP"});
        else
            p.Show({"distollMaxNP", "distollMinP"});
    }

    PlanByKind(type, p, plan);
    p.Show({"dMaxP",   "dMaxN",   "dMinP",  "dMinN",  "lLogoro", "dLogP",  "lPassaE", "lNonPassaE",
            "Label30", "Label31", "dMaxPe", "dMinPe", "dMaxNe",  "dMinNe", "lPassaI", "lNonPassaI",
            "Label34", "Label35", "dMaxPi", "dMinPi", "dMaxNi",  "dMinNi"});
    PlanByRole(type, p);

    plan.InchReadout =
        type.Family == FamilyAnsiAsme || type.Family == FamilyButtress || type.Family == FamilyWhitworth;

    const bool piece = plan.Shows(QStringLiteral("lPieceTxt"));
    p.Set({"lPieceTxt2", "lPieceTxt3", "lPieceTxt4", "lPieceTxt5", "lPieceTxt6", "lPieceTxt7", "lPieceTxtMax",
           "lPieceTxtMin", "distoll1", "distoll2", "distoll3"},
          piece);
    if (!piece)
        p.Hide({"distollMaxP", "distollMaxNP", "distollMinP", "distollMinNP"});
    return plan;
}

void ApplyProcessLayout(TCustomForm* window, const TProcessLayout& plan)
{
    window->SetCaption(plan.Caption);
    for (const auto& [name, shown] : plan.Shown) {
        if (TControl* control = FindOwned<TControl>(window, name))
            control->SetVisible(shown);
    }
    for (const auto& [name, caption] : plan.Captions) {
        if (TControl* control = FindOwned<TControl>(window, name))
            control->SetCaption(caption);
    }
    const std::pair<const char*, bool> tabs[] = {
        {"tsExt", plan.ExternalTab}, {"tsInterno", plan.InternalTab}, {"tsAngPas", plan.AngleTab}};
    for (const auto& [name, shown] : tabs) {
        if (TTabSheet* page = FindOwned<TTabSheet>(window, QString::fromLatin1(name)))
            page->SetTabVisible(shown);
    }
    // The window is made once and shown for every gauge: it opens on its
    // first page, where the calculation button is, whichever page the last
    // gauge was left on.
    TTabSheet* first = FindOwned<TTabSheet>(window, QStringLiteral("tsMedio"));
    if (TPageControl* pages = first ? first->PageControl() : nullptr)
        pages->SetActivePage(first);
}
