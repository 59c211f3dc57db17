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

// ---------------------------------------------------------------------------
// Calculation components.
//
// TZarvCalcText prints an aggregate (count, sum, minimum, maximum, average)
// of a data value over the rows it is fed; TZarvCalcTotal is the same
// aggregate without output; TZarvCalcOp combines two sources (variables,
// data fields, expressions or constants) with an operator; and
// TZarvCalcController re-initialises and feeds the aggregates attached to it
// each time it prints. Aggregates are fed through conversations: the
// speaker of "CalcNewData" (a controller, or an iterate band once per
// printed row) that is an aggregate's Controller feeds it, the speaker of
// "CalcInitData" that is its Initializer resets it. Variables hand their
// formatted value to a project parameter and a report PIVar when they print.
//
// Values are 80-bit extended floats (long double). A calculation function
// that fails (a square root of a negative number, an integer conversion out
// of range, a result that is not finite) leaves its argument unchanged; an
// operator that fails (a logarithm of a value not above 0, a division by
// zero, an overflow) gives 0. A variable reached again while its own value
// is being computed counts as 0, so a cycle of variables cannot recurse.

using TZarvExtended = long double;

enum class TZarvCalcType : uint8_t { ctCount, ctSum, ctMin, ctMax, ctAverage };
enum class TZarvDisplayType : uint8_t { dtNumericFormat, dtDateTimeFormat };
enum class TZarvCalcOperator : uint8_t {
    coAdd,
    coSub,
    coMul,
    coDiv,
    coMod,
    coExp,
    coGreater,
    coLesser,
    coAverage,
};
enum class TZarvCalcFunction : uint8_t {
    cfNone,
    cfTrunc,
    cfFrac,
    cfRound,
    cfNeg,
    cfAbs,
    cfSin,
    cfCos,
    cfArcTan,
    cfSqr,
    cfSqrt,
    cfInc,
    cfDec,
    cfRandom,
    cfRound1,
    cfRound2,
    cfRound3,
    cfRound4,
    cfRound5,
    cfSecsToTime,
    cfMinsToTime,
    cfHoursToTime,
    cfTimeToSecs,
    cfTimeToMins,
    cfTimeToHours,
    cfPercent,
};

// The function is taken modulo 128; numbers above 25 leave x unchanged.
TZarvExtended ApplyCalcFunction(int function, TZarvExtended x);
void ResetCalc(TZarvExtended& total, int32_t& count, TZarvCalcType calcType, TZarvExtended initValue);
void Accumulate(TZarvExtended& total, int32_t& count, TZarvCalcType calcType, bool countBlanks,
                const QString& countValue, TZarvExtended value, const QString& valueText);
TZarvExtended CalcResult(int32_t count, TZarvCalcType calcType, TZarvExtended total);

class TZarvCalcVariable : public TZarvComponent {
public:
    explicit TZarvCalcVariable(TComponent* owner);
    ~TZarvCalcVariable() override;

    const QString& DestParam() const { return FDestParam; }
    void SetDestParam(const QString& value) { FDestParam = value; }
    const QString& DestPIVar() const { return FDestPIVar; }
    void SetDestPIVar(const QString& value) { FDestPIVar = value; }
    const QString& DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& value) { FDisplayFormat = value; }
    TZarvDisplayType DisplayType() const { return FDisplayType; }
    void SetDisplayType(TZarvDisplayType value) { FDisplayType = value; }
    TZarvFloatEvent* OnGetValue() const { return FOnGetValue.get(); }
    void SetOnGetValue(TZarvFloatEvent* value);

    virtual TZarvExtended GetValue() = 0;
    virtual bool IsNull() { return false; }
    // GetValue and IsNull, each giving 0 (false) when reached again while it
    // runs for this variable.
    TZarvExtended Value();
    bool NullValue();

    // Hands the formatted value to DestParam and DestPIVar.
    void Print(TBaseReport* report) override;

protected:
    // The value after the OnGetValue script.
    TZarvExtended DoGetValue(TZarvExtended value);

private:
    QString FDestParam;
    QString FDestPIVar;
    QString FDisplayFormat;
    TZarvDisplayType FDisplayType = TZarvDisplayType::dtNumericFormat;
    std::unique_ptr<TZarvFloatEvent> FOnGetValue;
    bool FInValue = false;
    bool FInNull = false;
};

// What the calc text and the calc total share: the aggregate, its
// controller and initializer and the source of the values.
class TZarvAggregate {
public:
    int32_t Count = 0;
    TZarvExtended Total = 0;
    TZarvCalcType CalcType = TZarvCalcType::ctSum;
    bool RunningTotal = false;
    bool CountBlanks = true;
    bool CountNulls = false; // stored; not consulted
    QString CountValue;
    QString DataField;
};

