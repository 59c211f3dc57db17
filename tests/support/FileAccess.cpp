#include "tests/support/FileAccess.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/Privileges.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <acl/libacl.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/acl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace {

struct TAclFree {
    void operator()(void* object) const { acl_free(object); }
};
using TAcl = std::unique_ptr<std::remove_pointer_t<acl_t>, TAclFree>;

QString SystemReason(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

std::vector<TWhoMayOpen::TEntry> EntriesOf(acl_t acl)
{
    std::vector<TWhoMayOpen::TEntry> entries;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t permissions = nullptr;
        acl_get_tag_type(entry, &tag);
        acl_get_permset(entry, &permissions);
        TWhoMayOpen::TEntry read{tag, 0, 0};
        if (tag == ACL_USER || tag == ACL_GROUP) {
            const std::unique_ptr<void, TAclFree> id(acl_get_qualifier(entry));
            read.Id = id ? *static_cast<const id_t*>(id.get()) : ~0u;
        }
        read.Allowed = (acl_get_perm(permissions, ACL_READ) == 1 ? 4 : 0) |
                       (acl_get_perm(permissions, ACL_WRITE) == 1 ? 2 : 0) |
                       (acl_get_perm(permissions, ACL_EXECUTE) == 1 ? 1 : 0);
        entries.push_back(read);
    }
    return entries;
}

// The rights the kernel grants the user uid, a member of groups, on a file
// of this access: the owner's entry, else the user's named entry under the
// mask, else every entry of a group it is in under the mask (the union: each
// right is granted by one of them), else the others' entry.
unsigned Granted(const TWhoMayOpen& access, uid_t uid, const std::vector<gid_t>& groups)
{
    unsigned mask = 7;
    unsigned other = 0;
    unsigned grouped = 0;
    bool inGroup = false;
    int named = -1;
    const auto member = [&](gid_t group) {
        return std::find(groups.begin(), groups.end(), group) != groups.end();
    };
    for (const TWhoMayOpen::TEntry& entry : access.Entries) {
        switch (entry.Tag) {
        case ACL_USER_OBJ:
            if (uid == access.Owner)
                return entry.Allowed;
            break;
        case ACL_USER:
            if (entry.Id == uid)
                named = int(entry.Allowed);
            break;
        case ACL_GROUP_OBJ:
        case ACL_GROUP:
            if (member(entry.Tag == ACL_GROUP_OBJ ? access.Group : gid_t(entry.Id))) {
                inGroup = true;
                grouped |= entry.Allowed;
            }
            break;
        case ACL_MASK:
            mask = entry.Allowed;
            break;
        case ACL_OTHER:
            other = entry.Allowed;
            break;
        default:
            break;
        }
    }
    if (named >= 0)
        return unsigned(named) & mask;
    return inGroup ? grouped & mask : other;
}

// Whether some user, a member of any set of the groups either access
// names, is granted by one what the other does not grant.
bool GrantsBeyond(const TWhoMayOpen& open, const TWhoMayOpen& final)
{
    std::vector<uid_t> users{open.Owner, final.Owner};
    std::vector<gid_t> groups{open.Group, final.Group};
    for (const TWhoMayOpen* access : {&open, &final})
        for (const TWhoMayOpen::TEntry& entry : access->Entries) {
            if (entry.Tag == ACL_USER)
                users.push_back(uid_t(entry.Id));
            else if (entry.Tag == ACL_GROUP)
                groups.push_back(gid_t(entry.Id));
        }
    users.push_back(*std::max_element(users.begin(), users.end()) + 1); // named nowhere
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    const size_t sets = size_t(1) << std::min<size_t>(groups.size(), 12);
    for (const uid_t user : users)
        for (size_t set = 0; set < sets; ++set) {
            std::vector<gid_t> memberOf;
            for (size_t i = 0; i < groups.size() && i < 12; ++i)
                if (set & (size_t(1) << i))
                    memberOf.push_back(groups[i]);
            if (Granted(open, user, memberOf) & ~Granted(final, user, memberOf))
                return true;
        }
    return false;
}

// The start of the SHA-256 of name's bytes in hex, or "<unread>".
QString HashOf(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<unread>");
    return QString::fromLatin1(
        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex().left(16));
}

