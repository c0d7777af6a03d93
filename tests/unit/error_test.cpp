// error!: the catalogue and `system` built at start-up, make from codes, blocks and strings,
// raising through `fire`, the printed text of an error (unknown kinds included), molding, the
// refused `stack` path and the report of an error that nothing catches.
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Error : public ObjectTest {
protected:
    static Cell made(const Cell& spec) {
        Cell proto = datatype_cell(TYPE_ERROR);
        return *error::make(&proto, &spec, TYPE_ERROR);
    }
    static std::string field_name(const Cell& e, error::Field f) { return name_of(*error::field(e, f)); }
};

TEST_F(Error, TheCatalogueAndSystemCarryTheirFixedClassIds) {
    Cell system = global("system");
    ASSERT_TRUE(system.is(TYPE_OBJECT));
    EXPECT_EQ(object::class_of(system), system_object::SYSTEM_CLASS_ID);
    EXPECT_EQ(object::words_count(system), 19u);
    EXPECT_EQ(name_of(object::get_field(object::context_of(system), 4)), "catalog");
    Cell words = *object::value_at(object::context_of(system), 2);
    EXPECT_EQ(words.s1, context::global());
    EXPECT_EQ(int32_t(object::class_of(words)), -1);
    EXPECT_EQ(object::vs_select(words, word("system")).s1, system.s1);
    Cell catalogue = context::owner(system_object::catalogue_context());
    ASSERT_EQ(object::words_count(catalogue), 10u);
    for (int i = 0; i < 10; ++i) {
        Cell category = *object::value_at(system_object::catalogue_context(), uint32_t(i));
        EXPECT_EQ(object::class_of(category), 186u + 2u * uint32_t(i));
        EXPECT_EQ(name_of(object::get_field(system_object::catalogue_context(), uint32_t(i))),
                  catalog::category(i).word);
    }
    NodeId script = system_object::category_context(3);
    EXPECT_EQ(object::value_at(script, 0)->i32(), 300);
    EXPECT_EQ(formed(*object::value_at(script, 1)), "Script Error");
    EXPECT_EQ(molded(*object::value_at(script, 2)), "[:arg1 \"has no value\"]");
    EXPECT_EQ(molded(*object::value_at(system_object::category_context(8), 2)), "arg1");
}

TEST_F(Error, MakeFromACodeFindsCategoryAndId) {
    Cell e = made(integer(300));
    EXPECT_TRUE(e.is(TYPE_ERROR));
    EXPECT_EQ(object::class_of(e), error::CLASS_ID);
    EXPECT_EQ(code_of(e), 300);
    EXPECT_EQ(field_name(e, error::FIELD_TYPE), "script");
    EXPECT_EQ(field_name(e, error::FIELD_ID), "no-value");
    EXPECT_EQ(error::field(e, error::FIELD_TYPE)->s1, system_object::catalogue_context());
    EXPECT_TRUE(arg(e, 0).is(TYPE_NONE));
    for (int32_t n : {399, -1, 1000, 699}) {
        Cell spec = integer(n);
        Cell raised_error = raised([&] { made(spec); });
        EXPECT_EQ(code_of(raised_error), err::out_of_range) << n;
        EXPECT_EQ(arg(raised_error, 0).i32(), n);
    }
}

TEST_F(Error, MakeFromABlockOfWords) {
    EXPECT_EQ(code_of(made(block({word("math"), word("zero-divide")}))), 400);
    EXPECT_EQ(code_of(made(block({word("Internal"), word("no-memory"), integer(5)}))), 902);
    struct Case {
        Cell spec;
        err::Code code;
        const char* argument;  // the name of a word argument, or "" for none
    };
    const Case cases[] = {
        {block({word("foo"), word("bar")}), err::invalid_spec_field, "type"},
        {block({word("math")}), err::invalid_spec_field, "id"},
        {block({word("math"), word("nothing")}), err::invalid_spec_field, "id"},
        {block({word("math"), word("code")}), err::invalid_spec_field, "id"},
        {block({word("math"), integer(1)}), err::invalid_arg, ""},
        {block({integer(1)}), err::invalid_error, ""},
        {block({}), err::invalid_error, ""},
        {logic_cell(true), err::bad_make_arg, ""},
    };
    for (const Case& c : cases) {
        Cell e = raised([&] { made(c.spec); });
        EXPECT_EQ(code_of(e), c.code);
        if (*c.argument) {
            EXPECT_EQ(name_of(arg(e, 0)), c.argument);
        }
    }
    EXPECT_TRUE(arg(raised([&] { made(block({integer(1)})); }), 0).is(TYPE_NONE));
}

TEST_F(Error, MakeFromSetWordsRunsTheSpecInTheError) {
    Cell e = made(block({set_word("type"), lit_word("math"), set_word("id"), lit_word("overflow"),
                         set_word("arg1"), integer(7)}));
    EXPECT_EQ(code_of(e), 401);
    EXPECT_EQ(arg(e, 0).i32(), 7);
    Cell bad = raised([&] { made(block({set_word("type"), lit_word("math"), set_word("id"), lit_word("x")})); });
    EXPECT_EQ(code_of(bad), err::invalid_spec_field);
}

