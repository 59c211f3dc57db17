// Measures a round trip of the data channel between two processes (one
// command, end of data, answered by a connection of the peer program through
// its UI thread) beside a ping-pong of the same byte counts over two pipes
// between two processes, in one run, and prints both and their ratio.
// Arguments: the number of round trips (default 2000).
#include "report/model/ZvDirectDataView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TTimes {
    double MedianUs = 0;
    double MeanUs = 0;
};

TTimes Summarise(std::vector<qint64>& ns)
{
    std::sort(ns.begin(), ns.end());
    double sum = 0;
    for (qint64 n : ns)
        sum += double(n);
    return {double(ns[ns.size() / 2]) / 1000.0, sum / double(ns.size()) / 1000.0};
}

// Request: the header and the command code (12 bytes); answer: the header
// and one Bool (9 bytes), as the channel's command 3 moves them.
constexpr int kRequestBytes = 12;
constexpr int kAnswerBytes = 9;

TTimes PipePingPong(int rounds)
{
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(toChild[1]);
        close(toParent[0]);
        char buffer[64];
        for (;;) {
            if (read(toChild[0], buffer, kRequestBytes) != kRequestBytes)
                _exit(0);
            if (write(toParent[1], buffer, kAnswerBytes) != kAnswerBytes)
                _exit(1);
        }
    }
    close(toChild[0]);
    close(toParent[1]);
    std::vector<qint64> ns;
    char buffer[64] = {};
    QElapsedTimer timer;
    for (int i = 0; i < rounds + 100; ++i) {
        timer.start();
        if (write(toChild[1], buffer, kRequestBytes) != kRequestBytes ||
            read(toParent[0], buffer, kAnswerBytes) != kAnswerBytes)
            break;
        if (i >= 100)
            ns.push_back(timer.nsecsElapsed());
    }
    close(toChild[1]);
    close(toParent[0]);
    waitpid(child, nullptr, 0);
    return ns.empty() ? TTimes{} : Summarise(ns);
}

TTimes ChannelRoundTrip(int rounds)
{
    QProcess peer;
    peer.start(QStringLiteral(TESSVAR_CHANNEL_PEER), {NamedObjectPrefix, QStringLiteral("BENCH:rows:2:rt")});
    if (!peer.waitForReadyRead(10000))
        return {};
    TZarvDataSystem system;
    TTimes times;
    if (system.GainControl()) {
        TZarvDataConnection con;
        if (system.OpenDataEvent(QStringLiteral("BENCH"), con) && system.CallEvent(9, con)) {
            std::vector<qint64> ns;
            QElapsedTimer timer;
            for (int i = 0; i < rounds + 100; ++i) {
                timer.start();
                if (!system.CallEvent(3, con))
                    break;
                if (i >= 100)
                    ns.push_back(timer.nsecsElapsed());
            }
            if (!ns.empty())
                times = Summarise(ns);
        }
        system.CloseDataEvent(con);
        system.ReleaseControl();
    }
    peer.closeWriteChannel();
    peer.waitForFinished(10000);
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    NamedObjectPrefix = QStringLiteral("bench%1-").arg(getpid());
    InitDataConnectManager();
    const TTimes pipes = PipePingPong(rounds);
    const TTimes channel = ChannelRoundTrip(rounds);
    if (channel.MedianUs <= 0 || pipes.MedianUs <= 0) {
        std::printf("the benchmark could not run\n");
        return 1;
    }
    std::printf("%d round trips\n", rounds);
    std::printf("pipe ping-pong:      median %8.1f us  mean %8.1f us\n", pipes.MedianUs, pipes.MeanUs);
    std::printf("channel round trip:  median %8.1f us  mean %8.1f us\n", channel.MedianUs, channel.MeanUs);
    std::printf("ratio (channel / pipe): median %.2f  mean %.2f\n", channel.MedianUs / pipes.MedianUs,
                channel.MeanUs / pipes.MeanUs);
    return 0;
}
