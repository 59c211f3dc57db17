// The words of an event and every change of them: a set, a reset and a
// pulse; a waiter's registration, its take of an event it finds set, its
// grant and its leaving; and the waiters' slots of the user's block, taken
// and given back by each wait that registers. No other file writes these
// words. The rule that every change here keeps is stated beside the words,
// in SharedObjectsLayout.h.
#include "platform/os/SharedObjects_p.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sharedobjects_detail {

using namespace sharedobjects_layout;

namespace {

// A slot's status, in the lowest byte of its State.
enum : uint32_t {
    kIdle = 0,        // no wait, or the wait left
    kRegistering = 1, // registering on its events: takes grants
    kWaiting = 2,     // registered on all: takes grants, before registering ones
    kClaiming = 3,    // taking an event it found set: takes no grant
    kGranted = 4,     // granted (or took) the event of Index: takes no grant
    kAsleep = 0x80,   // with kWaiting: the waiter sleeps, a grant wakes it
};

uint64_t Load64(const uint64_t& word)
{
    return __atomic_load_n(&word, __ATOMIC_SEQ_CST);
}

void Store64(uint64_t& word, uint64_t value)
{
    __atomic_store_n(&word, value, __ATOMIC_SEQ_CST);
}

bool Swap64(uint64_t& word, uint64_t& expected, uint64_t desired)
{
    return __atomic_compare_exchange_n(&word, &expected, desired, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

// The fields of an event's word.
bool IsSet(uint64_t word)
{
    return (word & kSetBit) != 0;
}

uint32_t GenerationOf(uint64_t word)
{
    return uint32_t(word >> kGenerationShift) & kGenerationMask;
}

uint64_t WithNextGeneration(uint64_t word)
{
    const uint64_t next = (GenerationOf(word) + 1) & kGenerationMask;
    return (word & ~(kGenerationMask << kGenerationShift)) | next << kGenerationShift;
}

uint64_t EntryBit(int entry)
{
    return uint64_t(1) << (kEntryShift + entry);
}

uint64_t RegisteredBits(uint64_t word)
{
    return word >> kEntryShift;
}

// The fields of a slot's State: ticket << 32 | index << 8 | status.
uint64_t SlotState(uint32_t ticket, uint32_t status, uint32_t index)
{
    return uint64_t(ticket) << 32 | uint64_t(index) << 8 | status;
}

uint32_t TicketOf(uint64_t state)
{
    return uint32_t(state >> 32);
}

uint32_t StatusOf(uint64_t state)
{
    return uint32_t(state) & 0x7F;
}

bool Asleep(uint64_t state)
{
    return (uint32_t(state) & kAsleep) != 0;
}

uint32_t IndexOf(uint64_t state)
{
    return uint32_t(state) >> 8;
}

bool TakesGrants(uint64_t state)
{
    return StatusOf(state) == kRegistering || StatusOf(state) == kWaiting;
}

// The fields of an entry: ticket << 32 | index << 22 | generation << 11 |
// slot + 1 (0: no entry). The index is the event's place in the waiter's
// list; the generation, the lowest 11 bits of a manual-reset event's when
// the waiter registered (its sets and pulses grant every waiter they find,
// so a waiter is granted long before they could go round).
constexpr uint32_t kMostIndex = 0x3FF;           // 10 bits
constexpr uint32_t kEntryGenerationMask = 0x7FF; // 11 bits
static_assert(kWaiterSlots < 0x7FF);             // 11 bits hold slot + 1

uint64_t EntryValue(int slot, uint32_t ticket, uint32_t index, uint32_t generation)
{
    return uint64_t(ticket) << 32 | uint64_t(index) << 22 |
           uint64_t(generation & kEntryGenerationMask) << 11 | uint64_t(slot + 1);
}

// The slot an entry names; -1 for none, or for a number past the block
// (the words are the user's own, but a file may hold anything).
int SlotOf(uint64_t entry)
{
    const int slot = int(entry & 0x7FF) - 1;
    return slot < kWaiterSlots ? slot : -1;
}

uint32_t EntryTicket(uint64_t entry)
{
    return uint32_t(entry >> 32);
}

uint32_t EntryIndex(uint64_t entry)
{
    return uint32_t(entry >> 22) & kMostIndex;
}

uint32_t EntryGeneration(uint64_t entry)
{
    return uint32_t(entry >> 11) & kEntryGenerationMask;
}

// An entry that a waiter or a clearer is taking out of its event: its bit
// is cleared by the one that wrote this, and by nobody else.
constexpr uint64_t kClearing = ~uint64_t(0);

// The futex word of a slot's robust mutex, as the kernel's protocol of
// robust futexes defines it: the id of the thread that holds the mutex, and
// FUTEX_OWNER_DIED once that thread has ended holding it. The C library
// keeps it first in the mutex.
static_assert(offsetof(pthread_mutex_t, __data.__lock) == 0);
uint32_t OwnerWord(const WaiterSlot& slot)
{
    return __atomic_load_n(reinterpret_cast<const uint32_t*>(&slot.Owner), __ATOMIC_SEQ_CST);
}

// Whether the thread that waits in slot lives: its mutex is held by the
// thread that took the slot, not marked by the kernel as left by a thread
// that ended, nor taken over since. Read, never taken: a thread that takes
// the mutex of a slot to find out makes the slot look alive to every other.
bool WaiterLives(const WaiterSlot& slot)
{
    const uint32_t owner = OwnerWord(slot);
    return owner != 0 && (owner & FUTEX_OWNER_DIED) == 0 &&
           (owner & FUTEX_TID_MASK) == __atomic_load_n(&slot.Tid, __ATOMIC_SEQ_CST);
}

// Whether an entry no longer stands for a wait that may take a grant or
// take its event: the wait of its slot is another, or has left, or its
// thread has ended.
bool Left(const WaiterSlots& block, uint64_t entry)
{
    const int k = SlotOf(entry);
    if (k < 0)
        return true;
    const WaiterSlot& slot = block.Slots[k];
    const uint64_t state = Load64(slot.State);
    return TicketOf(state) != EntryTicket(entry) || StatusOf(state) == kIdle || !WaiterLives(slot);
}

// Takes the registration of entry (holding value) out of the event: the
// one who marks the entry as being cleared clears its bit, then the entry.
// The bit is nobody else's to clear, and no waiter takes the entry before
// it is 0, so no bit of a later registration is ever cleared here.
void Unregister(EventWords& words, int entry, uint64_t value)
{
    uint64_t expected = value;
    if (!Swap64(words.Entries[entry], expected, kClearing))
        return; // cleared by another
    uint64_t word = Load64(words.Word);
    while ((word & EntryBit(entry)) != 0 && !Swap64(words.Word, word, word & ~EntryBit(entry))) {
    }
    Store64(words.Entries[entry], 0);
}

// An entry that a waiter may take: its bit clear in word, and nothing in
// it, or what a waiter that left before it set its bit left there. Where
// none is, the registrations of waits that left (a waiter killed while it
// waited leaves its bit set) are taken out, and kRetry answered: the word
// changed. kFull where every entry registers a wait that may go on.
constexpr int kRetry = -2;
constexpr int kFull = -1;

int FreeEntry(EventWords& words, const WaiterSlots& block, uint64_t word)
{
    const uint64_t all = (uint64_t(1) << kEventEntries) - 1;
    for (uint64_t free = ~RegisteredBits(word) & all; free != 0; free &= free - 1) {
        const int entry = __builtin_ctzll(free);
        uint64_t value = Load64(words.Entries[entry]);
        if (value == 0 ||
            (value != kClearing && Left(block, value) && Swap64(words.Entries[entry], value, 0)))
            return entry;
    }
    bool cleared = false;
    for (uint64_t taken = RegisteredBits(word) & all; taken != 0; taken &= taken - 1) {
        const int entry = __builtin_ctzll(taken);
        const uint64_t value = Load64(words.Entries[entry]);
        if (value != 0 && value != kClearing && Left(block, value)) {
            Unregister(words, entry, value);
            cleared = true;
        }
    }
    return cleared ? kRetry : kFull;
}

// Grants the event to the waiter of entry, which the caller found not left,
// where its slot takes grants for that wait (waitingOnly: only where it
// waits, registered on all its events), and wakes it where it sleeps.
bool Grant(WaiterSlots& block, uint64_t entry, bool waitingOnly)
{
    WaiterSlot& slot = block.Slots[SlotOf(entry)];
    uint64_t state = Load64(slot.State);
    for (;;) {
        if (TicketOf(state) != EntryTicket(entry) || !TakesGrants(state))
            return false;
        if (waitingOnly && StatusOf(state) != kWaiting)
            return false;
        if (Swap64(slot.State, state, SlotState(EntryTicket(entry), kGranted, EntryIndex(entry))))
            break;
    }
    if (Asleep(state))
        syscall(SYS_futex, reinterpret_cast<uint32_t*>(&slot.State), FUTEX_WAKE, 1, nullptr, nullptr, 0);
    return true;
}

// Grants an auto-reset event to one of its waiters: one that waits before
// one that still registers, looking from the entry after the one granted
// last, so that every waiter has its turn. Entries of waits that left are
// cleared on the way. False where no waiter took it.
bool GrantOne(EventWords& words, WaiterSlots& block)
{
    const uint32_t start = __atomic_load_n(&words.Next, __ATOMIC_RELAXED) % kEventEntries;
    for (const bool waitingOnly : {true, false}) {
        const uint64_t bits = RegisteredBits(Load64(words.Word));
        const uint64_t turned =
            (bits >> start | bits << (kEventEntries - start)) & ((uint64_t(1) << kEventEntries) - 1);
        for (uint64_t left = turned; left != 0; left &= left - 1) {
            const int entry = int((uint32_t(__builtin_ctzll(left)) + start) % kEventEntries);
            const uint64_t value = Load64(words.Entries[entry]);
            if (value == 0 || value == kClearing)
                continue;
            if (Left(block, value)) {
                Unregister(words, entry, value);
                continue;
            }
            if (Grant(block, value, waitingOnly)) {
                __atomic_store_n(&words.Next, uint32_t(entry + 1), __ATOMIC_RELAXED);
                return true;
            }
        }
    }
    return false;
}

// Whether a waiter that registered at generation registered (as its entry
// keeps it) came before the change that made generation now.
bool Before(uint32_t registered, uint32_t now)
{
    const uint32_t distance = (now - registered) & kEntryGenerationMask;
    return distance != 0 && distance <= kEntryGenerationMask / 2;
}

// Grants a manual-reset event to every waiter registered before the set or
// pulse that made generation; entries of waits that left are cleared.
void GrantAll(EventWords& words, WaiterSlots& block, uint32_t generation)
{
    for (uint64_t bits = RegisteredBits(Load64(words.Word)); bits != 0; bits &= bits - 1) {
        const int entry = __builtin_ctzll(bits);
        const uint64_t value = Load64(words.Entries[entry]);
        if (value == 0 || value == kClearing)
            continue;
        if (Left(block, value))
            Unregister(words, entry, value);
        else if (Before(EntryGeneration(value), generation))
            Grant(block, value, false);
    }
}

// Sets (set) or resets a manual-reset event with a new generation, in one
// step, and grants it to every waiter that registered before that step. A
// set of an event that is set already changes nothing.
[[gnu::always_inline]] inline void NewGeneration(EventWords& words, WaiterSlots& block, bool set)
{
    uint64_t word = Load64(words.Word);
    for (;;) {
        if (set && IsSet(word))
            return;
        const uint64_t next = WithNextGeneration(word);
        if (Swap64(words.Word, word, set ? next | kSetBit : next & ~kSetBit))
            break;
    }
    // Only a waiter registered before the step is granted: none, where the
    // word that the step replaced registered none.
    if (RegisteredBits(word) != 0)
        GrantAll(words, block, GenerationOf(WithNextGeneration(word)));
}

// Rings the listener of the event, where one listens.
void Ring(LocalObject& object)
{
    if (__atomic_load_n(&object.Head()->Listeners, __ATOMIC_SEQ_CST) > 0)
        RingBell(object);
}

} // namespace

void InitEvent(char* data, bool manualReset)
{
    auto* words = new (data) EventWords{};
    words->ManualReset = manualReset ? 1 : 0;
}

bool InitWaiterSlots(char* data)
{
    auto* block = new (data) WaiterSlots{};
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    bool made = true;
    for (WaiterSlot& slot : block->Slots)
        made = made && pthread_mutex_init(&slot.Owner, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return made;
}

bool SetEvent(LocalObject& object)
{
    WaiterSlots* block = object.Slots();
    if (!block)
        return false;
    EventWords& words = *Words(object);
    if (words.ManualReset) {
        NewGeneration(words, *block, true);
    } else {
        // A waiter granted, or the event set where no waiter took it and no
        // waiter registered meanwhile (the word would have changed).
        uint64_t word = Load64(words.Word);
        for (;;) {
            if (RegisteredBits(word) != 0 && GrantOne(words, *block))
                break;
            if (IsSet(word) || Swap64(words.Word, word, word | kSetBit))
                break;
        }
    }
    Ring(object);
    return true;
}

bool ResetEvent(LocalObject& object)
{
    if (!object.Slots())
        return false;
    EventWords& words = *Words(object);
    uint64_t word = Load64(words.Word);
    while (IsSet(word) && !Swap64(words.Word, word, word & ~kSetBit)) {
    }
    return true;
}

bool PulseEvent(LocalObject& object)
{
    WaiterSlots* block = object.Slots();
    if (!block)
        return false;
    EventWords& words = *Words(object);
    if (words.ManualReset) {
        NewGeneration(words, *block, false);
    } else {
        // One waiter granted; a set event (where no waiter could take it)
        // reset.
        uint64_t word = Load64(words.Word);
        for (;;) {
            if (IsSet(word)) {
                if (Swap64(words.Word, word, word & ~kSetBit))
                    break;
                continue;
            }
            if (RegisteredBits(word) != 0)
                GrantOne(words, *block);
            break;
        }
    }
    Ring(object);
    return true;
}

namespace {

// Takes the event for a wait that has not registered on it: a set
// auto-reset event is reset by the take, a set manual-reset event stays set.
bool TakeUnregistered(EventWords& words)
{
    uint64_t word = Load64(words.Word);
    if (words.ManualReset)
        return IsSet(word);
    while (IsSet(word)) {
        if (Swap64(words.Word, word, word & ~kSetBit))
            return true;
    }
    return false;
}

WaiterSlot& SlotOfWait(const WaitList& list)
{
    return list.Slots->Slots[list.Slot];
}

// Takes a slot for a wait of the calling thread: one whose mutex nobody
// holds, or whose holder ended in a wait (that wait's entries, wherever
// they are, are then known as left: the ticket moves on). The slot that
// the thread had last is tried first. -1 where every slot is taken.
int TakeSlot(WaiterSlots& block)
{
    thread_local int last = -1;
    static std::atomic<uint32_t> spread{0};
    const uint32_t first =
        last >= 0 ? uint32_t(last)
                  : uint32_t(ThisProcess()) * 131u + spread.fetch_add(1, std::memory_order_relaxed);
    for (uint32_t i = 0; i < uint32_t(kWaiterSlots); ++i) {
        const int k = int((first + i) % kWaiterSlots);
        WaiterSlot& slot = block.Slots[k];
        const int taken = pthread_mutex_trylock(&slot.Owner);
        if (taken == EOWNERDEAD) {
            uint64_t state = Load64(slot.State);
            while (!Swap64(slot.State, state, SlotState(TicketOf(state) + 1, kIdle, 0))) {
            }
            pthread_mutex_consistent(&slot.Owner);
        } else if (taken != 0) {
            continue;
        }
        __atomic_store_n(&slot.Tid, OwnerWord(slot) & FUTEX_TID_MASK, __ATOMIC_SEQ_CST);
        last = k;
        return k;
    }
    return -1;
}

// How a look of a registering wait at one of its events ended.
enum class TLook { Clear, Taken, Missed };

// Takes event i of the list, found set by the registering wait: the slot
// first stops taking grants (a grant made before is the wait's, index set),
// then a manual-reset event is the wait's, an auto-reset one where the wait
// resets it. Missed where another took it first: the slot takes grants
// again.
TLook TakeFound(WaitList& list, size_t i, int& index)
{
    WaiterSlot& slot = SlotOfWait(list);
    uint64_t state = SlotState(list.Ticket, kRegistering, 0);
    if (!Swap64(slot.State, state, SlotState(list.Ticket, kClaiming, uint32_t(i)))) {
        index = int(IndexOf(state));
        return TLook::Taken;
    }
    EventWords& words = *Words(*list[i].Object);
    if (words.ManualReset || TakeUnregistered(words)) {
        Store64(slot.State, SlotState(list.Ticket, kGranted, uint32_t(i)));
        index = int(i);
        return TLook::Taken;
    }
    Store64(slot.State, SlotState(list.Ticket, kRegistering, 0));
    return TLook::Missed;
}

// After a take that missed: while the slot took no grants, a set of an
// auto-reset event of the wait may have found nobody to grant and set it,
// or have read the event's word for its set. Each registered event is
// looked at again, and an auto-reset one gets a new generation, so that
// such a set finds its word changed and looks for a waiter again.
TLook LookAgain(WaitList& list, size_t registered, int& index)
{
    for (size_t j = 0; j < registered; ++j) {
        EventWords& words = *Words(*list[j].Object);
        uint64_t word = Load64(words.Word);
        for (;;) {
            if (IsSet(word)) {
                const TLook look = TakeFound(list, j, index);
                if (look != TLook::Missed)
                    return look;
                return LookAgain(list, registered, index);
            }
            if (words.ManualReset || Swap64(words.Word, word, WithNextGeneration(word)))
                break;
        }
    }
    return TLook::Clear;
}

// Registers the wait on event i of the list, with a compare-and-swap of the
// event's word that finds it not set; takes it where it is set.
TLook RegisterOn(WaitList& list, size_t i, int& index, bool& full)
{
    EventWords& words = *Words(*list[i].Object);
    for (;;) {
        const uint64_t word = Load64(words.Word);
        if (IsSet(word)) {
            const TLook look = TakeFound(list, i, index);
            if (look != TLook::Missed)
                return look;
            if (LookAgain(list, i, index) == TLook::Taken)
                return TLook::Taken;
            continue;
        }
        const int entry = FreeEntry(words, *list.Slots, word);
        if (entry == kRetry)
            continue;
        if (entry == kFull) {
            full = true;
            return TLook::Clear;
        }
        const uint64_t value = EntryValue(list.Slot, list.Ticket, uint32_t(i), GenerationOf(word));
        uint64_t empty = 0;
        if (!Swap64(words.Entries[entry], empty, value))
            continue;
        uint64_t seen = word;
        const uint64_t registered = (words.ManualReset ? word : WithNextGeneration(word)) | EntryBit(entry);
        if (Swap64(words.Word, seen, registered)) {
            list[i].Entry = entry;
            list[i].Value = value;
            return TLook::Clear;
        }
        // The word changed meanwhile: the entry goes back, and the event is
        // looked at again.
        uint64_t mine = value;
        Swap64(words.Entries[entry], mine, 0);
    }
}

} // namespace

bool TakeSetEvent(WaitList& list, int& index)
{
    for (size_t i = 0; i < list.Count; ++i) {
        if (TakeUnregistered(*Words(*list[i].Object))) {
            index = int(i);
            return true;
        }
    }
    return false;
}

TJoin JoinWait(WaitList& list, int& index)
{
    if (!list.Slots || list.Count > kMostIndex + 1)
        return TJoin::Full;
    list.Slot = TakeSlot(*list.Slots);
    if (list.Slot < 0)
        return TJoin::Full;
    WaiterSlot& slot = SlotOfWait(list);
    list.Ticket = TicketOf(Load64(slot.State)) + 1;
    Store64(slot.State, SlotState(list.Ticket, kRegistering, 0));
    bool full = false;
    for (size_t i = 0; i < list.Count; ++i) {
        if (RegisterOn(list, i, index, full) == TLook::Taken) {
            LeaveWait(list, index);
            return TJoin::Taken;
        }
        if (full) {
            LeaveWait(list, index);
            return TJoin::Full;
        }
    }
    uint64_t state = SlotState(list.Ticket, kRegistering, 0);
    if (!Swap64(slot.State, state, SlotState(list.Ticket, kWaiting, 0))) {
        LeaveWait(list, index);
        return TJoin::Taken;
    }
    return TJoin::Joined;
}

bool Sleeps(WaitList& list)
{
    uint64_t state = SlotState(list.Ticket, kWaiting, 0);
    return Swap64(SlotOfWait(list).State, state, SlotState(list.Ticket, kWaiting | kAsleep, 0)) ||
           Asleep(state);
}

uint32_t* SleepWord(const WaitList& list)
{
    return reinterpret_cast<uint32_t*>(&SlotOfWait(list).State);
}

uint32_t SleepingWord()
{
    return kWaiting | kAsleep;
}

bool Granted(WaitList& list, int& index)
{
    WaiterSlot& slot = SlotOfWait(list);
    uint64_t state = Load64(slot.State);
    if (StatusOf(state) == kGranted) {
        index = int(IndexOf(state));
        return true;
    }
    // A manual-reset event whose generation moved since the wait registered
    // was set or pulsed meanwhile: where its setter ended or was stopped
    // before it granted the event to this wait, the wait takes it itself.
    for (size_t i = 0; i < list.Count; ++i) {
        const EventWords& words = *Words(*list[i].Object);
        if (!words.ManualReset || list[i].Entry < 0 ||
            (GenerationOf(Load64(words.Word)) & kEntryGenerationMask) == EntryGeneration(list[i].Value))
            continue;
        while (StatusOf(state) == kWaiting) {
            if (Swap64(slot.State, state, SlotState(list.Ticket, kGranted, uint32_t(i)))) {
                index = int(i);
                return true;
            }
        }
        return Granted(list, index);
    }
    return false;
}

bool LeaveWait(WaitList& list, int& index)
{
    WaiterSlot& slot = SlotOfWait(list);
    uint64_t state = Load64(slot.State);
    while (StatusOf(state) != kGranted && !Swap64(slot.State, state, SlotState(list.Ticket, kIdle, 0))) {
    }
    const bool granted = StatusOf(state) == kGranted;
    if (granted)
        index = int(IndexOf(state));
    for (size_t i = 0; i < list.Count; ++i) {
        if (list[i].Entry >= 0)
            Unregister(*Words(*list[i].Object), list[i].Entry, list[i].Value);
        list[i].Entry = -1;
    }
    Store64(slot.State, SlotState(list.Ticket, kIdle, 0));
    pthread_mutex_unlock(&slot.Owner);
    list.Slot = -1;
    return granted;
}

} // namespace sharedobjects_detail
