#pragma once
// A metafile picture (EMF or WMF) as projects and forms store it. The
// program has no metafile renderer: the graphic keeps the file's bytes, so
// that it is stored again unchanged, but gets no handle, has no size and
// draws nothing. Code that draws metafiles asks Handle() first.
#include "platform/graphics/Graphics.h"

#include <QByteArray>

class TStream;

class TMetafile : public TGraphic {
public:
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    QImage ToImage() const override { return QImage(); }
    // Always 0: no metafile is ever played here.
    uintptr_t Handle() const { return 0; }

    void Assign(const TPersistent* source) override;
    // Streams as "Data": the metafile's bytes.
    void DefineProperties(TFiler& filer) override;

    const QByteArray& Bytes() const { return FBytes; }
    void SetBytes(const QByteArray& bytes) { FBytes = bytes; }
    // The bytes from the stream's position to its end.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

private:
    QByteArray FBytes;
};
