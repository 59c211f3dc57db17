#include "tests/support/NameProbe.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/MadeUpIds.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QByteArray SystemReason(const char* what)
{
    return QByteArray(what) + ": " + std::strerror(errno);
}

// What the probe holds: every name it opened, with its descriptor.
struct TWatch {
    int Events = -1;
    int Folder = -1;
    int Seen = 0;
    std::vector<std::pair<QByteArray, int>> Opened;
    QByteArray Failure;

    // Opens every name the folder's events announce, until none is waiting.
    void OpenAnnouncedNames()
    {
        alignas(inotify_event) char buffer[65536];
        for (;;) {
            const ssize_t length = ::read(Events, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                return;
            for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW)
                    Failure = "events were lost";
                if (event->len == 0)
                    continue;
                ++Seen;
                const QByteArray name(event->name);
                const int handle =
                    ::openat(Folder, event->name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
                if (handle >= 0)
                    Opened.emplace_back(name, handle);
                else if (errno == EMFILE || errno == ENFILE)
                    Failure = SystemReason("open");
            }
        }
    }

    // Every byte of the files it holds, read from their start.
    qint64 ReadAll() const
    {
        qint64 total = 0;
        char buffer[65536];
        for (const auto& [name, handle] : Opened) {
            for (off_t at = 0;;) {
                const ssize_t n = ::pread(handle, buffer, sizeof buffer, at);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                at += n;
                total += n;
            }
        }
        return total;
    }
};

// Closes every descriptor of this process but keep. A probe holds only its
// own pipe ends: the ends of another probe's pipes, held here too, would
// keep that probe from seeing its stop and its report from ending.
void CloseAllBut(std::initializer_list<int> keep)
{
    std::vector<int> open;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(folder)) {
            const int handle = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && handle != ::dirfd(folder) &&
                std::find(keep.begin(), keep.end(), handle) == keep.end())
                open.push_back(handle);
        }
        ::closedir(folder);
    }
    for (const int handle : open)
        ::close(handle);
}

// The probe's own life, in the child: becomes the user, watches, and at the
// stop (the parent closes its end) or the time limit, reports as lines: the
// names seen, the bytes read, a failure, then each name opened.
[[noreturn]] void RunProbe(const QByteArray& folder, uid_t uid, int seconds, int stop, int report)
{
    TWatch watch;
    const QString become = BecomeUser(uid, gid_t(uid), {});
    if (!become.isEmpty())
        watch.Failure = become.toUtf8();
    else if ((watch.Folder = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0)
        watch.Failure = SystemReason("the folder");
    else if ((watch.Events = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) < 0 ||
             ::inotify_add_watch(watch.Events, folder.constData(), IN_CREATE | IN_MOVED_TO) < 0)
        watch.Failure = SystemReason("inotify");
    if (!watch.Failure.isEmpty()) {
        WriteAllTo(report, 'f' + watch.Failure);
        ::_exit(0);
    }
    WriteAllTo(report, "r");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd waits[2] = {{watch.Events, POLLIN, 0}, {stop, POLLIN, 0}};
        const int ready = ::poll(waits, 2, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            watch.Failure = SystemReason("poll");
            break;
        }
        watch.OpenAnnouncedNames();
        if (waits[1].revents != 0)
            break;
    }
    watch.OpenAnnouncedNames();
    QByteArray text = QByteArray::number(watch.Seen) + '\n' + QByteArray::number(watch.ReadAll()) + '\n' +
                      watch.Failure + '\n';
    for (const auto& opened : watch.Opened)
        text += opened.first + '\n';
    WriteAllTo(report, text);
    ::_exit(0);
}

} // namespace

TNameProbe::TNameProbe(const QString& folder, uid_t uid, int seconds)
{
    int stop[2];
    int report[2];
    if (::pipe2(stop, O_CLOEXEC) != 0)
        FFailure = QStringLiteral("no pipe");
    else if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(stop[0]);
        ::close(stop[1]);
        FFailure = QStringLiteral("no pipe");
    }
    if (!FFailure.isEmpty())
        return;
    FChild = ::fork();
    if (FChild == 0) {
        CloseAllBut({STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO, stop[0], report[1]});
        RunProbe(QFile::encodeName(folder), uid, seconds, stop[0], report[1]);
    }
    ::close(stop[0]);
    ::close(report[1]);
    FStop = stop[1];
    FReport = report[0];
    char ready = 0;
    if (FChild < 0)
        FFailure = QStringLiteral("no fork");
    else if (::read(FReport, &ready, 1) != 1)
        FFailure = QStringLiteral("the probe ended before it watched");
    else if (ready != 'r')
        FFailure = QString::fromUtf8(ReadAllFrom(FReport));
}

TNameProbe::~TNameProbe()
{
    Stop();
}

TNameProbe::TReport TNameProbe::Stop()
{
    TReport report;
    report.Failure = FFailure;
    if (FStop >= 0) {
        ::close(FStop);
        FStop = -1;
    }
    if (FReport >= 0) {
        const QList<QByteArray> lines = ReadAllFrom(FReport).split('\n');
        ::close(FReport);
        FReport = -1;
        if (lines.size() < 3 && report.Failure.isEmpty())
            report.Failure = QStringLiteral("the probe did not report");
        if (lines.size() >= 3) {
            report.Seen = lines[0].toInt();
            report.BytesRead = lines[1].toLongLong();
            if (report.Failure.isEmpty())
                report.Failure = QString::fromUtf8(lines[2]);
            for (qsizetype i = 3; i < lines.size(); ++i)
                if (!lines[i].isEmpty())
                    report.Opened << QFile::decodeName(lines[i]);
        }
    }
    if (FChild > 0) {
        WaitForChild(FChild);
        FChild = -1;
    }
    return report;
}

TMadeUpSaver MadeUpSaver()
{
    const uid_t user = MadeUpId(kSaverSlot);
    return {user, gid_t(user), gid_t(MadeUpId(kSaverMemberSlot)), gid_t(MadeUpId(kSaverStrangerSlot))};
}

uid_t MadeUpWatcher()
{
    return MadeUpId(kWatcherSlot);
}

QString RunAsSaver(const TMadeUpSaver& saver, const std::function<QString()>& body)
{
    return RunAsUser(saver.User, saver.Own, {saver.Member}, body);
}

TUmask::TUmask(mode_t mask) : FBefore(::umask(mask)) {}

TUmask::~TUmask()
{
    ::umask(FBefore);
}

bool OnTwoFileSystems(const QString& one, const QString& other)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(one).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(other).constData(), &second) == 0 && first.st_dev != second.st_dev;
}
