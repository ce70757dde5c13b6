// The one serial line that every benchmark of a run uses: a pseudo-terminal pair, the baseline's
// own plain descriptors on its near end (one blocking, one not), and the library's port open on
// the same device.
#ifndef OSTRABEL1_BENCH_BENCH_LINE_H
#define OSTRABEL1_BENCH_BENCH_LINE_H

#include <jni.h>

#include <string>

#include "pty_pair.h"
#include "static_string_env.h"

namespace bench {

struct BenchLine {
    BenchLine() = default;
    ~BenchLine();
    BenchLine(const BenchLine&) = delete;
    BenchLine& operator=(const BenchLine&) = delete;

    // Creates the pair, opens the baseline descriptors and then the library's port (in that order:
    // once the library holds the device, it is exclusive). False with a reason in `error`.
    bool open(std::string& error);
    // Opens the library's port again after close_port(); false on failure.
    bool open_port();
    void close_port();

    PtyPair pty;
    int bare_fd = -1;
    int nonblocking_fd = -1;
    jint handle = 0;
    StaticStringEnv jni;
};

}  // namespace bench

#endif
