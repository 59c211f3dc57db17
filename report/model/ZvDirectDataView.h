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
// over and held once, so one ReleaseControl frees it for the others; an
// answer still on its way to the dead holder is nobody's: the identity of
// each request (ZvChannelControl) keeps it from being read or written over
// a later request.
//
// Commands. A request is written at offset 8 of this process's copy of
// "ZARVBUFFER" (PrepareEvent, the typed writes); CallEvent hands it to the
// connection (directly when it lives in this process, else through the
// channel: the request goes out with a number, addressed to the name and to
// the connection identified when it was opened, and the connection's data
// event is set), waits for "ZARVCOMPLETED" with CallEventWaitCount waits of
// CallEventWaitMs, and copies the answer into this process, where the typed
// reads take it (from the copy of "ZARVBUFFERALT1"/"2" when the header names
// one). Only the answer to this request ends the wait; a signal of another
// request is passed over. A request not answered in time is withdrawn, so
// that no connection runs or answers it later. When a connection of the
// same name but another process (or another connection object) takes the
// request, the command raises ESheetcaster naming the connection. Every
// write and read is bounded by the block in use; an answer that points
// outside it, or names another overflow block, fails with ESheetcaster.
// "ZARVERROR" for this request ends a wait unanswered: the command fails.
//
// Discovery (UpdateConnections) asks every connection of every process to
// announce itself through "ZARVCONNECT" and lists those shown to end users,
// run-time and design-time apart; each announcement answers a request of
// its own, which any connection may take.
//
// Connection identity. The answer to command 11 names the connection object
// that gave it (a token beside the wire format, FToken); every later command
// is addressed to it, and another process answering to the same name ends
// the command with ESheetcaster "The data connection "<name>" is now
// answered by another process than the one it was opened with." instead of
// an answer. A connection in this process is called directly, and its
// answer copied here, once no other request of it runs (TRequestGate): the
// call waits for one that runs on another thread as for an answer (the same
// waits, time-out handlers and messages), and fails at once when the one
// that runs is further out on this thread.
//
// TZarvDataView ("Direct Data View") is the report data view that reads a
// named connection through the channel.
#include "report/model/QpCon.h"
#include "report/model/ZvData.h"

#include "platform/rtl/StringList.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TZarvDataView;

// Records the registration procedure of the direct data view under "ZVCL";
// further calls do nothing.
void RecordDirectDataViewProcs();

// The waits of one command (600 of 100 ms; tests shorten the wait) and the
// wait from which the large time-out handler is called (50).
extern int CallEventWaitCount;
extern uint32_t CallEventWaitMs;
extern int CallEventLargeTimeout;
// How long discovery waits for the next announcement, in milliseconds (250).
extern uint32_t DiscoveryWaitMs;

enum class TZarvDataResult : uint8_t { drContinue, drAbort, drPause };
enum class TZarvDataAction : uint8_t { daOpen, daClose };

class TZarvDataSystem;
using TTimeoutEvent = std::function<void(TZarvDataSystem* dataSystem, int counter, int timeout, int eventType,
                                         const QString& connectionName, bool first, TZarvDataResult& result)>;
using TDataActionEvent = std::function<void(TZarvDataSystem* dataSystem, TZarvDataAction action)>;

// The engine's record of one named connection.
class TZarvDataConnection {
public:
    void Assign(const TZarvDataConnection& value);

    int32_t FTag = 0;
    QString FName;
    bool FRuntime = false;
    int32_t FAppHandle = 0;                     // the process id of its application
    TZvCustomConnection* FConnection = nullptr; // when it lives in this process
    int32_t FConnectionRef = 0;                 // the number its process gave it
    uint64_t FToken = 0; // the connection object that answered command 11
    TSharedHandle FDataEvent = 0;
    int32_t FVersion = 0;
    TRuntimeVisibility FVisibility = TRuntimeVisibility::rtEndUser;
    TZarvDataView* FDataView = nullptr;
};

struct TZarvBufferInfo {
    int32_t Size = 0;
    int32_t FileMap = 0;
    const uint8_t* FileBuf = nullptr;
};

// How long GainControl waits for the mutex before it asks, in milliseconds
// (5000; tests shorten it).
extern uint32_t GainControlTimeoutMs;

class TZarvDataSystem {
public:
    // Raises the operating-system error of the first of its objects (the
    // channel's, then its mutex and events) that can be neither opened nor
    // made, closing those opened before it.
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

    // This process's copy of the exchange buffer (kZarvBufferSize bytes):
    // the request being written, or the answer being read.
    uint8_t* NormFileBuf() const { return FNormFileBuf; }

