#include "report/model/ZvDefine.h"

#include "ModelFixtures.h"
#include "platform/objects/ClassRegistry.h"

#include <gtest/gtest.h>

namespace {

QStringList RunLog;

} // namespace

TEST(ZvDefine, RegistrationProceduresRunInOrderByKey)
{
    RunLog.clear();
    RegisterZarvProc(QStringLiteral("ZVTEST"), [] { RunLog << "a"; });
    RegisterZarvProc(QStringLiteral("OTHERTEST"), [] { RunLog << "b"; });
    RegisterZarvProc(QStringLiteral("zvTest"), [] { RunLog << "c"; });

    RunZarvProcs(QStringLiteral("zvtest")); // keys compare without regard to case
    EXPECT_EQ(RunLog, QStringList({"a", "c"}));
    RunZarvProcs(QStringLiteral("ZVTEST")); // procedures stay recorded
    EXPECT_EQ(RunLog, QStringList({"a", "c", "a", "c"}));

    // "*" runs every procedure whatever its key, in recording order (the
    // model's own registration among them, which runs again harmlessly).
    RegisterModelForTests();
    RunLog.clear();
    RunZarvProcs(QStringLiteral("*"));
    EXPECT_EQ(RunLog, QStringList({"a", "b", "c"}));
    RunLog.clear();
    RunZarvProcs(QStringLiteral("NOSUCHKEY"));
    EXPECT_TRUE(RunLog.isEmpty());
}

TEST(ZvDefine, ModuleClassRegistry)
{
    RegisterModelForTests();
    // The model's base classes are recorded under "ZvClass"; the first
    // registration of a class name wins.
    EXPECT_EQ(FindClassModule(QStringLiteral("TZarvControl")), "ZvClass");
    EXPECT_EQ(FindClassModule(QStringLiteral("tzarvcontrol")), "ZvClass");
    RegisterZarvModuleClasses(QStringLiteral("Other"), {FindClass(QStringLiteral("TZarvControl"))});
    EXPECT_EQ(FindClassModule(QStringLiteral("TZarvControl")), "ZvClass");
    EXPECT_EQ(FindClassModule(QStringLiteral("TNeverRegistered")), "");

    // An unregistered descendant answers its nearest recorded ancestor.
    EXPECT_EQ(FindRegisteredClassName(FindClass(QStringLiteral("TTestText"))), "TTestBox");
    EXPECT_EQ(FindRegisteredClassName(FindClass(QStringLiteral("TTestLine"))), "TZarvControl");
    EXPECT_EQ(FindRegisteredClassName(FindClass(QStringLiteral("TComponent"))), "");
    EXPECT_EQ(FindRegisteredClassName(nullptr), "");

    // The published properties of the base classes, in stream order after
    // the framework's.
    QStringList names;
    for (const TPropInfo* prop : FindClass(QStringLiteral("TZarvControl"))->Properties())
        names << prop->Name;
    EXPECT_EQ(names, QStringList({"Name", "Tag", "Locked", "DevLocked", "Visible", "OnBeforeReport",
                                  "OnAfterReport", "OnBeforePrint", "OnAfterPrint", "Anchor", "Mirror",
                                  "DisplayOn", "MirrorOverride"}));
}

TEST(ZvDefine, HooksWithoutAnEngine)
{
    EXPECT_EQ(LoadModuleHook(nullptr, nullptr, nullptr), nullptr);
    BindModuleComponentsHook(nullptr);
    BindModuleExternalsHook(nullptr);
    RegisterNativeFuncHook(nullptr, QStringLiteral("INTTOSTR"), QStringLiteral("SYSFUNC"));
    EXPECT_EQ(MapPropertyName(nullptr, QStringLiteral("Font")), "Font");

    TZarvCompileStatus status;
    status.ErrorMsg = QStringLiteral("Unknown identifier");
    try {
        ReportCompileError(&status);
        FAIL() << "nothing raised";
    } catch (const EZarvException& e) {
        EXPECT_EQ(e.Message(), "Unknown identifier");
    }
    ReportCompileError(nullptr);

    // While a report runs its private copy, the designer hears of nothing.
    int added = 0;
    ComponentAddedProc = [&added](TZarvComponent*) { ++added; };
    ComponentAdded(nullptr);
    ZarvReportRunning = 1;
    ComponentAdded(nullptr);
    ZarvReportRunning = 0;
    ComponentAddedProc = nullptr;
    EXPECT_EQ(added, 1);
}
