// Data-link drivers: the driver framework and its exports, the host side
// over a driver library and over a static link, the database component and
// the driver data view.
#include "report/model/ZvDataLink.h"

#include "DataFixtures.h"
#include "TestDataDriver.h"
#include "report/model/ZvDatabase.h"
#include "report/model/ZvDriverDataView.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>
#include <latch>
#include <thread>

namespace {

QString Message(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& error) {
        return error.Message();
    }
    return QStringLiteral("(nothing raised)");
}

const char16_t* W(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

class DriverExportsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        FreeDLHandles();
        RegisterDataDriver(nullptr);
    }
    // The handle of a new connection; -1000 when refused.
    int32_t OpenConnection(const QString& dataSource = QString())
    {
        TDLConnectionOpen rec{};
        rec.DataSource = W(dataSource);
        DataConnectionOpen(&rec);
        return rec.Resultcode == 0 ? rec.ConnectionHandle : -1000;
    }
    void CloseConnection(int32_t handle)
    {
        TDLConnectionClose rec{};
        rec.ConnectionHandle = handle;
        DataConnectionClose(&rec);
        EXPECT_EQ(rec.ResultCode, 0);
    }
};

TEST_F(DriverExportsTest, WithoutADriverEveryExportFails)
{
    RegisterDataDriver(nullptr);
    TDLInformation info{};
    DataInformation(&info);
    EXPECT_EQ(info.Resultcode, -1);
    EXPECT_EQ(DLGlobalErrorText(), QStringLiteral("No Data Driver class registered."));
    TDLResultSetEOF eof{};
    eof.ResultSetHandle = 1;
    DataResultSetEOF(&eof);
    EXPECT_EQ(eof.ResultCode, -1);
}

TEST_F(DriverExportsTest, HandlesAreTheLowestFreeBits)
{
    RegisterDataDriver(MakeMemoryDriver());
    EXPECT_EQ(OpenConnection(), 1);
    EXPECT_EQ(OpenConnection(), 2);
    EXPECT_EQ(OpenConnection(), 4);
    CloseConnection(2);
    EXPECT_EQ(OpenConnection(), 2);
    for (int i = 3; i < 32; ++i)
        OpenConnection();
    TDLConnectionOpen refused{};
    DataConnectionOpen(&refused);
    EXPECT_EQ(refused.Resultcode, -1);
    EXPECT_EQ(refused.ConnectionHandle, -1);
    EXPECT_EQ(DLGlobalErrorText(), QStringLiteral("No more than 32 may be open at a time."));

    // An unknown handle touches nothing; the error of a refused connection
    // stays with it.
    TDLConnectionClose unknown{};
    unknown.ConnectionHandle = 3;
    DataConnectionClose(&unknown);
    EXPECT_EQ(unknown.ResultCode, -1);
    CloseConnection(1);
    EXPECT_EQ(OpenConnection(QStringLiteral("fail")), -1000);
    TDLErrorText text{}; // the refused connection kept handle 1 for its text
    text.ConnectionHandle = 1;
    text.ResultSetHandle = -1;
    DataGetErrorText(&text);
    EXPECT_EQ(WideText(text.ErrorText), QStringLiteral("The memory table refuses the data source fail."));
}

TEST_F(DriverExportsTest, FieldsAndRows)
{
    RegisterDataDriver(MakeMemoryDriver());
    TDLResultSetOpen open{};
    open.ConnectionHandle = OpenConnection();
    const QString query = QStringLiteral("select * from PARTS where ID=2");
    open.QueryCommand = W(query);
    DataResultSetOpen(&open);
    ASSERT_EQ(open.ResultCode, 0);
    ASSERT_EQ(open.FieldCount, 4);
    const char16_t* fullName = open.FieldList[1].FullName;
    EXPECT_EQ(WideText(fullName), QStringLiteral("Part name"));
    fullName = open.FieldList[3].FullName; // "note" equals "NOTE" but for case
    EXPECT_EQ(fullName, nullptr);
    const uint8_t type = open.FieldList[2].DataType;
    EXPECT_EQ(type, 4);

    TDLResultSetFirst first{0, open.ResultSetHandle};
    DataResultSetFirst(&first);
    const uint8_t transfer[4] = {1, 1, 1, 1};
    TDLResultSetRow row{};
    row.ResultSetHandle = open.ResultSetHandle;
    row.TransferCount = 4;
    row.TransferList = transfer;
    DataResultSetGetRow(&row);
    ASSERT_EQ(row.ResultCode, 0);
    TZarvDataRow data;
    data.Assign(QByteArray(reinterpret_cast<const char*>(row.RowBuffer), row.RowBufSize));
    EXPECT_EQ(data.GetNativeStr(1), QStringLiteral("Nut"));
    EXPECT_EQ(qFromLittleEndian<int32_t>(data.DataPtr + 24), -1); // the null note
    EXPECT_EQ(qFromLittleEndian<int32_t>(data.DataPtr + 8), 36);  // NAME after the slot table and ID

    // Without the query editor library: -1 and a text, no call.
    TDLResultSetConfigure configure{};
    DataResultSetConfigure(&configure);
    EXPECT_EQ(configure.ResultCode, -1);
    EXPECT_TRUE(DLGlobalErrorText().contains(QStringLiteral("SQLEditor.dll")));
    TDLConnectionConfigure dialog{};
    DataConnectionConfigure(&dialog);
    EXPECT_EQ(dialog.ResultCode, -1);
    EXPECT_EQ(DLGlobalErrorText(), QStringLiteral("No configuration available."));
}

