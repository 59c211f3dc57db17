#include "report/components/ZvCsRpt.h"

#include "platform/objects/ClassRegistry.h"
#include "report/components/ComponentTypes_p.h"
#include "report/components/DataText_p.h"
#include "report/components/ZvCsStd.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <algorithm>

namespace {

TZarvBaseDataView* AsView(TZarvComponent* component)
{
    return dynamic_cast<TZarvBaseDataView*>(component);
}

TZarvComponent* DataViewOrNull(TZarvComponent* value)
{
    return IsDataView(value) ? value : nullptr;
}

bool IsCalcNewData(const QString& conversation)
{
    return conversation.compare(QLatin1String("CalcNewData"), Qt::CaseInsensitive) == 0;
}

const TTypeInfo& PrintLocType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TBandPrintLoc"),
        {QStringLiteral("plBodyHeader"), QStringLiteral("plGroupHeader"), QStringLiteral("plRowHeader"),
         QStringLiteral("plMaster"), QStringLiteral("plDetail"), QStringLiteral("plRowFooter"),
         QStringLiteral("plGroupFooter"), QStringLiteral("plBodyFooter")});
    return type;
}

const TTypeInfo& PrintLocSetType()
{
    static const TTypeInfo type = MakeSetType(QStringLiteral("TBandPrintLocSet"), PrintLocType());
    return type;
}

const TTypeInfo& PrintOccSetType()
{
    static const TTypeInfo element =
        MakeEnumType(QStringLiteral("TBandPrintOcc"),
                     {QStringLiteral("poFirst"), QStringLiteral("poNewPage"), QStringLiteral("poNewColumn")});
    static const TTypeInfo type = MakeSetType(QStringLiteral("TBandPrintOccSet"), element);
    return type;
}

const TTypeInfo& PositionModeType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TBandPositionMode"),
                     {QStringLiteral("pmOffset"), QStringLiteral("pmOverlay"), QStringLiteral("pmAbsolute")});
    return type;
}

// Width of one of columns side by side in width, spacing between them.
double ColumnWidthOf(double width, int columns, double spacing)
{
    return (width - (columns - 1) * spacing) / columns;
}

// Clears PrintingBand when the band that set it leaves, also by an
// exception.
class TPrintingBandGuard {
public:
    explicit TPrintingBandGuard(const TZarvBand* band) : FBand(band) {}
    ~TPrintingBandGuard()
    {
        if (PrintingBand == FBand)
            PrintingBand = nullptr;
    }

private:
    const TZarvBand* FBand;
};

} // namespace

// ---------------------------------------------------------------------------
// Registration.

