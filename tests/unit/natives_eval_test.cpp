#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

using Eval = NativesTest;

TEST_F(Eval, ReduceEvaluatesEveryExpression) {
    EXPECT_EQ(mold_of("reduce [1 + 2 3]"), "[3 3]");
    EXPECT_EQ(mold_of("reduce []"), "[]");
    EXPECT_EQ(mold_of("a: 5 reduce 'a"), "5");
    EXPECT_EQ(run("reduce :print").type(), TYPE_NATIVE);
    EXPECT_EQ(mold_of("out: [9] reduce/into [1 + 1 3] tail out out"), "[9 2 3]");
    EXPECT_EQ(mold_of("out: [9] reduce/into [1 + 1 3] out"), "[9]") << "inserted: the result is past the values";
    EXPECT_EQ(mold_of("out: [9] reduce/into [1 + 1 3] out out"), "[2 3 9]");
    EXPECT_EQ(mold_of("b: reduce [\n1 2] new-line? b"), "false");
}

TEST_F(Eval, ComposeEvaluatesParensOnly) {
    EXPECT_EQ(mold_of("compose [a (1 + 2) ([b c]) () (none)]"), "[a 3 b c none]");
    EXPECT_EQ(mold_of("compose/only [([b c])]"), "[[b c]]");
    EXPECT_EQ(mold_of("compose [([])]"), "[]");
    EXPECT_EQ(mold_of("compose/only [([])]"), "[[]]");
    EXPECT_EQ(mold_of("compose [x (unset 'z)]"), "[x]");
    EXPECT_EQ(mold_of("compose [[(1 + 1)]]"), "[[(1 + 1)]]");
    EXPECT_EQ(mold_of("compose/deep [[(1 + 1)] ([3])]"), "[[2] 3]");
    EXPECT_EQ(mold_of("out: [x] compose/into [(1 + 1)] out out"), "[2 x]");
}

TEST_F(Eval, DoEvaluatesBlocksAndSingleValues) {
    EXPECT_EQ(mold_of("do [1 + 2]"), "3");
    EXPECT_EQ(mold_of("do []"), "unset");
    EXPECT_EQ(mold_of("a: 4 do 'a"), "4");
    EXPECT_EQ(mold_of("do 7"), "7");
    EXPECT_EQ(mold_of("do/next [1 + 1 2] 'p"), "2");
    EXPECT_EQ(mold_of("do/next [1 + 1 2] 'p p"), "[2]");
    EXPECT_EQ(mold_of("do/next [] 'p p"), "[]");
    EXPECT_EQ(mold_of("do \"1 + 2\""), "3");
    EXPECT_EQ(mold_of("do/next \"1 2\" 'p p"), "[2]");
}

TEST_F(Eval, SetAssignsOneWordOrManyAndGetReadsThem) {
    EXPECT_EQ(mold_of("set [a b] 1 reduce [a b]"), "[1 1]");
    EXPECT_EQ(mold_of("set [a b] [1 2] reduce [a b]"), "[1 2]");
    EXPECT_EQ(mold_of("set [a b] [1] reduce [a b]"), "[1 none]");
    EXPECT_EQ(mold_of("set/only [a b] [1 2] reduce [a b]"), "[[1 2] [1 2]]");
    EXPECT_EQ(mold_of("a: 0 set/some [a b] reduce [none 2] reduce [a b]"), "[0 2]");
    EXPECT_EQ(mold_of("set 'a 5"), "5");
    EXPECT_EQ(mold_of("set/any 'a () get/any 'a"), "unset");
    EXPECT_EQ(mold_of("b: [1 2] set 'b/2 5 b"), "[1 5]");
    EXPECT_EQ(mold_of("b: [1 2] get 'b/2"), "2");
    EXPECT_EQ(error_of("set 'a ()"), err::need_value);
    EXPECT_EQ(error_of("set [a b] reduce [1 ()]"), err::need_value);
    EXPECT_EQ(arg_text(0), "b");
    EXPECT_EQ(error_of("set [a 1] 2"), err::invalid_arg);
    EXPECT_EQ(error_of("get 'nothing-here"), err::no_value);
    EXPECT_EQ(mold_of("get/any 'nothing-here"), "unset");
}

TEST_F(Eval, UnsetAndValueQ) {
    EXPECT_EQ(mold_of("a: 1 value? 'a"), "true");
    EXPECT_EQ(mold_of("a: 1 unset 'a value? 'a"), "false");
    EXPECT_EQ(mold_of("a: 1 b: 2 unset [a b 3] reduce [value? 'a value? 'b]"), "[false false]");
    EXPECT_EQ(mold_of("value? 'never-set"), "false");
}

TEST_F(Eval, InAndBindReachAnObjectsWords) {
    run("obj: make object! [a: 1 b: 2]");
    EXPECT_EQ(mold_of("in obj 'y"), "none");
    EXPECT_EQ(mold_of("get in obj 'b"), "2");
    EXPECT_EQ(mold_of("get in obj /a"), "1");
    EXPECT_EQ(mold_of("b: 7 get bind 'b obj"), "2");
    EXPECT_EQ(mold_of("y: 7 get bind 'y obj"), "7");
    EXPECT_EQ(mold_of("a: 7 blk: [a] bind blk obj get blk/1"), "1");
    EXPECT_EQ(mold_of("a: 7 blk: [a] bind/copy blk obj get blk/1"), "7");
    EXPECT_EQ(mold_of("same? obj context? in obj 'a"), "true");
    EXPECT_EQ(mold_of("same? obj context? 'a"), "false");
    EXPECT_EQ(mold_of("f: func [x] [context? 'x] same? :f f 1"), "true");
}

TEST_F(Eval, ApplyCallsWithAReducedArgumentBlock) {
    EXPECT_EQ(mold_of("apply :append [[1] 2]"), "[1 2]");
    EXPECT_EQ(mold_of("apply 'append [[1] 1 + 1]"), "[1 2]");
    EXPECT_EQ(mold_of("apply 'append/only [[1] [2]]"), "[1 [2]]");
    EXPECT_EQ(mold_of("apply :add [1 2]"), "3");
    EXPECT_EQ(mold_of("apply :+ [1 2]"), "3");
    EXPECT_EQ(mold_of("apply/all 'append [[1] [2 3] false none true false none]"), "[1 [2 3]]");
    EXPECT_EQ(mold_of("apply/all 'append [[1] [2 3] false none false true 2]"), "[1 2 3 2 3]");
    EXPECT_EQ(mold_of("apply/all 'append [[1] 2]"), "[1 2]");
    EXPECT_EQ(mold_of("n: 0 apply/all/safer 'append [[1] 2 false (n: 1)] n"), "0");
    EXPECT_EQ(error_of("x: 1 apply 'x []"), err::invalid_arg);
    EXPECT_EQ(error_of("apply 'append [[1]]"), err::no_arg);
}

TEST_F(Eval, ObjectsAsWordsAndValues) {
    run("obj: make object! [a: 1 b: 2]");
    EXPECT_EQ(mold_of("get obj"), "[1 2]");
    EXPECT_EQ(mold_of("set obj [5 6] obj/b"), "6");
    EXPECT_EQ(mold_of("o: construct [x: 1 + 2 y: true] reduce [o/x o/y]"), "[1 true]");
    EXPECT_EQ(mold_of("o: construct/with [y: 7] obj reduce [o/a o/y]"), "[5 7]");
    EXPECT_EQ(error_of("extend make object! [] [a 1]"), err::not_done);
}
