#include "app/Upictures.h"

#include "platform/forms/ExtCtrls.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/JpegImage.h"
#include "platform/forms/Picture.h"
#include "platform/os/Modules.h"

bool LoadResourcePicture(TImage* image, const QString& resourceName)
{
    QByteArray bytes;
    if (!image || !FindResourceData(RT_RCDATA, resourceName, bytes))
        return false;
    try {
        image->Picture()->LoadFromBytes(bytes, QStringLiteral("jpg"));
    } catch (const EInvalidGraphic&) {
        return false;
    }
    return true;
}

bool LoadResourceImageList(TImageList* images, const QString& resourceName,
                           const std::function<QImage(const QImage&)>& prepare)
{
    QByteArray bytes;
    if (!images || !FindResourceData(RT_RCDATA, resourceName, bytes))
        return false;
    images->Clear();
    try {
        const QImage strip = TJPEGImage::Decode(bytes);
        images->Add(prepare ? prepare(strip) : strip);
    } catch (const EInvalidGraphic&) {
        images->Clear();
        return false;
    }
    return true;
}
