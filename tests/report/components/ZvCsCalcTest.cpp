// The calculation components: aggregates over what they are fed, the
// functions and operators on extended values, the conversations that feed
// and reset them, and where variables hand their values.
#include "platform/rtl/Streams.h"
#include "report/components/ZvCsData.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvUtil.h"

#include "ComponentFixtures.h"

#include <QHash>

#include <cmath>
#include <limits>

namespace {

struct Fed {
    double Value;
    const char* Text;
};

TEST(CalcAggregateTest, AccumulatesAsItsTypeSays)
{
    const struct {
        TZarvCalcType Type;
        bool CountBlanks;
        const char* CountValue;
        std::vector<Fed> Values;
        double Total;
        int Count;
        double Result;
    } rows[] = {
        // 1-2: the first value is taken, then only smaller (larger) ones.
        {TZarvCalcType::ctMin, true, "", {{5, ""}, {3, ""}, {3, ""}, {7, ""}}, 3, 1, 3},
        {TZarvCalcType::ctMax, true, "", {{5, ""}, {3, ""}, {3, ""}, {7, ""}}, 7, 1, 7},
        // 3: zeros are not counted without CountBlanks: 6 / 2.
        {TZarvCalcType::ctAverage, false, "", {{4, ""}, {0, ""}, {2, ""}}, 6, 2, 3},
        // 4: only texts equal to CountValue count.
        {TZarvCalcType::ctCount, true, "Y", {{1, "Y"}, {1, "N"}, {1, "Y"}}, 0, 2, 2},
        // 5: a 0 counts only when its text is CountValue (empty): "" yes, "0" no.
        {TZarvCalcType::ctCount, false, "", {{0, ""}, {0, "0"}}, 0, 1, 1},
        // 6: a sum counts nothing; a minimum of nothing is 0.
        {TZarvCalcType::ctSum, true, "", {{1.5, ""}, {2, ""}}, 3.5, 0, 3.5},
        {TZarvCalcType::ctMin, true, "", {}, 0, 0, 0},
    };
    int n = 0;
    for (const auto& row : rows) {
        ++n;
        TZarvExtended total = 0;
        int32_t count = 0;
        for (const Fed& fed : row.Values)
            Accumulate(total, count, row.Type, row.CountBlanks, QString::fromLatin1(row.CountValue),
                       fed.Value, QString::fromLatin1(fed.Text));
        EXPECT_EQ(double(total), row.Total) << "row " << n;
        EXPECT_EQ(count, row.Count) << "row " << n;
        EXPECT_EQ(double(CalcResult(count, row.Type, total)), row.Result) << "row " << n;
    }
}

TEST(CalcFunctionTest, FunctionsLeaveTheirArgumentWhenTheyFail)
{
    using F = TZarvCalcFunction;
    const struct {
        int Function;
        long double X;
        double Expected;
    } rows[] = {
        {int(F::cfRound), 2.5L, 2},
        {int(F::cfRound), 3.5L, 4}, // ties to even
        {int(F::cfRound1), 0.26L, 0.3},
        {int(F::cfTrunc), -2.7L, -2},
        {int(F::cfSqrt), -4, -4},
        {int(F::cfSqrt), 9, 3},
        {int(F::cfTrunc), 1e30L, 1e30},                                    // beyond 64 bits: unchanged
        {128 + int(F::cfRound), 2.5L, 2},                                  // taken modulo 128
        {26, 2.5L, 2.5},                                                   // no such function
        {int(F::cfSqr), 1e3000L, std::numeric_limits<double>::infinity()}, // not finite: unchanged
        {int(F::cfPercent), 0.25L, 25},
        {int(F::cfHoursToTime), 12, 0.5},
    };
    int n = 0;
    for (const auto& row : rows) {
        ++n;
        const TZarvExtended result = ApplyCalcFunction(row.Function, row.X);
        if (std::isinf(row.Expected))
            EXPECT_EQ(result, row.X) << "row " << n;
        else
            EXPECT_DOUBLE_EQ(double(result), row.Expected) << "row " << n;
    }
}

// Keeps the PIVars a report sets, as the snapshot writer does.
class PIVarCanvas : public ComponentCanvas {
public:
    using ComponentCanvas::ComponentCanvas;
    QString PIVar(const QString& name) override { return FVars.value(name); }
    void SetPIVar(const QString& name, const QString& value) override { FVars[name] = value; }

private:
    QHash<QString, QString> FVars;
};

class ZvCsCalcTest : public ComponentTest {
protected:
    TZarvCalcOp* Op(const QString& name, TZarvCalcOperator op, double a, double b)
    {
        auto* calc = new TZarvCalcOp(Page);
        calc->SetName(name);
        calc->SetOperator(op);
        calc->SetSrcValue(0, a);
        calc->SetSrcValue(1, b);
        return calc;
    }
};

TEST_F(ZvCsCalcTest, OperatorsGiveZeroWhenTheyFail)
{
    using O = TZarvCalcOperator;
    const struct {
        O Operator;
        double A, B, Expected;
    } rows[] = {
        {O::coMod, 7.9, 2.2, 1},
        {O::coMod, -7.9, 2.2, -1},                 // remainder with the sign of a
        {O::coMod, 7.9, 0.4, 0},                   // b truncates to 0
        {O::coMod, -9223372036854775808.0, -1, 0}, // the quotient does not fit
        {O::coMod, 1e30, 7, 0},                    // a beyond 64 bits
        {O::coExp, 2, 10, 1024},
        {O::coExp, -2, 2, 0},
        {O::coDiv, 1, 0, 0},
        {O::coDiv, 1, 4, 0.25},
        {O::coGreater, 2, 3, 3},
        {O::coLesser, 2, 3, 2},
        {O::coAverage, 2, 3, 2.5},
    };
    int n = 0;
    for (const auto& row : rows) {
        ++n;
        TZarvCalcOp* op = Op(QStringLiteral("Op%1").arg(n), row.Operator, row.A, row.B);
        EXPECT_NEAR(double(op->Value()), row.Expected, 1e-12) << "row " << n;
    }
}

TEST_F(ZvCsCalcTest, ControllerResetsAndFeedsItsAggregates)
{
    auto* controller = new TZarvCalcController(Page);
    controller->SetName(QStringLiteral("Ctl"));
    controller->SetInitValue(2.9);
    auto* count = new TZarvCalcTotal(Page);
    count->SetName(QStringLiteral("Count1"));
    count->SetCalcType(TZarvCalcType::ctCount);
    count->SetInitializer(controller);
    controller->Print(&Canvas);
    EXPECT_EQ(count->Count(), 2); // 2.9 truncated

    // A count fed by the controller compares each value's text with CountValue.
    const auto countOf = [&](const QString& countValue) {
        auto* total = new TZarvCalcTotal(Page);
        total->SetName(QStringLiteral("Count") + countValue);
        total->SetCalcType(TZarvCalcType::ctCount);
        total->SetController(controller);
        total->SetDataField(QStringLiteral("\"Y\""));
        total->SetCountValue(countValue);
        return total;
    };
    TZarvCalcTotal* yes = countOf(QStringLiteral("Y"));
    TZarvCalcTotal* no = countOf(QStringLiteral("N"));

    auto* sum = Add<TZarvCalcText>(QStringLiteral("Sum1"));
    sum->SetController(controller);
    sum->SetDataField(QStringLiteral("\"2\""));
    sum->SetDisplayFormat(QStringLiteral("0"));
    Project.SetPrinting(true);
    for (bool running : {false, true}) {
        sum->SetRunningTotal(running);
        for (int i = 0; i < 2; ++i) {
            controller->Print(&Canvas);
            sum->Print(&Canvas);
        }
    }
    auto* average = Add<TZarvCalcText>(QStringLiteral("Avg1"));
    average->SetCalcType(TZarvCalcType::ctAverage);
    average->Print(&Canvas);
    Project.SetPrinting(false);
    EXPECT_EQ(Texts(), QStringList({"2", "2", "2", "4", "undefined"}));
    EXPECT_EQ(yes->Count(), 4);
    EXPECT_EQ(no->Count(), 0);
    EXPECT_EQ(sum->GetText(), QStringLiteral("Sum(\"2\")"));
    delete controller; // the aggregates forget it
    EXPECT_EQ(sum->Controller(), nullptr);
}

TEST_F(ZvCsCalcTest, VariablesReachLaterDataTextsAndCyclesGiveZero)
{
    TZarvCalcOp* five = Op(QStringLiteral("Five"), TZarvCalcOperator::coAdd, 2, 3);
    five->SetDestParam(QStringLiteral("P"));
    five->SetDestPIVar(QStringLiteral("V"));
    five->SetDisplayFormat(QStringLiteral("0.0"));
    TZarvCalcOp* a = Op(QStringLiteral("A"), TZarvCalcOperator::coAdd, 0, 0);
    TZarvCalcOp* b = Op(QStringLiteral("B"), TZarvCalcOperator::coAdd, 0, 0);
    a->SetSrcCalcVar(0, b);
    b->SetSrcCalcVar(0, a);
    a->SetDestParam(QStringLiteral("C"));
    a->SetDisplayFormat(QStringLiteral("0"));
    PIVarCanvas canvas(&Device);
    Project.SetBaseReport(&canvas);
    canvas.Begin();
    five->Print(&canvas);
    a->Print(&canvas);
    Project.SetPrinting(true);
    for (const char* field : {"PARAM.P", "PIVAR.V", "PARAM.C"}) {
        auto* text = Add<TZarvDataText>(QStringLiteral("T%1").arg(QLatin1String(field).mid(6)));
        text->SetDataField(QString::fromLatin1(field));
        text->Print(&canvas);
    }
    Project.SetPrinting(false);
    Project.SetBaseReport(&Canvas);
    QStringList texts;
    for (const QString& call : canvas.Calls)
        if (!call.section(u'"', 1, 1).isEmpty())
            texts << call.section(u'"', 1, 1);
    EXPECT_EQ(texts, QStringList({"5.0", "5.0", "0"}));
}

TEST_F(ZvCsCalcTest, OlderFilesNameTheControllerControllerBand)
{
    auto* controller = new TZarvCalcController(Page);
    controller->SetName(QStringLiteral("Ctl"));
    controller->SetParent(Page);
    auto* sum = Add<TZarvCalcText>(QStringLiteral("Sum1"));
    TMemoryStream stream;
    {
        TStreamHelper out(stream);
        TZarvWriter writer(out);
        out.WriteByte(kRecordMarker);
        out.WriteString(QStringLiteral("TZarvCalcText"));
        out.WriteString(QStringLiteral("Sum1"));
        out.WriteByte(kTagObject);
        writer.WritePropName(QStringLiteral("ControllerBand"));
        writer.WriteID(QStringLiteral("Page1.Ctl"));
        out.WriteString(QString());
        out.WriteIndex(0);
    }
    stream.SetPosition(0);
    TStreamHelper in(stream);
    TZarvReader reader(in);
    ASSERT_TRUE(reader.ReadIntoComponent(sum));
    EXPECT_EQ(sum->Controller(), controller);
}

} // namespace
