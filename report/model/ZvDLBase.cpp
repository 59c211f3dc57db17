#include "report/model/ZvDLBase.h"

#include <QCoreApplication>
#include <QFile>

#include <map>
#include <mutex>

#include <dlfcn.h>

QString DLQueryEditorFile = QStringLiteral("DataLinks/SQLEditor.dll");

namespace {

constexpr int kMaxHandles = 32;

// Handles of one kind: each a free bit of FID, the object behind it owned.
template <class T> class THandleManager {
public:
    int32_t Add(std::unique_ptr<T> object)
    {
        std::lock_guard guard(Lock());
        for (int bit = 0; bit < kMaxHandles; ++bit) {
            const uint32_t mask = 1u << bit;
            if (FID & mask)
                continue;
            FID |= mask;
            const auto handle = int32_t(mask);
            FList[handle] = std::move(object);
            return handle;
        }
        throw Exception(QStringLiteral("No more than %1 may be open at a time.").arg(kMaxHandles));
    }
    T* Find(int32_t handle)
    {
        std::lock_guard guard(Lock());
        auto it = FList.find(handle);
        return it == FList.end() ? nullptr : it->second.get();
    }
    bool Delete(int32_t handle)
    {
        std::unique_ptr<T> gone;
        std::lock_guard guard(Lock());
        auto it = FList.find(handle);
        if (it == FList.end())
            return false;
        gone = std::move(it->second);
        FList.erase(it);
        FID &= ~uint32_t(handle);
        return true;
    }
    void Clear()
    {
        std::map<int32_t, std::unique_ptr<T>> gone;
        std::lock_guard guard(Lock());
        gone.swap(FList);
        FID = 0;
    }

private:
    static std::recursive_mutex& Lock()
    {
        static std::recursive_mutex lock;
        return lock;
    }
    std::map<int32_t, std::unique_ptr<T>> FList;
    uint32_t FID = 0;
};

struct TDLGlobals {
    std::mutex Lock;
    // Result sets go first: they refer to their connections.
    THandleManager<TDLBaseConnection> Connections;
    THandleManager<TDLBaseResultSet> ResultSets;
    std::unique_ptr<TDLBaseDriver> Driver;
    std::vector<TDLDriverClass> DriverClasses;
    std::vector<QString> TableNames;
    std::vector<TDLTableItem> TableList;
    QString LastError;
    ~TDLGlobals()
    {
        ResultSets.Clear();
        Connections.Clear();
    }
};

TDLGlobals& G()
{
    static TDLGlobals globals;
    return globals;
}

// The text handed out by "DataGetErrorText", valid until the next call on
// this thread.
thread_local QString handedErrorText;

const char16_t* Wide(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Runs an operation; an exception sets the result code -1 and its message
// where keep says.
template <class Rec, class Op, class Keep> void Guarded(Rec& params, Op op, Keep keep)
{
    try {
        op();
    } catch (const std::exception& error) {
        params.ResultCode = -1;
        const auto* own = dynamic_cast<const Exception*>(&error);
        keep(own ? own->Message() : QString::fromLocal8Bit(error.what()));
    }
}

void KeepGlobal(const QString& text)
{
    SetDLGlobalErrorText(text);
}

TDLBaseResultSet& RequireResultSet(int32_t handle)
{
    TDLBaseResultSet* resultSet = TDLBaseDriver::FindResultSet(handle);
    if (!resultSet)
        throw Exception(QStringLiteral("No result set has the handle %1.").arg(handle));
    return *resultSet;
}

TDLBaseConnection& RequireConnection(int32_t handle)
{
    TDLBaseConnection* connection = TDLBaseDriver::FindConnection(handle);
    if (!connection)
        throw Exception(QStringLiteral("No connection has the handle %1.").arg(handle));
    return *connection;
}

// The error text of a result set's handle, or the global one when it has
// none.
auto ResultSetKeeper(int32_t handle)
{
    return [handle](const QString& text) {
        if (TDLBaseResultSet* resultSet = TDLBaseDriver::FindResultSet(handle))
            resultSet->FErrorText = text;
        else
            SetDLGlobalErrorText(text);
    };
}

auto ConnectionKeeper(int32_t handle)
{
    return [handle](const QString& text) {
        if (TDLBaseConnection* connection = TDLBaseDriver::FindConnection(handle))
            connection->FErrorText = text;
        else
            SetDLGlobalErrorText(text);
    };
}

// The query editor's record.
#pragma pack(push, 1)
struct TDLQueryEditorRec {
    int32_t Reserved;
    int32_t ConnectionHandle;
    const char16_t* QueryCommand;
    const char16_t* QueryStruct;
    TDLProc Procs[15];
};
#pragma pack(pop)
static_assert(sizeof(TDLQueryEditorRec) == 144);

using TConfigureQueryProc = uint8_t (*)(TDLQueryEditorRec* params);

// Loads the query editor once; null with why when it cannot.
TConfigureQueryProc QueryEditor(QString& why)
{
    static std::mutex lock;
    static void* library = nullptr;
    static TConfigureQueryProc proc = nullptr;
    std::lock_guard guard(lock);
    if (proc)
        return proc;
    const QString file = QCoreApplication::applicationDirPath() + QLatin1Char('/') + DLQueryEditorFile;
    if (!library)
        library = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        why = QStringLiteral("The query editor %1 cannot be loaded.").arg(file);
        return nullptr;
    }
    proc = reinterpret_cast<TConfigureQueryProc>(dlsym(library, "ConfigureQuery"));
    if (!proc)
        why = QStringLiteral("The query editor %1 has no ConfigureQuery.").arg(file);
    return proc;
}

} // namespace

