#include "report/model/ZvClass.h"

#include "ModelFixtures.h"
#include "platform/graphics/Canvas.h"
#include "platform/objects/TypInfo.h"
#include "tests/support/DesignerStandIn.h"

#include <gtest/gtest.h>

namespace {

// A page of a report of a project, as the project classes build them.
struct Project {
    Project()
    {
        RegisterModelForTests();
        TTestBox::PrintLog.clear();
    }
    TFakeProject Manager{nullptr};
    TFakeReport* Report = new TFakeReport(&Manager);
    TFakePage* Page = new TFakePage(Report);

    TTestBox* Box(const QString& name, TZarvComponent* parent, double left = 0, double top = 0)
    {
        auto* box = new TTestBox(Page);
        box->SetName(name);
        box->SetParent(parent);
        box->SetPos(left, top);
        return box;
    }
};

// Gives component an event of item's module at the given entry point.
void AttachEvent(TZarvComponent* component, void (TZarvComponent::*setter)(TZarvSimpleEvent*),
                 TZarvSimpleEvent* (TZarvComponent::*getter)() const, TFakeItem& item, int position)
{
    TZarvSimpleEvent blank;
    (component->*setter)(&blank);
    TZarvSimpleEvent* event = (component->*getter)();
    event->SetModuleOwner(&item);
    event->SetPosition(position);
}

} // namespace

