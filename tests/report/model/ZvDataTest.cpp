#include "report/model/ZvData.h"

#include "DataFixtures.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/SilentReport.h"

#include <gtest/gtest.h>

namespace {

class ZvDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDataForTests();
        project.New();
        letters = MakeView(project, QStringLiteral("Letters"), {QStringLiteral("Name")},
                           {{"A"}, {"B"}, {"C"}, {"D"}, {"E"}, {"F"}});
    }

    QString Current() { return letters->FieldByName(QStringLiteral("Name"))->AsString(); }

    TZarvProjectManager project{nullptr};
    TTestView* letters = nullptr;
};

// A canvas that is printing page 3.
class TPageThreeReport : public TSilentReport {
public:
    TPageThreeReport() : TSilentReport(nullptr)
    {
        FPrinting = true;
        FCurrentPage = 3;
    }
    QString PIVar(const QString& name) override
    {
        return name == u"Total" ? QStringLiteral("12") : QString();
    }
};

TEST_F(ZvDataTest, SavedRowsAreReplayedThenTheSourceGoesOn)
{
    letters->First();
    letters->SaveState();
    QStringList recorded;
    for (int i = 0; i < 3; ++i) {
        letters->Next();
        recorded << Current();
    }
    EXPECT_EQ(recorded, QStringList({"B", "C", "D"}));
    EXPECT_THROW(letters->SaveState(), EZarvException);
    letters->RestoreState();
    EXPECT_THROW(letters->RestoreState(), EZarvException);

    QStringList replayed{Current()};
    while (!letters->Eof()) {
        letters->Next();
        replayed << (letters->Eof() ? QStringLiteral("eof") : Current());
    }
    EXPECT_EQ(replayed, QStringList({"A", "B", "C", "D", "E", "F", "eof"}));
}

TEST_F(ZvDataTest, LookingAheadDoesNotMove)
{
    letters->First();
    EXPECT_TRUE(letters->CheckRowsLeft(2));
    EXPECT_TRUE(letters->CheckBeforeEOF());
    EXPECT_EQ(Current(), QStringLiteral("A"));
    for (int i = 0; i < 5; ++i)
        letters->Next();
    EXPECT_EQ(Current(), QStringLiteral("F"));
    EXPECT_FALSE(letters->CheckRowsLeft(2));
    EXPECT_FALSE(letters->CheckBeforeEOF());
    EXPECT_EQ(Current(), QStringLiteral("F"));
    EXPECT_FALSE(letters->Eof());
    letters->Next();
    EXPECT_TRUE(letters->Eof());
    EXPECT_TRUE(letters->FieldByName(QStringLiteral("Name"))->IsNull());
}

TEST_F(ZvDataTest, ExpressionsJoinLiteralsFieldsAndValues)
{
    TTestView* orders =
        MakeView(project, QStringLiteral("Orders"),
                 {QStringLiteral("First Name"), QStringLiteral("Last"), QStringLiteral("Empty")},
                 {{"Ann", "Lee", ""}});
    orders->First();
    TPageThreeReport report;
    project.SetBaseReport(&report);
    struct Row {
        const char* text;
        const char* expected;
    };
    // Expected values follow the joining rules: "&" puts one blank after a
    // value that is not empty, "+" none.
    const Row rows[] = {
        {"'Dear' & Orders.<First Name> & 'x'", "Dear Ann x"},
        {"'A' & Empty & 'B'", "A B"},
        {"\"it''s\" + Last;", "it''sLee"},
        {"'it''s'", "it's"},
        {"PARAM.Title(Orders.Last)", "Lee"},
        {"PARAM.Title(Orders.Last) & 'x'", "Lee x"},
        {"REPORT.CurrentPage", "3"},
        {"report.currentpage + '/' + PIVAR.Total", "3/12"},
        {"REPORT.Foo", "(invalid)"},
        {"Nobody.Last", "(invalid)"},
        {"Missing", "(invalid)"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(EvaluateText(orders, orders, QString::fromUtf8(row.text)), QString::fromUtf8(row.expected))
            << row.text;
    project.SetParam(QStringLiteral("Title"), QStringLiteral("Dr"));
    EXPECT_EQ(EvaluateText(orders, orders, QStringLiteral("PARAM.Title(Orders.Last)")), QStringLiteral("Dr"));
    project.SetBaseReport(nullptr);
}

TEST_F(ZvDataTest, DeepNestingIsBounded)
{
    const QString deep = QStringLiteral("PARAM.X(").repeated(200) + u'\'' + u'v' + u'\'' + QString(200, u')');
    EXPECT_TRUE(EvaluateText(letters, letters, deep).contains(QStringLiteral("(invalid)")));
    EXPECT_EQ(EvaluateText(letters, letters, QString(100000, u'(')), QStringLiteral("(invalid)"));
    // Within the bound the innermost default comes through.
    const QString fine = QStringLiteral("PARAM.X(").repeated(5) + QStringLiteral("'v'") + QString(5, u')');
    EXPECT_EQ(EvaluateText(letters, letters, fine), QStringLiteral("v"));

    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) { EvaluateText(letters, letters, QString::fromLatin1(bytes)); },
        {"'a' & Letters.Name + PARAM.X(REPORT.CurrentPage & \"q\") & <b c>;",
         "((PIVAR.y)+Name)&Letters.<Name>"},
        1.0);
    EXPECT_GT(stats.runs, 100);
}

TEST_F(ZvDataTest, FieldsAreRenamedWithTheView)
{
    TTestView* view = MakeView(project, QStringLiteral("View1"), {QStringLiteral("Order Date")}, {});
    TZarvDataField* field = view->FieldByName(QStringLiteral("View1.Order Date"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->Name(), QStringLiteral("View1Order_Date"));
    view->SetName(QStringLiteral("Orders"));
    EXPECT_EQ(field->Name(), QStringLiteral("OrdersOrder_Date"));
}

TEST_F(ZvDataTest, LookupAndMasterDetailPassTheirLists)
{
    TTestView* users =
        MakeView(project, QStringLiteral("Users"), {QStringLiteral("User"), QStringLiteral("Pass")},
                 {{"ann", "pw1"}, {"bob", "pw2"}});
    QString result;
    LookupValue(users, QStringLiteral("bob"), nullptr, QStringLiteral("User"), QStringLiteral("Pass + '!'"),
                QStringLiteral("none"), result);
    EXPECT_EQ(result, QStringLiteral("pw2!"));
    LookupValue(users, QStringLiteral("carl"), nullptr, QStringLiteral("User"), QStringLiteral("Pass"),
                QStringLiteral("none"), result);
    EXPECT_EQ(result, QStringLiteral("none"));
    EXPECT_EQ(users->Log, QStringList({"filter User=bob", "filter", "filter User=carl", "filter"}));

    TTestView* orders = MakeView(project, QStringLiteral("Orders"), {QStringLiteral("OrderNo")}, {{"7"}});
    TTestView* items = MakeView(project, QStringLiteral("Items"),
                                {QStringLiteral("OrderNo"), QStringLiteral("Kind"), QStringLiteral("Item")},
                                {{"6", "x", "nail"}, {"7", "x", "screw"}});
    orders->First();
    SetupDetailView(items, QStringLiteral("Items.OrderNo+Kind"), orders, QStringLiteral("OrderNo+'x'"),
                    QStringLiteral("Item+<Order No>"));
    EXPECT_EQ(items->Log, QStringList({"sort Item Order No", "filter OrderNo=7(field) Kind=x"}));
    EXPECT_EQ(items->FieldByName(QStringLiteral("Item"))->AsString(), QStringLiteral("screw"));
}

} // namespace
