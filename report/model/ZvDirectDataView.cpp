#include "report/model/ZvDirectDataView.h"

#include "platform/forms/MessageService.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/os/SharedObjects.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpDefine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QtEndian>

#include <thread>

uint32_t GainControlTimeoutMs = 5000;
TZarvDataSystem* DataSystem = nullptr;
int CallEventWaitCount = 600;
uint32_t CallEventWaitMs = 100;
int CallEventLargeTimeout = 50;
uint32_t DiscoveryWaitMs = 250;

namespace {

[[noreturn]] void ChannelFail(const QString& message)
{
    RaiseError(Translate(message));
}

void ProcessMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void YieldNow()
{
    std::this_thread::yield();
}

void RegisterDirectDataViewClasses()
{
    if (FindClass(QStringLiteral("TZarvDataView")))
        return;
    TClassInfo& view =
        RegisterClass<TZarvDataView>(QStringLiteral("TZarvDataView"), QStringLiteral("TZarvBaseDataView"));
    PublishProperty(view, QStringLiteral("ConnectionName"), TypeInfoString(), &TZarvDataView::ConnectionName,
                    &TZarvDataView::SetConnectionName);
    RegisterDataObjectClass(&view, Translate(QStringLiteral("Direct Data View")));
    RegisterZarvModuleClasses(QStringLiteral("ZvData"), {&view});
}

// Frees the data system still there when the program ends. It is made after
// the first objects are opened, so that it goes before the registry of
// shared objects does.
struct TDataSystemFinalizer {
    ~TDataSystemFinalizer() { delete DataSystem; }
};

} // namespace

TZarvDataSystem::TZarvDataSystem()
{
    FControl = std::make_unique<TZarvChannelControl>();
    FNormBuffer.assign(kZarvBufferSize, 0);
    FNormFileBuf = FNormBuffer.data();
    // One after the other, stopping at the first that cannot be had: its
    // error is the one raised, naming that object (a later open that failed
    // too would name the last).
    FControllerMutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
    if (FControllerMutex)
        FCompletedEvent = OpenSharedEvent(QStringLiteral("ZARVCOMPLETED"));
    if (FCompletedEvent)
        FErrorEvent = OpenSharedEvent(QStringLiteral("ZARVERROR"));
    if (!FErrorEvent) {
        const EOSError error = LastSharedObjectError();
        CloseSharedMutex(FControllerMutex);
        CloseSharedEvent(FCompletedEvent);
        throw error;
    }
    FCursor.Fail = &ChannelFail;
    FCursor.Reset(FNormFileBuf, kZarvBufferSize, kZarvHeaderSize);
    static TDataSystemFinalizer finalizer;
}

TZarvDataSystem::~TZarvDataSystem()
{
    FreeConnectLists();
    CloseFileMap();
    CloseSharedMutex(FControllerMutex);
    CloseSharedEvent(FCompletedEvent);
    CloseSharedEvent(FErrorEvent);
    if (DataSystem == this)
        DataSystem = nullptr;
}

bool TZarvDataSystem::GainControl()
{
    if (FControlCount > 0) {
        ++FControlCount;
        return true;
    }
    for (;;) {
        // A mutex whose holder died comes as abandoned and is held once, as
        // any other.
        const TWaitResult result = WaitNamedObject(FControllerMutex, GainControlTimeoutMs);
        if (result == TWaitResult::wrSignaled || result == TWaitResult::wrAbandoned) {
            ++FControlCount;
            return true;
        }
        const int answer = ShowMessageBox(
            Translate(QStringLiteral("Unable to gain control of ZARV Data Communication System.")),
            Translate(QStringLiteral("Error")), TMsgIcon::Error, TMsgButtons::RetryCancel);
        if (answer != IDRETRY)
            return false;
    }
}

