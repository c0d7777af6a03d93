// The interpreter's fast paths: number operators folded without frames, set-words stored
// without theirs, calls through the argument list cache. Each must give exactly what the
// general path gives, and leave errors, exits and deep recursion as they were.
#include "core/catalog.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class FastPaths : public NativesTest {};

}  // namespace

TEST_F(FastPaths, NumberOperatorsGiveWhatTheirHandlersGive) {
    // A paren operand forces the general call; the plain form must agree with it.
    expect_molds({
        {"1 + 2 * 3", "9"},
        {"1 + (2) * (3)", "9"},
        {"i: 7 j: 5 i - j * i", "14"},
        {"2147483647 + 1", "2147483648.0"},
        {"2147483647 + (1)", "2147483648.0"},
        {"-2147483648 - 1", "-2147483649.0"},
        {"65536 * 65536", "4294967296.0"},
        {"1.5 + 1", "2.5"},
        {"1 + 1.5", "2.5"},
        {"1.5 - 0.25 * 2", "2.5"},
        {"x: 2.5 x * 2 - (x * 2)", "0.0"},
        {"0.5 * 3 + 0.5", "2.0"},
        {"0.1 + 0.2 = 0.3", "true"},
        {"2 = 2.0", "true"},
        {"2 == 2.0", "false"},
        {"2 == 2", "true"},
        {"3 <> 3", "false"},
        {"3 < 2.5", "false"},
        {"3 > 2.5", "true"},
        {"1 + 1 < 3", "true"},
        {"add 2 3", "5"},
        {"lesser? 2 3", "true"},
    });
}

TEST_F(FastPaths, OperatorsOfOtherKindsOrOperandsTakeTheGeneralCall) {
    expect_molds({
        {"\"a\" < \"b\"", "true"},
        {"1 + (1 + 1)", "3"},
        {"f: func [x] [x * 2] 1 + f 3", "7"},
        {"minus: make op! :subtract 5 minus 3", "2"},
        {"less: make op! func [a b] [a - b] 5 less 3", "2"},
        {"x: 10% x + 1", "110%"},
    });
    EXPECT_EQ(error_of("1 + \"a\""), err::expect_arg);
    EXPECT_EQ(arg_text(0), "+");
}

TEST_F(FastPaths, SetWordsStorePlainResultsWhereverTheWordIsBound) {
    expect_molds({
        {"a: 1 + 2 a", "3"},
        {"a: b: 2 + 3 a + b", "10"},
        {"a: 1 a: a + 1 a: a * 10 a", "20"},
        {"f: func [n /local x] [x: n * n x + 1] f 4", "17"},
        {"o: make object! [v: 0 bump: func [] [v: v + 1]] o/bump o/bump o/v", "2"},
        {"i: 0 s: 0 while [i < 5] [s: s + i i: i + 1] s", "10"},
    });
}

TEST_F(FastPaths, BlocksOfOnePlainExpressionGiveItsValue) {
    expect_molds({
        {"do [1 + 2]", "3"},
        {"do [1 + 2 5]", "5"},
        {"do [x: 4]", "4"},
        {"either 1 < 2 [10 + 1] [0]", "11"},
        {"x: 5 while [x > 0] [x: x - 1] x", "0"},
        {"reduce [1 + 1 2 * 3]", "[2 6]"},
    });
    EXPECT_EQ(error_of("do [1 + \"a\"]"), err::expect_arg);
}

// An argument that stands alone, or a plain number expression, is pushed without an expression
// step; operators the plain path cannot apply, and the arguments of an infix call (which take
// none), go the general way.
TEST_F(FastPaths, FramelessArgumentsGiveWhatTheirExpressionsGive) {
    expect_molds({
        {"f: func [a b] [reduce [a b]] x: 5 f x [y]", "[5 [y]]"},
        {"f: func [a b] [reduce [a b]] x: 5 f x + 1 x", "[6 5]"},
        {"f: func [a b] [reduce [a b]] x: 5 f x - 1 x * 2", "[4 10]"},
        {"f: func [a] [a] g: func [] [3] f 1 + 2 * g", "9"},
        {"f: func [a] [a] 1 + f 2 + 3", "6"},
        {"10% + 1 * 2", "220%"},
        {"f: func [a] [a] g: func [] [7] f g", "7"},
        {"f: func [a] [a] f 'w", "w"},
        {"either true [1] [2]", "1"},
    });
    EXPECT_EQ(error_of("f: func [a] [a] f undefined-here"), err::no_value);
    EXPECT_EQ(error_of("f: func [a] [a] f +"), err::no_op_arg);
    EXPECT_EQ(error_of("f: func [a [integer!]] [a] f [x]"), err::expect_arg);
    EXPECT_EQ(error_of("either true [1] [2] + 1"), err::expect_arg);
}

