#include "comm/posix/port_table.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace ostrabel1::comm::posix {

namespace {

constexpr int kSlotBits = 10;
static_assert((1 << kSlotBits) == kMaxPorts, "a handle's low bits index the table");
// Generations use the remaining bits of a positive int, so a handle is never 0 or negative.
constexpr std::uint32_t kMaxGeneration = (1u << (31 - kSlotBits)) - 1;

}  // namespace

struct Slot {
    // The handle of the port in this slot while it is open; 0 otherwise.
    std::atomic<Handle> handle{0};
    // Operations currently running on the port.
    std::atomic<int> leases{0};
    // Whether the slot is taken (from registration until its port is closed).
    std::atomic<bool> taken{false};
    std::atomic<std::uint32_t> receive_timeout_ms{0};
    // Written only by the thread that holds `taken`, before `handle` is published.
    std::uint32_t generation = 0;
    PortDescriptors descriptors;
};

namespace {

Slot g_slots[kMaxPorts];

Slot* slot_of(Handle handle) {
    if (handle <= 0) return nullptr;
    return &g_slots[static_cast<std::uint32_t>(handle) & (kMaxPorts - 1)];
}

void wake_waiters(int wake_write) {
    // Eight bytes suit an eventfd and a pipe alike; the channel stays readable from now on.
    const std::uint64_t one = 1;
    while (write(wake_write, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void wait_until_no_leases(const Slot& slot) {
    const timespec pause{0, 100'000};  // 0.1 ms: a woken operation returns within microseconds
    // Sequentially consistent, like the lease's count-then-check: with only an acquire load here, the
    // memory model would let this read miss a lease whose holder also missed the handle going away.
    while (slot.leases.load() != 0) nanosleep(&pause, nullptr);
}

}  // namespace

Handle register_port(const PortDescriptors& descriptors) {
    for (int index = 0; index < kMaxPorts; ++index) {
        Slot& slot = g_slots[index];
        bool expected = false;
        if (!slot.taken.compare_exchange_strong(expected, true)) continue;
        slot.generation = slot.generation >= kMaxGeneration ? 1 : slot.generation + 1;
        slot.descriptors = descriptors;
        slot.receive_timeout_ms.store(0, std::memory_order_relaxed);
        const auto handle =
            static_cast<Handle>((slot.generation << kSlotBits) | static_cast<std::uint32_t>(index));
        slot.handle.store(handle, std::memory_order_release);
        return handle;
    }
    return 0;
}

bool unregister_port(Handle handle, PortDescriptors& descriptors) {
    Slot* slot = slot_of(handle);
    if (slot == nullptr) return false;
    Handle expected = handle;
    if (!slot->handle.compare_exchange_strong(expected, 0)) return false;
    wake_waiters(slot->descriptors.wake_write);
    wait_until_no_leases(*slot);
    descriptors = slot->descriptors;
    slot->descriptors = PortDescriptors{};
    slot->receive_timeout_ms.store(0, std::memory_order_relaxed);
    slot->taken.store(false, std::memory_order_release);
    return true;
}

PortLease::PortLease(Handle handle) noexcept {
    Slot* slot = slot_of(handle);
    if (slot == nullptr || slot->handle.load(std::memory_order_acquire) != handle) return;
    slot->leases.fetch_add(1);
    // Checked again once the lease is counted: a close that took the handle out before this
    // point fails this check, and a close after it sees the lease and waits for it.
    if (slot->handle.load() != handle) {
        slot->leases.fetch_sub(1, std::memory_order_release);
        return;
    }
    slot_ = slot;
}

PortLease::~PortLease() {
    if (slot_ != nullptr) slot_->leases.fetch_sub(1, std::memory_order_release);
}

int PortLease::fd() const noexcept { return slot_->descriptors.device; }
int PortLease::wake_fd() const noexcept { return slot_->descriptors.wake_read; }

std::uint32_t PortLease::receive_timeout_ms() const noexcept {
    return slot_->receive_timeout_ms.load(std::memory_order_relaxed);
}

void PortLease::set_receive_timeout_ms(std::uint32_t milliseconds) noexcept {
    slot_->receive_timeout_ms.store(milliseconds, std::memory_order_relaxed);
}

}  // namespace ostrabel1::comm::posix