void TZarvDataSystem::ReleaseControl()
{
    --FControlCount;
    if (FControlCount < 0) {
        FControlCount = 0;
        RaiseError(Translate(QStringLiteral("Control count underflow on ReleaseControl")));
    }
    if (FControlCount == 0)
        ReleaseNamedMutex(FControllerMutex);
}

void RecordDirectDataViewProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDirectDataViewClasses);
}

// ---------------------------------------------------------------------------
// TZarvDataConnection.

void TZarvDataConnection::Assign(const TZarvDataConnection& value)
{
    FName = value.FName;
    FRuntime = value.FRuntime;
    FAppHandle = value.FAppHandle;
    FConnection = value.FConnection;
    FConnectionRef = value.FConnectionRef;
    FToken = value.FToken;
    FDataEvent = value.FDataEvent;
    FVersion = value.FVersion;
    FVisibility = value.FVisibility;
}

// ---------------------------------------------------------------------------
// TZarvDataSystem: the buffer.

void TZarvDataSystem::CloseFileMap()
{
    if (FCurrentFileMap != 0) {
        FCurrentFileMap = 0;
        FCurrentDataCon = nullptr;
        FCursor.Reset(FNormFileBuf, kZarvBufferSize, std::min<int64_t>(FCursor.Pos(), kZarvBufferSize));
    }
}

void TZarvDataSystem::OpenFileMap(TZarvDataConnection& dataCon)
{
    const int32_t altNumber = qFromLittleEndian<int32_t>(FNormFileBuf + 4);
    if (altNumber < 0 || altNumber > 2)
        ChannelFail(QStringLiteral("The data connection answered in overflow buffer %1; only 1 and 2 exist")
                        .arg(altNumber));
    FCurrentDataCon = &dataCon;
    if (altNumber == 0)
        return;
    // The overflow block was read when the answer came in.
    if (FAltBuffer.empty())
        ChannelFail(QStringLiteral("The overflow buffer ZARVBUFFERALT%1 cannot be mapped").arg(altNumber));
    const int64_t pos = FCursor.Pos();
    const auto size = int64_t(FAltBuffer.size());
    FCurrentFileMap = altNumber;
    FCursor.Reset(FAltBuffer.data(), size, std::min<int64_t>(pos, size));
}

void TZarvDataSystem::ClearBuffer()
{
    CloseFileMap();
    FCursor.Seek(kZarvHeaderSize);
}

void TZarvDataSystem::PrepareEvent(int32_t eventType)
{
    ClearBuffer();
    WriteInt(eventType);
}

void TZarvDataSystem::WriteStr(const QString& value)
{
    FCursor.WriteStr(value);
}

void TZarvDataSystem::WriteInt(int32_t value)
{
    FCursor.WriteInt(value);
}

void TZarvDataSystem::WriteInt64(int64_t value)
{
    FCursor.WriteInt64(value);
}

void TZarvDataSystem::WriteBool(bool value)
{
    FCursor.WriteBool(value);
}

void TZarvDataSystem::WriteFloat(double value)
{
    FCursor.WriteFloat(value);
}

void TZarvDataSystem::WriteCurr(Currency value)
{
    FCursor.WriteCurr(value.Scaled);
}

void TZarvDataSystem::WriteDateTime(TDateTime value)
{
    FCursor.WriteDateTime(value);
}

void TZarvDataSystem::WriteBuf(const void* buffer, int32_t len)
{
    FCursor.WriteBuf(buffer, len);
}

QString TZarvDataSystem::ReadStr()
{
    return FCursor.ReadStr();
}

int32_t TZarvDataSystem::ReadInt()
{
    return FCursor.ReadInt();
}

bool TZarvDataSystem::ReadBool()
{
    return FCursor.ReadBool();
}

double TZarvDataSystem::ReadFloat()
{
    return FCursor.ReadFloat();
}

Currency TZarvDataSystem::ReadCurr()
{
    return Currency::FromScaled(FCursor.ReadCurr());
}

TDateTime TZarvDataSystem::ReadDateTime()
{
    return FCursor.ReadDateTime();
}

