// A process of its own for the tests of where a user's named objects go and
// how long they live: started fresh (not forked from the test, whose choice
// of folder and whose registry a fork would inherit), it opens the objects
// of one name and says what it found on its standard output, a line at a
// time.
//
//   sharedobjectspeer hold NAME  makes the memory block NAME with its own
//       process id in it and takes the mutex NAME, prints "folder <folder>"
//       and "ready", then waits at most 20 s for the event NAME: prints
//       "set" and ends with 0 where it came, else "timeout" and 2.
//   sharedobjectspeer meet NAME  prints "folder <folder>", then "met <text
//       of the block> held" (the mutex is held elsewhere) or "met <text>
//       free", and sets the event; "none" where no block of that name is
//       there.
//   sharedobjectspeer script  runs the commands of its standard input, one
//       a line, answering each with one line, until the input ends; a
//       warning the library gives is a line of its own first, "warning
//       <text>":
//         folder              "folder <folder>"
//         memory NAME SIZE    opens the block (SIZE 0 only opens): "memory
//                             <size> <first 32-bit word>"
//         grow NAME SIZE      enlarges the block: "grown"
//         write NAME VALUE    stores VALUE as the block's first word: "written"
//         writeall NAME VALUE stores VALUE as a word in every page of the
//                             block's file: "written <words>"
//         readall NAME        "pages <words> <value>", the value that those
//                             words hold, or "mixed"
//         event NAME          opens the manual-reset event: "event set" or
//                             "event clear"
//         set NAME            sets it: "done"
//         wait NAME MS        waits for it: "signaled" or "timeout"
//         listen NAME         listens to the event through a descriptor:
//                             "listening"
//         rung NAME MS        waits that long for the descriptor to be
//                             readable: "rung" (and drains it) or "silent"
//         mutex NAME          opens the mutex and tries to take it: "mutex
//                             taken", "mutex abandoned" or "mutex held"
//         release NAME        releases the mutex it holds: "released"
//         close NAME          closes every handle of the name: "closed"
//         closeat NS          sleeps, then spins, until the monotonic clock
//                             reads NS nanoseconds, then closes every handle
//                             at once: "closed <began> <ended>", the clock
//                             when the close began and when it ended
//         umask OCTAL         sets the umask: "done"
//         tight N COMMAND ... runs the command (not memory, whose error is
//                             an exception) with only N descriptors free,
//                             then frees the table and answers as the
//                             command (the sanitizers' own checks need
//                             descriptors)
//         descriptors         "descriptors <count>", how many it has open
//         unshared FILE COMMAND ...
//                             opens FILE, then runs the command on a thread
//                             with a descriptor table of its own, where
//                             FILE's number is free, and closes the handle
//                             of the command's name there: answers as the
//                             command
//         forked COMMAND ...  runs the command in a child made by fork():
//                             answers as the child's command
// A failure prints "error <code> <message>" (on one line); hold and meet
// then end with 1, a script goes on.
#include "platform/os/SharedObjects.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int Fail(const QString& message)
{
    std::printf("error %s\n", qPrintable(QString(message).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    return 1;
}

int Hold(const QString& name)
{
    try {
        const TSharedHandle memory = OpenNamedMemory(name, 64);
        auto* text = static_cast<char*>(MapNamedMemory(memory));
        const TSharedHandle mutex = OpenNamedMutex(name);
        const TSharedHandle event = OpenNamedEvent(name, false);
        if (!text || !mutex || !event || WaitNamedObject(mutex, 0) != TWaitResult::wrSignaled)
            return Fail(LastSharedObjectError().Message());
        std::snprintf(text, 64, "%d", int(getpid()));
        std::printf("folder %s\nready\n", qPrintable(SharedObjectsFolder()));
        std::fflush(stdout);
        const bool set = WaitNamedObject(event, 20000) == TWaitResult::wrSignaled;
        std::printf(set ? "set\n" : "timeout\n");
        ReleaseNamedMutex(mutex);
        UnmapNamedMemory(text);
        for (TSharedHandle handle : {memory, mutex, event})
            CloseNamedObject(handle);
        return set ? 0 : 2;
    } catch (const EOSError& error) {
        return Fail(error.Message());
    }
}

int Meet(const QString& name)
{
    const QString folder = SharedObjectsFolder();
    if (folder.isEmpty())
        return Fail(OpenNamedEvent(name, false) ? QStringLiteral("no folder") : LastSharedObjectError().Message());
    std::printf("folder %s\n", qPrintable(folder));
    TSharedHandle memory = 0;
    try {
        memory = OpenNamedMemory(name, 0);
    } catch (const EOSError& error) {
        if (error.ErrorCode != ENOENT)
            return Fail(error.Message());
        std::printf("none\n");
        return 0;
    }
    const auto* text = static_cast<const char*>(MapNamedMemory(memory));
    const TSharedHandle mutex = OpenNamedMutex(name);
    const TSharedHandle event = OpenNamedEvent(name, false);
    if (!text || !mutex || !event)
        return Fail(LastSharedObjectError().Message());
    const bool held = WaitNamedObject(mutex, 0) == TWaitResult::wrTimeout;
    if (!held)
        ReleaseNamedMutex(mutex);
    std::printf("met %.63s %s\n", text, held ? "held" : "free");
    SetNamedEvent(event);
    UnmapNamedMemory(const_cast<char*>(text));
    for (TSharedHandle handle : {memory, mutex, event})
        CloseNamedObject(handle);
    return 0;
}

// The handles a script holds, by name and kind, and the descriptors its
// listening gave.
struct TScript {
    std::map<QByteArray, TSharedHandle> Memory, Events, Mutexes;
    std::map<QByteArray, int> Listening;
    std::vector<int> Filled;
    rlimit Limit{};

    void CloseAll()
    {
        for (auto* handles : {&Memory, &Events, &Mutexes}) {
            for (const auto& entry : *handles)
                CloseNamedObject(entry.second);
            handles->clear();
        }
    }
    void Close(const QByteArray& name)
    {
        for (auto* handles : {&Memory, &Events, &Mutexes}) {
            auto it = handles->find(name);
            if (it != handles->end()) {
                CloseNamedObject(it->second);
                handles->erase(it);
            }
        }
    }
    // Fills the table up to a limit set low for it (so that a table of a
    // million entries is not filled one by one), but for free descriptors.
    void Fill(int free)
    {
        getrlimit(RLIMIT_NOFILE, &Limit);
        rlimit low = Limit;
        low.rlim_cur = 256;
        setrlimit(RLIMIT_NOFILE, &low);
        for (;;) {
            const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                break;
            Filled.push_back(fd);
        }
        for (; free > 0 && !Filled.empty(); --free) {
            close(Filled.back());
            Filled.pop_back();
        }
    }
    void Free()
    {
        for (int fd : Filled)
            close(fd);
        Filled.clear();
        setrlimit(RLIMIT_NOFILE, &Limit);
    }
};

int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

QByteArray ErrorLine(int code, const QString& message)
{
    return "error " + QByteArray::number(code) + ' ' +
           QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')).toLocal8Bit();
}

// Stands for the last error of the library until it is written out: the
// error object is made only once the descriptor table is free again.
const QByteArray kLastError = "\x01";

QByteArray ScriptError()
{
    return kLastError;
}

QByteArray Written(const QByteArray& answer)
{
    if (answer != kLastError)
        return answer;
    const EOSError error = LastSharedObjectError();
    return ErrorLine(error.ErrorCode, error.Message());
}

// Where a block of size bytes has a word in every page of its file: every
// 4096th byte, and its last word.
std::vector<int64_t> PageWords(int64_t size)
{
    std::vector<int64_t> offsets;
    for (int64_t offset = 0; offset + 4 <= size; offset += 4096)
        offsets.push_back(offset);
    if (size >= 4 && offsets.back() != size - 4)
        offsets.push_back(size - 4);
    return offsets;
}

// The block's words of PageWords: their count and the value they share, or
// "mixed".
QByteArray PagesOf(TSharedHandle memory)
{
    const auto* view = static_cast<const char*>(MapNamedMemory(memory));
    if (!view)
        return ScriptError();
    const std::vector<int64_t> offsets = PageWords(NamedMemorySize(memory));
    int32_t value = 0;
    bool mixed = false;
    for (const int64_t offset : offsets) {
        int32_t word;
        std::memcpy(&word, view + offset, sizeof word);
        if (offset == 0)
            value = word;
        mixed = mixed || word != value;
    }
    UnmapNamedMemory(const_cast<char*>(view));
    return "pages " + QByteArray::number(qsizetype(offsets.size())) + ' ' +
           (mixed ? QByteArray("mixed") : QByteArray::number(value));
}

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
        --count; // the listing's own
    }
    return count;
}

