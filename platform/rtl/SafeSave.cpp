#include "platform/rtl/SafeSave.h"

#include "platform/rtl/FileErrors.h"
#include "platform/rtl/SharedFolders.h"
#include "platform/rtl/Streams_p.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <acl/libacl.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <type_traits>
#include <unistd.h>

namespace {

// ".", the stem, ".", 8 hex digits, ".tmp" or ".new".
constexpr int kTemporaryExtra = 14;
// A temporary's name while its writer holds it locked.
constexpr char kHeldSuffix[] = ".tmp";
// The name a temporary is made under where there are no unnamed files,
// before it is locked.
constexpr char kFreshSuffix[] = ".new";
// An unlocked ".new" file older than this (seconds) is a save killed between
// making and locking it; a younger one may be a save in that very moment.
constexpr time_t kFreshLifetime = 60;
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

QByteArray AbsoluteName(const QString& fileName)
{
    return QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
}

// Why fileName, whose file is target at the end of its links, is not saved.
QString NotAFile(const QString& fileName, const QByteArray& target)
{
    return NotAFileReason(QFileInfo(fileName).absoluteFilePath(), QFile::decodeName(target));
}

// A link a save followed, with the owner and group it had when its target
// was read: the link judged is the one followed, even where it is removed or
// replaced since.
struct TFollowedLink {
    QByteArray Path;
    uid_t Owner;
    gid_t Group;
};

// The file a save of fileName replaces: links are followed to their end,
// relative ones from the link's own folder, and the last may point at a file
// that does not exist yet. links answers the links met on the way.
QByteArray FinalTarget(const QString& fileName, QList<TFollowedLink>& links)
{
    QByteArray path = AbsoluteName(fileName);
    for (;;) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (links.size() == kMaxLinks)
            throw EFileSaveError(SaveMessage(fileName, SystemReason(ELOOP)));
        links << TFollowedLink{path, st.st_uid, st.st_gid};
        path = LinkDestination(AT_FDCWD, path);
        if (path.isEmpty())
            throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
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

// The digits come from the system for every name: a forked process would
// repeat its parent's sequence of a generator in memory, and take the names
// a killed sibling left one by one.
QByteArray TemporaryName(const QByteArray& stem, const char* suffix)
{
    return '.' + stem + '.' +
           QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0') + suffix;
}

// Which of the two names of a temporary of this stem entry is, if any.
enum class TTemporaryKind { None, Held, Fresh };

TTemporaryKind TemporaryKind(const QByteArray& entry, const QByteArray& stem)
{
    if (entry.size() != stem.size() + kTemporaryExtra || !entry.startsWith('.' + stem + '.'))
        return TTemporaryKind::None;
    for (qsizetype i = stem.size() + 2; i < stem.size() + 10; ++i)
        if (!std::isxdigit(uint8_t(entry[i])))
            return TTemporaryKind::None;
    if (entry.endsWith(kHeldSuffix))
        return TTemporaryKind::Held;
    return entry.endsWith(kFreshSuffix) ? TTemporaryKind::Fresh : TTemporaryKind::None;
}

// Gives a file this process holds locked a ".tmp" name beside the target:
// place makes the name (false and errno when it cannot); a name another
// temporary has is tried again with other digits.
bool NameTemporary(const QByteArray& folder, const QByteArray& stem, QByteArray& temp,
                   const std::function<bool(const QByteArray&)>& place)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        temp = folder + '/' + TemporaryName(stem, kHeldSuffix);
        if (place(temp))
            return true;
        if (errno != EEXIST)
            break;
    }
    temp.clear();
    return false;
}

// A further name of the file open as handle (the descriptor's own file, even
// when its path has been replaced meanwhile).
bool LinkDescriptor(int handle, const QByteArray& name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0;
}

// Renames from to to, failing with EEXIST when to exists. A file system
// without that rename gets a second name (which refuses an existing one)
// and loses the first; one without hard links either gets a plain rename,
// whose random digits another temporary holds only by a 1 in 2^32 chance.
bool RenameWithoutReplacing(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return false;
    return ::rename(from.constData(), to.constData()) == 0;
}

