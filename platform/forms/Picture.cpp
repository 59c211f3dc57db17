#include "platform/forms/Picture.h"

#include "platform/forms/JpegImage.h"
#include "platform/objects/Filer.h"
#include "platform/rtl/Streams.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <map>
#include <vector>

namespace {

struct TFileFormat {
    QString Extension; // lower case, no dot
    QString Description;
    QString ClassName;
};

std::vector<TGraphicClass>& GraphicClasses()
{
    static std::vector<TGraphicClass> classes;
    return classes;
}

std::vector<TFileFormat>& FileFormats()
{
    static std::vector<TFileFormat> formats;
    return formats;
}

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

int32_t ReadInt32(TStream& stream)
{
    uchar bytes[4];
    stream.ReadBuffer(bytes, 4);
    return qFromLittleEndian<qint32>(bytes);
}

void WriteInt32(TStream& stream, int32_t value)
{
    uchar bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    stream.WriteBuffer(bytes, 4);
}

QByteArray ReadRest(TStream& stream)
{
    const int64_t left = stream.Size() - stream.Position();
    return left > 0 ? stream.ReadBytes(left) : QByteArray();
}

// A 32-bit byte count and that many bytes; a count beyond the bytes there
// are is refused before anything is read.
QByteArray ReadCounted(TStream& stream, const QString& what)
{
    const int64_t left = stream.Size() - stream.Position();
    if (left < 4)
        throw EInvalidGraphic(QStringLiteral("%1 image is not valid: its size is missing").arg(what));
    const int32_t count = ReadInt32(stream);
    if (count < 0 || count > left - 4)
        throw EInvalidGraphic(QStringLiteral("%1 image is not valid: %2 bytes announced, %3 there")
                                  .arg(what)
                                  .arg(count)
                                  .arg(left - 4));
    return stream.ReadBytes(count);
}

void WriteCounted(TStream& stream, const QByteArray& bytes)
{
    WriteInt32(stream, int32_t(bytes.size()));
    stream.WriteBytes(bytes);
}

QByteArray EncodeImage(const QImage& image, const char* format)
{
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString ShortStringOf(TStream& stream)
{
    uint8_t length = 0;
    stream.ReadBuffer(&length, 1);
    if (length > stream.Size() - stream.Position())
        throw EInvalidGraphic(QStringLiteral("Picture data is not valid: its class name runs past its end"));
    return QString::fromLatin1(stream.ReadBytes(length));
}

std::unique_ptr<TGraphic> BitmapOf(const QImage& image)
{
    auto bitmap = std::make_unique<TStreamedBitmap>();
    bitmap->LoadImage(image);
    return bitmap;
}

} // namespace

QImage DecodeImageBytes(const QByteArray& bytes, const char* format, const QString& what)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (size.isValid() && int64_t(size.width()) * size.height() > kMaxPicturePixels)
        throw EInvalidGraphic(QStringLiteral("%1 image is too large: %2 x %3 pixels, at most %4")
                                  .arg(what)
                                  .arg(size.width())
                                  .arg(size.height())
                                  .arg(kMaxPicturePixels));
    QImage image = reader.read();
    if (image.isNull())
        throw EInvalidGraphic(QStringLiteral("%1 image is not valid").arg(what));
    return image;
}

// ---------------------------------------------------------------------------
// TStreamedBitmap

void TStreamedBitmap::Assign(const TPersistent* source)
{
    TBitmap::Assign(source);
    Changed();
}

void TStreamedBitmap::DefineProperties(TFiler& filer)
{
    filer.DefineBinaryProperty(
        QStringLiteral("Data"), [this](TStream& stream) { ReadData(stream); },
        [this](TStream& stream) { WriteData(stream); }, !Empty());
}

void TStreamedBitmap::LoadFromBmp(const QByteArray& bmp)
{
    LoadImage(bmp.isEmpty() ? QImage() : DecodeImageBytes(bmp, "BMP", QStringLiteral("Bitmap")));
}

QByteArray TStreamedBitmap::SaveToBmp() const
{
    return EncodeImage(ToImage(), "BMP");
}

void TStreamedBitmap::LoadImage(const QImage& image)
{
    LoadFromImage(image);
    Changed();
}

void TStreamedBitmap::Changed()
{
    if (OnChange)
        OnChange();
}

void TStreamedBitmap::ReadData(TStream& stream)
{
    LoadFromBmp(ReadCounted(stream, QStringLiteral("Bitmap")));
}

void TStreamedBitmap::WriteData(TStream& stream) const
{
    WriteCounted(stream, SaveToBmp());
}

