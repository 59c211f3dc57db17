#include "platform/objects/Strings.h"

#include "platform/objects/Filer.h"

void TStrings::Assign(const TPersistent* source)
{
    if (auto* other = dynamic_cast<const TStrings*>(source)) {
        TStringList::Assign(*other);
        return;
    }
    TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer)
{
    filer.DefineProperty(
        QStringLiteral("Strings"), [this](TReader& reader) { ReadData(reader); },
        [this](TWriter& writer) { WriteData(writer); }, Count() > 0);
}

void TStrings::ReadData(TReader& reader)
{
    // Read into a copy first: a damaged list leaves the lines as they were.
    TStringList lines;
    reader.ReadListBegin();
    while (!reader.EndOfList())
        lines.Add(reader.ReadString());
    reader.ReadListEnd();
    BeginUpdate();
    Clear();
    AddStrings(lines);
    EndUpdate();
}

void TStrings::WriteData(TWriter& writer) const
{
    writer.WriteListBegin();
    for (int i = 0; i < Count(); ++i)
        writer.WriteString(Strings(i));
    writer.WriteListEnd();
}