TEST_F(Error, AStringMakesAUserErrorThatFormsAsItsText) {
    Cell e = made(text("boom"));
    EXPECT_EQ(code_of(e), 800);
    EXPECT_EQ(formed(arg(e, 0)), "boom");
    EXPECT_EQ(formed(e).rfind("*** User Error: boom\n*** Where: ???\n*** Near : ", 0), 0u);
}

TEST_F(Error, FireRaisesTheErrorWithItsArguments) {
    Cell x = word("x");
    Cell e = raised([&] { fire(err::no_value, &x); });
    EXPECT_EQ(code_of(e), 300);
    EXPECT_EQ(name_of(arg(e, 0)), "x");
    EXPECT_EQ(formed(e), "*** Script Error: x has no value\n*** Where: ???\n*** Near : none");
    Cell d = raised([] { fire(err::zero_divide); });
    EXPECT_EQ(formed(d).rfind("*** Math Error: attempt to divide by zero\n", 0), 0u);
}

TEST_F(Error, TemplateArgumentsAreMoldedExceptInSyntaxErrors) {
    Cell s = text("abc");
    EXPECT_EQ(formed(error::create(err::invalid_arg, &s, nullptr, nullptr)).rfind("*** Script Error: invalid argument: \"abc\"", 0), 0u);
    Cell at = text("here");
    Cell e = error::create(err::syntax_invalid, &s, &at, &at);
    EXPECT_EQ(formed(e).rfind("*** Syntax Error: abc invalid here at here\n", 0), 0u);
}

TEST_F(Error, AnUnknownKindFormsAsInvalidError) {
    Cell e = made(integer(300));
    Cell parent = e, element = word("type");
    PathStep step{nullptr, nullptr, nullptr, 1, false, true, false};
    Cell w = word("bogus");
    error::eval_path(&parent, &element, &w, step);
    EXPECT_EQ(formed(e).rfind("*** Internal Error: invalid error object field value: bogus\n", 0), 0u);
    EXPECT_EQ(code_of(e), 910);
}

// A value that cannot be shown (here of a type without handlers) is named by its datatype, alone
// or among the near block's values, and the report goes on.
TEST_F(Error, AValueThatCannotBeShownIsNamedByItsDatatype) {
    const Cell odd = make_cell(TYPE_EVENT);
    Cell e = error::create(err::invalid_arg, &odd, nullptr, nullptr);
    *error::field(e, error::FIELD_NEAR) = block({word("x"), odd, integer(1)});
    std::string text = formed(e);
    EXPECT_EQ(text.rfind("*** Script Error: invalid argument: event!\n", 0), 0u) << text;
    EXPECT_NE(text.find("*** Near : x event! 1"), std::string::npos) << text;
}

TEST_F(Error, TheNearLineShowsAtMostFortyCharacters) {
    Cell e = made(integer(300));
    Cell many = block({});
    for (int i = 0; i < 30; ++i) {
        Cell n = integer(1000 + i);
        block::vs_append(&many, &n);
    }
    *error::field(e, error::FIELD_NEAR) = many;
    std::string text = formed(e);
    EXPECT_EQ(text.substr(text.find("*** Near : ") + 11), "1000 1001 1002 1003 1004 1005 1006 1007 ");
}

TEST_F(Error, MoldWritesTheFields) {
    Cell e = made(block({word("math"), word("zero-divide")}));
    std::string text = molded(e);
    EXPECT_EQ(text.rfind("make error! [\n    code: 400\n    type: 'math\n    id: 'zero-divide\n    arg1: none\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\n]");
}

TEST_F(Error, TheStackFieldCannotBeReachedByPath) {
    Cell e = made(integer(300));
    Cell path = block({word("e"), word("stack")}, TYPE_PATH);
    Cell raised_error = raised([&] {
        Cell parent = e, element = word("stack");
        PathStep step{&path, nullptr, nullptr, 1, false, true, false};
        error::eval_path(&parent, &element, nullptr, step);
    });
    EXPECT_EQ(code_of(raised_error), err::invalid_path_set);
    Cell parent = e, element = word("code");
    PathStep step{&path, nullptr, nullptr, 1, false, true, false};
    EXPECT_EQ(error::eval_path(&parent, &element, nullptr, step)->i32(), 300);
}

TEST_F(Error, ErrorsCompareAsObjects) {
    Cell a = made(integer(300));
    Cell b = made(integer(300));
    Cell c = made(integer(301));
    EXPECT_EQ(error::compare(&a, &b, CMP_EQUAL), 0);
    EXPECT_NE(error::compare(&a, &c, CMP_EQUAL), 0);
    Cell o = make_object(block({}));
    EXPECT_EQ(error::compare(&a, &o, CMP_EQUAL), -2);
}

TEST_F(Error, WhereIsSetOnce) {
    Cell e = made(integer(300));
    error::set_where(e, word("first"));
    error::set_where(e, word("second"));
    EXPECT_EQ(field_name(e, error::FIELD_WHERE), "first");
    EXPECT_EQ(formed(e).find("*** Where: first\n"), formed(e).find("*** Where: "));
}

TEST_F(Error, AnUncaughtErrorIsReportedAndEndsTheProcess) {
    EXPECT_EXIT(fire(err::zero_divide), testing::ExitedWithCode(254),
                "\\*\\*\\* Math Error: attempt to divide by zero\n\\*\\*\\* Where: \\?\\?\\?");
}

}  // namespace
