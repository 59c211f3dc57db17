// The round trip of the data channel between two processes (command 3, end
// of data, answered by a connection of the peer program through its UI
// thread) beside a ping-pong of the same byte counts over two pipes between
// two processes. Each runs twice: on every CPU the process may use, and
// pinned with its peer to one CPU (argument 1). Run by hand (not a ctest
// test: its figures depend on the machine), from a release build:
//   channelbench --benchmark_repetitions=5
#include "report/model/ZvDirectDataView.h"

#include <QCoreApplication>
#include <QProcess>
#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Request: the header and the command code (12 bytes); answer: the header
// and one Bool (9 bytes), as the channel's command 3 moves them.
constexpr int kRequestBytes = 12;
constexpr int kAnswerBytes = 9;

// Pins this process (and the children it starts from now on) to CPU 0, or
// lets it run on every CPU it was given at start.
void Pin(bool pinned)
{
    static cpu_set_t all = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        sched_getaffinity(0, sizeof(set), &set);
        return set;
    }();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof(cpu_set_t), pinned ? &one : &all);
}

void PipePingPong(benchmark::State& state)
{
    Pin(state.range(0) != 0);
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(toChild[1]);
        close(toParent[0]);
        char buffer[64];
        while (read(toChild[0], buffer, kRequestBytes) == kRequestBytes) {
            if (write(toParent[1], buffer, kAnswerBytes) != kAnswerBytes)
                _exit(1);
        }
        _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    char buffer[64] = {};
    for (auto _ : state) {
        if (write(toChild[1], buffer, kRequestBytes) != kRequestBytes ||
            read(toParent[0], buffer, kAnswerBytes) != kAnswerBytes) {
            state.SkipWithError("pipe broken");
            break;
        }
    }
    close(toChild[1]);
    close(toParent[0]);
    waitpid(child, nullptr, 0);
    Pin(false);
}

void ChannelRoundTrip(benchmark::State& state)
{
    Pin(state.range(0) != 0);
    QProcess peer;
    peer.start(QStringLiteral(TESSVAR_CHANNEL_PEER), {NamedObjectPrefix, QStringLiteral("BENCH:rows:2:rt")});
    if (!peer.waitForReadyRead(10000)) {
        state.SkipWithError("no peer");
        return;
    }
    {
        TZarvDataSystem system;
        TZarvDataConnection con;
        if (!system.GainControl() || !system.OpenDataEvent(QStringLiteral("BENCH"), con) ||
            !system.CallEvent(9, con)) {
            state.SkipWithError("the channel did not answer");
        } else {
            for (auto _ : state) {
                if (!system.CallEvent(3, con)) {
                    state.SkipWithError("a round trip was not answered");
                    break;
                }
            }
        }
        system.CloseDataEvent(con);
        if (system.ControlCount() > 0)
            system.ReleaseControl();
    }
    peer.closeWriteChannel();
    peer.waitForFinished(10000);
    Pin(false);
}

BENCHMARK(PipePingPong)->Arg(0)->Arg(1)->MinTime(1.0)->UseRealTime();
BENCHMARK(ChannelRoundTrip)->Arg(0)->Arg(1)->MinTime(1.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NamedObjectPrefix = QStringLiteral("bench%1-").arg(getpid());
    InitDataConnectManager();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
