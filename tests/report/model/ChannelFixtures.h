#pragma once
// Shared by the data channel tests and their peer program: data connections
// with handlers of a few kinds.
//   "rows":  columns ID (integer), NAME, NOTE (strings); rows 1 one a,
//            2 two (null note), 3 three c.
//   "big":   columns A and B (strings); one row of 40000 "a" and 100000 "b",
//            too large for "ZARVBUFFER" and then for the first overflow
//            block.
//   "raise": as "rows", but writing a row raises.
//   "self":  columns ID (integer), NAME (string); rows 1 to 3 whose NAME is
//            the connection's name, "/" and the ID, so that a reader sees
//            whose answer it holds.
//   "slow":  as "rows", but writing a row prints "inside" on standard
//            output and never returns (a peer to be killed mid-request).
//   "lazy":  as "rows", but declaring the columns takes 50 ms.
#include "report/model/QpCon.h"

#include <cstdio>
#include <stdexcept>

#include <unistd.h>

inline void ConfigureTestConnection(TZvCustomConnection& connection, const QString& kind)
{
    connection.OnOpen = [](TZvCustomConnection* c) {
        c->SetDataIndex(0);
        c->SetDataRows(3);
    };
    if (kind == QLatin1String("big")) {
        connection.OnOpen = [](TZvCustomConnection* c) {
            c->SetDataIndex(0);
            c->SetDataRows(1);
        };
        connection.OnGetCols = [](TZvCustomConnection* c) {
            c->WriteField(QStringLiteral("A"), TQPDataType::dtString, 0, QString(), QString());
            c->WriteField(QStringLiteral("B"), TQPDataType::dtString, 0, QString(), QString());
        };
        connection.OnGetRow = [](TZvCustomConnection* c) {
            c->WriteStrData(QString(), QString(40000, u'a'));
            c->WriteStrData(QString(), QString(100000, u'b'));
        };
        return;
    }
    connection.OnGetCols = [](TZvCustomConnection* c) {
        c->WriteField(QStringLiteral("ID"), TQPDataType::dtInteger, 0, QString(), QString());
        c->WriteField(QStringLiteral("NAME"), TQPDataType::dtString, 10, QStringLiteral("Name"), QString());
        c->WriteField(QStringLiteral("NOTE"), TQPDataType::dtString, 0, QString(), QStringLiteral("A note"));
    };
    if (kind == QLatin1String("self")) {
        connection.OnGetCols = [](TZvCustomConnection* c) {
            c->WriteField(QStringLiteral("ID"), TQPDataType::dtInteger, 0, QString(), QString());
            c->WriteField(QStringLiteral("NAME"), TQPDataType::dtString, 0, QString(), QString());
        };
        connection.OnGetRow = [](TZvCustomConnection* c) {
            c->WriteIntData(QString(), c->DataIndex() + 1);
            c->WriteStrData(QString(), c->Name() + QStringLiteral("/%1").arg(c->DataIndex() + 1));
        };
        return;
    }
    if (kind == QLatin1String("slow")) {
        connection.OnGetRow = [](TZvCustomConnection*) {
            std::printf("inside\n");
            std::fflush(stdout);
            for (;;)
                pause();
        };
        return;
    }
    if (kind == QLatin1String("lazy")) {
        auto declare = connection.OnGetCols;
        connection.OnGetCols = [declare](TZvCustomConnection* c) {
            usleep(50'000);
            declare(c);
        };
    }
    const bool raise = kind == QLatin1String("raise");
    connection.OnGetRow = [raise](TZvCustomConnection* c) {
        if (raise)
            throw std::runtime_error("a handler that fails");
        static const char16_t* const names[] = {u"one", u"two", u"three"};
        const int i = c->DataIndex();
        c->WriteIntData(QString(), i + 1);
        c->WriteStrData(QString(), QString::fromUtf16(names[i]));
        if (i == 1)
            c->WriteNullData();
        else
            c->WriteStrData(QString(), i == 0 ? QStringLiteral("a") : QStringLiteral("c"));
    };
}
