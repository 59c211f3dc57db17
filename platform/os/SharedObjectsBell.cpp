// How a listener's descriptor is rung: the sockets that an event's setters
// send a byte through, their names and their addresses, reached through the
// descriptor of the folder that was checked; the start and end of a
// process's listening, and the reading of the rings it was sent.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sharedobjects_detail {

// The room for the folder's part of a socket's address: the longest
// descriptor path (of a thread's table, the longer form), or the folder's
// real path when that is longer, so that every process of the user picks
// the same socket names whatever the number of its descriptor.
size_t BellRoom(int fd, const QByteArray& path)
{
    char real[PATH_MAX];
    const ssize_t length = readlink(DescriptorPath(fd).constData(), real, sizeof(real));
    const size_t realSize = length > 0 ? size_t(length) : size_t(path.size());
    return std::max(realSize, sizeof(kThreadDescriptors) - 1 + 10) + 1;
}

namespace {

// The file names of the socket through which an event rings its listener's
// descriptor: the event's own name with the kind "B", or, where the name
// would not fit a socket's address (107 bytes) after the folder's room, the
// digest of the event's file name.
constexpr size_t kSocketPathMax = sizeof(sockaddr_un::sun_path) - 1;

QByteArray EventKeyHead()
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + '-' + char(Kind::Event) + '-';
}

} // namespace

QByteArray NamedBellKey(const QByteArray& eventKey)
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + "-B-" + eventKey.mid(EventKeyHead().size());
}

QByteArray DigestBellKey(const QByteArray& eventKey)
{
    return kNamePrefix + QByteArray::number(uint(geteuid())) + "-B-#" +
           QCryptographicHash::hash(eventKey, QCryptographicHash::Sha1).toHex();
}

QByteArray BellKey(size_t folderRoom, const QByteArray& eventKey)
{
    const QByteArray named = NamedBellKey(eventKey);
    return folderRoom + named.size() <= kSocketPathMax ? named : DigestBellKey(eventKey);
}

bool IsEventKey(const QByteArray& key)
{
    return key.startsWith(EventKeyHead());
}

