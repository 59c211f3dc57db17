#include "tests/support/ObjectFolders.h"

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
