#include "report/components/ZvCsBars.h"

#include "platform/objects/ClassRegistry.h"
#include "report/components/ComponentTypes_p.h"
#include "report/components/DataText_p.h"
#include "report/components/ZvCsStd.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <QScopeGuard>

#include <cmath>

namespace {

// Puts the symbol's anchor for justify at position, the symbol justified so.
void PlaceSymbol(TQPBarsBase& bars, TPrintJustify justify, double position)
{
    switch (justify) {
    case TPrintJustify::pjCenter:
        bars.SetCenter(position);
        break;
    case TPrintJustify::pjRight:
        bars.SetRight(position);
        break;
    case TPrintJustify::pjLeft:
        bars.SetLeft(position);
        break;
    case TPrintJustify::pjBlock:
        // A block-justified symbol is anchored at its left edge.
        bars.SetLeft(position);
        bars.SetBarCodeJustify(TPrintJustify::pjBlock);
        break;
    }
}

const TTypeInfo& RotationType()
{
    static const TTypeInfo type = MakeEnumType(QStringLiteral("TBarCodeRotation"),
                                               {QStringLiteral("Rot0"), QStringLiteral("Rot90"),
                                                QStringLiteral("Rot180"), QStringLiteral("Rot270")});
    return type;
}

const TTypeInfo& CodePageType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TCodePage128"),
                     {QStringLiteral("cpCodeA"), QStringLiteral("cpCodeB"), QStringLiteral("cpCodeC")});
    return type;
}

bool JustifiedAs(const TObject& o, std::initializer_list<TPrintJustify> values)
{
    const TPrintJustify j = dynamic_cast<const TZarvBaseBarCode&>(o).BarCodeJustify();
    return std::find(values.begin(), values.end(), j) != values.end();
}

void PublishText(TClassInfo& info)
{
    PublishProperty(info, QStringLiteral("Text"), TypeInfoString(), &TZarvControl::GetText,
                    &TZarvControl::SetText);
}

