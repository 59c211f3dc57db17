#pragma once
// Runs a piece of a test in a forked child under a fault the parent must not
// suffer itself: another user's rights, a kill at any step.
#include <QByteArray>
#include <QString>

#include <functional>
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
