// Regions and bands laid out by a report run: where bands land, when pages
// and columns break, what prints again after a break, and data cycling.
#include "RunFixture.h"

namespace {

using L = TBandPrintLoc;

class ZvCsRptTest : public RunFixture {
protected:
    // Rows "1" .. "n" in one column N.
    TMemoryDataView* Numbers(int n, const QString& name = QStringLiteral("Nums"))
    {
        QStringList rows;
        for (int i = 1; i <= n; ++i)
            rows << QString::number(i);
        return TMemoryDataView::Make(Project, name, QStringLiteral("N"), rows.join(u';'));
    }
};

TEST_F(ZvCsRptTest, PositionModes)
{
    TZarvRegion* region = AddRegion(3);
    AddBand(region, QStringLiteral("A"), 0.5);
    AddBand(region, QStringLiteral("B"), 0.5)->SetPositionMode(TBandPositionMode::pmOverlay);
    AddBand(region, QStringLiteral("C"), 0.5);
    auto* d = AddBand(region, QStringLiteral("D"), 0.25);
    d->SetPositionMode(TBandPositionMode::pmAbsolute);
    d->SetPositionValue(2.5);
    // 2 inches are left; 0.00005 inch more still fits.
    AddBand(region, QStringLiteral("E"), 2.00005);
    EXPECT_EQ(Run(), "p1 A@1 B@1.5 C@1.5 D@3.5 E@2");
}

TEST_F(ZvCsRptTest, OverflowBreaksThePageAndNewPageBandsPrintOnlyAfterIt)
{
    TZarvRegion* region = AddRegion(1);
    TMemoryDataView* view = Numbers(3);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.5, view);
    AddField(rows, view, QStringLiteral("N"));
    AddBand(region, QStringLiteral("H1"), 0.25, rows, {L::plBodyHeader});
    auto* again = AddBand(region, QStringLiteral("H2"), 0.25, rows, {L::plBodyHeader});
    again->BandStyle()->SetPrintOcc({TBandPrintOcc::poNewPage});
    EXPECT_EQ(Run(), "p1 H1@1 R@1.25 '1' p2 H2@1 R@1.25 '2' p3 H2@1 R@1.25 '3'");
}

TEST_F(ZvCsRptTest, SecondColumnTakesTheOverflowThenThePageEnds)
{
    TZarvRegion* region = AddRegion(1);
    region->SetColumns(2);
    region->SetColumnSpacing(0.5); // columns of 1.75 inch
    AddDataBand(region, QStringLiteral("R"), 0.5, Numbers(5));
    EXPECT_EQ(Run(true), "p1 R@1,1 R@1,1.5 R@3.25,1 R@3.25,1.5 p2 R@1,1");
}

TEST_F(ZvCsRptTest, StartFinishAndMinHeightBreakThePage)
{
    TZarvRegion* region = AddRegion(2);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.25, Numbers(3));
    rows->SetStartNewPage(true); // at most once per page
    EXPECT_EQ(Run(), "p1 R@1 p2 R@1 p3 R@1");
    rows->SetStartNewPage(false);
    rows->SetFinishNewPage(true); // what follows starts after a break
    EXPECT_EQ(Run(), "p1 R@1 p2 R@1 p3 R@1");
    rows->SetFinishNewPage(false);
    rows->SetMinHeightLeft(1.6); // 2, 1.75, then 1.5 are left
    EXPECT_EQ(Run(), "p1 R@1 R@1.25 p2 R@1");
}

TEST_F(ZvCsRptTest, TallBandsSplit)
{
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("T"), 0.5);
    // Designed 0.25 high but needing more for its memo: it splits on its
    // first print on the page, and only the memo goes on on the next page.
    auto* band = AddBand(region, QStringLiteral("M"), 0.25);
    auto* memo = new TZarvMemo(Page);
    memo->SetName(QStringLiteral("Memo"));
    memo->SetParent(band);
    memo->SetLeft(1);
    memo->SetWidth(2);
    memo->SetHeight(0.2);
    QStringList lines;
    for (int i = 1; i <= 8; ++i)
        lines << QStringLiteral("line%1").arg(i);
    memo->SetText(lines.join(u'\n'));
    const QStringList layout = RunList();
    const qsizetype p2 = layout.indexOf(QStringLiteral("p2"));
    ASSERT_GT(p2, 0) << layout.join(u' ').toStdString();
    EXPECT_EQ(layout.mid(0, 3).join(u' '), QStringLiteral("p1 T@1 M@1.5"));
    EXPECT_TRUE(layout.mid(0, p2).contains(QStringLiteral("'line1'")));
    EXPECT_TRUE(layout.mid(p2).contains(QStringLiteral("'line8'")));
    EXPECT_FALSE(layout.mid(p2).join(u' ').contains(QStringLiteral("M@")));
}