// An operator's first call makes its argument list, which may collect while the left operand
// waits on the stack: run first in a fresh runtime, under the collector-stress build.
TEST_F(FastPaths, AnOperatorsFirstCallKeepsItsLeftOperand) {
    EXPECT_EQ(mold_of("(copy \"abc\") = copy \"abc\""), "true");
}

TEST_F(FastPaths, ErrorsStillNameTheSetWordFrame) {
    EXPECT_EQ(error_of("x: 1 + y"), err::no_value);
    EXPECT_EQ(arg_text(0), "y");
    EXPECT_EQ(error_of("x:"), err::need_value);
}

TEST_F(FastPaths, RefinementsReachFunctionsAndNativesThroughTheCachedList) {
    expect_molds({
        {"f: func [a /opt b] [either opt [a + b] [a]] reduce [f 1 f/opt 1 2]", "[1 3]"},
        {"f: func [a /opt b] [either opt [a + b] [a]] s: 0 i: 0 while [i < 3] [s: s + f/opt i 1 i: i + 1] s", "6"},
        {"append/only [1] [2]", "[1 [2]]"},
    });
    EXPECT_EQ(error_of("f: func [a /opt b] [a] f/opt/opt 1 2 3"), err::dup_refine);
}

TEST_F(FastPaths, DeepRecursionEndsInTheStackOverflowError) {
    EXPECT_EQ(error_of("f: func [n] [1 + f n + 1] f 1"), err::stack_overflow);
    EXPECT_EQ(mold_of("fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]] fib 15"), "610");
}

// A paren met where its caller's frame holds nothing yet is evaluated in that frame; elsewhere
// (an argument, after other values) in its own. Both give the same value, exits and errors.
TEST_F(FastPaths, ParensGiveTheirLastValueInEitherFrame) {
    expect_molds({
        {"(1 2)", "2"},
        {"()", "unset"},
        {"type? ()", "unset!"},
        {"(x: 3) + x", "6"},
        {"((1 + 2)) * 2", "6"},
        {"reduce [(1 2) () (3)]", "[2 unset 3]"},
        {"1 (2) + 3", "5"},
        {"f: func [] [(return 5) 6] f", "5"},
        {"f: func [n] [(n + 1)] reduce [f 1 (f 2)]", "[2 3]"},
        {"x: 0 while [x < 3] [(x: x + 1)] x", "3"},
        {"x: 0 loop 5 [(if x = 2 [break]) x: x + 1] x", "2"},
        {"f: func [n] [(n + none)] error? try [f 1] 7", "7"},
    });
    EXPECT_EQ(error_of("(1 + none)"), err::expect_arg);
    EXPECT_EQ(error_of("f: func [n] [(n + none)] f 1"), err::expect_arg);
    EXPECT_EQ(arg_text(0), "+");
}

// The branch if, unless and either take runs in their own frame, over their arguments: values,
// exits and errors must be those of a branch run in a frame of its own.
TEST_F(FastPaths, BranchesRunOverTheirChoosersArguments) {
    expect_molds({
        {"either true [1 2] [3]", "2"},
        {"either false [1] []", "unset"},
        {"if true [x: 4 x * 2]", "8"},
        {"unless false [copy \"ab\"]", "\"ab\""},
        {"if false [1]", "none"},
        {"f: func [n] [either n > 0 [return n * 2] [0] 9] reduce [f 2 f 0]", "[4 9]"},
        {"x: 0 while [true] [x: x + 1 if x = 3 [break]] x", "3"},
        {"b: [1 2] either true b [0]", "2"},
        {"1 + either true [2] [3]", "3"},
    });
    EXPECT_EQ(error_of("either true [1 + none] [2]"), err::expect_arg);
    EXPECT_EQ(arg_text(0), "+");
    EXPECT_EQ(error_of("f: func [n] [if true [f n + 1]] f 1"), err::stack_overflow);
}
