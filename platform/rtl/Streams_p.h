#pragma once
// Whole-count reads and writes and the seek on a POSIX descriptor, and the
// walk of names and links, shared by the file streams of this folder and
// its save. Reads and writes retry after a signal and after a short count.
#include "platform/rtl/Streams.h"

#include <QByteArray>

#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

// Links followed from a name to its file at the most: the system's own bound
// for a path (a longer chain is a loop for it too).
constexpr int kMaxLinks = 40;

// OpenRegularFile for an encoded path.
int OpenRegularPath(const QByteArray& path, int flags, mode_t mode = 0);

// The folder part of path ("." for a bare name, "/" for a name in the root)
// and its last name.
QByteArray FolderOf(const QByteArray& path);
QByteArray NameOf(const QByteArray& path);
// Where the link at path leads: its target, taken from path's own folder
// where it is relative. The link is read in the folder held open as folder
// (by its last name), or by the whole path with AT_FDCWD. Empty with errno
// where it cannot be read (ENAMETOOLONG past the system's bound for a path).
QByteArray LinkDestination(int folder, const QByteArray& path);

// Whether the system, guarding a sticky folder that writers (S_IWOTH, or
// S_IWGRP) may write against a name planted there for another user, refuses
// to use the name of owner in the folder whose state is folder: only a name
// of the user's own (the effective user) or of the folder's owner is used,
// for every user, root included. The system keeps that rule for the links
// it follows and for what an open that may create opens.
bool SharedFolderRefuses(const struct stat& folder, uid_t owner, mode_t writers = S_IWOTH);

// Reads up to count bytes; stops early at the end of the file or on an
// error. Returns the bytes read.
int64_t ReadHandleFully(int handle, void* buffer, int64_t count);
// Writes count bytes. Returns the bytes written; when that is fewer, error
// holds the reason (ENOSPC for a write that took no byte without an error,
// as a full regular file does).
int64_t WriteHandleFully(int handle, const void* buffer, int64_t count, int& error);
// Moves the descriptor's position. Returns the new position, or -1 when the
// system refuses.
int64_t SeekHandle(int handle, int64_t offset, TSeekOrigin origin);
