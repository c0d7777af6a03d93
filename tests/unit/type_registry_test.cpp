// The datatype registry: lists that name only the slots a type fills, markers inherited from the
// parent's row as it stands at registration, and the build faults that end start-up (a positional
// row of the wrong size, a slot named twice or out of range).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "core/fatal.hpp"
#include "core/type_registry.hpp"

using namespace vyn;

namespace {

Cell* parent_negate(Cell* v) { return v; }
Cell* later_negate(Cell* v) { return v; }
bool parent_even(const Cell*) { return true; }

}  // namespace

TEST(Datatype, ChildrenCopyTheParentRowAsItIsWhenTheyRegister) {
    datatype::init();
    const SlotHandler parent[] = {act<A_NEGATE>(parent_negate), act<A_EVEN_Q>(parent_even)};
    datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", UNSUPPORTED, parent);
    const SlotHandler child[] = {unsupported_at<A_EVEN_Q>()};
    datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", INHERIT, child);
    EXPECT_EQ(datatype::handler<A_NEGATE>(TYPE_CHAR), &parent_negate);
    EXPECT_FALSE(datatype::supports(TYPE_CHAR, A_EVEN_Q));  // refused even though the parent has it
    EXPECT_FALSE(datatype::supports(TYPE_CHAR, A_APPEND));

    const SlotHandler later[] = {act<A_NEGATE>(later_negate)};
    datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", UNSUPPORTED, later);
    EXPECT_EQ(datatype::handler<A_NEGATE>(TYPE_CHAR), &parent_negate);
    EXPECT_STREQ(datatype::name_of(TYPE_CHAR), "char!");
    EXPECT_EQ(datatype::name_length(TYPE_CHAR), 4);
    EXPECT_EQ(datatype::highest_registered(), TYPE_INTEGER);
}

TEST(Datatype, AListFillsOnlyTheSlotsItNames) {
    datatype::init();
    const SlotHandler parent[] = {act<A_NEGATE>(parent_negate), act<A_EVEN_Q>(parent_even)};
    datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", UNSUPPORTED, parent);
    const SlotHandler child[] = {act<A_ABSOLUTE>(later_negate), inherited_at<A_EVEN_Q>()};
    datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", UNSUPPORTED, child);
    for (int slot = A_MAKE; slot <= ACTION_COUNT; ++slot) {
        bool named = slot == A_ABSOLUTE || slot == A_EVEN_Q;
        EXPECT_EQ(datatype::supports(TYPE_CHAR, slot), named) << "slot " << slot;
    }
    EXPECT_EQ(datatype::handler<A_ABSOLUTE>(TYPE_CHAR), &later_negate);
    EXPECT_EQ(datatype::handler<A_EVEN_Q>(TYPE_CHAR), &parent_even);
}

// Reports name a type whose table is not registered (yet) as they name any other.
TEST(Datatype, ATypeWithoutItsTableHasItsName) {
    datatype::init();
    EXPECT_FALSE(datatype::registered(TYPE_TAG));
    EXPECT_STREQ(datatype::name_of(TYPE_TAG), "tag!");
    EXPECT_EQ(datatype::name_length(TYPE_TAG), 3);
    EXPECT_STREQ(datatype::name_of(TYPE_POINT2D), "point2D!");
}

TEST(Datatype, InheritWithoutAParentStaysUnsupported) {
    datatype::init();
    datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", INHERIT);
    EXPECT_FALSE(datatype::supports(TYPE_PAIR, A_MAKE));
}

TEST(DatatypeDeathTest, AWrongActionsCountIsAnIntegrityFailure) {
    datatype::init();
    std::array<Handler, ACTION_COUNT - 1> short_row;
    short_row.fill(UNSUPPORTED);
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the integrity message goes to the output
            datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", short_row.data(), short_row.size());
        },
        testing::ExitedWithCode(1),
        "^\\*\\*\\* Datatype Error: invalid actions count for type: 37\n"
        "\\*\\*\\* Found: 61\n\\*\\*\\* Expected: 62\n$");
}

TEST(DatatypeDeathTest, ASlotNamedTwiceOrOutOfRangeEndsStartUp) {
    struct Case {
        std::array<SlotHandler, 2> list;
        const char* report;
    };
    const Case cases[] = {
        {{act<A_NEGATE>(parent_negate), inherited_at<A_NEGATE>()},
         "^\\*\\*\\* Datatype Error: action slot listed twice for type: 37\n\\*\\*\\* Slot: 14\n"},
        {{act<A_NEGATE>(parent_negate), SlotHandler{ACTION_COUNT + 1, UNSUPPORTED}},
         "^\\*\\*\\* Datatype Error: action slot out of range for type: 37\n\\*\\*\\* Slot: 63\n"},
        {{SlotHandler{0, INHERIT}, act<A_NEGATE>(parent_negate)},
         "^\\*\\*\\* Datatype Error: action slot out of range for type: 37\n\\*\\*\\* Slot: 0\n"},
    };
    for (const Case& c : cases) {
        datatype::init();
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", UNSUPPORTED, c.list);
            },
            testing::ExitedWithCode(sys::FATAL_ASSERTION), c.report);
    }
}