TRegionClasses RegisterRegionClasses()
{
    TRegionClasses classes;
    if (const TClassInfo* region = FindClass(QStringLiteral("TZarvRegion"))) {
        classes.Region = region;
        classes.Band = FindClass(QStringLiteral("TZarvBand"));
        classes.DataBand = FindClass(QStringLiteral("TZarvDataBand"));
        classes.DataCycle = FindClass(QStringLiteral("TZarvDataCycle"));
        return classes;
    }
    const TTypeInfo& viewType = TypeInfoClass(QStringLiteral("TZarvBaseDataView"));

    TClassInfo& style =
        RegisterClass<TZarvBandStyle>(QStringLiteral("TZarvBandStyle"), QStringLiteral("TPersistent"));
    PublishProperty(style, QStringLiteral("PrintLoc"), PrintLocSetType(), &TZarvBandStyle::PrintLocBits,
                    &TZarvBandStyle::SetPrintLocBits);
    PublishProperty(style, QStringLiteral("PrintOcc"), PrintOccSetType(), &TZarvBandStyle::PrintOccBits,
                    &TZarvBandStyle::SetPrintOccBits)
        .WithDefault(1);

    TClassInfo& region =
        RegisterClass<TZarvRegion>(QStringLiteral("TZarvRegion"), QStringLiteral("TZarvContainerControl"));
    PublishProperty(region, QStringLiteral("Left"), ZarvUnitsType(), &TZarvControl::GetLeft,
                    &TZarvControl::SetLeft);
    PublishProperty(region, QStringLiteral("Top"), ZarvUnitsType(), &TZarvControl::GetTop,
                    &TZarvControl::SetTop);
    PublishProperty(region, QStringLiteral("Width"), ZarvUnitsType(), &TZarvControl::GetWidth,
                    &TZarvControl::SetWidth);
    PublishProperty(region, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishProperty(region, QStringLiteral("Columns"), TypeInfoInteger(), &TZarvRegion::Columns,
                    &TZarvRegion::SetColumns)
        .WithDefault(1);
    PublishProperty(region, QStringLiteral("ColumnSpacing"), ZarvUnitsType(), &TZarvRegion::ColumnSpacing,
                    &TZarvRegion::SetColumnSpacing);

    TClassInfo& band =
        RegisterClass<TZarvBand>(QStringLiteral("TZarvBand"), QStringLiteral("TZarvContainerControl"));
    PublishProperty(band, QStringLiteral("AllowSplit"), TypeInfoBoolean(), &TZarvBand::AllowSplit,
                    &TZarvBand::SetAllowSplit);
    PublishProperty(band, QStringLiteral("BandStyle"), TypeInfoClass(QStringLiteral("TZarvBandStyle")),
                    &TZarvBand::BandStyle, &TZarvBand::SetBandStyle);
    PublishProperty(band, QStringLiteral("ControllerBand"), TypeInfoClass(QStringLiteral("TZarvIterateBand")),
                    &TZarvBand::ControllerBand, &TZarvBand::SetControllerBand);
    PublishProperty(band, QStringLiteral("DesignerHide"), TypeInfoBoolean(), &TZarvBand::DesignerHide,
                    &TZarvBand::SetDesignerHide);
    PublishProperty(band, QStringLiteral("FinishNewPage"), TypeInfoBoolean(), &TZarvBand::FinishNewPage,
                    &TZarvBand::SetFinishNewPage);
    PublishProperty(band, QStringLiteral("GroupDataView"), viewType, &TZarvBand::GroupDataView,
                    &TZarvBand::SetGroupDataView);
    PublishProperty(band, QStringLiteral("GroupKey"), TypeInfoString(), &TZarvBand::GroupKey,
                    &TZarvBand::SetGroupKey);
    PublishProperty(band, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishProperty(band, QStringLiteral("MinHeightLeft"), ZarvUnitsType(), &TZarvBand::MinHeightLeft,
                    &TZarvBand::SetMinHeightLeft);
    PublishProperty(band, QStringLiteral("PositionMode"), PositionModeType(), &TZarvBand::PositionMode,
                    &TZarvBand::SetPositionMode);
    PublishProperty(band, QStringLiteral("PositionValue"), ZarvUnitsType(), &TZarvBand::PositionValue,
                    &TZarvBand::SetPositionValue);
    PublishProperty(band, QStringLiteral("ReprintLocs"), PrintLocSetType(), &TZarvBand::ReprintLocBits,
                    &TZarvBand::SetReprintLocBits)
        .WithDefault(kAllPrintLocs);
    PublishProperty(band, QStringLiteral("StartNewPage"), TypeInfoBoolean(), &TZarvBand::StartNewPage,
                    &TZarvBand::SetStartNewPage);
    PublishProperty(band, QStringLiteral("OnGetGroup"), TypeInfoClass(QStringLiteral("TZarvStringEvent")),
                    &TZarvBand::OnGetGroup, &TZarvBand::SetOnGetGroup)
        .WithStored(
            [](const TObject& o) { return dynamic_cast<const TZarvBand&>(o).OnGetGroup() != nullptr; });

    TClassInfo& iterate =
        RegisterClass<TZarvIterateBand>(QStringLiteral("TZarvIterateBand"), QStringLiteral("TZarvBand"));
    PublishProperty(iterate, QStringLiteral("Columns"), TypeInfoInteger(), &TZarvIterateBand::Columns,
                    &TZarvIterateBand::SetColumns)
        .WithDefault(1);
    PublishProperty(iterate, QStringLiteral("ColumnSpacing"), ZarvUnitsType(),
                    &TZarvIterateBand::ColumnSpacing, &TZarvIterateBand::SetColumnSpacing);
    PublishProperty(iterate, QStringLiteral("DetailKey"), TypeInfoString(), &TZarvIterateBand::DetailKey,
                    &TZarvIterateBand::SetDetailKey);
    PublishProperty(iterate, QStringLiteral("KeepBodyTogether"), TypeInfoBoolean(),
                    &TZarvIterateBand::KeepBodyTogether, &TZarvIterateBand::SetKeepBodyTogether);
    PublishProperty(iterate, QStringLiteral("KeepRowTogether"), TypeInfoBoolean(),
                    &TZarvIterateBand::KeepRowTogether, &TZarvIterateBand::SetKeepRowTogether);
    PublishProperty(iterate, QStringLiteral("MaxRows"), TypeInfoInteger(), &TZarvIterateBand::MaxRows,
                    &TZarvIterateBand::SetMaxRows);
    PublishProperty(iterate, QStringLiteral("InitToFirst"), TypeInfoBoolean(), &TZarvIterateBand::InitToFirst,
                    &TZarvIterateBand::SetInitToFirst)
        .WithDefault(1);
    PublishProperty(iterate, QStringLiteral("OrphanRows"), TypeInfoInteger(), &TZarvIterateBand::OrphanRows,
                    &TZarvIterateBand::SetOrphanRows);
    PublishProperty(iterate, QStringLiteral("WidowRows"), TypeInfoInteger(), &TZarvIterateBand::WidowRows,
                    &TZarvIterateBand::SetWidowRows);

    TClassInfo& dataBand =
        RegisterClass<TZarvDataBand>(QStringLiteral("TZarvDataBand"), QStringLiteral("TZarvIterateBand"));
    PublishProperty(dataBand, QStringLiteral("DataView"), viewType, &TZarvDataBand::DataView,
                    &TZarvDataBand::SetDataView);
    PublishProperty(dataBand, QStringLiteral("MasterDataView"), viewType, &TZarvDataBand::MasterDataView,
                    &TZarvDataBand::SetMasterDataView);
    PublishProperty(dataBand, QStringLiteral("MasterKey"), TypeInfoString(), &TZarvDataBand::MasterKey,
                    &TZarvDataBand::SetMasterKey);
    PublishProperty(dataBand, QStringLiteral("SortKey"), TypeInfoString(), &TZarvDataBand::SortKey,
                    &TZarvDataBand::SetSortKey);

    TClassInfo& cycle =
        RegisterClass<TZarvDataCycle>(QStringLiteral("TZarvDataCycle"), QStringLiteral("TZarvComponent"));
    PublishProperty(cycle, QStringLiteral("DataView"), viewType, &TZarvDataCycle::DataView,
                    &TZarvDataCycle::SetDataView);
    PublishProperty(cycle, QStringLiteral("DetailKey"), TypeInfoString(), &TZarvDataCycle::DetailKey,
                    &TZarvDataCycle::SetDetailKey);
    PublishProperty(cycle, QStringLiteral("InitToFirst"), TypeInfoBoolean(), &TZarvDataCycle::InitToFirst,
                    &TZarvDataCycle::SetInitToFirst)
        .WithDefault(1);
    PublishProperty(cycle, QStringLiteral("MasterDataView"), viewType, &TZarvDataCycle::MasterDataView,
                    &TZarvDataCycle::SetMasterDataView);
    PublishProperty(cycle, QStringLiteral("MasterKey"), TypeInfoString(), &TZarvDataCycle::MasterKey,
                    &TZarvDataCycle::SetMasterKey);
    PublishProperty(cycle, QStringLiteral("MaxRows"), TypeInfoInteger(), &TZarvDataCycle::MaxRows,
                    &TZarvDataCycle::SetMaxRows);
    PublishProperty(cycle, QStringLiteral("SortKey"), TypeInfoString(), &TZarvDataCycle::SortKey,
                    &TZarvDataCycle::SetSortKey);

    classes.Region = &region;
    classes.Band = &band;
    classes.DataBand = &dataBand;
    classes.DataCycle = &cycle;
    return classes;
}

// ---------------------------------------------------------------------------
// TZarvBandStyle.

void TZarvBandStyle::AssignTo(TPersistent* dest) const
{
    if (auto* style = dynamic_cast<TZarvBandStyle*>(dest)) {
        style->FPrintLoc = FPrintLoc;
        style->FPrintOcc = FPrintOcc;
        return;
    }
    TPersistent::AssignTo(dest);
}

// ---------------------------------------------------------------------------
// TZarvRegion.

TZarvRegion::TZarvRegion(TComponent* owner) : TZarvContainerControl(owner)
{
    IncludeStyle(TZarvComponentStyle::rcsContainer);
    SetWidth(3.0);
    SetHeight(3.0);
}

TZarvRegion::~TZarvRegion() = default;

double TZarvRegion::ColumnWidthFor(double regionWidth) const
{
    return ColumnWidthOf(regionWidth, FColumns, FColumnSpacing);
}

double TZarvRegion::ColumnWidth() const
{
    return ColumnWidthFor(GetWidth());
}

double TZarvRegion::ColumnOffset() const
{
    return (ColumnWidth() + FColumnSpacing) * (FCurrentColumn - 1);
}

namespace {

// Runs change, then lets every band of region follow its width change.
template <class F> void RelayoutBands(TZarvRegion* region, F change)
{
    std::vector<std::pair<TZarvBand*, double>> before;
    for (int i = 0; i < region->GetChildCount(); ++i) {
        if (auto* band = dynamic_cast<TZarvBand*>(region->GetChild(i)))
            before.emplace_back(band, band->GetWidth());
    }
    change();
    for (const auto& [band, oldWidth] : before)
        band->ResizeChildren(true, false, oldWidth, band->GetWidth(), 0, 0);
    region->ResizeAll();
}

} // namespace

void TZarvRegion::SetColumns(int value)
{
    if (value < 1 || value == FColumns)
        return;
    RelayoutBands(this, [&] { FColumns = value; });
}

void TZarvRegion::SetColumnSpacing(double value)
{
    if (value == FColumnSpacing)
        return;
    RelayoutBands(this, [&] { FColumnSpacing = value; });
}

bool TZarvRegion::AcceptChild(TZarvComponentClass childClass) const
{
    return childClass && childClass->InheritsFrom(QStringLiteral("TZarvBand"));
}

bool TZarvRegion::GetDonePrinting() const
{
    if (RestartBand)
        return false;
    return TZarvContainerControl::GetDonePrinting();
}

void TZarvRegion::BeforeReport()
{
    PrintOcc = TBandPrintOcc::poFirst;
    RestartBand = nullptr;
    ForceRestart = false;
    FRestarting = false;
    PassNumber = 0;
    TZarvContainerControl::BeforeReport();
}

void TZarvRegion::PrintAll(TBaseReport* report)
{
    try {
        BeforePrint();
        if (AllowPrint()) {
            FTopOfRegion = true;
            for (int i = 0; i < GetChildCount(); ++i) {
                if (auto* band = dynamic_cast<TZarvBand*>(GetChild(i)))
                    band->OnCurrPage = false;
                if (auto* iterate = dynamic_cast<TZarvIterateBand*>(GetChild(i)))
                    iterate->SaveLastBottom = 0;
            }
            for (int column = 1; column <= FColumns; ++column) {
                FCurrentColumn = column;
                FRestarting = false;
                PrintTop = 0;
                ++PassNumber;
                PrintBands(report, nullptr, TBandPrintLoc::plDetail);
                if (!FRestarting)
                    break;
                if (column == FColumns) {
                    PrintOcc = TBandPrintOcc::poNewPage;
                    break;
                }
                PrintOcc = TBandPrintOcc::poNewColumn;
            }
            FCurrentColumn = 1;
        }
    } catch (...) {
        FCurrentColumn = 1;
        UnwindPrintDepth();
        throw;
    }
    AfterPrint();
}

void TZarvRegion::PrintBands(TBaseReport* report, TZarvIterateBand* controller, TBandPrintLoc loc)
{
    PrintLoc = loc;
    TZarvBand* band = FirstSubBand(BandSearchRec, controller, loc);
    while (band) {
        if (!band->ControllerBand())
            PrintLoc = TBandPrintLoc::plDetail;
        if (dynamic_cast<TZarvIterateBand*>(band)) {
            PushBandSearch();
            try {
                band->PrintAll(report);
            } catch (...) {
                PopBandSearch();
                throw;
            }
            PopBandSearch();
        } else {
            band->PrintAll(report);
        }
        FTopOfRegion = false;
        if (FRestarting)
            return;
        band = NextSubBand(BandSearchRec);
    }
}

TZarvBand* TZarvRegion::FirstSubBand(TBandSearchRec& rec, TZarvIterateBand* controller, TBandPrintLoc loc)
{
    rec.PrintLoc = loc;
    rec.ControllerBand = controller;
    rec.Index = -1;
    return NextSubBand(rec);
}

TZarvBand* TZarvRegion::NextSubBand(TBandSearchRec& rec)
{
    for (int i = rec.Index + 1; i < GetChildCount(); ++i) {
        auto* band = dynamic_cast<TZarvBand*>(GetChild(i));
        if (!band || band->ControllerBand() != rec.ControllerBand)
            continue;
        if (!band->ControllerBand() || SearchStyle(*band).PrintLoc().Contains(rec.PrintLoc)) {
            rec.Index = i;
            return band;
        }
    }
    rec.Index = GetChildCount();
    return nullptr;
}

const TZarvBandStyle& TZarvRegion::SearchStyle(const TZarvBand& band) const
{
    if (InDesigner && &band == FReplaceBand && FReplaceBandStyle)
        return *FReplaceBandStyle;
    return *band.BandStyle();
}

void TZarvRegion::SetReplaceBand(TZarvBand* band)
{
    ReferenceComponent(this, FReplaceBand, band);
}

void TZarvRegion::SetReplaceBandStyle(const TZarvBandStyle* style)
{
    if (!style) {
        FReplaceBandStyle.reset();
        return;
    }
    if (!FReplaceBandStyle)
        FReplaceBandStyle = std::make_unique<TZarvBandStyle>();
    FReplaceBandStyle->Assign(style);
}

void TZarvRegion::Restart(TZarvBand* band)
{
    RestartBand = band;
    FRestarting = true;
    ForceRestart = false;
}

void TZarvRegion::UndoRestart()
{
    RestartBand = nullptr;
    FRestarting = false;
}

void TZarvRegion::PostponeRestart()
{
    UndoRestart();
    ForceRestart = true;
}

void TZarvRegion::SaveState()
{
    SavePrintTop = PrintTop;
}

void TZarvRegion::RestoreState()
{
    PrintTop = SavePrintTop;
}

void TZarvRegion::PushBandSearch()
{
    FBandSearchSave.push_back(BandSearchRec);
    BandSearchRec = TBandSearchRec{};
}

void TZarvRegion::PopBandSearch()
{
    if (FBandSearchSave.empty()) {
        BandSearchRec = TBandSearchRec{};
        return;
    }
    BandSearchRec = FBandSearchSave.back();
    FBandSearchSave.pop_back();
}

void TZarvRegion::Notification(TComponent* component, TOperation operation)
{
    TZarvContainerControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == RestartBand)
        RestartBand = nullptr;
    if (component == FReplaceBand) {
        FReplaceBand = nullptr;
        FReplaceBandStyle.reset();
    }
}

// ---------------------------------------------------------------------------
// TZarvBand.

TZarvBand::TZarvBand(TComponent* owner)
    : TZarvContainerControl(owner), FBandStyle(std::make_unique<TZarvBandStyle>())
{
    IncludeStyle(TZarvComponentStyle::rcsContainer);
    SetHeight(0.2);
    // Top vertically, stretched horizontally.
    SetAnchor(TZarvAnchor(0x03));
}

TZarvBand::~TZarvBand()
{
    SetControllerBand(nullptr);
}

TZarvRegion* TZarvBand::Region() const
{
    return dynamic_cast<TZarvRegion*>(Parent());
}

void TZarvBand::SetBandStyle(TZarvBandStyle* value)
{
    if (value && value != FBandStyle.get())
        FBandStyle->Assign(value);
}

bool TZarvBand::ControllerWouldCycle(const TZarvIterateBand* value) const
{
    // A chain that already loops cannot come from this setter; the step
    // limit only keeps the walk finite.
    const TZarvBand* band = value;
    for (int steps = 0; band && steps < 10000; ++steps) {
        if (band == this)
            return true;
        band = band->FControllerBand;
    }
    return false;
}

void TZarvBand::SetControllerBand(TZarvIterateBand* value)
{
    if (value == FControllerBand)
        return;
    // A controller elsewhere, or one controlled (through its chain) by this
    // band, would have the trial passes ask each other forever.
    if (value && (value->Parent() != Parent() || ControllerWouldCycle(value)))
        return;
    if (FControllerBand)
        FControllerBand->RemoveControlled(this);
    ReferenceComponent(static_cast<TComponent*>(this), FControllerBand, value);
    if (FControllerBand)
        FControllerBand->AddControlled(this);
    Invalidate();
}

void TZarvBand::SetGroupDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FGroupDataView, DataViewOrNull(value));
}

