// Replaces the global allocator of a test program with one that tests can steer:
// make every allocation fail (out of memory cannot be provoked from outside), or
// record the largest single allocation (to see that no length or count read from
// a file is trusted before its bytes are there), fail after a number of
// allocations (out of memory half way), or count the large ones.
//
// Include it in exactly one source file of a test program.
#pragma once

#include "support/AllocationHooks.h"

#include <atomic>
#include <cstdlib>
#include <new>

// g++ sees the replacement's free() inlined into code that called operator new
// and takes the pair for a mismatch; here it is the very pair it must be.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t n) {
    using namespace kovrel::test;
    if (g_bFailAllocations.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    if (g_nAllocationsLeft.load(std::memory_order_relaxed) >= 0 && g_nAllocationsLeft-- <= 0) {
        g_nAllocationsLeft = 0;
        throw std::bad_alloc();
    }
    if (const std::size_t nFrom = g_nCountFrom.load(std::memory_order_relaxed); nFrom && n >= nFrom)
        ++g_nCounted;
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