std::string AclText(acl_t acl)
{
    const std::unique_ptr<char, TAclFree> text(acl_to_any_text(acl, nullptr, ',', TEXT_NUMERIC_IDS));
    return text ? std::string(text.get()) : std::string("<unreadable>");
}

QString SetAcl(const QString& name, const QString& text, acl_type_t type)
{
    const TAcl acl(acl_from_text(text.toLatin1().constData()));
    if (!acl)
        return QStringLiteral("not an ACL: ") + text;
    if (acl_set_file(QFile::encodeName(name).constData(), type, acl.get()) != 0)
        return SystemReason("acl_set_file");
    return QString();
}

// Why the file system of folder keeps no ACL naming a made-up user, or
// empty: an entry is set on a file there and read back.
QString WhyNoAcls(const QString& folder)
{
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral("acl-XXXXXX")));
    if (!file.open())
        return QStringLiteral("no file can be made in ") + folder;
    const uid_t named = MadeUpId(kProbeHighSlot);
    const QString failure =
        SetAccessAcl(file.fileName(), QStringLiteral("u::rw-,u:%1:r--,g::---,m::r--,o::---").arg(named));
    if (!failure.isEmpty()) {
        // An id the user namespace does not map is refused (EINVAL) on any
        // file system.
        if (const QString unmapped = UnmappedHere(named); !unmapped.isEmpty())
            return QStringLiteral("%1, so no ACL can name it (%2)").arg(unmapped, failure);
        return QStringLiteral("the file system of %1 keeps no ACLs (%2)").arg(folder, failure);
    }
    if (AccessAclOf(file.fileName()).find(QStringLiteral("user:%1:r--").arg(named).toStdString()) ==
        std::string::npos)
        return QStringLiteral("the file system of %1 dropped an ACL entry").arg(folder);
    return QString();
}

} // namespace

std::string FileAccess(const QString& name)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(name).constData(), &st) != 0)
        return "<missing>";
    return QStringLiteral("%1 %2").arg(st.st_mode, 6, 8, QLatin1Char('0')).arg(st.st_gid).toStdString();
}

std::string NodeOf(const QString& name)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(name).constData(), &st) != 0)
        return "<missing>";
    return FileAccess(name) + " inode " + std::to_string(st.st_ino) + " device " + std::to_string(st.st_rdev);
}

std::string NodesIn(const QString& folder)
{
    std::string state;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names)
        state += name.toStdString() + ' ' + NodeOf(QDir(folder).filePath(name)) + '\n';
    return state;
}

QStringList MakeFifoAndLink(const QString& folder, const QString& name)
{
    const QString fifo = QDir(folder).filePath(name);
    const QString link = QDir(folder).filePath(QStringLiteral("link-") + name);
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0644) != 0 || !QFile::link(fifo, link))
        return {};
    return {fifo, link};
}

std::string FolderState(const QString& folder)
{
    std::string state;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const QString path = QDir(folder).filePath(name);
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString line = QStringLiteral("%1 inode %2 owner %3 %4 ")
                           .arg(name)
                           .arg(st.st_ino)
                           .arg(st.st_uid)
                           .arg(QString::fromStdString(FileAccess(path)));
        if (S_ISLNK(st.st_mode)) {
            line += QStringLiteral("-> ") + QFile::symLinkTarget(path);
        } else {
            line += QString::fromStdString(AccessAclOf(path)) + ' ' + HashOf(path);
        }
        state += line.toStdString() + '\n';
    }
    return state;
}

std::string AccessAclOf(const QString& name)
{
    const TAcl acl(acl_get_file(QFile::encodeName(name).constData(), ACL_TYPE_ACCESS));
    return acl ? AclText(acl.get()) : std::string("<unreadable>");
}

QString OpenFolder(const QTemporaryDir& folder)
{
    if (!folder.isValid() || ::chmod(QFile::encodeName(folder.path()).constData(), 0755) != 0)
        return QStringLiteral("no folder under /tmp");
    return QString();
}

QString MakeFolderOf(const QString& parent, const QString& name, uid_t owner, mode_t mode)
{
    const QString folder = QDir(parent).filePath(name);
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkdir(folder) || ::chown(path.constData(), owner, owner) != 0 ||
        ::chmod(path.constData(), mode) != 0)
        return QString();
    return folder;
}