void TZarvBand::SetOnGetGroup(TZarvStringEvent* value)
{
    SetOwnedEvent(FOnGetGroup, value, this, "OnGetGroup");
}

void TZarvBand::SaveState()
{
    if (IsSaving())
        ZarvError(Translate(QStringLiteral("SaveState called while already saving.")));
    FSaving = true;
}

void TZarvBand::RestoreState()
{
    if (!IsSaving())
        ZarvError(Translate(QStringLiteral("RestoreState called while not saving.")));
    FSaving = false;
}

bool TZarvBand::IsSaving() const
{
    if (FSaving)
        return true;
    return FControllerBand && FControllerBand->IsSaving();
}

void TZarvBand::PositionBand()
{
    TZarvRegion* region = Region();
    if (FPositionMode == TBandPositionMode::pmAbsolute)
        SetTop(FPositionValue);
    else
        SetTop((region ? region->PrintTop : 0.0) + FPositionValue);
}

QString TZarvBand::GroupValue()
{
    QString value;
    auto* project = dynamic_cast<TZarvProjectManager*>(Project());
    for (const QString& part : FGroupKey.split(u'+')) {
        const QString reference = part.trimmed();
        TZarvBaseDataView* view = AsView(FGroupDataView);
        QString field = reference;
        const qsizetype dot = reference.indexOf(u'.');
        const qsizetype bracket = reference.indexOf(u'<');
        if (dot >= 0 && (bracket < 0 || dot < bracket)) {
            view = project ? AsView(project->FindZarvComponent(reference.left(dot), nullptr)) : nullptr;
            field = reference.mid(dot + 1);
        }
        if (!view)
            continue;
        value += u'|';
        if (view->Eof()) {
            value += QStringLiteral("EOF") + QChar(26);
        } else if (TZarvDataField* dataField = view->FieldByName(field)) {
            value += dataField->AsString();
        } else {
            value += QStringLiteral("(invalid)");
        }
    }
    if (!FGroupKey.isEmpty())
        value += u'|';
    if (FOnGetGroup) {
        FOnGetGroup->SetValue(value.size() >= 2 ? value.mid(1, value.size() - 2) : QString());
        FOnGetGroup->Execute();
        const QString result = FOnGetGroup->Value();
        value = result == QString(QChar(255)) ? QString() : u'|' + result + u'|';
    }
    return value;
}

