#pragma once
// A process that sees a system without some of its features, as a test
// needs one: a seccomp filter makes the kernel refuse those calls with
// EOPNOTSUPP, the answer of a file system that lacks them. Meant for a
// forked child: the filter binds the process and its children for good.
#include <QString>

// Open with O_TMPFILE fails: file systems without unnamed files. Answers an
// empty text, or why it could not be arranged.
QString WithoutUnnamedFiles();

// Writing or removing an extended attribute of an open file (fsetxattr,
// fremovexattr: the calls that give a file its access ACL) fails: file
// systems that keep no ACLs, as far as writing one goes. Answers an empty
// text, or why it could not be arranged.
QString WithoutAclWrites();
