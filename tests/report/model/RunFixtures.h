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
    // The canvas's own destructor must not reach the device member, which
    // is gone by then.
    ~TRunEngine() override { SetLocalDevice(nullptr); }
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

// A child process that tries to take "ZARVCONTROLER" within waitMs; when
// it does, it holds it holdMs and gives it back, or, with dieHolding, ends
// holding it. The constructor returns once the child has tried.
class TChannelChild {
public:
    TChannelChild(uint32_t waitMs, int holdMs, bool dieHolding = false)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            const TSharedHandle mutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
            const TWaitResult result = WaitNamedObject(mutex, waitMs);
            const bool taken = result == TWaitResult::wrSignaled || result == TWaitResult::wrAbandoned;
            (void)!write(fds[1], taken ? "y" : "n", 1);
            if (taken && !dieHolding) {
                usleep(useconds_t(holdMs) * 1000);
                ReleaseNamedMutex(mutex);
            }
            _exit(0);
        }
        close(fds[1]);
        char answer = 0;
        FTaken = read(fds[0], &answer, 1) == 1 && answer == 'y';
        close(fds[0]);
    }
    ~TChannelChild() { Wait(); }
    bool Taken() const { return FTaken; }
    // Until the child has ended.
    void Wait()
    {
        if (FPid > 0)
            waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

private:
    pid_t FPid = -1;
    bool FTaken = false;
};

// Whether another process can take "ZARVCONTROLER" now ('y') or not ('n').
inline char OtherProcessCanTake()
{
    return TChannelChild(0, 0).Taken() ? 'y' : 'n';
}
