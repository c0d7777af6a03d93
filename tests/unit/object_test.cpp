// object!: making from blocks and prototypes (class ids, evaluation, copies of series and
// methods), the text forms, path access, select, put, reflect, modify, compare, construct, and
// change notification through on-change* and `set`.
#include "core/collector.hpp"
#include "core/rooted.hpp"
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Object : public ObjectTest {
protected:
    // Reads a field through the eval-path handler, as the path `o/name` does.
    static Cell field(const Cell& o, const char* name) {
        Cell parent = o;
        Cell element = word(name);
        PathStep step{nullptr, nullptr, nullptr, 1, false, true, false};
        return *object::eval_path(&parent, &element, nullptr, step);
    }
    static void set_field(const Cell& o, const char* name, const Cell& value) {
        Cell parent = o;
        Cell element = word(name);
        PathStep step{nullptr, nullptr, nullptr, 1, false, true, false};
        object::eval_path(&parent, &element, &value, step);
    }
    static Cell reflected(const Cell& o, const char* field_name) {
        Cell v = o;
        Cell f = word(field_name);
        return *object::reflect(&v, &f);
    }
    static Cell a_b_object() { return make_object(block({set_word("a"), integer(1), set_word("b"), text("x")})); }
};

TEST_F(Object, MakeRunsTheSpecAndMoldsOneFieldPerLine) {
    Cell o = a_b_object();
    EXPECT_EQ(molded(o), "make object! [\n    a: 1\n    b: \"x\"\n]");
    EXPECT_EQ(formed(o), "a: 1\nb: \"x\"");
    EXPECT_EQ(molded(o, MoldArgs{false, false, true, 0}), "make object! [a: 1 b: \"x\"]");
    EXPECT_EQ(molded(make_object(block({}))), "make object! []");

    set_global("make", action(A_MAKE));
    Cell nested = make_object(block({set_word("a"), word("make"), datatype_cell(TYPE_OBJECT),
                                block({set_word("b"), integer(2)})}));
    EXPECT_EQ(molded(nested), "make object! [\n    a: make object! [\n        b: 2\n    ]\n]");
}

TEST_F(Object, WordValuesMoldQuotedAndHandlersStayHiddenUnlessAll) {
    Cell handler = func(block({word("w"), word("o"), word("n")}), block({}));
    set_global("h", handler);
    Cell o = make_object(block({set_word("w"), lit_word("x"), set_word("on-change*"), word("h", TYPE_GET_WORD)}));
    EXPECT_EQ(molded(o), "make object! [\n    w: 'x\n]");
    EXPECT_EQ(molded(o, MoldArgs{false, true, false, 0}), "make object! [\n    w: 'x\n    on-change*: func [w o n][]\n]");
}

TEST_F(Object, AnObjectInsideItselfMoldsAMarker) {
    Cell o = a_b_object();
    set_field(o, "b", o);
    EXPECT_EQ(molded(o), "make object! [\n    a: 1\n    b: make object! [...]\n]");
}

TEST_F(Object, ClassIdsFollowTheLayoutOfWords) {
    Cell spec = block({set_word("a"), integer(1)});
    Cell first = make_object(spec);
    Cell second = make_object(spec);
    EXPECT_GT(object::class_of(first), object::CLASS_ID_BASE);
    EXPECT_NE(object::class_of(first), object::class_of(second));
    EXPECT_EQ(object::class_of(make_object(block({set_word("a"), integer(2)}), first)), object::class_of(first));
    EXPECT_NE(object::class_of(make_object(block({set_word("c"), integer(2)}), first)), object::class_of(first));
    EXPECT_EQ(reflected(first, "class").i32(), int32_t(object::class_of(first)));
}

TEST_F(Object, MakeFromAPrototypeCopiesItsSeriesAndRebindsItsMethods) {
    Cell proto = make_object(block({set_word("s"), text("abc"), set_word("n"), integer(1)}));
    set_global("proto", proto);
    set_global("getter", func(block({}), block({word("n")})));
    set_field(proto, "n", integer(7));
    Cell with_method = make_object(block({set_word("m"), word("getter", TYPE_GET_WORD)}), proto);
    EXPECT_NE(field(with_method, "s").s2, field(proto, "s").s2);
    EXPECT_EQ(formed(field(with_method, "s")), "abc");

    Cell m = field(with_method, "m");
    Cell copy = make_object(block({set_word("n"), integer(9)}), with_method);
    Cell copied_method = field(copy, "m");
    EXPECT_NE(copied_method.s3, m.s3);
    Cell call = block({copied_method});
    EXPECT_EQ(run(call).i32(), 9);
}

