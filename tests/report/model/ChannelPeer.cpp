// The peer of the data channel tests: a second process with data
// connections. Arguments: the object name prefix, then options, then one
// "name:kind:visibility:rt|dt" per connection (kinds of ChannelFixtures.h,
// visibility 0 none, 1 developer, 2 end user). Prints "ready" once the
// connections listen, and ends when its standard input closes.
//
// Options:
//   --hold             takes the channel's mutex and prints "held" before
//                      "ready" (a holder to be killed).
//   --ask=NAME         takes the channel and, after "ready", opens
//                      connection NAME, prints "asked" and sends it command 4
//                      (a holder to be killed with a request out).
//   --die-at=STEP      ends the process with SIGKILL at the first step STEP
//                      (made, removing, growing) inside the bookkeeping of a
//                      named object.
//   --stress=I,N       one of N stress workers: serves connection "S<I>" and,
//                      until its input closes, runs requests against the
//                      connections of the others (S0 ... S<N-1>), each under
//                      the channel's mutex, printing "run ok|failed|misread
//                      <milliseconds>" after each; then "done".
#include "ChannelFixtures.h"

#include "platform/forms/MessageService.h"
#include "report/model/ZvDirectDataView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QtEndian>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

TSharedStep DieAt = TSharedStep::Made;

void DieHere(TSharedStep step)
{
    if (step == DieAt)
        raise(SIGKILL);
}

// A box of the channel ("Unable to gain control ...") is answered Cancel.
class TCancelEveryBox : public TMessageService {
public:
    int Show(const TMessageBoxRequest&) override { return IDCANCEL; }
};

// One run against connection name: open, columns, every row, restore. False
// when a command was not answered; misread set when an answer was not the
// one the request asked for.
bool StressRun(TZarvDataSystem& system, const QString& name, bool& misread)
{
    TZarvDataConnection con;
    if (!system.OpenDataEvent(name, con))
        return false;
    bool answered = false;
    try {
        misread = con.FName != name;
        if (!misread && system.CallEvent(9, con) && system.CallEvent(4, con)) {
            misread = system.ReadInt() != 2 || system.ReadStr() != QLatin1String("N") ||
                      system.ReadStr() != QLatin1String("ID");
            int id = 1;
            bool more = !misread;
            for (int how = 1; more; how = 2) {
                more = system.CallEvent(how, con);
                if (!more)
                    break;
                if (system.ReadBool()) {
                    answered = id == 4;
                    misread = id != 4;
                    break;
                }
                TZarvDataRow row;
                ReadAnswerRow(system, row);
                const uint8_t* native = row.GetNativePtr(0);
                if (!native || qFromLittleEndian<int32_t>(native) != id ||
                    row.GetNativeStr(1) != name + QStringLiteral("/%1").arg(id)) {
                    misread = true;
                    break;
                }
                ++id;
            }
            answered = answered && system.CallEvent(10, con);
        }
    } catch (const ESheetcaster&) {
        misread = true; // an answer that does not read as the one asked for
    }
    system.CloseDataEvent(con);
    return answered && !misread;
}

void StressLoop(int index, int count, const std::atomic<bool>& stop)
{
    CallEventWaitMs = 20;
    CallEventWaitCount = 100;
    SetMessageService(std::make_unique<TCancelEveryBox>());
    TZarvDataSystem system;
    while (!stop) {
        int other = int(QRandomGenerator::global()->bounded(count - 1));
        if (other >= index)
            ++other;
        QElapsedTimer timer;
        timer.start();
        bool ok = false;
        bool misread = false;
        if (system.GainControl()) {
            ok = StressRun(system, QStringLiteral("S%1").arg(other), misread);
            system.ReleaseControl();
        }
        // Printed at once: the process may be killed any moment.
        std::printf("run %s %lld\n", ok ? "ok" : misread ? "misread" : "failed",
                    static_cast<long long>(timer.elapsed()));
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NamedObjectPrefix = QString::fromLocal8Bit(argv[1]);
    InitDataConnectManager();
    bool hold = false;
    QString ask;
    int stressIndex = -1;
    int stressCount = 0;
    QStringList specs;
    for (int i = 2; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--hold")) {
            hold = true;
        } else if (arg.startsWith(QLatin1String("--ask="))) {
            hold = true;
            ask = arg.mid(6);
        } else if (arg.startsWith(QLatin1String("--die-at="))) {
            const QString step = arg.mid(9);
            DieAt = step == QLatin1String("removing")  ? TSharedStep::Removing
                    : step == QLatin1String("growing") ? TSharedStep::Growing
                                                       : TSharedStep::Made;
            SetSharedObjectsProbe(&DieHere);
        } else if (arg.startsWith(QLatin1String("--stress="))) {
            const QStringList numbers = arg.mid(9).split(u',');
            stressIndex = numbers.value(0).toInt();
            stressCount = numbers.value(1).toInt();
            specs << QStringLiteral("S%1:self:2:rt").arg(stressIndex);
        } else {
            specs << arg;
        }
    }
    std::vector<std::unique_ptr<TZvCustomConnection>> connections;
    for (const QString& spec : specs) {
        const QStringList fields = spec.split(u':');
        TZvCustomConnection::DesignState = fields.value(3) == QLatin1String("dt");
        auto connection = std::make_unique<TZvCustomConnection>(nullptr);
        TZvCustomConnection::DesignState = false;
        connection->SetName(fields.value(0));
        ConfigureTestConnection(*connection, fields.value(1));
        connection->SetRuntimeVisibility(TRuntimeVisibility(fields.value(2).toInt()));
        connections.push_back(std::move(connection));
    }
    std::unique_ptr<TZarvDataSystem> holder;
    if (hold) {
        holder = std::make_unique<TZarvDataSystem>();
        if (holder->GainControl()) {
            std::printf("held\n");
            std::fflush(stdout);
        }

    }
    std::atomic<bool> stop{false};
    std::thread stress;
    if (stressIndex >= 0)
        stress = std::thread([&] { StressLoop(stressIndex, stressCount, stop); });
    std::thread watcher([&stop] {
        char c;
        while (read(0, &c, 1) > 0) {
        }
        stop = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    TZarvDataConnection asked;
    if (holder && !ask.isEmpty() && holder->OpenDataEvent(ask, asked) && holder->CallEvent(9, asked)) {
        std::printf("asked\n");
        std::fflush(stdout);
        holder->CallEvent(4, asked);
    }
    const int result = app.exec();
    if (stress.joinable()) {
        // Requests to this process's own connection may still be handed to
        // this thread while the loop ends its last run.
        std::thread joiner([&] {
            stress.join();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        });
        app.exec();
        joiner.join();
        std::printf("done\n");
        std::fflush(stdout);
    }
    holder.reset();
    connections.clear();
    watcher.join();
    return result;
}
