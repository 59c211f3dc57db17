#pragma once
// Property types the printable components publish. Private to
// report/components: other folders see the properties only through the class
// registry.
#include "platform/graphics/Colors.h"
#include "platform/objects/TypInfo.h"

#include <QString>

#include <memory>

// A length in inches, streamed as an extended float.
const TTypeInfo& ZarvUnitsType();
const TTypeInfo& ZarvColorType();
const TTypeInfo& ZarvPenStyleType();
const TTypeInfo& ZarvLineWidthType();
const TTypeInfo& ZarvFillStyleType();
const TTypeInfo& ZarvPrintJustifyType();
const TTypeInfo& ZarvMatchSideType();
const TTypeInfo& ZarvCursorType();

// Copies value into slot (made on first use and owned by owner); null
// removes the event.
template <class T, class O>
void SetOwnedEvent(std::unique_ptr<T>& slot, const T* value, O* owner, const char* name)
{
    if (!value) {
        slot.reset();
        return;
    }
    if (slot.get() == value)
        return;
    if (!slot) {
        slot = std::make_unique<T>();
        slot->SetOwner(owner);
        slot->SetName(QString::fromLatin1(name));
    }
    slot->Assign(value);
}
