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
#include <QStringList>

#include <functional>
#include <sys/types.h>

QString RunWithFileSizeLimit(long long limitBytes, const std::function<QString()>& body);

// Runs a program (a tool, the program itself) as a child with a file size
// limit and SIGXFSZ at its default disposition, as an ordinary shell under
// "ulimit -f" starts it: only the program's own start-up can keep a write past
// the limit from killing it. Standard error is collected.
struct TLimitedRun {
    bool Signalled = false; // ended by a signal (which one in Signal)
    int Signal = 0;
    int ExitCode = -1;
    QString Errors;
};
TLimitedRun RunProgramWithFileSizeLimit(long long limitBytes, const QString& program,
                                        const QStringList& arguments);
// The same start without waiting: the child's id, and in errorsHandle the
// reading end of its standard error (the caller closes it and reaps the
// child). -1 when the child could not be started.
pid_t StartProgramWithFileSizeLimit(long long limitBytes, const QString& program,
                                    const QStringList& arguments, int& errorsHandle);
