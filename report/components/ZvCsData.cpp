#include "report/components/ZvCsData.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/NumberText.h"
#include "report/components/ComponentTypes_p.h"
#include "report/components/DataText_p.h"
#include "report/components/ZvCsRpt.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <QRandomGenerator>
#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

TZarvComponent* DataViewOrNull(TZarvComponent* value)
{
    return IsDataView(value) ? value : nullptr;
}

void RegisterDataClasses()
{
    if (FindClass(QStringLiteral("TZarvDataText")))
        return;
    const TTypeInfo& viewType = TypeInfoClass(QStringLiteral("TZarvBaseDataView"));

    TClassInfo& dataText =
        RegisterClass<TZarvDataText>(QStringLiteral("TZarvDataText"), QStringLiteral("TZarvText"));
    PublishProperty(dataText, QStringLiteral("Truncate"), TypeInfoBoolean(), &TZarvText::Truncate,
                    &TZarvText::SetTruncate)
        .WithDefault(1);
    PublishProperty(dataText, QStringLiteral("DataField"), TypeInfoString(), &TZarvDataText::DataField,
                    &TZarvDataText::SetDataField);
    PublishProperty(dataText, QStringLiteral("DataView"), viewType, &TZarvDataText::DataView,
                    &TZarvDataText::SetDataView);
    PublishProperty(dataText, QStringLiteral("LookupDataView"), viewType, &TZarvDataText::LookupDataView,
                    &TZarvDataText::SetLookupDataView);
    PublishProperty(dataText, QStringLiteral("LookupField"), TypeInfoString(), &TZarvDataText::LookupField,
                    &TZarvDataText::SetLookupField);
    PublishProperty(dataText, QStringLiteral("LookupDisplay"), TypeInfoString(),
                    &TZarvDataText::LookupDisplay, &TZarvDataText::SetLookupDisplay);
    PublishProperty(dataText, QStringLiteral("LookupInvalid"), TypeInfoString(),
                    &TZarvDataText::LookupInvalid, &TZarvDataText::SetLookupInvalid);

    TClassInfo& dataMemo =
        RegisterClass<TZarvDataMemo>(QStringLiteral("TZarvDataMemo"), QStringLiteral("TZarvMemo"));
    PublishProperty(dataMemo, QStringLiteral("ContainsRTF"), TypeInfoBoolean(), &TZarvMemo::ContainsRTF,
                    &TZarvMemo::SetContainsRTF);
    PublishProperty(dataMemo, QStringLiteral("DataField"), TypeInfoString(), &TZarvDataMemo::DataField,
                    &TZarvDataMemo::SetDataField);
    PublishProperty(dataMemo, QStringLiteral("DataView"), viewType, &TZarvDataMemo::DataView,
                    &TZarvDataMemo::SetDataView);

    TClassInfo& mirror =
        RegisterClass<TZarvDataMirror>(QStringLiteral("TZarvDataMirror"), QStringLiteral("TPersistent"));
    PublishProperty(mirror, QStringLiteral("DataValue"), TypeInfoString(), &TZarvDataMirror::DataValue,
                    &TZarvDataMirror::SetDataValue);
    PublishProperty(mirror, QStringLiteral("IsDefault"), TypeInfoBoolean(), &TZarvDataMirror::IsDefault,
                    &TZarvDataMirror::SetIsDefault);
    PublishProperty(mirror, QStringLiteral("SectionMirror"), TypeInfoClass(QStringLiteral("TZarvSection")),
                    &TZarvDataMirror::SectionMirror, &TZarvDataMirror::SetSectionMirror);
    RegisterClass<TZarvDataMirrorList>(QStringLiteral("TZarvDataMirrorList"),
                                       QStringLiteral("TZarvPersistentList"));

    TClassInfo& mirrorSection = RegisterClass<TZarvDataMirrorSection>(
        QStringLiteral("TZarvDataMirrorSection"), QStringLiteral("TZarvSection"));
    PublishProperty(mirrorSection, QStringLiteral("CompareCase"), TypeInfoBoolean(),
                    &TZarvDataMirrorSection::CompareCase, &TZarvDataMirrorSection::SetCompareCase);
    PublishProperty(mirrorSection, QStringLiteral("DataField"), TypeInfoString(),
                    &TZarvDataMirrorSection::DataField, &TZarvDataMirrorSection::SetDataField);
    PublishProperty(mirrorSection, QStringLiteral("DataView"), viewType, &TZarvDataMirrorSection::DataView,
                    &TZarvDataMirrorSection::SetDataView);
    PublishProperty(mirrorSection, QStringLiteral("DataMirrors"),
                    TypeInfoClass(QStringLiteral("TZarvPersistentList")),
                    &TZarvDataMirrorSection::DataMirrors, &TZarvDataMirrorSection::SetDataMirrors);
    PublishProperty(mirrorSection, QStringLiteral("OnMirrorValue"),
                    TypeInfoClass(QStringLiteral("TZarvStringEvent")), &TZarvDataMirrorSection::OnMirrorValue,
                    &TZarvDataMirrorSection::SetOnMirrorValue)
        .WithStored([](const TObject& o) {
            return dynamic_cast<const TZarvDataMirrorSection&>(o).OnMirrorValue() != nullptr;
        });

    const TCalcClasses calc = RegisterCalcClasses();
    const TRegionClasses region = RegisterRegionClasses();
    const QString group = QStringLiteral("Report");
    CallRegisterHook(group, Translate(group));
    RegisterZarvClasses(group, {&dataText, &dataMemo, calc.CalcText, &mirrorSection, region.Region,
                                region.Band, region.DataBand, region.DataCycle, calc.CalcOp, calc.CalcTotal,
                                calc.CalcController});
    RegisterZarvModuleClasses(QStringLiteral("ZvCsData"),
                              {&dataText, &dataMemo, calc.CalcText, &mirrorSection, calc.CalcOp,
                               calc.CalcTotal, calc.CalcController});
    RegisterZarvModuleClasses(QStringLiteral("ZvCsRpt"),
                              {region.Region, region.Band, region.DataBand, region.DataCycle});
}

} // namespace

void RecordDataComponentProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDataClasses);
}

// ---------------------------------------------------------------------------
// TZarvDataText.

TZarvDataText::TZarvDataText(TComponent* owner) : TZarvText(owner)
{
    SetTruncate(true);
    if (InDesigner)
        BracketText = true;
}

void TZarvDataText::SetDataField(const QString& value)
{
    FDataField = value;
    Invalidate();
}

void TZarvDataText::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvDataText::SetLookupDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FLookupDataView, DataViewOrNull(value));
    Invalidate();
}

void TZarvDataText::SetLookupField(const QString& value)
{
    FLookupField = value;
    Invalidate();
}

void TZarvDataText::SetLookupDisplay(const QString& value)
{
    FLookupDisplay = value;
    Invalidate();
}

void TZarvDataText::SetText(const QString&) {}

bool TZarvDataText::LookupComplete() const
{
    return FLookupDataView && !FLookupField.isEmpty() && !FLookupDisplay.isEmpty();
}

QString TZarvDataText::GetText() const
{
    auto* self = const_cast<TZarvDataText*>(this);
    if (ProjectPrinting(this)) {
        // A lookup into the data view itself shows the display of the current row.
        if (LookupComplete() && FLookupDataView == FDataView)
            return EvaluateDataText(self, FDataView, FLookupDisplay);
        const QString text = EvaluateDataText(self, FDataView, FDataField);
        if (LookupComplete())
            return LookupDataValue(FLookupDataView, text, FDataView, FDataField, FLookupField, FLookupDisplay,
                                   FLookupInvalid);
        return text;
    }
    if (FDataField.isEmpty())
        return Name();
    if (LookupComplete())
        return FDataField + QChar(0x00BB) + FLookupDataView->Name() + QLatin1Char('.') + FLookupDisplay;
    return FDataField;
}

void TZarvDataText::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvText::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (oldComp == FLookupDataView)
        SetLookupDataView(newComp);
}

void TZarvDataText::Notification(TComponent* component, TOperation operation)
{
    TZarvText::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FLookupDataView)
        FLookupDataView = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvDataMemo.

TZarvDataMemo::TZarvDataMemo(TComponent* owner) : TZarvMemo(owner) {}

void TZarvDataMemo::SetDataField(const QString& value)
{
    FDataField = value;
    Invalidate();
}

void TZarvDataMemo::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

bool TZarvDataMemo::AllowPrint() const
{
    // A memo whose text is all printed waits for the next row.
    if (GetDonePrinting())
        return false;
    return TZarvMemo::AllowPrint();
}

QString TZarvDataMemo::GetText() const
{
    if (ProjectPrinting(this))
        return EvaluateDataText(const_cast<TZarvDataMemo*>(this), FDataView, FDataField);
    return QLatin1Char('[') + (FDataField.isEmpty() ? Name() : FDataField) + QLatin1Char(']');
}

void TZarvDataMemo::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvMemo::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FDataView)
        SetDataView(newComp);
}

void TZarvDataMemo::Notification(TComponent* component, TOperation operation)
{
    TZarvMemo::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FDataView)
        FDataView = nullptr;
}

// ---------------------------------------------------------------------------
// Mirror items.

// Clears the item's section when that section goes.
class TZarvDataMirror::TWatcher : public TComponent {
public:
    explicit TWatcher(TZarvDataMirror* item) : TComponent(nullptr), FItem(item) {}

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove && component == FItem->FSectionMirror)
            FItem->FSectionMirror = nullptr;
    }

private:
    TZarvDataMirror* FItem;
};

TZarvDataMirror::TZarvDataMirror() : FWatcher(std::make_unique<TWatcher>(this)) {}

TZarvDataMirror::~TZarvDataMirror()
{
    SetSectionMirror(nullptr);
}

void TZarvDataMirror::SetSectionMirror(TZarvSection* value)
{
    if (value == FSectionMirror)
        return;
    if (FSectionMirror)
        FSectionMirror->RemoveFreeNotification(FWatcher.get());
    FSectionMirror = value;
    if (FSectionMirror)
        FSectionMirror->FreeNotification(FWatcher.get());
}

TPersistent* TZarvDataMirrorList::CreateItem(const QString&, TComponent*)
{
    return new TZarvDataMirror;
}

// ---------------------------------------------------------------------------
// TZarvDataMirrorSection.

TZarvDataMirrorSection::TZarvDataMirrorSection(TComponent* owner)
    : TZarvSection(owner), FOwnMirrors(std::make_unique<TZarvDataMirrorList>())
{
    FDataMirrors = FOwnMirrors.get();
}

TZarvDataMirrorSection::~TZarvDataMirrorSection() = default;

void TZarvDataMirrorSection::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvDataMirrorSection::SetDataMirrors(TZarvPersistentList* value)
{
    if (ProjectPrinting(this) && value) {
        FDataMirrors = value;
        FDirectReference = true;
        return;
    }
    FDirectReference = false;
    FDataMirrors = FOwnMirrors.get();
    if (value == FOwnMirrors.get())
        return;
    FOwnMirrors->Clear();
    if (!value)
        return;
    for (int i = 0; i < value->Count(); ++i) {
        auto* source = dynamic_cast<TZarvDataMirror*>(value->Items(i));
        if (!source)
            continue;
        auto* item = new TZarvDataMirror;
        item->SetDataValue(source->DataValue());
        item->SetSectionMirror(source->SectionMirror());
        item->SetIsDefault(source->IsDefault());
        FOwnMirrors->Add(item);
    }
}

void TZarvDataMirrorSection::SetOnMirrorValue(TZarvStringEvent* value)
{
    SetOwnedEvent(FOnMirrorValue, value, this, "OnMirrorValue");
}

TZarvSection* TZarvDataMirrorSection::ChooseMirror(const QString& value) const
{
    if (!FDataMirrors)
        return nullptr;
    TZarvSection* fallback = nullptr;
    bool haveDefault = false;
    for (int i = 0; i < FDataMirrors->Count(); ++i) {
        auto* item = dynamic_cast<TZarvDataMirror*>(FDataMirrors->Items(i));
        if (!item)
            continue;
        if (item->IsDefault() && !haveDefault) {
            fallback = item->SectionMirror();
            haveDefault = true;
        }
        const bool match =
            FCompareCase ? item->DataValue() == value : SameTextLocale(item->DataValue(), value);
        if (match)
            return item->SectionMirror();
    }
    return fallback;
}

