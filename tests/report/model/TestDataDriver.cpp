#include "TestDataDriver.h"

#include <QRegularExpression>

namespace {

struct TPart {
    int32_t Id;
    const char16_t* Name;
    int64_t Price; // times 10000
    const char16_t* Note;
};

constexpr TPart kParts[] = {
    {1, u"Bolt", 15000, u"zinc"}, {2, u"Nut", 2500, nullptr}, {3, u"Washer", 1000, u"flat"}};

class TMemoryConnection : public TDLBaseConnection {
public:
    using TDLBaseConnection::TDLBaseConnection;
    void Connect(const QString& dataSource, const QString&, const QString&, const TStringList&) override
    {
        if (dataSource == QLatin1String("fail"))
            throw Exception(QStringLiteral("The memory table refuses the data source fail."));
    }
    void Disconnect() override {}
    void GetTableNames(TStringList& list) override { list.Add(QStringLiteral("PARTS")); }
};

class TMemoryResultSet : public TDLBaseResultSet {
public:
    using TDLBaseResultSet::TDLBaseResultSet;
    void Open(const QString& queryStr) override
    {
        static const QRegularExpression byId(QStringLiteral("ID=(\\d+)(?: or ID=(\\d+))?$"));
        const QRegularExpressionMatch match = byId.match(queryStr);
        for (const TPart& part : kParts) {
            if (!match.hasMatch() || match.captured(1).toInt() == part.Id ||
                (match.hasCaptured(2) && match.captured(2).toInt() == part.Id))
                FRows.push_back(&part);
        }
    }
    void GetFields(TDLFieldListManager& fields) override
    {
        fields.AllocFieldList(4);
        fields.SetFieldItem(0, QStringLiteral("ID"), 1, 0, QStringLiteral("Part number"), QString());
        fields.SetFieldItem(1, QStringLiteral("NAME"), 0, 20, QStringLiteral("Part name"), QString());
        fields.SetFieldItem(2, QStringLiteral("PRICE"), 4, 0, QStringLiteral("Price"), QString());
        fields.SetFieldItem(3, QStringLiteral("NOTE"), 0, 10, QStringLiteral("note"),
                            QStringLiteral("A note"));
    }
    void Close() override {}
    void First() override { FPos = 0; }
    void Next() override { ++FPos; }
    bool Eof() override { return FPos >= FRows.size(); }
    void WriteRow(const uint8_t* transfer, int32_t count)
    {
        const TPart& part = *FRows.at(FPos);
        const auto wanted = [&](int i) { return i < count && transfer && transfer[i] == 1; };
        FBuffer.Init(4);
        wanted(0) ? FBuffer.WriteLongData(QString(), part.Id) : FBuffer.WriteNullData();
        wanted(1) ? FBuffer.WriteStrData(QString(), QString::fromUtf16(part.Name)) : FBuffer.WriteNullData();
        wanted(2) ? FBuffer.WriteCurrData(QString(), part.Price) : FBuffer.WriteNullData();
        if (wanted(3) && part.Note)
            FBuffer.WriteStrData(QString(), QString::fromUtf16(part.Note));
        else
            FBuffer.WriteNullData();
    }

private:
    std::vector<const TPart*> FRows;
    size_t FPos = 0;
};

class TMemoryDriver : public TDLBaseDriver {
public:
    void Information(TDLInformation& params) override
    {
        params.Resultcode = 0;
        params.Installed = 1;
        params.VerMajor = 1;
        params.VerMinor = 2;
        CopyToWideArray(params.InternalName, 33, QStringLiteral("MEM"));
        CopyToWideArray(params.DisplayName, 256, QStringLiteral("Memory Table"));
    }
    void ResultSetGetRow(TDLResultSetRow& params) override
    {
        auto* resultSet = static_cast<TMemoryResultSet*>(FindResultSet(params.ResultSetHandle));
        if (!resultSet) {
            params.ResultCode = -1;
            return;
        }
        resultSet->WriteRow(params.TransferList, params.TransferCount);
        params.RowBuffer = resultSet->FBuffer.RowBuf();
        params.RowBufSize = resultSet->FBuffer.UsedSize();
        params.ResultCode = 0;
    }
    std::unique_ptr<TDLBaseConnection> CreateConnection() override
    {
        return std::make_unique<TMemoryConnection>(this);
    }
    std::unique_ptr<TDLBaseResultSet> CreateResultSet(TDLBaseConnection* connection) override
    {
        return std::make_unique<TMemoryResultSet>(connection);
    }
};

} // namespace

std::unique_ptr<TDLBaseDriver> MakeMemoryDriver()
{
    return std::make_unique<TMemoryDriver>();
}