void RegisterBarCodeClasses()
{
    if (FindClass(QStringLiteral("TZarvBaseBarCode")))
        return;
    TClassInfo& base =
        RegisterClass<TZarvBaseBarCode>(QStringLiteral("TZarvBaseBarCode"), QStringLiteral("TZarvControl"));
    using B = TZarvBaseBarCode;
    PublishProperty(base, QStringLiteral("DataField"), TypeInfoString(), &B::DataField, &B::SetDataField);
    PublishProperty(base, QStringLiteral("DataView"), TypeInfoClass(QStringLiteral("TZarvBaseDataView")),
                    &B::DataView, &B::SetDataView);
    PublishProperty(base, QStringLiteral("AutoSize"), TypeInfoBoolean(), &B::AutoSize, &B::SetAutoSize)
        .WithDefault(1);
    PublishProperty(base, QStringLiteral("BarCodeJustify"), ZarvPrintJustifyType(), &B::BarCodeJustify,
                    &B::SetBarCodeJustify)
        .WithStored([](const TObject&) { return false; });
    PublishProperty(base, QStringLiteral("Top"), ZarvUnitsType(), &TZarvControl::GetTop,
                    &TZarvControl::SetTop);
    PublishProperty(base, QStringLiteral("Bottom"), ZarvUnitsType(), &TZarvControl::GetBottom);
    PublishProperty(base, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishProperty(base, QStringLiteral("Width"), ZarvUnitsType(), &TZarvControl::GetWidth,
                    &TZarvControl::SetWidth);
    PublishProperty(base, QStringLiteral("Font"), TypeInfoClass(QStringLiteral("TFont")), &B::Font,
                    &B::SetFont);
    PublishProperty(base, QStringLiteral("BarWidth"), ZarvUnitsType(), &B::BarWidth, &B::SetBarWidth);
    PublishProperty(base, QStringLiteral("BarHeight"), ZarvUnitsType(), &B::BarHeight, &B::SetBarHeight);
    PublishProperty(base, QStringLiteral("BarTop"), ZarvUnitsType(), &B::BarTop, &B::SetBarTop);
    // Only the anchor of the justification is stored; a block-justified
    // component stores its left edge, so its place survives a reload.
    PublishProperty(base, QStringLiteral("Left"), ZarvUnitsType(), &TZarvControl::GetLeft,
                    &TZarvControl::SetLeft)
        .WithStored([](const TObject& o) {
            return JustifiedAs(o, {TPrintJustify::pjLeft, TPrintJustify::pjBlock});
        });
    PublishProperty(base, QStringLiteral("Right"), ZarvUnitsType(), &B::Right, &B::SetRightEdge)
        .WithStored([](const TObject& o) { return JustifiedAs(o, {TPrintJustify::pjRight}); });
    PublishProperty(base, QStringLiteral("Center"), ZarvUnitsType(), &B::Center, &B::SetCenter)
        .WithStored([](const TObject& o) { return JustifiedAs(o, {TPrintJustify::pjCenter}); });
    PublishProperty(base, QStringLiteral("TextJustify"), ZarvPrintJustifyType(), &B::TextJustify, &B::SetTextJustify)
        .WithDefault(int64_t(TPrintJustify::pjLeft));
    PublishProperty(base, QStringLiteral("UseChecksum"), TypeInfoBoolean(), &B::UseChecksum,
                    &B::SetUseChecksum);
    PublishProperty(base, QStringLiteral("WideFactor"), TypeInfoDouble(), &B::WideFactor, &B::SetWideFactor);
    PublishProperty(base, QStringLiteral("PrintReadable"), TypeInfoBoolean(), &B::PrintReadable,
                    &B::SetPrintReadable)
        .WithDefault(1);
    PublishProperty(base, QStringLiteral("PrintChecksum"), TypeInfoBoolean(), &B::PrintChecksum,
                    &B::SetPrintChecksum);
    PublishProperty(base, QStringLiteral("PrintTop"), TypeInfoBoolean(), &B::PrintTop, &B::SetPrintTop);
    PublishProperty(base, QStringLiteral("BarCodeRotation"), RotationType(), &B::BarCodeRotation,
                    &B::SetBarCodeRotation);

    TClassInfo& postNet = RegisterClass<TZarvPostNetBarCode>(QStringLiteral("TZarvPostNetBarCode"),
                                                             QStringLiteral("TZarvBaseBarCode"));
    PublishProperty(postNet, QStringLiteral("PrintReadable"), TypeInfoBoolean(), &B::PrintReadable,
                    &B::SetPrintReadable);
    PublishProperty(postNet, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishText(postNet);
    TClassInfo& i2of5 = RegisterClass<TZarvI2of5BarCode>(QStringLiteral("TZarvI2of5BarCode"),
                                                         QStringLiteral("TZarvBaseBarCode"));
    PublishText(i2of5);
    TClassInfo& code39 = RegisterClass<TZarvCode39BarCode>(QStringLiteral("TZarvCode39BarCode"),
                                                           QStringLiteral("TZarvBaseBarCode"));
    PublishProperty(code39, QStringLiteral("Extended"), TypeInfoBoolean(), &TZarvCode39BarCode::Extended,
                    &TZarvCode39BarCode::SetExtended);
    PublishText(code39);
    TClassInfo& code128 = RegisterClass<TZarvCode128BarCode>(QStringLiteral("TZarvCode128BarCode"),
                                                             QStringLiteral("TZarvBaseBarCode"));
    PublishProperty(code128, QStringLiteral("CodePage"), CodePageType(), &TZarvCode128BarCode::CodePage,
                    &TZarvCode128BarCode::SetCodePage);
    PublishProperty(code128, QStringLiteral("Optimize"), TypeInfoBoolean(), &TZarvCode128BarCode::Optimize,
                    &TZarvCode128BarCode::SetOptimize)
        .WithDefault(1);
    PublishText(code128);
    TClassInfo& upc =
        RegisterClass<TZarvUPCBarCode>(QStringLiteral("TZarvUPCBarCode"), QStringLiteral("TZarvBaseBarCode"));
    PublishText(upc);
    TClassInfo& ean =
        RegisterClass<TZarvEANBarCode>(QStringLiteral("TZarvEANBarCode"), QStringLiteral("TZarvBaseBarCode"));
    PublishText(ean);

    const QString group = QStringLiteral("BarCodes");
    RegisterZarvComponents(group, Translate(QStringLiteral("Bar Code")), QStringLiteral("ZVCsBars"),
                           {&postNet, &i2of5, &code39, &code128, &upc, &ean});
}

} // namespace

void RecordBarCodeProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterBarCodeClasses);
}

