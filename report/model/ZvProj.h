#pragma once
// ZvProj: the report project, its reports and its compiled script modules.
//
// TZarvProjectManager is the root of a report project: it owns the reports,
// the global pages and the data objects, the script modules (through its
// TZarvModuleManager), the named text parameters the application fills before
// a run, and the project's units. It reads and writes the project file,
// creates items with unique names, finds components by dotted names, and
// resolves references read before their component.
//
// Project file (".zrf"; the previous version is kept as ".~zr"):
//   "ZRF" 0x1A, Int32 version (110000 when written), byte 0,
//   modules (version >= 40005): index count, per module its name and a block,
//   the name of the report active when saved (string),
//   the manager's own record without children (ZvFiler.h),
//   entries up to the end: a code byte (3 global page, 4 report, 6 data
//   object, 2 direct data view; any other is read as a report), the item's
//   name, for code 6 its class name, then one block with the item's own
//   stream form.
// A report's block: the page active when saved (version >= 30004), the
// number of its own pages with byte 0 and the name of each, the number of
// pages it uses with their names, its own record without children, then one
// block per own page.
//
// A file that fails to load raises and leaves the project as it was before:
// the items read are deleted and the manager's own properties put back.
#include "report/model/ZvFiler.h"
#include "report/model/ZvItem.h"

#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class TBaseReport;
class TStream;
class TZarvProjectManager;
class TZarvReport;
class TZvSystem;

// Records the registration procedure of the report and the project manager
// under "ZVCL", after that of the model's base classes, then those of the
// data fields, the data views and the security objects. Further calls do
// nothing.
void RecordProjectProcs();

// The folder where compiled module files (".ZVC") are looked for: the
// program's folder unless set (tests set it; empty restores the default).
QString ModuleFileFolder();
void SetModuleFileFolder(const QString& folder);

// ---------------------------------------------------------------------------
// Compiled script modules of a project, by name (without regard to case). A
// module file "<name>.ZVC" in the module folder replaces the module stored in
// the project. Modules come from LoadModuleHook: without a script engine
// there are none, and stored modules are passed over.

class TZarvModuleManager {
public:
    explicit TZarvModuleManager(TZarvProjectManager* projectManager);
    ~TZarvModuleManager();
    TZarvModuleManager(const TZarvModuleManager&) = delete;
    TZarvModuleManager& operator=(const TZarvModuleManager&) = delete;

    int ModuleCount() const { return int(FModules.size()); }
    TZarvModule* GetZarvModule(int index) const;
    TZarvModule* FindModule(const QString& moduleName) const;
    // The module of that name, loaded from its file when none is held.
    // Raises ESheetcaster "Could not load module [<name>]" when none can be
    // made.
    TZarvModule* GetModule(const QString& moduleName);
    // Loads "<name>.ZVC" from the module folder and answers its index.
    // Raises EFOpenError for a missing file and "Could not load module
    // [<name>]" when the name is no identifier or no module is made of it.
    int LoadModuleFile(const QString& moduleName);
    void SaveModules(TStreamHelper& streamHelper) const;
    void LoadModules(TStreamHelper& streamHelper);
    // Tells every module, held or of a project item, that module goes.
    void ReleaseModule(TZarvModule* module);
    // Drops the modules added after the first count (a load that failed).
    void TruncateTo(int count);

private:
    // The module file of that name (found without regard to case), or
    // empty.
    QString ModuleFileName(const QString& moduleName) const;
    TZarvModule* ReadModuleFile(const QString& fileName);
    void AddModule(std::unique_ptr<TZarvModule> module);

    TZarvProjectManager* FProjectManager;
    std::vector<std::unique_ptr<TZarvModule>> FModules;
};

// ---------------------------------------------------------------------------
// The run controller a report run makes for itself when it is given no
// engine is set up from these library defaults (one place, settable).

