// The preview window moving through a long report and a short one: the
// same steps on a snapshot of 9,999 pages and on one of 10, both read from
// their files, so that the ratio of the two shows what a step costs for the
// report's length. Each page carries a heading, 12 lines of text and a rule,
// as a page of a data report does. The steps: opening the window at page 1
// (as the report system opens it, and by File > Open, which reads every page
// first), Next from page 1, Previous and Next near the end, First from the
// middle, Last, Go to Page to the middle, and printing the last page but
// one to PDF from the window. The figure is the CPU time of the step.
//
// File > Open and Next from page 1 again on snapshots of pages of forty
// ruled table lines (RuledReport.h), of 10, 1,000 and 9,999 pages: these
// files are dense with small values, so the cost of reading them value by
// value shows. The figure read_calls is the read system calls of the
// process (/proc/self/io) per step, and bytes the file's size.
//
// File > Open of 9,999 ruled pages is timed beside a plain loop of 64 KiB
// reads of the same file, the two run in turn in each iteration: the
// figures open_ms and read_loop_ms are their CPU times (the thread's,
// kernel time included) and open_per_read_loop their ratio.
//
// The memory benchmark moves 1,000 times between pages 1 and 2 of one open
// preview (so First and Previous turn grey and back every time) and gives
// the growth of the resident set (VmRSS) and of the heap in use.
//
// Run by hand on a release build, not by ctest:
//   cmake --build build/rel --target previewpages_benchmark &&
//   build/rel/tests/report/print/previewpages_benchmark
#include "PdfSystem.h"
#include "RuledReport.h"

#include "report/print/QpFiler.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"
#include "report/print/QpSystem.h"

#include "localization/PEResourceImage.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/Streams.h"
#include "resources/ProgramResources.h"
#include "tests/support/BenchmarkSandbox.h"
#include "tests/support/HeapInUse.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kLong = 9999;
constexpr int kShort = 10;
constexpr int kLinesPerPage = 12;
constexpr int kMoves = 1000;
constexpr int kWarmUpMoves = 50;

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

QString PathOf(const QString& name)
{
    return QDir(Folder().path()).filePath(name);
}

void PrintShortPages(TBaseReport& writer, int pages)
{
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.NewPage();
        writer.SetFont(QStringLiteral("Arial"), 14);
        writer.PrintXY(1, 1, QStringLiteral("Inspection record, page %1").arg(page));
        writer.SetFont(QStringLiteral("Arial"), 10);
        for (int line = 0; line < kLinesPerPage; ++line)
            writer.PrintXY(1, 1.5 + 0.25 * line,
                           QStringLiteral("Gauge %1-%2   pitch diameter 9.0%3 mm   passed")
                               .arg(page)
                               .arg(line)
                               .arg(line % 10));
        writer.MoveTo(1, 5);
        writer.LineTo(7.5, 5);
    }
}

using TPrintPages = void (*)(TBaseReport&, int);

// The snapshot file of a report of that many pages, written once.
QString SnapshotFile(int pages, TPrintPages print = PrintShortPages)
{
    const QString kind = print == PrintShortPages ? QStringLiteral("pages") : QStringLiteral("ruled");
    const QString path = PathOf(QStringLiteral("%1%2.zsf").arg(kind).arg(pages));
    if (QFile::exists(path))
        return path;
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.OnPrint = [&](TObject*) { print(writer, pages); };
    writer.Execute();
    stream.SaveToFile(path);
    return path;
}

// The read system calls this process has made, less those that reading
// the count itself makes.
double ReadCallCount()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = io.readLine(); !line.isEmpty(); line = io.readLine()) {
        if (line.startsWith("syscr:"))
            return line.mid(6).trimmed().toDouble();
    }
    return -1;
}

double ReadCalls()
{
    static const double own = [] {
        const double first = ReadCallCount();
        return ReadCallCount() - first;
    }();
    static double counted = 0;
    counted += own;
    return ReadCallCount() - counted;
}

