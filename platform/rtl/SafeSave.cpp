#include "platform/rtl/SafeSave.h"

#include "platform/rtl/Streams_p.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Links followed from the name given to the file itself; the system's own
// bound for a path (a longer chain is a loop for it too).
constexpr int kMaxLinks = 40;
// ".", the stem, ".", 8 hex digits, ".tmp".
constexpr int kTemporaryExtra = 14;
constexpr int kMaxStem = NAME_MAX - kTemporaryExtra;
// A stem cut from a long name ends in "~" and 8 hex digits of the whole name.
constexpr int kCutStem = kMaxStem - 9;

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString SaveMessage(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason);
}

QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray NameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// The file a save of fileName replaces: links are followed to their end,
// relative ones from the link's own folder, and the last may point at a file
// that does not exist yet.
QByteArray FinalTarget(const QString& fileName)
{
    QByteArray path = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (links == kMaxLinks)
            throw EFileSaveError(SaveMessage(fileName, SystemReason(ELOOP)));
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (length <= 0 || length >= target.size())
            throw EFileSaveError(SaveMessage(fileName, SystemReason(length < 0 ? errno : ENAMETOOLONG)));
        target.truncate(length);
        path = target.startsWith('/') ? target : FolderOf(path) + '/' + target;
    }
}

uint32_t NameHash(const QByteArray& name)
{
    uint32_t hash = 2166136261u; // FNV-1a
    for (const char c : name)
        hash = (hash ^ uint8_t(c)) * 16777619u;
    return hash;
}

// The part of a temporary's name taken from its target: the target's name,
// or for a name too long to fit, its start (whole characters) and a hash of
// the whole name, so the temporary's name stays within the system's limit.
QByteArray TemporaryStem(const QByteArray& name)
{
    if (name.size() <= kMaxStem)
        return name;
    qsizetype cut = kCutStem;
    while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.left(cut) + '~' + QByteArray::number(NameHash(name), 16).rightJustified(8, '0');
}

QByteArray TemporaryName(const QByteArray& stem)
{
    return '.' + stem + '.' +
           QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') + ".tmp";
}

bool IsTemporaryOf(const QByteArray& entry, const QByteArray& stem)
{
    if (entry.size() != stem.size() + kTemporaryExtra || !entry.startsWith('.' + stem + '.') ||
        !entry.endsWith(".tmp"))
        return false;
    for (qsizetype i = stem.size() + 2; i < stem.size() + 10; ++i)
        if (!std::isxdigit(uint8_t(entry[i])))
            return false;
    return true;
}

// Creates the temporary beside the target, locked by this process for as
// long as it lives: the lock tells a save in progress from an abandoned one.
// An unnamed file is locked first and then given its name, so no other
// process ever sees it unlocked; where the file system has no unnamed files,
// the name is taken with O_EXCL and locked at once.
int CreateTemporary(const QByteArray& folder, const QByteArray& stem, QByteArray& temp)
{
    const int unnamed = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (unnamed >= 0) {
        ::flock(unnamed, LOCK_EX);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(unnamed);
        for (int attempt = 0; attempt < 64; ++attempt) {
            temp = folder + '/' + TemporaryName(stem);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0)
                return unnamed;
            if (errno != EEXIST)
                break;
        }
        ::close(unnamed);
    }
    for (int attempt = 0; attempt < 64; ++attempt) {
        temp = folder + '/' + TemporaryName(stem);
        const int handle = ::open(temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0) {
            ::flock(handle, LOCK_EX);
            return handle;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// Removes the temporaries of this target that a killed save left: only
// those nobody holds locked, and only while the name is still the file that
// was locked. Whatever cannot be removed stays; the save goes on.
void RemoveAbandonedTemporaries(const QByteArray& folder, const QByteArray& stem, const QByteArray& own)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const QByteArray path = folder + '/' + name;
        if (!IsTemporaryOf(name, stem) || path == own)
            continue;
        const int handle = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        struct stat held {};
        struct stat named {};
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &held) == 0 && S_ISREG(held.st_mode) &&
            ::lstat(path.constData(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            ::unlink(path.constData());
        ::close(handle);
    }
    ::closedir(dir);
}

// The folder is flushed so that the rename itself survives a power cut; a
// file system that cannot flush a folder (EINVAL) has nothing more to do.
void SyncFolder(const QByteArray& folder)
{
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

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

TSafeFileStream::TSafeFileStream(const QString& fileName) : FFileName(fileName)
{
    if (fileName.isEmpty())
        throw EFileSaveError(SaveMessage(fileName, QStringLiteral("The file name is empty.")));
    FTarget = FinalTarget(fileName);
    const QByteArray folder = FolderOf(FTarget);
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EFileSaveError(SaveMessage(
            fileName, QStringLiteral("The folder \"%1\" does not exist.").arg(QFile::decodeName(folder))));
    struct stat old {};
    const bool exists = ::stat(FTarget.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EISDIR)));
    // As the platform's own file layer, a read-only file is not replaced.
    if (exists && ::access(FTarget.constData(), W_OK) != 0)
        throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
    const QByteArray stem = TemporaryStem(NameOf(FTarget));
    FHandle = CreateTemporary(folder, stem, FTemp);
    if (FHandle < 0) {
        const int error = errno;
        FTemp.clear();
        throw EFileSaveError(SaveMessage(fileName, SystemReason(error)));
    }
    if (exists)
        ::fchmod(FHandle, old.st_mode & 07777);
    RemoveAbandonedTemporaries(folder, stem, FTemp);
}

TSafeFileStream::~TSafeFileStream()
{
    if (!FCommitted)
        Discard();
}

QString TSafeFileStream::Target() const
{
    return QFile::decodeName(FTarget);
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
    // at the close: both are checked before the old file is given up. A
    // second descriptor keeps the temporary locked until it has its name.
    if (::fsync(FHandle) != 0)
        Fail(SystemReason(errno));
    FLockHandle = ::dup(FHandle);
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0)
        Fail(SystemReason(errno));
    if (::rename(FTemp.constData(), FTarget.constData()) != 0)
        Fail(SystemReason(errno));
    FCommitted = true;
    ReleaseLock();
    SyncFolder(FolderOf(FTarget));
}

void TSafeFileStream::Fail(const QString& reason)
{
    FFailed = true;
    Discard();
    throw EFileSaveError(SaveMessage(FFileName, reason));
}

// The temporary goes while it is still locked, so no cleaner races for it.
void TSafeFileStream::Discard()
{
    if (!FTemp.isEmpty()) {
        ::unlink(FTemp.constData());
        FTemp.clear();
    }
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    ReleaseLock();
}

void TSafeFileStream::ReleaseLock()
{
    if (FLockHandle >= 0) {
        ::close(FLockHandle);
        FLockHandle = -1;
    }
}