TEST_F(ZvCsRptTest, BandTallerThanTheRegionEndsAfterOneSplitPage)
{
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("Tall"), 1.5);
    AddBand(region, QStringLiteral("After"), 0.25);
    EXPECT_EQ(Run(), "p1 p2 Tall@1 p3 After@1");
}

TEST_F(ZvCsRptTest, GroupsPrintOnKeyChangesOnly)
{
    TZarvRegion* region = AddRegion(5);
    TMemoryDataView* view = TMemoryDataView::Make(Project, QStringLiteral("G"), QStringLiteral("K|V"),
                                                  QStringLiteral("a|1;a|2;b|3"));
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.25, view);
    auto* header = AddBand(region, QStringLiteral("GH"), 0.25, rows, {L::plGroupHeader});
    header->SetGroupDataView(view);
    header->SetGroupKey(QStringLiteral("K"));
    AddField(header, view, QStringLiteral("K"));
    auto* footer = AddBand(region, QStringLiteral("GF"), 0.25, rows, {L::plGroupFooter});
    footer->SetGroupDataView(view);
    footer->SetGroupKey(QStringLiteral("G.K")); // the view named
    AddBand(region, QStringLiteral("NoKey"), 0.25, rows, {L::plGroupHeader, L::plGroupFooter});
    EXPECT_EQ(Run(), "p1 GH@1 'a' R@1.25 R@1.5 GF@1.75 GH@2 'b' R@2.25 GF@2.5");
}

TEST_F(ZvCsRptTest, ReprintLocsChooseWhatPrintsAgainAfterABreak)
{
    TZarvRegion* region = AddRegion(1);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.5, Numbers(2));
    const TBandPrintOccSet both{TBandPrintOcc::poFirst, TBandPrintOcc::poNewPage};
    AddBand(region, QStringLiteral("Again"), 0.2, rows, {L::plBodyHeader})->BandStyle()->SetPrintOcc(both);
    auto* once = AddBand(region, QStringLiteral("Once"), 0.2, rows, {L::plBodyHeader});
    once->BandStyle()->SetPrintOcc(both);
    once->SetReprintLocs({L::plBodyHeader}); // the break happens at the master row
    EXPECT_EQ(Run(), "p1 Again@1 Once@1.2 R@1.4 p2 Again@1 R@1.2");
}

TEST_F(ZvCsRptTest, TrialStateMisuseAndControllerCyclesAreRefused)
{
    TZarvRegion* region = AddRegion(1);
    auto* band = AddBand(region, QStringLiteral("B"), 0.25);
    band->SaveState();
    try {
        band->SaveState();
        FAIL();
    } catch (const EZarvException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("SaveState called while already saving."));
    }
    band->RestoreState();
    try {
        band->RestoreState();
        FAIL();
    } catch (const EZarvException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("RestoreState called while not saving."));
    }
    auto* outer = AddBand<TZarvDataBand>(region, QStringLiteral("Outer"), 0.25);
    auto* inner = AddBand<TZarvDataBand>(region, QStringLiteral("Inner"), 0.25, outer);
    outer->SetControllerBand(inner); // would make each the other's controller
    EXPECT_EQ(outer->ControllerBand(), nullptr);
    outer->SetControllerBand(outer);
    EXPECT_EQ(outer->ControllerBand(), nullptr);
    EXPECT_FALSE(inner->IsSaving());
}

