// The requests of a data connection: one runs at a time, whoever asks it
// (a process killed while it asks, a report of the connection's own
// process on its UI thread or on another thread).
#include "ChannelTests.h"

#include "report/model/ZvChannelControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// A safety net for the waits below, which end on a state: long enough for
// any load.
constexpr int kSafetyMs = 30000;

// Waits until done answers true, the events of this thread processed
// meanwhile (they serve the connections this thread listens for); false
// when the safety net ran out first.
bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kSafetyMs)
            return false;
        QCoreApplication::processEvents();
        usleep(200);
    }
    return true;
}

// The same without processing events.
bool WaitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kSafetyMs)
            return false;
        usleep(200);
    }
    return true;
}

// One report's reading of a "nonce" connection of this process through
// system: control, open, columns, a row for nonce (AskNonce). "ok",
// "failed" (a command not answered) or "wrong" (an answer not the one asked
// for).
QString ReadInProcess(TZarvDataSystem& system, const QString& name, const QString& nonce)
{
    if (!system.GainControl())
        return QStringLiteral("no control");
    TZarvDataConnection con;
    QString result = QStringLiteral("failed");
    if (system.OpenDataEvent(name, con) && system.CallEvent(9, con) && system.CallEvent(4, con))
        result = system.ReadInt() == 2 ? AskNonce(system, con, nonce) : QStringLiteral("wrong");
    system.CloseDataEvent(con);
    system.ReleaseControl();
    return result;
}

} // namespace

class QpConRequestsTest : public TChannelTest {
protected:
    // A "nonce" connection of this process served by this thread (the UI
    // thread), whose rows carry its name and the nonce of the request.
    std::unique_ptr<TZvCustomConnection> Served(const QString& name)
    {
        auto connection = Local(name, QStringLiteral("nonce0"));
        connection->OnGetRow = [](TZvCustomConnection* c) { WriteNonceRow(c, c->FilterFieldData()); };
        connection->SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
        return connection;
    }
    static void WriteNonceRow(TZvCustomConnection* c, const QString& nonce)
    {
        c->WriteIntData(QString(), c->DataIndex() + 1);
        c->WriteStrData(QString(), c->Name() + QLatin1Char('/') + nonce);
    }
};

// A peer asks for a row of a connection of this process and is killed
// (SIGKILL) as the handler of that row begins on the UI thread; the next
// report of this process takes the channel over from the dead asker while
// that handler still runs, and asks the connection itself:
//   from another thread, it waits until the handler has ended (normally,
//   or raising), then reads its own row;
//   from inside the handler (which let the events in), it fails at once,
//   without waiting for a request that cannot end before it.
// The handler writes its row as if alone; a report afterwards reads its own.
TEST_F(QpConRequestsTest, AReportOfTheOwnProcessWaitsForTheRequestOfAKilledAsker)
{
    UsePrefix(QStringLiteral("gate"));
    MakeSystem();
    CallEventWaitMs = 50; // a bound of 30 s for the report that waits
    for (const char* road : {"thread", "thread, the handler raising", "nested"}) {
        SCOPED_TRACE(road);
        const QString how = QLatin1String(road);
        auto connection = Served(QStringLiteral("KN"));
        TPeer asker({QStringLiteral("--ask-nonce=KN")});
        ASSERT_TRUE(asker.Ready());
        bool ran = false;
        QString raised;
        QString report;
        int waits = 0;
        std::thread engine;
        std::atomic<bool> waiting{false}, engineDone{false};
        connection->OnGetRow = [&](TZvCustomConnection* c) {
            const QString nonce = c->FilterFieldData();
            if (nonce != QLatin1String("asker") || ran) {
                WriteNonceRow(c, nonce);
                return;
            }
            ran = true;
            asker.Kill();
            if (how == QLatin1String("nested")) {
                system->OnSmallTimeout = [&](TZarvDataSystem*, int, int, int, const QString&, bool,
                                             TZarvDataResult&) { ++waits; };
                report = ReadInProcess(*system, QStringLiteral("KN"), QStringLiteral("nested"));
                system->OnSmallTimeout = nullptr;
            } else {
                engine = std::thread([&] {
                    TZarvDataSystem other;
                    other.OnSmallTimeout = [&](TZarvDataSystem*, int, int, int, const QString&, bool,
                                               TZarvDataResult&) { waiting = true; };
                    report = ReadInProcess(other, QStringLiteral("KN"), QStringLiteral("thread"));
                    engineDone = true;
                });
                EXPECT_TRUE(WaitUntil([&] { return waiting || engineDone; }));
                if (how.contains(QLatin1String("raising")))
                    throw std::runtime_error("a handler that fails");
            }
            try {
                WriteNonceRow(c, nonce);
            } catch (const ESheetcaster& error) {
                raised = error.Message();
                throw;
            }
        };
        EXPECT_TRUE(PumpUntil([&] { return ran; }));
        if (engine.joinable())
            engine.join();
        EXPECT_EQ(raised.toStdString(), "");
        if (how == QLatin1String("nested")) {
            EXPECT_EQ(report.toStdString(), "failed");
            EXPECT_EQ(waits, 0);
        } else {
            EXPECT_EQ(report.toStdString(), "ok");
        }
        EXPECT_EQ(ReadInProcess(*system, QStringLiteral("KN"), QStringLiteral("after")).toStdString(), "ok");
    }
    EXPECT_TRUE(messages.Shown().empty());
}

