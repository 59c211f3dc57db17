#pragma once
// ZvDirectDataView: the engine side of the cross-process data channel.
//
// One TZarvDataSystem exists per process, held in DataSystem. It opens (or
// creates) the channel's named objects: the exchange buffer "ZARVBUFFER"
// (65536 bytes, mapped), the mutex "ZARVCONTROLER" that serialises the users
// of the channel across all processes, and the events "ZARVCOMPLETED" and
// "ZARVERROR".
//
// Control. Every report run holds the channel from start to end:
// GainControl takes the mutex (a nested take in this process only counts),
// waiting GainControlTimeoutMs for it and asking the user to retry or cancel
// when it does not come; ReleaseControl gives one take back, and the last one
// releases the mutex. A mutex left by a process that died holding it is taken
// over and held once, so one ReleaseControl frees it for the others.
#include <QString>

#include <cstdint>

// The size of "ZARVBUFFER" in bytes.
constexpr int kZarvBufferSize = 65536;

// How long GainControl waits for the mutex before it asks, in milliseconds
// (5000; tests shorten it).
extern uint32_t GainControlTimeoutMs;

class TZarvDataSystem {
public:
    // Raises the operating-system error when the buffer can be neither
    // opened nor made.
    TZarvDataSystem();
    // Closes the objects (a mutex still held is not released) and clears
    // DataSystem when it is this one.
    ~TZarvDataSystem();
    TZarvDataSystem(const TZarvDataSystem&) = delete;
    TZarvDataSystem& operator=(const TZarvDataSystem&) = delete;

    // True when control is held (taken now or already held); false when the
    // user cancelled the box "Unable to gain control of ZARV Data
    // Communication System.".
    bool GainControl();
    // Raises ESheetcaster "Control count underflow on ReleaseControl" (count
    // back to 0, mutex kept) when control is not held.
    void ReleaseControl();
    int32_t ControlCount() const { return FControlCount; }

    // When set, the next connection not found in this process makes a
    // discovery of all connections first.
    bool AutoUpdate() const { return FAutoUpdate; }
    void SetAutoUpdate(bool value) { FAutoUpdate = value; }

    // The mapped exchange buffer (kZarvBufferSize bytes).
    uint8_t* NormFileBuf() const { return FNormFileBuf; }

private:
    int32_t FControlCount = 0;
    uintptr_t FNormFileMap = 0;
    uint8_t* FNormFileBuf = nullptr;
    uintptr_t FControllerMutex = 0;
    uintptr_t FCompletedEvent = 0;
    uintptr_t FErrorEvent = 0;
    bool FAutoUpdate = false;
};

// The data system of this process; null until one is made.
extern TZarvDataSystem* DataSystem;
