#pragma once
// Pictures as controls hold them and form streams store them.
//
// TPicture holds one graphic of any registered class and streams it as the
// defined property "Data": the graphic's class name as a short string
// ("TBitmap", "TJPEGImage", "TPngImage"), then the graphic's own data.
// TStreamedBitmap is the bitmap of glyphs and bitmap pictures; it streams as
// "Data" too: a 32-bit byte count, then a BMP file. Graphic classes register
// how they read and write that data and which file extensions hold them.
//
// Every reader checks lengths against the bytes there are and refuses a bad
// or oversized picture with EInvalidGraphic; nothing is changed then.
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphics.h"
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <typeinfo>

class TFiler;
class TStream;

RTL_EXCEPTION_CLASS(EInvalidGraphic, Exception);

// The most pixels a picture may have (4096 x 4096): more is refused before
// anything is allocated.
constexpr int64_t kMaxPicturePixels = int64_t(1) << 24;

// Decodes an image file of a format Qt reads ("BMP", "PNG"); raises
// EInvalidGraphic "<what> image is not valid" or "... is too large".
QImage DecodeImageBytes(const QByteArray& bytes, const char* format, const QString& what);

// A bitmap that streams as "Data" and tells when its picture changes.
class TStreamedBitmap : public TBitmap {
public:
    using TBitmap::TBitmap;

    void Assign(const TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;

    // A BMP file; raises EInvalidGraphic "Bitmap image is not valid".
    void LoadFromBmp(const QByteArray& bmp);
    QByteArray SaveToBmp() const;
    void LoadImage(const QImage& image);
    // Runs OnChange; call it after drawing on the canvas.
    void Changed();
    std::function<void()> OnChange;

    // The "Data" layout: byte count and BMP file.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;
};

// A PNG picture, decoded by Qt.
class TPngImage : public TGraphic {
public:
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    QImage ToImage() const override { return FImage; }
    void Assign(const TPersistent* source) override;

    // Raises EInvalidGraphic "PNG image is not valid".
    void LoadFromBytes(const QByteArray& png);
    const QByteArray& Bytes() const { return FBytes; }

private:
    QByteArray FBytes;
    QImage FImage;
};

// How a graphic class reads and writes itself.
struct TGraphicClass {
    QString ClassName; // as streams name it
    const std::type_info* Type = nullptr;
    // The graphic's part of a picture's "Data"; Read raises on bad bytes.
    std::function<std::unique_ptr<TGraphic>(TStream& data)> ReadData;
    std::function<void(const TGraphic& graphic, TStream& data)> WriteData;
    // A whole file of the format.
    std::function<std::unique_ptr<TGraphic>(const QByteArray& file)> LoadFile;
};

// Registers a graphic class (again: replaces it), and a file extension
// ("jpg", without the dot, any case) for a registered class.
void RegisterGraphicClass(TGraphicClass graphicClass);
void RegisterPictureFileFormat(const QString& extension, const QString& description,
                               const QString& className);
// Look-ups; null when unknown.
const TGraphicClass* FindGraphicClass(const QString& className);
const TGraphicClass* FindGraphicClassOfType(const std::type_info& type);
const TGraphicClass* FindGraphicClassOfExtension(const QString& extension);
// Registers the bitmap, PNG and JPEG classes and their extensions (bmp, png,
// jpg, jpeg).
void RegisterPictureClasses();

class TPicture : public TPersistent {
public:
    TPicture();
    ~TPicture() override;

    TGraphic* Graphic() const { return FGraphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The graphic as a bitmap; a graphic of another class is replaced by an
    // empty bitmap first.
    TStreamedBitmap* Bitmap();
    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }
    bool Empty() const { return !FGraphic || FGraphic->Empty(); }
    QImage ToImage() const;
    void Clear() { SetGraphic(nullptr); }

    // A file by its extension: EInvalidGraphic "Unknown picture file
    // extension (.<ext>)", EFOpenError, or the format's error.
    void LoadFromFile(const QString& fileName);
    // The bytes of a file of that extension (a picture from the resources).
    void LoadFromBytes(const QByteArray& bytes, const QString& extension);

    // Copies a picture or a graphic (null clears).
    void Assign(const TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;

    void Changed();
    std::function<void()> OnChange;

    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;

private:
    std::unique_ptr<TGraphic> FGraphic;
};

// A copy of a graphic through its registered class (a bitmap of any kind
// becomes a TStreamedBitmap; an unregistered graphic is copied as a bitmap of
// its image).
std::unique_ptr<TGraphic> CloneGraphic(const TGraphic& graphic);
