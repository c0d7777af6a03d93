// function! and routine!: spec validation, the locals count and its start values, the locals the
// `function` native collects, make, the text forms, reflection and identity comparison.
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Function : public ObjectTest {
protected:
    static Cell type_block() { return block({word("integer!")}); }
    static Cell made(const Cell& spec) {
        Cell proto = datatype_cell(TYPE_FUNCTION);
        return *function::make(&proto, &spec, TYPE_FUNCTION);
    }
    static Cell reflected(const Cell& f, const char* field) {
        Cell v = f, name = word(field);
        return *function::reflect(&v, &name);
    }
    void SetUp() override {
        ObjectTest::SetUp();
        set_global("integer!", datatype_cell(TYPE_INTEGER));
    }
};

TEST_F(Function, SpecsAreValidatedInOnePass) {
    struct Case {
        const char* what;
        Cell spec;
        err::Code code;  // 0 when valid
    };
    const Case cases[] = {
        {"typed argument with doc", block({word("a"), type_block(), text("doc")}), err::Code(0)},
        {"doc before types", block({word("a"), text("doc"), type_block()}), err::bad_func_def},
        {"repeated word", block({word("a"), word("a")}), err::dup_vars},
        {"word and refinement alike", block({word("a"), refinement("a")}), err::dup_vars},
        {"argument after return", block({set_word("return"), type_block(), word("a")}), err::bad_func_def},
        {"return then locals", block({word("a"), set_word("return"), type_block(), refinement("local"), word("b")}),
         err::Code(0)},
        {"other set-word", block({set_word("result"), type_block()}), err::bad_func_def},
        {"refinement after locals", block({refinement("local"), word("b"), refinement("only")}), err::bad_func_def},
        {"lit-word local", block({refinement("local"), lit_word("b")}), err::bad_func_def},
        {"integer item", block({integer(1)}), err::bad_func_def},
        {"refinement then block", block({refinement("only"), type_block()}), err::bad_func_def},
        {"bad type item", block({word("a"), block({integer(1)})}), err::invalid_type_spec},
    };
    for (const Case& c : cases) {
        if (c.code == err::Code(0)) {
            EXPECT_EQ(function::check_spec(c.spec), 0u) << c.what;
            continue;
        }
        Cell e = raised([&] { function::check_spec(c.spec); });
        EXPECT_EQ(code_of(e), c.code) << c.what;
    }
    Cell dup = raised([&] { function::check_spec(block({word("a"), refinement("A")})); });
    EXPECT_EQ(name_of(arg(dup, 0)), "A");
    EXPECT_EQ(function::check_spec(block({block({word("trace"), word("other")}), word("a")})), function::FLAG_TRACE);
    EXPECT_EQ(function::check_spec(block({block({word("no-trace")})})), function::FLAG_NO_TRACE);
    EXPECT_EQ(code_of(raised([&] { function::check_spec(block({block({integer(1)})})); })), err::bad_func_def);
    EXPECT_EQ(code_of(raised([&] { function::check_spec(block({word("a"), block({word("unknown")})})); })),
              err::no_value);
}

TEST_F(Function, LocalsCountAndTheirStartValues) {
    Cell four = block({word("a"), word("b"), refinement("local"), word("c"), word("d")});
    Cell one = block({word("a"), refinement("local")});
    Cell none = block({word("a"), word("b")});
    Cell mixed = block({refinement("local"), word("c"), text("doc"), refinement("other"), word("d")});
    EXPECT_EQ(function::count_locals(four.s2, 0, false), 3);
    EXPECT_EQ(function::count_locals(one.s2, 0, false), 1);
    EXPECT_EQ(function::count_locals(none.s2, 0, false), 0);
    EXPECT_EQ(function::count_locals(none.s2, 0, true), -1);
    EXPECT_EQ(function::count_locals(mixed.s2, 0, false), 3);
    EXPECT_EQ(function::count_locals(four.s2, 3, true), -1);

    Cell* start = stack::top;
    function::init_locals(3);
    ASSERT_EQ(stack::top - start, 3);
    EXPECT_TRUE(start[0].is(TYPE_LOGIC) && start[0].s1 == 0);
    EXPECT_TRUE(start[1].is(TYPE_NONE) && start[2].is(TYPE_NONE));
    stack::top = start;
    function::init_locals(1);
    EXPECT_EQ(stack::top - start, 1);
}

