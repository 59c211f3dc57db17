#pragma once
// ZvClass: the base classes of a report project.
//
// TZarvComponent is the base of every element of a project (pages, reports,
// data objects, the project manager, every printable component). It sits in
// two trees: the owner tree of TComponent (the owner deletes) and the report
// tree of parents and children (the parent prints). It finds the page, report
// and project it belongs to when it is made, refuses the script language's
// reserved words as names, runs the four script events of a report pass and
// passes the pass down to its children. Only containers keep children.
//
// TZarvControl adds a place on the page: a rectangle in inches relative to
// its parent, an anchor saying how it follows its parent's size, where its
// output goes (preview, printer or both), and an optional mirror, another
// control whose look and children it copies. For a designer (none runs in
// this program) it also paints itself, hit-tests and sizes itself by its
// selection handles (TZarvPip), as geometry that needs no designer.
//
// The project classes (project items, pages, reports, the project manager)
// build on these; they answer ItemKind and ItemModule, and the project
// manager implements IZarvProjectManager.
#include "platform/graphics/Graphics.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvEvent.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpDefine.h"

#include <QRegion>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

class TBaseReport;
class TCanvas;
class TZarvControl;
class TZarvFiler;
class TZarvPage;
class TZarvPip;

// Records the registration procedure of the model's base classes, the
// project items and the page under "ZVCL". Called once from the program's
// start-up (and by tests); further calls do nothing.
void RecordReportModelProcs();

enum class TZarvComponentStyle : uint8_t {
    rcsContainer, // accepts children
    rcsInvisible,
    rcsLoading,    // its properties are being read from a stream
    rcsReflecting, // a mirrored control is being copied into it
};
using TZarvComponentStyles = TEnumSet<TZarvComponentStyle, uint8_t>;

// A class of report component, as the class registry holds it.
using TZarvComponentClass = const TClassInfo*;

// What a component is in the structure of its project.
enum class TZarvItemKind : uint8_t { ikComponent, ikProjectItem, ikPage, ikReport, ikProjectManager };

// What components ask of the project manager of their project.
class IZarvProjectManager {
public:
    virtual ~IZarvProjectManager() = default;
    // Project units per inch.
    virtual double UnitsFactor() const = 0;
    // A name no component of nameOwner has. name is a base name, or, with
    // useName, "wanted name|base name" where the wanted name is taken when
    // it is free.
    virtual QString GetUniqueName(const QString& name, TComponent* nameOwner, bool useName) = 0;
    // The canvas of the report that runs; null when none runs.
    virtual TBaseReport* BaseReport() const = 0;
};

// Moves in the z-order of a parent's children (MoveChild).
constexpr int kMoveToBack = 1;
constexpr int kMoveBehind = 2;
constexpr int kMoveForward = 3;
constexpr int kMoveToFront = 4;

class TZarvComponent : public TComponent {
public:
    explicit TZarvComponent(TComponent* owner);
    ~TZarvComponent() override;

    // The page that owns this component (none when the owner is not a page),
    // the report it belongs to and the project manager of its project.
    TZarvComponent* Page() const { return FPage; }
    TZarvComponent* Report() const { return FReport; }
    TZarvComponent* Project() const { return FProject; }
    virtual TZarvItemKind ItemKind() const { return TZarvItemKind::ikComponent; }
    // The compiled script module of a project item; null for other classes.
    virtual TZarvModule* ItemModule() const { return nullptr; }

    TZarvComponentStyles ControlStyle() const { return FControlStyle; }
    void IncludeStyle(TZarvComponentStyle style) { FControlStyle.Include(style); }
    void ExcludeStyle(TZarvComponentStyle style) { FControlStyle.Exclude(style); }
    bool Loading() const { return FControlStyle.Contains(TZarvComponentStyle::rcsLoading); }
    // Nesting of BeforePrint / AfterPrint pairs; 0 outside printing.
    uint8_t PrintDepth() const { return FPrintDepth; }

    // A reserved word of the script language (IMPORT, CONST, TYPE, VAR,
    // FUNCTION, IMPLEMENTATION, END, CREATION, DESTRUCTION; any case) is
    // ignored without a message; other names go through the framework's
    // checks.
    void SetName(const QString& name) override;

