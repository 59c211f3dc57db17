#pragma once
// ZvCsRpt: regions, bands and data cycling.
//
// A region (TZarvRegion) is a rectangle of a page inside which bands print
// one below the other, in one or more columns, and go on on the next page
// when the rectangle is full. A band (TZarvBand) is a strip of the region
// holding printable components; it stands at the top level of the region
// (printed once per region pass) or is controlled by an iterate band, and then
// prints at the print locations of each cycle of its controller (before the
// body, at group changes, around each row, after the body).
//
// A break is recorded as a "restart": the band that did not fit and the
// location it failed at. The page prints again while the region has a
// restart pending; bands before the restart point print again only as their
// occurrence and reprint settings allow, until the restart band is reached
// and the break is resolved.
//
// TZarvIterateBand repeats itself for every row of its data, with band
// columns, keep-together and orphan trials (a pass that prints nothing and
// leaves the data where it was), a row limit, and the conversation
// "CalcNewData" spoken once per printed row. TZarvDataBand takes its rows
// from a data view, optionally as the detail of a master view.
// TZarvDataCycle advances a data view by one row each time its page prints,
// so that the page repeats once per row.
//
// All lengths are inches; comparisons of lengths use the tolerant
// comparisons of ZvUtil (0.0001 inch). The designer display is not part of
// this program.
#include "report/model/ZvClass.h"
#include "report/model/ZvEvent.h"
#include "report/model/ZvUtil.h"

#include <QString>

#include <memory>
#include <vector>

class TClassInfo;

enum class TBandPrintLoc : uint8_t {
    plBodyHeader,
    plGroupHeader,
    plRowHeader,
    plMaster,
    plDetail,
    plRowFooter,
    plGroupFooter,
    plBodyFooter,
};
enum class TBandPrintOcc : uint8_t { poFirst, poNewPage, poNewColumn };
enum class TBandPositionMode : uint8_t { pmOffset, pmOverlay, pmAbsolute };
using TBandPrintLocSet = TEnumSet<TBandPrintLoc, uint8_t>;
using TBandPrintOccSet = TEnumSet<TBandPrintOcc, uint8_t>;

constexpr uint8_t kAllPrintLocs = 0xFF;

class TZarvBand;
class TZarvIterateBand;

// The class infos of the region classes, registered (with their published
// properties) on the first call; the data unit's registration procedure
// announces them.
struct TRegionClasses {
    const TClassInfo* Region = nullptr;
    const TClassInfo* Band = nullptr;
    const TClassInfo* DataBand = nullptr;
    const TClassInfo* DataCycle = nullptr;
};
TRegionClasses RegisterRegionClasses();

// Where and when a band prints.
class TZarvBandStyle : public TPersistent {
public:
    TBandPrintLocSet PrintLoc() const { return FPrintLoc; }
    void SetPrintLoc(TBandPrintLocSet value) { FPrintLoc = value; }
    TBandPrintOccSet PrintOcc() const { return FPrintOcc; }
    void SetPrintOcc(TBandPrintOccSet value) { FPrintOcc = value; }
    // The sets as their stream bits.
    uint8_t PrintLocBits() const { return FPrintLoc.ToBits(); }
    void SetPrintLocBits(uint8_t value) { FPrintLoc = TBandPrintLocSet::FromBits(value); }
    uint8_t PrintOccBits() const { return FPrintOcc.ToBits(); }
    void SetPrintOccBits(uint8_t value) { FPrintOcc = TBandPrintOccSet::FromBits(value); }

protected:
    void AssignTo(TPersistent* dest) const override;

private:
    TBandPrintLocSet FPrintLoc;
    TBandPrintOccSet FPrintOcc{TBandPrintOcc::poFirst};
};

// The band search of one PrintBands call.
struct TBandSearchRec {
    int Index = -1;
    TZarvIterateBand* ControllerBand = nullptr;
    TBandPrintLoc PrintLoc = TBandPrintLoc::plBodyHeader;
};

class TZarvRegion : public TZarvContainerControl {
public:
    explicit TZarvRegion(TComponent* owner);
    ~TZarvRegion() override;

    int Columns() const { return FColumns; }
    // Values below 1 and the current value are ignored.
    void SetColumns(int value);
    double ColumnSpacing() const { return FColumnSpacing; }
    void SetColumnSpacing(double value);

