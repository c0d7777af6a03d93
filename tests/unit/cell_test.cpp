#include <gtest/gtest.h>

#include "core/cell.hpp"

using namespace vyn;

TEST(Cell, FloatTakesSlotsTwoAndThree) {
    Cell c = float_cell(-2.5);
    EXPECT_EQ(c.type(), TYPE_FLOAT);
    EXPECT_EQ(c.f64(), -2.5);
    EXPECT_EQ(c.s1, 0u);
}

TEST(Cell, SetTypeKeepsFlags) {
    Cell c = integer_cell(7);
    c.set_flag(FLAG_NEW_LINE);
    c.set_type(TYPE_CHAR);
    EXPECT_EQ(c.type(), TYPE_CHAR);
    EXPECT_TRUE(c.has_flag(FLAG_NEW_LINE));
}
