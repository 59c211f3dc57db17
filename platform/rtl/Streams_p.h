#pragma once
// Whole-count reads and writes on a POSIX descriptor, shared by the file
// streams of this folder. Both retry after a signal and after a short count.
#include <cstdint>

// Reads up to count bytes; stops early at the end of the file or on an
// error. Returns the bytes read.
int64_t ReadHandleFully(int handle, void* buffer, int64_t count);
// Writes count bytes. Returns the bytes written; when that is fewer, error
// holds the reason (ENOSPC for a write that took no byte without an error,
// as a full regular file does).
int64_t WriteHandleFully(int handle, const void* buffer, int64_t count, int& error);
