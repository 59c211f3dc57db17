// Pictures: JPEG files made with libjpeg's compress API decode through
// TJPEGImage to the same pixels; pictures, glyphs and image lists keep their
// pixels through form streams; bad data fails with EInvalidGraphic.
#include "tests/platform/forms/ProbeForm.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FuzzLoop.h"

#include "platform/forms/JpegImage.h"
#include "platform/objects/Filer.h"
#include "platform/rtl/Streams.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

extern "C" {
#include <jpeglib.h>
}

namespace {

enum class TJpegKind { Rgb, Grey, Progressive, AdobeCmyk };

// A smooth test picture, as JPEG keeps such pictures well.
QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 96 + (x + y) % 16));
    return image;
}

// The test's own encoder, written with libjpeg's compress API.
QByteArray CompressJpeg(const QImage& source, TJpegKind kind, int quality)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(source.width());
    info.image_height = JDIMENSION(source.height());
    const bool grey = kind == TJpegKind::Grey;
    const bool cmyk = kind == TJpegKind::AdobeCmyk;
    info.input_components = grey ? 1 : cmyk ? 4 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (kind == TJpegKind::Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const QImage pixels = source.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    std::vector<unsigned char> row(size_t(source.width()) * 4);
    while (info.next_scanline < info.image_height) {
        const uchar* line = pixels.constScanLine(int(info.next_scanline));
        if (cmyk) {
            // Adobe's inverted CMYK with no black: the stored values are the
            // RGB values themselves.
            for (int x = 0; x < source.width(); ++x) {
                row[4 * x] = line[3 * x];
                row[4 * x + 1] = line[3 * x + 1];
                row[4 * x + 2] = line[3 * x + 2];
                row[4 * x + 3] = 255;
            }
        } else {
            std::copy(line, line + source.width() * info.input_components, row.begin());
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    jpeg_destroy_compress(&info);
    return bytes;
}

struct TDifference {
    int Max = 0;
    double Mean = 0;
};

TDifference Compare(const QImage& a, const QImage& b)
{
    TDifference d;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    long long sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            for (int diff : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                d.Max = std::max(d.Max, std::abs(diff));
                sum += std::abs(diff);
            }
        }
    }
    d.Mean = double(sum) / (3.0 * x.width() * x.height());
    return d;
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray Int32(int32_t value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(value, bytes.data());
    return bytes;
}

class Pictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbeClasses();
        FPrevious = qInstallMessageHandler(QuietImageWarnings);
    }
    void TearDown() override { qInstallMessageHandler(FPrevious); }

private:
    QtMessageHandler FPrevious = nullptr;
};

TEST_F(Pictures, JpegFromLibjpegsEncoderDecodesToTheSamePixels)
{
    const QImage source = Gradient(64, 48);
    struct Row {
        int No;
        TJpegKind Kind;
        int Quality;
        bool Grey;
        int MaxError; // per channel, after JPEG's loss at that quality
    } rows[] = {
        {1, TJpegKind::Rgb, 95, false, 24},
        {2, TJpegKind::Grey, 100, true, 4},
        {3, TJpegKind::Progressive, 95, false, 24},
        {4, TJpegKind::AdobeCmyk, 95, false, 24},
    };
    for (const Row& row : rows) {
        TJPEGImage jpeg;
        jpeg.LoadFromBytes(CompressJpeg(source, row.Kind, row.Quality));
        EXPECT_EQ(jpeg.Width(), 64) << "row " << row.No;
        EXPECT_EQ(jpeg.Height(), 48) << "row " << row.No;
        EXPECT_EQ(jpeg.Grayscale(), row.Grey) << "row " << row.No;
        const QImage expected = row.Grey ? source.convertToFormat(QImage::Format_Grayscale8) : source;
        const TDifference d = Compare(jpeg.ToImage(), expected);
        EXPECT_LE(d.Max, row.MaxError) << "row " << row.No;
        EXPECT_LT(d.Mean, 2.0) << "row " << row.No;
    }
}