TEST(ZvClass, ReservedNamesAreIgnored)
{
    RegisterModelForTests();
    TFakeItem owner(nullptr);
    TZarvComponent component(&owner);
    component.SetName("Text1");
    struct Row {
        int no;
        const char* name;
        const char* result;
    };
    // The nine reserved words in any case keep the old name; longer words
    // that begin with one are names like any other.
    const Row rows[] = {
        {1, "end", "Text1"},     {2, "Var", "Text1"}, {3, "DESTRUCTION", "Text1"},   {4, "Import", "Text1"},
        {5, "ending", "ending"}, {6, "Vars", "Vars"}, {7, "Implementation", "Vars"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        component.SetName(row.name);
        EXPECT_EQ(component.Name(), row.result);
    }
    // The framework's own checks still apply.
    EXPECT_THROW(component.SetName("1st"), EComponentError);
    TZarvComponent other(&owner);
    EXPECT_THROW(other.SetName("vars"), EComponentError);
}

TEST(ZvClass, ProjectStructure)
{
    Project p;
    TTestBox* box = p.Box("Box1", p.Page);
    auto* inner = new TTestBox(box); // owned by a box, not by a page
    EXPECT_EQ(box->Page(), p.Page);
    EXPECT_EQ(box->Report(), p.Report);
    EXPECT_EQ(box->Project(), &p.Manager);
    EXPECT_EQ(inner->Page(), nullptr);
    EXPECT_EQ(inner->Report(), p.Report);
    EXPECT_EQ(p.Page->Page(), p.Page);
    EXPECT_EQ(p.Report->Report(), p.Report);
    EXPECT_EQ(p.Report->Project(), &p.Manager);
    EXPECT_EQ(p.Manager.Project(), &p.Manager);
    EXPECT_EQ(p.Manager.Report(), nullptr);
    TZarvComponent loose(nullptr);
    EXPECT_EQ(loose.Project(), nullptr);
    EXPECT_EQ(loose.Report(), nullptr);

    // Project units.
    p.Manager.Factor = 25.4;
    EXPECT_DOUBLE_EQ(box->XU2I(25.4), 1.0);
    EXPECT_DOUBLE_EQ(box->YI2U(2.0), 50.8);
    EXPECT_DOUBLE_EQ(loose.XU2I(3.0), 3.0);
}

TEST(ZvClass, ChildrenAndZOrder)
{
    Project p;
    TTestBox* parent = p.Box("Parent", p.Page);
    TTestBox* a = p.Box("A", parent);
    TTestBox* b = p.Box("B", parent);
    TTestBox* c = p.Box("C", parent);
    auto order = [&] {
        QString s;
        for (int i = 0; i < parent->GetChildCount(); ++i)
            s += parent->GetChild(i)->Name();
        return s;
    };
    EXPECT_EQ(order(), "ABC");
    EXPECT_EQ(c->GetChildIndex(), 2);
    EXPECT_EQ(parent->GetChild(3), nullptr);
    EXPECT_EQ(parent->GetChild(-1), nullptr);

    struct Row {
        int no;
        const char* child;
        int how;
        const char* result;
    };
    const Row rows[] = {
        {1, "C", kMoveForward, "ABC"}, // the last one cannot move forward
        {2, "A", kMoveBehind, "ABC"},  // the first one cannot move behind
        {3, "A", kMoveForward, "BAC"}, {4, "C", kMoveToBack, "CBA"}, {5, "C", kMoveToFront, "BAC"},
        {6, "A", kMoveBehind, "ABC"},  {7, "B", 99, "ACB"}, // any other value: to the front
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        auto* child = static_cast<TZarvComponent*>(p.Page->FindComponent(row.child));
        parent->MoveChild(child, row.how);
        EXPECT_EQ(order(), row.result);
    }
    a->SendToBack();
    b->BringToFront();
    EXPECT_EQ(order(), "ACB");

    // A component that keeps no children refuses one and stays unattached.
    TTestLine line(p.Page);
    TZarvComponent item(p.Page);
    try {
        item.SetParent(&line);
        FAIL() << "nothing raised";
    } catch (const EZarvClass& e) {
        EXPECT_EQ(e.Message(), "Class cannot accept children classes: \"TTestLine\"");
    }
    EXPECT_EQ(item.Parent(), nullptr);
    EXPECT_FALSE(line.AcceptChild(nullptr));
    EXPECT_TRUE(parent->AcceptChild(nullptr));

    // Deleting a child leaves its parent; deleting a parent deletes its
    // children, though another component owns them.
    delete a;
    EXPECT_EQ(order(), "CB");
    const int owned = p.Page->ComponentCount();
    delete parent;
    EXPECT_EQ(p.Page->ComponentCount(), owned - 3);
}

TEST(ZvClass, PrintPass)
{
    Project p;
    TFakeItem item(nullptr);
    item.Module = std::make_unique<TFakeModule>();
    TTestBox* box = p.Box("Box1", p.Page);
    TTestBox* child = p.Box("Child", box);
    AttachEvent(box, &TZarvComponent::SetOnBeforePrint, &TZarvComponent::OnBeforePrint, item, 1);
    AttachEvent(box, &TZarvComponent::SetOnAfterPrint, &TZarvComponent::OnAfterPrint, item, 2);
    QStringList& log = item.Module->Log;

    // Nested PrintAll: the events run once, at the outermost level.
    box->BeforePrint();
    box->PrintAll(nullptr);
    box->AfterPrint();
    EXPECT_EQ(log.filter("exec"), QStringList({"exec 1", "exec 2"}));
    EXPECT_EQ(TTestBox::PrintLog, QStringList({"Box1@0", "Child@0"}));
    EXPECT_EQ(box->PrintDepth(), 0);
    EXPECT_TRUE(box->DonePrinting());

    // A hidden component runs its events but neither prints nor passes on.
    log.clear();
    TTestBox::PrintLog.clear();
    box->SetVisible(false);
    box->PrintAll(nullptr);
    EXPECT_EQ(log.filter("exec"), QStringList({"exec 1", "exec 2"}));
    EXPECT_TRUE(TTestBox::PrintLog.isEmpty());
    EXPECT_EQ(box->PrintDepth(), 0);

    // An event that fails (a script suspending itself) ends the pass, and
    // the next pass runs the events again.
    box->SetVisible(true);
    item.Module->SuspendAt = 1;
    EXPECT_THROW(box->PrintAll(nullptr), EZarvException);
    EXPECT_EQ(box->PrintDepth(), 0);
    item.Module->SuspendAt = -1;
    log.clear();
    box->OnBeforePrint()->Execute(); // resumes the suspended run
    box->PrintAll(nullptr);
    EXPECT_EQ(log.filter("exec"), QStringList({"exec 1 resumed", "exec 1", "exec 2"}));

    // Report events: the parent's before its children, after them at the end.
    log.clear();
    AttachEvent(box, &TZarvComponent::SetOnBeforeReport, &TZarvComponent::OnBeforeReport, item, 10);
    AttachEvent(box, &TZarvComponent::SetOnAfterReport, &TZarvComponent::OnAfterReport, item, 11);
    AttachEvent(child, &TZarvComponent::SetOnBeforeReport, &TZarvComponent::OnBeforeReport, item, 20);
    AttachEvent(child, &TZarvComponent::SetOnAfterReport, &TZarvComponent::OnAfterReport, item, 21);
    box->BeforeReport();
    box->AfterReport();
    EXPECT_EQ(log.filter("exec"), QStringList({"exec 10", "exec 20", "exec 21", "exec 11"}));
    EXPECT_EQ(box->OnBeforeReport()->Owner(), box);
    EXPECT_EQ(box->OnBeforeReport()->Name(), "OnBeforeReport");
    box->SetOnBeforeReport(nullptr);
    EXPECT_EQ(box->OnBeforeReport(), nullptr);
}

TEST(ZvClass, DisplayOnResolvesFromTheParent)
{
    Project p;
    TTestBox* onPage = p.Box("OnPage", p.Page);
    TTestBox* inner = p.Box("Inner", onPage);
    onPage->SetDisplayOn(TDisplayOn::doParent);
    onPage->PrintAll(nullptr);
    EXPECT_EQ(onPage->DisplayOn(), TDisplayOn::doAll);
    EXPECT_EQ(inner->DisplayOn(), TDisplayOn::doAll);

    TTestBox* preview = p.Box("Preview", p.Page);
    TTestBox* below = p.Box("Below", preview);
    preview->SetDisplayOn(TDisplayOn::doPreviewOnly);
    preview->PrintAll(nullptr);
    EXPECT_EQ(below->DisplayOn(), TDisplayOn::doPreviewOnly);
    preview->SetDisplayOn(TDisplayOn::doPrinterOnly);
    preview->PrintAll(nullptr);
    EXPECT_EQ(below->DisplayOn(), TDisplayOn::doPreviewOnly); // replaced once and for good

    // While a band prints its controls, only the vertically stretching ones
    // print.
    PrintingBand = preview;
    EXPECT_FALSE(below->AllowPrint());
    below->SetAnchor(0x30);
    EXPECT_TRUE(below->AllowPrint());
    PrintingBand = nullptr;
}

TEST(ZvClass, Anchors)
{
    struct Row {
        int no;
        TZarvAnchor anchor;
        double left; // after the parent grew from 4 x 2 to 6 x 3
        double width;
        double top;
        double height;
    };
    // A child at left 1, width 1 (top 0.5, height 0.5) in a 4 x 2 parent.
    const Row rows[] = {
        {1, 0x00, 1.0, 1.0, 0.5, 0.5},                 // keeps its distance to the left and top
        {2, 0x11, 3.0, 1.0, 1.5, 0.5},                 // to the right and bottom: +2 and +1
        {3, 0x22, 2.0, 1.0, 1.0, 0.5},                 // centred in the change: +1 and +0.5
        {4, 0x33, 1.0, 3.0, 0.5, 1.5},                 // stretched: +2 and +1
        {5, 0x44, 1.5, 1.5, 0.75, 0.75},               // scaled by 1.5
        {6, 0x55, 5.0 / 3, 1.0, 0.5 * 2.5 / 1.5, 0.5}, // position scaled by the room left: 5/3, 2.5/1.5
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        Project p;
        TTestBox* parent = p.Box("Parent", p.Page);
        parent->SetWidth(4);
        parent->SetHeight(2);
        TTestBox* child = p.Box("Child", parent);
        child->SetBoundsRect(ZarvRect(1, 0.5, 2, 1));
        child->SetAnchor(row.anchor);
        parent->SetWidth(6);
        parent->SetHeight(3);
        EXPECT_DOUBLE_EQ(child->GetLeft(), row.left);
        EXPECT_DOUBLE_EQ(child->GetWidth(), row.width);
        EXPECT_DOUBLE_EQ(child->GetTop(), row.top);
        EXPECT_DOUBLE_EQ(child->GetHeight(), row.height);
    }
}

TEST(ZvClass, RightAndBottomAnchoredSizeChanges)
{
    Project p;
    TTestBox* box = p.Box("Box", p.Page, 2.0, 3.0);
    box->SetAnchor(0x11);
    box->SetWidth(1.0);
    box->SetHeight(1.0);
    const double left = box->GetLeft();
    const double top = box->GetTop();
    box->SetWidth(1.5);
    box->SetHeight(2.0);
    EXPECT_DOUBLE_EQ(box->GetLeft(), left - 0.5); // the right edge stays
    EXPECT_DOUBLE_EQ(box->GetTop(), top - 1.0);   // the bottom edge stays

    // While loading, the values read are stored as they are: Left and Top
    // come before Width and Height in a stream.
    box->IncludeStyle(TZarvComponentStyle::rcsLoading);
    box->SetLeft(2.0);
    box->SetTop(3.0);
    box->SetWidth(0.5);
    box->SetHeight(0.25);
    box->ExcludeStyle(TZarvComponentStyle::rcsLoading);
    EXPECT_EQ(box->BoundsRect().Left, 2.0);
    EXPECT_EQ(box->BoundsRect().Top, 3.0);

    // A rectangle is set as given, whatever the anchor.
    box->SetBoundsRect(ZarvRect(0.25, 0.5, 1.25, 2.5));
    EXPECT_EQ(box->GetLeft(), 0.25);
    EXPECT_EQ(box->GetTop(), 0.5);
    EXPECT_EQ(box->GetWidth(), 1.0);
    EXPECT_EQ(box->GetHeight(), 2.0);
    EXPECT_EQ(box->GetRight(), 1.25);
}

TEST(ZvClass, DesignedAndAdjustedGeometry)
{
    Project p;
    TTestBox* box = p.Box("Box", p.Page, 1, 1);
    TTestBox* child = p.Box("Child", box, 0.5, 0.25);
    child->SetHeight(0.5);
    box->SaveDesigned();
    box->SetBoundsRect(ZarvRect(2, 2, 5, 7));
    child->SetLeft(9);
    box->RestoreDesigned();
    EXPECT_EQ(box->BoundsRect().Left, 1);
    EXPECT_EQ(box->GetWidth(), 2);
    EXPECT_EQ(child->GetLeft(), 0.5);
    EXPECT_DOUBLE_EQ(child->GetPageLeft(), 1.5);
    EXPECT_DOUBLE_EQ(child->GetPageBottom(), 1.75);

    // A child that grows beyond its adjusted height makes its parent grow.
    EXPECT_EQ(box->HeightToPrint(), 1.0);
    box->SaveAdjusted();
    child->SetHeight(1.5);
    EXPECT_DOUBLE_EQ(box->HeightToPrint(), 1.0 - 0.5 + 1.5);
    EXPECT_EQ(child->HeightToPrint(), child->GetHeight());
    box->RestoreAdjusted();
    EXPECT_EQ(child->GetHeight(), 0.5);
}

TEST(ZvClass, Mirrors)
{
    Project p;
    TTestBox* master = p.Box("Master", p.Page, 0.5, 0.5);
    master->SetCaption("Total");
    master->SetWidth(3);
    master->Font()->SetName("Courier New");
    master->SetLocked(true);
    master->SetTag(7);
    auto* copy = new TTestText(p.Page);
    copy->SetName("Copy");
    copy->SetParent(p.Page);
    copy->SetPos(4, 5);
    copy->SetDevLocked(true);

    // A related class takes the master's look; name, position, locks and the
    // mirror itself stay its own, and the font is copied, not shared.
    copy->SetMirror(master);
    EXPECT_EQ(copy->Mirror(), master);
    EXPECT_EQ(copy->Caption(), "Total");
    EXPECT_EQ(copy->GetWidth(), 3);
    EXPECT_EQ(copy->Tag(), 7);
    EXPECT_EQ(copy->Font()->Name(), "Courier New");
    EXPECT_NE(copy->Font(), master->Font());
    EXPECT_EQ(copy->Name(), "Copy");
    EXPECT_EQ(copy->GetLeft(), 4);
    EXPECT_EQ(copy->GetTop(), 5);
    EXPECT_FALSE(copy->Locked());
    EXPECT_TRUE(copy->DevLocked());

    // Overridden properties are kept when the master changes.
    copy->OverrideProp("Caption");
    copy->OverrideProp("Left"); // always its own: not listed
    EXPECT_EQ(copy->MirrorOverride(), "`Caption");
    master->SetCaption("Sum");
    master->SetWidth(2.5); // reflects through the resize
    EXPECT_EQ(copy->Caption(), "Total");
    EXPECT_EQ(copy->GetWidth(), 2.5);
    copy->RevertProp("Caption");
    EXPECT_EQ(copy->MirrorOverride(), "");
    EXPECT_EQ(copy->Caption(), "Sum");

    // Unrelated classes, the control itself and a mirror leading back are
    // ignored.
    TTestLine line(p.Page);
    line.SetMirror(master);
    EXPECT_EQ(line.Mirror(), nullptr);
    master->SetMirror(master);
    master->SetMirror(copy);
    EXPECT_EQ(master->Mirror(), nullptr);

    // A mirror that goes is forgotten.
    copy->OverrideProp("Caption");
    delete master;
    EXPECT_EQ(copy->Mirror(), nullptr);
    EXPECT_EQ(copy->MirrorOverride(), "");
}

TEST(ZvClass, MirrorChildrenPrintAtTheMirroringPlace)
{
    Project p;
    TTestBox* master = p.Box("Master", p.Page, 1, 0);
    p.Box("Label", master, 0.25, 0);
    TTestBox* copy = p.Box("Copy", p.Page, 4, 0);
    copy->SetMirror(master);
    copy->PrintAll(nullptr);
    EXPECT_EQ(TTestBox::PrintLog, QStringList({"Copy@4", "Label@4.25"}));
    EXPECT_EQ(master->MirrorPoint().X, 0);

    // Mirrors that would lead the print, data-pass and resize walks back to
    // where they started are refused: a parent, or a control whose child
    // mirrors this one.
    TTestBox* loop = p.Box("Loop", master, 0, 0);
    loop->SetMirror(master);
    EXPECT_EQ(loop->Mirror(), nullptr);
    TTestBox* other = p.Box("Other", p.Page, 0, 0);
    TTestBox* otherChild = p.Box("OtherChild", other, 0, 0);
    otherChild->SetMirror(copy);
    EXPECT_EQ(otherChild->Mirror(), copy);
    copy->SetMirror(other);
    EXPECT_EQ(copy->Mirror(), master);
    EXPECT_THROW(master->SetParent(loop), EZarvClass);
    EXPECT_EQ(master->Parent(), p.Page);
}

TEST(ZvClass, CreateChild)
{
    Project p;
    const TClassInfo* boxClass = FindClass("TTestBox");
    auto* first = static_cast<TTestBox*>(p.Page->CreateChild(boxClass, QString(), 1, 2, 0, 3));
    EXPECT_EQ(first->Owner(), p.Page); // a page is a project item: it owns the child
    EXPECT_EQ(first->Parent(), p.Page);
    EXPECT_EQ(first->Name(), "TestBox1");
    EXPECT_EQ(first->GetLeft(), 1);
    EXPECT_EQ(first->GetTop(), 2);
    EXPECT_EQ(first->GetWidth(), 2); // 0 keeps the class's width
    EXPECT_EQ(first->GetHeight(), 3);

    TZarvComponent* second = first->CreateChild(boxClass, "Total", 0, 0, 0, 0);
    EXPECT_EQ(second->Owner(), p.Page); // a box is not: its owner owns the child
    EXPECT_EQ(second->Parent(), first);
    EXPECT_EQ(second->Name(), "Total");
    EXPECT_EQ(first->CreateChild(boxClass, "Total", 0, 0, 0, 0)->Name(), "TestBox2");

    // The base class's name loses "T" and "Zarv".
    EXPECT_EQ(p.Page->CreateChild(FindClass("TZarvContainerControl"), QString(), 0, 0, 0, 0)->Name(),
              "ContainerControl1");
    // A class that keeps no children refuses, and nothing is left behind.
    TZarvComponent* line = p.Page->CreateChild(FindClass("TTestLine"), QString(), 0, 0, 0, 0);
    const int owned = p.Page->ComponentCount();
    EXPECT_THROW(line->CreateChild(boxClass, QString(), 0, 0, 0, 0), EZarvClass);
    EXPECT_EQ(p.Page->ComponentCount(), owned);
}

TEST(ZvClass, Locking)
{
    Project p;
    TTestBox* outer = p.Box("Outer", p.Page);
    TTestBox* middle = p.Box("Middle", outer);
    TTestBox* inner = p.Box("Inner", middle);
    EXPECT_FALSE(inner->IsLocked());
    EXPECT_EQ(inner->GetLocker(), nullptr);
    middle->SetLocked(true);
    EXPECT_TRUE(inner->IsLocked());
    EXPECT_FALSE(inner->IsLocker());
    EXPECT_TRUE(middle->IsLocker());
    EXPECT_EQ(inner->GetLocker(), middle);
    outer->SetDevLocked(true);
    EXPECT_FALSE(middle->IsLocker());
    EXPECT_EQ(inner->GetLocker(), outer);
    EXPECT_EQ(outer->GetLocker(), outer);
}

// Three boxes nested on the page, each 2 x 1 inches: Outer at (1, 1), Middle
// at (0.5, 0.25) in it, Inner at (0.5, 0.25) in that, so on the page Inner
// covers (2, 1.5) to (4, 2.5).
TEST(ZvClass, FindControlAndContainerAtAPoint)
{
    Project p;
    TTestBox* outer = p.Box("Outer", p.Page, 1, 1);
    TTestBox* middle = p.Box("Middle", outer, 0.5, 0.25);
    TTestBox* inner = p.Box("Inner", middle, 0.5, 0.25);
    TTestBox* beside = p.Box("Beside", p.Page, 4, 1);

    const struct {
        double X, Y;
        TZarvControl* Found; // null: none
    } rows[] = {
        {2.5, 1.75, inner},                      // in all three: the innermost
        {1.7, 1.5, middle},                      // left of Inner
        {1.2, 1.1, outer},                       // in Outer only
        {3, 1.1, outer},                         // on Outer's right edge (edges count)
        {3.8, 2.4, inner},                       // Inner reaches out of Outer, and is painted there
        {4.5, 1.5, beside}, {0.5, 0.5, nullptr}, // on the bare page
    };
    for (const auto& row : rows) {
        TZarvControl* found = nullptr;
        EXPECT_EQ(p.Page->FindControlAt(found, ZarvPoint(row.X, row.Y)), row.Found != nullptr) << row.X;
        EXPECT_EQ(found, row.Found) << row.X << " " << row.Y;
    }

    // A later child lies on top of an earlier one.
    TTestBox* onTop = p.Box("OnTop", p.Page, 2.5, 1.5);
    TZarvControl* found = nullptr;
    EXPECT_TRUE(p.Page->FindControlAt(found, ZarvPoint(2.6, 1.6)));
    EXPECT_EQ(found, onTop);
    delete onTop;

    // A container for a new box: the innermost that takes children and is
    // not locked; a control that keeps none is passed over.
    auto* line = new TTestLine(p.Page);
    line->SetParent(inner);
    line->SetBoundsRect(ZarvRect(0, 0, 2, 1));
    const TClassInfo* boxClass = FindClass("TTestBox");
    TZarvControl* container = nullptr;
    EXPECT_TRUE(p.Page->FindContainerAt(container, ZarvPoint(2.5, 1.75), boxClass));
    EXPECT_EQ(container, inner);
    inner->SetLocked(true);
    EXPECT_TRUE(p.Page->FindContainerAt(container, ZarvPoint(2.5, 1.75), boxClass));
    EXPECT_EQ(container, middle);
    middle->SetLocked(true); // locks Inner too
    EXPECT_TRUE(p.Page->FindContainerAt(container, ZarvPoint(2.5, 1.75), boxClass));
    EXPECT_EQ(container, outer);
    container = nullptr;
    EXPECT_FALSE(p.Page->FindContainerAt(container, ZarvPoint(0.5, 0.5), boxClass));
    EXPECT_EQ(container, nullptr);
}

TEST(ZvClass, PaintShowsTheMirrorsChildrenAtItsPlace)
{
    Project p;
    TTestBox* master = p.Box("Master", p.Page, 1, 0);
    p.Box("Label", master, 0.25, 0);
    TTestBox* copy = p.Box("Copy", p.Page, 4, 0);
    p.Box("Own", copy, 0.5, 0);
    copy->SetMirror(master);
    TBitmap bitmap(10, 10);
    copy->Paint(*bitmap.Canvas());
    EXPECT_EQ(TTestBox::PrintLog, QStringList({"paint Copy@4", "paint Label@4.25", "paint Own@4.5"}));
    EXPECT_EQ(master->MirrorPoint().X, 0);
}

// At 100 designer pixels per inch a box at (0.5, 0.5), 2 x 1 inches, covers
// pixels 50 to 249 across and 50 to 149 down.
TEST(ZvClass, ClipToControlNarrowsThePaintingAndRestoreClipWidensIt)
{
    Project p;
    DesignerStandIn designer(nullptr);
    TTestBox* box = p.Box("Box", p.Page, 0.5, 0.5);
    TBitmap bitmap(300, 200);
    TCanvas& canvas = *bitmap.Canvas();
    const auto fill = [&canvas](TColor color) {
        canvas.Brush()->SetColor(color);
        canvas.FillRect(TRect{0, 0, 300, 200});
    };
    const TZarvControl::TSavedClip saved = box->ClipToControl(canvas);
    fill(clBlack);
    const QImage clipped = bitmap.ToImage();
    EXPECT_EQ(clipped.pixel(50, 50), qRgb(0, 0, 0));
    EXPECT_EQ(clipped.pixel(249, 149), qRgb(0, 0, 0));
    EXPECT_EQ(clipped.pixel(49, 100), qRgb(255, 255, 255));
    EXPECT_EQ(clipped.pixel(250, 100), qRgb(255, 255, 255));
    EXPECT_EQ(clipped.pixel(100, 150), qRgb(255, 255, 255));
    TZarvControl::RestoreClip(canvas, saved);
    fill(clRed);
    EXPECT_EQ(bitmap.ToImage().pixel(10, 10), qRgb(255, 0, 0));

    // Clipping to a child narrows the box's clipping further; restoring the
    // child's gives back the box's, not the whole canvas.
    TTestBox* child = p.Box("Child", box, 1.5, 0.5); // pixels 200 to 399, 100 to 199
    const TZarvControl::TSavedClip outer = box->ClipToControl(canvas);
    const TZarvControl::TSavedClip inner = child->ClipToControl(canvas);
    fill(clBlack);
    QImage image = bitmap.ToImage();
    EXPECT_EQ(image.pixel(220, 120), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(100, 100), qRgb(255, 0, 0)); // in the box, not in the child
    EXPECT_EQ(image.pixel(260, 120), qRgb(255, 0, 0)); // in the child, not in the box
    TZarvControl::RestoreClip(canvas, inner);
    fill(clWhite);
    image = bitmap.ToImage();
    EXPECT_EQ(image.pixel(100, 100), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(260, 120), qRgb(255, 0, 0));
    TZarvControl::RestoreClip(canvas, outer);

    // A canvas without a painter is left alone.
    TCanvas bare;
    TZarvControl::RestoreClip(bare, box->ClipToControl(bare));
}