class TZarvCalcText : public TZarvText {
public:
    explicit TZarvCalcText(TComponent* owner);
    ~TZarvCalcText() override;

    int32_t Count() const { return FAgg.Count; }
    TZarvExtended Total() const { return FAgg.Total; }
    TZarvCalcType CalcType() const { return FAgg.CalcType; }
    void SetCalcType(TZarvCalcType value) { FAgg.CalcType = value; }
    TZarvComponent* Controller() const { return FController; }
    void SetController(TZarvComponent* value);
    TZarvComponent* Initializer() const { return FInitializer; }
    void SetInitializer(TZarvComponent* value);
    bool CountBlanks() const { return FAgg.CountBlanks; }
    void SetCountBlanks(bool value) { FAgg.CountBlanks = value; }
    bool CountNulls() const { return FAgg.CountNulls; }
    void SetCountNulls(bool value) { FAgg.CountNulls = value; }
    const QString& CountValue() const { return FAgg.CountValue; }
    void SetCountValue(const QString& value) { FAgg.CountValue = value; }
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    const QString& DataField() const { return FAgg.DataField; }
    void SetDataField(const QString& value);
    const QString& DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& value) { FDisplayFormat = value; }
    TZarvDisplayType DisplayType() const { return FDisplayType; }
    void SetDisplayType(TZarvDisplayType value) { FDisplayType = value; }
    bool RunningTotal() const { return FAgg.RunningTotal; }
    void SetRunningTotal(bool value) { FAgg.RunningTotal = value; }
    TZarvFloatEvent* OnCalcValue() const { return FOnCalcValue.get(); }
    void SetOnCalcValue(TZarvFloatEvent* value);

    TZarvExtended GetCalcValue() const;
    // The listeners of "CalcNewData" and "CalcInitData" (message: null or a
    // TZarvExtended init value).
    void NewDataHandler(TZarvComponent* speaker, void* message);
    void InitHandler(TZarvComponent* speaker, void* message);

    void OverrideProperties(TZarvFiler& filer) override;
    void BeforeReport() override;
    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void SetText(const QString& value) override;
    QString GetText() const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvAggregate FAgg;
    TZarvComponent* FController = nullptr;
    TZarvComponent* FInitializer = nullptr;
    TZarvComponent* FDataView = nullptr;
    QString FDisplayFormat;
    TZarvDisplayType FDisplayType = TZarvDisplayType::dtNumericFormat;
    std::unique_ptr<TZarvFloatEvent> FOnCalcValue;
};

class TZarvCalcTotal : public TZarvCalcVariable {
public:
    explicit TZarvCalcTotal(TComponent* owner);
    ~TZarvCalcTotal() override;

    int32_t Count() const { return FAgg.Count; }
    TZarvExtended Total() const { return FAgg.Total; }
    TZarvCalcType CalcType() const { return FAgg.CalcType; }
    void SetCalcType(TZarvCalcType value) { FAgg.CalcType = value; }
    TZarvCalcVariable* CalcVar() const { return FCalcVar; }
    void SetCalcVar(TZarvCalcVariable* value);
    TZarvComponent* Controller() const { return FController; }
    void SetController(TZarvComponent* value);
    TZarvComponent* Initializer() const { return FInitializer; }
    void SetInitializer(TZarvComponent* value);
    bool CountBlanks() const { return FAgg.CountBlanks; }
    void SetCountBlanks(bool value) { FAgg.CountBlanks = value; }
    bool CountNulls() const { return FAgg.CountNulls; }
    void SetCountNulls(bool value) { FAgg.CountNulls = value; }
    const QString& CountValue() const { return FAgg.CountValue; }
    void SetCountValue(const QString& value) { FAgg.CountValue = value; }
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    const QString& DataField() const { return FAgg.DataField; }
    void SetDataField(const QString& value) { FAgg.DataField = value; }
    bool RunningTotal() const { return FAgg.RunningTotal; }
    void SetRunningTotal(bool value) { FAgg.RunningTotal = value; }
    TZarvFloatEvent* OnCalcValue() const { return FOnCalcValue.get(); }
    void SetOnCalcValue(TZarvFloatEvent* value);

    void NewDataHandler(TZarvComponent* speaker, void* message);
    void InitHandler(TZarvComponent* speaker, void* message);

    TZarvExtended GetValue() override;
    void BeforeReport() override;
    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvAggregate FAgg;
    TZarvCalcVariable* FCalcVar = nullptr;
    TZarvComponent* FDataView = nullptr;
    TZarvComponent* FController = nullptr;
    TZarvComponent* FInitializer = nullptr;
    std::unique_ptr<TZarvFloatEvent> FOnCalcValue;
};