TEST_F(Pictures, BadJpegsFailWithAClearErrorAndChangeNothing)
{
    const QByteArray good = CompressJpeg(Gradient(40, 30), TJpegKind::Rgb, 90);
    QByteArray huge = good;
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    qToBigEndian<quint16>(60000, huge.data() + sof + 5); // height
    qToBigEndian<quint16>(60000, huge.data() + sof + 7); // width
    struct Row {
        int No;
        QByteArray Bytes;
        const char* Message;
    } rows[] = {
        {1, QByteArray(), "JPEG image is not valid: the file is empty"},
        {2, QByteArray("not a jpeg"), "JPEG image is not valid: Not a JPEG file"},
        {3, good.left(good.size() / 2), "JPEG image is not valid: Premature end of input file"},
        {4, QByteArray("\xFF\xD8\xFF\xD9", 4), "JPEG image is not valid"},
        {5, huge, "JPEG image is too large: 60000 x 60000 pixels, at most 16777216"},
        {6, good.left(20), "JPEG image is not valid"},
    };
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(good);
    for (const Row& row : rows) {
        try {
            jpeg.LoadFromBytes(row.Bytes);
            ADD_FAILURE() << "row " << row.No << " decoded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_TRUE(e.Message().startsWith(row.Message))
                << "row " << row.No << ": " << e.Message().toStdString();
        }
        EXPECT_EQ(jpeg.Width(), 40) << "row " << row.No;
        EXPECT_EQ(jpeg.Bytes(), good) << "row " << row.No;
    }
}

TEST_F(Pictures, PicturesAndGlyphsKeepTheirPixelsThroughFormStreams)
{
    const QImage source = Gradient(24, 16);
    const QByteArray jpegBytes = CompressJpeg(source, TJpegKind::Rgb, 90);
    const QByteArray text = "object fProbe: TfProbe\n"
                            "  object imPic: TImage\n  end\n"
                            "  object bGlyph: TBitBtn\n    Kind = bkOK\n  end\n"
                            "end\n";
    struct Row {
        int No;
        const char* Extension;
        QByteArray File;
        const char* ClassName;
    } rows[] = {
        {1, "bmp", Encoded(source, "BMP"), "TStreamedBitmap"},
        {2, "png", Encoded(source, "PNG"), "TPngImage"},
        {3, "jpg", jpegBytes, "TJPEGImage"},
    };
    for (const Row& row : rows) {
        TfProbe original(nullptr, CompiledText(text.constData()));
        auto* image = original.Get<TImage>("imPic");
        image->Picture()->LoadFromBytes(row.File, row.Extension);
        original.Get<TBitBtn>("bGlyph")->Glyph()->LoadImage(source.convertToFormat(QImage::Format_RGB32));

        TfProbe copy(nullptr, WriteComponentToBytes(&original));
        const TPicture* picture = copy.Get<TImage>("imPic")->Picture();
        ASSERT_NE(picture->Graphic(), nullptr) << "row " << row.No;
        EXPECT_NE(QString(typeid(*picture->Graphic()).name()).indexOf(row.ClassName), -1) << "row " << row.No;
        EXPECT_EQ(Compare(picture->ToImage(), image->Picture()->ToImage()).Max, 0) << "row " << row.No;
        if (auto* jpeg = dynamic_cast<const TJPEGImage*>(picture->Graphic())) {
            EXPECT_EQ(jpeg->Bytes(), jpegBytes) << "row " << row.No; // the file itself is kept
        }
        auto* glyph = copy.Get<TBitBtn>("bGlyph");
        EXPECT_EQ(Compare(glyph->Glyph()->ToImage(), source).Max, 0) << "row " << row.No;
        EXPECT_EQ(glyph->ModalResult(), mrOk) << "row " << row.No;
        EXPECT_EQ(glyph->Caption(), "OK") << "row " << row.No;
    }
}