struct TZarvSystemDefaults {
    TReportDest DefaultDest = TReportDest::rdPreview;
    bool AllowSetup = true; // ssAllowSetup: the output options window is offered
    double GridHoriz = 0;   // inches
    double GridVert = 0;
    TColor GridPenColor = TColor(0x00FFFF00); // aqua
    TPenStyle GridPenStyle = TPenStyle::psSolid;
    TRulerType RulerType = TRulerType::rtNone;
    double MarginPercent = 2.5;
    int ShadowDepth = 5; // pixels
    int ZoomInc = 10;
    double ZoomFactor = 100; // percent
    bool Maximized = false;  // window state of the preview
    bool Monochrome = false;
};
TZarvSystemDefaults& ZarvSystemDefaults();

// ---------------------------------------------------------------------------
// Reports.

enum class TZarvPrinterCollate : uint8_t { pcFalse, pcTrue, pcDefault };
enum class TZarvPrinterDuplex : uint8_t { pdSimplex, pdHorizontal, pdVertical, pdDefault };
enum class TZarvPrinterResolution : uint8_t { prDraft, prLow, prMedium, prHigh, prDefault };

class TZarvReport : public TZarvProjectItem {
public:
    explicit TZarvReport(TComponent* owner);
    ~TZarvReport() override;

    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikReport; }

    // A new page Page1, Page2 ... of this report, loaded.
    TZarvPage* NewPage();
    // The pages the report uses: its own and the global ones it loaded.
    void LoadPage(TZarvPage* page);
    void UnloadPage(TZarvPage* page);
    TZarvPage* LoadedPage(int index) const; // null outside 0 .. count - 1
    int LoadedPageCount() const { return int(FLoadedList.size()); }
    // The names read from the block are looked up once the whole project is
    // in.
    void ProcessLoaded();
    const QString& LastActivePage() const { return FLastActivePage; }
    void SetLastActivePage(const QString& value) { FLastActivePage = value; }

    void Open() override;
    void Close() override;
    void SaveToStreamHelper(TStreamHelper& streamHelper) override;
    void LoadFromStreamHelper(TStreamHelper& streamHelper) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

    // Runs the report on a private copy of its project, so that the run
    // leaves the loaded project as it was. engine is a TZvSystem, a
    // TBaseReport or null (a TZvSystem made from ZarvSystemDefaults for the
    // run). A report already running (re-entered from a message loop of its
    // own run) raises EZarvException.
    void Execute(TQpComponent* engine);
    // Runs this report of a private copy: prepares the modules, takes control
    // of the data channel (a refusal skips the run without a message), runs
    // the engine with this report's handlers and releases the channel.
    void InternalExecute(TQpComponent* engine);
    // Refuses a run of a report that has pages but no first page to start
    // from (a reference the project file held that resolved to nothing):
    // the error names fileName, the file the project was read from.
    void CheckFirstPage(const QString& fileName) const;
    // The private project of the run in progress; null otherwise.
    TZarvProjectManager* ExecProject() const { return FExecProject; }

    // The engine's handlers while the report's are installed (sender: the
    // TBaseReport that prints).
    void EngineBeforePrint(TObject* sender);
    void EngineAfterPrint(TObject* sender);
    // The page loop.
    void EngineOnPrint(TObject* sender);

    // Published properties.
    bool AlwaysGenerate() const { return FAlwaysGenerate; }
    void SetAlwaysGenerate(bool value) { FAlwaysGenerate = value; }
    const QString& Category() const { return FCategory; }
    void SetCategory(const QString& value) { FCategory = value; }
    int32_t Copies() const { return FCopies; } // 0 keeps the engine's
    void SetCopies(int32_t value) { FCopies = value; }
    TZarvPage* FirstPage() const { return FFirstPage; }
    void SetFirstPage(TZarvPage* value);
    // Pages printed in list order instead of from FirstPage; null when
    // empty. Setting copies the entries.
    TZarvComponentList* PageList() const { return FPageList.get(); }
    void SetPageList(TZarvComponentList* value);
    TZarvPrinterCollate Collate() const { return FCollate; }
    void SetCollate(TZarvPrinterCollate value) { FCollate = value; }
    TZarvPrinterDuplex Duplex() const { return FDuplex; }
    void SetDuplex(TZarvPrinterDuplex value) { FDuplex = value; }
    int32_t MaxPages() const { return FMaxPages; } // 0 or less: no limit
    void SetMaxPages(int32_t value) { FMaxPages = value; }
    const QString& Printer() const { return FPrinter; }
    void SetPrinter(const QString& value) { FPrinter = value; }
    TZarvPrinterResolution Resolution() const { return FResolution; }
    void SetResolution(TZarvPrinterResolution value) { FResolution = value; }
    TZarvDataObject* SecurityControl() const { return FSecurityControl; }
    void SetSecurityControl(TZarvDataObject* value);

