#include "timeout_bench.h"

#include <poll.h>
#include <termios.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ostrabel1.h"
#include "report.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

struct Overshoots {
    std::vector<double> bare_ms;
    std::vector<double> library_ms;
    bool library_got_a_byte = false;
};

double overshoot_ms(Clock::time_point start, Clock::time_point stop, std::uint32_t timeout_ms) {
    return std::chrono::duration<double, std::milli>(stop - start).count() - timeout_ms;
}

// One wait of each kind, side by side on the silent line, so that long time-outs cost their length once.
void sample(const BenchLine& line, std::uint32_t timeout_ms, Overshoots& into) {
    tcflush(line.bare_fd, TCIFLUSH);
    std::thread bare([&line, &into, timeout_ms] {
        pollfd watched{line.bare_fd, POLLIN, 0};
        const timespec limit{static_cast<time_t>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1'000'000};
        const auto start = Clock::now();
        ppoll(&watched, 1, &limit, nullptr);
        into.bare_ms.push_back(overshoot_ms(start, Clock::now(), timeout_ms));
    });
    const auto start = Clock::now();
    const jint got = Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, line.handle);
    into.library_ms.push_back(overshoot_ms(start, Clock::now(), timeout_ms));
    into.library_got_a_byte = into.library_got_a_byte || got != -1;
    bare.join();
}

std::string triple(const std::vector<double>& ms) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f / %.3f / %.3f ms", median(ms), maximum(ms), minimum(ms));
    return text;
}

void report(std::uint32_t timeout_ms, const Overshoots& overshoots) {
    const std::string label = "time-out " + std::to_string(timeout_ms) + " ms, overshoot p50 / max / min (" +
                              std::to_string(overshoots.library_ms.size()) + " samples)";
    if (overshoots.library_got_a_byte) {
        print_row({label, "", "", "", "", "FAILED: a byte came in on a silent line"});
        return;
    }
    const bool met = median(overshoots.library_ms) < 1.0 && maximum(overshoots.library_ms) < 5.0 &&
                     minimum(overshoots.library_ms) >= 0.0;
    print_row({label, triple(overshoots.bare_ms), triple(overshoots.library_ms), "", "< 1 / < 5 / >= 0 ms",
               met ? "ok" : "MISS"});
}

}  // namespace

void run_timeouts(BenchLine& line, bool include_long) {
    struct Case {
        std::uint32_t timeout_ms;
        int samples;
    };
    std::vector<Case> cases = {{1, 300}, {250, 8}, {2000, 3}};
    if (include_long) cases.push_back({30'000, 1});
    for (const Case& c : cases) {
        Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, line.handle, static_cast<jint>(c.timeout_ms));
        Overshoots overshoots;
        for (int i = 0; i < c.samples; ++i) sample(line, c.timeout_ms, overshoots);
        report(c.timeout_ms, overshoots);
    }
    Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, line.handle, 0);
}

}  // namespace bench
