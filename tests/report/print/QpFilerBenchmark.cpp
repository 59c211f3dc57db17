// A report of 1,000 pages of text, lines and boxes, written into a snapshot
// in memory and read back onto a render target that draws nothing. Rates
// are counted in pages.
#include "report/print/QpFiler.h"
#include "report/print/QpRender.h"

#include "platform/rtl/Streams.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kPages = 1000;

// Forty lines of a table row: three tab boxes with text, a rule under each
// line and a frame round the page.
void PrintReport(TZvZSFWriter& w)
{
    w.SetFont(QStringLiteral("Arial"), 10);
    for (int page = 1; page <= kPages; ++page) {
        if (page > 1)
            w.NewPage();
        w.ClearTabs();
        w.SetTab(1, TPrintJustify::pjLeft, 2, 5, 15, 0);
        w.SetTab(-1, TPrintJustify::pjCenter, 2, 5, 15, 10);
        w.SetTab(-1, TPrintJustify::pjRight, 2.5, 5, 15, 0);
        w.Home();
        for (int line = 0; line < 40; ++line) {
            w.Print(
                QStringLiteral("\tItem %1\tM%2x1.5 6g\t%3 mm").arg(line).arg(page % 30 + 3).arg(line * 0.25));
            w.MoveTo(1, w.YPos() + 0.05);
            w.LineTo(7.5, w.YPos() + 0.05);
            w.NewLine();
        }
        w.Rectangle(0.5, 0.5, 8, 10.5);
        w.PrintFooter(QStringLiteral("Page ") + w.Macro(TMacroID::midCurrentPage), TPrintJustify::pjCenter);
    }
}

QByteArray Write()
{
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.OnPrint = [&](TObject*) { PrintReport(writer); };
    writer.Execute();
    return stream.Bytes();
}

void BM_WriteSnapshot(benchmark::State& state)
{
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = Write().size();
    state.SetItemsProcessed(state.iterations() * kPages);
    state.counters["bytes"] = double(bytes);
}

void BM_ReadSnapshot(benchmark::State& state)
{
    const QByteArray snapshot = Write();
    TQPRender render(nullptr);
    for (auto _ : state) {
        TMemoryStream stream(snapshot);
        render.Render(&stream);
        render.SetZSFStream(nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kPages);
}

BENCHMARK(BM_WriteSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSnapshot)->Unit(benchmark::kMillisecond);

} // namespace