TEST_F(Object, MakeRefusesSpecsThatAreNeitherBlocksNorObjects) {
    Cell e = raised([] { make_object(integer(3)); });
    EXPECT_EQ(code_of(e), err::malconstruct);
    EXPECT_TRUE(arg(e, 0).is(TYPE_DATATYPE));  // the datatype, then the spec
    EXPECT_EQ(arg(e, 0).s1, uint32_t(TYPE_OBJECT));
    EXPECT_EQ(arg(e, 1).i32(), 3);
}

TEST_F(Object, SelectAndPutTakeWordsOnly) {
    Cell o = a_b_object();
    FindArgs find{};
    Cell v = o, key = lit_word("a");
    EXPECT_EQ(object::select(&v, &key, find)->i32(), 1);
    v = o;
    key = word("zz");
    EXPECT_TRUE(object::select(&v, &key, find)->is(TYPE_NONE));

    Cell e = raised([&] {
        Cell target = o, k = text("a");
        object::select(&target, &k, find);
    });
    EXPECT_EQ(code_of(e), err::invalid_type);
    EXPECT_EQ(arg(e, 0).s1, TYPE_STRING);

    Cell one = integer(1);
    e = raised([&] {
        Cell target = o, k = word("z");
        object::put(&target, &k, &one, false);
    });
    EXPECT_EQ(code_of(e), err::unset_path);
    EXPECT_TRUE(arg(e, 0).is(TYPE_NONE));
    EXPECT_EQ(name_of(arg(e, 1)), "z");

    e = raised([&] {
        Cell target = o, k = text("a");
        object::put(&target, &k, &one, false);
    });
    EXPECT_EQ(code_of(e), err::invalid_key_type);

    Cell target = o, k = word("a"), two = integer(2);
    object::put(&target, &k, &two, false);
    EXPECT_EQ(field(o, "a").i32(), 2);
}

TEST_F(Object, PathAccessRefusesMissingAndUnsetFields) {
    Cell o = a_b_object();
    set_field(o, "a", unset_cell());
    for (const char* name : {"a", "zz"}) {
        Cell e = raised([&] { field(o, name); });
        EXPECT_EQ(code_of(e), err::unset_path) << name;
    }
    Cell e = raised([&] {
        Cell parent = o, element = integer(1);
        PathStep step{nullptr, nullptr, nullptr, 1, false, true, false};
        object::eval_path(&parent, &element, nullptr, step);
    });
    EXPECT_EQ(code_of(e), err::invalid_path);
}

TEST_F(Object, CopySharesSeriesUnlessDeepAndRefusesPart) {
    Cell o = a_b_object();
    Cell shallow = o;
    object::copy(&shallow, nullptr, false, nullptr);
    EXPECT_EQ(field(shallow, "b").s2, field(o, "b").s2);
    EXPECT_EQ(object::class_of(shallow), object::class_of(o));
    Cell deep = o;
    object::copy(&deep, nullptr, true, nullptr);
    EXPECT_NE(field(deep, "b").s2, field(o, "b").s2);

    Cell one = integer(1);
    Cell e = raised([&] {
        Cell v = o;
        object::copy(&v, &one, false, nullptr);
    });
    EXPECT_EQ(code_of(e), err::invalid_refine_arg);
    EXPECT_EQ(name_of(arg(e, 0)), "part");
    EXPECT_EQ(arg(e, 1).i32(), 1);
}

TEST_F(Object, ReflectAndModify) {
    Cell o = a_b_object();
    Cell words = reflected(o, "words");
    ASSERT_EQ(length(words), 2u);
    EXPECT_EQ(name_of(item(words, 1)), "b");
    EXPECT_EQ(item(words, 1).s1, object::context_of(o));
    EXPECT_EQ(item(reflected(o, "values"), 0).i32(), 1);
    Cell body = reflected(o, "body");
    EXPECT_EQ(molded(body), "[\n    a: 1\n    b: \"x\"\n]");
    EXPECT_FALSE(reflected(o, "events?").s1);
    EXPECT_FALSE(reflected(o, "owner").s1);

    EXPECT_EQ(length(reflected(o, "changed")), 0u);
    set_field(o, "b", integer(3));
    Cell changed = reflected(o, "changed");
    ASSERT_EQ(length(changed), 1u);
    EXPECT_EQ(name_of(item(changed, 0)), "b");
    Cell target = o, f = word("changed"), none = none_cell();
    object::modify(&target, &f, &none, false);
    EXPECT_EQ(length(reflected(o, "changed")), 0u);

    Cell e = raised([&] {
        Cell t = o, one = integer(1);
        object::modify(&t, &f, &one, false);
    });
    EXPECT_EQ(code_of(e), err::invalid_arg);
    EXPECT_EQ(code_of(raised([&] { reflected(o, "spec"); })), err::not_done);
}

