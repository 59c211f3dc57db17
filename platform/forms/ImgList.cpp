#include "platform/forms/ImgList.h"

#include "platform/forms/Picture.h"
#include "platform/objects/Filer.h"
#include "platform/rtl/Streams.h"

#include <QBuffer>
#include <QPainter>
#include <QtEndian>

#include <algorithm>

namespace {

// The common controls' image-list stream.
constexpr uint16_t kListSignature = 0x4C49; // "IL"
constexpr uint16_t kListVersion = 0x0101;
constexpr int kHeaderSize = 28; // in bytes
constexpr int kTilesPerRow = 4;
constexpr uint16_t ILC_MASK = 0x0001;
constexpr uint16_t ILC_COLOR24 = 0x0018;
constexpr int kBmpFileHeaderSize = 14;    // in bytes
constexpr uint32_t kClrNone = 0xFFFFFFFF; // the stream's "no background"
constexpr uint32_t kClrDefault = 0xFF000000;

struct TListHeader {
    uint16_t Count = 0;
    uint16_t Capacity = 0;
    uint16_t Grow = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint32_t BkColor = kClrNone;
    uint16_t Flags = 0;
};

[[noreturn]] void Refuse(const QString& reason)
{
    throw EInvalidGraphic(QStringLiteral("Image list is not valid: %1").arg(reason));
}

// One BMP file at the offset: its length is read from its own header and
// must lie within the bytes.
QImage ReadBmp(const QByteArray& bytes, qsizetype& offset, const QString& what)
{
    if (bytes.size() - offset < kBmpFileHeaderSize)
        Refuse(QStringLiteral("the %1 is missing").arg(what));
    const char* at = bytes.constData() + offset;
    if (at[0] != 'B' || at[1] != 'M')
        Refuse(QStringLiteral("the %1 is no BMP file").arg(what));
    const uint32_t size = qFromLittleEndian<quint32>(at + 2);
    if (size < uint32_t(kBmpFileHeaderSize) || size > uint64_t(bytes.size() - offset))
        Refuse(QStringLiteral("the %1 claims %2 bytes, %3 there")
                   .arg(what)
                   .arg(size)
                   .arg(bytes.size() - offset));
    const QImage image = DecodeImageBytes(bytes.mid(offset, qsizetype(size)), "BMP", what);
    offset += qsizetype(size);
    return image;
}

QByteArray WriteBmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

} // namespace

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}

TImageList::~TImageList() = default;

void TImageList::SetWidth(int width)
{
    width = std::clamp(width, 1, 32767);
    if (width == FWidth)
        return;
    FWidth = width;
    Clear();
}

void TImageList::SetHeight(int height)
{
    height = std::clamp(height, 1, 32767);
    if (height == FHeight)
        return;
    FHeight = height;
    Clear();
}

int TImageList::Add(const QImage& image)
{
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return -1;
    const int first = Count();
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    const int slices = std::max(1, source.width() / FWidth);
    for (int i = 0; i < slices; ++i) {
        QImage slice = source.width() >= FWidth
                           ? source.copy(i * FWidth, 0, FWidth, std::min(FHeight, source.height()))
                           : source;
        if (slice.width() != FWidth || slice.height() != FHeight)
            slice = slice.scaled(FWidth, FHeight);
        FImages.push_back(slice);
    }
    Changed();
    return first;
}

void TImageList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    FImages.erase(FImages.begin() + index);
    Changed();
}

void TImageList::Clear()
{
    if (FImages.empty())
        return;
    FImages.clear();
    Changed();
}

QImage TImageList::Image(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FImages[size_t(index)];
}

bool TImageList::GetBitmap(int index, TBitmap* bitmap) const
{
    if (!bitmap || index < 0 || index >= Count())
        return false;
    // Transparent pixels take the button face colour, as a glyph's
    // background; its bottom-left pixel then marks them.
    QImage opaque(FWidth, FHeight, QImage::Format_RGB32);
    opaque.fill(ToQColor(clBtnFace));
    QPainter painter(&opaque);
    painter.drawImage(0, 0, FImages[size_t(index)]);
    painter.end();
    if (auto* streamed = dynamic_cast<TStreamedBitmap*>(bitmap))
        streamed->LoadImage(opaque);
    else
        bitmap->LoadFromImage(opaque);
    return true;
}

void TImageList::DefineProperties(TFiler& filer)
{
    filer.DefineBinaryProperty(
        QStringLiteral("Bitmap"),
        [this](TStream& stream) { LoadFromBytes(stream.ReadBytes(stream.Size() - stream.Position())); },
        [this](TStream& stream) { stream.WriteBytes(SaveToBytes()); }, Count() > 0);
}

