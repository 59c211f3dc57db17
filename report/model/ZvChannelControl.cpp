#include "report/model/ZvChannelControl.h"

#include "report/print/QpDefine.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kBufferBytes = 65536;
constexpr int kHeaderBytes = 8;
constexpr uint64_t kStateBits = 3;
constexpr uint64_t kStateMask = (1u << kStateBits) - 1;

uint64_t Word(uint64_t number, TRequestState state)
{
    return number << kStateBits | uint64_t(state);
}

uint64_t Load(const uint64_t& word)
{
    return __atomic_load_n(&word, __ATOMIC_ACQUIRE);
}

void Store(uint64_t& word, uint64_t value)
{
    __atomic_store_n(&word, value, __ATOMIC_RELEASE);
}

} // namespace

struct TZarvChannelControl::TBlock {
    uint64_t Number;
    uint64_t Target;
    uint64_t Address;
    uint64_t Answerer;
    uint64_t Next; // the last number given out
    uint64_t Request; // bytes
    uint64_t Answer;
    uint64_t AnswerAlt;
};

TZarvChannelControl::TZarvChannelControl()
{
    static_assert(sizeof(TBlock) == 64);
    FBufferMap = OpenSharedMemory(QStringLiteral("ZARVBUFFER"), kBufferBytes);
    if (NamedMemorySize(FBufferMap) < kBufferBytes) {
        // A block made elsewhere with a smaller size would be written past
        // its end.
        CloseSharedMemory(FBufferMap, nullptr);
        throw EOSError(QStringLiteral("The data channel buffer ZARVBUFFER is too small"), 0);
    }
    FBuffer = static_cast<uint8_t*>(MapSharedMemory(FBufferMap));
    try {
        FBlockMap = OpenSharedMemory(QStringLiteral("ZARVREQUEST"), int(sizeof(TBlock)));
    } catch (...) {
        CloseSharedMemory(FBufferMap, FBuffer);
        throw;
    }
    FBlock = MapSharedMemory(FBlockMap);
    FMutex = OpenSharedMutex(QStringLiteral("ZARVANSWER"));
    if (!FBuffer || !FBlock || NamedMemorySize(FBlockMap) < int64_t(sizeof(TBlock)) || !FMutex) {
        const EOSError error = FMutex ? EOSError(QStringLiteral("The data channel's control block cannot be used"), 0)
                                      : LastSharedObjectError();
        CloseSharedMemory(FBufferMap, FBuffer);
        CloseSharedMemory(FBlockMap, FBlock);
        CloseSharedMutex(FMutex);
        throw error;
    }
}

TZarvChannelControl::~TZarvChannelControl()
{
    CloseSharedMemory(FBufferMap, FBuffer);
    CloseSharedMemory(FBlockMap, FBlock);
    CloseSharedMutex(FMutex);
}

uint64_t TZarvChannelControl::NewToken()
{
    uint64_t token = 0;
    while (token == 0)
        token = QRandomGenerator::system()->generate64();
    return token;
}

uint64_t TZarvChannelControl::AddressOf(const QString& name)
{
    // FNV-1a over the UTF-16 units: asked at every request, so no digest
    // that allocates. The address only tells a request to this name from
    // one to another name; the token decides which connection runs it.
    uint64_t hash = 0xcbf29ce484222325;
    for (const QChar c : name)
        hash = (hash ^ c.unicode()) * 0x100000001b3;
    return hash | 1;
}

bool TZarvChannelControl::Lock()
{
    const TWaitResult result = WaitNamedObject(FMutex, kAnswerLockMs);
    // An owner that died inside left at most a half-written buffer, which
    // the state of its request keeps anyone from reading.
    return result == TWaitResult::wrSignaled || result == TWaitResult::wrAbandoned;
}

void TZarvChannelControl::Unlock()
{
    ReleaseNamedMutex(FMutex);
}

bool TZarvChannelControl::Move(uint64_t number, TRequestState from, TRequestState to)
{
    uint64_t expected = Word(number, from);
    return __atomic_compare_exchange_n(&Block()->Number, &expected, Word(number, to), false, __ATOMIC_ACQ_REL,
                                       __ATOMIC_ACQUIRE);
}

