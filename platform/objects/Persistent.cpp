#include "platform/objects/Persistent.h"

#include "platform/objects/Filer.h"

TPersistent::~TPersistent()
{
    // A reference waiting to be resolved must not outlive its holder.
    RemoveFixupReferences(this);
}

void TPersistent::Assign(const TPersistent* source)
{
    if (!source)
        AssignError(nullptr);
    source->AssignTo(this);
}

void TPersistent::DefineProperties(TFiler&) {}

TPersistent* TPersistent::GetOwner() const
{
    return nullptr;
}

void TPersistent::AssignTo(TPersistent* dest) const
{
    dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    const QString sourceName = source ? source->ClassName() : QStringLiteral("nil");
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassName()));
}
