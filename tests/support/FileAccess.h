#pragma once
// Who a file lets in, as the save tests set, read and compare it: its owner,
// group, permission bits and access ACL. ACLs are written and read through
// libacl, as the kernel holds them; "more open" follows the kernel's own
// check of an ACL (root's override aside).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <sys/types.h>
#include <vector>

// The type and permission bits and the group of name ("100600 0"), a link
// not followed; "<missing>" when there is nothing.
std::string FileAccess(const QString& name);

// What stands at name, a link not followed, as far as telling it unchanged
// goes: its type, mode and group as FileAccess gives them, its inode and its
// device number (a device node's); "<missing>" when there is nothing. Never
// opens it (a FIFO would wait).
std::string NodeOf(const QString& name);
// Every name of folder (hidden ones included) with its NodeOf, one a line
// in name order: a folder that holds a FIFO told unchanged without opening
// anything.
std::string NodesIn(const QString& folder);

// Makes a FIFO name in folder and a link to it, "link-" + name, for the
// tests of readers that must refuse what is no file: the two paths, the
// FIFO's first, or an empty list where they could not be made.
QStringList MakeFifoAndLink(const QString& folder, const QString& name);

// Every name of folder (hidden ones included) with what a save could change
// of it, one line each in name order: its inode, owner, group, type and
// mode, access ACL, and a hash of its bytes (a link: where it leads).
std::string FolderState(const QString& folder);

// The access ACL of name as text with numeric ids, in the kernel's order
// ("user::rw-,group::---,group:5:r--,mask::r--,other::---"); a file without
// an ACL of its own shows the three entries of its mode. "<unreadable>"
// where it cannot be read.
std::string AccessAclOf(const QString& name);

// Lets every user list folder, a temporary folder under /tmp, so that the
// made-up users of a test reach what it holds (a test's own folder may lie
// in one only its owner may enter): an empty answer, or why it could not.
QString OpenFolder(const QTemporaryDir& folder);

// Makes the folder name in parent, owned by owner (and the group of that
// number) with mode: its path, or empty where it could not be made.
QString MakeFolderOf(const QString& parent, const QString& name, uid_t owner, mode_t mode);

// Why a test of files shared through ACLs, which reads or saves them as
// made-up users, cannot run in folder (no made-up users here, or no ACLs
// there), or empty.
QString WhyNoAclTest(const QString& folder);

// Writes bytes as a new file name of owner and group with mode (set-id bits
// included): an empty answer, or why it could not.
QString MakeFileOf(const QString& name, const QByteArray& bytes, uid_t owner, gid_t group, mode_t mode);

// Makes name a symbolic link to target, the link itself owned by owner (and
// the group of that number): an empty answer, or why it could not.
QString MakeLinkOf(const QString& name, const QString& target, uid_t owner);

// Gives name the access ACL written as text ("u::rw-,g::---,g:5:r--,m::r--,
// o::---"), or a folder the default ACL its new files take: an empty answer,
// or why it could not.
QString SetAccessAcl(const QString& name, const QString& text);
QString SetDefaultAcl(const QString& folder, const QString& text);

// Empty where the file system of folder keeps an ACL entry naming a made-up
// user, else why not (a test then skips): a file system without ACLs, or a
// user namespace that does not map the made-up users. A probe of
// Privileges.h, answering through ProbeAnswer.
QString AclsMissingIn(const QString& folder);

// The owner, group and access ACL entries of a file: what the kernel looks
// at when someone opens it.
struct TWhoMayOpen {
    struct TEntry {
        int Tag;          // ACL_USER_OBJ ... ACL_OTHER
        unsigned Id;      // the user or group of a named entry
        unsigned Allowed; // 4 read, 2 write, 1 execute
    };
    uid_t Owner = 0;
    gid_t Group = 0;
    std::vector<TEntry> Entries;
};
// The access a file of owner and group with the ACL written as text (or the
// entries of a mode) would give.
TWhoMayOpen WhoMayOpen(uid_t owner, gid_t group, const QString& aclText);
TWhoMayOpen WhoMayOpen(uid_t owner, gid_t group, mode_t mode);

// The regular files of folder (links not followed) that let someone in
// further than final would: any user, as a member of any of the groups
// either names, whom the kernel grants a right on the file that final does
// not grant. Each as "name 0644 group 12", with " owner 5" where its owner
// is not final's and its ACL where it has one beyond its mode.
QStringList MoreOpenThan(const QString& folder, const TWhoMayOpen& final);
// The same against a file of this process's user with group and mode.
QStringList MoreOpenThan(const QString& folder, mode_t mode, gid_t group);

// Made-up people of a shared file, of this process's made-up ids
// (MadeUpIds.h), as the made-up saver is.
struct TSharers {
    gid_t Group;       // the file's owning group
    uid_t GroupMember; // a member of it (and of no other group here)
    gid_t Named;       // a group the file's ACL names
    uid_t NamedMember; // a member of that one
    uid_t Outsider;    // a user of no group here, whom a folder may name
};
TSharers MadeUpSharers();

// What the user uid (of group gid and the groups besides) gets opening
// name: its bytes, or "<denied>". With write, the file is opened for
// reading and writing. Runs in a forked child (the parent must be root).
QByteArray OpenedAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const QString& name,
                    bool write = false);
