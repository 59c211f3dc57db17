// A process of its own for the tests of where a user's named objects go:
// started fresh (not forked from the test, whose choice of folder a fork
// would inherit), it opens the objects of one name and says what it found
// on its standard output, a line at a time.
//
//   sharedobjectspeer hold NAME  makes the memory block NAME with its own
//       process id in it and takes the mutex NAME, prints "folder <folder>"
//       and "ready", then waits at most 20 s for the event NAME: prints
//       "set" and ends with 0 where it came, else "timeout" and 2.
//   sharedobjectspeer meet NAME  prints "folder <folder>", then "met <text
//       of the block> held" (the mutex is held elsewhere) or "met <text>
//       free", and sets the event; "none" where no block of that name is
//       there.
// A failure to open prints "error <message>" (on one line) and ends with 1.
#include "platform/os/SharedObjects.h"

#include <cstdio>
#include <cstring>
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

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3)
        return Fail(QStringLiteral("usage: sharedobjectspeer hold|meet NAME"));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "hold") == 0)
        return Hold(name);
    if (std::strcmp(argv[1], "meet") == 0)
        return Meet(name);
    return Fail(QStringLiteral("unknown role"));
}