void TZarvDataMirrorSection::BeginDataPass()
{
    if (FInitialized)
        return;
    FSaveMirror = Mirror();
    std::vector<TZarvDataMirrorSection*> chain;
    TZarvDataMirrorSection* current = this;
    while (current) {
        chain.push_back(current);
        QString value = EvaluateDataText(current, current->FDataView, current->FDataField);
        if (current->FOnMirrorValue) {
            current->FOnMirrorValue->SetValue(value);
            current->FOnMirrorValue->Execute();
            value = current->FOnMirrorValue->Value();
        }
        TZarvSection* chosen = current->ChooseMirror(value);
        current->SetMirror(chosen);
        auto* next = dynamic_cast<TZarvDataMirrorSection*>(chosen);
        // A table that leads back into the chain would choose forever.
        if (next && std::find(chain.begin(), chain.end(), next) != chain.end())
            next = nullptr;
        current = next;
    }
    TZarvSection::BeginDataPass();
    if (Parent() && Parent() == Page())
        SaveAdjusted();
    FInitialized = true;
}

void TZarvDataMirrorSection::EndDataPass()
{
    if (!FInitialized)
        return;
    TZarvSection::EndDataPass();
    if (Mirror() != FSaveMirror) {
        if (TZarvControl* mirror = Mirror())
            mirror->RestoreDesigned();
        SetMirror(FSaveMirror);
    }
    FInitialized = false;
}

void TZarvDataMirrorSection::PrintAll(TBaseReport* report)
{
    BeginDataPass();
    TZarvSection::PrintAll(report);
    EndDataPass();
}

void TZarvDataMirrorSection::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvSection::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (!FDataMirrors)
        return;
    for (int i = 0; i < FDataMirrors->Count(); ++i) {
        auto* item = dynamic_cast<TZarvDataMirror*>(FDataMirrors->Items(i));
        if (item && item->SectionMirror() == oldComp)
            item->SetSectionMirror(dynamic_cast<TZarvSection*>(newComp));
    }
}

void TZarvDataMirrorSection::SaveDesigned()
{
    TZarvSection::SaveDesigned();
    FSaveAnchor = Anchor();
    FSaveCompareCase = FCompareCase;
    FSaveDataField = FDataField;
    FSaveDataMirrors = FDataMirrors;
    FSaveDataView = FDataView;
    FSaveDisplayOn = DisplayOn();
    FSaveTag = Tag();
}

void TZarvDataMirrorSection::PutSavedBack()
{
    SetAnchor(FSaveAnchor);
    FCompareCase = FSaveCompareCase;
    FDataField = FSaveDataField;
    if (FSaveDataMirrors)
        FDataMirrors = FSaveDataMirrors;
    SetDataView(FSaveDataView);
    SetDisplayOn(FSaveDisplayOn);
    SetTag(FSaveTag);
}

void TZarvDataMirrorSection::RestoreDesigned()
{
    PutSavedBack();
    EndDataPass();
    TZarvSection::RestoreDesigned();
}

template <class F> void TZarvDataMirrorSection::ForEachMirrorSection(F f) const
{
    if (!FDataMirrors)
        return;
    for (int i = 0; i < FDataMirrors->Count(); ++i) {
        auto* item = dynamic_cast<TZarvDataMirror*>(FDataMirrors->Items(i));
        if (item && item->SectionMirror() && item->SectionMirror() != this)
            f(item->SectionMirror());
    }
}

// Mirror tables may name each other; each section is visited once.
void TZarvDataMirrorSection::SaveAdjusted()
{
    if (FAdjusting)
        return;
    const QScopedValueRollback<bool> adjusting(FAdjusting, true);
    TZarvSection::SaveAdjusted();
    ForEachMirrorSection([](TZarvSection* section) { section->SaveAdjusted(); });
}

void TZarvDataMirrorSection::RestoreAdjusted()
{
    if (FAdjusting)
        return;
    const QScopedValueRollback<bool> adjusting(FAdjusting, true);
    PutSavedBack();
    ForEachMirrorSection([](TZarvSection* section) { section->RestoreAdjusted(); });
    TZarvSection::RestoreAdjusted();
}

void TZarvDataMirrorSection::Notification(TComponent* component, TOperation operation)
{
    TZarvSection::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FSaveDataView)
        FSaveDataView = nullptr;
}

// ---------------------------------------------------------------------------
// Calculations.

