// What the calls on named objects cost in one process: an event set and
// reset, set and taken by the same thread, set and taken in a ping-pong
// between two threads on two CPUs, pulsed with nobody waiting, set where
// this process listens to it (each set rings the listener, which reads the
// ring); a mutex taken and released; a 1 MB memory block made and closed;
// a name that the process holds opened and closed again. Run by hand (not a
// ctest test: its figures depend on the machine), from a release build:
//   sharedobjectsbench --benchmark_repetitions=5
// (the rows "_min" give the best of the repetitions). Every case pins the
// thread it runs on to the first CPU the process may use (the cases across
// CPUs: the first two), so a run under taskset chooses them.
//
// A case measures alone (--benchmark_filter) what it measures in the whole
// run: each opens objects of names of its own and closes them, pins the
// timing thread itself and lets the pin settle (PinMain), and the process
// runs a second thread from before the first case to the end (IdleThread),
// so that no case finds it single-threaded where another found it not.
//
// Where the CPU counts them (perf_event_open, user space only), each result
// also gives the instructions that one iteration ran in the timing thread
// ("instructions"); where it cannot (a virtual machine without a PMU, a
// kernel that refuses perf events), the label says why. There,
// --iterations=N runs every case for exactly N iterations once, so that two
// runs of a case under valgrind --tool=callgrind with different N give the
// instructions of one iteration as the difference of their counts over the
// difference of N (the case function's inclusive count, from
// callgrind_annotate --inclusive=yes, for the timing thread alone).
#include "platform/os/SharedObjects.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <linux/perf_event.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Names of this process's own, so that two runs side by side never share
// an object.
QString Name(const char* what)
{
    return QStringLiteral("bench%1-%2").arg(getpid()).arg(QLatin1String(what));
}

// The CPUs the process was started on, in order; asked before any case pins
// the thread that runs it.
const std::vector<int>& StartCpus()
{
    static const std::vector<int> cpus = [] {
        std::vector<int> list;
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof(set), &set) == 0) {
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
                if (CPU_ISSET(cpu, &set))
                    list.push_back(cpu);
            }
        }
        return list;
    }();
    return cpus;
}

// Lets the calling thread run on those CPUs only.
bool PinThread(const std::vector<int>& cpus)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus)
        CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof(set), &set) == 0;
}

