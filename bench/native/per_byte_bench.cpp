#include "per_byte_bench.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "heap_counter.h"
#include "ostrabel1.h"
#include "report.h"
#include "syscall_counter.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes per timed batch: well inside the 4 KiB input queue, and enough calls that reading the
// clock twice per batch is lost in the noise.
constexpr int kBatch = 1024;
// Pairs of batches per repetition. Many short repetitions, shuffled together, and within each a
// baseline batch and a library batch back to back: load that comes and goes on a shared machine
// then hits both alike, and the ratio is taken pair by pair.
constexpr int kPairsPerRepetition = 2;

const char* const kReads = "readbyte_vs_read";
const char* const kWrites = "writebyte_vs_write";
const char* const kOwnWork = "own_work";

// Counters that each benchmark leaves, per repetition (Google Benchmark's median aggregate then
// holds their medians over the repetitions).
const char* const kBaselineNs = "baseline_ns";
const char* const kLibraryNs = "library_ns";
const char* const kRatio = "ratio";

const double kNaN = std::numeric_limits<double>::quiet_NaN();

int bare_read(int fd) {
    unsigned char byte = 0;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

int bare_write(int fd, int value) {
    const auto byte = static_cast<unsigned char>(value);
    return write(fd, &byte, 1) == 1 ? 1 : 0;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Puts a batch on the line (not timed), then times reading it a byte at a time; adds the bytes to
// `sum`. Negative when the batch could not be put on the line.
template <typename ReadOne>
double read_batch(const BenchLine& line, ReadOne read_one, long& sum) {
    if (!line.pty.feed(kBatch, line.bare_fd)) return -1;
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) sum += read_one();
    return seconds_since(start);
}

// Times writing a batch a byte at a time, then takes it off the line (not timed). Negative when a
// write failed.
template <typename WriteOne>
double write_batch(const BenchLine& line, WriteOne write_one) {
    int written = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) written += write_one(i & 0xFF);
    const double elapsed = seconds_since(start);
    return written == kBatch && line.pty.drain(kBatch) ? elapsed : -1;
}

// Each iteration times one batch of each kind, the order alternating; the iteration's time is the
// sum of both, and the counters say what each kind took per call and their ratio.
template <typename Batch>
void time_pairs(benchmark::State& state, Batch batch) {
    // The first batch after another benchmark finds the line and the kernel's workers cold; that
    // batch is not timed, so neither kind is the one that always pays for it.
    if (batch(true) < 0 || batch(false) < 0) {
        state.SkipWithError("could not put bytes on the line or take them off");
        return;
    }
    double baseline_seconds = 0;
    double library_seconds = 0;
    bool baseline_first = true;
    for (auto _ : state) {
        const double first = batch(baseline_first);
        const double second = batch(!baseline_first);
        if (first < 0 || second < 0) {
            state.SkipWithError("could not put bytes on the line or take them off");
            return;
        }
        baseline_seconds += baseline_first ? first : second;
        library_seconds += baseline_first ? second : first;
        state.SetIterationTime(first + second);
        baseline_first = !baseline_first;
    }
    const double calls = static_cast<double>(state.iterations()) * kBatch;
    state.counters[kBaselineNs] = baseline_seconds * 1e9 / calls;
    state.counters[kLibraryNs] = library_seconds * 1e9 / calls;
    state.counters[kRatio] = library_seconds / baseline_seconds;
}

void register_benchmarks(const BenchLine& line) {
    const auto pairs = [](const char* name, auto batch) {
        benchmark::RegisterBenchmark(name, [batch](benchmark::State& state) { time_pairs(state, batch); })
            ->UseManualTime()
            ->Iterations(kPairsPerRepetition)
            ->Unit(benchmark::kMicrosecond);
    };
    const int fd = line.bare_fd;
    const jint handle = line.handle;

    pairs(kReads, [&line, fd, handle](bool baseline) {
        long sum = 0;
        const double elapsed =
            baseline ? read_batch(line, [fd] { return bare_read(fd); }, sum)
                     : read_batch(line, [handle] { return Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle); },
                                  sum);
        // Every byte must come through unaltered, and none may be missing.
        return sum == PtyPair::pattern_sum(kBatch) ? elapsed : -1;
    });
    pairs(kWrites, [&line, fd, handle](bool baseline) {
        return baseline ? write_batch(line, [fd](int value) { return bare_write(fd, value); })
                        : write_batch(line, [handle](int value) {
                              return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, value);
                          });
    });
    // What the library does around its system call, alone: the entry point, the handle lookup and
    // the lease on the port, with a relaxed store where readbyte and writebyte make their call.
    benchmark::RegisterBenchmark(kOwnWork, [handle](benchmark::State& state) {
        double seconds = 0;
        for (auto _ : state) {
            const auto start = Clock::now();
            for (int i = 0; i < kBatch; ++i) {
                benchmark::DoNotOptimize(Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 0));
            }
            const double elapsed = seconds_since(start);
            seconds += elapsed;
            state.SetIterationTime(elapsed);
        }
        state.counters[kLibraryNs] = seconds * 1e9 / (static_cast<double>(state.iterations()) * kBatch);
    })->UseManualTime()->Iterations(kPairsPerRepetition)->Unit(benchmark::kMicrosecond);
}

