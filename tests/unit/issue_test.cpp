// issue!: made from any text unchecked, from chars and from the word types, molded with "#",
// compared only with issues, never given an index.
#include <vector>

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "tests/unit/word_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_handlers;

namespace {

class Issue : public WordTest {};

TEST_F(Issue, MakeTakesTextAsItIs) {
    struct Case {
        Cell from;
        const char* mold;
    };
    const std::vector<Case> cases = {
        {text("abc"), "#abc"},
        {text("a b]"), "#a b]"},  // no character is refused
        {text("\xC3\xA9t\xC3\xA9"), "#\xC3\xA9t\xC3\xA9"},
        {char_cell('7'), "#7"},
        {char_cell(0x20AC), "#\xE2\x82\xAC"},
        {word::load("abc", TYPE_SET_WORD), "#abc"},
        {refinement("ref"), "#ref"},
        {datatype_cell(TYPE_INTEGER), "#integer!"},
        {logic_cell(true), "#true"},
    };
    for (const Case& c : cases) {
        Cell issue = made(TYPE_ISSUE, c.from);
        EXPECT_EQ(issue.header, uint32_t(TYPE_ISSUE));
        EXPECT_EQ(molded(issue), c.mold);
        EXPECT_EQ(molded(converted(TYPE_ISSUE, c.from)), c.mold);
    }
}

TEST_F(Issue, TextAfterTheHeadOnly) {
    Cell s = text("xyz");
    s.s1 = 1;
    Cell issue = made(TYPE_ISSUE, s);
    EXPECT_EQ(formed(issue), "yz");
    EXPECT_EQ(issue.s1, context::global());
    EXPECT_EQ(issue.s3, word::NO_INDEX);
}

TEST_F(Issue, OtherValuesAreRefusedAsIssues) {
    RaisedError e = raised([&] { made(TYPE_ISSUE, integer_cell(5)); });
    EXPECT_EQ(e.code, err::bad_to_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].s1, TYPE_ISSUE);
    EXPECT_EQ(e.args[1].i32(), 5);
}

TEST_F(Issue, LetterCaseCountsOnlyUnderStrictEquality) {
    Cell lower = issue::load("abc"), upper = issue::load("ABC");
    EXPECT_EQ(molded(lower), "#abc");
    EXPECT_EQ(molded(upper), "#ABC");
    EXPECT_EQ(formed(upper), "ABC");
    EXPECT_EQ(compared(lower, upper, CMP_EQUAL), 0);
    EXPECT_EQ(compared(lower, upper, CMP_STRICT_EQUAL), 1);
    EXPECT_EQ(compared(lower, issue::load("abd"), CMP_LESSER), -1);
    EXPECT_EQ(compared(lower, word::load("abc"), CMP_EQUAL), -2);
}

TEST_F(Issue, OnlyConversionTextAndComparison) {
    EXPECT_EQ(datatype::raw_handler(TYPE_ISSUE, A_FORM), datatype::raw_handler(TYPE_WORD, A_FORM));
    EXPECT_FALSE(datatype::supports(TYPE_ISSUE, A_INDEX_Q));
    EXPECT_FALSE(datatype::supports(TYPE_ISSUE, A_ADD));
}

}  // namespace