bool TZarvBand::AcceptParent(TZarvComponentClass parentClass) const
{
    return parentClass && parentClass->InheritsFrom(QStringLiteral("TZarvRegion"));
}

void TZarvBand::BeforeReport()
{
    LastGroupValue.clear();
    FRestartedEmpty = false;
    FDoSplit = false;
    TZarvContainerControl::BeforeReport();
}

bool TZarvBand::ReprintsAtBreak() const
{
    return FControllerBand && FReprintLocs.Contains(FControllerBand->LocOnRestart());
}

void TZarvBand::PrintAll(TBaseReport* report)
{
    TPrintingBandGuard guard(this);
    try {
        BeforePrint();
        TZarvRegion* region = Region();
        if (AllowPrint() && region) {
            if (!region->RestartBand) {
                region->RestartLoc = region->PrintLoc;
            } else if (region->RestartBand == this && region->RestartLoc == region->PrintLoc) {
                region->PrintOcc = TBandPrintOcc::poFirst;
                region->RestartBand = nullptr;
                region->FRestarting = false;
            }
            PrintBand(report, *region);
        }
    } catch (...) {
        UnwindPrintDepth();
        throw;
    }
    AfterPrint();
}

void TZarvBand::RequestBreak(TZarvRegion& region)
{
    region.Restart(this);
    if (!IsSaving()) {
        FRestartedEmpty = true;
        FRestartPass = region.PassNumber;
    }
}