QString WhyNoAclTest(const QString& folder)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        return withheld;
    return AclsMissingIn(folder);
}

QString MakeFileOf(const QString& name, const QByteArray& bytes, uid_t owner, gid_t group, mode_t mode)
{
    const QByteArray path = QFile::encodeName(name);
    QFile file(name);
    if (!file.open(QIODevice::NewOnly) || file.write(bytes) != bytes.size())
        return QStringLiteral("cannot write ") + name;
    file.close();
    // The owner first: a change of owner clears the set-id bits.
    if (::chown(path.constData(), owner, group) != 0 || ::chmod(path.constData(), mode) != 0)
        return SystemReason("chown or chmod");
    return QString();
}

QString MakeLinkOf(const QString& name, const QString& target, uid_t owner)
{
    const QByteArray path = QFile::encodeName(name);
    if (::symlink(QFile::encodeName(target).constData(), path.constData()) != 0 ||
        ::lchown(path.constData(), owner, owner) != 0)
        return SystemReason("symlink or lchown");
    return QString();
}

QString SetAccessAcl(const QString& name, const QString& text)
{
    return SetAcl(name, text, ACL_TYPE_ACCESS);
}

QString SetDefaultAcl(const QString& folder, const QString& text)
{
    return SetAcl(folder, text, ACL_TYPE_DEFAULT);
}

QString AclsMissingIn(const QString& folder)
{
    return ProbeAnswer(QStringLiteral("ACLs"), WhyNoAcls(folder));
}

TWhoMayOpen WhoMayOpen(uid_t owner, gid_t group, const QString& aclText)
{
    const TAcl acl(acl_from_text(aclText.toLatin1().constData()));
    return {owner, group, acl ? EntriesOf(acl.get()) : std::vector<TWhoMayOpen::TEntry>()};
}

TWhoMayOpen WhoMayOpen(uid_t owner, gid_t group, mode_t mode)
{
    const TAcl acl(acl_from_mode(mode));
    return {owner, group, acl ? EntriesOf(acl.get()) : std::vector<TWhoMayOpen::TEntry>()};
}

QStringList MoreOpenThan(const QString& folder, const TWhoMayOpen& final)
{
    QStringList open;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const TAcl acl(acl_get_file(path.constData(), ACL_TYPE_ACCESS));
        TWhoMayOpen access{st.st_uid, st.st_gid, {}};
        access.Entries = acl ? EntriesOf(acl.get()) : WhoMayOpen(st.st_uid, st.st_gid, st.st_mode).Entries;
        if (!GrantsBeyond(access, final))
            continue;
        QString shown = QStringLiteral("%1 %2 group %3")
                            .arg(name)
                            .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))
                            .arg(st.st_gid);
        if (st.st_uid != final.Owner)
            shown += QStringLiteral(" owner %1").arg(st.st_uid);
        if (access.Entries.size() > 3)
            shown += QStringLiteral(" ") + QString::fromStdString(AclText(acl.get()));
        open << shown;
    }
    return open;
}

QStringList MoreOpenThan(const QString& folder, mode_t mode, gid_t group)
{
    return MoreOpenThan(folder, WhoMayOpen(::geteuid(), group, mode));
}

TSharers MadeUpSharers()
{
    const uid_t group = MadeUpId(kSharedGroupSlot);
    const uid_t named = MadeUpId(kNamedGroupSlot);
    return {gid_t(group), group, gid_t(named), named, MadeUpId(kOutsiderSlot)};
}

QByteArray OpenedAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const QString& name, bool write)
{
    const QString answer = RunAsUser(uid, gid, groups, [&] {
        const int handle =
            ::open(QFile::encodeName(name).constData(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (handle < 0)
            return errno == EACCES ? QStringLiteral("<denied>") : SystemReason("open");
        QFile file;
        const bool read = file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        return read ? QString::fromLatin1(file.readAll().toHex()) : QStringLiteral("<unread>");
    });
    if (answer.startsWith(u'<') || answer.contains(u':'))
        return answer.toUtf8();
    return QByteArray::fromHex(answer.toLatin1());
}
