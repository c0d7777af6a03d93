#include <gtest/gtest.h>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/unwind.hpp"
#include "startup/startup.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class Memory : public testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory"});
    }
};

err::Code error_of(void (*f)()) {
    try {
        f();
    } catch (const Unwind& exit) {
        EXPECT_EQ(exit.code, EXIT_ERROR);
        return last_raw_error();
    }
    return err::Code(0);
}

}  // namespace

TEST_F(Memory, EmptyRequestsStillGetSixteenBytes) {
    EXPECT_EQ(memory::series_of(memory::alloc_bytes(0))->capacity, 16u);
    Series* s = memory::series_of(memory::alloc_codepoints(0, 4));
    EXPECT_EQ(s->capacity, 16u);
    EXPECT_EQ(s->head, s->tail);
}

TEST_F(Memory, NodeAndBufferReferToEachOther) {
    NodeId a = memory::alloc_cells(4);
    NodeId b = memory::alloc_cells(4);
    EXPECT_NE(a, b);
    EXPECT_EQ(memory::series_of(a)->node, a);
    EXPECT_EQ(memory::series_of(a)->unit(), 16);
    EXPECT_TRUE(memory::series_of(a)->flags & SERIES_LIVE);
}

TEST_F(Memory, MiddleOffsetPlacesHeadAndTailHalfway) {
    Series* s = memory::series_of(memory::alloc_series(10, 2, -1));
    EXPECT_EQ(s->capacity, 32u);
    EXPECT_EQ(s->head, 16u);
    EXPECT_EQ(s->tail, 16u);
    EXPECT_TRUE(s->flags & SERIES_MIDDLE);
}

TEST_F(Memory, BuffersOfTwoMegabytesGetABigFrame) {
    const uint64_t threshold = 0x200000 - sizeof(Series);
    EXPECT_TRUE(memory::series_of(memory::alloc_bytes(threshold))->flags & SERIES_BIG);
    EXPECT_FALSE(memory::series_of(memory::alloc_bytes(threshold - 16))->flags & SERIES_BIG);
}

TEST_F(Memory, FreedNodesAreReusedLastFreedFirst) {
    NodeId a = memory::alloc_node();
    NodeId b = memory::alloc_node();
    memory::free_node(a);
    memory::free_node(b);
    EXPECT_EQ(memory::alloc_node(), b);
    EXPECT_EQ(memory::alloc_node(), a);
}

TEST_F(Memory, ExpansionKeepsTheUsedBytesAndMovesThemToTheStart) {
    NodeId node = memory::alloc_bytes(16);
    Series* s = memory::series_of(node);
    std::memcpy(s->data(), "0123456789abcdef", 16);
    s->head = 4;
    s->tail = 10;
    Series* old = s;
    Series* grown = memory::expand_copy(node, 0);
    EXPECT_EQ(memory::series_of(node), grown);
    EXPECT_EQ(grown->capacity, 32u);
    EXPECT_EQ(grown->head, 0u);
    EXPECT_EQ(grown->used_bytes(), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(grown->data()), 6), "456789");
    EXPECT_EQ(old->node, 0u);
    EXPECT_FALSE(old->flags & SERIES_LIVE);
}

TEST_F(Memory, ShrinkingCopiesOnlyWhatFits) {
    NodeId node = memory::alloc_bytes_filled(64, 'x');
    memory::series_of(node)->tail = 64;
    Series* s = memory::expand_copy(node, 16);
    EXPECT_EQ(s->capacity, 16u);
    EXPECT_EQ(s->used_bytes(), 16u);
}

TEST_F(Memory, ExpandFillFillsTheNewPart) {
    NodeId node = memory::alloc_bytes_filled(16, 1);
    Series* s = memory::expand_fill(node, 48, 7);
    EXPECT_EQ(s->data()[15], 1);
    EXPECT_EQ(s->data()[16], 7);
    EXPECT_EQ(s->data()[47], 7);
}

TEST_F(Memory, CopyBufferKeepsFlagsAndContents) {
    NodeId node = memory::alloc_bytes(16);
    memory::set_flags(node, 0x40);
    std::memcpy(memory::alloc_tail_bytes(node, 3), "abc", 3);
    NodeId copy = memory::copy_buffer(node);
    Series* c = memory::series_of(copy);
    EXPECT_NE(copy, node);
    EXPECT_TRUE(c->flags & 0x40);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(c->head_ptr()), c->used_bytes()), "abc");
}

TEST_F(Memory, AppendingManyCellsMovesTheBufferToABigFrame) {
    NodeId node = memory::alloc_cells(1);
    for (int i = 0; i < 300000; ++i) *memory::alloc_tail_cell(node) = integer_cell(i);
    Series* s = memory::series_of(node);
    EXPECT_EQ(s->length(), 300000u);
    EXPECT_TRUE(s->flags & SERIES_BIG);
    EXPECT_EQ(s->cells()[299999].i32(), 299999);
    EXPECT_EQ(s->cells()[12345].i32(), 12345);
}

TEST_F(Memory, AppendingBytesGrowsByDoubling) {
    NodeId node = memory::alloc_bytes(0);
    for (int i = 0; i < 100000; ++i) std::memcpy(memory::alloc_tail_bytes(node, 2), "xy", 2);
    Series* s = memory::series_of(node);
    EXPECT_EQ(s->used_bytes(), 200000u);
    EXPECT_EQ(s->head_ptr()[199999], 'y');
}

TEST_F(Memory, SizesBeyondThirtyTwoBitsAreRefusedNeverWrapped) {
    EXPECT_EQ(error_of([] { memory::alloc_cells(2147483647); }), err::no_memory);
    EXPECT_EQ(error_of([] { memory::alloc_codepoints(0x40000000, 4); }), err::no_memory);
    EXPECT_EQ(error_of([] { memory::expand(memory::alloc_bytes(16), uint64_t(1) << 33); }),
              err::no_memory);
}

TEST_F(Memory, FixedBuffersNeverLeaveTheHeap) {
    NodeId node = memory::alloc_fixed_series(100, 16, 0);
    Series* s = memory::series_of(node);
    EXPECT_TRUE(s->flags & SERIES_FIXED);
    memory::alloc_bytes(1 << 20);
    EXPECT_EQ(memory::series_of(node), s);
}