// A band that broke without printing and would break again on the next page
// or column cannot fit there either: breaking once more would print empty
// pages without end, so it prints where it is, cut to the space left.
bool TZarvBand::MustPrintHere(const TZarvRegion& region) const
{
    return FRestartedEmpty && FRestartPass != region.PassNumber;
}

void TZarvBand::PrintBand(TBaseReport* report, TZarvRegion& region)
{
    // Group changes.
    QString groupValue;
    const bool groupLoc =
        region.PrintLoc == TBandPrintLoc::plGroupHeader || region.PrintLoc == TBandPrintLoc::plGroupFooter;
    if (groupLoc && region.PrintOcc == TBandPrintOcc::poFirst) {
        const bool footer = region.PrintLoc == TBandPrintLoc::plGroupFooter;
        if (!footer) {
            groupValue = GroupValue();
        } else {
            if (LastGroupValue.isEmpty())
                LastGroupValue = GroupValue();
            groupValue = NextGroupValue();
        }
        if (groupValue == LastGroupValue)
            return;
        if (LastGroupValue.isEmpty() && footer) {
            LastGroupValue = groupValue;
            return;
        }
    }
    if (!FBandStyle->PrintOcc().Contains(region.PrintOcc))
        return;
    if (region.RestartBand && !ReprintsAtBreak())
        return;
    const bool printHere = MustPrintHere(region);
    if (region.ForceRestart || (FStartNewPage && OnCurrPage)) {
        if (!printHere) {
            RequestBreak(region);
            return;
        }
        region.ForceRestart = false;
    }

    RestoreAdjusted();
    if (!FDoSplit)
        BeginDataPass();
    double height = HeightToPrint();
    PositionBand();
    const double spaceLeft = region.SpaceLeft();
    const bool fits = FPositionMode == TBandPositionMode::pmAbsolute ||
                      FloatGreaterEqual(spaceLeft, height + FPositionValue);
    if (FloatLess(spaceLeft, FMinHeightLeft) && !printHere) {
        RequestBreak(region);
        return;
    }
    PrintingBand = FDoSplit ? this : nullptr;
    FDoSplit = false;
    if (!fits) {
        if (printHere) {
            FDoSplit = true;
            height = std::max(spaceLeft, 0.0);
        } else if ((!FAllowSplit && OnCurrPage) || FloatLess(spaceLeft, AdjHeight())) {
            RequestBreak(region);
            return;
        } else {
            FDoSplit = true;
            height = spaceLeft;
        }
    }
    SetHeight(height);
    OnCurrPage = true;
    if (!IsSaving()) {
        FRestartedEmpty = false;
        CheckNewData();
        TZarvContainerControl::PrintAll(report);
        if (report && FloatGreater(height, 0))
            report->NewLine();
    }
    PrintingBand = nullptr;
    if (FPositionMode == TBandPositionMode::pmOffset)
        region.PrintTop = GetTop() + height;
    if (groupLoc && !groupValue.isEmpty())
        LastGroupValue = groupValue;
    if (FDoSplit && !GetDonePrinting()) {
        region.Restart(this);
        return;
    }
    FDoSplit = false;
    EndDataPass();
    if (FFinishNewPage)
        region.PostponeRestart();
}