void TZarvDataSystem::ReadBuf(void* buffer, int32_t len)
{
    FCursor.ReadBuf(buffer, len);
}

void TZarvDataSystem::GetBufferInfo(TZarvBufferInfo& bufferInfo) const
{
    bufferInfo.Size = FCursor.PeekInt(0);
    bufferInfo.FileMap = FCursor.PeekInt(4);
    bufferInfo.FileBuf = FCursor.Base();
}

// ---------------------------------------------------------------------------
// TZarvDataSystem: commands.

bool TZarvDataSystem::WaitLoop(int32_t eventType, const QString& name,
                               const std::vector<TSharedHandle>& events,
                               const std::function<TVerdict(int index)>& verdict)
{
    bool answered = false;
    bool smallCalled = false;
    bool largeCalled = false;
    const auto callHandler = [&](const TTimeoutEvent& handler, int counter, bool first) {
        TZarvDataResult result;
        do {
            result = TZarvDataResult::drContinue;
            handler(this, counter, CallEventWaitCount, eventType, name, first, result);
            if (result >= TZarvDataResult::drPause)
                ProcessMessages();
        } while (result >= TZarvDataResult::drPause && handler);
        return result;
    };
    // An answer that is already there is taken before the messages are
    // processed: a connection of another process often answers before
    // this thread looks.
    int index = -1;
    const TVerdict early =
        WaitNamedEvents(events, 0, &index) == TWaitResult::wrSignaled ? verdict(index) : TVerdict::vWait;
    if (early != TVerdict::vWait)
        return early == TVerdict::vAnswered;
    for (int counter = 1; counter <= CallEventWaitCount; ++counter) {
        ProcessMessages();
        index = -1;
        const TWaitResult result = WaitNamedEvents(events, CallEventWaitMs, &index);
        const TVerdict judged = result == TWaitResult::wrSignaled ? verdict(index) : TVerdict::vWait;
        if (judged == TVerdict::vAnswered) {
            answered = true;
            break;
        }
        if (judged == TVerdict::vFailed)
            break;
        TZarvDataResult dataResult = TZarvDataResult::drContinue;
        if (OnSmallTimeout) {
            dataResult = callHandler(OnSmallTimeout, counter, counter == 1);
            smallCalled = true;
        }
        if (counter >= CallEventLargeTimeout && OnLargeTimeout) {
            dataResult = callHandler(OnLargeTimeout, counter, counter == CallEventLargeTimeout);
            largeCalled = true;
        }
        if (dataResult == TZarvDataResult::drAbort)
            break;
    }
    const int closing = answered ? 0 : -1;
    TZarvDataResult ignored = TZarvDataResult::drContinue;
    if (smallCalled && OnSmallTimeout)
        OnSmallTimeout(this, closing, 0, eventType, name, false, ignored);
    if (largeCalled && OnLargeTimeout)
        OnLargeTimeout(this, closing, 0, eventType, name, false, ignored);
    return answered;
}

bool TZarvDataSystem::CallEvent(int32_t eventType, TZarvDataConnection& dataCon)
{
    CloseFileMap();
    // The header: the request's length in 16-bit units, no overflow block.
    const int64_t bytes = FCursor.Pos();
    qToLittleEndian<int32_t>(int32_t(bytes / 2), FNormFileBuf);
    qToLittleEndian<int32_t>(0, FNormFileBuf + 4);
    ClearBuffer();
    if (eventType != 0)
        FCursor.PokeInt(kZarvHeaderSize, eventType);
    else
        eventType = FCursor.PeekInt(kZarvHeaderSize);
    bool answered;
    if (dataCon.FConnection)
        answered = CallInProcess(eventType, dataCon, std::max<int64_t>(bytes, kZarvHeaderSize + 4));
    else
        answered = Exchange(eventType, dataCon, std::max<int64_t>(bytes, kZarvHeaderSize + 4));
    FCursor.Seek(kZarvHeaderSize);
    if (answered)
        OpenFileMap(dataCon);
    FCursor.Seek(kZarvHeaderSize);
    return answered;
}