// The designer shows a band with a style being edited: the band search
// judges that band by the edited style, every other band by its own, and
// only while the designer runs.
TEST_F(ZvCsRptTest, DesignerSearchesTheReplacedBandWithTheEditedStyle)
{
    TZarvRegion* region = AddRegion(3);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.25, Numbers(1));
    auto* edited = AddBand(region, QStringLiteral("A"), 0.25, rows, {L::plBodyHeader});
    AddBand(region, QStringLiteral("B"), 0.25, rows, {L::plBodyHeader});
    AddBand(region, QStringLiteral("C"), 0.25, rows, {L::plRowFooter});
    const auto found = [&](TBandPrintLoc loc) {
        QStringList names;
        TBandSearchRec rec;
        for (TZarvBand* band = region->FirstSubBand(rec, rows, loc); band; band = region->NextSubBand(rec))
            names << band->Name();
        return names.join(u' ').toStdString();
    };
    TZarvBandStyle style;
    style.SetPrintLoc({L::plRowFooter});
    region->SetReplaceBand(edited);
    region->SetReplaceBandStyle(&style);
    style.SetPrintLoc({}); // the region keeps its own copy

    EXPECT_EQ(found(L::plBodyHeader), "A B"); // outside the designer
    EXPECT_EQ(found(L::plRowFooter), "C");
    InDesigner = 1;
    auto designer = qScopeGuard([] { InDesigner = 0; });
    EXPECT_EQ(found(L::plBodyHeader), "B");
    EXPECT_EQ(found(L::plRowFooter), "A C");

    delete edited; // the replacement goes with its band
    EXPECT_EQ(region->ReplaceBand(), nullptr);
    EXPECT_EQ(region->ReplaceBandStyle(), nullptr);
    EXPECT_EQ(found(L::plRowFooter), "C");
    auto* unowned = new TZarvBand(nullptr); // outside the report's owner tree
    region->SetReplaceBand(unowned);
    delete unowned;
    EXPECT_EQ(region->ReplaceBand(), nullptr);
}

// ---------------------------------------------------------------------------
// Data cycling.

TEST_F(ZvCsRptTest, BodyOfRowsWithHeadersFootersAndRowLimits)
{
    TZarvRegion* region = AddRegion(5);
    TZarvDataBand* empty = AddDataBand(region, QStringLiteral("E"), 0.25, Numbers(0, QStringLiteral("None")));
    AddBand(region, QStringLiteral("EH"), 0.25, empty, {L::plBodyHeader});
    AddBand(region, QStringLiteral("EF"), 0.25, empty, {L::plBodyFooter});
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.25, Numbers(5));
    rows->SetMaxRows(2);
    AddBand(region, QStringLiteral("F"), 0.25, rows, {L::plBodyFooter});
    EXPECT_EQ(Run(), "p1 R@1 R@1.25 F@1.5");
}

TEST_F(ZvCsRptTest, KeepBodyTogetherMovesTheBody)
{
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("T"), 0.6);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.2, Numbers(3));
    AddBand(region, QStringLiteral("H"), 0.1, rows, {L::plBodyHeader});
    rows->SetKeepBodyTogether(true);
    EXPECT_EQ(Run(), "p1 T@1 p2 H@1 R@1.1 R@1.3 R@1.5");
    rows->SetKeepBodyTogether(false);
    EXPECT_EQ(Run(), "p1 T@1 H@1.6 R@1.7 p2 R@1 R@1.2");
}

TEST_F(ZvCsRptTest, KeepRowTogetherMovesTheRowWithItsHeader)
{
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("T"), 0.6);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.2, Numbers(2));
    AddBand(region, QStringLiteral("RH"), 0.1, rows, {L::plRowHeader});
    EXPECT_EQ(Run(), "p1 T@1 RH@1.6 R@1.7 RH@1.9 p2 R@1");
    rows->SetKeepRowTogether(true);
    EXPECT_EQ(Run(), "p1 T@1 RH@1.6 R@1.7 p2 RH@1 R@1.1");
}

TEST_F(ZvCsRptTest, OrphanRowsMustFitWithTheHeader)
{
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("T"), 0.3);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.25, Numbers(4));
    AddBand(region, QStringLiteral("H"), 0.1, rows, {L::plBodyHeader});
    rows->SetOrphanRows(3); // the header and three rows need 0.85; 0.7 are left
    EXPECT_EQ(Run(), "p1 T@1 p2 H@1 R@1.1 R@1.35 R@1.6 p3 R@1");
    rows->SetOrphanRows(2); // 0.6 fit
    EXPECT_EQ(Run(), "p1 T@1 H@1.3 R@1.4 R@1.65 p2 R@1 R@1.25");
}