TEST_F(Object, CompareOrdersByWordCountThenFields) {
    Cell o = a_b_object();
    Cell same_fields = a_b_object();
    Cell fewer = make_object(block({set_word("a"), integer(1)}));
    Cell one = integer(1);
    EXPECT_EQ(object::compare(&o, &o, CMP_EQUAL), 0);
    EXPECT_EQ(object::compare(&o, &same_fields, CMP_EQUAL), 0);
    EXPECT_EQ(object::compare(&o, &same_fields, CMP_SAME), -1);
    EXPECT_EQ(object::compare(&o, &fewer, CMP_EQUAL), 1);
    EXPECT_EQ(object::compare(&fewer, &o, CMP_LESSER), -1);
    EXPECT_EQ(object::compare(&o, &one, CMP_EQUAL), -2);
    Cell bigger = make_object(block({set_word("a"), integer(2), set_word("b"), text("x")}));
    EXPECT_EQ(object::compare(&o, &bigger, CMP_LESSER), -1);
}

TEST_F(Object, ConstructTakesValuesUnevaluated) {
    Cell spec = block({set_word("a"), set_word("b"), word("on"), set_word("c"), word("none"), set_word("d"),
                       word("x"), set_word("e")});
    Cell o = *object::construct(spec, nullptr, false);
    stack::pop(1);
    EXPECT_TRUE(field(o, "a").is(TYPE_LOGIC) && field(o, "a").s1 == 1);
    EXPECT_TRUE(field(o, "b").is(TYPE_LOGIC) && field(o, "b").s1 == 1);
    EXPECT_TRUE(field(o, "c").is(TYPE_NONE));
    EXPECT_EQ(name_of(field(o, "d")), "x");
    EXPECT_TRUE(field(o, "e").is(TYPE_NONE));
    Cell only = *object::construct(spec, nullptr, true);
    stack::pop(1);
    EXPECT_EQ(name_of(field(only, "a")), "on");
}

// on-change* records each call's word, old and new values in the global `log`.
class ObjectEvents : public Object {
protected:
    void SetUp() override {
        Object::SetUp();
        set_global("count", integer(0));
        Cell body = block({set_word("log-word"), word("word"), set_word("log-old"), word("old"), set_word("log-new"),
                           word("new"), set_word("count"), word("count"), word("+"), integer(1)});
        set_global("handler", func(block({word("word"), word("old"), word("new")}), body));
    }
    static Cell watched() {
        return make_object(block({set_word("a"), integer(1), set_word("b"), integer(2), set_word("on-change*"),
                                  word("handler", TYPE_GET_WORD)}));
    }
};

TEST_F(ObjectEvents, APathAssignmentCallsOnChangeWithWordOldAndNew) {
    Cell o = watched();
    EXPECT_TRUE(reflected(o, "events?").s1);
    EXPECT_EQ(global("count").i32(), 0);  // making does not notify
    set_field(o, "a", integer(5));
    EXPECT_EQ(name_of(global("log-word")), "a");
    EXPECT_EQ(global("log-old").i32(), 1);
    EXPECT_EQ(global("log-new").i32(), 5);
    EXPECT_EQ(field(o, "a").i32(), 5);
    EXPECT_EQ(global("count").i32(), 1);
    EXPECT_EQ(stack::top, stack::bottom);
}

TEST_F(ObjectEvents, ContextSetsNotifyToo) {
    Cell o = watched();
    Cell w = object::get_field(object::context_of(o), 1);
    context::set(w, integer(8));
    EXPECT_EQ(name_of(global("log-word")), "b");
    EXPECT_EQ(global("log-new").i32(), 8);
}

TEST_F(ObjectEvents, AReplacedHandlerIsPickedUpWithItsLocals) {
    Cell o = watched();
    Cell body = block({set_word("log-word"), word("x"), set_word("x"), word("word")});
    Cell with_local = func(block({word("word"), word("old"), word("new"), refinement("local"), word("x")}), body);
    *object::value_at(object::context_of(o), 2) = with_local;
    set_field(o, "a", integer(6));
    EXPECT_TRUE(global("log-word").is(TYPE_NONE));  // the local starts as none
}

