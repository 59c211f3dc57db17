#include "platform/rtl/SafeSave.h"

#include "platform/rtl/Streams_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString SaveMessage(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason);
}

// Creates a new, empty file beside target; O_EXCL so that a name another
// process picked at the same moment is never shared.
int CreateTemporary(const QString& folder, const QString& name, QByteArray& temp)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QString candidate = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp").arg(name).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        temp = QFile::encodeName(candidate);
        const int handle = ::open(temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0 || errno != EEXIST)
            return handle;
    }
    errno = EEXIST;
    return -1;
}

// The folder is flushed so that the rename itself survives a power cut; a
// file system that cannot flush a folder (EINVAL) has nothing more to do.
void SyncFolder(const QByteArray& target)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
    const int handle = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    ::fsync(handle);
    ::close(handle);
}

} // namespace

void SaveBytesToFile(const QString& fileName, const QByteArray& bytes)
{
    TSafeFileStream file(fileName);
    file.Write(bytes.constData(), bytes.size());
    file.Commit();
}

TSafeFileStream::TSafeFileStream(const QString& fileName) : FFileName(fileName)
{
    QFileInfo info(fileName);
    if (fileName.isEmpty())
        throw EFileSaveError(SaveMessage(fileName, QStringLiteral("The file name is empty.")));
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    if (!info.absoluteDir().exists())
        throw EFileSaveError(SaveMessage(
            fileName, QStringLiteral("The folder \"%1\" does not exist.").arg(info.absolutePath())));
    FTarget = QFile::encodeName(info.absoluteFilePath());
    struct stat old {};
    const bool exists = ::stat(FTarget.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EISDIR)));
    // As the platform's own file layer, a read-only file is not replaced.
    if (exists && ::access(FTarget.constData(), W_OK) != 0)
        throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
    FHandle = CreateTemporary(info.absolutePath(), info.fileName(), FTemp);
    if (FHandle < 0) {
        const int error = errno;
        FTemp.clear();
        throw EFileSaveError(SaveMessage(fileName, SystemReason(error)));
    }
    if (exists)
        ::fchmod(FHandle, old.st_mode & 07777);
}

TSafeFileStream::~TSafeFileStream()
{
    if (!FCommitted)
        Discard();
}

int64_t TSafeFileStream::Read(void* buffer, int64_t count)
{
    if (FHandle < 0)
        return 0;
    return ReadHandleFully(FHandle, buffer, count);
}

int64_t TSafeFileStream::Write(const void* buffer, int64_t count)
{
    if (FFailed || FCommitted || FHandle < 0)
        throw EFileSaveError(SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
    int error = 0;
    const int64_t done = WriteHandleFully(FHandle, buffer, count, error);
    if (done < count)
        Fail(SystemReason(error));
    return done;
}

int64_t TSafeFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (FHandle < 0)
        return -1;
    return SeekHandle(FHandle, offset, origin);
}

void TSafeFileStream::SetSize(int64_t size)
{
    if (FFailed || FCommitted || FHandle < 0)
        throw EFileSaveError(SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
    const int64_t position = Position();
    if (::ftruncate(FHandle, off_t(size)) != 0)
        Fail(SystemReason(errno));
    if (position > size)
        Seek(size, TSeekOrigin::soBeginning);
}

void TSafeFileStream::Commit()
{
    if (FFailed || FCommitted || FHandle < 0)
        throw EFileSaveError(SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
    // Delayed allocation can report a full disk only here, at the flush or
    // at the close: both are checked before the old file is given up.
    if (::fsync(FHandle) != 0)
        Fail(SystemReason(errno));
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0)
        Fail(SystemReason(errno));
    if (::rename(FTemp.constData(), FTarget.constData()) != 0)
        Fail(SystemReason(errno));
    FCommitted = true;
    SyncFolder(FTarget);
}

void TSafeFileStream::Fail(const QString& reason)
{
    FFailed = true;
    Discard();
    throw EFileSaveError(SaveMessage(FFileName, reason));
}

void TSafeFileStream::Discard()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    if (!FTemp.isEmpty()) {
        ::unlink(FTemp.constData());
        FTemp.clear();
    }
}