    // Designer only: a band shown with a style other than its own (a style
    // being edited, before it is applied). The region keeps its own copy of
    // the style (null drops it); both are dropped when the band goes.
    TZarvBand* ReplaceBand() const { return FReplaceBand; }
    void SetReplaceBand(TZarvBand* band);
    TZarvBandStyle* ReplaceBandStyle() const { return FReplaceBandStyle.get(); }
    void SetReplaceBandStyle(const TZarvBandStyle* style);

    // Geometry of the columns, inches.
    double ColumnWidth() const;
    double ColumnWidthFor(double regionWidth) const;
    double ColumnOffset() const;
    double SpaceLeft() const { return GetHeight() - PrintTop; }
    int CurrentColumn() const { return FCurrentColumn; }

    // Prints the bands of controller at loc (the top-level bands for none).
    void PrintBands(TBaseReport* report, TZarvIterateBand* controller, TBandPrintLoc loc);
    TZarvBand* FirstSubBand(TBandSearchRec& rec, TZarvIterateBand* controller, TBandPrintLoc loc);
    // The next band after rec.Index that prints at rec's controller and
    // location. In the designer (InDesigner set) ReplaceBand is judged by
    // ReplaceBandStyle instead of its own style.
    TZarvBand* NextSubBand(TBandSearchRec& rec);
    void Restart(TZarvBand* band);
    void UndoRestart();
    void PostponeRestart();
    void SaveState();
    void RestoreState();
    void PushBandSearch();
    void PopBandSearch();

    bool AcceptChild(TZarvComponentClass childClass) const override;
    bool GetDonePrinting() const override;
    void BeforeReport() override;
    void PrintAll(TBaseReport* report) override;
    void BeginDataPass() override {}
    void EndDataPass() override {}

    // Layout state, read and written by the bands.
    double PrintTop = 0; // offset from the region's top of the next band
    double SavePrintTop = 0;
    TBandSearchRec BandSearchRec;
    TZarvBand* RestartBand = nullptr;
    TBandPrintLoc RestartLoc = TBandPrintLoc::plBodyHeader;
    bool FRestarting = false;
    bool ForceRestart = false;
    bool FTopOfRegion = false;
    TBandPrintLoc PrintLoc = TBandPrintLoc::plDetail;
    TBandPrintOcc PrintOcc = TBandPrintOcc::poFirst;
    int FCurrentColumn = 1;
    // Counts the column passes of the run (a new page or column each).
    int PassNumber = 0;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // The style a band is searched with.
    const TZarvBandStyle& SearchStyle(const TZarvBand& band) const;

    TZarvBand* FReplaceBand = nullptr;
    std::unique_ptr<TZarvBandStyle> FReplaceBandStyle;
    std::vector<TBandSearchRec> FBandSearchSave;
    int FColumns = 1;
    double FColumnSpacing = 0;
};

class TZarvBand : public TZarvContainerControl {
public:
    explicit TZarvBand(TComponent* owner);
    ~TZarvBand() override;

    TZarvRegion* Region() const;

    bool AllowSplit() const { return FAllowSplit; }
    void SetAllowSplit(bool value) { FAllowSplit = value; }
    TZarvBandStyle* BandStyle() const { return FBandStyle.get(); }
    void SetBandStyle(TZarvBandStyle* value);
    TZarvIterateBand* ControllerBand() const { return FControllerBand; }
    // An iterate band of another region, and one whose controller chain
    // leads back to this band, are ignored.
    void SetControllerBand(TZarvIterateBand* value);
    bool DesignerHide() const { return FDesignerHide; }
    void SetDesignerHide(bool value) { FDesignerHide = value; }
    bool FinishNewPage() const { return FFinishNewPage; }
    void SetFinishNewPage(bool value) { FFinishNewPage = value; }
    // A data view (TZarvBaseDataView); anything else is refused.
    TZarvComponent* GroupDataView() const { return FGroupDataView; }
    void SetGroupDataView(TZarvComponent* value);
    const QString& GroupKey() const { return FGroupKey; }
    void SetGroupKey(const QString& value) { FGroupKey = value; }
    double MinHeightLeft() const { return FMinHeightLeft; }
    void SetMinHeightLeft(double value) { FMinHeightLeft = value; }
    TBandPositionMode PositionMode() const { return FPositionMode; }
    void SetPositionMode(TBandPositionMode value) { FPositionMode = value; }
    double PositionValue() const { return FPositionValue; }
    void SetPositionValue(double value) { FPositionValue = value; }
    TBandPrintLocSet ReprintLocs() const { return FReprintLocs; }
    void SetReprintLocs(TBandPrintLocSet value) { FReprintLocs = value; }
    uint8_t ReprintLocBits() const { return FReprintLocs.ToBits(); }
    void SetReprintLocBits(uint8_t value) { FReprintLocs = TBandPrintLocSet::FromBits(value); }
    bool StartNewPage() const { return FStartNewPage; }
    void SetStartNewPage(bool value) { FStartNewPage = value; }
    TZarvStringEvent* OnGetGroup() const { return FOnGetGroup.get(); }
    void SetOnGetGroup(TZarvStringEvent* value);

