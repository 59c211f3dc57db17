#include "report/model/ZvItem.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/Streams.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"

#include <algorithm>
#include <cstring>

namespace {

const TTypeInfo& GotoModeType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TGotoMode"),
        {QStringLiteral("gmGotoDone"), QStringLiteral("gmGotoNotDone"), QStringLiteral("gmCallEach")});
    return type;
}

const TTypeInfo& OrientationType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TOrientation"),
        {QStringLiteral("poPortrait"), QStringLiteral("poLandScape"), QStringLiteral("poDefault")});
    return type;
}

const TTypeInfo& UnitsType()
{
    static const TTypeInfo type{QStringLiteral("TZarvUnits"), TTypeKind::tkFloat, {}, nullptr,
                                TFloatType::ftExtended,       QString()};
    return type;
}

template <class F> void ForEachChildControl(const TZarvComponent* parent, F f)
{
    for (int i = 0; i < parent->GetChildCount(); ++i) {
        if (auto* control = dynamic_cast<TZarvControl*>(parent->GetChild(i)))
            f(control);
    }
}

TZarvProjectManager* ProjectManagerOf(const TZarvComponent* component)
{
    return dynamic_cast<TZarvProjectManager*>(component->Project());
}

// An item's block holds its own record. A record of another class (a damaged
// class name, say) is not read into the item, and loading on would give an
// item without its components: a page that prints blank. The load fails
// instead.
void ReadOwnRecord(TZarvReader& reader, TZarvComponent* item)
{
    if (!reader.ReadIntoComponent(item))
        ZarvError(Translate(QStringLiteral("Invalid Project Format")));
}

} // namespace