    // Published properties.
    bool Locked() const { return FLocked; }
    void SetLocked(bool value);
    bool DevLocked() const { return FDevLocked; }
    void SetDevLocked(bool value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    // The four events. Setting one copies the given event (header, body and
    // position) into the component's own; null removes it.
    TZarvSimpleEvent* OnBeforeReport() const { return FOnBeforeReport.get(); }
    void SetOnBeforeReport(TZarvSimpleEvent* value);
    TZarvSimpleEvent* OnAfterReport() const { return FOnAfterReport.get(); }
    void SetOnAfterReport(TZarvSimpleEvent* value);
    TZarvSimpleEvent* OnBeforePrint() const { return FOnBeforePrint.get(); }
    void SetOnBeforePrint(TZarvSimpleEvent* value);
    TZarvSimpleEvent* OnAfterPrint() const { return FOnAfterPrint.get(); }
    void SetOnAfterPrint(TZarvSimpleEvent* value);

    // Report tree.
    TZarvComponent* Parent() const { return FParent; }
    // Leaves the old parent and joins the new one (null: none). Raises
    // EZarvClass for a parent inside this component's own subtree.
    virtual void SetParent(TZarvComponent* value);
    // Raises EZarvClass "Class cannot accept children classes: "<class>""
    // unless the class keeps children.
    virtual void AddChild(TZarvComponent* child);
    virtual void RemoveChild(TZarvComponent* child);
    // how: kMoveToBack, kMoveBehind, kMoveForward, anything else to the front.
    virtual void MoveChild(TZarvComponent* child, int how);
    virtual TZarvComponent* GetChild(int index) const;
    virtual int GetChildCount() const;
    // The position among the parent's children; 0 when not found.
    virtual int GetChildIndex() const;
    void MoveForward();
    void MoveBehind();
    void BringToFront();
    void SendToBack();
    // Deletes the children, the last first.
    virtual void DestroyChildren();
    virtual bool AcceptParent(TZarvComponentClass parentClass) const;
    virtual bool AcceptChild(TZarvComponentClass childClass) const;
    // True for project items never copied with a report into its private
    // project.
    virtual bool NeverIncluded() const;
    virtual bool CanSelect(TZarvComponent* item) const;
    // Position on the page, inches.
    virtual double GetPageLeft() const;
    virtual double GetPageTop() const;
    virtual double GetPageRight() const;
    virtual double GetPageBottom() const;

    // Report pass.
    virtual void BeforeReport();
    virtual void AfterReport();
    virtual void BeforePrint();
    // The component's own output.
    virtual void Print(TBaseReport* report);
    virtual void PrintAll(TBaseReport* report);
    virtual void AfterPrint();
    virtual void BeginDataPass();
    virtual void EndDataPass();
    virtual bool GetDonePrinting() const;
    bool DonePrinting() const { return GetDonePrinting(); }
    virtual bool AllowPrint() const;
    virtual void Hide();
    virtual void Show();
    virtual void PrintParams(double& hDelta, double& vDelta);
    virtual void SaveDesigned();
    virtual void RestoreDesigned();
    virtual void SaveAdjusted();
    virtual void RestoreAdjusted();
    virtual void ResolveImports();
    // Replaces references to oldComp by newComp in this subtree.
    virtual void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp);
    // Registers property overrides with the property stream's filer.
    virtual void OverrideProperties(TZarvFiler& filer);

    // Conversations: listeners of what a component says ("CalcNewData").
    virtual void AddListener(const QString& conversation, const TZarvListenMethod& method);
    virtual void RemoveListener(const QString& conversation, const TZarvListenMethod& method);
    virtual bool Habla(const QString& conversation) const;

    // Locking protects a subtree in a designer.
    bool IsLocked() const;
    bool IsLocker() const;
    TZarvComponent* GetLocker() const;

    // Project units to inches and back, by the project's units factor (1
    // without a project).
    double XU2I(double value) const;
    double YU2I(double value) const;
    double XI2U(double value) const;
    double YI2U(double value) const;

