#pragma once
// ZvFiler: the property stream of report components. Every project item
// stores its tree of components in this format inside its block of the
// project file:
//
//   record      byte 0, class name (string), name (string), byte 8,
//               properties, empty string, child count (index), child records
//   property    name (string), then a tagged value; a defined property is
//               name, byte count (index) and the bytes instead
//   value tags  0 identifier (an enumeration value or a component reference
//                 by name: "Name", "Owner.Name", "*Name" for a component of
//                 the master project)
//               1 index 0..0x0FFFFFFF   2 minus an index   3 Int32
//               4 a string of one character   5 10-byte extended
//               6 string   7 set: member names, then an empty string
//               8 object: its properties, then an empty string
//               9 component list: names, then an empty string
//               10 object list: per item its class name, byte 8 and its
//                  properties; an empty string ends the list
// "string" and "index" are the TStreamHelper encodings (ZvUtil.h).
//
// TZarvWriter writes only what differs from the class's declared defaults
// (floats always). TZarvReader creates components by class name through the
// class registry, places each under its parent when both agree, and resolves
// references by name: at once when the component is already there, else
// through the project manager's forward references once it is read. A record
// of an unregistered class is skipped whole with a message box; a property
// the class does not have is read and dropped.
//
// Call order: create the filer over the TStreamHelper of the block, call
// WriteComponent or ReadComponent / ReadIntoComponent, free the filer. A
// damaged stream raises the stream's read error (EReadError) or
// EZarvException; the component being read when it fails is deleted.
#include "platform/objects/Filer.h"
#include "platform/objects/TypInfo.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class TStreamHelper;
class TZarvComponent;
class TZarvProjectManager;
class TZarvReader;
class TZarvWriter;

using TZarvReaderProc = std::function<void(TZarvReader&)>;
using TZarvWriterProc = std::function<void(TZarvWriter&)>;

// Value tags of the property stream.
constexpr uint8_t kTagIdent = 0;
constexpr uint8_t kTagPosInt = 1;
constexpr uint8_t kTagNegInt = 2;
constexpr uint8_t kTagFullInt = 3;
constexpr uint8_t kTagChar = 4;
constexpr uint8_t kTagFloat = 5;
constexpr uint8_t kTagString = 6;
constexpr uint8_t kTagSet = 7;
constexpr uint8_t kTagObject = 8; // also the byte that starts every property list
constexpr uint8_t kTagComponentList = 9;
constexpr uint8_t kTagObjectList = 10;
constexpr uint8_t kRecordMarker = 0;
// Records and nested objects nest at most this deep.
constexpr int kMaxRecordNesting = 200;

// Where a reference that could not be resolved yet is stored once its
// component is read: from Holder (the component whose record held the
// reference) along Path to the property (the last step). A step before the
// last follows an object property and, with ItemIndex >= 0, that item of the
// object list it holds. ListIndex >= 0 names an entry of the component list
// the property holds instead of the property itself. The way is followed
// again when the reference is filled, so nothing is stored into an object
// that went meanwhile.
struct TZarvRefStep {
    const TPropInfo* Prop = nullptr;
    int ItemIndex = -1;
};

struct TZarvRefTarget {
    TComponent* Holder = nullptr;
    std::vector<TZarvRefStep> Path;
    int ListIndex = -1;
};

// Stores component at target; false when the way no longer leads to a
// property of a matching class (nothing is stored then).
bool StoreReference(const TZarvRefTarget& target, TZarvComponent* component);
// Whether a property of that type may hold component (null always may).
bool ReferenceFits(const TPropInfo& prop, const TObject* component);

// The base of the reader and the writer: the TStreamHelper they work on, the
// owner of the components written or read, and the property overrides of the
// object whose properties are being done.
class TZarvFiler : public TFiler {
public:
    TZarvFiler(TStreamHelper& streamHelper, bool isReader);
    ~TZarvFiler() override;

    TStreamHelper& StreamHelper() const { return FStreamHelper; }
    bool IsReader() const { return FIsReader; }
    TComponent* RootOwner() const { return FRootOwner; }

    // Registers an override of a published property: the procedure reads or
    // writes name and value itself. Ignored when the procedure of this
    // filer's direction is empty.
    void OverrideProperty(const QString& name, const TZarvReaderProc& readData,
                          const TZarvWriterProc& writeData);
    // The override registered for name (without regard to case).
    bool PropertyOverride(const QString& name, TZarvReaderProc& readData, TZarvWriterProc& writeData) const;

    // Nothing here; the reader and the writer replace both.
    void DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;
    void FlushBuffer() override;

protected:
    struct TPropertyOverride {
        QString Name;
        TZarvReaderProc ReadProc;
        TZarvWriterProc WriteProc;
    };
    using TOverrideList = std::vector<TPropertyOverride>;

    // Starts the overrides of instance's properties and answers those of the
    // enclosing object, which EndOverrides puts back.
    std::unique_ptr<TOverrideList> BeginOverrides(TPersistent* instance);
    void EndOverrides(std::unique_ptr<TOverrideList> outer);

    TStreamHelper& FStreamHelper;
    std::unique_ptr<TOverrideList> FOverrideList; // null while no override is registered
    TComponent* FRootOwner = nullptr;
    bool FIsReader;
};

