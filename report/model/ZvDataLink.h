#pragma once
// ZvDataLink: the host side of the data-link drivers.
//
// TZarvDataLink is one driver: a library loaded with its sixteen exports
// bound (a dynamic link) or a driver object made from a class linked into
// the program (a static link). Its methods fill the records of ZvDLCommon.h,
// call the driver, check the result code and copy out what the driver
// answered; counts and buffers a driver hands back are checked before they
// are read. A failing driver call is reported with the driver's error text
// to DataLinkErrorLog; with no hook set it raises EZarvException naming the
// operation and that text.
//
// TZarvDataLinks (global DataLinks, made by InitStaticDataLinks) is the
// list of the process's links; TDataConnection and TDataResultSet are an
// open connection and an open query on a link.
#include "report/model/ZvDLBase.h"
#include "report/model/ZvDLCommon.h"
#include "report/print/QpDefine.h"

#include "platform/os/Libraries.h"
#include "platform/rtl/StringList.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Receives driver failures: the export's name and the driver's text.
using TDataLinkErrorLog = std::function<void(const QString& apiName, const QString& message)>;
extern TDataLinkErrorLog DataLinkErrorLog;

class TResultSetField {
public:
    QString FieldName;
    TQPDataType DataType = TQPDataType::dtString;
    int32_t Width = 0;
    QString FullName;
    QString Description;
};
using TResultSetFieldList = std::vector<TResultSetField>;

// The most fields or tables a driver may describe at once.
constexpr int32_t kMaxDriverItems = 65536;

class TZarvDataLink {
public:
    TZarvDataLink() = default;
    ~TZarvDataLink();
    TZarvDataLink(const TZarvDataLink&) = delete;
    TZarvDataLink& operator=(const TZarvDataLink&) = delete;

    // Load and describe the driver; a library that does not load, lacks an
    // export, or gives no names aborts silently (EAbort).
    void InitDynamic(const QString& fileName);
    void InitStatic(const TDLDriverClass& driverClass);
    void LoadDLL(const QString& fileName);
    void UnloadDLL();
    void BindProcs();
    void* FindProc(const char* name) const;
    void Information();
    // Raises "<display name> is not installed." when it is not.
    void CheckInstalled() const;
    bool GetIsDynamicLink() const { return FLibHandle != nullptr; }

    bool ConnectionConfigure(QString& dataSource, QString& options, QString& userName, QString& password);
    void ConnectionOpen(const QString& dataSource, const QString& options, const QString& userName,
                        const QString& password, int32_t& connectionHandle);
    void ConnectionClose(int32_t connectionHandle);
    void GetTableNames(int32_t connectionHandle, TStringList& tableNames);
    void GetFieldDefs(int32_t connectionHandle, const QString& tableName, TStringList& fieldDefs);
    void ResultSetOpen(int32_t connectionHandle, const QString& queryCommand, int32_t& resultSetHandle,
                       TResultSetFieldList& fieldList);
    void ResultSetClose(int32_t& resultSetHandle);
    void ResultSetFirst(int32_t resultSetHandle);
    void ResultSetNext(int32_t resultSetHandle);
    bool ResultSetEOF(int32_t resultSetHandle);
    // The row the driver answered: its bytes (valid until the next call on
    // the result set) and their count.
    void ResultSetGetRow(int32_t resultSetHandle, int32_t transferCount, const uint8_t* transferList,
                         const uint8_t*& rowBuffer, int32_t& rowBufSize);
    bool ResultSetConfigure(QString& queryCommand, int32_t connectionHandle, QString& queryStruct);

    void LogAPIError(const QString& apiName, const QString& message) const;
    void LogGlobalError(const QString& apiName);
    void LogConnectionError(int32_t connectionHandle, const QString& apiName, const QString& tableName);
    void LogResultSetError(int32_t resultSetHandle, const QString& apiName);

    const QString& FileName() const { return FFileName; }
    bool Installed() const { return FInstalled; }
    const QString& InternalName() const { return FInternalName; }
    const QString& DisplayName() const { return FDisplayName; }
    int32_t VerMajor() const { return FVerMajor; }
    int32_t VerMinor() const { return FVerMinor; }

private:
    // Hands the record to the driver object or the library's export.
    void Call(TDLExport which, void* params);
    QString ErrorText(int32_t connectionHandle, int32_t resultSetHandle);

    QString FFileName;
    TLibraryHandle FLibHandle = nullptr;
    TDLProc FProcs[kDLExportCount] = {};
    std::unique_ptr<TDLBaseDriver> FDriver;
    bool FInstalled = false;
    QString FInternalName;
    QString FDisplayName;
    int32_t FVerMajor = 0;
    int32_t FVerMinor = 0;
};

class TDataConnection;

class TZarvDataLinks {
public:
    // A link whose internal or display name (case ignored) is already listed
    // is dropped.
    void AddDynamic(const QString& fileName);
    void AddStatic(const TDLDriverClass& driverClass);
    // The first link of that internal name (exact); raises "Unknown DATA
    // link type. (<name>)" when none.
    TZarvDataLink* FindDataLink(const QString& internalName) const;
    std::unique_ptr<TDataConnection> CreateConnection(const QString& internalName) const;
    int Count() const { return int(FItems.size()); }
    TZarvDataLink* Items(int index) const { return FItems.at(size_t(index)).get(); }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TZarvDataLink>> FItems;
};

extern TZarvDataLinks* DataLinks;
// Makes DataLinks when missing and adds a static link per registered driver
// class. Called once by the first project component of the process.
void InitStaticDataLinks();

class TDataConnection {
public:
    explicit TDataConnection(TZarvDataLink* dataLink) : FDataLink(dataLink) {}
    ~TDataConnection();
    TDataConnection(const TDataConnection&) = delete;
    TDataConnection& operator=(const TDataConnection&) = delete;

    void Open();
    void Close();
    void GetTableNames(TStringList& list);
    void GetFieldDefs(const QString& tableName, TStringList& list);
    bool ResultSetConfigure(QString& queryCommand, QString& queryStruct);

    TZarvDataLink* FDataLink;
    int32_t FConnectionHandle = -1;
    QString FDataSource, FOptions, FUserName, FPassword;
};

class TDataResultSet {
public:
    explicit TDataResultSet(TDataConnection* connection) : FConnection(connection) {}
    ~TDataResultSet();
    TDataResultSet(const TDataResultSet&) = delete;
    TDataResultSet& operator=(const TDataResultSet&) = delete;

    void Open();
    void Close();
    void First();
    void Next();
    bool Eof();
    void GetRow(const uint8_t*& rowBuffer, int32_t& rowBufSize);
    QString& CommandText() { return FCommandText; }
    const TResultSetFieldList& FieldList() const { return FFieldList; }
    bool IsOpen() const { return FResultSetHandle != -1; }

private:
    TDataConnection* FConnection;
    QString FCommandText;
    int32_t FResultSetHandle = -1;
    TResultSetFieldList FFieldList;
    std::vector<uint8_t> FTransferList;
};
