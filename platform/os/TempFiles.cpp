#include "platform/os/TempFiles.h"

#include "platform/rtl/Exceptions.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int PrefixLength = 3;
constexpr char Suffix[] = ".tmp";

} // namespace

QString TempFolder()
{
    QString folder = QDir::tempPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString CreateTempFile(const QString& folder, const QString& prefix)
{
    QString dir = folder.isEmpty() ? TempFolder() : folder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    QByteArray path = QFile::encodeName(dir + prefix.left(PrefixLength)) + "XXXXXX" + Suffix;
    const int fd = ::mkstemps(path.data(), int(sizeof Suffix - 1));
    if (fd < 0)
        throw EFCreateError(QStringLiteral("Cannot create a temporary file in \"%1\". %2")
                                .arg(dir, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    return QFile::decodeName(path);
}
