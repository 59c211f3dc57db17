#pragma once
// The texts a language switch changes, read from every running window: each
// component's Caption and Hint and the text of its Items and Lines lists, by
// "form.component.property" (the form itself under its own name).
#include "platform/forms/Forms.h"
#include "platform/objects/Strings.h"
#include "platform/objects/TypInfo.h"

#include <QString>

#include <map>
#include <vector>

inline std::map<QString, QString> WindowTexts()
{
    std::map<QString, QString> texts;
    for (TCustomForm* form : ScreenForms()) {
        std::vector<TComponent*> components{form};
        for (int i = 0; i < form->ComponentCount(); ++i)
            components.push_back(form->Components(i));
        for (TComponent* component : components) {
            const QString key = form->Name() + u'.' + component->Name() + u'.';
            for (const char* name : {"Caption", "Hint"})
                if (const TPropInfo* prop = GetPropInfo(*component, QLatin1String(name)))
                    texts[key + QLatin1String(name)] = GetStrProp(*component, *prop);
            for (const char* name : {"Items", "Lines"})
                if (const TPropInfo* prop = GetPropInfo(*component, QLatin1String(name));
                    prop && prop->Kind() == TTypeKind::tkClass)
                    if (auto* strings = dynamic_cast<TStrings*>(GetObjectProp(*component, *prop)))
                        texts[key + QLatin1String(name)] = strings->Text();
        }
    }
    return texts;
}
