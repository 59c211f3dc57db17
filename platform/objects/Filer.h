#pragma once
// Reading and writing components: the filer base, the component reader and the
// component writer over the byte layer of ValueStream.h.
//
// TFiler is what DefineProperties talks to; other filers (the report property
// stream) derive from it and implement DefineProperty, DefineBinaryProperty
// and FlushBuffer in their own format.
//
// TReader creates components by their registered class name with the reader's
// owner, sets properties by name (dotted paths follow owned objects), calls
// DefineProperties for names that are no published property, collects
// component references while reading and resolves them when the whole tree
// is in (forward references), then calls Loaded on every component read, in
// load order. An object whose prefix carries ffInherited is not created but
// found by name among the owner's components, so reading a stream onto a
// living form updates it ("inherited" mode: a reader whose ReadPrefix adds the
// flag reads a whole stream onto existing objects). A read that fails deletes
// the components it created.
//
// TWriter writes a component tree: published properties that are stored and
// differ from their defaults (ordinals equal to the declared default, zero
// floats, empty strings, nil objects and events, empty collections are left
// out), then the defined properties, then the children.
//
// An integer property whose type has an identifier map (TypInfo.h) is written
// by the value's name when it has one, and read from a name as well as from a
// number; a name the map does not know is an invalid property value.
#include "platform/objects/Collection.h"
#include "platform/objects/Component.h"
#include "platform/objects/ValueStream.h"

#include <functional>
#include <vector>

class TStream;
class TReader;
class TWriter;

using TReaderProc = std::function<void(TReader&)>;
using TWriterProc = std::function<void(TWriter&)>;
using TStreamProc = std::function<void(TStream&)>;

class TFiler {
public:
    virtual ~TFiler();

    // A property the object stores in its own way: readData reads its value
    // (a reader calls it when the property's name comes up), writeData writes
    // it (a writer calls it when hasData is true).
    virtual void DefineProperty(const QString& name, const TReaderProc& readData,
                                const TWriterProc& writeData, bool hasData) = 0;
    // The same with raw bytes handed over as a stream.
    virtual void DefineBinaryProperty(const QString& name, const TStreamProc& readData,
                                      const TStreamProc& writeData, bool hasData) = 0;
    virtual void FlushBuffer() = 0;

    TComponent* Root() const { return FRoot; }
    void SetRoot(TComponent* root);
    // The component whose owned components references are named after.
    TComponent* LookupRoot() const { return FLookupRoot; }

protected:
    TComponent* FRoot = nullptr;
    TComponent* FLookupRoot = nullptr;
};

class TReader : public TFiler, public TValueReader {
public:
    explicit TReader(TStream& stream);
    ~TReader() override;

    void DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;
    void FlushBuffer() override;

    // Reads a whole stream: signature, then the root object. With root null
    // the root is created by its class name (and belongs to the caller);
    // otherwise the stream is read onto root. References are resolved and
    // Loaded is called before it returns.
    TComponent* ReadRootComponent(TComponent* root);
    // Reads one child object: created with Owner() (or found there in
    // inherited mode), its properties and children read, and it is placed
    // under Parent(). Answers the component (the caller's when there is no
    // owner).
    TComponent* ReadComponent();
    // The properties and the children of a component (its ReadState).
    void ReadData(TComponent* instance);
    // One property: its name and its value.
    void ReadProperty(TPersistent* instance);
    // A collection value: the collection is cleared when the stream holds
    // items, then one item is added per item read.
    void ReadCollection(TCollection& collection);

    TComponent* Owner() const { return FOwner; }
    void SetOwner(TComponent* owner) { FOwner = owner; }
    TComponent* Parent() const { return FParent; }
    void SetParent(TComponent* parent) { FParent = parent; }
    // The name of the property being read (for defined properties).
    const QString& PropName() const { return FPropName; }

    // Whether a handler name of an event property exists: by default the
    // root's class (or an ancestor) must publish a method of that name;
    // OnFindMethod, when set, is asked instead.
    virtual bool FindMethod(TComponent* root, const QString& methodName);
    std::function<bool(TComponent* root, const QString& methodName)> OnFindMethod;

private:
    static QString UniqueRootName(const TComponent* root, const QString& name);
    struct TFixup {
        TPersistent* Instance;
        const TPropInfo* Prop;
        TComponent* LookupRoot;
        QString Name;
    };

    void ReadPropValue(TPersistent* instance, const TPropInfo& prop);
    void ReadComponentRef(TPersistent* instance, const TPropInfo& prop);
    TComponent* CreateComponent(const QString& className, const QString& name);
    void FixupReferences();
    void EndLoading();
    void AbandonLoading();
    QString PropContext(const QString& propName) const;

    TComponent* FOwner = nullptr;
    TComponent* FParent = nullptr;
    QString FPropName; // the defined property looked for
    bool FPropHandled = false;
    QString FItemPath;       // "Items[2]." while the properties of a collection item are read
    QString FCollectionPath; // "Items": the collection property being read
    std::vector<TComponent*> FLoaded;
    std::vector<TFixup> FFixups;
};

class TWriter : public TFiler, public TValueWriter {
public:
    explicit TWriter(TStream& stream);
    ~TWriter() override;

    void DefineProperty(const QString& name, const TReaderProc& readData, const TWriterProc& writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const QString& name, const TStreamProc& readData, const TStreamProc& writeData,
                              bool hasData) override;
    void FlushBuffer() override;

    // Signature and the root with its tree.
    void WriteRootComponent(TComponent* root);
    // One object through its WriteState.
    void WriteComponent(TComponent* component);
    // Header, properties and children of a component (its WriteState).
    void WriteData(TComponent* instance);
    // The published, then the defined properties of any persistent object.
    void WriteProperties(TPersistent* instance);
    void WriteCollection(TCollection& collection);

private:
    void WriteProperty(TPersistent* instance, const TPropInfo& prop);
    void WriteOrdinalValue(const TTypeInfo& type, int64_t value);
    void WritePropName(const QString& name);
    QString ComponentReferenceName(TComponent* component) const;

    QString FPropPath; // "Font." while the properties of Font are written
};

// References that could not be resolved when their stream ended (a component
// of another form not yet loaded) wait here and are resolved whenever a root
// finishes loading, or when this is called. A pending reference is dropped when
// the object holding it or its lookup root is deleted. Raises EReadError when
// a component found is of the wrong class (the reference is dropped).
void GlobalFixupReferences();
int PendingFixupCount();
// Drops every pending reference held by or looked up from instance.
void RemoveFixupReferences(TPersistent* instance);

// Conveniences over a memory stream: the stream bytes of a root component, and
// a component read from bytes (onto root, or created when root is null).
QByteArray WriteComponentToBytes(TComponent* root);
TComponent* ReadComponentFromBytes(const QByteArray& bytes, TComponent* root);