    // Makes a child of cls under this component (owned by this component
    // when it is a project item, else by its owner), named uniquely by the
    // project manager after baseName or the class name, placed at left, top
    // (a zero width or height keeps the class's own).
    TZarvComponent* CreateChild(TZarvComponentClass cls, const QString& baseName, double left, double top,
                                double width, double height);
    // Asks the designer showing this component's page to repaint.
    void Invalidate() const;

    // Designer hit tests over the children, points in inches from the page's
    // top left. FindControlAt finds the innermost child control that the
    // point selects, the last child (the one painted on top) first;
    // FindContainerAt the innermost unlocked child control whose box holds
    // the point and that accepts a child of class newChild. Both leave the
    // result alone and answer false when there is none.
    bool FindControlAt(TZarvControl*& control, const TZarvPoint& point) const;
    bool FindContainerAt(TZarvControl*& container, const TZarvPoint& point,
                         TZarvComponentClass newChild) const;

    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

protected:
    // Runs an event when there is one.
    static void ExecuteEvent(TZarvEvent* event);
    // Sets the project-structure references; the project classes use it in
    // their constructors.
    void SetStructure(TZarvComponent* page, TZarvComponent* report, TZarvComponent* project);
    // Undoes the BeforePrint of a PrintAll that an exception leaves.
    void UnwindPrintDepth();
    void SetEvent(std::unique_ptr<TZarvSimpleEvent>& slot, const TZarvSimpleEvent* value, const char* name);

    TZarvComponentStyles FControlStyle;

private:
    uint8_t FPrintDepth = 0;
    bool FDevLocked = false;
    bool FVisible = true;
    bool FLocked = false;
    TZarvComponent* FParent = nullptr;
    TZarvComponent* FPage = nullptr;
    TZarvComponent* FReport = nullptr;
    TZarvComponent* FProject = nullptr;
    std::unique_ptr<TZarvSimpleEvent> FOnBeforeReport;
    std::unique_ptr<TZarvSimpleEvent> FOnAfterReport;
    std::unique_ptr<TZarvSimpleEvent> FOnBeforePrint;
    std::unique_ptr<TZarvSimpleEvent> FOnAfterPrint;
};

// ---------------------------------------------------------------------------
// Controls.

enum class TDisplayOn : uint8_t { doParent, doAll, doPreviewOnly, doPrinterOnly };
// Low four bits the horizontal, high four bits the vertical anchor: 0 keeps
// the distance to the parent's left / top edge, 1 to its right / bottom edge,
// 2 keeps the control centred in the change, 3 stretches it with the parent,
// 4 scales position and size with the parent, 5 scales the position with the
// room the control leaves free.
using TZarvAnchor = uint8_t;
enum class TFontAttribute : uint8_t { faAll, faName, faSize, faBold, faItalic, faUnderline };
enum class TZarvFillStyle : uint8_t {
    fsSolid,
    fsClear,
    fsHorizontal,
    fsVertical,
    fsFDiagonal,
    fsBDiagonal,
    fsCross,
    fsDiagCross,
    fsNone,
};
enum class TLineWidthType : uint8_t { wtPoints, wtPixels };

// Properties a copy into a mirrored control never takes.
constexpr char AlwaysOverride[] = "`DEVLOCKED`LEFT`LOCKED`MIRROR`MIRROROVERRIDE`NAME`TOP`";

class TZarvControl : public TZarvComponent {
public:
    explicit TZarvControl(TComponent* owner);
    ~TZarvControl() override;

    // Geometry relative to the parent, inches.
    virtual double GetLeft() const { return FLeft; }
    virtual void SetLeft(double value);
    virtual double GetTop() const { return FTop; }
    virtual void SetTop(double value);
    virtual double GetWidth() const { return FWidth; }
    // A right-anchored control keeps its right edge (not while loading).
    virtual void SetWidth(double value);
    virtual double GetHeight() const { return FHeight; }
    // A bottom-anchored control keeps its bottom edge (not while loading).
    virtual void SetHeight(double value);
    double GetRight() const { return GetLeft() + GetWidth(); }
    void SetRight(double value);
    double GetBottom() const { return GetTop() + GetHeight(); }
    void SetBottom(double value);
    // Move and place without re-placing children or reflecting mirrors.
    void SetPos(double left, double top);
    TZarvRect BoundsRect() const;
    void SetBoundsRect(const TZarvRect& rect);
    // The geometry as designed and as adjusted during a run.
    TZarvRect DesignedRect() const;
    TZarvRect AdjustedRect() const;
    double AdjLeft() const { return FAdjLeft; }
    double AdjTop() const { return FAdjTop; }
    double AdjWidth() const { return FAdjWidth; }
    double AdjHeight() const { return FAdjHeight; }