    // Trial passes: a band already saving raises "SaveState called while
    // already saving.", one not saving "RestoreState called while not
    // saving.".
    virtual void SaveState();
    virtual void RestoreState();
    virtual bool IsSaving() const;
    virtual void CheckNewData() {}
    virtual void ResetGroup() { LastGroupValue.clear(); }
    virtual void PositionBand();
    // The group value of the current row ("|part|part|"), built from
    // GroupKey and rewritten by OnGetGroup.
    QString GroupValue();

    bool AcceptParent(TZarvComponentClass parentClass) const override;
    void BeforeReport() override;
    void PrintAll(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    bool CanSelect(TZarvComponent* item) const override;
    void ParentResized(bool widthChanged, bool heightChanged, double oldWidth, double newWidth,
                       double oldHeight, double newHeight) override;
    double GetLeft() const override;
    double GetWidth() const override;

    QString LastGroupValue;
    bool OnCurrPage = false;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // The band's width in a region of the given width.
    virtual double WidthInRegion(double regionWidth) const;
    // Whether this band prints again at the break pending in its region.
    virtual bool ReprintsAtBreak() const;

private:
    // The band's print after the break bookkeeping.
    void PrintBand(TBaseReport* report, TZarvRegion& region);
    // The group value of the row after the current one.
    QString NextGroupValue();
    void RequestBreak(TZarvRegion& region);
    bool MustPrintHere(const TZarvRegion& region) const;
    bool ControllerWouldCycle(const TZarvIterateBand* value) const;

    TZarvIterateBand* FControllerBand = nullptr;
    TBandPositionMode FPositionMode = TBandPositionMode::pmOffset;
    double FPositionValue = 0;
    std::unique_ptr<TZarvBandStyle> FBandStyle;
    TZarvComponent* FGroupDataView = nullptr;
    QString FGroupKey;
    TBandPrintLocSet FReprintLocs = TBandPrintLocSet::FromBits(kAllPrintLocs);
    bool FSaving = false;
    bool FStartNewPage = false;
    bool FFinishNewPage = false;
    bool FDesignerHide = false;
    bool FAllowSplit = false;
    double FMinHeightLeft = 0;
    bool FDoSplit = false;
    // The band broke without printing, in the region pass FRestartPass.
    bool FRestartedEmpty = false;
    int FRestartPass = 0;
    std::unique_ptr<TZarvStringEvent> FOnGetGroup;

    friend class TZarvIterateBand;
};

class TZarvIterateBand : public TZarvBand {
public:
    explicit TZarvIterateBand(TComponent* owner);
    ~TZarvIterateBand() override;

    int Columns() const { return FColumns; }
    void SetColumns(int value);
    double ColumnSpacing() const { return FColumnSpacing; }
    void SetColumnSpacing(double value);
    const QString& DetailKey() const { return FDetailKey; }
    void SetDetailKey(const QString& value) { FDetailKey = value; }
    bool KeepBodyTogether() const { return FKeepBodyTogether; }
    void SetKeepBodyTogether(bool value) { FKeepBodyTogether = value; }
    bool KeepRowTogether() const { return FKeepRowTogether; }
    void SetKeepRowTogether(bool value) { FKeepRowTogether = value; }
    int MaxRows() const { return FMaxRows; }
    void SetMaxRows(int value) { FMaxRows = value; }
    bool InitToFirst() const { return FInitToFirst; }
    void SetInitToFirst(bool value) { FInitToFirst = value; }
    int OrphanRows() const { return FOrphanRows; }
    void SetOrphanRows(int value) { FOrphanRows = value; }
    // Stored; no behaviour.
    int WidowRows() const { return FWidowRows; }
    void SetWidowRows(int value) { FWidowRows = value; }
    TBandPrintLoc LocOnRestart() const { return FLocOnRestart; }
    int CurrentColumn() const { return FCurrentColumn; }
    const std::vector<TZarvBand*>& ControlledList() const { return FControlledList; }

