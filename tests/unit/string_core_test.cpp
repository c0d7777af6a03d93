#include <gtest/gtest.h>

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

class StringCore : public testing_runtime::GlobalContextTest {};

TEST_F(StringCore, AppendingWidensEarlyAndKeepsTheText) {
    Cell& s = testing_gc::kept(string::make(4));
    string::concatenate_literal(&s, "ab");
    EXPECT_EQ(string::buffer_of(&s)->unit(), 1);
    string::append_char(string::node_of(&s), 200);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 2);
    string::append_char(string::node_of(&s), 0x1F600);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 4);
    EXPECT_EQ(string::to_utf8(&s), "ab\xC3\x88\xF0\x9F\x98\x80");
    EXPECT_EQ(string::length(&s), 4u);
}

TEST_F(StringCore, Utf8AppendDecodesAndReplacesBadBytes) {
    Cell& s = testing_gc::kept(string::make(0));
    string::append_utf8(&s, "x\xCE\xA9y\xC3");
    EXPECT_EQ(string::length(&s), 4u);
    EXPECT_EQ(string::abs_at(&s, 1), 0x3A9u);
    EXPECT_EQ(string::abs_at(&s, 3), 0xFFFDu);
}

TEST_F(StringCore, HeadBeyondTheTailCountsAsTheTail) {
    Cell& s = testing_gc::kept(string::make(4));
    string::concatenate_literal(&s, "abc");
    s.s1 = 10;
    EXPECT_EQ(string::length(&s), 0u);
    EXPECT_EQ(string::to_utf8(&s), "");
}

TEST_F(StringCore, LongTextsGrowTheBuffer) {
    Cell& s = testing_gc::kept(string::make(0));
    for (int i = 0; i < 100000; ++i) string::concatenate_literal(&s, "xy");
    EXPECT_EQ(string::length(&s), 200000u);
}

TEST(StringHex, ShortAndLongForms) {
    EXPECT_EQ(string::to_hex(30, true), "1E");
    EXPECT_EQ(string::to_hex(0, true), "00");
    EXPECT_EQ(string::to_hex(uint32_t(-1), false), "FFFFFFFF");
    EXPECT_EQ(string::to_hex(255, false), "000000FF");
    EXPECT_EQ(string::to_hex(0x123, true), "123");
}
