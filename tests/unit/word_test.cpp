// The word family: conversions between the five types and from other values, their text forms,
// every comparison code, index?, getting and setting through words, and symbol!'s comparison.
#include <vector>

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "tests/unit/word_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_handlers;

namespace {

class Word : public WordTest {};

TEST_F(Word, ConversionsRetypeAndMoldWithTheTypesAffixes) {
    struct Case {
        TypeId target;
        Cell from;
        const char* mold;
    };
    const std::vector<Case> cases = {
        {TYPE_SET_WORD, lit("a"), "a:"},
        {TYPE_REFINEMENT, lit("a"), "/a"},
        {TYPE_GET_WORD, lit("a"), ":a"},
        {TYPE_LIT_WORD, word::load("a"), "'a"},
        {TYPE_WORD, refinement("ref"), "ref"},
        {TYPE_WORD, datatype_cell(TYPE_INTEGER), "integer!"},
        {TYPE_WORD, logic_cell(false), "false"},
        {TYPE_WORD, text("abc"), "abc"},
        {TYPE_WORD, text("abc:"), "abc"},  // a set-word! in the text becomes the target type
        {TYPE_WORD, text("first 2"), "first"},  // the first value decides
        {TYPE_LIT_WORD, char_cell('x'), "'x"},
        {TYPE_GET_WORD, text("#abc"), ":abc"},
    };
    for (const Case& c : cases) {
        Cell made_value = made(c.target, c.from);
        EXPECT_EQ(made_value.header, uint32_t(c.target)) << c.mold;
        EXPECT_EQ(molded(made_value), c.mold);
        EXPECT_EQ(molded(converted(c.target, c.from)), c.mold);
    }
}

TEST_F(Word, ConvertedWordsAreBoundInTheGlobalContext) {
    for (const Cell& from : {refinement("fresh"), issue::load("other"), datatype_cell(TYPE_LOGIC)}) {
        Cell w = converted(TYPE_WORD, from);
        EXPECT_EQ(w.s1, context::global());
        EXPECT_NE(int32_t(w.s3), -1);
        word::set(w, integer_cell(7));
        EXPECT_EQ(word::get(w).i32(), 7);
    }
}

TEST_F(Word, ConversionKeepsContextAndIndexBetweenWordTypes) {
    Cell w = word::load("kept");
    Cell g = converted(TYPE_GET_WORD, w);
    EXPECT_EQ(g.s1, w.s1);
    EXPECT_EQ(g.s2, w.s2);
    EXPECT_EQ(g.s3, w.s3);
}

TEST_F(Word, RefusedConversions) {
    RaisedError e = raised([&] { converted(TYPE_WORD, integer_cell(1)); });
    EXPECT_EQ(e.code, err::bad_to_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].s1, TYPE_WORD);
    EXPECT_EQ(e.args[1].i32(), 1);

    // A refinement whose spelling is not a word, named with the target type.
    e = raised([&] { made(TYPE_SET_WORD, refinement("1")); });
    EXPECT_EQ(e.code, err::bad_to_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].s1, TYPE_SET_WORD);
    EXPECT_EQ(e.args[1].type(), TYPE_REFINEMENT);

    // An issue whose spelling is not one word.
    e = raised([&] { made(TYPE_WORD, made(TYPE_ISSUE, text("a b"))); });
    EXPECT_EQ(e.code, err::bad_to_arg);

    for (const char* bad : {"1", "1 a", "", "a]"}) {
        e = raised([&] { converted(TYPE_WORD, text(bad)); });
        EXPECT_EQ(e.code, err::invalid_chars) << bad;
        EXPECT_TRUE(e.args.empty());
        EXPECT_EQ(raised([&] { made(TYPE_REFINEMENT, text(bad)); }).code, err::invalid_chars) << bad;
    }
    EXPECT_EQ(raised([&] { converted(TYPE_WORD, char_cell('1')); }).code, err::invalid_chars);
}

TEST_F(Word, NoTextLoadsWithoutALoader) {
    word::set_text_loader(nullptr);
    EXPECT_EQ(raised([&] { converted(TYPE_WORD, text("abc")); }).code, err::invalid_chars);
    EXPECT_EQ(raised([&] { converted(TYPE_WORD, refinement("abc")); }).code, err::bad_to_arg);
}

TEST_F(Word, FormAndMoldKeepTheWrittenSpelling) {
    word::load("abc");
    Cell upper = lit("ABC");
    EXPECT_EQ(molded(upper), "'ABC");
    EXPECT_EQ(formed(upper), "ABC");
    EXPECT_EQ(molded(word::load("ABC")), "ABC");
    EXPECT_EQ(molded(word::load("\xC3\xA9t\xC3\xA9")), "\xC3\xA9t\xC3\xA9");
}

