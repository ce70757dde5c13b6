#include "open_close_bench.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <vector>

#include "ostrabel1.h"
#include "report.h"
#include "syscall_counter.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 20;
constexpr int kPerRound = 10;
const char* const kSettings = "baud=9600 parity=n data=8 stop=1";

bool bare_cycle(const char* path) {
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios settings{};
    bool ok = tcgetattr(fd, &settings) == 0;
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    ok = ok && tcsetattr(fd, TCSANOW, &settings) == 0;
    return close(fd) == 0 && ok;
}

struct LibraryCycle {
    bool opened = false;
    bool configured = false;
    bool closed = false;
};

LibraryCycle library_cycle(StaticStringEnv& jni, const char* path) {
    LibraryCycle cycle;
    const jint handle = Java_javax_comm_SerialPort_openPort(jni.env(), nullptr, StaticStringEnv::string(path));
    cycle.opened = handle != 0;
    if (!cycle.opened) return cycle;
    cycle.configured =
        Java_javax_comm_SerialPort_setCommState(jni.env(), nullptr, handle, StaticStringEnv::string(kSettings)) ==
        JNI_TRUE;
    cycle.configured = Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 250) != 0 &&
                       cycle.configured;
    cycle.closed = Java_javax_comm_SerialPort_closePort(nullptr, nullptr, handle) != 0;
    return cycle;
}

double elapsed_ns(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

}  // namespace

void run_open_close(BenchLine& line) {
    const char* path = line.pty.slave_path().c_str();
    std::vector<double> bare_ns;
    std::vector<double> library_ns;
    bool bare_ok = true;
    LibraryCycle library_ok{true, true, true};
    const auto bare = [&] {
        const auto start = Clock::now();
        bare_ok = bare_cycle(path) && bare_ok;
        bare_ns.push_back(elapsed_ns(start));
    };
    const auto library = [&] {
        const auto start = Clock::now();
        const LibraryCycle cycle = library_cycle(line.jni, path);
        library_ns.push_back(elapsed_ns(start));
        library_ok.opened = library_ok.opened && cycle.opened;
        library_ok.configured = library_ok.configured && cycle.configured;
        library_ok.closed = library_ok.closed && cycle.closed;
    };
    for (int round = 0; round < kRounds; ++round) {
        const bool bare_first = round % 2 == 0;
        for (int i = 0; i < kPerRound; ++i) bare_first ? bare() : library();
        for (int i = 0; i < kPerRound; ++i) bare_first ? library() : bare();
    }

    // Counting only after timing: while the kernel counts system calls, each one is slower.
    SyscallCounter syscalls;
    double bare_calls = 0;
    double library_calls = 0;
    if (syscalls.available()) {
        syscalls.start();
        bare_cycle(path);
        bare_calls = static_cast<double>(syscalls.stop());
        syscalls.start();
        library_cycle(line.jni, path);
        library_calls = static_cast<double>(syscalls.stop());
    }

    std::string verdict = "info";
    if (!bare_ok || !library_ok.opened || !library_ok.closed) verdict = "FAILED: open or close failed";
    else if (!library_ok.configured) verdict = "info: setCommState refused \"" + std::string(kSettings) + "\"";
    Row row = time_ratio_row("open + configure + close, p50", percentile(bare_ns, 0.5), percentile(library_ns, 0.5),
                             1.0);
    row.baseline = format_ms(percentile(bare_ns, 0.5) / 1e6);
    row.library = format_ms(percentile(library_ns, 0.5) / 1e6);
    row.goal = "report";
    row.verdict = verdict;
    print_row(row);
    if (syscalls.available()) {
        print_row({"open + configure + close: system calls", format_count(bare_calls), format_count(library_calls),
                   "", "", "info"});
    }
}

}  // namespace bench