TEST(DLBufferTest, GrowsAndRefusesExtraFields)
{
    TDLBuffer buffer;
    buffer.Init(3);
    buffer.WriteLongData(QStringLiteral("007"), 7);
    buffer.WriteStrData(QString(), QString(3000, u'x')); // past the first 4096 bytes
    buffer.WriteBlobData("abc", 3);
    EXPECT_EQ(buffer.UsedSize(), 24 + (20 + 6 + 3) + 4 + (20 + 6000 + 3000) + 4 + 3);
    EXPECT_GE(buffer.RowBufSize(), buffer.UsedSize());
    EXPECT_THROW(buffer.WriteNullData(), EDLBufferError);
    TZarvDataRow row;
    row.Assign(QByteArray(reinterpret_cast<const char*>(buffer.RowBuf()), buffer.UsedSize()));
    EXPECT_EQ(row.GetFormattedStr(0), QStringLiteral("007"));
    EXPECT_EQ(row.GetNativeStr(1).size(), 3000);

    // A null second field: value offset -1 in its slot, nothing written.
    buffer.Init(2);
    buffer.WriteLongData(QStringLiteral("5"), 5);
    buffer.WriteNullData();
    EXPECT_EQ(buffer.UsedSize(), 16 + 4);
    EXPECT_EQ(qFromLittleEndian<int32_t>(buffer.RowBuf() + 8), -1);
    EXPECT_EQ(qFromLittleEndian<int32_t>(buffer.RowBuf() + 4), 0);
}

// ---------------------------------------------------------------------------
// The host side, over the library and over a static link.

class DataLinkTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        RegisterDataForTests();
        RecordDataLinkProcs();
        RunZarvProcs(QStringLiteral("ZVCL"));
        InitStaticDataLinks();
        DataLinks->Clear();
        if (GetParam())
            DataLinks->AddDynamic(QStringLiteral(TESSVAR_TEST_DRIVER));
        else
            DataLinks->AddStatic(&MakeMemoryDriver);
        project->New();
        database =
            static_cast<TZarvDatabase*>(project->NewDataObject(FindClass(QStringLiteral("TZarvDatabase"))));
        database->SetName(QStringLiteral("Db"));
        database->SetLinkType(QStringLiteral("MEM"));
    }
    void TearDown() override
    {
        project.reset();
        DataLinks->Clear();
        FreeDLHandles();
        DataLinkErrorLog = nullptr;
    }
    TZarvDriverDataView* MakeView(const QString& query)
    {
        auto* view = static_cast<TZarvDriverDataView*>(
            project->NewDataObject(FindClass(QStringLiteral("TZarvDriverDataView"))));
        view->SetName(QStringLiteral("Parts"));
        view->SetDatabase(database);
        view->SetQuery(query);
        for (const char* name : {"ID", "NAME"}) {
            TZarvDataField* field = std::strcmp(name, "ID") == 0
                                        ? static_cast<TZarvDataField*>(new TZarvIntegerField(view))
                                        : new TZarvStringField(view);
            field->SetParent(view);
            field->SetFieldName(QLatin1String(name));
        }
        return view;
    }

    std::unique_ptr<TZarvProjectManager> project = std::make_unique<TZarvProjectManager>(nullptr);
    TZarvDatabase* database = nullptr;
};

