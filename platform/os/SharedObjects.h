#pragma once
// Named objects shared between processes: memory blocks, mutexes and events,
// standing in for the named kernel objects of the platform the program was
// written for. Underneath are POSIX shared memory objects ("/dev/shm").
//
// Names and place. Every object is a file in a folder that only its user
// can enter: XDG_RUNTIME_DIR when it is set, belongs to the user and is
// closed to others, else a folder of the series /dev/shm/tessvar-<uid>,
// /dev/shm/tessvar-<uid>.1, ... .31, made 0700. The folder is checked for
// owner and mode when a process chooses it, and kept open: the process uses
// that very folder from then on, whatever is put at its name. A set
// XDG_RUNTIME_DIR that cannot be used (it does not exist, is no folder, is
// a link, however it is spelt: trailing slashes are taken off before it is
// judged; has a file on its path; is another user's or open to others;
// lacks owner's rights that the system refuses to give it; has a name too
// long for the system; is relative) is passed over, as by every process of
// the user, and
// said once per process (a Qt warning giving the reason and naming the
// folder in use): programs of the user that do use it cannot meet this one.
//
// Any user may take a name in /dev/shm first, and inside a user namespace
// that shows several users as one uid (every user as 0 in a namespace of
// its own) the same name stands for each of them. So a name of the series
// that is not this user's own folder closed to others (another user's
// folder, an owner the namespace cannot name, a file, a link, a FIFO, a
// folder of the user's that others may enter) is passed over: a process
// takes the first folder of the series that is the user's already, else
// makes the first name it can and judges what it finds there in the same
// way. Every process of the user follows the same series, so they meet,
// also when one started while a name was held and the other after it was
// freed. The one moment they may not: a name freed while two processes
// start, where the one that found it held makes a later name after the
// other looked for the user's folders, and the other then finds the name
// free and makes it. Nothing that another user put anywhere in the series
// is used, read, changed or removed. Only what is held is passed over: a
// failure of the process itself (no descriptor left, no memory, a folder
// name it may not make, an error of the file system), at XDG_RUNTIME_DIR as
// at any name of the series, in opening a folder or in giving it its
// owner's rights, ends the choice at once with the system's error naming
// that folder, making no further name and giving no warning; the next open
// chooses again. A folder whose rights the system refuses for good to mend
// (EPERM, EROFS: an immutable folder, a read-only file system), as it is
// opened or once it is open, is held, for root too. Only where every name of the series is held does
// opening fail with a message naming the first folder and the way out (a
// private XDG_RUNTIME_DIR).
//
// Whatever the umask, a folder the program makes is 0700 and every object
// file 0600; a folder (or an object's file) of the user's own, closed to
// others, that lacks the owner's rights (as a umask without them left it)
// is given them and used. Every error is the system's own: that of the call
// that failed, or EACCES where the system refused an open and there was
// nothing to mend. Files are opened without following links, and one that
// is not the user's own or that others may open is neither used nor read.
// The file of an object is "tessvar7-<uid>-<kind>-<name>", with the
// characters a file name cannot hold escaped. The "7" is the layout, stored
// with the magic in every block: blocks of earlier layouts are never
// opened, whatever state they were left in (nor swept: they stay until the
// machine restarts), so a process of a build of an earlier layout and one
// of this build never share an object, though they may share the folder. An empty name makes an unnamed
// object that no other process can open (a child made by fork() shares an
// unnamed memory block).
//
// Lifetime. As with the kernel objects, an object lives exactly as long as
// some process holds it: the first process to open a name creates the
// object, later openers (in any process) get the same one, and once the
// last handle in the last process is gone, closed or with its process
// ended in any way, the object is gone with it. A last close removes it,
// the user's wake-up block of the events included (it goes with the last
// event of the last process); of processes that close it at one instant,
// the last removes it. The file of an object whose last holder ended
// without closing it is removed by the next process that opens its name,
// which then finds the name as one never made: a create makes a new object
// (a block zero filled at the size asked, an event not signalled, a mutex
// not owned), an open-only fails (ENOENT). The first named open of a
// process also sweeps every such file of the user's folder. An object that
// any process holds is taken as it is, in any state. An object's names go
// in an order that never takes what a newer object of the name made: an
// event's listener sockets before its own name.
//
// Room. Every page of an object's file is claimed when the object is made
// (before any other process can attach to it) or grown (only the part it
// adds, which no other process can reach yet), before it is mapped or its
// size published: on a full file system (/dev/shm, which any user may fill)
// the create or the grow fails then with the system's error (ENOSPC,
// EDQUOT) naming the object, leaving nothing half made and a block that was
// not grown at its size for every later opener, and no write into an object
// that was made ever meets a page the system cannot give (SIGBUS). Where the
// file system has no fallocate (ramfs, some FUSE and network file systems),
// the added part is claimed by writing zeros into it; nothing that another
// process may write is ever written, and a part larger than the file system
// has free (as statfs tells it), or, on one that tells no size (ramfs, which
// keeps every page in memory), than the memory the system has available
// (MemAvailable), is refused before a byte is written (ENOSPC naming the
// block). Where the file system keeps its pages in memory (tmpfs, as
// /dev/shm mostly is; ramfs; one that tells no size), every page claimed,
// by fallocate or by zeros, is taken from the memory cgroups of the
// process, whose out-of-memory killer would end a process of the group (as
// a rule this one) part of the way through the claim: so a part larger than
// the room they have left is refused before anything is claimed (ENOSPC
// naming the block). That room is the least, over the levels of the
// process's memory cgroup (cgroup v2 or v1) up to the root of the
// hierarchy that the process can see, of a level's limit less what it
// uses, plus the page cache of files that the kernel can reclaim from it;
// swap is not counted. A level whose files cannot be read tells nothing; a
// failure of the process itself to read them (EMFILE, ENFILE, ENOMEM)
// fails the create or the grow with that error, naming the object. Claims
// whose room is counted (those that write zeros, and those under a memory
// cgroup's limit) are made one at a time by the processes and threads that
// use one folder, so that each finds the room that those before it left: two
// claims of the folder at once never take together more than the room. A
// claim waits for the one under way (which a process stopped in its claim
// keeps) within the 5000 ms that its call waits in all for locks (see
// below), holding the bookkeeping lock of its own object alone, and then
// fails (ETIMEDOUT naming the object). A file
// past the process's file size limit (RLIMIT_FSIZE) is refused before
// anything is claimed (EFBIG naming the block), and an object's removal is
// marked in its file through a mapping, which that limit does not bind: so
// the unit's own writes never bring the process SIGXFSZ, whatever its
// disposition, however low the limit (an object made before the limit was
// lowered, to 8 bytes or less, goes at its last close or a sweep as any
// other). Only another thread's setrlimit (or another process's prlimit) can
// still bring it: a limit lowered between a claim's look at it and the
// claim's writes has the kernel send the process SIGXFSZ, which ends it
// unless it ignores or catches the signal (the create or grow then fails
// with EFBIG). A size whose sum with the object's 64-byte head does not fit
// a file's size is refused (EINVAL) naming the block.
//
// A process killed at any instruction leaves nothing that blocks the others:
// events are words changed with atomic instructions, waited on with futexes;
// a mutex is a robust one, taken over from a dead owner as abandoned; which
// processes use an object, and the steps of opening and closing one, are
// guarded by file locks that the kernel drops with the process. No shared
// state is ever guarded by a lock that a dead process could keep. A stopped
// process can hold those file locks. A call waits for them at most 5000 ms
// in all, whatever steps take them (an open, a grow, a claim's turn, a
// listen and its end, and each last close that the call runs: its own, an orphan's (see
// Threads), or one that falls to it as it lets go of an object whose handle
// another thread closed meanwhile), never while holding a lock that the
// other threads of the process need, and then gives up: an open, a grow or
// a listen fails, a listening ends all the same (its socket's name left to
// the next listener), and a close leaves the object to the next process
// that opens its name and finds nobody holding it. The 5000 ms count from
// the first of those locks that the call waits for, or, in a wait that
// finds nothing to take at once and has time to wait, from then: a last
// close that falls to the end of a wait that outlived them takes its lock
// only where it is free at once.
//
// Threads. Every call may be made from any thread, and the threads of one
// process meet the objects as processes do: where a step keeps other
// processes out (a grow from the size it reads to the size it installs, a
// listen from its look at whether this process listens to its marking that
// it does, the end of a listening, a last close), it keeps the process's
// other threads out as well, within the same 5000 ms. A thread's last error
// is its own. A thread with a table of descriptors of its own
// (unshare(CLONE_FILES)) is served by the calls on handles (waits, sets,
// resets, pulses, mutexes, maps, closes) but refused the calls that make or
// use the objects' descriptors, which are its process's: an open (but of a
// name that the process holds, which gets the object it holds), a grow that
// would change the block, a listen and the end of the process's listening
// fail there with EINVAL saying so and naming the object, and so does
// SharedObjectsFolder() where the process has no folder yet (an object whose
// last reference goes in such a thread is closed at the next open or close
// of a thread of the process's table). A set rings a listener through the
// process's socket, asking the system nothing, where its thread found that
// it shared the process's table when it last asked and no such socket has
// been made since; so a thread that takes a table of its own after a set
// rings through its table's copy of that socket, as long as it leaves that
// copy at its number. The process's table is the one its first thread has
// when the process first opens an object or asks its folder (the asking
// thread's, where the first thread has ended by then), kept from then on by
// a thread of the unit's own that sleeps until the process ends or execs: no
// thread that ends or takes a table of its own later, the first included,
// moves it. Where that thread cannot be made (the process may have no more
// threads), that open or that question fails with the system's error
// (EAGAIN) and makes nothing. Where the system cannot tell tables apart (no
// kcmp), every thread is taken to share it, and no such thread is made.
//
// A wait takes an event that is set already at once. Else it waits from
// the moment it registers on its events (one after another, in its list's
// order), and every set or pulse from then on finds it: where it may run on
// more than one CPU it then looks at its events for a few tens of
// microseconds before it sleeps, so that a quick answer costs no wake-up; on
// one CPU it sleeps at once. An event registers at most 40 waiters at once,
// and the user's processes wait in at most 1024 threads at once (each
// waiting thread holds a slot of the user's wake-up block); a wait beyond
// either, or on more than 1024 events, fails at once (wrFailed) where none
// of its events is set. A thread that ends or is killed while it
// waits is known as dead by the robust mutex of its slot (the word that the
// C library and the kernel keep in it) and is granted nothing.
//
// Handles are small numbers private to the process that opened them (0 means
// none). A child made by fork(), from any thread, also while other threads are
// inside these calls, cannot use its parent's handles and opens the names
// itself; a child of a thread with a table of descriptors of its own chooses
// its folder anew, as a new process does. It does not hold its parent's
// objects: the parent's last close removes an object while the child lives.
// Only where the parent ends without closing do the descriptors the child
// inherited keep the object from being swept, until the child ends or execs
// (the program forks only to exec at once). Every call accepts any handle
// value: an unknown or foreign handle fails (false, nullptr or wrFailed), it
// never crashes.
//
// Events keep the kind they were created with (auto-reset or manual-reset)
// in the shared object; a later opener that asks for the other kind gets the
// existing event unchanged. A set or a pulse releases, at that instant, the
// waiters it finds waiting, and what it gave a waiter is never taken back by
// what follows (a reset, a pulse, another set). An auto-reset event releases
// one waiter per set and resets itself: each set while waiters wait releases
// one more of them (two sets, two waiters: both released), and a set that
// finds none left leaves the event set, once; a waiter killed while it waits
// is never counted, so it lets no later set release more. A manual-reset
// event releases every waiter until it is reset. Pulsing releases the
// waiters waiting at that moment (one for an auto-reset event, each pulse
// one more while waiters wait) and leaves the event reset. A wait on several
// events takes exactly one: where some are set as it begins, the first of
// its list; else the one whose set or pulse reached it first. The others
// keep what they hold for other waiters. The one difference from the system's
// event: a process killed or stopped in the middle of a manual-reset
// event's set or pulse releases the waiters of that moment that it had not
// reached yet up to half a second late (each finds the event's change at
// its next look).
//
// Mutexes belong to the thread that acquired them and count nested
// acquisitions; a release by another thread fails and changes nothing. A
// mutex whose owner (a process, or a thread that ended) died while holding
// it, while a handle to it is still open, is acquired with the result
// wrAbandoned (the new owner then holds it normally, and the dead owner's
// takes are gone). Closing a handle does not release a mutex: where a live
// thread of this process owns it at the process's last close, the process
// keeps it, mapped and in use, until the process ends (no handle is left
// to release it with); else the last close closes it as any other, whether
// a thread of the process ended owning it and whether anyone took it since.
#include "platform/rtl/Exceptions.h"

