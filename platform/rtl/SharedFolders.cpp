#include "platform/rtl/SharedFolders.h"

#include <QList>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

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

QByteArray LinkDestination(int folder, const QByteArray& path)
{
    const QByteArray name = folder == AT_FDCWD ? path : NameOf(path);
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(folder, name.constData(), target.data(), size_t(target.size()));
    if (length <= 0 || length >= target.size()) {
        if (length >= 0)
            errno = ENAMETOOLONG;
        return QByteArray();
    }
    target.truncate(length);
    return target.startsWith('/') ? target : FolderOf(path) + '/' + target;
}

namespace {

// The overflow ids' own value where their settings cannot be read.
constexpr unsigned kDefaultOverflowId = 65534;

// The start of the small file name (a setting or a map of /proc), or empty
// where it cannot be read. errno is left as it was: the callers judge names
// whose reasons they give.
QByteArray ReadSmallFile(const char* name)
{
    const int error = errno;
    QByteArray bytes;
    const int handle = ::open(name, O_RDONLY | O_CLOEXEC);
    if (handle >= 0) {
        char buffer[256];
        ssize_t n = 0;
        do
            n = ::read(handle, buffer, sizeof buffer);
        while (n < 0 && errno == EINTR);
        if (n > 0)
            bytes = QByteArray(buffer, qsizetype(n));
        ::close(handle);
    }
    errno = error;
    return bytes;
}

// The whitespace-separated unsigned numbers of text; false where anything
// else stands there.
bool NumbersOf(const QByteArray& text, std::vector<unsigned long>& numbers)
{
    for (const QByteArray& word : text.simplified().split(' ')) {
        unsigned long value = 0;
        const char* end = word.constData() + word.size();
        if (word.isEmpty() || std::from_chars(word.constData(), end, value).ptr != end)
            return false;
        numbers.push_back(value);
    }
    return true;
}

// The overflow id of the setting name. It is one value for the whole
// system, read once (cached holds it plus one; 0 until it is read); a
// setting that cannot be read is the system's default.
unsigned OverflowId(const char* name, std::atomic<unsigned long>& cached)
{
    const unsigned long known = cached.load(std::memory_order_relaxed);
    if (known != 0)
        return unsigned(known - 1);
    std::vector<unsigned long> numbers;
    const bool read =
        NumbersOf(ReadSmallFile(name), numbers) && numbers.size() == 1 && numbers[0] <= UINT_MAX;
    const unsigned id = read ? unsigned(numbers[0]) : kDefaultOverflowId;
    cached.store(id + 1ul, std::memory_order_relaxed);
    return id;
}

// Whether the id map name (/proc/self/uid_map) is the initial namespace's:
// one line mapping every id to itself. Read each time: a process may enter
// another namespace (a forked child of it may).
bool MapsEveryId(const char* name)
{
    std::vector<unsigned long> numbers;
    return NumbersOf(ReadSmallFile(name), numbers) &&
           numbers == std::vector<unsigned long>{0, 0, 4294967295ul};
}

std::atomic<unsigned long> OverflowUid{0};
std::atomic<unsigned long> OverflowGid{0};

bool CapableOfFowner()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

// The system's setting of its guard for what an open that may create
// opens in a shared sticky folder (fs.protected_regular: 0 off, 1 folders
// others may write, 2 also those only their group may). A setting that
// cannot be read counts as the strictest: the open is never weaker than the
// system's.
int ProtectedRegularSetting()
{
    std::vector<unsigned long> numbers;
    const bool read =
        NumbersOf(ReadSmallFile("/proc/sys/fs/protected_regular"), numbers) && numbers.size() == 1;
    return read && numbers[0] <= 2 ? int(numbers[0]) : 2;
}

// The state of the folder in which a name of the file seen stands, found as
// the system's walk of path finds it: links at path's end are followed, a
// relative one from its own folder, and each name is looked up in the folder
// whose state is taken. False with errno where a step fails, where the walk
// ends at another file (the names changed since the file was seen: EAGAIN),
// or in a loop (ELOOP).
bool FolderOfFile(QByteArray path, const struct stat& seen, struct stat& folder)
{
    for (int links = 0; links <= kMaxLinks; ++links) {
        const int held = ::open(FolderOf(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (held < 0)
            return false;
        struct stat named {};
        bool looked = ::fstat(held, &folder) == 0 &&
                      ::fstatat(held, NameOf(path).constData(), &named, AT_SYMLINK_NOFOLLOW) == 0;
        const bool link = looked && S_ISLNK(named.st_mode);
        if (link) {
            path = LinkDestination(held, path);
            looked = !path.isEmpty();
        }
        const int error = errno;
        ::close(held);
        errno = error;
        if (!looked)
            return false;
        if (link)
            continue;
        if (named.st_dev == seen.st_dev && named.st_ino == seen.st_ino)
            return true;
        errno = EAGAIN;
        return false;
    }
    errno = ELOOP;
    return false;
}

} // namespace

bool OwnerKnown(uid_t uid)
{
    return uid != uid_t(-1) && (uid != OverflowId("/proc/sys/kernel/overflowuid", OverflowUid) ||
                                MapsEveryId("/proc/self/uid_map"));
}

bool GroupKnown(gid_t gid)
{
    return gid != gid_t(-1) && (gid != OverflowId("/proc/sys/kernel/overflowgid", OverflowGid) ||
                                MapsEveryId("/proc/self/gid_map"));
}

bool EveryIdKnown()
{
    return MapsEveryId("/proc/self/uid_map") && MapsEveryId("/proc/self/gid_map");
}

bool IsOwnUser(uid_t owner)
{
    return owner == ::geteuid() && OwnerKnown(owner);
}

bool SharedFolderRefuses(const struct stat& folder, uid_t owner, mode_t writers)
{
    // A known owner equal to the folder's makes the folder's owner known too.
    return (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & writers) != 0 &&
           !(OwnerKnown(owner) && (owner == ::geteuid() || owner == folder.st_uid));
}

bool OverridesStickyFolders(uid_t owner, gid_t group)
{
    return OwnerKnown(owner) && GroupKnown(group) && CapableOfFowner();
}

bool StickyKeeps(const struct stat& folder, uid_t owner, gid_t group)
{
    return (folder.st_mode & S_ISVTX) != 0 && !IsOwnUser(owner) && !IsOwnUser(folder.st_uid) &&
           !OverridesStickyFolders(owner, group);
}

int CreateRefusal(const QByteArray& path, const struct stat& seen)
{
    if (IsOwnUser(seen.st_uid))
        return 0;
    struct stat folder {};
    if (!FolderOfFile(path, seen, folder))
        return errno;
    const bool refused =
        SharedFolderRefuses(folder, seen.st_uid, S_IWOTH) ||
        (SharedFolderRefuses(folder, seen.st_uid, S_IWGRP) && ProtectedRegularSetting() >= 2);
    return refused ? EACCES : 0;
}
