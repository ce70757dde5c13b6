#include "round_trip_bench.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <thread>
#include <vector>

#include "ostrabel1.h"
#include "report.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 100;
constexpr int kPerRound = 200;  // round trips of one kind before switching to the other

// The far end of the line: sends back every byte it receives, until told to stop.
class EchoPeer {
public:
    explicit EchoPeer(int master) : master_(master), thread_([this] { run(); }) {}
    ~EchoPeer() { stop(); }
    EchoPeer(const EchoPeer&) = delete;
    EchoPeer& operator=(const EchoPeer&) = delete;

    // `near_fd` wakes the peer with one last byte, which it swallows.
    void stop(int near_fd = -1) {
        if (!thread_.joinable()) return;
        stopping_ = true;
        const unsigned char last = 0;
        if (near_fd >= 0 && write(near_fd, &last, 1) == 1) thread_.join();
        else thread_.detach();
    }

private:
    void run() {
        for (;;) {
            unsigned char byte = 0;
            if (read(master_, &byte, 1) != 1 || stopping_) return;
            if (write(master_, &byte, 1) != 1) return;
        }
    }

    int master_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

bool bare_round_trip(int fd, unsigned char value) {
    unsigned char back = 0;
    return write(fd, &value, 1) == 1 && read(fd, &back, 1) == 1 && back == value;
}

bool library_round_trip(jint handle, unsigned char value) {
    return Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, value) == 1 &&
           Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle) == value;
}

template <typename RoundTrip>
bool sample(std::vector<double>& into, RoundTrip round_trip, int first_value) {
    for (int i = 0; i < kPerRound; ++i) {
        const auto value = static_cast<unsigned char>(first_value + i);
        const auto start = Clock::now();
        const bool echoed = round_trip(value);
        const auto stop = Clock::now();
        if (!echoed) return false;
        into.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
    }
    return true;
}

}  // namespace

void run_round_trip(BenchLine& line, SyscallCounter& syscalls) {
    const int fd = line.bare_fd;
    const jint handle = line.handle;
    // A lost echo would end the library's read after a second instead of hanging the run.
    Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 1000);
    const auto bare = [fd](unsigned char value) { return bare_round_trip(fd, value); };
    const auto library = [handle](unsigned char value) { return library_round_trip(handle, value); };

    EchoPeer peer(line.pty.master());
    std::vector<double> bare_ns;
    std::vector<double> library_ns;
    bool ok = sample(bare_ns, bare, 0) && sample(library_ns, library, 0);  // warm-up, dropped
    bare_ns.clear();
    library_ns.clear();
    // Alternate which kind goes first, so that neither always follows the other.
    for (int round = 0; ok && round < kRounds; ++round) {
        ok = round % 2 == 0 ? sample(bare_ns, bare, round) && sample(library_ns, library, round)
                            : sample(library_ns, library, round) && sample(bare_ns, bare, round);
    }

    double bare_calls = 0;
    double library_calls = 0;
    if (ok && syscalls.available()) {
        syscalls.start();
        for (int i = 0; i < kPerRound; ++i) ok = ok && bare(static_cast<unsigned char>(i));
        bare_calls = static_cast<double>(syscalls.stop()) / kPerRound;
        syscalls.start();
        for (int i = 0; i < kPerRound; ++i) ok = ok && library(static_cast<unsigned char>(i));
        library_calls = static_cast<double>(syscalls.stop()) / kPerRound;
    }
    peer.stop(fd);
    Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 0);

    if (!ok) {
        std::cerr << "round trip: an echo was lost or altered\n";
        print_row({"round trip (write, echo, read)", "", "", "", "", "FAILED"});
        return;
    }
    print_row(time_ratio_row("round trip p50 (writebyte+readbyte vs write+read)", median(bare_ns),
                             median(library_ns), 1.10));
    print_row(time_ratio_row("round trip p99", percentile(bare_ns, 0.99), percentile(library_ns, 0.99), 1.10));
    if (syscalls.available()) {
        print_row({"round trip: system calls", format_count(bare_calls), format_count(library_calls), "", "",
                   "info"});
    }
}

}  // namespace bench
