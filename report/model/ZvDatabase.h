#pragma once
// ZvDatabase: the "Database Connection" data object of a report project.
//
// It names a data link by its internal name (LinkType) and holds the
// credentials (AuthRun; AuthDesign in a designer, which this program never
// is), and hands open connections to the driver data views: each thread
// gets one connection, counted while it is in use (GetLink ... ReleaseLink),
// and idle connections wait in a pool of LinkPoolSize when one was set up
// (InitPool). The lists lock on every access.
#include "report/model/ZvDataLink.h"
#include "report/model/ZvItem.h"

#include "platform/objects/Persistent.h"

#include <QString>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Records the registration procedures of the database component and the
// driver data view under "ZVCL", and registers the data connection class
// for form streams: the one call the program's start-up makes for these
// units. Further calls do nothing.
void RecordDataLinkProcs();
// The database component's part of it.
void RecordDatabaseProcs();

class TZarvDBAuth : public TPersistent {
public:
    void Setup(const QString& datasource, const QString& options, const QString& password,
               const QString& username);
    void AssignTo(TPersistent* dest) const override;

    const QString& Datasource() const { return FDatasource; }
    void SetDatasource(const QString& value) { FDatasource = value; }
    const QString& Options() const { return FOptions; }
    void SetOptions(const QString& value) { FOptions = value; }
    const QString& Password() const { return FPassword; }
    void SetPassword(const QString& value) { FPassword = value; }
    const QString& Username() const { return FUsername; }
    void SetUsername(const QString& value) { FUsername = value; }

private:
    QString FDatasource, FOptions, FPassword, FUsername;
};

struct TLinkInfo {
    std::unique_ptr<TDataConnection> Link;
    std::thread::id ThreadID;
    int32_t UseCount = 0;
};

class TZarvDatabase : public TZarvDataObject {
public:
    explicit TZarvDatabase(TComponent* owner);
    ~TZarvDatabase() override;

    // The calling thread's connection (made, or taken from the pool, on its
    // first call); each call counts one use.
    TDataConnection* GetLink();
    // Gives one use back; the last returns the connection to the pool (when
    // there is room) or frees it.
    void ReleaseLink(TDataConnection* link);
    void InitPool();
    TLinkInfo* FindLink(const TDataConnection* link);
    TLinkInfo* FindLinkForThread();
    // Idle connections in the pool (0 without one).
    int PoolCount() const;

    bool NeverIncluded() const override { return true; }

    TZarvDBAuth* AuthDesign() const { return FAuthDesign.get(); }
    void SetAuthDesign(TZarvDBAuth* value);
    TZarvDBAuth* AuthRun() const { return FAuthRun.get(); }
    void SetAuthRun(TZarvDBAuth* value);
    int32_t LinkPoolSize() const { return FLinkPoolSize; }
    void SetLinkPoolSize(int32_t value) { FLinkPoolSize = value; }
    const QString& LinkType() const { return FLinkType; }
    void SetLinkType(const QString& value) { FLinkType = value; }

private:
    std::unique_ptr<TDataConnection> CreateLink();
    const TZarvDBAuth& Auth() const { return *FAuthRun; }

    std::unique_ptr<TZarvDBAuth> FAuthDesign;
    std::unique_ptr<TZarvDBAuth> FAuthRun;
    mutable std::recursive_mutex FLock;
    std::vector<std::unique_ptr<TLinkInfo>> FLinkList;
    std::unique_ptr<std::vector<std::unique_ptr<TDataConnection>>> FLinkPool;
    int32_t FLinkPoolSize = 0;
    QString FLinkType;
};