// ---------------------------------------------------------------------------
// TDLFieldListManager.

void TDLFieldListManager::AllocFieldList(int32_t count)
{
    FFieldList.assign(size_t(count > 0 ? count : 0), TDLFieldItem{});
    FTexts.clear();
}

const char16_t* TDLFieldListManager::Keep(const QString& text)
{
    FTexts.push_back(text);
    return Wide(FTexts.back());
}

void TDLFieldListManager::SetFieldItem(int32_t index, const QString& fieldName, uint8_t dataType,
                                       int32_t width, const QString& fullName, const QString& description)
{
    if (index < 0 || index >= FieldCount())
        throw Exception(QStringLiteral("Field index %1 is out of range.").arg(index));
    TDLFieldItem& item = FFieldList[size_t(index)];
    item.FieldName = Keep(fieldName);
    item.DataType = dataType;
    item.Width = width;
    item.FullName = fullName.compare(fieldName, Qt::CaseInsensitive) == 0 ? nullptr : Keep(fullName);
    item.Description = Keep(description);
}

// ---------------------------------------------------------------------------
// TDLBaseConnection.

void TDLBaseConnection::GetFields(const QString& tableName)
{
    std::unique_ptr<TDLBaseResultSet> resultSet = FDriver->CreateResultSet(this);
    resultSet->Open(QStringLiteral("select * from ") + tableName + QStringLiteral(" where 0=1"));
    resultSet->GetFields(FDriver->FFields);
    resultSet->Close();
}

// ---------------------------------------------------------------------------
// TDLBaseDriver.

TDLBaseConnection* TDLBaseDriver::FindConnection(int32_t handle)
{
    return handle == kDLNoHandle ? nullptr : G().Connections.Find(handle);
}

TDLBaseResultSet* TDLBaseDriver::FindResultSet(int32_t handle)
{
    return handle == kDLNoHandle ? nullptr : G().ResultSets.Find(handle);
}

bool TDLBaseDriver::ConfigureDialog(QString&, QString&, QString&, QString&, bool&)
{
    return false;
}