TZarvDataSystem::TVerdict TZarvDataSystem::VerdictOf(uint64_t number, bool completion) const
{
    switch (FControl->StateOf(number)) {
    case TRequestState::rsDone:
        return completion ? TVerdict::vAnswered : TVerdict::vWait;
    case TRequestState::rsFailed:
    case TRequestState::rsRefused:
        return TVerdict::vFailed;
    default:
        return TVerdict::vWait; // a signal of another request
    }
}

bool TZarvDataSystem::FetchAnswer(uint64_t number, uint64_t* answerer)
{
    return FControl->Fetch(number, FNormFileBuf, FAltBuffer, answerer);
}

bool TZarvDataSystem::Exchange(int32_t eventType, TZarvDataConnection& dataCon, int64_t bytes)
{
    const uint64_t number =
        FControl->Post(FNormFileBuf, bytes, dataCon.FToken, TZarvChannelControl::AddressOf(dataCon.FName));
    if (number == 0)
        return false;
    SetNamedEvent(dataCon.FDataEvent);
    YieldNow();
    bool answered = WaitLoop(eventType, dataCon.FName, {FErrorEvent, FCompletedEvent},
                             [&](int index) { return VerdictOf(number, index == 1); });
    // Not answered in time: withdrawn, so that nobody runs or answers it
    // later (unless its answer came in meanwhile).
    if (!answered)
        answered = FControl->Withdraw(number);
    if (FControl->StateOf(number) == TRequestState::rsRefused)
        ChannelFail(QStringLiteral("The data connection \"%1\" is now answered by another process than the one "
                                   "it was opened with.")
                        .arg(dataCon.FName));
    return answered && FetchAnswer(number, nullptr);
}

bool TZarvDataSystem::CallInProcess(int32_t eventType, TZarvDataConnection& dataCon, int64_t bytes)
{
    // Held here, the gate outlives a connection destroyed while this waits
    // (the messages processed meanwhile may destroy it), and tells so.
    const std::shared_ptr<TRequestGate> gate = dataCon.FConnection->RequestGate();
    using TEntry = TRequestGate::TEntry;
    TEntry entry = gate->EnterOrWait();
    if (entry == TEntry::teBusy) {
        WaitLoop(eventType, dataCon.FName, {gate->Idle()}, [&](int) {
            entry = gate->Enter();
            return entry == TEntry::teBusy      ? TVerdict::vWait
                   : entry == TEntry::teEntered ? TVerdict::vAnswered
                                                : TVerdict::vFailed;
        });
        gate->StopWaiting();
    }
    // Further out on this thread, the running request cannot end before
    // this one: it fails at once.
    if (entry != TEntry::teEntered)
        return false;
    const auto leave = qScopeGuard([&] { gate->Leave(); });
    TZvCustomConnection& connection = *dataCon.FConnection;
    connection.TakeRequest(FNormFileBuf, bytes);
    if (!connection.ExecCode())
        return false;
    connection.CopyAnswer(FNormFileBuf, FAltBuffer);
    return true;
}

void TZarvDataSystem::ReadIdentity(TZarvDataConnection& dataCon, TSharedHandle dataEvent)
{
    ClearBuffer();
    dataCon.FDataEvent = dataEvent;
    dataCon.FName = ReadStr();
    dataCon.FRuntime = ReadBool();
    dataCon.FAppHandle = ReadInt();
    dataCon.FConnectionRef = ReadInt();
    dataCon.FConnection = nullptr;
    dataCon.FVersion = ReadInt();
}

