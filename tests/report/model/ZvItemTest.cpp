#include "report/model/ZvItem.h"

#include "ProjectFixtures.h"
#include "report/print/QpBase.h"
#include "report/print/QpDevice.h"
#include "tests/support/DesignerStandIn.h"
#include "tests/support/SilentReport.h"

#include <gtest/gtest.h>

namespace {

// A canvas without output, with unprintable edges of our choosing and the
// page size used when no printer is installed (as in CI, with the PDF
// printer hidden by the fixture).
class TWasteReport : public TSilentReport {
public:
    TWasteReport(double left, double top, double right, double bottom) : TSilentReport(nullptr)
    {
        FLeftWaste = left;
        FTopWaste = top;
        FRightWaste = right;
        FBottomWaste = bottom;
        SetNoPrinterPageWidth(8.5);
        SetNoPrinterPageHeight(11);
    }
};

class ZvItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPdfPrinterHidden(true);
        RegisterProjectForTests();
        Project.New();
        Report = Project.ActiveReport();
        Page = Report->LoadedPage(0);
    }
    void TearDown() override
    {
        ModuleFactoryProc = nullptr;
        SetPdfPrinterHidden(false);
    }

    TZarvProjectManager Project{nullptr};
    TZarvReport* Report = nullptr;
    TZarvPage* Page = nullptr;
};

TEST_F(ZvItemTest, PaperSizesComeFromThePaperTable)
{
    // Sizes from the paper table (Windows paper numbers, inches, portrait).
    struct Row {
        int Number;
        TOrientation Orientation;
        TZarvPaperSize Paper;
        double Width;
        double Height;
        bool StoresSize;
    };
    const Row rows[] = {
        {1, TOrientation::poPortrait, 1, 8.5, 11, false},                // letter
        {2, TOrientation::poLandScape, 1, 11, 8.5, false},               // letter, landscape
        {3, TOrientation::poPortrait, 9, 210 / 25.4, 297 / 25.4, false}, // A4
        {4, TOrientation::poPortrait, 12345, 8.5, 11, false},            // not in the table: size kept
        {5, TOrientation::poPortrait, kPaperCustom, 8.5, 11, true},
        {6, TOrientation::poPortrait, kPaperDefault, 8.5, 11, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        auto* page = Report->NewPage();
        page->SetOrientation(row.Orientation);
        page->SetPaperSize(row.Paper);
        EXPECT_EQ(page->PaperSize(), row.Paper);
        EXPECT_DOUBLE_EQ(page->PageWidth(), row.Width);
        EXPECT_DOUBLE_EQ(page->PageHeight(), row.Height);
        EXPECT_EQ(page->StorePageDim(), row.StoresSize);
        EXPECT_EQ(PropertyBytes(page).contains(Enc(QStringLiteral("PageWidth"))), row.StoresSize);
    }
}

TEST_F(ZvItemTest, OrientationSwapsTheSizeOnlyToAndFromLandscape)
{
    // A new page is 8.5 by 11 inches with the default orientation.
    struct Row {
        int Number;
        std::vector<TOrientation> Steps;
        double Width;
    };
    const Row rows[] = {
        {1, {TOrientation::poPortrait}, 8.5},
        {2, {TOrientation::poPortrait, TOrientation::poLandScape}, 11},
        {3, {TOrientation::poLandScape}, 11},
        {4, {TOrientation::poLandScape, TOrientation::poDefault}, 8.5},
        {5, {TOrientation::poLandScape, TOrientation::poLandScape}, 11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        auto* page = Report->NewPage();
        for (TOrientation step : row.Steps)
            page->SetOrientation(step);
        EXPECT_DOUBLE_EQ(page->PageWidth(), row.Width);
        EXPECT_DOUBLE_EQ(page->PageWidth() + page->PageHeight(), 19.5);
    }
}

TEST_F(ZvItemTest, SizeChangesReplaceTheChildren)
{
    auto* stretched = MakeOn<TTestBox>(Page, QStringLiteral("Box1"));
    stretched->SetAnchor(3); // follows the page's width
    Page->SetPageWidth(7.5);
    EXPECT_EQ(Page->PaperSize(), kPaperCustom);
    EXPECT_DOUBLE_EQ(stretched->GetWidth(), 1.0);
    Page->SetPageWidth(0); // ignored
    EXPECT_DOUBLE_EQ(Page->PageWidth(), 7.5);
    Page->SetOrientation(TOrientation::poLandScape); // 11 by 7.5
    EXPECT_DOUBLE_EQ(stretched->GetWidth(), 4.5);
}

TEST_F(ZvItemTest, WasteFitMovesAndCutsControlsIntoThePrintableArea)
{
    auto* left = MakeOn<TTestBox>(Page, QStringLiteral("Left1"));
    left->SetBoundsRect(ZarvRect(0, 1, 2, 2));
    auto* low = MakeOn<TTestBox>(Page, QStringLiteral("Low1"));
    low->SetBoundsRect(ZarvRect(3, 10, 4, 11.5));
    auto* inside = MakeOn<TTestBox>(Page, QStringLiteral("Inside1"));
    inside->SetBoundsRect(ZarvRect(1, 1, 2, 2));
    Page->SetWasteFit(true);
    Page->SaveDesigned();
    TWasteReport report(0.25, 0.25, 0.25, 0.25);
    Page->PrintAll(&report);
    // The area is the waste plus 0.01 inch on each side.
    EXPECT_DOUBLE_EQ(left->GetLeft(), 0.26);
    EXPECT_DOUBLE_EQ(left->GetRight(), 2); // the right edge stays
    EXPECT_DOUBLE_EQ(low->GetBottom(), 11 - 0.26);
    EXPECT_DOUBLE_EQ(low->GetTop(), 10);
    EXPECT_DOUBLE_EQ(inside->GetLeft(), 1);
    EXPECT_EQ(Page->PrintDepth(), 0);
}

TEST_F(ZvItemTest, ParametersAndNames)
{
    TStrings lines;
    lines.Add(QStringLiteral("a<b>c"));
    lines.Add(QStringLiteral("plain"));
    Page->SetParameters(&lines);
    EXPECT_EQ(Page->Parameters()->Strings(0), QStringLiteral("a_b_c"));
    EXPECT_EQ(Page->Parameters()->Strings(1), QStringLiteral("plain"));

    EXPECT_EQ(Page->GetModuleName(), QStringLiteral("Report1_Page1"));
    EXPECT_EQ(Report->GetModuleName(), QStringLiteral("Report1"));
    EXPECT_EQ(Project.NewGlobalPage()->GetModuleName(), QStringLiteral("GlobalPage1"));

    // The full name follows the name only while the two are equal, and only
    // renames that take place.
    EXPECT_EQ(Report->FullName(), QStringLiteral("Report1"));
    Report->SetName(QStringLiteral("Sales"));
    EXPECT_EQ(Report->FullName(), QStringLiteral("Sales"));
    Report->SetName(QStringLiteral("End"));
    EXPECT_EQ(Report->FullName(), QStringLiteral("Sales"));
    Report->SetFullName(QStringLiteral("Monthly sales"));
    Report->SetName(QStringLiteral("Sales2"));
    EXPECT_EQ(Report->FullName(), QStringLiteral("Monthly sales"));
}

TEST_F(ZvItemTest, TheModuleTravelsInTheItemsRecord)
{
    ModuleFactoryProc = &StoredModuleFactory;
    auto module = std::make_unique<TStoredModule>();
    module->SetModuleName(QStringLiteral("Report1_Page1"));
    module->Payload = "code";
    Page->SetModule(std::move(module));
    TMemoryStream stream;
    TStreamHelper helper(stream);
    Page->SaveToStreamHelper(helper);

    TZarvProjectManager copy(nullptr);
    copy.New();
    TZarvPage* copyPage = copy.ActiveReport()->LoadedPage(0);
    TMemoryStream good(stream.Bytes());
    TStreamHelper goodHelper(good);
    copyPage->LoadFromStreamHelper(goodHelper);
    auto* loaded = dynamic_cast<TStoredModule*>(copyPage->Module());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->ModuleName(), QStringLiteral("Report1_Page1"));
    EXPECT_EQ(loaded->Payload, QByteArray("code"));
    EXPECT_FALSE(copy.CompileNeeded());

    // A module the engine cannot read is dropped and the project compiled
    // again; loading goes on.
    QByteArray bytes = stream.Bytes();
    bytes.replace("code", "bad!");
    TMemoryStream bad(bytes);
    TStreamHelper badHelper(bad);
    copyPage->LoadFromStreamHelper(badHelper);
    EXPECT_EQ(copyPage->Module(), nullptr);
    EXPECT_TRUE(copy.CompileNeeded());
    EXPECT_TRUE(bad.Position() == bad.Size());
}

} // namespace

