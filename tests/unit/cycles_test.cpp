// The cycle-detection stack: the 999-entry limit and the clean stack after too-deep, the scope
// guard that drops entries when a walk ends by an error, the markers, and pattern replication.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "core/cycles.hpp"
#include "core/memory_replicate.hpp"
#include "core/raise.hpp"
#include "core/unwind.hpp"

using namespace vyn;

namespace {

class Cycles : public testing::Test {
protected:
    void SetUp() override { cycles::reset(); }
};

TEST_F(Cycles, NineHundredNinetyNinePushesFitAndOneMoreRaisesTooDeepOnAnEmptyStack) {
    for (NodeId n = 1; n <= 999; ++n) cycles::push(n);
    EXPECT_EQ(cycles::depth(), 999);
    EXPECT_TRUE(cycles::find(999));
    EXPECT_THROW(cycles::push(1000), Unwind);
    EXPECT_EQ(last_raw_error(), err::too_deep);
    EXPECT_EQ(cycles::depth(), 0);
    EXPECT_FALSE(cycles::find(1));
    cycles::push(5);
    EXPECT_TRUE(cycles::find(5));
}

TEST_F(Cycles, PopAndDropNeverGoBelowEmpty) {
    cycles::pop();
    for (NodeId n : {4u, 5u, 6u}) cycles::push(n);
    cycles::pop();
    EXPECT_FALSE(cycles::find(6));
    EXPECT_TRUE(cycles::find(5));
    cycles::drop(10);
    EXPECT_EQ(cycles::depth(), 0);
}

// A walk in the shape every recursive walker has: nested `depth` levels, failing at the bottom.
void walk(NodeId node, int depth) {
    cycles::Entry entry(node);
    if (depth == 0) throw std::runtime_error("walk failed");
    walk(node + 1, depth - 1);
}

TEST_F(Cycles, EntriesAreDroppedWhenAWalkEndsByAnError) {
    cycles::push(77);
    EXPECT_THROW(walk(1, 10), std::runtime_error);
    EXPECT_EQ(cycles::depth(), 1);
    EXPECT_TRUE(cycles::find(77));
    EXPECT_THROW(walk(1, 1500), Unwind);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Cycles, DetectTakesTheContextNodeOfAnObjectAndSlotTwoOtherwise) {
    cycles::push(3);
    Cell object = make_cell(TYPE_OBJECT, 3, 9);
    Cell block = make_cell(TYPE_BLOCK, 9, 3);
    EXPECT_STREQ(cycles::detect(object, true), "make object! [...]");
    EXPECT_STREQ(cycles::detect(block, false), "...");
    EXPECT_EQ(cycles::detect(make_cell(TYPE_BLOCK, 3, 9), true), nullptr);
}

TEST_F(Cycles, MarkersDependOnTypeWhenMoldingOnly) {
    struct Case {
        TypeId type;
        const char* mold;
    };
    const Case cases[] = {
        {TYPE_BLOCK, "[...]"},      {TYPE_HASH, "[...]"},
        {TYPE_PAREN, "(...)"},      {TYPE_MAP, "#[...]"},
        {TYPE_OBJECT, "make object! [...]"},
        {TYPE_PATH, "..."},         {TYPE_SET_PATH, "..."},
        {TYPE_LIT_PATH, "..."},     {TYPE_GET_PATH, "..."},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(cycles::marker_for(c.type, true), c.mold) << int(c.type);
        EXPECT_STREQ(cycles::marker_for(c.type, false), "...") << int(c.type);
    }
}

TEST(Replicate, FillsCountUnitsFromTheFirst) {
    struct Case {
        int unit;
        uint32_t count;
        const char* expected;  // the buffer afterwards, starting as "ab" followed by dots
    };
    const Case cases[] = {
        {2, 0, "ab.............."},
        {2, 1, "ab.............."},
        {2, 5, "ababababab......"},
        {1, 7, "aaaaaaa........."},
        {3, 5, "ab.ab.ab.ab.ab.."},
    };
    for (const Case& c : cases) {
        char buffer[17] = "ab..............";
        auto* start = reinterpret_cast<uint8_t*>(buffer);
        uint8_t* end = memory::replicate(start, c.unit, c.count);
        EXPECT_EQ(end - start, c.unit * int(c.count));
        EXPECT_STREQ(buffer, c.expected) << c.unit << " x " << c.count;
    }
}

}  // namespace
