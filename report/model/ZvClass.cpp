#include "report/model/ZvClass.h"

#include "platform/forms/Controls.h"
#include "platform/graphics/Canvas.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/ObjectsRegistration.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvItem.h"
#include "report/print/QpBase.h"

#include <algorithm>

namespace {

constexpr const char* kModuleName = "ZvClass";

// The reserved words of the event-script language.
const QStringList& ReservedWords()
{
    static const QStringList words = {
        QStringLiteral("IMPORT"), QStringLiteral("CONST"),    QStringLiteral("TYPE"),
        QStringLiteral("VAR"),    QStringLiteral("FUNCTION"), QStringLiteral("IMPLEMENTATION"),
        QStringLiteral("END"),    QStringLiteral("CREATION"), QStringLiteral("DESTRUCTION"),
    };
    return words;
}

// The first component of the kind, from start up through the owners.
TZarvComponent* FindInOwnerChain(TComponent* start, TZarvItemKind kind)
{
    for (TComponent* c = start; c; c = c->Owner()) {
        auto* z = dynamic_cast<TZarvComponent*>(c);
        if (z && z->ItemKind() == kind)
            return z;
    }
    return nullptr;
}

double ProjectUnitsFactor(const TZarvComponent* component)
{
    auto* project = dynamic_cast<const IZarvProjectManager*>(component->Project());
    const double factor = project ? project->UnitsFactor() : 1.0;
    return factor > 0 ? factor : 1.0;
}

const TTypeInfo& DisplayOnType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TDisplayOn"), {QStringLiteral("doParent"), QStringLiteral("doAll"),
                                       QStringLiteral("doPreviewOnly"), QStringLiteral("doPrinterOnly")});
    return type;
}

const TTypeInfo& AnchorType()
{
    static const TTypeInfo type{
        QStringLiteral("TZarvAnchor"), TTypeKind::tkInteger, {}, nullptr, TFloatType::ftExtended, QString()};
    return type;
}

// Tells the canvas where the output that follows goes.
void RouteOutput(TBaseReport* report, TDisplayOn displayOn)
{
    if (!report)
        return;
    switch (displayOn) {
    case TDisplayOn::doAll:
        report->AllowAll();
        break;
    case TDisplayOn::doPreviewOnly:
        report->AllowPreviewOnly();
        break;
    case TDisplayOn::doPrinterOnly:
        report->AllowPrinterOnly();
        break;
    case TDisplayOn::doParent:
        break;
    }
}

// Whether one class is the other's class or descends from it.
bool ClassesRelated(const TObject& a, const TObject& b)
{
    const TClassInfo* ca = a.ClassType();
    const TClassInfo* cb = b.ClassType();
    if (!ca || !cb)
        return typeid(a) == typeid(b);
    return ca->InheritsFrom(cb) || cb->InheritsFrom(ca);
}

bool HoldsEvent(const TObject& instance, const TPropInfo& prop)
{
    if (prop.Type) {
        const TClassInfo* declared = FindClass(prop.Type->ClassName);
        if (declared && declared->InheritsFrom(QStringLiteral("TZarvEvent")))
            return true;
    }
    return dynamic_cast<TZarvEvent*>(GetObjectProp(instance, prop)) != nullptr;
}

template <class T>
void PublishEvent(TClassInfo& info, const QString& name, T* (TZarvComponent::*getter)() const,
                  void (TZarvComponent::*setter)(T*))
{
    PublishProperty(info, name, TypeInfoClass(QStringLiteral("TZarvSimpleEvent")), getter, setter)
        .WithStored([getter](const TObject& o) {
            return (dynamic_cast<const TZarvComponent&>(o).*getter)() != nullptr;
        });
}

void RegisterReportModelClasses()
{
    RegisterObjectsClasses();
    if (FindClass(QStringLiteral("TZarvComponent")))
        return;

    TClassInfo& event =
        RegisterClass<TZarvEvent>(QStringLiteral("TZarvEvent"), QStringLiteral("TPersistent"));
    PublishProperty(event, QStringLiteral("Body"), TypeInfoString(), &TZarvEvent::Body, &TZarvEvent::SetBody);
    PublishProperty(event, QStringLiteral("Header"), TypeInfoString(), &TZarvEvent::Header,
                    &TZarvEvent::SetHeader);
    // Holds a project item; the project classes are registered after these.
    PublishProperty(event, QStringLiteral("ModuleOwner"), TypeInfoClass(QStringLiteral("TZarvProjectItem")),
                    &TZarvEvent::ModuleOwner, &TZarvEvent::SetModuleOwner);
    PublishProperty(event, QStringLiteral("Position"), TypeInfoInteger(), &TZarvEvent::Position,
                    &TZarvEvent::SetPosition);
    PublishProperty(event, QStringLiteral("Name"), TypeInfoString(), &TZarvEvent::Name, &TZarvEvent::SetName);
    RegisterClass<TZarvSimpleEvent>(QStringLiteral("TZarvSimpleEvent"), QStringLiteral("TZarvEvent"));
    TClassInfo& stringEvent =
        RegisterClass<TZarvStringEvent>(QStringLiteral("TZarvStringEvent"), QStringLiteral("TZarvEvent"));
    PublishProperty(stringEvent, QStringLiteral("Value"), TypeInfoString(), &TZarvStringEvent::Value,
                    &TZarvStringEvent::SetValue);
    TClassInfo& floatEvent =
        RegisterClass<TZarvFloatEvent>(QStringLiteral("TZarvFloatEvent"), QStringLiteral("TZarvEvent"));
    PublishProperty(floatEvent, QStringLiteral("Value"), TypeInfoExtended(), &TZarvFloatEvent::Value,
                    &TZarvFloatEvent::SetValue);
    RegisterClass<TZarvComponentList>(QStringLiteral("TZarvComponentList"), QStringLiteral("TObject"));
    RegisterClass<TZarvPersistentList>(QStringLiteral("TZarvPersistentList"), QStringLiteral("TObject"));

    TClassInfo& component =
        RegisterClass<TZarvComponent>(QStringLiteral("TZarvComponent"), QStringLiteral("TComponent"));
    PublishProperty(component, QStringLiteral("Locked"), TypeInfoBoolean(), &TZarvComponent::Locked,
                    &TZarvComponent::SetLocked);
    PublishProperty(component, QStringLiteral("DevLocked"), TypeInfoBoolean(), &TZarvComponent::DevLocked,
                    &TZarvComponent::SetDevLocked);
    PublishProperty(component, QStringLiteral("Visible"), TypeInfoBoolean(), &TZarvComponent::Visible,
                    &TZarvComponent::SetVisible)
        .WithDefault(1);
    PublishEvent(component, QStringLiteral("OnBeforeReport"), &TZarvComponent::OnBeforeReport,
                 &TZarvComponent::SetOnBeforeReport);
    PublishEvent(component, QStringLiteral("OnAfterReport"), &TZarvComponent::OnAfterReport,
                 &TZarvComponent::SetOnAfterReport);
    PublishEvent(component, QStringLiteral("OnBeforePrint"), &TZarvComponent::OnBeforePrint,
                 &TZarvComponent::SetOnBeforePrint);
    PublishEvent(component, QStringLiteral("OnAfterPrint"), &TZarvComponent::OnAfterPrint,
                 &TZarvComponent::SetOnAfterPrint);

    TClassInfo& control =
        RegisterClass<TZarvControl>(QStringLiteral("TZarvControl"), QStringLiteral("TZarvComponent"));
    PublishProperty(control, QStringLiteral("Anchor"), AnchorType(), &TZarvControl::Anchor,
                    &TZarvControl::SetAnchor);
    PublishProperty(control, QStringLiteral("Mirror"), TypeInfoClass(QStringLiteral("TZarvControl")),
                    &TZarvControl::Mirror, &TZarvControl::SetMirror);
    PublishProperty(control, QStringLiteral("DisplayOn"), DisplayOnType(), &TZarvControl::DisplayOn,
                    &TZarvControl::SetDisplayOn);
    PublishProperty(control, QStringLiteral("MirrorOverride"), TypeInfoString(),
                    &TZarvControl::MirrorOverride, &TZarvControl::SetMirrorOverride);
    TClassInfo& containerControl = RegisterClass<TZarvContainerControl>(
        QStringLiteral("TZarvContainerControl"), QStringLiteral("TZarvControl"));
    TClassInfo& containerComponent = RegisterClass<TZarvContainerComponent>(
        QStringLiteral("TZarvContainerComponent"), QStringLiteral("TZarvComponent"));

    std::vector<const TClassInfo*> classes = {&component, &control, &containerControl, &containerComponent};
    for (const TClassInfo* item : RegisterProjectItemClasses())
        classes.push_back(item);
    RegisterZarvClasses(QString(), classes);
    RegisterZarvModuleClasses(QString::fromLatin1(kModuleName), classes);
}