// Passes Google Benchmark's report through to standard error and keeps each benchmark's counters:
// their medians over the repetitions, or a single repetition's values.
class CounterCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred) {
                errors_[name] = run.error_message;
            } else if (run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median" : medians_.count(name) == 0) {
                medians_[name] = run.counters;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double value(const std::string& name, const char* counter) const {
        const auto found = medians_.find(name);
        if (errors_.count(name) != 0 || found == medians_.end()) return kNaN;
        const auto value = found->second.find(counter);
        return value == found->second.end() ? kNaN : value->second.value;
    }

    void print_errors() const {
        for (const auto& [name, message] : errors_) std::cerr << "error: " << name << ": " << message << "\n";
    }

private:
    std::map<std::string, benchmark::UserCounters> medians_;
    std::map<std::string, std::string> errors_;
};

struct PerCall {
    double syscalls = kNaN;
    double allocations = kNaN;
};

// Counts what `calls` calls of `one` cost the kernel and the heap; `prepare` runs before, uncounted.
template <typename Prepare, typename One>
PerCall count_per_call(SyscallCounter& syscalls, Prepare prepare, One one) {
    prepare();
    PerCall result;
    const std::uint64_t allocations_before = heap_allocations();
    if (syscalls.available()) syscalls.start();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(one(i));
    if (syscalls.available()) result.syscalls = static_cast<double>(syscalls.stop()) / kBatch;
    if (heap_counting_available()) {
        result.allocations = static_cast<double>(heap_allocations() - allocations_before) / kBatch;
    }
    return result;
}

Row ratio_row(const CounterCollector& results, const char* name, const std::string& line, double goal) {
    Row row = time_ratio_row(line, results.value(name, kBaselineNs), results.value(name, kLibraryNs), goal);
    // The median of the pairwise ratios, not the ratio of the medians.
    const double ratio = results.value(name, kRatio);
    row.ratio = format_ratio(ratio);
    row.verdict = std::isnan(ratio) ? "n/a" : ratio <= goal ? "ok" : "MISS";
    return row;
}

}  // namespace

void run_per_byte(BenchLine& line, int argc, char** argv) {
    // Defaults first, so that the caller's flags, coming later, win.
    std::vector<char*> arguments{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=200", "--benchmark_enable_random_interleaving=true",
                              "--benchmark_display_aggregates_only=true"};
    for (std::string& flag : defaults) arguments.push_back(flag.data());
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());

    register_benchmarks(line);
    CounterCollector results;
    results.SetOutputStream(&std::cerr);
    results.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&results);
    benchmark::ClearRegisteredBenchmarks();
    results.print_errors();

    // Counting only now: while the kernel counts system calls, every system call takes a slower path.
    SyscallCounter syscalls;
    const int fd = line.bare_fd;
    const jint handle = line.handle;
    const auto feed = [&line] { line.pty.feed(kBatch, line.bare_fd); };
    const auto drain = [&line] { line.pty.drain(kBatch); };
    const PerCall bare_reads = count_per_call(syscalls, feed, [fd](int) { return bare_read(fd); });
    const PerCall library_reads = count_per_call(syscalls, feed, [handle](int) {
        return Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle);
    });
    const PerCall bare_writes = count_per_call(syscalls, [] {}, [fd](int i) { return bare_write(fd, i); });
    const PerCall library_writes = count_per_call(syscalls, drain, [handle](int i) {
        return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, i);
    });
    drain();

    print_row(ratio_row(results, kReads, "readbyte, byte waiting (C++ -> entry point vs read(2))", 1.05));
    print_row(count_row("readbyte: system calls per byte", bare_reads.syscalls, library_reads.syscalls, 1));
    print_row(count_row("readbyte: heap allocations per byte", bare_reads.allocations, library_reads.allocations, 0));
    print_row(ratio_row(results, kWrites, "writebyte (C++ -> entry point vs write(2))", 1.05));
    print_row(count_row("writebyte: system calls per byte", bare_writes.syscalls, library_writes.syscalls, 1));
    print_row(count_row("writebyte: heap allocations per byte", bare_writes.allocations, library_writes.allocations, 0));
    print_row({"library's own work per call (lease, no system call)", "",
               format_ns(results.value(kOwnWork, kLibraryNs)), "", "", "info"});
    if (!syscalls.available()) std::cerr << "system calls not counted: " << syscalls.error() << "\n";
}

}  // namespace bench
