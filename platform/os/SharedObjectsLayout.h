#pragma once
// The layout of the files of the named objects (SharedObjects.h) as every
// process of this build reads and writes them: the head of every object,
// the words of an event with the rule that every change of them keeps, and
// the waiters' slots of the user's block. Its number is part of every
// file's name and is stored in every head, so that processes of builds of
// other layouts never share an object (they may share the folder). For the
// files of the unit, and for the tests that look into an object's file.
#include <climits>
#include <cstddef>
#include <cstdint>

#include <pthread.h>

namespace sharedobjects_layout {

// Layout 7 registers every waiter of an event in the event and in a slot
// of the user's block, where a set or a pulse grants it its take; layout 6
// counted the sets that the sleepers were to take, which a waiter of
// layout 7 would not read.
constexpr uint32_t kLayout = 7;
constexpr uint32_t kMagic = 0x37565354; // "TSV7"
constexpr char kNamePrefix[] = "tessvar7-";

// The head of every object. Magic is stored last by the creator, so an
// object whose creator died half way is recognised and made again.
//
// Which processes use an object is told by the kernel, not by a count that a
// crashed process would leave behind: every process that has the object open
// holds a shared open-file-description lock on its first byte, which the
// kernel drops when the process ends. A process that closes it and can turn
// its lock into an exclusive one is the last user and removes the object.
// Opening, closing and growing run under the file's flock, so a close never
// removes an object that an opener has just found; an opener that finds Dead
// set retries, and removes the name itself when its closer died before it
// could.
struct alignas(64) SharedHead {
    uint32_t Magic;
    uint32_t Kind;
    uint32_t Dead; // removed from the name space
    // Events: how many processes listen to the event through a descriptor
    // (a listener killed stays counted; it only costs setters a failed send).
    uint32_t Listeners;
    int64_t DataSize; // as made; the size mapped is the file's
};
static_assert(sizeof(SharedHead) == 64);

constexpr int64_t kDataOffset = sizeof(SharedHead);

// How many waiters, of all the user's processes, one event registers at
// once, and how many slots of waiters the user's block holds.
constexpr int kEventEntries = 40;
constexpr int kWaiterSlots = 1024;

// An event: words changed only with atomic instructions (compare-and-swap),
// so that a process killed or stopped at any instruction leaves an event
// that every other process goes on using.
//
// Word holds whether the event is set (kSetBit), a generation (of a manual-
// reset event, its sets and pulses; of an auto-reset one, its registrations
// and its waiters' looks again, see below), and one bit for each entry of
// Entries that registers a waiter. An entry names the waiter's slot in the
// user's block, the ticket of its wait and the event's place in its list of
// events; a waiter writes its entry before it sets its bit, and clears its bit
// before its entry, so that a set bit always has its entry.
//
// The rule every change keeps: while a waiter is registered on an auto-reset
// event and its slot takes grants (it registers or waits), the event is not
// set and stays so, but for a moment in which the waiter itself takes it. A set or a
// pulse that finds such a waiter grants it the event: one compare-and-swap of
// the waiter's slot, which names the event; the first grant is the waiter's,
// and no later change takes it back. A set of an auto-reset event grants one
// waiter, or, where it finds none, sets the event with one compare-and-swap of
// Word that fails where a waiter registered meanwhile; a pulse grants one or
// nobody; a manual-reset event's set or pulse changes its generation with its
// set bit in one step and then grants every waiter registered before it. A
// waiter registers with a compare-and-swap of Word that finds the event not
// set (and changes an auto-reset event's generation, so that a set that looked
// at its waiters before sets nothing), one event after another in the order of
// its list, and takes an event it finds set only after its slot has stopped
// taking grants (kClaiming). A waiter that then finds the event taken by
// another takes grants again, changes the generation of its auto-reset events
// (so that a set that looked at them while it claimed sets nothing) and looks
// at them all again. A waiter whose thread ended (its slot's mutex tells) is
// granted nothing: its entries are cleared by whoever finds them, and its slot
// taken over by the next waiter that needs one.
struct EventWords {
    uint64_t Word;
    uint32_t ManualReset; // fixed when made
    uint32_t Next;        // the entry a grant of an auto-reset event looks at first
    uint64_t Entries[kEventEntries];
};

constexpr uint64_t kSetBit = 1;
constexpr int kGenerationShift = 1;
constexpr uint64_t kGenerationMask = 0x7FFFFF; // 23 bits
constexpr int kEntryShift = 24;
static_assert(kEntryShift + kEventEntries == 64);

// How many waiters an event's word registers.
inline int RegisteredWaiters(uint64_t word)
{
    return __builtin_popcountll(word >> kEntryShift);
}

// The slot of one waiting thread in the user's block. Owner is a robust
// mutex that the thread holds from the start of its wait to its end; the
// kernel marks it when the thread ends holding it. Tid is the thread's id
// as that mutex holds it. State holds the ticket of the wait (counted up
// with each wait of the slot, so that an entry left by an earlier wait is
// known as one), the slot's status and, once granted, the place of the
// event in the waiter's list; the waiter sleeps on its lower half.
struct alignas(64) WaiterSlot {
    pthread_mutex_t Owner;
    uint32_t Tid;
    uint32_t Reserved;
    uint64_t State;
};
static_assert(sizeof(WaiterSlot) == 64);

struct WaiterSlots {
    WaiterSlot Slots[kWaiterSlots];
};

} // namespace sharedobjects_layout
