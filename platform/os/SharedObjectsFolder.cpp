// Where a user's objects are kept: the choice of the folder (XDG_RUNTIME_DIR
// or the series in /dev/shm), its judgement (a folder of the user's own that
// a umask left without the owner's rights is mended), and the warning that a
// set runtime folder is passed over.
#include "platform/os/SharedObjects_p.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sharedobjects_detail {

namespace {

// What a name holds for this user's objects.
enum class TFound {
    Usable, // a folder of the user's own, closed to others, opened
    Held,   // nothing, or something the user may not use: passed over
    Failed, // the process itself failed at it (no descriptor left, an
            // error of the file system ...): the choice ends there
};

// Why a name that is held cannot be used, as the warning that a set
// XDG_RUNTIME_DIR is passed over says it.
enum class TRefusal {
    None,
    Relative,     // the setting is no absolute path
    Missing,      // nothing is there
    NotAFolder,   // a file, a FIFO, a link (links are not followed) ...
    ThroughAFile, // a file stands where its path needs a folder
    TooLong,      // the name is longer than the system takes
    OthersOwn,    // another user's
    OpenToOthers, // the user's own, but others may enter it
    Unmendable,   // the user's own, but the system refuses for good to give
                  // it the owner's rights it lacks (read-only, immutable)
    Closed,       // the system refuses it to this user for another reason
};

// A folder's judgement: Usable with its descriptor, Held and why, or Failed
// with the system's error.
struct TJudgement {
    TFound Found = TFound::Held;
    TRefusal Why = TRefusal::None;
    int Error = 0;
    int Fd = -1;
};

// Why what lstat tells of a name (st) keeps user uid from using it as the
// folder of its objects; None where nothing does.
TRefusal RefusalOf(const struct stat& st, uid_t uid)
{
    if (!S_ISDIR(st.st_mode))
        return TRefusal::NotAFolder;
    if (st.st_uid != uid)
        return TRefusal::OthersOwn;
    if ((st.st_mode & 0077) != 0)
        return TRefusal::OpenToOthers;
    return TRefusal::None;
}

// Judges the folder open as fd: Usable where it belongs to uid and nobody
// else may enter it (a folder of the user's with rights missing for the
// user is mended), else Held, as it is where the system refuses that mend
// for good (EPERM, EROFS). fd is closed unless it is Usable.
TJudgement JudgeFolder(int fd, uid_t uid)
{
    TJudgement judged;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        judged = {TFound::Failed, TRefusal::None, errno};
    } else if (const TRefusal why = RefusalOf(st, uid); why != TRefusal::None) {
        judged = {TFound::Held, why};
    } else if (!GiveOwnerRights(fd, st.st_mode, S_IRWXU)) {
        if (errno == EPERM || errno == EROFS)
            judged = {TFound::Held, TRefusal::Unmendable};
        else
            judged = {TFound::Failed, TRefusal::None, errno};
    } else {
        judged = {TFound::Usable, TRefusal::None, 0, fd};
    }
    if (judged.Found != TFound::Usable)
        close(fd);
    return judged;
}

void UseFolder(ObjectFolder& folder, int fd)
{
    folder.Fd = fd;
    folder.BellRoom = BellRoom(fd, folder.Path);
}

const char* RefusalText(TRefusal why);

// Says once per process that a set XDG_RUNTIME_DIR was refused, and why:
// programs of the user that keep their objects there cannot meet this one.
void AnnounceFallback(const QByteArray& runtime, TRefusal why, const QByteArray& fallback)
{
    static std::atomic<pid_t> announcedIn{0};
    if (announcedIn.exchange(ThisProcess()) == ThisProcess())
        return;
    qWarning("The folder %s of XDG_RUNTIME_DIR %s; this process keeps its shared objects in %s.",
             runtime.constData(), RefusalText(why), fallback.constData());
}

// The words of the warning for why.
const char* RefusalText(TRefusal why)
{
    switch (why) {
    case TRefusal::Relative:
        return "is not an absolute path";
    case TRefusal::Missing:
        return "does not exist";
    case TRefusal::NotAFolder:
        return "is not a folder (a link is not followed)";
    case TRefusal::ThroughAFile:
        return "has a file where its path needs a folder";
    case TRefusal::TooLong:
        return "has a name too long for the system";
    case TRefusal::OthersOwn:
        return "belongs to another user";
    case TRefusal::OpenToOthers:
        return "is open to others";
    case TRefusal::Unmendable:
        return "lacks its owner's rights, which the system refuses to give it (a read-only or immutable "
               "folder)";
    case TRefusal::None:
    case TRefusal::Closed:
        break;
    }
    return "cannot be opened by this user";
}

// XDG_RUNTIME_DIR without its trailing slashes, which would have a link at
// its name followed; empty where it is not set.
QByteArray RuntimeSetting()
{
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    while (runtime.size() > 1 && runtime.endsWith('/'))
        runtime.chop(1);
    return runtime;
}

// The names of the folders of user uid outside XDG_RUNTIME_DIR, in the order
// every process of the user tries them: /dev/shm/tessvar-<uid>, then
// /dev/shm/tessvar-<uid>.1 and so on. Folders are never removed, so each
// user that a user namespace shows as uid (as 0, say) keeps one of them
// until the machine restarts: there are enough names for many such users.
constexpr int kFolderSeries = 32;

QByteArray SeriesFolder(uid_t uid, int n)
{
    const QByteArray first = "/dev/shm/tessvar-" + QByteArray::number(uint(uid));
    return n == 0 ? first : first + '.' + QByteArray::number(n);
}

