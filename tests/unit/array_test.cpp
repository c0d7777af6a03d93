// Dynamic arrays: sizing and growth, item access by 1-based index, searches by byte offset,
// insertion and removal that move the other items, and fatal error 98 for indexes outside them.
#include <gtest/gtest.h>

#include <vector>

#include "core/array.hpp"
#include "core/memory.hpp"
#include "startup/startup.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class Array : public testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory"});
    }

    static NodeId ints(std::initializer_list<int32_t> items, uint32_t room = 0) {
        NodeId node = array::make(room, 4);
        for (int32_t item : items) array::append_int(node, item);
        return node;
    }
    static std::vector<int32_t> items_of(NodeId node) {
        std::vector<int32_t> out;
        for (uint32_t i = 1; i <= array::length(node); ++i) out.push_back(array::pick_int(node, i));
        return out;
    }
    static uint32_t capacity(NodeId node) { return memory::series_of(node)->capacity; }
};

TEST_F(Array, MakeRoundsToSixteenBytesAndRecordsTheUnit) {
    NodeId empty = array::make(0, 4);
    EXPECT_EQ(capacity(empty), 16u);
    EXPECT_EQ(array::length(empty), 0u);
    EXPECT_EQ(array::flags(empty) & SERIES_UNIT_MASK, 4u);
    EXPECT_EQ(capacity(array::make(5, 8)), 48u);
}

TEST_F(Array, FifthIntDoublesAnArrayMadeForFourAndKeepsTheFirstFour) {
    NodeId node = ints({10, 20, 30, 40}, 4);
    EXPECT_EQ(capacity(node), 16u);
    array::append_int(node, 50);
    EXPECT_EQ(capacity(node), 32u);
    EXPECT_EQ(items_of(node), (std::vector<int32_t>{10, 20, 30, 40, 50}));
}

TEST_F(Array, ManyAppendsSurviveRepeatedGrowth) {
    NodeId node = array::make(0, 4);
    for (int32_t i = 0; i < 100000; ++i) array::append_int(node, i * 3);
    ASSERT_EQ(array::length(node), 100000u);
    EXPECT_EQ(array::pick_int(node, 1), 0);
    EXPECT_EQ(array::pick_int(node, 100000), 99999 * 3);
    EXPECT_EQ(array::find_int(node, 3000), 1000 * 4);
}

TEST_F(Array, FindIntAnswersTheByteOffsetOfTheFirstMatch) {
    EXPECT_EQ(array::find_int(array::make(0, 4), 0), -1);
    NodeId node = ints({7, 9, 9});
    EXPECT_EQ(array::find_int(node, 9), 4);
    EXPECT_EQ(array::find_int(node, 8), -1);
}

TEST_F(Array, InsertIntPutsTheItemBeforeThePosition) {
    struct Case {
        uint32_t position;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {0, {99, 1, 2, 3}},
        {1, {1, 99, 2, 3}},
        {3, {1, 2, 3, 99}},
    };
    for (const Case& c : cases) {
        NodeId node = ints({1, 2, 3});
        array::insert_int(node, 99, c.position);
        EXPECT_EQ(items_of(node), c.expected) << "position " << c.position;
    }
}

TEST_F(Array, InsertIntIntoAFullArrayDoublesItFirst) {
    NodeId node = ints({1, 2, 3, 4}, 4);
    array::insert_int(node, 0, 0);
    EXPECT_EQ(capacity(node), 32u);
    EXPECT_EQ(items_of(node), (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST_F(Array, PokeIntReplacesOneItem) {
    NodeId node = ints({1, 2, 3});
    array::poke_int(node, 2, -5);
    EXPECT_EQ(items_of(node), (std::vector<int32_t>{1, -5, 3}));
}

TEST_F(Array, RemovePointerRemovesOnlyTheFirstOfTwo) {
    NodeId node = array::make(0, array::POINTER_SIZE);
    const uintptr_t a = 0x1122334455667788, b = 0x99;
    for (uintptr_t p : {b, a, b, a}) array::append_pointer(node, p);
    EXPECT_EQ(array::remove_pointer(node, a), array::POINTER_SIZE);
    ASSERT_EQ(array::length(node), 3u);
    EXPECT_EQ(array::pick_pointer(node, 2), b);
    EXPECT_EQ(array::pick_pointer(node, 3), a);
    EXPECT_EQ(array::find_pointer(node, a), 2 * array::POINTER_SIZE);
    EXPECT_EQ(array::remove_pointer(node, 0x5), -1);
    EXPECT_EQ(array::length(node), 3u);
}

TEST_F(Array, BytesAppendPickRemoveAndTruncate) {
    NodeId node = array::make(0, 1);
    array::append_byte(node, 'a');
    array::append_bytes(node, "bcdefghijklmnopqrstuvwxyz", 25);  // crosses 16 bytes
    ASSERT_EQ(array::length(node), 26u);
    EXPECT_EQ(array::pick_byte(node, 1), 'a');
    EXPECT_EQ(array::pick_byte(node, 26), 'z');
    array::remove_at(node, 1, 24);
    ASSERT_EQ(array::length(node), 2u);
    EXPECT_EQ(array::pick_byte(node, 2), 'z');
    array::set_tail(node, 2);
    EXPECT_EQ(array::length(node), 1u);
    array::clear(node);
    EXPECT_EQ(array::length(node), 0u);
}

TEST_F(Array, CopyIsIndependentOfTheOriginal) {
    NodeId node = ints({1, 2});
    NodeId twin = array::copy(node);
    array::poke_int(node, 1, 100);
    array::append_int(twin, 3);
    EXPECT_EQ(items_of(twin), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(items_of(node), (std::vector<int32_t>{100, 2}));
}

TEST_F(Array, IndexesOutsideTheItemsAreFatal) {
    NodeId node = ints({1, 2});
    EXPECT_EXIT(array::pick_int(node, 0), testing::ExitedWithCode(98), "assertion failed");
    EXPECT_EXIT(array::pick_int(node, 3), testing::ExitedWithCode(98), "assertion failed");
    EXPECT_EXIT(array::poke_int(node, 3, 0), testing::ExitedWithCode(98), "assertion failed");
    EXPECT_EXIT(array::insert_int(node, 0, 3), testing::ExitedWithCode(98), "assertion failed");
    EXPECT_EXIT(array::remove_at(node, 4, 5), testing::ExitedWithCode(98), "assertion failed");
    EXPECT_EXIT(array::set_tail(node, 6), testing::ExitedWithCode(98), "assertion failed");
}

}  // namespace
