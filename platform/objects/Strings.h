#pragma once
// TStrings: the runtime's string list as a persistent object, so that a
// published string-list property streams. Its lines are the defined property
// "Strings", a list of strings; assigning copies the lines.
#include "platform/objects/Persistent.h"
#include "platform/rtl/StringList.h"

class TReader;
class TWriter;

class TStrings : public TPersistent, public TStringList {
public:
    TStrings() = default;

    using TStringList::Assign;
    void Assign(const TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;

private:
    void ReadData(TReader& reader);
    void WriteData(TWriter& writer) const;
};