std::vector<const TClassInfo*> RegisterProjectItemClasses()
{
    TClassInfo& item = RegisterClass<TZarvProjectItem>(QStringLiteral("TZarvProjectItem"),
                                                       QStringLiteral("TZarvContainerComponent"));
    PublishProperty(item, QStringLiteral("CompileNeeded"), TypeInfoBoolean(),
                    &TZarvProjectItem::CompileNeeded, &TZarvProjectItem::SetCompileNeeded)
        .NoDefault();
    PublishProperty(item, QStringLiteral("Description"), TypeInfoString(), &TZarvProjectItem::Description,
                    &TZarvProjectItem::SetDescription);
    PublishProperty(item, QStringLiteral("FullName"), TypeInfoString(), &TZarvProjectItem::FullName,
                    &TZarvProjectItem::SetFullName);

    RegisterClass<TZarvDataObject>(QStringLiteral("TZarvDataObject"), QStringLiteral("TZarvProjectItem"));

    TClassInfo& page =
        RegisterClass<TZarvPage>(QStringLiteral("TZarvPage"), QStringLiteral("TZarvProjectItem"));
    PublishProperty(page, QStringLiteral("Bin"), TypeInfoInteger(), &TZarvPage::Bin, &TZarvPage::SetBin)
        .NoDefault();
    PublishProperty(page, QStringLiteral("BinCustom"), TypeInfoString(), &TZarvPage::BinCustom,
                    &TZarvPage::SetBinCustom);
    PublishProperty(page, QStringLiteral("GotoMode"), GotoModeType(), &TZarvPage::GotoMode,
                    &TZarvPage::SetGotoMode)
        .WithDefault(int64_t(TGotoMode::gmGotoDone));
    PublishProperty(page, QStringLiteral("GotoPage"), TypeInfoClass(QStringLiteral("TZarvPage")),
                    &TZarvPage::GotoPage, &TZarvPage::SetGotoPage);
    PublishProperty(page, QStringLiteral("GridLines"), TypeInfoInteger(), &TZarvPage::GridLines,
                    &TZarvPage::SetGridLines)
        .NoDefault();
    PublishProperty(page, QStringLiteral("GridSpacing"), UnitsType(), &TZarvPage::GridSpacing,
                    &TZarvPage::SetGridSpacing);
    PublishProperty(page, QStringLiteral("Orientation"), OrientationType(), &TZarvPage::Orientation,
                    &TZarvPage::SetOrientation)
        .NoDefault();
    const auto storePageDim = [](const TObject& o) {
        return dynamic_cast<const TZarvPage&>(o).StorePageDim();
    };
    PublishProperty(page, QStringLiteral("PageHeight"), UnitsType(), &TZarvPage::PageHeight,
                    &TZarvPage::SetPageHeight)
        .WithStored(storePageDim);
    PublishProperty(page, QStringLiteral("PageWidth"), UnitsType(), &TZarvPage::PageWidth,
                    &TZarvPage::SetPageWidth)
        .WithStored(storePageDim);
    PublishProperty(page, QStringLiteral("PaperSize"), TypeInfoInteger(), &TZarvPage::PaperSize,
                    &TZarvPage::SetPaperSize)
        .NoDefault();
    PublishProperty(page, QStringLiteral("Parameters"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::Parameters, &TZarvProjectItem::SetParameters);
    PublishProperty(page, QStringLiteral("PIVars"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::PIVars, &TZarvProjectItem::SetPIVars);
    PublishProperty(page, QStringLiteral("WasteFit"), TypeInfoBoolean(), &TZarvPage::WasteFit,
                    &TZarvPage::SetWasteFit)
        .WithDefault(0);
    return {&item, &page};
}

// ---------------------------------------------------------------------------
// TZarvProjectItem.

TZarvProjectItem::TZarvProjectItem(TComponent* owner)
    : TZarvContainerComponent(owner), FParams(std::make_unique<TStrings>()),
      FPIVars(std::make_unique<TStrings>())
{
}

TZarvProjectItem::~TZarvProjectItem()
{
    FModule.reset();
}

void TZarvProjectItem::SetModule(std::unique_ptr<TZarvModule> module)
{
    FModule = std::move(module);
}

void TZarvProjectItem::SetActive(bool value)
{
    if (value == FActive)
        return;
    if (value)
        Open();
    else
        Close();
}

void TZarvProjectItem::Open()
{
    if (FActive)
        return;
    FActive = true;
    ItemActiveChanged(this, true);
}

void TZarvProjectItem::Close()
{
    if (!FActive)
        return;
    FActive = false;
    ItemActiveChanged(this, false);
}

void TZarvProjectItem::SetParameters(TStrings* value)
{
    if (value)
        FParams->TStringList::Assign(*value);
    else
        FParams->Clear();
    // Parameter names take part in field expressions, where angle brackets
    // quote names.
    for (int i = 0; i < FParams->Count(); ++i) {
        QString line = FParams->Strings(i);
        if (line.contains(u'<') || line.contains(u'>')) {
            line.replace(u'<', u'_').replace(u'>', u'_');
            FParams->SetStrings(i, line);
        }
    }
}

void TZarvProjectItem::SetPIVars(TStrings* value)
{
    if (value)
        FPIVars->TStringList::Assign(*value);
    else
        FPIVars->Clear();
}

void TZarvProjectItem::SetCompileNeeded(bool value)
{
    FCompileNeeded = value;
    if (value && ItemKind() != TZarvItemKind::ikProjectManager) {
        if (auto* project = dynamic_cast<TZarvProjectItem*>(Project()); project && project != this)
            project->SetCompileNeeded(true);
    }
}

QString TZarvProjectItem::GetModuleName() const
{
    auto* owner = dynamic_cast<const TZarvComponent*>(Owner());
    if (owner && owner->ItemKind() != TZarvItemKind::ikComponent &&
        owner->ItemKind() != TZarvItemKind::ikProjectManager)
        return owner->Name() + QLatin1Char('_') + Name();
    return Name();
}

void TZarvProjectItem::PrepareModule()
{
    BindModuleComponentsHook(this);
    for (int i = 0; i < GetChildCount(); ++i) {
        if (auto* item = dynamic_cast<TZarvProjectItem*>(GetChild(i)))
            item->PrepareModule();
    }
}

void TZarvProjectItem::SaveToStreamHelper(TStreamHelper& streamHelper)
{
    TZarvWriter writer(streamHelper);
    writer.WriteComponent(this, true);
}

void TZarvProjectItem::LoadFromStreamHelper(TStreamHelper& streamHelper)
{
    TZarvReader reader(streamHelper);
    TZarvProjectManager* project = ProjectManagerOf(this);
    reader.MasterProject = project ? project->MasterProject() : nullptr;
    reader.AddComponents = true;
    reader.KeepName = project && project->KeepsLoadedName(this);
    ReadOwnRecord(reader, this);
}

void TZarvProjectItem::SetName(const QString& name)
{
    const bool follows = FFullName == Name();
    TZarvContainerComponent::SetName(name);
    // The full name follows only a rename that took place.
    if (follows)
        FFullName = Name();
}

void TZarvProjectItem::ResolveImports()
{
    if (FModule)
        FModule->ResolveImports();
    TZarvContainerComponent::ResolveImports();
}

void TZarvProjectItem::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvContainerComponent::ChangeReference(oldComp, newComp);
    auto* oldItem = dynamic_cast<TZarvProjectItem*>(oldComp);
    auto* newItem = dynamic_cast<TZarvProjectItem*>(newComp);
    if (FModule && oldItem && newItem)
        FModule->Changing(oldItem->Module(), newItem->Module());
}

void TZarvProjectItem::DefineProperties(TFiler& filer)
{
    TZarvContainerComponent::DefineProperties(filer);
    filer.DefineProperty(
        QStringLiteral("Module"), [this](TReader& reader) { ReadModule(reader); },
        [this](TWriter& writer) { WriteModule(writer); }, FModule != nullptr);
}

// A module that cannot be read is dropped and the item compiled again before
// it runs.
void TZarvProjectItem::ReadModule(TReader& reader)
{
    try {
        FModule.reset();
        uint8_t size[4];
        reader.ReadRaw(size, 4);
        const int32_t length = int32_t(uint32_t(size[0]) | uint32_t(size[1]) << 8 | uint32_t(size[2]) << 16 |
                                       uint32_t(size[3]) << 24);
        if (length < 0)
            ZarvError(Translate(QStringLiteral("Invalid module length %1").arg(length)));
        TMemoryStream stream(reader.ReadRawBytes(length));
        FModule.reset(LoadModuleHook(&stream, this, this));
    } catch (const Exception&) {
        FModule.reset();
        SetCompileNeeded(true);
    }
}

void TZarvProjectItem::WriteModule(TWriter& writer) const
{
    TMemoryStream stream;
    FModule->SaveToStream(stream);
    const auto length = uint32_t(stream.Size());
    const uint8_t size[4] = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                             uint8_t(length >> 24)};
    writer.WriteRaw(size, 4);
    writer.WriteRaw(stream.Memory(), stream.Size());
}