// Walks children by index, asking the count again after each step.
template <class F> void ForEachChild(const TZarvComponent* parent, F f)
{
    for (int i = 0; i < parent->GetChildCount(); ++i) {
        if (TZarvComponent* child = parent->GetChild(i))
            f(child);
    }
}

template <class F> void ForEachChildControl(const TZarvComponent* parent, F f)
{
    ForEachChild(parent, [&f](TZarvComponent* child) {
        if (auto* control = dynamic_cast<TZarvControl*>(child))
            f(control);
    });
}

// The column of a handle around the box: -1 left, 0 middle, 1 right; and
// its row: -1 top, 0 middle, 1 bottom.
int PipColumn(int index)
{
    switch (index) {
    case 0:
    case 3:
    case 5:
        return -1;
    case 1:
    case 6:
        return 0;
    default:
        return 1;
    }
}

int PipRow(int index)
{
    return index <= 2 ? -1 : index <= 4 ? 0 : 1;
}

// The handle at the same place seen in a mirror held upright (left and
// right trade) or on its side (top and bottom trade).
int MirrorPipAcross(int index)
{
    static constexpr int across[8] = {2, 1, 0, 4, 3, 7, 6, 5};
    return across[index & 7];
}

int MirrorPipUpDown(int index)
{
    static constexpr int upDown[8] = {5, 6, 7, 3, 4, 0, 1, 2};
    return upDown[index & 7];
}

} // namespace

void RecordReportModelProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterReportModelClasses);
}

// ---------------------------------------------------------------------------
// TZarvComponent.

TZarvComponent::TZarvComponent(TComponent* owner) : TComponent(owner)
{
    auto* zarvOwner = dynamic_cast<TZarvComponent*>(owner);
    FPage = zarvOwner && zarvOwner->ItemKind() == TZarvItemKind::ikPage ? zarvOwner : nullptr;
    FProject = FindInOwnerChain(owner, TZarvItemKind::ikProjectManager);
    FReport = FindInOwnerChain(owner, TZarvItemKind::ikReport);
    FVisible = true;
    if (InDesigner)
        NotifyDesigner(nullptr, this);
}

TZarvComponent::~TZarvComponent()
{
    FOnBeforeReport.reset();
    FOnAfterReport.reset();
    FOnBeforePrint.reset();
    FOnAfterPrint.reset();
    if (InDesigner)
        NotifyDesigner(this, nullptr);
    ComponentDeleted(this);
    DestroyChildren();
    SetParent(nullptr);
}

void TZarvComponent::SetStructure(TZarvComponent* page, TZarvComponent* report, TZarvComponent* project)
{
    FPage = page;
    FReport = report;
    FProject = project;
}

void TZarvComponent::SetName(const QString& name)
{
    if (InDesigner && name.isEmpty())
        return;
    if (ReservedWords().contains(UpperCase(name)))
        return;
    TComponent::SetName(name);
    if (ComponentRenamedProc)
        ComponentRenamedProc(this, name);
    Invalidate();
}

void TZarvComponent::SetLocked(bool value)
{
    if (FLocked != value)
        FLocked = value;
}

void TZarvComponent::SetDevLocked(bool value)
{
    if (FDevLocked != value)
        FDevLocked = value;
}

void TZarvComponent::SetVisible(bool value)
{
    if (value == FVisible)
        return;
    if (value)
        Show();
    else
        Hide();
}

void TZarvComponent::SetEvent(std::unique_ptr<TZarvSimpleEvent>& slot, const TZarvSimpleEvent* value,
                              const char* name)
{
    SetOwnedEvent(slot, value, this, name);
}

void TZarvComponent::SetOnBeforeReport(TZarvSimpleEvent* value)
{
    SetEvent(FOnBeforeReport, value, "OnBeforeReport");
}

void TZarvComponent::SetOnAfterReport(TZarvSimpleEvent* value)
{
    SetEvent(FOnAfterReport, value, "OnAfterReport");
}

void TZarvComponent::SetOnBeforePrint(TZarvSimpleEvent* value)
{
    SetEvent(FOnBeforePrint, value, "OnBeforePrint");
}

void TZarvComponent::SetOnAfterPrint(TZarvSimpleEvent* value)
{
    SetEvent(FOnAfterPrint, value, "OnAfterPrint");
}

void TZarvComponent::SetParent(TZarvComponent* value)
{
    for (const TZarvComponent* c = value; c; c = c->FParent) {
        if (c == this)
            throw EZarvClass(Translate(QStringLiteral("A component cannot be placed inside itself")));
    }
    if (FParent)
        FParent->RemoveChild(this);
    FParent = value;
    if (value) {
        try {
            value->AddChild(this);
        } catch (...) {
            // A parent that refuses the child is not its parent.
            FParent = nullptr;
            throw;
        }
    }
}

