// Analysed blocks: a block's first run walks it, later runs go through its analysis. Every
// expression form must give on each run what the walk gave, and a change to the code or to a
// word's value between runs must be seen by the next one.
#include "core/catalog.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

struct Case {
    const char* setup;  // run once, before the block is made
    const char* code;   // the block's contents
    const char* value;  // the molded value of each of its runs
};

class Plans : public NativesTest {};

}  // namespace

TEST_F(Plans, EveryRunGivesWhatTheFirstGave) {
    const Case cases[] = {
        {"", "1 + 2 * 3", "9"},
        {"x: 5", "x: x + 1 x * 2", "12"},  // x is reset below each run
        {"f: func [a b] [a - b]", "f 10 f 3 1", "8"},
        {"f: func [a /opt b /two c d] [reduce [a opt b two c d]]", "f/two/opt 1 2 3 4", "[1 true 4 true 2 3]"},
        {"f: func [a /opt b] [either opt [a + b] [a]]", "(f 1) + f/opt 2 3", "6"},
        {"", "append/only copy [a] [b]", "[a [b]]"},
        {"", "either 1 < 2 [\"yes\"] [\"no\"]", "\"yes\""},
        {"", "if 2 < 1 [3]", "none"},
        {"", "(1 + (2 * 3)) - 4", "3"},
        {"", "2147483647 + 1 < 3.0", "false"},
        {"minus: make op! :subtract", "10 minus 3 minus 2", "5"},
        {"less: make op! func [a b] [a - b]", "10 less 3 * 2", "14"},
        {"o: make object! [v: 10 f: does [v]]", "o/f + o/v", "20"},
        {"b2: [1 2 3]", "b2/2 + length? b2", "5"},
        {"", "type? :append", "action!"},
        {"", "'a", "a"},
        {"w: 4", ":w", "4"},
        {"", "x: 1 + 2 x: x * x", "9"},
        {"g: func ['q [any-type!]] [type? :q]", "g", "unset!"},
        {"fact: func [n] [either n <= 1 [1] [n * fact n - 1]]", "fact 12", "479001600"},
        {"", "unless 1 > 2 [5]", "5"},
        {"", "either none [1] [2]", "2"},
        {"", "if \"\" [3] ", "3"},
        {"f: func [a] [a] n: 3", "f n - 1 * 2", "4"},
        {"f: func [a b] [b] n: 3", "f n - 1 n < 2", "false"},
        {"f: func [a] [a] n: 2147483647", "f n + 1", "2147483648.0"},
    };
    for (const Case& c : cases) {
        std::string source = std::string(c.setup) + " run: [x: 5 do [" + c.code + "]] reduce [do run do run do run]";
        std::string value = c.value;
        EXPECT_EQ(mold_of(source), "[" + value + " " + value + " " + value + "]") << c.code;
    }
}

