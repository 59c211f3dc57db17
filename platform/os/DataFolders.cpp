#include "platform/os/DataFolders.h"

#include <QStandardPaths>

QString ProgramDataRoot()
{
    QString root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    return root;
}

QString MapWindowsPath(const QString& windowsPath)
{
    static const QString prefix = QStringLiteral("c:/programdata");
    QString path = windowsPath;
    path.replace(u'\\', u'/');
    if (path.startsWith(prefix, Qt::CaseInsensitive) &&
        (path.size() == prefix.size() || path.at(prefix.size()) == u'/'))
        return ProgramDataRoot() + path.mid(prefix.size());
    return path;
}
