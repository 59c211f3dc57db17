#include "tests/platform/objects/TestClasses.h"

#include "platform/objects/Filer.h"
#include "platform/objects/ObjectsRegistration.h"
#include "platform/rtl/Streams.h"

namespace {

const TTypeInfo& AlignType()
{
    static const TTypeInfo t =
        MakeEnumType(QStringLiteral("TTestAlign"), {"alNone", "alTop", "alBottom", "alClient"});
    return t;
}

const TTypeInfo& AnchorType()
{
    static const TTypeInfo t =
        MakeEnumType(QStringLiteral("TAnchorKind"), {"akLeft", "akTop", "akRight", "akBottom"});
    return t;
}

const TTypeInfo& AnchorsType()
{
    static const TTypeInfo t = MakeSetType(QStringLiteral("TAnchors"), AnchorType());
    return t;
}

} // namespace

TKindsBox::TKindsBox(TComponent* owner)
    : TComponent(owner), FFont(std::make_unique<TTestFont>()), FLines(std::make_unique<TStrings>()),
      FItems(std::make_unique<TCollection>(QStringLiteral("TTestItem"), this))
{
}

TKindsBox::~TKindsBox() = default;

void TKindsBox::DefineProperties(TFiler& filer)
{
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        QStringLiteral("Blob"), [this](TStream& s) { Blob = s.ReadBytes(s.Size()); },
        [this](TStream& s) { s.WriteBytes(Blob); }, !Blob.isEmpty());
}

void TKindsBox::Loaded()
{
    TComponent::Loaded();
    LoadedLog() << Name() + (FBuddy ? QStringLiteral("->") + FBuddy->Name() : QString());
}

QStringList& TKindsBox::LoadedLog()
{
    static QStringList log;
    return log;
}

void TKindsBox::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FBuddy)
        FBuddy = nullptr;
}

void RegisterTestClasses()
{
    RegisterObjectsClasses();
    if (FindClass(QStringLiteral("TKindsBox")))
        return;

    TClassInfo& font = RegisterClass<TTestFont>(QStringLiteral("TTestFont"), QStringLiteral("TPersistent"));
    PublishProperty(font, "Name", TypeInfoString(), &TTestFont::Name, &TTestFont::SetName);
    PublishProperty(font, "Size", TypeInfoInteger(), &TTestFont::Size, &TTestFont::SetSize).WithDefault(8);

    TClassInfo& item =
        RegisterClass<TTestItem>(QStringLiteral("TTestItem"), QStringLiteral("TCollectionItem"));
    PublishProperty(item, "Width", TypeInfoInteger(), &TTestItem::Width, &TTestItem::SetWidth);
    PublishProperty(item, "Caption", TypeInfoString(), &TTestItem::Caption, &TTestItem::SetCaption);

    TClassInfo& box = RegisterClass<TKindsBox>(QStringLiteral("TKindsBox"), QStringLiteral("TComponent"));
    PublishProperty(box, "Count", TypeInfoInteger(), &TKindsBox::Count, &TKindsBox::SetCount).WithDefault(5);
    PublishProperty(box, "Letter", TypeInfoChar(), &TKindsBox::Letter, &TKindsBox::SetLetter)
        .WithDefault('A');
    PublishProperty(box, "Align", AlignType(), &TKindsBox::Align, &TKindsBox::SetAlign);
    PublishProperty(box, "Enabled", TypeInfoBoolean(), &TKindsBox::Enabled, &TKindsBox::SetEnabled)
        .WithDefault(1);
    PublishProperty(box, "Anchors", AnchorsType(), &TKindsBox::Anchors, &TKindsBox::SetAnchors)
        .WithDefault(akLeft | akTop);
    PublishProperty(box, "Ratio", TypeInfoExtended(), &TKindsBox::Ratio, &TKindsBox::SetRatio);
    PublishProperty(box, "Scale", TypeInfoSingle(), &TKindsBox::Scale, &TKindsBox::SetScale);
    PublishProperty(box, "Price", TypeInfoCurrency(), &TKindsBox::Price, &TKindsBox::SetPrice);
    PublishProperty(box, "Stamp", TypeInfoDateTime(), &TKindsBox::Stamp, &TKindsBox::SetStamp);
    PublishProperty(box, "Code", TypeInfoShortString(), &TKindsBox::Code, &TKindsBox::SetCode);
    PublishProperty(box, "Hint", TypeInfoAnsiString(), &TKindsBox::Hint, &TKindsBox::SetHint);
    PublishProperty(box, "Caption", TypeInfoString(), &TKindsBox::Caption, &TKindsBox::SetCaption);
    PublishProperty(box, "Big", TypeInfoInt64(), &TKindsBox::Big, &TKindsBox::SetBig);
    PublishProperty(box, "Extra", TypeInfoVariant(), &TKindsBox::Extra, &TKindsBox::SetExtra);
    PublishProperty(box, "OnClick", TypeInfoMethod(), &TKindsBox::OnClick, &TKindsBox::SetOnClick);
    PublishProperty(box, "Buddy", TypeInfoClass("TKindsBox"), &TKindsBox::Buddy, &TKindsBox::SetBuddy);
    PublishProperty(box, "Font", TypeInfoClass("TTestFont"), &TKindsBox::Font);
    PublishProperty(box, "Lines", TypeInfoClass("TStrings"), &TKindsBox::Lines);
    PublishProperty(box, "Items", TypeInfoClass("TCollection"), &TKindsBox::Items);
    PublishProperty(box, "Serial", TypeInfoInteger(), &TKindsBox::Serial);

    TClassInfo& form = RegisterClass<TKindsForm>(QStringLiteral("TKindsForm"), QStringLiteral("TKindsBox"));
    PublishProperty(form, "Title", TypeInfoString(), &TKindsForm::Title, &TKindsForm::SetTitle);
    form.AddMethod(QStringLiteral("BoxClick"));
    form.AddMethod(QStringLiteral("FormShow"));
}
