// The console engine without a terminal: which typed texts are complete, wait for more lines or
// are wrong at once; the continuation cue; what a command prints, cut to the console's width.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;
using vyn::testing_support::printed;

namespace {

using ConsoleEngine = NativesTest;

struct Delimiters {
    const char* buffer;
    const char* complete;  // what check-delimiters answers
    const char* open;      // the open delimiters it leaves
};

TEST_F(ConsoleEngine, CheckDelimitersTellsCompleteUnfinishedAndWrongText) {
    const Delimiters cases[] = {
        {"[1 2]^/", "true", "[]"},
        {"[1 2^/", "true", "[#\"[\"]"},
        {"f: func [a] [^/", "true", "[#\"[\"]"},
        {"(1 + [2^/", "true", "[#\"(\" #\"[\"]"},
        {"1 2]^/", "false", "[]"},
        {"(1 2]^/", "false", "[]"},
        {"{abc^/", "true", "[#\"{\"]"},
        {"{a {b} c^/", "true", "[#\"{\"]"},
        {"\"abc^/", "false", "[]"},
        {"%%{ab^/", "true", "[#\"{\"]"},
        {"a/(b^/", "true", "[#\"(\"]"},
        {"[a/b c]^/", "true", "[]"},
        {"x: a/b^/", "true", "[]"},
        {"<a^/", "true", "[#\"<\"]"},
        {"12a^/", "false", "[]"},
    };
    for (const Delimiters& c : cases) {
        std::string code = "system/console/check-delimiters \"";
        for (const char* p = c.buffer; *p; ++p) code += *p == '"' ? std::string("^\"") : std::string(1, *p);
        code += '"';
        EXPECT_EQ(mold_of(code), c.complete) << c.buffer;
        EXPECT_EQ(mold_of("system/console/delimiters"), c.open) << c.buffer;
    }
}

TEST_F(ConsoleEngine, CountWalksEitherWay) {
    const MoldCase cases[] = {
        {"system/console/count {%%%a} #\"%\"", "3"},
        {"system/console/count/reverse back tail {a%%} #\"%\"", "2"},
        {"system/console/count/reverse {%%} #\"%\"", "1"},
        {"system/console/count {} #\"%\"", "0"},
    };
    expect_molds(cases);
}

TEST_F(ConsoleEngine, LinesAccumulateUntilTheTextIsComplete) {
    run("system/console/size: 80x25 system/console/eval-command {[1 2}");
    EXPECT_EQ(mold_of("reduce [system/console/mode system/console/cue]"), "[other \"[    \"]");
    EXPECT_EQ(printed, "");
    run("system/console/eval-command {3]}");
    EXPECT_EQ(printed, "== [1 2\n3]\n");
    EXPECT_EQ(mold_of("reduce [system/console/mode system/console/cue system/console/buffer]"), "[mono none \"\"]");
}

TEST_F(ConsoleEngine, EmptyLinesAndEscape) {
    run("system/console/eval-command {}");
    EXPECT_EQ(printed, "") << "an empty line with nothing pending does nothing";
    run("system/console/eval-command {(1} system/console/eval-command {2^(esc)}");
    EXPECT_EQ(printed, "(escape)\n");
    EXPECT_EQ(mold_of("reduce [system/console/mode system/console/buffer]"), "[mono \"\"]");
}

TEST_F(ConsoleEngine, ResultsAreCutToTheWidth) {
    run("system/console/size: 20x5 system/console/eval-command {append/dup copy {} {ab} 20}");
    EXPECT_EQ(printed, "== \"ababababababa...\n");
    printed.clear();
    run("system/console/eval-command {1.5} system/console/eval-command {prin {}}");
    EXPECT_EQ(printed, "== 1.5\n") << "an unset result prints nothing";
}

TEST_F(ConsoleEngine, HaltEndsTheCommand) {
    run("system/console/size: 80x25 system/console/eval-command {loop 3 [print 1 halt]}");
    EXPECT_EQ(printed, "1\n(halted)\n");
}

}  // namespace
