#include "tests/support/MemoryCgroup.h"

#include <QFile>
#include <QList>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The text of a file; empty where it cannot be read.
QByteArray TextOf(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes text into the file at path (a file of a cgroup, which takes one
// write): empty, or why not.
QString WriteTo(const QByteArray& path, const QByteArray& text)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot open %1: %2").arg(QString::fromLocal8Bit(path), SystemReason());
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    const QString why = written ? QString()
                                : QStringLiteral("cannot write \"%1\" to %2: %3")
                                      .arg(QString::fromLocal8Bit(text.trimmed()), QString::fromLocal8Bit(path),
                                           SystemReason());
    ::close(fd);
    return why;
}

// A field of /proc/self/mountinfo with its octal escapes read.
QByteArray Unescape(const QByteArray& field)
{
    QByteArray text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// Where the group goes: the folder it is made in, whether that is cgroup
// v2, and why there is none.
struct TPlace {
    QByteArray Parent;
    bool Unified = false;
    QString Why;
};

TPlace FindPlace()
{
    QByteArray unifiedGroup, memoryGroup;
    for (const QByteArray& line : TextOf("/proc/self/cgroup").split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3)
            continue;
        const QByteArray path = line.mid(fields[0].size() + fields[1].size() + 2);
        if (fields[0] == "0" && fields[1].isEmpty())
            unifiedGroup = path;
        else if (fields[1].split(',').contains("memory"))
            memoryGroup = path;
    }
    // The folder of this process's group in each mounted hierarchy, and the
    // mount's own folder.
    QByteArray unifiedFolder, unifiedTop, memoryFolder;
    for (const QByteArray& line : TextOf("/proc/self/mountinfo").split('\n')) {
        const qsizetype dash = line.indexOf(" - ");
        const QList<QByteArray> mount = line.left(dash).split(' ');
        const QList<QByteArray> source = line.mid(dash + 3).split(' ');
        if (dash < 0 || mount.size() < 5 || source.size() < 3)
            continue;
        const QByteArray root = Unescape(mount[3]);
        const QByteArray top = Unescape(mount[4]);
        const auto folderOf = [&](const QByteArray& group) -> QByteArray {
            if (root == "/")
                return top + (group == "/" ? QByteArray() : group);
            if (group == root || group.startsWith(root + '/'))
                return top + group.mid(root.size());
            return QByteArray();
        };
        if (source[0] == "cgroup" && source[2].split(',').contains("memory") && !memoryGroup.isEmpty() &&
            memoryFolder.isEmpty())
            memoryFolder = folderOf(memoryGroup);
        else if (source[0] == "cgroup2" && !unifiedGroup.isEmpty() && unifiedFolder.isEmpty()) {
            unifiedFolder = folderOf(unifiedGroup);
            unifiedTop = top;
        }
    }
    TPlace place;
    if (!memoryFolder.isEmpty()) {
        place.Parent = memoryFolder;
        return place;
    }
    if (unifiedFolder.isEmpty()) {
        place.Why = QStringLiteral("no mounted cgroup hierarchy with the memory controller shows this process");
        return place;
    }
    place.Unified = true;
    if (unifiedFolder != unifiedTop) {
        // A group of this process's parent group, which gives its children
        // the memory controller where this process's group has it.
        if (!TextOf(unifiedFolder + "/cgroup.controllers").trimmed().split(' ').contains("memory")) {
            place.Why = QStringLiteral("the memory controller is not given to this process's group %1")
                            .arg(QString::fromLocal8Bit(unifiedFolder));
            return place;
        }
        place.Parent = unifiedFolder.left(unifiedFolder.lastIndexOf('/'));
        return place;
    }
    // The root of the hierarchy as this process sees it: its children get
    // the controller where no process is in it (or it is the true root).
    if (const QString why = WriteTo(unifiedFolder + "/cgroup.subtree_control", "+memory"); !why.isEmpty()) {
        place.Why = QStringLiteral("cannot give the groups below %1 the memory controller: %2")
                        .arg(QString::fromLocal8Bit(unifiedFolder), why);
        return place;
    }
    place.Parent = unifiedFolder;
    return place;
}

} // namespace

TMemoryCgroup::TMemoryCgroup(int64_t limitBytes)
{
    static std::atomic<int> made{0};
    const TPlace place = FindPlace();
    if (!place.Why.isEmpty()) {
        FFailure = place.Why;
        return;
    }
    const QByteArray folder =
        place.Parent + "/tessvar-test-" + QByteArray::number(getpid()) + '-' + QByteArray::number(++made);
    if (::mkdir(folder.constData(), 0755) != 0) {
        FFailure = QStringLiteral("cannot make the memory cgroup %1: %2")
                       .arg(QString::fromLocal8Bit(folder), SystemReason());
        return;
    }
    FFolder = folder;
    const QByteArray limit = QByteArray::number(qlonglong(limitBytes));
    // cgroup v1 bounds memory and swap together at least at the memory's
    // own limit, which is set first.
    const QList<std::pair<QByteArray, QByteArray>> settings =
        place.Unified ? QList<std::pair<QByteArray, QByteArray>>{{"memory.max", limit}, {"memory.swap.max", "0"}}
                      : QList<std::pair<QByteArray, QByteArray>>{{"memory.limit_in_bytes", limit},
                                                                 {"memory.memsw.limit_in_bytes", limit}};
    for (const auto& [name, value] : settings) {
        const QByteArray path = folder + '/' + name;
        // Swap's own file is there only where the kernel accounts swap.
        if (name.contains("swap") || name.contains("memsw")) {
            struct stat st {};
            if (::stat(path.constData(), &st) != 0)
                continue;
        }
        if (const QString why = WriteTo(path, value); !why.isEmpty()) {
            FFailure = why;
            return;
        }
    }
}

TMemoryCgroup::~TMemoryCgroup()
{
    if (FFolder.isEmpty())
        return;
    // A process that has just ended may still be leaving the group: a
    // generous bound, never reached where all went well.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::rmdir(FFolder.constData()) != 0 && errno == EBUSY && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

QString TMemoryCgroup::Join() const
{
    if (!FFailure.isEmpty())
        return FFailure;
    return WriteTo(FFolder + "/cgroup.procs", QByteArray::number(getpid()) + '\n');
}
