#pragma once
// A snapshot played back onto a white letter page (8.5 x 11 inches) by the
// canvas render target, at 100 pixels an inch unless told.
#include "report/print/QpRenderCanvas.h"

#include "platform/rtl/Streams.h"

#include <QImage>

inline QImage PlayOnLetterPage(const QByteArray& snapshot, int dpi = 100)
{
    QImage image(int(8.5 * dpi), 11 * dpi, QImage::Format_RGB32);
    image.fill(Qt::white);
    TZvRenderCanvas canvas(nullptr);
    canvas.SetPaintDevice(&image, dpi, dpi);
    TMemoryStream stream(snapshot);
    canvas.Render(&stream);
    return image;
}
