#pragma once
// Another user of the machine watching a folder while a test saves in it,
// to show that no name a save gives a file lets that user read it.
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

// A forked child, running as the made-up user uid (the parent must be root;
// the folder one that user may list), that opens every name appearing in
// the folder read-only as soon as it is told of it and keeps whatever it
// could open. Stopped, it reads each of those files to its end (by then the
// writer has written all it will) and reports. It stops by itself after
// seconds, so a test that never stops it still ends.
class TNameProbe {
public:
    struct TReport {
        int Seen = 0;         // names that appeared (made, linked or renamed there)
        QStringList Opened;   // those it could open
        qint64 BytesRead = 0; // read from all of them
        QString Failure;      // why the probe did not run, or empty
    };

    TNameProbe(const QString& folder, uid_t uid, int seconds);
    ~TNameProbe();
    TNameProbe(const TNameProbe&) = delete;
    TNameProbe& operator=(const TNameProbe&) = delete;

    // Empty once the probe watches the folder, else why it does not.
    const QString& Failure() const { return FFailure; }
    // Stops the probe and answers what it saw.
    TReport Stop();

private:
    QString FFailure;
    pid_t FChild = -1;
    int FStop = -1;   // closed to stop the probe
    int FReport = -1; // the probe's ready byte, then its report
};

// A made-up saver for tests of groups: the user, its own group, a group it
// is a member of besides, and one it is not, of this process's made-up ids
// (MadeUpIds.h).
struct TMadeUpSaver {
    uid_t User;
    gid_t Own;
    gid_t Member;
    gid_t Stranger;
};
TMadeUpSaver MadeUpSaver();
// The made-up user a TNameProbe watches a folder as.
uid_t MadeUpWatcher();
// Runs body in a child as that saver (the parent must be root).
QString RunAsSaver(const TMadeUpSaver& saver, const std::function<QString()>& body);

// Sets the process's umask for as long as it lives, as the tests of a
// save's modes need it.
class TUmask {
public:
    explicit TUmask(mode_t mask);
    ~TUmask();
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    mode_t FBefore;
};

// Whether both folders exist and lie on two file systems.
bool OnTwoFileSystems(const QString& one, const QString& other);
