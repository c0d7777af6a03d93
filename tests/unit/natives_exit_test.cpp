#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using Exits = vyn::testing_support::NativesTest;

TEST_F(Exits, CatchTakesThrowsByName) {
    EXPECT_EQ(mold_of("catch [throw 1 2]"), "1");
    EXPECT_EQ(mold_of("catch [throw/name 1 'a]"), "1");
    EXPECT_EQ(mold_of("catch [catch/name [throw 1] 'a 2]"), "1");
    EXPECT_EQ(mold_of("catch/name [throw/name 1 'B] [a b]"), "1");
    EXPECT_EQ(mold_of("catch [catch/name [throw/name 1 'c] [a b] 2]"), "1");
    EXPECT_EQ(mold_of("catch/name [throw/name 3 'a] 'a"), "3");
    EXPECT_EQ(mold_of("catch [5]"), "5");
    EXPECT_EQ(mold_of("catch/name [throw/name 1 'a] [a 2]"), "1");
    EXPECT_EQ(error_of("catch/name [throw/name 1 'a] [2 a]"), err::invalid_refine_arg);
    EXPECT_EQ(arg_text(0), "name");
    EXPECT_EQ(error_of("throw 1"), err::throw_throw);
    EXPECT_EQ(error_of("catch/name [throw 1] 'a"), err::throw_throw);
}

// A throw that a catch took leaves no trace in the origin of later errors.
TEST_F(Exits, ErrorsAfterACaughtThrowNameTheirOwnCall) {
    run("thrower: func [] [throw 1]");
    EXPECT_EQ(mold_of("catch [thrower] select try [1 + none] 'where"), "+");
    EXPECT_EQ(mold_of("catch [thrower] e: try [1 + none] e/where"), "+");
}

TEST_F(Exits, TryGivesTheErrorAndLetsOtherExitsPass) {
    EXPECT_EQ(mold_of("type? try [1 / 0]"), "error!");
    EXPECT_EQ(code_of(run("try [1 / 0]")), err::zero_divide);
    EXPECT_EQ(mold_of("try [1 + 2]"), "3");
    EXPECT_EQ(mold_of("n: 0 loop 3 [n: n + 1 try [break]] n"), "1");
    EXPECT_EQ(mold_of("catch [try [throw 1] 2]"), "1");
    EXPECT_EQ(mold_of("x: try [try [1 / 0] 5] x"), "5");
}

TEST_F(Exits, TryAllTurnsStrayExitsIntoErrors) {
    EXPECT_EQ(code_of(run("try/all [break]")), err::throw_break);
    EXPECT_EQ(code_of(run("try/all [return 1]")), err::throw_return);
    EXPECT_EQ(code_of(run("catch [try/all [throw 1]]")), err::throw_throw);
    EXPECT_EQ(code_of(run("loop 2 [try/all [break/return 3]]")), err::throw_break) << "the loop lies beyond the barrier";
}

TEST_F(Exits, ReturnAndExitLeaveTheNearestFunction) {
    EXPECT_EQ(mold_of("f: func [] [loop 5 [return 7] 0] f"), "7");
    EXPECT_EQ(mold_of("g: func [] [1 exit 2] g"), "unset");
    EXPECT_EQ(mold_of("h: func [x] [x: x + 1 if x < 3 [return h x] x] h 0"), "3");
    EXPECT_EQ(error_of("return 1"), err::throw_return);
    EXPECT_EQ(mold_of("breaker: func [] [break/return 9] loop 3 [breaker]"), "9");
}

// The trace names the user's functions between the try and the raise, not natives or itself.
TEST_F(Exits, TryKeepCapturesTheCallTrace) {
    run("g: func [x] [x + \"a\"] f: func [y] [either y [g y] [0]]");
    EXPECT_EQ(mold_of("select try/keep [f 1] 'stack"), "[f g]");
    EXPECT_EQ(mold_of("select try/all/keep [f 1] 'stack"), "[f g]");
    EXPECT_EQ(mold_of("type? select try [f 1] 'stack"), "integer!");
    EXPECT_EQ(mold_of("h: func [] [try/keep [f 1]] select h 'stack"), "[f g]");
    EXPECT_EQ(mold_of("system/state/stack-trace: 2 s: select try/keep [f 1] 'stack system/state/stack-trace: 1 s"),
              "[f either g +]");
}