#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

using TSharedHandle = uintptr_t;

// Timeout of the waits that never time out.
constexpr uint32_t kWaitInfinite = 0xFFFFFFFF;

// A failure of an operating-system call, with its errno value.
class EOSError : public Exception {
public:
    EOSError(const QString& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

enum class TWaitResult {
    wrSignaled,  // the event was signalled, or the mutex acquired
    wrAbandoned, // the mutex was acquired from an owner that died holding it
    wrTimeout,   // the time ran out
    wrFailed,    // a bad handle, or a handle of the wrong kind
};

// The error of the last failed open, grow, listen or end of a listening of
// this thread (see Threads), or of its refused SharedObjectsFolder(): the
// operating-system error, with a message that names the object or its
// folder (a refusal of a handle, or of an unnamed object, names neither).
EOSError LastSharedObjectError();
// The folder in which this process keeps its shared objects (chosen now
// when none was yet), for messages: processes of one user that keep their
// objects in different folders cannot meet. Empty when no folder can be
// had, and where the calling thread would choose it with a table of
// descriptors of its own (LastSharedObjectError then says so).
QString SharedObjectsFolder();

// Opens the event of that name, creating it not signalled (manual-reset when
// manualReset) when none exists. 0 when the object cannot be opened or made.
TSharedHandle OpenNamedEvent(const QString& name, bool manualReset);
// Opens the mutex of that name, creating it not owned when none exists; 0 on
// failure.
TSharedHandle OpenNamedMutex(const QString& name);
// Opens the memory block of that name, creating it with size bytes (zero
// filled) when none exists; an existing block keeps its own size. Raises
// EOSError when the block neither exists nor can be made (a size of 0 or less
// only opens).
TSharedHandle OpenNamedMemory(const QString& name, int64_t size);
// The whole block, readable and writable; nullptr for a bad handle. Each call
// counts a view that UnmapNamedMemory gives back; all views of one block in
// one process share one address.
void* MapNamedMemory(TSharedHandle memory);
// Size in bytes of a memory block as this process maps it; 0 for a bad
// handle.
int64_t NamedMemorySize(TSharedHandle memory);
// Enlarges a named block to size bytes (the new bytes zero filled) for every
// later opener; this process's handles see the new size at once, and never
// a smaller one afterwards. Where another process grew the block past size
// already, it is mapped whole: its handles see the block's size, as a new
// opener would. False, with LastSharedObjectError telling why and naming
// the block, when the size is 0 or less or too large (EINVAL), the block is
// mapped in this process (its views would move: EBUSY), or cannot be grown
// (the system's error: no room, ENOSPC, EFBIG ...); an unnamed block does
// not grow (EINVAL), and a bad handle is called one (EBADF). A block that
// was not grown stays as it was, at its size for every later opener.
// Processes that mapped it earlier keep their smaller view, and their
// NamedMemorySize stays the size they mapped.
bool GrowNamedMemory(TSharedHandle memory, int64_t size);
bool UnmapNamedMemory(void* view);
// Closes any handle; false for a bad one.
bool CloseNamedObject(TSharedHandle handle);

bool SetNamedEvent(TSharedHandle event);
bool ResetNamedEvent(TSharedHandle event);
bool PulseNamedEvent(TSharedHandle event);
// False when the calling thread does not hold the mutex.
bool ReleaseNamedMutex(TSharedHandle mutex);

// For a thread that sleeps in an event loop rather than in WaitNamedEvents:
// a descriptor (a socket in the user's folder) that becomes readable
// whenever the named event is set or pulsed, in any process, from now on.
// The socket is bound and reached through the process's descriptor of the
// folder (in /proc), never by the folder's path: a folder renamed and
// replaced after it was checked receives nothing. Without /proc, listening
// fails with a message naming the folder.
// The thread then drains it (DrainEventDescriptor) and takes the event with
// a wait of 0 ms; a ring whose event another waiter took finds nothing. One
// process at a time listens to an event; another that asks while it lives
// fails (a listener that was killed is replaced). -1 on failure, with
// LastSharedObjectError telling why.
int ListenNamedEvent(TSharedHandle event);
// Ends the listening of this process (also done when the event's last
// handle closes); the caller closes the descriptor afterwards.
bool UnlistenNamedEvent(TSharedHandle event);
// Reads the descriptor's pending rings without blocking; how many there were.
int DrainEventDescriptor(int descriptor);

// Waits for an event or a mutex, at most timeoutMs milliseconds (kWaitInfinite:
// without limit; 0 only tests).
TWaitResult WaitNamedObject(TSharedHandle handle, uint32_t timeoutMs);
// Waits until any one of the events is signalled and takes that one only;
// index receives its position in the list (when several are signalled, the
// first). wrFailed when the list is empty or holds a handle that is no
// event, and where none is set and the wait cannot register (see above).
TWaitResult WaitNamedEvents(const std::vector<TSharedHandle>& events, uint32_t timeoutMs,
                            int* index = nullptr);
TWaitResult WaitNamedEvents(std::initializer_list<TSharedHandle> events, uint32_t timeoutMs,
                            int* index = nullptr);

// The steps inside opening, closing and growing a named object after which a
// process that dies leaves the most behind: a block made but not yet marked
// complete, one marked removed but still named, one enlarged but not yet
// recorded as such; and the moment a wait has looked at its events once
// and found none to take (not reached by a wait that takes an event at
// once), where a test changes the events.
enum class TSharedStep { Made, Removing, Growing, Looked, Spinning };
// For tests: called at each of those steps (a test ends its process there).
// Null, the default, calls nothing.
void SetSharedObjectsProbe(void (*probe)(TSharedStep step));
