#pragma once
// The series of folders in /dev/shm where a user's named objects go when
// XDG_RUNTIME_DIR is not the user's: /dev/shm/tessvar-<uid>, then .1, .2 ...
// for tests that hold one of its names as another user, and that remove
// what the processes of a made-up user made there.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include <sys/types.h>

// How many names the series has.
constexpr int kObjectFolderSeries = 32;

// Name n of the series of the user id uid.
QByteArray ObjectFolderOf(uid_t uid, int n = 0);

// Removes every folder of the series of uid that belongs to owner, with the
// files in it (the objects owner's processes left); nothing else there.
void RemoveObjectFoldersOf(uid_t uid, uid_t owner);

// The names in folder, without "." and "..": of everything there, or only of
// what owner made where one is given; none where it cannot be read.
QList<QByteArray> NamesIn(const QByteArray& folder, std::optional<uid_t> owner = std::nullopt);

// Whether anything (a file, a folder, a socket, a link ...) is at path.
bool SomethingAt(const QByteArray& path);

// Fills the file system at /dev/shm, as this process's mount namespace
// sees it (a small one of the test's own), with a file of user uid's own
// (made, or grown) until no room is left, from a child of that user (this
// process is root), then gives pagesLeft pages of it back (a hole punched
// at its start, its size kept), so that exactly that many pages are free:
// empty, or why not.
QString FillDevShmAs(uid_t uid, int pagesLeft = 0);