void TZarvComponent::AddChild(TZarvComponent*)
{
    throw EZarvClass(
        Translate(QStringLiteral("Class cannot accept children classes: \"%1\"").arg(ClassName())));
}

void TZarvComponent::RemoveChild(TZarvComponent*) {}

void TZarvComponent::MoveChild(TZarvComponent*, int) {}

TZarvComponent* TZarvComponent::GetChild(int) const
{
    return nullptr;
}

int TZarvComponent::GetChildCount() const
{
    return 0;
}

int TZarvComponent::GetChildIndex() const
{
    if (!FParent)
        return 0;
    for (int i = 0; i < FParent->GetChildCount(); ++i) {
        if (FParent->GetChild(i) == this)
            return i;
    }
    return 0;
}

void TZarvComponent::MoveForward()
{
    if (FParent)
        FParent->MoveChild(this, kMoveForward);
}

void TZarvComponent::MoveBehind()
{
    if (FParent)
        FParent->MoveChild(this, kMoveBehind);
}

void TZarvComponent::BringToFront()
{
    if (FParent)
        FParent->MoveChild(this, kMoveToFront);
}

void TZarvComponent::SendToBack()
{
    if (FParent)
        FParent->MoveChild(this, kMoveToBack);
}

void TZarvComponent::DestroyChildren()
{
    while (GetChildCount() >= 1)
        delete GetChild(GetChildCount() - 1);
}

bool TZarvComponent::AcceptParent(TZarvComponentClass) const
{
    return true;
}

bool TZarvComponent::AcceptChild(TZarvComponentClass) const
{
    return FControlStyle.Contains(TZarvComponentStyle::rcsContainer);
}

bool TZarvComponent::NeverIncluded() const
{
    return false;
}

bool TZarvComponent::CanSelect(TZarvComponent* item) const
{
    return FParent ? FParent->CanSelect(item) : true;
}

double TZarvComponent::GetPageLeft() const
{
    return 0.0;
}

double TZarvComponent::GetPageTop() const
{
    return 0.0;
}

double TZarvComponent::GetPageRight() const
{
    return 0.0;
}

double TZarvComponent::GetPageBottom() const
{
    return 0.0;
}

void TZarvComponent::ExecuteEvent(TZarvEvent* event)
{
    if (event)
        event->Execute();
}

void TZarvComponent::BeforeReport()
{
    ExecuteEvent(FOnBeforeReport.get());
    ForEachChild(this, [](TZarvComponent* child) { child->BeforeReport(); });
}

void TZarvComponent::AfterReport()
{
    ForEachChild(this, [](TZarvComponent* child) { child->AfterReport(); });
    ExecuteEvent(FOnAfterReport.get());
}

void TZarvComponent::BeforePrint()
{
    ++FPrintDepth;
    if (FPrintDepth < 2)
        ExecuteEvent(FOnBeforePrint.get());
}

void TZarvComponent::AfterPrint()
{
    if (FPrintDepth > 0)
        --FPrintDepth;
    if (FPrintDepth == 0)
        ExecuteEvent(FOnAfterPrint.get());
}

void TZarvComponent::UnwindPrintDepth()
{
    if (FPrintDepth > 0)
        --FPrintDepth;
}

void TZarvComponent::Print(TBaseReport*) {}

void TZarvComponent::PrintAll(TBaseReport* report)
{
    // An exception (a silent abort among them) leaves the print depth as it
    // found it, so the next run's events still fire.
    try {
        BeforePrint();
        if (AllowPrint()) {
            Print(report);
            ForEachChild(this, [report](TZarvComponent* child) { child->PrintAll(report); });
        }
    } catch (...) {
        UnwindPrintDepth();
        throw;
    }
    AfterPrint();
}

void TZarvComponent::BeginDataPass()
{
    ForEachChild(this, [](TZarvComponent* child) { child->BeginDataPass(); });
}

void TZarvComponent::EndDataPass()
{
    ForEachChild(this, [](TZarvComponent* child) { child->EndDataPass(); });
}

bool TZarvComponent::GetDonePrinting() const
{
    for (int i = 0; i < GetChildCount(); ++i) {
        TZarvComponent* child = GetChild(i);
        if (child && !child->GetDonePrinting())
            return false;
    }
    return true;
}

bool TZarvComponent::AllowPrint() const
{
    return FVisible;
}

void TZarvComponent::Hide()
{
    FVisible = false;
}

void TZarvComponent::Show()
{
    FVisible = true;
}

void TZarvComponent::PrintParams(double&, double&) {}

void TZarvComponent::SaveDesigned()
{
    ForEachChild(this, [](TZarvComponent* child) { child->SaveDesigned(); });
}

void TZarvComponent::RestoreDesigned()
{
    ForEachChild(this, [](TZarvComponent* child) { child->RestoreDesigned(); });
}

void TZarvComponent::SaveAdjusted()
{
    ForEachChild(this, [](TZarvComponent* child) { child->SaveAdjusted(); });
}

void TZarvComponent::RestoreAdjusted()
{
    ForEachChild(this, [](TZarvComponent* child) { child->RestoreAdjusted(); });
}

void TZarvComponent::ResolveImports()
{
    ForEachChild(this, [](TZarvComponent* child) { child->ResolveImports(); });
}

void TZarvComponent::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    ForEachChild(this, [=](TZarvComponent* child) { child->ChangeReference(oldComp, newComp); });
}

void TZarvComponent::OverrideProperties(TZarvFiler&) {}

void TZarvComponent::AddListener(const QString&, const TZarvListenMethod&) {}

void TZarvComponent::RemoveListener(const QString&, const TZarvListenMethod&) {}

bool TZarvComponent::Habla(const QString&) const
{
    return false;
}

bool TZarvComponent::IsLocked() const
{
    for (const TZarvComponent* c = this; c; c = c->FParent) {
        if (c->FLocked || c->FDevLocked)
            return true;
    }
    return false;
}

bool TZarvComponent::IsLocker() const
{
    return (FLocked || FDevLocked) && !(FParent && FParent->IsLocked());
}

TZarvComponent* TZarvComponent::GetLocker() const
{
    // The outermost locked one: the last found going up.
    TZarvComponent* locker = nullptr;
    for (TZarvComponent* c = FParent; c; c = c->FParent) {
        if (c->FLocked || c->FDevLocked)
            locker = c;
    }
    if (locker)
        return locker;
    return (FLocked || FDevLocked) ? const_cast<TZarvComponent*>(this) : nullptr;
}

