#include "report/model/ZvDatabase.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "report/model/QpCon.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvDriverDataView.h"

namespace {

void RegisterDatabaseClasses()
{
    if (FindClass(QStringLiteral("TZarvDatabase")))
        return;
    if (!FindClass(QStringLiteral("TZarvDBAuth"))) {
        TClassInfo& auth =
            RegisterClass<TZarvDBAuth>(QStringLiteral("TZarvDBAuth"), QStringLiteral("TPersistent"));
        PublishProperty(auth, QStringLiteral("Datasource"), TypeInfoString(), &TZarvDBAuth::Datasource,
                        &TZarvDBAuth::SetDatasource);
        PublishProperty(auth, QStringLiteral("Options"), TypeInfoString(), &TZarvDBAuth::Options,
                        &TZarvDBAuth::SetOptions);
        PublishProperty(auth, QStringLiteral("Password"), TypeInfoString(), &TZarvDBAuth::Password,
                        &TZarvDBAuth::SetPassword);
        PublishProperty(auth, QStringLiteral("Username"), TypeInfoString(), &TZarvDBAuth::Username,
                        &TZarvDBAuth::SetUsername);
    }
    TClassInfo& db =
        RegisterClass<TZarvDatabase>(QStringLiteral("TZarvDatabase"), QStringLiteral("TZarvDataObject"));
    PublishProperty(db, QStringLiteral("AuthDesign"), TypeInfoClass(QStringLiteral("TZarvDBAuth")),
                    &TZarvDatabase::AuthDesign, &TZarvDatabase::SetAuthDesign);
    PublishProperty(db, QStringLiteral("AuthRun"), TypeInfoClass(QStringLiteral("TZarvDBAuth")),
                    &TZarvDatabase::AuthRun, &TZarvDatabase::SetAuthRun);
    PublishProperty(db, QStringLiteral("LinkPoolSize"), TypeInfoInteger(), &TZarvDatabase::LinkPoolSize,
                    &TZarvDatabase::SetLinkPoolSize);
    PublishProperty(db, QStringLiteral("LinkType"), TypeInfoString(), &TZarvDatabase::LinkType,
                    &TZarvDatabase::SetLinkType);
    RegisterDataObjectClass(&db, Translate(QStringLiteral("Database Connection")));
    RegisterZarvModuleClasses(QStringLiteral("ZvData"), {&db});
}

} // namespace

void RecordDatabaseProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDatabaseClasses);
}

void RecordDataLinkProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    InitDataConnectManager();
    RegisterDataConnectionClasses();
    RecordDirectDataViewProcs();
    RecordDatabaseProcs();
    RecordDriverDataViewProcs();
}

// ---------------------------------------------------------------------------
// TZarvDBAuth.

void TZarvDBAuth::Setup(const QString& datasource, const QString& options, const QString& password,
                        const QString& username)
{
    FDatasource = datasource;
    FOptions = options;
    FPassword = password;
    FUsername = username;
}

void TZarvDBAuth::AssignTo(TPersistent* dest) const
{
    if (auto* auth = dynamic_cast<TZarvDBAuth*>(dest)) {
        auth->Setup(FDatasource, FOptions, FPassword, FUsername);
        return;
    }
    TPersistent::AssignTo(dest);
}

// ---------------------------------------------------------------------------
// TZarvDatabase.

TZarvDatabase::TZarvDatabase(TComponent* owner)
    : TZarvDataObject(owner), FAuthDesign(std::make_unique<TZarvDBAuth>()),
      FAuthRun(std::make_unique<TZarvDBAuth>())
{
}

TZarvDatabase::~TZarvDatabase()
{
    std::lock_guard guard(FLock);
    while (!FLinkList.empty())
        FLinkList.pop_back();
    FLinkPool.reset();
}

void TZarvDatabase::SetAuthDesign(TZarvDBAuth* value)
{
    if (value)
        value->AssignTo(FAuthDesign.get());
}

void TZarvDatabase::SetAuthRun(TZarvDBAuth* value)
{
    if (value)
        value->AssignTo(FAuthRun.get());
}

std::unique_ptr<TDataConnection> TZarvDatabase::CreateLink()
{
    if (!DataLinks || DataLinks->Count() == 0) {
        const QString type = FLinkType == QLatin1String("IBX") ? QStringLiteral("Interbase") : FLinkType;
        throw Exception(QStringLiteral("No DataLink drivers have been loaded.  Use the DataLink") + type +
                        QStringLiteral(".ZVD driver file for the Zarv server/IDE or include the unit ZvDL") +
                        type + QStringLiteral(" for applications."));
    }
    std::unique_ptr<TDataConnection> link = DataLinks->CreateConnection(FLinkType);
    link->FDataSource = Auth().Datasource();
    link->FOptions = Auth().Options();
    link->FUserName = Auth().Username();
    link->FPassword = Auth().Password();
    link->Open();
    return link;
}

TLinkInfo* TZarvDatabase::FindLink(const TDataConnection* link)
{
    std::lock_guard guard(FLock);
    for (const auto& info : FLinkList) {
        if (info->Link.get() == link)
            return info.get();
    }
    return nullptr;
}

TLinkInfo* TZarvDatabase::FindLinkForThread()
{
    std::lock_guard guard(FLock);
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& info : FLinkList) {
        if (info->ThreadID == self)
            return info.get();
    }
    return nullptr;
}

TDataConnection* TZarvDatabase::GetLink()
{
    std::lock_guard guard(FLock);
    TLinkInfo* info = FindLinkForThread();
    if (!info) {
        auto made = std::make_unique<TLinkInfo>();
        made->ThreadID = std::this_thread::get_id();
        if (FLinkPool && !FLinkPool->empty()) {
            made->Link = std::move(FLinkPool->front());
            FLinkPool->erase(FLinkPool->begin());
        } else {
            made->Link = CreateLink();
        }
        info = made.get();
        FLinkList.push_back(std::move(made));
    }
    ++info->UseCount;
    return info->Link.get();
}

void TZarvDatabase::ReleaseLink(TDataConnection* link)
{
    std::lock_guard guard(FLock);
    for (auto it = FLinkList.begin(); it != FLinkList.end(); ++it) {
        if ((*it)->Link.get() != link)
            continue;
        if (--(*it)->UseCount > 0)
            return;
        std::unique_ptr<TLinkInfo> info = std::move(*it);
        FLinkList.erase(it);
        if (FLinkPool && int32_t(FLinkPool->size()) < FLinkPoolSize)
            FLinkPool->push_back(std::move(info->Link));
        return;
    }
}

void TZarvDatabase::InitPool()
{
    std::lock_guard guard(FLock);
    FLinkPool = std::make_unique<std::vector<std::unique_ptr<TDataConnection>>>();
    for (int32_t i = 0; i < FLinkPoolSize; ++i)
        FLinkPool->push_back(CreateLink());
}

int TZarvDatabase::PoolCount() const
{
    std::lock_guard guard(FLock);
    return FLinkPool ? int(FLinkPool->size()) : 0;
}
