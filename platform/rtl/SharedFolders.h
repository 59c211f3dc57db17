#pragma once
// The system's rules for names in shared folders, which the file layer
// applies itself wherever it walks links or judges a file on its own (the
// save follows its links itself; an open that may create judges what it
// found before it truncates it): there the system's own guards never run,
// so the program's are never weaker than them, whatever the system's
// setting.
//
// An owner is judged by the id the system shows this process. In a user
// namespace that does not map every id (a rootless container, a sandbox,
// `unshare -U`) every user and group it cannot name reads as the overflow id
// (/proc/sys/kernel/overflowuid and overflowgid, 65534): another user's file
// and the folder owner's then read alike, while the system still tells them
// apart. Such an owner is unknown: it is never this process, never the
// folder's owner, never a link's owner, and equals no other; and a
// capability of the namespace counts over a file only where its owner and
// group are both known, as the system counts it. Only where the process's
// /proc/self/uid_map (gid_map) is the initial namespace's one line mapping
// every id is the overflow id an owner like any other. Where the map cannot
// be read (no /proc), the overflow id is unknown too, wherever the process
// runs: outside a namespace that changes only what a process running as
// that id itself (nobody) may do in sticky folders with its own files and
// links, and in folders of its own with those of others.
#include <QByteArray>

#include <sys/stat.h>
#include <sys/types.h>

// Links followed from a name to its file at the most: the system's own bound
// for a path (a longer chain is a loop for it too).
constexpr int kMaxLinks = 40;

// The folder part of path ("." for a bare name, "/" for a name in the root)
// and its last name.
QByteArray FolderOf(const QByteArray& path);
QByteArray NameOf(const QByteArray& path);
// Where the link at path leads: its target, taken from path's own folder
// where it is relative. The link is read in the folder held open as folder
// (by its last name), or by the whole path with AT_FDCWD. Empty with errno
// where it cannot be read (ENAMETOOLONG past the system's bound for a path).
QByteArray LinkDestination(int folder, const QByteArray& path);

// Whether this process's user namespace can name the user uid, the group
// gid: every id but the overflow id, which only the initial namespace's map
// names, and -1, which names no one (the system shows an ACL entry of an id
// the namespace does not map so).
bool OwnerKnown(uid_t uid);
bool GroupKnown(gid_t gid);
// Whether this process's user namespace names every user and group: the
// initial namespace.
bool EveryIdKnown();
// Whether owner is this process (its effective user), as the system knows it.
bool IsOwnUser(uid_t owner);

// Whether the system, guarding a sticky folder that writers (S_IWOTH, or
// S_IWGRP) may write against a name planted there for another user, refuses
// to use the name of owner in the folder whose state is folder: only a name
// of the user's own or of the folder's owner is used, for every user, root
// included. The system keeps that rule for the links it follows and for
// what an open that may create opens.
bool SharedFolderRefuses(const struct stat& folder, uid_t owner, mode_t writers = S_IWOTH);

// Whether this process may remove or rename a name in a sticky folder of a
// file of owner and group: CAP_FOWNER in its effective set (which root has
// unless it gave it up), where both are known.
bool OverridesStickyFolders(uid_t owner, gid_t group);
// Whether the sticky bit of the folder whose state is folder keeps this
// process from removing or renaming a name there of a file of owner and
// group: only that owner, the folder's owner and OverridesStickyFolders may.
bool StickyKeeps(const struct stat& folder, uid_t owner, gid_t group);

// Why an open that may create must not open the existing file seen at path
// (0 where it may): EACCES where the system's guard for shared sticky
// folders refuses it (SharedFolderRefuses) in a folder others may write, and
// in one only its group may write where the system's setting
// (fs.protected_regular) is 2 or cannot be read; or why the folder the name
// stands in, once the links at its end are followed, cannot be found (EAGAIN
// where that walk ends at another file than seen: the names changed since).
// One's own file is always opened.
int CreateRefusal(const QByteArray& path, const struct stat& seen);
