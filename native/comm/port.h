// The port layer: one plain call per operation on a serial port, behind the JNI bridge.
// Each platform has its own implementation (comm/posix, comm/win32); the bridge is the same everywhere.
// No call throws; every failure is told by the result alone.
#ifndef OSTRABEL1_COMM_PORT_H
#define OSTRABEL1_COMM_PORT_H

#include <cstdint>

namespace ostrabel1::comm {

// A port handle as it travels through Java: a 32-bit signed value, never 0 or -1 for an open port.
using Handle = std::int32_t;

// Opens the named device for exclusive, synchronous reading and writing. Returns 0 on failure.
Handle open_port(const char* name);

// Asks for input and output queues of 4096 bytes each. Called once, right after a successful open;
// its outcome does not matter to the caller.
void request_queues(Handle handle);

// Closes the port. Returns nonzero on success, 0 on failure.
int close_port(Handle handle);

// Parses a mode-command string into a zero-filled device-control block and applies it to the port,
// whether or not the string parsed. Returns true when the port took the block.
bool set_comm_state(Handle handle, const char* definition);

// Sets the receive time-out: a one-byte read waits at most this many milliseconds; 0 waits forever.
// Returns nonzero on success, 0 on failure.
int set_receive_timeout(Handle handle, std::uint32_t milliseconds);

// Reads one byte: 0..255, or -1 when none came within the receive time-out or the read failed.
int read_byte(Handle handle);

// Writes one byte, blocking until the port has taken it. Returns nonzero on success, 0 on failure.
int write_byte(Handle handle, std::uint8_t value);

// Discards whatever waits in the input queue, leaving output alone. Returns nonzero on success, 0 on failure.
int clear_input(Handle handle);

}  // namespace ostrabel1::comm

#endif