// A preview window as the report system opens it: the snapshot file opened
// read-only by the window, page 1 shown.
struct TPreview {
    explicit TPreview(int pages, TPrintPages print = PrintShortPages)
    {
        Form = NewForm<TZarvPreviewForm>(nullptr);
        Form->ReportSystem = &System;
        Form->SetBounds(0, 0, 800, 600);
        Form->InputFileName = SnapshotFile(pages, print);
        Form->Show();
        Form->InitFromQPSystem();
        Form->UpdateControls();
    }
    ~TPreview() { DestroyForm(Form); }
    TPreview(const TPreview&) = delete;
    TPreview& operator=(const TPreview&) = delete;

    void Show(int page)
    {
        Form->ZvRenderPreview->RenderPage(page);
        Form->UpdateControls();
    }
    void Command(TAction* action) { action->QtAction()->trigger(); }

    TZvSystem System{nullptr};
    TZarvPreviewForm* Form = nullptr;
};

int PagesOf(const benchmark::State& state)
{
    return int(state.range(0));
}

// Runs step in a preview of the report, each time from the page start
// gives (shown untimed first).
void PageStep(benchmark::State& state, const std::function<int(int)>& start,
              const std::function<void(TPreview&, int)>& step, TPrintPages print = PrintShortPages)
{
    const int pages = PagesOf(state);
    TPreview preview(pages, print);
    double reads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        preview.Show(start(pages));
        const double before = ReadCalls();
        state.ResumeTiming();
        step(preview, pages);
        state.PauseTiming();
        reads += ReadCalls() - before;
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    state.counters["read_calls"] = reads / double(state.iterations());
}

void OpenAtPage1(benchmark::State& state)
{
    const int pages = PagesOf(state);
    SnapshotFile(pages);
    for (auto _ : state) {
        TPreview preview(pages);
        state.PauseTiming();
        preview.Form->Close();
        state.ResumeTiming();
    }
}

void OpenFile(benchmark::State& state, TPrintPages print)
{
    const int pages = PagesOf(state);
    const QString file = SnapshotFile(pages, print);
    TPreview preview(kShort);
    const double before = ReadCalls();
    for (auto _ : state)
        preview.Form->OpenFile(file);
    state.counters["read_calls"] = (ReadCalls() - before) / double(state.iterations());
    state.counters["bytes"] = double(QFileInfo(file).size());
}

void FileOpen(benchmark::State& state)
{
    OpenFile(state, PrintShortPages);
}

void NextFromPage1(benchmark::State& state)
{
    PageStep(
        state, [](int) { return 1; }, [](TPreview& p, int) { p.Command(p.Form->actnPage_Next); });
}

void NextNearTheEnd(benchmark::State& state)
{
    PageStep(
        state, [](int pages) { return pages - 2; },
        [](TPreview& p, int) { p.Command(p.Form->actnPage_Next); });
}

void PreviousNearTheEnd(benchmark::State& state)
{
    PageStep(
        state, [](int pages) { return pages - 1; },
        [](TPreview& p, int) { p.Command(p.Form->actnPage_Previous); });
}

void FirstFromTheMiddle(benchmark::State& state)
{
    PageStep(
        state, [](int pages) { return (pages + 1) / 2; },
        [](TPreview& p, int) { p.Command(p.Form->actnPage_First); });
}

void Last(benchmark::State& state)
{
    PageStep(
        state, [](int) { return 1; }, [](TPreview& p, int) { p.Command(p.Form->actnPage_Last); });
}

// Go to Page, answered with the middle page (5,000 of 9,999; 5 of 10).
void GoToTheMiddle(benchmark::State& state)
{
    auto* dialogs = static_cast<TScriptedDialogService*>(&DialogService());
    PageStep(
        state, [](int) { return 1; },
        [dialogs](TPreview& p, int pages) {
            dialogs->Answer(true, QString::number((pages + 1) / 2));
            RequireOwned<TMenuItem>(p.Form, "mnuPageGoto")->QtAction()->trigger();
        });
}

// File > Print of the last page but one into a PDF file.
void PrintLastButOneToPdf(benchmark::State& state)
{
    const QString pdf = PathOf(QStringLiteral("page.pdf"));
    PageStep(
        state, [](int) { return 1; },
        [&pdf](TPreview& p, int pages) {
            TSystemSetups setups = p.System.SystemSetups();
            setups.Exclude(TSystemSetup::ssAllowPreviewSetup);
            p.System.SetSystemSetups(setups);
            TZvRenderPrinter* printer = p.Form->ZvRenderPrinter;
            printer->SetOutputFileName(pdf);
            printer->SetFirstPage(pages - 1);
            printer->SetLastPage(pages - 1);
            p.Command(p.Form->actnFile_Print);
        });
}