uint64_t TZarvChannelControl::Post(const uint8_t* request, int64_t bytes, uint64_t target, uint64_t address)
{
    TBlock* block = Block();
    // Numbers start at a random place, so that a block made again never
    // gives out a number an earlier one gave.
    uint64_t next = Load(block->Next);
    while (next == 0) {
        const uint64_t start = (QRandomGenerator::system()->generate64() >> 24) + 1;
        __atomic_compare_exchange_n(&block->Next, &next, start, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    }
    const uint64_t number = __atomic_add_fetch(&block->Next, 1, __ATOMIC_ACQ_REL) & (~uint64_t(0) >> kStateBits);
    if (!Lock())
        return 0;
    // Whatever was out before is no longer answered.
    Store(block->Number, Word(0, TRequestState::rsWithdrawn));
    bytes = std::clamp<int64_t>(bytes, kHeaderBytes, kBufferBytes);
    std::memcpy(FBuffer, request, size_t(bytes));
    Store(block->Request, uint64_t(bytes));
    Store(block->Target, target);
    Store(block->Address, address);
    Store(block->Answerer, 0);
    Store(block->Number, Word(number, TRequestState::rsPending));
    Unlock();
    return number;
}

TRequestState TZarvChannelControl::StateOf(uint64_t number) const
{
    const uint64_t word = Load(Block()->Number);
    return word >> kStateBits == number ? TRequestState(word & kStateMask) : TRequestState::rsWithdrawn;
}

bool TZarvChannelControl::Withdraw(uint64_t number)
{
    for (;;) {
        const TRequestState state = StateOf(number);
        if (state == TRequestState::rsDone)
            return true;
        if (state != TRequestState::rsPending && state != TRequestState::rsRunning)
            return false;
        if (Move(number, state, TRequestState::rsWithdrawn))
            return false;
    }
}

bool TZarvChannelControl::Fetch(uint64_t number, uint8_t* norm, std::vector<uint8_t>& alt,
                                uint64_t* answerer) const
{
    // Once the request is done nobody writes the buffer until the next
    // request goes out: a writer needs its own request running.
    if (StateOf(number) != TRequestState::rsDone)
        return false;
    const TBlock* block = Block();
    const int64_t bytes = std::clamp<int64_t>(int64_t(Load(block->Answer)),
                                              kHeaderBytes, kBufferBytes);
    std::memcpy(norm, FBuffer, size_t(bytes));
    if (answerer)
        *answerer = Load(block->Answerer);
    alt.clear();
    const int32_t altNumber = qFromLittleEndian<int32_t>(norm + 4);
    if (altNumber != 1 && altNumber != 2)
        return true; // any other number is the reader's to refuse
    const TSharedHandle map = OpenSharedMemory(QStringLiteral("ZARVBUFFERALT%1").arg(altNumber), 0);
    const auto* view = static_cast<const uint8_t*>(MapSharedMemory(map));
    if (!view) {
        CloseSharedMemory(map, nullptr);
        return false;
    }
    // A view of this process older than the answer is too small for it.
    const int64_t altBytes = int64_t(Load(block->AnswerAlt));
    const bool fits = altBytes >= 0 && altBytes <= NamedMemorySize(map);
    if (fits)
        alt.assign(view, view + altBytes);
    CloseSharedMemory(map, const_cast<uint8_t*>(view));
    return fits;
}

TRequestInfo TZarvChannelControl::Current()
{
    TRequestInfo info;
    if (!Lock())
        return info;
    const TBlock* block = Block();
    const uint64_t word = Load(block->Number);
    info.Number = word >> kStateBits;
    info.State = TRequestState(word & kStateMask);
    info.Target = Load(block->Target);
    info.Address = Load(block->Address);
    info.Code = qFromLittleEndian<int32_t>(FBuffer + kHeaderBytes);
    Unlock();
    return info;
}

bool TZarvChannelControl::Take(uint64_t number, uint8_t* local)
{
    if (!Lock())
        return false;
    const bool taken = Move(number, TRequestState::rsPending, TRequestState::rsRunning);
    if (taken) {
        const int64_t bytes = std::clamp<int64_t>(int64_t(Load(Block()->Request)),
                                                  kHeaderBytes, kBufferBytes);
        std::memcpy(local, FBuffer, size_t(bytes));
    }
    Unlock();
    return taken;
}

bool TZarvChannelControl::Refuse(uint64_t number)
{
    return Move(number, TRequestState::rsPending, TRequestState::rsRefused);
}

bool TZarvChannelControl::Fail(uint64_t number)
{
    return Move(number, TRequestState::rsRunning, TRequestState::rsFailed) ||
           Move(number, TRequestState::rsPending, TRequestState::rsFailed);
}

bool TZarvChannelControl::Answer(uint64_t number, uint64_t token,
                                 const std::function<void(uint8_t*, int64_t&, int64_t&)>& write)
{
    if (!Lock())
        return false;
    bool answered = false;
    if (StateOf(number) == TRequestState::rsRunning) {
        int64_t bytes = kHeaderBytes;
        int64_t altBytes = 0;
        write(FBuffer, bytes, altBytes);
        TBlock* block = Block();
        Store(block->Answer, uint64_t(bytes));
        Store(block->AnswerAlt, uint64_t(altBytes));
        Store(block->Answerer, token);
        answered = Move(number, TRequestState::rsRunning, TRequestState::rsDone);
    }
    Unlock();
    return answered;
}
