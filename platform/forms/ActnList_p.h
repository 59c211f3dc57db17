#pragma once
// Shared by the units that run handlers for actions and menu items.
#include "platform/objects/Component.h"

namespace actnlist_detail {

// True while the component or one of its owners is being loaded or
// destroyed: no handler runs then.
inline bool Inactive(const TComponent* component)
{
    for (const TComponent* c = component; c; c = c->Owner()) {
        if (c->ComponentState().Contains(TComponentStateFlag::csDestroying) ||
            c->ComponentState().Contains(TComponentStateFlag::csLoading))
            return true;
    }
    return false;
}

} // namespace actnlist_detail
