// Ping-pong: write a byte, the far end echoes it, read it back. The library's writebyte + readbyte
// against a bare write(2) + blocking read(2) of one byte, as latency percentiles.
#ifndef OSTRABEL1_BENCH_ROUND_TRIP_BENCH_H
#define OSTRABEL1_BENCH_ROUND_TRIP_BENCH_H

#include "bench_line.h"

namespace bench {

void run_round_trip(BenchLine& line);

}  // namespace bench

#endif
