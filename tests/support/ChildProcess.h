#pragma once
// Runs a piece of a test in a forked child under a fault the parent must not
// suffer itself: another user's rights, a kill at any step.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

// Reads handle to its end.
QByteArray ReadAllFrom(int handle);
// Writes bytes to handle, as far as it takes them.
void WriteAllTo(int handle, const QByteArray& bytes);
// Reaps the child; its wait status.
int WaitForChild(pid_t child);

// Runs body in a forked child once prepare has set it up (prepare answers an
// empty text, or why the child could not be set up); the parent gets back
// the text body answers. A child that dies, cannot be prepared or cannot
// report answers "<child failed ...>"; an exception out of body answers
// "<unexpected exception> " and its message.
QString RunInChild(const std::function<QString()>& prepare, const std::function<QString()>& body);

// A child forked as it is made, which runs body once prepare has set it up
// (as RunInChild does) while the parent goes on; Answer waits for its text
// (at most milliseconds, where given: then "<timed out>" and the child
// killed), which the end of the object waits for too.
class TAnsweringChild {
public:
    TAnsweringChild(const std::function<QString()>& prepare, const std::function<QString()>& body);
    explicit TAnsweringChild(const std::function<QString()>& body)
        : TAnsweringChild([] { return QString(); }, body)
    {
    }
    ~TAnsweringChild();
    TAnsweringChild(const TAnsweringChild&) = delete;
    TAnsweringChild& operator=(const TAnsweringChild&) = delete;
    QString Answer(std::optional<int> milliseconds = std::nullopt);

private:
    pid_t FPid = -1;
    int FRead = -1;
    QString FAnswer;
};

// Runs body in a forked child and waits for it at most milliseconds: the
// text body answers, or "<timed out>" when it has not ended by then (the
// child is killed), so that a body stuck in a call cannot hang the test.
QString RunInChildWithin(int milliseconds, const std::function<QString()>& body);

// Runs body in a child as the user uid and group uid, with no supplementary
// groups (the parent must be root): a made-up user who owns nothing, so
// folder and file permissions bind it.
QString RunAsUser(uid_t uid, const std::function<QString()>& body);
// The same as the user uid of the group gid, a member of groups besides.
QString RunAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
                  const std::function<QString()>& body);
// Runs body in a child as an ordinary user, whom file and folder permissions
// bind: root's child as a made-up user (OrdinaryUserWithheld tells whether
// it may), another user's as that user.
QString RunAsOrdinaryUser(const std::function<QString()>& body);
// Makes this process (a child; root until then) that user for good: an
// empty text, or why it could not.
QString BecomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups);
// Makes this process (a traced child that has become another user) readable
// to its tracer again: a change of user leaves a process undumpable, and
// the memory of an undumpable process is read only by a tracer with
// CAP_SYS_PTRACE, which a container's root lacks. An empty text, or why it
// could not.
QString BecomeReadableToTracer();
// Takes capability (CAP_FOWNER ...) from this process (a child, root until
// then, which stays root) for good: from its effective, permitted and
// inheritable sets. An empty text, or why it could not.
QString DropCapability(int capability);

// What becomes of a child stopped at a system call.
enum class TAfterStop { Kill, Resume };

// Runs body in forked children traced by this process, one run for every
// system call body makes: run n stops as it enters its n-th system call,
// before the call does anything, and atStop(n) runs meanwhile; then the
// child is killed (SIGKILL) or resumed to its end, where it must succeed
// (body returns). Ends with the first run that completes before its stop.
// Answers the number of runs stopped, or -1 as soon as a child could not be
// traced or a resumed child (or the completing one) did not succeed.
int StopAtEverySystemCall(const std::function<void()>& body, const std::function<void(int)>& atStop,
                          TAfterStop after);

// Runs body once in a forked child traced by this process, and runs
// atStop(n) as the child enters its n-th system call, before the call does
// anything, for every call it makes: for a test that watches each state a
// step passes through, where separate runs could make their calls in
// different numbers (a run's allocations depend on the parent's memory at
// its fork). Answers the number of calls, or -1 where the child could not
// be traced or did not succeed (body returns).
int WatchEverySystemCall(const std::function<void()>& body, const std::function<void(int)>& atStop);

// Why this process cannot trace a forked child at each system call as the
// two above do (the system's reason for the first step refused), or empty
// where it can.
QString WhyNoSystemCallStops();

// A forked child traced by this process at its system calls and driven one
// call at a time, for a test that stops a process at a call it picks by its
// number and arguments, does something meanwhile and lets it go on, or has
// that call fail with an error of its choice (an error the test could not
// bring about for real at that moment).
class TTracedChild {
public:
    // Forks a child that runs body (and succeeds where body returns),
    // stopped before body's first step.
    explicit TTracedChild(const std::function<void()>& body);
    // Kills a child that has not ended.
    ~TTracedChild();
    TTracedChild(const TTracedChild&) = delete;
    TTracedChild& operator=(const TTracedChild&) = delete;

    // Empty where the child is traced, else why it could not be.
    const QString& Refused() const { return FRefused; }
    // Lets the child run to the entry of its next system call; false where
    // it ended (or could not be traced) instead.
    bool NextCall();
    // Lets the child run to the entry of the next call for which match
    // answers true; false where it ended first.
    bool RunTo(const std::function<bool(const TTracedChild&)>& match);
    // At an entry: the call's number (SYS_...), and its argument (0 to 5).
    long Call() const { return FCall; }
    uint64_t Argument(int index) const { return FArguments[index]; }
    // The text at address in the child's memory, to its NUL (4096 bytes at
    // the most).
    QByteArray TextAt(uint64_t address) const;
    // At an entry: the call is not made, and returns error (ENOMEM ...) to
    // the child instead, which stops again as it returns. False where this
    // system's calls cannot be changed so (an architecture other than
    // x86-64).
    bool FailCall(int error);
    // From a stop: runs the child one instruction at a time until it is
    // about to run the first instruction of the function at address with
    // argument as the first argument of its call, where it stops; false where
    // it ended first, or where its instructions cannot be followed so (an
    // architecture other than x86-64). For a test that acts at an instant
    // that no system call marks.
    bool StepToCall(uint64_t address, uint64_t argument);
    // Lets the child run on, untraced.
    void Detach();
    // Lets the child run on, untraced, to its end: its exit code, 200 + the
    // signal that ended it.
    int Finish();
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FStatus = 0;
    bool FStopped = false; // at a stop of the tracing
    bool FEnded = false;   // reaped
    QString FRefused;
    long FCall = -1;
    uint64_t FArguments[6] = {};
};