TEST_F(Pictures, BadPictureDataFailsWithAClearError)
{
    QByteArray hugeBmp(54, '\0'); // a BMP header of 10000 x 10000 pixels and no pixels
    hugeBmp[0] = 'B';
    hugeBmp[1] = 'M';
    qToLittleEndian<quint32>(54, hugeBmp.data() + 2);
    qToLittleEndian<quint32>(54, hugeBmp.data() + 10);
    qToLittleEndian<quint32>(40, hugeBmp.data() + 14);
    qToLittleEndian<qint32>(10000, hugeBmp.data() + 18);
    qToLittleEndian<qint32>(10000, hugeBmp.data() + 22);
    qToLittleEndian<quint16>(1, hugeBmp.data() + 26);
    qToLittleEndian<quint16>(24, hugeBmp.data() + 28);
    struct Row {
        int No;
        QByteArray Data;
        const char* Message;
    } rows[] = {
        {1, QByteArray(), "Picture data is empty"},
        {2, QByteArray("\x05TFoo"), "Picture data is not valid: its class name runs past its end"},
        {3, QByteArray("\x04TFoo"), "Unknown picture format TFoo"},
        {4, "\x07TBitmap" + Int32(100) + QByteArray(10, 'x'),
         "Bitmap image is not valid: 100 bytes announced, 10 there"},
        {5, "\x07TBitmap" + Int32(4) + "abcd", "Bitmap image is not valid"},
        {6, "\x07TBitmap" + Int32(54) + hugeBmp, "Bitmap image is too large: 10000 x 10000 pixels"},
        {7, "\x0ATJPEGImage" + Int32(-1), "JPEG image is not valid: -1 bytes announced, 0 there"},
        {8, QByteArray("\x09TPngImage") + "garbage", "PNG image is not valid"},
    };
    for (const Row& row : rows) {
        TPicture picture;
        TMemoryStream stream(row.Data);
        try {
            picture.ReadData(stream);
            ADD_FAILURE() << "row " << row.No << " was read";
        } catch (const EInvalidGraphic& e) {
            EXPECT_TRUE(e.Message().startsWith(row.Message))
                << "row " << row.No << ": " << e.Message().toStdString();
        }
        EXPECT_EQ(picture.Graphic(), nullptr) << "row " << row.No;
    }
    TPicture picture;
    EXPECT_THROW(picture.LoadFromFile("logo.gif"), EInvalidGraphic);

    // A FIFO named as a picture is refused at once, not waited on.
    QTemporaryDir folder;
    const QString fifo = folder.filePath(QStringLiteral("logo.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    EXPECT_EQ(RunInChildWithin(1000,
                               [&] {
                                   try {
                                       picture.LoadFromFile(fifo);
                                   } catch (const EFOpenError& e) {
                                       return e.Message();
                                   }
                                   return QStringLiteral("loaded");
                               })
                  .toStdString(),
              "Cannot open file \"" + fifo.toStdString() + "\". It is not a file.");
}

TEST_F(Pictures, ImageListsKeepTheirPicturesAndTransparency)
{
    TImageList list(nullptr);
    list.SetWidth(8);
    list.SetHeight(6);
    QImage strip(16, 6, QImage::Format_ARGB32); // two pictures side by side
    strip.fill(qRgb(200, 10, 10));
    for (int x = 8; x < 16; ++x)
        strip.setPixel(x, 0, qRgb(10, 200, 10));
    strip.setPixel(3, 3, qRgba(0, 0, 0, 0));
    EXPECT_EQ(list.Add(strip), 0);
    EXPECT_EQ(list.Add(Gradient(8, 6)), 2);
    ASSERT_EQ(list.Count(), 3);

    const QByteArray bytes = list.SaveToBytes();
    // The header: "IL", version 0x0101, 3 pictures in room for 4, grow 4,
    // 8 x 6 pixels.
    EXPECT_EQ(bytes.left(14).toHex(), QByteArray("494c010103000400040008000600"));
    TImageList copy(nullptr);
    copy.LoadFromBytes(bytes);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.Width(), 8);
    EXPECT_EQ(qAlpha(copy.Image(0).pixel(3, 3)), 0);
    EXPECT_EQ(copy.Image(0).pixel(0, 0), qRgb(200, 10, 10));
    EXPECT_EQ(copy.Image(1).pixel(0, 0), qRgb(10, 200, 10));
    EXPECT_EQ(Compare(copy.Image(2), Gradient(8, 6)).Max, 0);

    TBitmap glyph;
    EXPECT_TRUE(copy.GetBitmap(1, &glyph));
    EXPECT_EQ(glyph.Width(), 8);
    EXPECT_FALSE(copy.GetBitmap(3, &glyph));
    EXPECT_THROW(copy.Image(3), EListError);
}