// ---------------------------------------------------------------------------
// TZarvBaseBarCode.

TZarvBaseBarCode::TZarvBaseBarCode(TComponent* owner) : TZarvControl(owner), FFont(NewZarvFont()) {}

TZarvBaseBarCode::~TZarvBaseBarCode() = default;

void TZarvBaseBarCode::InitBarCode(std::unique_ptr<TQPBarsBase> barCode)
{
    FBarCode = std::move(barCode);
    FAutoSize = true;
    FBarCode->SetBarCodeJustify(TPrintJustify::pjLeft);
    FBarCode->SetTextJustify(TPrintJustify::pjLeft);
    FBarCode->SetBarCodeRotation(TBarCodeRotation::Rot0);
}

void TZarvBaseBarCode::SetDataField(const QString& value)
{
    FDataField = value;
    Invalidate();
}

void TZarvBaseBarCode::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, IsDataView(value) ? value : nullptr);
}

void TZarvBaseBarCode::SetAutoSize(bool value)
{
    FAutoSize = value;
    if (!value)
        return;
    TZarvControl::SetHeight(FBarCode->Height());
    TZarvControl::SetWidth(FBarCode->Width());
    Resize();
}

// Resize puts the symbol's anchor for the new justification at the box.
void TZarvBaseBarCode::SetBarCodeJustify(TPrintJustify value)
{
    FBarCode->SetBarCodeJustify(value);
    Resize();
}

void TZarvBaseBarCode::SetFont(TFont* value)
{
    if (value)
        FFont->Assign(value);
    Invalidate();
}

void TZarvBaseBarCode::SetBarWidth(double value)
{
    FBarCode->SetBarWidth(value);
    Resize();
}

void TZarvBaseBarCode::SetBarHeight(double value)
{
    FBarCode->SetBarHeight(value);
    Resize();
}

void TZarvBaseBarCode::SetBarTop(double value)
{
    FBarCode->SetBarTop(value);
    SetTop(FBarCode->Top());
}

void TZarvBaseBarCode::SetRightEdge(double value)
{
    FBarCode->SetRight(value);
    TZarvControl::SetLeft(value - GetWidth());
    Resize();
}

void TZarvBaseBarCode::SetCenter(double value)
{
    FBarCode->SetCenter(value);
    TZarvControl::SetLeft(FBarCode->Center() - GetWidth() / 2);
    Resize();
}

void TZarvBaseBarCode::SetUseChecksum(bool value)
{
    FBarCode->SetUseChecksum(value);
    Resize();
}

void TZarvBaseBarCode::SetWideFactor(double value)
{
    FBarCode->SetWideFactor(value);
    Resize();
}

void TZarvBaseBarCode::SetPrintTop(bool value)
{
    FBarCode->SetPrintTop(value);
    Invalidate();
}

void TZarvBaseBarCode::SetText(const QString& value)
{
    FBarCode->SetText(value);
    TZarvControl::SetText(value);
    Invalidate();
    Resize();
}

QString TZarvBaseBarCode::GetText() const
{
    return FBarCode->Text();
}

void TZarvBaseBarCode::SetLeft(double value)
{
    const TPrintJustify justify = FBarCode->BarCodeJustify();
    FBarCode->SetLeft(value);
    TZarvControl::SetLeft(value);
    FBarCode->SetBarCodeJustify(justify);
    Resize();
}

double TZarvBaseBarCode::GetTop() const
{
    return FBarCode ? FBarCode->Top() : 0.0;
}

void TZarvBaseBarCode::SetTop(double value)
{
    FBarCode->SetTop(value);
    TZarvControl::SetTop(value);
    Resize();
}

