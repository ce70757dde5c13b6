// The table of ports that this layer has opened and not yet closed.
//
// Java sees a port only by its handle, a 32-bit int it may keep, copy or get wrong. The handle is
// not the file descriptor: it names a slot of a fixed table and carries that slot's generation,
// so a handle that was never issued, or whose port has been closed (even if the slot or the
// descriptor number has since been reused), matches nothing and every operation on it fails.
//
// An operation holds a lease on the port for its whole length. Closing takes the handle out of the
// table first (so no new lease can be had), wakes every waiting operation through the port's wake
// descriptor, waits until the last lease is returned and only then closes the descriptors. A reader
// therefore never touches a descriptor number after it was closed and perhaps reused.
//
// Leases cost two atomic operations and no lock or allocation; the table is a fixed array.
#ifndef OSTRABEL1_COMM_POSIX_PORT_TABLE_H
#define OSTRABEL1_COMM_POSIX_PORT_TABLE_H

#include <cstdint>

#include "comm/port.h"

namespace ostrabel1::comm::posix {

// How many ports may be open at once.
inline constexpr int kMaxPorts = 1024;

// The descriptors of one open port: the device, and a wake-up channel that becomes readable once
// the port is being closed (one eventfd on Linux, the two ends of a pipe elsewhere).
struct PortDescriptors {
    int device = -1;
    int wake_read = -1;
    int wake_write = -1;
};

// Enters an open port; returns its handle, or 0 when the table is full.
// The port starts with a receive time-out of 0 (wait forever).
Handle register_port(const PortDescriptors& descriptors);

// Takes the port out of the table, wakes its waiting operations and waits until they have returned.
// Then hands back the descriptors for the caller to close. False for an unknown handle, including
// a second close of the same port.
bool unregister_port(Handle handle, PortDescriptors& descriptors);

// A lease on an open port for the length of one operation.
class PortLease {
public:
    explicit PortLease(Handle handle) noexcept;
    ~PortLease();
    PortLease(const PortLease&) = delete;
    PortLease& operator=(const PortLease&) = delete;

    // False when the handle names no open port; nothing else may then be called.
    explicit operator bool() const noexcept { return slot_ != nullptr; }

    int fd() const noexcept;
    // Becomes readable once the port is being closed.
    int wake_fd() const noexcept;
    std::uint32_t receive_timeout_ms() const noexcept;
    void set_receive_timeout_ms(std::uint32_t milliseconds) noexcept;

private:
    struct Slot* slot_ = nullptr;
};

}  // namespace ostrabel1::comm::posix

#endif
