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