// The extended attribute in which the kernel keeps a file's access ACL.
constexpr char kAccessAcl[] = "system.posix_acl_access";

struct TAclFree {
    void operator()(acl_t acl) const { acl_free(acl); }
};
using TAcl = std::unique_ptr<std::remove_pointer_t<acl_t>, TAclFree>;

// What a file's access ACL holds beyond its permission bits: nothing (no
// entries beyond the mode, or a file system without ACLs), the entries, or
// unknown (it could not be read).
enum class TAclState { None, Extended, Unknown };

// The owner, group, permission bits and access ACL a new file takes from the
// file it replaces (or keeps, for a backup); an empty one leaves the
// system's defaults of a new file.
struct TFileAccess {
    bool Given = false;
    uid_t Owner = 0;
    gid_t Group = 0;
    bool KnownOwner = true; // Owner and Group are ids this process's user
    bool KnownGroup = true; // namespace can name (SharedFolders.h)
    mode_t Mode = 0;        // permission bits with the set-id and sticky bits
    TAclState AclState = TAclState::None;
    TAcl Acl; // the entries, where Extended
};

// The rights of an ACL entry's permission set, as the mode's bits (4 read,
// 2 write, 1 execute); -1 where they cannot be read.
int RightsOf(acl_entry_t entry)
{
    acl_permset_t permissions = nullptr;
    if (acl_get_permset(entry, &permissions) != 0)
        return -1;
    const int read = acl_get_perm(permissions, ACL_READ);
    const int write = acl_get_perm(permissions, ACL_WRITE);
    const int execute = acl_get_perm(permissions, ACL_EXECUTE);
    if (read < 0 || write < 0 || execute < 0)
        return -1;
    return (read ? 4 : 0) | (write ? 2 : 0) | (execute ? 1 : 0);
}

bool SetRights(acl_entry_t entry, int rights)
{
    acl_permset_t permissions = nullptr;
    return acl_get_permset(entry, &permissions) == 0 && acl_clear_perms(permissions) == 0 &&
           ((rights & 4) == 0 || acl_add_perm(permissions, ACL_READ) == 0) &&
           ((rights & 2) == 0 || acl_add_perm(permissions, ACL_WRITE) == 0) &&
           ((rights & 1) == 0 || acl_add_perm(permissions, ACL_EXECUTE) == 0) &&
           acl_set_permset(entry, permissions) == 0;
}

// Whether the named entry (ACL_USER, ACL_GROUP) names an id this process's
// user namespace cannot name: -1 where its qualifier cannot be read.
int NamesUnknownId(acl_entry_t entry, acl_tag_t tag)
{
    void* qualifier = acl_get_qualifier(entry);
    if (!qualifier)
        return -1;
    const id_t id = *static_cast<const id_t*>(qualifier);
    acl_free(qualifier);
    return tag == ACL_USER ? !OwnerKnown(uid_t(id)) : !GroupKnown(gid_t(id));
}

// The entries of an access ACL that a save must change where some name ids
// this process's user namespace cannot name.
struct TAclEntries {
    QList<acl_entry_t> Unknown; // the named entries of unknown ids
    acl_entry_t GroupObj = nullptr, Mask = nullptr, Other = nullptr;
    int Named = 0;     // named entries of known ids
    int UserBound = 7; // what every unknown user's entry allows
    int AnyBound = 7;  // what every unknown entry allows
};

// Reads the entries of acl into entries: false where one cannot be read.
bool ReadEntries(acl_t acl, TAclEntries& entries)
{
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY;; which = ACL_NEXT_ENTRY) {
        const int found = acl_get_entry(acl, which, &entry);
        if (found == 0)
            return entries.GroupObj && entries.Other;
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        if (found != 1 || acl_get_tag_type(entry, &tag) != 0)
            return false;
        if (tag == ACL_GROUP_OBJ)
            entries.GroupObj = entry;
        else if (tag == ACL_MASK)
            entries.Mask = entry;
        else if (tag == ACL_OTHER)
            entries.Other = entry;
        if (tag != ACL_USER && tag != ACL_GROUP)
            continue;
        const int unknown = NamesUnknownId(entry, tag);
        const int rights = RightsOf(entry);
        if (unknown < 0 || rights < 0)
            return false;
        if (!unknown) {
            ++entries.Named;
            continue;
        }
        entries.Unknown << entry;
        entries.AnyBound &= rights;
        if (tag == ACL_USER)
            entries.UserBound &= rights;
    }
}