protected:
    // Forgets pages and objects it refers to that go.
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::vector<TZarvPage*> OwnPages() const;
    TZarvProjectManager* ProjectManager() const;
    void RunOnReport(TBaseReport* engine);
    void RunOnSystem(TZvSystem* system);
    void RunOnOwnSystem();
    // Installs the report's handlers in the engine's three slots, keeping the
    // engine's own, runs, and puts them back.
    void RunWithHandlers(TNotifyEvent& onPrint, TNotifyEvent& onBeforePrint, TNotifyEvent& onAfterPrint,
                         const std::function<void()>& run);
    // Page settings between pages: orientation and bin.
    void PreparePage(TBaseReport* engine, TZarvPage* page);
    void SelectPageBin(TBaseReport* engine, TZarvPage* page);

    QString FCategory;
    QString FLastActivePage;
    std::vector<TZarvPage*> FLoadedList;
    std::unique_ptr<QStringList> FFixUpList; // alive from reading the block to ProcessLoaded
    TZarvPage* FFirstPage = nullptr;
    int32_t FCopies = 0;
    std::unique_ptr<TZarvComponentList> FPageList;
    bool FAlwaysGenerate = false;
    TZarvPrinterCollate FCollate = TZarvPrinterCollate::pcDefault;
    TZarvPrinterDuplex FDuplex = TZarvPrinterDuplex::pdDefault;
    QString FPrinter;
    TZarvPrinterResolution FResolution = TZarvPrinterResolution::prDefault;
    int32_t FMaxPages = 0;
    TZarvDataObject* FSecurityControl = nullptr;
    TZarvProjectManager* FExecProject = nullptr;
    TNotifyEvent SaveOnPrint;
    TNotifyEvent SaveBeforePrint;
    TNotifyEvent SaveAfterPrint;
};

// ---------------------------------------------------------------------------
// The project manager.

// Called when an imported item's name is taken by existing; name may be
// changed.
using TImportConflictEvent = std::function<void(TZarvProjectItem* existing, QString& name)>;