double TZarvComponent::XU2I(double value) const
{
    return value / ProjectUnitsFactor(this);
}

double TZarvComponent::YU2I(double value) const
{
    return value / ProjectUnitsFactor(this);
}

double TZarvComponent::XI2U(double value) const
{
    return value * ProjectUnitsFactor(this);
}

double TZarvComponent::YI2U(double value) const
{
    return value * ProjectUnitsFactor(this);
}

TZarvComponent* TZarvComponent::CreateChild(TZarvComponentClass cls, const QString& baseName, double left,
                                            double top, double width, double height)
{
    if (!cls)
        throw EZarvClass(Translate(QStringLiteral("No class given for a new child")));
    TComponent* owner = ItemKind() != TZarvItemKind::ikComponent ? this : Owner();
    TObject* made = cls->Create(owner);
    auto* child = dynamic_cast<TZarvComponent*>(made);
    if (!child) {
        delete made;
        throw EZarvClass(
            Translate(QStringLiteral("Class \"%1\" is not a report component").arg(cls->ClassName())));
    }
    try {
        child->SetParent(this);
        QString base = cls->ClassName();
        if (base.startsWith(u'T'))
            base.remove(0, 1);
        if (base.toUpper().startsWith(QLatin1String("ZARV")))
            base.remove(0, 4);
        TZarvComponent* projectOwner = child->Project() ? child->Project() : FProject;
        if (auto* project = dynamic_cast<IZarvProjectManager*>(projectOwner)) {
            const QString name =
                baseName.isEmpty() ? project->GetUniqueName(base, owner, false)
                                   : project->GetUniqueName(baseName + QLatin1Char('|') + base, owner, true);
            child->SetName(name);
        }
        if (auto* control = dynamic_cast<TZarvControl*>(child)) {
            control->SetLeft(left);
            control->SetTop(top);
            if (width != 0.0)
                control->SetWidth(width);
            if (height != 0.0)
                control->SetHeight(height);
        }
    } catch (...) {
        delete child;
        throw;
    }
    ComponentAdded(child);
    return child;
}

void TZarvComponent::Invalidate() const
{
    if (CurrentDesigner && FPage && CurrentDesigner->Page() == FPage)
        CurrentDesigner->Repaint();
}

bool TZarvComponent::FindControlAt(TZarvControl*& control, const TZarvPoint& point) const
{
    // The reverse of painting order: a child's children lie on top of it, a
    // later child on top of an earlier one.
    for (int i = GetChildCount() - 1; i >= 0; --i) {
        auto* child = dynamic_cast<TZarvControl*>(GetChild(i));
        if (!child)
            continue;
        if (child->FindControlAt(control, point))
            return true;
        if (child->IsSelectPoint(point)) {
            control = child;
            return true;
        }
    }
    return false;
}

bool TZarvComponent::FindContainerAt(TZarvControl*& container, const TZarvPoint& point,
                                     TZarvComponentClass newChild) const
{
    for (int i = GetChildCount() - 1; i >= 0; --i) {
        auto* child = dynamic_cast<TZarvControl*>(GetChild(i));
        if (!child)
            continue;
        if (!PtInZarvRect(child->PageRect(), point))
            continue;
        if (child->FindContainerAt(container, point, newChild))
            return true;
        if (!child->IsLocked() && child->AcceptChild(newChild)) {
            container = child;
            return true;
        }
    }
    return false;
}

TComponent* TZarvComponent::GetParentComponent() const
{
    return FParent;
}

void TZarvComponent::SetParentComponent(TComponent* parent)
{
    if (auto* zarvParent = dynamic_cast<TZarvComponent*>(parent))
        SetParent(zarvParent);
}

// ---------------------------------------------------------------------------
// TZarvControl.

TZarvControl::TZarvControl(TComponent* owner) : TZarvComponent(owner) {}

TZarvControl::~TZarvControl()
{
    // The links to and from mirrors are dropped by Notification when the
    // framework destructor tells the partners.
}

void TZarvControl::Notification(TComponent* component, TOperation operation)
{
    TZarvComponent::Notification(component, operation);
    if (operation != TOperation::opRemove || !component)
        return;
    if (component == FMirror) {
        FMirror = nullptr;
        FMirrorOverride.clear();
    }
    FMirrorList.erase(std::remove(FMirrorList.begin(), FMirrorList.end(), component), FMirrorList.end());
}

void TZarvControl::SetLeft(double value)
{
    if (value == FLeft)
        return;
    FLeft = value;
    ResizeAll();
}

void TZarvControl::SetTop(double value)
{
    if (value == FTop)
        return;
    FTop = value;
    ResizeAll();
}

void TZarvControl::SetWidth(double value)
{
    if (value == FWidth)
        return;
    const double old = FWidth;
    ResizeChildren(true, false, old, value, 0, 0);
    if (GetHAnchor() == 1 && !Loading())
        FLeft += old - value;
    FWidth = value;
    ResizeAll();
}

void TZarvControl::SetHeight(double value)
{
    if (value == FHeight)
        return;
    const double old = FHeight;
    ResizeChildren(false, true, 0, 0, old, value);
    // Not while loading: Top is read before Height, and would move.
    if (GetVAnchor() == 1 && !Loading())
        FTop += old - value;
    FHeight = value;
    ResizeAll();
}

void TZarvControl::SetRight(double value)
{
    SetLeft(value - GetWidth());
}

void TZarvControl::SetBottom(double value)
{
    SetTop(value - GetHeight());
}

void TZarvControl::SetPos(double left, double top)
{
    if (left == GetLeft() && top == GetTop())
        return;
    const bool saved = DisableResize;
    DisableResize = true;
    SetLeft(left);
    SetTop(top);
    DisableResize = saved;
}

TZarvRect TZarvControl::BoundsRect() const
{
    return ZarvRect(GetLeft(), GetTop(), GetRight(), GetBottom());
}

void TZarvControl::SetBoundsRect(const TZarvRect& rect)
{
    const bool saved = DisableResize;
    DisableResize = true;
    // The size first: a right- or bottom-anchored control moves its left or
    // top edge when its size changes, and the rectangle asked for wins.
    SetWidth(rect.Right - rect.Left);
    SetHeight(rect.Bottom - rect.Top);
    SetLeft(rect.Left);
    SetTop(rect.Top);
    DisableResize = saved;
}

TZarvRect TZarvControl::DesignedRect() const
{
    return ZarvRect(FDesLeft, FDesTop, FDesLeft + FDesWidth, FDesTop + FDesHeight);
}

TZarvRect TZarvControl::AdjustedRect() const
{
    return ZarvRect(FAdjLeft, FAdjTop, FAdjLeft + FAdjWidth, FAdjTop + FAdjHeight);
}

