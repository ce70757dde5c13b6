// The port layer on Windows: each operation is one or two calls of the kernel32 communications
// functions, with nothing added. The HANDLE travels through Java as a 32-bit value: kernel handles
// fit in 32 bits on 64-bit Windows too, and sign extension on the way back restores any negative
// value (such as a pseudo-handle) exactly.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

#include "comm/port.h"

namespace ostrabel1::comm {

namespace {

HANDLE to_os(Handle handle) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle)); }

Handle from_os(HANDLE handle) { return static_cast<Handle>(reinterpret_cast<std::intptr_t>(handle)); }

constexpr DWORD kQueueBytes = 4096;

}  // namespace

Handle open_port(const char* name) {
    // Share mode 0 keeps a second open out; no overlapped flag, so every read and write is synchronous.
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    return from_os(handle);
}

void request_queues(Handle handle) {
    // A port that can't resize its queues still works with the ones it has.
    SetupComm(to_os(handle), kQueueBytes, kQueueBytes);
}

int close_port(Handle handle) { return CloseHandle(to_os(handle)); }

bool set_comm_state(Handle handle, const char* definition) {
    // Built from zero every time: fields the definition leaves out are 0, not the port's current
    // values. DCBlength stays 0 too: SetCommState takes the block without it.
    DCB block{};
    BuildCommDCBA(definition, &block);  // a rejected definition still goes to the port as parsed so far
    return SetCommState(to_os(handle), &block) != FALSE;
}

int set_receive_timeout(Handle handle, std::uint32_t milliseconds) {
    // Every read asks for one byte, so the per-byte multiplier is the whole time-out of a read;
    // with everything else 0, a multiplier of 0 means no time-out at all.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutMultiplier = milliseconds;
    return SetCommTimeouts(to_os(handle), &timeouts);
}

int read_byte(Handle handle) {
    unsigned char byte = 0;
    DWORD count = 0;
    ReadFile(to_os(handle), &byte, 1, &count, nullptr);  // the count alone tells a byte from none
    return count == 0 ? -1 : byte;
}

int write_byte(Handle handle, std::uint8_t value) {
    DWORD written = 0;
    return WriteFile(to_os(handle), &value, 1, &written, nullptr);
}

int clear_input(Handle handle) { return PurgeComm(to_os(handle), PURGE_RXCLEAR); }

}  // namespace ostrabel1::comm
