// ostrabel1_bench: the library's natives against the bare system calls they stand on, all on one
// pseudo-terminal line, printed as table rows (see report.h).
//
//   ostrabel1_bench [--long-timeout] [Google Benchmark flags]
//
// --long-timeout adds one 30 s receive time-out, past what termios' VTIME can express.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bench_line.h"
#include "open_close_bench.h"
#include "per_byte_bench.h"
#include "report.h"
#include "round_trip_bench.h"
#include "syscall_counter.h"
#include "timeout_bench.h"

int main(int argc, char** argv) {
    bool include_long = false;
    std::vector<char*> benchmark_flags{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long-timeout") == 0) include_long = true;
        else benchmark_flags.push_back(argv[i]);
    }

    bench::BenchLine line;
    std::string error;
    if (!line.open(error)) {
        std::cerr << "ostrabel1_bench: " << error << "\n";
        return 1;
    }
    std::cerr << "line: " << line.pty.slave_path() << "\n";
    bench::SyscallCounter syscalls;  // counts this (the main) thread, where every measured call runs

    bench::run_per_byte(line, syscalls, static_cast<int>(benchmark_flags.size()), benchmark_flags.data());
    bench::run_round_trip(line, syscalls);
    bench::run_timeouts(line, include_long);
    line.close_port();
    bench::run_open_close(line, syscalls);
    return 0;
}