namespace {

// A failed calculation step; never leaves this unit.
struct TCalcError {};

TZarvExtended Finite(TZarvExtended x)
{
    if (!std::isfinite(x))
        throw TCalcError{};
    return x;
}

// x toward zero as a 64-bit integer; out of range is an error.
int64_t TruncToInt64(TZarvExtended x)
{
    const TZarvExtended t = std::trunc(Finite(x));
    // 2^63 is exact in extended precision; the range is [-2^63, 2^63).
    constexpr TZarvExtended limit = 9223372036854775808.0L;
    if (t < -limit || t >= limit)
        throw TCalcError{};
    return int64_t(t);
}

// x rounded to the nearest integer, ties to even, as a 64-bit integer.
int64_t RoundToInt64(TZarvExtended x)
{
    const TZarvExtended r = std::nearbyint(Finite(x)); // the default rounding: ties to even
    return TruncToInt64(r);
}

TZarvExtended RoundTo(TZarvExtended x, int decimals)
{
    TZarvExtended scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return TZarvExtended(RoundToInt64(x * scale)) / scale;
}

TZarvExtended ApplyFunction(int function, TZarvExtended x)
{
    switch (TZarvCalcFunction(function)) {
    case TZarvCalcFunction::cfNone:
        return x;
    case TZarvCalcFunction::cfTrunc:
        return TZarvExtended(TruncToInt64(x));
    case TZarvCalcFunction::cfFrac:
        return x - std::trunc(x);
    case TZarvCalcFunction::cfRound:
        return TZarvExtended(RoundToInt64(x));
    case TZarvCalcFunction::cfNeg:
        return -x;
    case TZarvCalcFunction::cfAbs:
        return std::fabs(x);
    case TZarvCalcFunction::cfSin:
        return std::sin(x);
    case TZarvCalcFunction::cfCos:
        return std::cos(x);
    case TZarvCalcFunction::cfArcTan:
        return std::atan(x);
    case TZarvCalcFunction::cfSqr:
        return x * x;
    case TZarvCalcFunction::cfSqrt:
        if (x < 0)
            throw TCalcError{};
        return std::sqrt(x);
    case TZarvCalcFunction::cfInc:
        return x + 1;
    case TZarvCalcFunction::cfDec:
        return x - 1;
    case TZarvCalcFunction::cfRandom:
        return TZarvExtended(QRandomGenerator::global()->generateDouble()) * x;
    case TZarvCalcFunction::cfRound1:
    case TZarvCalcFunction::cfRound2:
    case TZarvCalcFunction::cfRound3:
    case TZarvCalcFunction::cfRound4:
    case TZarvCalcFunction::cfRound5:
        return RoundTo(x, function - int(TZarvCalcFunction::cfRound1) + 1);
    case TZarvCalcFunction::cfSecsToTime:
        return x / 86400;
    case TZarvCalcFunction::cfMinsToTime:
        return x / 1440;
    case TZarvCalcFunction::cfHoursToTime:
        return x / 24;
    case TZarvCalcFunction::cfTimeToSecs:
        return x * 86400;
    case TZarvCalcFunction::cfTimeToMins:
        return x * 1440;
    case TZarvCalcFunction::cfTimeToHours:
        return x * 24;
    case TZarvCalcFunction::cfPercent:
        return x * 100;
    }
    return x;
}

TZarvExtended Operate(TZarvCalcOperator op, TZarvExtended a, TZarvExtended b)
{
    switch (op) {
    case TZarvCalcOperator::coAdd:
        return a + b;
    case TZarvCalcOperator::coSub:
        return a - b;
    case TZarvCalcOperator::coMul:
        return a * b;
    case TZarvCalcOperator::coDiv:
        return b == 0 ? 0 : a / b;
    case TZarvCalcOperator::coMod: {
        const int64_t x = TruncToInt64(a);
        const int64_t y = TruncToInt64(b);
        // The quotient of INT64_MIN by -1 does not fit either.
        if (y == 0 || (y == -1 && x == std::numeric_limits<int64_t>::min()))
            throw TCalcError{};
        return TZarvExtended(x % y);
    }
    case TZarvCalcOperator::coExp:
        if (!(a > 0))
            throw TCalcError{};
        return std::exp(std::log(a) * b);
    case TZarvCalcOperator::coGreater:
        return a > b ? a : b;
    case TZarvCalcOperator::coLesser:
        return a < b ? a : b;
    case TZarvCalcOperator::coAverage:
        return (a + b) / 2;
    }
    return 0;
}

TZarvExtended SourceValue(TZarvComponent* self, TZarvCalcVariable* calcVar, TZarvComponent* dataView,
                          const QString& dataField, TZarvExtended value, TZarvCalcFunction function,
                          bool& valid)
{
    valid = true;
    TZarvExtended v = value;
    if (calcVar && !calcVar->NullValue()) {
        v = calcVar->Value();
    } else if (!dataField.isEmpty()) {
        auto* view = dynamic_cast<TZarvBaseDataView*>(dataView);
        if (TZarvDataField* field = view ? view->FieldByName(dataField) : nullptr) {
            v = field->AsFloat();
            valid = !field->IsNull();
        } else {
            v = ExtractNumberValue(ExtractNumberText(EvaluateDataText(self, dataView, dataField)), 0);
        }
    }
    return ApplyCalcFunction(int(function), v);
}

QString FormatValue(TZarvDisplayType type, const QString& format, TZarvExtended value)
{
    if (type == TZarvDisplayType::dtNumericFormat)
        return FormatFloat(format, double(value));
    return FormatDateTime(format, TDateTime(double(value)));
}

TZarvExtended InitValueOf(void* message)
{
    return message ? *static_cast<TZarvExtended*>(message) : 0;
}

// Moves the listener of one conversation from the old speaker to the new.
template <class C>
void MoveListener(C* self, TZarvComponent*& field, TZarvComponent* value, const char* conversation,
                  void (C::*handler)(TZarvComponent*, void*))
{
    if (value == field)
        return;
    const QString name = QString::fromLatin1(conversation);
    const TZarvListenMethod method = MakeListenMethod(self, handler);
    if (field)
        field->RemoveListener(name, method);
    ReferenceComponent(static_cast<TComponent*>(self), field, value);
    if (field)
        field->AddListener(name, method);
}

const char kCalcNewData[] = "CalcNewData";
const char kCalcInitData[] = "CalcInitData";

bool SameConversation(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// The accumulation of one "CalcNewData" into agg.
void FeedAggregate(TZarvComponent* self, TZarvAggregate& agg, TZarvCalcVariable* calcVar,
                   TZarvComponent* dataView, TZarvFloatEvent* onCalcValue)
{
    bool valid = true;
    TZarvExtended value =
        SourceValue(self, calcVar, dataView, agg.DataField, 0, TZarvCalcFunction::cfNone, valid);
    if (onCalcValue) {
        onCalcValue->SetValue(double(value));
        onCalcValue->Execute();
        value = onCalcValue->Value();
    }
    if (!valid && (agg.CalcType == TZarvCalcType::ctCount || agg.CalcType == TZarvCalcType::ctAverage))
        return;
    // Only a count compares the value's text (with CountValue).
    const QString text =
        agg.CalcType == TZarvCalcType::ctCount ? EvaluateDataText(self, dataView, agg.DataField) : QString();
    Accumulate(agg.Total, agg.Count, agg.CalcType, agg.CountBlanks, agg.CountValue, value, text);
}

TZarvCalcVariable* CalcVariableOrNull(TZarvComponent* value)
{
    return dynamic_cast<TZarvCalcVariable*>(value);
}

} // namespace

TZarvExtended ApplyCalcFunction(int function, TZarvExtended x)
{
    function %= 128;
    if (function < 0 || function > int(TZarvCalcFunction::cfPercent))
        return x;
    try {
        return Finite(ApplyFunction(function, x));
    } catch (const TCalcError&) {
        return x;
    }
}

void ResetCalc(TZarvExtended& total, int32_t& count, TZarvCalcType calcType, TZarvExtended initValue)
{
    total = 0;
    count = 0;
    if (calcType == TZarvCalcType::ctCount) {
        const TZarvExtended t = std::trunc(initValue);
        count = std::isfinite(t) && t >= INT32_MIN && t <= INT32_MAX ? int32_t(t) : 0;
    } else if (calcType == TZarvCalcType::ctSum) {
        total = initValue;
    }
}

void Accumulate(TZarvExtended& total, int32_t& count, TZarvCalcType calcType, bool countBlanks,
                const QString& countValue, TZarvExtended value, const QString& valueText)
{
    switch (calcType) {
    case TZarvCalcType::ctCount: {
        const bool counted = !countBlanks && value == 0 ? valueText == countValue
                                                        : countValue.isEmpty() || countValue == valueText;
        if (counted && count < INT32_MAX)
            ++count;
        break;
    }
    case TZarvCalcType::ctSum:
        total += value;
        break;
    case TZarvCalcType::ctMin:
        if (count == 0 || value < total) {
            total = value;
            count = 1;
        }
        break;
    case TZarvCalcType::ctMax:
        if (count == 0 || value > total) {
            total = value;
            count = 1;
        }
        break;
    case TZarvCalcType::ctAverage:
        total += value;
        if ((countBlanks || value != 0) && count < INT32_MAX)
            ++count;
        break;
    }
}

TZarvExtended CalcResult(int32_t count, TZarvCalcType calcType, TZarvExtended total)
{
    switch (calcType) {
    case TZarvCalcType::ctCount:
        return count;
    case TZarvCalcType::ctSum:
        return total;
    case TZarvCalcType::ctMin:
    case TZarvCalcType::ctMax:
        return count != 0 ? total : 0;
    case TZarvCalcType::ctAverage:
        return count != 0 ? total / count : 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// TZarvCalcVariable.

TZarvCalcVariable::TZarvCalcVariable(TComponent* owner) : TZarvComponent(owner) {}

TZarvCalcVariable::~TZarvCalcVariable() = default;

void TZarvCalcVariable::SetOnGetValue(TZarvFloatEvent* value)
{
    SetOwnedEvent(FOnGetValue, value, this, "OnGetValue");
}

TZarvExtended TZarvCalcVariable::Value()
{
    if (FInValue)
        return 0;
    const QScopedValueRollback<bool> inValue(FInValue, true);
    return GetValue();
}

bool TZarvCalcVariable::NullValue()
{
    if (FInNull)
        return false;
    const QScopedValueRollback<bool> inNull(FInNull, true);
    return IsNull();
}

TZarvExtended TZarvCalcVariable::DoGetValue(TZarvExtended value)
{
    if (!FOnGetValue)
        return value;
    FOnGetValue->SetValue(double(value));
    FOnGetValue->Execute();
    return FOnGetValue->Value();
}

void TZarvCalcVariable::Print(TBaseReport* report)
{
    if (FDestParam.isEmpty() && FDestPIVar.isEmpty())
        return;
    const QString text = FormatValue(FDisplayType, FDisplayFormat, Value());
    if (!FDestParam.isEmpty()) {
        if (auto* project = dynamic_cast<TZarvProjectManager*>(Project()))
            project->SetParam(FDestParam, text);
    }
    if (!FDestPIVar.isEmpty() && report)
        report->SetPIVar(FDestPIVar, text);
}

// ---------------------------------------------------------------------------
// TZarvCalcText.

TZarvCalcText::TZarvCalcText(TComponent* owner) : TZarvText(owner)
{
    if (InDesigner)
        BracketText = true;
}

TZarvCalcText::~TZarvCalcText()
{
    SetController(nullptr);
    SetInitializer(nullptr);
}

void TZarvCalcText::SetController(TZarvComponent* value)
{
    MoveListener(this, FController, value, kCalcNewData, &TZarvCalcText::NewDataHandler);
}

void TZarvCalcText::SetInitializer(TZarvComponent* value)
{
    MoveListener(this, FInitializer, value, kCalcInitData, &TZarvCalcText::InitHandler);
}

void TZarvCalcText::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvCalcText::SetDataField(const QString& value)
{
    FAgg.DataField = value;
    Invalidate();
}

void TZarvCalcText::SetOnCalcValue(TZarvFloatEvent* value)
{
    SetOwnedEvent(FOnCalcValue, value, this, "OnCalcValue");
}

TZarvExtended TZarvCalcText::GetCalcValue() const
{
    return CalcResult(FAgg.Count, FAgg.CalcType, FAgg.Total);
}

void TZarvCalcText::NewDataHandler(TZarvComponent*, void*)
{
    FeedAggregate(this, FAgg, nullptr, FDataView, FOnCalcValue.get());
}

void TZarvCalcText::InitHandler(TZarvComponent*, void* message)
{
    ResetCalc(FAgg.Total, FAgg.Count, FAgg.CalcType, InitValueOf(message));
}

void TZarvCalcText::OverrideProperties(TZarvFiler& filer)
{
    TZarvText::OverrideProperties(filer);
    // Older project files name the controller "ControllerBand".
    filer.OverrideProperty(
        QStringLiteral("ControllerBand"),
        [this](TZarvReader& reader) {
            reader.ReadProperty(this, GetPropInfo(*this, QStringLiteral("Controller")));
        },
        TZarvWriterProc());
}

void TZarvCalcText::BeforeReport()
{
    InitHandler(this, nullptr);
    TZarvText::BeforeReport();
}

void TZarvCalcText::Print(TBaseReport* report)
{
    if (!AllowPrint())
        return;
    TZarvText::Print(report);
    if (!FAgg.RunningTotal)
        InitHandler(this, nullptr);
}

void TZarvCalcText::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvText::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (oldComp == FController)
        SetController(newComp);
    if (oldComp == FInitializer)
        SetInitializer(newComp);
}

void TZarvCalcText::SetText(const QString&) {}

QString TZarvCalcText::GetText() const
{
    if (ProjectPrinting(this)) {
        if (FAgg.CalcType == TZarvCalcType::ctAverage && FAgg.Count == 0)
            return Translate(QStringLiteral("undefined"));
        return FormatValue(FDisplayType, FDisplayFormat, GetCalcValue());
    }
    static const char* const kNames[] = {"Count(", "Sum(", "Min(", "Max(", "Avg("};
    const int type = std::clamp(int(FAgg.CalcType), 0, 4);
    return QLatin1String(kNames[type]) + (FAgg.DataField.isEmpty() ? Name() : FAgg.DataField) + u')';
}

void TZarvCalcText::Notification(TComponent* component, TOperation operation)
{
    TZarvText::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FController)
        FController = nullptr;
    if (component == FInitializer)
        FInitializer = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvCalcTotal.

TZarvCalcTotal::TZarvCalcTotal(TComponent* owner) : TZarvCalcVariable(owner) {}

TZarvCalcTotal::~TZarvCalcTotal()
{
    SetController(nullptr);
    SetInitializer(nullptr);
}

void TZarvCalcTotal::SetCalcVar(TZarvCalcVariable* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FCalcVar, value);
}

void TZarvCalcTotal::SetController(TZarvComponent* value)
{
    MoveListener(this, FController, value, kCalcNewData, &TZarvCalcTotal::NewDataHandler);
}

void TZarvCalcTotal::SetInitializer(TZarvComponent* value)
{
    MoveListener(this, FInitializer, value, kCalcInitData, &TZarvCalcTotal::InitHandler);
}

void TZarvCalcTotal::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FDataView, DataViewOrNull(value));
}

