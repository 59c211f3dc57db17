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
//       a line, answering each with one line, until the input ends:
//         folder              "folder <folder>"
//         memory NAME SIZE    opens the block (SIZE 0 only opens): "memory
//                             <size> <first 32-bit word>"
//         grow NAME SIZE      enlarges the block: "grown"
//         write NAME VALUE    stores VALUE as the block's first word: "written"
//         event NAME          opens the manual-reset event: "event set" or
//                             "event clear"
//         set NAME            sets it: "done"
//         wait NAME MS        waits for it: "signaled" or "timeout"
//         mutex NAME          opens the mutex and tries to take it: "mutex
//                             taken", "mutex abandoned" or "mutex held"
//         release NAME        releases the mutex it holds: "released"
//         close NAME          closes every handle of the name: "closed"
//         closeat NS          waits, spinning, until the monotonic clock
//                             reads NS nanoseconds, then closes every
//                             handle at once: "closed"
//         umask OCTAL         sets the umask: "done"
//         fullevent NAME      opens the event as "event" does with the
//                             descriptor table full, then frees the table
//                             and answers as "event" (the sanitizers' own
//                             checks need descriptors)
// A failure to open prints "error <code> <message>" (on one line); hold and
// meet then end with 1, a script goes on.
#include "platform/os/SharedObjects.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fail(const QString& message, int code = 0)
{
    const QString line = QString(message).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (code != 0)
        std::printf("error %d %s\n", code, qPrintable(line));
    else
        std::printf("error %s\n", qPrintable(line));
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

// The handles a script holds, by name and kind.
struct TScript {
    std::map<QByteArray, TSharedHandle> Memory, Events, Mutexes;
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
    // Fills the table up to a limit set low for it, so that a table of a
    // million entries is not filled one by one.
    void Fill()
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
    }
    void Free()
    {
        if (Filled.empty())
            return;
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

void ScriptError()
{
    const EOSError error = LastSharedObjectError();
    Fail(error.Message(), error.ErrorCode);
}

void Step(TScript& script, const QList<QByteArray>& words)
{
    const QByteArray command = words.value(0);
    const QByteArray name = words.value(1);
    const QString objectName = QString::fromUtf8(name);
    if (command == "folder") {
        const QString folder = SharedObjectsFolder();
        if (folder.isEmpty())
            ScriptError();
        else
            std::printf("folder %s\n", qPrintable(folder));
    } else if (command == "memory") {
        try {
            const TSharedHandle memory = OpenNamedMemory(objectName, words.value(2).toLongLong());
            script.Memory[name] = memory;
            const auto* view = static_cast<const int32_t*>(MapNamedMemory(memory));
            std::printf("memory %lld %d\n", (long long)NamedMemorySize(memory), view ? view[0] : -1);
            UnmapNamedMemory(const_cast<int32_t*>(view));
        } catch (const EOSError& error) {
            Fail(error.Message(), error.ErrorCode);
        }
    } else if (command == "grow") {
        std::printf(GrowNamedMemory(script.Memory[name], words.value(2).toLongLong()) ? "grown\n" : "error 0 grow\n");
    } else if (command == "write") {
        auto* view = static_cast<int32_t*>(MapNamedMemory(script.Memory[name]));
        if (view)
            view[0] = words.value(2).toInt();
        UnmapNamedMemory(view);
        std::printf(view ? "written\n" : "error 0 write\n");
    } else if (command == "event" || command == "fullevent") {
        if (command == "fullevent")
            script.Fill();
        const TSharedHandle event = OpenNamedEvent(objectName, true);
        script.Free();
        if (!event)
            return ScriptError();
        script.Events[name] = event;
        std::printf(WaitNamedObject(event, 0) == TWaitResult::wrSignaled ? "event set\n" : "event clear\n");
    } else if (command == "set") {
        std::printf(SetNamedEvent(script.Events[name]) ? "done\n" : "error 0 set\n");
    } else if (command == "wait") {
        const TWaitResult result = WaitNamedObject(script.Events[name], words.value(2).toUInt());
        std::printf(result == TWaitResult::wrSignaled ? "signaled\n" : "timeout\n");
    } else if (command == "mutex") {
        const TSharedHandle mutex = OpenNamedMutex(objectName);
        if (!mutex)
            return ScriptError();
        script.Mutexes[name] = mutex;
        const TWaitResult result = WaitNamedObject(mutex, 0);
        std::printf("mutex %s\n", result == TWaitResult::wrSignaled   ? "taken"
                                  : result == TWaitResult::wrAbandoned ? "abandoned"
                                                                       : "held");
    } else if (command == "release") {
        std::printf(ReleaseNamedMutex(script.Mutexes[name]) ? "released\n" : "error 0 release\n");
    } else if (command == "close") {
        script.Close(name);
        std::printf("closed\n");
    } else if (command == "closeat") {
        const int64_t at = name.toLongLong();
        while (MonotonicNs() < at) {
        }
        script.CloseAll();
        std::printf("closed\n");
    } else if (command == "umask") {
        umask(mode_t(name.toUInt(nullptr, 8)));
        std::printf("done\n");
    } else {
        Fail(QStringLiteral("unknown command ") + QString::fromUtf8(command), EINVAL);
    }
}

int Script()
{
    TScript script;
    std::string line;
    while (std::getline(std::cin, line))
        Step(script, QByteArray::fromStdString(line).split(' '));
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
