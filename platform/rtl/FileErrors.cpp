#include "platform/rtl/FileErrors.h"

void AddFileName(Exception& error, const QString& fileName)
{
    const QString line = QLatin1Char('\n') + fileName;
    if (fileName.isEmpty() || error.Message().endsWith(line) || dynamic_cast<EAbort*>(&error))
        return;
    error.SetMessage(error.Message() + line);
}

QString NotAFileReason(const QString& fileName, const QString& end)
{
    if (end.isEmpty() || end == fileName)
        return QStringLiteral("It is not a file.");
    return QStringLiteral("\"%1\" is not a file.").arg(end);
}
