// LZK compression and decompression of 1 MB of text and of random bytes,
// with zlib's level-1 deflate and inflate on the same data as the yardstick.
// Throughput is counted in uncompressed bytes.
#include "localization/kcompress.h"

#include "platform/rtl/Streams.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>

namespace {

constexpr int DataSize = 1 << 20;

QByteArray RandomData()
{
    std::mt19937 rng(1);
    QByteArray out(DataSize, '\0');
    for (char& c : out)
        c = char(rng());
    return out;
}

// Running English-like text: words of a small vocabulary, sentences, lines.
QByteArray TextData()
{
    static const char* words[] = {
        "the",      "of",         "and",     "to",    "a",        "in",        "is",     "for",   "that",
        "with",     "thread",     "gauge",   "pitch", "diameter", "tolerance", "limit",  "major", "minor",
        "flank",    "angle",      "ring",    "plug",  "measure",  "wires",     "metric", "inch",  "class",
        "series",   "form",       "nominal", "size",  "lead",     "worn",      "mean",   "value", "table",
        "standard", "calculated", "from",    "which", "are",      "be",        "this",   "by",    "on"};
    std::mt19937 rng(2);
    QByteArray out;
    out.reserve(DataSize + 32);
    int inSentence = 0;
    while (out.size() < DataSize) {
        QByteArray word = words[rng() % std::size(words)];
        if (inSentence == 0)
            word[0] = char(std::toupper(word[0]));
        out.append(word);
        ++inSentence;
        if (inSentence > 5 && rng() % 8 == 0) {
            out.append(rng() % 4 == 0 ? ".\r\n" : ". ");
            inSentence = 0;
        } else {
            out.append(rng() % 12 == 0 ? ", " : " ");
        }
    }
    out.truncate(DataSize);
    return out;
}

const QByteArray& Data(int kind)
{
    static const QByteArray text = TextData();
    static const QByteArray random = RandomData();
    return kind == 0 ? text : random;
}

QByteArray LzkCompress(const QByteArray& plain)
{
    TMemoryStream source(plain);
    TMemoryStream dest;
    LZKCompressStream(source, dest);
    return dest.Bytes();
}

QByteArray Deflate1(const QByteArray& plain)
{
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
              uLong(plain.size()), 1);
    out.truncate(qsizetype(size));
    return out;
}

void Finish(benchmark::State& state, qsizetype packedSize)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * DataSize);
    state.counters["ratio"] = double(packedSize) / DataSize;
    state.SetLabel(state.range(0) == 0 ? "text" : "random");
}

void BM_LzkCompress(benchmark::State& state)
{
    const QByteArray& plain = Data(int(state.range(0)));
    qsizetype packed = 0;
    for (auto _ : state)
        packed = LzkCompress(plain).size();
    Finish(state, packed);
}

void BM_LzkDecompress(benchmark::State& state)
{
    const QByteArray packed = LzkCompress(Data(int(state.range(0))));
    for (auto _ : state) {
        TMemoryStream source(packed);
        TMemoryStream dest;
        LZKDecompressStream(source, dest);
        benchmark::DoNotOptimize(dest.Bytes().constData());
    }
    Finish(state, packed.size());
}

void BM_ZlibDeflate1(benchmark::State& state)
{
    const QByteArray& plain = Data(int(state.range(0)));
    qsizetype packed = 0;
    for (auto _ : state)
        packed = Deflate1(plain).size();
    Finish(state, packed);
}

void BM_ZlibInflate(benchmark::State& state)
{
    const QByteArray packed = Deflate1(Data(int(state.range(0))));
    QByteArray out(DataSize, '\0');
    for (auto _ : state) {
        uLongf size = DataSize;
        uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(packed.constData()), uLong(packed.size()));
        benchmark::DoNotOptimize(out.constData());
    }
    Finish(state, packed.size());
}

} // namespace

BENCHMARK(BM_LzkCompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzkDecompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
