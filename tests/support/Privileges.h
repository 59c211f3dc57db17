#pragma once
// What a test may need beyond an ordinary user's rights, looked for before
// the test relies on it: each answers an empty text where this process has
// it, else why not, which the test gives as the reason of its skip. A test
// skips only for these; what the code under test does never makes it skip.
#include <QString>

// Root that may act as made-up users: a child becomes a user and group of
// its own (CAP_SETUID, CAP_SETGID, ids the user namespace maps) and gives a
// file away to them (CAP_CHOWN).
QString MadeUpUsersWithheld();
// A mount namespace of a child's own, with mounts private to it
// (CAP_SYS_ADMIN).
QString MountNamespaceWithheld();
// Leases of both kinds, read and write, that another process takes on a file
// of folder (fs.leases-enable, a file system that grants them).
QString LeasesWithheld(const QString& folder);
// A character device node (as /dev/null) made in folder and opened there
// (root with CAP_MKNOD, outside a user namespace, a file system that allows
// devices).
QString DeviceNodesWithheld(const QString& folder);
// A user namespace of a child's own (user.max_user_namespaces above 0, no
// seccomp profile refusing it).
QString UserNamespacesWithheld();
// TEMPORARY until the privileges branch merges.
QString TracingWithheld();
