#pragma once
// Byte streams with the runtime's semantics: a position and a size, Read and
// Write that move as far as they can, and ReadBuffer / WriteBuffer that raise
// EReadError / EWriteError on a short transfer.
//
// Call order for a reader: Seek or SetPosition, then Read/ReadBuffer; a reader
// that must check a length asks Size() - Position() first.
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <sys/types.h>

class QFile;

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// File open modes and share modes, numbered as the runtime numbers them.
// Share modes are accepted for compatibility; callers that must keep other
// writers out take an advisory lock of their own.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// Opens fileName (links followed) with the open flags (O_RDONLY, O_RDWR,
// O_CREAT ...) and mode, only where it is a regular file, and without
// waiting on what is not: the descriptor (close-on-exec, blocking), or -1
// with errno. A name seen to be no regular file is not opened at all (a
// FIFO's waiting writer is not woken, a device is not touched); one that
// becomes something else meanwhile is opened without blocking and closed
// again. A regular file that another process holds under a lease is waited
// for, as a plain open waits, until the holder gives the lease up (one that
// appears at the name just as the open would create it, or any where /proc
// is missing, answers EWOULDBLOCK instead). A folder answers EISDIR; a
// FIFO, socket or device ENXIO, which NotAFileReason (FileErrors.h)
// explains.
//
// An open that may create (O_CREAT) is never weaker than the system's own
// open of that name where it guards shared folders: an existing file in a
// sticky folder that others may write is opened only where it belongs to
// the opener (the effective user) or to the folder's owner, for every user,
// root included, whatever the system's setting (fs.protected_regular); in a
// sticky folder that only its group may write, the same holds where that
// setting is 2, or cannot be read. In a user namespace an owner it cannot
// name is neither the opener nor the folder's owner (SharedFolders.h).
// Anything else answers EACCES and the file is left untouched: it is judged
// before it is truncated, also where it appears at the name while the open
// would create it. The folder judged is the one the name stands in once the
// links at its end are followed. A name that is not there is made, and what
// the open makes is its own, however its owner reads; one's own file, the
// folder owner's, and any file in a folder that is not sticky open as a
// plain open does. With O_EXCL an existing file answers EEXIST.
int OpenRegularFile(const QString& fileName, int flags, mode_t mode = 0);

// Opens the regular file at fileName (or at the end of its links) for
// reading into file, as OpenRegularFile opens it; file then owns the
// descriptor. Answers 0, or the errno why not (EISDIR for a folder, ENXIO
// for a FIFO, socket or device).
int OpenRegularForReading(QFile& file, const QString& fileName);
// Why opening fileName for reading failed with error, worded as QFile words
// it; for a FIFO, socket or device, NotAFileReason naming the end of its
// links where fileName is a link.
QString OpenFailureReason(const QString& fileName, int error);
// message as it stands, followed by ". " and the reason where error says
// fileName is no file (a FIFO, socket or device): for the messages that
// give no reason otherwise.
QString AddNotAFileReason(const QString& message, const QString& fileName, int error);
// The whole regular file at fileName, as OpenRegularForReading opens it.
// Raises EFOpenError "Cannot open file \"fileName\". reason" when it cannot
// be opened, "Cannot read file ..." when it cannot be read to its end.
QByteArray ReadRegularFile(const QString& fileName);

class TStream {
public:
    virtual ~TStream();

    // Transfers up to count bytes; returns how many were transferred.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position. Seeking past the end is allowed.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position();
    void SetPosition(int64_t position);
    virtual int64_t Size();
    virtual void SetSize(int64_t size);

    // Raise EReadError "Stream read error" / EWriteError "Stream write error"
    // when fewer than count bytes move.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    void WriteBytes(const QByteArray& bytes) { WriteBuffer(bytes.constData(), bytes.size()); }
    // Reads exactly count bytes (EReadError when fewer remain).
    QByteArray ReadBytes(int64_t count);

    // Copies count bytes from source's position; count 0 copies the whole of
    // source from its beginning. Returns the number copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TCustomMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return int64_t(FData.size()); }

    const char* Memory() const { return FData.constData(); }
    char* Memory() { return FData.data(); }
    const QByteArray& Bytes() const { return FData; }
    void SaveToStream(TStream& stream) const;
    // Through SaveBytesToFile: the old file survives a failed save.
    void SaveToFile(const QString& fileName) const;

protected:
    QByteArray FData;
    int64_t FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(const QByteArray& bytes);

    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t size) override;
    void Clear();
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const QString& fileName);
};

class TFileStream : public TStream {
public:
    // Raises EFCreateError / EFOpenError with the file name and the system's
    // reason when the file cannot be created or opened; a name that is no
    // regular file (a folder, a FIFO, a device) is refused, never waited on.
    // fmCreate opens as OpenRegularFile does with O_CREAT: another user's
    // file in a shared sticky folder is refused ("Permission denied").
    TFileStream(const QString& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;

    const QString& FileName() const { return FFileName; }
    int Handle() const { return FHandle; }

private:
    QString FFileName;
    int FHandle = -1;
};