// Takes out of access's ACL the entries that name users or groups this
// process's user namespace cannot name: the system would not take them from
// the save, or would take them for whoever the namespace gives that id. So
// that nobody they named gains what they could not do, the rest is
// narrowed: such a user falls to the groups' entries, which the mask bounds,
// or to the others' entry; such a group's members to the others' entry. The
// mask then allows at most what every unknown user's entry allowed, and the
// others' entry at most what every unknown entry allowed under the mask. An
// ACL left with no named entry becomes its mode (the owning group's entry
// under the mask). Where that cannot be done, the ACL is unknown, and the
// file keeps only its owner's bits.
void WithoutUnknownEntries(TFileAccess& access)
{
    TAcl copy(acl_dup(access.Acl.get()));
    TAclEntries entries;
    if (!copy || !ReadEntries(copy.get(), entries) || !entries.Mask) {
        access.AclState = TAclState::Unknown;
        return;
    }
    if (entries.Unknown.isEmpty())
        return;
    const int mask = RightsOf(entries.Mask);
    const int other = RightsOf(entries.Other);
    const int groupObj = RightsOf(entries.GroupObj);
    bool narrowed = mask >= 0 && other >= 0 && groupObj >= 0;
    for (const acl_entry_t entry : entries.Unknown)
        narrowed = narrowed && acl_delete_entry(copy.get(), entry) == 0;
    const int newMask = mask & entries.UserBound;
    const int newOther = other & mask & entries.AnyBound;
    int groupBits = newMask;
    narrowed = narrowed && SetRights(entries.Other, newOther);
    if (entries.Named == 0) {
        groupBits = groupObj & newMask;
        narrowed = narrowed && SetRights(entries.GroupObj, groupBits) &&
                   acl_delete_entry(copy.get(), entries.Mask) == 0;
    } else {
        narrowed = narrowed && SetRights(entries.Mask, newMask);
    }
    if (!narrowed || acl_valid(copy.get()) != 0) {
        access.AclState = TAclState::Unknown;
        return;
    }
    access.Mode = (access.Mode & ~mode_t(S_IRWXG | S_IRWXO)) | mode_t(groupBits << 3) | mode_t(newOther);
    access.Acl = std::move(copy);
    access.AclState = entries.Named == 0 ? TAclState::None : TAclState::Extended;
}

// The access of the file whose state is like and whose access ACL libacl
// read as acl: null with errno where the read failed, and EOPNOTSUPP there
// means a file system without ACLs. A file without an ACL of its own
// (ENODATA) is answered the ACL of its mode, which is no extended one.
TFileAccess AccessOf(const struct stat& like, acl_t acl)
{
    const int error = acl ? 0 : errno;
    TFileAccess access{true,
                       like.st_uid,
                       like.st_gid,
                       OwnerKnown(like.st_uid),
                       GroupKnown(like.st_gid),
                       mode_t(like.st_mode & 07777),
                       TAclState::Unknown,
                       TAcl(acl)};
    if (!acl)
        access.AclState = error == EOPNOTSUPP ? TAclState::None : TAclState::Unknown;
    else if (const int extended = acl_equiv_mode(acl, nullptr); extended == 0)
        access.AclState = TAclState::None;
    else if (extended == 1)
        access.AclState = TAclState::Extended;
    if (access.AclState == TAclState::Extended && !EveryIdKnown())
        WithoutUnknownEntries(access);
    if (access.AclState != TAclState::Extended)
        access.Acl.reset();
    return access;
}

// The mode a temporary is made with: the owner's bits of the final mode, so
// that its name, given before its owner, group, ACL and mode are set, shows
// no other user anything (a default ACL of the folder is bounded by these
// bits too); a new file is made with the defaults it keeps.
mode_t CreationMode(const TFileAccess& access)
{
    return access.Given ? access.Mode & S_IRWXU : 0666;
}

