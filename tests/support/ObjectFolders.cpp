#include "tests/support/ObjectFolders.h"

#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray ObjectFolderOf(uid_t uid, int n)
{
    const QByteArray first = "/dev/shm/tessvar-" + QByteArray::number(uint(uid));
    return n == 0 ? first : first + '.' + QByteArray::number(n);
}

void RemoveObjectFoldersOf(uid_t uid, uid_t owner)
{
    for (int n = 0; n < kObjectFolderSeries; ++n) {
        const QByteArray folder = ObjectFolderOf(uid, n);
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd < 0)
            continue;
        if (::fstat(fd, &st) == 0 && st.st_uid == owner) {
            if (DIR* dir = ::fdopendir(::dup(fd))) {
                while (const dirent* entry = ::readdir(dir))
                    if (entry->d_name[0] != '.')
                        ::unlinkat(fd, entry->d_name, 0);
                ::closedir(dir);
            }
            ::rmdir(folder.constData());
        }
        ::close(fd);
    }
}

QList<QByteArray> NamesIn(const QByteArray& folder, std::optional<uid_t> owner)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st {};
        if (!owner || (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_uid == *owner))
            names << QByteArray(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

bool SomethingAt(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

QString FillDevShmAs(uid_t uid, int pagesLeft)
{
    return RunAsUser(uid, [pagesLeft] {
        const int fd = ::open("/dev/shm/tessvar-filler", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return QStringLiteral("cannot make the filler: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        const QByteArray block(1 << 16, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        if (errno != ENOSPC) {
            const int error = errno;
            ::close(fd);
            return QString::fromLocal8Bit(std::strerror(error));
        }
        // The file holds every page of the file system now: a hole of whole
        // pages frees exactly those.
        const off_t hole = off_t(pagesLeft) * ::getpagesize();
        const bool freed =
            hole == 0 || ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, hole) == 0;
        const int error = errno;
        ::close(fd);
        return freed ? QString()
                     : QStringLiteral("cannot free %1 pages of the filler: %2")
                           .arg(pagesLeft)
                           .arg(QString::fromLocal8Bit(std::strerror(error)));
    });
}