void TDLBaseDriver::ConnectionOpen(TDLConnectionOpen& params)
{
    params.ConnectionHandle = kDLNoHandle;
    try {
        params.ConnectionHandle = G().Connections.Add(CreateConnection());
        FOptionList.SetCommaText(WideText(params.Options));
        RequireConnection(params.ConnectionHandle)
            .Connect(WideText(params.DataSource), WideText(params.UserName), WideText(params.Password),
                     FOptionList);
        params.Resultcode = 0;
    } catch (const Exception& error) {
        params.Resultcode = -1;
        if (TDLBaseConnection* connection = FindConnection(params.ConnectionHandle))
            connection->FErrorText = error.Message();
        else
            SetDLGlobalErrorText(error.Message());
    }
}

void TDLBaseDriver::ConnectionClose(TDLConnectionClose& params)
{
    Guarded(
        params,
        [&] {
            RequireConnection(params.ConnectionHandle).Disconnect();
            G().Connections.Delete(params.ConnectionHandle);
            params.ConnectionHandle = kDLNoHandle;
            params.ResultCode = 0;
        },
        KeepGlobal);
}

void TDLBaseDriver::ConnectionConfigure(TDLConnectionConfigure& params)
{
    Guarded(
        params,
        [&] {
            FDataSource = WideText(params.DataSource);
            FOptionText = WideText(params.Options);
            FOptionList.SetCommaText(FOptionText);
            FUserName = WideText(params.UserName);
            FPassword = WideText(params.PassWord);
            bool accepted = false;
            if (!ConfigureDialog(FDataSource, FOptionText, FUserName, FPassword, accepted)) {
                params.ResultCode = -1;
                SetDLGlobalErrorText(QStringLiteral("No configuration available."));
                return;
            }
            params.ResultCode = accepted ? 1 : 0;
            if (!accepted)
                return;
            FOptionList.SetCommaText(FOptionText);
            FConfigTexts[0] = FDataSource;
            FConfigTexts[1] = FOptionList.CommaText();
            FConfigTexts[2] = FUserName;
            FConfigTexts[3] = FPassword;
            params.DataSource = Wide(FConfigTexts[0]);
            params.Options = Wide(FConfigTexts[1]);
            params.UserName = Wide(FConfigTexts[2]);
            params.PassWord = Wide(FConfigTexts[3]);
        },
        KeepGlobal);
}

void TDLBaseDriver::GetErrorText(TDLErrorText& params)
{
    // The 32nd handle is bit 31, negative as an Int32: only -1 means none.
    if (params.ConnectionHandle != kDLNoHandle) {
        TDLBaseConnection* connection = FindConnection(params.ConnectionHandle);
        handedErrorText = connection ? connection->FErrorText : QString();
    } else if (params.ResultSetHandle != kDLNoHandle) {
        TDLBaseResultSet* resultSet = FindResultSet(params.ResultSetHandle);
        handedErrorText = resultSet ? resultSet->FErrorText : QString();
    } else
        handedErrorText = DLGlobalErrorText();
    params.ErrorText = Wide(handedErrorText);
}

void TDLBaseDriver::GetTables(TDLTables& params)
{
    Guarded(
        params,
        [&] {
            TStringList names;
            RequireConnection(params.ConnectionHandle).GetTableNames(names);
            TDLGlobals& g = G();
            std::lock_guard guard(g.Lock);
            g.TableNames.clear();
            g.TableList.clear();
            for (int i = 0; i < names.Count(); ++i)
                g.TableNames.push_back(names.Strings(i));
            for (const QString& name : g.TableNames)
                g.TableList.push_back(TDLTableItem{Wide(name)});
            params.TableCount = int32_t(g.TableList.size());
            params.TableList = g.TableList.empty() ? nullptr : g.TableList.data();
            params.ResultCode = 0;
        },
        ConnectionKeeper(params.ConnectionHandle));
}

