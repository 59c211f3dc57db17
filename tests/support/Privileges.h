#pragma once
// What a test may need beyond an ordinary user's rights, looked for before
// the test relies on it: each answers an empty text where this process has
// it, else why not, which the test gives as the reason of its skip. A test
// skips only for these; what the code under test does never makes it skip.
//
// Every probe answers through ProbeAnswer. Where every privilege is known to
// be there (CI runs the tests as root with every capability), the variable
// TESSVAR_TEST_ALL_PRIVILEGES=1 makes a privilege found withheld fail the
// running test, naming the privilege and the reason, although the test then
// skips: a probe that answers "withheld" where it should not cannot hide
// the tests that ask it.
#include <QString>

#include <sys/types.h>

// A probe's answer, reason (empty where the privilege is there); where
// reason is not empty and TESSVAR_TEST_ALL_PRIVILEGES is 1, it also records
// a failure of the running test naming privilege and reason.
QString ProbeAnswer(const QString& privilege, const QString& reason);

// Root that may act as made-up users: a child becomes a user and group of
// its own (CAP_SETUID, CAP_SETGID, ids the user namespace maps) and gives a
// file away to them (CAP_CHOWN).
QString MadeUpUsersWithheld();
// An ordinary user's rights that bind a test: this process is not root, or
// is root that may act as a made-up user (RunAsOrdinaryUser).
QString OrdinaryUserWithheld();
// A mount namespace of a child's own, with mounts private to it
// (CAP_SYS_ADMIN).
QString MountNamespaceWithheld();
// A user namespace of a child's own (unshare(CLONE_NEWUSER)): refused by a
// seccomp profile, or where user.max_user_namespaces is 0.
QString UserNamespacesWithheld();
// Maps of several lines that a helper outside writes into a child's user
// namespace, as newuidmap writes a rootless container's (root with
// CAP_SYS_ADMIN besides CAP_SETUID and CAP_SETGID, over a made-up user's
// namespace).
QString NamespaceMapsWithheld();
// A forked child traced at each of its system calls as StopAtEverySystemCall
// and WatchEverySystemCall trace it (PTRACE_TRACEME, then PTRACE_SYSCALL
// stops): refused where kernel.yama.ptrace_scope is 3, or 2 without
// CAP_SYS_PTRACE, or by a seccomp profile without ptrace.
QString TracingWithheld();
// The memory of a forked child traced as TTracedChild traces it, read by
// this process (PTRACE_PEEKDATA) after the child became a made-up user and
// made itself dumpable again (as BecomeReadableToTracer does): refused where
// the child stays undumpable and this process lacks CAP_SYS_PTRACE, or by a
// seccomp profile.
QString TracedMemoryWithheld();
// A lease of kind (F_RDLCK read, F_WRLCK write) that another process takes
// on a file of folder (fs.leases-enable, a file system that grants it: some
// grant read leases and refuse write ones).
QString LeasesWithheld(const QString& folder, int kind);
// A character device node (as /dev/null) made in folder and opened there
// (root with CAP_MKNOD, outside a user namespace, a file system that allows
// devices).
QString DeviceNodesWithheld(const QString& folder);

// A memory cgroup of the test's own with a limit, that a forked child joins
// (TMemoryCgroup): root, or a user given the hierarchy's groups, where a
// cgroup file system with the memory controller shows this process's group
// and may give a new group that controller (in cgroup v2, where this
// process's group has it, or is the root of what this process sees and
// holds no process beside it).
QString MemoryCgroupWithheld();

// Whether the kernel tells two threads' tables of descriptors apart
// (kcmp(KCMP_FILES), which a kernel without checkpoint support lacks and a
// seccomp profile may refuse).
QString DescriptorTablesWithheld();

// Where this process's user namespace does not map the user id
// (/proc/self/uid_map), so that no file can be given to it nor an ACL entry
// name it: a text saying so; else empty.
QString UnmappedHere(uid_t id);
