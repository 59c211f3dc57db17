#include "platform/graphics/Metafile.h"

#include "platform/objects/Filer.h"
#include "platform/rtl/Streams.h"

void TMetafile::Assign(const TPersistent* source)
{
    if (auto* other = dynamic_cast<const TMetafile*>(source)) {
        FBytes = other->FBytes;
        return;
    }
    if (!source) {
        FBytes.clear();
        return;
    }
    TGraphic::Assign(source);
}

void TMetafile::DefineProperties(TFiler& filer)
{
    filer.DefineBinaryProperty(
        QStringLiteral("Data"), [this](TStream& stream) { LoadFromStream(stream); },
        [this](TStream& stream) { SaveToStream(stream); }, !FBytes.isEmpty());
}

void TMetafile::LoadFromStream(TStream& stream)
{
    const int64_t count = stream.Size() - stream.Position();
    FBytes = count > 0 ? stream.ReadBytes(count) : QByteArray();
}

void TMetafile::SaveToStream(TStream& stream) const
{
    stream.WriteBytes(FBytes);
}