class TZarvWriter : public TZarvFiler {
public:
    explicit TZarvWriter(TStreamHelper& streamHelper);

    // One record; with doChildren false the child count is 0.
    void WriteComponent(TZarvComponent* value, bool doChildren);
    void WriteChildren(TZarvComponent* instance);
    // Byte 8, the defined and then the published properties, an empty
    // string.
    void WriteProperties(TPersistent* instance);
    // One published property when it is writable, stored and not at its
    // default. Raises EZarvException for a kind the stream does not carry.
    void WriteProperty(TPersistent* instance, const TPropInfo& prop);
    void WritePropName(const TPropInfo& prop);
    void WritePropName(const QString& name);
    // Tagged values.
    void WriteID(const QString& value);
    void WriteInteger(int32_t value);
    void WriteChar(QChar value);
    void WriteFloat(double value);
    void WriteString(const QString& value);
    // A component as a reference names it: "Name", "Owner.Name" when its
    // owner is neither the root owner nor the project, "*" in front for a
    // component never copied into a run's private project.
    QString ReferenceName(const TComponent* component) const;
    // The object whose defined properties are being written.
    TPersistent* DefineInstance() const { return FDefineInstance; }

    void DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

private:
    void WriteClassProperty(TPersistent* instance, const TPropInfo& prop);
    const std::vector<const TPropInfo*>& PropertiesOf(const TPersistent& instance);

    TPersistent* FDefineInstance = nullptr;
    TComponent* FRootProject = nullptr; // the project manager of the root owner
    // Each class's property list as gathered once for this writer: a project
    // has many components of few classes, and classes are registered before
    // anything is written. A map: a list stays where it is while a nested
    // object's class is added.
    std::unordered_map<const TClassInfo*, std::vector<const TPropInfo*>> FClassProperties;
};

class TZarvReader : public TZarvFiler {
public:
    explicit TZarvReader(TStreamHelper& streamHelper);
    ~TZarvReader() override;

    // Reads one record: a new component owned by owner under parent, or
    // null when the record was skipped (unknown class, refused placement).
    TZarvComponent* ReadComponent(TComponent* owner, TZarvComponent* parent);
    // Reads a record into value when its class is exactly value's class,
    // with value's children owned by value; answers whether it did. A record
    // of another class is left after its name.
    bool ReadIntoComponent(TZarvComponent* value);
    // The property list of instance (after its byte 8).
    void ReadProperties(TPersistent* instance);
    // One tagged value into prop of instance; prop null reads and drops it.
    void ReadProperty(TPersistent* instance, const TPropInfo* prop);

    // Values without tag, for override procedures.
    QString ReadID();
    QString ReadString();
    int32_t ReadInteger();
    QChar ReadChar(); // one byte
    double ReadFloat();
    // Whether values are being read and dropped.
    bool AbsorbProperty() const { return FAbsorbCount > 0; }

    bool PropHandled() const { return FPropHandled; }
    const QString& PropName() const { return FPropName; }
    TZarvComponent* CurrentParent() const { return FCurrentParent; }
    TZarvComponent* CurrentComp() const { return FCurrentComp; }

    // ComponentAdded is called for every component created.
    bool AddComponents = false;
    // Created components get unique names, and references are resolved
    // only through forward references (merging into an existing project).
    bool CheckNames = false;
    // The project a private run copy is read for; "*" references are found
    // there.
    TZarvProjectManager* MasterProject = nullptr;
    // ReadIntoComponent leaves the component's name as it is (an imported
    // item renamed because its name was taken).
    bool KeepName = false;

    void DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;

private:
    class TDepthGuard;

    void ReadHeader(QString& className, QString& name);
    void ReadPropertyListTag();
    void SkipRecordBody();
    void ReadChildren(TComponent* owner, TZarvComponent* parent);
    void NameComponent(TZarvComponent* component, const QString& name, const QString& className);
    void ReadOrdinal(TPersistent* instance, const TPropInfo* prop, TTypeKind kind, uint8_t tag);
    void ReadClassValue(TPersistent* instance, const TPropInfo* prop, uint8_t tag);
    void ReadReference(TPersistent* instance, const TPropInfo* prop);
    void ReadObjectValue(TPersistent* instance, const TPropInfo* prop);
    void ReadComponentList(TPersistent* instance, const TPropInfo* prop);
    void ReadObjectList(TPersistent* instance, const TPropInfo* prop);
    // The properties of a nested object, the way to it extended by step.
    void ReadNested(TPersistent* object, const TZarvRefStep& step);
    void ReadAbsorbed(TPersistent* object);
    bool CanStore(TPersistent* instance, const TPropInfo* prop) const;
    TZarvProjectManager* RootProject() const;
    TZarvComponent* FindReference(const QString& name) const;
    void LeaveForwardRef(const QString& name, TPersistent* instance, const TPropInfo* prop, int listIndex);

    bool FPropHandled = false;
    QString FPropName;
    int32_t FAbsorbCount = 0;
    TZarvComponent* FCurrentParent = nullptr;
    TZarvComponent* FCurrentComp = nullptr;
    int FDepth = 0;
    // The way from FCurrentComp to FPathInstance, the object whose
    // properties are being read.
    std::vector<TZarvRefStep> FPath;
    TPersistent* FPathInstance = nullptr;
};
