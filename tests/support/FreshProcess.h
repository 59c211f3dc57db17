#pragma once
// Starts a program as a process of its own, not a forked copy of the test's
// state, as another user or inside a user namespace: for tests of what
// processes that started apart share (named objects, folders), where a
// forked child would inherit what the test process had chosen already.
// The program's standard output is read line by line; its standard input
// stays open until the test closes it (a peer that ends at its end).
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

class TFreshProcess {
public:
    // Runs program with arguments in a child that first runs become (a
    // change of user or namespace, answering an empty text or why it could
    // not). The program file is opened here, before the change, and run
    // through that descriptor: a made-up user with no way through the build
    // folder's path still runs it. The child's environment is this
    // process's without XDG_RUNTIME_DIR, with the "NAME=value" entries of
    // environment added.
    TFreshProcess(const QString& program, const QStringList& arguments, const std::function<QString()>& become,
                  const QStringList& environment = {});
    // Kills a child still running.
    ~TFreshProcess();
    TFreshProcess(const TFreshProcess&) = delete;
    TFreshProcess& operator=(const TFreshProcess&) = delete;

    // The next line of its output without its end; empty where none came
    // within ms or the output ended. A child that could not be set up or
    // started gives the line "<not started> " and why.
    QByteArray ReadLine(int ms);
    // Writes line and its end to its standard input; false where it is
    // closed or the child no longer reads it.
    bool Send(const QByteArray& line);
    // Sends line and answers the next line of the output (within ms).
    QByteArray Ask(const QByteArray& line, int ms);
    // Closes its standard input.
    void CloseInput();
    // Closes its standard input; its exit code once it ended, 200 + the signal that ended it; a child
    // still running after ms is killed (and answers 200 + SIGKILL).
    int Finish(int ms);
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FOutput = -1;
    int FInput = -1;
    QByteArray FPending;
    int FExitCode = -1;
};