QByteArray TImageList::SaveToBytes() const
{
    const int count = Count();
    const int rows = std::max(1, (count + kTilesPerRow - 1) / kTilesPerRow);
    QImage tiles(FWidth * kTilesPerRow, FHeight * rows, QImage::Format_RGB32);
    tiles.fill(Qt::black);
    QImage mask(tiles.size(), QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(0);
    for (int i = 0; i < count; ++i) {
        const int left = (i % kTilesPerRow) * FWidth;
        const int top = (i / kTilesPerRow) * FHeight;
        const QImage& picture = FImages[size_t(i)];
        for (int y = 0; y < FHeight; ++y) {
            for (int x = 0; x < FWidth; ++x) {
                const QRgb pixel = picture.pixel(x, y);
                if (qAlpha(pixel) < 128) {
                    mask.setPixel(left + x, top + y, 1);
                } else {
                    tiles.setPixel(left + x, top + y, pixel | 0xFF000000u);
                }
            }
        }
    }
    QByteArray bytes(kHeaderSize, '\0');
    uchar* header = reinterpret_cast<uchar*>(bytes.data());
    qToLittleEndian<quint16>(kListSignature, header);
    qToLittleEndian<quint16>(kListVersion, header + 2);
    qToLittleEndian<quint16>(quint16(count), header + 4);
    qToLittleEndian<quint16>(quint16(rows * kTilesPerRow), header + 6);
    qToLittleEndian<quint16>(quint16(FAllocBy), header + 8);
    qToLittleEndian<quint16>(quint16(FWidth), header + 10);
    qToLittleEndian<quint16>(quint16(FHeight), header + 12);
    qToLittleEndian<quint32>(FBkColor == clNone ? kClrNone : ColorToRGB(FBkColor), header + 14);
    qToLittleEndian<quint16>(quint16(ILC_COLOR24 | ILC_MASK), header + 18);
    for (int i = 0; i < 4; ++i)
        qToLittleEndian<qint16>(-1, header + 20 + 2 * i);
    bytes += WriteBmp(tiles);
    bytes += WriteBmp(mask);
    return bytes;
}

void TImageList::LoadFromBytes(const QByteArray& bytes)
{
    if (bytes.size() < kHeaderSize)
        Refuse(QStringLiteral("%1 bytes, the header alone takes %2").arg(bytes.size()).arg(kHeaderSize));
    const char* at = bytes.constData();
    if (qFromLittleEndian<quint16>(at) != kListSignature)
        Refuse(QStringLiteral("the signature \"IL\" is missing"));
    const uint16_t version = qFromLittleEndian<quint16>(at + 2);
    if (version != kListVersion)
        Refuse(QStringLiteral("version 0x%1 is not 0x0101").arg(version, 4, 16, QLatin1Char('0')));
    TListHeader header;
    header.Count = qFromLittleEndian<quint16>(at + 4);
    header.Capacity = qFromLittleEndian<quint16>(at + 6);
    header.Grow = qFromLittleEndian<quint16>(at + 8);
    header.Width = qFromLittleEndian<quint16>(at + 10);
    header.Height = qFromLittleEndian<quint16>(at + 12);
    header.BkColor = qFromLittleEndian<quint32>(at + 14);
    header.Flags = qFromLittleEndian<quint16>(at + 18);
    if (header.Width == 0 || header.Height == 0)
        Refuse(QStringLiteral("pictures of %1 x %2 pixels").arg(header.Width).arg(header.Height));
    if (header.Count > header.Capacity && header.Capacity != 0)
        Refuse(QStringLiteral("%1 pictures in room for %2").arg(header.Count).arg(header.Capacity));

    qsizetype offset = kHeaderSize;
    const QImage tiles =
        ReadBmp(bytes, offset, QStringLiteral("picture bitmap")).convertToFormat(QImage::Format_RGB32);
    QImage mask;
    if (header.Flags & ILC_MASK)
        mask = ReadBmp(bytes, offset, QStringLiteral("mask bitmap"));
    const int rows = (header.Count + kTilesPerRow - 1) / kTilesPerRow;
    const int needWidth = header.Count > 0 ? header.Width * std::min<int>(header.Count, kTilesPerRow) : 0;
    const int needHeight = header.Height * rows;
    if (tiles.width() < needWidth || tiles.height() < needHeight)
        Refuse(QStringLiteral("%1 pictures of %2 x %3 do not fit a bitmap of %4 x %5")
                   .arg(header.Count)
                   .arg(header.Width)
                   .arg(header.Height)
                   .arg(tiles.width())
                   .arg(tiles.height()));
    if (!mask.isNull() && (mask.width() < needWidth || mask.height() < needHeight))
        Refuse(QStringLiteral("the mask bitmap is smaller than the pictures"));

    std::vector<QImage> images;
    images.reserve(header.Count);
    for (int i = 0; i < header.Count; ++i) {
        const int left = (i % kTilesPerRow) * header.Width;
        const int top = (i / kTilesPerRow) * header.Height;
        QImage picture =
            tiles.copy(left, top, header.Width, header.Height).convertToFormat(QImage::Format_ARGB32);
        if (!mask.isNull()) {
            for (int y = 0; y < header.Height; ++y) {
                for (int x = 0; x < header.Width; ++x) {
                    if (qGray(mask.pixel(left + x, top + y)) >= 128)
                        picture.setPixel(x, y, 0);
                }
            }
        }
        images.push_back(picture);
    }
    FWidth = header.Width;
    FHeight = header.Height;
    FAllocBy = std::max<int>(header.Grow, 1);
    FBkColor = header.BkColor == kClrNone      ? clNone
               : header.BkColor == kClrDefault ? clDefault
                                               : TColor(header.BkColor & 0xFFFFFF);
    FMasked = (header.Flags & ILC_MASK) != 0;
    FImages = std::move(images);
    Changed();
}

void TImageList::Changed()
{
    if (OnChange)
        OnChange();
}
