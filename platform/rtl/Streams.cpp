#include "platform/rtl/Streams.h"
#include "platform/rtl/Streams_p.h"

#include "platform/rtl/FileErrors.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/SharedFolders.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

TStream::~TStream() = default;

int64_t TStream::Position()
{
    return Seek(0, TSeekOrigin::soCurrent);
}

void TStream::SetPosition(int64_t position)
{
    Seek(position, TSeekOrigin::soBeginning);
}

int64_t TStream::Size()
{
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(int64_t)
{
    // Streams of fixed size ignore it, as the runtime's base stream does.
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count < 0 || (count != 0 && Read(buffer, count) != count))
        throw EReadError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count < 0 || (count != 0 && Write(buffer, count) != count))
        throw EWriteError(QStringLiteral("Stream write error"));
}

QByteArray TStream::ReadBytes(int64_t count)
{
    if (count < 0 || count > Size() - Position())
        throw EReadError(QStringLiteral("Stream read error"));
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    ReadBuffer(bytes.data(), count);
    return bytes;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const int64_t total = count;
    char buffer[61440];
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, sizeof buffer);
        source.ReadBuffer(buffer, n);
        WriteBuffer(buffer, n);
        count -= n;
    }
    return total;
}

// --- memory streams ---------------------------------------------------------

namespace {

// A memory stream never grows past what a QByteArray can hold; sizes read
// from a damaged file fail as a stream error instead of an allocation abort.
constexpr int64_t kMaxMemoryStreamSize = int64_t(1) << 31;

bool Grow(QByteArray& data, int64_t size)
{
    try {
        data.resize(qsizetype(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition < 0 || FPosition >= FData.size())
        return 0;
    const int64_t n = std::min<int64_t>(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.constData() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    // Offsets come from files; a sum that overflows leaves the position
    // where it was instead of wrapping.
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = FPosition;
    else if (origin == TSeekOrigin::soEnd)
        base = FData.size();
    int64_t target = 0;
    if (!__builtin_add_overflow(base, offset, &target))
        FPosition = target;
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& stream) const
{
    stream.WriteBuffer(FData.constData(), FData.size());
}

void TCustomMemoryStream::SaveToFile(const QString& fileName) const
{
    SaveBytesToFile(fileName, FData);
}

TMemoryStream::TMemoryStream(const QByteArray& bytes)
{
    FData = bytes;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    int64_t end = 0;
    if (count <= 0 || FPosition < 0 || __builtin_add_overflow(FPosition, count, &end) ||
        end > kMaxMemoryStreamSize)
        return 0;
    if (end > FData.size()) {
        // A write after a seek past the end leaves a gap: it reads as zeros.
        const qsizetype old = FData.size();
        if (!Grow(FData, end))
            return 0;
        if (FPosition > old)
            std::memset(FData.data() + old, 0, size_t(FPosition - old));
    }
    std::memcpy(FData.data() + FPosition, buffer, size_t(count));
    FPosition = end;
    return count;
}

void TMemoryStream::SetSize(int64_t size)
{
    if (size < 0)
        size = 0;
    const qsizetype old = FData.size();
    if (size > kMaxMemoryStreamSize || !Grow(FData, size))
        throw EStreamError(QStringLiteral("Out of memory while expanding memory stream"));
    if (FData.size() > old)
        std::memset(FData.data() + old, 0, size_t(FData.size() - old));
    if (FPosition > size)
        FPosition = size;
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    stream.ReadBuffer(bytes.data(), size);
    FData = bytes;
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

// --- file stream -------------------------------------------------------------

TFileStream::TFileStream(const QString& fileName, uint16_t mode) : FFileName(fileName)
{
    const bool create = (mode & fmCreate) == fmCreate;
    int flags = O_RDONLY;
    if (create)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    else if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    FHandle = OpenRegularFile(fileName, flags, 0644);
    if (FHandle >= 0)
        return;
    const QString reason =
        errno == ENXIO ? OpenFailureReason(fileName, ENXIO) : QString::fromLocal8Bit(std::strerror(errno));
    if (create)
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason));
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, reason));
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    return ReadHandleFully(FHandle, buffer, count);
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    int error = 0;
    return WriteHandleFully(FHandle, buffer, count, error);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    return SeekHandle(FHandle, offset, origin);
}

void TFileStream::SetSize(int64_t size)
{
    const int64_t position = Position();
    if (::ftruncate(FHandle, off_t(size)) != 0)
        throw EStreamError(QStringLiteral("Stream write error"));
    if (position > size)
        Seek(size, TSeekOrigin::soBeginning);
}

int OpenRegularFile(const QString& fileName, int flags, mode_t mode)
{
    return OpenRegularPath(QFile::encodeName(fileName), flags, mode);
}

int OpenRegularForReading(QFile& file, const QString& fileName)
{
    const int handle = OpenRegularFile(fileName, O_RDONLY);
    if (handle < 0)
        return errno;
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return EBADF;
    }
    return 0;
}

QString OpenFailureReason(const QString& fileName, int error)
{
    if (error == ENXIO) {
        const QFileInfo info(fileName);
        return NotAFileReason(fileName, info.isSymLink() ? info.canonicalFilePath() : QString());
    }
    if (error == EISDIR)
        return QCoreApplication::translate("QIODevice", "file to open is a directory");
    return qt_error_string(error);
}

QString AddNotAFileReason(const QString& message, const QString& fileName, int error)
{
    return error == ENXIO ? message + QStringLiteral(". ") + OpenFailureReason(fileName, error) : message;
}

