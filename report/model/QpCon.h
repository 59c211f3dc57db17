#pragma once
// QpCon: the application side of the cross-process data channel.
//
// TZvCustomConnection offers rows to reports: it answers the channel's
// commands (1 first row, 2 next row, 3 end of data, 4 columns, 5 row,
// 6 filter, 7 sorts, 8 sort, 9 open, 10 restore) from its handlers or, when
// a handler is not set, from the virtual Do... methods. A report in this
// process calls it directly (ExecCode); a report in another process reaches
// it through the connection's own worker thread, which waits for the data
// event "ZARVRTDATA_<name>" ("ZARVDTDATA_" at design time), hands commands
// 1-10 to the UI thread, which signals the engine once the handler has run
// (a command reaches the UI thread only when the one before has run), and
// answers command 11 (identity), 12 (drop the overflow buffer) and the
// discovery requests ("ZARVCONNECT" ... "ZARVDISCONNECT") itself. The thread
// runs at design time and whenever RuntimeVisibility is rtDeveloper or
// rtEndUser.
//
// When the thread is started on the UI thread of a running application,
// the UI thread itself serves the data event: it listens to it through a
// descriptor its event loop watches, and runs every command that comes on
// it there, commands 11 and 12 included, so that a request costs no hop
// from the worker thread (which then answers only discovery). Where the
// event cannot be listened to that way (another process of that connection
// name listens already, or the event could not be opened), the worker
// thread serves it as above.
//
// One request of a connection runs at a time (TRequestGate): a report of
// this process that calls it while it runs another request, one of another
// process on the UI thread or one of a report on another thread, waits for
// that one to end, as long as it would wait for an answer; called from
// inside the running request's handler (which let the events in), it fails
// at once, since the request it would wait for cannot end before it. A
// request of another process that finds a request of this process running
// is refused (its engine is told with "ZARVERROR"): it can only be one whose
// asker no longer holds the channel, which that report holds.
//
// Every wait of the thread and of its hand-over blocks until the event it
// waits for (the time-outs are only limits); destroying the connection wakes
// the thread through a private event and waits for it to end. Events that
// cannot be opened (a process stopped while making one keeps it from the
// others for the bound of the shared objects) are opened again after a
// pause that grows to a second, as a wait that fails is tried again after
// one: the thread sleeps meanwhile, and serves once the events open. The UI
// thread waits for such events once at most when the thread starts. Whoever
// starts to serve a data event (the UI thread, or the worker thread, also
// after the UI thread stopped) first looks at the request out: one made
// before, whose ring came when nobody listened, is served then. A command
// still waiting for the UI thread when the connection is destroyed is not
// run: the engine is told with "ZARVERROR".
//
// Requests and answers. The connection runs only a request that is still
// the one out and addressed to it (ZvChannelControl): to its name, and to
// this connection object, told by a random token that its answer to command
// 11 carries back to the engine. A request to its name but to another token
// was meant for the connection the engine opened earlier under that name
// (another process): it is refused, and the engine ends the run with a
// message naming the connection. The handler reads a copy of the request
// and writes its answer into memory of this connection; the answer goes
// into "ZARVBUFFER" (and an overflow block) only when the handler has run,
// and only while its request is still out, so a handler that ran past the
// engine's time-out writes nothing the engine reads. A request withdrawn
// before the UI thread came to it is not run at all.
//
// Answers are written into a buffer of 65536 bytes that stands for
// "ZARVBUFFER"; one that does not fit moves on to a larger one that stands
// for "ZARVBUFFERALT1", then "ZARVBUFFERALT2", alternately, and is put into
// the overflow block of that name, which stays open until the connection's
// next answer into an overflow block (the engine opens it only to read).
// The process keeps one view of each block for all its connections, since
// a block cannot grow while its process maps it: an answer larger than the
// view replaces it, and one that fits is written into it; neither is done
// for a request that is no longer out. Every write and read is bounded by
// the size of the buffer in use; a request that runs past it fails the
// command with ESheetcaster. A handler that raises on the UI thread signals
// "ZARVERROR" instead of "ZARVCOMPLETED", so the engine stops waiting and
// the command fails.
//
// A row is Bool end-of-data, then (when false) Int RowSize and the row: a
// slot table of (value offset, text offset) per included column, counted
// from its start, then the values. Columns whose alias (FieldAliasList line
// "Name=Alias") is empty are not sent and have no slot.
//
// Identity fields. The identity record's two Int32 fields that stood for
// the application's window and the connection object hold the process id
// and the number the manager gave the connection.
#include "report/model/ZvChannelControl.h"
#include "report/model/ZvDLCommon.h"
#include "report/print/QpDefine.h"

