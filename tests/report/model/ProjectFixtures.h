#pragma once
// Shared by the tests of the property stream, the project items and the
// project file: the registration of the project classes, a box class with a
// published property of every kind the stream carries, a script module that
// stores its name, and byte helpers.
#include "tests/report/model/ModelFixtures.h"

#include "platform/objects/Strings.h"
#include "platform/rtl/Streams.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"

#include <QByteArray>
#include <QString>

enum class TKindMode : uint8_t { kmOne, kmTwo, kmThree };

// A box with one published property of each kind, a defined property
// through its lines, an override for an old property name, and a record of
// the names a reader offers to its defined properties.
class TKindBox : public TTestBox {
public:
    using TTestBox::TTestBox;
    QChar Letter() const { return FLetter; }
    void SetLetter(QChar value) { FLetter = value; }
    int32_t Count() const { return FCount; } // declared default 7
    void SetCount(int32_t value) { FCount = value; }
    int64_t Big() const { return FBig; }
    void SetBig(int64_t value) { FBig = value; }
    TKindMode Mode() const { return FMode; }
    void SetMode(TKindMode value) { FMode = value; }
    uint32_t Styles() const { return FStyles; } // a set over ksA, ksB, ksC
    void SetStyles(uint32_t value) { FStyles = value; }
    double Ratio() const { return FRatio; }
    void SetRatio(double value) { FRatio = value; }
    const QString& Label() const { return FLabel; }
    void SetLabel(const QString& value) { FLabel = value; }
    TZarvControl* Target() const { return FTarget; }
    void SetTarget(TZarvControl* value) { FTarget = value; }
    TZarvComponentList* Links() const { return FLinks.get(); }
    void SetLinks(TZarvComponentList* value)
    {
        if (value)
            FLinks->Assign(*value);
        else
            FLinks->Clear();
    }
    TZarvPersistentList* Items() const { return FItems.get(); }
    void SetItems(TZarvPersistentList* value)
    {
        if (value)
            FItems->Assign(*value);
    }
    TStrings* Lines() const { return FLines.get(); }
    void SetLines(TStrings* value)
    {
        if (value)
            FLines->TStringList::Assign(*value);
        else
            FLines->Clear();
    }

    void DefineProperties(TFiler& filer) override
    {
        TTestBox::DefineProperties(filer);
        if (auto* reader = dynamic_cast<TZarvReader*>(&filer))
            Offered << reader->PropName();
    }
    void OverrideProperties(TZarvFiler& filer) override
    {
        filer.OverrideProperty(QStringLiteral("OldLabel"),
                               [this](TZarvReader& reader) {
                                   reader.ReadProperty(this, GetPropInfo(*this, QStringLiteral("Label")));
                               },
                               {});
    }

    QStringList Offered;

private:
    QChar FLetter;
    int32_t FCount = 7;
    int64_t FBig = 0;
    TKindMode FMode = TKindMode::kmOne;
    uint32_t FStyles = 0;
    double FRatio = 0;
    QString FLabel;
    TZarvControl* FTarget = nullptr;
    std::unique_ptr<TZarvComponentList> FLinks = std::make_unique<TZarvComponentList>();
    std::unique_ptr<TZarvPersistentList> FItems = std::make_unique<TZarvPersistentList>();
    std::unique_ptr<TStrings> FLines = std::make_unique<TStrings>();
};

// A component never copied into a run's private project.
class TNeverBox : public TKindBox {
public:
    using TKindBox::TKindBox;
    bool NeverIncluded() const override { return true; }
};

// A box with a variant property other than Tag, which the stream cannot
// carry.
class TVariantBox : public TTestBox {
public:
    using TTestBox::TTestBox;
    QVariant Extra() const { return FExtra; }
    void SetExtra(const QVariant& value) { FExtra = value; }

private:
    QVariant FExtra = 1;
};

// A module that stores its name and a payload; the factory below reads it.
class TStoredModule : public TFakeModule {
public:
    QByteArray Payload;
    void SaveToStream(TStream& stream) override
    {
        const QByteArray name = ModuleName().toUtf8();
        stream.WriteBytes(QByteArray(1, char(name.size())) + name + Payload);
    }
};

// Makes a TStoredModule from a stream (the name, then the payload), or an
// empty one without a stream; a stream holding "bad" raises.
inline TZarvModule* StoredModuleFactory(TStream* stream, TZarvComponent*, TZarvComponent*)
{
    auto module = std::make_unique<TStoredModule>();
    if (stream) {
        const QByteArray bytes = stream->ReadBytes(stream->Size() - stream->Position());
        if (bytes.contains("bad"))
            ZarvError(QStringLiteral("Damaged module"));
        const int length = bytes.isEmpty() ? 0 : uint8_t(bytes.at(0));
        module->SetModuleName(QString::fromUtf8(bytes.mid(1, length)));
        module->Payload = bytes.mid(1 + length);
    }
    return module.release();
}

