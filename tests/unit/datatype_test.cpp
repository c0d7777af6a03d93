#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "core/datatype.hpp"

using namespace vyn;

namespace {

Cell* parent_negate(Cell* v) { return v; }
Cell* later_negate(Cell* v) { return v; }
bool parent_even(const Cell*) { return true; }

template <size_t N = ACTION_COUNT>
std::array<Handler, N> row(Handler rest, std::initializer_list<std::pair<int, Handler>> set = {}) {
    std::array<Handler, N> r;
    r.fill(rest);
    for (auto& [slot, h] : set) r[size_t(slot - 1)] = h;
    return r;
}

template <size_t N>
void register_row(TypeId id, TypeId parent, const char* name, const std::array<Handler, N>& r) {
    datatype::register_type(id, parent, name, r.data(), N);
}

}  // namespace

TEST(Datatype, ChildrenCopyTheParentRowAsItIsWhenTheyRegister) {
    datatype::init();
    register_row(TYPE_INTEGER, TYPE_NONE_ID, "integer!",
                 row(UNSUPPORTED, {{A_NEGATE, act<A_NEGATE>(parent_negate)},
                                   {A_EVEN_Q, act<A_EVEN_Q>(parent_even)}}));
    register_row(TYPE_CHAR, TYPE_INTEGER, "char!", row(INHERIT, {{A_EVEN_Q, UNSUPPORTED}}));
    EXPECT_EQ(datatype::handler<A_NEGATE>(TYPE_CHAR), &parent_negate);
    EXPECT_FALSE(datatype::supports(TYPE_CHAR, A_EVEN_Q));  // refused even though the parent has it
    EXPECT_FALSE(datatype::supports(TYPE_CHAR, A_APPEND));

    register_row(TYPE_INTEGER, TYPE_NONE_ID, "integer!",
                 row(UNSUPPORTED, {{A_NEGATE, act<A_NEGATE>(later_negate)}}));
    EXPECT_EQ(datatype::handler<A_NEGATE>(TYPE_CHAR), &parent_negate);
    EXPECT_STREQ(datatype::name_of(TYPE_CHAR), "char!");
    EXPECT_EQ(datatype::name_length(TYPE_CHAR), 4);
    EXPECT_EQ(datatype::highest_registered(), TYPE_INTEGER);
}

TEST(Datatype, InheritWithoutAParentStaysUnsupported) {
    datatype::init();
    register_row(TYPE_PAIR, TYPE_NONE_ID, "pair!", row(INHERIT));
    EXPECT_FALSE(datatype::supports(TYPE_PAIR, A_MAKE));
}

TEST(DatatypeDeathTest, AWrongActionsCountIsAnIntegrityFailure) {
    datatype::init();
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the integrity message goes to the output
            register_row(TYPE_PAIR, TYPE_NONE_ID, "pair!", row<61>(UNSUPPORTED));
        },
        testing::ExitedWithCode(0),
        "^\\*\\*\\* Datatype Error: invalid actions count for type: 37\n"
        "\\*\\*\\* Found: 61\n\\*\\*\\* Expected: 62\n$");
}