void TZarvCalcTotal::SetOnCalcValue(TZarvFloatEvent* value)
{
    SetOwnedEvent(FOnCalcValue, value, this, "OnCalcValue");
}

void TZarvCalcTotal::NewDataHandler(TZarvComponent*, void*)
{
    if (FCalcVar && FCalcVar->NullValue())
        return;
    FeedAggregate(this, FAgg, FCalcVar, FDataView, FOnCalcValue.get());
}

void TZarvCalcTotal::InitHandler(TZarvComponent*, void* message)
{
    ResetCalc(FAgg.Total, FAgg.Count, FAgg.CalcType, InitValueOf(message));
}

TZarvExtended TZarvCalcTotal::GetValue()
{
    return DoGetValue(CalcResult(FAgg.Count, FAgg.CalcType, FAgg.Total));
}

void TZarvCalcTotal::BeforeReport()
{
    InitHandler(this, nullptr);
    TZarvCalcVariable::BeforeReport();
}

void TZarvCalcTotal::Print(TBaseReport* report)
{
    TZarvCalcVariable::Print(report);
    if (!FAgg.RunningTotal)
        InitHandler(this, nullptr);
}

void TZarvCalcTotal::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvCalcVariable::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FCalcVar)
        SetCalcVar(CalcVariableOrNull(newComp));
    if (oldComp == FDataView)
        SetDataView(newComp);
    if (oldComp == FController)
        SetController(newComp);
    if (oldComp == FInitializer)
        SetInitializer(newComp);
}