    // The rows.
    virtual void FirstRow() = 0;
    virtual void NextRow() = 0;
    virtual void CurrentRow() = 0;
    virtual bool NoMoreRows() = 0;
    virtual bool RowsLeft(int reqRows) = 0;

    void PrintAll(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void AddListener(const QString& conversation, const TZarvListenMethod& method) override;
    void RemoveListener(const QString& conversation, const TZarvListenMethod& method) override;
    bool Habla(const QString& conversation) const override;
    double GetLeft() const override;
    void CheckNewData() override;
    void PositionBand() override;

    bool NewData = false;
    bool Active = false;
    double SaveLastTop = 0;
    double SavePriorTop = 0;
    double SaveLastBottom = 0;
    int SaveRegionColumn = 0;

protected:
    double WidthInRegion(double regionWidth) const override;
    bool ReprintsAtBreak() const override;

private:
    bool PrintLocation(TBaseReport* report, TZarvRegion& region, TBandPrintLoc loc);
    bool PrintRow(TBaseReport* report, TZarvRegion& region);
    bool PrintRowTogether(TBaseReport* report, TZarvRegion& region);
    bool PrintBody(TBaseReport* report, TZarvRegion& region, int rowLimit, bool trial);
    // The body from its header on; rowLimit > 0 ends it true after that
    // many rows.
    bool PrintRows(TBaseReport* report, TZarvRegion& region, int rowLimit);
    void AddControlled(TZarvBand* band);
    void RemoveControlled(TZarvBand* band);

    std::vector<TZarvBand*> FControlledList;
    std::unique_ptr<TZarvMethodList> CalcNewDataListenList;
    bool FKeepBodyTogether = false;
    bool FKeepRowTogether = false;
    int FOrphanRows = 0;
    int FWidowRows = 0;
    TBandPrintLoc FLocOnRestart = TBandPrintLoc::plBodyHeader;
    int FMaxRows = 0;
    bool FInitToFirst = true;
    int FColumns = 1;
    double FColumnSpacing = 0;
    int FCurrentColumn = 0;
    QString FDetailKey;

    friend class TZarvBand;
};

class TZarvDataBand : public TZarvIterateBand {
public:
    explicit TZarvDataBand(TComponent* owner);
    ~TZarvDataBand() override;

    // Data views (TZarvBaseDataView); anything else is refused.
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    TZarvComponent* MasterDataView() const { return FMasterDataView; }
    void SetMasterDataView(TZarvComponent* value);
    const QString& MasterKey() const { return FMasterKey; }
    void SetMasterKey(const QString& value) { FMasterKey = value; }
    const QString& SortKey() const { return FSortKey; }
    void SetSortKey(const QString& value) { FSortKey = value; }

    void FirstRow() override;
    void NextRow() override;
    void CurrentRow() override;
    bool NoMoreRows() override;
    bool RowsLeft(int reqRows) override;
    void SaveState() override;
    void RestoreState() override;
    bool IsSaving() const override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvComponent* FDataView = nullptr;
    TZarvComponent* FMasterDataView = nullptr;
    QString FMasterKey;
    QString FSortKey;
};

class TZarvDataCycle : public TZarvComponent {
public:
    explicit TZarvDataCycle(TComponent* owner);
    ~TZarvDataCycle() override;

    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    TZarvComponent* MasterDataView() const { return FMasterDataView; }
    void SetMasterDataView(TZarvComponent* value);
    const QString& DetailKey() const { return FDetailKey; }
    void SetDetailKey(const QString& value) { FDetailKey = value; }
    bool InitToFirst() const { return FInitToFirst; }
    void SetInitToFirst(bool value) { FInitToFirst = value; }
    const QString& MasterKey() const { return FMasterKey; }
    void SetMasterKey(const QString& value) { FMasterKey = value; }
    int MaxRows() const { return FMaxRows; }
    void SetMaxRows(int value) { FMaxRows = value; }
    const QString& SortKey() const { return FSortKey; }
    void SetSortKey(const QString& value) { FSortKey = value; }
    int RowCount() const { return FRowCount; }

    void BeforeReport() override;
    // Takes the next row and starts a data pass of the page.
    void Print(TBaseReport* report) override;
    bool GetDonePrinting() const override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvComponent* FDataView = nullptr;
    QString FDetailKey;
    bool FInitToFirst = true;
    TZarvComponent* FMasterDataView = nullptr;
    QString FMasterKey;
    int FMaxRows = 0;
    QString FSortKey;
    int FRowCount = 0;
    bool FActive = false;
};
