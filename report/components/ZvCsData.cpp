#include "report/components/ZvCsData.h"

#include "platform/objects/ClassRegistry.h"
#include "report/components/ComponentTypes_p.h"
#include "report/components/DataText_p.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpDefine.h"

#include <algorithm>
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

    // The calculation, region and band classes of the "Report" group join
    // these in their own units.
    const QString group = QStringLiteral("Report");
    CallRegisterHook(group, Translate(group));
    const std::vector<const TClassInfo*> classes = {&dataText, &dataMemo, &mirrorSection};
    RegisterZarvClasses(group, classes);
    RegisterZarvModuleClasses(QStringLiteral("ZvCsData"), classes);
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
        QString text = EvaluateDataText(self, FDataView, FDataField);
        if (LookupComplete()) {
            if (FLookupDataView == FDataView)
                text = EvaluateDataText(self, FDataView, FLookupDisplay);
            else
                text = LookupDataValue(FLookupDataView, text, FDataView, FDataField, FLookupField,
                                       FLookupDisplay, FLookupInvalid);
        }
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
    FAdjusting = true;
    try {
        TZarvSection::SaveAdjusted();
        ForEachMirrorSection([](TZarvSection* section) { section->SaveAdjusted(); });
    } catch (...) {
        FAdjusting = false;
        throw;
    }
    FAdjusting = false;
}

void TZarvDataMirrorSection::RestoreAdjusted()
{
    if (FAdjusting)
        return;
    FAdjusting = true;
    try {
        PutSavedBack();
        ForEachMirrorSection([](TZarvSection* section) { section->RestoreAdjusted(); });
        TZarvSection::RestoreAdjusted();
    } catch (...) {
        FAdjusting = false;
        throw;
    }
    FAdjusting = false;
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