// Gives the file the owner and group of access where the saver may (root, or
// a process that may give files away), else only the group where the saver
// may (a member of it). An owner or group the saver's user namespace cannot
// name is one it may not give: the system would take that id for whoever
// the namespace gives it, if anyone. Answers whether the group is kept.
bool GiveOwner(int handle, const TFileAccess& access)
{
    if (!access.KnownGroup) {
        if (access.KnownOwner)
            ::fchown(handle, access.Owner, gid_t(-1));
        return false;
    }
    return (access.KnownOwner && ::fchown(handle, access.Owner, access.Group) == 0) ||
           ::fchown(handle, uid_t(-1), access.Group) == 0;
}

// A copy of acl whose mask allows nothing, and with groupToo its owning
// group's entry too: the mask bounds every named entry, so under a group
// that was not kept nobody gains what the file's group class could read.
// Null where no copy is made.
TAcl WithoutGroupClass(acl_t acl, bool groupToo)
{
    TAcl copy(acl_dup(acl));
    if (!copy)
        return copy;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY;; which = ACL_NEXT_ENTRY) {
        // An error is no end of the list: the entries after it, the mask
        // among them, would keep what they allow.
        const int found = acl_get_entry(copy.get(), which, &entry);
        if (found == 0)
            return copy;
        if (found != 1)
            return nullptr;
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t permissions = nullptr;
        if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &permissions) != 0)
            return nullptr;
        if ((tag == ACL_MASK || (groupToo && tag == ACL_GROUP_OBJ)) &&
            (acl_clear_perms(permissions) != 0 || acl_set_permset(entry, permissions) != 0))
            return nullptr;
    }
}

// How a file is reached while its access is given: only through this
// process's descriptor (an unnamed file), or already by a name in its folder.
enum class TReach { Unnamed, Named };

// Puts the access ACL of access in place of whatever the file inherited from
// its folder's default ACL: the same entries (as the kernel held them), or
// none where the replaced file had none. False where that could not be done,
// a file system without ACLs included when there were entries to give: the
// file must then keep only its owner's bits, which leave any inherited entry
// that could not be removed without effect. A file that has a name gets its
// ACL with the mask cleared, for the mode given after it to set: giving an
// ACL sets the group bits from its mask before the entries bind, and for
// that instant the group bits alone would let the owning group in as far as
// the mask allows, whatever its own entry says.
bool GiveAcl(int handle, const TFileAccess& access, bool groupKept, TReach reach)
{
    if (access.AclState == TAclState::Extended) {
        const bool whole = groupKept && reach == TReach::Unnamed;
        const TAcl narrowed = whole ? nullptr : WithoutGroupClass(access.Acl.get(), !groupKept);
        if ((whole || narrowed) && acl_set_fd(handle, whole ? access.Acl.get() : narrowed.get()) == 0)
            return true;
    }
    const bool removed = ::fremovexattr(handle, kAccessAcl) == 0 || errno == ENODATA || errno == EOPNOTSUPP;
    return removed && access.AclState == TAclState::None;
}

// Gives the file open as handle, which has at most its owner's bits so far,
// the access of access in an order that never opens it further than the
// end: owner and group (a change of owner clears the set-id bits), then the
// access ACL, then the mode, whose group bits become the ACL's mask. A group
// the saver may not give (it is no member) is not kept: the group bits are
// cleared then, so no group reads what it could not read before, and a
// set-id bit is not carried over to an owner or group other than the file's
// (as it stands once given). An ACL
// that cannot be given leaves the owner's bits alone; a mode the file
// system refuses leaves the creation mode, which is never more open.
void GiveAccess(int handle, const TFileAccess& access, TReach reach)
{
    if (!access.Given)
        return;
    mode_t mode = access.Mode;
    const bool groupKept = GiveOwner(handle, access);
    if (!groupKept)
        mode &= ~mode_t(S_ISGID | S_IRWXG);
    struct stat now {};
    if (!access.KnownOwner || ::fstat(handle, &now) != 0 || now.st_uid != access.Owner)
        mode &= ~mode_t(S_ISUID);
    if (!GiveAcl(handle, access, groupKept, reach))
        mode &= S_IRWXU;
    ::fchmod(handle, mode);
}

