#pragma once
// A memory cgroup of a test's own, with a limit, that forked children join:
// where the kernel limits what their processes may take, as a container's
// memory limit does. Made in the hierarchy of the memory controller that
// this process is in: below its own group in cgroup v1; in cgroup v2 beside
// it (a group that holds processes gives its children no controller), or
// below it where it is the root of the hierarchy. Swap is closed to it, so
// that a process past the limit meets the kernel's out-of-memory killer
// rather than the swap.
#include <QByteArray>
#include <QString>

#include <cstdint>

class TMemoryCgroup {
public:
    explicit TMemoryCgroup(int64_t limitBytes);
    // Removes the group; every process that joined it must have ended.
    ~TMemoryCgroup();
    TMemoryCgroup(const TMemoryCgroup&) = delete;
    TMemoryCgroup& operator=(const TMemoryCgroup&) = delete;

    // Why the group could not be made; empty where it was.
    const QString& Failure() const { return FFailure; }
    // Moves the calling process (a forked child) into the group: empty, or
    // why not.
    QString Join() const;
    // The group's folder.
    const QByteArray& Folder() const { return FFolder; }

private:
    QByteArray FFolder;
    QString FFailure;
};