QByteArray ReadRegularFile(const QString& fileName)
{
    QFile file;
    if (const int error = OpenRegularForReading(file, fileName))
        throw EFOpenError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, OpenFailureReason(fileName, error)));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    return bytes;
}

namespace {

int NotRegularError(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
}

// Why the file whose state is st, found at path, is not opened with flags
// (0 where it is): what is no regular file never is; an open that may
// create refuses an existing file with O_EXCL (EEXIST) and one that the
// guard for shared folders keeps (CreateRefusal).
int Refusal(const QByteArray& path, const struct stat& st, int flags)
{
    if (!S_ISREG(st.st_mode))
        return NotRegularError(st);
    if ((flags & O_CREAT) == 0)
        return 0;
    return (flags & O_EXCL) != 0 ? EEXIST : CreateRefusal(path, st);
}

// Where nothing of the name can be held first (a file made by the open, or
// no /proc): the look first spares what is no file the open itself (a
// FIFO's open would wake a writer waiting on it, a device's may act on the
// device), and whatever took the name since is opened without waiting for
// a FIFO's other end, without becoming the process's terminal, and checked.
// Such an open does not wait for a lease either: it answers EWOULDBLOCK.
int OpenWithoutWaiting(const QByteArray& path, int flags, mode_t mode)
{
    struct stat seen {};
    if (::stat(path.constData(), &seen) == 0 && !S_ISREG(seen.st_mode)) {
        errno = NotRegularError(seen);
        return -1;
    }
    // What an open that may create finds there is judged before it is
    // truncated; what it makes is this process's own, and is not judged (in
    // a user namespace its owner may read as one the namespace cannot name).
    // So the name is taken first only where nothing is there (O_EXCL); what
    // is there is opened as found; and only where that is gone again, or is
    // a link that leads nowhere yet, does the open make what it opens.
    const int truncate = (flags & O_CREAT) != 0 ? flags & O_TRUNC : 0;
    const bool create = (flags & O_CREAT) != 0;
    const int common = (flags & ~truncate) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int handle = create ? ::open(path.constData(), common | O_EXCL, mode) : -1;
    const bool made = handle >= 0;
    if (create && !made && (errno != EEXIST || (flags & O_EXCL) != 0))
        return -1;
    if (!made) {
        handle = ::open(path.constData(), common & ~O_CREAT);
        if (handle < 0 && create && errno == ENOENT)
            handle = ::open(path.constData(), common, mode);
    }
    if (handle < 0)
        return -1;
    struct stat opened {};
    int error = made ? 0 : ::fstat(handle, &opened) != 0 ? errno : Refusal(path, opened, flags);
    if (error == 0 && truncate != 0 && !made && ::ftruncate(handle, 0) != 0)
        error = errno;
    if (error == 0) {
        const int status = ::fcntl(handle, F_GETFL);
        if (status < 0 || ::fcntl(handle, F_SETFL, status & ~O_NONBLOCK) != 0)
            error = errno;
    }
    if (error == 0)
        return handle;
    ::close(handle);
    errno = error;
    return -1;
}

// Opens with flags the regular file held as found (a descriptor that only
// names it), whose state is seen, through that descriptor's own entry in
// /proc: the name given cannot lead anywhere else meanwhile, and the open
// waits as a plain one does for a lease another process holds. -1 with
// ENOENT where /proc is missing or leads to another file.
int Reopen(int found, const struct stat& seen, int flags)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(found);
    const int handle =
        ::open(self.constData(), (flags & ~(O_CREAT | O_EXCL | O_NONBLOCK)) | O_NOCTTY | O_CLOEXEC);
    if (handle < 0)
        return -1;
    struct stat opened {};
    if (::fstat(handle, &opened) == 0 && opened.st_dev == seen.st_dev && opened.st_ino == seen.st_ino)
        return handle;
    ::close(handle);
    errno = ENOENT;
    return -1;
}

} // namespace

int OpenRegularPath(const QByteArray& path, int flags, mode_t mode)
{
    // The name is first held without opening what it names (no FIFO's
    // writer woken, no device touched, no lease broken), and only a regular
    // file is opened.
    const int found = ::open(path.constData(), O_PATH | O_CLOEXEC);
    if (found < 0)
        return errno == ENOENT && (flags & O_CREAT) != 0 ? OpenWithoutWaiting(path, flags, mode) : -1;
    struct stat seen {};
    int error = 0;
    int handle = -1;
    if (::fstat(found, &seen) != 0)
        error = errno;
    else if ((error = Refusal(path, seen, flags)) == 0 && (handle = Reopen(found, seen, flags)) < 0)
        error = errno;
    ::close(found);
    if (error == ENOENT)
        return OpenWithoutWaiting(path, flags, mode);
    errno = error;
    return handle;
}

int64_t ReadHandleFully(int handle, void* buffer, int64_t count)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(handle, static_cast<char*>(buffer) + done, size_t(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t WriteHandleFully(int handle, const void* buffer, int64_t count, int& error)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle, static_cast<const char*>(buffer) + done, size_t(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
    }
    return done;
}

int64_t SeekHandle(int handle, int64_t offset, TSeekOrigin origin)
{
    int whence = SEEK_SET;
    if (origin == TSeekOrigin::soCurrent)
        whence = SEEK_CUR;
    else if (origin == TSeekOrigin::soEnd)
        whence = SEEK_END;
    const off_t result = ::lseek(handle, off_t(offset), whence);
    return result < 0 ? -1 : int64_t(result);
}
