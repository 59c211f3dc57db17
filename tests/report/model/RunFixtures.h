#pragma once
// Shared by the tests of report runs and of the data channel's control: a
// control whose page is done after a set number of prints, a report canvas
// that runs a report without output and records its pages, names of shared
// objects private to the test process, and a second process that holds the
// channel's mutex.
#include "ProjectFixtures.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"
#include "report/print/QpBase.h"
#include "tests/support/SilentReport.h"

#include "platform/graphics/Graphics.h"

#include <QStringList>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

// Done after Passes prints (never when Passes is below 0); each print is
// logged with the name of its page.
class TPassBox : public TTestBox {
public:
    using TTestBox::TTestBox;
    int Passes() const { return FPasses; }
    void SetPasses(int value) { FPasses = value; }
    void Print(TBaseReport*) override
    {
        ++FPrinted;
        Log << (Page() ? Page()->Name() : QString());
        if (OnPrintHook)
            OnPrintHook();
    }
    bool GetDonePrinting() const override { return FPasses >= 0 && FPrinted >= FPasses; }

    static inline QStringList Log;
    static inline std::function<void()> OnPrintHook;

private:
    int FPasses = 1;
    int FPrinted = 0;
};

inline void RegisterRunForTests()
{
    RegisterProjectForTests();
    if (FindClass(QStringLiteral("TPassBox")))
        return;
    TClassInfo& box = RegisterClass<TPassBox>(QStringLiteral("TPassBox"), QStringLiteral("TTestBox"));
    PublishProperty(box, QStringLiteral("Passes"), TypeInfoInteger(), &TPassBox::Passes, &TPassBox::SetPasses)
        .NoDefault();
}

// A device with a small bitmap canvas and the base device's settings.
class TBitmapDevice : public TQPBaseDevice {
public:
    TBitmapDevice() : FBitmap(10, 10) {}
    TCanvas* GetCanvas() override { return FBitmap.Canvas(); }

private:
    TBitmap FBitmap;
};

// Runs its handlers as a printing canvas does (before-print, page 1, the
// page content, after-print) and draws nothing.
class TRunEngine : public TSilentReport {
public:
    TRunEngine() : TSilentReport(nullptr) { SetLocalDevice(&Device); }
    void Start() override
    {
        FactorDuringRun = UnitsFactor();
        DoBeforePrint();
        FPrinting = true;
        TBaseReport::NewPage();
    }
    void Finish() override
    {
        FPrinting = false;
        DoAfterPrint();
    }

    TBitmapDevice Device;
    double FactorDuringRun = 0;
};

// Gives the data channel's objects names of this test process alone.
class TPrivateChannelNames {
public:
    TPrivateChannelNames()
    {
        FSaved = NamedObjectPrefix;
        NamedObjectPrefix = QStringLiteral("t%1-").arg(getpid());
        GainControlTimeoutMs = 150;
    }
    ~TPrivateChannelNames()
    {
        NamedObjectPrefix = FSaved;
        GainControlTimeoutMs = 5000;
    }

private:
    QString FSaved;
};

// A child process that takes "ZARVCONTROLER" and holds it until Release
// (then gives it back) or, with dieHolding, ends at once without giving it
// back.
class THolderProcess {
public:
    explicit THolderProcess(bool dieHolding = false)
    {
        int up[2];
        int down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            close(up[0]);
            close(down[1]);
            const TSharedHandle mutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
            const TWaitResult taken = WaitNamedObject(mutex, 5000);
            const char held = taken == TWaitResult::wrSignaled || taken == TWaitResult::wrAbandoned ? 'h' : 'n';
            (void)!write(up[1], &held, 1);
            if (!dieHolding) {
                char go = 0;
                (void)!read(down[0], &go, 1);
                ReleaseNamedMutex(mutex);
            }
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        FDown = down[1];
        char held = 0;
        FHeld = read(up[0], &held, 1) == 1 && held == 'h';
        close(up[0]);
        if (dieHolding)
            Wait();
    }
    ~THolderProcess() { Release(); }
    bool Held() const { return FHeld; }
    void Release()
    {
        if (FDown >= 0) {
            (void)!write(FDown, "g", 1);
            close(FDown);
            FDown = -1;
        }
        Wait();
    }

private:
    void Wait()
    {
        if (FPid > 0)
            waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

    pid_t FPid = -1;
    int FDown = -1;
    bool FHeld = false;
};

// Whether another process can take "ZARVCONTROLER" now ('y'), or not ('n').
inline char OtherProcessCanTake()
{
    int fds[2];
    if (pipe(fds) != 0)
        return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const TSharedHandle mutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
        const TWaitResult taken = WaitNamedObject(mutex, 0);
        const char answer = taken == TWaitResult::wrSignaled || taken == TWaitResult::wrAbandoned ? 'y' : 'n';
        if (answer == 'y')
            ReleaseNamedMutex(mutex);
        (void)!write(fds[1], &answer, 1);
        _exit(0);
    }
    close(fds[1]);
    char answer = 0;
    if (read(fds[0], &answer, 1) != 1)
        answer = 0;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return answer;
}