TEST_F(ObjectEvents, SetOnAnObjectFillsFromABlockAndNeverTouchesTheHandlers) {
    Cell o = watched();
    object::set_values(o, block({integer(7)}), false, false, false);
    EXPECT_EQ(field(o, "a").i32(), 7);
    EXPECT_TRUE(field(o, "b").is(TYPE_NONE));
    EXPECT_TRUE(field(o, "on-change*").is(TYPE_FUNCTION));
    EXPECT_EQ(global("count").i32(), 2);

    object::set_values(o, block({integer(1), none_cell()}), false, false, true);
    EXPECT_EQ(field(o, "a").i32(), 1);
    EXPECT_TRUE(field(o, "b").is(TYPE_NONE));

    Cell e = raised([&] { object::set_values(o, block({integer(3), unset_cell()}), false, false, false); });
    EXPECT_EQ(code_of(e), err::need_value);
    EXPECT_EQ(name_of(arg(e, 0)), "b");
    EXPECT_EQ(field(o, "a").i32(), 1);  // checked before any assignment

    object::set_values(o, integer(4), false, false, false);
    EXPECT_EQ(field(o, "b").i32(), 4);
    Cell source = make_object(block({set_word("b"), integer(9), set_word("z"), integer(0)}));
    object::set_values(o, source, false, false, false);
    EXPECT_EQ(field(o, "a").i32(), 4);
    EXPECT_EQ(field(o, "b").i32(), 9);
}

TEST_F(ObjectEvents, CompiledObjectsGetARecordAndFireFromTheStack) {
    Cell o = make_object(block({set_word("a"), integer(1), set_word("f"), word("handler", TYPE_GET_WORD)}));
    NodeId ctx = object::context_of(o);
    object::push_context(ctx, 5);
    object::init_events(ctx, 1, 0, -1, 0);
    Cell compiled = *stack::last();
    EXPECT_NE(object::on_set_of(compiled), 0u);
    EXPECT_FALSE(object::on_deep(compiled));
    EXPECT_EQ(context::owner(ctx).s3, compiled.s3);
    stack::push(integer(5));  // the stored value, then the old one, as a compiled store leaves them
    stack::push(integer(1));
    object::fire_on_change_node(ctx, word("a"));
    EXPECT_EQ(name_of(global("log-word")), "a");
    EXPECT_EQ(global("log-old").i32(), 1);
    EXPECT_EQ(global("log-new").i32(), 5);

    set_global("obj", compiled);
    EXPECT_TRUE(object::word_of_class(word("obj"), 5));
    EXPECT_FALSE(object::word_of_class(word("obj"), 6));
    stack::reset_all();
}

TEST_F(ObjectEvents, HandlerFieldsMustHoldFunctions) {
    Cell e = raised([] { make_object(block({set_word("on-change*"), integer(1)})); });
    EXPECT_EQ(code_of(e), err::bad_field_set);
    EXPECT_EQ(name_of(arg(e, 0)), "on-change*");
    EXPECT_EQ(arg(e, 1).s1, TYPE_INTEGER);

    Cell o = watched();
    *object::value_at(object::context_of(o), 2) = integer(0);
    e = raised([&] { set_field(o, "a", integer(2)); });
    EXPECT_EQ(code_of(e), err::invalid_obj_evt);
    EXPECT_EQ(field(o, "a").i32(), 2);  // stored before the handler is looked at
}

}  // namespace

// Run by the stress build with a collection at every allocation: every value these routines
// build must stay reachable while they build it.
TEST_F(Object, ObjectsErrorsAndMethodsSurviveCollections) {
    set_global("make", action(A_MAKE));
    set_global("getter", func(block({}), block({word("b")})));
    Rooted code(block({set_word("o"), word("make"), datatype_cell(TYPE_OBJECT),
                       block({set_word("a"), integer(1), set_word("b"), text("x"), set_word("m"),
                              word("getter", TYPE_GET_WORD)}),
                       set_word("p"), word("make"), word("o"), block({set_word("c"), block({text("y")})}),
                       set_word("e"), word("make"), datatype_cell(TYPE_ERROR), integer(402)}));
    collector::init();
    collector::set_enabled(true);
    run(*code);
    EXPECT_EQ(molded(global("p")).substr(0, 41), "make object! [\n    a: 1\n    b: \"x\"\n    m:");
    EXPECT_EQ(formed(global("e")).rfind("*** Math Error: positive number required", 0), 0u);
    collector::set_enabled(false);
    memory::set_collect_hook(nullptr);
    Cell copied = object::vs_select(global("p"), word("m"));
    EXPECT_EQ(formed(run(block({copied}))), "x");
}