TEST_P(DataLinkTest, LinkDescribesItself)
{
    ASSERT_EQ(DataLinks->Count(), 1);
    TZarvDataLink* link = DataLinks->FindDataLink(QStringLiteral("MEM"));
    EXPECT_EQ(link->GetIsDynamicLink(), GetParam());
    EXPECT_EQ(link->DisplayName(), QStringLiteral("Memory Table"));
    EXPECT_EQ(link->VerMinor(), 2);
    // The same driver again is dropped.
    if (GetParam())
        DataLinks->AddDynamic(QStringLiteral(TESSVAR_TEST_DRIVER));
    else
        DataLinks->AddStatic(&MakeMemoryDriver);
    EXPECT_EQ(DataLinks->Count(), 1);
    EXPECT_EQ(Message([] { DataLinks->FindDataLink(QStringLiteral("mem")); }),
              QStringLiteral("Unknown DATA link type. (mem)"));
    EXPECT_THROW(DataLinks->AddDynamic(QStringLiteral("/no/such/driver.so")), EAbort);
    EXPECT_EQ(DataLinks->Count(), 1);

    auto connection = DataLinks->CreateConnection(QStringLiteral("MEM"));
    connection->Open();
    TStringList tables;
    connection->GetTableNames(tables);
    EXPECT_EQ(tables.CommaText(), QStringLiteral("PARTS"));
    TStringList fields;
    connection->GetFieldDefs(QStringLiteral("PARTS"), fields);
    EXPECT_EQ(fields.CommaText(), QStringLiteral("ID,NAME,PRICE,NOTE"));

    // A driver failure with no error log raises; with one it is logged.
    auto refused = DataLinks->CreateConnection(QStringLiteral("MEM"));
    refused->FDataSource = QStringLiteral("fail");
    EXPECT_EQ(Message([&] { refused->Open(); }),
              QStringLiteral("DataConnectionOpen: The memory table refuses the data source fail."));
    QStringList logged;
    DataLinkErrorLog = [&](const QString& api, const QString& text) { logged << api + u'|' + text; };
    refused->Open();
    EXPECT_EQ(logged, QStringList{QStringLiteral(
                          "DataConnectionOpen|The memory table refuses the data source fail.")});
}

TEST_P(DataLinkTest, DriverDataViewReadsTheQueryWithItsParameters)
{
    TZarvDriverDataView* view = MakeView(QStringLiteral("select * from PARTS where ID=:A or ID=:ab"));
    view->QueryParams()->Add(QStringLiteral(" A =\"3\""));
    view->First();
    auto* id = static_cast<TZarvDataField*>(view->FieldByName(QStringLiteral("ID")));
    auto* name = static_cast<TZarvDataField*>(view->FieldByName(QStringLiteral("NAME")));
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(view->ResultSet()->CommandText(), QStringLiteral("select * from PARTS where ID=3 or ID=3"));
    EXPECT_EQ(id->AsInteger(), 3);
    EXPECT_EQ(name->AsString(), QStringLiteral("Washer"));
    view->Next();
    EXPECT_TRUE(view->Eof());

    view->SetQuery(QStringLiteral("select * from PARTS"));
    view->QueryParams()->Clear();
    TStringList none;
    view->SetFilter(none);
    view->First();
    QStringList names;
    for (; !view->Eof(); view->Next())
        names << name->AsString();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Bolt"), QStringLiteral("Nut"), QStringLiteral("Washer")}));
    EXPECT_EQ(Message([&] { view->SetRemoteSort(none); }), QStringLiteral("SetRemoteSort not supported."));

    std::vector<std::unique_ptr<TZarvDataFieldInfo>> infos;
    view->Close();
    view->CreateFields(infos);
    ASSERT_EQ(infos.size(), 4u);
    EXPECT_EQ(infos[0]->FullName, QStringLiteral("Part number"));
    EXPECT_EQ(infos[3]->FullName, QStringLiteral("NOTE"));
    EXPECT_EQ(infos[2]->DataType, TQPDataType::dtCurrency);
    EXPECT_FALSE(view->Active());

    // A failed open gives its link back.
    database->AuthRun()->SetDatasource(QStringLiteral("fail"));
    EXPECT_THROW(view->Open(), EZarvException);
    EXPECT_EQ(database->FindLinkForThread(), nullptr);
    EXPECT_FALSE(view->Active());
    view->SetDatabase(nullptr);
    EXPECT_EQ(Message([&] { view->Open(); }), QStringLiteral("Database is nil."));
}

