#pragma once
// Shared by the units that list their languages in a menu.
#include "localization/KLocales.h"

#include "platform/forms/Menus.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace loc_detail {

// Gives a new language item its caption (the English name, else the
// locale's), its tag and its check mark and adds it to the menu, unless the
// handler asks to skip it: the item is then deleted.
inline void AddLanguageMenuItem(TMenuItem* menu, TMenuItem* item, int index, const QString& englishName,
                                uint32_t locale, bool current,
                                const std::function<void(TMenuItem* item, bool& skip)>& onAdd)
{
    item->SetCaption(englishName.isEmpty() ? LocaleEnglishName(locale) : englishName);
    item->SetTag(index);
    bool skip = false;
    onAdd(item, skip);
    if (skip) {
        delete item;
        return;
    }
    item->SetChecked(current);
    menu->Add(item);
}

} // namespace loc_detail