bool TZarvDataSystem::OpenDataEvent(const QString& name, TZarvDataConnection& dataCon)
{
    dataCon.FConnection = DataConnectManager ? DataConnectManager->FindConnection(name) : nullptr;
    if (dataCon.FConnection) {
        if (OnDataAction)
            OnDataAction(this, TZarvDataAction::daOpen);
        dataCon.FDataEvent = 0;
        dataCon.FName = name;
        dataCon.FRuntime = true;
        dataCon.FAppHandle = int32_t(QCoreApplication::applicationPid());
        dataCon.FVersion = kZarvVersion;
        ClearBuffer();
        return true;
    }
    if (FAutoUpdate) {
        UpdateConnections();
        FAutoUpdate = false;
    }
    const TSharedHandle rtData = OpenSharedEvent(QStringLiteral("ZARVRTDATA_") + name);
    const TSharedHandle rtAck = OpenSharedEvent(QStringLiteral("ZARVRTACK_") + name);
    PrepareEvent(11);
    // Any connection of that name may answer; its answer names it.
    const uint64_t number = FControl->Post(FNormFileBuf, FCursor.Pos(), 0, TZarvChannelControl::AddressOf(name));
    // An acknowledgement counts only once the request is answered.
    const auto acked = [&](int index) { return VerdictOf(number, index >= 1); };
    int which = -1;
    bool answered = false;
    if (number != 0) {
        SetNamedEvent(rtData);
        YieldNow();
        ProcessMessages();
        answered = ShortWait({FErrorEvent, rtAck}, CallEventWaitMs, acked, &which);
    }
    TSharedHandle dtData = 0;
    TSharedHandle dtAck = 0;
    if (number != 0 && !answered) {
        dtData = OpenSharedEvent(QStringLiteral("ZARVDTDATA_") + name);
        dtAck = OpenSharedEvent(QStringLiteral("ZARVDTACK_") + name);
        SetNamedEvent(dtData);
        YieldNow();
        answered = WaitLoop(11, name, {FErrorEvent, rtAck, dtAck}, [&](int index) {
            const TVerdict verdict = acked(index);
            if (verdict == TVerdict::vAnswered)
                which = index;
            return verdict;
        });
        if (!answered)
            FControl->Withdraw(number);
    }
    uint64_t token = 0;
    answered = answered && FetchAnswer(number, &token);
    if (answered) {
        if (OnDataAction)
            OnDataAction(this, TZarvDataAction::daOpen);
        const bool runtime = which == 1;
        ReadIdentity(dataCon, runtime ? rtData : dtData);
        dataCon.FToken = token;
        CloseSharedEvent(runtime ? dtData : rtData);
    } else {
        CloseSharedEvent(rtData);
        CloseSharedEvent(dtData);
    }
    CloseSharedEvent(rtAck);
    CloseSharedEvent(dtAck);
    ClearBuffer();
    return answered;
}

bool TZarvDataSystem::ShortWait(const std::vector<TSharedHandle>& events, uint32_t ms,
                                const std::function<TVerdict(int index)>& verdict, int* which)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const qint64 left = qint64(ms) - timer.elapsed();
        int index = -1;
        if (left <= 0 || WaitNamedEvents(events, uint32_t(left), &index) != TWaitResult::wrSignaled)
            return false;
        const TVerdict judged = verdict(index);
        if (judged == TVerdict::vFailed)
            return false;
        if (judged == TVerdict::vAnswered) {
            if (which)
                *which = index;
            return true;
        }
    }
}

void TZarvDataSystem::CloseDataEvent(TZarvDataConnection& dataCon)
{
    CloseFileMap();
    if (OnDataAction)
        OnDataAction(this, TZarvDataAction::daClose);
    if (dataCon.FDataEvent != 0) {
        CloseSharedEvent(dataCon.FDataEvent);
        dataCon.FDataEvent = 0;
    }
}

void TZarvDataSystem::FreeConnectLists()
{
    for (TStringList* list : {FRTConnectList.get(), FDTConnectList.get()}) {
        if (!list)
            continue;
        for (int i = 0; i < list->Count(); ++i)
            delete static_cast<TZarvDataConnection*>(list->Objects(i));
        list->Clear();
    }
}