    TZarvAnchor Anchor() const { return FAnchor; }
    void SetAnchor(TZarvAnchor value) { FAnchor = value; }
    uint8_t GetHAnchor() const { return FAnchor & 0x0F; }
    uint8_t GetVAnchor() const { return FAnchor >> 4; }
    TDisplayOn DisplayOn() const { return FDisplayOn; }
    void SetDisplayOn(TDisplayOn value) { FDisplayOn = value; }
    int Cursor() const { return FCursor; }
    void SetCursor(int value) { FCursor = value; }
    // While set, size changes reach neither the children nor the mirrors.
    bool DisableResize = false;

    // Follows a change of the parent's size by the anchor; a control with a
    // mirror passes the call to its mirror. Sizes are inches, 0 for a
    // dimension that did not change.
    virtual void ParentResized(bool widthChanged, bool heightChanged, double oldWidth, double newWidth,
                               double oldHeight, double newHeight);
    virtual void ResizeChildren(bool widthChanged, bool heightChanged, double oldWidth, double newWidth,
                                double oldHeight, double newHeight);
    // Resize, the children's ResizeAll, then Reflect (nothing while
    // DisableResize).
    void ResizeAll();
    virtual void Resize();
    // The height the control needs to print, inches.
    virtual double HeightToPrint() const;

    // Mirroring. A mirror of a class unrelated to this one is ignored, and so
    // is one from which this control can be reached through children and
    // mirrors (itself, an ancestor, a control mirroring this one).
    TZarvControl* Mirror() const { return FMirror; }
    void SetMirror(TZarvControl* value);
    // The properties kept although there is a mirror ("`Font`Text").
    const QString& MirrorOverride() const { return FMirrorOverride; }
    void SetMirrorOverride(const QString& value) { FMirrorOverride = value; }
    const std::vector<TZarvControl*>& MirrorList() const { return FMirrorList; }
    virtual void AddToMirrorList(TZarvControl* control);
    virtual void RemoveFromMirrorList(TZarvControl* control);
    // Copies this control into every control that mirrors it.
    void Reflect();
    void OverrideProp(const QString& propName);
    void RevertProp(const QString& propName);
    bool PropOverridden(const QString& propName) const;
    // Offset added to the page position while this control's children print
    // at the place of a control mirroring it.
    TZarvPoint MirrorPoint() const { return FMirrorPoint; }

    // Look: descendants that have the property replace both sides.
    virtual void SetFontAttr(TFontAttribute index, TFont* value);
    virtual TFont* GetFontAttr(TFontAttribute index) const;
    virtual void SetText(const QString& value);
    virtual QString GetText() const;
    virtual void SetFontJustify(TPrintJustify value);
    virtual TPrintJustify GetFontJustify() const;
    virtual void SetForeColor(TColor value);
    virtual TColor GetForeColor() const;
    virtual void SetBackColor(TColor value);
    virtual TColor GetBackColor() const;
    virtual void SetFillStyle(TZarvFillStyle value);
    virtual TZarvFillStyle GetFillStyle() const;
    virtual void SetLineWidth(double value);
    virtual double GetLineWidth() const;
    virtual void SetLineWidthType(TLineWidthType value);
    virtual TLineWidthType GetLineWidthType() const;
    virtual void SetLineStyle(TPenStyle value);
    virtual TPenStyle GetLineStyle() const;

