// Two openers of one port at the same instant, many times over: exactly one gets it, whether the
// two are threads of one process or two processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "natives.h"
#include "pseudo_terminal.h"

namespace {

constexpr int kRounds = 300;

TEST(ExclusiveRace, TwoThreadsExactlyOneWins) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    int both = 0, neither = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> ready{0};
        jint got[2] = {0, 0};
        std::thread openers[2];
        for (int i = 0; i < 2; ++i) {
            openers[i] = std::thread([&, i] {
                ++ready;
                while (ready.load() < 2) {
                }
                got[i] = natives::open_port(line.path());
            });
        }
        for (std::thread& opener : openers) opener.join();
        const int winners = (got[0] != 0) + (got[1] != 0);
        both += winners == 2;
        neither += winners == 0;
        for (jint port : got) {
            if (port != 0) {
                EXPECT_EQ(natives::close_port(port), 1);
            }
        }
    }
    std::printf("%d rounds of two threads opening at once: %d with two winners, %d with none\n", kRounds, both,
                neither);
    EXPECT_EQ(both, 0);
    EXPECT_EQ(neither, 0);
}

// One round: two children wait on `go`, open at once, report on `report`, and hold what they got
// until `release` closes, so that a late opener can't win just because the first let go.
int winners_among_two_processes(const std::string& path) {
    int go[2], report[2], release[2];
    if (pipe(go) != 0 || pipe(report) != 0 || pipe(release) != 0) return -1;
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            close(go[1]);
            close(report[0]);
            close(release[1]);
            char start;
            if (read(go[0], &start, 1) != 0) _exit(2);  // end of file is the starting shot
            const jint port = natives::open_port(path);
            const char won = port != 0 ? '1' : '0';
            if (write(report[1], &won, 1) != 1) _exit(2);
            char done;
            if (read(release[0], &done, 1) != 0) _exit(2);
            _exit(port == 0 || natives::close_port(port) == 1 ? 0 : 3);
        }
    }
    close(go[0]);
    close(report[1]);
    close(release[0]);
    close(go[1]);  // both start
    int winners = 0;
    char result;
    for (int i = 0; i < 2 && read(report[0], &result, 1) == 1; ++i) winners += result == '1';
    close(release[1]);
    close(report[0]);
    for (pid_t child : children) {
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    }
    return winners;
}

TEST(ExclusiveRace, TwoProcessesExactlyOneWins) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    int tally[3] = {0, 0, 0};
    for (int round = 0; round < kRounds; ++round) {
        const int winners = winners_among_two_processes(line.path());
        ASSERT_GE(winners, 0) << "round " << round << ": a child failed";
        ++tally[winners];
    }
    std::printf("%d rounds of two processes opening at once: %d with one winner, %d with two, %d with none\n",
                kRounds, tally[1], tally[2], tally[0]);
    EXPECT_EQ(tally[1], kRounds);
    // Both processes have gone, and with them their hold on the port.
    const jint port = natives::open_port(line.path());
    EXPECT_NE(port, 0);
    EXPECT_EQ(natives::close_port(port), 1);
}

}  // namespace
