// The switches of the test allocator (HookedAllocator.h), for the source files of
// a test program other than the one that installs it.
#pragma once

#include <atomic>
#include <cstddef>

namespace kovrel::test {
inline std::atomic<bool> g_bFailAllocations{false};
inline std::atomic<bool> g_bTrackLargest{false};
inline std::atomic<std::size_t> g_nLargestAllocation{0};
// Allocations that still succeed before every further one fails; negative: no end.
inline std::atomic<long> g_nAllocationsLeft{-1};
// How many allocations of at least g_nCountFrom bytes were made (0: none counted).
inline std::atomic<std::size_t> g_nCountFrom{0};
inline std::atomic<std::size_t> g_nCounted{0};
} // namespace kovrel::test
