// A pseudo-terminal pair standing in for a serial line. The port under test is the near end (the
// slave device, opened by its path like any serial port); the bench plays the far end (the master)
// to put bytes on the line and take them off.
#ifndef OSTRABEL1_BENCH_PTY_PAIR_H
#define OSTRABEL1_BENCH_PTY_PAIR_H

#include <string>

namespace bench {

class PtyPair {
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Creates the pair with both ends in raw mode. False, with a reason in error(), when it can't.
    bool open();
    const std::string& error() const { return error_; }

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }

    // Writes `count` bytes (0, 1, 2, ... modulo 256) from the far end and waits until the near
    // end's input queue holds them all, so that every following read finds its byte waiting.
    // `near_fd` is any descriptor open on the slave. Keep `count` under the 4 KiB input queue.
    bool feed(int count, int near_fd) const;

    // Takes exactly `count` bytes that the near end wrote off the line.
    bool drain(int count) const;

    // The sum of the bytes that feed(count) sends, to check that reads got every byte unaltered.
    static long pattern_sum(int count);

private:
    int master_ = -1;
    std::string slave_path_;
    std::string error_;
};

// Opens the slave the plain way, without any of the library's locking: the baseline's own
// descriptor on the very same line, blocking unless asked otherwise. Returns -1 on failure.
int open_bare(const std::string& path, bool nonblocking = false);

// Puts a terminal descriptor into raw mode, one byte per read.
bool make_raw(int fd);

}  // namespace bench

#endif
