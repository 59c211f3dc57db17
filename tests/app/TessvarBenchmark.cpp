// Start-up cost of the main window: reading its form stream, then FormShow
// (settings read, the 155 gauge types with their "CTSN" look-ups, the 18
// bound edits). The settings file holds a few code overrides, so every
// look-up reads a real file.
//
//   build/<dir>/tests/app/app_benchmark [--benchmark_filter=...]
#include "app/Uappclasses.h"
#include "app/Utessvar.h"
#include "localization/PEResourceImage.h"
#include "platform/os/DataFolders.h"
#include "resources/ProgramResources.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

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

// The form stream alone: controls, properties, handlers, pictures.
void MainWindowForm(benchmark::State& state)
{
    for (auto _ : state)
        DestroyForm(NewForm<TfTessvar>(nullptr));
}
BENCHMARK(MainWindowForm)->Unit(benchmark::kMillisecond);

void MainWindowStartUp(benchmark::State& state)
{
    for (auto _ : state) {
        TfTessvar* window = NewForm<TfTessvar>(nullptr);
        window->FormShow(window);
        benchmark::DoNotOptimize(window->TypeCatalogue.Count());
        DestroyForm(window);
    }
}
BENCHMARK(MainWindowStartUp)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A private data folder, so that the real user's settings stay untouched.
    QTemporaryDir sandbox;
    qputenv("XDG_DATA_HOME", sandbox.path().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
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
