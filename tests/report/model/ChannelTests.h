#pragma once
// Shared by the tests of the data connection's files: a peer process with
// data connections (the program of ChannelPeer.cpp), and the fixture of a
// data system and connections of this process under names private to the
// test.
#include "ChannelFixtures.h"
#include "DataFixtures.h"
#include "RunFixtures.h"
#include "report/model/QpCon.h"
#include "report/model/ZvDirectDataView.h"

#include "platform/forms/MessageService.h"
#include "platform/os/SharedObjects.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

// A peer process with connections "name:kind:visibility:rt|dt" (and the
// options of ChannelPeer.cpp).
class TPeer {
public:
    // Starts it and waits for it to be ready, unless waitReady is false.
    explicit TPeer(const QStringList& specs, bool waitReady = true)
    {
        FProcess.start(QStringLiteral(TESSVAR_CHANNEL_PEER), QStringList{NamedObjectPrefix} + specs);
        if (waitReady)
            WaitReady(10000);
    }
    // Waits at most ms for it to be ready; whether it is.
    bool WaitReady(int ms)
    {
        FReady = FReady || WaitFor("ready", ms);
        if (FReady && FStartupMs < 0) {
            FStartupMs = FLines.last().trimmed().split(' ').value(1).toLongLong();
            FReadyAtMs = LastLineTime();
        }
        return FReady;
    }
    ~TPeer()
    {
        FProcess.closeWriteChannel();
        if (!FProcess.waitForFinished(10000))
            FProcess.kill();
        FProcess.waitForFinished(1000);
    }
    bool Ready() const { return FReady; }
    // How long making its connections took, in milliseconds.
    qint64 StartupMs() const { return FStartupMs; }
    // When it was ready, on the monotonic clock (MonotonicMs).
    qint64 ReadyAtMs() const { return FReadyAtMs; }
    // The clock reading that ends the last line read ("ready", "asked").
    qint64 LastLineTime() const
    {
        return FLines.isEmpty() ? -1 : FLines.last().trimmed().split(' ').last().toLongLong();
    }
    pid_t Pid() const { return pid_t(FProcess.processId()); }
    // Reads lines until one starts with text; false when none came in time.
    bool WaitFor(const char* text, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            while (FProcess.canReadLine()) {
                const QByteArray line = FProcess.readLine();
                FLines << line;
                if (line.startsWith(text))
                    return true;
            }
            if (!FProcess.waitForReadyRead(int(std::max<qint64>(1, ms - timer.elapsed()))) ||
                timer.elapsed() >= ms)
                break;
        }
        while (FProcess.canReadLine()) {
            const QByteArray line = FProcess.readLine();
            FLines << line;
            if (line.startsWith(text))
                return true;
        }
        return false;
    }
    void Signal(int signal) { kill(pid_t(FProcess.processId()), signal); }
    // SIGKILL, as a task manager ends a program.
    void Kill()
    {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
    // Waits for the end; true when a signal ended the process.
    bool Crashed()
    {
        FProcess.waitForFinished(10000);
        return FProcess.exitStatus() == QProcess::CrashExit;
    }
    int ExitCode()
    {
        FProcess.closeWriteChannel();
        FProcess.waitForFinished(10000);
        return FProcess.exitCode();
    }
    // Closes its input and returns the rest of its output once it ended.
    QByteArray Finish(int ms)
    {
        FProcess.closeWriteChannel();
        FProcess.waitForFinished(ms);
        return FProcess.readAll();
    }
    bool Running() const { return FProcess.state() == QProcess::Running; }
    // Everything it printed so far (after "ready").
    QByteArray Output()
    {
        QByteArray out;
        for (const QByteArray& line : FLines)
            if (!line.startsWith("ready"))
                out += line;
        FLines.clear();
        return out + FProcess.readAllStandardOutput();
    }
    void CloseInput() { FProcess.closeWriteChannel(); }
    QByteArray Errors() { return FProcess.readAllStandardError(); }

private:
    QProcess FProcess;
    bool FReady = false;
    qint64 FStartupMs = -1;
    qint64 FReadyAtMs = -1;
    QList<QByteArray> FLines;
};

class TChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDataForTests();
        RecordDirectDataViewProcs();
        RunZarvProcs(QStringLiteral("ZVCL"));
        InitDataConnectManager();
        system = std::make_unique<TZarvDataSystem>();
        DataSystem = system.get();
        CallEventWaitMs = 4;
        DiscoveryWaitMs = 1000; // room for a busy machine
    }
    void TearDown() override
    {
        system.reset();
        CallEventWaitMs = 100;
        CallEventWaitCount = 600;
        DiscoveryWaitMs = 250;
    }

    // A connection of this process, configured as kind.
    std::unique_ptr<TZvCustomConnection> Local(const QString& name, const QString& kind)
    {
        auto connection = std::make_unique<TZvCustomConnection>(nullptr);
        connection->SetName(name);
        ConfigureTestConnection(*connection, kind);
        return connection;
    }
    // Opens the connection and sends command 9.
    bool Open(const QString& name, TZarvDataConnection& dataCon)
    {
        return system->OpenDataEvent(name, dataCon) && system->CallEvent(9, dataCon);
    }
    // The same, and asks for the columns (command 4).
    bool OpenColumns(const QString& name, TZarvDataConnection& dataCon)
    {
        return Open(name, dataCon) && system->CallEvent(4, dataCon);
    }
    // Rows of "rows" connections as "id name note" texts, with command 1
    // then 2 until the end.
    QStringList ReadRows(TZarvDataConnection& dataCon)
    {
        QStringList rows;
        for (int how = 1; system->CallEvent(how, dataCon) && !system->ReadBool(); how = 2) {
            TZarvDataRow row;
            ReadAnswerRow(*system, row);
            const uint8_t* id = row.GetNativePtr(0);
            rows << QStringLiteral("%1 %2 %3")
                        .arg(id ? QString::number(qFromLittleEndian<int32_t>(id)) : QStringLiteral("-"),
                             row.GetNativeStr(1),
                             row.GetNativePtr(2) ? row.GetNativeStr(2) : QStringLiteral("-"));
        }
        return rows;
    }

    // A row larger than the buffer arrives in ALT1, and grows into ALT2 in
    // the same answer; the next answer is back in "ZARVBUFFER". bCount: the
    // "b" of the connection's kind ("big" or "huge").
    void CheckLargeRow(const QString& name, int bCount = 100000)
    {
        TZarvDataConnection big;
        ASSERT_TRUE(Open(name, big));
        ASSERT_TRUE(system->CallEvent(4, big));
        ASSERT_TRUE(system->CallEvent(1, big));
        TZarvBufferInfo info;
        system->GetBufferInfo(info);
        EXPECT_EQ(info.FileMap, 2);
        EXPECT_EQ(qFromLittleEndian<int32_t>(system->NormFileBuf() + 4), 2);
        EXPECT_FALSE(system->ReadBool());
        TZarvDataRow row;
        ReadAnswerRow(*system, row);
        EXPECT_EQ(row.GetNativeStr(0), QString(40000, u'a'));
        EXPECT_EQ(row.GetNativeStr(1), QString(bCount, u'b'));
        ASSERT_TRUE(system->CallEvent(3, big));
        EXPECT_FALSE(system->ReadBool()); // the one row is still current
        system->GetBufferInfo(info);
        EXPECT_EQ(info.FileMap, 0);
        EXPECT_EQ(info.FileBuf, system->NormFileBuf());
        system->CloseDataEvent(big);
    }

    // Objects of this test's own names from now on (the data system is
    // closed; MakeSystem opens the next).
    void UsePrefix(const QString& tag)
    {
        system.reset();
        DataSystem = nullptr;
        NamedObjectPrefix = QStringLiteral("t%1-%2-").arg(getpid()).arg(tag);
    }
    void MakeSystem()
    {
        system = std::make_unique<TZarvDataSystem>();
        DataSystem = system.get();
    }
    // One run against a "rows" connection of another process, under the
    // channel's control: its rows, within the time-outs of the channel.
    QStringList RunAgainst(const QString& name)
    {
        QStringList rows;
        if (!system->GainControl())
            return {QStringLiteral("no control")};
        TZarvDataConnection dataCon;
        if (Open(name, dataCon) && system->CallEvent(4, dataCon) && system->ReadInt() == 3)
            rows = ReadRows(dataCon);
        system->CloseDataEvent(dataCon);
        system->ReleaseControl();
        return rows;
    }
    const QStringList kRows{QStringLiteral("1 one a"), QStringLiteral("2 two -"), QStringLiteral("3 three c")};

    TPrivateChannelNames names;
    TScriptedMessages messages;
    std::unique_ptr<TZarvDataSystem> system;
};
