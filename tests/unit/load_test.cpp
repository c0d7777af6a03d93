// load, scan and the transcode native as the environment defines them: each refinement of load,
// its errors, the trapping load, and trace callbacks that choose their events, read the types of
// typeless tokens from system/lexer and move the lexer's cursor.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using Load = NativesTest;

TEST_F(Load, ResultsByRefinement) {
    const MoldCase cases[] = {
        {"load {1}", "1"},
        {"load {1 2}", "[1 2]"},
        {"load {   }", "[]"},
        {"load/all {1}", "[1]"},
        {"load/part {1 2 3} 0", "[]"},
        {"s: {1 2} load/part s s", "[]"},
        {"s: {1 2 3} load/part s 3", "[1 2]"},
        {"s: {1 2 3} load/part s skip s 3", "[1 2]"},
        {"load/next {1 2} 'p", "1"},
        {"load/next {1 2} 'p p", "\" 2\""},
        {"load/next/all {1 2} 'p", "[1]"},
        {"load/into {1 2} [0]", "[0 1 2]"},
        {"load/trap {1 2}", "[[1 2] none none]"},
        {"load next {1 2}", "2"},
    };
    expect_molds(cases);
}

TEST_F(Load, AnUnknownFormatAndBadTextRaise) {
    EXPECT_EQ(error_of("load/as {1} 'foo"), err::invalid_refine_arg);
    EXPECT_EQ(arg_text(0), "as");
    EXPECT_EQ(arg_text(1), "foo");
    EXPECT_EQ(error_of("load {[1 2}"), err::missing);
    EXPECT_EQ(arg_text(1), "]");
}

TEST_F(Load, TrapKeepsTheErrorAndItsPosition) {
    EXPECT_EQ(mold_of("r: load/trap {1 2a 3} reduce [first r second r error? pick r 3]"), "[[] \"a 3\" true]");
    EXPECT_EQ(mold_of("system/lexer/err-pos"), "4");
    EXPECT_EQ(mold_of("r: load/trap next {1 2a 3} second r"), "\"a 3\"") << "the position counts from the head";
}

TEST_F(Load, ScanGuessesTheFirstType) {
    const MoldCase cases[] = {
        {"scan {123}", "integer!"},  {"scan {}", "none"},          {"scan {abc}", "word!"},
        {"scan {12a}", "error!"},    {"scan/fast {[1 2]}", "block!"}, {"scan/next {12 ab}", "[integer! \" ab\"]"},
    };
    expect_molds(cases);
}

TEST_F(Load, TraceCallbacksAskForTheirEvents) {
    run("seen: copy [] "
        "on-scan: func [event input type line token] [[scan] append seen :type true] "
        "on-all: func [event input type line token] [append seen event true]");
    EXPECT_EQ(mold_of("transcode/trace {[a] ;c} :on-scan seen"), "[block! word! block! comment]");
    EXPECT_EQ(mold_of("clear seen transcode/trace {a} :on-all seen"), "[scan load]");
}

TEST_F(Load, ACallbackMovesTheInputAndSkipsErrors) {
    run("skip-bad: func [event input type line token] [[error] input: next input false]");
    EXPECT_EQ(mold_of("transcode/trace {1 2a 3} :skip-bad"), "[1 3]");
    EXPECT_EQ(mold_of("transcode/trace {1 ) 3} :skip-bad"), "[1 3]");
}

TEST_F(Load, ThrowsLeaveTheScan) {
    run("stopper: func [event input type line token] [[open] throw 'stop]");
    EXPECT_EQ(mold_of("catch [transcode/trace {a [b]} :stopper]"), "stop");
    EXPECT_EQ(mold_of("transcode {c d}"), "[c d]") << "a later scan starts afresh";
}

}  // namespace
