// Reading a byte that is already waiting, and writing a byte: the library's natives called as a
// JVM calls them, against the bare read(2) and write(2) of one byte on the same line. Timed with
// Google Benchmark, baseline and library repetitions interleaved in random order so that a change
// in machine load falls on both alike; then each path's system calls and heap allocations per
// byte are counted.
#ifndef OSTRABEL1_BENCH_PER_BYTE_BENCH_H
#define OSTRABEL1_BENCH_PER_BYTE_BENCH_H

#include "bench_line.h"

namespace bench {

// Runs the per-byte benchmarks and prints their rows. argc/argv are Google Benchmark's flags
// (the defaults set here come first, so the command line overrides them).
void run_per_byte(BenchLine& line, int argc, char** argv);

}  // namespace bench

#endif
