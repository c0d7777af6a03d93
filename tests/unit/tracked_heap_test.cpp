#include <gtest/gtest.h>

#include <cstdint>

#include "core/tracked_heap.hpp"

using namespace vyn;

// The memory report shows the bytes the tracked heap holds: they follow every allocation,
// resize and release, and the payload stays 16-byte aligned behind its header.
TEST(TrackedHeap, BytesFollowAllocationsResizesAndReleases) {
    size_t before = sys::heap_bytes();
    void* a = sys::heap_alloc(100);
    void* b = sys::heap_alloc(28);
    EXPECT_EQ(sys::heap_bytes(), before + 128);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    a = sys::heap_realloc(a, 1000);
    EXPECT_EQ(sys::heap_bytes(), before + 1028);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    sys::heap_free(a);
    EXPECT_EQ(sys::heap_bytes(), before + 28);
    sys::heap_free(b);
    EXPECT_EQ(sys::heap_bytes(), before);
}