void TZarvDataSystem::UpdateConnections()
{
    if (!FRTConnectList) {
        for (auto* list : {&FRTConnectList, &FDTConnectList}) {
            *list = std::make_unique<TStringList>();
            (*list)->SetSorted(true);
            (*list)->Duplicates = TDuplicates::dupAccept;
        }
    } else {
        FreeConnectLists();
    }
    const TSharedHandle connect = OpenSharedEvent(QStringLiteral("ZARVCONNECT"));
    if (!GainControl()) {
        CloseSharedEvent(connect);
        return;
    }
    for (;;) {
        // Each announcement answers a request of its own, which any
        // connection may take.
        PrepareEvent(0);
        const uint64_t number = FControl->Post(FNormFileBuf, FCursor.Pos(), 0, 0);
        if (number == 0)
            break;
        SetNamedEvent(connect);
        bool answered = ShortWait({FCompletedEvent, FErrorEvent}, DiscoveryWaitMs,
                                  [&](int index) { return VerdictOf(number, index == 0); }, nullptr);
        if (!answered) {
            answered = FControl->Withdraw(number);
            ResetNamedEvent(connect);
        }
        if (!answered)
            break;
        auto found = std::make_unique<TZarvDataConnection>();
        try {
            if (!FetchAnswer(number, &found->FToken))
                continue;
            const uint64_t token = found->FToken;
            ReadIdentity(*found, 0);
            found->FToken = token;
            found->FVisibility = found->FVersion >= kZarvVersion ? TRuntimeVisibility(ReadInt())
                                                                 : TRuntimeVisibility::rtEndUser;
        } catch (const ESheetcaster&) {
            continue; // an announcement that does not read is not listed
        }
        if (found->FVisibility != TRuntimeVisibility::rtEndUser)
            continue;
        TStringList& list = found->FRuntime ? *FRTConnectList : *FDTConnectList;
        const QString name = found->FName;
        list.AddObject(name, found.release());
    }
    const TSharedHandle disconnect = OpenSharedManualEvent(QStringLiteral("ZARVDISCONNECT"));
    PulseNamedEvent(disconnect);
    YieldNow();
    CloseSharedEvent(disconnect);
    CloseSharedEvent(connect);
    ReleaseControl();
}

bool TZarvDataSystem::IsUnique(const QString& name) const
{
    if (!FRTConnectList || !FDTConnectList)
        return true;
    for (const TStringList* list : {FRTConnectList.get(), FDTConnectList.get()}) {
        int index = -1;
        if (!list->Find(name, index))
            continue;
        return index == list->Count() - 1 ||
               list->Strings(index + 1).compare(list->Strings(index), Qt::CaseInsensitive) != 0;
    }
    return true;
}

// ---------------------------------------------------------------------------
// TZarvDataView.

void ReadAnswerRow(TZarvDataSystem& system, TZarvDataRow& row)
{
    const int32_t rowSize = system.ReadInt();
    if (rowSize < 0 || rowSize > system.BytesLeft())
        ChannelFail(QStringLiteral("A row of %1 bytes does not fit in the %2 bytes of the answer")
                        .arg(rowSize)
                        .arg(system.BytesLeft()));
    row.Init(rowSize);
    system.ReadBuf(row.DataPtr, rowSize);
}

TZarvDataView::TZarvDataView(TComponent* owner)
    : TZarvBaseDataView(owner), FDataCon(std::make_unique<TZarvDataConnection>())
{
    FDataCon->FDataView = this;
}

TZarvDataView::~TZarvDataView() = default;

TZarvDataSystem& TZarvDataView::System()
{
    if (!DataSystem)
        ZarvError(Translate(QStringLiteral("The data channel is not open.")));
    return *DataSystem;
}

