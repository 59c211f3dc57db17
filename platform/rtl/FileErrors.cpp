#include "platform/rtl/FileErrors.h"

void AddFileName(Exception& error, const QString& fileName)
{
    const QString line = QLatin1Char('\n') + fileName;
    if (fileName.isEmpty() || error.Message().endsWith(line) || dynamic_cast<EAbort*>(&error))
        return;
    error.SetMessage(error.Message() + line);
}