    // Designer support. It is pure geometry in inches from the page's top
    // left, except where designer pixels are named; conversions to designer
    // pixels go through the current designer (0 without one), and handles
    // reach the designer through the control's page (nothing without one).
    //
    // Handles are numbered around the box: 0 1 2 along the top, 3 and 4 at
    // the middle of the left and right edges, 5 6 7 along the bottom.
    // CreatePips announces the control's handles to the page's designer,
    // UpdatePips moves them to the control's present box.
    virtual void CreatePips();
    virtual void UpdatePips();
    // Follows a handle dragged to (pip.PageX, pip.PageY): the corner (or
    // edge) opposite the handle stays where it was when the drag began
    // (pip.OrigRect); a handle dragged past the opposite side trades numbers
    // with the handle it has become (the page's SwitchPips).
    virtual void PipSize(TZarvPip& pip);
    // Whether the point selects the control: in its box, and the parent lets
    // it be selected.
    virtual bool IsSelectPoint(const TZarvPoint& point) const;
    // Whether a selection rectangle takes the control: the rectangle meets
    // its box, and the parent lets it be selected.
    virtual bool InSelectRect(const TZarvRect& rect) const;
    // Constrain a box being drawn from the fixed corner p1 to the corner p2,
    // which may move: ModifyRect in designer pixels, ModifyZarvRect in
    // inches. No constraint in the base.
    virtual void ModifyRect(TPoint& p1, TPoint& p2) const;
    virtual void ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const;
    // The designer's resize by two corner points, inches relative to the
    // parent, in any order: constrained by ModifyZarvRect, then the box
    // between them.
    virtual void SetSize(TZarvPoint p1, TZarvPoint p2);
    // Paints the control (PaintSelf), the children of its mirror at its
    // place, then its own children, on a designer canvas.
    virtual void Paint(TCanvas& canvas);
    virtual void PaintSelf(TCanvas& canvas);
    // The box on the page, inches, and in designer pixels.
    TZarvRect PageRect() const;
    TRect DesignerRect() const;

    // The clipping of a canvas before ClipToControl narrowed it.
    struct TSavedClip {
        bool Saved = false;   // a painter was there to clip
        bool Clipped = false; // the painter clipped already
        QRegion Region;
    };
    // Narrows the canvas's clipping to the control's designer box; the
    // answer gives RestoreClip what to put back. A canvas without a painter
    // draws nothing and is left alone.
    TSavedClip ClipToControl(TCanvas& canvas) const;
    static void RestoreClip(TCanvas& canvas, const TSavedClip& saved);

    double GetPageLeft() const override;
    double GetPageTop() const override;
    double GetPageRight() const override;
    double GetPageBottom() const override;
    void SaveDesigned() override;
    void RestoreDesigned() override;
    void SaveAdjusted() override;
    void RestoreAdjusted() override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    bool GetDonePrinting() const override;
    void BeginDataPass() override;
    void EndDataPass() override;
    bool AllowPrint() const override;
    void PrintAll(TBaseReport* report) override;

protected:
    // Forgets a mirror, or a control mirroring this one, that goes.
    void Notification(TComponent* component, TOperation operation) override;
    // Into a control of this class, an ancestor or a descendant: the
    // published properties of the less derived class, except those in
    // AlwaysOverride, those the destination keeps for itself and events.
    void AssignTo(TPersistent* dest) const override;

protected:
    // Announces or moves the handles of the given numbers, each at its place
    // around the box with the cursor of its place.
    void AddPipsAt(std::initializer_list<int> indexes);
    void UpdatePipsAt(std::initializer_list<int> indexes);
    // The place of handle index around the box, inches from the page's top
    // left, and the cursor shown over it.
    TZarvPoint PipPoint(int index) const;
    static int PipCursor(int index);
    // Where the parent's origin lies on the page (page position minus the
    // position relative to the parent).
    TZarvPoint ParentOrigin() const;
    // The parent lets the control be selected (no parent: yes).
    bool ParentAllowsSelect() const;
    // The page that shows this control, or none.
    TZarvPage* DesignerPage() const;

private:
    // Runs f on every child of mirror, and first on those of the mirror's
    // own mirrors, each while the mirror's children stand at this control's
    // place.
    template <class F> void AtMirrorPlace(TZarvControl* mirror, F f);
    bool MirrorWouldCycle(const TZarvControl* value) const;