#include "platform/objects/Strings.h"
#include "platform/objects/TypInfo.h"
#include "platform/os/SharedObjects.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/NumberText.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TZvCustomConnection;
struct THandOver;
class QSocketNotifier;

// Registers the connection class for form streams at once; further calls do
// nothing.
void RegisterDataConnectionClasses();

enum class TRuntimeVisibility : uint8_t { rtNone, rtDeveloper, rtEndUser };

// The size of "ZARVBUFFER" in bytes.
constexpr int kZarvBufferSize = 65536;
// The channel's protocol version.
constexpr int32_t kZarvVersion = 30003;
constexpr int kZarvHeaderSize = 8;

// The connections of this process.
class TDataConnectManager {
public:
    // Gives the connection its number (1, 2, ...).
    void AddConnection(TZvCustomConnection* connection);
    void RemoveConnection(TZvCustomConnection* connection);
    // The first connection of that component name (case ignored), or null.
    TZvCustomConnection* FindConnection(const QString& connectName) const;

private:
    mutable std::mutex FLock;
    std::vector<TZvCustomConnection*> FConnectList;
    int32_t FNextNumber = 1;
};

// The manager of this process; made by the explicit start-up call.
extern TDataConnectManager* DataConnectManager;
// Makes DataConnectManager when missing (the program's start-up; tests).
void InitDataConnectManager();

// One column as the handler declared it, with its filter value.
class TDataConnectFieldDef {
public:
    TDataConnectFieldDef(TQPDataType dataType, const QString& fieldName, bool included);
    void Clear();
    // Takes the filter value (of the definition's type).
    void SetFilter(const TDLValue& value);
    bool FilterValid(const TDLValue& value) const;

    TQPDataType FDataType;
    QString FFieldName;
    bool FIncluded;
    int32_t FFieldIndex = -1;
    QString StrData;
    TDLValue BinData;
    int32_t DataSize = 0; // 0: no filter
};

// Lets one request of a connection run at a time, whoever asks: the thread
// that runs a request of another process (the UI thread, or the worker
// thread where there is no application), or a report of this process that
// calls the connection directly, on any thread. Both write the connection's
// one cursor and column list. Entering never waits; a report waits for Idle
// (ZvDirectDataView). Shared: a report that waits holds it while the
// connection may be destroyed.
class TRequestGate {
public:
    enum class TEntry {
        teEntered, // the caller runs its request, and leaves afterwards
        teBusy,    // a request runs on another thread
        teNested,  // a request runs further out on this thread
        teGone,    // the connection has been destroyed
    };
    // Raises EOSError when its event cannot be made.
    TRequestGate();
    ~TRequestGate();
    TRequestGate(const TRequestGate&) = delete;
    TRequestGate& operator=(const TRequestGate&) = delete;

    TEntry Enter();
    // As Enter; when busy, the caller is counted in as waiting, in the same
    // look, so that the next Leave sets Idle for it. It counts itself out
    // with StopWaiting once it entered or gave up.
    TEntry EnterOrWait();
    void StopWaiting();
    void Leave();
    // An event of this process, set by every Leave while a thread waits.
    TSharedHandle Idle() const { return FIdle; }
    // The connection goes: every later Enter answers teGone.
    void Close();

private:
    TEntry EnterLocked();

    std::mutex FLock;
    std::thread::id FRunner; // the thread whose request runs; none when idle
    int FWaiters = 0;
    bool FGone = false;
    TSharedHandle FIdle = 0;
};

using TQPConnectorEvent = std::function<void(TZvCustomConnection* connection)>;
using TQPEOFEvent = std::function<void(TZvCustomConnection* connection, bool& eof)>;
using TQPValidateRowEvent = std::function<void(TZvCustomConnection* connection, bool& validRow)>;

class TZvCustomConnection : public TQpComponent {
public:
    explicit TZvCustomConnection(TComponent* owner);
    ~TZvCustomConnection() override;

    // Typed writes and reads at the cursor of the block in use.
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
    int64_t ReadInt64();
    bool ReadBool();
    double ReadFloat();
    Currency ReadCurr();
    TDateTime ReadDateTime();
    void ReadBuf(void* buffer, int32_t len);

    // Declares a column (from OnGetCols / DoGetCols).
    void WriteField(const QString& name, TQPDataType dataType, int32_t width, const QString& fullName,
                    const QString& description);
    // One call per declared column, in order (from OnGetRow / DoGetRow).
    void WriteNullData();
    void WriteStrData(const QString& formatData, const QString& nativeData);
    void WriteIntData(const QString& formatData, int32_t nativeData);
    void WriteInt64Data(const QString& formatData, int64_t nativeData);
    void WriteBoolData(const QString& formatData, bool nativeData);
    void WriteFloatData(const QString& formatData, double nativeData);
    void WriteCurrData(const QString& formatData, Currency nativeData);
    void WriteBCDData(const QString& formatData, Currency nativeData);
    void WriteDateTimeData(const QString& formatData, TDateTime nativeData);
    void WriteBlobData(const void* buffer, int32_t len);