TEST_F(Plans, ARunSeesWhatChangedSinceTheLast) {
    expect_molds({
        // The callee changes arity: the parse of the block follows.
        {"f: func [a] [a] b: [f 1 2] r: reduce [do b] f: func [a b] [a + b] append r do b", "[2 3]"},
        // A word that was a number becomes a function, and back.
        {"x: 1 b: [x] r: reduce [do b] x: does [7] append r do b x: 2 append r do b", "[1 7 2]"},
        // An operator's word is given a plain function: the infix reading ends.
        {"p: make op! :add b: [1 p 2] r: reduce [do b do b] p: func [a] [a * 10] append r do b", "[3 3 20]"},
        // The code itself is changed between runs, and during a run.
        {"b: [1 + 2] r: reduce [do b do b] poke b 2 '* append r do b", "[3 3 2]"},
        // Each run appends a 7 and goes on to evaluate it.
        {"b: [append b [7] 1] r: reduce [do b do b] append r length? b", "[7 7 6]"},
        // A conditional's word is given another conditional, then a function.
        {"c: :if b: [c 1 = 1 [5]] r: reduce [do b do b] c: :unless append r do b c: func [x y] [x] append r do b",
         "[5 5 none true]"},
        // An argument's word stops holding a number: its operators are called.
        {"n: 1 f: func [a] [a] b: [f n + 1] r: reduce [do b do b] n: 1.5 append r do b n: 2% append r do b",
         "[2 2 2.5 102%]"},
        // A call's lone word argument: the word after it becomes an operator, or its value a function.
        {"f: func [a] [a] x: 1 q: 0 b: [f x q 2] r: reduce [do b do b] q: make op! :add append r do b", "[2 2 3]"},
        {"f: func [a] [a] x: 1 b: [f x] r: reduce [do b do b] x: does [7] append r do b", "[1 1 7]"},
        // A statement of one word or value: the word after it becomes an operator, or the value is replaced.
        {"x: 1 y: 2 b: [x y 3] r: reduce [do b do b] y: make op! :add append r do b", "[3 3 4]"},
        {"x: 1 b: [x 2] r: reduce [do b do b] poke b 2 'x append r do b x: \"s\" append r do b", "[2 2 1 \"s\"]"},
        // A set-word statement whose operand becomes a function, or whose word is an object's field.
        {"n: 1 b: [x: 2 * n x] r: reduce [do b do b] n: does [5] append r do b", "[2 2 10]"},
        {"o: make object! [v: 0 f: does [v: v + 1 v]] reduce [o/f o/f o/f o/v]", "[1 2 3 3]"},
        // A set-word statement whose value was a call becomes a plain number expression.
        {"f: does [5] n: 1 b: [x: n + f x] r: reduce [do b do b] f: 2 append r do b", "[6 6 3]"},
        // A refinement of the path is changed in place.
        {"f: func [a /x /y] [reduce [x y]] b: [f/x 1] r: reduce [do b do b] poke first b 2 'y append/only r do b",
         "[[true false] [true false] [false true]]"},
    });
}

TEST_F(Plans, ErrorsThroughTheAnalysisAreTheWalksErrors) {
    run("f: func [x [integer!]] [x] v: 1 b: [f v] do b do b v: \"a\"");
    EXPECT_EQ(error_of("do b"), err::expect_arg);
    run("g: func [a b] [a] e: [g 1 2] do e do e g: func [a b c] [a]");
    EXPECT_EQ(error_of("do e"), err::no_arg);
    run("u: 1 s: [u: 1 + u] do s do s u: none");
    EXPECT_EQ(error_of("do s"), err::expect_arg);
    run("c: [either () [1] [2]] t: [if 1 \"a\"]");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(error_of("do c"), err::no_return);
        EXPECT_EQ(error_of("do t"), err::expect_arg);
    }
    run("g: func [a] [a] q: [y: g 1] do q do q clear next q");
    EXPECT_EQ(error_of("do q"), err::need_value);
    run("w: 1 l: [w 2] do l do l unset 'w");
    EXPECT_EQ(error_of("do l"), err::no_value);
    run("f: func [a] [a] n: 1 a: [f n + 1] do a do a n: \"x\"");
    EXPECT_EQ(error_of("do a"), err::expect_arg);
    run("h: func [/opt] [1] p: [h/opt] do p do p h: func [] [1]");
    EXPECT_EQ(error_of("do p"), err::no_refine);
}

TEST_F(Plans, CollectionsWhileABlockRunsLeaveItsResultsAlone) {
    // Each pass frees the previous callee, so a new one may take its node ids.
    EXPECT_EQ(mold_of("n: 0 b: [h 1 2] r: copy [] loop 6 [n: n + 1 "
                      "h: either odd? n [func [a b] [a + b]] [func [a] [a * 10]] recycle append r do b] r"),
              "[3 2 3 2 3 2]");
    EXPECT_EQ(mold_of("k: 0 s: [k: k + 1 if k < 40 [recycle do s] k] do s"), "40");
}
