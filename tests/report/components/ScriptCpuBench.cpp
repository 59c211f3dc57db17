// Speed of the script CPU: one counting loop, as a compiler would emit
//   while i < n do begin i := i + 1; s := s + i end
// run on the CPU (12 instructions an iteration), the same loop in C++, and,
// when python3 is on the machine, in Python; prints nanoseconds per
// iteration and the ratios. Not a test: timings depend on the machine, so
// nothing here passes or fails. Run it on a release build.
#include "report/components/ZvLEModule.h"
#include "report/components/ZvLERun.h"
#include "tests/support/ZvAssembler.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr int32_t kIterations = 20'000'000;
constexpr int kRounds = 5; // the best round counts

// Data segment: i at 0, s at 4, n at 8, the constant 1 at 12, the Boolean
// result of the test at 16.
std::unique_ptr<TRCPUModule> LoopModule()
{
    using A = TZvAddr;
    TZvAssembler code;
    code.Label(QStringLiteral("top"));
    code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(8));
    code.Op(44).Addr(A::Data(16)).Op(Zop::Test); // i >= n
    code.JumpTo(Zop::JumpTrue, QStringLiteral("end"));
    code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(12)).Op(Zop::IntAddAssign);
    code.Op(Zop::PushAddr).Addr(A::Data(4)).Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::IntAddAssign);
    code.JumpTo(Zop::Jump, QStringLiteral("top"));
    code.Label(QStringLiteral("end")).Op(Zop::Halt);
    TZvModuleBuilder builder(QStringLiteral("BENCH"));
    builder.Code(code).DataSize(20);
    return builder.Load();
}

template <class F> double BestNanosPerIteration(F run)
{
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        const double perIteration = took.count() / kIterations;
        if (round == 0 || perIteration < best)
            best = perIteration;
    }
    return best;
}

double RunOnCpu()
{
    std::unique_ptr<TRCPUModule> module = LoopModule();
    int32_t sum = 0;
    const double nanos = BestNanosPerIteration([&module, &sum] {
        std::vector<uint8_t>& data = module->GetDataBuf();
        std::memset(data.data(), 0, data.size());
        const int32_t n = kIterations;
        const int32_t one = 1;
        std::memcpy(data.data() + 8, &n, 4);
        std::memcpy(data.data() + 12, &one, 4);
        std::unique_ptr<TObject> state;
        TRCPURunner runner;
        runner.Execute(module.get(), nullptr, state);
        std::memcpy(&sum, data.data() + 4, 4);
    });
    std::printf("script CPU  %8.2f ns/iteration  (sum %d)\n", nanos, sum);
    return nanos;
}

// volatile keeps the compiler from folding the loop away.
double RunInCpp()
{
    int32_t sum = 0;
    const double nanos = BestNanosPerIteration([&sum] {
        volatile int32_t i = 0;
        volatile int32_t s = 0;
        const int32_t n = kIterations;
        while (i < n) {
            i = i + 1;
            s = uint32_t(s) + uint32_t(i);
        }
        sum = s;
    });
    std::printf("C++         %8.2f ns/iteration  (sum %d)\n", nanos, sum);
    return nanos;
}

std::optional<double> RunInPython()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        std::printf("Python      not on this machine\n");
        return std::nullopt;
    }
    // Locals of a function, as CPython runs them fastest.
    const QString script = QStringLiteral(R"(
import sys, time
def loop(n):
    i = 0
    s = 0
    while i < n:
        i += 1
        s += i
    return s
n = %1
best = None
for _ in range(%2):
    t = time.perf_counter()
    loop(n)
    took = time.perf_counter() - t
    best = took if best is None or took < best else best
print(best * 1e9 / n, sys.version.split()[0])
)")
                               .arg(kIterations)
                               .arg(kRounds);
    QProcess process;
    process.start(python, {QStringLiteral("-c"), script});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::printf("Python      failed to run\n");
        return std::nullopt;
    }
    const QStringList answer = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char(' '));
    bool ok = false;
    const double nanos = answer.value(0).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    std::printf("Python %-5s%8.2f ns/iteration\n", qPrintable(answer.value(1).trimmed()), nanos);
    return nanos;
}

} // namespace

int main()
{
    InitScriptEngine();
    std::printf("%d iterations, best of %d rounds\n", kIterations, kRounds);
    const double cpu = RunOnCpu();
    const double cpp = RunInCpp();
    const std::optional<double> python = RunInPython();
    std::printf("script CPU / C++     %6.2f\n", cpu / cpp);
    if (python)
        std::printf("script CPU / Python  %6.2f\n", cpu / *python);
    DoneScriptEngine();
    return 0;
}
