// Opening and closing leave nothing behind: no descriptor, no lock (a later open, here or in another
// process, succeeds) and, in the AddressSanitizer build, no memory (LeakSanitizer checks at exit).
// That holds after many cycles and on every path where the open fails half-way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "natives.h"
#include "process_probe.h"
#include "pseudo_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

// Whether another program could open and lock the port right now: a child process opens the device
// and takes the lock as any serial program would (a fork of this process would share the library's
// table of ports, so it uses the system calls directly). Run as root, the child first gives up root,
// which the kernel lets pass an exclusive terminal, so that a left-over exclusive mark shows too.
bool another_process_can_open(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (chmod(path.c_str(), 0666) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class OpenCloseCycles : public ::testing::TestWithParam<int> {};

TEST_P(OpenCloseCycles, LeaveNoDescriptorOrLockBehind) {
    constexpr int kCycles = 10'000;
    const int threads = GetParam();
    std::vector<std::unique_ptr<PseudoTerminal>> lines;
    for (int i = 0; i < threads; ++i) {
        lines.push_back(std::make_unique<PseudoTerminal>());
        ASSERT_TRUE(lines.back()->ok());
    }
    const std::set<int> before = open_descriptors();

    std::vector<int> failures(threads, 0);
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            const std::string& path = lines[i]->path();
            for (int cycle = 0; cycle < kCycles / threads; ++cycle) {
                const jint port = natives::open_port(path);
                if (port == 0) {
                    ++failures[i];
                    continue;
                }
                natives::set_comm_state(port, cycle % 2 ? "baud=9600 parity=n data=8 stop=1" : "96,n,8,1");
                natives::set_receive_timeout(port, cycle);
                natives::clear_input(port);
                if (natives::close_port(port) != 1) ++failures[i];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d open/configure/close cycles on %d thread(s): %.2f s, %.1f us per cycle\n", kCycles, threads,
                seconds, seconds * 1e6 / kCycles);

    for (int i = 0; i < threads; ++i) EXPECT_EQ(failures[i], 0) << "thread " << i;
    EXPECT_EQ(open_descriptors(), before) << "descriptors left open";
    for (const auto& line : lines) {
        EXPECT_TRUE(another_process_can_open(line->path())) << "a lock outlived its port";
        const jint port = natives::open_port(line->path());
        EXPECT_NE(port, 0);
        EXPECT_EQ(natives::close_port(port), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, OpenCloseCycles, ::testing::Values(1, 4));

// The two lowest descriptor numbers not in use.
std::pair<int, int> two_free_descriptors() {
    const std::set<int> used = open_descriptors();
    int first = 0;
    while (used.count(first) != 0) ++first;
    int second = first + 1;
    while (used.count(second) != 0) ++second;
    return {first, second};
}

// The open runs out of descriptors part-way: before the device is open, or after it is open and
// locked but before its wake channel is. Either way it fails and undoes all it did.
TEST(OpenFailsHalfWay, OutOfDescriptorsUndoesEverything) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    for (int allowed : {0, 1}) {
        SCOPED_TRACE(std::to_string(allowed) + " descriptor(s) left");
        const auto [first, second] = two_free_descriptors();
        const std::set<int> before = open_descriptors();
        rlimit tight = original;
        tight.rlim_cur = static_cast<rlim_t>(allowed == 0 ? first : second);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
        const jint port = natives::open_port(line.path());
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &original), 0);

        EXPECT_EQ(port, 0);
        if (port != 0) natives::close_port(port);
        EXPECT_EQ(open_descriptors(), before);
        EXPECT_TRUE(another_process_can_open(line.path())) << "the failed open left the port locked";
    }
}

// More ports than the library can hold at once: the one too many fails cleanly, and closing any
// one makes room again.
TEST(OpenFailsHalfWay, TableFullUndoesEverything) {
    constexpr int kMorePortsThanFit = 1025;
    // Three descriptors a port (ours, the device, the wake channel): more than a default soft limit.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t needed = 4 * kMorePortsThanFit;
    if (limit.rlim_cur < needed) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= needed ? needed : limit.rlim_max;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        ASSERT_GE(limit.rlim_cur, needed) << "the hard descriptor limit is too low for this test";
    }
    std::vector<std::unique_ptr<PseudoTerminal>> lines;
    std::vector<jint> ports;
    for (int i = 0; i < kMorePortsThanFit; ++i) {
        lines.push_back(std::make_unique<PseudoTerminal>());
        ASSERT_TRUE(lines.back()->ok()) << "could not make pseudo-terminal " << i;
    }
    const std::set<int> before = open_descriptors();
    jint refused_at = -1;
    for (int i = 0; i < kMorePortsThanFit; ++i) {
        const jint port = natives::open_port(lines[i]->path());
        if (port == 0) {
            refused_at = i;
            break;
        }
        ports.push_back(port);
    }
    std::printf("%zu ports open at once; open number %d refused\n", ports.size(), refused_at + 1);
    ASSERT_GE(refused_at, 0) << "the table never filled";
    const std::string& refused_path = lines[refused_at]->path();
    EXPECT_TRUE(another_process_can_open(refused_path)) << "the refused open left its port locked";

    // Every port that did open has its own handle and works.
    for (std::size_t i = 0; i < ports.size(); i += 97) {
        ASSERT_EQ(natives::write_byte(ports[i], 'a'), 1);
        EXPECT_EQ(lines[i]->receive(1), "a");
    }
    ASSERT_EQ(natives::close_port(ports.back()), 1);
    ports.pop_back();
    const jint room = natives::open_port(refused_path);
    EXPECT_NE(room, 0);
    ports.push_back(room);
    for (jint port : ports) EXPECT_EQ(natives::close_port(port), 1);
    EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