    TZarvControl* FMirror = nullptr;
    std::vector<TZarvControl*> FMirrorList;
    TZarvPoint FMirrorPoint;
    QString FMirrorOverride;
    int FCursor = 0;
    double FLeft = 0; // inches
    double FTop = 0;
    double FWidth = 0;
    double FHeight = 0;
    double FDesLeft = 0;
    double FDesTop = 0;
    double FDesWidth = 0;
    double FDesHeight = 0;
    double FAdjLeft = 0;
    double FAdjTop = 0;
    double FAdjWidth = 0;
    double FAdjHeight = 0;
    TDisplayOn FDisplayOn = TDisplayOn::doParent;
    TZarvAnchor FAnchor = 0;
};

// ---------------------------------------------------------------------------
// A selection handle of the designer on a control. Only a designer makes
// them; the control sizes itself through PipSize when one is dragged.

class TZarvPip {
public:
    // x, y: the handle's place, inches from the page's top left.
    TZarvPip(uint8_t index, TZarvControl* control, TZarvDesigner* designer, int cursor, double x, double y);

    // Begins a drag at the handle's present place: remembers the place in
    // inches and in designer pixels, and the control's box.
    void Reset();
    // The mouse at (x, y) designer pixels: the handle follows it by as much
    // as it moved since Reset, and the control resizes (PipSize).
    void Move(int x, int y);
    // A small filled square centred on the handle, in designer pixels.
    void Draw(TCanvas& canvas) const;

    uint8_t Index = 0;
    TZarvControl* Control = nullptr;
    TZarvDesigner* Designer = nullptr;
    int Cursor = 0;
    double PageX = 0; // inches
    double PageY = 0;
    TPoint StartSizePoint; // designer pixels of the handle at Reset
    TZarvRect OrigRect;    // the control's box relative to its parent at Reset
    TZarvPoint OrigPoint;  // PageX, PageY at Reset
};

// ---------------------------------------------------------------------------
// Containers.

// The children of a container in index order (not owned: the owner tree
// deletes them).
class TZarvChildList {
public:
    int Count() const { return int(FItems.size()); }
    TZarvComponent* Get(int index) const;
    void Add(TZarvComponent* child) { FItems.push_back(child); }
    void Remove(const TZarvComponent* child);
    // Moves child in the z-order; true when it moved.
    bool Move(TZarvComponent* child, int how);
    // Deletes every child, the last first.
    void DestroyAll();

private:
    std::vector<TZarvComponent*> FItems;
};

class TZarvContainerControl : public TZarvControl {
public:
    explicit TZarvContainerControl(TComponent* owner);
    ~TZarvContainerControl() override;

    void AddChild(TZarvComponent* child) override;
    void RemoveChild(TZarvComponent* child) override;
    void MoveChild(TZarvComponent* child, int how) override;
    TZarvComponent* GetChild(int index) const override;
    int GetChildCount() const override;
    void DestroyChildren() override;

private:
    TZarvChildList FChildren;
};

// A container without a place on the page; the base of project items.
class TZarvContainerComponent : public TZarvComponent {
public:
    explicit TZarvContainerComponent(TComponent* owner);
    ~TZarvContainerComponent() override;

    void AddChild(TZarvComponent* child) override;
    void RemoveChild(TZarvComponent* child) override;
    void MoveChild(TZarvComponent* child, int how) override;
    TZarvComponent* GetChild(int index) const override;
    int GetChildCount() const override;
    void DestroyChildren() override;

private:
    TZarvChildList FChildren;
};

// ---------------------------------------------------------------------------
// Calls the model makes on components it knows only by the base class.

bool CallNeverIncluded(TZarvComponent* comp);
void SaveAdjustedOf(TZarvComponent* comp);
void RestoreAdjustedOf(TZarvComponent* comp);
// Inches to designer pixels through the current designer (0 without one).
int XI2D(double value);
int YI2D(double value);
int XI2DLength(double value);
int YI2DLength(double value);
// A designer pixel row to inches, relative to the page top of comp's parent.
double ParentYD2I(const TZarvComponent* comp, int value);