// One operand of a calc op.
struct TZarvCalcSource {
    TZarvCalcVariable* CalcVar = nullptr;
    QString DataField;
    TZarvComponent* DataView = nullptr;
    TZarvExtended Value = 0;
    TZarvCalcFunction Function = TZarvCalcFunction::cfNone;
};

class TZarvCalcOp : public TZarvCalcVariable {
public:
    explicit TZarvCalcOp(TComponent* owner);
    ~TZarvCalcOp() override;

    TZarvCalcOperator Operator() const { return FOperator; }
    void SetOperator(TZarvCalcOperator value) { FOperator = value; }
    TZarvCalcFunction ResultFunction() const { return FResultFunction; }
    void SetResultFunction(TZarvCalcFunction value) { FResultFunction = value; }
    // Sources 1 and 2 (index 0 and 1).
    TZarvCalcVariable* SrcCalcVar(int index) const { return FSrc[index].CalcVar; }
    void SetSrcCalcVar(int index, TZarvCalcVariable* value);
    const QString& SrcDataField(int index) const { return FSrc[index].DataField; }
    void SetSrcDataField(int index, const QString& value) { FSrc[index].DataField = value; }
    TZarvComponent* SrcDataView(int index) const { return FSrc[index].DataView; }
    void SetSrcDataView(int index, TZarvComponent* value);
    double SrcValue(int index) const { return double(FSrc[index].Value); }
    void SetSrcValue(int index, double value) { FSrc[index].Value = value; }
    TZarvCalcFunction SrcFunction(int index) const { return FSrc[index].Function; }
    void SetSrcFunction(int index, TZarvCalcFunction value) { FSrc[index].Function = value; }

    // The same, one source fixed, for the published properties.
    template <int I> TZarvCalcVariable* SrcCalcVarOf() const { return SrcCalcVar(I); }
    template <int I> void SetSrcCalcVarOf(TZarvCalcVariable* value) { SetSrcCalcVar(I, value); }
    template <int I> QString SrcDataFieldOf() const { return SrcDataField(I); }
    template <int I> void SetSrcDataFieldOf(const QString& value) { SetSrcDataField(I, value); }
    template <int I> TZarvComponent* SrcDataViewOf() const { return SrcDataView(I); }
    template <int I> void SetSrcDataViewOf(TZarvComponent* value) { SetSrcDataView(I, value); }
    template <int I> double SrcValueOf() const { return SrcValue(I); }
    template <int I> void SetSrcValueOf(double value) { SetSrcValue(I, value); }
    template <int I> TZarvCalcFunction SrcFunctionOf() const { return SrcFunction(I); }
    template <int I> void SetSrcFunctionOf(TZarvCalcFunction value) { SetSrcFunction(I, value); }

    TZarvExtended GetValue() override;
    bool IsNull() override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvCalcSource FSrc[2];
    TZarvCalcOperator FOperator = TZarvCalcOperator::coAdd;
    TZarvCalcFunction FResultFunction = TZarvCalcFunction::cfNone;
};

class TZarvCalcController : public TZarvComponent {
public:
    explicit TZarvCalcController(TComponent* owner);
    ~TZarvCalcController() override;

    TZarvCalcVariable* InitCalcVar() const { return FInitCalcVar; }
    void SetInitCalcVar(TZarvCalcVariable* value);
    const QString& InitDataField() const { return FInitDataField; }
    void SetInitDataField(const QString& value) { FInitDataField = value; }
    double InitValue() const { return double(FInitValue); }
    void SetInitValue(double value) { FInitValue = value; }

    // Speaks "CalcInitData" with the init value, then "CalcNewData".
    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;
    void AddListener(const QString& conversation, const TZarvListenMethod& method) override;
    void RemoveListener(const QString& conversation, const TZarvListenMethod& method) override;
    bool Habla(const QString& conversation) const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::unique_ptr<TZarvMethodList> CalcNewDataListenList;
    std::unique_ptr<TZarvMethodList> CalcInitDataListenList;
    TZarvCalcVariable* FInitCalcVar = nullptr;
    QString FInitDataField;
    TZarvExtended FInitValue = 0;
};

// The class infos of the calculation classes, registered (with their
// published properties) on the first call.
struct TCalcClasses {
    const TClassInfo* CalcText = nullptr;
    const TClassInfo* CalcOp = nullptr;
    const TClassInfo* CalcTotal = nullptr;
    const TClassInfo* CalcController = nullptr;
};
TCalcClasses RegisterCalcClasses();