// Opens the folder at path where it is uid's own and closed to others
// (Usable). Held where nothing is there, where something else than a folder
// is (ENOTDIR, ELOOP: links are not followed), where the system refuses the
// folder to the process (EACCES: another user's) or refuses for good to
// mend it (EPERM: an immutable folder, or inside a user namespace another
// unmapped user's, whose owner reads as the overflow id that may be this
// process's own; EROFS), where the check refuses it, and, for the folder
// that the user set (setting), where the name is too long (ENAMETOOLONG).
// Failed for any other failure: the process's own (EMFILE, ENOMEM ...) or
// of the file system (EIO ...).
TJudgement OpenPrivateFolder(const QByteArray& path, uid_t uid, bool setting)
{
    const int fd =
        OpenMending(AT_FDCWD, path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
    if (fd >= 0)
        return JudgeFolder(fd, uid);
    const int error = errno;
    switch (error) {
    case ENOENT:
        return {TFound::Held, TRefusal::Missing};
    case ENOTDIR:
    case ELOOP: {
        // A file on the way fails lstat as it failed the open.
        struct stat st {};
        const bool onTheWay = setting && lstat(path.constData(), &st) != 0 && errno == ENOTDIR;
        return {TFound::Held, onTheWay ? TRefusal::ThroughAFile : TRefusal::NotAFolder};
    }
    case EACCES:
    case EPERM:
    case EROFS: {
        // What is there, for the reason that the warning about the user's
        // setting gives.
        struct stat st {};
        TRefusal why = setting && lstat(path.constData(), &st) == 0 ? RefusalOf(st, uid) : TRefusal::None;
        if (why == TRefusal::None)
            why = error == EACCES ? TRefusal::Closed : TRefusal::Unmendable;
        return {TFound::Held, why};
    }
    case ENAMETOOLONG:
        if (setting)
            return {TFound::Held, TRefusal::TooLong};
        break;
    default:
        break;
    }
    return {TFound::Failed, TRefusal::None, error};
}

// Ends the choice with the system's error naming the folder where it
// failed. Nothing of the failure is kept: the next open chooses again.
void FailFolder(ObjectFolder& folder, int error, const QByteArray& path)
{
    folder.Error = error;
    folder.Message = PathErrorText(error, path);
}

// Opens and judges the folder at path: takes it where it is Usable, or ends
// the choice where the process Failed at it. True where the choice is over,
// false where the name is held. For the folder that the user set, why is
// given, and receives why it is held.
bool Decided(ObjectFolder& folder, const QByteArray& path, uid_t uid, TRefusal* why = nullptr)
{
    const TJudgement judged = OpenPrivateFolder(path, uid, why != nullptr);
    switch (judged.Found) {
    case TFound::Usable:
        folder.Path = path;
        UseFolder(folder, judged.Fd);
        return true;
    case TFound::Failed:
        FailFolder(folder, judged.Error, path);
        return true;
    case TFound::Held:
        break;
    }
    if (why)
        *why = judged.Why;
    return false;
}

// Chooses the folder of user uid, opens and checks it. A name that is held
// is passed over; a failure of the process's own ends the choice at once,
// making no further name, so that it neither leaves names behind nor sends
// the process away from its peers.
void ChooseFolder(ObjectFolder& folder, uid_t uid)
{
    // A setting that cannot be used (missing, no folder, a name too long
    // ...) is passed over, as it would be by every process of the user.
    const QByteArray runtime = RuntimeSetting();
    TRefusal refused = TRefusal::None;
    if (!runtime.isEmpty()) {
        if (!runtime.startsWith('/'))
            refused = TRefusal::Relative;
        else if (Decided(folder, runtime, uid, &refused))
            return;
    }
    // The first folder of the series that is the user's already, so that a
    // process meets those that started while an earlier name was held by
    // someone else, even once that name is free again. Else the first that
    // can be made the user's; a name that someone else took meanwhile is
    // judged as in the first pass.
    for (const bool make : {false, true}) {
        for (int n = 0; n < kFolderSeries; ++n) {
            const QByteArray path = SeriesFolder(uid, n);
            // Made 0700 whatever the umask: one left without the owner's
            // rights is mended as it is opened.
            if (make && mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) {
                FailFolder(folder, errno, path);
                return;
            }
            if (Decided(folder, path, uid)) {
                if (refused != TRefusal::None && folder.Fd >= 0)
                    AnnounceFallback(runtime, refused, folder.Path);
                return;
            }
        }
    }
    folder.Error = EPERM;
    folder.Message = SystemErrorText(
        EPERM, QStringLiteral("The folder %1 of this user's shared objects belongs to another user or is "
                              "open to others, and so does every other folder of its series up to %2; "
                              "none is used. A folder of this user's own that is closed to others, "
                              "given as XDG_RUNTIME_DIR, avoids this.")
                   .arg(QString::fromLocal8Bit(SeriesFolder(uid, 0)),
                        QString::fromLocal8Bit(SeriesFolder(uid, kFolderSeries - 1))));
}

} // namespace

bool FolderChosen(const Registry& reg)
{
    return reg.Folder.Fd >= 0 && reg.Folder.Uid == geteuid();
}

// The folder of the calling user, opened and checked once per user id (a
// child made by fork() may take another one); where none could be had, it
// is chosen again at the next call. Runs under the registry lock.
ObjectFolder& UserFolder(Registry& reg)
{
    ObjectFolder& folder = reg.Folder;
    const uid_t uid = geteuid();
    if (FolderChosen(reg))
        return folder;
    // The earlier user's folder is closed last, so that the new one never
    // takes over its descriptor's number.
    const int earlier = folder.Fd;
    folder = ObjectFolder{};
    folder.Uid = uid;
    ChooseFolder(folder, uid);
    if (earlier >= 0)
        close(earlier);
    return folder;
}

} // namespace sharedobjects_detail