TEST_F(Word, EqualityCodes) {
    Cell abc = word::load("abc"), upper = word::load("ABC"), lit_abc = lit("abc");
    Cell set_abc = word::load("abc", TYPE_SET_WORD);
    Cell other_context = abc;
    other_context.s1 = 0;
    struct Case {
        Cell a, b;
        int op;
        int expected;
    };
    const std::vector<Case> cases = {
        {abc, upper, CMP_EQUAL, 0},          {abc, upper, CMP_STRICT_EQUAL, 1},
        {abc, set_abc, CMP_EQUAL, 0},        {abc, set_abc, CMP_STRICT_EQUAL, 1},
        {abc, abc, CMP_STRICT_EQUAL, 0},     {abc, upper, CMP_FIND, 0},
        {abc, other_context, CMP_SAME, 1},   {abc, abc, CMP_SAME, 0},
        {abc, lit_abc, CMP_SAME, 1},         {abc, lit_abc, CMP_MATCH, 0},
        {lit_abc, upper, CMP_MATCH, 1},      {abc, set_abc, CMP_MATCH, 1},
        {lit_abc, upper, CMP_MATCH_CASE, 0}, {abc, set_abc, CMP_MATCH_CASE, 1},
        {set_abc, word::load("ABC", TYPE_SET_WORD), CMP_MATCH_CASE, 0},
        {abc, word::load("abd"), CMP_EQUAL, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compared(c.a, c.b, c.op), c.expected) << molded(c.a) << " " << molded(c.b) << " op " << c.op;
}

TEST_F(Word, OrderingComparesTheWrittenForms) {
    Cell b = word::load("b"), upper_a = word::load("A"), abc = word::load("abc");
    EXPECT_EQ(compared(b, upper_a, CMP_LESSER), 1);  // case is ignored
    EXPECT_EQ(compared(b, upper_a, CMP_SORT_CASE), 1);
    EXPECT_EQ(compared(upper_a, word::load("a"), CMP_SORT), 0);
    EXPECT_EQ(compared(upper_a, word::load("a"), CMP_SORT_CASE), -1);
    EXPECT_EQ(compared(word::load("ab"), abc, CMP_LESSER), -1);  // a prefix sorts first
}

TEST_F(Word, OnlyWordsAndIssuesAmongThemselvesCompare) {
    Cell abc = word::load("abc"), issue = issue::load("abc");
    EXPECT_EQ(compared(abc, text("abc"), CMP_EQUAL), -2);
    EXPECT_EQ(compared(abc, integer_cell(1), CMP_EQUAL), -2);
    EXPECT_EQ(compared(abc, issue, CMP_EQUAL), -2);
    EXPECT_EQ(compared(issue, abc, CMP_EQUAL), -2);
    EXPECT_EQ(compared(refinement("abc"), abc, CMP_EQUAL), 0);
}

TEST_F(Word, IndexIsTheOneBasedPositionOrNone) {
    Cell w = word::load("indexed");
    int32_t position = context::find_word(context::global(), w.s2, false);
    EXPECT_EQ(datatype::handler<A_INDEX_Q>(TYPE_WORD)(&w), position + 1);
    Cell set = converted(TYPE_SET_WORD, w);
    EXPECT_EQ(datatype::handler<A_INDEX_Q>(TYPE_SET_WORD)(&set), position + 1);
    Cell unbound = make_cell(TYPE_WORD, 0, w.s2, word::NO_INDEX);
    EXPECT_EQ(datatype::handler<A_INDEX_Q>(TYPE_WORD)(&unbound), -1);
    EXPECT_FALSE(datatype::supports(TYPE_REFINEMENT, A_INDEX_Q));
}

TEST_F(Word, MembersInheritEverythingButMoldFromWord) {
    for (TypeId type : {TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT}) {
        for (int slot : {A_MAKE, A_TO, A_FORM, A_COMPARE})
            EXPECT_EQ(datatype::raw_handler(type, slot), datatype::raw_handler(TYPE_WORD, slot));
        EXPECT_NE(datatype::raw_handler(type, A_MOLD), datatype::raw_handler(TYPE_WORD, A_MOLD));
        EXPECT_FALSE(datatype::supports(type, A_ADD));
    }
}

TEST_F(Word, GetAndSet) {
    Cell w = word::load("value");
    RaisedError e = raised([&] { word::get(w); });
    EXPECT_EQ(e.code, err::no_value);
    EXPECT_EQ(word_text(e.args.at(0)), "value");
    EXPECT_TRUE(word::get_any(w).is(TYPE_UNSET));

    e = raised([&] { word::set(w, unset_cell()); });
    EXPECT_EQ(e.code, err::need_value);
    word::set(w, integer_cell(3));
    EXPECT_EQ(word::get(word::load("VALUE")).i32(), 3);  // a case variant shares the value
    word::set(w, unset_cell(), true);
    EXPECT_TRUE(word::get_any(w).is(TYPE_UNSET));

    Cell unbound = refinement("value");
    unbound.header = TYPE_WORD;
    EXPECT_EQ(raised([&] { word::set(unbound, integer_cell(1)); }).code, err::not_defined);
}

TEST_F(Word, WordArgumentsOfErrorsAreGlobalWords) {
    Cell w = datatype::word_arg("round");
    EXPECT_EQ(w.type(), TYPE_WORD);
    EXPECT_EQ(w.s1, context::global());
    EXPECT_EQ(spelling(w), "round");
}

TEST_F(Word, SymbolsCompareByTheirWrittenForms) {
    uint32_t lower = symbol::make("sym"), upper = symbol::make("SYM"), other = symbol::make("syn");
    symbol::get(lower);  // one with its cached string, the others without
    auto compare_symbols = [](uint32_t a, uint32_t b, int op) {
        const Cell x = symbol::cell(a), y = symbol::cell(b);
        return compared(x, y, op);
    };
    EXPECT_EQ(compare_symbols(lower, upper, CMP_EQUAL), 0);
    EXPECT_EQ(compare_symbols(lower, upper, CMP_STRICT_EQUAL), 1);
    EXPECT_EQ(compare_symbols(upper, other, CMP_LESSER), -1);
    // Texts made from names beyond ASCII widen as they are made.
    uint32_t wide = symbol::make("\xC3\xA9t\xC3\xA9"), wider = symbol::make("\xC3\xA9t\xE2\x82\xAC");
    EXPECT_EQ(compare_symbols(wide, wider, CMP_LESSER), -1);
    EXPECT_EQ(compared(symbol::cell(lower), word::load("sym"), CMP_EQUAL), -2);
}

}  // namespace