void TZarvBaseBarCode::SetWidth(double value)
{
    if (!FAutoSize) {
        TZarvControl::SetWidth(value);
        return;
    }
    const TPrintJustify justify = FBarCode->BarCodeJustify();
    const double anchor = FBarCode->Position();
    TZarvControl::SetWidth(FBarCode->Width());
    if (justify == TPrintJustify::pjCenter)
        SetCenter(anchor);
    else if (justify == TPrintJustify::pjRight)
        SetRightEdge(anchor);
}

void TZarvBaseBarCode::SetHeight(double value)
{
    FBarCode->SetBarHeight(value - FBarCode->ReadableHeight());
    TZarvControl::SetHeight(FBarCode->Height());
}

void TZarvBaseBarCode::AnchorSymbol()
{
    const double left = TZarvControl::GetLeft();
    switch (FBarCode->BarCodeJustify()) {
    case TPrintJustify::pjCenter:
        FBarCode->SetPosition(left + GetWidth() / 2);
        break;
    case TPrintJustify::pjRight:
        FBarCode->SetPosition(left + GetWidth());
        break;
    case TPrintJustify::pjLeft:
    case TPrintJustify::pjBlock:
        FBarCode->SetPosition(left);
        break;
    }
}

void TZarvBaseBarCode::Resize()
{
    if (FBarCode) {
        AnchorSymbol();
        // The bars fill the box below the readable text; the symbol's top
        // stays the component's.
        const double top = TZarvControl::GetTop();
        FBarCode->SetBarHeight(GetHeight() - FBarCode->ReadableHeight());
        FBarCode->SetBottom(top + GetHeight());
        if (FAutoSize && FloatToTextTrimmed(FBarCode->Width(), 15) != FloatToTextTrimmed(GetWidth(), 15))
            TZarvControl::SetWidth(FBarCode->Width());
    }
    TZarvControl::Resize();
}

void TZarvBaseBarCode::BeforeReport()
{
    FOldText = GetText();
    TZarvControl::BeforeReport();
}

void TZarvBaseBarCode::AfterReport()
{
    SetText(FOldText);
    TZarvControl::AfterReport();
}

void TZarvBaseBarCode::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    if (!FDataField.isEmpty())
        FBarCode->SetText(EvaluateDataText(this, FDataView, FDataField));
    TQPBarsBase& bars = *FBarCode;
    bars.SetBaseReport(report);
    report->AssignFont(*FFont);
    bars.OverrideBar = nullptr;
    const double savedTop = bars.Top();
    const double savedPosition = bars.Position();
    const TPrintJustify justify = bars.BarCodeJustify();
    // The symbol is back at its designed place however printing ends.
    const auto restore = qScopeGuard([&] {
        PlaceSymbol(bars, justify, savedPosition);
        bars.SetTop(savedTop);
        bars.SetBaseReport(nullptr);
    });
    const double designLeft = TZarvControl::GetLeft();
    const double designTop = TZarvControl::GetTop();
    const double pageLeft = GetPageLeft();
    const double pageTop = GetPageTop();
    const double w = GetWidth();
    const double h = GetHeight();
    const double f = FFont->Size() / 60.0;
    const bool center = justify == TPrintJustify::pjCenter;
    const bool right = justify == TPrintJustify::pjRight;
    // A turned symbol keeps a center or right justification; any other is
    // placed by its left edge.
    const TPrintJustify turned = center || right ? justify : TPrintJustify::pjLeft;
    switch (bars.BarCodeRotation()) {
    case TBarCodeRotation::Rot0:
        if (FAutoSize || (!center && !right))
            bars.SetLeft(pageLeft + (bars.Left() - designLeft));
        else if (center)
            bars.SetCenter(pageLeft + w / 2);
        else
            bars.SetRight(pageLeft + w);
        bars.SetTop(pageTop + (savedTop - designTop));
        break;
    case TBarCodeRotation::Rot90:
        PlaceSymbol(bars, turned, center ? pageTop + h - w / 2 : right ? pageTop + h - w : pageTop + h);
        bars.SetTop(pageLeft + (savedTop - designTop));
        break;
    case TBarCodeRotation::Rot180:
        PlaceSymbol(bars, turned, center ? pageLeft + w / 2 : right ? pageLeft : pageLeft + w);
        bars.SetTop(GetPageBottom() + f);
        break;
    case TBarCodeRotation::Rot270:
        PlaceSymbol(bars, turned, center ? pageTop + w / 2 : right ? pageTop + w : pageTop);
        bars.SetTop(pageLeft + bars.BarHeight() + f);
        break;
    }
    bars.Print();
}