void TZarvControl::ParentResized(bool widthChanged, bool heightChanged, double oldWidth, double newWidth,
                                 double oldHeight, double newHeight)
{
    if (FMirror) {
        FMirror->ParentResized(widthChanged, heightChanged, oldWidth, newWidth, oldHeight, newHeight);
        return;
    }
    if (widthChanged) {
        switch (GetHAnchor()) {
        case 1:
            SetLeft(GetLeft() + newWidth - oldWidth);
            break;
        case 2:
            SetLeft(GetLeft() + (newWidth - oldWidth) / 2);
            break;
        case 3:
            SetWidth(GetWidth() + newWidth - oldWidth);
            break;
        case 4:
            if (oldWidth != 0) {
                const double ratio = newWidth / oldWidth;
                SetLeft(GetLeft() * ratio);
                SetWidth(GetWidth() * ratio);
            }
            break;
        case 5:
            if (GetWidth() != oldWidth)
                SetLeft((newWidth - GetWidth()) * GetLeft() / (oldWidth - GetWidth()));
            break;
        default:
            break;
        }
    }
    if (heightChanged) {
        switch (GetVAnchor()) {
        case 1:
            SetTop(GetTop() + newHeight - oldHeight);
            break;
        case 2:
            SetTop(GetTop() + (newHeight - oldHeight) / 2);
            break;
        case 3:
            SetHeight(GetHeight() + newHeight - oldHeight);
            break;
        case 4:
            if (oldHeight != 0) {
                const double ratio = newHeight / oldHeight;
                SetTop(GetTop() * ratio);
                SetHeight(GetHeight() * ratio);
            }
            break;
        case 5:
            if (GetHeight() != oldHeight)
                SetTop((newHeight - GetHeight()) * GetTop() / (oldHeight - GetHeight()));
            break;
        default:
            break;
        }
    }
}

void TZarvControl::ResizeChildren(bool widthChanged, bool heightChanged, double oldWidth, double newWidth,
                                  double oldHeight, double newHeight)
{
    if (DisableResize)
        return;
    ForEachChildControl(this, [=](TZarvControl* child) {
        child->ParentResized(widthChanged, heightChanged, oldWidth, newWidth, oldHeight, newHeight);
    });
}

void TZarvControl::ResizeAll()
{
    if (DisableResize)
        return;
    Resize();
    ForEachChildControl(this, [](TZarvControl* child) { child->ResizeAll(); });
    Reflect();
}

void TZarvControl::Resize()
{
    if (InDesigner) {
        Invalidate();
        UpdatePips();
    }
}

double TZarvControl::HeightToPrint() const
{
    if (FMirror)
        return FMirror->HeightToPrint();
    double height = GetHeight();
    ForEachChildControl(this, [this, &height](TZarvControl* child) {
        height = std::max(height, FAdjHeight - child->FAdjHeight + child->HeightToPrint());
    });
    return height;
}

// The walks over a control's children and its mirror's children (printing,
// data passes, resizing, saved geometry) must not come back to where they
// started: a mirror is refused when this control can be reached from it
// through children and mirrors (itself, an ancestor, a mirror of itself).
bool TZarvControl::MirrorWouldCycle(const TZarvControl* value) const
{
    std::vector<const TZarvComponent*> pending{value};
    std::vector<const TZarvComponent*> seen;
    while (!pending.empty()) {
        const TZarvComponent* c = pending.back();
        pending.pop_back();
        if (c == this)
            return true;
        if (std::find(seen.begin(), seen.end(), c) != seen.end())
            continue;
        seen.push_back(c);
        ForEachChild(c, [&pending](TZarvComponent* child) { pending.push_back(child); });
        if (auto* control = dynamic_cast<const TZarvControl*>(c); control && control->FMirror)
            pending.push_back(control->FMirror);
    }
    return false;
}

void TZarvControl::SetMirror(TZarvControl* value)
{
    if (value == FMirror)
        return;
    if (value && (!ClassesRelated(*this, *value) || MirrorWouldCycle(value)))
        return;
    if (FMirror)
        FMirror->RemoveFromMirrorList(this);
    FMirror = value;
    if (value) {
        value->FreeNotification(this);
        value->AddToMirrorList(this);
    } else {
        FMirrorOverride.clear();
    }
}

void TZarvControl::AddToMirrorList(TZarvControl* control)
{
    if (!control)
        return;
    FMirrorList.push_back(control);
    control->FreeNotification(this);
    control->IncludeStyle(TZarvComponentStyle::rcsReflecting);
    try {
        AssignTo(control);
    } catch (...) {
        control->ExcludeStyle(TZarvComponentStyle::rcsReflecting);
        throw;
    }
    control->ExcludeStyle(TZarvComponentStyle::rcsReflecting);
}

void TZarvControl::RemoveFromMirrorList(TZarvControl* control)
{
    FMirrorList.erase(std::remove(FMirrorList.begin(), FMirrorList.end(), control), FMirrorList.end());
}

void TZarvControl::Reflect()
{
    // A copy: reflecting may change the list.
    const std::vector<TZarvControl*> targets = FMirrorList;
    for (TZarvControl* control : targets) {
        control->IncludeStyle(TZarvComponentStyle::rcsReflecting);
        try {
            AssignTo(control);
        } catch (...) {
            control->ExcludeStyle(TZarvComponentStyle::rcsReflecting);
            throw;
        }
        control->Invalidate();
        control->ExcludeStyle(TZarvComponentStyle::rcsReflecting);
    }
}

void TZarvControl::OverrideProp(const QString& propName)
{
    if (PropListHas(UpperCase(propName), QString::fromLatin1(AlwaysOverride)))
        return;
    const QString name = MapPropertyName(ClassType(), propName);
    if (FMirror && !PropListHas(name, FMirrorOverride)) {
        FMirrorOverride += QLatin1Char('`') + name;
        if (DesignerModifiedProc)
            DesignerModifiedProc(true);
    }
}

void TZarvControl::RevertProp(const QString& propName)
{
    if (!FMirror)
        return;
    const int pos = PropListPos(propName, FMirrorOverride);
    if (pos == 0)
        return;
    FMirrorOverride.remove(pos - 1, propName.size() + 1);
    FMirror->Reflect();
    if (DesignerModifiedProc)
        DesignerModifiedProc(true);
}

bool TZarvControl::PropOverridden(const QString& propName) const
{
    return FMirror && PropListHas(propName, FMirrorOverride);
}

