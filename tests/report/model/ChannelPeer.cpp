// The peer of the data channel tests: a second process with data
// connections. Arguments: the object name prefix, then options, then one
// "name:kind:visibility:rt|dt" per connection (kinds of ChannelFixtures.h,
// visibility 0 none, 1 developer, 2 end user). Prints "ready", the
// milliseconds that making the connections took and the monotonic clock
// (MonotonicMs) once they listen, and ends when its standard input closes.
//
// Options:
//   --hold             takes the channel's mutex and prints "held" before
//                      "ready" (a holder to be killed).
//   --ask=NAME         takes the channel and, after "ready", opens
//                      connection NAME, prints "asked" and the monotonic clock
//                      and sends it command 4
//                      (a holder to be killed with a request out).
//   --ask-nonce=NAME   as --ask, but sends the nonce "asker" and asks for a
//                      row (commands 6 and 5).
//   --stop-asking      with --ask, stops the process (SIGSTOP) inside making
//                      the first named object of the ask (the data event of
//                      NAME), to be continued by the test.
//   --die-at=STEP      ends the process with SIGKILL at the first step STEP
//                      (made, removing, growing) inside the bookkeeping of a
//                      named object: made from the start, removing and
//                      growing once the process is ready (before, its first
//                      open sweeps what processes of the user that ended
//                      left, which removes their files).
//   --worker           makes the connections on a thread of their own, so that
//                      their worker threads serve them and hand commands to
//                      the UI thread.
//   --renamed          starts each connection under another name and then
//                      gives it its own.
//   --stress=I,N       one of N stress workers: serves connection "S<I>" (a
//                      "nonce" connection whose rows take 0, 400 or 1000 ms
//                      by I) and,
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

// Stops the process once, at the next object it makes.
void StopOnce(TSharedStep step)
{
    if (step != TSharedStep::Made)
        return;
    SetSharedObjectsProbe(nullptr);
    raise(SIGSTOP);
}

// A box of the channel ("Unable to gain control ...") is answered Cancel.
class TCancelEveryBox : public TMessageService {
public:
    int Show(const TMessageBoxRequest&) override { return IDCANCEL; }
};

// One run against connection name: open, columns, a row for a nonce of
// this run, restore. False when a command was not answered; misread set
// when an answer was not the one the request asked for, refused when the
// connection's process was replaced meanwhile and its successor refused a
// request made to the one before.
bool StressRun(TZarvDataSystem& system, const QString& name, bool& misread, bool& refused)
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
            const QString nonce = QString::number(QRandomGenerator::global()->generate64(), 36);
            const QString result = misread ? QStringLiteral("wrong") : AskNonce(system, con, nonce);
            misread = result == QLatin1String("wrong");
            answered = result == QLatin1String("ok") && system.CallEvent(10, con);
        }
    } catch (const ESheetcaster& error) {
        // Anything but the refusal is an answer that does not read as the
        // one asked for.
        refused = error.Message().contains(QLatin1String("is now answered by another process"));
        misread = !refused;
        if (misread)
            std::printf("why %s\n", qPrintable(QString(error.Message()).replace(QLatin1Char('\n'), u' ')));
    }
    system.CloseDataEvent(con);
    return answered && !misread;
}

void StressLoop(int index, int count, const std::atomic<bool>& stop)
{
    CallEventWaitMs = 20;
    CallEventWaitCount = 75; // 1.5 s a command: a 1 s row is answered
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
        bool refused = false;
        if (system.GainControl()) {
            ok = StressRun(system, QStringLiteral("S%1").arg(other), misread, refused);
            system.ReleaseControl();
        }
        // Printed at once: the process may be killed any moment.
        std::printf("run %s %lld\n", ok ? "ok" : misread ? "misread" : refused ? "refused" : "failed",
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
    bool askNonce = false;
    bool onWorker = false;
    bool renamed = false;
    bool stopAsking = false;
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
        } else if (arg.startsWith(QLatin1String("--ask-nonce="))) {
            hold = true;
            ask = arg.mid(12);
            askNonce = true;
        } else if (arg == QLatin1String("--worker")) {
            onWorker = true;
        } else if (arg == QLatin1String("--stop-asking")) {
            stopAsking = true;
        } else if (arg == QLatin1String("--renamed")) {
            renamed = true;
        } else if (arg.startsWith(QLatin1String("--die-at="))) {
            const QString step = arg.mid(9);
            DieAt = step == QLatin1String("removing")  ? TSharedStep::Removing
                    : step == QLatin1String("growing") ? TSharedStep::Growing
                                                       : TSharedStep::Made;
            if (DieAt == TSharedStep::Made)
                SetSharedObjectsProbe(&DieHere);
        } else if (arg.startsWith(QLatin1String("--stress="))) {
            const QStringList numbers = arg.mid(9).split(u',');
            stressIndex = numbers.value(0).toInt();
            stressCount = numbers.value(1).toInt();
            // Handlers of no time, 400 ms and 1 s.
            static const int delaysMs[] = {0, 400, 1000};
            specs << QStringLiteral("S%1:nonce%2:2:rt").arg(stressIndex).arg(delaysMs[stressIndex % 3]);
        } else {
            specs << arg;
        }
    }
    std::vector<std::unique_ptr<TZvCustomConnection>> connections;
    const auto makeConnections = [&] {
        for (const QString& spec : specs) {
            const QStringList fields = spec.split(u':');
            TZvCustomConnection::DesignState = fields.value(3) == QLatin1String("dt");
            auto connection = std::make_unique<TZvCustomConnection>(nullptr);
            TZvCustomConnection::DesignState = false;
            connection->SetName(renamed ? fields.value(0) + QStringLiteral("_BEFORE") : fields.value(0));
            ConfigureTestConnection(*connection, fields.value(1));
            connection->SetRuntimeVisibility(TRuntimeVisibility(fields.value(2).toInt()));
            if (renamed)
                connection->SetName(fields.value(0));
            connections.push_back(std::move(connection));
        }
    };
    QElapsedTimer making;
    making.start();
    if (onWorker)
        std::thread(makeConnections).join();
    else
        makeConnections();
    const long long makingMs = making.elapsed();
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
    std::printf("ready %lld %lld\n", makingMs, MonotonicMs());
    std::fflush(stdout);
    if (DieAt != TSharedStep::Made)
        SetSharedObjectsProbe(&DieHere);
    TZarvDataConnection asked;
    if (stopAsking)
        SetSharedObjectsProbe(&StopOnce);
    if (holder && !ask.isEmpty() && holder->OpenDataEvent(ask, asked) && holder->CallEvent(9, asked)) {
        std::printf("asked %lld\n", MonotonicMs());
        std::fflush(stdout);
        if (askNonce && holder->CallEvent(4, asked))
            AskNonce(*holder, asked, QStringLiteral("asker"));
        else
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
