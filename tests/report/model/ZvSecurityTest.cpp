#include "report/model/ZvSecurity.h"

#include "DataFixtures.h"

#include <gtest/gtest.h>

namespace {

class ZvSecurityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDataForTests();
        project.New();
    }

    TZarvProjectManager project{nullptr};
};

TEST_F(ZvSecurityTest, SimpleListComparesPasswordsByCaseMatters)
{
    auto* security = static_cast<TZarvSimpleSecurity*>(
        project.NewDataObject(FindClass(QStringLiteral("TZarvSimpleSecurity"))));
    TStrings users;
    users.Add(QStringLiteral("Ann=Secret"));
    users.Add(QStringLiteral("Bob="));
    security->SetUserList(&users);

    EXPECT_TRUE(security->IsValidUser(QStringLiteral("ann"), QStringLiteral("secret")));
    security->SetCaseMatters(true);
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("Ann"), QStringLiteral("secret")));
    EXPECT_TRUE(security->IsValidUser(QStringLiteral("ANN"), QStringLiteral("Secret")));
    // An empty password is never valid, not even against an empty one.
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("Bob"), QString()));
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("Carl"), QStringLiteral("x")));
}

TEST_F(ZvSecurityTest, LookupFindsThePasswordInAViewAndRemovesItsFilter)
{
    TTestView* view =
        MakeView(project, QStringLiteral("Users"), {QStringLiteral("User"), QStringLiteral("Pass")},
                 {{"ann", "pw1"}, {"bob", "pw2"}});
    auto* security = static_cast<TZarvLookupSecurity*>(
        project.NewDataObject(FindClass(QStringLiteral("TZarvLookupSecurity"))));
    security->SetDataView(view);
    security->SetUserField(QStringLiteral("User"));
    security->SetPasswordField(QStringLiteral("Pass"));

    EXPECT_TRUE(security->IsValidUser(QStringLiteral("bob"), QStringLiteral("pw2")));
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("bob"), QStringLiteral("PW2")));
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("carl"), QStringLiteral("x")));
    EXPECT_FALSE(security->IsValidUser(QStringLiteral("ann"), QString()));
    EXPECT_EQ(view->Log.last(), QStringLiteral("filter"));
    EXPECT_EQ(FindClassModule(QStringLiteral("TZarvLookupSecurity")), QStringLiteral("ZvData"));

    project.DeleteItem(view, false);
    EXPECT_EQ(security->DataView(), nullptr);
}

} // namespace