TEST_F(Pictures, BadImageListsFailWithAClearErrorAndChangeNothing)
{
    TImageList source(nullptr);
    source.SetWidth(4);
    source.SetHeight(4);
    source.Add(Gradient(8, 4));
    const QByteArray good = source.SaveToBytes();
    auto patched = [&good](int offset, quint16 value) {
        QByteArray bytes = good;
        qToLittleEndian<quint16>(value, bytes.data() + offset);
        return bytes;
    };
    struct Row {
        int No;
        QByteArray Bytes;
        const char* Message;
    } rows[] = {
        {1, good.left(10), "Image list is not valid: 10 bytes, the header alone takes 28"},
        {2, patched(0, 0x4D42), "Image list is not valid: the signature \"IL\" is missing"},
        {3, patched(2, 0x0600), "Image list is not valid: version 0x0600 is not 0x0101"},
        {4, patched(10, 0), "Image list is not valid: pictures of 0 x 4 pixels"},
        {5, patched(4, 9), "Image list is not valid: 9 pictures in room for 4"},
        {6, patched(10, 400), "Image list is not valid: 2 pictures of 400 x 4 do not fit"},
        {7, good.left(50), "Image list is not valid: the picture bitmap claims"},
        {8, good.left(28), "Image list is not valid: the picture bitmap is missing"},
    };
    for (const Row& row : rows) {
        TImageList list(nullptr);
        list.Add(Gradient(16, 16));
        try {
            list.LoadFromBytes(row.Bytes);
            ADD_FAILURE() << "row " << row.No << " was read";
        } catch (const EInvalidGraphic& e) {
            EXPECT_TRUE(e.Message().startsWith(row.Message))
                << "row " << row.No << ": " << e.Message().toStdString();
        }
        EXPECT_EQ(list.Count(), 1) << "row " << row.No;
    }
}

TEST_F(Pictures, FuzzedJpegsPicturesAndImageListsFailCleanly)
{
    const QImage source = Gradient(16, 16);
    const FuzzStats jpeg = RunFuzzLoop([](const QByteArray& bytes) { TJPEGImage::Decode(bytes); },
                                       {CompressJpeg(source, TJpegKind::Rgb, 80),
                                        CompressJpeg(source, TJpegKind::Progressive, 80),
                                        CompressJpeg(source, TJpegKind::AdobeCmyk, 80)},
                                       2.0);
    EXPECT_GT(jpeg.rejected, 0);

    TImageList list(nullptr);
    list.SetWidth(4);
    list.SetHeight(4);
    list.Add(source);
    const FuzzStats images = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TImageList target(nullptr);
            target.LoadFromBytes(bytes);
        },
        {list.SaveToBytes()}, 1.0);
    EXPECT_GT(images.rejected, 0);

    std::vector<QByteArray> seeds;
    for (const char* extension : {"bmp", "png", "jpg"}) {
        TPicture picture;
        const QByteArray file = QByteArray(extension) == "jpg" ? CompressJpeg(source, TJpegKind::Rgb, 80)
                                                               : Encoded(source, extension);
        picture.LoadFromBytes(file, extension);
        TMemoryStream data;
        picture.WriteData(data);
        seeds.push_back(data.Bytes());
    }
    const FuzzStats pictures = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TPicture picture;
            TMemoryStream stream(bytes);
            picture.ReadData(stream);
        },
        seeds, 1.0);
    EXPECT_GT(pictures.rejected, 0);
}

} // namespace
