// Kept-value slots: handle numbering and reuse, growth by doubling with the kept values intact,
// and the handles that keep nothing (0, released twice, never handed out, out of range).
#include <gtest/gtest.h>

#include <string>

#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/value_slots.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

// In the stress build the fixture's collection at every allocation makes the slots.
class ValueSlots : public testing_runtime::GlobalContextTest {
protected:
    static int32_t kept_integer(int32_t handle) {
        const Cell* cell = value_slots::get(handle);
        return cell && cell->is(TYPE_INTEGER) ? cell->i32() : -999;
    }
};

TEST_F(ValueSlots, HandlesCountFromOneAndTheLastReleasedIsReusedFirst) {
    EXPECT_EQ(value_slots::store(integer_cell(10)), 1);
    EXPECT_EQ(value_slots::store(integer_cell(20)), 2);
    EXPECT_EQ(value_slots::store(integer_cell(30)), 3);
    value_slots::release(1);
    value_slots::release(3);
    EXPECT_EQ(value_slots::store(integer_cell(31)), 3);
    EXPECT_EQ(value_slots::store(integer_cell(11)), 1);
    EXPECT_EQ(kept_integer(1), 11);
    EXPECT_EQ(kept_integer(2), 20);
}

TEST_F(ValueSlots, TheHundredAndFirstStoreDoublesTheCapacity) {
    for (int32_t i = 1; i <= 100; ++i) ASSERT_EQ(value_slots::store(integer_cell(i * 7)), i);
    EXPECT_EQ(value_slots::capacity(), 100);
    EXPECT_EQ(value_slots::store(integer_cell(0)), 101);
    EXPECT_EQ(value_slots::capacity(), 200);
    for (int32_t i = 1; i <= 100; ++i) ASSERT_EQ(kept_integer(i), i * 7);
    EXPECT_EQ(value_slots::store(integer_cell(0)), 102);
    EXPECT_EQ(memory::series_of(value_slots::node())->length(), 200u);
}

// In the stress build the growth collects while the new value is held by nothing but the store.
TEST_F(ValueSlots, AValueStoredWhileTheSlotsGrowIsKept) {
    for (int32_t i = 1; i <= 100; ++i) value_slots::store(integer_cell(i));
    const char text[] = "stored";
    int32_t handle = value_slots::store(
        unicode::string_cell(unicode::load_utf8(reinterpret_cast<const uint8_t*>(text), 6, 0, 0)));
    EXPECT_EQ(value_slots::capacity(), 200);
    unicode::Text kept = unicode::text_of(*value_slots::get(handle));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kept.units), kept.count), "stored");
}

TEST_F(ValueSlots, ReleasingTwiceLinksTheSlotOnce) {
    value_slots::store(integer_cell(1));
    value_slots::store(integer_cell(2));
    value_slots::release(1);
    value_slots::release(1);
    EXPECT_EQ(value_slots::store(integer_cell(5)), 1);
    EXPECT_EQ(value_slots::store(integer_cell(6)), 3);
    EXPECT_EQ(kept_integer(1), 5);
}

// Kept integers look like the free-list links a plain slot scheme would use: they must not
// count as free.
TEST_F(ValueSlots, KeptIntegersAreNeverTakenForFreeSlots) {
    int32_t minus_one = value_slots::store(integer_cell(-1));
    int32_t next_index = value_slots::store(integer_cell(2));
    value_slots::release(0);
    EXPECT_EQ(value_slots::store(none_cell()), 3);
    EXPECT_EQ(kept_integer(minus_one), -1);
    EXPECT_EQ(kept_integer(next_index), 2);
}

TEST_F(ValueSlots, HandlesThatKeepNothingGiveNoCellAndReleaseNothing) {
    int32_t handle = value_slots::store(logic_cell(true));
    value_slots::store(logic_cell(false));
    value_slots::release(handle);
    for (int32_t bad : {0, -1, handle, 3, 100, 101, 1 << 30}) {
        EXPECT_EQ(value_slots::get(bad), nullptr) << bad;
        value_slots::release(bad);
    }
    EXPECT_EQ(value_slots::store(none_cell()), handle);
    EXPECT_EQ(value_slots::store(none_cell()), 3);
}

TEST_F(ValueSlots, ReleasedSlotsHoldNothingForTheCollector) {
    int32_t handle = value_slots::store(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1)));
    value_slots::release(handle);
    const Cell* slots = memory::series_of(value_slots::node())->cells();
    EXPECT_TRUE(slots[handle - 1].is(TYPE_UNSET));
}

}  // namespace
