// A pseudo-terminal with its slave end opened through the natives: the port under test, and the
// master end playing the device on the other side of the line.
#ifndef OSTRABEL1_TESTS_RELIABILITY_OPEN_LINE_H
#define OSTRABEL1_TESTS_RELIABILITY_OPEN_LINE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "natives.h"
#include "pseudo_terminal.h"

struct OpenLine {
    PseudoTerminal line;
    jint port = 0;

    OpenLine() {
        if (line.ok()) port = natives::open_port(line.path());
    }
    ~OpenLine() {
        if (port != 0) natives::close_port(port);
    }
    OpenLine(const OpenLine&) = delete;
    OpenLine& operator=(const OpenLine&) = delete;

    bool ok() const { return port != 0; }
    // Closes the port now; the destructor then has nothing left to do.
    jint close() {
        const jint result = natives::close_port(port);
        port = 0;
        return result;
    }
};

// Runs `call` on a thread of its own and notes when it returned, so a test can bound how long a
// blocked native takes to come back without hanging itself.
class BlockedCall {
public:
    using Clock = std::chrono::steady_clock;

    template <typename Call>
    explicit BlockedCall(Call call)
        : thread_([this, call] {
              result_ = call();
              returned_at_ = Clock::now();
              done_.store(true, std::memory_order_release);
          }) {}
    ~BlockedCall() {
        if (thread_.joinable()) thread_.join();
    }
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;

    bool done() const { return done_.load(std::memory_order_acquire); }

    // Waits up to `limit` for the call to return; true when it has.
    bool wait(std::chrono::milliseconds limit) const {
        const auto until = Clock::now() + limit;
        while (!done() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::microseconds(200));
        return done();
    }

    // Valid once done().
    int result() const { return result_; }
    Clock::time_point returned_at() const { return returned_at_; }

private:
    int result_ = 0;
    Clock::time_point returned_at_{};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

#endif
