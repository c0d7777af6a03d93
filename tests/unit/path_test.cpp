// paren! and the path family as scripts see them: make and to keep the requested type, mold
// adds each type's delimiters or marks, form shows bare values, and everything else is block!'s
// (paths are neither sorted nor shuffled).
#include "natives_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_support;

namespace {

class PathFamily : public NativesTest {
protected:
    void expect_molds(std::initializer_list<std::pair<const char*, const char*>> cases) {
        for (const auto& [source, molded] : cases) EXPECT_EQ(mold_of(source), molded) << source;
    }
};

}  // namespace

TEST_F(PathFamily, ParenMoldsInParenthesesAndActsAsABlock) {
    expect_molds({
        {"mold to paren! [1 + 2]", "\"(1 + 2)\""},
        {"form to paren! [1 + 2]", "\"1 + 2\""},
        {"mold/only to paren! [1 + 2]", "\"1 + 2\""},
        {"make paren! [a b]", "(a b)"},
        {"type? make paren! 3", "paren!"},
        {"sort to paren! [b a]", "(a b)"},
        {"find to paren! [a b c] 'b", "(b c)"},
        {"length? append to paren! [1] [2 3]", "3"},
        {"copy next to paren! [1 2]", "(2)"},
        {"p: to paren! [1] append/only p p mold p", "\"(1 (...))\""},
        {"to paren! [\n1 2]", "(\n    1 2\n)"},
    });
}

TEST_F(PathFamily, EachTypeMoldsWithItsMarks) {
    expect_molds({
        {"mold to path! [a b 1]", "\"a/b/1\""},
        {"mold to lit-path! [a b 1]", "\"'a/b/1\""},
        {"mold to set-path! [a b 1]", "\"a/b/1:\""},
        {"mold to get-path! [a b 1]", "\":a/b/1\""},
        {"form to set-path! [a b]", "\"a/b\""},
        {"form to lit-path! [a b]", "\"a/b\""},
        {"mold to path! [a \"b c\" (x)]", "{a/\"b c\"/(x)}"},
        {"form to path! [a \"b c\"]", "\"a/b c\""},
        {"mold pick [a/b/c:] 1", "\"a/b/c:\""},
        {"mold pick ['a/b] 1", "\"'a/b\""},
        {"mold pick [:a/b] 1", "\":a/b\""},
        {"mold next to path! [a b c]", "\"b/c\""},
        {"mold/part to path! [abc def] 5", "\"abc/d\""},
        {"mold to path! []", "\"\""},
    });
}

TEST_F(PathFamily, NewLinesInsideAPathAreIgnored) {
    EXPECT_EQ(mold_of("mold to path! [a\nb\nc]"), "\"a/b/c\"");
}

TEST_F(PathFamily, MakeAndTo) {
    expect_molds({
        {"make path! [a b]", "a/b"},
        {"make set-path! [a b]", "a/b:"},
        {"make lit-path! to paren! [a b]", "'a/b"},
        {"type? make get-path! 2.9", "get-path!"},
        {"length? make path! 0", "0"},
        {"length? make path! 250%", "0"},
        {"to path! 'a", "a"},
        {"length? to path! make object! [x: 1]", "1"},
        {"type? pick to path! make object! [x: 1] 1", "object!"},
        {"type? pick to lit-path! any-word! 1", "typeset!"},
        {"to path! [a b]", "a/b"},
        {"copy/part to path! [a b c] 2", "a/b"},
    });
    EXPECT_EQ(error_of("make path! \"a\""), err::bad_make_arg);
    EXPECT_EQ(arg(0).s1, uint32_t(TYPE_PATH));
    EXPECT_EQ(error_of("make set-path! none"), err::bad_make_arg);
    EXPECT_EQ(arg(0).s1, uint32_t(TYPE_SET_PATH));
}

TEST_F(PathFamily, PathsAreNotSortedOrShuffled) {
    for (const char* source : {"sort to path! [b a]", "random to path! [b a]", "sort to set-path! [b a]",
                               "random to get-path! [b a]"})
        EXPECT_EQ(error_of(source), err::expect_arg) << source;
    EXPECT_EQ(mold_of("length? random to paren! [b a]"), "2");
}
