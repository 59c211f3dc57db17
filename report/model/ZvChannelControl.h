#pragma once
// ZvChannelControl: which request of the data channel is out, to whom, and
// who may write the exchange buffer for it.
//
// "ZARVBUFFER" carries one request or answer at a time, and its header
// (Size, AltNumber) has no room for more: peers read both fields. A
// connection whose process was stopped, or whose handler was busy past the
// engine's time-out, may wake while the engine is on a later request, to
// another connection; a process may have replaced the one the engine
// opened. So every request carries an identity in a control block of its
// own, the 64-byte memory block "ZARVREQUEST" beside the buffer:
//   Number   the request out (a number given out once), with its state in
//            the low 3 bits: pending, running, done, withdrawn, refused,
//            failed;
//   Target   the token of the connection it is addressed to (0: whichever
//            connection answers to the name, as for command 11);
//   Address  a digest of the connection name (0: a discovery request,
//            which any connection may answer);
//   Answerer the token of the connection that answered;
//   Request, Answer  the bytes of the request and of the answer in
//            "ZARVBUFFER"; AnswerAlt those of the answer in its overflow
//            block.
// The buffer and the overflow blocks are written only by a holder of the
// robust mutex "ZARVANSWER", and only for the request out: the engine puts
// its request in and makes it pending under it; a connection takes a
// pending request addressed to it (and copies it out) under it, and puts
// its answer in only while its request is still the one running. An engine
// that gives up withdraws its request, so a connection that wakes later
// finds nothing to run and nothing to answer, and a handler still running
// then cannot write over anything the engine reads later. The engine reads
// an answer only once its request is done; after that nobody writes the
// buffer until the next request.
//
// Every wait for "ZARVANSWER" is bounded (kAnswerLockMs): a process stopped
// while it holds it delays the others by that much at most, and their step
// then fails as unanswered.
#include "platform/os/SharedObjects.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// How long a side waits for "ZARVANSWER", in milliseconds.
constexpr uint32_t kAnswerLockMs = 1000;

enum class TRequestState : uint8_t { rsPending, rsRunning, rsDone, rsWithdrawn, rsRefused, rsFailed };

// The request out, as a connection sees it.
struct TRequestInfo {
    uint64_t Number = 0; // 0: none
    TRequestState State = TRequestState::rsWithdrawn;
    uint64_t Target = 0;
    uint64_t Address = 0;
    int32_t Code = 0; // the command code at offset 8 of the request
};

class TZarvChannelControl {
public:
    // Opens "ZARVBUFFER" (65536 bytes), "ZARVREQUEST" and "ZARVANSWER";
    // raises EOSError naming the object that cannot be used.
    TZarvChannelControl();
    ~TZarvChannelControl();
    TZarvChannelControl(const TZarvChannelControl&) = delete;
    TZarvChannelControl& operator=(const TZarvChannelControl&) = delete;

    // The shared exchange buffer.
    uint8_t* Buffer() const { return FBuffer; }

    // A random token that tells one connection object from every other.
    static uint64_t NewToken();
    // The address of a connection name (never 0).
    static uint64_t AddressOf(const QString& name);

    // Engine side. Puts bytes of request into the buffer and makes it the
    // pending request to target at address; its number, or 0 when the lock
    // did not come.
    uint64_t Post(const uint8_t* request, int64_t bytes, uint64_t target, uint64_t address);
    // The state of request number; rsWithdrawn once another is out.
    TRequestState StateOf(uint64_t number) const;
    // Withdraws the request unless it is done; true when it is done.
    bool Withdraw(uint64_t number);
    // Once the request is done: copies its answer (header included) into
    // norm (65536 bytes) and, when the header names an overflow block, that
    // block's answer into alt; answerer receives the answering token. False
    // when the request is not done or the overflow block cannot be read.
    bool Fetch(uint64_t number, uint8_t* norm, std::vector<uint8_t>& alt, uint64_t* answerer) const;

    // Connection side. The request out (read under the lock; Number 0 when
    // the lock did not come).
    TRequestInfo Current();
    // Takes pending request number to run: copies its bytes into local
    // (65536 bytes). False when it is no longer pending.
    bool Take(uint64_t number, uint8_t* local);
    // Marks pending request number refused: addressed to another
    // connection of this name.
    bool Refuse(uint64_t number);
    // Marks request number failed: its handler raised, or it is dropped
    // before it ran (its connection is going).
    bool Fail(uint64_t number);
    // Puts the answer of running request number in: write is called with
    // the buffer under the lock, and returns the bytes it wrote there and
    // in the overflow block it filled (0 for none); the request is done and
    // answered by token. False, with nothing written, when the request is
    // no longer the one running (or the lock did not come).
    bool Answer(uint64_t number, uint64_t token, const std::function<void(uint8_t* buffer, int64_t& bytes,
                                                                          int64_t& altBytes)>& write);

private:
    struct TBlock;
    TBlock* Block() const { return reinterpret_cast<TBlock*>(FBlock); }
    bool Lock();
    void Unlock();
    bool Move(uint64_t number, TRequestState from, TRequestState to);

    TSharedHandle FBufferMap = 0;
    uint8_t* FBuffer = nullptr;
    TSharedHandle FBlockMap = 0;
    void* FBlock = nullptr;
    TSharedHandle FMutex = 0;
};