    // Filters.
    bool ReadFilterItem(QString& fieldName, QString& fieldOp, QString& fieldData);
    bool GetFilterItem();
    TDataConnectFieldDef* FindFieldDef(const QString& fieldName) const;
    TDataConnectFieldDef* CurrentFieldDef() const;
    const QString& FilterFieldName() const { return FFilterFieldName; }
    const QString& FilterFieldOp() const { return FFilterFieldOp; }
    const QString& FilterFieldData() const { return FFilterFieldData; }

    // Buffer.
    void ClearBuffer();
    void FixupBufferHeader();
    void ClearBufferHeader();

    // Command handlers.
    void ExecFirst();
    void ExecNext();
    void ExecEOF();
    void ExecGetCols();
    void ExecGetRow();
    void ExecSetFilter();
    void ExecGetSorts();
    void ExecSetSort();
    void ExecOpen();
    void ExecRestore();
    bool ExecValidateRow();
    bool GetEOF();
    // Reads the command code from the buffer and runs commands 1-10; false
    // for any other code.
    bool ExecCode();
    // For an engine in this process: puts the request (bytes from offset 0,
    // header included) into the buffer, and copies the answer out (norm
    // receives 65536 bytes, alt the overflow buffer's bytes, if any).
    void TakeRequest(const uint8_t* request, int64_t bytes);
    void CopyAnswer(uint8_t* norm, std::vector<uint8_t>& alt) const;
    // Runs request number of another process on this thread (the UI
    // thread, which commands 1-10 are handed to), if it is still out, and
    // signals completed, or errorEvent when the handler raised.
    void RunRequest(uint64_t number, TSharedHandle completed, TSharedHandle errorEvent);
    // The token that tells this connection object from every other.
    uint64_t Token() const { return FToken; }
    // What a request enters to run (TakeRequest, ExecCode and CopyAnswer
    // for a report of this process).
    const std::shared_ptr<TRequestGate>& RequestGate() const { return FGate; }

    int32_t DataIndex() const { return FDataIndex; }
    void SetDataIndex(int32_t value) { FDataIndex = value; }
    int32_t DataRows() const { return FDataRows; }
    void SetDataRows(int32_t value) { FDataRows = value; }
    bool Runtime() const { return FRuntime; }
    int32_t ConnectionNumber() const { return FNumber; }
    bool ThreadRunning() const { return FThread.joinable(); }
    const std::vector<std::unique_ptr<TDataConnectFieldDef>>& FieldDefList() const { return FFieldDefList; }
    int CurrentFileMap() const { return FCurrentFileMap; }

    // Published properties.
    TStrings* FieldAliasList() const { return FFieldAliasList.get(); }
    void SetFieldAliasList(TStrings* value);
    bool LocalFilter() const { return FLocalFilter; }
    void SetLocalFilter(bool value) { FLocalFilter = value; }
    TRuntimeVisibility RuntimeVisibility() const { return FRTVisible; }
    void SetRuntimeVisibility(TRuntimeVisibility value);
    void SetName(const QString& name) override;
    void DefineProperties(TFiler& filer) override;

    // Handlers; each replaces the matching Do... method when set. A handler
    // a form stream names (EventNames, by kEvent... index; the flag events
    // are bound as close-query handlers of the form) is called when no
    // function is set here.
    TQPConnectorEvent OnFirst, OnNext, OnGetCols, OnGetRow, OnSetFilter, OnGetSorts, OnSetSort, OnOpen,
        OnRestore;
    TQPEOFEvent OnEOF;
    TQPValidateRowEvent OnValidateRow;
    enum {
        kEventFirst,
        kEventNext,
        kEventEOF,
        kEventGetCols,
        kEventGetRow,
        kEventSetFilter,
        kEventGetSorts,
        kEventSetSort,
        kEventOpen,
        kEventRestore,
        kEventValidateRow,
        kEventCount
    };
    TMethod EventNames[kEventCount];

