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
// Answers and the overflow blocks.

namespace {

// The overflow blocks "ZARVBUFFERALT1" and "ZARVBUFFERALT2" as this process
// keeps them: one handle and view of each, shared by its connections. A
// block cannot grow while its process maps it (the views would move), so
// connections that kept views of their own would refuse one another's
// larger answers for as long as the other kept its view. The view holds the
// last answer written into it, by the connection Holder, and stays open for
// the engine until that connection's next answer into an overflow block,
// its command 12 or its end.
struct TOverflowBlock {
    std::mutex Lock; // held while the view is changed or written
    TSharedHandle Map = 0;
    uint8_t* View = nullptr;
    int64_t Size = 0;    // in bytes, as this process maps it
    uint64_t Holder = 0; // the token of the connection whose answer it holds
};

TOverflowBlock& OverflowBlock(int number)
{
    // Never freed: each connection closes the block it holds when it goes,
    // and one still open at the end of the process goes with it.
    static TOverflowBlock* const blocks = new TOverflowBlock[2];
    return blocks[number - 1];
}

void CloseBlock(TOverflowBlock& block) // Lock held
{
    if (block.Map != 0)
        CloseSharedMemory(block.Map, block.View);
    block.Map = 0;
    block.View = nullptr;
    block.Size = 0;
    block.Holder = 0;
}

} // namespace

bool TZvCustomConnection::PutAnswer(uint64_t number)
{
    const int64_t used = FCursor.Pos();
    if (FCurrentFileMap == 0)
        return FControl->Answer(number, FToken, [&](uint8_t* buffer, int64_t& bytes, int64_t&) {
            // A header written but no payload read (commands 6 and 8 to 10)
            // still reaches the engine whole.
            bytes = std::max<int64_t>(used, kZarvHeaderSize);
            std::memcpy(buffer, FNormFileBuf, size_t(bytes));
        });
    // This connection's last answer, when it went into the other block, is
    // not read any more: the engine asked again.
    ReleaseOverflow(FCurrentFileMap % 2 + 1);
    TOverflowBlock& block = OverflowBlock(FCurrentFileMap);
    // Held until the answer is in, so that no other connection of this
    // process drops or writes the view meanwhile. The block is made (and
    // grown) before the answer lock is taken: its bookkeeping may wait for
    // a stopped process.
    std::lock_guard guard(block.Lock);
    if (block.Size < used) {
        // The view of this process, too small, holds an answer to an earlier
        // request (none other is out while this one runs) and is dropped,
        // so that the block can grow. A request that is no longer out
        // leaves it: it may hold the answer to the one out now, unread.
        if (FControl->StateOf(number) != TRequestState::rsRunning)
            return false;
        CloseBlock(block);
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
        auto* view = static_cast<uint8_t*>(MapSharedMemory(map));
        if (!view) {
            CloseSharedMemory(map, nullptr);
            ChannelFail(QStringLiteral("The overflow buffer %1 cannot be mapped").arg(name));
        }
        block.Map = map;
        block.View = view;
        block.Size = NamedMemorySize(map);
    }
    return FControl->Answer(number, FToken, [&](uint8_t* buffer, int64_t& bytes, int64_t& altBytes) {
        bytes = kZarvHeaderSize;
        altBytes = used;
        std::memcpy(block.View, FAltBuffer.data(), size_t(used));
        std::memcpy(buffer, FNormFileBuf, size_t(bytes));
        // Only an answer that went in makes the view this connection's to
        // close: a late one leaves it to the connection whose answer it holds.
        block.Holder = FToken;
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
    ReleaseOverflow(1);
    ReleaseOverflow(2);
}

void TZvCustomConnection::ReleaseOverflow(int number)
{
    TOverflowBlock& block = OverflowBlock(number);
    std::lock_guard guard(block.Lock);
    if (block.Holder == FToken)
        CloseBlock(block);
}