// Creates the temporary beside the target, locked by this process for as
// long as it lives: the lock tells a save in progress from an abandoned one.
// A ".tmp" name is only ever given to a file already locked: an unnamed file
// is locked and then linked to it; where the file system has no unnamed
// files, a ".new" name is taken with O_EXCL, locked, and renamed to it. The
// file has its final group and mode before it has a name (an unnamed file),
// or is made with at most its owner's bits and has them before it is renamed
// and written (a ".new" file): no name of it is ever more open than access.
int CreateTemporary(const QByteArray& folder, const QByteArray& stem, const TFileAccess& access,
                    QByteArray& temp)
{
    const int unnamed = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, CreationMode(access));
    if (unnamed >= 0) {
        ::flock(unnamed, LOCK_EX);
        GiveAccess(unnamed, access, TReach::Unnamed);
        if (NameTemporary(folder, stem, temp,
                          [&](const QByteArray& name) { return LinkDescriptor(unnamed, name); }))
            return unnamed;
        ::close(unnamed);
    }
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QByteArray fresh = folder + '/' + TemporaryName(stem, kFreshSuffix);
        const int handle =
            ::open(fresh.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, CreationMode(access));
        if (handle < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        ::flock(handle, LOCK_EX);
        GiveAccess(handle, access, TReach::Named);
        if (NameTemporary(folder, stem, temp,
                          [&](const QByteArray& name) { return RenameWithoutReplacing(fresh, name); }))
            return handle;
        const int error = errno;
        ::unlink(fresh.constData());
        ::close(handle);
        errno = error;
        return -1;
    }
    errno = EEXIST;
    return -1;
}

bool IsAbandoned(TTemporaryKind kind, const struct stat& held)
{
    return kind == TTemporaryKind::Held || std::time(nullptr) - held.st_mtime > kFreshLifetime;
}

// Removes the temporaries of this target that a killed save left: only
// those nobody holds locked (a ".new" one only once it is old enough), and
// only while the name is still the file that was locked. Whatever cannot be
// removed stays; the save goes on.
void RemoveAbandonedTemporaries(const QByteArray& folder, const QByteArray& stem, const QByteArray& own)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const QByteArray path = folder + '/' + name;
        const TTemporaryKind kind = TemporaryKind(name, stem);
        if (kind == TTemporaryKind::None || path == own)
            continue;
        const int handle = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        struct stat held {};
        struct stat named {};
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &held) == 0 && S_ISREG(held.st_mode) &&
            IsAbandoned(kind, held) && ::lstat(path.constData(), &named) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
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

// The checks every replacement of target passes: its folder exists (one
// that is there but cannot be looked at, or a file where a folder should
// be, is refused with the system's reason, not as missing); this
// process may replace what stands at target (in a sticky folder, judged by
// the owner of the name itself, a link's own owner), checked before
// anything is made, as the final rename would fail only once a temporary,
// or a second name of another user's file that the saver may not remove
// again, had been left behind; it is a regular file, or a link to one (a
// folder, a FIFO, a socket or a device is never replaced); and as
// the platform's own file layer, a read-only file is not replaced. Answers
// whether a file stands at target, with its state in old. A link there (met
// where the link itself is replaced) answers false: the new file keeps
// nothing of it, and replaces it wherever it leads.
bool CheckTarget(const QString& fileName, const QByteArray& target, struct stat& old)
{
    const QByteArray folder = FolderOf(target);
    struct stat st {};
    const int looked = ::stat(folder.constData(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (looked == ENOENT)
        throw EFileSaveError(SaveMessage(
            fileName, QStringLiteral("The folder \"%1\" does not exist.").arg(QFile::decodeName(folder))));
    if (looked != 0)
        throw EFileSaveError(SaveMessage(fileName, SystemReason(looked)));
    struct stat own {};
    const bool named = ::lstat(target.constData(), &own) == 0;
    if (named && StickyKeeps(st, own.st_uid, own.st_gid))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EPERM)));
    if (!named || ::stat(target.constData(), &old) != 0)
        return false;
    if (S_ISDIR(old.st_mode))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EISDIR)));
    if (!S_ISREG(old.st_mode))
        throw EFileSaveError(SaveMessage(fileName, NotAFile(fileName, target)));
    if (S_ISLNK(own.st_mode))
        return false;
    if (::access(target.constData(), W_OK) != 0)
        throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
    return true;
}