QByteArray Step(TScript& script, const QList<QByteArray>& words)
{
    const QByteArray command = words.value(0);
    const QByteArray name = words.value(1);
    const QString objectName = QString::fromUtf8(name);
    if (command == "folder") {
        const QString folder = SharedObjectsFolder();
        return folder.isEmpty() ? ScriptError() : "folder " + folder.toLocal8Bit();
    }
    if (command == "memory") {
        try {
            const TSharedHandle memory = OpenNamedMemory(objectName, words.value(2).toLongLong());
            script.Memory[name] = memory;
            const auto* view = static_cast<const int32_t*>(MapNamedMemory(memory));
            const QByteArray line = "memory " + QByteArray::number(qlonglong(NamedMemorySize(memory))) + ' ' +
                                    QByteArray::number(view ? view[0] : -1);
            UnmapNamedMemory(const_cast<int32_t*>(view));
            return line;
        } catch (const EOSError& error) {
            return ErrorLine(error.ErrorCode, error.Message());
        }
    }
    if (command == "grow")
        return GrowNamedMemory(script.Memory[name], words.value(2).toLongLong()) ? "grown" : ScriptError();
    if (command == "write" || command == "writeall") {
        auto* view = static_cast<char*>(MapNamedMemory(script.Memory[name]));
        if (!view)
            return "error 0 write";
        const int32_t value = words.value(2).toInt();
        const std::vector<int64_t> offsets =
            command == "write" ? std::vector<int64_t>{0} : PageWords(NamedMemorySize(script.Memory[name]));
        for (const int64_t offset : offsets)
            std::memcpy(view + offset, &value, sizeof value);
        UnmapNamedMemory(view);
        return command == "write" ? QByteArray("written")
                                  : "written " + QByteArray::number(qsizetype(offsets.size()));
    }
    if (command == "readall")
        return PagesOf(script.Memory[name]);
    if (command == "event") {
        const TSharedHandle event = OpenNamedEvent(objectName, true);
        if (!event)
            return ScriptError();
        script.Events[name] = event;
        return WaitNamedObject(event, 0) == TWaitResult::wrSignaled ? "event set" : "event clear";
    }
    if (command == "set")
        return SetNamedEvent(script.Events[name]) ? "done" : "error 0 set";
    if (command == "wait")
        return WaitNamedObject(script.Events[name], words.value(2).toUInt()) == TWaitResult::wrSignaled
                   ? "signaled"
                   : "timeout";
    if (command == "listen") {
        const int descriptor = ListenNamedEvent(script.Events[name]);
        if (descriptor < 0)
            return ScriptError();
        script.Listening[name] = descriptor;
        return "listening";
    }
    if (command == "rung") {
        pollfd poller{script.Listening.count(name) ? script.Listening[name] : -1, POLLIN, 0};
        const bool rung = poll(&poller, 1, words.value(2).toInt()) == 1 && (poller.revents & POLLIN) != 0;
        if (rung)
            DrainEventDescriptor(poller.fd);
        return rung ? "rung" : "silent";
    }
    if (command == "mutex") {
        const TSharedHandle mutex = OpenNamedMutex(objectName);
        if (!mutex)
            return ScriptError();
        script.Mutexes[name] = mutex;
        const TWaitResult result = WaitNamedObject(mutex, 0);
        return result == TWaitResult::wrSignaled    ? "mutex taken"
               : result == TWaitResult::wrAbandoned ? "mutex abandoned"
                                                    : "mutex held";
    }
    if (command == "release")
        return ReleaseNamedMutex(script.Mutexes[name]) ? "released" : "error 0 release";
    if (command == "close") {
        script.Close(name);
        return "closed";
    }
    if (command == "closeat") {
        // Asleep until shortly before the instant, so that closers that
        // share a CPU all spin at it.
        const int64_t at = name.toLongLong();
        const int64_t wake = at - 2'000'000;
        const timespec until{time_t(wake / 1'000'000'000), long(wake % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
        while (MonotonicNs() < at) {
        }
        const int64_t began = MonotonicNs();
        script.CloseAll();
        const int64_t ended = MonotonicNs();
        return "closed " + QByteArray::number(qlonglong(began)) + ' ' + QByteArray::number(qlonglong(ended));
    }
    if (command == "umask") {
        umask(mode_t(name.toUInt(nullptr, 8)));
        return "done";
    }
    if (command == "tight") {
        // UndefinedBehaviorSanitizer checks an object's type the first time
        // it meets it with a descriptor of its own: an unnamed object, made
        // and closed first, shows it the library's types while there are
        // descriptors (it chooses no folder).
        CloseNamedObject(OpenNamedMutex(QString()));
        script.Fill(name.toInt());
        const QByteArray line = Step(script, words.mid(2));
        script.Free();
        return line;
    }
    if (command == "descriptors")
        return "descriptors " + QByteArray::number(OpenDescriptors());
    if (command == "unshared") {
        // The decoy takes the lowest free number of the table that the
        // thread copies, where the thread then frees it.
        const int decoy = open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (decoy < 0)
            return ErrorLine(errno, QStringLiteral("cannot open ") + objectName);
        QByteArray line;
        std::thread thread([&] {
            if (unshare(CLONE_FILES) != 0) {
                line = ErrorLine(errno, QStringLiteral("unshare"));
                return;
            }
            close(decoy);
            line = Written(Step(script, words.mid(2)));
            script.Close(words.value(3)); // its descriptor goes with the thread's table
        });
        thread.join();
        close(decoy);
        return line;
    }
    if (command == "forked") {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return ErrorLine(errno, QStringLiteral("pipe"));
        const pid_t child = fork();
        if (child < 0)
            return ErrorLine(errno, QStringLiteral("fork"));
        if (child == 0) {
            close(ends[0]);
            const QByteArray line = Written(Step(script, words.mid(1)));
            (void)!write(ends[1], line.constData(), size_t(line.size()));
            _exit(0);
        }
        close(ends[1]);
        QByteArray line;
        char buffer[4096];
        for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
            if (got > 0)
                line.append(buffer, qsizetype(got));
            else if (errno != EINTR)
                break;
        }
        close(ends[0]);
        waitpid(child, nullptr, 0);
        return line.isEmpty() ? QByteArray("error 0 the child answered nothing") : line;
    }
    return ErrorLine(EINVAL, QStringLiteral("unknown command ") + QString::fromUtf8(command));
}

// A warning of the library, as a line of the script's output.
void PrintWarning(QtMsgType, const QMessageLogContext&, const QString& message)
{
    std::printf("warning %s\n", qPrintable(QString(message).replace(QLatin1Char('\n'), QLatin1Char(' '))));
}

int Script()
{
    qInstallMessageHandler(PrintWarning);
    TScript script;
    std::string line;
    while (std::getline(std::cin, line))
        std::printf("%s\n", Written(Step(script, QByteArray::fromStdString(line).split(' '))).constData());
    script.CloseAll();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "script") == 0)
        return Script();
    if (argc != 3)
        return Fail(QStringLiteral("usage: sharedobjectspeer hold|meet NAME | script"));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "hold") == 0)
        return Hold(name);
    if (std::strcmp(argv[1], "meet") == 0)
        return Meet(name);
    return Fail(QStringLiteral("unknown role"));
}
