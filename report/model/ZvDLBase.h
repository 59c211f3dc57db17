#pragma once
// ZvDLBase: the framework a data-link driver is built from.
//
// A driver derives from TDLBaseDriver (with its own connection and result-set
// classes) and is either registered as the library's one driver object
// (RegisterDataDriver; the sixteen exported procedures below then forward to
// it) or offered as a class for static links (RegisterDataDriverClass).
// Every operation takes the record of its export (ZvDLCommon.h), answers
// ResultCode 0 on success and -1 on failure, and never lets an exception out:
// the message becomes the error text of the connection or result set
// concerned (else the global one), which "DataGetErrorText" returns.
//
// Connections and result sets are kept by two handle managers, one each,
// shared by every thread under one lock. A handle is a power of two, the
// lowest free one; at most 32 of each are open at a time. -1 means none.
#include "report/model/ZvDLCommon.h"

#include "platform/rtl/StringList.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TDLBaseDriver;
class TDLBaseResultSet;

// The field descriptions a result set gives, with the texts they point to.
class TDLFieldListManager {
public:
    void AllocFieldList(int32_t count);
    // A full name equal to the name (case ignored) is described as null.
    void SetFieldItem(int32_t index, const QString& fieldName, uint8_t dataType, int32_t width,
                      const QString& fullName, const QString& description);
    int32_t FieldCount() const { return int32_t(FFieldList.size()); }
    const TDLFieldItem* FieldList() const { return FFieldList.empty() ? nullptr : FFieldList.data(); }

private:
    const char16_t* Keep(const QString& text);

    std::vector<TDLFieldItem> FFieldList;
    std::deque<QString> FTexts;
};

class TDLBaseConnection {
public:
    explicit TDLBaseConnection(TDLBaseDriver* driver) : FDriver(driver) {}
    virtual ~TDLBaseConnection() = default;
    virtual void Connect(const QString& dataSource, const QString& userName, const QString& password,
                         const TStringList& optionList) = 0;
    virtual void Disconnect() = 0;
    virtual void GetTableNames(TStringList& list) = 0;
    // Describes the fields of a table into the driver's field list, through a
    // result set on "select * from <table> where 0=1".
    virtual void GetFields(const QString& tableName);

    TDLBaseDriver* FDriver;
    QString FErrorText;
};

class TDLBaseResultSet {
public:
    explicit TDLBaseResultSet(TDLBaseConnection* connection) : FConnection(connection) {}
    virtual ~TDLBaseResultSet() = default;
    virtual void Open(const QString& queryStr) = 0;
    virtual void GetFields(TDLFieldListManager& fields) = 0;
    virtual void Close() = 0;
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() = 0;

    TDLBaseConnection* FConnection;
    QString FErrorText;
    TDLBuffer FBuffer;
    TDLFieldListManager FFields;
};

class TDLBaseDriver {
public:
    TDLBaseDriver() = default;
    virtual ~TDLBaseDriver() = default;
    TDLBaseDriver(const TDLBaseDriver&) = delete;
    TDLBaseDriver& operator=(const TDLBaseDriver&) = delete;

    virtual void ConnectionClose(TDLConnectionClose& params);
    virtual void ConnectionConfigure(TDLConnectionConfigure& params);
    virtual void ConnectionOpen(TDLConnectionOpen& params);
    virtual void GetErrorText(TDLErrorText& params);
    virtual void GetFields(TDLFields& params);
    virtual void GetTables(TDLTables& params);
    virtual void Information(TDLInformation& params) = 0;
    virtual void ResultSetClose(TDLResultSetClose& params);
    virtual void ResultSetConfigure(TDLResultSetConfigure& params);
    virtual void ResultSetEOF(TDLResultSetEOF& params);
    virtual void ResultSetFirst(TDLResultSetFirst& params);
    virtual void ResultSetGetRow(TDLResultSetRow& params) = 0;
    virtual void ResultSetNext(TDLResultSetNext& params);
    virtual void ResultSetOpen(TDLResultSetOpen& params);
    virtual void ResultSetSetFilter(TDLResultSetFilter& params);
    virtual void ResultSetSetSort(TDLResultSetSort& params);
    virtual std::unique_ptr<TDLBaseConnection> CreateConnection() = 0;
    virtual std::unique_ptr<TDLBaseResultSet> CreateResultSet(TDLBaseConnection* connection) = 0;

    // The configuration dialog of the driver: false when it has none; else
    // shows it with the values and answers whether they were accepted (and
    // changed in place).
    virtual bool ConfigureDialog(QString& dataSource, QString& options, QString& userName, QString& password,
                                 bool& accepted);

    // The connection or result set of a handle; null when not registered.
    static TDLBaseConnection* FindConnection(int32_t handle);
    static TDLBaseResultSet* FindResultSet(int32_t handle);

    QString FDataSource;
    QString FUserName;
    QString FPassword;
    TStringList FOptionList;
    QString FOptionText;
    TDLFieldListManager FFields;

private:
    QString FConfigTexts[4]; // what ConnectionConfigure hands back
    QString FQueryTexts[2];  // what ResultSetConfigure hands back
};

// The library's one driver object (replaces and frees the previous one);
// null removes it.
void RegisterDataDriver(std::unique_ptr<TDLBaseDriver> driver);
TDLBaseDriver* RegisteredDataDriver();

// Driver classes for static links.
using TDLDriverClass = std::function<std::unique_ptr<TDLBaseDriver>()>;
void RegisterDataDriverClass(const TDLDriverClass& driverClass);
const std::vector<TDLDriverClass>& RegisteredDataDriverClasses();
void ClearDataDriverClasses();

// The last error text not tied to a handle.
QString DLGlobalErrorText();
void SetDLGlobalErrorText(const QString& text);

// Frees every connection and result set still registered (the end of the
// library, and tests).
void FreeDLHandles();

// The query editor library, relative to the program's folder.
extern QString DLQueryEditorFile; // "DataLinks/SQLEditor.dll"

// The sixteen exports (also called directly by tests).
#define DL_EXPORT __attribute__((visibility("default")))
extern "C" {
DL_EXPORT void DataInformation(void* params);
DL_EXPORT void DataGetErrorText(void* params);
DL_EXPORT void DataConnectionConfigure(void* params);
DL_EXPORT void DataConnectionOpen(void* params);
DL_EXPORT void DataConnectionClose(void* params);
DL_EXPORT void DataGetTables(void* params);
DL_EXPORT void DataGetFields(void* params);
DL_EXPORT void DataResultSetOpen(void* params);
DL_EXPORT void DataResultSetClose(void* params);
DL_EXPORT void DataResultSetFirst(void* params);
DL_EXPORT void DataResultSetNext(void* params);
DL_EXPORT void DataResultSetEOF(void* params);
DL_EXPORT void DataResultSetGetRow(void* params);
DL_EXPORT void DataResultSetSetFilter(void* params);
DL_EXPORT void DataResultSetSetSort(void* params);
DL_EXPORT void DataResultSetConfigure(void* params);
}