TEST_F(ZvCsRptTest, BodyTallerThanAPageAfterEarlierOutputStillPrints)
{
    // Kept together it never fits: after one break it prints and breaks
    // as it must, instead of breaking before it on every page; the trial
    // on page 3 leaves the break to the real pass, so the header stays a
    // first-print band.
    TZarvRegion* region = AddRegion(1);
    AddBand(region, QStringLiteral("T"), 0.6);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.2, Numbers(6));
    AddBand(region, QStringLiteral("H"), 0.1, rows, {L::plBodyHeader});
    rows->SetKeepBodyTogether(true);
    EXPECT_EQ(Run(), "p1 T@1 p2 H@1 R@1.1 R@1.3 R@1.5 R@1.7 p3 R@1 R@1.2");
}

TEST_F(ZvCsRptTest, KeepBodyTogetherAtTheRegionTopBreaksNormally)
{
    TZarvRegion* region = AddRegion(1);
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.4, Numbers(3));
    rows->SetKeepBodyTogether(true);
    EXPECT_EQ(Run(), "p1 R@1 R@1.4 p2 R@1");
}

TEST_F(ZvCsRptTest, BandColumnsPutRowsSideBySide)
{
    TZarvRegion* region = AddRegion(3, 3);
    TMemoryDataView* view =
        TMemoryDataView::Make(Project, QStringLiteral("G"), QStringLiteral("K"), QStringLiteral("a;a;a;a;b"));
    TZarvDataBand* rows = AddDataBand(region, QStringLiteral("R"), 0.2, view);
    rows->SetColumns(3);
    auto* header = AddBand(region, QStringLiteral("GH"), 0.1, rows, {L::plGroupHeader});
    header->SetGroupDataView(view);
    header->SetGroupKey(QStringLiteral("K"));
    EXPECT_EQ(Run(true), "p1 GH@1,1 R@1,1.1 R@2,1.1 R@3,1.1 R@1,1.3 GH@1,1.5 R@1,1.6");
}

TEST_F(ZvCsRptTest, DataCycleRepeatsItsPage)
{
    TMemoryDataView* view = Numbers(10);
    auto* cycle = new TZarvDataCycle(Page);
    cycle->SetName(QStringLiteral("Cycle"));
    cycle->SetParent(Page);
    cycle->SetDataView(view);
    cycle->SetMaxRows(4);
    auto* text = new TZarvDataText(Page);
    text->SetName(QStringLiteral("Value"));
    text->SetParent(Page);
    text->SetDataView(view);
    text->SetDataField(QStringLiteral("N"));
    EXPECT_EQ(Run(), "p1 '1' p2 '2' p3 '3' p4 '4'");
}

TEST_F(ZvCsRptTest, MasterDetailPrintsEachMastersDetails)
{
    TZarvRegion* region = AddRegion(5);
    TMemoryDataView* master =
        TMemoryDataView::Make(Project, QStringLiteral("M"), QStringLiteral("Id"), QStringLiteral("1;2"));
    TMemoryDataView* detail = TMemoryDataView::Make(Project, QStringLiteral("D"), QStringLiteral("MId|Name"),
                                                    QStringLiteral("1|a;2|c;1|b"));
    TZarvDataBand* masters = AddDataBand(region, QStringLiteral("MB"), 0.25, master);
    AddField(masters, master, QStringLiteral("Id"));
    auto* details = AddBand<TZarvDataBand>(region, QStringLiteral("DB"), 0.25, masters, {L::plDetail});
    details->SetDataView(detail);
    details->SetMasterDataView(master);
    details->SetMasterKey(QStringLiteral("Id"));
    details->SetDetailKey(QStringLiteral("MId"));
    AddField(details, detail, QStringLiteral("Name"));
    EXPECT_EQ(Run(), "p1 MB@1 '1' DB@1.25 'a' DB@1.5 'b' MB@1.75 '2' DB@2 'c'");
}

} // namespace