QString TZarvBand::NextGroupValue()
{
    TZarvBaseDataView* view = AsView(FGroupDataView);
    if (!view)
        return GroupValue();
    view->Peek(1);
    QString value;
    try {
        value = GroupValue();
    } catch (...) {
        view->Unpeek();
        throw;
    }
    view->Unpeek();
    return value;
}

void TZarvBand::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvContainerControl::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FControllerBand)
        SetControllerBand(dynamic_cast<TZarvIterateBand*>(newComp));
    if (oldComp == FGroupDataView)
        SetGroupDataView(newComp);
}

bool TZarvBand::CanSelect(TZarvComponent* item) const
{
    if (FDesignerHide && item != this)
        return false;
    return TZarvContainerControl::CanSelect(item);
}

double TZarvBand::WidthInRegion(double regionWidth) const
{
    TZarvRegion* region = Region();
    return region ? region->ColumnWidthFor(regionWidth) : 0.0;
}

void TZarvBand::ParentResized(bool widthChanged, bool, double oldWidth, double newWidth, double, double)
{
    // The band's place follows the region's columns; only its children
    // follow the width, as if the band had been resized.
    if (widthChanged)
        ResizeChildren(true, false, WidthInRegion(oldWidth), WidthInRegion(newWidth), 0, 0);
}

double TZarvBand::GetLeft() const
{
    TZarvRegion* region = Region();
    return region ? region->ColumnOffset() : 0.0;
}

double TZarvBand::GetWidth() const
{
    TZarvRegion* region = Region();
    return region ? WidthInRegion(region->GetWidth()) : 0.0;
}

void TZarvBand::Notification(TComponent* component, TOperation operation)
{
    TZarvContainerControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FControllerBand)
        FControllerBand = nullptr;
    if (component == FGroupDataView)
        FGroupDataView = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvIterateBand.

TZarvIterateBand::TZarvIterateBand(TComponent* owner) : TZarvBand(owner) {}

TZarvIterateBand::~TZarvIterateBand()
{
    for (TZarvBand* band : std::vector<TZarvBand*>(FControlledList))
        band->SetControllerBand(nullptr);
}

void TZarvIterateBand::AddControlled(TZarvBand* band)
{
    if (std::find(FControlledList.begin(), FControlledList.end(), band) == FControlledList.end())
        FControlledList.push_back(band);
}

void TZarvIterateBand::RemoveControlled(TZarvBand* band)
{
    FControlledList.erase(std::remove(FControlledList.begin(), FControlledList.end(), band),
                          FControlledList.end());
}

namespace {

template <class F> void RelayoutSelf(TZarvIterateBand* band, F change)
{
    const double oldWidth = band->GetWidth();
    change();
    band->ResizeChildren(true, false, oldWidth, band->GetWidth(), 0, 0);
    band->ResizeAll();
}

} // namespace

void TZarvIterateBand::SetColumns(int value)
{
    if (value < 1 || value == FColumns)
        return;
    RelayoutSelf(this, [&] { FColumns = value; });
}

void TZarvIterateBand::SetColumnSpacing(double value)
{
    if (value == FColumnSpacing)
        return;
    RelayoutSelf(this, [&] { FColumnSpacing = value; });
}

double TZarvIterateBand::WidthInRegion(double regionWidth) const
{
    return ColumnWidthOf(TZarvBand::WidthInRegion(regionWidth), FColumns, FColumnSpacing);
}

double TZarvIterateBand::GetLeft() const
{
    const double left = TZarvBand::GetLeft();
    if (FColumns < 2 || !ProjectPrinting(this))
        return left;
    return left + (GetWidth() + FColumnSpacing) * (std::max(FCurrentColumn, 1) - 1);
}

bool TZarvIterateBand::ReprintsAtBreak() const
{
    return ReprintLocs().Contains(FLocOnRestart);
}

void TZarvIterateBand::AddListener(const QString& conversation, const TZarvListenMethod& method)
{
    TZarvBand::AddListener(conversation, method);
    if (!IsCalcNewData(conversation))
        return;
    if (!CalcNewDataListenList)
        CalcNewDataListenList = std::make_unique<TZarvMethodList>();
    CalcNewDataListenList->AddMethod(method);
}