// File > Open and Next from page 1 on pages of forty ruled lines.
void FileOpenRuled(benchmark::State& state)
{
    OpenFile(state, PrintRuledPages);
}

// The CPU time of the calling thread, seconds.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Reads the file through in blocks of 64 KiB, as cat does.
void ReadLoop(const QString& file)
{
    static std::vector<char> block(65536);
    const int handle = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return;
    while (::read(handle, block.data(), block.size()) > 0) {
    }
    ::close(handle);
}

void FileOpenRuledBesideReadLoop(benchmark::State& state)
{
    const int pages = PagesOf(state);
    const QString file = SnapshotFile(pages, PrintRuledPages);
    TPreview preview(kShort);
    preview.Form->OpenFile(file);
    double open = 0;
    double loop = 0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        preview.Form->OpenFile(file);
        const double opened = ThreadSeconds();
        ReadLoop(file);
        const double read = ThreadSeconds();
        open += opened - start;
        loop += read - opened;
        state.SetIterationTime(opened - start);
    }
    const double n = double(state.iterations());
    state.counters["open_ms"] = open / n * 1000;
    state.counters["read_loop_ms"] = loop / n * 1000;
    state.counters["open_per_read_loop"] = loop > 0 ? open / loop : 0;
}

void NextFromPage1Ruled(benchmark::State& state)
{
    PageStep(
        state, [](int) { return 1; }, [](TPreview& p, int) { p.Command(p.Form->actnPage_Next); },
        PrintRuledPages);
}

#define PAGE_BENCHMARK(step)                                                                                 \
    BENCHMARK(step)->Arg(kShort)->Arg(kLong)->Unit(benchmark::kMillisecond)->MinTime(0.5)
PAGE_BENCHMARK(OpenAtPage1);
PAGE_BENCHMARK(FileOpen);
PAGE_BENCHMARK(NextFromPage1);
PAGE_BENCHMARK(NextNearTheEnd);
PAGE_BENCHMARK(PreviousNearTheEnd);
PAGE_BENCHMARK(FirstFromTheMiddle);
PAGE_BENCHMARK(Last);
PAGE_BENCHMARK(GoToTheMiddle);
PAGE_BENCHMARK(PrintLastButOneToPdf);
BENCHMARK(FileOpenRuled)->Arg(kShort)->Arg(1000)->Arg(kLong)->Unit(benchmark::kMillisecond)->MinTime(0.5);
PAGE_BENCHMARK(NextFromPage1Ruled);
BENCHMARK(FileOpenRuledBesideReadLoop)
    ->Arg(kLong)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

// Next and Previous in turn between pages 1 and 2, the window painted after
// each move as the event loop does.
void MovesBetweenPages1And2(benchmark::State& state)
{
    TPreview preview(kShort);
    auto move = [&preview](int i) {
        preview.Command(i % 2 == 0 ? preview.Form->actnPage_Next : preview.Form->actnPage_Previous);
        QApplication::processEvents();
    };
    for (int i = 0; i < kWarmUpMoves; ++i)
        move(i);
    const long rssBefore = ResidentKilobytes();
    const double heapBefore = HeapInUse();
    int moves = 0;
    for (auto _ : state)
        move(moves++);
    const long rssAfter = ResidentKilobytes();
    state.counters["rss_growth_kB"] = double(rssAfter - rssBefore);
    state.counters["heap_growth_kB"] = (HeapInUse() - heapBefore) / 1024;
    state.counters["rss_before_kB"] = double(rssBefore);
}
BENCHMARK(MovesBetweenPages1And2)->Iterations(kMoves)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    TBenchmarkSandbox sandbox;
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    InitProgramResources(ProgramResourceImageBytes());
    RegisterReportPrintClasses();
    SetDialogService(std::make_unique<TScriptedDialogService>());
    TScriptedMessages messages;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const TMessageBoxRequest& box : messages.Shown())
        qWarning("message shown: %s", qPrintable(box.Text));
    return messages.Shown().empty() ? 0 : 1;
}