namespace {

// The folder of a named object, for messages.
QByteArray FolderPath(const LocalObject& object)
{
    return object.Path.left(object.Path.size() - object.Key.size() - 1);
}

// The address of the event's bell socket, through the descriptor of its
// folder in the calling thread's table (the object's own, where none is
// given); false for an unnamed event.
bool BellAddress(const LocalObject& object, sockaddr_un& address, int folder = -1)
{
    const QByteArray path = DescriptorPath(folder >= 0 ? folder : object.Folder) + '/' + object.Bell;
    std::memset(&address, 0, sizeof(address));
    if (object.Bell.isEmpty() || size_t(path.size()) > kSocketPathMax)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

int BellSocket()
{
    return socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Rings the bell from a thread with a table of descriptors of its own,
// where the numbers of the process's folder and socket may stand for other
// files: through a socket of its own, made for this ring alone, reaching
// the folder through a descriptor of its own, opened on the process's
// (through the keeper's table, which stays the process's whichever thread
// has ended).
void RingFromOwnTable(const LocalObject& object)
{
    const int folder =
        open(ProcessDescriptorPath(object.Folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return;
    sockaddr_un address{};
    const int fd = BellAddress(object, address, folder) ? BellSocket() : -1;
    if (fd >= 0) {
        const char ring = 1;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
            (void)!send(fd, &ring, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
        close(fd);
    }
    close(folder);
}

} // namespace

// Sends a byte to the descriptor of the process that listens to the event.
// A socket whose listener went is connected again, to the listener that
// bound the name since, if any; a full queue means the descriptor is
// readable already.
void RingBell(LocalObject& object)
{
    std::unique_lock guard(object.BellLock);
    const char ring = 1;
    // Every ring of a thread after its first, while no ringing socket was
    // made since, goes through the socket asking the kernel nothing.
    if (object.BellFd >= 0 && SharedWhenLastAsked() &&
        (send(object.BellFd, &ring, 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1 || errno == EAGAIN))
        return;
    // The steps below make or close descriptors, or send through one that
    // this thread has not found to be the process's: it asks.
    if (OwnTableError() != 0) {
        guard.unlock();
        RingFromOwnTable(object);
        return;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (object.BellFd < 0) {
            sockaddr_un address{};
            if (!BellAddress(object, address))
                return;
            const int fd = BellSocket();
            if (fd < 0)
                return;
            if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
                close(fd);
                return;
            }
            object.BellFd = fd;
            RingingSocketMade();
        }
        if (send(object.BellFd, &ring, 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1 || errno == EAGAIN)
            return;
        close(object.BellFd);
        object.BellFd = -1;
    }
}

namespace {

// True when a process has the socket of that address bound.
bool BellAnswers(const sockaddr_un& address)
{
    const int fd = BellSocket();
    if (fd < 0)
        return true;
    const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return answers;
}

} // namespace

// Starts this process's listening to the event of object (null for none):
// the descriptor that the event's setters ring, else -1 with error and
// message set.
int Listen(LocalObject* object, int& error, QString& message)
{
    const auto fail = [&](int code, const QString& detail) {
        error = code;
        message = SystemErrorText(code, detail);
        return -1;
    };
    sockaddr_un address{};
    if (!object || object->Fd < 0 || !BellAddress(*object, address))
        return fail(EINVAL, QStringLiteral("The event cannot be listened to through a descriptor."));
    // Every step below uses the event's descriptors, or makes one.
    if (RefusedToOwnTable(QString::fromLocal8Bit(object->Path), error, message))
        return -1;
    // Without /proc the socket could only be reached by the folder's path,
    // which another user may have swapped for a folder of their own.
    if (const int reach = FolderReachError(object->Folder)) {
        error = reach;
        message = PathErrorText(reach, FolderPath(*object));
        return -1;
    }
    const QString path = QString::fromLocal8Bit(object->Path);
    const auto listening = [&] {
        std::lock_guard guard(object->BellLock);
        return object->Listening;
    };
    const auto already = [&] {
        return fail(EBUSY, QStringLiteral("This process listens to the event %1 already.").arg(path));
    };
    if (listening())
        return already();
    // A failure of the system names the event, as every other does.
    const auto failOn = [&](int code) {
        error = code;
        message = PathErrorText(code, object->Path);
        return -1;
    };
    // From the look at whether this process listens to its marking that it
    // does, under the bookkeeping lock, which keeps out other processes and
    // this one's other threads alike: two never both find the name of a
    // killed listener and bind it one after the other, nor both listen.
    BookkeepingLock lock(*object, CallDeadline());
    if (!lock.Locked())
        return fail(EWOULDBLOCK, QStringLiteral("The event %1 is kept busy by another process.").arg(path));
    if (listening())
        return already();
    const int fd = BellSocket();
    if (fd < 0)
        return failOn(errno);
    const QByteArray& bell = object->Bell;
    const auto bindBell = [&] {
        return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    };
    bool bound = bindBell();
    if (!bound && errno == EADDRINUSE && !BellAnswers(address)) {
        unlinkat(object->Folder, bell.constData(), 0);
        bound = bindBell();
    }
    if (!bound) {
        const int bindError = errno;
        close(fd);
        if (bindError != EADDRINUSE)
            return failOn(bindError);
        return fail(bindError, QStringLiteral("Another process listens to the event %1.").arg(path));
    }
    fchmodat(object->Folder, bell.constData(), 0600, 0);
    {
        std::lock_guard guard(object->BellLock);
        object->Listening = true;
    }
    __atomic_add_fetch(&object->Head()->Listeners, 1, __ATOMIC_SEQ_CST);
    return fd;
}

// Ends this process's listening to the event: the count goes down and the
// socket's name goes (the caller closes the socket itself).
void StopListening(LocalObject& object)
{
    {
        std::lock_guard guard(object.BellLock);
        if (!object.Listening)
            return; // most objects, at their close: no lock to take
    }
    // Under the bookkeeping lock, so that a new listener (of another process
    // or another thread) never binds the name between the two. Without it
    // in time, the listening ends all the same, and the name stays to the
    // next listener, who finds nobody bound to it.
    BookkeepingLock lock(object, CallDeadline());
    {
        std::lock_guard guard(object.BellLock);
        if (!std::exchange(object.Listening, false))
            return;
    }
    __atomic_sub_fetch(&object.Head()->Listeners, 1, __ATOMIC_SEQ_CST);
    if (lock.Locked())
        unlinkat(object.Folder, object.Bell.constData(), 0);
}

bool Unlisten(LocalObject& object, int& error, QString& message)
{
    {
        std::lock_guard guard(object.BellLock);
        if (!object.Listening)
            return true; // no descriptor to use, no system call
    }
    // The end of a listening uses the event's descriptors.
    if (RefusedToOwnTable(QString::fromLocal8Bit(object.Path), error, message))
        return false;
    StopListening(object);
    return true;
}

// Reads every ring that the listener's descriptor holds; answers how many.
int DrainBell(int descriptor)
{
    int rings = 0;
    char buffer[64];
    for (;;) {
        const ssize_t got = recv(descriptor, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return rings;
        ++rings;
    }
}

} // namespace sharedobjects_detail