void TZarvCalcTotal::Notification(TComponent* component, TOperation operation)
{
    TZarvCalcVariable::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FCalcVar)
        FCalcVar = nullptr;
    if (component == FDataView)
        FDataView = nullptr;
    if (component == FController)
        FController = nullptr;
    if (component == FInitializer)
        FInitializer = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvCalcOp.

TZarvCalcOp::TZarvCalcOp(TComponent* owner) : TZarvCalcVariable(owner) {}

TZarvCalcOp::~TZarvCalcOp() = default;

void TZarvCalcOp::SetSrcCalcVar(int index, TZarvCalcVariable* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FSrc[index].CalcVar, value);
}

void TZarvCalcOp::SetSrcDataView(int index, TZarvComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FSrc[index].DataView, DataViewOrNull(value));
}

TZarvExtended TZarvCalcOp::GetValue()
{
    bool valid = true;
    TZarvExtended values[2];
    for (int i = 0; i < 2; ++i) {
        const TZarvCalcSource& src = FSrc[i];
        values[i] =
            SourceValue(this, src.CalcVar, src.DataView, src.DataField, src.Value, src.Function, valid);
    }
    TZarvExtended result = 0;
    try {
        result = Finite(Operate(FOperator, values[0], values[1]));
    } catch (const TCalcError&) {
        result = 0;
    }
    return DoGetValue(ApplyCalcFunction(int(FResultFunction), result));
}

bool TZarvCalcOp::IsNull()
{
    for (const TZarvCalcSource& src : FSrc) {
        if (src.CalcVar && src.CalcVar->NullValue())
            return true;
    }
    return false;
}

void TZarvCalcOp::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvCalcVariable::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    for (int i = 0; i < 2; ++i) {
        if (oldComp == FSrc[i].CalcVar)
            SetSrcCalcVar(i, CalcVariableOrNull(newComp));
        if (oldComp == FSrc[i].DataView)
            SetSrcDataView(i, newComp);
    }
}

void TZarvCalcOp::Notification(TComponent* component, TOperation operation)
{
    TZarvCalcVariable::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    for (TZarvCalcSource& src : FSrc) {
        if (component == src.CalcVar)
            src.CalcVar = nullptr;
        if (component == src.DataView)
            src.DataView = nullptr;
    }
}

// ---------------------------------------------------------------------------
// TZarvCalcController.

TZarvCalcController::TZarvCalcController(TComponent* owner) : TZarvComponent(owner) {}

TZarvCalcController::~TZarvCalcController() = default;

void TZarvCalcController::SetInitCalcVar(TZarvCalcVariable* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FInitCalcVar, value);
}

