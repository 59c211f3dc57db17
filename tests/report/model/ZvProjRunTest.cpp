#include "report/model/ZvProj.h"

#include "RunFixtures.h"
#include "platform/forms/MessageService.h"
#include "report/model/ZvDefine.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpFormStatus.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpSystem.h"

#include "localization/PEResourceImage.h"
#include "platform/forms/Forms.h"
#include "resources/ProgramResources.h"

#include <QPrinterInfo>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
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
    TZarvPage* AddPage(int passes)
    {
        TZarvPage* page = report->NewPage();
        SetPasses(page, passes);
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
        TChannelChild holder(5000, 1000);
        ASSERT_TRUE(holder.Taken());
        messages.Answer(IDRETRY);
        messages.Answer(IDCANCEL);
        report->Execute(&engine);
    }
    EXPECT_EQ(messages.Shown().size(), 2u);
    EXPECT_TRUE(TPassBox::Log.isEmpty());
    DataSystem = nullptr;
}

// A run controller that shows no window.
class TQuietSystem : public TZvSystem {
public:
    TQuietSystem() : TZvSystem(nullptr)
    {
        TSystemSetups setups = SystemSetups();
        setups.Exclude(TSystemSetup::ssAllowSetup);
        SetSystemSetups(setups);
        OverrideStatus = [](TZvSystem*, TOverrideMode, TCustomForm*&) {};
        OverridePreview = [this](TZvSystem*, TOverrideMode mode, TCustomForm*&) {
            if (mode == TOverrideMode::omShow)
                ++Previews;
        };
    }
    int Previews = 0;
};

TEST_F(ZvProjRunTest, RunOnARunControllerAndInsideItsRunningReport)
{
    TQuietSystem system;
    system.SystemPrinter()->SetUnitsFactor(25.4);
    int ownBeforePrint = 0;
    system.OnBeforePrint = [&](TObject*) { ++ownBeforePrint; };
    report->SetAlwaysGenerate(true);

    // The second report runs inside the first, on the same system: its page
    // prints into the running report.
    TZarvReport* inner = project.NewReport();
    inner->LoadedPage(0)->SetName(QStringLiteral("Inner"));
    SetPasses(inner->LoadedPage(0), 1);
    double factorDuringRun = 0;
    bool innerRan = false;
    TPassBox::OnPrintHook = [&] {
        factorDuringRun = system.SystemPrinter()->UnitsFactor();
        if (!std::exchange(innerRan, true))
            inner->Execute(&system);
    };
    report->Execute(&system);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page1", "Inner"}));
    EXPECT_EQ(factorDuringRun, 1.0);
    EXPECT_EQ(system.SystemPrinter()->UnitsFactor(), 25.4);
    EXPECT_EQ(ownBeforePrint, 1);
    EXPECT_FALSE(bool(system.OnPrint));
    EXPECT_TRUE(bool(system.OnBeforePrint));
    EXPECT_TRUE(system.SystemOptions().Contains(TSystemOption::soUseFiler));
    EXPECT_EQ(system.Previews, 1);
}

// Runs with the run controller's own windows, as the program shows them.
class ZvProjWindowRunTest : public ZvProjRunTest {
protected:
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
        ZvProjRunTest::SetUp();
        InitProgramResources(ProgramResourceImageBytes());
        RegisterReportPrintClasses();
    }

    template <class T> static T* OpenWindow()
    {
        for (TCustomForm* form : ScreenForms()) {
            if (auto* window = dynamic_cast<T*>(form))
                return window;
        }
        return nullptr;
    }

    TScriptedMessages messages;
};

TEST_F(ZvProjWindowRunTest, WithoutEngineARunControllerIsMadeFromTheLibraryDefaults)
{
    ZarvSystemDefaults().AllowSetup = false;
    auto restore = qScopeGuard([] { ZarvSystemDefaults() = TZarvSystemDefaults(); });
    QString caption;
    int shadow = 0;
    double margin = 0;
    QTimer::singleShot(200, [&] {
        if (auto* preview = OpenWindow<TZarvPreviewForm>()) {
            caption = preview->Caption();
            shadow = preview->ZvRenderPreview->ShadowDepth();
            margin = preview->ZvRenderPreview->MarginPercent;
            preview->Close();
        }
    });
    report->Execute(nullptr);
    EXPECT_EQ(TPassBox::Log, QStringList({"Page1"}));
    EXPECT_EQ(caption, QStringLiteral("Report Preview"));
    EXPECT_EQ(shadow, 5);
    EXPECT_EQ(margin, 2.5);
    EXPECT_EQ(OpenWindow<TZarvPreviewForm>(), nullptr);
}

TEST_F(ZvProjWindowRunTest, NeverDonePageEndsOnTheStatusWindowsCancel)
{
    TZvSystem system(nullptr);
    TSystemSetups setups = system.SystemSetups();
    setups.Exclude(TSystemSetup::ssAllowSetup);
    system.SetSystemSetups(setups);
    int previews = 0;
    system.OverridePreview = [&](TZvSystem*, TOverrideMode, TCustomForm*&) { ++previews; };
    SetPasses(page1, -1);
    TPassBox::OnPrintHook = [&] {
        auto* status = OpenWindow<TQpStatusForm>();
        if (TPassBox::Log.size() != 3 || !status)
            return;
        QTimer::singleShot(0,
                           [status] { QTest::mouseClick(status->CancelButton->Widget(), Qt::LeftButton); });
        QTest::qWait(50);
    };
    report->Execute(&system);
    EXPECT_EQ(TPassBox::Log.size(), 3);
    EXPECT_TRUE(system.Aborted);
    EXPECT_EQ(previews, 0);
    EXPECT_EQ(OpenWindow<TQpStatusForm>(), nullptr);
}

} // namespace
