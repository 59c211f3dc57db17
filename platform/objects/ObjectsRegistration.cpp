#include "platform/objects/ObjectsRegistration.h"

#include "platform/objects/Collection.h"
#include "platform/objects/Component.h"
#include "platform/objects/Strings.h"

void RegisterObjectsClasses()
{
    if (FindClass(QStringLiteral("TComponent")))
        return;
    // TObject, TPersistent, TCollectionItem and TCollection are not created
    // by name: they stand in the chain of ancestors.
    RegisterClassInfo(QStringLiteral("TObject"), QString(), {}, &typeid(TObject));
    RegisterClassInfo(QStringLiteral("TPersistent"), QStringLiteral("TObject"), {}, &typeid(TPersistent));
    TClassInfo& component =
        RegisterClass<TComponent>(QStringLiteral("TComponent"), QStringLiteral("TPersistent"));
    // The name stands in the object header, not among the properties.
    PublishProperty(component, QStringLiteral("Name"), TypeInfoString(), &TComponent::Name,
                    &TComponent::SetName)
        .WithStored([](const TObject&) { return false; });
    PublishProperty(component, QStringLiteral("Tag"), TypeInfoInteger(), &TComponent::Tag,
                    &TComponent::SetTag);
    RegisterClassInfo(QStringLiteral("TCollectionItem"), QStringLiteral("TPersistent"), {},
                      &typeid(TCollectionItem));
    RegisterClassInfo(QStringLiteral("TCollection"), QStringLiteral("TPersistent"), {}, &typeid(TCollection));
    RegisterClass<TStrings>(QStringLiteral("TStrings"), QStringLiteral("TPersistent"));
}
