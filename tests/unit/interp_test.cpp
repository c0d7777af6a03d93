#include <gtest/gtest.h>

#include <initializer_list>

#include "console/terminal.hpp"
#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/series.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/natives.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class Interp : public testing::Test {
protected:
    void SetUp() override {
        runtime::set_stack_bounds_of_current_thread();  // deep recursion stops at the native stack's margin
        terminal::register_natives();
        testing_runtime::start({"memory", "type-registry", "datatype!", "unset!", "none!", "logic!", "series!",
                                "block!", "integer!", "float!", "stack", "symbols", "global-context",
                                "runtime-words", "natives", "interpreter"});
        set_global("+", action_value(A_ADD, {"value1", "value2"}, TYPE_OP));
        set_global("*", action_value(A_MULTIPLY, {"value1", "value2"}, TYPE_OP));
        set_global("add", action_value(A_ADD, {"value1", "value2"}, TYPE_ACTION));
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }

    static Cell word(const char* name, TypeId type = TYPE_WORD) {
        Cell w = context::add_global(symbol::make(name));
        w.set_type(type);
        return w;
    }

    // Values made here are kept for the rest of the test.
    static Cell block(std::initializer_list<Cell> cells) {
        Cell& b = testing_gc::kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(cells.size() + 1)));
        for (const Cell& c : cells) *memory::alloc_tail_cell(b.s2) = c;
        return b;
    }

    // Names starting with "/" are refinements.
    static Cell spec(std::initializer_list<const char*> names) {
        Cell& s = testing_gc::kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(names.size() + 1)));
        for (const char* n : names)
            *memory::alloc_tail_cell(s.s2) = n[0] == '/' ? word(n + 1, TYPE_REFINEMENT) : word(n);
        return s;
    }

    static Cell action_value(int slot, std::initializer_list<const char*> args, TypeId type) {
        Cell s = spec(args);
        NodeId extra = memory::alloc_unset_cells(2);
        memory::series_of(extra)->tail = 32;
        Cell a = make_cell(TYPE_ACTION, uint32_t(slot), s.s2, extra);
        if (type == TYPE_OP) a.header = TYPE_OP | (TYPE_ACTION << 16);
        return testing_gc::kept(a);
    }

    // A function made by hand as `func` will: a context from the spec, the body bound to it.
    static Cell function(std::initializer_list<const char*> args, const Cell& body) {
        Cell& f = testing_gc::kept(make_cell(TYPE_FUNCTION, 0, spec(args).s2));
        f.s1 = context::make_from_spec(make_cell(TYPE_BLOCK, 0, f.s2), true, false, context::Kind::function);
        context::bind(body, f.s1, false);
        f.s3 = memory::alloc_unset_cells(5);
        memory::series_of(f.s3)->tail = 80;
        memory::series_of(f.s3)->cells()[interp::EXTRA_BODY] = body;
        return f;
    }

    static void set_global(const char* name, const Cell& value) {
        Rooted held{value};  // interning the name may collect
        context::set(word(name), *held);
    }

    static Cell run(const Cell& code) {
        interp::eval(code, true);
        Cell result = *stack::base;
        stack::reset_all();
        return result;
    }

    static err::Code error_of(const Cell& code) {
        try {
            interp::eval(code, true);
        } catch (const Unwind& exit) {
            EXPECT_EQ(exit.code, EXIT_ERROR);
            stack::reset_all();
            return last_raw_error();
        }
        ADD_FAILURE() << "no error";
        return err::Code(0);
    }
};

}  // namespace

TEST_F(Interp, ABlockYieldsItsLastValueAndAnEmptyOneUnset) {
    EXPECT_EQ(run(block({integer_cell(1), integer_cell(2), integer_cell(3)})).i32(), 3);
    EXPECT_EQ(run(block({})).type(), TYPE_UNSET);
    EXPECT_EQ(stack::top, stack::bottom);
}

TEST_F(Interp, SetWordsChainAndWordsReadBack) {
    Cell r = run(block({word("a", TYPE_SET_WORD), word("b", TYPE_SET_WORD), integer_cell(5),
                        word("a"), word("+"), word("b")}));
    EXPECT_EQ(r.i32(), 10);
}

TEST_F(Interp, OperatorsChainLeftToRight) {
    Cell r = run(block({integer_cell(1), word("+"), integer_cell(2), word("*"), integer_cell(3)}));
    EXPECT_EQ(r.i32(), 9);
    Cell p = block({integer_cell(2), word("*"), integer_cell(3)});
    p.set_type(TYPE_PAREN);
    EXPECT_EQ(run(block({integer_cell(1), word("+"), p})).i32(), 7);
}

TEST_F(Interp, ActionsTakeTheirArgumentsByEvaluation) {
    EXPECT_EQ(run(block({word("add"), integer_cell(1), integer_cell(2), word("+"), integer_cell(3)})).i32(), 6);
    EXPECT_EQ(run(block({integer_cell(2147483647), word("+"), integer_cell(1)})).f64(), 2147483648.0);
}

TEST_F(Interp, FunctionsRunTheirBodyWithArgumentsOnTheStack) {
    set_global("f", function({"a", "b"}, block({word("a"), word("+"), word("b")})));
    EXPECT_EQ(run(block({word("f"), integer_cell(1), integer_cell(2)})).i32(), 3);
    EXPECT_EQ(run(block({word("f"), word("f"), integer_cell(1), integer_cell(2), integer_cell(4)})).i32(), 7);
    EXPECT_EQ(error_of(block({word("f"), integer_cell(1)})), err::no_arg);
}

TEST_F(Interp, DeepRecursionIsAStackOverflowError) {
    Cell body = block({word("f"), word("n"), word("+"), integer_cell(1)});
    set_global("f", function({"n"}, body));
    EXPECT_EQ(error_of(block({word("f"), integer_cell(1)})), err::stack_overflow);
    EXPECT_EQ(run(block({integer_cell(2), word("+"), integer_cell(2)})).i32(), 4);
}

TEST_F(Interp, ErrorsOfTheEvaluatorItself) {
    EXPECT_EQ(error_of(block({word("no-such-word")})), err::no_value);
    EXPECT_EQ(error_of(block({word("a", TYPE_SET_WORD)})), err::need_value);
    EXPECT_EQ(error_of(block({word("+"), integer_cell(1), integer_cell(2)})), err::no_op_arg);
    EXPECT_EQ(error_of(block({word("system", TYPE_ISSUE), block({integer_cell(1)})})), err::vyn_system);
}

TEST_F(Interp, LitWordsAndGetWords) {
    Cell r = run(block({word("x", TYPE_LIT_WORD)}));
    EXPECT_EQ(r.type(), TYPE_WORD);
    EXPECT_EQ(run(block({word("add", TYPE_GET_WORD)})).type(), TYPE_ACTION);
}

// A refinement given earlier in the path keeps its argument while a later one's arguments are
// evaluated, which in the stress build collects.
TEST_F(Interp, RefinementArgumentsFillTheirSlotsInPathOrder) {
    set_global("copy", action_value(A_COPY, {"value"}, TYPE_ACTION));
    set_global("f", function({"/a", "x", "/b", "y"}, block({word("x"), word("y")})));
    Cell path = block({word("f"), word("b"), word("a")});
    path.set_type(TYPE_PATH);
    Cell r = run(block({path, word("copy"), block({integer_cell(1)}), word("copy"), block({integer_cell(2)})}));
    ASSERT_TRUE(r.is(TYPE_BLOCK));
    EXPECT_EQ(memory::series_of(r.s2)->cells()[0].i32(), 1);
}
