// Opening, configuring and closing a port: the library's openPort + setCommState +
// setReceiveTimeout + closePort against a bare open(2) + tcgetattr/tcsetattr + close(2).
#ifndef OSTRABEL1_BENCH_OPEN_CLOSE_BENCH_H
#define OSTRABEL1_BENCH_OPEN_CLOSE_BENCH_H

#include "bench_line.h"

namespace bench {

// Needs the library's port on the line closed; leaves it closed.
void run_open_close(BenchLine& line);

}  // namespace bench

#endif