void TZarvDataView::AssignTo(TPersistent* dest) const
{
    auto* view = dynamic_cast<TZarvDataView*>(dest);
    if (!view) {
        TZarvBaseDataView::AssignTo(dest);
        return;
    }
    auto* self = const_cast<TZarvDataView*>(this);
    const QString name = Name();
    self->SetName(QString());
    view->SetName(name);
    view->SetTag(Tag());
}

void TZarvDataView::Open()
{
    if (DataOpened())
        return;
    TZarvDataSystem& system = System();
    if (!system.IsUnique(FConnectionName)) {
        ShowMessageBox(Translate(QStringLiteral("Error!  Duplicate data connections found with name \"%1\".  "
                                                "Aborting report.")
                                     .arg(FConnectionName)),
                       Translate(QStringLiteral("Error")), TMsgIcon::Error, TMsgButtons::OK);
        AbortReport(this);
    }
    if (FDataCon->FDataEvent == 0 && !system.OpenDataEvent(FConnectionName, *FDataCon)) {
        QString text =
            Translate(QStringLiteral("Error!  Could not open data connection \"%1\".  Aborting report."))
                .arg(FConnectionName);
        // Processes of one user whose objects lie in different folders (one
        // of them refused the runtime folder) never meet: the folder in use
        // tells the user where this process looked.
        const QString folder = SharedObjectsFolder();
        if (!folder.isEmpty())
            text += QStringLiteral("\n\n") +
                    Translate(QStringLiteral("No process answered through the shared objects in \"%1\"."))
                        .arg(folder);
        ShowMessageBox(text, Translate(QStringLiteral("Error")), TMsgIcon::Error, TMsgButtons::OK);
        AbortReport(this);
    }
    const bool opened = system.CallEvent(9, *FDataCon);
    SetDataOpened(opened);
    if (opened)
        TZarvBaseDataView::Open();
    if (!opened)
        AbortReport(this);
    if (!system.CallEvent(4, *FDataCon))
        AbortReport(this);
    DataRow().Clear();
    TStringList& names = FieldNames();
    names.Clear();
    const int32_t columns = system.ReadInt();
    for (int32_t i = 0; i < columns; ++i) {
        TZarvDataFieldInfo info;
        ReadColumn(info);
        const QString ident = FieldNameToIdent(info.FieldName);
        TZarvDataField* found = nullptr;
        for (int c = 0; c < GetChildCount(); ++c) {
            auto* field = dynamic_cast<TZarvDataField*>(GetChild(c));
            if (field && field->FieldName().compare(ident, Qt::CaseInsensitive) == 0) {
                found = field;
                break;
            }
        }
        if (found) {
            if (found->DataType() != info.DataType)
                ZarvError(Translate(QStringLiteral("Field %1:%2.  Datatype expected: %3  Datatype found: %4")
                                        .arg(Name(), found->FieldName(), DataTypeName(found->DataType()),
                                             DataTypeName(info.DataType))));
            found->SetDataIndex(i);
        }
        names.AddObject(FieldNameToDisplay(ident), found);
    }
}

void TZarvDataView::ReadColumn(TZarvDataFieldInfo& info)
{
    TZarvDataSystem& system = System();
    for (;;) {
        const QString key = system.ReadStr();
        if (key.isEmpty())
            return;
        if (key == QLatin1String("N"))
            info.FieldName = system.ReadStr();
        else if (key == QLatin1String("T"))
            DataTypeFromName(system.ReadStr(), info.DataType);
        else if (key == QLatin1String("W"))
            info.Width = system.ReadStr().toInt();
        else if (key == QLatin1String("L"))
            info.FullName = system.ReadStr();
        else if (key == QLatin1String("D"))
            info.Description = system.ReadStr();
    }
}