// Whether refuses, asked with the state of the folder a link stands in and
// the link's owner, refuses any of links. A folder that cannot be looked at
// now is left to the steps after.
bool AnyLinkRefused(const QList<TFollowedLink>& links, bool (*refuses)(const struct stat&, uid_t, gid_t))
{
    for (const TFollowedLink& link : links) {
        struct stat folder {};
        if (::stat(FolderOf(link.Path).constData(), &folder) == 0 && refuses(folder, link.Owner, link.Group))
            return true;
    }
    return false;
}

// Whether the system, guarding shared folders against links planted for
// another user, would refuse to follow a link of owner in the folder whose
// state is folder: one that others may write.
bool SharedFolderRefusesLink(const struct stat& folder, uid_t owner, gid_t)
{
    return SharedFolderRefuses(folder, owner);
}

// Refuses, before anything is made, a save that would make its file where
// another user's link in a sticky folder leads: a link that leads nowhere
// yet there is judged as that user's file at its name would be, so that no
// user makes a file at a place another one picked for it.
void CheckLinks(const QString& fileName, const QList<TFollowedLink>& links, const QByteArray& target)
{
    struct stat end {};
    if (!links.isEmpty() && ::lstat(target.constData(), &end) != 0 && AnyLinkRefused(links, StickyKeeps))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EPERM)));
}

// Refuses, before anything is made, a save through a link that the
// system's own walk would not follow in a shared sticky folder, whether or
// not its chain ends in a file and whatever the system's own setting: the
// save follows its links itself, where that guard of the system never runs,
// and would otherwise write another user's file where a link planted for
// the saver leads.
void CheckFollowedLinks(const QString& fileName, const QList<TFollowedLink>& links)
{
    if (AnyLinkRefused(links, SharedFolderRefusesLink))
        throw EFileSaveError(SaveMessage(fileName, SystemReason(EACCES)));
}

// Puts a second name of the file open as handle, whose state is kept, in
// target's place, through a temporary that the file's lock keeps from any
// clean-up. False where the folder refuses the name (another file system,
// no hard links, no right to write there, a sticky folder where that name
// of another user's file could be neither renamed nor removed again) or
// another process holds the file locked.
bool KeepAsLink(int handle, const struct stat& kept, const QByteArray& target)
{
    const QByteArray folder = FolderOf(target);
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0 || StickyKeeps(st, kept.st_uid, kept.st_gid))
        return false;
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0)
        return false;
    QByteArray temp;
    if (!NameTemporary(folder, TemporaryStem(NameOf(target)), temp,
                       [&](const QByteArray& name) { return LinkDescriptor(handle, name); }))
        return false;
    if (::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(folder);
    return true;
}

// The whole content of the file open as handle.
QByteArray ReadWhole(const QString& fileName, int handle)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(handle, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
        if (count == 0)
            return bytes;
        bytes.append(buffer, qsizetype(count));
    }
}

} // namespace

void SaveBytesToFile(const QString& fileName, const QByteArray& bytes)
{
    TSafeFileStream file(fileName);
    file.Write(bytes.constData(), bytes.size());
    file.Commit();
}

void CheckFileName(const QString& fileName)
{
    if (fileName.isEmpty() || fileName.endsWith(u'/'))
        throw EFileSaveError(SaveMessage(fileName, QStringLiteral("The file name is empty.")));
}