void TDLBaseDriver::GetFields(TDLFields& params)
{
    Guarded(
        params,
        [&] {
            RequireConnection(params.ConnectionHandle).GetFields(WideText(params.TableName));
            params.FieldCount = FFields.FieldCount();
            params.FieldList = FFields.FieldList();
            params.ResultCode = 0;
        },
        ConnectionKeeper(params.ConnectionHandle));
}

void TDLBaseDriver::ResultSetOpen(TDLResultSetOpen& params)
{
    params.ResultSetHandle = kDLNoHandle;
    Guarded(
        params,
        [&] {
            TDLBaseConnection& connection = RequireConnection(params.ConnectionHandle);
            params.ResultSetHandle = G().ResultSets.Add(CreateResultSet(&connection));
            TDLBaseResultSet& resultSet = RequireResultSet(params.ResultSetHandle);
            resultSet.Open(WideText(params.QueryCommand));
            resultSet.GetFields(resultSet.FFields);
            params.FieldCount = resultSet.FFields.FieldCount();
            params.FieldList = resultSet.FFields.FieldList();
            params.ResultCode = 0;
        },
        [&](const QString& text) {
            if (TDLBaseResultSet* resultSet = FindResultSet(params.ResultSetHandle))
                resultSet->FErrorText = text;
            else
                ConnectionKeeper(params.ConnectionHandle)(text);
        });
}

void TDLBaseDriver::ResultSetClose(TDLResultSetClose& params)
{
    Guarded(
        params,
        [&] {
            RequireResultSet(params.ResultSetHandle).Close();
            G().ResultSets.Delete(params.ResultSetHandle);
            params.ResultCode = 0;
        },
        ResultSetKeeper(params.ResultSetHandle));
}

void TDLBaseDriver::ResultSetFirst(TDLResultSetFirst& params)
{
    Guarded(
        params,
        [&] {
            RequireResultSet(params.ResultSetHandle).First();
            params.ResultCode = 0;
        },
        ResultSetKeeper(params.ResultSetHandle));
}

void TDLBaseDriver::ResultSetNext(TDLResultSetNext& params)
{
    Guarded(
        params,
        [&] {
            RequireResultSet(params.ResultSetHandle).Next();
            params.ResultCode = 0;
        },
        ResultSetKeeper(params.ResultSetHandle));
}

void TDLBaseDriver::ResultSetEOF(TDLResultSetEOF& params)
{
    Guarded(
        params,
        [&] {
            params.Eof = RequireResultSet(params.ResultSetHandle).Eof() ? 1 : 0;
            params.ResultCode = 0;
        },
        ResultSetKeeper(params.ResultSetHandle));
}

void TDLBaseDriver::ResultSetSetFilter(TDLResultSetFilter&) {}

void TDLBaseDriver::ResultSetSetSort(TDLResultSetSort&) {}

void TDLBaseDriver::ResultSetConfigure(TDLResultSetConfigure& params)
{
    QString why;
    const TConfigureQueryProc editor = QueryEditor(why);
    if (!editor) {
        params.ResultCode = -1;
        SetDLGlobalErrorText(why);
        return;
    }
    TDLQueryEditorRec rec{};
    rec.ConnectionHandle = params.ConnectionHandle;
    rec.QueryCommand = params.QueryCommand;
    rec.QueryStruct = params.QueryStruct;
    const TDLProc procs[15] = {DataGetTables,           DataGetFields,          DataConnectionClose,
                               DataConnectionConfigure, DataConnectionOpen,     DataGetErrorText,
                               DataInformation,         DataResultSetClose,     DataResultSetEOF,
                               DataResultSetFirst,      DataResultSetGetRow,    DataResultSetNext,
                               DataResultSetOpen,       DataResultSetSetFilter, DataResultSetSetSort};
    std::copy(std::begin(procs), std::end(procs), rec.Procs);
    if (!editor(&rec)) {
        params.ResultCode = 0;
        return;
    }
    FQueryTexts[0] = WideText(rec.QueryCommand);
    FQueryTexts[1] = WideText(rec.QueryStruct);
    params.QueryCommand = Wide(FQueryTexts[0]);
    params.QueryStruct = Wide(FQueryTexts[1]);
    params.ResultCode = 1;
}

