#include "platform/os/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString& Override()
{
    static QString fileName;
    return fileName;
}

} // namespace

QString ProgramFileName()
{
    return Override().isEmpty() ? QCoreApplication::applicationFilePath() : Override();
}

QString ProgramFolder()
{
    return QFileInfo(ProgramFileName()).absolutePath();
}

QString ProgramBaseName()
{
    return QFileInfo(ProgramFileName()).completeBaseName();
}

void SetProgramFileName(const QString& fileName)
{
    Override() = fileName.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

QString FindFileNoCase(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (info.exists())
        return fileName;
    const QDir folder = info.absoluteDir();
    const QStringList names = folder.entryList({info.fileName()}, QDir::Files | QDir::Hidden | QDir::CaseSensitive);
    if (!names.isEmpty())
        return folder.filePath(names.front());
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return folder.filePath(name);
    return fileName;
}