void TZarvIterateBand::RemoveListener(const QString& conversation, const TZarvListenMethod& method)
{
    TZarvBand::RemoveListener(conversation, method);
    if (IsCalcNewData(conversation) && CalcNewDataListenList)
        CalcNewDataListenList->RemoveMethod(method);
}

bool TZarvIterateBand::Habla(const QString& conversation) const
{
    return IsCalcNewData(conversation);
}

void TZarvIterateBand::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvBand::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (!newComp) {
        if (auto* band = dynamic_cast<TZarvBand*>(oldComp))
            RemoveControlled(band);
    }
    if (CalcNewDataListenList) {
        if (newComp)
            CalcNewDataListenList->ReplaceObject(oldComp, newComp);
        else
            CalcNewDataListenList->RemoveObject(oldComp);
    }
}

void TZarvIterateBand::CheckNewData()
{
    if (!NewData)
        return;
    NewData = false;
    CallListeners(CalcNewDataListenList.get(), this, nullptr);
}

void TZarvIterateBand::PositionBand()
{
    TZarvBand::PositionBand();
    if (FColumns <= 1) {
        SaveLastBottom = 0;
        return;
    }
    TZarvRegion* region = Region();
    if (!region)
        return;
    FCurrentColumn = FCurrentColumn % FColumns + 1;
    if (FCurrentColumn != 1 && region->FCurrentColumn == SaveRegionColumn &&
        !FloatGreater(region->PrintTop, SavePriorTop)) {
        if (FloatGreater(region->PrintTop, SaveLastBottom))
            SaveLastBottom = region->PrintTop;
        region->PrintTop = SaveLastTop;
        SetTop(SaveLastTop);
        return;
    }
    FCurrentColumn = 1;
    SaveLastTop = region->PrintTop;
    SaveRegionColumn = region->FCurrentColumn;
    SaveLastBottom = 0;
}

bool TZarvIterateBand::PrintLocation(TBaseReport* report, TZarvRegion& region, TBandPrintLoc loc)
{
    if (loc == TBandPrintLoc::plMaster) {
        region.PrintLoc = TBandPrintLoc::plMaster;
        TZarvBand::PrintAll(report);
        SavePriorTop = region.PrintTop;
        if (FloatLess(region.PrintTop, SaveLastBottom))
            region.PrintTop = SaveLastBottom;
    } else {
        region.PrintBands(report, this, loc);
    }
    if (region.FRestarting) {
        FLocOnRestart = loc;
        return false;
    }
    return true;
}

bool TZarvIterateBand::PrintRow(TBaseReport* report, TZarvRegion& region)
{
    for (TBandPrintLoc loc : {TBandPrintLoc::plRowHeader, TBandPrintLoc::plMaster, TBandPrintLoc::plDetail,
                              TBandPrintLoc::plRowFooter}) {
        if (!PrintLocation(report, region, loc))
            return false;
    }
    return true;
}

namespace {

// A trial pass of band and region: both states saved now and put back when
// the pass ends, also by an exception. After a trial that fits, the region's
// break state comes back too: the trial may have reached the band a pending
// break waits for and resolved it, and the real pass would then take the
// continuation for a first print (first-print headers printing again). A
// trial that does not fit leaves its state to PostponeRestart.
class TTrialPass {
public:
    TTrialPass(TZarvIterateBand& band, TZarvRegion& region)
        : FBand(band), FRegion(region), FRestartBand(region.RestartBand), FRestartLoc(region.RestartLoc),
          FRestarting(region.FRestarting), FForceRestart(region.ForceRestart), FPrintOcc(region.PrintOcc)
    {
        FRegion.SaveState();
        FBand.SaveState();
    }
    ~TTrialPass() noexcept(false)
    {
        if (Fits) {
            FRegion.RestartBand = FRestartBand;
            FRegion.RestartLoc = FRestartLoc;
            FRegion.FRestarting = FRestarting;
            FRegion.ForceRestart = FForceRestart;
            FRegion.PrintOcc = FPrintOcc;
        }
        FBand.RestoreState();
        FRegion.RestoreState();
    }

    bool Fits = false;

private:
    TZarvIterateBand& FBand;
    TZarvRegion& FRegion;
    TZarvBand* FRestartBand;
    TBandPrintLoc FRestartLoc;
    bool FRestarting;
    bool FForceRestart;
    TBandPrintOcc FPrintOcc;
};

} // namespace

bool TZarvIterateBand::PrintRowTogether(TBaseReport* report, TZarvRegion& region)
{
    if (FKeepRowTogether && !IsSaving() && !region.FTopOfRegion) {
        bool fits = false;
        {
            TTrialPass trial(*this, region);
            fits = PrintRow(report, region);
            trial.Fits = fits;
        }
        if (!fits)
            region.PostponeRestart();
    }
    return PrintRow(report, region);
}

bool TZarvIterateBand::PrintBody(TBaseReport* report, TZarvRegion& region, int rowLimit, bool trial)
{
    if (region.PrintOcc == TBandPrintOcc::poNewPage) {
        FCurrentColumn = 0;
    } else if (region.PrintOcc == TBandPrintOcc::poFirst) {
        FCurrentColumn = 0;
        for (TZarvBand* band : FControlledList)
            band->ResetGroup();
        if (FInitToFirst)
            FirstRow();
        else
            CurrentRow();
        if (!NoMoreRows())
            NewData = true;
    }
    if (!trial)
        return PrintRows(report, region, rowLimit);
    TTrialPass pass(*this, region);
    pass.Fits = PrintRows(report, region, rowLimit);
    return pass.Fits;
}

