#pragma once
// TJPEGImage: a JPEG picture, decoded with libjpeg (the IJG 6 series API).
// It keeps the file's bytes as read, so that writing it back loses nothing,
// and the decoded image for drawing: greyscale pictures as 8-bit grey, colour
// ones as 24-bit RGB, CMYK ones converted to RGB.
//
// A damaged, truncated or oversized file is refused with EInvalidGraphic
// "JPEG image is not valid: <libjpeg's reason>"; the picture then keeps what
// it held. Libjpeg's warnings about recoverable damage are not shown.
#include "platform/forms/Picture.h"

class TJPEGImage : public TGraphic {
public:
    int Width() const override { return FImage.width(); }
    int Height() const override { return FImage.height(); }
    QImage ToImage() const override { return FImage; }
    bool Grayscale() const { return FImage.format() == QImage::Format_Grayscale8; }
    void Assign(const TPersistent* source) override;

    void LoadFromBytes(const QByteArray& jpeg);
    // The file's bytes as read.
    const QByteArray& Bytes() const { return FBytes; }

    // Decodes a JPEG file without keeping it.
    static QImage Decode(const QByteArray& jpeg);

private:
    QByteArray FBytes;
    QImage FImage;
};

// The graphic class "TJPEGImage": its data in a picture stream is a 32-bit
// byte count and the JPEG file.
TGraphicClass JpegGraphicClass();