// Pins the thread that runs the cases (the main thread) to the first
// count CPUs the process was started on; false when it has fewer. A wait
// asks on which CPUs its thread may run at most every 100 ms (it spins only
// where a peer may answer meanwhile), so after a change the thread lets
// that much time pass before it is timed: otherwise the first waits of a
// case would go by what the case before it allowed.
bool PinMain(size_t count)
{
    static size_t pinnedTo = 0;
    if (StartCpus().size() < count)
        return false;
    if (pinnedTo != count) {
        if (!PinThread({StartCpus().begin(), StartCpus().begin() + std::ptrdiff_t(count)}))
            return false;
        pinnedTo = count;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    return true;
}

// A thread that sleeps from before the first case to the end. The C library
// counts a process single-threaded until it starts its first thread, and
// never again afterwards; while it does, libstdc++ counts the references of
// a shared_ptr without atomic instructions, and every call on a handle
// copies one (two atomic instructions a call: 13 of the 26 ns of a pulse on
// a test machine). Without this thread, the cases before the first
// ping-pong (whose partner is the process's first thread) and every case
// run alone would time that cheaper road, which the program never takes:
// Qt starts threads of its own. Kept alive rather than joined at once, so
// that a C library that counts the process single-threaded again when its
// threads end changes nothing.
class IdleThread {
public:
    IdleThread() : thread_([end = end_.get_future()] { end.wait(); }) {}
    ~IdleThread()
    {
        end_.set_value();
        thread_.join();
    }
    IdleThread(const IdleThread&) = delete;
    IdleThread& operator=(const IdleThread&) = delete;

private:
    std::promise<void> end_; // made before the thread that waits on it
    std::thread thread_;
};

// Counts the instructions that the calling thread runs in user space
// between Start and Report, where the CPU and the kernel let it.
class InstructionCounter {
public:
    InstructionCounter()
    {
        perf_event_attr attr{};
        attr.size = sizeof(attr);
        attr.type = PERF_TYPE_HARDWARE;
        attr.config = PERF_COUNT_HW_INSTRUCTIONS;
        attr.disabled = 1;
        attr.exclude_kernel = 1;
        attr.exclude_hv = 1;
        fd_ = int(syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
        if (fd_ < 0)
            error_ = errno;
    }
    ~InstructionCounter()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    InstructionCounter(const InstructionCounter&) = delete;
    InstructionCounter& operator=(const InstructionCounter&) = delete;

    void Start()
    {
        if (fd_ < 0)
            return;
        ioctl(fd_, PERF_EVENT_IOC_RESET, 0);
        ioctl(fd_, PERF_EVENT_IOC_ENABLE, 0);
    }

    // Gives the count per iteration as the counter "instructions", or the
    // reason there is none as the label.
    void Report(benchmark::State& state)
    {
        uint64_t count = 0;
        if (fd_ >= 0) {
            ioctl(fd_, PERF_EVENT_IOC_DISABLE, 0);
            if (read(fd_, &count, sizeof(count)) != ssize_t(sizeof(count))) {
                error_ = errno;
                fd_ = -1;
            }
        }
        if (fd_ < 0) {
            state.SetLabel(Unavailable());
            return;
        }
        state.counters["instructions"] =
            benchmark::Counter(double(count), benchmark::Counter::kAvgIterations);
    }

private:
    std::string Unavailable() const
    {
        if (error_ == ENOENT || error_ == EOPNOTSUPP || error_ == ENODEV)
            return "no instruction counter: the CPU counts none here (a virtual machine without a PMU?)";
        if (error_ == EACCES || error_ == EPERM)
            return "no instruction counter: perf events refused (kernel.perf_event_paranoid)";
        return std::string("no instruction counter: ") + std::strerror(error_);
    }

    int fd_ = -1;
    int error_ = 0;
};

// An open handle, closed at the end of the case.
struct Handle {
    explicit Handle(TSharedHandle value) : Value(value) {}
    ~Handle()
    {
        if (Value)
            CloseNamedObject(Value);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    TSharedHandle Value;
};

bool Skipped(benchmark::State& state, const Handle& handle)
{
    if (handle.Value)
        return false;
    state.SkipWithError(LastSharedObjectError().Message().toStdString().c_str());
    return true;
}

void SetReset(benchmark::State& state)
{
    PinMain(1);
    Handle event(OpenNamedEvent(Name("setreset"), true));
    if (Skipped(state, event))
        return;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        SetNamedEvent(event.Value);
        ResetNamedEvent(event.Value);
    }
    counter.Report(state);
}

// Sets an auto-reset event and takes it again at once, the thread on one
// CPU (argument 1) or free on two (argument 2), where a wait may spin.
void SetWait(benchmark::State& state)
{
    if (!PinMain(size_t(state.range(0)))) {
        state.SkipWithError("fewer than 2 CPUs: the case lets the thread run on two");
        return;
    }
    Handle event(OpenNamedEvent(Name("setwait"), false));
    if (Skipped(state, event))
        return;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        SetNamedEvent(event.Value);
        if (WaitNamedObject(event.Value, kWaitInfinite) != TWaitResult::wrSignaled) {
            state.SkipWithError("the set event was not taken");
            break;
        }
    }
    counter.Report(state);
}

// A round trip between two threads: this one sets the other's auto-reset
// event and waits on its own, which the other sets when it has taken its
// event. Argument 0: each thread pinned to a CPU of its own; 1: both free on
// the same two CPUs. The instructions are the timing thread's: one set and
// one wait of each round trip, its spinning included.
void PingPong(benchmark::State& state)
{
    if (!PinMain(state.range(0) == 0 ? 1 : 2) || StartCpus().size() < 2) {
        state.SkipWithError("fewer than 2 CPUs: a ping-pong across CPUs needs two");
        return;
    }
    Handle ping(OpenNamedEvent(Name("ping"), false));
    Handle pong(OpenNamedEvent(Name("pong"), false));
    if (Skipped(state, ping) || Skipped(state, pong))
        return;
    const std::vector<int> partnerCpus = state.range(0) == 0
                                             ? std::vector<int>{StartCpus()[1]}
                                             : std::vector<int>{StartCpus()[0], StartCpus()[1]};
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        PinThread(partnerCpus);
        while (WaitNamedObject(ping.Value, kWaitInfinite) == TWaitResult::wrSignaled && !stop)
            SetNamedEvent(pong.Value);
    });
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        SetNamedEvent(ping.Value);
        if (WaitNamedObject(pong.Value, kWaitInfinite) != TWaitResult::wrSignaled) {
            state.SkipWithError("the answer was not taken");
            break;
        }
    }
    counter.Report(state);
    stop = true;
    SetNamedEvent(ping.Value);
    partner.join();
}