bool TZarvIterateBand::PrintRows(TBaseReport* report, TZarvRegion& region, int rowLimit)
{
    int rowsLeft = FMaxRows;
    int limitLeft = rowLimit;
    if (NoMoreRows() && !region.RestartBand)
        return true;
    if (!PrintLocation(report, region, TBandPrintLoc::plBodyHeader))
        return false;
    while (!NoMoreRows()) {
        if (!PrintLocation(report, region, TBandPrintLoc::plGroupHeader))
            return false;
        if (!PrintRowTogether(report, region))
            return false;
        if (rowLimit > 0 && --limitLeft == 0)
            return true;
        if (!PrintLocation(report, region, TBandPrintLoc::plGroupFooter))
            return false;
        if (FMaxRows > 0 && --rowsLeft == 0)
            break;
        NextRow();
        if (!NoMoreRows())
            NewData = true;
    }
    return PrintLocation(report, region, TBandPrintLoc::plBodyFooter);
}

void TZarvIterateBand::PrintAll(TBaseReport* report)
{
    TZarvRegion* region = Region();
    if (!AllowPrint() || !region)
        return;
    if (region->RestartBand && !Active)
        return;
    Active = true;
    const bool trialsAllowed = !IsSaving() && !region->FTopOfRegion;
    if (FKeepBodyTogether) {
        if (trialsAllowed && !PrintBody(report, *region, 0, true))
            region->PostponeRestart();
    } else if (FOrphanRows > 0 && trialsAllowed && !PrintBody(report, *region, FOrphanRows, true)) {
        region->PostponeRestart();
    }
    PrintBody(report, *region, 0, false);
    if (!region->FRestarting)
        Active = false;
}

// ---------------------------------------------------------------------------
// TZarvDataBand.

TZarvDataBand::TZarvDataBand(TComponent* owner) : TZarvIterateBand(owner) {}

TZarvDataBand::~TZarvDataBand() = default;

void TZarvDataBand::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvDataBand::SetMasterDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FMasterDataView, DataViewOrNull(value));
}

void TZarvDataBand::FirstRow()
{
    SetupDetailView(AsView(FDataView), DetailKey(), AsView(FMasterDataView), FMasterKey, FSortKey);
}

void TZarvDataBand::NextRow()
{
    if (TZarvBaseDataView* view = AsView(FDataView))
        view->Next();
}

void TZarvDataBand::CurrentRow()
{
    if (TZarvBaseDataView* view = AsView(FDataView))
        view->GetCurrentRow();
}

bool TZarvDataBand::NoMoreRows()
{
    TZarvBaseDataView* view = AsView(FDataView);
    return !view || view->Eof();
}

bool TZarvDataBand::RowsLeft(int reqRows)
{
    TZarvBaseDataView* view = AsView(FDataView);
    return !view || view->CheckRowsLeft(reqRows);
}

void TZarvDataBand::SaveState()
{
    TZarvIterateBand::SaveState();
    if (TZarvBaseDataView* view = AsView(FDataView))
        view->SaveState();
}

void TZarvDataBand::RestoreState()
{
    TZarvIterateBand::RestoreState();
    if (TZarvBaseDataView* view = AsView(FDataView))
        view->RestoreState();
}

bool TZarvDataBand::IsSaving() const
{
    if (TZarvIterateBand::IsSaving())
        return true;
    TZarvBaseDataView* view = AsView(FDataView);
    return view && view->Saving();
}

void TZarvDataBand::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvIterateBand::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (oldComp == FMasterDataView)
        SetMasterDataView(newComp);
}

void TZarvDataBand::Notification(TComponent* component, TOperation operation)
{
    TZarvIterateBand::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FMasterDataView)
        FMasterDataView = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvDataCycle.

TZarvDataCycle::TZarvDataCycle(TComponent* owner) : TZarvComponent(owner) {}

TZarvDataCycle::~TZarvDataCycle() = default;

void TZarvDataCycle::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvDataCycle::SetMasterDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FMasterDataView, DataViewOrNull(value));
}

void TZarvDataCycle::BeforeReport()
{
    FRowCount = 0;
    FActive = FDataView != nullptr;
    TZarvComponent::BeforeReport();
}

void TZarvDataCycle::Print(TBaseReport*)
{
    TZarvBaseDataView* view = AsView(FDataView);
    if (!AllowPrint() || !FActive || !view)
        return;
    if (FRowCount == 0) {
        if (FInitToFirst)
            SetupDetailView(view, FDetailKey, AsView(FMasterDataView), FMasterKey, FSortKey);
        else
            view->GetCurrentRow();
    } else {
        view->Next();
    }
    if (TZarvComponent* page = Page())
        page->BeginDataPass();
    ++FRowCount;
    FActive = view->CheckBeforeEOF() && (FMaxRows == 0 || FMaxRows > FRowCount);
}

bool TZarvDataCycle::GetDonePrinting() const
{
    if (!FActive)
        return true;
    TZarvBaseDataView* view = AsView(FDataView);
    return view ? view->Eof() : false;
}

void TZarvDataCycle::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvComponent::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (oldComp == FMasterDataView)
        SetMasterDataView(newComp);
}

void TZarvDataCycle::Notification(TComponent* component, TOperation operation)
{
    TZarvComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FMasterDataView)
        FMasterDataView = nullptr;
}
