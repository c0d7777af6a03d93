#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using Functions = vyn::testing_support::NativesTest;

TEST_F(Functions, FuncRunsTheBodyItWasGiven) {
    EXPECT_EQ(mold_of("f: func [a b] [a + b] f 1 2"), "3");
    EXPECT_EQ(mold_of("b: [1] f: does b append b 2 f"), "2") << "the body is not copied";
    EXPECT_EQ(mold_of("f: func [x [integer!] /twice] [either twice [x * 2] [x]] reduce [f 3 f/twice 3]"), "[3 6]");
    EXPECT_EQ(mold_of("f: func [\"doc\" x] [x] f 4"), "4");
    EXPECT_EQ(error_of("func [a a] []"), err::dup_vars);
    EXPECT_EQ(error_of("func [a \"doc\" [integer!]] []"), err::bad_func_def);
}

TEST_F(Functions, HasAndDoesMakeFunctionsWithoutArguments) {
    EXPECT_EQ(mold_of("a: 0 f: has [a] [a: 5 a] reduce [f a]"), "[5 0]");
    EXPECT_EQ(mold_of("f: does [7] f"), "7");
    EXPECT_EQ(mold_of("f: has [a b] [] :f"), "func [/local a b][]");
}

TEST_F(Functions, FunctionMakesItsSetWordsAndLoopWordsLocal) {
    EXPECT_EQ(mold_of("y: 0 z: 0 f: function [x /extern y] [y: 1 z: 2] f 0 reduce [y z]"), "[1 0]");
    EXPECT_EQ(mold_of("i: 0 k: 0 f: function [] [repeat i 2 [k: i]] f reduce [i k]"), "[0 0]");
    EXPECT_EQ(mold_of("spec: [x] f: function spec [q: x] spec"), "[x]") << "the spec given stays as it was";
}
