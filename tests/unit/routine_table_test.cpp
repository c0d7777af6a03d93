// The routine table: codes count the entries of every registered list in registration order,
// a list registered again keeps one place, and an unknown name has no code.
#include <gtest/gtest.h>

#include "datatypes/routine_table.hpp"
#include "eval/routines.hpp"

namespace vyn {
namespace {

void first_entry(int32_t) {}
void second_entry(int32_t) {}

const routine_table::Definition test_list[] = {
    {"test-first", first_entry, routine_table::Binding::none},
    {"test-second", second_entry, routine_table::Binding::datatype},
};

TEST(RoutineTable, CodesFollowTheListsAndARepeatedListKeepsOnePlace) {
    routines::init();
    routine_table::register_list(test_list);
    int32_t first = routine_table::find("test-first");
    ASSERT_GE(first, 0);
    EXPECT_EQ(routine_table::find("test-second"), first + 1);
    EXPECT_EQ(routine_table::at(first + 1).entry, &second_entry);
    EXPECT_EQ(routine_table::at(first + 1).binding, routine_table::Binding::datatype);
    EXPECT_LT(routine_table::find("as-color"), first);  // the evaluator's list came first
    routine_table::register_list(test_list);
    routines::init();
    EXPECT_EQ(routine_table::find("test-first"), first);
    EXPECT_EQ(routine_table::find("no-such-routine"), -1);
}

}  // namespace
}  // namespace vyn
