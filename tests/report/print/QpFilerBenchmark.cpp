// A report of 1,000 pages of text, lines and boxes, written into a snapshot
// in memory and read back onto a render target that draws nothing, and
// checked as File > Open checks a file. Rates are counted in pages.
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

// Reads the report back onto a target that draws nothing: played, or
// checked as the preview's File > Open checks a file.
void ReadBack(benchmark::State& state, bool check)
{
    const QByteArray snapshot = Write();
    TQPRender render(nullptr);
    for (auto _ : state) {
        TMemoryStream stream(snapshot);
        if (check)
            render.CheckRender(&stream);
        else
            render.Render(&stream);
        render.SetZSFStream(nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kPages);
}

void BM_ReadSnapshot(benchmark::State& state)
{
    ReadBack(state, false);
}

void BM_CheckSnapshot(benchmark::State& state)
{
    ReadBack(state, true);
}

BENCHMARK(BM_WriteSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckSnapshot)->Unit(benchmark::kMillisecond);

} // namespace