TEST_F(Function, CollectedLocalsComeFromSetWordsAndLoopWords) {
    Cell spec = block({});
    Cell body = block({set_word("x"), integer(1), word("foreach"), block({word("k"), word("v")}), block({}),
                       block({word("repeat"), word("i"), integer(3), block({set_word("x"), integer(2)})}, TYPE_PAREN),
                       word("remove-each"), set_word("r"), block({})});
    Cell collected = function::collect_locals(spec, body);
    EXPECT_EQ(molded(collected), "[x k v i r]");
    EXPECT_EQ(molded(spec), "[/local x k v i r]");

    Cell with_local = block({word("a"), refinement("local"), word("b")});
    function::collect_locals(with_local, block({set_word("a"), set_word("b"), set_word("c"), set_word("local")}));
    EXPECT_EQ(molded(with_local), "[a /local b c]");

    Cell external = block({word("a"), refinement("extern"), word("g"), refinement("local"), word("l")});
    Cell found = function::collect_locals(external, block({set_word("g"), set_word("n")}));
    EXPECT_EQ(molded(found), "[l n]");
    EXPECT_EQ(molded(external), "[a /local l n]");

    Cell bad = block({refinement("extern"), word("g"), integer(1)});
    EXPECT_EQ(code_of(raised([&] { function::collect_locals(bad, block({})); })), err::bad_func_extern);
}

TEST_F(Function, MakeNeedsASpecAndABodyAndCopiesTheBody) {
    Cell body = block({word("a"), word("+"), integer(1)});
    Cell f = made(block({block({word("a")}), body}));
    EXPECT_EQ(molded(f), "func [a][a + 1]");
    EXPECT_EQ(formed(f), "?function?");
    EXPECT_NE(reflected(f, "body").s2, body.s2);
    EXPECT_EQ(run(block({f, integer(4)})).i32(), 5);
    for (const Cell& spec : {block({block({})}), block({integer(1), block({})}), text("x")}) {
        Cell e = raised([&] { made(spec); });
        EXPECT_EQ(code_of(e), err::bad_func_def);
    }
    EXPECT_EQ(code_of(raised([&] { made(block({block({word("a"), word("a")}), block({})})); })), err::dup_vars);
}

TEST_F(Function, FuncTakesTheBodyAsItIsAndStartsTheSpecAtItsHead) {
    Cell body = block({word("b")});
    Cell spec = block({word("a"), word("b")});
    spec.s1 = 1;
    Cell f = func(spec, body);
    EXPECT_EQ(reflected(f, "body").s2, body.s2);
    EXPECT_EQ(item(body, 0).s1, f.s1);  // bound to the function's context
    EXPECT_EQ(molded(reflected(f, "spec")), "[b]");
    EXPECT_EQ(reflected(f, "spec").s1, 0u);
}

TEST_F(Function, ReflectAndCompare) {
    Cell f = func(block({word("a"), word("b")}), block({word("a")}));
    Cell g = func(block({word("a"), word("b")}), block({word("a")}));
    Cell words = reflected(f, "words");
    EXPECT_EQ(molded(words), "[a b]");
    EXPECT_EQ(item(words, 0).s1, f.s1);
    EXPECT_EQ(code_of(raised([&] { reflected(f, "class"); })), err::not_done);
    EXPECT_EQ(function::compare(&f, &f, CMP_EQUAL), 0);
    EXPECT_NE(function::compare(&f, &g, CMP_EQUAL), 0);
    EXPECT_EQ(function::compare(&f, &g, CMP_LESSER), -2);
    Cell one = integer(1);
    EXPECT_EQ(function::compare(&f, &one, CMP_EQUAL), -2);
}

TEST_F(Function, RoutinesCountTheirArgumentsAndMoldTheirBody) {
    Cell spec = block({word("a"), type_block(), word("b"), set_word("return"), type_block()});
    Cell body = text("native code");
    Cell r = *routine::push(spec, &body, 12, -1, true);
    stack::pop(1);
    EXPECT_TRUE(r.is(TYPE_ROUTINE));
    EXPECT_EQ(routine::arity(r), 2u);
    EXPECT_TRUE(r.has_flag(routine::FLAG_MAKER));
    EXPECT_EQ(function::extra_of(r)[function::EXTRA_CODE].i32(), 12);
    EXPECT_EQ(function::extra_of(r)[function::EXTRA_SECOND].i32(), -1);
    EXPECT_EQ(formed(r), "?routine?");
    EXPECT_EQ(molded(r), "routine [a [integer!] b return: [integer!]] \"native code\"");
    Cell f = func(block({}), block({}));
    EXPECT_EQ(function::compare(&r, &f, CMP_EQUAL), -2);
}

}  // namespace
