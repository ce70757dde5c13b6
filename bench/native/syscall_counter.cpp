#include "syscall_counter.h"

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace bench {

namespace {

// The tracepoint's id, from wherever tracefs is mounted; -1 if it is nowhere.
long sys_enter_id() {
    for (const char* path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                             "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
        std::ifstream file(path);
        long id = -1;
        if (file >> id) return id;
    }
    return -1;
}

}  // namespace

SyscallCounter::SyscallCounter() {
    const long id = sys_enter_id();
    if (id < 0) {
        error_ = "tracefs is not mounted (mount -t tracefs nodev /sys/kernel/tracing)";
        return;
    }
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.config = static_cast<std::uint64_t>(id);
    attr.disabled = 1;
    // This thread only, on whichever CPU it runs.
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
    if (fd_ < 0) {
        error_ = std::string("perf_event_open: ") + std::strerror(errno) + " (needs root or kernel.perf_event_paranoid <= 1)";
        return;
    }
    // The counter's own calls that land inside a window (the ioctl that stops it): the least an
    // empty window ever shows.
    own_calls_ = ~std::uint64_t{0};
    for (int i = 0; i < 5; ++i) {
        start();
        ioctl(fd_, PERF_EVENT_IOC_DISABLE, 0);
        own_calls_ = std::min(own_calls_, read_raw());
    }
}

SyscallCounter::~SyscallCounter() {
    if (fd_ >= 0) close(fd_);
}

void SyscallCounter::start() {
    ioctl(fd_, PERF_EVENT_IOC_RESET, 0);
    ioctl(fd_, PERF_EVENT_IOC_ENABLE, 0);
}

std::uint64_t SyscallCounter::stop() {
    ioctl(fd_, PERF_EVENT_IOC_DISABLE, 0);
    const std::uint64_t raw = read_raw();
    return raw > own_calls_ ? raw - own_calls_ : 0;
}

std::uint64_t SyscallCounter::read_raw() {
    std::uint64_t value = 0;
    if (read(fd_, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) return 0;
    return value;
}

}  // namespace bench
