#pragma once
// Stands in for a full disk: runs a piece of a test in a forked child whose
// file size limit (RLIMIT_FSIZE, which binds root too) is set low. SIGXFSZ is
// ignored there, so a write past the limit fails with EFBIG instead of ending
// the child. The parent's own limit and signal handling stay untouched.
//
// The body runs in the child and answers a text (the error it met, or
// whatever the test wants to look at); the parent gets that text back. A
// child that dies or cannot report answers "<child failed ...>".
#include <QString>

#include <functional>

QString RunWithFileSizeLimit(long long limitBytes, const std::function<QString()>& body);
