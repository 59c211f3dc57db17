#pragma once
// Shared by the data channel tests and their peer program: data connections
// with handlers of a few kinds.
//   "rows":  columns ID (integer), NAME, NOTE (strings); rows 1 one a,
//            2 two (null note), 3 three c.
//   "big":   columns A and B (strings); one row of 40000 "a" and 100000 "b",
//            too large for "ZARVBUFFER" and then for the first overflow
//            block.
//   "huge":  as "big" with 200000 "b": the second overflow block it ends
//            in is larger than that of "big".
//   "raise": as "rows", but writing a row raises.
//   "self":  columns ID (integer), NAME (string); rows 1 to 3 whose NAME is
//            the connection's name, "/" and the ID, so that a reader sees
//            whose answer it holds.
//   "slow":  as "rows", but writing a row prints "inside" on standard
//            output and never returns (a peer to be killed mid-request).
//   "lazy":  as "rows", but declaring the columns takes 50 ms.
//   "nonce<ms>": columns ID (integer), NAME (string); the filter command
//            (6) gives a nonce, and each row's NAME is the connection's name,
//            "/" and that nonce, so that a reader sees which request its
//            answer belongs to. Writing a row prints "ran <nonce> <ms>" (the
//            monotonic clock when it began) and then takes <ms>.
#include "report/model/QpCon.h"
#include "report/model/ZvDirectDataView.h"

#include <cstdio>
#include <stdexcept>

#include <time.h>
#include <unistd.h>

// The monotonic clock in milliseconds, the same in every process.
inline long long MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

inline void ConfigureTestConnection(TZvCustomConnection& connection, const QString& kind)
{
    connection.OnOpen = [](TZvCustomConnection* c) {
        c->SetDataIndex(0);
        c->SetDataRows(3);
    };
    if (kind == QLatin1String("big") || kind == QLatin1String("huge")) {
        const int bCount = kind == QLatin1String("big") ? 100000 : 200000;
        connection.OnOpen = [](TZvCustomConnection* c) {
            c->SetDataIndex(0);
            c->SetDataRows(1);
        };
        connection.OnGetCols = [](TZvCustomConnection* c) {
            c->WriteField(QStringLiteral("A"), TQPDataType::dtString, 0, QString(), QString());
            c->WriteField(QStringLiteral("B"), TQPDataType::dtString, 0, QString(), QString());
        };
        connection.OnGetRow = [bCount](TZvCustomConnection* c) {
            c->WriteStrData(QString(), QString(40000, u'a'));
            c->WriteStrData(QString(), QString(bCount, u'b'));
        };
        return;
    }
    connection.OnGetCols = [](TZvCustomConnection* c) {
        c->WriteField(QStringLiteral("ID"), TQPDataType::dtInteger, 0, QString(), QString());
        c->WriteField(QStringLiteral("NAME"), TQPDataType::dtString, 10, QStringLiteral("Name"), QString());
        c->WriteField(QStringLiteral("NOTE"), TQPDataType::dtString, 0, QString(), QStringLiteral("A note"));
    };
    if (kind.startsWith(QLatin1String("nonce"))) {
        const int delayMs = kind.mid(5).toInt();
        connection.SetLocalFilter(false);
        connection.OnSetFilter = [](TZvCustomConnection* c) { c->GetFilterItem(); };
        connection.OnGetCols = [](TZvCustomConnection* c) {
            c->WriteField(QStringLiteral("ID"), TQPDataType::dtInteger, 0, QString(), QString());
            c->WriteField(QStringLiteral("NAME"), TQPDataType::dtString, 0, QString(), QString());
        };
        connection.OnGetRow = [delayMs](TZvCustomConnection* c) {
            std::printf("ran %s %lld\n", qPrintable(c->FilterFieldData()), MonotonicMs());
            std::fflush(stdout);
            usleep(useconds_t(delayMs) * 1000);
            c->WriteIntData(QString(), c->DataIndex() + 1);
            c->WriteStrData(QString(), c->Name() + QLatin1Char('/') + c->FilterFieldData());
        };
        return;
    }
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

// Sends a nonce to the "nonce" connection of dataCon (command 6) and reads
// a row (command 5): "ok" when the row carries the connection's name and
// the nonce, "failed" when a command was not answered, "wrong" when the
// answer belongs to another request or connection.
inline QString AskNonce(TZarvDataSystem& system, TZarvDataConnection& dataCon, const QString& nonce)
{
    system.PrepareEvent(6);
    system.WriteStr(QStringLiteral("NAME"));
    system.WriteStr(QStringLiteral("="));
    system.WriteStr(nonce);
    system.WriteInt(0);
    system.WriteStr(QString());
    if (!system.CallEvent(0, dataCon) || !system.CallEvent(5, dataCon))
        return QStringLiteral("failed");
    try {
        if (system.ReadBool())
            return QStringLiteral("wrong");
        TZarvDataRow row;
        ReadAnswerRow(system, row);
        return row.GetNativeStr(1) == dataCon.FName + QLatin1Char('/') + nonce ? QStringLiteral("ok")
                                                                               : QStringLiteral("wrong");
    } catch (const std::exception&) {
        return QStringLiteral("wrong");
    }
}
