// The public functions of the named objects. Each finds the object of its
// handle and hands on to the file of its concern: the registry, the
// lifetime, the waits, the mutex or the bells. The last failure of an
// open, a grow or a listen, and the refusal of an end of listening, is
// kept here, for LastSharedObjectError.
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjects_p.h"

#include <QString>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

using namespace sharedobjects_detail;

namespace {

thread_local QString LastMessage;
thread_local int LastError = 0;

// Keeps a failure for LastSharedObjectError.
void Remember(int error, const QString& message)
{
    LastError = error;
    LastMessage = message;
}

TSharedHandle OpenRemembering(Kind kind, const QString& name, int64_t size, bool mayCreate, bool manualReset)
{
    // Every lock that the call takes, in whatever step (the wake-up block,
    // the object, the orphans and the other thread's object that it closes),
    // is waited for within one bound.
    const CallBound bound;
    int error = 0;
    QString message;
    const TSharedHandle handle = Open(kind, name, size, mayCreate, manualReset, error, message);
    if (!handle)
        Remember(error, message);
    return handle;
}

} // namespace

TSharedHandle OpenNamedEvent(const QString& name, bool manualReset)
{
    return OpenRemembering(Kind::Event, name, 0, true, manualReset);
}

TSharedHandle OpenNamedMutex(const QString& name)
{
    return OpenRemembering(Kind::Mutex, name, 0, true, false);
}

TSharedHandle OpenNamedMemory(const QString& name, int64_t size)
{
    const TSharedHandle handle = OpenRemembering(Kind::Memory, name, size, size > 0, false);
    if (!handle)
        throw EOSError(LastMessage, LastError);
    return handle;
}

EOSError LastSharedObjectError()
{
    return EOSError(LastMessage, LastError);
}

QString SharedObjectsFolder()
{
    int error = 0;
    QString message;
    const QByteArray folder = FolderInUse(error, message);
    if (error != 0)
        Remember(error, message);
    return QString::fromLocal8Bit(folder);
}

void* MapNamedMemory(TSharedHandle memory)
{
    auto object = Find(memory, Kind::Memory);
    return object ? AddView(object) : nullptr;
}

int64_t NamedMemorySize(TSharedHandle memory)
{
    return std::max<int64_t>(DataSize(memory), 0);
}

bool GrowNamedMemory(TSharedHandle memory, int64_t size)
{
    const CallBound bound; // the last close that a grow may run included
    int error = 0;
    QString message;
    if (GrowMemory(memory, size, error, message))
        return true;
    Remember(error, message);
    return false;
}

void SetSharedObjectsProbe(void (*probe)(TSharedStep step))
{
    Probe = probe;
}

bool UnmapNamedMemory(void* view)
{
    return DropView(view);
}

bool CloseNamedObject(TSharedHandle handle)
{
    const CallBound bound; // the orphans' closes and the object's own
    return DropHandle(handle);
}

bool SetNamedEvent(TSharedHandle event)
{
    auto object = Find(event, Kind::Event);
    return object && SetEvent(*object);
}

int ListenNamedEvent(TSharedHandle event)
{
    const CallBound bound;
    auto object = Find(event, Kind::Event);
    int error = 0;
    QString message;
    const int fd = Listen(object.get(), error, message);
    if (fd < 0)
        Remember(error, message);
    return fd;
}

bool UnlistenNamedEvent(TSharedHandle event)
{
    const CallBound bound;
    auto object = Find(event, Kind::Event);
    if (!object)
        return false;
    int error = 0;
    QString message;
    if (Unlisten(*object, error, message))
        return true;
    Remember(error, message);
    return false;
}

int DrainEventDescriptor(int descriptor)
{
    return DrainBell(descriptor);
}

bool ResetNamedEvent(TSharedHandle event)
{
    auto object = Find(event, Kind::Event);
    return object && ResetEvent(*object);
}

bool PulseNamedEvent(TSharedHandle event)
{
    auto object = Find(event, Kind::Event);
    return object && PulseEvent(*object);
}

bool ReleaseNamedMutex(TSharedHandle mutex)
{
    auto object = Find(mutex, Kind::Mutex);
    return object && ReleaseMutex(*object);
}

TWaitResult WaitNamedObject(TSharedHandle handle, uint32_t timeoutMs)
{
    // A wait that sleeps fixes the call's bound as it begins: the last close
    // that its end may run (another thread closed the handle) counts it.
    const CallBound bound;
    if (auto mutex = Find(handle, Kind::Mutex))
        return WaitMutex(*mutex, timeoutMs);
    if (auto event = Find(handle, Kind::Event)) {
        WaitList list;
        list.Add(std::move(event));
        return WaitEvents(list, timeoutMs, nullptr);
    }
    return TWaitResult::wrFailed;
}

template <class Handles> TWaitResult WaitOnHandles(const Handles& events, uint32_t timeoutMs, int* index)
{
    const CallBound bound; // as WaitNamedObject's
    WaitList list;
    for (TSharedHandle handle : events) {
        auto object = Find(handle, Kind::Event);
        if (!object)
            return TWaitResult::wrFailed;
        list.Add(std::move(object));
    }
    return WaitEvents(list, timeoutMs, index);
}

TWaitResult WaitNamedEvents(const std::vector<TSharedHandle>& events, uint32_t timeoutMs, int* index)
{
    return WaitOnHandles(events, timeoutMs, index);
}

TWaitResult WaitNamedEvents(std::initializer_list<TSharedHandle> events, uint32_t timeoutMs, int* index)
{
    return WaitOnHandles(events, timeoutMs, index);
}