void TZarvControl::AssignTo(TPersistent* dest) const
{
    auto* target = dynamic_cast<TZarvControl*>(dest);
    const TClassInfo* own = ClassType();
    const TClassInfo* other = dest ? dest->ClassType() : nullptr;
    if (!dest || !own || !other || !(own->InheritsFrom(other) || other->InheritsFrom(own))) {
        TZarvComponent::AssignTo(dest);
        return;
    }
    const TClassInfo* common = other->InheritsFrom(own) ? own : other;
    const QString alwaysOverride = QString::fromLatin1(AlwaysOverride);
    for (const TPropInfo* prop : common->Properties()) {
        if (prop->IsReadOnly() || PropListHas(prop->Name.toUpper(), alwaysOverride))
            continue;
        if (target && target->PropOverridden(prop->Name))
            continue;
        switch (prop->Kind()) {
        case TTypeKind::tkInteger:
        case TTypeKind::tkChar:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet:
            SetOrdProp(*dest, *prop, GetOrdProp(*this, *prop));
            break;
        case TTypeKind::tkClass:
            // Owned objects (a font) are copied by the destination's setter;
            // component references stay shared.
            // The setter checks the C++ type itself, so classes the registry
            // does not know (fonts) copy as well.
            if (!HoldsEvent(*this, *prop) && !HoldsEvent(*dest, *prop))
                prop->SetObject(*dest, prop->GetObject(*this));
            break;
        case TTypeKind::tkFloat:
            SetFloatProp(*dest, *prop, GetFloatProp(*this, *prop));
            break;
        case TTypeKind::tkString:
        case TTypeKind::tkLString:
        case TTypeKind::tkUString:
            SetStrProp(*dest, *prop, GetStrProp(*this, *prop));
            break;
        case TTypeKind::tkMethod:
            SetMethodProp(*dest, *prop, GetMethodProp(*this, *prop));
            break;
        case TTypeKind::tkVariant:
            SetVariantProp(*dest, *prop, GetVariantProp(*this, *prop));
            break;
        default:
            break;
        }
    }
}

void TZarvControl::SetFontAttr(TFontAttribute, TFont*) {}

TFont* TZarvControl::GetFontAttr(TFontAttribute) const
{
    return nullptr;
}

void TZarvControl::SetText(const QString&) {}

QString TZarvControl::GetText() const
{
    return QString();
}

void TZarvControl::SetFontJustify(TPrintJustify) {}

TPrintJustify TZarvControl::GetFontJustify() const
{
    return TPrintJustify::pjLeft;
}

void TZarvControl::SetForeColor(TColor) {}

TColor TZarvControl::GetForeColor() const
{
    return clNone;
}

void TZarvControl::SetBackColor(TColor) {}

TColor TZarvControl::GetBackColor() const
{
    return clNone;
}

void TZarvControl::SetFillStyle(TZarvFillStyle) {}

TZarvFillStyle TZarvControl::GetFillStyle() const
{
    return TZarvFillStyle::fsNone;
}

void TZarvControl::SetLineWidth(double) {}

double TZarvControl::GetLineWidth() const
{
    return -1.0;
}

void TZarvControl::SetLineWidthType(TLineWidthType) {}

TLineWidthType TZarvControl::GetLineWidthType() const
{
    return TLineWidthType::wtPixels;
}

void TZarvControl::SetLineStyle(TPenStyle) {}

TPenStyle TZarvControl::GetLineStyle() const
{
    return TPenStyle::psSolid;
}

void TZarvControl::CreatePips()
{
    AddPipsAt({0, 1, 2, 3, 4, 5, 6, 7});
}

void TZarvControl::UpdatePips()
{
    UpdatePipsAt({0, 1, 2, 3, 4, 5, 6, 7});
}

void TZarvControl::PipSize(TZarvPip& pip)
{
    const int column = PipColumn(pip.Index);
    const int row = PipRow(pip.Index);
    const TZarvRect& r = pip.OrigRect;
    const TZarvPoint origin = ParentOrigin();
    // The corner opposite the handle stays; the handle's own corner follows
    // the handle, an edge handle only across its edge.
    const TZarvPoint fixed{column < 0 ? r.Right : r.Left, row < 0 ? r.Bottom : r.Top};
    TZarvPoint moved{column < 0 ? r.Left : r.Right, row < 0 ? r.Top : r.Bottom};
    if (column != 0)
        moved.X = pip.PageX - origin.X;
    if (row != 0)
        moved.Y = pip.PageY - origin.Y;
    // Constrained here to learn where the handle's corner ends up; SetSize
    // constrains the same points again to the same result.
    TZarvPoint constrainedFixed = fixed;
    ModifyZarvRect(constrainedFixed, moved);
    SetSize(fixed, moved);

    // Past the opposite side the handle has become its mirror image.
    int index = pip.Index;
    if ((column > 0 && moved.X < fixed.X) || (column < 0 && moved.X > fixed.X))
        index = MirrorPipAcross(index);
    if ((row > 0 && moved.Y < fixed.Y) || (row < 0 && moved.Y > fixed.Y))
        index = MirrorPipUpDown(index);
    if (index != pip.Index) {
        if (TZarvPage* page = DesignerPage())
            page->SwitchPips(this, pip.Index, index);
    }
}

bool TZarvControl::IsSelectPoint(const TZarvPoint& point) const
{
    return PtInZarvRect(PageRect(), point) && ParentAllowsSelect();
}

bool TZarvControl::InSelectRect(const TZarvRect& rect) const
{
    TZarvRect overlap;
    return IntersectZarvRect(overlap, PageRect(), rect) && ParentAllowsSelect();
}

void TZarvControl::ModifyRect(TPoint&, TPoint&) const {}

void TZarvControl::ModifyZarvRect(TZarvPoint&, TZarvPoint&) const {}

void TZarvControl::SetSize(TZarvPoint p1, TZarvPoint p2)
{
    ModifyZarvRect(p1, p2);
    SetBoundsRect(
        ZarvRect(std::min(p1.X, p2.X), std::min(p1.Y, p2.Y), std::max(p1.X, p2.X), std::max(p1.Y, p2.Y)));
    ResizeAll();
}

void TZarvControl::Paint(TCanvas& canvas)
{
    PaintSelf(canvas);
    AtMirrorPlace(FMirror, [&canvas](TZarvComponent* child) {
        if (auto* control = dynamic_cast<TZarvControl*>(child))
            control->Paint(canvas);
    });
    ForEachChildControl(this, [&canvas](TZarvControl* child) { child->Paint(canvas); });
}

void TZarvControl::PaintSelf(TCanvas&) {}

TZarvRect TZarvControl::PageRect() const
{
    return ZarvRect(GetPageLeft(), GetPageTop(), GetPageRight(), GetPageBottom());
}

TRect TZarvControl::DesignerRect() const
{
    return TRect{XI2D(GetPageLeft()), YI2D(GetPageTop()), XI2D(GetPageRight()), YI2D(GetPageBottom())};
}