void TZarvCalcController::Print(TBaseReport*)
{
    bool valid = true;
    TZarvExtended value = SourceValue(this, FInitCalcVar, nullptr, FInitDataField, FInitValue,
                                      TZarvCalcFunction::cfNone, valid);
    CallListeners(CalcInitDataListenList.get(), this, &value);
    CallListeners(CalcNewDataListenList.get(), this, nullptr);
}

void TZarvCalcController::AddListener(const QString& conversation, const TZarvListenMethod& method)
{
    TZarvComponent::AddListener(conversation, method);
    std::unique_ptr<TZarvMethodList>* list = nullptr;
    if (SameConversation(conversation, kCalcNewData))
        list = &CalcNewDataListenList;
    else if (SameConversation(conversation, kCalcInitData))
        list = &CalcInitDataListenList;
    if (!list)
        return;
    if (!*list)
        *list = std::make_unique<TZarvMethodList>();
    (*list)->AddMethod(method);
}

void TZarvCalcController::RemoveListener(const QString& conversation, const TZarvListenMethod& method)
{
    TZarvComponent::RemoveListener(conversation, method);
    if (SameConversation(conversation, kCalcNewData) && CalcNewDataListenList)
        CalcNewDataListenList->RemoveMethod(method);
    else if (SameConversation(conversation, kCalcInitData) && CalcInitDataListenList)
        CalcInitDataListenList->RemoveMethod(method);
}

bool TZarvCalcController::Habla(const QString& conversation) const
{
    return SameConversation(conversation, kCalcNewData) || SameConversation(conversation, kCalcInitData);
}

void TZarvCalcController::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvComponent::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FInitCalcVar)
        SetInitCalcVar(CalcVariableOrNull(newComp));
    for (TZarvMethodList* list : {CalcNewDataListenList.get(), CalcInitDataListenList.get()}) {
        if (!list)
            continue;
        if (newComp)
            list->ReplaceObject(oldComp, newComp);
        else
            list->RemoveObject(oldComp);
    }
}

void TZarvCalcController::Notification(TComponent* component, TOperation operation)
{
    TZarvComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FInitCalcVar)
        FInitCalcVar = nullptr;
}

// ---------------------------------------------------------------------------
// Registration of the calculation classes.

namespace {

const TTypeInfo& CalcTypeType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TZarvCalcType"),
                     {QStringLiteral("ctCount"), QStringLiteral("ctSum"), QStringLiteral("ctMin"),
                      QStringLiteral("ctMax"), QStringLiteral("ctAverage")});
    return type;
}

const TTypeInfo& DisplayTypeType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TZarvDisplayType"),
                     {QStringLiteral("dtNumericFormat"), QStringLiteral("dtDateTimeFormat")});
    return type;
}

const TTypeInfo& CalcOperatorType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TZarvCalcOperator"),
                     {QStringLiteral("coAdd"), QStringLiteral("coSub"), QStringLiteral("coMul"),
                      QStringLiteral("coDiv"), QStringLiteral("coMod"), QStringLiteral("coExp"),
                      QStringLiteral("coGreater"), QStringLiteral("coLesser"), QStringLiteral("coAverage")});
    return type;
}

const TTypeInfo& CalcFunctionType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TZarvCalcFunction"),
        {QStringLiteral("cfNone"),        QStringLiteral("cfTrunc"),      QStringLiteral("cfFrac"),
         QStringLiteral("cfRound"),       QStringLiteral("cfNeg"),        QStringLiteral("cfAbs"),
         QStringLiteral("cfSin"),         QStringLiteral("cfCos"),        QStringLiteral("cfArcTan"),
         QStringLiteral("cfSqr"),         QStringLiteral("cfSqrt"),       QStringLiteral("cfInc"),
         QStringLiteral("cfDec"),         QStringLiteral("cfRandom"),     QStringLiteral("cfRound1"),
         QStringLiteral("cfRound2"),      QStringLiteral("cfRound3"),     QStringLiteral("cfRound4"),
         QStringLiteral("cfRound5"),      QStringLiteral("cfSecsToTime"), QStringLiteral("cfMinsToTime"),
         QStringLiteral("cfHoursToTime"), QStringLiteral("cfTimeToSecs"), QStringLiteral("cfTimeToMins"),
         QStringLiteral("cfTimeToHours"), QStringLiteral("cfPercent")});
    return type;
}

// The properties of one source of a calc op: "Src1CalcVar" ...
template <int I> void PublishSource(TClassInfo& op, const TTypeInfo& viewType)
{
    const QString prefix = QStringLiteral("Src%1").arg(I + 1);
    PublishProperty(op, prefix + QStringLiteral("CalcVar"),
                    TypeInfoClass(QStringLiteral("TZarvCalcVariable")), &TZarvCalcOp::SrcCalcVarOf<I>,
                    &TZarvCalcOp::SetSrcCalcVarOf<I>);
    PublishProperty(op, prefix + QStringLiteral("DataField"), TypeInfoString(),
                    &TZarvCalcOp::SrcDataFieldOf<I>, &TZarvCalcOp::SetSrcDataFieldOf<I>);
    PublishProperty(op, prefix + QStringLiteral("DataView"), viewType, &TZarvCalcOp::SrcDataViewOf<I>,
                    &TZarvCalcOp::SetSrcDataViewOf<I>);
    PublishProperty(op, prefix + QStringLiteral("Value"), TypeInfoExtended(), &TZarvCalcOp::SrcValueOf<I>,
                    &TZarvCalcOp::SetSrcValueOf<I>);
    PublishProperty(op, prefix + QStringLiteral("Function"), CalcFunctionType(),
                    &TZarvCalcOp::SrcFunctionOf<I>, &TZarvCalcOp::SetSrcFunctionOf<I>);
}