void KeepFileAs(const QString& existing, const QString& fileName)
{
    CheckFileName(fileName);
    const QByteArray name = AbsoluteName(fileName);
    // What killed or refused saves left for this name goes first, also where
    // nothing can be kept, and before the kept file is locked: a second name
    // of it that one of them left is then held by nobody.
    RemoveAbandonedTemporaries(FolderOf(name), TemporaryStem(NameOf(name)), QByteArray());
    const int handle = OpenRegularPath(QFile::encodeName(existing), O_RDONLY);
    if (handle < 0) {
        if (errno == ENOENT || errno == EISDIR || errno == ENXIO)
            return;
        throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
    }
    const auto closeHandle = qScopeGuard([handle] { ::close(handle); });
    struct stat kept {};
    if (::fstat(handle, &kept) != 0)
        throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
    struct stat old {};
    if (CheckTarget(fileName, name, old) && old.st_dev == kept.st_dev && old.st_ino == kept.st_ino)
        return;
    if (KeepAsLink(handle, kept, name))
        return;
    TSafeFileStream copy(fileName, TSafeFileStream::TAtName::Replace, handle);
    copy.WriteBytes(ReadWhole(fileName, handle));
    copy.Commit();
}

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

TSafeFileStream::TSafeFileStream(const QString& fileName) : TSafeFileStream(fileName, TAtName::Follow, -1) {}

TSafeFileStream::TSafeFileStream(const QString& fileName, TAtName atName, int like) : FFileName(fileName)
{
    CheckFileName(fileName);
    QList<TFollowedLink> links;
    FTarget = atName == TAtName::Follow ? FinalTarget(fileName, links) : AbsoluteName(fileName);
    CheckLinks(fileName, links, FTarget);
    CheckFollowedLinks(fileName, links);
    const QByteArray folder = FolderOf(FTarget);
    struct stat old {};
    const bool exists = CheckTarget(fileName, FTarget, old);
    const QByteArray stem = TemporaryStem(NameOf(FTarget));
    TFileAccess access;
    if (like >= 0) {
        struct stat kept {};
        if (::fstat(like, &kept) != 0)
            throw EFileSaveError(SaveMessage(fileName, SystemReason(errno)));
        access = AccessOf(kept, acl_get_fd(like));
    } else if (exists) {
        access = AccessOf(old, acl_get_file(FTarget.constData(), ACL_TYPE_ACCESS));
    }
    FHandle = CreateTemporary(folder, stem, access, FTemp);
    if (FHandle < 0) {
        const int error = errno;
        FTemp.clear();
        throw EFileSaveError(SaveMessage(fileName, SystemReason(error)));
    }
    struct stat given {};
    if (::fstat(FHandle, &given) == 0 && (given.st_mode & (S_ISUID | S_ISGID)) != 0)
        FSetIdMode = given.st_mode & 07777;
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
        throw EFileSaveError(
            SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
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
        throw EFileSaveError(
            SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
    const int64_t position = Position();
    if (::ftruncate(FHandle, off_t(size)) != 0)
        Fail(SystemReason(errno));
    if (position > size)
        Seek(size, TSeekOrigin::soBeginning);
}

void TSafeFileStream::Commit()
{
    if (FFailed || FCommitted || FHandle < 0)
        throw EFileSaveError(
            SaveMessage(FFileName, QStringLiteral("The file is no longer open for writing.")));
    // Delayed allocation can report a full disk only here, at the flush or
    // at the close: both are checked before the old file is given up. A
    // second descriptor keeps the temporary locked until it has its name.
    // A write by a saver without CAP_FSETID may have cleared the set-id bits
    // the file was given: the file has them again, as its owner may give.
    if (FSetIdMode != 0)
        ::fchmod(FHandle, FSetIdMode);
    if (::fsync(FHandle) != 0)
        Fail(SystemReason(errno));
    FLockHandle = ::dup(FHandle);
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0)
        Fail(SystemReason(errno));
    // The name was checked when the stream was made; what the rename would
    // replace is looked at again, so that a FIFO or a device put there
    // meanwhile is left in place (the rename would take any of them).
    struct stat now {};
    if (::lstat(FTarget.constData(), &now) == 0 && !S_ISREG(now.st_mode) && !S_ISLNK(now.st_mode) &&
        !S_ISDIR(now.st_mode))
        Fail(NotAFile(FFileName, FTarget));
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