void TZarvDataView::FetchRow(int how)
{
    TZarvDataSystem& system = System();
    if (!DataOpened() || !system.CallEvent(how, *FDataCon)) {
        SetAtEOF(true);
        AbortReport(this);
        return;
    }
    const bool eof = system.ReadBool();
    SetAtEOF(eof);
    if (!eof) {
        TZarvDataRow* target = &DataRow();
        if (Saving()) {
            target = AddDataRow();
            if (how == kFetchFirst)
                target->DataRowType = TDataRowType::rtFirst;
        }
        ReadAnswerRow(system, *target);
    } else if (Saving()) {
        if (how == kFetchFirst) {
            SetEmpty(true);
            AddDataRow();
        }
        if (TZarvDataRow* last = ActiveDataRow())
            last->DataRowType = TDataRowType::rtLast;
    }
}

void TZarvDataView::SetFilter(TStringList& filterList)
{
    if (Replaying())
        return;
    Open();
    TZarvDataSystem& system = System();
    system.PrepareEvent(6);
    for (int i = 0; i < filterList.Count(); ++i) {
        system.WriteStr(filterList.Strings(i));
        if (i % 3 != 2)
            continue;
        auto* field = static_cast<TZarvDataField*>(filterList.Objects(i));
        if (!field) {
            system.WriteInt(0);
            continue;
        }
        system.WriteInt(int32_t(field->DataType()));
        switch (field->DataType()) {
        case TQPDataType::dtInteger:
            system.WriteInt(field->AsInteger());
            break;
        case TQPDataType::dtBoolean:
            system.WriteBool(field->AsBoolean());
            break;
        case TQPDataType::dtFloat:
            system.WriteFloat(field->AsFloat());
            break;
        case TQPDataType::dtCurrency:
        case TQPDataType::dtBCD:
            system.WriteCurr(field->AsCurrency());
            break;
        case TQPDataType::dtDate:
        case TQPDataType::dtTime:
        case TQPDataType::dtDateTime:
            system.WriteDateTime(field->AsDateTime());
            break;
        case TQPDataType::dtInt64:
            system.WriteInt64(field->AsInt64());
            break;
        default:
            break;
        }
    }
    system.WriteStr(QString());
    if (!system.CallEvent(0, *FDataCon))
        AbortReport(this);
}

void TZarvDataView::SetRemoteSort(TStringList& sortList)
{
    if (Replaying())
        return;
    Open();
    TZarvDataSystem& system = System();
    system.PrepareEvent(8);
    for (int i = 0; i < sortList.Count(); ++i)
        system.WriteStr(sortList.Strings(i));
    system.WriteStr(QString());
    if (!system.CallEvent(0, *FDataCon))
        AbortReport(this);
}

void TZarvDataView::Close()
{
    TZarvBaseDataView::Close();
    if (!DataOpened())
        return;
    const bool stillOpen = !System().CallEvent(10, *FDataCon);
    SetDataOpened(stillOpen);
    if (stillOpen) {
        TZarvBaseDataView::Open();
        AbortReport(this);
    }
}

void TZarvDataView::AfterReport()
{
    if (DataOpened()) {
        Close();
        System().CloseDataEvent(*FDataCon);
        FDataCon->FDataEvent = 0;
    }
    TZarvBaseDataView::AfterReport();
}

void TZarvDataView::CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>& fieldList)
{
    TZarvDataSystem& system = System();
    if (!system.GainControl())
        return;
    struct TRelease {
        TZarvDataSystem& System;
        TZarvDataConnection& DataCon;
        ~TRelease()
        {
            System.CloseDataEvent(DataCon);
            System.ReleaseControl();
        }
    } release{system, *FDataCon};
    if (!system.OpenDataEvent(FConnectionName, *FDataCon))
        return;
    if (!system.CallEvent(9, *FDataCon))
        AbortReport(this);
    if (!system.CallEvent(4, *FDataCon))
        AbortReport(this);
    const int32_t columns = system.ReadInt();
    for (int32_t i = 0; i < columns; ++i) {
        auto info = std::make_unique<TZarvDataFieldInfo>();
        ReadColumn(*info);
        fieldList.push_back(std::move(info));
    }
    if (!system.CallEvent(10, *FDataCon))
        AbortReport(this);
}