TZarvControl::TSavedClip TZarvControl::ClipToControl(TCanvas& canvas) const
{
    TSavedClip saved;
    QPainter* painter = canvas.Painter();
    if (!painter || !painter->isActive())
        return saved;
    saved.Saved = true;
    saved.Clipped = painter->hasClipping();
    if (saved.Clipped)
        saved.Region = painter->clipRegion();
    const TRect r = DesignerRect();
    painter->setClipRect(QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)),
                         saved.Clipped ? Qt::IntersectClip : Qt::ReplaceClip);
    return saved;
}

void TZarvControl::RestoreClip(TCanvas& canvas, const TSavedClip& saved)
{
    QPainter* painter = canvas.Painter();
    if (!saved.Saved || !painter || !painter->isActive())
        return;
    if (saved.Clipped)
        painter->setClipRegion(saved.Region);
    else
        painter->setClipping(false);
}

void TZarvControl::AddPipsAt(std::initializer_list<int> indexes)
{
    TZarvPage* page = DesignerPage();
    if (!page)
        return;
    for (int index : indexes) {
        const TZarvPoint at = PipPoint(index);
        page->AddPip(index, this, PipCursor(index), at.X, at.Y);
    }
}

void TZarvControl::UpdatePipsAt(std::initializer_list<int> indexes)
{
    TZarvPage* page = DesignerPage();
    if (!page)
        return;
    for (int index : indexes) {
        const TZarvPoint at = PipPoint(index);
        page->UpdatePip(index, this, at.X, at.Y);
    }
}

TZarvPoint TZarvControl::PipPoint(int index) const
{
    const int column = PipColumn(index);
    const int row = PipRow(index);
    const double x = column < 0   ? GetPageLeft()
                     : column > 0 ? GetPageRight()
                                  : GetPageLeft() + GetWidth() / 2;
    const double y = row < 0 ? GetPageTop() : row > 0 ? GetPageBottom() : GetPageTop() + GetHeight() / 2;
    return TZarvPoint{x, y};
}

int TZarvControl::PipCursor(int index)
{
    switch (index) {
    case 0:
    case 7:
        return crSizeNWSE;
    case 2:
    case 5:
        return crSizeNESW;
    case 1:
    case 6:
        return crSizeNS;
    default:
        return crSizeWE;
    }
}

TZarvPoint TZarvControl::ParentOrigin() const
{
    return TZarvPoint{GetPageLeft() - GetLeft(), GetPageTop() - GetTop()};
}

bool TZarvControl::ParentAllowsSelect() const
{
    return !Parent() || Parent()->CanSelect(const_cast<TZarvControl*>(this));
}

TZarvPage* TZarvControl::DesignerPage() const
{
    return dynamic_cast<TZarvPage*>(Page());
}

double TZarvControl::GetPageLeft() const
{
    return GetLeft() + FMirrorPoint.X + (Parent() ? Parent()->GetPageLeft() : 0.0);
}

double TZarvControl::GetPageTop() const
{
    return GetTop() + FMirrorPoint.Y + (Parent() ? Parent()->GetPageTop() : 0.0);
}

double TZarvControl::GetPageRight() const
{
    return GetPageLeft() + GetWidth();
}

double TZarvControl::GetPageBottom() const
{
    return GetPageTop() + GetHeight();
}

void TZarvControl::SaveDesigned()
{
    TZarvComponent::SaveDesigned();
    FDesLeft = GetLeft();
    FDesTop = GetTop();
    FDesWidth = GetWidth();
    FDesHeight = GetHeight();
}

void TZarvControl::RestoreDesigned()
{
    FLeft = FDesLeft;
    FTop = FDesTop;
    if (FMirror) {
        FMirror->RestoreDesigned();
    } else {
        FWidth = FDesWidth;
        FHeight = FDesHeight;
    }
    TZarvComponent::RestoreDesigned();
}

void TZarvControl::SaveAdjusted()
{
    TZarvComponent::SaveAdjusted();
    if (FMirror)
        FMirror->SaveAdjusted();
    FAdjLeft = GetLeft();
    FAdjTop = GetTop();
    FAdjWidth = GetWidth();
    FAdjHeight = GetHeight();
}

void TZarvControl::RestoreAdjusted()
{
    FLeft = FAdjLeft;
    FTop = FAdjTop;
    if (FMirror) {
        FMirror->RestoreAdjusted();
    } else {
        FWidth = FAdjWidth;
        FHeight = FAdjHeight;
    }
    TZarvComponent::RestoreAdjusted();
}

void TZarvControl::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvComponent::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FMirror)
        SetMirror(dynamic_cast<TZarvControl*>(newComp));
    auto* oldControl = dynamic_cast<TZarvControl*>(oldComp);
    if (oldControl && oldControl->FMirror == this && !newComp) {
        RemoveFromMirrorList(oldControl);
        oldControl->FMirror = nullptr;
    }
}

bool TZarvControl::GetDonePrinting() const
{
    const bool done = TZarvComponent::GetDonePrinting();
    if (done && FMirror)
        return FMirror->GetDonePrinting();
    return done;
}

void TZarvControl::BeginDataPass()
{
    TZarvComponent::BeginDataPass();
    if (FMirror)
        ForEachChild(FMirror, [](TZarvComponent* child) { child->BeginDataPass(); });
}

void TZarvControl::EndDataPass()
{
    TZarvComponent::EndDataPass();
    if (FMirror)
        ForEachChild(FMirror, [](TZarvComponent* child) { child->EndDataPass(); });
}

bool TZarvControl::AllowPrint() const
{
    if (!Visible())
        return false;
    // A band printing its controls lets only the stretching ones print.
    if (PrintingBand && PrintingBand == Parent())
        return GetVAnchor() == 3;
    return true;
}

void TZarvControl::PrintAll(TBaseReport* report)
{
    try {
        BeforePrint();
        BeginDataPass();
        if (AllowPrint()) {
            if (FDisplayOn == TDisplayOn::doParent) {
                if (Parent() && Parent()->ItemKind() == TZarvItemKind::ikPage)
                    FDisplayOn = TDisplayOn::doAll;
                else if (auto* parentControl = dynamic_cast<TZarvControl*>(Parent()))
                    FDisplayOn = parentControl->FDisplayOn;
            }
            RouteOutput(report, FDisplayOn);
            Print(report);
            AtMirrorPlace(FMirror, [report](TZarvComponent* child) { child->PrintAll(report); });
            ForEachChild(this, [report](TZarvComponent* child) { child->PrintAll(report); });
        }
    } catch (...) {
        UnwindPrintDepth();
        throw;
    }
    AfterPrint();
}