// ---------------------------------------------------------------------------
// TZarvPage.

TZarvPage::TZarvPage(TComponent* owner) : TZarvProjectItem(owner)
{
    SetStructure(this, Report(), Project());
    auto* zarvOwner = dynamic_cast<TZarvComponent*>(owner);
    FGlobal = zarvOwner && zarvOwner->ItemKind() == TZarvItemKind::ikProjectManager;
    FGridSpacing = XU2I(0.1); // a tenth of a project unit
}

TZarvPage::~TZarvPage() = default;

void TZarvPage::SetPaperSize(TZarvPaperSize value)
{
    if (value == FPaperSize)
        return;
    const double oldWidth = FPageWidth;
    const double oldHeight = FPageHeight;
    if (const TPaperSize* paper = FindPaperSize(value)) {
        const bool landscape = FOrientation == TOrientation::poLandScape;
        if (paper->Width > 0)
            (landscape ? FPageHeight : FPageWidth) = paper->Width;
        if (paper->Height > 0)
            (landscape ? FPageWidth : FPageHeight) = paper->Height;
    }
    FPaperSize = value;
    ChildrenResized(oldWidth, oldHeight);
    Invalidate();
}

void TZarvPage::SetOrientation(TOrientation value)
{
    if (value == FOrientation)
        return;
    if (value == TOrientation::poLandScape || FOrientation == TOrientation::poLandScape) {
        const double oldWidth = FPageWidth;
        const double oldHeight = FPageHeight;
        std::swap(FPageWidth, FPageHeight);
        ChildrenResized(oldWidth, oldHeight);
    }
    FOrientation = value;
}

void TZarvPage::SetPageWidth(double value)
{
    if (!FloatGreater(value, 0))
        return;
    const double oldWidth = FPageWidth;
    FPageWidth = value;
    FPaperSize = kPaperCustom;
    Invalidate();
    ChildrenResized(oldWidth, FPageHeight);
}

void TZarvPage::SetPageHeight(double value)
{
    if (!FloatGreater(value, 0))
        return;
    const double oldHeight = FPageHeight;
    FPageHeight = value;
    FPaperSize = kPaperCustom;
    Invalidate();
    ChildrenResized(FPageWidth, oldHeight);
}

bool TZarvPage::StorePageDim() const
{
    return FPaperSize == kPaperCustom || FPaperSize == kPaperDefault;
}

void TZarvPage::PrepareSize(double width, double height)
{
    if (width == FPageWidth && height == FPageHeight)
        return;
    RestoreDesigned();
    const double oldWidth = FPageWidth;
    const double oldHeight = FPageHeight;
    FPageWidth = width;
    FPageHeight = height;
    FPaperSize = kPaperCustom;
    ChildrenResized(oldWidth, oldHeight);
    Invalidate();
    SaveDesigned();
}