// The properties the calc text and the calc total share.
template <class C> void PublishAggregate(TClassInfo& info, const TTypeInfo& viewType)
{
    const TTypeInfo& componentType = TypeInfoClass(QStringLiteral("TZarvComponent"));
    PublishProperty(info, QStringLiteral("CalcType"), CalcTypeType(), &C::CalcType, &C::SetCalcType)
        .WithDefault(int64_t(TZarvCalcType::ctSum));
    PublishProperty(info, QStringLiteral("Controller"), componentType, &C::Controller, &C::SetController);
    PublishProperty(info, QStringLiteral("CountBlanks"), TypeInfoBoolean(), &C::CountBlanks,
                    &C::SetCountBlanks)
        .WithDefault(1);
    PublishProperty(info, QStringLiteral("CountNulls"), TypeInfoBoolean(), &C::CountNulls, &C::SetCountNulls);
    PublishProperty(info, QStringLiteral("CountValue"), TypeInfoString(), &C::CountValue, &C::SetCountValue);
    PublishProperty(info, QStringLiteral("DataView"), viewType, &C::DataView, &C::SetDataView);
    PublishProperty(info, QStringLiteral("DataField"), TypeInfoString(), &C::DataField, &C::SetDataField);
    PublishProperty(info, QStringLiteral("Initializer"), componentType, &C::Initializer, &C::SetInitializer);
    PublishProperty(info, QStringLiteral("RunningTotal"), TypeInfoBoolean(), &C::RunningTotal,
                    &C::SetRunningTotal);
    PublishProperty(info, QStringLiteral("OnCalcValue"), TypeInfoClass(QStringLiteral("TZarvFloatEvent")),
                    &C::OnCalcValue, &C::SetOnCalcValue)
        .WithStored([](const TObject& o) { return dynamic_cast<const C&>(o).OnCalcValue() != nullptr; });
}

} // namespace

TCalcClasses RegisterCalcClasses()
{
    TCalcClasses classes;
    if (FindClass(QStringLiteral("TZarvCalcText"))) {
        classes.CalcText = FindClass(QStringLiteral("TZarvCalcText"));
        classes.CalcOp = FindClass(QStringLiteral("TZarvCalcOp"));
        classes.CalcTotal = FindClass(QStringLiteral("TZarvCalcTotal"));
        classes.CalcController = FindClass(QStringLiteral("TZarvCalcController"));
        return classes;
    }
    const TTypeInfo& viewType = TypeInfoClass(QStringLiteral("TZarvBaseDataView"));
    const TTypeInfo& variableType = TypeInfoClass(QStringLiteral("TZarvCalcVariable"));

    TClassInfo& text =
        RegisterClass<TZarvCalcText>(QStringLiteral("TZarvCalcText"), QStringLiteral("TZarvText"));
    PublishAggregate<TZarvCalcText>(text, viewType);
    PublishProperty(text, QStringLiteral("DisplayFormat"), TypeInfoString(), &TZarvCalcText::DisplayFormat,
                    &TZarvCalcText::SetDisplayFormat);
    PublishProperty(text, QStringLiteral("DisplayType"), DisplayTypeType(), &TZarvCalcText::DisplayType,
                    &TZarvCalcText::SetDisplayType);

    TClassInfo& variable = RegisterClass<TZarvCalcVariable>(QStringLiteral("TZarvCalcVariable"),
                                                            QStringLiteral("TZarvComponent"));
    PublishProperty(variable, QStringLiteral("DestParam"), TypeInfoString(), &TZarvCalcVariable::DestParam,
                    &TZarvCalcVariable::SetDestParam);
    PublishProperty(variable, QStringLiteral("DestPIVar"), TypeInfoString(), &TZarvCalcVariable::DestPIVar,
                    &TZarvCalcVariable::SetDestPIVar);
    PublishProperty(variable, QStringLiteral("DisplayFormat"), TypeInfoString(),
                    &TZarvCalcVariable::DisplayFormat, &TZarvCalcVariable::SetDisplayFormat);
    PublishProperty(variable, QStringLiteral("DisplayType"), DisplayTypeType(),
                    &TZarvCalcVariable::DisplayType, &TZarvCalcVariable::SetDisplayType);
    PublishProperty(variable, QStringLiteral("OnGetValue"), TypeInfoClass(QStringLiteral("TZarvFloatEvent")),
                    &TZarvCalcVariable::OnGetValue, &TZarvCalcVariable::SetOnGetValue)
        .WithStored([](const TObject& o) {
            return dynamic_cast<const TZarvCalcVariable&>(o).OnGetValue() != nullptr;
        });

    TClassInfo& op =
        RegisterClass<TZarvCalcOp>(QStringLiteral("TZarvCalcOp"), QStringLiteral("TZarvCalcVariable"));
    PublishProperty(op, QStringLiteral("Operator"), CalcOperatorType(), &TZarvCalcOp::Operator,
                    &TZarvCalcOp::SetOperator);
    PublishProperty(op, QStringLiteral("ResultFunction"), CalcFunctionType(), &TZarvCalcOp::ResultFunction,
                    &TZarvCalcOp::SetResultFunction);
    PublishSource<0>(op, viewType);
    PublishSource<1>(op, viewType);

    TClassInfo& total =
        RegisterClass<TZarvCalcTotal>(QStringLiteral("TZarvCalcTotal"), QStringLiteral("TZarvCalcVariable"));
    PublishAggregate<TZarvCalcTotal>(total, viewType);
    PublishProperty(total, QStringLiteral("CalcVar"), variableType, &TZarvCalcTotal::CalcVar,
                    &TZarvCalcTotal::SetCalcVar);

    TClassInfo& controller = RegisterClass<TZarvCalcController>(QStringLiteral("TZarvCalcController"),
                                                                QStringLiteral("TZarvComponent"));
    PublishProperty(controller, QStringLiteral("InitCalcVar"), variableType,
                    &TZarvCalcController::InitCalcVar, &TZarvCalcController::SetInitCalcVar);
    PublishProperty(controller, QStringLiteral("InitDataField"), TypeInfoString(),
                    &TZarvCalcController::InitDataField, &TZarvCalcController::SetInitDataField);
    PublishProperty(controller, QStringLiteral("InitValue"), TypeInfoExtended(),
                    &TZarvCalcController::InitValue, &TZarvCalcController::SetInitValue);

    classes.CalcText = &text;
    classes.CalcOp = &op;
    classes.CalcTotal = &total;
    classes.CalcController = &controller;
    return classes;
}
