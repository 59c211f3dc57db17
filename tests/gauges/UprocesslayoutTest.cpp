#include "gauges/Uprocesslayout.h"
#include "tests/gauges/GaugesFixture.h"

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

} // namespace