void PulseUnwaited(benchmark::State& state)
{
    PinMain(1);
    Handle event(OpenNamedEvent(Name("pulse"), false));
    if (Skipped(state, event))
        return;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state)
        PulseNamedEvent(event.Value);
    counter.Report(state);
}

// Sets a manual-reset event that this process listens to, so that each set
// rings the listener's descriptor; the listener reads the ring (a read and
// the read that finds none left) before the next set, so that every set
// finds room for its ring.
void SetRinging(benchmark::State& state)
{
    PinMain(1);
    Handle event(OpenNamedEvent(Name("ringing"), true));
    if (Skipped(state, event))
        return;
    const int listener = ListenNamedEvent(event.Value);
    if (listener < 0) {
        state.SkipWithError(LastSharedObjectError().Message().toStdString().c_str());
        return;
    }
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        SetNamedEvent(event.Value);
        if (DrainEventDescriptor(listener) != 1) {
            state.SkipWithError("the set did not ring the listener once");
            break;
        }
    }
    counter.Report(state);
    UnlistenNamedEvent(event.Value);
    close(listener);
}

void MutexTakeRelease(benchmark::State& state)
{
    PinMain(1);
    Handle mutex(OpenNamedMutex(Name("mutex")));
    if (Skipped(state, mutex))
        return;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        if (WaitNamedObject(mutex.Value, kWaitInfinite) != TWaitResult::wrSignaled ||
            !ReleaseNamedMutex(mutex.Value)) {
            state.SkipWithError("the mutex was not taken and released");
            break;
        }
    }
    counter.Report(state);
}

// Makes a 1 MB block of a name not used before and closes it, which removes
// it; the name is made in the loop (a small part of the cost).
void MemoryCreate(benchmark::State& state)
{
    PinMain(1);
    const QString prefix = Name("memory-");
    int64_t serial = 0;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        try {
            const TSharedHandle memory = OpenNamedMemory(prefix + QString::number(++serial), 1 << 20);
            CloseNamedObject(memory);
        } catch (const EOSError& error) {
            state.SkipWithError(error.Message().toStdString().c_str());
            break;
        }
    }
    counter.Report(state);
}

// Opens an event that this process holds already and closes the new handle,
// which leaves the event open.
void ReopenClose(benchmark::State& state)
{
    PinMain(1);
    const QString name = Name("reopen");
    Handle event(OpenNamedEvent(name, false));
    if (Skipped(state, event))
        return;
    InstructionCounter counter;
    counter.Start();
    for (auto _ : state) {
        const TSharedHandle again = OpenNamedEvent(name, false);
        if (!again || !CloseNamedObject(again)) {
            state.SkipWithError("the held event was not opened and closed");
            break;
        }
    }
    counter.Report(state);
}

// Registers the cases, each for exactly iterations iterations where that is
// not 0.
void RegisterCases(int64_t iterations)
{
    std::vector<benchmark::internal::Benchmark*> cases{
        benchmark::RegisterBenchmark("SetReset", SetReset),
        benchmark::RegisterBenchmark("SetWait", SetWait)->ArgName("cpus")->Arg(1)->Arg(2),
        benchmark::RegisterBenchmark("PingPong", PingPong)->ArgName("free")->Arg(0)->Arg(1),
        benchmark::RegisterBenchmark("PulseUnwaited", PulseUnwaited),
        benchmark::RegisterBenchmark("SetRinging", SetRinging),
        benchmark::RegisterBenchmark("MutexTakeRelease", MutexTakeRelease),
        benchmark::RegisterBenchmark("MemoryCreate", MemoryCreate),
        benchmark::RegisterBenchmark("ReopenClose", ReopenClose),
    };
    for (auto* registered : cases) {
        // With repetitions, the best of them too: on a busy machine the
        // least disturbed run is the one nearest the calls' own cost.
        registered->UseRealTime()->ComputeStatistics("min", [](const std::vector<double>& values) {
            return *std::min_element(values.begin(), values.end());
        });
        if (iterations > 0)
            registered->Iterations(iterations);
    }
}

} // namespace

int main(int argc, char** argv)
{
    StartCpus();
    const IdleThread idle;
    benchmark::Initialize(&argc, argv);
    int64_t iterations = 0;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--iterations=", 13) == 0)
            iterations = std::atoll(argv[i] + 13);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterCases(iterations);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