// ---------------------------------------------------------------------------
// TPngImage

void TPngImage::Assign(const TPersistent* source)
{
    if (auto* other = dynamic_cast<const TPngImage*>(source)) {
        FBytes = other->FBytes;
        FImage = other->FImage;
        return;
    }
    if (auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        FImage = graphic->ToImage();
        FBytes = EncodeImage(FImage, "PNG");
        return;
    }
    TGraphic::Assign(source);
}

void TPngImage::LoadFromBytes(const QByteArray& png)
{
    FImage = DecodeImageBytes(png, "PNG", QStringLiteral("PNG"));
    FBytes = png;
}

// ---------------------------------------------------------------------------
// The registry of graphic classes

void RegisterGraphicClass(TGraphicClass graphicClass)
{
    for (TGraphicClass& known : GraphicClasses()) {
        if (known.ClassName.compare(graphicClass.ClassName, Qt::CaseInsensitive) == 0) {
            known = std::move(graphicClass);
            return;
        }
    }
    GraphicClasses().push_back(std::move(graphicClass));
}

void RegisterPictureFileFormat(const QString& extension, const QString& description, const QString& className)
{
    const QString ext = extension.toLower();
    for (TFileFormat& format : FileFormats()) {
        if (format.Extension == ext) {
            format = {ext, description, className};
            return;
        }
    }
    FileFormats().push_back({ext, description, className});
}

const TGraphicClass* FindGraphicClass(const QString& className)
{
    for (const TGraphicClass& known : GraphicClasses()) {
        if (known.ClassName.compare(className, Qt::CaseInsensitive) == 0)
            return &known;
    }
    return nullptr;
}

const TGraphicClass* FindGraphicClassOfType(const std::type_info& type)
{
    for (const TGraphicClass& known : GraphicClasses()) {
        if (known.Type && *known.Type == type)
            return &known;
    }
    return nullptr;
}

const TGraphicClass* FindGraphicClassOfExtension(const QString& extension)
{
    const QString ext = extension.toLower();
    for (const TFileFormat& format : FileFormats()) {
        if (format.Extension == ext)
            return FindGraphicClass(format.ClassName);
    }
    return nullptr;
}

void RegisterPictureClasses()
{
    TGraphicClass bitmap;
    bitmap.ClassName = QStringLiteral("TBitmap");
    bitmap.Type = &typeid(TStreamedBitmap);
    bitmap.ReadData = [](TStream& data) -> std::unique_ptr<TGraphic> {
        auto result = std::make_unique<TStreamedBitmap>();
        result->ReadData(data);
        return result;
    };
    bitmap.WriteData = [](const TGraphic& graphic, TStream& data) {
        WriteCounted(data, EncodeImage(graphic.ToImage(), "BMP"));
    };
    bitmap.LoadFile = [](const QByteArray& file) -> std::unique_ptr<TGraphic> {
        auto result = std::make_unique<TStreamedBitmap>();
        result->LoadFromBmp(file);
        return result;
    };
    RegisterGraphicClass(bitmap);

    // PNG data in a picture stream is the PNG file itself; a byte count in
    // front of it is accepted as well.
    TGraphicClass png;
    png.ClassName = QStringLiteral("TPngImage");
    png.Type = &typeid(TPngImage);
    png.ReadData = [](TStream& data) -> std::unique_ptr<TGraphic> {
        QByteArray bytes = ReadRest(data);
        if (!bytes.startsWith(kPngSignature) && bytes.size() >= 4 && bytes.mid(4).startsWith(kPngSignature)) {
            const int32_t count = qFromLittleEndian<qint32>(bytes.constData());
            if (count < 0 || count > bytes.size() - 4)
                throw EInvalidGraphic(QStringLiteral("PNG image is not valid: %1 bytes announced, %2 there")
                                          .arg(count)
                                          .arg(bytes.size() - 4));
            bytes = bytes.mid(4, count);
        }
        auto result = std::make_unique<TPngImage>();
        result->LoadFromBytes(bytes);
        return result;
    };
    png.WriteData = [](const TGraphic& graphic, TStream& data) {
        if (auto* image = dynamic_cast<const TPngImage*>(&graphic); image && !image->Bytes().isEmpty())
            data.WriteBytes(image->Bytes());
        else
            data.WriteBytes(EncodeImage(graphic.ToImage(), "PNG"));
    };
    png.LoadFile = [](const QByteArray& file) -> std::unique_ptr<TGraphic> {
        auto result = std::make_unique<TPngImage>();
        result->LoadFromBytes(file);
        return result;
    };
    RegisterGraphicClass(png);
    // The older name of the same class.
    TGraphicClass pngObject = png;
    pngObject.ClassName = QStringLiteral("TPNGObject");
    pngObject.Type = nullptr;
    RegisterGraphicClass(pngObject);

    RegisterGraphicClass(JpegGraphicClass());

    RegisterPictureFileFormat(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), QStringLiteral("TBitmap"));
    RegisterPictureFileFormat(QStringLiteral("png"), QStringLiteral("Portable Network Graphics"),
                              QStringLiteral("TPngImage"));
    RegisterPictureFileFormat(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"),
                              QStringLiteral("TJPEGImage"));
    RegisterPictureFileFormat(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"),
                              QStringLiteral("TJPEGImage"));
}