void TZarvBaseBarCode::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvControl::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FDataView)
        SetDataView(newComp);
}

void TZarvBaseBarCode::Notification(TComponent* component, TOperation operation)
{
    TZarvControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FDataView)
        FDataView = nullptr;
}

// ---------------------------------------------------------------------------
// The six symbologies.

TZarvPostNetBarCode::TZarvPostNetBarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    SetPrintReadable(false);
    SetAutoSize(true);
    SetHeight(0.125);
    SetWidth(0.5);
}

std::unique_ptr<TQPBarsBase> TZarvPostNetBarCode::CreateBarCode() const
{
    return std::make_unique<TQPBarsPostNet>(nullptr);
}

void TZarvPostNetBarCode::SetHeight(double)
{
    TZarvBaseBarCode::SetHeight(0.125);
}

namespace {

template <class C> void InitStandard(C* self, double height)
{
    self->SetAutoSize(true);
    self->SetHeight(height);
    self->SetWidth(0.5);
}

} // namespace

TZarvI2of5BarCode::TZarvI2of5BarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    InitStandard(this, 0.25);
}

std::unique_ptr<TQPBarsBase> TZarvI2of5BarCode::CreateBarCode() const
{
    return std::make_unique<TQPBars2of5>(nullptr);
}

TZarvCode39BarCode::TZarvCode39BarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    InitStandard(this, 0.25);
}

std::unique_ptr<TQPBarsBase> TZarvCode39BarCode::CreateBarCode() const
{
    return std::make_unique<TQPBarsCode39>(nullptr);
}

bool TZarvCode39BarCode::Extended() const
{
    return static_cast<TQPBarsCode39*>(BarCode())->Extended();
}

void TZarvCode39BarCode::SetExtended(bool value)
{
    static_cast<TQPBarsCode39*>(BarCode())->SetExtended(value);
    Resize();
}

TZarvCode128BarCode::TZarvCode128BarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    InitStandard(this, 0.25);
}

std::unique_ptr<TQPBarsBase> TZarvCode128BarCode::CreateBarCode() const
{
    return std::make_unique<TQPBarsCode128>(nullptr);
}

TCodePage128 TZarvCode128BarCode::CodePage() const
{
    return static_cast<TQPBarsCode128*>(BarCode())->CodePage();
}

void TZarvCode128BarCode::SetCodePage(TCodePage128 value)
{
    static_cast<TQPBarsCode128*>(BarCode())->SetCodePage(value);
    Resize();
}

bool TZarvCode128BarCode::Optimize() const
{
    return static_cast<TQPBarsCode128*>(BarCode())->Optimize();
}

void TZarvCode128BarCode::SetOptimize(bool value)
{
    static_cast<TQPBarsCode128*>(BarCode())->SetOptimize(value);
    Resize();
}

TZarvUPCBarCode::TZarvUPCBarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    InitStandard(this, 0.5);
    Font()->SetSize(11);
}

std::unique_ptr<TQPBarsBase> TZarvUPCBarCode::CreateBarCode() const
{
    return std::make_unique<TQPBarsUPC>(nullptr);
}

TZarvEANBarCode::TZarvEANBarCode(TComponent* owner) : TZarvBaseBarCode(owner)
{
    InitBarCode(CreateBarCode());
    InitStandard(this, 0.5);
    Font()->SetSize(11);
}

std::unique_ptr<TQPBarsBase> TZarvEANBarCode::CreateBarCode() const
{
    return std::make_unique<TQPBarsEAN>(nullptr);
}
