#include "gauges/Uprocesslayout.h"
#include "tests/gauges/GaugesFixture.h"
#include "tests/gauges/ProcessRoad.h"

#include <QTabBar>

#include <set>

namespace {

using UprocesslayoutTest = GaugesTest;

// Every rule of the layout checked over the whole catalogue (the records of
// the program's gauge-type table).
TEST_F(UprocesslayoutTest, OverTheWholeCatalogue)
{
    CALIBRETYPELIST catalogue;
    FillTypeCatalogue(catalogue);
    ASSERT_EQ(catalogue.Count(), GaugeTypeCount);
    for (int i = 0; i < catalogue.Count(); ++i) {
        const CALIBRETYPE& t = *catalogue.At(i);
        const TProcessLayout plan = PlanProcessLayout(t);
        const int key = t.Key();
        SCOPED_TRACE(key);
        const bool special = t.Family == 3;
        EXPECT_EQ(plan.Shows("sbCalcTol"), !(special || key == 8 || key == 110));
        EXPECT_EQ(plan.Shows("bMeasure"), t.Kind == 2);
        EXPECT_EQ(plan.Shows("bMeasureWp"), t.Kind == 2);
        const bool tabs = t.Kind == 2 || t.Kind == 4;
        EXPECT_EQ(plan.ExternalTab, tabs);
        EXPECT_EQ(plan.InternalTab, tabs);
        EXPECT_EQ(plan.AngleTab, tabs);
        EXPECT_EQ(plan.InchReadout, t.Family == 1 || t.Family == 5 || t.Family == 6);
        const bool semiAngles = t.Kind == 2 && (t.Family == 5 || special);
        EXPECT_EQ(plan.Shows("dbSAL"), semiAngles);
        EXPECT_EQ(plan.Shows("dbSAR"), semiAngles);
        EXPECT_EQ(plan.Shows("dbAngolo"), t.Kind != 1 && !semiAngles);
        EXPECT_EQ(plan.Shows("dHMis2"), key >= 1711 && key <= 1714);
        EXPECT_EQ(plan.ToleranceHint.isEmpty(), special);
        // The piece's labels and bars follow the piece text.
        for (const char* name : {"lPieceTxt2", "lPieceTxt7", "lPieceTxtMin", "distoll3"})
            EXPECT_EQ(plan.Shows(name), plan.Shows("lPieceTxt")) << name;
        // Exactly one gauge block at each end of the band, when it shows.
        const int blocks = plan.Shows("distollMaxP") + plan.Shows("distollMaxNP") +
                           plan.Shows("distollMinP") + plan.Shows("distollMinNP");
        EXPECT_EQ(blocks, plan.Shows("lPieceTxt") && (t.Kind == 1 || t.Kind == 2) ? 2 : 0);
    }
}

TEST_F(UprocesslayoutTest, GoColumnHiddenOnlyWhereTheRulesSay)
{
    CALIBRETYPELIST catalogue;
    FillTypeCatalogue(catalogue);
    std::set<int> withoutGoHead;
    for (int i = 0; i < catalogue.Count(); ++i) {
        const CALIBRETYPE& t = *catalogue.At(i);
        if (t.Kind == 2 && t.Role == 1 && !PlanProcessLayout(t).Shows("lPassa"))
            withoutGoHead.insert(t.Key());
    }
    EXPECT_EQ(withoutGoHead, (std::set<int>{4003, 4004, 6003}));
}

TEST_F(UprocesslayoutTest, CaptionsOfAThreadPlugAndAPlainRing)
{
    CALIBRETYPELIST catalogue;
    FillTypeCatalogue(catalogue);
    CALIBRETYPE plug;
    plug.Family = 0, plug.Group = 2, plug.Item = 2;
    ASSERT_TRUE(catalogue.Find(plug));
    TProcessLayout plan = PlanProcessLayout(plug);
    EXPECT_EQ(plan.Caption, "ISO - metric|Thread gage for internal|Limit thread plug gage");
    EXPECT_EQ(plan.Captions.at("tsMedio"), "Pitch diameter");
    EXPECT_EQ(plan.Captions.at("lPasso"), "Pitch");
    EXPECT_EQ(plan.Captions.at("lPieceTxt"), "Nut screw deviation");
    EXPECT_EQ(plan.Captions.at("lPieceTxtMax"), "No go gage");
    EXPECT_EQ(plan.ToleranceHint, "Type Tol.HERE, then ->");

    CALIBRETYPE ring;
    ring.Family = 0, ring.Group = 1, ring.Item = 0;
    ASSERT_TRUE(catalogue.Find(ring));
    plan = PlanProcessLayout(ring);
    EXPECT_EQ(plan.Captions.at("tsMedio"), "Diameter");
    EXPECT_EQ(plan.Captions.at("lPieceTxt"), "Shaft deviation");
    EXPECT_EQ(plan.Captions.at("lPieceTxtMax"), "Go gage");
    EXPECT_FALSE(plan.Shows("dMaxN")); // a Go gauge
}

// The gauge window is made once and shown for every gauge: what a user can
// reach on it must not depend on the page the last gauge was left on.
// Picker groups of ISO: 0 plain plugs, 1 plain rings, 2 thread plugs.
class ProcessPagesTest : public ProcessRoadTest {
protected:
    // The result page on screen and the tab the bar highlights, as
    // "<page> under <tab>".
    static std::string OnScreen()
    {
        const TPageControl* pages = fProcess->pcTolleranze;
        QString page;
        for (int i = 0; i < pages->PageCount(); ++i) {
            if (pages->Pages(i)->Widget()->isVisible())
                page += pages->Pages(i)->Caption();
        }
        const QTabBar* bar = pages->TabBar();
        const QString tab = bar->isVisible() ? bar->tabText(bar->currentIndex()) : QString();
        return (page + QStringLiteral(" under ") + tab).toStdString();
    }
    static std::string Under(const char* caption) { return std::string(caption) + " under " + caption; }
    // Picks the result tab of this caption as a user does.
    static void ClickTab(const char* caption)
    {
        QTabBar* bar = fProcess->pcTolleranze->TabBar();
        for (int tab = 0; tab < bar->count(); ++tab) {
            if (bar->tabText(tab) == QLatin1String(caption))
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        }
        ASSERT_EQ(OnScreen(), Under(caption));
    }
    // Opens a gauge from its family button, runs check on the window and
    // leaves it with Close.
    static void Visit(TButton* family, int group, int item, const std::function<void()>& check)
    {
        Road([family] { Click(family); },
             {{fCalibreSelect, Pick(fCalibreSelect, group, item)}, {fProcess, [check] {
                                                                        check();
                                                                        Click(fProcess->bClose);
                                                                    }}});
        EXPECT_FALSE(fProcess->Showing());
    }
    // Whether a user can reach the control: it and every parent show.
    static bool Reachable(const char* name)
    {
        return RequireOwned<TControl>(fProcess, QString::fromLatin1(name))->Widget()->isVisible();
    }
};

TEST_F(ProcessPagesTest, APlainGaugeAfterAThreadWindowLeftOnAResultPageCalculates)
{
    TfProcess* w = fProcess;
    struct Row {
        const char* LeftOn;
        int Group, Item;
        const char* Gauge;
        const char* Shot; // the name of its screenshots
        const char* Tolerance;
        double MaxW, MinW; // the workpiece limits in mm
    } rows[] = {
        {"Internal", 0, 2, "Limit plain plug gage", "limit-plug", "H7", 100.035, 100},
        {"External", 0, 2, "Limit plain plug gage", "limit-plug", "H7", 100.035, 100},
        {"Internal", 1, 0, "Go plain ring gage", "go-ring", "h7", 100, 99.965},
        {"External", 1, 0, "Go plain ring gage", "go-ring", "h7", 100, 99.965},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Gauge) + " after " + row.LeftOn);
        const QString shot = QStringLiteral("%1-after-%2").arg(row.Shot, row.LeftOn);
        Visit(fTessvar->bISO, 2, 0, [&row] {
            ClickTab(row.LeftOn);
            Screenshot(fProcess, QStringLiteral("thread-plug-left-on-%1").arg(row.LeftOn));
        });
        Gauge(
            fTessvar->bISO, row.Group, row.Item,
            [w, &row, &shot] {
                EXPECT_EQ(w->Caption().section(u'|', 2), row.Gauge);
                // Diameter with its Worn row and the button, under its tab.
                EXPECT_EQ(OnScreen(), Under("Diameter"));
                for (const char* name : {"sbCalcTol", "dMaxP", "dMinP", "lLogoro", "dLogP"})
                    EXPECT_TRUE(Reachable(name)) << name;
                Screenshot(w, shot);
                Type(w->dNominale, "100");
                Type(w->dbTollServ, row.Tolerance);
            },
            {},
            [w, &row, &shot] {
                EXPECT_TRUE(w->sbCalcTol->Down());
                EXPECT_NEAR(Value(w->dMaxW), row.MaxW, 1e-9);
                EXPECT_NEAR(Value(w->dMinW), row.MinW, 1e-9);
                EXPECT_FALSE(std::isnan(Value(w->dMaxP)));
                EXPECT_TRUE(Reachable("dMaxP"));
                EXPECT_EQ(OnScreen(), Under("Diameter"));
                Screenshot(w, shot + QStringLiteral("-calculated"));
            });
    }
    EXPECT_TRUE(Messages->Shown().empty()) << Messages->Shown().front().Text.toStdString();
}

TEST_F(ProcessPagesTest, AThreadWindowOpensOnPitchDiameter)
{
    const auto firstPage = [] {
        EXPECT_EQ(OnScreen(), Under("Pitch diameter"));
        EXPECT_TRUE(Reachable("sbCalcTol"));
    };
    Visit(fTessvar->bISO, 2, 0, [] { ClickTab("External"); });
    Visit(fTessvar->bISO, 2, 0, firstPage);
    // A GAS limit plug after a buttress plug.
    Visit(fTessvar->bBUTTRESS, 0, 0, [] { ClickTab("External"); });
    Visit(fTessvar->bGAS, 1, 2, [&firstPage] {
        EXPECT_EQ(fProcess->Caption().section(u'|', 2), "Limit thread plug gage");
        firstPage();
        Screenshot(fProcess, QStringLiteral("gas-limit-plug-after-buttress"));
    });
    EXPECT_TRUE(Messages->Shown().empty());
}

} // namespace