// A 2 x 1 inch box at (1, 1) on the page, its handles on a designer at 100
// pixels per inch.
TEST_F(ZvItemTest, ThePageHandsItsControlsHandlesToItsDesigner)
{
    auto* box = new TZarvContainerControl(Page);
    box->SetName(QStringLiteral("Box"));
    box->SetParent(Page);
    box->SetBoundsRect(ZarvRect(1, 1, 3, 2));
    box->CreatePips(); // no designer: nowhere to go
    {
        DesignerStandIn designer(Page);
        box->CreatePips();
        // Around the box from the top left; the cursors show the directions
        // in which each handle sizes.
        EXPECT_EQ(designer.Calls, QStringList({"Add Box 0 -8 1 1", "Add Box 1 -7 2 1", "Add Box 2 -6 3 1",
                                               "Add Box 3 -9 1 1.5", "Add Box 4 -9 3 1.5", "Add Box 5 -6 1 2",
                                               "Add Box 6 -7 2 2", "Add Box 7 -8 3 2"}));

        // A handle dragged with the mouse: the opposite corner or edge stays;
        // dragged past it, the handle becomes the one on the other side.
        const struct {
            int Index;
            double X, Y;        // the handle's place, inches
            int MouseX, MouseY; // where the mouse takes it, designer pixels
            const char* Box;
            QStringList Calls;
        } rows[] = {
            {7, 3, 2, 50, 50, "0.5 0.5 1 1", {"Switch Box 7 0"}},  // over the top-left corner
            {4, 3, 1.5, 50, 300, "0.5 1 1 2", {"Switch Box 4 3"}}, // an edge handle moves only across
            {0, 1, 1, 200, 150, "2 1.5 3 2", {}},                  // inward: the same handle
            {1, 2, 1, 250, 300, "1 2 3 3", {"Switch Box 1 6"}},    // top edge below the bottom
        };
        for (const auto& row : rows) {
            box->SetBoundsRect(ZarvRect(1, 1, 3, 2));
            designer.Calls.clear();
            TZarvPip pip(uint8_t(row.Index), box, &designer, 0, row.X, row.Y);
            pip.Move(row.MouseX, row.MouseY);
            const TZarvRect r = box->BoundsRect();
            EXPECT_EQ(QStringLiteral("%1 %2 %3 %4").arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom),
                      QLatin1String(row.Box))
                << row.Index;
            EXPECT_EQ(designer.Calls, row.Calls) << row.Index;
        }
    }
    EXPECT_EQ(Page->Designer(), nullptr);
    EXPECT_EQ(CurrentDesigner, nullptr);
}
