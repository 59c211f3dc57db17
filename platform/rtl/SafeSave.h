#pragma once
// The one way the program and its build tools save a file: either the whole
// new content reaches the disk under the file's name, or the old file stays
// exactly as it was.
//
// The bytes go to a temporary file in the target's own folder (so the final
// rename never crosses file systems), written unbuffered and checked to the
// last byte, flushed to the disk, and only then renamed over the target. A
// full disk, a file-size limit, a missing folder or a read-only target raise
// EFileSaveError, whose message names the target and gives the system's
// reason; the temporary file is removed and the old file is untouched.
//
// A chain of symbolic links is followed to its end (relative links from
// their own folder, the last one possibly to a file not yet there): the final
// file is replaced and the links stay; a chain that never ends is a save
// error. An existing target keeps its permission bits.
//
// The temporary is named ".<target name>.<8 hex digits>.tmp" (a name too long
// for that keeps its start and a hash of the whole), and its writer holds a
// lock on it until it is renamed or removed. A save removes the temporaries
// of its target that nobody holds: those a killed save left behind.
#include "platform/rtl/Streams.h"

#include <QByteArray>
#include <QString>

RTL_EXCEPTION_CLASS(EFileSaveError, EFCreateError);

// Saves bytes as fileName.
void SaveBytesToFile(const QString& fileName, const QByteArray& bytes);

// Called first thing by the program and by every tool: a write past the
// file-size limit then fails (EFBIG) and becomes the save error with its
// message, instead of the signal ending the process without one.
void IgnoreFileSizeSignal();

// A stream for writers that produce their file piece by piece, and may seek
// back to patch it: everything goes to the temporary file, which Commit()
// puts in place. A stream destroyed without Commit() discards its bytes and
// leaves the target as it was. Write raises EFileSaveError instead of
// returning short; after a failure the stream refuses every further write.
//
// Call order: writes, seeks and reads in any order, then Commit() once.
class TSafeFileStream : public TStream {
public:
    explicit TSafeFileStream(const QString& fileName);
    ~TSafeFileStream() override;
    TSafeFileStream(const TSafeFileStream&) = delete;
    TSafeFileStream& operator=(const TSafeFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;

    // Flushes the temporary file to the disk and renames it over the target.
    void Commit();
    // The target as the caller named it.
    const QString& FileName() const { return FFileName; }
    // The file that is replaced: the end of the target's chain of links.
    QString Target() const;

private:
    [[noreturn]] void Fail(const QString& reason);
    void Discard();
    void ReleaseLock();

    QString FFileName;
    QByteArray FTarget; // the path renamed over (a link's target resolved)
    QByteArray FTemp;   // the temporary file beside it
    int FHandle = -1;
    int FLockHandle = -1; // holds the lock while the temporary is renamed
    bool FFailed = false;
    bool FCommitted = false;
};
