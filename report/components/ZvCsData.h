#pragma once
// ZvCsData: report components that take what they show from the data model
// while a report runs. TZarvDataText prints a data text expression evaluated
// against a data view (optionally translated through a lookup view),
// TZarvDataMemo a memo whose whole text is such an expression, and
// TZarvDataMirrorSection a section that, for each data pass, shows the
// content of another section chosen by a data value from its table of
// value -> section. Outside a run they show a design text.
#include "report/components/ZvCsStd.h"

#include <memory>

// Records the registration procedure of the data classes under "ZVCL".
// Further calls do nothing.
void RecordDataComponentProcs();

class TZarvDataText : public TZarvText {
public:
    explicit TZarvDataText(TComponent* owner);

    const QString& DataField() const { return FDataField; }
    void SetDataField(const QString& value);
    // Data views (TZarvBaseDataView); anything else is refused.
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    TZarvComponent* LookupDataView() const { return FLookupDataView; }
    void SetLookupDataView(TZarvComponent* value);
    const QString& LookupField() const { return FLookupField; }
    void SetLookupField(const QString& value);
    const QString& LookupDisplay() const { return FLookupDisplay; }
    void SetLookupDisplay(const QString& value);
    const QString& LookupInvalid() const { return FLookupInvalid; }
    void SetLookupInvalid(const QString& value) { FLookupInvalid = value; }

    // The Text of a data text cannot be set.
    void SetText(const QString& value) override;
    QString GetText() const override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    bool LookupComplete() const;

    QString FDataField;
    TZarvComponent* FDataView = nullptr;
    TZarvComponent* FLookupDataView = nullptr;
    QString FLookupField;
    QString FLookupDisplay;
    QString FLookupInvalid;
};

class TZarvDataMemo : public TZarvMemo {
public:
    explicit TZarvDataMemo(TComponent* owner);

    const QString& DataField() const { return FDataField; }
    void SetDataField(const QString& value);
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);

    bool AllowPrint() const override;
    QString GetText() const override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    QString FDataField;
    TZarvComponent* FDataView = nullptr;
};

class TZarvSection;

// One entry of a mirror table. SectionMirror is cleared when its section
// goes.
class TZarvDataMirror : public TPersistent {
public:
    TZarvDataMirror();
    ~TZarvDataMirror() override;

    const QString& DataValue() const { return FDataValue; }
    void SetDataValue(const QString& value) { FDataValue = value; }
    TZarvSection* SectionMirror() const { return FSectionMirror; }
    void SetSectionMirror(TZarvSection* value);
    bool IsDefault() const { return FIsDefault; }
    void SetIsDefault(bool value) { FIsDefault = value; }

private:
    class TWatcher;
    QString FDataValue;
    TZarvSection* FSectionMirror = nullptr;
    bool FIsDefault = false;
    std::unique_ptr<TWatcher> FWatcher;
};

class TZarvDataMirrorList : public TZarvPersistentList {
public:
    // Always a mirror item, whatever class the stream names.
    TPersistent* CreateItem(const QString& className, TComponent* rootOwner) override;
};

class TZarvDataMirrorSection : public TZarvSection {
public:
    explicit TZarvDataMirrorSection(TComponent* owner);
    ~TZarvDataMirrorSection() override;

    bool CompareCase() const { return FCompareCase; }
    void SetCompareCase(bool value) { FCompareCase = value; }
    const QString& DataField() const { return FDataField; }
    void SetDataField(const QString& value) { FDataField = value; }
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    TZarvPersistentList* DataMirrors() const { return FDataMirrors; }
    // While the project prints the given list is shared (and never freed
    // here); otherwise its items are copied into the section's own list.
    void SetDataMirrors(TZarvPersistentList* value);
    TZarvStringEvent* OnMirrorValue() const { return FOnMirrorValue.get(); }
    void SetOnMirrorValue(TZarvStringEvent* value);
    bool DirectReference() const { return FDirectReference; }

    // Chooses the mirror of this pass, following a chosen mirror section's
    // own choice; a chain that comes back to a section in it stops there.
    void BeginDataPass() override;
    void EndDataPass() override;
    void PrintAll(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void SaveDesigned() override;
    void RestoreDesigned() override;
    void SaveAdjusted() override;
    void RestoreAdjusted() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // The section the value picks from this section's table (the first
    // default item's without a match); null when none.
    TZarvSection* ChooseMirror(const QString& value) const;
    void PutSavedBack();
    template <class F> void ForEachMirrorSection(F f) const;

    bool FInitialized = false;
    bool FAdjusting = false;
    bool FDirectReference = false;
    QString FDataField;
    TZarvComponent* FDataView = nullptr;
    std::unique_ptr<TZarvDataMirrorList> FOwnMirrors;
    TZarvPersistentList* FDataMirrors = nullptr; // the own list, or a shared one
    bool FCompareCase = false;
    TZarvControl* FSaveMirror = nullptr;
    TZarvAnchor FSaveAnchor = 0;
    bool FSaveCompareCase = false;
    QString FSaveDataField;
    TZarvPersistentList* FSaveDataMirrors = nullptr;
    TZarvComponent* FSaveDataView = nullptr;
    TDisplayOn FSaveDisplayOn = TDisplayOn::doParent;
    int FSaveTag = 0;
    std::unique_ptr<TZarvStringEvent> FOnMirrorValue;
};
