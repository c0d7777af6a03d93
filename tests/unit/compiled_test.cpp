// Compiled-code support: checked float conversion, switch selection, argument checks with their
// error words, stores into words and context slots, refinement set-up and calls with run-time
// refinements, and path evaluation over objects.
#include <cmath>
#include <limits>
#include <vector>

#include "core/typeset.hpp"
#include "datatypes/float.hpp"
#include "eval/compiled.hpp"
#include "eval/lexer.hpp"
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Compiled : public ObjectTest {
protected:
    // A frame whose argument base holds the given cells.
    static Cell* frame_with(std::initializer_list<Cell> cells) {
        stack::mark(stack::FRAME_NATIVE, stack::body_symbol);
        for (const Cell& c : cells) stack::push(c);
        return stack::base;
    }
};

TEST_F(Compiled, FloatsConvertWithinTheIntegerRangeOnly) {
    struct Case {
        double value;
        int32_t expected;
    };
    const Case fine[] = {{-0.5, 0}, {1.9, 1}, {-1.9, -1}, {2147483647.0, 2147483647}, {-2147483648.0, INT32_MIN}};
    for (const Case& c : fine) EXPECT_EQ(floating::to_integer_checked(float_cell(c.value)), c.expected) << c.value;
    for (double bad : {2147483647.9, 2147483648.0, -2147483648.5, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        Cell e = raised([&] { floating::to_integer_checked(float_cell(bad)); });
        EXPECT_EQ(code_of(e), err::out_of_range) << bad;
        EXPECT_TRUE(arg(e, 0).is(TYPE_FLOAT));
    }
    EXPECT_EQ(floating::to_integer_checked(integer(-7)), -7);
}

TEST_F(Compiled, SwitchSelectFindsTheCaseAfterAMatch) {
    struct Case {
        const char* what;
        Cell value;
        Cell cases;
        bool push;
        bool skip;
        Cell expected;
    };
    Cell a = block({word("a")});
    const Case cases[] = {
        {"pair", integer(2), block({integer(1), text("one"), integer(2), integer(22)}), false, false, integer(22)},
        {"last cell", integer(3), block({integer(1), integer(10), integer(3)}), false, false, integer(3)},
        {"to block", integer(2), block({integer(1), integer(2), integer(9), a}), true, true, a},
        {"no block after", integer(2), block({integer(1), integer(2)}), true, true, none_cell()},
        {"no match", integer(5), block({integer(1), integer(2)}), false, false, none_cell()},
        {"type differs", integer(1), block({float_cell(1.0), integer(7)}), false, false, none_cell()},
        {"block value", a, block({a, integer(1)}), false, false, none_cell()},
    };
    for (const Case& c : cases) {
        Cell* base = frame_with({c.value, c.cases});
        Cell* top = stack::top;
        Cell result = *compiled::switch_select(c.push, c.skip);
        EXPECT_EQ(result.type(), c.expected.type()) << c.what;
        EXPECT_EQ(result.s2, c.expected.s2) << c.what;
        if (c.push) EXPECT_EQ(stack::top, top + 1) << c.what;
        else EXPECT_EQ(base->s2, c.expected.s2) << c.what;
        stack::reset_all();
    }
}

TEST_F(Compiled, ArgumentChecksNameTheCallAndTheArgument) {
    set_global("foo", native::push(TYPE_NATIVE, 1, block({word("a"), word("b")}))[0]);
    stack::pop(1);
    Cell* base = nullptr;
    Cell e = raised([&] {
        Cell name = word("foo");
        stack::mark(stack::FRAME_NATIVE, name.s2, name.s1);
        base = stack::push(integer(1));
        stack::push(text("x"));
        Cell integers = typeset::empty();
        typeset::add(integers, TYPE_INTEGER);
        compiled::check_arg_type_at(0, integers, 0);
        EXPECT_EQ(compiled::check_arg_type_at(-1, integers, 1), nullptr);
        compiled::check_arg_type_at(1, integers, 1);
    });
    EXPECT_EQ(code_of(e), err::expect_arg);
    EXPECT_EQ(name_of(arg(e, 0)), "foo");
    EXPECT_EQ(arg(e, 1).s1, TYPE_STRING);
    EXPECT_EQ(name_of(arg(e, 2)), "b");

    Cell unset_error = raised([&] {
        Cell* v = frame_with({unset_cell()});
        compiled::check_unset(0, v);
    });
    EXPECT_EQ(code_of(unset_error), err::expect_arg);
    EXPECT_EQ(arg(unset_error, 1).s1, TYPE_UNSET);
}

TEST_F(Compiled, StoresIntoContextSlots) {
    Cell o = make_object(block({set_word("a"), integer(1), set_word("b"), integer(2)}));
    NodeId ctx = object::context_of(o);
    frame_with({unset_cell()});
    compiled::set_ctx_word(ctx, 1);
    EXPECT_TRUE(object::value_at(ctx, 1)->is(TYPE_UNSET));
    EXPECT_TRUE(object::first_word(o)[1].has_flag(FLAG_WORD_ASSIGNED));
    EXPECT_EQ(stack::top, stack::base);
    stack::push(integer(5));
    compiled::set_ctx_word_top(ctx, 0);
    EXPECT_EQ(object::value_at(ctx, 0)->i32(), 5);

    Cell e = raised([&] {
        frame_with({unset_cell()});
        compiled::set_ctx_word_top_reset(ctx, 0);
    });
    EXPECT_EQ(code_of(e), err::need_value);
    EXPECT_EQ(name_of(arg(e, 0)), "a");

    Cell f = func(block({word("x")}), block({}));
    e = raised([&] { compiled::ctx_word_cell(f.s1, 0); });
    EXPECT_EQ(code_of(e), err::not_defined);
    EXPECT_EQ(name_of(arg(e, 0)), "x");
}

TEST_F(Compiled, StoresAndReadsOfWords) {
    Cell w = word("target");
    frame_with({integer(3)});
    compiled::set_word_top_reset(w);
    EXPECT_EQ(compiled::get_word_checked(w)->i32(), 3);
    EXPECT_EQ(stack::top, stack::base);
    EXPECT_EQ(code_of(raised([&] {
                  frame_with({unset_cell()});
                  compiled::set_word_top(w);
              })),
              err::need_value);
    EXPECT_EQ(code_of(raised([&] { compiled::get_word_checked(word("never-set")); })), err::no_value);
}

std::vector<int32_t> seen_refinements;
int32_t seen_check = -1;
void recording_native(int32_t check, const int32_t* refinements) {
    seen_check = check;
    seen_refinements.assign(refinements, refinements + 3);
}

TEST_F(Compiled, RefinementsAreSetUpAndPassedByUse) {
    Cell* base = frame_with({integer(0), logic_cell(false), integer(8), integer(9), logic_cell(false)});
    compiled::set_refinement(logic_cell(true), 1, 2);
    EXPECT_EQ(base[1].s1, 1u);
    compiled::set_refinement(none_cell(), 1, 2);
    EXPECT_TRUE(base[2].is(TYPE_NONE) && base[3].is(TYPE_NONE));

    natives::Native list[] = {recording_native};
    natives::fill(list, 1);  // after the slots start-up fills
    Cell yes = logic_cell(true), no = logic_cell(false);
    base[2] = integer(8);
    const compiled::RefinementUse uses[] = {{&yes, 3, 4, 0}, {&no, 1, 2, 1}};
    compiled::call_with_refinements(natives::count(), true, 3, uses);
    EXPECT_EQ(seen_check, 1);
    EXPECT_EQ(seen_refinements, (std::vector<int32_t>{-1, -1, 4}));
    EXPECT_TRUE(base[2].is(TYPE_NONE));
}

TEST_F(Compiled, PathsOverObjectsGetAndSet) {
    Cell inner = make_object(block({set_word("b"), integer(2)}));
    set_global("o", make_object(block({set_word("a"), inner})));
    Cell path = block({word("o"), word("a"), word("b")}, TYPE_PATH);
    const Cell segments[] = {word("o"), word("a"), word("b")};
    frame_with({none_cell()});
    EXPECT_EQ(compiled::eval_path(false, path, segments).i32(), 2);
    EXPECT_EQ(stack::base->i32(), 2);
    *stack::base = integer(7);
    compiled::eval_path(true, path, segments);
    EXPECT_EQ(object::value_at(object::context_of(inner), 0)->i32(), 7);
    const Cell missing[] = {word("o"), word("zz")};
    EXPECT_EQ(code_of(raised([&] { compiled::eval_path(false, path, missing); })), err::unset_path);
}

TEST_F(Compiled, LoadingTakesTheFirstValueOfAText) {
    Cell target = integer(0);
    EXPECT_TRUE(load::from_string(text(""), &target)->is(TYPE_UNSET));
    EXPECT_TRUE(load::from_string(text("  ; only a comment"), &target)->is(TYPE_UNSET));
    EXPECT_EQ(load::from_string(text("12 words"), &target)->i32(), 12);
    EXPECT_EQ(name_of(*load::from_string(text("foo: 1"), &target)), "foo");
    EXPECT_EQ(molded(*load::from_string(text("[a b] c"), &target)), "[a b]");
    frame_with({none_cell()});
    EXPECT_TRUE(load::from_arg_string(text("none"))->is(TYPE_WORD));
    EXPECT_EQ(code_of(raised([&] { load::from_string(text("[1 2"), &target); })), err::missing);
}

}  // namespace
