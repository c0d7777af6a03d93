// native!, action! and op!: make with table slots, operator specs, reflection of spec and body,
// the text forms and comparison by table slot (and, for op!, by source type).
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Native : public ObjectTest {
protected:
    static Cell made(TypeId type, const Cell& spec) {
        Cell proto = datatype_cell(type);
        return *datatype::handler<A_MAKE>(type)(&proto, &spec, type);
    }
    static Cell built_in(TypeId type, int32_t slot, const Cell& spec = block({word("value")})) {
        return made(type, block({spec, integer(slot)}));
    }
    static Cell reflected(const Cell& v, const char* field) {
        Cell value = v, name = word(field);
        return *datatype::handler<A_REFLECT>(v.type())(&value, &name);
    }
    static Cell two_argument_function(const Cell& spec) { return func(spec, block({word("a")})); }
};

TEST_F(Native, MakeTakesASpecAndATableSlot) {
    Cell n = built_in(TYPE_NATIVE, 1, block({word("cond"), word("body")}));
    EXPECT_TRUE(n.is(TYPE_NATIVE));
    EXPECT_EQ(n.s1, 1u);
    EXPECT_EQ(reflected(n, "body").i32(), 1);
    EXPECT_EQ(molded(reflected(n, "spec")), "[cond body]");
    EXPECT_EQ(reflected(built_in(TYPE_ACTION, A_ADD), "body").i32(), 11);
    EXPECT_TRUE(built_in(TYPE_NATIVE, 120).is(TYPE_NATIVE));
    EXPECT_TRUE(built_in(TYPE_ACTION, 62).is(TYPE_ACTION));
    Cell spec_context = function::extra_of(n)[0];
    EXPECT_TRUE(spec_context.is(TYPE_CONTEXT));

    struct Case {
        TypeId type;
        Cell spec;
    };
    const Case bad[] = {
        {TYPE_NATIVE, block({block({word("a")}), integer(121)})},
        {TYPE_NATIVE, block({block({word("a")}), integer(0)})},
        {TYPE_ACTION, block({block({word("a")}), integer(63)})},
        {TYPE_NATIVE, block({block({word("a")}), integer(1), integer(2)})},
        {TYPE_NATIVE, block({integer(1), integer(1)})},
        {TYPE_NATIVE, integer(1)},
    };
    for (const Case& c : bad) {
        Cell e = raised([&] { made(c.type, c.spec); });
        EXPECT_EQ(code_of(e), err::bad_make_arg);
        EXPECT_EQ(arg(e, 0).s1, c.type);
    }
    EXPECT_EQ(code_of(raised([&] { reflected(n, "words"); })), err::not_done);
}

TEST_F(Native, OperatorsNeedTwoArgumentsTheLeftOneEvaluated) {
    struct Case {
        Cell spec;
        bool valid;
    };
    const Case cases[] = {
        {block({word("a"), word("b")}), true},
        {block({word("a")}), false},
        {block({word("a"), word("b"), word("c")}), false},
        {block({word("a", TYPE_GET_WORD), word("b")}), false},
        {block({word("a"), word("b", TYPE_GET_WORD)}), true},
        {block({word("a"), word("b"), refinement("local"), word("c")}), true},
        {block({word("a"), word("b"), refinement("extern"), word("c")}), true},
        {block({word("a"), word("b"), refinement("only")}), false},
        {block({word("a"), text("doc"), word("b"), set_word("return"), block({})}), true},
    };
    for (const Case& c : cases) {
        Cell f = two_argument_function(c.spec);
        Cell proto = datatype_cell(TYPE_OP);
        if (c.valid) {
            Cell op = *native::make_op(&proto, &f, TYPE_OP);
            EXPECT_TRUE(op.is(TYPE_OP)) << molded(c.spec);
            EXPECT_EQ(native::op_source(op), TYPE_FUNCTION);
        } else {
            EXPECT_EQ(code_of(raised([&] { native::make_op(&proto, &f, TYPE_OP); })), err::bad_op_spec)
                << molded(c.spec);
        }
    }
    Cell proto = datatype_cell(TYPE_OP), one = integer(1);
    Cell e = raised([&] { native::make_op(&proto, &one, TYPE_OP); });
    EXPECT_EQ(code_of(e), err::invalid_type);
    EXPECT_EQ(arg(e, 0).s1, TYPE_INTEGER);
}

TEST_F(Native, AnOpFromAFunctionShowsItsBodyAndIsKeptByIt) {
    Cell f = func(block({word("a"), word("b")}), block({word("a"), word("+"), word("b")}));
    Cell proto = datatype_cell(TYPE_OP);
    Cell op = *native::make_op(&proto, &f, TYPE_OP);
    EXPECT_EQ(reflected(op, "body").s2, function::extra_of(f)[function::EXTRA_BODY].s2);
    EXPECT_EQ(function::extra_of(f)[function::EXTRA_OP].s3, f.s3);
    EXPECT_EQ(molded(op), "make op! func [a b][a + b]");
    EXPECT_EQ(formed(op), "?op?");
    EXPECT_EQ(stack::frame_top, stack::frame_bottom);

    Cell from_action = op_from_action(A_ADD);
    EXPECT_EQ(molded(from_action), "make op! [[value1 value2]]");
    EXPECT_EQ(reflected(from_action, "body").i32(), A_ADD);
}

TEST_F(Native, TextForms) {
    Cell n = built_in(TYPE_NATIVE, 1, block({word("cond"), word("then")}));
    EXPECT_EQ(formed(n), "?native?");
    EXPECT_EQ(molded(n), "make native! [[cond then]]");
    Cell a = action(A_APPEND);
    EXPECT_EQ(formed(a), "?action?");
    EXPECT_EQ(molded(a), "make action! [[value1 value2]]");
}

TEST_F(Native, BuiltInsAreEqualExactlyWhenTheyUseTheSameSlot) {
    Cell if1 = built_in(TYPE_NATIVE, 1);
    Cell if2 = built_in(TYPE_NATIVE, 1, block({word("other")}));
    Cell either = built_in(TYPE_NATIVE, 3);
    EXPECT_EQ(native::compare(&if1, &if2, CMP_EQUAL), 0);
    EXPECT_EQ(native::compare(&if1, &either, CMP_EQUAL), -1);
    EXPECT_EQ(native::compare(&if1, &either, CMP_LESSER), -2);
    Cell add_action = action(A_ADD);
    EXPECT_EQ(native::compare(&if1, &add_action, CMP_EQUAL), -2);

    Cell native_add = built_in(TYPE_NATIVE, A_ADD, block({word("a"), word("b")}));
    Cell proto = datatype_cell(TYPE_OP);
    Cell op_native = *native::make_op(&proto, &native_add, TYPE_OP);
    Cell op_action = op_from_action(A_ADD);
    EXPECT_NE(native::compare(&op_native, &op_action, CMP_EQUAL), 0);
    EXPECT_EQ(native::compare(&op_action, &op_action, CMP_EQUAL), 0);
}

}  // namespace
