// The memory a preview of the gauge card keeps: the M10 x 1.5 6H limit
// plug's card is previewed as a user does it (Print on the gauge window
// with "Show print preview" ticked, then the preview closed), 5 times to
// warm up and then 50 times more. The figures are the growth of the
// resident set (VmRSS) and of the heap in use over those 50 cycles, in all
// and per cycle; a preview that gives its memory back grows the resident
// set by well under 512 kB in all.
//
// Run by hand on a release build, not by ctest (in a sanitizer build the
// resident set also holds the freed blocks waiting in quarantine; the heap
// figure is then the sanitizer's own count):
//   cmake --build build/rel --target gauges_benchmark && build/rel/tests/gauges/gauges_benchmark
#include "platform/forms/Dialogs.h"
#include "platform/forms/MessageService.h"
#include "report/print/QpFormPreview.h"
#include "tests/gauges/ProgramWindows.h"
#include "tests/support/BenchmarkSandbox.h"
#include "tests/support/HeapInUse.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <benchmark/benchmark.h>

#include <functional>

namespace {

constexpr int kWarmUpCycles = 5;
constexpr int kCycles = 50;
constexpr int kPollMs = 10;
constexpr int kPollTries = 1000; // ten seconds

// The heap in use in kB: what the resident set shows only once the
// allocator's free room is used up.
double HeapKilobytes()
{
    return HeapInUse() / 1024;
}

// Runs action once found() gives a window that is the modal window on top,
// polling the event loop (the caller's modal loop runs it); a window that
// does not come within ten seconds ends the program.
void WhenModal(std::function<TCustomForm*()> found, std::function<void(TCustomForm*)> action,
               int triesLeft = kPollTries)
{
    QTimer::singleShot(kPollMs, [found = std::move(found), action = std::move(action), triesLeft]() mutable {
        TCustomForm* window = found();
        if (window && window->Modal() && window->Widget() == QApplication::activeModalWidget()) {
            action(window);
            return;
        }
        if (triesLeft <= 0)
            qFatal("the window did not show");
        WhenModal(std::move(found), std::move(action), triesLeft - 1);
    });
}

TCustomForm* ThePreview()
{
    for (TCustomForm* form : ScreenForms()) {
        if (auto* preview = dynamic_cast<TZarvPreviewForm*>(form))
            return preview;
    }
    return nullptr;
}

// One preview of the card, opened and closed as the user does it.
void PreviewOnce()
{
    WhenModal(ThePreview, [](TCustomForm* preview) { preview->Close(); });
    QTest::mouseClick(fProcess->bPrint->ButtonWidget(), Qt::LeftButton);
}

void GaugeCardPreview(benchmark::State& state)
{
    for (int i = 0; i < kWarmUpCycles; ++i)
        PreviewOnce();
    const long rssBefore = ResidentKilobytes();
    const double heapBefore = HeapKilobytes();
    for (auto _ : state)
        PreviewOnce();
    const long rssAfter = ResidentKilobytes();
    const double heapGrowth = HeapKilobytes() - heapBefore;
    if (rssBefore < 0 || rssAfter < 0) {
        state.SkipWithError("VmRSS cannot be read");
        return;
    }
    const double cycles = double(state.iterations());
    state.counters["rss_before_kB"] = double(rssBefore);
    state.counters["rss_growth_kB"] = double(rssAfter - rssBefore);
    state.counters["rss_kB_per_cycle"] = double(rssAfter - rssBefore) / cycles;
    state.counters["heap_growth_kB"] = heapGrowth;
    state.counters["heap_kB_per_cycle"] = heapGrowth / cycles;
}
BENCHMARK(GaugeCardPreview)->Iterations(kCycles)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchmarkSandbox sandbox;
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    SetDialogService(std::make_unique<TScriptedDialogService>());
    TScriptedMessages messages;
    const QString projects = QStringLiteral(TESSVAR_REPORT_PROJECT_DIR);
    QDir::setCurrent(projects);
    TProgramWindows windows;

    // The road to the gauge window: the ISO button, the picker's limit
    // plug, then the M10 x 1.5 6H plug calculated and "Show print preview"
    // ticked; the benchmarks run while the gauge window is up.
    WhenModal([] { return static_cast<TCustomForm*>(fCalibreSelect); },
              [](TCustomForm*) {
                  fCalibreSelect->bType1Click(fCalibreSelect->GroupLabels.at(2));
                  QTest::mouseClick(fCalibreSelect->TypeButtons.at(2)->ButtonWidget(), Qt::LeftButton);
              });
    WhenModal([] { return static_cast<TCustomForm*>(fProcess); },
              [](TCustomForm*) {
                  fProcess->dNominale->SetText(QStringLiteral("10"));
                  fProcess->dPasso->SetText(QStringLiteral("1.5"));
                  fProcess->dbTollServ->SetText(QStringLiteral("6H"));
                  QTest::mouseClick(fProcess->sbCalcTol->ToolWidget(), Qt::LeftButton);
                  fTessvar->cPreview->SetChecked(true);
                  benchmark::RunSpecifiedBenchmarks();
                  fProcess->SetModalResult(mrCancel);
              });
    QTest::mouseClick(fTessvar->bISO->ButtonWidget(), Qt::LeftButton);
    benchmark::Shutdown();
    for (const TMessageBoxRequest& box : messages.Shown())
        qWarning("message shown: %s", qPrintable(box.Text));
    return messages.Shown().empty() ? 0 : 1;
}