    // The request buffer: cursor to offset 8 of "ZARVBUFFER".
    void ClearBuffer();
    void PrepareEvent(int32_t eventType);
    void WriteStr(const QString& value);
    void WriteInt(int32_t value);
    void WriteInt64(int64_t value);
    void WriteBool(bool value);
    void WriteFloat(double value);
    void WriteCurr(Currency value);
    void WriteDateTime(TDateTime value);
    void WriteBuf(const void* buffer, int32_t len);
    QString ReadStr();
    int32_t ReadInt();
    bool ReadBool();
    double ReadFloat();
    Currency ReadCurr();
    TDateTime ReadDateTime();
    void ReadBuf(void* buffer, int32_t len);
    void GetBufferInfo(TZarvBufferInfo& bufferInfo) const;
    // The bytes left from the cursor to the end of the block in use.
    int64_t BytesLeft() const { return FCursor.Size() - FCursor.Pos(); }

    // Sends the request (code eventType, or the one in the buffer when 0)
    // and waits for the answer; true with the cursor on it.
    bool CallEvent(int32_t eventType, TZarvDataConnection& dataCon);
    void OpenFileMap(TZarvDataConnection& dataCon);
    void CloseFileMap();
    bool OpenDataEvent(const QString& name, TZarvDataConnection& dataCon);
    void CloseDataEvent(TZarvDataConnection& dataCon);
    void UpdateConnections();
    bool IsUnique(const QString& name) const;

    // Name to owned TZarvDataConnection; null before the first discovery.
    const TStringList* RTConnectList() const { return FRTConnectList.get(); }
    const TStringList* DTConnectList() const { return FDTConnectList.get(); }

    TTimeoutEvent OnSmallTimeout;
    TTimeoutEvent OnLargeTimeout;
    TDataActionEvent OnDataAction;

private:
    // What a signal during a wait means: keep waiting, answered, or not
    // answered.
    enum class TVerdict { vWait, vAnswered, vFailed };
    // The waits of CallEvent and of a design-time OpenDataEvent: each
    // signal of one of events (its index) is judged by verdict.
    bool WaitLoop(int32_t eventType, const QString& name, const std::vector<TSharedHandle>& events,
                  const std::function<TVerdict(int index)>& verdict);
    // Sends the request in the buffer (bytes long) to a connection of
    // another process and waits for its answer; raises when another
    // connection than the one identified took it.
    bool Exchange(int32_t eventType, TZarvDataConnection& dataCon, int64_t bytes);
    // Runs the request in the buffer (bytes long) on the connection of this
    // process, once no other request of it runs; false when none ended in
    // time, the connection went meanwhile, or this thread runs the other.
    bool CallInProcess(int32_t eventType, TZarvDataConnection& dataCon, int64_t bytes);
    // Waits up to ms for a signal of events that verdict takes for the
    // answer (index in which); passes over the others.
    bool ShortWait(const std::vector<TSharedHandle>& events, uint32_t ms,
                   const std::function<TVerdict(int index)>& verdict, int* which);
    // The judgement of a signal for request number: its state.
    TVerdict VerdictOf(uint64_t number, bool completion) const;
    // Copies the answer of request number in; false when it is not there.
    bool FetchAnswer(uint64_t number, uint64_t* answerer);
    void ReadIdentity(TZarvDataConnection& dataCon, TSharedHandle dataEvent);
    void FreeConnectLists();

    int32_t FControlCount = 0;
    std::unique_ptr<TZarvChannelControl> FControl;
    std::vector<uint8_t> FNormBuffer;
    uint8_t* FNormFileBuf = nullptr;
    uintptr_t FControllerMutex = 0;
    uintptr_t FCompletedEvent = 0;
    uintptr_t FErrorEvent = 0;
    bool FAutoUpdate = false;
    std::vector<uint8_t> FAltBuffer; // the overflow block's answer
    int FCurrentFileMap = 0;
    TZarvDataConnection* FCurrentDataCon = nullptr;
    TZarvCursor FCursor; // FileBuf, FilePtr
    std::unique_ptr<TStringList> FRTConnectList;
    std::unique_ptr<TStringList> FDTConnectList;
};

// A report data view over a named application data connection.
class TZarvDataView : public TZarvBaseDataView {
public:
    explicit TZarvDataView(TComponent* owner);
    ~TZarvDataView() override;

    const QString& ConnectionName() const { return FConnectionName; }
    void SetConnectionName(const QString& value) { FConnectionName = value; }
    TZarvDataConnection& DataCon() { return *FDataCon; }
    void SetDataCon(const TZarvDataConnection& value) { FDataCon->Assign(value); }

    void AssignTo(TPersistent* dest) const override;
    void AfterReport() override;
    void Open() override;
    void Close() override;
    void FetchRow(int how) override;
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList) override;
    void SetFilter(TStringList& filterList) override;
    void SetRemoteSort(TStringList& sortList) override;

private:
    // Reads one column description: its name, type, width, full name and
    // description.
    void ReadColumn(TZarvDataFieldInfo& info);
    TZarvDataSystem& System();

    QString FConnectionName;
    std::unique_ptr<TZarvDataConnection> FDataCon;
};

// Copies a row of an answer into row: Int RowSize, then that many bytes of
// slot table and values. A size that is negative or runs past the block
// fails with ESheetcaster.
void ReadAnswerRow(TZarvDataSystem& system, TZarvDataRow& row);

// The data system of this process; null until one is made.
extern TZarvDataSystem* DataSystem;
