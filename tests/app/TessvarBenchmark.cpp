// Start-up cost of the main window: reading its form stream, then FormShow
// (settings read, the 155 gauge types with the "CTSN" code overrides read
// from a real settings file, the 18 bound edits).
//
// StartUpSideBySide starts the program (built beside this benchmark) and,
// in turn with it, a bare Qt window with a tab widget (app_bare_window),
// each with the start-up probe, and times both from process start to their
// first painted window. Run it under a display server (xvfb-run) to see
// what a user sees; without one both use the offscreen platform.
//
//   build/<dir>/tests/app/app_benchmark [--benchmark_filter=...]
//   xvfb-run -a build/<dir>/tests/app/app_benchmark --benchmark_filter=SideBySide
//   (TESSVAR_BENCHMARK_PROGRAM=<path> times another build of the program)
#include "app/Uappclasses.h"
#include "app/Ustartupprobe.h"
#include "app/Utessvar.h"
#include "localization/PEResourceImage.h"
#include "platform/os/DataFolders.h"
#include "resources/ProgramResources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

void WriteSettings()
{
    const QString folder = MapWindowsPath(QStringLiteral("C:\\ProgramData\\Dravinel\\Tessvar\\"));
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("lm_iregistry.ini"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("[Software\\Dravinel\\Tessvar]\nPreview=1\nUnit=0\nUsaUsa=0\n\n"
               "[Software\\Dravinel\\Tessvar\\CTSN]\n1200=ABC\n1201=ABD\n2300=XYZ\n5000=W-1\n7104=W-2\n");
}

// The form stream alone: controls, properties, handlers, pictures; the
// window's destruction is not timed.
void MainWindowForm(benchmark::State& state)
{
    for (auto _ : state) {
        TfTessvar* window = NewForm<TfTessvar>(nullptr);
        state.PauseTiming();
        DestroyForm(window);
        state.ResumeTiming();
    }
}
BENCHMARK(MainWindowForm)->Unit(benchmark::kMillisecond);

void MainWindowStartUp(benchmark::State& state)
{
    for (auto _ : state) {
        TfTessvar* window = NewForm<TfTessvar>(nullptr);
        window->FormShow(window);
        benchmark::DoNotOptimize(window->TypeCatalogue.Count());
        state.PauseTiming();
        DestroyForm(window);
        state.ResumeTiming();
    }
}
BENCHMARK(MainWindowStartUp)->Unit(benchmark::kMillisecond);

// Milliseconds from starting a program with the probe to its "shown" line;
// a negative number when it gave none.
double StartUpTime(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(StartUpProbeVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    while (!process.canReadLine() && process.waitForReadyRead(30000)) {
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    const bool shown = process.readLine().trimmed() == "shown";
    if (!process.waitForFinished(10000))
        process.kill();
    return shown ? ms : -1;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each iteration starts both, in turns of order, so that the load of the
// machine falls on both alike; the iteration time is the program's.
void StartUpSideBySide(benchmark::State& state)
{
    const QString bare = QStringLiteral(TESSVAR_BARE_WINDOW);
    // Another build of the program can be compared through the environment.
    const QString program = qEnvironmentVariableIsSet("TESSVAR_BENCHMARK_PROGRAM")
                                ? qEnvironmentVariable("TESSVAR_BENCHMARK_PROGRAM")
                                : QStringLiteral(TESSVAR_PROGRAM);
    std::vector<double> bareTimes;
    std::vector<double> programTimes;
    bool programFirst = false;
    for (auto _ : state) {
        programFirst = !programFirst;
        double programTime = 0;
        double bareTime = 0;
        if (programFirst) {
            programTime = StartUpTime(program, {});
            bareTime = StartUpTime(bare, {});
        } else {
            bareTime = StartUpTime(bare, {});
            programTime = StartUpTime(program, {});
        }
        if (programTime < 0 || bareTime < 0) {
            state.SkipWithError("a start-up gave no \"shown\" line");
            return;
        }
        programTimes.push_back(programTime);
        bareTimes.push_back(bareTime);
        state.SetIterationTime(programTime / 1000);
    }
    const double programMedian = Median(programTimes);
    const double bareMedian = Median(bareTimes);
    state.counters["bare_ms"] = bareMedian;
    state.counters["tessvar_ms"] = programMedian;
    state.counters["ratio"] = bareMedian > 0 ? programMedian / bareMedian : 0;
}
BENCHMARK(StartUpSideBySide)->Iterations(21)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A private data folder, so that the real user's settings stay untouched
    // (the started programs inherit it).
    QTemporaryDir sandbox;
    qputenv("XDG_DATA_HOME", sandbox.path().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    InitProgramResources(ProgramResourceImageBytes());
    RegisterAppClasses();
    WriteSettings();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
