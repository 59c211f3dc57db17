#include "report/model/ZvDataLink.h"

#include "report/model/ZvDefine.h"

TDataLinkErrorLog DataLinkErrorLog;
TZarvDataLinks* DataLinks = nullptr;

namespace {

// Frees the links when the program ends.
struct TDataLinksFinalizer {
    ~TDataLinksFinalizer()
    {
        delete DataLinks;
        DataLinks = nullptr;
    }
};

const char16_t* Wide(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString ExportName(TDLExport which)
{
    return QLatin1String(kDLExportNames[which]);
}

// A count a driver answered, with its list: refused when it is negative, too
// large, or has no list.
void CheckDriverList(const QString& apiName, int32_t count, const void* list)
{
    if (count < 0 || count > kMaxDriverItems || (count > 0 && !list))
        ZarvError(QStringLiteral("%1: the driver answered %2 items").arg(apiName).arg(count));
}

} // namespace

// ---------------------------------------------------------------------------
// Loading.

TZarvDataLink::~TZarvDataLink()
{
    FDriver.reset();
    UnloadDLL();
}

void TZarvDataLink::LoadDLL(const QString& fileName)
{
    FFileName = fileName;
    FLibHandle = LoadDynamicLibrary(fileName);
    if (!FLibHandle)
        throw EAbort();
}

void TZarvDataLink::UnloadDLL()
{
    if (FLibHandle)
        FreeDynamicLibrary(FLibHandle);
    FLibHandle = nullptr;
    std::fill(std::begin(FProcs), std::end(FProcs), nullptr);
}

void* TZarvDataLink::FindProc(const char* name) const
{
    return FindLibrarySymbol(FLibHandle, name);
}

void TZarvDataLink::BindProcs()
{
    for (int i = 0; i < kDLExportCount; ++i) {
        FProcs[i] = reinterpret_cast<TDLProc>(FindProc(kDLExportNames[i]));
        if (!FProcs[i]) {
            UnloadDLL();
            throw EAbort();
        }
    }
}

void TZarvDataLink::InitDynamic(const QString& fileName)
{
    LoadDLL(fileName);
    BindProcs();
    Information();
}

void TZarvDataLink::InitStatic(const TDLDriverClass& driverClass)
{
    FDriver = driverClass ? driverClass() : nullptr;
    if (!FDriver)
        throw EAbort();
    Information();
}

void TZarvDataLink::Call(TDLExport which, void* params)
{
    if (!FDriver) {
        if (!FProcs[which])
            ZarvError(QStringLiteral("%1: the data link is not loaded").arg(ExportName(which)));
        FProcs[which](params);
        return;
    }
    TDLBaseDriver& d = *FDriver;
    switch (which) {
    case dleInformation:
        d.Information(*static_cast<TDLInformation*>(params));
        break;
    case dleGetErrorText:
        d.GetErrorText(*static_cast<TDLErrorText*>(params));
        break;
    case dleConnectionConfigure:
        d.ConnectionConfigure(*static_cast<TDLConnectionConfigure*>(params));
        break;
    case dleConnectionOpen:
        d.ConnectionOpen(*static_cast<TDLConnectionOpen*>(params));
        break;
    case dleConnectionClose:
        d.ConnectionClose(*static_cast<TDLConnectionClose*>(params));
        break;
    case dleGetTables:
        d.GetTables(*static_cast<TDLTables*>(params));
        break;
    case dleGetFields:
        d.GetFields(*static_cast<TDLFields*>(params));
        break;
    case dleResultSetOpen:
        d.ResultSetOpen(*static_cast<TDLResultSetOpen*>(params));
        break;
    case dleResultSetClose:
        d.ResultSetClose(*static_cast<TDLResultSetClose*>(params));
        break;
    case dleResultSetFirst:
        d.ResultSetFirst(*static_cast<TDLResultSetFirst*>(params));
        break;
    case dleResultSetNext:
        d.ResultSetNext(*static_cast<TDLResultSetNext*>(params));
        break;
    case dleResultSetEOF:
        d.ResultSetEOF(*static_cast<TDLResultSetEOF*>(params));
        break;
    case dleResultSetGetRow:
        d.ResultSetGetRow(*static_cast<TDLResultSetRow*>(params));
        break;
    case dleResultSetSetFilter:
        d.ResultSetSetFilter(*static_cast<TDLResultSetFilter*>(params));
        break;
    case dleResultSetSetSort:
        d.ResultSetSetSort(*static_cast<TDLResultSetSort*>(params));
        break;
    case dleResultSetConfigure:
        d.ResultSetConfigure(*static_cast<TDLResultSetConfigure*>(params));
        break;
    }
}

void TZarvDataLink::Information()
{
    TDLInformation rec{};
    Call(dleInformation, &rec);
    FInstalled = rec.Installed != 0;
    FVerMajor = rec.VerMajor;
    FVerMinor = rec.VerMinor;
    FInternalName = WideArrayText(rec.InternalName, 33);
    FDisplayName = WideArrayText(rec.DisplayName, 256);
    if (FInternalName.isEmpty() || FDisplayName.isEmpty())
        throw EAbort();
}

void TZarvDataLink::CheckInstalled() const
{
    if (!FInstalled)
        throw Exception(FDisplayName + QStringLiteral(" is not installed."));
}

// ---------------------------------------------------------------------------
// Errors.

QString TZarvDataLink::ErrorText(int32_t connectionHandle, int32_t resultSetHandle)
{
    TDLErrorText rec{};
    rec.ConnectionHandle = connectionHandle;
    rec.ResultSetHandle = resultSetHandle;
    Call(dleGetErrorText, &rec);
    return WideText(rec.ErrorText);
}

void TZarvDataLink::LogAPIError(const QString& apiName, const QString& message) const
{
    if (DataLinkErrorLog) {
        DataLinkErrorLog(apiName, message);
        return;
    }
    ZarvError(apiName + QStringLiteral(": ") + message);
}

void TZarvDataLink::LogGlobalError(const QString& apiName)
{
    LogAPIError(apiName, ErrorText(-1, -1));
}

void TZarvDataLink::LogConnectionError(int32_t connectionHandle, const QString& apiName,
                                       const QString& tableName)
{
    QString text = ErrorText(connectionHandle, -1);
    if (!tableName.isEmpty())
        text = QStringLiteral("(") + tableName + QStringLiteral(") ") + text;
    LogAPIError(apiName, text);
}

void TZarvDataLink::LogResultSetError(int32_t resultSetHandle, const QString& apiName)
{
    LogAPIError(apiName, ErrorText(-1, resultSetHandle));
}

// ---------------------------------------------------------------------------
// Operations.

bool TZarvDataLink::ConnectionConfigure(QString& dataSource, QString& options, QString& userName,
                                        QString& password)
{
    TDLConnectionConfigure rec{};
    rec.DataSource = Wide(dataSource);
    rec.Options = Wide(options);
    rec.UserName = Wide(userName);
    rec.PassWord = Wide(password);
    Call(dleConnectionConfigure, &rec);
    if (rec.ResultCode == 1) {
        dataSource = WideText(rec.DataSource);
        options = WideText(rec.Options);
        userName = WideText(rec.UserName);
        password = WideText(rec.PassWord);
        return true;
    }
    if (rec.ResultCode != 0)
        LogGlobalError(ExportName(dleConnectionConfigure));
    return false;
}

void TZarvDataLink::ConnectionOpen(const QString& dataSource, const QString& options, const QString& userName,
                                   const QString& password, int32_t& connectionHandle)
{
    CheckInstalled();
    TDLConnectionOpen rec{};
    rec.DataSource = Wide(dataSource);
    rec.Options = Wide(options);
    rec.UserName = Wide(userName);
    rec.Password = Wide(password);
    rec.ConnectionHandle = -1;
    Call(dleConnectionOpen, &rec);
    connectionHandle = rec.ConnectionHandle;
    if (rec.Resultcode != 0)
        LogConnectionError(rec.ConnectionHandle, ExportName(dleConnectionOpen), QString());
}

void TZarvDataLink::ConnectionClose(int32_t connectionHandle)
{
    TDLConnectionClose rec{};
    rec.ConnectionHandle = connectionHandle;
    Call(dleConnectionClose, &rec);
    if (rec.ResultCode != 0)
        LogGlobalError(QStringLiteral("ConnectionClose"));
}

void TZarvDataLink::GetTableNames(int32_t connectionHandle, TStringList& tableNames)
{
    CheckInstalled();
    TDLTables rec{};
    rec.ConnectionHandle = connectionHandle;
    Call(dleGetTables, &rec);
    if (rec.ResultCode != 0) {
        LogConnectionError(connectionHandle, ExportName(dleGetTables), QString());
        return;
    }
    CheckDriverList(ExportName(dleGetTables), rec.TableCount, rec.TableList);
    tableNames.Clear();
    for (int32_t i = 0; i < rec.TableCount; ++i)
        tableNames.Add(WideText(rec.TableList[i].Name));
}

void TZarvDataLink::GetFieldDefs(int32_t connectionHandle, const QString& tableName, TStringList& fieldDefs)
{
    CheckInstalled();
    TDLFields rec{};
    rec.ConnectionHandle = connectionHandle;
    rec.TableName = Wide(tableName);
    Call(dleGetFields, &rec);
    if (rec.ResultCode != 0) {
        LogConnectionError(connectionHandle, ExportName(dleGetFields), tableName);
        return;
    }
    CheckDriverList(ExportName(dleGetFields), rec.FieldCount, rec.FieldList);
    fieldDefs.Clear();
    for (int32_t i = 0; i < rec.FieldCount; ++i)
        fieldDefs.Add(WideText(rec.FieldList[i].FieldName));
}

void TZarvDataLink::ResultSetOpen(int32_t connectionHandle, const QString& queryCommand,
                                  int32_t& resultSetHandle, TResultSetFieldList& fieldList)
{
    TDLResultSetOpen rec{};
    rec.ConnectionHandle = connectionHandle;
    rec.QueryCommand = Wide(queryCommand);
    rec.ResultSetHandle = -1;
    Call(dleResultSetOpen, &rec);
    resultSetHandle = rec.ResultSetHandle;
    fieldList.clear();
    if (rec.ResultCode != 0) {
        LogResultSetError(rec.ResultSetHandle, ExportName(dleResultSetOpen));
        return;
    }
    CheckDriverList(ExportName(dleResultSetOpen), rec.FieldCount, rec.FieldList);
    for (int32_t i = 0; i < rec.FieldCount; ++i) {
        const TDLFieldItem& item = rec.FieldList[i];
        TResultSetField field;
        field.FieldName = WideText(item.FieldName);
        if (item.DataType > uint8_t(TQPDataType::dtInt64))
            ZarvError(QStringLiteral("%1: the driver answered the data type %2")
                          .arg(ExportName(dleResultSetOpen))
                          .arg(item.DataType));
        field.DataType = TQPDataType(item.DataType);
        field.Width = item.Width;
        field.FullName = item.FullName ? WideText(item.FullName) : field.FieldName;
        field.Description = WideText(item.Description);
        fieldList.push_back(field);
    }
}

void TZarvDataLink::ResultSetClose(int32_t& resultSetHandle)
{
    TDLResultSetClose rec{};
    rec.ResultSetHandle = resultSetHandle;
    Call(dleResultSetClose, &rec);
    if (rec.ResultCode != 0)
        LogResultSetError(resultSetHandle, ExportName(dleResultSetClose));
}

void TZarvDataLink::ResultSetFirst(int32_t resultSetHandle)
{
    TDLResultSetFirst rec{};
    rec.ResultSetHandle = resultSetHandle;
    Call(dleResultSetFirst, &rec);
    if (rec.ResultCode != 0)
        LogResultSetError(resultSetHandle, ExportName(dleResultSetFirst));
}

void TZarvDataLink::ResultSetNext(int32_t resultSetHandle)
{
    TDLResultSetNext rec{};
    rec.ResultSetHandle = resultSetHandle;
    Call(dleResultSetNext, &rec);
    if (rec.ResultCode != 0)
        LogResultSetError(resultSetHandle, ExportName(dleResultSetNext));
}

bool TZarvDataLink::ResultSetEOF(int32_t resultSetHandle)
{
    TDLResultSetEOF rec{};
    rec.ResultSetHandle = resultSetHandle;
    Call(dleResultSetEOF, &rec);
    if (rec.ResultCode != 0)
        LogResultSetError(resultSetHandle, ExportName(dleResultSetEOF));
    return rec.Eof != 0;
}

void TZarvDataLink::ResultSetGetRow(int32_t resultSetHandle, int32_t transferCount,
                                    const uint8_t* transferList, const uint8_t*& rowBuffer,
                                    int32_t& rowBufSize)
{
    TDLResultSetRow rec{};
    rec.ResultSetHandle = resultSetHandle;
    rec.TransferCount = transferCount;
    rec.TransferList = transferList;
    Call(dleResultSetGetRow, &rec);
    rowBuffer = nullptr;
    rowBufSize = 0;
    if (rec.ResultCode != 0) {
        LogResultSetError(resultSetHandle, ExportName(dleResultSetGetRow));
        return;
    }
    if (rec.RowBufSize < 0 || (rec.RowBufSize > 0 && !rec.RowBuffer))
        ZarvError(QStringLiteral("%1: the driver answered a row of %2 bytes")
                      .arg(ExportName(dleResultSetGetRow))
                      .arg(rec.RowBufSize));
    rowBuffer = rec.RowBuffer;
    rowBufSize = rec.RowBufSize;
}

bool TZarvDataLink::ResultSetConfigure(QString& queryCommand, int32_t connectionHandle, QString& queryStruct)
{
    CheckInstalled();
    TDLResultSetConfigure rec{};
    rec.ConnectionHandle = connectionHandle;
    rec.QueryCommand = Wide(queryCommand);
    rec.QueryStruct = Wide(queryStruct);
    Call(dleResultSetConfigure, &rec);
    if (rec.ResultCode == 1) {
        queryCommand = WideText(rec.QueryCommand);
        queryStruct = WideText(rec.QueryStruct);
        return true;
    }
    if (rec.ResultCode != 0)
        LogConnectionError(connectionHandle, ExportName(dleResultSetConfigure), QString());
    return false;
}

// ---------------------------------------------------------------------------
// TZarvDataLinks.

void TZarvDataLinks::AddDynamic(const QString& fileName)
{
    auto link = std::make_unique<TZarvDataLink>();
    link->InitDynamic(fileName);
    for (const auto& item : FItems) {
        if (item->InternalName().compare(link->InternalName(), Qt::CaseInsensitive) == 0 ||
            item->DisplayName().compare(link->DisplayName(), Qt::CaseInsensitive) == 0)
            return;
    }
    FItems.push_back(std::move(link));
}

void TZarvDataLinks::AddStatic(const TDLDriverClass& driverClass)
{
    auto link = std::make_unique<TZarvDataLink>();
    link->InitStatic(driverClass);
    for (const auto& item : FItems) {
        if (item->InternalName().compare(link->InternalName(), Qt::CaseInsensitive) == 0)
            return;
    }
    FItems.push_back(std::move(link));
}

TZarvDataLink* TZarvDataLinks::FindDataLink(const QString& internalName) const
{
    for (const auto& item : FItems) {
        if (item->InternalName() == internalName)
            return item.get();
    }
    throw Exception(QStringLiteral("Unknown DATA link type. (") + internalName + QStringLiteral(")"));
}

std::unique_ptr<TDataConnection> TZarvDataLinks::CreateConnection(const QString& internalName) const
{
    return std::make_unique<TDataConnection>(FindDataLink(internalName));
}

void InitStaticDataLinks()
{
    if (!DataLinks) {
        DataLinks = new TZarvDataLinks;
        static TDataLinksFinalizer finalizer;
    }
    for (const TDLDriverClass& driverClass : RegisteredDataDriverClasses()) {
        try {
            DataLinks->AddStatic(driverClass);
        } catch (const EAbort&) {
            // A driver that describes itself with no names is left out.
        }
    }
}

// ---------------------------------------------------------------------------
// TDataConnection and TDataResultSet.

TDataConnection::~TDataConnection()
{
    try {
        Close();
    } catch (...) {
        // A driver that fails to close is not reported while going.
    }
}

void TDataConnection::Open()
{
    FDataLink->ConnectionOpen(FDataSource, FOptions, FUserName, FPassword, FConnectionHandle);
}

void TDataConnection::Close()
{
    if (FConnectionHandle == -1)
        return;
    const int32_t handle = FConnectionHandle;
    FConnectionHandle = -1;
    FDataLink->ConnectionClose(handle);
}

void TDataConnection::GetTableNames(TStringList& list)
{
    FDataLink->GetTableNames(FConnectionHandle, list);
}

void TDataConnection::GetFieldDefs(const QString& tableName, TStringList& list)
{
    FDataLink->GetFieldDefs(FConnectionHandle, tableName, list);
}

bool TDataConnection::ResultSetConfigure(QString& queryCommand, QString& queryStruct)
{
    return FDataLink->ResultSetConfigure(queryCommand, FConnectionHandle, queryStruct);
}

TDataResultSet::~TDataResultSet()
{
    try {
        Close();
    } catch (...) {
        // As for connections.
    }
}

void TDataResultSet::Open()
{
    FConnection->FDataLink->ResultSetOpen(FConnection->FConnectionHandle, FCommandText, FResultSetHandle,
                                          FFieldList);
    FTransferList.assign(FFieldList.size(), 1);
}

void TDataResultSet::Close()
{
    if (FResultSetHandle != -1) {
        int32_t handle = FResultSetHandle;
        FResultSetHandle = -1;
        FFieldList.clear();
        FConnection->FDataLink->ResultSetClose(handle);
    }
    FTransferList.clear();
}

void TDataResultSet::First()
{
    if (IsOpen())
        FConnection->FDataLink->ResultSetFirst(FResultSetHandle);
}

void TDataResultSet::Next()
{
    if (IsOpen())
        FConnection->FDataLink->ResultSetNext(FResultSetHandle);
}

bool TDataResultSet::Eof()
{
    return !IsOpen() || FConnection->FDataLink->ResultSetEOF(FResultSetHandle);
}

void TDataResultSet::GetRow(const uint8_t*& rowBuffer, int32_t& rowBufSize)
{
    FConnection->FDataLink->ResultSetGetRow(FResultSetHandle, int32_t(FTransferList.size()),
                                            FTransferList.data(), rowBuffer, rowBufSize);
}
