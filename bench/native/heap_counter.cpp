#include "heap_counter.h"

#include <cerrno>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define OSTRABEL1_BENCH_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OSTRABEL1_BENCH_SANITIZED 1
#endif

#ifdef OSTRABEL1_BENCH_SANITIZED

namespace bench {
bool heap_counting_available() { return false; }
std::uint64_t heap_allocations() { return 0; }
}  // namespace bench

#else

// glibc's allocator under its own names, which replacing malloc leaves reachable.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {
// Per thread, so the echo peer and the benchmark library's own threads don't blur the count.
thread_local std::uint64_t t_allocations = 0;
}  // namespace

namespace bench {
bool heap_counting_available() { return true; }
std::uint64_t heap_allocations() { return t_allocations; }
}  // namespace bench

extern "C" {

void* malloc(std::size_t size) noexcept {
    ++t_allocations;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    ++t_allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    ++t_allocations;
    return __libc_realloc(pointer, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    ++t_allocations;
    return __libc_memalign(alignment, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    ++t_allocations;
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    ++t_allocations;
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) return ENOMEM;
    *result = pointer;
    return 0;
}

}  // extern "C"

#endif  // OSTRABEL1_BENCH_SANITIZED
