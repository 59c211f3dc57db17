// A report of 1,000 pages of text, lines and boxes, written into a snapshot
// in memory and read back onto a render target that draws nothing. Rates
// are counted in pages.
#include "RuledReport.h"

#include "report/print/QpFiler.h"
#include "report/print/QpRender.h"

#include "platform/rtl/Streams.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kPages = 1000;

QByteArray Write()
{
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.OnPrint = [&](TObject*) { PrintRuledPages(writer, kPages); };
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
