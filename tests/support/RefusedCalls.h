#pragma once
// A process that sees a system without some of its features, as a test
// needs one: a seccomp filter makes the kernel refuse those calls with
// EOPNOTSUPP, the answer of a file system that lacks them (or with EIO, that
// of a disk that fails them; with EPERM, that of a container's profile).
// Meant for a forked child: the filter binds the process and its children
// for good.
#include <QString>

// Open with O_TMPFILE fails: file systems without unnamed files. Answers an
// empty text, or why it could not be arranged.
QString WithoutUnnamedFiles();

// Writing or removing an extended attribute of an open file (fsetxattr,
// fremovexattr: the calls that give a file its access ACL) fails: file
// systems that keep no ACLs, as far as writing one goes. Answers an empty
// text, or why it could not be arranged.
QString WithoutAclWrites();

// Writing an extended attribute of an open file (fsetxattr) fails, while
// removing one still works: a file system that takes no new ACL.
QString WithoutAclSets();

// Reading an extended attribute (getxattr, lgetxattr, fgetxattr) fails with
// EIO: a file whose ACL cannot be read.
QString WithUnreadableAcls();

// ptrace fails with EPERM: a seccomp profile without it, as a container's.
QString WithoutTracing();

// Reading a traced process's memory (ptrace PTRACE_PEEKDATA) fails with
// EIO, the kernel's answer to a tracer without CAP_SYS_PTRACE reading a
// process that is not dumpable; every other ptrace request works.
QString WithoutMemoryReads();

// unshare with CLONE_NEWUSER fails with EPERM: a seccomp profile that
// refuses user namespaces, as a container's.
QString WithoutUserNamespaces();

// unshare with CLONE_NEWNS fails with EPERM, though the process keeps
// CAP_SYS_ADMIN: a seccomp profile that refuses mount namespaces.
QString WithoutMountNamespaces();

// kcmp fails with error: ENOSYS, as on a kernel without it, or EPERM, as
// under a container's seccomp profile. Answers an empty text, or why it
// could not be arranged.
QString WithoutKcmp(int error);

// Taking a lease (fcntl F_SETLEASE) fails with EINVAL, while every other
// fcntl works: a file system that grants no leases.
QString WithoutLeases();
