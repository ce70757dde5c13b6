// Counts heap allocations made by the calling thread. The bench binary replaces malloc and its
// relatives with versions that count and then hand over to the C library's own allocator; because
// the executable defines them, the library module's calls land here too.
#ifndef OSTRABEL1_BENCH_HEAP_COUNTER_H
#define OSTRABEL1_BENCH_HEAP_COUNTER_H

#include <cstdint>

namespace bench {

// False in a sanitizer build, whose runtime owns malloc; nothing is counted then.
bool heap_counting_available();

// Allocations made by this thread so far.
std::uint64_t heap_allocations();

}  // namespace bench

#endif
