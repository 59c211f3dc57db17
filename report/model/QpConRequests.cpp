// The requests of a connection and the way of their answers into the
// channel: one request at a time (the gate); the answer of a handler put
// into "ZARVBUFFER" and, when it outgrew it, into the overflow block of its
// number, which stays open for the engine until the next answer; and the
// request of an engine of this process put into the connection, its answer
// copied out.
#include "report/model/QpCon.h"
#include "report/model/QpCon_p.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <mutex>

using qpcon_detail::ChannelFail;

// ---------------------------------------------------------------------------
// TRequestGate.

TRequestGate::TRequestGate() : FIdle(OpenNamedEvent(QString(), false))
{
    if (!FIdle)
        throw LastSharedObjectError();
}

TRequestGate::~TRequestGate()
{
    CloseNamedObject(FIdle);
}

TRequestGate::TEntry TRequestGate::EnterLocked()
{
    if (FGone)
        return TEntry::teGone;
    const std::thread::id self = std::this_thread::get_id();
    if (FRunner == self)
        return TEntry::teNested;
    if (FRunner != std::thread::id())
        return TEntry::teBusy;
    FRunner = self;
    return TEntry::teEntered;
}

TRequestGate::TEntry TRequestGate::Enter()
{
    std::lock_guard guard(FLock);
    return EnterLocked();
}

TRequestGate::TEntry TRequestGate::EnterOrWait()
{
    std::lock_guard guard(FLock);
    const TEntry entry = EnterLocked();
    if (entry == TEntry::teBusy)
        ++FWaiters;
    return entry;
}

void TRequestGate::StopWaiting()
{
    std::lock_guard guard(FLock);
    --FWaiters;
}

void TRequestGate::Leave()
{
    std::lock_guard guard(FLock);
    FRunner = std::thread::id();
    // A waiter counted itself in when it found the gate taken, under this
    // lock: it is woken. Nobody waiting, a request costs no set.
    if (FWaiters > 0)
        SetNamedEvent(FIdle);
}

void TRequestGate::Close()
{
    std::lock_guard guard(FLock);
    FGone = true;
}

// ---------------------------------------------------------------------------
// Answers.

bool TZvCustomConnection::PutAnswer(uint64_t number)
{
    // The overflow block is made (and grown) before the answer lock is
    // taken: its bookkeeping may wait for a stopped process.
    uint8_t* altView = nullptr;
    if (FCurrentFileMap != 0) {
        std::lock_guard guard(FOverflowLock);
        CloseSharedOverflowLocked();
        const QString name = QStringLiteral("ZARVBUFFERALT%1").arg(FCurrentFileMap);
        const int64_t size = int64_t(FAltBuffer.size());
        const TSharedHandle map = OpenSharedMemory(name, int(size));
        // A block left smaller by an earlier answer (still open elsewhere)
        // is grown before it is written.
        if (NamedMemorySize(map) < size && !GrowNamedMemory(map, size)) {
            CloseSharedMemory(map, nullptr);
            ChannelFail(
                QStringLiteral("The overflow buffer %1 cannot be enlarged to %2 bytes").arg(name).arg(size));
        }
        altView = static_cast<uint8_t*>(MapSharedMemory(map));
        if (!altView) {
            CloseSharedMemory(map, nullptr);
            ChannelFail(QStringLiteral("The overflow buffer %1 cannot be mapped").arg(name));
        }
        FAltFileMap = map;
        FAltFileBuf = altView;
    }
    const int64_t used = FCursor.Pos();
    return FControl->Answer(number, FToken, [&](uint8_t* buffer, int64_t& bytes, int64_t& altBytes) {
        if (altView) {
            bytes = kZarvHeaderSize;
            altBytes = used;
            std::memcpy(altView, FAltBuffer.data(), size_t(used));
        } else {
            // A header written but no payload read (commands 6 and 8 to 10)
            // still reaches the engine whole.
            bytes = std::max<int64_t>(used, kZarvHeaderSize);
        }
        std::memcpy(buffer, FNormFileBuf, size_t(bytes));
    });
}

void TZvCustomConnection::TakeRequest(const uint8_t* request, int64_t bytes)
{
    std::memcpy(FNormFileBuf, request, size_t(std::clamp<int64_t>(bytes, 0, kZarvBufferSize)));
}

void TZvCustomConnection::CopyAnswer(uint8_t* norm, std::vector<uint8_t>& alt) const
{
    std::memcpy(norm, FNormFileBuf, kZarvBufferSize);
    if (FCurrentFileMap != 0)
        alt.assign(FAltBuffer.begin(), FAltBuffer.begin() + FCursor.Pos());
    else
        alt.clear();
}

void TZvCustomConnection::CloseSharedOverflow()
{
    std::lock_guard guard(FOverflowLock);
    CloseSharedOverflowLocked();
}

void TZvCustomConnection::CloseSharedOverflowLocked()
{
    if (FAltFileMap != 0)
        CloseSharedMemory(FAltFileMap, FAltFileBuf);
    FAltFileMap = 0;
    FAltFileBuf = nullptr;
}