// The children of mirror (and first those of its own mirrors) stand at this
// control's place while f runs on them.
template <class F> void TZarvControl::AtMirrorPlace(TZarvControl* mirror, F f)
{
    if (!mirror)
        return;
    AtMirrorPlace(mirror->FMirror, f);
    if (mirror->GetChildCount() == 0)
        return;
    mirror->FMirrorPoint =
        TZarvPoint{GetPageLeft() - mirror->GetPageLeft(), GetPageTop() - mirror->GetPageTop()};
    try {
        ForEachChild(mirror, f);
    } catch (...) {
        mirror->FMirrorPoint = TZarvPoint{};
        throw;
    }
    mirror->FMirrorPoint = TZarvPoint{};
}

// ---------------------------------------------------------------------------
// Selection handles.

TZarvPip::TZarvPip(uint8_t index, TZarvControl* control, TZarvDesigner* designer, int cursor, double x,
                   double y)
    : Index(index), Control(control), Designer(designer), Cursor(cursor), PageX(x), PageY(y)
{
    Reset();
}

void TZarvPip::Reset()
{
    OrigPoint = TZarvPoint{PageX, PageY};
    if (Control)
        OrigRect = Control->BoundsRect();
    if (Designer)
        StartSizePoint = TPoint{Designer->XI2D(PageX), Designer->YI2D(PageY)};
}

void TZarvPip::Move(int x, int y)
{
    if (!Designer || !Control)
        return;
    // By differences of converted points, so that a designer whose origin
    // is not the page's corner moves the handle by as much as the mouse.
    PageX = OrigPoint.X + Designer->XD2I(x) - Designer->XD2I(StartSizePoint.X);
    PageY = OrigPoint.Y + Designer->YD2I(y) - Designer->YD2I(StartSizePoint.Y);
    Control->PipSize(*this);
}

void TZarvPip::Draw(TCanvas& canvas) const
{
    if (!Designer)
        return;
    constexpr int kHalf = 2; // a handle is 5 pixels square
    const int x = Designer->XI2D(PageX);
    const int y = Designer->YI2D(PageY);
    canvas.Brush()->SetColor(clBlack);
    canvas.Brush()->SetStyle(TBrushStyle::bsSolid);
    canvas.FillRect(TRect{x - kHalf, y - kHalf, x + kHalf + 1, y + kHalf + 1});
}

// ---------------------------------------------------------------------------
// Containers.

TZarvComponent* TZarvChildList::Get(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FItems[size_t(index)];
}

void TZarvChildList::Remove(const TZarvComponent* child)
{
    const auto it = std::find(FItems.begin(), FItems.end(), child);
    if (it != FItems.end())
        FItems.erase(it);
}

bool TZarvChildList::Move(TZarvComponent* child, int how)
{
    const auto it = std::find(FItems.begin(), FItems.end(), child);
    if (it == FItems.end())
        return false;
    const int oldIndex = int(it - FItems.begin());
    int newIndex;
    switch (how) {
    case kMoveToBack:
        newIndex = 0;
        break;
    case kMoveBehind:
        newIndex = oldIndex - 1;
        break;
    case kMoveForward:
        newIndex = oldIndex + 1;
        break;
    default:
        newIndex = Count() - 1;
        break;
    }
    if (newIndex < 0 || newIndex >= Count() || newIndex == oldIndex)
        return false;
    FItems.erase(it);
    FItems.insert(FItems.begin() + newIndex, child);
    return true;
}

void TZarvChildList::DestroyAll()
{
    // Each child leaves the list before it is deleted, so its own detaching
    // from its parent finds nothing left to do.
    while (!FItems.empty()) {
        TZarvComponent* child = FItems.back();
        FItems.pop_back();
        delete child;
    }
}

TZarvContainerControl::TZarvContainerControl(TComponent* owner) : TZarvControl(owner)
{
    FControlStyle = TZarvComponentStyles{TZarvComponentStyle::rcsContainer};
}

TZarvContainerControl::~TZarvContainerControl()
{
    DestroyChildren();
}

void TZarvContainerControl::AddChild(TZarvComponent* child)
{
    FChildren.Add(child);
}

void TZarvContainerControl::RemoveChild(TZarvComponent* child)
{
    FChildren.Remove(child);
}

void TZarvContainerControl::MoveChild(TZarvComponent* child, int how)
{
    if (FChildren.Move(child, how) && dynamic_cast<TZarvControl*>(child))
        child->Invalidate();
}

TZarvComponent* TZarvContainerControl::GetChild(int index) const
{
    return FChildren.Get(index);
}

int TZarvContainerControl::GetChildCount() const
{
    return FChildren.Count();
}

void TZarvContainerControl::DestroyChildren()
{
    FChildren.DestroyAll();
}

TZarvContainerComponent::TZarvContainerComponent(TComponent* owner) : TZarvComponent(owner)
{
    FControlStyle = TZarvComponentStyles{TZarvComponentStyle::rcsContainer};
}

TZarvContainerComponent::~TZarvContainerComponent()
{
    DestroyChildren();
}

void TZarvContainerComponent::AddChild(TZarvComponent* child)
{
    FChildren.Add(child);
}

void TZarvContainerComponent::RemoveChild(TZarvComponent* child)
{
    FChildren.Remove(child);
}

void TZarvContainerComponent::MoveChild(TZarvComponent* child, int how)
{
    if (FChildren.Move(child, how) && dynamic_cast<TZarvControl*>(child))
        child->Invalidate();
}

TZarvComponent* TZarvContainerComponent::GetChild(int index) const
{
    return FChildren.Get(index);
}

int TZarvContainerComponent::GetChildCount() const
{
    return FChildren.Count();
}

void TZarvContainerComponent::DestroyChildren()
{
    FChildren.DestroyAll();
}

// ---------------------------------------------------------------------------
// Free calls.

bool CallNeverIncluded(TZarvComponent* comp)
{
    return comp && comp->NeverIncluded();
}

void SaveAdjustedOf(TZarvComponent* comp)
{
    if (comp)
        comp->SaveAdjusted();
}

void RestoreAdjustedOf(TZarvComponent* comp)
{
    if (comp)
        comp->RestoreAdjusted();
}

int XI2D(double value)
{
    return CurrentDesigner ? CurrentDesigner->XI2D(value) : 0;
}

int YI2D(double value)
{
    return CurrentDesigner ? CurrentDesigner->YI2D(value) : 0;
}

int XI2DLength(double value)
{
    return XI2D(value) - XI2D(0);
}

int YI2DLength(double value)
{
    return YI2D(value) - YI2D(0);
}

double ParentYD2I(const TZarvComponent* comp, int value)
{
    if (!CurrentDesigner)
        return 0;
    const double parentTop = comp && comp->Parent() ? comp->Parent()->GetPageTop() : 0.0;
    return CurrentDesigner->YD2I(value) - parentTop;
}
