#include "report/model/QpCon.h"
#include "report/model/QpCon_p.h"

#include "platform/forms/Controls.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectsRegistration.h"
#include "platform/objects/ValueStream.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Extended80.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <utility>

#include <unistd.h>

TDataConnectManager* DataConnectManager = nullptr;

using qpcon_detail::ChannelFail;

namespace {

constexpr std::array<const char*, 13> kDataTypeNames = {
    "dtString", "dtInteger",  "dtBoolean", "dtFloat", "dtCurrency", "dtBCD",   "dtDate",
    "dtTime",   "dtDateTime", "dtBlob",    "dtMemo",  "dtGraphic",  "dtInt64",
};

// Bytes of a filter value by type; 0: the type holds no filter.
constexpr std::array<int32_t, 13> kFilterSizes = {4, 4, 1, 10, 8, 8, 8, 8, 8, 0, 0, 0, 8};

TDLValue ValueOf(TDLValueKind kind, int64_t integer = 0, double real = 0, bool flag = false)
{
    TDLValue value;
    value.Kind = kind;
    value.Int = integer;
    value.Float = real;
    value.Bool = flag;
    return value;
}

// Frees the manager when the program ends.
struct TManagerFinalizer {
    ~TManagerFinalizer()
    {
        delete DataConnectManager;
        DataConnectManager = nullptr;
    }
};

} // namespace

QString DataTypeName(TQPDataType dataType)
{
    const auto i = size_t(dataType);
    return i < kDataTypeNames.size() ? QLatin1String(kDataTypeNames[i]) : QString();
}

bool DataTypeFromName(const QString& name, TQPDataType& dataType)
{
    for (size_t i = 0; i < kDataTypeNames.size(); ++i) {
        if (name.compare(QLatin1String(kDataTypeNames[i]), Qt::CaseInsensitive) == 0) {
            dataType = TQPDataType(i);
            return true;
        }
    }
    return false;
}

