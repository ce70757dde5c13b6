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

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes per timed batch: well inside the 4 KiB input queue, and enough calls that reading the
// clock twice per batch is lost in the noise.
constexpr int kBatch = 1024;

const char* const kBareRead = "read/bare_read";
const char* const kLibraryRead = "read/readbyte";
const char* const kBareWrite = "write/bare_write";
const char* const kLibraryWrite = "write/writebyte";

int bare_read(int fd) {
    unsigned char byte = 0;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

int bare_write(int fd, int value) {
    const auto byte = static_cast<unsigned char>(value);
    return write(fd, &byte, 1) == 1 ? 1 : 0;
}

// Each iteration: put a batch on the line (not timed), then time reading it a byte at a time.
template <typename ReadOne>
void time_reads(benchmark::State& state, const BenchLine& line, ReadOne read_one) {
    long sum = 0;
    for (auto _ : state) {
        if (!line.pty.feed(kBatch, line.bare_fd)) {
            state.SkipWithError("could not put bytes on the line");
            return;
        }
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) sum += read_one();
        const auto stop = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    if (sum != static_cast<long>(state.iterations()) * PtyPair::pattern_sum(kBatch)) {
        state.SkipWithError("a byte was lost or altered");
    }
}

// Each iteration: time writing a batch a byte at a time, then take it off the line (not timed).
template <typename WriteOne>
void time_writes(benchmark::State& state, const BenchLine& line, WriteOne write_one) {
    for (auto _ : state) {
        int written = 0;
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) written += write_one(i & 0xFF);
        const auto stop = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        if (written != kBatch || !line.pty.drain(kBatch)) {
            state.SkipWithError("a write failed");
            return;
        }
    }
}

// Passes Google Benchmark's report through to standard error and keeps each repetition's time.
class RepetitionCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred) {
                errors_[name] = run.error_message;
            } else if (run.run_type == Run::RT_Iteration) {
                batch_ns_[name].push_back(run.GetAdjustedRealTime());  // every benchmark here is in ns
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median over repetitions of the time per byte; NaN if the benchmark failed or didn't run.
    double per_byte_ns(const std::string& name) const {
        const auto found = batch_ns_.find(name);
        if (errors_.count(name) != 0 || found == batch_ns_.end()) return std::numeric_limits<double>::quiet_NaN();
        return median(found->second) / kBatch;
    }

    void print_errors() const {
        for (const auto& [name, message] : errors_) std::cerr << "error: " << name << ": " << message << "\n";
    }

private:
    std::map<std::string, std::vector<double>> batch_ns_;
    std::map<std::string, std::string> errors_;
};

struct PerCall {
    double syscalls = std::numeric_limits<double>::quiet_NaN();
    double allocations = std::numeric_limits<double>::quiet_NaN();
};

// Counts what `calls` calls of `one` cost the kernel and the heap; `prepare` runs before, uncounted.
template <typename Prepare, typename One>
PerCall count_per_call(SyscallCounter& syscalls, int calls, Prepare prepare, One one) {
    prepare();
    PerCall result;
    const std::uint64_t allocations_before = heap_allocations();
    if (syscalls.available()) syscalls.start();
    for (int i = 0; i < calls; ++i) benchmark::DoNotOptimize(one(i));
    if (syscalls.available()) result.syscalls = static_cast<double>(syscalls.stop()) / calls;
    result.allocations = static_cast<double>(heap_allocations() - allocations_before) / calls;
    return result;
}

void register_benchmarks(BenchLine& line) {
    const int fd = line.bare_fd;
    const jint handle = line.handle;
    const auto reads = [&line](const char* name, auto read_one) {
        benchmark::RegisterBenchmark(name, [&line, read_one](benchmark::State& state) {
            time_reads(state, line, read_one);
        })->UseManualTime()->Unit(benchmark::kNanosecond);
    };
    const auto writes = [&line](const char* name, auto write_one) {
        benchmark::RegisterBenchmark(name, [&line, write_one](benchmark::State& state) {
            time_writes(state, line, write_one);
        })->UseManualTime()->Unit(benchmark::kNanosecond);
    };
    reads(kBareRead, [fd] { return bare_read(fd); });
    reads(kLibraryRead, [handle] { return Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle); });
    writes(kBareWrite, [fd](int value) { return bare_write(fd, value); });
    writes(kLibraryWrite, [handle](int value) {
        return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, value);
    });
}

}  // namespace

void run_per_byte(BenchLine& line, SyscallCounter& syscalls, int argc, char** argv) {
    // Defaults first, so that the caller's flags, coming later, win.
    std::vector<char*> arguments{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=15", "--benchmark_min_time=0.05",
                              "--benchmark_enable_random_interleaving=true"};
    for (std::string& flag : defaults) arguments.push_back(flag.data());
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());

    register_benchmarks(line);
    RepetitionCollector collector;
    collector.SetOutputStream(&std::cerr);
    collector.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::ClearRegisteredBenchmarks();
    collector.print_errors();

    const int fd = line.bare_fd;
    const jint handle = line.handle;
    const auto feed = [&line] { line.pty.feed(kBatch, line.bare_fd); };
    const auto drain = [&line] { line.pty.drain(kBatch); };
    const auto nothing = [] {};
    const PerCall bare_reads = count_per_call(syscalls, kBatch, feed, [fd](int) { return bare_read(fd); });
    const PerCall library_reads = count_per_call(syscalls, kBatch, feed, [handle](int) {
        return Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle);
    });
    const PerCall bare_writes = count_per_call(syscalls, kBatch, nothing, [fd](int i) { return bare_write(fd, i); });
    drain();
    const PerCall library_writes = count_per_call(syscalls, kBatch, nothing, [handle](int i) {
        return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, i);
    });
    drain();

    const double read_ns = collector.per_byte_ns(kLibraryRead);
    print_row(time_ratio_row("readbyte, byte waiting (C++ -> entry point vs read(2))",
                             collector.per_byte_ns(kBareRead), read_ns, 1.05));
    print_row(count_row("readbyte: system calls per byte", bare_reads.syscalls, library_reads.syscalls, 1));
    print_row(count_row("readbyte: heap allocations per byte", bare_reads.allocations, library_reads.allocations, 0));
    print_row(time_ratio_row("writebyte (C++ -> entry point vs write(2))", collector.per_byte_ns(kBareWrite),
                             collector.per_byte_ns(kLibraryWrite), 1.05));
    print_row(count_row("writebyte: system calls per byte", bare_writes.syscalls, library_writes.syscalls, 1));
    print_row(count_row("writebyte: heap allocations per byte", bare_writes.allocations, library_writes.allocations, 0));
    if (!syscalls.available()) std::cerr << "system calls not counted: " << syscalls.error() << "\n";
}

}  // namespace bench
