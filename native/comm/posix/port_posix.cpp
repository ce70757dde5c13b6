// The port layer on POSIX systems: a serial port is a terminal device, opened by its path.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/eventfd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "comm/port.h"
#include "comm/posix/line_settings.h"
#include "comm/posix/mode_string.h"
#include "comm/posix/port_table.h"

namespace ostrabel1::comm {

namespace {

using posix::PortDescriptors;
using posix::PortLease;

void close_descriptors(const PortDescriptors& descriptors) {
    if (descriptors.wake_write != descriptors.wake_read && descriptors.wake_write >= 0) close(descriptors.wake_write);
    if (descriptors.wake_read >= 0) close(descriptors.wake_read);
    if (descriptors.device >= 0) close(descriptors.device);
}

bool open_wake_channel(PortDescriptors& descriptors) {
#ifdef __linux__
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    descriptors.wake_read = descriptors.wake_write = fd;
    return fd >= 0;
#else
    int ends[2];
    if (pipe(ends) != 0) return false;
    for (int end : ends) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, O_NONBLOCK);
    }
    descriptors.wake_read = ends[0];
    descriptors.wake_write = ends[1];
    return true;
#endif
}

// Raw binary mode, as a Windows comm handle always is: no line editing, echo, signals or byte
// translation. The baud rate and hardware flow control stay as they were; the receiver is on and
// modem status lines are ignored, so reads and writes never wait for carrier.
bool make_raw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The kernel may end a ppoll up to a thousandth of its time-out late (2 ms on a 2 s wait, 30 ms on
// 30 s), so a long wait goes in slices: only the last can be late, and by at most 0.1 ms.
constexpr std::int64_t kLongestSliceNs = 100'000'000;

// Waits until `fd` is ready for `events` or the port is being closed. A deadline of 0 waits without
// limit. Returns the device's poll events, or 0 on time-out, close or failure.
short wait_for(const PortLease& port, short events, std::int64_t deadline_ns) {
    pollfd watched[2] = {{port.fd(), events, 0}, {port.wake_fd(), POLLIN, 0}};
    for (;;) {
        timespec remaining{};
        const timespec* limit = nullptr;
        if (deadline_ns != 0) {
            const std::int64_t left = deadline_ns - monotonic_ns();
            if (left <= 0) return 0;
            const std::int64_t slice = left < kLongestSliceNs ? left : kLongestSliceNs;
            remaining.tv_sec = static_cast<time_t>(slice / 1'000'000'000);
            remaining.tv_nsec = static_cast<long>(slice % 1'000'000'000);
            limit = &remaining;
        }
        const int ready = ppoll(watched, 2, limit, nullptr);
        if (ready < 0 && errno == EINTR) continue;  // the remaining time is worked out afresh
        if (ready < 0) return 0;
        if (watched[1].revents != 0) return 0;       // closing
        if (ready > 0) return watched[0].revents;
        // ppoll ran out; go round once more in case the clock says time is left, so we never end early
    }
}

}  // namespace

Handle open_port(const char* name) {
    if (name == nullptr || *name == '\0') return 0;
    // Non-blocking so that opening never waits for carrier; it stays so, and every wait is a poll.
    PortDescriptors descriptors;
    descriptors.device = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptors.device < 0) return 0;
    const int fd = descriptors.device;
    // Exclusive against every other open: flock holds against other processes, other descriptors
    // of this process and other serial programs, and for root too, who passes TIOCEXCL.
    const bool exclusive = isatty(fd) && flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
    const bool usable = exclusive && make_raw(fd) && open_wake_channel(descriptors);
    const Handle handle = usable ? posix::register_port(descriptors) : 0;
    if (handle == 0) {
        // Undone on every failure after it was set: a pseudo-terminal keeps the mark past its last close.
        if (exclusive) ioctl(fd, TIOCNXCL);
        close_descriptors(descriptors);
    }
    return handle;
}

void request_queues(Handle /*handle*/) {
    // Linux gives every terminal a fixed 4 KiB input buffer in its line discipline and a transmit
    // buffer in the driver, and has no call to size them; nothing to do here.
}

int close_port(Handle handle) {
    PortDescriptors descriptors;
    if (!posix::unregister_port(handle, descriptors)) return 0;
    ioctl(descriptors.device, TIOCNXCL);
    close_descriptors(descriptors);
    return 1;
}

bool set_comm_state(Handle handle, const char* definition) {
    const PortLease port(handle);
    if (!port) return false;
    // A refused string leaves the block zero, and a zero block is refused by the device below.
    posix::DeviceControlBlock block{};
    posix::parse_mode_string(definition, block);
    return posix::apply_block(port.fd(), block);
}

int set_receive_timeout(Handle handle, std::uint32_t milliseconds) {
    PortLease port(handle);
    if (!port) return 0;
    port.set_receive_timeout_ms(milliseconds);
    return 1;
}

int read_byte(Handle handle) {
    const PortLease port(handle);
    if (!port) return -1;
    std::int64_t deadline_ns = -1;  // worked out only when the first read finds nothing
    for (;;) {
        unsigned char byte = 0;
        const ssize_t count = read(port.fd(), &byte, 1);
        if (count == 1) return byte;
        if (count == 0) return -1;  // end of file: the device hung up
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;  // EIO when the other end is gone
        if (deadline_ns < 0) {
            const std::uint32_t timeout_ms = port.receive_timeout_ms();
            deadline_ns = timeout_ms == 0 ? 0 : monotonic_ns() + std::int64_t{timeout_ms} * 1'000'000;
        }
        const short events = wait_for(port, POLLIN, deadline_ns);
        if ((events & POLLIN) == 0) return -1;  // time-out, close, hang-up or error
    }
}

int write_byte(Handle handle, std::uint8_t value) {
    const PortLease port(handle);
    if (!port) return 0;
    for (;;) {
        const ssize_t count = write(port.fd(), &value, 1);
        if (count == 1) return 1;
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return 0;
        // The output buffer is full: wait, without limit, for room.
        const short events = wait_for(port, POLLOUT, 0);
        if ((events & POLLOUT) == 0) return 0;
    }
}

int clear_input(Handle handle) {
    const PortLease port(handle);
    if (!port) return 0;
    return tcflush(port.fd(), TCIFLUSH) == 0 ? 1 : 0;
}

}  // namespace ostrabel1::comm
