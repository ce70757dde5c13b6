#include "round_trip_bench.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include "ostrabel1.h"
#include "report.h"
#include "syscall_counter.h"

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

// The library's way of waiting, done by hand: the descriptor is non-blocking, a read that finds
// nothing is followed by ppoll(2) on it and on a wake-up descriptor, then by a second read.
// The gap between this and bare_round_trip is what that way of waiting costs by itself.
bool polling_round_trip(int fd, int wake_fd, unsigned char value) {
    if (write(fd, &value, 1) != 1) return false;
    unsigned char back = 0;
    for (;;) {
        const ssize_t count = read(fd, &back, 1);
        if (count == 1) return back == value;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        pollfd watched[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
        if (ppoll(watched, 2, nullptr, nullptr) < 0 && errno != EINTR) return false;
    }
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

void run_round_trip(BenchLine& line) {
    const int fd = line.bare_fd;
    const jint handle = line.handle;
    const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // never fires
    const int polling_fd = line.nonblocking_fd;
    const auto set_timeout = [handle](jint ms) { Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, ms); };

    // The kinds of round trip, each with the receive time-out it runs under. The goal compares the
    // library without a time-out to a blocking read, which has none either.
    struct Kind {
        std::function<bool(unsigned char)> round_trip;
        jint timeout_ms;
        std::vector<double> ns;
    };
    Kind bare{[fd](unsigned char value) { return bare_round_trip(fd, value); }, 0, {}};
    Kind library{[handle](unsigned char value) { return library_round_trip(handle, value); }, 0, {}};
    Kind library_timed{[handle](unsigned char value) { return library_round_trip(handle, value); }, 1000, {}};
    Kind polling{[polling_fd, wake_fd](unsigned char value) { return polling_round_trip(polling_fd, wake_fd, value); },
                 0, {}};
    Kind* kinds[] = {&bare, &library, &library_timed, &polling};
    constexpr int kKinds = 4;
    const auto run = [&set_timeout](Kind& kind, int round) {
        set_timeout(kind.timeout_ms);
        return sample(kind.ns, kind.round_trip, round);
    };

    EchoPeer peer(line.pty.master());
    bool ok = wake_fd >= 0;
    for (Kind* kind : kinds) ok = ok && run(*kind, 0);  // warm-up, dropped
    for (Kind* kind : kinds) kind->ns.clear();
    // Rotate which kind goes first, so that none always follows another.
    for (int round = 0; ok && round < kRounds; ++round) {
        for (int k = 0; ok && k < kKinds; ++k) ok = run(*kinds[(round + k) % kKinds], round);
    }

    // Counting only after timing: while the kernel counts system calls, each one is slower.
    SyscallCounter syscalls;
    double calls[kKinds] = {};
    for (int k = 0; ok && syscalls.available() && k < kKinds; ++k) {
        set_timeout(kinds[k]->timeout_ms);
        syscalls.start();
        for (int i = 0; i < kPerRound; ++i) ok = ok && kinds[k]->round_trip(static_cast<unsigned char>(i));
        calls[k] = static_cast<double>(syscalls.stop()) / kPerRound;
    }
    peer.stop(fd);
    if (wake_fd >= 0) close(wake_fd);
    set_timeout(0);

    if (!ok) {
        std::cerr << "round trip: an echo was lost or altered\n";
        print_row({"round trip (write, echo, read)", "", "", "", "", "FAILED"});
        return;
    }
    print_row(time_ratio_row("round trip p50 (writebyte+readbyte vs write+blocking read)", median(bare.ns),
                             median(library.ns), 1.10));
    print_row(time_ratio_row("round trip p99", percentile(bare.ns, 0.99), percentile(library.ns, 0.99), 1.10));
    const auto info = [](Row row) {
        row.goal = "";
        row.verdict = "info";
        print_row(row);
    };
    info(time_ratio_row("round trip p50, library with a 1000 ms receive time-out", median(bare.ns),
                        median(library_timed.ns), 1.10));
    info(time_ratio_row("round trip p50, by hand: non-blocking read, ppoll, read", median(bare.ns),
                        median(polling.ns), 1.10));
    if (syscalls.available()) {
        print_row({"round trip: system calls (bare / library; by hand: " + format_count(calls[3]) + ")",
                   format_count(calls[0]), format_count(calls[1]), "", "", "info"});
    }
}

}  // namespace bench
