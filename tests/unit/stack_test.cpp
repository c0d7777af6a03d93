#include <gtest/gtest.h>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "datatypes/exits.hpp"
#include "startup/startup.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;
using stack::Frame;

namespace {

class Stack : public testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory", "stack"});
    }
};

uint32_t exit_code_of(void (*f)()) {
    try {
        f();
    } catch (const Unwind& exit) {
        return exit.code;
    }
    return 0;
}

}  // namespace

TEST_F(Stack, UnwindLeavesTheCalleeResultAsTheCallersLastValue) {
    stack::push(integer_cell(1));
    Cell* caller_base = stack::base;
    stack::mark(stack::FRAME_NATIVE, 7);
    stack::push(integer_cell(42));
    stack::push(integer_cell(43));
    stack::unwind();
    EXPECT_EQ(stack::base, caller_base);
    EXPECT_EQ(stack::last()->i32(), 42);
    EXPECT_EQ(stack::top, caller_base + 2);
}

TEST_F(Stack, UnwindLastCopiesTheResultIntoTheCallersResultCell) {
    stack::push(integer_cell(1));
    stack::mark(stack::FRAME_NATIVE, 7);
    stack::push(integer_cell(42));
    stack::unwind_last();
    EXPECT_EQ(stack::base->i32(), 42);
    EXPECT_EQ(stack::top, stack::base + 1);
}

TEST_F(Stack, BreakResumesInsideTheNearestLoop) {
    stack::mark(stack::FRAME_LOOP, 1);
    Cell* loop_base = stack::base;
    stack::push(integer_cell(0));
    stack::mark(stack::FRAME_FUNCTION, 2);
    stack::mark(stack::FRAME_NATIVE, 3);  // the break call itself
    stack::push(integer_cell(9));
    EXPECT_EQ(exit_code_of([] { exits::throw_break(true, false); }), EXIT_BREAK);
    EXPECT_EQ(stack::frame_top, stack::frame_bottom + 1);
    EXPECT_EQ(stack::base, loop_base);
    EXPECT_EQ(stack::base->i32(), 9);
}

TEST_F(Stack, ExitsWithoutAReceiverBecomeErrors) {
    stack::mark(stack::FRAME_LOOP, 1);
    stack::mark(stack::FRAME_BARRIER, 2);  // a barrier hides the loop below it
    stack::mark(stack::FRAME_NATIVE, 3);
    Frame* before = stack::frame_top;
    EXPECT_EQ(exit_code_of([] { exits::throw_break(false, true); }), EXIT_ERROR);
    EXPECT_EQ(last_raw_error(), err::throw_continue);
    EXPECT_EQ(stack::frame_top, before);
    EXPECT_EQ(exit_code_of([] { exits::throw_return(true); }), EXIT_ERROR);
    EXPECT_EQ(last_raw_error(), err::throw_return);
}

TEST_F(Stack, ReturnStopsAtTheReturnPoint) {
    stack::mark(stack::FRAME_FUNCTION, 1);
    stack::set_return_point(true);
    Cell* inside = stack::base;
    stack::mark(stack::FRAME_EVAL, 2);
    stack::mark(stack::FRAME_NATIVE, 3);
    stack::push(integer_cell(5));
    EXPECT_EQ(exit_code_of([] { exits::throw_return(true); }), EXIT_RETURN);
    EXPECT_EQ(stack::base, inside);
    EXPECT_EQ(stack::base->i32(), 5);
    EXPECT_EQ(exit_code_of([] {
        stack::mark(stack::FRAME_NATIVE, 3);
        exits::throw_return(false);
    }), EXIT_EXIT);
    EXPECT_EQ(stack::base->type(), TYPE_UNSET);
}

TEST_F(Stack, ThrowCarriesItsValueAndNameToTheCatch) {
    stack::mark(stack::FRAME_CATCH, 1);
    Cell* inside = stack::base;
    stack::mark(stack::FRAME_NATIVE, 2);
    stack::push(integer_cell(7));
    stack::push(integer_cell(8));
    EXPECT_EQ(exit_code_of([] { exits::throw_value(EXIT_THROW); }), EXIT_THROW);
    EXPECT_EQ(stack::base, inside);
    EXPECT_EQ(stack::top - stack::base, 2);
    EXPECT_EQ(stack::base[0].i32(), 7);
    EXPECT_EQ(stack::base[1].i32(), 8);
}

TEST_F(Stack, ErrorsUnwindToTheTryFrameAndArriveAsTheLastValue) {
    stack::push(integer_cell(1));
    stack::mark(stack::FRAME_TRY, 1);
    Frame* try_frame = stack::frame_top - 1;
    stack::mark(stack::FRAME_LOOP, 2);
    stack::mark(stack::FRAME_NATIVE, 3);
    stack::push(integer_cell(2));
    EXPECT_EQ(exit_code_of([] { exits::throw_error(integer_cell(99)); }), EXIT_ERROR);
    EXPECT_EQ(stack::frame_top, try_frame);
    EXPECT_EQ(stack::last()->i32(), 99);
}

TEST_F(Stack, TooManyFramesIsAStackOverflowError) {
    EXPECT_EQ(exit_code_of([] {
        for (;;) stack::mark(stack::FRAME_NATIVE, 1);
    }), EXIT_ERROR);
    EXPECT_EQ(last_raw_error(), err::stack_overflow);
    stack::reset_all();
    EXPECT_EQ(exit_code_of([] {
        for (;;) stack::push(integer_cell(1));
    }), EXIT_ERROR);
    EXPECT_EQ(last_raw_error(), err::stack_overflow);
}

TEST_F(Stack, UnrollStopsAtABarrierAndKeepChoosesTheBaseInside) {
    stack::push(integer_cell(0));
    Cell* outside = stack::base;
    stack::mark(stack::FRAME_BARRIER, 1);
    Cell* inside = stack::base;
    stack::push(integer_cell(1));
    stack::mark(stack::FRAME_LOOP, 2);
    stack::mark(stack::FRAME_NATIVE, 3);
    stack::unroll(stack::FRAME_TRY, true);
    EXPECT_EQ(stack::frame_top, stack::frame_bottom + 1);
    EXPECT_EQ(stack::base, inside);

    stack::mark(stack::FRAME_LOOP, 2);
    stack::unroll(stack::FRAME_TRY, false);
    EXPECT_EQ(stack::frame_top, stack::frame_bottom + 1);
    EXPECT_EQ(stack::base, outside);
}

TEST(StackDeathTest, AnErrorNothingCatchesEndsTheProcessWithMinusTwo) {
    EXPECT_EXIT(
        {
            runtime::shutdown();
            memory::init();
            stack::init();
            exits::throw_error(integer_cell(1));
        },
        testing::ExitedWithCode(254), "");
}
