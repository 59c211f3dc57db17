#include "platform/forms/JpegImage.h"

#include "platform/rtl/Streams.h"

#include <QtEndian>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

// Memory libjpeg may take for one picture (coefficient buffers of
// progressive files included); beyond it decoding fails instead of growing.
constexpr long kMaxDecoderMemory = 256L * 1024 * 1024; // in bytes

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to the setjmp of the decoding step that is running.
// Between each setjmp and its longjmp only C frames and trivially
// destructible data live, so the jump skips no destructor.
struct TJpegErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info)
{
    auto* error = reinterpret_cast<TJpegErrorManager*>(info->err);
    (*info->err->format_message)(info, error->Message);
    std::longjmp(error->Jump, 1);
}

void OutputMessage(j_common_ptr) {}

// The source is the whole file in memory: when libjpeg asks for more, the
// file ended too early.
void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    ERREXIT(info, JERR_INPUT_EOF);
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    if (size_t(count) > source->bytes_in_buffer)
        ERREXIT(info, JERR_INPUT_EOF);
    source->next_input_byte += count;
    source->bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

struct TJpegDecoder {
    jpeg_decompress_struct Info;
    TJpegErrorManager Error;
    jpeg_source_mgr Source;
    bool Created;
};

// Step 1: the header. False on error (the reason in Error.Message).
bool ReadHeader(TJpegDecoder& d, const unsigned char* data, size_t size)
{
    d.Info.err = jpeg_std_error(&d.Error.Public);
    d.Error.Public.error_exit = ErrorExit;
    d.Error.Public.output_message = OutputMessage;
    if (setjmp(d.Error.Jump))
        return false;
    jpeg_create_decompress(&d.Info);
    d.Created = true;
    d.Info.mem->max_memory_to_use = kMaxDecoderMemory;
    d.Source.next_input_byte = data;
    d.Source.bytes_in_buffer = size;
    d.Source.init_source = InitSource;
    d.Source.fill_input_buffer = FillInputBuffer;
    d.Source.skip_input_data = SkipInputData;
    d.Source.resync_to_restart = jpeg_resync_to_restart;
    d.Source.term_source = TermSource;
    d.Info.src = &d.Source;
    jpeg_read_header(&d.Info, TRUE);
    switch (d.Info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.Info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        d.Info.out_color_space = JCS_CMYK;
        break;
    default:
        d.Info.out_color_space = JCS_RGB;
        break;
    }
    return true;
}

// Step 2: the decompressor with its buffers.
bool StartDecompress(TJpegDecoder& d)
{
    if (setjmp(d.Error.Jump))
        return false;
    jpeg_start_decompress(&d.Info);
    return true;
}

// Step 3: the rows, into an image of output_height rows of bytesPerLine
// bytes (grey: 1 byte a pixel, else 3). CMYK rows pass through rowBuffer
// (4 bytes a pixel) and are converted; Adobe files store CMYK inverted.
bool ReadRows(TJpegDecoder& d, unsigned char* bits, size_t bytesPerLine, unsigned char* rowBuffer)
{
    if (setjmp(d.Error.Jump))
        return false;
    const bool cmyk = d.Info.out_color_space == JCS_CMYK;
    const bool inverted = d.Info.saw_Adobe_marker;
    while (d.Info.output_scanline < d.Info.output_height) {
        unsigned char* line = bits + size_t(d.Info.output_scanline) * bytesPerLine;
        JSAMPROW row = cmyk ? rowBuffer : line;
        if (jpeg_read_scanlines(&d.Info, &row, 1) != 1)
            ERREXIT(&d.Info, JERR_INPUT_EOF);
        if (cmyk) {
            for (JDIMENSION x = 0; x < d.Info.output_width; ++x) {
                unsigned c = rowBuffer[4 * x];
                unsigned m = rowBuffer[4 * x + 1];
                unsigned y = rowBuffer[4 * x + 2];
                unsigned k = rowBuffer[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    y = 255 - y;
                    k = 255 - k;
                }
                line[3 * x] = (unsigned char)(c * k / 255);
                line[3 * x + 1] = (unsigned char)(m * k / 255);
                line[3 * x + 2] = (unsigned char)(y * k / 255);
            }
        }
    }
    // The end marker is not waited for: a file that stops right after its
    // last scan has given every pixel.
    return true;
}