// A peer that asked a connection of this process is killed with its request
// pending, before the UI thread came to it. A report of this process then
// asks the connection itself, and a handler of that request lets the events
// in, where the ring of the dead asker's request is served: that request is
// refused, not run into the report's answer, which holds the two columns
// asked for.
TEST_F(QpConRequestsTest, ARequestOfAKilledAskerMeetingAReportOfTheOwnProcessIsRefused)
{
    UsePrefix(QStringLiteral("refused"));
    MakeSystem();
    auto connection = Served(QStringLiteral("KN"));
    bool opened = false;
    connection->OnOpen = [&](TZvCustomConnection* c) {
        c->SetDataIndex(0);
        c->SetDataRows(3);
        opened = true;
    };
    TPeer asker({QStringLiteral("--ask=KN")});
    ASSERT_TRUE(asker.Ready());
    // The asker's command 9 is answered; its command 4 then rings while this
    // thread processes no events.
    ASSERT_TRUE(PumpUntil([&] { return opened; }));
    TZarvChannelControl control;
    TRequestInfo pending;
    ASSERT_TRUE(WaitUntil([&] {
        pending = control.Current();
        return pending.State == TRequestState::rsPending && pending.Code == 4;
    }));
    asker.Kill();
    const auto declare = connection->OnGetCols;
    connection->OnGetCols = [&](TZvCustomConnection* c) {
        EXPECT_TRUE(PumpUntil([&] { return control.StateOf(pending.Number) != TRequestState::rsPending; }));
        declare(c);
    };
    EXPECT_EQ(ReadInProcess(*system, QStringLiteral("KN"), QStringLiteral("here")).toStdString(), "ok");
    EXPECT_EQ(int(control.StateOf(pending.Number)), int(TRequestState::rsFailed));
    EXPECT_TRUE(messages.Shown().empty());
}

// A report of this process waits for a request that another thread runs on
// a connection of this process, and the connection is destroyed meanwhile
// (the events that the waiting report lets in may destroy it): the waiting
// request fails, and nothing of the connection is touched.
TEST_F(QpConRequestsTest, AConnectionDestroyedWhileAReportWaitsForItFailsThatRequest)
{
    CallEventWaitMs = 50; // a bound of 30 s for the report that waits
    auto connection = Local(QStringLiteral("KG"), QStringLiteral("nonce0"));
    connection->OnGetRow = [](TZvCustomConnection* c) {
        c->WriteIntData(QString(), 1);
        c->WriteStrData(QString(), c->Name() + QLatin1Char('/') + c->FilterFieldData());
    };
    std::atomic<bool> inside{false}, release{false};
    const auto declare = connection->OnGetCols;
    connection->OnGetCols = [&](TZvCustomConnection* c) {
        inside = true;
        EXPECT_TRUE(WaitUntil([&] { return bool(release); }));
        declare(c);
    };
    QString holderReport;
    std::thread holder([&] {
        TZarvDataSystem other;
        holderReport = ReadInProcess(other, QStringLiteral("KG"), QStringLiteral("holder"));
    });
    ASSERT_TRUE(WaitUntil([&] { return bool(inside); }));
    TZarvDataConnection con;
    ASSERT_TRUE(system->OpenDataEvent(QStringLiteral("KG"), con));
    system->OnSmallTimeout = [&](TZarvDataSystem*, int, int, int, const QString&, bool, TZarvDataResult&) {
        if (!connection)
            return;
        release = true;
        holder.join();
        connection.reset();
    };
    EXPECT_FALSE(system->CallEvent(9, con));
    system->OnSmallTimeout = nullptr;
    system->CloseDataEvent(con);
    if (holder.joinable())
        holder.join();
    EXPECT_FALSE(connection);
    EXPECT_EQ(holderReport.toStdString(), "ok");
}

