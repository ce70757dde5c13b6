// The receive time-out on a silent line: how long after the time-out readbyte returns -1, against
// a bare ppoll(2) with the same time-out on the same line. Never early is part of the goal.
#ifndef OSTRABEL1_BENCH_TIMEOUT_BENCH_H
#define OSTRABEL1_BENCH_TIMEOUT_BENCH_H

#include "bench_line.h"

namespace bench {

// With `include_long`, also one time-out of 30 s, past the 25.5 s that termios' VTIME can express.
void run_timeouts(BenchLine& line, bool include_long);

}  // namespace bench

#endif