std::unique_ptr<TGraphic> CloneGraphic(const TGraphic& graphic)
{
    if (dynamic_cast<const TBitmap*>(&graphic))
        return BitmapOf(graphic.ToImage());
    if (const TGraphicClass* cls = FindGraphicClassOfType(typeid(graphic))) {
        TMemoryStream data;
        cls->WriteData(graphic, data);
        data.SetPosition(0);
        return cls->ReadData(data);
    }
    return BitmapOf(graphic.ToImage());
}

// ---------------------------------------------------------------------------
// TPicture

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    FGraphic = std::move(graphic);
    if (auto* bitmap = dynamic_cast<TStreamedBitmap*>(FGraphic.get()))
        bitmap->OnChange = [this] { Changed(); };
    Changed();
}

TStreamedBitmap* TPicture::Bitmap()
{
    if (auto* bitmap = dynamic_cast<TStreamedBitmap*>(FGraphic.get()))
        return bitmap;
    SetGraphic(std::make_unique<TStreamedBitmap>());
    return static_cast<TStreamedBitmap*>(FGraphic.get());
}

QImage TPicture::ToImage() const
{
    return FGraphic ? FGraphic->ToImage() : QImage();
}

void TPicture::LoadFromFile(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix();
    if (!FindGraphicClassOfExtension(extension))
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromBytes(file.ReadBytes(file.Size()), extension);
}

void TPicture::LoadFromBytes(const QByteArray& bytes, const QString& extension)
{
    const TGraphicClass* cls = FindGraphicClassOfExtension(extension);
    if (!cls || !cls->LoadFile)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    SetGraphic(cls->LoadFile(bytes));
}

void TPicture::Assign(const TPersistent* source)
{
    if (!source) {
        SetGraphic(nullptr);
        return;
    }
    if (auto* picture = dynamic_cast<const TPicture*>(source)) {
        SetGraphic(picture->FGraphic ? CloneGraphic(*picture->FGraphic) : nullptr);
        return;
    }
    if (auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        SetGraphic(CloneGraphic(*graphic));
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::DefineProperties(TFiler& filer)
{
    filer.DefineBinaryProperty(
        QStringLiteral("Data"), [this](TStream& stream) { ReadData(stream); },
        [this](TStream& stream) { WriteData(stream); }, FGraphic != nullptr);
}

void TPicture::Changed()
{
    if (OnChange)
        OnChange();
}

void TPicture::ReadData(TStream& stream)
{
    if (stream.Size() - stream.Position() < 1)
        throw EInvalidGraphic(QStringLiteral("Picture data is empty"));
    const QString className = ShortStringOf(stream);
    if (className.isEmpty()) {
        SetGraphic(nullptr);
        return;
    }
    const TGraphicClass* cls = FindGraphicClass(className);
    if (!cls || !cls->ReadData)
        throw EInvalidGraphic(QStringLiteral("Unknown picture format %1").arg(className));
    SetGraphic(cls->ReadData(stream));
}

void TPicture::WriteData(TStream& stream) const
{
    if (!FGraphic) {
        const uint8_t none = 0;
        stream.WriteBuffer(&none, 1);
        return;
    }
    const TGraphicClass* cls = dynamic_cast<const TBitmap*>(FGraphic.get())
                                   ? FindGraphicClass(QStringLiteral("TBitmap"))
                                   : FindGraphicClassOfType(typeid(*FGraphic));
    if (!cls)
        cls = FindGraphicClass(QStringLiteral("TBitmap"));
    if (!cls)
        throw EInvalidGraphic(QStringLiteral("No picture classes are registered"));
    const QByteArray name = cls->ClassName.toLatin1();
    const uint8_t length = uint8_t(name.size());
    stream.WriteBuffer(&length, 1);
    stream.WriteBytes(name);
    cls->WriteData(*FGraphic, stream);
}
