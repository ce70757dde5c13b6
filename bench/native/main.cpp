// ostrabel1_bench: the library's natives against the bare system calls they stand on, all on one
// pseudo-terminal line, printed as table rows (see report.h).
//
//   ostrabel1_bench [--long-timeout] [--only=PART,...] [Google Benchmark flags]
//
// --long-timeout adds one 30 s receive time-out, past what termios' VTIME can express.
// --only runs some of the parts: per-byte, round-trip, time-outs, open-close (all by default).
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bench_line.h"
#include "open_close_bench.h"
#include "per_byte_bench.h"
#include "report.h"
#include "round_trip_bench.h"
#include "timeout_bench.h"

int main(int argc, char** argv) {
    bool include_long = false;
    std::string only;
    std::vector<char*> benchmark_flags{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long-timeout") == 0) include_long = true;
        else if (std::strncmp(argv[i], "--only=", 7) == 0) only = std::string(",") + (argv[i] + 7) + ",";
        else benchmark_flags.push_back(argv[i]);
    }
    const auto wanted = [&only](const char* part) {
        return only.empty() || only.find(std::string(",") + part + ",") != std::string::npos;
    };

    bench::BenchLine line;
    std::string error;
    if (!line.open(error)) {
        std::cerr << "ostrabel1_bench: " << error << "\n";
        return 1;
    }
    std::cerr << "line: " << line.pty.slave_path() << "\n";
    if (wanted("per-byte")) {
        bench::run_per_byte(line, static_cast<int>(benchmark_flags.size()), benchmark_flags.data());
    }
    if (wanted("round-trip")) bench::run_round_trip(line);
    if (wanted("time-outs")) bench::run_timeouts(line, include_long);
    line.close_port();
    if (wanted("open-close")) bench::run_open_close(line);
    return 0;
}
