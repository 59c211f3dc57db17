#pragma once
// ZvItem: the project items of a report project and the page.
//
// A project item (a report, a global page, a data object, the project
// manager itself) is a container the project manager owns. It has a
// description, a full name, declared parameters and print-time variables,
// an optional compiled script module kept as the defined property "Module"
// of its own record, an active state, and it writes and reads its block of
// the project file with the property stream (ZvFiler.h).
//
// TZarvPage is the project item that carries a sheet: paper size and
// orientation from the paper table, page width and height in inches, output
// bin, grid, the page that follows, and, with WasteFit, the fitting of its
// controls into the printable area when it prints.
#include "platform/objects/Strings.h"
#include "report/model/ZvClass.h"

#include <QString>

#include <memory>
#include <vector>

class TStreamHelper;
class TClassInfo;

// Registers TZarvProjectItem, TZarvDataObject and TZarvPage with the class
// registry (after the base classes) and answers the classes to record under
// the model's module name.
std::vector<const TClassInfo*> RegisterProjectItemClasses();

class TZarvProjectItem : public TZarvContainerComponent {
public:
    explicit TZarvProjectItem(TComponent* owner);
    ~TZarvProjectItem() override;

    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikProjectItem; }
    TZarvModule* ItemModule() const override { return FModule.get(); }
    TZarvModule* Module() const { return FModule.get(); }
    // Takes module over (null drops the current one).
    void SetModule(std::unique_ptr<TZarvModule> module);

    // Open and Close flag the item active or not.
    bool Active() const { return FActive; }
    void SetActive(bool value);
    virtual void Open();
    virtual void Close();

    const QString& Description() const { return FDescription; }
    void SetDescription(const QString& value) { FDescription = value; }
    // Follows Name while the two are equal.
    const QString& FullName() const { return FFullName; }
    void SetFullName(const QString& value) { FFullName = value; }
    // Declared parameters; setting copies the lines and turns every "<" and
    // ">" into "_".
    TStrings* Parameters() const { return FParams.get(); }
    void SetParameters(TStrings* value);
    // Print-time variables; setting copies the lines.
    TStrings* PIVars() const { return FPIVars.get(); }
    void SetPIVars(TStrings* value);
    // Setting it on an item other than the project manager sets it on the
    // project manager too.
    bool CompileNeeded() const { return FCompileNeeded; }
    void SetCompileNeeded(bool value);
    // Set while the item is copied with a report into a private project.
    bool Included() const { return FIncluded; }
    void SetIncluded(bool value) { FIncluded = value; }

    // The name of the item's script module: its Name, or Owner_Name when its
    // owner is a project item other than the project manager.
    QString GetModuleName() const;
    virtual void PrepareModule();
    virtual void SaveToStreamHelper(TStreamHelper& streamHelper);
    virtual void LoadFromStreamHelper(TStreamHelper& streamHelper);

    void SetName(const QString& name) override;
    void ResolveImports() override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void DefineProperties(TFiler& filer) override;

private:
    void ReadModule(TReader& reader);
    void WriteModule(TWriter& writer) const;

    bool FActive = false;
    QString FDescription;
    QString FFullName;
    std::unique_ptr<TStrings> FParams;
    std::unique_ptr<TStrings> FPIVars;
    std::unique_ptr<TZarvModule> FModule;
    bool FCompileNeeded = false;
    bool FIncluded = false;
};

// Base of the data views, data connections and security objects of a
// project.
class TZarvDataObject : public TZarvProjectItem {
public:
    using TZarvProjectItem::TZarvProjectItem;
};

enum class TGotoMode : uint8_t { gmGotoDone, gmGotoNotDone, gmCallEach };

// Windows paper number (256: a size of its own, -1: none chosen) and bin
// number (-1: none chosen).
using TZarvPaperSize = int32_t;
using TZarvBin = int32_t;
constexpr TZarvPaperSize kPaperCustom = 256;
constexpr TZarvPaperSize kPaperDefault = -1;

class TZarvPage : public TZarvProjectItem {
public:
    explicit TZarvPage(TComponent* owner);
    ~TZarvPage() override;

    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikPage; }
    // Owned by the project manager rather than by a report.
    bool Global() const { return FGlobal; }

    // Looked up in the paper table; a size found becomes the page size (width
    // and height swapped in landscape). The number is kept when not found.
    TZarvPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TZarvPaperSize value);
    // Switching to or from landscape swaps width and height.
    TOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TOrientation value);
    // Inches; a value not above 0 is ignored; a size set makes the paper
    // size custom.
    double PageWidth() const { return FPageWidth; }
    void SetPageWidth(double value);
    double PageHeight() const { return FPageHeight; }
    void SetPageHeight(double value);
    // The width and height are stored only for a custom or unchosen paper.
    bool StorePageDim() const;
    // Takes the run's paper size, starting from the designed geometry.
    void PrepareSize(double width, double height);

    TGotoMode GotoMode() const { return FGotoMode; }
    void SetGotoMode(TGotoMode value) { FGotoMode = value; }
    TZarvPage* GotoPage() const { return FGotoPage; }
    void SetGotoPage(TZarvPage* value);
    double GridSpacing() const { return FGridSpacing; } // inches
    void SetGridSpacing(double value);
    int32_t GridLines() const { return FGridLines; }
    void SetGridLines(int32_t value);
    TZarvBin Bin() const { return FBin; }
    void SetBin(TZarvBin value) { FBin = value; }
    const QString& BinCustom() const { return FBinCustom; }
    void SetBinCustom(const QString& value) { FBinCustom = value; }
    // Moves and cuts the controls into the printable area when printing.
    bool WasteFit() const { return FWasteFit; }
    void SetWasteFit(bool value) { FWasteFit = value; }

    // ResizeAll of every child control.
    void Resize();

    // The designer showing the page (not owned); none in this program.
    TZarvDesigner* Designer() const { return FDesigner; }
    void SetDesigner(TZarvDesigner* designer) { FDesigner = designer; }
    // The selection handles of the page's controls, passed to the page's
    // designer when it has one (TZarvDesigner in ZvEvent.h).
    void AddPip(int index, TZarvControl* control, int cursor, double x, double y);
    void UpdatePip(int index, TZarvControl* control, double x, double y);
    void SwitchPips(TZarvControl* control, int index1, int index2);
    void PrintAll(TBaseReport* report) override;
    void PrepareModule() override;
    void LoadFromStreamHelper(TStreamHelper& streamHelper) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    // To another page: the name (this page's own becomes empty), the tag and
    // the size.
    void AssignTo(TPersistent* dest) const override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ChildrenResized(double oldWidth, double oldHeight);
    void FitToPrintableArea(TBaseReport* report);

    TZarvDesigner* FDesigner = nullptr;
    bool FGlobal = false;
    TZarvPaperSize FPaperSize = kPaperDefault;
    double FPageWidth = 8.5;   // inches
    double FPageHeight = 11.0; // inches
    TGotoMode FGotoMode = TGotoMode::gmGotoDone;
    TZarvPage* FGotoPage = nullptr;
    double FGridSpacing = 0.1; // inches
    int32_t FGridLines = 5;
    TOrientation FOrientation = TOrientation::poDefault;
    TZarvBin FBin = -1;
    QString FBinCustom;
    bool FWasteFit = false;
};
