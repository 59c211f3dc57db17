#pragma once
// A small, time-boxed mutation fuzzer for binary readers, run as an ordinary
// test under AddressSanitizer. It mutates the seeds (bit flips, byte changes,
// truncations, insertions, duplicated and spliced ranges) and hands each input
// to the target. The target must reject bad bytes with an exception derived
// from Exception; any other exception fails the test, and an out-of-bounds
// access is caught by the sanitizer.
#include <QByteArray>

#include <functional>
#include <vector>

struct FuzzStats {
    long long runs = 0;     // inputs tried
    long long rejected = 0; // inputs the target rejected with an Exception
};

// Seconds to run: the environment variable TESSVAR_FUZZ_SECONDS, else
// defaultSeconds. The random sequence is fixed by the seed, so a failure
// repeats.
FuzzStats RunFuzzLoop(const std::function<void(const QByteArray&)>& target,
                      const std::vector<QByteArray>& seeds, double defaultSeconds = 3.0,
                      unsigned seed = 12345);
