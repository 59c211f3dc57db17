#include "report/model/ZvProj.h"

#include "RunFixtures.h"
#include "platform/forms/MessageService.h"
#include "report/model/ZvDefine.h"

#include <gtest/gtest.h>

namespace {

class ZvProjRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterRunForTests();
        project.New();
        report = project.ActiveReport();
        page1 = report->LoadedPage(0);
        SetPasses(page1, 1);
        TPassBox::Log.clear();
        TPassBox::OnPrintHook = nullptr;
    }
    void TearDown() override { TPassBox::OnPrintHook = nullptr; }

    // The page's box is done after passes prints (never below 0).
    static void SetPasses(TZarvPage* page, int passes)
    {
        const QString name = page->Name() + QStringLiteral("Box");
        auto* box = static_cast<TPassBox*>(page->FindComponent(name));
        if (!box)
            box = MakeOn<TPassBox>(page, name);
        box->SetPasses(passes);
    }
    TZarvPage* AddPage(int passes, TGotoMode mode = TGotoMode::gmGotoDone, TZarvPage* gotoPage = nullptr)
    {
        TZarvPage* page = report->NewPage();
        SetPasses(page, passes);
        page->SetGotoMode(mode);
        page->SetGotoPage(gotoPage);
        return page;
    }

    TZarvProjectManager project{nullptr};
    TZarvReport* report = nullptr;
    TZarvPage* page1 = nullptr;
    TRunEngine engine;
};

TEST_F(ZvProjRunTest, PageFlow)
{
    // MaxPages caps a page that is never done.
    SetPasses(page1, -1);
    report->SetMaxPages(2);
    report->Execute(&engine);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page1", "Page1"}));
    EXPECT_EQ(engine.CurrentPage(), 2);

    // gmGotoDone without a page to go to: until done, then the end.
    TPassBox::Log.clear();
    report->SetMaxPages(0);
    SetPasses(page1, 3);
    report->Execute(&engine);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page1", "Page1", "Page1"}));

    // gmCallEach: A calls B, B runs until done, A comes back from the stack;
    // when A is done it goes to B once more.
    TPassBox::Log.clear();
    TZarvPage* pageB = AddPage(2);
    SetPasses(page1, 2);
    page1->SetGotoMode(TGotoMode::gmCallEach);
    page1->SetGotoPage(pageB);
    report->Execute(&engine);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page1", "Page2", "Page2", "Page1", "Page2"}));
}

TEST_F(ZvProjRunTest, PageListPrintsInListOrderAndIgnoresFirstPage)
{
    TZarvPage* page2 = AddPage(1);
    TZarvPage* page3 = AddPage(1);
    report->SetFirstPage(page3);
    TZarvComponentList list;
    list.Add(page2);
    list.Add(page1);
    list.Add(page3);
    report->SetPageList(&list);
    report->Execute(&engine);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page2", "Page1", "Page3"}));
    EXPECT_EQ(engine.CurrentPage(), 3);
}

TEST_F(ZvProjRunTest, PrinterSettingsReachTheEngine)
{
    engine.SetCollate(true);
    report->Execute(&engine); // pcDefault leaves the engine's setting
    EXPECT_TRUE(engine.Collate());
    engine.SetCollate(false);
    report->Execute(&engine);
    EXPECT_FALSE(engine.Collate());

    report->SetCollate(TZarvPrinterCollate::pcTrue);
    report->SetDuplex(TZarvPrinterDuplex::pdHorizontal);
    report->SetCopies(3);
    report->Execute(&engine);
    EXPECT_TRUE(engine.Collate());
    EXPECT_EQ(engine.Duplex(), TDuplex::dupHorizontal); // by name, not by number
    EXPECT_EQ(engine.Copies(), 3);
}

TEST_F(ZvProjRunTest, UnitsFactorIsOneDuringTheRunAndPutBack)
{
    bool beforePrintCalled = false;
    engine.OnBeforePrint = [&](TObject*) { beforePrintCalled = true; };
    engine.SetUnitsFactor(25.4);
    report->Execute(&engine);
    EXPECT_EQ(engine.FactorDuringRun, 1.0);
    EXPECT_EQ(engine.UnitsFactor(), 25.4);
    EXPECT_TRUE(beforePrintCalled); // the engine's own handler still runs

    TPassBox::OnPrintHook = [] { throw EZarvException(QStringLiteral("box failed")); };
    EXPECT_THROW(report->Execute(&engine), EZarvException);
    EXPECT_EQ(engine.UnitsFactor(), 25.4);
    EXPECT_FALSE(bool(engine.OnPrint));
    EXPECT_TRUE(bool(engine.OnBeforePrint));
    EXPECT_EQ(report->ExecProject(), nullptr);
    EXPECT_EQ(ZarvReportRunning, 0);
}

TEST_F(ZvProjRunTest, RunLeavesTheLoadedProjectAndRefusesToReenter)
{
    project.SetParam(QStringLiteral("Customer"), QStringLiteral("Ann"));
    const QByteArray before = SaveProject(project);
    QString seenParam;
    TZarvProjectManager* running = nullptr;
    QString reentry;
    TPassBox::OnPrintHook = [&] {
        running = report->ExecProject();
        seenParam = running->GetParam(QStringLiteral("Customer"));
        // Something made while running belongs to the copy alone.
        running->ActiveReport() ? running->ActiveReport()->NewPage() : running->NewGlobalPage();
        TRunEngine other;
        try {
            report->Execute(&other);
        } catch (const EZarvException& error) {
            reentry = error.Message();
        }
    };
    report->Execute(&engine);
    EXPECT_NE(running, nullptr);
    EXPECT_NE(running, &project);
    EXPECT_EQ(seenParam, QStringLiteral("Ann"));
    EXPECT_EQ(reentry, QStringLiteral("The report \"Report1\" is already running."));
    EXPECT_EQ(SaveProject(project), before);
    EXPECT_EQ(report->ExecProject(), nullptr);
}

TEST_F(ZvProjRunTest, RunHoldsTheDataChannel)
{
    TPrivateChannelNames names;
    TScriptedMessages messages;
    TZarvDataSystem channel;
    DataSystem = &channel;
    int countDuringRun = -1;
    char otherDuringRun = 0;
    TPassBox::OnPrintHook = [&] {
        countDuringRun = channel.ControlCount();
        otherDuringRun = OtherProcessCanTake();
    };
    report->Execute(&engine);
    EXPECT_EQ(countDuringRun, 1);
    EXPECT_EQ(otherDuringRun, 'n');
    EXPECT_EQ(channel.ControlCount(), 0);
    EXPECT_EQ(OtherProcessCanTake(), 'y');
    EXPECT_TRUE(channel.AutoUpdate());

    // While another process holds the channel the run waits, asks, and is
    // skipped without a message of its own.
    TPassBox::Log.clear();
    {
        THolderProcess holder;
        ASSERT_TRUE(holder.Held());
        messages.Answer(IDRETRY);
        messages.Answer(IDCANCEL);
        report->Execute(&engine);
    }
    EXPECT_EQ(messages.Shown().size(), 2u);
    EXPECT_TRUE(TPassBox::Log.isEmpty());
    DataSystem = nullptr;
}

} // namespace
