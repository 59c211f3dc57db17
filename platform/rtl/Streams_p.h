#pragma once
// Whole-count reads and writes and the seek on a POSIX descriptor, and the
// open of a regular file, shared by the file streams of this folder and its
// save. Reads and writes retry after a signal and after a short count.
#include "platform/rtl/Streams.h"

#include <QByteArray>

#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

// OpenRegularFile for an encoded path.
int OpenRegularPath(const QByteArray& path, int flags, mode_t mode = 0);

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