TEST_P(DataLinkTest, LinksPerThreadAndPool)
{
    TDataConnection* first = database->GetLink();
    EXPECT_EQ(database->GetLink(), first);
    EXPECT_EQ(database->FindLink(first)->UseCount, 2);
    TDataConnection* other = nullptr;
    std::thread([&] { other = database->GetLink(); }).join();
    EXPECT_NE(other, first);
    database->ReleaseLink(first);
    database->ReleaseLink(first);
    EXPECT_EQ(database->FindLink(first), nullptr);

    database->SetLinkPoolSize(2);
    database->InitPool();
    EXPECT_EQ(database->PoolCount(), 2);
    // Three threads at once (a finished thread's id may come again).
    std::vector<TDataConnection*> taken(3);
    std::latch together(3);
    std::vector<std::thread> threads;
    for (auto& link : taken)
        threads.emplace_back([&] {
            link = database->GetLink();
            together.arrive_and_wait();
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(database->PoolCount(), 0);
    for (TDataConnection* link : taken)
        database->ReleaseLink(link);
    EXPECT_EQ(database->PoolCount(), 2);
    database->ReleaseLink(other);
}

INSTANTIATE_TEST_SUITE_P(LibraryAndStatic, DataLinkTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Library" : "Static"; });

TEST(DatabaseTest, WithoutLinksOrInstallation)
{
    RecordDataLinkProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    InitStaticDataLinks();
    DataLinks->Clear();
    TZarvDatabase database(nullptr);
    database.SetLinkType(QStringLiteral("IBX"));
    EXPECT_EQ(
        Message([&] { database.GetLink(); }),
        QStringLiteral("No DataLink drivers have been loaded.  Use the DataLinkInterbase.ZVD driver file for "
                       "the Zarv server/IDE or include the unit ZvDLInterbase for applications."));
    EXPECT_EQ(database.FindLinkForThread(), nullptr);
    EXPECT_TRUE(database.NeverIncluded());

    // A driver that says it is not installed.
    struct TAbsent : TDLBaseDriver {
        std::unique_ptr<TDLBaseDriver> Real = MakeMemoryDriver();
        void Information(TDLInformation& params) override
        {
            Real->Information(params);
            params.Installed = 0;
        }
        void ResultSetGetRow(TDLResultSetRow& params) override { Real->ResultSetGetRow(params); }
        std::unique_ptr<TDLBaseConnection> CreateConnection() override { return Real->CreateConnection(); }
        std::unique_ptr<TDLBaseResultSet> CreateResultSet(TDLBaseConnection* c) override
        {
            return Real->CreateResultSet(c);
        }
    };
    DataLinks->AddStatic([] { return std::make_unique<TAbsent>(); });
    database.SetLinkType(QStringLiteral("MEM"));
    EXPECT_EQ(Message([&] { database.GetLink(); }), QStringLiteral("Memory Table is not installed."));
    database.SetLinkType(QStringLiteral("X"));
    EXPECT_EQ(Message([&] { database.GetLink(); }), QStringLiteral("Unknown DATA link type. (X)"));
    DataLinks->Clear();
}

TEST(DriverDataViewTest, OlderProjectsKeepTheirQueryUnderTheFormerNames)
{
    RegisterDataForTests();
    RecordDataLinkProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    TZarvProjectManager project(nullptr);
    project.New();
    std::unique_ptr<TObject> former(FindClass(QStringLiteral("TZarvSQLDataView"))->Create(nullptr));
    EXPECT_NE(dynamic_cast<TZarvDriverDataView*>(former.get()), nullptr);

    auto* view = static_cast<TZarvDriverDataView*>(
        project.NewDataObject(FindClass(QStringLiteral("TZarvDriverDataView"))));
    view->QueryParams()->Add(QStringLiteral("select *"));
    view->QueryParams()->Add(QStringLiteral("from PARTS"));
    const QByteArray saved = PropertyBytes(view);
    // The same lines stored as "SQL", then as "Params".
    for (const char* name : {"SQL", "Params"}) {
        QByteArray bytes = saved;
        bytes.replace(Enc(QStringLiteral("QueryParams")), Enc(QLatin1String(name)));
        auto* again = static_cast<TZarvDriverDataView*>(
            project.NewDataObject(FindClass(QStringLiteral("TZarvDriverDataView"))));
        ReadPropertyBytes(again, bytes);
        const bool sql = std::strcmp(name, "SQL") == 0;
        EXPECT_EQ(again->Query(), sql ? QStringLiteral("select *\r\nfrom PARTS") : QString());
        EXPECT_EQ(again->QueryParams()->Count(), sql ? 0 : 2);
    }
}

TEST(QueryParamsTest, ReplacedTextRunsOverTheFollowingIdentifierCharacters)
{
    TStringList params;
    params.Add(QStringLiteral("A=x"));
    params.Add(QStringLiteral("B=:A"));
    const auto value = [](const QString& expr) {
        return expr == QLatin1String("x") ? QStringLiteral("7") : expr;
    };
    EXPECT_EQ(SubstituteQueryParams(QStringLiteral("a=:A, b=:AB, c=:a; d=:B"), params, value),
              QStringLiteral("a=7, b=7, c=7; d=:A"));
}

} // namespace
