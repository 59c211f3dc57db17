// The peer of the data channel tests: a second process with data
// connections. Arguments: the object name prefix, then one "name:kind:
// visibility:rt|dt" per connection (kinds of ChannelFixtures.h, visibility
// 0 none, 1 developer, 2 end user). Prints "ready" once the connections
// listen, and ends when its standard input closes.
#include "ChannelFixtures.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NamedObjectPrefix = QString::fromLocal8Bit(argv[1]);
    InitDataConnectManager();
    std::vector<std::unique_ptr<TZvCustomConnection>> connections;
    for (int i = 2; i < argc; ++i) {
        const QStringList spec = QString::fromLocal8Bit(argv[i]).split(u':');
        TZvCustomConnection::DesignState = spec.value(3) == QLatin1String("dt");
        auto connection = std::make_unique<TZvCustomConnection>(nullptr);
        TZvCustomConnection::DesignState = false;
        connection->SetName(spec.value(0));
        ConfigureTestConnection(*connection, spec.value(1));
        connection->SetRuntimeVisibility(TRuntimeVisibility(spec.value(2).toInt()));
        connections.push_back(std::move(connection));
    }
    std::thread watcher([] {
        char c;
        while (read(0, &c, 1) > 0) {
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    usleep(100000);
    std::printf("ready\n");
    std::fflush(stdout);
    const int result = app.exec();
    connections.clear();
    watcher.join();
    return result;
}
