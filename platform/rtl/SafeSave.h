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
// A symbolic link as target is followed: the file it points at is replaced
// and the link stays. An existing target keeps its permission bits.
#include "platform/rtl/Streams.h"

#include <QByteArray>
#include <QString>

RTL_EXCEPTION_CLASS(EFileSaveError, EFCreateError);

// Saves bytes as fileName.
void SaveBytesToFile(const QString& fileName, const QByteArray& bytes);

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

private:
    [[noreturn]] void Fail(const QString& reason);
    void Discard();

    QString FFileName;
    QByteArray FTarget; // the path renamed over (a link's target resolved)
    QByteArray FTemp;   // the temporary file beside it
    int FHandle = -1;
    bool FFailed = false;
    bool FCommitted = false;
};
