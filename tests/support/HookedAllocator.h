// Replaces the global allocator of a test program with one that tests can steer:
// make every allocation fail (out of memory cannot be provoked from outside), or
// record the largest single allocation (to see that no length or count read from
// a file is trusted before its bytes are there).
//
// Include it in exactly one source file of a test program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

// g++ sees the replacement's free() inlined into code that called operator new
// and takes the pair for a mismatch; here it is the very pair it must be.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace kovrel::test {
inline std::atomic<bool> g_bFailAllocations{false};
inline std::atomic<bool> g_bTrackLargest{false};
inline std::atomic<std::size_t> g_nLargestAllocation{0};
} // namespace kovrel::test

void* operator new(std::size_t n) {
    using namespace kovrel::test;
    if (g_bFailAllocations.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    if (g_bTrackLargest.load(std::memory_order_relaxed) && n > g_nLargestAllocation.load())
        g_nLargestAllocation = n;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