// Two connections of one process whose rows end in the same overflow block,
// the second's larger than the first's: each is answered, in either order
// and again, though the process still holds the block with the other's
// answer (a block cannot grow while its process maps it).
TEST_F(QpConRequestsTest, TwoConnectionsOfOneProcessAnswerLargerRowsThanEachOther)
{
    UsePrefix(QStringLiteral("larger"));
    MakeSystem();
    TPeer peer({QStringLiteral("BIG:big:2:rt"), QStringLiteral("HUGE:huge:2:rt")});
    ASSERT_TRUE(peer.Ready());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CheckLargeRow(QStringLiteral("BIG"));
        CheckLargeRow(QStringLiteral("HUGE"), 200000);
    }
    EXPECT_EQ(peer.ExitCode(), 0);
}

// Two connections of this process, served by its UI thread. The handler of
// one is still writing when its request is withdrawn for one to the other,
// which answers into the overflow block that both answers end in. The late
// answer (larger, so that it would need the block grown, or smaller, so
// that it would fit) leaves the block as it is, and so does the end of its
// connection: the answer in it is the one out, not yet read, and reads
// whole.
TEST_F(QpConRequestsTest, ALateAnswerLeavesTheUnreadAnswerOfAnotherConnection)
{
    UsePrefix(QStringLiteral("late"));
    MakeSystem();
    // Stands in for an engine: posts a request with the command code to a
    // connection, as the engine addresses it, and rings its data event.
    TZarvChannelControl control;
    const auto post = [&](TZvCustomConnection& connection, int32_t code) {
        const QByteArray request = Le(int32_t(6)) + Le(int32_t(0)) + Le(code);
        const uint64_t number =
            control.Post(reinterpret_cast<const uint8_t*>(request.constData()), request.size(),
                         connection.Token(), TZarvChannelControl::AddressOf(connection.Name()));
        const TSharedHandle data = OpenSharedEvent(QStringLiteral("ZARVRTDATA_") + connection.Name());
        SetNamedEvent(data);
        CloseSharedEvent(data);
        return number;
    };
    const auto done = [&](uint64_t number) {
        return PumpUntil([&] { return control.StateOf(number) == TRequestState::rsDone; });
    };
    for (const bool larger : {true, false}) {
        SCOPED_TRACE(larger ? "a larger late answer" : "a smaller late answer");
        auto late = Local(QStringLiteral("LATE"), larger ? QStringLiteral("huge") : QStringLiteral("big"));
        auto first = Local(QStringLiteral("FIRST"), larger ? QStringLiteral("big") : QStringLiteral("huge"));
        for (TZvCustomConnection* connection : {late.get(), first.get()}) {
            connection->SetRuntimeVisibility(TRuntimeVisibility::rtEndUser);
            for (const int32_t code : {9, 4})
                ASSERT_TRUE(done(post(*connection, code))) << connection->Name().toStdString() << ' ' << code;
        }
        uint64_t unread = 0;
        bool wrote = false;
        const auto declare = late->OnGetRow;
        late->OnGetRow = [&](TZvCustomConnection* c) {
            unread = post(*first, 5);
            EXPECT_TRUE(done(unread));
            declare(c);
            wrote = true;
        };
        const uint64_t withdrawn = post(*late, 5);
        ASSERT_TRUE(PumpUntil([&] { return wrote; }));
        EXPECT_EQ(int(control.StateOf(withdrawn)), int(TRequestState::rsWithdrawn));
        late.reset();
        std::vector<uint8_t> norm(kZarvBufferSize), alt;
        uint64_t answerer = 0;
        ASSERT_TRUE(control.Fetch(unread, norm.data(), alt, &answerer));
        EXPECT_EQ(answerer, first->Token());
        ASSERT_GT(alt.size(), 13u);
        EXPECT_EQ(alt[8], 0); // not the end of the data
        const int32_t rowSize = qFromLittleEndian<int32_t>(alt.data() + 9);
        ASSERT_EQ(int64_t(rowSize), int64_t(alt.size()) - 13);
        TZarvDataRow row;
        row.Init(rowSize);
        std::memcpy(row.DataPtr, alt.data() + 13, size_t(rowSize));
        EXPECT_TRUE(row.GetNativeStr(0) == QString(40000, u'a'));
        EXPECT_TRUE(row.GetNativeStr(1) == QString(larger ? 100000 : 200000, u'b'));
    }
}