    // Connections made while it is set (or with an owner in design state)
    // are design-time connections; no designer sets it in this program.
    static inline bool DesignState = false;

protected:
    virtual void DoFirst();
    virtual void DoNext();
    virtual bool DoEOF();
    virtual void DoGetCols();
    virtual void DoGetRow();
    virtual void DoSetFilter();
    virtual void DoGetSorts();
    virtual void DoSetSort();
    virtual void DoOpen();
    virtual void DoRestore();
    virtual bool DoValidateRow();

private:
    friend class TDataConnectManager;
    void StartThread();
    void StopThread();
    // The worker thread; openLater: the first try to open the events comes
    // after a pause.
    void ThreadLoop(std::promise<void>* listening, bool openLater);
    // Sleeps ms, woken early by the wake-up event.
    void Pause(uint32_t ms);
    // Runs or hands over the request out on the data event of name, when it
    // is this connection's; onUiThread runs commands 1-10 at once.
    void ServeRequest(const QString& name, TSharedHandle ackEvent, TSharedHandle completed,
                      TSharedHandle errorEvent, bool onUiThread);
    // The UI thread's service of the data event (see the head of the file):
    // false when the event cannot be listened to; openFailed (when given) is
    // set when that is because an event could not be opened.
    bool ListenOnUiThread(bool* openFailed = nullptr);
    void StopListeningOnUiThread();
    void ServeOnUiThread();
    // Hands request number (commands 1-10) to the UI thread, which sets
    // completed when the handler ran, errorEvent when it raised; errorEvent
    // is set here too when the command is withdrawn.
    void HandOver(uint64_t number, TSharedHandle completed, TSharedHandle errorEvent);
    // Answers request number with the identity record (command 11 and
    // discovery), from the thread; false when it is no longer out.
    bool AnswerIdentity(uint64_t number);
    // Answers request number with a cleared header (command 12 and codes
    // it does not know), from the thread.
    bool AnswerEmpty(uint64_t number);
    void WriteIdentity(TZarvCursor& cursor) const;
    // Puts the answer of the handler that ran for request number into the
    // channel; false when the request is no longer out. Raises when the
    // overflow block cannot be made.
    bool PutAnswer(uint64_t number);
    // Moves the answer to a larger buffer when count more bytes do not fit
    // in the one in use.
    void MakeRoom(int64_t count);
    void CloseOverflow();
    // Closes the overflow block that the last answer went to, or of that
    // number, when no other connection of this process wrote it since.
    void CloseSharedOverflow();
    void ReleaseOverflow(int number);
    // The row-writing calls: filter test, type check, room, the values.
    void PutData(std::initializer_list<TQPDataType> accepted, const QString* formatted,
                 const TDLValue& value);
    QString ThreadName() const;
    bool RunHandler(const TQPConnectorEvent& handler, int event);
    bool RunFlagHandler(const TQPEOFEvent& handler, int event, bool& flag);

    std::unique_ptr<TZarvChannelControl> FControl;
    std::shared_ptr<TRequestGate> FGate;
    uint64_t FToken = 0;
    // The request and the answer of the handler: "ZARVBUFFER" and the
    // overflow buffer, in this process.
    std::vector<uint8_t> FNormBuffer;
    uint8_t* FNormFileBuf = nullptr;
    std::vector<uint8_t> FAltBuffer;
    int FCurrentFileMap = 0;
    // The copy of a request that the thread (or the UI thread) answers
    // without a handler.
    std::mutex FThreadBufferLock;
    std::vector<uint8_t> FThreadBuffer;
    TZarvCursor FCursor; // FileBuf, FilePtr, CurrentMapSize
    int64_t FRowHeaderPos = 0;
    bool FRuntime = true;
    QString FModeStr;
    std::vector<std::unique_ptr<TDataConnectFieldDef>> FFieldDefList;
    int32_t FFieldIdx = 0;
    int32_t FIncludedFieldIdx = 0;
    int32_t FDataIndex = 0;
    int32_t FDataRows = 0;
    QString FFilterFieldName, FFilterFieldOp, FFilterFieldData;
    bool FLocalFilter = true;
    bool FLocalFilterValid = true;
    TRuntimeVisibility FRTVisible = TRuntimeVisibility::rtDeveloper;
    std::unique_ptr<TStrings> FFieldAliasList;
    int32_t FNumber = 0;

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    // Set while the thread holds the events of its name open.
    std::atomic<bool> FThreadHoldsData{false};
    // Private to this process: wakes the thread to end or to take a new name.
    TSharedHandle FWakeEvent = 0;
    // The command waiting for the UI thread, if any.
    std::mutex FHandOverLock;
    std::shared_ptr<THandOver> FHandOver;
    // Set while the UI thread serves the data event.
    struct TUiListener;
    std::shared_ptr<TUiListener> FUiListener;
    std::atomic<bool> FUiServes{false};
    mutable std::mutex FNameLock;
    QString FThreadName;
};

// The names of the data types as the channel sends them ("dtString" ...).
QString DataTypeName(TQPDataType dataType);
// False when the name is none of them.
bool DataTypeFromName(const QString& name, TQPDataType& dataType);
