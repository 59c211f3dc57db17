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
// reason (a folder is said not to exist only where nothing is there; one
// that cannot be looked at gives the reason why, "Permission denied" or
// "Not a directory"); the temporary file is removed and the old file is
// untouched. A
// target in a sticky folder that the saver may not replace there (it owns
// neither the file nor the folder and lacks CAP_FOWNER) is refused with
// "Operation not permitted" before any name is made, and so is a save
// through another user's link there that leads nowhere yet (the new file
// would be made where that user's link picked). A save through a link that
// stands in a sticky folder others may write, and that belongs neither to
// the saver (the effective user) nor to the folder's owner, is refused with
// "Permission denied" before anything is made, whether or not the link's
// chain ends in a file and for every saver, root included: the system's own
// walk would not follow such a link where it guards shared folders, and the
// save follows its links itself (links in the folder part of the name are
// followed by the system, under its own setting; a chain that leads nowhere
// and that the sticky bit keeps answers as above). A target that is no regular
// file (a folder, a FIFO, a socket, a device), directly or at the end of its
// links, is refused before anything is made and left as it was; one put
// there while the bytes are written is looked for again just before the
// rename, which would replace it.
//
// A chain of symbolic links is followed to its end (relative links from
// their own folder, the last one possibly to a file not yet there): the final
// file is replaced and the links stay; a chain that never ends is a save
// error. An existing target keeps its access: its owner where the saver may
// give files away (root), else the new file is the saver's; its group where
// the saver may give it (a member of that group); its access ACL, as the
// kernel holds it, in place of what the folder's default ACL would add (no
// entries where it had none); and its permission bits (the set-id bits given
// again once the bytes are written, which clears them where the saver lacks
// CAP_FSETID). Where the group is not kept, the new file's group bits, the
// ACL's owning group entry and its mask are cleared, so that nobody gains
// what they could not read; where the owner is not kept, its set-user-id
// bit; where the ACL cannot be read or given, the new file has only its
// owner's bits. The temporary has that access, or less, from the moment it
// has a name: no other user can open it who could not open the target (a
// named temporary takes its ACL with the mask empty, and the mode, which
// sets the mask, after it).
//
// In a user namespace that does not map every id (a rootless container, a
// sandbox) an owner or group the saver's namespace cannot name reads as the
// overflow id and is unknown (SharedFolders.h). Such an owner is no one the
// saver is, never the folder's owner, and no capability of the namespace
// counts over its files, as the system counts them: in a sticky folder its
// names are not replaced (nor kept as a second name) and its links in a
// shared sticky folder not followed, before any name is made. A save there
// keeps what the namespace can name: an unknown owner is not given (the new
// file is the saver's, without the set-user-id bit), an unknown group is
// not kept (its bits cleared, as above); an ACL entry naming an unknown user
// or group is left out, with the mask and the others' entry narrowed to
// what that entry allowed, so that nobody it named gains (an ACL left
// without named entries becomes the mode, the group's bits those the mask
// allowed the owning group).
//
// The temporary is named ".<target name>.<8 hex digits>.tmp" (a name too long
// for that keeps its start and a hash of the whole), and its writer holds a
// lock on it from before the name exists until it is renamed or removed: it
// is made unnamed, locked and then linked to its name, or, where the file
// system has no unnamed files, made as ".<target name>.<8 hex digits>.new",
// locked and then renamed to the ".tmp" name. A save removes the temporaries
// of its target that nobody holds (those a killed save left behind), and the
// ".new" names that nobody holds and that are older than a minute (a save
// killed between making and locking one).
#include "platform/rtl/Streams.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

RTL_EXCEPTION_CLASS(EFileSaveError, EFCreateError);

// Saves bytes as fileName.
void SaveBytesToFile(const QString& fileName, const QByteArray& bytes);

// Raises EFileSaveError ("The file name is empty.") when fileName names no
// file: the empty name, or one ending in "/". Every save checks its name so.
void CheckFileName(const QString& fileName);

// Keeps the present content of the file existing under fileName, before a
// save replaces existing (saves never write a file in place, so a second
// name of it keeps its bytes): a second name of the file where the folder
// allows (in a sticky folder, where the saver could remove that name again),
// else a copy of its bytes. Either takes fileName's place in one rename in
// fileName's own folder, so fileName is at every moment what stood there or
// the complete new file. Unlike a save, this replaces a link at fileName
// itself (to a file, dangling, or the first of a chain) and never writes,
// makes or renames a file the link leads to; in a sticky folder, what stands
// at fileName is judged by its own owner, a link's included. A fileName
// that already is that file, or an existing that is no regular file (a
// FIFO is not even opened, so never waited on), is left alone; a folder, a
// FIFO, a socket or a device at fileName, or a link to one, raises
// EFileSaveError and is left alone, as is fileName whenever a copy cannot be
// made. The copy has
// existing's access (as a save gives it), never that of what stood at
// fileName. The temporaries that killed or refused saves left for fileName
// are removed first, also when nothing can be kept.
void KeepFileAs(const QString& existing, const QString& fileName);

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
    // The file that is replaced: the end of the target's chain of links (for
    // a backup, the name itself).
    QString Target() const;

private:
    friend void KeepFileAs(const QString& existing, const QString& fileName);
    // Follow: a link at fileName is followed to its end, whose file is
    // replaced. Replace: the link itself is replaced. The new file takes the
    // access of the file open as like (unless -1), else of the file it
    // replaces (a new one the system's defaults).
    enum class TAtName { Follow, Replace };
    TSafeFileStream(const QString& fileName, TAtName atName, int like);

    [[noreturn]] void Fail(const QString& reason);
    void Discard();
    void ReleaseLock();

    QString FFileName;
    QByteArray FTarget; // the path renamed over (a link's target resolved)
    QByteArray FTemp;   // the temporary file beside it
    int FHandle = -1;
    int FLockHandle = -1; // holds the lock while the temporary is renamed
    mode_t FSetIdMode = 0; // the mode given, where it has a set-id bit
    bool FFailed = false;
    bool FCommitted = false;
};