void RegisterDataConnectionClasses()
{
    if (FindClass(QStringLiteral("TZvCustomConnection")))
        return;
    if (!FindClass(QStringLiteral("TComponent")))
        RegisterObjectsClasses();
    RegisterQpComponentClasses();
    TClassInfo& con = RegisterClass<TZvCustomConnection>(QStringLiteral("TZvCustomConnection"),
                                                         QStringLiteral("TQpComponent"));
    PublishProperty(con, QStringLiteral("FieldAliasList"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZvCustomConnection::FieldAliasList, &TZvCustomConnection::SetFieldAliasList);
    PublishProperty(con, QStringLiteral("LocalFilter"), TypeInfoBoolean(), &TZvCustomConnection::LocalFilter,
                    &TZvCustomConnection::SetLocalFilter)
        .WithDefault(1);
    static const TTypeInfo visibility =
        MakeEnumType(QStringLiteral("TRuntimeVisibility"),
                     {QStringLiteral("rtNone"), QStringLiteral("rtDeveloper"), QStringLiteral("rtEndUser")});
    PublishProperty(con, QStringLiteral("RuntimeVisibility"), visibility,
                    &TZvCustomConnection::RuntimeVisibility, &TZvCustomConnection::SetRuntimeVisibility)
        .NoDefault();
    static const char* const events[11] = {"OnFirst",  "OnNext",      "OnEOF",        "OnGetCols",
                                           "OnGetRow", "OnSetFilter", "OnGetSorts",   "OnSetSort",
                                           "OnOpen",   "OnRestore",   "OnValidateRow"};
    for (int i = 0; i < 11; ++i) {
        TPropInfo prop;
        prop.Name = QLatin1String(events[i]);
        prop.Type =
            &EventTypeInfo(i == TZvCustomConnection::kEventEOF || i == TZvCustomConnection::kEventValidateRow
                               ? TEventKind::CloseQuery
                               : TEventKind::Notify);
        prop.GetMethod = [i](const TObject& o) {
            return static_cast<const TZvCustomConnection&>(o).EventNames[i];
        };
        prop.SetMethod = [i](TObject& o, const TMethod& m) {
            static_cast<TZvCustomConnection&>(o).EventNames[i] = m;
        };
        con.AddProperty(std::move(prop));
    }
}

// ---------------------------------------------------------------------------
// TDataConnectManager.

void InitDataConnectManager()
{
    if (DataConnectManager)
        return;
    DataConnectManager = new TDataConnectManager;
    static TManagerFinalizer finalizer;
}

void TDataConnectManager::AddConnection(TZvCustomConnection* connection)
{
    std::lock_guard guard(FLock);
    FConnectList.push_back(connection);
    connection->FNumber = FNextNumber++;
}

void TDataConnectManager::RemoveConnection(TZvCustomConnection* connection)
{
    std::lock_guard guard(FLock);
    std::erase(FConnectList, connection);
}

TZvCustomConnection* TDataConnectManager::FindConnection(const QString& connectName) const
{
    std::lock_guard guard(FLock);
    for (TZvCustomConnection* connection : FConnectList) {
        if (connection->Name().compare(connectName, Qt::CaseInsensitive) == 0)
            return connection;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// TDataConnectFieldDef.

TDataConnectFieldDef::TDataConnectFieldDef(TQPDataType dataType, const QString& fieldName, bool included)
    : FDataType(dataType), FFieldName(fieldName), FIncluded(included)
{
}

void TDataConnectFieldDef::Clear()
{
    StrData.clear();
    BinData = TDLValue{};
    DataSize = 0;
}

void TDataConnectFieldDef::SetFilter(const TDLValue& value)
{
    Clear();
    const auto type = size_t(FDataType);
    if (type >= kFilterSizes.size() || kFilterSizes[type] == 0)
        return;
    if (FDataType == TQPDataType::dtString)
        StrData = value.Text;
    else
        BinData = value;
    DataSize = kFilterSizes[type];
}

bool TDataConnectFieldDef::FilterValid(const TDLValue& value) const
{
    if (DataSize < 1)
        return true;
    switch (FDataType) {
    case TQPDataType::dtString:
        return value.Text == StrData;
    case TQPDataType::dtBoolean:
        return value.Bool == BinData.Bool;
    case TQPDataType::dtFloat:
        return DoubleToExtended(value.Float) == DoubleToExtended(BinData.Float);
    case TQPDataType::dtDate:
    case TQPDataType::dtTime:
    case TQPDataType::dtDateTime:
        return value.Float == BinData.Float;
    default:
        return value.Int == BinData.Int;
    }
}

// ---------------------------------------------------------------------------
// TZvCustomConnection: life.

// The UI thread's service of the data event of Name: the events it answers
// through and the descriptor its event loop watches.
struct TZvCustomConnection::TUiListener {
    QString Name;
    TSharedHandle DataEvent = 0;
    TSharedHandle AckEvent = 0;
    TSharedHandle Completed = 0;
    TSharedHandle Error = 0;
    int Descriptor = -1;
    QSocketNotifier* Notifier = nullptr;
    // A handler runs (a ring seen in a nested event loop waits for it), a
    // ring came meanwhile, the service ended (the connection was renamed or
    // destroyed, perhaps by that handler).
    std::atomic<bool> Serving{false};
    bool Again = false;
    // The next serve looks at the control block even without a ring.
    bool Look = false;
    std::atomic<bool> Stopped{false};
};

namespace {

bool OnUiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Opens the event of that name into handle unless it is open already; false
// when it cannot be opened (a process stopped while making it keeps it from
// the others for the bound of the shared objects).
bool OpenMissingEvent(TSharedHandle& handle, const QString& name, bool manualReset = false)
{
    if (!handle)
        handle = manualReset ? OpenSharedManualEvent(name) : OpenSharedEvent(name);
    return handle != 0;
}

// Opens the data and ack events of a connection name (prefix "ZARVRT" or
// "ZARVDT"), those not open yet; false at the first that cannot be opened.
// An event is taken as it is: a reset here would drop a ring of a request
// made before (or one meant for the UI thread, which listens to the event
// this thread opens too). A ring left by an earlier listener of this name
// costs one look at the control block, which tells whose request is out.
bool OpenNameEvents(const QString& prefix, const QString& name, TSharedHandle& data, TSharedHandle& ack)
{
    return OpenMissingEvent(data, prefix + QStringLiteral("DATA_") + name) &&
           OpenMissingEvent(ack, prefix + QStringLiteral("ACK_") + name);
}

// The pause of the worker thread after a turn that failed (an event it could
// not open, a wait that failed): 50 ms, doubled after every further failure
// up to a second.
constexpr uint32_t kFirstPauseMs = 50;
constexpr uint32_t kLongestPauseMs = 1000;

uint32_t NextPause(uint32_t pauseMs)
{
    return pauseMs == 0 ? kFirstPauseMs : std::min(pauseMs * 2, kLongestPauseMs);
}

// The named events of the worker thread. Any of them may fail to open; the
// thread opens the missing ones again after a pause.
struct TThreadEvents {
    TSharedHandle Completed = 0;
    TSharedHandle Error = 0;
    TSharedHandle Disconnect = 0;
    TSharedHandle Connect = 0;
    TSharedHandle Data = 0; // of Name
    TSharedHandle Ack = 0;
    QString Name;

    ~TThreadEvents()
    {
        CloseNameEvents();
        for (const TSharedHandle handle : {Completed, Error, Disconnect, Connect})
            CloseSharedEvent(handle);
    }
    // All open, the data and ack events those of name.
    bool Ready(const QString& name) const
    {
        return name == Name && Completed && Error && Disconnect && Connect && Data && Ack;
    }
    // Opens what is missing, the data and ack events of name (prefix
    // "ZARVRT" or "ZARVDT"); stops at the first event that cannot be opened,
    // so that a try waits out the bound of the shared objects once at most.
    bool Open(const QString& prefix, const QString& name)
    {
        if (name != Name) {
            CloseNameEvents();
            Name = name;
        }
        return OpenMissingEvent(Completed, QStringLiteral("ZARVCOMPLETED")) &&
               OpenMissingEvent(Error, QStringLiteral("ZARVERROR")) &&
               OpenMissingEvent(Disconnect, QStringLiteral("ZARVDISCONNECT"), true) &&
               OpenMissingEvent(Connect, QStringLiteral("ZARVCONNECT")) &&
               OpenNameEvents(prefix, name, Data, Ack);
    }
    void CloseNameEvents()
    {
        CloseSharedEvent(Data);
        CloseSharedEvent(Ack);
        Data = 0;
        Ack = 0;
    }
};

} // namespace

TZvCustomConnection::TZvCustomConnection(TComponent* owner)
    : TQpComponent(owner), FFieldAliasList(std::make_unique<TStrings>())
{
    InitDataConnectManager();
    DataConnectManager->AddConnection(this);
    FRuntime = !DesignState && !(owner && owner->ComponentState().Contains(TComponentStateFlag::csDesigning));
    FModeStr = FRuntime ? QStringLiteral("RT") : QStringLiteral("DT");
    FCursor.Fail = &ChannelFail;
    try {
        FControl = std::make_unique<TZarvChannelControl>();
        FGate = std::make_shared<TRequestGate>();
    } catch (...) {
        DataConnectManager->RemoveConnection(this);
        throw;
    }
    FToken = TZarvChannelControl::NewToken();
    FNormBuffer.assign(kZarvBufferSize, 0);
    FNormFileBuf = FNormBuffer.data();
    FThreadBuffer.assign(kZarvBufferSize, 0);
    FCursor.Reset(FNormFileBuf, kZarvBufferSize, kZarvHeaderSize);
    if (!FRuntime)
        StartThread();
}

TZvCustomConnection::~TZvCustomConnection()
{
    // A report of this process that waits for the connection finds it gone.
    FGate->Close();
    if (DataConnectManager)
        DataConnectManager->RemoveConnection(this);
    StopThread();
    CloseSharedOverflow();
}

void TZvCustomConnection::SetName(const QString& name)
{
    TQpComponent::SetName(name);
    {
        std::lock_guard guard(FNameLock);
        FThreadName = Name();
    }
    // The UI thread listens on the new name from now on; when it cannot
    // (asked from another thread, or the new name is listened to by another
    // process), the worker thread serves the data event.
    if (FUiListener && FUiListener->Name != Name()) {
        StopListeningOnUiThread();
        FUiServes = OnUiThread() && ListenOnUiThread();
    }
    // The thread listens on the new name from now on.
    if (FWakeEvent)
        SetNamedEvent(FWakeEvent);
}

QString TZvCustomConnection::ThreadName() const
{
    std::lock_guard guard(FNameLock);
    return FThreadName;
}

void TZvCustomConnection::SetFieldAliasList(TStrings* value)
{
    if (value)
        FFieldAliasList->Assign(*value);
}

void TZvCustomConnection::SetRuntimeVisibility(TRuntimeVisibility value)
{
    FRTVisible = value;
    if (!FThread.joinable() && value != TRuntimeVisibility::rtNone)
        StartThread();
}

void TZvCustomConnection::DefineProperties(TFiler& filer)
{
    TQpComponent::DefineProperties(filer);
    // Older form streams stored a Boolean "Visible"; true meant rtEndUser.
    filer.DefineProperty(
        QStringLiteral("Visible"),
        [this](TReader& reader) {
            if (reader.ReadBoolean())
                SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
        },
        {}, false);
}

// ---------------------------------------------------------------------------
// The worker thread.

// A command handed from the worker thread to the UI thread. The queued call
// holds it, so that a call that runs after the connection has gone finds it
// withdrawn and touches nothing.
struct THandOver {
    enum TState { Pending, Running, Ran, Raised, Withdrawn };
    std::mutex Lock;
    std::condition_variable Changed;
    TState State = Pending;
    TZvCustomConnection* Connection = nullptr;
    uint64_t Number = 0; // the request
    // Set by the UI thread as soon as the handler has run, so that the
    // engine does not wait for this thread to wake as well.
    TSharedHandle Completed = 0;
    TSharedHandle Error = 0;
};

namespace {

void RunHandOver(THandOver& hand)
{
    {
        std::lock_guard guard(hand.Lock);
        if (hand.State != THandOver::Pending)
            return;
        hand.State = THandOver::Running;
    }
    hand.Connection->RunRequest(hand.Number, hand.Completed, hand.Error);
    std::lock_guard guard(hand.Lock);
    hand.State = THandOver::Ran;
    hand.Changed.notify_all();
}

} // namespace

void TZvCustomConnection::StartThread()
{
    FTerminated = false;
    if (!FWakeEvent)
        FWakeEvent = OpenNamedEvent(QString(), false);
    bool openFailed = false;
    FUiServes = OnUiThread() && ListenOnUiThread(&openFailed);
    // Returns once the thread listens, so that a request sent from now on is
    // taken. When this thread could not open the events, the thread tries
    // again only after a pause: this thread does not wait for them twice.
    std::promise<void> listening;
    std::future<void> started = listening.get_future();
    FThread = std::thread([this, &listening, openFailed] { ThreadLoop(&listening, openFailed); });
    started.wait();
}

void TZvCustomConnection::StopThread()
{
    if (!FThread.joinable())
        return;
    FTerminated = true;
    // Holding the channel, nobody else is mid-command with this connection;
    // its data event then wakes the thread as well.
    const TSharedHandle mutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
    const TWaitResult taken = WaitNamedObject(mutex, 1000);
    const bool held = taken == TWaitResult::wrSignaled || taken == TWaitResult::wrAbandoned;
    // A data event the thread could not open wakes nobody; opening it here
    // would wait for the process that keeps it from the others as well.
    TSharedHandle dataEvent = 0;
    if (held && FThreadHoldsData) {
        dataEvent =
            OpenSharedEvent(QStringLiteral("ZARV") + FModeStr + QStringLiteral("DATA_") + ThreadName());
        SetNamedEvent(dataEvent);
    }
    // A command still waiting for the UI thread (this one, most likely) is
    // withdrawn, and its engine told at once; one that runs on another
    // thread is waited for.
    std::shared_ptr<THandOver> hand;
    {
        std::lock_guard guard(FHandOverLock);
        hand = std::move(FHandOver);
    }
    if (hand) {
        std::unique_lock lock(hand->Lock);
        if (hand->State == THandOver::Pending) {
            hand->State = THandOver::Withdrawn;
            if (FControl->Fail(hand->Number))
                SetNamedEvent(hand->Error);
        }
        hand->Changed.notify_all();
        // Inside the handler itself (it runs on the UI thread) there is
        // nothing to wait for.
        const bool onUiThread = QCoreApplication::instance() &&
                                QThread::currentThread() == QCoreApplication::instance()->thread();
        if (!onUiThread)
            hand->Changed.wait(lock, [&] { return hand->State != THandOver::Running; });
    }
    FUiServes = false;
    StopListeningOnUiThread();
    SetNamedEvent(FWakeEvent);
    FThread.join();
    CloseSharedEvent(dataEvent);
    if (held)
        ReleaseNamedMutex(mutex);
    CloseSharedMutex(mutex);
    CloseNamedObject(FWakeEvent);
    FWakeEvent = 0;
}

void TZvCustomConnection::HandOver(uint64_t number, TSharedHandle completed, TSharedHandle errorEvent)
{
    auto hand = std::make_shared<THandOver>();
    hand->Connection = this;
    hand->Number = number;
    hand->Completed = completed;
    hand->Error = errorEvent;
    // Without an application the command runs on this thread.
    if (!QCoreApplication::instance()) {
        RunHandOver(*hand);
        return;
    }
    // One command at a time: one handed over earlier (whose engine stopped
    // waiting) ends before the next is handed over.
    std::shared_ptr<THandOver> earlier;
    {
        std::lock_guard guard(FHandOverLock);
        earlier = FHandOver;
    }
    if (earlier) {
        std::unique_lock lock(earlier->Lock);
        earlier->Changed.wait(lock, [&] {
            return earlier->State != THandOver::Pending && earlier->State != THandOver::Running;
        });
    }
    {
        std::lock_guard guard(FHandOverLock);
        if (FTerminated) {
            if (FControl->Fail(number))
                SetNamedEvent(errorEvent);
            return;
        }
        FHandOver = hand;
    }
    // The UI thread signals the engine itself once the handler has run;
    // this thread goes back to its wait meanwhile.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [hand] { RunHandOver(*hand); }, Qt::QueuedConnection);
}

void TZvCustomConnection::ThreadLoop(std::promise<void>* listening, bool openLater)
{
    TThreadEvents events;
    const QString prefix = QStringLiteral("ZARV") + FModeStr;
    bool announced = false;
    // The name whose data event this thread waits for, when it does.
    std::optional<QString> serving;
    // 0 after a turn that went well; else the pause after the last failure.
    uint32_t pauseMs = 0;
    while (!FTerminated) {
        // A name whose events cannot be opened (a process stopped while
        // making one holds it) is tried again after a pause, as is a wait
        // that failed: the thread never spins, and serves as soon as the
        // events open. When the UI thread has just waited out the bound on
        // them, the first try comes after the first pause.
        const QString name = ThreadName();
        bool ready = events.Ready(name);
        if (!ready && !openLater)
            ready = events.Open(prefix, name);
        openLater = false;
        FThreadHoldsData = ready;
        if (listening) {
            listening->set_value();
            listening = nullptr;
        }
        if (!ready) {
            serving.reset();
            pauseMs = NextPause(pauseMs);
            Pause(pauseMs);
            continue;
        }
        // While the UI thread serves the data event this thread answers
        // discovery only.
        const TSharedHandle second = announced ? events.Disconnect : events.Connect;
        const bool uiServes = FUiServes;
        // A request that rang before this thread waited for the data event
        // of its name (before the event was open, or while the UI thread
        // served it) is taken from the control block; not by a thread that
        // is ending (the UI thread stops serving then as well).
        if (uiServes) {
            serving.reset();
        } else if (serving != name && !FTerminated) {
            serving = name;
            ServeRequest(name, events.Ack, events.Completed, events.Error, false);
        }
        int index = -1;
        const TWaitResult result = uiServes
                                       ? WaitNamedEvents({second, FWakeEvent}, 1000, &index)
                                       : WaitNamedEvents({events.Data, second, FWakeEvent}, 1000, &index);
        if (uiServes)
            ++index; // the positions of the full list
        if (FTerminated)
            break;
        if (result == TWaitResult::wrFailed) {
            pauseMs = NextPause(pauseMs);
            Pause(pauseMs);
            continue;
        }
        pauseMs = 0;
        if (result != TWaitResult::wrSignaled || index == 2)
            continue;
        if (index == 1) {
            // A discovery request is answered once; "ZARVDISCONNECT" ends
            // the pass.
            if (announced) {
                announced = false;
            } else {
                const TRequestInfo request = FControl->Current();
                if (request.State == TRequestState::rsPending && request.Address == 0 &&
                    AnswerIdentity(request.Number)) {
                    announced = true;
                    SetNamedEvent(events.Completed);
                }
            }
            continue;
        }
        ServeRequest(name, events.Ack, events.Completed, events.Error, false);
    }
    FThreadHoldsData = false;
}

void TZvCustomConnection::Pause(uint32_t ms)
{
    // Cut short by the wake-up event (the connection ends or takes a new
    // name); without one, a plain sleep.
    if (WaitNamedObject(FWakeEvent, ms) == TWaitResult::wrFailed)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TZvCustomConnection::ServeRequest(const QString& name, TSharedHandle ackEvent, TSharedHandle completed,
                                       TSharedHandle errorEvent, bool onUiThread)
{
    // Only the request out, to this name, is looked at; one to another
    // connection of this name is refused (one to no connection in
    // particular, from a record the engine did not identify, is run).
    const TRequestInfo request = FControl->Current();
    if (request.State != TRequestState::rsPending || request.Address != TZarvChannelControl::AddressOf(name))
        return;
    if (request.Target != 0 && request.Target != FToken) {
        if (FControl->Refuse(request.Number))
            SetNamedEvent(errorEvent);
        return;
    }
    if (request.Code == 11) {
        if (AnswerIdentity(request.Number))
            SetNamedEvent(ackEvent);
        return;
    }
    if (request.Code >= 1 && request.Code <= 10) {
        if (onUiThread)
            RunRequest(request.Number, completed, errorEvent);
        else
            HandOver(request.Number, completed, errorEvent);
        return;
    }
    if (request.Code == 12)
        CloseSharedOverflow();
    if (AnswerEmpty(request.Number))
        SetNamedEvent(completed);
}

bool TZvCustomConnection::ListenOnUiThread(bool* openFailed)
{
    auto ui = std::make_shared<TUiListener>();
    ui->Name = ThreadName();
    // Stops at the first event that cannot be opened: this thread waits out
    // the bound of the shared objects once at most.
    const bool opened =
        OpenNameEvents(QStringLiteral("ZARV") + FModeStr, ui->Name, ui->DataEvent, ui->AckEvent) &&
        OpenMissingEvent(ui->Completed, QStringLiteral("ZARVCOMPLETED")) &&
        OpenMissingEvent(ui->Error, QStringLiteral("ZARVERROR"));
    if (openFailed)
        *openFailed = !opened;
    ui->Descriptor = opened ? ListenNamedEvent(ui->DataEvent) : -1;
    FUiListener = std::move(ui);
    if (FUiListener->Descriptor < 0) {
        StopListeningOnUiThread();
        return false;
    }
    // A notifier whose deletion waits for the event loop calls nothing of a
    // service that ended.
    const std::weak_ptr<TUiListener> listener = FUiListener;
    const auto serve = [this, listener] {
        if (const auto ui = listener.lock(); ui && !ui->Stopped)
            ServeOnUiThread();
    };
    FUiListener->Notifier = new QSocketNotifier(FUiListener->Descriptor, QSocketNotifier::Read);
    QObject::connect(FUiListener->Notifier, &QSocketNotifier::activated, FUiListener->Notifier, serve);
    // A request sent before the listening rang nobody: the first serve looks
    // at the control block whether the event is set or not.
    FUiListener->Look = true;
    QMetaObject::invokeMethod(FUiListener->Notifier, serve, Qt::QueuedConnection);
    return true;
}

void TZvCustomConnection::StopListeningOnUiThread()
{
    std::shared_ptr<TUiListener> ui = std::move(FUiListener);
    if (!ui)
        return;
    ui->Stopped = true;
    if (ui->DataEvent)
        UnlistenNamedEvent(ui->DataEvent);
    if (ui->Notifier) {
        // A notifier goes on its own thread, and not from inside its own
        // signal (a handler that destroys its connection); the descriptor
        // goes with it.
        const int descriptor = ui->Descriptor;
        if (OnUiThread() && !ui->Serving) {
            delete ui->Notifier;
            close(descriptor);
        } else {
            if (OnUiThread())
                ui->Notifier->setEnabled(false);
            QObject::connect(ui->Notifier, &QObject::destroyed, [descriptor] { close(descriptor); });
            ui->Notifier->deleteLater();
        }
    } else if (ui->Descriptor >= 0) {
        close(ui->Descriptor);
    }
    CloseSharedEvent(ui->DataEvent);
    CloseSharedEvent(ui->AckEvent);
    CloseSharedEvent(ui->Completed);
    CloseSharedEvent(ui->Error);
}

void TZvCustomConnection::ServeOnUiThread()
{
    // Held: a handler may rename or destroy the connection meanwhile.
    const std::shared_ptr<TUiListener> ui = FUiListener;
    if (!ui)
        return;
    DrainEventDescriptor(ui->Descriptor);
    if (ui->Serving) {
        ui->Again = true;
        return;
    }
    ui->Serving = true;
    do {
        ui->Again = false;
        const bool rang = WaitNamedObject(ui->DataEvent, 0) == TWaitResult::wrSignaled;
        if (std::exchange(ui->Look, false) || rang)
            ServeRequest(ui->Name, ui->AckEvent, ui->Completed, ui->Error, true);
    } while (ui->Again && !ui->Stopped);
    ui->Serving = false;
}

void TZvCustomConnection::RunRequest(uint64_t number, TSharedHandle completed, TSharedHandle errorEvent)
{
    // A request of a report of this process runs on the connection (on
    // another thread, or further out on this one, whose handler let the
    // events in): this one would write into its cursor. It can only be the
    // request of an asker that no longer holds the channel (that report
    // does), so it is refused rather than waited for.
    if (FGate->Enter() != TRequestGate::TEntry::teEntered) {
        if (FControl->Fail(number))
            SetNamedEvent(errorEvent);
        return;
    }
    const auto leave = qScopeGuard([this] { FGate->Leave(); });
    // Withdrawn before this thread came to it: nothing to run.
    if (!FControl->Take(number, FNormFileBuf))
        return;
    bool answered = false;
    try {
        ExecCode();
        answered = PutAnswer(number);
    } catch (...) {
        if (FControl->Fail(number))
            SetNamedEvent(errorEvent);
        return;
    }
    if (answered)
        SetNamedEvent(completed);
}

bool TZvCustomConnection::AnswerIdentity(uint64_t number)
{
    std::lock_guard guard(FThreadBufferLock);
    if (!FControl->Take(number, FThreadBuffer.data()))
        return false;
    TZarvCursor cursor;
    cursor.Fail = &ChannelFail;
    cursor.Reset(FThreadBuffer.data(), kZarvBufferSize, kZarvHeaderSize);
    try {
        WriteIdentity(cursor);
    } catch (const ESheetcaster&) {
        FControl->Fail(number);
        return false;
    }
    cursor.PokeInt(0, int32_t(cursor.Pos()));
    cursor.PokeInt(4, 0);
    return FControl->Answer(number, FToken, [&](uint8_t* buffer, int64_t& bytes, int64_t&) {
        bytes = cursor.Pos();
        std::memcpy(buffer, FThreadBuffer.data(), size_t(bytes));
    });
}

bool TZvCustomConnection::AnswerEmpty(uint64_t number)
{
    std::lock_guard guard(FThreadBufferLock);
    if (!FControl->Take(number, FThreadBuffer.data()))
        return false;
    return FControl->Answer(number, FToken, [](uint8_t* buffer, int64_t& bytes, int64_t&) {
        qToLittleEndian<int32_t>(0, buffer);
        qToLittleEndian<int32_t>(0, buffer + 4);
        bytes = kZarvHeaderSize;
    });
}

void TZvCustomConnection::WriteIdentity(TZarvCursor& cursor) const
{
    cursor.WriteStr(ThreadName());
    cursor.WriteBool(FRuntime);
    cursor.WriteInt(int32_t(getpid()));
    cursor.WriteInt(FNumber);
    cursor.WriteInt(kZarvVersion);
    cursor.WriteInt(int32_t(FRTVisible));
}

// ---------------------------------------------------------------------------
// The buffer.

void TZvCustomConnection::CloseOverflow()
{
    FCurrentFileMap = 0;
    FCursor.Reset(FNormFileBuf, kZarvBufferSize, kZarvHeaderSize);
}

void TZvCustomConnection::ClearBuffer()
{
    CloseOverflow();
}

void TZvCustomConnection::FixupBufferHeader()
{
    FCursor.PokeInt(0, int32_t(FCursor.Pos()));
    FCursor.PokeInt(4, FCurrentFileMap);
}

void TZvCustomConnection::ClearBufferHeader()
{
    FCursor.PokeInt(0, 0);
    FCursor.PokeInt(4, 0);
}

void TZvCustomConnection::MakeRoom(int64_t count)
{
    if (FCursor.Fits(count))
        return;
    const int64_t used = FCursor.Pos();
    const int64_t size = used + count + kZarvBufferSize;
    if (count < 0 || size > INT32_MAX)
        ChannelFail(
            QStringLiteral("An answer of %1 bytes is too large for the data channel").arg(used + count));
    const int number = FCurrentFileMap % 2 + 1;
    std::vector<uint8_t> grown(size_t(size), 0);
    std::memcpy(grown.data(), FCursor.Base(), size_t(used));
    FAltBuffer.swap(grown);
    qToLittleEndian<int32_t>(0, FNormFileBuf);
    qToLittleEndian<int32_t>(number, FNormFileBuf + 4);
    FCurrentFileMap = number;
    FCursor.Reset(FAltBuffer.data(), size, used);
}

void TZvCustomConnection::WriteStr(const QString& value)
{
    MakeRoom(ZarvStrSize(value));
    FCursor.WriteStr(value);
}

void TZvCustomConnection::WriteInt(int32_t value)
{
    MakeRoom(4);
    FCursor.WriteInt(value);
}

void TZvCustomConnection::WriteInt64(int64_t value)
{
    MakeRoom(8);
    FCursor.WriteInt64(value);
}

void TZvCustomConnection::WriteBool(bool value)
{
    MakeRoom(1);
    FCursor.WriteBool(value);
}

void TZvCustomConnection::WriteFloat(double value)
{
    MakeRoom(10);
    FCursor.WriteFloat(value);
}

void TZvCustomConnection::WriteCurr(Currency value)
{
    MakeRoom(8);
    FCursor.WriteCurr(value.Scaled);
}

void TZvCustomConnection::WriteDateTime(TDateTime value)
{
    MakeRoom(8);
    FCursor.WriteDateTime(value);
}

void TZvCustomConnection::WriteBuf(const void* buffer, int32_t len)
{
    if (len <= 0)
        return;
    MakeRoom(len);
    FCursor.WriteBuf(buffer, len);
}

QString TZvCustomConnection::ReadStr()
{
    return FCursor.ReadStr();
}

int32_t TZvCustomConnection::ReadInt()
{
    return FCursor.ReadInt();
}

int64_t TZvCustomConnection::ReadInt64()
{
    return FCursor.ReadInt64();
}

bool TZvCustomConnection::ReadBool()
{
    return FCursor.ReadBool();
}

double TZvCustomConnection::ReadFloat()
{
    return FCursor.ReadFloat();
}

Currency TZvCustomConnection::ReadCurr()
{
    return Currency::FromScaled(FCursor.ReadCurr());
}

TDateTime TZvCustomConnection::ReadDateTime()
{
    return FCursor.ReadDateTime();
}

void TZvCustomConnection::ReadBuf(void* buffer, int32_t len)
{
    FCursor.ReadBuf(buffer, len);
}

// ---------------------------------------------------------------------------
// Columns and rows.

void TZvCustomConnection::WriteField(const QString& name, TQPDataType dataType, int32_t width,
                                     const QString& fullName, const QString& description)
{
    const int32_t previous = FFieldDefList.empty() ? -1 : FFieldDefList.back()->FFieldIndex;
    QString alias = name;
    for (int i = 0; i < FFieldAliasList->Count(); ++i) {
        const QString line = FFieldAliasList->Strings(i);
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && line.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            alias = line.mid(eq + 1).trimmed();
            break;
        }
    }
    auto def = std::make_unique<TDataConnectFieldDef>(dataType, name, !alias.isEmpty());
    if (def->FIncluded) {
        def->FFieldIndex = previous + 1;
        WriteStr(QStringLiteral("N"));
        WriteStr(alias);
        if (dataType != TQPDataType::dtString) {
            WriteStr(QStringLiteral("T"));
            WriteStr(DataTypeName(dataType));
        }
        if (width > 0) {
            WriteStr(QStringLiteral("W"));
            WriteStr(QString::number(width));
        }
        if (!fullName.isEmpty()) {
            WriteStr(QStringLiteral("L"));
            WriteStr(fullName);
        }
        if (!description.isEmpty()) {
            WriteStr(QStringLiteral("D"));
            WriteStr(description);
        }
        WriteStr(QString());
    } else {
        def->FFieldIndex = previous;
    }
    FFieldDefList.push_back(std::move(def));
}

TDataConnectFieldDef* TZvCustomConnection::CurrentFieldDef() const
{
    return FFieldIdx >= 0 && FFieldIdx < int32_t(FFieldDefList.size())
               ? FFieldDefList[size_t(FFieldIdx)].get()
               : nullptr;
}

TDataConnectFieldDef* TZvCustomConnection::FindFieldDef(const QString& fieldName) const
{
    for (const auto& def : FFieldDefList) {
        if (def->FFieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return def.get();
    }
    return nullptr;
}

void TZvCustomConnection::PutData(std::initializer_list<TQPDataType> accepted, const QString* formatted,
                                  const TDLValue& value)
{
    TDataConnectFieldDef* def = CurrentFieldDef();
    if (!def)
        RaiseError(Translate(QStringLiteral("Attempt to write more fields than defined.")));
    if (std::find(accepted.begin(), accepted.end(), def->FDataType) == accepted.end())
        RaiseError(
            Translate(QStringLiteral("Attempt to write different data type than defined (Column %1/%2).")
                          .arg(FFieldIdx + 1)
                          .arg(FFieldDefList.size())));
    if (def->FIncluded && FLocalFilterValid && FLocalFilter && value.Kind != TDLValueKind::vkBlob) {
        if (value.Kind == TDLValueKind::vkNull)
            FLocalFilterValid = def->DataSize < 1;
        else
            FLocalFilterValid = def->FilterValid(value);
    }
    if (def->FIncluded && FLocalFilterValid) {
        MakeRoom((formatted ? ZarvStrSize(*formatted) : 0) + DLValueSize(value));
        WriteRowField(FCursor, FRowHeaderPos, FIncludedFieldIdx, formatted, value);
    }
    if (def->FIncluded)
        ++FIncludedFieldIdx;
    ++FFieldIdx;
}

namespace {

constexpr std::initializer_list<TQPDataType> kAllTypes = {
    TQPDataType::dtString,   TQPDataType::dtInteger, TQPDataType::dtBoolean, TQPDataType::dtFloat,
    TQPDataType::dtCurrency, TQPDataType::dtBCD,     TQPDataType::dtDate,    TQPDataType::dtTime,
    TQPDataType::dtDateTime, TQPDataType::dtBlob,    TQPDataType::dtMemo,    TQPDataType::dtGraphic,
    TQPDataType::dtInt64};

const QString* TextIf(bool stored, const QString& text)
{
    return stored ? &text : nullptr;
}

} // namespace

void TZvCustomConnection::WriteNullData()
{
    PutData(kAllTypes, nullptr, TDLValue{});
}

void TZvCustomConnection::WriteStrData(const QString& formatData, const QString& nativeData)
{
    TDLValue value{TDLValueKind::vkStr, nativeData};
    PutData({TQPDataType::dtString}, TextIf(!formatData.isEmpty() && formatData != nativeData, formatData),
            value);
}

void TZvCustomConnection::WriteIntData(const QString& formatData, int32_t nativeData)
{
    PutData({TQPDataType::dtInteger},
            TextIf(!formatData.isEmpty() && formatData != QString::number(nativeData), formatData),
            ValueOf(TDLValueKind::vkInt, nativeData));
}

void TZvCustomConnection::WriteInt64Data(const QString& formatData, int64_t nativeData)
{
    PutData({TQPDataType::dtInt64},
            TextIf(!formatData.isEmpty() && formatData != QString::number(nativeData), formatData),
            ValueOf(TDLValueKind::vkInt64, nativeData));
}

void TZvCustomConnection::WriteBoolData(const QString& formatData, bool nativeData)
{
    PutData({TQPDataType::dtBoolean}, TextIf(!formatData.isEmpty(), formatData),
            ValueOf(TDLValueKind::vkBool, 0, 0, nativeData));
}

void TZvCustomConnection::WriteFloatData(const QString& formatData, double nativeData)
{
    PutData({TQPDataType::dtFloat}, TextIf(!formatData.isEmpty(), formatData),
            ValueOf(TDLValueKind::vkFloat, 0, nativeData));
}

void TZvCustomConnection::WriteCurrData(const QString& formatData, Currency nativeData)
{
    PutData({TQPDataType::dtCurrency}, TextIf(!formatData.isEmpty(), formatData),
            ValueOf(TDLValueKind::vkCurr, nativeData.Scaled));
}

void TZvCustomConnection::WriteBCDData(const QString& formatData, Currency nativeData)
{
    PutData({TQPDataType::dtBCD}, TextIf(!formatData.isEmpty(), formatData),
            ValueOf(TDLValueKind::vkCurr, nativeData.Scaled));
}

void TZvCustomConnection::WriteDateTimeData(const QString& formatData, TDateTime nativeData)
{
    PutData({TQPDataType::dtDate, TQPDataType::dtTime, TQPDataType::dtDateTime},
            TextIf(!formatData.isEmpty(), formatData), ValueOf(TDLValueKind::vkDateTime, 0, nativeData));
}

void TZvCustomConnection::WriteBlobData(const void* buffer, int32_t len)
{
    TDLValue value;
    value.Kind = TDLValueKind::vkBlob;
    value.Blob = buffer;
    value.Len = len;
    PutData({TQPDataType::dtBlob, TQPDataType::dtMemo, TQPDataType::dtGraphic}, nullptr, value);
}

// ---------------------------------------------------------------------------
// Filters.

bool TZvCustomConnection::ReadFilterItem(QString& fieldName, QString& fieldOp, QString& fieldData)
{
    fieldName = ReadStr();
    if (fieldName.isEmpty())
        return false;
    fieldOp = ReadStr();
    fieldData = ReadStr();
    const int32_t type = ReadInt();
    TDLValue value;
    value.Text = fieldData;
    switch (TQPDataType(type)) {
    case TQPDataType::dtInteger:
        value.Int = ReadInt();
        break;
    case TQPDataType::dtBoolean:
        value.Bool = ReadBool();
        break;
    case TQPDataType::dtFloat:
        value.Float = ReadFloat();
        break;
    case TQPDataType::dtCurrency:
    case TQPDataType::dtBCD:
        value.Int = FCursor.ReadCurr();
        break;
    case TQPDataType::dtDate:
    case TQPDataType::dtTime:
    case TQPDataType::dtDateTime:
        value.Float = ReadDateTime();
        break;
    case TQPDataType::dtInt64:
        value.Int = ReadInt64();
        break;
    default:
        break;
    }
    TDataConnectFieldDef* def = FindFieldDef(fieldName);
    if (def && int32_t(def->FDataType) == type)
        def->SetFilter(value);
    return true;
}

bool TZvCustomConnection::GetFilterItem()
{
    return ReadFilterItem(FFilterFieldName, FFilterFieldOp, FFilterFieldData);
}

// ---------------------------------------------------------------------------
// Commands.

bool TZvCustomConnection::RunHandler(const TQPConnectorEvent& handler, int event)
{
    if (handler) {
        handler(this);
        return true;
    }
    if (!EventNames[event].IsAssigned())
        return false;
    CallNotifyEvent(EventNames[event], this);
    return true;
}

bool TZvCustomConnection::RunFlagHandler(const TQPEOFEvent& handler, int event, bool& flag)
{
    if (handler) {
        handler(this, flag);
        return true;
    }
    if (!EventNames[event].IsAssigned())
        return false;
    CallCloseQueryEvent(EventNames[event], this, flag);
    return true;
}

bool TZvCustomConnection::ExecCode()
{
    ClearBuffer();
    switch (ReadInt()) {
    case 1:
        ExecFirst();
        return true;
    case 2:
        ExecNext();
        return true;
    case 3:
        ExecEOF();
        return true;
    case 4:
        ExecGetCols();
        return true;
    case 5:
        ExecGetRow();
        return true;
    case 6:
        ExecSetFilter();
        return true;
    case 7:
        ExecGetSorts();
        return true;
    case 8:
        ExecSetSort();
        return true;
    case 9:
        ExecOpen();
        return true;
    case 10:
        ExecRestore();
        return true;
    default:
        return false;
    }
}

void TZvCustomConnection::ExecFirst()
{
    if (!RunHandler(OnFirst, kEventFirst))
        DoFirst();
    if (FLocalFilter) {
        ExecGetRow();
        if (!ExecValidateRow())
            ExecNext();
    } else {
        ExecGetRow();
    }
}

void TZvCustomConnection::ExecNext()
{
    for (;;) {
        if (!RunHandler(OnNext, kEventNext))
            DoNext();
        if (FLocalFilter)
            ExecGetRow();
        if (ExecValidateRow() || GetEOF())
            break;
    }
    if (!FLocalFilter)
        ExecGetRow();
}

bool TZvCustomConnection::ExecValidateRow()
{
    bool valid = FLocalFilter ? FLocalFilterValid : true;
    if (valid && !RunFlagHandler(OnValidateRow, kEventValidateRow, valid))
        valid = DoValidateRow();
    return valid;
}

bool TZvCustomConnection::GetEOF()
{
    bool eof = false;
    return RunFlagHandler(OnEOF, kEventEOF, eof) ? eof : DoEOF();
}

void TZvCustomConnection::ExecEOF()
{
    ClearBuffer();
    WriteBool(GetEOF());
    FixupBufferHeader();
}

void TZvCustomConnection::ExecGetCols()
{
    ClearBuffer();
    FFieldDefList.clear();
    WriteInt(0);
    if (!RunHandler(OnGetCols, kEventGetCols))
        DoGetCols();
    int32_t included = 0;
    for (const auto& def : FFieldDefList)
        included += def->FIncluded ? 1 : 0;
    FCursor.PokeInt(kZarvHeaderSize, included);
    FixupBufferHeader();
}

void TZvCustomConnection::ExecGetRow()
{
    ClearBuffer();
    if (GetEOF()) {
        WriteBool(true);
        return;
    }
    WriteBool(false);
    FFieldIdx = 0;
    FIncludedFieldIdx = 0;
    WriteInt(0);
    const int64_t rowSizePos = FCursor.Pos();
    const auto included = std::count_if(FFieldDefList.begin(), FFieldDefList.end(),
                                        [](const auto& def) { return def->FIncluded; });
    MakeRoom(8 * int64_t(included));
    FRowHeaderPos = FCursor.Pos();
    for (int64_t i = 0; i < 2 * int64_t(included); ++i)
        FCursor.WriteInt(0);
    FLocalFilterValid = true;
    if (!RunHandler(OnGetRow, kEventGetRow))
        DoGetRow();
    FCursor.PokeInt(rowSizePos - 4, int32_t(FCursor.Pos() - FRowHeaderPos));
    FixupBufferHeader();
}

void TZvCustomConnection::ExecSetFilter()
{
    for (const auto& def : FFieldDefList)
        def->Clear();
    if (FLocalFilter) {
        QString name, op, data;
        while (ReadFilterItem(name, op, data)) {
        }
    } else {
        if (!RunHandler(OnSetFilter, kEventSetFilter))
            DoSetFilter();
    }
    ClearBufferHeader();
}

void TZvCustomConnection::ExecGetSorts()
{
    ClearBuffer();
    if (!RunHandler(OnGetSorts, kEventGetSorts))
        DoGetSorts();
    FixupBufferHeader();
}

void TZvCustomConnection::ExecSetSort()
{
    if (!RunHandler(OnSetSort, kEventSetSort))
        DoSetSort();
    ClearBufferHeader();
}

void TZvCustomConnection::ExecOpen()
{
    ClearBuffer();
    if (!RunHandler(OnOpen, kEventOpen))
        DoOpen();
    ClearBufferHeader();
}

void TZvCustomConnection::ExecRestore()
{
    ClearBuffer();
    if (!RunHandler(OnRestore, kEventRestore))
        DoRestore();
    ClearBufferHeader();
}

// ---------------------------------------------------------------------------
// Without handlers: one row of one column.

void TZvCustomConnection::DoOpen()
{
    FDataRows = 1;
    FDataIndex = 0;
}

void TZvCustomConnection::DoFirst()
{
    FDataIndex = 0;
}

void TZvCustomConnection::DoNext()
{
    ++FDataIndex;
}

bool TZvCustomConnection::DoEOF()
{
    return FDataIndex >= FDataRows;
}

void TZvCustomConnection::DoGetCols()
{
    WriteField(QStringLiteral("FieldName"), TQPDataType::dtString, 30, QStringLiteral("FieldName"),
               QString());
}

void TZvCustomConnection::DoGetRow()
{
    WriteStr(QStringLiteral("[") + Translate(QStringLiteral("Inactive at design-time")) +
             QStringLiteral("]"));
}

void TZvCustomConnection::DoGetSorts()
{
    WriteStr(QString());
}

void TZvCustomConnection::DoSetFilter() {}

void TZvCustomConnection::DoSetSort() {}

void TZvCustomConnection::DoRestore() {}

bool TZvCustomConnection::DoValidateRow()
{
    return true;
}
