// Counts the system calls the calling thread makes between start() and stop(), by the kernel's own
// count (the raw_syscalls:sys_enter tracepoint through perf_event_open): nothing is traced or
// wrapped, so the code being measured makes exactly the calls it would make without the counter.
// While any such counter exists, though, the kernel sends every system call of every thread down a
// slower path: create one only after timing, never around it.
#ifndef OSTRABEL1_BENCH_SYSCALL_COUNTER_H
#define OSTRABEL1_BENCH_SYSCALL_COUNTER_H

#include <cstdint>
#include <string>

namespace bench {

class SyscallCounter {
public:
    SyscallCounter();
    ~SyscallCounter();
    SyscallCounter(const SyscallCounter&) = delete;
    SyscallCounter& operator=(const SyscallCounter&) = delete;

    // False when the kernel won't count (no tracefs, no permission); error() says why.
    bool available() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    void start();
    // The system calls made since start(), not counting the counter's own.
    std::uint64_t stop();

private:
    std::uint64_t read_raw();

    int fd_ = -1;
    std::uint64_t own_calls_ = 0;
    std::string error_;
};

}  // namespace bench

#endif
