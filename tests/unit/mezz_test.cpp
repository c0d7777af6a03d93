// The environment's small functions that loading and the console rely on: printing, accessors,
// padding, file-name helpers, type predicates, conversion wrappers and raising errors by name.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;
using vyn::testing_support::printed;

namespace {

using Mezz = NativesTest;

TEST_F(Mezz, FunctionsGiveTheirValues) {
    const MoldCase cases[] = {
        {"first [a b]", "a"},
        {"second \"xy\"", "#\"y\""},
        {"last [1 2]", "2"},
        {"last []", "none"},
        {"reduce [empty? none empty? \"\" empty? next [1] empty? [1]]", "[true true true false]"},
        {"pad \"ab\" 4", "\"ab  \""},
        {"pad/left \"ab\" 4", "\"  ab\""},
        {"pad/with 5 3 #\"0\"", "\"500\""},
        {"pad \"abcdef\" 2", "\"abcdef\""},
        {"suffix? %x.tar.gz", "%.gz"},
        {"suffix? %a.b/c", "none"},
        {"reduce [dir? %a/ dir? %a]", "[true false]"},
        {"to-vyn-file \"a//b///c/\"", "%a/b/c/"},
        {"reduce [file? %a string? %a integer? 1 native? :print function? :print]",
         "[true false true true false]"},
        {"to-integer \"12\"", "12"},
        {"to-word \"abc\"", "abc"},
        {"o: context [a: 1] o/a", "1"},
        {"find charset \"ab\" #\"b\"", "true"},
    };
    expect_molds(cases);
}

TEST_F(Mezz, ProbePrintsAndReturns) {
    EXPECT_EQ(mold_of("probe [1 \"a\"]"), "[1 \"a\"]");
    EXPECT_EQ(printed, "[1 \"a\"]\n");
}

TEST_F(Mezz, CauseErrorRaisesByName) {
    EXPECT_EQ(error_of("cause-error 'script 'invalid-arg [1 + 1]"), err::invalid_arg);
    EXPECT_EQ(arg_text(0), "2");
    EXPECT_EQ(error_of("cause-error 'script 'invalid-arg \"text\""), err::invalid_arg);
    EXPECT_EQ(arg_text(0), "text");
}

}  // namespace
