// The data channel end to end: a data system and data connections in this
// process, and in a peer process started with QProcess.
#include "report/model/QpCon.h"

#include "ChannelFixtures.h"
#include "ChannelTests.h"
#include "DataFixtures.h"
#include "RunFixtures.h"
#include "report/model/ZvDirectDataView.h"
#include "tests/support/EarlierLayoutBlock.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/MadeUpIds.h"
#include "tests/support/ObjectFolders.h"
#include "tests/support/Privileges.h"

#include "platform/forms/Controls.h"
#include "platform/forms/MessageService.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/os/SharedObjects.h"
#include "platform/os/SharedObjectsLayout.h"
#include "platform/rtl/Streams.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <cstring>
#include <random>
#include <thread>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

// The bytes of "ZARVBUFFER" from offset 8 on.
QByteArray Payload(const TZarvDataSystem& system, int size)
{
    return QByteArray(reinterpret_cast<const char*>(system.NormFileBuf()) + 8, size);
}

// Holds the memory block of that name open and mapped at size bytes in a
// child process, until destroyed: a block another process keeps small.
class THeldBlock {
public:
    THeldBlock(const QString& name, int size)
    {
        int ready[2], done[2];
        if (pipe(ready) != 0 || pipe(done) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            close(ready[0]);
            close(done[1]);
            const TSharedHandle map = OpenSharedMemory(name, size);
            void* view = MapSharedMemory(map);
            const char held = view && NamedMemorySize(map) == size ? 'y' : 'n';
            (void)!write(ready[1], &held, 1);
            char c;
            while (read(done[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(done[0]);
        FDone = done[1];
        char held = 0;
        FHeld = read(ready[0], &held, 1) == 1 && held == 'y';
        close(ready[0]);
    }
    ~THeldBlock()
    {
        close(FDone);
        if (FPid > 0)
            waitpid(FPid, nullptr, 0);
    }
    bool Held() const { return FHeld; }

private:
    pid_t FPid = -1;
    int FDone = -1;
    bool FHeld = false;
};

// A child process stopped (SIGSTOP) while it makes the event of that name,
// holding the event's bookkeeping lock as a creator stopped at that point
// does, until Resume; it ends once it has made the event. Killed if never
// resumed.
class TStoppedCreator {
public:
    explicit TStoppedCreator(const QString& name)
    {
        FPid = fork();
        if (FPid == 0) {
            // The events of this process are opened once first, so that the
            // event is the next object this process makes.
            CloseSharedEvent(OpenSharedEvent(QStringLiteral("ZARVCOMPLETED")));
            SetSharedObjectsProbe([](TSharedStep step) {
                if (step == TSharedStep::Made)
                    raise(SIGSTOP);
            });
            _exit(OpenSharedEvent(name) ? 0 : 1);
        }
        int status = 0;
        FStopped = FPid > 0 && waitpid(FPid, &status, WUNTRACED) == FPid && WIFSTOPPED(status);
    }
    ~TStoppedCreator()
    {
        if (FPid <= 0 || FEnded)
            return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    bool Stopped() const { return FStopped; }
    // Continues it; true when it then made the event and ended.
    bool Resume()
    {
        kill(FPid, SIGCONT);
        int status = 0;
        FEnded = waitpid(FPid, &status, 0) == FPid;
        return FEnded && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t FPid = -1;
    bool FStopped = false;
    bool FEnded = false;
};

// The processor time the threads of a process have used so far, in clock
// ticks.
long long ProcessTicks(pid_t pid)
{
    long long ticks = 0;
    const QByteArray folder = "/proc/" + QByteArray::number(pid) + "/task";
    DIR* tasks = opendir(folder.constData());
    if (!tasks)
        return -1;
    while (const dirent* task = readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        QFile stat(QString::fromLatin1(folder + '/' + task->d_name + "/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After the name in parentheses: state (field 3) ... utime (14), stime (15).
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ticks += fields[11].toLongLong() + fields[12].toLongLong();
    }
    closedir(tasks);
    return ticks;
}

// The share of one CPU that the threads of a process use over the next ms
// milliseconds; -1 when they cannot be read.
double CpuShareOver(pid_t pid, int ms)
{
    QElapsedTimer timer;
    timer.start();
    const long long before = ProcessTicks(pid);
    usleep(useconds_t(ms) * 1000);
    const long long after = ProcessTicks(pid);
    if (before < 0 || after < 0)
        return -1;
    return double(after - before) / double(sysconf(_SC_CLK_TCK)) / (double(timer.elapsed()) / 1000.0);
}

class QpConTest : public TChannelTest {
protected:
    // A peer started while another process is stopped making one of its
    // events: its start-up waited for the event once (the bound of 5 s, not
    // twice), and its threads sleep over the next ms milliseconds. The share
    // of a CPU they used.
    static double ExpectStartedAndAsleep(TPeer& peer, int ms)
    {
        EXPECT_GE(peer.StartupMs(), 0);
        EXPECT_LT(peer.StartupMs(), 7000);
        const double share = CpuShareOver(peer.Pid(), ms);
        EXPECT_GE(share, 0);
        EXPECT_LT(share, 0.10);
        return share;
    }
};

TEST_F(QpConTest, TextItemsAndBounds)
{
    system->ClearBuffer();
    system->WriteStr(QString());
    EXPECT_EQ(Payload(*system, 20), Le(2) + Le(0) + Le(1) + Le(0) + Le(0));

    // Only an ANSI item: read from the system code page.
    const QByteArray ansi = Le(1) + Le(5) +
                            QByteArray("Gr\xFC\xDF"
                                       "e") +
                            Le(0);
    std::memcpy(system->NormFileBuf() + 8, ansi.constData(), size_t(ansi.size()));
    system->ClearBuffer();
    EXPECT_EQ(system->ReadStr(), QStringLiteral("Grüße"));

    // A count running past the buffer, or a request too large for it, fails
    // before anything is read or written.
    const QByteArray outside = Le(2) + Le(70000);
    std::memcpy(system->NormFileBuf() + 8, outside.constData(), size_t(outside.size()));
    system->ClearBuffer();
    EXPECT_THROW(system->ReadStr(), ESheetcaster);
    system->ClearBuffer();
    system->NormFileBuf()[8] = 0x11;
    const QByteArray big(65529, 'x');
    EXPECT_THROW(system->WriteBuf(big.constData(), int32_t(big.size())), ESheetcaster);
    EXPECT_EQ(system->NormFileBuf()[8], 0x11);
}

TEST_F(QpConTest, ConnectionWithoutHandlersOffersOneRow)
{
    TZvCustomConnection connection(nullptr);
    connection.SetName(QStringLiteral("PLAIN"));
    TZarvDataConnection dataCon;
    ASSERT_TRUE(system->OpenDataEvent(QStringLiteral("plain"), dataCon));
    EXPECT_EQ(dataCon.FConnection, &connection);
    ASSERT_TRUE(system->CallEvent(4, dataCon));
    const QByteArray columns = Le(1) + EncodeZarvStr(QStringLiteral("N")) +
                               EncodeZarvStr(QStringLiteral("FieldName")) +
                               EncodeZarvStr(QStringLiteral("W")) + EncodeZarvStr(QStringLiteral("30")) +
                               EncodeZarvStr(QStringLiteral("L")) +
                               EncodeZarvStr(QStringLiteral("FieldName")) + EncodeZarvStr(QString());
    EXPECT_EQ(Payload(*system, int(columns.size())), columns);
    ASSERT_TRUE(system->CallEvent(9, dataCon));
    ASSERT_TRUE(system->CallEvent(1, dataCon));
    EXPECT_FALSE(system->ReadBool());
    TZarvDataRow row;
    ReadAnswerRow(*system, row);
    EXPECT_EQ(row.GetNativePtr(0), nullptr); // the default row holds only a text
    ASSERT_TRUE(system->CallEvent(2, dataCon));
    EXPECT_TRUE(system->ReadBool());
    EXPECT_FALSE(system->CallEvent(11, dataCon)); // refused in process
    system->CloseDataEvent(dataCon);
}

TEST_F(QpConTest, AliasesFiltersAndRowWriting)
{
    auto connection = Local(QStringLiteral("ROWS"), QStringLiteral("rows"));
    connection->FieldAliasList()->Add(QStringLiteral(" name = "));
    connection->FieldAliasList()->Add(QStringLiteral("NOTE=Remark"));
    TZarvDataConnection dataCon;
    ASSERT_TRUE(Open(QStringLiteral("ROWS"), dataCon));
    ASSERT_TRUE(system->CallEvent(4, dataCon));
    EXPECT_EQ(system->ReadInt(), 2);
    EXPECT_EQ(connection->FieldDefList()[2]->FFieldIndex, 1);
    // Rows have two slots; the dropped column is skipped.
    QStringList rows;
    for (int how = 1; system->CallEvent(how, dataCon) && !system->ReadBool(); how = 2) {
        TZarvDataRow row;
        ReadAnswerRow(*system, row);
        EXPECT_EQ(row.DataSize > 16, true);
        rows << row.GetNativeStr(1);
    }
    EXPECT_EQ(rows, (QStringList{QStringLiteral("a"), QString(), QStringLiteral("c")}));

    // A local filter on ID = 3 skips rows 1 and 2; one on NOTE = "c" is failed
    // by the null note of row 2 too.
    connection->FieldAliasList()->Clear();
    ASSERT_TRUE(system->CallEvent(4, dataCon));
    for (const auto& [column, type, value] : {std::tuple{QStringLiteral("ID"), 1, QStringLiteral("3")},
                                              {QStringLiteral("NOTE"), 0, QStringLiteral("c")}}) {
        system->PrepareEvent(6);
        system->WriteStr(column);
        system->WriteStr(QStringLiteral("="));
        system->WriteStr(value);
        system->WriteInt(type);
        if (type == 1)
            system->WriteInt(value.toInt());
        system->WriteStr(QString());
        ASSERT_TRUE(system->CallEvent(0, dataCon));
        EXPECT_EQ(ReadRows(dataCon), QStringList{QStringLiteral("3 three c")}) << column.toStdString();
    }

    // Writing past the declared columns, or another type, raises in process.
    connection->OnGetRow = [](TZvCustomConnection* c) {
        for (int i = 0; i < 4; ++i)
            c->WriteNullData();
    };
    EXPECT_THROW(
        {
            try {
                system->CallEvent(1, dataCon);
            } catch (const ESheetcaster& error) {
                EXPECT_EQ(error.Message(), QStringLiteral("Attempt to write more fields than defined."));
                throw;
            }
        },
        ESheetcaster);
    connection->OnGetRow = [](TZvCustomConnection* c) { c->WriteStrData(QString(), QStringLiteral("x")); };
    try {
        system->CallEvent(5, dataCon);
        ADD_FAILURE() << "no type error";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Attempt to write different data type than defined (Column 1/3)."));
    }
}

TEST_F(QpConTest, LargeRowsInProcess)
{
    auto connection = Local(QStringLiteral("LBIG"), QStringLiteral("big"));
    CheckLargeRow(QStringLiteral("LBIG"));
}

TEST_F(QpConTest, DirectDataViewOpensFetchesAndSendsFilters)
{
    auto connection = Local(QStringLiteral("ROWS"), QStringLiteral("rows"));
    QByteArray filterRequest;
    connection->SetLocalFilter(false);
    connection->OnSetFilter = [&](TZvCustomConnection*) { filterRequest = Payload(*system, 200); };
    TZarvProjectManager project(nullptr);
    project.New();
    TTestView* source = MakeView(project, QStringLiteral("Src"), {}, {});
    auto* idField = new TZarvIntegerField(source);
    idField->SetParent(source);
    idField->SetFieldName(QStringLiteral("V"));
    source->Rows = {TRowBuilder(1).Int(0, 5).Bytes()};
    source->First();

    auto* view =
        static_cast<TZarvDataView*>(project.NewDataObject(FindClass(QStringLiteral("TZarvDataView"))));
    view->SetName(QStringLiteral("Direct"));
    view->SetConnectionName(QStringLiteral("ROWS"));
    auto* name = new TZarvStringField(view);
    name->SetParent(view);
    name->SetFieldName(QStringLiteral("NAME"));
    view->First();
    EXPECT_EQ(name->AsString(), QStringLiteral("one"));
    EXPECT_EQ(name->DataIndex(), 1);
    view->Next();
    view->Next();
    EXPECT_EQ(name->AsString(), QStringLiteral("three"));
    view->Next();
    EXPECT_TRUE(view->Eof());

    TStringList filter;
    filter.Add(QStringLiteral("ID"));
    filter.Add(QStringLiteral("="));
    filter.AddObject(QStringLiteral("5"), idField);
    view->SetFilter(filter);
    const QByteArray expected = EncodeZarvStr(QStringLiteral("ID")) + EncodeZarvStr(QStringLiteral("=")) +
                                EncodeZarvStr(QStringLiteral("5")) + Le(1) + Le(5) + EncodeZarvStr(QString());
    EXPECT_EQ(filterRequest.left(4), Le(6));
    EXPECT_EQ(filterRequest.mid(4, expected.size()), expected);

    std::vector<std::unique_ptr<TZarvDataFieldInfo>> infos;
    view->AfterReport();
    view->CreateFields(infos);
    ASSERT_EQ(infos.size(), 3u);
    EXPECT_EQ(infos[0]->DataType, TQPDataType::dtInteger);
    EXPECT_EQ(infos[1]->Width, 10);
    EXPECT_EQ(infos[1]->FullName, QStringLiteral("Name"));
    EXPECT_EQ(infos[2]->Description, QStringLiteral("A note"));
    EXPECT_EQ(system->ControlCount(), 0);

    // A field whose type differs from its column's is refused.
    auto* wrong = new TZarvStringField(view);
    wrong->SetParent(view);
    wrong->SetFieldName(QStringLiteral("ID"));
    view->AfterReport();
    try {
        view->Open();
        ADD_FAILURE() << "no type mismatch";
    } catch (const EZarvException& error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Field Direct:ID.  Datatype expected: dtString  Datatype found: dtInteger"));
    }
}

TEST_F(QpConTest, PeerDiscoveryUniquenessAndRows)
{
    TZvCustomConnection::DesignState = true;
    auto designTime = Local(QStringLiteral("MIX"), QStringLiteral("rows"));
    TZvCustomConnection::DesignState = false;
    designTime->SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
    auto local = Local(QStringLiteral("HERE"), QStringLiteral("rows"));
    local->SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
    TPeer peer({QStringLiteral("DUP:rows:2:rt"), QStringLiteral("DUP:rows:2:rt"),
                QStringLiteral("MIX:rows:2:rt"), QStringLiteral("DEV:rows:1:rt"),
                QStringLiteral("PEER:rows:2:rt"), QStringLiteral("BIG:big:2:rt"),
                QStringLiteral("BAD:raise:2:rt")});
    ASSERT_TRUE(peer.Ready());

    system->UpdateConnections();
    QStringList runtime, design;
    for (int i = 0; i < system->RTConnectList()->Count(); ++i)
        runtime << system->RTConnectList()->Strings(i);
    for (int i = 0; i < system->DTConnectList()->Count(); ++i)
        design << system->DTConnectList()->Strings(i);
    EXPECT_EQ(runtime, (QStringList{QStringLiteral("BAD"), QStringLiteral("BIG"), QStringLiteral("DUP"),
                                    QStringLiteral("DUP"), QStringLiteral("HERE"), QStringLiteral("MIX"),
                                    QStringLiteral("PEER")}));
    EXPECT_EQ(design, QStringList{QStringLiteral("MIX")});
    EXPECT_FALSE(system->IsUnique(QStringLiteral("dup")));
    EXPECT_TRUE(system->IsUnique(QStringLiteral("MIX")));
    EXPECT_TRUE(system->IsUnique(QStringLiteral("PEER")));
    EXPECT_EQ(system->ControlCount(), 0);

    // Rows from the peer, and a filter it applies.
    TZarvDataConnection dataCon;
    ASSERT_TRUE(Open(QStringLiteral("PEER"), dataCon));
    EXPECT_EQ(dataCon.FConnection, nullptr);
    EXPECT_TRUE(dataCon.FRuntime);
    EXPECT_EQ(dataCon.FVersion, kZarvVersion);
    ASSERT_TRUE(system->CallEvent(4, dataCon));
    EXPECT_EQ(system->ReadInt(), 3);
    EXPECT_EQ(ReadRows(dataCon), (QStringList{QStringLiteral("1 one a"), QStringLiteral("2 two -"),
                                              QStringLiteral("3 three c")}));
    system->CloseDataEvent(dataCon);

    // An ALT2 left too small (held open by another process) is grown by
    // the peer before it writes.
    {
        THeldBlock held(QStringLiteral("ZARVBUFFERALT2"), 1000);
        ASSERT_TRUE(held.Held());
        CheckLargeRow(QStringLiteral("BIG"));
    }

    // A handler that raises fails the command at once.
    TZarvDataConnection bad;
    ASSERT_TRUE(Open(QStringLiteral("BAD"), bad));
    ASSERT_TRUE(system->CallEvent(4, bad));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(system->CallEvent(1, bad));
    EXPECT_LT(timer.elapsed(), 1000);
    system->CloseDataEvent(bad);
    EXPECT_EQ(peer.ExitCode(), 0);
}

TEST_F(QpConTest, AnswersPointingOutsideTheirBufferFail)
{
    // Stands in for a connection of another process: answers each request
    // with the bytes of answer.
    TZarvDataConnection fake;
    fake.FName = QStringLiteral("FAKE");
    fake.FDataEvent = OpenSharedEvent(QStringLiteral("ZARVRTDATA_FAKE"));
    QByteArray answer;
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        const TSharedHandle completed = OpenSharedEvent(QStringLiteral("ZARVCOMPLETED"));
        TZarvChannelControl control;
        std::vector<uint8_t> request(kZarvBufferSize);
        while (!stop) {
            if (WaitNamedObject(fake.FDataEvent, 20) != TWaitResult::wrSignaled)
                continue;
            const TRequestInfo info = control.Current();
            if (!control.Take(info.Number, request.data()))
                continue;
            control.Answer(info.Number, 1, [&](uint8_t* buffer, int64_t& bytes, int64_t&) {
                bytes = answer.size();
                std::memcpy(buffer, answer.constData(), size_t(answer.size()));
            });
            SetNamedEvent(completed);
        }
        CloseSharedEvent(completed);
    });
    answer = Le(12) + Le(3) + Le(0);
    try {
        system->CallEvent(3, fake);
        ADD_FAILURE() << "overflow buffer 3 accepted";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("The data connection answered in overflow buffer 3; only 1 and 2 exist"));
    }
    answer = Le(17) + Le(0) + QByteArray(1, 0) + Le(70000);
    ASSERT_TRUE(system->CallEvent(1, fake));
    EXPECT_FALSE(system->ReadBool());
    TZarvDataRow row;
    EXPECT_THROW(ReadAnswerRow(*system, row), ESheetcaster);
    EXPECT_TRUE(row.Empty());
    stop = true;
    peer.join();
    system->CloseDataEvent(fake);
}

TEST_F(QpConTest, SilentConnectionTimesOut)
{
    std::vector<std::tuple<int, int, bool>> small, large; // counter, timeout, first
    system->OnSmallTimeout = [&](TZarvDataSystem*, int counter, int timeout, int, const QString&, bool first,
                                 TZarvDataResult&) { small.emplace_back(counter, timeout, first); };
    system->OnLargeTimeout = [&](TZarvDataSystem*, int counter, int timeout, int, const QString& name,
                                 bool first, TZarvDataResult&) {
        EXPECT_EQ(name, QStringLiteral("NOBODY"));
        large.emplace_back(counter, timeout, first);
    };
    TZarvDataConnection silent;
    silent.FName = QStringLiteral("NOBODY");
    silent.FDataEvent = OpenSharedEvent(QStringLiteral("ZARVRTDATA_NOBODY"));
    system->PrepareEvent(3);
    EXPECT_FALSE(system->CallEvent(3, silent));
    ASSERT_EQ(small.size(), 601u);
    EXPECT_EQ(small.front(), std::make_tuple(1, 600, true));
    EXPECT_EQ(std::get<2>(small[1]), false);
    EXPECT_EQ(small.back(), std::make_tuple(-1, 0, false));
    ASSERT_EQ(large.size(), 552u);
    EXPECT_EQ(large.front(), std::make_tuple(50, 600, true));
    EXPECT_EQ(large.back(), std::make_tuple(-1, 0, false));

    // drAbort from a handler ends the waits at once.
    small.clear();
    system->OnLargeTimeout = nullptr;
    system->OnSmallTimeout = [&](TZarvDataSystem*, int counter, int, int, const QString&, bool,
                                 TZarvDataResult& result) {
        small.emplace_back(counter, 0, false);
        result = TZarvDataResult::drAbort;
    };
    EXPECT_FALSE(system->CallEvent(3, silent));
    EXPECT_EQ(small.size(), 2u);
    system->CloseDataEvent(silent);
}

TEST_F(QpConTest, DuplicateOrMissingConnectionAbortsTheReport)
{
    RegisterRunForTests();
    TZarvProjectManager project(nullptr);
    project.New();
    auto* view =
        static_cast<TZarvDataView*>(project.NewDataObject(FindClass(QStringLiteral("TZarvDataView"))));
    view->SetConnectionName(QStringLiteral("ABSENT"));
    TZarvReport* report = project.ActiveReport();
    auto* box = MakeOn<TPassBox>(report->LoadedPage(0), QStringLiteral("Box"));
    box->SetPasses(1);
    bool aborted = false;
    // The view of the project that runs, as the run's copy of it would be.
    TPassBox::OnPrintHook = [&] {
        project.SetBaseReport(report->ExecProject()->BaseReport());
        try {
            view->Open();
        } catch (const EAbort&) {
            aborted = true;
            throw;
        }
    };
    TRunEngine engine;
    messages.Answer(IDOK);
    EXPECT_THROW(report->Execute(&engine), EAbort); // silent: the event boundary drops it
    TPassBox::OnPrintHook = nullptr;
    EXPECT_TRUE(aborted);
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.Shown().front().Text,
              QStringLiteral("Error!  Could not open data connection \"ABSENT\".  Aborting report.\n\n"
                             "No process answered through the shared objects in \"%1\".")
                  .arg(SharedObjectsFolder()));
    EXPECT_FALSE(SharedObjectsFolder().isEmpty());
    EXPECT_EQ(messages.Shown().front().Icon, TMsgIcon::Error);

    // Once discovery has seen two connections of one name.
    TPeer peer({QStringLiteral("TWIN:rows:2:rt"), QStringLiteral("TWIN:rows:2:rt")});
    ASSERT_TRUE(peer.Ready());
    system->UpdateConnections();
    view->SetConnectionName(QStringLiteral("TWIN"));
    aborted = false;
    TPassBox::OnPrintHook = [&] {
        project.SetBaseReport(report->ExecProject()->BaseReport());
        try {
            view->Open();
        } catch (const EAbort&) {
            aborted = true;
            throw;
        }
    };
    TRunEngine second; // the first was aborted
    messages.Answer(IDOK);
    EXPECT_THROW(report->Execute(&second), EAbort); // silent: the event boundary drops it
    TPassBox::OnPrintHook = nullptr;
    EXPECT_TRUE(aborted);
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(
        messages.Shown().back().Text,
        QStringLiteral("Error!  Duplicate data connections found with name \"TWIN\".  Aborting report."));
    project.SetBaseReport(nullptr);
}

TEST_F(QpConTest, DestroyingAServingConnectionEndsItsThreadFirst)
{
    // With the channel free the thread is woken at once; while another
    // process holds it, the thread ends at its next wait.
    for (bool othersHold : {false, true}) {
        auto connection = Local(QStringLiteral("GOING"), QStringLiteral("rows"));
        connection->SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
        ASSERT_TRUE(connection->ThreadRunning());
        std::unique_ptr<TChannelChild> holder;
        if (othersHold) {
            holder = std::make_unique<TChannelChild>(5000, 2500);
            ASSERT_TRUE(holder->Taken());
        }
        QElapsedTimer timer;
        timer.start();
        connection.reset();
        EXPECT_LT(timer.elapsed(), 3000);
    }
}

TEST_F(QpConTest, ConnectionsComeFromFormStreams)
{
    RegisterDataConnectionClasses();
    for (const auto& [text, visibility, serving] :
         {std::tuple{"RuntimeVisibility = rtNone\n  LocalFilter = False\n", TRuntimeVisibility::rtNone,
                     false},
          {"Visible = True\n", TRuntimeVisibility::rtEndUser, true}}) {
        TMemoryStream stream(
            ObjectTextToBinary(QByteArray("object Con: TZvCustomConnection\n  ") + text + "end\n"));
        TReader reader(stream);
        std::unique_ptr<TComponent> root(reader.ReadRootComponent(nullptr));
        auto* connection = dynamic_cast<TZvCustomConnection*>(root.get());
        ASSERT_NE(connection, nullptr);
        EXPECT_EQ(connection->Name(), QStringLiteral("Con"));
        EXPECT_EQ(connection->RuntimeVisibility(), visibility);
        EXPECT_EQ(connection->LocalFilter(), serving);
        EXPECT_EQ(connection->ThreadRunning(), serving);
    }
}

TEST_F(QpConTest, HandlersNamedByAFormAreCalled)
{
    struct THost : TObject, TEventHost {
    } form;
    form.BindEvent(QStringLiteral("ConGetCols"), TNotifyHandler([](TObject* sender) {
                       static_cast<TZvCustomConnection*>(sender)->WriteField(
                           QStringLiteral("X"), TQPDataType::dtString, 0, QString(), QString());
                   }));
    form.BindEvent(QStringLiteral("ConEOF"), TCloseQueryHandler([](TObject*, bool& eof) { eof = true; }));
    TZvCustomConnection connection(nullptr);
    connection.SetName(QStringLiteral("FORMED"));
    connection.EventNames[TZvCustomConnection::kEventGetCols] = TMethod{QStringLiteral("ConGetCols"), &form};
    connection.EventNames[TZvCustomConnection::kEventEOF] = TMethod{QStringLiteral("ConEOF"), &form};
    TZarvDataConnection dataCon;
    ASSERT_TRUE(Open(QStringLiteral("FORMED"), dataCon));
    ASSERT_TRUE(system->CallEvent(4, dataCon));
    EXPECT_EQ(system->ReadInt(), 1);
    EXPECT_EQ(system->ReadStr(), QStringLiteral("N"));
    EXPECT_EQ(system->ReadStr(), QStringLiteral("X"));
    ASSERT_TRUE(system->CallEvent(1, dataCon));
    EXPECT_TRUE(system->ReadBool());
}

TEST_F(QpConTest, ProjectEntriesOfCodeTwoLoadAsDirectDataViews)
{
    TZarvProjectManager project(nullptr);
    project.New();
    auto* view =
        static_cast<TZarvDataView*>(project.NewDataObject(FindClass(QStringLiteral("TZarvDataView"))));
    view->SetName(QStringLiteral("Direct"));
    view->SetConnectionName(QStringLiteral("ROWS"));
    QByteArray bytes = SaveProject(project);
    const QByteArray entry =
        QByteArray(1, 6) + Enc(QStringLiteral("Direct")) + Enc(QStringLiteral("TZarvDataView"));
    ASSERT_TRUE(bytes.contains(entry));
    bytes.replace(entry, QByteArray(1, 2) + Enc(QStringLiteral("Direct")));
    TZarvProjectManager loaded(nullptr);
    LoadProject(loaded, bytes);
    auto* again = dynamic_cast<TZarvDataView*>(loaded.FindComponent(QStringLiteral("Direct")));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->ConnectionName(), QStringLiteral("ROWS"));
}

TEST_F(QpConTest, FuzzedAnswersAreReadWithinTheBuffer)
{
    const QByteArray row =
        TRowBuilder(3).Int(0, 7).Str(1, QStringLiteral("seven")).Formatted(1, QStringLiteral("7")).Bytes();
    const std::vector<QByteArray> seeds = {QByteArray(1, 0) + Le(int32_t(row.size())) + row,
                                           EncodeZarvStr(QStringLiteral("N")) +
                                               EncodeZarvStr(QStringLiteral("x"))};
    RunFuzzLoop(
        [&](const QByteArray& bytes) {
            const QByteArray input = bytes.left(kZarvBufferSize - 8);
            std::memset(system->NormFileBuf() + 8, 0, kZarvBufferSize - 8);
            std::memcpy(system->NormFileBuf() + 8, input.constData(), size_t(input.size()));
            system->ClearBuffer();
            if (!system->ReadBool()) {
                TZarvDataRow answer;
                ReadAnswerRow(*system, answer);
                for (int i = -1; i < 4; ++i) {
                    (void)answer.GetNativeStr(i);
                    (void)answer.GetFormattedStr(i);
                }
            }
            system->ClearBuffer();
            for (int i = 0; i < 4; ++i)
                (void)system->ReadStr();
        },
        seeds, 3.0);
}

// A peer killed while its thread waits on the channel's events leaves them
// working: the next peer of that name answers at once.
TEST_F(QpConTest, PeerKilledWhileWaitingLeavesTheChannelWorking)
{
    UsePrefix(QStringLiteral("wait"));
    MakeSystem();
    {
        TPeer peer({QStringLiteral("KW:rows:2:rt")});
        ASSERT_TRUE(peer.Ready());
        EXPECT_EQ(RunAgainst(QStringLiteral("KW")), kRows);
        usleep(50'000); // back in its wait
        peer.Kill();
    }
    TPeer next({QStringLiteral("KW:rows:2:rt")});
    ASSERT_TRUE(next.Ready());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(RunAgainst(QStringLiteral("KW")), kRows);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(messages.Shown().empty());
}

// A peer killed while it holds the channel: its mutex is taken over at once
// and held once, without the box, and the next run goes through.
TEST_F(QpConTest, PeerKilledHoldingTheChannelIsTakenOverOnce)
{
    UsePrefix(QStringLiteral("hold"));
    MakeSystem();
    TPeer holder({QStringLiteral("--hold")});
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(OtherProcessCanTake(), 'n');
    holder.Kill();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(system->GainControl());
    EXPECT_LT(timer.elapsed(), qint64(GainControlTimeoutMs) + 1000);
    EXPECT_EQ(system->ControlCount(), 1);
    TPeer next({QStringLiteral("KH:rows:2:rt")});
    ASSERT_TRUE(next.Ready());
    EXPECT_EQ(RunAgainst(QStringLiteral("KH")), kRows); // nested
    system->ReleaseControl();
    EXPECT_EQ(OtherProcessCanTake(), 'y');
    EXPECT_TRUE(messages.Shown().empty());
}

// A holder killed with a request out: the connection's answer to it is
// still being written when the next process takes the mutex over. That one
// lets it finish before it writes its own requests.
TEST_F(QpConTest, HolderKilledWithARequestOutLetsItsAnswerPass)
{
    UsePrefix(QStringLiteral("out"));
    MakeSystem();
    TPeer lazy({QStringLiteral("KL:lazy:2:rt")});
    ASSERT_TRUE(lazy.Ready());
    for (int i = 0; i < 3; ++i) {
        TPeer asker({QStringLiteral("--ask=KL")});
        ASSERT_TRUE(asker.WaitFor("asked", 10000));
        usleep(5'000); // the request is out
        asker.Kill();
        EXPECT_EQ(RunAgainst(QStringLiteral("KL")), kRows) << i;
    }
    EXPECT_TRUE(messages.Shown().empty());
}

// A connection is served by the UI thread of its program, listening on the
// name it has now, or, made away from the UI thread, by its worker thread
// through the UI thread: a run reads the same rows from each.
TEST_F(QpConTest, ConnectionsServedOnTheUiThreadOrThroughTheWorkerAnswerAlike)
{
    UsePrefix(QStringLiteral("serve"));
    MakeSystem();
    for (const QString& option : {QStringLiteral("--renamed"), QStringLiteral("--worker")}) {
        TPeer peer({option, QStringLiteral("KS:rows:2:rt"), QStringLiteral("KN:nonce0:2:rt")});
        ASSERT_TRUE(peer.Ready()) << option.toStdString();
        EXPECT_EQ(RunAgainst(QStringLiteral("KS")), kRows) << option.toStdString();
        TZarvDataConnection con;
        ASSERT_TRUE(OpenColumns(QStringLiteral("KN"), con)) << option.toStdString();
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(AskNonce(*system, con, QString::number(i)), QStringLiteral("ok")) << option.toStdString();
        system->CloseDataEvent(con);
    }
    EXPECT_TRUE(messages.Shown().empty());
}

// A peer killed in the middle of a request: that command fails after its
// waits; the next peer of the name answers the next run, and nothing of the
// killed request is read as its answer.
TEST_F(QpConTest, PeerKilledInTheMiddleOfARequest)
{
    UsePrefix(QStringLiteral("mid"));
    MakeSystem();
    {
        TPeer peer({QStringLiteral("KM:slow:2:rt")});
        ASSERT_TRUE(peer.Ready());
        TZarvDataConnection dataCon;
        ASSERT_TRUE(system->GainControl());
        ASSERT_TRUE(Open(QStringLiteral("KM"), dataCon));
        ASSERT_TRUE(system->CallEvent(4, dataCon));
        bool killed = false;
        system->OnSmallTimeout = [&](TZarvDataSystem*, int, int, int, const QString&, bool, TZarvDataResult&) {
            if (!killed && peer.WaitFor("inside", 0)) {
                peer.Kill();
                killed = true;
            }
        };
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(system->CallEvent(1, dataCon));
        EXPECT_TRUE(killed);
        EXPECT_LT(timer.elapsed(), qint64(CallEventWaitCount) * CallEventWaitMs + 2000);
        system->OnSmallTimeout = nullptr;
        system->CloseDataEvent(dataCon);
        system->ReleaseControl();
    }
    TPeer next({QStringLiteral("KM:rows:2:rt")});
    ASSERT_TRUE(next.Ready());
    EXPECT_EQ(RunAgainst(QStringLiteral("KM")), kRows);
}

// A peer killed inside the bookkeeping of a named object: after making a
// block (the first of a new name), after marking one removed (the last user
// closing it at its end), after enlarging the overflow block that another
// process holds small. The next run of the names goes through. The peer
// that is to die at its removal first sweeps what a killed peer of the
// user left (as other programs of the user may leave it at any time): that
// removal is not the one it is to die at.
TEST_F(QpConTest, PeerKilledInsideTheBookkeepingOfAnObject)
{
    {
        UsePrefix(QStringLiteral("made"));
        TPeer dying({QStringLiteral("--die-at=made"), QStringLiteral("KB:rows:2:rt")});
        EXPECT_FALSE(dying.Ready());
        EXPECT_TRUE(dying.Crashed());
        MakeSystem();
        TPeer next({QStringLiteral("KB:rows:2:rt")});
        ASSERT_TRUE(next.Ready());
        EXPECT_EQ(RunAgainst(QStringLiteral("KB")), kRows);
    }
    {
        UsePrefix(QStringLiteral("ended"));
        {
            TPeer ended({QStringLiteral("KE:rows:2:rt")});
            ASSERT_TRUE(ended.Ready());
            ended.Kill(); // its objects' files stay until a sweep
        }
        UsePrefix(QStringLiteral("gone"));
        TPeer dying({QStringLiteral("--die-at=removing"), QStringLiteral("KB:rows:2:rt")});
        ASSERT_TRUE(dying.Ready());
        dying.Finish(10000);
        EXPECT_TRUE(dying.Crashed());
        MakeSystem();
        TPeer next({QStringLiteral("KB:rows:2:rt")});
        ASSERT_TRUE(next.Ready());
        EXPECT_EQ(RunAgainst(QStringLiteral("KB")), kRows);
    }
    {
        UsePrefix(QStringLiteral("grow"));
        MakeSystem();
        THeldBlock held(QStringLiteral("ZARVBUFFERALT2"), 1000);
        ASSERT_TRUE(held.Held());
        {
            TPeer dying({QStringLiteral("--die-at=growing"), QStringLiteral("KB:big:2:rt")});
            ASSERT_TRUE(dying.Ready());
            TZarvDataConnection dataCon;
            ASSERT_TRUE(Open(QStringLiteral("KB"), dataCon));
            ASSERT_TRUE(system->CallEvent(4, dataCon));
            EXPECT_FALSE(system->CallEvent(1, dataCon));
            EXPECT_TRUE(dying.Crashed()) << dying.Errors().toStdString();
            system->CloseDataEvent(dataCon);
        }
        TPeer next({QStringLiteral("KB:big:2:rt")});
        ASSERT_TRUE(next.Ready());
        CheckLargeRow(QStringLiteral("KB"));
    }
}

// Blocks of the earlier layout under the channel's names, left as a killed
// process of that build would leave them (its mutex held by a live process,
// an event with every word set, a buffer of another size), do not stop a
// run of this build.
TEST_F(QpConTest, BlocksOfTheEarlierLayoutDoNotStopTheChannel)
{
    UsePrefix(QStringLiteral("old"));
    const QByteArray root = "/tessvar-" + QByteArray::number(uint(getuid())) + '-';
    const QByteArray prefix = NamedObjectPrefix.toUtf8();
    const QList<QByteArray> keys = {root + "X-" + prefix + "ZARVCONTROLER", root + "E-" + prefix + "ZARVCOMPLETED",
                                    root + "M-" + prefix + "ZARVBUFFER"};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        for (const QByteArray& key : keys)
            if (!MakeEarlierLayoutBlock(key, key.at(root.size()), sizeof(pthread_mutex_t), key.contains("-X-")))
                _exit(1);
        (void)!write(fds[1], "y", 1);
        for (;;)
            pause();
    }
    char made = 0;
    ASSERT_EQ(read(fds[0], &made, 1), 1);
    close(fds[0]);
    close(fds[1]);
    MakeSystem();
    TPeer peer({QStringLiteral("KO:rows:2:rt")});
    ASSERT_TRUE(peer.Ready());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(RunAgainst(QStringLiteral("KO")), kRows);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(messages.Shown().empty());
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    for (const QByteArray& key : keys)
        shm_unlink(key.constData());
}

// Six processes serve a connection each (rows that take 0, 400 or 1000 ms)
// and run requests against the others, each run under the channel's mutex
// and checked by a nonce of its own, for ten seconds, while this process
// every 200 ms either kills one of them (SIGKILL) and starts it again, or
// stops one (SIGSTOP) for 0.3 to 1.5 s. No run of a process never stopped
// waits past the time-outs (the mutex's 5 s, then 1.5 s a command and 1 s
// for the answer lock, as the workers set them), no answer is read as the
// answer of another request or connection (a killed worker's runs count
// too), and the channel still serves a run afterwards.
TEST_F(QpConTest, SixProcessesKilledStoppedAndRestartedNeverHangOrMisread)
{
    UsePrefix(QStringLiteral("stress"));
    constexpr int kWorkers = 6;
    auto start = [](int i) {
        return std::make_unique<TPeer>(QStringList{QStringLiteral("--stress=%1,%2").arg(i).arg(kWorkers)});
    };
    std::vector<std::unique_ptr<TPeer>> workers;
    std::vector<bool> stopped(kWorkers, false);
    for (int i = 0; i < kWorkers; ++i) {
        workers.push_back(start(i));
        ASSERT_TRUE(workers.back()->Ready()) << i;
    }
    QByteArray output;      // of workers never stopped
    QByteArray stoppedRuns; // of workers stopped at least once
    std::mt19937 random(4711);
    QElapsedTimer timer;
    timer.start();
    int restarts = 0, stops = 0;
    while (timer.elapsed() < 10'000) {
        usleep(200'000);
        const size_t victim = random() % kWorkers;
        if (random() % 2 == 0) {
            workers[victim]->Kill();
            (stopped[victim] ? stoppedRuns : output) += workers[victim]->Output();
            workers[victim] = start(int(victim));
            stopped[victim] = false;
            EXPECT_TRUE(workers[victim]->Ready()) << victim;
            ++restarts;
        } else {
            stopped[victim] = true;
            workers[victim]->Signal(SIGSTOP);
            usleep(useconds_t(300'000 + random() % 1'200'000));
            workers[victim]->Signal(SIGCONT);
            ++stops;
        }
    }
    for (auto& worker : workers)
        worker->CloseInput(); // each ends after its run
    for (int i = 0; i < kWorkers; ++i) {
        const QByteArray rest = workers[size_t(i)]->Finish(30'000);
        EXPECT_FALSE(workers[size_t(i)]->Running()) << "a worker did not end";
        EXPECT_TRUE(rest.contains("done")) << rest.toStdString();
        (stopped[size_t(i)] ? stoppedRuns : output) += rest;
    }
    int ok = 0, failed = 0, refused = 0, misread = 0;
    for (const QByteArray& all : {output, stoppedRuns}) {
        for (const QByteArray& line : all.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.value(0) == "why") // what a misread run read
                std::printf("%s\n", line.constData());
            if (words.value(0) != "run" || words.size() != 3)
                continue;
            ok += words.value(1) == "ok";
            failed += words.value(1) == "failed";
            refused += words.value(1) == "refused";
            misread += words.value(1) == "misread";
            if (&all == &output) {
                EXPECT_LT(words.value(2).toInt(), 5000 + 6 * (1500 + 1000) + 1000) << line.toStdString();
            }
        }
    }
    EXPECT_EQ(misread, 0);
    EXPECT_GT(ok, 0);
    std::printf("%d restarts, %d stops; %d runs answered, %d failed, %d refused by a successor\n", restarts,
                stops, ok, failed, refused);
    MakeSystem();
    TPeer after({QStringLiteral("KS:rows:2:rt")});
    ASSERT_TRUE(after.Ready());
    EXPECT_EQ(RunAgainst(QStringLiteral("KS")), kRows);
}

// A process stopped (SIGSTOP) while it makes the data event of a name, past
// the bound that opening waits for it, and then resumed: a peer that starts
// serving that name meanwhile finishes its start-up within one bound (its UI
// thread waits for the event once), sleeps while the event cannot be opened
// rather than spinning, and serves the name soon after the resume.
TEST_F(QpConTest, AConnectionSleepsWhileACreatorOfItsEventIsStoppedAndServesAfter)
{
    UsePrefix(QStringLiteral("creator"));
    MakeSystem();
    TStoppedCreator creator(QStringLiteral("ZARVRTDATA_KC"));
    ASSERT_TRUE(creator.Stopped());
    TPeer peer({QStringLiteral("KC:rows:2:rt")});
    ASSERT_TRUE(peer.Ready());
    const double share = ExpectStartedAndAsleep(peer, 3000);

    ASSERT_TRUE(creator.Resume());
    QElapsedTimer timer;
    timer.start();
    CallEventWaitCount = 25; // 100 ms an ask
    ASSERT_TRUE(system->GainControl());
    QStringList rows;
    qint64 servedMs = -1;
    while (timer.elapsed() < 5000 && servedMs < 0) {
        TZarvDataConnection dataCon;
        if (Open(QStringLiteral("KC"), dataCon) && system->CallEvent(4, dataCon) && system->ReadInt() == 3) {
            servedMs = timer.elapsed();
            rows = ReadRows(dataCon);
        }
        system->CloseDataEvent(dataCon);
    }
    system->ReleaseControl();
    EXPECT_EQ(rows, kRows);
    EXPECT_GE(servedMs, 0);
    EXPECT_LT(servedMs, 2000);
    std::printf("start-up %lld ms; %.1f %% of a CPU in the freeze; served %lld ms after the resume\n",
                static_cast<long long>(peer.StartupMs()), share * 100, static_cast<long long>(servedMs));
}

// Whether the process is stopped (state "T" in /proc), waited for at most ms.
bool WaitStopped(pid_t pid, int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray line = stat.readAll();
            const qsizetype close = line.lastIndexOf(')');
            if (close > 0 && line.mid(close + 2, 1) == "T")
                return true;
        }
        usleep(5000);
    } while (timer.elapsed() < ms);
    return false;
}

// The two roads a connection is served on: by the UI thread of its program,
// and (made away from the UI thread) by its worker thread.
const QStringList kServingRoads{QString(), QStringLiteral("--worker")};

QStringList ServerOf(const QString& road, const QString& spec)
{
    return road.isEmpty() ? QStringList{spec} : QStringList{road, spec};
}

// An asker stopped (SIGSTOP) while it makes the data event of the name it
// asks, past the bound that opening waits for it, with a server of that name
// started meanwhile: once continued, its request is answered within the
// server's retry pause, not after the asker's whole time-out, on both roads.
TEST_F(QpConTest, AnAskerStoppedMakingTheDataEventIsAnsweredSoonAfterItContinues)
{
    UsePrefix(QStringLiteral("stoppedask"));
    MakeSystem();
    for (const QString& road : kServingRoads) {
        TPeer asker({QStringLiteral("--ask=KA"), QStringLiteral("--stop-asking")});
        ASSERT_TRUE(asker.Ready()) << road.toStdString();
        ASSERT_TRUE(WaitStopped(asker.Pid(), 5000)) << road.toStdString();
        TPeer server(ServerOf(road, QStringLiteral("KA:rows:2:rt")));
        ASSERT_TRUE(server.Ready()) << road.toStdString();
        const long long continued = MonotonicMs();
        asker.Signal(SIGCONT);
        const bool answered = asker.WaitFor("asked", 2000);
        EXPECT_TRUE(answered) << road.toStdString();
        if (answered)
            std::printf("%s road: answered %lld ms after the continue\n", road.isEmpty() ? "UI" : "worker",
                        asker.LastLineTime() - continued);
    }
}

// A request pending, its data event set, before any server of its name
// exists: the server started then answers it as soon as it listens, on both
// roads.
TEST_F(QpConTest, ARequestPendingBeforeItsServerStartsIsAnsweredOnceItListens)
{
    UsePrefix(QStringLiteral("pending"));
    MakeSystem();
    TZarvChannelControl control;
    const uint64_t address = TZarvChannelControl::AddressOf(QStringLiteral("KQ"));
    for (const QString& road : kServingRoads) {
        TPeer asker({QStringLiteral("--ask=KQ")});
        ASSERT_TRUE(asker.Ready()) << road.toStdString();
        // The server starts once the asker's request is out and has rung: the
        // ring is taken here to see it, and given back.
        const TSharedHandle data = OpenSharedEvent(QStringLiteral("ZARVRTDATA_KQ"));
        bool rung = false;
        QElapsedTimer waited;
        waited.start();
        while (!rung && waited.elapsed() < 5000) {
            const TRequestInfo request = control.Current();
            rung = request.State == TRequestState::rsPending && request.Address == address &&
                   WaitNamedObject(data, 0) == TWaitResult::wrSignaled;
            if (rung)
                SetNamedEvent(data);
            else
                usleep(5000);
        }
        ASSERT_TRUE(rung) << road.toStdString();
        TPeer server(ServerOf(road, QStringLiteral("KQ:rows:2:rt")));
        ASSERT_TRUE(server.Ready()) << road.toStdString();
        const bool answered = asker.WaitFor("asked", 2000);
        EXPECT_TRUE(answered) << road.toStdString();
        if (answered)
            std::printf("%s road: answered %lld ms after the server was ready\n",
                        road.isEmpty() ? "UI" : "worker", asker.LastLineTime() - server.ReadyAtMs());
        CloseSharedEvent(data);
    }
}

// The same with the discovery event that the thread of a connection waits
// on: the data of the connection is served meanwhile (by the UI thread), its
// threads sleep, and discovery finds the connection soon after the resume.
TEST_F(QpConTest, AConnectionSleepsWhileACreatorOfTheDiscoveryEventIsStopped)
{
    UsePrefix(QStringLiteral("discovery"));
    MakeSystem();
    TStoppedCreator creator(QStringLiteral("ZARVCONNECT"));
    ASSERT_TRUE(creator.Stopped());
    TPeer peer({QStringLiteral("KD:rows:2:rt")});
    ASSERT_TRUE(peer.Ready());
    ExpectStartedAndAsleep(peer, 2000);
    EXPECT_EQ(RunAgainst(QStringLiteral("KD")), kRows);

    ASSERT_TRUE(creator.Resume());
    QElapsedTimer timer;
    timer.start();
    int found = -1;
    while (timer.elapsed() < 5000 && found < 0) {
        system->UpdateConnections();
        if (system->RTConnectList())
            found = system->RTConnectList()->IndexOf(QStringLiteral("KD"));
    }
    EXPECT_GE(found, 0);
}

// A completion left set by a connection whose requester died before taking
// it is not taken for the answer of the next request.
TEST_F(QpConTest, AStaleCompletionIsNotTakenForTheAnswer)
{
    UsePrefix(QStringLiteral("stale"));
    MakeSystem();
    TPeer peer({QStringLiteral("KT:lazy:2:rt")});
    ASSERT_TRUE(peer.Ready());
    TZarvDataConnection dataCon;
    ASSERT_TRUE(Open(QStringLiteral("KT"), dataCon));
    for (int i = 0; i < 3; ++i) {
        const TSharedHandle completed = OpenSharedEvent(QStringLiteral("ZARVCOMPLETED"));
        SetNamedEvent(completed);
        CloseSharedEvent(completed);
        ASSERT_TRUE(system->CallEvent(4, dataCon));
        EXPECT_EQ(system->ReadInt(), 3) << i;
        EXPECT_EQ(system->ReadStr(), QStringLiteral("N")) << i;
        EXPECT_EQ(system->ReadStr(), QStringLiteral("ID")) << i;
    }
    system->CloseDataEvent(dataCon);
}

} // namespace

namespace {

// When each nonce's row began in a peer's output ("ran <nonce> <ms>").
std::map<QString, long long> RunsOf(const QByteArray& output)
{
    std::map<QString, long long> runs;
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 3 && words[0] == "ran")
            runs[QString::fromLatin1(words[1])] = words[2].toLongLong();
    }
    return runs;
}

// The server of a connection is killed, leaving its data event and the
// socket it listened on. A process's open of the event removes them and is
// stopped between the unlinks of their names while a new server of the
// connection starts and listens: the new server answers an asker, whether
// it started at once or waited for the remover.
TEST_F(QpConTest, ANewServerStartedWhileItsKilledPredecessorsEventIsRemovedAnswers)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    UsePrefix(QStringLiteral("relisten"));
    MakeSystem();
    const QString data = QStringLiteral("ZARVRTDATA_KR");
    const QByteArray head =
        SharedObjectsFolder().toLocal8Bit() + "/" + sharedobjects_layout::kNamePrefix +
        QByteArray::number(geteuid()) + '-';
    const QByteArray file = head + "E-" + (NamedObjectPrefix + data).toUtf8();
    const QByteArray socket = head + "B-" + (NamedObjectPrefix + data).toUtf8();
    {
        TPeer killed({QStringLiteral("KR:rows:2:rt")});
        ASSERT_TRUE(killed.Ready());
        EXPECT_EQ(RunAgainst(QStringLiteral("KR")), kRows);
        killed.Kill();
    }
    ASSERT_TRUE(SomethingAt(file) && SomethingAt(socket));
    TTracedChild remover([&] { CloseSharedEvent(OpenSharedEvent(data)); });
    ASSERT_TRUE(remover.Refused().isEmpty()) << remover.Refused().toStdString();
    ASSERT_TRUE(remover.RunTo([&](const TTracedChild& call) {
        return call.Call() == SYS_unlinkat && SomethingAt(file) != SomethingAt(socket);
    })) << "no unlink of the event's names";
    TPeer server({QStringLiteral("KR:rows:2:rt")}, false);
    server.WaitReady(2000); // at once, or once the remover goes on
    EXPECT_EQ(remover.Finish(), 0);
    ASSERT_TRUE(server.WaitReady(20000));
    EXPECT_EQ(RunAgainst(QStringLiteral("KR")), kRows);
    EXPECT_TRUE(messages.Shown().empty());
}

} // namespace

// A connection whose process is stopped (SIGSTOP) past the engine's
// time-out, either before its request arrives or in the middle of the row,
// and then resumed while the engine asks another connection: every answer
// is the one asked for, and the stopped connection's request is never run
// after its time-out (nor is its late answer read by anyone).
TEST_F(QpConTest, AStoppedPeerResumedLateNeverAnswersAnotherRequest)
{
    UsePrefix(QStringLiteral("frozen"));
    MakeSystem();
    CallEventWaitCount = 50; // 200 ms a command
    TPeer slow({QStringLiteral("SLOW:nonce300:2:rt")});
    TPeer fast({QStringLiteral("FAST:nonce0:2:rt")});
    ASSERT_TRUE(slow.Ready() && fast.Ready());
    ASSERT_TRUE(system->GainControl());
    TZarvDataConnection slowCon, fastCon;
    ASSERT_TRUE(OpenColumns(QStringLiteral("SLOW"), slowCon));
    ASSERT_TRUE(OpenColumns(QStringLiteral("FAST"), fastCon));
    std::map<QString, long long> timedOut; // nonce -> when the engine gave up
    int wrong = 0, answered = 0;
    for (int round = 0; round < 8; ++round) {
        const bool midRow = round % 2 == 1;
        const QString nonce = QStringLiteral("slow%1").arg(round);
        if (!midRow)
            slow.Signal(SIGSTOP);
        bool stopped = !midRow;
        system->OnSmallTimeout = [&](TZarvDataSystem*, int, int, int, const QString&, bool, TZarvDataResult&) {
            if (!stopped && slow.WaitFor("ran", 0)) {
                slow.Signal(SIGSTOP);
                stopped = true;
            }
        };
        const QString result = AskNonce(*system, slowCon, nonce);
        system->OnSmallTimeout = nullptr;
        EXPECT_EQ(result, QStringLiteral("failed")) << round;
        timedOut[nonce] = MonotonicMs();
        slow.Signal(SIGCONT);
        for (int i = 0; i < 10; ++i) {
            const QString answer = AskNonce(*system, fastCon, QStringLiteral("fast%1-%2").arg(round).arg(i));
            wrong += answer == QLatin1String("wrong");
            answered += answer == QLatin1String("ok");
        }
    }
    CallEventWaitCount = 600;
    system->CloseDataEvent(slowCon);
    system->CloseDataEvent(fastCon);
    system->ReleaseControl();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(answered, 80);
    usleep(400'000); // a late row would have begun by now
    const auto runs = RunsOf(slow.Output() + slow.Finish(10'000));
    for (const auto& [nonce, began] : runs) {
        auto it = timedOut.find(nonce);
        if (it != timedOut.end()) {
            EXPECT_LT(began, it->second) << nonce.toStdString() << " ran after its time-out";
        }
    }
    EXPECT_EQ(runs.count(QStringLiteral("slow0")), 0u); // stopped before it came: never run
}

// A connection whose handler stays busy past the engine's time-out, no
// signal involved: the engine goes on with another connection and a second
// request to the busy one; nobody reads the busy one's late answer, and the
// request that timed out while the first was still running is never run.
TEST_F(QpConTest, ABusyHandlerPastTheTimeOutNeverAnswersAnotherRequest)
{
    UsePrefix(QStringLiteral("busy"));
    MakeSystem();
    CallEventWaitCount = 50; // 200 ms a command
    TPeer busy({QStringLiteral("BUSY:nonce700:2:rt")});
    TPeer fast({QStringLiteral("FAST:nonce0:2:rt")});
    ASSERT_TRUE(busy.Ready() && fast.Ready());
    ASSERT_TRUE(system->GainControl());
    TZarvDataConnection busyCon, fastCon;
    ASSERT_TRUE(OpenColumns(QStringLiteral("BUSY"), busyCon));
    ASSERT_TRUE(OpenColumns(QStringLiteral("FAST"), fastCon));
    int wrong = 0, answered = 0;
    std::map<QString, long long> timedOut;
    for (int round = 0; round < 3; ++round) {
        for (const char* which : {"a", "b"}) {
            const QString nonce = QStringLiteral("busy%1%2").arg(round).arg(QLatin1String(which));
            EXPECT_EQ(AskNonce(*system, busyCon, nonce), QStringLiteral("failed"));
            timedOut[nonce] = MonotonicMs();
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 900) {
            const QString answer = AskNonce(*system, fastCon, QStringLiteral("f%1").arg(timer.elapsed()));
            wrong += answer == QLatin1String("wrong");
            answered += answer == QLatin1String("ok");
        }
    }
    CallEventWaitCount = 600;
    system->CloseDataEvent(busyCon);
    system->CloseDataEvent(fastCon);
    system->ReleaseControl();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(answered, 10);
    const auto runs = RunsOf(busy.Output() + busy.Finish(10'000));
    for (const auto& [nonce, began] : runs)
        EXPECT_LT(began, timedOut[nonce]) << nonce.toStdString() << " ran after its time-out";
    EXPECT_FALSE(runs.empty());
}

// A requester killed while the handler of its request takes 1 s: the next
// holder's requests get their own answers, with no settling delay.
TEST_F(QpConTest, RequesterKilledDuringALongHandlerLeavesNoAnswerToTheNext)
{
    UsePrefix(QStringLiteral("long"));
    MakeSystem();
    TPeer peer({QStringLiteral("KL:nonce1000:2:rt")});
    ASSERT_TRUE(peer.Ready());
    for (int i = 0; i < 3; ++i) {
        {
            TPeer asker({QStringLiteral("--ask-nonce=KL")});
            ASSERT_TRUE(asker.WaitFor("asked", 10000));
            ASSERT_TRUE(peer.WaitFor("ran asker", 5000)) << i;
            asker.Kill();
        }
        ASSERT_TRUE(system->GainControl());
        TZarvDataConnection con;
        ASSERT_TRUE(OpenColumns(QStringLiteral("KL"), con));
        EXPECT_EQ(AskNonce(*system, con, QStringLiteral("next%1").arg(i)), QStringLiteral("ok")) << i;
        system->CloseDataEvent(con);
        system->ReleaseControl();
    }
    EXPECT_TRUE(messages.Shown().empty());
}

// A connection whose process is replaced between two commands of a run
// (same name, a new process): the run ends with a message naming the
// connection, never with an empty result read from the new process.
TEST_F(QpConTest, AConnectionReplacedBetweenCommandsEndsTheRunWithAMessage)
{
    UsePrefix(QStringLiteral("replaced"));
    MakeSystem();
    auto first = std::make_unique<TPeer>(QStringList{QStringLiteral("KR:nonce0:2:rt")});
    ASSERT_TRUE(first->Ready());
    TZarvDataConnection con;
    ASSERT_TRUE(OpenColumns(QStringLiteral("KR"), con));
    EXPECT_EQ(AskNonce(*system, con, QStringLiteral("one")), QStringLiteral("ok"));
    first->Kill();
    first.reset();
    TPeer second({QStringLiteral("KR:nonce0:2:rt")});
    ASSERT_TRUE(second.Ready());
    QElapsedTimer timer;
    timer.start();
    try {
        system->CallEvent(1, con);
        ADD_FAILURE() << "the new process answered";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("The data connection \"KR\" is now answered by another process "
                                                  "than the one it was opened with."));
    }
    EXPECT_LT(timer.elapsed(), 1000);
    system->CloseDataEvent(con);
    // Opened again, the new process is the one identified.
    TZarvDataConnection again;
    ASSERT_TRUE(OpenColumns(QStringLiteral("KR"), again));
    EXPECT_EQ(AskNonce(*system, again, QStringLiteral("two")), QStringLiteral("ok"));
    system->CloseDataEvent(again);
}

// After clean exits of the peers and the end of this process's data system,
// no object of the channel's names remains in the folder of the user's
// objects.
TEST_F(QpConTest, CleanExitsLeaveNoObjectOfTheChannel)
{
    UsePrefix(QStringLiteral("clean"));
    const QByteArray folder = SharedObjectsFolder().toLocal8Bit();
    const QByteArray mark = "-" + NamedObjectPrefix.toUtf8();
    auto left = [&] {
        QStringList names;
        for (const QByteArray& file : NamesIn(folder))
            if (file.contains(mark))
                names << QString::fromLocal8Bit(file);
        return names;
    };
    MakeSystem();
    {
        TPeer rows({QStringLiteral("KC:rows:2:rt"), QStringLiteral("BIG:big:2:rt")});
        ASSERT_TRUE(rows.Ready());
        EXPECT_FALSE(left().isEmpty()); // the right place is looked at
        EXPECT_EQ(RunAgainst(QStringLiteral("KC")), kRows);
        CheckLargeRow(QStringLiteral("BIG"));
        system->UpdateConnections();
        EXPECT_EQ(rows.ExitCode(), 0);
    }
    system.reset();
    DataSystem = nullptr;
    EXPECT_EQ(left(), QStringList{});
}

// Another user (a made-up id; CI runs as root) made the folder where this
// user's channel objects would go first, with a buffer of the channel's
// name planted in it. The user's data system and its peer, a process
// started apart, pass over it to the next folder of the series and run a
// report over the channel there; nothing in the other user's folder is
// used, read or changed.
TEST_F(QpConTest, AnotherUsersFolderAtItsNameLeavesTheChannelWorkingInTheNextFolder)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    UsePrefix(QStringLiteral("held"));
    const uid_t victim = MadeUpId(kOtherUserSlot);
    const uid_t other = MadeUpId(kFirstFreeSlot);
    RemoveObjectFoldersOf(victim, victim);
    const QByteArray folder = ObjectFolderOf(victim);
    const QByteArray buffer = folder + "/" + sharedobjects_layout::kNamePrefix +
                              QByteArray::number(uint(victim)) + "-M-" +
                              NamedObjectPrefix.toUtf8() + "ZARVBUFFER";
    ASSERT_EQ(mkdir(folder.constData(), 0777), 0);
    const auto removed = qScopeGuard([&] {
        unlink(buffer.constData());
        rmdir(folder.constData());
        RemoveObjectFoldersOf(victim, victim);
    });
    ASSERT_EQ(chmod(folder.constData(), 0777), 0);
    ASSERT_EQ(chown(folder.constData(), other, other), 0);
    const QByteArray planted(kZarvBufferSize + 64, 'p');
    const int fd = open(buffer.constData(), O_RDWR | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, planted.constData(), size_t(planted.size())), planted.size());
    ASSERT_EQ(fchown(fd, other, other), 0);
    ASSERT_EQ(fchmod(fd, 0666), 0);
    close(fd);
    const auto becomeVictim = [victim] { return BecomeUser(victim, victim, {}); };
    TFreshProcess peer(QStringLiteral(TESSVAR_CHANNEL_PEER), {NamedObjectPrefix, QStringLiteral("KC:rows:2:rt")},
                       becomeVictim);
    const QByteArray ready = peer.ReadLine(20000);
    EXPECT_TRUE(ready.startsWith("ready")) << ready.constData();
    const QString answer = RunInChild(becomeVictim, [&] {
        unsetenv("XDG_RUNTIME_DIR");
        MakeSystem();
        return SharedObjectsFolder() + QLatin1Char(' ') + RunAgainst(QStringLiteral("KC")).join(QLatin1Char(','));
    });
    EXPECT_EQ(answer, QString::fromLocal8Bit(ObjectFolderOf(victim, 1)) + QLatin1Char(' ') + kRows.join(QLatin1Char(',')));
    EXPECT_EQ(peer.Finish(20000), 0);
    QFile file(QString::fromLocal8Bit(buffer));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), planted);
    EXPECT_EQ(NamesIn(folder), QList<QByteArray>{buffer.mid(folder.size() + 1)}); // nothing else was put there
}
