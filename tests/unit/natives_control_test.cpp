#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Control : public NativesTest {};

}  // namespace

TEST_F(Control, ConditionalsTestTruthAndUnsetCountsAsTrueExceptForEither) {
    expect_molds({
        {"if () [1]", "1"},
        {"if none [1]", "none"},
        {"if false [1]", "none"},
        {"if 0 [1]", "1"},
        {"unless () [1]", "none"},
        {"unless none [1]", "1"},
        {"either true [1] [2]", "1"},
        {"either none [1] [2]", "2"},
    });
    EXPECT_EQ(error_of("either () [1] [2]"), err::no_return);
}

TEST_F(Control, AnyAndAllStopAtTheDecidingValue) {
    expect_molds({
        {"any [none false 3 4]", "3"},
        {"any [none false]", "none"},
        {"any []", "none"},
        {"all [1 2]", "2"},
        {"all [1 none 2]", "none"},
        {"all []", "none"},
    });
    run("x: 0 all [1 none x: 1] any [1 x: 2]");
    EXPECT_EQ(global("x").i32(), 0);
}

TEST_F(Control, SwitchMatchesSameTypedValuesWithEquality) {
    expect_molds({
        {"switch \"ABC\" [\"abc\" [1]]", "1"},
        {"switch 1 [1 2 3 [4]]", "4"},
        {"switch 2 [1 [10] 2 [20]]", "20"},
        {"switch 1 [1.0 [a]]", "none"},
        {"switch [1] [[1] [a]]", "none"},
        {"switch/default 9 [1 [a]] [0]", "0"},
        {"switch/default 1 [2 [a] 1]  [0]", "0"},
    });
}

TEST_F(Control, CaseEvaluatesTheBranchOfTheFirstTruthyCondition) {
    expect_molds({
        {"case [false [1] true [2] true [3]]", "2"},
        {"case [true 10]", "10"},
        {"case [true 1 + 2]", "3"},
        {"case [false [1]]", "none"},
        {"case []", "none"},
        {"case/all [false [1] true [2]]", "2"},
        {"case/all [true [1] false [2]]", "none"},
    });
    run("n: 0 case/all [true [n: n + 1] true [n: n + 10]]");
    EXPECT_EQ(global("n").i32(), 11);
    EXPECT_EQ(error_of("case [true]"), err::need_value);
    EXPECT_EQ(arg_text(0), "case");
    EXPECT_EQ(error_of("case [() [1]]"), err::no_return);
}

TEST_F(Control, CountedLoops) {
    expect_molds({
        {"loop 0 [1]", "none"},
        {"loop -1 [1]", "none"},
        {"x: 0 loop 2.9 [x: x + 1] x", "2"},
        {"loop 3 [7]", "7"},
        {"repeat i 3 [i: 10] i", "3"},
        {"n: 0 repeat i 4 [n: n + i] n", "10"},
        {"i: 5 repeat i 0 [1] i", "5"},
        {"repeat i 3 [i * 2]", "6"},
    });
}

TEST_F(Control, WhileUntilAndForeverEndOnTheirConditionOrABreak) {
    expect_molds({
        {"n: 0 while [n < 3] [n: n + 1] n", "3"},
        {"while [false] [1]", "unset"},
        {"while [true] [break/return 5]", "5"},
        {"while [true] [break]", "unset"},
        {"n: 0 until [n: n + 1 n = 3]", "true"},
        {"until [break/return 4]", "4"},
        {"n: 0 forever [n: n + 1 if n = 4 [break/return n]]", "4"},
        {"n: 0 loop 5 [n: n + 1 if n = 2 [break]] n", "2"},
        {"n: 0 loop 5 [if n = 3 [break/return n * 10] n: n + 1]", "30"},
        {"n: 0 m: 0 loop 4 [n: n + 1 if odd? n [continue] m: m + 1] m", "2"},
    });
    EXPECT_EQ(error_of("while [break] [1]"), err::while_cond);
    EXPECT_EQ(error_of("while [()] [1]"), err::no_return);
    EXPECT_EQ(error_of("break"), err::throw_break);
    EXPECT_EQ(error_of("continue"), err::throw_continue);
}

TEST_F(Control, ForeachSetsItsWordsFromEachRecord) {
    expect_molds({
        {"out: [] foreach x [1 2 3] [append out x * 2] out", "[2 4 6]"},
        {"out: [] foreach [a b] [1 2 3] [append out b] out", "[2 none]"},
        {"out: [] foreach [a b] [1 2 3] [append out a] out", "[1 3]"},
        {"foreach x [] [1]", "unset"},
        {"foreach x [1 2] [x]", "2"},
        {"out: [] foreach c \"ab\" [append out c] length? out", "2"},
        {"b: [1 2 3] foreach x next b [x] b", "[1 2 3]"},
        {"foreach x [1 2 3] [if x = 2 [break/return x * 5]]", "10"},
    });
    EXPECT_EQ(error_of("foreach [] [1] []"), err::invalid_arg);
    EXPECT_EQ(error_of("foreach [a 1] [1 2] []"), err::invalid_arg);
}

TEST_F(Control, ForallMovesTheWordThroughTheSeries) {
    expect_molds({
        {"s: [1 2 3] out: [] forall s [append out s/1] out", "[1 2 3]"},
        {"s: [1 2 3] forall s [1] s", "[1 2 3]"},
        {"s: [1 2 3] forall s [if s/1 = 2 [break]] s", "[2 3]"},
        {"s: [1 2 3] n: 0 forall s [n: n + 1 s: next s] n", "2"},
    });
    EXPECT_EQ(error_of("s: [1 2] forall s [s: [3 4]]"), err::bad_loop_series);
    EXPECT_EQ(error_of("s: [1 2] forall s [s: 1]"), err::bad_loop_series);
    EXPECT_EQ(error_of("s: 1 forall s [1]"), err::expect_arg);
    EXPECT_EQ(arg_text(0), "forall");
    EXPECT_EQ(arg(1).s1, uint32_t(TYPE_INTEGER));
}

TEST_F(Control, RemoveEachDropsTheRecordsWhoseBodyIsTruthy) {
    expect_molds({
        {"b: [1 1 2 2 1 3] remove-each [x y] b [x = 1] b", "[2 2]"},
        {"b: [1 2 3 4] remove-each x b [odd? x]", "[2 4]"},
        {"b: [1 2 3 4] remove-each x next b [x > 2] b", "[1 2]"},
        {"b: [1 2 3] remove-each x b [()] b", "[]"},
        {"b: [1 2 3] remove-each x b [continue] b", "[1 2 3]"},
        {"b: [1 2 3 4] remove-each x b [if x = 3 [break] x = 1] b", "[2 3 4]"},
        {"s: \"abcd\" n: 0 remove-each c s [n: n + 1 n > 2] s", "\"ab\""},
    });
}