void DestroyDecoder(TJpegDecoder& d)
{
    if (d.Created)
        jpeg_destroy_decompress(&d.Info);
    d.Created = false;
}

[[noreturn]] void Refuse(const QString& reason)
{
    throw EInvalidGraphic(QStringLiteral("JPEG image is not valid: %1").arg(reason));
}

} // namespace

QImage TJPEGImage::Decode(const QByteArray& jpeg)
{
    if (jpeg.isEmpty())
        Refuse(QStringLiteral("the file is empty"));
    TJpegDecoder decoder;
    std::memset(&decoder, 0, sizeof decoder);
    auto failure = [&decoder] {
        const QString reason = QString::fromLocal8Bit(decoder.Error.Message);
        DestroyDecoder(decoder);
        Refuse(reason);
    };
    if (!ReadHeader(decoder, reinterpret_cast<const unsigned char*>(jpeg.constData()), size_t(jpeg.size())))
        failure();
    const int64_t pixels = int64_t(decoder.Info.image_width) * decoder.Info.image_height;
    if (pixels > kMaxPicturePixels) {
        const QString size =
            QStringLiteral("%1 x %2").arg(decoder.Info.image_width).arg(decoder.Info.image_height);
        DestroyDecoder(decoder);
        throw EInvalidGraphic(QStringLiteral("JPEG image is too large: %1 pixels, at most %2")
                                  .arg(size)
                                  .arg(kMaxPicturePixels));
    }
    if (!StartDecompress(decoder))
        failure();
    const bool grey = decoder.Info.out_color_space == JCS_GRAYSCALE;
    QImage image(int(decoder.Info.output_width), int(decoder.Info.output_height),
                 grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) {
        DestroyDecoder(decoder);
        throw EInvalidGraphic(QStringLiteral("JPEG image is too large to decode"));
    }
    QByteArray rowBuffer(qsizetype(decoder.Info.output_width) * 4, '\0');
    if (!ReadRows(decoder, image.bits(), size_t(image.bytesPerLine()),
                  reinterpret_cast<unsigned char*>(rowBuffer.data())))
        failure();
    DestroyDecoder(decoder);
    return image;
}

void TJPEGImage::LoadFromBytes(const QByteArray& jpeg)
{
    QImage image = Decode(jpeg);
    FBytes = jpeg;
    FImage = std::move(image);
}

void TJPEGImage::Assign(const TPersistent* source)
{
    if (auto* other = dynamic_cast<const TJPEGImage*>(source)) {
        FBytes = other->FBytes;
        FImage = other->FImage;
        return;
    }
    TGraphic::Assign(source);
}

TGraphicClass JpegGraphicClass()
{
    TGraphicClass jpeg;
    jpeg.ClassName = QStringLiteral("TJPEGImage");
    jpeg.Type = &typeid(TJPEGImage);
    jpeg.ReadData = [](TStream& data) -> std::unique_ptr<TGraphic> {
        const int64_t left = data.Size() - data.Position();
        if (left < 4)
            Refuse(QStringLiteral("its size is missing"));
        uchar count[4];
        data.ReadBuffer(count, 4);
        const int32_t size = qFromLittleEndian<qint32>(count);
        if (size < 0 || size > left - 4)
            Refuse(QStringLiteral("%1 bytes announced, %2 there").arg(size).arg(left - 4));
        auto image = std::make_unique<TJPEGImage>();
        image->LoadFromBytes(data.ReadBytes(size));
        return image;
    };
    jpeg.WriteData = [](const TGraphic& graphic, TStream& data) {
        auto* image = dynamic_cast<const TJPEGImage*>(&graphic);
        const QByteArray bytes = image ? image->Bytes() : QByteArray();
        uchar count[4];
        qToLittleEndian<qint32>(qint32(bytes.size()), count);
        data.WriteBuffer(count, 4);
        data.WriteBytes(bytes);
    };
    jpeg.LoadFile = [](const QByteArray& file) -> std::unique_ptr<TGraphic> {
        auto image = std::make_unique<TJPEGImage>();
        image->LoadFromBytes(file);
        return image;
    };
    return jpeg;
}
