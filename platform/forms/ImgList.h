#pragma once
// TImageList: a list of pictures of one size, as the framework's image lists
// keep them and stream them.
//
// The stream keeps the list as the binary property "Bitmap" in the common
// controls' image-list layout: a 28-byte header (signature "IL", version
// 0x0101, count, capacity, grow step, width, height, background colour,
// flags, four overlay indexes; little-endian), then one BMP file holding the
// pictures in rows of four, then, when the flags say "masked", a one-bit BMP
// of the same layout whose set bits mark transparent pixels. Reading checks
// every size against the bytes there are and refuses a bad list with
// EInvalidGraphic, leaving the list as it was.
#include "platform/graphics/Canvas.h"
#include "platform/objects/Component.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <vector>

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* owner);
    ~TImageList() override;

    // The size of every picture; changing it clears the list.
    int Width() const { return FWidth; }
    void SetWidth(int width);
    int Height() const { return FHeight; }
    void SetHeight(int height);
    int Count() const { return int(FImages.size()); }
    // Growth step and background colour, kept for the stream.
    int AllocBy() const { return FAllocBy; }
    void SetAllocBy(int allocBy) { FAllocBy = std::max(allocBy, 1); }
    TColor BkColor() const { return FBkColor; }
    void SetBkColor(TColor color) { FBkColor = color; }
    bool Masked() const { return FMasked; }
    void SetMasked(bool masked) { FMasked = masked; }

    // Adds the pictures of an image: one per Width-wide slice (an image
    // narrower than Width gives one picture, scaled). Returns the index of
    // the first, -1 for an empty image.
    int Add(const QImage& image);
    void Delete(int index);
    void Clear();
    // A picture; EListError "List index out of bounds (<n>)" out of range.
    QImage Image(int index) const;
    // Copies a picture into a bitmap (the bitmap takes its size); false out
    // of range.
    bool GetBitmap(int index, TBitmap* bitmap) const;

    void DefineProperties(TFiler& filer) override;
    // The "Bitmap" property's bytes.
    QByteArray SaveToBytes() const;
    void LoadFromBytes(const QByteArray& bytes);

    std::function<void()> OnChange;

private:
    void Changed();

    int FWidth = 16;  // in px
    int FHeight = 16; // in px
    int FAllocBy = 4;
    TColor FBkColor = clNone;
    bool FMasked = true;
    std::vector<QImage> FImages; // ARGB32, FWidth x FHeight each
};