// The report classes and the test classes, registered once.
inline void RegisterProjectForTests()
{
    RecordProjectProcs();
    RegisterModelForTests();
    RunZarvProcs(QStringLiteral("ZVCL")); // runs again only what is not registered yet
    if (FindClass(QStringLiteral("TKindBox")))
        return;
    static const TTypeInfo modeType =
        MakeEnumType(QStringLiteral("TKindMode"),
                     {QStringLiteral("kmOne"), QStringLiteral("kmTwo"), QStringLiteral("kmThree")});
    static const TTypeInfo styleType = MakeEnumType(
        QStringLiteral("TKindStyle"), {QStringLiteral("ksA"), QStringLiteral("ksB"), QStringLiteral("ksC")});
    static const TTypeInfo stylesType = MakeSetType(QStringLiteral("TKindStyles"), styleType);
    TClassInfo& box = RegisterClass<TKindBox>(QStringLiteral("TKindBox"), QStringLiteral("TTestBox"));
    PublishProperty(box, QStringLiteral("Letter"), TypeInfoChar(), &TKindBox::Letter, &TKindBox::SetLetter);
    PublishProperty(box, QStringLiteral("Count"), TypeInfoInteger(), &TKindBox::Count, &TKindBox::SetCount)
        .WithDefault(7);
    PublishProperty(box, QStringLiteral("Big"), TypeInfoInt64(), &TKindBox::Big, &TKindBox::SetBig);
    PublishProperty(box, QStringLiteral("Mode"), modeType, &TKindBox::Mode, &TKindBox::SetMode);
    PublishProperty(box, QStringLiteral("Styles"), stylesType, &TKindBox::Styles, &TKindBox::SetStyles);
    PublishProperty(box, QStringLiteral("Ratio"), TypeInfoDouble(), &TKindBox::Ratio, &TKindBox::SetRatio);
    PublishProperty(box, QStringLiteral("Label"), TypeInfoString(), &TKindBox::Label, &TKindBox::SetLabel);
    PublishProperty(box, QStringLiteral("Target"), TypeInfoClass(QStringLiteral("TZarvControl")),
                    &TKindBox::Target, &TKindBox::SetTarget);
    PublishProperty(box, QStringLiteral("Links"), TypeInfoClass(QStringLiteral("TZarvComponentList")),
                    &TKindBox::Links, &TKindBox::SetLinks);
    PublishProperty(box, QStringLiteral("Items"), TypeInfoClass(QStringLiteral("TZarvPersistentList")),
                    &TKindBox::Items, &TKindBox::SetItems);
    PublishProperty(box, QStringLiteral("Lines"), TypeInfoClass(QStringLiteral("TStrings")), &TKindBox::Lines,
                    &TKindBox::SetLines);
    RegisterClass<TNeverBox>(QStringLiteral("TNeverBox"), QStringLiteral("TKindBox"));
    TClassInfo& variant =
        RegisterClass<TVariantBox>(QStringLiteral("TVariantBox"), QStringLiteral("TTestBox"));
    PublishProperty(variant, QStringLiteral("Extra"), TypeInfoVariant(), &TVariantBox::Extra,
                    &TVariantBox::SetExtra);
}

// The stream form of a string.
inline QByteArray Enc(const QString& text)
{
    TMemoryStream stream;
    TStreamHelper helper(stream);
    helper.WriteString(text);
    return stream.Bytes();
}

inline QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

// The property list of instance as the writer writes it.
inline QByteArray PropertyBytes(TPersistent* instance)
{
    TMemoryStream stream;
    TStreamHelper helper(stream);
    TZarvWriter writer(helper);
    writer.WriteProperties(instance);
    return stream.Bytes();
}

// Reads a property list (byte 8 first) into instance, with the reader's
// component and root owner taken from component.
inline void ReadPropertyBytes(TZarvComponent* component, const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    TStreamHelper helper(stream);
    TZarvReader reader(helper);
    helper.ReadByte();
    reader.ReadProperties(component);
}

inline QByteArray SaveProject(TZarvProjectManager& project)
{
    TMemoryStream stream;
    project.SaveToStream(stream);
    return stream.Bytes();
}

inline void LoadProject(TZarvProjectManager& project, const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    project.LoadFromStream(stream);
}

template <class T> T* MakeOn(TZarvComponent* parent, const QString& name)
{
    TComponent* owner = parent->ItemKind() == TZarvItemKind::ikComponent ? parent->Owner() : parent;
    auto* component = new T(owner);
    component->SetParent(parent);
    component->SetName(name);
    return component;
}
