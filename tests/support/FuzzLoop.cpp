#include "tests/support/FuzzLoop.h"

#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace {

QByteArray Mutate(QByteArray data, const std::vector<QByteArray>& seeds, std::mt19937& rng)
{
    auto pick = [&](int n) { return n <= 0 ? 0 : int(rng() % unsigned(n)); };
    const int steps = 1 + pick(4);
    for (int i = 0; i < steps; ++i) {
        switch (pick(7)) {
        case 0: // flip one bit
            if (!data.isEmpty()) {
                const int at = pick(data.size());
                data[at] = char(data[at] ^ (1 << pick(8)));
            }
            break;
        case 1: // set one byte to an interesting value
            if (!data.isEmpty()) {
                static const unsigned char values[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFE, 0x20, 0x10};
                data[pick(data.size())] = char(values[pick(sizeof values)]);
            }
            break;
        case 2: // truncate
            data.truncate(pick(data.size() + 1));
            break;
        case 3: // insert random bytes
        {
            QByteArray bytes(1 + pick(8), '\0');
            for (auto& b : bytes)
                b = char(rng());
            data.insert(pick(data.size() + 1), bytes);
            break;
        }
        case 4: // duplicate a range
            if (!data.isEmpty()) {
                const int from = pick(data.size());
                const int len = 1 + pick(qMin(64, int(data.size() - from)));
                data.insert(pick(data.size() + 1), data.mid(from, len));
            }
            break;
        case 5: // splice with another seed
        {
            const QByteArray& other = seeds[pick(int(seeds.size()))];
            const int cut = pick(data.size() + 1);
            data = data.left(cut) + other.mid(pick(other.size() + 1));
            break;
        }
        default: // overwrite four bytes with a random 32-bit value
            if (data.size() >= 4) {
                const quint32 v = rng();
                const int at = pick(data.size() - 3);
                for (int k = 0; k < 4; ++k)
                    data[at + k] = char(v >> (8 * k));
            }
            break;
        }
    }
    return data;
}

} // namespace

FuzzStats RunFuzzLoop(const std::function<void(const QByteArray&)>& target,
                      const std::vector<QByteArray>& seeds, double defaultSeconds, unsigned seed)
{
    double seconds = defaultSeconds;
    bool ok = false;
    const double fromEnv = qEnvironmentVariable("TESSVAR_FUZZ_SECONDS").toDouble(&ok);
    if (ok)
        seconds = fromEnv;

    std::vector<QByteArray> corpus = seeds;
    if (corpus.empty())
        corpus.push_back(QByteArray());
    std::mt19937 rng(seed);
    FuzzStats stats;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const QByteArray input = Mutate(corpus[rng() % corpus.size()], corpus, rng);
        ++stats.runs;
        try {
            target(input);
        } catch (const Exception&) {
            ++stats.rejected;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "non-program exception on a fuzzed input: " << e.what() << " input hex "
                          << input.toHex().left(200).constData();
            return stats;
        }
        // Keep a few accepted inputs as new seeds, so the loop reaches deeper.
        if (corpus.size() < 256 && stats.runs % 97 == 0)
            corpus.push_back(input);
    }
    return stats;
}