// ---------------------------------------------------------------------------
// Registration and globals.

void RegisterDataDriver(std::unique_ptr<TDLBaseDriver> driver)
{
    TDLGlobals& g = G();
    std::lock_guard guard(g.Lock);
    g.Driver = std::move(driver);
}

TDLBaseDriver* RegisteredDataDriver()
{
    TDLGlobals& g = G();
    std::lock_guard guard(g.Lock);
    return g.Driver.get();
}

void RegisterDataDriverClass(const TDLDriverClass& driverClass)
{
    G().DriverClasses.push_back(driverClass);
}

const std::vector<TDLDriverClass>& RegisteredDataDriverClasses()
{
    return G().DriverClasses;
}

void ClearDataDriverClasses()
{
    G().DriverClasses.clear();
}

QString DLGlobalErrorText()
{
    TDLGlobals& g = G();
    std::lock_guard guard(g.Lock);
    return g.LastError;
}

void SetDLGlobalErrorText(const QString& text)
{
    TDLGlobals& g = G();
    std::lock_guard guard(g.Lock);
    g.LastError = text;
}

void FreeDLHandles()
{
    G().ResultSets.Clear();
    G().Connections.Clear();
}

// ---------------------------------------------------------------------------
// The exports: each hands its record to the registered driver object.

namespace {

template <class Rec> void Forward(void* params, void (TDLBaseDriver::*op)(Rec&))
{
    if (!params)
        return;
    auto& rec = *static_cast<Rec*>(params);
    TDLBaseDriver* driver = RegisteredDataDriver();
    if (!driver) {
        *reinterpret_cast<int32_t*>(params) = -1;
        return;
    }
    (driver->*op)(rec);
}

} // namespace

extern "C" {

void DataInformation(void* params)
{
    if (params && !RegisteredDataDriver()) {
        static_cast<TDLInformation*>(params)->Resultcode = -1;
        SetDLGlobalErrorText(QStringLiteral("No Data Driver class registered."));
        return;
    }
    Forward(params, &TDLBaseDriver::Information);
}

void DataGetErrorText(void* params)
{
    // Its record has no result code: without a driver it answers no text.
    if (params && !RegisteredDataDriver()) {
        handedErrorText = DLGlobalErrorText();
        static_cast<TDLErrorText*>(params)->ErrorText = Wide(handedErrorText);
        return;
    }
    Forward(params, &TDLBaseDriver::GetErrorText);
}

void DataConnectionConfigure(void* params)
{
    Forward(params, &TDLBaseDriver::ConnectionConfigure);
}
void DataConnectionOpen(void* params)
{
    Forward(params, &TDLBaseDriver::ConnectionOpen);
}
void DataConnectionClose(void* params)
{
    Forward(params, &TDLBaseDriver::ConnectionClose);
}
void DataGetTables(void* params)
{
    Forward(params, &TDLBaseDriver::GetTables);
}
void DataGetFields(void* params)
{
    Forward(params, &TDLBaseDriver::GetFields);
}
void DataResultSetOpen(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetOpen);
}
void DataResultSetClose(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetClose);
}
void DataResultSetFirst(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetFirst);
}
void DataResultSetNext(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetNext);
}
void DataResultSetEOF(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetEOF);
}
void DataResultSetGetRow(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetGetRow);
}
void DataResultSetSetFilter(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetSetFilter);
}
void DataResultSetSetSort(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetSetSort);
}
void DataResultSetConfigure(void* params)
{
    Forward(params, &TDLBaseDriver::ResultSetConfigure);
}

} // extern "C"