class TZarvProjectManager : public TZarvProjectItem, public IZarvProjectManager {
public:
    explicit TZarvProjectManager(TComponent* owner);
    ~TZarvProjectManager() override;

    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikProjectManager; }

    // The project file.
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& value) { FFileName = value; }
    // Reads FileName; a missing or empty file starts a new project.
    void Load();
    // A new project "Project1.zrf" with Report1 holding Page1 (the caller
    // unloads first).
    void New();
    // Writes FileName through the crash-safe save routine: the file is
    // either the whole new project or the previous file. The previous file
    // is kept as the ".~zr" backup beside FileName, as private as the
    // previous file, which replaces an older backup only once it is
    // complete (a link at that name is replaced itself, never the file it
    // leads to; a folder there stays); a backup that cannot be made leaves
    // the older one and does not stop the save.
    // A project saved under a ".~zr" name is its own backup and is only
    // replaced. A failed save raises EFileSaveError and leaves the file and
    // DataChanged as they were; a save that may not replace the file (another
    // user's in a sticky folder that is not the saver's) is refused before
    // anything is written, the backup left alone.
    void Save();
    void Unload();
    // Deletes every item.
    void Clear();
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);
    void SaveToStreamHelper(TStreamHelper& streamHelper) override;
    void LoadFromStreamHelper(TStreamHelper& streamHelper) override;
    // Writes only items (and the project).
    void ExportProject(const QString& exportFileName, const std::vector<TZarvProjectItem*>& items);
    // Adds the items of another project file; false when it is missing or
    // empty. Name clashes go to OnImportConflict, else autoReplace deletes
    // the existing item, else the imported one is renamed.
    bool ImportProject(const QString& importFileName, bool autoReplace);
    // The report and everything it needs, uncompressed, for a run.
    void ReportToStream(TZarvReport* report, TStream& stream);
    // Marks the report and every item it refers to as included.
    void SetIncluded(TZarvReport* report);
    using TZarvProjectItem::SetIncluded;
    // Makes, builds and compiles a new module for the project and every
    // project item it reaches, and connects their events. A failure raises
    // EZarvException with the compiler's message (no designer takes it).
    bool Compile();

    // Items.
    TZarvReport* NewReport();
    TZarvPage* NewGlobalPage();
    // cls: a registered descendant of TZarvDataObject.
    TZarvDataObject* NewDataObject(const TClassInfo* cls);
    void DeleteItem(TZarvProjectItem* item, bool notify);
    void ActivateReport(TZarvReport* report);
    void DeactivateReport();
    // The first report whose name (or full name) equals name, without regard
    // to case.
    TZarvReport* FindReport(const QString& name, bool isFullName) const;
    // "Name" in defRoot (or the project), or "Root.Name" with Root a page of
    // the active report, an item of the project or the project itself;
    // then the project's own component of that name; then the project when
    // the name is its own. A leading "." is ignored.
    TZarvComponent* FindZarvComponent(const QString& name, TZarvComponent* defRoot) const;
    // baseName followed by the first number from 1 that nameOwner has no
    // component of; with useCurrent, baseName is "wanted|base" and the
    // wanted name is answered when free.
    QString GetUniqueName(const QString& baseName, TComponent* nameOwner, bool useCurrent) override;
    const std::vector<TZarvReport*>& ReportList() const { return FReportList; }
    const std::vector<TZarvPage*>& GlobalPageList() const { return FGlobalPageList; }
    const std::vector<TZarvDataObject*>& DataObjectList() const { return FDataObjectList; }
    TZarvReport* ActiveReport() const { return FActiveReport; }
    void MoveChild(TZarvComponent* child, int how) override;

    // Named text parameters of a run; names compare without regard to case.
    // An empty value deletes the parameter.
    void SetParam(const QString& param, const QString& value);
    QString GetParam(const QString& param) const;
    void ClearParams();
    TStringList& Params() { return FParams; }
    const TStringList& Params() const { return FParams; }
    // The parameter values are stored in the file ("Params").
    bool StreamParamValues() const { return FStreamParamValues; }
    void SetStreamParamValues(bool value) { FStreamParamValues = value; }

    // Units: UnitsFactor is project units per inch; a factor of 1, 25.4,
    // 2.54 or 72 sets the matching unit, any other unUser; a factor not
    // above 0 is ignored.
    TPrintUnits Units() const { return FUnits; }
    void SetUnits(TPrintUnits value);
    double UnitsFactor() const override { return FUnitsFactor; }
    void SetUnitsFactor(double value);

    // Forward references, while the project is read.
    void AddForwardRef(const QString& name, TComponent* owner, const TZarvRefTarget& target);
    void AddRenameRef(const QString& origName, TZarvComponent* newInstance);
    // Fills the references waiting for target's name now.
    void RemoveForwardRefs(TZarvComponent* target);
    // Fills what can be found of the rest; drops them all.
    void FreeForwardRefs();
    int ForwardRefCount() const { return int(FForwardRefs.size()); }
    // Whether item is an imported item read under a name of its own because
    // its stored name was taken.
    bool KeepsLoadedName(const TZarvProjectItem* item) const { return item && item == FRenamedImport; }

    // State.
    bool Saved() const { return FSaved; }
    bool DataChanged() const { return FDataChanged; }
    void ClearChanged() { FDataChanged = false; }
    // Marks the project changed; the first change of a saved read-only file
    // says that another name will be asked when saving.
    void MarkChanged();
    bool IsLoading() const { return FIsLoading; }
    bool Printing() const { return FPrinting; }
    void SetPrinting(bool value) { FPrinting = value; }
    int32_t Version() const { return FVersion; }
    bool UnicodeEnabled() const { return FUnicodeEnabled; }
    const QString& LastActiveReport() const { return FLastActiveReport; }
    TZarvProjectManager* MasterProject() const { return FMasterProject; }
    void SetMasterProject(TZarvProjectManager* value) { FMasterProject = value; }
    bool NoDesigner() const { return FNoDesigner; }
    void SetNoDesigner(bool value) { FNoDesigner = value; }
    TBaseReport* BaseReport() const override { return FBaseReport; }
    void SetBaseReport(TBaseReport* value) { FBaseReport = value; }
    TZarvModuleManager& ModuleManager() { return *FModuleManager; }
    TImportConflictEvent OnImportConflict;

    // Published properties.
    const QString& AdminPassword() const { return FAdminPassword; }
    void SetAdminPassword(const QString& value) { FAdminPassword = value; }
    TStrings* Categories() const { return FCategories.get(); }
    void SetCategories(TStrings* value);
    TZarvDataObject* SecurityControl() const { return FSecurityControl; }
    void SetSecurityControl(TZarvDataObject* value);

    void DefineProperties(TFiler& filer) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    struct TForwardRef;
    class TRefWatcher;
    struct TLoadState;

    void LoadEntries(TStreamHelper& streamHelper);
    TZarvProjectItem* CreateEntryItem(uint8_t code, TStreamHelper& streamHelper);
    void WriteEntries(TStreamHelper& streamHelper);
    bool Exporting(const TZarvProjectItem* item) const;
    void ReadOwnRecord(TStreamHelper& streamHelper);
    void SkipImportedRecord(TStreamHelper& streamHelper);
    void RollBack(const TLoadState& state);
    void RestoreOwnState(const QByteArray& record);
    void DropForwardRefs();
    void Watch(TComponent* component);
    void Forget(TComponent* component);
    void ReadParams(TReader& reader);
    void WriteParams(TWriter& writer) const;
    void RemoveFromLists(const TComponent* component);
    // Each class's object properties, gathered once for one walk.
    using TClassObjectProps = std::unordered_map<const TClassInfo*, std::vector<const TPropInfo*>>;
    void MarkIncluded(TObject* object, TClassObjectProps& props);
    void WalkIncluded(TPersistent* instance, TClassObjectProps& props);

    std::vector<std::unique_ptr<TForwardRef>> FForwardRefs;
    std::vector<std::pair<QString, TZarvComponent*>> FRenameRefs;
    std::unique_ptr<TRefWatcher> FWatcher;
    QString FLastActiveReport;
    std::vector<TZarvReport*> FReportList;
    std::vector<TZarvPage*> FGlobalPageList;
    std::vector<TZarvDataObject*> FDataObjectList;
    TZarvReport* FActiveReport = nullptr;
    bool FSaved = false;
    QString FFileName;
    QString FSignature;
    bool FDataChanged = false;
    bool FPrinting = false;
    const std::vector<TZarvProjectItem*>* FExportList = nullptr;
    bool FImporting = false;
    bool FImportReplace = false;
    int32_t FVersion = 0;
    bool FUnicodeEnabled = false;
    std::unique_ptr<TStrings> FCategories;
    TStringList FParams;
    TPrintUnits FUnits = TPrintUnits::unInch;
    double FUnitsFactor = 1.0;
    bool FStreamParamValues = false;
    bool FIsLoading = false;
    TZarvProjectManager* FMasterProject = nullptr;
    bool FNoDesigner = false;
    TZarvDataObject* FSecurityControl = nullptr;
    QString FAdminPassword;
    std::vector<TZarvProjectItem*> FLoadCreated; // the items a load in progress made
    TZarvProjectItem* FRenamedImport = nullptr;  // while its block is read
    TBaseReport* FBaseReport = nullptr;
    std::unique_ptr<TZarvModuleManager> FModuleManager;
};
