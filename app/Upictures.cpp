#include "app/Upictures.h"

#include "platform/forms/ExtCtrls.h"
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