void TZarvPage::ChildrenResized(double oldWidth, double oldHeight)
{
    const bool widthChanged = FloatNotEqual(oldWidth, FPageWidth);
    const bool heightChanged = FloatNotEqual(oldHeight, FPageHeight);
    if (!widthChanged && !heightChanged)
        return;
    ForEachChildControl(this, [&](TZarvControl* control) {
        control->ParentResized(widthChanged, heightChanged, oldWidth, FPageWidth, oldHeight, FPageHeight);
    });
}

void TZarvPage::SetGotoPage(TZarvPage* value)
{
    if (value && value != this)
        value->FreeNotification(this);
    FGotoPage = value;
}

void TZarvPage::SetGridSpacing(double value)
{
    if (value == FGridSpacing)
        return;
    FGridSpacing = value;
    Invalidate();
}

void TZarvPage::SetGridLines(int32_t value)
{
    if (value == FGridLines)
        return;
    FGridLines = value;
    Invalidate();
}

void TZarvPage::Resize()
{
    ForEachChildControl(this, [](TZarvControl* control) { control->ResizeAll(); });
}

void TZarvPage::AddPip(int index, TZarvControl* control, int cursor, double x, double y)
{
    if (FDesigner)
        FDesigner->AddPip(index, control, cursor, x, y);
}

void TZarvPage::UpdatePip(int index, TZarvControl* control, double x, double y)
{
    if (FDesigner)
        FDesigner->UpdatePip(index, control, x, y);
}

void TZarvPage::SwitchPips(TZarvControl* control, int index1, int index2)
{
    if (FDesigner)
        FDesigner->SwitchPips(control, index1, index2);
}

void TZarvPage::PrintAll(TBaseReport* report)
{
    try {
        BeforePrint();
        if (AllowPrint()) {
            RestoreDesigned();
            if (FWasteFit && report)
                FitToPrintableArea(report);
            SaveAdjusted();
            for (int i = 0; i < GetChildCount(); ++i) {
                if (report)
                    report->AllowAll();
                if (TZarvComponent* child = GetChild(i))
                    child->PrintAll(report);
            }
        }
    } catch (...) {
        UnwindPrintDepth();
        throw;
    }
    AfterPrint();
}

// Controls that reach into the paper's unprintable edges are moved and cut to
// the printable area, with a hundredth of an inch to spare.
void TZarvPage::FitToPrintableArea(TBaseReport* report)
{
    const double left = report->LeftWaste() + 0.01;
    const double top = report->TopWaste() + 0.01;
    const double right = report->PageWidth() - (report->RightWaste() + 0.01);
    const double bottom = report->PageHeight() - (report->BottomWaste() + 0.01);
    ForEachChildControl(this, [&](TZarvControl* control) {
        const TZarvRect rect = control->BoundsRect();
        if (!FloatLess(rect.Left, left) && !FloatLess(rect.Top, top) && !FloatGreater(rect.Right, right) &&
            !FloatGreater(rect.Bottom, bottom))
            return;
        control->SetBoundsRect(ZarvRect(std::max(rect.Left, left), std::max(rect.Top, top),
                                        std::min(rect.Right, right), std::min(rect.Bottom, bottom)));
    });
}

void TZarvPage::PrepareModule()
{
    BindModuleComponentsHook(this);
}

void TZarvPage::LoadFromStreamHelper(TStreamHelper& streamHelper)
{
    TZarvReader reader(streamHelper);
    reader.AddComponents = FGlobal;
    TZarvProjectManager* project = ProjectManagerOf(this);
    reader.KeepName = project && project->KeepsLoadedName(this);
    ReadOwnRecord(reader, this);
}

void TZarvPage::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvProjectItem::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FGotoPage)
        SetGotoPage(dynamic_cast<TZarvPage*>(newComp));
}

void TZarvPage::AssignTo(TPersistent* dest) const
{
    auto* page = dynamic_cast<TZarvPage*>(dest);
    if (!page) {
        TZarvProjectItem::AssignTo(dest);
        return;
    }
    // Names are unique per owner, so this page gives its name up first.
    const QString name = Name();
    const_cast<TZarvPage*>(this)->SetName(QString());
    page->SetName(name);
    page->SetTag(Tag());
    page->FPageWidth = FPageWidth;
    page->FPageHeight = FPageHeight;
}

void TZarvPage::Notification(TComponent* component, TOperation operation)
{
    TZarvProjectItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component && component == FGotoPage)
        FGotoPage = nullptr;
}
